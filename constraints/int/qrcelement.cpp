// Element constraints y == a[x] and y != a[x] over constant arrays. Code that
// can fail keeps trivially destructible locals only.
#include "qrcelement.h"

#include <algorithm>
#include <ostream>

#include "qrcelementutil.h"
#include "qrcintcompare.h"
#include "qrcoperands.h"

using namespace qrcelement;

namespace {

QrcIntExpI* impl(const QrcIntExp& e, const char* place) {
  if (!e.getImpl()) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return e.getImpl();
}

QrcIntExpI* copyOf(QrcIntExpI* e, QrcManagerI* t) {
  return static_cast<QrcIntExpI*>(e->getCopyForManager(t));
}

// The array block itself on its own manager, else a copy on the target's heap.
QrcIntArray arrayFor(const QrcIntArray& a, QrcManagerI* target) {
  if (a.getManager() == target) return a;
  return QrcIntArray(QrcManager(target), a.getSize(), a.getImpl());
}

// Whether x's domain holds an index outside [0, n - 1].
bool hasOutside(QrcIntExpI* x, QrcInt n) {
  return x->getMin() < 0 || x->getMax() >= n;
}

// not (y == a[x]): y != a[x], or an index outside the array.
QrcConstraintI* oppositeOfEq(QrcManagerI* m, QrcIntExpI* y, const QrcIntArray& a, QrcIntExpI* x) {
  if (y->isBound()) return new (m) QrcStaticCstElementNEqI(m, y->getValue(), a, x, nullptr, 1);
  return new (m) QrcStaticElementNEqI(m, y, a, x, nullptr, 1);
}

// Whether some index of x's domain within [0, n - 1] has its value in y's domain.
bool hasSupport(QrcIntExpI* x, QrcIntExpI* y, const QrcInt* a, QrcInt n) {
  QrcInt lo, hi;
  if (!indexSpan(x, n, lo, hi)) return false;
  for (QrcInt i = lo;; i = x->getNextHigher(i)) {
    if (y->isInDomain(a[i])) return true;
    if (i >= hi) return false;
  }
}

// "y == [a0 a1 ... ][x]"
void showElement(std::ostream& os, const QrcConstraintI* ct, const QrcIntExpI* y, const QrcInt* a,
                 QrcInt n, const QrcIntExpI* x) {
  if (ct->getName()) {
    os << ct->getName();
    return;
  }
  y->display(os);
  os << " == [";
  for (QrcInt i = 0; i < n; ++i) os << a[i] << " ";
  os << "][";
  x->display(os);
  os << "]";
}

// y within the distinct values of the index.
void restrictToValues(QrcManagerI* m, QrcIntExpI* y, const QrcIntArrayIndexI* idx) {
  QrcInt k = idx->getDistinctCount();
  y->setRange(idx->getDistinctValue(0), idx->getDistinctValue(k - 1));
  if (y->getSize() <= 4 * k) {
    const QrcIntOrderedSetI* set = idx->getValueSet();
    for (QrcInt v = y->getMin();;) {
      QrcInt next = y->getNextHigher(v);
      if (!set->contains(v)) y->removeValue(v);
      if (next == v) return;
      v = next;
    }
  }
  // A wide domain: through a collection of the values.
  QrcInt* values = m->lockArrayFromPool(k);
  for (QrcInt i = 0; i < k; ++i) values[i] = idx->getDistinctValue(i);
  QrcIntCollectionI* coll = new (m) QrcIntCollectionI(m, k, values, true);
  y->setDomain(k, values, coll);
  m->unlockArrayFromPool(values);
}

// ---------------------------------------------------------------- demons

// A demon of class Self that calls a routine of its constraint: Self
// declares itself one of the library's classes.
template <class Self, class Ct, void (Ct::*Routine)()>
class ElementDemon : public QrcDemonI {
  QRCLIBRARYCLASS(Self)
 public:
  ElementDemon(QrcManagerI* m, Ct* ct, const char* text) : QrcDemonI(m, ct), _ct(ct), _text(text) {}
  void propagate() override { (_ct->*Routine)(); }
  void display(std::ostream& os) const override { os << _text; }

 private:
  Ct* _ct;
  const char* _text;
};

}  // namespace

