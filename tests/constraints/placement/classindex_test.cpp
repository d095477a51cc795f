// The implication classes kept along the branch against the class rules that
// explore every class at every event. First the class rules alone: random
// graphs decide their pairs one by one and run the class rules of each
// event, each way, recording every edge and each failure. Then random
// placements at every box and not-overlap level are searched each way through
// a random tree of bindings: every binding of an edge or an orientation, in
// the order its demons run, every goal entered and the failures go into a
// trace, and the two traces must be the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "qrcbox.h"
#include "qrcintexp.h"
#include "placement_fixtures.h"
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
    uint64_t seed = qrotest::seedOr(900 + r);
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
  Trace trace;
  std::mt19937_64 rng;
  // Every member is placed by the first goal; else only the bindings may
  // place them, and the pseudo origins of the others span the integer range.
  bool placeAll;
  Model(uint64_t seed, int boxLevel, int notOverlapLevel, bool indexed, bool placeFirst);
  ~Model() { mgr.end(); }
};

// 1-D or 2-D, 6 to 8 members of sizes 1 to 5, coordinates over a container
// wide enough for every order.
Model::Model(uint64_t seed, int boxLevel, int notOverlapLevel, bool indexed, bool placeFirst)
    : mgr(QrcNoEdit), m(mgr.getImpl()), rng(seed), placeAll(placeFirst) {
  m->getPropagationQueue()->setStepLimit(StepLimit);
  QrcInt k = 1 + static_cast<QrcInt>(rng() % 2), n = 6 + static_cast<QrcInt>(rng() % 3);
  QroInt S[2] = {3 * n, 4};
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
  BindGoal(QrcManagerI* m, Trace* t, QroInt mark, QrcIntExpI* x, QrcInt v)
      : QrcGoalI(m), _t(t), _mark(mark), _x(x), _v(v) {}
  QrcGoalI* execute() override {
    _t->push_back(-1 - _mark);
    _x->setValue(_v);
    return nullptr;
  }

 private:
  Trace* _t;
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
    if (draw < 65) {
      x = d->pairs[d->rng() % d->pairs.size()];
    } else if (draw < 80) {
      x = d->activities[d->rng() % d->activities.size()];
      v = 1;
    } else {
      x = d->origins[d->rng() % d->origins.size()];
      v = static_cast<QrcInt>(d->rng() % 12);
    }
    return new (_manager) BindGoal(_manager, &d->trace, mark, x, v);
  }
  Model* _model;
  int _depth;
};

// The trace, then the number of failures; with the events processed.
Trace run(uint64_t seed, const int* levels, bool indexed, QrcInt& events) {
  Model model(seed, levels[0], levels[1], indexed, levels[2] == 1);
  QrcSearch s(model.mgr, QrcGoal(new (model.m) StepGoal(model.m, &model, 7)));
  while (s.next()) model.trace.push_back(-2);
  s.end();
  model.trace.push_back(model.m->getFails());
  events = model.m->getPropagationQueue()->getEventsProcessed();
  return model.trace;
}

TEST(PlacementClassIndex, BindsAndFailsAsExploringEveryClass) {
  // Box level, not-overlap level (-1: none), members placed first. At box
  // level 2 with members not placed, some seeds close cycles of pseudo
  // orders, whose propagation must fail without walking the pseudo origins.
  const int levels[][3] = {{0, -1, 0}, {1, -1, 0}, {2, -1, 1}, {0, 0, 0},
                           {1, 1, 0},  {2, 2, 1},  {2, -1, 0}, {2, 2, 0}};
  size_t bindings = 0, failures = 0;
  for (const auto& l : levels)
    for (uint64_t r = 0; r < (l[0] == 2 && l[2] == 0 ? 48u : 8u); ++r) {
      uint64_t seed = qrotest::seedOr(700 + r);
      QrcInt plainEvents, indexedEvents;
      Trace plain = run(seed, l, false, plainEvents), indexed = run(seed, l, true, indexedEvents);
      std::string what = "seed " + std::to_string(seed) + " box level " + std::to_string(l[0]) +
                         " not-overlap level " + std::to_string(l[1]) +
                         (l[2] ? ", placed first" : "");
      ASSERT_EQ(indexed, plain) << what;
      ASSERT_LT(plainEvents, EventBudget) << what;
      ASSERT_LT(indexedEvents, EventBudget) << what;
      for (size_t k = 0; k + 1 < plain.size(); ++k)
        if (plain[k] >= 0) ++bindings;
      failures += static_cast<size_t>(plain.back());
    }
  // The trees are not trivial: many bindings, some failures.
  EXPECT_GT(bindings, 1000u);
  EXPECT_GT(failures, 100u);
}

}  // namespace
