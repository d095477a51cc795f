#include "qrcintervalgraph.h"

#include <cstring>
#include <ostream>

#include "qrcfilterlevel.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintexp.h"
#include "qrcpairclasses.h"

// ---------------------------------------------------------------- vertices

QrcVertexI::QrcVertexI(QrcManagerI* manager, QroInt number, QroInt room)
    : _manager(manager),
      _number(number),
      _neighbours(manager->getGeneralAllocator()),
      _heads{nullptr, nullptr, nullptr},
      _tails{nullptr, nullptr, nullptr} {
  _neighbours.grow(room);
}

void QrcVertexI::link(QrcNeighborI* entry, QroInt state) {
  void* word = reinterpret_cast<void*>(static_cast<intptr_t>(state));
  if (state >= 0 && state <= 2) {
    reversibleListAppend(_manager, entry, word, &_heads[state], &_tails[state]);
  } else if (entry->value != word) {
    _manager->saveValue(&entry->value);
    entry->value = word;
  }
}

void QrcVertexI::moveTo(QrcNeighborI* entry, QroInt state) {
  QroInt old = entry->getState();
  if (old >= 0 && old <= 2) reversibleListRemove(_manager, entry, &_heads[old], &_tails[old]);
  link(entry, state);
}

// ---------------------------------------------------------------- graph

QrcIntervalGraphI::QrcIntervalGraphI(QrcManagerI* m, QrcIntExpI* containerOrigin,
                                     QroInt containerSize, QroInt capacity)
    : QrcConstraintI(m),
      _level(QrcMediumFilterLevel),
      _pendingEvents(m->getGeneralAllocator()),
      _pendingTop(m, 0),
      _pairHints(m->getGeneralAllocator()),
      _pseudoTried(m->getGeneralAllocator()),
      _trialHints(m->getGeneralAllocator()),
      _bitBlock(nullptr),
      _bitRows(0),
      _bitStride(0),
      _scratchList(nullptr),
      _scratchBits(nullptr),
      _ruleStack(nullptr),
      _maskM(m->getGeneralAllocator()),
      _maskK(m->getGeneralAllocator()),
      _bucketNext(m->getGeneralAllocator()),
      _bucketPrev(m->getGeneralAllocator()),
      _bucketHead(m->getGeneralAllocator()),
      _bucketTail(m->getGeneralAllocator()),
      _searchLabels(m->getGeneralAllocator()),
      _treeWeights(m->getGeneralAllocator()),
      _vertexAtPosition(m->getGeneralAllocator()),
      _positionOfVertex(m->getGeneralAllocator()),
      _maximalCliques(m->getGeneralAllocator()),
      _cliqueCount(0),
      _cliqueMemberLists(m->getGeneralAllocator()),
      _containmentLists(m->getGeneralAllocator()),
      _workSet(nullptr),
      _selectedCount(0),
      _selectedCliques(nullptr),
      _workSet2(nullptr),
      _workSet3(nullptr),
      _pqTree(nullptr),
      _chainNext(m->getGeneralAllocator()),
      _chainLength(m->getGeneralAllocator()),
      _containerOrigin(containerOrigin),
      _sizes(m->getGeneralAllocator()),
      _weights(m->getGeneralAllocator()),
      _origins(m->getGeneralAllocator()),
      _pseudoOrigins(m->getGeneralAllocator()),
      _activities(m->getGeneralAllocator()),
      _containerSize(containerSize),
      _capacity(capacity),
      _adjacency(m->getGeneralAllocator()),
      _edges(m->getGeneralAllocator()),
      _orientations(m->getGeneralAllocator()),
      _pseudoEdges(m->getGeneralAllocator()),
      _pseudoOrientations(m->getGeneralAllocator()),
      _zConstraint(nullptr),
      _vertexCount(m, 0),
      _markStamp(m, 0),
      _classStamp(0),
      _tentativeStamp(0),
      _chainStart(-1),
      _firstPropagation(1),
      _eventCount(0),
      _classes(nullptr),
      _classIndex(true),
      _pseudo(0),
      _cliqueLists(0),
      _pseudoModelled(m->getGeneralAllocator()),
      _cycleDistances(m->getGeneralAllocator()),
      _walkStamp(-1),
      _walkMoves(0),
      _walkLimit(0) {
  _classes = new (m) QrcPairClassesI(m);
  _zConstraint = new (m) QrcZConstraintI(m, this);
  _workSet = new (m) QrcFastListI<QroInt>(m, 20);
  _selectedCliques = new (m) QrcFastListI<QroInt>(m, 20);
  _workSet2 = new (m) QrcFastListI<QroInt>(m, 20);
  _workSet3 = new (m) QrcFastListI<QroInt>(m, 20);
  _pqTree = new (m) QrcPQTreeI(m);
}

