// Arrays whose elements are expressions of two variables: an element is a
// variable, so a value a constraint removed from it stays removed when its
// operands bind. Published counts (all-interval series, Costas arrays) over
// differences, copies of such arrays, and every array constraint of the
// catalogue against brute force with elements built as variables, sums,
// differences, absolute differences and products, and in the array shapes
// (expressions of shared variables, variables tied before the posting, one
// variable at two positions).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "qrcabstraction.h"
#include "qrcalldiff.h"
#include "qrcdistribute.h"
#include "qrcelement.h"
#include "qrcfloatexp.h"
#include "qrcfloatview.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcinverse.h"
#include "qrclex.h"
#include "qrcmember.h"
#include "qrcmindistance.h"
#include "qrcpack.h"
#include "qrcpairing.h"
#include "qrcpath.h"
#include "qrcregular.h"
#include "qrcsearch.h"
#include "qrcsequence.h"
#include "qrcspread.h"
#include "qrctable.h"
#include "support/harness.h"
#include "support/setkind.h"

namespace {

using qrotest::Consistency;
using qrotest::PropCase;
using qrotest::Rng;
using qrotest::Vars;

typedef std::vector<int64_t> A;
typedef std::vector<std::vector<int64_t>> Domains;

// ---------------------------------------------------------------- counts

// The number of solutions of a complete search over x.
int64_t countSolutions(const QrcManager& mgr, const QrcIntVarArray& x) {
  QrcSearch s(mgr, QrcGenerate(x));
  int64_t n = 0;
  while (s.next()) ++n;
  s.end();
  return n;
}

TEST(ArrayElements, AllDiffOverSumsAtEveryLevel) {
  for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
    QrcManager mgr(QrcNoEdit);
    QrcIntVarArray x(mgr, 4, 0, 1);
    QrcIntVarArray e(mgr, 2);
    e.set(0, x[0] + x[1]);
    e.set(1, x[2] + x[3]);
    mgr.add(QrcAllDiff(e, level));
    // Pairs with different sums: 16 - (1 + 4 + 1).
    EXPECT_EQ(countSolutions(mgr, x), 10) << "level " << level;
    mgr.end();
  }
}

// Permutations of 0..n-1 whose rows of differences x[i + k] - x[i], for k in
// [1, rows], each hold distinct values (absolute values when `absolute`).
int64_t bruteForceCount(int n, int rows, bool absolute) {
  std::vector<int> p(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) p[static_cast<size_t>(i)] = i;
  int64_t count = 0;
  do {
    bool ok = true;
    for (int k = 1; k <= rows && ok; ++k) {
      std::set<int> seen;
      for (int i = 0; i + k < n && ok; ++i) {
        int d = p[static_cast<size_t>(i + k)] - p[static_cast<size_t>(i)];
        ok = seen.insert(absolute ? std::abs(d) : d).second;
      }
    }
    count += ok;
  } while (std::next_permutation(p.begin(), p.end()));
  return count;
}

// The same count by search, each row of differences in one all-different.
int64_t searchCount(int n, int rows, bool absolute, QrcInt level) {
  QrcManager mgr(QrcNoEdit);
  QrcIntVarArray x(mgr, n, 0, n - 1);
  mgr.add(QrcAllDiff(x, QrcMediumFilterLevel));
  for (int k = 1; k <= rows; ++k) {
    QrcIntVarArray d(mgr, n - k);
    for (int i = 0; i + k < n; ++i) {
      QrcIntExp diff = x[i + k] - x[i];
      d.set(i, absolute ? QrcAbs(diff) : diff);
    }
    mgr.add(QrcAllDiff(d, level));
  }
  int64_t count = countSolutions(mgr, x);
  mgr.end();
  return count;
}

TEST(ArrayElements, AllIntervalSeries) {
  const int n = 8;
  int64_t expected = bruteForceCount(n, 1, true);
  EXPECT_EQ(expected, 40);
  for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level)
    EXPECT_EQ(searchCount(n, 1, true, level), expected) << "level " << level;
}

TEST(ArrayElements, CostasArrays) {
  const int n = 6;
  EXPECT_EQ(bruteForceCount(n, n - 1, false), 116);
  for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
    EXPECT_EQ(searchCount(n, n - 1, false, level), 116) << "level " << level;
    // One row of differences.
    EXPECT_EQ(searchCount(n, 1, false, level), bruteForceCount(n, 1, false)) << "level " << level;
  }
}

// Fails of every solution of n-queens with the diagonals q[i] + i and q[i] - i
// as the elements themselves or as variables made from them.
int64_t queensFails(int n, QrcInt level, bool variables) {
  QrcManager mgr(QrcNoEdit);
  QrcIntVarArray q(mgr, n, 0, n - 1), up(mgr, n), down(mgr, n);
  for (int i = 0; i < n; ++i) {
    up.set(i, variables ? QrcIntExp(QrcIntVar(q[i] + i)) : q[i] + i);
    down.set(i, variables ? QrcIntExp(QrcIntVar(q[i] - i)) : q[i] - i);
  }
  mgr.add(QrcAllDiff(q, level));
  mgr.add(QrcAllDiff(up, level));
  mgr.add(QrcAllDiff(down, level));
  EXPECT_EQ(countSolutions(mgr, q), 92);
  int64_t fails = mgr.getImpl()->getFails();
  mgr.end();
  return fails;
}

