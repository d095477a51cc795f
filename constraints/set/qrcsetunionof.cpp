// A set variable U as the union of F(x) over the elements x of a set variable
// S, for a constant, expression or set-variable F, with two watched supports
// per value of U. Code that can fail keeps trivially destructible locals only.
#include <ostream>

#include "qrchash.h"
#include "qrcintsetcst.h"
#include "qrcoperands.h"
#include "qrcsetframe.h"
#include "qrcsetfunctions.h"

using namespace qrcset;

namespace {

// An empty slot, or a value without a second support.
const QrcInt None = QrcInt64Max;
// Widest span of U that the creation functions accept.
const QrcInt MaxSpan = 100000000;

}  // namespace

// ---------------------------------------------------------------- support table

// Two support words per value possible in U when the table is made: a dense
// table over U's possible range when the values fill at least half of it,
// else an open-addressing hash table keyed by value.
class QrcUnionSupportsI {
 public:
  QrcUnionSupportsI(QrcManagerI* m, QrcIntSetVarI* u);
  // The two words of v, null when v has none.
  QrcInt* find(QrcInt v) const {
    if (!_keys) {
      QrcUInt d = static_cast<QrcUInt>(v) - static_cast<QrcUInt>(_base);
      return d < static_cast<QrcUInt>(_slots) ? _pairs + 2 * d : nullptr;
    }
    for (QrcUInt i = slotOf(v);; i = (i + 1) & static_cast<QrcUInt>(_slots - 1)) {
      if (!((_used[i >> 6] >> (i & 63)) & 1)) return nullptr;
      if (_keys[i] == v) return _pairs + 2 * i;
    }
  }

 private:
  QrcUInt slotOf(QrcInt v) const {
    return (static_cast<QrcUInt>(v) * 0x9E3779B97F4A7C15ULL) >> _shift;
  }

  QrcInt _base;
  QrcInt _slots;
  QrcInt _shift;
  QrcInt* _keys;
  QrcWord* _used;
  QrcInt* _pairs;
};

QrcUnionSupportsI::QrcUnionSupportsI(QrcManagerI* m, QrcIntSetVarI* u)
    : _base(0), _slots(0), _shift(63), _keys(nullptr), _used(nullptr), _pairs(nullptr) {
  QrcInt n = possibleSize(u), lo = 0, hi = -1;
  possibleBounds(u, lo, hi);
  QrcUInt span = static_cast<QrcUInt>(hi) - static_cast<QrcUInt>(lo) + 1;
  if (n == 0 || (span != 0 && span <= 2 * static_cast<QrcUInt>(n))) {
    _base = lo;
    _slots = n == 0 ? 0 : static_cast<QrcInt>(span);
  } else {
    _slots = 2;
    _shift = 63;
    while (_slots < 2 * n) {
      _slots *= 2;
      --_shift;
    }
    _keys = static_cast<QrcInt*>(m->allocate(static_cast<size_t>(_slots) * sizeof(QrcInt)));
    size_t words = static_cast<size_t>((_slots + 63) / 64);
    _used = static_cast<QrcWord*>(m->allocate(words * sizeof(QrcWord)));
    for (size_t w = 0; w < words; ++w) _used[w] = 0;
  }
  _pairs = static_cast<QrcInt*>(
      m->allocate(static_cast<size_t>(_slots > 0 ? 2 * _slots : 2) * sizeof(QrcInt)));
  for (QrcInt i = 0; i < 2 * _slots; ++i) _pairs[i] = None;
  if (!_keys) return;
  QrcInt* keys = _keys;
  QrcWord* used = _used;
  QrcUInt mask = static_cast<QrcUInt>(_slots - 1);
  forEach(u->getPossible(), [this, keys, used, mask](QrcInt v) {
    QrcUInt i = slotOf(v);
    while ((used[i >> 6] >> (i & 63)) & 1) i = (i + 1) & mask;
    used[i >> 6] |= QrcWord(1) << (i & 63);
    keys[i] = v;
    return true;
  });
}

