// Capacity matching of variables to values, and the two constraints built on
// it. Code that can fail keeps trivially destructible locals only.
#include "qrcmatching.h"

#include <algorithm>
#include <cstdint>
#include <ostream>

#include "qrcdomainwalk.h"
#include "qrcheaparray.h"
#include "qrcsizealloc.h"

namespace {

// No value of an engine domain comes near them: they mark "unmatched" and
// "matched to the rest node".
const QrcInt Unmatched = INT64_MIN;
const QrcInt RestMark = INT64_MIN + 1;

class QrcAllDiffDomainDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcAllDiffDomainDemonI)
  QROSIMPLECLASS(QrcAllDiffDomainDemonI, QrcDemonI)
 public:
  QrcAllDiffDomainDemonI(QrcManagerI* m, QrcConstraintI* ct) : QrcDemonI(m, ct) {}
  void propagate() override { _owner->push(); }
  void display(std::ostream& os) const override { os << "QrcAllDiffDomainDemon"; }
};

class QrcDistributeDomainDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcDistributeDomainDemonI)
  QROSIMPLECLASS(QrcDistributeDomainDemonI, QrcDemonI)
 public:
  QrcDistributeDomainDemonI(QrcManagerI* m, QrcConstraintI* ct) : QrcDemonI(m, ct) {}
  void propagate() override { _owner->push(); }
  void display(std::ostream& os) const override { os << "QrcDistributeDomainDemon"; }
};

}  // namespace

// ---------------------------------------------------------------- matching

QrcCardMatchingI::QrcCardMatchingI(QrcManagerI* manager)
    : _manager(manager),
      _offset(0),
      _nVars(0),
      _nValues(0),
      _nCards(0),
      _valueNodes(nullptr),
      _varNodes(nullptr),
      _cards(nullptr),
      _index(nullptr),
      _listed(nullptr),
      _saved(nullptr),
      _sorted(nullptr),
      _sortedNodes(nullptr),
      _nSorted(0),
      _nodeCap(0),
      _dense(nullptr),
      _span(0),
      _slots(nullptr),
      _slotMask(0),
      _buildStamp(0),
      _scc(),
      _capacity(),
      _target(),
      _bits(3),
      _unitCapacity(1),
      _adjacency(nullptr),
      _adjacencyCap(0),
      _walkAdjacency(0),
      _spanLayout(0),
      _cuts(nullptr),
      _nCuts(0),
      _cutCap(0),
      _cardLo(nullptr),
      _cardHi(nullptr) {}

namespace {

QrcMatchValueNode freshNode(QrcInt v, QrcIntExpI* card) {
  return QrcMatchValueNode{v, 0, nullptr, nullptr, 0, 0, nullptr, 0, card, nullptr, 0};
}

}  // namespace

// Run once per posting (all-different's matching is made with its constraint,
// which the parent's posting makes): nothing of an earlier posting, which a
// backtrack took back, is read again. Made in a search, the blocks taken from
// the size pools go back when a backtrack takes the posting back.
void QrcCardMatchingI::init(QrcInt n, QrcIntExpI** vars, QrcInt nCards, QrcIntExpI** cards,
                            const QrcInt* values, QrcInt bits) {
  _nSorted = 0;
  _dense = nullptr;
  _span = 0;
  _spanLayout = 0;
  _manager->releaseOnBacktrack(
      [](void* matching) { static_cast<QrcCardMatchingI*>(matching)->releaseBlocks(); }, this);
  _nVars = n;
  _nCards = cards ? nCards : 0;
  _cards = cards;
  _listed = values;
  _bits = bits;
  _unitCapacity = cards == nullptr;
  _capacity = QrcMatchSearch{this, nullptr, Unmatched, 1, 0};
  _target = QrcMatchSearch{this, nullptr, Unmatched, 0, 0};
  _scc = QrcMatchSccState{nullptr, 0, this, nullptr, 0, 0};
  _varNodes = allocArray<QrcMatchVarNode>(_manager, n);
  _saved = allocArray<QrcInt>(_manager, n);
  _cardLo = allocArray<QrcInt>(_manager, _nCards);
  _cardHi = allocArray<QrcInt>(_manager, _nCards);
  for (QrcInt i = 0; i < n; ++i)
    _varNodes[i] =
        QrcMatchVarNode{Unmatched, vars[i], nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 0, 0};
  if (!_unitCapacity)
    initListedValues(values, cards);
  else if (n > 0)
    initValueIndex();
}

