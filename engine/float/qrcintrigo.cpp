// Interval sine, cosine and tangent. A point's sine comes from a series on
// octants of the reduced argument, widened outward; an interval is reduced by
// a multiple of 2 pi and its ends placed in the regions between the peaks,
// where the sine is monotonic, to tell which extremes it reaches.
#include "qrcintrigo.h"

#include <cmath>

#include "qrcfloatconstants.h"
#include "qrcoutward.h"
#include "qroplatform.h"

namespace {

const double kWhole = HUGE_VAL;
// Up to this magnitude (20 octants) the three-part pi/4 and the rounding of
// its products reduce a point to within 2^-96.
const double kPointLimit = 16.0;
const double kReductionError = 0x1p-96;

// Six coefficients, highest degree first, in the current rounding.
double polynomial(const double* c, double z) {
  return ((((c[0] * z + c[1]) * z + c[2]) * z + c[3]) * z + c[4]) * z + c[5];
}

// sin s for s >= 0 near octant k, in nearest rounding.
double sineSeries(double s, double k) {
  qroplatform::setRounding(qroplatform::RoundNearest);
  QRO_FP_BARRIER(s);
  QRO_FP_BARRIER(k);
  int j = static_cast<int>(k - 16 * std::floor(k / 16));
  if (j & 1) {
    j += 1;
    k += 1;
  }
  int m = j % 8;
  bool negative = m >= 4;
  if (negative) m -= 4;
  const double* c = qrcQuarterPiParts;
  double r = ((s - k * c[0]) - k * c[1]) - k * c[2];
  double z = r * r;
  double y = m == 0 ? r + r * z * polynomial(qrcSineCoefficients, z)
                    : 1.0 - z * (qrcOneHalf + z * polynomial(qrcCosineCoefficients, z));
  if (negative) y = -y;
  QRO_FP_BARRIER(y);
  return y;
}

// Point bounds in a region, with the peaks' exact extremes.
QrcFloatInterval regionBounds(double x, int region, bool upper) {
  QrcFloatInterval b = pointSineBounds(x, upper);
  if (region == 1 || region == 5) b.hi = 1.0;
  if (region == 3 || region == 7) b.lo = -1.0;
  return b;
}

// Sine (or, shifted by pi/2, cosine) of a reduced interval.
QrcFloatInterval sineOfReduced(const QrcFloatInterval& x, bool cosine) {
  int r1 = sineRegion(x.lo), r2 = sineRegion(x.hi);
  QrcFloatInterval atLow{-1.0, 1.0}, atHigh{-1.0, 1.0};
  if (r1 >= 0 && r2 <= 8) {
    atLow = regionBounds(x.lo, r1, false);
    atHigh = regionBounds(x.hi, r2, true);
  }
  return sineOverRegions(r1, atLow, r2, atHigh, cosine);
}

// Reduced by the period; false when it spans a whole period.
bool reduceForSine(QrcFloatInterval& x) {
  if (!(subUp(x.hi, x.lo) <= qrcTwoPiUp)) return false;
  if (!reduceByPeriod(x)) return false;
  return subUp(x.hi, x.lo) <= qrcTwoPiUp;
}

}  // namespace

QrcFloatInterval pointSineBounds(double x, bool upper) {
  if (x == 0) return QrcFloatInterval{0.0, 0.0};
  const double start = std::fabs(x);
  if (!(start <= kPointLimit)) return QrcFloatInterval{-1.0, 1.0};
  double s = start, k;
  // Near a multiple of pi/4 the octant is uncertain: move one way until both
  // bounds of pi/4 agree on it.
  for (;;) {
    k = std::floor(divDown(s, qrcQuarterPiUp));
    if (k == std::floor(divUp(s, qrcQuarterPiDown))) break;
    s = upper ? addUp(s, 1e-16) : subDown(s, 1e-16);
  }
  double y = sineSeries(s, k);
  if (x < 0) y = -y;
  // The move changes sin by at most its length.
  double margin = addUp(s > start ? subUp(s, start) : subUp(start, s), kReductionError);
  return QrcFloatInterval{subDown(nudgeDown(y), margin), addUp(nudgeUp(y), margin)};
}

int sineRegion(double x) {
  if (x >= -qrcHalfPiDown && x < qrcHalfPiDown) return 0;
  if (x >= qrcHalfPiDown && x <= qrcHalfPiUp) return 1;
  if (x > qrcHalfPiUp && x < qrcThreeHalfPiDown) return 2;
  if (x >= qrcThreeHalfPiDown && x <= qrcThreeHalfPiUp) return 3;
  if (x > qrcThreeHalfPiUp && x < qrcFiveHalfPiDown) return 4;
  if (x >= qrcFiveHalfPiDown && x <= qrcFiveHalfPiUp) return 5;
  if (x > qrcFiveHalfPiUp && x < qrcSevenHalfPiDown) return 6;
  if (x >= qrcSevenHalfPiDown && x <= qrcSevenHalfPiUp) return 7;
  if (x > qrcSevenHalfPiUp && x < qrcNineHalfPiDown) return 8;
  if (x >= qrcNineHalfPiDown) return 9;
  if (x < -qrcHalfPiDown) return -1;
  intervalFailure("Internal Error: INtrigo (15)");
}

