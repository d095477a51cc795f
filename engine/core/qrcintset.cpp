#include "qrcintset.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "qrcintholes.h"
#include "qrcsetsupport.h"
#include "qrcexpr.h"
#include "qrcmanager.h"

namespace {

int compareInts(const void* a, const void* b) {
  QrcInt x = *static_cast<const QrcInt*>(a), y = *static_cast<const QrcInt*>(b);
  return x < y ? -1 : x > y ? 1 : 0;
}

// largest - smallest + 1, limited to the engine's integer bound.
QrcInt spanOf(QrcInt smallest, QrcInt largest) {
  if (largest < smallest) return 0;
  QrcUInt d = static_cast<QrcUInt>(largest) - static_cast<QrcUInt>(smallest);
  if (d >= static_cast<QrcUInt>(QrcIntMax)) return QrcIntMax;
  return static_cast<QrcInt>(d) + 1;
}

}  // namespace

// ---------------------------------------------------------------- collection

QrcIntCollectionI::QrcIntCollectionI(QrcManagerI* manager, QrcInt n, const QrcInt* values,
                                     bool sorted)
    : _n(0),
      _elements(nullptr),
      _table(nullptr),
      _wordCount(1),
      _smallest(0),
      _largest(0),
      _manager(manager),
      _copyMemo(nullptr) {
  if (n <= 0) {
    manager->getErrorReporter()->report(QrcNullArraySizeError,
                                        "QrcIntCollectionI::QrcIntCollectionI",
                                        "called with null array size");
    n = 0;
  }
  QrcInt* scratch = manager->lockArrayFromPool(n > 0 ? n : 1);
  if (n > 0) std::memcpy(scratch, values, static_cast<size_t>(n) * sizeof(QrcInt));
  if (!sorted) std::qsort(scratch, static_cast<size_t>(n), sizeof(QrcInt), compareInts);
  _table = new (manager) QrcIntHashTable(manager, n > 0 ? n : 1);
  _elements =
      static_cast<Element*>(manager->allocate(static_cast<size_t>(n + 1) * sizeof(Element)));
  _n = qrcsets::fillElements(_elements, _table, scratch, n);
  manager->unlockArrayFromPool(scratch);
  _elements[_n] = Element{INT64_MAX, 0, 0, 0};
  _wordCount = _n / 64 + 1;
  if (_n > 0) {
    _smallest = _elements[0].value;
    _largest = _elements[_n - 1].value;
  }
}

QrcIntCollectionI* QrcIntCollectionI::copyFor(QrcManagerI* target) {
  if (target == _manager) return this;
  bool opened = QrcOpenCopy(target);
  if (!_copyMemo) {
    QrcInt* values = target->lockArrayFromPool(_n > 0 ? _n : 1);
    for (QrcInt i = 0; i < _n; ++i) values[i] = _elements[i].value;
    QrcIntCollectionI* copy = new (target) QrcIntCollectionI(target, _n, values, true);
    target->unlockArrayFromPool(values);
    QrcRememberCopyMemo(target, &_copyMemo);
    _copyMemo = copy;
  }
  QrcIntCollectionI* result = _copyMemo;
  QrcCloseCopy(target, opened);
  return result;
}

const QrcIntCollectionI::Element* QrcIntCollectionI::find(QrcInt value) const {
  return reinterpret_cast<const Element*>(_table->get(value));
}

QrcInt QrcIntCollectionI::lowerBoundIndex(QrcInt v) const {
  return qrcsets::lowerBoundIndex(_elements, _n, v);
}

QrcIntCollectionI* QrcIntCollectionI::matchOrCreate(QrcInt n, const QrcInt* values) {
  if (n <= 0) {
    _manager->getErrorReporter()->report(QrcNullArraySizeError, "QRCCOLLCLASS::QRCCOLLCLASS",
                                         "called with null array size");
    return this;
  }
  QrcInt* scratch = _manager->lockArrayFromPool(n);
  std::memcpy(scratch, values, static_cast<size_t>(n) * sizeof(QrcInt));
  std::qsort(scratch, static_cast<size_t>(n), sizeof(QrcInt), compareInts);
  QrcInt k = 0;
  bool same = true;
  for (QrcInt i = 0; i < n && same; ++i) {
    if (i > 0 && scratch[i] == scratch[i - 1]) continue;
    if (k >= _n || _elements[k].value != scratch[i]) same = false;
    ++k;
  }
  same = same && k == _n;
  QrcIntCollectionI* result = same ? this : nullptr;
  if (!result) result = new (_manager) QrcIntCollectionI(_manager, n, scratch, true);
  _manager->unlockArrayFromPool(scratch);
  return result;
}

