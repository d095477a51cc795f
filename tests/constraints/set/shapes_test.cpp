// The set constraints over arrays in the array shapes, against brute force:
// arrays of set variables with one variable at two positions or two of them
// made equal before the posting (the union s == s union b, a partition of
// [a, a]), the set channelling over integer expressions, functions over a set
// whose values are expressions of shared variables, and membership of an
// expression.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "qrcintcompare.h"
#include "qrcintsetcst.h"
#include "qrcinverse.h"
#include "qrcsetcomposition.h"
#include "qrcsetfunctions.h"
#include "setfunction_tables.h"
#include "support/harness.h"
#include "support/setkind.h"

namespace {

using qrotest::PropCase;
using qrotest::Rng;
using qrotest::Vars;

typedef std::vector<int64_t> A;

const int Universe = 3;

QrcIntSetVarArray setsOf(QrcManagerI* m, const Vars& v, size_t from, size_t to) {
  QrcIntSetVarArrayI* a = new (m) QrcIntSetVarArrayI(m, static_cast<QrcInt>(to - from));
  for (size_t i = from; i < to; ++i)
    a->elementAt(static_cast<QrcInt>(i - from)) = qrotest::setVarOf(v, i);
  return QrcIntSetVarArray(a);
}

// k set variables over masks of the universe from position `from` on.
void addSets(PropCase& c, size_t k) {
  for (size_t i = 0; i < k; ++i) {
    c.values.push_back(qrotest::subsets(Universe));
    if (c.kinds.size() < c.values.size()) c.kinds.resize(c.values.size() - 1);
    c.kinds.push_back(&qrotest::intSetKind());
  }
}

int64_t unionOf(const A& x, size_t from, size_t to) {
  int64_t u = 0;
  for (size_t i = from; i < to; ++i) u |= x[i];
  return u;
}

bool disjoint(const A& x, size_t from, size_t to) {
  int64_t seen = 0;
  for (size_t i = from; i < to; ++i) {
    if (seen & x[i]) return false;
    seen |= x[i];
  }
  return true;
}

// Variant 0: s == union of sets, 1: s == disjoint union, 2: a partition of
// the universe, 3: pairwise disjoint; the sets, then s.
PropCase compositionCase(Rng& rng, int variant) {
  PropCase c;
  size_t k = 2 + rng() % 2;
  bool result = variant <= 1;
  addSets(c, k + (result ? 1 : 0));
  c.notReified = "the compositions over arrays have no opposite";
  c.make = [k, variant](QrcManagerI* m, const Vars& v) {
    QrcIntSetVarArray sets = setsOf(m, v, 0, k);
    switch (variant) {
      case 0:
        return QrcEqUnion(QrcIntSetVar(qrotest::setVarOf(v, k)), sets).getImpl();
      case 1:
        return QrcDisjointUnion(QrcIntSetVar(qrotest::setVarOf(v, k)), sets).getImpl();
      case 2: {
        QrcInt all[] = {0, 1, 2};
        return QrcPartition(sets, QrcIntArray(QrcManager(m), Universe, all)).getImpl();
      }
      default:
        return QrcAllNullIntersect(sets).getImpl();
    }
  };
  c.check = [k, variant](const A& x) {
    switch (variant) {
      case 0:
        return x[k] == unionOf(x, 0, k);
      case 1:
        return disjoint(x, 0, k) && x[k] == unionOf(x, 0, k);
      case 2:
        return disjoint(x, 0, k) && unionOf(x, 0, k) == (1 << Universe) - 1;
      default:
        return disjoint(x, 0, k);
    }
  };
  c.arrayElements = k + (result ? 1 : 0);
  return c;
}

// sets[i] == {j : x[j] == i}: the integers, then the sets.
PropCase inverseCase(Rng& rng, int) {
  PropCase c;
  c.notReified = "an inverse has no opposite";
  size_t n = 2 + rng() % 2, ns = 2;
  for (size_t j = 0; j < n; ++j) c.values.push_back(qrotest::range(-1, static_cast<int64_t>(ns)));
  addSets(c, ns);
  c.make = [n, ns](QrcManagerI* m, const Vars& v) {
    QrcIntVarArray x(QrcManager(m), static_cast<QrcInt>(n));
    for (size_t j = 0; j < n; ++j) x.set(static_cast<QrcInt>(j), QrcIntExp(v[j]));
    return QrcInverse(setsOf(m, v, n, n + ns), x).getImpl();
  };
  c.check = [n, ns](const A& s) {
    A want(ns, 0);
    for (size_t j = 0; j < n; ++j) {
      if (s[j] < 0 || s[j] >= static_cast<int64_t>(ns)) return false;
      want[static_cast<size_t>(s[j])] |= int64_t(1) << j;
    }
    for (size_t i = 0; i < ns; ++i)
      if (s[n + i] != want[i]) return false;
    return true;
  };
  c.arrayElements = n + ns;
  return c;
}

// y == sum (variant 0) or max (variant 1) of F(x) over S, F(x) expressions:
// F(0..2), then S, then y. The maximum of an empty S is left free.
PropCase functionCase(Rng& rng, int variant) {
  PropCase c;
  c.notReified = "the truth of the maximum is open over an empty set";
  c.callersCode = true;  // F is the test's table
  bool sum = variant == 0;
  c.values = qrotest::randomDomains(rng, Universe, -1, 2, 3);
  addSets(c, 1);
  c.values.push_back(sum ? qrotest::range(-2, 5) : qrotest::range(-1, 2));
  c.kinds.push_back(nullptr);
  c.post = [sum](QrcManagerI* m, const Vars& v) {
    std::vector<QrcIntExpI*> f;
    for (size_t x = 0; x < Universe; ++x) f.push_back(v[x]);
    QrcIntToIntExpFunction g(new (m) settest::ExpTable(m, 0, f));
    QrcIntSetVar s(qrotest::setVarOf(v, Universe));
    QrcIntExp e = sum ? QrcSum(s, g) : QrcMax(s, g);
    m->add((QrcIntExp(v[Universe + 1]) == e).getImpl());
  };
  c.check = [sum](const A& a) {
    int64_t s = a[Universe], y = a[Universe + 1];
    if (!sum && s == 0) return true;
    int64_t e = sum ? 0 : INT64_MIN;
    for (size_t x = 0; x < Universe; ++x)
      if ((s >> x) & 1) e = sum ? e + a[x] : std::max(e, a[x]);
    return e == y;
  };
  c.arrayElements = Universe;
  return c;
}

// x in s (variant 0) or not (variant 1): x, then s.
PropCase memberCase(Rng& rng, int variant) {
  PropCase c;
  bool member = variant == 0;
  c.values = qrotest::randomDomains(rng, 1, -1, 3, 4);
  addSets(c, 1);
  c.make = [member](QrcManagerI*, const Vars& v) {
    QrcIntSetVar s(qrotest::setVarOf(v, 1));
    return (member ? QrcMember(QrcIntExp(v[0]), s) : QrcNotMember(QrcIntExp(v[0]), s)).getImpl();
  };
  c.check = [member](const A& a) {
    bool in = a[0] >= 0 && a[0] < Universe && ((a[1] >> a[0]) & 1);
    return in == member;
  };
  c.arrayElements = 1;
  return c;
}

const qrotest::CaseRow Rows[] = {
    {"composition", 4, compositionCase},
    {"inverse", 1, inverseCase},
    {"function", 2, functionCase},
    {"member", 2, memberCase},
};

class SetShapes : public testing::TestWithParam<int> {};

TEST_P(SetShapes, AgreeWithBruteForce) {
  Rng rng(qrotest::caseSeed(8700 + static_cast<uint64_t>(GetParam())));
  qrotest::runCaseRow(Rows[GetParam()], rng, 3, [](PropCase& c) {
    c.narrowRuns = 15;
    c.samples = 500;
    c.arrayShapes = 3;
  });
}

INSTANTIATE_TEST_SUITE_P(Catalogue, SetShapes,
                         testing::Range(0, static_cast<int>(sizeof(Rows) / sizeof(Rows[0]))),
                         [](const testing::TestParamInfo<int>& info) {
                           return std::string(Rows[info.param].name);
                         });

}  // namespace
