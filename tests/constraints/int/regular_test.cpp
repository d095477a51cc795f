#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "constraint_fixtures.h"
#include "qrcfail.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcsearch.h"
#include "qrcregular.h"
#include "support/harness.h"
#include "support/watchdog.h"

using qrotest::Consistency;
using qrotest::PropCase;
using qrotest::Rng;
using qrotest::Vars;

namespace {

typedef std::vector<int64_t> Word;

QrcIntVarArray arrayOf(QrcManagerI* m, const Vars& x) {
  QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(x.size()));
  for (size_t i = 0; i < x.size(); ++i) a.set(static_cast<QrcInt>(i), QrcIntExp(x[i]));
  return a;
}

QrcIntArray intArray(QrcManagerI* m, const std::vector<QrcInt>& v) {
  return v.empty() ? QrcIntArray()
                   : QrcIntArray(QrcManager(m), static_cast<QrcInt>(v.size()), v.data());
}

// An automaton as the tests state it; no finals means every state final.
struct Automaton {
  QrcInt states = 1;
  std::vector<QrcInt> T, finals, alphabet;
  std::vector<double> costs;  // n x s x m, empty for none
  // The state sequence of a word (-1 once it is refused), and its cost.
  bool accepts(const Word& w, double* cost = nullptr) const {
    QrcInt m = static_cast<QrcInt>(alphabet.size()), q = 0;
    double total = 0;
    for (size_t i = 0; i < w.size(); ++i) {
      auto it = std::find(alphabet.begin(), alphabet.end(), w[i]);
      if (it == alphabet.end()) return false;
      QrcInt j = it - alphabet.begin();
      if (!costs.empty())
        total += costs[(i * static_cast<size_t>(states) + static_cast<size_t>(q)) *
                           static_cast<size_t>(m) +
                       static_cast<size_t>(j)];
      q = T[static_cast<size_t>(q * m + j)];
      if (q < 0) return false;
    }
    if (cost) *cost = total;
    return finals.empty() || std::find(finals.begin(), finals.end(), q) != finals.end();
  }
};

class Regular : public ctest::ConstraintTest {
 protected:
  // A new manager, after a failure at the root left the old one failed.
  void renew() {
    TearDown();
    SetUp();
  }
  QrcConstraint regular(const QrcIntVarArray& x, const Automaton& a) {
    return QrcRegular(x, a.states, intArray(m, a.T), intArray(m, a.finals),
                      intArray(m, a.alphabet));
  }
};
class Stretch : public Regular {};
class Pattern : public Regular {};

// Calls f on every word over the candidate values until it answers true.
bool anyWord(const std::vector<std::vector<int64_t>>& values,
             const std::function<bool(const Word&)>& f) {
  Word w(values.size());
  std::function<bool(size_t)> from = [&](size_t k) {
    if (k == w.size()) return f(w);
    for (int64_t v : values[k]) {
      w[k] = v;
      if (from(k + 1)) return true;
    }
    return false;
  };
  return from(0);
}

// Runs a harness case; true when some word passes its checker.
bool runCase(const std::string& name, const std::vector<std::vector<int64_t>>& values,
             Consistency level, uint64_t seed,
             const std::function<void(QrcManagerI*, const Vars&)>& post,
             const std::function<bool(const Word&)>& check) {
  PropCase c;
  c.name = name;
  c.values = values;
  c.level = level;
  c.seed = seed;
  c.post = post;
  c.check = check;
  qrotest::runPropCase(c);
  return anyWord(values, check);
}

// ---------------------------------------------------------------- regular

TEST_F(Regular, NoTwoOnes) {
  Automaton noOneOne{2, {0, 1, 0, -1}, {}, {0, 1}, {}};
  renew();
  QrcIntVarArray x(mgr, 3, 0, 1);
  mgr.add(regular(x, noOneOne));
  x[1].setValue(1);
  EXPECT_EQ(dom(x[0].getImpl()), std::vector<QrcInt>{0});
  EXPECT_EQ(dom(x[2].getImpl()), std::vector<QrcInt>{0});
}

