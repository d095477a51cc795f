// Sharing of equal expression nodes through the manager's index, against the
// walk of the operand's parents list: random building sequences of integer and
// float nodes at the root and in searches that backtrack, and searches of
// random models with sharing by the index and by the walk.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "engine/core/qrcshareindex.h"
#include "qrcfloatarith.h"
#include "qrcfloatcompare.h"
#include "qrcfloatnodes.h"
#include "qrcfloattrig.h"
#include "qrcfloatview.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcmanager.h"
#include "qrcsearch.h"
#include "support/seed.h"

namespace {

QrcIntExpI* asInt(QrcExprI* e) {
  return static_cast<QrcIntExpI*>(e);
}
QrcFloatExpI* asFloat(QrcExprI* e) {
  return static_cast<QrcFloatExpI*>(e);
}

typedef QrcExprI* (*Make)(QrcManagerI* m, QrcExprI* x, QrcExprI* y, double c, bool enter);

template <class T>
QrcExprI* intWithConstant(QrcManagerI* m, QrcExprI* x, QrcExprI*, double c, bool enter) {
  return new (m) T(m, asInt(x), static_cast<QrcInt>(c), enter);
}
template <class T>
QrcExprI* constantFirst(QrcManagerI* m, QrcExprI* x, QrcExprI*, double c, bool enter) {
  return new (m) T(m, static_cast<QrcInt>(c), asInt(x), enter);
}
template <class T>
QrcExprI* intUnary(QrcManagerI* m, QrcExprI* x, QrcExprI*, double, bool enter) {
  return new (m) T(m, asInt(x), enter);
}
template <class T>
QrcExprI* intBinary(QrcManagerI* m, QrcExprI* x, QrcExprI* y, double, bool enter) {
  return new (m) T(m, asInt(x), asInt(y), enter);
}
template <class T>
QrcExprI* floatUnary(QrcManagerI* m, QrcExprI* x, QrcExprI*, double c, bool enter) {
  return new (m) T(c, asFloat(x), enter);
}
template <class T>
QrcExprI* floatBinary(QrcManagerI* m, QrcExprI* x, QrcExprI* y, double, bool enter) {
  return new (m) T(asFloat(x), asFloat(y), enter);
}
QrcExprI* floatView(QrcManagerI* m, QrcExprI* x, QrcExprI*, double, bool enter) {
  return new (m) QrcIntExp2QrcFloatExpI(asInt(x), enter);
}

// A node class: the pools its operands come from and its result goes to, and
// the constants drawn for it (0 and -0 compare equal).
struct Kind {
  const char* name;
  bool intOperands, intResult, binary;
  double constants[3];
  Make make;
};

const Kind Kinds[] = {
    {"x + c", true, true, false, {-1, 0, 2}, intWithConstant<QrcIntAddI>},
    {"c - x", true, true, false, {0, 1, 3}, constantFirst<QrcIntSubI>},
    {"-x", true, true, false, {0, 0, 0}, intUnary<QrcOppI>},
    {"|x|", true, true, false, {0, 0, 0}, intUnary<QrcIntAbsI>},
    {"x^2", true, true, false, {0, 0, 0}, intUnary<QrcSquareI>},
    {"x * c, c > 1", true, true, false, {2, 3, 5}, intWithConstant<QrcIntMulPosI>},
    {"x * c, c < -1", true, true, false, {-2, -3, -5}, intWithConstant<QrcIntMulNegI>},
    {"x / c, c > 1", true, true, false, {2, 3, 4}, intWithConstant<QrcIntDivPI>},
    {"x / c, c < -1", true, true, false, {-2, -3, -4}, intWithConstant<QrcIntDivNI>},
    {"c / x", true, true, false, {1, 6, 12}, constantFirst<QrcDivIntI>},
    {"min(x, c)", true, true, false, {0, 1, 2}, intWithConstant<QrcIntMinI>},
    {"max(x, c)", true, true, false, {0, 1, 2}, intWithConstant<QrcIntMaxI>},
    {"x + y", true, true, true, {0, 0, 0}, intBinary<QrcAddI>},
    {"x - y", true, true, true, {0, 0, 0}, intBinary<QrcSubI>},
    {"x * y", true, true, true, {0, 0, 0}, intBinary<QrcMulI>},
    {"x / y", true, true, true, {0, 0, 0}, intBinary<QrcDivI>},
    {"min(x, y)", true, true, true, {0, 0, 0}, intBinary<QrcMinI>},
    {"max(x, y)", true, true, true, {0, 0, 0}, intBinary<QrcMaxI>},
    {"float(x)", true, false, false, {0, 0, 0}, floatView},
    {"float x + c", false, false, false, {-0.0, 0.0, 1.5}, floatUnary<QrcFloatCstAddI>},
    {"c * x, c > 0", false, false, false, {2, 0.5, 3}, floatUnary<QrcCstFloatMulPosI>},
    {"c * x, c < 0", false, false, false, {-2, -0.5, -3}, floatUnary<QrcCstFloatMulNegI>},
    {"float x / c", false, false, false, {2, 4, 0.5}, floatUnary<QrcFloatCstDivI>},
    {"k / x", false, false, false, {1, -1, 3}, floatUnary<QrcCstFloatDivI>},
    {"max(x, c.)", false, false, false, {-0.0, 0.0, 1}, floatUnary<QrcFloatCstMaxI>},
    {"min(x, c.)", false, false, false, {-0.0, 0.0, 1}, floatUnary<QrcFloatCstMinI>},
    {"float -x", false, false, false, {0, 0, 0}, floatUnary<QrcFloatOppI>},
    {"float x^2", false, false, false, {0, 0, 0}, floatUnary<QrcFloatSquareI>},
    {"float |x|", false, false, false, {0, 0, 0}, floatUnary<QrcFloatAbsI>},
    {"sin(x)", false, false, false, {0, 0, 0}, floatUnary<QrcSinI>},
    {"cos(x)", false, false, false, {0, 0, 0}, floatUnary<QrcCosI>},
    {"float x + y", false, false, true, {0, 0, 0}, floatBinary<QrcFloatAddI>},
    {"float x - y", false, false, true, {0, 0, 0}, floatBinary<QrcFloatSubI>},
    {"float x * y", false, false, true, {0, 0, 0}, floatBinary<QrcFloatMulI>},
    {"float x / y", false, false, true, {0, 0, 0}, floatBinary<QrcFloatDivI>},
    {"float max(x, y)", false, false, true, {0, 0, 0}, floatBinary<QrcFloatMaxI>},
    {"float min(x, y)", false, false, true, {0, 0, 0}, floatBinary<QrcFloatMinI>},
};
const QrcInt KindCount = sizeof(Kinds) / sizeof(Kinds[0]);

// Operands drawn by the steps; the size is trailed, so that the nodes a
// branch made leave the pool when it is undone.
struct Pool {
  static const QrcInt Capacity = 4096;
  QrcInt size = 0;
  QrcExprI* items[Capacity];
  void push(QrcManagerI* m, QrcExprI* e) {
    if (size == Capacity) return;
    m->saveValue(&size);
    items[size++] = e;
  }
  // Mostly the first items, else recent ones, so that equal nodes come up.
  QrcExprI* draw(std::mt19937_64& rng) const {
    QrcInt span = size < 6 ? size : 6;
    if (rng() % 4) return items[rng() % span];
    return items[size - 1 - static_cast<QrcInt>(rng() % span)];
  }
};

struct Builder {
  QrcManagerI* m;
  std::mt19937_64 rng;
  Pool ints, floats;
  // Each run draws from eight kinds from this one on.
  QrcInt first = 0;
  QrcInt steps = 0, found = 0;

