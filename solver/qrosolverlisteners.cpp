// The solver's listener list: registration, the offers of model members and
// added constraints, the extraction brackets, and the engine link.
#include "qrosolverlistener.h"

#include "qroenv.h"
#include "qroexception.h"
#include "qroregistry.h"
#include "qrosolveri.h"

QroSolverListenerI::QroSolverListenerI(QroEnvI* env)
    : QroEnvObjectI(env),
      _solver(nullptr),
      _linking(nullptr),
      _registration(nullptr),
      _next(nullptr),
      _notifier(nullptr),
      _wantsVariables(0),
      _claims(0) {}

QroSolverListenerI::~QroSolverListenerI() {}

void QroSolverListenerList::add(QroSolverListenerI* listener) {
  if (!listener) throw QroWrongUsage("Adding an empty solver listener");
  if (listener->_solver) throw QroWrongUsage("The listener already belongs to a solver");
  listener->_solver = _solver;
  listener->_next = nullptr;
  QroSolverListenerI** p = &_first;
  while (*p) p = &(*p)->_next;
  *p = listener;
}

bool QroSolverListenerList::remove(QroSolverListenerI* listener) {
  for (QroSolverListenerI** p = &_first; *p; p = &(*p)->_next) {
    if (*p != listener) continue;
    *p = listener->_next;
    detach(listener);
    return true;
  }
  return false;
}

void QroSolverListenerList::detach(QroSolverListenerI* l) {
  if (l->_registration) {
    l->getEnv()->getPlugInRegistry()->removeListener(l->_registration);
    delete l->_registration;
    l->_registration = nullptr;
  }
  if (l->_notifier) {
    _solver->getManager()->removeVarNotify(l->_notifier);
    l->_notifier = nullptr;
  }
  l->_linking = nullptr;
  l->_solver = nullptr;
  l->_next = nullptr;
}

void QroSolverListenerList::beginExtraction(QroModelI* model) {
  QrcManagerI* m = _solver->getManager();
  for (QroSolverListenerI* l = _first; l; l = l->_next) {
    l->beginExtraction(model);
    if (l->_wantsVariables && !l->_notifier) {
      l->_notifier = new (m) QrcAggregatorVarNotifyI(m, l);
      m->addVarNotify(l->_notifier);
    }
  }
}

QroBool QroSolverListenerList::offer(QroExtractableI* x) {
  QroBool taken = 0;
  for (QroSolverListenerI* l = _first; l; l = l->_next) {
    if (!l->claim(x)) continue;
    ++l->_claims;
    taken = 1;
  }
  return taken;
}

void QroSolverListenerList::endExtraction(QroModelI* model) {
  QrcManagerI* m = _solver->getManager();
  for (QroSolverListenerI* l = _first; l; l = l->_next) {
    l->endExtraction(model);
    l->_linking = new (m) QrcAggregatorLinkingConstraintI(m, l);
    m->add(l->_linking);
  }
}

QroBool QroSolverListenerList::notifyAdd(QrcConstraintI* ct) {
  QrcManagerI* m = _solver->getManager();
  QroBool taken = 0;
  if (m->getCurrentDemon()) {
    for (QroSolverListenerI* l = _first; l; l = l->_next) {
      if (!l->constraintAddedInPropagation(ct)) continue;
      ++l->_claims;
      taken = 1;
    }
  } else {
    for (QroSolverListenerI* l = _first; l; l = l->_next) l->constraintAdded(ct);
  }
  return taken;
}

void QroSolverListenerList::synchronized() {
  for (QroSolverListenerI* l = _first; l; l = l->_next) l->synchronized();
}

void QroSolverListenerList::reset() {
  QrcManagerI* m = _solver->getManager();
  for (QroSolverListenerI* l = _first; l; l = l->_next) {
    l->_linking = nullptr;
    QrcVarNotifyI* old = l->_notifier;
    if (old) {
      m->removeVarNotify(old);
      l->_notifier = nullptr;
    }
    l->reset(old);
  }
}

void QroSolverListenerList::detachAll() {
  reset();
  while (_first) {
    QroSolverListenerI* l = _first;
    _first = l->_next;
    detach(l);
  }
}