QrcIntervalGraphI::~QrcIntervalGraphI() {
  for (QroDoublingArray<VarRow>* a :
       {&_edges, &_orientations, &_pseudoEdges, &_pseudoOrientations}) {
    for (QroInt i = a->getSize(); i-- > 0;) (*a)[i].release();
    a->release();
  }
  for (QroDoublingArray<IntRow>* a : {&_pairHints, &_pseudoTried, &_trialHints}) {
    for (QroInt i = a->getSize(); i-- > 0;) (*a)[i].release();
    a->release();
  }
  for (QroInt i = 0; i < _adjacency.getSize(); ++i) _adjacency[i]->release();
  _adjacency.release();
  _classes->release();
  for (QroDoublingArray<QrcFastListI<QroInt>*>* a : {&_cliqueMemberLists, &_containmentLists}) {
    for (QroInt i = a->getSize(); i-- > 0;) (*a)[i]->release();
    a->release();
  }
  for (QrcFastListI<QroInt>* l : {_workSet, _selectedCliques, _workSet2, _workSet3}) l->release();
  for (QroInt i = 0; i < _pqTree->getNodeCount(); ++i) {
    QrcFastListI<QroInt>* members = _pqTree->getNode(i)->members;
    if (members) members->release();
  }
  _pqTree->release();
  for (IntRow* a : {&_bucketNext, &_bucketPrev, &_bucketHead, &_bucketTail, &_searchLabels,
                    &_treeWeights, &_vertexAtPosition, &_positionOfVertex, &_maximalCliques})
    a->release();
  for (IntRow* a : {&_pendingEvents, &_chainNext, &_chainLength, &_sizes, &_weights, &_maskM,
                    &_maskK, &_pseudoModelled, &_cycleDistances})
    a->release();
  for (QroDoublingArray<QrcIntVar>* a : {&_origins, &_pseudoOrigins, &_activities}) a->release();
}

void QrcIntervalGraphI::display(std::ostream& os) const {
  if (_name)
    os << _name;
  else
    os << "QrcIntervalGraph(" << _vertexCount.getValue() << ")";
}

QrcIntervalGraphI::VarRow& QrcIntervalGraphI::matrixRow(int matrix, QroInt i) {
  switch (matrix) {
    case 0:
      return _edges[i];
    case 1:
      return _orientations[i];
    case 2:
      return _pseudoEdges[i];
    default:
      return _pseudoOrientations[i];
  }
}

QroInt QrcIntervalGraphI::getMatrixSize(int matrix) const {
  switch (matrix) {
    case 0:
      return _edges.getSize();
    case 1:
      return _orientations.getSize();
    case 2:
      return _pseudoEdges.getSize();
    default:
      return _pseudoOrientations.getSize();
  }
}

void QrcIntervalGraphI::addVertex(QrcIntExpI* origin, QroInt size, QroInt weight,
                                  QrcIntExpI* activity) {
  QroInt n = _vertexCount.getValue();
  addNeighborEntries(n);
  addVertexRows(origin, size, weight, activity);
  growPairMatrices(n);
  if (_pseudo) growPseudo(n);
  growCliqueLists(n);
  growStateBits(n);
  _classes->addVertex(n);
  QrcManagerI* m = _manager;
  _markStamp.set(m, n * (n + 1) / 2 + 1);
  for (QroInt k = 0; k < 3 * n; ++k) _pendingEvents.add(0);
  _vertexCount.set(m, n + 1);
}