  // One step: a probe of a random kind asks its first operand for an equal
  // parent by the index and by the walk; then nothing, a new node beside any
  // equal one, or the shared node joins the pool.
  void step() {
    const Kind& k = Kinds[(first + rng() % 8) % KindCount];
    const Pool& in = k.intOperands ? ints : floats;
    QrcExprI* x = in.draw(rng);
    QrcExprI* y = k.binary ? in.draw(rng) : nullptr;
    double c = k.constants[rng() % 3];
    QrcInt mark = m->getHeap()->getTop();
    QrcExprI* probe = k.make(m, x, y, c, false);
    QrcExprI* byIndex = x->findEqualParent(probe);
    QrcExprI* byWalk = x->scanEqualParents(probe);
    m->getHeap()->popTo(mark);
    EXPECT_EQ(byIndex, byWalk) << k.name << " at step " << steps;
    ++steps;
    if (byWalk) ++found;
    int action = static_cast<int>(rng() % 4);
    if (action == 0) return;
    QrcExprI* e = action == 1 || !byIndex ? k.make(m, x, y, c, true) : byIndex;
    if (k.intResult) asInt(e)->computeRangeAsDoubles();
    (k.intResult ? ints : floats).push(m, e);
  }
};

// Steps, then a choice between two deeper nodes of the same kind, or failure
// below the top.
class StepGoal : public QrcGoalI {
 public:
  static const int Depth = 5;
  StepGoal(QrcManagerI* m, Builder* b, int depth) : QrcGoalI(m), _b(b), _depth(depth) {}
  QrcGoalI* execute() override {
    for (int i = 0; i < 12; ++i) _b->step();
    if (_depth < Depth && _b->rng() % 6 == 0) _manager->fail();
    if (_depth == 0) return nullptr;
    QrcGoalI* left = new (_manager) StepGoal(_manager, _b, _depth - 1);
    QrcGoalI* right = new (_manager) StepGoal(_manager, _b, _depth - 1);
    return QrcOr(left, right).getImpl();
  }

