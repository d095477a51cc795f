// The delta a domain demon reads, by ranges and value by value, against the
// values each step really took, over every form a domain takes: no set yet,
// bits over one word or across words (negative values, word boundaries,
// holes), a collection, and holes over a wide span.
#include <random>
#include <set>
#include <vector>

#include "int_fixtures.h"
#include "support/seed.h"

namespace inttest {
namespace {

std::vector<QrcInt>& byRanges() {
  static std::vector<QrcInt> v;
  return v;
}

std::vector<QrcInt>& byValues() {
  static std::vector<QrcInt> v;
  return v;
}

void recordDelta(TextDemon* d) {
  QrcIntVarDeltaIterator ranges(d->getVar());
  QrcInt a, b;
  while (ranges.nextRange(a, b)) {
    if (a > b) byRanges().push_back(-999999);  // never a value of the cases
    for (QrcInt v = a; v <= b; ++v) byRanges().push_back(v);
  }
  QrcIntVarDeltaIterator values(d->getVar());
  QrcInt v;
  while (values.next(v)) byValues().push_back(v);
}

std::set<QrcInt> domainOf(QrcIntExpI* x, QrcInt lo, QrcInt hi) {
  std::set<QrcInt> s;
  for (QrcInt v = lo; v <= hi; ++v)
    if (x->isInDomain(v)) s.insert(v);
  return s;
}

TEST_F(IntTest, DeltaByRangesGivesExactlyTheLostValuesOnEveryDomainForm) {
  uint64_t seed = qrotest::seedOr(57);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (replay with --qro_seed=" + std::to_string(seed) +
               ")");
  std::mt19937_64 rng(seed);
  struct Case {
    QrcInt lo, hi, step;  // values lo, lo + step, ... up to hi
    QrcInt probe;         // the values looked at: [lo, lo + probe]
  };
  const Case cases[] = {
      {-5, 9, 1, 14},      {0, 63, 1, 63},     {0, 64, 1, 64},
      {-64, 63, 1, 127},   {-130, 70, 1, 200}, {-20, 200, 1, 220},
      {-300, 300, 3, 600}, {-7, 119, 2, 126},  {0, QrcInt(1) << 20, 1, 300},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("domain " + std::to_string(c.lo) + ".." + std::to_string(c.hi) + " step " +
                 std::to_string(c.step));
    QrcInt top = c.lo + c.probe;
    for (int round = 0; round < 60; ++round) {
      m->pushState();
      QrcIntExpI* x;
      if (c.step == 1) {
        x = var(c.lo, c.hi);
      } else {
        std::vector<QrcInt> values;
        for (QrcInt v = c.lo; v <= c.hi; v += c.step) values.push_back(v);
        x = new (m) QrcIntExpI(m, static_cast<QrcInt>(values.size()), values.data(), nullptr);
      }
      auto pick = [&] { return c.lo + static_cast<QrcInt>(rng() % (c.probe + 1)); };
      try {
        if (c.hi > top) {
          // Held as holes from the first one on, then narrowed to the values
          // looked at, before the demon reads deltas (a million values lost).
          x->removeValue(top + 5);
          x->setMax(top);
        }
        x->whenDomain(new (m) TextDemon(m, "", x, recordDelta));
        // Holes before the step (not for the first rounds: no set yet).
        for (int h = round < 5 ? 0 : static_cast<int>(rng() % 12); h > 0; --h) {
          QrcInt v = pick();
          if (rng() % 3)
            x->removeValue(v);
          else
            x->removeRange(v, v + static_cast<QrcInt>(rng() % 4));
        }
        std::set<QrcInt> before = domainOf(x, c.lo, top);
        byRanges().clear();
        byValues().clear();
        QrcPropagationQueueI* q = m->getPropagationQueue();
        q->enter();
        for (int k = 1 + static_cast<int>(rng() % 3); k > 0; --k) {
          QrcInt a = pick(), b = a + static_cast<QrcInt>(rng() % 70);
          switch (rng() % 5) {
            case 0:
              x->setMin(a);
              break;
            case 1:
              x->setMax(b);
              break;
            case 2:
              x->setValue(x->getMin() + static_cast<QrcInt>(rng() % 3));
              break;
            case 3:
              x->removeValue(a);
              break;
            default:
              x->removeRange(a, a + static_cast<QrcInt>(rng() % 5));
              break;
          }
        }
        q->leave();
        std::set<QrcInt> after = domainOf(x, c.lo, top);
        std::vector<QrcInt> lost;
        for (QrcInt v : before)
          if (!after.count(v)) lost.push_back(v);
        std::vector<QrcInt> seen = byValues();
        EXPECT_EQ(byRanges(), seen) << "round " << round;
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(seen, lost) << "round " << round;
      } catch (QrcFailException&) {
        m->getPropagationQueue()->clear();
      }
      m->popState();
    }
  }
}

}  // namespace
}  // namespace inttest
