// Extraction of global, set and placement constraints. Each builder takes
// the modelling node and its operands (model arrays, child extractables,
// constants), extracts the children, converts them into engine arrays, checks
// the sizes it depends on, builds the engine object and returns its
// extraction result: a constraint record named after the node, or an integer
// record for the expressions. A modelling class plugs a builder into its hook
// record through a hook of one line:
//
//   void* extractMyAllDiff(QroAlgorithmI* a, QroExtractableI* x) {
//     return extractAllDiff(a, x, static_cast<MyAllDiffI*>(x)->getVars());
//   }
//
// and its remove hook calls the remove helper of its row with its fields.
// The distribute, sequence, minimum-distance, box, not-overlap, partition,
// pairwise-disjointness and disjoint-union builders give their engine
// constraint the solver's filter level for the node (QroSolverI::getFilterLevel:
// 0 unless one was set); the others leave the level to the solver's table of
// defaults per kind.
#ifndef QRO_SOLVERGLOBAL_H
#define QRO_SOLVERGLOBAL_H

#include "qroextractable.h"
#include "qrcaccessor.h"
#include "qrcpath.h"
#include "qrctable.h"

class QroAlgorithmI;
class QroIntSetI;
class QroIntSetVarI;
class QroSolverI;

// The modelling transit function of a path and its engine transit object.
class QroPathTransitFunctionI {
 public:
  virtual ~QroPathTransitFunctionI() {}
  // The transit of the arc from node i to node j.
  virtual QroNum transit(QroInt i, QroInt j) = 0;
};

// The engine transit object of a modelling transit function (manager heap).
class QrcQroPathTransitI : public QrcPathTransitI {
 public:
  explicit QrcQroPathTransitI(QroPathTransitFunctionI* f) : _f(f) {}
  QrcFloat transit(QrcInt i, QrcInt j) override { return _f->transit(i, j); }
  // A wrapper on the target's heap around the same modelling function.
  QrcPathTransitI* copyFor(QrcManagerI* target) override {
    return new (target) QrcQroPathTransitI(_f);
  }
  static void* operator new(size_t size, QrcManagerI* manager);
  static void operator delete(void*, QrcManagerI*) {}
  static void operator delete(void*) {}

 private:
  QroPathTransitFunctionI* _f;
};

// Modelling functions of the integers, read by the function wrappers.
// f(x) as a number (made an integer by QroSolverI::toInteger).
class QroIntToIntFunctionI {
 public:
  virtual ~QroIntToIntFunctionI() {}
  virtual QroNum getValue(QroInt x) = 0;
};

// f(x) as an integer expression (null: undefined).
class QroIntToIntVarFunctionI {
 public:
  virtual ~QroIntToIntVarFunctionI() {}
  virtual QroExtractableI* getValue(QroInt x) = 0;
};

// f(x) as an integer-set variable (null: undefined).
class QroIntToIntSetVarFunctionI {
 public:
  virtual ~QroIntToIntSetVarFunctionI() {}
  virtual QroIntSetVarI* getValue(QroInt x) = 0;
};

// The engine functions of the modelling ones (manager heap). The objects
// that the modelling function returns are extracted beforehand; one that is
// not gives an undefined f(x).
class QrcIntToIntfromIntToIntWrapperI : public QrcIntToIntFunctionI {
  QRCTYPETOKEN(QrcIntToIntfromIntToIntWrapperI, QrcIntToIntFunctionI)
 public:
  QrcIntToIntfromIntToIntWrapperI(QroSolverI* solver, QroIntToIntFunctionI* f)
      : _solver(solver), _f(f) {}
  // QroSolver::NumIsNotInteger or IntegerOverflow for a number that is not one.
  QrcInt getValue(QrcInt x) override;
  static void* operator new(size_t size, QrcManagerI* manager);
  static void operator delete(void*, QrcManagerI*) {}
  static void operator delete(void*) {}

 private:
  QroSolverI* _solver;
  QroIntToIntFunctionI* _f;
};

class QrcIntToIntExpfromIntToIntVarWrapperI : public QrcIntToIntExpFunctionI {
  QRCTYPETOKEN(QrcIntToIntExpfromIntToIntVarWrapperI, QrcIntToIntExpFunctionI)
 public:
  QrcIntToIntExpfromIntToIntVarWrapperI(QroSolverI* solver, QroIntToIntVarFunctionI* f)
      : _solver(solver), _f(f) {}
  QrcIntExpI* getValue(QrcInt x) override;
  static void* operator new(size_t size, QrcManagerI* manager);
  static void operator delete(void*, QrcManagerI*) {}
  static void operator delete(void*) {}

