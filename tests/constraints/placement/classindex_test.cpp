// The implication classes kept along the branch against the class rules that
// explore every class at every event. First the class rules alone: random
// graphs decide their pairs one by one and run the class rules of each
// event, each way, recording every edge and each failure. Then random
// placements at every box and not-overlap level are searched each way through
// a random tree of bindings: every binding of an edge or an orientation, in
// the order its demons run, every goal entered and the failures go into a
// trace, and the two traces must be the same. At every node no class or
// orientation rule of the reference (rules_reference.h), with the implication
// classes recomputed from scratch, may act any more.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "qrcbox.h"
#include "qrcintexp.h"
#include "placement_fixtures.h"
#include "rules_reference.h"
#include "qrcfail.h"
#include "qrcqueue.h"
#include "qrcsearch.h"
#include "support/seed.h"

namespace {

typedef std::vector<QroInt> Trace;

// Events of one propagation before the engine fails it, and the events
// allowed to a whole run: far above what a run needs, far below a walk.
const QrcInt StepLimit = 1000000;
const QrcInt EventBudget = 100000;

// Decides the pairs of a line in a random order, each to a random edge value,
// updates the pair states as the edge demon does and runs the class rules of
// the event directly; after each run the trace gets every edge (-1 free) and
// whether the run failed. All of it happens inside one propagation, which
// then fails, so that no other rule runs.
class DecideConstraint : public QrcConstraintI {
 public:
  DecideConstraint(QrcManagerI* m, placementtest::Line* l, uint64_t seed, Trace* t)
      : QrcConstraintI(m), _l(l), _seed(seed), _t(t) {}
  void post() override {}
  void propagate() override {
    QrcIntervalGraphI* g = _l->graph();
    int n = static_cast<int>(_l->boxes.size());
    std::mt19937_64 rng(_seed);
    std::vector<std::pair<int, int>> pairs;
    for (int i = 0; i < n; ++i)
      for (int j = i + 1; j < n; ++j) pairs.push_back({i, j});
    std::shuffle(pairs.begin(), pairs.end(), rng);
    try {
      for (const auto& p : pairs) {
        QrcIntExpI* e = g->getEdge(p.first, p.second);
        QrcInt v = e->isBound() ? e->getValue() : (rng() % 2 == 0 ? 1 : 0);
        e->setValue(v);
        g->edgeChanged(p.first, p.second);
        for (QroInt a, b, kind; g->getPendingTop() > 0;) {
          g->popEvent(a, b, kind);
          if (kind == 0) g->classRulesDisjoint(a, b);
          if (kind == 1) g->classRulesOverlap(a, b);
          record(g, n);
        }
      }
    } catch (QrcFailException&) {
      _t->push_back(-2);
    }
    fail();
  }

 private:
  void record(QrcIntervalGraphI* g, int n) {
    for (int i = 0; i < n; ++i)
      for (int j = i + 1; j < n; ++j) {
        QrcIntExpI* e = g->getEdge(i, j);
        _t->push_back(e->isBound() ? e->getValue() : -1);
      }
  }
  placementtest::Line* _l;
  uint64_t _seed;
  Trace* _t;
};

Trace decideAll(uint64_t seed, bool indexed) {
  std::mt19937_64 rng(seed);
  std::vector<QroInt> sizes(5 + rng() % 5);
  for (QroInt& s : sizes) s = 1 + static_cast<QroInt>(rng() % 4);
  placementtest::Line l(40, sizes, static_cast<int>(rng() % 3));
  l.registerAll();
  l.graph()->setClassIndex(indexed);
  Trace t;
  QrcSearch s(l.mgr, QrcGoal(new (l.m) DecideConstraint(l.m, &l, rng(), &t)));
  s.next();
  s.end();
  return t;
}

TEST(PlacementClassIndex, ClassRulesBindAndFailAsExploringEveryClass) {
  size_t runs = 0, changed = 0, failed = 0;
  for (uint64_t r = 0; r < 300; ++r) {
    uint64_t seed = qrotest::seedOr(900) + r;
    Trace plain = decideAll(seed, false);
    ASSERT_EQ(decideAll(seed, true), plain) << "seed " << seed;
    ++runs;
    failed += !plain.empty() && plain.back() == -2;
    // Runs whose bindings go beyond the decided pair.
    for (size_t k = 1; k < plain.size(); ++k) changed += plain[k] >= 0 && plain[k - 1] >= 0;
  }
  // Most runs bind beyond the decided pairs; a few find a class holding both
  // directions of a pair.
  EXPECT_GT(failed, 0u);
  EXPECT_LT(failed, runs);
  EXPECT_GT(changed, runs);
}

// Appends code and value of a pair variable when it is bound.
class RecordDemon : public QrcDemonI {
 public:
  RecordDemon(QrcManagerI* m, Trace* t, QroInt code, QrcIntExpI* v)
      : QrcDemonI(m), _t(t), _code(code), _v(v) {}
  void propagate() override { _t->push_back(4 * _code + _v->getValue()); }