// The listed values, then the rest node; the listed ones sorted for the walks.
void QrcCardMatchingI::initListedValues(const QrcInt* values, QrcIntExpI** cards) {
  _nValues = _nodeCap = _nCards + 1;
  _valueNodes = allocArray<QrcMatchValueNode>(_manager, _nValues);
  _index = new (_manager) QrcIntMap(_manager);
  for (QrcInt k = 0; k < _nCards; ++k) {
    _valueNodes[k] = freshNode(values[k], cards[k]);
    _index->add(values[k], k);
  }
  for (QrcInt k = 0; k < _nCards; ++k) nodeOf(values[k])->card = cards[k];
  _valueNodes[_nCards] = freshNode(RestMark, nullptr);
  _sorted = allocArray<QrcInt>(_manager, _nCards);
  _sortedNodes = allocArray<QrcInt>(_manager, _nCards);
  for (QrcInt k = 0; k < _nCards; ++k)
    if (_index->get(values[k]) == k) _sortedNodes[_nSorted++] = k;
  std::sort(_sortedNodes, _sortedNodes + _nSorted,
            [this](QrcInt a, QrcInt b) { return _listed[a] < _listed[b]; });
  for (QrcInt r = 0; r < _nSorted; ++r) {
    _sorted[r] = _listed[_sortedNodes[r]];
    _valueNodes[_sortedNodes[r]].rank = r;
  }
}

// All-different: the nodes are made at each propagation; a dense index when
// the span of the domains is small next to the values small variables can hold.
void QrcCardMatchingI::initValueIndex() {
  QrcInt n = _nVars;
  QrcIntExpI* first = _varNodes[0].var;
  QrcInt lo = first->getMin(), hi = first->getMax();
  QrcUInt estimate = 1;
  for (QrcInt i = 0; i < n; ++i) {
    QrcIntExpI* x = _varNodes[i].var;
    lo = std::min(lo, x->getMin());
    hi = std::max(hi, x->getMax());
    estimate += static_cast<QrcUInt>(std::min(x->getSize(), n + 1));
  }
  QrcUInt spread = static_cast<QrcUInt>(hi) - static_cast<QrcUInt>(lo);
  if (spread < 10 * estimate) {
    _offset = lo;
    _span = static_cast<QrcInt>(spread);
    _dense = allocArray<QrcInt>(_manager, _span + 1);
    for (QrcInt k = 0; k <= _span; ++k) _dense[k] = 0;
  }
  ensureNodes(16);
  _nValues = 1;
  _valueNodes[0] = freshNode(RestMark, nullptr);
}

void QrcCardMatchingI::releaseBlocks() {
  const QrcInt word = static_cast<QrcInt>(sizeof(QrcInt));
  if (_unitCapacity && _nodeCap > 0) {
    _manager->freeSized(_valueNodes, _nodeCap * static_cast<QrcInt>(sizeof(QrcMatchValueNode)));
    _manager->freeSized(_sorted, _nodeCap * word);
    _manager->freeSized(_sortedNodes, _nodeCap * word);
    _valueNodes = nullptr;
    _sorted = _sortedNodes = nullptr;
    _nodeCap = 0;
  }
  if (_slots)
    _manager->freeSized(_slots, (_slotMask + 1) * static_cast<QrcInt>(sizeof(QrcMatchSlot)));
  if (_adjacencyCap > 0) _manager->freeSized(_adjacency, _adjacencyCap * word);
  if (_cutCap > 0) _manager->freeSized(_cuts, _cutCap * word);
  _slots = nullptr;
  _slotMask = 0;
  _adjacency = _cuts = nullptr;
  _adjacencyCap = _cutCap = _nCuts = 0;
  _spanLayout = 0;
}

// Room for count nodes of all-different (and the hashed index over them);
// what the nodes held is dropped: they are made again.
void QrcCardMatchingI::ensureNodes(QrcInt count) {
  if (count > _nodeCap) {
    _spanLayout = 0;
    QrcInt cap = std::max(count, 2 * _nodeCap);
    if (_nodeCap > 0) {
      _manager->freeSized(_valueNodes, _nodeCap * static_cast<QrcInt>(sizeof(QrcMatchValueNode)));
      _manager->freeSized(_sorted, _nodeCap * static_cast<QrcInt>(sizeof(QrcInt)));
      _manager->freeSized(_sortedNodes, _nodeCap * static_cast<QrcInt>(sizeof(QrcInt)));
    }
    _valueNodes = static_cast<QrcMatchValueNode*>(
        _manager->allocateSized(cap * static_cast<QrcInt>(sizeof(QrcMatchValueNode))));
    _sorted =
        static_cast<QrcInt*>(_manager->allocateSized(cap * static_cast<QrcInt>(sizeof(QrcInt))));
    _sortedNodes =
        static_cast<QrcInt*>(_manager->allocateSized(cap * static_cast<QrcInt>(sizeof(QrcInt))));
    _nodeCap = cap;
  }
  if (_dense) return;
  QrcInt slots = _slotMask + 1;
  if (_slots && slots >= 2 * _nodeCap) return;
  if (_slots) _manager->freeSized(_slots, slots * static_cast<QrcInt>(sizeof(QrcMatchSlot)));
  slots = 16;
  while (slots < 2 * _nodeCap) slots *= 2;
  _slots = static_cast<QrcMatchSlot*>(
      _manager->allocateSized(slots * static_cast<QrcInt>(sizeof(QrcMatchSlot))));
  for (QrcInt k = 0; k < slots; ++k) _slots[k] = QrcMatchSlot{0, 0, 0};
  _slotMask = slots - 1;
}

