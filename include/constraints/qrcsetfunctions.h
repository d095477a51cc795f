// Functions of the elements of a set variable S: the maximum, minimum and sum
// of F(x) over the x in S as integer expressions, for a constant F (an integer
// per index) or an expression F (an integer expression per index); and the set
// variable U equal to the union of F(x) over S, for a constant, expression or
// set-variable F. Each narrows both ways: elements leave or join S, its
// cardinality moves, F(x) narrows.
//
// The creation functions wrap F in an accessor over the indexes S may hold
// (with its cache of F(x) turned on) and stop with code 39 "empty handle" on
// an empty handle. While card(S) may be 0 the maximum and the minimum keep
// the bounds +-(2^53 - 1) and narrowing them does nothing.
#ifndef QRC_SETFUNCTIONS_H
#define QRC_SETFUNCTIONS_H

#include <iosfwd>

#include "qrcaccessor.h"
#include "qrcint.h"
#include "qrcintsetvar.h"

// ---------------------------------------------------------------- creation

QrcIntExp QrcMax(const QrcIntSetVar& s, const QrcIntToIntFunction& f);
QrcIntExp QrcMax(const QrcIntSetVar& s, const QrcIntToIntExpFunction& f);
QrcIntExp QrcMin(const QrcIntSetVar& s, const QrcIntToIntFunction& f);
QrcIntExp QrcMin(const QrcIntSetVar& s, const QrcIntToIntExpFunction& f);
QrcIntExp QrcSum(const QrcIntSetVar& s, const QrcIntToIntFunction& f);
QrcIntExp QrcSum(const QrcIntSetVar& s, const QrcIntToIntExpFunction& f);

// U == the union of F(x) over S, added to the manager; an empty fixed U and no
// constraint when nothing is possible in S. U spans the values F(x) of the
// possible x (constant F), the range of their bounds (expression F), or the
// values possible in them (set-variable F). An expression range, or a range
// of set-variable universes, of 100000000 values or more is error 61.
QrcIntSetVar QrcUnion(const QrcIntSetVar& s, const QrcIntToIntFunction& f);
QrcIntSetVar QrcUnion(const QrcIntSetVar& s, const QrcIntToIntExpFunction& f);
QrcIntSetVar QrcUnion(const QrcIntSetVar& s, const QrcIntToIntSetVarFunction& f);
// The constraint u == the union of F(x) over s (not added).
QrcConstraint QrcUnionOverSetCt(const QrcIntSetVar& u, const QrcIntSetVar& s,
                                const QrcIntAccessor& f);
QrcConstraint QrcUnionOverSetCt(const QrcIntSetVar& u, const QrcIntSetVar& s,
                                const QrcIntToIntSetVarFunction& f);
// A new constraint (not added) that F(x) lies within S: membership of the
// integer or the expression F(x), inclusion of the set variable F(x). F(x)
// is the accessor's get(x) (its makeValue(x) for a constant F); an accessor
// of another kind is error 48.
QrcConstraintI* QrcMakeInclusionAt(QrcIntAccessorI* f, QrcInt x, QrcIntSetVarI* s);

// ---------------------------------------------------------------- expression nodes

// A node over S and the accessor of F; a parent of S and of card(S).
class QrcIntExpOverSetI : public QrcIntExpI {
  QRCLIBRARYCLASS(QrcIntExpOverSetI)
 public:
  QrcIntExpOverSetI(QrcManagerI* m, QrcIntSetVarI* s, QrcIntAccessorI* f);
  // S's bound event; S's domain event; S's domain event; each with card(S)'s range event.
  void whenValueOnOperands(QrcDemonI* demon) override;
  void whenRangeOnOperands(QrcDemonI* demon) override;
  void whenDomainOnOperands(QrcDemonI* demon) override;
  QrcIntSetVarI* getSet() const { return _set; }
  QrcIntAccessorI* getAccessor() const { return _accessor; }

 protected:
  // head "[" min ".." max "]".
  void displayAs(std::ostream& os, const char* head) const;
  // Bounds that may lie beyond the engine's integers go through the doubles.
  void storeBounds(QrcInt lo, QrcInt hi);

  QrcIntSetVarI* _set;
  QrcIntAccessorI* _accessor;
};

// Base of the constant forms.
class QrcIntExpOverIntSetI : public QrcIntExpOverSetI {
  QRCLIBRARYCLASS(QrcIntExpOverIntSetI)
 public:
  QrcIntExpOverIntSetI(QrcManagerI* m, QrcIntSetVarI* s, QrcIntConstAccessorI* f)
      : QrcIntExpOverSetI(m, s, f) {}
  QrcIntConstAccessorI* getValues() const { return static_cast<QrcIntConstAccessorI*>(_accessor); }
};

