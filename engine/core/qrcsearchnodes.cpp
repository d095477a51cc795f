// Search with open-node storage: branches become stored nodes, the storage
// gives the next node to explore, and recomputation replays the node's path of
// choices (and the values recorded on it) from the deepest choice point that
// the current position shares with it.
#include <iostream>

#include "qrcfinish.h"
#include "qrcnodestorage.h"
#include "qrcsearchnode.h"
#include "qrcmanager.h"
#include "qrcqueue.h"
#include "qrcsearch.h"

namespace {

template <class F>
void deliver(QrcSearchEventMonitorI* m, F f) {
  if (!m) return;
  deliver(m->_next, f);
  f(m);
}

void misuse(QrcManagerI* m, const char* message) {
  m->getErrorReporter()->report(QrcSearchMisuseError, message, "incorrect search use");
}

}  // namespace

void QrcSearchI::setNodeStorage(QrcNodeStorageI* storage) {
  if (_nodeStorage) misuse(_manager, "The node storage cannot be changed during a search");
  _nodeStorage = storage;
  _ownsStorage = 0;
  _storageNotWanted = 0;
}

bool QrcSearchI::isCuttingAllNodes() const {
  return _cutAll != 0 || _stopped != 0;
}

void QrcSearchI::notifyNodeDiscarded(QrcSearchNode* node, QrcInt code) {
  deliver(_monitor, [&](QrcSearchEventMonitorI* mon) { mon->fourthEvent(node, code); });
}

void QrcSearchI::notifyNodeDestroyed(QrcSearchNode*) {
  deliver(_monitor, [](QrcSearchEventMonitorI* mon) { mon->secondEvent(); });
}

void QrcSearchI::setUpNodeStorage() {
  QrcManagerI* m = _manager;
  _plain = 0;
  _pathBase = m->_pathDepth;
  _orBase = m->_orRecords;
  _cutAll = 0;
  if (!_nodeStorage) {
    _nodeStorage = new QrcHeapBasedNodeStorageI(m, this);
    _ownsStorage = 1;
  }
  _bounds = nullptr;
  _currentNode = QrcSearchNode::makeRoot(m);
  _currentNode->setNumber(_nodeCounter++);
  deliver(_monitor, [&](QrcSearchEventMonitorI* mon) { mon->nodeCreated(_currentNode); });
}

void QrcSearchI::discardNodeStorage() {
  qrcfinish::all([this] { QrcSearchNode::release(_currentNode, this); },
                 [this] {
                   _currentNode = nullptr;
                   if (_nodeStorage) _nodeStorage->release();
                 },
                 [this] {
                   if (_ownsStorage) delete _nodeStorage;
                   _nodeStorage = nullptr;
                   _ownsStorage = 0;
                   _plain = 1;
                   _orBase = -2;
                 });
}

bool QrcSearchI::nextNode() {
  QrcSearchNode* n = nullptr;
  if (!_nodeStorage->get(&n)) return false;
  QrcSearchNode* left = _currentNode;
  _currentNode = n;
  QrcSearchNode::release(left, this);
  return true;
}

// No node is left: the choice points of this search's nodes go, and the search
// goes on depth-first below them (it finds only what lies under its root).
void QrcSearchI::closeNodeStorage() {
  QrcManagerI* m = _manager;
  while (m->_pathDepth > _pathBase && m->_orRecords > 0) {
    QrcWord second = 0;
    QrcAny label = nullptr;
    QrcGoalI* first = m->popChoicePoint(&second, &label);
    if (label == QrcReversibleActionMarker()) {
      runReversible(first);
      continue;
    }
    notifyBacktrack(label);
    if (!first) break;
  }
  discardNodeStorage();
}

void QrcSearchI::pushUncountedChoicePoint(QrcGoalI* first, QrcGoalI* second, QrcAny label) {
  QrcManagerI* m = _manager;
  m->saveValue(&m->_secondFirst);
  m->_secondFirst = 0;
  QrcInt counted = m->_choicePoints;
  m->pushChoicePoint(first, second, label);
  m->_choicePoints = counted;
}

QrcSearchNode* QrcSearchI::makeStoredChild(QrcSearchNode* parent, bool bit, QrcAny label) {
  QrcSearchNode* child = QrcSearchNode::makeChild(parent, bit);
  try {
    if (label) child->pushFailLabel(this, label);
    child->setNumber(_nodeCounter++);
    deliver(_monitor, [&](QrcSearchEventMonitorI* mon) { mon->nodeCreated(child); });
    child->evaluate();
  } catch (...) {
    // Nothing holds the node yet: it goes with the exception.
    qrcfinish::quietly([&] { QrcSearchNode::release(child, this); });
    throw;
  }
  return child;
}

