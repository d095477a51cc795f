// Table constraints: a tuple of integer variables restricted to the tuples of
// a closed tuple set, to the tuples outside one, or to the tuples accepted by
// a predicate of two or three arguments, kept generalised arc consistent.
//
// Allowed tables: every value of every variable has a value record and, once the constraint
// propagated, a support: a tuple record holding the value whose values all
// lie in their domains. A tuple record supports every value it holds and is
// listed under each of them, so that a value whose support was lost first
// looks among the tuples of the other values before searching anew. A value
// also keeps its frontier, the tuple its own last search stopped at: every
// candidate before it was refused, so the next search starts after it.
//
// Tuple records live in chunks of the manager's size-class pools, recycled by
// the constraint, not on the trail; the tuples invalidated and the supports
// and frontiers changed are pushed on undo stacks. Each choice point at which
// the constraint wakes gets one restorer goal holding the stacks' heights, run
// when search returns past it, that undoes what lies above them.
//
// Forbidden tables and predicates keep their supports by runs of values
// instead (see QrcGACSPredicateI), so that they follow the tuples and the
// values whose supports differ, not the width of the domains.
//
// Propagation code keeps trivially destructible locals only: a failure leaves
// it by a non-local jump.
#ifndef QRC_TABLE_H
#define QRC_TABLE_H

#include <cstddef>
#include <cstdint>

#include "qrcconstraint.h"
#include "qrcint.h"
#include "qrcintexp.h"
#include "qrcintset.h"
#include "qrcintvisitor.h"
#include "qrctupleset.h"

class QrcIntBinaryPredicateI {
 public:
  virtual ~QrcIntBinaryPredicateI() {}
  virtual QrcBool isTrue(QrcInt a, QrcInt b) = 0;
};

class QrcIntTernaryPredicateI {
 public:
  virtual ~QrcIntTernaryPredicateI() {}
  virtual QrcBool isTrue(QrcInt a, QrcInt b, QrcInt c) = 0;
};

class QrcIntBinaryPredicate {
 public:
  QrcIntBinaryPredicate() : _impl(nullptr) {}
  QrcIntBinaryPredicate(QrcIntBinaryPredicateI* impl) : _impl(impl) {}
  QrcIntBinaryPredicateI* getImpl() const { return _impl; }

 private:
  QrcIntBinaryPredicateI* _impl;
};

class QrcIntTernaryPredicate {
 public:
  QrcIntTernaryPredicate() : _impl(nullptr) {}
  QrcIntTernaryPredicate(QrcIntTernaryPredicateI* impl) : _impl(impl) {}
  QrcIntTernaryPredicateI* getImpl() const { return _impl; }

 private:
  QrcIntTernaryPredicateI* _impl;
};

// The set must be closed (code 56) and of the arity of the array (code 5).
// Allowed tuples when the flag is true, forbidden ones otherwise. Over no
// variables, an allowed table holds when the set has a tuple, a forbidden
// one when it has none.
QrcConstraint QrcTableConstraint(const QrcIntVarArray& vars, const QrcTupleSet& set,
                                 QrcBool allowed);
// Exactly 2 (3) variables, else code 57.
QrcConstraint QrcTableConstraint(const QrcIntVarArray& vars, const QrcIntBinaryPredicate& p);
QrcConstraint QrcTableConstraint(const QrcIntVarArray& vars, const QrcIntTernaryPredicate& p);

// ---------------------------------------------------------------- records

// A domain read once for many membership tests while it does not change:
// its bounds and, over a plain range, its bit words (else its set, or none).
struct QrcDomainProbe {
  QrcInt lo;
  QrcUInt span;  // hi - lo
  const QrcWord* words;
  const QrcIntSetI* other;

