// Minimum distance, its opposite, and the partition into blocks. Window and
// block ends are computed in 128 bits and clamped, since k may be any QrcInt.
// Code that can fail keeps trivially destructible locals only.
#include "qrcmindistance.h"

#include <algorithm>
#include <ostream>

#include "qrcdistribute.h"
#include "qrcheaparray.h"
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
QRC_INDEXED_DEMON(QrcDemonMDPValueCardI, "QrcDemonMDPValueCard", QrcMinDistanceEltOfPartitionI,
                  countRule)

#undef QRC_INDEXED_DEMON

}  // namespace

// ---------------------------------------------------------------- constraint

QrcGlobalMinDistanceI::QrcGlobalMinDistanceI(QrcManagerI* m, const QrcIntVarArray& x, QrcInt k)
    : QrcConstraintWithFilterI(m, QrcAllMinDistanceKind, 1),
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
  if (level == 0) return 1;
  if (level < 0 || level > 3) return 0;
  if (_partition) {
    propagateFilterLevel(level);
    return 1;
  }
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
    : QrcConstraintWithFilterI(m, QrcAllMinDistanceKind, 1),
      _x(x),
      _k(k),
      _shifts(nullptr),
      _count(0) {}

QrcBool QrcMinDistancePartitionI::isFilterLevelSupported(QrcInt level) {
  propagateFilterLevel(level);
  return 1;
}

namespace {

// Block of v in shift p (d = v - m0 >= 0).
QrcInt blockIn(QrcInt d, QrcInt p, QrcInt k) {
  if (p == 1) return d / k + 1;
  return d < p - 1 ? 1 : (d - p + 1) / k + 2;
}

}  // namespace

void QrcMinDistancePartitionI::post() {
  QrcInt n = _x.getSize();
  if (n < 2) return;  // nothing to keep apart
  QrcIntMap* seen = new (_manager) QrcIntMap(_manager);
  for (QrcInt i = 0; i < n; ++i) {
    QrcIntExpI* x = at(_x, i);
    QrcInt hi = x->getMax();
    for (QrcInt v = x->getMin();; v = x->getNextHigher(v)) {
      seen->add(v, v);
      if (v >= hi) break;
    }
  }
  QrcInt count = seen->getSize();
  QrcInt* values = seen->getValues();
  std::sort(values, values + count);
  QrcInt g = INT64_MAX;
  for (QrcInt t = 1; t < count && g > 1; ++t) g = std::min(g, values[t] - values[t - 1]);
  // The shifts worth building: 1, 2 and the shifts that start a block at a
  // value; any other shift groups the values as the nearest one below it.
  QrcInt* shifts = allocArray<QrcInt>(_manager, count + 2);
  QrcInt ns = 0;
  shifts[ns++] = 1;
  if (g < _k) {
    shifts[ns++] = 2;
    for (QrcInt t = 0; t < count; ++t)
      shifts[ns++] = static_cast<QrcInt>(static_cast<QrcUInt>(values[t] - values[0]) %
                                         static_cast<QrcUInt>(_k)) +
                     2;
    std::sort(shifts, shifts + ns);
    ns = std::unique(shifts, shifts + ns) - shifts;
    while (ns > 0 && shifts[ns - 1] > _k - 1) --ns;
  }
  _shifts = allocArray<QrcMinDistanceEltOfPartitionI*>(_manager, ns);
  QrcInt level = getFilterLevel();
  QrcInt previous = 0;
  for (QrcInt s = 0; s < ns; ++s) {
    QrcInt p = shifts[s];
    if (previous) {
      bool same = true;
      for (QrcInt t = 1; t < count && same; ++t) {
        QrcInt d0 = values[t - 1] - values[0], d1 = values[t] - values[0];
        same = (blockIn(d0, p, _k) == blockIn(d1, p, _k)) ==
               (blockIn(d0, previous, _k) == blockIn(d1, previous, _k));
      }
      if (same) continue;
    }
    QrcMinDistanceEltOfPartitionI* shift =
        new (_manager) QrcMinDistanceEltOfPartitionI(_manager, _x, count, values, p, _k);
    shift->setFilterLevel(level);
    addSubConstraint(shift);
    _shifts[_count++] = shift;
    previous = p;
  }
}

// ---------------------------------------------------------------- one shift

QrcMinDistanceEltOfPartitionI::QrcMinDistanceEltOfPartitionI(QrcManagerI* m,
                                                             const QrcIntVarArray& x,
                                                             QrcInt nValues, const QrcInt* values,
                                                             QrcInt p, QrcInt k)
    : QrcConstraintWithFilterI(m, QrcAllMinDistanceKind, 1),
      _x(x),
      _nValues(nValues),
      _values(values),
      _p(p),
      _k(k),
      _blocks(nullptr),
      _nBlocks(0),
      _y(nullptr),
      _count(nullptr),
      _spanLo(nullptr),
      _spanHi(nullptr) {}

QrcBool QrcMinDistanceEltOfPartitionI::isFilterLevelSupported(QrcInt level) {
  propagateFilterLevel(level);
  return 1;
}

QrcInt QrcMinDistanceEltOfPartitionI::blockOf(QrcInt v) const {
  return blockIn(v - _values[0], _p, _k);
}

QrcInt QrcMinDistanceEltOfPartitionI::blockLo(QrcInt b) const {
  __int128 m0 = _values[0];
  if (_p == 1) return clampWide(m0 + static_cast<__int128>(b - 1) * _k);
  return b == 1 ? _values[0] : clampWide(m0 + static_cast<__int128>(b - 2) * _k + _p - 1);
}

