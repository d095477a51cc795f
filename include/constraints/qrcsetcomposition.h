// Set variables defined from others and values spread over arrays of sets:
// s == a intersect b, s == a union b (with a filter level: from level 2 an
// intersection variable and the exact cardinality link), s == the union of an
// array, the partition of a universe over an array of sets (an index variable
// per universe value and a distribute constraint over the sets' sizes),
// pairwise disjointness (reinforced by such a partition from level 1) and the
// disjoint union. Every creation function stops with code 39 "empty handle"
// on an empty handle, except QrcDisjointUnion's empty array.
#ifndef QRC_SETCOMPOSITION_H
#define QRC_SETCOMPOSITION_H

#include <iosfwd>

#include "qrcfilterlevel.h"
#include "qrcint.h"
#include "qrcintset.h"
#include "qrcintsetvar.h"

// ---------------------------------------------------------------- creation

// s == a intersect b: s == a when a is b, a subset of b when s is a (b when s is b).
QrcConstraint QrcEqIntersection(const QrcIntSetVar& s, const QrcIntSetVar& a,
                                const QrcIntSetVar& b);
// s == a union b: a == s when a is b, b subset of a when s is a (a of b when s is b).
QrcConstraint QrcEqUnion(const QrcIntSetVar& s, const QrcIntSetVar& a, const QrcIntSetVar& b);
// s == a union b and i == a intersect b; operands that coincide give the
// simpler relations they mean, else a union at filter level 3.
QrcConstraint QrcEqUnion(const QrcIntSetVar& s, const QrcIntSetVar& a, const QrcIntSetVar& b,
                         const QrcIntSetVar& i);
// An empty array handle of sets stands for an array without elements.
// s == the union of the array's elements (s empty for an array without elements).
QrcConstraint QrcEqUnion(const QrcIntSetVar& s, const QrcIntSetVarArray& sets);
// Every value of the universe lies in exactly one of the sets; the values
// outside it stay free. Repeated values count once. An empty array handle of
// sets gives the false constraint of the universe's manager for a nonempty
// universe, else its true constraint.
QrcConstraint QrcPartition(const QrcIntSetVarArray& sets, const QrcIntArray& universe);
// The universe is every value possible in some set.
QrcConstraint QrcPartition(const QrcIntSetVarArray& sets);
// No value lies in two of the sets.
QrcConstraint QrcAllNullIntersect(const QrcIntSetVarArray& sets);
// The last two ask nothing of an array without elements; an empty array
// handle names no manager to state that in, and gives an empty handle.
// s is the union of pairwise disjoint sets, card(s) their cardinalities'
// sum; card(s) == 0 for an empty array handle or an array without elements.
QrcConstraint QrcDisjointUnion(const QrcIntSetVar& s, const QrcIntSetVarArray& sets);

// ---------------------------------------------------------------- intersection

// s == a intersect b; card(a) >= card(s) and card(b) >= card(s).
class QrcEqIntersectCtI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcEqIntersectCtI)
  QROSIMPLECLASS(QrcEqIntersectCtI, QrcConstraintI)
 public:
  QrcEqIntersectCtI(QrcManagerI* m, QrcIntSetVarI* a, QrcIntSetVarI* b, QrcIntSetVarI* s)
      : QrcConstraintI(m), _a(a), _b(b), _s(s) {}
  void propagate() override;
  // Its name, else "QrcEqIntersect(" address ") " s " = " a " intersect " b,
  // the variables as addresses, and an end of line.
  void display(std::ostream& os) const override;
  void post() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  // Demon entries: the changes of s; those of a or b.
  void propagateInter();
  void propagateVar(QrcIntSetVarI* x);

 private:
  QrcIntSetVarI* _a;
  QrcIntSetVarI* _b;
  QrcIntSetVarI* _s;
};

// ---------------------------------------------------------------- union

// s == a union b, with the link card(s) <= card(a) + card(b). Levels 0 and 1
// add nothing more; from level 2 the intersection variable i (made when none
// was given) with i == a intersect b and the exact link card(s) == card(a) +
// card(b) - card(i). A given i is linked so at every level. Negative levels
// are refused.
class QrcEqUnionCtI : public QrcConstraintWithFilterI {
  QRCLIBRARYCLASS(QrcEqUnionCtI)
  QROSIMPLECLASS(QrcEqUnionCtI, QrcConstraintWithFilterI)
 public:
  QrcEqUnionCtI(QrcManagerI* m, QrcIntSetVarI* a, QrcIntSetVarI* b, QrcIntSetVarI* s,
                QrcIntSetVarI* i);
  void propagate() override;
  void post() override;
  QrcBool isFalse() const override;
  // The copy has no link yet and no explicit level.
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  QrcBool isFilterLevelSupported(QrcInt level) override;
  // Posts the link unless there is one; false when the cardinality maxima
  // sum beyond the engine's integers.
  bool postCardinalityLink();
  // Demon entries: the changes of s; of a or b; a fall of max card(a) or card(b).
  void propagateUnion();
  void propagateVar(QrcIntSetVarI* x);
  void propagateCard(QrcIntExpI* card);
  QrcIntSetVarI* getIntersection() const { return _i; }
  QrcConstraintI* getCardinalityLink() const { return _link; }

