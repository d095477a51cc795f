// Random sequences of engine calls over small integer models: variables,
// arithmetic nodes and comparisons, searched with choice points that fail,
// backtrack and reset, checked against the engine's own invariants and against
// brute force.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "qrcfail.h"
#include "qrcgoal.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintexp.h"
#include "qrcmanager.h"
#include "qrcsearch.h"
#include "qroplatform.h"
#include "support/seed.h"

namespace {

const int MaxVars = 4;

enum Op { Var, AddC, Add, Sub, Mul, Abs, Min, Max };
enum Rel { Eq, Ne, Le, Lt, Ge, Gt };

struct Node {
  Op op;
  int a, b;  // operand nodes, or the variable index
  QrcInt c;
};

struct Ct {
  int lhs, rhs;  // rhs < 0: compare with c
  Rel rel;
  QrcInt c;
};

// The model as the test sees it, with the engine objects built from it.
struct Model {
  QrcManagerI* m = nullptr;
  int n = 0;
  QrcInt lo[MaxVars], hi[MaxVars];
  QrcIntExpI* vars[MaxVars];
  std::vector<Node> nodes;
  std::vector<QrcIntExpI*> exps;
  std::vector<Ct> cts;
  std::vector<QrcConstraintI*> engineCts;
  std::mt19937_64* rng = nullptr;
  std::vector<std::vector<QrcInt>> found;
  std::string errors;
  int checks = 0;
};

QrcInt eval(const Model& md, int i, const QrcInt* x) {
  const Node& n = md.nodes[static_cast<size_t>(i)];
  switch (n.op) {
    case Var:
      return x[n.a];
    case AddC:
      return eval(md, n.a, x) + n.c;
    case Add:
      return eval(md, n.a, x) + eval(md, n.b, x);
    case Sub:
      return eval(md, n.a, x) - eval(md, n.b, x);
    case Mul:
      return eval(md, n.a, x) * eval(md, n.b, x);
    case Abs: {
      QrcInt v = eval(md, n.a, x);
      return v < 0 ? -v : v;
    }
    case Min:
      return std::min(eval(md, n.a, x), eval(md, n.b, x));
    case Max:
      return std::max(eval(md, n.a, x), eval(md, n.b, x));
  }
  return 0;
}

bool holds(const Model& md, const QrcInt* x) {
  for (const Ct& c : md.cts) {
    QrcInt l = eval(md, c.lhs, x), r = c.rhs < 0 ? c.c : eval(md, c.rhs, x);
    bool ok = c.rel == Eq   ? l == r
              : c.rel == Ne ? l != r
              : c.rel == Le ? l <= r
              : c.rel == Lt ? l < r
              : c.rel == Ge ? l >= r
                            : l > r;
    if (!ok) return false;
  }
  return true;
}

std::vector<std::vector<QrcInt>> bruteForce(const Model& md) {
  std::vector<std::vector<QrcInt>> out;
  QrcInt x[MaxVars];
  for (int i = 0; i < md.n; ++i) x[i] = md.lo[i];
  for (;;) {
    if (holds(md, x)) out.push_back(std::vector<QrcInt>(x, x + md.n));
    int i = md.n - 1;
    while (i >= 0 && x[i] == md.hi[i]) x[i] = md.lo[i], --i;
    if (i < 0) break;
    ++x[i];
  }
  return out;
}

QrcConstraintI* makeCt(const Model& md, const Ct& c) {
  QrcIntExp l(md.exps[static_cast<size_t>(c.lhs)]);
  if (c.rhs < 0) {
    switch (c.rel) {
      case Eq:
        return (l == c.c).getImpl();
      case Ne:
        return (l != c.c).getImpl();
      case Le:
        return (l <= c.c).getImpl();
      case Lt:
        return (l < c.c).getImpl();
      case Ge:
        return (l >= c.c).getImpl();
      case Gt:
        return (l > c.c).getImpl();
    }
  }
  QrcIntExp r(md.exps[static_cast<size_t>(c.rhs)]);
  switch (c.rel) {
    case Eq:
      return (l == r).getImpl();
    case Ne:
      return (l != r).getImpl();
    case Le:
      return (l <= r).getImpl();
    case Lt:
      return (l < r).getImpl();
    case Ge:
      return (l >= r).getImpl();
    case Gt:
      return (l > r).getImpl();
  }
  return nullptr;
}

void build(Model& md, QrcManagerI* m, std::mt19937_64& rng) {
  md = Model();
  md.m = m;
  md.rng = &rng;
  md.n = 2 + static_cast<int>(rng() % (MaxVars - 1));
  for (int i = 0; i < md.n; ++i) {
    md.lo[i] = static_cast<QrcInt>(rng() % 7) - 3;
    md.hi[i] = md.lo[i] + static_cast<QrcInt>(rng() % 5);
    md.vars[i] = new (m) QrcIntExpI(m, md.lo[i], md.hi[i], nullptr);
    md.nodes.push_back({Var, i, 0, 0});
    md.exps.push_back(md.vars[i]);
  }
  int extra = static_cast<int>(rng() % 5);
  for (int k = 0; k < extra; ++k) {
    int size = static_cast<int>(md.nodes.size());
    int a = static_cast<int>(rng() % static_cast<uint64_t>(size)),
        b = static_cast<int>(rng() % static_cast<uint64_t>(size));
    Op op = static_cast<Op>(1 + rng() % 7);
    QrcIntExp x(md.exps[static_cast<size_t>(a)]), y(md.exps[static_cast<size_t>(b)]);
    QrcInt c = static_cast<QrcInt>(rng() % 7) - 3;
    QrcIntExp e;
    switch (op) {
      case AddC:
        e = x + c;
        break;
      case Add:
        e = x + y;
        break;
      case Sub:
        e = x - y;
        break;
      case Mul:
        e = x * y;
        break;
      case Abs:
        e = QrcAbs(x);
        break;
      case Min:
        e = QrcMin(x, y);
        break;
      case Max:
        e = QrcMax(x, y);
        break;
      case Var:
        break;
    }
    md.nodes.push_back({op, a, b, c});
    md.exps.push_back(e.getImpl());
  }
  int cts = 1 + static_cast<int>(rng() % 3);
  for (int k = 0; k < cts; ++k) {
    int size = static_cast<int>(md.nodes.size());
    Ct c;
    c.lhs = static_cast<int>(rng() % static_cast<uint64_t>(size));
    c.rhs = rng() % 3 == 0 ? -1 : static_cast<int>(rng() % static_cast<uint64_t>(size));
    c.rel = static_cast<Rel>(rng() % 6);
    c.c = static_cast<QrcInt>(rng() % 9) - 4;
    md.cts.push_back(c);
    md.engineCts.push_back(makeCt(md, c));
  }
}

// Every domain of the variables, as bits over the original range.
struct Shadow {
  uint64_t bits[MaxVars];
  QrcInt min[MaxVars], max[MaxVars];
};

void takeShadow(Model* md, Shadow* s) {
  for (int i = 0; i < md->n; ++i) {
    s->bits[i] = 0;
    for (QrcInt v = md->lo[i]; v <= md->hi[i]; ++v)
      if (md->vars[i]->isInDomain(v)) s->bits[i] |= uint64_t(1) << (v - md->lo[i]);
    s->min[i] = md->vars[i]->getMin();
    s->max[i] = md->vars[i]->getMax();
  }
}

void note(Model* md, const char* what, int i) {
  std::ostringstream os;
  os << what << " (variable " << i << ")\n";
  md->errors += os.str();
}

// Domains stay inside their original ranges with min <= max.
void checkDomains(Model* md) {
  ++md->checks;
  for (int i = 0; i < md->n; ++i) {
    QrcIntExpI* x = md->vars[i];
    if (x->getMin() > x->getMax()) note(md, "min above max", i);
    if (x->getMin() < md->lo[i] || x->getMax() > md->hi[i])
      note(md, "domain outside its original range", i);
    if (!x->isInDomain(x->getMin()) || !x->isInDomain(x->getMax()))
      note(md, "bound not in the domain", i);
  }
  for (size_t k = 0; k < md->exps.size(); ++k)
    if (md->exps[k]->getMin() > md->exps[k]->getMax())
      note(md, "node min above max", static_cast<int>(k));
}

class CheckShadowGoal : public QrcGoalI {
 public:
  CheckShadowGoal(QrcManagerI* m, Model* md, Shadow* s) : QrcGoalI(m), _md(md), _s(s) {}
  QrcGoalI* execute() override {
    if (qroplatform::getRounding() != 1) note(_md, "rounding not nearest after a failure", -1);
    Shadow now;
    takeShadow(_md, &now);
    for (int i = 0; i < _md->n; ++i)
      if (now.bits[i] != _s->bits[i] || now.min[i] != _s->min[i] || now.max[i] != _s->max[i])
        note(_md, "domain not restored on backtrack", i);
    return nullptr;
  }

