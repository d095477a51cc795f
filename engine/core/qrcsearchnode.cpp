#include "qrcsearchnode.h"

#include <cmath>
#include <cstring>
#include <iostream>
#include <limits>
#include <type_traits>

#include "qrcfinish.h"
#include "qrcmanager.h"
#include "qrcqueue.h"
#include "qrcsearch.h"
#include "qrcsizealloc.h"

namespace {

const QrcInt NoIndex = -1;  // all ones: no index

void* sized(QrcManagerI* m, QrcInt bytes) {
  return m->getSizeAllocator()->allocateSized(bytes);
}
void unsized(QrcManagerI* m, void* block, QrcInt bytes) {
  if (block) m->getSizeAllocator()->freeSized(block, bytes);
}

QrcWord floatBits(QrcFloat x) {
  QrcWord w;
  std::memcpy(&w, &x, 8);
  return w;
}

QrcFloat bitsFloat(QrcWord w) {
  QrcFloat x;
  std::memcpy(&x, &w, 8);
  return x;
}

QrcInt traceFlags(QrcSearchI* search) {
  return search ? search->getNodeOption(2) : 0;
}

std::ostream& traceStream(QrcManagerI* m) {
  return m->getPropagationQueue()->getTraceStream();
}

// Little-endian words into a byte buffer.
class WordWriter {
 public:
  explicit WordWriter(unsigned char* out) : _out(out), _at(0) {}
  void put(QrcWord w) {
    for (int i = 0; i < 8; ++i) _out[_at++] = static_cast<unsigned char>(w >> (8 * i));
  }
  QrcInt size() const { return _at; }

 private:
  unsigned char* _out;
  QrcInt _at;
};

// Reads words with bounds checks; a failed read sets the error flag.
class WordReader {
 public:
  WordReader(const unsigned char* in, QrcInt size) : _in(in), _size(size), _at(0), _bad(false) {}
  QrcWord get() {
    if (_bad || _at + 8 > _size) {
      _bad = true;
      return 0;
    }
    QrcWord w = 0;
    for (int i = 0; i < 8; ++i) w |= static_cast<QrcWord>(_in[_at + i]) << (8 * i);
    _at += 8;
    return w;
  }
  // A count of entries that must fit in what is left (entries words each).
  QrcInt count(QrcInt entries) {
    QrcWord w = get();
    if (_bad) return 0;
    QrcInt left = (_size - _at) / 8;
    if (w > static_cast<QrcWord>(left) ||
        (entries > 1 && static_cast<QrcInt>(w) * entries > left)) {
      _bad = true;
      return 0;
    }
    return static_cast<QrcInt>(w);
  }
  // Reads count words into count eight-byte elements (doubles, indexes or pointers).
  void fill(void* data, QrcInt count) {
    unsigned char* p = static_cast<unsigned char*>(data);
    for (QrcInt i = 0; i < count; ++i) {
      QrcWord x = get();
      std::memcpy(p + 8 * i, &x, 8);
    }
  }
  bool bad() const { return _bad; }
  QrcInt used() const { return _at; }

 private:
  const unsigned char* _in;
  QrcInt _size;
  QrcInt _at;
  bool _bad;
};

// Reads the arrays of a node onto the manager's sized heap: a count, then the
// count elements (of each of the two arrays of a pair).
class ArrayReader {
 public:
  ArrayReader(QrcManagerI* m, WordReader& r) : _m(m), _r(r) {}
  template <class T>
  void array(T*& a, QrcInt* size) {
    QrcInt k = _r.count(1);
    if (k <= 0) return;
    filled(a, k);
    *size = k;
  }
  template <class T, class U>
  void pairs(T*& a, U*& b, QrcInt* size) {
    QrcInt k = _r.count(2);
    if (k <= 0) return;
    filled(a, k);
    filled(b, k);
    *size = k;
  }

 private:
  // Allocates an array of k eight-byte elements into a field of its own type.
  template <class T>
  void filled(T*& to, QrcInt k) {
    static_assert(sizeof(T) == 8, "serialized elements are eight bytes");
    void* block = sized(_m, k * 8);
    _r.fill(block, k);
    to = static_cast<T*>(block);
  }
  QrcManagerI* _m;
  WordReader& _r;
};

// The replay log of logWords words (a whole number of blocks).
QrcReplayLog* readReplayLog(QrcManagerI* m, WordReader& r, QrcInt logWords) {
  QrcReplayLog* log = static_cast<QrcReplayLog*>(sized(m, sizeof(QrcReplayLog)));
  *log = {logWords, nullptr, nullptr, 0};
  QrcReplayBlock** tail = &log->first;
  for (QrcInt b = 0; b < logWords / QrcReplayBlock::Words; ++b) {
    QrcReplayBlock* blk = static_cast<QrcReplayBlock*>(sized(m, sizeof(QrcReplayBlock)));
    r.fill(blk->words, QrcReplayBlock::Words);
    blk->next = nullptr;
    *tail = blk;
    tail = &blk->next;
  }
  log->current = log->first;
  return log;
}

}  // namespace