// ---------------------------------------------------------------- sets

void QrcIntSetI::allocateWords(QrcInt count, bool full, bool stamped) {
  _wordCount = count;
  _words = static_cast<QrcWord*>(_manager->allocate(static_cast<size_t>(count) * sizeof(QrcWord)));
  for (QrcInt i = 0; i < count; ++i) _words[i] = full ? ~QrcWord(0) : 0;
  _stamps = nullptr;
  if (stamped) {
    _stamps = static_cast<QrcInt*>(_manager->allocate(static_cast<size_t>(count) * sizeof(QrcInt)));
    for (QrcInt i = 0; i < count; ++i) _stamps[i] = _manager->getStamp();
  }
}

QrcIntSetI::QrcIntSetI(QrcManagerI* manager, QrcInt min, QrcInt max, QrcBool full, QrcBool stamped)
    : _words(nullptr),
      _min(min),
      _max(max),
      _count(manager, 0),
      _coll(nullptr),
      _manager(manager),
      _stamps(nullptr),
      _wordCount(0),
      _holes(nullptr),
      _holesStamp(0) {
  QrcInt span = spanOf(min, max);
  allocateWords(span / 64 + 1, full, stamped);
  _count.setNoSave(full ? span : 0);
}

QrcIntSetI::QrcIntSetI(QrcIntCollectionI* coll, QrcBool full, QrcBool rangeAllowed, QrcBool stamped)
    : _words(nullptr),
      _min(coll->getSmallest()),
      _max(coll->getLargest()),
      _count(coll->getManager(), 0),
      _coll(nullptr),
      _manager(coll->getManager()),
      _stamps(nullptr),
      _wordCount(0),
      _holes(nullptr),
      _holesStamp(0) {
  QrcInt u = spanOf(coll->getSmallest(), coll->getLargest());
  if (!rangeAllowed || u > 128) {
    _coll = coll;
    allocateWords(coll->getWordCount(), full, stamped);
    _count.setNoSave(full ? coll->getSize() : 0);
    return;
  }
  allocateWords(u / 64 + 1, false, stamped);
  if (full) {
    for (QrcInt i = 0; i < coll->getSize(); ++i) {
      QrcInt pos = coll->getElement(i)->value - _min;
      _words[pos >> 6] |= QrcWord(1) << (pos & 63);
    }
    _count.setNoSave(coll->getSize());
  }
}

QrcIntSetI::QrcIntSetI(QrcManagerI* manager, QrcInt min, QrcInt max, QrcInt n, const QrcInt* values,
                       QrcBool stamped)
    : QrcIntSetI(manager, min, max, 0, stamped) {
  QrcInt count = 0;
  for (QrcInt i = 0; i < n; ++i) {
    QrcInt v = values[i];
    if (v < _min || v > _max) continue;
    QrcInt pos = v - _min;
    QrcWord bit = QrcWord(1) << (pos & 63);
    if (_words[pos >> 6] & bit) continue;
    _words[pos >> 6] |= bit;
    ++count;
  }
  _count.setNoSave(count);
}

QrcIntSetI::QrcIntSetI(const QrcIntSetI& source, QrcManagerI* target)
    : _words(nullptr),
      _min(source._min),
      _max(source._max),
      _count(target, source.getSize()),
      _coll(source._coll ? source._coll->copyFor(target) : nullptr),
      _manager(target),
      _stamps(nullptr),
      _wordCount(0),
      _holes(nullptr),
      _holesStamp(target->getStamp()) {
  if (source.isHoleForm()) {
    _holes = qrcholes::copy(target, source._holes);
    return;
  }
  allocateWords(source._wordCount, false, source._stamps != nullptr);
  std::memcpy(_words, source._words, static_cast<size_t>(_wordCount) * sizeof(QrcWord));
}

