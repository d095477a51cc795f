// Quiet runs: a float comparison known to hold, a comparison with a constant
// whose variables moved only on the sides it narrows since a run that changed
// nothing, or a float expression made a variable whose bounds are already
// those of its operands, answers a wake by the calls on its variables that its
// run would make, without running. While tracing every demon runs, so the
// same searches run traced and untraced must see the same bounds and event
// thresholds at every event, the same solutions and fails, and each quiet run
// must stand for exactly one run.
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "float_fixtures.h"
#include "qrcfloatarith.h"
#include "qrcfloatcompare.h"
#include "qrcfloatconst.h"
#include "qrcfloatfunctions.h"
#include "qrcmanager.h"
#include "qrcsearch.h"
#include "qrogoal.h"
#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolver.h"
#include "support/design_model.h"
#include "support/seed.h"

namespace {

typedef std::vector<QrcFloatExpI*> VarList;
typedef std::mt19937_64 Rng;

// On every wake, appends each variable's bounds and event-threshold bounds.
class Recorder : public QrcDemonI {
 public:
  Recorder(QrcManagerI* m, const VarList* vars, std::vector<double>* out)
      : QrcDemonI(m), _vars(vars), _out(out) {}
  void propagate() override {
    for (QrcFloatExpI* v : *_vars) {
      _out->push_back(v->getMin());
      _out->push_back(v->getMax());
      _out->push_back(v->getOldMin());
      _out->push_back(v->getOldMax());
    }
  }

 private:
  const VarList* _vars;
  std::vector<double>* _out;
};

// Splits the widest variable at its middle, lower half first, until all are
// narrower than width or the splits run out.
class Bisect : public QrcGoalI {
 public:
  Bisect(QrcManagerI* m, const VarList* vars, double width, int* splits)
      : QrcGoalI(m), _vars(vars), _width(width), _splits(splits) {}
  QrcGoalI* execute() override {
    QrcFloatExpI* widest = nullptr;
    for (QrcFloatExpI* v : *_vars)
      if (!widest || v->getMax() - v->getMin() > widest->getMax() - widest->getMin()) widest = v;
    if (widest->getMax() - widest->getMin() < _width || --*_splits < 0) return nullptr;
    double mid = 0.5 * widest->getMin() + 0.5 * widest->getMax();
    QrcGoal low = QrcAnd(QrcGoal(QrcFloatExp(widest) <= mid), QrcGoal(this));
    QrcGoal high = QrcAnd(QrcGoal(QrcFloatExp(widest) >= mid), QrcGoal(this));
    return QrcOr(low, high).getImpl();
  }

 private:
  const VarList* _vars;
  double _width;
  int* _splits;
};

struct Outcome {
  std::vector<double> events;  // the recorder's readings
  std::vector<double> boxes;   // the solutions' bounds
  QrcInt fails = 0, demonRuns = 0, quietRuns = 0;
  bool feasible = false;
};

void expectSame(const Outcome& traced, const Outcome& plain, const std::string& what) {
  EXPECT_EQ(traced.feasible, plain.feasible) << what;
  EXPECT_EQ(traced.fails, plain.fails) << what;
  EXPECT_EQ(traced.quietRuns, 0) << what;
  EXPECT_EQ(traced.demonRuns, plain.demonRuns + plain.quietRuns) << what;
  ASSERT_EQ(traced.events.size(), plain.events.size()) << what;
  for (size_t i = 0; i < traced.events.size(); ++i)
    ASSERT_EQ(traced.events[i], plain.events[i]) << what << ", reading " << i;
  EXPECT_EQ(traced.boxes, plain.boxes) << what;
}

typedef std::vector<QrcConstraint> Constraints;
typedef void (*Builder)(QrcManager& mgr, VarList& vars, Constraints& cts, uint64_t seed);

// The search's first goal: builds the model (a failure there leaves the
// search without solution), hangs the recorder on the variables, then posts
// the constraints and bisects.
class Build : public QrcGoalI {
 public:
  Build(QrcManager* mgr, Builder build, uint64_t seed, VarList* vars, Constraints* cts,
        std::vector<double>* events, int* splits)
      : QrcGoalI(mgr->getImpl()),
        _mgr(mgr),
        _build(build),
        _seed(seed),
        _vars(vars),
        _cts(cts),
        _events(events),
        _splits(splits) {}
  QrcGoalI* execute() override {
    _build(*_mgr, *_vars, *_cts, _seed);
    Recorder* recorder = new (_manager) Recorder(_manager, _vars, _events);
    for (QrcFloatExpI* v : *_vars) v->whenRange(recorder);
    QrcGoal goal(new (_manager) Bisect(_manager, _vars, 1e-6, _splits));
    for (size_t i = _cts->size(); i-- > 0;) goal = QrcAnd(QrcGoal((*_cts)[i]), goal);
    return goal.getImpl();
  }