TEST_F(Regular, PostingCases) {
  QrcIntVarArray x(mgr, 3, 0, 1);
  EXPECT_FALSE(adds(regular(x, {2, {-1, -1, -1, -1}, {}, {}, {}})));
  // 0 then 1, alternating: a word of three ends in state 1.
  Automaton alternate{2, {1, -1, -1, 0}, {0}, {}, {}};
  renew();
  QrcIntVarArray y(mgr, 3, 0, 1);
  EXPECT_FALSE(adds(regular(y, alternate)));
  renew();
  QrcIntVarArray z(mgr, 3, 0, 1);
  alternate.finals.clear();
  ASSERT_TRUE(adds(regular(z, alternate)));
  EXPECT_EQ(dom(z[1].getImpl()), ctest::V{1});
  QrcIntVarArray w(mgr, 1, -1, 1);
  ASSERT_TRUE(adds(regular(w, {1, {0, 0}, {}, {0, 1}, {}})));
  EXPECT_EQ(dom(w[0].getImpl()), (ctest::V{0, 1}));
  // No variables: the initial state must be final.
  for (QrcInt final : {0, 1}) {
    renew();
    EXPECT_EQ(adds(regular(QrcIntVarArray(mgr, 0), {2, {1, 1}, {final}, {5}, {}})), final == 0);
  }
}

TEST_F(Regular, Errors) {
  QrcIntVarArray x(mgr, 2, 0, 1);
  EXPECT_EQ(errorLine([&] {
              regular(x, {2, {0, 1, 0}, {}, {}, {}});
            }),
            "Solver Error : QrcRegular : bad array size : 3\n");
  EXPECT_EQ(errorLine([&] {
              regular(x, {0, {}, {}, {0}, {}});
            }),
            "Solver Error : QrcRegular : Incompatible argument : 0\n");
  std::string line;
  EXPECT_EQ(errorOf([&] { regular(x, {2, {0, 2, 0, 1}, {}, {}, {}}); }, &line), 32);
  EXPECT_EQ(errorOf([&] { regular(x, {2, {0, -2, 0, 1}, {}, {}, {}}); }, &line), 32);
  EXPECT_EQ(errorOf([&] { regular(x, {2, {0, 1, 0, 1}, {2}, {}, {}}); }, &line), 32);
  QrcIntArray shortest = ints({1, 1});
  EXPECT_EQ(errorOf([&] { QrcStretch(x, shortest, ints({1, 1, 1}), ints({0, 1})); }, &line), 5);
  EXPECT_EQ(line, "Solver Error : QrcStretch : bad array size : 3\n");
  EXPECT_EQ(errorOf([&] { QrcStretch(x, ints({1}), shortest, QrcIntArray()); }, &line), 5);
}

// Random automata over the domains' values 0..2: the alphabet sometimes
// misses one of them, or holds a value no domain has instead.
Automaton randomAutomaton(Rng& rng, size_t n, bool withCosts) {
  Automaton a;
  a.states = 1 + static_cast<QrcInt>(rng() % 4);
  a.alphabet = {0, 1, 2};
  std::shuffle(a.alphabet.begin(), a.alphabet.end(), rng);
  if (rng() % 3 == 0) a.alphabet.pop_back();
  if (rng() % 3 == 0) a.alphabet.back() = rng() % 2 ? -1 : 3;
  QrcInt m = static_cast<QrcInt>(a.alphabet.size());
  for (QrcInt k = 0; k < a.states * m; ++k)
    a.T.push_back(rng() % 6 == 0 ? -1
                                 : static_cast<QrcInt>(rng() % static_cast<uint64_t>(a.states)));
  for (QrcInt q = 0; q < a.states; ++q)
    if (rng() % 2) a.finals.push_back(q);
  if (withCosts)
    for (size_t k = 0; k < n * static_cast<size_t>(a.states * m); ++k)
      a.costs.push_back(static_cast<double>(rng() % 4));
  return a;
}

// The regular constraint with its costs and z, made directly.
QrcConstraintI* withCosts(QrcManagerI* m, const Vars& x, const Automaton& a, double lo, double hi) {
  std::vector<QrcInt> finals = a.finals;
  if (finals.empty())
    for (QrcInt q = 0; q < a.states; ++q) finals.push_back(q);
  QrcFloatVar z(QrcManager(m), lo, hi);
  return new (m)
      QrcRegularI(m, arrayOf(m, x).getImpl(), a.states, a.T.data(),
                  static_cast<QrcInt>(a.alphabet.size()), a.alphabet.data(), finals.data(),
                  static_cast<QrcInt>(finals.size()), a.costs.data(), z.getImpl());
}