// Offsets as elements prune as the variables made from them: the matching of
// level 3 keeps the values it removed from an offset.
TEST(ArrayElements, OffsetsPruneAsTheirVariables) {
  for (QrcInt level = 1; level <= 3; ++level)
    EXPECT_EQ(queensFails(8, level, false), queensFails(8, level, true)) << "level " << level;
  EXPECT_EQ(queensFails(8, 3, false), 289);
}

// Copies of an array and elements copied from an expression prototype are
// variables too.
TEST(ArrayElements, CopiesKeepElementsVariables) {
  QrcManager mgr(QrcNoEdit), other(QrcNoEdit);
  QrcIntVar a(mgr, 0, 2), b(mgr, 0, 2);
  QrcIntVarArray e(mgr, 3);
  e.set(0, a + b);
  e.set(1, QrcAbs(a - b));
  e.set(2, QrcIntExp(mgr, 5));
  EXPECT_TRUE(e[0].getImpl()->isVariable());
  EXPECT_TRUE(e.getImpl()->getVar(1)->isVariable());
  EXPECT_FALSE(e.getImpl()->getVar(2)->isVariable());  // a constant stays one
  QrcIntVarArrayI* copy = e.getImpl()->copyForManager(other.getImpl());
  for (QrcInt i = 0; i < 2; ++i) {
    EXPECT_TRUE(copy->getVar(i)->isVariable()) << i;
    EXPECT_EQ(copy->getVar(i)->getManager(), other.getImpl());
  }
  EXPECT_EQ(copy->getVar(2)->getMin(), 5);
  QrcIntVarArray proto(mgr, 0, 3, 1, QrcIntVar(a * b));
  ASSERT_EQ(proto.getSize(), 3);
  for (QrcInt i = 0; i < 3; ++i) EXPECT_TRUE(proto.getImpl()->getVar(i)->isVariable()) << i;
  // The node made a variable keeps a removed value once its operands bind.
  QrcIntVar c(other, 0, 1), d(other, 0, 1);
  QrcIntVarArray s(other, 1);
  s.set(0, c + d);
  other.getImpl()->useExceptions(true);
  s.getImpl()->getVar(0)->removeValue(1);
  c.setValue(0);
  EXPECT_TRUE(d.isBound() && d.getValue() == 0);
  other.end();
  mgr.end();
}

// ---------------------------------------------------------------- the catalogue

// The positions from..to-1 as an array.
QrcIntVarArray arrayOf(QrcManagerI* m, const Vars& v, size_t from, size_t to) {
  QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(to - from));
  for (size_t i = from; i < to; ++i) a.set(static_cast<QrcInt>(i - from), QrcIntExp(v[i]));
  return a;
}

QrcIntArray intsOf(QrcManagerI* m, const std::vector<QrcInt>& v) {
  return QrcIntArray(QrcManager(m), static_cast<QrcInt>(v.size()), v.data());
}

bool allDifferent(const A& a, size_t from, size_t to) {
  for (size_t i = from; i < to; ++i)
    for (size_t j = i + 1; j < to; ++j)
      if (a[i] == a[j]) return false;
  return true;
}

int64_t countOf(const A& a, size_t from, size_t to, int64_t value) {
  return std::count(a.begin() + static_cast<long>(from), a.begin() + static_cast<long>(to), value);
}

bool in(const std::vector<QrcInt>& set, int64_t v) {
  return std::find(set.begin(), set.end(), v) != set.end();
}

// A case and the number of its leading positions that are array elements.
struct ArrayCase {
  PropCase c;
  size_t elements;
};

ArrayCase allDiffCase(Rng& rng, int level) {
  ArrayCase r;
  r.c.notReified = "an all-different has no opposite";
  size_t n = 2 + rng() % 3;
  r.elements = n;
  r.c.values = qrotest::randomDomains(rng, static_cast<int>(n), 0, 3, 3);
  r.c.make = [n, level](QrcManagerI* m, const Vars& v) {
    return QrcAllDiff(arrayOf(m, v, 0, n), level).getImpl();
  };
  r.c.check = [n](const A& a) { return allDifferent(a, 0, n); };
  r.c.level = level == 3   ? Consistency::Domain
              : level == 2 ? Consistency::Bounds
                           : Consistency::None;
  return r;
}

