// The interval graph of one dimension of a container box. Vertex i stands for
// the projection [X_i, X_i + s_i) of member i; every pair i < j carries an edge
// variable E (the projections intersect) and an orientation variable R (with
// E = 0: 1 when i lies wholly before j, 0 when j lies wholly before i), plus a
// pseudo edge and orientation for the pseudo placement of level 2. Each vertex
// keeps its neighbour entries in three reversible lists by pair state
// (disjoint, overlapping, undecided). Decided pairs go on a reversible stack
// of pending events that the graph's propagate drains through its rules.
#ifndef QRC_INTERVALGRAPH_H
#define QRC_INTERVALGRAPH_H

#include <cstdint>
#include <iosfwd>

#include "qrcconstraint.h"
#include "qrcfastlist.h"
#include "qrcint.h"
#include "qrcpqtree.h"
#include "qrcrevlist.h"
#include "qrodoublingarray.h"

class QrcZConstraintI;
class QrcPairClassesI;

// A neighbour entry: a reversible list node whose value word is the state of
// the pair (0 disjoint, 1 overlapping, 2 undecided, -1 in no list).
struct QrcNeighborI : QrcRevListNode {
  QroInt vertex;
  QroInt getState() const { return static_cast<QroInt>(reinterpret_cast<intptr_t>(value)); }
  QrcNeighborI* getNext() const { return static_cast<QrcNeighborI*>(next); }
  // An entry kept in a word of a rule stack frame.
  static QroInt toWord(QrcNeighborI* e) {
    return static_cast<QroInt>(reinterpret_cast<intptr_t>(e));
  }
  static QrcNeighborI* fromWord(QroInt w) {
    return reinterpret_cast<QrcNeighborI*>(static_cast<intptr_t>(w));
  }
};

class QrcVertexI {
 public:
  enum ListKind { Disjoint = 0, Overlap = 1, Undecided = 2 };
  QrcVertexI(QrcManagerI* manager, QroInt number, QroInt room);

  QroInt getNumber() const { return _number; }
  QrcNeighborI* getNeighbor(QroInt other) { return _neighbours[other]; }
  QroInt getNeighborCount() const { return _neighbours.getSize(); }
  // First entry of one of the three lists.
  QrcNeighborI* first(QroInt kind) const { return static_cast<QrcNeighborI*>(_heads[kind]); }
  void addNeighbor(QrcNeighborI* entry) { _neighbours.add(entry); }
  // Moves an entry to the list of a state (any state outside 0..2: no list).
  void moveTo(QrcNeighborI* entry, QroInt state);
  void link(QrcNeighborI* entry, QroInt state);
  void release() { _neighbours.release(); }

 private:
  QrcManagerI* _manager;
  QroInt _number;
  QroDoublingArray<QrcNeighborI*> _neighbours;
  QrcRevListNode* _heads[3];
  QrcRevListNode* _tails[3];
};