class QrcIntExpOverSetPropagatorI;

// Base of the expression forms: three propagators (range, value, domain)
// that wake the node's demons when an F(x) of a possible x changes, and the
// constraint that hooks them on the F(x) (added by each leaf's constructor).
class QrcIntExpOverIntExpSetI : public QrcIntExpOverSetI {
  QRCLIBRARYCLASS(QrcIntExpOverIntExpSetI)
 public:
  QrcIntExpOverIntExpSetI(QrcManagerI* m, QrcIntSetVarI* s, QrcIntExpAccessorI* f);
  // As the base, then the demon joins the matching propagator.
  void whenValueOnOperands(QrcDemonI* demon) override;
  void whenRangeOnOperands(QrcDemonI* demon) override;
  void whenDomainOnOperands(QrcDemonI* demon) override;
  QrcIntExpAccessorI* getExps() const { return static_cast<QrcIntExpAccessorI*>(_accessor); }
  QrcIntExpOverSetPropagatorI* getRangePropagator() const { return _rangePropagator; }
  QrcIntExpOverSetPropagatorI* getValuePropagator() const { return _valuePropagator; }
  QrcIntExpOverSetPropagatorI* getDomainPropagator() const { return _domainPropagator; }
  // Unless F(x) is bound: the node becomes a parent of F(x), and one demon
  // per propagator listens to F(x)'s value, range and domain events.
  void hookIndex(QrcInt x, QrcConstraintI* owner);

 protected:
  // Adds the hooking constraint to the manager.
  void follow();

  QrcIntExpOverSetPropagatorI* _rangePropagator;
  QrcIntExpOverSetPropagatorI* _valuePropagator;
  QrcIntExpOverSetPropagatorI* _domainPropagator;
};

// max of F(x) over S. Bounds [max over R, max over P] ([min over P, max over
// P] when R is empty); narrowing to [a, b] removes the x with F(x) > b and
// requires the only x that can reach a.
class QrcSetMaxIntFuncExpI : public QrcIntExpOverIntSetI {
  QRCLIBRARYCLASS(QrcSetMaxIntFuncExpI)
 public:
  QrcSetMaxIntFuncExpI(QrcManagerI* m, QrcIntSetVarI* s, QrcIntConstAccessorI* f);
  QRCEXPRTYPEID
  // "QrcMax(Set, Int F(x)):[" min ".." max "]".
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override { computeRange(); }
  void setOperandsRange(QrcInt a, QrcInt b) override;

 private:
  QrcInt _emptyMin;
  QrcInt _emptyMax;
};

// min of F(x) over S, the mirror image.
class QrcSetMinIntFuncExpI : public QrcIntExpOverIntSetI {
  QRCLIBRARYCLASS(QrcSetMinIntFuncExpI)
 public:
  QrcSetMinIntFuncExpI(QrcManagerI* m, QrcIntSetVarI* s, QrcIntConstAccessorI* f);
  QRCEXPRTYPEID
  // "QrcMin(Set, Int F(x)):[" min ".." max "]".
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override { computeRange(); }
  void setOperandsRange(QrcInt a, QrcInt b) override;

 private:
  QrcInt _emptyMin;
  QrcInt _emptyMax;
};

// max of F(x) over S from the bounds of the F(x); narrowing also caps the
// F(x) of the required x and restricts the only candidate to [a, b].
class QrcSetMaxIntExpFuncExpI : public QrcIntExpOverIntExpSetI {
  QRCLIBRARYCLASS(QrcSetMaxIntExpFuncExpI)
 public:
  QrcSetMaxIntExpFuncExpI(QrcManagerI* m, QrcIntSetVarI* s, QrcIntExpAccessorI* f);
  QRCEXPRTYPEID
  // "QrcMax(Set, IntExp F(x)):[" min ".." max "]".
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override { computeRange(); }
  void setOperandsRange(QrcInt a, QrcInt b) override;

 private:
  QrcInt _emptyMin;
  QrcInt _emptyMax;
};

class QrcSetMinIntExpFuncExpI : public QrcIntExpOverIntExpSetI {
  QRCLIBRARYCLASS(QrcSetMinIntExpFuncExpI)
 public:
  QrcSetMinIntExpFuncExpI(QrcManagerI* m, QrcIntSetVarI* s, QrcIntExpAccessorI* f);
  QRCEXPRTYPEID
  // "QrcMin(Set, IntExp F(x)):[" min ".." max "]".
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override { computeRange(); }
  void setOperandsRange(QrcInt a, QrcInt b) override;

