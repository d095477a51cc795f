// Element constraints and expressions. y == a[x] and y != a[x] over a
// constant array a[0..n-1], in classes chosen by the shape of the data; the
// expressions a[x] (constant array) and vars[x] (array of variables); and the
// placeholder vars[index] of generic constraints, which becomes the element at
// the index's value when the constraint is copied. y == a[x] and y != a[x]
// restrict the index to 0..n-1; their opposites hold wherever it lies outside.
#ifndef QRC_ELEMENT_H
#define QRC_ELEMENT_H

#include <iosfwd>

#include "qrcint.h"
#include "qrcintexp.h"
#include "qrcsetof.h"

// ---------------------------------------------------------------- y == a[x], general case

// Runs once: restricts x and y, then installs a QrcIntElementConstraintI.
class QrcIntEltCallerCtI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcIntEltCallerCtI)
  QROSIMPLECLASS(QrcIntEltCallerCtI, QrcConstraintI)
 public:
  QrcIntEltCallerCtI(QrcManagerI* manager, QrcIntExpI* y, QrcConstArrayI* a, QrcIntExpI* x);
  void post() override {}
  void propagate() override;
  void metaPostDemon(QrcDemonI* demon) override;
  // "y == [a0 a1 ... ][x]"
  void display(std::ostream& os) const override;
  QrcConstraintI* makeOpposite() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

 private:
  QrcIntExpI* _y;
  QrcConstArrayI* _a;
  QrcIntExpI* _x;
};

// Follows the values y lost and the indices x lost through the value index.
class QrcIntElementConstraintI : public QrcExprEventHandlerConstraintI {
  QRCLIBRARYCLASS(QrcIntElementConstraintI)
  QROSIMPLECLASS(QrcIntElementConstraintI, QrcExprEventHandlerConstraintI)
 public:
  QrcIntElementConstraintI(QrcManagerI* manager, QrcIntExpI* y, QrcConstArrayI* a, QrcIntExpI* x);
  void post() override;
  // Full pass: x within 0..n-1, y within the array's values, both supported.
  void propagate() override;
  QrcBool isFalse() const override;
  void filterFromValue();
  void filterFromIndex();

 private:
  QrcIntExpI* _y;
  QrcConstArrayI* _a;
  QrcIntExpI* _x;
};

// Full recomputation on every domain change of y or x (small arrays).
class QrcStaticElementEqI : public QrcExprEventHandlerConstraintI {
  QRCLIBRARYCLASS(QrcStaticElementEqI)
  QROSIMPLECLASS(QrcStaticElementEqI, QrcExprEventHandlerConstraintI)
 public:
  // With copy set, the values are copied onto the manager's heap; else the
  // caller's block is shared.
  QrcStaticElementEqI(QrcManagerI* manager, QrcIntExpI* y, const QrcIntArray& a, QrcIntExpI* x,
                      QrcBool copy, const char* name = nullptr);
  void post() override;
  void propagate() override;
  void metaPostDemon(QrcDemonI* demon) override;
  // "y == [a0 a1 ... ][x]"
  void display(std::ostream& os) const override;
  QrcConstraintI* makeOpposite() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

 protected:
  void staticPass();
  // The first index in x's domain at or above from (below n) whose value is
  // in y's domain, -1 when none.
  QrcInt findSupportedIndex(QrcInt from, QrcInt below) const;

  QrcIntExpI* _y;
  QrcIntArray _a;
  QrcInt _n;
  QrcIntExpI* _x;
};

