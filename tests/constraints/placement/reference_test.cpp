// The chord, class and orientation rules against their reference. Which
// pairs a rule sees as decided depends on when the engine runs each edge
// demon, so the pairs of random lines are decided here one by one in a random
// order, inside one propagation, and each rule entry of the event loop and of
// the orientation demon is run directly: before each entry the reference
// reads the pair states and the bound edges and orientations, and after it
// the engine's edges and orientations must be those plus the reference's
// bindings, or both must fail. Then the orientation of an overlapping pair,
// which the rules bind or not by that same order, narrows nothing when bound.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "placement_fixtures.h"
#include "qrcfail.h"
#include "qrcintexp.h"
#include "qrcqueue.h"
#include "qrcsearch.h"
#include "rules_reference.h"
#include "support/seed.h"

namespace placementtest {
namespace {

struct Tally {
  size_t entries = 0, binding = 0, failed = 0;
  std::vector<std::string> faults;
};

class RuleRun : public QrcConstraintI {
 public:
  RuleRun(QrcManagerI* m, Line* l, uint64_t seed, Tally* t)
      : QrcConstraintI(m), _l(l), _rng(seed), _t(t) {}
  void post() override {}
  void propagate() override {
    try {
      decideAll();
    } catch (QrcFailException&) {
      _t->faults.push_back("a failure outside the rule entries");
    }
    fail();
  }

 private:
  typedef std::function<void(Expected&)> Ref;

  void decideAll() {
    QrcIntervalGraphI* g = _l->graph();
    int n = static_cast<int>(_l->boxes.size());
    std::vector<std::pair<int, int>> pairs;
    for (int i = 0; i < n; ++i)
      for (int j = i + 1; j < n; ++j) pairs.push_back({i, j});
    std::shuffle(pairs.begin(), pairs.end(), _rng);
    for (const auto& p : pairs) {
      int i = p.first, j = p.second;
      QrcIntExpI *e = g->getEdge(i, j), *r = g->getOrientation(i, j);
      // Some pairs get an order before their edge: it holds should they be apart.
      if (!r->isBound() && _rng() % 3 == 0) r->setValue(static_cast<QrcInt>(_rng() % 2));
      e->setValue(e->isBound() ? e->getValue() : (_rng() % 5 < 3 ? 0 : 1));
      g->edgeChanged(i, j);
      std::string defect = indexDefect(g, false);
      if (!defect.empty()) {
        _t->faults.push_back("after deciding (" + std::to_string(i) + ", " + std::to_string(j) +
                             "): " + defect);
        return;
      }
      while (g->getPendingTop() > 0) {
        QroInt a, b, kind;
        g->popEvent(a, b, kind);
        if (!dispatch(g, static_cast<int>(a), static_cast<int>(b), static_cast<int>(kind))) return;
      }
      if (r->isBound() && g->state(i, j) == 0 &&
          !entry(
              "orientation demon", i, j, [&] { g->orientationChanged(i, j); },
              [&](Expected& x) { refPushOrientation(x, i, j); }))
        return;
    }
  }

  bool dispatch(QrcIntervalGraphI* g, int a, int b, int kind) {
    if (kind == 0)
      return entry(
                 "chord rules, disjoint", a, b, [&] { g->chordRulesDisjoint(a, b); },
                 [&](Expected& x) { refChordRules(x, a, b, 0); }) &&
             entry(
                 "class rules, disjoint", a, b, [&] { g->classRulesDisjoint(a, b); },
                 [&](Expected& x) { refClassRulesDisjoint(x, a, b); }) &&
             entry(
                 "orientation rules, disjoint", a, b, [&] { g->orientationRulesDisjoint(a, b); },
                 [&](Expected& x) { refOrientationRulesDisjoint(x, a, b); });
    return entry(
               "chord rules, overlap", a, b, [&] { g->chordRulesOverlap(a, b); },
               [&](Expected& x) { refChordRules(x, a, b, 1); }) &&
           entry(
               "class rules, overlap", a, b, [&] { g->classRulesOverlap(a, b); },
               [&](Expected& x) { refClassRulesOverlap(x, a, b); }) &&
           entry(
               "orientation rules, overlap", a, b, [&] { g->orientationRulesOverlap(a, b); },
               [&](Expected& x) { refOrientationRulesOverlap(x, a, b); });
  }

