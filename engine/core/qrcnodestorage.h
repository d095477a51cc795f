// Storage of the open nodes of a search. The heap-based storage keeps them in a
// binary heap, best first; when the size allocator's bytes in use pass the
// search's memory limit it moves batches of the worst nodes into spill files of
// at most 1 MiB (optionally compressed, optionally kept in memory) and reads a
// batch back once its best node is the best of all.
#ifndef QRC_NODESTORAGE_H
#define QRC_NODESTORAGE_H

#include <string>
#include <vector>

#include "qrcsearchnode.h"
#include "qrctypes.h"

class QrcNodeStorageI {
 public:
  // Node trace flag (storage and heap operations) and file trace flag.
  enum Trace { TraceObjects = 2, TraceNodes = 8, TraceFiles = 64 };

  // The search (may be null) gives the memory limit, the options and the monitor.
  QrcNodeStorageI(QrcManagerI* manager, QrcSearchI* search);
  virtual ~QrcNodeStorageI();
  QrcNodeStorageI(const QrcNodeStorageI&) = delete;
  QrcNodeStorageI& operator=(const QrcNodeStorageI&) = delete;

  virtual void add(QrcSearchNode* node, QrcInt flag) = 0;
  // The best node without removing it; false when none is held in memory.
  virtual bool peekBest(QrcSearchNode** node) = 0;
  virtual bool get(QrcSearchNode** node) = 0;
  // Nodes held, those in spill files included.
  virtual QrcInt count() const = 0;
  // Number of spill files made so far.
  virtual QrcInt fileCounter() const = 0;
  virtual void clear() = 0;
  virtual void release() { clear(); }

  // Asked by the search at each choice of its current node.
  virtual bool mayExtend(QrcSearchNode* node);
  virtual bool wantsToStore(QrcSearchNode* node) {
    (void)node;
    return false;
  }
  virtual void nodeEntered(QrcSearchNode* node) { (void)node; }
  virtual void nodeFailed(QrcSearchNode* node) { (void)node; }
  virtual void nodeLeft(QrcSearchNode* node) { (void)node; }

  QrcManagerI* getManager() const { return _manager; }
  QrcSearchI* getSearch() const { return _search; }
  QrcInt getMode() const { return _mode; }
  void setMode(QrcInt mode) { _mode = mode; }

 protected:
  QrcManagerI* _manager;
  QrcSearchI* _search;
  QrcInt _mode;
};

// One batch of spilled nodes.
struct QrcFileNode {
  QrcSearchNode* best;  // a copy of the batch's best node, kept in memory
  QrcFileNode* next;
  std::vector<unsigned char> buffer;  // empty once written to disk
  QrcNodeReferenceTally references;   // held by the nodes of the batch
  std::string name;
  int compressed;
  int onDisk;
  QrcInt nodeCount;
  QrcInt byteSize;
  QrcInt rawSize;
};

class QrcHeapBasedNodeStorageI : public QrcNodeStorageI {
 public:
  static const QrcInt BatchBytes = 1048576;
  static const QrcInt InitialCapacity = 256;

  QrcHeapBasedNodeStorageI(QrcManagerI* manager, QrcSearchI* search = nullptr);
  ~QrcHeapBasedNodeStorageI() override;

  void add(QrcSearchNode* node, QrcInt flag) override;
  bool peekBest(QrcSearchNode** node) override;
  bool get(QrcSearchNode** node) override;
  QrcInt count() const override;
  QrcInt fileCounter() const override { return _fileCount; }
  void clear() override;
  void release() override;
  // Nodes with keys are searched best first: both branches of each choice are stored.
  bool wantsToStore(QrcSearchNode* node) override;

  QrcInt getHeapSize() const { return _size; }
  QrcInt getSpillFileCount() const;
  const QrcFileNode* getFirstFile() const { return _files; }

  // Moves a batch of the worst nodes into a spill file; returns how many moved.
  QrcInt fillFileNode();
  // Reads the first spill file back into the heap.
  void unfillFileNode();

 private:
  void push(QrcSearchNode* node, bool freshSequence);
  QrcSearchNode* pop();
  void siftUp(QrcInt slot);
  void siftDown(QrcInt slot);
  void heapify();
  bool fileBeatsHeap() const;
  void discard(QrcSearchNode* node);
  // Whether a node taken out is still valid; one that is not, or whose
  // check throws, is discarded.
  bool keptValid(QrcSearchNode* node);
  // The nodes of a record's batch, or false on a read error.
  bool readBatch(QrcFileNode* record, std::vector<QrcSearchNode*>* nodes);
  // Steps of fillFileNode: how many nodes go (the worst ones moved to the end
  // of the heap array); a new empty record; the nodes moved into its buffer
  // (how many, the bytes written in total); the buffer compressed and written
  // as the search asks; the record filed by its best node.
  QrcInt chooseBatch(QrcInt flags);
  QrcFileNode* newFileNode();
  QrcInt moveBatch(QrcFileNode* record, QrcInt batch, QrcInt* total);
  void packAndStore(QrcFileNode* record, QrcInt total);
  void insertFile(QrcFileNode* record);
  // Releases every batch and deletes its file; the nodes of `unreadable` are
  // not read, only their references given back.
  void dropFiles(const QrcFileNode* unreadable = nullptr);
  // One batch taken off the list: its nodes and best node released, its file
  // deleted and its record freed.
  void dropFile(QrcFileNode* record, bool unreadable);
  QrcInt traceFlags() const;
  std::ostream& trace() const;
  [[noreturn]] void readError(const QrcFileNode* record);

  QrcSearchNode** _entries;  // 1-based
  QrcInt _capacity;
  QrcInt _size;
  QrcInt _sequence;
  QrcSearchNode* _pending;
  QrcFileNode* _files;
  QrcInt _fileCount;
};

#endif
