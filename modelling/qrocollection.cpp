#include "qrocollection.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <sstream>

#include "qroenv.h"

QroObjectBase::~QroObjectBase() {}

// ---------------------------------------------------------------------------
// Exceptions

namespace {
void printName(std::ostream& os, const QroDataCollectionI* c) {
  if (c && c->getName())
    os << c->getName();
  else
    os << "unamed collection";
}
}  // namespace

QroDataCollection::ImmutableException::~ImmutableException() {}

void QroDataCollection::ImmutableException::print(std::ostream& os) const {
  os << "the Collection ";
  if (_c && _c->getName())
    os << " " << _c->getName();
  else
    os << "unamed collection";
  os << " is referenced by another and is immutable";
}

QroRenderedMessageException& QroRenderedMessageException::operator=(
    const QroRenderedMessageException& other) {
  if (this != &other) {
    QroException::operator=(other);
    delete[] _rendered;
    _rendered = nullptr;
  }
  return *this;
}

QroRenderedMessageException::~QroRenderedMessageException() {
  delete[] _rendered;
}

const char* QroRenderedMessageException::getMessage() const {
  const char* stored = QroException::getMessage();
  if (stored && *stored) return stored;
  if (!_rendered) {
    std::ostringstream os;
    print(os);
    _rendered = QroCopyStreamText(os);
  }
  return _rendered;
}

QroIndexOutOfBoundsException::~QroIndexOutOfBoundsException() {}

void QroIndexOutOfBoundsException::print(std::ostream& os) const {
  os << "Index out of bounds for ";
  printName(os, _c);
  os << " :" << _index;
}

QroFirstLastElementNotFoundException::~QroFirstLastElementNotFoundException() {}

void QroFirstLastElementNotFoundException::print(std::ostream& os) const {
  os << " : " << getOperationName() << " element does not exist";
}

QroOperatorException::~QroOperatorException() {}
QroCollectionElementNotFoundException::~QroCollectionElementNotFoundException() {}
QroOperatorNextElementNotFoundException::~QroOperatorNextElementNotFoundException() {}

// ---------------------------------------------------------------------------
// Collection bases

QroDataCollectionI::~QroDataCollectionI() {
  if (_name) _env->getGeneralAllocator()->free(_name, std::strlen(_name) + 1);
  _name = nullptr;
}

QroRttiEnvObjectI* QroDataCollectionI::makeWuxClone(QroEnvI* other) const {
  return copyInto(other);
}

void QroDataCollectionI::setName(const char* name) {
  QroFlormAlloc* a = _env->getGeneralAllocator();
  char* copy = nullptr;
  if (name) {
    size_t n = std::strlen(name) + 1;
    copy = static_cast<char*>(a->alloc(n));
    std::memcpy(copy, name, n);
  }
  if (_name) a->free(_name, std::strlen(_name) + 1);
  _name = copy;
}

void QroDataCollectionI::checkMutable() const {
  if (_refCount >= 1) throw QroDataCollection::ImmutableException(this);
}

std::ostream& operator<<(std::ostream& os, const QroDataCollectionI& c) {
  c.display(os);
  return os;
}

QroContinuousDataI::~QroContinuousDataI() {}
QroDiscreteDataCollectionI::~QroDiscreteDataCollectionI() {}
QroIntCollectionI::~QroIntCollectionI() {}
QroIntAbstractSetI::~QroIntAbstractSetI() {}

QroDataIterator* QroDiscreteDataCollectionI::iterator(QroGenAlloc*) const {
  throw QroNotImplemented("QroDiscreteDataCollectionI::iterator(QroGenAlloc*) is not implemented");
}

QroInt QroDiscreteDataCollectionI::getIndex(const QroObjectBase&) const {
  throw QroWrongUsage("not Implemented");
}

QroInt QroDiscreteDataCollectionI::getIndex(QroAny) const {
  throw QroNotImplemented("QroDiscreteDataCollectionI::getIndex(QroAny) is not implemented");
}

QroInt QroDiscreteDataCollectionI::getIndex(QroNum) const {
  throw QroNotImplemented("QroDiscreteDataCollectionI::getIndex(QroNum) is not implemented");
}

QroInt QroDiscreteDataCollectionI::getIndex(QroInt) const {
  throw QroNotImplemented("QroDiscreteDataCollectionI::getIndex(QroInt) is not implemented");
}

QroInt QroDiscreteDataCollectionI::getIntValue(QroInt) const {
  throw QroNotImplemented("QroDiscreteDataCollectionI::getIntValue(QroInt) is not implemented");
}

QroNum QroDiscreteDataCollectionI::getNumValue(QroInt) const {
  throw QroNotImplemented("QroDiscreteDataCollectionI::getNumValue(QroInt) is not implemented");
}

QroAny QroDiscreteDataCollectionI::getAnyValue(QroInt) const {
  throw QroNotImplemented("QroDiscreteDataCollectionI::getAnyValue(QroInt) is not implemented");
}

QroInt QroIntCollectionI::getIndex(QroAny) const {
  throw QroNotImplemented("QroIntCollectionI::getIndex(QroAny) is not implemented");
}

QroInt QroIntCollectionI::getIndex(QroNum value) const {
  double f = std::floor(value);
  // Values beyond the 64-bit integers (and NaN) are in no integer collection.
  if (!(f >= -9223372036854775808.0 && f < 9223372036854775808.0)) return -1;
  return getIndex(static_cast<QroInt>(f));
}

QroInt QroIntCollectionI::getIndex(QroInt) const {
  throw QroNotImplemented("QroIntCollectionI::getIndex(QroInt) is not implemented");
}

