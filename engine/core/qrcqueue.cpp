#include "qrcqueue.h"

#include <cstdlib>
#include <iostream>

#include "qrcconstraint.h"
#include "qrcevent.h"
#include "qrcfail.h"
#include "qrcmanager.h"
#include "qrcmonitor.h"
#include "qroexception.h"

namespace {

const int CellsPerBlock = 250;

// Block of FIFO cells: 250 cells and a link (4008 bytes).
struct FifoBlock {
  QrcPropagationQueueI::Cell cells[CellsPerBlock];
  FifoBlock* link;
};

struct IntBlock {
  QrcPropagationQueueI::IntCell cells[CellsPerBlock];
  IntBlock* link;
};

struct FloatBlock {
  QrcPropagationQueueI::FloatCell cells[CellsPerBlock];
  FloatBlock* link;
};

template <class Block, class CellT>
CellT* carve(void*& chain, QrcUInt& bytes, QrcUInt blockBytes, bool counted) {
  Block* b = static_cast<Block*>(std::malloc(sizeof(Block)));
  if (!b) throw QroMemoryException();
  b->link = static_cast<Block*>(chain);
  chain = b;
  for (int i = 0; i < CellsPerBlock; ++i)
    b->cells[i].next = i + 1 < CellsPerBlock ? &b->cells[i + 1] : nullptr;
  if (counted) bytes += blockBytes;
  return &b->cells[0];
}

template <class Block>
void freeChain(void* chain) {
  Block* b = static_cast<Block*>(chain);
  while (b) {
    Block* next = b->link;
    std::free(b);
    b = next;
  }
}

}  // namespace

QrcPropagationQueueI::QrcPropagationQueueI(QrcManagerI* manager)
    : _tracedDemon(nullptr),
      _traceStream(&std::cout),
      _monitor(nullptr),
      _trace(0),
      _levelMask(0),
      _drainMask(~0u),
      _nesting(0),
      _drainDepth(0),
      _postingCount(0),
      _freeIntCells(nullptr),
      _intBlocks(nullptr),
      _freeFloatCells(nullptr),
      _floatBlocks(nullptr),
      _bytes(16280),
      _manager(manager),
      _pendingMin(0),
      _pendingMax(0),
      _deferredValues(nullptr),
      _lastDeferredValue(nullptr),
      _deferredRanges(nullptr),
      _deferredAdditions(nullptr),
      _pendingFloatMin(0),
      _pendingFloatMax(0),
      _deferredFloats(nullptr),
      _stamp(1),
      _drainSerial(0),
      _runCount(1),
      _stepLimit(INT64_MAX),
      _steps(0),
      _demonRuns(0),
      _quietRuns(0),
      _events(0),
      _staleParentsStamp(0) {
  _freeIntCells = carve<IntBlock, IntCell>(_intBlocks, _bytes, 6008, false);
  _freeFloatCells = carve<FloatBlock, FloatCell>(_floatBlocks, _bytes, 6008, false);
  initList(_handlers);
  for (int i = 0; i < Levels; ++i) {
    initList(_posting[i]);
    initList(_propagation[i]);
  }
}

QrcPropagationQueueI::~QrcPropagationQueueI() {
  freeChain<FifoBlock>(_handlers.blocks);
  for (int i = 0; i < Levels; ++i) {
    freeChain<FifoBlock>(_posting[i].blocks);
    freeChain<FifoBlock>(_propagation[i].blocks);
  }
  freeChain<IntBlock>(_intBlocks);
  freeChain<FloatBlock>(_floatBlocks);
}

// ---------------------------------------------------------------- FIFO lists

// A list's first block is part of the queue's size at creation; later ones add
// to it.
void QrcPropagationQueueI::refill(List& list) {
  list.free = carve<FifoBlock, Cell>(list.blocks, _bytes, 4008, list.blocks != nullptr);
}

void QrcPropagationQueueI::initList(List& list) {
  list.free = nullptr;
  list.blocks = nullptr;
  list.head = list.tail = takeCell(list);
}

// ---------------------------------------------------------------- scheduling

void QrcPropagationQueueI::pushLast(QrcRootGoalDemonI* item) {
  if (_manager->isInNestedSolve()) return;
  push(item, QrcLastPriority);
}

void QrcPropagationQueueI::queueForPosting(QrcConstraintI* ct) {
  QrcInt p = ct->getEditPriority();
  if (p < 0) p = 0;
  if (p > Levels - 1) p = Levels - 1;
  append(_posting[p], ct);
  ++_postingCount;
  _levelMask |= WorkBit;
}

