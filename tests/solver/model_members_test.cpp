// What a model lists stays as it was added, whatever happens to its other
// holders: the term x + y listed by a model outlives a range, a merge, an
// objective, an equality, a product node and a counted array that held it,
// and the operators never extend it in place: `e + z`, `(z + 1) + e`,
// `e * 2` and `k * e` make new terms, during a search or not, so that every
// solver of the model (searching, idle, fresh) finds the same solutions.
// And a change that an algorithm allowed when asked is made whole even when
// the algorithm then fails to apply it: every other algorithm hears of it,
// and the failure comes afterwards.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "qroalgorithm.h"
#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolver.h"
#include "solution_count.h"
#include "support/env_pools.h"
#include "support/stub_algorithm.h"

namespace {

using solvertest::countOf;
using solvertest::finishCount;
using solvertest::freshCount;
using solvertest::shown;

class Members : public ::testing::Test {
 protected:
  void SetUp() override {
    x = QroNumVar(env, 0, 2, QroNumVar::Int, "x");
    y = QroNumVar(env, 0, 2, QroNumVar::Int, "y");
    z = QroNumVar(env, 0, 2, QroNumVar::Int, "z");
  }
  void TearDown() override { env.end(); }
  // Without pools, so that reading an ended expression is caught.
  QroEnv env = qrotest::unpooledEnv();
  QroNumVar x, y, z;
};

// Each case takes the listed term e (x + y) from its holder; the model
// still lists it and displays it as before.
struct HolderCase {
  const char* name;
  std::function<void(QroEnv&, QroNumExprArg, QroNumVar, QroNumVar)> route;
};

TEST_F(Members, AListedTermOutlivesItsOtherHolders) {
  const std::vector<HolderCase> cases = {
      {"a range in another model, ended",
       [](QroEnv& env, QroNumExprArg e, QroNumVar, QroNumVar) {
         QroModel other(env);
         QroRange r(env, 0, e, 3);
         other.add(r);
         r.end();
       }},
      {"a merge of the term as a sole operand",
       [](QroEnv&, QroNumExprArg e, QroNumVar x, QroNumVar) {
         QroNumExprArg s = (QroNumExprArg(x) + 1.0) + QroNumExprArg::Sole(e.getImpl());
         EXPECT_NE(s.getImpl(), e.getImpl());
         EXPECT_EQ(shown(s), "2 * x  + y  + 1 ");
       }},
      {"an objective, ended",
       [](QroEnv& env, QroNumExprArg e, QroNumVar, QroNumVar) {
         QroObjective o(env, e);
         o.end();
       }},
      {"an equality, ended",
       [](QroEnv&, QroNumExprArg e, QroNumVar, QroNumVar z) {
         QroConstraint c = e == QroNumExprArg(z);
         c.end();
       }},
      {"a product node e * e, ended",
       [](QroEnv&, QroNumExprArg e, QroNumVar, QroNumVar) {
         QroNumExprArg p = e * e;
         QroExtractable(p.getImpl()).end();
       }},
      {"a counted array, released",
       [](QroEnv& env, QroNumExprArg e, QroNumVar, QroNumVar) {
         QroExtractableArray a(env, 1);
         a[0] = e.getImpl();
         a.incrementUseCounts();
         a.releaseElements();
         a.end();
       }},
  };
  for (const HolderCase& c : cases) {
    SCOPED_TRACE(c.name);
    QroModel m(env);
    QroNumExprArg e = QroNumExprArg(x) + QroNumExprArg(y);
    m.add(e);
    QroSolver idle(m);
    std::string before = shown(m);
    c.route(env, e, x, z);
    EXPECT_EQ(shown(m), before);
    EXPECT_EQ(freshCount(m), 9);
    EXPECT_EQ(countOf(idle), 9);
    idle.end();
    m.end();
  }
}

// The model's hold is one of the term's counts: once the model lets go, the
// term goes with its last other holder, whose end releases it.
TEST_F(Members, AListedTermGoesWithItsLastHolder) {
  QroModel m(env);
  QroNumExprArg e = QroNumExprArg(x) + QroNumExprArg(y);
  QroNumExprI* t = e.getImpl();
  QroInt id = t->getId();
  m.add(e);
  QroRange r(env, 0, e, 2);
  QroModel other(env);
  other.add(r);
  EXPECT_EQ(freshCount(other), 6);
  EXPECT_EQ(t->getUseCount(), 2);
  m.end();
  EXPECT_EQ(env.getImpl()->getLiveSlot(id), t);
  EXPECT_EQ(freshCount(other), 6);
  r.end();
  EXPECT_EQ(env.getImpl()->getLiveSlot(id), nullptr);
}

// The merge during a search: the listed term is not taken apart, so nothing
// the search uses changes and nothing is refused.
TEST_F(Members, AMergeDuringASearchLeavesTheListedTerm) {
  QroModel m(env);
  QroNumExprArg e = QroNumExprArg(x) + QroNumExprArg(y);
  m.add(e);
  QroSolver searching(m);
  searching.startNewSearch();
  ASSERT_TRUE(searching.next());
  std::string before = shown(m);
  QroNumExprArg s = (QroNumExprArg(x) + 1.0) + QroNumExprArg::Sole(e.getImpl());
  EXPECT_EQ(shown(m), before);
  EXPECT_EQ(finishCount(searching), 9);
  EXPECT_EQ(freshCount(m), 9);
  EXPECT_EQ(shown(s), "2 * x  + y  + 1 ");
}

// Each case rewrites e (x + y), listed by the model, through an operator.
struct RewriteCase {
  const char* name;
  std::function<QroNumExprArg(QroNumExprArg&, QroNumVar, QroNumVar)> rewrite;
  const char* result;
};

const std::vector<RewriteCase>& rewrites() {
  static const std::vector<RewriteCase> cases = {
      {"e = e + z",
       [](QroNumExprArg& e, QroNumVar, QroNumVar z) {
         e = e + QroNumExprArg(z);
         return e;
       },
       "x  + y  + z "},
      {"f = (z + 1) + e",
       [](QroNumExprArg& e, QroNumVar, QroNumVar z) { return (QroNumExprArg(z) + 1.0) + e; },
       "z  + x  + y  + 1 "},
      {"e * 2", [](QroNumExprArg& e, QroNumVar, QroNumVar) { return e * 2.0; }, "2 * x  + 2 * y "},
      {"k * e with k a constant term",
       [](QroNumExprArg& e, QroNumVar x, QroNumVar) {
         QroNumExprArg k = (QroNumExprArg(x) - QroNumExprArg(x)) + 3.0;
         return k * e;
       },
       "3 * x  + 3 * y "},
      {"e - z", [](QroNumExprArg& e, QroNumVar, QroNumVar z) { return e - QroNumExprArg(z); },
       "x  + y  + -1 * z "},
      {"e / 2", [](QroNumExprArg& e, QroNumVar, QroNumVar) { return e / 2.0; },
       "0.5 * x  + 0.5 * y "},
  };
  return cases;
}

TEST_F(Members, AListedTermIsNeverRewrittenInPlace) {
  for (bool searching : {false, true}) {
    for (const RewriteCase& c : rewrites()) {
      SCOPED_TRACE(std::string(c.name) + (searching ? " during a search" : ""));
      QroModel m(env);
      QroNumExprArg e = QroNumExprArg(x) + QroNumExprArg(y);
      QroNumExprI* listed = e.getImpl();
      m.add(e);
      QroSolver idle(m), search(m);
      std::string before = shown(m);
      if (searching) {
        search.startNewSearch();
        ASSERT_TRUE(search.next());
      }
      QroNumExprArg r = c.rewrite(e, x, z);
      EXPECT_NE(r.getImpl(), listed);
      EXPECT_EQ(shown(r), c.result);
      EXPECT_EQ(shown(m), before);
      if (searching) {
        EXPECT_EQ(finishCount(search), 9);
      }
      EXPECT_EQ(countOf(idle), 9);
      EXPECT_EQ(freshCount(m), 9);
      idle.end();
      search.end();
      m.end();
    }
  }
}

// A solver that extracted the listed term before a rewrite, given a range
// over the rewritten term afterwards, extracts that range over the new
// term: x + y + z <= 1 has 4 solutions.
TEST_F(Members, AnIdleSolverSeesTheRewrittenTermAsANewOne) {
  QroModel m(env);
  QroNumExprArg e = QroNumExprArg(x) + QroNumExprArg(y);
  m.add(e);
  QroSolver idle(m);
  EXPECT_EQ(countOf(idle), 9);
  QroNumExprArg g = e + QroNumExprArg(z);
  m.add(g <= 1);
  EXPECT_EQ(countOf(idle), 4);
  EXPECT_EQ(freshCount(m), 4);
}

// Takes over anything; fails to apply the changes of one kind, when given
// one, by answering false or by throwing (it allowed them when asked).
class Taker : public StubAlgorithm {
 public:
  explicit Taker(QroEnvI* env, QroTypeInfo refused = nullptr, bool throws = false)
      : StubAlgorithm(env), _refused(refused), _throws(throws) {}
  QroBool applyChange(QroChange* c, void**, QroExtractableI*) override {
    if (!_refused || !c->isType(_refused)) return 1;
    if (_throws) throw QroWrongUsage("refused late");
    return 0;
  }

