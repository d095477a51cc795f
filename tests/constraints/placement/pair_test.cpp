// The pair propagator of the interval graphs: against the pair's meaning
// through the harness, and against the three reified comparisons it stands
// for, which must reach the same domains (or fail alike) from random ones.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "qrcfail.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintervalgraph.h"
#include "qrcintexp.h"
#include "support/harness.h"
#include "support/seed.h"

namespace {

// E, R, X_j, X_i: E = 1 exactly when the projections meet; with E = 0,
// R = 1 exactly when j lies before i, R = 0 exactly when i lies before j.
bool pairHolds(const std::vector<int64_t>& v, int64_t sj, int64_t si) {
  int64_t e = v[0], r = v[1], xj = v[2], xi = v[3];
  bool meet = xj < xi + si && xi < xj + sj;
  return e == (meet ? 1 : 0) && ((e == 0 && r == 1) == (xj + sj <= xi)) &&
         ((e == 0 && r == 0) == (xi + si <= xj));
}

TEST(PlacementPair, MatchesTheMeaning) {
  const int64_t sizes[][2] = {{1, 1}, {2, 3}, {3, 1}, {0, 2}, {4, 0}};
  for (const auto& s : sizes) {
    qrotest::PropCase c;
    c.name = "pair " + std::to_string(s[0]) + " " + std::to_string(s[1]);
    c.values = {qrotest::range(0, 1), qrotest::range(0, 1), qrotest::range(-2, 4),
                qrotest::range(-1, 5)};
    int64_t sj = s[0], si = s[1];
    c.post = [sj, si](QrcManagerI* m, const qrotest::Vars& v) {
      m->add(new (m) QrcIntervalPairI(m, v[0], v[1], v[2], sj, v[3], si));
    };
    c.check = [sj, si](const std::vector<int64_t>& v) { return pairHolds(v, sj, si); };
    c.seed = qrotest::seedOr(41) + static_cast<uint64_t>(sj * 7 + si);
    EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
  }
}

// Random domains (with holes) for E, R, X_j, X_i; each value of the rows is
// -1 for a free 0-1 variable.
struct Start {
  QrcInt e, r;
  std::vector<QrcInt> xj, xi;
};

// The domains after posting, or an empty vector on failure.
std::vector<QrcInt> settle(const Start& st, QroInt sj, QroInt si, bool expressions) {
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  m->useExceptions(true);
  std::vector<QrcInt> out;
  try {
    QrcIntVar E(mgr, 0, 1), R(mgr, 0, 1);
    QrcIntVar Xj(mgr, QrcIntArray(mgr, static_cast<QrcInt>(st.xj.size()), st.xj.data()));
    QrcIntVar Xi(mgr, QrcIntArray(mgr, static_cast<QrcInt>(st.xi.size()), st.xi.data()));
    if (expressions) {
      m->add((E == QrcIntExp((Xj < Xi + si) && (Xi < Xj + sj))).getImpl());
      m->add((QrcIntExp((E == 0) && (R == 1)) == QrcIntExp(Xj + sj <= Xi)).getImpl());
      m->add((QrcIntExp((E == 0) && (R == 0)) == QrcIntExp(Xi + si <= Xj)).getImpl());
    } else {
      m->add(new (m)
                 QrcIntervalPairI(m, E.getImpl(), R.getImpl(), Xj.getImpl(), sj, Xi.getImpl(), si));
    }
    if (st.e >= 0) E.getImpl()->setValue(st.e);
    if (st.r >= 0) R.getImpl()->setValue(st.r);
    for (QrcIntVar v : {E, R, Xj, Xi}) {
      QrcIntExpI* x = v.getImpl();
      out.push_back(-1000);
      for (QrcInt k = x->getMin(); k <= x->getMax(); ++k)
        if (x->isInDomain(k)) out.push_back(k);
    }
  } catch (QrcFailException&) {
    out.clear();
  }
  mgr.end();
  return out;
}

TEST(PlacementPair, SameFixpointAsTheReifiedComparisons) {
  std::mt19937_64 rng(qrotest::seedOr(77));
  int failures = 0;
  for (int run = 0; run < 3000; ++run) {
    QroInt sj = static_cast<QroInt>(rng() % 5), si = static_cast<QroInt>(rng() % 5);
    if (sj + si == 0) continue;  // points keep the reified model
    Start st;
    st.e = static_cast<QrcInt>(rng() % 3) - 1;
    st.r = static_cast<QrcInt>(rng() % 3) - 1;
    for (std::vector<QrcInt>* row : {&st.xj, &st.xi}) {
      QrcInt lo = static_cast<QrcInt>(rng() % 8);
      for (QrcInt k = lo; k < lo + 8; ++k)
        if (rng() % 3) row->push_back(k);
      if (row->empty()) row->push_back(lo);
    }
    std::vector<QrcInt> want = settle(st, sj, si, true);
    failures += want.empty();
    ASSERT_EQ(settle(st, sj, si, false), want) << "run " << run << " sizes " << sj << " " << si;
  }
  EXPECT_GT(failures, 100);
}

}  // namespace
