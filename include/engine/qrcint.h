// Handles of the integer engine objects: expressions and variables, integer
// arrays and sets on a manager's heap, and arrays of expressions with their
// per-element demons and index-interval iteration. A null handle passed to a
// checked operation stops the program with code 39 "empty handle".
#ifndef QRC_INT_H
#define QRC_INT_H

#include <iosfwd>

#include "qrcgoal.h"
#include "qrcintexp.h"
#include "qrcintset.h"
#include "qrcmanager.h"

class QrcIntSetVarArrayI;
class QrcIntSetVar;
class QrcIntExp;
class QrcIndex;

// A block of values on the manager's heap, preceded by a header of four
// words: the manager, the size, the cached collection and a zero word.
class QrcIntArray {
 public:
  QrcIntArray() : _values(nullptr) {}
  QrcIntArray(const QrcManager& manager, QrcInt n, const QrcInt* values);
  QrcIntArray(const QrcManager& manager, QrcInt n, QrcInt value);
  explicit QrcIntArray(QrcInt* values) : _values(values) {}

  QrcInt* getImpl() const { return _values; }
  QrcManagerI* getManager() const {
    return _values ? reinterpret_cast<QrcManagerI*>(_values[-4]) : nullptr;
  }
  QrcInt getSize() const { return _values ? _values[-3] : 0; }
  QrcInt& operator[](QrcInt i) const { return _values[i]; }
  // The element expression a[x] (qrcelement.h).
  QrcIntExp operator[](const QrcIntExp& x) const;
  QrcIntCollectionI* getCollection() const;
  QrcInt countRepeated() const;
  bool contains(QrcInt v) const;
  QrcIntArray copy(const QrcManager& manager) const;
  // This array on its own manager (or when it has no block), else its copy.
  QrcIntArray copyFor(QrcManagerI* target) const {
    return !_values || getManager() == target ? *this : copy(QrcManager(target));
  }
  // The sum of the values (0 for an empty array).
  QrcInt sum() const;

 private:
  QrcInt* _values;
};

std::ostream& operator<<(std::ostream& os, const QrcIntArray& a);

class QrcIntSet {
 public:
  QrcIntSet() : _impl(nullptr) {}
  QrcIntSet(QrcIntSetI* impl) : _impl(impl) {}
  // Over [min, max], full or empty; min > max gives an empty set.
  QrcIntSet(const QrcManager& manager, QrcInt min, QrcInt max, QrcBool full);
  // Over the values of an array.
  QrcIntSet(const QrcIntArray& values, QrcBool full);
  QrcIntSet(const QrcManager& manager, const QrcIntArray& values, QrcBool full);
  QrcIntSetI* getImpl() const { return _impl; }

 private:
  QrcIntSetI* _impl;
};

class QrcIntExp {
 public:
  QrcIntExp() : _impl(nullptr) {}
  QrcIntExp(QrcIntExpI* impl) : _impl(impl) {}
  // A constant; 0 and 1 are the manager's shared constants (without the name).
  QrcIntExp(const QrcManager& manager, QrcInt value, const char* name = nullptr);
  QrcIntExpI* getImpl() const { return _impl; }
  QrcManagerI* getManager() const;

  QrcInt getMin() const;
  QrcInt getMax() const;
  QrcInt getValue() const;
  QrcInt getSize() const;
  bool isBound() const;
  bool isInDomain(QrcInt v) const;
  void setMin(QrcInt v) const;
  void setMax(QrcInt v) const;
  void setRange(QrcInt a, QrcInt b) const;
  void setValue(QrcInt v) const;
  void removeValue(QrcInt v) const;
  void removeRange(QrcInt a, QrcInt b) const;

  void removeWhen(QrcDemonI* demon) const;
  void whenValue(QrcDemonI* demon) const;
  void whenRange(QrcDemonI* demon) const;
  void whenDomain(QrcDemonI* demon) const;
  void setDomain(const QrcIntExp& source) const;
  void setDomain(const QrcIntSet& set) const;
  void setDomain(const QrcIntArray& values) const;
  void removeDomain(const QrcIntSet& set) const;
  void removeDomain(const QrcIntArray& values) const;

 protected:
  QrcIntExpI* check(const char* place) const;
  QrcIntExpI* _impl;
};

