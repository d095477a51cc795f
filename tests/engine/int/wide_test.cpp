// Nodes over wide domains, near the engine's limit of 2^53 - 1: the bounds
// (computed in integers or in doubles) enclose the exact value of a chosen
// point, and narrowing a node to a range around that value keeps the point.
// The sanitizers catch any integer overflow on the way.
#include <random>

#include "int_fixtures.h"
#include "qrcintarith.h"
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

}  // namespace
}  // namespace inttest