class QrcIntervalGraphI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcIntervalGraphI)
  QROSIMPLECLASS(QrcIntervalGraphI, QrcConstraintI)
 public:
  typedef QroDoublingArray<QrcIntVar> VarRow;
  typedef QroDoublingArray<QroInt> IntRow;

  QrcIntervalGraphI(QrcManagerI* manager, QrcIntExpI* containerOrigin, QroInt containerSize,
                    QroInt capacity);
  ~QrcIntervalGraphI() override;
  void propagate() override;
  void post() override;
  void display(std::ostream& os) const override;

  // Registration of a member: its vertex, then its arithmetic model.
  void addVertex(QrcIntExpI* origin, QroInt size, QroInt weight, QrcIntExpI* activity);
  void postVertex();
  void attachDemons();

  int getLevel() const { return static_cast<int>(_level); }
  // Level 2 makes the pseudo placement's variables of the vertices present
  // and of every later vertex. The level is saved on the trail with them.
  void setLevel(int level);
  QroInt getVertexCount() const { return _vertexCount.getValue(); }
  QrcVertexI* getVertex(QroInt i) { return _adjacency[i]; }
  QrcIntExpI* getEdge(QroInt i, QroInt j) { return _edges[i][j].getImpl(); }
  QrcIntExpI* getOrientation(QroInt i, QroInt j) { return _orientations[i][j].getImpl(); }
  QrcIntExpI* getPseudoEdge(QroInt i, QroInt j) { return _pseudoEdges[i][j].getImpl(); }
  QrcIntExpI* getPseudoOrientation(QroInt i, QroInt j) {
    return _pseudoOrientations[i][j].getImpl();
  }
  QrcIntExpI* getOrigin(QroInt i) { return _origins[i].getImpl(); }
  QrcIntExpI* getPseudoOrigin(QroInt i) { return _pseudoOrigins[i].getImpl(); }
  QrcIntExpI* getActivity(QroInt i) { return _activities[i].getImpl(); }
  QroInt getSize(QroInt i) { return _sizes[i]; }
  QroInt getWeight(QroInt i) { return _weights[i]; }
  QroInt getContainerSize() const { return _containerSize; }
  QroInt getCapacity() const { return _capacity; }
  QroInt getMarkStamp() const { return _markStamp.getValue(); }
  QrcZConstraintI* getZConstraint() const { return _zConstraint; }
  // Each of the four pair matrices, by number (edges, orientations, pseudo ones).
  VarRow& matrixRow(int matrix, QroInt i);
  QroInt getMatrixSize(int matrix) const;

  // State of the pair (x, y) as x's entry for y records it.
  QroInt state(QroInt x, QroInt y) { return _adjacency[x]->getNeighbor(y)->getState(); }
  // Bit sets per vertex x, kept with the pair lists and the orientation
  // demons: the vertices whose pair with x is disjoint (0) or overlapping
  // (1), and those whose orientation with x is bound so that they lie before
  // x (2) or after it (3); bitWords() words per row. A pair's orientation is
  // in the last two once its demon has run, so a set bit is always true.
  enum BitSet { DisjointSet = 0, OverlapSet = 1, BeforeSet = 2, AfterSet = 3 };
  const QroInt* stateBits(QroInt set, QroInt x) const {
    return _bitBlock + (set * _bitRows + x) * _bitStride;
  }
  QroInt bitWords() const { return (_vertexCount.getValue() + 63) >> 6; }
  static bool hasBit(const QroInt* row, QroInt k) {
    return ((static_cast<uint64_t>(row[k >> 6]) >> (k & 63)) & 1) != 0;
  }
  // Puts both entries of the pair in the list of the value; false when
  // they already were there.
  bool setPairState(QroInt a, QroInt b, QroInt value);
  void pushEvent(QroInt a, QroInt b, QroInt kind);
  void popEvent(QroInt& a, QroInt& b, QroInt& kind);
  QroInt getPendingTop() const { return _pendingTop.getValue(); }
  QroInt getPendingStorage() const { return _pendingEvents.getSize(); }
  // Events pushed since the graph was made (not restored by backtracking).
  QroInt getEventCount() const { return _eventCount; }
  // What the edge demon does for a bound E(a, b).
  void edgeChanged(QroInt a, QroInt b);
  // Whether x lies before y in the reference orientation of the class of
  // the disjoint pair (x, y); the witness votes of the undecided pair (p, q)
  // for p before q (pFirst) or q before p.
  bool referenceBefore(QroInt x, QroInt y) const {
    QroInt root;
    return refBefore(x, y, root);
  }
  QroInt witnessVotes(QroInt p, QroInt q, bool pFirst) const;
  // Off: the class rules explore every class at every event, without
  // consulting the implication classes kept along the branch (on by default).
  void setClassIndex(bool on) { _classIndex = on; }

  // Rule entries of the demons.
  void activityChanged(QroInt i);
  void orientationChanged(QroInt a, QroInt b);
  void pseudoOrientationChanged(QroInt a, QroInt b);

  // The rules run for a decided pair (all may fail the branch).
  void chordRulesOverlap(QroInt a, QroInt b);
  void chordRulesDisjoint(QroInt a, QroInt b);
  void classRulesOverlap(QroInt a, QroInt b);
  void classRulesDisjoint(QroInt a, QroInt b);
  void orientClass(QroInt x, QroInt y);
  void orientationRulesOverlap(QroInt a, QroInt b);
  void orientationRulesDisjoint(QroInt a, QroInt b);
  void pushOrientation(QroInt a, QroInt b);
  void pullOrientation(QroInt a, QroInt b);
  void pushPseudoOrientation(QroInt a, QroInt b);
  void lengthRules(QroInt a, QroInt b);
  // Length-rule helpers over the mask of the current run.
  bool orientDisjointness();
  bool orientClassRestricted(QroInt x, QroInt y);
  bool heaviestChain();
  void heaviestChainFrom(QroInt v);
  bool greedyDisjointSet();
  QroInt getChainStart() const { return _chainStart; }
  QroInt getChainNext(QroInt v) { return _chainNext[v]; }
  QroInt getChainLength(QroInt v) { return _chainLength[v]; }
  QroInt& mask(QroInt v) { return _maskM[v]; }

  // Maximal cliques of the decided overlaps and the PQ-tree of the selected
  // ones (sets are fast lists whose members are the cells that are out).
  // The member and containment lists and the PQ-tree nodes, made for every
  // vertex at the first call (the clique constraint's), then kept up.
  void keepCliques();
  void computeOrder();
  void computeCliques();
  QroInt getCliqueCount() const { return _cliqueCount; }
  QrcFastListI<QroInt>* clique(QroInt k) { return _cliqueMemberLists[_maximalCliques[k]]; }
  QroInt getPosition(QroInt v) { return _positionOfVertex[v]; }
  // A clique's weight summed without overflow (a compiler extension, marked
  // so for pedantic users of the header).
  __extension__ __int128 cliqueWeight(QroInt k);
  QroInt heaviestCliqueOutside(const QrcFastListI<QroInt>* excluded);
  bool isExcludedFrom(QroInt v, QroInt k);
  bool disjointFromAll(QroInt v, QroInt k);
  void selectCliques();
  QrcFastListI<QroInt>* getSelectedCliques() const { return _selectedCliques; }
  QroInt getSelectedCount() const { return _selectedCount; }
  bool buildPQTree();
  QrcPQTreeI* getPQTree() const { return _pqTree; }
  void computeMembers(QrcPQNodeI* node);
  // Capacity of every clique of active members; the clique-order rules.
  void capacityCheck();
  void cliqueOrderRules();
  QroInt minMember(QrcPQNodeI* node);
  QroInt childValue(QrcPQNodeI* node);
  QroInt minGap(QrcPQNodeI* node);
  QroInt& treeWeight(QroInt v) { return _treeWeights[v]; }

  // Marks of the rules, and the pseudo placement's records.
  QroInt& mark(QroInt x, QroInt y) { return _pairHints[x][y]; }
  void resetMarks();
  QroInt& pseudoTried(QroInt x, QroInt y) { return _pseudoTried[x][y]; }
  QroInt& trialHint(QroInt x, QroInt y) { return _trialHints[x][y]; }
  // Edge hints of the pseudo placement for the pairs whose real edge differs.
  void recordHints();
  // Told by the pseudo pair models each time they move a pseudo origin. Past
  // a number of moves in one propagation, which doubles at each check that
  // passes, fails when the decided pseudo pairs admit no placement: bounds
  // propagation would otherwise walk the origins apart one step per round.
  void pseudoOriginsMoved();

 private:
  // The parts of addVertex for vertex n.
  void addNeighborEntries(QroInt n);
  void addVertexRows(QrcIntExpI* origin, QroInt size, QroInt weight, QrcIntExpI* activity);
  void growPairMatrices(QroInt n);
  void growCliqueLists(QroInt n);
  void growStateBits(QroInt n);
  void setStateBit(QroInt set, QroInt x, QroInt y, bool on) {
    QroInt& word = _bitBlock[(set * _bitRows + x) * _bitStride + (y >> 6)];
    uint64_t bit = uint64_t(1) << (y & 63), w = static_cast<uint64_t>(word);
    uint64_t now = on ? (w | bit) : (w & ~bit);
    if (now == w) return;
    _manager->saveValue(&word);
    word = static_cast<QroInt>(now);
  }
  void addOwnRows(QroInt n, QroDoublingArray<VarRow>* a, QroDoublingArray<VarRow>* b,
                  QroDoublingArray<IntRow>* c);
  void growPseudo(QroInt n);
  // Whether the pseudo pairs' bound edges and orientations, read as
  // difference constraints between the pseudo origins, hold a cycle of
  // negative weight or a path that no origins within the integer range meet.
  bool pseudoOrdersUnmeetable();
  // The pseudo pair j < i as Y_j <= Y_i + toJ and Y_i <= Y_j + toI (weights
  // clamped to one past the span of the integer range; NoWeight: none).
  void pseudoPairWeights(QroInt j, QroInt i, QroInt& toJ, QroInt& toI);
  void addCliqueVertex(QroInt n);
  void bindClassDisjoint(QroInt x, QroInt y, QroInt s);
  void bindClassOverlap(QroInt x, QroInt y, QroInt t);
  void firstPass();
  void addLongPair(QroInt j, QroInt i);
  void hangVertexDemons(QroInt i);
  void hangPairDemons(QroInt j, QroInt i);
  void dispatch(QroInt a, QroInt b, QroInt kind);
  void chordRules(QroInt a, QroInt b, QroInt kind);
  void chordCommon(QroInt a, QroInt b, QroInt kind);
  void chordEnds(QroInt x, QroInt y, QroInt kind);
  bool chordCommonActs(QroInt a, QroInt b, QroInt kind);
  bool chordEndsAct(QroInt x, QroInt y, QroInt kind);
  static bool pairsOpen(const QroInt* ds, const QroInt* done, QroInt words, QroInt c, QroInt kind);
  // Gathers into the chord scratch, in y's overlap list order, each e != x
  // whose bit in the row given is set (in) or clear (!in); gives their count.
  QroInt gatherOverlaps(QroInt y, QroInt x, const QroInt* row, bool in);
  // The implication classes kept along the branch.
  bool refBefore(QroInt x, QroInt y, QroInt& root) const;
  void indexPair(QroInt a, QroInt b, QroInt kind);
  void uniteArcs(QroInt x1, QroInt y1, QroInt x2, QroInt y2);
  bool arcHasWitness(QroInt u, QroInt v, QroInt root);
  bool opposes(QroInt p, QroInt q, bool d, QroInt root);
  void countVote(QroInt p, QroInt q, bool pFirst, bool flipped);
  void countVotesOf(QroInt x, QroInt q, bool flipped);
  void countOverlapVotes(QroInt x, QroInt y);
  bool meet(QroInt s, QroInt x, QroInt t, QroInt y);
  bool classMayAct(QroInt x, QroInt y);
  void classExplored(QroInt x, QroInt y);
  // Whether one class of the start pairs of classRulesOverlap may act; with
  // done, marks them all explored instead.
  bool startPairsMayAct(QroInt a, QroInt b, bool done);
  // Marks (x, y) with the class stamp and pushes its frame: x, y, the step,
  // and the first entry of x's list of that kind. Gives the new top.
  QroInt pushClassFrame(QroInt sp, QroInt x, QroInt y, QroInt s, QroInt step, QroInt list);
  void addModel(const QrcConstraint& ct);
  // Ties edge E and orientation R of the pair j < i to the coordinates (of
  // the pseudo placement when pseudo).
  void addPairModel(const QrcIntVar& E, const QrcIntVar& R, const QrcIntVar& Xj, QroInt sj,
                    const QrcIntVar& Xi, QroInt si, bool pseudo);
  // Orientation helpers over the real (pseudo false) or pseudo variables.
  QrcIntExpI* orientVar(QroInt x, QroInt y, bool pseudo) {
    return (pseudo ? _pseudoOrientations : _orientations)[x][y].getImpl();
  }
  QrcIntExpI* edgeVar(QroInt x, QroInt y, bool pseudo) {
    return (pseudo ? _pseudoEdges : _edges)[x][y].getImpl();
  }
  bool dir(QroInt x, QroInt y, bool pseudo);
  void makeDir(QroInt x, QroInt y, bool v, bool pseudo);
  void enforce(QroInt x, QroInt y, bool v, bool pseudo);
  void pushOrientationPasses(QroInt a, QroInt b, bool pseudo);
  void pushOrientationTo(QroInt a, QroInt b, QroInt c, bool fromA, bool pseudo);
  void pushOrientationOn(QroInt a, QroInt b, QroInt c, bool pseudo);
  void pushRealOrientation(QroInt a, QroInt b);
  bool bindingsDeferred() const;
  bool overlapPassOpen(QroInt a, QroInt b, int pass);
  void lockRuleStack();
  void unlockRuleStack();
  QroInt lengthOfWalk(QroInt i, QroInt b);

  QroInt _level;
  IntRow _pendingEvents;
  QrcRevWord _pendingTop;
  QroDoublingArray<IntRow> _pairHints;
  QroDoublingArray<IntRow> _pseudoTried;
  QroDoublingArray<IntRow> _trialHints;
  // The bit sets: row x of set s at (s * _bitRows + x) * _bitStride words
  // into one block of the manager's heap, made anew (and the fields saved on
  // the trail) when the vertices outgrow it.
  QroInt* _bitBlock;
  QroInt _bitRows;
  QroInt _bitStride;
  // Scratch of the rules, in the same block: vertices in list order
  // (_bitRows words), and a set of them (_bitStride words).
  QroInt* _scratchList;
  QroInt* _scratchBits;
  // Frames of the explorations, in an array of the manager's pool locked
  // for one rule run (a failure unlocks it with the rest of the branch).
  QroInt* _ruleStack;
  IntRow _maskM;
  IntRow _maskK;
  IntRow _bucketNext;
  IntRow _bucketPrev;
  IntRow _bucketHead;
  IntRow _bucketTail;
  IntRow _searchLabels;
  IntRow _treeWeights;
  IntRow _vertexAtPosition;
  IntRow _positionOfVertex;
  IntRow _maximalCliques;
  QroInt _cliqueCount;
  QroDoublingArray<QrcFastListI<QroInt>*> _cliqueMemberLists;
  QroDoublingArray<QrcFastListI<QroInt>*> _containmentLists;
  QrcFastListI<QroInt>* _workSet;
  QroInt _selectedCount;
  QrcFastListI<QroInt>* _selectedCliques;
  QrcFastListI<QroInt>* _workSet2;
  QrcFastListI<QroInt>* _workSet3;
  QrcPQTreeI* _pqTree;
  IntRow _chainNext;
  IntRow _chainLength;
  QrcIntVar _containerOrigin;
  IntRow _sizes;
  IntRow _weights;
  QroDoublingArray<QrcIntVar> _origins;
  QroDoublingArray<QrcIntVar> _pseudoOrigins;
  QroDoublingArray<QrcIntVar> _activities;
  QroInt _containerSize;
  QroInt _capacity;
  QroDoublingArray<QrcVertexI*> _adjacency;
  QroDoublingArray<VarRow> _edges;
  QroDoublingArray<VarRow> _orientations;
  QroDoublingArray<VarRow> _pseudoEdges;
  QroDoublingArray<VarRow> _pseudoOrientations;
  QrcZConstraintI* _zConstraint;
  QrcRevWord _vertexCount;
  QrcRevWord _markStamp;
  QroInt _classStamp;
  QroInt _tentativeStamp;
  QroInt _chainStart;
  QroInt _firstPropagation;
  QroInt _eventCount;
  QrcPairClassesI* _classes;
  bool _classIndex;
  QroInt _pseudo;
  QroInt _cliqueLists;
  // Per vertex i, 1 when its pseudo pair models with every j < i are posted;
  // then the distances of the cycle check.
  IntRow _pseudoModelled;
  IntRow _cycleDistances;
  // The propagation stamp, moves and check threshold of pseudoOriginsMoved.
  QrcInt _walkStamp;
  QroInt _walkMoves;
  QroInt _walkLimit;
};