// Display texts drop the class name's final "I".
class DemonIntElementFilterXI
    : public ElementDemon<DemonIntElementFilterXI, QrcIntElementConstraintI,
                          &QrcIntElementConstraintI::filterFromValue> {
  QROSIMPLECLASS(DemonIntElementFilterXI, QrcDemonI)
 public:
  DemonIntElementFilterXI(QrcManagerI* m, QrcIntElementConstraintI* ct)
      : ElementDemon(m, ct, "DemonIntElementFilterX") {}
};

class DemonIntElementFilterYI
    : public ElementDemon<DemonIntElementFilterYI, QrcIntElementConstraintI,
                          &QrcIntElementConstraintI::filterFromIndex> {
  QROSIMPLECLASS(DemonIntElementFilterYI, QrcDemonI)
 public:
  DemonIntElementFilterYI(QrcManagerI* m, QrcIntElementConstraintI* ct)
      : ElementDemon(m, ct, "DemonIntElementFilterY") {}
};

class QrcNewIncrementalStaticElementEqVarDomainII
    : public ElementDemon<QrcNewIncrementalStaticElementEqVarDomainII,
                          QrcIncrementalStaticElementEqI,
                          &QrcIncrementalStaticElementEqI::valueLost> {
  QROSIMPLECLASS(QrcNewIncrementalStaticElementEqVarDomainII, QrcDemonI)
 public:
  QrcNewIncrementalStaticElementEqVarDomainII(QrcManagerI* m, QrcIncrementalStaticElementEqI* ct)
      : ElementDemon(m, ct, "QrcNewIncrementalStaticElementEqVarDomainI") {}
};

class QrcIncrementalStaticElementEqIndexDomainII
    : public ElementDemon<QrcIncrementalStaticElementEqIndexDomainII,
                          QrcIncrementalStaticElementEqI,
                          &QrcIncrementalStaticElementEqI::indexLost> {
  QROSIMPLECLASS(QrcIncrementalStaticElementEqIndexDomainII, QrcDemonI)
 public:
  QrcIncrementalStaticElementEqIndexDomainII(QrcManagerI* m, QrcIncrementalStaticElementEqI* ct)
      : ElementDemon(m, ct, "QrcIncrementalStaticElementEqIndexDomainI") {}
};

class QrcStaticElementNEqVarValueII
    : public ElementDemon<QrcStaticElementNEqVarValueII, QrcStaticElementNEqI,
                          &QrcStaticElementNEqI::yBound> {
  QROSIMPLECLASS(QrcStaticElementNEqVarValueII, QrcDemonI)
 public:
  QrcStaticElementNEqVarValueII(QrcManagerI* m, QrcStaticElementNEqI* ct)
      : ElementDemon(m, ct, "QrcStaticElementNEqVarValueI") {}
};

class QrcStaticElementNEqIndexValueII
    : public ElementDemon<QrcStaticElementNEqIndexValueII, QrcStaticElementNEqI,
                          &QrcStaticElementNEqI::xBound> {
  QROSIMPLECLASS(QrcStaticElementNEqIndexValueII, QrcDemonI)
 public:
  QrcStaticElementNEqIndexValueII(QrcManagerI* m, QrcStaticElementNEqI* ct)
      : ElementDemon(m, ct, "QrcStaticElementNEqIndexValueI") {}
};

// ---------------------------------------------------------------- value index operations

void QrcIntArrayIndexI::restrictIndexToValue(QrcIntExpI* x, QrcInt v) const {
  QrcInt begin, end;
  if (!positionsOf(v, begin, end)) x->fail();
  x->setRange(_positions[begin], _positions[end - 1]);
  for (QrcInt k = begin; k + 1 < end; ++k) removeGap(x, _positions[k], _positions[k + 1]);
}

void QrcIntArrayIndexI::removeIndicesOfValue(QrcIntExpI* x, QrcInt v) const {
  QrcInt begin, end;
  if (!positionsOf(v, begin, end)) return;
  for (QrcInt k = begin; k < end; ++k) x->removeValue(_positions[k]);
}

