#include "qrcfail.h"
#include "qrcmanager.h"

// Truth variables of fail traps belong to the integer layer, which binds them
// through its own expressions. Until it provides them, a trap with a truth
// variable passes the failure on.
void QrcBindTruthFalse(QrcExprI*) {}

bool QrcTruthCanBeTrue(QrcExprI*) { return true; }
