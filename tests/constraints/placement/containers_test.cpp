// Doubling arrays and fast lists: growth, bounds, and what backtracking undoes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "qrcfastlist.h"
#include "qrcgenalloc.h"
#include "qrcmanager.h"
#include "qrodoublingarray.h"

namespace {

class PlacementContainers : public testing::Test {
 protected:
  void SetUp() override {
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
    alloc = m->getGeneralAllocator();
  }
  void TearDown() override { mgr.end(); }
  QrcManager mgr;
  QrcManagerI* m = nullptr;
  QroGenAlloc* alloc = nullptr;
};

TEST_F(PlacementContainers, DoublingArrayGrowsByDoubling) {
  QroDoublingArray<QroInt> a(alloc);
  std::vector<QroInt> capacities;
  for (QroInt i = 0; i < 9; ++i) {
    a.add(i * 10);
    capacities.push_back(a.getCapacity());
  }
  EXPECT_EQ(capacities, (std::vector<QroInt>{4, 4, 4, 4, 8, 8, 8, 8, 16}));
  for (QroInt i = 0; i < 9; ++i) EXPECT_EQ(a[i], i * 10);

  QroDoublingArray<QroInt> b(alloc);
  b.release();
  EXPECT_EQ(b.getCapacity(), 0);
  b.grow(0);
  EXPECT_EQ(b.getCapacity(), 4);
  b.grow(3);
  EXPECT_EQ(b.getCapacity(), 4);
  b.grow(5);
  EXPECT_EQ(b.getCapacity(), 8);
}

TEST_F(PlacementContainers, DoublingArrayChecksIndexes) {
  QroDoublingArray<QroInt> a(alloc);
  a.add(7);
  a.add(8);
  EXPECT_EQ(a[1], 8);
  for (QroInt bad : {QroInt(-1), a.getSize()}) {
    try {
      a[bad];
      ADD_FAILURE() << "index " << bad << " accepted";
    } catch (const QroException& e) {
      EXPECT_STREQ(e.getMessage(), "You tried to access elements of an array outside its bounds");
    }
  }
  EXPECT_THROW(a[2], QroDoublingArray<QroInt>::OutOfBoundOperation);
  EXPECT_THROW(a[-1], QroQuietException);
}

TEST_F(PlacementContainers, BacktrackingUndoesAddsAndGrowth) {
  typedef QroDoublingArray<QroInt> Row;
  QroDoublingArray<Row> rows(alloc);
  for (QroInt i = 0; i < 3; ++i) {
    rows.add(Row(alloc));
    rows[i].add(i);
  }
  m->pushState();
  for (QroInt i = 3; i < 7; ++i) rows.add(Row(alloc));  // moves the rows to new storage
  for (QroInt k = 0; k < 6; ++k) rows[0].add(100 + k);
  EXPECT_EQ(rows.getCapacity(), 8);
  EXPECT_EQ(rows[0].getSize(), 7);
  m->popState();
  EXPECT_EQ(rows.getSize(), 3);
  EXPECT_EQ(rows.getCapacity(), 4);
  for (QroInt i = 0; i < 3; ++i) {
    EXPECT_EQ(rows[i].getSize(), 1);
    EXPECT_EQ(rows[i].getCapacity(), 4);
    EXPECT_EQ(rows[i][0], i);
  }
}

std::string chain(QrcFastEltI<QroInt>* e) {
  std::string s;
  for (; e; e = e->next) s += std::to_string(e->value);
  return s;
}

TEST_F(PlacementContainers, FastListMovesCellsBetweenChains) {
  QrcFastListI<QroInt> l(m, 20);
  l.add(1);
  l.add(2);
  l.remove(0);
  EXPECT_EQ(chain(l.firstIn()), "2");
  EXPECT_EQ(chain(l.firstOut()), "1");
  EXPECT_EQ(l.getOutCount(), 1);
  l.remove(0);   // already out
  l.restore(1);  // already in
  EXPECT_EQ(chain(l.firstIn()), "2");
  EXPECT_EQ(chain(l.firstOut()), "1");
  EXPECT_EQ(l.getOutCount(), 1);
  l.add(3);
  l.remove(2);
  l.remove(1);
  EXPECT_EQ(chain(l.firstOut()), "132");
  l.restore(2);
  EXPECT_EQ(chain(l.firstIn()), "3");
  EXPECT_TRUE(l.isOut(0));
  EXPECT_FALSE(l.isOut(2));
  l.reset();
  EXPECT_EQ(chain(l.firstIn()), "123");
  EXPECT_EQ(l.getOutCount(), 0);
  EXPECT_EQ(l.firstOut(), nullptr);
  EXPECT_THROW(l.remove(3), QroException);
}

TEST_F(PlacementContainers, FastListAddIsUndone) {
  QrcFastListI<QroInt> l(m, 20);
  l.add(1);
  m->pushState();
  l.add(2);
  l.add(3);
  EXPECT_EQ(chain(l.firstIn()), "123");
  m->popState();
  EXPECT_EQ(l.getSize(), 1);
  EXPECT_EQ(chain(l.firstIn()), "1");
  EXPECT_EQ(l.lastIn()->value, 1);
  l.add(4);
  EXPECT_EQ(chain(l.firstIn()), "14");
}

}  // namespace
