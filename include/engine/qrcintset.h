// Value containers of the engine: sorted integer collections, reversible
// integer sets held as bit sets (over a plain range of values, or over the
// elements of a collection for wide universes) or, for wide domains, as
// their holes, their iterators, constant arrays with a value index, and
// ordered sets that keep insertion order.
#ifndef QRC_INTSET_H
#define QRC_INTSET_H

#include "qrchash.h"
#include "qrcmemory.h"
#include "qrctypes.h"

// Sorted distinct values; element i owns bit (i + 1) of a set over it.
class QrcIntCollectionI {
 public:
  struct Element {
    QrcInt value;
    QrcInt index;
    QrcInt word;
    QrcWord mask;
  };

  QrcIntCollectionI(QrcManagerI* manager, QrcInt n, const QrcInt* values, bool sorted);
  // This collection when the array holds exactly its values, else a new one.
  QrcIntCollectionI* matchOrCreate(QrcInt n, const QrcInt* values);

  QrcInt getSize() const { return _n; }
  const Element* getElement(QrcInt i) const { return &_elements[i]; }
  // Element of a value, null when the value is not in the collection.
  const Element* find(QrcInt value) const;
  // First element whose value is at least v (the sentinel when none).
  QrcInt lowerBoundIndex(QrcInt v) const;
  QrcInt getWordCount() const { return _wordCount; }
  QrcInt getSmallest() const { return _smallest; }
  QrcInt getLargest() const { return _largest; }
  QrcManagerI* getManager() const { return _manager; }
  // This collection on its own manager, else its copy on the target's heap,
  // made once per copy into the target.
  QrcIntCollectionI* copyFor(QrcManagerI* target);

 private:
  QrcInt _n;
  Element* _elements;
  QrcIntHashTable* _table;
  QrcInt _wordCount;
  QrcInt _smallest;
  QrcInt _largest;
  QrcManagerI* _manager;
  QrcIntCollectionI* _copyMemo;
};

struct QrcIntHole;

class QrcIntSetI {
 public:
  // Universes wider than this hold a variable's domain as its holes.
  static const QrcInt HoleFormSpan = QrcInt(1) << 16;
  struct HoleForm {};

  // Plain range [min, max], full or empty.
  QrcIntSetI(QrcManagerI* manager, QrcInt min, QrcInt max, QrcBool full, QrcBool stamped);
  // Over a collection: element-based for universes wider than 128 values or
  // when no range is allowed, else a plain range over the collection's span.
  QrcIntSetI(QrcIntCollectionI* collection, QrcBool full, QrcBool rangeAllowed, QrcBool stamped);
  // Plain range [min, max] holding the given values.
  QrcIntSetI(QrcManagerI* manager, QrcInt min, QrcInt max, QrcInt n, const QrcInt* values,
             QrcBool stamped);
  // Full range [min, max] kept as the intervals removed from it: each change
  // costs the logarithm of the number of holes, never the span. Behaves as a
  // plain range (values outside count as members, positions are v - min).
  QrcIntSetI(QrcManagerI* manager, QrcInt min, QrcInt max, HoleForm);
  // The full, stamped set a variable over [min, max] takes at its first hole.
  static QrcIntSetI* makeDomain(QrcManagerI* manager, QrcInt min, QrcInt max);