// Neighbour entries: one for the new vertex in every earlier vertex, and
// n + 1 in the new one (its own entry in no list).
void QrcIntervalGraphI::addNeighborEntries(QroInt n) {
  QrcManagerI* m = _manager;
  QrcVertexI* v = new (m) QrcVertexI(m, n, _adjacency.getCapacity());
  _adjacency.add(v);
  for (QroInt k = 0; k < n; ++k) {
    QrcNeighborI* e = new (m) QrcNeighborI();
    e->vertex = n;
    _adjacency[k]->addNeighbor(e);
    _adjacency[k]->link(e, QrcVertexI::Undecided);
  }
  for (QroInt k = 0; k <= n; ++k) {
    QrcNeighborI* e = new (m) QrcNeighborI();
    e->vertex = k;
    v->addNeighbor(e);
    v->link(e, k < n ? QroInt(QrcVertexI::Undecided) : QroInt(-1));
  }
}

// The per-vertex rows: origin, size, weight, activity and the work rows.
void QrcIntervalGraphI::addVertexRows(QrcIntExpI* origin, QroInt size, QroInt weight,
                                      QrcIntExpI* activity) {
  _origins.add(QrcIntVar(origin));
  _sizes.add(size);
  _weights.add(weight);
  _chainNext.add(0);
  _chainLength.add(0);
  _activities.add(QrcIntVar(activity));
  for (IntRow* a : {&_bucketNext, &_bucketPrev, &_bucketHead, &_bucketTail, &_searchLabels,
                    &_treeWeights, &_vertexAtPosition, &_positionOfVertex})
    a->add(0);

  _maskM.add(0);
  _maskK.add(0);
  _pseudoModelled.add(0);
  _cycleDistances.add(0);
}

// A column for the new vertex in every earlier row of the pair matrices, then
// its own row, sharing the variables of the column.
void QrcIntervalGraphI::growPairMatrices(QroInt n) {
  QrcManagerI* m = _manager;
  for (QroInt j = 0; j < n; ++j) {
    _edges[j].add(QrcIntVar(QrcManager(m), 0, 1));
    _orientations[j].add(QrcIntVar(QrcManager(m), 0, 1));
    _pairHints[j].add(0);
  }
  addOwnRows(n, &_edges, &_orientations, &_pairHints);
}

// Row n of two variable matrices and an integer matrix, sharing column n.
void QrcIntervalGraphI::addOwnRows(QroInt n, QroDoublingArray<VarRow>* a,
                                   QroDoublingArray<VarRow>* b, QroDoublingArray<IntRow>* c) {
  QroGenAlloc* alloc = _manager->getGeneralAllocator();
  for (QroDoublingArray<VarRow>* v : {a, b}) {
    v->add(VarRow(alloc));
    VarRow& row = (*v)[n];
    for (QroInt k = 0; k <= n; ++k) row.add(QrcIntVar());
    for (QroInt j = 0; j < n; ++j) row[j] = (*v)[j][n];
  }
  c->add(IntRow(alloc));
  for (QroInt k = 0; k <= n; ++k) (*c)[n].add(0);
}

// The pseudo placement's origin, pair variables and records of vertex n.
void QrcIntervalGraphI::growPseudo(QroInt n) {
  QrcManagerI* m = _manager;
  QroGenAlloc* alloc = m->getGeneralAllocator();
  _pseudoOrigins.add(QrcIntVar(QrcManager(m), QrcIntMin, QrcIntMax));
  for (QroInt j = 0; j < n; ++j) {
    _pseudoTried[j].add(0);
    _trialHints[j].add(0);
    _pseudoEdges[j].add(QrcIntVar(QrcManager(m), 0, 1));
    _pseudoOrientations[j].add(QrcIntVar(QrcManager(m), 0, 1));
  }
  addOwnRows(n, &_pseudoEdges, &_pseudoOrientations, &_pseudoTried);
  _trialHints.add(IntRow(alloc));
  for (QroInt k = 0; k <= n; ++k) _trialHints[n].add(0);
}

