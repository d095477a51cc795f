// The rules of the interval graph: chord rules (no chordless 4-cycle of
// overlaps), implication classes of the disjointness relation, and the order
// of disjoint pairs. They bind edge and orientation variables or fail; the
// edge demons turn their bindings into new events.
//
// Explorations that may reach the number of pairs in depth keep their frames
// on the graph's rule stack, four words each, and visit in the order of the
// recursion they replace. Code here can fail: no locals with destructors.
#include <ostream>

#include "qrcintervalgraph.h"
#include "qrcqueue.h"

namespace {

const QroInt Overlap = QrcVertexI::Overlap;
const QroInt Disjoint = QrcVertexI::Disjoint;
const QroInt Undecided = QrcVertexI::Undecided;

}  // namespace

// ---------------------------------------------------------------- event loop

void QrcIntervalGraphI::dispatch(QroInt a, QroInt b, QroInt kind) {
  if (kind == 0) {
    chordRulesDisjoint(a, b);
    classRulesDisjoint(a, b);
    lengthRules(a, b);
    orientationRulesDisjoint(a, b);
  } else if (kind == 1) {
    chordRulesOverlap(a, b);
    classRulesOverlap(a, b);
    orientationRulesOverlap(a, b);
  }
}

void QrcIntervalGraphI::activityChanged(QroInt i) {
  if (_activities[i].getImpl()->getMin() != 1) return;
  for (QrcNeighborI* e = _adjacency[i]->first(Disjoint); e;) {
    QrcNeighborI* next = e->getNext();
    lengthRules(i, e->vertex);
    e = next;
  }
}

// Records the order in the bit sets of both ends (unless the pair overlaps,
// for which no rule reads them), then runs the rules of a disjoint pair.
void QrcIntervalGraphI::orientationChanged(QroInt a, QroInt b) {
  if (a == b) return;
  QroInt st = state(a, b);
  if (st != Overlap && orientVar(a, b, false)->isBound()) {
    bool aFirst = dir(a, b, false);
    setStateBit(aFirst ? AfterSet : BeforeSet, a, b, true);
    setStateBit(aFirst ? BeforeSet : AfterSet, b, a, true);
  }
  if (st != 0) return;
  pushOrientation(a, b);
}

void QrcIntervalGraphI::pseudoOrientationChanged(QroInt a, QroInt b) {
  if (a == b || state(a, b) != 0) return;
  pushPseudoOrientation(a, b);
}

// ---------------------------------------------------------------- chord rules

void QrcIntervalGraphI::chordRulesOverlap(QroInt a, QroInt b) {
  chordRules(a, b, 1);
}

void QrcIntervalGraphI::chordRulesDisjoint(QroInt a, QroInt b) {
  chordRules(a, b, 0);
}

// kind 1 (a, b overlap): c-a-b-d is an induced path, so c and d are apart;
// and a-b-e-c would be a chordless 4-cycle, so a and e overlap. kind 0 (a, b
// apart): two common neighbours overlap; and a neighbour e of b apart from a
// common neighbour c is apart from a.
//
// The pairs of each pass are those of a walk over a's (or b's) overlap list
// for c, each with a walk over b's (or a's) for d or e; the inner set does
// not depend on c, or only through one bit of c's row, so it is gathered once
// and each c tests it word by word. Edges already in the state to be set
// are skipped; the others are bound in the order of the walks.
void QrcIntervalGraphI::chordRules(QroInt a, QroInt b, QroInt kind) {
  chordCommon(a, b, kind);
  chordEnds(a, b, kind);
  chordEnds(b, a, kind);
}

