// Maximal cliques of the decided overlaps of one dimension (maximum
// cardinality search, then cliques through containment lists), a mutually
// exclusive selection of heavy cliques, their PQ-tree, and the two checks of
// the clique constraint: capacity, and minimum gaps from the clique order.
// Sets are fast lists whose members are the cells that are out. Code here
// can fail: no locals with destructors.
#include <ostream>

#include "qrcintervalgraph.h"

namespace {

const QroInt Cap = INT64_MAX;

inline bool active(QrcIntExpI* a) {
  return a->getMin() == 1;
}

}  // namespace

// ---------------------------------------------------------------- numbering

void QrcIntervalGraphI::computeOrder() {
  QroInt n = _vertexCount.getValue();
  for (QroInt v = 0; v < n; ++v) _bucketHead[v] = _bucketTail[v] = -1;
  // Bucket lists of vertices linked through _bucketNext / _bucketPrev.
  auto unlinkNode = [&](QroInt v, QroInt b) {
    QroInt p = _bucketPrev[v], q = _bucketNext[v];
    if (p >= 0)
      _bucketNext[p] = q;
    else
      _bucketHead[b] = q;
    if (q >= 0)
      _bucketPrev[q] = p;
    else
      _bucketTail[b] = p;
  };
  auto appendNode = [&](QroInt v, QroInt b) {
    _bucketNext[v] = -1;
    _bucketPrev[v] = _bucketTail[b];
    if (_bucketTail[b] >= 0)
      _bucketNext[_bucketTail[b]] = v;
    else
      _bucketHead[b] = v;
    _bucketTail[b] = v;
  };
  for (QroInt v = 0; v < n; ++v) {
    _searchLabels[v] = 0;
    appendNode(v, 0);
  }
  QroInt j = 0;
  for (QroInt p = n - 1; p >= 0; --p) {
    QroInt v = _bucketHead[j];
    unlinkNode(v, j);
    _positionOfVertex[v] = p;
    _vertexAtPosition[p] = v;
    _searchLabels[v] = -1;
    for (QrcNeighborI* e = _adjacency[v]->first(QrcVertexI::Overlap); e; e = e->getNext()) {
      QroInt u = e->vertex, l = _searchLabels[u];
      if (l < 0) continue;
      unlinkNode(u, l);
      appendNode(u, l + 1);
      _searchLabels[u] = l + 1;
    }
    if (j < n - 1) ++j;
    while (j >= 0 && _bucketHead[j] < 0) --j;
  }
}

void QrcIntervalGraphI::computeCliques() {
  keepCliques();
  QroInt n = _vertexCount.getValue();
  for (QroInt p = 0; p < n; ++p) {
    _cliqueMemberLists[p]->reset();
    _containmentLists[p]->reset();
  }
  for (QroInt p = 0; p < n; ++p) {
    QroInt v = _vertexAtPosition[p];
    _cliqueMemberLists[p]->remove(v);
    _workSet->reset();
    QrcVertexI* vx = _adjacency[v];
    for (QroInt q = 0; q < p; ++q) {
      QrcFastListI<QroInt>* cq = _cliqueMemberLists[q];
      bool all = true;
      for (QrcFastEltI<QroInt>* e = cq->firstOut(); e && all; e = e->next)
        all = e->value != v && vx->getNeighbor(e->value)->getState() == 1;
      if (!all) continue;
      cq->remove(v);
      _workSet->remove(q);
      _containmentLists[p]->remove(q);
    }
    for (QrcFastEltI<QroInt>* eq = _workSet->firstOut(); eq; eq = eq->next) {
      QrcFastListI<QroInt>* cl = _containmentLists[eq->value];
      for (QrcFastEltI<QroInt>* er = cl->firstOut(); er;) {
        QrcFastEltI<QroInt>* next = er->next;
        if (!_workSet->isOut(er->value)) cl->restoreCell(er);
        er = next;
      }
    }
  }
  _cliqueCount = 0;
  for (QroInt p = 0; p < n; ++p)
    if (_containmentLists[p]->getOutCount() == 0) _maximalCliques[_cliqueCount++] = p;
}

