#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <string>

#include "qrosolveri.h"
#include "qrosolverextractor.h"
#include "qrcaccessor.h"
#include "qrcconstraint.h"
#include "qrcfloatexp.h"
#include "qrcint.h"
#include "qrcintset.h"
#include "qrointset.h"
#include "solver_support.h"

using namespace solvertest;

namespace {

TEST(SolverRecords, HandleQueriesCheckTheirArgument) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 10, QroNumVar::Int, "x");
  QroNumVar y(env, 0, 1.5, QroNumVar::Float, "y");
  QroNumVar z(env, 0, 1.5, QroNumVar::Float, "z");
  model.add(x);
  model.add(y);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();

  try {
    s->checkFloatVar(z.getImpl());
    FAIL();
  } catch (const QroSolver::ObjectNotExtracted& e) {
    EXPECT_EQ(printed(e),
              "Solver: the argument has not been extracted in QroSolver::getFloatVar\n");
  }
  try {
    s->checkFloatVar(x.getImpl());
    FAIL();
  } catch (const QroSolver::VariableShouldBeFloat& e) {
    EXPECT_EQ(printed(e),
              "Solver: the variable should be of type float in QroSolver::getFloatVar\n");
  }
  try {
    s->checkFloatVar(nullptr);
    FAIL();
  } catch (const QroSolver::EmptyHandle& e) {
    EXPECT_STREQ(e.getMessage(), "Empty variable handle");
  }
  QroExtractionRecord* r = s->checkFloatVar(y.getImpl());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->kind, QroExtractionRecord::FloatKind);
  EXPECT_EQ(s->checkIntVar(x.getImpl())->kind, QroExtractionRecord::IntKind);
  EXPECT_TRUE(solver.isInteger(x));
  EXPECT_FALSE(solver.isInteger(y));
  EXPECT_TRUE(s->isExtractedInt(x.getImpl()));
  EXPECT_FALSE(s->isExtractedInt(y.getImpl()));
  EXPECT_THROW(s->isExtractedInt(z.getImpl()), QroAlgorithm::NotExtractedException);
  try {
    solver.isInteger(z);
    FAIL();
  } catch (const QroSolver::ObjectNotExtracted& e) {
    EXPECT_STREQ(e.getMessage(), "QroSolver::isInteger");
  }
  EXPECT_EQ(s->getRecord(z.getImpl()), nullptr);
  env.end();
}

TEST(SolverRecords, ConstraintRecordsTakeTheName) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 10, QroNumVar::Float, "x");
  QroConstraint c = x <= 4.0;
  c.setName("cap");
  model.add(c);
  QroSolver solver(model);
  QroExtractionRecord* r =
      solver.getImpl()->checkConstraint(static_cast<QroConstraintI*>(c.getImpl()));
  ASSERT_NE(r, nullptr);
  EXPECT_STREQ(r->constraint->getName(), "cap");
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  env.end();
}

TEST(SolverRecords, NumberConversion) {
  EXPECT_EQ(QroSolverI::toInteger(3.0), 3);
  EXPECT_EQ(QroSolverI::toInteger(-9223372036854775808.0), INT64_MIN);
  try {
    QroSolverI::toInteger(2.5);
    FAIL();
  } catch (const QroException& e) {
    EXPECT_EQ(printed(e), "QroNum is not integer");
  }
  try {
    QroSolverI::toInteger(1e19);
    FAIL();
  } catch (const QroException& e) {
    EXPECT_EQ(printed(e), "QroNum is out of integer range");
  }
  EXPECT_THROW(QroSolverI::toInteger(9223372036854775808.0), QroSolver::IntegerOverflow);
  EXPECT_THROW(QroSolverI::toInteger(std::nan("")), QroSolver::NumIsNotInteger);
  EXPECT_THROW(QroSolverI::toInteger(std::numeric_limits<double>::infinity()),
               QroSolver::IntegerOverflow);
  EXPECT_TRUE(QroSolverI::isBeyondExactDoubles(9007199254740992.0));
  EXPECT_FALSE(QroSolverI::isBeyondExactDoubles(-9007199254740991.0));
}

TEST(SolverRecords, AddedMembersAreReplayedAtTheNextSolve) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 10, QroNumVar::Float, "x");
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  model.add(x);
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::AdditionsPending);
  ASSERT_NE(s->getChangeList(), nullptr);
  EXPECT_EQ(s->getRecord(x.getImpl()), nullptr);
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  EXPECT_NE(s->getRecord(x.getImpl()), nullptr);
  EXPECT_EQ(s->getChangeList(), nullptr);
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::Searched);
  env.end();
}

