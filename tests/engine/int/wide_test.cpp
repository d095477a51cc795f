// Nodes over wide domains, near the engine's limit of 2^53 - 1: the bounds
// (computed in integers or in doubles) enclose the exact value of a chosen
// point, and narrowing a node to a range around that value keeps the point.
// Comparisons over nodes whose values pass the limit, where their bounds are
// clamped, agree with a brute force in 128 bits. The sanitizers catch any
// integer overflow on the way.
#include <algorithm>
#include <functional>
#include <random>

#include "int_fixtures.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "support/harness.h"
#include "support/seed.h"

namespace inttest {
namespace {

typedef __int128 Wide;

const QrcInt Lim = QrcIntMax;

struct Point {
  QrcInt x, y;
};

QrcInt pick(std::mt19937_64& rng, QrcInt lo, QrcInt hi) {
  return lo + static_cast<QrcInt>(rng() % static_cast<uint64_t>(hi - lo + 1));
}

// A random interval of a random magnitude class.
void randomInterval(std::mt19937_64& rng, QrcInt& lo, QrcInt& hi) {
  QrcInt span = static_cast<QrcInt>(rng() % 50);
  switch (rng() % 5) {
    case 0:
      lo = -Lim + static_cast<QrcInt>(rng() % 20);
      break;
    case 1:
      lo = Lim - span - static_cast<QrcInt>(rng() % 20);
      break;
    case 2:
      lo = static_cast<QrcInt>(rng() % 40) - 20;
      break;
    case 3:
      lo = static_cast<QrcInt>(rng() % (QrcInt(1) << 40)) - (QrcInt(1) << 39);
      break;
    default:
      lo = (QrcInt(1) << 52) - static_cast<QrcInt>(rng() % 100);
      break;
  }
  hi = lo + span > Lim ? Lim : lo + span;
}

TEST_F(IntTest, WideNodesEncloseAndKeepTheirPoints) {
  uint64_t seed = qrotest::seedOr(4242);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (replay with --qro_seed=" + std::to_string(seed) +
               ")");
  std::mt19937_64 rng(seed);
  const int kinds = 13;
  int checked = 0, clamped = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    int kind = static_cast<int>(rng() % kinds);
    QrcInt xa, xb, ya, yb;
    randomInterval(rng, xa, xb);
    randomInterval(rng, ya, yb);
    QrcInt c = static_cast<QrcInt>(rng() % 2 ? rng() % 7 : rng() % (QrcInt(1) << 50)) *
               (rng() % 2 ? 1 : -1);
    if (c == 0 || c == 1 || c == -1) c = 3;
    m->pushState();
    QrcIntExpI* x = new (m) QrcIntExpI(m, xa, xb, nullptr);
    QrcIntExpI* y = new (m) QrcIntExpI(m, ya, yb, nullptr);
    QrcIntExp X(x), Y(y);
    Point p{pick(rng, xa, xb), pick(rng, ya, yb)};
    if (p.y == 0) p.y = yb != 0 ? yb : ya;
    if (p.y == 0) {
      m->popState();
      continue;
    }
    QrcIntExp e;
    Wide r = 0;
    switch (kind) {
      case 0:
        e = X + c;
        r = Wide(p.x) + c;
        break;
      case 1:
        e = c - X;
        r = Wide(c) - p.x;
        break;
      case 2:
        e = -X;
        r = -Wide(p.x);
        break;
      case 3:
        e = QrcAbs(X);
        r = p.x < 0 ? -Wide(p.x) : Wide(p.x);
        break;
      case 4:
        e = QrcSquare(X);
        r = Wide(p.x) * p.x;
        break;
      case 5:
        e = X * c;
        r = Wide(p.x) * c;
        break;
      case 6:
        e = X * Y;
        r = Wide(p.x) * p.y;
        break;
      case 7:
        e = X / c;
        r = Wide(p.x) / c;
        break;
      case 8:
        e = c / Y;
        r = Wide(c) / p.y;
        break;
      case 9:
        e = X / Y;
        r = Wide(p.x) / p.y;
        break;
      case 10:
        e = X + Y;
        r = Wide(p.x) + p.y;
        break;
      case 11:
        e = X - Y;
        r = Wide(p.x) - p.y;
        break;
      default:
        e = QrcMax(X, Y);
        r = p.x > p.y ? p.x : p.y;
        break;
    }
    bool divides = kind == 8 || kind == 9;
    if (divides && ya <= 0 && 0 <= yb) y->removeValue(0);
    QrcIntExpI* n = e.getImpl();
    std::string what = "trial " + std::to_string(trial) + " kind " + std::to_string(kind) +
                       " x=" + std::to_string(p.x) + " y=" + std::to_string(p.y) +
                       " c=" + std::to_string(c);
    if (r > Lim || r < -Lim) {
      // Out of reach: the node clamps; requests on it must not overflow.
      try {
        n->setRange(QrcInt(0), QrcInt(5));
      } catch (QrcFailException&) {
      }
      ++clamped;
      m->popState();
      continue;
    }
    ++checked;
    QrcInt v = static_cast<QrcInt>(r);
    ASSERT_LE(n->getMin(), v) << what;
    ASSERT_GE(n->getMax(), v) << what;
    QrcInt d1 = static_cast<QrcInt>(rng() % 4), d2 = static_cast<QrcInt>(rng() % 4);
    QrcInt lo = v - d1 < -Lim ? -Lim : v - d1, hi = v + d2 > Lim ? Lim : v + d2;
    try {
      n->setRange(lo, hi);
      if (v + 1 <= hi && v + 1 <= Lim) n->removeValue(v + 1);
    } catch (QrcFailException&) {
      FAIL() << what << ": narrowing to [" << lo << ", " << hi << "] failed";
    }
    ASSERT_TRUE(x->isInDomain(p.x)) << what;
    ASSERT_TRUE(y->isInDomain(p.y)) << what;
    m->popState();
  }
  EXPECT_GT(checked, 1500);
  EXPECT_GT(clamped, 100);
}

// ---------------------------------------------------------------- past the limit

typedef std::vector<int64_t> A;

QrcIntExp V(const qrotest::Vars& v, size_t i) {
  return QrcIntExp(v[i]);
}

QrcIntExp scalProd(const qrotest::Vars& v, std::vector<QrcInt> c) {
  QrcManager m(v[0]->getManager());
  QrcIntVarArray x(m, static_cast<QrcInt>(c.size()));
  for (size_t i = 0; i < c.size(); ++i) x.set(static_cast<QrcInt>(i), V(v, i));
  return QrcScalProd(x, QrcIntArray(m, static_cast<QrcInt>(c.size()), c.data()));
}

const QrcInt P13 = QrcInt(1) << 13, P20 = QrcInt(1) << 20, P26 = QrcInt(1) << 26,
             P30 = QrcInt(1) << 30, P31 = QrcInt(1) << 31, P40 = QrcInt(1) << 40,
             P46 = QrcInt(1) << 46, P52 = QrcInt(1) << 52, P60 = QrcInt(1) << 60;

struct PastCase {
  const char* name;
  std::vector<A> values;
  std::function<QrcConstraint(const qrotest::Vars&)> make;
  std::function<bool(const A&)> check;
  // The assignments the case's own narrowings allow (all when empty).
  std::function<bool(const A&)> scope = nullptr;
};

// Terms, partial sums and products that pass the limit, where every node
// clamps its bounds: the comparison must accept exactly the assignments that
// hold in 128 bits, in its reified forms too.
std::vector<PastCase> pastCases() {
  const A near20 = {P20 - 1, P20}, around20 = {P20 - 1, P20, P20 + 1};
  return {
      {"2^40 x - 2^40 z == 0",
       {near20, near20},
       [](const qrotest::Vars& v) {
         return scalProd(v, {P40, -P40}) == 0;
       },
       [](const A& a) { return a[0] == a[1]; }},
      {"-7 x0 + 2^20 x1 - 2^20 x2 - 2^40 x3 in a range",
       {qrotest::range(-3, 3), {0, 2, P46}, {0, P46, -P46}, {1, 2, P26}},
       [](const qrotest::Vars& v) {
         return QrcConstraint(
             QrcMakeIntRange(scalProd(v, {-7, P20, -P20, -P40}), -2199021170374, -2199021157622));
       },
       [](const A& a) {
         __int128 s = -7 * __int128(a[0]) + __int128(P20) * a[1] - __int128(P20) * a[2] -
                      __int128(P40) * a[3];
         return -2199021170374 <= s && s <= -2199021157622;
       }},
      {"sum of 2^40 x, -2^40 z, y, -w == 1",
       {around20, around20, {0, 1, 2}, {0, 1}},
       [](const qrotest::Vars& v) {
         QrcIntExpI* t[] = {(V(v, 0) * P40).getImpl(), (V(v, 1) * -P40).getImpl(), v[2],
                            (-V(v, 3)).getImpl()};
         return QrcSum(QrcManager(v[0]->getManager()), 4, t) == 1;
       },
       [](const A& a) { return P40 * (a[0] - a[1]) + a[2] - a[3] == 1; }},
      // Partial sums past the limit, their results within it.
      {"x + y + z == w at the limit",
       {{-Lim + 3, -Lim + 5},
        {-Lim + 4, -Lim + 6},
        {Lim - 6, Lim - 8},
        {-Lim + 1, -Lim + 2, -Lim + 3}},
       [](const qrotest::Vars& v) { return V(v, 0) + V(v, 1) + V(v, 2) == V(v, 3); },
       [](const A& a) { return __int128(a[0]) + a[1] + a[2] == a[3]; }},
      {"sum of x, y, z == w near the limit",
       {{Lim - 9, Lim - 1}, {Lim - 6, Lim - 4}, {-Lim, -Lim + 1}, {Lim - 5, Lim - 4}},
       [](const qrotest::Vars& v) {
         QrcIntExpI* t[] = {v[0], v[1], v[2]};
         return QrcSum(QrcManager(v[0]->getManager()), 3, t) == V(v, 3);
       },
       [](const A& a) { return __int128(a[0]) + a[1] + a[2] == a[3]; }},
      // Sides within the limit, their linear form past it.
      {"a + b + L == c + d - (L - 3)",
       {{-P52 + 1, -P52 + 2}, {-P52 + 1, -P52 + 2}, {P52 - 2, P52 - 1}, {P52 - 2, P52 - 1}},
       [](const qrotest::Vars& v) {
         return V(v, 0) + V(v, 1) + Lim == V(v, 2) + V(v, 3) - (Lim - 3);
       },
       [](const A& a) { return __int128(a[0]) + a[1] + Lim == __int128(a[2]) + a[3] - (Lim - 3); }},
      // Coefficients of 2^70 pass 64 bits: no linear form, the sum itself.
      {"(2^40 x) 2^30 - (2^40 w) 2^30 + y + z == 1",
       {{1, 2}, {1, 2}, {0, 1}, {0, 1}},
       [](const qrotest::Vars& v) {
         return (V(v, 0) * P40) * P30 - (V(v, 1) * P40) * P30 + V(v, 2) + V(v, 3) == 1;
       },
       [](const A& a) { return a[0] == a[1] && a[2] + a[3] == 1; }},
      {"x * y == z * w",
       {{P30, P30 + 1, P31}, {P30, P31}, {P30, P31}, {P30, P30 + 1, P31}},
       [](const qrotest::Vars& v) { return V(v, 0) * V(v, 1) == V(v, 2) * V(v, 3); },
       [](const A& a) { return __int128(a[0]) * a[1] == __int128(a[2]) * a[3]; }},
      {"x * y <= 2^40 z",
       {{P30 - 1, P30, P30 + 1}, {P30 - 1, P30, P30 + 1}, around20},
       [](const qrotest::Vars& v) { return V(v, 0) * V(v, 1) <= V(v, 2) * P40; },
       [](const A& a) { return __int128(a[0]) * a[1] <= __int128(P40) * a[2]; }},
      {"x * y >= 2^60",
       {{1, P30 - 1, P30}, {P30, P31}},
       [](const qrotest::Vars& v) { return V(v, 0) * V(v, 1) >= P60; },
       [](const A& a) { return __int128(a[0]) * a[1] >= P60; }},
      {"x^2 - y^2 == 2^31 + 1",
       {{P30, P30 + 1, P30 + 2}, {P30, P30 + 1, P30 + 2}},
       [](const qrotest::Vars& v) { return QrcSquare(V(v, 0)) - QrcSquare(V(v, 1)) == P31 + 1; },
       [](const A& a) { return __int128(a[0]) * a[0] - __int128(a[1]) * a[1] == P31 + 1; }},
      {"abs(2^40 x - 2^40 z) != 2^40",
       {around20, around20},
       [](const qrotest::Vars& v) { return QrcAbs(V(v, 0) * P40 - V(v, 1) * P40) != P40; },
       [](const A& a) { return a[0] - a[1] != 1 && a[1] - a[0] != 1; }},
      {"min(2^40 x, 2^40 z) == max(2^40 x, 2^40 z)",
       {around20, around20},
       [](const qrotest::Vars& v) {
         QrcIntExp x = V(v, 0) * P40, z = V(v, 1) * P40;
         return QrcMin(x, z) == QrcMax(x, z);
       },
       [](const A& a) { return a[0] == a[1]; }},
      {"(2^40 x) / 2^30 == 2^10 z",
       {around20, around20},
       [](const qrotest::Vars& v) { return (V(v, 0) * P40) / P30 == V(v, 1) * 1024; },
       [](const A& a) { return a[0] == a[1]; }},
      {"(x * y) / z == w",
       {{P30, P30 + 1}, {P30, P31}, {P30, P31 + 2}, {P30, P31, P31 + 1}},
       [](const qrotest::Vars& v) { return (V(v, 0) * V(v, 1)) / V(v, 2) == V(v, 3); },
       [](const A& a) { return __int128(a[0]) * a[1] / a[2] == a[3]; }},
      {"2^40 x != 2^40 z",
       {around20, around20},
       [](const qrotest::Vars& v) { return V(v, 0) * P40 != V(v, 1) * P40; },
       [](const A& a) { return a[0] != a[1]; }},
      {"2^40 x < 2^40 z",
       {around20, around20},
       [](const qrotest::Vars& v) { return V(v, 0) * P40 < V(v, 1) * P40; },
       [](const A& a) { return a[0] < a[1]; }},
      {"2^40 x >= 2^60",
       {around20},
       [](const qrotest::Vars& v) { return V(v, 0) * P40 >= P60; },
       [](const A& a) { return a[0] >= P20; }},
      {"2^40 x == 2^60",
       {around20},
       [](const qrotest::Vars& v) { return V(v, 0) * P40 == P60; },
       [](const A& a) { return a[0] == P20; }},
      // A variable holds no value past the limit: a node made one takes its
      // exact value within the limit, and no value beyond.
      {"var(2^40 x - 2^40 z) == y",
       {{P20, P20 + 1, P30}, {P20, P20 + 1}, {-1, 0, 1}},
       [](const qrotest::Vars& v) {
         QrcIntVar d(V(v, 0) * P40 - V(v, 1) * P40);
         return QrcIntExp(d) == V(v, 2) * P40;
       },
       [](const A& a) { return a[0] - a[1] == a[2]; },
       [](const A& a) { return a[0] - a[1] < P13 && a[1] - a[0] < P13; }},
  };
}

TEST(WideComparisons, ComparisonsPastTheLimitAgreeWithBruteForce) {
  uint64_t seed = qrotest::caseSeed(353);
  for (const PastCase& pc : pastCases()) {
    qrotest::PropCase c;
    c.name = pc.name;
    c.values = pc.values;
    auto make = pc.make;
    c.make = [make](QrcManagerI*, const qrotest::Vars& v) { return make(v).getImpl(); };
    c.check = pc.check;
    if (pc.scope) {
      auto scope = pc.scope, check = pc.check;
      c.scope = scope;
      c.check = [scope, check](const A& a) { return scope(a) && check(a); };
    }
    c.seed = seed;
    c.narrowRuns = qrotest::draws(20, 60);
    EXPECT_EQ(qrotest::runPropCase(c), 0) << pc.name;
  }
}

// Random comparisons of sums of products with coefficients up to 2^40 over
// values near powers of two up to 2^36, decided in 128 bits.
struct Term {
  QrcInt coef;
  int x, y;  // y < 0: c * x
};

TEST(WideComparisons, RandomWideComparisonsAgreeWith128BitBruteForce) {
  uint64_t seed = qrotest::caseSeed(2127);
  std::mt19937_64 rng(seed);
  const int n = 3;
  for (int round = 0; round < qrotest::draws(12, 60); ++round) {
    std::vector<A> values(n);
    for (A& d : values) {
      QrcInt base = QrcInt(1) << (rng() % 37);
      for (int k = 0; k < 2 + static_cast<int>(rng() % 2); ++k)
        d.push_back(base + static_cast<QrcInt>(rng() % 3) * (rng() % 2 ? 1 : -1) * (k + 1));
      std::sort(d.begin(), d.end());
      d.erase(std::unique(d.begin(), d.end()), d.end());
    }
    std::vector<Term> terms;
    for (int t = 0; t < 2 + static_cast<int>(rng() % 3); ++t) {
      QrcInt c = (QrcInt(1) << (rng() % 41)) + static_cast<QrcInt>(rng() % 5);
      terms.push_back({rng() % 2 ? c : -c, static_cast<int>(rng() % n),
                       rng() % 3 == 0 ? static_cast<int>(rng() % n) : -1});
    }
    auto value = [terms](const A& a) {
      __int128 s = 0;
      for (const Term& t : terms) s += __int128(t.coef) * a[t.x] * (t.y < 0 ? 1 : a[t.y]);
      return s;
    };
    // The constant: the value of a drawn assignment, sometimes moved by one.
    A pick(n);
    for (int i = 0; i < n; ++i) pick[i] = values[i][rng() % values[i].size()];
    __int128 target = value(pick) + static_cast<int>(rng() % 3) - 1;
    if (target > INT64_MAX || target < INT64_MIN) target = 0;
    QrcInt k = static_cast<QrcInt>(target);
    int op = static_cast<int>(rng() % 4);
    qrotest::PropCase c;
    c.name = "random wide comparison " + std::to_string(round) + " op " + std::to_string(op);
    c.values = values;
    c.make = [terms, k, op](QrcManagerI* m, const qrotest::Vars& v) {
      QrcIntExpI** t = static_cast<QrcIntExpI**>(m->allocate(terms.size() * sizeof(QrcIntExpI*)));
      for (size_t i = 0; i < terms.size(); ++i) {
        QrcIntExp e = V(v, static_cast<size_t>(terms[i].x));
        if (terms[i].y >= 0) e = e * V(v, static_cast<size_t>(terms[i].y));
        t[i] = (e * terms[i].coef).getImpl();
      }
      QrcIntExp s = QrcSum(QrcManager(m), static_cast<QrcInt>(terms.size()), t);
      QrcConstraint ct = op == 0 ? s == k : op == 1 ? s != k : op == 2 ? s <= k : s >= k;
      return ct.getImpl();
    };
    c.check = [value, k, op](const A& a) {
      __int128 s = value(a);
      return op == 0 ? s == k : op == 1 ? s != k : op == 2 ? s <= k : s >= k;
    };
    c.seed = seed + static_cast<uint64_t>(round);
    c.narrowRuns = 10;
    ASSERT_EQ(qrotest::runPropCase(c), 0) << c.name << " seed " << seed;
  }
}

}  // namespace
}  // namespace inttest
