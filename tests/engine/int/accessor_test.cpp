#include <functional>
#include <string>
#include <vector>

#include "int_fixtures.h"
#include "qrcaccessor.h"
#include "qrcsetfunctions.h"

namespace inttest {
namespace {

typedef std::vector<QrcInt> Values;

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

class Doubler : public QrcIntToIntFunctionI {
 public:
  explicit Doubler(QrcIntExpI* range = nullptr) : QrcIntToIntFunctionI(range) {}
  QrcInt getValue(QrcInt x) override { return 2 * x; }
};

// f(x) = the expression of slot x - first, counting the calls; null at x = hole.
class ExpTable : public QrcIntToIntExpFunctionI {
 public:
  ExpTable(QrcIntExpI* defaultExp, QrcInt first, QrcIntExpI** table, QrcInt hole)
      : QrcIntToIntExpFunctionI(defaultExp), _first(first), _table(table), _hole(hole) {}
  QrcIntExpI* getValue(QrcInt x) override {
    ++made;
    return x == _hole ? nullptr : _table[x - _first];
  }
  int made = 0;

 private:
  QrcInt _first;
  QrcIntExpI** _table;
  QrcInt _hole;
};

// The same expression for every x.
class SameExp : public QrcIntToIntExpFunctionI {
 public:
  explicit SameExp(QrcIntExpI* e) : _e(e) {}
  QrcIntExpI* getValue(QrcInt) override {
    ++made;
    return _e;
  }
  int made = 0;

 private:
  QrcIntExpI* _e;
};

class SetTable : public QrcIntToIntSetVarFunctionI {
 public:
  SetTable(QrcIntSetVarI* defaultVar, QrcIntSetVarI** table, QrcInt hole)
      : QrcIntToIntSetVarFunctionI(defaultVar), _table(table), _hole(hole) {}
  QrcIntSetVarI* getValue(QrcInt x) override { return x == _hole ? nullptr : _table[x]; }

 private:
  QrcIntSetVarI** _table;
  QrcInt _hole;
};

// Collects the values visited; answers 0 at `stop`.
class Collect : public QrcIntVisitor {
 public:
  explicit Collect(QrcInt stop = INT64_MIN) : _stop(stop) {}
  QrcBool visit(QrcInt v) override {
    seen.push_back(v);
    return v != _stop;
  }
  Values seen;

 private:
  QrcInt _stop;
};

// Asks an accessor for the deltas of f(x) whenever f(x) changes.
class DeltaDemon : public QrcDemonI {
 public:
  DeltaDemon(QrcManagerI* m, QrcIntAccessorI* a, QrcInt x, Collect* lost, Collect* gained)
      : QrcDemonI(m), _a(a), _x(x), _lost(lost), _gained(gained) {}
  void propagate() override {
    _a->visitDeltaAt(_x, _lost, 0);
    _a->visitDeltaAt(_x, _gained, 1);
  }

