// Inverse and set channelling. Code that can fail keeps trivially
// destructible locals only.
#include "qrcinverse.h"

#include <ostream>

#include "qrcdomainwalk.h"
#include "qrcoperands.h"

using namespace qrcdomain;

namespace {

// A demon of class Self at one position of its constraint: Self declares
// itself one of the library's classes.
template <class Self, class Ct>
class PositionDemon : public QrcDemonI {
  QRCLIBRARYCLASS(Self)
 public:
  PositionDemon(QrcManagerI* m, Ct* ct, QrcInt i, const char* text)
      : QrcDemonI(m, ct), _ct(ct), _i(i), _text(text) {}
  void display(std::ostream& os) const override { os << _text; }

 protected:
  Ct* _ct;
  QrcInt _i;
  const char* _text;
};

// Makes every element of an array a variable (the demons read their deltas)
// and copies the pointers into a fresh array.
QrcIntVarArray freshVariables(QrcManagerI* m, const QrcIntVarArray& a) {
  QrcInt n = a.getSize();
  QrcIntVarArray fresh(QrcManager(m), n);
  for (QrcInt i = 0; i < n; ++i) {
    QrcIntExpI* e = a.getImpl()->getVar(i);
    e->makeEventHandlerConstraint();
    fresh.set(i, e);
  }
  return fresh;
}

QrcIntExpI* at(const QrcIntVarArray& a, QrcInt i) {
  return a.getImpl()->getVar(i);
}

}  // namespace

class QrcInverseCstI_fVarDomainI
    : public PositionDemon<QrcInverseCstI_fVarDomainI, QrcInverseCstI> {
  QROSIMPLECLASS(QrcInverseCstI_fVarDomainI, QrcDemonI)
 public:
  QrcInverseCstI_fVarDomainI(QrcManagerI* m, QrcInverseCstI* ct, QrcInt i)
      : PositionDemon(m, ct, i, "QrcInverseCstI_fVarDomain") {}
  void propagate() override { _ct->changed(true, _i); }
};

class QrcInverseCstI_invfVarDomainI
    : public PositionDemon<QrcInverseCstI_invfVarDomainI, QrcInverseCstI> {
  QROSIMPLECLASS(QrcInverseCstI_invfVarDomainI, QrcDemonI)
 public:
  QrcInverseCstI_invfVarDomainI(QrcManagerI* m, QrcInverseCstI* ct, QrcInt i)
      : PositionDemon(m, ct, i, "QrcInverseCstI_invfVarDomain") {}
  void propagate() override { _ct->changed(false, _i); }
};

class QrcChannelSetDemonI : public PositionDemon<QrcChannelSetDemonI, QrcSetInverseI> {
  QROSIMPLECLASS(QrcChannelSetDemonI, QrcDemonI)
 public:
  QrcChannelSetDemonI(QrcManagerI* m, QrcSetInverseI* ct, QrcInt i)
      : PositionDemon(m, ct, i, "QrcChannelSetDemon") {}
  void propagate() override { _ct->setChanged(_i); }
};

class QrcChannelVarDomainDemonI : public PositionDemon<QrcChannelVarDomainDemonI, QrcSetInverseI> {
  QROSIMPLECLASS(QrcChannelVarDomainDemonI, QrcDemonI)
 public:
  QrcChannelVarDomainDemonI(QrcManagerI* m, QrcSetInverseI* ct, QrcInt i)
      : PositionDemon(m, ct, i, "QrcChannelVarDomainDemon") {}
  void propagate() override { _ct->varChanged(_i); }
};

class QrcChannelVarValueDemonI : public PositionDemon<QrcChannelVarValueDemonI, QrcSetInverseI> {
  QROSIMPLECLASS(QrcChannelVarValueDemonI, QrcDemonI)
 public:
  QrcChannelVarValueDemonI(QrcManagerI* m, QrcSetInverseI* ct, QrcInt i)
      : PositionDemon(m, ct, i, "QrcChannelVarValueDemon") {}
  void propagate() override { _ct->varBound(_i); }
};

// ---------------------------------------------------------------- inverse

QrcInverseCstI::QrcInverseCstI(QrcManagerI* m, const QrcIntVarArray& f, const QrcIntVarArray& invf)
    : QrcConstraintI(m), _f(freshVariables(m, f)), _invf(freshVariables(m, invf)) {}

void QrcInverseCstI::post() {
  for (QrcInt i = 0; i < _f.getSize(); ++i)
    if (!at(_f, i)->isBound())
      at(_f, i)->whenDomain(new (_manager) QrcInverseCstI_fVarDomainI(_manager, this, i));
  for (QrcInt j = 0; j < _invf.getSize(); ++j)
    if (!at(_invf, j)->isBound())
      at(_invf, j)->whenDomain(new (_manager) QrcInverseCstI_invfVarDomainI(_manager, this, j));
}

namespace {

// a[i] bound to v in [0, |b| - 1]: b[v] takes i. Else every value v of a[i]
// in [0, |b| - 1] needs i in b[v].
void supportPass(const QrcIntVarArray& a, const QrcIntVarArray& b) {
  QrcInt nb = b.getSize();
  for (QrcInt i = 0; i < a.getSize(); ++i) {
    QrcIntExpI* x = at(a, i);
    if (x->isBound()) {
      QrcInt v = x->getValue();
      if (v >= 0 && v < nb) at(b, v)->setValue(i);
      continue;
    }
    forEachValueBelow(x, nb, [&b, x, i](QrcInt v) {
      if (!at(b, v)->isInDomain(i)) x->removeValue(v);
    });
  }
}

}  // namespace

