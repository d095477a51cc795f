// Builders of the global and placement constraints, their remove helpers and
// the hooks of the solver's extra modelling constraints.
#include "qrosolverglobal.h"

#include <ostream>

#include "qrointset.h"
#include "qrosolveri.h"
#include "qrosolverextra.h"
#include "qrosolverextractor.h"
#include "qrovar.h"
#include "qrcabstraction.h"
#include "qrcalldiff.h"
#include "qrcbox.h"
#include "qrcdistribute.h"
#include "qrcelement.h"
#include "qrcfloatcompare.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintsetcst.h"
#include "qrcintsetvar.h"
#include "qrcinverse.h"
#include "qrclex.h"
#include "qrcmanager.h"
#include "qrcmember.h"
#include "qrcmindistance.h"
#include "qrcpack.h"
#include "qrcpairing.h"
#include "qrcregular.h"
#include "qrcsequence.h"
#include "qrcsetcomposition.h"
#include "qrcsetfunctions.h"
#include "qrcsetof.h"
#include "qrcspread.h"
#include "qrctupleset.h"

void* QrcQroPathTransitI::operator new(size_t size, QrcManagerI* manager) {
  return manager->allocate(size);
}

void* QrcIntToIntfromIntToIntWrapperI::operator new(size_t size, QrcManagerI* manager) {
  return manager->allocate(size);
}

void* QrcIntToIntExpfromIntToIntVarWrapperI::operator new(size_t size, QrcManagerI* manager) {
  return manager->allocate(size);
}

void* QrcIntToIntSetVarfromIntToIntSetVarWrapperI::operator new(size_t size, QrcManagerI* manager) {
  return manager->allocate(size);
}

QrcInt QrcIntToIntfromIntToIntWrapperI::getValue(QrcInt x) {
  return QroSolverI::toInteger(_f->getValue(x));
}

QrcIntExpI* QrcIntToIntExpfromIntToIntVarWrapperI::getValue(QrcInt x) {
  QroExtractableI* e = _f->getValue(x);
  QroExtractionRecord* r = e ? _solver->getRecord(e) : nullptr;
  return r ? _solver->getIntExp(r) : nullptr;
}

QrcIntSetVarI* QrcIntToIntSetVarfromIntToIntSetVarWrapperI::getValue(QrcInt x) {
  QroIntSetVarI* v = _f->getValue(x);
  return v && _solver->isExtracted(v) ? _solver->getIntSetVar(v) : nullptr;
}

namespace {

QroSolverI* solverOf(QroAlgorithmI* a) {
  return static_cast<QroSolverI*>(a);
}

QrcManager managerOf(QroSolverI* s) {
  return QrcManager(s->getManager());
}

QroExtractableArray elements(const QroArray& a) {
  return QroExtractableArray(a.getImpl());
}

QroInt sizeOf(const QroArray& a) {
  return a.getImpl() ? a.getSize() : 0;
}

void extractArray(QroSolverI* s, const QroArray& a) {
  if (a.getImpl()) s->QroAlgorithmI::extract(elements(a));
}

// The record of an operand; QroSolver::WrongType for a set variable or a
// tuple set, which have none.
QroExtractionRecord* extractChild(QroSolverI* s, QroExtractableI* x) {
  const char* message = "An operand is not a numeric expression";
  if (x && x->isType(QroIntSetVarI::GetTypeInfo())) throw QroSolver::WrongType(message);
  s->QroAlgorithmI::extract(x);
  QroExtractionRecord* r = s->getExtractedRecord(x);
  if (s->isTupleSet(r)) throw QroSolver::WrongType(message);
  return r;
}

QrcIntVarArray intVars(QroSolverI* s, const QroArray& a) {
  extractArray(s, a);
  return s->getIntVarArray(a);
}

QrcIntExp intExpOf(QroSolverI* s, QroExtractableI* x) {
  QrcIntExpI* e = s->getIntExp(extractChild(s, x));
  if (!e) throw QroSolver::WrongType("An operand is not an integer expression");
  return QrcIntExp(e);
}

void* constraintRecord(QroSolverI* s, QroExtractableI* node, const QrcConstraint& ct) {
  return s->makeConstraintRecord(node, ct.getImpl());
}

// The members of a conjunction take the level (a disjoint union is one).
void setLevelOfMembers(QrcConstraintI* ct, QrcInt level) {
  if (!ct->isType(QrcBoolAndExpI::GetTypeInfo())) {
    ct->setFilterLevel(level);
    return;
  }
  QrcBoolAndExpI* both = static_cast<QrcBoolAndExpI*>(ct);
  setLevelOfMembers(both->getFirst(), level);
  setLevelOfMembers(both->getSecond(), level);
}

// The constraint record of ct after ct got the solver's level for the node.
void* leveledRecord(QroSolverI* s, QroExtractableI* node, const QrcConstraint& ct) {
  s->applyFilterLevel(node, ct.getImpl());
  setLevelOfMembers(ct.getImpl(), s->getFilterLevel(node));
  return constraintRecord(s, node, ct);
}

bool isIntRecord(const QroExtractionRecord* r) {
  return r && r->kind == QroExtractionRecord::IntKind;
}

// The engine tuple set extracted for an extractable (extractIntTupleSet);
// QroSolver::WrongType with the message when x cannot be one.
QrcTupleSet tupleSetOf(QroSolverI* s, QroExtractableI* x, const char* message) {
  if (!QroIsTupleSetExtractable(x)) throw QroSolver::WrongType(message);
  s->QroAlgorithmI::extract(x);
  if (!s->isExtracted(x)) throw QroAlgorithm::NotExtractedException(s, x);
  void* set = s->getObject(x->getId());
  // A class of the user's may be extracted into something else.
  if (!s->isTupleSet(set)) throw QroSolver::WrongType(message);
  return QrcTupleSet(static_cast<QrcTupleSetI*>(set));
}

QrcBox boxOf(QroSolverI* s, QroExtractableI* x) {
  s->QroAlgorithmI::extract(x);
  QrcBox box = s->getBox(x);
  if (!box.getImpl()) throw QroSolver::WrongType("Box: the operand is not a box");
  return box;
}

QrcIntArray intsOrEmpty(QroSolverI* s, const QroIntArray& a) {
  return a.getImpl() ? s->getIntArray(a) : QrcIntArray();
}

void removeOne(QroAlgorithmI* a, QroExtractableI* x) {
  if (x) a->remove(x);
}

QrcIntSetVar setVarOf(QroSolverI* s, QroIntSetVarI* x) {
  s->QroAlgorithmI::extract(x);
  return QrcIntSetVar(s->getIntSetVar(x));
}

QrcIntSet constantSet(QroSolverI* s, QroIntSetI* c) {
  return QrcIntSet(s->getIntSet(c));
}

// The engine array of a model array of integer-set variables;
// QroSolver::WrongType, before anything is extracted, at an element of
// another kind.
QrcIntSetVarArray setVars(QroSolverI* s, const QroArray& a, const char* who) {
  QroExtractableArray e = elements(a);
  for (QroInt i = 0; i < sizeOf(a); ++i)
    if (!e[i] || !e[i]->isType(QroIntSetVarI::GetTypeInfo())) throw QroSolver::WrongType(who);
  extractArray(s, a);
  return s->getIntSetVarArray(a);
}

}  // namespace

