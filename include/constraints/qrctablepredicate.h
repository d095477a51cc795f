// Tables given by a predicate: a tuple of integer variables restricted to the
// tuples a predicate of two or three arguments accepts, or to the tuples
// outside a closed tuple set (forbidden tables), kept generalised arc
// consistent by runs of values sharing a support (qrctablepredicate.cpp).
//
// Propagation code keeps trivially destructible locals only: a failure leaves
// it by a non-local jump.
#ifndef QRC_TABLE_PREDICATE_H
#define QRC_TABLE_PREDICATE_H

#include "qrcconstraint.h"
#include "qrcint.h"
#include "qrcintexp.h"
#include "qrcintvisitor.h"
#include "qrctupleset.h"

class QrcIntBinaryPredicateI {
 public:
  virtual ~QrcIntBinaryPredicateI() {}
  virtual QrcBool isTrue(QrcInt a, QrcInt b) = 0;
};

class QrcIntTernaryPredicateI {
 public:
  virtual ~QrcIntTernaryPredicateI() {}
  virtual QrcBool isTrue(QrcInt a, QrcInt b, QrcInt c) = 0;
};

class QrcIntBinaryPredicate {
 public:
  QrcIntBinaryPredicate() : _impl(nullptr) {}
  QrcIntBinaryPredicate(QrcIntBinaryPredicateI* impl) : _impl(impl) {}
  QrcIntBinaryPredicateI* getImpl() const { return _impl; }

 private:
  QrcIntBinaryPredicateI* _impl;
};

class QrcIntTernaryPredicate {
 public:
  QrcIntTernaryPredicate() : _impl(nullptr) {}
  QrcIntTernaryPredicate(QrcIntTernaryPredicateI* impl) : _impl(impl) {}
  QrcIntTernaryPredicateI* getImpl() const { return _impl; }

 private:
  QrcIntTernaryPredicateI* _impl;
};

// Not in the set.
class QrcGACForbiddenI : public QrcIntPredicateI {
 public:
  explicit QrcGACForbiddenI(QrcTupleSetI* set) : _set(set) {}
  using QrcIntPredicateI::isTrue;
  QrcBool isTrue(const QrcInt* tuple) override { return !_set->isIn(tuple, _set->getArity()); }
  QrcTupleSetI* getSet() const { return _set; }

 private:
  QrcTupleSetI* _set;
};

// A run of values [lo, hi] of one position sharing one support: each value v
// of the run still in its domain is supported by the tuple holding v at the
// position and, at each other position j, support[j] plus v - lo when bit j
// of shift is set (so that v == w runs as well as v < max). A free run needs
// no support: no forbidden tuple holds its values there.
struct QrcGACRun {
  QrcInt lo;
  QrcInt hi;
  QrcGACRun* next;  // the run of higher values, linked on the trail
  QrcInt shift;
  QrcInt free;
  QrcInt support[1];  // one per position (the position's own entry unused)
};

// Generalised arc consistency for a predicate (forbidden tables: not in the
// set), by runs of values sharing a support, kept per position in increasing
// order on the trail. A value's support is sought first as the extension of
// the run before it, then (two and three arguments) among the tuples of the
// bounds of the other domains, then by lexicographic enumeration of the
// product of the other domains. A change of a domain checks the supports of
// the runs of the other positions; only the values of a run whose support
// left seek again. An arbitrary predicate has to be asked once per value at
// least; over wide domains the runs keep that the only cost per value. For a
// forbidden table, only the values that occur in the column need a support.
class QrcGACSPredicateI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcGACSPredicateI)
  QROSIMPLECLASS(QrcGACSPredicateI, QrcConstraintI)
 public:
  QrcGACSPredicateI(QrcManagerI* m, QrcIntVarArrayI* vars, QrcIntPredicateI* general,
                    QrcIntBinaryPredicateI* binary, QrcIntTernaryPredicateI* ternary);
  void post() override;
  void propagate() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  // Demon of position j: its domain changed.
  void changed(QrcInt j);
  QrcInt getArity() const { return _arity; }
  // The runs of a position, lowest first.
  const QrcGACRun* getRuns(QrcInt k) const { return _runs ? _runs[k] : nullptr; }

 private:
  QrcBool accepts() const;
  // Whether the candidate, holding v at k, has its other values in their
  // domains and is accepted.
  bool tryCandidate(QrcInt k);
  bool seek(QrcInt k, QrcInt v);
  bool valid(QrcInt k, const QrcGACRun* r) const;
  QrcGACRun* newRun(QrcInt k, QrcInt lo, QrcInt hi, QrcInt shift, QrcInt free);
  // The runs for the values of [lo, hi] still in x[k]'s domain, chained;
  // removes the values without support. Null when none is left.
  QrcGACRun* build(QrcInt k, QrcInt lo, QrcInt hi, QrcGACRun*& last);
  // The state of a build of position k's runs.
  struct BuildState;
  // Extends the open run to v or starts a run at v, else marks v to go.
  void takeValue(BuildState& b, QrcInt v);
  // Forbidden tables: free runs between the column's values, from v to end.
  void buildBetweenColumn(BuildState& b, QrcInt v, QrcInt end);
  // Every domain value from v to end, one at a time.
  void buildEachValue(BuildState& b, QrcInt v, QrcInt end);
  void revise(QrcInt k);
  // Forbidden tables: the sorted values of column k.
  const QrcInt* column(QrcInt k, QrcInt& count);

  QrcInt _arity;
  QrcIntVarArrayI* _vars;
  QrcIntPredicateI* _general;
  QrcIntBinaryPredicateI* _binary;
  QrcIntTernaryPredicateI* _ternary;
  QrcTupleSetI* _forbidden;  // the set of a forbidden table, else null
  QrcInt* _candidate;
  QrcGACRun** _runs;  // per position, on the trail
  QrcInt** _columns;  // per position, made on first use (trailed)
  QrcInt* _columnSizes;
  unsigned char* _changed;
  QrcInt _built;  // trailed
};

#endif
