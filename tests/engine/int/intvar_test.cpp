#include <map>
#include <random>
#include <set>
#include <vector>

#include "int_fixtures.h"
#include "qrcmonitor.h"
#include "qroexception.h"
#include "support/seed.h"

namespace inttest {

std::string& log() {
  static std::string s;
  return s;
}

namespace {

TEST_F(IntTest, DisplayShowsRunsHolesNamesAndBoundValues) {
  EXPECT_EQ(str(var({1, 2, 3, 5, 7, 8, 9})), "[1..3 5 7..9]");
  EXPECT_EQ(str(var({3, 1})), "[1 3]");
  EXPECT_EQ(str(var(5, 5, "x")), "x[5]");
  EXPECT_EQ(str(var(-4, 6)), "[-4..6]");
  QrcIntExpI* x = var({1, 3, 5});
  EXPECT_EQ(str(x), "[1 3 5]");
  x->setMin(2);
  EXPECT_EQ(x->getMin(), 3);
  EXPECT_EQ(str(x), "[3 5]");
  EXPECT_EQ(x->getSize(), 2);
  EXPECT_THROW(x->setRange(QrcInt(2), QrcInt(2)), QrcFailException);
  QrcIntExpI* y = var(0, 9);
  y->setRange(1.9, 5.7);
  EXPECT_EQ(str(y), "[1..5]");
  y->setRange(std::nan(""), 2.0);
  EXPECT_EQ(str(y), "[1..5]");
  y->removeValue(std::nan(""));
  y->removeRange(std::nan(""), 9.0);
  EXPECT_EQ(str(y), "[1..5]");
  y->removeValue(3);
  EXPECT_EQ(str(y), "[1..2 4..5]");
  y->removeValue(3);
  EXPECT_EQ(y->getSize(), 4);
  y->removeRange(QrcInt(1), QrcInt(2));
  EXPECT_EQ(str(y), "[4..5]");
  EXPECT_THROW(y->removeRange(QrcInt(0), QrcInt(9)), QrcFailException);
}

TEST_F(IntTest, BoundsAreClampedAndBadConstructionFails) {
  QrcIntExpI* x = var(-(QrcInt(1) << 60), QrcInt(1) << 60);
  EXPECT_EQ(x->getMin(), QrcIntMin);
  EXPECT_EQ(x->getMax(), QrcIntMax);
  EXPECT_EQ(x->getSize(), QrcIntMax);
  EXPECT_THROW(var(3, 2), QrcFailException);
  EXPECT_THROW(new (m) QrcIntExpI(m, 0, nullptr, nullptr), QrcFailException);
  // A hole anywhere in the engine's whole range costs the hole.
  QrcUInt before = m->getHeap()->getBytes();
  x->removeValue(0);
  EXPECT_LT(m->getHeap()->getBytes() - before, QrcUInt(1024));
  EXPECT_FALSE(x->isInDomain(0));
  EXPECT_EQ(x->getNextHigher(-1), 1);
  EXPECT_EQ(x->getSize(), QrcIntMax);
  EXPECT_THROW(x->setRange(1e300, 2e300), QrcFailException);
  x->setRange(-1e300, 7.5);
  EXPECT_EQ(x->getMin(), QrcIntMin);
  EXPECT_EQ(x->getMax(), 7);
}

TEST_F(IntTest, ReadersFollowTheDomain) {
  QrcIntExpI* x = var({2, 4, 9});
  EXPECT_EQ(x->getNextHigher(1), 2);
  EXPECT_EQ(x->getNextHigher(2), 4);
  EXPECT_EQ(x->getNextHigher(5), 9);
  EXPECT_EQ(x->getNextHigher(9), 9);
  EXPECT_EQ(x->getNextLower(10), 9);
  EXPECT_EQ(x->getNextLower(9), 4);
  EXPECT_EQ(x->getNextLower(2), 2);
  EXPECT_TRUE(x->isInDomain(4));
  EXPECT_FALSE(x->isInDomain(3));
  EXPECT_FALSE(x->isInDomain(10));
  QrcIntExpI* wide = var({0, 500, 1000});
  ASSERT_NE(wide->getDomainSet(), nullptr);
  EXPECT_NE(wide->getDomainSet()->getCollection(), nullptr);
  EXPECT_EQ(str(wide), "[0 500 1000]");
  EXPECT_DEATH(var(1, 2)->getValue(), "unbound constrained variable");
}

// ---------------------------------------------------------------- events

void iterateDelta(TextDemon* d) {
  QrcIntVarDeltaIterator it(d->getVar());
  QrcInt v;
  while (it.next(v)) log() += std::to_string(v) + " ";
}

TEST_F(IntTest, DeltaIteratorGivesRemovalsThenLostBounds) {
  QrcIntExpI* x = var(0, 10);
  x->whenDomain(new (m) TextDemon(m, "delta:", x, iterateDelta));
  QrcPropagationQueueI* q = m->getPropagationQueue();
  q->enter();
  x->removeValue(5);
  x->removeValue(3);
  x->removeValue(3);
  x->setMin(2);
  x->setMax(8);
  EXPECT_TRUE(x->isInDelta(5));
  EXPECT_TRUE(x->isInDelta(9));
  EXPECT_FALSE(x->isInDelta(4));
  q->leave();
  EXPECT_EQ(log(), "delta: 3 5 0 1 9 10 ");
  log().clear();
  x->setMax(7);
  EXPECT_EQ(log(), "delta: 8 ");
  EXPECT_DEATH(QrcIntVarDeltaIterator it(x), "variable not in process");
}

TEST_F(IntTest, WithoutDemonsABoundChangeLeavesNoDelta) {
  QrcIntExpI* x = var(0, 10);
  x->setMin(4);
  x->setMax(6);
  EXPECT_EQ(x->getOldMin(), 4);
  EXPECT_EQ(x->getOldMax(), 6);
  EXPECT_FALSE(x->isInDelta(2));
  EXPECT_EQ(x->getRemovedValues(), nullptr);
  EXPECT_EQ(x->getEventHandler()->getState(), QrcEventHandlerI::Idle);
}

TEST_F(IntTest, ProcessingRunsValueThenRangeThenDomainDemons) {
  QrcIntExpI* x = var(0, 10);
  x->whenDomain(new (m) TextDemon(m, "domain"));
  x->whenRange(new (m) TextDemon(m, "range"));
  x->whenValue(new (m) TextDemon(m, "value"));
  x->setMin(3);
  EXPECT_EQ(log(), "range domain ");
  log().clear();
  x->removeValue(5);
  EXPECT_EQ(log(), "domain ");
  log().clear();
  x->setValue(4);
  EXPECT_EQ(log(), "value range domain ");
  log().clear();
  // A bound expression attaches nothing.
  x->whenDomain(new (m) TextDemon(m, "late"));
  EXPECT_EQ(x->getEventHandler()->getNbDemons(), 3);
}

void changeOwnVariable(TextDemon* d) {
  if (d->_count++) return;
  QrcIntExpI* x = d->getVar();
  x->removeValue(7);
  x->setMin(3);
  x->removeValue(5);
  log() += "min=" + std::to_string(x->getMin()) + " ";
}

void showMin(TextDemon* d) {
  log() += "min=" + std::to_string(d->getVar()->getMin()) + " ";
}

TEST_F(IntTest, ChangesDuringProcessingAreDeferredRangeFirst) {
  QrcIntExpI* x = var(0, 10);
  x->whenDomain(new (m) TextDemon(m, "delta:", x, iterateDelta));
  x->whenRange(new (m) TextDemon(m, "sibling", x, showMin));
  x->whenRange(new (m) TextDemon(m, "changer", x, changeOwnVariable));
  x->setMin(1);
  // The second processing sees the deferred changes: removals in request
  // order (the most recent first in the delta), then the lost minimum.
  EXPECT_EQ(log(), "changer min=1 sibling min=1 delta: 0 changer sibling min=3 delta: 5 7 1 2 ");
  EXPECT_EQ(str(x), "[3..4 6 8..10]");
}

TEST_F(IntTest, SuspendedVariableQueuesNothingUntilResumed) {
  QrcIntExpI* x = var(0, 10);
  x->whenRange(new (m) TextDemon(m, "range"));
  x->getIntHandler()->suspend();
  x->setMin(2);
  EXPECT_EQ(log(), "");
  x->getIntHandler()->resume();
  x->setMin(3);
  EXPECT_EQ(log(), "range ");
}

class CountingMonitor : public QrcSearchMonitorI {
 public:
  void onIntVarSetMinBegin(QrcExprI*, QrcInt v) override {
    log() += "min<" + std::to_string(v) + " ";
  }
  void onIntVarSetMinEnd(QrcExprI*, QrcInt v) override {
    log() += "min>" + std::to_string(v) + " ";
  }
  void onIntVarRemoveValueBegin(QrcExprI*, QrcInt v) override {
    log() += "rm<" + std::to_string(v) + " ";
  }
  void onIntVarSetValueBegin(QrcExprI*, QrcInt v) override {
    log() += "val<" + std::to_string(v) + " ";
  }
};

TEST_F(IntTest, TracingCallsTheMonitorHooks) {
  CountingMonitor mon;
  mon.setFlags(0xff);
  m->setMonitor(&mon);
  m->setTrace(true);
  QrcIntExpI* x = var(0, 10);
  x->setMin(2);
  x->removeValue(5);
  x->removeValue(5);
  EXPECT_THROW(x->setValue(5), QrcFailException);
  m->setTrace(false);
  m->setMonitor(nullptr);
  EXPECT_EQ(log(), "min<2 min>2 rm<5 val<5 ");
}

// ---------------------------------------------------------------- nodes

// x + c as a bare node, enough to exercise caching and variables made of nodes.
class OffsetNode : public QrcIntExpI {
 public:
  OffsetNode(QrcManagerI* m, QrcIntExpI* x, QrcInt c) : QrcIntExpI(m), _x(x), _c(c) {
    x->addParent(this);
  }
  void computeRange() override {
    _min = _x->getMin() + _c;
    _max = _x->getMax() + _c;
    ++computed;
  }
  void setOperandsRange(QrcInt a, QrcInt b) override { _x->setRange(a - _c, b - _c); }
  void removeOperandsValue(QrcInt v) override { _x->removeValue(v - _c); }
  void whenRangeOnOperands(QrcDemonI* d) override { _x->whenRange(d); }
  void whenDomainOnOperands(QrcDemonI* d) override { _x->whenDomain(d); }
  int computed = 0;

