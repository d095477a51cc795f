// Whole printed texts of the modelling layer's objects: variables with a
// bound at 0 or 0 alone, expressions, ranges and equalities, data ranges,
// arrays and a model.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "qromodel.h"
#include "qrooperators.h"
#include "qrorange.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();

struct Case {
  std::string text;
  std::function<void(const QroEnv&, std::ostream&)> print;
};

void expectTexts(const std::vector<Case>& cases) {
  QroEnv env;
  for (const Case& c : cases) {
    std::ostringstream os;
    c.print(env, os);
    EXPECT_EQ(os.str(), c.text);
  }
  env.end();
}

QroNumVar intVar(const QroEnv& env, QroInt lo, QroInt hi, const char* name) {
  return QroNumVar(env, static_cast<QroNum>(lo), static_cast<QroNum>(hi), QroNumVar::Int, name);
}

TEST(ModellingPrintForms, Variables) {
  expectTexts({
      {"x[0..3] ", [](auto& env, auto& os) { os << intVar(env, 0, 3, "x"); }},
      {"x[-2..0] ", [](auto& env, auto& os) { os << intVar(env, -2, 0, "x"); }},
      {"x[0..0] ", [](auto& env, auto& os) { os << intVar(env, 0, 0, "x"); }},
      {"f[-0.5..0] ",
       [](auto& env, auto& os) { os << QroNumVar(env, -0.5, 0, QroNumVar::Float, "f"); }},
      {"f[0 .. inf] ",  // no domain object
       [](auto& env, auto& os) { os << QroNumVar(env, 0, kInf, QroNumVar::Float, "f"); }},
      {"b[0..1] ", [](auto& env, auto& os) { os << QroNumVar(env, 0, 1, QroNumVar::Bool, "b"); }},
  });
}

TEST(ModellingPrintForms, RangesAndEqualities) {
  expectTexts({
      {"0 <= x  <= 3 ",
       [](auto& env, auto& os) { os << QroRange(env, 0, intVar(env, 0, 9, "x"), 3); }},
      {"-2 <= x  <= 0 ",
       [](auto& env, auto& os) { os << QroRange(env, -2, intVar(env, -5, 5, "x"), 0); }},
      {"x  <= 0 ",
       [](auto& env, auto& os) { os << (QroNumExprArg(intVar(env, -5, 5, "x")) <= 0.0); }},
      {"0 <= x  ",
       [](auto& env, auto& os) { os << QroRange(env, 0, intVar(env, -5, 5, "x"), kInf); }},
      {"x  == 0 ", [](auto& env, auto& os) { os << QroRange(env, 0, intVar(env, -5, 5, "x"), 0); }},
      // The constant moves into the bounds: x + 3 <= 3 is x <= 0.
      {"x  <= 0 ",
       [](auto& env, auto& os) { os << (QroNumExprArg(intVar(env, -5, 5, "x")) + 3.0 <= 3.0); }},
      {"r: x  + y  == 0 ",
       [](auto& env, auto& os) {
         os << QroRange(env, 0, QroNumExprArg(intVar(env, -5, 5, "x")) + intVar(env, 0, 0, "y"), 0,
                        "r");
       }},
      {"x[-2..0]  == y[0..0] ",
       [](auto& env, auto& os) { os << (intVar(env, -2, 0, "x") == intVar(env, 0, 0, "y")); }},
  });
}

TEST(ModellingPrintForms, CollectionsArraysAndModels) {
  expectTexts({
      {"[0 ,3]", [](auto& env, auto& os) { os << *QroIntRange(env, 0, 3).getImpl(); }},
      {"[-2 ,0]", [](auto& env, auto& os) { os << *QroNumRange(env, -2, 0).getImpl(); }},
      {"[0, -2, 0]",
       [](auto& env, auto& os) {
         QroIntArray a(env, 3);
         a[0] = 0;
         a[1] = -2;
         a[2] = 0;
         os << a;
       }},
      {"[0.5, 0, -1]",
       [](auto& env, auto& os) {
         QroNumArray a(env, 3);
         a[0] = 0.5;
         a[1] = 0.0;
         a[2] = -1.0;
         os << a;
       }},
      {"QroModel m = {\n0 <= x  <= 3 \nx[0..3]  == y[-2..0] \n}\n",
       [](auto& env, auto& os) {
         QroModel model(env, "m");
         QroNumVar x = intVar(env, 0, 3, "x"), y = intVar(env, -2, 0, "y");
         model.add(QroRange(env, 0, x, 3));
         model.add(x == y);
         os << model;
       }},
  });
}

}  // namespace