void QrcIntArrayIndexI::checkValueSupport(QrcIntExpI* x, QrcIntExpI* y, QrcInt i) const {
  QrcInt v = _values[i], begin, end;
  if (!y->isInDomain(v) || !positionsOf(v, begin, end)) return;
  for (QrcInt k = begin; k < end; ++k)
    if (_positions[k] != i && x->isInDomain(_positions[k])) return;
  y->removeValue(v);
}

// ---------------------------------------------------------------- general class

QrcIntEltCallerCtI::QrcIntEltCallerCtI(QrcManagerI* m, QrcIntExpI* y, QrcConstArrayI* a,
                                       QrcIntExpI* x)
    : QrcConstraintI(m), _y(asValue(y, a->getValues(), a->getSize())), _a(a), _x(asIndex(x)) {}

void QrcIntEltCallerCtI::propagate() {
  QrcInt n = _a->getSize();
  _x->setRange(QrcInt(0), n - 1);
  restrictToValues(_manager, _y, _a->getValueIndex());
  QrcIntElementConstraintI* ct = new (_manager) QrcIntElementConstraintI(_manager, _y, _a, _x);
  if (_name) ct->setName(_name);
  _manager->add(ct);
}

void QrcIntEltCallerCtI::metaPostDemon(QrcDemonI* d) {
  _y->whenDomain(d);
  _x->whenDomain(d);
}

void QrcIntEltCallerCtI::display(std::ostream& os) const {
  showElement(os, this, _y, _a->getValues(), _a->getSize(), _x);
}

QrcConstraintI* QrcIntEltCallerCtI::makeOpposite() {
  return oppositeOfEq(_manager, _y,
                      QrcIntArray(QrcManager(_manager), _a->getSize(), _a->getValues()), _x);
}

QrcBool QrcIntEltCallerCtI::isFalse() const {
  return !hasSupport(_x, _y, _a->getValues(), _a->getSize());
}

QrcConstraintI* QrcIntEltCallerCtI::makeCopy(QrcManagerI* t) const {
  return QrcElementEq(copyOf(_y, t), QrcIntArray(QrcManager(t), _a->getSize(), _a->getValues()),
                      copyOf(_x, t))
      .getImpl();
}

QrcIntElementConstraintI::QrcIntElementConstraintI(QrcManagerI* m, QrcIntExpI* y, QrcConstArrayI* a,
                                                   QrcIntExpI* x)
    : QrcExprEventHandlerConstraintI(m),
      _y(asValue(y, a->getValues(), a->getSize())),
      _a(a),
      _x(asIndex(x)) {}

void QrcIntElementConstraintI::post() {
  _y->whenDomain(new (_manager) DemonIntElementFilterXI(_manager, this));
  _x->whenDomain(new (_manager) DemonIntElementFilterYI(_manager, this));
}

void QrcIntElementConstraintI::propagate() {
  QrcInt n = _a->getSize();
  _x->setRange(QrcInt(0), n - 1);
  QrcIntArrayIndexI* idx = _a->getValueIndex();
  restrictToValues(_manager, _y, idx);
  for (QrcInt i = 0; i < n; ++i) {
    if (!_x->isInDomain(i))
      idx->checkValueSupport(_x, _y, i);
    else if (!_y->isInDomain((*_a)[i]))
      _x->removeValue(i);
  }
}

QrcBool QrcIntElementConstraintI::isFalse() const {
  return !hasSupport(_x, _y, _a->getValues(), _a->getSize());
}

void QrcIntElementConstraintI::filterFromValue() {
  QrcIntArrayIndexI* idx = _a->getValueIndex();
  if (_y->isBound()) {
    idx->restrictIndexToValue(_x, _y->getValue());
    return;
  }
  QrcIntExpI* x = _x;
  forEachLostValue(
      _y, [idx](QrcInt k) { return idx->getDistinctValue(k); }, idx->getDistinctCount(),
      [idx, x](QrcInt v) {
        idx->removeIndicesOfValue(x, v);
        return true;
      });
}

