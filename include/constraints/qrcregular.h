// The regular constraint: the word x[0] x[1] ... x[n-1] is accepted by a
// deterministic finite automaton, and the sum of one cost per transition taken
// lies within the bounds of a float cost variable z. The automaton is unrolled
// into a layered graph, one layer of states per position; an edge lies on an
// accepting path when the cheapest and dearest accepting paths through it meet
// z's bounds. Every edge that does not is removed, and so is every value that
// no remaining edge carries. Path labels (cheapest and dearest path from the
// start and to a final state, with the neighbour they came through) are
// repaired incrementally, following only the labels that changed.
//
// Stretch and pattern constraints compile themselves into regular constraints
// with zero costs and z = [0, 0], where the cost test keeps the edges that lie
// on a complete path.
//
// Propagation code keeps trivially destructible locals only: a failure leaves
// it by a non-local jump.
#ifndef QRC_REGULAR_H
#define QRC_REGULAR_H

#include "qrcconstraint.h"
#include "qrcfloatexp.h"
#include "qrcint.h"
#include "qrcsizealloc.h"
#include "qrctupleset.h"

// x spells a word of the automaton of s states (0 the initial one) whose
// transitions are T, row by row (T[q * m + j]: the state reached from q on
// symbol j, or -1), over the alphabet (symbol j stands for alphabet[j]; an
// empty handle gives 0..the largest maximum over x). An empty finals handle
// makes every state final. Arrays given without entries are an empty alphabet
// and no final state. Code 5 when T does not hold s * m entries; code 32 for
// s < 1, an entry outside [-1, s - 1] or a final state outside [0, s - 1].
QrcConstraint QrcRegular(const QrcIntVarArray& x, QrcInt s, const QrcIntArray& T,
                         const QrcIntArray& finals, const QrcIntArray& alphabet);

// Every maximal run of equal values v of x has a length in [shortest, longest]
// of v, and x takes no other value. With a values array (which may be given
// empty: no value is allowed), shortest and longest are indexed like it;
// without one (an empty handle), by value from 0 to the largest maximum over
// x. Code 5 for arrays too short for the values.
QrcConstraint QrcStretch(const QrcIntVarArray& x, const QrcIntArray& shortest,
                         const QrcIntArray& longest, const QrcIntArray& values);

// The sequence of the values of the maximal runs of x contains no pattern of
// the closed set as a contiguous part; each tuple holds one pattern, ended by
// the first terminator from its second position on.
QrcConstraint QrcPattern(const QrcIntVarArray& x, const QrcTupleSet& patterns, QrcInt terminator);

// ---------------------------------------------------------------- regular

struct QrcRegularEdge;

// The links of an edge in one of its three lists.
struct QrcRegularLink {
  QrcRegularEdge* next;
  QrcRegularEdge* prev;
};

// The edge from state source at layer `layer` to state target at layer + 1 on
// a symbol; listed under its source, its target and its (layer, symbol).
struct QrcRegularEdge {
  enum List { Out = 0, In = 1, Symbol = 2 };
  QrcInt layer;
  QrcInt source;
  QrcInt symbol;
  QrcInt target;
  QrcInt alive;  // trailed
  QrcRegularLink links[3];
  QrcRegularEdge* nextRemoved;  // while a repair remembers it
};

// The path labels of a (layer, state), saved together once per choice point.
struct QrcRegularLabel {
  double fwdMin, fwdMax, bwdMin, bwdMax;
  QrcInt fwdMinPred, fwdMaxPred, bwdMinSucc, bwdMaxSucc;
  QrcInt stamp;
};

