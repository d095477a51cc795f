// Sorted collections of doubles, reversible sets over them, and float arrays.
#ifndef QRC_FLOATSET_H
#define QRC_FLOATSET_H

#include "qrchash.h"
#include "qrcmemory.h"
#include "qrctypes.h"

class QrcFloatCollectionI {
 public:
  struct Element {
    QrcFloat value;
    QrcInt index;
    QrcInt word;
    QrcWord mask;
  };

  QrcFloatCollectionI(QrcManagerI* manager, QrcInt n, const QrcFloat* values);
  // This collection when the array holds exactly its values, else a new one.
  QrcFloatCollectionI* matchOrCreate(QrcInt n, const QrcFloat* values);

  QrcInt getSize() const { return _n; }
  const Element* getElement(QrcInt i) const { return &_elements[i]; }
  const Element* find(QrcFloat value) const;
  // Index of the first element whose value is at least v (size when none).
  QrcInt lowerBoundIndex(QrcFloat v) const;
  QrcInt getWordCount() const { return _wordCount; }
  QrcFloat getLeast() const { return _least; }
  QrcFloat getGreatest() const { return _greatest; }
  QrcManagerI* getManager() const { return _manager; }
  // This collection on its own manager, else its copy on the target's heap.
  QrcFloatCollectionI* copyFor(QrcManagerI* target);

 private:
  QrcInt _n;
  Element* _elements;
  QrcFloatHashTable* _table;
  QrcInt _wordCount;
  QrcFloat _least;
  QrcFloat _greatest;
  QrcManagerI* _manager;
};

// Reversible set of doubles over a collection; element i owns bit i + 1.
class QrcFloatSetI {
 public:
  QrcFloatSetI(QrcFloatCollectionI* collection, QrcBool full, QrcBool stamped);

  bool contains(QrcFloat v) const;
  // Whether something was removed.
  bool remove(QrcFloat v);
  // Drops the members in [oldMin, newMin) from the count (bits stay, stale);
  // returns the least member >= newMin (newMin without collection or member).
  QrcFloat raiseMin(QrcFloat oldMin, QrcFloat newMin);
  QrcFloat lowerMax(QrcFloat oldMax, QrcFloat newMax);
  // Least member >= v / greatest member <= v; v itself when none.
  QrcFloat nextMemberAbove(QrcFloat v) const;
  QrcFloat previousMemberBelow(QrcFloat v) const;
  // Least member > v / greatest member < v; v itself when none.
  QrcFloat getNextHigher(QrcFloat v) const;
  QrcFloat getNextLower(QrcFloat v) const;
  QrcFloatSetI* copy(QrcManagerI* target) const;

  QrcInt getSize() const { return _count.getValue(); }
  // Sets the member count (trail-saved), for a set reduced to one value.
  void setSize(QrcInt n) { _count.set(_manager, n); }
  QrcFloat getMin() const { return _min; }
  QrcFloat getMax() const { return _max; }
  QrcFloatCollectionI* getCollection() const { return _coll; }

 private:
  QrcFloatSetI(const QrcFloatSetI& source, QrcManagerI* target);
  bool test(QrcInt index) const { return (_words[(index + 1) >> 6] >> ((index + 1) & 63)) & 1; }
  void saveWord(QrcInt w);
  // Index of the first member at index >= i, -1 when none.
  QrcInt nextMember(QrcInt i) const;
  // Index of the last member at index <= i, -1 when none.
  QrcInt previousMember(QrcInt i) const;

  QrcWord* _words;
  QrcFloat _min;
  QrcFloat _max;
  QrcRevWord _count;
  QrcFloatCollectionI* _coll;
  QrcManagerI* _manager;
  QrcInt* _stamps;
  QrcInt _wordCount;
};

// n doubles on a manager's heap and the collection built from them.
class QrcFloatArrayI {
 public:
  QrcFloatArrayI(QrcManagerI* manager, QrcInt n, QrcFloat value);
  QrcInt getSize() const { return _size; }
  QrcManagerI* getManager() const { return _manager; }
  QrcFloat& operator[](QrcInt i) { return _values[i]; }
  QrcFloat get(QrcInt i) const { return _values[i]; }
  QrcFloatCollectionI* getCollection() const { return _collection; }
  // Stores (trail-saved) the collection of the array's values.
  void setCollection();

 private:
  QrcInt _size;
  QrcFloat* _values;
  QrcFloatCollectionI* _collection;
  QrcManagerI* _manager;
};

#endif
