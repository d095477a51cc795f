// Relations between integer-set variables, and between a set variable and a
// constant set, a value or an integer expression: equality and inequality,
// subsets, membership, overlap and disjointness. Each relation has its
// opposite, a falsity test for the connectives and meta-constraints, a copy
// into another manager and, where it listens to set variables, demons that
// read only what changed (the delta iterators).
//
// A value is possible (required) in a set variable when it lies in the
// universe and in its possible (required) set; a value is in a constant set
// when it lies within the set's bounds and is a member. Constant sets are
// shared within a manager; a copy into another manager copies them. Every
// creation function stops with code 39 "empty
// handle" on an empty handle.
#ifndef QRC_INTSETCST_H
#define QRC_INTSETCST_H

#include <iosfwd>

#include "qrcint.h"
#include "qrcintsetvar.h"

// ---------------------------------------------------------------- creation

// a == b (the shared true constraint for one variable on both sides).
QrcConstraint operator==(const QrcIntSetVar& a, const QrcIntSetVar& b);
// a != b (the shared false constraint for one variable on both sides).
QrcConstraint operator!=(const QrcIntSetVar& a, const QrcIntSetVar& b);
QrcConstraint operator==(const QrcIntSetVar& s, const QrcIntSet& c);
QrcConstraint operator!=(const QrcIntSetVar& s, const QrcIntSet& c);

// a subset of or equal to b (the shared true constraint when a is b).
QrcConstraint QrcSubsetEq(const QrcIntSetVar& a, const QrcIntSetVar& b);
QrcConstraint QrcSubsetEq(const QrcIntSet& c, const QrcIntSetVar& s);
QrcConstraint QrcSubsetEq(const QrcIntSetVar& s, const QrcIntSet& c);
// Strict subsets: the size comparison && the subset (the shared false
// constraint when a is b).
QrcConstraint QrcSubset(const QrcIntSetVar& a, const QrcIntSetVar& b);
QrcConstraint QrcSubset(const QrcIntSet& c, const QrcIntSetVar& s);
QrcConstraint QrcSubset(const QrcIntSetVar& s, const QrcIntSet& c);

// x (or v) is an element of s, or is not.
QrcConstraint QrcMember(const QrcIntExp& x, const QrcIntSetVar& s);
QrcConstraint QrcMember(QrcInt v, const QrcIntSetVar& s);
QrcConstraint QrcNotMember(const QrcIntExp& x, const QrcIntSetVar& s);
QrcConstraint QrcNotMember(QrcInt v, const QrcIntSetVar& s);

// No common element (card(a) == 0 when a is b); the overlaps are their opposites.
QrcConstraint QrcNullIntersect(const QrcIntSetVar& a, const QrcIntSetVar& b);
QrcConstraint QrcNullIntersect(const QrcIntSetVar& s, const QrcIntSet& c);

// ---------------------------------------------------------------- shapes

// Two set-variable operands a, b; metaPostDemon attaches to the domain events
// of both.
class QrcSetPairCtI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcSetPairCtI)
  QROSIMPLECLASS(QrcSetPairCtI, QrcConstraintI)
 public:
  QrcSetPairCtI(QrcManagerI* manager, QrcIntSetVarI* a, QrcIntSetVarI* b)
      : QrcConstraintI(manager), _a(a), _b(b) {}
  void metaPostDemon(QrcDemonI* demon) override;
  QrcIntSetVarI* getA() const { return _a; }
  QrcIntSetVarI* getB() const { return _b; }

 protected:
  QrcIntSetVarI* _a;
  QrcIntSetVarI* _b;
};

// A set variable s and a constant set c; metaPostDemon attaches to the domain
// event of s.
class QrcSetConstCtI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcSetConstCtI)
  QROSIMPLECLASS(QrcSetConstCtI, QrcConstraintI)
 public:
  QrcSetConstCtI(QrcManagerI* manager, QrcIntSetVarI* s, QrcIntSetI* c)
      : QrcConstraintI(manager), _s(s), _c(c) {}
  void metaPostDemon(QrcDemonI* demon) override;
  QrcBool hasMetaPostDemon() const override { return 1; }
  QrcIntSetVarI* getVar() const { return _s; }
  QrcIntSetI* getConstant() const { return _c; }

 protected:
  QrcIntSetVarI* _s;
  QrcIntSetI* _c;
};

