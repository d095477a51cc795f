// Minimum distance, its opposite, and the partition into blocks. Window and
// block ends are computed in 128 bits and clamped, since k may be any QrcInt.
// Code that can fail keeps trivially destructible locals only.
#include "qrcmindistance.h"

#include <algorithm>
#include <ostream>

#include "qrcdomainwalk.h"
#include "qrcmatching.h"
#include "qrcheaparray.h"
#include "qrcoperands.h"
#include "qrcsizealloc.h"

namespace {

const QrcInt Far = QrcInt(1) << 62;

// v clamped far outside every domain, so that v - 1 and v + 1 do not overflow.
QrcInt clampWide(__int128 v) {
  return v > Far ? Far : v < -Far ? -Far : static_cast<QrcInt>(v);
}

QrcIntExpI* at(const QrcIntVarArray& x, QrcInt i) {
  return x.getImpl()->getVar(i);
}

QrcIntVarArray copyOf(const QrcIntVarArray& a, QrcManagerI* t) {
  return QrcIntVarArray(a.getImpl() ? a.getImpl()->copyForManager(t) : nullptr);
}

// "<prefix>(address) {k=k," then each variable and ", ", then "}".
void displayWithK(std::ostream& os, const QrcConstraintI* ct, const char* prefix,
                  const QrcIntVarArray& x, QrcInt k) {
  if (ct->getName()) {
    os << ct->getName();
    return;
  }
  os << prefix << "(" << static_cast<const void*>(ct) << ") {k=" << k << ",";
  for (QrcInt i = 0; i < x.getSize(); ++i) {
    at(x, i)->display(os);
    os << ", ";
  }
  os << "}";
}

#define QRC_INDEXED_DEMON(Name, Text, Owner, Call)                                  \
  class Name : public QrcDemonI {                                                   \
    QRCLIBRARYCLASS(Name)                                                           \
    QROSIMPLECLASS(Name, QrcDemonI)                                                 \
   public:                                                                          \
    Name(QrcManagerI* m, Owner* ct, QrcInt i) : QrcDemonI(m, ct), _ct(ct), _i(i) {} \
    void propagate() override { _ct->Call(_i); }                                    \
    void display(std::ostream& os) const override { os << Text; }                   \
                                                                                    \
   private:                                                                         \
    Owner* _ct;                                                                     \
    QrcInt _i;                                                                      \
  };

QRC_INDEXED_DEMON(QrcDemonGMDRangePropagationI, "QrcDemonGMDRangePropagation",
                  QrcGlobalMinDistanceI, windowRule)
QRC_INDEXED_DEMON(QrcDemonOppositeGMDRangePropagationI, "QrcDemonOppositeGMDRangePropagation",
                  QrcOppositeGlobalMinDistanceI, rangeChanged)
QRC_INDEXED_DEMON(QrcDemonMDPDomainXI, "QrcDemonMDPDomainX", QrcMinDistanceEltOfPartitionI,
                  xChanged)
QRC_INDEXED_DEMON(QrcDemonMDPDomainAbstrI, "QrcDemonMDPDomainAbstr", QrcMinDistanceEltOfPartitionI,
                  yChanged)

#undef QRC_INDEXED_DEMON

}  // namespace

// ---------------------------------------------------------------- constraint

QrcGlobalMinDistanceI::QrcGlobalMinDistanceI(QrcManagerI* m, const QrcIntVarArray& x, QrcInt k)
    : QrcConstraintWithFilterI(m, QrcAllMinDistanceKind, QrcMediumFilterLevel),
      _x(x.getImpl() ? x : QrcIntVarArray(QrcManager(m), 0)),
      _k(k),
      _partition(nullptr) {}

void QrcGlobalMinDistanceI::post() {
  checkFilterLevel();
  for (QrcInt i = 0; i < _x.getSize(); ++i)
    at(_x, i)->whenRange(new (_manager) QrcDemonGMDRangePropagationI(_manager, this, i));
}

