// Matching-based domain filtering. A matching of variables to values, each
// value with a capacity interval (the bounds of its capacity variable), kept
// between propagations and repaired incrementally by augmenting paths; the
// variable-value pairs used by no such matching are removed (strongly connected
// components of the residual graph), and card variables are narrowed to the
// least and greatest counts a matching allows.
//
// Values that behave alike share one node, the rest node, whose capacity is
// never reached: for distribute, every value outside the listed ones; for
// all-different, the values of a variable with more values than there are
// variables beyond those that smaller variables hold (such a variable can
// always be matched, and loses only values that every matching of the
// smaller ones uses). So the nodes follow the variables and the listed
// values, never the width of the domains; all-different rebuilds its value
// nodes at each propagation from the domains of the small variables.
//
// The matching is a hint: it is not restored on backtracking, and each
// propagation keeps of it only the pairs the current domains still allow;
// a propagation whose repair fails puts back the matching it started from.
//
// A propagation decides on one reading of the domains: the pairs it removes
// and the card ranges it finds are gathered while it walks the graph and
// applied afterwards, as a removal may move another of its variables at once
// (an offset view of it) and so change the graph under the walk.
#ifndef QRC_MATCHING_H
#define QRC_MATCHING_H

#include "qrcconstraint.h"
#include "qrcint.h"

class QrcIntMap;
struct QrcMatchValueNode;

struct QrcMatchVarNode {
  QrcInt matched;  // the unmatched mark when none, the rest mark for the rest node
  QrcIntExpI* var;
  QrcMatchVarNode* parent;
  QrcMatchVarNode* queueNext;
  QrcMatchVarNode* next;
  QrcMatchVarNode* prev;
  unsigned char visited;
  unsigned char listed;  // its nodes come from the sorted values, not from its domain
  unsigned char rest;    // it can be matched to the rest node
  // All-different, within a propagation: its nodes, adjacency[first..end).
  QrcInt first;
  QrcInt end;
};

struct QrcMatchValueNode {
  enum Flags { Entered = 1, Finished = 2, Closed = 4 };
  QrcInt value;
  QrcInt number;
  QrcMatchVarNode* parent;
  QrcMatchValueNode* chain;  // the node below on the component stack
  unsigned char flags;
  QrcInt low;
  QrcMatchVarNode* head;
  QrcInt count;
  QrcIntExpI* card;
  QrcMatchVarNode* support;
  QrcInt rank;  // place among the sorted values
};

// Where a walk over the nodes of a variable stands: phase 0 walks its domain
// (pos the last value) or the sorted values (pos the last index), phase 1
// comes to the rest node, phase 2 is past the end.
struct QrcMatchCursor {
  QrcInt pos;
  QrcInt phase;
};

// A slot of the hashed index of all-different's value nodes, valid for the
// build whose stamp it holds.
struct QrcMatchSlot {
  QrcInt key;
  QrcInt node;
  QrcInt stamp;
};

class QrcCardMatchingI;

// State of one augmenting-path search: capacity mode accepts a value below
// its capacity maximum, target mode accepts only the target value.
struct QrcMatchSearch {
  QrcCardMatchingI* matching;
  QrcMatchVarNode* tail;
  QrcInt excluded;
  QrcInt capacityMode;
  QrcInt found;
};

// Cursor of the iterative component search.
struct QrcMatchSccState {
  QrcMatchValueNode* top;
  QrcInt counter;
  QrcCardMatchingI* matching;
  QrcMatchVarNode* cursor;
  QrcInt scan;
  QrcInt phase;
};

class QrcCardMatchingI {
 public:
  enum Bits { PruneComponents = 1, BoundCards = 2 };

  // An empty matching; init builds it.
  explicit QrcCardMatchingI(QrcManagerI* manager);
  // Builds the nodes of the listed values and the rest node. With null cards
  // every value has capacity [0, 1] and its node is made when a small
  // variable holds it; else a listed value's capacity is its card and the
  // other values share the rest node.
  void init(QrcInt n, QrcIntExpI** vars, QrcInt nCards, QrcIntExpI** cards, const QrcInt* values,
            QrcInt bits);
  // Gives the size pools back the blocks the matching took from them.
  void releaseBlocks();

  // Repairs the matching, prunes and bounds the cards; false when no matching
  // exists (the matching is then back as it was). Domain changes may fail.
  bool propagate();

  QrcInt getVarCount() const { return _nVars; }
  QrcInt getValueCount() const { return _nValues; }
  QrcInt getFilterBits() const { return _bits; }
  // Whether all-different finds its value nodes through a hashed index.
  bool isSparse() const { return _slotMask > 0; }
  // The value matched to the i-th variable; getUnmatched() when none.
  QrcInt getMatchedValue(QrcInt i) const { return _varNodes[i].matched; }
  QrcInt getUnmatched() const { return _offset - 1; }
  // Whether the i-th variable is matched to a value node of its own (not to
  // the rest node).
  bool hasOwnValue(QrcInt i) const;
  // After propagate: whether every matching has a variable on value v. False
  // when none is on it or when one can move to another value (the matching
  // is then the moved one).
  bool isForced(QrcInt v);