QrcInt QrcMinDistanceEltOfPartitionI::blockHi(QrcInt b) const {
  __int128 m0 = _values[0];
  if (_p == 1) return clampWide(m0 + static_cast<__int128>(b) * _k - 1);
  return clampWide(b == 1 ? m0 + _p - 2 : m0 + static_cast<__int128>(b - 1) * _k + _p - 2);
}

QrcInt QrcMinDistanceEltOfPartitionI::entryOf(QrcInt b) const {
  return (std::lower_bound(_blocks, _blocks + _nBlocks, b) - _blocks) + 1;
}

void QrcMinDistanceEltOfPartitionI::post() {
  QrcManager h(_manager);
  QrcInt n = _x.getSize();
  _blocks = allocArray<QrcInt>(_manager, _nValues);
  for (QrcInt t = 0; t < _nValues; ++t) {
    QrcInt b = blockOf(_values[t]);
    if (_nBlocks == 0 || b > _blocks[_nBlocks - 1]) _blocks[_nBlocks++] = b;
  }
  _y = allocArray<QrcIntExpI*>(_manager, n);
  QrcIntVarArray ys(h, n);
  QrcInt* own = allocArray<QrcInt>(_manager, _nBlocks);
  for (QrcInt i = 0; i < n; ++i) {
    QrcIntExpI* x = at(_x, i);
    QrcInt c = 0;
    for (QrcInt t = 0; t < _nBlocks; ++t) {
      QrcInt lo = blockLo(_blocks[t]);
      if (x->getMax() >= lo && x->getNextHigher(lo - 1) <= blockHi(_blocks[t])) own[c++] = t + 1;
    }
    _y[i] = QrcIntVar(h, QrcIntArray(h, c, own)).getImpl();
    ys.set(i, QrcIntExp(_y[i]));
  }
  _count = allocArray<QrcIntExpI*>(_manager, _nBlocks + 1);
  _spanLo = allocArray<QrcInt>(_manager, _nBlocks + 1);
  _spanHi = allocArray<QrcInt>(_manager, _nBlocks + 1);
  QrcIntVarArray counts(h, _nBlocks + 1);
  QrcIntArray listed(h, _nBlocks + 1, QrcInt(0));
  for (QrcInt t = 0; t <= _nBlocks; ++t) {
    _count[t] = new (_manager) QrcIntExpI(_manager, 0, 1, nullptr);
    counts.set(t, QrcIntExp(_count[t]));
    if (t > 0) {
      listed[t] = t;
      _spanLo[t] = blockHi(_blocks[t - 1]) + 1;
      _spanHi[t] = blockLo(_blocks[t - 1]) - 1;
    }
  }
  addSubConstraint(static_cast<QrcConstraintWithFilterI*>(
      QrcDistribute(counts, listed, ys, getFilterLevel()).getImpl()));
  for (QrcInt i = 0; i < n; ++i) {
    at(_x, i)->whenDomain(new (_manager) QrcDemonMDPDomainXI(_manager, this, i));
    _y[i]->whenDomain(new (_manager) QrcDemonMDPDomainAbstrI(_manager, this, i));
  }
  for (QrcInt t = 1; t <= _nBlocks; ++t)
    _count[t]->whenDomain(new (_manager) QrcDemonMDPValueCardI(_manager, this, t));
}

void QrcMinDistanceEltOfPartitionI::xChanged(QrcInt i) {
  QrcIntExpI* x = at(_x, i);
  if (x->isBound()) {
    QrcInt t = entryOf(blockOf(x->getMin()));
    _y[i]->setValue(t);
    if (!_count[t]->isBound())
      _count[t]->setValue(1);
    else
      countRule(t);
    return;
  }
  if (!x->isProcessing()) return;
  QrcIntVarDeltaIterator it(x);
  QrcInt v;
  while (it.next(v)) {
    QrcInt b = blockOf(v), lo = blockLo(b), t = entryOf(b);
    if (x->getMax() < lo || x->getNextHigher(lo - 1) > blockHi(b)) _y[i]->removeValue(t);
    if (_count[t]->isBound() && _count[t]->getMin() == 1) countRule(t);
  }
}

void QrcMinDistanceEltOfPartitionI::yChanged(QrcInt i) {
  QrcIntExpI* y = _y[i];
  QrcIntExpI* x = at(_x, i);
  if (y->isBound()) {
    QrcInt b = _blocks[y->getMin() - 1];
    x->setRange(blockLo(b), blockHi(b));
    return;
  }
  if (!y->isProcessing()) return;
  QrcIntVarDeltaIterator it(y);
  QrcInt t;
  while (it.next(t)) {
    QrcInt b = _blocks[t - 1];
    x->removeRange(blockLo(b), blockHi(b));
  }
}

void QrcMinDistanceEltOfPartitionI::countRule(QrcInt t) {
  QrcIntExpI* c = _count[t];
  if (!c->isBound() || c->getMin() != 1) return;
  QrcInt b = _blocks[t - 1], lo = blockLo(b), hi = blockHi(b);
  QrcInt a = hi + 1, z = lo - 1;
  QrcInt n = _x.getSize();
  for (QrcInt i = 0; i < n; ++i) {
    if (!_y[i]->isInDomain(t)) continue;
    QrcIntExpI* x = at(_x, i);
    QrcInt up = x->getNextHigher(lo - 1);
    if (up >= lo && up <= hi && up < a) a = up;
    QrcInt down = x->getNextLower(hi + 1);
    if (down >= lo && down <= hi && down > z) z = down;
  }
  if (a == _spanLo[t] && z == _spanHi[t]) return;
  if (a != _spanLo[t]) {
    _manager->saveValue(&_spanLo[t]);
    _spanLo[t] = a;
  }
  if (z != _spanHi[t]) {
    _manager->saveValue(&_spanHi[t]);
    _spanHi[t] = z;
  }
  if (a > z) return;  // no occupant left: the distribute fails
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