 private:
  // i == a intersect b, and the exact link when a link exists (each once).
  void linkIntersection();

  QrcIntSetVarI* _a;
  QrcIntSetVarI* _b;
  QrcIntSetVarI* _s;
  QrcIntSetVarI* _i;
  QrcConstraintI* _link;
  QrcInt _linked;  // i == a intersect b posted
  QrcInt _exact;   // the link is the exact one
};

// ---------------------------------------------------------------- array union

// s == the union of the array's elements, taken in index order.
class QrcArrayUnionCtI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcArrayUnionCtI)
  QROSIMPLECLASS(QrcArrayUnionCtI, QrcConstraintI)
 public:
  QrcArrayUnionCtI(QrcManagerI* m, QrcIntSetVarI* s, QrcIntSetVarArrayI* sets)
      : QrcConstraintI(m), _s(s), _sets(sets) {}
  void propagate() override;
  void post() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  // The only element with v possible: its index, -1 when none, 2^53 - 1 when two or more.
  QrcInt getOwner(QrcInt v) const;
  // Demon entries: the changes of s; those of an element.
  void propagateUnion();
  void propagateElement(QrcIntSetVarI* a);

 private:
  QrcIntSetVarI* _s;
  QrcIntSetVarArrayI* _sets;
};

// ---------------------------------------------------------------- partition

// Every value of the universe lies in exactly one set. which[j] is the index
// of the set holding the universe's j-th smallest value; a distribute
// constraint at the partition's level counts the sets' sizes. When the
// universe differs from the union of the sets' possible values, each set is
// split into a part over the universe and a rest holding its other values.
class QrcPartitionI : public QrcConstraintWithFilterI {
  QRCLIBRARYCLASS(QrcPartitionI)
  QROSIMPLECLASS(QrcPartitionI, QrcConstraintWithFilterI)
 public:
  QrcPartitionI(QrcManagerI* m, QrcIntSetVarArrayI* sets, QrcIntOrderedSetI* universe,
                QrcIntOrderedSetI* unionSet);
  void propagate() override;
  void post() override;
  // The copy owns copies of the universe and the union and keeps the level.
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  // Forwarded to the distribute constraint; every level is accepted.
  QrcBool isFilterLevelSupported(QrcInt level) override;
  // Demon entries: which[j] changed; parts[i] changed.
  void propagateValue(QrcInt j);
  void propagateSet(QrcInt i);
  QrcIntOrderedSetI* getUniverse() const { return _universe; }
  // Made at post: null before.
  QrcIntVarArrayI* getWhich() const { return _which; }
  QrcIntSetVarI* getPart(QrcInt i) const { return _parts ? _parts[i] : nullptr; }
  QrcIntSetVarI* getRest(QrcInt i) const { return _rests ? _rests[i] : nullptr; }

 private:
  QrcInt indexOf(QrcInt v) const;
  bool sameMembers() const;

  QrcIntSetVarArrayI* _sets;
  QrcInt _n;
  QrcIntVarArrayI* _which;
  QrcIntSetVarI** _parts;
  QrcIntSetVarI** _rests;
  QrcIntOrderedSetI* _union;
  QrcIntOrderedSetI* _universe;
};

// ---------------------------------------------------------------- pairwise disjointness

// No value lies in two sets. Level 0 works alone; levels 1 to 3 add, once, a
// partition of every possible value over the sets and one set for the values
// that no set takes, whose level follows later changes. Other levels are refused.
class QrcAllNullIntersectI : public QrcConstraintWithFilterI {
  QRCLIBRARYCLASS(QrcAllNullIntersectI)
  QROSIMPLECLASS(QrcAllNullIntersectI, QrcConstraintWithFilterI)
 public:
  QrcAllNullIntersectI(QrcManagerI* m, QrcIntSetVarArrayI* sets);
  void propagate() override;
  void post() override;
  // Some value is required in two sets.
  QrcBool isFalse() const override;
  // The copy has no partition and keeps the level.
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  QrcBool isFilterLevelSupported(QrcInt level) override;
  // Demon entry: values that entered R(sets[i]).
  void propagateSet(QrcInt i);
  QrcPartitionI* getPartition() const { return _partition; }

 private:
  QrcIntSetVarArrayI* _sets;
  QrcPartitionI* _partition;
};

#endif
