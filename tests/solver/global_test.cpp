// The builders of the global and placement constraints, driven through
// test-only modelling classes whose hook records hold one-line hooks over
// them: random models against brute force, size and type checks, remove
// helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <sstream>
#include <tuple>

#include "extra_support.h"
#include "global_rows.h"
#include "row_support.h"
#include "qrooperators.h"
#include "qrorange.h"
#include "qrosolver.h"
#include "qrosolveri.h"
#include "qrointset.h"
#include "qrosolverextractor.h"
#include "qrcconstraint.h"
#include "qrcfilterlevel.h"
#include "qrcint.h"
#include "support/harness.h"
#include "support/model_search.h"
#include "support/seed.h"

using solvertest::arrayOf;
using solvertest::box;
using solvertest::Fields;
using solvertest::intsOf;
using solvertest::madeNodes;
using solvertest::Row;
using solvertest::rowConstraint;
using solvertest::RowExtract;
using solvertest::RowNode;
using solvertest::RowRemove;
using solvertest::rows;
using solvertest::TestTupleSetI;
using solvertest::Values;

TEST(GlobalBuilders, RandomModelsMatchBruteForce) {
  uint64_t seed = qrotest::seedOr(3519);
  std::mt19937_64 rng(seed);
  for (const Row& row : rows()) {
    for (int round = 0; round < 3; ++round) {
      qrotest::ModelCase c;
      c.name = std::string(row.name) + " seed " + std::to_string(seed) + " round " +
               std::to_string(round);
      c.values = round == 0 ? qrotest::ranges(row.n, row.lo, row.hi)
                            : qrotest::randomDomains(rng, row.n, row.lo, row.hi,
                                                     static_cast<int>(row.hi - row.lo));
      c.auxiliaries = row.auxiliaries;
      c.callersCode = row.callersCode;
      Row copy = row;
      // The shape of a row that draws one (its pack pairs): new at each round.
      uint64_t shape = 3 * seed + static_cast<uint64_t>(round);
      c.build = [copy, shape](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
        std::mt19937_64 local(shape);
        if (copy.build)
          copy.build(env, m, v);
        else
          m.add(copy.node(env, v, local));
      };
      c.check = [copy, shape](const Values& a) { return copy.check(a, shape); };
      EXPECT_EQ(qrotest::checkModelCase(c), 0) << c.name;
    }
  }
}

// Items 0 and 2 of weights 1 and 2 are a pair: once item 0 is in bin 1, item
// 2 must not follow it there, whichever order the search binds them in.
TEST(GlobalBuilders, PackPairsGoIntoDifferentBins) {
  const struct {
    const char* row;
    std::vector<std::vector<int64_t>> values;
  } cases[] = {
      {"PackWithPairsNoCount", {{2}, {3}, {0, 1}, {0, 1}, {0, 1}}},
      {"PackWithPairs", {{2}, {3}, {0, 1}, {0, 1}, {0, 1}, {0, 1, 2}}},
      {"PackWithPairsNoCount", {{2}, {3}, {1}, {0, 1}, {0, 1}}},
      {"PackWithPairsNoCount", {{0, 1, 2, 3}, {0, 1, 2, 3, 4}, {0, 1}, {0, 1}, {0, 1}}},
  };
  for (const auto& t : cases) {
    for (const Row& row : rows()) {
      if (std::string(row.name) != t.row) continue;
      qrotest::ModelCase c;
      c.name = row.name;
      c.values = t.values;
      c.build = [row](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
        std::mt19937_64 local(1);
        m.add(row.node(env, v, local));
      };
      c.check = [row](const Values& a) { return row.check(a, 0); };
      EXPECT_EQ(qrotest::checkModelCase(c), 0) << c.name;
    }
  }
}

