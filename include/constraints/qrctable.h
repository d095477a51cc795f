// Table constraints: a tuple of integer variables restricted to the tuples of
// a closed tuple set, to the tuples outside one, or to the tuples accepted by
// a predicate of two or three arguments, kept generalised arc consistent.
//
// Allowed tables: every value of every variable has a value record and, once the constraint
// propagated, a support: a tuple record holding the value whose values all
// lie in their domains (the records: qrctablerecords.h). A tuple record
// supports every value it holds and is listed under each of them, so that a
// value whose support was lost first looks among the tuples of the other
// values before searching anew (the searches: qrctableseek.h). A value also
// keeps its frontier, the tuple its own last search stopped at: every
// candidate before it was refused, so the next search starts after it.
//
// Tuple records live in chunks of the manager's size-class pools, recycled by
// the constraint, not on the trail; the tuples invalidated and the supports
// and frontiers changed are pushed on undo stacks. Each choice point at which
// the constraint wakes gets one restorer goal holding the stacks' heights, run
// when search returns past it, that undoes what lies above them and puts back
// the lost values pending when it was made (a choice point set while a
// propagation is under way: a nested solve's).
//
// Forbidden tables and predicates keep their supports by runs of values
// instead (qrctablepredicate.h), so that they follow the tuples and the
// values whose supports differ, not the width of the domains.
//
// Propagation code keeps trivially destructible locals only: a failure leaves
// it by a non-local jump.
#ifndef QRC_TABLE_H
#define QRC_TABLE_H

#include <cstddef>
#include <cstdint>
#include <new>

#include "qrcconstraint.h"
#include "qrcint.h"
#include "qrcintexp.h"
#include "qrcintset.h"
#include "qrcintvisitor.h"
#include "qrctablepredicate.h"
#include "qrctablerecords.h"
#include "qrctableseek.h"
#include "qrctupleset.h"

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

class QrcGACSchemaI;

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
  // Gives the items back; the stack is empty.
  void release(QrcSizeAllocatorI* pool);
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

// The lost values of one position still pending when a choice point was
// entered, in a list following the order of the pending positions. On the
// manager's heap, with the restorer that keeps it.
struct QrcGACPendingCopy {
  QrcGACPendingCopy* next;
  QrcGACVar* var;
  QrcInt count;
  QrcGACValue* lost[1];  // count of them
};

// The heights of the constraint's undo stacks when the choice point was
// entered, and the lost values then pending: what lies above the heights is
// undone, and the pending values put back, when search returns past it.
// Restorers live on the manager's heap, released with their choice point
// once they ran.
class QrcRestorerI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcRestorerI)
  QROSIMPLECLASS(QrcRestorerI, QrcGoalI)
 public:
  QrcRestorerI(QrcManagerI* m, QrcGACSchemaI* ct, QrcInt invalidated, QrcInt newlySupported,
               QrcInt replaced, QrcGACPendingCopy* pending)
      : QrcGoalI(m),
        _ct(ct),
        _invalidated(invalidated),
        _newlySupported(newlySupported),
        _replaced(replaced),
        _pending(pending),
        _cell{nullptr, nullptr} {}
  // Its cell in the group of the choice point's reversible actions.
  QrcGoalCell* getCell() { return &_cell; }

 protected:
  QrcGACSchemaI* _ct;
  QrcInt _invalidated;
  QrcInt _newlySupported;
  QrcInt _replaced;
  QrcGACPendingCopy* _pending;  // null when none was pending
  QrcGoalCell _cell;
};

class QrcECRestorerI final : public QrcRestorerI {
  QRCLIBRARYCLASS(QrcECRestorerI)
  QROSIMPLECLASS(QrcECRestorerI, QrcRestorerI)
 public:
  QrcECRestorerI(QrcManagerI* m, QrcGACSchemaI* ct, QrcInt invalidated, QrcInt newlySupported,
                 QrcInt replaced, QrcGACPendingCopy* pending)
      : QrcRestorerI(m, ct, invalidated, newlySupported, replaced, pending) {}
  QrcGoalI* execute() override;
};

class QrcWLConstraintI;