// ---------------------------------------------------------------- selection

__int128 QrcIntervalGraphI::cliqueWeight(QroInt k) {
  __int128 w = 0;
  for (QrcFastEltI<QroInt>* e = clique(k)->firstOut(); e; e = e->next) w += _weights[e->value];
  return w;
}

QroInt QrcIntervalGraphI::heaviestCliqueOutside(const QrcFastListI<QroInt>* excluded) {
  QroInt best = -1;
  __int128 bestWeight = 0;
  for (QroInt k = 0; k < _cliqueCount; ++k) {
    if (excluded->isOut(k)) continue;
    __int128 w = cliqueWeight(k);
    if (best < 0 || w > bestWeight) {
      best = k;
      bestWeight = w;
    }
  }
  return best;
}

bool QrcIntervalGraphI::isExcludedFrom(QroInt v, QroInt k) {
  QrcFastListI<QroInt>* c = clique(k);
  if (c->isOut(v)) return true;
  // The weight test binds only placed members: an optional one may be left out.
  if (_capacity != Cap && active(_activities[v].getImpl())) {
    bool allActive = true;
    for (QrcFastEltI<QroInt>* e = c->firstOut(); e && allActive; e = e->next)
      allActive = active(_activities[e->value].getImpl());
    if (allActive && cliqueWeight(k) + _weights[v] > _capacity) return true;
  }
  for (QrcNeighborI* e = _adjacency[v]->first(QrcVertexI::Disjoint); e; e = e->getNext())
    if (c->isOut(e->vertex)) return true;
  return false;
}

bool QrcIntervalGraphI::disjointFromAll(QroInt v, QroInt k) {
  QrcFastListI<QroInt>* c = clique(k);
  if (c->isOut(v)) return false;
  QrcVertexI* vx = _adjacency[v];
  for (QrcFastEltI<QroInt>* e = c->firstOut(); e; e = e->next)
    if (vx->getNeighbor(e->value)->getState() != 0) return false;
  return true;
}

void QrcIntervalGraphI::selectCliques() {
  _workSet->reset();
  _selectedCliques->reset();
  _selectedCount = 0;
  for (QroInt k = heaviestCliqueOutside(_workSet); k >= 0; k = heaviestCliqueOutside(_workSet))
    _workSet->remove(k);
  for (QrcFastEltI<QroInt>* ek = _workSet->firstOut(); ek; ek = ek->next) {
    QroInt k = ek->value;
    bool exclusive = true;
    for (QrcFastEltI<QroInt>* em = _selectedCliques->firstOut(); em && exclusive; em = em->next) {
      QroInt m = em->value;
      for (QrcFastEltI<QroInt>* u = clique(k)->firstOut(); u && exclusive; u = u->next)
        exclusive = isExcludedFrom(u->value, m);
      for (QrcFastEltI<QroInt>* w = clique(m)->firstOut(); w && exclusive; w = w->next)
        exclusive = isExcludedFrom(w->value, k);
    }
    if (!exclusive) continue;
    _selectedCliques->remove(k);
    ++_selectedCount;
  }
}

// ---------------------------------------------------------------- tree