namespace {

// A solver over an empty model, to extract nodes into one by one.
struct Bench {
  QroEnv env;
  QroModel model;
  QroSolver solver;
  Bench() : env(), model(env), solver(model) {}
  ~Bench() {
    solver.end();
    env.end();
  }
  QroSolverI* s() const { return solver.getImpl(); }
  std::vector<QroNumVar> vars(int n, QroNumVar::Type type = QroNumVar::Int) {
    std::vector<QroNumVar> v;
    for (int i = 0; i < n; ++i) v.push_back(QroNumVar(env, 0, 2, type));
    return v;
  }
  // The message of the solver exception that extracting x throws.
  template <class E>
  std::string failure(QroExtractableI* x) {
    try {
      x->extract(s());
    } catch (const E& e) {
      return e.getMessage();
    }
    return "<nothing thrown>";
  }
};

}  // namespace

TEST(GlobalBuilders, SizeChecks) {
  Bench b;
  std::vector<QroNumVar> v = b.vars(6);
  Fields f;
  f.a[0] = arrayOf(b.env, v, 0, 3);
  f.a[1] = arrayOf(b.env, v, 3, 3);
  f.ints[0] = intsOf(b.env, {0, 1});
  RowExtract distribute = [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
    return extractDistribute(a, x, g.a[0], g.a[1], g.ints[0]);
  };
  QroConstraintI* d = rowConstraint<30>(b.env, f, distribute, nullptr);
  QrcInt before = b.s()->getManager()->getConstraintCount();
  EXPECT_EQ(b.failure<QroSolver::BadParameterType>(d),
            "Distribute: cardinality and value arrays are of different size");
  EXPECT_EQ(b.s()->getManager()->getConstraintCount(), before);
  EXPECT_FALSE(b.s()->isExtracted(d));
  // The two variable arrays were extracted first.
  EXPECT_TRUE(b.s()->isExtracted(v[5].getImpl()));

  // The path lengths are compared before anything is extracted.
  std::vector<QroNumVar> w = b.vars(5);
  Fields p;
  p.a[0] = arrayOf(b.env, w, 0, 3);
  p.a[1] = arrayOf(b.env, w, 3, 2);
  QroConstraintI* path = rowConstraint<31>(
      b.env, p,
      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
        return extractPathLength(a, x, g.a[0], g.a[1], nullptr, 0);
      },
      nullptr);
  EXPECT_EQ(b.failure<QroSolver::BadParameterType>(path),
            "PathLength: variable arrays of different size");
  for (const QroNumVar& x : w) EXPECT_FALSE(b.s()->isExtracted(x.getImpl()));
}

// Float operands of the element and member builders.
TEST(GlobalBuilders, TypeChecks) {
  Bench b;
  std::vector<QroNumVar> ints = b.vars(2), floats = b.vars(2, QroNumVar::Float);
  auto element = [&](const QroNumVar& e0, const QroNumVar& index) {
    Fields g;
    g.a[0] = arrayOf(b.env, {ints[0], e0}, 0, 2);
    g.child[0] = index.getImpl();
    return new (b.env.getImpl()) RowNode<32, QroIntExprI>(
        b.env.getImpl(), g,
        [](QroAlgorithmI* a, QroExtractableI* x, const Fields& h) {
          return extractElement(a, x, h.a[0], h.child[0]);
        },
        nullptr);
  };
  EXPECT_EQ(b.failure<QroSolver::WrongType>(element(floats[0], ints[1])),
            "You tried to create an element constraint with an floating point array");
  EXPECT_EQ(b.failure<QroSolver::WrongType>(element(ints[1], floats[1])),
            "You tried to create an element constraint with an floating point index");
  Fields m;
  m.child[0] = floats[0].getImpl();
  m.nums = QroNumArray(b.env, 1);
  QroConstraintI* member = rowConstraint<33>(
      b.env, m,
      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
        return extractArrayMember(a, x, g.child[0], g.nums);
      },
      nullptr);
  EXPECT_EQ(b.failure<QroSolver::UnimplementedFeature>(member),
            "Please Implement me : QroDefaultCPExtarctorI::extractArrayMember with float "
            "expression.");
}