QrcFloatInterval sineOverRegions(int r1, QrcFloatInterval atLow, int r2, QrcFloatInterval atHigh,
                                 bool cosine) {
  const QrcFloatInterval whole{-1.0, 1.0};
  // Reduction errors of huge arguments can leave an end past the table; the
  // interval then spans nearly a period.
  if (r1 < 0 || r2 > 8) return whole;
  if (cosine && r1 > r2) intervalFailure("Internal Error: Cosine Implementation");
  double low = std::fmax(std::fmin(atLow.lo, atHigh.lo), -1.0);
  double high = std::fmin(std::fmax(atLow.hi, atHigh.hi), 1.0);
  if (r2 == r1 || r2 == r1 + 1) {
    if (cosine && low > high) intervalFailure("Internal Error: Cosine Implementation (2)");
    return QrcFloatInterval{low, high};
  }
  if (r1 & 1) return whole;
  switch (r1) {
    case 0:
      if (r2 == 2 || r2 == 3) return QrcFloatInterval{low, 1.0};
      if (r2 >= 4) return whole;
      intervalFailure(cosine ? "Internal Error: INtrigo (8)" : "Internal Error: INtrigo (1)");
    case 2:
      if (r2 == 4 || r2 == 5) return QrcFloatInterval{-1.0, high};
      if (r2 >= 6) return whole;
      intervalFailure(cosine ? "Internal Error: INtrigo (11)" : "Internal Error: INtrigo (4)");
    case 4:
      if (r2 == 2 || r2 == 3)
        intervalFailure(cosine ? "Internal Error: INtrigo (9)" : "Internal Error: INtrigo (2)");
      if (r2 == 6 || r2 == 7) return QrcFloatInterval{low, 1.0};
      if (r2 == 8) return whole;
      intervalFailure(cosine ? "Internal Error: INtrigo (10)" : "Internal Error: INtrigo (3)");
    case 6:
      if (r2 == 8) return QrcFloatInterval{-1.0, high};
      if (r2 == 4 || r2 == 5)
        intervalFailure(cosine ? "Internal Error: INtrigo (12)" : "Internal Error: INtrigo (5)");
      intervalFailure(cosine ? "Internal Error: INtrigo (13)" : "Internal Error: INtrigo (6)");
    default:
      intervalFailure(cosine ? "Internal Error: INtrigo (14)" : "Internal Error: INtrigo (7)");
  }
}

bool reduceByPeriod(QrcFloatInterval& x) {
  QrcFloatInterval q = intervalQuotient(x, QrcFloatInterval{qrcTwoPiDown, qrcTwoPiUp});
  if (!(subUp(q.hi, q.lo) < 1)) return false;
  double k = std::floor(q.lo);
  QrcFloatInterval p = intervalProduct(QrcFloatInterval{k, k}, {qrcTwoPiDown, qrcTwoPiUp});
  intervalSubtractInPlace(x, p.lo, p.hi);
  return true;
}

QrcFloatInterval intervalSine(QrcFloatInterval x) {
  if (!reduceForSine(x)) return QrcFloatInterval{-1.0, 1.0};
  return sineOfReduced(x, false);
}

QrcFloatInterval intervalCosine(QrcFloatInterval x) {
  if (!reduceForSine(x)) return QrcFloatInterval{-1.0, 1.0};
  intervalShift(x, qrcHalfPiDown, qrcHalfPiUp);
  return sineOfReduced(x, true);
}

QrcFloatInterval intervalTangent(QrcFloatInterval x) {
  const QrcFloatInterval line{-kWhole, kWhole};
  if (!(subDown(x.hi, x.lo) <= qrcPiUp)) return line;
  reduceByPeriod(x);
  QrcFloatInterval c = intervalCosine(x);
  if (c.lo <= 0 && 0 <= c.hi) return line;
  QrcFloatInterval s = intervalSine(x);
  bool positive = c.lo > 0;
  if (s.lo >= 0) {
    if (positive) return QrcFloatInterval{divDown(s.lo, c.hi), divUp(s.hi, c.lo)};
    return QrcFloatInterval{divDown(s.hi, c.hi), divUp(s.lo, c.lo)};
  }
  if (s.hi <= 0) {
    if (positive) return QrcFloatInterval{divDown(s.lo, c.lo), divUp(s.hi, c.hi)};
    return QrcFloatInterval{divDown(s.hi, c.lo), divUp(s.lo, c.hi)};
  }
  // The tangent crosses 0 and rises over x: its extremes are at the ends,
  // bounded with the cosine at each end, taken by its bound nearest 0.
  QrcFloatInterval ch = pointSineBounds(addUp(x.hi, qrcHalfPiUp), true);
  QrcFloatInterval cl = pointSineBounds(addDown(x.lo, qrcHalfPiDown), false);
  double ph = positive ? ch.lo : ch.hi, pl = positive ? cl.lo : cl.hi;
  bool hiOk = positive ? ph > 0 : ph < 0, loOk = positive ? pl > 0 : pl < 0;
  double hi = hiOk ? divUp(positive ? s.hi : s.lo, ph) : kWhole;
  double lo = loOk ? divDown(positive ? s.lo : s.hi, pl) : -kWhole;
  return QrcFloatInterval{lo, hi};
}