TEST(SolverRecords, SyncLevelsOnlyRise) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  s->raiseSyncLevel(1);
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::RestartPending);
  s->raiseSyncLevel(0);
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::RestartPending);
  s->raiseSyncLevel(2);
  s->raiseToRestart();
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::Reextract);
  // Level 5 re-extracts the model at the next solve.
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::Searched);
  env.end();
}

TEST(SolverRecords, ContinueModeRefusesRestarts) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  solver.getImpl()->raiseToRestart();
  EXPECT_THROW(solver.solve(QroGoal(), QroSolver::ContinueSearch),
               QroSolver::QroSynchronizeAndContinueNotPossible);
  env.end();
}

TEST(SolverRecords, ExceptionPrints) {
  QroSolver::SolverErrorExceptionIntInt two(7, "f", "bad", 5, 9);
  EXPECT_EQ(printed(two), "Solver Error : (7) f bad 5..9\n");
  QroSolver::SolverErrorExceptionExprI none(32, "QrcPower", "Incompatible argument", nullptr);
  EXPECT_EQ(printed(none), "Solver Error : (32) QrcPower Incompatible argument\n");
  QroSolver::SolverErrorExceptionFloat f(3, "g", "m", 2.5);
  EXPECT_EQ(printed(f), "Solver Error : (3) g m 2.5\n");
  QroSolver::ModelInconsistent inconsistent(nullptr);
  EXPECT_EQ(printed(inconsistent), "Solver::The Model is inconsistent because of extractable \n");
  EXPECT_STREQ(inconsistent.getMessage(), "The loaded model is inconsistent");
  try {
    throw QroSolver::SolverErrorExceptionIntInt(1, "a", "b", 1, 2);
  } catch (const QroSolver::SolverErrorExceptionInt& e) {
    EXPECT_EQ(e.getValue(), 1);
  }
}

TEST(SolverRecords, ReporterThrowsEveryForm) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  QrcErrorReporter* r = solver.getManagerI()->getErrorReporter();
  EXPECT_THROW(r->report(1, "a", "b", static_cast<const void*>(&r)),
               QroSolver::SolverErrorExceptionAny);
  EXPECT_THROW(r->report(1, "a", "b", QrcInt(1), QrcInt(2)), QroSolver::SolverErrorExceptionIntInt);
  EXPECT_THROW(r->report(1, "a", "b", 1.5), QroSolver::SolverErrorExceptionFloat);
  EXPECT_THROW(r->report(1, "a", "b", QrcInt(4)), QroSolver::SolverErrorExceptionInt);
  EXPECT_THROW(r->report(1, "a", "b", nullptr, nullptr), QroSolver::SolverErrorExceptionExprsI);
  EXPECT_THROW(r->report(1, "a", "b"), QroSolver::SolverErrorExceptionExprI);
  // An engine misuse outside any search reaches the caller the same way.
  EXPECT_THROW(solver.getManagerI()->popState(), QroSolver::SolverErrorException);
  env.end();
}

// f(x) = nothing.
class NoExp : public QrcIntToIntExpFunctionI {
 public:
  QrcIntExpI* getValue(QrcInt) override { return nullptr; }
};

TEST(SolverRecords, UndefinedAccessorValueThrowsUnderASolver) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  QrcManagerI* m = solver.getManagerI();
  auto* a = new (m)
      QrcIntExpFunctionAccessorI(new (m) QrcIntRangeAccessorDomainI(m, 0, 3), new (m) NoExp());
  try {
    a->get(2);
    ADD_FAILURE() << "no exception";
  } catch (const QroSolver::SolverErrorException& e) {
    EXPECT_EQ(e.getErrorCode(), 25);
    EXPECT_STREQ(e.getFunctionName(), "QrcIntExpAccessor");
    EXPECT_STREQ(e.getMessage(), "Access Undefined F(x).");
  }
  env.end();
}

}  // namespace

namespace {

TEST(SolverChanges, BoundChangesAndEndingsForceReextraction) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 10, QroNumVar::Float, "x");
  QroConstraint c = x <= 4.0;
  model.add(x);
  model.add(c);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  x.getImpl()->setLB(1.0);
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::Reextract);
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::Searched);
  c.end();
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::Reextract);
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  EXPECT_NE(s->getRecord(x.getImpl()), nullptr);
  env.end();
}

