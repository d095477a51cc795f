#include "qrosaveddomain.h"

#include <cstring>
#include <limits>
#include <vector>

#include "qroenv.h"
#include "qrointset.h"

namespace {
const QroInt kInf = QroIntMax;

template <class Node>
Node** newBuckets(QroGenAlloc* a, QroInt n) {
  Node** b = static_cast<Node**>(a->alloc(static_cast<size_t>(n) * sizeof(Node*)));
  std::memset(static_cast<void*>(b), 0, static_cast<size_t>(n) * sizeof(Node*));
  return b;
}

// Moves every node of a table into a fresh one of 2^log2 buckets, frees the
// old table and returns the new one.
template <class Node, class BucketOf>
Node** rehashed(QroGenAlloc* a, Node** buckets, QroInt bucketCount, QroInt log2,
                BucketOf bucketOf) {
  QroInt count = QroInt(1) << log2;
  Node** fresh = newBuckets<Node>(a, count);
  for (QroInt b = 0; b < bucketCount; ++b) {
    Node* n = buckets[b];
    while (n) {
      Node* next = n->next;
      QroInt i = bucketOf(n->value, log2, count);
      n->next = fresh[i];
      fresh[i] = n;
      n = next;
    }
  }
  if (buckets) a->free(buckets, static_cast<size_t>(bucketCount) * sizeof(Node*));
  return fresh;
}

// Frees every node of a table and the table itself.
template <class Node>
void freeTable(QroGenAlloc* a, Node** buckets, QroInt bucketCount) {
  if (!buckets) return;
  for (QroInt b = 0; b < bucketCount; ++b) {
    Node* n = buckets[b];
    while (n) {
      Node* next = n->next;
      a->free(n, sizeof(Node));
      n = next;
    }
  }
  a->free(buckets, static_cast<size_t>(bucketCount) * sizeof(Node*));
}

// Ascending quicksort with the middle element as pivot; recursion goes to the
// smaller part.
void quickSort(QroIntArray& a, QroInt lo, QroInt hi) {
  while (hi > lo) {
    QroInt pivot = a[lo + (hi - lo) / 2];
    QroInt i = lo, j = hi;
    while (i <= j) {
      while (a[i] < pivot) ++i;
      while (a[j] > pivot) --j;
      if (i <= j) {
        QroInt t = a[i];
        a[i] = a[j];
        a[j] = t;
        ++i;
        --j;
      }
    }
    if (hi - i < j - lo) {
      quickSort(a, i, hi);
      hi = j;
    } else {
      quickSort(a, lo, j);
      lo = i;
    }
  }
}
}  // namespace

QroSavedIntDomainI::~QroSavedIntDomainI() {}

// ---------------------------------------------------------------------------
// Integer hash set

QroHashSavedIntDomainI::QroHashSavedIntDomainI(QroGenAlloc* a)
    : QroSavedIntDomainI(a),
      _bucketCount(0),
      _log2(-1),
      _count(0),
      _buckets(nullptr),
      _min(kInf),
      _max(-kInf),
      _boundsValid(1) {}

QroHashSavedIntDomainI::~QroHashSavedIntDomainI() {
  clear();
}

void QroHashSavedIntDomainI::makeEmpty() {
  _bucketCount = 0;
  _log2 = -1;
  _count = 0;
  _buckets = nullptr;
  _min = kInf;
  _max = -kInf;
  _boundsValid = 1;
}

void QroHashSavedIntDomainI::clear() {
  freeTable(_allocator, _buckets, _bucketCount);
  makeEmpty();
}

void QroHashSavedIntDomainI::rehash(QroInt log2) {
  _buckets = rehashed(_allocator, _buckets, _bucketCount, log2, [](QroInt v, QroInt, QroInt count) {
    return static_cast<QroInt>(static_cast<QroUInt>(v) & static_cast<QroUInt>(count - 1));
  });
  _bucketCount = QroInt(1) << log2;
  _log2 = log2;
}

void QroHashSavedIntDomainI::add(QroInt value) {
  if (!_buckets) {
    _buckets = newBuckets<Node>(_allocator, 1);
    _bucketCount = 1;
    _log2 = 0;
  }
  QroInt i =
      static_cast<QroInt>(static_cast<QroUInt>(value) & static_cast<QroUInt>(_bucketCount - 1));
  for (Node* n = _buckets[i]; n; n = n->next)
    if (n->value == value) return;
  Node* node = static_cast<Node*>(_allocator->alloc(sizeof(Node)));
  node->value = value;
  node->next = _buckets[i];
  _buckets[i] = node;
  ++_count;
  if (_count == 1) {
    _min = _max = value;
    _boundsValid = 1;
  } else if (_boundsValid) {
    if (value > _max) _max = value;
    if (value < _min) _min = value;
  }
  if (_count > _bucketCount) rehash(_log2 + 1);
}