// ---------------------------------------------------------------- fail labels

QrcFailLabelI::QrcFailLabelI(QrcSearchI* search, QrcAny label, QrcFailLabelI* next)
    : _search(search), _label(label), _hit(0), _refs(0), _next(next) {
  if (next) next->addRef();
}

QrcFailLabelI::~QrcFailLabelI() {}

bool QrcFailLabelI::isHit() const {
  for (const QrcFailLabelI* l = this; l; l = l->_next)
    if (l->_hit) return true;
  return false;
}

bool QrcFailLabelI::markHit(QrcAny label) {
  for (QrcFailLabelI* l = this; l; l = l->_next) {
    if (l->_label == label) {
      l->_hit = 1;
      return true;
    }
  }
  return false;
}

namespace {

// Lowers the reference of a chain head; labels left without references are
// deleted, each releasing its successor.
void dropLabels(QrcFailLabelI* l, QrcManagerI* m, QrcInt flags) {
  while (l && l->dropRef()) {
    QrcFailLabelI* next = l->getNext();
    if (flags & 2) traceStream(m) << "Destroying Label" << std::endl;
    delete l;
    l = next;
  }
}

}  // namespace

// ---------------------------------------------------------------- creation

QrcSearchNode::QrcSearchNode(QrcManagerI* manager)
    : _manager(manager),
      _cursor(0),
      _pathLength(0),
      _minusCount(0),
      _pathWords(nullptr),
      _pathWordCount(0),
      _objectives{nullptr, nullptr, 0},
      _history{nullptr, nullptr, 0},
      _keys{nullptr, 0},
      _evaluators{nullptr, 0},
      _selectors{nullptr, 0},
      _limits{nullptr, nullptr, 0},
      _labels(nullptr),
      _log(nullptr),
      _lastSelector(-1),
      _selectorCount(0),
      _selectorValue(0.0),
      _lastKey(-1),
      _evaluatorCount(0),
      _limitCount(0),
      _objectiveCount(0),
      _historyCount(0),
      _sequence(0),
      _number(0) {}

QrcSearchNode* QrcSearchNode::allocate(QrcManagerI* manager) {
  void* p = sized(manager, sizeof(QrcSearchNode));
  return new (p) QrcSearchNode(manager);
}

QrcSearchNode* QrcSearchNode::makeRoot(QrcManagerI* manager) {
  QrcSearchNode* n = allocate(manager);
  // The choices made before the search are shared by all its nodes; only
  // their number matters.
  QrcInt length = manager->_pathDepth;
  if (length > 0) {
    n->growPath(length);
    n->_pathLength = length;
    n->_minusCount = length;
  }
  n->_cursor = length;
  return n;
}

void QrcSearchNode::growPath(QrcInt bits) {
  QrcInt words = (bits + 63) / 64;
  if (words <= _pathWordCount) return;
  QrcWord* w = static_cast<QrcWord*>(sized(_manager, words * 8));
  std::memset(w, 0, static_cast<size_t>(words) * 8);
  if (_pathWords) {
    std::memcpy(w, _pathWords, static_cast<size_t>(_pathWordCount) * 8);
    unsized(_manager, _pathWords, _pathWordCount * 8);
  }
  _pathWords = w;
  _pathWordCount = words;
}

bool QrcSearchNode::getBit(QrcInt i) const {
  if (i < 0 || i >= _pathLength) return false;
  return ((_pathWords[i / 64] >> (i % 64)) & 1) != 0;
}

void QrcSearchNode::appendChoice(bool bit) {
  QrcInt i = _pathLength;
  growPath(i + 1);
  if (bit)
    _pathWords[i / 64] |= QrcWord(1) << (i % 64);
  else
    _pathWords[i / 64] &= ~(QrcWord(1) << (i % 64));
  if (!bit) ++_minusCount;
  _pathLength = _cursor = i + 1;
}

