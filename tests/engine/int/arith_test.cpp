// Arithmetic nodes: fixed cases with the bounds each node reaches, and every
// node against brute force through a test link q == node.
#include <algorithm>
#include <functional>
#include <random>
#include <set>

#include "int_fixtures.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcsearch.h"
#include "support/harness.h"
#include "support/seed.h"

namespace inttest {
namespace {

// q == e by bounds, both ways.
class LinkCt : public QrcConstraintI {
 public:
  LinkCt(QrcManagerI* m, QrcIntExpI* q, QrcIntExpI* e) : QrcConstraintI(m), _q(q), _e(e) {}
  void post() override {
    _q->whenRange(this);
    _e->whenRange(this);
  }
  void propagate() override {
    _q->setRange(_e->getMin(), _e->getMax());
    _e->setRange(_q->getMin(), _q->getMax());
  }

 private:
  QrcIntExpI* _q;
  QrcIntExpI* _e;
};

// q == node with q's holes pushed into the node as removed values and ranges,
// which the node passes down to its operands.
class DomainLinkCt : public LinkCt {
 public:
  DomainLinkCt(QrcManagerI* m, QrcIntExpI* q, QrcIntExpI* e) : LinkCt(m, q, e), _q(q), _e(e) {}
  void post() override {
    _q->whenDomain(this);
    _e->whenRange(this);
  }
  void propagate() override {
    LinkCt::propagate();
    // Within q's bounds only: a node over a divisor that can be 0 keeps wide bounds.
    QrcInt lo = std::max(_e->getMin(), _q->getMin()), hi = std::min(_e->getMax(), _q->getMax());
    if (hi - lo > 2000) return;  // the cases keep q small
    for (QrcInt v = lo; v <= hi; ++v) {
      if (_q->isInDomain(v)) continue;
      QrcInt w = v;
      while (w + 1 <= hi && !_q->isInDomain(w + 1)) ++w;
      if (w == v)
        _e->removeValue(v);
      else
        _e->removeRange(v, w);
      v = w;
    }
  }

