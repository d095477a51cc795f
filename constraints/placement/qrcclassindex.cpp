// The implication classes kept along the branch, and what they tell the class
// rules: an exploration binds or fails only when its class holds both
// directions of one pair, or a path x before y before c with x and c
// undecided (steps 4 and 5), or an undecided pair that the class would order
// both ways (steps 6 and 7). Such a pair or path appears only when classes
// merge or an overlap is decided, so each merge checks the pairs of the
// smaller class and each overlap the pairs it orders; a class found so is
// pending until an exploration of it has run.
//
// An undecided pair (p, q) is ordered by its witnesses, the disjoint pairs
// (x, q) with x overlapping p (p before q exactly when x before q), and
// (x, p) with x overlapping q. Each pair counts the votes of its witnesses,
// each read in the reference orientation of the witness's class; a pair
// without a vote one way has no witness that orders it that way, in any
// class. Code here can fail: no locals with destructors.
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

QroInt QrcIntervalGraphI::witnessVotes(QroInt p, QroInt q, bool pFirst) const {
  return _classes->getVotes(QrcPairClassesI::index(p, q), (p < q) == pFirst);
}

// The votes of the disjoint pair (x, q) for each p overlapping x and
// undecided with q (p before q exactly when x before q); flipped: each vote
// changes sides.
void QrcIntervalGraphI::countVotesOf(QroInt x, QroInt q, bool flipped) {
  QroInt root = -1;
  bool xFirst = false;
  const QroInt *ovX = stateBits(Overlap, x), *ovQ = stateBits(Overlap, q),
               *djQ = stateBits(Disjoint, q);
  for (QroInt w = 0, words = bitWords(); w < words; ++w)
    for (uint64_t m = static_cast<uint64_t>(ovX[w] & ~(ovQ[w] | djQ[w])); m; m &= m - 1) {
      if (root < 0) xFirst = refBefore(x, q, root);
      countVote((w << 6) + __builtin_ctzll(m), q, xFirst, flipped);
    }
}

// One vote for p before q (pFirst) or q before p; flipped: one the other
// way changes sides.
void QrcIntervalGraphI::countVote(QroInt p, QroInt q, bool pFirst, bool flipped) {
  bool lowFirst = pFirst == (p < q);
  if (flipped)
    _classes->moveVote(QrcPairClassesI::index(p, q), lowFirst);
  else
    _classes->addVote(QrcPairClassesI::index(p, q), lowFirst);
}

// The votes the new overlap (x, y) adds: of (x, c) for (y, c), c disjoint
// from x and undecided with y.
void QrcIntervalGraphI::countOverlapVotes(QroInt x, QroInt y) {
  const QroInt *djX = stateBits(Disjoint, x), *ovY = stateBits(Overlap, y),
               *djY = stateBits(Disjoint, y);
  for (QroInt w = 0, words = bitWords(); w < words; ++w)
    for (uint64_t m = static_cast<uint64_t>(djX[w] & ~(ovY[w] | djY[w])); m; m &= m - 1) {
      QroInt c = (w << 6) + __builtin_ctzll(m), root;
      countVote(y, c, refBefore(x, c, root), false);
    }
}

// The votes are counted as the pair states change, before any merge. The
// merges are made in the order of the lists, each list walked only when the
// bit sets show it holds a vertex to merge.
void QrcIntervalGraphI::indexPair(QroInt a, QroInt b, QroInt kind) {
  if (kind == Disjoint) {
    _classes->makeSingleton(QrcPairClassesI::index(a, b));
    countVotesOf(a, b, false);
    countVotesOf(b, a, false);
    // c overlapping a, disjoint from b: a before b exactly when c before b.
    if (meet(Overlap, a, Disjoint, b))
      for (QrcNeighborI* e = _adjacency[a]->first(Overlap); e; e = e->getNext())
        if (e->vertex != b && state(b, e->vertex) == Disjoint) uniteArcs(a, b, e->vertex, b);
    if (meet(Overlap, b, Disjoint, a))
      for (QrcNeighborI* e = _adjacency[b]->first(Overlap); e; e = e->getNext())
        if (e->vertex != a && state(a, e->vertex) == Disjoint) uniteArcs(a, b, a, e->vertex);
    return;
  }
  if (kind != Overlap) return;
  countOverlapVotes(a, b);
  countOverlapVotes(b, a);
  // c disjoint from both: a before c exactly when b before c.
  if (meet(Disjoint, a, Disjoint, b))
    for (QrcNeighborI* e = _adjacency[a]->first(Disjoint); e; e = e->getNext())
      if (e->vertex != b && state(b, e->vertex) == Disjoint) uniteArcs(a, e->vertex, b, e->vertex);
  // The pairs the new overlap orders: b against each c disjoint from a, a
  // against each c disjoint from b. Each check only marks a class pending.
  const QroInt words = bitWords();
  for (int pass = 0; pass < 2; ++pass) {
    QroInt x = pass ? b : a, y = pass ? a : b;
    const QroInt *djX = stateBits(Disjoint, x), *ovY = stateBits(Overlap, y),
                 *djY = stateBits(Disjoint, y);
    for (QroInt w = 0; w < words; ++w)
      for (uint64_t m = static_cast<uint64_t>(djX[w] & ~(ovY[w] | djY[w])); m; m &= m - 1) {
        QroInt c = (w << 6) + __builtin_ctzll(m), root;
        bool d = refBefore(x, c, root);
        // A pair alone in its class orders nothing the other way.
        if (_classes->getSize(root) > 1 && !_classes->isPending(root) && opposes(y, c, d, root))
          _classes->setPending(root, true);
      }
  }
}