// ---------------------------------------------------------------- visitors and demons

// Re-supports each value of F(x) that is possible in U after x lost it. The
// values of F(x) come in increasing order: a walk that does not move forward
// (a value seen twice) stops.
class QrcUnionOverSetIndexPossibleVisitor : public QrcIntVisitor {
 public:
  explicit QrcUnionOverSetIndexPossibleVisitor(QrcUnionOverSetCtI* ct, bool ordered = true)
      : _ct(ct), _x(0), _last(0), _started(0), _ordered(ordered) {}
  void start(QrcInt x) {
    _x = x;
    _started = 0;
  }
  QrcBool visit(QrcInt v) override {
    if (_ordered && _started && v <= _last) return 0;
    _started = 1;
    _last = v;
    if (_ct->getUnion()->isPossible(v)) _ct->lostValue(_x, v);
    return 1;
  }

 private:
  QrcUnionOverSetCtI* _ct;
  QrcInt _x;
  QrcInt _last;
  QrcInt _started;
  bool _ordered;
};

// The same visit over the values F(x) lost in this step, in any order.
class QrcUnionOverSetDeltaFiVisitor : public QrcUnionOverSetIndexPossibleVisitor {
 public:
  explicit QrcUnionOverSetDeltaFiVisitor(QrcUnionOverSetCtI* ct)
      : QrcUnionOverSetIndexPossibleVisitor(ct, false) {}
};

namespace {

// Fills the free support slots of the values of F(x) possible in U with x.
class SupportFiller : public QrcIntVisitor {
 public:
  SupportFiller(QrcIntSetVarI* u, QrcUnionSupportsI* table) : _u(u), _table(table), _x(0) {}
  void start(QrcInt x) {
    _x = x;
    _started = 0;
  }
  QrcBool visit(QrcInt v) override {
    if (_started && v <= _last) return 0;
    _started = 1;
    _last = v;
    QrcInt* p = _u->isPossible(v) ? _table->find(v) : nullptr;
    if (!p) return 1;
    if (p[0] == None)
      p[0] = _x;
    else if (p[1] == None && p[0] != _x)
      p[1] = _x;
    return 1;
  }

 private:
  QrcIntSetVarI* _u;
  QrcUnionSupportsI* _table;
  QrcInt _x;
  QrcInt _last = 0;
  QrcInt _started = 0;
};

QRC_SET_DEMON(QrcUnionOverSetUnionDomainI, "QrcUnionOverSetUnionDomain", QrcUnionOverSetCtI,
              propagateUnionDomain)
QRC_SET_DEMON(QrcUnionOverSetUnionCardRangeI, "QrcUnionOverSetUnionCardRange", QrcUnionOverSetCtI,
              propagateUnionCard)
QRC_SET_DEMON(QrcUnionOverSetIndexDomainI, "QrcUnionOverSetIndexDomain", QrcUnionOverSetCtI,
              propagateIndexDomain)
QRC_SET_DEMON(QrcUnionOverSetIndexCardRangeI, "QrcUnionOverSetIndexCardRange", QrcUnionOverSetCtI,
              propagateIndexCard)
QRC_SET_INDEX_DEMON(QrcUnionOverSetFiDomainI, "QrcUnionOverSetFiDomain", QrcUnionOverSetCtI,
                    propagateFiDomain)
QRC_SET_INDEX_DEMON(QrcUnionOverSetFiCardI, "QrcUnionOverSetFiCard", QrcUnionOverSetCtI,
                    propagateFiCard)

// Hooks each newly defined index that is possible in S.
class QrcUnionOverSetFiDefinedDemonVisitor : public QrcIntVisitor {
 public:
  explicit QrcUnionOverSetFiDefinedDemonVisitor(QrcUnionOverSetCtI* ct) : _ct(ct) {}
  QrcBool visit(QrcInt x) override {
    if (_ct->getIndexSet()->isPossible(x)) _ct->hookIndex(x);
    return 1;
  }