bool QrcIntervalGraphI::buildPQTree() {
  keepCliques();
  QroInt n = _vertexCount.getValue();
  QrcPQTreeI* t = _pqTree;
  t->clear();
  if (n == 0 || _selectedCount == 0) return true;
  if (_selectedCount == 1) {
    QroInt k = _selectedCliques->firstOut()->value;
    QrcPQNodeI* leaf = t->take(k);
    leaf->kind = QrcPQNodeI::Leaf;
    leaf->value = k;
    t->setRoot(leaf);
    return true;
  }
  QrcPQNodeI* root = t->take(n);
  t->setRoot(root);
  for (QrcFastEltI<QroInt>* e = _selectedCliques->firstOut(); e; e = e->next) {
    QrcPQNodeI* leaf = t->take(e->value);
    leaf->kind = QrcPQNodeI::Leaf;
    leaf->value = e->value;
    root->append(leaf);
  }
  for (QroInt v = 0; v < n; ++v) {
    _workSet2->reset();
    for (QrcFastEltI<QroInt>* e = _selectedCliques->firstOut(); e; e = e->next)
      if (clique(e->value)->isOut(v)) _workSet2->remove(e->value);
    if (_workSet2->getOutCount() > 1 && !t->reduce(t->getRoot(), *_workSet2)) return false;
  }
  return true;
}

void QrcIntervalGraphI::computeMembers(QrcPQNodeI* node) {
  QrcFastListI<QroInt>* members = node->members;
  members->reset();
  if (node->kind == QrcPQNodeI::Leaf) {
    for (QrcFastEltI<QroInt>* e = clique(node->value)->firstOut(); e; e = e->next)
      members->remove(e->value);
    return;
  }
  for (QrcPQNodeI* c = node->childHead; c; c = c->next) computeMembers(c);
  QrcPQNodeI* first = node->childHead;
  for (QrcFastEltI<QroInt>* e = first->members->firstOut(); e; e = e->next) {
    bool everywhere = true;
    for (QrcPQNodeI* c = first->next; c && everywhere; c = c->next)
      everywhere = c->members->isOut(e->value);
    if (everywhere) members->remove(e->value);
  }
  for (QrcPQNodeI* c = node->childHead; c; c = c->next)
    for (QrcFastEltI<QroInt>* e = members->firstOut(); e; e = e->next)
      c->members->restore(e->value);
}

// ---------------------------------------------------------------- checks

void QrcIntervalGraphI::capacityCheck() {
  computeOrder();
  computeCliques();
  if (_capacity == Cap) return;  // redundant with the pair reasoning
  for (QroInt k = 0; k < _cliqueCount; ++k) {
    __int128 total = 0;
    for (QrcFastEltI<QroInt>* e = clique(k)->firstOut(); e; e = e->next) {
      QrcIntExpI* a = _activities[e->value].getImpl();
      if (a->isBound()) total += static_cast<__int128>(_weights[e->value]) * a->getValue();
      if (total > _capacity) fail();
    }
  }
}

void QrcIntervalGraphI::cliqueOrderRules() {
  selectCliques();
  bool ok = buildPQTree();
  if (!ok) {
    bool allActive = true;
    for (QrcFastEltI<QroInt>* k = _selectedCliques->firstOut(); k && allActive; k = k->next)
      for (QrcFastEltI<QroInt>* v = clique(k->value)->firstOut(); v && allActive; v = v->next)
        allActive = active(_activities[v->value].getImpl());
    if (allActive) fail();
    return;  // a half-reduced tree justifies nothing
  }
  QrcPQNodeI* root = _pqTree->getRoot();
  if (!root) return;
  computeMembers(root);
  QroInt n = _vertexCount.getValue(), S = _containerSize;
  for (QroInt i = 0; i < n; ++i) {
    if (!active(_activities[i].getImpl())) continue;
    for (QroInt j = 0; j < n; ++j) {
      if (j == i || !active(_activities[j].getImpl())) continue;
      for (QroInt v = 0; v < n; ++v) _treeWeights[v] = 0;
      for (QrcFastEltI<QroInt>* ek = _selectedCliques->firstOut(); ek; ek = ek->next) {
        QroInt k = ek->value;
        if (!disjointFromAll(i, k) || clique(k)->isOut(j) || !isExcludedFrom(j, k)) continue;
        for (QrcFastEltI<QroInt>* e = clique(k)->firstOut(); e; e = e->next) {
          QrcIntExpI* a = _activities[e->value].getImpl();
          if (a->isBound()) _treeWeights[e->value] = a->getValue() * _sizes[e->value];
        }
      }
      QroInt g = childValue(root);
      if (static_cast<__int128>(_sizes[i]) + _sizes[j] + g > S) _edges[i][j].getImpl()->setValue(1);
    }
  }
}

