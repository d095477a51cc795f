// Random goal trees searched by the engine and enumerated by brute force.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/core/qrcsearchnode.h"
#include "engine_fixtures.h"
#include "qrcfail.h"
#include "qrcfloatenv.h"
#include "qrcgoal.h"
#include "qrcint.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcmanager.h"
#include "qrcsearch.h"
#include "qrcsizealloc.h"
#include "support/seed.h"

namespace {

// The path of leaves taken, kept in trailed words.
struct Path {
  QrcInt length;
  QrcInt ids[64];
};

class PathLeaf : public QrcGoalI {
 public:
  PathLeaf(QrcManagerI* m, Path* path, QrcInt id, bool failing)
      : QrcGoalI(m), _path(path), _id(id), _failing(failing) {}
  QrcGoalI* execute() override {
    if (_failing) _manager->fail();
    _manager->saveValue(&_path->ids[_path->length]);
    _path->ids[_path->length] = _id;
    _manager->saveValue(&_path->length);
    ++_path->length;
    return nullptr;
  }

 private:
  Path* _path;
  QrcInt _id;
  bool _failing;
};

typedef std::vector<std::vector<QrcInt>> Solutions;

struct Built {
  QrcGoal goal;
  Solutions solutions;
};

Built build(QrcManagerI* m, Path* path, std::mt19937_64& rng, int depth, QrcInt& nextId,
            int& leaves) {
  int kind = depth <= 0 || leaves > 20 ? 0 : static_cast<int>(rng() % 3);
  if (kind == 0) {
    ++leaves;
    QrcInt id = nextId++;
    bool failing = rng() % 5 == 0;
    Built b{new (m) PathLeaf(m, path, id, failing), {}};
    if (!failing) b.solutions.push_back({id});
    return b;
  }
  Built a = build(m, path, rng, depth - 1, nextId, leaves);
  Built c = build(m, path, rng, depth - 1, nextId, leaves);
  Built r;
  if (kind == 1) {
    r.goal = QrcAnd(a.goal, c.goal);
    for (auto& sa : a.solutions)
      for (auto& sc : c.solutions) {
        std::vector<QrcInt> s = sa;
        s.insert(s.end(), sc.begin(), sc.end());
        r.solutions.push_back(s);
      }
  } else {
    r.goal = QrcOr(a.goal, c.goal);
    r.solutions = a.solutions;
    r.solutions.insert(r.solutions.end(), c.solutions.begin(), c.solutions.end());
  }
  return r;
}

void runTrees(bool exceptions) {
  uint64_t seed = qrotest::seedOr(exceptions ? 101 : 100);
  std::mt19937_64 rng(seed);
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  m->useExceptions(exceptions);
  QrcInt heapMark = m->getHeap()->getTop();
  for (int round = 0; round < 200; ++round) {
    Path* path = new (m) Path();
    path->length = 0;
    QrcInt nextId = 0;
    int leaves = 0;
    Built b = build(m, path, rng, 6, nextId, leaves);
    QrcSearch s(mgr, b.goal);
    Solutions found;
    while (s.next()) found.push_back(std::vector<QrcInt>(path->ids, path->ids + path->length));
    ASSERT_EQ(m->getStatus(), QrcSearchExhausted) << "seed " << seed << " round " << round;
    s.end();
    ASSERT_EQ(found, b.solutions) << "seed " << seed << " round " << round;
    ASSERT_EQ(path->length, 0) << "seed " << seed;
    ASSERT_EQ(m->getOrRecordCount(), 0);
    ASSERT_EQ(m->getSearchDepth(), 0);
    m->getHeap()->popTo(heapMark);
  }
  mgr.end();
}

TEST(RandomSearch, SolutionsMatchBruteForce) {
  runTrees(false);
}

TEST(RandomSearch, SolutionsMatchBruteForceWithExceptions) {
  runTrees(true);
}

TEST(RandomSearch, RestartAndSolveKeepTheTrailConsistent) {
  uint64_t seed = qrotest::seedOr(102);
  std::mt19937_64 rng(seed);
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  QrcInt heapMark = m->getHeap()->getTop();
  for (int round = 0; round < 100; ++round) {
    Path* path = new (m) Path();
    path->length = 0;
    QrcInt nextId = 0;
    int leaves = 0;
    Built b = build(m, path, rng, 5, nextId, leaves);
    QrcSearch s(mgr, b.goal);
    size_t k = 0;
    size_t stopAt = b.solutions.empty() ? 0 : rng() % b.solutions.size();
    while (k <= stopAt && s.next()) ++k;
    if (!b.solutions.empty()) {
      ASSERT_EQ(std::vector<QrcInt>(path->ids, path->ids + path->length), b.solutions[stopAt])
          << "seed " << seed;
      s.restart();
      ASSERT_EQ(path->length, 0) << "seed " << seed;
      ASSERT_TRUE(s.next());
      ASSERT_EQ(std::vector<QrcInt>(path->ids, path->ids + path->length), b.solutions[0])
          << "seed " << seed;
    }
    s.end();
    // The state of a kept solution stays after the search ends.
    ASSERT_EQ(path->length, b.solutions.empty() ? 0 : static_cast<QrcInt>(b.solutions[0].size()));
    path->length = 0;
    ASSERT_EQ(m->solve(b.goal.getImpl(), true), b.solutions.empty() ? 0 : 1) << "seed " << seed;
    ASSERT_EQ(path->length, 0) << "seed " << seed;
    m->getHeap()->popTo(heapMark);
  }
  mgr.end();
}

}  // namespace

