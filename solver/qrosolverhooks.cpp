// The hook records of the modelling classes: filling, the shared hooks, and
// the hooks of models, constraints' activation and model changes.
#include "qrosolverextractor.h"

#include <mutex>

#include "qrochange.h"
#include "qrolinear.h"
#include "qromodel.h"
#include "qrosolveri.h"
#include "qrosolverextra.h"
#include "qrosolverglobal.h"
#include "qrosolverlistener.h"
#include "qrcconstraint.h"
#include "qrcfail.h"
#include "qrcmanager.h"

namespace {

QroSolverI* solverOf(QroAlgorithmI* algorithm) {
  return static_cast<QroSolverI*>(algorithm);
}

void setHooks(QroExtractHooks& h, QroExtractHook extract, QroRemoveHook remove,
              QroChangeHook change) {
  h.extract = extract;
  h.remove = remove;
  h.change = change;
}

void setConstraintHooks(QroExtractHooks& h, QroExtractHook extract, QroRemoveHook remove,
                        QroChangeHook change) {
  setHooks(h, extract, remove, change);
  h.addToAlgorithm = addConstraintToManager;
  h.removeFromAlgorithm = removeConstraintFromManager;
}

}  // namespace

// ---------------------------------------------------------------------------
// Shared hooks

void* cannotExtract(QroAlgorithmI* algorithm, QroExtractableI* x) {
  throw QroAlgorithm::CannotExtractException(algorithm, x);
}

void cannotRemove(QroAlgorithmI* algorithm, QroExtractableI* x, void*) {
  throw QroAlgorithm::CannotRemoveException(algorithm, x);
}

void* cannotChange(QroAlgorithmI* algorithm, QroExtractableI* x, QroChange*) {
  throw QroAlgorithm::CannotRemoveException(algorithm, x);
}

void* changeNeedsSync(QroAlgorithmI* algorithm, QroExtractableI*, QroChange*) {
  solverOf(algorithm)->raiseSyncLevel(0);
  return nullptr;
}

void* changeNeedsUpdate(QroAlgorithmI* algorithm, QroExtractableI*, QroChange*) {
  solverOf(algorithm)->raiseToRestart();
  return nullptr;
}

void* changeNeedsReextract(QroAlgorithmI* algorithm, QroExtractableI*, QroChange*) {
  solverOf(algorithm)->raiseSyncLevel(2);
  return nullptr;
}

void applyNeedsReextract(QroAlgorithmI* algorithm, QroChange*, void*) {
  solverOf(algorithm)->raiseSyncLevel(2);
}

void removeChild(QroAlgorithmI* algorithm, QroExtractableI* x, void*) {
  if (x->isType(QroRangeI::GetTypeInfo())) {
    QroRangeI* r = static_cast<QroRangeI*>(x);
    if (r->getExpr()) algorithm->remove(r->getExpr());
    return;
  }
  if (QroNumUnaryNodeI* node = dynamic_cast<QroNumUnaryNodeI*>(x)) {
    if (node->getOperand()) algorithm->remove(node->getOperand());
  } else if (QroIntTimesCstI* times = dynamic_cast<QroIntTimesCstI*>(x)) {
    if (times->getOperand()) algorithm->remove(times->getOperand());
  }
}

void removeChildren(QroAlgorithmI* algorithm, QroExtractableI* x, void*) {
  if (QroBinaryNumConstraintI* c = dynamic_cast<QroBinaryNumConstraintI*>(x)) {
    if (c->getLeft()) algorithm->remove(c->getLeft());
    if (c->getRight()) algorithm->remove(c->getRight());
    return;
  }
  if (QroNumBinaryNodeI* node = dynamic_cast<QroNumBinaryNodeI*>(x)) {
    if (node->getLeft()) algorithm->remove(node->getLeft());
    if (node->getRight()) algorithm->remove(node->getRight());
  }
}

void removeDecisionVar(QroAlgorithmI* algorithm, QroExtractableI* x, void*) {
  QroDefaultCPExtractorI* d = solverOf(algorithm)->getExtractorManager()->getDefaultExtractor();
  if (d) d->removeDecisionVar(x);
}

// ---------------------------------------------------------------------------
// Models

