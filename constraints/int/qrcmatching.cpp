// Capacity matching of variables to values, and the two constraints built on
// it. Code that can fail keeps trivially destructible locals only.
#include "qrcmatching.h"

#include <algorithm>
#include <cstdint>
#include <ostream>

#include "qrcsizealloc.h"

namespace {

// No value of an engine domain comes near it, so it marks "unmatched".
const QrcInt Unmatched = INT64_MIN;

template <class T>
T* allocArray(QrcManagerI* m, QrcInt n) {
  return static_cast<T*>(m->allocate(static_cast<size_t>(n > 0 ? n : 1) * sizeof(T)));
}

class QrcAllDiffDomainDemonI : public QrcDemonI {
  QROSIMPLECLASS(QrcAllDiffDomainDemonI, QrcDemonI)
 public:
  QrcAllDiffDomainDemonI(QrcManagerI* m, QrcConstraintI* ct) : QrcDemonI(m, ct) {}
  void propagate() override { _owner->push(); }
  void display(std::ostream& os) const override { os << "QrcAllDiffDomainDemon"; }
};

class QrcDistributeDomainDemonI : public QrcDemonI {
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
      _scc(),
      _capacity(),
      _target(),
      _bits(3),
      _unitCapacity(1) {}

void QrcCardMatchingI::init(QrcInt n, QrcIntExpI** vars, QrcInt nCards, QrcIntExpI** cards,
                            const QrcInt* values, QrcInt bits) {
  _nVars = n;
  _nCards = nCards;
  _cards = cards;
  _listed = values;
  _bits = bits;
  _unitCapacity = cards == nullptr;
  _capacity = QrcMatchSearch{this, nullptr, Unmatched, 1, 0};
  _target = QrcMatchSearch{this, nullptr, Unmatched, 0, 0};
  _scc = QrcMatchSccState{nullptr, 0, this, nullptr, 0, 0};
  _varNodes = allocArray<QrcMatchVarNode>(_manager, n);
  _saved = allocArray<QrcInt>(_manager, n);
  for (QrcInt i = 0; i < n; ++i)
    _varNodes[i] = QrcMatchVarNode{Unmatched, vars[i], nullptr, nullptr, nullptr, nullptr, 0};
  if (n == 0 && nCards == 0) return;  // empty universe: nothing to match

  // The universe: every domain value, then the listed values.
  QrcIntMap* seen = new (_manager) QrcIntMap(_manager);
  for (QrcInt i = 0; i < n; ++i) {
    QrcIntExpI* x = vars[i];
    QrcInt hi = x->getMax();
    for (QrcInt v = x->getMin();; v = x->getNextHigher(v)) {
      seen->add(v, v);
      if (v >= hi) break;
    }
  }
  for (QrcInt k = 0; k < nCards; ++k) seen->add(values[k], values[k]);
  QrcInt count = seen->getSize();
  QrcInt* universe = seen->getValues();
  std::sort(universe, universe + count);
  _offset = universe[0];
  QrcUInt spread = static_cast<QrcUInt>(universe[count - 1]) - static_cast<QrcUInt>(_offset);
  bool sparse = spread >= static_cast<QrcUInt>(10 * count);
  _nValues = sparse ? count : static_cast<QrcInt>(spread) + 1;
  _valueNodes = allocArray<QrcMatchValueNode>(_manager, _nValues);
  QrcIntExpI* shared = nullptr;
  if (!cards)
    shared = new (_manager) QrcIntExpI(_manager, 0, 1, nullptr);
  else if (nCards < count)
    shared = new (_manager) QrcIntExpI(_manager, 0, n, nullptr);
  for (QrcInt j = 0; j < _nValues; ++j)
    _valueNodes[j] = QrcMatchValueNode{
        sparse ? universe[j] : _offset + j, 0, nullptr, nullptr, 0, 0, nullptr, 0, shared, nullptr};
  if (sparse) {
    _index = new (_manager) QrcIntMap(_manager);
    for (QrcInt j = 0; j < count; ++j) _index->add(universe[j], j);
  }
  for (QrcInt k = 0; k < nCards; ++k) nodeOf(values[k])->card = cards[k];
}

inline QrcMatchValueNode* QrcCardMatchingI::nodeOf(QrcInt v) const {
  if (!_index) return _valueNodes + (v - _offset);
  return _valueNodes + _index->get(v);
}

inline QrcInt QrcCardMatchingI::capMin(QrcMatchValueNode* node) const {
  return _unitCapacity ? 0 : node->card->getMin();
}

inline QrcInt QrcCardMatchingI::capMax(QrcMatchValueNode* node) const {
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
  QrcIntExpI* x = u->var;
  if (!s.capacityMode) return s.found != s.excluded && x->isInDomain(s.found);
  QrcInt hi = x->getMax();
  for (QrcInt v = x->getMin();; v = x->getNextHigher(v)) {
    if (v != s.excluded) {
      QrcMatchValueNode* node = nodeOf(v);
      if (node->count < capMax(node)) {
        s.found = v;
        return true;
      }
    }
    if (v >= hi) return false;
  }
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
      QrcIntExpI* x = u->var;
      QrcInt hi = x->getMax();
      for (QrcInt v = x->getMin(); !found; v = x->getNextHigher(v)) {
        if (v != u->matched && v != s.excluded) {
          for (QrcMatchVarNode* t = nodeOf(v)->head; t; t = t->next) {
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
        if (v >= hi) break;
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

void QrcCardMatchingI::restoreSaved() {
  for (QrcInt i = 0; i < _nVars; ++i) {
    QrcMatchVarNode* u = _varNodes + i;
    if (u->matched == _saved[i]) continue;
    if (u->matched != Unmatched) unlink(u);
    if (_saved[i] != Unmatched) link(u, _saved[i]);
  }
}

bool QrcCardMatchingI::propagate() {
  if (_nValues == 0) return true;
  for (QrcInt i = 0; i < _nVars; ++i) {
    QrcMatchVarNode* u = _varNodes + i;
    _saved[i] = u->matched;
    if (u->matched != Unmatched && !u->var->isInDomain(u->matched)) unlink(u);
  }
  if (!repair()) {
    restoreSaved();
    return false;
  }
  if (_bits & PruneComponents) pruneComponents();
  if (_bits & BoundCards) boundCards();
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
  QrcInt pos = u ? u->var->getMin() - 1 : 0;
  for (;;) {
    if (u) {
      QrcIntExpI* x = u->var;
      if (pos >= x->getMax()) {
        u = nextUnbound(u->next);
        if (u) pos = u->var->getMin() - 1;
        continue;
      }
      QrcInt v = x->getNextHigher(pos);
      pos = v;
      if (v == u->matched) continue;
      QrcMatchValueNode* node = nodeOf(v);
      if (node->flags == 0) {
        node->parent = u;
        enter(node);
        c = node;
        u = nextUnbound(node->head);
        if (u) pos = u->var->getMin() - 1;
      } else if (node->flags & QrcMatchValueNode::Closed) {
        x->removeValue(v);
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
      u->var->removeValue(c->value);
    }
    pos = c->value;
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
        card->setValue(0);
        continue;
      }
    }
    QrcInt lo = node->count;
    QrcInt cmin = card->getMin();
    while (lo > cmin && moveAway(v)) --lo;
    QrcInt hi = lo;
    QrcInt cmax = card->getMax();
    while (hi < cmax && bringOne(v)) ++hi;
    card->setRange(lo, hi);
  }
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
  return new (target) QrcDistributeDomainI(cards, _values, vars, _bits);
}
