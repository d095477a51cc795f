#include "qrointset.h"

#include <cstdint>
#include <ostream>

#include "qroenv.h"

// ---------------------------------------------------------------------------
// Index

QroInt2IndexHashTable::~QroInt2IndexHashTable() {}

QroBool QroInt2IndexHashTable::insert(QroInt value, QroInt position) {
  if (contains(value)) return 0;
  add(value, position);
  return 1;
}

QroInt QroInt2IndexHashTable::getPosition(QroInt value) const {
  QroInt position = -1;
  return find(value, position) == 0 ? position : -1;
}

// ---------------------------------------------------------------------------
// Values of a collection as an array, released when owned.

namespace {
class ValuesOf {
 public:
  explicit ValuesOf(const QroIntCollectionI* c) : _owned(false) {
    if (!c) return;
    _owned = !c->isIntSet();
    _array = c->getArray();
  }
  ~ValuesOf() {
    if (_owned) _array.end();
  }
  ValuesOf(const ValuesOf&) = delete;
  ValuesOf& operator=(const ValuesOf&) = delete;
  QroInt size() const { return _array.getImpl() ? _array.getSize() : 0; }
  QroInt operator[](QroInt i) const { return _array[i]; }
  const QroIntArray& array() const { return _array; }

 private:
  QroIntArray _array;
  bool _owned;
};

QroInt sizeOf(const QroIntCollectionI* c) {
  return c ? c->getSize() : 0;
}
}  // namespace

// ---------------------------------------------------------------------------
// Integer set

QroIntSetI::QroIntSetI(QroEnvI* env, QroBool indexed)
    : QroIntAbstractSetI(env), _indexed(indexed ? 1 : 0), _values(), _index(nullptr) {
  _values = QroIntArray(QroEnv(env), 0);
}

QroIntSetI::QroIntSetI(QroEnvI* env, const QroIntSetI& other)
    : QroIntAbstractSetI(env), _indexed(other._indexed), _values(), _index(nullptr) {
  QroGenAlloc* a = env->getGeneralAllocator();
  _values = QroIntArray(new (a) QroArrayI(a, *other._values.getImpl()));
  try {
    buildIndexIfWanted(0);
  } catch (...) {
    _values.end();
    throw;
  }
}

QroIntSetI::QroIntSetI(QroEnvI* env, const QroIntArray& values, QroBool indexed)
    : QroIntAbstractSetI(env), _indexed(indexed ? 1 : 0), _values(), _index(nullptr) {
  _values = QroIntArray(QroEnv(env), 0);
  try {
    QroInt n = values.getImpl() ? values.getSize() : 0;
    for (QroInt i = 0; i < n; ++i) addValue(values[i], 1);
    if (!_indexed) deleteIndex();
  } catch (...) {
    deleteIndex();
    _values.end();
    throw;
  }
}

QroIntSetI::~QroIntSetI() {
  deleteIndex();
  _values.end();
}

void QroIntSetI::deleteIndex() {
  delete _index;
  _index = nullptr;
}

void QroIntSetI::buildIndexIfWanted(QroBool force) {
  if (_index || !(_indexed || force)) return;
  QroInt n = _values.getSize();
  if (n <= IndexThreshold) return;
  QroInt half = n / 2;
  QroInt buckets = ((half + 30) / 31) * 31;
  if (buckets < 31) buckets = 31;
  QroGenAlloc* a = _env->getGeneralAllocator();
  _index = new (a) QroInt2IndexHashTable(a, buckets);
  try {
    for (QroInt i = 0; i < n; ++i) _index->insert(_values[i], i);
  } catch (...) {
    deleteIndex();
    throw;
  }
}

void QroIntSetI::refillIndex() {
  if (!_index) {
    buildIndexIfWanted(0);
    return;
  }
  _index->clear();
  QroInt n = _values.getSize();
  for (QroInt i = 0; i < n; ++i) _index->insert(_values[i], i);
}

void QroIntSetI::addValue(QroInt value, QroBool forceIndex) {
  buildIndexIfWanted(forceIndex);
  QroInt n = _values.getSize();
  if (_index) {
    if (!_index->insert(value, n)) return;
    try {
      _values.add(value);
    } catch (...) {
      _index->remove(value);
      throw;
    }
    return;
  }
  if (contains(value)) return;
  _values.add(value);
}

void QroIntSetI::display(std::ostream& os) const {
  os << "{ ";
  QroInt n = _values.getSize();
  for (QroInt i = 0; i < n; ++i) os << _values[i] << (i + 1 < n ? ", " : " ");
  os << "}";
}

QroDataCollectionI* QroIntSetI::copyInto(QroEnvI* env) const {
  QroIntSetI* s = new (env) QroIntSetI(env, *this);
  if (_name) {
    try {
      s->setName(_name);
    } catch (...) {
      delete s;
      throw;
    }
  }
  return s;
}

QroInt QroIntSetI::getValue(QroInt index) const {
  if (index < 0 || index >= _values.getSize()) throw QroIndexOutOfBoundsException(this, index);
  return _values[index];
}