void* extractModel(QroAlgorithmI* algorithm, QroExtractableI* x) {
  QroSolverI* solver = solverOf(algorithm);
  QroModelI* model = static_cast<QroModelI*>(x);
  QroSolverListenerList* listeners =
      solver->hasSolverListeners() ? solver->getSolverListeners() : nullptr;
  if (listeners) listeners->beginExtraction(model);
  QroInt failures = 0;
  for (QroModel::Iterator it(model); it.ok(); ++it) {
    QroExtractableI* member = *it;
    if (!member || solver->listenersHandle(member)) continue;
    if (listeners && listeners->offer(member)) continue;
    try {
      solver->QroAlgorithmI::extract(member);
      member->addToAlgorithm(solver, solver->getRecord(member));
    } catch (const QroAlgorithm::ExtractFailure&) {
      ++failures;
    }
  }
  solver->endModelExtraction(model);
  if (failures > 0) throw QroAlgorithm::ExtractFailure();
  return nullptr;
}

void removeModel(QroAlgorithmI* algorithm, QroExtractableI* x, void*) {
  QroSolverI* solver = solverOf(algorithm);
  QroInt failures = 0;
  for (QroModel::Iterator it(static_cast<QroModelI*>(x)); it.ok(); ++it) {
    QroExtractableI* member = *it;
    if (!member) continue;
    try {
      member->removeFromAlgorithm(solver, solver->getRecord(member));
      solver->QroAlgorithmI::remove(member);
    } catch (const QroAlgorithm::RemoveFailure&) {
      ++failures;
    }
  }
  if (failures > 0) throw QroAlgorithm::RemoveFailure();
}

void addConstraintToManager(QroAlgorithmI* algorithm, QroExtractableI* x, void* record) {
  QroSolverI* solver = solverOf(algorithm);
  QroExtractionRecord* r = static_cast<QroExtractionRecord*>(record);
  if (!r || !r->constraint || r->constraint == solver->getTrueConstraint()) return;
  try {
    QrcManagerI* m = solver->getManager();
    auto add = [m, r] { m->add(r->constraint); };
    m->runThrowing(add);
  } catch (const QrcFailException&) {
    // Posted at once (no edit mode) and failed: the model is inconsistent.
    solver->setInconsistent(1, x);
  }
}

void removeConstraintFromManager(QroAlgorithmI* algorithm, QroExtractableI*, void* record) {
  QroExtractionRecord* r = static_cast<QroExtractionRecord*>(record);
  if (!r || !r->constraint) return;
  QrcManagerI* m = solverOf(algorithm)->getManager();
  // Outside edit mode a posted constraint cannot be taken back: the model must
  // be extracted again.
  if (!m->isInEditMode() && r->constraint != solverOf(algorithm)->getTrueConstraint())
    throw QroAlgorithm::RemoveFailure();
  m->remove(r->constraint);
}

// ---------------------------------------------------------------------------
// Model changes

void applyAddOneToModel(QroAlgorithmI* algorithm, QroChange* change, void*) {
  QroSolverI* solver = solverOf(algorithm);
  QroExtractableI* added = static_cast<QroAddOneToModel*>(change)->getAdded();
  if (solver->isExtracting()) {
    solver->QroAlgorithmI::extract(added);
    added->addToAlgorithm(solver, solver->getRecord(added));
  } else {
    solver->notifyAddExtractable(added);
  }
  solver->raiseSyncLevel(0);
}

void applyAddArrayToModel(QroAlgorithmI* algorithm, QroChange* change, void*) {
  QroSolverI* solver = solverOf(algorithm);
  QroExtractableArray added = change->getChangedExtractableArray();
  for (QroInt i = 0; added.getImpl() && i < added.getSize(); ++i) {
    QroExtractableI* x = added[i];
    if (!x) continue;
    if (solver->isExtracting()) {
      solver->QroAlgorithmI::extract(x);
      x->addToAlgorithm(solver, solver->getRecord(x));
    } else {
      solver->notifyAddExtractable(x);
    }
  }
  solver->raiseSyncLevel(0);
}