 private:
  Model* _md;
  Shadow* _s;
};

class RoundingFailGoal : public QrcGoalI {
 public:
  RoundingFailGoal(QrcManagerI* m, int mode) : QrcGoalI(m), _mode(mode) {}
  QrcGoalI* execute() override {
    qroplatform::setRounding(_mode);
    _manager->fail();
  }

 private:
  int _mode;
};

class BoundGoal : public QrcGoalI {
 public:
  BoundGoal(QrcManagerI* m, QrcIntExpI* x, QrcInt v, bool upper)
      : QrcGoalI(m), _x(x), _v(v), _upper(upper) {}
  QrcGoalI* execute() override {
    if (_upper)
      _x->setMax(_v);
    else
      _x->setMin(_v);
    return nullptr;
  }

 private:
  QrcIntExpI* _x;
  QrcInt _v;
  bool _upper;
};

class ChoiceGoal : public QrcGoalI {
 public:
  ChoiceGoal(QrcManagerI* m, Model* md) : QrcGoalI(m), _md(md) {}
  QrcGoalI* execute() override {
    checkDomains(_md);
    int i = 0;
    while (i < _md->n && _md->vars[i]->isBound()) ++i;
    if (i == _md->n) {
      QrcInt x[MaxVars] = {};
      for (int k = 0; k < _md->n; ++k) x[k] = _md->vars[k]->getMin();
      if (!holds(*_md, x)) note(_md, "solution breaks a posted constraint", -1);
      _md->found.push_back(std::vector<QrcInt>(x, x + _md->n));
      return nullptr;
    }
    QrcIntExpI* x = _md->vars[i];
    QrcInt v = x->getMin() + static_cast<QrcInt>((*_md->rng)() %
                                                 static_cast<uint64_t>(x->getMax() - x->getMin()));
    Shadow* s = new (_manager) Shadow();
    takeShadow(_md, s);
    QrcManagerI* m = _manager;
    QrcGoalI* left = new (m)
        QrcAndII(m, new (m) CheckShadowGoal(m, _md, s),
                 new (m) QrcAndII(m, new (m) BoundGoal(m, x, v, true), new (m) ChoiceGoal(m, _md)));
    QrcGoalI* right = new (m) QrcAndII(
        m, new (m) CheckShadowGoal(m, _md, s),
        new (m) QrcAndII(m, new (m) BoundGoal(m, x, v + 1, false), new (m) ChoiceGoal(m, _md)));
    QrcGoalI* choice = new (m) QrcOrI(m, left, right, nullptr);
    if ((*_md->rng)() % 4 == 0)
      choice = new (m) QrcOrI(
          m, new (m) RoundingFailGoal(m, 2 + static_cast<int>((*_md->rng)() % 2)), choice, nullptr);
    return choice;
  }

