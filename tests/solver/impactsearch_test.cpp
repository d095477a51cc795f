// The impact-based default search is complete: with impacts on, and with
// every combination of its best, bubbling and probing switches, it finds
// exactly the solutions of seeded random models (checked by brute force) and
// the known counts of classic puzzles. The models hold model variables; the
// constraints are engine constraints posted right after extraction.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>
#include <vector>

#include "qrcalldiff.h"
#include "qrcdefaultsearch.h"
#include "qrcimpact.h"
#include "qrcint.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcmanager.h"
#include "qromodel.h"
#include "qrosolveri.h"
#include "qrosolverextractor.h"
#include "solver_support.h"
#include "support/seed.h"

namespace {

using solvertest::engineGoal;

// The switches of the customizable goal that the next search uses.
struct Switches {
  bool best, bubbling, probing;
};
Switches g_switches;

QrcGoalI* makeImpactSearch(QrcManagerI* m) {
  QroSolverI* s = m->getSolver();
  QrcIntVarArray vars = s->getExtractorManager()->getDefaultExtractor()->makeIntDecisionVars();
  QrcCustomizableGoalI* g = s->getImpactInformation()->makeCustomizableGoal(vars);
  g->setBest(g_switches.best);
  g->setBubbling(g_switches.bubbling);
  g->setProbingSizeLimit(g_switches.probing ? 4 : 0);
  return QrcAnd(new (m) QrcInternalInitializeImpactDichotomyGoalI(m, s->getImpactInformation(), 5),
                g)
      .getImpl();
}

// Integer model variables over [lo[i], hi[i]], extracted, then the engine
// constraints that post() adds.
struct Puzzle {
  QroEnv env;
  QroModel model{env};
  QroSolver solver;
  std::vector<QroNumVar> vars;
  std::vector<QrcIntVar> x;