namespace {

inline QrcInt slotOf(QrcInt v, QrcInt mask) {
  uint64_t h = static_cast<uint64_t>(v) * 0x9E3779B97F4A7C15ull;
  return static_cast<QrcInt>(h >> 32) & mask;
}

// isInDomain without a call where the bounds are fresh.
inline bool holdsValue(QrcIntExpI* x, QrcInt v) {
  if (!x->hasFreshBounds()) return x->isInDomain(v);
  if (v < x->rawMin() || v > x->rawMax()) return false;
  const QrcIntSetI* d = x->getDomainSet();
  return !d || d->containsInline(v);
}

}  // namespace

QrcMatchValueNode* QrcCardMatchingI::findNode(QrcInt v) const {
  if (v == RestMark) return restNode();
  if (!_unitCapacity) {
    QrcInt j = _index->get(v);
    return j == QrcIntMapAbsent ? nullptr : _valueNodes + j;
  }
  if (_dense) {
    if (v < _offset ||
        static_cast<QrcUInt>(v) - static_cast<QrcUInt>(_offset) > static_cast<QrcUInt>(_span))
      return nullptr;
    QrcInt k = _dense[v - _offset];
    return k > 0 && k < _nValues && _valueNodes[k].value == v ? _valueNodes + k : nullptr;
  }
  for (QrcInt h = slotOf(v, _slotMask); _slots[h].stamp == _buildStamp; h = (h + 1) & _slotMask)
    if (_slots[h].key == v) return _valueNodes + _slots[h].node;
  return nullptr;
}

// A value known to have a node (a matched value, a listed value).
inline QrcMatchValueNode* QrcCardMatchingI::nodeOf(QrcInt v) const {
  if (_dense && v != RestMark) return _valueNodes + _dense[v - _offset];
  return findNode(v);
}

QrcMatchValueNode* QrcCardMatchingI::addNode(QrcInt v) {
  QrcInt k = _nValues++;
  _valueNodes[k] = freshNode(v, nullptr);
  if (_dense) {
    _dense[v - _offset] = k;
  } else {
    QrcInt h = slotOf(v, _slotMask);
    while (_slots[h].stamp == _buildStamp) h = (h + 1) & _slotMask;
    _slots[h] = QrcMatchSlot{v, k, _buildStamp};
  }
  return _valueNodes + k;
}

// A small variable (at most n values) gets a node for each of its values: the
// count of those nodes and the rest node; anyLarge when a variable is larger.
__attribute__((always_inline)) inline QrcInt QrcCardMatchingI::markLargeVars(bool& anyLarge) {
  QrcInt need = 1;
  anyLarge = false;
  for (QrcInt i = 0; i < _nVars; ++i) {
    QrcMatchVarNode* u = _varNodes + i;
    QrcInt size = u->var->getSize();
    u->listed = u->rest = size > _nVars;
    if (u->listed)
      anyLarge = true;
    else
      need += size;
  }
  return need;
}

__attribute__((always_inline)) inline void QrcCardMatchingI::ensureAdjacency(QrcInt need) {
  if (need <= _adjacencyCap) return;
  QrcInt cap = std::max(need, 2 * _adjacencyCap);
  if (_adjacencyCap > 0)
    _manager->freeSized(_adjacency, _adjacencyCap * static_cast<QrcInt>(sizeof(QrcInt)));
  _adjacency =
      static_cast<QrcInt*>(_manager->allocateSized(cap * static_cast<QrcInt>(sizeof(QrcInt))));
  _adjacencyCap = cap;
}

// With spanNodes, a node for each value of the span, after the rest node's
// place; else only that place, the other nodes made as the values are met.
__attribute__((always_inline)) inline void QrcCardMatchingI::layOutNodes(bool spanNodes) {
  if (!spanNodes) {
    _spanLayout = 0;
    _nValues = 1;
    return;
  }
  ensureNodes(_span + 2);
  _nValues = _span + 2;
  if (_spanLayout) {
    // Laid out by an earlier propagation: only the matching is cleared.
    for (QrcInt k = 1; k <= _span + 1; ++k) {
      _valueNodes[k].head = nullptr;
      _valueNodes[k].count = 0;
    }
    return;
  }
  for (QrcInt k = 0; k <= _span; ++k) {
    _valueNodes[k + 1] = freshNode(_offset + k, nullptr);
    _dense[k] = k + 1;
  }
  _spanLayout = 1;
}

