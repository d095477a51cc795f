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

void QrcIntervalGraphI::orientationChanged(QroInt a, QroInt b) {
  if (a == b || state(a, b) != 0) return;
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
void QrcIntervalGraphI::chordRules(QroInt a, QroInt b, QroInt kind) {
  const QroInt other = 1 - kind;
  for (QrcNeighborI* ec = _adjacency[a]->first(Overlap); ec;) {
    QrcNeighborI* nc = ec->getNext();
    QroInt c = ec->vertex;
    if (c != b && state(b, c) == other)
      for (QrcNeighborI* ed = _adjacency[b]->first(Overlap); ed;) {
        QrcNeighborI* nd = ed->getNext();
        QroInt d = ed->vertex;
        if (d != a && state(a, d) == other && (kind == 1 || c < d))
          _edges[c][d].getImpl()->setValue(other);
        ed = nd;
      }
    ec = nc;
  }
  for (int pass = 0; pass < 2; ++pass) {
    QroInt x = pass ? b : a, y = pass ? a : b;
    for (QrcNeighborI* ec = _adjacency[x]->first(Overlap); ec;) {
      QrcNeighborI* nc = ec->getNext();
      QroInt c = ec->vertex;
      if (c != y && state(y, c) == other)
        for (QrcNeighborI* ee = _adjacency[y]->first(Overlap); ee;) {
          QrcNeighborI* ne = ee->getNext();
          QroInt e = ee->vertex;
          if (e != c && state(c, e) == kind && e != x) _edges[x][e].getImpl()->setValue(kind);
          ee = ne;
        }
      ec = nc;
    }
  }
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
  IntRow& st = _ruleStack;
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

QroInt QrcIntervalGraphI::pushClassFrame(QroInt sp, QroInt x, QroInt y, QroInt s, QroInt step,
                                         QroInt list) {
  mark(x, y) = s;
  mark(y, x) = -s;
  IntRow& st = _ruleStack;
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
  orientClass(a, b);
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
      if (c != y && state(y, c) == wanted) {
        bool d = dir(a, b, pseudo);
        if (fromA)
          enforce(c, b, d, pseudo);
        else
          enforce(a, c, d, pseudo);
      }
      e = next;
    }
  }
  for (QrcNeighborI* e = _adjacency[a]->first(Disjoint); e;) {
    QrcNeighborI* next = e->getNext();
    QroInt c = e->vertex;
    if (c != b && state(b, c) == 0) {
      bool d = dir(a, b, pseudo);
      if (!orientVar(a, c, pseudo)->isBound()) {
        if (orientVar(b, c, pseudo)->isBound() && dir(b, c, pseudo) == d) makeDir(a, c, d, pseudo);
      } else if (dir(c, a, pseudo) == d) {
        enforce(c, b, d, pseudo);
      }
    }
    e = next;
  }
}

void QrcIntervalGraphI::pushOrientation(QroInt a, QroInt b) {
  pushOrientationPasses(a, b, false);
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

void QrcIntervalGraphI::orientationRulesOverlap(QroInt a, QroInt b) {
  for (QrcNeighborI* e = _adjacency[a]->first(Disjoint); e;) {
    QrcNeighborI* next = e->getNext();
    QroInt c = e->vertex;
    if (c != b && state(b, c) == 0) {
      if (orientVar(a, c, false)->isBound())
        enforce(b, c, dir(a, c, false), false);
      else if (orientVar(b, c, false)->isBound())
        enforce(a, c, dir(b, c, false), false);
    }
    e = next;
  }
  for (int pass = 0; pass < 2; ++pass) {
    QroInt x = pass ? b : a, y = pass ? a : b;
    for (QrcNeighborI* e = _adjacency[x]->first(Undecided); e;) {
      QrcNeighborI* next = e->getNext();
      QroInt c = e->vertex;
      if (c != y && state(y, c) == 0 && orientVar(y, c, false)->isBound())
        enforce(x, c, dir(y, c, false), false);
      e = next;
    }
  }
}