QrcIntSetI::QrcIntSetI(QrcManagerI* manager, QrcInt min, QrcInt max, HoleForm)
    : _words(nullptr),
      _min(min),
      _max(max),
      _count(manager,
             static_cast<QrcInt>(static_cast<QrcUInt>(max) - static_cast<QrcUInt>(min)) + 1),
      _coll(nullptr),
      _manager(manager),
      _stamps(nullptr),
      _wordCount(0),
      _holes(nullptr),
      _holesStamp(manager->getStamp()) {}

QrcIntSetI* QrcIntSetI::makeDomain(QrcManagerI* manager, QrcInt min, QrcInt max) {
  if (spanOf(min, max) > HoleFormSpan)
    return new (manager) QrcIntSetI(manager, min, max, HoleForm());
  return new (manager) QrcIntSetI(manager, min, max, 1, 1);
}

void QrcIntSetI::setHoles(QrcIntHole* root) {
  if (_holesStamp != _manager->getStamp()) {
    _manager->saveValue(&_holes);
    _manager->saveValue(&_holesStamp);
    _holesStamp = _manager->getStamp();
  }
  _holes = root;
}

QrcInt QrcIntSetI::firstMemberFrom(QrcInt v) const {
  if (v < _min) v = _min;
  if (v > _max) return _max + 1;
  QrcInt w = qrcholes::memberFrom(_holes, v);
  return w > _max ? _max + 1 : w;
}

QrcInt QrcIntSetI::lastMemberUpTo(QrcInt v) const {
  if (v > _max) v = _max;
  if (v < _min) return _min - 1;
  QrcInt w = qrcholes::memberUpTo(_holes, v);
  return w < _min ? _min - 1 : w;
}

QrcInt QrcIntSetI::countIn(QrcInt a, QrcInt b) const {
  if (a < _min) a = _min;
  if (b > _max) b = _max;
  if (a > b) return 0;
  if (isHoleForm()) return b - a + 1 - qrcholes::removedIn(_holes, a, b);
  return countInPositions(ceilPosition(a), floorPosition(b));
}

QrcIntSetI* QrcIntSetI::copy(QrcManagerI* target) const {
  return new (target) QrcIntSetI(*this, target);
}

QrcInt QrcIntSetI::positionOf(QrcInt v) const {
  if (_coll) {
    const QrcIntCollectionI::Element* e = _coll->find(v);
    return e ? e->index + 1 : -1;
  }
  if (v < _min || v > _max) return -1;
  return v - _min;
}

void QrcIntSetI::saveWord(QrcInt w) {
  qrcsets::saveWord(_manager, _words, _stamps, w);
}

bool QrcIntSetI::contains(QrcInt v) const {
  if (__builtin_expect(!_words, 0)) return v >= _min && v <= _max && !qrcholes::find(_holes, v);
  QrcInt pos = positionOf(v);
  return pos >= 0 && testPosition(pos);
}

bool QrcIntSetI::isMember(QrcInt v) const {
  if (!_coll && (v < _min || v > _max)) return true;
  return contains(v);
}

bool QrcIntSetI::remove(QrcInt v) {
  if (__builtin_expect(!_words, 0)) {
    if (!contains(v)) return false;
    setHoles(qrcholes::insert(_manager, _holes, v, v));
    _count.set(_manager, _count.getValue() - 1);
    return true;
  }
  QrcInt pos = positionOf(v);
  if (pos < 0 || !testPosition(pos)) return false;
  saveWord(pos >> 6);
  _words[pos >> 6] &= ~(QrcWord(1) << (pos & 63));
  _count.set(_manager, _count.getValue() - 1);
  return true;
}

bool QrcIntSetI::add(QrcInt v) {
  if (!_words) {
    if (v < _min || v > _max || contains(v)) return false;
    setHoles(qrcholes::erase(_manager, _holes, v));
    _count.set(_manager, _count.getValue() + 1);
    return true;
  }
  QrcInt pos = positionOf(v);
  if (pos < 0 || testPosition(pos)) return false;
  saveWord(pos >> 6);
  _words[pos >> 6] |= QrcWord(1) << (pos & 63);
  _count.set(_manager, _count.getValue() + 1);
  return true;
}

