// Expressions that may lack a value: the opposite of a comparison over such
// an expression also holds where it has none. Code that can fail keeps
// trivially destructible locals only.
#include <ostream>

#include "qrcintutil.h"
#include "qrcintcompare.h"

using namespace qrcint;

namespace {

// Whether e has a value for good: a variable always has one, and so has a
// node with a range that can no longer lose it.
bool hasValueForGood(QrcIntExpI* e) {
  return e->isVariable() || (e->getMin() <= e->getMax() && !e->isValueOpen());
}

// e has no value. The test and the demons go through e itself, as those of
// the comparison over e do, so that a reader of the comparison's truth, which
// hears e, hears this too; e made a variable has a value from then on.
// Posted, it states the structural reading (an element's index outside its
// array, an operand without a value).
class QrcNoValueConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcNoValueConstraintI)
  QROSIMPLECLASS(QrcNoValueConstraintI, QrcConstraintI)
 public:
  explicit QrcNoValueConstraintI(QrcIntExpI* e) : QrcConstraintI(e->getManager()), _e(e) {}
  void post() override {}
  void propagate() override {
    if (_e->getMin() > _e->getMax()) return;
    QrcConstraintI* structural = _e->isVariable() ? nullptr : _e->makeUndefinedConstraint();
    if (!structural) fail();
    addConstraint(structural);
  }
  QrcBool isFalse() const override { return hasValueForGood(_e); }
  QrcBool isTrue() const override { return !_e->isVariable() && _e->getMin() > _e->getMax(); }
  QrcConstraintI* makeOpposite() override;
  void metaPostDemon(QrcDemonI* d) override { _e->whenRange(d); }
  void display(std::ostream& os) const override {
    os << "noValue(";
    _e->display(os);
    os << ")";
  }
  QrcConstraintI* makeCopy(QrcManagerI* t) const override {
    return new (t) QrcNoValueConstraintI(copyOf(_e, t));
  }

 private:
  void fail() { _manager->fail(); }
  QrcIntExpI* _e;
};

// e has a value: demanded (given to a node that may still lose it).
class QrcHasValueConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcHasValueConstraintI)
  QROSIMPLECLASS(QrcHasValueConstraintI, QrcConstraintI)
 public:
  explicit QrcHasValueConstraintI(QrcIntExpI* e) : QrcConstraintI(e->getManager()), _e(e) {}
  void post() override { _e->whenRange(this); }
  void propagate() override { _e->requireValue(); }
  QrcBool isFalse() const override { return !_e->isVariable() && _e->getMin() > _e->getMax(); }
  QrcConstraintI* makeOpposite() override { return new (_manager) QrcNoValueConstraintI(_e); }
  void metaPostDemon(QrcDemonI* d) override { _e->whenRange(d); }
  void display(std::ostream& os) const override {
    os << "hasValue(";
    _e->display(os);
    os << ")";
  }
  QrcConstraintI* makeCopy(QrcManagerI* t) const override {
    return new (t) QrcHasValueConstraintI(copyOf(_e, t));
  }

 private:
  QrcIntExpI* _e;
};

QrcConstraintI* QrcNoValueConstraintI::makeOpposite() {
  return new (_manager) QrcHasValueConstraintI(_e);
}

// null when e always has a value.
QrcConstraintI* noValueOf(QrcIntExpI* e) {
  if (!e || defined(e)) return nullptr;
  return new (e->getManager()) QrcNoValueConstraintI(e);
}

}  // namespace

QrcConstraintI* QrcEitherOf(QrcConstraintI* a, QrcConstraintI* b) {
  if (!a) return b;
  if (!b) return a;
  return (QrcConstraint(a) || QrcConstraint(b)).getImpl();
}

QrcConstraintI* QrcOppositeWhereUndefined(QrcConstraintI* opposite, QrcIntExpI* x, QrcIntExpI* y) {
  QrcConstraintI* undefined = QrcEitherOf(noValueOf(x), noValueOf(y));
  return undefined ? QrcEitherOf(undefined, opposite) : opposite;
}
