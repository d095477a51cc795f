// Set relations against brute force: every relation and each shape of its
// reified forms (its opposite, its truth and its opposite's equal to a 0-1
// variable, joined to a second constraint by every connective), over
// universes of up to 4 values with random pre-narrowing of P, R and the
// cardinality, through the harness; every domain state of small sets; the
// truth decided once all is bound; and copies into a second manager that
// propagate like the relations copied.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "qrcfail.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintsetcst.h"
#include "support/call_goal.h"
#include "support/harness.h"
#include "support/setkind.h"

namespace {

using qrotest::bit;
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
};

// One random instance of a row: universes [0, n - 1] of the set operands,
// their narrowings, the constant set (values 0..5, so that some lie outside
// every universe), the constant value and the integer domains.
struct Instance {
  std::vector<int> universe;
  std::vector<Narrowing> narrowing;
  int64_t constant = 0;
  bool rangeConstant = false;
  int64_t value = 0;
  std::vector<A> ints;
};

// What a row's maker receives.
struct Operands {
  QrcManagerI* m;
  std::vector<QrcIntSetVar> sets;
  std::vector<QrcIntExp> ints;
  QrcIntSet c;
  QrcInt v;
};

struct Row {
  const char* name;
  int sets;
  int ints;
  std::function<QrcConstraint(const Operands&)> make;
  // Over the set masks then the integer values.
  std::function<bool(const A&, const Instance&)> holds;
};

bool subset(int64_t a, int64_t b) {
  return (a & ~b) == 0;
}

std::vector<Row> rows() {
  typedef const Operands& O;
  typedef const A& V;
  typedef const Instance& I;
  return {
      {"a == b", 2, 0, [](O o) { return o.sets[0] == o.sets[1]; },
       [](V x, I) { return x[0] == x[1]; }},
      {"a != b", 2, 0, [](O o) { return o.sets[0] != o.sets[1]; },
       [](V x, I) { return x[0] != x[1]; }},
      {"s == c", 1, 0, [](O o) { return o.sets[0] == o.c; },
       [](V x, I in) { return x[0] == in.constant; }},
      {"s != c", 1, 0, [](O o) { return o.sets[0] != o.c; },
       [](V x, I in) { return x[0] != in.constant; }},
      {"a subseteq b", 2, 0, [](O o) { return QrcSubsetEq(o.sets[0], o.sets[1]); },
       [](V x, I) { return subset(x[0], x[1]); }},
      {"c subseteq s", 1, 0, [](O o) { return QrcSubsetEq(o.c, o.sets[0]); },
       [](V x, I in) { return subset(in.constant, x[0]); }},
      {"s subseteq c", 1, 0, [](O o) { return QrcSubsetEq(o.sets[0], o.c); },
       [](V x, I in) { return subset(x[0], in.constant); }},
      {"a subset b", 2, 0, [](O o) { return QrcSubset(o.sets[0], o.sets[1]); },
       [](V x, I) { return subset(x[0], x[1]) && x[0] != x[1]; }},
      {"c subset s", 1, 0, [](O o) { return QrcSubset(o.c, o.sets[0]); },
       [](V x, I in) { return subset(in.constant, x[0]) && x[0] != in.constant; }},
      {"s subset c", 1, 0, [](O o) { return QrcSubset(o.sets[0], o.c); },
       [](V x, I in) { return subset(x[0], in.constant) && x[0] != in.constant; }},
      {"x in s", 1, 1, [](O o) { return QrcMember(o.ints[0], o.sets[0]); },
       [](V x, I) { return bit(x[0], x[1]); }},
      {"x not in s", 1, 1, [](O o) { return QrcNotMember(o.ints[0], o.sets[0]); },
       [](V x, I) { return !bit(x[0], x[1]); }},
      {"y + z in s", 1, 2, [](O o) { return QrcMember(o.ints[0] + o.ints[1], o.sets[0]); },
       [](V x, I) { return bit(x[0], x[1] + x[2]); }},
      {"y - z not in s", 1, 2, [](O o) { return QrcNotMember(o.ints[0] - o.ints[1], o.sets[0]); },
       [](V x, I) { return !bit(x[0], x[1] - x[2]); }},
      {"v in s", 1, 0, [](O o) { return QrcMember(o.v, o.sets[0]); },
       [](V x, I in) { return bit(x[0], in.value); }},
      {"v not in s", 1, 0, [](O o) { return QrcNotMember(o.v, o.sets[0]); },
       [](V x, I in) { return !bit(x[0], in.value); }},
      {"a, b disjoint", 2, 0, [](O o) { return QrcNullIntersect(o.sets[0], o.sets[1]); },
       [](V x, I) { return (x[0] & x[1]) == 0; }},
      {"s, c disjoint", 1, 0, [](O o) { return QrcNullIntersect(o.sets[0], o.c); },
       [](V x, I in) { return (x[0] & in.constant) == 0; }},
      {"a == a", 1, 0, [](O o) { return o.sets[0] == o.sets[0]; }, [](V, I) { return true; }},
      {"a != a", 1, 0, [](O o) { return o.sets[0] != o.sets[0]; }, [](V, I) { return false; }},
      {"a subseteq a", 1, 0, [](O o) { return QrcSubsetEq(o.sets[0], o.sets[0]); },
       [](V, I) { return true; }},
      {"a subset a", 1, 0, [](O o) { return QrcSubset(o.sets[0], o.sets[0]); },
       [](V, I) { return false; }},
      {"a, a disjoint", 1, 0, [](O o) { return QrcNullIntersect(o.sets[0], o.sets[0]); },
       [](V x, I) { return x[0] == 0; }},
  };
}

