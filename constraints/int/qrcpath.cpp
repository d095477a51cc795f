// Path length. Code that can fail keeps trivially destructible locals only.
#include "qrcoperands.h"
#include "qrcpath.h"

#include <cmath>
#include <ostream>

#include "qrcfloatenv.h"
#include "qrcdomainwalk.h"
#include "qrcinverse.h"
#include "qrcoutward.h"

using namespace qrcdomain;

namespace {

typedef void (QrcPathLengthConstraintI::*Body)(QrcInt);

class PathDemon : public QrcDemonI {
  QRCLIBRARYCLASS(PathDemon)
 public:
  PathDemon(QrcManagerI* m, QrcPathLengthConstraintI* ct, QrcInt i, Body body, const char* text)
      : QrcDemonI(m, ct), _ct(ct), _i(i), _body(body), _text(text) {}
  void propagate() override { (_ct->*_body)(_i); }
  void display(std::ostream& os) const override { os << _text; }

 private:
  QrcPathLengthConstraintI* _ct;
  QrcInt _i;
  Body _body;
  const char* _text;
};

void lowerMax(QrcFloatExpI* y, QrcFloat v) {
  if (v < y->getMax()) y->setRange(y->getMin(), v);
}

void raiseMin(QrcFloatExpI* y, QrcFloat v) {
  if (v > y->getMin()) y->setRange(v, y->getMax());
}

}  // namespace

#define QRC_PATH_DEMON(NAME, TEXT, BODY)                                \
  class NAME : public PathDemon {                                       \
    QRCLIBRARYCLASS(NAME)                                               \
    QROSIMPLECLASS(NAME, QrcDemonI)                                     \
   public:                                                              \
    NAME(QrcManagerI* m, QrcPathLengthConstraintI* ct, QrcInt i)        \
        : PathDemon(m, ct, i, &QrcPathLengthConstraintI::BODY, TEXT) {} \
  };

QRC_PATH_DEMON(QrcPathLengthNextValueI, "QrcPathLengthNextValue", nextBound)
QRC_PATH_DEMON(QrcPathLengthPrevValueI, "QrcPathLengthPrevValue", prevBound)
QRC_PATH_DEMON(QrcPathLengthYRangeValueI, "QrcPathLengthYRangeValue", yRangeValue)
QRC_PATH_DEMON(QrcPathLengthNextDomainI, "QrcPathLengthNextDomain", nextDomain)
QRC_PATH_DEMON(QrcPathLengthPrevDomainI, "QrcPathLengthPrevDomain", prevDomain)
QRC_PATH_DEMON(QrcPathLengthYRangeI, "QrcPathLengthYRange", yRange)
#undef QRC_PATH_DEMON

// ---------------------------------------------------------------- construction

namespace {

// A predecessor is a node number, whatever values the successors hold.
QrcIntVarArray makePrev(QrcManagerI* m, const QrcIntVarArray& next) {
  QrcInt n = next.getSize();
  return QrcIntVarArray(QrcManager(m), n, 0, n - 1);
}

QrcRevWord* supports(QrcManagerI* m, QrcInt n) {
  QrcRevWord* w = static_cast<QrcRevWord*>(
      m->allocate(static_cast<size_t>(n > 0 ? n : 1) * sizeof(QrcRevWord)));
  for (QrcInt i = 0; i < n; ++i) new (&w[i]) QrcRevWord(m, -1);
  return w;
}

}  // namespace

QrcPathLengthConstraintI::QrcPathLengthConstraintI(QrcManagerI* m, const QrcIntVarArray& next,
                                                   const QrcFloatVarArray& y,
                                                   QrcPathTransitI* transit, QrcInt p, QrcInt mode,
                                                   const QrcIntVarArray& prev)
    : QrcConstraintI(m),
      _inverse(nullptr),
      _y(y),
      _next(next),
      _prev(prev.getImpl() ? prev : makePrev(m, next)),
      _n(next.getSize()),
      _m(next.getSize() - 2 * p),
      _p(p),
      _transit(transit),
      _mode(static_cast<int>(mode)),
      _succSupport(nullptr),
      _predSupport(nullptr) {
  if (y.getSize() != _n)
    m->getErrorReporter()->report(QrcBadArraySizeError, "QrcFloatVarArrayI", "bad array size",
                                  y.getSize());
  if (_mode == 2) {
    _inverse = QrcInverse(_next, _prev).getImpl();
    _succSupport = supports(m, _n);
    _predSupport = supports(m, _n);
  }
}