// Each node goes to the storage, or back to the pool, whatever the other's
// making or adding throws.
void QrcSearchI::storeBothBranches(QrcSearchNode* node, QrcAny label, bool runSecond) {
  QrcSearchNode* a = makeStoredChild(node, false, label);
  QrcSearchNode* b = nullptr;
  try {
    b = makeStoredChild(node, true, label);
  } catch (...) {
    qrcfinish::quietly([&] { QrcSearchNode::release(a, this); });
    throw;
  }
  // Among equals the newer node comes out first: the preferred branch goes last.
  qrcfinish::all([&] { _nodeStorage->add(runSecond ? a : b, 1); },
                 [&] { _nodeStorage->add(runSecond ? b : a, 1); });
}

void QrcSearchI::chooseWithNodes(QrcGoalI* first, QrcGoalI* second, QrcAny label, int verdict) {
  QrcManagerI* m = _manager;
  QrcSearchNode* node = _currentNode;
  if (isRecomputing()) {
    // The stored path decides; bit set is the second goal.
    pushUncountedChoicePoint(first, second, label);
    QrcInt at = node->getCursor();
    bool bit = node->getBit(at);
    node->setCursor(at + 1);
    deliver(_monitor, [&](QrcSearchEventMonitorI* mon) { mon->nodeExpanded(node, bit ? 1 : 0); });
    ++m->_recomputedChoices;
    m->pushGoal(bit ? second : first);
    recordChoice(bit, label);
    replayBounds(node, at + 1);
    if (--_recomputationDepth == 0) {
      deliver(_monitor, [&](QrcSearchEventMonitorI* mon) { mon->nodeRestored(node); });
      applyObjectiveBound();
    }
    return;
  }
  if (!_nodeStorage->mayExtend(node)) m->fail();
  if (label == QrcInternalLabel()) {
    m->saveValue(&m->_secondFirst);
    m->_secondFirst = 0;
    m->pushChoicePoint(first, second, label);
    node->appendChoice(false);
    m->pushGoal(first);
    recordChoice(false, label);
    return;
  }
  bool runSecond = verdict == QrcSecondGoalFirst;
  if (_stopped || _nodeStorage->wantsToStore(node)) {
    if (m->_pathDepth == _pathBase) {
      // At the root no choice point marks the state to come back to: this one
      // does, and recomputation replaces its branch by the stored node's.
      m->saveValue(&m->_secondFirst);
      m->_secondFirst = 0;
      m->pushChoicePoint(first, second, label);
      recordChoice(false, label);
    }
    storeBothBranches(node, label, runSecond);
    if (!_stopped) ++m->_storedNodes;
    m->fail();
  }
  m->saveValue(&m->_secondFirst);
  m->_secondFirst = 0;
  m->pushChoicePoint(first, second, label);
  _nodeStorage->add(makeStoredChild(node, !runSecond, label), 0);
  node->appendChoice(runSecond);
  if (label) node->pushFailLabel(this, label);
  node->evaluate();
  m->pushGoal(runSecond ? second : first);
  recordChoice(runSecond, label);
}

bool QrcSearchI::recomputeToNode() {
  QrcManagerI* m = _manager;
  QrcSearchNode* target = _currentNode;
  QrcInt length = target->getPathLength();
  QrcInt depth = m->_pathDepth;
  // Length of the prefix shared by the current position and the target.
  QrcInt common = depth < length ? depth : length;
  QrcInt i = depth - 1;
  for (QrcPathCell* c = static_cast<QrcPathCell*>(m->_path); c && i >= _pathBase; c = c->next, --i)
    if (i >= length || (c->secondBranch != 0) != target->getBit(i)) common = i;
  QrcInt j = common;
  if (j > length - 1) j = length - 1;
  if (j > depth - 1) j = depth - 1;
  j = agreeingDepth(target, j);
  if (j < _pathBase)
    m->getErrorReporter()->report(QrcInternalError, "internal error",
                                  "recomputation below the root of the search");
  deliver(_monitor, [&](QrcSearchEventMonitorI* mon) { mon->beforeRestoring(target); });
  QrcGoalI* first = nullptr;
  QrcWord second = 0;
  QrcAny label = nullptr;
  while (m->_pathDepth > j) {
    if (m->_orRecords == 0)
      m->getErrorReporter()->report(QrcInternalError, "internal error",
                                    "Should find a sentinel in failure");
    QrcGoalI* g = m->popChoicePoint(&second, &label);
    if (label == QrcReversibleActionMarker()) {
      runReversible(g);
      continue;
    }
    notifyBacktrack(label);
    if (!g)
      m->getErrorReporter()->report(QrcInternalError, "internal error",
                                    "Should find a sentinel in failure");
    first = g;
  }
  m->_failLabel = nullptr;
  // The choice at j again, now taking the target's branch.
  QrcGoalI* secondGoal = reinterpret_cast<QrcGoalI*>(second);
  pushUncountedChoicePoint(first, secondGoal, label);
  bool bit = target->getBit(j);
  m->pushGoal(bit ? secondGoal : first);
  recordChoice(bit, label);
  ++m->_recomputedChoices;
  target->setCursor(j + 1);
  replayBounds(target, j + 1);
  _recomputationDepth = length - j - 1;
  deliver(_monitor, [&](QrcSearchEventMonitorI* mon) { mon->afterRestoring(target); });
  if (_recomputationDepth == 0)
    deliver(_monitor, [&](QrcSearchEventMonitorI* mon) { mon->nodeRestored(target); });
  for (QrcGoalCell* c = m->_failCallbacks; c; c = c->next) m->runGoal(c->goal);
  return true;
}

