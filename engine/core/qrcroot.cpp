// Changes at the root that may fail: an add or a narrowing outside any search
// run and any propagation. Each runs above a sentinel choice point with the
// trails recording, so that a failure restores the store as it was, as
// backtracking does in a search.
#include "qrcconstraint.h"
#include "qrcfinish.h"
#include "qrcfloatenv.h"
#include "qrcgoal.h"
#include "qrcmanager.h"
#include "qrcqueue.h"

void QrcManagerI::runAtRoot(void (*body)(void*), void* context) {
  QrcRootMark mark;
  markRoot(&mark);
  try {
    body(context);
  } catch (...) {
    // A failure on its way to the trap the change opened under took it back
    // already, whatever a reversible action then threw.
    if (_rootMark == &mark) undoRoot(mark);
    throw;
  }
  keepRoot(mark);
}

// A search nested in the change (a solve in its propagation) runs above the
// mark with a sentinel of its own and leaves the push states alone: without
// a level it makes none and pops none. Its end leaves the trails to the mark.
void QrcManagerI::markRoot(QrcRootMark* m) {
  QrcRootMark& mark = *m;
  mark.trap = _failTrap;
  mark.orRecords = _orRecords;
  mark.recording = _trail->isRecording() ? 1 : 0;
  mark.persistentRecording = _persistentTrail->isRecording() ? 1 : 0;
  mark.pushStateLevel = _pushStateLevel;
  mark.automaticPushState = _automaticPushState;
  mark.editMode = _editMode;
  _trail->setRecording(1);
  _persistentTrail->setRecording(1);
  mark.trailTop = _trail->getTop();
  mark.persistentTop = _persistentTrail->getTop();
  _pushStateLevel = 0;
  _automaticPushState = 0;
  _rootMark = m;
  pushChoicePoint(nullptr, nullptr, nullptr);
}

// Where nothing can take the change back (no search, no push state), it keeps
// nothing on the trails, and its reversible actions, which nothing would run,
// go with the sentinel. Elsewhere the sentinel goes without restoring: the
// actions stay on the Or stack, and the words on a trail that was recording.
void QrcManagerI::keepRoot(const QrcRootMark& mark) {
  const bool lasting = !isBacktrackable();
  if ((lasting || !mark.persistentRecording) && _persistentTrail != _trail)
    _persistentTrail->setTop(mark.persistentTop);
  if (lasting || !mark.recording) _trail->setTop(mark.trailTop);
  closeRootMark(mark);
  if (lasting)
    dropRecordsTo(mark.orRecords);
  else if (_orRecords != mark.orRecords + 1 || !dropSentinel())
    collapse();
}

// Reversible actions run as the records are popped; one that throws leaves
// the others to run and the mark closed.
void QrcManagerI::undoRoot(const QrcRootMark& mark) {
  clearPropagation();
  qrcfinish::all([&] { popRecordsTo(mark.orRecords); }, [&] { closeRootMark(mark); });
}

void QrcManagerI::closeRootMark(const QrcRootMark& mark) {
  _rootMark = nullptr;
  _pushStateLevel = mark.pushStateLevel;
  _automaticPushState = mark.automaticPushState;
  _editMode = mark.editMode;
  _trail->setRecording(mark.recording);
  _persistentTrail->setRecording(mark.persistentRecording);
}

void QrcManagerI::popRecordsTo(QrcInt orRecords) {
  qrcfinish::each([this, orRecords] {
    if (_orRecords <= orRecords) return false;
    QrcAny label = nullptr;
    QrcGoalI* first = popChoicePoint(nullptr, &label);
    if (label == QrcReversibleActionMarker() && first) {
      QrcGoalI* action = static_cast<QrcReversibleI*>(first)->getGoal();
      if (action) runGoal(action);
    }
    return true;
  });
}

void QrcManagerI::clearPropagation() {
  _currentDemon = nullptr;
  _currentGoal = nullptr;
  _queue->clear();
  qroplatform::forgetRounding();
  setRoundingNearest();
}

void QrcManagerI::addAtRoot(QrcConstraintI* ct) {
  changeAtRoot([this, ct] {
    ct->setStatusBits(QrcConstraintI::Added);
    ct->setAddingGoal(_currentGoal);
    if (!isClaimed(ct)) ct->postAndPropagate();
  });
}
