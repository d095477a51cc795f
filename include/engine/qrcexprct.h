// Base of the constraints that keep an expression turned into a variable in
// step with its operands.
#ifndef QRC_EXPRCT_H
#define QRC_EXPRCT_H

#include "qrcconstraint.h"

class QrcExprEventHandlerConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcExprEventHandlerConstraintI)
  QROSIMPLECLASS(QrcExprEventHandlerConstraintI, QrcConstraintI)
 public:
  explicit QrcExprEventHandlerConstraintI(QrcManagerI* manager) : QrcConstraintI(manager) {}
  QrcBool isExprEventHandlerConstraint() const override { return 1; }
};

#endif
