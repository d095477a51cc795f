// Intersection, unions, partitions and pairwise disjointness against brute
// force through the harness: 2 to 4 set variables over universes of up to 4
// values with random pre-narrowing of P, R and the cardinality, at every
// filter level a relation accepts, alone and joined to a second constraint.
// Every level must find exactly the checker's solutions, so the solutions do
// not depend on the level.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "qrcfail.h"
#include "qrcintcompare.h"
#include "qrcintsetcst.h"
#include "qrcsetcomposition.h"
#include "support/harness.h"
#include "support/seed.h"
#include "support/setkind.h"

namespace {

using qrotest::pop;

using qrotest::PropCase;
using qrotest::Vars;

typedef std::vector<int64_t> A;

// Narrowing of a set operand before the relation is posted.
struct Narrowing {
  int64_t required = 0;
  int64_t possible = 0;
  int64_t cardMin = 0;
  int64_t cardMax = 0;
  bool consistent(int64_t m) const {
    return (m & required) == required && (m & ~possible) == 0 && pop(m) >= cardMin &&
           pop(m) <= cardMax;
  }
  // P once the set variable has applied the cardinality (at |R| every
  // undecided value leaves).
  int64_t effectivePossible() const { return cardMax <= pop(required) ? required : possible; }
};

struct Instance {
  std::vector<int> universe;
  std::vector<Narrowing> narrowing;
  // Operand positions of the rows whose operands may coincide.
  std::vector<int> operand;
  // The explicit universe of a partition (values 0..4, some outside every set).
  int64_t values = 0;
  // The second constraint of the joined form: other in s.
  int64_t other = 0;
};

struct Row {
  const char* name;
  // Number of set variables (-1: 2 to 4 at random).
  int sets;
  // Operands drawn with repetitions among this many variables (0: none).
  int operands;
  bool levels;
  std::function<QrcConstraint(const std::vector<QrcIntSetVar>&, const Instance&)> make;
  std::function<bool(const A&, const Instance&)> holds;
};

int64_t unionOf(const A& x, size_t from) {
  int64_t u = 0;
  for (size_t i = from; i < x.size(); ++i) u |= x[i];
  return u;
}

bool disjoint(const A& x, size_t from) {
  int64_t seen = 0;
  for (size_t i = from; i < x.size(); ++i) {
    if (seen & x[i]) return false;
    seen |= x[i];
  }
  return true;
}

// Each value of `values` lies in exactly one set.
bool partitions(const A& x, int64_t values) {
  for (int v = 0; v < 62; ++v) {
    if (!((values >> v) & 1)) continue;
    int in = 0;
    for (int64_t m : x) in += (m >> v) & 1;
    if (in != 1) return false;
  }
  return true;
}

QrcIntSetVarArray arrayOf(const std::vector<QrcIntSetVar>& s, size_t from) {
  QrcManagerI* m = s[0].getImpl()->getManager();
  QrcIntSetVarArrayI* a = new (m) QrcIntSetVarArrayI(m, static_cast<QrcInt>(s.size() - from));
  for (size_t i = from; i < s.size(); ++i)
    a->elementAt(static_cast<QrcInt>(i - from)) = s[i].getImpl();
  return QrcIntSetVarArray(a);
}

// The members of a mask, decreasing (the universe is sorted by the partition).
QrcIntArray valuesOf(const std::vector<QrcIntSetVar>& s, int64_t mask) {
  std::vector<QrcInt> v;
  for (QrcInt k = 5; k >= 0; --k)
    if ((mask >> k) & 1) v.push_back(k);
  QrcManager m(s[0].getImpl()->getManager());
  return QrcIntArray(m, static_cast<QrcInt>(v.size()), v.data());
}

std::vector<Row> rows() {
  typedef const std::vector<QrcIntSetVar>& S;
  typedef const A& X;
  typedef const Instance& I;
  auto op = [](I in, int k) { return static_cast<size_t>(in.operand[static_cast<size_t>(k)]); };
  return {
      {"s == a intersect b", 3, 3, false,
       [op](S s, I in) { return QrcEqIntersection(s[op(in, 0)], s[op(in, 1)], s[op(in, 2)]); },
       [op](X x, I in) { return x[op(in, 0)] == (x[op(in, 1)] & x[op(in, 2)]); }},
      {"s == a union b", 3, 3, true,
       [op](S s, I in) { return QrcEqUnion(s[op(in, 0)], s[op(in, 1)], s[op(in, 2)]); },
       [op](X x, I in) { return x[op(in, 0)] == (x[op(in, 1)] | x[op(in, 2)]); }},
      {"s == a union b, i == a intersect b", 4, 4, true,
       [op](S s, I in) {
         return QrcEqUnion(s[op(in, 0)], s[op(in, 1)], s[op(in, 2)], s[op(in, 3)]);
       },
       [op](X x, I in) {
         int64_t a = x[op(in, 1)], b = x[op(in, 2)];
         return x[op(in, 0)] == (a | b) && x[op(in, 3)] == (a & b);
       }},
      {"s == union of array", -1, 0, false, [](S s, I) { return QrcEqUnion(s[0], arrayOf(s, 1)); },
       [](X x, I) { return x[0] == unionOf(x, 1); }},
      // The universe every possible value (as the one-argument form makes it
      // when posted first; fixed first, the union is smaller and the sets split).
      {"partition of the possible values", -1, 0, true,
       [](S s, I in) {
         int64_t all = 0;
         for (const Narrowing& w : in.narrowing) all |= w.effectivePossible();
         return QrcPartition(arrayOf(s, 0), valuesOf(s, all));
       },
       [](X x, I in) {
         int64_t all = 0;
         for (const Narrowing& w : in.narrowing) all |= w.effectivePossible();
         return partitions(x, all);
       }},
      {"partition of a universe", -1, 0, true,
       [](S s, I in) { return QrcPartition(arrayOf(s, 0), valuesOf(s, in.values)); },
       [](X x, I in) { return partitions(x, in.values); }},
      {"pairwise disjoint", -1, 0, true, [](S s, I) { return QrcAllNullIntersect(arrayOf(s, 0)); },
       [](X x, I) { return disjoint(x, 0); }},
      {"disjoint union", -1, 0, false, [](S s, I) { return QrcDisjointUnion(s[0], arrayOf(s, 1)); },
       [](X x, I) { return disjoint(x, 1) && x[0] == unionOf(x, 1); }},
  };
}

Instance randomInstance(const Row& row, qrotest::Rng& rng) {
  Instance in;
  int count = row.sets > 0 ? row.sets : 2 + static_cast<int>(rng() % 3);
  if (row.operands) {
    // Operands among `count` variables, coinciding now and then; the
    // variables no operand uses are dropped.
    std::vector<int> pick;
    for (int k = 0; k < row.operands; ++k)
      pick.push_back(rng() % 3 ? k : static_cast<int>(rng() % static_cast<uint64_t>(k + 1)));
    std::vector<int> index(static_cast<size_t>(row.operands), -1);
    count = 0;
    for (int p : pick) {
      if (index[static_cast<size_t>(p)] < 0) index[static_cast<size_t>(p)] = count++;
      in.operand.push_back(index[static_cast<size_t>(p)]);
    }
  }
  int shared = 1 + static_cast<int>(rng() % 4);
  for (int i = 0; i < count; ++i) {
    int n = rng() % 3 ? shared : 1 + static_cast<int>(rng() % 4);
    int64_t full = (int64_t(1) << n) - 1;
    in.universe.push_back(n);
    Narrowing w;
    w.possible = full;
    w.cardMax = n;
    if (rng() % 2) {
      int64_t keep = static_cast<int64_t>(rng()) & full;
      w.required = keep & static_cast<int64_t>(rng()) & static_cast<int64_t>(rng());
      w.possible = (keep | static_cast<int64_t>(rng())) & full;
      w.cardMin = static_cast<int64_t>(rng() % static_cast<uint64_t>(pop(keep) + 1));
      w.cardMax =
          pop(keep) + static_cast<int64_t>(rng() % static_cast<uint64_t>(n - pop(keep) + 1));
    }
    in.narrowing.push_back(w);
  }
  in.values = static_cast<int64_t>(rng() % 32);
  in.other = static_cast<int64_t>(rng() % 4);
  return in;
}

// The row over the harness variables, narrowed first, at a level (-1: none),
// joined to `other in s0` when `joined`.
PropCase caseOf(const Row& row, const Instance& in, QrcInt level, bool joined, uint64_t seed) {
  PropCase c;
  c.name = std::string(joined ? "other && " : "") + row.name + " at level " + std::to_string(level);
  c.seed = seed;
  c.narrowRuns = 30;
  c.samples = 600;
  for (int n : in.universe) {
    c.values.push_back(qrotest::subsets(n));
    c.kinds.push_back(&qrotest::intSetKind());
  }
  c.post = [row, in, level, joined](QrcManagerI* m, const Vars& v) {
    std::vector<QrcIntSetVar> s;
    for (size_t i = 0; i < in.universe.size(); ++i) {
      QrcIntSetVarI* x = qrotest::setVarOf(v, i);
      const Narrowing& w = in.narrowing[i];
      for (QrcInt k = 0; k < in.universe[i]; ++k) {
        if ((w.required >> k) & 1) x->addRequired(k);
        if (!((w.possible >> k) & 1)) x->removePossible(k);
      }
      x->getCardinality()->setRange(w.cardMin, w.cardMax);
      s.push_back(QrcIntSetVar(x));
    }
    QrcConstraint ct = row.make(s, in);
    if (level >= 0) ct.getImpl()->setFilterLevel(level);
    if (joined) ct = QrcMember(in.other, s[0]) && ct;
    m->add(ct.getImpl());
  };
  c.check = [row, in, joined](const A& x) {
    for (size_t i = 0; i < x.size(); ++i)
      if (!in.narrowing[i].consistent(x[i])) return false;
    if (joined && !((x[0] >> in.other) & 1)) return false;
    return row.holds(x, in);
  };
  return c;
}

// Four rounds per row, ten with QRO_TEST_FULL=1.
TEST(SetCompositionHarness, EveryLevelFindsExactlyTheCheckersSolutions) {
  std::vector<Row> table = rows();
  const int rounds = qrotest::draws(4, 10);
  for (size_t r = 0; r < table.size(); ++r) {
    for (int round = 0; round < rounds; ++round) {
      uint64_t seed = qrotest::caseSeed(8100 + 10 * r + static_cast<uint64_t>(round));
      qrotest::Rng rng(seed);
      Instance in = randomInstance(table[r], rng);
      std::vector<QrcInt> levels = {-1};
      if (table[r].levels) levels = {0, 1, 2, 3};
      for (QrcInt level : levels) {
        for (bool joined : {false, true}) {
          PropCase c = caseOf(table[r], in, level, joined, seed);
          ASSERT_EQ(qrotest::runPropCase(c), 0) << c.name << " seed " << seed;
        }
      }
    }
  }
}

}  // namespace