QrcInt QrcIntSetI::nextSetPosition(QrcInt from) const {
  if (!_words) {
    if (from < 0) from = 0;
    if (from > _max - _min) return -1;
    QrcInt v = firstMemberFrom(_min + from);
    return v > _max ? -1 : v - _min;
  }
  return nextBit(from);
}

QrcInt QrcIntSetI::nextBit(QrcInt from) const {
  QrcInt last = lastPosition();
  if (from < firstPosition()) from = firstPosition();
  if (from > last) return -1;
  QrcInt w = from >> 6;
  QrcWord bits = _words[w] & (~QrcWord(0) << (from & 63));
  for (;;) {
    if (bits) {
      QrcInt pos = (w << 6) + __builtin_ctzll(bits);
      return pos <= last ? pos : -1;
    }
    if (++w > (last >> 6)) return -1;
    bits = _words[w];
  }
}

QrcInt QrcIntSetI::nextClearPosition(QrcInt from) const {
  QrcInt last = lastPosition();
  if (from < firstPosition()) from = firstPosition();
  if (from > last) return last + 1;
  if (!_words) {
    QrcInt v = _min + from;
    if (qrcholes::find(_holes, v)) return from;
    const QrcIntHole* h = qrcholes::firstAbove(_holes, v);
    return h && h->lo <= _max ? h->lo - _min : last + 1;
  }
  QrcInt w = from >> 6;
  QrcWord bits = ~_words[w] & (~QrcWord(0) << (from & 63));
  for (;;) {
    if (bits) {
      QrcInt pos = (w << 6) + __builtin_ctzll(bits);
      return pos <= last ? pos : last + 1;
    }
    if (++w > (last >> 6)) return last + 1;
    bits = ~_words[w];
  }
}

QrcInt QrcIntSetI::previousSetPosition(QrcInt from) const {
  if (!_words) {
    if (from > _max - _min) from = _max - _min;
    if (from < 0) return -1;
    QrcInt v = lastMemberUpTo(_min + from);
    return v < _min ? -1 : v - _min;
  }
  return previousBit(from);
}

QrcInt QrcIntSetI::previousBit(QrcInt from) const {
  QrcInt first = firstPosition();
  if (from > lastPosition()) from = lastPosition();
  if (from < first) return -1;
  QrcInt w = from >> 6;
  int shift = 63 - static_cast<int>(from & 63);
  QrcWord bits = (_words[w] << shift) >> shift;
  for (;;) {
    if (bits) {
      QrcInt pos = (w << 6) + 63 - __builtin_clzll(bits);
      return pos >= first ? pos : -1;
    }
    if (--w < 0) return -1;
    bits = _words[w];
  }
}

QrcInt QrcIntSetI::ceilPosition(QrcInt v) const {
  if (_coll) return _coll->lowerBoundIndex(v) + 1;
  if (v < _min) return 0;
  if (v > _max) return lastPosition() + 1;
  return v - _min;
}

QrcInt QrcIntSetI::floorPosition(QrcInt v) const {
  if (_coll) {
    if (v == INT64_MAX) return _coll->getSize();
    return _coll->lowerBoundIndex(v + 1);  // elements below v + 1, as a position
  }
  if (v > _max) return lastPosition();
  if (v < _min) return -1;
  return v - _min;
}

namespace {

// Set bits of a word, counted in place (no library call).
inline QrcInt bitsIn(QrcWord x) {
  x = x - ((x >> 1) & 0x5555555555555555ull);
  x = (x & 0x3333333333333333ull) + ((x >> 2) & 0x3333333333333333ull);
  x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0full;
  return static_cast<QrcInt>((x * 0x0101010101010101ull) >> 56);
}

}  // namespace