// Room in the bit block for vertex n: a new block of twice the rows, or of
// a word more per row, holding a copy of the rows so far. The old block stays
// as it was, for a backtrack that brings the fields back.
void QrcIntervalGraphI::growStateBits(QroInt n) {
  QroInt words = n / 64 + 1;
  if (n < _bitRows && words <= _bitStride) return;
  QroInt rows = _bitRows > n ? _bitRows : (n < 32 ? 64 : 2 * n);
  QroInt stride = words > _bitStride ? words : _bitStride;
  QroInt total = 4 * rows * stride + rows + stride;
  size_t bytes = sizeof(QroInt) * static_cast<size_t>(total);
  QroInt* block = static_cast<QroInt*>(_manager->allocate(bytes));
  std::memset(block, 0, bytes);
  for (QroInt set = 0; set < 4; ++set)
    for (QroInt x = 0; x < n; ++x)
      std::memcpy(block + (set * rows + x) * stride, stateBits(set, x),
                  sizeof(QroInt) * static_cast<size_t>(_bitStride));
  _manager->saveValues({&_bitBlock, &_bitRows, &_bitStride, &_scratchList, &_scratchBits});
  _bitBlock = block;
  _bitRows = rows;
  _bitStride = stride;
  _scratchList = block + 4 * rows * stride;
  _scratchBits = _scratchList + rows;
}

void QrcIntervalGraphI::setLevel(int level) {
  if (_level != level) {
    _manager->saveValue(&_level);
    _level = level;
  }
  if (level != QrcHighFilterLevel || _pseudo) return;
  _manager->saveValue(&_pseudo);
  _pseudo = 1;
  for (QroInt v = 0; v < _adjacency.getSize(); ++v) growPseudo(v);
}

void QrcIntervalGraphI::growCliqueLists(QroInt n) {
  _maximalCliques.add(0);
  _workSet->add(n);
  _selectedCliques->add(n);
  _workSet2->add(n);
  _workSet3->add(n);
  if (_cliqueLists) addCliqueVertex(n);
}

// The member and containment lists and the two PQ-tree nodes of vertex n.
void QrcIntervalGraphI::addCliqueVertex(QroInt n) {
  QrcManagerI* m = _manager;
  for (QroInt j = 0; j < n; ++j) {
    _cliqueMemberLists[j]->add(n);
    _containmentLists[j]->add(n);
  }
  for (QroDoublingArray<QrcFastListI<QroInt>*>* a : {&_cliqueMemberLists, &_containmentLists}) {
    QrcFastListI<QroInt>* l = new (m) QrcFastListI<QroInt>(m, 20);
    for (QroInt k = 0; k <= n; ++k) l->add(k);
    a->add(l);
  }
  _pqTree->addNodes(n);
}

void QrcIntervalGraphI::keepCliques() {
  if (_cliqueLists) return;
  _manager->saveValue(&_cliqueLists);
  _cliqueLists = 1;
  for (QroInt v = 0; v < _adjacency.getSize(); ++v) addCliqueVertex(v);
}

void QrcIntervalGraphI::addModel(const QrcConstraint& ct) {
  _manager->add(ct.getImpl());
}

// E is 1 exactly when the projections meet; with E = 0, R = 1 exactly when
// j lies before i and R = 0 exactly when i lies before j. Two members of size
// 0 never meet and lie in both orders where they share a coordinate: R then
// only implies its order, and so stays free there.
void QrcIntervalGraphI::addPairModel(const QrcIntVar& E, const QrcIntVar& R, const QrcIntVar& Xj,
                                     QroInt sj, const QrcIntVar& Xi, QroInt si, bool pseudo) {
  if (si + sj == 0) {
    addModel(E == 0);
    addModel((R == 0) || (Xj <= Xi));
    addModel((R == 1) || (Xi <= Xj));
    return;
  }
  QrcManagerI* m = _manager;
  m->add(new (m) QrcIntervalPairI(m, E.getImpl(), R.getImpl(), Xj.getImpl(), sj, Xi.getImpl(), si,
                                  pseudo ? this : nullptr));
}