Instance randomInstance(const Row& row, qrotest::Rng& rng) {
  Instance in;
  int shared = 1 + static_cast<int>(rng() % 4);
  for (int i = 0; i < row.sets; ++i) {
    int n = rng() % 3 ? shared : 1 + static_cast<int>(rng() % 4);
    int64_t full = (int64_t(1) << n) - 1;
    in.universe.push_back(n);
    Narrowing w;
    w.possible = full;
    w.cardMax = n;
    if (rng() % 3) {
      int64_t keep = static_cast<int64_t>(rng()) & full;
      w.required = keep & static_cast<int64_t>(rng()) & static_cast<int64_t>(rng());
      w.possible = (keep | static_cast<int64_t>(rng())) & full;
      w.cardMin = static_cast<int64_t>(rng() % static_cast<uint64_t>(pop(keep) + 1));
      w.cardMax =
          pop(keep) + static_cast<int64_t>(rng() % static_cast<uint64_t>(n - pop(keep) + 1));
    }
    in.narrowing.push_back(w);
  }
  in.constant = rng() % 5 ? static_cast<int64_t>(rng() % 64) : 0;
  in.rangeConstant = rng() % 2;
  in.value = static_cast<int64_t>(rng() % 6) - 1;
  for (int i = 0; i < row.ints; ++i) in.ints.push_back(qrotest::randomDomains(rng, 1, -1, 4, 4)[0]);
  return in;
}

QrcIntSet constantSet(QrcManagerI* m, const Instance& in) {
  QrcManager h(m);
  if (in.constant == 0) return QrcIntSet(h, 1, 0, 1);
  std::vector<QrcInt> values;
  for (QrcInt v = 0; v < 6; ++v)
    if (bit(in.constant, v)) values.push_back(v);
  if (!in.rangeConstant)
    return QrcIntSet(h, QrcIntArray(h, static_cast<QrcInt>(values.size()), values.data()), 1);
  QrcIntSet c(h, values.front(), values.back(), 1);
  for (QrcInt v = values.front(); v <= values.back(); ++v)
    if (!bit(in.constant, v)) c.getImpl()->remove(v);
  return c;
}

// The operands over the harness variables (sets first), narrowed first.
Operands operandsOf(QrcManagerI* m, const Vars& v, const Row& row, const Instance& in) {
  Operands o{m, {}, {}, constantSet(m, in), in.value};
  for (int i = 0; i < row.sets; ++i) {
    QrcIntSetVarI* s = qrotest::setVarOf(v, static_cast<size_t>(i));
    const Narrowing& w = in.narrowing[static_cast<size_t>(i)];
    for (QrcInt k = 0; k < in.universe[static_cast<size_t>(i)]; ++k) {
      if (bit(w.required, k)) s->addRequired(k);
      if (!bit(w.possible, k)) s->removePossible(k);
    }
    s->getCardinality()->setRange(w.cardMin, w.cardMax);
    o.sets.push_back(QrcIntSetVar(s));
  }
  for (int i = 0; i < row.ints; ++i)
    o.ints.push_back(QrcIntExp(v[static_cast<size_t>(row.sets + i)]));
  return o;
}

