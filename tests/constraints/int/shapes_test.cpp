// The element family, the array expressions and the generic constraint in
// the array shapes, against brute force: the index and the value as
// expressions of shared variables (an index that reaches past the array),
// tied to each other before the posting, or one variable (a[x] == x).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "qrcelement.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcsetof.h"
#include "support/harness.h"

namespace {

using qrotest::ArrayShape;
using qrotest::PropCase;
using qrotest::Rng;
using qrotest::Vars;

typedef std::vector<int64_t> A;

QrcIntArray intsOf(QrcManagerI* m, const std::vector<QrcInt>& v) {
  return QrcIntArray(QrcManager(m), static_cast<QrcInt>(v.size()), v.data());
}

QrcIntVarArray arrayOf(QrcManagerI* m, const Vars& v, size_t from, size_t to) {
  QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(to - from));
  for (size_t i = from; i < to; ++i) a.set(static_cast<QrcInt>(i - from), QrcIntExp(v[i]));
  return a;
}

bool inside(int64_t x, size_t n) {
  return x >= 0 && x < static_cast<int64_t>(n);
}

// A constant array of 2 to 4 values in [0, 3].
std::vector<QrcInt> drawArray(Rng& rng) {
  std::vector<QrcInt> a(2 + rng() % 3);
  for (QrcInt& v : a) v = static_cast<QrcInt>(rng() % 4);
  return a;
}

// Variant 0: QrcElementEq, 1: QrcElementNEq, 2: QrcIntEltCallerCt, 3: y ==
// a[x] as an expression, 4: a[x] != y as an expression; over x then y.
PropCase constantArrayCase(Rng& rng, int variant) {
  PropCase c;
  std::vector<QrcInt> a = drawArray(rng);
  size_t n = a.size();
  c.values = {qrotest::range(-1, static_cast<int64_t>(n)), qrotest::range(0, 3)};
  if (variant <= 2) c.notReified = "the element constraints have no opposite";
  c.make = [a, variant](QrcManagerI* m, const Vars& v) {
    QrcIntExp x(v[0]), y(v[1]);
    QrcIntArray values = intsOf(m, a);
    switch (variant) {
      case 0:
        return QrcElementEq(y, values, x).getImpl();
      case 1:
        return QrcElementNEq(y, values, x).getImpl();
      case 2:
        return QrcIntEltCallerCt(y, values, x).getImpl();
      case 3:
        return (y == QrcElement(values, x)).getImpl();
      default:
        return (QrcElement(values, x) != y).getImpl();
    }
  };
  c.check = [a, variant](const A& s) {
    if (!inside(s[0], a.size())) return false;
    bool equal = a[static_cast<size_t>(s[0])] == s[1];
    return variant == 1 || variant == 4 ? !equal : equal;
  };
  c.arrayElements = 2;
  return c;
}

// a[x] == value and a[x] != value with the value a constant; over x.
PropCase boundValueCase(Rng& rng, int variant) {
  PropCase c;
  c.notReified = "the element constraints have no opposite";
  std::vector<QrcInt> a = drawArray(rng);
  QrcInt value = static_cast<QrcInt>(rng() % 4);
  c.values = {qrotest::range(-1, static_cast<int64_t>(a.size()))};
  bool equal = variant == 0;
  c.make = [a, value, equal](QrcManagerI* m, const Vars& v) {
    QrcIntExp y(QrcManager(m), value);
    return (equal ? QrcElementEq(y, intsOf(m, a), v[0]) : QrcElementNEq(y, intsOf(m, a), v[0]))
        .getImpl();
  };
  c.check = [a, value, equal](const A& s) {
    return inside(s[0], a.size()) && (a[static_cast<size_t>(s[0])] == value) == equal;
  };
  c.arrayElements = 1;
  return c;
}