 private:
  QrcUnionOverSetCtI* _ct;
};

class QrcUnionOverSetFiDefinedI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcUnionOverSetFiDefinedI)
  QROSIMPLECLASS(QrcUnionOverSetFiDefinedI, QrcDemonI)
 public:
  QrcUnionOverSetFiDefinedI(QrcManagerI* m, QrcUnionOverSetCtI* ct) : QrcDemonI(m, ct), _ct(ct) {}
  void propagate() override {
    _ct->getAccessor()->getDomain()->visitNewIndices(new (_manager)
                                                         QrcUnionOverSetFiDefinedDemonVisitor(_ct));
  }
  void display(std::ostream& os) const override { os << "QrcUnionOverSetFiDefined"; }

 private:
  QrcUnionOverSetCtI* _ct;
};

}  // namespace

// ---------------------------------------------------------------- constraint

QrcUnionOverSetCtI::QrcUnionOverSetCtI(QrcManagerI* m, QrcIntSetVarI* u, QrcIntSetVarI* s,
                                       QrcIntAccessorI* f)
    : QrcConstraintI(m),
      _union(u),
      _set(s),
      _accessor(f),
      _supports(nullptr),
      _possibleVisitor(new (m) QrcUnionOverSetIndexPossibleVisitor(this)),
      _deltaVisitor(new (m) QrcUnionOverSetDeltaFiVisitor(this)) {}

QrcConstraintI* QrcUnionOverSetCtI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcUnionOverSetCtI(t, copyOf(_union, t), copyOf(_set, t), _accessor->copyFor(t));
}

void QrcUnionOverSetCtI::post() {
  QrcManagerI* m = _manager;
  if (!_union->isBound()) _union->whenDomain(new (m) QrcUnionOverSetUnionDomainI(m, this));
  QrcIntExpI* cu = _union->getCardinality();
  if (!cu->isBound()) cu->whenRange(new (m) QrcUnionOverSetUnionCardRangeI(m, this));
  if (!_set->isBound()) _set->whenDomain(new (m) QrcUnionOverSetIndexDomainI(m, this));
  QrcIntExpI* cs = _set->getCardinality();
  if (!cs->isBound()) cs->whenRange(new (m) QrcUnionOverSetIndexCardRangeI(m, this));
  QrcAccessorDomainI* domain = _accessor->getDomain();
  forEach(_set->getPossible(), [this, domain](QrcInt x) {
    if (domain->contains(x)) hookIndex(x);
    return true;
  });
  if (!domain->isClosed()) domain->whenExtended(new (m) QrcUnionOverSetFiDefinedI(m, this));
}

void QrcUnionOverSetCtI::hookIndex(QrcInt x) {
  QrcManagerI* m = _manager;
  QrcIntAccessorI* f = _accessor;
  if (f->isType(QrcIntExpAccessorI::GetTypeInfo())) {
    // What F(x) loses is read from its delta, which a variable keeps.
    QrcIntExpI* e = static_cast<QrcIntExpAccessorI*>(f)->get(x);
    if (!e->isVariable() && !e->isBound()) e->makeEventHandlerConstraint();
  }
  if (f->getCardMinAt(x) != f->getCardMaxAt(x))
    f->getCardinalityAt(x)->whenRange(new (m) QrcUnionOverSetFiCardI(m, this, x));
  if (!f->isBound(x)) f->whenDomainAt(x, new (m) QrcUnionOverSetFiDomainI(m, this, x));
}