// A bit set's members in positions [from, to], a word at a time.
inline QrcInt QrcIntSetI::countInPositions(QrcInt from, QrcInt to) const {
  if (from < firstPosition()) from = firstPosition();
  if (to > lastPosition()) to = lastPosition();
  if (from > to) return 0;
  QrcWord low = ~QrcWord(0) << (from & 63);
  QrcWord high = ~QrcWord(0) >> (63 - (to & 63));
  if ((from >> 6) == (to >> 6)) return bitsIn(_words[from >> 6] & low & high);
  return countInWords(from >> 6, to >> 6, low, high);
}

QrcInt QrcIntSetI::countInWords(QrcInt wf, QrcInt wt, QrcWord low, QrcWord high) const {
  QrcInt n = bitsIn(_words[wf] & low);
  for (QrcInt w = wf + 1; w < wt; ++w) n += bitsIn(_words[w]);
  return n + bitsIn(_words[wt] & high);
}

void QrcIntSetI::removeRange(QrcInt a, QrcInt b) {
  if (!_words) {
    if (a < _min) a = _min;
    if (b > _max) b = _max;
    QrcInt k = countIn(a, b);
    if (k == 0) return;
    setHoles(qrcholes::insert(_manager, _holes, a, b));
    _count.set(_manager, _count.getValue() - k);
    return;
  }
  if (a > b) return;
  QrcInt from = ceilPosition(a), to = floorPosition(b);
  if (from < firstPosition()) from = firstPosition();
  if (to > lastPosition()) to = lastPosition();
  QrcInt k = 0;
  for (QrcInt w = from >> 6; from <= to && w <= to >> 6; ++w) {
    QrcWord mask = ~QrcWord(0);
    if (w == from >> 6) mask &= ~QrcWord(0) << (from & 63);
    if (w == to >> 6) mask &= ~QrcWord(0) >> (63 - (to & 63));
    QrcWord hit = _words[w] & mask;
    if (!hit) continue;
    saveWord(w);
    _words[w] &= ~hit;
    k += bitsIn(hit);
  }
  if (k) _count.set(_manager, _count.getValue() - k);
}

bool QrcIntSetI::intersectsRange(QrcInt a, QrcInt b) const {
  if (a > b) return false;
  if (!_words) return firstMemberFrom(a) <= (b < _max ? b : _max);
  QrcInt p = nextBit(ceilPosition(a));
  return p >= 0 && p <= floorPosition(b);
}

QrcInt QrcIntSetI::firstMemberInRange(QrcInt a, QrcInt b) const {
  if (a > b) return a - 1;
  if (!_words) {
    QrcInt v = firstMemberFrom(a);
    return v <= b && v <= _max ? v : a - 1;
  }
  QrcInt p = nextBit(ceilPosition(a));
  if (p < 0 || p > floorPosition(b)) return a - 1;
  return valueAt(p);
}

QrcInt QrcIntSetI::raiseMin(QrcInt oldMin, QrcInt newMin) {
  if (__builtin_expect(!_words, 0)) {
    QrcInt k = countIn(oldMin, newMin - 1);
    if (k) _count.set(_manager, _count.getValue() - k);
    return firstMemberFrom(newMin);
  }
  if (!_coll && newMin == oldMin + 1 && oldMin >= _min && newMin <= _max) {
    // One value off the bottom, the common step.
    QrcInt pos = oldMin - _min;
    if (testPosition(pos)) _count.set(_manager, _count.getValue() - 1);
    QrcInt p = nextBit(pos + 1);
    return p < 0 ? _max + 1 : _min + p;
  }
  if (!_coll && newMin > oldMin && oldMin >= _min && newMin <= _max) {
    QrcInt from = oldMin - _min, to = newMin - _min;
    QrcInt w = from >> 6;
    if (w == to >> 6) {
      // Both ends in one word, as in any small domain: one read of it.
      QrcWord word = _words[w];
      QrcWord kept = ~QrcWord(0) << (to & 63);
      QrcWord lost = word & (~QrcWord(0) << (from & 63)) & ~kept;
      if (lost) _count.set(_manager, _count.getValue() - bitsIn(lost));
      QrcInt p = (word & kept) ? (w << 6) + __builtin_ctzll(word & kept) : nextBit(to);
      return p < 0 || p > _max - _min ? _max + 1 : _min + p;
    }
  }
  if (newMin > oldMin) {
    QrcInt k = countInPositions(ceilPosition(oldMin), floorPosition(newMin - 1));
    if (k) _count.set(_manager, _count.getValue() - k);
  }
  QrcInt p = nextBit(ceilPosition(newMin));
  return p < 0 ? _max + 1 : valueAt(p);
}

