#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "engine_fixtures.h"
#include "qrcexpr.h"
#include "qrcfail.h"

using namespace enginetest;

namespace {

int atomCopies = 0;

// A constraint with an opposite of its own kind; its truth is what the test says.
class Atom : public QrcConstraintI {
 public:
  Atom(QrcManagerI* m, const char* name, bool negated = false)
      : QrcConstraintI(m), _negated(negated) {
    _label = name;
  }
  void post() override {}
  void propagate() override {
    log() += _negated ? "!" : "";
    log() += _label;
    log() += " ";
  }
  void metaPostDemon(QrcDemonI*) override {}
  void display(std::ostream& os) const override { os << (_negated ? "!" : "") << _label; }
  QrcConstraintI* makeOpposite() override {
    return new (_manager) Atom(_manager, _label, !_negated);
  }
  QrcConstraintI* makeCopy(QrcManagerI* target) const override {
    ++atomCopies;
    return new (target) Atom(target, _label, _negated);
  }

 private:
  const char* _label;
  bool _negated;
};

class ConstraintTest : public testing::Test {
 protected:
  void SetUp() override {
    log().clear();
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
  }
  void TearDown() override { mgr.end(); }
  std::string show(const QrcConstraint& c) {
    std::ostringstream os;
    os << c;
    return os.str();
  }
  QrcManager mgr;
  QrcManagerI* m = nullptr;
};

TEST_F(ConstraintTest, ConnectivesFold) {
  QrcConstraint a = new (m) Atom(m, "a");
  QrcConstraint b = new (m) Atom(m, "b");
  QrcConstraint t = m->getTrueConstraint();
  QrcConstraint f = m->getFalseConstraint();
  EXPECT_EQ((a || a).getImpl(), a.getImpl());
  EXPECT_EQ((a && a).getImpl(), a.getImpl());
  EXPECT_EQ((a == a).getImpl(), t.getImpl());
  EXPECT_EQ((a != a).getImpl(), f.getImpl());
  EXPECT_EQ((a && !a).getImpl(), f.getImpl());
  EXPECT_EQ(show(a && !a), "FalseConstraint ");
  EXPECT_EQ((a || !a).getImpl(), t.getImpl());
  EXPECT_EQ((f || b).getImpl(), b.getImpl());
  EXPECT_EQ((b || f).getImpl(), b.getImpl());
  EXPECT_EQ((f && b).getImpl(), f.getImpl());
  EXPECT_EQ((t || b).getImpl(), t.getImpl());
  EXPECT_EQ((t && b).getImpl(), b.getImpl());
  EXPECT_EQ((f == b).getImpl(), b.getOpposite().getImpl());
  EXPECT_EQ((t == b).getImpl(), b.getImpl());
  EXPECT_EQ((f != b).getImpl(), b.getImpl());
  EXPECT_EQ(show(a || b), " (a || b)");
  EXPECT_EQ(show(a && b), " (a && b)");
  EXPECT_EQ(show(a == b), " ( (!a || b) &&  (a || !b))");
  EXPECT_EQ(show(a != b), " ( (!a || !b) &&  (a || b))");
  // Opposites are made once and linked both ways.
  QrcConstraintI* na = a.getImpl()->getOpposite();
  EXPECT_EQ(a.getImpl()->getOpposite(), na);
  EXPECT_EQ(na->getOpposite(), a.getImpl());
  EXPECT_EQ(t.getImpl()->getOpposite(), f.getImpl());
  EXPECT_EQ(f.getImpl()->getOpposite(), t.getImpl());
  EXPECT_EQ(show(!(a || b)), " (!a && !b)");
}

TEST_F(ConstraintTest, PostingDeclaresTheOppositeFalse) {
  m->useExceptions(true);
  QrcConstraintI* a = new (m) Atom(m, "a");
  a->makeTruthRecord();
  QrcConstraintI* na = a->getOpposite();
  ASSERT_NE(na->getTruthRecord(), nullptr);
  EXPECT_EQ(na->getTruthRecord()->getPartner(), a->getTruthRecord());
  EXPECT_EQ(m->getVariableCount(), 1);
  m->add(a);
  // The opposite's truth demon forces a once more when !a becomes false.
  EXPECT_EQ(log(), "a a ");
  EXPECT_TRUE(na->isKnownFalse());
  EXPECT_TRUE(a->isKnownTrue());
  EXPECT_THROW(m->add(na), QrcFailException);
}

TEST_F(ConstraintTest, OrPropagatesWhenOneSideIsFalse) {
  QrcConstraintI* a = new (m) Atom(m, "a");
  QrcConstraintI* b = new (m) Atom(m, "b");
  a->makeTruthRecord();
  b->makeTruthRecord();
  QrcConstraint either = QrcConstraint(a) || QrcConstraint(b);
  QrcSearch s(mgr, QrcAnd(QrcGoal(either), QrcGoal(QrcConstraint(a->getOpposite()))));
  EXPECT_TRUE(s.next());
  // Posting !a makes a false, which wakes the disjunction, which adds b;
  // each posted atom runs once more through its opposite's truth demon.
  EXPECT_EQ(log(), "!a !a b b ");
  EXPECT_TRUE(b->isPosted());
  s.end();
}

TEST_F(ConstraintTest, MetaDemonBitJoinsTheStatusAndIsUndone) {
  Atom* a = new (m) Atom(m, "a");
  m->add(a);
  QrcInt posted = a->getStatus();
  EXPECT_EQ(posted & (QrcConstraintI::Added | QrcConstraintI::Posted | QrcConstraintI::Propagated),
            QrcConstraintI::Added | QrcConstraintI::Posted | QrcConstraintI::Propagated);
  m->getTrail()->setRecording(1);
  m->pushChoicePoint(nullptr, nullptr, nullptr);
  a->attachMetaDemon(new (m) LogDemon(m, "meta"));
  EXPECT_EQ(a->getStatus(), posted | QrcConstraintI::MetaDemon);
  m->popChoicePoint(nullptr, nullptr);
  EXPECT_EQ(a->getStatus(), posted);
}

TEST_F(ConstraintTest, FalseConstraintFails) {
  QrcSearch s(mgr, QrcGoal(QrcConstraint(m->getFalseConstraint())));
  EXPECT_FALSE(s.next());
  s.end();
  QrcSearch s2(mgr, QrcGoal(QrcConstraint(m->getTrueConstraint())));
  EXPECT_TRUE(s2.next());
  s2.end();
}

TEST_F(ConstraintTest, CopyIntoAnotherManagerSharesOperands) {
  QrcManager other(QrcNoEdit);
  QrcConstraintI* a = new (m) Atom(m, "a");
  QrcConstraintI* b = new (m) Atom(m, "b");
  QrcConstraintI* c = new (m) Atom(m, "c");
  QrcConstraintArrayI* arr = new (m) QrcConstraintArrayI(m, 2);
  (*arr)[0] = (QrcConstraint(a) || QrcConstraint(b)).getImpl();
  (*arr)[1] = (QrcConstraint(a) || QrcConstraint(c)).getImpl();
  atomCopies = 0;
  QrcConstraintArrayI* copy = arr->getCopyForManager(other.getImpl());
  EXPECT_EQ(atomCopies, 3);
  EXPECT_EQ(static_cast<QrcBinaryConstraintI*>(copy->get(0))->getFirst(),
            static_cast<QrcBinaryConstraintI*>(copy->get(1))->getFirst());
  EXPECT_EQ(copy->get(0)->getManager(), other.getImpl());
  std::ostringstream os;
  copy->display(os);
  EXPECT_EQ(os.str(), "[ (a || b)  (a || c)]");
  EXPECT_EQ(other.getImpl()->getMemoStack()->getCount(), 0);
  // No memo is left behind: a second copy builds new objects.
  QrcConstraintArrayI* again = arr->getCopyForManager(other.getImpl());
  EXPECT_EQ(atomCopies, 6);
  EXPECT_NE(again, copy);
  other.end();
}

TEST_F(ConstraintTest, ErrorsOfTheBase) {
  class Plain : public QrcConstraintI {
   public:
    explicit Plain(QrcManagerI* m) : QrcConstraintI(m) {}
    void post() override {}
    void propagate() override {}
  };
  QrcConstraintI* p = new (m) Plain(m);
  p->setName("plain");
  EXPECT_DEATH(p->getOpposite(), "Solver Error : constraint without opposite :   : plain");
  EXPECT_DEATH(p->metaPostDemon(nullptr),
               "Solver Error : constraint without metaPostDemon :   : plain");
  EXPECT_DEATH(p->makeCopy(m),
               "Solver Error : internal error : QrcConstraintI::makeCopy undefined : plain");
  EXPECT_DEATH(QrcConstraintArrayI(m, -1),
               "Solver Error : QrcConstraintArrayI : bad array size : -1");
}

// ---------------------------------------------------------------- expressions

int leafCopies = 0;

class Leaf : public QrcExprI {
 public:
  explicit Leaf(QrcManagerI* m) : QrcExprI(m) {}
  QrcExprI* makeCopy(QrcManagerI* target) const override {
    ++leafCopies;
    return new (target) Leaf(target);
  }
  QRCEXPRTYPEID
};

class Plus : public QrcExprI {
 public:
  Plus(QrcExprI* a, QrcExprI* b, bool registered = true) : QrcExprI(a->getManager()), _a(a), _b(b) {
    if (!registered) return;
    a->addParent(this);
    if (b != a) b->addParent(this);
  }
  bool isEqual(const QrcExprI* o) const override {
    const Plus* p = static_cast<const Plus*>(o);
    return p->_a == _a && p->_b == _b;
  }
  QrcExprI* makeCopy(QrcManagerI* target) const override {
    return new (target) Plus(_a->getCopyForManager(target), _b->getCopyForManager(target));
  }
  QRCEXPRTYPEID
  QrcExprI* _a;
  QrcExprI* _b;
};

TEST_F(ConstraintTest, ExpressionCopySharing) {
  QrcManager other(QrcNoEdit);
  Leaf* a = new (m) Leaf(m);
  Plus* p = new (m) Plus(a, a);
  leafCopies = 0;
  Plus* c = static_cast<Plus*>(p->getCopyForManager(other.getImpl()));
  EXPECT_EQ(leafCopies, 1);
  EXPECT_EQ(c->_a, c->_b);
  EXPECT_EQ(c->getManager(), other.getImpl());
  Plus* c2 = static_cast<Plus*>(p->getCopyForManager(other.getImpl()));
  EXPECT_EQ(leafCopies, 2);
  EXPECT_NE(c2, c);
  other.end();
}

TEST_F(ConstraintTest, ExpressionParentsAndNames) {
  Leaf* a = new (m) Leaf(m);
  Leaf* b = new (m) Leaf(m);
  EXPECT_EQ(a->findEqualParent(a), nullptr);
  Plus* p = new (m) Plus(a, b);
  Plus probe(a, b, false);
  EXPECT_EQ(a->findEqualParent(&probe), p);
  EXPECT_NE(a->getExprTypeId(), p->getExprTypeId());
  EXPECT_EQ(Leaf(m).getExprTypeId(), a->getExprTypeId());

  m->getTrail()->setRecording(1);
  const char* first = "first";
  a->setName(first);
  QrcInt top = m->getTrail()->getTop();
  a->setName(a->getName());
  EXPECT_EQ(m->getTrail()->getTop(), top);
  m->pushChoicePoint(nullptr, nullptr, nullptr);
  a->setName("second");
  EXPECT_STREQ(a->getName(), "second");
  m->popChoicePoint(nullptr, nullptr);
  EXPECT_STREQ(a->getName(), "first");

  // Invalidation stops at stale parents.
  p->setBoundsStamp(m->getFailStamp());
  a->setBoundsStamp(m->getFailStamp());
  a->invalidateParents();
  EXPECT_EQ(a->getBoundsStamp(), 0);
  EXPECT_EQ(p->getBoundsStamp(), 0);
  EXPECT_DEATH(a->setObjMin(1, 0), "Solver Error : not a variable : setObjMin : 0x");
}

TEST_F(ConstraintTest, ScheduleQueuesOnce) {
  LogHandler* h = new (m) LogHandler(m, "h");
  m->getPropagationQueue()->enter();
  h->schedule();
  h->schedule();
  m->getPropagationQueue()->leave();
  EXPECT_EQ(log(), "h ");
}

}  // namespace