 private:
  QroSolverI* _solver;
  QroIntToIntVarFunctionI* _f;
};

class QrcIntToIntSetVarfromIntToIntSetVarWrapperI : public QrcIntToIntSetVarFunctionI {
  QRCTYPETOKEN(QrcIntToIntSetVarfromIntToIntSetVarWrapperI, QrcIntToIntSetVarFunctionI)
 public:
  QrcIntToIntSetVarfromIntToIntSetVarWrapperI(QroSolverI* solver, QroIntToIntSetVarFunctionI* f)
      : _solver(solver), _f(f) {}
  QrcIntSetVarI* getValue(QrcInt x) override;
  static void* operator new(size_t size, QrcManagerI* manager);
  static void operator delete(void*, QrcManagerI*) {}
  static void operator delete(void*) {}

 private:
  QroSolverI* _solver;
  QroIntToIntSetVarFunctionI* _f;
};

// ---------------------------------------------------------------------------
// Builders of the solver's own classes (qrosolverextra.h).

void* extractLeLex(QroAlgorithmI* algorithm, QroExtractableI* node);
void* extractGeLex(QroAlgorithmI* algorithm, QroExtractableI* node);
void* extractStretch(QroAlgorithmI* algorithm, QroExtractableI* node);
void* extractPattern(QroAlgorithmI* algorithm, QroExtractableI* node);
void* extractIntCountValueEq(QroAlgorithmI* algorithm, QroExtractableI* node);

// ---------------------------------------------------------------------------
// Builders of the global constraints over integer variables. Arrays are
// model arrays of extracted (or extractable) integer expressions.

// x <= y (y <= x) lexicographically.
void* extractLeLex(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& x,
                   const QroArray& y);
void* extractGeLex(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& x,
                   const QroArray& y);
// values may be an empty handle.
void* extractStretch(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& vars,
                     const QroIntArray& mins, const QroIntArray& maxes, const QroIntArray& values);
// patterns: an extractable whose extraction is a tuple set (extractIntTupleSet).
void* extractPattern(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& vars,
                     QroExtractableI* patterns, QroInt terminator);
// The number of the expressions equal to the value, as an integer record:
// the generic constraint vars[index] == value.
void* extractIntCountValueEq(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& vars,
                             QroInt value);
void* extractAllDiff(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& vars);
void* extractPairing(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& vars);
// mean and deviation: numeric expressions, taken as float variables.
void* extractSpread(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& vars,
                    QroExtractableI* mean, QroExtractableI* deviation);
// y[i] = x[i] when x[i] is one of the values, else the abstract value.
void* extractEqAbstraction(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& y,
                           const QroArray& x, const QroIntArray& values, QroInt abstractValue);
// b[i] = 1 when x[i] is one of the values, else 0.
void* extractEqIntAbstraction(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& b,
                              const QroArray& x, const QroIntArray& values);
void* extractSequence(QroAlgorithmI* algorithm, QroExtractableI* node, QroInt lo, QroInt hi,
                      QroInt width, const QroArray& vars, const QroIntArray& values,
                      const QroArray& cards);
void* extractInverse(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& f,
                     const QroArray& invf);
// sets: integer-set variables.
void* extractSetInverse(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& sets,
                        const QroArray& vars);
// cards[k] counts values[k] (k without values: values may be an empty handle).
// QroSolver::BadParameterType when values and cards differ in size.
void* extractDistribute(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& vars,
                        const QroArray& cards, const QroIntArray& values);
// QroSolver::BadParameterType when next and cumuls differ in size (nothing
// extracted then); cumuls are numeric expressions.
void* extractPathLength(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& next,
                        const QroArray& cumuls, QroPathTransitFunctionI* transit, QroInt p);
// tuples: an extractable whose extraction is a tuple set.
void* extractAllowedTuples(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& vars,
                           QroExtractableI* tuples, QroBool allowed);
void* extractBinaryPredicate(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& vars,
                             QrcIntBinaryPredicateI* predicate);
void* extractTernaryPredicate(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& vars,
                              QrcIntTernaryPredicateI* predicate);
// y = values[x].
void* extractElementCaller(QroAlgorithmI* algorithm, QroExtractableI* node, QroExtractableI* y,
                           const QroIntArray& values, QroExtractableI* x);
void* extractAllMinDistance(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& exprs,
                            QroInt distance);
// The expression exprs[index], as an integer record. QroSolver::WrongType
// when an element or the index is not integer.
void* extractElement(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& exprs,
                     QroExtractableI* index);
// The same without the type checks.
void* extractVarArrayElement(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& exprs,
                             QroExtractableI* index);