 private:
  QrcIntExpI* _q;
  QrcIntExpI* _e;
};

typedef std::function<QrcIntExp(QrcManagerI*, const qrotest::Vars&)> Builder;
typedef std::function<bool(const std::vector<int64_t>&, int64_t& q)> Value;

// How q meets the node: q == node by bounds, the same with q's holes pushed
// into the node, or q != node through the engine's own constraint (value events).
enum class Link { Range, Removals, Differs };

// A quotient by 0 with a dividend other than 0 has no value (the builders' marker).
const int64_t NoValue = int64_t(1) << 30;

// Last variable is q; the node is built over the others.
int checkNode(const std::string& name, std::vector<std::vector<int64_t>> values, Builder build,
              Value value, uint64_t seed, Link link = Link::Range,
              std::vector<int64_t> qValues = qrotest::range(-40, 40)) {
  qrotest::PropCase c;
  c.name = name + (link == Link::Removals  ? " with removals"
                   : link == Link::Differs ? " != q"
                                           : "");
  c.values = values;
  c.values.push_back(qValues);
  if (link == Link::Differs) {
    // The engine's own constraint, also in its reified forms.
    c.make = [build](QrcManagerI* m, const qrotest::Vars& v) {
      return (build(m, v) != QrcIntExp(v[v.size() - 1])).getImpl();
    };
    // A quotient by 0 has no value, or any value (0 / 0): where the divisors
    // can be 0 the truth is not a function of the operands.
    std::vector<int64_t> a(values.size() + 1);
    std::function<bool(size_t)> undefined = [&](size_t i) {
      int64_t q = 0;
      if (i == values.size()) return value(a, q) || q == NoValue;
      for (int64_t x : values[i]) {
        a[i] = x;
        if (undefined(i + 1)) return true;
      }
      return false;
    };
    if (undefined(0)) c.notReified = "a divisor can be 0";
    // One form a case: q's 81 values make each costly.
    c.reifiedForms = 1;
  } else {
    c.callersCode = true;  // the links are the test's own constraints
    c.post = [build, link](QrcManagerI* m, const qrotest::Vars& v) {
      QrcIntExp e = build(m, v);
      QrcIntExpI* q = v[v.size() - 1];
      if (link == Link::Removals)
        m->add(new (m) DomainLinkCt(m, q, e.getImpl()));
      else
        m->add(new (m) LinkCt(m, q, e.getImpl()));
    };
  }
  c.check = [value, link](const std::vector<int64_t>& a) {
    int64_t q = 0;
    bool freeQ = value(a, q);
    if (link == Link::Differs) return freeQ || (q != NoValue && a.back() != q);
    return freeQ || a.back() == q;
  };
  c.seed = seed;
  c.narrowRuns = qrotest::draws(20, 40);  // 20 runs, 40 with QRO_TEST_FULL=1
  return qrotest::runPropCase(c);
}

// Builders and plain values: value() answers true when q is free.
QrcIntExp X(const qrotest::Vars& v, size_t i) {
  return QrcIntExp(v[i]);
}

struct NodeCase {
  const char* name;
  int arity;
  Builder build;
  Value value;
  bool zeroFree;  // operands never hold 0 where the node divides by them
};

std::vector<NodeCase> nodeCases() {
  return {
      {"x + 3", 1, [](QrcManagerI*, const qrotest::Vars& v) { return X(v, 0) + 3; },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = a[0] + 3;
         return false;
       },
       false},
      {"5 - x", 1, [](QrcManagerI*, const qrotest::Vars& v) { return 5 - X(v, 0); },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = 5 - a[0];
         return false;
       },
       false},
      {"-x", 1, [](QrcManagerI*, const qrotest::Vars& v) { return -X(v, 0); },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = -a[0];
         return false;
       },
       false},
      {"x + y", 2, [](QrcManagerI*, const qrotest::Vars& v) { return X(v, 0) + X(v, 1); },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = a[0] + a[1];
         return false;
       },
       false},
      {"x - y", 2, [](QrcManagerI*, const qrotest::Vars& v) { return X(v, 0) - X(v, 1); },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = a[0] - a[1];
         return false;
       },
       false},
      {"abs(x)", 1, [](QrcManagerI*, const qrotest::Vars& v) { return QrcAbs(X(v, 0)); },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = a[0] < 0 ? -a[0] : a[0];
         return false;
       },
       false},
      {"x * x", 1, [](QrcManagerI*, const qrotest::Vars& v) { return QrcSquare(X(v, 0)); },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = a[0] * a[0];
         return false;
       },
       false},
      {"x * 3", 1, [](QrcManagerI*, const qrotest::Vars& v) { return X(v, 0) * 3; },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = a[0] * 3;
         return false;
       },
       false},
      {"x * -3", 1, [](QrcManagerI*, const qrotest::Vars& v) { return X(v, 0) * -3; },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = a[0] * -3;
         return false;
       },
       false},
      {"x * y", 2, [](QrcManagerI*, const qrotest::Vars& v) { return X(v, 0) * X(v, 1); },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = a[0] * a[1];
         return false;
       },
       false},
      {"x / 2", 1, [](QrcManagerI*, const qrotest::Vars& v) { return X(v, 0) / 2; },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = a[0] / 2;
         return false;
       },
       false},
      {"x / -3", 1, [](QrcManagerI*, const qrotest::Vars& v) { return X(v, 0) / -3; },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = a[0] / -3;
         return false;
       },
       false},
      {"x / 0", 1, [](QrcManagerI*, const qrotest::Vars& v) { return X(v, 0) / 0; },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = NoValue;
         return a[0] == 0;
       },
       false},
      {"10 / x", 1, [](QrcManagerI*, const qrotest::Vars& v) { return 10 / X(v, 0); },
       [](const std::vector<int64_t>& a, int64_t& q) {
         if (a[0] == 0) {
           q = NoValue;
           return false;
         }
         q = 10 / a[0];
         return false;
       },
       false},
      {"-7 / x", 1, [](QrcManagerI*, const qrotest::Vars& v) { return -7 / X(v, 0); },
       [](const std::vector<int64_t>& a, int64_t& q) {
         if (a[0] == 0) {
           q = NoValue;
           return false;
         }
         q = -7 / a[0];
         return false;
       },
       false},
      {"x / y", 2, [](QrcManagerI*, const qrotest::Vars& v) { return X(v, 0) / X(v, 1); },
       [](const std::vector<int64_t>& a, int64_t& q) {
         if (a[1] == 0) {
           q = NoValue;
           return a[0] == 0;
         }
         q = a[0] / a[1];
         return false;
       },
       true},
      {"min(x, 2)", 1, [](QrcManagerI*, const qrotest::Vars& v) { return QrcMin(X(v, 0), 2); },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = std::min<int64_t>(a[0], 2);
         return false;
       },
       false},
      {"max(x, -1)", 1, [](QrcManagerI*, const qrotest::Vars& v) { return QrcMax(X(v, 0), -1); },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = std::max<int64_t>(a[0], -1);
         return false;
       },
       false},
      {"min(x, y)", 2,
       [](QrcManagerI*, const qrotest::Vars& v) { return QrcMin(X(v, 0), X(v, 1)); },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = std::min(a[0], a[1]);
         return false;
       },
       false},
      {"max(x, y)", 2,
       [](QrcManagerI*, const qrotest::Vars& v) { return QrcMax(X(v, 0), X(v, 1)); },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = std::max(a[0], a[1]);
         return false;
       },
       false},
      {"max(x, y, z)", 3,
       [](QrcManagerI* m, const qrotest::Vars& v) {
         QrcIntExpI* t[] = {v[0], v[1], v[2]};
         return QrcMax(QrcManager(m), 3, t);
       },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = std::max(a[0], std::max(a[1], a[2]));
         return false;
       },
       false},
      {"min(x, y, z)", 3,
       [](QrcManagerI* m, const qrotest::Vars& v) {
         QrcIntExpI* t[] = {v[0], v[1], v[2]};
         return QrcMin(QrcManager(m), 3, t);
       },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = std::min(a[0], std::min(a[1], a[2]));
         return false;
       },
       false},
      {"sum(x, y, z)", 3,
       [](QrcManagerI* m, const qrotest::Vars& v) {
         QrcIntExpI* t[] = {v[0], v[1], v[2]};
         return QrcSum(QrcManager(m), 3, t);
       },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = a[0] + a[1] + a[2];
         return false;
       },
       false},
      {"2x - 3y + z", 3,
       [](QrcManagerI* m, const qrotest::Vars& v) {
         QrcIntVarArray x(QrcManager(m), 3);
         for (int i = 0; i < 3; ++i) x.set(i, X(v, static_cast<size_t>(i)));
         QrcInt c[] = {2, -3, 1};
         return QrcScalProd(x, QrcIntArray(QrcManager(m), 3, c));
       },
       [](const std::vector<int64_t>& a, int64_t& q) {
         q = 2 * a[0] - 3 * a[1] + a[2];
         return false;
       },
       false},
  };
}

