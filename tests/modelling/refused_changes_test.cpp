// A change that an algorithm refuses is refused before anything changes:
// no other algorithm hears of it, the model keeps its members, the terms
// their nodes, the variables their bounds, the expressions their counts.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "qroalgorithm.h"
#include "qrolinear.h"
#include "qromodel.h"
#include "qrooperators.h"
#include "support/stub_algorithm.h"

namespace {

// Extracts anything and records the changes it hears.
class Listening : public StubAlgorithm {
 public:
  explicit Listening(QroEnvI* env) : StubAlgorithm(env) {}
  QroBool applyChange(QroChange* c, void**, QroExtractableI*) override {
    heard.push_back(c->getClassName());
    return 1;
  }
  std::vector<std::string> heard;
};

std::string shown(QroExtractableI* x) {
  std::ostringstream os;
  x->display(os);
  return os.str();
}

class Refusal : public ::testing::Test {
 protected:
  void SetUp() override {
    e = env.getImpl();
    x = QroNumVar(env, 0, 3, QroNumVar::Int, "x");
    y = QroNumVar(env, 0, 3, QroNumVar::Int, "y");
    z = QroNumVar(env, 0, 3, QroNumVar::Int, "z");
    idle = new (e) Listening(e);
    searching = new (e) Listening(e);
  }
  void TearDown() override { env.end(); }
  // Both algorithms take x over; one of them searches.
  void search() {
    idle->extract(x.getImpl());
    searching->extract(x.getImpl());
    searching->setInSearch(1);
  }
  QroEnv env;
  QroEnvI* e = nullptr;
  QroNumVar x, y, z;
  Listening* idle = nullptr;
  Listening* searching = nullptr;
};

TEST_F(Refusal, NoAlgorithmHearsOfARefusedChange) {
  QroModel m(env);
  m.add(x);
  for (Listening* a : {idle, searching}) {
    a->extract(m.getImpl());
    a->extract(x.getImpl());
  }
  searching->setInSearch(1);
  EXPECT_THROW(m.add(y), QroNoChangeDuringSearchException);
  EXPECT_EQ(m.getImpl()->getSize(), 1);
  EXPECT_THROW(x.setBounds(1, 2), QroNoChangeDuringSearchException);
  EXPECT_EQ(x.getLB(), 0.0);
  QroRemoveFromModel removal(m.getImpl(), x.getImpl());
  EXPECT_THROW(e->notifyChange(&removal, m.getImpl()), QroNoChangeDuringSearchException);
  QroAddOneToModel added(m.getImpl(), y.getImpl());
  EXPECT_THROW(e->notifyChange(&added), QroNoChangeDuringSearchException);
  EXPECT_TRUE(idle->heard.empty());
  searching->setInSearch(0);
  m.add(y);
  x.setBounds(1, 2);
  EXPECT_EQ(idle->heard, (std::vector<std::string>{"QroAddOneToModel", "QroSetNumVarBounds"}));
  EXPECT_EQ(searching->heard, idle->heard);
}

// The cascade of a used variable would end a constraint, unlink members and
// drop nodes from terms and pair expressions no algorithm holds.
TEST_F(Refusal, ARefusedCascadeDropsNothing) {
  QroModel m(env), other(env);
  QroConstraint c = QroNumExprArg(x) + QroNumExprArg(z) <= 2;
  m.add(c);
  other.add(x);
  other.add(y);
  QroNumExprArg sum = QroNumExprArg(y) + QroNumExprArg(x) * 3.0 + QroNumExprArg(z);
  QroNumQuadExprI* pairs =
      new (e) QroNumQuadExprI(e, e->allocPairTerm(x.getImpl(), y.getImpl(), 2));
  pairs->append(e->allocPairTerm(z.getImpl(), y.getImpl(), 1));
  std::string before = shown(m.getImpl()) + shown(other.getImpl()) + shown(sum.getImpl()) +
                       shown(pairs) + shown(c.getImpl());
  search();
  EXPECT_THROW(x.end(), QroNoChangeDuringSearchException);
  EXPECT_EQ(shown(m.getImpl()) + shown(other.getImpl()) + shown(sum.getImpl()) + shown(pairs) +
                shown(c.getImpl()),
            before);
  EXPECT_EQ(e->getExtractable(c.getId()), c.getImpl());
  EXPECT_EQ(e->getCascade(), nullptr);
  EXPECT_TRUE(idle->heard.empty());
  // An object the search does not use ends with what it takes along.
  QroConstraint d = QroNumExprArg(y) <= 1;
  m.add(d);
  y.end();
  EXPECT_EQ(shown(sum.getImpl()), "3 * x  + z ");
  EXPECT_EQ(shown(pairs), "0*0");
  EXPECT_EQ(m.getImpl()->getSize(), 2);  // a range over a term that dropped y stays
  ASSERT_EQ(other.getImpl()->getSize(), 1);
  EXPECT_EQ(other.getImpl()->getFirstLink()->member, x.getImpl());
  searching->setInSearch(0);
  idle->heard.clear();
  x.end();
  EXPECT_EQ(shown(sum.getImpl()), "z ");
  EXPECT_EQ(shown(c.getImpl()), "z  <= 2 ");  // the range over the term stays
  EXPECT_EQ(other.getImpl()->getSize(), 0);
  ASSERT_FALSE(idle->heard.empty());
  EXPECT_EQ(idle->heard[0], "QroRemoveFromAllChange");
}

// An expression whose count falls to 0 outside a cascade is destroyed at
// once; refused, it keeps its count. A term merged into another is asked
// before its parts move.
TEST_F(Refusal, ADestructionIsAskedBeforeTheCountFalls) {
  QroNumExprArg held = QroNumExprArg(x) + QroNumExprArg(y);
  QroNumExprI* t = held.getImpl();
  t->incrUseCount();
  idle->extract(t);
  searching->extract(t);
  searching->setInSearch(1);
  EXPECT_THROW(t->release(), QroNoChangeDuringSearchException);
  EXPECT_EQ(t->getUseCount(), 1);
  EXPECT_EQ(e->getLiveSlot(t->getId()), t);
  t->decrUseCount();
  QroNumLinTermI* sum = static_cast<QroNumLinTermI*>((QroNumExprArg(z) + 1.0).getImpl());
  ASSERT_TRUE(sum->isType(QroNumLinTermI::GetTypeInfo()));
  std::string before = shown(sum);
  EXPECT_THROW(sum->addTerm(static_cast<QroNumLinTermI*>(t)), QroNoChangeDuringSearchException);
  EXPECT_EQ(shown(sum), before);
  EXPECT_EQ(shown(t), "x  + y ");
  EXPECT_TRUE(idle->heard.empty());
  searching->setInSearch(0);
  sum->addTerm(static_cast<QroNumLinTermI*>(t));
  EXPECT_EQ(shown(sum), "z  + x  + y  + 1 ");
  EXPECT_EQ(idle->heard, (std::vector<std::string>{"QroDestroyExtractable"}));
}

// What a deletion ends only because its last holder goes is kept, with no
// holder, while a searching algorithm uses it: in a cascade's deletion and
// in the immediate destruction of an expression.
TEST_F(Refusal, AnOperandInUseOutlivesItsLastHolder) {
  QroNumExprArg sum = QroNumExprArg(x) + QroNumExprArg(y);
  QroRange r(env, 0, sum, 2);
  ASSERT_EQ(r.getImpl()->getExpr(), sum.getImpl());
  QroNumExprArg power = QroPower(QroNumExprArg(y) + QroNumExprArg(z), 2.5);
  QroNumExprI* base = static_cast<QroNumUnaryNodeI*>(power.getImpl())->getOperand();
  QroInt powerId = power.getImpl()->getId();
  for (Listening* a : {idle, searching}) {
    a->extract(sum.getImpl());
    a->extract(base);
  }
  searching->setInSearch(1);
  r.end();
  EXPECT_EQ(e->getLiveSlot(sum.getImpl()->getId()), sum.getImpl());
  EXPECT_EQ(sum.getImpl()->getUseCount(), 0);
  EXPECT_EQ(shown(sum.getImpl()), "x  + y ");
  power.getImpl()->incrUseCount();
  power.getImpl()->release();
  EXPECT_EQ(e->getLiveSlot(powerId), nullptr);
  EXPECT_EQ(e->getLiveSlot(base->getId()), base);
  EXPECT_EQ(base->getUseCount(), 0);
  // The deletion of r only: nobody heard of the operands kept.
  EXPECT_EQ(idle->heard, (std::vector<std::string>{"QroDestroyExtractableArray"}));
  idle->heard.clear();
  searching->setInSearch(0);
  QroExtractable(base).end();
  EXPECT_EQ(idle->heard,
            (std::vector<std::string>{"QroRemoveFromAllChange", "QroDestroyExtractableArray"}));
}

// An identifier that an ended object frees names nothing the algorithms
// took over: the new object that takes it changes during a search, and is
// extracted for itself.
TEST_F(Refusal, AReusedIdentifierIsNotInUse) {
  QroNumExprArg sum = QroNumExprArg(x) + QroNumExprArg(y);
  const std::vector<std::pair<const char*, std::function<QroInt()>>> endings = {
      {"a variable ended in a cascade",
       [&] {
         QroInt id = z.getId();
         z.end();
         return id;
       }},
      {"an expression destroyed at once", [&] {
         QroInt id = sum.getImpl()->getId();
         sum.getImpl()->incrUseCount();
         sum.getImpl()->release();
         return id;
       }}};
  idle->extract(z.getImpl());
  searching->extract(z.getImpl());
  for (Listening* a : {idle, searching}) a->extract(sum.getImpl());
  for (const auto& ending : endings) {
    SCOPED_TRACE(ending.first);
    QroInt id = ending.second();
    QroNumVar w(env, 0, 3, QroNumVar::Int);
    ASSERT_EQ(w.getId(), id);
    EXPECT_FALSE(idle->isUsing(id));
    searching->setInSearch(1);
    EXPECT_NO_THROW(w.setBounds(1, 2));
    searching->setInSearch(0);
    EXPECT_EQ(idle->extract(w.getImpl()), w.getImpl());
  }
}

// Refuses what is made already: adding a member the model lists, bounds the
// variable has. Records what it is asked.
class Choosy : public Listening {
 public:
  using Listening::Listening;
  void checkChange(QroChange* c, QroExtractableI* x) override {
    asked.push_back(c->getClassName());
    if (c->isType(QroAddOneToModel::GetTypeInfo())) {
      QroAddOneToModel* a = static_cast<QroAddOneToModel*>(c);
      for (QroModel::Iterator it(static_cast<QroModelI*>(a->getModel())); it.ok(); ++it)
        if (*it == a->getAdded()) throw QroNoChangeDuringSearchException();
    } else if (c->isType(QroSetNumVarBounds::GetTypeInfo())) {
      QroSetNumVarBounds* b = static_cast<QroSetNumVarBounds*>(c);
      QroNumVarI* v = static_cast<QroNumVarI*>(b->getVar());
      if (v->getLB() == b->getLB() && v->getUB() == b->getUB())
        throw QroNoChangeDuringSearchException();
    }
    Listening::checkChange(c, x);
  }
  std::vector<std::string> asked;
};

// An algorithm is asked once, before the change: a change it allowed is made
// and heard, with no second asking once it is made (a member added, bounds
// set, an expression released, merged or dropped by its destroyed holder),
// nor during a search for what ends without it.
TEST_F(Refusal, AChangeIsAskedOnceBeforeItIsMade) {
  QroModel m(env, "m");
  QroConstraint r = QroNumExprArg(x) <= 2;
  QroNumExprArg released = QroNumExprArg(x) + QroNumExprArg(y);
  QroNumExprArg merged = QroNumExprArg(y) + QroNumExprArg(z);
  QroNumExprArg power = QroPower(QroNumExprArg(x) + QroNumExprArg(z), 2.5);
  QroNumExprI* operand = static_cast<QroNumUnaryNodeI*>(power.getImpl())->getOperand();
  QroNumExprArg prepended = QroNumExprArg(x) + QroNumExprArg(z);
  QroNumLinTermI* sum = static_cast<QroNumLinTermI*>((QroNumExprArg(x) + 1.0).getImpl());
  QroNumLinTermI* front = static_cast<QroNumLinTermI*>((QroNumExprArg(y) + 2.0).getImpl());
  Choosy* a = new (e) Choosy(e);
  for (QroExtractableI* u :
       std::vector<QroExtractableI*>{m.getImpl(), x.getImpl(), released.getImpl(), merged.getImpl(),
                                     operand, prepended.getImpl()})
    a->extract(u);
  EXPECT_NO_THROW(m.add(r));
  EXPECT_NO_THROW(x.setLB(1));
  released.getImpl()->incrUseCount();
  EXPECT_NO_THROW(released.getImpl()->release());
  EXPECT_NO_THROW(sum->addTerm(static_cast<QroNumLinTermI*>(merged.getImpl())));
  EXPECT_NO_THROW(front->prependTerm(static_cast<QroNumLinTermI*>(prepended.getImpl())));
  power.getImpl()->incrUseCount();
  EXPECT_NO_THROW(power.getImpl()->release());
  const std::vector<std::string> made = {"QroAddOneToModel",      "QroSetNumVarBounds",
                                         "QroDestroyExtractable", "QroDestroyExtractable",
                                         "QroDestroyExtractable", "QroDestroyExtractable"};
  EXPECT_EQ(a->heard, made);
  EXPECT_EQ(a->asked, made);
  EXPECT_EQ(shown(m.getImpl()), "QroModel m = {\nx  <= 2 \n}\n");
  EXPECT_EQ(shown(sum), "x  + y  + z  + 1 ");
  EXPECT_EQ(shown(front), "x  + z  + y  + 2 ");
  // Made, the same change is refused.
  EXPECT_THROW(m.add(r), QroNoChangeDuringSearchException);
  EXPECT_THROW(x.setLB(1), QroNoChangeDuringSearchException);
  a->asked.clear();
  a->setInSearch(1);
  EXPECT_NO_THROW(y.end());
  EXPECT_EQ(a->asked,
            (std::vector<std::string>{"QroRemoveFromAllChange", "QroDestroyExtractableArray"}));
  EXPECT_EQ(a->heard, made);
}

// Keeps the models it uses as they are.
class Keeping : public Listening {
 public:
  using Listening::Listening;
  void checkChange(QroChange* c, QroExtractableI* x) override {
    if (x && x->isModel()) throw QroNoChangeDuringSearchException();
    Listening::checkChange(c, x);
  }
};

// The users of what a deletion would change are asked too: ending a member
// of a model that an algorithm keeps as it is ends nothing.
TEST_F(Refusal, ADeletionRefusedByTheUserOfAModelItChanges) {
  QroModel m(env);
  m.add(y);
  QroNumExprArg t = QroNumExprArg(x) + QroNumExprArg(y) * 2.0;
  Keeping* k = new (e) Keeping(e);
  k->extract(m.getImpl());
  std::string before = shown(m.getImpl()) + shown(t.getImpl());
  EXPECT_THROW(y.end(), QroNoChangeDuringSearchException);
  EXPECT_EQ(shown(m.getImpl()) + shown(t.getImpl()), before);
  EXPECT_EQ(e->getLiveSlot(y.getId()), y.getImpl());
  EXPECT_EQ(e->getCascade(), nullptr);
  x.end();  // not in the model
  EXPECT_EQ(shown(t.getImpl()), "2 * y ");
  EXPECT_EQ(k->heard, (std::vector<std::string>{"QroDestroyExtractableArray"}));
}

// An algorithm that fails on hearing a destruction it allowed.
class FailingOnDestruction : public Listening {
 public:
  using Listening::Listening;
  QroBool applyChange(QroChange* c, void** r, QroExtractableI* x) override {
    Listening::applyChange(c, r, x);
    if (c->isType(QroDestroyExtractable::GetTypeInfo())) throw QroWrongUsage("failed");
    return 1;
  }
};

// Refuses the destruction of what it uses with an exception of another type
// than the one a refusal during a search throws.
class RefusingOnDestruction : public Listening {
 public:
  using Listening::Listening;
  void checkChange(QroChange* c, QroExtractableI* x) override {
    if (c->isType(QroDestroyExtractable::GetTypeInfo())) throw QroWrongUsage("refused");
    Listening::checkChange(c, x);
  }
};

// The destruction of an operand runs inside its holder's destructor: a failure
// to apply it (the change is made whole) or a refusal of it (the operand
// stays, with no holder) is thrown once the holder is gone, and once only: an
// unrelated destruction afterwards throws nothing.
TEST_F(Refusal, AFailureHeardInADestructorIsThrownOnceTheHolderIsGone) {
  // In a cascade: the operand refused stays, the other goes, then the
  // refusal is thrown.
  QroNumExprArg left = QroPower(QroNumExprArg(x) + QroNumExprArg(y), 2.5);
  QroNumExprArg right = QroPower(QroNumExprArg(y) + QroNumExprArg(z), 2.5);
  QroInt leftId = left.getImpl()->getId(), rightId = right.getImpl()->getId();
  QroRange r(env, 0, left * right, 9);
  QroNumExprArg other = QroNumExprArg(x) + QroNumExprArg(z);
  RefusingOnDestruction* refusing = new (e) RefusingOnDestruction(e);
  refusing->extract(left.getImpl());
  EXPECT_THROW(r.end(), QroWrongUsage);
  EXPECT_EQ(e->getLiveSlot(leftId), left.getImpl());
  EXPECT_EQ(e->getLiveSlot(rightId), nullptr);
  EXPECT_EQ(e->getCascade(), nullptr);
  other.getImpl()->incrUseCount();
  EXPECT_NO_THROW(other.getImpl()->release());
  // Refused first: the algorithms keep counting what they took over, and the
  // objects of a row after a failure's would take the identifiers it freed.
  for (bool refused : {true, false}) {
    SCOPED_TRACE(refused ? "refused" : "failed");
    idle->heard.clear();
    QroNumExprArg power = QroPower(QroNumExprArg(y) + QroNumExprArg(z), 2.5);
    QroNumExprI* base = static_cast<QroNumUnaryNodeI*>(power.getImpl())->getOperand();
    QroInt powerId = power.getImpl()->getId(), baseId = base->getId();
    QroNumExprArg unrelated = QroNumExprArg(x) + QroNumExprArg(z);
    Listening* a = refused ? static_cast<Listening*>(new (e) RefusingOnDestruction(e))
                           : new (e) FailingOnDestruction(e);
    a->extract(base);
    idle->extract(base);
    power.getImpl()->incrUseCount();
    EXPECT_THROW(power.getImpl()->release(), QroWrongUsage);
    EXPECT_EQ(e->getLiveSlot(powerId), nullptr);
    EXPECT_EQ(e->getLiveSlot(baseId), refused ? base : nullptr);
    const std::vector<std::string> destroyed = {"QroDestroyExtractable"};
    EXPECT_EQ(idle->heard, refused ? std::vector<std::string>{} : destroyed);
    EXPECT_EQ(a->heard, idle->heard);
    unrelated.getImpl()->incrUseCount();
    EXPECT_NO_THROW(unrelated.getImpl()->release());
  }
}

// A floating-point variable over a value list refuses new bounds before it
// changes.
TEST_F(Refusal, BoundsOfAFloatValueList) {
  QroNumArray values(env, 2);
  values[0] = 0.5;
  values[1] = 1.5;
  QroNumVarDomainI* d = new (e->alloc(sizeof(QroNumVarDomainI))) QroNumVarDomainI(values);
  QroNumVarI* w = new (e) QroNumVarI(e, d, "w");
  Listening* a = new (e) Listening(e);
  a->extract(w);
  EXPECT_THROW(w->setLB(1.0), QroNotSupportedOperation);
  EXPECT_THROW(w->setUB(1.0), QroNotSupportedOperation);
  EXPECT_THROW(w->setBounds(1.0, 1.2), QroNotSupportedOperation);
  EXPECT_EQ(w->getLB(), 0.5);
  EXPECT_EQ(w->getUB(), 1.5);
  EXPECT_TRUE(a->heard.empty());
}

}  // namespace
