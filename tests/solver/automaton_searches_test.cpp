// Stretch and pattern constraints through the solver, whose later searches
// post their regular constraints again: repeated searches, constraints added
// between searches and objective solves must all agree with brute force.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "extra_support.h"
#include "row_support.h"
#include "qrooperators.h"
#include "qrosolver.h"
#include "qrosolveri.h"

using solvertest::Fields;
using solvertest::intsOf;
using solvertest::RowNode;
using solvertest::TestTupleSetI;
using solvertest::varArray;

namespace {

typedef std::vector<int64_t> Values;
typedef std::vector<std::pair<int64_t, int64_t>> Domains;

// Calls f on every assignment of the domains.
void forEachAssignment(const Domains& d, const std::function<void(const Values&)>& f) {
  Values a(d.size());
  std::function<void(size_t)> from = [&](size_t k) {
    if (k == a.size()) return f(a);
    for (a[k] = d[k].first; a[k] <= d[k].second; ++a[k]) from(k + 1);
  };
  from(0);
}

int bruteCount(const Domains& d, const std::function<bool(const Values&)>& check) {
  int n = 0;
  forEachAssignment(d, [&](const Values& a) { n += check(a); });
  return n;
}

std::vector<QroNumVar> intVars(QroEnv& env, const Domains& d) {
  std::vector<QroNumVar> x;
  for (const auto& r : d)
    x.push_back(QroNumVar(env, static_cast<double>(r.first), static_cast<double>(r.second),
                          QroNumVar::Int));
  return x;
}

// The solutions of a new search over the whole model, each checked.
int searchCount(QroSolver& s, const std::vector<QroNumVar>& x,
                const std::function<bool(const Values&)>& check) {
  s.startNewSearch();
  int n = 0;
  while (s.next()) {
    Values a;
    for (const QroNumVar& v : x) a.push_back(static_cast<int64_t>(s.getValue(v)));
    EXPECT_TRUE(check(a)) << "a non-solution";
    ++n;
  }
  s.endSearch();
  return n;
}

Values runValues(const Values& w) {
  Values r;
  for (int64_t v : w)
    if (r.empty() || r.back() != v) r.push_back(v);
  return r;
}

bool hasPattern(const Values& w, const std::vector<Values>& patterns) {
  Values r = runValues(w);
  for (const Values& p : patterns)
    if (std::search(r.begin(), r.end(), p.begin(), p.end()) != r.end()) return true;
  return false;
}

// Stretch lengths by value: shortest[j] and longest[j] of values[j].
struct Lengths {
  Values values, shortest, longest;
  bool accepts(const Values& w) const {
    for (size_t i = 0; i < w.size();) {
      size_t e = i;
      while (e < w.size() && w[e] == w[i]) ++e;
      auto it = std::find(values.begin(), values.end(), w[i]);
      if (it == values.end()) return false;
      size_t j = static_cast<size_t>(it - values.begin());
      int64_t length = static_cast<int64_t>(e - i);
      if (length < shortest[j] || length > longest[j]) return false;
      i = e;
    }
    return true;
  }
};

// A stretch over the variables in the order given; values omitted when asked.
QroStretchI* stretch(QroEnv& env, const std::vector<QroNumVar>& vars, const Lengths& l,
                     bool withValues) {
  return new (env.getImpl())
      QroStretchI(env.getImpl(), varArray(env, vars, 0, vars.size()), intsOf(env, l.shortest),
                  intsOf(env, l.longest), withValues ? intsOf(env, l.values) : QroIntArray());
}

TEST(AutomatonSearches, PatternIsTheSameInEverySearch) {
  const std::vector<Values> sets[] = {{{1, 3}}, {{-1, 2}, {0, 2, 0}, {1, 3}}};
  for (const std::vector<Values>& patterns : sets) {
    QroEnv env;
    QroEnvI* e = env.getImpl();
    Domains d = {{0, 3}, {0, 3}};
    std::vector<QroNumVar> x = intVars(env, d);
    std::vector<QroInt> rows;
    for (Values p : patterns) {
      p.resize(3, 9);
      rows.insert(rows.end(), p.begin(), p.end());
    }
    QroModel model(env);
    model.add(new (e) QroPatternI(e, varArray(env, x, 0, 2), new (e) TestTupleSetI(e, 3, rows), 9));
    QroSolver solver(model);
    auto check = [&](const Values& a) { return !hasPattern(a, patterns); };
    int expected = bruteCount(d, check);
    EXPECT_EQ(expected, 15);
    for (int run = 0; run < 3; ++run)
      EXPECT_EQ(searchCount(solver, x, check), expected) << "search " << run;
    env.end();
  }
}

// x0 == [x3, x0][x1] added through the element builder to a solved model
// that holds a pattern.
TEST(AutomatonSearches, ElementAddedAfterAPatternSearch) {
  for (uint64_t seed = 0; seed < 30; ++seed) {
    std::mt19937_64 rng(seed);
    QroEnv env;
    QroEnvI* e = env.getImpl();
    Domains d;
    for (int i = 0; i < 4; ++i) {
      int64_t lo = static_cast<int64_t>(rng() % 3) - 1;
      d.push_back({lo, lo + static_cast<int64_t>(rng() % 4)});
    }
    std::vector<QroNumVar> x = intVars(env, d);
    std::vector<Values> patterns;
    std::vector<QroInt> rows;
    for (uint64_t k = 0; k < 1 + rng() % 2; ++k) {
      Values p = {static_cast<int64_t>(rng() % 4) - 1, static_cast<int64_t>(rng() % 4) - 1};
      if (p[0] == p[1]) ++p[1];
      patterns.push_back(p);
      rows.insert(rows.end(), p.begin(), p.end());
    }
    QroModel model(env);
    model.add(new (e)
                  QroPatternI(e, varArray(env, x, 0, 4), new (e) TestTupleSetI(e, 2, rows), -9));
    QroSolver solver(model);
    auto noPattern = [&](const Values& a) { return !hasPattern(a, patterns); };
    EXPECT_EQ(searchCount(solver, x, noPattern), bruteCount(d, noPattern)) << "seed " << seed;
    Fields f;
    f.a[0] = QroExtractableArray(env, 0);
    f.a[0].add(x[3].getImpl());
    f.a[0].add(x[0].getImpl());
    f.child[0] = x[1].getImpl();
    QroIntExprI* element = new (e) RowNode<900, QroIntExprI>(
        e, f,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
          return extractElement(a, n, g.a[0], g.child[0]);
        },
        [](QroAlgorithmI* a, const Fields& g) { removeElementsAndIndex(a, g.a[0], g.child[0]); });
    model.add(new (e) QroNumEqI(e, x[0].getImpl(), element));
    auto both = [&](const Values& a) {
      return noPattern(a) && (a[1] == 0 || a[1] == 1) && (a[1] == 0 ? a[3] : a[0]) == a[0];
    };
    EXPECT_EQ(searchCount(solver, x, both), bruteCount(d, both)) << "seed " << seed;
    env.end();
  }
}

