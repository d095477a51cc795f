#include "qrcfloatenv.h"

// Hook for the float layer's start-up constants: it calls
// initFloatConstantBounds, initExpLogConstantBounds and
// initApproxCoefficientBounds, in this order, once that layer provides them.
void QrcInitRoundedConstants() {}