// ---------------------------------------------------------------------------
// Integer globals

void* extractLeLex(QroAlgorithmI* a, QroExtractableI* node, const QroArray& x, const QroArray& y) {
  QroSolverI* s = solverOf(a);
  QrcIntVarArray ex = intVars(s, x);
  return constraintRecord(s, node, QrcLeLex(ex, intVars(s, y)));
}

void* extractGeLex(QroAlgorithmI* a, QroExtractableI* node, const QroArray& x, const QroArray& y) {
  QroSolverI* s = solverOf(a);
  QrcIntVarArray ex = intVars(s, x);
  return constraintRecord(s, node, QrcGeLex(ex, intVars(s, y)));
}

void* extractStretch(QroAlgorithmI* a, QroExtractableI* node, const QroArray& vars,
                     const QroIntArray& mins, const QroIntArray& maxes, const QroIntArray& values) {
  QroSolverI* s = solverOf(a);
  QrcIntVarArray x = intVars(s, vars);
  return constraintRecord(
      s, node, QrcStretch(x, intsOrEmpty(s, mins), intsOrEmpty(s, maxes), intsOrEmpty(s, values)));
}

void* extractPattern(QroAlgorithmI* a, QroExtractableI* node, const QroArray& vars,
                     QroExtractableI* patterns, QroInt terminator) {
  QroSolverI* s = solverOf(a);
  QrcIntVarArray x = intVars(s, vars);
  return constraintRecord(
      s, node,
      QrcPattern(x, tupleSetOf(s, patterns, "Pattern: the pattern set is not a tuple set"),
                 terminator));
}

void* extractIntCountValueEq(QroAlgorithmI* a, QroExtractableI*, const QroArray& vars,
                             QroInt value) {
  QroSolverI* s = solverOf(a);
  QrcIntVarArray x = intVars(s, vars);
  QrcIndex index;
  return s->makeIntRecord(QrcGenericConstraint(index, x[index] == value).getImpl());
}

void* extractAllDiff(QroAlgorithmI* a, QroExtractableI* node, const QroArray& vars) {
  QroSolverI* s = solverOf(a);
  return constraintRecord(s, node, QrcAllDiff(intVars(s, vars)));
}

void* extractPairing(QroAlgorithmI* a, QroExtractableI* node, const QroArray& vars) {
  QroSolverI* s = solverOf(a);
  return constraintRecord(s, node, QrcPairing(intVars(s, vars), 1));
}

void* extractSpread(QroAlgorithmI* a, QroExtractableI* node, const QroArray& vars,
                    QroExtractableI* mean, QroExtractableI* deviation) {
  QroSolverI* s = solverOf(a);
  QrcIntVarArray x = intVars(s, vars);
  extractChild(s, mean);
  extractChild(s, deviation);
  return constraintRecord(s, node, QrcSpread(x, s->getFloatVar(mean), s->getFloatVar(deviation)));
}

void* extractEqAbstraction(QroAlgorithmI* a, QroExtractableI* node, const QroArray& y,
                           const QroArray& x, const QroIntArray& values, QroInt abstractValue) {
  QroSolverI* s = solverOf(a);
  QrcIntVarArray ey = intVars(s, y);
  QrcIntVarArray ex = intVars(s, x);
  return constraintRecord(s, node, QrcEqAbstraction(ey, ex, s->getIntArray(values), abstractValue));
}