// vars[x] + z <= 2 (variant 0) or vars[x] - z != 1 (variant 1): the element
// inside arithmetic; over the three variables, x and z.
PropCase varArrayCase(Rng& rng, int variant) {
  PropCase c;
  size_t n = 3;
  c.values = qrotest::randomDomains(rng, static_cast<int>(n), -1, 3, 3);
  c.values.push_back(qrotest::range(-1, 3));
  c.values.push_back(qrotest::randomDomains(rng, 1, -1, 2, 3)[0]);
  c.make = [n, variant](QrcManagerI* m, const Vars& v) {
    QrcIntExp e = arrayOf(m, v, 0, n)[QrcIntExp(v[n])];
    QrcIntExp z(v[n + 1]);
    return (variant == 0 ? e + z <= 2 : e - z != 1).getImpl();
  };
  c.check = [n, variant](const A& s) {
    if (!inside(s[n], n)) return false;
    int64_t e = s[static_cast<size_t>(s[n])];
    return variant == 0 ? e + s[n + 1] <= 2 : e - s[n + 1] != 1;
  };
  c.arrayElements = n + 2;
  return c;
}

// The minimum (variant 0), maximum (1) or sum (2) of the array equal to y.
PropCase aggregateCase(Rng& rng, int variant) {
  PropCase c;
  size_t n = 2 + rng() % 2;
  c.values = qrotest::randomDomains(rng, static_cast<int>(n), -1, 3, 3);
  c.values.push_back(qrotest::range(-1, variant == 2 ? 5 : 3));
  c.make = [n, variant](QrcManagerI* m, const Vars& v) {
    std::vector<QrcIntExpI*> terms;
    for (size_t i = 0; i < n; ++i) terms.push_back(v[i]);
    QrcManager M(m);
    QrcInt k = static_cast<QrcInt>(n);
    QrcIntExp e = variant == 0   ? QrcMin(M, k, terms.data())
                  : variant == 1 ? QrcMax(M, k, terms.data())
                                 : QrcSum(M, k, terms.data());
    return (e == QrcIntExp(v[n])).getImpl();
  };
  c.check = [n, variant](const A& s) {
    int64_t e = variant == 2 ? 0 : s[0];
    for (size_t i = 0; i < n; ++i)
      e = variant == 0 ? std::min(e, s[i]) : variant == 1 ? std::max(e, s[i]) : e + s[i];
    return e == s[n];
  };
  c.arrayElements = n;
  return c;
}

// The number of i with vars[i] <= y (variant 0) or vars[i] == 1 (variant 1)
// equal to k, through the generic constraint; over vars, y (variant 0), k.
PropCase genericCase(Rng& rng, int variant) {
  PropCase c;
  c.notReified = "the count is taken over instances posted apart";
  size_t n = 2 + rng() % 2;
  bool le = variant == 0;
  c.values = qrotest::randomDomains(rng, static_cast<int>(n), -1, 3, 3);
  if (le) c.values.push_back(qrotest::range(0, 2));
  c.values.push_back(qrotest::range(0, static_cast<int64_t>(n)));
  c.post = [n, le](QrcManagerI* m, const Vars& v) {
    QrcIndex index;
    QrcIntVarArray xs = arrayOf(m, v, 0, n);
    QrcIntExp count =
        QrcGenericConstraint(index, le ? xs[index] <= QrcIntExp(v[n]) : xs[index] == 1);
    m->add((count == QrcIntExp(v[le ? n + 1 : n])).getImpl());
  };
  c.check = [n, le](const A& s) {
    int64_t count = 0;
    for (size_t i = 0; i < n; ++i) count += le ? s[i] <= s[n] : s[i] == 1;
    return count == s[le ? n + 1 : n];
  };
  c.arrayElements = n;
  return c;
}

const qrotest::CaseRow Rows[] = {
    {"constant_array", 5, constantArrayCase},
    {"bound_value", 2, boundValueCase},
    {"var_array", 2, varArrayCase},
    {"aggregate", 3, aggregateCase},
    {"generic", 2, genericCase},
};

class ElementShapes : public testing::TestWithParam<int> {};

TEST_P(ElementShapes, AgreeWithBruteForce) {
  Rng rng(qrotest::caseSeed(6100 + static_cast<uint64_t>(GetParam())));
  qrotest::runCaseRow(Rows[GetParam()], rng, 4, [](PropCase& c) {
    c.narrowRuns = 20;
    c.arrayShapes = 3;
  });
}

INSTANTIATE_TEST_SUITE_P(Catalogue, ElementShapes,
                         testing::Range(0, static_cast<int>(sizeof(Rows) / sizeof(Rows[0]))),
                         [](const testing::TestParamInfo<int>& info) {
                           return std::string(Rows[info.param].name);
                         });

}  // namespace