// Variant: level * 2 + (values 0..k-1 left implicit).
ArrayCase distributeCase(Rng& rng, int variant) {
  ArrayCase r;
  r.c.notReified = "a distribute has no opposite";
  QrcInt level = variant / 2;
  bool implicit = variant % 2;
  size_t n = 2 + rng() % 2;
  std::vector<QrcInt> listed =
      implicit || rng() % 2 ? std::vector<QrcInt>{0, 1} : std::vector<QrcInt>{-1, 2};
  if (rng() % 2) listed.push_back(listed[0] == 0 ? 2 : 1);
  size_t k = listed.size();
  r.elements = n + k;
  r.c.values = qrotest::randomDomains(rng, static_cast<int>(n), -1, 2, 3);
  // Cards within [0, 2], now and then tight.
  for (size_t j = 0; j < k; ++j) {
    int64_t lo = static_cast<int64_t>(rng() % 3) / 2;
    r.c.values.push_back(qrotest::range(lo, std::min<int64_t>(2, lo + 1 + (rng() % 3 != 0))));
  }
  r.c.make = [=](QrcManagerI* m, const Vars& v) {
    QrcIntVarArray vars = arrayOf(m, v, 0, n), cards = arrayOf(m, v, n, n + k);
    return (implicit ? QrcDistribute(cards, vars, level)
                     : QrcDistribute(cards, intsOf(m, listed), vars, level))
        .getImpl();
  };
  r.c.check = [=](const A& a) {
    for (size_t j = 0; j < k; ++j)
      if (a[n + j] != countOf(a, 0, n, listed[j])) return false;
    return true;
  };
  // The matching: every value of a variable, and the cards' bounds.
  if (level == 3) {
    r.c.levels.assign(n, Consistency::Domain);
    r.c.levels.resize(n + k, Consistency::Bounds);
  }
  return r;
}

// Variant 1 reads the array's own storage.
ArrayCase countCase(Rng& rng, int variant) {
  ArrayCase r;
  r.c.notReified = "a count has no opposite";
  size_t n = 3;
  r.elements = n;
  r.c.values = qrotest::randomDomains(rng, 3, -1, 2, 3);
  r.c.values.push_back(qrotest::range(0, 3));
  r.c.make = [n, variant](QrcManagerI* m, const Vars& v) {
    QrcIntVar card(v[n]);
    QrcIntVarArray xs = arrayOf(m, v, 0, n);
    return (variant ? QrcCard(card, 1, xs, 0, 0) : QrcCard(card, 1, xs)).getImpl();
  };
  r.c.check = [n](const A& a) { return a[n] == countOf(a, 0, n, 1); };
  return r;
}

// vars[x] == y (variant 0) or != y (variant 1), x and y after the elements.
ArrayCase elementCase(Rng& rng, int variant) {
  ArrayCase r;
  size_t n = 3;
  r.elements = n;
  r.c.values = qrotest::randomDomains(rng, 3, -1, 3, 3);
  r.c.values.push_back(qrotest::range(-1, 3));
  r.c.values.push_back(qrotest::randomDomains(rng, 1, -1, 3, 4)[0]);
  bool equal = variant == 0;
  r.c.make = [n, equal](QrcManagerI* m, const Vars& v) {
    QrcIntExp e = arrayOf(m, v, 0, n)[QrcIntExp(v[n])];
    QrcIntExp y(v[n + 1]);
    return (equal ? e == y : e != y).getImpl();
  };
  r.c.check = [n, equal](const A& a) {
    int64_t x = a[n];
    if (x < 0 || x >= static_cast<int64_t>(n)) return false;
    return (a[static_cast<size_t>(x)] == a[n + 1]) == equal;
  };
  return r;
}

// Variant: mode * 2 + forbidden.
ArrayCase tableCase(Rng& rng, int variant) {
  ArrayCase r;
  r.c.notReified = "a table has no opposite";
  QrcInt mode = variant / 2;
  bool allowed = variant % 2 == 0;
  size_t arity = 2 + rng() % 2;
  r.elements = arity;
  r.c.values = qrotest::randomDomains(rng, static_cast<int>(arity), -2, 3, 3);
  std::vector<A> tuples;
  for (int t = 0, count = 2 + static_cast<int>(rng() % 8); t < count; ++t) {
    A tuple;
    for (const auto& d : r.c.values)
      tuple.push_back(rng() % 6 ? d[rng() % d.size()] : d.back() + 1);
    tuples.push_back(tuple);
  }
  r.c.make = [=](QrcManagerI* m, const Vars& v) {
    QrcTupleSet s(QrcManager(m), static_cast<QrcInt>(arity));
    s.setStorageMode(mode);
    for (const A& t : tuples) s.add(intsOf(m, t));
    s.close();
    return QrcTableConstraint(arrayOf(m, v, 0, arity), s, allowed).getImpl();
  };
  std::set<A> set(tuples.begin(), tuples.end());
  r.c.check = [set, allowed](const A& a) { return (set.count(a) > 0) == allowed; };
  r.c.level = Consistency::Domain;
  return r;
}