void* extractEqIntAbstraction(QroAlgorithmI* a, QroExtractableI* node, const QroArray& b,
                              const QroArray& x, const QroIntArray& values) {
  QroSolverI* s = solverOf(a);
  QrcIntVarArray eb = intVars(s, b);
  QrcIntVarArray ex = intVars(s, x);
  return constraintRecord(s, node, QrcEqIntAbstraction(eb, ex, s->getIntArray(values)));
}

void* extractSequence(QroAlgorithmI* a, QroExtractableI* node, QroInt lo, QroInt hi, QroInt width,
                      const QroArray& vars, const QroIntArray& values, const QroArray& cards) {
  QroSolverI* s = solverOf(a);
  QrcIntVarArray x = intVars(s, vars);
  QrcIntVarArray c = intVars(s, cards);
  return leveledRecord(s, node, QrcSequence(lo, hi, width, x, s->getIntArray(values), c));
}

void* extractInverse(QroAlgorithmI* a, QroExtractableI* node, const QroArray& f,
                     const QroArray& invf) {
  QroSolverI* s = solverOf(a);
  QrcIntVarArray ef = intVars(s, f);
  return constraintRecord(s, node, QrcInverse(ef, intVars(s, invf)));
}

void* extractSetInverse(QroAlgorithmI* a, QroExtractableI* node, const QroArray& sets,
                        const QroArray& vars) {
  QroSolverI* s = solverOf(a);
  QrcIntSetVarArray es =
      setVars(s, sets, "SetInverse: an element of the set array is not an integer-set variable");
  return constraintRecord(s, node, QrcInverse(es, intVars(s, vars)));
}

void* extractDistribute(QroAlgorithmI* a, QroExtractableI* node, const QroArray& vars,
                        const QroArray& cards, const QroIntArray& values) {
  QroSolverI* s = solverOf(a);
  QrcIntVarArray x = intVars(s, vars);
  QrcIntVarArray c = intVars(s, cards);
  if (!values.getImpl()) return leveledRecord(s, node, QrcDistribute(c, x));
  if (values.getSize() != c.getSize())
    throw QroSolver::BadParameterType(
        "Distribute: cardinality and value arrays are of different size");
  return leveledRecord(s, node, QrcDistribute(c, s->getIntArray(values), x));
}

void* extractPathLength(QroAlgorithmI* a, QroExtractableI* node, const QroArray& next,
                        const QroArray& cumuls, QroPathTransitFunctionI* transit, QroInt p) {
  QroSolverI* s = solverOf(a);
  if (sizeOf(next) != sizeOf(cumuls))
    throw QroSolver::BadParameterType("PathLength: variable arrays of different size");
  QrcIntVarArray n = intVars(s, next);
  extractArray(s, cumuls);
  QrcFloatVarArray y = s->getFloatVarArray(cumuls);
  QrcPathTransitI* t = transit ? new (s->getManager()) QrcQroPathTransitI(transit) : nullptr;
  return constraintRecord(s, node, QrcPath(n, y, t, p, 2));
}

void* extractAllowedTuples(QroAlgorithmI* a, QroExtractableI* node, const QroArray& vars,
                           QroExtractableI* tuples, QroBool allowed) {
  QroSolverI* s = solverOf(a);
  QrcIntVarArray x = intVars(s, vars);
  return constraintRecord(
      s, node,
      QrcTableConstraint(x, tupleSetOf(s, tuples, "AllowedTuples: the tuples are not a tuple set"),
                         allowed));
}

void* extractBinaryPredicate(QroAlgorithmI* a, QroExtractableI* node, const QroArray& vars,
                             QrcIntBinaryPredicateI* predicate) {
  QroSolverI* s = solverOf(a);
  return constraintRecord(s, node,
                          QrcTableConstraint(intVars(s, vars), QrcIntBinaryPredicate(predicate)));
}

void* extractTernaryPredicate(QroAlgorithmI* a, QroExtractableI* node, const QroArray& vars,
                              QrcIntTernaryPredicateI* predicate) {
  QroSolverI* s = solverOf(a);
  return constraintRecord(s, node,
                          QrcTableConstraint(intVars(s, vars), QrcIntTernaryPredicate(predicate)));
}

void* extractElementCaller(QroAlgorithmI* a, QroExtractableI* node, QroExtractableI* y,
                           const QroIntArray& values, QroExtractableI* x) {
  QroSolverI* s = solverOf(a);
  QrcIntExp ey = intExpOf(s, y);
  QrcIntExp ex = intExpOf(s, x);
  return constraintRecord(s, node, QrcIntEltCallerCt(ey, s->getIntArray(values), ex));
}

void* extractAllMinDistance(QroAlgorithmI* a, QroExtractableI* node, const QroArray& exprs,
                            QroInt distance) {
  QroSolverI* s = solverOf(a);
  return leveledRecord(s, node, QrcAllMinDistance(intVars(s, exprs), distance));
}

