// All-different and distribute over a variable beside its offset view (an
// offset made a variable, by QrcIntVar or by QrcIntVarArray::set): narrowing
// one moves the other at once, in the middle of the constraint's own pass.
// Each row states base variables, the constraint over views of them,
// narrowings made before and after the posting, and a checker; the row must
// keep every step while a solution remains and find, by search, exactly the
// solutions the checker accepts.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "qrcalldiff.h"
#include "qrcdistribute.h"
#include "qrcfail.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcsearch.h"

namespace {

typedef std::vector<QrcInt> V;

// A narrowing of base variable `var`: '<' at most k, '>' at least k, '!'
// not k, '=' equal to k.
struct Step {
  size_t var;
  char op;
  QrcInt k;
};

bool allows(const Step& s, QrcInt v) {
  switch (s.op) {
    case '<':
      return v <= s.k;
    case '>':
      return v >= s.k;
    case '!':
      return v != s.k;
    default:
      return v == s.k;
  }
}

void apply(const Step& s, const QrcIntVar& x) {
  switch (s.op) {
    case '<':
      x.setMax(s.k);
      break;
    case '>':
      x.setMin(s.k);
      break;
    case '!':
      x.removeValue(s.k);
      break;
    default:
      x.setValue(s.k);
  }
}

struct OffsetRow {
  const char* name;
  std::vector<V> domains;
  std::vector<Step> before;  // made before the posting
  std::function<void(const QrcManager&, const std::vector<QrcIntVar>&)> post;
  std::vector<Step> after;  // made one by one at the top level after it
  std::function<bool(const V&)> check;
};

// Every assignment of the base domains that the checker and the steps allow.
std::set<V> bruteForce(const OffsetRow& row) {
  std::set<V> out;
  size_t n = row.domains.size();
  std::vector<size_t> at(n, 0);
  for (;;) {
    V a;
    for (size_t i = 0; i < n; ++i) a.push_back(row.domains[i][at[i]]);
    bool ok = row.check(a);
    for (const Step& s : row.before) ok = ok && allows(s, a[s.var]);
    for (const Step& s : row.after) ok = ok && allows(s, a[s.var]);
    if (ok) out.insert(a);
    size_t i = 0;
    while (i < n && ++at[i] == row.domains[i].size()) at[i++] = 0;
    if (i == n) return out;
  }
}

// Runs the row; returns what went wrong, empty when nothing did.
std::string runRow(const OffsetRow& row) {
  std::set<V> expected = bruteForce(row);
  QrcManager mgr(QrcNoEdit);
  mgr.useExceptions();
  std::vector<QrcIntVar> x;
  QrcIntVarArray all(mgr, static_cast<QrcInt>(row.domains.size()));
  for (size_t i = 0; i < row.domains.size(); ++i) {
    const V& d = row.domains[i];
    x.push_back(QrcIntVar(mgr, QrcIntArray(mgr, static_cast<QrcInt>(d.size()), d.data())));
    all.set(static_cast<QrcInt>(i), x.back());
  }
  std::string error;
  try {
    for (const Step& s : row.before) apply(s, x[s.var]);
    row.post(mgr, x);
    for (size_t k = 0; k < row.after.size(); ++k) {
      const Step& s = row.after[k];
      error = "step " + std::to_string(k) + " failed";
      apply(s, x[s.var]);
      error.clear();
    }
  } catch (const QrcFailException&) {
    if (error.empty()) error = "posting failed";
    mgr.end();
    return expected.empty() ? "" : error + " while solutions remain";
  }
  std::set<V> found;
  QrcSearch search(mgr, QrcGenerate(all));
  while (search.next() && found.size() <= expected.size()) {
    V a;
    for (const QrcIntVar& v : x) a.push_back(v.getValue());
    found.insert(a);
  }
  search.end();
  mgr.end();
  for (const V& a : expected)
    if (!found.count(a)) error += " lost a solution;";
  for (const V& a : found)
    if (!expected.count(a)) error += " found a non-solution;";
  return error;
}

bool distinct(const V& a) {
  std::set<QrcInt> s(a.begin(), a.end());
  return s.size() == a.size();
}

QrcInt absolute(QrcInt v) {
  return v < 0 ? -v : v;
}

QrcIntVarArray arrayOf(const QrcManager& mgr, const std::vector<QrcIntExp>& e) {
  QrcIntVarArray a(mgr, static_cast<QrcInt>(e.size()));
  for (size_t i = 0; i < e.size(); ++i) a.set(static_cast<QrcInt>(i), e[i]);
  return a;
}

// Distribute at level 3 over values 0..3 with cards c0 in 0..2, c1 in 1..2,
// c2 = 1, c3 in 1..2 (the last four base variables) over the given array.
void postCards(const QrcManager& mgr, const std::vector<QrcIntVar>& x,
               const std::vector<QrcIntExp>& elements) {
  QrcIntVarArray cards =
      arrayOf(mgr, {x[x.size() - 4], x[x.size() - 3], x[x.size() - 2], x[x.size() - 1]});
  mgr.add(QrcDistribute(cards, arrayOf(mgr, elements), QrcFullFilterLevel));
}

bool cardsCount(const V& a, const V& elements) {
  for (QrcInt v = 0; v < 4; ++v) {
    QrcInt n = 0;
    for (QrcInt e : elements) n += e == v;
    if (a[a.size() - 4 + static_cast<size_t>(v)] != n) return false;
  }
  return true;
}

const V Cards[] = {{0, 1, 2}, {1, 2}, {1}, {1, 2}};

const OffsetRow Rows[] = {
    {"bounds level, an absolute difference made a variable beside offsets",
     {{1, 2, 3}, {0, 1, 2, 3, 4}},
     {},
     [](const QrcManager& mgr, const std::vector<QrcIntVar>& x) {
       mgr.add(QrcAllDiff(arrayOf(mgr, {QrcIntExp(mgr, 0), QrcIntVar(QrcAbs(x[0] - x[1])), x[0],
                                        QrcIntVar(x[1] - 2), x[1]}),
                          QrcHighFilterLevel));
     },
     {{1, '!', 1}},
     [](const V& a) {
       return distinct({0, absolute(a[0] - a[1]), a[0], a[1] - 2, a[1]});
     }},
    {"bounds level, offsets set into the array",
     {{2, 3, 4, 5, 6}, {-2, -1, 0, 1}, {-2, -1, 0}, {-2, -1, 0}},
     {},
     [](const QrcManager& mgr, const std::vector<QrcIntVar>& x) {
       QrcIntVar d(QrcAbs(x[3] - x[0]));
       mgr.add(QrcAllDiff(arrayOf(mgr, {x[3] + 6, d, QrcMin(x[2], x[0]) + 4, x[1] + x[2] + 9,
                                        x[3] + 4, QrcIntVar(d - 2)}),
                          QrcHighFilterLevel));
     },
     {{0, '>', 5}, {0, '<', 5}, {1, '<', -1}, {1, '<', -2}, {2, '<', -1}},
     [](const V& a) {
       QrcInt d = absolute(a[3] - a[0]);
       return distinct({a[3] + 6, d, std::min(a[2], a[0]) + 4, a[1] + a[2] + 9, a[3] + 4, d - 2});
     }},
    {"matching distribute, two offsets of one variable",
     {{0, 1, 2, 3}, {0, 1, 2, 3}, Cards[0], Cards[1], Cards[2], Cards[3]},
     {},
     [](const QrcManager& mgr, const std::vector<QrcIntVar>& x) {
       postCards(mgr, x, {x[1] + 3, x[0], x[1] + 1});
     },
     {},
     [](const V& a) {
       return cardsCount(a, {a[1] + 3, a[0], a[1] + 1});
     }},
    {"matching distribute, a variable and one offset of it",
     {{0, 1, 2, 3}, {0, 1, 2, 3}, Cards[0], Cards[1], Cards[2], Cards[3]},
     {},
     [](const QrcManager& mgr, const std::vector<QrcIntVar>& x) {
       postCards(mgr, x, {x[0] + 2, x[1], x[0]});
     },
     {},
     [](const V& a) {
       return cardsCount(a, {a[0] + 2, a[1], a[0]});
     }},
    {"matching all-different, a variable and offsets of it",
     {{0, 1, 2, 3}, {0, 1, 2, 3}},
     {},
     [](const QrcManager& mgr, const std::vector<QrcIntVar>& x) {
       mgr.add(QrcAllDiff(arrayOf(mgr, {x[0] + 2, x[1], x[0], x[1] + 1}), QrcFullFilterLevel));
     },
     {},
     [](const V& a) {
       return distinct({a[0] + 2, a[1], a[0], a[1] + 1});
     }},
    {"matching all-different posted after a bind, views made variables",
     {{1, 2, 3, 4, 5}, {-2, -1, 0, 2}},
     {{0, '=', 2}},
     [](const QrcManager& mgr, const std::vector<QrcIntVar>& x) {
       QrcIntVar t(x[1] + 1 + 2);
       mgr.add(QrcAllDiff(arrayOf(mgr, {x[0] - x[1], x[1] + 2, t, QrcIntVar(x[0] - x[1] + 2),
                                        QrcMin(x[1], x[0]) + 5}),
                          QrcFullFilterLevel));
     },
     {},
     [](const V& a) {
       return distinct(
           {a[0] - a[1], a[1] + 2, a[1] + 3, a[0] - a[1] + 2, std::min(a[1], a[0]) + 5});
     }},
    {"matching all-different posted after a bind, a variable tied first",
     {{1, 2, 3, 4, 5}, {-2, -1, 0, 2}, {-5, -4, -3, -2, -1, 0, 1, 2, 3, 4, 5, 6}},
     {{0, '=', 2}},
     [](const QrcManager& mgr, const std::vector<QrcIntVar>& x) {
       mgr.add(x[2] == x[1] + 3);
       mgr.add(QrcAllDiff(arrayOf(mgr, {x[0] - x[1], x[1] + 2, x[2], QrcIntVar(x[0] - x[1] + 2),
                                        QrcMin(x[1], x[0]) + 5}),
                          QrcFullFilterLevel));
     },
     {},
     [](const V& a) {
       return a[2] == a[1] + 3 &&
              distinct({a[0] - a[1], a[1] + 2, a[2], a[0] - a[1] + 2, std::min(a[1], a[0]) + 5});
     }},
};

TEST(OffsetViews, AgreeWithBruteForce) {
  for (const OffsetRow& row : Rows) EXPECT_EQ(runRow(row), "") << row.name;
}

}  // namespace
