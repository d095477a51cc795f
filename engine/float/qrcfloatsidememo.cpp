// The bounds at which a one-sided narrowing of a tree changed nothing, and the
// walks that take and compare them.
#include <cmath>

#include "qrcfloatexp.h"
#include "qrcmanager.h"
#include "qrcqueue.h"

namespace {
const double Inf = HUGE_VAL;
}

// ---------------------------------------------------------------- walk

bool QrcFloatSideScan::positive(const QrcFloatExpI* e) const {
  // Compared, the leaves' bounds lie inside the kept ones, where every node
  // was positive: the bounds computed from them lie inside the nodes' then.
  return !_taking || e->getMin() > 0;
}

bool QrcFloatSideScan::visit(QrcFloatExpI* e, int side) {
  if (e->getFloatHandler()) return leaf(e, side);
  if (_taking && (!(e->getMin() > -Inf && e->getMax() < Inf) || e->isUndefined())) return false;
  bool accepted = false;
  auto below = [&] { accepted = e->scanSides(*this, side); };
  e->getManager()->withStackRoom(below);
  return accepted;
}

bool QrcFloatSideScan::leaf(QrcFloatExpI* var, int side) {
  QrcInt i = _leaves++;
  if (i >= QrcFloatSideMemo::Capacity) return false;
  QrcFloat min = var->rawMin(), max = var->rawMax();
  if (_taking) {
    _memo->_leaves[i] = var;
    _memo->_mins[i] = min;
    _memo->_maxs[i] = max;
    return true;
  }
  if (i >= _memo->_count || _memo->_leaves[i] != var) return false;
  if (side > 0) return max == _memo->_maxs[i] && min >= _memo->_mins[i];
  return min == _memo->_mins[i] && max <= _memo->_maxs[i];
}

// ---------------------------------------------------------------- memo

bool QrcFloatSideMemo::unnarrowed(QrcFloatExpI* var) {
  if (!var->getFloatHandler()->isProcessing()) return true;
  // Its narrowings wait until it is processed: none may be pending.
  QrcPropagationQueueI* q = var->getManager()->getPropagationQueue();
  return q->getPendingFloatMin() == var->rawMin() && q->getPendingFloatMax() == var->rawMax();
}

bool QrcFloatSideMemo::staleParents(QrcFloatExpI* root) {
  QrcManagerI* m = root->getManager();
  return m->getPropagationQueue()->mayHaveStaleParents(m->getFailStamp());
}

bool QrcFloatSideMemo::take(QrcFloatExpI* root, int side) {
  _count = 0;
  _taken = 0;
  // A variable is narrowed on its own; with variable precision ranges are
  // rounded first.
  if (root->getFloatHandler() || root->getManager()->variablePrecision() || staleParents(root))
    return false;
  QrcFloatSideScan scan(this, true);
  if (!scan.visit(root, side)) return false;
  QrcInt n = scan.getLeafCount();
  for (QrcInt i = 0; i < n; ++i)
    if (!unnarrowed(_leaves[i])) return false;
  _taken = n;
  return true;
}

void QrcFloatSideMemo::keepIfUnchanged() {
  for (QrcInt i = 0; i < _taken; ++i) {
    QrcFloatExpI* var = _leaves[i];
    if (var->rawMin() != _mins[i] || var->rawMax() != _maxs[i] || !unnarrowed(var)) return;
  }
  _count = _taken;
}

bool QrcFloatSideMemo::holds(QrcFloatExpI* root, int side) {
  if (_count == 0 || root->getManager()->variablePrecision() || staleParents(root)) return false;
  QrcFloatSideScan scan(this, false);
  return scan.visit(root, side) && scan.getLeafCount() == _count;
}
