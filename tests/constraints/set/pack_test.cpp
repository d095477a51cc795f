// Bin packing: argument checks, fixed cases, and the four creation forms
// against brute force through the harness on random instances, small
// (exact reachability) and with large weights (scaled reachability).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "qrcfail.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcpack.h"
#include "qrcsearch.h"
#include "qrosolver.h"
#include "support/harness.h"
#include "support/seed.h"
#include "support/setkind.h"

namespace {

typedef std::vector<int64_t> A;
typedef std::vector<QrcInt> V;

class PackTest : public testing::Test {
 protected:
  void SetUp() override {
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
    m->useExceptions(true);
  }
  void TearDown() override { mgr.end(); }
  QrcIntVarArray vars(QrcInt n, QrcInt lo, QrcInt hi) { return QrcIntVarArray(mgr, n, lo, hi); }
  QrcIntArray ints(V v) { return QrcIntArray(mgr, static_cast<QrcInt>(v.size()), v.data()); }
  bool adds(const QrcConstraint& ct) {
    try {
      m->add(ct.getImpl());
      return true;
    } catch (QrcFailException&) {
      return false;
    }
  }
  // Whether a search over the where variables finds a packing.
  bool solves(const QrcIntVarArray& where) {
    QrcSearch s(mgr, QrcGenerate(where));
    bool found = s.next();
    s.end();
    return found;
  }
  template <class F>
  std::string thrown(F f) {
    try {
      f();
    } catch (QroSolver::EmptyHandle& e) {
      return std::string("empty: ") + e.getMessage();
    } catch (QroSolver::Exception& e) {
      return e.getMessage();
    }
    return "nothing";
  }
  QrcManager mgr;
  QrcManagerI* m = nullptr;
};

TEST_F(PackTest, ArgumentChecks) {
  QrcIntVarArray load = vars(2, 0, 10), where = vars(3, 0, 1);
  QrcIntArray w = ints({1, 2, 3});
  QrcIntVar n(mgr, 0, 2);
  QrcIntSetVar s(mgr, 0, 1);
  QrcInt row[3] = {0, 0, 0};
  QrcInt* table[3] = {row, row, row};
  const std::string empty = "empty: Empty handle passed to QrcPack";
  EXPECT_EQ(thrown([&] { QrcPack(QrcIntVarArray(), where, w); }), empty);
  EXPECT_EQ(thrown([&] { QrcPack(load, QrcIntVarArray(), w, n); }), empty);
  EXPECT_EQ(thrown([&] { QrcPack(load, where, QrcIntArray(), n, table); }), empty);
  EXPECT_EQ(thrown([&] { QrcPack(load, where, w, QrcIntVar()); }), empty);
  EXPECT_EQ(thrown([&] { QrcPack(load, where, w, QrcIntVar(), table); }), empty);
  EXPECT_EQ(thrown([&] { QrcPack(load, where, w, n, nullptr); }), empty);
  EXPECT_EQ(thrown([&] { QrcPack(load, where, w, QrcIntSetVar()); }), empty);
  // The handles come first, then the sizes, then the weights.
  EXPECT_EQ(thrown([&] { QrcPack(load, where, ints({1, -1}), QrcIntVar()); }), empty);
  EXPECT_EQ(thrown([&] {
              QrcPack(load, where, ints({1, 2}));
            }),
            "Array size mismatch between where and weight parameters");
  const QrcInt big = QrcInt(1) << 62;
  const std::string negative = "Negative weights are not supported by QrcPack";
  const std::string large =
      "Weights supplied to QrcPack are too large; their sum must be no greater than QrcIntMax";
  QrcIntVarArray two = vars(2, 0, 1);
  EXPECT_EQ(thrown([&] { QrcPack(load, two, ints({1, -5})); }), negative);
  EXPECT_EQ(thrown([&] { QrcPack(load, two, ints({big, big}), s); }), large);
  EXPECT_EQ(thrown([&] { QrcPack(load, where, ints({big, -1, big})); }), negative);
  EXPECT_EQ(thrown([&] { QrcPack(load, where, ints({big, big, -1})); }), large);
  EXPECT_EQ(thrown([&] { QrcPack(load, where, ints({INT64_MAX, 0, 0})); }), "nothing");
  // A load array of any size is accepted and sets the number of bins.
  QrcIntVarArray one = vars(1, 0, 10);
  ASSERT_TRUE(adds(QrcPack(one, where, w)));
  EXPECT_EQ(where[0].getMax(), 0);
  EXPECT_EQ(one[0].getMin(), 6);
}

TEST_F(PackTest, BinsNeededByTheBound) {
  QrcIntVar n3(mgr, 0, 3);
  ASSERT_TRUE(adds(QrcPack(vars(3, 0, 5), vars(3, 0, 2), ints({3, 3, 3}), n3)));
  EXPECT_EQ(n3.getMin(), 3);
  EXPECT_FALSE(adds(QrcPack(vars(2, 0, 5), vars(3, 0, 1), ints({3, 3, 3}))));

  QrcIntVarArray where = vars(4, 0, 1);
  ASSERT_TRUE(adds(QrcPack(vars(2, 0, 6), where, ints({4, 3, 3, 2}))));
  EXPECT_TRUE(solves(where));
  EXPECT_FALSE(adds(QrcPack(vars(2, 0, 6), vars(4, 0, 1), ints({4, 4, 3, 3}))));
  QrcIntVar n4(mgr, 0, 3);
  ASSERT_TRUE(adds(QrcPack(vars(3, 0, 6), vars(4, 0, 2), ints({4, 4, 3, 3}), n4)));
  EXPECT_EQ(n4.getMin(), 3);
}

TEST_F(PackTest, ItemsThatFitNowhereAndRequiredBins) {
  // Bins of room 5 and 4 after what is packed; an item of 6 fits in neither.
  QrcIntVarArray where = vars(3, 0, 1);
  where[0].setValue(0);
  where[1].setValue(1);
  EXPECT_FALSE(adds(QrcPack(vars(2, 0, 9), where, ints({4, 5, 6}))));

  // Bin 2 must be used, nothing is packed there and only item 1 may go there.
  QrcIntSetVar used(mgr, 0, 2);
  used.getImpl()->addRequired(QrcInt(2));
  QrcIntVarArray w2 = vars(3, 0, 2);
  w2[0].setMax(1);
  w2[2].setMax(1);
  ASSERT_TRUE(adds(QrcPack(vars(3, 0, 9), w2, ints({2, 2, 2}), used)));
  EXPECT_TRUE(w2[1].isBound());
  EXPECT_EQ(w2[1].getValue(), 2);

  // The same when the bin becomes required after posting.
  QrcIntSetVar later(mgr, 0, 2);
  QrcIntVarArray w3 = vars(3, 0, 2);
  w3[0].setMax(1);
  w3[1].setMax(1);
  ASSERT_TRUE(adds(QrcPack(vars(3, 0, 9), w3, ints({1, 1, 1}), later)));
  later.getImpl()->addRequired(QrcInt(2));
  EXPECT_EQ(w3[2].getMin(), 2);
}

TEST_F(PackTest, LeastLoadsFromTheResidue) {
  // Bin 0 holds 3 and nothing more may go there; bins 1 and 2 must be used
  // by two items of 6: every open bin then holds at least 6, and the closed
  // bin keeps its load of 3.
  QrcIntVarArray load = vars(3, 0, 10), where = vars(3, 1, 2);
  where.set(0, QrcIntVar(mgr, 0, 0));
  load[1].setMin(1);
  load[2].setMin(1);
  QrcIntVar n(mgr, 0, 3);
  ASSERT_TRUE(adds(QrcPack(load, where, ints({3, 6, 6}), n)));
  EXPECT_EQ(n.getMin(), 3);
  EXPECT_EQ(load[0].getMin(), 3);
  EXPECT_EQ(load[0].getMax(), 3);
  EXPECT_EQ(load[1].getMin(), 6);
  EXPECT_EQ(load[2].getMin(), 6);
  EXPECT_TRUE(solves(where));
}

TEST(PackEditMode, FiledThenPostedBySearch) {
  QrcManager mgr(QrcEdit);
  QrcIntVarArray where(mgr, 3, 0, 1), load(mgr, 2, 0, 3);
  V w = {2, 2, 1};
  mgr.add(QrcPack(load, where, QrcIntArray(mgr, 3, w.data())));
  QrcSearch s(mgr, QrcGenerate(where));
  int solutions = 0;
  while (s.next()) {
    ++solutions;
    EXPECT_NE(where[0].getValue(), where[1].getValue());
    EXPECT_EQ(load[where[2].getValue()].getValue(), 3);
  }
  s.end();
  EXPECT_EQ(solutions, 4);
  mgr.end();
}

// ---------------------------------------------------------------- places tied to loads

// Places that are loads, or expressions of them, against brute force: the
// first propagation narrows a load, which moves a place, so it must build its
// lists from the domains before it narrows any (a list built after left an
// item both free and packed, and a packing with solutions failed).
TEST(PackTies, PlacesTiedToLoadsAgainstBruteForce) {
  typedef std::vector<QrcIntExp> Exps;
  struct Row {
    const char* name;
    std::vector<A> values;
    A weight;
    std::function<Exps(const qrotest::Vars&)> places, loads;
    std::function<A(const A&)> placeValues, loadValues;
  };
  auto x = [](const qrotest::Vars& v, size_t i) { return QrcIntExp(v[i]); };
  const Row rows[] = {
      {"places [x2 * x0, x0], loads [x0, x1]",
       {qrotest::range(0, 3), qrotest::range(1, 3), qrotest::range(-1, 0)},
       {1, 1},
       [x](const qrotest::Vars& v) {
         return Exps{x(v, 2) * x(v, 0), x(v, 0)};
       },
       [x](const qrotest::Vars& v) {
         return Exps{x(v, 0), x(v, 1)};
       },
       [](const A& a) {
         return A{a[2] * a[0], a[0]};
       },
       [](const A& a) {
         return A{a[0], a[1]};
       }},
      {"places [x1, x0], loads [x1, x1]",
       {qrotest::range(0, 1), qrotest::range(0, 3)},
       {1, 1},
       [x](const qrotest::Vars& v) {
         return Exps{x(v, 1), x(v, 0)};
       },
       [x](const qrotest::Vars& v) {
         return Exps{x(v, 1), x(v, 1)};
       },
       [](const A& a) {
         return A{a[1], a[0]};
       },
       [](const A& a) {
         return A{a[1], a[1]};
       }},
      {"places [-x0, x1], loads [x1 - x0, x1 - x0]",
       {qrotest::range(0, 3), qrotest::range(0, 3)},
       {1, 1},
       [x](const qrotest::Vars& v) {
         return Exps{-x(v, 0), x(v, 1)};
       },
       [x](const qrotest::Vars& v) {
         return Exps{x(v, 1) - x(v, 0), x(v, 1) - x(v, 0)};
       },
       [](const A& a) {
         return A{-a[0], a[1]};
       },
       [](const A& a) {
         return A{a[1] - a[0], a[1] - a[0]};
       }},
      {"places [x0, x1, x0 - 1], loads [x1 + 1, x0, x2]",
       {qrotest::range(0, 2), qrotest::range(0, 2), qrotest::range(0, 4)},
       {2, 1, 1},
       [x](const qrotest::Vars& v) {
         return Exps{x(v, 0), x(v, 1), x(v, 0) - 1};
       },
       [x](const qrotest::Vars& v) {
         return Exps{x(v, 1) + 1, x(v, 0), x(v, 2)};
       },
       [](const A& a) {
         return A{a[0], a[1], a[0] - 1};
       },
       [](const A& a) {
         return A{a[1] + 1, a[0], a[2]};
       }},
  };
  for (const Row& row : rows) {
    qrotest::PropCase c;
    c.name = row.name;
    c.seed = qrotest::caseSeed(7100);
    c.values = row.values;
    c.notReified = "a pack has no opposite";
    c.narrowRuns = 20;
    const Row* r = &row;
    c.make = [r](QrcManagerI* mi, const qrotest::Vars& v) {
      QrcManager h(mi);
      Exps places = r->places(v), loads = r->loads(v);
      QrcIntVarArray where(h, static_cast<QrcInt>(places.size()));
      QrcIntVarArray load(h, static_cast<QrcInt>(loads.size()));
      for (size_t i = 0; i < places.size(); ++i) where.set(static_cast<QrcInt>(i), places[i]);
      for (size_t j = 0; j < loads.size(); ++j) load.set(static_cast<QrcInt>(j), loads[j]);
      QrcIntArray w(h, static_cast<QrcInt>(r->weight.size()), r->weight.data());
      return QrcPack(load, where, w).getImpl();
    };
    c.check = [r](const A& a) {
      A places = r->placeValues(a), loads = r->loadValues(a), sum(loads.size(), 0);
      for (size_t i = 0; i < places.size(); ++i) {
        if (places[i] < 0 || places[i] >= static_cast<int64_t>(loads.size())) return false;
        sum[static_cast<size_t>(places[i])] += r->weight[i];
      }
      return sum == loads;
    };
    EXPECT_EQ(qrotest::runPropCase(c), 0) << row.name;
  }
}

// ---------------------------------------------------------------- brute force

enum Form { Plain, Count, Table, Set };
const char* const FormNames[] = {"plain", "count", "table", "set"};

struct Instance {
  Form form;
  int bins, items;
  A weight;
  std::vector<std::pair<int, int>> apart;  // marked pairs (the table), also posted
  std::vector<std::vector<int>> table;
  int64_t required = 0, excluded = 0, cardLo = 0, cardHi = 64;
};

int popcount(int64_t x) {
  return __builtin_popcountll(static_cast<uint64_t>(x));
}

// A random instance and its candidate values; `large` draws weights 100-1000
// and loads up to 2,000.
qrotest::PropCase packCase(Form form, uint64_t seed, bool large, Instance& in) {
  qrotest::Rng rng(seed);
  in.form = form;
  in.bins = 2 + static_cast<int>(rng() % 3);
  in.items = 3 + static_cast<int>(rng() % 5);
  bool outside = rng() % 3 == 0;  // item 0 may take a value beyond the bins
  int64_t setValues = form == Set ? int64_t(1) << (in.bins + (rng() % 3 == 0)) : 1;
  auto product = [&](int64_t per) {
    int64_t p = setValues;
    for (int i = 0; i < in.items; ++i) p *= in.bins + (outside && i == 0);
    for (int j = 0; j < in.bins; ++j) p *= per;
    return p * (form == Count || form == Table ? in.bins + 1 : 1);
  };
  while (in.items > 3 && product(2) > 1500000) --in.items;
  int per = 2;
  while (per < 6 && product(per + 1) <= 1500000) ++per;

  in.weight.clear();
  for (int i = 0; i < in.items; ++i)
    in.weight.push_back(large ? 100 + static_cast<int64_t>(rng() % 901)
                              : static_cast<int64_t>(rng() % 7));
  int64_t total = 0;
  for (int64_t w : in.weight) total += w;
  // Loads: those of a random packing, and random others with holes.
  A ref(static_cast<size_t>(in.bins), 0);
  for (int i = 0; i < in.items; ++i) ref[rng() % ref.size()] += in.weight[static_cast<size_t>(i)];
  in.table.assign(static_cast<size_t>(in.items),
                  std::vector<int>(static_cast<size_t>(in.items), 0));
  in.apart.clear();
  if (form == Table)
    for (int i = 0; i < in.items; ++i)
      for (int k = i + 1; k < in.items; ++k)
        if (rng() % 4 == 0) {
          in.apart.push_back({i, k});
          in.table[static_cast<size_t>(i)][static_cast<size_t>(k)] = 1;
          if (rng() % 4) in.table[static_cast<size_t>(k)][static_cast<size_t>(i)] = 1;
        }
  qrotest::PropCase c;
  c.name = std::string(FormNames[form]) + (large ? " large" : "");
  c.seed = seed;
  c.narrowRuns = 40;
  for (int i = 0; i < in.items; ++i) {
    c.values.push_back(qrotest::range(0, in.bins - 1));
    if (outside && i == 0) c.values.back().push_back(rng() % 2 ? -1 : in.bins);
  }
  int64_t top = large ? 2000 : total;
  for (int j = 0; j < in.bins; ++j) {
    A d = {rng() % 2 ? ref[static_cast<size_t>(j)] : static_cast<int64_t>(rng() % (top + 1))};
    while (static_cast<int64_t>(d.size()) < std::min<int64_t>(per, top + 1)) {
      int64_t v = static_cast<int64_t>(rng() % (top + 1));
      if (std::find(d.begin(), d.end(), v) == d.end()) d.push_back(v);
    }
    c.values.push_back(d);
  }
  if (form == Count || form == Table) {
    A d;
    for (int k = 0; k <= in.bins; ++k)
      if (rng() % 3) d.push_back(k);
    if (d.empty()) d.push_back(static_cast<int64_t>(rng() % (in.bins + 1)));
    c.values.push_back(d);
  }
  if (form == Set) {
    c.values.push_back(
        qrotest::subsets(setValues == (int64_t(1) << in.bins) ? in.bins : in.bins + 1));
    c.kinds.assign(c.values.size(), nullptr);
    c.kinds.back() = &qrotest::intSetKind();
    for (int j = 0; j < in.bins; ++j) {
      int pick = static_cast<int>(rng() % 6);
      if (pick == 0) in.required |= int64_t(1) << j;
      if (pick == 1) in.excluded |= int64_t(1) << j;
    }
    in.cardLo = static_cast<int64_t>(rng() % 2);
    in.cardHi = in.bins - static_cast<int64_t>(rng() % 2);
  }
  const Instance* p = &in;
  c.post = [p](QrcManagerI* mi, const qrotest::Vars& v) {
    QrcManager h(mi);
    int n = p->items, b = p->bins;
    QrcIntVarArray where(h, n), load(h, b);
    for (int i = 0; i < n; ++i) where.set(i, QrcIntExp(v[static_cast<size_t>(i)]));
    for (int j = 0; j < b; ++j) load.set(j, QrcIntExp(v[static_cast<size_t>(n + j)]));
    QrcIntArray weights(h, n, p->weight.data());
    size_t last = static_cast<size_t>(n + b);
    QrcConstraint ct;
    if (p->form == Plain) ct = QrcPack(load, where, weights);
    if (p->form == Count) ct = QrcPack(load, where, weights, QrcIntVar(v[last]));
    if (p->form == Table) {
      QrcInt** t = static_cast<QrcInt**>(mi->allocate(static_cast<size_t>(n) * sizeof(QrcInt*)));
      for (int i = 0; i < n; ++i) {
        t[i] = static_cast<QrcInt*>(mi->allocate(static_cast<size_t>(n) * sizeof(QrcInt)));
        for (int k = 0; k < n; ++k)
          t[i][k] = p->table[static_cast<size_t>(i)][static_cast<size_t>(k)];
      }
      for (const auto& q : p->apart)
        mi->add((QrcIntExp(v[static_cast<size_t>(q.first)]) !=
                 QrcIntExp(v[static_cast<size_t>(q.second)]))
                    .getImpl());
      ct = QrcPack(load, where, weights, QrcIntVar(v[last]), t);
      // The table is not kept.
      for (int i = 0; i < n; ++i)
        for (int k = 0; k < n; ++k) t[i][k] = 7;
    }
    if (p->form == Set) {
      QrcIntSetVarI* s = qrotest::setVarOf(v, last);
      for (int j = 0; j < b; ++j) {
        if (p->required >> j & 1) s->addRequired(QrcInt(j));
        if (p->excluded >> j & 1) s->removePossible(QrcInt(j));
      }
      s->getCardinality()->setRange(p->cardLo, p->cardHi);
      ct = QrcPack(load, where, weights, QrcIntSetVar(s));
    }
    mi->add(ct.getImpl());
  };
  // Called for every assignment: the loads add up on the stack (at most 4 bins).
  c.check = [p](const A& a) {
    int n = p->items, b = p->bins;
    int64_t sum[4] = {0, 0, 0, 0};
    int64_t used = 0;
    for (int i = 0; i < n; ++i) {
      int64_t j = a[static_cast<size_t>(i)];
      if (j < 0 || j >= b) return false;
      sum[j] += p->weight[static_cast<size_t>(i)];
      used |= int64_t(1) << j;
    }
    for (int j = 0; j < b; ++j)
      if (a[static_cast<size_t>(n + j)] != sum[j]) return false;
    for (const auto& q : p->apart)
      if (a[static_cast<size_t>(q.first)] == a[static_cast<size_t>(q.second)]) return false;
    size_t last = static_cast<size_t>(n + b);
    if (p->form == Count || p->form == Table) return a[last] == popcount(used);
    if (p->form == Set)
      return a[last] == used && (used & p->required) == p->required && !(used & p->excluded) &&
             popcount(used) >= p->cardLo && popcount(used) <= p->cardHi;
    return true;
  };
  return c;
}

// Per form, small instances (exact reachability) or large ones (scaled): 6
// and 4 of them, 12 and 8 with QRO_TEST_FULL=1.
class PackHarness : public testing::TestWithParam<std::tuple<Form, bool>> {};

TEST_P(PackHarness, MatchesBruteForce) {
  Form form = std::get<0>(GetParam());
  bool large = std::get<1>(GetParam());
  for (int k = 0; k < (large ? qrotest::draws(4, 8) : qrotest::draws(6, 12)); ++k) {
    uint64_t seed = qrotest::caseSeed(1000 * (form + 1) + 500 * large + static_cast<uint64_t>(k));
    Instance in;
    qrotest::PropCase c = packCase(form, seed, large, in);
    c.postInSearch = true;
    if (qrotest::runPropCase(c)) return;
  }
}

INSTANTIATE_TEST_SUITE_P(Forms, PackHarness,
                         testing::Combine(testing::Values(Plain, Count, Table, Set),
                                          testing::Bool()));

}  // namespace