// Round 0 and one round of random domains per node, three with QRO_TEST_FULL=1.
TEST(ArithNodes, EveryNodeAgreesWithBruteForce) {
  uint64_t seed = qrotest::caseSeed(2024);
  const int rounds = qrotest::draws(2, 4);
  qrotest::Rng rng(seed);
  for (const NodeCase& nc : nodeCases()) {
    for (int round = 0; round < 4; ++round) {
      auto doms = qrotest::randomDomains(rng, nc.arity, -6, 6, 6);
      if (round >= rounds) continue;  // the draws stay those of the full run
      if (round == 0)
        for (auto& d : doms) d = qrotest::range(-3, 3);  // zero inside every divisor
      int failures =
          checkNode(nc.name, doms, nc.build, nc.value, seed + static_cast<uint64_t>(round));
      ASSERT_EQ(failures, 0) << nc.name << " round " << round << " seed " << seed;
      for (Link link : {Link::Removals, Link::Differs}) {
        failures =
            checkNode(nc.name, doms, nc.build, nc.value, seed + static_cast<uint64_t>(round), link);
        ASSERT_EQ(failures, 0) << nc.name << " link " << static_cast<int>(link) << ", round "
                               << round << " seed " << seed;
      }
    }
  }
}

// Nodes whose operands sit just inside the engine's limit of 2^53 - 1 and
// whose results stay inside it; q ranges over the results and a margin.
TEST(ArithNodes, NodesAtTheLimitAgreeWithBruteForce) {
  uint64_t seed = qrotest::caseSeed(2053);
  qrotest::Rng rng(seed);
  const int64_t L = QrcIntMax;
  const std::set<std::string> names = {"x + 3",     "5 - x",      "-x",        "abs(x)",
                                       "x + y",     "x - y",      "x / 2",     "x / -3",
                                       "min(x, 2)", "max(x, -1)", "min(x, y)", "max(x, y)"};
  size_t ran = 0;
  for (const NodeCase& nc : nodeCases()) {
    if (!names.count(nc.name)) continue;
    ++ran;
    for (int round = 0; round < 4; ++round) {
      std::vector<std::vector<int64_t>> doms;
      int64_t sign = rng() % 2 ? 1 : -1;
      for (int i = 0; i < nc.arity; ++i) {
        // x + y pairs opposite ends; x - y and the extrema the same end.
        int64_t s = (i == 1 && std::string(nc.name) == "x + y") ? -sign : sign;
        int64_t far = s > 0 ? L - 7 : -L + 1;
        doms.push_back(qrotest::range(far, far + 5));
      }
      // q: the exact results and a margin of 2, within the limit.
      std::set<int64_t> results;
      std::vector<int64_t> a(doms.size() + 1);
      std::function<void(size_t)> walk = [&](size_t i) {
        if (i == doms.size()) {
          int64_t q = 0;
          if (!nc.value(a, q))
            for (int64_t d = -2; d <= 2; ++d)
              if (q + d > -L && q + d < L) results.insert(q + d);
          return;
        }
        for (int64_t v : doms[i]) {
          a[i] = v;
          walk(i + 1);
        }
      };
      walk(0);
      std::vector<int64_t> qValues(results.begin(), results.end());
      for (Link link : {Link::Range, Link::Removals}) {
        int failures = checkNode(nc.name, doms, nc.build, nc.value,
                                 seed + static_cast<uint64_t>(round), link, qValues);
        ASSERT_EQ(failures, 0) << nc.name << " at the limit, round " << round << " seed " << seed;
      }
    }
  }
  EXPECT_EQ(ran, names.size());
}