// ---------------------------------------------------------------- objectives

namespace {

// Small integer models with a linear cost: rows sum a_i x_i <= b, a few
// x_i != x_j, enumerated by brute force.
struct CostModel {
  std::vector<QrcInt> lo, hi, cost;
  std::vector<std::vector<QrcInt>> rows;
  std::vector<QrcInt> rhs;
  std::vector<std::pair<int, int>> distinct;

  bool holds(const std::vector<QrcInt>& v) const {
    for (size_t r = 0; r < rows.size(); ++r) {
      QrcInt s = 0;
      for (size_t i = 0; i < v.size(); ++i) s += rows[r][i] * v[i];
      if (s > rhs[r]) return false;
    }
    for (const auto& d : distinct)
      if (v[d.first] == v[d.second]) return false;
    return true;
  }
  QrcInt costOf(const std::vector<QrcInt>& v) const {
    QrcInt s = 0;
    for (size_t i = 0; i < v.size(); ++i) s += cost[i] * v[i];
    return s;
  }
  // The least cost over the assignments that hold; false when none does.
  bool optimum(QrcInt* best) const {
    std::vector<QrcInt> v(lo);
    bool any = false;
    for (;;) {
      if (holds(v) && (!any || costOf(v) < *best)) *best = costOf(v);
      any = any || holds(v);
      size_t i = 0;
      while (i < v.size() && v[i] == hi[i]) v[i] = lo[i], ++i;
      if (i == v.size()) return any;
      ++v[i];
    }
  }
};

CostModel drawCostModel(std::mt19937_64& rng) {
  CostModel c;
  int n = 3 + static_cast<int>(rng() % 3);
  auto draw = [&](int from, int to) { return from + static_cast<QrcInt>(rng() % (to - from + 1)); };
  for (int i = 0; i < n; ++i) {
    c.lo.push_back(draw(-1, 0));
    c.hi.push_back(c.lo.back() + draw(1, 3));
    c.cost.push_back(draw(-3, 3));
  }
  for (int r = draw(1, 2); r > 0; --r) {
    c.rows.emplace_back();
    for (int i = 0; i < n; ++i) c.rows.back().push_back(draw(-2, 2));
    c.rhs.push_back(draw(-2, 3));
  }
  for (int d = draw(0, 2); d > 0; --d) {
    int a = static_cast<int>(rng() % n), b = static_cast<int>(rng() % n);
    if (a != b) c.distinct.push_back({a, b});
  }
  return c;
}

// How the open nodes are kept: none (depth-first), stored without keys
// (depth-first through the storage), best-first on a key of the node's path,
// and best-first past the storage's memory limit, in spill files.
enum SearchKind { DepthFirst, Stored, BestFirst, Spilled };
// The spilled kind holds this many bytes of the size allocator besides its
// nodes: from a few kilobytes of open nodes on, they pass the least memory
// limit and go to spill files.
const QrcInt SpillBallast = 5000000 - 2000;

class PathKey : public QrcNodeEvaluatorI {
 public:
  explicit PathKey(int kind) : _kind(kind) {}
  QrcFloat evaluate(const QrcSearchNode* node) override {
    QrcFloat length = static_cast<QrcFloat>(node->getPathLength());
    QrcFloat minus = static_cast<QrcFloat>(node->getMinusCount());
    switch (_kind) {
      case 0:
        return length;  // breadth-first
      case 1:
        return minus - length;  // second branches first
      default:
        return -minus;  // first branches first, then shallow
    }
  }