class Relation : public QrcIntBinaryPredicateI, public QrcIntTernaryPredicateI {
 public:
  QrcBool isTrue(QrcInt a, QrcInt b) override { return a != b && a - b != 1; }
  QrcBool isTrue(QrcInt a, QrcInt b, QrcInt c) override { return a + b == c || a == c + 2; }
};

// Variant 0: binary predicate, 1: ternary.
ArrayCase predicateCase(Rng& rng, int variant) {
  ArrayCase r;
  r.c.notReified = "a predicate table has no opposite";
  r.c.callersCode = true;
  size_t arity = 2 + static_cast<size_t>(variant);
  r.elements = arity;
  r.c.values = qrotest::randomDomains(rng, static_cast<int>(arity), -2, 3, 3);
  auto rel = std::make_shared<Relation>();
  r.c.make = [rel, arity](QrcManagerI* m, const Vars& v) {
    QrcIntVarArray xs = arrayOf(m, v, 0, arity);
    return (arity == 2 ? QrcTableConstraint(xs, QrcIntBinaryPredicate(rel.get()))
                       : QrcTableConstraint(xs, QrcIntTernaryPredicate(rel.get())))
        .getImpl();
  };
  r.c.check = [rel, arity](const A& a) {
    return arity == 2 ? rel->isTrue(a[0], a[1]) : rel->isTrue(a[0], a[1], a[2]);
  };
  r.c.level = Consistency::Domain;
  return r;
}

// Variant 0: level 1, 1: level 3.
ArrayCase sequenceCase(Rng& rng, int variant) {
  ArrayCase r;
  r.c.notReified = "a sequence has no opposite";
  QrcInt level = variant ? 3 : 1;
  int w = 1 + static_cast<int>(rng() % 3);
  size_t n = static_cast<size_t>(w) + rng() % 2;
  QrcInt lo = static_cast<QrcInt>(rng() % 2), hi = lo + static_cast<QrcInt>(rng() % 2);
  std::vector<QrcInt> listed = rng() % 2 ? std::vector<QrcInt>{1} : std::vector<QrcInt>{0, 2};
  size_t k = listed.size();
  r.elements = n + k;
  r.c.values = qrotest::randomDomains(rng, static_cast<int>(n), 0, 2, 3);
  for (size_t j = 0; j < k; ++j) r.c.values.push_back(qrotest::range(0, static_cast<int64_t>(n)));
  r.c.make = [=](QrcManagerI* m, const Vars& v) {
    QrcConstraint ct =
        QrcSequence(lo, hi, w, arrayOf(m, v, 0, n), intsOf(m, listed), arrayOf(m, v, n, n + k));
    ct.getImpl()->setFilterLevel(level);
    return ct.getImpl();
  };
  r.c.check = [=](const A& a) {
    for (size_t s = 0; s + static_cast<size_t>(w) <= n; ++s) {
      QrcInt c = 0;
      for (size_t i = s; i < s + static_cast<size_t>(w); ++i) c += in(listed, a[i]);
      if (c < lo || c > hi) return false;
    }
    for (size_t j = 0; j < k; ++j)
      if (a[n + j] != countOf(a, 0, n, listed[j])) return false;
    return true;
  };
  return r;
}

// The letters of the automata.
const std::vector<QrcInt> Letters = {0, 1, 2};

// A regular constraint of up to 3 states over n letters.
void regularCase(ArrayCase& r, Rng& rng, size_t n) {
  QrcInt states = 1 + static_cast<QrcInt>(rng() % 3);
  std::vector<QrcInt> T, finals;
  for (QrcInt k = 0; k < states * 3; ++k)
    T.push_back(rng() % 5 ? static_cast<QrcInt>(rng() % static_cast<uint64_t>(states)) : -1);
  for (QrcInt q = 0; q < states; ++q)
    if (rng() % 2 || (q == states - 1 && finals.empty())) finals.push_back(q);
  r.c.make = [=](QrcManagerI* m, const Vars& v) {
    return QrcRegular(arrayOf(m, v, 0, n), states, intsOf(m, T), intsOf(m, finals),
                      intsOf(m, Letters))
        .getImpl();
  };
  r.c.check = [=](const A& w) {
    QrcInt q = 0;
    for (int64_t x : w) {
      if (x < 0 || x > 2) return false;
      q = T[static_cast<size_t>(q * 3 + x)];
      if (q < 0) return false;
    }
    return in(finals, q);
  };
}

// Stretches of each letter between drawn bounds.
void stretchCase(ArrayCase& r, Rng& rng, size_t n) {
  std::vector<QrcInt> lo, hi;
  for (int j = 0; j < 3; ++j) {
    lo.push_back(static_cast<QrcInt>(rng() % 3));
    hi.push_back(lo.back() + static_cast<QrcInt>(rng() % 3));
  }
  r.c.make = [=](QrcManagerI* m, const Vars& v) {
    return QrcStretch(arrayOf(m, v, 0, n), intsOf(m, lo), intsOf(m, hi), intsOf(m, Letters))
        .getImpl();
  };
  r.c.check = [=](const A& w) {
    for (const auto& run : qrotest::runsOf(w)) {
      if (run.first < 0 || run.first > 2) return false;
      size_t j = static_cast<size_t>(run.first);
      if (run.second < lo[j] || run.second > hi[j]) return false;
    }
    return true;
  };
}