class QrcRegularI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcRegularI)
  QROSIMPLECLASS(QrcRegularI, QrcConstraintI)
 public:
  // The inputs are copied. costs holds n x s x m values (cost of symbol j from
  // state q at layer i at (i * s + q) * m + j); null for zero costs. With
  // others, the last symbol stands for every value that no other symbol
  // stands for (its alphabet entry is not read), so that an automaton whose
  // transitions treat those values alike has no symbol per value.
  QrcRegularI(QrcManagerI* m, QrcIntVarArrayI* x, QrcInt states, const QrcInt* T, QrcInt symbols,
              const QrcInt* alphabet, const QrcInt* finals, QrcInt finalCount, const double* costs,
              QrcFloatExpI* z, bool others = false);
  void post() override;
  void propagate() override;

  // Demons.
  void lostValues(QrcInt position);
  void costChanged();

  // The automaton and the graph as it stands (for tests).
  QrcInt getStateCount() const { return _states; }
  QrcInt getTransition(QrcInt q, QrcInt j) const { return _T[q * _symbols + j]; }
  QrcBool isFinal(QrcInt q) const { return _final[q] != 0; }
  QrcFloatExpI* getCost() const { return _z; }
  QrcInt getSupport(QrcInt i, QrcInt j) const { return _support[i * _symbols + j].getValue(); }
  QrcInt getSymbolCount() const { return _symbols; }
  const QrcRegularLabel& getLabel(QrcInt k, QrcInt q) const { return _labels[k * _states + q]; }

 private:
  QrcInt symbolOf(QrcInt v) const;
  // Calls f(v, j) for each value v of x's domain that a listed symbol j
  // stands for, in increasing order: over the domain or over the sorted
  // alphabet, the shorter; answers how many there were.
  template <class F>
  QrcInt forEachSymbol(QrcIntExpI* x, F f);
  // Calls f(j) once for each symbol that a value of x's domain has.
  template <class F>
  void forEachSymbolPresent(QrcIntExpI* x, F f);
  // The symbol of the other values loses its last edge at layer i.
  void removeOthers(QrcInt i);
  bool hasEdges(QrcInt i, QrcInt j) const { return _support[i * _symbols + j].getValue() > 0; }
  void dropEdges(QrcInt i, QrcInt j, QrcRegularEdge*& removed);
  bool othersGone(QrcInt i);
  void dropLostEdges();
  void indexValues();
  // Keeps in each variable only the values whose symbol an edge of its layer carries.
  void restrictDomains();
  double cost(QrcInt i, QrcInt q, QrcInt j) const {
    return _costs ? _costs[(i * _states + q) * _symbols + j] : 0.0;
  }
  QrcRegularLabel* label(QrcInt k, QrcInt q) { return &_labels[k * _states + q]; }
  void saveLabel(QrcRegularLabel* l);
  QrcRegularEdge** head(QrcRegularEdge::List list, QrcInt i, QrcInt k);
  void build();
  void allocateGraph();
  void forwardPass(char* reached, char* flag);
  void backwardPass(char* reached, char* flag, char* useful);
  void linkSymbolLists();
  void link(QrcRegularEdge* e, QrcRegularEdge::List list, QrcRegularEdge** head);
  void unlink(QrcRegularEdge* e, QrcRegularEdge::List list);
  bool fails(const QrcRegularEdge* e);
  void removeEdge(QrcRegularEdge* e);
  struct Side;
  static const Side Backward;
  static const Side Forward;
  void repair(const Side& side, QrcInt k, QrcInt state, QrcInt gone);
  void repairRemoved(QrcRegularEdge* removed);
  void filterAll();
  void narrowCost();

  QrcIntVarArrayI* _x;
  QrcInt _n;
  QrcInt _states;
  QrcInt _symbols;
  QrcInt* _T;
  QrcInt* _alphabet;
  QrcInt* _final;  // per state, 1 when final
  double* _costs;
  QrcFloatExpI* _z;
  QrcInt _minValue;
  QrcInt _maxValue;
  QrcIntMap* _map;        // value -> symbol
  QrcInt* _sortedValues;  // the alphabet's values within the domains, increasing
  QrcInt _nSorted;
  QrcInt _others;         // the symbol of the other values, -1 when none
  QrcRevWord* _listedIn;  // with others: per layer, the listed symbols that have edges
  QrcRevWord* _support;
  QrcRegularLabel* _labels;
  QrcRegularEdge** _heads[3];
};

class QrcRegular_varArrayDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcRegular_varArrayDemonI)
  QROSIMPLECLASS(QrcRegular_varArrayDemonI, QrcDemonI)
 public:
  QrcRegular_varArrayDemonI(QrcManagerI* m, QrcRegularI* ct, QrcIntVarArrayI* x)
      : QrcDemonI(m, ct), _ct(ct), _x(x) {}
  void propagate() override;
  void display(std::ostream& os) const override;

 private:
  QrcRegularI* _ct;
  QrcIntVarArrayI* _x;
};

class QrcRegular_VcoutDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcRegular_VcoutDemonI)
  QROSIMPLECLASS(QrcRegular_VcoutDemonI, QrcDemonI)
 public:
  QrcRegular_VcoutDemonI(QrcManagerI* m, QrcRegularI* ct) : QrcDemonI(m, ct), _ct(ct) {}
  void propagate() override { _ct->costChanged(); }
  void display(std::ostream& os) const override;

 private:
  QrcRegularI* _ct;
};

// ---------------------------------------------------------------- automaton builders

// Posts the regular constraint it compiled into (none when nothing is restricted).
class QrcAutomatonBuilderI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcAutomatonBuilderI)
  QROSIMPLECLASS(QrcAutomatonBuilderI, QrcConstraintI)
 public:
  QrcAutomatonBuilderI(QrcManagerI* m, QrcConstraintI* regular)
      : QrcConstraintI(m), _regular(regular) {}
  void post() override {
    if (_regular) addConstraint(_regular);
  }
  void propagate() override {}
  QrcConstraintI* getRegular() const { return _regular; }

 private:
  QrcConstraintI* _regular;
};

class QrcStretchI : public QrcAutomatonBuilderI {
  QRCLIBRARYCLASS(QrcStretchI)
  QROSIMPLECLASS(QrcStretchI, QrcAutomatonBuilderI)
 public:
  QrcStretchI(QrcManagerI* m, QrcConstraintI* regular) : QrcAutomatonBuilderI(m, regular) {}
};

class QrcPatternI : public QrcAutomatonBuilderI {
  QRCLIBRARYCLASS(QrcPatternI)
  QROSIMPLECLASS(QrcPatternI, QrcAutomatonBuilderI)
 public:
  QrcPatternI(QrcManagerI* m, QrcConstraintI* regular) : QrcAutomatonBuilderI(m, regular) {}
};

#endif