QroInt QrcIntervalGraphI::minMember(QrcPQNodeI* node) {
  QroInt best = INT64_MAX;
  for (QrcFastEltI<QroInt>* e = node->members->firstOut(); e; e = e->next)
    if (_treeWeights[e->value] < best) best = _treeWeights[e->value];
  return best;
}

QroInt QrcIntervalGraphI::childValue(QrcPQNodeI* node) {
  if (node->members->getOutCount() == 0) return minGap(node);
  if (node->kind == QrcPQNodeI::Leaf) return minMember(node);
  QroInt a = minGap(node), b = minMember(node);
  return a < b ? a : b;
}

// The Q-node sweep keeps per vertex the least length before it in
// _searchLabels. A nested sweep writes only the vertices of its own
// descendants, which no sibling of the enclosing sweep holds, so the values
// are written when a vertex enters and not cleared in between.
QroInt QrcIntervalGraphI::minGap(QrcPQNodeI* node) {
  if (node->kind == QrcPQNodeI::Leaf) return 0;
  if (node->kind == QrcPQNodeI::PNode) {
    QroInt sum = 0;
    for (QrcPQNodeI* c = node->childHead; c; c = c->next) sum += childValue(c);
    return sum;
  }
  IntRow& V = _searchLabels;
  QrcPQNodeI* c = node->childHead;
  QroInt acc = minGap(c);
  QrcFastListI<QroInt>* L = c->members;
  for (QrcFastEltI<QroInt>* e = L->firstOut(); e; e = e->next) V[e->value] = _treeWeights[e->value];
  bool prevInner = c->kind != QrcPQNodeI::Leaf;
  for (c = c->next; c; c = c->next) {
    QrcFastListI<QroInt>* M = c->members;
    bool hasM = false;
    QroInt m = 0;
    for (QrcFastEltI<QroInt>* e = L->firstOut(); e; e = e->next)
      if (!M->isOut(e->value) && (!hasM || V[e->value] < m)) {
        m = V[e->value];
        hasM = true;
      }
    if (!hasM && !prevInner) {
      _manager->getErrorReporter()->report(QrcInternalError, "QrcBoxI", "internal error");
      return 0;
    }
    QroInt before = !hasM ? acc : !prevInner ? m : (m < acc ? m : acc);
    QroInt gap = minGap(c);
    for (QrcFastEltI<QroInt>* e = M->firstOut(); e; e = e->next)
      if (!L->isOut(e->value)) V[e->value] = _treeWeights[e->value] + before;
    acc = gap + before;
    prevInner = c->kind != QrcPQNodeI::Leaf;
    L = M;
  }
  QroInt best = INT64_MAX;
  for (QrcFastEltI<QroInt>* e = L->firstOut(); e; e = e->next)
    if (V[e->value] < best) best = V[e->value];
  if (prevInner && acc < best) best = acc;
  return best;
}

// ---------------------------------------------------------------- constraint

void QrcOverlapCliqueConstraintI::propagate() {
  ++_runs;
  _graph->capacityCheck();
  if (_mode == 2) _graph->cliqueOrderRules();
}

void QrcOverlapCliqueConstraintI::setMode(QroInt mode) {
  if (mode == _mode) return;
  _manager->saveValue(&_mode);
  _mode = mode;
}

void QrcOverlapCliqueConstraintI::display(std::ostream& os) const {
  if (_name)
    os << _name;
  else
    os << "QrcOverlapClique(" << _mode << ")";
}