// Whether some vertex is in set s of x and in set t of y.
bool QrcIntervalGraphI::meet(QroInt s, QroInt x, QroInt t, QroInt y) {
  const QroInt *sx = stateBits(s, x), *ty = stateBits(t, y);
  for (QroInt w = 0, words = bitWords(); w < words; ++w)
    if (sx[w] & ty[w]) return true;
  return false;
}

// Joins the classes of the disjoint pairs (x1, y1) and (x2, y2) so that x1
// before y1 exactly when x2 before y2, then checks the pairs of the smaller
// one. When its reference orientation turns, so do its votes.
void QrcIntervalGraphI::uniteArcs(QroInt x1, QroInt y1, QroInt x2, QroInt y2) {
  QroInt rel = ((x1 > y1) ? 1 : 0) ^ ((x2 > y2) ? 1 : 0), into;
  QrcPairClassesI* uf = _classes;
  QroInt absorbed =
      uf->unite(QrcPairClassesI::index(x1, y1), QrcPairClassesI::index(x2, y2), rel, into);
  if (absorbed < 0) return;
  QroInt turned;
  uf->find(absorbed, turned);
  for (QroInt p = absorbed; turned;) {
    QroInt i, j;
    QrcPairClassesI::pairOf(p, i, j);
    countVotesOf(i, j, true);
    countVotesOf(j, i, true);
    p = uf->getNext(p);
    if (p == absorbed) break;
  }
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
// other way as well. The candidates are read from the state bits.
bool QrcIntervalGraphI::arcHasWitness(QroInt u, QroInt v, QroInt root) {
  QroInt r;
  bool uv = refBefore(u, v, r);
  const QroInt words = bitWords();
  for (int pass = 0; pass < 2; ++pass) {
    QroInt x = pass ? v : u, y = pass ? u : v;
    bool xy = pass ? !uv : uv;
    const QroInt *ovX = stateBits(Overlap, x), *djX = stateBits(Disjoint, x);
    const QroInt *ovY = stateBits(Overlap, y), *djY = stateBits(Disjoint, y);
    // x - y - c with x and c undecided: y before c in the direction of x before y.
    for (QroInt w = 0; w < words; ++w) {
      uint64_t m = static_cast<uint64_t>(djY[w] & ~(ovX[w] | djX[w]));
      if (w == x >> 6) m &= ~(uint64_t(1) << (x & 63));
      for (; m; m &= m - 1) {
        QroInt c = (w << 6) + __builtin_ctzll(m);
        if (refBefore(y, c, r) == xy && r == root) return true;
      }
    }
    // c overlapping y, undecided with x: c before x exactly when y before x.
    for (QroInt w = 0; w < words; ++w)
      for (uint64_t m = static_cast<uint64_t>(ovY[w] & ~(ovX[w] | djX[w])); m; m &= m - 1) {
        QroInt c = (w << 6) + __builtin_ctzll(m);
        if (c != x && opposes(c, x, !xy, root)) return true;
      }
  }
  return false;
}

// Whether a disjoint pair of the class puts q before p while p before q is d
// (the undecided pair (p, q) would be ordered both ways).
bool QrcIntervalGraphI::opposes(QroInt p, QroInt q, bool d, QroInt root) {
  if (_classes->getVotes(QrcPairClassesI::index(p, q), (p < q) != d) == 0) return false;
  QroInt r;
  const QroInt words = bitWords();
  const QroInt *ovP = stateBits(Overlap, p), *djP = stateBits(Disjoint, p);
  const QroInt *ovQ = stateBits(Overlap, q), *djQ = stateBits(Disjoint, q);
  // x overlapping p, disjoint from q: p before q exactly when x before q.
  for (QroInt w = 0; w < words; ++w)
    for (uint64_t m = static_cast<uint64_t>(ovP[w] & djQ[w]); m; m &= m - 1) {
      QroInt x = (w << 6) + __builtin_ctzll(m);
      if (refBefore(x, q, r) != d && r == root) return true;
    }
  // x overlapping q, disjoint from p: p before q exactly when p before x.
  for (QroInt w = 0; w < words; ++w)
    for (uint64_t m = static_cast<uint64_t>(ovQ[w] & djP[w]); m; m &= m - 1) {
      QroInt x = (w << 6) + __builtin_ctzll(m);
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