void QrcIntElementConstraintI::filterFromIndex() {
  QrcInt n = _a->getSize();
  QrcInt lo, hi;
  if (!indexSpan(_x, n, lo, hi)) fail();
  QrcInt size = _x->getSize();
  if (size == 1) {
    _y->setValue((*_a)[lo]);
    return;
  }
  if (size == 2 && _x->getMin() == lo && _x->getMax() == hi) {
    QrcInt u = (*_a)[lo], w = (*_a)[hi];
    QrcInt a = u < w ? u : w, b = u < w ? w : u;
    _y->setRange(a, b);
    removeGap(_y, a, b);
    return;
  }
  QrcIntArrayIndexI* idx = _a->getValueIndex();
  QrcIntVarDeltaIterator it(_x);
  QrcInt i;
  while (it.next(i))
    if (i >= 0 && i < n) idx->checkValueSupport(_x, _y, i);
}

// ---------------------------------------------------------------- static class

QrcStaticElementEqI::QrcStaticElementEqI(QrcManagerI* m, QrcIntExpI* y, const QrcIntArray& a,
                                         QrcIntExpI* x, QrcBool copy, const char* name)
    : QrcExprEventHandlerConstraintI(m),
      _y(asValue(y, a.getImpl(), a.getSize())),
      _a(copy ? QrcIntArray(QrcManager(m), a.getSize(), a.getImpl()) : a),
      _n(a.getSize()),
      _x(asIndex(x)) {
  if (name) setName(name);
}

void QrcStaticElementEqI::post() {
  _y->whenDomain(this);
  _x->whenDomain(this);
}

void QrcStaticElementEqI::propagate() {
  staticPass();
}

void QrcStaticElementEqI::staticPass() {
  _x->setRange(QrcInt(0), _n - 1);
  QrcInt* s = _manager->lockArrayFromPool(_n);
  QrcInt c = 0, lo = QrcInt64Max, hi = -QrcInt64Max - 1;
  QrcInt first, last;
  if (indexSpan(_x, _n, first, last)) {
    for (QrcInt i = first;;) {
      QrcInt next = _x->getNextHigher(i);
      QrcInt v = _a[i];
      if (_y->isInDomain(v)) {
        s[c++] = v;
        if (v < lo) lo = v;
        if (v > hi) hi = v;
      } else {
        _x->removeValue(i);
      }
      if (next == i || next > last) break;
      i = next;
    }
  }
  if (hi < lo) fail();
  _y->setRange(lo, hi);
  std::sort(s, s + c);
  for (QrcInt k = 0; k + 1 < c; ++k) removeGap(_y, s[k], s[k + 1]);
  _manager->unlockArrayFromPool(s);
}

QrcInt QrcStaticElementEqI::findSupportedIndex(QrcInt from, QrcInt below) const {
  if (from < 0) from = 0;
  if (below > _n) below = _n;
  if (from >= below) return -1;
  QrcInt i = from;
  if (!_x->isInDomain(i)) {
    i = _x->getNextHigher(i);
    if (i <= from) return -1;
  }
  for (; i < below;) {
    if (_y->isInDomain(_a[i])) return i;
    QrcInt next = _x->getNextHigher(i);
    if (next == i) return -1;
    i = next;
  }
  return -1;
}

void QrcStaticElementEqI::metaPostDemon(QrcDemonI* d) {
  _y->whenDomain(d);
  _x->whenDomain(d);
}

void QrcStaticElementEqI::display(std::ostream& os) const {
  showElement(os, this, _y, _a.getImpl(), _n, _x);
}

QrcConstraintI* QrcStaticElementEqI::makeOpposite() {
  return oppositeOfEq(_manager, _y, _a, _x);
}

QrcBool QrcStaticElementEqI::isFalse() const {
  return !hasSupport(_x, _y, _a.getImpl(), _n);
}

QrcConstraintI* QrcStaticElementEqI::makeCopy(QrcManagerI* t) const {
  return QrcElementEq(copyOf(_y, t), QrcIntArray(QrcManager(t), _n, _a.getImpl()), copyOf(_x, t))
      .getImpl();
}

// ---------------------------------------------------------------- incremental class

QrcIncrementalStaticElementEqI::QrcIncrementalStaticElementEqI(QrcManagerI* m, QrcIntExpI* y,
                                                               const QrcIntArray& a, QrcIntExpI* x,
                                                               QrcBool copy, const char* name)
    : QrcStaticElementEqI(m, y, a, x, copy, name), _tables(nullptr), _lastSupport(0) {}