  void read(QrcIntExpI* x) {
    x->refreshBounds();
    QrcInt hi = x->rawMax();
    lo = x->rawMin();
    other = x->getDomainSet();
    words = nullptr;
    QrcInt base, last;
    if (other && (words = other->getPlainWords(base, last))) {
      // Bits below lo are not read: the words start at lo's bit.
      if (lo < base) lo = base;
      if (hi > last) hi = last;
      words += (lo - base) >> 6;
      shift = (lo - base) & 63;
      other = nullptr;
    }
    if (lo > hi) {
      static const QrcWord none = 0;
      hi = lo;
      words = &none;
      shift = 0;
      other = nullptr;
    }
    span = static_cast<QrcUInt>(hi) - static_cast<QrcUInt>(lo);
  }
  bool holds(QrcInt v) const {
    QrcUInt off = static_cast<QrcUInt>(v) - static_cast<QrcUInt>(lo);
    if (off > span) return false;
    if (words) {
      QrcUInt pos = off + static_cast<QrcUInt>(shift);
      return (words[pos >> 6] >> (pos & 63)) & 1;
    }
    return !other || other->contains(v);
  }
  // The domain as bits from lo, when it spans at most 64 values and is no set of another form.
  bool toMask(QrcUInt& mask) const {
    if (other || span > 63) return false;
    QrcUInt range = span == 63 ? ~QrcUInt(0) : (QrcUInt(1) << (span + 1)) - 1;
    if (!words) {
      mask = range;
      return true;
    }
    QrcUInt w = words[0] >> shift;
    if (shift && shift + static_cast<QrcInt>(span) > 63) w |= words[1] << (64 - shift);
    mask = w & range;
    return true;
  }

 private:
  QrcInt shift = 0;
};

class QrcGACSchemaI;
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
};

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

// A value's support and frontier as they stood before a choice point.
struct QrcGACChange {
  QrcGACValue* value;
  QrcGACTuple* support;
  QrcGACTuple* frontier;
  QrcInt stamp;
};

// A stack of plain records in the manager's size-class pools, grown by doubling.
template <class T>
struct QrcGACStack {
  T* items = nullptr;
  QrcInt top = 0;
  QrcInt capacity = 0;

  T* push(QrcSizeAllocatorI* pool) {
    if (top == capacity) grow(pool);
    return &items[top++];
  }
  __attribute__((noinline)) void grow(QrcSizeAllocatorI* pool) {
    QrcInt n = capacity ? 2 * capacity + 1 : 31;
    T* bigger = static_cast<T*>(pool->allocateSized(n * static_cast<QrcInt>(sizeof(T))));
    for (QrcInt i = 0; i < top; ++i) bigger[i] = items[i];
    if (items) pool->freeSized(items, capacity * static_cast<QrcInt>(sizeof(T)));
    items = bigger;
    capacity = n;
  }
};

// ---------------------------------------------------------------- goals and demons

// The heights of the constraint's undo stacks when the choice point was entered:
// what lies above them is undone when search returns past it. Restorers live
// on the manager's heap, released with their choice point once they ran.
class QrcRestorerI : public QrcGoalI {
  QROSIMPLECLASS(QrcRestorerI, QrcGoalI)
 public:
  QrcRestorerI(QrcManagerI* m, QrcGACSchemaI* ct, QrcInt invalidated, QrcInt newlySupported,
               QrcInt replaced)
      : QrcGoalI(m),
        _ct(ct),
        _invalidated(invalidated),
        _newlySupported(newlySupported),
        _replaced(replaced),
        _cell{nullptr, nullptr} {}
  // Its cell in the group of the choice point's reversible actions.
  QrcGoalCell* getCell() { return &_cell; }

 protected:
  QrcGACSchemaI* _ct;
  QrcInt _invalidated;
  QrcInt _newlySupported;
  QrcInt _replaced;
  QrcGoalCell _cell;
};

class QrcECRestorerI final : public QrcRestorerI {
  QROSIMPLECLASS(QrcECRestorerI, QrcRestorerI)
 public:
  QrcECRestorerI(QrcManagerI* m, QrcGACSchemaI* ct, QrcInt invalidated, QrcInt newlySupported,
                 QrcInt replaced)
      : QrcRestorerI(m, ct, invalidated, newlySupported, replaced) {}
  QrcGoalI* execute() override;
};

class QrcWLConstraintI;

class QrcWLConstraintIVarDomainI : public QrcDemonI {
  QROSIMPLECLASS(QrcWLConstraintIVarDomainI, QrcDemonI)
 public:
  QrcWLConstraintIVarDomainI(QrcManagerI* m, QrcWLConstraintI* ct, QrcGACVar* record);
  void propagate() override;
  void display(std::ostream& os) const override;
  QrcGACVar* getRecord() const { return _record; }

 private:
  QrcWLConstraintI* _wl;
  QrcGACVar* _record;
};

// ---------------------------------------------------------------- constraints