TEST_F(Regular, RandomAutomataAgreeWithBruteForce) {
  uint64_t base = qrotest::caseSeed(4000);
  int feasible = 0;
  for (uint64_t i = 0; i < 40; ++i) {
    Rng rng(base + i);
    size_t n = 1 + static_cast<size_t>(rng() % 6);
    Automaton a = randomAutomaton(rng, n, false);
    feasible += runCase(
        "automaton " + std::to_string(i), qrotest::randomDomains(rng, static_cast<int>(n), 0, 2, 3),
        Consistency::Domain, base + i,
        [a](QrcManagerI* m, const Vars& x) {
          m->add(QrcRegular(arrayOf(m, x), a.states, intArray(m, a.T), intArray(m, a.finals),
                            intArray(m, a.alphabet))
                     .getImpl());
        },
        [a](const Word& w) { return a.accepts(w); });
  }
  EXPECT_GE(feasible, 15);
}

TEST_F(Regular, CostsAgreeWithBruteForce) {
  uint64_t base = qrotest::caseSeed(4001);
  const double Inf = std::numeric_limits<double>::infinity();
  int feasible = 0;
  for (uint64_t i = 0; i < 30; ++i) {
    Rng rng(base + i);
    size_t n = 1 + static_cast<size_t>(rng() % 5);
    Automaton a = randomAutomaton(rng, n, true);
    std::vector<std::vector<int64_t>> values =
        qrotest::randomDomains(rng, static_cast<int>(n), 0, 2, 3);
    double lo = static_cast<double>(rng() % (n + 1)),
           hi = lo + static_cast<double>(rng() % (2 * n + 2));
    // One-sided bounds (or none) are kept domain consistent; both together lose no solution.
    const double bounds[4][2] = {{-Inf, hi}, {lo, Inf}, {-Inf, Inf}, {lo, hi}};
    for (int k = 0; k < 4; ++k) {
      double from = bounds[k][0], to = bounds[k][1];
      feasible += runCase(
          "costs " + std::to_string(i) + " in [" + std::to_string(from) + ", " +
              std::to_string(to) + "]",
          values, k < 3 ? Consistency::Domain : Consistency::None, base + i,
          [=](QrcManagerI* m, const Vars& x) { m->add(withCosts(m, x, a, from, to)); },
          [=](const Word& w) {
            double cost;
            return a.accepts(w, &cost) && cost >= from && cost <= to;
          });
    }
    // Given wider, z becomes [cheapest, dearest] over the accepted words.
    double cheapest = Inf, dearest = -Inf;
    anyWord(values, [&](const Word& w) {
      double cost;
      if (a.accepts(w, &cost))
        cheapest = std::min(cheapest, cost), dearest = std::max(dearest, cost);
      return false;
    });
    renew();
    std::vector<QrcExprI*> xs;
    for (const auto& d : values)
      xs.push_back(new (m) QrcIntExpI(m, static_cast<QrcInt>(d.size()), d.data(), nullptr));
    QrcConstraintI* ct = withCosts(m, Vars(xs), a, -1e6, 1e6);
    if (cheapest == Inf) {
      EXPECT_FALSE(adds(ct)) << "case " << i;
      continue;
    }
    m->add(ct);
    QrcFloatExpI* z = static_cast<QrcRegularI*>(ct)->getCost();
    EXPECT_EQ(z->getMin(), cheapest) << "case " << i;
    EXPECT_EQ(z->getMax(), dearest) << "case " << i;
  }
  EXPECT_GE(feasible, 40);
}

// ---------------------------------------------------------------- tied positions

// A position of the word: a base variable plus an offset. As an element, the
// expression itself (made a variable by the array, bound to its base by an
// offset link); tied, a variable of its own made equal to it by a constraint
// posted before the one under test. Either way one change moves several
// positions at once, and a base may stand at several positions.
struct Position {
  size_t base;
  QrcInt offset;
};
enum class Tie { Element, Equality };

struct TiedLayout {
  size_t bases;
  std::vector<Position> positions;
  Tie tie;
};

