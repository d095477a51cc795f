// What the shaving of an integer and of a float variable's maximum share: a
// watch constraint counts the range changes of the variable within one drain
// of the propagation queue and, past its threshold, suspends the variable and
// hands over to a companion that tests upper slices of the range in nested
// searches.
#ifndef QRC_SHAVING_H
#define QRC_SHAVING_H

#include "qrcconstraint.h"

class QrcShavingWatchI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcShavingWatchI)
 public:
  // Counts; past the threshold, becomes active, suspends the variable and
  // pushes the companion.
  void propagate() override;
  // The companion starts: what an abandoned run left held is dropped, then
  // reset.
  void start();
  // Count and active flag cleared, the variable's handler resumed; what it
  // gathered while suspended is held by the watch, so that the companion's
  // nested searches do not pass it on and drop it.
  void reset();
  // Reset, the threshold back to the level, and what the watch holds given
  // back to the handler: the variable's demons hear every change they missed
  // while it was suspended. The companion is done.
  void finish();
  bool isActive() const { return _active != 0; }
  void setThreshold(QrcInt t) { _threshold = static_cast<int32_t>(t); }
  QrcInt getThreshold() const { return _threshold; }
  QrcInt getLevel() const { return _level; }
  QrcInt getCount() const { return _count; }

 protected:
  // A level below 3 counts as 3.
  QrcShavingWatchI(QrcManagerI* m, QrcInt level);
  // The count starts over in the current drain.
  void startCounting() { _stamp = _manager->getPropagationStamp(); }
  // Suspends the variable's event handler.
  virtual void suspendVariable() = 0;
  // Resumes it, holding what it gathered (QrcIntVarEventHandlerI::Held).
  virtual void resumeVariable() = 0;
  // Gives what the watch holds back to the handler, or forgets it.
  virtual void handBack() = 0;
  virtual void dropHeld() = 0;

  QrcConstraintI* _companion;

 private:
  QrcInt _count;
  QrcInt _stamp;
  char _active;
  int32_t _threshold;
  int32_t _level;
};

// The companion's walk down the range [lo, hi] of the watched variable: while
// nextMid(lo, hi, mid) finds a slice [mid, hi], test(mid, hi, &result) tries it
// in a nested search that stores the maximum it reaches in result. A refuted
// slice lowers hi to mid; while the watch stays active the walk goes on within
// [mid, result]. Answers the new maximum, the watch finished.
template <class T, class NextMid, class Test>
T qrcShaveMaximum(QrcShavingWatchI* w, T lo, T hi, NextMid nextMid, Test test) {
  T mid = lo;
  while (nextMid(lo, hi, mid)) {
    w->reset();
    T result = hi;
    if (!test(mid, hi, &result)) {
      hi = mid;
      continue;
    }
    if (!w->isActive()) {
      w->finish();
      return result;
    }
    lo = mid;
    hi = result;
  }
  w->finish();
  return hi;
}

#endif