class QrcWLConstraintIVarDomainI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcWLConstraintIVarDomainI)
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
  QRCLIBRARYCLASS(QrcWLConstraintI)
  QROSIMPLECLASS(QrcWLConstraintI, QrcConstraintI)
 public:
  QrcWLConstraintI(QrcManagerI* m, QrcIntVarArrayI* vars);
  void post() override;
  virtual void initialise() = 0;
  // A restorer holding the undo stacks' heights now and the copy of the
  // pending lost values.
  virtual QrcRestorerI* makeRestorer(QrcGACPendingCopy* pending) = 0;
  // Back to the lost values pending as copied (none for null): what was
  // gathered since, in a branch now left, goes.
  void restorePending(const QrcGACPendingCopy* pending);

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
  // A copy of the pending lost values on the manager's heap; null when none.
  QrcGACPendingCopy* copyPending();
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
  QRCLIBRARYCLASS(QrcGACSchemaI)
  QROSIMPLECLASS(QrcGACSchemaI, QrcWLConstraintI)
 public:
  QrcGACSchemaI(QrcManagerI* m, QrcIntVarArrayI* vars)
      : QrcWLConstraintI(m, vars),
        _first(0),
        _rows(nullptr),
        _pairValues{nullptr, nullptr},
        _busy(nullptr),
        _tupleStride(0),
        _chunks(nullptr),
        _freeTuples(nullptr),
        _chunkNext(nullptr),
        _chunkEnd(nullptr),
        _firstRecords(0),
        _noTuple() {}
  void propagate() override;
  void initialise() override;
  // Inline: the choice points' path takes it in, devirtualised.
  QrcRestorerI* makeRestorer(QrcGACPendingCopy* pending) final {
    return ::new (_manager->allocate(sizeof(QrcECRestorerI))) QrcECRestorerI(
        _manager, this, _invalidated.top, _newlySupported.top, _replaced.top, pending);
  }
  // The number of a tuple holding the value whose values all lie in their
  // domains, searched after the value's frontier; -1 when none.
  virtual QrcInt seekSupport(QrcGACValue* value) = 0;

  // Restorer side: undoes what lies above the given stack heights.
  void restore(QrcInt invalidated, QrcInt newlySupported, QrcInt replaced);
  // Gives the tuple records' chunks and the undo stacks back to the size pools.
  void releaseRecords();

 protected:
  // The values of a record, each with no support yet, and its lost list.
  void initValues(QrcGACVar* r, QrcIntSetI* d);
  // The hot paths below take the arity R as a constant (2, 3, 4), or 0 to read it.
  template <int R>
  QrcInt arity() const {
    return R ? R : _arity;
  }
  // A record of the set's tuple of that number, linked under each of its values.
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
      if (r.readPlainBit(r.first + t->pairIndexes()[k ^ 1], bit)) return bit & 1;
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
      if (!_records[j].readPlainBit(values[j], bit)) return othersHold<R>(values, k);
      ok &= bit;
    }
    return ok & 1;
  }
  // Whether the values of a tuple lie in their domains, the one at k known to.
  template <int R>
  bool othersHold(const QrcInt* values, QrcInt k) const {
    return qrcOthersHold<R>(_records, arity<R>(), values, k);
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

  QrcInt _first;
  const QrcInt* _rows;          // the values of the tuples, arity per tuple, by number
  QrcGACValue* _pairValues[2];  // binary tables: the positions' value records
  QrcGACTuple* _busy;           // the tuple whose values are being resupported: not freed meanwhile
  // Undo stacks since posting; a freed tuple leaves a null on the invalidated stack.
  QrcGACStack<QrcGACTuple*> _invalidated;
  QrcGACStack<QrcGACChange> _newlySupported;
  QrcGACStack<QrcGACChange> _replaced;
  // Tuple records: cache-line aligned, carved from pooled chunks, recycled here.
  struct Chunk {
    Chunk* next;
    QrcInt bytes;
  };
  QrcInt _tupleStride;
  Chunk* _chunks;            // the chunks taken, latest first
  QrcGACTuple* _freeTuples;  // linked through their supported field
  char* _chunkNext;
  char* _chunkEnd;
  QrcInt _firstRecords;  // records in the first chunk; none: a chunk of the usual size
  QrcGACTuple _noTuple;
};

// Allowed tables: supports sought among the set's tuples by its seeker.
class QrcGACSAllowedI : public QrcGACSchemaI {
  QRCLIBRARYCLASS(QrcGACSAllowedI)
  QROSIMPLECLASS(QrcGACSAllowedI, QrcGACSchemaI)
 public:
  QrcGACSAllowedI(QrcManagerI* m, QrcIntVarArrayI* vars, QrcTupleSetI* set)
      : QrcGACSchemaI(m, vars), _set(set) {}
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  void initialise() override;
  QrcInt seekSupport(QrcGACValue* value) override { return _seeker.seek(value); }

 private:
  QrcTupleSetI* _set;
  QrcTableSeekerI _seeker;
};

// Restricts each variable to the values of its column, then posts the schema.
class QrcGACSAllowedCallerCtI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcGACSAllowedCallerCtI)
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