TEST(ArithNodes, BooleanProductAndBooleanSumAgreeWithBruteForce) {
  uint64_t seed = qrotest::caseSeed(77);
  for (Link link : {Link::Range, Link::Removals, Link::Differs}) {
    EXPECT_EQ(checkNode(
                  "x * y over 0-1", {{0, 1}, {0, 1}},
                  [](QrcManagerI*, const qrotest::Vars& v) { return X(v, 0) * X(v, 1); },
                  [](const std::vector<int64_t>& a, int64_t& q) {
                    q = a[0] * a[1];
                    return false;
                  },
                  seed, link),
              0);
    EXPECT_EQ(checkNode(
                  "sum of four 0-1", {{0, 1}, {0, 1}, {0, 1}, {0, 1}},
                  [](QrcManagerI* m, const qrotest::Vars& v) {
                    QrcIntExpI* t[] = {v[0], v[1], v[2], v[3]};
                    return QrcSum(QrcManager(m), 4, t);
                  },
                  [](const std::vector<int64_t>& a, int64_t& q) {
                    q = a[0] + a[1] + a[2] + a[3];
                    return false;
                  },
                  seed, link),
              0);
  }
}

// ---------------------------------------------------------------- fixed cases

TEST_F(IntTest, ProductsByConstants) {
  QrcIntVar x(mgr, -4, 10);
  QrcIntExp e = x * 3;
  EXPECT_EQ(e.getMin(), -12);
  EXPECT_EQ(e.getMax(), 30);
  m->pushState();
  e.setRange(5, 20);
  EXPECT_EQ(str(x.getImpl()), "[2..6]");
  m->popState();
  EXPECT_THROW(e.setRange(7, 8), QrcFailException);
  QrcIntVar y(mgr, -4, 10);
  QrcIntExp n = y * -3;
  EXPECT_EQ(n.getMin(), -30);
  EXPECT_EQ(n.getMax(), 12);
  n.setRange(-9, 2);
  EXPECT_EQ(str(y.getImpl()), "[0..3]");
  EXPECT_EQ((y * 1).getImpl(), y.getImpl());
  EXPECT_EQ((y * 0).getImpl(), m->getIntZero());
  EXPECT_EQ((y * 3).getImpl(), (3 * y).getImpl());
  EXPECT_EQ((y * y).getImpl(), QrcSquare(y).getImpl());
  EXPECT_EQ(str(n.getImpl()), "(-3 * [0..3])");
}

