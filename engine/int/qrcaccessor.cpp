// Accessors of function-defined values, their domains and trailed caches.
// Code that can fail keeps trivially destructible locals.
#include "qrcaccessor.h"

#include "qrcerror.h"
#include "qrcmanager.h"
#include "qrcintutil.h"

namespace {

using qrcint::mn;
using qrcint::mx;

const char* const UndefinedText = "Access Undefined F(x).";

[[noreturn]] void undefined(QrcManagerI* m, const char* accessor) {
  QrcGetErrorReporter(m)->report(QrcInternalError, accessor, UndefinedText);
  QrcFatalError(QrcInternalError, accessor, UndefinedText);
}

// Whether some value of [a, b] is possible in s.
bool possibleIn(QrcIntSetVarI* s, QrcInt a, QrcInt b) {
  a = mx(a, s->getUniverseMin());
  b = mn(b, s->getUniverseMax());
  if (a > b) return false;
  return s->getPossible()->firstMemberInRange(a, b) >= a;
}

// Whether some value of e's domain is possible in s: walks the possible
// values of s within e's bounds.
bool domainMeets(QrcIntExpI* e, QrcIntSetVarI* s) {
  QrcInt a = mx(e->getMin(), s->getUniverseMin());
  QrcInt b = mn(e->getMax(), s->getUniverseMax());
  QrcIntSetI* p = s->getPossible();
  while (a <= b) {
    QrcInt v = p->firstMemberInRange(a, b);
    if (v < a) return false;
    if (e->isInDomain(v)) return true;
    if (v == b) return false;
    a = v + 1;
  }
  return false;
}

}  // namespace

// ---------------------------------------------------------------- function objects

QrcIntToIntFunctionI::QrcIntToIntFunctionI(QrcIntExpI* range)
    : _min(range ? range->getMin() : -QrcInt64Max), _max(range ? range->getMax() : QrcInt64Max) {}

// ---------------------------------------------------------------- domains

void QrcAccessorDomainI::require(QrcInt x) const {
  if (!contains(x)) getManager()->fail();
}

QrcAccessorDomainI* QrcIntSetVarI::makeAccessorDomain() {
  QrcIntCollectionI* c = _possible->getCollection();
  if (c) return new (_manager) QrcIntCollectionAccessorDomainI(c);
  QrcInt lo = _min, hi = _max;
  if (_possible->getSize() > 0) {
    lo = _possible->valueAt(_possible->nextSetPosition(_possible->firstPosition()));
    hi = _possible->valueAt(_possible->previousSetPosition(_possible->lastPosition()));
  }
  return new (_manager) QrcIntRangeAccessorDomainI(_manager, lo, hi);
}

// ---------------------------------------------------------------- cache

QrcInt QrcAccessorCache::slotOf(QrcInt x) const {
  if (x < _least) return -1;
  QrcUInt d = static_cast<QrcUInt>(x) - static_cast<QrcUInt>(_least);
  return d < static_cast<QrcUInt>(MaxSlots) ? static_cast<QrcInt>(d) : -1;
}

void* QrcAccessorCache::get(QrcInt x) const {
  QrcInt s = slotOf(x);
  return s >= 0 && s < _size ? _data[s] : nullptr;
}

void QrcAccessorCache::grow(QrcInt slot) {
  QrcInt size = _size > 0 ? _size : 1;
  while (size <= slot) size *= 2;
  void** data = static_cast<void**>(_manager->allocate(static_cast<size_t>(size) * sizeof(void*)));
  for (QrcInt i = 0; i < size; ++i) data[i] = i < _size ? _data[i] : nullptr;
  _manager->saveValue(&_size);
  _manager->saveValue(&_data);
  _size = size;
  _data = data;
}

void QrcAccessorCache::set(QrcInt x, void* value) {
  QrcInt s = slotOf(x);
  if (s < 0) return;
  if (s >= _size) grow(s);
  _manager->saveValue(&_data[s]);
  _data[s] = value;
}

// ---------------------------------------------------------------- accessor base

QrcAccessorI::QrcAccessorI(QrcAccessorDomainI* domain) : _domain(domain), _cache(nullptr) {
  QrcManagerI* m = domain->getManager();
  m->noteMade(this);
  // A domain of the caller's class is code the accessor runs.
  if (!QrcIsLibraryObject(domain)) m->noteForeignCode();
}

