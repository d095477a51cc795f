#include "qrcfail.h"
#include "qrcintexp.h"
#include "qrcmanager.h"

// Truth variables of fail traps are integer expressions.
void QrcBindTruthFalse(QrcExprI* truth) {
  static_cast<QrcIntExpI*>(truth)->setValue(0);
}

bool QrcTruthCanBeTrue(QrcExprI* truth) {
  return static_cast<QrcIntExpI*>(truth)->getMax() != 0;
}
