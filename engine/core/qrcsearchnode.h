// Open search nodes: the path of choices that leads to an unexplored branch,
// with its evaluation keys, the evaluators, selectors and limits that judge it,
// the labels of its failures and the values recorded for its replay. Nodes and
// their arrays live in the manager's size allocator, whose bytes-in-use counter
// is the memory measure of the node storage.
#ifndef QRC_SEARCHNODE_H
#define QRC_SEARCHNODE_H

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <unordered_map>

#include "qrctypes.h"

class QrcSearchNode;

// Objects held by nodes; the last reference that goes deletes the object.
class QrcNodeRefCountedI {
 public:
  QrcNodeRefCountedI() : _refs(0) {}
  virtual ~QrcNodeRefCountedI() {}
  void addRef() { ++_refs; }
  // Lowers the count; true when no reference is left.
  bool dropRef() { return --_refs <= 0; }
  QrcInt getRefCount() const { return _refs; }

 private:
  QrcInt _refs;
};

// Computes a node's evaluation key (smaller is better).
class QrcNodeEvaluatorI : public QrcNodeRefCountedI {
 public:
  virtual QrcFloat evaluate(const QrcSearchNode* node) = 0;
};

// Gives a node its selector value and says whether that value is acceptable.
class QrcNodeSelectorI : public QrcNodeRefCountedI {
 public:
  virtual QrcFloat evaluate(const QrcSearchNode* node) = 0;
  virtual bool accept(QrcFloat value) = 0;
};

// A limit on the nodes that hold it; once exceeded, it stays exceeded.
class QrcSearchLimitI : public QrcNodeRefCountedI {
 public:
  QrcSearchLimitI() : _exceeded(0) {}
  bool isExceeded(const QrcSearchNode* node) {
    if (!_exceeded && check(node)) _exceeded = 1;
    return _exceeded != 0;
  }

 protected:
  virtual bool check(const QrcSearchNode* node) = 0;

 private:
  int _exceeded;
};

// A label of a choice on a node's path; labels chain towards the root and are
// shared by the nodes below that choice. A failure with the label marks it hit,
// which cuts every node that holds it.
class QrcFailLabelI {
 public:
  QrcFailLabelI(QrcSearchI* search, QrcAny label, QrcFailLabelI* next);
  ~QrcFailLabelI();
  QrcAny getLabel() const { return _label; }
  QrcFailLabelI* getNext() const { return _next; }
  bool isHit() const;
  // Marks the first label of the chain with that value; false when none has it.
  bool markHit(QrcAny label);
  void addRef() { ++_refs; }
  bool dropRef() { return --_refs <= 0; }

 private:
  QrcSearchI* _search;
  QrcAny _label;
  int _hit;
  QrcInt _refs;
  QrcFailLabelI* _next;
};

// Doubles recorded on a path for replay: blocks of 15 words and a link.
struct QrcReplayBlock {
  static const QrcInt Words = 15;
  QrcWord words[Words];
  QrcReplayBlock* next;
};

struct QrcReplayLog {
  QrcInt position;  // number of values held
  QrcReplayBlock* current;
  QrcReplayBlock* first;
  QrcInt currentIndex;  // block number of current
};

// Reasons given to the search's monitor when a node is discarded.
enum QrcNodeDiscard {
  QrcNodeCutAll = 1,
  QrcNodeRefusedBySelector = 2,
  QrcNodeOverLimit = 3,
  QrcNodeLabelHit = 4,
  QrcNodeInfiniteKey = 5
};

class QrcSearchNode {
  friend class QrcNodeReferenceTally;

 public:
  static const QrcWord Marker = 12345678;

  // A node for the current position of the search (path of the manager's choices).
  static QrcSearchNode* makeRoot(QrcManagerI* manager);
  // The child of a node for one more choice (bit set: the second branch).
  static QrcSearchNode* makeChild(const QrcSearchNode* parent, bool bit);
  // Gives the node and the references it holds back; null is allowed.
  static void release(QrcSearchNode* node, QrcSearchI* search);
  // Frees the node's memory, keeping its references (they moved to a spill file).
  static void freeKeepingReferences(QrcSearchNode* node);

  QrcManagerI* getManager() const { return _manager; }
  QrcInt getCursor() const { return _cursor; }
  void setCursor(QrcInt cursor) { _cursor = cursor; }
  QrcInt getPathLength() const { return _pathLength; }
  QrcInt getMinusCount() const { return _minusCount; }
  bool getBit(QrcInt i) const;
  QrcInt getSequence() const { return _sequence; }
  void setSequence(QrcInt s) { _sequence = s; }
  QrcInt getNumber() const { return _number; }
  void setNumber(QrcInt n) { _number = n; }
  QrcFailLabelI* getFailLabels() const { return _labels; }
  // A new label at the head of the node's chain.
  void pushFailLabel(QrcSearchI* search, QrcAny label);