void QrcGlobalMinDistanceI::windowRule(QrcInt i) {
  QrcIntExpI* xi = at(_x, i);
  QrcInt lo = clampWide(static_cast<__int128>(xi->getMax()) - _k + 1);
  QrcInt hi = clampWide(static_cast<__int128>(xi->getMin()) + _k - 1);
  if (lo > hi) return;
  for (QrcInt j = 0; j < _x.getSize(); ++j)
    if (j != i) at(_x, j)->removeRange(lo, hi);
}

void QrcGlobalMinDistanceI::propagate() {
  for (QrcInt i = 0; i < _x.getSize(); ++i) windowRule(i);
}

QrcBool QrcGlobalMinDistanceI::isFilterLevelSupported(QrcInt level) {
  if (level < QrcLowFilterLevel || level > QrcFullFilterLevel) return 0;
  if (_partition) {
    propagateFilterLevel(level);
    return 1;
  }
  // Below 3 a partition would prune nothing the windows do not.
  if (level < QrcFullFilterLevel) return 1;
  // Trailed with the chain it joins: a post undone by backtracking or a
  // restart builds the partition again when the constraint is posted anew.
  _manager->saveValue(&_partition);
  _partition = new (_manager) QrcMinDistancePartitionI(_manager, _x, _k);
  _partition->setFilterLevel(level);
  addSubConstraint(_partition);
  _partition->setFilterLevel(level);
  return 1;
}

QrcBool QrcGlobalMinDistanceI::isFalse() const {
  QrcInt n = _x.getSize();
  for (QrcInt i = 0; i < n; ++i) {
    QrcIntExpI* xi = at(_x, i);
    QrcInt lo = clampWide(static_cast<__int128>(xi->getMax()) - _k + 1);
    QrcInt hi = clampWide(static_cast<__int128>(xi->getMin()) + _k - 1);
    if (lo > hi) continue;
    for (QrcInt j = 0; j < n; ++j)
      if (j != i && lo <= at(_x, j)->getMin() && at(_x, j)->getMax() <= hi) return 1;
  }
  return 0;
}

void QrcGlobalMinDistanceI::metaPostDemon(QrcDemonI* demon) {
  for (QrcInt i = 0; i < _x.getSize(); ++i) at(_x, i)->whenRange(demon);
}

QrcConstraintI* QrcGlobalMinDistanceI::makeOpposite() {
  return new (_manager) QrcOppositeGlobalMinDistanceI(_manager, _x, _k);
}

QrcConstraintI* QrcGlobalMinDistanceI::makeCopy(QrcManagerI* t) const {
  QrcGlobalMinDistanceI* copy = new (t) QrcGlobalMinDistanceI(t, copyOf(_x, t), _k);
  copy->setFilterLevel(getFilterLevel());
  return copy;
}

void QrcGlobalMinDistanceI::display(std::ostream& os) const {
  displayWithK(os, this, "QrcAllMinDistance", _x, _k);
}

QrcConstraint QrcAllMinDistance(const QrcIntVarArray& x, QrcInt k) {
  QrcCheckOperands("QrcAllMinDistance", {x});
  QrcIntVarArrayI* a = x.getImpl();
  if (!a) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcAllMinDistance");
  QrcManagerI* m = a->getManager();
  if (k <= 0) return QrcConstraint(m->getTrueConstraint());
  return QrcConstraint(new (m) QrcGlobalMinDistanceI(m, x, k));
}

// ---------------------------------------------------------------- opposite

QrcOppositeGlobalMinDistanceI::QrcOppositeGlobalMinDistanceI(QrcManagerI* m,
                                                             const QrcIntVarArray& x, QrcInt k)
    : QrcConstraintI(m), _x(x), _k(k), _wi(-1), _wj(-1) {}

void QrcOppositeGlobalMinDistanceI::post() {
  for (QrcInt i = 0; i < _x.getSize(); ++i)
    at(_x, i)->whenRange(new (_manager) QrcDemonOppositeGMDRangePropagationI(_manager, this, i));
}

bool QrcOppositeGlobalMinDistanceI::passes(QrcInt i, QrcInt j) const {
  QrcIntExpI* a = at(_x, i);
  QrcIntExpI* b = at(_x, j);
  return static_cast<__int128>(a->getMin()) - b->getMax() < _k &&
         static_cast<__int128>(b->getMin()) - a->getMax() < _k;
}