// At most one of the numeric variables is not zero. Weights are not used (a
// line says so on the solver's output); no variable: no result.
void* extractSOS1(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& vars,
                  QroBool hasWeights);
// expr takes one of the values. QroSolver::UnimplementedFeature for a float
// expression in the numeric form.
void* extractArrayMember(QroAlgorithmI* algorithm, QroExtractableI* node, QroExtractableI* expr,
                         const QroNumArray& values);
void* extractArrayMemberInt(QroAlgorithmI* algorithm, QroExtractableI* node, QroExtractableI* expr,
                            const QroIntArray& values);
// A closed engine tuple set of the tuples, given row after row (values holds
// count * arity numbers); the extraction result is the QrcTupleSetI itself.
void* extractIntTupleSet(QroAlgorithmI* algorithm, QroExtractableI* node, QroInt arity,
                         const QroIntArray& values);
// Item i of weights[i] goes into bin places[i], loads[j] being the weight in
// bin j. used: null, a numeric variable (the number of used bins) or an
// integer-set variable (the used bins). pairs: an empty handle, or the items
// the model relates, two different items at a time (i0, j0, i1, j1, ...),
// which go into different bins; they need a numeric used variable.
void* extractPack(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& loads,
                  const QroArray& places, const QroIntArray& weights, QroExtractableI* used,
                  const QroIntArray& pairs);

// ---------------------------------------------------------------------------
// Set relations. Set operands are integer-set variables; a constant set is a
// model integer set. Arrays of sets hold integer-set variables only
// (QroSolver::WrongType, before anything is extracted, otherwise).

void* extractSetEq(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* x,
                   QroIntSetVarI* y);
void* extractSetEq(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* x,
                   QroIntSetI* c);
void* extractSetNeq(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* x,
                    QroIntSetVarI* y);
void* extractSetNeq(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* x,
                    QroIntSetI* c);
// The first operand is a strict subset of the second.
void* extractSubset(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* x,
                    QroIntSetVarI* y);
void* extractSubset(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetI* c,
                    QroIntSetVarI* y);
void* extractSubset(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* x,
                    QroIntSetI* c);
// The first operand is a subset of or equal to the second.
void* extractSubsetEq(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* x,
                      QroIntSetVarI* y);
void* extractSubsetEq(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetI* c,
                      QroIntSetVarI* y);
void* extractSubsetEq(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* x,
                      QroIntSetI* c);
void* extractNullIntersect(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* x,
                           QroIntSetVarI* y);
void* extractNullIntersect(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* x,
                           QroIntSetI* c);
// expr (an integer expression: QroSolver::WrongType otherwise) or the value
// is (is not) an element of the set.
void* extractSetMember(QroAlgorithmI* algorithm, QroExtractableI* node, QroExtractableI* expr,
                       QroIntSetVarI* set);
void* extractSetMember(QroAlgorithmI* algorithm, QroExtractableI* node, QroInt value,
                       QroIntSetVarI* set);
void* extractSetNotMember(QroAlgorithmI* algorithm, QroExtractableI* node, QroExtractableI* expr,
                          QroIntSetVarI* set);
void* extractSetNotMember(QroAlgorithmI* algorithm, QroExtractableI* node, QroInt value,
                          QroIntSetVarI* set);
// result == x intersect y (x union y).
void* extractEqIntersection(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* result,
                            QroIntSetVarI* x, QroIntSetVarI* y);
void* extractEqUnion(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* result,
                     QroIntSetVarI* x, QroIntSetVarI* y);
// result == the union of the sets, pairwise disjoint for the disjoint union
// (whose members take the solver's level for the node).
void* extractDisjointUnion(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* result,
                           const QroArray& sets);
void* extractEqUnionArray(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* result,
                          const QroArray& sets);
// Every value possible in some set (every value of the universe) lies in
// exactly one of the sets; the solver's level for the node is applied.
void* extractPartition(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& sets);
void* extractPartitionWith(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& sets,
                           const QroIntArray& universe);
// No value lies in two of the sets; the solver's level for the node is applied.
void* extractAllNullIntersect(QroAlgorithmI* algorithm, QroExtractableI* node,
                              const QroArray& sets);

// ---------------------------------------------------------------------------
// Functions over the elements of a set variable: for the expression and
// set-variable functions, f(x) is extracted first for every x of the set's
// possible set, in order; for the numeric one every such f(x) must be an
// integer (QroSolver::NumIsNotInteger or IntegerOverflow, before anything is
// built) and the expressions must be integer ones (QroSolver::WrongType).

// result == the union of f(x) over the x in set.
void* extractSetUnionOfFunction(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* set,
                                QroIntSetVarI* result, QroIntToIntFunctionI* f);
