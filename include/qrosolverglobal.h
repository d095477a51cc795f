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
// The distribute, sequence, minimum-distance, box and not-overlap builders
// give their engine constraint the solver's filter level for the node
// (QroSolverI::getFilterLevel: 0 unless one was set); the others leave the
// level to the solver's table of defaults per kind.
#ifndef QRO_SOLVERGLOBAL_H
#define QRO_SOLVERGLOBAL_H

#include "qroextractable.h"
#include "qrcpath.h"
#include "qrctable.h"

class QroAlgorithmI;
class QroSolverI;

// Modelling function objects read by the function wrappers and the path
// transit object.
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
  static void* operator new(size_t size, QrcManagerI* manager);
  static void operator delete(void*, QrcManagerI*) {}
  static void operator delete(void*) {}

 private:
  QroPathTransitFunctionI* _f;
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
// the model relates, two by two (i0, j0, i1, j1, ...), which go into different
// bins; they need a numeric used variable.
void* extractPack(QroAlgorithmI* algorithm, QroExtractableI* node, const QroArray& loads,
                  const QroArray& places, const QroIntArray& weights, QroExtractableI* used,
                  const QroIntArray& pairs);

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
