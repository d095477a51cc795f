// Changes at the root that may fail: an add or a narrowing outside any search
// run. Each runs above a sentinel choice point with the trails recording, so
// that a failure restores the store as it was, as backtracking does in a
// search.
#include "qrcconstraint.h"
#include "qrcfloatenv.h"
#include "qrcgoal.h"
#include "qrcmanager.h"
#include "qrcqueue.h"

QrcRootMark QrcManagerI::markRoot() {
  QrcRootMark mark;
  mark.orRecords = _orRecords;
  mark.recording = _trail->isRecording() ? 1 : 0;
  mark.persistentRecording = _persistentTrail->isRecording() ? 1 : 0;
  _trail->setRecording(1);
  _persistentTrail->setRecording(1);
  mark.trailTop = _trail->getTop();
  mark.persistentTop = _persistentTrail->getTop();
  pushChoicePoint(nullptr, nullptr, nullptr);
  return mark;
}

// A trail that was not recording keeps nothing of the change: nothing undoes
// it. The sentinel goes without restoring; reversible actions registered by
// the change stay on the Or stack.
void QrcManagerI::keepRoot(const QrcRootMark& mark) {
  if (!mark.persistentRecording && _persistentTrail != _trail) {
    _persistentTrail->setTop(mark.persistentTop);
    _persistentTrail->setRecording(0);
  }
  if (!mark.recording) {
    _trail->setTop(mark.trailTop);
    _trail->setRecording(0);
  }
  if (_orRecords != mark.orRecords + 1 || !dropSentinel()) collapse();
}

void QrcManagerI::undoRoot(const QrcRootMark& mark) {
  clearPropagation();
  popRecordsTo(mark.orRecords);
  _trail->setRecording(mark.recording);
  _persistentTrail->setRecording(mark.persistentRecording);
}

void QrcManagerI::popRecordsTo(QrcInt orRecords) {
  while (_orRecords > orRecords) {
    QrcAny label = nullptr;
    QrcGoalI* first = popChoicePoint(nullptr, &label);
    if (label == QrcReversibleActionMarker() && first) {
      QrcGoalI* action = static_cast<QrcReversibleI*>(first)->getGoal();
      if (action) action->execute();
    }
  }
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