// Keeps a support per value of y (the largest index holding it at first) and
// rings of the indices holding each value: a lost value removes its ring from
// x, a lost index that supported its value looks along the ring for another.
class QrcIncrementalStaticElementEqI : public QrcStaticElementEqI {
  QRCLIBRARYCLASS(QrcIncrementalStaticElementEqI)
  QROSIMPLECLASS(QrcIncrementalStaticElementEqI, QrcStaticElementEqI)
 public:
  QrcIncrementalStaticElementEqI(QrcManagerI* manager, QrcIntExpI* y, const QrcIntArray& a,
                                 QrcIntExpI* x, QrcBool copy, const char* name = nullptr);
  void post() override;
  // The static pass, then the tables (built once per branch of the search
  // below the first propagation; later passes only repair the supports).
  void propagate() override;
  QrcBool isFalse() const override;
  void valueLost();
  void indexLost();
  // The support of value v, -1 when v has none (for tests).
  QrcInt getSupport(QrcInt v) const;

 private:
  struct Tables {
    QrcInt offset;
    QrcInt span;
    QrcInt* valueToIndex;
    QrcInt* nextIndex;
    QrcInt* values;  // the supported values at the build, increasing
    QrcInt count;
  };
  void buildTables();
  void fullValuePass();
  void fullIndexPass();
  // A new support of v on the ring from start, or v leaves y.
  void findSupport(QrcInt v, QrcInt start);

  Tables* _tables;
  mutable QrcInt _lastSupport;
};

// y != a[x] for an unbound y. With outside set, an index outside 0..n-1
// satisfies it as well: the opposite of y == a[x].
class QrcStaticElementNEqI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcStaticElementNEqI)
  QROSIMPLECLASS(QrcStaticElementNEqI, QrcConstraintI)
 public:
  QrcStaticElementNEqI(QrcManagerI* manager, QrcIntExpI* y, const QrcIntArray& a, QrcIntExpI* x,
                       const char* name = nullptr, QrcBool outside = 0);
  void post() override;
  void propagate() override;
  void metaPostDemon(QrcDemonI* demon) override;
  QrcConstraintI* makeOpposite() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  void yBound();
  void xBound();

 private:
  QrcIntExpI* _y;
  QrcIntArray _a;
  QrcInt _n;
  QrcIntExpI* _x;
  QrcBool _outside;
};

// y == a[x] for an index inside 0..n-1, while any index outside satisfies it:
// the opposite of y != a[x]. Removes the inner indices whose value y lacks;
// once x lies inside the array, hands over to the class QrcElementEq chooses.
class QrcPartialElementEqI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcPartialElementEqI)
  QROSIMPLECLASS(QrcPartialElementEqI, QrcConstraintI)
 public:
  QrcPartialElementEqI(QrcManagerI* manager, QrcIntExpI* y, const QrcIntArray& a, QrcIntExpI* x);
  void post() override;
  void propagate() override;
  void metaPostDemon(QrcDemonI* demon) override;
  QrcConstraintI* makeOpposite() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

 private:
  QrcIntExpI* _y;
  QrcIntArray _a;
  QrcInt _n;
  QrcIntExpI* _x;
};

// c == a[x] (equal set) or c != a[x] (equal clear) for a constant c: all the
// work is done by the first propagation. With outside set, an index outside
// 0..n-1 satisfies it as well (the opposite of the other class).
class QrcStaticCstElementI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcStaticCstElementI)
  QROSIMPLECLASS(QrcStaticCstElementI, QrcConstraintI)
 public:
  QrcStaticCstElementI(QrcManagerI* manager, QrcInt c, const QrcIntArray& a, QrcIntExpI* x,
                       const char* name, bool equal, QrcBool outside);
  void post() override {}
  void propagate() override;
  void metaPostDemon(QrcDemonI* demon) override;
  QrcBool isFalse() const override;

 protected:
  QrcInt _c;
  QrcIntArray _a;
  QrcIntExpI* _x;
  bool _equal;
  QrcBool _outside;
};

class QrcStaticCstElementEqI : public QrcStaticCstElementI {
  QRCLIBRARYCLASS(QrcStaticCstElementEqI)
  QROSIMPLECLASS(QrcStaticCstElementEqI, QrcStaticCstElementI)
 public:
  QrcStaticCstElementEqI(QrcManagerI* manager, QrcInt c, const QrcIntArray& a, QrcIntExpI* x,
                         const char* name = nullptr, QrcBool outside = 0)
      : QrcStaticCstElementI(manager, c, a, x, name, true, outside) {}
  QrcConstraintI* makeOpposite() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
};

