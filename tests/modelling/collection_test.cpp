#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "qroenv.h"
#include "qroexpr.h"
#include "qrointset.h"
#include "qrorange.h"
#include "support/seed.h"

namespace {

const QroInt kInf = QroIntMax;

std::string shown(const QroDataCollectionI& c) {
  std::ostringstream os;
  os << c;
  return os.str();
}

template <class E>
std::string printed(const E& e) {
  std::ostringstream os;
  e.print(os);
  return os.str();
}

std::vector<QroInt> walk(QroIntDataIterator& it) {
  std::vector<QroInt> out;
  for (; it.ok(); ++it) {
    out.push_back(*it);
    if (out.size() > 100) break;
  }
  return out;
}

std::vector<QroInt> valuesOf(const QroIntCollectionI& c) {
  std::vector<QroInt> out;
  for (QroInt i = 0; i < c.getSize(); ++i) out.push_back(c.getValue(i));
  return out;
}

class CollectionTest : public ::testing::Test {
 protected:
  CollectionTest() : env(new QroEnvI()) {}
  ~CollectionTest() override { delete env; }
  QroIntSetI* makeSet(std::initializer_list<QroInt> values, QroBool indexed = 1) {
    QroIntSetI* s = new (env) QroIntSetI(env, indexed);
    for (QroInt v : values) s->add(v);
    return s;
  }
  QroEnvI* env;
};

// ---------------------------------------------------------------------------
// Integer ranges

TEST_F(CollectionTest, RangeLooksUpByValueAndPosition) {
  QroIntRangeI* r = new (env) QroIntRangeI(env, 3, 7);
  EXPECT_EQ(r->getSize(), 5);
  EXPECT_EQ(r->getIndex(5), 2);
  EXPECT_EQ(r->getIndex(8), -1);
  EXPECT_EQ(r->getIndex(2), -1);
  EXPECT_EQ(r->getIndex(QroNum(5.9)), 2);
  EXPECT_EQ(r->getIndex(QroNum(1e300)), -1);
  EXPECT_EQ(r->getIndex(QroObjectBase(QroInt(7))), 4);
  EXPECT_EQ(r->getValue(0), 3);
  EXPECT_EQ(r->getIntValue(4), 7);
  EXPECT_EQ(r->getObject(1).getTag(), 4);
  EXPECT_EQ(r->getObject(1).getIntValue(), 4);
  EXPECT_TRUE(r->contains(3));
  EXPECT_FALSE(r->contains(8));
  EXPECT_EQ(r->first(), 3);
  EXPECT_EQ(r->last(), 7);
  try {
    r->getValue(5);
    FAIL();
  } catch (const QroWrongUsage& e) {
    EXPECT_STREQ(e.getMessage(), "QroIntRangeI::getValue(QroInt index): index is out of bound");
  }
  try {
    r->getValue(-1);
    FAIL();
  } catch (const QroWrongUsage& e) {
    EXPECT_STREQ(e.getMessage(), "QroIntRangeI::getValue(QroInt index): index is negative");
  }
  delete r;
}

TEST_F(CollectionTest, RangeNeighboursAndTheirFailures) {
  QroIntRangeI* r = new (env) QroIntRangeI(env, 3, 7);
  EXPECT_EQ(r->next(3, 2), 5);
  EXPECT_EQ(r->prev(7, 4), 3);
  EXPECT_EQ(r->nextC(7, 1), 3);
  EXPECT_EQ(r->prevC(3, 1), 7);
  EXPECT_EQ(r->nextC(3, 12), 5);
  EXPECT_EQ(r->prevC(3, -1), 4);
  EXPECT_EQ(r->nextC(4, INT64_MIN), r->getValue(((1 + INT64_MIN % 5) % 5 + 5) % 5));
  try {
    r->next(7, 1);
    FAIL();
  } catch (const QroOperatorNextElementNotFoundException& e) {
    EXPECT_EQ(e.getElement().getIntValue(), 7);
    EXPECT_EQ(e.getElement().getTag(), 4);
    EXPECT_TRUE(e.isForward());
    EXPECT_FALSE(e.isCircular());
  }
  EXPECT_THROW(r->prev(3, 1), QroOperatorNextElementNotFoundException);
  EXPECT_THROW(r->next(3, INT64_MAX), QroOperatorNextElementNotFoundException);
  try {
    r->prevC(9, 1);
    FAIL();
  } catch (const QroCollectionElementNotFoundException& e) {
    EXPECT_EQ(e.getElement().getIntValue(), 9);
    EXPECT_FALSE(e.isForward());
    EXPECT_TRUE(e.isCircular());
  }
  EXPECT_THROW(r->next(9, 1), QroCollectionElementNotFoundException);
  delete r;
}

TEST_F(CollectionTest, RangeSizesAtTheInfiniteBoundsAndWhenEmpty) {
  QroIntRangeI r(env, -kInf, 4);
  EXPECT_EQ(r.getSize(), kInf);
  r.setBoundsUnchecked(0, kInf);
  EXPECT_EQ(r.getSize(), kInf);
  r.setBoundsUnchecked(kInf, 5);
  EXPECT_EQ(r.getSize(), 0);
  r.setBoundsUnchecked(0, -kInf);
  EXPECT_EQ(r.getSize(), 0);
  r.setBoundsUnchecked(5, 3);
  EXPECT_EQ(r.getSize(), 0);
  EXPECT_THROW(r.getValue(0), QroWrongUsage);
  r.setBoundsUnchecked(-kInf, kInf);
  try {
    r.getIndex(kInf);
    FAIL();
  } catch (const QroIntExpr::QroOverflowOccurred& e) {
    EXPECT_STREQ(e.getMessage(), "overflow occurred in substraction");
  }
  EXPECT_EQ(r.getIndex(QroInt(0)), kInf);
}

TEST_F(CollectionTest, RangeArraysAreMadeOnlyWhenTheyFit) {
  QroIntRangeI* r = new (env) QroIntRangeI(env, 3, 7);
  QroIntArray a = r->getArray();
  ASSERT_EQ(a.getSize(), 5);
  for (QroInt i = 0; i < 5; ++i) EXPECT_EQ(a[i], 3 + i);
  a.end();
  r->setBoundsUnchecked(-kInf, 0);
  EXPECT_THROW(r->getArray(), QroMemoryException);
  r->setBoundsUnchecked(0, QroInt(1) << 50);
  EXPECT_THROW(r->getArray(), QroMemoryException);
  r->setBoundsUnchecked(5, 3);
  QroIntArray empty = r->getArray();
  EXPECT_EQ(empty.getSize(), 0);
  empty.end();
  delete r;
}

TEST_F(CollectionTest, RangesPrintWithABlankBeforeTheComma) {
  QroIntRangeI r(env, 1, 10);
  EXPECT_EQ(shown(r), "[1 ,10]");
  QroNumRangeI n(env, 1.5, 2);
  EXPECT_EQ(shown(n), "[1.5 ,2]");
}

TEST_F(CollectionTest, ClassNamesKindsAndPredicates) {
  QroIntRangeI* r = new (env) QroIntRangeI(env, 0, 1);
  QroNumRangeI* n = new (env) QroNumRangeI(env, 0, 1);
  QroIntSetI* s = makeSet({});
  EXPECT_STREQ(r->getClassName(), "QroIntRangeI");
  EXPECT_STREQ(n->getClassName(), "QroNumRangeI");
  EXPECT_STREQ(s->getClassName(), "QroIntSetI");
  EXPECT_EQ(r->getKind(), 1);
  EXPECT_EQ(n->getKind(), 2);
  EXPECT_EQ(s->getKind(), 4);
  EXPECT_TRUE(r->isIntRange() && !r->isIntSet() && r->isIntCollection() && !r->isNumRange());
  EXPECT_TRUE(n->isNumRange() && !n->isIntCollection());
  EXPECT_TRUE(s->isIntSet() && s->isIntCollection() && !s->isIntRange());
  EXPECT_TRUE(r->isRangeCollection());
  EXPECT_FALSE(s->isRangeCollection());
  EXPECT_FALSE(r->isBasicCollection());
  EXPECT_FALSE(s->isBasicCollection());
  EXPECT_TRUE(r->isSetOrRange() && n->isSetOrRange() && s->isSetOrRange());
  EXPECT_TRUE(s->isType(QroIntAbstractSetI::GetTypeInfo()));
  EXPECT_TRUE(s->isType(QroDiscreteDataCollectionI::GetTypeInfo()));
  EXPECT_TRUE(n->isType(QroContinuousDataI::GetTypeInfo()));
  EXPECT_FALSE(n->isType(QroIntCollectionI::GetTypeInfo()));
  EXPECT_TRUE(r->isType(QroWuxBaseObjectI::GetTypeInfo()));
  delete r;
  delete n;
  delete s;
}

TEST_F(CollectionTest, NotImplementedLookUps) {
  QroIntRangeI r(env, 0, 3);
  try {
    r.getIndex(static_cast<QroAny>(nullptr));
    FAIL();
  } catch (const QroNotImplemented& e) {
    EXPECT_STREQ(e.getMessage(), "QroIntCollectionI::getIndex(QroAny) is not implemented");
  }
  try {
    r.getNumValue(0);
    FAIL();
  } catch (const QroNotImplemented& e) {
    EXPECT_STREQ(e.getMessage(), "QroIntCollectionI::getNumValue(QroInt) is not implemented");
  }
  try {
    r.getAnyValue(0);
    FAIL();
  } catch (const QroNotImplemented& e) {
    EXPECT_STREQ(e.getMessage(), "QroIntCollectionI::getAnyValue(QroInt) is not implemented");
  }
  QroIntSetI* s = makeSet({4, 9});
  EXPECT_EQ(s->getIndex(reinterpret_cast<QroAny>(intptr_t(9))), 1);
  EXPECT_THROW(s->getNumValue(0), QroNotImplemented);
  delete s;
}

// ---------------------------------------------------------------------------
// Immutability and copies

TEST_F(CollectionTest, EveryMutatorRefusesWhileReferenced) {
  QroIntRangeI* r = new (env) QroIntRangeI(env, 0, 5);
  QroNumRangeI* n = new (env) QroNumRangeI(env, 0, 5);
  QroIntSetI* s = makeSet({1, 2});
  QroIntSetI* other = makeSet({2});
  for (QroDataCollectionI* c : std::vector<QroDataCollectionI*>{r, n, s}) c->setReferenced(1);
  try {
    r->setLB(1);
    FAIL();
  } catch (const QroDataCollection::ImmutableException& e) {
    EXPECT_EQ(printed(e),
              "the Collection unamed collection is referenced by another and is immutable");
    EXPECT_STREQ(e.getMessage(), "the Collection is referenced by another and is immutable");
    EXPECT_EQ(e.getCollection(), r);
  }
  EXPECT_THROW(r->setUB(1), QroDataCollection::ImmutableException);
  EXPECT_THROW(n->setLB(1), QroDataCollection::ImmutableException);
  EXPECT_THROW(n->setUB(1), QroDataCollection::ImmutableException);
  EXPECT_THROW(s->add(7), QroDataCollection::ImmutableException);
  EXPECT_THROW(s->addAll(other), QroDataCollection::ImmutableException);
  EXPECT_THROW(s->clear(), QroDataCollection::ImmutableException);
  EXPECT_THROW(s->intersectWith(other), QroDataCollection::ImmutableException);
  EXPECT_EQ(valuesOf(*s), (std::vector<QroInt>{1, 2}));
  s->setName("S");
  try {
    s->add(3);
    FAIL();
  } catch (const QroDataCollection::ImmutableException& e) {
    EXPECT_EQ(printed(e), "the Collection  S is referenced by another and is immutable");
  }
  // Two references need two releases.
  s->setReferenced(1);
  s->setReferenced(0);
  EXPECT_THROW(s->add(3), QroDataCollection::ImmutableException);
  s->setReferenced(0);
  s->add(3);
  r->setReferenced(0);
  r->setLB(2);
  EXPECT_EQ(r->getMin(), 2);
  n->setReferenced(0);
  n->setUB(9);
  EXPECT_EQ(n->getUB(), 9);
  delete r;
  delete n;
  delete s;
  delete other;
}

TEST_F(CollectionTest, CopiesKeepContentsAndNameButNoReference) {
  QroIntSetI* s = makeSet({4, 2, 8});
  s->setName("evens");
  s->setReferenced(1);
  QroIntSetI* c = static_cast<QroIntSetI*>(s->copy());
  EXPECT_NE(c, s);
  EXPECT_EQ(valuesOf(*c), (std::vector<QroInt>{4, 2, 8}));
  EXPECT_STREQ(c->getName(), "evens");
  EXPECT_NE(c->getName(), s->getName());
  EXPECT_FALSE(c->isReferenced());
  c->add(6);
  EXPECT_EQ(s->getSize(), 3);

  QroEnvI* other = new QroEnvI();
  QroIntRangeI* r = new (env) QroIntRangeI(env, -2, 2);
  r->setName("small");
  QroRttiEnvObjectI* clone = r->makeWuxClone(other);
  ASSERT_TRUE(clone->isType(QroIntRangeI::GetTypeInfo()));
  QroIntRangeI* rc = static_cast<QroIntRangeI*>(clone);
  EXPECT_EQ(rc->getEnv(), other);
  EXPECT_EQ(shown(*rc), "[-2 ,2]");
  EXPECT_STREQ(rc->getName(), "small");
  QroDataCollectionI* sc = s->copyInto(other);
  EXPECT_EQ(sc->getEnv(), other);
  EXPECT_EQ(shown(*sc), "{ 4, 2, 8 }");
  delete sc;
  delete rc;
  delete other;
  delete r;
  delete c;
  delete s;
}

// ---------------------------------------------------------------------------
// Integer sets

TEST_F(CollectionTest, SetKeepsInsertionOrderWithoutDuplicates) {
  QroIntSetI* s = makeSet({5, 1, 3});
  s->add(1);
  EXPECT_EQ(s->getSize(), 3);
  EXPECT_EQ(s->getValue(0), 5);
  EXPECT_EQ(shown(*s), "{ 5, 1, 3 }");
  EXPECT_EQ(s->getIndex(3), 2);
  EXPECT_EQ(s->getIndex(4), -1);
  EXPECT_EQ(s->first(), 5);
  EXPECT_EQ(s->last(), 3);
  EXPECT_EQ(s->getMin(), 1);
  EXPECT_EQ(s->getMax(), 5);
  EXPECT_EQ(s->next(5), 1);
  EXPECT_EQ(s->nextC(3), 5);
  EXPECT_EQ(s->prevC(5, 2), 1);
  EXPECT_EQ(s->getArray().getImpl(), s->getArray().getImpl());
  s->clear();
  EXPECT_EQ(shown(*s), "{ }");
  EXPECT_EQ(s->getMin(), kInf);
  EXPECT_EQ(s->getMax(), -kInf);
  delete s;
}

TEST_F(CollectionTest, SetPositionAndEndFailures) {
  QroIntSetI* s = makeSet({});
  try {
    s->first();
    FAIL();
  } catch (const QroFirstLastElementNotFoundException& e) {
    EXPECT_STREQ(e.getMessage(), " : first() element does not exist");
    EXPECT_TRUE(e.isFirst());
  }
  try {
    s->last();
    FAIL();
  } catch (const QroFirstLastElementNotFoundException& e) {
    EXPECT_EQ(printed(e), " : last() element does not exist");
  }
  s->add(1);
  try {
    s->getValue(7);
    FAIL();
  } catch (const QroIndexOutOfBoundsException& e) {
    EXPECT_EQ(printed(e), "Index out of bounds for unamed collection :7");
    EXPECT_STREQ(e.getMessage(), "Index out of bounds for unamed collection :7");
    QroIndexOutOfBoundsException copy(e);
    EXPECT_STREQ(copy.getMessage(), "Index out of bounds for unamed collection :7");
  }
  s->setName("S");
  try {
    s->getValue(-1);
    FAIL();
  } catch (const QroIndexOutOfBoundsException& e) {
    EXPECT_EQ(printed(e), "Index out of bounds for S :-1");
  }
  delete s;
}

TEST_F(CollectionTest, IndexIsBuiltPastThirtyValuesWithItsBucketCount) {
  QroIntSetI* s = makeSet({});
  for (QroInt v = 0; v < 30; ++v) s->add(v * 7);
  EXPECT_EQ(s->getIndexTable(), nullptr);
  s->add(1000);  // the set held 30 values
  EXPECT_EQ(s->getIndexTable(), nullptr);
  QroIntSetI* copy31 = static_cast<QroIntSetI*>(s->copy());
  ASSERT_NE(copy31->getIndexTable(), nullptr);
  EXPECT_EQ(copy31->getIndexTable()->getBucketCount(), 31);
  s->add(1001);  // the set held 31 values
  ASSERT_NE(s->getIndexTable(), nullptr);
  EXPECT_EQ(s->getIndexTable()->getBucketCount(), 31);
  EXPECT_EQ(s->getIndexTable()->getCount(), 32);
  for (QroInt v = 0; v < 32; ++v) s->add(2000 + v);
  EXPECT_EQ(s->getSize(), 64);
  EXPECT_EQ(s->getIndexTable()->getBucketCount(), 62);  // grew past 62 entries

  s->dropIndex();
  EXPECT_EQ(s->getIndexTable(), nullptr);
  EXPECT_EQ(s->getIndex(1001), 31);
  s->add(5000);  // rebuilt while holding 64 values
  ASSERT_NE(s->getIndexTable(), nullptr);
  EXPECT_EQ(s->getIndexTable()->getBucketCount(), 62);
  EXPECT_EQ(s->getIndex(5000), 64);
  EXPECT_EQ(s->getIndex(7 * 29), 29);

  QroIntSetI* plain = makeSet({}, 0);
  for (QroInt v = 0; v < 100; ++v) plain->add(v);
  EXPECT_EQ(plain->getIndexTable(), nullptr);
  EXPECT_EQ(plain->getIndex(99), 99);
  s->clear();
  EXPECT_EQ(s->getIndexTable()->getCount(), 0);
  EXPECT_EQ(s->getIndex(5000), -1);
  delete plain;
  delete copy31;
  delete s;
}

TEST_F(CollectionTest, ArrayConstructionSkipsDuplicatesAndHonoursTheFlag) {
  QroIntArray values(QroEnv(env), 0);
  for (QroInt i = 0; i < 80; ++i) values.add(i % 40);
  QroIntSetI* unindexed = new (env) QroIntSetI(env, values, 0);
  EXPECT_EQ(unindexed->getSize(), 40);
  EXPECT_EQ(unindexed->getIndexTable(), nullptr);
  EXPECT_EQ(unindexed->getValue(39), 39);
  QroIntSetI* indexed = new (env) QroIntSetI(env, values, 1);
  EXPECT_NE(indexed->getIndexTable(), nullptr);
  EXPECT_EQ(indexed->getIndex(17), 17);
  values.end();
  delete unindexed;
  delete indexed;
}

TEST_F(CollectionTest, AddAllFromRangesAndSets) {
  QroIntSetI* s = makeSet({});
  QroIntRangeI* r = new (env) QroIntRangeI(env, 1, 5);
  s->addAll(r);
  EXPECT_EQ(shown(*s), "{ 1, 2, 3, 4, 5 }");
  QroIntSetI* t = makeSet({9, 4, 10});
  s->addAll(t);
  EXPECT_EQ(shown(*s), "{ 1, 2, 3, 4, 5, 9, 10 }");
  s->addAll(nullptr);
  s->addAll(s);
  EXPECT_EQ(s->getSize(), 7);
  QroIntRangeI* big = new (env) QroIntRangeI(env, 100, 139);
  QroIntSetI* u = makeSet({});
  u->addAll(big);
  ASSERT_NE(u->getIndexTable(), nullptr);
  EXPECT_EQ(u->getIndex(139), 39);
  QroIntRangeI* unbounded = new (env) QroIntRangeI(env, 0, kInf);
  EXPECT_THROW(u->addAll(unbounded), QroMemoryException);
  EXPECT_EQ(u->getSize(), 40);
  delete unbounded;
  delete big;
  delete u;
  delete t;
  delete r;
  delete s;
}

TEST_F(CollectionTest, IntersectionKeepsThisSetsOrder) {
  QroIntSetI* s = makeSet({5, 1, 3, 9});
  QroIntSetI* t = makeSet({3, 5, 7});
  EXPECT_TRUE(s->intersects(t));
  s->intersectWith(t);
  EXPECT_EQ(shown(*s), "{ 5, 3 }");
  EXPECT_EQ(s->getIndex(3), 1);
  QroIntRangeI* r = new (env) QroIntRangeI(env, 4, kInf);
  EXPECT_TRUE(s->intersects(r));
  s->intersectWith(r);
  EXPECT_EQ(shown(*s), "{ 5 }");
  QroIntSetI* far = makeSet({100});
  EXPECT_FALSE(s->intersects(far));
  EXPECT_FALSE(s->intersects(nullptr));

  QroIntSetI* big = makeSet({});
  for (QroInt v = 0; v < 50; ++v) big->add(v);
  QroIntSetI* odd = makeSet({});
  for (QroInt v = 49; v >= 1; v -= 2) odd->add(v);
  big->intersectWith(odd);
  EXPECT_EQ(big->getSize(), 25);
  EXPECT_EQ(big->getValue(0), 1);
  EXPECT_EQ(big->getIndex(49), 24);
  EXPECT_EQ(big->getIndex(48), -1);
  delete odd;
  delete big;
  delete far;
  delete r;
  delete t;
  delete s;
}

TEST_F(CollectionTest, DifferenceOfSetsAndRanges) {
  QroIntSetI* a = makeSet({1, 2, 3});
  QroIntSetI* b = makeSet({2});
  QroIntSetI* none = makeSet({});
  QroIntCollectionI* d = none->difference(a, b);
  ASSERT_TRUE(d->isIntSet());
  EXPECT_EQ(shown(*d), "{ 1, 3 }");
  EXPECT_TRUE(static_cast<QroIntSetI*>(d)->isIndexed());
  QroIntCollectionI* withEmpty = a->difference(a, none);
  EXPECT_NE(withEmpty, a);
  EXPECT_EQ(shown(*withEmpty), "{ 1, 2, 3 }");
  QroIntCollectionI* ofEmpty = a->difference(none, a);
  EXPECT_EQ(ofEmpty->getSize(), 0);

  QroIntRangeI* r1 = new (env) QroIntRangeI(env, 1, 3);
  QroIntRangeI* r2 = new (env) QroIntRangeI(env, 5, 7);
  QroIntRangeI* r3 = new (env) QroIntRangeI(env, 3, 7);
  QroIntCollectionI* apart = a->difference(r1, r2);
  ASSERT_TRUE(apart->isIntRange());
  EXPECT_EQ(shown(*apart), "[1 ,3]");
  QroIntCollectionI* overlap = a->difference(r1, r3);
  EXPECT_EQ(shown(*overlap), "{ 1, 2 }");
  QroIntCollectionI* mixed = a->difference(r3, a);
  EXPECT_EQ(shown(*mixed), "{ 4, 5, 6, 7 }");
  for (QroIntCollectionI* c : {d, withEmpty, ofEmpty, apart, overlap, mixed}) delete c;
  delete r1;
  delete r2;
  delete r3;
  delete a;
  delete b;
  delete none;
}

// Random adds against a plain model: order, membership and positions agree
// whether or not the index exists.
TEST_F(CollectionTest, RandomAddsAgreeWithAModel) {
  uint64_t seed = qrotest::seedOr(20261206);
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  std::mt19937_64 rng(seed);
  for (int round = 0; round < 20; ++round) {
    QroBool indexed = round % 2;
    QroIntSetI* s = makeSet({}, indexed);
    std::vector<QroInt> model;
    int n = static_cast<int>(rng() % 200);
    for (int i = 0; i < n; ++i) {
      QroInt v = static_cast<QroInt>(rng() % 150) - 75;
      s->add(v);
      if (std::find(model.begin(), model.end(), v) == model.end()) model.push_back(v);
    }
    ASSERT_EQ(valuesOf(*s), model);
    if (!indexed) {
      EXPECT_EQ(s->getIndexTable(), nullptr);
    }
    if (indexed && model.size() > 31) {
      EXPECT_NE(s->getIndexTable(), nullptr);
    }
    if (s->getIndexTable()) {
      EXPECT_GE(model.size(), 31u);
    }
    for (QroInt v = -80; v <= 80; ++v) {
      auto it = std::find(model.begin(), model.end(), v);
      QroInt expected = it == model.end() ? -1 : static_cast<QroInt>(it - model.begin());
      ASSERT_EQ(s->getIndex(v), expected) << v;
    }
    delete s;
  }
}

// ---------------------------------------------------------------------------
// Iterators

TEST_F(CollectionTest, RangeIteratorsBoundedClippedAndUnbounded) {
  QroIntRangeI* r = new (env) QroIntRangeI(env, 3, 7);
  QroIntRange::Iterator it(r);
  EXPECT_EQ(walk(it), (std::vector<QroInt>{3, 4, 5, 6, 7}));
  it.setBounds(5, 100);
  EXPECT_EQ(walk(it), (std::vector<QroInt>{5, 6, 7}));
  it.reset();
  EXPECT_EQ(walk(it), (std::vector<QroInt>{5, 6, 7}));
  it.setBounds(8, 100);
  EXPECT_FALSE(it.ok());
  EXPECT_EQ(it.getMinBound(), 3);
  EXPECT_EQ(it.getMaxBound(), 7);

  QroIntRangeI* down = new (env) QroIntRangeI(env, -kInf, 5);
  QroIntRange::Iterator u(down);
  ASSERT_TRUE(u.ok());
  EXPECT_EQ(*u, -kInf);
  ++u;
  EXPECT_FALSE(u.ok());
  u.setBounds(-2, 1);
  EXPECT_EQ(walk(u), (std::vector<QroInt>{-2, -1, 0, 1}));

  QroIntRangeI* empty = new (env) QroIntRangeI(env, 4, 3);
  QroIntRange::Iterator e(empty);
  EXPECT_FALSE(e.ok());

  QroDataIterator* made = r->iterator(env->getGeneralAllocator());
  QroIntDataIterator* ints = static_cast<QroIntDataIterator*>(made);
  EXPECT_EQ(walk(*ints), (std::vector<QroInt>{3, 4, 5, 6, 7}));
  delete made;
  delete empty;
  delete down;
  delete r;
}

TEST_F(CollectionTest, SetIteratorsFollowInsertionOrderWithinBounds) {
  QroIntSetI* s = makeSet({5, 1, 3, 9});
  QroIntSet::Iterator it(s);
  EXPECT_EQ(walk(it), (std::vector<QroInt>{5, 1, 3, 9}));
  EXPECT_EQ(it.getMinBound(), 1);
  EXPECT_EQ(it.getMaxBound(), 9);
  it.setBounds(2, 6);
  EXPECT_EQ(walk(it), (std::vector<QroInt>{5, 3}));
  QroIntSet::Iterator mine(env->getGeneralAllocator(), s);
  EXPECT_EQ(walk(mine), (std::vector<QroInt>{5, 1, 3, 9}));

  QroIntSetI* empty = makeSet({});
  QroIntSet::Iterator none(empty);
  EXPECT_FALSE(none.ok());
  EXPECT_EQ(none.getMinBound(), kInf);
  EXPECT_EQ(none.getMaxBound(), -kInf);

  QroDataIterator* made = s->iterator(env->getGeneralAllocator());
  EXPECT_EQ(walk(*static_cast<QroIntDataIterator*>(made)), (std::vector<QroInt>{5, 1, 3, 9}));
  delete made;
  delete empty;
  delete s;
}

TEST_F(CollectionTest, HandlesMakeCollectionsInTheEnvironment) {
  QroEnv e(env);
  QroIntSet s(e);
  s.add(4);
  s.add(4);
  EXPECT_EQ(s.getSize(), 1);
  EXPECT_TRUE(s.contains(4));
  QroIntRange r(e, 0, 9);
  EXPECT_EQ(r.getImpl()->getSize(), 10);
  QroNumRange n(e, 0.5, 1.5);
  EXPECT_EQ(n.getImpl()->getUB(), 1.5);
  delete s.getImpl();
  delete r.getImpl();
  delete n.getImpl();
}

}  // namespace
