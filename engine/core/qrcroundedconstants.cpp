#include <mutex>

#include "qrcfloatconstants.h"
#include "qrcfloatenv.h"

// Start-up constants of interval arithmetic, filled once per process by the
// first manager, whichever thread makes it.
void QrcInitRoundedConstants() {
  static std::once_flag filled;
  std::call_once(filled, [] {
    initFloatConstantBounds();
    initExpLogConstantBounds();
    initApproxCoefficientBounds();
  });
}