 private:
  QrcIntAccessorI* _a;
  QrcInt _x;
  Collect* _lost;
  Collect* _gained;
};

class AccessorTest : public IntTest {
 protected:
  template <class F>
  bool holds(F f, bool restore = false) {
    try {
      return m->solve(new (m) CallGoal<F>(m, &f), restore) != 0;
    } catch (QrcFailException&) {
      return false;
    }
  }
  QrcIntSetVarI* setOver(Values v) {
    return QrcIntSetVar(mgr, QrcIntArray(mgr, static_cast<QrcInt>(v.size()), v.data())).getImpl();
  }
  QrcIntSetVarI* setVar(QrcInt lo, QrcInt hi) { return QrcIntSetVar(mgr, lo, hi).getImpl(); }
  QrcIntRangeAccessorDomainI* range(QrcInt lo, QrcInt hi) {
    return new (m) QrcIntRangeAccessorDomainI(m, lo, hi);
  }
};

// ---------------------------------------------------------------- domains and constant accessors

TEST_F(AccessorTest, DomainsOfSetVariables) {
  struct Case {
    Values universe;
    Values removed;
    bool collection;
    QrcInt least;
    Values valid, invalid;
  };
  const Case cases[] = {
      {{1, 2, 3}, {}, false, 1, {1, 2, 3}, {0, 4}},
      {{1, 2, 3, 4, 5}, {1, 5}, false, 2, {2, 3, 4}, {1, 5}},
      {{1, 2, 3}, {1, 2, 3}, false, 1, {1, 3}, {0, 4}},
      {{-300, 5, 400}, {5}, true, -300, {-300, 5, 400}, {0, 6, -299}},
  };
  for (const Case& c : cases) {
    QrcIntSetVarI* s = setOver(c.universe);
    for (QrcInt v : c.removed) s->removePossible(v);
    QrcAccessorDomainI* d = s->makeAccessorDomain();
    EXPECT_EQ(dynamic_cast<QrcIntCollectionAccessorDomainI*>(d) != nullptr, c.collection);
    EXPECT_EQ(d->getLeast(), c.least);
    EXPECT_EQ(d->getManager(), m);
    EXPECT_TRUE(d->isClosed());
    for (QrcInt x : c.valid) EXPECT_TRUE(d->contains(x)) << x;
    for (QrcInt x : c.invalid) EXPECT_FALSE(d->contains(x)) << x;
    EXPECT_TRUE(holds([&] { d->require(c.valid[0]); }));
    EXPECT_FALSE(holds([&] { d->require(c.invalid[0]); }));
  }
}

TEST_F(AccessorTest, ConstantAccessor) {
  QrcIntSetVarI* s = setOver({1, 2, 3});
  auto* a = new (m) QrcIntFunctionAccessorI(s->makeAccessorDomain(), new (m) Doubler(var(2, 6)));
  EXPECT_TRUE(a->isInDomainAt(4, 2));
  EXPECT_FALSE(a->isInDomainAt(5, 2));
  EXPECT_FALSE(holds([&] { a->requireValueAt(2, 5); }));
  EXPECT_TRUE(holds([&] { a->requireValueAt(2, 4); }));
  EXPECT_TRUE(a->isBound(3));
  EXPECT_TRUE(a->isPossibleValue(6));
  EXPECT_FALSE(a->isPossibleValue(7));
  EXPECT_EQ(a->getCardMinAt(1), 1);
  EXPECT_EQ(a->getCardMax(), 1);
  EXPECT_EQ(a->getCardinalityAt(1), m->getIntOne());
  Collect all, none;
  EXPECT_TRUE(a->visitValuesAt(3, &all, 0));
  EXPECT_EQ(all.seen, Values({6}));
  EXPECT_TRUE(a->visitDeltaAt(3, &none, 0));
  EXPECT_TRUE(none.seen.empty());
  EXPECT_TRUE(a->isCompatible(setVar(6, 9)));
  EXPECT_FALSE(a->isCompatible(setVar(7, 9)));
  QrcIntSetVarI* t = setVar(3, 5);
  EXPECT_TRUE(a->isCompatibleAt(2, t));
  t->removePossible(4);
  EXPECT_FALSE(a->isCompatibleAt(2, t));
  // f(x) within S.
  QrcIntSetVarI* u = setVar(0, 9);
  m->add(QrcMakeInclusionAt(a, 2, u));
  EXPECT_TRUE(u->isRequired(4));
  EXPECT_FALSE(holds([&] { m->add(QrcMakeInclusionAt(a, 1, t)); }));
  // Unbounded functions span the whole integer range.
  auto* wide = new (m) QrcIntFunctionAccessorI(range(0, 3), new (m) Doubler());
  EXPECT_EQ(wide->getMax(), QrcInt64Max);
  EXPECT_EQ(wide->getMin(), -QrcInt64Max);
  EXPECT_TRUE(wide->isCompatible(t));
  // Type tokens.
  EXPECT_TRUE(a->isType(QrcIntAccessorI::GetTypeInfo()));
  EXPECT_TRUE(a->isType(QrcIntConstAccessorI::GetTypeInfo()));
  EXPECT_FALSE(a->isType(QrcIntExpAccessorI::GetTypeInfo()));
  EXPECT_EQ(a->getTypeInfo(), QrcIntFunctionAccessorI::GetTypeInfo());
}

// ---------------------------------------------------------------- expression accessors

TEST_F(AccessorTest, CacheMakesEachValueOncePerBranch) {
  QrcIntExpI* table[11];
  for (int i = 0; i < 11; ++i) table[i] = var(i, i + 2);
  auto* f = new (m) ExpTable(nullptr, -5, table, 99);
  auto* a = new (m) QrcIntExpFunctionAccessorI(range(-5, 5), f);
  EXPECT_EQ(a->getCache(), nullptr);
  a->peek(-5);
  a->peek(-5);
  EXPECT_EQ(f->made, 2);
  a->useCache();
  // Made below a choice point: made again after backtracking.
  EXPECT_TRUE(holds(
      [&] {
        EXPECT_EQ(a->get(-5), table[0]);
        EXPECT_EQ(a->peek(-5), table[0]);
        EXPECT_EQ(a->get(5), table[10]);
        EXPECT_EQ(a->getCache()->getSize(), 16);
      },
      true));
  EXPECT_EQ(f->made, 4);
  EXPECT_EQ(a->getCache()->getSize(), 0);
  EXPECT_EQ(a->get(-5), table[0]);
  EXPECT_EQ(a->get(-5), table[0]);
  EXPECT_EQ(a->getCache()->getSize(), 1);
  EXPECT_EQ(f->made, 5);
  // Outside the domain: peek gives nothing, get fails the branch.
  EXPECT_EQ(a->peek(6), nullptr);
  EXPECT_FALSE(holds([&] { a->get(6); }));
  EXPECT_FALSE(holds([&] { a->get(-6); }));
  EXPECT_EQ(f->made, 5);
}

TEST_F(AccessorTest, CacheSlotsStartAtTheLeastIndexAndStopAtTwoToTheTwenty) {
  QrcIntExpI* e = var(0, 3);
  struct Case {
    QrcInt lo, hi, x;
    bool cached;
    QrcInt size;
  };
  const QrcInt big = QrcInt(1) << 40;
  const Case cases[] = {
      {-5, 5, -5, true, 1},
      {-5, 5, 0, true, 8},
      {big, big + 10, big + 3, true, 4},
      {0, big, (QrcInt(1) << 20) - 1, true, QrcInt(1) << 20},
      {0, big, QrcInt(1) << 20, false, 0},
      {0, big, big, false, 0},
      {-big, big, big, false, 0},
  };
  for (const Case& c : cases) {
    auto* f = new (m) SameExp(e);
    auto* a = new (m) QrcIntExpFunctionAccessorI(range(c.lo, c.hi), f);
    a->useCache();
    EXPECT_EQ(a->get(c.x), e);
    EXPECT_EQ(a->get(c.x), e);
    EXPECT_EQ(f->made, c.cached ? 1 : 2) << c.x;
    EXPECT_EQ(a->getCache()->getSize(), c.size) << c.x;
  }
}

TEST_F(AccessorTest, ExpressionAccessorQuestions) {
  QrcIntExpI* x0 = var({1, 3, 4, 6});
  QrcIntExpI* x1 = var(0, 2);
  QrcIntExpI* table[2] = {x0, x1};
  QrcIntExpI* d = var(7, 9);
  auto* a = new (m) QrcIntExpFunctionAccessorI(range(0, 2), new (m) ExpTable(d, 0, table, 2));
  auto* bare =
      new (m) QrcIntExpFunctionAccessorI(range(0, 2), new (m) ExpTable(nullptr, 0, table, 2));
  // Reading f(x), else the default, else the whole range.
  EXPECT_EQ(a->getMin(0), 1);
  EXPECT_EQ(a->getMax(0), 6);
  EXPECT_EQ(a->getMin(2), 7);
  EXPECT_EQ(a->getMax(9), 9);
  EXPECT_EQ(bare->getMin(2), QrcIntMin);
  EXPECT_EQ(bare->getFloatMax(2), 1e30);
  QrcInt lo, hi;
  a->getRange(1, lo, hi);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 2);
  double flo, fhi;
  a->getFloatRange(0, flo, fhi);
  EXPECT_EQ(flo, 1.0);
  EXPECT_EQ(fhi, 6.0);
  EXPECT_TRUE(a->isInDomainAt(3, 0));
  EXPECT_FALSE(a->isInDomainAt(2, 0));
  EXPECT_TRUE(a->isInDomainAt(8, 2));
  EXPECT_FALSE(bare->isInDomainAt(8, 2));
  EXPECT_TRUE(a->isPossibleValue(8));
  EXPECT_FALSE(bare->isPossibleValue(8));
  EXPECT_FALSE(a->isBound(0));
  // Values in increasing order, until the visitor stops the walk.
  Collect all, upTo4(4), bound;
  EXPECT_TRUE(a->visitValuesAt(0, &all, 0));
  EXPECT_EQ(all.seen, Values({1, 3, 4, 6}));
  EXPECT_FALSE(a->visitValuesAt(0, &upTo4, 0));
  EXPECT_EQ(upTo4.seen, Values({1, 3, 4}));
  EXPECT_TRUE(a->visitValuesAt(0, &bound, 1));
  EXPECT_TRUE(bound.seen.empty());
  // Compatibility with a set variable.
  QrcIntSetVarI* s = setVar(2, 5);
  EXPECT_TRUE(a->isCompatibleAt(0, s));
  s->removePossible(3);
  s->removePossible(4);
  EXPECT_FALSE(a->isCompatibleAt(0, s));
  EXPECT_TRUE(a->isCompatibleAt(1, s));
  EXPECT_FALSE(a->isCompatible(s));
  EXPECT_FALSE(bare->isCompatible(s));
  EXPECT_TRUE(a->isCompatible(setVar(9, 12)));
  // Narrowing and deltas of f(x).
  Collect lost, gained;
  a->whenDomainAt(0, new (m) DeltaDemon(m, a, 0, &lost, &gained));
  EXPECT_TRUE(holds([&] {
    a->setRange(0, 2, 6);
    EXPECT_EQ(lost.seen, Values({1}));
    a->setMax(0, 4);
    EXPECT_EQ(lost.seen, Values({1, 6}));
    EXPECT_TRUE(gained.seen.empty());
    a->requireValueAt(0, 4);
    EXPECT_EQ(lost.seen, Values({1, 6, 3}));
    EXPECT_EQ(gained.seen, Values({4}));
    EXPECT_TRUE(a->isBound(0));
    Collect value;
    a->visitValuesAt(0, &value, 1);
    EXPECT_EQ(value.seen, Values({4}));
  }));
  EXPECT_FALSE(holds([&] { a->setMin(1, 3); }));
  // f(x) within S: its values outside S go.
  QrcIntSetVarI* within = setVar(1, 4);
  m->add(QrcMakeInclusionAt(a, 1, within));
  EXPECT_EQ(x1->getMin(), 1);
  EXPECT_EQ(x1->getMax(), 2);
  x1->setValue(2);
  EXPECT_TRUE(within->isRequired(2));
  EXPECT_EQ(a->getCardinalityAt(1), m->getIntOne());
}

TEST_F(AccessorTest, UndefinedValueReportsError25) {
  ThrowingReporter reporter;
  m->setErrorReporter(&reporter);
  QrcIntExpI* table[2] = {var(0, 1), var(0, 1)};
  auto* a = new (m) QrcIntExpFunctionAccessorI(range(0, 1), new (m) ExpTable(nullptr, 0, table, 1));
  QrcIntSetVarI* sets[2] = {setVar(0, 1), setVar(0, 1)};
  auto* b = new (m) QrcIntSetVarFunctionAccessorI(range(0, 1), new (m) SetTable(nullptr, sets, 1));
  struct Case {
    std::function<void()> call;
    const char* line;
  };
  const Case cases[] = {
      {[&] { a->get(1); }, "Solver Error : QrcIntExpAccessor : Access Undefined F(x).\n"},
      {[&] { a->setMin(1, 0); }, "Solver Error : QrcIntExpAccessor : Access Undefined F(x).\n"},
      {[&] { b->get(1); }, "Solver Error : QrcIntSetVarAccessor : Access Undefined F(x).\n"},
      {[&] { b->requireValueAt(1, 0); },
       "Solver Error : QrcIntSetVarAccessor : Access Undefined F(x).\n"},
      {[&] { QrcMakeInclusionAt(a, 1, sets[0]); },
       "Solver Error : QrcIntExpAccessor : Access Undefined F(x).\n"},
      {[&] { QrcMakeInclusionAt(b, 1, sets[0]); },
       "Solver Error : QrcIntSetVarAccessor : Access Undefined F(x).\n"},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(reportedCode(c.call), 25);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line);
  }
  m->setErrorReporter(nullptr);
  EXPECT_DEATH(a->get(1), "Solver Error : QrcIntExpAccessor : Access Undefined F\\(x\\)\\.");
}