// The nodes of each small variable's values, in increasing order, into the
// adjacency from its first to its end.
__attribute__((always_inline)) inline void QrcCardMatchingI::listAdjacency(bool spanNodes) {
  QrcInt pos = 0;
  for (QrcInt i = 0; i < _nVars; ++i) {
    QrcMatchVarNode* u = _varNodes + i;
    u->first = u->end = pos;
    if (u->listed) continue;
    QrcIntExpI* x = u->var;
    QrcInt lo = x->getMin(), hi = x->getMax();
    QrcIntSetI* d = x->getDomainSet();
    if (spanNodes) {
      QrcInt* adj = _adjacency + pos;
      QrcInt shift = 1 - _offset;
      if (d)
        d->forEachIn(lo, hi, [&adj, shift](QrcInt v) { *adj++ = v + shift; });
      else
        for (QrcInt v = lo; v <= hi; ++v) *adj++ = v + shift;
      pos = adj - _adjacency;
    } else {
      for (QrcInt v = lo;; v = x->getNextHigher(v)) {
        QrcMatchValueNode* node = findNode(v);
        if (!node) node = addNode(v);
        _adjacency[pos++] = node - _valueNodes;
        if (v >= hi) break;
      }
    }
    u->end = pos;
  }
}

// The values of the nodes but the rest node, in increasing order, and each
// node's rank among them.
__attribute__((always_inline)) inline void QrcCardMatchingI::sortNodes() {
  for (QrcInt k = 1; k < _nValues; ++k) _sortedNodes[_nSorted++] = k;
  std::sort(_sortedNodes, _sortedNodes + _nSorted,
            [this](QrcInt a, QrcInt b) { return _valueNodes[a].value < _valueNodes[b].value; });
  for (QrcInt r = 0; r < _nSorted; ++r) {
    _sorted[r] = _valueNodes[_sortedNodes[r]].value;
    _valueNodes[_sortedNodes[r]].rank = r;
  }
}

// All-different: a node for every value of a small variable (at most n
// values); a larger variable reaches those of its values and the rest node.
void QrcCardMatchingI::buildNodes() {
  ++_buildStamp;
  bool anyLarge;
  QrcInt need = markLargeVars(anyLarge);
  ensureNodes(need);
  ensureAdjacency(need);
  // With a small span and no larger variable, a node for each value of the
  // span: the nodes of no variable's values are reached by no walk.
  bool spanNodes = _dense && !anyLarge && _span < 2 * need;
  layOutNodes(spanNodes);
  _valueNodes[0] = freshNode(RestMark, nullptr);
  listAdjacency(spanNodes);
  _nSorted = 0;
  if (anyLarge) sortNodes();
}

// The nodes and the ways of the variables to them for this propagation, and
// the kept matching linked in again where it still holds.
void QrcCardMatchingI::prepare() {
  if (_unitCapacity) {
    buildNodes();
    _walkAdjacency = 1;
  } else {
    for (QrcInt j = 0; j < _nValues; ++j) {
      _valueNodes[j].head = nullptr;
      _valueNodes[j].count = 0;
    }
    const QrcInt* sorted = _sorted;
    auto value = [sorted](QrcInt k) { return sorted[k]; };
    for (QrcInt i = 0; i < _nVars; ++i) {
      QrcMatchVarNode* u = _varNodes + i;
      QrcInt other;
      u->listed = u->var->getSize() > _nSorted;
      u->rest = qrcdomain::firstOutside(u->var, value, _nSorted, other);
    }
  }
  for (QrcInt i = 0; i < _nVars; ++i) {
    QrcMatchVarNode* u = _varNodes + i;
    QrcInt v = u->matched;
    u->matched = Unmatched;
    if (v == Unmatched) continue;
    if (v != RestMark && !holdsValue(u->var, v)) continue;
    // Laid out over the span, every value of a domain has its node.
    if (v != RestMark && (_spanLayout || findNode(v))) {
      link(u, v);
      continue;
    }
    // A larger variable keeps its match through the rest node.
    if (u->rest) link(u, RestMark);
  }
}

inline void QrcCardMatchingI::startCursor(QrcMatchVarNode* u, QrcMatchCursor& c) const {
  QrcIntExpI* x = u->var;
  c.phase = 0;
  if (_walkAdjacency && !u->listed) {
    c.pos = u->first - 1;
  } else if (u->listed) {
    const QrcInt* sorted = _sorted;
    c.pos =
        qrcdomain::lowerBound([sorted](QrcInt k) { return sorted[k]; }, _nSorted, x->getMin()) - 1;
  } else {
    c.pos = x->getMin() - 1;
  }
}