// Demons of the graph, one per activity, edge, orientation and pseudo orientation.
class QrcIntervalGraphPropagateActiveChangeI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcIntervalGraphPropagateActiveChangeI)
  QROSIMPLECLASS(QrcIntervalGraphPropagateActiveChangeI, QrcDemonI)
 public:
  QrcIntervalGraphPropagateActiveChangeI(QrcIntervalGraphI* g, QroInt i)
      : QrcDemonI(g->getManager(), g), _graph(g), _i(i) {
    setState(Idle);  // never posted: its first wake needs no trailed freshness
  }
  void propagate() override;
  void display(std::ostream& os) const override;

 private:
  QrcIntervalGraphI* _graph;
  QroInt _i;
};

class QrcIntervalGraphPropagateEdgeChangeI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcIntervalGraphPropagateEdgeChangeI)
  QROSIMPLECLASS(QrcIntervalGraphPropagateEdgeChangeI, QrcDemonI)
 public:
  QrcIntervalGraphPropagateEdgeChangeI(QrcIntervalGraphI* g, QroInt a, QroInt b)
      : QrcDemonI(g->getManager(), g), _graph(g), _a(a), _b(b) {
    setState(Idle);  // never posted: its first wake needs no trailed freshness
  }
  void propagate() override { _graph->edgeChanged(_a, _b); }
  void display(std::ostream& os) const override;

 private:
  QrcIntervalGraphI* _graph;
  QroInt _a, _b;
};