 private:
  QrcManager* _mgr;
  Builder _build;
  uint64_t _seed;
  VarList* _vars;
  Constraints* _cts;
  std::vector<double>* _events;
  int* _splits;
};

// Records every event through a search over a model, traced or not.
Outcome runModel(Builder build, uint64_t seed, bool traced, bool exceptions, int precision) {
  Outcome out;
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  m->useExceptions(exceptions);
  m->setVariablePrecision(precision);
  std::ostream discard(nullptr);
  QrcPropagationQueueI* q = m->getPropagationQueue();
  q->setTraceStream(discard);
  q->setTrace(traced ? 1 : 0);
  VarList vars;
  Constraints cts;
  int splits = 400;
  QrcGoal goal(new (m) Build(&mgr, build, seed, &vars, &cts, &out.events, &splits));
  QrcInt runs0 = q->getDemonRuns(), quiet0 = q->getQuietRuns(), fails0 = m->getFails();
  QrcSearch search(mgr, goal);
  for (int solutions = 0; solutions < 20 && search.next(); ++solutions)
    for (QrcFloatExpI* v : vars) {
      out.feasible = true;
      out.boxes.push_back(v->getMin());
      out.boxes.push_back(v->getMax());
    }
  search.end();
  out.fails = m->getFails() - fails0;
  out.demonRuns = q->getDemonRuns() - runs0;
  out.quietRuns = q->getQuietRuns() - quiet0;
  mgr.end();
  return out;
}

void buildDesign(QrcManager& mgr, VarList& vars, Constraints& cts, uint64_t) {
  QrcFloatVar F(mgr, 0.0, 0.5), N(mgr, 2.0, 10.0), D(mgr, 0.25, 1.3), d(mgr, 0.05, 1.0);
  cts.push_back((-(QrcPower(D, 3) * N / (71785.0 * QrcPower(d, 4))) + 1.0) <= 0.0);
  QrcFloatExp lhs =
      (4.0 * QrcPower(D, 4) - d * D) / (12.566 * (D * QrcPower(d, 3) - QrcPower(d, 3)));
  cts.push_back(lhs + 1.0 / (5.108 * QrcSquare(d)) <= 0.0);
  cts.push_back((-(140.45 * d / (QrcSquare(D) * N)) + 1.0) <= 0.0);
  cts.push_back((D + d) / 1.5 - 1.0 <= 0.0);
  cts.push_back(F == (N + 2.0) * D * QrcSquare(d));
  vars = {D.getImpl(), d.getImpl(), N.getImpl(), F.getImpl()};
}

// A random expression over the variables, depth at most `depth`: the nodes
// with a quiet test and some without (absolute value, exponential, minimum).
QrcFloatExp randomExp(QrcManager& mgr, const VarList& vars, Rng& rng, int depth) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint64_t>(n)); };
  auto real = [&](double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(rng() % 1000) / 1000.0;
  };
  if (depth == 0 || pick(4) == 0) return QrcFloatExp(vars[pick(static_cast<int>(vars.size()))]);
  QrcFloatExp a = randomExp(mgr, vars, rng, depth - 1);
  switch (pick(16)) {
    case 0:
      return a + randomExp(mgr, vars, rng, depth - 1);
    case 1:
      return a - randomExp(mgr, vars, rng, depth - 1);
    case 2:
      return a * randomExp(mgr, vars, rng, depth - 1);
    case 3:
      return a / randomExp(mgr, vars, rng, depth - 1);
    case 4:
      return real(-3, 3) * a;
    case 5:
      return a / real(0.5, 4);
    case 6:
      return real(-2, 2) / a;
    case 7:
      return a + real(-5, 5);
    case 8:
      return -a;
    case 9:
      return QrcSquare(a);
    case 10:
      return QrcPower(a, 3 + pick(2));
    case 11: {
      QrcFloatExpI* terms[3] = {a.getImpl(), randomExp(mgr, vars, rng, depth - 1).getImpl(),
                                vars[pick(static_cast<int>(vars.size()))]};
      return QrcSum(mgr.getImpl(), 3, terms);
    }
    case 12:
      return QrcAbs(a);
    case 13:
      return QrcExponent(a / 4.0);
    case 14:
      return QrcMin(a, real(-2, 2));
    default:
      // An expression made a variable.
      return QrcFloatVar(a);
  }
}