  Puzzle(const std::vector<QrcInt>& lo, const std::vector<QrcInt>& hi) {
    for (size_t i = 0; i < lo.size(); ++i) {
      vars.emplace_back(env, static_cast<QroNum>(lo[i]), static_cast<QroNum>(hi[i]),
                        QroNumVar::Int);
      model.add(vars.back());
    }
    solver = QroSolver(model);
    solver.setImpactMode(1);
    for (const QroNumVar& v : vars) x.push_back(solver.getIntVar(v));
  }
  ~Puzzle() {
    solver.end();
    env.end();
  }
  QrcManager manager() const { return solver.getManager(); }
  QrcIntVarArray array() const {
    QrcIntVarArray a(manager(), static_cast<QrcInt>(x.size()));
    for (size_t i = 0; i < x.size(); ++i) a.set(static_cast<QrcInt>(i), x[i]);
    return a;
  }
  // Every solution of a search with the given goal (the default one when
  // empty), at most limit.
  std::vector<std::vector<QrcInt>> solve(const QroGoal& goal, size_t limit = 100000) {
    std::vector<std::vector<QrcInt>> out;
    solver.startNewSearch(goal);
    while (out.size() < limit && solver.next()) {
      std::vector<QrcInt> values;
      for (const QrcIntVar& v : x) values.push_back(v.getValue());
      out.push_back(values);
    }
    solver.endSearch();
    std::sort(out.begin(), out.end());
    return out;
  }
};

const Switches kAllSwitches[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0},
                                 {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {1, 1, 1}};

std::string describe(const Switches& s) {
  return std::string("best ") + (s.best ? "1" : "0") + " bubbling " + (s.bubbling ? "1" : "0") +
         " probing " + (s.probing ? "1" : "0");
}

// Sum of c[i] * x[i] (or 0 * x[0] when every coefficient is 0).
QrcIntExp linear(const std::vector<QrcIntVar>& x, const std::vector<QrcInt>& c) {
  QrcIntExp sum = 0 * QrcIntExp(x[0]);
  for (size_t i = 0; i < x.size(); ++i)
    if (c[i] != 0) sum = sum + c[i] * QrcIntExp(x[i]);
  return sum;
}

struct Linear {
  std::vector<QrcInt> c;
  int sense;  // -1 <=, 0 ==, 1 >=
  QrcInt rhs;
};
struct Different {
  size_t i, j;
  QrcInt offset;  // x[i] != x[j] + offset
};

TEST(ImpactSearch, RandomModelsEnumerateTheBruteForceSolutions) {
  uint64_t seed = qrotest::seedOr(3401);
  std::mt19937_64 rng(seed);
  for (int round = 0; round < 24; ++round) {
    size_t n = 3 + rng() % 3;
    std::vector<QrcInt> lo(n), hi(n);
    for (size_t i = 0; i < n; ++i) {
      lo[i] = static_cast<QrcInt>(rng() % 5) - 2;
      hi[i] = lo[i] + static_cast<QrcInt>(rng() % 5);
    }
    std::vector<Linear> linears(1 + rng() % 2);
    for (Linear& l : linears) {
      for (size_t i = 0; i < n; ++i) l.c.push_back(static_cast<QrcInt>(rng() % 5) - 2);
      l.sense = static_cast<int>(rng() % 3) - 1;
      l.rhs = static_cast<QrcInt>(rng() % 7) - 3;
    }
    std::vector<Different> diffs(1 + rng() % 3);
    for (Different& d : diffs) {
      d.i = rng() % n;
      d.j = (d.i + 1 + rng() % (n - 1)) % n;
      d.offset = static_cast<QrcInt>(rng() % 3) - 1;
    }
    auto holds = [&](const std::vector<QrcInt>& v) {
      for (const Linear& l : linears) {
        QrcInt s = 0;
        for (size_t i = 0; i < n; ++i) s += l.c[i] * v[i];
        if ((l.sense < 0 && s > l.rhs) || (l.sense == 0 && s != l.rhs) ||
            (l.sense > 0 && s < l.rhs))
          return false;
      }
      for (const Different& d : diffs)
        if (v[d.i] == v[d.j] + d.offset) return false;
      return true;
    };
    std::vector<std::vector<QrcInt>> expected;
    std::vector<QrcInt> v(lo);
    for (;;) {
      if (holds(v)) expected.push_back(v);
      size_t k = 0;
      while (k < n && v[k] == hi[k]) ++k;
      if (k == n) break;
      for (size_t i = 0; i < k; ++i) v[i] = lo[i];
      ++v[k];
    }
    std::sort(expected.begin(), expected.end());
    for (const Switches& sw : kAllSwitches) {
      Puzzle p(lo, hi);
      QrcManager m = p.manager();
      for (const Linear& l : linears) {
        QrcIntExp e = linear(p.x, l.c);
        m.add(l.sense < 0 ? e <= l.rhs : l.sense == 0 ? e == l.rhs : e >= l.rhs);
      }
      for (const Different& d : diffs) m.add(QrcIntExp(p.x[d.i]) != QrcIntExp(p.x[d.j]) + d.offset);
      g_switches = sw;
      EXPECT_EQ(p.solve(engineGoal(p.env.getImpl(), makeImpactSearch)), expected)
          << "seed " << seed << " round " << round << " " << describe(sw);
    }
  }
}

// n-queens: one queen per column, rows all different and no two on a diagonal.
void postQueens(Puzzle& p) {
  QrcManager m = p.manager();
  size_t n = p.x.size();
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i + 1; j < n; ++j) {
      QrcInt d = static_cast<QrcInt>(j - i);
      m.add(QrcIntExp(p.x[i]) != QrcIntExp(p.x[j]));
      m.add(QrcIntExp(p.x[i]) != QrcIntExp(p.x[j]) + d);
      m.add(QrcIntExp(p.x[i]) != QrcIntExp(p.x[j]) - d);
    }
}