void QrcPathLengthConstraintI::post() {
  if (_inverse) _inverse->post();
  for (QrcInt i = 0; i < _n; ++i) {
    if (_mode == 2) {
      if (!next(i)->isBound())
        next(i)->whenDomain(new (_manager) QrcPathLengthNextDomainI(_manager, this, i));
      if (!prev(i)->isBound())
        prev(i)->whenDomain(new (_manager) QrcPathLengthPrevDomainI(_manager, this, i));
      if (!y(i)->isBound()) y(i)->whenRange(new (_manager) QrcPathLengthYRangeI(_manager, this, i));
    } else {
      if (!next(i)->isBound())
        next(i)->whenValue(new (_manager) QrcPathLengthNextValueI(_manager, this, i));
      if (!prev(i)->isBound())
        prev(i)->whenValue(new (_manager) QrcPathLengthPrevValueI(_manager, this, i));
      if (!y(i)->isBound())
        y(i)->whenRange(new (_manager) QrcPathLengthYRangeValueI(_manager, this, i));
    }
  }
}

void QrcPathLengthConstraintI::propagate() {
  if (_inverse) _inverse->propagate();
  QrcInt starts = _m + _p;
  if (_p > 0)
    for (QrcInt i = 0; i < _n; ++i) next(i)->setRange(QrcInt(0), _n - 1);
  for (QrcInt i = 0; i < _m; ++i) {
    next(i)->removeRange(starts, starts + _p - 1);
    prev(i)->removeRange(_m, starts - 1);
  }
  for (QrcInt k = 0; k < _p; ++k) next(_m + k)->setValue(starts + k);
  for (QrcInt i = 0; i < _n; ++i) {
    successorStep(i);
    predecessorStep(i);
  }
}

QrcConstraintI* QrcPathLengthConstraintI::makeCopy(QrcManagerI* t) const {
  QrcFloatVarArray y(QrcManager(t), _n);
  // As when made: the demons read the bounds the copies had before each step.
  for (QrcInt i = 0; i < _n; ++i) {
    y.set(i, static_cast<QrcFloatExpI*>(this->y(i)->getCopyForManager(t)));
    y.getImpl()->get(i)->makeEventHandlerConstraint();
  }
  return new (t)
      QrcPathLengthConstraintI(t, _next.getImpl()->copyForManager(t), y, _transit->copyFor(t), _p,
                               _mode, _prev.getImpl()->copyForManager(t));
}

// ---------------------------------------------------------------- bounds along arcs

// The transit is the caller's code (or the model's function).
QrcFloat QrcPathLengthConstraintI::transit(QrcInt a, QrcInt b) const {
  QrcPathTransitI* t = _transit;
  QrcFloat r = 0.0;
  auto ask = [t, a, b, &r] { r = t->transit(a, b); };
  _manager->runForeign(ask);
  return r;
}

QrcFloat QrcPathLengthConstraintI::earliest(QrcInt a, QrcInt b) const {
  if (a < 0 || a >= _n || isEnd(a)) return -HUGE_VAL;
  QrcFloat t = transit(a, b);
  QrcFloat r = addDown(y(a)->getMin(), t);
  setRoundingNearest();
  return r;
}

QrcFloat QrcPathLengthConstraintI::latest(QrcInt a, QrcInt b) const {
  if (b < 0 || b >= _m + _p) return HUGE_VAL;
  QrcFloat t = transit(a, b);
  QrcFloat r = subUp(y(b)->getMax(), t);
  setRoundingNearest();
  return r;
}

void QrcPathLengthConstraintI::nextBound(QrcInt i) {
  QrcInt j = next(i)->getValue();
  lowerMax(y(i), latest(i, j));
  if (_mode == 0 && j >= 0 && j < _m + _p) prev(j)->setValue(i);
}

void QrcPathLengthConstraintI::prevBound(QrcInt i) {
  QrcInt j = prev(i)->getValue();
  raiseMin(y(i), earliest(j, i));
  if (_mode == 0 && j >= 0 && j < _n && !isEnd(j)) next(j)->setValue(i);
}

void QrcPathLengthConstraintI::successorStep(QrcInt i) {
  if (next(i)->isBound())
    nextBound(i);
  else if (_mode == 2)
    successorScan(i, false);
}

void QrcPathLengthConstraintI::predecessorStep(QrcInt i) {
  if (prev(i)->isBound())
    prevBound(i);
  else if (_mode == 2)
    predecessorScan(i, false);
}

void QrcPathLengthConstraintI::successorScan(QrcInt i, bool early) {
  QrcIntExpI* x = next(i);
  QrcFloatExpI* yi = y(i);
  QrcFloat best = -HUGE_VAL;
  QrcInt support = -1;
  for (QrcInt j = x->getMin();;) {
    QrcInt after = x->getNextHigher(j);
    QrcFloat l = latest(i, j);
    if (yi->getMin() > l) {
      x->removeValue(j);
    } else if (l > best) {
      best = l;
      support = j;
      if (early && best > yi->getMax()) break;
    }
    if (after == j) break;
    j = after;
  }
  lowerMax(yi, best);
  _succSupport[i].set(_manager, support);
}