QroInt QrcIntervalGraphI::gatherOverlaps(QroInt y, QroInt x, const QroInt* row, bool in) {
  QroInt* list = _scratchList;
  QroInt* bits = _scratchBits;
  // Cleared here, not after use: a binding may fail half-way.
  for (QroInt w = 0, words = bitWords(); w < words; ++w) bits[w] = 0;
  QroInt count = 0;
  for (QrcNeighborI* e = _adjacency[y]->first(Overlap); e; e = e->getNext()) {
    QroInt v = e->vertex;
    if (v == x || hasBit(row, v) != in) continue;
    list[count++] = v;
    bits[v >> 6] |= static_cast<QroInt>(uint64_t(1) << (v & 63));
  }
  return count;
}

// c in a's overlap list with (b, c) in the other state, d in b's with (a, d)
// in the other state (and c < d for kind 0): E(c, d) := other.
void QrcIntervalGraphI::chordCommon(QroInt a, QroInt b, QroInt kind) {
  const QroInt other = 1 - kind, words = bitWords();
  if (!chordCommonActs(a, b, kind)) return;
  const QroInt nd = gatherOverlaps(b, a, stateBits(other, a), true);
  const QroInt* list = _scratchList;
  const QroInt* dbits = _scratchBits;
  const QroInt* otherB = stateBits(other, b);
  for (QrcNeighborI* ec = _adjacency[a]->first(Overlap); ec; ec = ec->getNext()) {
    QroInt c = ec->vertex;
    if (c == b || !hasBit(otherB, c) || !pairsOpen(dbits, stateBits(other, c), words, c, kind))
      continue;
    const QroInt* done = stateBits(other, c);
    for (QroInt i = 0; i < nd; ++i) {
      QroInt d = list[i];
      if ((kind == 1 || c < d) && !hasBit(done, d)) _edges[c][d].getImpl()->setValue(other);
    }
  }
}

// Whether the vertices of ds not in done (those after c only, for kind 0)
// hold one.
bool QrcIntervalGraphI::pairsOpen(const QroInt* ds, const QroInt* done, QroInt words, QroInt c,
                                  QroInt kind) {
  for (QroInt w = kind == 1 ? 0 : c >> 6; w < words; ++w) {
    uint64_t open = static_cast<uint64_t>(ds[w]) & ~static_cast<uint64_t>(done[w]);
    if (kind == 0 && w == c >> 6) open &= (c & 63) == 63 ? 0 : ~uint64_t(0) << ((c & 63) + 1);
    if (open) return true;
  }
  return false;
}

// Whether chordCommon would bind anything: some c and d of its walks whose
// edge is not in the state to be set. Read from the bit sets alone.
bool QrcIntervalGraphI::chordCommonActs(QroInt a, QroInt b, QroInt kind) {
  const QroInt other = 1 - kind, words = bitWords();
  const QroInt *ovA = stateBits(Overlap, a), *ovB = stateBits(Overlap, b);
  const QroInt *otherA = stateBits(other, a), *otherB = stateBits(other, b);
  QroInt* ds = _scratchBits;
  bool any = false;
  for (QroInt w = 0; w < words; ++w) {
    ds[w] = ovB[w] & otherA[w];
    any = any || ds[w] != 0;
  }
  if (!any) return false;
  for (QroInt w = 0; w < words; ++w)
    for (uint64_t m = static_cast<uint64_t>(ovA[w] & otherB[w]); m; m &= m - 1) {
      QroInt c = (w << 6) + __builtin_ctzll(m);
      if (pairsOpen(ds, stateBits(other, c), words, c, kind)) return true;
    }
  return false;
}

