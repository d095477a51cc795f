// The pseudo placement of level 2: nested trials of pseudo orientations whose
// fixed pseudo edges become real edges at the end of the pass.
#include <ostream>

#include "qrcintervalgraph.h"

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
