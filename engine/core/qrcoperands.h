// Checks of what a maker of constraints and expressions is given, made before
// it stores anything: an empty element of an array reports code 39 "empty
// handle", operands (or elements) of two managers code 53 "Managers are
// different", each with the maker's name, through the manager's reporter.
#ifndef QRC_OPERANDS_H
#define QRC_OPERANDS_H

#include <initializer_list>

#include "qrcconstraint.h"
#include "qrcfloatexp.h"
#include "qrcfloatvararray.h"
#include "qrcint.h"
#include "qrcintsetvar.h"

// An operand as the checks see it: its manager and, for an array, the array.
// An empty handle has neither and is left to the maker.
class QrcOperand {
 public:
  QrcOperand(const QrcExprI* x) : _manager(x ? x->getManager() : nullptr), _array(nullptr) {}
  QrcOperand(const QrcIntExp& x) : QrcOperand(x.getImpl()) {}
  QrcOperand(const QrcFloatExp& x) : QrcOperand(x.getImpl()) {}
  QrcOperand(const QrcIntSetVar& x) : QrcOperand(x.getImpl()) {}
  QrcOperand(const QrcConstraint& c)
      : _manager(c.getImpl() ? c.getImpl()->getManager() : nullptr), _array(nullptr) {}
  QrcOperand(const QrcExpArrayI* a) : _manager(a ? a->getManager() : nullptr), _array(a) {}
  QrcOperand(const QrcIntVarArray& a) : QrcOperand(a.getImpl()) {}
  QrcOperand(const QrcFloatVarArray& a) : QrcOperand(a.getImpl()) {}
  QrcOperand(const QrcIntSetVarArray& a) : QrcOperand(a.getImpl()) {}

  QrcManagerI* getManager() const { return _manager; }
  const QrcExpArrayI* getArray() const { return _array; }

 private:
  QrcManagerI* _manager;
  const QrcExpArrayI* _array;
};

// The operands' manager (null when every handle is empty), after the checks.
QrcManagerI* QrcCheckOperands(const char* place, std::initializer_list<QrcOperand> operands);

// One element of what a maker was given on the manager m: empty, it reports
// code 39; of another manager, code 53.
void QrcCheckElement(const char* place, QrcManagerI* m, const QrcExprI* e);

// The n expressions of a table given to a maker on the manager m.
template <class E>
void QrcCheckElements(const char* place, QrcManagerI* m, QrcInt n, E* const* elements) {
  for (QrcInt i = 0; i < n; ++i) QrcCheckElement(place, m, elements[i]);
}

#endif
