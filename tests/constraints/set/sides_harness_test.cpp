// Every set constraint of the catalogue at each filter level it takes, and
// bin packing in its four forms, beside one or two side constraints drawn
// from the harness's table (sums of cardinalities, memberships, a second set
// relation over shared variables), posted before and after them and labelled
// in drawn orders, against brute force of the whole model.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintsetcst.h"
#include "qrcinverse.h"
#include "qrcpack.h"
#include "qrcsetcomposition.h"
#include "qrcsetfunctions.h"
#include "setfunction_tables.h"
#include "support/harness.h"
#include "support/setkind.h"

namespace {

using qrotest::bit;
using qrotest::pop;

using qrotest::PropCase;
using qrotest::Rng;
using qrotest::Vars;

typedef std::vector<int64_t> A;

// What a row draws: the universe [0, u - 1] of its set variables, the count
// of the sets of an array, a constant set and value, the values of a
// constant F within the universe (and about zero), the position of the set
// variable each F(x) is (fmap: one of `fvars` of its own, now and then S or
// U), pack's weights, the filter level.
struct Instance {
  int u = 3;
  int sets = 2;
  int64_t mask = 0;
  int64_t value = 0;
  A constants;
  A signedConstants;
  std::vector<size_t> fmap;
  int fvars = 1;
  A weights;
  QrcInt level = -1;
};

// The operands over the harness variables: the sets, then the integers.
struct Ops {
  QrcManagerI* m;
  std::vector<QrcIntSetVar> s;
  std::vector<QrcIntExp> x;
};

typedef const Ops& O;
typedef const A& V;
typedef const Instance& I;

struct Row {
  const char* name;
  // The set variables (-1: the instance's count, -2: two and F's set
  // variables); their universe (0: drawn).
  int sets;
  int universe;
  std::function<std::vector<A>(I)> ints;
  std::function<QrcConstraint(O, I)> make;
  std::function<bool(V sets, V ints, I)> holds;
  std::vector<QrcInt> levels = {-1};
  // Instances drawn per level.
  int rounds = 1;
  // The row's functions are the test's own tables.
  bool callersCode = false;
};

QrcIntSet constantSet(QrcManagerI* m, int64_t mask) {
  QrcManager h(m);
  if (mask == 0) return QrcIntSet(h, 1, 0, 1);
  std::vector<QrcInt> values;
  for (QrcInt v = 0; v < 8; ++v)
    if (bit(mask, v)) values.push_back(v);
  return QrcIntSet(h, QrcIntArray(h, static_cast<QrcInt>(values.size()), values.data()), 1);
}

QrcIntSetVarArray arrayOf(O o, size_t from, size_t to) {
  QrcIntSetVarArrayI* a = new (o.m) QrcIntSetVarArrayI(o.m, static_cast<QrcInt>(to - from));
  for (size_t i = from; i < to; ++i) a->elementAt(static_cast<QrcInt>(i - from)) = o.s[i].getImpl();
  return QrcIntSetVarArray(a);
}

QrcIntVarArray intsOf(O o, size_t from, size_t to) {
  QrcIntVarArray a(QrcManager(o.m), static_cast<QrcInt>(to - from));
  for (size_t i = from; i < to; ++i) a.set(static_cast<QrcInt>(i - from), o.x[i]);
  return a;
}

int64_t unionOf(V s, size_t from, size_t to) {
  int64_t u = 0;
  for (size_t i = from; i < to; ++i) u |= s[i];
  return u;
}

bool disjoint(V s, size_t from, size_t to) {
  int64_t seen = 0;
  for (size_t i = from; i < to; ++i) {
    if (seen & s[i]) return false;
    seen |= s[i];
  }
  return true;
}

std::vector<A> times(int n, const A& d) {
  return std::vector<A>(static_cast<size_t>(n), d);
}

const std::vector<QrcInt> Levels = {0, 1, 2, 3};

std::vector<Row> relations() {
  return {
      {"a == b", 2, 0, nullptr, [](O o, I) { return o.s[0] == o.s[1]; },
       [](V s, V, I) { return s[0] == s[1]; }},
      {"a != b", 2, 0, nullptr, [](O o, I) { return o.s[0] != o.s[1]; },
       [](V s, V, I) { return s[0] != s[1]; }},
      {"s == c", 1, 0, nullptr, [](O o, I in) { return o.s[0] == constantSet(o.m, in.mask); },
       [](V s, V, I in) { return s[0] == in.mask; }},
      {"s != c", 1, 0, nullptr, [](O o, I in) { return o.s[0] != constantSet(o.m, in.mask); },
       [](V s, V, I in) { return s[0] != in.mask; }},
      {"a subseteq b", 2, 0, nullptr, [](O o, I) { return QrcSubsetEq(o.s[0], o.s[1]); },
       [](V s, V, I) { return (s[0] & ~s[1]) == 0; }},
      {"c subseteq s", 1, 0, nullptr,
       [](O o, I in) { return QrcSubsetEq(constantSet(o.m, in.mask), o.s[0]); },
       [](V s, V, I in) { return (in.mask & ~s[0]) == 0; }},
      {"s subseteq c", 1, 0, nullptr,
       [](O o, I in) { return QrcSubsetEq(o.s[0], constantSet(o.m, in.mask)); },
       [](V s, V, I in) { return (s[0] & ~in.mask) == 0; }},
      {"a subset b", 2, 0, nullptr, [](O o, I) { return QrcSubset(o.s[0], o.s[1]); },
       [](V s, V, I) { return (s[0] & ~s[1]) == 0 && s[0] != s[1]; }},
      {"c subset s", 1, 0, nullptr,
       [](O o, I in) { return QrcSubset(constantSet(o.m, in.mask), o.s[0]); },
       [](V s, V, I in) { return (in.mask & ~s[0]) == 0 && s[0] != in.mask; }},
      {"s subset c", 1, 0, nullptr,
       [](O o, I in) { return QrcSubset(o.s[0], constantSet(o.m, in.mask)); },
       [](V s, V, I in) { return (s[0] & ~in.mask) == 0 && s[0] != in.mask; }},
      {"x in s", 1, 0, [](I in) { return times(1, qrotest::range(-1, in.u)); },
       [](O o, I) { return QrcMember(o.x[0], o.s[0]); },
       [](V s, V x, I) { return bit(s[0], x[0]); }},
      {"x not in s", 1, 0, [](I in) { return times(1, qrotest::range(-1, in.u)); },
       [](O o, I) { return QrcNotMember(o.x[0], o.s[0]); },
       [](V s, V x, I) { return !bit(s[0], x[0]); }},
      {"v in s", 1, 0, nullptr, [](O o, I in) { return QrcMember(in.value, o.s[0]); },
       [](V s, V, I in) { return bit(s[0], in.value); }},
      {"v not in s", 1, 0, nullptr, [](O o, I in) { return QrcNotMember(in.value, o.s[0]); },
       [](V s, V, I in) { return !bit(s[0], in.value); }},
      {"a, b disjoint", 2, 0, nullptr, [](O o, I) { return QrcNullIntersect(o.s[0], o.s[1]); },
       [](V s, V, I) { return (s[0] & s[1]) == 0; }},
      {"s, c disjoint", 1, 0, nullptr,
       [](O o, I in) { return QrcNullIntersect(o.s[0], constantSet(o.m, in.mask)); },
       [](V s, V, I in) { return (s[0] & in.mask) == 0; }},
  };
}

std::vector<Row> compositions() {
  return {
      {"s == a intersect b", 3, 0, nullptr,
       [](O o, I) { return QrcEqIntersection(o.s[0], o.s[1], o.s[2]); },
       [](V s, V, I) { return s[0] == (s[1] & s[2]); }},
      {"s == a union b", 3, 0, nullptr, [](O o, I) { return QrcEqUnion(o.s[0], o.s[1], o.s[2]); },
       [](V s, V, I) { return s[0] == (s[1] | s[2]); }, Levels},
      {"s == a union b, i == a intersect b", 4, 2, nullptr,
       [](O o, I) { return QrcEqUnion(o.s[0], o.s[1], o.s[2], o.s[3]); },
       [](V s, V, I) { return s[0] == (s[1] | s[2]) && s[3] == (s[1] & s[2]); }, Levels},
      {"s == union of an array", -1, 0, nullptr,
       [](O o, I) { return QrcEqUnion(o.s[0], arrayOf(o, 1, o.s.size())); },
       [](V s, V, I) { return s[0] == unionOf(s, 1, s.size()); }},
      {"partition of a universe", -1, 0, nullptr,
       [](O o, I in) {
         std::vector<QrcInt> values;
         for (QrcInt v = 4; v >= 0; --v)
           if (bit(in.mask, v)) values.push_back(v);
         QrcIntArray universe(QrcManager(o.m), static_cast<QrcInt>(values.size()), values.data());
         return QrcPartition(arrayOf(o, 0, o.s.size()), universe);
       },
       // Each value of the universe in exactly one set; the others free.
       [](V s, V, I in) {
         for (int64_t v = 0; v < 5; ++v) {
           int holders = 0;
           for (int64_t m : s) holders += bit(m, v);
           if (bit(in.mask, v) && holders != 1) return false;
         }
         return true;
       },
       Levels},
      {"pairwise disjoint", -1, 0, nullptr,
       [](O o, I) { return QrcAllNullIntersect(arrayOf(o, 0, o.s.size())); },
       [](V s, V, I) { return disjoint(s, 0, s.size()); }, Levels},
      {"disjoint union", -1, 0, nullptr,
       [](O o, I) { return QrcDisjointUnion(o.s[0], arrayOf(o, 1, o.s.size())); },
       [](V s, V, I) { return disjoint(s, 1, s.size()) && s[0] == unionOf(s, 1, s.size()); }},
      {"inverse: s[i] == {j : x[j] == i}", 2, 0,
       [](I in) { return times(in.u, qrotest::range(-1, 2)); },
       [](O o, I) { return QrcInverse(arrayOf(o, 0, 2), intsOf(o, 0, o.x.size())); },
       [](V s, V x, I) {
         A want(2, 0);
         for (size_t j = 0; j < x.size(); ++j) {
           if (x[j] < 0 || x[j] > 1) return false;
           want[static_cast<size_t>(x[j])] |= int64_t(1) << j;
         }
         return s == want;
       }},
  };
}

// ---------------------------------------------------------------- functions over a set

enum class Fn { Max, Min, Sum };

// y == fn of F over S: S, then y and, for an expression F, F(0..u-1).
Row functionRow(const char* name, Fn fn, bool expression) {
  Row r{name, 1, 0, nullptr, nullptr, nullptr};
  r.ints = [fn, expression](I in) {
    std::vector<A> d = {fn == Fn::Sum ? qrotest::range(-5, 5) : qrotest::range(-3, 3)};
    if (expression)
      for (int x = 0; x < in.u; ++x) d.push_back(qrotest::range(-2, 1 + x % 2));
    return d;
  };
  r.make = [fn, expression](O o, I in) {
    QrcIntExp e;
    if (expression) {
      std::vector<QrcIntExpI*> f;
      for (size_t x = 1; x < o.x.size(); ++x) f.push_back(o.x[x].getImpl());
      QrcIntToIntExpFunction g(new (o.m) settest::ExpTable(o.m, 0, f));
      e = fn == Fn::Max ? QrcMax(o.s[0], g) : fn == Fn::Min ? QrcMin(o.s[0], g) : QrcSum(o.s[0], g);
    } else {
      QrcIntToIntFunction g(new (o.m) settest::IntTable(o.m, 0, in.signedConstants));
      e = fn == Fn::Max ? QrcMax(o.s[0], g) : fn == Fn::Min ? QrcMin(o.s[0], g) : QrcSum(o.s[0], g);
    }
    return o.x[0] == e;
  };
  r.holds = [fn, expression](V s, V x, I in) {
    // The extremes of an empty S leave y free.
    if (s[0] == 0 && fn != Fn::Sum) return true;
    int64_t acc = fn == Fn::Max ? INT64_MIN : fn == Fn::Min ? INT64_MAX : 0;
    for (int k = 0; k < in.u; ++k) {
      if (!bit(s[0], k)) continue;
      size_t at = static_cast<size_t>(k);
      int64_t f = expression ? x[1 + at] : in.signedConstants[at];
      acc = fn == Fn::Max ? std::max(acc, f) : fn == Fn::Min ? std::min(acc, f) : acc + f;
    }
    return x[0] == acc;
  };
  r.callersCode = true;
  return r;
}

enum class Of { Constants, Expressions, SetVariables, SetVariablesCt };

// The union over S of F(x): S, U, then F's set variables (F(x) is the set
// variable at position fmap[x]: one may serve several x, S and U among them)
// or F's integers. U == QrcUnion(S, F), or the constraint
// QrcUnionOverSetCt(U, S, F) itself.
Row unionRow(const char* name, Of of) {
  bool sets = of == Of::SetVariables || of == Of::SetVariablesCt;
  Row r{name, sets ? -2 : 2, 0, nullptr, nullptr, nullptr};
  if (of == Of::Expressions)
    r.ints = [](I in) {
      std::vector<A> d;
      for (int x = 0; x < in.u; ++x) d.push_back(x % 2 ? qrotest::range(0, in.u - 1) : A{0, 2});
      return d;
    };
  r.make = [of](O o, I in) {
    QrcManagerI* m = o.m;
    if (of == Of::Constants)
      return o.s[1] == QrcUnion(o.s[0], new (m) settest::IntTable(m, 0, in.constants));
    if (of == Of::Expressions) {
      std::vector<QrcIntExpI*> f;
      for (const QrcIntExp& x : o.x) f.push_back(x.getImpl());
      return o.s[1] == QrcUnion(o.s[0], new (m) settest::ExpTable(m, 0, f));
    }
    std::vector<QrcIntSetVarI*> f;
    for (size_t at : in.fmap) f.push_back(o.s[at].getImpl());
    QrcIntToIntSetVarFunction g(new (m) settest::SetTable(m, 0, f));
    if (of == Of::SetVariables) return o.s[1] == QrcUnion(o.s[0], g);
    return QrcUnionOverSetCt(o.s[1], o.s[0], g);
  };
  r.holds = [of](V s, V x, I in) {
    int64_t u = 0;
    for (int k = 0; k < in.u; ++k) {
      if (!bit(s[0], k)) continue;
      size_t at = static_cast<size_t>(k);
      if (of == Of::Constants) u |= int64_t(1) << in.constants[at];
      if (of == Of::Expressions) u |= int64_t(1) << x[at];
      if (of == Of::SetVariables || of == Of::SetVariablesCt) u |= s[in.fmap[at]];
    }
    return s[1] == u;
  };
  r.rounds = 8;
  r.callersCode = true;
  return r;
}

std::vector<Row> functions() {
  return {
      functionRow("y == max of constants over s", Fn::Max, false),
      functionRow("y == max of expressions over s", Fn::Max, true),
      functionRow("y == min of constants over s", Fn::Min, false),
      functionRow("y == min of expressions over s", Fn::Min, true),
      functionRow("y == sum of constants over s", Fn::Sum, false),
      functionRow("y == sum of expressions over s", Fn::Sum, true),
      unionRow("u == union of constants over s", Of::Constants),
      unionRow("u == union of expressions over s", Of::Expressions),
      unionRow("u == union of set variables over s", Of::SetVariables),
      unionRow("union constraint of set variables over s", Of::SetVariablesCt),
  };
}

// ---------------------------------------------------------------- bin packing

enum Form { Plain, Count, Table, Used };

// Two bins, three items of the instance's weights: the used bins (form
// Used), then the places, the loads and the count (forms Count, Table).
// The table keeps items 0 and 1 apart, which is posted as well.
Row packRow(const char* name, Form form) {
  Row r{name, form == Used ? 1 : 0, 2, nullptr, nullptr, nullptr};
  r.ints = [form](I in) {
    int64_t total = in.weights[0] + in.weights[1] + in.weights[2];
    std::vector<A> d = times(3, qrotest::range(0, 1));
    d[0].push_back(2);
    for (int j = 0; j < 2; ++j) d.push_back(qrotest::range(0, total));
    if (form == Count || form == Table) d.push_back(qrotest::range(0, 2));
    return d;
  };
  r.make = [form](O o, I in) {
    QrcManager h(o.m);
    QrcIntVarArray where = intsOf(o, 0, 3), load = intsOf(o, 3, 5);
    QrcIntArray w(h, 3, in.weights.data());
    if (form == Plain) return QrcPack(load, where, w);
    if (form == Used) return QrcPack(load, where, w, o.s[0]);
    QrcIntVar n(o.x[5].getImpl());
    if (form == Count) return QrcPack(load, where, w, n);
    QrcInt** t = static_cast<QrcInt**>(o.m->allocate(3 * sizeof(QrcInt*)));
    for (int i = 0; i < 3; ++i) {
      t[i] = static_cast<QrcInt*>(o.m->allocate(3 * sizeof(QrcInt)));
      for (int k = 0; k < 3; ++k) t[i][k] = (i < 2 && k < 2 && i != k) ? 1 : 0;
    }
    o.m->add((o.x[0] != o.x[1]).getImpl());
    return QrcPack(load, where, w, n, t);
  };
  r.holds = [form](V s, V x, I in) {
    A load(2, 0);
    int64_t used = 0;
    for (size_t i = 0; i < 3; ++i) {
      if (x[i] < 0 || x[i] > 1) return false;
      load[static_cast<size_t>(x[i])] += in.weights[i];
      used |= int64_t(1) << x[i];
    }
    if (x[3] != load[0] || x[4] != load[1]) return false;
    if (form == Table && x[0] == x[1]) return false;
    if (form == Count || form == Table) return x[5] == pop(used);
    return form != Used || s[0] == used;
  };
  return r;
}

std::vector<Row> catalogue() {
  std::vector<Row> rows = relations();
  for (const auto& part : {compositions(), functions()})
    rows.insert(rows.end(), part.begin(), part.end());
  for (Form f : {Plain, Count, Table, Used})
    rows.push_back(packRow(f == Plain   ? "pack"
                           : f == Count ? "pack with a count"
                           : f == Table ? "pack with a table"
                                        : "pack with used bins",
                           f));
  return rows;
}

Instance draw(const Row& row, Rng& rng) {
  Instance in;
  in.u = row.universe ? row.universe : 2 + static_cast<int>(rng() % 2);
  in.sets = 2 + static_cast<int>(rng() % 2);
  in.mask = static_cast<int64_t>(rng() % 16);
  in.value = static_cast<int64_t>(rng() % 5) - 1;
  for (int x = 0; x < in.u; ++x) {
    in.constants.push_back(static_cast<int64_t>(rng() % static_cast<uint64_t>(in.u)));
    in.signedConstants.push_back(static_cast<int64_t>(rng() % 5) - 2);
  }
  // A set variable serves as F(x) for one x or for several (at most two of
  // them: the searches stay small).
  in.fvars = 1 + static_cast<int>(rng() % 2);
  for (int x = 0; x < in.u; ++x) {
    uint64_t t = x < in.fvars ? static_cast<uint64_t>(x) : rng() % static_cast<uint64_t>(in.fvars);
    in.fmap.push_back(rng() % 6 ? 2 + t : rng() % 2);
  }
  for (int i = 0; i < 3; ++i) in.weights.push_back(static_cast<int64_t>(rng() % 4));
  return in;
}

PropCase caseOf(const Row& row, const Instance& in, uint64_t seed) {
  PropCase c;
  c.name = std::string(row.name) + (in.level >= 0 ? " at level " + std::to_string(in.level) : "");
  c.seed = seed;
  size_t sets = static_cast<size_t>(row.sets == -1   ? in.sets
                                    : row.sets == -2 ? 2 + in.fvars
                                                     : row.sets);
  for (size_t i = 0; i < sets; ++i) {
    c.values.push_back(qrotest::subsets(in.u));
    c.kinds.push_back(&qrotest::intSetKind());
  }
  if (row.ints)
    for (const A& d : row.ints(in)) {
      c.values.push_back(d);
      c.kinds.push_back(nullptr);
    }
  c.make = [row, in, sets](QrcManagerI* m, const Vars& v) {
    Ops o{m, {}, {}};
    for (size_t i = 0; i < v.size(); ++i)
      i < sets ? o.s.push_back(QrcIntSetVar(qrotest::setVarOf(v, i)))
               : o.x.push_back(QrcIntExp(v[i]));
    QrcConstraint ct = row.make(o, in);
    if (in.level >= 0) ct.getImpl()->setFilterLevel(in.level);
    return ct.getImpl();
  };
  c.check = [row, in, sets](const A& a) {
    return row.holds(A(a.begin(), a.begin() + static_cast<long>(sets)),
                     A(a.begin() + static_cast<long>(sets), a.end()), in);
  };
  c.sideForms = 2;
  c.callersCode = row.callersCode;
  c.maxAssignments = 0;
  c.samples = 40;
  c.narrowRuns = 6;
  return c;
}

// The default seed meets a union over a set whose index leaves S as F(x)
// loses a value the index was watched for.
TEST(SetSidesHarness, EveryConstraintBesideSideConstraintsAgainstBruteForce) {
  uint64_t seed = qrotest::caseSeed(9909);
  Rng rng(seed);
  int failures = 0;
  for (const Row& row : catalogue())
    for (QrcInt level : row.levels)
      for (int round = 0; round < row.rounds; ++round) {
        Instance in = draw(row, rng);
        in.level = level;
        PropCase c = caseOf(row, in, rng());
        failures += qrotest::runSideForms(c);
        if (failures > 10) FAIL() << "seed " << seed << ": too many failures";
      }
  EXPECT_EQ(failures, 0) << "seed " << seed;
}

}  // namespace