// Patterns of two or three letters that no run sequence may show.
void patternCase(ArrayCase& r, Rng& rng, size_t n) {
  const QrcInt stop = 9;
  std::vector<std::vector<QrcInt>> patterns(1 + rng() % 3);
  for (auto& p : patterns) {
    p.push_back(static_cast<QrcInt>(rng() % 3));
    p.push_back(static_cast<QrcInt>(rng() % 3));
    p.push_back(rng() % 2 ? stop : static_cast<QrcInt>(rng() % 3));
  }
  r.c.make = [=](QrcManagerI* m, const Vars& v) {
    QrcTupleSet s(QrcManager(m), 3);
    for (const auto& p : patterns) s.add(intsOf(m, p));
    s.close();
    return QrcPattern(arrayOf(m, v, 0, n), s, stop).getImpl();
  };
  r.c.check = [=](const A& w) {
    A values;
    for (const auto& run : qrotest::runsOf(w)) values.push_back(run.first);
    for (const auto& p : patterns) {
      size_t len = p[2] == stop ? 2 : 3;
      if (std::search(values.begin(), values.end(), p.begin(),
                      p.begin() + static_cast<long>(len)) != values.end())
        return false;
    }
    return true;
  };
}

// Variant 0: regular, 1: stretch, 2: pattern; over the alphabet {0, 1, 2}.
ArrayCase automatonCase(Rng& rng, int variant) {
  ArrayCase r;
  r.c.notReified = "automata have no opposite";
  size_t n = 1 + rng() % 4;
  r.elements = n;
  r.c.values = qrotest::randomDomains(rng, static_cast<int>(n), 0, 2, 3);
  r.c.level = Consistency::Domain;
  if (variant == 0)
    regularCase(r, rng, n);
  else if (variant == 1)
    stretchCase(r, rng, n);
  else
    patternCase(r, rng, n);
  return r;
}

ArrayCase minDistanceCase(Rng& rng, int level) {
  ArrayCase r;
  size_t n = 2 + rng() % 2;
  QrcInt k = 1 + static_cast<QrcInt>(rng() % 3);
  r.elements = n;
  r.c.values = qrotest::randomDomains(rng, static_cast<int>(n), 0, 6, 4);
  r.c.make = [n, k, level](QrcManagerI* m, const Vars& v) {
    QrcConstraintI* ct = QrcAllMinDistance(arrayOf(m, v, 0, n), k).getImpl();
    ct->setFilterLevel(level);
    return ct;
  };
  r.c.check = [n, k](const A& a) {
    for (size_t i = 0; i < n; ++i)
      for (size_t j = i + 1; j < n; ++j)
        if (std::llabs(a[i] - a[j]) < k) return false;
    return true;
  };
  // The matching of level 3 over blocks of one value.
  if (level == 3 && k == 1) r.c.level = Consistency::Domain;
  return r;
}

ArrayCase pairingCase(Rng& rng, int level) {
  ArrayCase r;
  r.c.notReified = "a pairing has no opposite";
  size_t n = 2 + rng() % 3;
  r.elements = n;
  for (size_t i = 0; i < n; ++i) {
    A d;
    for (int64_t j = -1; j <= static_cast<int64_t>(n); ++j)
      if (rng() % 3) d.push_back(j);
    if (d.empty()) d.push_back(0);
    r.c.values.push_back(d);
  }
  r.c.make = [n, level](QrcManagerI* m, const Vars& v) {
    return QrcPairing(arrayOf(m, v, 0, n), level).getImpl();
  };
  r.c.check = [n](const A& a) {
    for (size_t i = 0; i < n; ++i) {
      int64_t j = a[i];
      if (j < 0 || j >= static_cast<int64_t>(n) || j == static_cast<int64_t>(i) ||
          a[static_cast<size_t>(j)] != static_cast<int64_t>(i))
        return false;
    }
    return true;
  };
  r.c.level = level == 3 ? Consistency::Domain : Consistency::None;
  return r;
}

// Variant 0: QrcGeLex, 1: QrcLeLex, over x then y.
ArrayCase lexCase(Rng& rng, int variant) {
  ArrayCase r;
  r.c.notReified = "lexicographic orders have no opposite";
  size_t n = 1 + rng() % 3;
  bool le = variant == 1;
  r.elements = 2 * n;
  r.c.values = qrotest::randomDomains(rng, static_cast<int>(2 * n), 0, 3, 3);
  r.c.make = [n, le](QrcManagerI* m, const Vars& v) {
    QrcIntVarArray x = arrayOf(m, v, 0, n), y = arrayOf(m, v, n, 2 * n);
    return (le ? QrcLeLex(x, y) : QrcGeLex(x, y)).getImpl();
  };
  r.c.check = [n, le](const A& a) {
    for (size_t i = 0; i < n; ++i)
      if (a[i] != a[n + i]) return le ? a[i] < a[n + i] : a[i] > a[n + i];
    return true;
  };
  return r;
}

