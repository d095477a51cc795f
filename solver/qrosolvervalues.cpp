// Values of extracted objects read back from the engine, and the engine
// handles of extracted objects.
#include "qrosolveri.h"
#include "qrosolverextractor.h"
#include "qrcconstraint.h"
#include "qrcfloatexp.h"
#include "qrcint.h"
#include "qrcintexp.h"
#include "qrcfloatview.h"
#include "qrcimpact.h"
#include "qrcmanager.h"
#include "qrcpointerhash.h"
#include "qrcintset.h"
#include "qrointset.h"
#include "qrcbox.h"
#include "qrcintsetvar.h"

namespace {

QrcFloatExpI* floatExpOf(QroSolverI* s, QroExtractionRecord* r) {
  if (r->floatExp) return r->floatExp;
  QrcIntExpI* e = s->getIntExp(r);
  if (!e) return nullptr;
  return QrcGetFloatView(e);
}

const char* const kNotInteger = "An element of an integer array is not an integer expression";
const char* const kNotNumeric = "An element of a numeric array is not a numeric expression";

// The record of an array element; set variables and tuple sets have none.
QroExtractionRecord* elementRecord(QroSolverI* s, const QroExtractableI* x, const char* message) {
  if (x && x->isType(QroIntSetVarI::GetTypeInfo())) throw QroSolver::WrongType(message);
  QroExtractionRecord* r = s->getExtractedRecord(x);
  if (s->isTupleSet(r)) throw QroSolver::WrongType(message);
  return r;
}

}  // namespace

QrcIntExpI* QroSolverI::getIntExp(QroExtractionRecord* r) {
  if (!r) return nullptr;
  if (!r->intExp && r->constraint) {
    // The 0-1 truth of the constraint, made a variable once.
    QrcIntVar v(QrcIntExp(QrcConstraint(r->constraint)));
    r->intExp = v.getImpl();
  }
  return r->intExp;
}

QroNum QroSolverI::getObjValue() {
  QroDefaultCPExtractorI* d = _extractorManager->getDefaultExtractor();
  if (!d || !d->getObjective() || (!_intObjective && !_floatObjective))
    throw QroAlgorithm::NoObjectiveException(this);
  QroNum value = _intObjective
                     ? static_cast<QroNum>(static_cast<QrcIntExpI*>(_intObjective)->getValue())
                     : static_cast<QrcFloatExpI*>(_floatObjective)->getValue();
  return d->getObjective()->getSense() == QroObjectiveI::Maximize ? -value : value;
}

QroNum QroSolverI::getValue(QroObjectiveI* objective) {
  if (!objective) throw QroNotImplemented();
  QroDefaultCPExtractorI* d = _extractorManager->getDefaultExtractor();
  if (!d || d->getObjective() != objective)
    throw QroAlgorithm::NotExtractedException(this, objective);
  return getObjValue();
}

QroNum QroSolverI::getValue(QroNumVarI* v) {
  QroExtractionRecord* r = getExtractedRecord(v);
  if (v->getType() != QroNumVar::Float) return static_cast<QroNum>(getIntExp(r)->getValue());
  return floatExpOf(this, r)->getValue();
}

QroNum QroSolverI::getValue(QroConstraintI* c) {
  QroExtractionRecord* r = getExtractedRecord(c);
  QrcConstraintI* ct = r->constraint;
  if (ct && ct->isTrue()) return 1.0;
  if (ct && ct->isFalse()) return 0.0;
  throw QroSolver::Exception("Expression using not bound constraint");
}

QroInt QroSolverI::getIntValue(QroNumVarI* v) {
  QroExtractionRecord* r = getExtractedRecord(v);
  return getIntExp(r)->getValue();
}

QrcFloatVar QroSolver::getFloatVar(const QroNumVar& var) const {
  QroSolverI* s = check();
  QroExtractionRecord* r = s->checkFloatVar(var.getImpl());
  return QrcFloatVar(floatExpOf(s, r));
}

QrcIntVar QroSolver::getIntVar(const QroNumVar& var) const {
  QroSolverI* s = check();
  QroExtractionRecord* r = s->checkIntVar(var.getImpl());
  return QrcIntVar(s->getIntExp(r));
}

QrcConstraint QroSolver::getConstraint(const QroConstraint& ct) const {
  QroSolverI* s = check();
  QroExtractionRecord* r = s->checkConstraint(static_cast<QroConstraintI*>(ct.getImpl()));
  return QrcConstraint(r->constraint);
}

void QroSolverI::setValue(QrcIntExpI* var, QrcInt value) {
  if (_decisionLog) _decisionLog->addSetValue(var, value);
  if (_impacts)
    _impacts->setValue(var, value);
  else
    var->setValue(value);
}
void QroSolverI::removeValue(QrcIntExpI* var, QrcInt value) {
  if (_decisionLog) _decisionLog->addRemoveValue(var, value);
  if (_impacts)
    _impacts->removeValue(var, value);
  else
    var->removeValue(value);
}

QrcIntArray QroSolver::getIntArray(const QroIntArray& array) const {
  return check()->getIntArray(array);
}

