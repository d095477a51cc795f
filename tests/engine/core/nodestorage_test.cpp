// Open-node storage, node records and spill files. It includes the engine's
// private node-storage headers: their order, records and file damage are
// checked on the storage itself, not only through the searches that use it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <unistd.h>
#include <limits>
#include <random>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/core/qrcnodestorage.h"
#include "engine_fixtures.h"
#include "engine/core/qrcsearchnode.h"
#include "qrcmanager.h"
#include "qrcsearch.h"
#include "qrcsizealloc.h"
#include "support/seed.h"

using enginetest::filesWithPrefix;

namespace {

class ThrowingReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { throw code; }
};

// Counts its instances; the last reference deletes it.
class KeyEvaluator : public QrcNodeEvaluatorI {
 public:
  static int live;
  KeyEvaluator() { ++live; }
  ~KeyEvaluator() override { --live; }
  QrcFloat evaluate(const QrcSearchNode* node) override {
    return static_cast<QrcFloat>(node->getPathLength());
  }
};
int KeyEvaluator::live = 0;

class DiscardMonitor : public QrcSearchEventMonitorI {
 public:
  std::vector<QrcInt> codes;
  void fourthEvent(void*, QrcInt code) override { codes.push_back(code); }
};

class NodeStorageTest : public testing::Test {
 protected:
  void SetUp() override {
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
    dir = testing::TempDir();
    prefix = std::string("qrcnodes_") + std::to_string(getpid()) + "_" +
             testing::UnitTest::GetInstance()->current_test_info()->name() + "_";
    for (char& c : prefix)
      if (c == '/') c = '_';
    path = dir + prefix;
    m->setNodeFilePrefix(path.c_str());
  }
  void TearDown() override { mgr.end(); }
  // A node at depth 1 with one key.
  QrcSearchNode* node(QrcFloat key) {
    QrcSearchNode* root = QrcSearchNode::makeRoot(m);
    QrcSearchNode* n = QrcSearchNode::makeChild(root, false);
    QrcSearchNode::release(root, nullptr);
    n->setKey(0, key);
    return n;
  }
  QrcManager mgr;
  QrcManagerI* m = nullptr;
  std::string dir, prefix, path;
};

TEST_F(NodeStorageTest, BestFirstAndNewestFirstAmongEquals) {
  QrcHeapBasedNodeStorageI storage(m);
  const QrcFloat keys[] = {3, 1, 2, 1, 5, 1};
  for (int i = 0; i < 6; ++i) {
    QrcSearchNode* n = node(keys[i]);
    n->setNumber(i);
    storage.add(n, 1);
  }
  EXPECT_EQ(storage.count(), 6);
  QrcSearchNode* best = nullptr;
  ASSERT_TRUE(storage.peekBest(&best));
  EXPECT_EQ(best->getNumber(), 5);
  std::vector<QrcInt> order;
  QrcSearchNode* n = nullptr;
  while (storage.get(&n)) {
    order.push_back(n->getNumber());
    QrcSearchNode::release(n, nullptr);
  }
  EXPECT_EQ(order, (std::vector<QrcInt>{5, 3, 1, 2, 0, 4}));
  EXPECT_EQ(storage.count(), 0);
  storage.release();
  EXPECT_EQ(m->getSizeAllocator()->getBytesInUse(), 0);
}

TEST_F(NodeStorageTest, InfiniteKeysAreNeverStored) {
  QrcSearchI* s = m->startSearch();
  DiscardMonitor monitor;
  s->setMonitor(&monitor);
  QrcHeapBasedNodeStorageI storage(m, s);
  storage.add(node(std::numeric_limits<QrcFloat>::infinity()), 1);
  storage.add(node(-std::numeric_limits<QrcFloat>::infinity()), 1);
  EXPECT_EQ(storage.count(), 1);
  EXPECT_EQ(monitor.codes, std::vector<QrcInt>{QrcNodeInfiniteKey});
}