void QrcUnionOverSetCtI::propagate() {
  QrcManagerI* m = _manager;
  QrcIntSetVarI* u = _union;
  QrcIntSetVarI* s = _set;
  QrcIntAccessorI* f = _accessor;
  if (!_supports) {
    QrcUnionSupportsI* table = new (m) QrcUnionSupportsI(m, u);
    m->saveValue(&_supports);
    _supports = table;
  }
  QrcUnionSupportsI* table = _supports;
  forEachPossible(u, [table](QrcInt v) {
    if (QrcInt* p = table->find(v)) p[0] = p[1] = None;
    return true;
  });
  // Each value's first two indexes in increasing order.
  SupportFiller* filler = new (m) SupportFiller(u, table);
  forEachPossible(s, [f, filler](QrcInt x) {
    filler->start(x);
    f->visitValuesAt(x, filler, 0);
    return true;
  });
  forEachPossible(u, [this, u, table](QrcInt v) {
    QrcInt* p = table->find(v);
    QrcInt n = p ? (p[0] != None) + (p[1] != None) : 0;
    if (n == 0)
      u->removePossible(v);
    else if (n == 1 && u->isRequired(v))
      force(v, p);
    return true;
  });
  forEachPossible(s, [this, s, u, f](QrcInt x) {
    if (s->isRequired(x))
      addConstraint(QrcMakeInclusionAt(f, x, u));
    else if (!f->isCompatibleAt(x, u))
      s->removePossible(x);
    return true;
  });
  capCardinality(s->getCardinality()->getMax());
}

bool QrcUnionOverSetCtI::isSupport(QrcInt x, QrcInt v) const {
  return x != None && _set->isPossible(x) && _accessor->isInDomainAt(v, x);
}

bool QrcUnionOverSetCtI::getSupports(QrcInt v, QrcInt& first, QrcInt& second) const {
  QrcInt* p = _supports ? _supports->find(v) : nullptr;
  if (!p) return false;
  first = p[0];
  second = p[1];
  return true;
}

QrcInt QrcUnionOverSetCtI::replace(QrcInt* pair, QrcInt v, QrcInt w) {
  QrcInt k = pair[0] == w ? 0 : (pair[1] == w ? 1 : -1);
  if (k < 0) return -1;
  QrcInt other = pair[1 - k];
  bool otherValid = isSupport(other, v);
  QrcInt need = otherValid ? 1 : 2, found = 0;
  QrcInt first = None, second = None;
  QrcIntAccessorI* f = _accessor;
  forEachPossible(_set, [&](QrcInt x) {
    if (x == w || x == other || !f->isInDomainAt(v, x)) return true;
    (found == 0 ? first : second) = x;
    return ++found < need;
  });
  // A slot keeps its struck support until a replacement is found: after
  // backtracking it is a true support again.
  if (found >= 1) pair[k] = first;
  if (found >= 2) pair[1 - k] = second;
  return otherValid ? found + 1 : found;
}

void QrcUnionOverSetCtI::force(QrcInt v, const QrcInt* pair) {
  QrcInt x = isSupport(pair[0], v) ? pair[0] : (isSupport(pair[1], v) ? pair[1] : None);
  if (x == None) {
    _union->removePossible(v);
    return;
  }
  _set->addRequired(x);
  _accessor->requireValueAt(x, v);
}

void QrcUnionOverSetCtI::lostValue(QrcInt x, QrcInt v) {
  QrcInt* p = _supports ? _supports->find(v) : nullptr;
  if (!p || !_union->isPossible(v)) return;
  QrcInt n = replace(p, v, x);
  if (n == 0)
    _union->removePossible(v);
  else if (n == 1 && _union->isRequired(v))
    force(v, p);
}

void QrcUnionOverSetCtI::valueRequired(QrcInt v) {
  QrcInt* p = _supports ? _supports->find(v) : nullptr;
  if (!p) return;
  bool first = isSupport(p[0], v), second = isSupport(p[1], v);
  QrcInt n = first && second ? 2 : replace(p, v, first ? p[1] : p[0]);
  if (n == 0)
    _union->removePossible(v);
  else if (n == 1)
    force(v, p);
}

void QrcUnionOverSetCtI::capCardinality(QrcInt m) {
  __int128 c = static_cast<__int128>(_accessor->getCardMax()) * m;
  if (c >= QrcIntMin - 1 && c <= QrcIntMax)
    _union->getCardinality()->setMax(static_cast<QrcInt>(c));
}

