// Member and not-member of a constant array. Code that can fail keeps
// trivially destructible locals only.
#include "qrcmember.h"

#include "qrcintcompare.h"

QrcMemberBaseI::QrcMemberBaseI(QrcManagerI* m, QrcIntExpI* x, const QrcIntArray& values,
                               bool member)
    : QrcConstraintI(m), _active(m, 1), _x(x), _values(values), _member(member) {}

void QrcMemberBaseI::propagate() {
  if (!_active.getValue()) return;
  if (_x->isVariable()) _active.set(_manager, 0);
  if (_member)
    QrcIntExp(_x).setDomain(_values);
  else
    QrcIntExp(_x).removeDomain(_values);
}

QrcConstraintI* QrcMemberBaseI::makeOpposite() {
  QrcConstraintI* o = _member ? static_cast<QrcConstraintI*>(
                                    new (_manager) QrcNotMemberConstraint(_manager, _x, _values))
                              : new (_manager) QrcMemberConstraint(_manager, _x, _values);
  return QrcOppositeWhereUndefined(o, _x);
}

QrcBool QrcMemberBaseI::isFalse() const {
  QrcInt n = _values.getSize();
  if (_member) {
    for (QrcInt i = 0; i < n; ++i)
      if (_x->isInDomain(_values[i])) return 0;
    return 1;
  }
  if (n == 0) return 0;
  // Distinct values: an array holding a value twice still leaves x the others.
  const QrcIntCollectionI* c = _values.getCollection();
  QrcInt lo = _x->getMin(), hi = _x->getMax(), inside = 0;
  for (QrcInt k = c->lowerBoundIndex(lo); k < c->getSize(); ++k) {
    QrcInt v = c->getElement(k)->value;
    if (v > hi) break;
    if (_x->isInDomain(v)) ++inside;
  }
  return inside == _x->getSize();
}

QrcConstraintI* QrcMemberBaseI::makeCopy(QrcManagerI* t) const {
  QrcIntExpI* x = static_cast<QrcIntExpI*>(_x->getCopyForManager(t));
  QrcIntArray values = _values.getManager() == t ? _values : _values.copy(QrcManager(t));
  if (_member) return new (t) QrcMemberConstraint(t, x, values);
  return new (t) QrcNotMemberConstraint(t, x, values);
}

namespace {

QrcIntExpI* impl(const QrcIntExp& e, const char* place) {
  if (!e.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return e.getImpl();
}

}  // namespace

QrcConstraint QrcMember(const QrcIntExp& xe, const QrcIntArray& values) {
  QrcIntExpI* x = impl(xe, "QrcMember");
  return new (x->getManager()) QrcMemberConstraint(x->getManager(), x, values);
}

QrcConstraint QrcNotMember(const QrcIntExp& xe, const QrcIntArray& values) {
  QrcIntExpI* x = impl(xe, "QrcNotMember");
  return new (x->getManager()) QrcNotMemberConstraint(x->getManager(), x, values);
}