 private:
  QrcInt _emptyMin;
  QrcInt _emptyMax;
};

// Sum of F(x) over S. requiredSum sums F over R; minFree and maxFree are the
// least and greatest F over P less R; lowSum (highSum) adds to requiredSum
// every negative (non-negative) F over P less R. The bounds also count how
// many more elements the cardinality allows or demands. Narrowing removes or
// requires the elements that would leave [a, b] and bounds the cardinality.
// Sums are exact; when a sum, product or bound leaves [-2^53, 2^53 - 1] the
// bounds are stored clamped with the out-of-range flag.
class QrcSetSumIntFuncExpI : public QrcIntExpOverIntSetI {
  QRCLIBRARYCLASS(QrcSetSumIntFuncExpI)
 public:
  QrcSetSumIntFuncExpI(QrcManagerI* m, QrcIntSetVarI* s, QrcIntConstAccessorI* f);
  QRCEXPRTYPEID
  // "QrcSum(Set, Int F(x)):[" min ".." max "]".
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void setOperandsRange(double a, double b) override;

 private:
  QrcInt _requiredSum;
  QrcInt _minFree;
  QrcInt _maxFree;
  QrcInt _lowSum;
  QrcInt _highSum;
};

// Sum of F(x) over S from the bounds of the F(x): requiredMinSum and
// requiredMaxSum sum the minima and maxima over R, minF and maxF are the
// least minimum and greatest maximum over P; narrowing also narrows the F(x)
// of the required x.
class QrcSetSumIntExpFuncExpI : public QrcIntExpOverIntExpSetI {
  QRCLIBRARYCLASS(QrcSetSumIntExpFuncExpI)
 public:
  QrcSetSumIntExpFuncExpI(QrcManagerI* m, QrcIntSetVarI* s, QrcIntExpAccessorI* f);
  QRCEXPRTYPEID
  // "QrcSum(Set, IntExp F(x)):[" min ".." max "]".
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void setOperandsRange(double a, double b) override;

 private:
  QrcInt _requiredMinSum;
  QrcInt _requiredMaxSum;
  QrcInt _minF;
  QrcInt _maxF;
  QrcInt _lowSum;
  QrcInt _highSum;
};

// ---------------------------------------------------------------- propagators

// Runs the demons hung on an expression node for one kind of event when an
// F(x) of a possible x has that event.
class QrcIntExpOverSetPropagatorI : public QrcEventHandlerI {
  QRCLIBRARYCLASS(QrcIntExpOverSetPropagatorI)
 public:
  QrcIntExpOverSetPropagatorI(QrcManagerI* m, QrcIntExpI* node);
  void process() override;
  void clearEvents() override { _state = Idle; }
  // Same node, no demons.
  QrcEventHandlerI* makeCopy(QrcManagerI* m) const override;
  // "IntExpOverSet propagator".
  void display(std::ostream& os) const override;
  QrcInt getNbDemons() const override { return _demons.getSize(); }
  // Prepends the demon (pending at once when the propagator is queued).
  void whenDomain(QrcDemonI* demon) override;
  void traceWithMonitor(QrcSearchMonitorI* monitor) override;
  void traceWithMonitor2(QrcSearchMonitorI* monitor) override;
  QrcDemonI* getFirstDemon() const override;
  QrcConstraintList& getDemons() { return _demons; }

 private:
  QrcConstraintList _demons;
};

// F(x) changed: wakes the propagator while x is possible in S, else sleeps
// until backtracking.
class QrcIntExpOverSetOpDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcIntExpOverSetOpDemonI)
  QROSIMPLECLASS(QrcIntExpOverSetOpDemonI, QrcDemonI)
 public:
  QrcIntExpOverSetOpDemonI(QrcManagerI* m, QrcConstraintI* owner, QrcInt x, QrcIntSetVarI* s,
                           QrcIntExpOverSetPropagatorI* propagator)
      : QrcDemonI(m, owner), _x(x), _set(s), _propagator(propagator) {}
  void propagate() override;
  void display(std::ostream& os) const override;

 private:
  QrcInt _x;
  QrcIntSetVarI* _set;
  QrcIntExpOverSetPropagatorI* _propagator;
};