// An integer expression x and a set variable s; metaPostDemon attaches to the
// domain event of s and the value event of x.
class QrcSetMemberCtI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcSetMemberCtI)
  QROSIMPLECLASS(QrcSetMemberCtI, QrcConstraintI)
 public:
  QrcSetMemberCtI(QrcManagerI* manager, QrcIntExpI* x, QrcIntSetVarI* s)
      : QrcConstraintI(manager), _x(x), _s(s) {}
  void metaPostDemon(QrcDemonI* demon) override;
  QrcIntExpI* getExpr() const { return _x; }
  QrcIntSetVarI* getVar() const { return _s; }

 protected:
  QrcIntExpI* _x;
  QrcIntSetVarI* _s;
};

// A value v and a set variable s; metaPostDemon attaches to the domain event
// of s.
class QrcSetValueCtI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcSetValueCtI)
  QROSIMPLECLASS(QrcSetValueCtI, QrcConstraintI)
 public:
  QrcSetValueCtI(QrcManagerI* manager, QrcInt v, QrcIntSetVarI* s)
      : QrcConstraintI(manager), _v(v), _s(s) {}
  void metaPostDemon(QrcDemonI* demon) override;
  QrcBool hasMetaPostDemon() const override { return 1; }
  QrcInt getValue() const { return _v; }
  QrcIntSetVarI* getVar() const { return _s; }

 protected:
  QrcInt _v;
  QrcIntSetVarI* _s;
};

// ---------------------------------------------------------------- equality

// a == b: card(a) == card(b), and a demon per operand pushing its changes to
// the other.
class QrcEqSetCtI : public QrcSetPairCtI {
  QRCLIBRARYCLASS(QrcEqSetCtI)
  QROSIMPLECLASS(QrcEqSetCtI, QrcSetPairCtI)
 public:
  QrcEqSetCtI(QrcManagerI* m, QrcIntSetVarI* a, QrcIntSetVarI* b) : QrcSetPairCtI(m, a, b) {}
  void propagate() override;
  // a " == " b.
  void display(std::ostream& os) const override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  // A value required on one side is not possible on the other.
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  // What x lost and gained in this step, pushed to the other operand.
  void propagateVar(QrcIntSetVarI* x);
};

// a != b: works once an operand is bound.
class QrcNeqSetCtI : public QrcSetPairCtI {
  QRCLIBRARYCLASS(QrcNeqSetCtI)
  QROSIMPLECLASS(QrcNeqSetCtI, QrcSetPairCtI)
 public:
  QrcNeqSetCtI(QrcManagerI* m, QrcIntSetVarI* a, QrcIntSetVarI* b) : QrcSetPairCtI(m, a, b) {}
  void propagate() override;
  // Bound events of a and b.
  void metaPostDemon(QrcDemonI* demon) override;
  // a " != " b.
  void display(std::ostream& os) const override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  // Both bound to the same set.
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  QrcBool hasMetaPostDemon() const override { return 1; }
  // x is bound: fails when y is bound to the same set; when y has one
  // undecided value, decides it if only that keeps y apart from x.
  void propagateBound(QrcIntSetVarI* x, QrcIntSetVarI* y);
};

// s == c: settled by its first propagate (attaches nothing).
class QrcEqSetCtCstI : public QrcSetConstCtI {
  QRCLIBRARYCLASS(QrcEqSetCtCstI)
  QROSIMPLECLASS(QrcEqSetCtCstI, QrcSetConstCtI)
 public:
  QrcEqSetCtCstI(QrcManagerI* m, QrcIntSetVarI* s, QrcIntSetI* c) : QrcSetConstCtI(m, s, c) {}
  void propagate() override;
  void post() override {}
  QrcConstraintI* makeOpposite() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
};

// s != c: the one-undecided-value rule on every change of s.
class QrcNeqSetCtCstI : public QrcSetConstCtI {
  QRCLIBRARYCLASS(QrcNeqSetCtCstI)
  QROSIMPLECLASS(QrcNeqSetCtCstI, QrcSetConstCtI)
 public:
  QrcNeqSetCtCstI(QrcManagerI* m, QrcIntSetVarI* s, QrcIntSetI* c) : QrcSetConstCtI(m, s, c) {}
  void propagate() override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  // s bound to c.
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
};

// ---------------------------------------------------------------- subsets