QrcAccessorI::~QrcAccessorI() {
  QrcForgetDestroyed(_domain ? _domain->getManager() : nullptr,
                     reinterpret_cast<QrcWord>(this) | 3);
}

void QrcAccessorI::makeCache() {
  if (_cache) return;
  QrcManagerI* m = getManager();
  QrcAccessorCache* cache = new (m) QrcAccessorCache(m, _domain->getLeast());
  m->saveValue(&_cache);
  _cache = cache;
}

QrcIntExpI* QrcIntAccessorI::getCardinalityAt(QrcInt) {
  return getManager()->getIntOne();
}

// ---------------------------------------------------------------- constant accessor

QrcBool QrcIntConstAccessorI::visitValuesAt(QrcInt x, QrcIntVisitor* visitor, QrcInt) {
  return visitor->visit(makeValue(x));
}

QrcBool QrcIntConstAccessorI::visitDeltaAt(QrcInt, QrcIntVisitor*, QrcInt) {
  return 1;
}

void QrcIntConstAccessorI::requireValueAt(QrcInt x, QrcInt v) {
  if (makeValue(x) != v) getManager()->fail();
}

QrcBool QrcIntConstAccessorI::isCompatible(QrcIntSetVarI* s) {
  return possibleIn(s, _min, _max);
}

QrcBool QrcIntConstAccessorI::isCompatibleAt(QrcInt x, QrcIntSetVarI* s) {
  return s->isPossible(makeValue(x));
}

// ---------------------------------------------------------------- expression accessor

QrcIntExpI* QrcIntExpAccessorI::peek(QrcInt x) {
  if (_cache) {
    void* f = _cache->get(x);
    if (f) return static_cast<QrcIntExpI*>(f);
  }
  if (!_domain->contains(x)) return nullptr;
  QrcIntExpI* f = makeValue(x);
  if (f && _cache) _cache->set(x, f);
  return f;
}

QrcIntExpI* QrcIntExpAccessorI::get(QrcInt x) {
  _domain->require(x);
  QrcIntExpI* f = _cache ? static_cast<QrcIntExpI*>(_cache->get(x)) : nullptr;
  if (!f) {
    f = makeValue(x);
    if (f && _cache) _cache->set(x, f);
  }
  if (!f) undefined(getManager(), "QrcIntExpAccessor");
  return f;
}

QrcIntExpI* QrcIntExpAccessorI::at(QrcInt x) {
  QrcIntExpI* f = peek(x);
  return f ? f : _default;
}

QrcBool QrcIntExpAccessorI::isBound(QrcInt x) {
  QrcIntExpI* f = at(x);
  return f && f->isBound();
}

QrcBool QrcIntExpAccessorI::isInDomainAt(QrcInt v, QrcInt x) {
  QrcIntExpI* f = at(x);
  return f && f->isInDomain(v);
}

QrcBool QrcIntExpAccessorI::isPossibleValue(QrcInt v) {
  return _default && _default->isInDomain(v);
}

void QrcIntExpAccessorI::whenDomainAt(QrcInt x, QrcDemonI* demon) {
  QrcIntExp(get(x)).whenDomain(demon);
}

QrcBool QrcIntExpAccessorI::visitValuesAt(QrcInt x, QrcIntVisitor* visitor, QrcInt kind) {
  QrcIntExpI* f = at(x);
  if (!f || f->getMin() > f->getMax()) return 1;
  if (kind == 0) {
    QrcInt v = f->getMin(), last = f->getMax();
    for (;;) {
      if (!visitor->visit(v)) return 0;
      if (v >= last) return 1;
      v = f->getNextHigher(v);
    }
  }
  if (kind == 1 && f->isBound()) return visitor->visit(f->getMin());
  return 1;
}

QrcBool QrcIntExpAccessorI::visitDeltaAt(QrcInt x, QrcIntVisitor* visitor, QrcInt kind) {
  QrcIntExpI* f = at(x);
  if (!f) return 1;
  if (kind == 0) {
    QrcInt v;
    for (QrcIntVarDeltaIterator it(f); it.next(v);)
      if (!visitor->visit(v)) return 0;
    return 1;
  }
  if (kind == 1 && f->isBound() && (f->getOldMin() < f->getMin() || f->getOldMax() > f->getMax()))
    return visitor->visit(f->getMin());
  return 1;
}

void QrcIntExpAccessorI::requireValueAt(QrcInt x, QrcInt v) {
  get(x)->setValue(v);
}

QrcBool QrcIntExpAccessorI::isCompatible(QrcIntSetVarI* s) {
  return _default && domainMeets(_default, s);
}