// The candidate values: the bases over 0..3, each tied position over its
// base's values shifted, and one more on each side.
std::vector<std::vector<int64_t>> tiedValues(const TiedLayout& l) {
  std::vector<std::vector<int64_t>> values(l.bases, qrotest::range(0, 3));
  if (l.tie == Tie::Equality)
    for (const Position& p : l.positions)
      values.push_back(qrotest::range(p.offset - 1, p.offset + 4));
  return values;
}

// The word of an assignment; false when it breaks a tie.
bool wordOf(const TiedLayout& l, const Word& a, Word& w) {
  w.clear();
  for (size_t k = 0; k < l.positions.size(); ++k) {
    int64_t v = a[l.positions[k].base] + l.positions[k].offset;
    if (l.tie == Tie::Equality && a[l.bases + k] != v) return false;
    w.push_back(v);
  }
  return true;
}

QrcIntVarArray tiedArray(QrcManagerI* m, const Vars& v, const TiedLayout& l) {
  QrcInt n = static_cast<QrcInt>(l.positions.size());
  QrcIntVarArray x(QrcManager(m), n);
  for (QrcInt k = 0; k < n; ++k) {
    const Position& p = l.positions[static_cast<size_t>(k)];
    QrcIntExp e = p.offset ? QrcIntExp(v[p.base]) + p.offset : QrcIntExp(v[p.base]);
    if (l.tie == Tie::Element) {
      x.set(k, e);
      continue;
    }
    QrcIntExp own(v[l.bases + static_cast<size_t>(k)]);
    m->add((own == e).getImpl());
    x.set(k, own);
  }
  return x;
}

TiedLayout randomLayout(Rng& rng) {
  TiedLayout l;
  l.bases = 1 + rng() % 2;
  l.tie = rng() % 2 ? Tie::Element : Tie::Equality;
  size_t n = 2 + rng() % 3;
  const QrcInt offsets[] = {0, 0, -1, 1, 2};
  for (size_t k = 0; k < n; ++k) l.positions.push_back({rng() % l.bases, offsets[rng() % 5]});
  return l;
}

// Runs the constraint over tied positions through the harness; true when
// some assignment is a solution.
bool runTied(const std::string& name, const TiedLayout& l, uint64_t seed,
             const std::function<QrcConstraintI*(QrcManagerI*, const QrcIntVarArray&)>& make,
             const std::function<bool(const Word&)>& accepts) {
  auto check = [l, accepts](const Word& a) {
    Word w;
    return wordOf(l, a, w) && accepts(w);
  };
  return runCase(
      name + (l.tie == Tie::Element ? " (elements)" : " (equalities)"), tiedValues(l),
      Consistency::None, seed,
      [l, make](QrcManagerI* m, const Vars& v) { m->add(make(m, tiedArray(m, v, l))); }, check);
}

// The word (b + 4, b + 4, b): narrowing the first position at the posting
// moves the others through b, which a word of 5, 5, 1 needs and 4, 4, 0 has
// only through values the others lose then.
TEST_F(Regular, PositionsMovedByThePostingLoseTheirEdges) {
  Automaton a;
  a.states = 6;
  a.alphabet = {0, 1, 2, 4, 5, 6};
  a.T.assign(36, -1);
  // (state, value, next state)
  const QrcInt edges[][3] = {{0, 4, 1}, {0, 5, 2}, {1, 4, 3}, {1, 6, 4},
                             {2, 5, 3}, {3, 1, 5}, {3, 2, 5}, {4, 0, 5}};
  for (const auto& e : edges) {
    QrcInt j = std::find(a.alphabet.begin(), a.alphabet.end(), e[1]) - a.alphabet.begin();
    a.T[static_cast<size_t>(e[0] * 6 + j)] = e[2];
  }
  a.finals = {5};
  auto make = [&](QrcManagerI*, const QrcIntVarArray& x) { return regular(x, a).getImpl(); };
  auto accepts = [&](const Word& w) { return a.accepts(w); };
  for (Tie tie : {Tie::Equality, Tie::Element})
    EXPECT_TRUE(runTied("b + 4, b + 4, b", {1, {{0, 4}, {0, 4}, {0, 0}}, tie}, 1, make, accepts));
  renew();
  QrcIntVar b(mgr, 0, 3);
  std::vector<QrcExprI*> bases = {b.getImpl()};
  ASSERT_TRUE(
      adds(make(m, tiedArray(m, Vars(bases), {1, {{0, 4}, {0, 4}, {0, 0}}, Tie::Element}))));
  EXPECT_EQ(dom(b.getImpl()), std::vector<QrcInt>{1});
}