QrcIntArray QroSolver::getIntArray(const QroNumArray& array) const {
  return check()->getIntArray(array);
}

QrcIntArray QroSolverI::getIntArray(const QroIntArray& array) {
  if (!array.getImpl()) throw QroSolver::EmptyHandle("Empty variable handle");
  QrcWord key = reinterpret_cast<QrcWord>(array.getImpl());
  if (QrcWord found = _arrayCache->find(key))
    return QrcIntArray(reinterpret_cast<QrcInt*>(found - 1));
  QroInt n = array.getSize();
  QrcIntArray engine(QrcManager(_manager), n, QrcInt(0));
  for (QroInt i = 0; i < n; ++i) engine[i] = array[i];
  // Only storage that no backtrack can take back is remembered.
  if (_manager->getOrRecordCount() == 0)
    _arrayCache->add(key, reinterpret_cast<QrcWord>(engine.getImpl()) + 1);
  return engine;
}

QrcIntArray QroSolverI::getIntArray(const QroNumArray& array) {
  if (!array.getImpl()) throw QroSolver::EmptyHandle("Empty variable handle");
  QroInt n = array.getSize();
  QrcIntArray engine(QrcManager(_manager), n, QrcInt(0));
  for (QroInt i = 0; i < n; ++i) engine[i] = toInteger(array[i]);
  return engine;
}

QrcFloatArray QroSolverI::getFloatArray(const QroNumArray& array) {
  if (!array.getImpl()) throw QroSolver::EmptyHandle("Empty variable handle");
  QroInt n = array.getSize();
  QrcFloatArray engine(QrcManager(_manager), n, 0.0);
  for (QroInt i = 0; i < n; ++i) engine[i] = array[i];
  return engine;
}

QrcIntVar QroSolverI::getIntVar(const QroExtractableI* x) {
  return QrcIntVar(getIntExp(getExtractedRecord(x)));
}

QrcFloatVar QroSolverI::getFloatVar(const QroExtractableI* x) {
  return QrcFloatVar(floatExpOf(this, getExtractedRecord(x)));
}

QrcConstraint QroSolverI::getConstraint(const QroExtractableI* x) {
  return QrcConstraint(getExtractedRecord(x)->constraint);
}

QrcBox QroSolverI::getBox(const QroExtractableI* x) {
  return QrcBox(dynamic_cast<QrcBoxI*>(getExtractedRecord(x)->constraint));
}

QrcIntVarArray QroSolverI::getIntVarArray(const QroArray& array) {
  QroExtractableArray a(array.getImpl());
  QroInt n = a.getImpl() ? a.getSize() : 0;
  QrcIntVarArray engine(QrcManager(_manager), n);
  for (QroInt i = 0; i < n; ++i) {
    QrcIntExpI* e = getIntExp(elementRecord(this, a[i], kNotInteger));
    if (!e) throw QroSolver::WrongType(kNotInteger);
    engine.set(i, QrcIntVar(e));
  }
  return engine;
}

QrcFloatVarArray QroSolverI::getFloatVarArray(const QroArray& array) {
  QroExtractableArray a(array.getImpl());
  QroInt n = a.getImpl() ? a.getSize() : 0;
  QrcFloatVarArray engine(QrcManager(_manager), n);
  for (QroInt i = 0; i < n; ++i) {
    QrcFloatExpI* e = floatExpOf(this, elementRecord(this, a[i], kNotNumeric));
    if (!e) throw QroSolver::WrongType(kNotNumeric);
    engine.set(i, QrcFloatVar(e));
  }
  return engine;
}

QrcIntSetVarArray QroSolverI::getIntSetVarArray(const QroArray& array) {
  QroExtractableArray a(array.getImpl());
  QroInt n = a.getImpl() ? a.getSize() : 0;
  QrcIntSetVarArray engine(QrcManager(_manager), n);
  for (QroInt i = 0; i < n; ++i) engine.getImpl()->elementAt(i) = getIntSetVar(a[i]);
  return engine;
}

QrcIntSetI* QroSolverI::getIntSet(QroIntSetI* set) {
  if (!set) throw QroSolver::EmptyHandle("Empty variable handle");
  QrcWord key = reinterpret_cast<QrcWord>(set);
  if (QrcWord found = _arrayCache->find(key)) return reinterpret_cast<QrcIntSetI*>(found - 1);
  QroInt n = set->getSize();
  QrcManager m(_manager);
  QrcIntSetI* engine;
  if (n == 0) {
    // Built from the one value 0, which is then taken out.
    engine = QrcIntSet(m, QrcIntArray(m, 1, QrcInt(0)), 1).getImpl();
    engine->remove(0);
  } else {
    QrcIntArray values(m, n, QrcInt(0));
    for (QroInt i = 0; i < n; ++i) values[i] = set->getValue(i);
    engine = QrcIntSet(m, values, 1).getImpl();
  }
  if (_manager->getOrRecordCount() == 0)
    _arrayCache->add(key, reinterpret_cast<QrcWord>(engine) + 1);
  return engine;
}