  void appendChoice(bool bit);
  void addHistory(QrcFloat value);
  void addObjective(QrcFloat value);
  QrcInt getHistoryCount() const { return _historyCount; }
  QrcFloat getHistory(QrcInt i) const { return _history.values[i]; }
  QrcInt getObjectiveCount() const { return _objectiveCount; }
  QrcFloat getObjective(QrcInt i) const { return _objectives.values[i]; }
  // The path depth at which objective value i was recorded.
  QrcInt getObjectiveDepth(QrcInt i) const { return _objectives.indexes[i]; }

  // Evaluation keys: the evaluator at index i computes key i.
  void setEvaluator(QrcInt i, QrcNodeEvaluatorI* evaluator);
  QrcNodeEvaluatorI* getEvaluator(QrcInt i) const;
  void setKey(QrcInt i, QrcFloat key);
  QrcFloat getKey(QrcInt i) const;
  QrcInt getLastKeyIndex() const { return _lastKey; }
  void setSelector(QrcInt i, QrcNodeSelectorI* selector);
  QrcFloat getSelectorValue() const { return _selectorValue; }
  void addLimit(QrcSearchLimitI* limit);

  void evaluate();
  bool isValid(QrcSearchI* search);
  bool isCut(QrcSearchI* search);
  // Whether the last key is +infinity.
  bool hasInfiniteKey() const;
  // Lexicographic keys, smallest first; ties to the newer node.
  static bool isBetter(const QrcSearchNode* a, const QrcSearchNode* b);
  // -1, 0 or 1 as a's keys are smaller, equal or greater (no tie-break).
  static int compareKeys(const QrcSearchNode* a, const QrcSearchNode* b);

  // Replay log.
  void writeInfo(QrcInt index, QrcFloat value);
  // False when nothing was recorded at that index.
  bool readInfo(QrcInt index, QrcFloat* value) const;
  QrcInt getInfoCount() const { return _log ? _log->position : 0; }

  // Serialized size in bytes and the words themselves (little-endian 64-bit).
  QrcInt serializedSize() const;
  // Writes into out (room for serializedSize bytes); returns the bytes written.
  QrcInt serialize(unsigned char* out) const;
  // Reads one record; null with *error set on a malformed record. The node
  // takes over the references written with it.
  static QrcSearchNode* deserialize(QrcManagerI* manager, const unsigned char* in, QrcInt size,
                                    QrcInt* used, bool* error);
  // Raises the references the node holds (a copy that keeps its own).
  void addReferences();

  void print(std::ostream& os) const;

 private:
  // Whether the counts, cursor and path length read from a record fit its arrays.
  bool hasConsistentFields() const;
  struct FloatArray {
    QrcFloat* values;
    QrcInt size;
  };
  struct PairArray {
    QrcFloat* values;
    QrcInt* indexes;
    QrcInt size;
  };
  struct PtrArray {
    void** items;
    QrcInt size;
  };
  struct LimitArray {
    QrcSearchLimitI** items;
    QrcInt* indexes;
    QrcInt size;
  };

  explicit QrcSearchNode(QrcManagerI* manager);
  static QrcSearchNode* allocate(QrcManagerI* manager);
  void copyFrom(const QrcSearchNode* other);
  void freeArrays();
  void dropReferences(QrcSearchI* search);
  void growPath(QrcInt bits);
  static void growFloats(QrcManagerI* m, FloatArray& a, QrcInt n);
  static void growPairs(QrcManagerI* m, PairArray& a, QrcInt n);
  static void growPtrs(QrcManagerI* m, PtrArray& a, QrcInt n);
  static void growLimits(QrcManagerI* m, LimitArray& a, QrcInt n);
  QrcReplayBlock* blockAt(QrcInt index, bool create) const;

  QrcManagerI* _manager;
  QrcInt _cursor;
  QrcInt _pathLength;
  QrcInt _minusCount;
  QrcWord* _pathWords;
  QrcInt _pathWordCount;
  PairArray _objectives;
  PairArray _history;
  FloatArray _keys;
  PtrArray _evaluators;
  PtrArray _selectors;
  LimitArray _limits;
  QrcFailLabelI* _labels;
  QrcReplayLog* _log;
  QrcInt _lastSelector;
  QrcInt _selectorCount;
  QrcFloat _selectorValue;
  QrcInt _lastKey;
  QrcInt _evaluatorCount;
  QrcInt _limitCount;
  QrcInt _objectiveCount;
  QrcInt _historyCount;
  QrcInt _sequence;
  QrcInt _number;
};

std::ostream& operator<<(std::ostream& os, const QrcSearchNode* node);

// The references that the nodes of a spilled batch hold, counted per object,
// so that a batch that cannot be read back still gives them back.
class QrcNodeReferenceTally {
 public:
  void add(const QrcSearchNode* node);
  // Drops every reference counted (objects left without one are deleted).
  void release(QrcManagerI* manager, QrcSearchI* search);
  // Forgets the references: the nodes read back hold them again.
  void clear() { _counts.clear(); }

 private:
  std::unordered_map<uintptr_t, QrcInt> _counts;  // object address | kind
};

#endif
