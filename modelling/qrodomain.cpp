#include <cmath>
#include <new>
#include <ostream>

#include "qronumeric.h"
#include "qrorange.h"
#include "qrovar.h"

namespace {
template <class T>
void destroyIn(T* d, QroEnvI* env) {
  d->~T();
  env->free(d, sizeof(T));
}
template <class T, class... A>
T* newIn(QroEnvI* env, A... args) {
  return new (env->alloc(sizeof(T))) T(args...);
}
// More values than this in one widening are refused before looping.
const QroInt kMaxAppended = QroInt(1) << 31;
}  // namespace

QroVarDomainI::~QroVarDomainI() {}

// ---------------------------------------------------------------------------
// Floating-point domains

QroNumVarDomainI::QroNumVarDomainI(const QroNumArray& values)
    : _lb(QroMin(values)), _ub(QroMax(values)), _values(values) {}

void QroNumVarDomainI::setLB(QroNum v) {
  _lb = v;
  if (_values.getImpl())
    throw QroNotSupportedOperation("SetLB is not supported on a discrete floating point variable");
}

void QroNumVarDomainI::setUB(QroNum v) {
  _ub = v;
  if (_values.getImpl())
    throw QroNotSupportedOperation("SetLB is not supported on a discrete floating point variable");
}

void QroNumVarDomainI::setNumValues(const QroNumArray& a) {
  QroNum lb = QroMin(a), ub = QroMax(a);
  if (_values.getImpl() && _values.getImpl() != a.getImpl()) _values.end();
  _values = a;
  _lb = lb;
  _ub = ub;
}

void QroNumVarDomainI::destroy(QroEnvI* env) {
  _values.end();
  destroyIn(this, env);
}

void QroNumSharedVarDomainI::destroy(QroEnvI* env) {
  _values.end();
  destroyIn(this, env);
}

void QroNumVarDomainI::display(std::ostream& os) const {
  if (_values.getImpl())
    os << _values;
  else
    os << "[" << _lb << ".." << _ub << "] ";
}

QroVarDomainI* QroNumVarDomainI::makeCopy(QroEnvI* env) const {
  if (_values.getImpl()) {
    QroNumArray copy(QroEnv(env), 0);
    for (QroInt i = 0; i < _values.getSize(); ++i) copy.add(_values[i]);
    return newIn<QroNumVarDomainI>(env, copy);
  }
  return newIn<QroNumVarDomainI>(env, _lb, _ub);
}

// ---------------------------------------------------------------------------
// Integer domains

QroIntVarDomainI::QroIntVarDomainI(const QroIntArray& values, QroBool any)
    : _lb(QroMin(values)), _ub(QroMax(values)), _values(values), _any(any) {}

void QroIntVarDomainI::adjustValues(QroInt l, QroInt u) {
  if (!_values.getImpl()) return;
  if (l != _lb) {
    if (l > _lb) {
      for (QroInt i = _values.getSize() - 1; i >= 0; --i)
        if (_values[i] < l) _values.remove(i, 1);
    } else {
      if (static_cast<QroUInt>(_lb) - static_cast<QroUInt>(l) > static_cast<QroUInt>(kMaxAppended))
        throw QroMemoryException();
      for (QroInt v = l; v < _lb; ++v) _values.add(v);
    }
  }
  if (u != _ub) {
    if (u < _ub) {
      for (QroInt i = _values.getSize() - 1; i >= 0; --i)
        if (_values[i] > u) _values.remove(i, 1);
    } else {
      if (static_cast<QroUInt>(u) - static_cast<QroUInt>(_ub) > static_cast<QroUInt>(kMaxAppended))
        throw QroMemoryException();
      for (QroInt v = _ub + 1; v <= u; ++v) _values.add(v);
    }
  }
}

void QroIntVarDomainI::setLB(QroNum v) {
  QroInt l = QroLowerBoundToInt53(v);
  adjustValues(l, _ub);
  _lb = l;
}

void QroIntVarDomainI::setUB(QroNum v) {
  QroInt u = QroUpperBoundToInt53(v);
  adjustValues(_lb, u);
  _ub = u;
}