  // Runs one entry and compares; false when the run ends (a failure or a fault).
  bool entry(const char* what, int a, int b, const std::function<void()>& run, const Ref& ref) {
    QrcIntervalGraphI* g = _l->graph();
    GraphView before(g);
    Expected want(before);
    ref(want);
    bool failed = false;
    try {
      run();
    } catch (QrcFailException&) {
      failed = true;
    }
    ++_t->entries;
    std::string at = std::string(what) + " (" + std::to_string(a) + ", " + std::to_string(b) + ")";
    if (failed != want.fail) {
      _t->faults.push_back(at + (failed ? " fails" : " does not fail"));
      return false;
    }
    if (failed) {
      ++_t->failed;
      return false;
    }
    _t->binding += !want.edges.empty() || !want.orients.empty();
    GraphView after(g);
    for (int x = 0; x < before.n; ++x)
      for (int y = x + 1; y < before.n; ++y) {
        auto e = want.edges.find({x, y});
        auto o = want.orients.find({x, y});
        int edge = e == want.edges.end() ? before.edge(x, y) : e->second;
        int orient = o == want.orients.end() ? before.orient(x, y) : o->second;
        if (after.edge(x, y) != edge || after.orient(x, y) != orient)
          _t->faults.push_back(at + ": pair (" + std::to_string(x) + ", " + std::to_string(y) +
                               ") edge " + std::to_string(after.edge(x, y)) + " orientation " +
                               std::to_string(after.orient(x, y)) + ", expected " +
                               std::to_string(edge) + " and " + std::to_string(orient));
      }
    return _t->faults.empty();
  }

  Line* _l;
  std::mt19937_64 _rng;
  Tally* _t;
};

TEST(PlacementReference, RuleEntriesBindAndFailAsTheirReference) {
  Tally total;
  for (uint64_t k = 0; k < 400; ++k) {
    uint64_t seed = qrotest::seedOr(3100) + k;
    std::mt19937_64 rng(seed);
    std::vector<QroInt> sizes(5 + rng() % 5, 2);
    Line l(100, sizes, 0);
    l.registerAll();
    l.graph()->setClassIndex(rng() % 4 != 0);
    Tally t;
    QrcSearch s(l.mgr, QrcGoal(new (l.m) RuleRun(l.m, &l, rng(), &t)));
    s.next();
    s.end();
    ASSERT_TRUE(t.faults.empty()) << "seed " << seed << ": " << t.faults.front();
    total.entries += t.entries;
    total.binding += t.binding;
    total.failed += t.failed;
  }
  // Many entries bind, some fail, most of the runs reach their end.
  EXPECT_GT(total.binding, 1000u);
  EXPECT_GT(total.failed, 40u);
  EXPECT_LT(total.failed, 360u);
}

// The order of a pair whose edge is 1 is free: the rules bind it or not as
// the engine runs the pair's edge demon before or after them. Binding it
// either way must narrow nothing else, at any level and under precedences.
struct Probe {
  QrcManager mgr;
  QrcManagerI* m;
  std::mt19937_64 rng;
  std::vector<QrcIntExpI*> vars;  // origins, activities, then E and R of each pair
  size_t firstPair = 0;
  std::vector<QrcInt> base;
  size_t probes = 0, checks = 0;
  std::string fault;
  Probe(uint64_t seed, int boxLevel, int notOverlapLevel);
  ~Probe() { mgr.end(); }
  std::vector<QrcInt> snapshot() const {
    std::vector<QrcInt> s;
    for (QrcIntExpI* v : vars) s.insert(s.end(), {v->getMin(), v->getMax(), v->getSize()});
    return s;
  }
};

Probe::Probe(uint64_t seed, int boxLevel, int notOverlapLevel)
    : mgr(QrcNoEdit), m(mgr.getImpl()), rng(seed) {
  m->getPropagationQueue()->setStepLimit(1000000);
  QrcInt k = 1 + static_cast<QrcInt>(rng() % 2), n = 5 + static_cast<QrcInt>(rng() % 3);
  QroInt S[2] = {3 * n, 4};
  QrcBoxI* c = QrcBox(k, QrcIntVarArray(mgr, k, 0, 0), QrcIntArray(mgr, k, S)).getImpl();
  c->setFilterLevel(boxLevel);
  std::vector<QrcBoxI*> boxes;
  for (QrcInt i = 0; i < n; ++i) {
    QroInt sizes[2] = {1 + static_cast<QroInt>(rng() % 4), 1 + static_cast<QroInt>(rng() % 2)};
    QrcIntVarArray o(mgr, k);
    for (QrcInt d = 0; d < k; ++d) {
      o.set(d, QrcIntVar(mgr, 0, S[d] - sizes[d]));
      vars.push_back(o[d].getImpl());
    }
    boxes.push_back(QrcBox(k, o, QrcIntArray(mgr, k, sizes)).getImpl());
    c->registerBox(boxes.back());
  }
  for (QrcInt i = 0; i < n; ++i) vars.push_back(c->getActivity(i));
  firstPair = vars.size();
  for (QrcInt d = 0; d < k; ++d)
    for (QrcInt i = 0; i < n; ++i)
      for (QrcInt j = i + 1; j < n; ++j) {
        vars.push_back(c->getGraph(d)->getEdge(i, j));
        vars.push_back(c->getGraph(d)->getOrientation(i, j));
      }
  for (int p = 0; p < 2; ++p) {
    size_t a = rng() % boxes.size(), b = (a + 1 + rng() % (boxes.size() - 1)) % boxes.size();
    m->add(c->makePrecedenceInDimension(boxes[a], boxes[b], static_cast<QroInt>(rng() % k)));
  }
  if (notOverlapLevel >= 0) {
    QrcConstraintI* no = c->getNotOverlapConstraint();
    no->setFilterLevel(notOverlapLevel);
    m->add(no);
  }
}

class CheckGoal : public QrcGoalI {
 public:
  CheckGoal(QrcManagerI* m, Probe* p, size_t skip) : QrcGoalI(m), _p(p), _skip(skip) {}
  QrcGoalI* execute() override {
    std::vector<QrcInt> now = _p->snapshot();
    ++_p->checks;
    for (size_t k = 0; k < now.size(); ++k)
      if (k / 3 != _skip && now[k] != _p->base[k] && _p->fault.empty())
        _p->fault = "variable " + std::to_string(k / 3) + " moved with orientation " +
                    std::to_string(_skip);
    return nullptr;
  }

