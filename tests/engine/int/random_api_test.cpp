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
#include "qrcintsetvar.h"
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

struct UserError {};

// An exception out of the engine at the n-th run of a goal or of a
// propagation: a user's, or an error report that the reporter throws.
struct Escape {
  int left = 0;
  bool report = false;
  void fire(QrcManagerI* m) {
    if (left <= 0 || --left > 0) return;
    if (report) m->getErrorReporter()->report(QrcBadIndexError, "extract", "bad index", QrcInt(3));
    throw UserError();
  }
};

class ThrowingReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { throw code; }
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
  Escape escape;
  QrcConstraintI* escapeCt = nullptr;  // posted with the model when set
  bool tripwire = false;
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
    _md->escape.fire(_manager);
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

// Fires the model's escape when a variable's domain changes.
class EscapeCt : public QrcConstraintI {
 public:
  EscapeCt(QrcManagerI* m, Model* md, QrcIntExpI* x) : QrcConstraintI(m), _md(md), _x(x) {}
  void post() override { _x->whenDomain(this); }
  void propagate() override { _md->escape.fire(_manager); }

 private:
  Model* _md;
  QrcIntExpI* _x;
};

class PostGoal : public QrcGoalI {
 public:
  PostGoal(QrcManagerI* m, Model* md) : QrcGoalI(m), _md(md) {}
  QrcGoalI* execute() override {
    if (_md->escapeCt) _manager->add(_md->escapeCt);
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

// How a call left: 0 normally, 1 by a failure (QrcFailException, or code 18
// through the reporter), 2 by another exception.
template <class F>
int exitOf(F f) {
  testing::internal::CaptureStderr();
  int how = 0;
  try {
    f();
  } catch (const QrcFailException&) {
    how = 1;
  } catch (int code) {
    how = code == QrcFailNotInSolveError ? 1 : 2;
  } catch (const UserError&) {
    how = 2;
  } catch (...) {
    testing::internal::GetCapturedStderr();
    throw;
  }
  testing::internal::GetCapturedStderr();
  return how;
}

bool sameDomains(Model* md, const Shadow& s) {
  Shadow now;
  takeShadow(md, &now);
  for (int i = 0; i < md->n; ++i)
    if (now.bits[i] != s.bits[i] || now.min[i] != s.min[i] || now.max[i] != s.max[i]) return false;
  return true;
}

// Nothing of a propagation or a search left open.
bool isClean(QrcManagerI* m) {
  return m->getSearchDepth() == 0 && m->getNextDepth() == 0 && !m->getCurrentDemon() &&
         m->getPropagationQueue()->getNesting() == 0 && m->getOrRecordCount() == 0 &&
         qroplatform::getRounding() == 1;
}

// Fails the propagation of its variable and set while the model's tripwire
// is armed.
class TripwireCt : public QrcConstraintI {
 public:
  TripwireCt(Model* md, QrcIntExpI* x, QrcIntSetVarI* set)
      : QrcConstraintI(md->m), _md(md), _x(x), _set(set) {}
  void post() override {
    _x->whenDomain(this);
    _set->whenDomain(this);
  }
  void propagate() override {
    if (_md->tripwire) fail();
  }

 private:
  Model* _md;
  QrcIntExpI* _x;
  QrcIntSetVarI* _set;
};

QrcInt pick(std::mt19937_64& rng, QrcInt a, QrcInt b) {
  return a + static_cast<QrcInt>(rng() % static_cast<uint64_t>(b - a + 1));
}

// A narrowing that changes x, or a set over [0, n] whose cardinality is
// x - lo + 1 for x's original range [lo, lo + n - 1], through the
// implementation classes or through a truth value of x, and fails in the
// propagation it starts: a tripwire hears both.
void narrowThenFail(Model& md, std::mt19937_64& rng, int i, QrcIntSetVarI* set) {
  QrcIntExpI* x = md.vars[i];
  QrcInt min = x->getMin(), max = x->getMax(), n = md.hi[i] - md.lo[i] + 1;
  int kind = static_cast<int>(rng() % (min < max ? 7 : 2));
  QrcInt v = pick(rng, min + 1, max > min ? max : min + 1);
  md.tripwire = true;
  switch (kind) {
    case 0:
      set->addRequired(QrcIntSet(QrcManager(md.m), 0, pick(rng, 0, n), 1));
      break;
    case 1:
      set->removePossibleRange(pick(rng, 0, n), n);
      break;
    case 2:
      x->setMin(v);
      break;
    case 3:
      x->setMax(v - 1);
      break;
    case 4:
      x->isInDomain(v) ? x->removeValue(v) : x->setValue(v - 1);
      break;
    case 5:
      QrcIntExp(QrcIntExp(x) >= v).setValue(1);
      break;
    default:
      QrcIntExp(QrcIntExp(x) >= v).getImpl()->setValue(0);
  }
}

std::string describeSet(const QrcIntSetVarI* set) {
  std::ostringstream os;
  os << set;
  return os.str();
}

// Failures caught at the root: a bound out of reach, as a constraint (the
// shared false one when known false at once) or as a narrowing, and the
// model's own constraints posted at the root, which fail only when the model
// has no solution, and a narrowing that fails in its propagation
// (narrowThenFail). A failure leaves the domains as before the call.
void failAtRoot(Model& md, std::mt19937_64& rng, bool feasible, const std::string& where) {
  QrcManagerI* m = md.m;
  int i = static_cast<int>(rng() % static_cast<uint64_t>(md.n));
  QrcIntExp x(md.vars[i]);
  Shadow s;
  takeShadow(&md, &s);
  int how = static_cast<int>(rng() % 5);
  if (how == 4) {
    QrcInt n = md.hi[i] - md.lo[i] + 1;
    QrcIntSetVarI* set = QrcIntSetVar(QrcManager(m), 0, n).getImpl();
    m->add((QrcIntExp(set->getCardinality()) == x - (md.lo[i] - 1)).getImpl());
    m->add(new (m) TripwireCt(&md, md.vars[i], set));
    takeShadow(&md, &s);
    const std::string before = describeSet(set);
    EXPECT_EQ(exitOf([&] { narrowThenFail(md, rng, i, set); }), 1) << where;
    md.tripwire = false;
    EXPECT_TRUE(sameDomains(&md, s)) << where << ": a failed root narrowing left its changes";
    EXPECT_EQ(describeSet(set), before) << where;
    EXPECT_TRUE(isClean(m)) << where;
    return;
  }
  int exit = how == 0   ? exitOf([&] { m->add((x >= md.hi[i] + 1).getImpl()); })
             : how == 1 ? exitOf([&] { m->add((x + x <= 2 * md.lo[i] - 1).getImpl()); })
             : how == 2 ? exitOf([&] { x.setMin(md.hi[i] + 1); })
                        : 0;
  if (how == 3) {
    for (size_t k = 0; k < md.engineCts.size() && exit == 0; ++k) {
      takeShadow(&md, &s);
      exit = exitOf([&] { m->add(md.engineCts[k]); });
    }
    if (exit == 0) return;
    EXPECT_FALSE(feasible) << where << ": the model's constraints failed at the root";
  }
  EXPECT_EQ(exit, 1) << where << ": way out " << how;
  EXPECT_TRUE(sameDomains(&md, s)) << where << ": a failed root call left its changes";
  EXPECT_TRUE(isClean(m)) << where;
}

// An exception out of a goal or a propagation part way through a search or a
// solve; the caller ends the search, or restarts it and runs it out.
void escapeSearch(Model& md, std::mt19937_64& rng, const std::vector<std::vector<QrcInt>>& expected,
                  const std::string& where) {
  QrcManagerI* m = md.m;
  md.escape.left = 1 + static_cast<int>(rng() % 12);
  md.escape.report = rng() % 2 == 0;
  if (rng() % 2)
    md.escapeCt = new (m) EscapeCt(m, &md, md.vars[rng() % static_cast<uint64_t>(md.n)]);
  Shadow before;
  takeShadow(&md, &before);
  int how = static_cast<int>(rng() % 3);
  if (how == 0) {
    exitOf([&] { m->solve(new (m) PostGoal(m, &md), true); });
  } else {
    QrcSearch s(QrcManager(m), new (m) PostGoal(m, &md));
    int exit = exitOf([&] {
      while (s.next()) {
      }
    });
    if (exit == 2 && how == 2) {
      EXPECT_TRUE(sameDomains(&md, before)) << where << ": the search is not back at its start";
      md.found.clear();
      s.restart();
      while (s.next()) {
      }
      EXPECT_EQ(md.found, expected) << where << ": after a restart";
    }
    s.end();
  }
  md.escape.left = 0;
  md.found.clear();
  EXPECT_TRUE(isClean(m)) << where;
  EXPECT_TRUE(sameDomains(&md, before)) << where << ": the search left its changes";
}

void runSequence(bool exceptions) {
  uint64_t seed = qrotest::seedOr(exceptions ? 211 : 210);
  std::mt19937_64 rng(seed);
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  // Failures at the root and error reports become exceptions in both modes.
  ThrowingReporter reporter;
  Model md;
  size_t solutions = 0, empty = 0;
  int checks = 0;
  for (int round = 0; round < 1500; ++round) {
    m->useExceptions(exceptions);
    m->setErrorReporter(&reporter);
    build(md, m, rng);
    std::vector<std::vector<QrcInt>> expected = bruteForce(md);
    int how = static_cast<int>(rng() % 3);
    int wayOut = static_cast<int>(rng() % 4);
    std::string where = "seed " + std::to_string(seed) + " round " + std::to_string(round) +
                        " mode " + std::to_string(how) + " way out " + std::to_string(wayOut) +
                        ": " + describe(md);
    // Every round after a way out of the engine finds what brute force finds.
    if (wayOut == 1) failAtRoot(md, rng, !expected.empty(), where);
    if (wayOut == 2) escapeSearch(md, rng, expected, where);
    Shadow before;
    takeShadow(&md, &before);
    QrcGoalI* goal = new (m) PostGoal(m, &md);
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