// Five pairs over four items of weight 1 in three bins (the pairs 0-1, 1-2,
// 2-3, 0-3 and 0-2 leave 1 and 3 to share a bin): every pair is kept apart.
TEST(GlobalBuilders, PackKeepsEveryPairApart) {
  const std::vector<int64_t> pairs = {0, 1, 1, 2, 2, 3, 0, 3, 0, 2};
  qrotest::ModelCase c;
  c.name = "five pairs";
  c.values = qrotest::ranges(8, 0, 3);
  c.build = [pairs](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
    Fields f;
    f.a[0] = arrayOf(env, v, 0, 3);
    f.a[1] = arrayOf(env, v, 3, 4);
    f.ints[0] = intsOf(env, {1, 1, 1, 1});
    f.child[0] = v[7].getImpl();
    f.ints[1] = intsOf(env, pairs);
    m.add(solvertest::packNode<38>(env, f));
  };
  const std::vector<int64_t> weights = {1, 1, 1, 1};
  c.check = [weights, pairs](const Values& a) {
    return solvertest::packs(a, weights, pairs, true);
  };
  EXPECT_EQ(qrotest::checkModelCase(c), 0);
  EXPECT_EQ(qrotest::checkerSolutions(c).size(), 6u);
}

// Item pairs of a pack are checked before the constraint is made.
TEST(GlobalBuilders, PackPairsAreChecked) {
  const struct {
    std::vector<int64_t> pairs;
    const char* message;
  } cases[] = {
      {{0, 1, 2}, "Pack: item pairs are given two by two"},
      {{0, 3}, "Pack: item pair out of range"},
      {{-1, 0}, "Pack: item pair out of range"},
      {{1, 1}, "Pack: an item pair names one item twice"},
  };
  for (const auto& t : cases) {
    Bench b;
    std::vector<QroNumVar> v = b.vars(6);
    Fields f;
    f.a[0] = arrayOf(b.env, v, 0, 2);
    f.a[1] = arrayOf(b.env, v, 2, 3);
    f.ints[0] = intsOf(b.env, {1, 2, 2});
    f.child[0] = v[5].getImpl();
    f.ints[1] = intsOf(b.env, t.pairs);
    QroConstraintI* pack = solvertest::packNode<37>(b.env, f, false);
    QrcInt before = b.s()->getManager()->getConstraintCount();
    EXPECT_EQ(b.failure<QroSolver::BadParameterType>(pack), t.message);
    EXPECT_EQ(b.s()->getManager()->getConstraintCount(), before);
  }
}

TEST(GlobalBuilders, NamesWithoutValuesAndWeights) {
  Bench b;
  std::ostringstream out;
  b.solver.getImpl()->setOut(out);
  std::vector<QroNumVar> v = b.vars(6);
  Fields f;
  f.a[0] = arrayOf(b.env, v, 0, 3);
  f.a[1] = arrayOf(b.env, v, 3, 3);
  QroConstraintI* d = rowConstraint<34>(
      b.env, f,
      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
        return extractDistribute(a, x, g.a[0], g.a[1], g.ints[0]);
      },
      nullptr);
  d->setName("dist");
  b.s()->QroAlgorithmI::extract(d);
  EXPECT_STREQ(b.s()->getConstraint(d).getImpl()->getName(), "dist");
  // Without values the three cardinalities count 0, 1 and 2.
  {
    QroEnv env;
    QroModel model(env);
    std::vector<QroNumVar> x;
    for (int value : {2, 2, 0}) x.push_back(QroNumVar(env, value, value, QroNumVar::Int));
    for (int k = 0; k < 3; ++k) x.push_back(QroNumVar(env, 0, 3, QroNumVar::Int));
    Fields g;
    g.a[0] = arrayOf(env, x, 0, 3);
    g.a[1] = arrayOf(env, x, 3, 3);
    model.add(rowConstraint<34>(
        env, g,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& h) {
          return extractDistribute(a, n, h.a[0], h.a[1], h.ints[0]);
        },
        nullptr));
    QroSolver solver(model);
    ASSERT_TRUE(solver.solve());
    EXPECT_EQ(solver.getValue(x[3]), 1.0);
    EXPECT_EQ(solver.getValue(x[4]), 0.0);
    EXPECT_EQ(solver.getValue(x[5]), 2.0);
    solver.end();
    env.end();
  }

  Fields s;
  s.a[0] = arrayOf(b.env, v, 0, 2);
  QroConstraintI* sos = rowConstraint<35>(
      b.env, s,
      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
        return extractSOS1(a, x, g.a[0], 1);
      },
      nullptr);
  b.s()->QroAlgorithmI::extract(sos);
  EXPECT_EQ(out.str(), "SOS1 weights are not extracted to QroSolver\n");
}

