// The records of an allowed table's positions, values and tuples, which its
// propagation (qrctable.h) and its support searches (qrctableseek.h) share,
// and the tests of a value against its position's domain over them.
//
// A position's record holds its variable and one value record per indexed
// value; a value record holds its support, a tuple record holding it whose
// values all lie in their domains, and its frontier, the tuple its own last
// search stopped at. A tuple record is listed under each of its values.
#ifndef QRC_TABLE_RECORDS_H
#define QRC_TABLE_RECORDS_H

#include <cstddef>
#include <cstdint>

#include "qrcint.h"
#include "qrcintexp.h"
#include "qrcintset.h"

struct QrcGACValue;
struct QrcGACTuple;

// One position of a tuple record in the list of the tuples holding its value.
// The entry of position k is the tuple's k-th: the tuple is found from it.
struct QrcGACEntry {
  QrcGACEntry* next;
  QrcGACEntry** prev;  // the pointer to this entry; null while unlinked
};

// The indexed values a variable lost in one processing of its events, in the
// order of the delta, read once for the tables over it that index its values
// alike.
struct QrcGACDelta {
  QrcInt key;  // the propagation queue's run count when read, -1 when none
  QrcInt count;
  int32_t* indexes;  // room for as many as the tables index
};

// A position's record on two cache lines: what a wake and the processing of
// lost values read on the first, what membership tests read on the second.
struct alignas(64) QrcGACVar {
  // The variable and its plain set again, as a wake reads them.
  QrcIntExpI* wakeVar;
  const QrcIntSetI* wakePlainSet;
  QrcGACValue* values;
  QrcGACValue** lost;  // values lost and not yet processed, latest last
  QrcInt lostCount;
  QrcGACVar* nextPending;
  QrcGACDelta* delta;  // while lost values are read from the words
  int32_t pending;
  int32_t wakePosition;  // the position again
  QrcIntExpI* var;
  // The domain set last found to be a plain range over every indexed value:
  // while the domain is that set, memberships and lost values are read from its words.
  const QrcIntSetI* plainSet;
  const QrcWord* words;
  QrcInt wordBase;  // the value of the words' bit 0
  // Value index: the elements of a collection-backed domain, else the range first..
  QrcInt first;
  const QrcIntCollectionI* collection;
  QrcInt count;
  QrcInt position;

  // Whether v is in the domain of the position's variable: by the words of
  // its plain set when the domain is that set.
  bool holds(QrcInt v) const {
    QrcIntExpI* x = var;
    x->refreshBounds();
    if (v < x->rawMin() || v > x->rawMax()) return false;
    const QrcIntSetI* d = x->getDomainSet();
    if (d == plainSet && d) {
      QrcUInt pos = static_cast<QrcUInt>(v) - static_cast<QrcUInt>(wordBase);
      return (words[pos >> 6] >> (pos & 63)) & 1;
    }
    return !d || d->containsInline(v);
  }
  // holds for an indexed value of the position (one with a value record),
  // which the words of its plain set cover: its bounds and its bit are read
  // without a branch on either.
  bool holdsIndexed(QrcInt v) const {
    QrcUInt bit;
    return readPlainBit(v, bit) ? bit & 1 : holds(v);
  }
  // While the position's domain is its plain set, whether the indexed value
  // v lies in it, as bit 0 of bit, read without a branch on its bounds or
  // its bit; false when the domain is another set.
  bool readPlainBit(QrcInt v, QrcUInt& bit) const {
    QrcIntExpI* x = var;
    x->refreshBounds();
    const QrcIntSetI* d = x->getDomainSet();
    if (!d || d != plainSet) return false;
    QrcUInt pos = static_cast<QrcUInt>(v) - static_cast<QrcUInt>(wordBase);
    bit = static_cast<QrcUInt>(v >= x->rawMin()) & static_cast<QrcUInt>(v <= x->rawMax()) &
          (words[pos >> 6] >> (pos & 63));
    return true;
  }
};

// Whether the values of a tuple lie in the domains of the positions'
// records, the one at k known to; a the arity, R the arity as a constant
// (2, 3, 4) or 0 to read a.
template <int R>
inline bool qrcOthersHold(const QrcGACVar* records, QrcInt a, const QrcInt* values, QrcInt k) {
  if (R == 2) return records[k ^ 1].holds(values[k ^ 1]);
  // The other positions from k + 1 round: as many each time, no test of k.
  for (QrcInt n = 1, j = k; n < a; ++n) {
    j = j + 1 == a ? 0 : j + 1;
    if (!records[j].holds(values[j])) return false;
  }
  return true;
}

// One cache line: what resupporting reads first comes first.
struct alignas(64) QrcGACValue {
  QrcGACEntry* containing;  // the valid tuple records holding this value
  QrcGACTuple* support;
  QrcGACValue* nextSupported;  // in the support's list of the values it supports
  QrcGACVar* var;
  QrcInt value;
  QrcGACTuple* frontier;  // where the value's own last search stopped
  QrcInt stamp;           // choice-point stamp of the last change of support or frontier
  int32_t index;     // allowed tables: the value's index in its column, -1 when no tuple holds it
  int32_t lostMark;  // the constraint's lost mark while the value is on a lost list
};

// After the entries, the tuple's value records: a binary tuple keeps their
// indexes in their positions' values, so that its record is one cache line;
// other arities keep pointers.
struct QrcGACTuple {
  QrcGACValue* supported;  // the values whose support this is, latest first
  int32_t invalid;
  uint32_t holds;          // frontiers and change records naming it (the spare record wraps)
  int32_t number;          // the tuple's number in the set
  int32_t invalidSlot;     // its place on the stack of invalidated tuples; -1 when on none
  QrcGACEntry entries[1];  // one per position

  static QrcGACTuple* of(QrcGACEntry* e, QrcInt k) {
    return reinterpret_cast<QrcGACTuple*>(reinterpret_cast<char*>(e - k) -
                                          offsetof(QrcGACTuple, entries));
  }
  int32_t* pairIndexes() { return reinterpret_cast<int32_t*>(entries + 2); }
  const int32_t* pairIndexes() const { return reinterpret_cast<const int32_t*>(entries + 2); }
  QrcGACValue** valueRecords(QrcInt r) { return reinterpret_cast<QrcGACValue**>(entries + r); }
  static QrcInt bytes(QrcInt r) {
    QrcInt values = r == 2 ? 2 * sizeof(int32_t) : r * sizeof(QrcGACValue*);
    return static_cast<QrcInt>(offsetof(QrcGACTuple, entries)) +
           r * static_cast<QrcInt>(sizeof(QrcGACEntry)) + values;
  }
};

#endif