void QrcPathLengthConstraintI::predecessorScan(QrcInt i, bool early) {
  QrcIntExpI* x = prev(i);
  QrcFloatExpI* yi = y(i);
  QrcFloat best = HUGE_VAL;
  QrcInt support = -1;
  for (QrcInt j = x->getMin();;) {
    QrcInt after = x->getNextHigher(j);
    QrcFloat e = earliest(j, i);
    if (e > yi->getMax()) {
      x->removeValue(j);
    } else if (e < best) {
      best = e;
      support = j;
      if (early && yi->getMin() > best) break;
    }
    if (after == j) break;
    j = after;
  }
  raiseMin(yi, best);
  _predSupport[i].set(_manager, support);
}

// ---------------------------------------------------------------- demons

void QrcPathLengthConstraintI::nextDomain(QrcInt i) {
  if (next(i)->isBound())
    nextBound(i);
  else if (!next(i)->isInDomain(_succSupport[i].getValue()))
    successorScan(i, true);
}

void QrcPathLengthConstraintI::prevDomain(QrcInt i) {
  if (prev(i)->isBound())
    prevBound(i);
  else if (!prev(i)->isInDomain(_predSupport[i].getValue()))
    predecessorScan(i, true);
}

void QrcPathLengthConstraintI::yRangeValue(QrcInt i) {
  if (next(i)->isBound()) {
    QrcInt j = next(i)->getValue();
    if (j >= 0 && j < _m + _p && prev(j)->isBound()) prevBound(j);
  }
  if (prev(i)->isBound()) {
    QrcInt j = prev(i)->getValue();
    if (j >= 0 && j < _n && !isEnd(j) && next(j)->isBound()) nextBound(j);
  }
}

void QrcPathLengthConstraintI::yRange(QrcInt i) {
  QrcFloatExpI* yi = y(i);
  bool maxDown = yi->getMax() < yi->getOldMax();
  bool minUp = yi->getMin() > yi->getOldMin();
  // Predecessors j (not end nodes): their latest bound through i.
  forEachValueBelow(prev(i), _n, [this, i, maxDown](QrcInt j) {
    if (isEnd(j)) return;
    if (next(j)->isBound()) {
      nextBound(j);
    } else if (maxDown) {
      if (_succSupport[j].getValue() == i) successorScan(j, true);
      if (y(j)->getMin() > latest(j, i)) next(j)->removeValue(i);
    }
  });
  // Successors j (not start nodes): their earliest bound through i.
  forEachValueBelow(next(i), _m + _p, [this, i, minUp](QrcInt j) {
    if (prev(j)->isBound()) {
      prevBound(j);
    } else if (minUp) {
      if (_predSupport[j].getValue() == i) predecessorScan(j, true);
      if (earliest(i, j) > y(j)->getMax()) prev(j)->removeValue(i);
    }
  });
  if (minUp) successorStep(i);
  if (maxDown) predecessorStep(i);
}

// ---------------------------------------------------------------- maker

QrcConstraint QrcPath(const QrcIntVarArray& next, const QrcFloatVarArray& y,
                      QrcPathTransitI* transit, QrcInt p, QrcInt mode) {
  QrcCheckOperands("QrcPath", {next, y});
  QrcManagerI* m = next.getImpl() ? next.getImpl()->getManager()
                                  : (y.getImpl() ? y.getImpl()->getManager() : nullptr);
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcPath");
  QrcErrorReporter* r = m->getErrorReporter();
  if (mode != 0 && mode != 2) {
    r->report(QrcBadEventError, "bad event", "QrcPath", mode);  // message first
    return QrcConstraint();
  }
  QrcInt n = next.getSize();
  if (p < 0 || p > n / 2) {  // 2p > n, without overflow
    r->report(QrcIncompatibleArgumentError, "QrcPath", "Incompatible argument", p);
    return QrcConstraint();
  }
  if (y.getSize() != n) {
    r->report(QrcBadArraySizeError, "QrcFloatVarArrayI", "bad array size", y.getSize());
    return QrcConstraint();
  }
  if (n == 0) return m->getTrueConstraint();
  // 0.0 on every arc: one object outside any manager, shared by copies.
  static QrcPathTransitI noTransit;
  if (!transit) transit = &noTransit;
  // The demons read the bounds the float variables had before each step.
  for (QrcInt i = 0; i < n; ++i) y.getImpl()->get(i)->makeEventHandlerConstraint();
  return new (m) QrcPathLengthConstraintI(m, next, y, transit, p, mode);
}