int QrcPropagationQueueI::firstNonEmptyPostingLevel() const {
  for (int i = 0; i < Levels; ++i)
    if (!_posting[i].empty()) return i;
  return Levels;
}

void QrcPropagationQueueI::startDrain() {
  if (!drainsHere()) return;
  ++_nesting;
  ++_stamp;
  ++_drainSerial;
  _steps = 0;
  drain();
  --_nesting;
  ++_drainSerial;
}

inline void QrcPropagationQueueI::processHandlers() {
  while (!_handlers.empty()) {
    QrcEventHandlerI* h = static_cast<QrcEventHandlerI*>(_handlers.head->item);
    if (++_steps > _stepLimit) _manager->fail();
    ++_runCount;
    if (h->getState() != QrcEventHandlerI::Disabled) {
      ++_events;
      bool tracing = _trace && _monitor;
      if (tracing) h->traceWithMonitor(_monitor);
      if (h->getTrapState() == QrcEventHandlerI::NoTrap)
        h->process();
      else
        QrcProcessHandler(h);
      if (tracing) h->traceWithMonitor2(_monitor);
    }
    popFront(_handlers);
  }
}

void QrcPropagationQueueI::drain() {
  // Events and postings first, then one item of the lowest nonempty level;
  // the last level waits while a nested solve runs.
  for (;;) {
    unsigned mask = _levelMask;
    if (mask & WorkBit) {
      // Constraints added while another one was posted or propagated wait
      // here; they are posted even when no variable event follows.
      while (!_handlers.empty() || _postingCount > 0) {
        processHandlers();
        if (_postingCount > 0) postPending();
      }
      _levelMask &= ~WorkBit;
      continue;
    }
    if (!(mask & _drainMask)) return;
    int k = __builtin_ctz(mask);
    List& list = _propagation[k];
    QrcRootGoalDemonI* item = static_cast<QrcRootGoalDemonI*>(popFront(list));
    if (list.empty()) _levelMask = mask & ~(1u << k);
    ++_runCount;
    // runIfPending does nothing for an item that is not pending.
    if (item->getState() != QrcRootGoalDemonI::Pending) continue;
    if (__builtin_expect(!item->isPlainConstraintItem() || _trace, 0)) {
      if (item->isConstraintItem())
        static_cast<QrcConstraintI*>(item)->runIfPending();
      else
        item->runIfPending();
      continue;
    }
    // runIfPending of a constraint without hooks, untraced.
    QrcManagerI* m = item->getManager();
    QrcRootGoalDemonI* saved = m->getCurrentDemon();
    runPlain(m, item);
    m->setCurrentDemon(saved);
  }
}

void QrcPropagationQueueI::postPending() {
  int level = firstNonEmptyPostingLevel();
  while (level < Levels) {
    QrcConstraintI* ct = static_cast<QrcConstraintI*>(popFront(_posting[level]));
    --_postingCount;
    if (!_manager->isClaimed(ct)) ct->postAndPropagate();
    if (!_handlers.empty()) return;
    level = firstNonEmptyPostingLevel();
  }
}

void QrcPropagationQueueI::clear() {
  while (!_handlers.empty()) {
    QrcEventHandlerI* h = static_cast<QrcEventHandlerI*>(popFront(_handlers));
    h->clearEvents();
  }
  if (_postingCount > 0) {
    for (int i = 0; i < Levels; ++i)
      while (!_posting[i].empty()) popFront(_posting[i]);
    _postingCount = 0;
  }
  // Inside a nested solve the lists hold its own work only (the outer work
  // is aside): emptied alike, back to its base nesting level.
  _nesting = _drainDepth;
  _levelMask &= ~WorkBit;
  unsigned mask = _levelMask;
  while (mask) {
    int b = __builtin_ctz(mask);
    mask &= mask - 1;
    List& list = _propagation[b];
    while (!list.empty()) {
      QrcRootGoalDemonI* item = static_cast<QrcRootGoalDemonI*>(popFront(list));
      if (item->getState() == QrcRootGoalDemonI::Pending) item->setState(QrcRootGoalDemonI::Idle);
    }
    _levelMask &= ~(1u << b);
  }
  _tracedDemon = nullptr;
  ++_drainSerial;
}