QrcBool QrcIntExpAccessorI::isCompatibleAt(QrcInt x, QrcIntSetVarI* s) {
  QrcIntExpI* f = at(x);
  return f && domainMeets(f, s);
}

void QrcIntExpAccessorI::getRange(QrcInt x, QrcInt& min, QrcInt& max) {
  QrcIntExpI* f = at(x);
  min = f ? f->getMin() : QrcIntMin;
  max = f ? f->getMax() : QrcIntMax;
}

QrcInt QrcIntExpAccessorI::getMin(QrcInt x) {
  QrcIntExpI* f = at(x);
  return f ? f->getMin() : QrcIntMin;
}

QrcInt QrcIntExpAccessorI::getMax(QrcInt x) {
  QrcIntExpI* f = at(x);
  return f ? f->getMax() : QrcIntMax;
}

void QrcIntExpAccessorI::getFloatRange(QrcInt x, double& min, double& max) {
  QrcIntExpI* f = at(x);
  min = f ? f->getFloatMin() : -1e30;
  max = f ? f->getFloatMax() : 1e30;
}

double QrcIntExpAccessorI::getFloatMin(QrcInt x) {
  QrcIntExpI* f = at(x);
  return f ? f->getFloatMin() : -1e30;
}

double QrcIntExpAccessorI::getFloatMax(QrcInt x) {
  QrcIntExpI* f = at(x);
  return f ? f->getFloatMax() : 1e30;
}

void QrcIntExpAccessorI::setRange(QrcInt x, QrcInt a, QrcInt b) {
  get(x)->setRange(a, b);
}

void QrcIntExpAccessorI::setMin(QrcInt x, QrcInt v) {
  get(x)->setMin(v);
}

void QrcIntExpAccessorI::setMax(QrcInt x, QrcInt v) {
  get(x)->setMax(v);
}

// ---------------------------------------------------------------- set-variable accessor

QrcIntSetVarI* QrcIntSetVarAccessorI::peek(QrcInt x) {
  if (_cache) {
    void* f = _cache->get(x);
    if (f) return static_cast<QrcIntSetVarI*>(f);
  }
  if (!_domain->contains(x)) return nullptr;
  QrcIntSetVarI* f = makeValue(x);
  if (f && _cache) _cache->set(x, f);
  return f;
}

QrcIntSetVarI* QrcIntSetVarAccessorI::get(QrcInt x) {
  _domain->require(x);
  QrcIntSetVarI* f = _cache ? static_cast<QrcIntSetVarI*>(_cache->get(x)) : nullptr;
  if (!f) {
    f = makeValue(x);
    if (f && _cache) _cache->set(x, f);
  }
  if (!f) undefined(getManager(), "QrcIntSetVarAccessor");
  return f;
}

QrcIntSetVarI* QrcIntSetVarAccessorI::at(QrcInt x) {
  QrcIntSetVarI* f = peek(x);
  return f ? f : _default;
}

QrcBool QrcIntSetVarAccessorI::isBound(QrcInt x) {
  QrcIntSetVarI* f = at(x);
  return f && f->isBound();
}

QrcBool QrcIntSetVarAccessorI::isInDomainAt(QrcInt v, QrcInt x) {
  QrcIntSetVarI* f = at(x);
  return f && f->isPossible(v);
}

QrcBool QrcIntSetVarAccessorI::isPossibleValue(QrcInt v) {
  return _default && _default->isPossible(v);
}

QrcBool QrcIntSetVarAccessorI::hasUniverseDeltaAt(QrcInt x) {
  QrcIntSetVarI* f = at(x);
  return f && f->hasUniverseDelta();
}

QrcBool QrcIntSetVarAccessorI::isExtensibleAt(QrcInt x) {
  QrcIntSetVarI* f = at(x);
  return f && f->isExtensible();
}

QrcBool QrcIntSetVarAccessorI::isExtensible() {
  return _default && _default->isExtensible();
}

QrcInt QrcIntSetVarAccessorI::getCardMinAt(QrcInt x) {
  QrcIntSetVarI* f = at(x);
  return f ? f->getCardinality()->getMin() : 0;
}

QrcInt QrcIntSetVarAccessorI::getCardMin() {
  return _default ? _default->getCardinality()->getMin() : 0;
}

QrcInt QrcIntSetVarAccessorI::getCardMaxAt(QrcInt x) {
  QrcIntSetVarI* f = at(x);
  return f ? f->getCardinality()->getMax() : QrcInt64Max;
}