TEST(SolverChanges, ChangesDuringASearchAreRefused) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 10, QroNumVar::Float, "x");
  model.add(x);
  QroSolver solver(model);
  solver.startNewSearch(QroGoal());
  EXPECT_THROW(x.getImpl()->setLB(1.0), QroException);
  EXPECT_EQ(solver.next(), 1);
  solver.endSearch();
  env.end();
}

}  // namespace

namespace {

TEST(SolverChanges, FailingModelWithoutEditModeIsInconsistent) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 10, QroNumVar::Float, "x");
  model.add(QroRange(env, 5.0, x, 1.0));
  std::ostringstream err;
  env.getImpl()->setError(err);
  QroInt live = QroSolverI::getLiveSolverCount();
  EXPECT_THROW(QroSolver(model, &QrcNoEdit), QroSolver::ModelInconsistent);
  // The half-built solver is gone; the error stream says why.
  EXPECT_EQ(QroSolverI::getLiveSolverCount(), live);
  EXPECT_EQ(err.str(), "The model is inconsistent\n");
  // In edit mode the failure waits for the first propagation.
  QroSolver edit(model, &QrcEdit);
  EXPECT_EQ(edit.solve(QroGoal()), 0);
  EXPECT_EQ(edit.getStatus(), QroSolver::Infeasible);
  env.end();
}

}  // namespace

namespace {

TEST(SolverArrays, IntegerViewsOfModelArrays) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  QroNumArray nums(env, 0);
  nums.add(1.0);
  nums.add(-4.0);
  QrcIntArray a = solver.getIntArray(nums);
  ASSERT_EQ(a.getSize(), 2);
  EXPECT_EQ(a[0], 1);
  EXPECT_EQ(a[1], -4);
  nums.add(2.5);
  try {
    solver.getIntArray(nums);
    FAIL();
  } catch (const QroException& e) {
    EXPECT_EQ(printed(e), "QroNum is not integer");
  }
  QroNumArray big(env, 0);
  big.add(1e19);
  try {
    solver.getIntArray(big);
    FAIL();
  } catch (const QroException& e) {
    EXPECT_EQ(printed(e), "QroNum is out of integer range");
  }
  QroIntArray ints(env, 0);
  ints.add(7);
  ints.add(9);
  QrcIntArray b = solver.getIntArray(ints);
  EXPECT_EQ(b[1], 9);
  EXPECT_EQ(solver.getIntArray(ints).getImpl(), b.getImpl());  // cached
  EXPECT_THROW(solver.getIntArray(QroIntArray()), QroSolver::EmptyHandle);
  env.end();
}

TEST(SolverRecords, UnboundFloatValueIsASolverError) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0.0, 1.0, QroNumVar::Float, "x");
  model.add(x);
  QroSolver solver(model);
  try {
    solver.getValue(x);
    FAIL();
  } catch (const QroSolver::SolverErrorExceptionExprI& e) {
    std::string head = "Solver Error : (10) QrcFloatExpI::getValue unbound constrained variable ";
    EXPECT_EQ(printed(e).substr(0, head.size()), head);
  }
  env.end();
}

}  // namespace

namespace {

TEST(SolverArrays, EngineSetsOfModelSets) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  QroIntArray values(env, 0);
  values.add(3);
  values.add(8);
  QroIntSet set(env, values);
  QrcIntSetI* e = s->getIntSet(set.getImpl());
  EXPECT_TRUE(e->contains(3));
  EXPECT_TRUE(e->contains(8));
  EXPECT_FALSE(e->contains(5));
  EXPECT_EQ(s->getIntSet(set.getImpl()), e);
  QroIntSet empty(env);
  QrcIntSetI* none = s->getIntSet(empty.getImpl());
  EXPECT_EQ(none->getSize(), 0);
  EXPECT_FALSE(none->contains(0));
  env.end();
}

}  // namespace