// ---------------------------------------------------------------- demons' work

void QrcUnionOverSetCtI::propagateUnionDomain() {
  QrcIntSetVarI* u = _union;
  QrcIntSetVarI* s = _set;
  QrcIntAccessorI* f = _accessor;
  forEachAdded(u, [this](QrcInt v) { valueRequired(v); });
  forEachRemoved(u, [u, s, f](QrcInt v) {
    forEachPossible(s, [u, s, f, v](QrcInt x) {
      if (f->isInDomainAt(v, x) && !f->isCompatibleAt(x, u)) s->removePossible(x);
      return true;
    });
  });
}

void QrcUnionOverSetCtI::propagateUnionCard() {
  QrcInt m = _union->getCardinality()->getMax();
  QrcIntSetVarI* s = _set;
  QrcIntAccessorI* f = _accessor;
  forEachPossible(s, [s, f, m](QrcInt x) {
    if (f->getCardMinAt(x) > m) s->removePossible(x);
    return true;
  });
}

void QrcUnionOverSetCtI::propagateIndexDomain() {
  QrcIntSetVarI* u = _union;
  QrcIntAccessorI* f = _accessor;
  forEachAdded(_set, [this, u, f](QrcInt x) { addConstraint(QrcMakeInclusionAt(f, x, u)); });
  QrcUnionOverSetIndexPossibleVisitor* visitor = _possibleVisitor;
  forEachRemoved(_set, [f, visitor](QrcInt x) {
    visitor->start(x);
    f->visitValuesAt(x, visitor, 0);
  });
}

void QrcUnionOverSetCtI::propagateIndexCard() {
  capCardinality(_set->getCardinality()->getMax());
}

void QrcUnionOverSetCtI::propagateFiDomain(QrcInt x) {
  // Also when x has left S: in the step that removed it F(x) may have lost a
  // value x was watched for, which the index demon no longer sees in F(x).
  _deltaVisitor->start(x);
  _accessor->visitDeltaAt(x, _deltaVisitor, 0);
  if (_set->isPossible(x) && !_accessor->isCompatibleAt(x, _union)) _set->removePossible(x);
}

void QrcUnionOverSetCtI::propagateFiCard(QrcInt x) {
  if (_set->isPossible(x) && !_accessor->isCompatibleAt(x, _union)) _set->removePossible(x);
}

QrcBool QrcUnionOverSetCtI::isFalse() const {
  QrcIntSetVarI* u = _union;
  QrcIntSetVarI* s = _set;
  QrcIntAccessorI* f = _accessor;
  if (!forEachRequired(s, [u, f](QrcInt x) { return f->isCompatibleAt(x, u) != 0; })) return 1;
  bool supplied = forEachRequired(u, [s, f](QrcInt v) {
    return !forEachPossible(s, [f, v](QrcInt x) { return !f->isInDomainAt(v, x); });
  });
  return supplied ? 0 : 1;
}

// ---------------------------------------------------------------- creation

namespace {

template <class F>
F* need(F* f, const char* place) {
  if (!f) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return f;
}

// Nothing is possible in S: an empty fixed set.
QrcIntSetVar emptyUnion(QrcManagerI* m) {
  QrcIntSetVarI* u = new (m) QrcIntSetVarI(m, 1, 1, nullptr);
  u->removePossible(1);
  return u;
}

[[noreturn]] void tooWide(QrcManagerI* m, const char* form, QrcInt lo, QrcInt hi) {
  const char* text = "domain of F too large";
  m->getErrorReporter()->report(QrcRangeTooLargeError, form, text, lo, hi);
  QrcFatalError(QrcRangeTooLargeError, text, form);
}

QrcIntSetVar unionOf(QrcIntSetVarI* u, QrcIntSetVarI* s, QrcIntAccessorI* f) {
  QrcManagerI* m = s->getManager();
  m->add(QrcUnionOverSetCt(u, s, f).getImpl());
  return u;
}

// Room for n more values in a buffer on the manager's heap that doubles.
QrcInt* roomFor(QrcManagerI* m, QrcInt* data, QrcInt size, QrcInt& capacity) {
  if (size < capacity) return data;
  QrcInt grown = capacity * 2;
  QrcInt* more = static_cast<QrcInt*>(m->allocate(static_cast<size_t>(grown) * sizeof(QrcInt)));
  for (QrcInt i = 0; i < size; ++i) more[i] = data[i];
  capacity = grown;
  return more;
}

}  // namespace

