// Regular, stretch and pattern constraints at their edges: arrays given
// without entries (no final state, an empty alphabet, no stretch value) as
// against missing ones, words with values outside the alphabet, and the
// negated and reified forms, which these constraints do not have.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "constraint_fixtures.h"
#include "qrcintcompare.h"
#include "qrcregular.h"
#include "qrctupleset.h"
#include "support/harness.h"

namespace {

using qrotest::PropCase;
using qrotest::Rng;
using qrotest::Vars;
typedef std::vector<int64_t> Word;
typedef std::vector<QrcInt> Ints;

QrcIntVarArray arrayOf(QrcManagerI* m, const Vars& x) {
  QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(x.size()));
  for (size_t i = 0; i < x.size(); ++i) a.set(static_cast<QrcInt>(i), QrcIntExp(x[i]));
  return a;
}

// An array with the values given, or a missing one (an empty handle).
struct Given {
  bool present;
  Ints values;
  QrcIntArray on(QrcManagerI* m) const {
    return present ? QrcIntArray(QrcManager(m), static_cast<QrcInt>(values.size()), values.data())
                   : QrcIntArray();
  }
};
const Given Missing = {false, {}};
const Given None = {true, {}};

struct Automaton {
  QrcInt states;
  Ints T;
  Given finals, alphabet;
  bool accepts(const Word& w) const {
    const Ints& alpha = alphabet.values;
    QrcInt m = static_cast<QrcInt>(alpha.size()), q = 0;
    for (int64_t v : w) {
      auto it = std::find(alpha.begin(), alpha.end(), v);
      if (it == alpha.end()) return false;
      q = T[static_cast<size_t>(q * m + (it - alpha.begin()))];
      if (q < 0) return false;
    }
    if (!finals.present) return true;
    return std::find(finals.values.begin(), finals.values.end(), q) != finals.values.end();
  }
};

int64_t largestOf(const std::vector<Word>& values) {
  int64_t best = -1;
  for (size_t i = 0; i < values.size(); ++i) {
    int64_t v = *std::max_element(values[i].begin(), values[i].end());
    if (i == 0 || v > best) best = v;
  }
  return best;
}

void runCase(const std::string& name, uint64_t seed, const std::vector<Word>& values,
             std::function<void(QrcManagerI*, const Vars&)> post,
             std::function<bool(const Word&)> check) {
  PropCase c;
  c.name = name;
  c.seed = seed;
  c.values = values;
  c.post = post;
  c.check = check;
  c.level = qrotest::Consistency::Domain;
  c.narrowRuns = 20;
  qrotest::runPropCase(c);
}

// Random automata over domains within -1..3, whose alphabet (0..2 in some
// order, or a part of it) leaves some of the domains' values out; the final
// states given, given without entries or missing; the alphabet given with or
// without entries.
TEST(AutomatonEdges, RegularArraysGivenEmptyOrMissing) {
  for (uint64_t k = 0; k < 24; ++k) {
    uint64_t seed = qrotest::caseSeed(5700 + k);
    Rng rng(seed);
    size_t n = 1 + static_cast<size_t>(rng() % 4);
    std::vector<Word> values = qrotest::randomDomains(rng, static_cast<int>(n), -1, 3, 4);
    Automaton a;
    a.states = 1 + static_cast<QrcInt>(rng() % 3);
    const Given finalsChoice[] = {Missing, None, {true, {0}}, {true, {a.states - 1}}};
    a.finals = finalsChoice[k % 4];
    Ints alpha = {0, 1, 2};
    std::shuffle(alpha.begin(), alpha.end(), rng);
    alpha.resize(1 + rng() % 3);
    // (A missing alphabet follows the domains at posting, which the harness
    // also fixes before posting.)
    const Given alphabetChoice[] = {{true, alpha}, None};
    a.alphabet = alphabetChoice[(k / 4) % 2];
    QrcInt m = static_cast<QrcInt>(a.alphabet.values.size());
    for (QrcInt i = 0; i < a.states * m; ++i)
      a.T.push_back(rng() % 5 == 0 ? -1
                                   : static_cast<QrcInt>(rng() % static_cast<uint64_t>(a.states)));
    runCase(
        "regular " + std::to_string(k), seed, values,
        [a](QrcManagerI* m, const Vars& x) {
          QrcIntArray T(QrcManager(m), static_cast<QrcInt>(a.T.size()), a.T.data());
          m->add(
              QrcRegular(arrayOf(m, x), a.states, T, a.finals.on(m), a.alphabet.on(m)).getImpl());
        },
        [a](const Word& w) { return a.accepts(w); });
  }
}