QrcInt QrcIntSetVarAccessorI::getCardMax() {
  return _default ? _default->getCardinality()->getMax() : QrcInt64Max;
}

QrcIntExpI* QrcIntSetVarAccessorI::getCardinalityAt(QrcInt x) {
  return get(x)->getCardinality();
}

void QrcIntSetVarAccessorI::whenDomainAt(QrcInt x, QrcDemonI* demon) {
  QrcIntSetVar(get(x)).whenDomain(demon);
}

QrcBool QrcIntSetVarAccessorI::visitValuesAt(QrcInt x, QrcIntVisitor* visitor, QrcInt kind) {
  QrcIntSetVarI* f = at(x);
  if (!f || (kind != 0 && kind != 1)) return 1;
  QrcInt v;
  for (QrcIntSetIterator it(kind == 0 ? f->getPossible() : f->getRequired()); it.next(v);)
    if (!visitor->visit(v)) return 0;
  return 1;
}

QrcBool QrcIntSetVarAccessorI::visitDeltaAt(QrcInt x, QrcIntVisitor* visitor, QrcInt kind) {
  QrcIntSetVarI* f = at(x);
  if (!f) return 1;
  if (kind == 0) {
    for (QrcIntDeltaPossibleIterator it(f); it.ok(); ++it)
      if (!visitor->visit(*it)) return 0;
  } else if (kind == 1) {
    for (QrcIntDeltaRequiredIterator it(f); it.ok(); ++it)
      if (!visitor->visit(*it)) return 0;
  }
  return 1;
}

void QrcIntSetVarAccessorI::requireValueAt(QrcInt x, QrcInt v) {
  get(x)->addRequired(v);
}

QrcBool QrcIntSetVarAccessorI::isCompatible(QrcIntSetVarI* s) {
  return _default && _default->canBeSubsetOf(s);
}

QrcBool QrcIntSetVarAccessorI::isCompatibleAt(QrcInt x, QrcIntSetVarI* s) {
  QrcIntSetVarI* f = at(x);
  return f && f->canBeSubsetOf(s);
}

// ---------------------------------------------------------------- copies

namespace {

// The valid x of a domain by position: the elements of a collection, or the
// values of a range from its least.
struct DomainSlots {
  const QrcIntCollectionI* coll = nullptr;
  QrcInt least = 0;
  QrcInt count = 0;

  // False when the domain's kind is unknown or it has too many valid x.
  bool read(const QrcAccessorDomainI* d) {
    if (auto c = dynamic_cast<const QrcIntCollectionAccessorDomainI*>(d)) {
      coll = c->getCollection();
      count = coll->getSize();
    } else if (auto r = dynamic_cast<const QrcIntRangeAccessorDomainI*>(d)) {
      least = r->getLeast();
      if (r->getMax() < least) return true;
      QrcUInt span = static_cast<QrcUInt>(r->getMax()) - static_cast<QrcUInt>(least);
      if (span >= static_cast<QrcUInt>(QrcAccessorCache::MaxSlots)) return false;
      count = static_cast<QrcInt>(span) + 1;
    } else {
      return false;
    }
    return count <= QrcAccessorCache::MaxSlots;
  }
  QrcInt at(QrcInt k) const { return coll ? coll->getElement(k)->value : least + k; }
  // Position of x, -1 when x is not valid.
  QrcInt slotOf(QrcInt x) const {
    if (coll) {
      const QrcIntCollectionI::Element* e = coll->find(x);
      return e ? e->index : -1;
    }
    QrcUInt d = static_cast<QrcUInt>(x) - static_cast<QrcUInt>(least);
    return d < static_cast<QrcUInt>(count) ? static_cast<QrcInt>(d) : -1;
  }
};

template <class T>
T* tableOn(QrcManagerI* m, QrcInt n) {
  return static_cast<T*>(m->allocate(static_cast<size_t>(n > 0 ? n : 1) * sizeof(T)));
}

template <class T>
T* copyOf(T* e, QrcManagerI* target) {
  return e ? static_cast<T*>(e->getCopyForManager(target)) : nullptr;
}

// Copies read f(x) from a table by position (never asked outside the domain).
class TabledIntAccessorI : public QrcIntConstAccessorI {
  QRCLIBRARYCLASS(TabledIntAccessorI)
 public:
  TabledIntAccessorI(QrcAccessorDomainI* d, QrcInt min, QrcInt max, const DomainSlots& slots,
                     QrcInt* values)
      : QrcIntConstAccessorI(d, min, max), _slots(slots), _values(values) {}
  QrcInt makeValue(QrcInt x) override {
    QrcInt k = _slots.slotOf(x);
    return k >= 0 ? _values[k] : 0;
  }

