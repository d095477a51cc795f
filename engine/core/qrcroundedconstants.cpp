#include "engine/float/qrcfloatconstants.h"
#include "qrcfloatenv.h"

// Start-up constants of interval arithmetic, filled once per process by the
// first manager.
void QrcInitRoundedConstants() {
  initFloatConstantBounds();
  initExpLogConstantBounds();
  initApproxCoefficientBounds();
}
