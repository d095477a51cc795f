#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "qroalgorithm.h"
#include "support/stub_algorithm.h"
#include "qrochange.h"
#include "qronumeric.h"
#include "qroregistry.h"
#include "support/seed.h"
#include "support/seed.h"

namespace {

std::vector<std::string>* g_deleted = nullptr;

// A leaf, standing for a variable.
class Leaf : public QroExtractableI {
  QROSIMPLECLASS(Leaf, QroExtractableI)
  QROEXTRACTABLEHOOKS()
 public:
  Leaf(QroEnvI* env, const char* name = nullptr, bool var = true)
      : QroExtractableI(env, name), _var(var) {}
  ~Leaf() override {
    if (g_deleted) g_deleted->push_back(getName() ? getName() : "?");
  }
  QroBool isNumVar() const override { return _var; }
  QroExtractableI* makeClone(QroEnvI* env) const override {
    return new (env) Leaf(env, getName(), _var);
  }

 private:
  bool _var;
};

// Holds its operands directly, like an equality.
class Pair : public QroExtractableI {
  QROSIMPLECLASS(Pair, QroExtractableI)
  QROEXTRACTABLEHOOKS()
 public:
  Pair(QroEnvI* env, const char* name, QroExtractableI* a, QroExtractableI* b)
      : QroExtractableI(env, name), _a(a), _b(b) {}
  ~Pair() override {
    if (g_deleted) g_deleted->push_back(getName());
    if (_owned) getEnv()->endExtractable(_owned);
  }
  void visitSubExtractables(QroExtractableVisitor* v) override {
    v->visitChild(this, _a);
    if (!v->isDone()) v->visitChild(this, _b);
  }
  QroExtractableI* makeClone(QroEnvI* env) const override {
    return new (env) Pair(env, getName(), env->getClone(_a), env->getClone(_b));
  }
  QroInt getUseCount() const override { return 1; }
  // An object ended by this one's destructor.
  QroExtractableI* _owned = nullptr;

 private:
  QroExtractableI* _a;
  QroExtractableI* _b;
};

// Lists members and unlinks those being ended instead of ending itself.
class Holder : public QroExtractableI {
  QROSIMPLECLASS(Holder, QroExtractableI)
 public:
  Holder(QroEnvI* env, const char* name) : QroExtractableI(env, name), _members(QroEnv(env), 0) {}
  ~Holder() override {
    if (g_deleted) g_deleted->push_back(getName());
  }
  void add(QroExtractableI* x) { _members.add(x); }
  QroExtractableArray members() const { return _members; }
  void visitSubExtractables(QroExtractableVisitor* v) override { v->visitArray(this, _members); }
  QroBool outlivesUses() const override { return 1; }
  void endIfUsesMarked() override {
    for (QroInt i = _members.getSize() - 1; i >= 0; --i) {
      QroExtractableI* m = _members[i];
      if (m->getId() == -1 || getEnv()->isMarked(m->getId())) _members.remove(i, 1);
    }
  }
  QroBool isModel() const override { return 1; }