// SOS1 over a float variable reads its truth as the opposite of x == 0; box
// sizes are made integers.
TEST(GlobalBuilders, FloatMembersOfSOS1AndBoxSizes) {
  for (bool nonZeroInt : {true, false}) {
    QroEnv env;
    QroModel model(env);
    QroNumVar y(env, nonZeroInt ? 1 : 0, 1, QroNumVar::Int);
    QroNumVar x(env, nonZeroInt ? -1.0 : 0.5, 1.0, QroNumVar::Float);
    Fields f;
    f.a[0] = QroExtractableArray(env, 0);
    f.a[0].add(y.getImpl());
    f.a[0].add(x.getImpl());
    model.add(rowConstraint<36>(
        env, f,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
          return extractSOS1(a, n, g.a[0], 0);
        },
        nullptr));
    QroSolver solver(model);
    ASSERT_TRUE(solver.solve(QroGoal()));
    if (nonZeroInt) {
      // x == 0, up to the tiny width of a float equality.
      EXPECT_GE(solver.getFloatVar(x).getMin(), -1e-300);
      EXPECT_LE(solver.getFloatVar(x).getMax(), 1e-300);
    } else {
      EXPECT_EQ(solver.getIntVar(y).getMax(), 0);
    }
    solver.end();
    env.end();
  }
  Bench b;
  std::vector<QroNumVar> v = b.vars(1);
  for (QroNum size : {2.5, 1e19}) {
    QroExtractableI* bx = box(b.env, v[0].getImpl(), size);
    if (size == 2.5)
      EXPECT_THROW(bx->extract(b.s()), QroSolver::NumIsNotInteger);
    else
      EXPECT_THROW(bx->extract(b.s()), QroSolver::IntegerOverflow);
  }
}

// A box operand that the solver extracts into something else than a box (a
// variable, another constraint) is refused, whichever builder reads it.
TEST(GlobalBuilders, BoxOperandsMustBeBoxes) {
  Bench b;
  std::vector<QroNumVar> v = b.vars(3);
  QroExtractableI* container = box(b.env, QroNumVar(b.env, 0, 0, QroNumVar::Int).getImpl(), 5);
  QroExtractableI* member = box(b.env, v[0].getImpl(), 2);
  Fields all;
  all.a[0] = arrayOf(b.env, v, 1, 2);
  QroExtractableI* notBoxes[] = {v[2].getImpl(),
                                 rowConstraint<42>(
                                     b.env, all,
                                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                                       return extractAllDiff(a, x, g.a[0]);
                                     },
                                     nullptr)};
  typedef std::function<void(QroExtractableI*)> Use;
  const std::pair<const char*, Use> uses[] = {
      {"not overlap", [&](QroExtractableI* x) { extractBoxNotOverlap(b.s(), container, x); }},
      {"container",
       [&](QroExtractableI* x) { extractBoxContainment(b.s(), container, x, member); }},
      {"member",
       [&](QroExtractableI* x) { extractBoxContainment(b.s(), container, container, x); }},
      {"in dimension",
       [&](QroExtractableI* x) {
         extractBoxPrecedenceInDimension(b.s(), container, container, member, x, 0);
       }},
  };
  for (QroExtractableI* x : notBoxes)
    for (const auto& use : uses) {
      try {
        use.second(x);
        ADD_FAILURE() << use.first << ": accepted";
      } catch (const QroSolver::WrongType& e) {
        EXPECT_STREQ(e.getMessage(), "Box: the operand is not a box") << use.first;
      }
    }
}

