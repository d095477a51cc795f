// Extractor base, default extractor with its decision-variable list, the
// extractor manager plug-in and the add-on attaching the default extractor.
#include "qrosolverextractor.h"

#include "qrosolveri.h"
#include "qrcmanager.h"

QroCPExtractorI::~QroCPExtractorI() {}

void* QroCPExtractorI::operator new(size_t size, QrcManagerI* manager) {
  return manager->allocate(size);
}

QrcGoal QroCPExtractorI::makeGoal() {
  return QrcGoalTrue(QrcManager(_solver->getManager()));
}

// ---------------------------------------------------------------------------
// Default extractor

QroDefaultCPExtractorI::QroDefaultCPExtractorI(QroSolverI* solver)
    : QroCPExtractorI(solver), _objective(nullptr), _list(nullptr) {
  _list = newList();
  registerExtractionHooks();
}

QroDecisionVarList* QroDefaultCPExtractorI::newList() {
  QrcManagerI* m = _solver->getManager();
  QroDecisionVarList* list =
      static_cast<QroDecisionVarList*>(m->allocate(sizeof(QroDecisionVarList)));
  if (!list) return nullptr;
  list->first = nullptr;
  list->solver = _solver;
  return list;
}

void QroDefaultCPExtractorI::reset() {
  _objective = nullptr;
  _list = nullptr;
}

void QroDefaultCPExtractorI::init() {
  _list = newList();
}

void QroDefaultCPExtractorI::addDecisionVar(QroExtractableI* x, int kind) {
  if (!_list) return;
  QrcManagerI* m = _solver->getManager();
  QroDecisionVarNode* node =
      static_cast<QroDecisionVarNode*>(m->allocate(sizeof(QroDecisionVarNode)));
  node->extractable = x;
  node->kind = kind;
  node->next = _list->first;
  m->saveValue(&_list->first);
  _list->first = node;
}

void QroDefaultCPExtractorI::removeDecisionVar(QroExtractableI* x) {
  if (!_list) return;
  QroDecisionVarNode** link = &_list->first;
  for (QroDecisionVarNode* n = *link; n; link = &n->next, n = n->next) {
    if (n->extractable != x) continue;
    *link = n->next;
    return;
  }
}

// ---------------------------------------------------------------------------
// Extractor manager

QroSolverExtractorManagerI::~QroSolverExtractorManagerI() {}

void QroSolverExtractorManagerI::addExtractor(QroCPExtractorI* extractor) {
  if (extractor->getTypeInfo() == QroDefaultCPExtractorI::GetTypeInfo()) {
    _default = static_cast<QroDefaultCPExtractorI*>(extractor);
    return;
  }
  extractor->setNext(_chain);
  _chain = extractor;
}

QrcGoal QroSolverExtractorManagerI::makeGoal() {
  QrcGoal goal = QrcGoalTrue(QrcManager(_solver->getManager()));
  for (QroCPExtractorI* e = _chain; e; e = e->getNext()) goal = QrcAnd(e->makeGoal(), goal);
  if (_default) goal = QrcAnd(goal, _default->makeGoal());
  return goal;
}

void QroSolverExtractorManagerI::initExtractors() {
  for (QroCPExtractorI* e = _chain; e; e = e->getNext()) e->init();
  if (_default) _default->init();
}

void QroSolverExtractorManagerI::resetExtractors() {
  for (QroCPExtractorI* e = _chain; e; e = e->getNext()) e->reset();
  if (_default) _default->reset();
}

// ---------------------------------------------------------------------------
// Add-on

QroDefaultCPExtractorPlugInAddon::~QroDefaultCPExtractorPlugInAddon() {}

void QroDefaultCPExtractorPlugInAddon::attach(QroPlugIn* plugIn) {
  if (!plugIn || plugIn->getTypeInfo() != QroSolverExtractorManagerI::GetTypeInfo())
    throw QroWrongUsage("Wrong plugin for the solver default extractor");
  QroSolverExtractorManagerI* manager = static_cast<QroSolverExtractorManagerI*>(plugIn);
  QroSolverI* solver = manager->getSolver();
  QroDefaultCPExtractorI* extractor =
      new (solver->getObjectManager()) QroDefaultCPExtractorI(solver);
  manager->addExtractor(extractor);
}
