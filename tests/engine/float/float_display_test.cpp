// Whole printed texts of float variables in every display mode, with bounds
// at 0, 0 alone, a zero reached by negation and infinite bounds.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "qrcfloatarith.h"
#include "qrcfloatexp.h"
#include "qrcmanager.h"

namespace {

const double Inf = HUGE_VAL;

struct Case {
  std::function<QrcFloatVar(const QrcManager&)> make;
  const char* plain;       // QrcPlainDisplay
  const char* interval;    // QrcIntervalDisplay
  const char* positional;  // QrcPositionalIntervalDisplay
  std::string range;       // QrcRangeDisplay
  std::string positionalRange;
};

// The prefix of a range text: the prefix padded to 18 characters.
std::string pad(const std::string& prefix) {
  return prefix + std::string(18 - prefix.size(), ' ');
}

const std::string zeros18(18, '0');

TEST(FloatDisplay, EveryModeWithBoundsAtZero) {
  const Case cases[] = {
      {[](auto& m) { return QrcFloatVar(m, 0, 3); }, "[0..3]", "[0.000000..3.000000]",
       "[0.00000..3.00000]", "[" + pad("0.0") + " + [0.0..3.0" + zeros18 + "]]",
       "[" + pad("0.0") + " + [0.0..3." + zeros18 + "]]"},
      {[](auto& m) { return QrcFloatVar(m, -2, 0); }, "[-2..0]", "[-2.000000..0.000000]",
       "[-2.00000..0.00000]", "[" + pad("0.0") + " + [-2.0" + zeros18 + "..0.0]]",
       "[" + pad("0.0") + " + [-2." + zeros18 + "..0.0]]"},
      {[](auto& m) { return QrcFloatVar(m, 0, 0); }, "[0]", "[0.000000..0.000000]",
       "[0.00000..0.00000]", "[0.0" + zeros18 + "]", "[0]"},
      // The plain form writes doubles as the stream does; the printers drop the sign of 0.
      {[](auto& m) { return QrcFloatVar(m, -0.0, 0.0); }, "[-0]", "[0.000000..0.000000]",
       "[0.00000..0.00000]", "[0.0" + zeros18 + "]", "[0]"},
      // An expression shows its operands.
      {[](auto& m) { return QrcFloatVar(-QrcFloatExp(QrcFloatVar(m, 0, 3))); }, "( - [0..3])",
       "( - [0.000000..3.000000])", "( - [0.00000..3.00000])",
       "( - [" + pad("0.0") + " + [0.0..3.0" + zeros18 + "]])",
       "( - [" + pad("0.0") + " + [0.0..3." + zeros18 + "]])"},
      {[](auto& m) { return QrcFloatVar(m, -Inf, 0); }, "(-inf..0]", "(-Infinity..0.000000]",
       "(-Infinity..0.00000]", "(-Infinity..0.000000]", "(-Infinity..0.00000]"},
      {[](auto& m) { return QrcFloatVar(m, 0, Inf); }, "[0..inf)", "[0.000000..+Infinity)",
       "[0.00000..+Infinity)", "[0.000000..+Infinity)", "[0.00000..+Infinity)"},
      {[](auto& m) { return QrcFloatVar(m, -0.5, 0.25); }, "[-0.5..0.25]",
       "[-5.00000e-1..2.50000e-1]", "[-0.500000..0.250000]",
       "[" + pad("0.0") + " + [-5." + zeros18 + "e-1..2.5" + std::string(17, '0') + "e-1]]",
       "[" + pad("0.0") + " + [-0.5e-0..0.25e-0]]"},
      {[](auto& m) { return QrcFloatVar(m, 0.25, 0.25, "w"); }, "w[0.25]",
       "w[2.50000e-1..2.50000e-1]", "w[0.250000..0.250000]",
       "w[2.5" + std::string(17, '0') + "e-1]", "w[0.25]"},
  };
  const int modes[] = {QrcPlainDisplay, QrcIntervalDisplay, QrcPositionalIntervalDisplay,
                       QrcRangeDisplay, QrcPositionalRangeDisplay};
  QrcManager mgr(QrcNoEdit);
  for (const Case& c : cases) {
    QrcFloatVar x = c.make(mgr);
    const std::string expected[] = {c.plain, c.interval, c.positional, c.range, c.positionalRange};
    for (int k = 0; k < 5; ++k) {
      mgr.getImpl()->setDisplayMode(modes[k]);
      std::ostringstream os;
      os << x;
      EXPECT_EQ(os.str(), expected[k]) << "mode " << modes[k];
    }
  }
  mgr.end();
}

}  // namespace