void QrcCardMatchingI::resumeCursor(QrcMatchVarNode* u, QrcMatchValueNode* after,
                                    QrcMatchCursor& c) const {
  if (after == restNode()) {
    c.phase = 2;
    return;
  }
  c.phase = 0;
  if (_walkAdjacency && !u->listed) {
    QrcInt k = u->first, node = after - _valueNodes;
    while (k < u->end - 1 && _adjacency[k] != node) ++k;
    c.pos = k;
    return;
  }
  c.pos = u->listed ? after->rank : after->value;
}

inline QrcMatchValueNode* QrcCardMatchingI::nextNode(QrcMatchVarNode* u, QrcMatchCursor& c) const {
  QrcIntExpI* x = u->var;
  while (c.phase == 0) {
    if (_walkAdjacency && !u->listed) {
      QrcInt k = c.pos + 1;
      if (k >= u->end) {
        c.phase = 1;
        break;
      }
      c.pos = k;
      return _valueNodes + _adjacency[k];
    }
    if (u->listed) {
      QrcInt k = c.pos + 1;
      if (k >= _nSorted || _sorted[k] > x->getMax()) {
        c.phase = 1;
        break;
      }
      c.pos = k;
      if (x->isInDomain(_sorted[k])) return _valueNodes + _sortedNodes[k];
    } else {
      if (c.pos >= x->getMax()) {
        c.phase = 1;
        break;
      }
      QrcInt v = x->getNextHigher(c.pos);
      if (v <= c.pos) {
        c.phase = 1;
        break;
      }
      c.pos = v;
      QrcMatchValueNode* node = findNode(v);
      if (node) return node;
    }
  }
  if (c.phase == 1) {
    c.phase = 2;
    if (u->rest) return restNode();
  }
  return nullptr;
}

bool QrcCardMatchingI::isAdjacent(QrcMatchVarNode* u, QrcInt v) const {
  if (v == RestMark) return u->rest;
  return u->var->isInDomain(v) && findNode(v);
}

void QrcCardMatchingI::removePair(QrcMatchVarNode* u, QrcMatchValueNode* node) {
  // All-different's rest node always has room.
  if (node == restNode() && _unitCapacity) return;
  if (2 * _nCuts + 2 > _cutCap) {
    QrcInt cap = std::max<QrcInt>(64, 2 * _cutCap);
    QrcInt* cuts =
        static_cast<QrcInt*>(_manager->allocateSized(cap * static_cast<QrcInt>(sizeof(QrcInt))));
    for (QrcInt k = 0; k < 2 * _nCuts; ++k) cuts[k] = _cuts[k];
    if (_cutCap > 0) _manager->freeSized(_cuts, _cutCap * static_cast<QrcInt>(sizeof(QrcInt)));
    _cuts = cuts;
    _cutCap = cap;
  }
  _cuts[2 * _nCuts] = u - _varNodes;
  _cuts[2 * _nCuts + 1] = node == restNode() ? RestMark : node->value;
  ++_nCuts;
}

// The value leaves the variable, or for the rest node of distribute every
// value outside the listed ones.
void QrcCardMatchingI::applyCuts() {
  const QrcInt* sorted = _sorted;
  for (QrcInt k = 0; k < _nCuts; ++k) {
    QrcIntExpI* x = _varNodes[_cuts[2 * k]].var;
    QrcInt v = _cuts[2 * k + 1];
    if (v != RestMark)
      x->removeValue(v);
    else
      qrcdomain::keepOnly(
          x, [sorted](QrcInt j) { return sorted[j]; }, _nSorted);
  }
  _nCuts = 0;
}

inline QrcInt QrcCardMatchingI::capMin(QrcMatchValueNode* node) const {
  if (_unitCapacity || node == restNode()) return 0;
  return node->card->getMin();
}

inline QrcInt QrcCardMatchingI::capMax(QrcMatchValueNode* node) const {
  if (node == restNode()) return _nVars + 1;
  return _unitCapacity ? 1 : node->card->getMax();
}

inline void QrcCardMatchingI::link(QrcMatchVarNode* u, QrcInt v) {
  QrcMatchValueNode* node = nodeOf(v);
  u->prev = nullptr;
  u->next = node->head;
  if (node->head) node->head->prev = u;
  node->head = u;
  ++node->count;
  u->matched = v;
}

inline void QrcCardMatchingI::unlink(QrcMatchVarNode* u) {
  QrcMatchValueNode* node = nodeOf(u->matched);
  if (u->prev)
    u->prev->next = u->next;
  else
    node->head = u->next;
  if (u->next) u->next->prev = u->prev;
  --node->count;
  u->matched = Unmatched;
}

void QrcCardMatchingI::clearVisited() {
  for (QrcInt i = 0; i < _nVars; ++i) _varNodes[i].visited = 0;
}