QrcInt QrcIntSetI::lowerMax(QrcInt oldMax, QrcInt newMax) {
  if (__builtin_expect(!_words, 0)) {
    QrcInt k = countIn(newMax + 1, oldMax);
    if (k) _count.set(_manager, _count.getValue() - k);
    return lastMemberUpTo(newMax);
  }
  if (!_coll && newMax == oldMax - 1 && oldMax <= _max && newMax >= _min) {
    // One value off the top, the common step.
    QrcInt pos = oldMax - _min;
    if (testPosition(pos)) _count.set(_manager, _count.getValue() - 1);
    QrcInt p = previousBit(pos - 1);
    return p < 0 ? _min - 1 : _min + p;
  }
  if (!_coll && newMax < oldMax && oldMax <= _max && newMax >= _min) {
    QrcInt from = newMax - _min, to = oldMax - _min;
    QrcInt w = from >> 6;
    if (w == to >> 6) {
      // Both ends in one word, as in any small domain: one read of it.
      QrcWord word = _words[w];
      QrcWord kept = ~QrcWord(0) >> (63 - (from & 63));
      QrcWord lost = word & (~QrcWord(0) >> (63 - (to & 63))) & ~kept;
      if (lost) _count.set(_manager, _count.getValue() - bitsIn(lost));
      QrcInt p = (word & kept) ? (w << 6) + 63 - __builtin_clzll(word & kept) : previousBit(from);
      return p < 0 ? _min - 1 : _min + p;
    }
  }
  if (newMax < oldMax) {
    QrcInt k = countInPositions(ceilPosition(newMax + 1), floorPosition(oldMax));
    if (k) _count.set(_manager, _count.getValue() - k);
  }
  QrcInt p = previousBit(floorPosition(newMax));
  return p < 0 ? _min - 1 : valueAt(p);
}

QrcInt QrcIntSetI::nextHigherAcross(QrcInt v) const {
  if (v >= _max) return v;
  if (__builtin_expect(!_words, 0)) {
    QrcInt w = firstMemberFrom(v + 1);
    return w > _max ? v : w;
  }
  QrcInt p = nextBit(ceilPosition(v + 1));
  return p < 0 ? v : valueAt(p);
}

bool QrcIntSetI::firstRunAcross(QrcInt from, QrcInt to, QrcInt& lo, QrcInt& hi) const {
  QrcInt p = nextBit(from);
  if (p < 0 || p > to) return false;
  QrcInt end = nextClearPosition(p) - 1;
  lo = _min + p;
  hi = _min + (end < to ? end : to);
  return true;
}

QrcInt QrcIntSetI::getNextLower(QrcInt v) const {
  if (v <= _min) return v;
  if (__builtin_expect(!_words, 0)) {
    QrcInt w = lastMemberUpTo(v - 1);
    return w < _min ? v : w;
  }
  QrcInt p = previousBit(floorPosition(v - 1));
  return p < 0 ? v : valueAt(p);
}

QrcInt QrcIntSetI::getRunEnd(QrcInt v) const {
  if (!_words) {
    if (!contains(v)) return v;
    const QrcIntHole* h = qrcholes::firstAbove(_holes, v);
    return h && h->lo <= _max ? h->lo - 1 : _max;
  }
  QrcInt pos = positionOf(v);
  if (pos < 0) return v;
  QrcInt end = nextClearPosition(pos) - 1;
  if (!_coll) return valueAt(end);
  // Elements hold increasing values: a run of consecutive values keeps
  // value - index constant, so its last element is found by bisection.
  QrcInt first = pos - 1, lo = first, hi = end - 1;
  QrcInt key = v - first;
  while (lo < hi) {
    QrcInt mid = lo + (hi - lo + 1) / 2;
    if (_coll->getElement(mid)->value - mid == key)
      lo = mid;
    else
      hi = mid - 1;
  }
  return _coll->getElement(lo)->value;
}

