#include "qrorange.h"

#include <ostream>

#include "qroenv.h"
#include "qroexpr.h"

QroNumRangeI::~QroNumRangeI() {}
QroIntRangeI::~QroIntRangeI() {}

// ---------------------------------------------------------------------------
// Numeric range

void QroNumRangeI::setLB(QroNum v) {
  checkMutable();
  _lb = v;
}

void QroNumRangeI::setUB(QroNum v) {
  checkMutable();
  _ub = v;
}

void QroNumRangeI::display(std::ostream& os) const {
  os << "[" << _lb << " ," << _ub << "]";
}

QroDataCollectionI* QroNumRangeI::copyInto(QroEnvI* env) const {
  QroNumRangeI* r = new (env) QroNumRangeI(env, _lb, _ub);
  if (_name) r->setName(_name);
  return r;
}

// ---------------------------------------------------------------------------
// Integer range

namespace {
const QroInt kInf = QroIntCollectionInfinity;
// Larger ranges are not turned into arrays.
const QroInt kMaxArraySize = QroInt(1) << 40;
}  // namespace

void QroIntRangeI::setLB(QroInt v) {
  checkMutable();
  _lb = v;
}

void QroIntRangeI::setUB(QroInt v) {
  checkMutable();
  _ub = v;
}

void QroIntRangeI::display(std::ostream& os) const {
  os << "[" << _lb << " ," << _ub << "]";
}

QroDataCollectionI* QroIntRangeI::copyInto(QroEnvI* env) const {
  QroIntRangeI* r = new (env) QroIntRangeI(env, _lb, _ub);
  if (_name) r->setName(_name);
  return r;
}

QroInt QroIntRangeI::getSize() const {
  if (_lb == -kInf || _ub == kInf) return kInf;
  if (_lb == kInf || _ub == -kInf) return 0;
  if (_ub < _lb) return 0;
  QroInt n = 0;
  if (__builtin_sub_overflow(_ub, _lb, &n) || n >= kInf) return kInf;
  return n + 1;
}

QroInt QroIntRangeI::getIndex(QroInt value) const {
  if (value < _lb || value > _ub) return -1;
  double d = static_cast<double>(value) - static_cast<double>(_lb);
  if (d > static_cast<double>(kInf) || d < -static_cast<double>(kInf)) {
    QroIntExpr::QroOverflowOccurred e("overflow occurred in substraction");
    throw e;
  }
  return value - _lb;
}

QroInt QroIntRangeI::getValue(QroInt index) const {
  if (index < 0) throw QroWrongUsage("QroIntRangeI::getValue(QroInt index): index is negative");
  if (index >= getSize())
    throw QroWrongUsage("QroIntRangeI::getValue(QroInt index): index is out of bound");
  return _lb + index;
}

QroIntArray QroIntRangeI::getArray() const {
  QroInt n = getSize();
  if (n >= kInf || n > kMaxArraySize) throw QroMemoryException();
  QroIntArray a(QroEnv(_env), n);
  for (QroInt i = 0; i < n; ++i) a[i] = _lb + i;
  return a;
}

QroDataIterator* QroIntRangeI::iterator(QroGenAlloc* allocator) const {
  return new (allocator) QroIntRange::Iterator(allocator, this);
}

// ---------------------------------------------------------------------------
// Range iterator

QroIntRange::Iterator::Iterator(const QroIntRangeI* range) : Iterator(nullptr, range) {}

QroIntRange::Iterator::Iterator(QroGenAlloc* allocator, const QroIntRangeI* r)
    : QroIntDataIterator(allocator) {
  attach(r);
  _lb = r ? r->getMin() : 0;
  _ub = r ? r->getMax() : -1;
  reset();
}

QroIntRange::Iterator::~Iterator() {}

void QroIntRange::Iterator::reset() {
  _current = _lb;
  _valid = _collection && _lb <= _ub;
}

QroBool QroIntRange::Iterator::next() {
  if (!_valid) return 0;
  // A range with an infinite bound is not walked.
  if (_lb == -kInf || _ub == kInf || _current >= _ub) {
    _valid = 0;
    return 0;
  }
  ++_current;
  return 1;
}

QroInt QroIntRange::Iterator::getMinBound() const {
  return range() ? range()->getMin() : -kInf;
}

QroInt QroIntRange::Iterator::getMaxBound() const {
  return range() ? range()->getMax() : kInf;
}

void QroIntRange::Iterator::setBounds(QroInt lb, QroInt ub) {
  const QroIntRangeI* r = range();
  QroInt lo = r ? r->getMin() : -kInf;
  QroInt hi = r ? r->getMax() : kInf;
  _lb = lb > lo ? lb : lo;
  _ub = ub < hi ? ub : hi;
  reset();
}

// ---------------------------------------------------------------------------
// Handles

QroIntRange::QroIntRange(const QroEnv& env, QroInt lb, QroInt ub)
    : _impl(new (env.getImpl()) QroIntRangeI(env.getImpl(), lb, ub)) {}

QroNumRange::QroNumRange(const QroEnv& env, QroNum lb, QroNum ub)
    : _impl(new (env.getImpl()) QroNumRangeI(env.getImpl(), lb, ub)) {}