template <class T>
static T* copyBlock(QrcManagerI* m, const T* from, QrcInt n) {
  if (!from || n <= 0) return nullptr;
  T* to = static_cast<T*>(sized(m, n * 8));
  std::memcpy(static_cast<void*>(to), from, static_cast<size_t>(n) * 8);
  return to;
}

void QrcSearchNode::copyFrom(const QrcSearchNode* o) {
  QrcManagerI* m = _manager;
  _objectives = {copyBlock(m, o->_objectives.values, o->_objectives.size),
                 copyBlock(m, o->_objectives.indexes, o->_objectives.size), o->_objectives.size};
  _history = {copyBlock(m, o->_history.values, o->_history.size),
              copyBlock(m, o->_history.indexes, o->_history.size), o->_history.size};
  _keys = {copyBlock(m, o->_keys.values, o->_keys.size), o->_keys.size};
  _evaluators = {copyBlock(m, o->_evaluators.items, o->_evaluators.size), o->_evaluators.size};
  _selectors = {copyBlock(m, o->_selectors.items, o->_selectors.size), o->_selectors.size};
  _limits = {copyBlock(m, o->_limits.items, o->_limits.size),
             copyBlock(m, o->_limits.indexes, o->_limits.size), o->_limits.size};
  _labels = o->_labels;
  if (o->_log) {
    _log = static_cast<QrcReplayLog*>(sized(m, sizeof(QrcReplayLog)));
    *_log = {o->_log->position, nullptr, nullptr, 0};
    QrcReplayBlock** tail = &_log->first;
    for (QrcReplayBlock* b = o->_log->first; b; b = b->next) {
      QrcReplayBlock* c = static_cast<QrcReplayBlock*>(sized(m, sizeof(QrcReplayBlock)));
      *c = *b;
      c->next = nullptr;
      *tail = c;
      tail = &c->next;
    }
    _log->current = _log->first;
  }
  _lastSelector = o->_lastSelector;
  _selectorCount = o->_selectorCount;
  _selectorValue = o->_selectorValue;
  _lastKey = o->_lastKey;
  _evaluatorCount = o->_evaluatorCount;
  _limitCount = o->_limitCount;
  _objectiveCount = o->_objectiveCount;
  _historyCount = o->_historyCount;
  addReferences();
}

void QrcSearchNode::addReferences() {
  for (QrcInt i = 0; i < _evaluatorCount && i < _evaluators.size; ++i)
    if (_evaluators.items[i]) static_cast<QrcNodeEvaluatorI*>(_evaluators.items[i])->addRef();
  for (QrcInt i = 0; i < _selectorCount && i < _selectors.size; ++i)
    if (_selectors.items[i]) static_cast<QrcNodeSelectorI*>(_selectors.items[i])->addRef();
  for (QrcInt i = 0; i < _limitCount && i < _limits.size; ++i)
    if (_limits.items[i]) _limits.items[i]->addRef();
  if (_labels) _labels->addRef();
}

QrcSearchNode* QrcSearchNode::makeChild(const QrcSearchNode* parent, bool bit) {
  QrcManagerI* m = parent->_manager;
  QrcSearchNode* n = allocate(m);
  QrcInt length = parent->_cursor + 1;
  n->growPath(length);
  for (QrcInt w = 0; w < n->_pathWordCount && w < parent->_pathWordCount; ++w)
    n->_pathWords[w] = parent->_pathWords[w];
  n->_pathLength = parent->_cursor;
  n->_minusCount = 0;
  for (QrcInt i = 0; i < parent->_cursor; ++i)
    if (!parent->getBit(i)) ++n->_minusCount;
  n->_cursor = n->_pathLength;
  // Clear what lies beyond the copied prefix, then add the new choice.
  QrcInt last = n->_pathLength;
  for (QrcInt i = last; i < n->_pathWordCount * 64; ++i)
    n->_pathWords[i / 64] &= ~(QrcWord(1) << (i % 64));
  n->appendChoice(bit);
  n->copyFrom(parent);
  return n;
}

void QrcSearchNode::pushFailLabel(QrcSearchI* search, QrcAny label) {
  QrcFailLabelI* l = new QrcFailLabelI(search, label, _labels);
  l->addRef();
  if (_labels) dropLabels(_labels, _manager, traceFlags(search));
  _labels = l;
}

// ---------------------------------------------------------------- release

