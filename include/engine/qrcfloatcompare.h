// Comparison constraints between float expressions and with constants: plain
// bound consistency without tolerance. Strictness removes the bound value of a
// value-set variable and fails when both sides are fixed to one value.
#ifndef QRC_FLOAT_COMPARE_H
#define QRC_FLOAT_COMPARE_H

#include "qrcconstraint.h"
#include "qrcfloatexp.h"

// The interval that stands for zero in the zero comparisons: [-m, m] with m
// the double of bits 0x0010000000000001.
QrcFloat QrcFloatZeroMargin();

#define QRCFLOATCOMPARE(Class, Base)                            \
  QROSIMPLECLASS(Class, Base)                                   \
 public:                                                        \
  void propagate() override;                                    \
  void metaPostDemon(QrcDemonI* demon) override;                \
  void post() override;                                         \
  QrcConstraintI* makeOpposite() override;                      \
  QrcBool isFalse() const override;                             \
  QrcConstraintI* makeCopy(QrcManagerI* target) const override; \
  QrcBool hasMetaPostDemon() const override {                   \
    return 1;                                                   \
  }

class QrcEqFloatConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcEqFloatConstraintI)
  QRCFLOATCOMPARE(QrcEqFloatConstraintI, QrcConstraintI)
  QrcEqFloatConstraintI(QrcFloatExpI* x, QrcFloatExpI* y)
      : QrcConstraintI(x->getManager()), _x(x), _y(y) {}
  void display(std::ostream& os) const override;

 private:
  QrcFloatExpI* _x;
  QrcFloatExpI* _y;
};

class QrcNeqFloatConstraint : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcNeqFloatConstraint)
  QRCFLOATCOMPARE(QrcNeqFloatConstraint, QrcConstraintI)
  QrcNeqFloatConstraint(QrcFloatExpI* x, QrcFloatExpI* y)
      : QrcConstraintI(x->getManager()), _x(x), _y(y) {}
  void display(std::ostream& os) const override;
  // The side of one operand: when it is fixed, its value leaves the other.
  void propagateSide(bool xSide);

 private:
  QrcFloatExpI* _x;
  QrcFloatExpI* _y;
};

class QrcNeqFloat_xDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcNeqFloat_xDemonI)
  QROSIMPLECLASS(QrcNeqFloat_xDemonI, QrcDemonI)
 public:
  explicit QrcNeqFloat_xDemonI(QrcNeqFloatConstraint* ct) : QrcDemonI(ct->getManager(), ct) {}
  void propagate() override { static_cast<QrcNeqFloatConstraint*>(_owner)->propagateSide(true); }
  void display(std::ostream& os) const override;
};

class QrcNeqFloat_yDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcNeqFloat_yDemonI)
  QROSIMPLECLASS(QrcNeqFloat_yDemonI, QrcDemonI)
 public:
  explicit QrcNeqFloat_yDemonI(QrcNeqFloatConstraint* ct) : QrcDemonI(ct->getManager(), ct) {}
  void propagate() override { static_cast<QrcNeqFloatConstraint*>(_owner)->propagateSide(false); }
  void display(std::ostream& os) const override;
};

// lhs <= rhs; flag 1 prints it as rhs >= lhs.
class QrcLeFloatConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcLeFloatConstraintI)
  QRCFLOATCOMPARE(QrcLeFloatConstraintI, QrcConstraintI)
  QrcLeFloatConstraintI(QrcInt flag, QrcFloatExpI* lhs, QrcFloatExpI* rhs)
      : QrcConstraintI(lhs->getManager()), _flag(flag), _lhs(lhs), _rhs(rhs) {
    _flags |= QuietTest;
  }
  void display(std::ostream& os) const override;
  // Quiet when entailed: lhs's maximum at most rhs's minimum.
  bool runIfQuiet() override;
  QrcInt getFlag() const { return _flag; }

 private:
  QrcInt _flag;
  QrcFloatExpI* _lhs;
  QrcFloatExpI* _rhs;
};

// lhs < rhs; flag 1 prints it as rhs > lhs.
class QrcLtFloatConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcLtFloatConstraintI)
  QRCFLOATCOMPARE(QrcLtFloatConstraintI, QrcConstraintI)
  QrcLtFloatConstraintI(QrcInt flag, QrcFloatExpI* lhs, QrcFloatExpI* rhs)
      : QrcConstraintI(lhs->getManager()), _flag(flag), _lhs(lhs), _rhs(rhs) {}
  void display(std::ostream& os) const override;
  QrcInt getFlag() const { return _flag; }

 private:
  QrcInt _flag;
  QrcFloatExpI* _lhs;
  QrcFloatExpI* _rhs;
};

class QrcEqFloatCstConstraint : public QrcUnaryConstraintI {
  QRCLIBRARYCLASS(QrcEqFloatCstConstraint)
  QRCFLOATCOMPARE(QrcEqFloatCstConstraint, QrcUnaryConstraintI)
  QrcEqFloatCstConstraint(QrcFloatExpI* x, QrcFloat c) : QrcUnaryConstraintI(x), _c(c) {}
  void display(std::ostream& os) const override;

 private:
  QrcFloatExpI* x() const { return static_cast<QrcFloatExpI*>(_exp); }
  QrcFloat _c;
};