// An accessor of none of the three kinds: f(x) = x.
class BareAccessor : public QrcIntAccessorI {
 public:
  using QrcIntAccessorI::QrcIntAccessorI;
  QrcBool isBound(QrcInt) override { return 1; }
  QrcBool isInDomainAt(QrcInt v, QrcInt x) override { return v == x; }
  QrcBool isPossibleValue(QrcInt) override { return 1; }
  void whenDomainAt(QrcInt, QrcDemonI*) override {}
  QrcBool visitValuesAt(QrcInt x, QrcIntVisitor* v, QrcInt) override { return v->visit(x); }
  QrcBool visitDeltaAt(QrcInt, QrcIntVisitor*, QrcInt) override { return 1; }
  void requireValueAt(QrcInt, QrcInt) override {}
  QrcBool isCompatible(QrcIntSetVarI*) override { return 1; }
  QrcBool isCompatibleAt(QrcInt, QrcIntSetVarI*) override { return 1; }
};

TEST_F(AccessorTest, InclusionThroughAnotherKindReportsError48) {
  ThrowingReporter reporter;
  m->setErrorReporter(&reporter);
  auto* bare = new (m) BareAccessor(range(0, 1));
  testing::internal::CaptureStderr();
  EXPECT_EQ(reportedCode([&] { QrcMakeInclusionAt(bare, 1, setVar(0, 1)); }), 48);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Solver Error : QrcMakeInclusionAt : Not implemented: an accessor of another kind\n");
  m->setErrorReporter(nullptr);
}

