#include "engine/float/qrcfloatconstants.h"
#include "qrcfloatenv.h"

void QrcInitRoundedConstants() {
  initFloatConstantBounds();
  initExpLogConstantBounds();
  initApproxCoefficientBounds();
}