  bool contains(QrcInt v) const;
  // contains, the bit test of a plain range inline.
  bool containsInline(QrcInt v) const {
    if (_words && !_coll) {
      if (v < _min || v > _max) return false;
      QrcInt pos = v - _min;
      return (_words[pos >> 6] >> (pos & 63)) & 1;
    }
    return contains(v);
  }
  // A plain range's bit words, with the value of bit 0 in base and the
  // universe's last value in last; null for the other forms.
  const QrcWord* getPlainWords(QrcInt& base, QrcInt& last) const {
    base = _min;
    last = _max;
    return _coll ? nullptr : _words;
  }
  // Values outside a plain range count as members (never removed).
  bool isMember(QrcInt v) const;
  bool remove(QrcInt v);
  bool add(QrcInt v);
  void removeRange(QrcInt a, QrcInt b);
  bool intersectsRange(QrcInt a, QrcInt b) const;
  // Smallest member in [a, b], a - 1 when none.
  QrcInt firstMemberInRange(QrcInt a, QrcInt b) const;
  // Drops the members in [oldMin, newMin) from the count (bits stay, stale);
  // returns the smallest member >= newMin (max + 1 when none).
  QrcInt raiseMin(QrcInt oldMin, QrcInt newMin);
  // Mirror: drops (newMax, oldMax]; returns the largest member <= newMax (min - 1 when none).
  QrcInt lowerMax(QrcInt oldMax, QrcInt newMax);
  // Smallest member > v, v when none; inline when a plain range has it in
  // the word of v + 1.
  QrcInt getNextHigher(QrcInt v) const {
    if (isPlain() && v >= _min && v < _max) {
      QrcInt pos = v + 1 - _min;
      QrcWord bits = _words[pos >> 6] & (~QrcWord(0) << (pos & 63));
      if (bits) {
        QrcInt p = (pos & ~QrcInt(63)) + __builtin_ctzll(bits);
        return p <= _max - _min ? _min + p : v;
      }
    }
    return nextHigherAcross(v);
  }
  // Calls f(v) for each member v of [a, b] (a and b within the universe's
  // bounds), increasing; a plain range is read a word at a time.
  template <class F>
  void forEachIn(QrcInt a, QrcInt b, F f) const {
    if (a > b) return;
    if (_words && !_coll) {
      QrcInt from = a - _min, to = b - _min;
      if ((from >> 6) == (to >> 6)) {
        // One word, as in any small domain.
        QrcInt base = _min + ((from >> 6) << 6);
        QrcWord bits =
            _words[from >> 6] & (~QrcWord(0) << (from & 63)) & (~QrcWord(0) >> (63 - (to & 63)));
        for (; bits; bits &= bits - 1) f(base + __builtin_ctzll(bits));
        return;
      }
      for (QrcInt w = from >> 6, last = to >> 6; w <= last; ++w) {
        QrcWord bits = _words[w];
        if (w == from >> 6) bits &= ~QrcWord(0) << (from & 63);
        if (w == last && (to & 63) != 63) bits &= (QrcWord(1) << ((to & 63) + 1)) - 1;
        for (; bits; bits &= bits - 1) f(_min + (w << 6) + __builtin_ctzll(bits));
      }
      return;
    }
    if (contains(a)) f(a);
    for (QrcInt v = a;;) {
      QrcInt next = getNextHigher(v);
      if (next <= v || next > b) return;
      f(next);
      v = next;
    }
  }
  // Whether the set is a plain range held as bits (no collection, no holes).
  bool isPlain() const { return _words && !_coll; }
  // For a plain range and a <= b within its universe: the first run of
  // members of [a, b] in lo..hi (bits left stale by bound moves count);
  // false when [a, b] holds none. Ends in one word are read as that word.
  bool firstRunIn(QrcInt a, QrcInt b, QrcInt& lo, QrcInt& hi) const {
    QrcInt from = a - _min, to = b - _min;
    QrcInt w = from >> 6;
    if (w != (to >> 6)) return firstRunAcross(from, to, lo, hi);
    QrcWord bits = _words[w] & (~QrcWord(0) << (from & 63)) & (~QrcWord(0) >> (63 - (to & 63)));
    if (!bits) return false;
    int first = __builtin_ctzll(bits);
    QrcWord gaps = ~bits & (~QrcWord(0) << first);
    QrcInt base = _min + (w << 6);
    lo = base + first;
    hi = base + (gaps ? __builtin_ctzll(gaps) - 1 : 63);
    return true;
  }
  // Largest member < v, v when none.
  QrcInt getNextLower(QrcInt v) const;
  // For a member v, the largest w with every value of [v, w] a member (within
  // the universe's bounds); costs a word per 64 positions, never a value each.
  QrcInt getRunEnd(QrcInt v) const;
  // Next or previous value of the universe; false at the end.
  bool nextInUniverse(QrcInt& v) const;
  bool previousInUniverse(QrcInt& v) const;
  // The same members on the target's heap (over the collection's copy when
  // the target is another manager).
  QrcIntSetI* copy(QrcManagerI* target) const;
  // This set on its own manager, else its copy.
  QrcIntSetI* copyFor(QrcManagerI* target) { return target == _manager ? this : copy(target); }