TEST_F(NodeStorageTest, ChildrenCopyPathsAndReferencesAndPrint) {
  KeyEvaluator* e = new KeyEvaluator();
  QrcSearchNode* root = QrcSearchNode::makeRoot(m);
  root->setEvaluator(0, e);
  root->appendChoice(true);
  root->appendChoice(false);
  root->addHistory(0.5);
  QrcSearchNode* child = QrcSearchNode::makeChild(root, true);
  EXPECT_EQ(e->getRefCount(), 2);
  child->evaluate();
  EXPECT_EQ(child->getKey(0), 3.0);
  EXPECT_EQ(child->getMinusCount(), 1);
  child->setCursor(1);
  child->setNumber(7);
  std::ostringstream os;
  os << child;
  std::ostringstream expected;
  expected << "Node (7, path = [+#-+], history = [<0.5, 2> ], keys = [<3> ], evaluators = ["
           << static_cast<const void*>(e) << " ])";
  EXPECT_EQ(os.str(), expected.str());
  std::ostringstream none;
  none << static_cast<const QrcSearchNode*>(nullptr);
  EXPECT_EQ(none.str(), "A search node");
  QrcSearchNode::release(root, nullptr);
  EXPECT_EQ(KeyEvaluator::live, 1);
  QrcSearchNode::release(child, nullptr);
  EXPECT_EQ(KeyEvaluator::live, 0);
  EXPECT_EQ(m->getSizeAllocator()->getBytesInUse(), 0);
}

TEST_F(NodeStorageTest, RecordsRoundTripAndDamageIsDetected) {
  KeyEvaluator* e = new KeyEvaluator();
  QrcSearchNode* n = node(2.5);
  n->setEvaluator(1, e);
  n->addObjective(4.0);
  for (int i = 0; i < 40; ++i) n->writeInfo(i, i * 0.25);
  std::vector<unsigned char> buffer(static_cast<size_t>(n->serializedSize()));
  ASSERT_EQ(n->serialize(buffer.data()), static_cast<QrcInt>(buffer.size()));
  bool error = true;
  QrcInt used = 0;
  QrcSearchNode* back = QrcSearchNode::deserialize(
      m, buffer.data(), static_cast<QrcInt>(buffer.size()), &used, &error);
  ASSERT_FALSE(error);
  EXPECT_EQ(used, static_cast<QrcInt>(buffer.size()));
  EXPECT_EQ(back->getKey(0), 2.5);
  EXPECT_EQ(back->getEvaluator(1), e);
  EXPECT_EQ(back->getObjective(0), 4.0);
  QrcFloat v = 0;
  ASSERT_TRUE(back->readInfo(39, &v));
  EXPECT_EQ(v, 39 * 0.25);
  QrcSearchNode::freeKeepingReferences(back);  // the original keeps the reference
  // Any damaged or truncated record is refused.
  for (size_t at : {size_t(0), size_t(8), buffer.size() - 8, buffer.size() - 3}) {
    std::vector<unsigned char> bad = buffer;
    bad[at] ^= 0x5A;
    if (at == 0) bad[7] = 0x80;  // a negative cursor
    EXPECT_EQ(
        QrcSearchNode::deserialize(m, bad.data(), static_cast<QrcInt>(bad.size()), &used, &error),
        nullptr)
        << at;
    EXPECT_TRUE(error);
  }
  EXPECT_EQ(QrcSearchNode::deserialize(m, buffer.data(), static_cast<QrcInt>(buffer.size()) - 8,
                                       &used, &error),
            nullptr);
  QrcSearchNode::release(n, nullptr);
  EXPECT_EQ(KeyEvaluator::live, 0);
  EXPECT_EQ(m->getSizeAllocator()->getBytesInUse(), 0);
}

struct SpillCase {
  int compress;
  int disk;
};

class SpillTest : public NodeStorageTest, public testing::WithParamInterface<SpillCase> {};