class QrcIntervalGraphPropagateOrientationChangeI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcIntervalGraphPropagateOrientationChangeI)
  QROSIMPLECLASS(QrcIntervalGraphPropagateOrientationChangeI, QrcDemonI)
 public:
  QrcIntervalGraphPropagateOrientationChangeI(QrcIntervalGraphI* g, QroInt a, QroInt b)
      : QrcDemonI(g->getManager(), g), _graph(g), _a(a), _b(b) {
    setState(Idle);  // never posted: its first wake needs no trailed freshness
  }
  void propagate() override { _graph->orientationChanged(_a, _b); }
  void display(std::ostream& os) const override;

 private:
  QrcIntervalGraphI* _graph;
  QroInt _a, _b;
};

class QrcIntervalGraphPropagatePseudoOrientationChangeI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcIntervalGraphPropagatePseudoOrientationChangeI)
  QROSIMPLECLASS(QrcIntervalGraphPropagatePseudoOrientationChangeI, QrcDemonI)
 public:
  QrcIntervalGraphPropagatePseudoOrientationChangeI(QrcIntervalGraphI* g, QroInt a, QroInt b)
      : QrcDemonI(g->getManager(), g), _graph(g), _a(a), _b(b) {
    setState(Idle);  // never posted: its first wake needs no trailed freshness
  }
  void propagate() override { _graph->pseudoOrientationChanged(_a, _b); }
  void display(std::ostream& os) const override;

 private:
  QrcIntervalGraphI* _graph;
  QroInt _a, _b;
};

