// Constraint families over set elements. A generic constraint is written once
// over an index placeholder (vars[index] == c, vars[index] <= y, ...) and
// stands for one instance per index value 0..n-1; the element vars[index]
// itself is an expression of the element family (qrcelement.h). A QrcSetOfConstraint keeps
// the instances in step with an integer-set variable over 0..n-1: index i is
// in the set exactly when instance i holds. Instance i known false removes i;
// known true requires i; requiring i posts instance i and removing i posts its
// opposite. The caller gets the set variable's cardinality, the number of
// instances that hold.
//
// Code that can fail keeps trivially destructible locals.
#ifndef QRC_SETOF_H
#define QRC_SETOF_H

#include <iosfwd>

#include "qrcconstraint.h"
#include "qrcintsetvar.h"

// Index placeholder of a generic constraint: bound once given a value.
class QrcIndexI : public QrcPrintable {
 public:
  explicit QrcIndexI(QrcIntVarArrayI* array) : _bound(0), _value(0), _array(array) {}
  bool isBound() const { return _bound != 0; }
  // Error 10 "unbound index" when unbound.
  QrcInt getValue() const;
  void setValue(QrcInt v) {
    _value = v;
    _bound = 1;
  }
  // The size of the array first indexed (0 without one).
  QrcInt getSize() const { return _array ? _array->getSize() : 0; }
  QrcIntVarArrayI* getArray() const { return _array; }
  QrcErrorReporter* getErrorReporter() const;
  // "QrcIndex", then "[" value "]" when bound.
  void display(std::ostream& os) const override;

 private:
  QrcInt _bound;
  QrcInt _value;
  QrcIntVarArrayI* _array;
};

class QrcIndex {
 public:
  QrcIndex() : _impl(nullptr) {}
  QrcIndex(QrcIndexI* impl) : _impl(impl) {}
  QrcIndexI* getImpl() const { return _impl; }
  void setImpl(QrcIndexI* impl) { _impl = impl; }

 private:
  QrcIndexI* _impl;
};

class QrcSetOfConstraint : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcSetOfConstraint)
  QROSIMPLECLASS(QrcSetOfConstraint, QrcConstraintI)
 public:
  // One instance per value of the index, each a fresh copy of the template
  // in the template's manager made with the index set to its position (the
  // variables of the template are their own copies). The set variable must
  // range over 0..n-1 for an index of size n.
  QrcSetOfConstraint(QrcIntSetVarI* var, QrcIndexI* index, QrcConstraintI* tmpl);
  // Over given instances (copies into another manager).
  QrcSetOfConstraint(QrcManagerI* manager, QrcIntSetVarI* var, QrcConstraintArrayI* instances);

  // Checks every index in order.
  void propagate() override;
  // Name, or " QrcSetOfConstraint(" variable "," instances ")".
  void display(std::ostream& os) const override;
  // A truth demon on each instance, a domain demon on the set variable.
  void post() override;
  // Some instance known true whose index is impossible, or known false
  // whose index is required.
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

  // Instance known false: i leaves the set; known true: i joins it;
  // otherwise a required i propagates the instance and an impossible i its
  // opposite.
  void checkIndex(QrcInt i);
  QrcIntSetVarI* getSetVar() const { return _var; }
  QrcConstraintArrayI* getInstances() const { return _instances; }

 private:
  bool isPossible(QrcInt i) const;
  bool isRequired(QrcInt i) const;

  QrcIntSetVarI* _var;
  QrcConstraintArrayI* _instances;
};

// Instance i changed its truth.
class QrcWhenSetOfDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcWhenSetOfDemonI)
  QROSIMPLECLASS(QrcWhenSetOfDemonI, QrcDemonI)
 public:
  QrcWhenSetOfDemonI(QrcSetOfConstraint* owner, QrcInt index)
      : QrcDemonI(owner->getManager(), owner), _index(index) {}
  void propagate() override { static_cast<QrcSetOfConstraint*>(_owner)->checkIndex(_index); }
  void display(std::ostream& os) const override;

 private:
  QrcInt _index;
};

// The set variable changed: required indexes post their instance, removed
// ones the opposite.
class QrcSetDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcSetDemonI)
  QROSIMPLECLASS(QrcSetDemonI, QrcDemonI)
 public:
  explicit QrcSetDemonI(QrcSetOfConstraint* owner) : QrcDemonI(owner->getManager(), owner) {}
  void propagate() override;
  void display(std::ostream& os) const override;
};

// The generic constraint over an index placeholder: the number of its
// instances that hold. vars[index] == c over an array of the index's size
// counts the variables equal to c instead (QrcIntExpI::makeGenericCount).
// Empty handles stop with error 39.
QrcIntExp QrcGenericConstraint(QrcIndex& index, const QrcConstraint& ct);

#endif