TEST_F(Regular, TiedPositionsAgreeWithBruteForce) {
  uint64_t base = qrotest::caseSeed(4004);
  int feasible = 0;
  for (uint64_t i = 0; i < 40; ++i) {
    Rng rng(base + i);
    TiedLayout l = randomLayout(rng);
    Automaton a = randomAutomaton(rng, l.positions.size(), false);
    a.alphabet = {0, 1, 2, 3, 4};
    std::shuffle(a.alphabet.begin(), a.alphabet.end(), rng);
    a.T.clear();
    for (QrcInt k = 0; k < a.states * 5; ++k)
      a.T.push_back(rng() % 5 == 0 ? -1
                                   : static_cast<QrcInt>(rng() % static_cast<uint64_t>(a.states)));
    feasible += runTied(
        "automaton " + std::to_string(i), l, base + i,
        [a](QrcManagerI* m, const QrcIntVarArray& x) {
          return QrcRegular(x, a.states, intArray(m, a.T), intArray(m, a.finals),
                            intArray(m, a.alphabet))
              .getImpl();
        },
        [a](const Word& w) { return a.accepts(w); });
  }
  EXPECT_GE(feasible, 10);
}

// ---------------------------------------------------------------- stretch

QrcRegularI* regularOf(const QrcConstraint& ct) {
  return static_cast<QrcRegularI*>(static_cast<QrcAutomatonBuilderI*>(ct.getImpl())->getRegular());
}

TEST_F(Stretch, Cases) {
  {
    renew();
    QrcIntVarArray x(mgr, 5, 0, 1);
    QrcConstraint ct = QrcStretch(x, intArray(m, {2, 2}), intArray(m, {5, 3}), QrcIntArray());
    mgr.add(ct);
    QrcSearch s(mgr, QrcGenerate(x));
    int solutions = 0;
    while (s.next()) ++solutions;
    s.end();
    EXPECT_EQ(solutions, 5);  // 00000 00011 00111 11000 11100
    x[0].setValue(1);
    EXPECT_EQ(dom(x[1].getImpl()), std::vector<QrcInt>{1});
    EXPECT_EQ(dom(x[3].getImpl()), std::vector<QrcInt>{0});
    EXPECT_EQ(dom(x[4].getImpl()), std::vector<QrcInt>{0});
  }
  {
    renew();
    QrcIntVarArray x(mgr, 3, 0, 2);
    QrcRegularI* r =
        regularOf(QrcStretch(x, intArray(m, {0, 1, -1}), intArray(m, {3, 9, 4}), QrcIntArray()));
    ASSERT_EQ(r->getStateCount(), 1);
    EXPECT_TRUE(r->isFinal(0));
    for (QrcInt j = 0; j < 3; ++j) EXPECT_EQ(r->getTransition(0, j), 0);
  }
  {
    // A bounded value whose longest stretch is 0 cannot occur.
    renew();
    QrcIntVarArray x(mgr, 4, 0, 1);
    mgr.add(QrcStretch(x, intArray(m, {1, 1}), intArray(m, {4, 0}), intArray(m, {0, 1})));
    for (QrcInt i = 0; i < 4; ++i) EXPECT_EQ(dom(x[i].getImpl()), std::vector<QrcInt>{0});
  }
  {
    // The empty sequence has no stretch: nothing is posted.
    renew();
    QrcConstraint ct =
        QrcStretch(QrcIntVarArray(mgr, 0), intArray(m, {1}), intArray(m, {1}), QrcIntArray());
    EXPECT_EQ(regularOf(ct), nullptr);
    EXPECT_TRUE(adds(ct));
  }
}