  QrcInt getSize() const { return _count.getValue(); }
  QrcInt getMin() const { return _min; }
  QrcInt getMax() const { return _max; }
  QrcInt getWordCount() const { return _wordCount; }
  QrcIntCollectionI* getCollection() const { return _coll; }
  QrcManagerI* getManager() const { return _manager; }
  bool isHoleForm() const { return !_words; }
  // The number of members in [a, b].
  QrcInt countIn(QrcInt a, QrcInt b) const;

  // Positions: bit v - min of a plain range, bit i + 1 of element i.
  QrcInt firstPosition() const { return _coll ? 1 : 0; }
  QrcInt lastPosition() const { return _coll ? _coll->getSize() : _max - _min; }
  QrcInt valueAt(QrcInt pos) const {
    return _coll ? _coll->getElement(pos - 1)->value : _min + pos;
  }
  // First set position in [from, lastPosition()], -1 when none.
  QrcInt nextSetPosition(QrcInt from) const;
  // First clear position in [from, lastPosition()], lastPosition() + 1 when none.
  QrcInt nextClearPosition(QrcInt from) const;
  // Last set position in [firstPosition(), from], -1 when none.
  QrcInt previousSetPosition(QrcInt from) const;

 private:
  QrcIntSetI(const QrcIntSetI& source, QrcManagerI* target);
  void allocateWords(QrcInt count, bool full, bool stamped);
  // Position of a value, -1 when it has none.
  QrcInt positionOf(QrcInt v) const;
  bool testPosition(QrcInt pos) const { return (_words[pos >> 6] >> (pos & 63)) & 1; }
  void saveWord(QrcInt w);
  // Position of the first universe value >= v (lastPosition() + 1 when none).
  QrcInt ceilPosition(QrcInt v) const;
  // Position of the last universe value <= v (firstPosition() - 1 when none).
  QrcInt floorPosition(QrcInt v) const;
  QrcInt countInPositions(QrcInt from, QrcInt to) const;
  QrcInt countInWords(QrcInt wf, QrcInt wt, QrcWord low, QrcWord high) const;
  // getNextHigher past the word of v + 1.
  QrcInt nextHigherAcross(QrcInt v) const;
  // firstRunIn over positions in different words.
  bool firstRunAcross(QrcInt from, QrcInt to, QrcInt& lo, QrcInt& hi) const;
  // The bit set's own position walks.
  QrcInt nextBit(QrcInt from) const;
  QrcInt previousBit(QrcInt from) const;
  // Hole form.
  void setHoles(QrcIntHole* root);
  QrcInt firstMemberFrom(QrcInt v) const;
  QrcInt lastMemberUpTo(QrcInt v) const;

  QrcWord* _words;
  QrcInt _min;
  QrcInt _max;
  QrcRevWord _count;
  QrcIntCollectionI* _coll;
  QrcManagerI* _manager;
  QrcInt* _stamps;
  QrcInt _wordCount;
  QrcIntHole* _holes;
  QrcInt _holesStamp;
};

// Members of a set in increasing order.
class QrcIntSetIterator {
 public:
  explicit QrcIntSetIterator(const QrcIntSetI* set);
  // Stores the current member and advances; false when the iteration was over.
  bool next(QrcInt& value);
  void advance();
  bool ok() const { return _pos >= 0; }

 private:
  const QrcIntSetI* _set;
  QrcInt _pos;
};

class QrcIntSetVarArrayI;