// ---------------------------------------------------------------- nested solves

QrcPropagationQueueI::Aside QrcPropagationQueueI::enterNestedSolve() {
  Aside outer;
  List& last = _propagation[Levels - 1];
  outer.pending = nullptr;
  for (int k = 0; k < Levels; ++k)
    for (Cell* c = _propagation[k].head; c != _propagation[k].tail; c = c->next) {
      QrcRootGoalDemonI* item = static_cast<QrcRootGoalDemonI*>(c->item);
      if (item->getState() != QrcRootGoalDemonI::Pending) continue;
      Cell* kept = takeCell(last);
      kept->item = item;
      kept->next = outer.pending;
      outer.pending = kept;
    }
  for (int k = 0; k < ListCount; ++k) {
    List& list = listAt(k);
    outer.head[k] = list.head;
    outer.tail[k] = list.tail;
    list.head = list.tail = takeCell(list);
  }
  outer.levelMask = _levelMask;
  outer.drainMask = _drainMask;
  outer.nesting = _nesting;
  outer.drainDepth = _drainDepth;
  outer.postingCount = _postingCount;
  outer.steps = _steps;
  _levelMask = 0;
  _drainMask = ~(1u << (Levels - 1));
  _nesting = 1;
  _drainDepth = 1;
  _postingCount = 0;
  return outer;
}

void QrcPropagationQueueI::leaveNestedSolve(const Aside& outer) {
  List& last = _propagation[Levels - 1];
  for (Cell* c = outer.pending; c;) {
    Cell* next = c->next;
    QrcRootGoalDemonI* item = static_cast<QrcRootGoalDemonI*>(c->item);
    if (item->getState() == QrcRootGoalDemonI::Idle) item->setState(QrcRootGoalDemonI::Pending);
    c->next = last.free;
    last.free = c;
    c = next;
  }
  unsigned mask = outer.levelMask;
  QrcInt posting = outer.postingCount;
  for (int k = 0; k < ListCount; ++k) {
    List& list = listAt(k);
    Cell* left = list.head;
    Cell* spare = list.tail;
    list.head = outer.head[k];
    list.tail = outer.tail[k];
    for (Cell* c = left; c != spare; c = left) {
      left = c->next;
      void* item = c->item;
      c->next = list.free;
      list.free = c;
      append(list, item);
      if (k > Levels) {
        mask |= 1u << (k - 1 - Levels);
        continue;
      }
      mask |= WorkBit;
      if (k > 0) ++posting;
    }
    spare->next = list.free;
    list.free = spare;
  }
  _levelMask = mask;
  _drainMask = outer.drainMask;
  _nesting = outer.nesting;
  _drainDepth = outer.drainDepth;
  _postingCount = posting;
  _steps = outer.steps;
}

void QrcPropagationQueueI::notifyDemonBegin(QrcRootGoalDemonI* d) {
  if (_monitor)
    _monitor->notifyDemonBegin(d);
  else
    setTracedDemon(d);
}

void QrcPropagationQueueI::notifyDemonEnd(QrcRootGoalDemonI* d) {
  if (_monitor)
    _monitor->notifyDemonEnd(d);
  else
    clearTracedDemon(d);
}

// ---------------------------------------------------------------- deferred requests

void QrcPropagationQueueI::refillIntCells() {
  _freeIntCells = carve<IntBlock, IntCell>(_intBlocks, _bytes, 6008, true);
}

QrcInt QrcPropagationQueueI::deferRange(QrcInt a, QrcInt b) {
  if (a > _pendingMin) _pendingMin = a;
  if (b < _pendingMax) _pendingMax = b;
  return _pendingMax;
}

void QrcPropagationQueueI::deferValue(QrcInt v) {
  IntCell* c = newCell();
  c->value = v;
  c->next = _deferredValues;
  _deferredValues = c;
  _lastDeferredValue = c;
}

void QrcPropagationQueueI::dropLastDeferredValue() {
  if (!_deferredValues) return;
  IntCell* c = _deferredValues;
  _deferredValues = c->next;
  freeCell(c);
  _lastDeferredValue = _deferredValues;
}

void QrcPropagationQueueI::deferValueRange(QrcInt a, QrcInt b) {
  IntCell* hi = newCell();
  hi->value = b;
  hi->next = _deferredRanges;
  IntCell* lo = newCell();
  lo->value = a;
  lo->next = hi;
  _deferredRanges = lo;
}