TEST_F(IntTest, QuotientsTruncateTowardZero) {
  QrcIntVar x(mgr, -7, 7);
  QrcIntExp h = x / 2;
  EXPECT_EQ(h.getMin(), -3);
  EXPECT_EQ(h.getMax(), 3);
  m->pushState();
  h.setRange(1, 2);
  EXPECT_EQ(str(x.getImpl()), "[2..5]");
  m->popState();
  h.setRange(0, 0);
  EXPECT_EQ(str(x.getImpl()), "[-1..1]");
  EXPECT_EQ((QrcIntExp(mgr, 7) / 2).getMin(), 3);
  EXPECT_EQ((QrcIntExp(mgr, -7) / 2).getMin(), -3);

  QrcIntVar z(mgr, -7, 7);
  QrcIntExp zero = z / 0;
  EXPECT_EQ(zero.getMin(), QrcIntMin);
  EXPECT_EQ(zero.getMax(), QrcIntMax);
  EXPECT_TRUE(zero.getImpl()->isOutOfRange());
  zero.setRange(-5, 5);
  EXPECT_EQ(str(z.getImpl()), "[0]");

  QrcIntVar d(mgr, -5, 5);
  d.removeValue(0);
  QrcIntExp q = 10 / d;
  EXPECT_EQ(q.getMin(), -10);
  EXPECT_EQ(q.getMax(), 10);
  q.setRange(3, 5);
  EXPECT_EQ(str(d.getImpl()), "[2..3]");
  QrcIntVar w(mgr, -20, 20);
  w.removeValue(0);
  (10 / w).setRange(0, 2);
  EXPECT_EQ(str(w.getImpl()), "[-20..-1 1..20]");
  QrcIntVar v(mgr, -5, 20);
  v.removeValue(0);
  (10 / v).setRange(0, 2);
  EXPECT_EQ(v.getMin(), 4);
  QrcIntVar big(mgr, QrcInt(1) << 32, QrcInt(1) << 32);
  EXPECT_EQ((5 / big).getImpl()->getMin(), 0);
  QrcIntVar nz(mgr, 1, 9);
  EXPECT_EQ((nz / nz).getMin(), 1);
  EXPECT_TRUE((nz / nz).isBound());
}

TEST_F(IntTest, GeneralAndBooleanProducts) {
  QrcIntVar x(mgr, -20, 20), y(mgr, 2, 5);
  (x * y).setRange(10, 20);
  EXPECT_EQ(str(x.getImpl()), "[2..10]");
  QrcIntVar a(mgr, -20, 20), b(mgr, -3, 4);
  (a * b).setRange(6, 12);
  EXPECT_EQ(str(a.getImpl()), "[-12..12]");
  QrcIntVar c(mgr, 1, 5), d(mgr, -2, 2);
  (c * d).setRange(0, 0);
  EXPECT_EQ(str(d.getImpl()), "[0]");
  QrcIntVar p(mgr, 0, 1), r(mgr, 0, 1);
  QrcIntExp bm = p * r;
  EXPECT_NE(dynamic_cast<QrcBoolMulI*>(bm.getImpl()), nullptr);
  m->pushState();
  bm.setValue(1);
  EXPECT_TRUE(p.isBound() && r.isBound() && p.getMin() == 1 && r.getMin() == 1);
  m->popState();
  p.setValue(1);
  bm.setValue(0);
  EXPECT_EQ(str(r.getImpl()), "[0]");
}