namespace {

class OperandSetVarI : public QroIntSetVarI {
 public:
  OperandSetVarI(QroEnvI* env, QroIntSetI* possible) : QroIntSetVarI(env, possible, nullptr) {}
};

}  // namespace

// Operands of the wrong kind where integer or numeric expressions are read
// (a float variable where an integer is due, a set variable, a tuple set)
// are refused before anything is built over them.
TEST(GlobalBuilders, OperandsOfAnotherKindAreRefused) {
  Bench b;
  std::vector<QroNumVar> v = b.vars(2);
  QroExtractableI* others[] = {b.vars(1, QroNumVar::Float)[0].getImpl(),
                               new (b.env.getImpl()) OperandSetVarI(
                                   b.env.getImpl(), QroIntSet(b.env, intsOf(b.env, {1})).getImpl()),
                               new (b.env.getImpl()) TestTupleSetI(b.env.getImpl(), 1, {0})};
  typedef std::function<void(QroExtractableI*)> Use;
  QroConstraintI* node = rowConstraint<43>(b.env, Fields(), nullptr, nullptr);
  auto arrayWith = [&](QroExtractableI* x) {
    QroExtractableArray a = arrayOf(b.env, v, 0, 2);
    a.add(x);
    return a;
  };
  // Rows: the builder, and whether a float variable is fine there.
  const std::tuple<const char*, Use, bool> uses[] = {
      {"all different", [&](QroExtractableI* x) { extractAllDiff(b.s(), node, arrayWith(x)); },
       false},
      {"element caller",
       [&](QroExtractableI* x) {
         extractElementCaller(b.s(), node, x, intsOf(b.env, {0, 0}), v[0].getImpl());
       },
       false},
      {"var-array element",
       [&](QroExtractableI* x) {
         extractVarArrayElement(b.s(), node, arrayWith(x), v[0].getImpl());
       },
       false},
      {"spread mean",
       [&](QroExtractableI* x) {
         extractSpread(b.s(), node, arrayOf(b.env, v, 0, 2), x, v[1].getImpl());
       },
       true},
      {"path cumuls",
       [&](QroExtractableI* x) {
         extractPathLength(b.s(), node, arrayWith(v[1].getImpl()), arrayWith(x), nullptr, 0);
       },
       true},
  };
  for (const auto& use : uses)
    for (size_t k = std::get<2>(use) ? 1 : 0; k < 3; ++k)
      EXPECT_THROW(std::get<1>(use)(others[k]), QroSolver::WrongType)
          << std::get<0>(use) << " " << k;
}