void QroHashSavedIntDomainI::addRange(QroInt a, QroInt b) {
  if (a > b) return;
  for (QroInt v = a;; ++v) {
    add(v);
    if (v == b) break;
  }
}

QroBool QroHashSavedIntDomainI::contains(QroInt value) const {
  if (!_buckets) return 0;
  QroInt i =
      static_cast<QroInt>(static_cast<QroUInt>(value) & static_cast<QroUInt>(_bucketCount - 1));
  for (Node* n = _buckets[i]; n; n = n->next)
    if (n->value == value) return 1;
  return 0;
}

namespace {
class ContainsAll : public QroSavedIntDomainI::VisitorI {
 public:
  explicit ContainsAll(const QroSavedIntDomainI* set) : _set(set), _all(1) {}
  void visit(QroInt value) override {
    if (_all && !_set->contains(value)) _all = 0;
  }
  QroBool all() const { return _all; }

 private:
  const QroSavedIntDomainI* _set;
  QroBool _all;
};

class AddTo : public QroSavedIntDomainI::VisitorI {
 public:
  explicit AddTo(QroSavedIntDomainI* set) : _set(set) {}
  void visit(QroInt value) override { _set->add(value); }

 private:
  QroSavedIntDomainI* _set;
};

class Collect : public QroSavedIntDomainI::VisitorI {
 public:
  explicit Collect(std::vector<QroInt>& values) : _values(values) {}
  void visit(QroInt value) override { _values.push_back(value); }

 private:
  std::vector<QroInt>& _values;
};
}  // namespace

QroBool QroHashSavedIntDomainI::contains(const QroSavedIntDomainI* other) const {
  if (!other) return 1;
  ContainsAll visitor(this);
  other->visitAll(&visitor);
  return visitor.all();
}

QroBool QroHashSavedIntDomainI::isEqual(const QroSavedIntDomainI* other) const {
  if (!other) return _count == 0;
  return contains(other) && other->contains(this);
}

void QroHashSavedIntDomainI::copy(const QroSavedIntDomainI* other) {
  if (!other || other == this) return;
  AddTo visitor(this);
  other->visitAll(&visitor);
}

void QroHashSavedIntDomainI::visitAll(VisitorI* visitor) const {
  for (QroInt b = 0; b < _bucketCount; ++b)
    for (Node* n = _buckets[b]; n; n = n->next) visitor->visit(n->value);
}

void QroHashSavedIntDomainI::getValues(QroIntArray& result) const {
  result = QroIntArray(QroMemoryManager(_allocator), _count);
  QroInt k = 0;
  for (QroInt b = 0; b < _bucketCount; ++b)
    for (Node* n = _buckets[b]; n; n = n->next) result[k++] = n->value;
}

void QroHashSavedIntDomainI::getSortedValues(QroIntArray& result) const {
  getValues(result);
  quickSort(result, 0, _count - 1);
}

void QroHashSavedIntDomainI::makeIntSet(QroIntSetI*& result) const {
  QroEnvI* env = QroMemoryManager(_allocator).getEnv().getImpl();
  QroIntArray values;
  getSortedValues(values);
  try {
    result = new (env) QroIntSetI(env, values, 1);
  } catch (...) {
    values.end();
    throw;
  }
  values.end();
}

QroSavedIntDomainI* QroHashSavedIntDomainI::makeClone(QroGenAlloc* a) const {
  QroHashSavedIntDomainI* clone = new (a) QroHashSavedIntDomainI(a);
  try {
    clone->copy(this);
  } catch (...) {
    delete clone;
    throw;
  }
  return clone;
}

void QroHashSavedIntDomainI::remove(QroInt value) {
  if (!_buckets) return;
  QroInt i =
      static_cast<QroInt>(static_cast<QroUInt>(value) & static_cast<QroUInt>(_bucketCount - 1));
  Node** link = &_buckets[i];
  while (*link && (*link)->value != value) link = &(*link)->next;
  if (!*link) return;
  Node* n = *link;
  *link = n->next;
  _allocator->free(n, sizeof(Node));
  --_count;
  if (_count == 0) {
    clear();
    return;
  }
  if (_boundsValid && (value == _min || value == _max)) _boundsValid = 0;
  // The table never shrinks below one bucket.
  if (_log2 > 0 && _count < _bucketCount / 4) rehash(_log2 - 1);
}

