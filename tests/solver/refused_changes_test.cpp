// Changes attempted while a solver searches its model: a change of anything
// the search uses is refused before anything changes (the model's members,
// the terms holding a variable, bounds), and every solver then agrees with
// the model: the searching one, an idle one over the same model and a fresh
// one. A change of what the search does not use goes through and reaches the
// idle solvers of its own model.
#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolver.h"
#include "qrosolverextra.h"
#include "solution_count.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();

using solvertest::countOf;
using solvertest::finishCount;
using solvertest::freshCount;
using solvertest::shown;

class Refused : public ::testing::Test {
 protected:
  void TearDown() override { env.end(); }
  QroNumVar var(const char* name, double ub = 3) {
    return QroNumVar(env, 0, ub, QroNumVar::Int, name);
  }
  QroEnv env;
};

TEST_F(Refused, EndingAConstraintTheSearchUses) {
  QroNumVar x = var("x");
  QroModel m(env);
  m.add(x);
  QroConstraint c = QroNumExprArg(x) <= 1;
  m.add(c);
  QroSolver searching(m), idle(m);
  searching.startNewSearch();
  ASSERT_TRUE(searching.next());
  std::string before = shown(m);
  EXPECT_THROW(c.end(), QroNoChangeDuringSearchException);
  EXPECT_EQ(shown(m), before);
  EXPECT_EQ(freshCount(m), 2);
  EXPECT_EQ(countOf(idle), 2);
  EXPECT_EQ(finishCount(searching), 2);
  // Re-extracted, the searching solver still sees the constraint.
  x.setUB(3);
  EXPECT_EQ(countOf(searching), 2);
  c.end();
  EXPECT_EQ(countOf(searching), 4);
}

TEST_F(Refused, EndingAVariableLeavesTheTermsThatHoldIt) {
  QroNumVar x = var("x"), y = var("y");
  QroModel m(env);
  m.add(x);
  m.add(y);
  QroConstraint c = QroNumExprArg(x) + QroNumExprArg(y) <= 2;
  m.add(c);
  QroNumExprArg e = QroNumExprArg(x) + QroNumExprArg(y);  // held by this handle only
  QroSolver searching(m);
  searching.startNewSearch();
  ASSERT_TRUE(searching.next());
  std::string term = shown(QroExtractable(e.getImpl())), model = shown(m);
  EXPECT_THROW(y.end(), QroNoChangeDuringSearchException);
  EXPECT_EQ(shown(QroExtractable(e.getImpl())), term);
  EXPECT_EQ(term, "x  + y ");
  EXPECT_EQ(shown(m), model);
  EXPECT_EQ(freshCount(m), 6);
  EXPECT_EQ(finishCount(searching), 6);
  y.end();  // the search is over: the term drops y, the range stays
  EXPECT_EQ(shown(QroExtractable(e.getImpl())), "x ");
  EXPECT_EQ(countOf(searching), 3);
}

TEST_F(Refused, EndingASubModelARangesTermOrTheObjective) {
  QroNumVar x = var("x"), y = var("y");
  QroModel m(env), sub(env);
  m.add(x);
  m.add(y);
  QroConstraint c = QroNumExprArg(x) + QroNumExprArg(y) <= 2;
  sub.add(c);
  m.add(sub);
  QroObjective obj(env, QroNumExprArg(x) + QroNumExprArg(y) * 2.0, QroObjectiveI::Maximize);
  m.add(obj);
  QroSolver searching(m);
  searching.startNewSearch();
  ASSERT_TRUE(searching.next());
  std::string before = shown(m);
  EXPECT_THROW(sub.end(), QroNoChangeDuringSearchException);
  ASSERT_TRUE(c.getImpl()->isType(QroRangeI::GetTypeInfo()));
  QroExtractable term(static_cast<QroRangeI*>(c.getImpl())->getExpr());
  EXPECT_THROW(term.end(), QroNoChangeDuringSearchException);
  EXPECT_THROW(obj.end(), QroNoChangeDuringSearchException);
  EXPECT_EQ(shown(m), before);
  searching.endSearch();
  QroSolver fresh(m);
  ASSERT_TRUE(fresh.solve());
  EXPECT_EQ(fresh.getObjValue(), 4.0);  // y = 2 under x + y <= 2
  fresh.end();
  ASSERT_TRUE(searching.solve());
  EXPECT_EQ(searching.getObjValue(), 4.0);
}

TEST_F(Refused, AddingAMemberOrChangingABound) {
  QroNumVar x = var("x"), y = var("y");
  QroModel m(env);
  m.add(x);
  m.add(y);
  m.add(QroNumExprArg(x) + QroNumExprArg(y) <= 2);
  QroSolver searching(m), idle(m);
  searching.startNewSearch();
  ASSERT_TRUE(searching.next());
  std::string before = shown(m);
  EXPECT_THROW(m.add(QroNumExprArg(x) <= 0), QroNoChangeDuringSearchException);
  EXPECT_THROW(x.setLB(1), QroNoChangeDuringSearchException);
  EXPECT_THROW(x.setUB(1), QroNoChangeDuringSearchException);
  EXPECT_THROW(y.setBounds(1, 2), QroNoChangeDuringSearchException);
  EXPECT_EQ(shown(m), before);
  EXPECT_EQ(x.getLB(), 0.0);
  EXPECT_EQ(x.getUB(), 3.0);
  EXPECT_EQ(y.getLB(), 0.0);
  EXPECT_EQ(freshCount(m), 6);
  EXPECT_EQ(countOf(idle), 6);
  EXPECT_EQ(finishCount(searching), 6);
}