TEST(GlobalBuilders, RemoveHooksReleaseTheirFields) {
  for (const Row& row : rows()) {
    Bench b;
    std::vector<QroNumVar> v;
    for (int i = 0; i < row.n; ++i)
      v.push_back(QroNumVar(b.env, static_cast<QroNum>(row.lo), static_cast<QroNum>(row.hi),
                            QroNumVar::Int));
    QroModel m(b.env);
    std::mt19937_64 rng(1);
    if (row.build)
      row.build(b.env, m, v);
    else
      m.add(row.node(b.env, v, rng));
    std::vector<QroExtractableI*> nodes;
    for (QroModel::Iterator it(m.getImpl()); it.ok(); ++it) nodes.push_back(*it);
    try {
      for (QroExtractableI* x : nodes) b.s()->QroAlgorithmI::extract(x);
    } catch (const QroException& e) {
      ADD_FAILURE() << row.name << ": " << e.getMessage();
      continue;
    } catch (...) {
      ADD_FAILURE() << row.name << ": extract threw";
      continue;
    }
    for (const QroNumVar& x : v) EXPECT_TRUE(b.s()->isExtracted(x.getImpl())) << row.name;
    try {
      for (QroExtractableI* x : nodes) b.s()->QroAlgorithmI::remove(x);
    } catch (...) {
      ADD_FAILURE() << row.name << ": remove threw";
      continue;
    }
    for (const QroNumVar& x : v) {
      EXPECT_FALSE(b.s()->isExtracted(x.getImpl())) << row.name;
      EXPECT_EQ(b.s()->getUseCount(x.getImpl()->getId()), 0) << row.name;
    }
  }
}

// ---------------------------------------------------------------------------
// The solver's filter level for each node

namespace {

bool takesTheSolverLevel(const std::string& name) {
  return name == "Distribute" || name == "DistributeWithoutValues" || name == "Sequence" ||
         name == "AllMinDistance" || name == "BoxNotOverlap";
}

// Builds a row's node (or nodes) into a model over fresh variables.
void buildRow(const Row& row, QroEnv& env, QroModel& model, const std::vector<QroNumVar>& v) {
  madeNodes().clear();
  std::mt19937_64 local(1);
  if (row.build)
    row.build(env, model, v);
  else
    model.add(row.node(env, v, local));
}

void setLevels(QroSolver& solver, QroInt level) {
  for (QroConstraintI* x : madeNodes()) solver.setFilterLevel(QroConstraint(x), level);
}

// The effective level of x's engine constraint, or -1 when it has no level.
QrcInt levelOf(QroSolverI* s, QroExtractableI* x) {
  QrcConstraintI* ct = s->getConstraint(x).getImpl();
  if (!ct->isType(QrcConstraintWithFilterI::GetTypeInfo())) return -1;
  return static_cast<QrcConstraintWithFilterI*>(ct)->getFilterLevel();
}

}  // namespace

TEST(GlobalBuilders, LeveledRowsMatchBruteForceAtEveryLevel) {
  uint64_t seed = qrotest::seedOr(3520);
  std::mt19937_64 rng(seed);
  for (const Row& row : rows()) {
    if (!takesTheSolverLevel(row.name)) continue;
    for (QroInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
      qrotest::ModelCase c;
      c.name = std::string(row.name) + " level " + std::to_string(level) + " seed " +
               std::to_string(seed);
      c.values = level == 0 ? qrotest::ranges(row.n, row.lo, row.hi)
                            : qrotest::randomDomains(rng, row.n, row.lo, row.hi,
                                                     static_cast<int>(row.hi - row.lo));
      c.auxiliaries = row.auxiliaries;
      Row copy = row;
      c.build = [copy](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
        buildRow(copy, env, m, v);
      };
      c.check = [copy](const Values& a) { return copy.check(a, 0); };
      // Set after the first extraction: the search extracts the model again.
      c.configure = [level](QroSolver& solver) { setLevels(solver, level); };
      EXPECT_EQ(qrotest::checkModelCase(c), 0) << c.name;
    }
  }
}

