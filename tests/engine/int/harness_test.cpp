// The propagator harness itself: a sound constraint passes every step, and
// constraints that remove solutions, accept non-solutions or prune too little
// are caught.
#include <gmock/gmock.h>
#include <gtest/gtest-spi.h>

#include "int_fixtures.h"
#include "qrcintcompare.h"
#include "support/harness.h"

namespace inttest {
namespace {

// x != y, propagated when either side is bound. Mode 1 also removes x's value
// + 1 from y (a wrong pruning), mode 2 checks nothing, mode 3 wakes on x only
// (sound while a value removed from y stays removed).
class NotEqualCt : public QrcConstraintI {
 public:
  NotEqualCt(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y, int mode)
      : QrcConstraintI(m), _x(x), _y(y), _mode(mode) {}
  void post() override {
    _x->whenValue(this);
    if (_mode != 3) _y->whenValue(this);
  }
  void propagate() override {
    if (_mode == 2) return;  // checks nothing
    if (_x->isBound()) {
      _y->removeValue(_x->getValue());
      if (_mode == 1) _y->removeValue(_x->getValue() + 1);
    }
    if (_y->isBound()) _x->removeValue(_y->getValue());
  }

 private:
  QrcIntExpI* _x;
  QrcIntExpI* _y;
  int _mode;
};

qrotest::PropCase notEqual(int mode) {
  qrotest::PropCase c;
  c.name = "x != y";
  c.values = {qrotest::range(-2, 3), {0, 1, 3}};
  c.post = [mode](QrcManagerI* m, const qrotest::Vars& v) {
    m->add(new (m) NotEqualCt(m, v[0], v[1], mode));
  };
  c.check = [](const std::vector<int64_t>& a) { return a[0] != a[1]; };
  c.seed = qrotest::caseSeed(5);
  c.callersCode = true;
  return c;
}

// The failures a step reports, joined; the step's return value must count them.
template <class F>
std::string failuresOf(F step) {
  testing::TestPartResultArray results;
  int n = 0;
  {
    testing::ScopedFakeTestPartResultReporter r(
        testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
    n = step();
  }
  std::string all;
  for (int i = 0; i < results.size(); ++i)
    all += std::string(results.GetTestPartResult(i).message()) + "\n";
  EXPECT_EQ(n, results.size());
  return all;
}

TEST(Harness, SoundConstraintPassesEveryStep) {
  qrotest::PropCase c = notEqual(0);
  c.level = qrotest::Consistency::Domain;
  EXPECT_EQ(qrotest::runPropCase(c), 0);
}

TEST(Harness, WrongPruningIsCaught) {
  EXPECT_THAT(failuresOf([] { return qrotest::checkAssignments(notEqual(1)); }),
              testing::HasSubstr("(2,3) (fixed first) was rejected, the checker accepts it"));
  EXPECT_THAT(failuresOf([] { return qrotest::checkSearch(notEqual(1)); }),
              testing::HasSubstr("search missed solution (2,3)"));
  // A removal of the chosen solution's value shows either as a failed run or
  // as the value gone, by the seed's narrowings.
  EXPECT_THAT(failuresOf([] { return qrotest::checkNarrowings(notEqual(1)); }),
              testing::AnyOf(testing::HasSubstr("remains a solution; operations: post"),
                             testing::HasSubstr("lost value of variable 1 after: post")));
}

TEST(Harness, MissingCheckIsCaught) {
  EXPECT_THAT(failuresOf([] { return qrotest::checkAssignments(notEqual(2)); }),
              testing::HasSubstr("(0,0) (fixed first) was accepted, the checker rejects it"));
  EXPECT_THAT(failuresOf([] { return qrotest::checkSearch(notEqual(2)); }),
              testing::HasSubstr("search found non-solution (1,1)"));
  qrotest::PropCase c = notEqual(2);
  c.level = qrotest::Consistency::Domain;
  c.values = {{1}, {0, 1, 3}};
  EXPECT_THAT(failuresOf([&] { return qrotest::checkNarrowings(c); }),
              testing::HasSubstr("value 1 of variable 1 has no support after: post"));
}

TEST(Harness, ElementFormsBuildTwoOperandsPerElement) {
  typedef std::vector<int64_t> A;
  qrotest::PropCase c = notEqual(0);
  c.level = qrotest::Consistency::Domain;
  qrotest::PropCase sum = qrotest::withElementForm(c, 1, qrotest::ElementForm::Sum);
  EXPECT_EQ(sum.values, (std::vector<A>{qrotest::range(-2, 2), {0, 1}, {0, 1, 3}}));
  EXPECT_EQ(sum.level, qrotest::Consistency::None);
  EXPECT_FALSE(sum.check({2, 1, 3}));  // 2 + 1 = 3
  EXPECT_TRUE(sum.check({2, 0, 3}));
  qrotest::PropCase diff = qrotest::withElementForm(c, 2, qrotest::ElementForm::Difference);
  EXPECT_EQ(diff.values, (std::vector<A>{qrotest::range(-1, 3), {0, 1}, {0, 1, 3}, {0, 1}}));
  EXPECT_FALSE(diff.check({3, 1, 3, 1}));
  qrotest::PropCase absDiff = qrotest::withElementForm(c, 1, qrotest::ElementForm::AbsDifference);
  EXPECT_TRUE(absDiff.check({-2, 1, 1}));  // |-2 - 1| = 3
  EXPECT_FALSE(absDiff.check({0, 1, 1}));
  EXPECT_FALSE(qrotest::withElementForm(c, 1, qrotest::ElementForm::Product).check({3, 0, 0}));
  EXPECT_EQ(qrotest::withElementForm(c, 2, qrotest::ElementForm::Variable).values, c.values);
}

// A constraint that removes an inner value from an expression of two
// unbound variables loses it: the expression holds no holes.
TEST(Harness, ValuesLostByExpressionElementsAreCaught) {
  EXPECT_THAT(failuresOf([] {
                return qrotest::checkAssignments(
                    qrotest::withElementForm(notEqual(3), 2, qrotest::ElementForm::Sum));
              }),
              testing::HasSubstr("was accepted, the checker rejects it"));
  EXPECT_EQ(qrotest::runPropCase(notEqual(3)), 0);
}

// The offset shape builds both positions over one variable (the other's
// offset view, or offsets of a new one); the bound shape binds a variable
// before the posting and, over the case's own variables, keeps what the case
// promises. Both run clean on a sound constraint.
TEST(Harness, OffsetAndBoundShapes) {
  qrotest::PropCase c = notEqual(0);
  c.level = qrotest::Consistency::Domain;
  c.arrayElements = 2;
  int offsets = 0, bound = 0, own = 0;
  for (uint64_t seed = 1; seed <= 30; ++seed) {
    qrotest::PropCase e;
    if (qrotest::withArrayShape(c, qrotest::ArrayShape::Offset, seed, e)) {
      ++offsets;
      EXPECT_THAT(e.name, testing::HasSubstr("{offset:"));
      EXPECT_EQ(e.level, qrotest::Consistency::None);
      // Two different offsets of one variable are never equal.
      ASSERT_EQ(e.values.size(), 1u) << e.name;
      for (int64_t v : e.values[0]) EXPECT_TRUE(e.check({v})) << e.name;
      EXPECT_EQ(qrotest::runPropCase(e), 0);
    }
    if (!qrotest::withArrayShape(c, qrotest::ArrayShape::Bound, seed, e)) continue;
    ++bound;
    EXPECT_THAT(e.name, testing::HasSubstr(" := "));
    if (e.values == c.values) {
      ++own;
      EXPECT_EQ(e.level, qrotest::Consistency::Domain);
      int held = 0;
      for (int64_t x : c.values[0])
        for (int64_t y : c.values[1]) held += e.check({x, y});
      // One of the two variables is bound: at most one row or column holds.
      EXPECT_LT(held, static_cast<int>(c.values[0].size() + c.values[1].size()));
    }
    EXPECT_EQ(qrotest::runPropCase(e), 0);
  }
  EXPECT_EQ(offsets, 30);
  EXPECT_GT(bound, 15);
  EXPECT_GT(own, 5);
}

// ---------------------------------------------------------------- reified forms

// x != y with an opposite and a truth demon. Mode 1 also declares itself
// false when x == y + 1 (a wrong truth); mode 2 watches only x for its truth
// (which then stays unknown when y is bound last).
class ReifiableNotEqualCt : public QrcConstraintI {
 public:
  ReifiableNotEqualCt(QrcManagerI* m, QrcIntExpI* x, QrcIntExpI* y, int mode)
      : QrcConstraintI(m), _x(x), _y(y), _mode(mode) {}
  void post() override {
    _x->whenValue(this);
    _y->whenValue(this);
  }
  void propagate() override {
    if (_x->isBound()) _y->removeValue(_x->getValue());
    if (_y->isBound()) _x->removeValue(_y->getValue());
  }
  QrcBool isFalse() const override {
    if (!_x->isBound() || !_y->isBound()) return 0;
    return _x->getValue() == _y->getValue() || (_mode == 1 && _x->getValue() == _y->getValue() + 1);
  }
  QrcConstraintI* makeOpposite() override { return (QrcIntExp(_x) == QrcIntExp(_y)).getImpl(); }
  void metaPostDemon(QrcDemonI* d) override {
    _x->whenValue(d);
    if (_mode != 2) _y->whenValue(d);
  }

 private:
  QrcIntExpI* _x;
  QrcIntExpI* _y;
  int _mode;
};

qrotest::PropCase reifiable(int mode) {
  qrotest::PropCase c = notEqual(0);
  c.post = nullptr;
  c.make = [mode](QrcManagerI* m, const qrotest::Vars& v) {
    return new (m) ReifiableNotEqualCt(m, v[0], v[1], mode);
  };
  return c;
}

qrotest::ReifiedForm form(qrotest::Shape shape, bool edit, qrotest::TruthTiming timing) {
  qrotest::ReifiedForm f;
  f.shape = shape;
  f.edit = edit;
  f.timing = timing;
  return f;
}

TEST(Harness, ReifiedFormsOfASoundConstraintPass) {
  qrotest::PropCase c = reifiable(0);
  c.reifiedForms = qrotest::AllReifiedForms;
  EXPECT_EQ(qrotest::runPropCase(c), 0);
}

TEST(Harness, ReifiedFormsStateWhatTheyCheck) {
  using qrotest::Shape;
  using qrotest::TruthTiming;
  qrotest::PropCase c = reifiable(0);
  qrotest::PropCase t = qrotest::reifiedForm(c, form(Shape::Truth, true, TruthTiming::Free));
  EXPECT_EQ(t.name, "b == (x != y) [edit, b bound by propagation]");
  EXPECT_EQ(t.values.size(), 3u);
  EXPECT_TRUE(t.check({1, 0, 1}));
  EXPECT_FALSE(t.check({1, 0, 0}));
  EXPECT_TRUE(t.check({1, 1, 0}));
  EXPECT_EQ(t.staging.after, 2);
  EXPECT_TRUE(t.staging.decided);
  qrotest::PropCase o =
      qrotest::reifiedForm(c, form(Shape::Opposite, false, TruthTiming::BoundBefore));
  EXPECT_EQ(o.name, "!(x != y) [no edit]");
  EXPECT_EQ(o.values.size(), 2u);
  EXPECT_TRUE(o.check({3, 3}));
  qrotest::ReifiedForm f = form(Shape::Or, false, TruthTiming::BoundBefore);
  f.otherOp = 2;  // b == 1
  f.otherK = 1;
  qrotest::PropCase d = qrotest::reifiedForm(c, f);
  EXPECT_EQ(d.name, "(x != y) || b == 1 [no edit, b bound before posting]");
  EXPECT_EQ(d.staging.before, 2);
  EXPECT_TRUE(d.check({3, 3, 1}));
  EXPECT_FALSE(d.check({3, 3, 0}));
  f.shape = Shape::Xor;
  f.otherOnTruth = false;
  f.otherVar = 1;
  f.otherOp = 0;  // y <= 0
  f.otherK = 0;
  f.otherFirst = true;
  qrotest::PropCase x = qrotest::reifiedForm(c, f);
  EXPECT_EQ(x.name, "x1 <= 0 != (x != y) [no edit]");
  EXPECT_EQ(x.values.size(), 2u);
  EXPECT_TRUE(x.check({0, 0}));   // y <= 0, and x == y
  EXPECT_FALSE(x.check({1, 0}));  // both hold
  // The forms of a case: every shape in both modes.
  qrotest::Rng rng(1);
  EXPECT_EQ(qrotest::allReifiedForms(c, rng).size(), 46u);
}

TEST(Harness, WrongTruthIsCaughtInTheReifiedForms) {
  using qrotest::Shape;
  using qrotest::TruthTiming;
  for (bool edit : {false, true}) {
    qrotest::PropCase t =
        qrotest::reifiedForm(reifiable(1), form(Shape::Truth, edit, TruthTiming::BoundAfter));
    EXPECT_THAT(failuresOf([&] { return qrotest::checkAssignments(t); }),
                testing::HasSubstr("(1,0,1) (posted first) was rejected, the checker accepts it"));
  }
  qrotest::PropCase c = reifiable(1);
  c.reifiedForms = qrotest::AllReifiedForms;
  EXPECT_THAT(failuresOf([&] { return qrotest::runReifiedForms(c); }),
              testing::HasSubstr("b == (x != y) [edit, b bound before posting]"));
}

TEST(Harness, TruthLeftUnknownIsCaught) {
  using qrotest::Shape;
  using qrotest::TruthTiming;
  qrotest::PropCase t =
      qrotest::reifiedForm(reifiable(2), form(Shape::Truth, false, TruthTiming::Free));
  EXPECT_THAT(failuresOf([&] { return qrotest::checkAssignments(t); }),
              testing::HasSubstr("variable 2 is not bound by propagation"));
  EXPECT_THAT(failuresOf([&] { return qrotest::checkSearch(t); }),
              testing::HasSubstr("variable 2 is not bound by propagation"));
  // Bound by the harness after the operands, the same truth is sound.
  t = qrotest::reifiedForm(reifiable(2), form(Shape::Truth, false, TruthTiming::BoundAfter));
  EXPECT_EQ(qrotest::runPropCase(t), 0);
}

// A constraint without opposite given by make is named, not run.
TEST(Harness, ConstraintWithoutOppositeWantsAReason) {
  qrotest::PropCase c = notEqual(0);
  c.post = nullptr;
  c.make = [](QrcManagerI* m, const qrotest::Vars& v) {
    return new (m) NotEqualCt(m, v[0], v[1], 0);
  };
  EXPECT_THAT(failuresOf([&] { return qrotest::runReifiedForms(c); }),
              testing::HasSubstr("reports error 40; give the case a notReified reason"));
  c.notReified = "no opposite";
  EXPECT_EQ(qrotest::runPropCase(c), 0);
}

}  // namespace
}  // namespace inttest
