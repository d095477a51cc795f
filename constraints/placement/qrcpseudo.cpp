// The pseudo placement of level 2: nested trials of pseudo orientations whose
// fixed pseudo edges become real edges at the end of the pass, and the check
// that stops bounds propagation from walking pseudo origins round a cycle of
// orders. Code here can fail: no locals with destructors.
#include <ostream>

#include "qrcintervalgraph.h"

namespace {

const QroInt NoWeight = INT64_MAX;
// The span of the integer range: a path of difference constraints lighter
// than -Span is met by no two values of it, one heavier than Span by all.
const QroInt Span = QrcIntMax - QrcIntMin;

QroInt clampWeight(QroInt w) {
  return w < -Span - 1 ? -Span - 1 : (w > Span + 1 ? Span + 1 : w);
}

int boundValue(QrcIntExpI* v) {
  return v->isBound() ? static_cast<int>(v->getValue()) : -1;
}

}  // namespace

void QrcIntervalGraphI::recordHints() {
  QroInt n = _vertexCount.getValue();
  for (QroInt k = 0; k < n; ++k)
    for (QroInt l = k + 1; l < n; ++l) {
      QrcIntExpI* ep = _pseudoEdges[k][l].getImpl();
      if (!ep->isBound()) continue;
      QroInt v = ep->getValue();
      QrcIntExpI* e = _edges[k][l].getImpl();
      if (!(e->isBound() && e->getValue() == v)) _trialHints[k][l] = v;
    }
}

// As the pair's model enforces them: E' = 1 or R' = 1 gives P (Y_j < Y_i +
// s_i), E' = 1 or R' = 0 gives Q (Y_i < Y_j + s_j), E' = 0 with R' = 1 gives
// Y_j + s_j <= Y_i and with R' = 0 gives Y_i + s_i <= Y_j. Two points only
// order their origins, and never meet.
void QrcIntervalGraphI::pseudoPairWeights(QroInt j, QroInt i, QroInt& toJ, QroInt& toI) {
  toJ = toI = NoWeight;
  if (!_pseudoModelled[i]) return;
  int e = boundValue(_pseudoEdges[j][i].getImpl()),
      r = boundValue(_pseudoOrientations[j][i].getImpl());
  QroInt sj = _sizes[j], si = _sizes[i];
  if (sj == 0 && si == 0) {
    if (e == 1) toJ = toI = -1;
    if (r == 1) toJ = 0;
    if (r == 0) toI = 0;
    return;
  }
  if (e == 1 || r == 1) toJ = clampWeight(si - 1);
  if (e == 1 || r == 0) toI = clampWeight(sj - 1);
  if (e == 0 && r == 1) toJ = clampWeight(-sj);
  if (e == 0 && r == 0) toI = clampWeight(-si);
}

// Bellman-Ford from a source at distance 0 of every origin: a distance still
// falling after n rounds closes a negative cycle, and one below -Span is a
// path that the integer range cannot hold. Either way bounds propagation
// fails, though only after walking the origins one cycle weight per round.
bool QrcIntervalGraphI::pseudoOrdersUnmeetable() {
  QroInt n = _vertexCount.getValue();
  for (QroInt v = 0; v < n; ++v) _cycleDistances[v] = 0;
  for (QroInt round = 0; round < n; ++round) {
    bool changed = false;
    for (QroInt i = 1; i < n; ++i)
      for (QroInt j = 0; j < i; ++j) {
        QroInt w[2], from[2] = {i, j}, to[2] = {j, i};
        pseudoPairWeights(j, i, w[0], w[1]);
        for (int k = 0; k < 2; ++k) {
          if (w[k] == NoWeight) continue;
          QroInt d = _cycleDistances[from[k]] + w[k];
          if (d >= _cycleDistances[to[k]]) continue;
          if (d < -Span) return true;
          _cycleDistances[to[k]] = d;
          changed = true;
        }
      }
    if (!changed) return false;
  }
  return true;
}

void QrcIntervalGraphI::pseudoOriginsMoved() {
  QrcInt stamp = _manager->getPropagationQueue()->getPropagationStamp();
  if (stamp != _walkStamp) {
    QroInt n = _vertexCount.getValue();
    _walkStamp = stamp;
    _walkMoves = 0;
    _walkLimit = 4 * n * n + 64;
  }
  if (++_walkMoves < _walkLimit) return;
  if (pseudoOrdersUnmeetable()) fail();
  if (_walkLimit < INT64_MAX / 2) _walkLimit *= 2;
}

QrcGoalI* QrcTryOrientationI::execute() {
  _orientation->setValue(1);
  _owner->getGraph()->recordHints();
  return nullptr;
}

void QrcTryOrientationI::display(std::ostream& os) const {
  os << "QrcTryOrientation";
}

void QrcZConstraintI::propagate() {
  QrcIntervalGraphI* g = _graph;
  QrcManagerI* m = _manager;
  QroInt n = g->getVertexCount();
  for (QroInt i = 0; i < n; ++i)
    for (QroInt j = i + 1; j < n; ++j) {
      g->trialHint(i, j) = -1;
      g->pseudoTried(i, j) = -1;
      g->pseudoTried(j, i) = -1;
    }
  for (QroInt i = 0; i < n; ++i)
    for (QroInt j = i + 1; j < n; ++j) {
      if (g->state(i, j) != 0 || g->getOrientation(i, j)->isBound() || g->pseudoTried(i, j) != -1)
        continue;
      g->pseudoTried(i, j) = 1;
      g->pseudoTried(j, i) = 1;
      ++_trials;
      QrcGoalI* trial = new (m) QrcTryOrientationI(m, g->getPseudoOrientation(i, j), this);
      if (!m->solveInPropagation(this, trial, true)) fail();
    }
  for (QroInt i = 0; i < n; ++i)
    for (QroInt j = i + 1; j < n; ++j)
      if (g->trialHint(i, j) != -1) g->getEdge(i, j)->setValue(g->trialHint(i, j));
}

void QrcZConstraintI::display(std::ostream& os) const {
  if (_name)
    os << _name;
  else
    os << "QrcZConstraint";
}
