// The And stack of goals and the Or stack of choice points.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <vector>

#include "qrcconstraint.h"
#include "qrcgoal.h"
#include "qrcmanager.h"
#include "qrcmonitor.h"
#include "qrcqueue.h"
#include "qrcsearch.h"

// And stack entries are (top before the push, goal). The floor protects the
// entries of goals that were popped after the latest choice point: pushes go
// above it, and a popped entry sends the top back to where it was.
// The top moves only when it is not already where it goes.
void QrcManagerI::pushGoal(QrcGoalI* goal) {
  QrcMemoryStack* s = _andStack;
  QrcInt top = s->getTop();
  QrcWord entry[2] = {static_cast<QrcWord>(top), reinterpret_cast<QrcWord>(goal)};
  if (top != s->_floor) s->popTo(s->_floor);
  s->pushWords(entry, 2);
  s->_floor += 2;
}

QrcGoalI* QrcManagerI::popGoal() {
  QrcMemoryStack* s = _andStack;
  QrcInt top = s->getTop();
  if (top == s->_floor) s->_floor -= 2;
  if (top < 2) return nullptr;
  QrcWord entry[2];
  s->popWords(entry, 2);
  if (static_cast<QrcInt>(entry[0]) != top - 2) s->popTo(static_cast<QrcInt>(entry[0]));
  return reinterpret_cast<QrcGoalI*>(entry[1]);
}

namespace {

// The ten words of a choice-point record, in push order.
struct ChoiceRecord {
  QrcWord label, heapTop, andTop, andFloor, persistentTop, trailTop, zero, second, orTop, first;
};

static_assert(sizeof(ChoiceRecord) == 10 * sizeof(QrcWord), "a record is ten words");

void pushRecord(QrcMemoryStack* s, const ChoiceRecord& r) {
  QrcWord words[10];
  std::memcpy(words, &r, sizeof words);
  s->pushWords(words, 10);
}

ChoiceRecord popRecord(QrcMemoryStack* s) {
  QrcWord words[10];
  s->popWords(words, 10);
  ChoiceRecord r;
  std::memcpy(&r, words, sizeof words);
  return r;
}

}  // namespace

void QrcManagerI::pushChoicePoint(QrcGoalI* first, QrcGoalI* second, QrcAny label) {
  // The objects noted are built by now: checked here; those made from now on
  // are checked at the next push, or when this record is popped.
  checkMade();
  ++_orRecords;
  if (first && label != QrcReversibleActionMarker() && label != QrcInternalLabel()) {
    ++_choicePoints;
    if (_queue->isTracing()) {
      if (_queue->getMonitor())
        _queue->getMonitor()->notifyChoicePoint(_choicePoints);
      else
        _queue->getTraceStream() << "QrcOr   : " << _choicePoints << std::endl;
    }
  }
  ++_stamp;
  ChoiceRecord r;
  r.label = reinterpret_cast<QrcWord>(label);
  r.heapTop = static_cast<QrcWord>(_heap->getTop());
  r.andTop = static_cast<QrcWord>(_andStack->getTop());
  r.andFloor = static_cast<QrcWord>(_andStack->_floor);
  r.persistentTop = static_cast<QrcWord>(_persistentTrail->getTop());
  r.trailTop = static_cast<QrcWord>(_trail->getTop());
  r.zero = 0;
  r.second = reinterpret_cast<QrcWord>(second);
  r.orTop = static_cast<QrcWord>(_orStack->getTop());
  r.first = reinterpret_cast<QrcWord>(first);
  pushRecord(_orStack, r);
  QrcMemoryStack* s = _andStack;
  if (s->getTop() == s->_floor) {
    // Reserve a copy of the entry below, so that popping past it later leaves
    // the original entry intact for this record's restoration.
    QrcWord entry[2] = {0, 0};
    if (s->getTop() >= 2) {
      s->popWords(entry, 2);
      s->pushWords(entry, 2);
    }
    s->pushWords(entry, 2);
    s->_floor += 2;
  }
}

void QrcManagerI::pushChoicePoint(QrcGoalI* goal, QrcAny label, bool noRestore) {
  pushChoicePoint(
      goal,
      noRestore ? reinterpret_cast<QrcGoalI*>(const_cast<void*>(QrcNoRestoreMarker())) : nullptr,
      label);
}

QrcGoalI* QrcManagerI::popChoicePoint(QrcWord* second, QrcAny* label) {
  ChoiceRecord r = popRecord(_orStack);
  --_orRecords;
  if (r.second != reinterpret_cast<QrcWord>(QrcNoRestoreMarker())) {
    _trail->restore(static_cast<QrcInt>(r.trailTop));
    if (_persistentTrail != _trail) _persistentTrail->restore(static_cast<QrcInt>(r.persistentTop));
    _queue->clear();
    // The objects noted since the latest push are checked before the heap
    // goes: one the heap does not hold (the caller's, made by plain new) may
    // run in another branch. None is half built: a failure jumps only while
    // none is noted, and an object whose constructor threw is forgotten.
    checkMade();
    _heap->popTo(static_cast<QrcInt>(r.heapTop));
    _andStack->_floor = static_cast<QrcInt>(r.andFloor);
    _andStack->popTo(static_cast<QrcInt>(r.andTop));
  }
  _orStack->popTo(static_cast<QrcInt>(r.orTop));
  ++_stamp;
  ++_failStamp;
  if (_scratchLock.getValue() != 0) _scratchLock.set(this, 0);
  if (second) *second = r.second;
  if (label) *label = reinterpret_cast<QrcAny>(r.label);
  return reinterpret_cast<QrcGoalI*>(r.first);
}