QrcConstraintI* QrcMakeInclusionAt(QrcIntAccessorI* f, QrcInt x, QrcIntSetVarI* s) {
  QrcIntSetVar hs(s);
  if (f->isType(QrcIntSetVarAccessorI::GetTypeInfo()))
    return QrcSubsetEq(QrcIntSetVar(static_cast<QrcIntSetVarAccessorI*>(f)->get(x)), hs).getImpl();
  if (f->isType(QrcIntExpAccessorI::GetTypeInfo()))
    return QrcMember(QrcIntExp(static_cast<QrcIntExpAccessorI*>(f)->get(x)), hs).getImpl();
  if (f->isType(QrcIntConstAccessorI::GetTypeInfo()))
    return QrcMember(static_cast<QrcIntConstAccessorI*>(f)->makeValue(x), hs).getImpl();
  f->getManager()->getErrorReporter()->report(QrcNotImplementedError, "QrcMakeInclusionAt",
                                              "Not implemented: an accessor of another kind");
  return nullptr;
}

QrcConstraint QrcUnionOverSetCt(const QrcIntSetVar& u, const QrcIntSetVar& s,
                                const QrcIntAccessor& f) {
  QrcCheckOperands("QrcUnionOverSetCt", {u, s});
  const char* place = "QrcUnionOverSetCt(QrcIntSetVar, QrcIntSetVar, QrcIntAccessor)";
  QrcIntSetVarI* uu = need(u, place);
  QrcIntSetVarI* ss = need(s, place);
  QrcIntAccessorI* a = need(f.getImpl(), place);
  QrcManagerI* m = ss->getManager();
  return QrcConstraint(new (m) QrcUnionOverSetCtI(m, uu, ss, a));
}

QrcConstraint QrcUnionOverSetCt(const QrcIntSetVar& u, const QrcIntSetVar& s,
                                const QrcIntToIntSetVarFunction& f) {
  QrcCheckOperands("QrcUnionOverSetCt", {u, s});
  const char* place = "QrcUnionOverSetCt(QrcIntSetVar, QrcIntSetVar, QrcIntToIntSetVarFunction)";
  QrcIntSetVarI* uu = need(u, place);
  QrcIntSetVarI* ss = need(s, place);
  QrcIntToIntSetVarFunctionI* g = need(f.getImpl(), place);
  QrcManagerI* m = ss->getManager();
  QrcIntSetVarFunctionAccessorI* a =
      new (m) QrcIntSetVarFunctionAccessorI(ss->makeAccessorDomain(), g);
  a->useCache();
  return QrcConstraint(new (m) QrcUnionOverSetCtI(m, uu, ss, a));
}

QrcIntSetVar QrcUnion(const QrcIntSetVar& s, const QrcIntToIntFunction& f) {
  const char* place = "QrcUnion(QrcIntSetVar, QrcIntToIntFunction)";
  QrcIntSetVarI* ss = need(s, place);
  QrcIntToIntFunctionI* g = need(f.getImpl(), place);
  QrcManagerI* m = ss->getManager();
  QrcInt n = possibleSize(ss);
  if (n == 0) return emptyUnion(m);
  QrcIntFunctionAccessorI* a = new (m) QrcIntFunctionAccessorI(ss->makeAccessorDomain(), g);
  // The values F(x) of the possible x, in increasing x.
  QrcInt* values = m->lockIntArray(n);
  QrcInt k = 0;
  forEach(ss->getPossible(), [values, &k, a](QrcInt x) {
    values[k++] = a->makeValue(x);
    return true;
  });
  QrcIntArray array(QrcManager(m), n, values);
  m->unlockArray();
  return unionOf(QrcIntSetVar(QrcManager(m), array).getImpl(), ss, a);
}