 private:
  int _kind;
};

// Turns node storage on; gives the root node a key (children inherit it).
class KeyMonitor : public QrcSearchEventMonitorI {
 public:
  explicit KeyMonitor(int key) : _key(key) {}
  void nodeCreated(void* p) override {
    QrcSearchNode* node = static_cast<QrcSearchNode*>(p);
    if (_key >= 0 && !node->getEvaluator(0)) node->setEvaluator(0, new PathKey(_key));
  }

 private:
  int _key;
};

// What ends the searches of a case: they run out; a fail or choice-point
// limit stops them, then the limits go and the search restarts; a goal of
// the search solves a nested search under a fail limit it sets and unsets;
// the caller's fail limit is reached inside the nested solves; a nested
// search keeps its solution (no restore) and the outer one runs out; a new
// limit and a restart, again and again (runs often end before a solution).
enum Scenario {
  RunOut,
  LimitThenRestart,
  NestedOwnLimit,
  NestedCallerLimit,
  NestedKeeps,
  RestartLoop
};

struct NestedCount {
  int solves = 0;
  int stopped = 0;
  QrcInt firstFails = -1;  // the manager's count when the first one starts
};

// In a goal of the outer search: solves a goal that fails three times
// before it succeeds, restoring the state or keeping it; with an own limit,
// sets it before and unsets it after; fails when asked and the nested search
// was stopped.
class NestedSolve : public QrcGoalI {
 public:
  NestedSolve(QrcManagerI* m, QrcInt ownLimit, bool failWhenStopped, NestedCount* count,
              bool restore = true)
      : QrcGoalI(m),
        _ownLimit(ownLimit),
        _failWhenStopped(failWhenStopped),
        _restore(restore),
        _count(count) {}
  QrcGoalI* execute() override {
    QrcManagerI* m = _manager;
    QrcGoal inner = QrcGoalTrue(m);
    for (int i = 0; i < 3; ++i) inner = QrcOr(QrcGoalFail(m), inner);
    if (_count->firstFails < 0) _count->firstFails = m->getFails() - m->getNestedFails();
    if (_ownLimit) m->setFailLimit(_ownLimit);
    QrcBool found = QrcManager(m).solve(inner, _restore);
    if (_ownLimit) m->unsetLimits();
    ++_count->solves;
    if (!found) ++_count->stopped;
    if (!found && _failWhenStopped) m->fail();
    return nullptr;
  }

 private:
  QrcInt _ownLimit;
  bool _failWhenStopped;
  bool _restore;
  NestedCount* _count;
};

struct CostCase {
  SearchKind kind;
  Scenario scenario;
  bool exceptions;        // failure mode of the manager
  int key;                // of the best-first kinds (PathKey)
  int halves;             // -1: values in order; 0, 1: halves, upper half first when 1
  QrcInt limit;           // the fail limit of the scenario, or its choice-point limit
  bool choicePoints;      // a choice-point limit (limit then restart)
  QrcInt compress, disk;  // spill-file options
  int keptAt = -1;        // a nested solve that keeps its state, after this many variables

