// Solution operations of the solver: saved domains read from the engine
// variables, imposed on them again and checked against them.
#include "qrosolversolution.h"

#include "qrosolveri.h"
#include "qrolinear.h"
#include "qromodel.h"
#include "qroregistry.h"
#include "qrcfloatexp.h"
#include "qrcfloatview.h"
#include "qrcintexp.h"
#include "qrcintset.h"
#include "qrcintsetvar.h"

namespace {

const char* const kSolutionName = "CPSolutionManager";

const QroSolverSolutionOpsNumVarAux kNumVarAux;
const QroSolverSolutionOpsObjectiveAux kObjectiveAux;
const QroSolverSolutionOpsIntSetVarAux kIntSetVarAux;

bool isIntegerType(const QroNumVarI* v) {
  return v->getType() != QroNumVar::Float;
}

QrcFloatExpI* floatOf(QroSolverI* s, QroExtractionRecord* r) {
  if (r->kind == QroExtractionRecord::FloatKind) return r->floatExp;
  return QrcGetFloatView(s->getIntExp(r));
}

// The bound of an extracted expression on one side (a node's bounds brought
// up to date first), as a double.
QroNum boundOf(QroSolverI* s, QroExtractionRecord* r, bool upper) {
  if (r->kind == QroExtractionRecord::FloatKind)
    return upper ? r->floatExp->getMax() : r->floatExp->getMin();
  QrcIntExpI* e = s->getIntExp(r);
  return static_cast<QroNum>(upper ? e->getMax() : e->getMin());
}

}  // namespace

// ---------------------------------------------------------------------------
// Numeric variables

void QroSolverSolutionOpsNumVarAux::store(QroSolverI* s, QroSavedNumVarI* saved) const {
  QroNumVarI* v = saved->getVar();
  QroExtractionRecord* r = s->getExtractedRecord(v);
  if (isIntegerType(v)) {
    QrcIntExpI* e = s->getIntExp(r);
    QrcInt min = e->getMin(), max = e->getMax();
    if (min == max) {
      saved->setValue(static_cast<QroInt>(min));
      return;
    }
    saved->setDomain(static_cast<QroNum>(min), static_cast<QroNum>(max));
    QrcInt width = max - min + 1;
    if (width < 0 || e->getSize() == width) return;
    QroHashSavedIntDomainI* values = saved->getIntDomain();
    for (QrcInt x = min;;) {
      values->add(x);
      QrcInt next = e->getNextHigher(x);
      if (next == x) break;
      x = next;
    }
    return;
  }
  QrcFloatExpI* f = floatOf(s, r);
  if (!v->isEnumerated()) {
    saved->setDomain(f->getMin(), f->getMax());
    return;
  }
  if (f->isBound()) {
    saved->setValue(static_cast<QroNum>(f->getValue()));
    return;
  }
  saved->setDomain(f->getMin(), f->getMax());
  QroSavedNumDomainI* values = saved->getNumDomain();
  for (QrcFloat x = f->getMin();;) {
    values->add(x);
    QrcFloat next = f->getNextHigher(x);
    if (!(next > x)) break;
    x = next;
  }
}