QroInt QroIntSetI::getIndex(QroInt value) const {
  if (_index) return _index->getPosition(value);
  QroInt n = _values.getSize();
  for (QroInt i = 0; i < n; ++i)
    if (_values[i] == value) return i;
  return -1;
}

QroInt QroIntSetI::getIndex(QroAny value) const {
  return getIndex(static_cast<QroInt>(reinterpret_cast<intptr_t>(value)));
}

QroInt QroIntSetI::first() const {
  if (_values.getSize() == 0) throw QroFirstLastElementNotFoundException(1);
  return _values[0];
}

QroInt QroIntSetI::last() const {
  QroInt n = _values.getSize();
  if (n == 0) throw QroFirstLastElementNotFoundException(0);
  return _values[n - 1];
}

QroDataIterator* QroIntSetI::iterator(QroGenAlloc* allocator) const {
  return new (allocator) QroIntSet::Iterator(allocator, this);
}

void QroIntSetI::dropIndex() {
  deleteIndex();
}

void QroIntSetI::add(QroInt value) {
  checkMutable();
  addValue(value, 0);
}

void QroIntSetI::addAll(const QroIntCollectionI* c) {
  checkMutable();
  if (sizeOf(c) == 0) return;
  if (_values.getSize() == 0) {
    ValuesOf values(c);
    _values.add(values.array());
    refillIndex();
    return;
  }
  if (c == this) return;
  ValuesOf values(c);
  for (QroInt i = 0, n = values.size(); i < n; ++i) addValue(values[i], 0);
}

void QroIntSetI::clear() {
  checkMutable();
  QroIntArray fresh(QroEnv(_env), 0);
  _values.end();
  _values = fresh;
  if (_index) _index->clear();
}

void QroIntSetI::intersectWith(const QroIntCollectionI* c) {
  checkMutable();
  QroIntArray kept(QroEnv(_env), 0);
  try {
    QroInt n = _values.getSize();
    if (c && c->isIntRange()) {
      for (QroInt i = 0; i < n; ++i)
        if (c->contains(_values[i])) kept.add(_values[i]);
    } else if (c) {
      QroGenAlloc* a = _env->getGeneralAllocator();
      QroIntegerHashTable<QroInt> table(a, 31);
      ValuesOf values(c);
      for (QroInt i = 0, m = values.size(); i < m; ++i) table.add(values[i], i);
      for (QroInt i = 0; i < n; ++i)
        if (table.contains(_values[i])) kept.add(_values[i]);
    }
  } catch (...) {
    kept.end();
    throw;
  }
  _values.end();
  _values = kept;
  refillIndex();
}

QroBool QroIntSetI::intersects(const QroIntCollectionI* c) const {
  if (sizeOf(c) == 0) return 0;
  if (c->isIntRange()) {
    for (QroInt i = 0, n = _values.getSize(); i < n; ++i)
      if (c->contains(_values[i])) return 1;
    return 0;
  }
  ValuesOf values(c);
  for (QroInt i = 0, n = values.size(); i < n; ++i)
    if (contains(values[i])) return 1;
  return 0;
}

QroIntCollectionI* QroIntSetI::difference(const QroIntCollectionI* a,
                                          const QroIntCollectionI* b) const {
  if (!a) throw QroEmptyHandleException();
  bool copyOfA = sizeOf(a) == 0 || sizeOf(b) == 0;
  if (!copyOfA && a->isIntRange() && b->isIntRange()) {
    const QroIntAbstractSetI* ra = static_cast<const QroIntAbstractSetI*>(a);
    const QroIntAbstractSetI* rb = static_cast<const QroIntAbstractSetI*>(b);
    copyOfA = ra->getMax() < rb->getMin() || rb->getMax() < ra->getMin();
  }
  if (copyOfA) return static_cast<QroIntCollectionI*>(a->copy());
  QroEnvI* env = a->getEnv();
  QroIntSetI* result = new (env) QroIntSetI(env, 1);
  try {
    ValuesOf values(a);
    for (QroInt i = 0, n = values.size(); i < n; ++i)
      if (!b->contains(values[i])) result->addValue(values[i], 0);
  } catch (...) {
    delete result;
    throw;
  }
  return result;
}

// ---------------------------------------------------------------------------
// Iterator and handle

QroIntSet::Iterator::Iterator(const QroIntSetI* set) : Iterator(nullptr, set) {}

QroIntSet::Iterator::Iterator(QroGenAlloc* allocator, const QroIntSetI* set)
    : QroIntDefaultDataIterator(allocator) {
  attach(set);
  setBounds(-QroIntCollectionInfinity, QroIntCollectionInfinity);
}

QroIntSet::Iterator::~Iterator() {}

QroIntSet::QroIntSet(const QroEnv& env, QroBool indexed)
    : _impl(new (env.getImpl()) QroIntSetI(env.getImpl(), indexed)) {}

QroIntSet::QroIntSet(const QroEnv& env, const QroIntArray& values, QroBool indexed)
    : _impl(new (env.getImpl()) QroIntSetI(env.getImpl(), values, indexed)) {}