namespace {

void* extractElementOf(QroSolverI* s, const QroArray& exprs, QroExtractableI* index, bool check) {
  QroExtractableArray e = elements(exprs);
  QroInt n = sizeOf(exprs);
  QrcIntVarArray vars(managerOf(s), n);
  for (QroInt i = 0; i < n; ++i) {
    QroExtractionRecord* r = extractChild(s, e[i]);
    // Unchecked, a floating-point element still has no integer variable.
    if ((check && !isIntRecord(r)) || !s->getIntExp(r))
      throw QroSolver::WrongType(
          "You tried to create an element constraint with an floating point array");
    vars.set(i, QrcIntVar(s->getIntExp(r)));
  }
  QroExtractionRecord* r = extractChild(s, index);
  if ((check && !isIntRecord(r)) || !s->getIntExp(r))
    throw QroSolver::WrongType(
        "You tried to create an element constraint with an floating point index");
  return s->makeIntRecord(vars[QrcIntExp(s->getIntExp(r))].getImpl());
}

}  // namespace

void* extractElement(QroAlgorithmI* a, QroExtractableI*, const QroArray& exprs,
                     QroExtractableI* index) {
  return extractElementOf(solverOf(a), exprs, index, true);
}

void* extractVarArrayElement(QroAlgorithmI* a, QroExtractableI*, const QroArray& exprs,
                             QroExtractableI* index) {
  return extractElementOf(solverOf(a), exprs, index, false);
}

void* extractSOS1(QroAlgorithmI* a, QroExtractableI* node, const QroArray& vars,
                  QroBool hasWeights) {
  QroSolverI* s = solverOf(a);
  if (hasWeights) s->out() << "SOS1 weights are not extracted to QroSolver" << std::endl;
  QroInt n = sizeOf(vars);
  if (n == 0) return nullptr;
  QroExtractableArray e = elements(vars);
  QrcIntVarArray truths(managerOf(s), n);
  for (QroInt i = 0; i < n; ++i) {
    QroExtractionRecord* r = extractChild(s, e[i]);
    QrcConstraint nonZero = isIntRecord(r)
                                ? QrcIntExp(s->getIntExp(r)) != 0
                                : makeEqNullConstraint(QrcFloatExp(r->floatExp)).getOpposite();
    truths.set(i, QrcIntVar(QrcIntExp(nonZero)));
  }
  return constraintRecord(s, node, QrcSum(truths) <= 1);
}

void* extractArrayMember(QroAlgorithmI* a, QroExtractableI* node, QroExtractableI* expr,
                         const QroNumArray& values) {
  QroSolverI* s = solverOf(a);
  QroExtractionRecord* r = extractChild(s, expr);
  if (!isIntRecord(r))
    throw QroSolver::UnimplementedFeature(
        "Please Implement me : QroDefaultCPExtarctorI::extractArrayMember with float "
        "expression.");
  return constraintRecord(s, node, QrcMember(QrcIntExp(s->getIntExp(r)), s->getIntArray(values)));
}

void* extractArrayMemberInt(QroAlgorithmI* a, QroExtractableI* node, QroExtractableI* expr,
                            const QroIntArray& values) {
  QroSolverI* s = solverOf(a);
  QrcIntExp x = intExpOf(s, expr);
  return constraintRecord(s, node, QrcMember(x, s->getIntArray(values)));
}

void* extractIntTupleSet(QroAlgorithmI* a, QroExtractableI*, QroInt arity,
                         const QroIntArray& values) {
  QroSolverI* s = solverOf(a);
  QrcManager m = managerOf(s);
  QrcTupleSet set(m, arity);
  QroInt total = values.getImpl() ? values.getSize() : 0;
  if (arity > 0 && total % arity != 0)
    throw QroSolver::BadParameterType("IntTupleSet: the values do not fill whole tuples");
  for (QroInt first = 0; arity > 0 && first < total; first += arity) {
    QrcIntArray tuple(m, arity, QrcInt(0));
    for (QroInt k = 0; k < arity; ++k) tuple[k] = values[first + k];
    set.add(tuple);
  }
  set.close();
  s->addTupleSet(set.getImpl());
  return set.getImpl();
}