 private:
  Model* _md;
};

class PostGoal : public QrcGoalI {
 public:
  PostGoal(QrcManagerI* m, Model* md) : QrcGoalI(m), _md(md) {}
  QrcGoalI* execute() override {
    for (size_t k = 0; k < _md->engineCts.size(); ++k) _manager->add(_md->engineCts[k]);
    return new (_manager) ChoiceGoal(_manager, _md);
  }

 private:
  Model* _md;
};

std::string describe(const Model& md) {
  std::ostringstream os;
  for (int i = 0; i < md.n; ++i) os << "x" << i << " in [" << md.lo[i] << ", " << md.hi[i] << "] ";
  os << "nodes:";
  for (const Node& n : md.nodes)
    os << " (" << n.op << " " << n.a << " " << n.b << " " << n.c << ")";
  os << " cts:";
  for (const Ct& c : md.cts)
    os << " (" << c.lhs << " " << c.rel << " " << c.rhs << " " << c.c << ")";
  return os.str();
}

void runSequence(bool exceptions) {
  uint64_t seed = qrotest::seedOr(exceptions ? 211 : 210);
  std::mt19937_64 rng(seed);
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  Model md;
  size_t solutions = 0, empty = 0;
  int checks = 0;
  for (int round = 0; round < 1500; ++round) {
    m->useExceptions(exceptions);
    build(md, m, rng);
    std::vector<std::vector<QrcInt>> expected = bruteForce(md);
    Shadow before;
    takeShadow(&md, &before);
    QrcGoalI* goal = new (m) PostGoal(m, &md);
    int how = static_cast<int>(rng() % 3);
    std::string where = "seed " + std::to_string(seed) + " round " + std::to_string(round) +
                        " mode " + std::to_string(how) + ": " + describe(md);
    if (how == 0) {
      // Every solution, each once, in search order.
      QrcSearch s(mgr, goal);
      while (s.next()) {
      }
      s.end();
      ASSERT_EQ(md.found, expected) << where;
    } else if (how == 1) {
      ASSERT_EQ(m->solve(goal, true), expected.empty() ? 0 : 1) << where;
      ASSERT_LE(md.found.size(), 1u) << where;
      if (!expected.empty()) {
        ASSERT_EQ(md.found[0], expected[0]) << where;
      }
      Shadow after;
      takeShadow(&md, &after);
      for (int i = 0; i < md.n; ++i) {
        ASSERT_EQ(after.bits[i], before.bits[i]) << where;
        ASSERT_EQ(after.min[i], before.min[i]) << where;
      }
    } else {
      // Stop part way and restart: the first solution comes back.
      QrcSearch s(mgr, goal);
      size_t stopAt = expected.empty() ? 0 : rng() % expected.size();
      size_t k = 0;
      while (k <= stopAt && s.next()) ++k;
      s.restart();
      md.found.clear();
      bool again = s.next();
      s.end();
      ASSERT_EQ(again, !expected.empty()) << where;
      if (again) {
        ASSERT_EQ(md.found[0], expected[0]) << where;
      }
    }
    ASSERT_EQ(md.errors, "") << where;
    solutions += md.found.size();
    empty += expected.empty() ? 1 : 0;
    checks += md.checks;
    ASSERT_EQ(qroplatform::getRounding(), 1) << where;
    ASSERT_EQ(m->getSearchDepth(), 0) << where;
    m->reset();
    ASSERT_EQ(m->getVariableCount(), 0) << where;
    ASSERT_EQ(m->getConstraintCount(), 0) << where;
    ASSERT_EQ(m->getOrRecordCount(), 0) << where;
  }
  mgr.end();
  // The sequence reaches both solved and infeasible models.
  EXPECT_GT(solutions, 100u) << "seed " << seed;
  EXPECT_GT(empty, 5u) << "seed " << seed;
  EXPECT_GT(checks, 1000) << "seed " << seed;
}

TEST(RandomApi, SequencesKeepTheEngineInvariants) {
  runSequence(false);
}

TEST(RandomApi, SequencesKeepTheEngineInvariantsWithExceptions) {
  runSequence(true);
}

}  // namespace