void QrcPropagationQueueI::setLastDeferredRangeMin(QrcInt v) {
  if (_deferredRanges) _deferredRanges->value = v;
}

void QrcPropagationQueueI::setLastDeferredRangeMax(QrcInt v) {
  if (_deferredRanges && _deferredRanges->next) _deferredRanges->next->value = v;
}

void QrcPropagationQueueI::deferAddition(QrcInt v) {
  IntCell* c = newCell();
  c->value = v;
  c->next = _deferredAdditions;
  _deferredAdditions = c;
}

void QrcPropagationQueueI::clearDeferred() {
  freeCells(takeDeferredValues());
  freeCells(takeDeferredRanges());
  freeCells(takeDeferredAdditions());
}

QrcPropagationQueueI::FloatCell* QrcPropagationQueueI::newFloatCell() {
  if (!_freeFloatCells)
    _freeFloatCells = carve<FloatBlock, FloatCell>(_floatBlocks, _bytes, 6008, true);
  return popValueCell(_freeFloatCells);
}

void QrcPropagationQueueI::freeFloatCells(FloatCell* list) {
  while (list) {
    FloatCell* next = list->next;
    list->next = _freeFloatCells;
    _freeFloatCells = list;
    list = next;
  }
}

void QrcPropagationQueueI::deferFloatRange(QrcFloat a, QrcFloat b) {
  if (a > _pendingFloatMin) _pendingFloatMin = a;
  if (b < _pendingFloatMax) _pendingFloatMax = b;
}

void QrcPropagationQueueI::deferFloatValue(QrcFloat v) {
  FloatCell* c = newFloatCell();
  c->value = v;
  c->next = _deferredFloats;
  _deferredFloats = c;
}

QrcPropagationQueueI::FloatCell* QrcPropagationQueueI::takeDeferredFloatValues() {
  FloatCell* l = _deferredFloats;
  _deferredFloats = nullptr;
  return l;
}

// ---------------------------------------------------------------- constraint lists

void QrcConstraintList::addConstraint(QrcRootGoalDemonI* ct) {
  if (!ct) QrcFatalError(QrcEmptyHandleError, "empty handle", "addConstraint");
  if (_head && _head->item == ct) return;
  _manager->saveValue(&_head);
  _head = new (_manager) Cell{_head, ct};
}

void QrcConstraintList::removeConstraint(QrcRootGoalDemonI* ct) {
  if (!ct) QrcFatalError(QrcEmptyHandleError, "empty handle", "removeConstraint");
  Cell** link = &_head;
  while (*link) {
    if ((*link)->item == ct) {
      _manager->saveValue(link);
      *link = (*link)->next;
    } else {
      link = &(*link)->next;
    }
  }
}

QrcInt QrcConstraintList::getSize() const {
  QrcInt n = 0;
  for (Cell* c = _head; c; c = c->next) ++n;
  return n;
}

void QrcConstraintList::runHooked(QrcRootGoalDemonI* d) {
  QrcManagerI* m = _manager;
  QrcPropagationQueueI* q = m->getPropagationQueue();
  if (q->isTracing()) {
    d->runIfPending();
    return;
  }
  QrcRootGoalDemonI* saved = m->getCurrentDemon();
  d->setState(QrcRootGoalDemonI::Idle);
  m->setCurrentDemon(d);
  QrcConstraintI* ct = d->isConstraintItem() ? static_cast<QrcConstraintI*>(d) : nullptr;
  if (d->hasQuietTest() && !ct->hasFailTrap() && ct->runIfQuiet()) {
    q->countQuietRun();
    m->setCurrentDemon(saved);
    return;
  }
  q->countDemonRun();
  if (ct && ct->hasFailTrap())
    static_cast<QrcTryCatchFailI*>(ct->getFailTrap())->run();
  else
    d->propagate();
  m->setCurrentDemon(saved);
}

void QrcConstraintList::propagateAll() {
  QrcPropagationQueueI* q = _manager->getPropagationQueue();
  for (Cell* c = _head; c; c = c->next) {
    QrcRootGoalDemonI* saved = _manager->getCurrentDemon();
    _manager->setCurrentDemon(c->item);
    bool tracing = q->isTracing();
    if (tracing) q->notifyDemonBegin(c->item);
    q->countDemonRun();
    c->item->propagate();
    if (tracing) q->notifyDemonEnd(c->item);
    _manager->setCurrentDemon(saved);
  }
}