 private:
  Builder* _b;
  int _depth;
};

class ShareIndexTest : public testing::Test {
 protected:
  void SetUp() override {
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
  }
  void TearDown() override { mgr.end(); }
  QrcManager mgr;
  QrcManagerI* m = nullptr;
};

TEST_F(ShareIndexTest, FindsWhatTheParentsWalkFindsAtTheRootAndInSearches) {
  const uint64_t seed = qrotest::seedOr(69);
  for (uint64_t run = 0; run < 10; ++run) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " run " + std::to_string(run));
    QrcManager local(QrcNoEdit);
    QrcManagerI* lm = local.getImpl();
    Builder* b = new Builder{lm, std::mt19937_64(seed + run), {}, {}};
    b->first = static_cast<QrcInt>(b->rng() % KindCount);
    for (int i = 0; i < 3; ++i) b->ints.push(lm, new (lm) QrcIntExpI(lm, -2 + i, 3 + i, nullptr));
    for (int i = 0; i < 2; ++i) b->floats.push(lm, QrcFloatVar(local, -1.0 - i, 2.0).getImpl());
    // The root's building is trailed in some of its three parts.
    for (int part = 0; part < 3; ++part) {
      lm->getTrail()->setRecording((run >> part) & 1);
      for (int i = 0; i < 100; ++i) b->step();
    }
    QrcInt rootInts = b->ints.size, rootFloats = b->floats.size;
    for (int s = 0; s < 2; ++s) {
      QrcSearch search(local, new (lm) StepGoal(lm, b, StepGoal::Depth));
      QrcInt leaves = 0;
      while (search.next() && leaves < 100) ++leaves;
      search.end();
      EXPECT_GT(lm->getChoicePointCount(), 0);
      // The nodes of the search are gone; the root's stay and are found again.
      EXPECT_EQ(b->ints.size, rootInts);
      EXPECT_EQ(b->floats.size, rootFloats);
      for (int i = 0; i < 100; ++i) b->step();
      rootInts = b->ints.size;
      rootFloats = b->floats.size;
    }
    EXPECT_GT(b->found, b->steps / 4);
    delete b;
    local.end();
  }
}

// Two equal nodes over x, made with the trail recording or not, and a look-up
// between them or not: the newer one is found, as the walk finds it.
TEST_F(ShareIndexTest, TheNewerOfTwoEqualNodesIsFound) {
  for (int pattern = 0; pattern < 8; ++pattern) {
    SCOPED_TRACE("pattern " + std::to_string(pattern));
    QrcIntExpI* x = new (m) QrcIntExpI(m, 0, 10, nullptr);
    QrcIntExpI* y = new (m) QrcIntExpI(m, 0, 10, nullptr);
    for (QrcInt c = 1; c <= 10; ++c) (void)(QrcIntExp(x) + c);
    QrcAddI probe(m, x, y, false);
    m->getTrail()->setRecording(pattern & 1);
    QrcExprI* older = new (m) QrcAddI(m, x, y, true);
    if (pattern & 4) {
      EXPECT_EQ(x->findEqualParent(&probe), older);
    }
    m->getTrail()->setRecording((pattern >> 1) & 1);
    QrcExprI* newer = new (m) QrcAddI(m, x, y, true);
    (void)(QrcIntExp(x) + 11);
    EXPECT_EQ(x->scanEqualParents(&probe), newer);
    EXPECT_EQ(x->findEqualParent(&probe), newer);
    m->getTrail()->setRecording(0);
  }
}