bool QrcCardMatchingI::findValue(QrcMatchSearch& s, QrcMatchVarNode* u) {
  if (!s.capacityMode) return s.found != s.excluded && isAdjacent(u, s.found);
  QrcMatchCursor c;
  startCursor(u, c);
  while (QrcMatchValueNode* node = nextNode(u, c)) {
    if (node->value != s.excluded && node->count < capMax(node)) {
      s.found = node->value;
      return true;
    }
  }
  return false;
}

// Breadth-first search for an alternating path from start to a value the
// search accepts; on success every variable of the path shifts one step.
bool QrcCardMatchingI::augment(QrcMatchSearch& s, QrcMatchVarNode* start) {
  start->parent = nullptr;
  start->queueNext = nullptr;
  start->visited = 1;
  s.tail = start;
  if (!findValue(s, start)) {
    bool found = false;
    for (QrcMatchVarNode* u = start; u && !found; u = u->queueNext) {
      QrcMatchCursor c;
      startCursor(u, c);
      while (!found) {
        QrcMatchValueNode* node = nextNode(u, c);
        if (!node) break;
        QrcInt v = node->value;
        if (v == u->matched || v == s.excluded) continue;
        for (QrcMatchVarNode* t = node->head; t; t = t->next) {
          if (t->visited) continue;
          t->parent = u;
          t->queueNext = nullptr;
          s.tail->queueNext = t;
          s.tail = t;
          if (findValue(s, t)) {
            found = true;
            break;
          }
          t->visited = 1;
        }
      }
    }
    if (!found) return false;
  }
  QrcInt v = s.found;
  for (QrcMatchVarNode* t = s.tail; t != start; t = t->parent) {
    QrcInt w = t->matched;
    unlink(t);
    link(t, v);
    v = w;
  }
  if (start->matched != Unmatched) unlink(start);
  link(start, v);
  return true;
}

bool QrcCardMatchingI::moveAway(QrcInt v) {
  clearVisited();
  _capacity.excluded = v;
  for (QrcInt i = 0; i < _nVars; ++i) {
    QrcMatchVarNode* u = _varNodes + i;
    if (!u->visited && u->matched == v && augment(_capacity, u)) return true;
  }
  return false;
}

bool QrcCardMatchingI::hasOwnValue(QrcInt i) const {
  QrcInt v = _varNodes[i].matched;
  return v != Unmatched && v != RestMark;
}

bool QrcCardMatchingI::isForced(QrcInt v) {
  // The domains may have changed since the nodes were built.
  _walkAdjacency = 0;
  for (QrcInt i = 0; i < _nVars; ++i)
    if (_varNodes[i].matched == v) return !moveAway(v);
  return false;
}

bool QrcCardMatchingI::bringOne(QrcInt v) {
  clearVisited();
  _target.excluded = Unmatched;
  _target.found = v;
  for (QrcInt i = 0; i < _nVars; ++i) {
    QrcMatchVarNode* u = _varNodes + i;
    if (u->visited || u->matched == v) continue;
    if (u->matched != Unmatched) {
      QrcMatchValueNode* w = nodeOf(u->matched);
      if (w->count <= capMin(w)) continue;
    }
    if (augment(_target, u)) return true;
  }
  return false;
}

bool QrcCardMatchingI::repair() {
  for (QrcInt k = 0; k < _nCards; ++k) {
    QrcMatchValueNode* node = nodeOf(_listed[k]);
    while (node->count > capMax(node))
      if (!moveAway(_listed[k])) return false;
  }
  _capacity.excluded = Unmatched;
  for (QrcInt i = 0; i < _nVars; ++i) {
    QrcMatchVarNode* u = _varNodes + i;
    if (u->matched != Unmatched) continue;
    clearVisited();
    if (!augment(_capacity, u)) return false;
  }
  for (QrcInt k = 0; k < _nCards; ++k) {
    QrcMatchValueNode* node = nodeOf(_listed[k]);
    while (capMin(node) > node->count)
      if (!bringOne(_listed[k])) return false;
  }
  return true;
}

// The matching the propagation started from; the lists are made again by the next one.
void QrcCardMatchingI::restoreSaved() {
  for (QrcInt i = 0; i < _nVars; ++i) _varNodes[i].matched = _saved[i];
}

bool QrcCardMatchingI::propagate() {
  if (_nVars == 0 && _nCards == 0) return true;
  for (QrcInt i = 0; i < _nVars; ++i) _saved[i] = _varNodes[i].matched;
  prepare();
  if (!repair()) {
    _walkAdjacency = 0;
    restoreSaved();
    return false;
  }
  _nCuts = 0;
  if (_bits & PruneComponents) pruneComponents();
  _walkAdjacency = 0;
  // The pairs cut belong to no matching, so the cards' ranges are the same
  // with them or without them.
  bool cards = (_bits & BoundCards) && _nCards > 0;
  if (cards) boundCards();
  applyCuts();
  if (cards) applyCards();
  return true;
}