TEST_F(IntTest, SumsOfArraysAndBooleanSums) {
  QrcIntVarArray bools(mgr, 3, 0, 1);
  QrcIntExp card = QrcSum(bools);
  EXPECT_TRUE(card.getImpl()->isVariable());
  EXPECT_EQ(card.getMin(), 0);
  EXPECT_EQ(card.getMax(), 3);
  m->pushState();
  card.setValue(3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(bools[i].getMin(), 1);
  m->popState();
  bools[1].setValue(0);
  EXPECT_EQ(card.getMax(), 2);

  QrcIntVarArray terms(mgr, 3, 0, 10);
  QrcIntExp s = QrcSum(terms);
  EXPECT_NE(dynamic_cast<QrcArraySumI*>(s.getImpl()), nullptr);
  s.setRange(5, 30);
  EXPECT_EQ(str(terms[0].getImpl()), "[0..10]");
  s.setRange(25, 30);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(str(terms[i].getImpl()), "[5..10]");
  s.removeValue(27);
  EXPECT_EQ(str(terms[0].getImpl()), "[5..10]");

  QrcIntVarArray many(mgr, 45, 0, 5);
  QrcIntExp big = QrcSum(many);
  QrcArraySumI* top = dynamic_cast<QrcArraySumI*>(big.getImpl());
  ASSERT_NE(top, nullptr);
  ASSERT_EQ(top->getSize(), 3);
  EXPECT_EQ(dynamic_cast<QrcArraySumI*>(top->getTerm(0))->getSize(), 20);
  EXPECT_EQ(dynamic_cast<QrcArraySumI*>(top->getTerm(1))->getSize(), 20);
  EXPECT_EQ(dynamic_cast<QrcArraySumI*>(top->getTerm(2))->getSize(), 5);
  EXPECT_EQ(big.getMax(), 225);
  QrcIntVarArray forty(mgr, 40, 0, 5);
  EXPECT_NE(dynamic_cast<QrcAddI*>(QrcSum(forty).getImpl()), nullptr);
  EXPECT_EQ(QrcSum(QrcManager(m), 0, nullptr).getImpl(), m->getIntZero());

  QrcInt coefs[] = {1, 2};
  EXPECT_DEATH(QrcScalProd(terms, QrcIntArray(mgr, 2, coefs)),
               "Solver Error : QrcIntVarArrayI : bad array size : 3");
}

// A sum reads its terms c * x from the variables: a change of x after a read
// reaches the sum, after a backtrack and at the root alike.
TEST_F(IntTest, ScaledTermsOfASumFollowTheirVariables) {
  QrcIntVarArray x(mgr, 3, 0, 10);
  QrcInt c[] = {2, -3, 1};
  QrcIntExp s = QrcScalProd(x, QrcIntArray(mgr, 3, c));
  struct Step {
    int var;
    QrcInt max;
    QrcInt sumMin, sumMax;
  };
  const Step steps[] = {{0, 3, -30, 16}, {1, 4, -12, 16}, {0, 1, -12, 12}, {2, 5, -12, 7}};
  for (int round = 0; round < 2; ++round) {
    m->pushState();
    EXPECT_EQ(s.getMax(), 30);
    for (const Step& st : steps) {
      x[st.var].setMax(st.max);
      EXPECT_EQ(s.getMin(), st.sumMin) << "round " << round << " x" << st.var;
      EXPECT_EQ(s.getMax(), st.sumMax) << "round " << round << " x" << st.var;
    }
    m->popState();
  }
  EXPECT_EQ(s.getMin(), -30);
  EXPECT_EQ(s.getMax(), 30);
}

// A sum of three or more terms makes every term it examines a variable, up to
// and including the first that is not 0-1; the terms after it stay nodes.
TEST_F(IntTest, ASumMakesTheTermsItExaminesVariables) {
  struct Row {
    QrcInt lo, hi;
    QrcInt coefs[4];
    bool variable[4];  // whether each term is a variable once summed
    QrcInt made;       // variables the sum made
  };
  const Row rows[] = {
      {0, 10, {2, -3, 1, 4}, {true, false, true, false}, 1},
      {0, 10, {-1, 2, 5, 1}, {true, false, false, true}, 1},
      {0, 1, {1, 1, 3, 2}, {true, true, true, false}, 1},
      {0, 1, {1, 1, 1, 1}, {true, true, true, true}, 1},
      {-1, 1, {1, 2, 3, 1}, {true, false, false, true}, 0},
  };
  for (const Row& r : rows) {
    QrcIntVarArray x(mgr, 4, r.lo, r.hi);
    QrcIntExpI* terms[4];
    for (int i = 0; i < 4; ++i) terms[i] = (x[i] * r.coefs[i]).getImpl();
    QrcInt before = m->getVariableCount();
    QrcSum(QrcManager(m), 4, terms);
    EXPECT_EQ(m->getVariableCount() - before, r.made) << "coefficient " << r.coefs[0];
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(terms[i]->isVariable(), r.variable[i])
          << "coefficient " << r.coefs[0] << " term " << i;
  }
}

TEST_F(IntTest, MinimaAndMaxima) {
  QrcIntVar x(mgr, 0, 5), y(mgr, 8, 9), z(mgr, 0, 9);
  EXPECT_EQ(QrcMin(x, 7).getImpl(), x.getImpl());
  EXPECT_EQ(QrcMin(y, 7).getMin(), 7);
  EXPECT_TRUE(QrcMin(y, 7).isBound());
  QrcIntExp mz = QrcMin(z, 7);
  EXPECT_EQ(mz.getMax(), 7);
  mz.setRange(2, 8);
  EXPECT_EQ(z.getMin(), 2);
  EXPECT_EQ(z.getMax(), 9);
  EXPECT_THROW(mz.setRange(8, 9), QrcFailException);

  QrcIntVar u(mgr, 0, 3), v(mgr, 5, 9);
  EXPECT_EQ(QrcMax(u, v).getImpl(), v.getImpl());
  EXPECT_EQ(QrcMax(u, u).getImpl(), u.getImpl());
  QrcIntVar a(mgr, 0, 10), b(mgr, 5, 20);
  QrcMin(a, b).setRange(6, 8);
  EXPECT_EQ(a.getMin(), 6);
  EXPECT_EQ(b.getMin(), 6);

  QrcIntVar t0(mgr, 0, 5), t1(mgr, 0, 3), t2(mgr, 0, 4);
  QrcIntExpI* t[] = {t0.getImpl(), t1.getImpl(), t2.getImpl()};
  QrcMax(mgr, 3, t).setRange(5, 5);
  EXPECT_EQ(str(t0.getImpl()), "[5]");

  QrcIntVarArray many(mgr, 45, 0, 5);
  std::vector<QrcIntExpI*> terms;
  for (int i = 0; i < 45; ++i) terms.push_back(many[i].getImpl());
  QrcArrayMax* top = dynamic_cast<QrcArrayMax*>(QrcMax(mgr, 45, terms.data()).getImpl());
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->getSize(), 3);
  EXPECT_EQ(dynamic_cast<QrcArrayMax*>(top->getTerm(2))->getSize(), 5);
}