bool QrcIntSetI::nextInUniverse(QrcInt& v) const {
  if (!_coll) {
    if (v >= _max) return false;
    ++v;
    return true;
  }
  QrcInt i = _coll->lowerBoundIndex(v);
  if (i < _coll->getSize() && _coll->getElement(i)->value == v) ++i;
  if (i >= _coll->getSize()) return false;
  v = _coll->getElement(i)->value;
  return true;
}

bool QrcIntSetI::previousInUniverse(QrcInt& v) const {
  if (!_coll) {
    if (v <= _min) return false;
    --v;
    return true;
  }
  QrcInt i = _coll->lowerBoundIndex(v) - 1;
  if (i < 0) return false;
  v = _coll->getElement(i)->value;
  return true;
}

// ---------------------------------------------------------------- iterator

QrcIntSetIterator::QrcIntSetIterator(const QrcIntSetI* set)
    : _set(set), _pos(set ? set->nextSetPosition(set->firstPosition()) : -1) {}

bool QrcIntSetIterator::next(QrcInt& value) {
  if (_pos < 0) return false;
  value = _set->valueAt(_pos);
  advance();
  return true;
}

void QrcIntSetIterator::advance() {
  if (_pos >= 0) _pos = _set->nextSetPosition(_pos + 1);
}

// ---------------------------------------------------------------- ordered set

void QrcIntOrderedSetI::init(QrcInt buckets, QrcInt capacity) {
  _dense = nullptr;
  _count = 0;
  _smallest = INT64_MAX;
  _largest = -INT64_MAX;
  _mask = buckets - 1;
  _buckets = static_cast<Cell**>(_manager->allocate(static_cast<size_t>(buckets) * sizeof(Cell*)));
  for (QrcInt i = 0; i < buckets; ++i) _buckets[i] = nullptr;
  _capacity = capacity;
  _values =
      static_cast<QrcInt*>(_manager->allocate(static_cast<size_t>(capacity) * sizeof(QrcInt)));
  _denseSmallest = 0;
  _denseLargest = -1;
}

QrcIntOrderedSetI::QrcIntOrderedSetI(QrcManagerI* manager, QrcInt n, const QrcInt* values,
                                     bool reportDuplicates)
    : _manager(manager) {
  QrcInt buckets = 2;
  while (buckets < n) buckets *= 2;
  init(buckets, buckets);
  for (QrcInt i = 0; i < n; ++i) {
    if (!add(values[i]) && reportDuplicates)
      manager->getErrorReporter()->report(QrcRepeatedElementError, "QrcIntOrderedSetI",
                                          "repeated element in array", values[i]);
  }
  compact(2);
}

QrcIntOrderedSetI::QrcIntOrderedSetI(QrcManagerI* manager, const QrcIntSetI* set)
    : _manager(manager) {
  init(8, 8);
  QrcIntSetIterator it(set);
  QrcInt v;
  while (it.next(v)) add(v);
  compact(2);
}

QrcInt QrcIntOrderedSetI::findIndex(QrcInt v) const {
  if (_dense && v >= _denseSmallest && v <= _denseLargest) return _dense[v - _denseSmallest];
  for (Cell* c = _buckets[v & _mask]; c; c = c->next)
    if (_values[c->index] == v) return c->index;
  return -1;
}

bool QrcIntOrderedSetI::contains(QrcInt v) const {
  return findIndex(v) >= 0;
}

QrcInt QrcIntOrderedSetI::getIndex(QrcInt v) const {
  return findIndex(v);
}

void QrcIntOrderedSetI::grow() {
  QrcInt capacity = 2 * _capacity + 2;
  QrcInt* values =
      static_cast<QrcInt*>(_manager->allocate(static_cast<size_t>(capacity) * sizeof(QrcInt)));
  std::memcpy(values, _values, static_cast<size_t>(_count) * sizeof(QrcInt));
  QrcInt mask = capacity - 1;
  Cell** buckets =
      static_cast<Cell**>(_manager->allocate(static_cast<size_t>(capacity) * sizeof(Cell*)));
  for (QrcInt i = 0; i < capacity; ++i) buckets[i] = nullptr;
  for (QrcInt b = 0; b <= _mask; ++b) {
    Cell* c = _buckets[b];
    while (c) {
      Cell* next = c->next;
      Cell*& head = buckets[values[c->index] & mask];
      c->next = head;
      head = c;
      c = next;
    }
  }
  _values = values;
  _capacity = capacity;
  _buckets = buckets;
  _mask = mask;
}