// ---------------------------------------------------------------- components

// Tarjan's search over the residual graph: value -> variable matched to it,
// variable -> its other values, plus an implicit sink numbered 0 that reaches
// every value above its capacity minimum (the roots of phase 0) and is reached
// from every value below its capacity maximum (low 0 in phase 0). An edge into
// a closed component, or a tree edge whose target closes its component,
// crosses components: its value leaves the variable.

inline QrcMatchVarNode* QrcCardMatchingI::nextUnbound(QrcMatchVarNode* u) const {
  while (u && u->var->isBound()) u = u->next;
  return u;
}

inline void QrcCardMatchingI::enter(QrcMatchValueNode* x) {
  x->flags |= QrcMatchValueNode::Entered;
  x->number = ++_scc.counter;
  x->low = (_scc.phase == 0 && x->count < capMax(x)) ? 0 : x->number;
  x->chain = _scc.top;
  _scc.top = x;
}

void QrcCardMatchingI::closeComponent(QrcMatchValueNode* c) {
  QrcMatchValueNode* t = _scc.top;
  while (t != c) {
    t->flags |= QrcMatchValueNode::Closed;
    t = t->chain;
  }
  c->flags |= QrcMatchValueNode::Closed;
  _scc.top = c->chain;
}

void QrcCardMatchingI::searchFrom(QrcMatchValueNode* root) {
  root->parent = nullptr;
  enter(root);
  QrcMatchValueNode* c = root;
  QrcMatchVarNode* u = nextUnbound(root->head);
  QrcMatchCursor cur = {0, 2};
  if (u) startCursor(u, cur);
  for (;;) {
    if (u) {
      QrcMatchValueNode* node = nextNode(u, cur);
      if (!node) {
        u = nextUnbound(u->next);
        if (u) startCursor(u, cur);
        continue;
      }
      if (node->value == u->matched) continue;
      if (node->flags == 0) {
        node->parent = u;
        enter(node);
        c = node;
        u = nextUnbound(node->head);
        if (u) startCursor(u, cur);
      } else if (node->flags & QrcMatchValueNode::Closed) {
        removePair(u, node);
      } else if (node->low < c->low) {
        c->low = node->low;
      }
      continue;
    }
    c->flags |= QrcMatchValueNode::Finished;
    bool closes = c->low == c->number;
    if (closes) closeComponent(c);
    u = c->parent;
    if (!u) return;
    QrcMatchValueNode* m = nodeOf(u->matched);
    if (!closes) {
      if (c->low < m->low) m->low = c->low;
    } else {
      removePair(u, c);
    }
    resumeCursor(u, c, cur);
    c = m;
  }
}

void QrcCardMatchingI::pruneComponents() {
  for (QrcInt j = 0; j < _nValues; ++j) _valueNodes[j].flags = 0;
  _scc.counter = 0;
  _scc.top = nullptr;
  _scc.phase = 0;
  for (QrcInt i = 0; i < _nVars; ++i) {
    QrcMatchVarNode* u = _varNodes + i;
    if (u->var->isBound()) continue;
    QrcMatchValueNode* m = nodeOf(u->matched);
    if (m->flags == 0 && m->count > capMin(m)) searchFrom(m);
  }
  for (QrcInt j = 0; j < _nValues; ++j)
    if (_valueNodes[j].flags & QrcMatchValueNode::Finished)
      _valueNodes[j].flags |= QrcMatchValueNode::Closed;
  _scc.top = nullptr;
  _scc.phase = 1;
  for (QrcInt i = 0; i < _nVars; ++i) {
    QrcMatchVarNode* u = _varNodes + i;
    if (u->var->isBound()) continue;
    QrcMatchValueNode* m = nodeOf(u->matched);
    if (m->flags == 0) searchFrom(m);
  }
}

// ---------------------------------------------------------------- cards

void QrcCardMatchingI::boundCards() {
  for (QrcInt k = 0; k < _nCards; ++k) {
    QrcInt v = _listed[k];
    QrcMatchValueNode* node = nodeOf(v);
    QrcIntExpI* card = _cards[k];
    if (node->count == 0 && !(node->support && node->support->var->isInDomain(v))) {
      node->support = nullptr;
      for (QrcInt i = 0; i < _nVars && !node->support; ++i)
        if (_varNodes[i].var->isInDomain(v)) node->support = _varNodes + i;
      if (!node->support) {
        _cardLo[k] = _cardHi[k] = 0;
        continue;
      }
    }
    QrcInt lo = node->count;
    QrcInt cmin = card->getMin();
    while (lo > cmin && moveAway(v)) --lo;
    QrcInt hi = lo;
    QrcInt cmax = card->getMax();
    while (hi < cmax && bringOne(v)) ++hi;
    _cardLo[k] = lo;
    _cardHi[k] = hi;
  }
}

