// PQ-trees over numbered leaves: the orders of the leaves in which given sets
// stay consecutive. P-node children may come in any order, Q-node children in
// their order or reversed. Nodes come from a fixed pool (a fast list); a
// reduction restructures the tree by the templates of its nodes, bottom-up,
// and fails when no order keeps the set consecutive.
#ifndef QRC_PQTREE_H
#define QRC_PQTREE_H

#include "qrcfastlist.h"

class QrcPQNodeI {
 public:
  enum Kind { PNode = 0, QNode = 1, Leaf = 2 };
  QrcPQNodeI* childHead;
  QrcPQNodeI* childTail;
  QrcPQNodeI* next;
  QrcPQNodeI* prev;
  int kind;
  QrcPQNodeI* cursor;
  QroInt value;
  QrcFastListI<QroInt>* members;  // vertex numbers (a set: members are out)
  QroInt index;
  QroInt fullCount;
  QroInt leafCount;
  QrcFastListI<QrcPQNodeI*>* pool;

  void clear();
  void append(QrcPQNodeI* child);
  void unlink(QrcPQNodeI* child);
  // Inserts child before the sibling `at` (at the end for null).
  void insertBefore(QrcPQNodeI* child, QrcPQNodeI* at);
  void reverseChildren();
};

class QrcPQTreeI {
 public:
  explicit QrcPQTreeI(QrcManagerI* manager);

  // Two more nodes; with a vertex count n >= 0 each gets a member set over
  // vertices 0..n and every earlier node's set gains vertex n.
  void addNodes(QroInt n);
  QroInt getNodeCount() const { return _pool.getSize(); }
  QrcPQNodeI* getNode(QroInt i) const { return _pool.getCell(i)->value; }
  // Every node back in the pool, cleared; no root.
  void clear();
  // Takes node i (a leaf of value i for i < count), or a free one (error 25
  // when none is left).
  QrcPQNodeI* take(QroInt i);
  QrcPQNodeI* takeFree();
  void release(QrcPQNodeI* node);
  // The universal tree over leaves 0..m-1: a P-node (node m) over them, or the
  // single leaf. Needs 2m nodes.
  void makeUniversal(QroInt m);
  // Restructures the tree so that the leaves whose values are out in `set`
  // are consecutive; false when they cannot be.
  bool reduce(QrcPQNodeI* node, const QrcFastListI<QroInt>& set);
  QrcPQNodeI* getRoot() const { return _root; }
  // Times each row of the template table was reached (17 rows, in table
  // order; not restored by backtracking).
  QroInt getRowHits(int row) const { return _rowHits[row]; }
  void setRoot(QrcPQNodeI* root) { _root = root; }
  void release() { _pool.release(); }

 private:
  bool templateStep(QrcPQNodeI* x, QroInt size);
  bool templatePNode(QrcPQNodeI* x, QroInt size, bool root, QrcPQNodeI* p1, QrcPQNodeI* p2,
                     QroInt partials, QroInt empties);
  bool templateQNode(QrcPQNodeI* x, QroInt size, bool root, QrcPQNodeI* p1, QroInt partials);
  QrcPQNodeI* group(QrcPQNodeI* x, int label);
  bool matches(QrcPQNodeI* x, bool fromTail, const char* pattern);
  void splice(QrcPQNodeI* x, QrcPQNodeI* partial, bool reversed);

  QrcManagerI* _manager;
  QrcFastListI<QrcPQNodeI*> _pool;
  QrcPQNodeI* _root;
  QroInt _rowHits[17];
};

#endif