TEST(GlobalBuilders, ExtractedConstraintsTakeTheLevelOfTheirNode) {
  for (const Row& row : rows()) {
    bool leveled = takesTheSolverLevel(row.name);
    if (!leveled && std::string(row.name) != "AllDiff") continue;
    // -1: no level set.
    for (QroInt level = -1; level <= 3; ++level) {
      QroEnv env;
      QroModel model(env);
      std::vector<QroNumVar> v;
      for (int i = 0; i < row.n; ++i)
        v.push_back(QroNumVar(env, static_cast<QroNum>(row.lo), static_cast<QroNum>(row.hi),
                              QroNumVar::Int));
      buildRow(row, env, model, v);
      std::vector<QroConstraintI*> nodes = madeNodes();
      QroSolver solver(model);
      if (level >= 0) setLevels(solver, level);
      solver.solve(QroGoal());
      QroSolverI* s = solver.getImpl();
      int checked = 0;
      for (QroConstraintI* x : nodes) {
        QrcInt effective = levelOf(s, x);
        if (effective < 0) continue;
        ++checked;
        // The others keep the table's default per kind (1 for all-different).
        QrcInt want = !leveled ? 1 : level < 0 ? 0 : level;
        EXPECT_EQ(effective, want) << row.name << " level " << level;
      }
      EXPECT_GT(checked, 0) << row.name;
      solver.end();
      env.end();
    }
  }
}

namespace {

// x[0..n-1] over the given values and the node of a leveled builder over
// them; solve(QroGoal()) propagates at the level set for the node.
struct LevelCase {
  const char* name;
  std::vector<std::vector<int64_t>> domains;
  std::function<QroConstraintI*(QroEnv&, const std::vector<QroNumVar>&)> node;
};

std::vector<LevelCase> levelCases() {
  std::vector<LevelCase> cases;
  // Values 0 and 1 are taken once each: x0 and x1 take them, so x2 = 2 (a
  // matching sees it, counting does not).
  cases.push_back({"Distribute",
                   {{0, 1}, {0, 1}, {0, 1, 2}, {1}, {1}},
                   [](QroEnv& env, const std::vector<QroNumVar>& v) {
                     Fields f;
                     f.a[0] = arrayOf(env, v, 0, 3);
                     f.a[1] = arrayOf(env, v, 3, 2);
                     f.ints[0] = intsOf(env, {0, 1});
                     return rowConstraint<40>(
                         env, f,
                         [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                           return extractDistribute(a, x, g.a[0], g.a[1], g.ints[0]);
                         },
                         nullptr);
                   }});
  // Pairwise distance 2: only (4, 0, 2) remains, which the windows on the
  // bounds alone do not see.
  cases.push_back({"AllMinDistance",
                   {{1, 3, 4}, {0, 2, 3}, {1, 2, 3}},
                   [](QroEnv& env, const std::vector<QroNumVar>& v) {
                     Fields f;
                     f.a[0] = arrayOf(env, v, 0, 3);
                     return rowConstraint<41>(
                         env, f,
                         [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                           return extractAllMinDistance(a, x, g.a[0], 2);
                         },
                         nullptr);
                   }});
  return cases;
}

// The domains after propagation, as text: "[01][2]".
std::string domainsAfterPropagation(QroSolver& solver, const std::vector<QroNumVar>& v) {
  if (!solver.solve(QroGoal())) return "fail";
  std::string out;
  for (const QroNumVar& x : v) {
    QrcIntVar e = solver.getIntVar(x);
    out += "[";
    for (QrcInt k = e.getMin(); k <= e.getMax(); ++k)
      if (e.isInDomain(k)) out += std::to_string(k);
    out += "]";
  }
  return out;
}

}  // namespace

