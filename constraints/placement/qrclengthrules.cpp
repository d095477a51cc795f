// Length rules: pairwise disjoint active members lie one after the other, so
// their sizes add up to at most the container's size. The heavy set is the
// heaviest chain of a transitive orientation of the disjointness relation
// among the members disjoint from both ends of the decided pair, or a greedy
// set when there is no such orientation. Code here can fail: no locals with
// destructors.
#include "qrcintervalgraph.h"

namespace {

const QroInt Disjoint = QrcVertexI::Disjoint;

inline QroInt absOf(QroInt v) {
  return v < 0 ? -v : v;
}

}  // namespace

void QrcIntervalGraphI::lengthRules(QroInt a, QroInt b) {
  if (_level == 0) return;
  // Both ends must be placed: an optional end lies in no container.
  if (_activities[a].getImpl()->getMin() != 1 || _activities[b].getImpl()->getMin() != 1) return;
  QroInt n = _vertexCount.getValue(), S = _containerSize;
  for (QroInt i = 0; i < n; ++i) {
    _maskK[i] = 0;
    _maskM[i] = i != a && i != b && state(a, i) == 0 && state(b, i) == 0 &&
                _activities[i].getImpl()->getMin() == 1;
  }
  QroInt sa = _sizes[a], sb = _sizes[b], L = sa + sb;
  lockRuleStack();
  bool found = orientDisjointness() ? heaviestChain() : greedyDisjointSet();
  unlockRuleStack();
  if (found) L += _chainLength[_chainStart];
  if (L > S) fail();
  for (QroInt v = _chainStart; v >= 0; v = _chainNext[v]) _maskK[v] = 1;
  _maskK[a] = _maskK[b] = 1;
  _chainNext[a] = _chainStart;
  _chainNext[b] = a;
  for (QroInt i = 0; i < n; ++i) {
    if (_maskK[i]) continue;
    QroInt T = lengthOfWalk(i, b);
    QrcIntExpI* ai = _activities[i].getImpl();
    if (T > S) ai->setValue(0);
    for (QrcNeighborI* e = _adjacency[i]->first(QrcVertexI::Undecided); e;) {
      QrcNeighborI* next = e->getNext();
      QroInt c = e->vertex;
      if (_maskK[c] && T + _sizes[c] > S && ai->getMin() == 1) _edges[i][c].getImpl()->setValue(1);
      e = next;
    }
  }
}

// s_i plus the sizes of the vertices of the walk from b disjoint from i.
QroInt QrcIntervalGraphI::lengthOfWalk(QroInt i, QroInt b) {
  QroInt T = _sizes[i];
  for (QroInt j = b; j >= 0; j = _chainNext[j])
    if (j != i && state(i, j) == 0) T += _sizes[j];
  return T;
}

bool QrcIntervalGraphI::orientDisjointness() {
  resetMarks();
  QroInt n = _vertexCount.getValue(), unmarked = _markStamp.getValue();
  _classStamp = 0;
  for (QroInt i = 0; i < n; ++i) {
    if (!_maskM[i]) continue;
    for (QroInt j = i + 1; j < n; ++j) {
      if (!_maskM[j] || state(i, j) != 0 || mark(i, j) != unmarked) continue;
      ++_classStamp;
      if (!orientClassRestricted(i, j)) return false;
    }
  }
  return true;
}