void QrcSearchI::nodeFailed() {
  QrcManagerI* m = _manager;
  if (_currentNode) _nodeStorage->nodeFailed(_currentNode);
  QrcAny label = m->_failLabel;
  if (!label) return;
  // A labelled failure cuts the nodes below the latest choice with that label;
  // without such a choice every open node goes and the label stays pending.
  QrcFailLabelI* labels = _currentNode ? _currentNode->getFailLabels() : nullptr;
  if (labels && labels->markHit(label))
    m->_failLabel = nullptr;
  else
    _cutAll = 1;
}

void QrcSearchI::emptyPathInRecomputation() {
  QrcManagerI* m = _manager;
  m->getPropagationQueue()->getTraceStream()
      << "Wrong node " << _currentNode << " on worker " << m->getWorkerNumber()
      << " warning !! empty path in recomputation " << std::endl;
  _recomputationDepth = 0;
  m->fail();
}

void QrcSearchI::writeInfo(QrcFloat value) {
  QrcManagerI* m = _manager;
  if (_plain || !_currentNode) return;
  if (isRecomputing()) misuse(m, "write info when recomputing");
  _currentNode->writeInfo(_infoCounter, value);
  m->saveValue(&_infoCounter);
  ++_infoCounter;
}

QrcFloat QrcSearchI::readInfo() {
  QrcManagerI* m = _manager;
  if (_plain || !isRecomputing()) misuse(m, "read info when not recomputing");
  QrcFloat value = 0.0;
  if (!_currentNode->readInfo(_infoCounter, &value))
    m->getErrorReporter()->report(QrcInternalError, "internal error",
                                  "read info beyond the recorded values");
  m->saveValue(&_infoCounter);
  ++_infoCounter;
  return value;
}

void QrcSearchI::recordObjectiveValue(QrcFloat value) {
  if (_plain || !_currentNode) return;
  _currentNode->addObjective(value);
  pushBound(_currentNode->getCursor(), value);
}

void QrcSearchI::pushBound(QrcInt depth, QrcFloat value) {
  QrcManagerI* m = _manager;
  QrcInt count = _bounds ? _bounds->count + 1 : 1;
  m->saveValue(&_bounds);
  _bounds = new (m) QrcBoundCell{depth, value, count, _bounds};
}

// A replay applies the bounds of the target's path where they were applied
// first, so that the goals meet the domains they met then and repeat its
// choices; the current bound comes once the path is replayed.
void QrcSearchI::replayBounds(QrcSearchNode* node, QrcInt depth) {
  if (!_optFilter) return;
  for (QrcInt i = 0; i < node->getObjectiveCount(); ++i) {
    if (node->getObjectiveDepth(i) != depth) continue;
    pushBound(depth, node->getObjective(i));
    _optFilter->applyRecordedBound(node->getObjective(i));
  }
}

// Both lists are ordered by depth: the target's oldest first, the current
// path's newest first, numbered by count. The first position where they
// differ marks the shallowest depth reached under other bounds.
QrcInt QrcSearchI::agreeingDepth(const QrcSearchNode* target, QrcInt j) const {
  QrcInt n = 0;
  while (n < target->getObjectiveCount() && target->getObjectiveDepth(n) <= j) ++n;
  QrcInt differs = j + 1;
  QrcInt kept = 0;
  for (const QrcBoundCell* c = _bounds; c; c = c->next) {
    if (c->depth > j) continue;
    if (kept == 0) kept = c->count;
    QrcInt p = c->count - 1;
    bool same =
        p < n && target->getObjectiveDepth(p) == c->depth && target->getObjective(p) == c->value;
    QrcInt d =
        p < n && target->getObjectiveDepth(p) < c->depth ? target->getObjectiveDepth(p) : c->depth;
    if (!same && d < differs) differs = d;
  }
  // The target's bounds beyond the current path's.
  if (kept < n && target->getObjectiveDepth(kept) < differs)
    differs = target->getObjectiveDepth(kept);
  QrcInt depth = differs - 1 < j ? differs - 1 : j;
  // Every path shares the bounds of the search's root.
  return depth < _pathBase && j >= _pathBase ? _pathBase : depth;
}
