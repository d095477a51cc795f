#include "qrcfloatconstants.h"

#include <cstdint>
#include <cstring>

#include "qrcoutward.h"
#include "qroplatform.h"

double qrcOneDown, qrcOneUp;

double qrcPiDown, qrcPiUp;
double qrcHalfPiDown, qrcHalfPiUp;
double qrcQuarterPiDown, qrcQuarterPiUp;
double qrcTwoPiDown, qrcTwoPiUp;
double qrcThreeHalfPiDown, qrcThreeHalfPiUp;
double qrcFiveHalfPiDown, qrcFiveHalfPiUp;
double qrcSevenHalfPiDown, qrcSevenHalfPiUp;
double qrcNineHalfPiDown, qrcNineHalfPiUp;
double qrcHalfPiCopyDown, qrcHalfPiCopyUp;
double qrcSineCoefficients[6];
double qrcCosineCoefficients[6];
double qrcOneHalf;
double qrcQuarterPiParts[3];

double qrcLog2eDown, qrcLog2eUp;
double qrcLn2HighDown, qrcLn2HighUp;
double qrcLn2LowDown, qrcLn2LowUp;
double qrcLn2Down, qrcLn2Up;
double qrcLn10Down, qrcLn10Up;
double qrcEDown, qrcEUp;
double qrcInvLn2Down, qrcInvLn2Up;
double qrcInvLn10Down, qrcInvLn10Up;
double qrcExpMaxArgument;
double qrcHalfLn2Up;
double qrcMinusHalfLn2Up;
double qrcExpTinyUpper;
double qrcExpHugeLower;

double qrcLogP[7];
double qrcLogQ[6];
double qrcLogR[3];
double qrcLogS[3];