// Variable and value records and the pending lost values; a restorer for
// each choice point at which the constraint wakes.
class QrcWLConstraintI : public QrcConstraintI {
  QROSIMPLECLASS(QrcWLConstraintI, QrcConstraintI)
 public:
  QrcWLConstraintI(QrcManagerI* m, QrcIntVarArrayI* vars);
  void post() override;
  virtual void initialise() = 0;
  // A restorer holding the undo stacks' heights now.
  virtual QrcRestorerI* makeRestorer() = 0;

  // Demon of a position: records the values its variable lost and schedules the constraint.
  // m: the manager, as the demon holds it (read without the constraint's).
  __attribute__((always_inline)) inline void lostValues(QrcGACVar* r, QrcManagerI* m);
  QrcInt getArity() const { return _arity; }
  QrcIntVarArrayI* getVars() const { return _vars; }
  // The record of a value, null when it has none.
  QrcGACValue* findValue(QrcInt k, QrcInt v) const;

 protected:
  // Whether lost values of position r are read from the words of d, a plain
  // range over every indexed value; when so, remembered in r.
  static bool readsPlainWords(QrcGACVar* r, const QrcIntSetI* d);
  // lostValues' path that reads the delta first, or by ranges over other
  // forms of domain: the new count of r's lost values.
  __attribute__((noinline)) QrcInt lostValuesRead(QrcGACVar* r);
  // The delta by the iterator's ranges (in the same order as the words give it).
  QrcInt lostValuesByRanges(QrcGACVar* r);
  // Reads the delta of r's variable into its shared record; false when it does not fit.
  static bool readDelta(QrcGACVar* r, QrcGACDelta* s);
  // The shared delta record of a position, that of another table over the
  // variable when it indexes the values alike.
  QrcGACDelta* shareDelta(QrcGACVar* r);
  // Starts a new restorer when a choice point was set since the last wake.
  inline void enterChoicePoint();
  // Out of line: the wakes' common path keeps no registers for it.
  __attribute__((noinline)) void startChoicePoint(QrcInt stamp);
  void clearPending();
  // No choice point since posting: changes are never undone.
  bool isAtPostPoint() const { return _currentStamp == _postStamp; }

  QrcInt _arity;
  QrcInt _postStamp;
  QrcInt _currentStamp;
  QrcGACVar* _records;
  QrcGACVar* _pending;
  // Values whose lost mark is this one are on their lost lists: clearing
  // the lists takes a new one.
  int32_t _lostMark;
  QrcIntVarArrayI* _vars;
};

// The generalised arc consistency schema over supports.
class QrcGACSchemaI : public QrcWLConstraintI {
  QROSIMPLECLASS(QrcGACSchemaI, QrcWLConstraintI)
 public:
  QrcGACSchemaI(QrcManagerI* m, QrcIntVarArrayI* vars)
      : QrcWLConstraintI(m, vars),
        _first(0),
        _rows(nullptr),
        _pairValues{nullptr, nullptr},
        _busy(nullptr),
        _tupleStride(0),
        _freeTuples(nullptr),
        _chunkNext(nullptr),
        _chunkEnd(nullptr),
        _firstRecords(0),
        _noTuple() {}
  void propagate() override;
  void initialise() override;
  QrcRestorerI* makeRestorer() final;
  // A new tuple record holding the value whose values all lie in their
  // domains, searched after the value's frontier; null when none.
  virtual QrcGACTuple* seekSupport(QrcGACValue* value) = 0;

  // Restorer side: undoes what lies above the given stack heights.
  void restore(QrcInt invalidated, QrcInt newlySupported, QrcInt replaced);