QrcIntSetVar QrcUnion(const QrcIntSetVar& s, const QrcIntToIntExpFunction& f) {
  const char* place = "QrcUnion(QrcIntSetVar, QrcIntToIntExpFunction)";
  QrcIntSetVarI* ss = need(s, place);
  QrcIntToIntExpFunctionI* g = need(f.getImpl(), place);
  QrcManagerI* m = ss->getManager();
  if (possibleSize(ss) == 0) return emptyUnion(m);
  QrcAccessorDomainI* domain = ss->makeAccessorDomain();
  QrcIntExpFunctionAccessorI* a = new (m) QrcIntExpFunctionAccessorI(domain, g);
  a->useCache();
  QrcInt lo = QrcInt64Max, hi = -QrcInt64Max;
  forEach(ss->getPossible(), [a, domain, &lo, &hi](QrcInt x) {
    if (!domain->contains(x)) return true;
    QrcIntExpI* e = a->get(x);
    if (e->getMin() < lo) lo = e->getMin();
    if (e->getMax() > hi) hi = e->getMax();
    return true;
  });
  if (hi - lo >= MaxSpan) tooWide(m, "QrcUnion(Set-Var, Int F(x))", lo, hi);
  return unionOf(new (m) QrcIntSetVarI(m, lo, hi, nullptr), ss, a);
}

QrcIntSetVar QrcUnion(const QrcIntSetVar& s, const QrcIntToIntSetVarFunction& f) {
  const char* place = "QrcUnion(QrcIntSetVar, QrcIntToIntSetVarFunction)";
  QrcIntSetVarI* ss = need(s, place);
  QrcIntToIntSetVarFunctionI* g = need(f.getImpl(), place);
  QrcManagerI* m = ss->getManager();
  if (possibleSize(ss) == 0) return emptyUnion(m);
  QrcAccessorDomainI* domain = ss->makeAccessorDomain();
  QrcIntSetVarFunctionAccessorI* a = new (m) QrcIntSetVarFunctionAccessorI(domain, g);
  a->useCache();
  // The distinct values possible in some F(x), in order of discovery.
  QrcIntHashTable* seen = new (m) QrcIntHashTable(m, 10);
  QrcInt capacity = 4, size = 0;
  QrcInt* values =
      static_cast<QrcInt*>(m->allocate(static_cast<size_t>(capacity) * sizeof(QrcInt)));
  QrcInt lo = QrcInt64Max, hi = -QrcInt64Max;
  QrcIntCollectionI* shared = nullptr;
  bool oneCollection = true;
  forEach(ss->getPossible(), [&](QrcInt x) {
    if (!domain->contains(x)) return true;
    QrcIntSetVarI* e = a->get(x);
    QrcIntCollectionI* c = e->getPossible()->getCollection();
    if (!c || (shared && c != shared)) oneCollection = false;
    if (!shared) shared = c;
    if (e->getUniverseMin() < lo) lo = e->getUniverseMin();
    if (e->getUniverseMax() > hi) hi = e->getUniverseMax();
    forEach(e->getPossible(), [&](QrcInt v) {
      if (seen->contains(v)) return true;
      seen->add(v, 1);
      values = roomFor(m, values, size, capacity);
      values[size++] = v;
      return true;
    });
    return true;
  });
  if (oneCollection && shared) return unionOf(new (m) QrcIntSetVarI(shared, nullptr), ss, a);
  if (hi - lo >= MaxSpan) tooWide(m, "QrcUnion(Set-Var, IntSetVar F(x))", lo, hi);
  QrcIntArray array(QrcManager(m), size, values);
  return unionOf(QrcIntSetVar(QrcManager(m), array).getImpl(), ss, a);
}