TEST_P(SpillTest, SpillsReadsBackBestFirstAndDeletes) {
  uint64_t seed = qrotest::seedOr(42);
  SCOPED_TRACE(testing::Message() << "seed " << seed);
  std::mt19937_64 rng(seed);
  QrcSearchI* s = m->startSearch();
  s->setFileNodeOptions(1, GetParam().compress, GetParam().disk, 0);
  ASSERT_EQ(s->getMemoryLimit(), 5000000);
  QrcHeapBasedNodeStorageI storage(m, s);
  const int total = 30000;
  for (int i = 0; i < total; ++i) storage.add(node(static_cast<QrcFloat>(rng() % 500)), 1);
  EXPECT_EQ(storage.count(), total);
  ASSERT_GT(storage.fileCounter(), 0);
  EXPECT_LT(storage.getHeapSize(), total);
  EXPECT_LE(m->getSizeAllocator()->getBytesInUse(), 5000000);
  std::vector<std::string> files = filesWithPrefix(dir, prefix);
  if (GetParam().disk) {
    EXPECT_EQ(static_cast<QrcInt>(files.size()), storage.getSpillFileCount());
    for (const std::string& f : files) {
      // <prefix><counter>.<worker>
      std::string rest = f.substr(prefix.size());
      ASSERT_NE(rest.find('.'), std::string::npos) << f;
      EXPECT_EQ(rest.substr(rest.find('.')), ".0") << f;
    }
  } else {
    EXPECT_TRUE(files.empty());
  }
  QrcFloat last = -1;
  QrcInt lastSequence = 0;
  int got = 0;
  QrcSearchNode* n = nullptr;
  while (storage.get(&n)) {
    QrcFloat k = n->getKey(0);
    ASSERT_GE(k, last) << "after " << got << " nodes";
    if (k == last) {
      ASSERT_LT(n->getSequence(), lastSequence) << "newest first among equals";
    }
    last = k;
    lastSequence = n->getSequence();
    QrcSearchNode::release(n, nullptr);
    ++got;
    EXPECT_EQ(storage.count(), total - got);
  }
  EXPECT_EQ(got, total);
  EXPECT_TRUE(filesWithPrefix(dir, prefix).empty());
  storage.release();
  EXPECT_EQ(m->getSizeAllocator()->getBytesInUse(), 0);
}

INSTANTIATE_TEST_SUITE_P(Modes, SpillTest,
                         testing::Values(SpillCase{0, 1}, SpillCase{1, 1}, SpillCase{1, 0},
                                         SpillCase{0, 0}));

// Two storages spilling at once, as an outer and a nested search do: their
// files are numbered by the manager, so neither overwrites the other's.
TEST_F(NodeStorageTest, StoragesAliveTogetherKeepTheirFilesApart) {
  QrcSearchI* outer = m->startSearch();
  QrcSearchI* inner = m->startSearch();
  outer->setFileNodeOptions(1, 0, 1, 0);
  inner->setFileNodeOptions(1, 1, 1, 0);
  QrcHeapBasedNodeStorageI a(m, outer), b(m, inner);
  const int total = 20000;
  for (int i = 0; i < total; ++i) {
    a.add(node(static_cast<QrcFloat>(i % 500)), 1);
    b.add(node(static_cast<QrcFloat>(1000 + i % 500)), 1);
  }
  ASSERT_GT(a.fileCounter(), 0);
  ASSERT_GT(b.fileCounter(), 0);
  EXPECT_EQ(static_cast<QrcInt>(filesWithPrefix(dir, prefix).size()),
            a.getSpillFileCount() + b.getSpillFileCount());
  for (QrcHeapBasedNodeStorageI* s : {&a, &b}) {
    QrcFloat lo = s == &a ? 0 : 1000;
    int got = 0;
    QrcSearchNode* n = nullptr;
    while (s->get(&n)) {
      ASSERT_GE(n->getKey(0), lo);
      ASSERT_LT(n->getKey(0), lo + 500);
      QrcSearchNode::release(n, nullptr);
      ++got;
    }
    EXPECT_EQ(got, total);
  }
  EXPECT_TRUE(filesWithPrefix(dir, prefix).empty());
  a.release();
  b.release();
}