namespace {

// One reference less on an object of a node; the last one deletes it.
enum RefKind { EvaluatorRef = 0, SelectorRef = 1, LimitRef = 2, LabelRef = 3 };

void dropRef(RefKind kind, void* object, QrcManagerI* m, QrcInt flags) {
  switch (kind) {
    case EvaluatorRef: {
      QrcNodeEvaluatorI* e = static_cast<QrcNodeEvaluatorI*>(object);
      if (!e->dropRef()) return;
      if (flags & 2) traceStream(m) << "Destroying Evaluator " << object << std::endl;
      delete e;
      return;
    }
    case SelectorRef: {
      QrcNodeSelectorI* s = static_cast<QrcNodeSelectorI*>(object);
      if (!s->dropRef()) return;
      if (flags & 2) traceStream(m) << "Destroying Selector" << std::endl;
      delete s;
      return;
    }
    case LimitRef: {
      QrcSearchLimitI* l = static_cast<QrcSearchLimitI*>(object);
      if (!l->dropRef()) return;
      if (flags & 2) traceStream(m) << "Destroying Limit" << std::endl;
      delete l;
      return;
    }
    case LabelRef:
      dropLabels(static_cast<QrcFailLabelI*>(object), m, flags);
      return;
  }
}

}  // namespace

void QrcSearchNode::dropReferences(QrcSearchI* search) {
  QrcInt flags = traceFlags(search);
  for (QrcInt i = _evaluatorCount - 1; i >= 0; --i)
    if (i < _evaluators.size && _evaluators.items[i])
      dropRef(EvaluatorRef, _evaluators.items[i], _manager, flags);
  for (QrcInt i = _selectorCount - 1; i >= 0; --i)
    if (i < _selectors.size && _selectors.items[i])
      dropRef(SelectorRef, _selectors.items[i], _manager, flags);
  for (QrcInt i = _limitCount - 1; i >= 0; --i)
    if (i < _limits.size && _limits.items[i]) dropRef(LimitRef, _limits.items[i], _manager, flags);
  dropLabels(_labels, _manager, flags);
  _labels = nullptr;
}

void QrcNodeReferenceTally::add(const QrcSearchNode* node) {
  auto count = [this](RefKind kind, const void* object) {
    if (object) ++_counts[reinterpret_cast<uintptr_t>(object) | kind];
  };
  for (QrcInt i = 0; i < node->_evaluatorCount && i < node->_evaluators.size; ++i)
    count(EvaluatorRef, node->_evaluators.items[i]);
  for (QrcInt i = 0; i < node->_selectorCount && i < node->_selectors.size; ++i)
    count(SelectorRef, node->_selectors.items[i]);
  for (QrcInt i = 0; i < node->_limitCount && i < node->_limits.size; ++i)
    count(LimitRef, node->_limits.items[i]);
  count(LabelRef, node->_labels);
}

void QrcNodeReferenceTally::release(QrcManagerI* manager, QrcSearchI* search) {
  QrcInt flags = traceFlags(search);
  for (const auto& entry : _counts) {
    RefKind kind = static_cast<RefKind>(entry.first & 3);
    void* object = reinterpret_cast<void*>(entry.first & ~static_cast<uintptr_t>(3));
    for (QrcInt k = 0; k < entry.second; ++k) dropRef(kind, object, manager, flags);
  }
  _counts.clear();
}

void QrcSearchNode::freeArrays() {
  QrcManagerI* m = _manager;
  unsized(m, _pathWords, _pathWordCount * 8);
  unsized(m, _objectives.values, _objectives.size * 8);
  unsized(m, _objectives.indexes, _objectives.size * 8);
  unsized(m, _history.values, _history.size * 8);
  unsized(m, _history.indexes, _history.size * 8);
  unsized(m, _keys.values, _keys.size * 8);
  unsized(m, _evaluators.items, _evaluators.size * 8);
  unsized(m, _selectors.items, _selectors.size * 8);
  unsized(m, _limits.items, _limits.size * 8);
  unsized(m, _limits.indexes, _limits.size * 8);
  if (_log) {
    for (QrcReplayBlock* b = _log->first; b;) {
      QrcReplayBlock* next = b->next;
      unsized(m, b, sizeof(QrcReplayBlock));
      b = next;
    }
    unsized(m, _log, sizeof(QrcReplayLog));
  }
}

void QrcSearchNode::release(QrcSearchNode* node, QrcSearchI* search) {
  if (!node) return;
  // The node goes whatever its destruction event throws.
  qrcfinish::all(
      [&] {
        if (search) search->notifyNodeDestroyed(node);
      },
      [&] {
        node->dropReferences(search);
        freeKeepingReferences(node);
      });
}

