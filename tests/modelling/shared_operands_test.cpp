// Operators given an operand that another expression also uses leave that
// operand as it was and keep the normal form of their result.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "qrooperators.h"

namespace {

std::string shown(const QroNumExprArg& e) {
  std::ostringstream os;
  e.getImpl()->display(os);
  return os.str();
}

TEST(SharedOperands, OperandsKeepTheirFormAndResultsTheirNormalForm) {
  QroEnv env;
  QroNumVar u(env, -2, 2, QroNumVar::Int, "u"), w(env, -2, 2, QroNumVar::Int, "w");
  QroNumExprArg U(u), W(w);
  struct Case {
    const char* name;
    // Makes the operand, then the result from it.
    std::function<QroNumExprArg()> operand;
    std::function<QroNumExprArg(QroNumExprArg)> result;
    const char* shownResult;
    // The operand, given after an operator's result, is extended in place.
    bool extended = false;
  };
  const std::vector<Case> cases = {
      {"s + (s + w)", [&] { return u * u; }, [&](QroNumExprArg s) { return s + (s + W); },
       "w  + (2 * u * u)"},
      {"s + (s + w) * 2", [&] { return u * u; }, [&](QroNumExprArg s) { return s + (s + W) * 2.0; },
       "2 * w  + (3 * u * u)"},
      {"s + ((s + w) + w * u)", [&] { return u * u; },
       [&](QroNumExprArg s) { return s + ((s + W) + w * u); }, "w  + (2 * u * u + 1 * w * u)"},
      {"s + (5 - s)", [&] { return u * u; }, [&](QroNumExprArg s) { return s + (5.0 - s); },
       "0*0 + 5 "},
      {"(w - t) + t", [&] { return U + 1.0; }, [&](QroNumExprArg t) { return (W - t) + t; }, "w ",
       true},
      {"w - t", [&] { return U + 1.0; }, [&](QroNumExprArg t) { return W - t; },
       "w  + -1 * u  + -1 "},
      {"(2w) + t", [&] { return U + 1.0; }, [&](QroNumExprArg t) { return 2.0 * w + t; },
       "2 * w  + u  + 1 ", true},
      {"(2w) - t", [&] { return U + 1.0; }, [&](QroNumExprArg t) { return 2.0 * w - t; },
       "2 * w  + -1 * u  + -1 "},
      {"(w + 1) + t", [&] { return U + 1.0; }, [&](QroNumExprArg t) { return (W + 1.0) + t; },
       "w  + u  + 2 ", true},
      {"g + (g + w) * 0", [&] { return (U + 1.0) * (W + 2.0); },
       [&](QroNumExprArg g) { return g + (g + W) * 0.0; }, "u  + 1  * w  + 2 "},
      {"k + (k + 1)", [&] { return U * QroInt(3); }, [&](QroNumExprArg k) { return k + (k + 1.0); },
       "6 * u  + 1 "},
  };
  for (const Case& c : cases) {
    QroNumExprArg operand = c.operand();
    std::string before = shown(operand);
    QroNumExprArg result = c.result(operand);
    EXPECT_EQ(shown(result), c.shownResult) << c.name;
    EXPECT_EQ(env.getImpl()->getLiveSlot(operand.getImpl()->getId()), operand.getImpl()) << c.name;
    EXPECT_EQ(result.getImpl() == operand.getImpl(), c.extended) << c.name;
    EXPECT_EQ(shown(operand), c.extended ? shown(result) : before) << c.name;
  }
  env.end();
}

// A quadratic expression appended to itself holds its nodes twice.
TEST(SharedOperands, AQuadraticExpressionAppendedToItselfDoubles) {
  QroEnv env;
  QroNumVar u(env, 0, 1, QroNumVar::Float, "u"), w(env, 0, 1, QroNumVar::Float, "w");
  QroEnvI* e = env.getImpl();
  QroNumQuadExprI* quad =
      new (e) QroNumQuadExprI(e, e->allocPairTerm(u.getImpl(), w.getImpl(), 1.0));
  quad->append(e->allocPairTerm(u.getImpl(), u.getImpl(), -1.0));
  quad->appendCopies(quad);
  EXPECT_EQ(shown(quad), "(2 * w * u + -2 * u * u)");
  env.end();
}

}  // namespace