 protected:
  // A record of the set's tuple of that number, linked under each of its values.
  QrcGACTuple* newTuple(QrcInt number);
  // The hot paths below take the arity R as a constant (2, 3, 4), or 0 to read it.
  template <int R>
  QrcInt arity() const {
    return R ? R : _arity;
  }
  template <int R>
  QrcGACTuple* newTupleOf(QrcInt number);
  template <int R>
  bool isPair() const {
    return R == 2 || (R == 0 && _arity == 2);
  }
  // The value record of a tuple record's position j.
  template <int R>
  QrcGACValue* valueOf(QrcGACTuple* t, QrcInt j) const {
    if (isPair<R>()) return &_pairValues[j][t->pairIndexes()[j]];
    return t->valueRecords(arity<R>())[j];
  }
  // The values of a tuple record, in the set's rows.
  template <int R>
  const QrcInt* valuesOf(const QrcGACTuple* t) const {
    return _rows + static_cast<QrcInt>(t->number) * arity<R>();
  }
  template <int R>
  void propagateLost();
  // The first run: every value without a support is resupported.
  __attribute__((noinline)) void propagateFirst();
  template <int R>
  void restoreFrom(QrcInt invalidated, QrcInt newlySupported, QrcInt replaced);
  // Whether the tuple is valid, its value at position k known to lie in its domain.
  template <int R>
  bool isValid(const QrcGACTuple* t, QrcInt k) const {
    if (t->invalid) return false;
    if (isPair<R>()) {
      // The other value from its index while its domain is its plain set,
      // whose index is a range: the set's rows are not read.
      const QrcGACVar& r = _records[k ^ 1];
      QrcUInt bit;
      if (readPlainBit(r, r.first + t->pairIndexes()[k ^ 1], bit)) return bit & 1;
      return othersHold<R>(valuesOf<R>(t), k);
    }
    return othersHoldFlat<R>(valuesOf<R>(t), k);
  }
  // othersHold without a branch on each outcome while every other domain is
  // its plain set, whose words cover the values of a tuple record.
  template <int R>
  bool othersHoldFlat(const QrcInt* values, QrcInt k) const {
    QrcUInt ok = 1;
    for (QrcInt n = 1, j = k; n < arity<R>(); ++n) {
      j = j + 1 == arity<R>() ? 0 : j + 1;
      QrcUInt bit;
      if (!readPlainBit(_records[j], values[j], bit)) return othersHold<R>(values, k);
      ok &= bit;
    }
    return ok & 1;
  }
  // Whether the values of a tuple lie in their domains, the one at k known to.
  template <int R>
  bool othersHold(const QrcInt* values, QrcInt k) const {
    if (R == 2) return inDomain(k ^ 1, values[k ^ 1]);
    // The other positions from k + 1 round: as many each time, no test of k.
    for (QrcInt n = 1, j = k; n < arity<R>(); ++n) {
      j = j + 1 == arity<R>() ? 0 : j + 1;
      if (!inDomain(j, values[j])) return false;
    }
    return true;
  }
  // The first valid tuple among those holding the value; the others met are invalidated.
  template <int R>
  QrcGACTuple* findValid(QrcGACValue* value);
  // Looks for a new support, else removes the value.
  template <int R>
  void resupport(QrcGACValue* value);
  template <int R>
  void setSupport(QrcGACValue* value, QrcGACTuple* t, bool sought);
  inline void recordChange(QrcGACValue* value);
  template <int R>
  void undoChange(const QrcGACChange& c);
  inline void invalidate(QrcGACTuple* t);
  template <int R>
  void unlinkEntries(QrcGACTuple* t);
  template <int R>
  void linkEntries(QrcGACTuple* t);
  // Frees a tuple record that nothing names any more.
  template <int R>
  void freeIfUnused(QrcGACTuple* t) {
    if (t && t != _busy && !t->supported && !t->holds) freeTuple<R>(t);
  }
  template <int R>
  void freeTuple(QrcGACTuple* t);
  void freeUnlinked(QrcGACTuple* t);
  template <int R>
  void processLost(QrcGACValue* value, QrcInt k);
  // The tuple record, or a spare one whose holds count for none.
  QrcGACTuple* orNone(QrcGACTuple* t) { return t ? t : &_noTuple; }
  QrcGACTuple* allocateTuple();
  bool inDomain(QrcInt k, QrcInt v) const { return holds(_records[k], v); }
  // Whether v is in the domain of the position's variable: by the words of
  // its plain set when the domain is that set.
  static bool holds(const QrcGACVar& r, QrcInt v) {
    QrcIntExpI* x = r.var;
    x->refreshBounds();
    if (v < x->rawMin() || v > x->rawMax()) return false;
    const QrcIntSetI* d = x->getDomainSet();
    if (d == r.plainSet && d) {
      QrcUInt pos = static_cast<QrcUInt>(v) - static_cast<QrcUInt>(r.wordBase);
      return (r.words[pos >> 6] >> (pos & 63)) & 1;
    }
    return !d || d->containsInline(v);
  }
  // holds for an indexed value of the position (one with a value record),
  // which the words of its plain set cover: its bounds and its bit are read
  // without a branch on either.
  static bool holdsIndexed(const QrcGACVar& r, QrcInt v) {
    QrcUInt bit;
    return readPlainBit(r, v, bit) ? bit & 1 : holds(r, v);
  }
  // While the position's domain is its plain set, whether the indexed value
  // v lies in it, as bit 0 of bit, read without a branch on its bounds or
  // its bit; false when the domain is another set.
  static bool readPlainBit(const QrcGACVar& r, QrcInt v, QrcUInt& bit) {
    QrcIntExpI* x = r.var;
    x->refreshBounds();
    const QrcIntSetI* d = x->getDomainSet();
    if (!d || d != r.plainSet) return false;
    QrcUInt pos = static_cast<QrcUInt>(v) - static_cast<QrcUInt>(r.wordBase);
    bit = static_cast<QrcUInt>(v >= x->rawMin()) & static_cast<QrcUInt>(v <= x->rawMax()) &
          (r.words[pos >> 6] >> (pos & 63));
    return true;
  }

