// Comparison constraints, linear forms, truth expressions, the objective
// filter, savers and link constraints of nodes turned into variables. The
// objective filter and the saver are private to the integer layer
// (qrcinttruth.h): they are checked here without a search around them.
#include <cmath>
#include <functional>

#include "int_fixtures.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcinttruth.h"
#include "qrcsearch.h"
#include "support/harness.h"

namespace inttest {
namespace {

typedef std::vector<int64_t> A;

QrcIntExp X(const qrotest::Vars& v, size_t i) {
  return QrcIntExp(v[i]);
}

struct CompareCase {
  const char* name;
  int arity;
  std::function<QrcConstraint(const qrotest::Vars&)> make;
  std::function<bool(const A&)> check;
  qrotest::Consistency level;
};

std::vector<CompareCase> compareCases() {
  using qrotest::Consistency;
  return {
      {"x == 2", 1, [](const qrotest::Vars& v) { return X(v, 0) == 2; },
       [](const A& a) { return a[0] == 2; }, Consistency::Domain},
      {"x != 1", 1, [](const qrotest::Vars& v) { return X(v, 0) != 1; },
       [](const A& a) { return a[0] != 1; }, Consistency::Domain},
      {"x <= 1", 1, [](const qrotest::Vars& v) { return X(v, 0) <= 1; },
       [](const A& a) { return a[0] <= 1; }, Consistency::Bounds},
      {"-1 <= x", 1, [](const qrotest::Vars& v) { return -1 <= X(v, 0); },
       [](const A& a) { return a[0] >= -1; }, Consistency::Bounds},
      {"x > 0", 1, [](const qrotest::Vars& v) { return X(v, 0) > 0; },
       [](const A& a) { return a[0] > 0; }, Consistency::Bounds},
      {"2 > x", 1, [](const qrotest::Vars& v) { return 2 > X(v, 0); },
       [](const A& a) { return a[0] < 2; }, Consistency::Bounds},
      {"x == y", 2, [](const qrotest::Vars& v) { return X(v, 0) == X(v, 1); },
       [](const A& a) { return a[0] == a[1]; }, Consistency::Domain},
      {"x != y", 2, [](const qrotest::Vars& v) { return X(v, 0) != X(v, 1); },
       [](const A& a) { return a[0] != a[1]; }, Consistency::Domain},
      // Sums of a variable and a constant on either side: demons on the variables.
      {"x + 2 != y - 1", 2, [](const qrotest::Vars& v) { return X(v, 0) + 2 != X(v, 1) - 1; },
       [](const A& a) { return a[0] + 2 != a[1] - 1; }, Consistency::Domain},
      {"x != y + 1", 2, [](const qrotest::Vars& v) { return X(v, 0) != X(v, 1) + 1; },
       [](const A& a) { return a[0] != a[1] + 1; }, Consistency::Domain},
      {"x - 1 != 2 + x", 1, [](const qrotest::Vars& v) { return X(v, 0) - 1 != 2 + X(v, 0); },
       [](const A&) { return true; }, Consistency::Domain},
      {"x <= y", 2, [](const qrotest::Vars& v) { return X(v, 0) <= X(v, 1); },
       [](const A& a) { return a[0] <= a[1]; }, Consistency::Bounds},
      {"x < y", 2, [](const qrotest::Vars& v) { return X(v, 0) < X(v, 1); },
       [](const A& a) { return a[0] < a[1]; }, Consistency::Bounds},
      {"x >= y", 2, [](const qrotest::Vars& v) { return X(v, 0) >= X(v, 1); },
       [](const A& a) { return a[0] >= a[1]; }, Consistency::Bounds},
      {"x > y", 2, [](const qrotest::Vars& v) { return X(v, 0) > X(v, 1); },
       [](const A& a) { return a[0] > a[1]; }, Consistency::Bounds},
      {"x <= y + 2", 2, [](const qrotest::Vars& v) { return QrcLeOffset(X(v, 0), X(v, 1), 2); },
       [](const A& a) { return a[0] <= a[1] + 2; }, Consistency::Bounds},
      {"x + y == z", 3, [](const qrotest::Vars& v) { return X(v, 0) + X(v, 1) == X(v, 2); },
       [](const A& a) { return a[0] + a[1] == a[2]; }, Consistency::None},
      {"x + y + z == w", 4,
       [](const qrotest::Vars& v) { return X(v, 0) + X(v, 1) + X(v, 2) == X(v, 3); },
       [](const A& a) { return a[0] + a[1] + a[2] == a[3]; }, Consistency::None},
      {"2x - y + z <= w + 1", 4,
       [](const qrotest::Vars& v) { return X(v, 0) * 2 - X(v, 1) + X(v, 2) <= X(v, 3) + 1; },
       [](const A& a) { return 2 * a[0] - a[1] + a[2] <= a[3] + 1; }, Consistency::None},
      {"x - y + z >= 1", 3, [](const qrotest::Vars& v) { return X(v, 0) - X(v, 1) + X(v, 2) >= 1; },
       [](const A& a) { return a[0] - a[1] + a[2] >= 1; }, Consistency::None},
      {"3 >= x + y - z", 3, [](const qrotest::Vars& v) { return 3 >= X(v, 0) + X(v, 1) - X(v, 2); },
       [](const A& a) { return 3 >= a[0] + a[1] - a[2]; }, Consistency::None},
      {"abs(x) != y", 2, [](const qrotest::Vars& v) { return QrcAbs(X(v, 0)) != X(v, 1); },
       [](const A& a) { return std::llabs(a[0]) != a[1]; }, Consistency::None},
      {"x * y == z", 3, [](const qrotest::Vars& v) { return X(v, 0) * X(v, 1) == X(v, 2); },
       [](const A& a) { return a[0] * a[1] == a[2]; }, Consistency::None},
      // Ranges over a node, one demon narrowing both bounds: terms c * x of a
      // scalar product, a product.
      {"1 <= x + 2y - 3z <= 4", 3,
       [](const qrotest::Vars& v) {
         QrcManager m(v[0]->getManager());
         QrcIntVarArray x(m, 3);
         for (int i = 0; i < 3; ++i) x.set(i, X(v, static_cast<size_t>(i)));
         QrcInt c[] = {1, 2, -3};
         return QrcConstraint(QrcMakeIntRange(QrcScalProd(x, QrcIntArray(m, 3, c)), 1, 4));
       },
       [](const A& a) {
         return 1 <= a[0] + 2 * a[1] - 3 * a[2] && a[0] + 2 * a[1] - 3 * a[2] <= 4;
       },
       Consistency::Bounds},
      {"-2 <= x * y <= 3", 2,
       [](const qrotest::Vars& v) {
         return QrcConstraint(QrcMakeIntRange(X(v, 0) * X(v, 1), -2, 3));
       },
       [](const A& a) { return -2 <= a[0] * a[1] && a[0] * a[1] <= 3; }, Consistency::None},
      // Connectives and truths as operands, which the reified forms nest.
      {"(x <= 0) || (y >= 1)", 2,
       [](const qrotest::Vars& v) { return (X(v, 0) <= 0) || (X(v, 1) >= 1); },
       [](const A& a) { return a[0] <= 0 || a[1] >= 1; }, Consistency::None},
      {"(x == y) && (x != 1)", 2,
       [](const qrotest::Vars& v) { return (X(v, 0) == X(v, 1)) && (X(v, 0) != 1); },
       [](const A& a) { return a[0] == a[1] && a[0] != 1; }, Consistency::None},
      {"(x < y) == (y <= 0)", 2,
       [](const qrotest::Vars& v) { return (X(v, 0) < X(v, 1)) == (X(v, 1) <= 0); },
       [](const A& a) { return (a[0] < a[1]) == (a[1] <= 0); }, Consistency::None},
      {"(x != y) != (x >= 1)", 2,
       [](const qrotest::Vars& v) { return (X(v, 0) != X(v, 1)) != (X(v, 0) >= 1); },
       [](const A& a) { return (a[0] != a[1]) != (a[0] >= 1); }, Consistency::None},
      {"!(x + y <= 1)", 2, [](const qrotest::Vars& v) { return !(X(v, 0) + X(v, 1) <= 1); },
       [](const A& a) { return a[0] + a[1] > 1; }, Consistency::None},
      {"truth(x <= y) + truth(y == z) == 1", 3,
       [](const qrotest::Vars& v) {
         return QrcIntExp(X(v, 0) <= X(v, 1)) + QrcIntExp(X(v, 1) == X(v, 2)) == 1;
       },
       [](const A& a) { return (a[0] <= a[1]) + (a[1] == a[2]) == 1; }, Consistency::None},
      {"2 * truth(x > 0) - truth(y != 1) >= z", 3,
       [](const qrotest::Vars& v) {
         return QrcIntExp(X(v, 0) > 0) * 2 - QrcIntExp(X(v, 1) != 1) >= X(v, 2);
       },
       [](const A& a) { return 2 * (a[0] > 0) - (a[1] != 1) >= a[2]; }, Consistency::None},
  };
}

TEST(Comparisons, EveryComparisonAgreesWithBruteForce) {
  uint64_t seed = qrotest::caseSeed(31);
  qrotest::Rng rng(seed);
  for (const CompareCase& cc : compareCases()) {
    for (int round = 0; round < 4; ++round) {
      qrotest::PropCase c;
      c.name = cc.name;
      c.values = round == 0 ? qrotest::ranges(cc.arity, -3, 3)
                            : qrotest::randomDomains(rng, cc.arity, -4, 4, 5);
      auto make = cc.make;
      c.make = [make](QrcManagerI*, const qrotest::Vars& v) { return make(v).getImpl(); };
      c.check = cc.check;
      c.level = cc.level;
      c.seed = seed + static_cast<uint64_t>(round);
      ASSERT_EQ(qrotest::runPropCase(c), 0) << cc.name << " round " << round;
    }
  }
}

// The unary and binary comparisons over domains just inside the engine's
// limit of 2^53 - 1 (and its opposite).
TEST(Comparisons, ComparisonsAtTheLimitAgreeWithBruteForce) {
  uint64_t seed = qrotest::caseSeed(57);
  qrotest::Rng rng(seed);
  const int64_t L = QrcIntMax;
  const int64_t bases[] = {-L + 1, L - 6, -L + 3, L - 2 * 5,
                           -2};  // +-L themselves stand for infinity
  for (const CompareCase& cc : compareCases()) {
    // Wider forms have partial sums beyond the limit, where nodes clamp their
    // bounds and the comparisons test exact values. (The checkers of the
    // products would overflow.)
    if (std::string(cc.name).find('*') != std::string::npos) continue;
    for (int round = 0; round < 3; ++round) {
      qrotest::PropCase c;
      c.name = std::string(cc.name) + " at the limit";
      for (int i = 0; i < cc.arity; ++i) {
        int64_t b = bases[rng() % 5];
        c.values.push_back(qrotest::range(b, b + 4 + static_cast<int64_t>(rng() % 2)));
      }
      auto make = cc.make;
      c.make = [make](QrcManagerI*, const qrotest::Vars& v) { return make(v).getImpl(); };
      c.check = cc.check;
      // Clamped bounds prune less: no consistency past the limit.
      c.level = cc.arity > 2 ? qrotest::Consistency::None : cc.level;
      c.seed = seed + static_cast<uint64_t>(round);
      ASSERT_EQ(qrotest::runPropCase(c), 0) << cc.name << " round " << round;
    }
  }
}

// Every comparison's truth equal to a 0-1 variable, and its opposite's, in
// each mode and timing of the variable.
TEST(Comparisons, TruthExpressionsReifyConstraints) {
  uint64_t seed = qrotest::caseSeed(8);
  qrotest::Rng rng(seed);
  std::vector<CompareCase> cases = compareCases();
  for (size_t k = 0; k < cases.size(); ++k) {
    const CompareCase& cc = cases[k];
    qrotest::PropCase c;
    c.name = cc.name;
    c.values = qrotest::randomDomains(rng, cc.arity, -3, 3, 4);
    auto make = cc.make;
    c.make = [make](QrcManagerI*, const qrotest::Vars& v) { return make(v).getImpl(); };
    c.check = cc.check;
    c.seed = seed + k;
    for (const qrotest::ReifiedForm& f : qrotest::allReifiedForms(c, rng)) {
      if (f.shape != qrotest::Shape::Truth && f.shape != qrotest::Shape::OppositeTruth) continue;
      qrotest::PropCase t = qrotest::reifiedForm(c, f);
      ASSERT_EQ(qrotest::runPropCase(t), 0) << t.name;
    }
  }
}

TEST(Comparisons, NodesTurnedIntoVariablesAgreeWithBruteForce) {
  uint64_t seed = qrotest::caseSeed(99);
  qrotest::Rng rng(seed);
  struct L {
    const char* name;
    std::function<QrcIntExp(const QrcIntExp&)> node;
    std::function<int64_t(int64_t)> f;
    bool domain = true;  // the link promises domain consistency
  };
  std::vector<L> links = {
      {"x + 3", [](const QrcIntExp& x) { return x + 3; }, [](int64_t x) { return x + 3; }},
      {"4 - x", [](const QrcIntExp& x) { return 4 - x; }, [](int64_t x) { return 4 - x; }},
      {"-x", [](const QrcIntExp& x) { return -x; }, [](int64_t x) { return -x; }},
      // The abs and square links follow the operand's removed values, not its
      // bound moves: a mirrored value can stay without support.
      {"abs(x)", [](const QrcIntExp& x) { return QrcAbs(x); },
       [](int64_t x) { return x < 0 ? -x : x; }, false},
      {"x * x", [](const QrcIntExp& x) { return QrcSquare(x); }, [](int64_t x) { return x * x; },
       false},
      {"x * -2", [](const QrcIntExp& x) { return x * -2; }, [](int64_t x) { return x * -2; },
       false},
      {"x / 2", [](const QrcIntExp& x) { return x / 2; }, [](int64_t x) { return x / 2; }, false},
      {"min(x, 1)", [](const QrcIntExp& x) { return QrcMin(x, 1); },
       [](int64_t x) { return x < 1 ? x : 1; }, false},
      {"max(x, -1)", [](const QrcIntExp& x) { return QrcMax(x, -1); },
       [](int64_t x) { return x > -1 ? x : -1; }, false},
  };
  for (const L& l : links) {
    for (int round = 0; round < 3; ++round) {
      qrotest::PropCase c;
      c.name = std::string("q == var(") + l.name + ")";
      c.values = qrotest::randomDomains(rng, 1, -5, 5, 8);
      c.values.push_back(qrotest::randomDomains(rng, 1, -6, 12, 12)[0]);
      auto node = l.node;
      auto f = l.f;
      c.make = [node](QrcManagerI*, const qrotest::Vars& v) {
        QrcIntVar e(node(X(v, 0)));
        return (QrcIntExp(v[1]) == e).getImpl();
      };
      c.check = [f](const A& a) { return a[1] == f(a[0]); };
      c.level = l.domain ? qrotest::Consistency::Domain : qrotest::Consistency::None;
      c.seed = seed + static_cast<uint64_t>(round);
      ASSERT_EQ(qrotest::runPropCase(c), 0) << c.name;
    }
  }
}

// ---------------------------------------------------------------- makers and print forms

std::string show(const QrcConstraint& c) {
  std::ostringstream os;
  os << c;
  return os.str();
}

TEST_F(IntTest, MakersFoldAndPrint) {
  QrcIntVar x(mgr, 0, 10, "x"), y(mgr, 0, 10, "y");
  QrcConstraint ge = 3 <= x;
  EXPECT_EQ(show(ge), "(3 <= x[0..10])");
  EXPECT_EQ(show(ge.getOpposite()), "(x[0..10] <= 2)");
  EXPECT_EQ(show(x < y), "(x[0..10] <= -1 + y[0..10])");
  EXPECT_EQ(show(x > y), "(-1 + x[0..10] >= y[0..10])");
  EXPECT_EQ(show(x >= y), "(x[0..10] >= y[0..10])");
  EXPECT_EQ(show(x == y), "(x[0..10] == y[0..10])");
  EXPECT_EQ(show(x != 4), "(x[0..10] != 4)");
  QrcInt vals[] = {1, 3};
  QrcIntVar h(mgr, QrcIntArray(mgr, 2, vals));
  EXPECT_EQ((h == 2).getImpl(), m->getFalseConstraint());
  EXPECT_EQ((h != 2).getImpl(), m->getTrueConstraint());
  QrcIntVar five(mgr, 5, 5);
  EXPECT_EQ((five == 5).getImpl(), m->getTrueConstraint());
  EXPECT_EQ((x <= x + 0).getImpl(), m->getTrueConstraint());
  EXPECT_EQ((x < x).getImpl(), m->getFalseConstraint());
  QrcConstraint le = QrcLeOffset(x, y, 4);
  EXPECT_EQ(le.getOpposite().getOpposite().getImpl(), le.getImpl());
  EXPECT_EQ(show(le.getOpposite()), "(-5 + x[0..10] >= y[0..10])");
  EXPECT_EQ((x < QrcInt(INT64_MIN)).getImpl(), m->getFalseConstraint());
}

class Terms : public QrcLinearAccumulatorI {
 public:
  void addIntVarTerm(QrcIntExpI*, QrcInt) override {}
  void addIntConstant(QrcInt) override {}
  void addVarTerm(QrcIntExpI*, double) override {}
  void addExpTerm(QrcIntExpI*, double) override {}
  void addConstant(double) override {}
};

TEST_F(IntTest, LinearFormsNormalise) {
  QrcIntVar a(mgr, 0, 10, "a"), b(mgr, 0, 10, "b"), c(mgr, 0, 10, "c"), d(mgr, 0, 10, "d");
  QrcIntExp e = a + b + a - b + 3;
  QrcLinIntExpI* l = new (m) QrcLinIntExpI(e.getImpl());
  ASSERT_EQ(l->getCount(), 1);
  EXPECT_EQ(l->getVars()->getVar(0), a.getImpl());
  EXPECT_EQ(l->getCoefs()[0], 2);
  EXPECT_EQ(l->getConstant(), 3);
  EXPECT_EQ(a.getImpl()->getBoundsStamp(), 0);  // the marks are put back

  QrcLinIntExpI* four = new (m) QrcLinIntExpI((a + b + c - d).getImpl());
  ASSERT_EQ(four->getCount(), 4);
  std::ostringstream os;
  os << four->getCoefs();
  EXPECT_EQ(os.str(), "[1 1 1 -1]");
  EXPECT_EQ(four->getVars()->getVar(3), d.getImpl());
  QrcConstraint eq = a + b + c == d;
  QrcEqCstConstraint* ec = dynamic_cast<QrcEqCstConstraint*>(eq.getImpl());
  ASSERT_NE(ec, nullptr);
  EXPECT_EQ(ec->getConstant(), 0);
  QrcArraySumI* sum = dynamic_cast<QrcArraySumI*>(ec->getExpr());
  ASSERT_NE(sum, nullptr);
  EXPECT_EQ(sum->getSize(), 4);
  QrcConstraint two = a + b == c;
  EXPECT_NE(dynamic_cast<QrcEqConstraint*>(two.getImpl()), nullptr);
}

// ---------------------------------------------------------------- truth, objective, saver

TEST_F(IntTest, TruthExpressionFollowsItsConstraint) {
  QrcIntVar x(mgr, 0, 10), y(mgr, 0, 10);
  QrcIntExp t = (x <= y);
  EXPECT_EQ(str(t.getImpl()), "[0..1]");
  m->pushState();
  t.setValue(1);
  x.setMin(5);
  EXPECT_EQ(y.getMin(), 5);
  m->popState();
  m->pushState();
  t.setValue(0);
  EXPECT_EQ(x.getMin(), 1);
  m->popState();
  QrcIntExp u = (x <= 3);
  x.setMax(2);
  EXPECT_EQ(str(u.getImpl()), "[1]");
  EXPECT_THROW(u.setValue(0), QrcFailException);
}

TEST_F(IntTest, ObjectiveFilterTightensTheBound) {
  QrcIntVar obj(mgr, 0, 1000);
  QrcIntOptFilterI f(obj.getImpl(), 1, 0);
  EXPECT_EQ(f.getBound(), HUGE_VAL);
  obj.setValue(10);
  EXPECT_EQ(f.nextBound(), 9);
  EXPECT_EQ(f.getBound(), 10);
  QrcIntVar big(mgr, 200, 200);
  QrcIntOptFilterI rel(big.getImpl(), 1, 0.1);
  EXPECT_EQ(rel.nextBound(), 180);
  QrcIntOptFilterI c(obj.getImpl(), 2, 0);
  EXPECT_EQ(c.check(5000), 5000);
  EXPECT_FALSE(c.hasBound());
  EXPECT_EQ(c.check(7), 5);
}

TEST_F(IntTest, SaverRestoresTheWholeInterval) {
  QrcIntVar x(mgr, 0, 10);
  x.removeValue(5);
  x.setRange(2, 8);
  QrcIntSaverI* s = static_cast<QrcIntSaverI*>(x.getImpl()->makeSaver());
  m->pushState();
  x.setRange(3, 4);
  s->restore();
  EXPECT_EQ(str(x.getImpl()), "[2..8]");
  m->popState();
  EXPECT_EQ(str(x.getImpl()), "[2..4 6..8]");
}

TEST_F(IntTest, MinimisingSearchImprovesEachSolution) {
  QrcIntVarArray xy(mgr, 2, 0, 9);
  QrcIntVar x = xy[0], y = xy[1];
  m->add((x + y >= 7).getImpl());
  QrcIntExp obj = x * 3 - y;
  QrcSearch s(mgr, QrcGoal(new (m) LabelArray(m, xy.getImpl())));
  obj.getImpl()->setObjMin(1, 0);
  std::string seen;
  while (s.next()) seen += std::to_string(obj.getMin()) + " ";
  s.end();
  EXPECT_EQ(seen, "-7 -8 -9 ");
}

// ---------------------------------------------------------------- link constraints

TEST_F(IntTest, ExpressionsAndConstraintsCopyIntoAnotherManager) {
  QrcIntVar x(mgr, 0, 9), y(mgr, 0, 9);
  x.removeValue(4);
  QrcIntExp e = QrcAbs(x - y) * 2 + 1;
  QrcConstraint ct = e <= 7;
  QrcManager other(QrcNoEdit);
  QrcManagerI* o = other.getImpl();
  o->useExceptions(true);
  // One copy session: shared operands are copied once.
  bool opened = QrcOpenCopy(o);
  QrcConstraintI* copy = ct.getImpl()->getCopyForManager(o);
  QrcIntExpI* xc = static_cast<QrcIntExpI*>(x.getImpl()->getCopyForManager(o));
  QrcIntExpI* yc = static_cast<QrcIntExpI*>(y.getImpl()->getCopyForManager(o));
  QrcCloseCopy(o, opened);
  EXPECT_EQ(show(copy), show(ct));
  EXPECT_EQ(str(xc), "[0..3 5..9]");
  EXPECT_EQ(xc->getManager(), o);
  o->add(copy);
  xc->setValue(9);
  EXPECT_EQ(yc->getMin(), 6);
  EXPECT_EQ(y.getMin(), 0);
  other.end();
}

TEST_F(IntTest, OffsetVariableKeepsHolesInStep) {
  QrcInt vals[] = {1, 4, 6};
  QrcIntVar x(mgr, QrcIntArray(mgr, 3, vals));
  QrcIntVar e(x + 3);
  EXPECT_EQ(str(e.getImpl()), "[4 7 9]");
  e.removeValue(7);
  EXPECT_EQ(str(x.getImpl()), "[1 6]");
  QrcIntVar a(mgr, -3, 3);
  QrcIntVar ab(QrcAbs(a));
  ab.removeValue(2);
  EXPECT_EQ(str(a.getImpl()), "[-3 -1..1 3]");
  a.removeValue(-1);
  a.removeValue(1);
  EXPECT_EQ(str(ab.getImpl()), "[0 3]");
  QrcIntVar s(mgr, -3, 3);
  QrcIntVar sq(QrcSquare(s));
  EXPECT_EQ(str(sq.getImpl()), "[0..1 4 9]");
  sq.setMax(3);
  EXPECT_EQ(str(s.getImpl()), "[-1..1]");
}

TEST_F(IntTest, LinkScansDomainsUpTo4999Values) {
  for (QrcInt n : {4999, 5000}) {
    QrcIntVar x(mgr, 0, n - 1);
    x.removeValue(100);
    QrcIntVar e(QrcIntExp(x) + 1);
    // x has n - 1 values and is scanned; e has n values and is scanned only below 5000.
    EXPECT_EQ(e.isInDomain(101), n == 5000) << n;
  }
}

}  // namespace
}  // namespace inttest