void* extractPack(QroAlgorithmI* a, QroExtractableI* node, const QroArray& loads,
                  const QroArray& places, const QroIntArray& weights, QroExtractableI* used,
                  const QroIntArray& pairs) {
  QroSolverI* s = solverOf(a);
  QrcIntVarArray load = intVars(s, loads);
  QrcIntVarArray where = intVars(s, places);
  QrcIntArray weight = s->getIntArray(weights);
  bool usedSet = used && used->isType(QroIntSetVarI::GetTypeInfo());
  if (used) s->QroAlgorithmI::extract(used);
  if (!pairs.getImpl()) {
    if (!used) return constraintRecord(s, node, QrcPack(load, where, weight));
    if (usedSet)
      return constraintRecord(s, node,
                              QrcPack(load, where, weight, QrcIntSetVar(s->getIntSetVar(used))));
    return constraintRecord(s, node, QrcPack(load, where, weight, s->getIntVar(used)));
  }
  if (usedSet) throw QroSolver::BadParameterType("Pack: item pairs need a number of used bins");
  QroInt n = where.getSize();
  if (pairs.getSize() % 2 != 0)
    throw QroSolver::BadParameterType("Pack: item pairs are given two by two");
  QrcManagerI* m = s->getManager();
  QrcInt** table = static_cast<QrcInt**>(m->allocate(sizeof(QrcInt*) * static_cast<size_t>(n)));
  for (QroInt i = 0; i < n; ++i) table[i] = QrcIntArray(QrcManager(m), n, QrcInt(0)).getImpl();
  for (QroInt k = 0; k < pairs.getSize(); k += 2) {
    QroInt i = pairs[k], j = pairs[k + 1];
    if (i < 0 || i >= n || j < 0 || j >= n)
      throw QroSolver::BadParameterType("Pack: item pair out of range");
    if (i == j) throw QroSolver::BadParameterType("Pack: an item pair names one item twice");
    table[i][j] = table[j][i] = 1;
  }
  QrcIntVar count = used ? s->getIntVar(used) : QrcIntVar(QrcManager(m), 0, load.getSize());
  // The table only prunes the bins' sums (by groups of pairwise marked
  // items, over unplaced items): each pair is also kept apart on its own, in
  // one balanced conjunction (a chain would nest as deep as there are pairs).
  QroInt width = pairs.getSize() / 2;
  QrcConstraintI** apart = static_cast<QrcConstraintI**>(
      m->allocate(sizeof(QrcConstraintI*) * static_cast<size_t>(width)));
  for (QroInt k = 0; k < width; ++k)
    apart[k] = (QrcIntExp(where[pairs[2 * k]]) != QrcIntExp(where[pairs[2 * k + 1]])).getImpl();
  for (; width > 1; width = (width + 1) / 2) {
    for (QroInt k = 0; k < width / 2; ++k)
      apart[k] = (QrcConstraint(apart[2 * k]) && QrcConstraint(apart[2 * k + 1])).getImpl();
    if (width % 2) apart[width / 2] = apart[width - 1];
  }
  QrcConstraint ct = QrcPack(load, where, weight, count, table);
  if (width == 1) ct = ct && QrcConstraint(apart[0]);
  return constraintRecord(s, node, ct);
}

// ---------------------------------------------------------------------------
// Set relations

void* extractSetEq(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* x, QroIntSetVarI* y) {
  QroSolverI* s = solverOf(a);
  QrcIntSetVar ex = setVarOf(s, x);
  return constraintRecord(s, node, ex == setVarOf(s, y));
}

void* extractSetEq(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* x, QroIntSetI* c) {
  QroSolverI* s = solverOf(a);
  return constraintRecord(s, node, setVarOf(s, x) == constantSet(s, c));
}

void* extractSetNeq(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* x, QroIntSetVarI* y) {
  QroSolverI* s = solverOf(a);
  QrcIntSetVar ex = setVarOf(s, x);
  return constraintRecord(s, node, ex != setVarOf(s, y));
}

void* extractSetNeq(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* x, QroIntSetI* c) {
  QroSolverI* s = solverOf(a);
  return constraintRecord(s, node, setVarOf(s, x) != constantSet(s, c));
}

void* extractSubset(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* x, QroIntSetVarI* y) {
  QroSolverI* s = solverOf(a);
  QrcIntSetVar ex = setVarOf(s, x);
  return constraintRecord(s, node, QrcSubset(ex, setVarOf(s, y)));
}

void* extractSubset(QroAlgorithmI* a, QroExtractableI* node, QroIntSetI* c, QroIntSetVarI* y) {
  QroSolverI* s = solverOf(a);
  return constraintRecord(s, node, QrcSubset(constantSet(s, c), setVarOf(s, y)));
}

void* extractSubset(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* x, QroIntSetI* c) {
  QroSolverI* s = solverOf(a);
  return constraintRecord(s, node, QrcSubset(setVarOf(s, x), constantSet(s, c)));
}

void* extractSubsetEq(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* x, QroIntSetVarI* y) {
  QroSolverI* s = solverOf(a);
  QrcIntSetVar ex = setVarOf(s, x);
  return constraintRecord(s, node, QrcSubsetEq(ex, setVarOf(s, y)));
}

void* extractSubsetEq(QroAlgorithmI* a, QroExtractableI* node, QroIntSetI* c, QroIntSetVarI* y) {
  QroSolverI* s = solverOf(a);
  return constraintRecord(s, node, QrcSubsetEq(constantSet(s, c), setVarOf(s, y)));
}

void* extractSubsetEq(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* x, QroIntSetI* c) {
  QroSolverI* s = solverOf(a);
  return constraintRecord(s, node, QrcSubsetEq(setVarOf(s, x), constantSet(s, c)));
}

void* extractNullIntersect(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* x,
                           QroIntSetVarI* y) {
  QroSolverI* s = solverOf(a);
  QrcIntSetVar ex = setVarOf(s, x);
  return constraintRecord(s, node, QrcNullIntersect(ex, setVarOf(s, y)));
}

void* extractNullIntersect(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* x,
                           QroIntSetI* c) {
  QroSolverI* s = solverOf(a);
  return constraintRecord(s, node, QrcNullIntersect(setVarOf(s, x), constantSet(s, c)));
}

namespace {

QrcIntExp memberExpOf(QroSolverI* s, QroExtractableI* expr) {
  QroExtractionRecord* r = extractChild(s, expr);
  if (!isIntRecord(r))
    throw QroSolver::WrongType(
        "You tried to create a set member constraint with a floating point expression");
  return QrcIntExp(s->getIntExp(r));
}

}  // namespace