// c in x's overlap list with (y, c) in the other state, e in y's with e != c,
// e != x and (c, e) in the state of the event: E(x, e) := kind. Each e is
// bound at its first c; the rest of its calls would find it bound.
void QrcIntervalGraphI::chordEnds(QroInt x, QroInt y, QroInt kind) {
  const QroInt other = 1 - kind, words = bitWords();
  if (!chordEndsAct(x, y, kind)) return;
  QroInt left = gatherOverlaps(y, x, stateBits(kind, x), false);
  if (left == 0) return;
  const QroInt count = left;
  const QroInt* list = _scratchList;
  QroInt* tbits = _scratchBits;
  const QroInt* otherY = stateBits(other, y);
  for (QrcNeighborI* ec = _adjacency[x]->first(Overlap); ec && left > 0; ec = ec->getNext()) {
    QroInt c = ec->vertex;
    if (c == y || !hasBit(otherY, c)) continue;
    const QroInt* met = stateBits(kind, c);
    bool any = false;
    for (QroInt w = 0; w < words && !any; ++w) any = (tbits[w] & met[w]) != 0;
    if (!any) continue;
    for (QroInt i = 0; i < count; ++i) {
      QroInt e = list[i];
      if (!hasBit(tbits, e) || !hasBit(met, e)) continue;
      _edges[x][e].getImpl()->setValue(kind);
      tbits[e >> 6] &= ~static_cast<QroInt>(uint64_t(1) << (e & 63));
      --left;
    }
  }
}

// Whether chordEnds would bind anything, from the bit sets alone: some e of
// y's overlaps, not x and not in the state with x, in that state with a c.
bool QrcIntervalGraphI::chordEndsAct(QroInt x, QroInt y, QroInt kind) {
  const QroInt other = 1 - kind, words = bitWords();
  const QroInt *ovX = stateBits(Overlap, x), *ovY = stateBits(Overlap, y);
  const QroInt *kindX = stateBits(kind, x), *otherY = stateBits(other, y);
  QroInt* es = _scratchBits;
  bool any = false;
  for (QroInt w = 0; w < words; ++w) {
    es[w] = ovY[w] & ~kindX[w];
    if (w == x >> 6) es[w] &= ~static_cast<QroInt>(uint64_t(1) << (x & 63));
    any = any || es[w] != 0;
  }
  if (!any) return false;
  for (QroInt w = 0; w < words; ++w)
    for (uint64_t m = static_cast<uint64_t>(ovX[w] & otherY[w]); m; m &= m - 1) {
      const QroInt* met = stateBits(kind, (w << 6) + __builtin_ctzll(m));
      for (QroInt v = 0; v < words; ++v)
        if (es[v] & met[v]) return true;
    }
  return false;
}

// ---------------------------------------------------------------- class rules

void QrcIntervalGraphI::resetMarks() {
  QroInt n = _vertexCount.getValue(), unmarked = _markStamp.getValue();
  for (QroInt x = 0; x < n; ++x) {
    IntRow& row = _pairHints[x];
    for (QroInt y = 0; y < n; ++y) row[y] = unmarked;
  }
}

// Frames: x, y, step (2 to 7), the next entry of the step's list.
void QrcIntervalGraphI::orientClass(QroInt x0, QroInt y0) {
  const QroInt s = _classStamp, t = _tentativeStamp, unmarked = _markStamp.getValue();
  QroInt* st = _ruleStack;
  QroInt sp = pushClassFrame(0, x0, y0, s, 2, Overlap);
  while (sp > 0) {
    QroInt f = sp - 4, x = st[f], y = st[f + 1], step = st[f + 2];
    QrcNeighborI* e = QrcNeighborI::fromWord(st[f + 3]);
    bool descended = false;
    if (step == 2 || step == 3) {
      // 2: c overlaps x and is disjoint from y: c before y. 3: x before c.
      for (; e; e = e->getNext()) {
        QroInt c = e->vertex;
        QroInt px = step == 2 ? c : x, py = step == 2 ? y : c;
        if (c == (step == 2 ? y : x) || state(step == 2 ? y : x, c) != 0) continue;
        if (mark(px, py) == -s) fail();
        if (mark(px, py) != unmarked) continue;
        st[f + 3] = QrcNeighborI::toWord(e->getNext());
        sp = pushClassFrame(sp, px, py, s, 2, Overlap);
        descended = true;
        break;
      }
      if (descended) continue;
      if (step == 2) {
        st[f + 2] = 3;
        st[f + 3] = QrcNeighborI::toWord(_adjacency[y]->first(Overlap));
        continue;
      }
    }
    // Steps 4 to 7 bind and mark without descending.
    bindClassDisjoint(x, y, s);
    bindClassOverlap(x, y, t);
    sp = f;
  }
}