PropCase caseOf(const Row& row, const Instance& in, uint64_t seed) {
  PropCase c;
  c.name = row.name;
  c.seed = seed;
  for (int i = 0; i < row.sets; ++i) {
    c.values.push_back(qrotest::subsets(in.universe[static_cast<size_t>(i)]));
    c.kinds.push_back(&qrotest::intSetKind());
  }
  for (const A& d : in.ints) c.values.push_back(d);
  c.make = [row, in](QrcManagerI* m, const Vars& v) {
    return row.make(operandsOf(m, v, row, in)).getImpl();
  };
  // The narrowings that operandsOf makes before the relation is stated.
  c.scope = [row, in](const A& x) {
    for (int i = 0; i < row.sets; ++i)
      if (!in.narrowing[static_cast<size_t>(i)].consistent(x[static_cast<size_t>(i)])) return false;
    return true;
  };
  auto scope = c.scope;
  c.check = [row, in, scope](const A& x) { return scope(x) && row.holds(x, in); };
  c.narrowRuns = 30;
  return c;
}

// Each relation, then each shape of its reified forms in a mode and timing
// drawn by the seed.
TEST(SetRelationsHarness, EveryRelationItsOppositeAndTruthAgainstBruteForce) {
  using qrotest::Shape;
  std::vector<Row> table = rows();
  for (size_t r = 0; r < table.size(); ++r) {
    for (int round = 0; round < 5; ++round) {
      uint64_t seed = qrotest::caseSeed(7100 + 10 * r + static_cast<uint64_t>(round));
      qrotest::Rng rng(seed);
      Instance in = randomInstance(table[r], rng);
      PropCase c = caseOf(table[r], in, seed);
      ASSERT_EQ(qrotest::runWithShapes(c, {Shape::Truth, Shape::OppositeTruth, Shape::Opposite,
                                           Shape::And, Shape::Or, Shape::Iff, Shape::Xor}),
                0)
          << c.name << " seed " << seed;
    }
  }
}

// ---------------------------------------------------------------- every state of small sets

using FnGoal = qrotest::CallGoal;

// A domain state of a set over [0, 2]: each value out, undecided or in.
struct State {
  int64_t required;
  int64_t possible;
};

std::vector<State> states() {
  std::vector<State> out;
  for (int code = 0; code < 27; ++code) {
    State st{0, 0};
    for (int v = 0, c = code; v < 3; ++v, c /= 3) {
      if (c % 3 >= 1) st.possible |= int64_t(1) << v;
      if (c % 3 == 2) st.required |= int64_t(1) << v;
    }
    out.push_back(st);
  }
  return out;
}