 private:
  QrcIntExpI* _x;
  QrcInt _c;
};

TEST_F(IntTest, NodeBoundsAreCachedAndNarrowingsGoToOperands) {
  QrcIntExpI* x = var(0, 10);
  OffsetNode* e = new (m) OffsetNode(m, x, 3);
  EXPECT_EQ(e->getMin(), 3);
  EXPECT_EQ(e->getMax(), 13);
  EXPECT_EQ(e->computed, 1);
  x->setMax(8);
  EXPECT_EQ(e->getMax(), 11);
  EXPECT_EQ(e->computed, 2);
  e->setRange(QrcInt(5), QrcInt(9));
  EXPECT_EQ(str(x), "[2..6]");
  e->removeValue(7);
  EXPECT_EQ(str(x), "[2..3 5..6]");
  EXPECT_EQ(e->getSize(), 5);  // a node without domain set counts its interval
}

TEST_F(IntTest, NodeTurnedIntoVariableKeepsItsOwnDomain) {
  QrcIntExpI* x = var(0, 10);
  OffsetNode* e = new (m) OffsetNode(m, x, 3);
  QrcIntVar v(e);
  EXPECT_TRUE(e->isVariable());
  e->removeValue(6);
  EXPECT_EQ(str(e), "[3..5 7..13]");
  e->setMin(5);
  EXPECT_EQ(str(x), "[2..10]");
  x->setMax(6);
  EXPECT_EQ(str(e), "[5 7..9]");
  EXPECT_EQ(str(x), "[2..6]");
}

TEST_F(IntTest, ConstantsFailOutsideTheirValueAndZeroIsCachedReversibly) {
  QrcIntConstI* c = new (m) QrcIntConstI(m, 4);
  EXPECT_THROW(c->setOperandsRange(QrcInt(5), QrcInt(9)), QrcFailException);
  c->removeOperandsValue(QrcInt(3));
  EXPECT_THROW(c->setValue(3), QrcFailException);
  c->setRange(QrcInt(0), QrcInt(9));
  EXPECT_EQ(QrcIntExp(mgr, 0).getImpl(), QrcIntExp(mgr, 0).getImpl());
  EXPECT_NE(QrcIntExp(mgr, 7).getImpl(), QrcIntExp(mgr, 7).getImpl());
  EXPECT_EQ(QrcIntExp(mgr, 1).getImpl(), m->getIntOne());
  QrcIntVar four(mgr, 4, 4, "four");
  EXPECT_EQ(str(four.getImpl()), "four[4]");
  m->pushState();
  QrcIntExpI* z = m->getIntZero();
  EXPECT_EQ(m->getIntZero(), z);
  m->popState();
  EXPECT_FALSE(m->isSharedIntZero(z));
  EXPECT_EQ(m->getIntZero()->getMin(), 0);
}

// ---------------------------------------------------------------- domains from other domains

TEST_F(IntTest, SetDomainFromSparseArrayBuildsCollectionSet) {
  QrcIntVar x(mgr, 0, 10000);
  QrcInt vals[] = {10000, 0, 5000, 20000};
  QrcIntArray a(mgr, 4, vals);
  TextDemon* d = new (m) TextDemon(m, "d");
  x.whenDomain(d);
  x.setDomain(a);
  ASSERT_NE(x.getImpl()->getDomainSet(), nullptr);
  EXPECT_NE(x.getImpl()->getDomainSet()->getCollection(), nullptr);
  EXPECT_EQ(x.getSize(), 3);
  EXPECT_EQ(str(x.getImpl()), "[0 5000 10000]");
  QrcIntVar y(mgr, 0, 20);
  QrcInt few[] = {2, 4, 30};
  y.setDomain(QrcIntArray(mgr, 3, few));
  EXPECT_EQ(str(y.getImpl()), "[2 4]");
  QrcIntVar z(mgr, 0, 20);
  z.setDomain(y);
  EXPECT_EQ(str(z.getImpl()), "[2 4]");
  QrcIntVar w(mgr, -5, 5);
  w.setDomain(QrcIntSet(mgr, 3, 9, 1));
  EXPECT_EQ(str(w.getImpl()), "[3..5]");
  w.removeDomain(QrcIntArray(mgr, 2, few));
  EXPECT_EQ(str(w.getImpl()), "[3 5]");
  EXPECT_THROW(w.setDomain(QrcIntArray(mgr, 0, QrcInt(0))), QrcFailException);
  EXPECT_THROW(w.setDomain(QrcIntSet(mgr, 5, 3, 1)), QrcFailException);
}

// ---------------------------------------------------------------- handles and arrays

TEST_F(IntTest, ArraysPrintCopyAndIterate) {
  QrcIntVarArray a(mgr, 2);
  a.set(0, QrcIntVar(mgr, 0, 5));
  a.set(1, QrcIntVar(mgr, 3, 3));
  std::ostringstream os;
  os << a;
  EXPECT_EQ(os.str(), "QrcIntVarArrayI[[0..5] [3]]");
  std::ostringstream empty;
  empty << QrcIntVarArray(mgr, 0) << QrcIntArray(mgr, 0, QrcInt(1));
  EXPECT_EQ(empty.str(), "QrcIntVarArrayI[][]");
  QrcInt vals[] = {1, 2, 1, 1};
  EXPECT_EQ(QrcIntArray(mgr, 4, vals).countRepeated(), 2);
  std::ostringstream arr;
  arr << QrcIntArray(mgr, 4, vals);
  EXPECT_EQ(arr.str(), "[1 2 1 1]");

  QrcIntVarArray idx(mgr, 2, 10, 2, QrcIntVar(mgr, 0, 4));
  EXPECT_EQ(idx.getSize(), 4);
  std::vector<QrcInt> seen;
  for (QrcIntVarArrayIterator it(idx.getImpl(), 4, 8); it.ok(); ++it) seen.push_back(it.getIndex());
  EXPECT_EQ(seen, (std::vector<QrcInt>{4, 6}));
  EXPECT_NE(idx[0].getImpl(), idx[1].getImpl());
  idx.setRange(4, 8, 1, 2);
  EXPECT_EQ(idx.getMinOfMins(2, 10), 0);
  EXPECT_EQ(idx.getMinOfMins(4, 8), 1);
  EXPECT_EQ(idx.getMaxOfMaxs(4, 8), 2);
  EXPECT_DEATH(QrcIntVarArray(mgr, 2, 10, 3, QrcIntVar(mgr, 0, 4)), "bad index interval");
  EXPECT_DEATH(QrcIntVarArray(mgr, 2, 10, 0, QrcIntVar(mgr, 0, 4)), "negative index step");
  EXPECT_DEATH(a.getImpl()->extract(-1, 1), "bad index");
  EXPECT_DEATH(a.getImpl()->extract(1, 2), "bad array size");
  EXPECT_EQ(a.getImpl()->extract(1, 1)->getVar(0), a[1].getImpl());

  QrcManager other(QrcNoEdit);
  QrcIntVarArrayI* copy = a.getImpl()->copyForManager(other.getImpl());
  EXPECT_EQ(str(copy), "QrcIntVarArrayI[[0..5] [3]]");
  EXPECT_EQ(copy->getVar(0)->getManager(), other.getImpl());
  other.end();
}

class IndexDemon : public QrcDemonI {
 public:
  IndexDemon(QrcManagerI* m, QrcIntVarArrayI* a) : QrcDemonI(m), _a(a) {}
  void propagate() override { log() += std::to_string(_a->getCurrentIndex()) + " "; }

