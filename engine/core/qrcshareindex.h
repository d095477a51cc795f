// A manager's index of shared expression nodes: a hash table from share keys to
// the nodes filed under them, newest first, so that a look-up gives what a walk
// of the operand's parents list gives.
//
// A node made while the trail records is given a cell at once: cells live on
// the global heap, which backtracking never pops, and the cell's node word is
// trailed with the parents-list cell made with the node, so backtracking past
// the node's making empties the cell. A node made while the trail records
// nothing stays for good, as its parents-list cell does: it is only noted in a
// block, and given a cell when it is hashed. New nodes wait, in blocks or in a
// list of cells, and are hashed at the first look-up after them, so models
// whose operands all have short parents lists never hash. Empty cells are
// unlinked and used again as they are met, and when the waiting list or the
// table is rebuilt.
#ifndef QRC_SHAREINDEX_H
#define QRC_SHAREINDEX_H

#include "qrcexpr.h"
#include "qrcmanager.h"

class QrcShareIndex {
 public:
  struct Cell {
    Cell* next;
    QrcExprI* node;
    QrcUInt hash;
  };
  static const QrcInt BlockNodes = 254;
  struct Block {
    Block* next;
    QrcInt count;
    QrcExprI* nodes[BlockNodes];
  };

  explicit QrcShareIndex(QrcManagerI* manager);
  // The manager's index, made on first use.
  static QrcShareIndex* of(QrcManagerI* manager) {
    QrcShareIndex* index = manager->getShareIndex();
    return index ? index : make(manager);
  }

  // Files a node just made (hashed at the next look-up). The nodes noted in
  // blocks are older than the waiting cells.
  void add(QrcExprI* node) {
    if (!_waiting && _last->count < BlockNodes && !_manager->getTrail()->isRecording())
      _last->nodes[_last->count++] = node;
    else
      addCell(node);
  }
  // The newest node filed under the key, of the candidate's class, that the
  // candidate finds equal; null when there is none.
  QrcExprI* find(const QrcExprI* candidate, const QrcExprI::ShareKey& key);

  QrcInt getBucketCount() const { return _mask + 1; }
  // Cells hashed or waiting, emptied ones not yet unlinked included.
  QrcInt getCellCount() const { return _linked + _waitingCount; }

 private:
  static QrcShareIndex* make(QrcManagerI* manager);
  static QrcUInt hash(const QrcExprI::ShareKey& key);
  void addCell(QrcExprI* node);
  Cell* takeCell();
  void release(Cell* cell) {
    cell->next = _free;
    _free = cell;
  }
  Cell** newBuckets(QrcInt n);
  // Hashes the waiting nodes, oldest first.
  void hashWaiting();
  void link(Cell* cell);
  // Unlinks the emptied waiting cells; doubles the limit while more than half
  // of it stays taken.
  void pruneWaiting();
  // Unlinks and frees the emptied cells of a chain; the count of those left.
  QrcInt dropEmptied(Cell** link);
  // Unlinks the emptied cells of the table, then doubles the buckets while
  // more than half would be taken.
  void rebuild();

  QrcManagerI* _manager;
  Cell** _buckets;
  QrcInt _mask;
  QrcInt _linked;
  // Nodes noted without cells: the blocks from the first to the last.
  Block* _first;
  Block* _last;
  // Waiting cells, newest first.
  Cell* _waiting;
  QrcInt _waitingCount;
  QrcInt _waitingLimit;
  Cell* _free;
  // Cells not yet handed out of the last run taken from the global heap.
  Cell* _run;
  QrcInt _runLeft;
};

#endif
