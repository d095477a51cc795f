// The sequence constraint at level 3 links each window with the window one
// position to the right. The links listen before they narrow, so that the
// narrowing of a link made at posting reaches its own demons: their rules hold
// at every fixpoint. Brute force over variables tied by equalities posted
// before the sequence, the same variable at two positions, and expressions.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "qrcfail.h"
#include "qrcintcompare.h"
#include "qrcsequence.h"
#include "support/harness.h"

namespace {

typedef std::vector<int64_t> V;
using qrotest::PropCase;
using qrotest::Vars;

QrcIntVarArray slice(QrcManagerI* m, const Vars& v, const std::vector<size_t>& at) {
  QrcIntVarArray a(QrcManager(m), static_cast<QrcInt>(at.size()));
  for (size_t k = 0; k < at.size(); ++k) a.set(static_cast<QrcInt>(k), QrcIntExp(v[at[k]]));
  return a;
}

bool in(const V& listed, int64_t v) {
  for (int64_t u : listed)
    if (u == v) return true;
  return false;
}

// Whether a window's abstracted variable is out (bound to the window's value)
// or may be.
bool out(const QrcSequenceWindow& w, QrcInt i) {
  QrcIntExpI* y = w.ys->getVar(i);
  return y->isBound() && y->getMin() == w.d;
}
bool canBeOut(const QrcSequenceWindow& w, QrcInt i) {
  return w.ys->getVar(i)->isInDomain(w.d);
}

// The rules of the link between window a and window b (a shifted one to the
// right) at a fixpoint: a text naming the first one that does not hold, else
// empty. delta = out(a) - out(b) lies within [-1, 0], [0, 1] or [-1, 1] by
// the windows' sizes, less the values the window ends exclude, and the
// out-counts are bounds consistent with it; a delta that is known decides
// the window ends.
std::string linkRule(const QrcSequenceWindow& a, const QrcSequenceWindow& b) {
  QrcInt diff = a.ys->getSize() - b.ys->getSize();
  if (diff < -1 || diff > 1) return "";
  QrcInt last = b.ys->getSize() - 1;
  bool firstOut = out(a, 0), firstCan = canBeOut(a, 0);
  bool lastOut = out(b, last), lastCan = canBeOut(b, last);
  bool allowed[3] = {diff <= 0, true, diff >= 0};  // delta -1, 0, 1
  if (diff == -1) {
    if (!lastCan) allowed[0] = false;
    if (lastOut) allowed[1] = false;
  } else if (diff == 1) {
    if (!firstCan) allowed[2] = false;
    if (firstOut) allowed[1] = false;
  } else {
    if (firstOut) allowed[0] = false;
    if (!firstCan) allowed[2] = false;
    if (lastOut) allowed[2] = false;
    if (!lastCan) allowed[0] = false;
  }
  QrcInt lo = 2, hi = -2;
  for (QrcInt d = -1; d <= 1; ++d)
    if (allowed[d + 1]) lo = std::min(lo, d), hi = std::max(hi, d);
  QrcIntExpI* p = a.out;
  QrcIntExpI* q = b.out;
  if (lo > hi) return "no delta left";
  if (p->getMin() < q->getMin() + lo || p->getMax() > q->getMax() + hi ||
      q->getMin() < p->getMin() - hi || q->getMax() > p->getMax() - lo)
    return "out-counts wider than delta in [" + std::to_string(lo) + ", " + std::to_string(hi) +
           "]";
  if (!p->isBound() || !q->isBound()) return "";
  QrcInt delta = p->getMin() - q->getMin();
  if (diff == -1) {
    if (delta == -1 && !lastOut) return "delta -1, last not out";
    if (delta == 0 && lastCan) return "delta 0, last may be out";
  } else if (diff == 1) {
    if (delta == 1 && !firstOut) return "delta 1, first not out";
    if (delta == 0 && firstCan) return "delta 0, first may be out";
  } else {
    if (delta == -1 && (firstCan || !lastOut)) return "delta -1";
    if (delta == 1 && (!firstOut || lastCan)) return "delta 1";
    if (delta == 0 && (firstOut != lastOut || firstCan != lastCan)) return "delta 0";
  }
  return "";
}

// Every link pair, in the order the constraint installs them.
std::string linkRules(QrcSequenceConstraintI* ct, QrcInt w) {
  std::string failed;
  auto pair = [&](QrcInt s, QrcInt i, QrcInt t, QrcInt j) {
    std::string r = linkRule(ct->getWindow(s, i), ct->getWindow(t, j));
    if (!r.empty() && failed.empty())
      failed = "phase " + std::to_string(s) + " window " + std::to_string(i) + ": " + r;
  };
  for (QrcInt k = 0; k + 1 < ct->getWindowCount(1) && k < ct->getWindowCount(0); ++k)
    pair(0, k, 1, k + 1);
  for (QrcInt t = 1; t + 1 < w; ++t)
    for (QrcInt k = 0; k < ct->getWindowCount(t + 1) && k < ct->getWindowCount(t); ++k)
      pair(t, k, t + 1, k);
  for (QrcInt k = 0; k < ct->getWindowCount(0) && k < ct->getWindowCount(w - 1); ++k)
    pair(w - 1, k, 0, k);
  return failed;
}

// At the fixpoint after posting, and after each of a series of random
// narrowings of x, the link rules hold; also when level 3 is set on a posted
// sequence after narrowings, where the links meet windows whose ends and
// out-counts are already decided.
TEST(SequenceLinks, RulesHoldAtEveryFixpoint) {
  qrotest::Rng rng(qrotest::caseSeed(6700));
  int violations = 0;
  for (int round = 0; round < 600 && violations < 5; ++round) {
    QrcManager mgr(QrcNoEdit);
    mgr.useExceptions();
    QrcManagerI* m = mgr.getImpl();
    QrcInt w = 2 + static_cast<QrcInt>(rng() % 3);
    QrcInt n = w + static_cast<QrcInt>(rng() % 4);
    QrcInt lo = static_cast<QrcInt>(rng() % 2), hi = lo + static_cast<QrcInt>(rng() % 3);
    bool late = round % 2 == 1;
    QrcIntVarArray x(mgr, n);
    for (QrcInt i = 0; i < n; ++i) {
      QrcInt a = static_cast<QrcInt>(rng() % 3), b = a + static_cast<QrcInt>(rng() % 3);
      x.set(i, QrcIntVar(mgr, a, b));
    }
    QrcIntVarArray cards(mgr, 1);
    cards.set(0, QrcIntVar(mgr, 0, n));
    QrcConstraint seq = QrcSequence(lo, hi, w, x, QrcIntArray(mgr, 1, QrcInt(1)), cards);
    auto* ct = static_cast<QrcSequenceConstraintI*>(seq.getImpl());
    auto narrow = [&] {
      QrcIntExpI* v = x[static_cast<QrcInt>(rng() % static_cast<uint64_t>(n))].getImpl();
      if (!v->isBound()) v->setValue(v->getMin() + static_cast<QrcInt>(rng() % 2));
    };
    try {
      if (!late) ct->setFilterLevel(QrcFullFilterLevel);
      m->add(ct);
      if (late) {
        for (int step = 0; step < 3; ++step) narrow();
        ct->setFilterLevel(QrcFullFilterLevel);
      }
      std::string r = linkRules(ct, w);
      for (int step = 0; step < 6 && r.empty(); ++step) {
        narrow();
        r = linkRules(ct, w);
      }
      if (!r.empty()) {
        ++violations;
        ADD_FAILURE() << "round " << round << " n " << n << " w " << w << " lo " << lo << " hi "
                      << hi << (late ? " level 3 set late" : "") << ": " << r;
      }
    } catch (const QrcFailException&) {
    }
    mgr.end();
  }
}

// Positions 0..n-1 of x over the variables at `at`, then one card per
// listed value; at repeats a variable (shape 1), or names variables that an
// equality posted before the sequence ties to their neighbour (shape 2).
PropCase sequenceCase(qrotest::Rng& rng, QrcInt level, int shape) {
  PropCase c;
  c.seed = rng();
  int w = 2 + static_cast<int>(rng() % 2);
  size_t n = static_cast<size_t>(w) + rng() % 3;
  QrcInt lo = static_cast<QrcInt>(rng() % 2), hi = lo + static_cast<QrcInt>(rng() % 2);
  V listed = rng() % 2 ? V{1} : V{0, 2};
  size_t k = listed.size();
  std::vector<size_t> at;
  for (size_t i = 0; i < n; ++i) at.push_back(i);
  size_t vars = n;
  if (shape == 1) at[n - 1] = 0, vars = n - 1;
  size_t tied = shape == 2 ? 1 + rng() % (n - 1) : 0;
  c.values = qrotest::randomDomains(rng, static_cast<int>(vars), 0, 2, 3);
  if (tied) c.values[tied] = c.values[tied - 1];
  for (size_t j = 0; j < k; ++j) c.values.push_back(qrotest::range(0, static_cast<int64_t>(n)));
  std::vector<size_t> cards;
  for (size_t j = 0; j < k; ++j) cards.push_back(vars + j);
  c.name = "sequence level " + std::to_string(level) + " shape " + std::to_string(shape) + " n " +
           std::to_string(n) + " w " + std::to_string(w);
  c.notReified = "a sequence has no opposite";
  auto sequence = [=](QrcManagerI* m, const Vars& v) {
    QrcIntArray values(QrcManager(m), static_cast<QrcInt>(k), listed.data());
    QrcConstraint ct = QrcSequence(lo, hi, w, slice(m, v, at), values, slice(m, v, cards));
    ct.getImpl()->setFilterLevel(level);
    return ct.getImpl();
  };
  if (tied)
    c.post = [=](QrcManagerI* m, const Vars& v) {
      m->add((QrcIntExp(v[tied]) == QrcIntExp(v[tied - 1])).getImpl());
      m->add(sequence(m, v));
    };
  else
    c.make = sequence;
  c.check = [=](const V& s) {
    if (tied && s[tied] != s[tied - 1]) return false;
    for (size_t f = 0; f + static_cast<size_t>(w) <= n; ++f) {
      QrcInt count = 0;
      for (size_t i = f; i < f + static_cast<size_t>(w); ++i) count += in(listed, s[at[i]]);
      if (count < lo || count > hi) return false;
    }
    for (size_t j = 0; j < k; ++j) {
      int64_t count = 0;
      for (size_t i = 0; i < n; ++i) count += s[at[i]] == listed[j];
      if (s[cards[j]] != count) return false;
    }
    return true;
  };
  c.narrowRuns = 25;
  return c;
}

TEST(SequenceLinks, AgainstBruteForce) {
  qrotest::Rng rng(qrotest::caseSeed(6800));
  for (int round = 0; round < 4; ++round)
    for (QrcInt level : {QrcLowFilterLevel, QrcFullFilterLevel})
      for (int shape = 0; shape < 3; ++shape) {
        PropCase c = sequenceCase(rng, level, shape);
        EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
        if (shape == 0) {
          EXPECT_EQ(qrotest::runElementForms(c, 2), 0) << c.name;
        }
      }
}

}  // namespace