// A set of integers that keeps insertion order (index = order of insertion)
// and can add a dense value-to-index table.
class QrcIntOrderedSetI {
 public:
  // From values, a repeated value kept once (error 50 with reportDuplicates).
  QrcIntOrderedSetI(QrcManagerI* manager, QrcInt n, const QrcInt* values, bool reportDuplicates);
  // From the members of a set.
  QrcIntOrderedSetI(QrcManagerI* manager, const QrcIntSetI* set);
  // The union of the possible sets of the variables, inserted in increasing
  // order (index j is the j-th smallest value).
  QrcIntOrderedSetI(QrcManagerI* manager, const QrcIntSetVarArrayI* vars);

  bool contains(QrcInt v) const;
  // Index of a value known to be present.
  QrcInt getIndex(QrcInt v) const;
  bool add(QrcInt v);
  void compact(QrcInt factor);
  QrcInt getSize() const { return _count; }
  QrcInt getValue(QrcInt index) const { return _values[index]; }
  bool isDense() const { return _dense != nullptr; }
  QrcInt getSmallest() const { return _smallest; }
  QrcInt getLargest() const { return _largest; }
  // This set on its own manager, else the same values in the same order on
  // the target's heap.
  QrcIntOrderedSetI* copyFor(QrcManagerI* target);

 private:
  struct Cell {
    QrcInt index;
    Cell* next;
  };
  void init(QrcInt buckets, QrcInt capacity);
  void grow();
  QrcInt findIndex(QrcInt v) const;

  QrcManagerI* _manager;
  QrcInt* _dense;
  QrcInt _count;
  QrcInt _smallest;
  QrcInt _largest;
  Cell** _buckets;
  QrcInt _mask;
  QrcInt* _values;
  QrcInt _capacity;
  QrcInt _denseSmallest;
  QrcInt _denseLargest;
};

class QrcIntArrayIndexI;
class QrcIntExpI;

// A constant integer array on a manager's heap.
class QrcConstArrayI {
 public:
  QrcConstArrayI(QrcManagerI* manager, QrcInt n, const QrcInt* values);
  QrcInt getSize() const { return _size; }
  QrcInt operator[](QrcInt i) const { return _values[i]; }
  const QrcInt* getValues() const { return _values; }
  // Built on first call (the pointer is trail-saved).
  QrcIntArrayIndexI* getValueIndex();

 private:
  QrcInt _size;
  QrcInt* _values;
  QrcManagerI* _manager;
  QrcIntArrayIndexI* _index;
};

// Value index of a constant array: distinct sorted values, and for each the
// positions holding it (grouped, with the first and last of the group).
class QrcIntArrayIndexI {
 public:
  QrcIntArrayIndexI(QrcManagerI* manager, QrcInt n, const QrcInt* values);
  QrcInt getDistinctCount() const { return _distinct; }
  QrcInt getDistinctValue(QrcInt k) const { return _sortedValues[k]; }
  // Positions holding a value: [begin, end) into getPositions(); false when absent.
  bool positionsOf(QrcInt value, QrcInt& begin, QrcInt& end) const;
  const QrcInt* getPositions() const { return _positions; }
  bool allDistinct() const { return _distinct == _size; }
  QrcIntOrderedSetI* getValueSet() const { return _valueSet; }
  // Narrowing an index expression x (and a value expression y) of the array;
  // each may fail. x keeps only the positions holding v (none: failure).
  void restrictIndexToValue(QrcIntExpI* x, QrcInt v) const;
  // x loses every position holding v.
  void removeIndicesOfValue(QrcIntExpI* x, QrcInt v) const;
  // y loses the value at position i unless another position holding it is in x.
  void checkValueSupport(QrcIntExpI* x, QrcIntExpI* y, QrcInt i) const;

 private:
  QrcInt _size;
  const QrcInt* _values;
  QrcInt _distinct;
  QrcInt* _sortedValues;
  QrcInt* _first;
  QrcInt* _last;
  QrcInt* _positions;
  QrcIntOrderedSetI* _valueSet;
};

#endif