 private:
  QrcMatchValueNode* nodeOf(QrcInt v) const;
  QrcMatchValueNode* findNode(QrcInt v) const;
  QrcMatchValueNode* restNode() const { return _valueNodes + _nCards; }
  QrcInt sortedValue(QrcInt k) const { return _sorted[k]; }
  // init's two cases: listed values with cards, and all-different.
  void initListedValues(const QrcInt* values, QrcIntExpI** cards);
  void initValueIndex();
  void ensureNodes(QrcInt count);
  QrcMatchValueNode* addNode(QrcInt v);
  void buildNodes();
  // buildNodes' steps.
  inline QrcInt markLargeVars(bool& anyLarge);
  inline void ensureAdjacency(QrcInt need);
  inline void layOutNodes(bool spanNodes);
  inline void listAdjacency(bool spanNodes);
  inline void sortNodes();
  void prepare();
  void startCursor(QrcMatchVarNode* u, QrcMatchCursor& c) const;
  void resumeCursor(QrcMatchVarNode* u, QrcMatchValueNode* after, QrcMatchCursor& c) const;
  QrcMatchValueNode* nextNode(QrcMatchVarNode* u, QrcMatchCursor& c) const;
  bool isAdjacent(QrcMatchVarNode* u, QrcInt v) const;
  // Records that the pair leaves; applyCuts removes the recorded pairs.
  void removePair(QrcMatchVarNode* u, QrcMatchValueNode* node);
  void applyCuts();
  QrcInt capMin(QrcMatchValueNode* node) const;
  QrcInt capMax(QrcMatchValueNode* node) const;
  void link(QrcMatchVarNode* u, QrcInt v);
  void unlink(QrcMatchVarNode* u);
  void clearVisited();
  bool findValue(QrcMatchSearch& s, QrcMatchVarNode* u);
  bool augment(QrcMatchSearch& s, QrcMatchVarNode* start);
  bool moveAway(QrcInt v);
  bool bringOne(QrcInt v);
  bool repair();
  void restoreSaved();
  void pruneComponents();
  void searchFrom(QrcMatchValueNode* root);
  void enter(QrcMatchValueNode* x);
  void closeComponent(QrcMatchValueNode* c);
  QrcMatchVarNode* nextUnbound(QrcMatchVarNode* u) const;
  // Finds each card's range into _cardLo/_cardHi; applyCards narrows them.
  void boundCards();
  void applyCards();

  QrcManagerI* _manager;
  QrcInt _offset;  // smallest value a node can hold (dense index)
  QrcInt _nVars;
  QrcInt _nValues;
  QrcInt _nCards;
  QrcMatchValueNode* _valueNodes;
  QrcMatchVarNode* _varNodes;
  QrcIntExpI** _cards;
  QrcIntMap* _index;  // listed value -> node
  const QrcInt* _listed;
  QrcInt* _saved;
  QrcInt* _sorted;  // the values of the nodes but the rest node, increasing
  QrcInt* _sortedNodes;
  QrcInt _nSorted;
  QrcInt _nodeCap;  // nodes allocated (all-different grows them in the size pools)
  QrcInt* _dense;   // all-different: node of value - offset, when the span is small
  QrcInt _span;
  QrcMatchSlot* _slots;  // else a hashed index
  QrcInt _slotMask;
  QrcInt _buildStamp;
  QrcMatchSccState _scc;
  QrcMatchSearch _capacity;
  QrcMatchSearch _target;
  QrcInt _bits;
  QrcInt _unitCapacity;
  // All-different: the nodes of each small variable's values, in increasing
  // order, listed as the nodes are built; walked instead of the domains while
  // the propagation that built them runs (values it removes are behind the
  // walks that remove them).
  QrcInt* _adjacency;
  QrcInt _adjacencyCap;
  QrcInt _walkAdjacency;
  // The nodes are laid out one per value of the span (all-different).
  QrcInt _spanLayout;
  // Pairs to remove: (variable index, value) words.
  QrcInt* _cuts;
  QrcInt _nCuts;
  QrcInt _cutCap;
  QrcInt* _cardLo;
  QrcInt* _cardHi;
};

// All-different with domain filtering: every value has capacity [0, 1].
class QrcAllDiffDomainI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcAllDiffDomainI)
  QROSIMPLECLASS(QrcAllDiffDomainI, QrcConstraintI)
 public:
  QrcAllDiffDomainI(QrcManagerI* manager, QrcIntExpI** vars, QrcInt n, QrcInt bits);
  // Fails when a variable occurs twice; attaches a demon to every domain event.
  void post() override;
  void propagate() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  const QrcCardMatchingI* getMatching() const { return &_matching; }

 private:
  QrcInt _n;
  QrcIntExpI** _vars;
  QrcCardMatchingI _matching;
};

// Distribute with domain filtering: cards[i] counts the variables equal to
// values[i]; the matching prunes the variables and narrows the cards.
class QrcDistributeDomainI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcDistributeDomainI)
  QROSIMPLECLASS(QrcDistributeDomainI, QrcConstraintI)
 public:
  QrcDistributeDomainI(const QrcIntVarArray& cards, const QrcIntArray& values,
                       const QrcIntVarArray& vars, QrcInt bits);
  // Builds the matching over the current domains and the listed values.
  void post() override;
  void propagate() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  const QrcCardMatchingI* getMatching() const { return &_matching; }

 private:
  QrcIntVarArray _cards;
  QrcIntArray _values;
  QrcIntVarArray _vars;
  QrcInt _bits;
  QrcCardMatchingI _matching;
};

// The domain all-different over n expressions, on the manager's heap.
QrcConstraintI* QrcMakeAllDiffDomain(QrcManagerI* manager, QrcIntExpI** vars, QrcInt n);

// Whether an expression occurs twice among n (sorted copies in a pooled array).
bool QrcHasRepeatedExpr(QrcManagerI* manager, QrcIntExpI* const* vars, QrcInt n);

#endif