// Each leaf of a search makes a node over x: the cells of the undone nodes are
// used again, so the index does not grow with the number of leaves.
class MakeOne : public QrcGoalI {
 public:
  MakeOne(QrcManagerI* m, QrcIntExpI* x, QrcInt c) : QrcGoalI(m), _x(x), _c(c) {}
  QrcGoalI* execute() override {
    (void)(QrcIntExp(_x) + _c);
    return nullptr;
  }

 private:
  QrcIntExpI* _x;
  QrcInt _c;
};

TEST_F(ShareIndexTest, CellsOfUndoneNodesAreUsedAgain) {
  QrcIntExpI* x = new (m) QrcIntExpI(m, 0, 10, nullptr);
  QrcIntExpI* y = new (m) QrcIntExpI(m, 0, 10, nullptr);
  for (QrcInt c = 1; c <= 100; ++c) (void)(QrcIntExp(x) + c);
  QrcIntExp sum = QrcIntExp(x) + QrcIntExp(y);
  QrcShareIndex* index = m->getShareIndex();
  ASSERT_NE(index, nullptr);
  QrcInt buckets = index->getBucketCount();
  QrcGoal g = new (m) MakeOne(m, x, 1000);
  for (int i = 0; i < 12; ++i) g = QrcOr(g, new (m) MakeOne(m, x, 1001 + i));
  QrcInt leaves = 0;
  for (int round = 0; round < 300; ++round) {
    QrcSearch search(mgr, g);
    while (search.next()) ++leaves;
    search.end();
  }
  EXPECT_EQ(leaves, 300 * 13);
  EXPECT_EQ(index->getBucketCount(), buckets);
  EXPECT_LE(index->getCellCount(), buckets);
  EXPECT_EQ((QrcIntExp(x) + QrcIntExp(y)).getImpl(), sum.getImpl());
}

// ---------------------------------------------------------------- random models

// A random node of the public operators over two operands of the pool.
QrcIntExp intNode(std::mt19937_64& rng, const QrcIntExp& a, const QrcIntExp& b) {
  QrcInt c = static_cast<QrcInt>(rng() % 5) - 2;
  switch (rng() % 9) {
    case 0:
      return a + b;
    case 1:
      return a - b;
    case 2:
      return a * b;
    case 3:
      return a + c;
    case 4:
      return a * (c + 3);
    case 5:
      return QrcAbs(a);
    case 6:
      return QrcMin(a, b);
    case 7:
      return QrcMax(a, c);
    default:
      return a / (c + 4);
  }
}

QrcFloatExp floatNode(std::mt19937_64& rng, const QrcFloatExp& a, const QrcFloatExp& b) {
  QrcFloat c = static_cast<QrcFloat>(rng() % 5) - 2.0;
  switch (rng() % 8) {
    case 0:
      return a + b;
    case 1:
      return a - b;
    case 2:
      return a * b;
    case 3:
      return a + c;
    case 4:
      return (c + 3.0) * a;
    case 5:
      return QrcSquare(a);
    case 6:
      return QrcMax(a, b);
    default:
      return QrcMin(a, c);
  }
}

struct Model {
  QrcManagerI* m;
  std::mt19937_64 rng;
  std::vector<QrcIntExpI*> ints;
  std::vector<QrcFloatExpI*> floats;
  std::vector<QrcIntExpI*> intVars;
  std::vector<QrcFloatExpI*> floatVars;

