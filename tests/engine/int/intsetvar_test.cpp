#include <random>
#include <set>
#include <vector>

#include "int_fixtures.h"
#include "qrcintsetvar.h"
#include "qrcmonitor.h"
#include "qrcsearch.h"
#include "qroexception.h"
#include "support/seed.h"
#include "support/setkind.h"

namespace inttest {
namespace {

typedef std::vector<QrcInt> Values;

class SetVarTest : public IntTest {
 protected:
  QrcIntSetVarI* setVar(QrcInt lo, QrcInt hi, const char* name = nullptr) {
    return QrcIntSetVar(mgr, lo, hi, name).getImpl();
  }
  static Values required(QrcIntSetVarI* x) { return members(x->getRequired()); }
  static Values possible(QrcIntSetVarI* x) { return members(x->getPossible()); }
  static Values members(const QrcIntSetI* s) {
    Values out;
    QrcInt v;
    QrcIntSetIterator it(s);
    while (it.next(v)) out.push_back(v);
    return out;
  }
};

// Logs what each of the delta iterators reports, in one line per run.
class DeltaDemon : public QrcDemonI {
 public:
  typedef void (*Fn)(DeltaDemon*);
  DeltaDemon(QrcManagerI* m, QrcIntSetVarI* x, Fn fn = nullptr) : QrcDemonI(m), _x(x), _fn(fn) {}
  void propagate() override {
    std::string kind0, kind1, kind2, poss, req, ipos, ireq;
    for (QrcIntSetVarDeltaIterator it(_x, 0); it.ok(); ++it) kind0 += " " + std::to_string(*it);
    for (QrcIntSetVarDeltaIterator it(_x, 1); it.ok(); ++it) kind1 += " " + std::to_string(*it);
    for (QrcIntSetVarDeltaIterator it(_x, 2); it.ok(); ++it) kind2 += " " + std::to_string(*it);
    QrcInt v;
    for (QrcDeltaPossibleIterator it(_x); it.next(v);) poss += " " + std::to_string(v);
    for (QrcDeltaRequiredIterator it{QrcIntSetVar(_x)}; it.next(v);) req += " " + std::to_string(v);
    for (QrcIntDeltaPossibleIterator it(_x); it.ok(); ++it) ipos += " " + std::to_string(*it);
    for (QrcIntDeltaRequiredIterator it(_x); it.ok(); ++it) ireq += " " + std::to_string(*it);
    // The five iterators agree with one another.
    EXPECT_EQ(kind0, poss);
    EXPECT_EQ(kind0, ipos);
    EXPECT_EQ(kind1, req);
    EXPECT_EQ(kind1, ireq);
    EXPECT_EQ(kind2, "");
    log() += "-" + kind0 + " +" + kind1 + ";";
    ++runs;
    if (_fn) _fn(this);
  }
  QrcIntSetVarI* _x;
  Fn _fn;
  int runs = 0;
};

// ---------------------------------------------------------------- construction and printing

TEST_F(SetVarTest, PrintFormAndConstructionForms) {
  QrcIntSetVarI* x = setVar(1, 3);
  EXPECT_EQ(str(x), "[ ?1 ?2 ?3] ([0..3])");
  x->addRequired(1);
  EXPECT_EQ(str(x), "[ 1 ?2 ?3] ([1..3])");
  QrcIntSetVarI* u = setVar(1, 3);
  u->addRequired(2);
  EXPECT_EQ(str(u), "[ ?1 2 ?3] ([1..3])");
  QrcIntSetVarI* y = setVar(1, 3, "s");
  y->addRequired(2);
  EXPECT_EQ(str(y), "s[ ?1 2 ?3] ([1..3])");
  std::ostringstream os;
  os << QrcIntSetVar(y);
  EXPECT_EQ(os.str(), "s[ ?1 2 ?3] ([1..3])");

  QrcInt vals[] = {9, 1, 5, 1};
  QrcIntSetVarI* a = QrcIntSetVar(mgr, QrcIntArray(mgr, 4, vals)).getImpl();
  EXPECT_EQ(str(a), "[ ?1 ?5 ?9] ([0..3])");
  EXPECT_EQ(a->getUniverseMin(), 1);
  EXPECT_EQ(a->getUniverseMax(), 9);
  EXPECT_THROW(a->addRequired(3), QrcFailException);  // inside the bounds, outside the universe
  QrcInt wide[] = {0, 500, 1000};
  QrcIntSetVarI* w = QrcIntSetVar(mgr, QrcIntArray(mgr, 3, wide)).getImpl();
  ASSERT_NE(w->getPossible()->getCollection(), nullptr);
  w->removePossible(500);
  w->removePossible(499);
  EXPECT_EQ(str(w), "[ ?0 ?1000] ([0..2])");

  QrcIntSetVarI* s = QrcIntSetVar(mgr, QrcIntSet(mgr, QrcIntArray(mgr, 3, wide), 1)).getImpl();
  s->addRequired(1000);
  EXPECT_EQ(str(s), "[ ?0 ?500 1000] ([1..3])");

  QrcIntSetVarI* e = QrcIntSetVar(mgr, QrcIntArray(mgr, 0, vals)).getImpl();
  EXPECT_EQ(str(e), "[] ([0])");
  EXPECT_TRUE(e->isBound());
  EXPECT_EQ(e->getCardinality()->getMax(), 0);

  EXPECT_THROW(setVar(3, 2), QrcFailException);
  EXPECT_THROW(setVar(0, QrcInt(1) << 31), QroMemoryException);
  EXPECT_THROW(setVar(-(QrcInt(1) << 40), QrcInt(1) << 40), QroMemoryException);
}

TEST_F(SetVarTest, EmptyHandlesAndManagersStopWithCode39) {
  EXPECT_DEATH(QrcIntSetVar().whenDomain(nullptr), "empty handle : QrcIntSetVar::whenDomain");
  EXPECT_DEATH(QrcIntSetVar(QrcManager(), 1, 3), "empty manager : QrcIntSetVar");
  EXPECT_DEATH(QrcIntSetVar(mgr, QrcIntSet()),
               "empty handle : QrcIntSetVar\\(QrcManager, const QrcIntSet set, const char\\*\\)");
  EXPECT_DEATH(
      QrcIntSetVar(mgr, QrcIntArray()),
      "empty handle : QrcIntSetVar\\(QrcManager, const QrcIntArray array, const char\\*\\)");
  EXPECT_DEATH(QrcIntSetVarDeltaIterator(nullptr, 0), "empty handle : QrcIntSetVarDeltaIterator");
  EXPECT_DEATH(QrcDeltaPossibleIterator(static_cast<QrcIntSetVarI*>(nullptr)),
               "empty handle : QrcDeltaPossibleIterator");
  EXPECT_DEATH(QrcIntSetGenerate(QrcIntSetVarArray()), "empty handle : QrcIntSetGenerate");
}

// ---------------------------------------------------------------- changes and the cardinality link

TEST_F(SetVarTest, ChangesFailWhereTheyContradictTheDomain) {
  QrcIntSetVarI* x = setVar(1, 5);
  x->addRequired(2);
  x->addRequired(2);
  EXPECT_EQ(x->getCardinality()->getMin(), 1);
  EXPECT_THROW(x->addRequired(6), QrcFailException);
  EXPECT_THROW(x->addRequired(0), QrcFailException);
  x->removePossible(4);
  x->removePossible(4);
  x->removePossible(17);
  EXPECT_THROW(x->addRequired(4), QrcFailException);
  EXPECT_THROW(x->removePossible(2), QrcFailException);
  EXPECT_THROW(x->removePossibleRange(1, 3), QrcFailException);
  x->removePossibleRange(-10, 1);
  EXPECT_EQ(str(x), "[ 2 ?3 ?5] ([1..3])");
  x->restrictPossible(QrcIntSet(mgr, 2, 3, 1));
  EXPECT_EQ(str(x), "[ 2 ?3] ([1..2])");
  EXPECT_EQ(x->getFirstUndecided(), 3);
  x->addRequired(QrcIntSet(mgr, 3, 3, 1));
  EXPECT_EQ(str(x), "[ 2 3] ([2])");
  EXPECT_EQ(x->getFirstUndecided(), 3);
  EXPECT_TRUE(x->isBound());
}

TEST_F(SetVarTest, CardinalityLinkWorksBothWays) {
  QrcIntSetVarI* x = setVar(1, 3);
  QrcIntExpI* c = x->getCardinality();
  m->pushState();
  c->setValue(3);
  EXPECT_EQ(str(x), "[ 1 2 3] ([3])");
  EXPECT_TRUE(x->isBound());
  EXPECT_THROW(x->removePossible(2), QrcFailException);
  m->popState();
  EXPECT_EQ(str(x), "[ ?1 ?2 ?3] ([0..3])");
  EXPECT_FALSE(x->isBound());

  m->pushState();
  x->addRequired(2);
  c->setMax(1);
  EXPECT_EQ(str(x), "[ 2] ([1])");
  EXPECT_TRUE(x->isBound());
  EXPECT_THROW(x->addRequired(1), QrcFailException);
  m->popState();

  // Set changes narrow the cardinality; a cardinality out of reach fails.
  x->removePossible(3);
  EXPECT_EQ(c->getMax(), 2);
  c->setMin(1);
  x->addRequired(1);
  c->setMax(1);
  EXPECT_EQ(str(x), "[ 1] ([1])");
  QrcIntSetVarI* y = setVar(1, 3);
  y->getCardinality()->setMax(1);
  y->addRequired(1);
  EXPECT_EQ(str(y), "[ 1] ([1])");
  QrcIntSetVarI* z = setVar(1, 3);
  z->addRequired(1);
  z->addRequired(2);
  EXPECT_THROW(z->getCardinality()->setMax(1), QrcFailException);
}

TEST_F(SetVarTest, InEditModeTheLinkIsAConstraintPostedLater) {
  QrcManager em(QrcEdit);
  QrcManagerI* e = em.getImpl();
  e->useExceptions(true);
  QrcIntSetVarI* x = QrcIntSetVar(em, 1, 3).getImpl();
  std::ostringstream os;
  (new (e) QrcIntSetVarCardinalityCtI(e, x))->display(os);
  EXPECT_EQ(os.str(), "QrcIntSetVarCardinalityCtI([ ?1 ?2 ?3] ([0..3])) ");
  e->leaveEditMode();
  x->getCardinality()->setValue(3);
  EXPECT_EQ(str(x), "[ 1 2 3] ([3])");
  em.end();
}

TEST_F(SetVarTest, CopyIntoAnotherManagerKeepsTheDomainAndTheLink) {
  QrcIntSetVarI* x = setVar(1, 4, "s");
  x->addRequired(1);
  x->removePossible(4);
  QrcManager other(QrcNoEdit);
  other.getImpl()->useExceptions(true);
  QrcIntSetVarI* y = static_cast<QrcIntSetVarI*>(x->getCopyForManager(other.getImpl()));
  EXPECT_EQ(str(y), "[ 1 ?2 ?3] ([1..3])");
  y->getCardinality()->setValue(3);
  EXPECT_EQ(str(y), "[ 1 2 3] ([3])");
  EXPECT_EQ(str(x), "s[ 1 ?2 ?3] ([1..3])");
  other.end();
}

TEST_F(SetVarTest, SubsetTestFollowsCardinalitiesAndPossibleValues) {
  QrcIntSetVarI* a = setVar(1, 5);
  QrcIntSetVarI* b = setVar(1, 5);
  EXPECT_TRUE(a->canBeSubsetOf(b));
  a->getCardinality()->setMin(3);
  b->removePossibleRange(1, 3);
  EXPECT_FALSE(a->canBeSubsetOf(b));  // b has room for 2 values only
  QrcIntSetVarI* c = setVar(1, 5);
  c->getCardinality()->setMin(2);
  EXPECT_TRUE(c->canBeSubsetOf(b));
  c->addRequired(1);
  EXPECT_FALSE(c->canBeSubsetOf(b));  // 1 is required but not possible in b
}

// ---------------------------------------------------------------- deltas

TEST_F(SetVarTest, DeltasMergeNeighboursAndReportExactlyWhatChanged) {
  QrcIntSetVarI* x = setVar(1, 10);
  DeltaDemon* d = new (m) DeltaDemon(m, x);
  x->whenDomain(d);
  QrcPropagationQueueI* q = m->getPropagationQueue();
  q->enter();
  x->removePossible(4);
  x->removePossible(5);
  x->removePossible(6);
  EXPECT_EQ(x->getDelta(0), nullptr);
  ASSERT_NE(x->getDeltaRanges(0), nullptr);
  EXPECT_EQ(x->getDeltaRanges(0)->value, 4);
  EXPECT_EQ(x->getDeltaRanges(0)->next->value, 6);
  EXPECT_EQ(x->getDeltaRanges(0)->next->next, nullptr);
  q->leave();
  EXPECT_EQ(log(), "- 4 5 6 +;");
  log().clear();

  q->enter();
  x->removePossible(9);
  x->addRequired(2);
  x->removePossible(1);
  x->addRequired(8);
  x->removePossible(3);  // widens nothing: 4 is already gone, 2 is required
  q->leave();
  EXPECT_EQ(log(), "- 3 1 9 + 8 2;");
  log().clear();

  // A range over a hole reports only the values it removed, as runs.
  x->removePossibleRange(5, 7);
  EXPECT_EQ(log(), "- 7 +;");
  log().clear();
  QrcIntSetVarI* y = setVar(1, 10);
  y->whenDomain(new (m) DeltaDemon(m, y));
  y->removePossible(5);
  y->removePossibleRange(3, 8);
  EXPECT_EQ(log(), "- 5 +;- 6 7 8 3 4 +;");
  log().clear();
  // Two neighbours become a range.
  q->enter();
  y->removePossible(10);
  y->removePossible(9);
  y->removePossible(1);
  q->leave();
  EXPECT_EQ(log(), "- 1 9 10 +;");
}

TEST_F(SetVarTest, DeltaIteratorsOutsideProcessingReportCode43) {
  QrcIntSetVarI* x = setVar(1, 3);
  ThrowingReporter rep;
  QrcErrorReporter* old = m->getErrorReporter();
  m->setErrorReporter(&rep);
  EXPECT_EQ(reportedCode([&] { QrcIntSetVarDeltaIterator it(x, 0); }), QrcNotInProcessError);
  EXPECT_EQ(reportedCode([&] { QrcDeltaPossibleIterator it(x); }), QrcNotInProcessError);
  EXPECT_EQ(reportedCode([&] { QrcDeltaRequiredIterator it(x); }), QrcNotInProcessError);
  EXPECT_EQ(reportedCode([&] { QrcIntDeltaPossibleIterator it(x); }), QrcNotInProcessError);
  EXPECT_EQ(reportedCode([&] { QrcIntDeltaRequiredIterator it(x); }), QrcNotInProcessError);
  m->setErrorReporter(old);
  EXPECT_DEATH(QrcIntDeltaRequiredIterator it(x),
               "variable not in process : QrcIntDeltaRequiredIterator");
}

void changeOwnSet(DeltaDemon* d) {
  if (d->runs > 1) return;
  QrcIntSetVarI* x = d->_x;
  x->removePossible(7);
  x->removePossible(8);
  x->addRequired(2);
  x->removePossible(5);
  x->removePossibleRange(9, 10);
  // The demon does not see its own changes yet.
  log() += std::to_string(x->isPossible(7)) + std::to_string(x->isRequired(2)) + ";";
}

TEST_F(SetVarTest, ChangesDuringProcessingAreDeferredAndSeenNextTime) {
  QrcIntSetVarI* x = setVar(1, 10);
  x->whenDomain(new (m) DeltaDemon(m, x, changeOwnSet));
  x->removePossible(1);
  EXPECT_EQ(log(), "- 1 +;10;- 5 9 10 7 8 + 2;");
  EXPECT_EQ(str(x), "[ 2 ?3 ?4 ?6] ([1..4])");
  EXPECT_EQ(x->getEventHandler()->getState(), QrcEventHandlerI::Idle);
}

void requestInOrder(DeltaDemon* d) {
  if (d->runs > 1) return;
  QrcIntSetVarI* x = d->_x;
  x->removePossible(3);
  x->addRequired(1);
  x->removePossibleRange(9, 10);
  x->removePossible(6);
  x->addRequired(8);
  x->removePossibleRange(4, 5);
}

// Deferred changes of each kind are applied in the order they were asked for:
// the deltas, most recent first, list the last request first.
TEST_F(SetVarTest, DeferredChangesApplyInRequestOrder) {
  QrcIntSetVarI* x = setVar(1, 10);
  x->whenDomain(new (m) DeltaDemon(m, x, requestInOrder));
  x->removePossible(2);
  EXPECT_EQ(log(), "- 2 +;- 6 3 4 5 9 10 + 8 1;");
  EXPECT_EQ(str(x), "[ 1 ?7 8] ([2..3])");
}

void decideByCardinality(DeltaDemon* d) {
  if (d->runs > 1) return;
  QrcIntSetVarI* x = d->_x;
  x->getCardinality()->setMin(x->getPossible()->getSize());
  x->propagateCardinality();
}

TEST_F(SetVarTest, CardinalityDecisionsDuringProcessingReachTheDemons) {
  QrcIntSetVarI* x = setVar(1, 4);
  x->whenDomain(new (m) DeltaDemon(m, x, decideByCardinality));
  x->removePossible(2);
  EXPECT_EQ(log(), "- 2 +;- + 4 3 1;");
  EXPECT_EQ(str(x), "[ 1 3 4] ([3])");
}

TEST_F(SetVarTest, BoundDemonsRunOnceTheVariableIsBound) {
  QrcIntSetVarI* x = setVar(1, 2);
  x->whenValue(new (m) TextDemon(m, "bound"));
  x->whenDomain(new (m) TextDemon(m, "domain"));
  EXPECT_EQ(x->getEventHandler()->getNbDemons(), 2);
  x->addRequired(1);
  EXPECT_EQ(log(), "domain ");
  log().clear();
  x->removePossible(2);
  EXPECT_EQ(log(), "bound domain ");
  x->whenDomain(new (m) TextDemon(m, "late"));
  EXPECT_EQ(x->getEventHandler()->getNbDemons(), 2);
}

class SetMonitor : public QrcSearchMonitorI {
 public:
  void onIntSetVarAddRequiredBegin(QrcExprI*, QrcInt v) override {
    log() += "add<" + std::to_string(v) + " ";
  }
  void onIntSetVarAddRequiredEnd(QrcExprI*, QrcInt v) override {
    log() += "add>" + std::to_string(v) + " ";
  }
  void onIntSetVarRemovePossibleBegin(QrcExprI*, QrcInt v) override {
    log() += "rm<" + std::to_string(v) + " ";
  }
  void onIntSetVarRemovePossibleEnd(QrcExprI*, QrcInt v) override {
    log() += "rm>" + std::to_string(v) + " ";
  }
  void onIntSetVar(QrcExprI*) override { log() += "var "; }
};

TEST_F(SetVarTest, TracingCallsTheSetHooks) {
  SetMonitor mon;
  mon.setFlags(0xff);
  m->setMonitor(&mon);
  m->setTrace(true);
  QrcIntSetVarI* x = setVar(1, 3);
  x->addRequired(1);
  x->removePossible(3);
  EXPECT_THROW(x->removePossible(1), QrcFailException);
  EXPECT_THROW(x->addRequired(3), QrcFailException);
  x->notifyMonitor(nullptr, m->getPropagationQueue());
  m->setTrace(false);
  m->setMonitor(nullptr);
  // A failure also hands the failing variable to the monitor.
  EXPECT_EQ(log(), "add<1 add>1 rm<3 rm>3 rm<1 var add<3 var var ");
}

// ---------------------------------------------------------------- search

std::vector<std::string> allSolutions(QrcManager& mgr, const QrcGoal& goal,
                                      const std::vector<QrcIntSetVarI*>& vars) {
  std::vector<std::string> out;
  QrcSearch s(mgr, goal);
  while (s.next()) {
    std::string sol;
    for (QrcIntSetVarI* x : vars) {
      EXPECT_TRUE(x->isBound());
      std::ostringstream os;
      x->display(os);
      sol += os.str();
    }
    out.push_back(sol);
  }
  s.end();
  return out;
}

TEST_F(SetVarTest, GenerateEnumeratesSubsetsAddingFirst) {
  QrcIntSetVarI* x = setVar(1, 3);
  QrcIntSetVarArray a(mgr, 1);
  a.getImpl()->elementAt(0) = x;
  std::vector<std::string> expected = {"[ 1 2 3] ([3])", "[ 1 2] ([2])", "[ 1 3] ([2])",
                                       "[ 1] ([1])",     "[ 2 3] ([2])", "[ 2] ([1])",
                                       "[ 3] ([1])",     "[] ([0])"};
  EXPECT_EQ(allSolutions(mgr, QrcIntSetGenerate(a), {x}), expected);
  EXPECT_EQ(str(x), "[ ?1 ?2 ?3] ([0..3])");
  x->getCardinality()->setValue(2);
  expected = {"[ 1 2] ([2])", "[ 1 3] ([2])", "[ 2 3] ([2])"};
  EXPECT_EQ(allSolutions(mgr, QrcGenerate(a), {x}), expected);

  // Two variables: 4 x 2 solutions, the first variable decided first.
  QrcIntSetVarI* y = setVar(5, 6);
  QrcIntSetVarI* z = setVar(0, 0);
  QrcIntSetVarArray b(mgr, 2);
  b.getImpl()->elementAt(0) = y;
  b.getImpl()->elementAt(1) = z;
  std::vector<std::string> got = allSolutions(mgr, QrcIntSetGenerate(b), {y, z});
  ASSERT_EQ(got.size(), 8u);
  EXPECT_EQ(got[0], "[ 5 6] ([2])[ 0] ([1])");
  EXPECT_EQ(got[1], "[ 5 6] ([2])[] ([0])");
  EXPECT_EQ(got[7], "[] ([0])[] ([0])");
}

class LargestUndecided : public QrcIntSetValueSelectorI {
 public:
  QrcInt select(QrcIntSetVarI* x) override {
    QrcInt best = x->getUniverseMin();
    for (QrcInt v = x->getUniverseMin(); v <= x->getUniverseMax(); ++v)
      if (x->isPossible(v) && !x->isRequired(v)) best = v;
    return best;
  }
};

TEST_F(SetVarTest, InstantiateUsesItsValueSelector) {
  QrcIntSetVarI* x = setVar(1, 2);
  LargestUndecided sel;
  QrcGoal g(new (m) QrcIntSetVarInstantiateI(m, x, &sel));
  std::vector<std::string> expected = {"[ 1 2] ([2])", "[ 2] ([1])", "[ 1] ([1])", "[] ([0])"};
  EXPECT_EQ(allSolutions(mgr, g, {x}), expected);
  std::ostringstream os;
  g.getImpl()->display(os);
  QrctIntSetVarAddValueI(m, x, 1).display(os);
  QrctIntSetVarRemoveValueI(m, x, 1).display(os);
  EXPECT_EQ(os.str(), "QrcIntSetVarInstantiateQrctIntSetVarAddValueQrctIntSetVarRemoveValue");
}

// ---------------------------------------------------------------- the link through the harness

int bits(int64_t mask) {
  return __builtin_popcountll(static_cast<uint64_t>(mask));
}

TEST(SetVarHarness, CardinalityBoundsSelectExactlyTheSubsetsOfThatSize) {
  qrotest::PropCase c;
  c.name = "card(S0) = 2, card(S1) <= 1, 1 in S2";
  c.kind = &qrotest::intSetKind();
  c.values = {qrotest::subsets(3), qrotest::subsets(3), qrotest::subsets(2)};
  c.post = [](QrcManagerI*, const qrotest::Vars& v) {
    qrotest::setVarOf(v, 0)->getCardinality()->setValue(2);
    qrotest::setVarOf(v, 1)->getCardinality()->setMax(1);
    qrotest::setVarOf(v, 2)->addRequired(1);
  };
  c.check = [](const std::vector<int64_t>& a) {
    return bits(a[0]) == 2 && bits(a[1]) <= 1 && (a[2] & 2);
  };
  c.seed = qrotest::caseSeed(151);
  EXPECT_EQ(qrotest::runPropCase(c), 0);

  c.name = "card(S0) >= 3 on four values";
  c.values = {qrotest::subsets(4)};
  c.post = [](QrcManagerI*, const qrotest::Vars& v) {
    qrotest::setVarOf(v, 0)->getCardinality()->setMin(3);
  };
  c.check = [](const std::vector<int64_t>& a) { return bits(a[0]) >= 3; };
  c.seed = qrotest::caseSeed(152);
  EXPECT_EQ(qrotest::runPropCase(c), 0);
}

// ---------------------------------------------------------------- random changes against a plain
// model

struct Model {
  std::set<QrcInt> req, pos;
  QrcInt lo, hi;
  // The link's fixpoint; false when the domain is empty.
  bool settle() {
    for (;;) {
      QrcInt r = static_cast<QrcInt>(req.size()), p = static_cast<QrcInt>(pos.size());
      lo = std::max(lo, r);
      hi = std::min(hi, p);
      if (lo > hi) return false;
      if (r < p && lo == p) {
        req = pos;
        continue;
      }
      if (r < p && hi == r) {
        pos = req;
        continue;
      }
      return true;
    }
  }
};

// Collects every delta the variable reports.
class CollectDemon : public QrcDemonI {
 public:
  CollectDemon(QrcManagerI* m, QrcIntSetVarI* x) : QrcDemonI(m), _x(x) {}
  void propagate() override {
    QrcInt v;
    for (QrcDeltaPossibleIterator it(_x); it.next(v);) EXPECT_TRUE(removed.insert(v).second) << v;
    for (QrcDeltaRequiredIterator it(_x); it.next(v);) EXPECT_TRUE(added.insert(v).second) << v;
    // One change of its own per step, deferred until the processing ends.
    if (extraOp < 0 || extraDone) return;
    extraDone = true;
    extraOp ? _x->addRequired(extraValue) : _x->removePossible(extraValue);
  }
  QrcIntSetVarI* _x;
  std::set<QrcInt> removed, added;
  int extraOp = -1;
  QrcInt extraValue = 0;
  bool extraDone = false;
};

TEST_F(SetVarTest, RandomChangesWithBacktrackingMatchAPlainModel) {
  uint64_t seed = qrotest::seedOr(15);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (replay with --qro_seed=" + std::to_string(seed) +
               ")");
  std::mt19937_64 rng(seed);
  QrcInt vals[] = {-3, -2, 0, 1, 4, 5, 6, 9, 200, 201, 202, 400};
  for (int round = 0; round < 40; ++round) {
    bool wide = round % 2 == 1;
    QrcIntSetVarI* x =
        wide ? QrcIntSetVar(mgr, QrcIntArray(mgr, 12, vals)).getImpl() : setVar(-2, 9);
    CollectDemon* d = new (m) CollectDemon(m, x);
    x->whenDomain(d);
    Model ref{{}, {}, 0, 0};
    for (QrcInt v = -5; v <= 401; ++v)
      if (x->isPossible(v)) ref.pos.insert(v);
    ref.hi = static_cast<QrcInt>(ref.pos.size());
    std::vector<Model> saved{ref};
    m->pushState();
    for (int step = 0; step < 60; ++step) {
      Model next = ref;
      QrcInt a = wide ? vals[rng() % 12] : static_cast<QrcInt>(rng() % 14) - 3;
      QrcInt b = a + static_cast<QrcInt>(rng() % 4);
      int op = static_cast<int>(rng() % 8);
      d->extraOp = rng() % 3 == 0 ? static_cast<int>(rng() % 2) : -1;
      d->extraValue = wide ? vals[rng() % 12] : static_cast<QrcInt>(rng() % 12) - 2;
      d->extraDone = false;
      bool ok = true;
      // The demon's change comes when the step changed the sets.
      auto extra = [&](Model& n) {
        if (!ok || d->extraOp < 0 || (n.req == ref.req && n.pos == ref.pos)) return;
        if (d->extraOp) {
          if (!n.pos.count(d->extraValue)) ok = false;
          n.req.insert(d->extraValue);
        } else {
          if (n.req.count(d->extraValue)) ok = false;
          n.pos.erase(d->extraValue);
        }
        ok = ok && n.settle();
      };
      try {
        switch (op) {
          case 0:
          case 1:
            if (!next.pos.count(a)) ok = false;
            next.req.insert(a);
            ok = ok && next.settle();
            extra(next);
            x->addRequired(a);
            break;
          case 2:
          case 3:
            if (next.req.count(a)) ok = false;
            next.pos.erase(a);
            ok = ok && next.settle();
            extra(next);
            x->removePossible(a);
            break;
          case 4:
            for (QrcInt v = a; v <= b; ++v) {
              if (next.req.count(v)) ok = false;
              next.pos.erase(v);
            }
            ok = ok && next.settle();
            extra(next);
            x->removePossibleRange(a, b);
            break;
          case 5:
            next.lo = std::max(next.lo, static_cast<QrcInt>(rng() % 6));
            ok = next.settle();
            extra(next);
            x->getCardinality()->setMin(next.lo);
            break;
          case 6:
            next.hi = std::min(next.hi, static_cast<QrcInt>(rng() % 12));
            ok = next.settle();
            extra(next);
            x->getCardinality()->setMax(next.hi);
            break;
          default: {
            std::set<QrcInt> keep;
            for (QrcInt v : ref.pos)
              if (rng() % 3) keep.insert(v);
            std::vector<QrcInt> k(keep.begin(), keep.end());
            for (QrcInt v : ref.pos)
              if (!keep.count(v)) {
                if (next.req.count(v)) ok = false;
                next.pos.erase(v);
              }
            ok = ok && next.settle();
            QrcIntSet s =
                k.empty()
                    ? QrcIntSet(mgr, 1, 0, 0)
                    : QrcIntSet(mgr, QrcIntArray(mgr, static_cast<QrcInt>(k.size()), k.data()), 1);
            extra(next);
            x->restrictPossible(s);
          }
        }
        ASSERT_TRUE(ok) << "step " << step << " op " << op << " should fail";
        std::set<QrcInt> lost, gained;
        for (QrcInt v : ref.pos)
          if (!next.pos.count(v)) lost.insert(v);
        for (QrcInt v : next.req)
          if (!ref.req.count(v)) gained.insert(v);
        ASSERT_EQ(d->removed, lost) << "step " << step << " op " << op;
        ASSERT_EQ(d->added, gained) << "step " << step << " op " << op;
        ref = next;
      } catch (QrcFailException&) {
        ASSERT_FALSE(ok) << "step " << step << " op " << op << " failed";
        m->popState();
        m->pushState();
        ref = saved.back();
      }
      d->removed.clear();
      d->added.clear();
      ASSERT_EQ(required(x), Values(ref.req.begin(), ref.req.end())) << "step " << step;
      ASSERT_EQ(possible(x), Values(ref.pos.begin(), ref.pos.end())) << "step " << step;
      ASSERT_EQ(x->getCardinality()->getMin(), ref.lo) << "step " << step;
      ASSERT_EQ(x->getCardinality()->getMax(), ref.hi) << "step " << step;
      ASSERT_EQ(x->isBound(), ref.req.size() == ref.pos.size());
      if (rng() % 5 == 0) {
        m->pushState();
        saved.push_back(ref);
      } else if (rng() % 7 == 0 && saved.size() > 1) {
        m->popState();
        ref = saved.back();
        saved.pop_back();
      }
    }
    m->popPushStates(static_cast<QrcInt>(saved.size()));
  }
}

}  // namespace
}  // namespace inttest