void applyRemoveFromModel(QroAlgorithmI* algorithm, QroChange* change, void*) {
  QroSolverI* solver = solverOf(algorithm);
  QroExtractableArray removed = static_cast<QroRemoveFromModel*>(change)->getRemoved();
  if (!removed.getImpl()) return;
  for (QroInt i = 0; i < removed.getSize(); ++i) {
    QroExtractableI* x = removed[i];
    if (!x) continue;
    if (solver->isExtracting())
      solver->QroAlgorithmI::remove(x);
    else
      solver->notifyRemoveExtractable(x, nullptr);
  }
}

// ---------------------------------------------------------------------------
// Filling

void registerArithmeticHooks();

namespace {

void fillHookRecords() {
  registerArithmeticHooks();
  setHooks(QroModelI::Hooks, extractModel, removeModel, changeNeedsSync);
  QroObjectiveI::Hooks.change = changeNeedsSync;
  setHooks(QroNumVarI::Hooks, QroNumVarI::Hooks.extract, removeDecisionVar, changeNeedsSync);
  setHooks(QroIntSetVarI::Hooks, QroIntSetVarI::Hooks.extract, removeDecisionVar, changeNeedsSync);
  QroIntSetCardVarI::Hooks.change = changeNeedsSync;
  QroNumLinTermI::Hooks.change = changeNeedsSync;
  QroIntLinTermI::Hooks.change = changeNeedsSync;
  QroNumQuadExprI::Hooks.change = changeNeedsSync;
  QroExtractHooks* unary[] = {&QroNumSquareI::Hooks,   &QroNumTimesCstI::Hooks,
                              &QroNumDivCstI::Hooks,   &QroNumRecDivCstI::Hooks,
                              &QroIntTimesCstI::Hooks, &QroNumPowerCstI::Hooks};
  for (QroExtractHooks* h : unary) {
    h->remove = removeChild;
    h->change = changeNeedsSync;
  }
  QroExtractHooks* binary[] = {&QroNumTimesI::Hooks, &QroNumDivI::Hooks};
  for (QroExtractHooks* h : binary) {
    h->remove = removeChildren;
    h->change = changeNeedsSync;
  }
  setConstraintHooks(QroRangeI::Hooks, QroRangeI::Hooks.extract, removeChild, changeNeedsUpdate);
  setConstraintHooks(QroNumEqI::Hooks, QroNumEqI::Hooks.extract, removeChildren,
                     QroNumEqI::Hooks.change ? QroNumEqI::Hooks.change : changeNeedsUpdate);
  setConstraintHooks(QroLeLexI::Hooks, extractLeLex, removeArrays, changeNeedsUpdate);
  setConstraintHooks(QroGeLexI::Hooks, extractGeLex, removeArrays, changeNeedsUpdate);
  setConstraintHooks(QroStretchI::Hooks, extractStretch, removeArray, changeNeedsUpdate);
  setConstraintHooks(QroPatternI::Hooks, extractPattern, removeArray, changeNeedsUpdate);
  setHooks(QroIntCountValueEqI::Hooks, extractIntCountValueEq, removeArray, changeNeedsSync);
  // Expressions and constraints of classes without a record of their own.
  setHooks(QroNumExprI::Hooks, cannotExtract, cannotRemove, cannotChange);
  setHooks(QroIntExprI::Hooks, cannotExtract, cannotRemove, cannotChange);
  setConstraintHooks(QroConstraintI::Hooks, cannotExtract, cannotRemove, cannotChange);
  // Abstract binary constraints are never extracted on their own.
  setConstraintHooks(QroBinaryNumConstraintI::Hooks, cannotExtract, cannotRemove, cannotChange);

  QroSetNumVarBounds::Hooks.apply = applyNeedsReextract;
  QroNumLinTermRemoveVar::Hooks.apply = applyNeedsReextract;
  QroIntLinTermRemoveVar::Hooks.apply = applyNeedsReextract;
  QroRemoveFromAllChange::Hooks.apply = applyNeedsReextract;
  QroDestroyExtractable::Hooks.apply = applyNeedsReextract;
  QroDestroyExtractableArray::Hooks.apply = applyNeedsReextract;
  QroAddOneToModel::Hooks.apply = applyAddOneToModel;
  QroRemoveFromModel::Hooks.apply = applyRemoveFromModel;
}

}  // namespace

// The records are process-wide: filled once, by the first solver of any thread.
void registerExtractionHooks() {
  static std::once_flag filled;
  std::call_once(filled, fillHookRecords);
}