// Three or four variables, some across zero, and four to six comparisons
// whose constants are drawn across the expressions' first ranges, so that
// some are known to hold from the start and others become so.
void buildRandom(QrcManager& mgr, VarList& vars, Constraints& cts, uint64_t seed) {
  Rng rng(seed);
  auto real = [&](double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(rng() % 1000) / 1000.0;
  };
  int n = 3 + static_cast<int>(rng() % 2);
  for (int i = 0; i < n; ++i) {
    double lo = real(-3, 2);
    vars.push_back(QrcFloatVar(mgr, lo, lo + real(0.5, 4)).getImpl());
  }
  int constraints = 4 + static_cast<int>(rng() % 3);
  for (int i = 0; i < constraints; ++i) {
    QrcFloatExp e = randomExp(mgr, vars, rng, 3);
    double lo = e.getMin(), hi = e.getMax();
    if (!std::isfinite(lo)) lo = -10;
    if (!std::isfinite(hi)) hi = 10;
    double c = lo + (hi - lo) * real(0.05, 1.3);
    switch (rng() % 5) {
      case 0:
        cts.push_back(e <= c);
        break;
      case 1:
        cts.push_back(e >= lo + (hi - lo) * real(-0.3, 0.95));
        break;
      case 2:
        cts.push_back(e <= randomExp(mgr, vars, rng, 2));
        break;
      case 3:
        // A thin band: its searches fail often.
        cts.push_back(e >= c - (hi - lo) * 0.02);
        cts.push_back(e <= c);
        break;
      default:
        cts.push_back(QrcFloatVar(e) <= c);
        break;
    }
  }
}

// A random tree of the nodes that a one-sided narrowing walks (products,
// quotients, powers, squares, negations, scalings, offsets) over variables
// and expressions made variables, depth at most `depth`; a variable may occur
// more than once.
QrcFloatExp randomTree(const VarList& vars, Rng& rng, int depth) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint64_t>(n)); };
  auto real = [&](double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(rng() % 1000) / 1000.0;
  };
  if (depth == 0 || pick(5) == 0) return QrcFloatExp(vars[pick(static_cast<int>(vars.size()))]);
  QrcFloatExp a = randomTree(vars, rng, depth - 1);
  switch (pick(10)) {
    case 0:
    case 1:
      return a * randomTree(vars, rng, depth - 1);
    case 8:
      // A leaf inside the tree: an expression made a variable.
      return QrcFloatVar(a);
    case 2:
    case 3:
      return a / randomTree(vars, rng, depth - 1);
    case 4:
      return QrcPower(a, 3 + pick(2));
    case 5:
      return QrcSquare(a);
    case 6:
      return -a;
    case 7:
      return real(-3, 3) * a;
    default:
      return a + real(-2, 2);
  }
}

// Three or four variables, most of them positive and some across zero or
// negative, with four to six one-sided comparisons of random trees against
// constants inside their first ranges: the comparisons narrow, then stop
// narrowing while their variables keep moving.
void buildTrees(QrcManager& mgr, VarList& vars, Constraints& cts, uint64_t seed) {
  Rng rng(seed);
  auto real = [&](double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(rng() % 1000) / 1000.0;
  };
  int n = 3 + static_cast<int>(rng() % 2);
  for (int i = 0; i < n; ++i) {
    double lo = rng() % 4 == 0 ? real(-3, 0.5) : real(0.05, 2);
    vars.push_back(QrcFloatVar(mgr, lo, lo + real(0.5, 4)).getImpl());
  }
  int constraints = 4 + static_cast<int>(rng() % 3);
  for (int i = 0; i < constraints; ++i) {
    QrcFloatExp e = randomTree(vars, rng, 3);
    double lo = e.getMin(), hi = e.getMax();
    if (!std::isfinite(lo)) lo = -10;
    if (!std::isfinite(hi)) hi = 10;
    double c = lo + (hi - lo) * real(0.02, 1.0);
    if (rng() % 2 == 0)
      cts.push_back(e <= c);
    else
      cts.push_back(e >= c);
  }
  // Shaving suspends a variable that keeps moving; its moves then leave the
  // nodes above it as they were.
  if (seed % 4 == 0) addFloatShaving(QrcFloatVar(vars[0]));
}