void QrcIncrementalStaticElementEqI::post() {
  _y->whenDomain(new (_manager) QrcNewIncrementalStaticElementEqVarDomainII(_manager, this));
  _x->whenDomain(new (_manager) QrcIncrementalStaticElementEqIndexDomainII(_manager, this));
}

void QrcIncrementalStaticElementEqI::propagate() {
  staticPass();
  if (_tables)
    fullIndexPass();
  else
    buildTables();
}

// The tables hold the rings of the indices left by the static pass; their
// pointer is trailed, so that a branch that backtracks above the build, where
// x has more indices than the rings, builds them again.
void QrcIncrementalStaticElementEqI::buildTables() {
  QrcInt n = _n;
  QrcInt* s = _manager->lockArrayFromPool(n);
  QrcInt c = 0, lo = QrcInt64Max, hi = -QrcInt64Max - 1;
  for (QrcInt i = 0; i < n; ++i) {
    if (!_x->isInDomain(i) || !_y->isInDomain(_a[i])) continue;
    QrcInt v = _a[i];
    s[c++] = v;
    if (v < lo) lo = v;
    if (v > hi) hi = v;
  }
  Tables* t = new (_manager) Tables;
  t->offset = c ? lo : 0;
  t->span = c ? hi - lo + 1 : 0;
  t->valueToIndex = static_cast<QrcInt*>(
      _manager->allocate(static_cast<size_t>(t->span > 0 ? t->span : 1) * sizeof(QrcInt)));
  t->nextIndex =
      static_cast<QrcInt*>(_manager->allocate(static_cast<size_t>(n > 0 ? n : 1) * sizeof(QrcInt)));
  QrcInt* v2i = t->valueToIndex;
  QrcInt off = t->offset;
  for (QrcInt k = 0; k < t->span; ++k) v2i[k] = -1;
  std::sort(s, s + c);
  t->values =
      static_cast<QrcInt*>(_manager->allocate(static_cast<size_t>(c > 0 ? c : 1) * sizeof(QrcInt)));
  t->count = 0;
  for (QrcInt k = 0; k < c; ++k)
    if (k == 0 || s[k] != s[k - 1]) t->values[t->count++] = s[k];
  // Counting placement: the supporting indices grouped by value, ascending.
  for (QrcInt k = 0; k < c; ++k) v2i[s[k] - off] = k;
  for (QrcInt i = n - 1; i >= 0; --i) {
    if (!_x->isInDomain(i) || !_y->isInDomain(_a[i])) continue;
    QrcInt p = v2i[_a[i] - off];
    s[p] = i;
    v2i[_a[i] - off] = p - 1;
  }
  // Each value's support is its largest index.
  for (QrcInt k = 0; k < c; ++k) v2i[_a[s[k]] - off] = s[k];
  QrcInt* next = t->nextIndex;
  for (QrcInt i = 0; i < n; ++i) next[i] = i;
  QrcInt groupStart = 0;
  for (QrcInt k = 0; k < c; ++k) {
    QrcInt p = s[k];
    if (k + 1 < c && _a[s[k + 1]] == _a[p]) {
      next[p] = s[k + 1];
    } else {
      next[p] = s[groupStart];
      groupStart = k + 1;
    }
  }
  _manager->unlockArrayFromPool(s);
  _manager->saveValue(&_tables);
  _tables = t;
}

void QrcIncrementalStaticElementEqI::findSupport(QrcInt v, QrcInt start) {
  QrcInt* next = _tables->nextIndex;
  for (QrcInt j = next[start]; j != start; j = next[j]) {
    if (_x->isInDomain(j)) {
      _tables->valueToIndex[v - _tables->offset] = j;
      return;
    }
  }
  _y->removeValue(v);
}

