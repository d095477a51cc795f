// Values of extracted objects read back from the engine.
#include "qrosolveri.h"
#include "qrosolverextractor.h"
#include "qrcintexp.h"

QroNum QroSolverI::getObjValue() {
  QroDefaultCPExtractorI* d = _extractorManager->getDefaultExtractor();
  if (!d || !d->getObjective() || (!_intObjective && !_floatObjective))
    throw QroAlgorithm::NoObjectiveException(this);
  throw QroSolver::UnimplementedFeature("objective values need engine expressions");
}

QroNum QroSolverI::getValue(QroObjectiveI* objective) {
  if (!objective) throw QroNotImplemented();
  QroDefaultCPExtractorI* d = _extractorManager->getDefaultExtractor();
  if (!d || d->getObjective() != objective) throw QroAlgorithm::NotExtractedException(this, objective);
  return getObjValue();
}

QroNum QroSolverI::getValue(QroNumVarI* v) {
  getExtractedRecord(v);
  throw QroSolver::UnimplementedFeature("variable values need engine expressions");
}

QroNum QroSolverI::getValue(QroConstraintI* c) {
  getExtractedRecord(c);
  throw QroSolver::UnimplementedFeature("constraint values need engine expressions");
}

QroInt QroSolverI::getIntValue(QroNumVarI* v) {
  getExtractedRecord(v);
  throw QroSolver::UnimplementedFeature("variable values need engine expressions");
}

QrcIntExpI* QroSolverI::getIntExp(QroExtractionRecord* r) {
  if (!r) return nullptr;
  if (!r->intExp && r->constraint)
    throw QroSolver::UnimplementedFeature("0-1 variables of constraints are not available");
  return r->intExp;
}

void QroSolverI::setValue(QrcIntExpI* var, QrcInt value) { var->setValue(value); }
void QroSolverI::removeValue(QrcIntExpI* var, QrcInt value) { var->removeValue(value); }