TEST_F(IntTest, ArithmeticMakersFoldAndShare) {
  QrcIntVar x(mgr, 0, 9, "x"), y(mgr, 0, 9, "y");
  EXPECT_EQ((x + y).getImpl(), (x + y).getImpl());
  EXPECT_NE((x + y).getImpl(), (y + x).getImpl());
  EXPECT_EQ((x - x).getImpl(), m->getIntZero());
  EXPECT_EQ((x + 0).getImpl(), x.getImpl());
  EXPECT_EQ((0 - x).getImpl(), (-x).getImpl());
  QrcIntExp twice = x + x;
  EXPECT_NE(dynamic_cast<QrcIntMulPosI*>(twice.getImpl()), nullptr);
  QrcInt vals[] = {-3, 2, 5};
  QrcIntVar h(mgr, QrcIntArray(mgr, 3, vals));
  EXPECT_EQ(QrcAbs(h).getMin(), 2);
  QrcIntVar neg(mgr, -5, -1);
  EXPECT_EQ(QrcAbs(neg).getImpl(), (-neg).getImpl());
  QrcIntVar bit(mgr, 0, 1);
  EXPECT_EQ(QrcSquare(bit).getImpl(), bit.getImpl());
  QrcIntVar k(mgr, 100000, 100000);
  EXPECT_EQ(QrcSquare(k).getMin(), 10000000000);
  QrcIntVar s(mgr, -10, 10);
  QrcSquare(s).setRange(5, 30);
  EXPECT_EQ(str(s.getImpl()), "[-5..-3 3..5]");
  QrcIntVar r(mgr, -5, 5);
  QrcSquare(r).removeRange(4, 9);
  EXPECT_EQ(str(r.getImpl()), "[-5..-4 -1..1 4..5]");
  QrcIntVar far(mgr, 0, QrcIntMax - 9);
  QrcIntExp off = far + 100;
  EXPECT_EQ(off.getMax(), QrcIntMax);
  EXPECT_TRUE(off.getImpl()->isOutOfRange());
  EXPECT_EQ(off.getImpl()->getFloatMax(), 1e30);
  off.setRange(100, 200);
  EXPECT_EQ(str(far.getImpl()), "[0..100]");
  QrcIntVar huge(mgr, QrcIntMax, QrcIntMax);
  EXPECT_FALSE((huge + 5).isBound() && (huge + 5).getImpl() == huge.getImpl());
  std::ostringstream os;
  os << (x + 3) << " " << (5 - x) << " " << (-x) << " " << (x - y) << " " << QrcAbs(s);
  EXPECT_EQ(os.str(),
            "(3 + x[0..9]) 5 - x[0..9]  - x[0..9] (x[0..9] - y[0..9]) QrcAbs([-5..-3 3..5])");
}