void QroIntVarDomainI::setIntValues(const QroIntArray& a) {
  QroInt lb = QroMin(a), ub = QroMax(a);
  if (_values.getImpl() && _values.getImpl() != a.getImpl()) _values.end();
  _values = a;
  _lb = lb;
  _ub = ub;
}

void QroIntVarDomainI::destroy(QroEnvI* env) {
  _values.end();
  destroyIn(this, env);
}

void QroIntSharedVarDomainI::destroy(QroEnvI* env) {
  _values.end();
  destroyIn(this, env);
}

void QroIntVarDomainI::display(std::ostream& os) const {
  if (_values.getImpl())
    os << _values;
  else
    os << "[" << _lb << ".." << _ub << "] ";
}

QroVarDomainI* QroIntVarDomainI::makeCopy(QroEnvI* env) const {
  if (_values.getImpl()) {
    QroIntArray copy(QroEnv(env), 0);
    for (QroInt i = 0; i < _values.getSize(); ++i) copy.add(_values[i]);
    return newIn<QroIntVarDomainI>(env, copy, _any);
  }
  QroIntVarDomainI* d = newIn<QroIntVarDomainI>(env, _lb, _ub);
  d->_any = _any;
  return d;
}

// ---------------------------------------------------------------------------
// Boolean domains

// Bounds round inward, as on integer domains.
void QroBoolVarDomainI::setLB(QroNum v) {
  _lb = QroLowerBoundToInt53(v);
}
void QroBoolVarDomainI::setUB(QroNum v) {
  _ub = QroUpperBoundToInt53(v);
}

void QroBoolVarDomainI::destroy(QroEnvI* env) {
  destroyIn(this, env);
}
void QroBoolSharedVarDomainI::destroy(QroEnvI* env) {
  destroyIn(this, env);
}

void QroBoolVarDomainI::display(std::ostream& os) const {
  os << "[" << _lb << ".." << _ub << "] ";
}

QroVarDomainI* QroBoolVarDomainI::makeCopy(QroEnvI* env) const {
  return newIn<QroBoolVarDomainI>(env, _lb, _ub);
}

// ---------------------------------------------------------------------------
// Shared-domain tables

QroIntSharedDomainHash::QroIntSharedDomainHash(QroEnvI* env)
    : QroSharedDomainHash<QroIntRangeI*>(env, env->getGeneralAllocator(), 31, &Hash, &Equal) {}

QroInt QroIntSharedDomainHash::Hash(QroIntRangeI* r, QroInt n) {
  const QroInt limit = QroIntMax;
  QroInt a = r->getMin(), b = r->getMax();
  if (a == limit || a == -limit) a = 13;
  if (b == limit || b == -limit) b = 113;
  QroUInt h =
      static_cast<QroUInt>(QroHashMix64(b, n)) ^ (17u * static_cast<QroUInt>(QroHashMix64(a, n)));
  return static_cast<QroInt>(h % static_cast<QroUInt>(n));
}

bool QroIntSharedDomainHash::Equal(QroIntRangeI* a, QroIntRangeI* b) {
  return a->getMax() == b->getMax() && a->getMin() == b->getMin();
}

QroIntSharedDomainHash::~QroIntSharedDomainHash() {
  forEach([this](QroIntRangeI* key, QroVarDomainI* d) {
    delete key;
    d->destroy(_env);
  });
  clear();
}

QroNumSharedDomainHash::QroNumSharedDomainHash(QroEnvI* env)
    : QroSharedDomainHash<QroNumRangeI*>(env, env->getGeneralAllocator(), 31, &Hash, &Equal) {}

QroInt QroNumSharedDomainHash::Hash(QroNumRangeI* r, QroInt n) {
  QroNum a = r->getLB(), b = r->getUB();
  if (std::isinf(a)) a = -14.0;
  if (std::isinf(b)) b = 27.0;
  return (QroHashDouble(a, n) + QroHashDouble(b, n)) % n;
}

bool QroNumSharedDomainHash::Equal(QroNumRangeI* a, QroNumRangeI* b) {
  return a->getUB() == b->getUB() && a->getLB() == b->getLB();
}

QroNumSharedDomainHash::~QroNumSharedDomainHash() {
  forEach([this](QroNumRangeI* key, QroVarDomainI* d) {
    delete key;
    d->destroy(_env);
  });
  clear();
}