void QroSolverSolutionOpsNumVarAux::restore(QroSolverI* s, QroSavedNumVarI* saved) const {
  QroNumVarI* v = saved->getVar();
  QroExtractionRecord* r = s->getExtractedRecord(v);
  if (isIntegerType(v)) {
    QrcIntExpI* e = s->getIntExp(r);
    if (saved->isBound()) {
      e->setValue(QroSolution::getValue(saved));
      return;
    }
    QrcInt lo = saved->getIntLB(), hi = saved->getIntUB();
    e->setRange(lo, hi);
    QrcInt width = hi - lo + 1;
    if (saved->getSize() >= width || width >= QrcIntMax) return;
    // The next value is read before the current one goes.
    for (QrcInt x = e->getMin();;) {
      QrcInt next = e->getNextHigher(x);
      if (!saved->isInDomain(static_cast<QroNum>(x))) e->removeValue(x);
      if (next == x) break;
      x = next;
    }
    return;
  }
  QrcFloatExpI* f = floatOf(s, r);
  if (!v->isEnumerated()) {
    f->setRange(saved->getMin(), saved->getMax());
    return;
  }
  QrcFloat tolerance = f->getPrecision();
  if (saved->isBound(tolerance)) {
    f->setValue(saved->getValue(tolerance));
    return;
  }
  f->setRange(saved->getMin(), saved->getMax());
  if (f->isBound()) return;
  for (QrcFloat x = f->getMin();;) {
    QrcFloat next = f->getNextHigher(x);
    if (!saved->isInDomain(x)) f->removeValue(x);
    if (!(next > x)) break;
    x = next;
  }
}

