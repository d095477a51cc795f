// Callbacks over integer values: a visitor told each value of a walk, and a
// predicate asked about one value or about a tuple of values (the tables).
#ifndef QRC_INTVISITOR_H
#define QRC_INTVISITOR_H

#include "qrctypes.h"

class QrcIntVisitor {
 public:
  virtual ~QrcIntVisitor() {}
  // Whether the walk goes on.
  virtual QrcBool visit(QrcInt v) = 0;
};

class QrcIntPredicateI {
 public:
  virtual ~QrcIntPredicateI() {}
  // One value: the predicate on the tuple of that value.
  virtual QrcBool isTrue(QrcInt v) { return isTrue(&v); }
  virtual QrcBool isTrue(const QrcInt* tuple) = 0;
};

#endif