// A shortest length beyond the sequence forbids its value and builds no
// state for it, however large: 10^8 over two variables stays a few states.
TEST_F(Stretch, ShortestBeyondTheSequenceForbidsTheValue) {
  const struct {
    QrcInt shortest, longest;
  } cases[] = {{100000000, 100000000}, {100000000, 1}, {3, 5}, {3, 1}};
  for (const auto& c : cases) {
    renew();
    qrotest::Watchdog guard("stretch with a long shortest length", 60);
    QrcIntVarArray x(mgr, 2, 0, 1);
    QrcConstraint ct = QrcStretch(x, intArray(m, {c.shortest, 1}), intArray(m, {c.longest, 2}),
                                  intArray(m, {0, 1}));
    EXPECT_LE(regularOf(ct)->getStateCount(), 3) << c.shortest;
    ASSERT_TRUE(adds(ct));
    for (QrcInt i = 0; i < 2; ++i) EXPECT_EQ(dom(x[i].getImpl()), std::vector<QrcInt>{1});
  }
}

TEST_F(Stretch, RandomLengthsAgreeWithBruteForce) {
  uint64_t base = qrotest::caseSeed(4002);
  int feasible = 0;
  for (uint64_t i = 0; i < 30; ++i) {
    Rng rng(base + i);
    int n = 1 + static_cast<int>(rng() % 6);
    bool withValues = i % 2;
    std::vector<QrcInt> values = {0, 1, 2};
    if (withValues) values = {2, -1, 0};
    std::vector<QrcInt> lo, hi;
    for (size_t j = 0; j < values.size(); ++j) {
      // Lengths in -1..n+1, mostly with shortest <= longest + 1.
      QrcInt a = rng() % 2 ? static_cast<QrcInt>(rng() % static_cast<uint64_t>(n + 3)) - 1
                           : static_cast<QrcInt>(rng() % 2);
      QrcInt b = a - 1 + static_cast<QrcInt>(rng() % static_cast<uint64_t>(n + 2));
      lo.push_back(a);
      hi.push_back(std::min<QrcInt>(std::max<QrcInt>(b, -1), n + 1));
    }
    feasible += runCase(
        "stretch " + std::to_string(i),
        i % 3 ? qrotest::ranges(n, 0, 2) : qrotest::randomDomains(rng, n, 0, 2, 3),
        Consistency::Domain, base + i,
        [=](QrcManagerI* m, const Vars& x) {
          m->add(QrcStretch(arrayOf(m, x), intArray(m, lo), intArray(m, hi),
                            withValues ? intArray(m, values) : QrcIntArray())
                     .getImpl());
        },
        [=](const Word& w) {
          for (const auto& run : qrotest::runsOf(w)) {
            auto it = std::find(values.begin(), values.end(), run.first);
            if (it == values.end()) return false;
            size_t j = static_cast<size_t>(it - values.begin());
            if (run.second < lo[j] || run.second > hi[j]) return false;
          }
          return true;
        });
  }
  EXPECT_GE(feasible, 15);
}

TEST_F(Stretch, TiedPositionsAgreeWithBruteForce) {
  uint64_t base = qrotest::caseSeed(4005);
  int feasible = 0;
  const std::vector<QrcInt> values = {0, 1, 2, 3, 4, 5};
  for (uint64_t i = 0; i < 40; ++i) {
    Rng rng(base + i);
    TiedLayout l = randomLayout(rng);
    std::vector<QrcInt> lo, hi;
    for (size_t j = 0; j < values.size(); ++j) {
      lo.push_back(static_cast<QrcInt>(rng() % 3));
      hi.push_back(lo.back() + static_cast<QrcInt>(rng() % 2));
    }
    feasible += runTied(
        "stretch " + std::to_string(i), l, base + i,
        [=](QrcManagerI* m, const QrcIntVarArray& x) {
          return QrcStretch(x, intArray(m, lo), intArray(m, hi), intArray(m, values)).getImpl();
        },
        [=](const Word& w) {
          for (const auto& run : qrotest::runsOf(w)) {
            if (run.first < 0 || run.first > 5) return false;
            size_t j = static_cast<size_t>(run.first);
            if (run.second < lo[j] || run.second > hi[j]) return false;
          }
          return true;
        });
  }
  EXPECT_GE(feasible, 10);
}

// ---------------------------------------------------------------- pattern

const QrcInt Stop = 9;

QrcTupleSet patternSet(QrcManagerI* m, const std::vector<std::vector<QrcInt>>& patterns) {
  QrcTupleSet s(QrcManager(m), 3);
  for (std::vector<QrcInt> p : patterns) {
    p.resize(3, Stop);
    s.add(QrcIntArray(QrcManager(m), 3, p.data()));
  }
  s.close();
  return s;
}