class QrcStaticCstElementNEqI : public QrcStaticCstElementI {
  QRCLIBRARYCLASS(QrcStaticCstElementNEqI)
  QROSIMPLECLASS(QrcStaticCstElementNEqI, QrcStaticCstElementI)
 public:
  QrcStaticCstElementNEqI(QrcManagerI* manager, QrcInt c, const QrcIntArray& a, QrcIntExpI* x,
                          const char* name = nullptr, QrcBool outside = 0)
      : QrcStaticCstElementI(manager, c, a, x, name, false, outside) {}
  QrcConstraintI* makeOpposite() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
};

// y == a[x], not added to the manager. y bound: the constant class; an empty
// array: the always-false constraint; at most 6 entries: the static class;
// more, with max(a) - min(a) + 1 <= 6n + 16: the incremental class; else the
// general class (which does not take the name). The static classes copy the
// values. Expressions y and x are made variables.
QrcConstraint QrcElementEq(const QrcIntExp& y, const QrcIntArray& a, const QrcIntExp& x,
                           const char* name = nullptr);
// y != a[x]: the constant class when y is bound, else the static class.
// Every element class makes its expressions y and x variables.
QrcConstraint QrcElementNEq(const QrcIntExp& y, const QrcIntArray& a, const QrcIntExp& x,
                            const char* name = nullptr);
// The general class on y's manager over a constant copy of a.
QrcConstraint QrcIntEltCallerCt(const QrcIntExp& y, const QrcIntArray& a, const QrcIntExp& x);

// ---------------------------------------------------------------- element expressions

// a[x] over a constant array (the values are copied onto x's manager).
class QrcElemCst : public QrcIntExpI {
  QRCLIBRARYCLASS(QrcElemCst)
 public:
  QrcElemCst(QrcManagerI* manager, QrcInt n, const QrcInt* values, QrcIntExpI* x);
  QRCEXPRTYPEID
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  // A variable over the values a[min x] .. a[max x], tied by an element constraint.
  QrcConstraintI* makeEventHandlerConstraint() override;
  void computeRange() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void removeOperandsValue(QrcInt v) override;
  void removeOperandsRange(QrcInt a, QrcInt b) override;
  void removeWhenOnOperands(QrcDemonI* demon) override;
  void whenValueOnOperands(QrcDemonI* demon) override { _x->whenValue(demon); }
  void whenRangeOnOperands(QrcDemonI* demon) override;
  void whenDomainOnOperands(QrcDemonI* demon) override { whenRangeOnOperands(demon); }
  void accept(QrcIntExpVisitorI* visitor) override {
    if (!visitor->visitElemCst(this)) visitor->visitIntExp(this);
  }
  QrcBool isStaticElement() const override { return 1; }
  QrcConstraintI* makeStaticElementEq(QrcIntExpI* y) override;
  QrcConstraintI* makeStaticElementNEq(QrcIntExpI* y) override;
  // The index outside 0..n-1 (or without a value itself).
  QrcConstraintI* makeUndefinedConstraint() override;
  // While the index may leave 0..n-1; giving a value brings it inside.
  bool computeValueOpen() override;
  void requireOperandValues() override;
  QrcIntExpI* getIndex() const { return _x; }
  QrcInt getSize() const { return _n; }

 private:
  QrcInt _n;
  QrcIntArray _values;
  QrcIntExpI* _x;
  // The index as given when _x stands for it (a node that may lack a value),
  // else null: the range reads the positions of its range.
  QrcIntExpI* _given;
};

