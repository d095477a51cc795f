// The default search goal of the default extractor, made from the decision
// variables collected during extraction.
#include "qrosolverextractor.h"

#include "qrosolveri.h"
#include "qrcfloatgoals.h"
#include "qrcint.h"
#include "qrcintgoals.h"
#include "qrcintsetvar.h"
#include "qrcmanager.h"

QrcIntVarArray QroDefaultCPExtractorI::makeIntDecisionVars() const {
  QroInt n = 0;
  if (_list)
    for (QroDecisionVarNode* node = _list->first; node; node = node->next)
      if (node->kind == IntVar && _solver->getRecord(node->extractable)) ++n;
  if (n == 0) return QrcIntVarArray();
  QrcIntVarArray vars(QrcManager(_solver->getManager()), n);
  // The list is newest first: fill from the end.
  for (QroDecisionVarNode* node = _list->first; node; node = node->next) {
    if (node->kind != IntVar) continue;
    if (QroExtractionRecord* r = _solver->getRecord(node->extractable))
      vars.set(--n, QrcIntExp(_solver->getIntExp(r)));
  }
  return vars;
}

QrcGoal QroDefaultCPExtractorI::makeGoal() {
  QrcManager m(_solver->getManager());
  QroInt counts[5] = {0, 0, 0, 0, 0};
  if (_list)
    for (QroDecisionVarNode* n = _list->first; n; n = n->next)
      if (n->kind >= 0 && n->kind < 5) ++counts[n->kind];
  QrcIntVarArray ints = makeIntDecisionVars(), recordInts;
  QrcFloatVarArray floats;
  QrcIntSetVarArray sets, sets2;
  if (counts[FloatVar] > 0) floats = QrcFloatVarArray(m, counts[FloatVar]);
  if (counts[IntVarOfRecord] > 0) recordInts = QrcIntVarArray(m, counts[IntVarOfRecord]);
  if (counts[IntSetVar] > 0) sets = QrcIntSetVarArray(m, counts[IntSetVar]);
  if (counts[IntSetVar2] > 0) sets2 = QrcIntSetVarArray(m, counts[IntSetVar2]);
  // The list is newest first: fill from the end so that the arrays keep the
  // extraction order.
  QroInt next[5] = {counts[0], counts[1], counts[2], counts[3], counts[4]};
  if (_list) {
    for (QroDecisionVarNode* n = _list->first; n; n = n->next) {
      if (n->kind == IntSetVar || n->kind == IntSetVar2) {
        if (!_solver->isExtracted(n->extractable)) continue;
        QrcIntSetVarArrayI* a = (n->kind == IntSetVar ? sets : sets2).getImpl();
        a->elementAt(--next[n->kind]) = _solver->getIntSetVar(n->extractable);
        continue;
      }
      QroExtractionRecord* r = _solver->getRecord(n->extractable);
      if (!r) continue;
      if (n->kind == FloatVar)
        floats.set(--next[1], QrcFloatExp(r->floatExp));
      else if (n->kind == IntVarOfRecord)
        recordInts.set(--next[2], QrcIntVar(_solver->getIntExp(r)));
    }
  }
  QrcGoal listener(_solver->listenersGoal());
  QrcGoal g2 = counts[IntVarOfRecord] > 0 ? QrcIntGenerate(recordInts) : QrcGoalTrue(m);
  QrcGoal g3 = counts[IntSetVar] > 0 ? QrcIntSetGenerate(sets) : QrcGoalTrue(m);
  QrcGoal g4 = counts[IntSetVar2] > 0 ? QrcGenerate(sets2) : QrcGoalTrue(m);
  if (listener.getImpl()) return QrcAnd(g2, g3, g4, listener);
  QrcGoal g0 = QrcGoalTrue(m);
  if (ints.getSize() > 0) {
    g0 = _solver->getImpactGoal(ints);
    if (!g0.getImpl()) g0 = QrcGenerate(ints);
  }
  QrcGoal g1 = counts[FloatVar] > 0 ? QrcGenerate(floats, QrcChooseFirstUnboundFloat, 1, 0.0)
                                    : QrcGoalTrue(m);
  return QrcAnd(g0, g1, g2, g3, g4);
}