void QrcIntervalGraphI::postVertex() {
  QroInt i = _vertexCount.getValue() - 1;
  QrcIntVar X = _origins[i], A = _activities[i];
  QroInt s = _sizes[i];
  QrcIntExp O = _containerOrigin;
  bool pseudo = _level == QrcHighFilterLevel;
  QrcIntVar Y = pseudo ? _pseudoOrigins[i] : QrcIntVar();
  addModel((A == 0) || ((O <= X) && (X + s <= O + _containerSize)));
  if (pseudo) {
    addModel((A == 0) || ((0 <= Y) && (Y + s <= _containerSize)));
    _manager->getGeneralAllocator()->saveValue(&_pseudoModelled[i]);
    _pseudoModelled[i] = 1;
  }
  for (QroInt j = 0; j < i; ++j) {
    QrcIntVar Xj = _origins[j], E = _edges[j][i], R = _orientations[j][i];
    QroInt sj = _sizes[j];
    addPairModel(E, R, Xj, sj, X, s, false);
    if (!pseudo) continue;
    QrcIntVar Yj = _pseudoOrigins[j], Ep = _pseudoEdges[j][i], Rp = _pseudoOrientations[j][i];
    _manager->add(new (_manager) QrcLinkConstraintI(_manager, E.getImpl(), Ep.getImpl()));
    addPairModel(Ep, Rp, Yj, sj, Y, s, true);
  }
  if (!isPosted()) return;
  hangVertexDemons(i);
  for (QroInt j = 0; j < i; ++j) hangPairDemons(j, i);
  for (QroInt j = 0; j < i; ++j)
    if (_sizes[i] + _sizes[j] > _containerSize) addLongPair(j, i);
  for (QroInt j = 0; j < i; ++j) {
    if (_edges[j][i].getImpl()->isBound()) edgeChanged(j, i);
    if (_orientations[j][i].getImpl()->isBound()) orientationChanged(j, i);
  }
}

void QrcIntervalGraphI::addLongPair(QroInt j, QroInt i) {
  QrcIntVar Aj = _activities[j], Ai = _activities[i], E = _edges[j][i];
  addModel(((Aj == 0) || (Ai == 0)) || (E == 1));
}

void QrcIntervalGraphI::hangVertexDemons(QroInt i) {
  _activities[i].getImpl()->whenValue(new (_manager)
                                          QrcIntervalGraphPropagateActiveChangeI(this, i));
}

void QrcIntervalGraphI::hangPairDemons(QroInt j, QroInt i) {
  QrcManagerI* m = _manager;
  _edges[j][i].getImpl()->whenValue(new (m) QrcIntervalGraphPropagateEdgeChangeI(this, j, i));
  _orientations[j][i].getImpl()->whenValue(
      new (m) QrcIntervalGraphPropagateOrientationChangeI(this, j, i));
  if (_level == QrcHighFilterLevel)
    _pseudoOrientations[j][i].getImpl()->whenValue(
        new (m) QrcIntervalGraphPropagatePseudoOrientationChangeI(this, j, i));
}

void QrcIntervalGraphI::attachDemons() {
  QroInt n = _vertexCount.getValue();
  for (QroInt i = 0; i < n; ++i) {
    hangVertexDemons(i);
    for (QroInt j = i + 1; j < n; ++j) hangPairDemons(i, j);
  }
}

void QrcIntervalGraphI::post() {
  if (_level == QrcHighFilterLevel) _manager->add(_zConstraint);
  attachDemons();
}