// Steps 4 and 5: the undecided pairs the class makes disjoint.
void QrcIntervalGraphI::bindClassDisjoint(QroInt x, QroInt y, QroInt s) {
  for (QrcNeighborI* u = _adjacency[x]->first(Undecided); u;) {
    QrcNeighborI* next = u->getNext();
    QroInt c = u->vertex;
    if (c != y && state(y, c) == 0 && mark(y, c) == s) _edges[x][c].getImpl()->setValue(0);
    u = next;
  }
  for (QrcNeighborI* u = _adjacency[y]->first(Undecided); u;) {
    QrcNeighborI* next = u->getNext();
    QroInt c = u->vertex;
    if (c != x && state(x, c) == 0 && mark(c, x) == s) _edges[c][y].getImpl()->setValue(0);
    u = next;
  }
}

// Steps 6 and 7: an overlapping pair met the second time is bound to overlap;
// the first time it takes a tentative mark.
void QrcIntervalGraphI::bindClassOverlap(QroInt x, QroInt y, QroInt t) {
  for (QrcNeighborI* o = _adjacency[x]->first(Overlap); o;) {
    QrcNeighborI* next = o->getNext();
    QroInt c = o->vertex;
    if (c != y && state(y, c) == 2) {
      if (mark(c, y) == -t) {
        _edges[c][y].getImpl()->setValue(1);
      } else {
        mark(c, y) = t;
        mark(y, c) = -t;
      }
    }
    o = next;
  }
  for (QrcNeighborI* o = _adjacency[y]->first(Overlap); o;) {
    QrcNeighborI* next = o->getNext();
    QroInt c = o->vertex;
    if (c != x && state(x, c) == 2) {
      if (mark(x, c) == -t) {
        _edges[x][c].getImpl()->setValue(1);
      } else {
        mark(x, c) = t;
        mark(c, x) = -t;
      }
    }
    o = next;
  }
}

// Room for a frame per pair and one per vertex: a frame marks its pair, or
// (the heaviest chain) its vertex, before it is pushed.
void QrcIntervalGraphI::lockRuleStack() {
  QroInt n = _vertexCount.getValue();
  _ruleStack = _manager->lockArrayFromPool(4 * (n * (n - 1) / 2 + n + 1));
}

void QrcIntervalGraphI::unlockRuleStack() {
  _manager->unlockArrayFromPool(_ruleStack);
  _ruleStack = nullptr;
}

QroInt QrcIntervalGraphI::pushClassFrame(QroInt sp, QroInt x, QroInt y, QroInt s, QroInt step,
                                         QroInt list) {
  mark(x, y) = s;
  mark(y, x) = -s;
  QroInt* st = _ruleStack;
  st[sp] = x;
  st[sp + 1] = y;
  st[sp + 2] = step;
  st[sp + 3] = QrcNeighborI::toWord(_adjacency[x]->first(list));
  return sp + 4;
}

// An exploration runs only when its class may bind or fail (see
// qrcclassindex.cpp); otherwise it would bind nothing, and it is skipped.
void QrcIntervalGraphI::classRulesDisjoint(QroInt a, QroInt b) {
  if (!classMayAct(a, b)) return;
  resetMarks();
  _classStamp = 1;
  _tentativeStamp = _markStamp.getValue() + 1;
  lockRuleStack();
  orientClass(a, b);
  unlockRuleStack();
  classExplored(a, b);
}