void QrcSearchNode::freeKeepingReferences(QrcSearchNode* node) {
  if (!node) return;
  QrcManagerI* m = node->_manager;
  node->freeArrays();
  node->~QrcSearchNode();
  unsized(m, node, sizeof(QrcSearchNode));
}

// ---------------------------------------------------------------- arrays

namespace {

QrcInt grownSize(QrcInt size, QrcInt n) {
  QrcInt s = size > 0 ? size : 1;
  while (s < n) s *= 2;
  return s;
}

template <class T>
T* regrow(QrcManagerI* m, T* old, QrcInt oldSize, QrcInt newSize) {
  T* a = static_cast<T*>(sized(m, newSize * 8));
  std::memset(static_cast<void*>(a), 0, static_cast<size_t>(newSize) * 8);
  if (old) {
    std::memcpy(static_cast<void*>(a), old, static_cast<size_t>(oldSize) * 8);
    unsized(m, old, oldSize * 8);
  }
  return a;
}

}  // namespace

void QrcSearchNode::growFloats(QrcManagerI* m, FloatArray& a, QrcInt n) {
  if (n <= a.size) return;
  QrcInt s = grownSize(a.size, n);
  a.values = regrow(m, a.values, a.size, s);
  a.size = s;
}

void QrcSearchNode::growPairs(QrcManagerI* m, PairArray& a, QrcInt n) {
  if (n <= a.size) return;
  QrcInt s = grownSize(a.size, n);
  a.values = regrow(m, a.values, a.size, s);
  a.indexes = regrow(m, a.indexes, a.size, s);
  for (QrcInt i = a.size; i < s; ++i) a.indexes[i] = NoIndex;
  a.size = s;
}

void QrcSearchNode::growPtrs(QrcManagerI* m, PtrArray& a, QrcInt n) {
  if (n <= a.size) return;
  QrcInt s = grownSize(a.size, n);
  a.items = regrow(m, a.items, a.size, s);
  a.size = s;
}

void QrcSearchNode::growLimits(QrcManagerI* m, LimitArray& a, QrcInt n) {
  if (n <= a.size) return;
  QrcInt s = grownSize(a.size, n);
  a.items = regrow(m, a.items, a.size, s);
  a.indexes = regrow(m, a.indexes, a.size, s);
  for (QrcInt i = a.size; i < s; ++i) a.indexes[i] = NoIndex;
  a.size = s;
}

void QrcSearchNode::addHistory(QrcFloat value) {
  growPairs(_manager, _history, _historyCount + 1);
  _history.values[_historyCount] = value;
  _history.indexes[_historyCount] = _cursor;
  ++_historyCount;
}

void QrcSearchNode::addObjective(QrcFloat value) {
  growPairs(_manager, _objectives, _objectiveCount + 1);
  _objectives.values[_objectiveCount] = value;
  _objectives.indexes[_objectiveCount] = _cursor;
  ++_objectiveCount;
}

void QrcSearchNode::setEvaluator(QrcInt i, QrcNodeEvaluatorI* evaluator) {
  if (i < 0) return;
  growPtrs(_manager, _evaluators, i + 1);
  growFloats(_manager, _keys, i + 1);
  if (evaluator) evaluator->addRef();
  QrcNodeEvaluatorI* old =
      i < _evaluatorCount ? static_cast<QrcNodeEvaluatorI*>(_evaluators.items[i]) : nullptr;
  _evaluators.items[i] = evaluator;
  if (i >= _evaluatorCount) _evaluatorCount = i + 1;
  if (i > _lastKey) _lastKey = i;
  if (old && old->dropRef()) delete old;
}

QrcNodeEvaluatorI* QrcSearchNode::getEvaluator(QrcInt i) const {
  if (i < 0 || i >= _evaluatorCount || i >= _evaluators.size) return nullptr;
  return static_cast<QrcNodeEvaluatorI*>(_evaluators.items[i]);
}

void QrcSearchNode::setKey(QrcInt i, QrcFloat key) {
  if (i < 0) return;
  growFloats(_manager, _keys, i + 1);
  growPtrs(_manager, _evaluators, i + 1);
  _keys.values[i] = key;
  if (i > _lastKey) _lastKey = i;
}

QrcFloat QrcSearchNode::getKey(QrcInt i) const {
  if (i < 0 || i >= _keys.size) return 0.0;
  return _keys.values[i];
}