// ---------------------------------------------------------------- SEND + MORE = MONEY

class DiffCt : public QrcConstraintI {
 public:
  DiffCt(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y) : QrcConstraintI(m), _x(x), _y(y) {}
  void post() override {
    _x->whenValue(this);
    _y->whenValue(this);
  }
  void propagate() override {
    if (_x->isBound()) _y->removeValue(_x->getMin());
    if (_y->isBound()) _x->removeValue(_y->getMin());
  }

 private:
  QrcIntExpI* _x;
  QrcIntExpI* _y;
};

TEST_F(IntTest, SendMoreMoneyHasOneSolution) {
  QrcIntVarArray l(mgr, 8, 0, 9);  // S E N D M O R Y
  l[0].setMin(1);
  l[4].setMin(1);
  for (int i = 0; i < 8; ++i)
    for (int j = i + 1; j < 8; ++j) m->add(new (m) DiffCt(m, l[i].getImpl(), l[j].getImpl()));
  QrcIntVarArray x(mgr, 13);
  QrcInt c[13] = {1000, 100, 10, 1, 1000, 100, 10, 1, -10000, -1000, -100, -10, -1};
  int idx[13] = {0, 1, 2, 3, 4, 5, 6, 1, 4, 5, 2, 1, 7};
  for (int i = 0; i < 13; ++i) x.set(i, l[idx[i]]);
  QrcIntExp lhs = QrcScalProd(x, QrcIntArray(mgr, 13, c));
  m->add(new (m) LinkCt(m, QrcIntVar(mgr, 0, 0).getImpl(), lhs.getImpl()));
  QrcSearch s(mgr, QrcGoal(new (m) LabelArray(m, l.getImpl())));
  int n = 0;
  std::string found;
  while (s.next()) {
    ++n;
    for (int i = 0; i < 8; ++i) found += std::to_string(l[i].getValue());
  }
  s.end();
  EXPECT_EQ(n, 1);
  EXPECT_EQ(found, "95671082");  // 9567 + 1085 = 10652
}

}  // namespace
}  // namespace inttest