void* extractSetMember(QroAlgorithmI* a, QroExtractableI* node, QroExtractableI* expr,
                       QroIntSetVarI* set) {
  QroSolverI* s = solverOf(a);
  QrcIntExp x = memberExpOf(s, expr);
  return constraintRecord(s, node, QrcMember(x, setVarOf(s, set)));
}

void* extractSetMember(QroAlgorithmI* a, QroExtractableI* node, QroInt value, QroIntSetVarI* set) {
  QroSolverI* s = solverOf(a);
  return constraintRecord(s, node, QrcMember(value, setVarOf(s, set)));
}

void* extractSetNotMember(QroAlgorithmI* a, QroExtractableI* node, QroExtractableI* expr,
                          QroIntSetVarI* set) {
  QroSolverI* s = solverOf(a);
  QrcIntExp x = memberExpOf(s, expr);
  return constraintRecord(s, node, QrcNotMember(x, setVarOf(s, set)));
}

void* extractSetNotMember(QroAlgorithmI* a, QroExtractableI* node, QroInt value,
                          QroIntSetVarI* set) {
  QroSolverI* s = solverOf(a);
  return constraintRecord(s, node, QrcNotMember(value, setVarOf(s, set)));
}

void* extractEqIntersection(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* result,
                            QroIntSetVarI* x, QroIntSetVarI* y) {
  QroSolverI* s = solverOf(a);
  QrcIntSetVar er = setVarOf(s, result);
  QrcIntSetVar ex = setVarOf(s, x);
  return constraintRecord(s, node, QrcEqIntersection(er, ex, setVarOf(s, y)));
}

void* extractEqUnion(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* result,
                     QroIntSetVarI* x, QroIntSetVarI* y) {
  QroSolverI* s = solverOf(a);
  QrcIntSetVar er = setVarOf(s, result);
  QrcIntSetVar ex = setVarOf(s, x);
  return constraintRecord(s, node, QrcEqUnion(er, ex, setVarOf(s, y)));
}

void* extractDisjointUnion(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* result,
                           const QroArray& sets) {
  QroSolverI* s = solverOf(a);
  QrcIntSetVarArray es =
      setVars(s, sets, "DisjointUnion: an element of the set array is not an integer-set variable");
  return leveledRecord(s, node, QrcDisjointUnion(setVarOf(s, result), es));
}

void* extractEqUnionArray(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* result,
                          const QroArray& sets) {
  QroSolverI* s = solverOf(a);
  QrcIntSetVarArray es =
      setVars(s, sets, "EqUnion: an element of the set array is not an integer-set variable");
  return constraintRecord(s, node, QrcEqUnion(setVarOf(s, result), es));
}

void* extractPartition(QroAlgorithmI* a, QroExtractableI* node, const QroArray& sets) {
  QroSolverI* s = solverOf(a);
  return leveledRecord(
      s, node,
      QrcPartition(setVars(
          s, sets, "Partition: an element of the set array is not an integer-set variable")));
}

void* extractPartitionWith(QroAlgorithmI* a, QroExtractableI* node, const QroArray& sets,
                           const QroIntArray& universe) {
  QroSolverI* s = solverOf(a);
  QrcIntSetVarArray es =
      setVars(s, sets, "Partition: an element of the set array is not an integer-set variable");
  return leveledRecord(s, node, QrcPartition(es, s->getIntArray(universe)));
}

void* extractAllNullIntersect(QroAlgorithmI* a, QroExtractableI* node, const QroArray& sets) {
  QroSolverI* s = solverOf(a);
  return leveledRecord(
      s, node,
      QrcAllNullIntersect(
          setVars(s, sets,
                  "AllNullIntersect: an element of the set array is not an integer-set variable")));
}

// ---------------------------------------------------------------------------
// Functions over the elements of a set variable

namespace {

// The engine function of f after every f(x) of the set's possible set was
// made an integer (QroSolver::NumIsNotInteger or IntegerOverflow otherwise).
QrcIntToIntFunction functionOf(QroSolverI* s, QroIntSetVarI* set, QroIntToIntFunctionI* f) {
  QroIntSetI* p = set->getPossibleSet();
  for (QroInt i = 0; i < p->getSize(); ++i) QroSolverI::toInteger(f->getValue(p->getValue(i)));
  return new (s->getManager()) QrcIntToIntfromIntToIntWrapperI(s, f);
}

// The engine function of f after every f(x) of the set's possible set was
// extracted (QroSolver::WrongType for a floating-point one).
QrcIntToIntExpFunction functionOf(QroSolverI* s, QroIntSetVarI* set, QroIntToIntVarFunctionI* f) {
  QroIntSetI* p = set->getPossibleSet();
  for (QroInt i = 0; i < p->getSize(); ++i) {
    QroExtractableI* e = f->getValue(p->getValue(i));
    if (e && !s->getIntExp(extractChild(s, e)))
      throw QroSolver::WrongType(
          "You tried to create a function over a set with a floating point expression");
  }
  return new (s->getManager()) QrcIntToIntExpfromIntToIntVarWrapperI(s, f);
}

QrcIntToIntSetVarFunction functionOf(QroSolverI* s, QroIntSetVarI* set,
                                     QroIntToIntSetVarFunctionI* f) {
  QroIntSetI* p = set->getPossibleSet();
  for (QroInt i = 0; i < p->getSize(); ++i)
    if (QroIntSetVarI* v = f->getValue(p->getValue(i))) s->QroAlgorithmI::extract(v);
  return new (s->getManager()) QrcIntToIntSetVarfromIntToIntSetVarWrapperI(s, f);
}

template <class F>
void* unionOf(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* set, QroIntSetVarI* result,
              F* f) {
  QroSolverI* s = solverOf(a);
  QrcIntSetVar es = setVarOf(s, set);
  QrcIntSetVar er = setVarOf(s, result);
  return constraintRecord(s, node, er == QrcUnion(es, functionOf(s, set, f)));
}

enum Aggregate { Sum, Min, Max };

template <class F>
void* aggregateOf(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* set,
                  QroExtractableI* result, F* f, Aggregate kind) {
  QroSolverI* s = solverOf(a);
  QrcIntSetVar es = setVarOf(s, set);
  QrcIntExp er = intExpOf(s, result);
  auto engine = functionOf(s, set, f);
  QrcIntExp value = kind == Sum   ? QrcSum(es, engine)
                    : kind == Min ? QrcMin(es, engine)
                                  : QrcMax(es, engine);
  return constraintRecord(s, node, er == value);
}

}  // namespace