// a subset of or equal to b: card(b) >= min card(a) and card(a) <= max
// card(b); once min card(a) reaches max card(b) it propagates like equality.
class QrcSubSetEqCtI : public QrcSetPairCtI {
  QRCLIBRARYCLASS(QrcSubSetEqCtI)
  QROSIMPLECLASS(QrcSubSetEqCtI, QrcSetPairCtI)
 public:
  QrcSubSetEqCtI(QrcManagerI* m, QrcIntSetVarI* a, QrcIntSetVarI* b) : QrcSetPairCtI(m, a, b) {}
  void propagate() override;
  // Its name, else "QrcSubSetEq(" a ", " b ")".
  void display(std::ostream& os) const override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

  // Demon entries: the cardinalities, then the changes of a and of b.
  void propagateCard();
  void propagateA();
  void propagateB();
  // min card(a) == max card(b).
  bool sizesForcedEqual() const;

 private:
  void propagateEquality();
};

// a not a subset of b: only checks.
class QrcNotSubSetEqCtI : public QrcSetPairCtI {
  QRCLIBRARYCLASS(QrcNotSubSetEqCtI)
  QROSIMPLECLASS(QrcNotSubSetEqCtI, QrcSetPairCtI)
 public:
  QrcNotSubSetEqCtI(QrcManagerI* m, QrcIntSetVarI* a, QrcIntSetVarI* b) : QrcSetPairCtI(m, a, b) {}
  void propagate() override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  // Every value possible in a is required in b (so an empty P(a) too).
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  QrcBool hasMetaPostDemon() const override { return 1; }
};

// c subset of s: settled by its first propagate.
class QrcSubSetEqCtC2VI : public QrcSetConstCtI {
  QRCLIBRARYCLASS(QrcSubSetEqCtC2VI)
  QROSIMPLECLASS(QrcSubSetEqCtC2VI, QrcSetConstCtI)
 public:
  QrcSubSetEqCtC2VI(QrcManagerI* m, QrcIntSetI* c, QrcIntSetVarI* s) : QrcSetConstCtI(m, s, c) {}
  void propagate() override;
  void post() override {}
  QrcConstraintI* makeOpposite() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
};

// c not a subset of s: only checks.
class QrcNotSubSetEqCtC2VI : public QrcSetConstCtI {
  QRCLIBRARYCLASS(QrcNotSubSetEqCtC2VI)
  QROSIMPLECLASS(QrcNotSubSetEqCtC2VI, QrcSetConstCtI)
 public:
  QrcNotSubSetEqCtC2VI(QrcManagerI* m, QrcIntSetI* c, QrcIntSetVarI* s) : QrcSetConstCtI(m, s, c) {}
  void propagate() override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  // Every member of c is required in s (so an empty c too).
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
};

// s subset of c: settled by its first propagate.
class QrcSubSetEqCtV2CI : public QrcSetConstCtI {
  QRCLIBRARYCLASS(QrcSubSetEqCtV2CI)
  QROSIMPLECLASS(QrcSubSetEqCtV2CI, QrcSetConstCtI)
 public:
  QrcSubSetEqCtV2CI(QrcManagerI* m, QrcIntSetI* c, QrcIntSetVarI* s) : QrcSetConstCtI(m, s, c) {}
  void propagate() override;
  void post() override {}
  QrcConstraintI* makeOpposite() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
};

// s not a subset of c: only checks.
class QrcNotSubSetEqCtV2CI : public QrcSetConstCtI {
  QRCLIBRARYCLASS(QrcNotSubSetEqCtV2CI)
  QROSIMPLECLASS(QrcNotSubSetEqCtV2CI, QrcSetConstCtI)
 public:
  QrcNotSubSetEqCtV2CI(QrcManagerI* m, QrcIntSetI* c, QrcIntSetVarI* s) : QrcSetConstCtI(m, s, c) {}
  void propagate() override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  // Every value possible in s is in c (so an empty P(s) too).
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
};

// ---------------------------------------------------------------- membership

// x in s, in the manager of x: x keeps the values possible in s, and its
// value becomes required once bound.
class QrcMemberCtI : public QrcSetMemberCtI {
  QRCLIBRARYCLASS(QrcMemberCtI)
  QROSIMPLECLASS(QrcMemberCtI, QrcSetMemberCtI)
 public:
  QrcMemberCtI(QrcManagerI* m, QrcIntExpI* x, QrcIntSetVarI* s) : QrcSetMemberCtI(m, x, s) {}
  void propagate() override;
  // "(" x " in " s ") ".
  void display(std::ostream& os) const override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  // No value of x is possible in s.
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  // Demon entries: values that left P(s); x bound.
  void propagateSet();
  void propagateValue();
};

