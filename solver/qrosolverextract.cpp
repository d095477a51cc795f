// Extraction of numeric variables, arithmetic nodes, ranges, equalities and
// objectives into engine expressions and constraints.
#include <cfloat>
#include <cmath>

#include "qrosolverextractor.h"
#include "qrosolveri.h"
#include "qrosolverpresolve.h"
#include "qrolinear.h"
#include "qromodel.h"
#include "qrcconstraint.h"
#include "qrcfloatarith.h"
#include "qrcfloatcompare.h"
#include "qrcfloatconst.h"
#include "qrcfloatexp.h"
#include "qrcfloatfunctions.h"
#include "qrcfloatnodes.h"
#include "qrcfloatshaving.h"
#include "qrcfloatview.h"
#include "qrcint.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintexp.h"
#include "qrcintshaving.h"
#include "qrcintset.h"
#include "qrcintsetvar.h"
#include "qrointset.h"
#include "qrcmanager.h"
#include "qrcpointerhash.h"

namespace {

QroSolverI* solverOf(QroAlgorithmI* a) {
  return static_cast<QroSolverI*>(a);
}

QroExtractionRecord* extractChild(QroSolverI* s, QroExtractableI* c) {
  s->QroAlgorithmI::extract(c);
  return s->getExtractedRecord(c);
}

bool isIntRecord(const QroExtractionRecord* r) {
  return r && r->kind == QroExtractionRecord::IntKind;
}

bool integral(double v) {
  return std::floor(v) == v;
}

// The float expression of a record: an integer one is seen through its float view.
QrcFloatExp floatOf(QroSolverI* s, QroExtractionRecord* r) {
  if (r->kind == QroExtractionRecord::FloatKind) return QrcFloatExp(r->floatExp);
  return QrcFloatExp(QrcGetFloatView(s->getIntExp(r)));
}

QrcManager managerOf(QroSolverI* s) {
  return QrcManager(s->getManager());
}

QrcIntExp intOf(QroSolverI* s, QroExtractionRecord* r) {
  return QrcIntExp(s->getIntExp(r));
}

void* intRecord(QroSolverI* s, const QrcIntExp& e) {
  return s->makeIntRecord(e.getImpl());
}

// An integral constant that an engine integer can hold.
bool engineInteger(double v) {
  return integral(v) && std::fabs(v) <= static_cast<double>(QrcIntMax);
}

void* floatRecord(QroSolverI* s, const QrcFloatExp& e) {
  return s->makeFloatRecord(e.getImpl());
}

// Variables are marked for shaving by their presence in the solver's second
// pointer hash.
bool markedForShaving(QroSolverI* s, QroExtractableI* x) {
  QrcPointerHashMap* marked = s->getMembershipHash();
  return marked && marked->contains(reinterpret_cast<QrcWord>(x));
}

// The bounds of an integer variable's domain, clamped to what the engine holds.
QrcInt clampedBound(double v) {
  if (!(v < static_cast<double>(QrcIntMax))) return QrcIntMax;
  if (!(v > static_cast<double>(QrcIntMin))) return QrcIntMin;
  return static_cast<QrcInt>(v);
}

// The expression presolve found to define a variable, or null.
QroNumExprI* presolvedDefinition(QroSolverI* s, QroExtractableI* x) {
  if (!s->isPresolveOn() || !s->getPresolve()) return nullptr;
  QrcPresolvedNumVarI* def = static_cast<QrcPresolvedNumVarI*>(
      s->getPresolve()->findInformation(x, QrcPresolvedNumVarI::GetTypeInfo()));
  return def ? def->getExpr() : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------
// Variables

namespace {

// The record of a variable with an enumerated domain.
QroExtractionRecord* enumeratedVarRecord(QroSolverI* s, QroNumVarI* v, const QrcManager& m) {
  const char* name = v->getName();
  if (v->getType() == QroNumVar::Float) {
    QroNumArray values = v->getNumValues();
    QrcFloatArray engine(m, values.getSize());
    for (QroInt i = 0; i < values.getSize(); ++i) engine[i] = values[i];
    return s->makeFloatRecord(QrcFloatVar(m, engine, name).getImpl());
  }
  // Values beyond the engine's limits are left out, as for an interval.
  QroIntArray values = v->getIntValues();
  QroInt held = 0;
  for (QroInt i = 0; i < values.getSize(); ++i)
    if (values[i] >= QrcIntMin && values[i] <= QrcIntMax) ++held;
  if (held == 0 && values.getSize() > 0) throw QroSolver::IntegerOverflow();
  QrcIntArray engine(m, held, QrcInt(0));
  held = 0;
  for (QroInt i = 0; i < values.getSize(); ++i)
    if (values[i] >= QrcIntMin && values[i] <= QrcIntMax) engine[held++] = values[i];
  return s->makeIntRecord(QrcIntVar(m, engine, name).getImpl());
}

}  // namespace

void* extractNumVar(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroNumVarI* v = static_cast<QroNumVarI*>(x);
  const char* name = v->getName();
  int type = v->getType();
  QrcManager m = managerOf(s);
  QroExtractionRecord* record = nullptr;
  if (v->isEnumerated()) {
    record = enumeratedVarRecord(s, v, m);
  } else if (type == QroNumVar::Float) {
    double lb = v->getLB(), ub = v->getUB();
    if (lb > ub) {
      s->setInconsistent(1, x);
      return nullptr;
    }
    QrcFloatVar var;
    if (QroNumExprI* def = presolvedDefinition(s, x)) {
      QroExtractionRecord* r = extractChild(s, def);
      var = QrcFloatVar(floatOf(s, r));
      var.getImpl()->setRange(lb, ub);
      if (name) var.setName(name);
    } else {
      var = QrcFloatVar(m, lb, ub, name);
    }
    addGlobalFloatShaving(var);
    if (markedForShaving(s, x)) addFloatShaving(var);
    record = s->makeFloatRecord(var.getImpl());
  } else {
    QrcInt lb = clampedBound(std::ceil(v->getLB())), ub = clampedBound(std::floor(v->getUB()));
    if (lb > ub) {
      s->setInconsistent(1, x);
      return nullptr;
    }
    QrcIntVar var;
    if (QroNumExprI* def = presolvedDefinition(s, x)) {
      QroExtractionRecord* r = extractChild(s, def);
      if (!isIntRecord(r))
        throw QroSolver::WrongType("An integer variable cannot be defined by a float expression");
      var = QrcIntVar(intOf(s, r));
      var.getImpl()->setRange(lb, ub);
    } else {
      var = QrcIntVar(m, lb, ub, name);
    }
    addGlobalIntShaving(var);
    if (markedForShaving(s, x)) addIntShaving(var);
    record = s->makeIntRecord(var.getImpl());
  }
  if (QroDefaultCPExtractorI* d = s->getExtractorManager()->getDefaultExtractor())
    d->addDecisionVar(x, type == QroNumVar::Float ? QroDefaultCPExtractorI::FloatVar
                                                  : QroDefaultCPExtractorI::IntVar);
  return record;
}

// ---------------------------------------------------------------------------
// Integer-set variables

void* extractIntSetVar(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroIntSetVarI* v = static_cast<QroIntSetVarI*>(x);
  QrcManager m = managerOf(s);
  QrcIntSetVar var(m, QrcIntSet(s->getIntSet(v->getPossibleSet())), v->getName());
  if (QroIntSetI* required = v->getRequiredSet())
    for (QroInt i = 0; i < required->getSize(); ++i)
      var.getImpl()->addRequired(required->getValue(i));
  if (QroDefaultCPExtractorI* d = s->getExtractorManager()->getDefaultExtractor())
    d->addDecisionVar(x, QroDefaultCPExtractorI::IntSetVar);
  return var.getImpl();
}

void* extractIntSetCardVar(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroIntSetCardVarI* v = static_cast<QroIntSetCardVarI*>(x);
  s->QroAlgorithmI::extract(v->getSetVar());
  QrcIntVar card(s->getIntSetVar(v->getSetVar())->getCardinality());
  if (v->getName()) card.getImpl()->setName(v->getName());
  if (QroDefaultCPExtractorI* d = s->getExtractorManager()->getDefaultExtractor())
    d->addDecisionVar(x, v->getType() == QroNumVar::Float ? QroDefaultCPExtractorI::FloatVar
                                                          : QroDefaultCPExtractorI::IntVar);
  return s->makeIntRecord(card.getImpl());
}

void removeSetCardVar(QroAlgorithmI* a, QroExtractableI* x, void* argument) {
  a->remove(static_cast<QroIntSetCardVarI*>(x)->getSetVar());
  removeDecisionVar(a, x, argument);
}

// ---------------------------------------------------------------------------
// Sums

namespace {

// The items of a sum, each extracted: how many, how many go to the integer
// and to the float array, how many are constraints.
struct SumItems {
  QroInt ints = 0, floats = 0, constraints = 0, items = 0;
};

SumItems extractSumItems(QroSolverI* s, QroNumLinTermI* t) {
  SumItems c;
  for (QroExprNode* n = t->getFirstExpr(); n; n = n->next) {
    QroExtractionRecord* r = extractChild(s, n->expr);
    ++c.items;
    if (isIntRecord(r)) {
      ++c.ints;
      if (n->expr->isType(QroConstraintI::GetTypeInfo())) ++c.constraints;
    } else {
      ++c.floats;
    }
  }
  for (QroLinearNode* n = t->getFirstNode(); n; n = n->next) {
    if (n->coef == 0.0) continue;
    QroExtractionRecord* r = extractChild(s, n->var);
    ++c.items;
    if (isIntRecord(r) && engineInteger(n->coef))
      ++c.ints;
    else
      ++c.floats;
  }
  return c;
}

// The engine terms of a sum's items in list order: integer ones into the
// integer array, the others (an integer variable with a fractional
// coefficient included) into the float one; *ni and *nf count them.
void fillSumTerms(QroSolverI* s, QroNumLinTermI* t, QrcIntExpI** intTerms, QroInt* ni,
                  QrcFloatExpI** floatTerms, QroInt* nf) {
  for (QroExprNode* n = t->getFirstExpr(); n; n = n->next) {
    QroExtractionRecord* r = s->getExtractedRecord(n->expr);
    if (isIntRecord(r))
      intTerms[(*ni)++] = intOf(s, r).getImpl();
    else
      floatTerms[(*nf)++] = floatOf(s, r).getImpl();
  }
  for (QroLinearNode* n = t->getFirstNode(); n; n = n->next) {
    if (n->coef == 0.0) continue;
    QroExtractionRecord* r = s->getExtractedRecord(n->var);
    if (isIntRecord(r) && engineInteger(n->coef)) {
      QrcIntExp e = intOf(s, r);
      intTerms[(*ni)++] = (n->coef == 1.0 ? e : e * static_cast<QrcInt>(n->coef)).getImpl();
    } else if (isIntRecord(r)) {
      floatTerms[(*nf)++] = (intOf(s, r) * static_cast<QrcFloat>(n->coef)).getImpl();
    } else {
      QrcFloatExp e = floatOf(s, r);
      floatTerms[(*nf)++] = (n->coef == 1.0 ? e : e * n->coef).getImpl();
    }
  }
}

}  // namespace

void* extractNumLinTerm(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroNumLinTermI* t = static_cast<QroNumLinTermI*>(x);
  QrcManagerI* m = s->getManager();
  double k = t->getConstant();
  SumItems c = extractSumItems(s, t);
  QroInt ints = c.ints, floats = c.floats, constraints = c.constraints, items = c.items;
  if (items == 0) {
    if (engineInteger(k))
      return s->makeIntRecord(QrcIntExp(QrcManager(m), static_cast<QrcInt>(k)).getImpl());
    return s->makeFloatRecord(QrcFloatConstI::make(m, k, k, nullptr));
  }
  if (items == 1 && constraints == 1 && k == 0.0) {
    QroExtractionRecord* r = s->getExtractedRecord(t->getFirstExpr()->expr);
    return s->makeConstraintRecord(nullptr, r->constraint);
  }
  // The integer and the float terms, on the manager's heap.
  QrcIntExpI** intTerms =
      ints > 0
          ? static_cast<QrcIntExpI**>(m->allocate(static_cast<size_t>(ints) * sizeof(QrcIntExpI*)))
          : nullptr;
  QrcFloatExpI** floatTerms = floats > 0 ? static_cast<QrcFloatExpI**>(m->allocate(
                                               static_cast<size_t>(floats) * sizeof(QrcFloatExpI*)))
                                         : nullptr;
  QroInt ni = 0, nf = 0;
  fillSumTerms(s, t, intTerms, &ni, floatTerms, &nf);
  QrcIntExp isum;
  if (ni > 0) isum = ni == 1 ? QrcIntExp(intTerms[0]) : QrcSum(QrcManager(m), ni, intTerms);
  if (nf == 0) {
    if (k == 0.0) return intRecord(s, isum);
    if (engineInteger(k)) return intRecord(s, isum + static_cast<QrcInt>(k));
    return floatRecord(s, isum + static_cast<QrcFloat>(k));
  }
  QrcFloatExp sum = nf == 1 ? QrcFloatExp(floatTerms[0])
                            : QrcFloatExp(new (m) QrcFloatArraySumI(m, nf, floatTerms));
  if (ni > 0) sum = sum + isum;
  if (k != 0.0) sum = sum + k;
  return floatRecord(s, sum);
}

void* extractIntLinTerm(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroIntLinTermI* t = static_cast<QroIntLinTermI*>(x);
  QroInt n = 0;
  for (QroExprNode* e = t->getFirstExpr(); e; e = e->next, ++n) extractChild(s, e->expr);
  for (QroLinearNode* l = t->getFirstNode(); l; l = l->next)
    if (l->coef != 0.0) {
      extractChild(s, l->var);
      ++n;
    }
  QrcManagerI* m = s->getManager();
  if (n == 0) return s->makeIntRecord(QrcIntExp(QrcManager(m), t->getConstantValue()).getImpl());
  QrcIntExpI** terms =
      static_cast<QrcIntExpI**>(m->allocate(static_cast<size_t>(n) * sizeof(QrcIntExpI*)));
  QroInt i = 0;
  for (QroExprNode* e = t->getFirstExpr(); e; e = e->next)
    terms[i++] = intOf(s, s->getExtractedRecord(e->expr)).getImpl();
  for (QroLinearNode* l = t->getFirstNode(); l; l = l->next) {
    if (l->coef == 0.0) continue;
    QrcIntExp v = intOf(s, s->getExtractedRecord(l->var));
    if (!engineInteger(l->coef)) throw QroSolver::IntegerOverflow();
    terms[i++] = (l->coef == 1.0 ? v : v * static_cast<QrcInt>(l->coef)).getImpl();
  }
  QrcIntExp sum = QrcSum(QrcManager(m), n, terms);
  QroInt k = t->getConstantValue();
  return intRecord(s, k == 0 ? sum : sum + k);
}

void* extractNumQuadExpr(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroNumQuadExprI* q = static_cast<QroNumQuadExprI*>(x);
  QrcManagerI* m = s->getManager();
  QroInt n = 0;
  bool allInteger = true;
  for (QroQuadNode* t = q->getFirst(); t; t = t->next) {
    extractChild(s, t->first);
    extractChild(s, t->second);
    if (!engineInteger(t->coef) || t->first->getType() == QroNumVar::Float ||
        t->second->getType() == QroNumVar::Float)
      allInteger = false;
    ++n;
  }
  if (n == 0) return s->makeIntRecord(QrcIntExp(QrcManager(m), QrcInt(0)).getImpl());
  if (allInteger) {
    QrcIntExpI** terms =
        static_cast<QrcIntExpI**>(m->allocate(static_cast<size_t>(n) * sizeof(QrcIntExpI*)));
    QroInt i = 0;
    for (QroQuadNode* t = q->getFirst(); t; t = t->next) {
      QrcIntExp u = intOf(s, s->getExtractedRecord(t->first));
      QrcIntExp v = intOf(s, s->getExtractedRecord(t->second));
      terms[i++] = (static_cast<QrcInt>(t->coef) * (u * v)).getImpl();
    }
    return intRecord(s, QrcSum(QrcManager(m), n, terms));
  }
  QrcFloatExpI** terms =
      static_cast<QrcFloatExpI**>(m->allocate(static_cast<size_t>(n) * sizeof(QrcFloatExpI*)));
  QroInt i = 0;
  for (QroQuadNode* t = q->getFirst(); t; t = t->next) {
    QrcFloatExp u = floatOf(s, s->getExtractedRecord(t->first));
    QrcFloatExp v = floatOf(s, s->getExtractedRecord(t->second));
    terms[i++] = (t->coef * (u * v)).getImpl();
  }
  return floatRecord(s, QrcSum(m, n, terms));
}

// ---------------------------------------------------------------------------
// One-child and two-child nodes

void* extractNumSquare(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroExtractionRecord* r = extractChild(s, static_cast<QroNumUnaryNodeI*>(x)->getOperand());
  if (isIntRecord(r)) return intRecord(s, QrcSquare(intOf(s, r)));
  return floatRecord(s, QrcSquare(floatOf(s, r)));
}

void* extractNumTimesCst(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroNumTimesCstI* node = static_cast<QroNumTimesCstI*>(x);
  QroExtractionRecord* r = extractChild(s, node->getOperand());
  double c = node->getConstantFactor();
  if (isIntRecord(r)) {
    if (engineInteger(c)) return intRecord(s, intOf(s, r) * static_cast<QrcInt>(c));
    return floatRecord(s, intOf(s, r) * static_cast<QrcFloat>(c));
  }
  return floatRecord(s, floatOf(s, r) * c);
}

void* extractNumDivCst(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroNumDivCstI* node = static_cast<QroNumDivCstI*>(x);
  QroExtractionRecord* r = extractChild(s, node->getOperand());
  double c = node->getDivisor();
  if (isIntRecord(r)) {
    if (engineInteger(c)) return intRecord(s, intOf(s, r) / static_cast<QrcInt>(c));
    return floatRecord(s, intOf(s, r) / static_cast<QrcFloat>(c));
  }
  return floatRecord(s, floatOf(s, r) / c);
}

void* extractNumRecDivCst(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroNumRecDivCstI* node = static_cast<QroNumRecDivCstI*>(x);
  QroExtractionRecord* r = extractChild(s, node->getOperand());
  double c = node->getDividend();
  if (isIntRecord(r)) {
    if (engineInteger(c)) return intRecord(s, static_cast<QrcInt>(c) / intOf(s, r));
    return floatRecord(s, static_cast<QrcFloat>(c) / intOf(s, r));
  }
  return floatRecord(s, c / floatOf(s, r));
}

void* extractIntTimesCst(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroIntTimesCstI* node = static_cast<QroIntTimesCstI*>(x);
  QroExtractionRecord* r = extractChild(s, node->getOperand());
  // A float operand times an integer is a float product.
  if (!isIntRecord(r))
    return floatRecord(s, floatOf(s, r) * static_cast<QrcFloat>(node->getConstantFactor()));
  return intRecord(s, intOf(s, r) * node->getConstantFactor());
}

void* extractNumPowerCst(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroNumPowerCstI* node = static_cast<QroNumPowerCstI*>(x);
  QroExtractionRecord* r = extractChild(s, node->getOperand());
  QrcFloatExp e = floatOf(s, r);
  double c = node->getExponent();
  if (engineInteger(c)) return floatRecord(s, QrcPower(e, static_cast<QrcInt>(c)));
  return floatRecord(s, QrcPower(e, static_cast<QrcFloat>(c)));
}

void* extractNumTimes(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroNumBinaryNodeI* node = static_cast<QroNumBinaryNodeI*>(x);
  QroExtractionRecord* l = extractChild(s, node->getLeft());
  QroExtractionRecord* r = extractChild(s, node->getRight());
  if (isIntRecord(l) && isIntRecord(r)) return intRecord(s, intOf(s, l) * intOf(s, r));
  return floatRecord(s, floatOf(s, l) * floatOf(s, r));
}

void* extractNumDiv(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroNumBinaryNodeI* node = static_cast<QroNumBinaryNodeI*>(x);
  QroExtractionRecord* l = extractChild(s, node->getLeft());
  QroExtractionRecord* r = extractChild(s, node->getRight());
  if (isIntRecord(l) && isIntRecord(r)) return intRecord(s, intOf(s, l) / intOf(s, r));
  return floatRecord(s, floatOf(s, l) / floatOf(s, r));
}

// The hook of both linear terms (float and integer coefficients).
template <class Term>
void removeLinTermChildren(QroAlgorithmI* a, QroExtractableI* x, void*) {
  Term* t = static_cast<Term*>(x);
  for (QroExprNode* n = t->getFirstExpr(); n; n = n->next) a->remove(n->expr);
  for (QroLinearNode* n = t->getFirstNode(); n; n = n->next)
    if (!(n->coef == 0.0)) a->remove(n->var);
}

void removeQuadTermVars(QroAlgorithmI* a, QroExtractableI* x, void*) {
  for (QroQuadNode* t = static_cast<QroNumQuadExprI*>(x)->getFirst(); t; t = t->next) {
    a->remove(t->first);
    a->remove(t->second);
  }
}

// ---------------------------------------------------------------------------
// Ranges, equalities, objectives

namespace {

QrcConstraintI* makeFloatRangeConstraint(QroSolverI* s, const QrcFloatExp& e, double lb,
                                         double ub) {
  QrcManagerI* m = s->getManager();
  if (std::isnan(lb) || std::isnan(ub)) return m->getFalseConstraint();
  if (lb == -HUGE_VAL && ub == HUGE_VAL) return m->getTrueConstraint();
  if (ub == HUGE_VAL) return (e >= lb).getImpl();
  if (lb == -HUGE_VAL) return (e <= ub).getImpl();
  // Both sides as one conjunction, whose truth is exactly lb <= e <= ub when
  // the range serves as a 0-1 expression.
  if (lb != ub) return ((e >= lb) && (e <= ub)).getImpl();
  return (e == lb).getImpl();
}

// An integral constant past 64 bits, exactly: its mantissa times powers of
// two, a node whose range leaves the engine's limits.
QrcIntExp wideConstant(QrcManagerI* m, double b) {
  int e;
  double f = std::frexp(b, &e);
  QrcIntExp r(QrcManager(m), static_cast<QrcInt>(std::ldexp(f, 53)));
  for (e -= 53; e > 0; e -= 30) r = r * (QrcInt(1) << (e < 30 ? e : 30));
  return r;
}

bool within64Bits(double b) {
  return b >= -0x1p63 && b < 0x1p63;
}

// e >= l and e <= u (infinite: no bound) over an expression whose range left
// the engine's limits: the bounds bound it past them too, and past 64 bits.
QrcConstraintI* makeWideRangeConstraint(QrcManagerI* m, const QrcIntExp& e, double l, double u) {
  bool low = l > -HUGE_VAL, high = u < HUGE_VAL;
  if (low && high && l == u && within64Bits(l)) return (e == static_cast<QrcInt>(l)).getImpl();
  if (low && high && within64Bits(l) && within64Bits(u))
    return QrcMakeIntRange(e, static_cast<QrcInt>(l), static_cast<QrcInt>(u));
  QrcConstraint lo, hi;
  if (low) lo = within64Bits(l) ? e >= static_cast<QrcInt>(l) : e >= wideConstant(m, l);
  if (high) hi = within64Bits(u) ? e <= static_cast<QrcInt>(u) : e <= wideConstant(m, u);
  if (low && high) return (lo && hi).getImpl();
  return low ? lo.getImpl() : (high ? hi.getImpl() : m->getTrueConstraint());
}

QrcConstraintI* makeIntRangeConstraint(QroSolverI* s, const QrcIntExp& e, double lb, double ub) {
  QrcManagerI* m = s->getManager();
  // A bound that is not a number admits no value.
  if (std::isnan(lb) || std::isnan(ub)) return m->getFalseConstraint();
  double l = std::ceil(lb), u = std::floor(ub);
  if (l > u) return m->getFalseConstraint();
  QrcIntExpI* x = e.getImpl();
  x->refreshBounds();
  if (x->isOutOfRange() && !x->isVariable()) return makeWideRangeConstraint(m, e, l, u);
  if (l > static_cast<double>(QrcIntMax) || u < static_cast<double>(QrcIntMin))
    return m->getFalseConstraint();
  // A side beyond the engine's integer range bounds nothing.
  bool noLow = !(l > static_cast<double>(QrcIntMin));
  bool noHigh = !(u < static_cast<double>(QrcIntMax));
  if (noLow && noHigh) return m->getTrueConstraint();
  if (noHigh) return (e >= static_cast<QrcInt>(l)).getImpl();
  if (noLow) return (e <= static_cast<QrcInt>(u)).getImpl();
  if (l == u) return (e == static_cast<QrcInt>(l)).getImpl();
  return QrcMakeIntRange(e, static_cast<QrcInt>(l), static_cast<QrcInt>(u));
}

// A constraint, or a sum that is only one constraint.
bool isConstraintLike(const QroExtractableI* e) {
  if (e->isType(QroConstraintI::GetTypeInfo())) return true;
  const QroExprNode* only = nullptr;
  if (e->getTypeInfo() == QroNumLinTermI::GetTypeInfo()) {
    const QroNumLinTermI* t = static_cast<const QroNumLinTermI*>(e);
    if (t->getFirstNode() || t->getConstantValue() != 0.0) return false;
    only = t->getFirstExpr();
  } else if (e->getTypeInfo() == QroIntLinTermI::GetTypeInfo()) {
    const QroIntLinTermI* t = static_cast<const QroIntLinTermI*>(e);
    if (t->getFirstNode() || t->getConstantValue() != 0) return false;
    only = t->getFirstExpr();
  }
  return only && !only->next && only->expr->isType(QroConstraintI::GetTypeInfo());
}

}  // namespace

void* extractRange(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroRangeI* range = static_cast<QroRangeI*>(x);
  double lb = range->getLB(), ub = range->getUB();
  if (lb > ub) return s->makeConstraintRecord(x, s->getManager()->getFalseConstraint());
  QroExtractionRecord* r = extractChild(s, range->getExpr());
  if (isIntRecord(r))
    return s->makeConstraintRecord(x, makeIntRangeConstraint(s, intOf(s, r), lb, ub));
  return s->makeConstraintRecord(x, makeFloatRangeConstraint(s, floatOf(s, r), lb, ub));
}

void* extractNumEq(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroNumEqI* eq = static_cast<QroNumEqI*>(x);
  if (s->isPresolveOn() && s->getPresolve()) {
    QrcPresolvedNumEqI* info = static_cast<QrcPresolvedNumEqI*>(
        s->getPresolve()->findInformation(x, QrcPresolvedNumEqI::GetTypeInfo()));
    if (info) {
      QroNumExprI* side = info->getSide() == 1 ? eq->getRight() : eq->getLeft();
      QroExtractionRecord* r = extractChild(s, side);
      QrcConstraintI* ct = nullptr;
      if (info->isInteger()) {
        if (QrcIntExpI* e = s->getIntExp(r)) ct = e->makeEventHandlerConstraint();
      } else if (r->floatExp) {
        ct = r->floatExp->makeEventHandlerConstraint();
      }
      return s->makeConstraintRecord(x, ct ? ct : s->getTrueConstraint());
    }
  }
  QroExtractionRecord* l = extractChild(s, eq->getLeft());
  QroExtractionRecord* r = extractChild(s, eq->getRight());
  if (isConstraintLike(eq->getLeft()) && isConstraintLike(eq->getRight()) && l->constraint &&
      r->constraint)
    return s->makeConstraintRecord(
        x, (QrcConstraint(l->constraint) == QrcConstraint(r->constraint)).getImpl());
  if (isIntRecord(l) && isIntRecord(r))
    return s->makeConstraintRecord(x, (intOf(s, l) == intOf(s, r)).getImpl());
  return s->makeConstraintRecord(x, (floatOf(s, l) == floatOf(s, r)).getImpl());
}

void* extractObjective(QroAlgorithmI* a, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QroObjectiveI* o = static_cast<QroObjectiveI*>(x);
  QroExtractionRecord* r = extractChild(s, o->getExpr());
  // A constraint's record gives its 0-1 variable.
  return r->kind == QroExtractionRecord::FloatKind ? s->makeFloatRecord(r->floatExp)
                                                   : s->makeIntRecord(s->getIntExp(r));
}

void removeObjective(QroAlgorithmI* a, QroExtractableI* x, void*) {
  QroObjectiveI* o = static_cast<QroObjectiveI*>(x);
  if (o->getExpr()) a->remove(o->getExpr());
}

void addObjective(QroAlgorithmI* a, QroExtractableI* x, void* record) {
  QroSolverI* s = solverOf(a);
  QroObjectiveI* o = static_cast<QroObjectiveI*>(x);
  QroDefaultCPExtractorI* d = s->getExtractorManager()->getDefaultExtractor();
  if (d && d->getObjective() && d->getObjective() != o)
    throw QroSolver::MultipleObjException("QroSolver can not handle multiple objectives", x);
  if (d) d->setObjective(o);
  QroExtractionRecord* r = static_cast<QroExtractionRecord*>(record);
  if (!r) return;
  // The objective is made a variable, which the search's bound narrows.
  // Maximising is minimising the opposite (of the float view, for integers).
  bool minimize = o->getSense() == QroObjectiveI::Minimize;
  if (r->kind == QroExtractionRecord::IntKind && minimize)
    s->setIntObjective(QrcIntVar(intOf(s, r)).getImpl());
  else if (minimize)
    s->setFloatObjective(QrcFloatVar(floatOf(s, r)).getImpl());
  else
    s->setFloatObjective(QrcFloatVar(-floatOf(s, r)).getImpl());
}

void removeObjectiveFromAlgorithm(QroAlgorithmI* a, QroExtractableI*, void*) {
  solverOf(a)->notifyRemoveObjective();
}

void* changeNumEq(QroAlgorithmI* a, QroExtractableI* x, QroChange*) {
  QroSolverI* s = solverOf(a);
  QroExtractionRecord* r = s->getRecord(x);
  if (r && r->constraint && r->constraint->isType(QrcExprEventHandlerConstraintI::GetTypeInfo()))
    s->raiseSyncLevel(2);
  s->raiseToRestart();
  return nullptr;
}

void registerArithmeticHooks() {
  QroNumVarI::Hooks.extract = extractNumVar;
  QroIntSetVarI::Hooks.extract = extractIntSetVar;
  QroIntSetCardVarI::Hooks.extract = extractIntSetCardVar;
  QroIntSetCardVarI::Hooks.remove = removeSetCardVar;
  QroNumLinTermI::Hooks.extract = extractNumLinTerm;
  QroNumLinTermI::Hooks.remove = removeLinTermChildren<QroNumLinTermI>;
  QroIntLinTermI::Hooks.extract = extractIntLinTerm;
  QroIntLinTermI::Hooks.remove = removeLinTermChildren<QroIntLinTermI>;
  QroNumQuadExprI::Hooks.extract = extractNumQuadExpr;
  QroNumQuadExprI::Hooks.remove = removeQuadTermVars;
  QroNumSquareI::Hooks.extract = extractNumSquare;
  QroNumTimesCstI::Hooks.extract = extractNumTimesCst;
  QroNumDivCstI::Hooks.extract = extractNumDivCst;
  QroNumRecDivCstI::Hooks.extract = extractNumRecDivCst;
  QroIntTimesCstI::Hooks.extract = extractIntTimesCst;
  QroNumTimesI::Hooks.extract = extractNumTimes;
  QroNumDivI::Hooks.extract = extractNumDiv;
  QroNumPowerCstI::Hooks.extract = extractNumPowerCst;
  QroRangeI::Hooks.extract = extractRange;
  QroNumEqI::Hooks.extract = extractNumEq;
  QroNumEqI::Hooks.change = changeNumEq;
  QroObjectiveI::Hooks.extract = extractObjective;
  QroObjectiveI::Hooks.remove = removeObjective;
  QroObjectiveI::Hooks.addToAlgorithm = addObjective;
  QroObjectiveI::Hooks.removeFromAlgorithm = removeObjectiveFromAlgorithm;
}