// The arithmetic model of one pair j < i of a dimension: E = 1 exactly when
// the projections meet (P: X_j < X_i + s_i, and Q: X_i < X_j + s_j); with
// E = 0, R = 1 exactly when j lies before i (not Q) and R = 0 exactly when i
// lies before j (not P). Propagates as the three reified comparisons
// E == (P && Q), ((E == 0) && (R == 1)) == !Q, ((E == 0) && (R == 0)) == !P
// would, to the same fixpoint, without their expression nodes.
class QrcIntervalPairI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcIntervalPairI)
  QROSIMPLECLASS(QrcIntervalPairI, QrcConstraintI)
 public:
  // A pair of the pseudo placement names its graph, told of its moves.
  QrcIntervalPairI(QrcManagerI* m, QrcIntExpI* e, QrcIntExpI* r, QrcIntExpI* xj, QroInt sj,
                   QrcIntExpI* xi, QroInt si, QrcIntervalGraphI* pseudoOf = nullptr)
      : QrcConstraintI(m), _e(e), _r(r), _xj(xj), _xi(xi), _sj(sj), _si(si), _pseudoOf(pseudoOf) {}
  void propagate() override;
  void post() override;
  void display(std::ostream& os) const override;

 private:
  // 1 when the comparison holds for every value, 0 when for none, else -1.
  int truthP() const;
  int truthQ() const;
  // Narrows the origins so that P (or Q) holds when v is 1, fails when v is 0.
  void enforceP(bool v);
  void enforceQ(bool v);
  // One pass of the rules; whether it changed a domain.
  bool pass();

  QrcIntExpI* _e;
  QrcIntExpI* _r;
  QrcIntExpI* _xj;
  QrcIntExpI* _xi;
  QroInt _sj;
  QroInt _si;
  QrcIntervalGraphI* _pseudoOf;
};