void* extractSetUnionOfFunction(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* set,
                                QroIntSetVarI* result, QroIntToIntFunctionI* f) {
  return unionOf(a, node, set, result, f);
}
void* extractSetUnionOfFunction(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* set,
                                QroIntSetVarI* result, QroIntToIntVarFunctionI* f) {
  return unionOf(a, node, set, result, f);
}
void* extractSetUnionOfFunction(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* set,
                                QroIntSetVarI* result, QroIntToIntSetVarFunctionI* f) {
  return unionOf(a, node, set, result, f);
}
void* extractSetSumOfFunction(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* set,
                              QroExtractableI* result, QroIntToIntFunctionI* f) {
  return aggregateOf(a, node, set, result, f, Sum);
}
void* extractSetSumOfFunction(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* set,
                              QroExtractableI* result, QroIntToIntVarFunctionI* f) {
  return aggregateOf(a, node, set, result, f, Sum);
}
void* extractSetMinOfFunction(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* set,
                              QroExtractableI* result, QroIntToIntFunctionI* f) {
  return aggregateOf(a, node, set, result, f, Min);
}
void* extractSetMinOfFunction(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* set,
                              QroExtractableI* result, QroIntToIntVarFunctionI* f) {
  return aggregateOf(a, node, set, result, f, Min);
}
void* extractSetMaxOfFunction(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* set,
                              QroExtractableI* result, QroIntToIntFunctionI* f) {
  return aggregateOf(a, node, set, result, f, Max);
}
void* extractSetMaxOfFunction(QroAlgorithmI* a, QroExtractableI* node, QroIntSetVarI* set,
                              QroExtractableI* result, QroIntToIntVarFunctionI* f) {
  return aggregateOf(a, node, set, result, f, Max);
}

void removeFunctionOperands(QroAlgorithmI* a, QroIntSetVarI* set, QroExtractableI* second,
                            QroIntToIntVarFunctionI* f) {
  removeOne(a, set);
  removeOne(a, second);
  QroIntSetI* p = set->getPossibleSet();
  for (QroInt i = 0; i < p->getSize(); ++i) removeOne(a, f->getValue(p->getValue(i)));
}

void removeFunctionOperands(QroAlgorithmI* a, QroIntSetVarI* set, QroExtractableI* second,
                            QroIntToIntSetVarFunctionI* f) {
  removeOne(a, set);
  removeOne(a, second);
  QroIntSetI* p = set->getPossibleSet();
  for (QroInt i = 0; i < p->getSize(); ++i) removeOne(a, f->getValue(p->getValue(i)));
}

// ---------------------------------------------------------------------------
// Placement

void* extractBox(QroAlgorithmI* a, QroExtractableI* node, const QroArray& origins,
                 const QroNumArray& sizes) {
  QroSolverI* s = solverOf(a);
  QrcIntVarArray o = intVars(s, origins);
  QrcBox box(o.getSize(), o, s->getIntArray(sizes));
  box.setObject(node);
  return leveledRecord(s, node, QrcConstraint(box.getImpl()));
}

void* extractBoxNotOverlap(QroAlgorithmI* a, QroExtractableI* node, QroExtractableI* box) {
  QroSolverI* s = solverOf(a);
  return leveledRecord(s, node, boxOf(s, box).getNotOverlapConstraint());
}

void* extractBoxContainment(QroAlgorithmI* a, QroExtractableI* node, QroExtractableI* container,
                            QroExtractableI* member) {
  QroSolverI* s = solverOf(a);
  QrcBox c = boxOf(s, container);
  return constraintRecord(s, node, c.makeContainmentConstraint(boxOf(s, member)));
}

void* extractBoxOverlapInDimension(QroAlgorithmI* a, QroExtractableI* node,
                                   QroExtractableI* container, QroExtractableI* x,
                                   QroExtractableI* y, QroInt d) {
  QroSolverI* s = solverOf(a);
  QrcBox c = boxOf(s, container);
  QrcBox bx = boxOf(s, x);
  return constraintRecord(s, node, c.makeOverlapInDimension(bx, boxOf(s, y), d));
}