  // A case with its choices drawn.
  static CostCase draw(SearchKind kind, Scenario scenario, bool exceptions, std::mt19937_64& rng) {
    CostCase c{kind,
               scenario,
               exceptions,
               static_cast<int>(rng() % 3),
               static_cast<int>(rng() % 3) - 1,
               0,
               rng() % 2 == 0,
               static_cast<QrcInt>(rng() % 2),
               static_cast<QrcInt>(rng() % 2)};
    if (scenario == LimitThenRestart)
      c.limit = 1 + static_cast<QrcInt>(rng() % (c.choicePoints ? 20 : 12));
    else if (scenario == NestedOwnLimit)
      c.limit = 1 + static_cast<QrcInt>(rng() % 3);
    else if (scenario == NestedCallerLimit)
      c.limit = 4 + static_cast<QrcInt>(rng() % 40);
    else if (scenario == RestartLoop)
      c.limit = 1 + static_cast<QrcInt>(rng() % (c.choicePoints ? 6 : 4));
    if (scenario == NestedKeeps || (scenario == RestartLoop && rng() % 2 == 0))
      c.keptAt = static_cast<int>(rng() % 6);
    return c;
  }
};

// One case on a fresh manager; run answers the first thing that went wrong,
// empty when nothing did.
// Between the variables of a goal: a stored node's path, replayed, meets the
// domains it met when it was made (a replay that met other domains may make
// other choices and explore another node than the one stored).
class ReplayCheck : public QrcGoalI {
 public:
  ReplayCheck(QrcManagerI* m, const QrcIntVarArray& vars, int* mismatches)
      : QrcGoalI(m), _vars(vars), _mismatches(mismatches) {}
  QrcGoalI* execute() override {
    QrcFloat print = 0;
    for (QrcInt i = 0; i < _vars.getSize(); ++i)
      print = print * 64 + static_cast<QrcFloat>(_vars[i].getMin() * 8 + _vars[i].getMax() + 9);
    if (!_manager->isRecomputing())
      _manager->writeInfo(print);
    else if (_manager->readInfo() != print)
      ++*_mismatches;
    return nullptr;
  }

 private:
  QrcIntVarArray _vars;
  int* _mismatches;
};

class CostSearch {
 public:
  explicit CostSearch(const CostModel& model) : _model(model) {}
  std::string run(const CostCase& c, const std::string& prefix);
  // Spill files the case made.
  QrcInt getFileCount() const { return _files; }

 private:
  // The model on the manager; false when the root fails.
  bool build(QrcManager& mgr);
  QrcSearch start(QrcManager& mgr, const CostCase& c, NestedCount* nested, KeyMonitor* monitor);
  QrcGoal goal(const CostCase& c, NestedCount* nested) const;
  void setLimit(QrcManagerI* m, const CostCase& c) const;
  // next until it answers 0: each solution holds and costs less than the
  // last (at most the best so far for the first one after a restart).
  void runOut(QrcSearch& s, bool afterRestart);
  // The end of a search: its status, and the optimum when it ran out.
  void checkEnd(QrcManagerI* m, const CostCase& c, const NestedCount& nested);
  void expectOptimum(const char* when);
  void problem(const std::string& what) {
    if (_problem.empty()) _problem = what;
  }