// Variant 0: f and invf; 1: set channelling, x then the sets.
ArrayCase inverseCase(Rng& rng, int variant) {
  ArrayCase r;
  r.c.notReified = "an inverse has no opposite";
  if (variant == 0) {
    size_t nf = 1 + rng() % 3, ni = 1 + rng() % 3;
    int64_t hi = static_cast<int64_t>(std::max(nf, ni));
    r.elements = nf + ni;
    r.c.values = qrotest::randomDomains(rng, static_cast<int>(nf + ni), -1, hi, 4);
    r.c.make = [nf, ni](QrcManagerI* m, const Vars& v) {
      return QrcInverse(arrayOf(m, v, 0, nf), arrayOf(m, v, nf, nf + ni)).getImpl();
    };
    r.c.check = [nf, ni](const A& s) {
      auto f = [&](size_t i) { return s[i]; };
      auto g = [&](size_t j) { return s[nf + j]; };
      for (size_t i = 0; i < nf; ++i)
        if (f(i) >= 0 && f(i) < static_cast<int64_t>(ni) &&
            g(static_cast<size_t>(f(i))) != static_cast<int64_t>(i))
          return false;
      for (size_t j = 0; j < ni; ++j)
        if (g(j) >= 0 && g(j) < static_cast<int64_t>(nf) &&
            f(static_cast<size_t>(g(j))) != static_cast<int64_t>(j))
          return false;
      return true;
    };
    return r;
  }
  size_t ns = 1 + rng() % 2, n = 1 + rng() % 2;
  r.elements = n;
  for (size_t j = 0; j < n; ++j) r.c.values.push_back(qrotest::range(-1, static_cast<int64_t>(ns)));
  A masks = qrotest::subsets(static_cast<int>(n));
  r.c.kinds.assign(n, nullptr);
  for (size_t i = 0; i < ns; ++i) {
    r.c.values.push_back(masks);
    r.c.kinds.push_back(&qrotest::intSetKind());
  }
  r.c.make = [n, ns](QrcManagerI* m, const Vars& v) {
    QrcIntSetVarArray s(QrcManager(m), static_cast<QrcInt>(ns));
    for (size_t i = 0; i < ns; ++i) s.getImpl()->elementAt(static_cast<QrcInt>(i)) = v.expr(n + i);
    return QrcInverse(s, arrayOf(m, v, 0, n)).getImpl();
  };
  r.c.check = [n, ns](const A& s) {
    A want(ns, 0);
    for (size_t j = 0; j < n; ++j) {
      int64_t x = s[j];
      if (x < 0 || x >= static_cast<int64_t>(ns)) return false;
      want[static_cast<size_t>(x)] |= int64_t(1) << j;
    }
    for (size_t i = 0; i < ns; ++i)
      if (s[n + i] != want[i]) return false;
    return true;
  };
  return r;
}

// Variant 0: member, 1: not member, of one element.
ArrayCase memberCase(Rng& rng, int variant) {
  ArrayCase r;
  r.elements = 1;
  r.c.values = qrotest::randomDomains(rng, 1, -2, 5, 6);
  std::vector<QrcInt> values;
  for (int i = 0, k = 1 + static_cast<int>(rng() % 4); i < k; ++i)
    values.push_back(static_cast<QrcInt>(rng() % 8) - 2);
  bool member = variant == 0;
  r.c.make = [values, member](QrcManagerI* m, const Vars& v) {
    QrcIntArray a = intsOf(m, values);
    return (member ? QrcMember(v[0], a) : QrcNotMember(v[0], a)).getImpl();
  };
  r.c.check = [values, member](const A& a) { return in(values, a[0]) == member; };
  r.c.level = Consistency::Domain;  // a variable keeps only its members (or non-members)
  return r;
}