// The start pairs of the three passes: c disjoint from a and from b, c
// disjoint from a and undecided with b, c disjoint from b and undecided with a.
bool QrcIntervalGraphI::startPairsMayAct(QroInt a, QroInt b, bool done) {
  bool any = false;
  for (int pass = 0; pass < 3 && !any; ++pass) {
    QroInt x = pass == 2 ? b : a, y = pass == 2 ? a : b, wanted = pass == 0 ? 0 : 2;
    for (QrcNeighborI* e = _adjacency[x]->first(Disjoint); e && !any; e = e->getNext()) {
      QroInt c = e->vertex;
      if (c == y || state(y, c) != wanted) continue;
      if (done)
        classExplored(x, c);
      else
        any = classMayAct(x, c);
    }
  }
  return any;
}

void QrcIntervalGraphI::classRulesOverlap(QroInt a, QroInt b) {
  if (!startPairsMayAct(a, b, false)) return;
  resetMarks();
  const QroInt unmarked = _markStamp.getValue();
  _classStamp = 0;
  _tentativeStamp = unmarked;
  lockRuleStack();
  for (int pass = 0; pass < 3; ++pass) {
    QroInt x = pass == 2 ? b : a, y = pass == 2 ? a : b, wanted = pass == 0 ? 0 : 2;
    for (QrcNeighborI* e = _adjacency[x]->first(Disjoint); e;) {
      QrcNeighborI* next = e->getNext();
      QroInt c = e->vertex;
      if (c != y && state(y, c) == wanted && mark(x, c) == unmarked) {
        ++_classStamp;
        ++_tentativeStamp;
        orientClass(x, c);
      }
      e = next;
    }
  }
  unlockRuleStack();
  startPairsMayAct(a, b, true);
}

// ---------------------------------------------------------------- orientation rules

bool QrcIntervalGraphI::dir(QroInt x, QroInt y, bool pseudo) {
  return orientVar(x, y, pseudo)->getValue() == (x < y ? 1 : 0);
}

void QrcIntervalGraphI::makeDir(QroInt x, QroInt y, bool v, bool pseudo) {
  if (pseudo) {
    pseudoTried(x, y) = 1;
    pseudoTried(y, x) = 1;
  }
  orientVar(x, y, pseudo)->setValue((x < y) == v ? 1 : 0);
}

void QrcIntervalGraphI::enforce(QroInt x, QroInt y, bool v, bool pseudo) {
  if (orientVar(x, y, pseudo)->isBound()) {
    if (dir(x, y, pseudo) != v) edgeVar(x, y, pseudo)->setValue(1);
  } else {
    makeDir(x, y, v, pseudo);
  }
}

// Passes 1 and 2 (c overlapping one end, disjoint from the other), then, for
// the real orientation, passes 3 and 4 (undecided), then transitivity.
void QrcIntervalGraphI::pushOrientationPasses(QroInt a, QroInt b, bool pseudo) {
  for (int pass = 1; pass <= 4; ++pass) {
    if (pseudo && pass > 2) break;
    bool fromA = pass % 2 == 1;
    QroInt wanted = pass <= 2 ? 0 : 2;
    QroInt x = fromA ? a : b, y = fromA ? b : a;
    for (QrcNeighborI* e = _adjacency[x]->first(Overlap); e;) {
      QrcNeighborI* next = e->getNext();
      QroInt c = e->vertex;
      if (c != y && state(y, c) == wanted) pushOrientationTo(a, b, c, fromA, pseudo);
      e = next;
    }
  }
  for (QrcNeighborI* e = _adjacency[a]->first(Disjoint); e;) {
    QrcNeighborI* next = e->getNext();
    QroInt c = e->vertex;
    if (c != b && state(b, c) == 0) pushOrientationOn(a, b, c, pseudo);
    e = next;
  }
}

// Passes 1 to 4 for c: c before b (c overlapping a) or a before c (c
// overlapping b) when a before b, and the other way round otherwise.
void QrcIntervalGraphI::pushOrientationTo(QroInt a, QroInt b, QroInt c, bool fromA, bool pseudo) {
  bool d = dir(a, b, pseudo);
  if (fromA)
    enforce(c, b, d, pseudo);
  else
    enforce(a, c, d, pseudo);
}