// Frames: x, y, step (1 or 2), the next entry of the step's list.
bool QrcIntervalGraphI::orientClassRestricted(QroInt x0, QroInt y0) {
  const QroInt s = _classStamp, unmarked = _markStamp.getValue();
  QroInt* st = _ruleStack;
  QroInt sp = pushClassFrame(0, x0, y0, s, 1, Disjoint);
  while (sp > 0) {
    QroInt f = sp - 4, x = st[f], y = st[f + 1], step = st[f + 2];
    QrcNeighborI* e = QrcNeighborI::fromWord(st[f + 3]);
    // 1: c disjoint from x forces x before c; 2: c disjoint from y forces c before y.
    QroInt from = step == 1 ? x : y, other = step == 1 ? y : x;
    bool descended = false;
    for (; e; e = e->getNext()) {
      QroInt c = e->vertex;
      if (!_maskM[c]) continue;
      if (c != other && state(other, c) == 0 && absOf(mark(other, c)) >= s) continue;
      QroInt px = step == 1 ? from : c, py = step == 1 ? c : from;
      if (mark(px, py) == -s) return false;
      if (mark(px, py) != unmarked) continue;
      st[f + 3] = QrcNeighborI::toWord(e->getNext());
      sp = pushClassFrame(sp, px, py, s, 1, Disjoint);
      descended = true;
      break;
    }
    if (descended) continue;
    if (step == 1) {
      st[f + 2] = 2;
      st[f + 3] = QrcNeighborI::toWord(_adjacency[y]->first(Disjoint));
      continue;
    }
    sp = f;
  }
  return true;
}

bool QrcIntervalGraphI::heaviestChain() {
  QroInt n = _vertexCount.getValue(), best = -1;
  for (QroInt i = 0; i < n; ++i) _chainLength[i] = -1;
  for (QroInt i = 0; i < n; ++i) {
    if (!_maskM[i]) continue;
    heaviestChainFrom(i);
    if (best < 0 || _chainLength[i] > _chainLength[best]) best = i;
  }
  _chainStart = best;
  return best >= 0;
}

// Frames: v, the entry under examination, the best successor so far, unused.
// A vertex being computed holds -2, so that a cycle cannot loop.
void QrcIntervalGraphI::heaviestChainFrom(QroInt v0) {
  if (_chainLength[v0] != -1) return;
  QroInt* st = _ruleStack;
  _chainLength[v0] = -2;
  st[0] = v0;
  st[1] = QrcNeighborI::toWord(_adjacency[v0]->first(Disjoint));
  st[2] = -1;
  QroInt sp = 4;
  while (sp > 0) {
    QroInt f = sp - 4, v = st[f], best = st[f + 2];
    QrcNeighborI* e = QrcNeighborI::fromWord(st[f + 1]);
    bool descended = false;
    for (; e; e = e->getNext()) {
      QroInt c = e->vertex;
      if (!_maskM[c] || mark(v, c) <= 0) continue;
      if (_chainLength[c] == -1) {
        st[f + 1] = QrcNeighborI::toWord(e);
        st[f + 2] = best;
        _chainLength[c] = -2;
        st[sp] = c;
        st[sp + 1] = QrcNeighborI::toWord(_adjacency[c]->first(Disjoint));
        st[sp + 2] = -1;
        sp += 4;
        descended = true;
        break;
      }
      if (_chainLength[c] >= 0 && (best < 0 || _chainLength[c] > _chainLength[best])) best = c;
    }
    if (descended) continue;
    _chainLength[v] = _sizes[v] + (best >= 0 ? _chainLength[best] : 0);
    _chainNext[v] = best;
    sp = f;
  }
}

bool QrcIntervalGraphI::greedyDisjointSet() {
  QroInt n = _vertexCount.getValue();
  _chainStart = -1;
  for (QroInt i = 0; i < n; ++i) {
    if (!_maskM[i]) continue;
    QroInt prev = -1, cur = _chainStart;
    while (cur >= 0 && _sizes[cur] >= _sizes[i]) {
      prev = cur;
      cur = _chainNext[cur];
    }
    _chainNext[i] = cur;
    if (prev < 0)
      _chainStart = i;
    else
      _chainNext[prev] = i;
  }
  if (_chainStart < 0) return false;
  QroInt total = _sizes[_chainStart], last = _chainStart;
  for (QroInt v = _chainNext[_chainStart]; v >= 0; v = _chainNext[last]) {
    bool keep = true;
    for (QroInt u = _chainStart; u != v && keep; u = _chainNext[u]) keep = state(u, v) == 0;
    if (keep) {
      total += _sizes[v];
      last = v;
    } else {
      _chainNext[last] = _chainNext[v];
    }
  }
  _chainLength[_chainStart] = total;
  return true;
}