// For the relations over set operands and constants, from every pair of
// domain states of sets over [0, 2], reached before the posting or after it
// in a random order of single changes: no solution of the state is lost.
TEST(SetRelationsHarness, EveryDomainStateKeepsEverySolution) {
  std::vector<Row> table = rows();
  std::vector<State> all = states();
  uint64_t seed = qrotest::caseSeed(7300);
  qrotest::Rng rng(seed);
  int errors = 0;
  for (const Row& row : table) {
    if (row.ints) continue;
    Instance in = randomInstance(row, rng);
    for (size_t i = 0; i < in.universe.size(); ++i) {
      in.universe[i] = 3;
      in.narrowing[i] = Narrowing{0, 7, 0, 3};
    }
    in.value = static_cast<int64_t>(rng() % 5) - 1;
    QrcManager mgr(QrcNoEdit);
    QrcManagerI* m = mgr.getImpl();
    m->useExceptions(true);
    std::vector<QrcExprI*> vars;
    for (int i = 0; i < row.sets; ++i) vars.push_back(new (m) QrcIntSetVarI(m, 0, 2, nullptr));
    Vars v(vars);
    size_t nb = row.sets == 2 ? all.size() : 1;
    for (size_t sa = 0; sa < all.size(); ++sa) {
      for (size_t sb = 0; sb < nb; ++sb) {
        for (int mode = 0; mode < 4; ++mode) {
          bool negated = mode & 1, postFirst = mode & 2;
          State st[2] = {all[sa], all[sb]};
          // The single changes, shuffled.
          std::vector<std::pair<int, int>> changes;
          for (int i = 0; i < row.sets; ++i)
            for (int k = 0; k < 3; ++k)
              if (bit(st[i].required, k) || !bit(st[i].possible, k)) changes.push_back({i, k});
          for (size_t k = changes.size(); k > 1; --k) std::swap(changes[k - 1], changes[rng() % k]);
          std::vector<int64_t> left[2];
          std::function<void()> body = [&] {
            auto apply = [&] {
              for (auto& ch : changes) {
                QrcIntSetVarI* s = qrotest::setVarOf(v, static_cast<size_t>(ch.first));
                if (bit(st[ch.first].required, ch.second))
                  s->addRequired(ch.second);
                else
                  s->removePossible(ch.second);
              }
            };
            if (!postFirst) apply();
            QrcConstraint ct = row.make(operandsOf(m, v, row, in));
            m->add((negated ? ct.getOpposite() : ct).getImpl());
            if (postFirst) apply();
            for (int i = 0; i < row.sets; ++i)
              for (int64_t mask = 0; mask < 8; ++mask)
                if (qrotest::intSetKind().contains(vars[size_t(i)], mask)) left[i].push_back(mask);
          };
          bool ok = m->solve(new (m) FnGoal(m, &body), true) != 0;
          for (int64_t ma = 0; ma < 8; ++ma) {
            for (int64_t mb = 0; mb < (row.sets == 2 ? 8 : 1); ++mb) {
              A x = {ma, mb};
              x.resize(static_cast<size_t>(row.sets));
              bool inState = true;
              for (int i = 0; i < row.sets; ++i)
                inState = inState && (x[i] & st[i].required) == st[i].required &&
                          (x[i] & ~st[i].possible) == 0;
              if (!inState || row.holds(x, in) == negated) continue;
              bool kept = ok;
              for (int i = 0; i < row.sets && kept; ++i)
                kept = std::find(left[i].begin(), left[i].end(), x[i]) != left[i].end();
              if (!kept && errors++ < 5)
                ADD_FAILURE() << (negated ? "opposite of " : "") << row.name
                              << (postFirst ? ", posted first" : ", posted last") << ": state "
                              << sa << "/" << sb << " lost solution " << ma << "," << mb
                              << " (seed " << seed << ")";
            }
          }
        }
      }
    }
    mgr.end();
  }
}

// ---------------------------------------------------------------- truth once all is bound

// With every operand fixed, the truth of each relation (and of its opposite)
// is decided, whether the truth expression was made before or after.
TEST(SetRelationsHarness, TruthIsDecidedOnceEveryOperandIsBound) {
  std::vector<Row> table = rows();
  uint64_t seed = qrotest::caseSeed(7500);
  qrotest::Rng rng(seed);
  for (const Row& row : table) {
    for (int round = 0; round < 40; ++round) {
      Instance in = randomInstance(row, rng);
      for (Narrowing& w : in.narrowing) w = Narrowing{0, (int64_t(1) << 62) - 1, 0, 62};
      A x;
      for (int i = 0; i < row.sets; ++i)
        x.push_back(static_cast<int64_t>(rng() % (uint64_t(1) << in.universe[size_t(i)])));
      for (const A& d : in.ints) x.push_back(d[rng() % d.size()]);
      bool negated = rng() % 2, before = rng() % 2;
      QrcManager mgr(QrcNoEdit);
      QrcManagerI* m = mgr.getImpl();
      m->useExceptions(true);
      std::vector<QrcExprI*> vars;
      for (int i = 0; i < row.sets; ++i)
        vars.push_back(new (m) QrcIntSetVarI(m, 0, in.universe[size_t(i)] - 1, nullptr));
      for (int i = 0; i < row.ints; ++i)
        vars.push_back(qrotest::intKind().make(m, in.ints[static_cast<size_t>(i)]));
      Vars v(vars);
      QrcConstraint ct = row.make(operandsOf(m, v, row, in));
      if (negated) ct = ct.getOpposite();
      auto fixAll = [&] {
        for (size_t i = 0; i < vars.size(); ++i) {
          const qrotest::VarKind& k =
              i < size_t(row.sets) ? qrotest::intSetKind() : qrotest::intKind();
          k.fix(vars[i], x[i]);
        }
      };
      QrcIntExp truth;
      bool ok = true;
      try {
        if (before) truth = QrcIntExp(ct);
        fixAll();
        if (!before) truth = QrcIntExp(ct);
      } catch (QrcFailException&) {
        ok = false;
      }
      ASSERT_TRUE(ok) << row.name << " seed " << seed;
      bool expected = row.holds(x, in) != negated;
      EXPECT_TRUE(truth.isBound())
          << (negated ? "opposite of " : "") << row.name << " seed " << seed << " round " << round;
      if (truth.isBound()) {
        EXPECT_EQ(truth.getValue(), expected ? 1 : 0) << row.name;
      }
      mgr.end();
    }
  }
}