QroBool QroSolverSolutionOpsNumVarAux::isFeasible(QroSolverI* s, QroSavedNumVarI* saved) const {
  QroNumVarI* v = saved->getVar();
  QroExtractionRecord* r = s->getExtractedRecord(v);
  if (isIntegerType(v)) {
    QrcIntExpI* e = s->getIntExp(r);
    if (saved->isBound()) return e->isInDomain(QroSolution::getValue(saved)) ? 1 : 0;
    QrcInt lo = saved->getIntLB(), hi = saved->getIntUB();
    QrcInt min = e->getMin(), max = e->getMax();
    if (lo > max || hi < min) return 0;
    if (saved->getSize() >= hi - lo + 1) return 1;
    // The engine values within the saved bounds, from the lowest up.
    QrcInt x = lo <= min ? min : e->isInDomain(lo) ? lo : e->getNextHigher(lo);
    QrcInt last = hi < max ? hi : max;
    while (x <= last) {
      if (saved->isInDomain(static_cast<QroNum>(x))) return 1;
      QrcInt next = e->getNextHigher(x);
      if (next == x) break;
      x = next;
    }
    return 0;
  }
  QrcFloatExpI* f = floatOf(s, r);
  QrcFloat tolerance = f->getPrecision();
  if (v->isEnumerated() && saved->isBound(tolerance))
    return f->isInDomain(saved->getValue(tolerance)) ? 1 : 0;
  if (saved->getMin() > f->getMax() || f->getMin() > saved->getMax()) return 0;
  if (!v->isEnumerated() || f->isBound()) return 1;
  for (QrcFloat x = f->getMin();;) {
    if (saved->isInDomain(x)) return 1;
    QrcFloat next = f->getNextHigher(x);
    if (!(next > x)) break;
    x = next;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Objectives

void QroSolverSolutionOpsObjectiveAux::store(QroSolverI* s, QroSavedObjective* saved) const {
  QroObjectiveI* o = saved->getObjective();
  // An upper bound of a minimised cost, a lower bound of a maximised gain.
  bool upper = o->getSense() == QroObjectiveI::Minimize;
  if (QroExtractionRecord* r = s->getRecord(o)) {
    saved->setValue(boundOf(s, r, upper));
    return;
  }
  // An objective a * x + k over one extracted variable: the bound of x on the
  // side that gives the objective's bound.
  QroNumExprI* e = o->getExpr();
  QroNumVarI* x = o->getSingleVariable();
  QroNum a = 1.0, k = 0.0;
  if (x) {
    const QroNumLinTermI* t = static_cast<const QroNumLinTermI*>(e);
    a = t->getFirstNode()->coef;
    k = t->getConstant();
  } else if (e && e->isNumVar()) {
    x = static_cast<QroNumVarI*>(e);
  }
  QroExtractionRecord* r = x ? s->getRecord(x) : nullptr;
  if (r)
    saved->setValue(a * boundOf(s, r, a >= 0 ? upper : !upper) + k);
  else
    saved->setValue(s->getValue(e));
}

// ---------------------------------------------------------------------------
// Integer-set variables

namespace {

void copyMembers(const QrcIntSetI* set, QroSavedIntDomainI* saved) {
  saved->clear();
  QrcIntSetIterator it(set);
  for (QrcInt v; it.next(v);) saved->add(v);
}

class Scan : public QroSavedIntDomainI::VisitorI {
 public:
  explicit Scan(QrcIntSetVarI* var) : _var(var) {}
  void visit(QroInt v) override { _var->addRequired(v); }

 private:
  QrcIntSetVarI* _var;
};

// Whether every visited value can be in the engine variable.
class AllPossible : public QroSavedIntDomainI::VisitorI {
 public:
  explicit AllPossible(QrcIntSetVarI* var) : ok(true), _var(var) {}
  void visit(QroInt v) override {
    if (ok && !_var->isPossible(v)) ok = false;
  }
  bool ok;

 private:
  QrcIntSetVarI* _var;
};

}  // namespace

void QroSolverSolutionOpsIntSetVarAux::store(QroSolverI* s, QroSavedIntSetVarI* saved) const {
  QrcIntSetVarI* var = s->getIntSetVar(saved->getVar());
  copyMembers(var->getRequired(), saved->getRequiredSet());
  copyMembers(var->getPossible(), saved->getPossibleSet());
}

void QroSolverSolutionOpsIntSetVarAux::restore(QroSolverI* s, QroSavedIntSetVarI* saved) const {
  QrcIntSetVarI* var = s->getIntSetVar(saved->getVar());
  if (QroSavedIntDomainI* required = saved->findRequiredSet()) {
    Scan scan(var);
    required->visitAll(&scan);
  }
  QrcIntSetI* possible = var->getPossible();
  QrcInt lo = var->getUniverseMin(), hi = var->getUniverseMax();
  QrcInt x = possible->firstMemberInRange(lo, hi);
  if (x < lo) return;
  // The next member is read before the current one goes.
  for (;;) {
    QrcInt next = possible->getNextHigher(x);
    if (var->isPossible(x) && !saved->isPossible(x)) var->removePossible(x);
    if (next == x) break;
    x = next;
  }
}

QroBool QroSolverSolutionOpsIntSetVarAux::isFeasible(QroSolverI* s,
                                                     QroSavedIntSetVarI* saved) const {
  QrcIntSetVarI* var = s->getIntSetVar(saved->getVar());
  if (QroSavedIntDomainI* required = saved->findRequiredSet()) {
    AllPossible check(var);
    required->visitAll(&check);
    if (!check.ok) return 0;
  }
  QrcIntSetIterator it(var->getRequired());
  for (QrcInt v; it.next(v);)
    if (!saved->isPossible(v)) return 0;
  return 1;
}

// ---------------------------------------------------------------------------
// Operations and add-ons

template <class Aux, class R>
QroSolverSolutionOperations<Aux, R>::~QroSolverSolutionOperations() {}

template <class Aux, class R>
QroSolutionOperationsI* QroSolverSolutionOperations<Aux, R>::makeClone(QroGenAlloc* a) const {
  return new (a) QroSolverSolutionOperations(a, _typeIndex, _flags, _aux);
}

template <class Aux, class R>
bool QroSolverSolutionOperations<Aux, R>::applies(QroAlgorithmI* algorithm,
                                                  QroSolutionElementI* element, QroInt bit) const {
  const QroExtractableI* x = element->getExtractable();
  return (_flags & bit) != 0 || (x && algorithm->isUsing(x->getId()));
}

template <class Aux, class R>
void QroSolverSolutionOperations<Aux, R>::store(QroAlgorithmI* algorithm,
                                                QroSolutionElementI* element) const {
  if (applies(algorithm, element, StoreAlways))
    _aux->store(static_cast<QroSolverI*>(algorithm), static_cast<R*>(element));
}

template <class Aux, class R>
void QroSolverSolutionOperations<Aux, R>::restore(QroAlgorithmI* algorithm,
                                                  QroSolutionElementI* element) const {
  if (applies(algorithm, element, RestoreAlways))
    _aux->restore(static_cast<QroSolverI*>(algorithm), static_cast<R*>(element));
}

template <class Aux, class R>
QroBool QroSolverSolutionOperations<Aux, R>::isFeasible(QroAlgorithmI* algorithm,
                                                        QroSolutionElementI* element) const {
  if (!applies(algorithm, element, CheckAlways)) return 1;
  return _aux->isFeasible(static_cast<QroSolverI*>(algorithm), static_cast<R*>(element));
}

template class QroSolverSolutionOperations<QroSolverSolutionOpsNumVarAux, QroSavedNumVarI>;
template class QroSolverSolutionOperations<QroSolverSolutionOpsObjectiveAux, QroSavedObjective>;
template class QroSolverSolutionOperations<QroSolverSolutionOpsIntSetVarAux, QroSavedIntSetVarI>;

namespace {
template <class Ops, class Aux>
QroSolutionOperationsI* prototype(QroEnvI* env, QroInt typeIndex, const Aux* aux) {
  QroGenAlloc* a = env->getGeneralAllocator();
  return new (a) Ops(a, typeIndex, 0, aux);
}
}  // namespace

QroSolutionOperationsAddonQroSolverQroNumVar::QroSolutionOperationsAddonQroSolverQroNumVar(
    QroEnvI* env)
    : QroSolutionManagerPlugIn(env, prototype<QroSolutionOperationsQroSolverQroNumVar>(
                                        env, QroNumVarI::GetTypeIndex(), &kNumVarAux)) {}
QroSolutionOperationsAddonQroSolverQroNumVar::~QroSolutionOperationsAddonQroSolverQroNumVar() {}

QroSolutionOperationsAddonQroSolverQroObjective::QroSolutionOperationsAddonQroSolverQroObjective(
    QroEnvI* env)
    : QroSolutionManagerPlugIn(env, prototype<QroSolutionOperationsQroSolverQroObjective>(
                                        env, QroObjectiveI::GetTypeIndex(), &kObjectiveAux)) {}
QroSolutionOperationsAddonQroSolverQroObjective::
    ~QroSolutionOperationsAddonQroSolverQroObjective() {}

QroSolutionOperationsAddonQroSolverQroIntSetVar::QroSolutionOperationsAddonQroSolverQroIntSetVar(
    QroEnvI* env)
    : QroSolutionManagerPlugIn(env, prototype<QroSolutionOperationsQroSolverQroIntSetVar>(
                                        env, QroIntSetVarI::GetTypeIndex(), &kIntSetVarAux)) {}
QroSolutionOperationsAddonQroSolverQroIntSetVar::
    ~QroSolutionOperationsAddonQroSolverQroIntSetVar() {}

namespace {
template <class Addon>
void addOnce(QroEnvI* env) {
  QroPlugInRegistry* registry = env->getPlugInRegistry();
  if (!registry->hasAddon(Addon::GetTypeInfo(), kSolutionName))
    registry->addAddon(new (env) Addon(env), kSolutionName);
}
}  // namespace

void QroRegisterSolverSolutionOperations(QroSolverI* solver) {
  QroEnvI* env = solver->getEnv();
  QroSolutionManagerI* m = solver->initSolutionManager(kSolutionName);
  addOnce<QroSolutionOperationsAddonQroSolverQroNumVar>(env);
  addOnce<QroSolutionOperationsAddonQroSolverQroObjective>(env);
  addOnce<QroSolutionOperationsAddonQroSolverQroIntSetVar>(env);
  m->markAlwaysApplied(QroObjectiveI::GetTypeIndex());
}

void QroUnregisterSolverSolutionOperations(QroSolverI* solver) {
  solver->endSolutionManager(kSolutionName);
}