void QrcSearchNode::setSelector(QrcInt i, QrcNodeSelectorI* selector) {
  if (i < 0) return;
  growPtrs(_manager, _selectors, i + 1);
  if (selector) selector->addRef();
  QrcNodeSelectorI* old =
      i < _selectorCount ? static_cast<QrcNodeSelectorI*>(_selectors.items[i]) : nullptr;
  _selectors.items[i] = selector;
  if (i >= _selectorCount) _selectorCount = i + 1;
  _lastSelector = i;
  if (old && old->dropRef()) delete old;
}

void QrcSearchNode::addLimit(QrcSearchLimitI* limit) {
  if (!limit) return;
  growLimits(_manager, _limits, _limitCount + 1);
  limit->addRef();
  _limits.items[_limitCount] = limit;
  _limits.indexes[_limitCount] = _cursor;
  ++_limitCount;
}

// ---------------------------------------------------------------- judging

void QrcSearchNode::evaluate() {
  QrcNodeEvaluatorI* e = getEvaluator(_lastKey);
  if (e) _keys.values[_lastKey] = e->evaluate(this);
  QrcNodeSelectorI* s = (_lastSelector >= 0 && _lastSelector < _selectors.size)
                            ? static_cast<QrcNodeSelectorI*>(_selectors.items[_lastSelector])
                            : nullptr;
  _selectorValue = s ? s->evaluate(this) : 0.0;
}

bool QrcSearchNode::isValid(QrcSearchI* search) {
  if (search && search->isCuttingAllNodes()) {
    search->notifyNodeDiscarded(this, QrcNodeCutAll);
    return false;
  }
  if (_lastSelector >= 0 && _lastSelector < _selectors.size && _selectors.items[_lastSelector]) {
    QrcNodeSelectorI* s = static_cast<QrcNodeSelectorI*>(_selectors.items[_lastSelector]);
    if (!s->accept(_selectorValue)) {
      if (search) search->notifyNodeDiscarded(this, QrcNodeRefusedBySelector);
      return false;
    }
  }
  return !isCut(search);
}

bool QrcSearchNode::isCut(QrcSearchI* search) {
  for (QrcInt i = 0; i < _limitCount && i < _limits.size; ++i) {
    if (_limits.items[i] && _limits.items[i]->isExceeded(this)) {
      if (search) search->notifyNodeDiscarded(this, QrcNodeOverLimit);
      return true;
    }
  }
  if (_labels && _labels->isHit()) {
    if (search) search->notifyNodeDiscarded(this, QrcNodeLabelHit);
    return true;
  }
  return false;
}

bool QrcSearchNode::hasInfiniteKey() const {
  return _lastKey >= 0 && _lastKey < _keys.size &&
         _keys.values[_lastKey] == std::numeric_limits<QrcFloat>::infinity();
}

int QrcSearchNode::compareKeys(const QrcSearchNode* a, const QrcSearchNode* b) {
  QrcInt n = a->_lastKey < b->_lastKey ? a->_lastKey : b->_lastKey;
  for (QrcInt i = 0; i <= n; ++i) {
    if (a->getEvaluator(i) != b->getEvaluator(i)) return 0;
    QrcFloat ka = a->getKey(i), kb = b->getKey(i);
    if (kb > ka) return -1;
    if (ka > kb) return 1;
  }
  return 0;
}

bool QrcSearchNode::isBetter(const QrcSearchNode* a, const QrcSearchNode* b) {
  int c = compareKeys(a, b);
  if (c != 0) return c < 0;
  return a->_sequence > b->_sequence;
}

// ---------------------------------------------------------------- replay log

QrcReplayBlock* QrcSearchNode::blockAt(QrcInt index, bool create) const {
  QrcReplayLog* log = _log;
  if (!log) return nullptr;
  auto fresh = [this]() {
    QrcReplayBlock* b = static_cast<QrcReplayBlock*>(sized(_manager, sizeof(QrcReplayBlock)));
    std::memset(static_cast<void*>(b), 0, sizeof(QrcReplayBlock));
    return b;
  };
  QrcInt wanted = index / QrcReplayBlock::Words;
  QrcReplayBlock* b = log->first;
  QrcInt at = 0;
  if (log->current && log->currentIndex <= wanted) {
    b = log->current;
    at = log->currentIndex;
  } else if (!b) {
    if (!create) return nullptr;
    b = log->first = fresh();
  }
  while (at < wanted) {
    if (!b->next) {
      if (!create) return nullptr;
      b->next = fresh();
    }
    b = b->next;
    ++at;
  }
  log->current = b;
  log->currentIndex = wanted;
  return b;
}