bool QrcIntervalGraphI::setPairState(QroInt a, QroInt b, QroInt value) {
  QrcNeighborI* ea = _adjacency[a]->getNeighbor(b);
  QroInt old = ea->getState();
  if (old == value) return false;
  if (old == DisjointSet || old == OverlapSet) {
    setStateBit(old, a, b, false);
    setStateBit(old, b, a, false);
  }
  if (value == DisjointSet || value == OverlapSet) {
    setStateBit(value, a, b, true);
    setStateBit(value, b, a, true);
  }
  _adjacency[a]->moveTo(ea, value);
  QrcVertexI* vb = _adjacency[b];
  vb->moveTo(vb->getNeighbor(a), value);
  return true;
}

void QrcIntervalGraphI::pushEvent(QroInt a, QroInt b, QroInt kind) {
  QroInt top = _pendingTop.getValue();
  if (top + 3 > _pendingEvents.getSize()) throw IntRow::OutOfBoundOperation();
  // The words below the top may be rewritten inside a nested solve: save them
  // (on the manager's trail, where the general allocator saves them too).
  for (QroInt i = 0; i < 3; ++i) _manager->saveValue(&_pendingEvents[top + i]);
  _pendingEvents[top] = kind;
  _pendingEvents[top + 1] = b;
  _pendingEvents[top + 2] = a;
  _pendingTop.set(_manager, top + 3);
  ++_eventCount;
}

void QrcIntervalGraphI::popEvent(QroInt& a, QroInt& b, QroInt& kind) {
  QroInt top = _pendingTop.getValue();
  a = _pendingEvents[top - 1];
  b = _pendingEvents[top - 2];
  kind = _pendingEvents[top - 3];
  _pendingTop.set(_manager, top - 3);
}

void QrcIntervalGraphI::edgeChanged(QroInt a, QroInt b) {
  QrcIntExpI* e = _edges[a][b].getImpl();
  QroInt v = e->getValue();
  QroInt kind = (v == 0 || v == 1) ? v : -1;
  if (!setPairState(a, b, kind)) return;
  indexPair(a, b, kind);
  pushEvent(a, b, kind);
  push();
}

void QrcIntervalGraphI::firstPass() {
  QroInt n = _vertexCount.getValue();
  for (QroInt i = 0; i < n; ++i)
    for (QroInt j = i + 1; j < n; ++j)
      if (_sizes[i] + _sizes[j] > _containerSize) addLongPair(i, j);
  for (QroInt i = 0; i < n; ++i)
    for (QroInt j = i + 1; j < n; ++j) {
      if (_edges[i][j].getImpl()->isBound()) edgeChanged(i, j);
      if (_orientations[i][j].getImpl()->isBound()) orientationChanged(i, j);
    }
  _manager->saveValue(&_firstPropagation);
  _firstPropagation = 0;
}

void QrcIntervalGraphI::propagate() {
  if (_firstPropagation) firstPass();
  while (_pendingTop.getValue() != 0) {
    QroInt a, b, kind;
    popEvent(a, b, kind);
    dispatch(a, b, kind);
  }
  if (_level == QrcHighFilterLevel) _zConstraint->pushUnlessNested();
}

// ---------------------------------------------------------------- demons

void QrcIntervalGraphPropagateActiveChangeI::propagate() {
  QrcIntExpI* a = _graph->getActivity(_i);
  if (a->getValue() == 1) _graph->activityChanged(_i);
}

void QrcIntervalGraphPropagateActiveChangeI::display(std::ostream& os) const {
  os << "QrcIntervalGraphPropagateActiveChange";
}
void QrcIntervalGraphPropagateEdgeChangeI::display(std::ostream& os) const {
  os << "QrcIntervalGraphPropagateEdgeChange";
}
void QrcIntervalGraphPropagateOrientationChangeI::display(std::ostream& os) const {
  os << "QrcIntervalGraphPropagateOrientationChange";
}
void QrcIntervalGraphPropagatePseudoOrientationChangeI::display(std::ostream& os) const {
  os << "QrcIntervalGraphPropagatePseudoOrientationChange";
}
