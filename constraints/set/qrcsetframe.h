// What the set relations share: handle checks, reading the possible and
// required sets of a set variable and a constant set, walking what changed in
// the current propagation step of a set variable, copies of operands, and the
// demon shapes. Everything here may fail through the variables it narrows and
// keeps trivially destructible locals only.
#ifndef QRC_SETFRAME_H
#define QRC_SETFRAME_H

#include <ostream>

#include "qrcerror.h"
#include "qrcint.h"
#include "qrcintsetvar.h"

namespace qrcset {

// ---------------------------------------------------------------- handles

inline QrcIntSetVarI* need(const QrcIntSetVar& s, const char* place) {
  if (!s.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return s.getImpl();
}

inline QrcIntSetI* need(const QrcIntSet& c, const char* place) {
  if (!c.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return c.getImpl();
}

inline QrcIntExpI* need(const QrcIntExp& x, const char* place) {
  if (!x.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return x.getImpl();
}

inline QrcInt* need(const QrcIntArray& c, const char* place) {
  if (!c.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return c.getImpl();
}

// The array and each of its elements.
inline QrcIntSetVarArrayI* need(const QrcIntSetVarArray& a, const char* place) {
  QrcIntSetVarArrayI* array = a.getImpl();
  if (!array) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  array->checkElements(place);
  return array;
}

inline QrcIntSetVarI* at(const QrcIntSetVarArrayI* a, QrcInt i) {
  return static_cast<QrcIntSetVarI*>(a->get(i));
}

// ---------------------------------------------------------------- reading

// v within the bounds of the constant set and a member of it.
inline bool in(const QrcIntSetI* c, QrcInt v) {
  return v >= c->getMin() && v <= c->getMax() && c->contains(v);
}

inline QrcInt possibleSize(const QrcIntSetVarI* x) {
  return x->getPossible()->getSize();
}

inline QrcInt requiredSize(const QrcIntSetVarI* x) {
  return x->getRequired()->getSize();
}

// Calls f(v) for each member of a set in increasing order while f answers
// true; answers whether the walk reached the end.
template <class F>
bool forEach(const QrcIntSetI* set, F f) {
  QrcInt v;
  QrcIntSetIterator it(set);
  while (it.next(v))
    if (!f(v)) return false;
  return true;
}

// The same over P(x), skipping the values that left it during the walk (the
// walk reads the set it started on, which a cardinality decision may replace).
template <class F>
bool forEachPossible(const QrcIntSetVarI* x, F f) {
  return forEach(x->getPossible(), [x, &f](QrcInt v) { return !x->isPossible(v) || f(v); });
}

// The same over R(x) as it was when the walk started.
template <class F>
bool forEachRequired(const QrcIntSetVarI* x, F f) {
  return forEach(x->getRequired(), f);
}

// Smallest and greatest value possible in x; false when P(x) is empty.
inline bool possibleBounds(const QrcIntSetVarI* x, QrcInt& lo, QrcInt& hi) {
  const QrcIntSetI* p = x->getPossible();
  QrcInt first = p->nextSetPosition(p->firstPosition());
  if (first < 0) return false;
  lo = p->valueAt(first);
  hi = p->valueAt(p->previousSetPosition(p->lastPosition()));
  return true;
}

// ---------------------------------------------------------------- deltas
//
// Inside the propagation of x only (the demons listening to x).

// f(v) for each value that left P(x) in this step.
template <class F>
void forEachRemoved(QrcIntSetVarI* x, F f) {
  QrcInt v;
  QrcDeltaPossibleIterator it(x);
  while (it.next(v)) f(v);
}

// f(v) for each value that entered R(x) in this step.
template <class F>
void forEachAdded(QrcIntSetVarI* x, F f) {
  QrcInt v;
  QrcDeltaRequiredIterator it(x);
  while (it.next(v)) f(v);
}

// ---------------------------------------------------------------- relations

// a = b walked over P(b): a value outside P(a) leaves b, and one required on
// either side becomes required on the other.
inline void equalizeOverB(QrcIntSetVarI* a, QrcIntSetVarI* b) {
  forEachPossible(b, [a, b](QrcInt v) {
    if (!a->isPossible(v))
      b->removePossible(v);
    else if (a->isRequired(v))
      b->addRequired(v);
    else if (b->isRequired(v))
      a->addRequired(v);
    return true;
  });
}

// ---------------------------------------------------------------- integer domains

// f(v) for each value of x's domain in increasing order while f answers true;
// values removed during the walk are skipped. Answers whether it reached the end.
template <class F>
bool forEachValue(QrcIntExpI* x, F f) {
  QrcInt v = x->getNextHigher(x->getMin() - 1);
  for (;;) {
    if (x->isInDomain(v) && !f(v)) return false;
    QrcInt next = x->getNextHigher(v);
    if (next == v) return true;
    v = next;
  }
}

// ---------------------------------------------------------------- copies

inline QrcIntSetVarI* copyOf(QrcIntSetVarI* x, QrcManagerI* target) {
  return static_cast<QrcIntSetVarI*>(x->getCopyForManager(target));
}

inline QrcIntExpI* copyOf(QrcIntExpI* x, QrcManagerI* target) {
  return static_cast<QrcIntExpI*>(x->getCopyForManager(target));
}

// Every element copied; an array without elements gives one without elements.
inline QrcIntSetVarArrayI* copyOf(const QrcIntSetVarArrayI* a, QrcManagerI* target) {
  if (a->getSize() > 0) return a->copyForManager(target);
  return new (target) QrcIntSetVarArrayI(target, 0, nullptr);
}

}  // namespace qrcset

// A demon that calls a routine of its constraint (Ct::Call()).
#define QRC_SET_DEMON(Name, Text, Ct, Call)                       \
  class Name : public QrcDemonI {                                 \
    QRCLIBRARYCLASS(Name)                                         \
    QROSIMPLECLASS(Name, QrcDemonI)                               \
   public:                                                        \
    Name(QrcManagerI* m, Ct* ct) : QrcDemonI(m, ct), _ct(ct) {}   \
    void propagate() override { _ct->Call(); }                    \
    void display(std::ostream& os) const override { os << Text; } \
                                                                  \
   private:                                                       \
    Ct* _ct;                                                      \
  };

// A demon that holds one set-variable operand and calls Ct::Call(operand).
#define QRC_SET_VAR_DEMON(Name, Text, Ct, Call)                                          \
  class Name : public QrcDemonI {                                                        \
    QRCLIBRARYCLASS(Name)                                                                \
    QROSIMPLECLASS(Name, QrcDemonI)                                                      \
   public:                                                                               \
    Name(QrcManagerI* m, Ct* ct, QrcIntSetVarI* x) : QrcDemonI(m, ct), _ct(ct), _x(x) {} \
    void propagate() override { _ct->Call(_x); }                                         \
    void display(std::ostream& os) const override { os << Text; }                        \
                                                                                         \
   private:                                                                              \
    Ct* _ct;                                                                             \
    QrcIntSetVarI* _x;                                                                   \
  };

// A demon that holds an index and calls Ct::Call(index).
#define QRC_SET_INDEX_DEMON(Name, Text, Ct, Call)                                \
  class Name : public QrcDemonI {                                                \
    QRCLIBRARYCLASS(Name)                                                        \
    QROSIMPLECLASS(Name, QrcDemonI)                                              \
   public:                                                                       \
    Name(QrcManagerI* m, Ct* ct, QrcInt i) : QrcDemonI(m, ct), _ct(ct), _i(i) {} \
    void propagate() override { _ct->Call(_i); }                                 \
    void display(std::ostream& os) const override { os << Text; }                \
                                                                                 \
   private:                                                                      \
    Ct* _ct;                                                                     \
    QrcInt _i;                                                                   \
  };

#endif