void QrcSearchNode::writeInfo(QrcInt index, QrcFloat value) {
  if (index < 0) return;
  if (!_log) {
    _log = static_cast<QrcReplayLog*>(sized(_manager, sizeof(QrcReplayLog)));
    *_log = {0, nullptr, nullptr, 0};
  }
  QrcReplayBlock* b = blockAt(index, true);
  b->words[index % QrcReplayBlock::Words] = floatBits(value);
  _log->position = index + 1;
}

bool QrcSearchNode::readInfo(QrcInt index, QrcFloat* value) const {
  if (!_log || index < 0 || index >= _log->position) return false;
  QrcReplayBlock* b = blockAt(index, false);
  if (!b) return false;
  *value = bitsFloat(b->words[index % QrcReplayBlock::Words]);
  return true;
}

// ---------------------------------------------------------------- serialization

QrcInt QrcSearchNode::serializedSize() const {
  QrcInt words = 3;
  words += _pathWords ? 1 + _pathWordCount : 1;
  words += _objectives.values ? 1 + 2 * _objectives.size : 1;
  words += _history.values ? 1 + 2 * _history.size : 1;
  words += _keys.values ? 1 + _keys.size : 1;
  words += _evaluators.items ? 1 + _evaluators.size : 1;
  words += _selectors.items ? 1 + _selectors.size : 1;
  words += _limits.items ? 1 + 2 * _limits.size : 1;
  words += 1;  // fail labels
  if (_log) {
    QrcInt blocks = 0;
    for (QrcReplayBlock* b = _log->first; b; b = b->next) ++blocks;
    words += 1 + blocks * QrcReplayBlock::Words;
  } else {
    words += 1;
  }
  words += 10 + 1;  // fixed fields and marker
  return words * 8;
}

QrcInt QrcSearchNode::serialize(unsigned char* out) const {
  WordWriter w(out);
  w.put(static_cast<QrcWord>(_cursor));
  w.put(static_cast<QrcWord>(_pathLength));
  w.put(static_cast<QrcWord>(_minusCount));
  // Each element (a double, an index or a pointer) is written as its eight bytes.
  auto words = [&](const void* data, QrcInt n) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (QrcInt i = 0; i < n; ++i) {
      QrcWord x;
      std::memcpy(&x, p + 8 * i, 8);
      w.put(x);
    }
  };
  auto array = [&](const void* data, QrcInt n) {
    if (!data) {
      w.put(0);
      return;
    }
    w.put(static_cast<QrcWord>(n));
    words(data, n);
  };
  auto pairs = [&](const void* a, const void* b, QrcInt n) {
    if (!a) {
      w.put(0);
      return;
    }
    w.put(static_cast<QrcWord>(n));
    words(a, n);
    words(b, n);
  };
  array(_pathWords, _pathWordCount);
  pairs(_objectives.values, _objectives.indexes, _objectives.size);
  pairs(_history.values, _history.indexes, _history.size);
  array(_keys.values, _keys.size);
  array(_evaluators.items, _evaluators.size);
  array(_selectors.items, _selectors.size);
  pairs(_limits.items, _limits.indexes, _limits.size);
  w.put(reinterpret_cast<QrcWord>(_labels));
  if (_log) {
    QrcInt blocks = 0;
    for (QrcReplayBlock* b = _log->first; b; b = b->next) ++blocks;
    w.put(static_cast<QrcWord>(blocks * QrcReplayBlock::Words));
    for (QrcReplayBlock* b = _log->first; b; b = b->next) words(b->words, QrcReplayBlock::Words);
  } else {
    w.put(0);
  }
  w.put(static_cast<QrcWord>(_lastSelector));
  w.put(static_cast<QrcWord>(_selectorCount));
  w.put(floatBits(_selectorValue));
  w.put(static_cast<QrcWord>(_lastKey));
  w.put(static_cast<QrcWord>(_evaluatorCount));
  w.put(static_cast<QrcWord>(_limitCount));
  w.put(static_cast<QrcWord>(_objectiveCount));
  w.put(static_cast<QrcWord>(_historyCount));
  w.put(static_cast<QrcWord>(_sequence));
  w.put(static_cast<QrcWord>(_number));
  w.put(Marker);
  return w.size();
}