// vars[x] over an array of integer expressions (the caller's pointer array).
class QrcElemI : public QrcIntExpI {
  QRCLIBRARYCLASS(QrcElemI)
 public:
  QrcElemI(QrcManagerI* manager, QrcInt n, QrcIntExpI** vars, QrcIntExpI* x);
  QRCEXPRTYPEID
  void display(std::ostream& os) const override;
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void removeOperandsValue(QrcInt v) override;
  void removeOperandsRange(QrcInt a, QrcInt b) override;
  void removeWhenOnOperands(QrcDemonI* demon) override;
  void whenValueOnOperands(QrcDemonI* demon) override;
  void whenRangeOnOperands(QrcDemonI* demon) override;
  void whenDomainOnOperands(QrcDemonI* demon) override;
  void accept(QrcIntExpVisitorI* visitor) override {
    if (!visitor->visitElemVar(this)) visitor->visitIntExp(this);
  }
  // The index outside 0..n-1 (or without a value itself).
  QrcConstraintI* makeUndefinedConstraint() override;
  // As for a[x].
  bool computeValueOpen() override;
  void requireOperandValues() override;
  QrcIntExpI* getIndex() const { return _x; }

 private:
  // The variable at the index's value, null while unbound or outside.
  QrcIntExpI* chosen() const;
  QrcInt _n;
  QrcIntExpI** _vars;
  QrcIntExpI* _x;
  // The index as given when _x stands for it (a node that may lack a value),
  // else null: the range reads the positions of its range.
  QrcIntExpI* _given;
};

// Run when the index of vars[x] is bound: runs the user's demon once the
// chosen variable is bound too.
class QrcElemValueDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcElemValueDemonI)
  QROSIMPLECLASS(QrcElemValueDemonI, QrcDemonI)
 public:
  QrcElemValueDemonI(QrcManagerI* manager, QrcDemonI* demon, QrcIntExpI* x, QrcInt n,
                     QrcIntExpI** vars)
      : QrcDemonI(manager), _demon(demon), _x(x), _n(n), _vars(vars) {}
  void propagate() override;
  void display(std::ostream& os) const override;

 private:
  QrcDemonI* _demon;
  QrcIntExpI* _x;
  QrcInt _n;
  QrcIntExpI** _vars;
};

// a[x]: the constant a[k] when x is bound to k in 0..n-1, else a QrcElemCst
// (both element nodes make an expression index a variable).
QrcIntExp QrcElement(const QrcIntArray& a, const QrcIntExp& x);
// vars[x]: the element itself when x is bound to k in 0..n-1, else a QrcElemI.
QrcIntExp QrcElement(const QrcIntVarArray& vars, const QrcIntExp& x);

// ---------------------------------------------------------------- generic element

// vars[index]: ranges over all the elements; a copy made while the index is
// bound to k is element k (its copy for another manager).
class QrcGenIntVarI : public QrcIntExpI {
  QRCLIBRARYCLASS(QrcGenIntVarI)
 public:
  QrcGenIntVarI(QrcManagerI* manager, QrcIndexI* index, QrcIntVarArrayI* array);
  QRCEXPRTYPEID
  void display(std::ostream& os) const override;
  // Error 10 while the index is unbound; error 29 for a value outside the array.
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  // Narrowing before instantiation: error 10.
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void removeOperandsValue(QrcInt v) override;
  void removeOperandsRange(QrcInt a, QrcInt b) override;
  void removeWhenOnOperands(QrcDemonI*) override {}
  void whenValueOnOperands(QrcDemonI*) override {}
  void whenRangeOnOperands(QrcDemonI*) override {}
  void whenDomainOnOperands(QrcDemonI*) override {}
  void accept(QrcIntExpVisitorI* visitor) override {
    if (!visitor->visitGenIntVar(this)) visitor->visitIntExp(this);
  }
  // Over an array of the index's size, the count of the variables equal to c
  // (QrcCard).
  QrcIntExpI* makeGenericCount(QrcIndexI* index, QrcInt c) override;
  QrcIndexI* getIndex() const { return _index; }
  QrcIntVarArrayI* getArray() const { return _array; }

 private:
  [[noreturn]] void unbound() const;
  QrcIndexI* _index;
  QrcIntVarArrayI* _array;
};

#endif