 private:
  Trace* _t;
  QroInt _code;
  QrcIntExpI* _v;
};

struct Model {
  QrcManager mgr;
  QrcManagerI* m;
  QrcBoxI* container;
  std::vector<QrcIntExpI*> origins, activities, pairs;
  std::vector<QrcIntervalGraphI*> graphs;
  Trace trace;
  // Classes checked at the nodes, and the first rule found able to act.
  size_t classes = 0;
  std::string defect;
  std::mt19937_64 rng;
  // Every member is placed by the first goal; else only the bindings may
  // place them, and the pseudo origins of the others span the integer range.
  bool placeAll;
  // One dimension of room for every order: the pairs more than the
  // coordinates decide the tree.
  bool loose;
  Model(uint64_t seed, const int* levels, bool indexed);
  ~Model() { mgr.end(); }
  void checkFixpoint();
};

// A node's classes hold no pair both ways, no undecided pair on a path and
// no undecided pair ordered both ways; its orders are closed under the
// orientation rules; its bit sets and witness votes are those recounted.
void Model::checkFixpoint() {
  for (QrcIntervalGraphI* g : graphs) {
    std::string index = placementtest::indexDefect(g, true);
    if (!index.empty() && defect.empty()) defect = index;
    placementtest::GraphView v(g);
    std::set<placementtest::Arc> seen;
    for (int x = 0; x < v.n; ++x)
      for (int y = 0; y < v.n; ++y) {
        if (x == y || v.state(x, y) != 0 || seen.count({x, y})) continue;
        placementtest::ImplicationClass c = placementtest::implicationClass(v, x, y);
        for (const placementtest::Arc& a : c) {
          seen.insert(a);
          seen.insert({a.second, a.first});
        }
        ++classes;
        std::vector<placementtest::Arc> d = placementtest::classDefects(v, c);
        if (!d.empty() && defect.empty())
          defect = "class of (" + std::to_string(x) + ", " + std::to_string(y) + "), pair (" +
                   std::to_string(d[0].first) + ", " + std::to_string(d[0].second) + ")";
      }
    // No orientation rule of a decided pair may act any more.
    for (int x = 0; x < v.n; ++x)
      for (int y = x + 1; y < v.n; ++y) {
        placementtest::Expected w(v);
        if (v.state(x, y) == 0) placementtest::refOrientationRulesDisjoint(w, x, y);
        if (v.state(x, y) == 1) placementtest::refOrientationRulesOverlap(w, x, y);
        if ((w.fail || !w.edges.empty() || !w.orients.empty()) && defect.empty())
          defect = "orientation rules of (" + std::to_string(x) + ", " + std::to_string(y) + ")";
      }
  }
}

// 1-D or 2-D, 6 to 8 members of sizes 1 to 5, coordinates over a container
// wide enough for every order; loose: 1-D, 8 to 10 members, twice as wide.
// Levels: box, not-overlap (-1: none), members placed first, loose.
Model::Model(uint64_t seed, const int* levels, bool indexed)
    : mgr(QrcNoEdit), m(mgr.getImpl()), rng(seed), placeAll(levels[2] == 1), loose(levels[3] == 1) {
  m->getPropagationQueue()->setStepLimit(StepLimit);
  int boxLevel = levels[0], notOverlapLevel = levels[1];
  QrcInt k = 1 + static_cast<QrcInt>(rng() % 2), n = 6 + static_cast<QrcInt>(rng() % 3);
  if (loose) {
    k = 1;
    n += 2;
  }
  QroInt S[2] = {(loose ? 6 : 3) * n, 4};
  container = QrcBox(k, QrcIntVarArray(mgr, k, 0, 0), QrcIntArray(mgr, k, S)).getImpl();
  container->setFilterLevel(boxLevel);
  for (QrcInt i = 0; i < n; ++i) {
    QroInt sizes[2] = {1 + static_cast<QroInt>(rng() % 5), 1 + static_cast<QroInt>(rng() % 2)};
    QrcIntVarArray o(mgr, k);
    for (QrcInt d = 0; d < k; ++d) {
      o.set(d, QrcIntVar(mgr, 0, S[d] - sizes[d]));
      origins.push_back(o[d].getImpl());
    }
    container->registerBox(QrcBox(k, o, QrcIntArray(mgr, k, sizes)).getImpl());
    activities.push_back(container->getActivity(i));
  }
  for (QrcInt d = 0; d < k; ++d) {
    QrcIntervalGraphI* g = container->getGraph(d);
    graphs.push_back(g);
    g->setClassIndex(indexed);
    for (QrcInt i = 0; i < n; ++i)
      for (QrcInt j = i + 1; j < n; ++j)
        for (QrcIntExpI* v : {g->getEdge(i, j), g->getOrientation(i, j)}) {
          QroInt code = static_cast<QroInt>(pairs.size());
          pairs.push_back(v);
          v->whenValue(new (m) RecordDemon(m, &trace, code, v));
        }
  }
  if (notOverlapLevel >= 0) {
    QrcConstraintI* no = container->getNotOverlapConstraint();
    no->setFilterLevel(notOverlapLevel);
    m->add(no);
  }
}

class BindGoal : public QrcGoalI {
 public:
  BindGoal(QrcManagerI* m, Model* d, QroInt mark, QrcIntExpI* x, QrcInt v)
      : QrcGoalI(m), _d(d), _mark(mark), _x(x), _v(v) {}
  QrcGoalI* execute() override {
    _d->trace.push_back(-1 - _mark);
    _x->setValue(_v);
    _d->checkFixpoint();
    return nullptr;
  }