  QrcIntExpI* drawInt() { return ints[rng() % ints.size()]; }
  QrcFloatExpI* drawFloat() { return floats[rng() % floats.size()]; }
  // A constraint over a new node: most of them hold often.
  QrcConstraintI* intConstraint() {
    QrcIntExp e = intNode(rng, drawInt(), drawInt());
    QrcInt k = static_cast<QrcInt>(rng() % 7) - 2;
    if (rng() % 2) return (e != k).getImpl();
    return (e <= QrcIntExp(drawInt()) + k + 2).getImpl();
  }
  QrcConstraintI* floatConstraint() {
    QrcFloatExp e = floatNode(rng, drawFloat(), drawFloat());
    QrcFloat k = static_cast<QrcFloat>(rng() % 7) - 1.0;
    if (rng() % 2) return (e <= k + 2.0).getImpl();
    return (e >= QrcFloatExp(drawFloat()) - k).getImpl();
  }
};

// Adds a constraint over a node made in the branch, then splits the first
// variable not fixed (integers by value, floats at the middle to width 0.25).
class BuildAndSplit : public QrcGoalI {
 public:
  BuildAndSplit(QrcManagerI* m, Model* model) : QrcGoalI(m), _model(model) {}
  QrcGoalI* execute() override {
    bool floats = !_model->floatVars.empty();
    _manager->add(floats ? _model->floatConstraint() : _model->intConstraint());
    QrcGoalI* next = new (_manager) BuildAndSplit(_manager, _model);
    for (QrcIntExpI* v : _model->intVars) {
      if (v->getMin() == v->getMax()) continue;
      QrcIntVar x(v);
      return QrcAnd(QrcOr(QrcGoal(x == v->getMin()), QrcGoal(x != v->getMin())), next).getImpl();
    }
    for (QrcFloatExpI* v : _model->floatVars) {
      if (v->getMax() - v->getMin() <= 0.25) continue;
      QrcFloatVar x(v);
      QrcFloat mid = (v->getMin() + v->getMax()) / 2;
      return QrcAnd(QrcOr(QrcGoal(x <= mid), QrcGoal(x >= mid)), next).getImpl();
    }
    return nullptr;
  }

 private:
  Model* _model;
};

// The solutions (variable bounds), choice points and failures of a random model
// built and searched with sharing by the index or by the walk.
std::vector<double> solveRandomModel(uint64_t seed, bool floats, bool byScan) {
  QrcExprI::setSharingByScan(byScan);
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  Model* model = new Model{m, std::mt19937_64(seed), {}, {}, {}, {}};
  for (int i = 0; i < 4; ++i) {
    if (floats) {
      QrcFloatExpI* v = QrcFloatVar(mgr, -2.0, 3.0).getImpl();
      model->floatVars.push_back(v);
      model->floats.push_back(v);
    } else {
      QrcIntExpI* v = QrcIntVar(mgr, -2, 3).getImpl();
      model->intVars.push_back(v);
      model->ints.push_back(v);
    }
  }
  for (int i = 0; i < 12; ++i) {
    if (floats)
      model->floats.push_back(
          floatNode(model->rng, model->drawFloat(), model->drawFloat()).getImpl());
    else
      model->ints.push_back(intNode(model->rng, model->drawInt(), model->drawInt()).getImpl());
  }
  std::vector<double> out;
  QrcSearch search(mgr, new (m) BuildAndSplit(m, model));
  m->setChoicePointLimit(3000);
  while (search.next()) {
    for (QrcIntExpI* v : model->intVars) out.push_back(static_cast<double>(v->getMin()));
    for (QrcFloatExpI* v : model->floatVars) {
      out.push_back(v->getMin());
      out.push_back(v->getMax());
    }
  }
  out.push_back(static_cast<double>(m->getChoicePointCount()));
  out.push_back(static_cast<double>(m->getFails()));
  search.end();
  delete model;
  mgr.end();
  QrcExprI::setSharingByScan(false);
  return out;
}

TEST(ShareIndexModels, SearchesAreTheSameWithTheIndexAndWithTheWalk) {
  const uint64_t seed = qrotest::seedOr(1969);
  size_t solutionWords = 0;
  for (uint64_t i = 0; i < 12; ++i) {
    bool floats = i % 2 == 1;
    SCOPED_TRACE("seed " + std::to_string(seed + i) + (floats ? " float" : " int"));
    std::vector<double> byIndex = solveRandomModel(seed + i, floats, false);
    std::vector<double> byWalk = solveRandomModel(seed + i, floats, true);
    EXPECT_EQ(byIndex, byWalk);
    solutionWords += byIndex.size() - 2;
  }
  EXPECT_GT(solutionWords, 0u);
}

}  // namespace
