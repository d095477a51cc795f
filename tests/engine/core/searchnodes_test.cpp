// Searches with open-node storage and recomputation. It includes the engine's
// private node-storage and random-source headers to read the nodes a search
// stores and the draws it replays.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/core/qrcnodestorage.h"
#include "engine/core/qrcsearchnode.h"
#include "engine_fixtures.h"
#include "qrcmanager.h"
#include "qrcrandom.h"
#include "qrcsizealloc.h"
#include "qrcsearch.h"

using namespace enginetest;

namespace {

class ThrowingReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { throw code; }
};

// key = a function of the node's path.
class PathEvaluator : public QrcNodeEvaluatorI {
 public:
  enum Kind { FewestMinus, Shallowest };
  explicit PathEvaluator(Kind kind) : _kind(kind) {}
  QrcFloat evaluate(const QrcSearchNode* node) override {
    if (_kind == Shallowest) return static_cast<QrcFloat>(node->getPathLength());
    return static_cast<QrcFloat>(node->getMinusCount() - node->getPathLength());
  }

 private:
  Kind _kind;
};

// Turns node storage on; with an evaluator kind, gives the root node its
// evaluator (children inherit it) and fattens it with history when asked.
class NodeMonitor : public QrcSearchEventMonitorI {
 public:
  NodeMonitor(int kind = -1, int history = 0) : _kind(kind), _history(history) {}
  void nodeCreated(void* p) override {
    QrcSearchNode* node = static_cast<QrcSearchNode*>(p);
    ++created;
    if (_kind < 0 || node->getEvaluator(0)) return;
    node->setEvaluator(0, new PathEvaluator(static_cast<PathEvaluator::Kind>(_kind)));
    for (int i = 0; i < _history; ++i) node->addHistory(i);
  }
  void afterRestoring(void*) override { ++restored; }
  int created = 0;
  int restored = 0;

 private:
  int _kind;
  int _history;
};

class SearchNodesTest : public testing::Test {
 protected:
  void SetUp() override {
    log().clear();
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
  }
  void TearDown() override { mgr.end(); }
  // A binary tree of or-goals: each leaf logs its path of - and +.
  QrcGoal tree(const std::string& prefix, int depth) {
    if (depth == 0) {
      names.push_back(prefix);
      return new (m) LogGoal(m, names.back().c_str());
    }
    return QrcOr(tree(prefix + "-", depth - 1), tree(prefix + "+", depth - 1));
  }
  // Solutions in order, one per entry.
  std::vector<std::string> run(const QrcGoal& g, QrcSearchEventMonitorI* monitor, QrcInt limit = 0,
                               QrcInt* files = nullptr) {
    QrcSearch s(mgr, g);
    if (monitor) s.setMonitor(monitor);
    if (limit || traceFlags) s.setFileNodeOptions(limit, 0, 1, traceFlags);
    std::vector<std::string> out;
    log().clear();
    while (s.next()) {
      out.push_back(log());
      log().clear();
      if (files && s.getImpl()->getNodeStorage())
        *files = std::max(*files, s.getImpl()->getNodeStorage()->fileCounter());
    }
    s.end();
    return out;
  }
  QrcManager mgr;
  QrcManagerI* m = nullptr;
  std::deque<std::string> names;
  QrcInt traceFlags = 0;
};

TEST_F(SearchNodesTest, NodeStorageFindsTheSameSolutions) {
  QrcGoal g = tree("", 4);
  std::vector<std::string> plain = run(g, nullptr);
  ASSERT_EQ(plain.size(), 16u);
  NodeMonitor monitor;
  std::vector<std::string> stored = run(g, &monitor, 5000000);
  EXPECT_EQ(stored, plain);  // without keys the newest node comes first: depth-first order
  EXPECT_GT(monitor.created, 1);
  EXPECT_EQ(m->getOrRecordCount(), 0);
  NodeMonitor bestFirst(PathEvaluator::Shallowest);
  std::vector<std::string> breadth = run(g, &bestFirst, 5000000);
  EXPECT_GT(bestFirst.restored, 0);
  std::sort(plain.begin(), plain.end());
  std::sort(breadth.begin(), breadth.end());
  EXPECT_EQ(breadth, plain);
}