 private:
  Model* _d;
  QroInt _mark;
  QrcIntExpI* _x;
  QrcInt _v;
};

// Both branches of a random binding at each of depth levels.
class StepGoal : public QrcGoalI {
 public:
  StepGoal(QrcManagerI* m, Model* model, int depth) : QrcGoalI(m), _model(model), _depth(depth) {}
  QrcGoalI* execute() override {
    if (_model->placeAll) {
      _model->placeAll = false;
      for (QrcIntExpI* a : _model->activities) a->setValue(1);
    }
    if (_depth == 0) return nullptr;
    QrcManagerI* m = _manager;
    QrcGoalI* next = new (m) StepGoal(m, _model, _depth - 1);
    QrcGoalI* left = new (m) QrcAndII(m, randomBinding(), next);
    QrcGoalI* right = new (m) QrcAndII(m, randomBinding(), next);
    return new (m) QrcOrI(m, left, right, nullptr);
  }

 private:
  QrcGoalI* randomBinding() {
    Model* d = _model;
    QroInt draw = static_cast<QroInt>(d->rng() % 100), mark = 2 + draw;
    QrcInt bit = static_cast<QrcInt>(d->rng() % 2);
    QrcIntExpI* x;
    QrcInt v = bit;
    if (draw < (d->loose ? 92 : 65)) {
      x = d->pairs[d->rng() % d->pairs.size()];
    } else if (draw < 80) {
      x = d->activities[d->rng() % d->activities.size()];
      v = 1;
    } else {
      x = d->origins[d->rng() % d->origins.size()];
      v = static_cast<QrcInt>(d->rng() % 12);
    }
    return new (_manager) BindGoal(_manager, d, mark, x, v);
  }
  Model* _model;
  int _depth;
};

// The trace, then the number of failures; with the events processed, the
// classes checked and the first defect found.
Trace run(uint64_t seed, const int* levels, bool indexed, QrcInt& events, size_t& classes,
          std::string& defect) {
  Model model(seed, levels, indexed);
  QrcSearch s(model.mgr, QrcGoal(new (model.m) StepGoal(model.m, &model, model.loose ? 9 : 7)));
  while (s.next()) model.trace.push_back(-2);
  s.end();
  model.trace.push_back(model.m->getFails());
  events = model.m->getPropagationQueue()->getEventsProcessed();
  classes += model.classes;
  defect = model.defect;
  return model.trace;
}

TEST(PlacementClassIndex, BindsAndFailsAsExploringEveryClass) {
  // Box level, not-overlap level (-1: none), members placed first, loose. At
  // box level 2 with members not placed, some seeds close cycles of pseudo
  // orders, whose propagation must fail without walking the pseudo origins:
  // those rows run 48 seeds, the others 4 (8 with QRO_TEST_FULL=1).
  const int levels[][4] = {{0, -1, 0, 0}, {1, -1, 0, 0}, {2, -1, 1, 0}, {0, 0, 0, 0},
                           {1, 1, 0, 0},  {2, 2, 1, 0},  {2, -1, 0, 0}, {2, 2, 0, 0},
                           {0, -1, 0, 1}, {1, 1, 0, 1},  {2, -1, 1, 1}, {2, 2, 1, 1}};
  const uint64_t seeds = static_cast<uint64_t>(qrotest::draws(4, 8));
  size_t bindings = 0, failures = 0, classes = 0;
  for (const auto& l : levels)
    for (uint64_t r = 0; r < (l[0] == 2 && l[2] == 0 ? 48u : seeds); ++r) {
      uint64_t seed = qrotest::seedOr(700) + r;
      QrcInt plainEvents, indexedEvents;
      std::string plainDefect, indexedDefect;
      Trace plain = run(seed, l, false, plainEvents, classes, plainDefect),
            indexed = run(seed, l, true, indexedEvents, classes, indexedDefect);
      std::string what = "seed " + std::to_string(seed) + " box level " + std::to_string(l[0]) +
                         " not-overlap level " + std::to_string(l[1]) +
                         (l[2] ? ", placed first" : "") + (l[3] ? ", loose" : "");
      ASSERT_EQ(indexed, plain) << what;
      ASSERT_EQ(plainDefect, "") << what;
      ASSERT_EQ(indexedDefect, "") << what;
      ASSERT_LT(plainEvents, EventBudget) << what;
      ASSERT_LT(indexedEvents, EventBudget) << what;
      for (size_t k = 0; k + 1 < plain.size(); ++k)
        if (plain[k] >= 0) ++bindings;
      failures += static_cast<size_t>(plain.back());
    }
  // The trees are not trivial: many bindings, some failures.
  EXPECT_GT(bindings, 1000u);
  EXPECT_GT(failures, 100u);
  EXPECT_GT(classes, 10000u);
}

}  // namespace