// Variant 0: value abstraction, 1: test abstraction, both over xs then ys;
// 2: the abstraction array over xs, its variables equal to ys.
ArrayCase abstractionCase(Rng& rng, int variant) {
  ArrayCase r;
  size_t n = 1 + rng() % 2;
  std::vector<QrcInt> set = {1, 3};
  QrcInt a = rng() % 2 ? 2 : 7;
  r.c.values = qrotest::randomDomains(rng, static_cast<int>(n), 0, 4, 4);
  for (size_t i = 0; i < n; ++i)
    r.c.values.push_back(variant == 1 ? qrotest::range(0, 1)
                                      : qrotest::randomDomains(rng, 1, 0, 7, 5)[0]);
  r.elements = variant == 2 ? n : 2 * n;
  r.c.post = [=](QrcManagerI* m, const Vars& v) {
    QrcIntVarArray xs = arrayOf(m, v, 0, n);
    QrcIntArray values = intsOf(m, set);
    if (variant == 0) m->add(QrcEqAbstraction(arrayOf(m, v, n, 2 * n), xs, values, a).getImpl());
    if (variant == 1) m->add(QrcEqIntAbstraction(arrayOf(m, v, n, 2 * n), xs, values).getImpl());
    if (variant == 2) {
      QrcIntVarArray ys = QrcAbstractionArray(xs, values, a);
      for (size_t i = 0; i < n; ++i)
        m->add((ys[static_cast<QrcInt>(i)] == QrcIntExp(v[n + i])).getImpl());
    }
  };
  r.c.check = [=](const A& s) {
    for (size_t i = 0; i < n; ++i) {
      bool member = in(set, s[i]);
      int64_t y = variant == 1 ? (member ? 1 : 0) : (member ? s[i] : a);
      if (s[n + i] != y) return false;
    }
    return true;
  };
  return r;
}

// Mean in [ml/4, mh/4] and deviation in [dl/4, dh/4], checked in integers.
ArrayCase spreadCase(Rng& rng, int) {
  ArrayCase r;
  r.c.notReified = "a spread has no opposite";
  size_t n = 2 + rng() % 2;
  r.elements = n;
  r.c.values = qrotest::randomDomains(rng, static_cast<int>(n), -2, 3, 3);
  int ml = static_cast<int>(rng() % 9) - 6, mh = ml + static_cast<int>(rng() % 9);
  int dl = static_cast<int>(rng() % 5), dh = dl + static_cast<int>(rng() % 9);
  r.c.make = [=](QrcManagerI* m, const Vars& v) {
    QrcManager h(m);
    return QrcSpread(arrayOf(m, v, 0, n), QrcFloatVar(h, ml / 4.0, mh / 4.0),
                     QrcFloatVar(h, dl / 4.0, dh / 4.0))
        .getImpl();
  };
  r.c.check = [=](const A& s) {
    int64_t sum = 0, squares = 0, k = static_cast<int64_t>(n);
    for (int64_t x : s) {
      sum += x;
      squares += x * x;
    }
    if (k * ml > 4 * sum || 4 * sum > k * mh) return false;
    int64_t spread = 16 * (k * squares - sum * sum);
    return k * k * dl * dl <= spread && spread <= k * k * dh * dh;
  };
  return r;
}

// Items' bins, then loads, then (variant 1) the number of bins used.
ArrayCase packCase(Rng& rng, int variant) {
  ArrayCase r;
  r.c.notReified = "a pack has no opposite";
  size_t items = 3, bins = 2;
  A weight;
  for (size_t i = 0; i < items; ++i) weight.push_back(1 + static_cast<int64_t>(rng() % 3));
  r.elements = items + bins;
  for (size_t i = 0; i < items; ++i) r.c.values.push_back(rng() % 4 ? A{0, 1} : A{-1, 0, 1});
  for (size_t j = 0; j < bins; ++j) {
    int64_t lo = static_cast<int64_t>(rng() % 3);
    r.c.values.push_back(qrotest::range(lo, lo + 3));
  }
  bool count = variant == 1;
  if (count) r.c.values.push_back(qrotest::range(0, 2));
  r.c.make = [=](QrcManagerI* m, const Vars& v) {
    QrcIntVarArray where = arrayOf(m, v, 0, items), load = arrayOf(m, v, items, items + bins);
    QrcIntArray w = intsOf(m, weight);
    return (count ? QrcPack(load, where, w, QrcIntVar(v[items + bins])) : QrcPack(load, where, w))
        .getImpl();
  };
  r.c.check = [=](const A& a) {
    A sum(bins, 0);
    for (size_t i = 0; i < items; ++i) {
      if (a[i] < 0 || a[i] >= static_cast<int64_t>(bins)) return false;
      sum[static_cast<size_t>(a[i])] += weight[i];
    }
    int64_t used = 0;
    for (size_t j = 0; j < bins; ++j) {
      if (a[items + j] != sum[j]) return false;
      used += sum[j] > 0;
    }
    return !count || a[items + bins] == used;
  };
  return r;
}

// Variant 0: the sum equal to s, 1: a scalar product at most s.
ArrayCase sumCase(Rng& rng, int variant) {
  ArrayCase r;
  size_t n = 2 + rng() % 2;
  r.elements = n;
  r.c.values = qrotest::randomDomains(rng, static_cast<int>(n), -2, 3, 3);
  r.c.values.push_back(qrotest::range(-2, 4));
  std::vector<QrcInt> coefs;
  for (size_t i = 0; i < n; ++i) coefs.push_back(static_cast<QrcInt>(rng() % 5) - 2);
  r.c.make = [=](QrcManagerI* m, const Vars& v) {
    QrcIntVarArray xs = arrayOf(m, v, 0, n);
    QrcIntExp s(v[n]);
    return (variant ? QrcScalProd(xs, intsOf(m, coefs)) <= s : QrcSum(xs) == s).getImpl();
  };
  r.c.check = [=](const A& a) {
    int64_t t = 0;
    for (size_t i = 0; i < n; ++i) t += variant ? coefs[i] * a[i] : a[i];
    return variant ? t <= a[n] : t == a[n];
  };
  return r;
}