// Transitivity for c disjoint from both.
void QrcIntervalGraphI::pushOrientationOn(QroInt a, QroInt b, QroInt c, bool pseudo) {
  bool d = dir(a, b, pseudo);
  if (!orientVar(a, c, pseudo)->isBound()) {
    if (orientVar(b, c, pseudo)->isBound() && dir(b, c, pseudo) == d) makeDir(a, c, d, pseudo);
  } else if (dir(c, a, pseudo) == d) {
    enforce(c, b, d, pseudo);
  }
}

// The passes of the real orientation over the vertices they may act on. With
// d the order of a and b, an enforce of dir(c, b) = d does nothing when c is
// known to lie before b (d) or after it, one of dir(a, c) = d when c is known
// to lie after a (d) or before it; transitivity does nothing for c known on
// either of those sides (then a before c, or c before a and c before b, or c
// before b whatever a's order with c). Known: in the order bit sets, which
// hold only bound orientations. The rest are visited in the passes' order.
void QrcIntervalGraphI::pushRealOrientation(QroInt a, QroInt b) {
  const bool d = dir(a, b, false);
  const QroInt words = bitWords();
  // sideB: c with dir(c, b) = d known; sideA: c with dir(a, c) = d known.
  const QroInt* sideB = stateBits(d ? BeforeSet : AfterSet, b);
  const QroInt* sideA = stateBits(d ? AfterSet : BeforeSet, a);
  const QroInt *ovA = stateBits(OverlapSet, a), *djA = stateBits(DisjointSet, a);
  const QroInt *ovB = stateBits(OverlapSet, b), *djB = stateBits(DisjointSet, b);
  QroInt* open = _scratchBits;
  for (int pass = 1; pass <= 5; ++pass) {
    bool fromA = pass % 2 == 1;
    bool any = false;
    for (QroInt w = 0; w < words; ++w) {
      uint64_t m;
      if (pass == 5)
        m = static_cast<uint64_t>(djA[w] & djB[w] & ~(sideA[w] | sideB[w]));
      else if (pass <= 2)
        m = static_cast<uint64_t>(fromA ? ovA[w] & djB[w] & ~sideB[w]
                                        : ovB[w] & djA[w] & ~sideA[w]);
      else
        m = static_cast<uint64_t>(fromA ? ovA[w] & ~(ovB[w] | djB[w] | sideB[w])
                                        : ovB[w] & ~(ovA[w] | djA[w] | sideA[w]));
      open[w] = static_cast<QroInt>(m);
      any = any || m != 0;
    }
    if (!any) continue;
    QroInt x = pass == 5 || fromA ? a : b;
    QroInt list = pass == 5 ? Disjoint : Overlap;
    for (QrcNeighborI* e = _adjacency[x]->first(list); e; e = e->getNext()) {
      QroInt c = e->vertex;
      if (!hasBit(open, c)) continue;
      if (pass == 5)
        pushOrientationOn(a, b, c, false);
      else
        pushOrientationTo(a, b, c, fromA, false);
    }
  }
}

// The bit sets read once hold through the passes while bindings only queue
// their events; where a binding would run the demons at once (a post at the
// outermost level), the passes walk the lists instead.
void QrcIntervalGraphI::pushOrientation(QroInt a, QroInt b) {
  if (bindingsDeferred())
    pushRealOrientation(a, b);
  else
    pushOrientationPasses(a, b, false);
}

// Whether a binding made now only queues its events: the queue drains at once
// at the outermost level, and at the first one inside a nested solve.
bool QrcIntervalGraphI::bindingsDeferred() const {
  QrcInt nesting = _manager->getPropagationQueue()->getNesting();
  return nesting > (_manager->isInNestedSolve() ? 1 : 0);
}

void QrcIntervalGraphI::pushPseudoOrientation(QroInt a, QroInt b) {
  pushOrientationPasses(a, b, true);
}