void QrcCardMatchingI::applyCards() {
  for (QrcInt k = 0; k < _nCards; ++k) _cards[k]->setRange(_cardLo[k], _cardHi[k]);
}

// ---------------------------------------------------------------- helpers

bool QrcHasRepeatedExpr(QrcManagerI* manager, QrcIntExpI* const* vars, QrcInt n) {
  if (n < 2) return false;
  QrcInt* words = manager->lockArrayFromPool(n);
  uint64_t* keys = reinterpret_cast<uint64_t*>(words);
  for (QrcInt i = 0; i < n; ++i) keys[i] = reinterpret_cast<uintptr_t>(vars[i]);
  std::sort(keys, keys + n);
  bool repeated = false;
  for (QrcInt i = 1; i < n && !repeated; ++i) repeated = keys[i] == keys[i - 1];
  manager->unlockArrayFromPool(words);
  return repeated;
}

// ---------------------------------------------------------------- all-different

QrcAllDiffDomainI::QrcAllDiffDomainI(QrcManagerI* manager, QrcIntExpI** vars, QrcInt n, QrcInt bits)
    : QrcConstraintI(manager),
      _n(n),
      _vars(allocArray<QrcIntExpI*>(manager, n)),
      _matching(manager) {
  for (QrcInt i = 0; i < n; ++i) _vars[i] = vars[i];
  _matching.init(n, _vars, 0, nullptr, nullptr, bits);
}

void QrcAllDiffDomainI::post() {
  if (QrcHasRepeatedExpr(_manager, _vars, _n)) fail();
  for (QrcInt i = 0; i < _n; ++i)
    _vars[i]->whenDomain(new (_manager) QrcAllDiffDomainDemonI(_manager, this));
}

void QrcAllDiffDomainI::propagate() {
  if (!_matching.propagate()) fail();
}

QrcConstraintI* QrcAllDiffDomainI::makeCopy(QrcManagerI* target) const {
  QrcIntExpI** vars = allocArray<QrcIntExpI*>(target, _n);
  for (QrcInt i = 0; i < _n; ++i)
    vars[i] = static_cast<QrcIntExpI*>(_vars[i]->getCopyForManager(target));
  return new (target) QrcAllDiffDomainI(target, vars, _n, _matching.getFilterBits());
}

QrcConstraintI* QrcMakeAllDiffDomain(QrcManagerI* manager, QrcIntExpI** vars, QrcInt n) {
  return new (manager) QrcAllDiffDomainI(manager, vars, n, 3);
}

// ---------------------------------------------------------------- distribute

namespace {

QrcManagerI* managerOf(const QrcIntVarArray& a, const QrcIntVarArray& b) {
  return a.getImpl() ? a.getImpl()->getManager() : b.getImpl()->getManager();
}

QrcIntExpI** elementsOf(QrcManagerI* m, const QrcIntVarArray& a) {
  QrcInt n = a.getSize();
  QrcIntExpI** out = allocArray<QrcIntExpI*>(m, n);
  for (QrcInt i = 0; i < n; ++i) out[i] = a.getImpl()->getVar(i);
  return out;
}

}  // namespace

QrcDistributeDomainI::QrcDistributeDomainI(const QrcIntVarArray& cards, const QrcIntArray& values,
                                           const QrcIntVarArray& vars, QrcInt bits)
    : QrcConstraintI(managerOf(cards, vars)),
      _cards(cards),
      _values(values),
      _vars(vars),
      _bits(bits),
      _matching(_manager) {}

void QrcDistributeDomainI::post() {
  QrcIntExpI** cards = elementsOf(_manager, _cards);
  QrcIntExpI** vars = elementsOf(_manager, _vars);
  QrcInt n = _vars.getSize(), nCards = std::min(_cards.getSize(), _values.getSize());
  _matching.init(n, vars, nCards, cards, _values.getImpl(), _bits);
  for (QrcInt i = 0; i < n; ++i)
    vars[i]->whenDomain(new (_manager) QrcDistributeDomainDemonI(_manager, this));
  for (QrcInt k = 0; k < nCards; ++k)
    cards[k]->whenRange(new (_manager) QrcDistributeDomainDemonI(_manager, this));
}

void QrcDistributeDomainI::propagate() {
  if (!_matching.propagate()) fail();
}

QrcConstraintI* QrcDistributeDomainI::makeCopy(QrcManagerI* target) const {
  QrcIntVarArray cards(_cards.getImpl() ? _cards.getImpl()->copyForManager(target) : nullptr);
  QrcIntVarArray vars(_vars.getImpl() ? _vars.getImpl()->copyForManager(target) : nullptr);
  return new (target) QrcDistributeDomainI(cards, _values.copyFor(target), vars, _bits);
}