// ---------------------------------------------------------------- pseudo placement

// Binds the target to the source's value once the source is bound.
class QrcLinkConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcLinkConstraintI)
  QROSIMPLECLASS(QrcLinkConstraintI, QrcConstraintI)
 public:
  QrcLinkConstraintI(QrcManagerI* m, QrcIntExpI* source, QrcIntExpI* target)
      : QrcConstraintI(m), _source(source), _target(target) {}
  void propagate() override {
    if (_source->isBound()) _target->setValue(_source->getValue());
  }
  void post() override { _source->whenValue(this); }

 private:
  QrcIntExpI* _source;
  QrcIntExpI* _target;
};

// For every disjoint pair whose real order is open, tries the pseudo order 1
// in a nested solve, records the pseudo edges that the trial fixes and binds
// the real edges to them at the end of the pass; a failed trial fails.
class QrcZConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcZConstraintI)
  QROSIMPLECLASS(QrcZConstraintI, QrcConstraintI)
 public:
  QrcZConstraintI(QrcManagerI* m, QrcIntervalGraphI* graph)
      : QrcConstraintI(m), _graph(graph), _trials(0) {}
  ~QrcZConstraintI() override {}
  void propagate() override;
  void post() override {}
  void display(std::ostream& os) const override;
  QrcIntervalGraphI* getGraph() const { return _graph; }
  // Trials run since the constraint was made (not restored by backtracking).
  QroInt getTrialCount() const { return _trials; }

 private:
  QrcIntervalGraphI* _graph;
  QroInt _trials;
};