 private:
  Probe* _p;
  size_t _skip;
};

class SetGoal : public QrcGoalI {
 public:
  SetGoal(QrcManagerI* m, QrcIntExpI* x, QrcInt v, int op) : QrcGoalI(m), _x(x), _v(v), _op(op) {}
  QrcGoalI* execute() override {
    if (_op == 0) _x->setValue(_v);
    if (_op == 1) _x->setMin(_v);
    if (_op == 2) _x->setMax(_v);
    return nullptr;
  }

 private:
  QrcIntExpI* _x;
  QrcInt _v;
  int _op;
};

// Random bindings, then both orders of a free orientation of an overlapping pair.
class ProbeGoal : public QrcGoalI {
 public:
  ProbeGoal(QrcManagerI* m, Probe* p, int steps) : QrcGoalI(m), _p(p), _steps(steps) {}
  QrcGoalI* execute() override {
    QrcManagerI* m = _manager;
    Probe* p = _p;
    if (_steps > 0) {
      size_t k = p->rng() % p->vars.size();
      QrcIntExpI* x = p->vars[k];
      QrcInt v = static_cast<QrcInt>(p->rng() % 2);
      int op = 0;
      if (k < p->firstPair && x->getMax() > 1) {
        v = static_cast<QrcInt>(p->rng() % 12);
        op = 1 + static_cast<int>(p->rng() % 2);
      } else if (k < p->firstPair || (k - p->firstPair) % 2 == 0) {
        v = p->rng() % 3 == 0 ? 0 : 1;  // activities and edges: mostly 1
      }
      return new (m) QrcAndII(m, new (m) SetGoal(m, x, v, op), new (m) ProbeGoal(m, p, _steps - 1));
    }
    std::vector<size_t> open;
    for (size_t k = p->firstPair; k < p->vars.size(); k += 2)
      if (p->vars[k]->isBound() && p->vars[k]->getValue() == 1 && !p->vars[k + 1]->isBound())
        open.push_back(k + 1);
    if (open.empty()) return nullptr;
    size_t r = open[p->rng() % open.size()];
    p->base = p->snapshot();
    ++p->probes;
    return new (m) QrcOrI(
        m, new (m) QrcAndII(m, new (m) SetGoal(m, p->vars[r], 0, 0), new (m) CheckGoal(m, p, r)),
        new (m) QrcAndII(m, new (m) SetGoal(m, p->vars[r], 1, 0), new (m) CheckGoal(m, p, r)),
        nullptr);
  }

 private:
  Probe* _p;
  int _steps;
};

TEST(PlacementReference, OrderOfAnOverlappingPairNarrowsNothingElse) {
  size_t probes = 0;
  for (int box = 0; box <= 2; ++box)
    for (int no = -1; no <= 2; ++no)
      for (uint64_t k = 0; k < 50; ++k) {
        uint64_t seed = qrotest::seedOr(3700) + k;
        Probe p(seed, box, no);
        QrcSearch s(p.mgr, QrcGoal(new (p.m) ProbeGoal(p.m, &p, 4 + static_cast<int>(k % 5))));
        while (s.next()) {
        }
        s.end();
        std::string what = "seed " + std::to_string(seed) + " box level " + std::to_string(box) +
                           " not-overlap level " + std::to_string(no);
        ASSERT_EQ(p.fault, "") << what;
        ASSERT_EQ(p.checks, 2 * p.probes) << what << ": a binding failed";
        probes += p.probes;
      }
  EXPECT_GT(probes, 250u);
}

}  // namespace
}  // namespace placementtest