void QrcIncrementalStaticElementEqI::valueLost() {
  Tables* t = _tables;
  if (!t) return;
  if (_y->isBound()) {
    fullValuePass();
    return;
  }
  bool whole = false;
  QrcIntExpI* x = _x;
  forEachLostValue(
      _y, [t](QrcInt k) { return t->values[k]; }, t->count,
      [t, x, &whole](QrcInt v) {
        QrcInt s = v < t->offset || v - t->offset >= t->span ? -1 : t->valueToIndex[v - t->offset];
        if (s < 0) return !(whole = true);
        x->removeValue(s);
        for (QrcInt j = t->nextIndex[s]; j != s; j = t->nextIndex[j]) x->removeValue(j);
        return true;
      });
  if (whole) fullValuePass();
}

void QrcIncrementalStaticElementEqI::fullValuePass() {
  QrcInt lo, hi;
  if (!indexSpan(_x, _n, lo, hi)) return;
  for (QrcInt i = lo;;) {
    QrcInt next = _x->getNextHigher(i);
    if (!_y->isInDomain(_a[i])) _x->removeValue(i);
    if (next == i || next > hi) return;
    i = next;
  }
}

void QrcIncrementalStaticElementEqI::indexLost() {
  if (!_tables) return;
  if (_x->isBound()) {
    QrcInt k = _x->getValue();
    if (k < 0 || k >= _n) fail();
    _y->setValue(_a[k]);
    return;
  }
  QrcInt off = _tables->offset, span = _tables->span;
  QrcInt* v2i = _tables->valueToIndex;
  QrcIntVarDeltaIterator it(_x);
  QrcInt i;
  while (it.next(i)) {
    if (i < 0 || i >= _n) {
      fullIndexPass();
      return;
    }
    // A value y no longer holds needs no support on this branch.
    QrcInt v = _a[i];
    if (v < off || v - off >= span || v2i[v - off] != i || !_y->isInDomain(v)) continue;
    findSupport(v, i);
  }
}

void QrcIncrementalStaticElementEqI::fullIndexPass() {
  QrcInt off = _tables->offset, span = _tables->span;
  QrcInt* v2i = _tables->valueToIndex;
  QrcInt lo = _y->getMin() > off ? _y->getMin() : off;
  QrcInt hi = _y->getMax() < off + span - 1 ? _y->getMax() : off + span - 1;
  if (lo > hi) return;
  if (!_y->isInDomain(lo)) lo = _y->getNextHigher(lo);
  for (QrcInt v = lo; v <= hi;) {
    QrcInt next = _y->getNextHigher(v);
    if (_y->isInDomain(v)) {
      QrcInt s = v2i[v - off];
      if (s < 0)
        _y->removeValue(v);
      else if (!_x->isInDomain(s))
        findSupport(v, s);
    }
    if (next == v) return;
    v = next;
  }
}

QrcInt QrcIncrementalStaticElementEqI::getSupport(QrcInt v) const {
  if (!_tables || v < _tables->offset || v - _tables->offset >= _tables->span) return -1;
  return _tables->valueToIndex[v - _tables->offset];
}

QrcBool QrcIncrementalStaticElementEqI::isFalse() const {
  QrcInt s = _lastSupport;
  if (s >= 0 && s < _n && _x->isInDomain(s) && _y->isInDomain(_a[s])) return 0;
  QrcInt i = findSupportedIndex(s + 1, _n);
  if (i < 0) i = findSupportedIndex(0, s);
  if (i < 0) return 1;
  _lastSupport = i;
  return 0;
}

// ---------------------------------------------------------------- y != a[x]

QrcStaticElementNEqI::QrcStaticElementNEqI(QrcManagerI* m, QrcIntExpI* y, const QrcIntArray& a,
                                           QrcIntExpI* x, const char* name, QrcBool outside)
    : QrcConstraintI(m),
      _y(asValue(y, a.getImpl(), a.getSize())),
      _a(a),
      _n(a.getSize()),
      _x(asIndex(x)),
      _outside(outside) {
  if (name) setName(name);
}

void QrcStaticElementNEqI::post() {
  _y->whenValue(new (_manager) QrcStaticElementNEqVarValueII(_manager, this));
  _x->whenValue(new (_manager) QrcStaticElementNEqIndexValueII(_manager, this));
}

void QrcStaticElementNEqI::propagate() {
  if (!_outside) _x->setRange(QrcInt(0), _n - 1);
  if (_y->isBound()) yBound();
  if (_x->isBound()) xBound();
}