// A stretch over three variables, searched, then with x0 == x2 added.
TEST(AutomatonSearches, StretchAfterAnEqualityIsAdded) {
  for (uint64_t seed = 0; seed < 30; ++seed) {
    std::mt19937_64 rng(seed);
    QroEnv env;
    Domains d = {{0, 2}, {0, 2}, {0, 2}};
    std::vector<QroNumVar> x = intVars(env, d);
    Lengths l{{0, 1, 2}, {}, {}};
    for (int j = 0; j < 3; ++j) {
      l.shortest.push_back(static_cast<int64_t>(rng() % 3));
      l.longest.push_back(l.shortest.back() + static_cast<int64_t>(rng() % 2));
    }
    QroModel model(env);
    model.add(stretch(env, x, l, seed % 2 == 0));
    QroSolver solver(model);
    auto check = [&](const Values& a) { return l.accepts(a); };
    EXPECT_EQ(searchCount(solver, x, check), bruteCount(d, check)) << "seed " << seed;
    model.add(x[0] == x[2]);
    auto tied = [&](const Values& a) { return check(a) && a[0] == a[2]; };
    EXPECT_EQ(searchCount(solver, x, tied), bruteCount(d, tied)) << "seed " << seed;
    env.end();
  }
}

// Objective solves post the stretch again at each improvement.
TEST(AutomatonSearches, ObjectiveSolvesOverAStretch) {
  struct Case {
    const char* name;
    Domains domains;
    std::vector<size_t> order;  // the stretch's variables
    Lengths lengths;
    bool withValues;
    std::vector<double> weights;  // of the objective
    int sense;
    double optimum;
  };
  const Case cases[] = {
      {"minimise x0",
       {{0, 4}, {0, 4}},
       {1, 0},
       {{2, 4}, {1, 2}, {2, 2}},
       true,
       {1, 0},
       QroObjectiveI::Minimize,
       2},
      {"minimise x0 + 2 x1 - x2",
       {{1, 2}, {0, 3}, {-1, 1}},
       {2, 0, 1},
       {{0, 1, 2, 3}, {2, 0, 2, 0}, {2, 2, 3, 1}},
       false,
       {1, 2, -1},
       QroObjectiveI::Minimize,
       5},
      {"maximise -2 x0",
       {{1, 3}, {1, 5}},
       {0, 1},
       {{0, 1, 2}, {2, 0, 1}, {4, 1, 3}},
       true,
       {-2, 0},
       QroObjectiveI::Maximize,
       -2},
  };
  for (const Case& c : cases) {
    QroEnv env;
    std::vector<QroNumVar> x = intVars(env, c.domains), order;
    for (size_t k : c.order) order.push_back(x[k]);
    QroModel model(env);
    model.add(stretch(env, order, c.lengths, c.withValues));
    QroNumExprArg objective = c.weights[0] * x[0];
    for (size_t k = 1; k < x.size(); ++k) objective = objective + c.weights[k] * x[k];
    model.add(QroObjective(env, objective, c.sense));
    QroSolver solver(model);
    ASSERT_TRUE(solver.solve()) << c.name;
    EXPECT_EQ(solver.getObjValue(), c.optimum) << c.name;
    Values word;
    for (size_t k : c.order) word.push_back(static_cast<int64_t>(solver.getValue(x[k])));
    EXPECT_TRUE(c.lengths.accepts(word)) << c.name;
    env.end();
  }
}

}  // namespace