void QrcIntervalGraphI::pullOrientation(QroInt a, QroInt b) {
  for (QrcNeighborI* e = _adjacency[a]->first(Overlap); e;) {
    QrcNeighborI* next = e->getNext();
    QroInt c = e->vertex;
    if (c != b && state(b, c) == 0 && orientVar(c, b, false)->isBound())
      enforce(a, b, dir(c, b, false), false);
    e = next;
  }
  for (QrcNeighborI* e = _adjacency[b]->first(Overlap); e;) {
    QrcNeighborI* next = e->getNext();
    QroInt c = e->vertex;
    if (c != a && state(a, c) == 0 && orientVar(a, c, false)->isBound())
      enforce(a, b, dir(a, c, false), false);
    e = next;
  }
  for (QrcNeighborI* e = _adjacency[a]->first(Disjoint); e;) {
    QrcNeighborI* next = e->getNext();
    QroInt c = e->vertex;
    if (c != b && state(b, c) == 0 && orientVar(a, c, false)->isBound() &&
        orientVar(c, b, false)->isBound() && dir(a, c, false) == dir(c, b, false))
      enforce(a, b, dir(a, c, false), false);
    e = next;
  }
}

void QrcIntervalGraphI::orientationRulesDisjoint(QroInt a, QroInt b) {
  if (orientVar(a, b, false)->isBound())
    pushOrientation(a, b);
  else
    pullOrientation(a, b);
}

// Three passes: c disjoint from both (pass 0), c undecided with a and
// disjoint from b (1), c undecided with b and disjoint from a (2). None acts
// on a c whose orders with a and b are both known and agree; where bindings
// are deferred, the passes visit only the others (see pushOrientation).
void QrcIntervalGraphI::orientationRulesOverlap(QroInt a, QroInt b) {
  const bool filtered = bindingsDeferred();
  for (int pass = 0; pass < 3; ++pass) {
    QroInt x = pass == 2 ? b : a, y = pass == 2 ? a : b;
    if (filtered && !overlapPassOpen(a, b, pass)) continue;
    for (QrcNeighborI* e = _adjacency[x]->first(pass == 0 ? Disjoint : Undecided); e;) {
      QrcNeighborI* next = e->getNext();
      QroInt c = e->vertex;
      if (filtered ? hasBit(_scratchBits, c) : c != y && state(y, c) == 0) {
        if (pass > 0) {
          if (orientVar(y, c, false)->isBound()) enforce(x, c, dir(y, c, false), false);
        } else if (orientVar(a, c, false)->isBound()) {
          enforce(b, c, dir(a, c, false), false);
        } else if (orientVar(b, c, false)->isBound()) {
          enforce(a, c, dir(b, c, false), false);
        }
      }
      e = next;
    }
  }
}

// The vertices a pass of orientationRulesOverlap may act on, into the
// scratch bits; whether there is one.
bool QrcIntervalGraphI::overlapPassOpen(QroInt a, QroInt b, int pass) {
  const QroInt *ovA = stateBits(OverlapSet, a), *djA = stateBits(DisjointSet, a);
  const QroInt *ovB = stateBits(OverlapSet, b), *djB = stateBits(DisjointSet, b);
  const QroInt *afA = stateBits(AfterSet, a), *afB = stateBits(AfterSet, b);
  const QroInt *beA = stateBits(BeforeSet, a), *beB = stateBits(BeforeSet, b);
  bool any = false;
  for (QroInt w = 0, words = bitWords(); w < words; ++w) {
    QroInt agree = (afA[w] & afB[w]) | (beA[w] & beB[w]), m;
    if (pass == 0)
      m = djA[w] & djB[w];
    else if (pass == 1)
      m = djB[w] & ~(ovA[w] | djA[w]);
    else
      m = djA[w] & ~(ovB[w] | djB[w]);
    _scratchBits[w] = m & ~agree;
    any = any || _scratchBits[w] != 0;
  }
  return any;
}
