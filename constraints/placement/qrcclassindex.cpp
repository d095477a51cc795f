// The implication classes kept along the branch, and what they tell the class
// rules: an exploration binds or fails only when its class holds both
// directions of one pair, or a path x before y before c with x and c
// undecided (steps 4 and 5), or an undecided pair that the class would order
// both ways (steps 6 and 7). Such a pair or path appears only when classes
// merge or an overlap is decided, so each merge checks the pairs of the
// smaller class and each overlap the pairs it orders; a class found so is
// pending until an exploration of it has run. Code here can fail: no locals
// with destructors.
#include "qrcintervalgraph.h"
#include "qrcpairclasses.h"

namespace {

const QroInt Overlap = QrcVertexI::Overlap;
const QroInt Disjoint = QrcVertexI::Disjoint;
const QroInt Undecided = QrcVertexI::Undecided;

}  // namespace

// Whether x lies before y in the reference orientation of the class of the
// disjoint pair (x, y), whose root it gives.
bool QrcIntervalGraphI::refBefore(QroInt x, QroInt y, QroInt& root) const {
  QroInt parity;
  root = _classes->find(QrcPairClassesI::index(x, y), parity);
  return (parity ^ (x > y ? 1 : 0)) == 0;
}

void QrcIntervalGraphI::indexPair(QroInt a, QroInt b, QroInt kind) {
  if (kind == Disjoint) {
    _classes->makeSingleton(QrcPairClassesI::index(a, b));
    // c overlapping a, disjoint from b: a before b exactly when c before b.
    for (QrcNeighborI* e = _adjacency[a]->first(Overlap); e; e = e->getNext())
      if (e->vertex != b && state(b, e->vertex) == Disjoint) uniteArcs(a, b, e->vertex, b);
    for (QrcNeighborI* e = _adjacency[b]->first(Overlap); e; e = e->getNext())
      if (e->vertex != a && state(a, e->vertex) == Disjoint) uniteArcs(a, b, a, e->vertex);
    return;
  }
  if (kind != Overlap) return;
  // c disjoint from both: a before c exactly when b before c.
  for (QrcNeighborI* e = _adjacency[a]->first(Disjoint); e; e = e->getNext())
    if (e->vertex != b && state(b, e->vertex) == Disjoint) uniteArcs(a, e->vertex, b, e->vertex);
  // The pairs the new overlap orders: b against each c disjoint from a, a
  // against each c disjoint from b.
  for (int pass = 0; pass < 2; ++pass) {
    QroInt x = pass ? b : a, y = pass ? a : b;
    for (QrcNeighborI* e = _adjacency[x]->first(Disjoint); e; e = e->getNext()) {
      QroInt c = e->vertex, root;
      if (c == y || state(y, c) != Undecided) continue;
      bool d = refBefore(x, c, root);
      // A pair alone in its class orders nothing the other way.
      if (_classes->getSize(root) > 1 && !_classes->isPending(root) && opposes(y, c, d, root))
        _classes->setPending(root, true);
    }
  }
}

// Joins the classes of the disjoint pairs (x1, y1) and (x2, y2) so that x1
// before y1 exactly when x2 before y2, then checks the pairs of the smaller one.
void QrcIntervalGraphI::uniteArcs(QroInt x1, QroInt y1, QroInt x2, QroInt y2) {
  QroInt rel = ((x1 > y1) ? 1 : 0) ^ ((x2 > y2) ? 1 : 0), into;
  QrcPairClassesI* uf = _classes;
  QroInt absorbed =
      uf->unite(QrcPairClassesI::index(x1, y1), QrcPairClassesI::index(x2, y2), rel, into);
  if (absorbed < 0) return;
  for (QroInt p = absorbed; !uf->isPending(into);) {
    QroInt i, j;
    QrcPairClassesI::pairOf(p, i, j);
    if (arcHasWitness(i, j, into)) uf->setPending(into, true);
    p = uf->getNext(p);
    if (p == absorbed) break;
  }
  uf->splice(absorbed, into);
}

// Whether the disjoint pair (u, v) of the class lies on a path of the class
// with undecided ends, or orders an undecided pair that the class orders the
// other way as well.
bool QrcIntervalGraphI::arcHasWitness(QroInt u, QroInt v, QroInt root) {
  QroInt r;
  bool uv = refBefore(u, v, r);
  for (int pass = 0; pass < 2; ++pass) {
    QroInt x = pass ? v : u, y = pass ? u : v;
    bool xy = pass ? !uv : uv;
    // x - y - c with x and c undecided: y before c in the direction of x before y.
    for (QrcNeighborI* e = _adjacency[x]->first(Undecided); e; e = e->getNext()) {
      QroInt c = e->vertex;
      if (c == y || state(y, c) != Disjoint) continue;
      if (refBefore(y, c, r) == xy && r == root) return true;
    }
    // c overlapping y, undecided with x: c before x exactly when y before x.
    for (QrcNeighborI* e = _adjacency[y]->first(Overlap); e; e = e->getNext()) {
      QroInt c = e->vertex;
      if (c == x || state(x, c) != Undecided) continue;
      if (opposes(c, x, !xy, root)) return true;
    }
  }
  return false;
}

// Whether a disjoint pair of the class puts q before p while p before q is d
// (the undecided pair (p, q) would be ordered both ways).
bool QrcIntervalGraphI::opposes(QroInt p, QroInt q, bool d, QroInt root) {
  QroInt r;
  // x overlapping p, disjoint from q: p before q exactly when x before q.
  for (QrcNeighborI* e = _adjacency[p]->first(Overlap); e; e = e->getNext()) {
    QroInt x = e->vertex;
    if (x == q || state(x, q) != Disjoint) continue;
    if (refBefore(x, q, r) != d && r == root) return true;
  }
  // x overlapping q, disjoint from p: p before q exactly when p before x.
  for (QrcNeighborI* e = _adjacency[q]->first(Overlap); e; e = e->getNext()) {
    QroInt x = e->vertex;
    if (x == p || state(x, p) != Disjoint) continue;
    if (refBefore(p, x, r) != d && r == root) return true;
  }
  return false;
}

// Whether the exploration of the class of the disjoint pair (x, y) may bind
// or fail.
bool QrcIntervalGraphI::classMayAct(QroInt x, QroInt y) {
  if (!_classIndex) return true;
  QroInt root;
  refBefore(x, y, root);
  return _classes->isPending(root) || _classes->isConflicting(root);
}

void QrcIntervalGraphI::classExplored(QroInt x, QroInt y) {
  if (!_classIndex) return;
  QroInt root;
  refBefore(x, y, root);
  if (_classes->isPending(root)) _classes->setPending(root, false);
}