bool QrcOppositeGlobalMinDistanceI::findWitness() {
  QrcInt n = _x.getSize();
  for (QrcInt i = 0; i < n; ++i)
    for (QrcInt j = i + 1; j < n; ++j)
      if (passes(i, j)) {
        _wi = i;
        _wj = j;
        return true;
      }
  return false;
}

void QrcOppositeGlobalMinDistanceI::propagate() {
  if (!findWitness()) _manager->fail();
}

void QrcOppositeGlobalMinDistanceI::rangeChanged(QrcInt i) {
  if (i != _wi && i != _wj) return;
  if (_wi >= 0 && passes(_wi, _wj)) return;
  if (!findWitness()) _manager->fail();
}

QrcBool QrcOppositeGlobalMinDistanceI::isFalse() const {
  QrcInt n = _x.getSize();
  for (QrcInt i = 0; i < n; ++i)
    for (QrcInt j = i + 1; j < n; ++j)
      if (passes(i, j)) return 0;
  return 1;
}

void QrcOppositeGlobalMinDistanceI::metaPostDemon(QrcDemonI* demon) {
  for (QrcInt i = 0; i < _x.getSize(); ++i) at(_x, i)->whenRange(demon);
}

QrcConstraintI* QrcOppositeGlobalMinDistanceI::makeOpposite() {
  return new (_manager) QrcGlobalMinDistanceI(_manager, _x, _k);
}

QrcConstraintI* QrcOppositeGlobalMinDistanceI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcOppositeGlobalMinDistanceI(t, copyOf(_x, t), _k);
}

void QrcOppositeGlobalMinDistanceI::display(std::ostream& os) const {
  displayWithK(os, this, "Opposite Of QrcAllMinDistance", _x, _k);
}

// ---------------------------------------------------------------- partition

QrcMinDistancePartitionI::QrcMinDistancePartitionI(QrcManagerI* m, const QrcIntVarArray& x,
                                                   QrcInt k)
    : QrcConstraintWithFilterI(m, QrcAllMinDistanceKind, QrcMediumFilterLevel),
      _x(x),
      _k(k),
      _shifts(nullptr),
      _count(0) {}

QrcBool QrcMinDistancePartitionI::isFilterLevelSupported(QrcInt level) {
  propagateFilterLevel(level);
  return 1;
}