// ---------------------------------------------------------------- set-variable accessors

TEST_F(AccessorTest, SetVariableAccessor) {
  QrcIntSetVarI* sets[3] = {setVar(1, 4), setVar(0, 2), nullptr};
  QrcIntSetVarI* d = setVar(5, 6);
  d->addRequired(5);
  auto* a = new (m) QrcIntSetVarFunctionAccessorI(range(0, 2), new (m) SetTable(d, sets, 2));
  auto* bare =
      new (m) QrcIntSetVarFunctionAccessorI(range(0, 2), new (m) SetTable(nullptr, sets, 2));
  EXPECT_EQ(bare->getCardMax(), QrcInt64Max);
  EXPECT_EQ(bare->getCardMin(), 0);
  EXPECT_EQ(a->getCardMax(), 2);
  EXPECT_EQ(a->getCardMin(), 1);
  EXPECT_EQ(a->getCardMaxAt(0), 4);
  EXPECT_EQ(a->getCardMinAt(2), 1);
  EXPECT_EQ(bare->getCardMaxAt(2), QrcInt64Max);
  EXPECT_EQ(a->getCardinalityAt(1), sets[1]->getCardinality());
  EXPECT_TRUE(a->isPossibleValue(6));
  EXPECT_FALSE(bare->isPossibleValue(6));
  EXPECT_TRUE(a->isInDomainAt(4, 0));
  EXPECT_FALSE(a->isInDomainAt(4, 1));
  EXPECT_FALSE(a->isExtensible());
  EXPECT_FALSE(a->isExtensibleAt(0));
  EXPECT_FALSE(a->hasUniverseDeltaAt(0));
  EXPECT_TRUE(a->isCompatibleAt(1, setVar(0, 3)));
  EXPECT_FALSE(a->isCompatible(setVar(0, 3)));
  EXPECT_FALSE(bare->isCompatible(setVar(0, 3)));
  Collect lost, gained;
  a->whenDomainAt(0, new (m) DeltaDemon(m, a, 0, &lost, &gained));
  EXPECT_TRUE(holds([&] {
    a->requireValueAt(0, 2);
    sets[0]->removePossible(3);
    EXPECT_EQ(gained.seen, Values({2}));
    EXPECT_EQ(lost.seen, Values({3}));
    Collect possible, required, none, first(1);
    EXPECT_TRUE(a->visitValuesAt(0, &possible, 0));
    EXPECT_TRUE(a->visitValuesAt(0, &required, 1));
    EXPECT_TRUE(a->visitValuesAt(0, &none, 2));
    EXPECT_FALSE(a->visitValuesAt(0, &first, 0));
    EXPECT_EQ(possible.seen, Values({1, 2, 4}));
    EXPECT_EQ(required.seen, Values({2}));
    EXPECT_TRUE(none.seen.empty());
    EXPECT_EQ(first.seen, Values({1}));
    EXPECT_FALSE(a->isBound(0));
    EXPECT_TRUE(a->isBound(2) == d->isBound());
  }));
  EXPECT_FALSE(holds([&] { a->requireValueAt(1, 5); }));
  // f(x) within S: its possible values outside S go; f(x) within itself holds.
  QrcIntSetVarI* within = setVar(1, 3);
  m->add(QrcMakeInclusionAt(a, 1, within));
  EXPECT_FALSE(sets[1]->isPossible(0));
  sets[1]->addRequired(2);
  EXPECT_TRUE(within->isRequired(2));
  EXPECT_EQ(QrcMakeInclusionAt(a, 1, sets[1]), m->getTrueConstraint());
  EXPECT_TRUE(a->isType(QrcIntSetVarAccessorI::GetTypeInfo()));
  EXPECT_FALSE(a->isType(QrcIntExpAccessorI::GetTypeInfo()));
}

}  // namespace
}  // namespace inttest