TEST_F(NodeStorageTest, AnUnwritableSpillFileKeepsTheBatchInMemory) {
  std::string missing = dir + prefix + "missing_dir/";
  m->setNodeFilePrefix(missing.c_str());
  QrcSearchI* s = m->startSearch();
  s->setFileNodeOptions(1, 1, 1, 0);
  QrcHeapBasedNodeStorageI storage(m, s);
  const int total = 30000;
  for (int i = 0; i < total; ++i) storage.add(node(static_cast<QrcFloat>((i * 7919) % 500)), 1);
  EXPECT_EQ(storage.count(), total);
  ASSERT_GT(storage.fileCounter(), 0);
  EXPECT_TRUE(filesWithPrefix(dir, prefix).empty());
  QrcFloat last = -1;
  int got = 0;
  QrcSearchNode* n = nullptr;
  while (storage.get(&n)) {
    ASSERT_GE(n->getKey(0), last) << "after " << got << " nodes";
    last = n->getKey(0);
    QrcSearchNode::release(n, nullptr);
    ++got;
  }
  EXPECT_EQ(got, total);
  storage.release();
  m->setNodeFilePrefix(path.c_str());
}

TEST_F(NodeStorageTest, ReleaseDropsSpilledNodesAndTheirReferences) {
  QrcSearchI* s = m->startSearch();
  s->setFileNodeOptions(5000000, 1, 1, 0);
  KeyEvaluator* e = new KeyEvaluator();
  {
    QrcHeapBasedNodeStorageI storage(m, s);
    for (int i = 0; i < 25000; ++i) {
      QrcSearchNode* n = node(i % 7);
      n->setEvaluator(1, e);
      storage.add(n, 1);
    }
    ASSERT_FALSE(filesWithPrefix(dir, prefix).empty());
    EXPECT_EQ(e->getRefCount(), 25000 + storage.getSpillFileCount());
  }
  EXPECT_EQ(KeyEvaluator::live, 0);
  EXPECT_TRUE(filesWithPrefix(dir, prefix).empty());
  EXPECT_EQ(m->getSizeAllocator()->getBytesInUse(), 0);
}

TEST_F(NodeStorageTest, ANodeLargerThanABatchStaysInMemory) {
  QrcSearchI* s = m->startSearch();
  s->setFileNodeOptions(5000000, 0, 1, 0);
  QrcHeapBasedNodeStorageI storage(m, s);
  QrcSearchNode* huge = node(9);
  for (int i = 0; i < 400000; ++i) huge->addHistory(i);
  storage.add(huge, 1);
  storage.add(node(1), 1);  // over the limit: the spill loop must end
  EXPECT_EQ(storage.count(), 2);
  EXPECT_EQ(storage.fileCounter(), 0);
  EXPECT_TRUE(filesWithPrefix(dir, prefix).empty());
}

// A limit that is never exceeded; counts its instances.
class NeverLimit : public QrcSearchLimitI {
 public:
  NeverLimit() { ++live; }
  ~NeverLimit() override { --live; }
  static int live;

 protected:
  bool check(const QrcSearchNode*) override { return false; }
};
int NeverLimit::live = 0;

class DamageTest : public NodeStorageTest, public testing::WithParamInterface<int> {
 protected:
  // Spills nodes that hold an evaluator, a limit and a label, damages the first
  // spill file (0: bytes changed, 1: cut short, 2: gone) and drains the storage
  // down to it; the read error ends the drain. Returns the error code thrown.
  int spillDamageAndDrain(int compress) {
    QrcSearchI* s = m->startSearch();
    s->setFileNodeOptions(5000000, compress, 1, 0);
    QrcHeapBasedNodeStorageI storage(m, s);
    KeyEvaluator* e = new KeyEvaluator();
    static const char label = 0;
    for (int i = 0; i < 25000; ++i) {
      QrcSearchNode* n = node(i < 20000 ? 10 : 0);
      n->setEvaluator(1, e);
      n->addLimit(new NeverLimit());
      n->pushFailLabel(s, &label);
      storage.add(n, 1);
    }
    EXPECT_GT(storage.getSpillFileCount(), 1);
    const QrcFileNode* first = storage.getFirstFile();
    std::string name = first->name;
    if (GetParam() == 2) {
      std::remove(name.c_str());
    } else if (GetParam() == 1) {
      EXPECT_EQ(truncate(name.c_str(), first->byteSize / 3), 0);
    } else {
      FILE* f = std::fopen(name.c_str(), "r+b");
      std::fseek(f, static_cast<long>(first->byteSize / 2), SEEK_SET);
      unsigned char junk[64];
      for (unsigned char& c : junk) c = 0xA7;
      std::fwrite(junk, 1, sizeof junk, f);
      std::fclose(f);
    }
    QrcSearchNode* n = nullptr;
    int code = 0;
    try {
      while (storage.get(&n)) QrcSearchNode::release(n, s);
    } catch (int c) {
      code = c;
    }
    // Only the nodes of the heap are left; no spill file remains.
    EXPECT_EQ(storage.getSpillFileCount(), 0);
    EXPECT_EQ(storage.count(), storage.getHeapSize());
    return code;
  }
};

