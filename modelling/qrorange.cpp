#include "qrorange.h"

#include <cstring>
#include <ostream>

#include "qroenv.h"

QroDataCollection::ImmutableException::~ImmutableException() {}

void QroDataCollection::ImmutableException::print(std::ostream& os) const {
  os << "the Collection ";
  if (_c && _c->getName())
    os << " " << _c->getName();
  else
    os << "unamed collection";
  os << " is referenced by another and is immutable";
}

QroDataCollectionI::~QroDataCollectionI() {
  if (_name) _env->getGeneralAllocator()->free(_name, std::strlen(_name) + 1);
  _name = nullptr;
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

QroContinuousDataI::~QroContinuousDataI() {}
QroDiscreteDataCollectionI::~QroDiscreteDataCollectionI() {}
QroIntCollectionI::~QroIntCollectionI() {}
QroIntAbstractSetI::~QroIntAbstractSetI() {}
QroNumRangeI::~QroNumRangeI() {}
QroIntRangeI::~QroIntRangeI() {}

void QroNumRangeI::setLB(QroNum v) {
  checkMutable();
  _lb = v;
}

void QroNumRangeI::setUB(QroNum v) {
  checkMutable();
  _ub = v;
}

void QroNumRangeI::display(std::ostream& os) const { os << "[" << _lb << " ," << _ub << "]"; }

QroDataCollectionI* QroNumRangeI::copy(QroEnvI* env) const {
  QroNumRangeI* r = new (env) QroNumRangeI(env, _lb, _ub);
  if (_name) r->setName(_name);
  return r;
}

void QroIntRangeI::setLB(QroInt v) {
  checkMutable();
  _lb = v;
}

void QroIntRangeI::setUB(QroInt v) {
  checkMutable();
  _ub = v;
}

void QroIntRangeI::display(std::ostream& os) const { os << "[" << _lb << " ," << _ub << "]"; }

QroDataCollectionI* QroIntRangeI::copy(QroEnvI* env) const {
  QroIntRangeI* r = new (env) QroIntRangeI(env, _lb, _ub);
  if (_name) r->setName(_name);
  return r;
}