QrcSearchNode* QrcSearchNode::deserialize(QrcManagerI* m, const unsigned char* in, QrcInt size,
                                          QrcInt* used, bool* error) {
  WordReader r(in, size);
  *error = false;
  QrcSearchNode* n = allocate(m);
  n->_cursor = static_cast<QrcInt>(r.get());
  n->_pathLength = static_cast<QrcInt>(r.get());
  n->_minusCount = static_cast<QrcInt>(r.get());
  QrcInt c = r.count(1);
  if (c > 0) {
    n->_pathWords = static_cast<QrcWord*>(sized(m, c * 8));
    n->_pathWordCount = c;
    r.fill(n->_pathWords, c);
  }
  ArrayReader arrays(m, r);
  arrays.pairs(n->_objectives.values, n->_objectives.indexes, &n->_objectives.size);
  arrays.pairs(n->_history.values, n->_history.indexes, &n->_history.size);
  arrays.array(n->_keys.values, &n->_keys.size);
  arrays.array(n->_evaluators.items, &n->_evaluators.size);
  arrays.array(n->_selectors.items, &n->_selectors.size);
  arrays.pairs(n->_limits.items, n->_limits.indexes, &n->_limits.size);
  n->_labels = reinterpret_cast<QrcFailLabelI*>(r.get());
  QrcInt logWords = r.count(1);
  if (logWords % QrcReplayBlock::Words != 0) logWords = -1;
  if (logWords > 0) n->_log = readReplayLog(m, r, logWords);
  n->_lastSelector = static_cast<QrcInt>(r.get());
  n->_selectorCount = static_cast<QrcInt>(r.get());
  n->_selectorValue = bitsFloat(r.get());
  n->_lastKey = static_cast<QrcInt>(r.get());
  n->_evaluatorCount = static_cast<QrcInt>(r.get());
  n->_limitCount = static_cast<QrcInt>(r.get());
  n->_objectiveCount = static_cast<QrcInt>(r.get());
  n->_historyCount = static_cast<QrcInt>(r.get());
  n->_sequence = static_cast<QrcInt>(r.get());
  n->_number = static_cast<QrcInt>(r.get());
  QrcWord marker = r.get();
  bool consistent = logWords >= 0 && n->hasConsistentFields();
  if (r.bad() || marker != Marker || !consistent) {
    // The references of a damaged record cannot be trusted: free the memory only.
    n->_labels = nullptr;
    freeKeepingReferences(n);
    *error = true;
    *used = 0;
    return nullptr;
  }
  *used = r.used();
  return n;
}

bool QrcSearchNode::hasConsistentFields() const {
  return _pathLength >= 0 && _pathLength <= _pathWordCount * 64 && _cursor >= 0 &&
         _cursor <= _pathLength && _evaluatorCount <= _evaluators.size &&
         _selectorCount <= _selectors.size && _limitCount <= _limits.size &&
         _objectiveCount <= _objectives.size && _historyCount <= _history.size &&
         _lastKey < _keys.size && _lastSelector < _selectors.size && _lastKey >= -1 &&
         _lastSelector >= -1 && _evaluatorCount >= 0 && _selectorCount >= 0 && _limitCount >= 0 &&
         _objectiveCount >= 0 && _historyCount >= 0;
}

// ---------------------------------------------------------------- printing

void QrcSearchNode::print(std::ostream& os) const {
  os << "Node (" << _number << ", path = [";
  for (QrcInt i = 0; i < _pathLength; ++i) {
    if (i == _cursor) os << "#";
    os << (getBit(i) ? "+" : "-");
  }
  os << "]";
  auto pairs = [&](const char* name, const PairArray& a, QrcInt count) {
    if (count <= 0) return;
    os << ", " << name << " = [";
    for (QrcInt i = 0; i < count; ++i) os << "<" << a.values[i] << ", " << a.indexes[i] << "> ";
    os << "]";
  };
  pairs("objectives", _objectives, _objectiveCount);
  pairs("history", _history, _historyCount);
  if (_lastKey >= 0) {
    os << ", keys = [";
    for (QrcInt i = 0; i <= _lastKey; ++i) os << "<" << getKey(i) << "> ";
    os << "]";
  }
  if (_evaluatorCount > 0) {
    os << ", evaluators = [";
    for (QrcInt i = 0; i < _evaluatorCount; ++i)
      os << static_cast<const void*>(getEvaluator(i)) << " ";
    os << "]";
  }
  if (_selectorCount > 0) {
    os << ", selectors = [";
    for (QrcInt i = 0; i < _selectorCount; ++i) os << _selectors.items[i] << " ";
    os << "], selector value = " << _selectorValue;
  }
  os << ")";
}

std::ostream& operator<<(std::ostream& os, const QrcSearchNode* node) {
  if (!node)
    os << "A search node";
  else
    node->print(os);
  return os;
}