  const CostModel& _model;
  QrcIntVarArray _vars;
  QrcIntVar _cost;
  bool _found = false;
  QrcInt _best = 0;
  int _solutions = 0;
  QrcInt _files = 0;
  mutable int _replayMismatches = 0;
  std::string _problem;
};

bool CostSearch::build(QrcManager& mgr) {
  QrcInt n = static_cast<QrcInt>(_model.lo.size());
  _vars = QrcIntVarArray(mgr, n);
  for (QrcInt i = 0; i < n; ++i) _vars.set(i, QrcIntVar(mgr, _model.lo[i], _model.hi[i]));
  mgr.getImpl()->useExceptions(true);
  try {
    for (size_t r = 0; r < _model.rows.size(); ++r)
      mgr.add(QrcScalProd(_vars, QrcIntArray(mgr, n, _model.rows[r].data())) <= _model.rhs[r]);
    for (const auto& d : _model.distinct) mgr.add(_vars[d.first] != _vars[d.second]);
  } catch (const QrcFailException&) {
    return false;
  }
  _cost = QrcIntVar(QrcScalProd(_vars, QrcIntArray(mgr, n, _model.cost.data())));
  return true;
}

QrcGoal CostSearch::goal(const CostCase& c, NestedCount* nested) const {
  QrcManagerI* m = _vars[0].getImpl()->getManager();
  QrcGoal g;
  for (QrcInt i = 0; i <= _vars.getSize(); ++i) {
    // A failing nested solve is a stopped one: a caller's limit stops both.
    if (i == c.keptAt || (i == _vars.getSize() && c.keptAt > i))
      g = QrcAnd(g, new (m) NestedSolve(m, 0, true, nested, false));
    if (i == _vars.getSize()) break;
    QrcIntVarArray one(QrcManager(m), 1);
    one.set(0, _vars[i]);
    QrcGoal var = c.halves < 0 ? QrcGenerate(one) : QrcDichotomize(_vars[i], c.halves);
    g = QrcAnd(g, QrcAnd(var, new (m) ReplayCheck(m, _vars, &_replayMismatches)));
  }
  return g;
}

QrcSearch CostSearch::start(QrcManager& mgr, const CostCase& c, NestedCount* nested,
                            KeyMonitor* monitor) {
  QrcManagerI* m = mgr.getImpl();
  QrcGoal g = goal(c, nested);
  if (c.scenario == NestedOwnLimit || c.scenario == NestedCallerLimit)
    g = QrcAnd(g, new (m) NestedSolve(m, c.scenario == NestedOwnLimit ? c.limit : 0,
                                      c.scenario == NestedCallerLimit, nested));
  QrcSearch s(mgr, g);
  if (c.kind != DepthFirst) s.setMonitor(monitor);
  if (c.kind == Spilled) s.setFileNodeOptions(5000000, c.compress, c.disk, 0);
  s.setObjMin(_cost, 1, 0.0);
  setLimit(m, c);
  return s;
}

void CostSearch::setLimit(QrcManagerI* m, const CostCase& c) const {
  bool limited = c.scenario == LimitThenRestart || c.scenario == RestartLoop;
  if (limited && c.choicePoints)
    m->setChoicePointLimit(c.limit);
  else if (limited || c.scenario == NestedCallerLimit)
    m->setFailLimit(c.limit);
}

void CostSearch::runOut(QrcSearch& s, bool afterRestart) {
  bool first = true;
  while (s.next()) {
    if (++_solutions > 10000) return problem("more than 10000 solutions");
    std::vector<QrcInt> v;
    for (QrcInt i = 0; i < _vars.getSize(); ++i) {
      if (!_vars[i].isBound()) return problem("a solution leaves a variable unbound");
      v.push_back(_vars[i].getValue());
    }
    if (!_model.holds(v)) return problem("a solution breaks the model");
    QrcInt cost = _cost.getValue();
    if (cost != _model.costOf(v)) return problem("a solution's cost is wrong");
    if (_found && (first && afterRestart ? cost > _best : cost >= _best))
      return problem("a solution does not improve on the last");
    first = false;
    _found = true;
    _best = cost;
  }
}

void CostSearch::expectOptimum(const char* when) {
  QrcInt best = 0;
  bool any = _model.optimum(&best);
  if (_found != any || (any && _best != best))
    problem(std::string("best ") + (_found ? std::to_string(_best) : "none") + ", optimum " +
            (any ? std::to_string(best) : "none") + when);
}

void CostSearch::checkEnd(QrcManagerI* m, const CostCase& c, const NestedCount& nested) {
  int status = m->getStatus();
  if (c.scenario == RunOut || c.scenario == NestedOwnLimit || c.scenario == NestedKeeps) {
    // No limit of the search's own: it runs out, at the optimum.
    if (status != QrcSearchExhausted) problem("status " + std::to_string(status) + ", no limit");
    expectOptimum(" (ran out)");
    if (nested.stopped != (c.scenario == NestedOwnLimit ? nested.solves : 0))
      problem("the nested stops do not match the nested limit");
    return;
  }
  // Ran out: at the optimum; stopped: by a limit that the counters reached.
  if (status == QrcSearchExhausted) expectOptimum(" (ran out under a limit)");
  if (status == QrcSearchLimited && !m->isLimitReached()) problem("limited, under the limit");
  if (status != QrcSearchExhausted && status != QrcSearchLimited)
    problem("status " + std::to_string(status) + " under a limit");
  // A nested search stopped by the caller's limit stops the caller too.
  if (nested.stopped && status != QrcSearchLimited) problem("a nested stop, not limited");
}

std::string CostSearch::run(const CostCase& c, const std::string& prefix) {
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  m->setNodeFilePrefix(prefix.c_str());
  if (!build(mgr)) {
    expectOptimum(" (failed at the root)");
    mgr.end();
    return _problem;
  }
  m->useExceptions(c.exceptions);
  NestedCount nested;
  KeyMonitor monitor(c.kind >= BestFirst ? c.key : -1);
  QrcSizeAllocatorI* sizes = m->getSizeAllocator();
  void* ballast = c.kind == Spilled ? sizes->allocateSized(SpillBallast) : nullptr;
  QrcSearch s = start(mgr, c, &nested, &monitor);
  runOut(s, false);
  if (_problem.empty()) checkEnd(m, c, nested);
  for (int i = 0; i < 4 && c.scenario == RestartLoop && _problem.empty(); ++i) {
    // Each run under a new limit, after one restart or two: never worse than
    // the best found before.
    setLimit(m, c);
    nested = NestedCount();
    s.restart();
    if (i % 2) s.restart();
    runOut(s, true);
    if (_problem.empty()) checkEnd(m, c, nested);
  }
  if (_problem.empty() && c.scenario != RunOut && c.scenario != NestedOwnLimit &&
      c.scenario != NestedKeeps) {
    // Without limits, from the root again: to the optimum, found once more.
    m->unsetLimits();
    bool before = _found;
    _solutions = 0;
    s.restart();
    if (m->getStatus() != QrcSearchSolution) problem("the restart keeps the status");
    runOut(s, true);
    if (m->getStatus() != QrcSearchExhausted)
      problem("status " + std::to_string(m->getStatus()) + " after the restart");
    expectOptimum(" (after the restart)");
    if (before && _solutions == 0) problem("the best solution is not found after the restart");
  }
  s.end();
  if (_replayMismatches) problem("a replay met other domains than its path");
  _files = m->nextNodeFileNumber();
  if (ballast) sizes->freeSized(ballast, SpillBallast);
  if (sizes->getBytesInUse() != 0) problem("nodes left after the search");
  mgr.end();
  return _problem;
}

const char* const kKindNames[] = {"depth-first", "stored", "best-first", "spilled"};
const char* const kScenarioNames[] = {"run out",          "limit then restart",
                                      "nested own limit", "nested caller limit",
                                      "nested keeps",     "restart loop"};

std::string spillPrefix() {
  return "qrcrandomsearch_" + std::to_string(getpid()) + "_";
}

std::string describe(const CostCase& c) {
  return std::string(kKindNames[c.kind]) + ", " + kScenarioNames[c.scenario] + ", key " +
         std::to_string(c.key) + ", halves " + std::to_string(c.halves) + ", limit " +
         std::to_string(c.limit) + (c.choicePoints ? " choice points" : " fails") +
         (c.keptAt >= 0 ? ", kept nested solve at " + std::to_string(c.keptAt) : "");
}

TEST(RandomSearch, ObjectiveOptimumAndEndStatusInEverySearchKind) {
  uint64_t seed = qrotest::seedOr(103);
  std::mt19937_64 rng(seed), later(seed + 1);
  std::string path = testing::TempDir() + spillPrefix();
  QrcInt files = 0;
  for (int round = 0; round < 12; ++round) {
    CostModel model = drawCostModel(rng);
    for (int kind = DepthFirst; kind <= Spilled; ++kind)
      for (int scenario = RunOut; scenario <= RestartLoop; ++scenario) {
        // The later scenarios draw from a stream of their own: the earlier
        // ones meet the cases they always met.
        CostCase c = CostCase::draw(static_cast<SearchKind>(kind), static_cast<Scenario>(scenario),
                                    round % 2 == 1, scenario < NestedKeeps ? rng : later);
        // Spill files cost time: the later scenarios spill in a third of the rounds.
        if (kind == Spilled && scenario >= NestedKeeps && round % 3 != 0) continue;
        CostSearch search(model);
        ASSERT_EQ(search.run(c, path), "")
            << "seed " << seed << " round " << round << ", " << describe(c);
        files += search.getFileCount();
      }
  }
  EXPECT_GT(files, 0);
  EXPECT_TRUE(enginetest::filesWithPrefix(testing::TempDir(), spillPrefix()).empty());
}

// -2 x + 3 y + 3 z over [0, 3]^3, least at x = 3, y = z = 0. Once a solution
// is known, the bound narrows y and z at every node.
CostModel freeCostModel() {
  CostModel model;
  model.lo = {0, 0, 0};
  model.hi = {3, 3, 3};
  model.cost = {-2, 3, 3};
  return model;
}

// A stored node's path is replayed before the bound is applied, whatever the
// key: applied first, the bound narrows the variables that the path's choices
// are about, and the goals replay other choices than the path's.
TEST(RandomSearch, BestFirstReplaysAStoredNodeBeforeItsBound) {
  std::string path = testing::TempDir() + spillPrefix();
  for (SearchKind kind : {BestFirst, Spilled})
    for (int key = 0; key < 3; ++key)
      for (int halves = -1; halves <= 1; ++halves) {
        CostCase c{kind, RunOut, false, key, halves, 0, false, 1, 0};
        testing::internal::CaptureStdout();
        std::string problem = CostSearch(freeCostModel()).run(c, path);
        std::string trace = testing::internal::GetCapturedStdout();
        EXPECT_EQ(problem, "") << describe(c);
        EXPECT_EQ(trace, "") << describe(c);
      }
}

// A limit stops the search that reached it, and until it restarts: after
// unsetLimits and restart the search runs to the optimum and ends exhausted;
// a nested search stopped by its own limit leaves the outer one going; the
// caller's limit reached inside a nested solve ends the outer one as limited.
TEST(RandomSearch, ALimitStopsOnlyTheSearchThatReachedIt) {
  std::string path = testing::TempDir() + spillPrefix();
  const CostCase cases[] = {
      {DepthFirst, LimitThenRestart, false, 0, -1, 2, false, 0, 0},
      {DepthFirst, LimitThenRestart, true, 0, 0, 3, true, 0, 0},
      {Stored, LimitThenRestart, false, 0, -1, 2, false, 0, 0},
      {BestFirst, LimitThenRestart, false, 0, -1, 3, true, 0, 0},
      {DepthFirst, NestedOwnLimit, false, 0, -1, 1, false, 0, 0},
      {Stored, NestedOwnLimit, true, 0, 1, 2, false, 0, 0},
      {BestFirst, NestedOwnLimit, false, 1, -1, 3, false, 0, 0},
      {DepthFirst, NestedCallerLimit, false, 0, -1, 6, false, 0, 0},
      {BestFirst, NestedCallerLimit, true, 2, -1, 6, false, 0, 0},
  };
  for (const CostCase& c : cases)
    EXPECT_EQ(CostSearch(freeCostModel()).run(c, path), "") << describe(c);
}

// A search that a limit stopped answers 0 with the status that ended it, also
// after a solve of the caller's has set another.
TEST(RandomSearch, AnEndedSearchKeepsItsStatusAcrossLaterSolves) {
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  QrcIntVarArray x(mgr, 3, 0, 1);
  QrcSearch s(mgr, QrcAnd(QrcGenerate(x), QrcGoalFail(mgr)));
  m->setFailLimit(2);
  EXPECT_FALSE(s.next());
  EXPECT_EQ(m->getStatus(), QrcSearchLimited);
  m->unsetLimits();
  EXPECT_TRUE(mgr.solve(QrcGoalTrue(mgr)));
  EXPECT_EQ(m->getStatus(), QrcSearchSolution);
  EXPECT_FALSE(s.next());
  EXPECT_EQ(m->getStatus(), QrcSearchLimited);
  s.end();
  mgr.end();
}

// Without an objective, over 4 variables in {0, 1}: at each of the 16 leaves a
// goal solves a nested search that fails three times, then the leaf fails
// when the last variable is 1. A caller's time limit is passed before the
// search starts. Answers the status and counts the solutions.
int runNestedSolves(SearchKind kind, QrcInt ownLimit, QrcInt callerLimit, NestedCount* count,
                    int* found, bool callerTimeLimit = false) {
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  QrcIntVarArray x(mgr, 4, 0, 1);
  QrcGoal leaf = QrcAnd(new (m) NestedSolve(m, ownLimit, false, count), QrcRemoveValue(x[3], 1));
  QrcSearch s(mgr, QrcAnd(QrcGenerate(x), leaf));
  KeyMonitor monitor(kind == BestFirst ? 0 : -1);
  if (kind != DepthFirst) s.setMonitor(&monitor);
  if (callerLimit) m->setFailLimit(callerLimit);
  if (callerTimeLimit) {
    m->setTimeLimit(1e-9);
    volatile double sink = 0;
    for (double t = cpuTime(); cpuTime() - t < 1e-4;) sink = sink + 1;
  }
  while (s.next()) ++*found;
  int status = m->getStatus();
  s.end();
  mgr.end();
  return status;
}

// A nested search under a fail limit of 1 that the goal sets and unsets
// leaves the outer search going to all its solutions. The caller's limit,
// reached inside the first nested search, stops the outer search at its next
// failure, after the first leaf's solution.
TEST(RandomSearch, ANestedStopLeavesTheOuterSearchGoing) {
  for (SearchKind kind : {DepthFirst, Stored, BestFirst}) {
    NestedCount own;
    int found = 0;
    EXPECT_EQ(runNestedSolves(kind, 1, 0, &own, &found), QrcSearchExhausted) << kKindNames[kind];
    EXPECT_EQ(found, 8) << kKindNames[kind];
    EXPECT_EQ(own.stopped, 16) << kKindNames[kind];
    NestedCount caller;
    found = 0;
    EXPECT_EQ(runNestedSolves(kind, 0, own.firstFails + 2, &caller, &found), QrcSearchLimited)
        << kKindNames[kind];
    EXPECT_GT(caller.stopped, 0) << kKindNames[kind];
    EXPECT_LT(found, 8) << kKindNames[kind];
    // A caller's time limit: the first nested search reads the clock and
    // finds it passed; the outer search checks in the same clock tick,
    // microseconds later, and stops at its next failure too (best-first
    // before any leaf: it fails first).
    NestedCount timed;
    found = 0;
    EXPECT_EQ(runNestedSolves(kind, 0, 0, &timed, &found, true), QrcSearchLimited)
        << kKindNames[kind];
    EXPECT_EQ(timed.stopped, kind == BestFirst ? 0 : 2) << kKindNames[kind];
    EXPECT_EQ(found, kind == BestFirst ? 0 : 1) << kKindNames[kind];
  }
}

}  // namespace