 private:
  QrcIntVarArrayI* _a;
};

TEST_F(IntTest, ArrayDomainDemonLearnsWhichElementChanged) {
  QrcIntVarArray a(mgr, 3, 0, 9);
  a.whenDomain(new (m) IndexDemon(m, a.getImpl()));
  QrcInt before = a[0].getImpl()->getEventHandler()->getNbDemons();
  a.whenDomain(new (m) IndexDemon(m, a.getImpl()));
  EXPECT_EQ(a[0].getImpl()->getEventHandler()->getNbDemons(), before);
  a[2].removeValue(4);
  a[0].setMax(5);
  EXPECT_EQ(log(), "2 2 0 0 ");
}

TEST(IntHandles, NullHandlesStopWithCode39) {
  EXPECT_DEATH(QrcIntExp().whenValue(nullptr), "empty handle : QrcIntExp::whenValue");
  EXPECT_DEATH(QrcIntExp().setDomain(QrcIntExp()), "empty handle : QrcIntExp::setDomain");
  std::ostringstream os;
  EXPECT_DEATH(os << QrcIntExp(), "empty handle : operator<<");
  EXPECT_DEATH(QrcIntVarArray().whenDomain(nullptr), "empty handle : QrcIntVarArray::whenDomain");
  EXPECT_DEATH(QrcIntVarDeltaIterator(nullptr), "empty handle : QrcIntVarDeltaIterator");
}

// ---------------------------------------------------------------- random narrowing against a plain
// set

TEST_F(IntTest, RandomNarrowingWithBacktrackingMatchesAPlainSet) {
  uint64_t seed = qrotest::seedOr(12);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (replay with --qro_seed=" + std::to_string(seed) +
               ")");
  std::mt19937_64 rng(seed);
  const int N = 3;
  QrcIntExpI* x[N] = {var(-5, 10), var({-3, 0, 1, 2, 7, 8, 9}), var(0, 200)};
  std::vector<std::set<QrcInt>> ref(N);
  for (int i = 0; i < N; ++i)
    for (QrcInt v = -10; v <= 210; ++v)
      if (x[i]->isInDomain(v)) ref[i].insert(v);
  std::vector<std::vector<std::set<QrcInt>>> saved;
  m->pushState();
  saved.push_back(ref);
  for (int step = 0; step < 3000; ++step) {
    int op = static_cast<int>(rng() % 10);
    if (op == 0 && saved.size() < 6) {
      m->pushState();
      saved.push_back(ref);
      continue;
    }
    if (op == 1 && saved.size() > 1) {
      m->popState();
      ref = saved.back();
      saved.pop_back();
      continue;
    }
    int i = static_cast<int>(rng() % N);
    QrcInt a = static_cast<QrcInt>(rng() % 215) - 8, b = a + static_cast<QrcInt>(rng() % 12) - 2;
    std::set<QrcInt> next = ref[i];
    bool failExpected = false;
    auto keep = [&](auto pred) {
      for (auto it = next.begin(); it != next.end();)
        it = pred(*it) ? std::next(it) : next.erase(it);
    };
    try {
      switch (op) {
        case 2:
          keep([&](QrcInt v) { return v >= a; });
          failExpected = next.empty();
          x[i]->setMin(a);
          break;
        case 3:
          keep([&](QrcInt v) { return v <= a; });
          failExpected = next.empty();
          x[i]->setMax(a);
          break;
        case 4:
          keep([&](QrcInt v) { return v >= a && v <= b; });
          failExpected = next.empty() || a > b;
          x[i]->setRange(a, b);
          break;
        case 5:
          keep([&](QrcInt v) { return v == a; });
          failExpected = next.empty();
          x[i]->setValue(a);
          break;
        case 6:
        case 7:
          keep([&](QrcInt v) { return v != a; });
          failExpected = next.empty();
          x[i]->removeValue(a);
          break;
        case 8:
          keep([&](QrcInt v) { return v < a || v > b; });
          failExpected = next.empty();
          x[i]->removeRange(a, b);
          break;
        default: {
          double lo = a + 0.5, hi = b + 0.25;
          QrcInt tl = static_cast<QrcInt>(lo), th = static_cast<QrcInt>(hi);
          keep([&](QrcInt v) { return v >= tl && v <= th; });
          failExpected = next.empty() || tl > th;
          x[i]->setRange(lo, hi);
        }
      }
      ASSERT_FALSE(failExpected) << "step " << step << " op " << op << " on x" << i
                                 << " should fail";
      ref[i] = next;
    } catch (QrcFailException&) {
      ASSERT_TRUE(failExpected) << "step " << step << " op " << op << " on x" << i << " failed";
      m->popState();
      ref = saved.back();
      saved.pop_back();
      if (saved.empty()) {
        m->pushState();
        saved.push_back(ref);
      }
    }
    for (int k = 0; k < N; ++k) {
      ASSERT_EQ(x[k]->getMin(), *ref[k].begin()) << "step " << step;
      ASSERT_EQ(x[k]->getMax(), *ref[k].rbegin()) << "step " << step;
      ASSERT_EQ(x[k]->getSize(), static_cast<QrcInt>(ref[k].size())) << "step " << step;
      for (QrcInt v = -10; v <= 210; ++v) ASSERT_EQ(x[k]->isInDomain(v), ref[k].count(v) == 1) << v;
    }
  }
}

}  // namespace
}  // namespace inttest

namespace inttest {
namespace {

TEST_F(IntTest, SparseDomainOverAHugeSpanIsCheap) {
  QrcIntVar x(mgr, 0, QrcInt(1) << 50);
  QrcInt vals[] = {0, QrcInt(1) << 40, QrcInt(1) << 50};
  x.setDomain(QrcIntArray(mgr, 3, vals));
  EXPECT_EQ(x.getSize(), 3);
  x.removeValue(QrcInt(1) << 40);
  EXPECT_EQ(str(x.getImpl()), "[0 1125899906842624]");
}

}  // namespace
}  // namespace inttest