  QrcInt _first;
  const QrcInt* _rows;          // the values of the tuples, arity per tuple, by number
  QrcGACValue* _pairValues[2];  // binary tables: the positions' value records
  QrcGACTuple* _busy;           // the tuple whose values are being resupported: not freed meanwhile
  // Undo stacks since posting; a freed tuple leaves a null on the invalidated stack.
  QrcGACStack<QrcGACTuple*> _invalidated;
  QrcGACStack<QrcGACChange> _newlySupported;
  QrcGACStack<QrcGACChange> _replaced;
  // Tuple records: cache-line aligned, carved from pooled chunks, recycled here.
  QrcInt _tupleStride;
  QrcGACTuple* _freeTuples;  // linked through their supported field
  char* _chunkNext;
  char* _chunkEnd;
  QrcInt _firstRecords;  // records in the first chunk; none: a chunk of the usual size
  QrcGACTuple _noTuple;
};

class QrcGACSAllowedI : public QrcGACSchemaI {
  QROSIMPLECLASS(QrcGACSAllowedI, QrcGACSchemaI)
 public:
  QrcGACSAllowedI(QrcManagerI* m, QrcIntVarArrayI* vars, QrcTupleSetI* set)
      : QrcGACSchemaI(m, vars),
        _set(set),
        _slots(nullptr),
        _probes(nullptr),
        _masks(nullptr),
        _ranks(nullptr),
        _masked(false),
        _sorted(nullptr),
        _sizes(nullptr),
        _rankMasked(false),
        _sources(nullptr) {}
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  void initialise() override;
  QrcGACTuple* seekSupport(QrcGACValue* value) override;