void QroHashSavedIntDomainI::removeRange(QroInt a, QroInt b) {
  if (a > b || _count == 0) return;
  QroUInt width = static_cast<QroUInt>(b) - static_cast<QroUInt>(a);
  if (width < static_cast<QroUInt>(_count)) {
    for (QroInt v = a;; ++v) {
      remove(v);
      if (v == b) break;
    }
    return;
  }
  // Wider than the set: remove the members that fall in [a, b].
  std::vector<QroInt> values;
  Collect visitor(values);
  visitAll(&visitor);
  for (QroInt v : values)
    if (a <= v && v <= b) remove(v);
}

void QroHashSavedIntDomainI::setValues(const QroIntSet& set) {
  clear();
  if (!set.getImpl()) return;
  QroIntSet::Iterator it(set.getImpl());
  for (; it.ok(); ++it) add(*it);
}

void QroHashSavedIntDomainI::recomputeBounds() const {
  _min = kInf;
  _max = -kInf;
  for (QroInt b = 0; b < _bucketCount; ++b) {
    for (Node* n = _buckets[b]; n; n = n->next) {
      if (n->value < _min) _min = n->value;
      if (n->value > _max) _max = n->value;
    }
  }
  _boundsValid = 1;
}

QroInt QroHashSavedIntDomainI::getMin() const {
  if (!_boundsValid) recomputeBounds();
  return _min;
}

QroInt QroHashSavedIntDomainI::getMax() const {
  if (!_boundsValid) recomputeBounds();
  return _max;
}

// ---------------------------------------------------------------------------
// Numeric value set

QroSavedNumDomainI::QroSavedNumDomainI(QroGenAlloc* a)
    : QroMemoryManagerObjectI(a),
      _bucketCount(0),
      _log2(-1),
      _count(0),
      _buckets(nullptr),
      _min(std::numeric_limits<double>::infinity()),
      _max(-std::numeric_limits<double>::infinity()) {}

QroSavedNumDomainI::~QroSavedNumDomainI() {
  release();
}

void QroSavedNumDomainI::release() {
  freeTable(_allocator, _buckets, _bucketCount);
  _buckets = nullptr;
  _bucketCount = 0;
  _log2 = -1;
  _count = 0;
  _min = std::numeric_limits<double>::infinity();
  _max = -std::numeric_limits<double>::infinity();
}

QroInt QroSavedNumDomainI::Hash(QroNum value, QroInt log2, QroInt bucketCount) {
  QroUInt b = 0;
  std::memcpy(&b, &value, sizeof b);
  int z = b == 0 ? 0 : __builtin_ctzll(b);
  QroInt n = (log2 + 1) / 2 - 2;
  QroUInt h = (b >> 42) & 3;
  for (QroInt j = 0; j <= n; ++j) {
    int zj = static_cast<int>(((z - j) % 64 + 64) % 64);
    h = (h << 2) | (((b >> zj) & 1) << 1) | ((b >> (51 - j)) & 1);
  }
  return static_cast<QroInt>(h & static_cast<QroUInt>(bucketCount - 1));
}

namespace {
inline QroNum canonical(QroNum v) {
  return v == 0.0 ? 0.0 : v;
}
inline bool sameValue(QroNum a, QroNum b) {
  return a == b || std::memcmp(&a, &b, sizeof a) == 0;
}
}  // namespace

void QroSavedNumDomainI::rehash(QroInt log2) {
  _buckets = rehashed(_allocator, _buckets, _bucketCount, log2, &Hash);
  _bucketCount = QroInt(1) << log2;
  _log2 = log2;
}

void QroSavedNumDomainI::add(QroNum value) {
  value = canonical(value);
  if (!_buckets) {
    _buckets = newBuckets<Node>(_allocator, 1);
    _bucketCount = 1;
    _log2 = 0;
  }
  QroInt i = Hash(value, _log2, _bucketCount);
  for (Node* n = _buckets[i]; n; n = n->next)
    if (sameValue(n->value, value)) return;
  Node* node = static_cast<Node*>(_allocator->alloc(sizeof(Node)));
  node->value = value;
  node->next = _buckets[i];
  _buckets[i] = node;
  ++_count;
  if (value > _max) _max = value;
  if (value < _min) _min = value;
  if (_count > _bucketCount) rehash(_log2 + 1);
}

QroBool QroSavedNumDomainI::contains(QroNum value) const {
  if (!_buckets) return 0;
  value = canonical(value);
  for (Node* n = _buckets[Hash(value, _log2, _bucketCount)]; n; n = n->next)
    if (sameValue(n->value, value)) return 1;
  return 0;
}