void QrcStaticElementNEqI::yBound() {
  QrcInt v = _y->getValue();
  QrcInt lo, hi;
  if (!indexSpan(_x, _n, lo, hi)) return;
  for (QrcInt i = lo;;) {
    QrcInt next = _x->getNextHigher(i);
    if (_a[i] == v) _x->removeValue(i);
    if (next == i || next > hi) return;
    i = next;
  }
}

void QrcStaticElementNEqI::xBound() {
  QrcInt k = _x->getValue();
  if (k >= 0 && k < _n) _y->removeValue(_a[k]);
}

void QrcStaticElementNEqI::metaPostDemon(QrcDemonI* d) {
  _y->whenDomain(d);
  _x->whenDomain(d);
}

QrcConstraintI* QrcStaticElementNEqI::makeOpposite() {
  if (_outside) return QrcElementEq(_y, _a, _x).getImpl();
  return new (_manager) QrcPartialElementEqI(_manager, _y, _a, _x);
}

QrcBool QrcStaticElementNEqI::isFalse() const {
  if (_outside && hasOutside(_x, _n)) return 0;
  QrcInt lo, hi;
  if (!indexSpan(_x, _n, lo, hi)) return 1;
  if (!_y->isBound()) return 0;
  QrcInt v = _y->getMin();
  for (QrcInt i = lo;; i = _x->getNextHigher(i)) {
    if (_a[i] != v) return 0;
    if (i >= hi) return 1;
  }
}

QrcConstraintI* QrcStaticElementNEqI::makeCopy(QrcManagerI* t) const {
  if (_outside)
    return new (t)
        QrcStaticElementNEqI(t, copyOf(_y, t), arrayFor(_a, t), copyOf(_x, t), nullptr, 1);
  return QrcElementNEq(copyOf(_y, t), arrayFor(_a, t), copyOf(_x, t)).getImpl();
}

// ---------------------------------------------------------------- y == a[x] or x outside

QrcPartialElementEqI::QrcPartialElementEqI(QrcManagerI* m, QrcIntExpI* y, const QrcIntArray& a,
                                           QrcIntExpI* x)
    : QrcConstraintI(m),
      _y(asValue(y, a.getImpl(), a.getSize())),
      _a(a),
      _n(a.getSize()),
      _x(asIndex(x)) {}

void QrcPartialElementEqI::post() {
  _y->whenDomain(this);
  _x->whenDomain(this);
}

void QrcPartialElementEqI::propagate() {
  QrcInt lo, hi;
  if (!indexSpan(_x, _n, lo, hi)) return;
  if (!hasOutside(_x, _n)) {
    deactivate();
    _manager->add(QrcElementEq(_y, _a, _x).getImpl());
    return;
  }
  for (QrcInt i = lo;;) {
    QrcInt next = _x->getNextHigher(i);
    if (!_y->isInDomain(_a[i])) _x->removeValue(i);
    if (next == i || next > hi) return;
    i = next;
  }
}

void QrcPartialElementEqI::metaPostDemon(QrcDemonI* d) {
  _y->whenDomain(d);
  _x->whenDomain(d);
}

QrcConstraintI* QrcPartialElementEqI::makeOpposite() {
  return QrcElementNEq(_y, _a, _x).getImpl();
}

QrcBool QrcPartialElementEqI::isFalse() const {
  return !hasOutside(_x, _n) && !hasSupport(_x, _y, _a.getImpl(), _n);
}

QrcConstraintI* QrcPartialElementEqI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcPartialElementEqI(t, copyOf(_y, t), arrayFor(_a, t), copyOf(_x, t));
}

// ---------------------------------------------------------------- c == a[x], c != a[x]

QrcStaticCstElementI::QrcStaticCstElementI(QrcManagerI* m, QrcInt c, const QrcIntArray& a,
                                           QrcIntExpI* x, const char* name, bool equal,
                                           QrcBool outside)
    : QrcConstraintI(m), _c(c), _a(a), _x(asIndex(x)), _equal(equal), _outside(outside) {
  if (name) setName(name);
}