namespace {

// The bit images below are those of IEEE doubles in the host's byte order.
static_assert(sizeof(double) == sizeof(uint64_t), "64-bit doubles expected");

double fromBits(uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

void fill(double* out, const uint64_t* bits, int n) {
  for (int i = 0; i < n; ++i) out[i] = fromBits(bits[i]);
}

void initOneBounds() {
  qrcOneDown = fromBits(0x3FEFFFFFFFFFFFFEull);
  qrcOneUp = fromBits(0x3FF0000000000001ull);
}

}  // namespace

void initFloatConstantBounds() {
  initOneBounds();
  qrcPiDown = fromBits(0x400921FB54442D17ull);
  qrcPiUp = fromBits(0x400921FB54442D19ull);
  qrcHalfPiDown = fromBits(0x3FF921FB54442D17ull);
  qrcHalfPiUp = fromBits(0x3FF921FB54442D19ull);
  qrcQuarterPiDown = fromBits(0x3FE921FB54442D17ull);
  qrcQuarterPiUp = fromBits(0x3FE921FB54442D19ull);

  qrcTwoPiDown = addDown(qrcPiDown, qrcPiDown);
  qrcThreeHalfPiDown = addDown(qrcHalfPiDown, qrcPiDown);
  qrcNineHalfPiDown = addDown(addDown(addDown(qrcTwoPiDown, qrcPiDown), qrcPiDown), qrcHalfPiDown);
  qrcFiveHalfPiDown = addDown(qrcTwoPiDown, qrcHalfPiDown);
  qrcSevenHalfPiDown = addDown(addDown(qrcTwoPiDown, qrcPiDown), qrcHalfPiDown);
  qrcTwoPiUp = addUp(qrcPiUp, qrcPiUp);
  qrcThreeHalfPiUp = addUp(qrcHalfPiUp, qrcPiUp);
  qrcNineHalfPiUp = addUp(addUp(addUp(qrcTwoPiUp, qrcPiUp), qrcPiUp), qrcHalfPiUp);
  qrcFiveHalfPiUp = addUp(qrcTwoPiUp, qrcHalfPiUp);
  qrcSevenHalfPiUp = addUp(addUp(qrcTwoPiUp, qrcPiUp), qrcHalfPiUp);
  qroplatform::setRounding(qroplatform::RoundNearest);
  qrcHalfPiCopyDown = qrcHalfPiDown;
  qrcHalfPiCopyUp = qrcHalfPiUp;

  static const uint64_t kSine[6] = {0x3DE5D8FD1FD19CCDull, 0xBE5AE5E5A9291F5Dull,
                                    0x3EC71DE3567D48A1ull, 0xBF2A01A019BFDF03ull,
                                    0x3F8111111110F7D0ull, 0xBFC5555555555548ull};
  static const uint64_t kCosine[6] = {0x3DA8FF831AD7C64Cull, 0xBE21EEA7C1E51159ull,
                                      0x3E927E4F8E06D9A0ull, 0xBEFA01A019DDBCD9ull,
                                      0x3F56C16C16C15D47ull, 0xBFA5555555555551ull};
  static const uint64_t kQuarterPi[3] = {0x3FE921FB40000000ull, 0x3E64442D00000000ull,
                                         0x3CE8469898CC5170ull};
  fill(qrcSineCoefficients, kSine, 6);
  fill(qrcCosineCoefficients, kCosine, 6);
  qrcOneHalf = fromBits(0x3FE0000000000000ull);
  fill(qrcQuarterPiParts, kQuarterPi, 3);
}

void initExpLogConstantBounds() {
  initOneBounds();
  qrcLog2eDown = fromBits(0x3FF71547652B82FDull);
  qrcLog2eUp = fromBits(0x3FF71547652B82FFull);
  qrcLn2HighDown = fromBits(0x3FE62FFFFFFFFFFFull);
  qrcLn2HighUp = fromBits(0x3FE6300000000001ull);
  qrcLn2LowDown = fromBits(0x3F2BD0105C60FE3Eull);
  qrcLn2LowUp = fromBits(0x3F2BD0105C611B12ull);
  qrcLn2Down = fromBits(0x3FE62E42FEFA39EEull);
  qrcLn2Up = fromBits(0x3FE62E42FEFA39F0ull);
  qrcLn10Down = fromBits(0x40026BB1BBB55515ull);
  qrcLn10Up = fromBits(0x40026BB1BBB55517ull);
  qrcEDown = fromBits(0x4005BF0A8B145768ull);
  qrcEUp = fromBits(0x4005BF0A8B14576Aull);
  qrcInvLn2Down = divDown(1.0, qrcLn2Up);
  qrcInvLn2Up = divUp(1.0, qrcLn2Down);
  qrcInvLn10Down = divDown(1.0, qrcLn10Up);
  qrcInvLn10Up = divUp(1.0, qrcLn10Down);
  qrcExpMaxArgument = fromBits(0x40862E42FEFA39EEull);
  qrcHalfLn2Up = fromBits(0x3FD62E42FEFA39F0ull);
  qrcMinusHalfLn2Up = fromBits(0x3FD62E42FEFA39F0ull | 0x8000000000000000ull);
  qrcExpTinyUpper = fromBits(0x0003FFFFFFFFFFA8ull);
  qrcExpHugeLower = fromBits(0x7FEFFFFFFFFFF38Eull);
}

void initApproxCoefficientBounds() {
  initOneBounds();
  qroplatform::setRounding(qroplatform::RoundNearest);
  static const uint64_t kP[7] = {
      0x3F0809A76A5F974Full, 0x3FDFE7EED9795A1Aull, 0x401A40A2C66C74C9ull, 0x403DC9A97E3D411Dull,
      0x404E4E6D64EBDCDCull, 0x404C5E122519D312ull, 0x4033E3A589B13130ull};
  static const uint64_t kQ[6] = {0x402E10160DFBD0A2ull, 0x4054AF6D47AE79C7ull,
                                 0x406B9542A44B455Aull, 0x40733411298310D7ull,
                                 0x406ADE942A8D3423ull, 0x404DD5784E89C9C8ull};
  static const uint64_t kR[3] = {0xBFE9443DDC6C0E84ull, 0x403062FC73027B6Bull,
                                 0xC050090611222A20ull};
  static const uint64_t kS[3] = {0xC041D60D43EC6D0Aull, 0x40738180112AE40Eull,
                                 0xC0880D8919B33F3Bull};
  fill(qrcLogP, kP, 7);
  fill(qrcLogQ, kQ, 6);
  fill(qrcLogR, kR, 3);
  fill(qrcLogS, kS, 3);
}