// ---------------------------------------------------------------- copies

std::string shown(QrcExprI* x) {
  std::ostringstream os;
  x->display(os);
  return os.str();
}

// A copy into a second manager leaves the relation's variables alone and
// propagates like the relation under the same narrowings.
TEST(SetRelationsHarness, CopiesPropagateLikeTheRelationOnTheCopiesOnly) {
  std::vector<Row> table = rows();
  uint64_t seed = qrotest::caseSeed(7700);
  qrotest::Rng rng(seed);
  for (const Row& row : table) {
    for (int round = 0; round < 20; ++round) {
      Instance in = randomInstance(row, rng);
      bool negated = rng() % 2;
      QrcManager one(QrcNoEdit), two(QrcNoEdit);
      QrcManagerI* m1 = one.getImpl();
      QrcManagerI* m2 = two.getImpl();
      m1->useExceptions(true);
      m2->useExceptions(true);
      std::vector<QrcExprI*> vars, copies;
      for (int i = 0; i < row.sets; ++i)
        vars.push_back(new (m1) QrcIntSetVarI(m1, 0, in.universe[size_t(i)] - 1, nullptr));
      for (int i = 0; i < row.ints; ++i)
        vars.push_back(qrotest::intKind().make(m1, in.ints[static_cast<size_t>(i)]));
      Vars v(vars);
      bool failed = false;
      QrcConstraint ct;
      try {
        ct = row.make(operandsOf(m1, v, row, in));
      } catch (QrcFailException&) {
        failed = true;
      }
      if (failed) continue;
      if (negated) ct = ct.getOpposite();
      bool opened = QrcOpenCopy(m2);
      QrcConstraintI* copy = ct.getImpl()->getCopyForManager(m2);
      for (QrcExprI* x : vars) copies.push_back(x->getCopyForManager(m2));
      QrcCloseCopy(m2, opened);
      ASSERT_EQ(copy->getManager(), m2);
      std::vector<std::string> before;
      for (QrcExprI* x : vars) before.push_back(shown(x));
      bool failedCopy = false, failedOriginal = false;
      try {
        m2->add(copy);
      } catch (QrcFailException&) {
        failedCopy = true;
      }
      for (size_t i = 0; i < vars.size(); ++i)
        ASSERT_EQ(shown(vars[i]), before[i]) << row.name << " seed " << seed;
      try {
        m1->add(ct.getImpl());
      } catch (QrcFailException&) {
        failedOriginal = true;
      }
      ASSERT_EQ(failedCopy, failedOriginal) << row.name << " seed " << seed;
      // The same narrowings on both sides, until one fails.
      for (int step = 0; step < 6 && !failedCopy; ++step) {
        for (size_t i = 0; i < vars.size(); ++i)
          ASSERT_EQ(shown(copies[i]), shown(vars[i])) << row.name << " seed " << seed;
        size_t i = rng() % vars.size();
        QrcInt value = static_cast<QrcInt>(rng() % 5) - (i < size_t(row.sets) ? 0 : 1);
        bool add = rng() % 2;
        auto narrow = [&](QrcExprI* x) {
          if (i < size_t(row.sets)) {
            QrcIntSetVarI* s = static_cast<QrcIntSetVarI*>(x);
            add ? s->addRequired(value) : s->removePossible(value);
          } else {
            static_cast<QrcIntExpI*>(x)->removeValue(value);
          }
        };
        try {
          narrow(copies[i]);
        } catch (QrcFailException&) {
          failedCopy = true;
        }
        try {
          narrow(vars[i]);
        } catch (QrcFailException&) {
          failedOriginal = true;
        }
        ASSERT_EQ(failedCopy, failedOriginal) << row.name << " seed " << seed << " step " << step;
      }
      two.end();
      one.end();
    }
  }
}

}  // namespace
