// Boxes, the not-overlap constraint and the two-member constraints: argument
// checks, registration, and the deductions of each rule.
#include <gtest/gtest.h>

#include <string>

#include "placement_fixtures.h"
#include "qrcfail.h"
#include "qrcintexp.h"

namespace placementtest {
namespace {

class ThrowingReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { throw code; }
};

class PlacementBox : public testing::Test {
 protected:
  void SetUp() override {
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
    m->useExceptions(true);
    m->setErrorReporter(&reporter);
  }
  void TearDown() override {
    m->setErrorReporter(nullptr);
    mgr.end();
  }
  QrcBoxI* box(std::vector<QroInt> sizes, QroInt lo = 0, QroInt hi = 10) {
    QrcInt k = static_cast<QrcInt>(sizes.size());
    return QrcBox(k, QrcIntVarArray(mgr, k, lo, hi), QrcIntArray(mgr, k, sizes.data())).getImpl();
  }
  // The error code a call reports, and the line it prints.
  template <class F>
  int errorOf(F f, std::string* line = nullptr) {
    testing::internal::CaptureStderr();
    int code = 0;
    try {
      f();
    } catch (int c) {
      code = c;
    }
    std::string out = testing::internal::GetCapturedStderr();
    if (line) *line = out;
    return code;
  }
  ThrowingReporter reporter;
  QrcManager mgr;
  QrcManagerI* m = nullptr;
};

TEST_F(PlacementBox, ConstructionChecksItsArguments) {
  QroInt two[] = {2, 3}, neg[] = {2, -1};
  QrcIntVarArray o2(mgr, 2, 0, 5), o3(mgr, 3, 0, 5);
  QrcManager other(QrcNoEdit);
  QrcIntVarArray foreign(other, 2, 0, 5);
  std::string line;
  EXPECT_EQ(errorOf([&] { QrcBox(0, o2, QrcIntArray(mgr, 2, two)); }), 32);
  EXPECT_EQ(errorOf([&] { QrcBox(2, foreign, QrcIntArray(mgr, 2, two)); }), 53);
  EXPECT_EQ(errorOf([&] { QrcBox(2, o3, QrcIntArray(mgr, 2, two)); }, &line), 5);
  EXPECT_EQ(line, "Solver Error : QrcBoxI : bad array size : 3\n");
  EXPECT_EQ(errorOf([&] { QrcBox(2, o2, QrcIntArray(mgr, 1, two)); }, &line), 5);
  EXPECT_EQ(line, "Solver Error : QrcBoxI : bad array size : 1\n");
  EXPECT_EQ(errorOf([&] { QrcBox(2, o2, QrcIntArray(mgr, 2, neg)); }), 32);
  other.end();
  QrcBoxI* b = box({4});
  EXPECT_EQ(b->getCrossSection(0), 1);
  EXPECT_EQ(b->getVolume(), 4);
  QrcBoxI* c = box({2, 3, 5});
  EXPECT_EQ(c->getCrossSection(0), 15);
  EXPECT_EQ(c->getCrossSection(2), 6);
  EXPECT_EQ(c->getVolume(), 30);
  QrcBoxI* huge = box({QroInt(1) << 40, QroInt(1) << 40, 0});
  EXPECT_EQ(huge->getCrossSection(2), INT64_MAX);
  EXPECT_EQ(huge->getVolume(), 0);
}

TEST_F(PlacementBox, FactoriesCheckMembersAndDimensions) {
  QrcBoxI* c = box({4, 4});
  QrcBoxI* a = box({1, 1});
  QrcBoxI* flat = box({1});
  QrcManager other(QrcNoEdit);
  QroInt s[] = {1, 1};
  QrcBoxI* foreign = QrcBox(2, QrcIntVarArray(other, 2, 0, 3), QrcIntArray(other, 2, s)).getImpl();
  EXPECT_EQ(errorOf([&] { c->makeContainmentConstraint(flat); }), 32);
  EXPECT_EQ(errorOf([&] { c->makeContainmentConstraint(foreign); }), 53);
  typedef QrcConstraintI* (QrcBoxI::*Maker)(QrcBoxI*, QrcBoxI*, QroInt);
  for (Maker f : {&QrcBoxI::makeOverlapInDimension, &QrcBoxI::makeNotOverlapInDimension,
                  &QrcBoxI::makePrecedenceInDimension}) {
    EXPECT_EQ(errorOf([&] { (c->*f)(a, flat, 0); }), 32);
    EXPECT_EQ(errorOf([&] { (c->*f)(foreign, a, 0); }), 53);
    EXPECT_EQ(errorOf([&] { (c->*f)(a, a, 2); }), 32);
    EXPECT_EQ(errorOf([&] { (c->*f)(a, a, -1); }), 32);
    EXPECT_EQ(errorOf([&] { (c->*f)(a, a, 1); }), 0);
  }
  other.end();
}

TEST(PlacementBoxDeath, EmptyHandleIsReported) {
  EXPECT_DEATH(QrcBox().getNotOverlapConstraint(), "empty handle");
}

TEST_F(PlacementBox, RegistrationIsOncePerMember) {
  QrcBoxI* c = box({6});
  QrcBoxI* a = box({2});
  QrcBoxI* b = box({3});
  EXPECT_EQ(c->registerBox(a), 0);
  EXPECT_EQ(c->registerBox(b), 1);
  EXPECT_EQ(c->registerBox(a), 0);
  EXPECT_EQ(c->getMemberCount(), 2);
  EXPECT_EQ(c->getGraph(0)->getVertexCount(), 2);
  m->pushState();
  QrcBoxI* d = box({1});
  m->add(c->makeOverlapInDimension(d, a, 0));  // posting registers
  EXPECT_EQ(c->getMemberCount(), 3);
  EXPECT_EQ(c->getGraph(0)->getVertexCount(), 3);
  m->popState();
  EXPECT_EQ(c->getMemberCount(), 2);
  EXPECT_EQ(c->getGraph(0)->getVertexCount(), 2);
}

TEST_F(PlacementBox, NotOverlapVolumeAndPairs) {
  // 2-D container 5 x 4 (volume 20); members 3 x 3, 4 x 3, 2 x 1.
  QrcBoxI* c = box({5, 4});
  QrcBoxI* a = box({3, 3});
  QrcBoxI* b = box({4, 3});
  QrcBoxI* e = box({2, 1});
  QrcNotOverlapConstraintI* no = c->getNotOverlapConstraint();
  m->add(no);
  EXPECT_EQ(no->getCliqueConstraint(0), nullptr);
  for (QrcBoxI* x : {a, b, e}) c->registerBox(x);
  c->getActivity(0)->setValue(1);
  EXPECT_EQ(c->getUsedVolume(), 9);
  EXPECT_EQ(c->getActivity(1)->getMax(), 0);   // 9 + 12 > 20
  EXPECT_FALSE(c->getActivity(2)->isBound());  // 9 + 2 <= 20
  // Edges 1 in both dimensions: the boxes overlap, so one must be inactive.
  m->pushState();
  c->getGraph(0)->getEdge(0, 2)->setValue(1);
  c->getGraph(1)->getEdge(0, 2)->setValue(1);
  EXPECT_EQ(c->getActivity(2)->getMax(), 0);
  m->popState();
  // Both active and one edge 1: the other edge becomes 0.
  m->pushState();
  c->getActivity(2)->setValue(1);
  EXPECT_FALSE(c->getGraph(0)->getEdge(0, 2)->isBound());
  c->getGraph(1)->getEdge(0, 2)->setValue(1);
  EXPECT_EQ(c->getGraph(0)->getEdge(0, 2)->getValue(), 0);
  m->popState();
  m->pushState();
  c->getActivity(2)->setValue(1);
  c->getGraph(0)->getEdge(0, 2)->setValue(1);
  EXPECT_THROW(c->getGraph(1)->getEdge(0, 2)->setValue(1), QrcFailException);
  m->popState();
}

TEST_F(PlacementBox, SaturatedContainerSkipsTheVolumeCheck) {
  QroInt big = QroInt(1) << 32;
  QrcBoxI* c = box({big, big}, 0, 0);
  QrcBoxI* a = box({big, 1}, 0, 0);
  m->add(c->getNotOverlapConstraint());
  c->registerBox(a);
  c->getActivity(0)->setValue(1);
  EXPECT_EQ(c->getUsedVolume(), big);
}

TEST_F(PlacementBox, PairConstraintsActOnlyBetweenActiveMembers) {
  Line l(10, {2, 2, 3});
  l.m->setErrorReporter(&reporter);
  l.before(1, 0);  // registers 1 as member 0 and 0 as member 1
  l.overlap(2, 1);
  QrcBoxI* c = l.container;
  ASSERT_EQ(c->getMemberCount(), 3);
  EXPECT_EQ(c->registerBox(l.boxes[1]), 0);
  QrcIntervalGraphI* g = l.graph();
  // Precedence: box 1 (member 0) before box 0 (member 1): R(0, 1) = 1.
  c->getActivity(0)->setValue(1);
  EXPECT_FALSE(g->getEdge(0, 1)->isBound());
  EXPECT_FALSE(g->getEdge(0, 2)->isBound());
  c->getActivity(1)->setValue(1);
  EXPECT_EQ(g->getEdge(0, 1)->getValue(), 0);
  EXPECT_EQ(g->getOrientation(0, 1)->getValue(), 1);
  // Overlap of member 2 with member 0: an edge 0 deactivates the other.
  g->getEdge(0, 2)->setValue(0);
  EXPECT_EQ(c->getActivity(2)->getMax(), 0);
  l.m->setErrorReporter(nullptr);
}

TEST_F(PlacementBox, OneActiveMemberLeavesThePairOpen) {
  for (int kind = 0; kind < 3; ++kind) {
    Line l(10, {2, 2});
    if (kind == 0) l.overlap(0, 1);
    if (kind == 1) l.disjoint(0, 1);
    if (kind == 2) l.before(0, 1);
    l.act(0)->setValue(1);
    EXPECT_FALSE(l.edge(0, 1)->isBound()) << "kind " << kind;
    EXPECT_FALSE(l.orient(0, 1)->isBound()) << "kind " << kind;
  }
}

TEST_F(PlacementBox, PrecedenceOfALaterMemberBindsROrientationToZero) {
  Line l(10, {2, 2});
  l.container->registerBox(l.boxes[1]);
  l.before(0, 1);  // box 0 is member 1, box 1 member 0
  l.act(0)->setValue(1);
  l.act(1)->setValue(1);
  EXPECT_EQ(l.edge(0, 1)->getValue(), 0);
  EXPECT_EQ(l.orient(0, 1)->getValue(), 0);
  EXPECT_LE(l.x(0)->getMax() + 2, l.x(1)->getMax());
}

TEST_F(PlacementBox, ConstraintsOfABoxWithItself) {
  Line l(10, {2});
  QrcBoxI* a = l.boxes[0];
  QrcConstraintI* cont = l.container->makeContainmentConstraint(a);
  EXPECT_FALSE(cont->isFalse());  // not posted: number unknown
  l.m->add(l.container->makeOverlapInDimension(a, a, 0));
  EXPECT_EQ(l.container->getMemberCount(), 1);
  EXPECT_FALSE(l.act(0)->isBound());
  for (int kind : {0, 1}) {
    QrcConstraintI* ct = kind ? l.container->makePrecedenceInDimension(a, a, 0)
                              : l.container->makeNotOverlapInDimension(a, a, 0);
    EXPECT_THROW(l.m->add(ct), QrcFailException);
    // The failed add is taken back whole: the constraint is not posted (its
    // members unknown) and fails again when added again.
    EXPECT_FALSE(ct->isFalse());
    EXPECT_THROW(l.m->add(ct), QrcFailException);
  }
  l.act(0)->setValue(0);
  EXPECT_THROW(l.disjoint(0, 0), QrcFailException);
  EXPECT_FALSE(cont->isFalse());
  cont->metaPostDemon(new (l.m) QrcIntervalGraphPropagateActiveChangeI(l.graph(), 0));
  EXPECT_TRUE(cont->isFalse());
}

TEST(PlacementDisplay, DemonsShowTheirNames) {
  Line l(10, {2, 3});
  l.disjoint(0, 1);
  l.before(0, 1);
  l.overlap(0, 1);
  QrcIntervalGraphI* g = l.graph();
  QrcBoxI* c = l.container;
  QrcNotOverlapConstraintI* no = c->getNotOverlapConstraint();
  QrcPairInDimensionConstraintI* pair = static_cast<QrcPairInDimensionConstraintI*>(
      c->makePrecedenceInDimension(l.boxes[0], l.boxes[1], 0));
  QrcIntExpI* a = g->getActivity(0);
  struct Row {
    QrcDemonI* d;
    const char* text;
  } rows[] = {
      {new (l.m) QrcIntervalGraphPropagateActiveChangeI(g, 0),
       "QrcIntervalGraphPropagateActiveChange"},
      {new (l.m) QrcIntervalGraphPropagateEdgeChangeI(g, 0, 1),
       "QrcIntervalGraphPropagateEdgeChange"},
      {new (l.m) QrcIntervalGraphPropagateOrientationChangeI(g, 0, 1),
       "QrcIntervalGraphPropagateOrientationChange"},
      {new (l.m) QrcIntervalGraphPropagatePseudoOrientationChangeI(g, 0, 1),
       "QrcIntervalGraphPropagatePseudoOrientationChange"},
      {new (l.m) QrcNotOverlapPropagateActiveChangeI(c, l.boxes[0], 0),
       "QrcNotOverlapPropagateActiveChange"},
      {new (l.m) QrcNotOverlapPropagateEdgeChangeI(no, 0, 1, 0),
       "QrcNotOverlapPropagateEdgeChange"},
      {new (l.m) QrcOverlapPropagateActiveChangeI(pair, a, a), "QrcOverlapPropagateActiveChange"},
      {new (l.m) QrcOverlapPropagateEdgeChangeI(pair), "QrcOverlapPropagateEdgeChange"},
      {new (l.m) QrcNotOverlapInDimensionPropagateActiveChangeI(pair, a, a),
       "QrcNotOverlapInDimensionPropagateActiveChange"},
      {new (l.m) QrcNotOverlapInDimensionPropagateEdgeChangeI(pair),
       "QrcNotOverlapInDimensionPropagateEdgeChange"},
      {new (l.m) QrcPrecedencePropagateActiveChangeI(pair, a, a),
       "QrcPrecedencePropagateActiveChange"},
      {new (l.m) QrcPrecedencePropagateEdgeChangeI(pair), "QrcPrecedencePropagateEdgeChange"},
      {new (l.m) QrcPrecedencePropagateOrientationChangeI(pair),
       "QrcPrecedencePropagateOrientationChange"},
  };
  for (const Row& r : rows) {
    std::ostringstream os;
    r.d->display(os);
    EXPECT_EQ(os.str(), r.text);
    EXPECT_EQ(std::string(r.d->getClassName()), std::string(r.text) + "I");
  }
}

}  // namespace
}  // namespace placementtest
