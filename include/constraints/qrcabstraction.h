// Abstractions of a concrete variable x through a value set S: the value
// abstraction y = x when x is in S, else the abstract value a; the test
// abstraction b = 1 when x is in S, else 0. Array forms post one pair
// constraint per position.
#ifndef QRC_ABSTRACTION_H
#define QRC_ABSTRACTION_H

#include "qrcint.h"

// The set of the values: range-backed when their span is below ten times
// their number, else collection-backed; empty for no values.
QrcIntSetI* QrcMakeValueSet(QrcManagerI* manager, QrcInt n, const QrcInt* values);

class QrcAbstractVarI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcAbstractVarI)
  QROSIMPLECLASS(QrcAbstractVarI, QrcConstraintI)
 public:
  QrcAbstractVarI(QrcManagerI* manager, QrcIntExpI* y, QrcIntExpI* x, QrcIntSetI* set, QrcInt a);
  void post() override;
  void propagate() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

  void xChanged();
  void yChanged();

 private:
  bool inSet(QrcInt v) const;
  // Whether x still has a value outside S (the cache is kept up to date).
  bool hasOutside();
  // Whether y may be a: x has a value outside S, or x may be a with a in S.
  bool supportsA();
  void restrictX();

  QrcIntExpI* _y;
  QrcIntExpI* _x;
  QrcIntSetI* _set;
  QrcInt _a;
  QrcInt _outside;
};

class QrcAbstractIntVarI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcAbstractIntVarI)
  QROSIMPLECLASS(QrcAbstractIntVarI, QrcConstraintI)
 public:
  QrcAbstractIntVarI(QrcManagerI* manager, QrcIntExpI* b, QrcIntExpI* x, QrcIntSetI* set);
  void post() override;
  void propagate() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

  void xChanged();
  void bBound();

 private:
  bool inSet(QrcInt v) const;
  bool findInside();
  bool findOutside();

  QrcIntExpI* _b;
  QrcIntExpI* _x;
  QrcIntSetI* _set;
  QrcInt _inside;
  QrcInt _outside;
};

class QrcEqAbstractionI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcEqAbstractionI)
  QROSIMPLECLASS(QrcEqAbstractionI, QrcConstraintI)
 public:
  QrcEqAbstractionI(QrcManagerI* manager, const QrcIntVarArray& ys, const QrcIntVarArray& xs,
                    QrcIntSetI* set, QrcInt a);
  void post() override;
  void propagate() override {}
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

 private:
  QrcIntVarArray _ys;
  QrcIntVarArray _xs;
  QrcIntSetI* _set;
  QrcInt _a;
};

class QrcEqIntAbstractionI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcEqIntAbstractionI)
  QROSIMPLECLASS(QrcEqIntAbstractionI, QrcConstraintI)
 public:
  QrcEqIntAbstractionI(QrcManagerI* manager, const QrcIntVarArray& bs, const QrcIntVarArray& xs,
                       QrcIntSetI* set);
  void post() override;
  void propagate() override {}
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

 private:
  QrcIntVarArray _bs;
  QrcIntVarArray _xs;
  QrcIntSetI* _set;
};

// ys[i] = xs[i] when xs[i] is one of the values, else a. Error 5 when the
// arrays differ in size.
QrcConstraint QrcEqAbstraction(const QrcIntVarArray& ys, const QrcIntVarArray& xs,
                               const QrcIntArray& values, QrcInt a);
// bs[i] = 1 when xs[i] is one of the values, else 0. Error 5 on sizes.
QrcConstraint QrcEqIntAbstraction(const QrcIntVarArray& bs, const QrcIntVarArray& xs,
                                  const QrcIntArray& values);
// New variables over the values and a, each the value abstraction of xs[i],
// whose constraints are added to the manager.
QrcIntVarArray QrcAbstractionArray(const QrcIntVarArray& xs, const QrcIntArray& values, QrcInt a);

#endif