namespace {

TEST(SolverRecords, HandleLookupsReportBadArguments) {
  QroEnv env;
  QroModel model(env);
  QroNumVar i(env, 0, 10, QroNumVar::Int, "i");
  QroNumVar f(env, 0, 1.5, QroNumVar::Float, "f");
  QroNumVar absent(env, 0, 1.5, QroNumVar::Float, "absent");
  QroNumVar gone(env, 0, 1.5, QroNumVar::Float, "gone");
  model.add(i);
  model.add(f);
  model.add(gone);
  QroSolver solver(model);
  try {
    solver.getFloatVar(absent);
    FAIL();
  } catch (const QroException& e) {
    EXPECT_EQ(printed(e),
              "Solver: the argument has not been extracted in QroSolver::getFloatVar\n");
  }
  try {
    solver.getFloatVar(i);
    FAIL();
  } catch (const QroException& e) {
    EXPECT_EQ(printed(e),
              "Solver: the variable should be of type float in QroSolver::getFloatVar\n");
  }
  EXPECT_THROW(solver.getIntVar(absent), QroSolver::ObjectNotExtracted);
  try {
    solver.getIntVar(f);
    FAIL() << "an integer variable of a float one";
  } catch (const QroSolver::WrongType& e) {
    EXPECT_STREQ(e.getMessage(),
                 "Solver: the variable should be of type integer in QroSolver::getIntVar");
  }
  EXPECT_EQ(solver.getIntVar(i).getMax(), 10);
  EXPECT_THROW(solver.getValue(absent), QroAlgorithm::NotExtractedException);
  EXPECT_THROW(solver.getValue(QroNumVar()), QroSolver::EmptyHandle);
  EXPECT_THROW(solver.getConstraint(QroConstraint()), QroSolver::EmptyHandle);
  EXPECT_THROW(solver.add(QroExtractable()), QroSolver::EmptyHandle);
  // A variable that takes the identifier of an ended one was not extracted.
  QroInt id = gone.getId();
  gone.end();
  QroNumVar reused(env, 0, 3, QroNumVar::Int);
  ASSERT_EQ(reused.getId(), id);
  EXPECT_THROW(solver.getValue(reused), QroAlgorithm::NotExtractedException);
  EXPECT_THROW(solver.getIntVar(reused), QroSolver::ObjectNotExtracted);
  // The failed look-ups leave the solver usable.
  EXPECT_EQ(solver.solve(QroGoal()), 1);
  EXPECT_EQ(solver.getFloatVar(f).getMax(), 1.5);
  env.end();
}

// Integer-set variables have no handle of their own.
class ViewSetVarI : public QroIntSetVarI {
 public:
  ViewSetVarI(QroEnvI* env, QroIntSetI* possible) : QroIntSetVarI(env, possible, nullptr) {}
};

// The engine arrays of model arrays: integer variables, the 0-1 variables of
// constraints, float variables (an integer element seen as a float) and
// set variables, each element the engine object of its record.
TEST(SolverArrays, EngineViewsOfVariableArrays) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 3, QroNumVar::Int), y(env, 0.5, 1.5, QroNumVar::Float);
  QroConstraint c = x <= 2.0;
  QroIntArray values(env, 0);
  values.add(4);
  values.add(6);
  QroIntSetVarI* set =
      new (env.getImpl()) ViewSetVarI(env.getImpl(), QroIntSet(env, values).getImpl());
  model.add(x);
  model.add(y);
  model.add(QroNumVar(env, 0, 1, QroNumVar::Int) ==
            QroNumExprArg(static_cast<QroConstraintI*>(c.getImpl())));
  model.add(QroExtractable(set));
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();

  QroExtractableArray ints(env, 0);
  ints.add(x.getImpl());
  ints.add(c.getImpl());
  QrcIntVarArray iv = s->getIntVarArray(ints);
  ASSERT_EQ(iv.getSize(), 2);
  EXPECT_EQ(iv[0].getImpl(), solver.getIntVar(x).getImpl());
  EXPECT_EQ(iv[1].getImpl(), s->getIntVar(c.getImpl()).getImpl());
  EXPECT_EQ(iv[1].getMax(), 1);

  QroExtractableArray floats(env, 0);
  floats.add(y.getImpl());
  floats.add(x.getImpl());
  QrcFloatVarArray fv = s->getFloatVarArray(floats);
  ASSERT_EQ(fv.getSize(), 2);
  EXPECT_EQ(fv[0].getMin(), 0.5);
  EXPECT_EQ(fv[1].getMax(), 3.0);

  QroExtractableArray sets(env, 0);
  sets.add(set);
  QrcIntSetVarArray sv = s->getIntSetVarArray(sets);
  ASSERT_EQ(sv.getSize(), 1);
  EXPECT_EQ(sv.getImpl()->get(0), s->getIntSetVar(set));

  QroNumArray nums(env, 0);
  nums.add(2.5);
  nums.add(-1.0);
  QrcFloatArray fa = s->getFloatArray(nums);
  ASSERT_EQ(fa.getSize(), 2);
  EXPECT_EQ(fa[0], 2.5);
  EXPECT_EQ(fa[1], -1.0);

  // An element without a record.
  QroExtractableArray aside(env, 0);
  aside.add((x <= 1.0).getImpl());
  EXPECT_THROW(s->getIntVarArray(aside), QroAlgorithm::NotExtractedException);
  env.end();
}

}  // namespace