TEST_F(SearchNodesTest, NodesComeOutBestFirst) {
  NodeMonitor monitor(PathEvaluator::FewestMinus);
  std::vector<std::string> out = run(tree("", 2), &monitor);
  EXPECT_EQ(out, (std::vector<std::string>{"++ ", "+- ", "-+ ", "-- "}));
  EXPECT_GT(m->getRecomputedChoiceCount(), 0);
}

QrcGoalI* failWithLabel(QrcManagerI* m, void* label) {
  log() += "x ";
  m->fail(label);
}

TEST_F(SearchNodesTest, LabelledFailuresCutTheirSubtree) {
  static const char l1 = 0, l2 = 0, l3 = 0;
  // Depth-first, and breadth-first (z comes before the failure that cuts y).
  for (int kind : {-1, static_cast<int>(PathEvaluator::Shallowest)}) {
    SCOPED_TRACE(kind);
    QrcGoal inner = QrcOr(new (m) CallGoal(m, failWithLabel, const_cast<char*>(&l1)),
                          new (m) LogGoal(m, "y"), &l2);
    QrcGoal g = QrcOr(inner, new (m) LogGoal(m, "z"), &l1);
    NodeMonitor monitor(kind);
    std::vector<std::string> out = run(g, &monitor);
    EXPECT_EQ(out, std::vector<std::string>{kind < 0 ? "x z " : "z "});
    EXPECT_EQ(m->getStatus(), QrcSearchExhausted);
    QrcGoal g2 = QrcOr(new (m) CallGoal(m, failWithLabel, const_cast<char*>(&l3)),
                       new (m) LogGoal(m, "w"), &l2);
    NodeMonitor monitor2(kind);
    EXPECT_TRUE(run(g2, &monitor2).empty());
    EXPECT_EQ(m->getStatus(), QrcSearchFailedLabel);
  }
}

TEST_F(SearchNodesTest, SpillsOpenNodesDuringASearch) {
  std::string prefix = "qrcsearchnodes_" + std::to_string(getpid()) + "_";
  std::string path = testing::TempDir() + prefix;
  m->setNodeFilePrefix(path.c_str());
  QrcGoal g = tree("", 12);
  std::vector<std::string> plain = run(g, nullptr);
  ASSERT_EQ(plain.size(), 4096u);
  NodeMonitor monitor(PathEvaluator::Shallowest, 100);
  QrcInt files = 0;
  std::vector<std::string> stored = run(g, &monitor, 5000000, &files);
  EXPECT_GT(files, 0);
  EXPECT_TRUE(filesWithPrefix(testing::TempDir(), prefix).empty());
  std::sort(plain.begin(), plain.end());
  std::sort(stored.begin(), stored.end());
  EXPECT_EQ(stored, plain);
  EXPECT_EQ(m->getSizeAllocator()->getBytesInUse(), 0);
}

// Where a spilling search throws once it has made a spill file: at a child's
// nodeCreated, at a node's evaluation, at the news that a node is discarded
// (a fail limit cuts every node), or at a node's destruction, the one
// numbered `from` of them (the second branch of a choice for 1); once, or at
// every such event from then on.
struct Escape {
  enum Event { Created, Evaluated, Discarded, Destroyed };
  Event at;
  int from;
  bool every;
  QrcSearchI* search;
  int heard;
  void hear(Event e) {
    QrcNodeStorageI* storage = search ? search->getNodeStorage() : nullptr;
    if (e != at || !storage || storage->fileCounter() == 0) return;
    if (heard++ == from || (every && heard > from)) throw this;
  }
};

class EscapeEvaluator : public PathEvaluator {
 public:
  explicit EscapeEvaluator(Escape* escape) : PathEvaluator(Shallowest), _escape(escape) {}
  QrcFloat evaluate(const QrcSearchNode* node) override {
    _escape->hear(Escape::Evaluated);
    return PathEvaluator::evaluate(node);
  }

 private:
  Escape* _escape;
};

// Breadth first over nodes fattened by 1000 history values.
class EscapeMonitor : public QrcSearchEventMonitorI {
 public:
  explicit EscapeMonitor(Escape* escape) : _escape(escape) {}
  void nodeCreated(void* p) override {
    QrcSearchNode* node = static_cast<QrcSearchNode*>(p);
    if (node->getEvaluator(0)) return _escape->hear(Escape::Created);
    node->setEvaluator(0, new EscapeEvaluator(_escape));
    for (int i = 0; i < 1000; ++i) node->addHistory(i);
  }
  void fourthEvent(void*, QrcInt) override { _escape->hear(Escape::Discarded); }
  void secondEvent() override { _escape->hear(Escape::Destroyed); }