 private:
  QroExtractableArray _members;
};

// Records what it was asked.
class Recorder : public StubAlgorithm {
 public:
  explicit Recorder(QroEnvI* env) : StubAlgorithm(env) {}
  QroBool extractOne(QroExtractableI* x, void** result) override {
    ++extracted;
    if (refuse) return 0;
    *result = x;
    return 1;
  }
  QroBool removeOne(QroExtractableI*, void*) override {
    ++removed;
    return 1;
  }
  QroBool applyChange(QroChange* c, void**, QroExtractableI*) override {
    changes.push_back(c->getClassName());
    return 1;
  }
  int extracted = 0, removed = 0;
  bool refuse = false;
  std::vector<std::string> changes;
};

class Env : public ::testing::Test {
 protected:
  void SetUp() override {
    g_deleted = &deleted;
    e = env.getImpl();
  }
  void TearDown() override {
    env.end();
    g_deleted = nullptr;
  }
  QroEnv env;
  QroEnvI* e = nullptr;
  std::vector<std::string> deleted;
};

TEST_F(Env, IdentifiersAreDenseAndReuseTheLastReleased) {
  Leaf* first = new (e) Leaf(e);
  EXPECT_EQ(first->getId(), 0);
  std::vector<Leaf*> all{first};
  for (int i = 1; i < 4096; ++i) all.push_back(new (e) Leaf(e));
  EXPECT_EQ(e->getIdCapacity(), 8192);
  Leaf* next = new (e) Leaf(e);
  EXPECT_EQ(next->getId(), 4096);
  EXPECT_EQ(e->getIdCount(), 4097);
  EXPECT_EQ(e->getExtractable(4095), all[4095]);

  e->destroyExtractable(all[5], 0, 0);
  e->destroyExtractable(all[9], 0, 0);
  EXPECT_EQ((new (e) Leaf(e))->getId(), 9);
  EXPECT_EQ((new (e) Leaf(e))->getId(), 5);
  e->destroyExtractable(next, 0, 0);
  EXPECT_EQ(e->getIdCount(), 4096);
  e->destroyExtractable(all[4094], 0, 0);
  EXPECT_EQ(e->getIdCount(), 4096);  // not the highest
  e->destroyExtractable(all[4095], 0, 0);
  EXPECT_EQ(e->getIdCount(), 4095);  // drops by one only

  try {
    e->getExtractable(4095);
    FAIL();
  } catch (const QroWrongUsage& x) {
    EXPECT_STREQ(x.getMessage(), "this ID is not valid");
  }
  EXPECT_THROW(e->getExtractable(-1), QroWrongUsage);
  EXPECT_THROW(e->getExtractable(1 << 20), QroWrongUsage);
  QroInt reserved = e->newId();
  EXPECT_EQ(e->getExtractable(reserved), nullptr);
}

// Through many growths of the table, an identifier is the last released one,
// else the next never used; the count follows the highest identifier.
TEST_F(Env, IdentifiersStayDenseThroughManyGrowths) {
  std::mt19937_64 rng(qrotest::seedOr(5));
  std::vector<Leaf*> live;
  std::vector<QroInt> released;  // the free list's head last
  QroInt fresh = 0, count = 0;
  for (int step = 0; step < 60000; ++step) {
    if (live.empty() || rng() % 4 != 0) {
      QroInt expected = fresh;
      if (!released.empty()) {
        expected = released.back();
        released.pop_back();
      } else {
        ++fresh;
      }
      Leaf* x = new (e) Leaf(e);
      ASSERT_EQ(x->getId(), expected);
      if (expected >= count) count = expected + 1;
      live.push_back(x);
    } else {
      size_t i = rng() % live.size();
      QroInt id = live[i]->getId();
      e->destroyExtractable(live[i], 0, 0);
      live[i] = live.back();
      live.pop_back();
      released.push_back(id);
      if (id == count - 1) count = id;
    }
    ASSERT_EQ(e->getIdCount(), count);
  }
  EXPECT_GE(fresh, 25000);  // three growths
  EXPECT_GE(e->getIdCapacity(), fresh);
  for (Leaf* x : live) EXPECT_EQ(e->getExtractable(x->getId()), x);
}

TEST_F(Env, NamesAndDisplay) {
  Leaf* x = new (e) Leaf(e, "x");
  EXPECT_STREQ(x->getName(), "x");
  x->setName("renamed");
  EXPECT_STREQ(x->getName(), "renamed");
  x->setName(nullptr);
  EXPECT_EQ(x->getName(), nullptr);
  Leaf* y = new (e) Leaf(e);
  y->setName(nullptr);
  EXPECT_EQ(y->getName(), nullptr);
  std::ostringstream os;
  os << QroExtractable(y);
  EXPECT_EQ(os.str(), "QroExtractable unknow1\n");
  EXPECT_TRUE(x->isGround());
  try {
    QroExtractableI* plain = new (e) QroExtractableI(e);
    plain->makeClone(e);
    FAIL();
  } catch (const QroExtractable::NoCloneMechanismException& ex) {
    std::ostringstream p;
    ex.print(p);
    EXPECT_EQ(p.str(), "Extractable with id 2 do not have clone mechanism");
    EXPECT_STREQ(ex.getMessage(), "Extractable do not have clone mechanism");
  }
}

TEST_F(Env, HooksAreCalledOrFail) {
  Leaf* x = new (e) Leaf(e, "x");
  Recorder alg(e);
  EXPECT_THROW(x->extract(&alg), QroAlgorithm::ExtractFailure);
  EXPECT_THROW(x->remove(&alg, nullptr), QroAlgorithm::RemoveFailure);
  QroSetNumVarBounds c(x, 0, 1);
  EXPECT_THROW(x->change(&alg, &c), QroAlgorithm::RemoveFailure);
  EXPECT_THROW(c.apply(&alg, nullptr), QroAlgorithm::CannotChangeException);
  EXPECT_THROW(c.getChangedExtractable(), QroWrongUsage);
  EXPECT_THROW(c.getChangedExtractableArray(), QroWrongUsage);

  Leaf::Hooks.extract = [](QroAlgorithmI*, QroExtractableI* y) -> void* { return y; };
  EXPECT_EQ(x->extract(&alg), x);
  Leaf::Hooks.extract = nullptr;
  // Another class keeps its own empty record.
  Pair* p = new (e) Pair(e, "p", x, x);
  EXPECT_THROW(p->extract(&alg), QroAlgorithm::ExtractFailure);
}

TEST_F(Env, AlgorithmsCountExtractionsAndHearChanges) {
  Leaf* x = new (e) Leaf(e, "x");
  Leaf* y = new (e) Leaf(e, "y");
  Recorder alg(e);
  EXPECT_EQ(e->getFirstAlgorithm(), &alg);
  alg.extract(x);
  alg.extract(x);
  EXPECT_EQ(alg.extracted, 1);
  EXPECT_EQ(alg.getUseCount(x->getId()), 2);
  alg.remove(x);
  EXPECT_EQ(alg.removed, 0);
  alg.remove(x);
  EXPECT_EQ(alg.removed, 1);
  alg.extract(x);

  QroSetNumVarBounds cx(x, 1, 2), cy(y, 1, 2);
  e->notifyChange(&cx, x);
  e->notifyChange(&cy, y);  // not used: not sent
  ASSERT_EQ(alg.changes.size(), 1u);
  EXPECT_EQ(alg.changes[0], "QroSetNumVarBounds");
  QroAddOneToModel add(x, y);
  e->notifyChange(&add);
  EXPECT_EQ(alg.changes.size(), 2u);

  alg.setInSearch(1);
  EXPECT_THROW(e->notifyChange(&cx, x), QroNoChangeDuringSearchException);
  EXPECT_THROW(e->notifyChange(&add), QroNoChangeDuringSearchException);
  QroExtractableArray unused(env, 0);
  unused.add(y);
  QroRemoveFromAllChange removeUnused(unused);
  EXPECT_FALSE(alg.change(&removeUnused));  // ignored, also during a search
  alg.setInSearch(0);
  EXPECT_FALSE(alg.change(&removeUnused));
  EXPECT_EQ(alg.changes.size(), 2u);
}

TEST_F(Env, FailuresAreCollectedIntoOneException) {
  std::vector<Leaf*> leaves;
  for (int i = 0; i < 13; ++i) leaves.push_back(new (e) Leaf(e));
  Recorder alg(e);
  alg.refuse = true;
  EXPECT_THROW(alg.extract(leaves[4]), QroAlgorithm::ExtractFailure);
  EXPECT_THROW(alg.extract(leaves[9]), QroAlgorithm::ExtractFailure);
  try {
    alg.extractAsModel(leaves[12]);
    FAIL();
  } catch (const QroAlgorithm::CannotExtractException& ex) {
    std::ostringstream os;
    ex.print(os);
    EXPECT_EQ(os.str(), "QroAlgorithm cannot extract extractables 4, 9 and 12");
    EXPECT_STREQ(ex.getMessage(), "QroAlgorithm cannot extract extractable");
  }
  EXPECT_EQ(alg.getModel(), nullptr);
  EXPECT_EQ(alg.getCannotExtractList().getSize(), 0);
  try {
    alg.extractAsModel(leaves[3]);
    FAIL();
  } catch (const QroAlgorithm::CannotExtractException& ex) {
    std::ostringstream os;
    ex.print(os);
    EXPECT_EQ(os.str(), "QroAlgorithm cannot extract extractable 3");
  }
}

TEST_F(Env, CascadeEndsUsersInReverseMarkingOrder) {
  Leaf* x = new (e) Leaf(e, "x");
  Leaf* y = new (e) Leaf(e, "y");
  Holder* model = new (e) Holder(e, "model");
  Pair* eq = new (e) Pair(e, "eq", x, y);
  Pair* user = new (e) Pair(e, "user", eq, y);
  Pair* other = new (e) Pair(e, "other", y, y);
  model->add(eq);
  model->add(other);
  Recorder alg(e);
  alg.extract(eq);

  QroExtractable(x).end();
  EXPECT_EQ(deleted, (std::vector<std::string>{"user", "eq", "x"}));
  EXPECT_EQ(model->members().getSize(), 1);
  EXPECT_EQ(model->members()[0], other);
  EXPECT_EQ(alg.changes,
            (std::vector<std::string>{"QroRemoveFromAllChange", "QroDestroyExtractableArray"}));
  EXPECT_EQ(e->getCascade(), nullptr);
  EXPECT_EQ(e->getLiveSlot(0), nullptr);
  EXPECT_EQ(e->getExtractable(1), y);
  EXPECT_EQ(user, user);  // deleted: only the address is compared above
}

TEST_F(Env, ARefusedCascadeLeavesEverythingRegistered) {
  Leaf* x = new (e) Leaf(e, "x");
  Pair* eq = new (e) Pair(e, "eq", x, x);
  Pair* user = new (e) Pair(e, "user", eq, x);
  Recorder alg(e);
  alg.extract(eq);
  alg.setInSearch(1);
  EXPECT_THROW(QroExtractable(x).end(), QroNoChangeDuringSearchException);
  EXPECT_TRUE(deleted.empty());
  EXPECT_EQ(e->getExtractable(x->getId()), x);
  EXPECT_EQ(e->getExtractable(eq->getId()), eq);
  EXPECT_EQ(e->getExtractable(user->getId()), user);
  EXPECT_EQ(e->getCascade(), nullptr);
  alg.setInSearch(0);
  QroExtractable(x).end();
  EXPECT_EQ(deleted, (std::vector<std::string>{"user", "eq", "x"}));
}

TEST_F(Env, ObjectsEndedDuringDeletionGetAPendingPass) {
  Leaf* x = new (e) Leaf(e, "x");
  Leaf* helper = new (e) Leaf(e, "helper");
  Pair* eq = new (e) Pair(e, "eq", x, x);
  eq->_owned = helper;
  Recorder alg(e);
  alg.extract(helper);
  QroExtractable(x).end();
  EXPECT_EQ(deleted, (std::vector<std::string>{"eq", "x", "helper"}));
  // The removal is filtered (the algorithm uses none of x, eq); each
  // deletion pass is announced.
  EXPECT_EQ(alg.changes,
            (std::vector<std::string>{"QroDestroyExtractableArray", "QroDestroyExtractableArray"}));
}

TEST_F(Env, EndingTwiceInOneCascadeMarksOnce) {
  struct Listener : QroChangeListenerI {
    QroInt size = -1;
    void change(QroChange* c, QroExtractableI*) override {
      if (c->isType(QroRemoveFromAllChange::GetTypeInfo()))
        size = c->getChangedExtractableArray().getSize();
    }
  } listener;
  e->getPlugInRegistry()->addListener(&listener);
  Leaf* x = new (e) Leaf(e, "x");
  Pair* a = new (e) Pair(e, "a", x, x);
  Pair* b = new (e) Pair(e, "b", a, x);
  (void)b;
  QroExtractable(x).end();
  EXPECT_EQ(listener.size, 3);
  EXPECT_EQ(deleted.size(), 3u);
  e->getPlugInRegistry()->removeListener(&listener);
}

TEST_F(Env, ReservedIdentifiersAreSkippedByWalks) {
  Leaf* x = new (e) Leaf(e, "x");
  e->newId();
  Pair* p = new (e) Pair(e, "p", x, x);
  (void)p;
  QroExtractableArray found(env, 0);
  e->getTypeIndex()->collect(QroExtractableI::GetTypeInfo(), found);
  EXPECT_EQ(found.getSize(), 2);
  QroExtractable(x).end();
  EXPECT_EQ(deleted.size(), 2u);
}

int g_liveDestructors = 0;
class Counted : public QroExtractableI {
  QROSIMPLECLASS(Counted, QroExtractableI)
 public:
  explicit Counted(QroEnvI* env) : QroExtractableI(env) {}
  ~Counted() override { ++g_liveDestructors; }
};

TEST(EnvTeardown, DestructorsRunOnlyWithoutMemoryManager) {
  g_liveDestructors = 0;
  {
    QroEnv env;
    for (int i = 0; i < 5; ++i) new (env.getImpl()) Counted(env.getImpl());
    env.getImpl()->newId();
    env.end();
    EXPECT_EQ(g_liveDestructors, 0);
  }
  setenv("QRO_NO_MEMORY_MANAGER", "1", 1);
  QroEnv env;
  unsetenv("QRO_NO_MEMORY_MANAGER");
  QroEnvI* e = env.getImpl();
  std::vector<Counted*> all;
  for (int i = 0; i < 5; ++i) all.push_back(new (e) Counted(e));
  e->newId();
  e->destroyExtractable(all[2], 0, 0);
  EXPECT_EQ(g_liveDestructors, 1);
  env.end();
  EXPECT_EQ(g_liveDestructors, 5);
  EXPECT_EQ(env.getImpl(), nullptr);
}

// ---------------------------------------------------------------------------
// Registries and caches

std::vector<std::string>* g_attach = nullptr;

class NamedPlugIn : public QroPlugIn {
 public:
  NamedPlugIn(QroEnvI* env, const char* n) : QroPlugIn(env), name(n) {}
  const char* name;
};

class RecordingAddon : public QroPlugInAddon {
  QROSIMPLECLASS(RecordingAddon, QroPlugInAddon)
 public:
  RecordingAddon(QroEnvI* env, const char* n) : QroPlugInAddon(env), name(n) {}
  void attach(QroPlugIn* p) override {
    g_attach->push_back(std::string(name) + "+" + static_cast<NamedPlugIn*>(p)->name);
  }
  void detach(QroPlugIn* p) override {
    g_attach->push_back(std::string(name) + "-" + static_cast<NamedPlugIn*>(p)->name);
  }
  const char* name;
};

struct CountingEnvLock : QroEnvLockI {
  int depth = 0, maxDepth = 0, locks = 0;
  bool destroyed = false;
  void lock() override {
    ++locks;
    if (++depth > maxDepth) maxDepth = depth;
  }
  void unlock() override { --depth; }
  void destroy() override { destroyed = true; }
};

TEST_F(Env, PlugInsAndAddonsAttachInOrder) {
  std::vector<std::string> log;
  g_attach = &log;
  CountingEnvLock lock;
  e->setLock(&lock);
  QroPlugInRegistry* r = e->getPlugInRegistry();
  NamedPlugIn* p1 = new (e) NamedPlugIn(e, "p1");
  NamedPlugIn* p2 = new (e) NamedPlugIn(e, "p2");
  r->addPlugIn(p1, "CPSolutionManager");
  r->addPlugIn(p2, "CPSolutionManager");
  r->addAddon(new (e) RecordingAddon(e, "a"), "CPSolutionManager");
  EXPECT_EQ(log, (std::vector<std::string>{"a+p2", "a+p1"}));
  NamedPlugIn* p3 = new (e) NamedPlugIn(e, "p3");
  r->addPlugIn(p3, "CPSolutionManager");
  EXPECT_EQ(log.back(), "a+p3");
  EXPECT_TRUE(r->hasAddon(RecordingAddon::GetTypeInfo(), "CPSolutionManager"));
  EXPECT_FALSE(r->hasAddon(QroPlugInAddon::GetTypeInfo(), "CPSolutionManager"));
  EXPECT_FALSE(r->hasAddon(RecordingAddon::GetTypeInfo(), "other"));
  r->removePlugIn(p2, "CPSolutionManager");
  EXPECT_EQ(log.back(), "a-p2");
  EXPECT_EQ(r->getFirstPlugIn("CPSolutionManager"), p3);
  EXPECT_EQ(p3->getNext(), p1);
  delete p2;
  EXPECT_EQ(lock.depth, 0);
  EXPECT_GE(lock.maxDepth, 2);  // the holder locks again
  env.end();
  EXPECT_TRUE(lock.destroyed);
  g_attach = nullptr;
}

TEST_F(Env, ClonesAreMemoisedPerOutermostCall) {
  QroEnv target;
  QroEnvI* t = target.getImpl();
  Leaf* x = new (e) Leaf(e, "x");
  Pair* p = new (e) Pair(e, "p", x, x);
  // Within one call the shared operand is cloned once.
  Pair* c1 = static_cast<Pair*>(t->getClone(p));
  std::ostringstream os;
  EXPECT_STREQ(c1->getName(), "p");
  EXPECT_EQ(c1->getEnv(), t);
  QroExtractableArray found(target, 0);
  t->getTypeIndex()->collect(Leaf::GetTypeInfo(), found);
  EXPECT_EQ(found.getSize(), 1);
  // Separate calls make separate clones.
  QroExtractableI* x1 = t->getClone(x);
  QroExtractableI* x2 = t->getClone(x);
  EXPECT_NE(x1, x2);
  EXPECT_EQ(t->getClone(nullptr), nullptr);
  QroExtractableArray arr(env, 2);
  arr[0] = x;
  arr[1] = p;
  QroExtractableArray clones = QroGetClones(arr, t);
  EXPECT_EQ(clones.getSize(), 2);
  EXPECT_STREQ(clones[1]->getName(), "p");
  target.end();
}

TEST_F(Env, DecisionVariableSearchIsMemoised) {
  Leaf* x = new (e) Leaf(e, "x", true);
  Leaf* c = new (e) Leaf(e, "c", false);
  Pair* withVar = new (e) Pair(e, "a", c, x);
  Pair* withoutVar = new (e) Pair(e, "b", c, c);
  Pair* nested = new (e) Pair(e, "n", withoutVar, withVar);
  EXPECT_TRUE(withVar->hasDecisionVar());
  EXPECT_FALSE(withoutVar->hasDecisionVar());
  EXPECT_TRUE(nested->hasDecisionVar());
  EXPECT_TRUE(nested->isGround());
  EXPECT_EQ(e->getObjectFlagTable()->getCount(), 3);
  EXPECT_TRUE(nested->hasDecisionVar());
  EXPECT_EQ(e->getObjectFlagTable()->getCount(), 3);
}

TEST_F(Env, TypeIndexFollowsRegistrations) {
  new (e) Leaf(e, "a");
  QroExtractableArray found(env, 0);
  QroExtractableTypeIndex* index = e->getTypeIndex();
  index->collect(Leaf::GetTypeInfo(), found);
  EXPECT_EQ(found.getSize(), 1);
  Leaf* b = new (e) Leaf(e, "b");
  Leaf* c = new (e) Leaf(e, "c");
  new (e) Holder(e, "h");
  e->destroyExtractable(b, 0, 0);
  found.getImpl()->setSize(0);
  index->collect(Leaf::GetTypeInfo(), found);
  EXPECT_EQ(found.getSize(), 2);
  EXPECT_EQ(found[1], c);
  found.getImpl()->setSize(0);
  index->collect(QroExtractableI::GetTypeInfo(), found);
  EXPECT_EQ(found.getSize(), 3);
  e->destroyExtractable(c, 0, 0);
  found.getImpl()->setSize(0);
  index->collect(Leaf::GetTypeInfo(), found);
  EXPECT_EQ(found.getSize(), 1);
}

TEST_F(Env, ScratchBlocksAndEndList) {
  try {
    e->getScratchBlock();
    FAIL();
  } catch (const QroNotSupportedOperation& x) {
    EXPECT_STREQ(x.getMessage(), "Operation Not Supported.");
  }
  e->setScratchBlockSupport(1);
  QroInt* a = e->getScratchBlock();
  QroInt* b = e->getScratchBlock();
  EXPECT_NE(a, b);
  a[0] = 7;
  a[999] = 1;
  e->releaseScratchBlock(a);
  QroInt* c = e->getScratchBlock();
  EXPECT_EQ(c, a);
  EXPECT_EQ(c[0], 0);
  e->releaseScratchBlock(b);
  e->releaseScratchBlock(c);

  struct Probe : QroRtti {
    bool* flag;
    explicit Probe(bool* f) : flag(f) {}
    ~Probe() override { *flag = true; }
    const char* getClassName() const override { return "Probe"; }
  };
  bool gone = false, kept = false;
  Probe* p = new Probe(&gone);
  Probe* q = new Probe(&kept);
  e->addToEndList(p);
  e->addToEndList(q);
  e->removeFromEndList(q);
  env.end();
  EXPECT_TRUE(gone);
  EXPECT_FALSE(kept);
  delete q;
}

TEST_F(Env, IntArrayPrintsTenPerLine) {
  std::ostringstream os;
  os << QroIntArray();
  EXPECT_EQ(os.str(), "");
  QroIntArray empty(env, 0);
  os << empty;
  EXPECT_EQ(os.str(), "[]");
  QroIntArray a(env, 12);
  for (int i = 0; i < 12; ++i) a[i] = i - 1;
  std::ostringstream os2;
  os2 << a;
  EXPECT_EQ(os2.str(), "[-1, 0, 1, 2, 3, 4, 5, 6, 7, 8,\n9, 10]");
}

TEST(Numeric, Helpers) {
  EXPECT_EQ(QroCeilDiv(7, 2), 4);
  EXPECT_EQ(QroCeilDiv(-7, 2), -3);
  EXPECT_EQ(QroCeilDiv(7, -2), -3);
  EXPECT_EQ(QroCeilDiv(-7, -2), 4);
  EXPECT_EQ(QroCeilDiv(0, 5), 0);
  EXPECT_EQ(QroCeilDiv(6, 3), 2);
  EXPECT_EQ(QroCeilDiv(INT64_MIN, INT64_MIN), 1);
  EXPECT_EQ(QroClampToInt53(1e300), 9007199254740991);
  EXPECT_EQ(QroClampToInt53(-1e300), -9007199254740991);
  EXPECT_EQ(QroClampToInt53(-2.7), -2);
  EXPECT_EQ(QroRoundHalfAway(2.5), 3.0);
  EXPECT_EQ(QroRoundHalfAway(-2.5), -3.0);
  EXPECT_EQ(QroRoundHalfAway(-0.4), -0.0);
  EXPECT_EQ(QroRoundHalfAway(QroInfinity), QroInfinity);
}

}  // namespace