class Transit : public QrcPathTransitI {
 public:
  Transit(size_t n, std::vector<int> t) : _n(n), _t(std::move(t)) {}
  QrcFloat transit(QrcInt i, QrcInt j) override { return at(i, j); }
  int at(int64_t i, int64_t j) const {
    return _t[static_cast<size_t>(i) * _n + static_cast<size_t>(j)];
  }

 private:
  size_t _n;
  std::vector<int> _t;
};

// Successors, then integer values viewed as the floats y; variant 0: mode 0
// (next kept a permutation by disequalities), 1: mode 2.
ArrayCase pathCase(Rng& rng, int variant) {
  ArrayCase r;
  size_t n = 2 + rng() % 2;
  int p = static_cast<int>(rng() % 2), mode = variant ? 2 : 0;
  std::vector<int> table;
  for (size_t k = 0; k < n * n; ++k) table.push_back(static_cast<int>(rng() % 3));
  auto transit = std::make_shared<Transit>(n, table);
  r.elements = n;
  // The checker reads the successors as nodes.
  r.c.shapesKeepCandidates = true;
  r.c.values = qrotest::ranges(static_cast<int>(n), 0, static_cast<int64_t>(n) - 1);
  for (size_t i = 0; i < n; ++i) r.c.values.push_back(qrotest::range(0, 2));
  r.c.post = [=](QrcManagerI* m, const Vars& v) {
    QrcFloatVarArray y(QrcManager(m), static_cast<QrcInt>(n));
    for (size_t i = 0; i < n; ++i) y.set(static_cast<QrcInt>(i), QrcFloatVar(v[n + i]));
    if (mode == 0)
      for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j) m->add((QrcIntExp(v[i]) != QrcIntExp(v[j])).getImpl());
    m->add(QrcPath(arrayOf(m, v, 0, n), y, transit.get(), p, mode).getImpl());
  };
  r.c.check = [=](const A& s) {
    int64_t inner = static_cast<int64_t>(n) - 2 * p;
    std::vector<bool> seen(n, false);
    for (size_t i = 0; i < n; ++i) {
      int64_t j = s[i], k = static_cast<int64_t>(i);
      if (j < 0 || j >= static_cast<int64_t>(n) || seen[static_cast<size_t>(j)]) return false;
      seen[static_cast<size_t>(j)] = true;
      bool end = k >= inner && k < inner + p, start = j >= inner + p;
      if (end && j != k + p) return false;
      if (k < inner && start) return false;
      if (!end && !start && s[n + static_cast<size_t>(j)] < s[n + i] + transit->at(k, j))
        return false;
    }
    return true;
  };
  return r;
}

struct Row {
  const char* name;
  int variants;
  std::function<ArrayCase(Rng&, int)> make;
};

const Row Rows[] = {
    {"alldiff", 4, allDiffCase},
    {"distribute", 8, distributeCase},
    {"count", 2, countCase},
    {"element", 2, elementCase},
    {"table", 6, tableCase},
    {"predicate", 2, predicateCase},
    {"sequence", 2, sequenceCase},
    {"automaton", 3, automatonCase},
    {"min_distance", 4, minDistanceCase},
    {"pairing", 4, pairingCase},
    {"lex", 2, lexCase},
    {"inverse", 2, inverseCase},
    {"member", 2, memberCase},
    {"abstraction", 3, abstractionCase},
    {"spread", 1, spreadCase},
    {"pack", 2, packCase},
    {"sum", 2, sumCase},
    {"path", 2, pathCase},
};

class ArrayElementForms : public testing::TestWithParam<int> {};

TEST_P(ArrayElementForms, AgreeWithBruteForce) {
  const Row& row = Rows[GetParam()];
  Rng rng(qrotest::caseSeed(5600 + static_cast<uint64_t>(GetParam())));
  for (int round = 0; round < 3; ++round)
    for (int variant = 0; variant < row.variants; ++variant) {
      ArrayCase a = row.make(rng, variant);
      a.c.name = std::string(row.name) + " variant " + std::to_string(variant) + " round " +
                 std::to_string(round);
      a.c.seed = rng();
      a.c.narrowRuns = 20;
      ASSERT_EQ(qrotest::runElementForms(a.c, a.elements), 0) << a.c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogue, ArrayElementForms,
                         testing::Range(0, static_cast<int>(sizeof(Rows) / sizeof(Rows[0]))),
                         [](const testing::TestParamInfo<int>& info) {
                           return std::string(Rows[info.param].name);
                         });

}  // namespace