 private:
  Escape* _escape;
};

// An exception from an event about a node gives the node back, whichever
// event it is, and no spill file outlives the search: after the exception
// leaves next, after an end that the destruction event leaves, and after
// the manager's end while the search holds spill files.
TEST_F(SearchNodesTest, AnEscapingNodeEventGivesItsNodeBackAndLeavesNoSpillFile) {
  std::string prefix = "qrcescape_" + std::to_string(getpid()) + "_";
  std::string path = testing::TempDir() + prefix;
  auto spillFiles = [&] { return filesWithPrefix(testing::TempDir(), prefix).size(); };
  enum Way { InNext, AtEnd, AtManagerEnd };
  const struct {
    Escape::Event at;
    int from;
    bool every;
    Way way;
  } rows[] = {{Escape::Created, 0, false, InNext},   {Escape::Created, 1, false, InNext},
              {Escape::Evaluated, 1, false, InNext}, {Escape::Discarded, 0, false, InNext},
              {Escape::Destroyed, 0, false, InNext}, {Escape::Destroyed, 0, true, InNext},
              {Escape::Destroyed, 0, true, AtEnd},   {Escape::Destroyed, 0, true, AtManagerEnd}};
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message()
                 << row.at << " " << row.from << " " << row.every << " " << row.way);
    m->setNodeFilePrefix(path.c_str());
    Escape escape{row.at, row.from, row.every, nullptr, 0};
    EscapeMonitor monitor(&escape);
    QrcSearch s(mgr, tree("", 9));
    s.setMonitor(&monitor);
    s.setFileNodeOptions(5000000, 0, 1, 0);
    if (row.way == InNext) escape.search = s.getImpl();
    if (row.at == Escape::Discarded) m->setFailLimit(500);
    bool escaped = false;
    try {
      while (s.next())
        if (!escape.search && spillFiles() > 0) break;
    } catch (Escape*) {
      escaped = true;
    }
    EXPECT_EQ(escaped, row.way == InNext);
    m->unsetLimits();
    escape.search = s.getImpl();
    if (row.way == InNext) {
      EXPECT_EQ(spillFiles(), 0u);
      EXPECT_EQ(m->getSizeAllocator()->getBytesInUse(), 0);
      EXPECT_FALSE(s.next());
      EXPECT_EQ(m->getStatus(), QrcSearchLimited);
    } else {
      ASSERT_GT(spillFiles(), 0u);
    }
    if (row.way == AtManagerEnd) {
      mgr.end();
      mgr = QrcManager(QrcNoEdit);
      m = mgr.getImpl();
    } else {
      try {
        s.end();
      } catch (Escape*) {
        escaped = true;
      }
      EXPECT_TRUE(escaped);
      EXPECT_EQ(s.getImpl(), nullptr);
      EXPECT_EQ(m->getSearchDepth(), 0);
      EXPECT_EQ(m->getSizeAllocator()->getBytesInUse(), 0);
    }
    EXPECT_EQ(spillFiles(), 0u);
  }
}

// Draws a number and checks that recomputation gives back the first draw.
struct Draws {
  std::map<std::string, double> first;
  int replayed = 0;
  int mismatches = 0;
  int redrawn = 0;
};

class DrawGoal : public QrcGoalI {
 public:
  DrawGoal(QrcManagerI* m, const char* name, Draws* draws)
      : QrcGoalI(m), _name(name), _draws(draws) {}
  QrcGoalI* execute() override {
    double v = QrcGetRandom(_manager)->getFloat();
    if (_manager->isRecomputing()) {
      ++_draws->replayed;
      if (_draws->first.count(_name) == 0 || _draws->first[_name] != v) ++_draws->mismatches;
    } else {
      if (_draws->first.count(_name)) ++_draws->redrawn;
      _draws->first[_name] = v;
    }
    return nullptr;
  }

 private:
  const char* _name;
  Draws* _draws;
};

