// The pair propagator of the interval graphs: the rules of the three reified
// comparisons of a pair, run to their fixpoint. Code here can fail: no locals
// with destructors.
#include <ostream>

#include "qrcintervalgraph.h"

namespace {

// Binds a 0-1 variable; whether it was free.
bool bind(QrcIntExpI* v, QroInt value) {
  if (v->isBound()) {
    if (v->getValue() != value) v->setValue(value);  // fails
    return false;
  }
  v->setValue(value);
  return true;
}

// Whether a bound 0-1 variable has the value.
bool is(QrcIntExpI* v, QroInt value) {
  return v->isBound() && v->getValue() == value;
}

}  // namespace

int QrcIntervalPairI::truthP() const {
  if (_xj->getMax() < _xi->getMin() + _si) return 1;
  if (_xj->getMin() >= _xi->getMax() + _si) return 0;
  return -1;
}

int QrcIntervalPairI::truthQ() const {
  if (_xi->getMax() < _xj->getMin() + _sj) return 1;
  if (_xi->getMin() >= _xj->getMax() + _sj) return 0;
  return -1;
}

// P: X_j <= X_i + s_i - 1; not P: X_i + s_i <= X_j.
void QrcIntervalPairI::enforceP(bool v) {
  if (v) {
    _xj->setMax(_xi->getMax() + _si - 1);
    _xi->setMin(_xj->getMin() - _si + 1);
  } else {
    _xj->setMin(_xi->getMin() + _si);
    _xi->setMax(_xj->getMax() - _si);
  }
}

// Q: X_i <= X_j + s_j - 1; not Q: X_j + s_j <= X_i.
void QrcIntervalPairI::enforceQ(bool v) {
  if (v) {
    _xi->setMax(_xj->getMax() + _sj - 1);
    _xj->setMin(_xi->getMin() - _sj + 1);
  } else {
    _xi->setMin(_xj->getMin() + _sj);
    _xj->setMax(_xi->getMax() - _sj);
  }
}

bool QrcIntervalPairI::pass() {
  QroInt lo[2] = {_xj->getMin(), _xi->getMin()}, hi[2] = {_xj->getMax(), _xi->getMax()};
  bool changed = false;
  int p = truthP(), q = truthQ();
  // E == (P && Q)
  if (p == 1 && q == 1) changed |= bind(_e, 1);
  if (p == 0 || q == 0) changed |= bind(_e, 0);
  // ((E == 0) && (R == 1)) == !Q
  if (q == 0) changed |= bind(_e, 0) | bind(_r, 1);
  if (q == 1) {
    if (is(_e, 0)) changed |= bind(_r, 0);
    if (is(_r, 1)) changed |= bind(_e, 1);
  }
  // ((E == 0) && (R == 0)) == !P
  if (p == 0) changed |= bind(_e, 0) | bind(_r, 0);
  if (p == 1) {
    if (is(_e, 0)) changed |= bind(_r, 1);
    if (is(_r, 0)) changed |= bind(_e, 1);
  }
  if (is(_e, 1)) {
    enforceP(true);
    enforceQ(true);
  } else if (is(_e, 0)) {
    if (p == 1) enforceQ(false);
    if (q == 1) enforceP(false);
    if (is(_r, 1)) enforceQ(false);
    if (is(_r, 0)) enforceP(false);
  }
  if (is(_r, 0)) enforceQ(true);
  if (is(_r, 1)) enforceP(true);
  return changed || lo[0] != _xj->getMin() || hi[0] != _xj->getMax() || lo[1] != _xi->getMin() ||
         hi[1] != _xi->getMax();
}

void QrcIntervalPairI::propagate() {
  bool moved = false;
  while (pass()) moved = true;
  if (moved && _pseudoOf) _pseudoOf->pseudoOriginsMoved();
}

void QrcIntervalPairI::post() {
  _e->whenValue(this);
  _r->whenValue(this);
  _xj->whenRange(this);
  _xi->whenRange(this);
}

void QrcIntervalPairI::display(std::ostream& os) const {
  if (_name)
    os << _name;
  else
    os << "QrcIntervalPair";
}