namespace inttest {
namespace {

// Failures leave propagation by a non-local jump in the default mode.
TEST(QueensDefaultMode, CountsSolutionsWithPairwiseDisequalities) {
  const int counts[] = {1, 0, 0, 2, 10, 4, 40, 92};
  for (int n = 1; n <= 8; ++n) {
    QrcManager mgr(QrcNoEdit);
    QrcManagerI* m = mgr.getImpl();
    QrcIntVarArray q(mgr, n, 0, n - 1);
    for (int i = 0; i < n; ++i)
      for (int j = i + 1; j < n; ++j) {
        mgr.add(q[i] != q[j]);
        mgr.add(q[i] + i != q[j] + j);
        mgr.add(q[i] - i != q[j] - j);
      }
    int found = 0;
    QrcSearch s(mgr, QrcGoal(new (m) LabelArray(m, q.getImpl())));
    while (s.next()) {
      for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) {
          EXPECT_NE(q[i].getValue(), q[j].getValue());
          EXPECT_NE(std::llabs(q[i].getValue() - q[j].getValue()), j - i);
        }
      ++found;
    }
    s.end();
    EXPECT_EQ(found, counts[n - 1]) << n;
    mgr.end();
  }
}

}  // namespace
}  // namespace inttest

namespace inttest {
namespace {

// Fail traps bind the truth variable of a failing constraint to 0.
TEST_F(IntTest, FailTrapBindsTruthVariableToZero) {
  QrcIntVar x(mgr, 0, 3), b(mgr, 0, 1);
  QrcConstraintI* ct = (x >= 5).getImpl();  // folds to the false constraint
  QrcConstraintI* le = new (m) QrcGeCstConstraint(x.getImpl(), 5, 0);
  le->setFailureVariable(b.getImpl());
  QrcTryCatchFailCtI trap(m, le);
  EXPECT_FALSE(trap.run());
  EXPECT_EQ(str(b.getImpl()), "[0]");
  EXPECT_EQ(ct, m->getFalseConstraint());
  QrcIntVar one(mgr, 1, 1);
  le->setFailureVariable(one.getImpl());
  QrcTryCatchFailCtI again(m, le);
  EXPECT_THROW(again.run(), QrcFailException);
}

}  // namespace
}  // namespace inttest