namespace {

struct Receiver : QroChangeReceiverI {
  std::vector<std::string> log;
  void added(void* ctx, QroExtractableI* x) override {
    log.push_back(std::string("+") + static_cast<const char*>(ctx) + x->getName());
  }
  void removed(void* ctx, QroExtractableI* x) override {
    log.push_back(std::string("-") + static_cast<const char*>(ctx) + x->getName());
  }
};

struct GoneListener : QroExtractableListenerI {
  std::vector<QroExtractableI*> gone;
  int registeredCount = 0, ended = 0;
  void registered(QroExtractableI*) override { ++registeredCount; }
  void unregistered(QroExtractableI* x) override { gone.push_back(x); }
  void endExtractable(QroExtractableI*) override { ++ended; }
};

TEST(Changes, ForwardHandsTheContentToReceivers) {
  QroEnv env;
  QroEnvI* e = env.getImpl();
  Leaf* m = new (e) Leaf(e, "m");
  Leaf* a = new (e) Leaf(e, "a");
  Leaf* b = new (e) Leaf(e, "b");
  Receiver r;
  char ctx[] = "ctx:";
  {  // change objects live shorter than their environment
    QroAddOneToModel add(m, a);
    add.forward(e, ctx, &r);
    QroRemoveFromModel one(m, b);
    one.forward(e, ctx, &r);
    QroExtractableArray pair(env, 2);
    pair[0] = a;
    pair[1] = b;
    QroRemoveFromModel two(m, pair, 0);
    two.forward(e, ctx, &r);
    QroNumLinTermRemoveVar lin(m, a);
    lin.forward(e, ctx, &r);
    QroIntLinTermRemoveVar ilin(m, b);
    ilin.forward(e, ctx, &r);
    EXPECT_EQ(r.log, (std::vector<std::string>{"+ctx:a", "-ctx:b", "-ctx:a", "-ctx:b", "-ctx:a",
                                               "-ctx:b"}));
    EXPECT_EQ(add.getChangedExtractable(), m);
    EXPECT_EQ(two.getChangedExtractable(), m);

    GoneListener* listener = new GoneListener;
    e->setExtractableListener(listener);
    QroRemoveFromAllChange all(pair);
    all.forward(e, nullptr, nullptr);
    all.forward(e, a, nullptr);
    EXPECT_EQ(listener->gone, (std::vector<QroExtractableI*>{a, b, a}));
    EXPECT_TRUE(all.needsUseFilter());
    EXPECT_EQ(all.getChangedExtractableArray().getImpl(), pair.getImpl());
    // With a listener installed, ending is left to it and registration is reported.
    new (e) Leaf(e, "c");
    EXPECT_EQ(listener->registeredCount, 1);
    QroExtractable(a).end();
    EXPECT_EQ(listener->ended, 1);
    EXPECT_EQ(e->getExtractable(a->getId()), a);
  }
  env.end();  // deletes the listener
}

}  // namespace