// x not in s: x loses the values required in s, and its value leaves P(s)
// once bound.
class QrcNotMemberCtI : public QrcSetMemberCtI {
  QRCLIBRARYCLASS(QrcNotMemberCtI)
  QROSIMPLECLASS(QrcNotMemberCtI, QrcSetMemberCtI)
 public:
  QrcNotMemberCtI(QrcManagerI* m, QrcIntExpI* x, QrcIntSetVarI* s) : QrcSetMemberCtI(m, x, s) {}
  void propagate() override;
  // "(" x " not in " s ") ".
  void display(std::ostream& os) const override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  // Every value of x is required in s.
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  // Demon entries: values that entered R(s); x bound.
  void propagateSet();
  void propagateValue();
};

// v in s.
class QrcMemberCtCstI : public QrcSetValueCtI {
  QRCLIBRARYCLASS(QrcMemberCtCstI)
  QROSIMPLECLASS(QrcMemberCtCstI, QrcSetValueCtI)
 public:
  QrcMemberCtCstI(QrcManagerI* m, QrcInt v, QrcIntSetVarI* s) : QrcSetValueCtI(m, v, s) {}
  void propagate() override;
  // "(" v " in " s ") ".
  void display(std::ostream& os) const override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
};

// v not in s.
class QrcNotMemberCtCstI : public QrcSetValueCtI {
  QRCLIBRARYCLASS(QrcNotMemberCtCstI)
  QROSIMPLECLASS(QrcNotMemberCtCstI, QrcSetValueCtI)
 public:
  QrcNotMemberCtCstI(QrcManagerI* m, QrcInt v, QrcIntSetVarI* s) : QrcSetValueCtI(m, v, s) {}
  void propagate() override;
  // "(" v " not in " s ") ".
  void display(std::ostream& os) const override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
};

// ---------------------------------------------------------------- overlap

// a and b disjoint: what enters R of one leaves P of the other.
class QrcNullIntersectCtI : public QrcSetPairCtI {
  QRCLIBRARYCLASS(QrcNullIntersectCtI)
  QROSIMPLECLASS(QrcNullIntersectCtI, QrcSetPairCtI)
 public:
  QrcNullIntersectCtI(QrcManagerI* m, QrcIntSetVarI* a, QrcIntSetVarI* b)
      : QrcSetPairCtI(m, a, b) {}
  void propagate() override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  // Some value is required in both.
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  // Demon entry: values that entered R(x).
  void propagateVar(QrcIntSetVarI* x);
};

// a and b share a value: when one shared possible value is left it is required.
class QrcOverlapCtI : public QrcSetPairCtI {
  QRCLIBRARYCLASS(QrcOverlapCtI)
  QROSIMPLECLASS(QrcOverlapCtI, QrcSetPairCtI)
 public:
  QrcOverlapCtI(QrcManagerI* m, QrcIntSetVarI* a, QrcIntSetVarI* b) : QrcSetPairCtI(m, a, b) {}
  void propagate() override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  // No value is possible in both.
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  QrcBool hasMetaPostDemon() const override { return 1; }
};

// s and c disjoint: settled by its first propagate.
class QrcNullIntersectCtCstI : public QrcSetConstCtI {
  QRCLIBRARYCLASS(QrcNullIntersectCtCstI)
  QROSIMPLECLASS(QrcNullIntersectCtCstI, QrcSetConstCtI)
 public:
  QrcNullIntersectCtCstI(QrcManagerI* m, QrcIntSetVarI* s, QrcIntSetI* c)
      : QrcSetConstCtI(m, s, c) {}
  void propagate() override;
  void post() override {}
  QrcConstraintI* makeOpposite() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
};

// s and c share a value.
class QrcOverlapCtCstI : public QrcSetConstCtI {
  QRCLIBRARYCLASS(QrcOverlapCtCstI)
  QROSIMPLECLASS(QrcOverlapCtCstI, QrcSetConstCtI)
 public:
  QrcOverlapCtCstI(QrcManagerI* m, QrcIntSetVarI* s, QrcIntSetI* c) : QrcSetConstCtI(m, s, c) {}
  void propagate() override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
};

#endif