// Rows, columns and both diagonals of a 3x3 square of 1..9 sum to 15.
void postMagicSquare(Puzzle& p) {
  QrcManager m = p.manager();
  m.add(QrcAllDiff(p.array()));
  auto line = [&](int a, int b, int c) {
    m.add(QrcIntExp(p.x[a]) + QrcIntExp(p.x[b]) + QrcIntExp(p.x[c]) == 15);
  };
  for (int i = 0; i < 3; ++i) {
    line(3 * i, 3 * i + 1, 3 * i + 2);
    line(i, i + 3, i + 6);
  }
  line(0, 4, 8);
  line(2, 4, 6);
}

struct CountCase {
  const char* name;
  size_t n;
  QrcInt lo, hi;
  void (*post)(Puzzle&);
  size_t solutions;
};

TEST(ImpactSearch, PuzzleCountsHoldUnderEverySwitch) {
  const CountCase cases[] = {{"6-queens", 6, 0, 5, postQueens, 4},
                             {"8-queens", 8, 0, 7, postQueens, 92},
                             {"magic square", 9, 1, 9, postMagicSquare, 8}};
  for (const CountCase& c : cases)
    for (const Switches& sw : kAllSwitches) {
      Puzzle p(std::vector<QrcInt>(c.n, c.lo), std::vector<QrcInt>(c.n, c.hi));
      c.post(p);
      g_switches = sw;
      std::vector<std::vector<QrcInt>> all = p.solve(engineGoal(p.env.getImpl(), makeImpactSearch));
      EXPECT_EQ(all.size(), c.solutions) << c.name << " " << describe(sw);
      EXPECT_EQ(std::set<std::vector<QrcInt>>(all.begin(), all.end()).size(), all.size());
    }
}

TEST(ImpactSearch, DefaultSearchIsImpactBasedWhileImpactsAreOn) {
  Puzzle p(std::vector<QrcInt>(6, 0), std::vector<QrcInt>(6, 5));
  postQueens(p);
  EXPECT_EQ(p.solve(QroGoal()).size(), 4u);
  QrcImpactInformation* info = p.solver.getImpl()->getImpactInformation();
  EXPECT_GT(info->getSetDecisions(), 0);
  QrcInt sets = info->getSetDecisions();
  // Off: the plain generation goal, and the impact information is gone.
  p.solver.setImpactMode(0);
  EXPECT_EQ(p.solve(QroGoal()).size(), 4u);
  EXPECT_FALSE(p.solver.getImpl()->hasImpactInformation());
  p.solver.setImpactMode(1);
  EXPECT_EQ(p.solver.getImpl()->getImpactInformation()->getSetDecisions(), 0);
  EXPECT_GT(sets, 0);
}

// Golomb ruler of 5 marks: 0 = m0 < m1 < ... < m4, all differences distinct.
// Within length 11 every ruler found has length 11: none is shorter.
TEST(ImpactSearch, GolombRulerOfFiveMarksHasOptimumEleven) {
  for (const Switches& sw : kAllSwitches) {
    Puzzle p(std::vector<QrcInt>(5, 0), std::vector<QrcInt>(5, 11));
    QrcManager m = p.manager();
    m.add(QrcIntExp(p.x[0]) == 0);
    for (int i = 0; i + 1 < 5; ++i) m.add(QrcIntExp(p.x[i]) < QrcIntExp(p.x[i + 1]));
    QrcIntVarArray diffs(m, 10, 1, 11);
    int k = 0;
    for (int i = 0; i < 5; ++i)
      for (int j = i + 1; j < 5; ++j) m.add(QrcIntExp(diffs[k++]) == p.x[j] - p.x[i]);
    m.add(QrcAllDiff(diffs));
    g_switches = sw;
    std::vector<std::vector<QrcInt>> all = p.solve(engineGoal(p.env.getImpl(), makeImpactSearch));
    EXPECT_FALSE(all.empty()) << describe(sw);
    for (const std::vector<QrcInt>& s : all) EXPECT_EQ(s[4], 11) << describe(sw);
  }
}

}  // namespace
