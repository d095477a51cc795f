// Models over elements whose index may leave their arrays, solved through
// the solver: a comparison over a side without a value is false, in a range,
// an equality and as a truth value, whichever node loses its value first.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolver.h"
#include "qrosolverglobal.h"
#include "row_support.h"
#include "support/model_search.h"

namespace {

using solvertest::Fields;
using solvertest::RowNode;
typedef std::vector<QroNumVar> Vars;
typedef std::vector<int64_t> Values;

const QroNum Inf = QroNumVar::Infinity();

// entries[index] as a model expression, extracted as an element expression.
QroNumExprArg element(QroEnv& env, const std::vector<QroNumExprI*>& entries,
                      QroExtractableI* index) {
  Fields f;
  f.a[0] = QroExtractableArray(env, 0);
  for (QroNumExprI* e : entries) f.a[0].add(e);
  f.child[0] = index;
  return new (env.getImpl()) RowNode<7400, QroIntExprI>(
      env.getImpl(), f,
      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
        return extractElement(a, x, g.a[0], g.child[0]);
      },
      [](QroAlgorithmI* a, const Fields& g) { removeElementsAndIndex(a, g.a[0], g.child[0]); });
}

// The constant array of the values, indexed.
QroNumExprArg constants(QroEnv& env, const Values& values, QroNumExprArg index) {
  std::vector<QroNumExprI*> entries;
  for (int64_t v : values)
    entries.push_back(
        QroNumVar(env, static_cast<QroNum>(v), static_cast<QroNum>(v), QroNumVar::Int).getImpl());
  return element(env, entries, index.getImpl());
}

// [3][[0, 1][u]]: 3 at u = 0, no value at u = 1 and u = 2.
QroNumExprArg nested(QroEnv& env, const QroNumVar& u) {
  return constants(env, {3}, constants(env, {0, 1}, u.getImpl()));
}

// The truth of lo <= e <= hi, as a 0-1 expression.
QroNumExprArg truth(QroEnv& env, QroNum lo, QroNumExprArg e, QroNum hi) {
  return QroNumExprArg(QroRange(env, lo, e, hi).getImpl());
}

// x != y as the truth of x - y >= 1 plus that of x - y <= -1 (0 when a side
// has no value).
QroNumExprArg differs(QroEnv& env, QroNumExprArg x, QroNumExprArg y) {
  return truth(env, 1, x - y, Inf) + truth(env, -Inf, x - y, -1);
}

struct Row {
  const char* name;
  std::vector<Values> values;
  std::function<QroConstraint(QroEnv&, const Vars&)> build;
  std::function<bool(const Values&)> check;
};

const std::vector<Row>& rows() {
  static const std::vector<Row> all = {
      {"(T != T) || (T >= 1) as truth values, T built three times",
       {{0, 1, 2}},
       [](QroEnv& env, const Vars& v) {
         QroNumExprArg any = differs(env, nested(env, v[0]), nested(env, v[0])) +
                             truth(env, 1, nested(env, v[0]), Inf);
         return QroRange(env, 1, any, Inf);
       },
       [](const Values& a) { return a[0] == 0; }},
      {"T == T, built twice",
       {{0, 1, 2}},
       [](QroEnv& env, const Vars& v) { return nested(env, v[0]) == nested(env, v[0]); },
       [](const Values& a) { return a[0] == 0; }},
      {"truth(T == T) == 0, built twice",
       {{0, 1, 2}},
       [](QroEnv& env, const Vars& v) {
         QroNumExprArg same((nested(env, v[0]) == nested(env, v[0])).getImpl());
         return QroRange(env, 0, same, 0);
       },
       [](const Values& a) { return a[0] != 0; }},
      {"(u == 2) && ([4, 5][u] != [6, 7][u]) as truth values",
       {{0, 1, 2, 3}},
       [](QroEnv& env, const Vars& v) {
         QroNumExprArg both =
             truth(env, 2, QroNumExprArg(v[0]), 2) +
             differs(env, constants(env, {4, 5}, v[0]), constants(env, {6, 7}, v[0]));
         return QroRange(env, 2, both, Inf);
       },
       [](const Values&) { return false; }},
      {"(W >= 0) || (W <= 0) as truth values, W = [-3,-2,-3,3][u1 / den], den never a value",
       {{-2, -1, 0}, {-1, 0}},
       [](QroEnv& env, const Vars& v) {
         // den = {u0, u0}[[2][u1 + 1]]: 2 lies outside {u0, u0}.
         QroNumExprArg den = element(env, {v[0].getImpl(), v[0].getImpl()},
                                     constants(env, {2}, QroNumExprArg(v[1]) + 1).getImpl());
         QroNumExprArg w = constants(env, {-3, -2, -3, 3}, QroNumExprArg(v[1]) / den);
         return QroRange(env, 1, truth(env, 0, w, Inf) + truth(env, -Inf, w, 0), Inf);
       },
       [](const Values&) { return false; }},
      {"[5, 5, 5][x] >= 5",
       {{-1, 0, 1, 2}},
       [](QroEnv& env, const Vars& v) {
         return QroRange(env, 5, constants(env, {5, 5, 5}, v[0]), Inf);
       },
       [](const Values& a) { return a[0] >= 0; }},
      {"b == truth([5, 5, 5][x] >= 5)",
       {{-1, 0, 1, 2}, {0, 1}},
       [](QroEnv& env, const Vars& v) {
         return QroNumExprArg(v[1]) == truth(env, 5, constants(env, {5, 5, 5}, v[0]), Inf);
       },
       [](const Values& a) { return a[1] == (a[0] >= 0 ? 1 : 0); }},
  };
  return all;
}

TEST(NoValueModels, ComparisonsOverElementsThatMayLackAValue) {
  for (const Row& r : rows()) {
    qrotest::ModelCase m;
    m.name = r.name;
    m.values = r.values;
    auto build = r.build;
    m.build = [build](QroEnv& env, QroModel& model, const Vars& v) { model.add(build(env, v)); };
    m.check = r.check;
    EXPECT_EQ(qrotest::checkModelCase(m), 0) << r.name;
  }
}

// y == [4, 7, 1][x] with x in -1..2: y has a value only where x lies inside
// the array, so propagation brings x inside and leaves y the entries' range.
TEST(NoValueModels, EqualityTakesTheRangeOfTheValuesItHas) {
  struct Case {
    Values entries;
    int64_t min, max;
  };
  for (const Case& c : {Case{{4, 7, 1}, 1, 7}, Case{{5, 5, 5}, 5, 5}}) {
    QroEnv env;
    QroModel model(env);
    QroNumVar x(env, -1, 2, QroNumVar::Int, "x");
    QroNumVar y(env, -10, 10, QroNumVar::Int, "y");
    model.add(QroNumExprArg(y) == constants(env, c.entries, x));
    QroSolver solver(model);
    ASSERT_EQ(solver.solve(QroGoal()), 1);
    EXPECT_EQ(solver.getIntVar(y).getMin(), c.min);
    EXPECT_EQ(solver.getIntVar(y).getMax(), c.max);
    EXPECT_EQ(solver.getIntVar(x).getMin(), 0);
    EXPECT_EQ(solver.getIntVar(x).getMax(), 2);
    solver.end();
    env.end();
  }
}

}  // namespace
