// Membership of an integer expression in the values of a constant array, and
// its opposite. On a variable the first propagation is final; on any other
// expression each change of its bounds applies the restriction again.
#ifndef QRC_MEMBER_H
#define QRC_MEMBER_H

#include "qrcint.h"

// x in values (member set) or x not in values (member clear).
class QrcMemberBaseI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcMemberBaseI)
  QROSIMPLECLASS(QrcMemberBaseI, QrcConstraintI)
 public:
  QrcMemberBaseI(QrcManagerI* manager, QrcIntExpI* x, const QrcIntArray& values, bool member);
  void post() override { _x->whenRange(this); }
  void propagate() override;
  void metaPostDemon(QrcDemonI* demon) override { _x->whenDomain(demon); }
  QrcBool hasMetaPostDemon() const override { return 1; }
  QrcConstraintI* makeOpposite() override;
  // Member: no value of the array in x's domain. Not member: every value of
  // x's domain among the array's distinct values.
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

 private:
  QrcRevWord _active;
  QrcIntExpI* _x;
  QrcIntArray _values;
  bool _member;
};

class QrcMemberConstraint : public QrcMemberBaseI {
  QRCLIBRARYCLASS(QrcMemberConstraint)
  QROSIMPLECLASS(QrcMemberConstraint, QrcMemberBaseI)
 public:
  QrcMemberConstraint(QrcManagerI* manager, QrcIntExpI* x, const QrcIntArray& values)
      : QrcMemberBaseI(manager, x, values, true) {}
};

class QrcNotMemberConstraint : public QrcMemberBaseI {
  QRCLIBRARYCLASS(QrcNotMemberConstraint)
  QROSIMPLECLASS(QrcNotMemberConstraint, QrcMemberBaseI)
 public:
  QrcNotMemberConstraint(QrcManagerI* manager, QrcIntExpI* x, const QrcIntArray& values)
      : QrcMemberBaseI(manager, x, values, false) {}
};

QrcConstraint QrcMember(const QrcIntExp& x, const QrcIntArray& values);
QrcConstraint QrcNotMember(const QrcIntExp& x, const QrcIntArray& values);

#endif