std::ostream& operator<<(std::ostream& os, const QrcIntExp& exp);

class QrcIntVar : public QrcIntExp {
 public:
  QrcIntVar() {}
  // A variable over [min, max]; a named constant (counted as a variable) when min = max.
  QrcIntVar(const QrcManager& manager, QrcInt min, QrcInt max, const char* name = nullptr);
  QrcIntVar(const QrcIntArray& values, const char* name = nullptr);
  QrcIntVar(const QrcManager& manager, const QrcIntArray& values, const char* name = nullptr);
  // A variable handle on an expression: a node becomes a variable.
  QrcIntVar(QrcIntExpI* impl);
  QrcIntVar(const QrcIntExp& exp);
};

// ---------------------------------------------------------------- expression arrays

class QrcExpArrayI : public QrcPrintable {
 public:
  QrcExpArrayI(QrcManagerI* manager, QrcInt n);
  QrcExpArrayI(QrcManagerI* manager, QrcInt n, QrcExprI** storage);
  virtual ~QrcExpArrayI() {}

  QrcInt getSize() const { return _size; }
  QrcExprI*& elementAt(QrcInt position) { return _elements[position]; }
  QrcExprI* get(QrcInt position) const { return _elements[position]; }
  QrcManagerI* getManager() const { return _manager; }
  QrcErrorReporter* getErrorReporter() const;
  QrcInt getFirstIndex() const { return _first; }
  QrcInt getLastIndex() const { return _last; }
  QrcInt getStep() const { return _step ? _step : 1; }
  QrcInt getCurrentIndex() const { return _current; }
  void setCurrentIndex(QrcInt i) { _current = i; }
  const char* getName() const { return _name; }
  void setName(const char* name) { _name = name; }
  QrcExprI** getStorage() const { return _elements; }
  // A maker's check of the elements (the maker's name is the place): an empty
  // one reports code 39 "empty handle", one of another manager code 53.
  void checkElements(const char* place) const;
  // Whether a handle's position lies in [0, size); else code 29 "bad index"
  // is reported with the place and the position.
  bool checkPosition(QrcInt position, const char* place) const;
  // Shrinks the array to its first n elements.
  void setSize(QrcInt n) {
    _size = n;
    _last = _first + n * getStep();
  }

 protected:
  void displayElements(std::ostream& os, const char* className) const;

  QrcInt _first;
  QrcInt _last;
  QrcInt _step;
  QrcManagerI* _manager;
  QrcInt _current;
  const char* _name;
  QrcInt _size;
  QrcExprI** _elements;
  QrcWord _spare1;
  QrcWord _spare2;
};

class QrcIntVarArrayI : public QrcExpArrayI {
 public:
  QrcIntVarArrayI(QrcManagerI* manager, QrcInt n);
  QrcIntVarArrayI(QrcManagerI* manager, QrcInt n, QrcExprI** storage);
  void display(std::ostream& os) const override;
  QrcIntExpI* getVar(QrcInt position) const {
    return static_cast<QrcIntExpI*>(_elements[position]);
  }
  void whenDomain(QrcDemonI* demon);
  QrcConstraintList* getDemonList() const { return _demons; }
  QrcIntVarArrayI* copyForManager(QrcManagerI* target) const;
  QrcIntVarArrayI* extract(QrcInt first, QrcInt count) const;

 protected:
  QrcWord _word1;
  QrcConstraintList* _demons;
  QrcWord _word3;
  QrcWord _word4;
};

// An index-interval array whose elements are copies of a prototype.
class QrcIntExpArrayI : public QrcIntVarArrayI {
 public:
  QrcIntExpArrayI(QrcManagerI* manager, QrcInt first, QrcInt last, QrcInt step,
                  QrcIntExpI* prototype, QrcBool keepPrototype);
};

class QrcIntSetVarArrayI : public QrcExpArrayI {
 public:
  QrcIntSetVarArrayI(QrcManagerI* manager, QrcInt n);
  QrcIntSetVarArrayI(QrcManagerI* manager, QrcInt n, QrcExprI** storage);
  void display(std::ostream& os) const override;
  QrcIntSetVarArrayI* copyForManager(QrcManagerI* target) const;

