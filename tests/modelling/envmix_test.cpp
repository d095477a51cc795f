// Objects of two environments never meet: every place where an object of one
// would come to hold an object of the other refuses it with QroWrongUsage, and
// both environments then end cleanly in either order.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "qromodel.h"
#include "qrosolution.h"

namespace {

struct Envs {
  QroEnv a, b;
  QroNumVar x{a, 0, 10, QroNumVar::Int, "x"};    // in a
  QroNumVar y{b, 0, 10, QroNumVar::Int, "y"};    // in b
  QroNumVar z{a, 0, 10, QroNumVar::Float, "z"};  // in a
  QroModel model{a};
};

struct Case {
  const char* name;
  std::function<void(Envs&)> mix;
};

const Case kCases[] = {
    {"sum", [](Envs& e) { [[maybe_unused]] QroNumExprArg s = e.x + e.y; }},
    {"difference", [](Envs& e) { [[maybe_unused]] QroNumExprArg s = e.x - e.y; }},
    {"scaled sum", [](Envs& e) { [[maybe_unused]] QroNumExprArg s = 2.0 * e.x + 3.0 * e.y; }},
    {"sum of terms", [](Envs& e) { [[maybe_unused]] QroNumExprArg s = (e.x + e.z) + (e.y + 1.0); }},
    {"product of variables", [](Envs& e) { [[maybe_unused]] QroNumExprArg p = e.x * e.y; }},
    {"product", [](Envs& e) { [[maybe_unused]] QroNumExprArg p = (e.x + 1.0) * (e.y + 1.0); }},
    {"quotient", [](Envs& e) { [[maybe_unused]] QroNumExprArg q = e.z / e.y; }},
    {"minus a product",
     [](Envs& e) { [[maybe_unused]] QroNumExprArg d = (e.x + 1.0) - e.y * e.y; }},
    {"equality", [](Envs& e) { [[maybe_unused]] QroConstraint c = (e.x + e.z == e.y + 0.0); }},
    {"range", [](Envs& e) { QroRange r(e.a, 0, e.y, 1); }},
    {"objective", [](Envs& e) { QroObjective o(e.a, e.y + 0.0); }},
    {"model member", [](Envs& e) { e.model.add(e.y); }},
    {"model constraint", [](Envs& e) { e.model.add(e.y + 0.0 <= 3); }},
    {"solution",
     [](Envs& e) {
       QroSolution s(e.a);
       try {
         s.add(e.y);
       } catch (...) {
         s.end();
         throw;
       }
       s.end();
     }},
};

// Each case in both orders of ending, with and without the pools (without
// them, an object held across environments would be read after it is freed).
TEST(EnvironmentMixing, MeetingPointsRefuseObjectsOfAnotherEnvironment) {
  for (const Case& c : kCases)
    for (bool pooled : {true, false})
      for (bool aEndsFirst : {true, false}) {
        SCOPED_TRACE(c.name);
        SCOPED_TRACE(pooled ? "pooled" : "unpooled");
        if (!pooled) setenv("QRO_NO_MEMORY_MANAGER", "1", 1);
        Envs e;
        unsetenv("QRO_NO_MEMORY_MANAGER");
        try {
          c.mix(e);
          ADD_FAILURE() << "accepted";
        } catch (const QroWrongUsage& w) {
          EXPECT_NE(std::strstr(w.getMessage(), "mixing mismatch"), nullptr) << w.getMessage();
        }
        // Nothing was built: the model of a still lists its own members only.
        e.model.add(e.x + e.z <= 4);
        EXPECT_EQ(e.model.getImpl()->getSize(), 1);
        if (aEndsFirst) {
          e.a.end();
          e.b.end();
        } else {
          e.b.end();
          e.a.end();
        }
      }
}

}  // namespace