namespace {

struct Span {
  QrcInt a;
  QrcInt b;
};

// The union of the domains of x as disjoint intervals with gaps between
// them, increasing, on the heap: costs the intervals of the domains.
Span* unionOf(QrcManagerI* m, const QrcIntVarArray& x, QrcInt& count) {
  QrcInt total = 0;
  for (QrcInt i = 0; i < x.getSize(); ++i)
    qrcdomain::forEachInterval(at(x, i), [&](QrcInt, QrcInt) { return ++total > 0; });
  Span* s = allocArray<Span>(m, total);
  QrcInt k = 0;
  for (QrcInt i = 0; i < x.getSize(); ++i)
    qrcdomain::forEachInterval(at(x, i), [&](QrcInt a, QrcInt b) {
      s[k++] = Span{a, b};
      return true;
    });
  std::sort(s, s + k, [](const Span& l, const Span& r) { return l.a < r.a; });
  count = 0;
  for (QrcInt j = 0; j < k; ++j) {
    if (count > 0 && s[j].a <= s[count - 1].b + 1) {
      if (s[j].b > s[count - 1].b) s[count - 1].b = s[j].b;
    } else {
      s[count++] = s[j];
    }
  }
  return s;
}

QrcInt floorMod(__int128 v, QrcInt k) {
  __int128 r = v % k;
  return static_cast<QrcInt>(r < 0 ? r + k : r);
}

// Block of v in shift p (d = v - m0 >= 0).
QrcInt blockIn(QrcInt d, QrcInt p, QrcInt k) {
  if (p == 1) return d / k + 1;
  return d < p - 1 ? 1 : (d - p + 1) / k + 2;
}

// The closest two values: 1 inside an interval, else the narrowest gap.
bool hasCloseValues(const Span* u, QrcInt r, QrcInt k) {
  bool close = false;
  for (QrcInt j = 0; j < r && !close; ++j)
    close = (u[j].b > u[j].a && k > 1) || (j + 1 < r && u[j + 1].a - u[j].b < k);
  return close;
}

// Appends the residues modulo k of [from, from + length) as one or two ranges.
void addCyclic(Span* ranges, QrcInt& nr, __int128 from, __int128 length, QrcInt k) {
  if (length >= k) {
    ranges[nr++] = Span{0, k - 1};
    return;
  }
  QrcInt start = floorMod(from, k);
  __int128 end = static_cast<__int128>(start) + length - 1;
  if (end < k) {
    ranges[nr++] = Span{start, static_cast<QrcInt>(end)};
  } else {
    ranges[nr++] = Span{start, k - 1};
    ranges[nr++] = Span{0, static_cast<QrcInt>(end - k)};
  }
}

// The residues where a grouping changes, as ranges of [0, k - 1] (unsorted);
// nr receives their count.
Span* changeResidues(QrcManagerI* m, const Span* u, QrcInt r, QrcInt k, bool close, QrcInt& nr) {
  Span* ranges = allocArray<Span>(m, 6 * r + 2);
  nr = 0;
  if (close) {
    for (QrcInt j = 0; j < r; ++j) {
      addCyclic(ranges, nr, static_cast<__int128>(u[j].a) + 1,
                static_cast<__int128>(u[j].b) - u[j].a + 1, k);
      if (j + 1 < r && u[j + 1].a - u[j].b < k) {
        addCyclic(ranges, nr, static_cast<__int128>(u[j].b) + 1, 1, k);
        addCyclic(ranges, nr, static_cast<__int128>(u[j + 1].a) + 1, 1, k);
      }
    }
  }
  return ranges;
}

// Sorts and merges the ranges in place; returns how many are left and sets
// residues to the number of residues they cover.
QrcInt mergeRanges(Span* ranges, QrcInt nr, __int128& residues) {
  std::sort(ranges, ranges + nr, [](const Span& l, const Span& s) { return l.a < s.a; });
  QrcInt merged = 0;
  residues = 0;
  for (QrcInt j = 0; j < nr; ++j) {
    if (merged > 0 && ranges[j].a <= ranges[merged - 1].b + 1) {
      if (ranges[j].b > ranges[merged - 1].b) ranges[merged - 1].b = ranges[j].b;
    } else {
      ranges[merged++] = ranges[j];
    }
  }
  for (QrcInt j = 0; j < merged; ++j)
    residues += static_cast<__int128>(ranges[j].b) - ranges[j].a + 1;
  return merged;
}

// Shift 1, then p = (s - m0 mod k) + 1 for each residue s met, p < k; sorted
// and distinct, ns receives their count.
QrcInt* collectShifts(QrcManagerI* m, const Span* ranges, QrcInt merged, __int128 residues,
                      QrcInt m0, QrcInt k, QrcInt& ns) {
  QrcInt most = 1 + static_cast<QrcInt>(residues < k ? residues : k);
  QrcInt* shifts = allocArray<QrcInt>(m, most);
  ns = 0;
  shifts[ns++] = 1;
  for (QrcInt j = 0; j < merged; ++j)
    for (QrcInt s = ranges[j].a;; ++s) {
      QrcInt p = floorMod(static_cast<__int128>(s) - m0, k) + 1;
      if (p > 1 && p < k) shifts[ns++] = p;
      if (s == ranges[j].b) break;
    }
  std::sort(shifts, shifts + ns);
  ns = std::unique(shifts, shifts + ns) - shifts;
  return shifts;
}

}  // namespace