// Hooks the new indexes of an accessor domain that grows.
class QrcIntExpOverSetFiDefinedDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcIntExpOverSetFiDefinedDemonI)
  QROSIMPLECLASS(QrcIntExpOverSetFiDefinedDemonI, QrcDemonI)
 public:
  QrcIntExpOverSetFiDefinedDemonI(QrcManagerI* m, QrcConstraintI* owner,
                                  QrcIntExpOverIntExpSetI* node)
      : QrcDemonI(m, owner), _node(node) {}
  void propagate() override;
  void display(std::ostream& os) const override;

 private:
  QrcIntExpOverIntExpSetI* _node;
};

class QrcIntExpOverSetFiDefinedDemonVisitor : public QrcIntVisitor {
 public:
  QrcIntExpOverSetFiDefinedDemonVisitor(QrcIntExpOverIntExpSetI* node, QrcConstraintI* owner)
      : _node(node), _owner(owner) {}
  // Hooks x when it is possible in S; goes on.
  QrcBool visit(QrcInt x) override;

 private:
  QrcIntExpOverIntExpSetI* _node;
  QrcConstraintI* _owner;
};

// Hooks the F(x) of the possible x when posted; propagates nothing.
class QrcIntExpOverSetCstI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcIntExpOverSetCstI)
  QROSIMPLECLASS(QrcIntExpOverSetCstI, QrcConstraintI)
 public:
  QrcIntExpOverSetCstI(QrcManagerI* m, QrcIntExpOverIntExpSetI* node)
      : QrcConstraintI(m), _node(node) {}
  void post() override;
  void propagate() override {}
  // The node's copy brings its own: the shared true constraint.
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  QrcIntExpOverIntExpSetI* getNode() const { return _node; }

 private:
  QrcIntExpOverIntExpSetI* _node;
};

// ---------------------------------------------------------------- union over a set

class QrcUnionSupportsI;
class QrcUnionOverSetIndexPossibleVisitor;
class QrcUnionOverSetDeltaFiVisitor;

// U == the union of F(x) over the x in S. Each value v possible in U keeps
// two supports, indexes x possible in S with v possible in F(x), replaced
// only when one is struck: a value without support leaves U, a required value
// with one support forces it (x required in S, v required in F(x)). An index
// whose F(x) cannot fit in U leaves S, a required index posts F(x) within U,
// and card(U) <= c * card(S) for c the greatest cardinality of any F(x).
// The supports are kept per value of U (a dense table when U's values fill
// most of their range, else a hash table), made at the first propagation and
// rebuilt by each: backtracking only gives values and indexes back, so every
// support in it stays a true support and it is not trailed.
class QrcUnionOverSetCtI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcUnionOverSetCtI)
  QROSIMPLECLASS(QrcUnionOverSetCtI, QrcConstraintI)
 public:
  QrcUnionOverSetCtI(QrcManagerI* m, QrcIntSetVarI* u, QrcIntSetVarI* s, QrcIntAccessorI* f);
  void post() override;
  void propagate() override;
  // A required x whose F(x) cannot fit in U, or a required v of U that no
  // possible x can supply.
  QrcBool isFalse() const override;
  // Over the copies of U and S, with the same accessor.
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

  // Demon entries.
  void propagateUnionDomain();
  void propagateUnionCard();
  void propagateIndexDomain();
  void propagateIndexCard();
  void propagateFiDomain(QrcInt x);
  void propagateFiCard(QrcInt x);
  // Hangs the demons of x on F(x).
  void hookIndex(QrcInt x);
  // Index x lost value v (x left S, or v left F(x)).
  void lostValue(QrcInt x, QrcInt v);
  // The two supports of v as they stand (none: 2^63 - 1); false when v has no
  // entry (before the first propagation, or v was never possible in U).
  bool getSupports(QrcInt v, QrcInt& first, QrcInt& second) const;
  QrcIntSetVarI* getUnion() const { return _union; }
  QrcIntSetVarI* getIndexSet() const { return _set; }
  QrcIntAccessorI* getAccessor() const { return _accessor; }

 private:
  bool isSupport(QrcInt x, QrcInt v) const;
  // Replaces support w of v; the number of valid supports, -1 when w is not one.
  QrcInt replace(QrcInt* pair, QrcInt v, QrcInt w);
  void valueRequired(QrcInt v);
  void force(QrcInt v, const QrcInt* pair);
  // card(U) <= c * m.
  void capCardinality(QrcInt m);

  QrcIntSetVarI* _union;
  QrcIntSetVarI* _set;
  QrcIntAccessorI* _accessor;
  QrcUnionSupportsI* _supports;
  QrcUnionOverSetIndexPossibleVisitor* _possibleVisitor;
  QrcUnionOverSetDeltaFiVisitor* _deltaVisitor;
};

#endif
