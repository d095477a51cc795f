// The watch of shaving, for integer and float variables alike.
#include "qrcshaving.h"

QrcShavingWatchI::QrcShavingWatchI(QrcManagerI* m, QrcInt level)
    : QrcConstraintI(m),
      _companion(nullptr),
      _count(0),
      _stamp(0),
      _active(0),
      _threshold(0),
      _level(static_cast<int32_t>(level < 3 ? 3 : level)) {
  _threshold = _level;
}

void QrcShavingWatchI::propagate() {
  QrcInt s = _manager->getPropagationStamp();
  if (s != _stamp) {
    _count = 0;
    _active = 0;
    _stamp = s;
    return;
  }
  ++_count;
  if (_count > _threshold) {
    _active = 1;
    suspendVariable();
    _companion->pushUnlessNested();
  }
}

void QrcShavingWatchI::start() {
  dropHeld();
  reset();
}

void QrcShavingWatchI::reset() {
  _count = 0;
  _active = 0;
  resumeVariable();
}

void QrcShavingWatchI::finish() {
  reset();
  _threshold = _level;
  handBack();
}
