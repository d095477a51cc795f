// Inverse and set channelling, lexicographic order, member and not-member:
// fixed cases, errors, and brute force through the harness (set and integer
// variables mixed for the channelling).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "constraint_fixtures.h"
#include "qrcintarith.h"
#include "qrcinverse.h"
#include "qrclex.h"
#include "qrcmember.h"
#include "support/harness.h"
#include "support/setkind.h"

namespace {

using ctest::V;
using qrotest::Consistency;
using qrotest::PropCase;
using qrotest::Vars;

typedef std::vector<int64_t> A;

class ChannelTest : public ctest::ConstraintTest {
 protected:
  QrcIntSetVarArray sets(std::vector<QrcIntSetVarI*> ss) {
    QrcIntSetVarArray a(mgr, static_cast<QrcInt>(ss.size()));
    for (size_t i = 0; i < ss.size(); ++i) a.getImpl()->elementAt(static_cast<QrcInt>(i)) = ss[i];
    return a;
  }
  QrcIntSetVarI* set(QrcInt lo, QrcInt hi) { return new (m) QrcIntSetVarI(m, lo, hi, nullptr); }
};

// ---------------------------------------------------------------- channelling

TEST_F(ChannelTest, Inverse) {
  QrcIntExpI* f0 = var(0, 1);
  QrcIntExpI* f1 = var(0, 1);
  QrcIntExpI* i0 = var(1, 1);
  QrcIntExpI* i1 = var(0, 1);
  ASSERT_TRUE(adds(QrcInverse(array({f0, f1}), array({i0, i1}))));
  EXPECT_EQ(dom(f0), (V{1}));
  EXPECT_EQ(dom(f1), (V{0}));
  EXPECT_EQ(dom(i1), (V{0}));
  // A value outside the other array is left alone.
  QrcIntExpI* g0 = var(7, 7);
  std::vector<QrcIntExpI*> inv = {var(1, 4), var(1, 4), var(1, 4)};
  ASSERT_TRUE(adds(QrcInverse(array({g0}), array(inv))));
  EXPECT_EQ(dom(g0), (V{7}));
  for (QrcIntExpI* x : inv) EXPECT_EQ(dom(x), (V{1, 2, 3, 4}));
  // Removals follow the deltas both ways.
  std::vector<QrcIntExpI*> f = {var(0, 2), var(0, 2), var(0, 2)};
  std::vector<QrcIntExpI*> g = {var(0, 2), var(0, 2), var(0, 2)};
  QrcConstraintI* ct = QrcInverse(array(f), array(g)).getImpl();
  ASSERT_TRUE(adds(ct));
  f[0]->removeValue(1);
  EXPECT_FALSE(g[1]->isInDomain(0));
  g[2]->setValue(1);
  EXPECT_EQ(dom(f[1]), (V{2}));
  EXPECT_EQ(dom(f[0]), (V{0}));
  QrcManager other(QrcNoEdit);
  EXPECT_TRUE(ct->getCopyForManager(other.getImpl())->isType(QrcInverseCstI::GetTypeInfo()));
  other.end();
}

TEST_F(ChannelTest, SetChannelling) {
  std::vector<QrcIntSetVarI*> s = {set(0, 3), set(0, 3), set(0, 3)};
  std::vector<QrcIntExpI*> x = {var(0, 2), var(0, 2), var(0, 2), var(0, 2)};
  ASSERT_TRUE(adds(QrcInverse(sets(s), array(x))));
  x[2]->setValue(1);
  EXPECT_TRUE(s[1]->isRequired(2));
  EXPECT_FALSE(s[0]->isPossible(2));
  EXPECT_FALSE(s[2]->isPossible(2));
  s[0]->addRequired(QrcInt(3));
  EXPECT_TRUE(x[3]->isBound() && x[3]->getValue() == 0);
  s[2]->removePossible(0);
  EXPECT_EQ(dom(x[0]), (V{0, 1}));
  // An element outside the positions: a demon, or the first propagation, fails.
  std::vector<QrcIntSetVarI*> t = {set(0, 5)};
  std::vector<QrcIntExpI*> y = {var(0, 0), var(0, 0), var(0, 0), var(0, 0), var(0, 0)};
  ASSERT_TRUE(adds(QrcInverse(sets(t), array(y))));
  EXPECT_FALSE(t[0]->isPossible(5));
  EXPECT_FALSE(holds([&] { t[0]->addRequired(QrcInt(5)); }));
  QrcIntSetVarI* u = set(0, 5);
  u->addRequired(QrcInt(5));
  EXPECT_FALSE(
      adds(QrcInverse(sets({u}), array({var(0, 0), var(0, 0), var(0, 0), var(0, 0), var(0, 0)}))));
}

TEST(ChannelHarness, Inverse) {
  for (int k = 0; k < 30; ++k) {
    uint64_t seed = qrotest::caseSeed(4100 + static_cast<uint64_t>(k));
    qrotest::Rng rng(seed);
    int nf = 1 + static_cast<int>(rng() % 4), ni = 1 + static_cast<int>(rng() % 4);
    bool same = k % 3 == 0;
    if (same) ni = nf;
    PropCase c;
    c.name = same ? "inverse f = invf" : "inverse";
    c.notReified = "an inverse has no opposite";
    c.seed = seed;
    int hi = std::max(nf, ni);
    c.values = qrotest::randomDomains(rng, same ? nf : nf + ni, -1, hi, hi + 2);
    c.make = [nf, ni, same](QrcManagerI* m, const Vars& v) {
      QrcIntVarArray f(QrcManager(m), nf), g(QrcManager(m), ni);
      for (int i = 0; i < nf; ++i) f.set(i, QrcIntExp(v[static_cast<size_t>(i)]));
      for (int j = 0; j < ni; ++j) g.set(j, QrcIntExp(v[static_cast<size_t>(same ? j : nf + j)]));
      return QrcInverse(f, g).getImpl();
    };
    c.check = [nf, ni, same](const A& s) {
      auto f = [&](int i) { return s[static_cast<size_t>(i)]; };
      auto g = [&](int j) { return s[static_cast<size_t>(same ? j : nf + j)]; };
      for (int i = 0; i < nf; ++i)
        if (f(i) >= 0 && f(i) < ni && g(static_cast<int>(f(i))) != i) return false;
      for (int j = 0; j < ni; ++j)
        if (g(j) >= 0 && g(j) < nf && f(static_cast<int>(g(j))) != j) return false;
      return true;
    };
    qrotest::runPropCase(c);
  }
}

TEST(ChannelHarness, SetChannelling) {
  for (int k = 0; k < 12; ++k) {
    uint64_t seed = qrotest::caseSeed(4150 + static_cast<uint64_t>(k));
    qrotest::Rng rng(seed);
    int m = 1 + static_cast<int>(rng() % 3), n = 1 + static_cast<int>(rng() % 3);
    PropCase c;
    c.name = "set channelling";
    c.notReified = "a set channelling has no opposite";
    c.seed = seed;
    // Masks over the positions, one of them with an element beyond.
    A masks = qrotest::subsets(n);
    masks.push_back((int64_t(1) << n) | 1);
    for (int i = 0; i < m; ++i) {
      c.values.push_back(masks);
      c.kinds.push_back(&qrotest::intSetKind());
    }
    for (int j = 0; j < n; ++j) c.values.push_back(qrotest::range(-1, m));
    c.make = [m, n](QrcManagerI* mg, const Vars& v) {
      QrcIntSetVarArray s(QrcManager(mg), m);
      for (int i = 0; i < m; ++i) s.getImpl()->elementAt(i) = v.expr(static_cast<size_t>(i));
      QrcIntVarArray x(QrcManager(mg), n);
      for (int j = 0; j < n; ++j) x.set(j, QrcIntExp(v[static_cast<size_t>(m + j)]));
      return QrcInverse(s, x).getImpl();
    };
    c.check = [m, n](const A& s) {
      std::vector<int64_t> want(static_cast<size_t>(m), 0);
      for (int j = 0; j < n; ++j) {
        int64_t x = s[static_cast<size_t>(m + j)];
        if (x < 0 || x >= m) return false;
        want[static_cast<size_t>(x)] |= int64_t(1) << j;
      }
      for (int i = 0; i < m; ++i)
        if (s[static_cast<size_t>(i)] != want[static_cast<size_t>(i)]) return false;
      return true;
    };
    qrotest::runPropCase(c);
  }
}

// ---------------------------------------------------------------- lex

TEST_F(ChannelTest, Lex) {
  EXPECT_FALSE(adds(QrcGeLex(array({var(1, 1), var(2, 2)}), array({var(1, 1), var(3, 3)}))));
  QrcIntExpI* x0 = var(0, 5);
  EXPECT_FALSE(adds(QrcGeLex(array({x0, var(0, 0)}), array({var(5, 5), var(1, 1)}))));
  // Position 1 cannot make up for equality at position 0.
  QrcIntExpI* a0 = var(0, 3);
  QrcIntExpI* b0 = var(2, 5);
  ASSERT_TRUE(adds(QrcGeLex(array({a0, var(0, 1)}), array({b0, var(3, 4)}))));
  EXPECT_EQ(dom(a0), (V{3}));
  EXPECT_EQ(dom(b0), (V{2}));
  // Once x[i] > y[i] at the watched position, nothing more is narrowed.
  QrcIntExpI* c1 = var(0, 9);
  QrcIntExpI* d1 = var(5, 9);
  QrcConstraintI* ct = QrcGeLex(array({var(3, 5), c1}), array({var(0, 2), d1})).getImpl();
  ASSERT_TRUE(adds(ct));
  EXPECT_EQ(static_cast<QrcLexCtI*>(ct)->getAlpha(), 2);
  c1->setValue(0);
  EXPECT_EQ(dom(d1), (V{5, 6, 7, 8, 9}));
  // Forced-equal prefix: alpha moves on.
  std::vector<QrcIntExpI*> xs = {var(2, 4), var(0, 9), var(0, 9)};
  std::vector<QrcIntExpI*> ys = {var(4, 6), var(0, 9), var(0, 9)};
  QrcConstraintI* lex = QrcLeLex(array(ys), array(xs)).getImpl();
  ASSERT_TRUE(adds(lex));
  EXPECT_EQ(dom(xs[0]), (V{4}));
  EXPECT_EQ(dom(ys[0]), (V{4}));
  EXPECT_EQ(static_cast<QrcLexCtI*>(lex)->getAlpha(), 1);
  ys[1]->setMin(5);
  EXPECT_EQ(xs[1]->getMin(), 5);
  // Errors.
  EXPECT_EQ(errorLine([&] {
              QrcGeLex(array({var(0, 1), var(0, 1)}), array({var(0, 1)}));
            }),
            "Solver Error : QrcLex Constraint : bad array size : 1\n");
  EXPECT_EQ(errorLine([&] { QrcGeLex(QrcIntVarArray(), array({var(0, 1)})); }),
            "Solver Error : QrcLex Constraint : bad array size : 0\n");
  EXPECT_FALSE(
      QrcGeLex(array({var(0, 1)}), array({var(0, 1)})).getImpl()->isType(QrcLexCtI::GetTypeInfo()));
}

bool lexGe(const A& s, size_t n, size_t xAt, size_t yAt) {
  for (size_t i = 0; i < n; ++i) {
    if (s[xAt + i] != s[yAt + i]) return s[xAt + i] > s[yAt + i];
  }
  return true;
}

TEST(ChannelHarness, Lex) {
  for (int k = 0; k < 30; ++k) {
    uint64_t seed = qrotest::caseSeed(4200 + static_cast<uint64_t>(k));
    qrotest::Rng rng(seed);
    size_t n = 1 + rng() % 4;
    bool le = k % 2 == 1;
    PropCase c;
    c.name = le ? "QrcLeLex" : "QrcGeLex";
    c.notReified = "lexicographic orders have no opposite";
    c.seed = seed;
    c.values = qrotest::randomDomains(rng, static_cast<int>(2 * n), 0, 3, 3);
    c.make = [n, le](QrcManagerI* m, const Vars& v) {
      QrcIntVarArray x(QrcManager(m), static_cast<QrcInt>(n)),
          y(QrcManager(m), static_cast<QrcInt>(n));
      for (size_t i = 0; i < n; ++i) {
        x.set(static_cast<QrcInt>(i), QrcIntExp(v[i]));
        y.set(static_cast<QrcInt>(i), QrcIntExp(v[n + i]));
      }
      return (le ? QrcLeLex(x, y) : QrcGeLex(x, y)).getImpl();
    };
    c.check = [n, le](const A& s) { return le ? lexGe(s, n, n, 0) : lexGe(s, n, 0, n); };
    qrotest::runPropCase(c);
  }
}

// ---------------------------------------------------------------- member

TEST_F(ChannelTest, Member) {
  QrcIntExpI* x = var(1, 4);
  QrcConstraintI* ct = QrcNotMember(x, ints({2, 3})).getImpl();
  ASSERT_TRUE(adds(ct));
  EXPECT_EQ(dom(x), (V{1, 4}));
  EXPECT_TRUE(ct->getOpposite()->isType(QrcMemberConstraint::GetTypeInfo()));
  EXPECT_TRUE(ct->getOpposite()->getOpposite()->isType(QrcNotMemberConstraint::GetTypeInfo()));
  EXPECT_FALSE(adds(QrcMember(var(0, 5), ints({}))));
  // On a sum, every bound change applies the restriction again.
  QrcIntExpI* y = var(0, 5);
  QrcIntExpI* z = var(0, 5);
  QrcIntExp sum = QrcIntExp(y) + QrcIntExp(z);
  ASSERT_TRUE(adds(QrcMember(sum, ints({3, 4, 9}))));
  EXPECT_EQ(dom(z), (V{0, 1, 2, 3, 4, 5}));
  y->setValue(4);
  EXPECT_EQ(dom(z), (V{0, 5}));
  // Distinct values decide whether not-member can still hold.
  EXPECT_FALSE(QrcNotMember(var({2, 3, 4}), ints({2, 2, 3})).getImpl()->isFalse());
  EXPECT_TRUE(QrcNotMember(var({2, 3}), ints({2, 2, 3})).getImpl()->isFalse());
  EXPECT_TRUE(QrcMember(var({2, 3}), ints({5, 1})).getImpl()->isFalse());
  EXPECT_FALSE(QrcMember(var({2, 3}), ints({5, 3})).getImpl()->isFalse());
}

TEST(ChannelHarness, Member) {
  for (int k = 0; k < 40; ++k) {
    uint64_t seed = qrotest::caseSeed(4250 + static_cast<uint64_t>(k));
    qrotest::Rng rng(seed);
    V values;
    for (int i = 0, n = static_cast<int>(rng() % 6); i < n; ++i)
      values.push_back(static_cast<QrcInt>(rng() % 9) - 2);
    bool member = k % 2 == 0, sum = k % 4 >= 2;
    PropCase c;
    c.name = std::string(member ? "member" : "not member") + (sum ? " of y + z" : "");
    c.seed = seed;
    c.values = qrotest::randomDomains(rng, sum ? 2 : 1, -2, 6, sum ? 4 : 8);
    c.level = sum ? Consistency::None : Consistency::Domain;
    c.make = [values, member, sum](QrcManagerI* m, const Vars& v) {
      QrcIntArray a(QrcManager(m), static_cast<QrcInt>(values.size()), values.data());
      QrcIntExp x = sum ? QrcIntExp(v[0]) + QrcIntExp(v[1]) : QrcIntExp(v[0]);
      return (member ? QrcMember(x, a) : QrcNotMember(x, a)).getImpl();
    };
    c.check = [values, member, sum](const A& s) {
      int64_t x = sum ? s[0] + s[1] : s[0];
      return (std::find(values.begin(), values.end(), x) != values.end()) == member;
    };
    qrotest::runPropCase(c);
  }
}

}  // namespace
