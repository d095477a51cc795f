#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "qroenv.h"
#include "qrortti.h"

namespace {

class FirstProbe : public QroRtti {
  QROSIMPLECLASS(FirstProbe, QroRtti)
};
class SecondProbe : public QroRtti {
  QROSIMPLECLASS(SecondProbe, QroRtti)
};
class ChildProbe : public FirstProbe {
  QROSIMPLECLASS(ChildProbe, FirstProbe)
};
// Two classes whose bodies are identical: their tokens must still differ.
class TwinA : public QroRtti {
  QROSIMPLECLASS(TwinA, QroRtti)
};
class TwinB : public QroRtti {
  QROSIMPLECLASS(TwinB, QroRtti)
};

struct CountingLock : QroTypeRegistryLock {
  int locks = 0, unlocks = 0;
  void lock() override { ++locks; }
  void unlock() override { ++unlocks; }
};

TEST(Rtti, IndexesAreHandedOutLazilyInRequestOrder) {
  ChildProbe child;
  EXPECT_EQ(child.getTypeIndex(), 0);  // not requested yet
  QroInt second = SecondProbe::GetTypeIndex();
  QroInt first = FirstProbe::GetTypeIndex();
  EXPECT_EQ(first, second + 1);
  EXPECT_EQ(SecondProbe::GetTypeIndex(), second);
  EXPECT_EQ(child.getParentTypeIndex(), first);
  EXPECT_EQ(child.getTypeIndex(), 0);

  CountingLock lock;
  QroSetTypeRegistryLock(&lock);
  QroInt childIndex = ChildProbe::GetTypeIndex();
  EXPECT_EQ(childIndex, first + 1);
  EXPECT_EQ(ChildProbe::GetTypeIndex(), childIndex);
  QroSetTypeRegistryLock(nullptr);
  EXPECT_EQ(lock.locks, 1);
  EXPECT_EQ(lock.unlocks, 1);
  EXPECT_EQ(child.getTypeIndex(), childIndex);
}

TEST(Rtti, TypeTestsClimbTheParentChain) {
  ChildProbe child;
  EXPECT_TRUE(child.isType(ChildProbe::GetTypeInfo()));
  EXPECT_TRUE(child.isType(FirstProbe::GetTypeInfo()));
  EXPECT_TRUE(child.isType(QroRtti::GetTypeInfo()));
  EXPECT_FALSE(child.isType(SecondProbe::GetTypeInfo()));
  EXPECT_EQ(child.getParentTypeInfo(), FirstProbe::GetTypeInfo());
  EXPECT_EQ(QroParentTypeInfo(ChildProbe::GetTypeInfo()), FirstProbe::GetTypeInfo());
  EXPECT_EQ(QroParentTypeInfo(FirstProbe::GetTypeInfo()), QroRtti::GetTypeInfo());
  EXPECT_STREQ(child.getClassName(), "ChildProbe");
  EXPECT_STREQ(ChildProbe::GetTypeInfo()->declaration, "QROSIMPLECLASS ( ChildProbe )");
  EXPECT_NE(TwinA::GetTypeInfo(), TwinB::GetTypeInfo());

  QroEnv env;
  QroFlormAlloc* florm = env.getImpl()->getGeneralAllocator();
  EXPECT_TRUE(florm->isType(QroFlormAlloc::GetTypeInfo()));
  EXPECT_TRUE(florm->isType(QroGenAlloc::GetTypeInfo()));
  EXPECT_TRUE(florm->isType(QroRtti::GetTypeInfo()));
  EXPECT_FALSE(florm->isType(QroStackGenAlloc::GetTypeInfo()));
  EXPECT_STREQ(florm->getClassName(), "QroFlormAlloc");
  env.end();
}

class ProbePlugIn : public QroPlugIn {
 public:
  explicit ProbePlugIn(QroEnvI* env) : QroPlugIn(env) {}
};

TEST(Rtti, PlugInsHaveRttiAsTypeParent) {
  QroEnv env;
  QroPlugIn* p = new (env.getImpl()) ProbePlugIn(env.getImpl());
  EXPECT_TRUE(p->isType(QroPlugIn::GetTypeInfo()));
  EXPECT_TRUE(p->isType(QroRtti::GetTypeInfo()));
  EXPECT_FALSE(p->isType(QroRttiEnvObjectI::GetTypeInfo()));
  EXPECT_EQ(p->getParentTypeInfo(), QroRtti::GetTypeInfo());
  EXPECT_EQ(p->getParentTypeIndex(), 0);
  EXPECT_EQ(QroParentTypeInfo(QroPlugInAddon::GetTypeInfo()), QroRtti::GetTypeInfo());
  QroInt before = env.getImpl()->getMemoryManager()->getBytesInUse();
  delete p;
  EXPECT_LT(env.getImpl()->getMemoryManager()->getBytesInUse(), before);
  env.end();
}

TEST(ObjectBases, StorageGoesBackToItsOwner) {
  QroEnv env;
  QroEnvI* e = env.getImpl();
  QroFlormAlloc* a = e->getGeneralAllocator();
  QroInt base = e->getMemoryManager()->getBytesInUse();

  QroClonableObjectI* c = new (a) QroClonableObjectI(a);
  EXPECT_GT(e->getMemoryManager()->getBytesInUse(), base);
  try {
    c->makeClone(a);
    FAIL();
  } catch (const QroCloneMethodNotImplementedException& x) {
    EXPECT_STREQ(
        x.getMessage(),
        "Not implemented: QroClonableObjectI* makeClone(const QroClonableObjectI* x) const");
  }
  delete c;
  EXPECT_EQ(e->getMemoryManager()->getBytesInUse(), base);

  QroExtensibleRttiEnvObjectI* x = new (e) QroExtensibleRttiEnvObjectI(e);
  char name[] = "first";
  x->setName(name);
  name[0] = 'X';
  EXPECT_STREQ(x->getName(), "first");
  x->setName("second name");
  EXPECT_STREQ(x->getName(), "second name");
  x->setObject(new (e) ProbePlugIn(e), 3);
  EXPECT_EQ(x->getObjectTag(), 3);
  EXPECT_THROW(x->makeWuxClone(e), QroWrongUsage);
  delete x;
  EXPECT_EQ(e->getMemoryManager()->getBytesInUse(), base);
  env.end();
}

TEST(ObjectBases, MemoryManagerHandleKnowsItsEnvironment) {
  QroEnv env;
  QroMemoryManager mm;
  env.getMemoryManager(mm);
  EXPECT_EQ(mm.getEnv().getImpl(), env.getImpl());

  QroAllocationStack stack;
  QroStackGenAlloc stackAlloc(&stack, env.getImpl()->getSymbolTable());
  QroMemoryManager other(&stackAlloc);
  try {
    other.getEnv();
    FAIL();
  } catch (const QroEnv::IncompatibleMemoryManagerException& x) {
    EXPECT_STREQ(x.getMessage(), "Incompatible memory manager");
  }
  EXPECT_THROW(QroMemoryManager().getEnv(), QroEnv::IncompatibleMemoryManagerException);
  const char* t1 = stackAlloc.internString("shared");
  EXPECT_EQ(t1, env.getImpl()->internString("shared"));
  void* p = stackAlloc.alloc(24);
  stackAlloc.free(p, 24);
  EXPECT_EQ(stack.getFreedBytes(), 24);
  env.end();
}

struct MapCache : QroAnyCacheI {
  const void* keys[8];
  double values[8];
  QroUInt hashes[8];
  int n = 0;
  explicit MapCache(QroGenAlloc* a) : QroAnyCacheI(a) {}
  QroBool remove(const void* k) override {
    for (int i = 0; i < n; ++i)
      if (keys[i] == k) {
        keys[i] = keys[--n];
        values[i] = values[n];
        return 1;
      }
    return 0;
  }
  double* find(const void* k, QroUInt* hash) override {
    *hash = reinterpret_cast<uintptr_t>(k) & 0xFF;
    for (int i = 0; i < n; ++i)
      if (keys[i] == k) return &values[i];
    return nullptr;
  }
  void insert(QroUInt hash, const void* k, const double* v) override {
    hashes[n] = hash;
    keys[n] = k;
    values[n++] = *v;
  }
  void clear() override { n = 0; }
};

struct CountingEvaluator : QroAnyEvaluatorI {
  int calls = 0;
  explicit CountingEvaluator(QroGenAlloc* a) : QroAnyEvaluatorI(a) {}
  double evaluate(const void* k, const void*, QroEvaluatorCacheOwner*) override {
    ++calls;
    return static_cast<double>(*static_cast<const int*>(k));
  }
  QroAnyCacheI* makeCache(QroGenAlloc* a, QroInt) override { return new (a) MapCache(a); }
};

TEST(ObjectBases, EvaluatorCache) {
  QroEnv env;
  {
    QroFlormAlloc* a = env.getImpl()->getGeneralAllocator();
    CountingEvaluator* ev = new (a) CountingEvaluator(a);
    int x = 7, y = 9;
    EXPECT_EQ(ev->evaluateCached(&x, nullptr, nullptr), 7.0);
    EXPECT_EQ(ev->calls, 1);
    QroEvaluatorCacheOwner owner(a, 8);
    EXPECT_FALSE(ev->invalidate(&owner, &x));
    EXPECT_EQ(ev->evaluateCached(&x, nullptr, &owner), 7.0);  // no cache yet
    owner.setCache(ev, ev->makeCache(a, 0));
    EXPECT_EQ(ev->evaluateCached(&x, nullptr, &owner), 7.0);
    EXPECT_EQ(ev->evaluateCached(&x, nullptr, &owner), 7.0);
    EXPECT_EQ(ev->calls, 3);
    MapCache* cache = static_cast<MapCache*>(owner.getCache(ev));
    EXPECT_EQ(cache->hashes[0], reinterpret_cast<uintptr_t>(&x) & 0xFF);  // the lookup's hash
    EXPECT_EQ(ev->evaluateCached(&y, nullptr, &owner), 9.0);
    EXPECT_TRUE(ev->invalidate(&owner, &x));
    EXPECT_FALSE(ev->invalidate(&owner, &x));
    EXPECT_FALSE(ev->invalidate(&owner, nullptr));  // clears
    EXPECT_EQ(cache->n, 0);
    // h = h * 9 + byte over the address bytes, lowest first.
    uintptr_t address = reinterpret_cast<uintptr_t>(ev);
    uint32_t h = 0;
    unsigned char bytes[8];
    std::memcpy(bytes, &address, 8);
    for (int i = 0; i < 8; ++i) h = h * 9u + bytes[i];
    EXPECT_EQ(QroEvaluatorCacheOwner::Hash(ev), h);
    delete ev;
  }
  env.end();
}

}  // namespace