void* extractSetUnionOfFunction(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* set,
                                QroIntSetVarI* result, QroIntToIntVarFunctionI* f);
void* extractSetUnionOfFunction(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* set,
                                QroIntSetVarI* result, QroIntToIntSetVarFunctionI* f);
// The integer expression result == the sum (minimum, maximum) of f(x) over
// the x in set; the minimum and maximum of an empty set are left free.
void* extractSetSumOfFunction(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* set,
                              QroExtractableI* result, QroIntToIntFunctionI* f);
void* extractSetSumOfFunction(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* set,
                              QroExtractableI* result, QroIntToIntVarFunctionI* f);
void* extractSetMinOfFunction(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* set,
                              QroExtractableI* result, QroIntToIntFunctionI* f);
void* extractSetMinOfFunction(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* set,
                              QroExtractableI* result, QroIntToIntVarFunctionI* f);
void* extractSetMaxOfFunction(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* set,
                              QroExtractableI* result, QroIntToIntFunctionI* f);
void* extractSetMaxOfFunction(QroAlgorithmI* algorithm, QroExtractableI* node, QroIntSetVarI* set,
                              QroExtractableI* result, QroIntToIntVarFunctionI* f);

// ---------------------------------------------------------------------------
// Placement. Boxes are extractables extracted by extractBox.

// A box of origins.size dimensions with the origin expressions and the sizes
// (integral numbers); tied to the node.
void* extractBox(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& origins,
                 const QroNumArray& sizes);
void* extractBoxNotOverlap(QroAlgorithmI* algorithm, QroExtractableI* node, QroExtractableI* box);
void* extractBoxContainment(QroAlgorithmI* algorithm, QroExtractableI* node,
                            QroExtractableI* container, QroExtractableI* member);
void* extractBoxOverlapInDimension(QroAlgorithmI* algorithm, QroExtractableI* node,
                                   QroExtractableI* container, QroExtractableI* a,
                                   QroExtractableI* b, QroInt d);
void* extractBoxNotOverlapInDimension(QroAlgorithmI* algorithm, QroExtractableI* node,
                                      QroExtractableI* container, QroExtractableI* a,
                                      QroExtractableI* b, QroInt d);
void* extractBoxPrecedenceInDimension(QroAlgorithmI* algorithm, QroExtractableI* node,
                                      QroExtractableI* container, QroExtractableI* a,
                                      QroExtractableI* b, QroInt d);

// ---------------------------------------------------------------------------
// Remove helpers: the algorithm's remove of the operands, in the order given
// (arrays element by element; null operands and empty handles are skipped).

void removeArray(QroAlgorithmI* algorithm, QroExtractableI* node, void* argument);
void removeArrays(QroAlgorithmI* algorithm, QroExtractableI* node, void* argument);

void removeElements(QroAlgorithmI* algorithm, const QroArray& array);
// optional may be null.
void removeChildAndOptional(QroAlgorithmI* algorithm, QroExtractableI* child,
                            QroExtractableI* optional);
// Every element of second, then first (the result set of the unions).
void removeElementsOfSecond(QroAlgorithmI* algorithm, QroExtractableI* first,
                            const QroArray& second);
// The set, the second operand, then f(x) for every x of the set's possible
// set in order (the numeric functions' builders use removeChildAndOptional).
void removeFunctionOperands(QroAlgorithmI* algorithm, QroIntSetVarI* set, QroExtractableI* second,
                            QroIntToIntVarFunctionI* f);
void removeFunctionOperands(QroAlgorithmI* algorithm, QroIntSetVarI* set, QroExtractableI* second,
                            QroIntToIntSetVarFunctionI* f);
void removeArraysElementwise(QroAlgorithmI* algorithm, const QroArray& first,
                             const QroArray& second);
void removeArrayAndOne(QroAlgorithmI* algorithm, const QroArray& array, QroExtractableI* one);
void removeArrayAndTwo(QroAlgorithmI* algorithm, const QroArray& array, QroExtractableI* one,
                       QroExtractableI* two);
void removeElementsAndIndex(QroAlgorithmI* algorithm, const QroArray& array,
                            QroExtractableI* index);
void removeThree(QroAlgorithmI* algorithm, QroExtractableI* first, QroExtractableI* second,
                 QroExtractableI* third);
void removeThirdAndFirst(QroAlgorithmI* algorithm, QroExtractableI* first, QroExtractableI* third);
void removeSecondThenFirst(QroAlgorithmI* algorithm, QroExtractableI* first,
                           QroExtractableI* second);
void removePack(QroAlgorithmI* algorithm, const QroArray& loads, const QroArray& places,
                QroExtractableI* used);

#endif