// With a reporter that throws, the error is reported, every spill file is gone
// and the references of the unread batches are released (no leak).
TEST_P(DamageTest, ADamagedSpillFileIsReportedAndLeavesNothingBehind) {
  ThrowingReporter reporter;
  m->setErrorReporter(&reporter);
  for (int compress = 0; compress < 2; ++compress) {
    SCOPED_TRACE(compress);
    testing::internal::CaptureStdout();
    EXPECT_EQ(spillDamageAndDrain(compress), QrcInternalError);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("problem when reading"),
              std::string::npos);
    EXPECT_TRUE(filesWithPrefix(dir, prefix).empty());
    EXPECT_EQ(KeyEvaluator::live, 0);
    EXPECT_EQ(NeverLimit::live, 0);
  }
  m->setErrorReporter(nullptr);
}

// The default reporter ends the process, after deleting the spill files.
TEST_P(DamageTest, TheDefaultReporterEndsTheProcessWithoutSpillFiles) {
  EXPECT_DEATH(spillDamageAndDrain(0), "problem when reading");
  EXPECT_TRUE(filesWithPrefix(dir, prefix).empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamageTest, testing::Values(0, 1, 2));

}  // namespace

namespace {

class Refuse : public QrcNodeSelectorI {
 public:
  QrcFloat evaluate(const QrcSearchNode* node) override { return node->getKey(0); }
  bool accept(QrcFloat value) override { return value < 5; }
};

class DepthLimit : public QrcSearchLimitI {
 public:
  int checks = 0;

 protected:
  bool check(const QrcSearchNode* node) override {
    ++checks;
    return node->getKey(0) >= 8;
  }
};

TEST_F(NodeStorageTest, SelectorsLimitsAndLabelsDiscardNodes) {
  QrcSearchI* s = m->startSearch();
  DiscardMonitor monitor;
  s->setMonitor(&monitor);
  s->setFileNodeOptions(0, 0, 0, QrcNodeStorageI::TraceObjects);
  std::ostringstream trace;
  m->setTraceStream(trace);
  QrcHeapBasedNodeStorageI storage(m, s);
  Refuse* selector = new Refuse();
  DepthLimit* limit = new DepthLimit();
  static const char label = 0;
  for (int k : {1, 6, 9}) {
    QrcSearchNode* n = node(k);
    n->setSelector(0, selector);
    n->evaluate();
    if (k == 1) n->addLimit(limit);
    storage.add(n, 1);
  }
  QrcSearchNode* labelled = node(0);
  labelled->pushFailLabel(s, &label);
  ASSERT_TRUE(labelled->getFailLabels()->markHit(&label));
  storage.add(labelled, 1);
  QrcSearchNode* n = nullptr;
  ASSERT_TRUE(storage.get(&n));
  EXPECT_EQ(n->getKey(0), 1.0);  // the limit holds below 8
  EXPECT_EQ(monitor.codes, std::vector<QrcInt>{QrcNodeLabelHit});
  EXPECT_EQ(limit->checks, 1);
  QrcSearchNode::release(n, s);   // the limit goes with its last node
  EXPECT_FALSE(storage.get(&n));  // 6 and 9 are refused by the selector
  EXPECT_EQ(monitor.codes, (std::vector<QrcInt>{QrcNodeLabelHit, QrcNodeRefusedBySelector,
                                                QrcNodeRefusedBySelector}));
  EXPECT_EQ(s->getDiscardedNodeCount(), 3);
  EXPECT_NE(trace.str().find("Destroying Label"), std::string::npos);
  EXPECT_NE(trace.str().find("Destroying Selector"), std::string::npos);
  EXPECT_NE(trace.str().find("Destroying Limit"), std::string::npos);
  m->setTraceStream(std::cout);
}

}  // namespace