 private:
  // The first candidate of slots [p, end) of column k whose values lie in their domains.
  template <int R>
  QrcGACTuple* walkShortList(const QrcTupleColumn& col, QrcInt p, QrcInt end, QrcInt k);
  // Whether every value lies in its domain: by the masks, without branches,
  // when every domain has one, else by the probes.
  bool holdsDomainValues(const QrcInt* values) const {
    if (_masked) {
      QrcUInt ok = 1;
      for (QrcInt j = 0; j < _arity; ++j) {
        QrcUInt off = static_cast<QrcUInt>(values[j]) - static_cast<QrcUInt>(_probes[j].lo);
        ok &= (_masks[j] >> (off & 63)) & (off < 64);
      }
      return ok;
    }
    QrcInt j = 0;
    while (j < _arity && _probes[j].holds(values[j])) ++j;
    return j == _arity;
  }
  // The value's candidate slots [p, end) in its (column, value) list: those
  // after its frontier's slot; a the arity. False when there is none.
  bool candidateSlots(const QrcGACValue* value, QrcInt a, QrcInt& p, QrcInt& end) const {
    QrcInt k = value->var->position;
    const QrcTupleColumn& col = _set->getColumn(k);
    p = value->frontier ? _slots[value->frontier->number * a + k] + 1 : col.slotStart[value->index];
    end = col.slotStart[value->index + 1];
    return p < end;
  }
  // Tuples go by number; a position in a (column, value) list by slot.
  QrcGACTuple* seekInBits(QrcGACValue* value, QrcInt p);
  // Modes 1 and 2 read the set's rows, values by rank (T the rows' element
  // type); Masked: the domains are read as rank masks at the start of a
  // search, else through the probes. Over rank masks, mode 1 goes by the
  // jump rows where the set has them and mode 2 by searchMode2.
  template <typename T>
  struct Rows {
    const T* rows;  // by tuple number
    QrcInt stride;
    const T* slots;  // mode 2: the slot rows of the searched column
    const T* after;  // mode 1: the oldest tuple holding the searched value, by tuple; or null
    QrcInt count;
  };
  template <typename T, bool Masked>
  QrcGACTuple* seekInRows(const QrcGACValue* value);
  template <typename T, bool Masked>
  QrcInt jumpMode1(const Rows<T>& in, QrcInt t, QrcInt k, QrcInt vRank);
  // Mode 1 by the set's jump rows of the value's column (rank masks only),
  // R positions (0: any); jumpRows answers the slot taken, -1 when none.
  template <typename T>
  QrcGACTuple* seekJumpRows(const QrcGACValue* value);
  template <typename T, int R>
  QrcGACTuple* seekJumpRowsOf(const QrcGACValue* value);
  template <typename T, int R>
  QrcInt jumpRows(const T* jumps, QrcInt stride, QrcInt p, const QrcUInt* masks);
  // Mode 2 over rank masks, R positions (0: any); searchMode2 answers the
  // slot of the candidate taken, -1 when none.
  template <typename T>
  QrcGACTuple* seekMode2(const QrcGACValue* value);
  template <typename T, int R>
  QrcGACTuple* seekMode2Of(const QrcGACValue* value);
  template <typename T, int R>
  QrcInt searchMode2(const Rows<T>& in, const QrcUInt* ranks, QrcInt p, QrcInt k, QrcInt vRank,
                     QrcInt end);
  // Mode 2 through the probes.
  template <typename T>
  QrcInt jumpMode2(const Rows<T>& in, QrcInt failed, QrcInt k, QrcInt vRank, QrcInt end);
  template <typename T>
  QrcInt probe(const Rows<T>& in, QrcInt c, QrcInt k, QrcInt vRank, QrcInt target, QrcInt& cur,
               QrcInt end);
  // Whether the rank-th smallest value of column c lies in x[c]'s domain.
  template <bool Masked>
  bool holdsRank(QrcInt c, QrcInt rank) {
    if (Masked) return (_ranks[c] >> rank) & 1;
    return _probes[c].holds(_sorted[c][rank]);
  }
  // Whether the ranks of a row lie in their domains, position k aside.
  template <typename T, bool Masked>
  bool holdsRanks(const T* ranks, QrcInt k) {
    if (Masked) {
      // Without branches: position k's mask holds every rank.
      QrcUInt ok = 1;
      for (QrcInt j = 0; j < _arity; ++j) ok &= _ranks[j] >> ranks[j];
      return ok & 1;
    }
    for (QrcInt j = 0; j < _arity; ++j)
      if (j != k && !holdsRank<Masked>(j, ranks[j])) return false;
    return true;
  }
  // Per position, the plain domain set whose first word readRanks last read
  // the ranks from: its words, the value of bit 0, the last rank to read.
  struct RankSource {
    const QrcIntSetI* set;
    const QrcWord* words;
    QrcInt base;
    QrcUInt span;
  };
  // The domain of x[c] by the ranks of the column's values, into _ranks[c] and returned.
  QrcUInt readRanks(QrcInt c);
  // The forms readRanks does not read inline.
  void readRanksApart(QrcInt c);

  QrcTupleSetI* _set;
  const int32_t* _slots;  // the set's slots by tuple number and column
  QrcDomainProbe* _probes;
  QrcUInt* _masks;  // per position, when _masked: bit i for lo + i in the domain
  // Per position: bit r for the column's r-th smallest value in the domain;
  // read at the start of a search.
  QrcUInt* _ranks;
  bool _masked;
  const QrcInt** _sorted;  // per position, the column's values in increasing order
  QrcInt* _sizes;          // mode 2: per position, the domain's size once read in a search, else -1
  bool _rankMasked;        // every column has at most 64 values, and at most 64 positions
  RankSource* _sources;
};

// Not in the set.
class QrcGACForbiddenI : public QrcIntPredicateI {
 public:
  explicit QrcGACForbiddenI(QrcTupleSetI* set) : _set(set) {}
  using QrcIntPredicateI::isTrue;
  QrcBool isTrue(const QrcInt* tuple) override { return !_set->isIn(tuple, _set->getArity()); }
  QrcTupleSetI* getSet() const { return _set; }