// ---------------------------------------------------------------------------
// Every kind of change, on the model a solver searches and on another one

// One model: u + v <= 2, w <= 1 in a sub-model, s <=lex w, over 0..3 (s 0..1);
// 18 solutions. A term over u, v, w is held by a handle only.
struct Side {
  QroNumVar u, v, w, s;
  QroConstraint d1, d2, lex;
  QroModel m, sub;
  QroNumExprArg loose;

  Side(QroEnv& env, const std::string& p) {
    auto name = [&p](const char* n) { return p + n; };
    u = QroNumVar(env, 0, 3, QroNumVar::Int, name("u").c_str());
    v = QroNumVar(env, 0, 3, QroNumVar::Int, name("v").c_str());
    w = QroNumVar(env, 0, 3, QroNumVar::Int, name("w").c_str());
    s = QroNumVar(env, 0, 1, QroNumVar::Int, name("s").c_str());
    m = QroModel(env);
    sub = QroModel(env);
    for (QroNumVar* x : {&u, &v, &w, &s}) m.add(*x);
    d1 = QroNumExprArg(u) + QroNumExprArg(v) <= 2;
    m.add(d1);
    d2 = QroNumExprArg(w) <= 1;
    sub.add(d2);
    m.add(sub);
    QroIntVarArray a(env, 1), b(env, 1);
    a[0] = s;
    b[0] = w;
    QroEnvI* e = env.getImpl();
    lex = QroConstraint(new (e) QroLeLexI(e, a, b));
    m.add(lex);
    loose = QroNumExprArg(u) + QroNumExprArg(v) * 2.0 + QroNumExprArg(w);
  }
  std::string state() const { return shown(m) + "|" + shown(QroExtractable(loose.getImpl())); }
};

struct Kind {
  const char* name;
  std::function<void(QroEnv&, Side&)> change;
  int solutions;      // of the model once changed
  const char* loose;  // the loose term's display then (the other side's prefix is "b")
};

const Kind kKinds[] = {
    {"end a variable", [](QroEnv&, Side& s) { s.v.end(); }, 9, "bu  + bw "},
    {"end an array element", [](QroEnv&, Side& s) { s.s.end(); }, 12, nullptr},
    {"end a constraint", [](QroEnv&, Side& s) { s.d1.end(); }, 48, nullptr},
    {"end a linear term",
     [](QroEnv&, Side& s) {
       QroExtractable(static_cast<QroRangeI*>(s.d1.getImpl())->getExpr()).end();
     },
     48, nullptr},
    {"end a sub-model", [](QroEnv&, Side& s) { s.sub.end(); }, 42, nullptr},
    {"add a member",
     [](QroEnv& env, Side& s) { s.m.add(QroRange(env, 1, QroNumExprArg(s.w), kInf)); }, 12,
     nullptr},
    {"raise a lower bound", [](QroEnv&, Side& s) { s.u.setLB(1); }, 9, nullptr},
    {"lower an upper bound", [](QroEnv&, Side& s) { s.u.setUB(1); }, 15, nullptr},
    {"set both bounds", [](QroEnv&, Side& s) { s.u.setBounds(1, 1); }, 6, nullptr},
};

TEST(RefusedChanges, EveryKindOnUsedAndUnusedObjects) {
  for (const Kind& k : kKinds) {
    for (bool used : {true, false}) {
      SCOPED_TRACE(std::string(k.name) + (used ? " (used by the search)" : " (not used)"));
      QroEnv env;
      Side a(env, "a"), b(env, "b");
      {
        QroSolver searching(a.m), idleA(a.m), idleB(b.m);
        ASSERT_EQ(freshCount(a.m), 18);
        searching.startNewSearch();
        ASSERT_TRUE(searching.next());
        Side& target = used ? a : b;
        std::string stateA = a.state(), stateB = b.state();
        bool refused = false;
        try {
          k.change(env, target);
        } catch (const QroNoChangeDuringSearchException&) {
          refused = true;
        }
        EXPECT_EQ(refused, used);
        EXPECT_EQ(a.state(), stateA);
        if (used) {
          EXPECT_EQ(b.state(), stateB);
        } else if (k.loose) {
          EXPECT_EQ(shown(QroExtractable(b.loose.getImpl())), k.loose);
        }
        EXPECT_EQ(freshCount(a.m), 18);
        EXPECT_EQ(countOf(idleA), 18);
        EXPECT_EQ(freshCount(b.m), used ? 18 : k.solutions);
        EXPECT_EQ(countOf(idleB), used ? 18 : k.solutions);
        EXPECT_EQ(finishCount(searching), 18);
        EXPECT_EQ(countOf(searching), 18);
        // Once the search is over the same change goes through.
        if (used) {
          k.change(env, a);
          EXPECT_EQ(freshCount(a.m), k.solutions);
          EXPECT_EQ(countOf(searching), k.solutions);
          EXPECT_EQ(countOf(idleA), k.solutions);
        }
        searching.end();
        idleA.end();
        idleB.end();
      }
      env.end();
    }
  }
}

}  // namespace