class AutomatonEdgeTest : public ctest::ConstraintTest {};

TEST_F(AutomatonEdgeTest, EmptyWordAndEmptyArrays) {
  QrcIntArray T = ints({0, 0});
  // No variables: the empty word ends in the initial state.
  EXPECT_TRUE(adds(QrcRegular(QrcIntVarArray(mgr, 0), 1, T, QrcIntArray(), ints({4, 5}))));
  EXPECT_FALSE(adds(QrcRegular(QrcIntVarArray(mgr, 0), 1, T, ints({}), ints({4, 5}))));
  EXPECT_TRUE(adds(QrcRegular(QrcIntVarArray(mgr, 0), 1, ints({}), QrcIntArray(), ints({}))));
  // An empty alphabet spells no word of one letter or more.
  EXPECT_FALSE(
      adds(QrcRegular(QrcIntVarArray(mgr, 2, 0, 1), 1, ints({}), QrcIntArray(), ints({}))));
}

// Stretch over domains within -2..3 and values {2, -1, 0}, given without
// entries, or missing (values 0..the largest maximum); lengths in -1..n+1.
TEST(AutomatonEdges, StretchValuesGivenEmptyOrMissing) {
  for (uint64_t k = 0; k < 18; ++k) {
    uint64_t seed = qrotest::caseSeed(5750 + k);
    Rng rng(seed);
    int n = 1 + static_cast<int>(rng() % 5);
    std::vector<Word> values = qrotest::randomDomains(rng, n, -2, 3, 4);
    const Given choice[] = {{true, {2, -1, 0}}, None, Missing};
    Given given = choice[k % 3];
    Ints vals = given.values;
    if (!given.present)
      for (QrcInt v = 0; v <= largestOf(values); ++v) vals.push_back(v);
    Ints lo, hi;
    for (size_t j = 0; j < vals.size(); ++j) {
      lo.push_back(static_cast<QrcInt>(rng() % static_cast<uint64_t>(n + 2)) - 1);
      hi.push_back(lo.back() + static_cast<QrcInt>(rng() % static_cast<uint64_t>(n + 1)));
    }
    runCase(
        "stretch " + std::to_string(k), seed, values,
        [=](QrcManagerI* m, const Vars& x) {
          Given l = {true, lo}, h = {true, hi};
          m->add(QrcStretch(arrayOf(m, x), l.on(m), h.on(m), given.on(m)).getImpl());
        },
        [=](const Word& w) {
          for (size_t i = 0; i < w.size();) {
            size_t j = i;
            while (j < w.size() && w[j] == w[i]) ++j;
            auto it = std::find(vals.begin(), vals.end(), w[i]);
            if (it == vals.end()) return false;
            size_t v = static_cast<size_t>(it - vals.begin());
            QrcInt length = static_cast<QrcInt>(j - i);
            // A longest length of n or more bounds nothing.
            if (length < lo[v] || (hi[v] < n && length > hi[v])) return false;
            i = j;
          }
          return true;
        });
  }
}

// Automata have no opposite and no truth to watch: negating one, or reading
// its truth as a 0-1 expression, is reported.
TEST_F(AutomatonEdgeTest, NegatedAndReifiedFormsAreReported) {
  QrcIntVarArray x(mgr, 3, 0, 2);
  QrcTupleSet patterns(mgr, 2);
  QrcInt p[] = {0, 1};
  patterns.add(QrcIntArray(mgr, 2, p));
  patterns.close();
  std::vector<QrcConstraint> automata = {
      QrcRegular(x, 1, ints({0, 0, 0}), QrcIntArray(), QrcIntArray()),
      QrcStretch(x, ints({1, 1, 1}), ints({2, 2, 2}), QrcIntArray()),
      QrcPattern(x, patterns, -1),
  };
  for (const QrcConstraint& ct : automata) {
    std::string line;
    EXPECT_EQ(errorOf([&] { !ct; }, &line), 40);
    EXPECT_NE(line.find("constraint without opposite"), std::string::npos) << line;
    QrcIntExpI* b = var(0, 1);
    EXPECT_EQ(errorOf([&] { adds(QrcIntExp(b) == QrcIntExp(ct)); }, &line), 41);
    EXPECT_NE(line.find("constraint without metaPostDemon"), std::string::npos) << line;
  }
}

}  // namespace