 private:
  QrcTupleSetI* _set;
};

// A run of values [lo, hi] of one position sharing one support: each value v
// of the run still in its domain is supported by the tuple holding v at the
// position and, at each other position j, support[j] plus v - lo when bit j
// of shift is set (so that v == w runs as well as v < max). A free run needs
// no support: no forbidden tuple holds its values there.
struct QrcGACRun {
  QrcInt lo;
  QrcInt hi;
  QrcGACRun* next;  // the run of higher values, linked on the trail
  QrcInt shift;
  QrcInt free;
  QrcInt support[1];  // one per position (the position's own entry unused)
};

// Generalised arc consistency for a predicate (forbidden tables: not in the
// set), by runs of values sharing a support, kept per position in increasing
// order on the trail. A value's support is sought first as the extension of
// the run before it, then (two and three arguments) among the tuples of the
// bounds of the other domains, then by lexicographic enumeration of the
// product of the other domains. A change of a domain checks the supports of
// the runs of the other positions; only the values of a run whose support
// left seek again. An arbitrary predicate has to be asked once per value at
// least; over wide domains the runs keep that the only cost per value. For a
// forbidden table, only the values that occur in the column need a support.
class QrcGACSPredicateI : public QrcConstraintI {
  QROSIMPLECLASS(QrcGACSPredicateI, QrcConstraintI)
 public:
  QrcGACSPredicateI(QrcManagerI* m, QrcIntVarArrayI* vars, QrcIntPredicateI* general,
                    QrcIntBinaryPredicateI* binary, QrcIntTernaryPredicateI* ternary);
  void post() override;
  void propagate() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  // Demon of position j: its domain changed.
  void changed(QrcInt j);
  QrcInt getArity() const { return _arity; }
  // The runs of a position, lowest first.
  const QrcGACRun* getRuns(QrcInt k) const { return _runs ? _runs[k] : nullptr; }

 private:
  QrcBool accepts() const;
  // Whether the candidate, holding v at k, has its other values in their
  // domains and is accepted.
  bool tryCandidate(QrcInt k);
  bool seek(QrcInt k, QrcInt v);
  bool valid(QrcInt k, const QrcGACRun* r) const;
  QrcGACRun* newRun(QrcInt k, QrcInt lo, QrcInt hi, QrcInt shift, QrcInt free);
  // The runs for the values of [lo, hi] still in x[k]'s domain, chained;
  // removes the values without support. Null when none is left.
  QrcGACRun* build(QrcInt k, QrcInt lo, QrcInt hi, QrcGACRun*& last);
  // The state of a build of position k's runs.
  struct BuildState;
  // Extends the open run to v or starts a run at v, else marks v to go.
  void takeValue(BuildState& b, QrcInt v);
  // Forbidden tables: free runs between the column's values, from v to end.
  void buildBetweenColumn(BuildState& b, QrcInt v, QrcInt end);
  // Every domain value from v to end, one at a time.
  void buildEachValue(BuildState& b, QrcInt v, QrcInt end);
  void revise(QrcInt k);
  // Forbidden tables: the sorted values of column k.
  const QrcInt* column(QrcInt k, QrcInt& count);

  QrcInt _arity;
  QrcIntVarArrayI* _vars;
  QrcIntPredicateI* _general;
  QrcIntBinaryPredicateI* _binary;
  QrcIntTernaryPredicateI* _ternary;
  QrcTupleSetI* _forbidden;  // the set of a forbidden table, else null
  QrcInt* _candidate;
  QrcGACRun** _runs;  // per position, on the trail
  QrcInt** _columns;  // per position, made on first use (trailed)
  QrcInt* _columnSizes;
  unsigned char* _changed;
  QrcInt _built;  // trailed
};

// Restricts each variable to the values of its column, then posts the schema.
class QrcGACSAllowedCallerCtI : public QrcConstraintI {
  QROSIMPLECLASS(QrcGACSAllowedCallerCtI, QrcConstraintI)
 public:
  QrcGACSAllowedCallerCtI(QrcManagerI* m, QrcIntVarArrayI* vars, QrcTupleSetI* set)
      : QrcConstraintI(m), _vars(vars), _set(set) {}
  void post() override {}
  void propagate() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;

 private:
  QrcIntVarArrayI* _vars;
  QrcTupleSetI* _set;
};

#endif