bool QrcIntOrderedSetI::add(QrcInt v) {
  if (contains(v)) return false;
  if (v < _smallest) _smallest = v;
  if (v > _largest) _largest = v;
  if (_count == _capacity) grow();
  QrcInt index = _count++;
  _values[index] = v;
  Cell*& head = _buckets[v & _mask];
  head = new (_manager) Cell{index, head};
  if (_dense && v >= _denseSmallest && v <= _denseLargest) _dense[v - _denseSmallest] = index;
  return true;
}

QrcIntOrderedSetI* QrcIntOrderedSetI::copyFor(QrcManagerI* target) {
  if (target == _manager) return this;
  return new (target) QrcIntOrderedSetI(target, _count, _values, false);
}

void QrcIntOrderedSetI::compact(QrcInt factor) {
  if (_dense || _count == 0) return;
  QrcInt r = spanOf(_smallest, _largest);
  if (r > 4 * _count * factor) return;
  _dense = static_cast<QrcInt*>(_manager->allocate(static_cast<size_t>(r) * sizeof(QrcInt)));
  for (QrcInt i = 0; i < r; ++i) _dense[i] = -1;
  for (QrcInt i = 0; i < _count; ++i) _dense[_values[i] - _smallest] = i;
  _denseSmallest = _smallest;
  _denseLargest = _smallest + r - 1;
}

// ---------------------------------------------------------------- constant arrays

QrcConstArrayI::QrcConstArrayI(QrcManagerI* manager, QrcInt n, const QrcInt* values)
    : _size(n), _values(nullptr), _manager(manager), _index(nullptr) {
  if (n < 0) {
    manager->getErrorReporter()->report(QrcBadArraySizeError, "QRCCONSTARRAYCLASS",
                                        "bad array size", n);
    _size = 0;
  }
  _values = static_cast<QrcInt*>(manager->allocate(static_cast<size_t>(_size) * sizeof(QrcInt)));
  if (_size) std::memcpy(_values, values, static_cast<size_t>(_size) * sizeof(QrcInt));
}

QrcIntArrayIndexI* QrcConstArrayI::getValueIndex() {
  if (!_index) {
    _manager->saveValue(&_index);
    _index = new (_manager) QrcIntArrayIndexI(_manager, _size, _values);
  }
  return _index;
}

QrcIntArrayIndexI::QrcIntArrayIndexI(QrcManagerI* manager, QrcInt n, const QrcInt* values)
    : _size(n), _values(values), _distinct(0) {
  size_t bytes = static_cast<size_t>(n > 0 ? n : 1) * sizeof(QrcInt);
  _positions = static_cast<QrcInt*>(manager->allocate(bytes));
  _sortedValues = static_cast<QrcInt*>(manager->allocate(bytes));
  _first = static_cast<QrcInt*>(manager->allocate(bytes));
  _last = static_cast<QrcInt*>(manager->allocate(bytes));
  for (QrcInt i = 0; i < n; ++i) _positions[i] = i;
  std::stable_sort(_positions, _positions + n,
                   [values](QrcInt a, QrcInt b) { return values[a] < values[b]; });
  for (QrcInt i = 0; i < n; ++i) {
    if (i == 0 || values[_positions[i]] != values[_positions[i - 1]]) {
      _sortedValues[_distinct] = values[_positions[i]];
      _first[_distinct] = i;
      ++_distinct;
    }
    _last[_distinct - 1] = i;
  }
  _valueSet = new (manager) QrcIntOrderedSetI(manager, _distinct, _sortedValues, false);
}

bool QrcIntArrayIndexI::positionsOf(QrcInt value, QrcInt& begin, QrcInt& end) const {
  if (!_valueSet->contains(value)) return false;
  QrcInt k = _valueSet->getIndex(value);
  begin = _first[k];
  end = _last[k] + 1;
  return true;
}