 private:
  QrcWord _word1;
  QrcWord _word2;
};

// Per-element demon of an array's domain demons.
class QrcWithIndexSetI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcWithIndexSetI)
  QROSIMPLECLASS(QrcWithIndexSetI, QrcDemonI)
 public:
  QrcWithIndexSetI(QrcManagerI* manager, QrcIntVarArrayI* array, QrcInt index,
                   QrcConstraintList* list)
      : QrcDemonI(manager), _array(array), _index(index), _list(list) {}
  void propagate() override;

 private:
  QrcIntVarArrayI* _array;
  QrcInt _index;
  QrcConstraintList* _list;
};

class QrcIntVarArray {
 public:
  QrcIntVarArray() : _impl(nullptr) {}
  QrcIntVarArray(QrcIntVarArrayI* impl) : _impl(impl) {}
  // n empty elements.
  QrcIntVarArray(const QrcManager& manager, QrcInt n);
  // n new variables over [min, max]; n = 0 gives an empty handle.
  QrcIntVarArray(const QrcManager& manager, QrcInt n, QrcInt min, QrcInt max);
  // Indexes first, first + step, ... below last, each a copy of the prototype.
  QrcIntVarArray(const QrcManager& manager, QrcInt first, QrcInt last, QrcInt step,
                 const QrcIntVar& prototype);

  QrcIntVarArrayI* getImpl() const { return _impl; }
  QrcInt getSize() const { return _impl ? _impl->getSize() : 0; }
  // A position outside [0, size) reports code 29 "bad index" (an empty
  // handle results when the reporter returns). Propagators read the
  // implementation's elements instead.
  QrcIntVar operator[](QrcInt position) const;
  // The element expression vars[x], and the placeholder vars[index] of a
  // generic constraint (qrcelement.h).
  QrcIntExp operator[](const QrcIntExp& x) const;
  QrcIntExp operator[](QrcIndex& index) const;
  // An element is a variable: a node is made one as QrcIntVar(exp) does, so
  // that a value removed from it stays removed when its operands bind.
  void set(QrcInt position, const QrcIntExp& exp) const;
  void whenDomain(QrcDemonI* demon) const;
  QrcInt getMinOfMins(QrcInt a, QrcInt b) const;
  QrcInt getMaxOfMaxs(QrcInt a, QrcInt b) const;
  void setRange(QrcInt a, QrcInt b, QrcInt min, QrcInt max) const;

 private:
  QrcIntVarArrayI* _impl;
};

std::ostream& operator<<(std::ostream& os, const QrcIntVarArray& a);

class QrcIntSetVarArray {
 public:
  QrcIntSetVarArray() : _impl(nullptr) {}
  QrcIntSetVarArray(QrcIntSetVarArrayI* impl) : _impl(impl) {}
  QrcIntSetVarArray(const QrcManager& manager, QrcInt n);
  QrcIntSetVarArrayI* getImpl() const { return _impl; }
  QrcInt getSize() const { return _impl ? _impl->getSize() : 0; }
  // Positions as for QrcIntVarArray.
  QrcIntSetVar operator[](QrcInt position) const;
  void set(QrcInt position, const QrcIntSetVar& var) const;

 private:
  QrcIntSetVarArrayI* _impl;
};

// Elements of an array whose indexes lie in [a, b), in index order.
class QrcIntVarArrayIterator {
 public:
  QrcIntVarArrayIterator(QrcIntVarArrayI* array, QrcInt a, QrcInt b);
  bool ok() const { return _cursor && _cursor <= _last; }
  QrcIntExpI* operator*() const { return static_cast<QrcIntExpI*>(*_cursor); }
  void operator++() {
    ++_cursor;
    ++_index;
  }
  QrcInt getIndex() const { return _before + _index * _step; }

 private:
  QrcExprI** _cursor;
  QrcExprI** _last;
  QrcInt _before;
  QrcInt _end;
  QrcInt _step;
  QrcInt _index;
};

class QrcConstArray {
 public:
  QrcConstArray() : _impl(nullptr) {}
  QrcConstArray(const QrcManager& manager, const QrcIntArray& values);
  QrcConstArrayI* getImpl() const { return _impl; }

 private:
  QrcConstArrayI* _impl;
};

#endif
