// Whole printed texts of the integer engine's objects: variables and their
// domains (a bound at 0, 0 alone, holes around 0), expressions, arrays and
// constraints.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcmanager.h"

namespace {

struct Case {
  const char* text;
  std::function<void(const QrcManager&, std::ostream&)> print;
};

void expectTexts(const std::vector<Case>& cases) {
  QrcManager mgr(QrcNoEdit);
  for (const Case& c : cases) {
    std::ostringstream os;
    c.print(mgr, os);
    EXPECT_EQ(os.str(), c.text);
  }
  mgr.end();
}

QrcIntVar values(const QrcManager& m, std::vector<QrcInt> v, const char* name = nullptr) {
  return QrcIntVar(m, QrcIntArray(m, static_cast<QrcInt>(v.size()), v.data()), name);
}

TEST(IntPrintForms, Domains) {
  expectTexts({
      {"[0..3]", [](auto& m, auto& os) { os << QrcIntVar(m, 0, 3); }},
      {"[-2..0]", [](auto& m, auto& os) { os << QrcIntVar(m, -2, 0); }},
      {"[0]", [](auto& m, auto& os) { os << QrcIntVar(m, 0, 0); }},
      {"[-3..-1]", [](auto& m, auto& os) { os << QrcIntVar(m, -3, -1); }},
      {"x[0..3]", [](auto& m, auto& os) { os << QrcIntVar(m, 0, 3, "x"); }},
      {"z[0]", [](auto& m, auto& os) { os << QrcIntVar(m, 0, 0, "z"); }},
      {"[-1..0 2..3]",
       [](auto& m, auto& os) {
         os << values(m, {3, -1, 2, 0});
       }},
      {"[0 2]",
       [](auto& m, auto& os) {
         os << values(m, {2, 0});
       }},
      {"[-2 0]",
       [](auto& m, auto& os) {
         os << values(m, {-2, 0});
       }},
      {"[-1 1]",
       [](auto& m, auto& os) {
         QrcIntVar x(m, -1, 1);
         x.removeValue(0);
         os << x;
       }},
      {"[0]",
       [](auto& m, auto& os) {
         QrcIntVar x(m, -4, 4);
         x.setRange(0, 0);
         os << x;
       }},
      {"[-4..-2 0]",
       [](auto& m, auto& os) {
         QrcIntVar x(m, -4, 3);
         x.removeValue(-1);
         x.setMax(0);
         os << x;
       }},
  });
}

TEST(IntPrintForms, ExpressionsAndArrays) {
  expectTexts({
      {"(x[0..3] + y[-2..0])",
       [](auto& m, auto& os) { os << QrcIntVar(m, 0, 3, "x") + QrcIntVar(m, -2, 0, "y"); }},
      {"(x[0..3] - y[-2..0])",
       [](auto& m, auto& os) { os << QrcIntVar(m, 0, 3, "x") - QrcIntVar(m, -2, 0, "y"); }},
      {"(-3 * [0..3])", [](auto& m, auto& os) { os << -3 * QrcIntVar(m, 0, 3); }},
      {"[1 2 0 -4]",
       [](auto& m, auto& os) {
         QrcInt v[] = {1, 2, 0, -4};
         os << QrcIntArray(m, 4, v);
       }},
      {"QrcIntVarArrayI[[0..5] [0] [-2..0]]",
       [](auto& m, auto& os) {
         QrcIntVarArray a(m, 3);
         a.set(0, QrcIntVar(m, 0, 5));
         a.set(1, QrcIntVar(m, 0, 0));
         a.set(2, QrcIntVar(m, -2, 0));
         os << a;
       }},
  });
}

TEST(IntPrintForms, Constraints) {
  expectTexts({
      {"(x[-2..3] <= 0)", [](auto& m, auto& os) { os << (QrcIntVar(m, -2, 3, "x") <= 0); }},
      {"(0 <= x[-2..3])", [](auto& m, auto& os) { os << (0 <= QrcIntVar(m, -2, 3, "x")); }},
      {"(x[-2..3] == 0)", [](auto& m, auto& os) { os << (QrcIntVar(m, -2, 3, "x") == 0); }},
      {"(x[-2..3] != 0)", [](auto& m, auto& os) { os << (QrcIntVar(m, -2, 3, "x") != 0); }},
      {"(x[0..3] <= y[-2..0])",
       [](auto& m, auto& os) { os << (QrcIntVar(m, 0, 3, "x") <= QrcIntVar(m, -2, 0, "y")); }},
  });
}

}  // namespace