// Shift p starts its blocks (but the first) at the values congruent to
// m0 + p - 1 modulo k. Two consecutive values u < w of the domains fall in
// different blocks when such a start lies in (u, w]: as the start's residue
// turns round, the grouping changes only where it meets u + 1 or w + 1 of a
// pair closer than k. One shift per residue met keeps every grouping.
void QrcMinDistancePartitionI::post() {
  QrcInt n = _x.getSize();
  if (n < 2) return;  // nothing to keep apart
  QrcInt r = 0;
  Span* u = unionOf(_manager, _x, r);
  QrcInt m0 = u[0].a;
  bool close = hasCloseValues(u, r, _k);
  QrcInt nr = 0;
  Span* ranges = changeResidues(_manager, u, r, _k, close, nr);
  __int128 residues = 0;
  QrcInt merged = mergeRanges(ranges, nr, residues);
  QrcInt ns = 0;
  QrcInt* shifts = collectShifts(_manager, ranges, merged, residues, m0, _k, ns);
  _shifts = allocArray<QrcMinDistanceEltOfPartitionI*>(_manager, ns);
  QrcInt level = getFilterLevel();
  for (QrcInt k = 0; k < ns; ++k) {
    QrcMinDistanceEltOfPartitionI* shift =
        new (_manager) QrcMinDistanceEltOfPartitionI(_manager, _x, m0, shifts[k], _k);
    shift->setFilterLevel(level);
    addSubConstraint(shift);
    _shifts[_count++] = shift;
  }
}

// ---------------------------------------------------------------- one shift

QrcMinDistanceEltOfPartitionI::QrcMinDistanceEltOfPartitionI(QrcManagerI* m,
                                                             const QrcIntVarArray& x, QrcInt m0,
                                                             QrcInt p, QrcInt k)
    : QrcConstraintWithFilterI(m, QrcAllMinDistanceKind, QrcMediumFilterLevel),
      _x(x),
      _m0(m0),
      _p(p),
      _k(k),
      _y(nullptr),
      _matching(nullptr),
      _matched(nullptr) {}

QrcBool QrcMinDistanceEltOfPartitionI::isFilterLevelSupported(QrcInt level) {
  return level >= QrcLowFilterLevel && level <= QrcFullFilterLevel;
}

QrcInt QrcMinDistanceEltOfPartitionI::blockOf(QrcInt v) const {
  return blockIn(v - _m0, _p, _k);
}

QrcInt QrcMinDistanceEltOfPartitionI::blockLo(QrcInt b) const {
  __int128 m0 = _m0;
  if (_p == 1) return clampWide(m0 + static_cast<__int128>(b - 1) * _k);
  return b == 1 ? _m0 : clampWide(m0 + static_cast<__int128>(b - 2) * _k + _p - 1);
}

QrcInt QrcMinDistanceEltOfPartitionI::blockHi(QrcInt b) const {
  __int128 m0 = _m0;
  if (_p == 1) return clampWide(m0 + static_cast<__int128>(b) * _k - 1);
  return clampWide(b == 1 ? m0 + _p - 2 : m0 + static_cast<__int128>(b - 1) * _k + _p - 2);
}

bool QrcMinDistanceEltOfPartitionI::isForced(QrcInt b) {
  return _matching && _matching->isForced(labelOf(b));
}

void QrcMinDistanceEltOfPartitionI::post() {
  QrcInt n = _x.getSize();
  _y = allocArray<QrcIntExpI*>(_manager, n);
  _matched = allocArray<QrcInt>(_manager, n);
  for (QrcInt i = 0; i < n; ++i) {
    QrcIntExpI* x = at(_x, i);
    QrcIntExpI* y = new (_manager)
        QrcIntExpI(_manager, labelOf(blockOf(x->getMin())), labelOf(blockOf(x->getMax())), nullptr);
    // The blocks that lie in a gap of the domain, a range per gap.
    QrcInt last = x->getMin() - 1;
    qrcdomain::forEachInterval(x, [&](QrcInt a, QrcInt b) {
      if (a > last + 1) {
        QrcInt first = blockOf(last + 1), end = blockOf(a - 1);
        if (blockLo(first) < last + 1) ++first;
        if (blockHi(end) > a - 1) --end;
        if (first <= end) y->removeRange(labelOf(first), labelOf(end));
      }
      last = b;
      return true;
    });
    _y[i] = y;
  }
  _matching = new (_manager) QrcCardMatchingI(_manager);
  _matching->init(n, _y, 0, nullptr, nullptr, QrcCardMatchingI::PruneComponents);
  for (QrcInt i = 0; i < n; ++i) {
    at(_x, i)->whenDomain(new (_manager) QrcDemonMDPDomainXI(_manager, this, i));
    _y[i]->whenDomain(new (_manager) QrcDemonMDPDomainAbstrI(_manager, this, i));
  }
}