TEST(QuietRuns, DesignModelSeesTheSameEventsAsWhenEveryDemonRuns) {
  for (int exceptions = 0; exceptions < 2; ++exceptions) {
    Outcome traced = runModel(buildDesign, 0, true, exceptions != 0, 0);
    Outcome plain = runModel(buildDesign, 0, false, exceptions != 0, 0);
    expectSame(traced, plain, "design model");
    EXPECT_TRUE(plain.feasible);
    // Most wakes of the comparisons known to hold are answered quietly.
    EXPECT_GT(plain.quietRuns, plain.demonRuns / 2);
  }
}

// Runs `count` models of one family traced and quiet, compares them, and
// returns the wakes answered quietly. Every `precisionEvery`-th model runs at
// variable precision, where quiet runs touch nothing.
QrcInt compareFamily(Builder build, const char* family, uint64_t firstSeed, int count,
                     int precisionEvery, int exceptionsParity) {
  QrcInt quiet = 0;
  for (int i = 0; i < count; ++i) {
    uint64_t seed = firstSeed + static_cast<uint64_t>(i);
    int precision = i % precisionEvery == precisionEvery - 1 ? 30 : 0;
    bool exceptions = i % 2 == exceptionsParity;
    Outcome traced = runModel(build, seed, true, exceptions, precision);
    Outcome plain = runModel(build, seed, false, exceptions, precision);
    expectSame(traced, plain, std::string(family) + ", seed " + std::to_string(seed));
    quiet += plain.quietRuns;
  }
  return quiet;
}

TEST(QuietRuns, RandomModelsSeeTheSameEventsAsWhenEveryDemonRuns) {
  EXPECT_GT(compareFamily(buildRandom, "random model", qrotest::seedOr(7100), 60, 4, 0), 0);
}

TEST(QuietRuns, OneSidedTreesSeeTheSameEventsAsWhenEveryDemonRuns) {
  EXPECT_GT(compareFamily(buildTrees, "tree model", qrotest::seedOr(5300), 80, 8, 1), 0);
}

TEST(QuietRuns, DesignProgramKeepsItsFirstBoxAndCounts) {
  // The program's search through the solver, traced and not.
  double bounds[2][4];
  QrcInt fails[2], choices[2], runs[2], quiet[2];
  for (int traced = 0; traced < 2; ++traced) {
    QroEnv env;
    qrotest::DesignModel d(env);
    QroSolver solver(d.model, &QrcEdit);
    ASSERT_EQ(solver.solve(QroGoal(), 1, 0), 1);
    QrcManagerI* m = solver.getManagerI();
    std::ostream discard(nullptr);
    QrcPropagationQueueI* q = m->getPropagationQueue();
    q->setTraceStream(discard);
    q->setTrace(traced);
    QroGoal goal =
        QroAndGoal(QroNumDichotomize(env, d.x[0], 0, 0.0), QroNumDichotomize(env, d.x[1], 0, 0.0));
    solver.startNewSearch(goal, 1);
    QrcInt runs0 = q->getDemonRuns(), quiet0 = q->getQuietRuns();
    ASSERT_EQ(solver.next(), 1);
    runs[traced] = q->getDemonRuns() - runs0;
    quiet[traced] = q->getQuietRuns() - quiet0;
    fails[traced] = m->getFails();
    choices[traced] = m->getChoicePointCount();
    QrcFloatVar D = solver.getFloatVar(d.x[0]), dd = solver.getFloatVar(d.x[1]);
    double box[4] = {D.getMin(), D.getMax(), dd.getMin(), dd.getMax()};
    for (int i = 0; i < 4; ++i) bounds[traced][i] = box[i];
    q->setTrace(0);
    solver.endSearch();
    env.end();
  }
  for (int i = 0; i < 4; ++i) EXPECT_EQ(bounds[0][i], bounds[1][i]) << i;
  // The box of the search with every demon running, to the last bit.
  EXPECT_EQ(bounds[1][0], 0.39193768277735652);
  EXPECT_EQ(bounds[1][1], 0.39193768286753572);
  EXPECT_EQ(bounds[1][2], 0.05);
  EXPECT_EQ(bounds[1][3], 0.050000000039070382);
  EXPECT_EQ(fails[0], 17);
  EXPECT_EQ(fails[1], 17);
  EXPECT_EQ(choices[0], 30);
  EXPECT_EQ(choices[1], 30);
  EXPECT_EQ(quiet[1], 0);
  EXPECT_EQ(runs[1], runs[0] + quiet[0]);
  // At most half of the runs of every demon running: the comparisons known
  // to hold and those whose variables moved only on the side they narrow
  // since a run that changed nothing answer quietly.
  EXPECT_LE(2 * runs[0], runs[1]);
}

}  // namespace