QroInt QroIntCollectionI::getIntValue(QroInt) const {
  throw QroNotImplemented("QroIntCollectionI::getIntValue(QroInt) is not implemented");
}

QroNum QroIntCollectionI::getNumValue(QroInt) const {
  throw QroNotImplemented("QroIntCollectionI::getNumValue(QroInt) is not implemented");
}

QroAny QroIntCollectionI::getAnyValue(QroInt) const {
  throw QroNotImplemented("QroIntCollectionI::getAnyValue(QroInt) is not implemented");
}

// ---------------------------------------------------------------------------
// Neighbour look-up

QroInt QroIntAbstractSetI::positionOf(QroInt value, QroBool forward, QroBool circular) const {
  QroInt p = getIndex(value);
  if (p < 0) throw QroCollectionElementNotFoundException(QroObjectBase(value), forward, circular);
  return p;
}

QroInt QroIntAbstractSetI::next(QroInt value, QroInt k) const {
  QroInt p = positionOf(value, 1, 0);
  QroInt q = 0;
  if (__builtin_add_overflow(p, k, &q) || q < 0 || q >= getSize())
    throw QroOperatorNextElementNotFoundException(QroObjectBase(value), 1, 0);
  return getValue(q);
}

QroInt QroIntAbstractSetI::prev(QroInt value, QroInt k) const {
  QroInt p = positionOf(value, 0, 0);
  QroInt q = 0;
  if (__builtin_sub_overflow(p, k, &q) || q < 0 || q >= getSize())
    throw QroOperatorNextElementNotFoundException(QroObjectBase(value), 0, 0);
  return getValue(q);
}

namespace {
// (p + k) modulo n in [0, n), for 0 <= p < n.
QroInt circularPosition(QroInt p, QroInt k, QroInt n) {
  QroInt r = k % n;
  if (r < 0) r += n;
  // p and r are below n, so p - (n - r) does not overflow.
  return p >= n - r ? p - (n - r) : p + r;
}
}  // namespace

QroInt QroIntAbstractSetI::nextC(QroInt value, QroInt k) const {
  QroInt p = positionOf(value, 1, 1);
  return getValue(circularPosition(p, k, getSize()));
}

QroInt QroIntAbstractSetI::prevC(QroInt value, QroInt k) const {
  QroInt p = positionOf(value, 0, 1);
  QroInt n = getSize();
  // -k modulo n, without negating k.
  QroInt r = k % n;
  return getValue(circularPosition(p, r == 0 ? 0 : n - (r < 0 ? r + n : r), n));
}

QroInt QroIntAbstractSetI::getMin() const {
  QroInt m = QroIntCollectionInfinity;
  QroInt n = getSize();
  for (QroInt i = 0; i < n; ++i) {
    QroInt v = getValue(i);
    if (v < m) m = v;
  }
  return m;
}

QroInt QroIntAbstractSetI::getMax() const {
  QroInt m = -QroIntCollectionInfinity;
  QroInt n = getSize();
  for (QroInt i = 0; i < n; ++i) {
    QroInt v = getValue(i);
    if (v > m) m = v;
  }
  return m;
}

// ---------------------------------------------------------------------------
// Iterators

QroDataIterator::~QroDataIterator() {}

void QroDataIterator::attach(const QroDataCollectionI* c) {
  _collection = c;
  if (!_allocator && c) _allocator = c->getEnv()->getGeneralAllocator();
}

QroIntDataIterator::~QroIntDataIterator() {}

void QroIntDataIterator::reset() {
  if (_collection) {
    _position = -1;
    _valid = next();
  } else {
    _valid = 0;
  }
}

void QroIntDataIterator::setBounds(QroInt lb, QroInt ub) {
  _lb = lb > -QroIntCollectionInfinity ? lb : -QroIntCollectionInfinity;
  _ub = ub < QroIntCollectionInfinity ? ub : QroIntCollectionInfinity;
  _current = _lb;
  _valid = _lb <= _ub;
  reset();
}

QroIntDefaultDataIterator::~QroIntDefaultDataIterator() {}

namespace {
const QroIntCollectionI* intCollection(const QroDataCollectionI* c) {
  return c && c->isIntCollection() ? static_cast<const QroIntCollectionI*>(c) : nullptr;
}
}  // namespace

QroBool QroIntDefaultDataIterator::next() {
  const QroIntCollectionI* c = intCollection(_collection);
  if (!c) {
    _valid = 0;
    return 0;
  }
  QroInt n = c->getSize();
  for (++_position; _position < n; ++_position) {
    QroInt v = c->getValue(_position);
    if (_lb <= v && v <= _ub) {
      _current = v;
      _valid = 1;
      return 1;
    }
  }
  _position = n;
  _valid = 0;
  return 0;
}

QroInt QroIntDefaultDataIterator::getMinBound() const {
  const QroIntCollectionI* c = intCollection(_collection);
  if (!c) return -QroIntCollectionInfinity;
  QroInt m = QroIntCollectionInfinity;
  for (QroInt i = 0, n = c->getSize(); i < n; ++i) m = std::min(m, c->getValue(i));
  return m;
}

QroInt QroIntDefaultDataIterator::getMaxBound() const {
  const QroIntCollectionI* c = intCollection(_collection);
  if (!c) return QroIntCollectionInfinity;
  QroInt m = -QroIntCollectionInfinity;
  for (QroInt i = 0, n = c->getSize(); i < n; ++i) m = std::max(m, c->getValue(i));
  return m;
}