TEST(GlobalBuilders, LevelsPruneAsTheLevelDoes) {
  struct Expect {
    const char* name;
    const char* weak;    // no level, levels 0 to 2
    const char* strong;  // level 3
  } expected[] = {{"Distribute", "[01][01][012][1][1]", "[01][01][2][1][1]"},
                  {"AllMinDistance", "[134][03][123]", "[4][0][2]"}};
  std::vector<LevelCase> cases = levelCases();
  for (size_t i = 0; i < cases.size(); ++i) {
    const LevelCase& c = cases[i];
    QroEnv env;
    QroModel model(env);
    std::vector<QroNumVar> v;
    for (const auto& d : c.domains) v.push_back(qrotest::makeIntVar(env, d));
    QroConstraint node(c.node(env, v));
    model.add(node);
    QroSolver solver(model);
    EXPECT_EQ(solver.getFilterLevel(node), QrcLowFilterLevel);
    EXPECT_EQ(domainsAfterPropagation(solver, v), expected[i].weak) << c.name;
    // A new level reaches the next solve; a lower one is not refused, since
    // the constraint is built anew.
    for (QroInt level : {3, 1, 0, 2, 3}) {
      solver.setFilterLevel(node, level);
      EXPECT_EQ(solver.getFilterLevel(node), level);
      EXPECT_EQ(domainsAfterPropagation(solver, v),
                level == 3 ? expected[i].strong : expected[i].weak)
          << c.name << " level " << level;
      EXPECT_EQ(levelOf(solver.getImpl(), node.getImpl()), level) << c.name;
    }
    // The level outlives a search and its solutions.
    solver.startNewSearch();
    EXPECT_TRUE(solver.next());
    solver.endSearch();
    EXPECT_EQ(domainsAfterPropagation(solver, v), expected[i].strong) << c.name;
    solver.end();
    env.end();
  }
}

TEST(GlobalBuilders, LevelsLastAsLongAsTheirObjectAndModel) {
  QroEnv env;
  QroModel model(env);
  std::vector<QroNumVar> v;
  for (int i = 0; i < 5; ++i) v.push_back(QroNumVar(env, 0, 2, QroNumVar::Int));
  LevelCase distribute = levelCases()[0];
  QroConstraint inModel(distribute.node(env, v));
  QroConstraint aside(distribute.node(env, v));
  model.add(inModel);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  EXPECT_THROW(solver.setFilterLevel(QroConstraint(), QrcMediumFilterLevel),
               QroSolver::EmptyHandle);
  try {
    solver.getFilterLevel(QroConstraint());
    ADD_FAILURE() << "no exception";
  } catch (const QroSolver::EmptyHandle& e) {
    EXPECT_STREQ(e.getMessage(), "Empty constraint handle");
  }
  // Setting the level of an extracted object extracts the model again.
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::Synchronized);
  solver.setFilterLevel(aside, QrcHighFilterLevel);
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::Synchronized);
  solver.setFilterLevel(inModel, QrcFullFilterLevel);
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::Reextract);
  EXPECT_TRUE(solver.solve(QroGoal()));
  EXPECT_EQ(solver.getFilterLevel(inModel), QrcFullFilterLevel);
  EXPECT_EQ(levelOf(s, inModel.getImpl()), 3);
  // Added later, the object takes its level when the addition is extracted.
  QroConstraint later(distribute.node(env, v));
  solver.setFilterLevel(later, QrcHighFilterLevel);
  model.add(later);
  EXPECT_TRUE(solver.solve(QroGoal()));
  EXPECT_EQ(levelOf(s, later.getImpl()), 2);
  // An ended object forgets its level, whether the solver uses it or not.
  QroExtractableI* asideImpl = aside.getImpl();
  QroExtractableI* laterImpl = later.getImpl();
  aside.end();
  later.end();
  EXPECT_EQ(s->getFilterLevel(asideImpl), QrcLowFilterLevel);
  EXPECT_EQ(s->getFilterLevel(laterImpl), QrcLowFilterLevel);
  EXPECT_EQ(solver.getFilterLevel(inModel), QrcFullFilterLevel);
  // Another model starts without levels.
  QroModel other(env);
  other.add(inModel);
  QroAlgorithm(solver).extract(other);
  EXPECT_EQ(solver.getFilterLevel(inModel), QrcLowFilterLevel);
  EXPECT_EQ(levelOf(s, inModel.getImpl()), 0);
  solver.end();
  env.end();
}
