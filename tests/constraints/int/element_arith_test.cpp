// Arithmetic over element expressions whose index may leave the array: an
// expression over an operand without a value has none either, so every
// comparison over it is false there and its opposite true.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "qrcelement.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "support/harness.h"

namespace {

using qrotest::PropCase;
using qrotest::Vars;
typedef std::vector<int64_t> V;

// Variables: 0 the index x, 1 and 2 the operands y and w, then the array
// variables of vars[x].
QrcIntExp x(const Vars& v) {
  return QrcIntExp(v[0]);
}
QrcIntExp y(const Vars& v) {
  return QrcIntExp(v[1]);
}
QrcIntExp w(const Vars& v) {
  return QrcIntExp(v[2]);
}

// The element a[x], or vars[x] over the array variables.
QrcIntExp element(QrcManagerI* m, const Vars& v, const V& a, bool vars) {
  QrcInt n = static_cast<QrcInt>(a.size());
  if (!vars) return QrcIntArray(QrcManager(m), n, a.data())[x(v)];
  QrcIntVarArray array(QrcManager(m), n);
  for (QrcInt i = 0; i < n; ++i) array.set(i, QrcIntExp(v[static_cast<size_t>(i) + 3]));
  return array[x(v)];
}

// The element's value at s, when its index lies inside.
bool at(const V& a, bool vars, const V& s, int64_t& e) {
  if (s[0] < 0 || s[0] >= static_cast<int64_t>(a.size())) return false;
  size_t i = static_cast<size_t>(s[0]);
  e = vars ? s[i + 3] : a[i];
  return true;
}

int64_t trunc(int64_t p, int64_t q) {
  return p / q;
}

// An expression over the element e and the variables, and its value.
struct Arith {
  const char* name;
  std::function<QrcIntExp(QrcManagerI*, QrcIntExp, const Vars&)> build;
  std::function<int64_t(int64_t, const V&)> value;
};

QrcIntExp terms(QrcManagerI* m, std::vector<QrcIntExp> t, bool max, bool min) {
  std::vector<QrcIntExpI*> p;
  for (const QrcIntExp& e : t) p.push_back(e.getImpl());
  QrcManager mgr(m);
  QrcInt n = static_cast<QrcInt>(p.size());
  if (max) return QrcMax(mgr, n, p.data());
  if (min) return QrcMin(mgr, n, p.data());
  return QrcSum(mgr, n, p.data());
}

const std::vector<Arith>& ariths() {
  static const std::vector<Arith> all = {
      {"e + x", [](QrcManagerI*, QrcIntExp e, const Vars& v) { return e + x(v); },
       [](int64_t e, const V& s) { return e + s[0]; }},
      {"e - y", [](QrcManagerI*, QrcIntExp e, const Vars& v) { return e - y(v); },
       [](int64_t e, const V& s) { return e - s[1]; }},
      {"y - e", [](QrcManagerI*, QrcIntExp e, const Vars& v) { return y(v) - e; },
       [](int64_t e, const V& s) { return s[1] - e; }},
      {"e + 3", [](QrcManagerI*, QrcIntExp e, const Vars&) { return e + 3; },
       [](int64_t e, const V&) { return e + 3; }},
      {"4 - e", [](QrcManagerI*, QrcIntExp e, const Vars&) { return 4 - e; },
       [](int64_t e, const V&) { return 4 - e; }},
      {"-e", [](QrcManagerI*, QrcIntExp e, const Vars&) { return -e; },
       [](int64_t e, const V&) { return -e; }},
      {"e * -3", [](QrcManagerI*, QrcIntExp e, const Vars&) { return e * -3; },
       [](int64_t e, const V&) { return e * -3; }},
      {"e * y", [](QrcManagerI*, QrcIntExp e, const Vars& v) { return e * y(v); },
       [](int64_t e, const V& s) { return e * s[1]; }},
      {"e * w", [](QrcManagerI*, QrcIntExp e, const Vars& v) { return e * w(v); },
       [](int64_t e, const V& s) { return e * s[2]; }},
      {"e / 2", [](QrcManagerI*, QrcIntExp e, const Vars&) { return e / 2; },
       [](int64_t e, const V&) { return trunc(e, 2); }},
      {"|e - y|", [](QrcManagerI*, QrcIntExp e, const Vars& v) { return QrcAbs(e - y(v)); },
       [](int64_t e, const V& s) { return std::llabs(e - s[1]); }},
      {"|e - 6|", [](QrcManagerI*, QrcIntExp e, const Vars&) { return QrcAbs(e - 6); },
       [](int64_t e, const V&) { return std::llabs(e - 6); }},
      {"(e - 6)^2", [](QrcManagerI*, QrcIntExp e, const Vars&) { return QrcSquare(e - 6); },
       [](int64_t e, const V&) { return (e - 6) * (e - 6); }},
      {"min(e, y)", [](QrcManagerI*, QrcIntExp e, const Vars& v) { return QrcMin(e, y(v)); },
       [](int64_t e, const V& s) { return e < s[1] ? e : s[1]; }},
      {"max(e, w)", [](QrcManagerI*, QrcIntExp e, const Vars& v) { return QrcMax(e, w(v)); },
       [](int64_t e, const V& s) { return e > s[2] ? e : s[2]; }},
      {"min(e, 6)", [](QrcManagerI*, QrcIntExp e, const Vars&) { return QrcMin(e, 6); },
       [](int64_t e, const V&) { return e < 6 ? e : 6; }},
      {"max(e, 6)", [](QrcManagerI*, QrcIntExp e, const Vars&) { return QrcMax(e, 6); },
       [](int64_t e, const V&) { return e > 6 ? e : 6; }},
      {"e + x + y",
       [](QrcManagerI* m, QrcIntExp e, const Vars& v) {
         return terms(m, {e, x(v), y(v)}, false, false);
       },
       [](int64_t e, const V& s) { return e + s[0] + s[1]; }},
      {"max(e, x, y)",
       [](QrcManagerI* m, QrcIntExp e, const Vars& v) {
         return terms(m, {y(v), e, x(v)}, true, false);
       },
       [](int64_t e, const V& s) { return std::max(e, std::max(s[0], s[1])); }},
      {"min(e, x, w)",
       [](QrcManagerI* m, QrcIntExp e, const Vars& v) {
         return terms(m, {x(v), w(v), e}, false, true);
       },
       [](int64_t e, const V& s) { return std::min(e, std::min(s[0], s[2])); }},
      {"2 * e + y - w + x",
       [](QrcManagerI*, QrcIntExp e, const Vars& v) { return 2 * e + y(v) - w(v) + x(v); },
       [](int64_t e, const V& s) { return 2 * e + s[1] - s[2] + s[0]; }},
  };
  return all;
}

// Expressions that map the element's whole range to one value, or fold it
// away: they still have no value where the element has none.
const std::vector<Arith>& collapsing() {
  static const std::vector<Arith> all = {
      {"min(e, 3)", [](QrcManagerI*, QrcIntExp e, const Vars&) { return QrcMin(e, 3); },
       [](int64_t e, const V&) { return std::min<int64_t>(e, 3); }},
      {"max(e, 8)", [](QrcManagerI*, QrcIntExp e, const Vars&) { return QrcMax(e, 8); },
       [](int64_t e, const V&) { return std::max<int64_t>(e, 8); }},
      {"min(w, e)", [](QrcManagerI*, QrcIntExp e, const Vars& v) { return QrcMin(w(v), e); },
       [](int64_t e, const V& s) { return std::min(e, s[2]); }},
      {"max(e, 8, w)",
       [](QrcManagerI* m, QrcIntExp e, const Vars& v) {
         return terms(m, {e, QrcIntExp(QrcManager(m), 8), w(v)}, true, false);
       },
       [](int64_t e, const V& s) { return std::max<int64_t>(e, std::max<int64_t>(8, s[2])); }},
      {"e / 10", [](QrcManagerI*, QrcIntExp e, const Vars&) { return e / 10; },
       [](int64_t e, const V&) { return trunc(e, 10); }},
      {"10 / e", [](QrcManagerI*, QrcIntExp e, const Vars&) { return 10 / e; },
       [](int64_t e, const V&) { return trunc(10, e); }},
      {"0 / e", [](QrcManagerI*, QrcIntExp e, const Vars&) { return 0 / e; },
       [](int64_t, const V&) { return int64_t(0); }},
      {"e * 0", [](QrcManagerI*, QrcIntExp e, const Vars&) { return e * 0; },
       [](int64_t, const V&) { return int64_t(0); }},
      {"e - e", [](QrcManagerI*, QrcIntExp e, const Vars&) { return e - e; },
       [](int64_t, const V&) { return int64_t(0); }},
      {"e / e", [](QrcManagerI*, QrcIntExp e, const Vars&) { return e / e; },
       [](int64_t, const V&) { return int64_t(1); }},
      {"(e / 10) * y", [](QrcManagerI*, QrcIntExp e, const Vars& v) { return (e / 10) * y(v); },
       [](int64_t e, const V& s) { return trunc(e, 10) * s[1]; }},
  };
  return all;
}

// A comparison over the arithmetic expression r.
struct Compare {
  const char* name;
  std::function<QrcConstraint(QrcIntExp, const Vars&)> make;
  std::function<bool(int64_t, const V&)> holds;
};

const std::vector<Compare>& compares() {
  static const std::vector<Compare> all = {
      {">= 5", [](QrcIntExp r, const Vars&) { return r >= 5; },
       [](int64_t r, const V&) { return r >= 5; }},
      {"<= 2", [](QrcIntExp r, const Vars&) { return r <= 2; },
       [](int64_t r, const V&) { return r <= 2; }},
      {"== 4", [](QrcIntExp r, const Vars&) { return r == 4; },
       [](int64_t r, const V&) { return r == 4; }},
      {"!= 4", [](QrcIntExp r, const Vars&) { return r != 4; },
       [](int64_t r, const V&) { return r != 4; }},
      {"== w", [](QrcIntExp r, const Vars& v) { return r == w(v); },
       [](int64_t r, const V& s) { return r == s[2]; }},
      {"!= y", [](QrcIntExp r, const Vars& v) { return r != y(v); },
       [](int64_t r, const V& s) { return r != s[1]; }},
      {"<= y", [](QrcIntExp r, const Vars& v) { return r <= y(v); },
       [](int64_t r, const V& s) { return r <= s[1]; }},
      {"> w", [](QrcIntExp r, const Vars& v) { return r > w(v); },
       [](int64_t r, const V& s) { return r > s[2]; }},
  };
  return all;
}

// Runs the comparison over the expression over a[x] (or vars[x]), plain,
// opposite, as a truth and joined by a connective drawn by the seed; x ranges
// over the array and two values past each end, y and w over ys and ws.
int run(const Arith& ar, const Compare& cmp, const V& a, bool vars, uint64_t seed,
        const V& ys = qrotest::range(-1, 2), const V& ws = qrotest::range(0, 2)) {
  PropCase c;
  c.name = std::string(vars ? "vars" : "a") + "[x] as e: " + ar.name + " " + cmp.name;
  c.seed = seed;
  int64_t n = static_cast<int64_t>(a.size());
  c.values = {qrotest::range(-2, n + 1), ys, ws};
  if (vars)
    for (int64_t v : a) c.values.push_back(v == 0 || v == 1 ? V{0, 1} : V{v - 1, v + 1});
  auto build = ar.build;
  auto make = cmp.make;
  c.make = [build, make, a, vars](QrcManagerI* m, const Vars& v) {
    return make(build(m, element(m, v, a, vars), v), v).getImpl();
  };
  auto value = ar.value;
  auto holds = cmp.holds;
  c.check = [value, holds, a, vars](const V& s) {
    int64_t e;
    return at(a, vars, s, e) && holds(value(e, s), s);
  };
  c.narrowRuns = 10;
  const qrotest::Shape connectives[] = {qrotest::Shape::And, qrotest::Shape::Or,
                                        qrotest::Shape::Iff, qrotest::Shape::Xor};
  qrotest::Rng rng(seed + c.name.size());
  return qrotest::runWithShapes(
      c, {qrotest::Shape::Opposite, qrotest::Shape::Truth, connectives[rng() % 4]});
}

TEST(ElementArithmetic, ComparisonsAgainstBruteForce) {
  const V a = {5, 7, 4};
  uint64_t seed = qrotest::caseSeed(6100);
  for (const Arith& ar : ariths())
    for (const Compare& cmp : compares()) EXPECT_EQ(run(ar, cmp, a, false, seed), 0);
}

TEST(ElementArithmetic, CollapsingExpressionsAgainstBruteForce) {
  const V a = {5, 7, 4};
  uint64_t seed = qrotest::caseSeed(6300);
  for (const Arith& ar : collapsing())
    for (const Compare& cmp : compares()) EXPECT_EQ(run(ar, cmp, a, false, seed), 0);
}

// Bounds beyond 2^53 are computed in doubles.
TEST(ElementArithmetic, ValuesNearTheLimitAgainstBruteForce) {
  const V a = {QrcIntMax - 1, 5, -QrcIntMax + 1};
  uint64_t seed = qrotest::caseSeed(6400);
  for (const Arith& ar : ariths()) {
    std::string name = ar.name;
    // Products and squares of these values leave the engine's range.
    if (name.find('*') != std::string::npos || name.find('^') != std::string::npos) continue;
    for (const Compare& cmp : compares()) EXPECT_EQ(run(ar, cmp, a, false, seed), 0);
  }
}

// A sum of three 0-1 terms is a counting variable over terms made variables;
// an element that may lack a value is not made one.
TEST(ElementArithmetic, BooleanSumAgainstBruteForce) {
  const Arith sum = {"e + y + w",
                     [](QrcManagerI* m, QrcIntExp e, const Vars& v) {
                       return terms(m, {e, y(v), w(v)}, false, false);
                     },
                     [](int64_t e, const V& s) { return e + s[1] + s[2]; }};
  uint64_t seed = qrotest::caseSeed(6500);
  for (bool vars : {false, true})
    for (const Compare& cmp : compares())
      EXPECT_EQ(run(sum, cmp, {1, 0, 1}, vars, seed, {0, 1}, {0, 1}), 0);
}

// Two elements over indexes of their own: the expression has a value only
// where both have one.
TEST(ElementArithmetic, TwoElementsAgainstBruteForce) {
  typedef std::function<QrcIntExp(QrcManagerI*, QrcIntExp, QrcIntExp, const Vars&)> Build;
  struct Pair {
    const char* name;
    Build build;
    std::function<int64_t(int64_t, int64_t, const V&)> value;
  };
  const Pair pairs[] = {
      {"e + f", [](QrcManagerI*, QrcIntExp e, QrcIntExp f, const Vars&) { return e + f; },
       [](int64_t e, int64_t f, const V&) { return e + f; }},
      {"max(e, f) - w",
       [](QrcManagerI*, QrcIntExp e, QrcIntExp f, const Vars& v) { return QrcMax(e, f) - w(v); },
       [](int64_t e, int64_t f, const V& s) { return std::max(e, f) - s[2]; }},
      {"e * f", [](QrcManagerI*, QrcIntExp e, QrcIntExp f, const Vars&) { return e * f; },
       [](int64_t e, int64_t f, const V&) { return e * f; }},
      {"|e - f|", [](QrcManagerI*, QrcIntExp e, QrcIntExp f, const Vars&) { return QrcAbs(e - f); },
       [](int64_t e, int64_t f, const V&) { return std::llabs(e - f); }},
      {"min(e, f, w)",
       [](QrcManagerI* m, QrcIntExp e, QrcIntExp f, const Vars& v) {
         return terms(m, {e, f, w(v)}, false, true);
       },
       [](int64_t e, int64_t f, const V& s) { return std::min(e, std::min(f, s[2])); }},
  };
  const V a = {5, 7, 4}, b = {2, 6};
  uint64_t seed = qrotest::caseSeed(6450);
  for (const Pair& pr : pairs)
    for (const Compare& cmp : compares()) {
      PropCase c;
      c.name = std::string("e = a[x], f = b[y]: ") + pr.name + " " + cmp.name;
      c.seed = seed;
      c.values = {qrotest::range(-1, 3), qrotest::range(-1, 2), qrotest::range(0, 2)};
      Build build = pr.build;
      auto make = cmp.make;
      c.make = [build, make, a, b](QrcManagerI* m, const Vars& v) {
        QrcIntExp e = element(m, v, a, false);
        QrcIntExp f = QrcIntArray(QrcManager(m), 2, b.data())[y(v)];
        return make(build(m, e, f, v), v).getImpl();
      };
      auto value = pr.value;
      auto holds = cmp.holds;
      c.check = [value, holds, a, b](const V& s) {
        int64_t e, f;
        if (!at(a, false, s, e) || s[1] < 0 || s[1] > 1) return false;
        f = b[static_cast<size_t>(s[1])];
        return holds(value(e, f, s), s);
      };
      c.narrowRuns = 10;
      EXPECT_EQ(qrotest::runWithShapes(c, {qrotest::Shape::Opposite, qrotest::Shape::Truth}), 0);
    }
}

// a[p + q] + max(s, vars[p + q]) + vars[p + q] as one array sum, with p, q
// and s at positions 1, 2 and 3 and vars over the positions `at`: the three
// terms share the index, and narrowing one moves the others.
QrcIntExp tiedSum(QrcManagerI* m, const Vars& v, const V& a, const std::vector<size_t>& at) {
  QrcManager mgr(m);
  QrcIntVarArray items(mgr, static_cast<QrcInt>(at.size()));
  for (size_t k = 0; k < at.size(); ++k) items.set(static_cast<QrcInt>(k), QrcIntExp(v[at[k]]));
  QrcIntExp i = QrcIntExp(v[1]) + QrcIntExp(v[2]);
  QrcIntExp t[] = {QrcIntArray(mgr, static_cast<QrcInt>(a.size()), a.data())[i],
                   QrcMax(QrcIntExp(v[3]), items[i]), items[i]};
  QrcIntExpI* terms[] = {t[0].getImpl(), t[1].getImpl(), t[2].getImpl()};
  return QrcSum(mgr, 3, terms);
}

bool tiedSumValue(const V& s, const V& a, const std::vector<size_t>& at, int64_t& sum) {
  int64_t i = s[1] + s[2];
  if (i < 0 || i >= static_cast<int64_t>(at.size())) return false;
  int64_t e = s[at[static_cast<size_t>(i)]];
  sum = a[static_cast<size_t>(i)] + std::max(s[3], e) + e;
  return true;
}

// Sums whose terms are tied through an element's index or variables: while
// the sum narrows its terms one by one, the bounds each term shows must only
// shrink. A term over an element that may lack a value showed a point opened
// to its neighbours, wider than it was a moment before; an element whose
// index stays inside its array counted as one that may lack a value.
TEST(ElementArithmetic, SumsOfTiedTermsAgainstBruteForce) {
  struct Row {
    const char* name;
    std::vector<V> values;
    std::function<QrcConstraint(QrcManagerI*, const Vars&)> make;
    std::function<bool(const V&)> check;
  };
  const V a = {2, 2, 3, 2, 3, 2};
  // r, p, q and s at positions 0 to 3. Six entries keep p + q inside; five
  // let it leave.
  const std::vector<size_t> six = {1, 3, 2, 3, 3, 2}, five = {1, 3, 2, 3, 3};
  auto tied = [a](const char* name, const std::vector<size_t>& at) {
    return Row{
        name,
        {qrotest::range(-1, 5), qrotest::range(0, 3), qrotest::range(0, 2), qrotest::range(-1, 1)},
        [a, at](QrcManagerI* m, const Vars& v) { return tiedSum(m, v, a, at) == QrcIntExp(v[0]); },
        [a, at](const V& s) {
          int64_t sum;
          return tiedSumValue(s, a, at, sum) && sum == s[0];
        }};
  };
  const Row rows[] = {
      tied("a[p + q] + max(s, vars[p + q]) + vars[p + q] == r, p + q inside", six),
      tied("a[p + q] + max(s, vars[p + q]) + vars[p + q] == r, p + q may leave", five),
      {"p + max([p, q][i], 2) + s <= 2",
       {qrotest::range(0, 3), qrotest::range(0, 1), qrotest::range(0, 1), qrotest::range(-1, 2)},
       [](QrcManagerI* m, const Vars& v) {
         QrcManager mgr(m);
         QrcIntVarArray pq(mgr, 2);
         pq.set(0, QrcIntExp(v[0]));
         pq.set(1, QrcIntExp(v[1]));
         QrcIntExp t[] = {QrcIntExp(v[0]), QrcMax(pq[QrcIntExp(v[3])], 2), QrcIntExp(v[2])};
         QrcIntExpI* terms[] = {t[0].getImpl(), t[1].getImpl(), t[2].getImpl()};
         return QrcSum(mgr, 3, terms) <= 2;
       },
       [](const V& s) {
         if (s[3] < 0 || s[3] > 1) return false;
         return s[0] + std::max<int64_t>(s[static_cast<size_t>(s[3])], 2) + s[2] <= 2;
       }},
  };
  uint64_t seed = qrotest::caseSeed(6550);
  for (const Row& row : rows) {
    PropCase c;
    c.name = row.name;
    c.seed = seed;
    c.values = row.values;
    auto make = row.make;
    c.make = [make](QrcManagerI* m, const Vars& v) { return make(m, v).getImpl(); };
    c.check = row.check;
    c.narrowRuns = 20;
    EXPECT_EQ(qrotest::runWithShapes(c, {qrotest::Shape::Opposite, qrotest::Shape::Truth}), 0)
        << row.name;
  }
}

TEST(ElementArithmetic, VariableArrayAgainstBruteForce) {
  const V a = {5, 2};
  uint64_t seed = qrotest::caseSeed(6200);
  for (const Arith& ar : ariths())
    for (const Compare& cmp : compares()) EXPECT_EQ(run(ar, cmp, a, true, seed), 0);
}

}  // namespace