 private:
  QroTypeInfo _refused;
  bool _throws;
};

// A term an algorithm extracted (not through a model) is not extended in
// place either.
TEST_F(Members, AnExtractedTermIsNeverRewrittenInPlace) {
  QroNumExprArg e = QroNumExprArg(x) + QroNumExprArg(y);
  Taker* a = new (env.getImpl()) Taker(env.getImpl());
  a->extract(e.getImpl());
  QroNumExprArg r = e + QroNumExprArg(z);
  EXPECT_NE(r.getImpl(), e.getImpl());
  EXPECT_EQ(shown(e), "x  + y ");
  delete a;
}

// A change and what the model and its solvers show once it is made.
struct LateCase {
  const char* name;
  QroTypeInfo refused;
  std::function<void(QroModel&, QroNumVar&, QroNumVar&)> change;
  const char* model;
  int solutions;
};

TEST_F(Members, AChangeRefusedAfterItWasAllowedIsMadeWhole) {
  const std::vector<LateCase> cases = {
      {"end x", QroRemoveFromAllChange::GetTypeInfo(),
       [](QroModel&, QroNumVar& x, QroNumVar&) { x.end(); },
       "QroModel m = {\ny[0..2] \ny  <= 2 \n}\n", 3},
      {"add y <= 0", QroAddOneToModel::GetTypeInfo(),
       [](QroModel& m, QroNumVar&, QroNumVar& y) { m.add(QroNumExprArg(y) <= 0); },
       "QroModel m = {\nx[0..2] \ny[0..2] \nx  + y  <= 2 \ny  <= 0 \n}\n", 3},
      {"bounds of y", QroSetNumVarBounds::GetTypeInfo(),
       [](QroModel&, QroNumVar&, QroNumVar& y) { y.setBounds(1, 1); },
       "QroModel m = {\nx[0..2] \ny[1..1] \nx  + y  <= 2 \n}\n", 2},
  };
  for (bool throws : {false, true}) {
    for (const LateCase& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (throws ? ", applyChange throws" : ", applyChange false"));
      QroNumVar a(env, 0, 2, QroNumVar::Int, "x");
      QroNumVar b(env, 0, 2, QroNumVar::Int, "y");
      QroModel m(env, "m");
      m.add(a);
      m.add(b);
      m.add(QroNumExprArg(a) + QroNumExprArg(b) <= 2);
      QroSolver earlier(m);
      EXPECT_EQ(countOf(earlier), 6);
      Taker* late = new (env.getImpl()) Taker(env.getImpl(), c.refused, throws);
      late->extract(m.getImpl());
      for (QroModel::Iterator it(m.getImpl()); it.ok(); ++it) late->extract(*it);
      QroInt xId = a.getId();
      if (throws)
        EXPECT_THROW(c.change(m, a, b), QroWrongUsage);
      else
        EXPECT_THROW(c.change(m, a, b), QroAlgorithm::CannotChangeException);
      // x is ended with everything the cascade changed, or still there.
      EXPECT_EQ(env.getImpl()->getLiveSlot(xId), a.getImpl());
      EXPECT_EQ(a.getImpl() == nullptr, c.refused == QroRemoveFromAllChange::GetTypeInfo());
      EXPECT_EQ(shown(m), c.model);
      EXPECT_EQ(countOf(earlier), c.solutions);
      EXPECT_EQ(freshCount(m), c.solutions);
      delete late;
      earlier.end();
      m.end();
    }
  }
}

}  // namespace
