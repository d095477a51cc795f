// Count: card = the number of variables equal to one value, kept by two
// trailed counters. Code that can fail keeps trivially destructible locals.
#include <ostream>

#include "qrcdistribute.h"
#include "qrcoperands.h"

namespace {

// Bounds of how many of the n variables take the value: those bound to it,
// and those that still may.
void countValue(QrcIntExpI* const* vars, QrcInt n, QrcInt value, QrcInt& lo, QrcInt& hi) {
  lo = 0;
  hi = n;
  for (QrcInt i = 0; i < n; ++i) {
    QrcIntExpI* x = vars[i];
    if (x->isBound()) {
      if (x->getMin() == value)
        ++lo;
      else
        --hi;
    } else if (!x->isInDomain(value)) {
      --hi;
    }
  }
}

class QrcCardIntVarDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcCardIntVarDemonI)
  QROSIMPLECLASS(QrcCardIntVarDemonI, QrcDemonI)
 public:
  QrcCardIntVarDemonI(QrcManagerI* m, QrcCardIntConstraint* ct, QrcIntExpI* x)
      : QrcDemonI(m, ct), _ct(ct), _x(x) {}
  void propagate() override { _ct->varChanged(_x); }
  void display(std::ostream& os) const override { os << "QrcCardIntVarDemon"; }

 private:
  QrcCardIntConstraint* _ct;
  QrcIntExpI* _x;
};

class QrcCardIntCardDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcCardIntCardDemonI)
  QROSIMPLECLASS(QrcCardIntCardDemonI, QrcDemonI)
 public:
  QrcCardIntCardDemonI(QrcManagerI* m, QrcCardIntConstraint* ct) : QrcDemonI(m, ct), _ct(ct) {}
  void propagate() override { _ct->cardChanged(); }
  void display(std::ostream& os) const override { os << "QrcCardIntCardDemon"; }

 private:
  QrcCardIntConstraint* _ct;
};

}  // namespace

QrcCardIntConstraint::QrcCardIntConstraint(QrcManagerI* m, QrcIntExpI* card, QrcInt value, QrcInt n,
                                           QrcIntExpI** vars)
    : QrcConstraintI(m),
      _card(QrcIntVar(card).getImpl()),
      _value(value),
      _n(n),
      _vars(vars),
      _lower(m, 0),
      _upper(m, n) {
  // A value closed out of an expression must stay out when its operands bind
  // (the copies of a variable made from an expression are expressions again).
  for (QrcInt i = 0; i < n; ++i)
    if (!vars[i]->isVariable()) vars[i]->makeEventHandlerConstraint();
}

void QrcCardIntConstraint::post() {
  for (QrcInt i = 0; i < _n; ++i)
    _vars[i]->whenDomain(new (_manager) QrcCardIntVarDemonI(_manager, this, _vars[i]));
  _card->whenRange(new (_manager) QrcCardIntCardDemonI(_manager, this));
}

void QrcCardIntConstraint::propagate() {
  QrcInt lo, hi;
  countValue(_vars, _n, _value, lo, hi);
  if (_lower.getValue() != lo) _lower.set(_manager, lo);
  if (_upper.getValue() != hi) _upper.set(_manager, hi);
  _card->setRange(lo, hi);
  if (_card->getMax() == lo) {
    close();
    if (_card->getMin() == hi) assign();
  } else if (_card->getMin() == hi) {
    assign();
  }
}

void QrcCardIntConstraint::close() {
  QrcInt count = 0;
  for (QrcInt i = 0; i < _n; ++i) {
    QrcIntExpI* x = _vars[i];
    if (x->isBound() && x->getMin() == _value)
      ++count;
    else
      x->removeValue(_value);
  }
  if (count != _lower.getValue()) fail();
  deactivate();
}

void QrcCardIntConstraint::assign() {
  QrcInt count = 0;
  for (QrcInt i = 0; i < _n; ++i) {
    QrcIntExpI* x = _vars[i];
    if (!x->isInDomain(_value)) continue;
    x->setValue(_value);
    ++count;
  }
  if (count != _upper.getValue()) fail();
  deactivate();
}

void QrcCardIntConstraint::varChanged(QrcIntExpI* x) {
  if (_state == Inactive) return;
  if (x->isBound() && x->getMin() == _value) {
    _lower.set(_manager, _lower.getValue() + 1);
    _card->setMin(_lower.getValue());
    if (_card->getMax() == _lower.getValue()) close();
  } else if (x->isInDelta(_value)) {
    _upper.set(_manager, _upper.getValue() - 1);
    _card->setMax(_upper.getValue());
    if (_card->getMin() == _upper.getValue()) assign();
  }
}

void QrcCardIntConstraint::cardChanged() {
  if (_state == Inactive) return;
  if (_card->getMin() == _upper.getValue())
    assign();
  else if (_card->getMax() == _lower.getValue())
    close();
}

QrcBool QrcCardIntConstraint::isFalse() const {
  QrcInt lo, hi;
  countValue(_vars, _n, _value, lo, hi);
  return lo > _card->getMax() || hi < _card->getMin();
}

QrcConstraintI* QrcCardIntConstraint::makeCopy(QrcManagerI* t) const {
  QrcIntExpI** vars =
      static_cast<QrcIntExpI**>(t->allocate(static_cast<size_t>(_n > 0 ? _n : 1) * sizeof(void*)));
  for (QrcInt i = 0; i < _n; ++i)
    vars[i] = static_cast<QrcIntExpI*>(_vars[i]->getCopyForManager(t));
  return new (t) QrcCardIntConstraint(t, static_cast<QrcIntExpI*>(_card->getCopyForManager(t)),
                                      _value, _n, vars);
}

void QrcCardIntConstraint::display(std::ostream& os) const {
  if (_name) {
    os << _name;
    return;
  }
  os << "QrcCard(" << static_cast<const void*>(this) << ") " << _value << " " << _lower.getValue()
     << ".." << _upper.getValue() << " ";
  _card->display(os);
  os << "\n";
  for (QrcInt i = 0; i < _n; ++i) {
    _vars[i]->display(os);
    os << "\n";
  }
}

QrcConstraint QrcCard(const QrcIntVar& card, QrcInt value, const QrcIntVarArray& vars, QrcBool copy,
                      QrcInt) {
  QrcCheckOperands("QrcCard", {vars, card});
  QrcIntVarArrayI* a = vars.getImpl();
  QrcManagerI* m = a ? a->getManager() : card.getManager();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcCard");
  if (!card.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcCard");
  QrcInt n = vars.getSize();
  // The demons read what each variable lost: an expression becomes a variable
  // (the same object, so shared storage stays valid).
  for (QrcInt i = 0; i < n; ++i) QrcIntVar(a->getVar(i));
  QrcIntExpI** xs;
  if (copy || n == 0) {
    xs = static_cast<QrcIntExpI**>(m->allocate(static_cast<size_t>(n > 0 ? n : 1) * sizeof(void*)));
    for (QrcInt i = 0; i < n; ++i) xs[i] = a->getVar(i);
  } else {
    // Integer expressions are the first base of their arrays' elements.
    xs = reinterpret_cast<QrcIntExpI**>(a->getStorage());
  }
  return QrcConstraint(new (m) QrcCardIntConstraint(m, card.getImpl(), value, n, xs));
}

QrcConstraint QrcCard(const QrcIntVar& card, QrcInt value, const QrcIntVarArray& vars) {
  return QrcCard(card, value, vars, 1, 0);
}