void* extractBoxNotOverlapInDimension(QroAlgorithmI* a, QroExtractableI* node,
                                      QroExtractableI* container, QroExtractableI* x,
                                      QroExtractableI* y, QroInt d) {
  QroSolverI* s = solverOf(a);
  QrcBox c = boxOf(s, container);
  QrcBox bx = boxOf(s, x);
  return constraintRecord(s, node, c.makeNotOverlapInDimension(bx, boxOf(s, y), d));
}

void* extractBoxPrecedenceInDimension(QroAlgorithmI* a, QroExtractableI* node,
                                      QroExtractableI* container, QroExtractableI* x,
                                      QroExtractableI* y, QroInt d) {
  QroSolverI* s = solverOf(a);
  QrcBox c = boxOf(s, container);
  QrcBox bx = boxOf(s, x);
  return constraintRecord(s, node, c.makePrecedenceInDimension(bx, boxOf(s, y), d));
}

// ---------------------------------------------------------------------------
// Remove helpers

void removeElements(QroAlgorithmI* a, const QroArray& array) {
  if (array.getImpl()) a->remove(elements(array));
}

void removeChildAndOptional(QroAlgorithmI* a, QroExtractableI* child, QroExtractableI* optional) {
  removeOne(a, child);
  removeOne(a, optional);
}

void removeElementsOfSecond(QroAlgorithmI* a, QroExtractableI* first, const QroArray& second) {
  removeElements(a, second);
  removeOne(a, first);
}

void removeArraysElementwise(QroAlgorithmI* a, const QroArray& first, const QroArray& second) {
  removeElements(a, first);
  removeElements(a, second);
}

void removeArrayAndOne(QroAlgorithmI* a, const QroArray& array, QroExtractableI* one) {
  removeElements(a, array);
  removeOne(a, one);
}

void removeArrayAndTwo(QroAlgorithmI* a, const QroArray& array, QroExtractableI* one,
                       QroExtractableI* two) {
  removeElements(a, array);
  removeOne(a, one);
  removeOne(a, two);
}

void removeElementsAndIndex(QroAlgorithmI* a, const QroArray& array, QroExtractableI* index) {
  removeArrayAndOne(a, array, index);
}

void removeThree(QroAlgorithmI* a, QroExtractableI* first, QroExtractableI* second,
                 QroExtractableI* third) {
  removeOne(a, first);
  removeOne(a, second);
  removeOne(a, third);
}

void removeThirdAndFirst(QroAlgorithmI* a, QroExtractableI* first, QroExtractableI* third) {
  removeOne(a, third);
  removeOne(a, first);
}

void removeSecondThenFirst(QroAlgorithmI* a, QroExtractableI* first, QroExtractableI* second) {
  removeOne(a, second);
  removeOne(a, first);
}

void removePack(QroAlgorithmI* a, const QroArray& loads, const QroArray& places,
                QroExtractableI* used) {
  removeArraysElementwise(a, loads, places);
  removeOne(a, used);
}

// ---------------------------------------------------------------------------
// The solver's extra constraints

namespace {

// The arrays that a node shows its visitors, in field order.
class ArrayCollector : public QroExtractableVisitor {
 public:
  void visitArray(QroExtractableI*, const QroExtractableArray& array) override {
    if (_count < 2) _arrays[_count++] = array;
  }
  QroInt _count = 0;
  QroExtractableArray _arrays[2];
};

void removeVisitedArrays(QroAlgorithmI* a, QroExtractableI* node, QroInt count) {
  ArrayCollector c;
  node->visitSubExtractables(&c);
  for (QroInt i = 0; i < c._count && i < count; ++i) removeElements(a, c._arrays[i]);
}

}  // namespace

void removeArray(QroAlgorithmI* a, QroExtractableI* node, void*) {
  removeVisitedArrays(a, node, 1);
}

void removeArrays(QroAlgorithmI* a, QroExtractableI* node, void*) {
  removeVisitedArrays(a, node, 2);
}

void* extractLeLex(QroAlgorithmI* a, QroExtractableI* node) {
  QroLeLexI* c = static_cast<QroLeLexI*>(node);
  return extractLeLex(a, node, c->getFirst(), c->getSecond());
}

void* extractGeLex(QroAlgorithmI* a, QroExtractableI* node) {
  QroGeLexI* c = static_cast<QroGeLexI*>(node);
  return extractGeLex(a, node, c->getFirst(), c->getSecond());
}

void* extractStretch(QroAlgorithmI* a, QroExtractableI* node) {
  QroStretchI* c = static_cast<QroStretchI*>(node);
  return extractStretch(a, node, c->getVars(), c->getMins(), c->getMaxes(), c->getValues());
}

void* extractPattern(QroAlgorithmI* a, QroExtractableI* node) {
  QroPatternI* c = static_cast<QroPatternI*>(node);
  return extractPattern(a, node, c->getVars(), c->getPatterns(), c->getTerminator());
}

void* extractIntCountValueEq(QroAlgorithmI* a, QroExtractableI* node) {
  QroIntCountValueEqI* c = static_cast<QroIntCountValueEqI*>(node);
  return extractIntCountValueEq(a, node, c->getExprs(), c->getValue());
}