// Capacity check of the maximal cliques of one dimension, and at mode 2 the
// clique-order rules over the PQ-tree.
class QrcOverlapCliqueConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcOverlapCliqueConstraintI)
  QROSIMPLECLASS(QrcOverlapCliqueConstraintI, QrcConstraintI)
 public:
  QrcOverlapCliqueConstraintI(QrcManagerI* m, QrcIntervalGraphI* graph, QroInt mode)
      : QrcConstraintI(m), _graph(graph), _mode(mode), _runs(0) {
    graph->keepCliques();
  }
  void propagate() override;
  void post() override {}
  void display(std::ostream& os) const override;
  QroInt getMode() const { return _mode; }
  void setMode(QroInt mode);
  QrcIntervalGraphI* getGraph() const { return _graph; }
  // Propagations since the constraint was made (not restored by backtracking).
  QroInt getRunCount() const { return _runs; }

 private:
  QrcIntervalGraphI* _graph;
  QroInt _mode;
  QroInt _runs;
};

// One trial: binds a pseudo orientation to 1, then records the hints.
class QrcTryOrientationI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcTryOrientationI)
  QROSIMPLECLASS(QrcTryOrientationI, QrcGoalI)
 public:
  QrcTryOrientationI(QrcManagerI* m, QrcIntExpI* orientation, QrcZConstraintI* owner)
      : QrcGoalI(m), _orientation(orientation), _owner(owner) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcIntExpI* _orientation;
  QrcZConstraintI* _owner;
};

#endif