void QrcMinDistanceEltOfPartitionI::propagate() {
  if (getFilterLevel() < QrcFullFilterLevel) return;
  if (!_matching->propagate()) fail();
  // The blocks matched now (every block that all matchings use is among
  // them); a bound occupant's window already removed what its span would.
  QrcInt n = _x.getSize(), count = 0;
  for (QrcInt i = 0; i < n; ++i)
    if (_matching->hasOwnValue(i) && !_y[i]->isBound())
      _matched[count++] = _matching->getMatchedValue(i);
  for (QrcInt t = 0; t < count; ++t)
    if (_matching->isForced(_matched[t])) spanRule(blockOfLabel(_matched[t]));
}

void QrcMinDistanceEltOfPartitionI::xChanged(QrcInt i) {
  QrcIntExpI* x = at(_x, i);
  QrcIntExpI* y = _y[i];
  if (x->isBound()) {
    y->setValue(labelOf(blockOf(x->getMin())));
  } else if (x->isProcessing()) {
    QrcIntVarDeltaIterator it(x);
    QrcInt a, b;
    while (it.nextRange(a, b)) {
      QrcInt first = blockOf(a), end = blockOf(b);
      QrcInt ends[2] = {first, end};
      for (QrcInt e : ends)
        if (x->getMax() < blockLo(e) || x->getNextHigher(blockLo(e) - 1) > blockHi(e))
          y->removeValue(labelOf(e));
      if (end - first >= 2) y->removeRange(labelOf(first + 1), labelOf(end - 1));
    }
  }
  push();
}

void QrcMinDistanceEltOfPartitionI::yChanged(QrcInt i) {
  QrcIntExpI* y = _y[i];
  QrcIntExpI* x = at(_x, i);
  if (y->isBound()) {
    QrcInt b = blockOfLabel(y->getMin());
    x->setRange(blockLo(b), blockHi(b));
  } else if (y->isProcessing()) {
    QrcIntVarDeltaIterator it(y);
    QrcInt a, b;
    while (it.nextRange(a, b)) x->removeRange(blockLo(blockOfLabel(a)), blockHi(blockOfLabel(b)));
  }
  push();
}

void QrcMinDistanceEltOfPartitionI::spanRule(QrcInt b) {
  QrcInt lo = blockLo(b), hi = blockHi(b), label = labelOf(b);
  QrcInt a = hi + 1, z = lo - 1;
  QrcInt n = _x.getSize();
  for (QrcInt i = 0; i < n; ++i) {
    if (!_y[i]->isInDomain(label)) continue;
    QrcIntExpI* x = at(_x, i);
    QrcInt up = x->getNextHigher(lo - 1);
    if (up >= lo && up <= hi && up < a) a = up;
    QrcInt down = x->getNextLower(hi + 1);
    if (down >= lo && down <= hi && down > z) z = down;
  }
  if (a > z) return;  // no occupant left: the matching fails
  QrcInt below = clampWide(static_cast<__int128>(z) - _k + 1);
  QrcInt above = clampWide(static_cast<__int128>(a) + _k - 1);
  for (QrcInt i = 0; i < n; ++i) {
    QrcIntExpI* x = at(_x, i);
    if (below <= a - 1) x->removeRange(below, a - 1);
    if (z + 1 <= above) x->removeRange(z + 1, above);
  }
}

void QrcMinDistanceEltOfPartitionI::display(std::ostream& os) const {
  displayWithK(os, this, "QrcMinDistanceEltOfPartitionI", _x, _k);
}
