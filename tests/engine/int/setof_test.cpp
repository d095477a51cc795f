#include <sstream>
#include <string>
#include <vector>

#include "int_fixtures.h"
#include "qrcdistribute.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcsearch.h"
#include "qrcsetof.h"
#include "support/harness.h"
#include "support/seed.h"
#include "support/setkind.h"

namespace inttest {
namespace {

// Runs a callable (kept by the caller) as a goal.
template <class F>
class CallGoal : public QrcGoalI {
 public:
  CallGoal(QrcManagerI* m, F* f) : QrcGoalI(m), _f(f) {}
  QrcGoalI* execute() override {
    (*_f)();
    return nullptr;
  }

 private:
  F* _f;
};

class SetOfTest : public IntTest {
 protected:
  QrcIntVarArray array(const std::vector<QrcIntExpI*>& xs) {
    QrcIntVarArray a(mgr, static_cast<QrcInt>(xs.size()));
    for (size_t i = 0; i < xs.size(); ++i) a.set(static_cast<QrcInt>(i), QrcIntExp(xs[i]));
    return a;
  }
  // Solves f in a goal; false when it fails. The state stays.
  template <class F>
  bool holds(F f) {
    return m->solve(new (m) CallGoal<F>(m, &f), false) != 0;
  }
  // The number of solutions of an enumeration of xs.
  int countSolutions(const QrcIntVarArray& xs) {
    QrcSearch s(mgr, QrcGenerate(xs));
    int n = 0;
    while (s.next() && n < 1000) ++n;
    s.end();
    return n;
  }
  static std::string members(const QrcIntSetI* set) {
    std::string out;
    QrcInt v;
    for (QrcIntSetIterator it(set); it.next(v);) out += std::to_string(v);
    return out;
  }
};

// ---------------------------------------------------------------- instances and the set

TEST_F(SetOfTest, InstancesFollowTheSetAndTheSetFollowsTheInstances) {
  std::vector<QrcIntExpI*> x = {var(0, 2), var(0, 2), var(0, 2)};
  QrcIndex index;
  QrcIntVarArray xs = array(x);
  QrcConstraint tmpl = xs[index] <= 1;
  QrcIntSetVarI* s = new (m) QrcIntSetVarI(m, 0, 2, nullptr);
  auto* ct = new (m) QrcSetOfConstraint(s, index.getImpl(), tmpl.getImpl());
  m->add(ct);
  // Every instance is a fresh copy over its own element.
  for (QrcInt i = 0; i < 3; ++i) {
    QrcConstraintI* c = ct->getInstances()->get(i);
    EXPECT_NE(c, tmpl.getImpl());
    EXPECT_EQ(static_cast<QrcUnaryConstraintI*>(c)->getExpr(), x[static_cast<size_t>(i)]);
  }
  EXPECT_EQ(members(s->getPossible()), "012");
  // Instance 1 false: 1 leaves the set.
  x[1]->setMin(2);
  EXPECT_EQ(members(s->getPossible()), "02");
  // Requiring 0 posts instance 0; removing 2 posts its opposite.
  s->addRequired(0);
  EXPECT_EQ(x[0]->getMax(), 1);
  s->removePossible(2);
  EXPECT_EQ(x[2]->getMin(), 2);
  // Instance known true: its index becomes required.
  QrcIntSetVarI* t = new (m) QrcIntSetVarI(m, 0, 2, nullptr);
  QrcIndex j;
  QrcIntVarArray ys = array({var(0, 2), var(0, 2), var(0, 2)});
  m->add(new (m) QrcSetOfConstraint(t, j.getImpl(), (ys[j] >= 1).getImpl()));
  ys[2].getImpl()->setMin(1);
  EXPECT_EQ(members(t->getRequired()), "2");
  // Indexes decided before posting propagate their instance or its opposite.
  QrcIntSetVarI* u = new (m) QrcIntSetVarI(m, 0, 1, nullptr);
  u->addRequired(0);
  u->removePossible(1);
  QrcIndex k;
  QrcIntVarArray zs = array({var(0, 2), var(0, 2)});
  m->add(new (m) QrcSetOfConstraint(u, k.getImpl(), (zs[k] <= 1).getImpl()));
  EXPECT_EQ(zs[0].getImpl()->getMax(), 1);
  EXPECT_EQ(zs[1].getImpl()->getMin(), 2);
  // A required index whose instance fails fails the branch.
  EXPECT_FALSE(holds([&] {
    t->addRequired(0);
    ys[0].getImpl()->setValue(0);
  }));
  EXPECT_FALSE(holds([&] {
    t->removePossible(1);
    ys[1].getImpl()->setValue(2);
  }));
}

TEST_F(SetOfTest, CountOfInstancesThatHold) {
  std::vector<QrcIntExpI*> x = {var(0, 2), var(0, 2), var(0, 2)};
  QrcIntVarArray xs = array(x);
  QrcIndex index;
  QrcIntExp count = QrcGenericConstraint(index, xs[index] <= 1);
  EXPECT_EQ(count.getMin(), 0);
  EXPECT_EQ(count.getMax(), 3);
  mgr.add(count == 3);
  EXPECT_EQ(countSolutions(xs), 8);
  // An index over no array: no instance, cardinality [0..0].
  QrcIndex none(new (m) QrcIndexI(nullptr));
  QrcIntExp empty = QrcGenericConstraint(none, QrcIntExp(var(0, 5)) <= 1);
  EXPECT_EQ(empty.getMin(), 0);
  EXPECT_EQ(empty.getMax(), 0);
  // An index that indexes nothing, nor was ever given an array, is one too.
  QrcIndex unused;
  QrcIntExp zero = QrcGenericConstraint(unused, QrcIntExp(var(0, 5)) <= 1);
  EXPECT_EQ(zero.getMin(), 0);
  EXPECT_EQ(zero.getMax(), 0);
  EXPECT_EQ(unused.getImpl()->getSize(), 0);
}

TEST_F(SetOfTest, EqualityOverTheIndexCountsThroughCard) {
  std::vector<QrcIntExpI*> x = {var(0, 1), var(0, 1), var(0, 1), var(0, 1)};
  QrcIntVarArray xs = array(x);
  QrcIndex index;
  QrcInt before = m->getConstraintCount();
  QrcIntExp n = QrcGenericConstraint(index, xs[index] == 1);
  EXPECT_TRUE(n.getImpl()->isVariable());
  EXPECT_EQ(m->getConstraintCount(), before + 1);
  EXPECT_EQ(n.getMax(), 4);
  mgr.add(n == 2);
  EXPECT_EQ(countSolutions(xs), 6);
  // Over another expression.
  QrcIndex other;
  QrcIntVarArray ys = array({var(0, 3), var(0, 3)});
  QrcIntExp k = QrcGenericConstraint(other, (ys[other] + 1) == 2);
  EXPECT_EQ(k.getMax(), 2);
  mgr.add(k == 2);
  EXPECT_EQ(ys[0].getImpl()->getValue(), 1);
  EXPECT_EQ(ys[1].getImpl()->getValue(), 1);
  // An index first given to a shorter array counts only its positions.
  QrcIndex shorter;
  array({var(0, 1), var(0, 1)})[shorter];
  std::vector<QrcIntExpI*> z = {var(0, 1), var(0, 1), var(0, 1)};
  QrcIntExp c = QrcGenericConstraint(shorter, array(z)[shorter] == 1);
  EXPECT_EQ(c.getMax(), 2);
  z[2]->setValue(1);
  z[0]->setValue(0);
  EXPECT_EQ(c.getMax(), 1);
  EXPECT_EQ(c.getMin(), 0);
}

TEST_F(SetOfTest, IsFalseDisplayAndCopies) {
  std::vector<QrcIntExpI*> x = {var(0, 2, "x0"), var(0, 2, "x1")};
  QrcIntVarArray xs = array(x);
  QrcIndex index;
  QrcIntSetVarI* s = new (m) QrcIntSetVarI(m, 0, 1, "s");
  auto* ct = new (m) QrcSetOfConstraint(s, index.getImpl(), (xs[index] <= 1).getImpl());
  EXPECT_EQ(str(ct), " QrcSetOfConstraint(s[ ?0 ?1] ([0..2]),[(x0[0..2] <= 1) (x1[0..2] <= 1)])");
  EXPECT_EQ(str(new (m) QrcWhenSetOfDemonI(ct, 0)), "QrcWhenSetOfDemon");
  EXPECT_EQ(str(new (m) QrcSetDemonI(ct)), "QrcSetDemon");
  struct Case {
    QrcInt x0min, x1max;
    bool require0, remove1, isFalse;
  };
  const Case cases[] = {
      {0, 2, false, false, false}, {2, 2, true, false, true},   {2, 2, false, false, false},
      {0, 1, false, true, true},   {0, 1, false, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(holds([&] {
                  if (c.require0) s->addRequired(0);
                  if (c.remove1) s->removePossible(1);
                  x[0]->setMin(c.x0min);
                  x[1]->setMax(c.x1max);
                  EXPECT_EQ(ct->isFalse() != 0, c.isFalse) << c.x0min << " " << c.x1max;
                  m->fail();
                }) == false);
  }
  // A copy into another manager propagates on the copies only.
  QrcManager other(QrcNoEdit);
  QrcManagerI* o = other.getImpl();
  o->useExceptions(true);
  auto* copy = static_cast<QrcSetOfConstraint*>(ct->getCopyForManager(o));
  ASSERT_NE(copy, ct);
  o->add(copy);
  m->add(ct);
  QrcIntSetVarI* cs = copy->getSetVar();
  cs->addRequired(1);
  EXPECT_EQ(
      static_cast<QrcUnaryConstraintI*>(copy->getInstances()->get(1))->getExpr()->getManager(), o);
  EXPECT_EQ(static_cast<QrcIntExpI*>(
                static_cast<QrcUnaryConstraintI*>(copy->getInstances()->get(1))->getExpr())
                ->getMax(),
            1);
  EXPECT_EQ(x[1]->getMax(), 2);
  EXPECT_FALSE(s->isRequired(1));
  other.end();
}

TEST_F(SetOfTest, EmptyHandlesStop) {
  QrcIndex index;
  EXPECT_DEATH(QrcGenericConstraint(index, QrcConstraint()),
               "Solver Error : empty handle : QrcGenericConstraint");
}

// ---------------------------------------------------------------- brute force

// Templates over x[index], with the variable y and constants a, b.
enum Shape { LeCst, EqCst, NeqCst, LeVar, EqVar, Either, SumLe, Shapes };

bool holdsFor(Shape shape, int64_t xi, int64_t y, int64_t a, int64_t b) {
  switch (shape) {
    case LeCst:
      return xi <= a;
    case EqCst:
      return xi == a;
    case NeqCst:
      return xi != a;
    case LeVar:
      return xi <= y;
    case EqVar:
      return xi == y;
    case Either:
      return xi == a || xi == b;
    default:
      return xi + y <= a;
  }
}

QrcConstraint makeTemplate(Shape shape, const QrcIntExp& xi, const QrcIntExp& y, QrcInt a,
                           QrcInt b) {
  switch (shape) {
    case LeCst:
      return xi <= a;
    case EqCst:
      return xi == a;
    case NeqCst:
      return xi != a;
    case LeVar:
      return xi <= y;
    case EqVar:
      return xi == y;
    case Either:
      return (xi == a) || (xi == b);
    default:
      return (xi + y) <= a;
  }
}

struct Family {
  Shape shape;
  int n;
  int64_t a, b;
  bool setForm;
};

// Variables x0..x(n-1), y, then the count (or the set of indexes).
qrotest::PropCase familyCase(qrotest::Rng& rng, const Family* f, uint64_t seed) {
  qrotest::PropCase c;
  std::ostringstream name;
  name << "family shape " << f->shape << " n " << f->n << " a " << f->a << " b " << f->b
       << (f->setForm ? " set" : " count");
  c.name = name.str();
  c.seed = seed;
  c.values = qrotest::randomDomains(rng, f->n + 1, -1, 2, 4);
  if (f->setForm) {
    c.values.push_back(qrotest::subsets(f->n));
    c.kinds.assign(c.values.size(), nullptr);
    c.kinds.back() = &qrotest::intSetKind();
  } else {
    c.values.push_back(qrotest::range(0, f->n));
  }
  c.post = [f](QrcManagerI* mi, const qrotest::Vars& v) {
    QrcManager h(mi);
    QrcIntVarArray xs(h, f->n);
    for (int i = 0; i < f->n; ++i) xs.set(i, QrcIntExp(v[static_cast<size_t>(i)]));
    QrcIndex index;
    QrcIntExp y(v[static_cast<size_t>(f->n)]);
    QrcConstraint tmpl = makeTemplate(f->shape, xs[index], y, f->a, f->b);
    size_t last = static_cast<size_t>(f->n + 1);
    if (f->setForm) {
      mi->add(new (mi)
                  QrcSetOfConstraint(qrotest::setVarOf(v, last), index.getImpl(), tmpl.getImpl()));
      return;
    }
    h.add(QrcGenericConstraint(index, tmpl) == QrcIntExp(v[last]));
  };
  c.check = [f](const std::vector<int64_t>& a) {
    int64_t y = a[static_cast<size_t>(f->n)], count = 0, mask = 0;
    for (int i = 0; i < f->n; ++i)
      if (holdsFor(f->shape, a[static_cast<size_t>(i)], y, f->a, f->b)) {
        ++count;
        mask |= int64_t(1) << i;
      }
    int64_t last = a[static_cast<size_t>(f->n + 1)];
    return f->setForm ? last == mask : last == count;
  };
  return c;
}

TEST(SetOfFamilies, AgreeWithBruteForce) {
  uint64_t seed = qrotest::caseSeed(7);
  qrotest::Rng rng(seed);
  for (int round = 0; round < 3; ++round) {
    for (int shape = 0; shape < Shapes; ++shape) {
      for (int setForm = 0; setForm < 2; ++setForm) {
        Family f{static_cast<Shape>(shape), 1 + static_cast<int>(rng() % 3),
                 static_cast<int64_t>(rng() % 4) - 1, static_cast<int64_t>(rng() % 4) - 1,
                 setForm != 0};
        qrotest::PropCase c = familyCase(rng, &f, seed);
        c.narrowRuns = 30;
        EXPECT_EQ(qrotest::runPropCase(c), 0) << c.name;
      }
    }
  }
}

}  // namespace
}  // namespace inttest