// The patterns as cut by the terminator from the second position on.
bool forbidden(const Word& w, const std::vector<std::vector<QrcInt>>& patterns) {
  std::vector<int64_t> values;
  for (const auto& run : qrotest::runsOf(w)) values.push_back(run.first);
  for (std::vector<QrcInt> p : patterns) {
    p.resize(3, Stop);
    size_t len = 1;
    while (len < 3 && p[len] != Stop) ++len;
    if (std::search(values.begin(), values.end(), p.begin(), p.begin() + static_cast<long>(len)) !=
        values.end())
      return true;
  }
  return false;
}

TEST_F(Pattern, Cases) {
  struct Case {
    std::vector<std::vector<QrcInt>> patterns;
    Word word;
    bool accepted;
  };
  const Case cases[] = {
      {{{0, 1}}, {0, 0, 1}, false},
      {{{0, 1}}, {0, 2, 1}, true},
      {{{2, 0}, {3, 1}}, {0, 0, 0, 2, 3, 1}, false},  // the fall-back to the empty suffix
      {{{2, 0}, {3, 1}}, {0, 2, 2, 3, 3, 0}, true},
      {{{0, 0}}, {0, 0, 0}, true},  // a repeated value forbids nothing
  };
  for (const Case& c : cases) {
    renew();
    QrcIntVarArray x(mgr, static_cast<QrcInt>(c.word.size()), 0, 3);
    mgr.add(QrcPattern(x, patternSet(m, c.patterns), Stop));
    bool accepted = true;
    try {
      for (size_t i = 0; i < c.word.size(); ++i) x[static_cast<QrcInt>(i)].setValue(c.word[i]);
    } catch (QrcFailException&) {
      accepted = false;
    }
    EXPECT_EQ(accepted, c.accepted) << "word of " << c.word.size();
  }
  renew();
  QrcIntVarArray x(mgr, 3, 0, 3);
  EXPECT_EQ(regularOf(QrcPattern(x, patternSet(m, {{5, 6}, {7}}), Stop)), nullptr);
  EXPECT_EQ(regularOf(QrcPattern(QrcIntVarArray(mgr, 0), patternSet(m, {{0, 1}}), Stop)), nullptr);
}

TEST_F(Pattern, RandomSetsAgreeWithBruteForce) {
  uint64_t base = qrotest::caseSeed(4003);
  int feasible = 0;
  for (uint64_t i = 0; i < 30; ++i) {
    Rng rng(base + i);
    int n = 1 + static_cast<int>(rng() % 6);
    std::vector<std::vector<QrcInt>> patterns(1 + rng() % 4);
    for (auto& p : patterns) {
      size_t len = 1 + rng() % 3;
      for (size_t k = 0; k < len; ++k)
        p.push_back(rng() % 6 == 0 && k > 0 ? Stop : static_cast<QrcInt>(rng() % 5) - 1);
    }
    feasible += runCase(
        "pattern " + std::to_string(i), qrotest::randomDomains(rng, n, 0, 2, 3),
        Consistency::Domain, base + i,
        [=](QrcManagerI* m, const Vars& x) {
          m->add(QrcPattern(arrayOf(m, x), patternSet(m, patterns), Stop).getImpl());
        },
        [=](const Word& w) { return !forbidden(w, patterns); });
  }
  EXPECT_GE(feasible, 15);
}

TEST_F(Pattern, TiedPositionsAgreeWithBruteForce) {
  uint64_t base = qrotest::caseSeed(4391);
  int feasible = 0;
  for (uint64_t i = 0; i < 40; ++i) {
    Rng rng(base + i);
    TiedLayout l = randomLayout(rng);
    std::vector<std::vector<QrcInt>> patterns(1 + rng() % 3);
    for (auto& p : patterns) {
      size_t len = 1 + rng() % 3;
      for (size_t k = 0; k < len; ++k) p.push_back(static_cast<QrcInt>(rng() % 6) - 1);
    }
    feasible += runTied(
        "pattern " + std::to_string(i), l, base + i,
        [=](QrcManagerI* m, const QrcIntVarArray& x) {
          return QrcPattern(x, patternSet(m, patterns), Stop).getImpl();
        },
        [=](const Word& w) { return !forbidden(w, patterns); });
  }
  EXPECT_GE(feasible, 10);
}

}  // namespace