class QrcNeqFloatCstConstraint : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcNeqFloatCstConstraint)
  QRCFLOATCOMPARE(QrcNeqFloatCstConstraint, QrcConstraintI)
  QrcNeqFloatCstConstraint(QrcFloat c, QrcFloatExpI* x)
      : QrcConstraintI(x->getManager()), _c(c), _x(x) {}
  void display(std::ostream& os) const override;

 private:
  QrcFloat _c;
  QrcFloatExpI* _x;
};

class QrcEqNullConstraint : public QrcUnaryConstraintI {
  QRCLIBRARYCLASS(QrcEqNullConstraint)
  QRCFLOATCOMPARE(QrcEqNullConstraint, QrcUnaryConstraintI)
  explicit QrcEqNullConstraint(QrcFloatExpI* x) : QrcUnaryConstraintI(x) {}

 private:
  QrcFloatExpI* x() const { return static_cast<QrcFloatExpI*>(_exp); }
};

class QrcNeqNullConstraint : public QrcUnaryConstraintI {
  QRCLIBRARYCLASS(QrcNeqNullConstraint)
  QRCFLOATCOMPARE(QrcNeqNullConstraint, QrcUnaryConstraintI)
  explicit QrcNeqNullConstraint(QrcFloatExpI* x) : QrcUnaryConstraintI(x) {}
  // Posted also over a variable: a later narrowing can still reach zero.
  void postAndPropagate() override { QrcConstraintI::postAndPropagate(); }

 private:
  QrcFloatExpI* x() const { return static_cast<QrcFloatExpI*>(_exp); }
};

class QrcLeFloatCstConstraint : public QrcUnaryConstraintI {
  QRCLIBRARYCLASS(QrcLeFloatCstConstraint)
  QRCFLOATCOMPARE(QrcLeFloatCstConstraint, QrcUnaryConstraintI)
  QrcLeFloatCstConstraint(QrcFloatExpI* x, QrcInt flag, QrcFloat c)
      : QrcUnaryConstraintI(x), _flag(flag), _c(c) {
    _flags |= QuietTest;
  }
  void display(std::ostream& os) const override;
  // Quiet when entailed (x's maximum at most c), or when only the side it
  // narrows moved inward since a run that changed nothing (QrcFloatSideMemo).
  bool runIfQuiet() override;
  QrcInt getFlag() const { return _flag; }

 private:
  QrcFloatExpI* x() const { return static_cast<QrcFloatExpI*>(_exp); }
  QrcInt _flag;
  QrcFloat _c;
  QrcFloatSideMemo _memo;
};

class QrcGeFloatCstConstraint : public QrcUnaryConstraintI {
  QRCLIBRARYCLASS(QrcGeFloatCstConstraint)
  QRCFLOATCOMPARE(QrcGeFloatCstConstraint, QrcUnaryConstraintI)
  QrcGeFloatCstConstraint(QrcFloatExpI* x, QrcInt flag, QrcFloat c)
      : QrcUnaryConstraintI(x), _flag(flag), _c(c) {
    _flags |= QuietTest;
  }
  void display(std::ostream& os) const override;
  // Quiet when entailed (x's minimum at least c), or when only the side it
  // narrows moved inward since a run that changed nothing (QrcFloatSideMemo).
  bool runIfQuiet() override;
  QrcInt getFlag() const { return _flag; }

 private:
  QrcFloatExpI* x() const { return static_cast<QrcFloatExpI*>(_exp); }
  QrcInt _flag;
  QrcFloat _c;
  QrcFloatSideMemo _memo;
};

class QrcLtFloatCstConstraint : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcLtFloatCstConstraint)
  QRCFLOATCOMPARE(QrcLtFloatCstConstraint, QrcConstraintI)
  QrcLtFloatCstConstraint(QrcInt flag, QrcFloat c, QrcFloatExpI* x)
      : QrcConstraintI(x->getManager()), _flag(flag), _c(c), _x(x) {}
  void display(std::ostream& os) const override;
  QrcInt getFlag() const { return _flag; }

 private:
  QrcInt _flag;
  QrcFloat _c;
  QrcFloatExpI* _x;
};

class QrcGtFloatCstConstraint : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcGtFloatCstConstraint)
  QRCFLOATCOMPARE(QrcGtFloatCstConstraint, QrcConstraintI)
  QrcGtFloatCstConstraint(QrcInt flag, QrcFloat c, QrcFloatExpI* x)
      : QrcConstraintI(x->getManager()), _flag(flag), _c(c), _x(x) {}
  void display(std::ostream& os) const override;
  QrcInt getFlag() const { return _flag; }

 private:
  QrcInt _flag;
  QrcFloat _c;
  QrcFloatExpI* _x;
};

QrcConstraint operator==(const QrcFloatExp& x, const QrcFloatExp& y);
QrcConstraint operator==(const QrcFloatExp& x, QrcFloat c);
QrcConstraint makeEqNullConstraint(const QrcFloatExp& x);
QrcConstraint operator<=(const QrcFloatExp& x, const QrcFloatExp& y);
QrcConstraint operator>=(const QrcFloatExp& x, const QrcFloatExp& y);
QrcConstraint operator<=(const QrcFloatExp& x, QrcFloat c);
QrcConstraint operator>=(const QrcFloatExp& x, QrcFloat c);

#endif