void QrcStaticCstElementI::propagate() {
  QrcInt n = _a.getSize();
  if (!_outside) _x->setRange(QrcInt(0), n - 1);
  QrcInt lo, hi;
  if (!indexSpan(_x, n, lo, hi)) return;
  for (QrcInt i = lo;;) {
    QrcInt next = _x->getNextHigher(i);
    if ((_a[i] == _c) != _equal) _x->removeValue(i);
    if (next == i || next > hi) return;
    i = next;
  }
}

void QrcStaticCstElementI::metaPostDemon(QrcDemonI* d) {
  _x->whenDomain(d);
}

QrcBool QrcStaticCstElementI::isFalse() const {
  if (_outside && hasOutside(_x, _a.getSize())) return 0;
  QrcInt lo, hi;
  if (!indexSpan(_x, _a.getSize(), lo, hi)) return 1;
  for (QrcInt i = lo;; i = _x->getNextHigher(i)) {
    if ((_a[i] == _c) == _equal) return 0;
    if (i >= hi) return 1;
  }
}

QrcConstraintI* QrcStaticCstElementEqI::makeOpposite() {
  return new (_manager) QrcStaticCstElementNEqI(_manager, _c, _a, _x, _name, !_outside);
}

QrcConstraintI* QrcStaticCstElementEqI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcStaticCstElementEqI(t, _c, arrayFor(_a, t), copyOf(_x, t), _name, _outside);
}

QrcConstraintI* QrcStaticCstElementNEqI::makeOpposite() {
  return new (_manager) QrcStaticCstElementEqI(_manager, _c, _a, _x, _name, !_outside);
}

QrcConstraintI* QrcStaticCstElementNEqI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcStaticCstElementNEqI(t, _c, arrayFor(_a, t), copyOf(_x, t), _name, _outside);
}

// ---------------------------------------------------------------- makers

QrcConstraint QrcElementEq(const QrcIntExp& ye, const QrcIntArray& a, const QrcIntExp& xe,
                           const char* name) {
  QrcCheckOperands("QrcElementEq", {ye, xe});
  QrcIntExpI* y = impl(ye, "QrcElementEq");
  QrcIntExpI* x = impl(xe, "QrcElementEq");
  QrcManagerI* m = y->getManager();
  if (y->isBound()) return new (m) QrcStaticCstElementEqI(m, y->getValue(), a, x, name);
  QrcInt n = a.getSize();
  if (n <= 0) return m->getFalseConstraint();
  if (n <= 6) return new (m) QrcStaticElementEqI(m, y, a, x, 1, name);
  if (!compactSpan(a)) return QrcIntEltCallerCt(ye, a, xe);
  return new (m) QrcIncrementalStaticElementEqI(m, y, a, x, 1, name);
}

QrcConstraint QrcElementNEq(const QrcIntExp& ye, const QrcIntArray& a, const QrcIntExp& xe,
                            const char* name) {
  QrcCheckOperands("QrcElementNEq", {ye, xe});
  QrcIntExpI* y = impl(ye, "QrcElementNEq");
  QrcIntExpI* x = impl(xe, "QrcElementNEq");
  QrcManagerI* m = y->getManager();
  if (y->isBound()) return new (m) QrcStaticCstElementNEqI(m, y->getValue(), a, x, name);
  // A value that may lack one stands for a variable that takes none there,
  // which differs from every entry: the disequality excludes it.
  QrcInt none = noValue(a.getImpl(), a.getSize(), y);
  QrcIntExpI* v = y->isVariable() ? y : asOperand(y, none);
  QrcConstraint neq = new (m) QrcStaticElementNEqI(m, v, a, x, name);
  if (v == y) return neq;
  return QrcIntExp(v) != none && neq;
}

QrcConstraint QrcIntEltCallerCt(const QrcIntExp& ye, const QrcIntArray& a, const QrcIntExp& xe) {
  QrcCheckOperands("QrcIntEltCallerCt", {ye, xe});
  QrcIntExpI* y = impl(ye, "QrcIntEltCallerCt");
  QrcIntExpI* x = impl(xe, "QrcIntEltCallerCt");
  QrcManagerI* m = y->getManager();
  QrcConstArrayI* values = QrcConstArray(QrcManager(m), a).getImpl();
  return new (m) QrcIntEltCallerCtI(m, y, values, x);
}
