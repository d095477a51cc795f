// Functions over the elements of a set variable against brute force through
// the harness, set and integer variables mixed: y == max, min or sum of F(x)
// over S for a constant F and for F(x) a harness variable, with negative,
// zero and positive values; and U2 == QrcUnion(S, F) for a constant, an
// expression and a set-variable F. S has up to 4 indexes and is narrowed at
// random first; each case also runs drawn reified forms of the equality.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "qrcintcompare.h"
#include "qrcintsetcst.h"
#include "qrcsetfunctions.h"
#include "setfunction_tables.h"
#include "support/harness.h"
#include "support/setkind.h"

namespace {

using qrotest::bit;
using qrotest::pop;

using qrotest::PropCase;
using qrotest::Vars;
using settest::ExpTable;
using settest::IntTable;
using settest::SetTable;

typedef std::vector<int64_t> A;

// Narrowing of S before the function is stated.
struct Narrowing {
  int64_t required = 0;
  int64_t possible = 0;
  int64_t cardMin = 0;
  int64_t cardMax = 0;
  bool consistent(int64_t m) const {
    return (m & required) == required && (m & ~possible) == 0 && pop(m) >= cardMin &&
           pop(m) <= cardMax;
  }
  void apply(QrcIntSetVarI* s, int n) const {
    for (QrcInt k = 0; k < n; ++k) {
      if (bit(required, k)) s->addRequired(k);
      if (!bit(possible, k)) s->removePossible(k);
    }
    s->getCardinality()->setRange(cardMin, cardMax);
  }
};

Narrowing randomNarrowing(qrotest::Rng& rng, int n, bool nonEmpty) {
  int64_t full = (int64_t(1) << n) - 1;
  Narrowing w;
  w.possible = full;
  w.cardMax = n;
  if (rng() % 3) {
    int64_t keep = (static_cast<int64_t>(rng()) & full) | (nonEmpty ? 1 : 0);
    w.required = keep & static_cast<int64_t>(rng()) & static_cast<int64_t>(rng());
    w.possible = (keep | static_cast<int64_t>(rng())) & full;
    w.cardMin = static_cast<int64_t>(rng() % static_cast<uint64_t>(pop(keep) + 1));
    w.cardMax = pop(keep) + static_cast<int64_t>(rng() % static_cast<uint64_t>(n - pop(keep) + 1));
  }
  if (nonEmpty && w.cardMin < 1) w.cardMin = 1;
  return w;
}

// ---------------------------------------------------------------- max, min, sum

enum class Fn { Max, Min, Sum };

const char* nameOf(Fn fn) {
  return fn == Fn::Max ? "max" : (fn == Fn::Min ? "min" : "sum");
}

struct FnInstance {
  int n = 0;
  Narrowing s;
  A constants;          // F(x) of a constant F
  std::vector<A> exps;  // domains of the F(x) variables of an expression F
};

// Variables: S, y, then F(0..n-1) for an expression F.
PropCase functionCase(Fn fn, bool expression, const FnInstance& in, uint64_t seed) {
  PropCase c;
  c.callersCode = true;  // the functions are the test's tables
  c.name = std::string("y == ") + nameOf(fn) + (expression ? " of expressions" : " of constants");
  c.seed = seed;
  c.narrowRuns = 30;
  c.samples = 600;
  c.postInSearch = true;
  c.values.push_back(qrotest::subsets(in.n));
  c.kinds.push_back(&qrotest::intSetKind());
  c.values.push_back(fn == Fn::Sum ? qrotest::range(-8, 8) : qrotest::range(-4, 4));
  c.kinds.push_back(nullptr);
  if (expression)
    for (const A& d : in.exps) c.values.push_back(d);
  auto make = [fn, expression, in](QrcManagerI* m, const Vars& v) {
    QrcIntSetVarI* s = qrotest::setVarOf(v, 0);
    in.s.apply(s, in.n);
    QrcIntExp e;
    if (expression) {
      std::vector<QrcIntExpI*> f;
      for (int x = 0; x < in.n; ++x) f.push_back(v[2 + static_cast<size_t>(x)]);
      QrcIntToIntExpFunction g(new (m) ExpTable(m, 0, f));
      e = fn == Fn::Max ? QrcMax(s, g) : (fn == Fn::Min ? QrcMin(s, g) : QrcSum(s, g));
    } else {
      QrcIntToIntFunction g(new (m) IntTable(m, 0, in.constants));
      e = fn == Fn::Max ? QrcMax(s, g) : (fn == Fn::Min ? QrcMin(s, g) : QrcSum(s, g));
    }
    return (QrcIntExp(v[1]) == e).getImpl();
  };
  // Max and min have no value over an empty S (any y then passes), so their
  // truth is only stated when S cannot be empty.
  if (fn == Fn::Sum || in.s.cardMin >= 1) {
    c.make = make;
  } else {
    c.post = [make](QrcManagerI* m, const Vars& v) { m->add(make(m, v)); };
  }
  Narrowing w = in.s;
  c.scope = [w](const A& x) { return w.consistent(x[0]); };
  c.check = [fn, expression, in, w](const A& x) {
    if (!w.consistent(x[0])) return false;
    int64_t acc = fn == Fn::Max ? INT64_MIN : (fn == Fn::Min ? INT64_MAX : 0);
    for (int k = 0; k < in.n; ++k) {
      if (!bit(x[0], k)) continue;
      int64_t f = expression ? x[2 + static_cast<size_t>(k)] : in.constants[static_cast<size_t>(k)];
      acc = fn == Fn::Max ? std::max(acc, f) : (fn == Fn::Min ? std::min(acc, f) : acc + f);
    }
    if (x[0] == 0 && fn != Fn::Sum) return true;
    return x[1] == acc;
  };
  return c;
}

FnInstance functionInstance(qrotest::Rng& rng, bool nonEmpty) {
  FnInstance in;
  in.n = 1 + static_cast<int>(rng() % 4);
  in.s = randomNarrowing(rng, in.n, nonEmpty);
  for (int x = 0; x < in.n; ++x) in.constants.push_back(static_cast<int64_t>(rng() % 7) - 3);
  in.exps = qrotest::randomDomains(rng, in.n, -3, 3, 3);
  return in;
}

void runFunctions(Fn fn, uint64_t base) {
  for (int round = 0; round < 8; ++round) {
    uint64_t seed = qrotest::caseSeed(base + static_cast<uint64_t>(round));
    qrotest::Rng rng(seed);
    FnInstance in = functionInstance(rng, round % 2 == 0);
    for (bool expression : {false, true}) {
      PropCase c = functionCase(fn, expression, in, seed);
      ASSERT_EQ(qrotest::runPropCase(c), 0) << c.name << " seed " << seed;
    }
  }
}

TEST(SetFunctionsHarness, MaximumFindsExactlyTheCheckersSolutions) {
  runFunctions(Fn::Max, 9100);
}

TEST(SetFunctionsHarness, MinimumFindsExactlyTheCheckersSolutions) {
  runFunctions(Fn::Min, 9200);
}

TEST(SetFunctionsHarness, SumFindsExactlyTheCheckersSolutions) {
  runFunctions(Fn::Sum, 9300);
}

// ---------------------------------------------------------------- union

enum class Kind { Constant, Expression, SetVariable };

struct UnionInstance {
  int n = 0;       // indexes of S
  int values = 0;  // universe of U2 and of the F(x)
  Narrowing s;
  A constants;
  std::vector<A> exps;
};

// Variables: S, U2, then F(0..n-1) for an expression or set-variable F.
PropCase unionCase(Kind kind, const UnionInstance& in, uint64_t seed) {
  PropCase c;
  c.callersCode = true;  // the functions are the test's tables
  const char* names[] = {"constants", "expressions", "set variables"};
  c.name = std::string("U2 == union over S of ") + names[static_cast<int>(kind)];
  c.seed = seed;
  c.narrowRuns = 30;
  c.samples = 600;
  c.postInSearch = true;
  c.values.push_back(qrotest::subsets(in.n));
  c.kinds.push_back(&qrotest::intSetKind());
  c.values.push_back(qrotest::subsets(in.values));
  c.kinds.push_back(&qrotest::intSetKind());
  for (int x = 0; x < in.n && kind != Kind::Constant; ++x) {
    if (kind == Kind::Expression) {
      c.values.push_back(in.exps[static_cast<size_t>(x)]);
      c.kinds.push_back(nullptr);
    } else {
      c.values.push_back(qrotest::subsets(in.values));
      c.kinds.push_back(&qrotest::intSetKind());
    }
  }
  c.make = [kind, in](QrcManagerI* m, const Vars& v) {
    QrcIntSetVarI* s = qrotest::setVarOf(v, 0);
    in.s.apply(s, in.n);
    QrcIntSetVar u;
    if (kind == Kind::Constant) {
      u = QrcUnion(s, QrcIntToIntFunction(new (m) IntTable(m, 0, in.constants)));
    } else if (kind == Kind::Expression) {
      std::vector<QrcIntExpI*> f;
      for (int x = 0; x < in.n; ++x) f.push_back(v[2 + static_cast<size_t>(x)]);
      u = QrcUnion(s, QrcIntToIntExpFunction(new (m) ExpTable(m, 0, f)));
    } else {
      std::vector<QrcIntSetVarI*> f;
      for (int x = 0; x < in.n; ++x) f.push_back(qrotest::setVarOf(v, 2 + static_cast<size_t>(x)));
      u = QrcUnion(s, QrcIntToIntSetVarFunction(new (m) SetTable(m, 0, f)));
    }
    return (QrcIntSetVar(qrotest::setVarOf(v, 1)) == u).getImpl();
  };
  Narrowing w = in.s;
  c.scope = [w](const A& x) { return w.consistent(x[0]); };
  c.check = [kind, in, w](const A& x) {
    if (!w.consistent(x[0])) return false;
    int64_t u = 0;
    for (int k = 0; k < in.n; ++k) {
      if (!bit(x[0], k)) continue;
      size_t at = 2 + static_cast<size_t>(k);
      if (kind == Kind::Constant) u |= int64_t(1) << in.constants[static_cast<size_t>(k)];
      if (kind == Kind::Expression) u |= int64_t(1) << x[at];
      if (kind == Kind::SetVariable) u |= x[at];
    }
    return x[1] == u;
  };
  return c;
}

void runUnions(Kind kind, uint64_t base) {
  for (int round = 0; round < 8; ++round) {
    uint64_t seed = qrotest::caseSeed(base + static_cast<uint64_t>(round));
    qrotest::Rng rng(seed);
    UnionInstance in;
    bool sets = kind == Kind::SetVariable;
    in.n = 1 + static_cast<int>(rng() % (sets ? 3 : 4));
    in.values = sets ? 3 : 4;
    in.s = randomNarrowing(rng, in.n, false);
    for (int x = 0; x < in.n; ++x)
      in.constants.push_back(static_cast<int64_t>(rng() % static_cast<uint64_t>(in.values)));
    in.exps = qrotest::randomDomains(rng, in.n, 0, in.values - 1, 3);
    PropCase c = unionCase(kind, in, seed);
    ASSERT_EQ(qrotest::runPropCase(c), 0) << c.name << " seed " << seed;
  }
}

TEST(SetFunctionsHarness, UnionOfConstantsFindsExactlyTheCheckersSolutions) {
  runUnions(Kind::Constant, 9400);
}

TEST(SetFunctionsHarness, UnionOfExpressionsFindsExactlyTheCheckersSolutions) {
  runUnions(Kind::Expression, 9500);
}

TEST(SetFunctionsHarness, UnionOfSetVariablesFindsExactlyTheCheckersSolutions) {
  runUnions(Kind::SetVariable, 9600);
}

}  // namespace