TEST_F(SearchNodesTest, RandomDrawsReplayDuringRecomputation) {
  Draws draws;
  std::function<QrcGoal(const std::string&, int)> build = [&](const std::string& prefix,
                                                              int depth) -> QrcGoal {
    names.push_back(prefix);
    QrcGoal draw = new (m) DrawGoal(m, names.back().c_str(), &draws);
    if (depth == 0) return QrcAnd(draw, new (m) LogGoal(m, names.back().c_str()));
    return QrcAnd(draw, QrcOr(build(prefix + "-", depth - 1), build(prefix + "+", depth - 1)));
  };
  QrcGoal g = build("r", 4);
  NodeMonitor monitor(PathEvaluator::Shallowest);
  std::vector<std::string> out = run(g, &monitor);
  EXPECT_EQ(out.size(), 16u);
  EXPECT_EQ(draws.first.size(), 31u);
  EXPECT_GT(draws.replayed, 0);
  EXPECT_EQ(draws.mismatches, 0);
  EXPECT_EQ(draws.redrawn, 0);
  // Depth-first search with node storage replays nothing: no node is recomputed
  // beyond its own branch, and each draw is made once.
  Draws plain;
  draws = plain;
  NodeMonitor dfs;
  EXPECT_EQ(run(g, &dfs).size(), 16u);
  EXPECT_EQ(draws.mismatches, 0);
  EXPECT_EQ(draws.redrawn, 0);
}

TEST_F(SearchNodesTest, WithoutSearchDrawsComeFromTheGenerator) {
  QrcRandomI* r = QrcGetRandom(m);
  ASSERT_NE(r, nullptr);
  QrcSolverRandomTmpStateI* kept = r->copyState();
  std::vector<double> a, b;
  for (int i = 0; i < 5; ++i) a.push_back(r->getFloat());
  QrcRandomI other(m, 99);
  other.getState()->copy(*kept);
  for (int i = 0; i < 5; ++i) b.push_back(other.getFloat());
  EXPECT_EQ(a, b);
  // A reset keeps the sequence going.
  QrcSolverRandomTmpStateI* beforeReset = QrcGetRandom(m)->copyState();
  m->reset();
  QrcRandomI afterReset(m, 99);  // its state is on the emptied heap
  afterReset.getState()->copy(*beforeReset);
  EXPECT_EQ(QrcGetRandom(m)->getFloat(), afterReset.getFloat());
  delete kept;
  delete beforeReset;
  // Two generators with one seed agree.
  QrcRandomI s1(m, 7), s2(m, 7);
  EXPECT_EQ(s1.getFloat(), s2.getFloat());
}

QrcGoalI* switchToNodes(QrcManagerI* m, void* monitor) {
  m->getCurrentSearch()->setMonitor(static_cast<QrcSearchEventMonitorI*>(monitor));
  return nullptr;
}

TEST_F(SearchNodesTest, SetMonitorWhileRunningSwitchesToNodeStorage) {
  NodeMonitor monitor;
  QrcGoal g = QrcAnd(QrcOr(new (m) LogGoal(m, "a"), new (m) LogGoal(m, "b")),
                     QrcAnd(new (m) CallGoal(m, switchToNodes, &monitor), tree("", 2)));
  std::vector<std::string> plain =
      run(QrcAnd(QrcOr(new (m) LogGoal(m, "a"), new (m) LogGoal(m, "b")), tree("", 2)), nullptr);
  std::vector<std::string> switched = run(g, nullptr);
  EXPECT_EQ(switched, plain);
  EXPECT_GT(monitor.created, 0);
}

QrcGoalI* writeWhileRecomputing(QrcManagerI* m, void*) {
  if (m->isRecomputing()) m->writeInfo(1.0);
  return nullptr;
}

TEST_F(SearchNodesTest, InfoMisuseIsReported) {
  static ThrowingReporter reporter;
  m->setErrorReporter(&reporter);
  int code = 0;
  try {
    m->readInfo();
  } catch (int c) {
    code = c;
  }
  EXPECT_EQ(code, QrcSearchMisuseError);
  m->writeInfo(2.0);  // nothing to record outside node storage
  // The search is left broken by the report: the monitor must outlive the manager.
  static NodeMonitor monitor(PathEvaluator::Shallowest);
  QrcGoal g = QrcOr(QrcAnd(new (m) CallGoal(m, writeWhileRecomputing, nullptr), tree("", 1)),
                    new (m) LogGoal(m, "z"));
  code = 0;
  testing::internal::CaptureStderr();
  try {
    run(g, &monitor);
  } catch (int c) {
    code = c;
  }
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(code, QrcSearchMisuseError);
  EXPECT_NE(err.find("write info when recomputing"), std::string::npos);
}

}  // namespace