void QrcManagerI::addReversibleAction(QrcGoalI* goal) {
  QrcReversibleI* r = new (this) QrcReversibleI(this, goal);
  pushChoicePoint(r, QrcReversibleActionMarker(), false);
}

void QrcManagerI::addReversibleActionNoRestore(QrcGoalI* goal) {
  QrcReversibleI* r = new (this) QrcReversibleI(this, goal);
  pushChoicePoint(r, QrcReversibleActionMarker(), true);
  --_stamp;
}

void QrcManagerI::startActionGroup(QrcGoalI* goal, QrcGoalCell* cell) {
  QrcReversibleGroupI* group = new (this) QrcReversibleGroupI(this);
  group->link(cell, goal);
  addReversibleActionNoRestore(group);
  _actionGroup = group;
  _actionGroupStamp = _stamp;
  _actionGroupTop = _orStack->getTop();
}

namespace {

class QrcReleaseI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcReleaseI)
  QROSIMPLECLASS(QrcReleaseI, QrcGoalI)
 public:
  QrcReleaseI(QrcManagerI* m, void (*release)(void*), void* owner)
      : QrcGoalI(m), _release(release), _owner(owner) {}
  QrcGoalI* execute() override {
    _release(_owner);
    return nullptr;
  }

 private:
  void (*_release)(void*);
  void* _owner;
};

}  // namespace

void QrcManagerI::releaseOnBacktrack(void (*release)(void*), void* owner) {
  if (!isBacktrackable() && !_rootMark) return;
  addGroupedReversibleAction(new (this) QrcReleaseI(this, release, owner));
}

void QrcManagerI::addReversibleAction(const QrcGoal& goal) {
  addReversibleAction(goal.getImpl());
}

void QrcManagerI::addReversibleActionNoRestore(const QrcGoal& goal) {
  addReversibleActionNoRestore(goal.getImpl());
}

bool QrcManagerI::dropSentinel() {
  if (_orRecords == 0) return false;
  ChoiceRecord r = popRecord(_orStack);
  pushRecord(_orStack, r);
  if (r.first != 0) return false;
  dropRecordsTo(_orRecords - 1);
  return true;
}

void QrcManagerI::dropRecordsTo(QrcInt orRecords) {
  if (_orRecords <= orRecords) return;
  ChoiceRecord r = {};
  while (_orRecords > orRecords) {
    r = popRecord(_orStack);
    --_orRecords;
  }
  _andStack->_floor = static_cast<QrcInt>(r.andFloor);
  _andStack->popTo(static_cast<QrcInt>(r.andTop));
  _orStack->popTo(static_cast<QrcInt>(r.orTop));
  ++_stamp;
}

void QrcManagerI::collapse() {
  std::vector<QrcWord> actions;  // (goal, second) pairs, latest first
  QrcInt andTop = _andStack->getTop(), andFloor = _andStack->_floor;
  while (_orRecords > 0) {
    ChoiceRecord r = popRecord(_orStack);
    --_orRecords;
    if (r.label == reinterpret_cast<QrcWord>(QrcReversibleActionMarker())) {
      actions.push_back(r.first);
      actions.push_back(r.second);
      continue;
    }
    if (r.first == 0) {
      andTop = static_cast<QrcInt>(r.andTop);
      andFloor = static_cast<QrcInt>(r.andFloor);
      break;
    }
  }
  _andStack->_floor = andFloor;
  _andStack->popTo(andTop);
  for (size_t i = actions.size(); i >= 2; i -= 2) {
    QrcGoalI* goal = reinterpret_cast<QrcGoalI*>(actions[i - 2]);
    bool noRestore = actions[i - 1] == reinterpret_cast<QrcWord>(QrcNoRestoreMarker());
    pushChoicePoint(goal, QrcReversibleActionMarker(), noRestore);
    --_stamp;
  }
  ++_stamp;
  ++_failStamp;
}

bool QrcManagerI::popChoicePoints(QrcInt n) {
  QrcInt orTop = _orStack->getTop();
  QrcInt records = _orRecords;
  QrcInt popped = 0;
  while (popped < n && _orRecords > 0) {
    QrcAny label = nullptr;
    popChoicePoint(nullptr, &label);
    if (label != QrcReversibleActionMarker()) ++popped;
  }
  bool result = true;
  if (_orRecords > 0) {
    QrcWord first = 0;
    QrcInt top = _orStack->getTop();
    first = _orStack->pop();
    _orStack->popTo(top);
    result = reinterpret_cast<QrcGoalI*>(first) != reinterpret_cast<QrcGoalI*>(_sharedFailGoal);
  }
  _orStack->popTo(orTop);
  _orRecords = records;
  return result;
}

void QrcManagerI::pushAddedGoals() {
  QrcGoalCell* list = _goalsAdded;
  _goalsAdded = nullptr;
  for (QrcGoalCell* c = list; c; c = c->next) pushGoal(c->goal);
}

void QrcManagerI::pushSavedGoals() {
  saveValue(&_goalsAdded);
  _goalsAdded = _savedGoals;
  pushAddedGoals();
}

bool QrcManagerI::executeGoals() {
  for (;;) {
    QrcGoalI* goal = popGoal();
    if (!goal) return true;
    while (goal) {
      _currentGoal = goal;
      QrcGoalI* next = runGoal(goal);
      if (_goalsAdded) {
        if (next) pushGoal(next);
        pushAddedGoals();
        next = nullptr;
      }
      goal = next;
    }
  }
}