 private:
  DomainSlots _slots;
  QrcInt* _values;
};

class TabledIntExpAccessorI : public QrcIntExpAccessorI {
  QRCLIBRARYCLASS(TabledIntExpAccessorI)
 public:
  TabledIntExpAccessorI(QrcAccessorDomainI* d, QrcIntExpI* defaultExp, const DomainSlots& slots,
                        QrcIntExpI** values)
      : QrcIntExpAccessorI(d, defaultExp), _slots(slots), _values(values) {}
  QrcIntExpI* makeValue(QrcInt x) override {
    QrcInt k = _slots.slotOf(x);
    return k >= 0 ? _values[k] : nullptr;
  }

 private:
  DomainSlots _slots;
  QrcIntExpI** _values;
};

class TabledIntSetVarAccessorI : public QrcIntSetVarAccessorI {
  QRCLIBRARYCLASS(TabledIntSetVarAccessorI)
 public:
  TabledIntSetVarAccessorI(QrcAccessorDomainI* d, QrcIntSetVarI* defaultVar,
                           const DomainSlots& slots, QrcIntSetVarI** values)
      : QrcIntSetVarAccessorI(d, defaultVar), _slots(slots), _values(values) {}
  QrcIntSetVarI* makeValue(QrcInt x) override {
    QrcInt k = _slots.slotOf(x);
    return k >= 0 ? _values[k] : nullptr;
  }

 private:
  DomainSlots _slots;
  QrcIntSetVarI** _values;
};

// The source's and the copy's valid x, position by position; false when the
// accessor stays shared.
bool slotsForCopy(QrcAccessorDomainI* domain, QrcManagerI* target, DomainSlots& from,
                  QrcAccessorDomainI*& copy, DomainSlots& to) {
  if (target == domain->getManager() || !from.read(domain)) return false;
  copy = domain->copyFor(target);
  return to.read(copy) && to.count == from.count;
}

}  // namespace

QrcAccessorDomainI* QrcIntCollectionAccessorDomainI::copyFor(QrcManagerI* target) {
  if (target == getManager()) return this;
  return new (target) QrcIntCollectionAccessorDomainI(_collection->copyFor(target));
}

QrcAccessorDomainI* QrcIntRangeAccessorDomainI::copyFor(QrcManagerI* target) {
  if (target == _manager) return this;
  return new (target) QrcIntRangeAccessorDomainI(target, _min, _max);
}

QrcIntConstAccessorI* QrcIntConstAccessorI::copyFor(QrcManagerI* target) {
  DomainSlots from, to;
  QrcAccessorDomainI* domain = nullptr;
  if (!slotsForCopy(_domain, target, from, domain, to)) return this;
  QrcInt* values = tableOn<QrcInt>(target, from.count);
  for (QrcInt k = 0; k < from.count; ++k) values[k] = makeValue(from.at(k));
  return new (target) TabledIntAccessorI(domain, _min, _max, to, values);
}

QrcIntExpAccessorI* QrcIntExpAccessorI::copyFor(QrcManagerI* target) {
  DomainSlots from, to;
  QrcAccessorDomainI* domain = nullptr;
  if (!slotsForCopy(_domain, target, from, domain, to)) return this;
  QrcIntExpI** values = tableOn<QrcIntExpI*>(target, from.count);
  for (QrcInt k = 0; k < from.count; ++k) values[k] = copyOf(peek(from.at(k)), target);
  return new (target) TabledIntExpAccessorI(domain, copyOf(_default, target), to, values);
}

QrcIntSetVarAccessorI* QrcIntSetVarAccessorI::copyFor(QrcManagerI* target) {
  DomainSlots from, to;
  QrcAccessorDomainI* domain = nullptr;
  if (!slotsForCopy(_domain, target, from, domain, to)) return this;
  QrcIntSetVarI** values = tableOn<QrcIntSetVarI*>(target, from.count);
  for (QrcInt k = 0; k < from.count; ++k) values[k] = copyOf(peek(from.at(k)), target);
  return new (target) TabledIntSetVarAccessorI(domain, copyOf(_default, target), to, values);
}