void QrcInverseCstI::propagate() {
  supportPass(_f, _invf);
  supportPass(_invf, _f);
}

void QrcInverseCstI::changed(bool forward, QrcInt i) {
  const QrcIntVarArray& a = forward ? _f : _invf;
  const QrcIntVarArray& b = forward ? _invf : _f;
  QrcIntExpI* x = at(a, i);
  QrcInt nb = b.getSize();
  if (x->isBound()) {
    QrcInt v = x->getValue();
    if (v >= 0 && v < nb) at(b, v)->setValue(i);
  }
  forEachLostValue(
      x, [](QrcInt k) { return k; }, nb,
      [&b, nb, i](QrcInt v) {
        if (v >= 0 && v < nb) at(b, v)->removeValue(i);
        return true;
      });
}

QrcConstraintI* QrcInverseCstI::makeCopy(QrcManagerI* t) const {
  return new (t)
      QrcInverseCstI(t, _f.getImpl()->copyForManager(t), _invf.getImpl()->copyForManager(t));
}

QrcConstraint QrcInverse(const QrcIntVarArray& f, const QrcIntVarArray& invf) {
  QrcCheckOperands("QrcInverse", {f, invf});
  QrcManagerI* m = f.getImpl() ? f.getImpl()->getManager()
                               : (invf.getImpl() ? invf.getImpl()->getManager() : nullptr);
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcInverse");
  return new (m) QrcInverseCstI(m, f, invf);
}

// ---------------------------------------------------------------- set channelling

QrcSetInverseI::QrcSetInverseI(QrcManagerI* m, const QrcIntSetVarArray& sets,
                               const QrcIntVarArray& x)
    : QrcConstraintI(m), _sets(sets), _x(freshVariables(m, x)) {}

void QrcSetInverseI::post() {
  for (QrcInt i = 0; i < _sets.getSize(); ++i)
    set(i)->whenDomain(new (_manager) QrcChannelSetDemonI(_manager, this, i));
  for (QrcInt j = 0; j < _x.getSize(); ++j) {
    at(_x, j)->whenDomain(new (_manager) QrcChannelVarDomainDemonI(_manager, this, j));
    at(_x, j)->whenValue(new (_manager) QrcChannelVarValueDemonI(_manager, this, j));
  }
}

void QrcSetInverseI::propagate() {
  QrcInt m = _sets.getSize(), n = _x.getSize();
  for (QrcInt j = 0; j < n; ++j) {
    QrcIntExpI* x = at(_x, j);
    x->setRange(QrcInt(0), m - 1);
    if (x->isBound()) set(x->getValue())->addRequired(j);
    for (QrcInt i = 0; i < m; ++i)
      if (!x->isInDomain(i)) set(i)->removePossible(j);
  }
  for (QrcInt i = 0; i < m; ++i) {
    QrcIntSetVarI* s = set(i);
    // Elements outside the array's positions: never required (failure),
    // never possible.
    s->removePossibleRange(s->getUniverseMin(), -1);
    s->removePossibleRange(n, s->getUniverseMax());
    for (QrcInt j = 0; j < n; ++j) {
      if (s->isRequired(j))
        at(_x, j)->setValue(i);
      else if (!s->isPossible(j))
        at(_x, j)->removeValue(i);
    }
  }
}

void QrcSetInverseI::setChanged(QrcInt i) {
  QrcIntSetVarI* s = set(i);
  QrcInt n = _x.getSize();
  for (QrcIntDeltaPossibleIterator it(s); it.ok(); ++it)
    if (*it >= 0 && *it < n) at(_x, *it)->removeValue(i);
  for (QrcIntDeltaRequiredIterator it(s); it.ok(); ++it) {
    if (*it < 0 || *it >= n) fail();
    at(_x, *it)->setValue(i);
  }
}

void QrcSetInverseI::varChanged(QrcInt j) {
  QrcInt m = _sets.getSize();
  const QrcIntSetVarArray& sets = _sets;
  forEachLostValue(
      at(_x, j), [](QrcInt k) { return k; }, m,
      [&sets, m, j](QrcInt i) {
        if (i >= 0 && i < m) static_cast<QrcIntSetVarI*>(sets.getImpl()->get(i))->removePossible(j);
        return true;
      });
}

void QrcSetInverseI::varBound(QrcInt j) {
  QrcInt v = at(_x, j)->getValue();
  if (v < 0 || v >= _sets.getSize()) fail();
  set(v)->addRequired(j);
}

QrcConstraint QrcInverse(const QrcIntSetVarArray& sets, const QrcIntVarArray& x) {
  QrcCheckOperands("QrcInverse", {sets, x});
  QrcManagerI* m = sets.getImpl() ? sets.getImpl()->getManager()
                                  : (x.getImpl() ? x.getImpl()->getManager() : nullptr);
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcInverse");
  return new (m) QrcSetInverseI(m, sets, x);
}
