// Bin packing. Per bin a trailed list of the items that may still go there
// (heaviest first), its weight sum and the weight already packed; a trailed
// list of the unassigned items; a work list of the bins whose bounds or
// candidates changed. Demons keep the lists in step and mark bins; propagate
// bounds the number of used bins (L2 over the free space, with the residue
// and per-bin least loads it implies), then runs the bin rules (item rules,
// subset-sum reachability, the no-sum test) on the marked bins.
//
// Code that can fail keeps trivially destructible locals only.
#include "qrcpack.h"

#include <algorithm>
#include <functional>
#include <ostream>

#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcoperands.h"
#include "qrcpackbound.h"
#include "qrcexception.h"
#include "qrcheaparray.h"

namespace {

typedef __int128 Wide;

QrcInt clampWide(Wide v) {
  return v > INT64_MAX ? INT64_MAX : v < INT64_MIN ? INT64_MIN : static_cast<QrcInt>(v);
}

class QrcPackWhereDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcPackWhereDemonI)
  QROSIMPLECLASS(QrcPackWhereDemonI, QrcDemonI)
 public:
  QrcPackWhereDemonI(QrcManagerI* m, QrcPackI* ct, QrcInt i) : QrcDemonI(m, ct), _ct(ct), _i(i) {}
  void propagate() override { _ct->whereChanged(_i); }
  void display(std::ostream& os) const override { os << "QrcPackWhereDemon"; }

 private:
  QrcPackI* _ct;
  QrcInt _i;
};

class QrcPackLoadDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcPackLoadDemonI)
  QROSIMPLECLASS(QrcPackLoadDemonI, QrcDemonI)
 public:
  QrcPackLoadDemonI(QrcManagerI* m, QrcPackI* ct, QrcInt j) : QrcDemonI(m, ct), _ct(ct), _j(j) {}
  void propagate() override { _ct->loadChanged(_j); }
  void display(std::ostream& os) const override { os << "QrcPackLoadDemon"; }

 private:
  QrcPackI* _ct;
  QrcInt _j;
};

class QrcPackUsedDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcPackUsedDemonI)
  QROSIMPLECLASS(QrcPackUsedDemonI, QrcDemonI)
 public:
  QrcPackUsedDemonI(QrcManagerI* m, QrcPackI* ct) : QrcDemonI(m, ct), _ct(ct) {}
  void propagate() override { _ct->countChanged(); }
  void display(std::ostream& os) const override { os << "QrcPackUsedDemon"; }

 private:
  QrcPackI* _ct;
};

class QrcPackUsedSetDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcPackUsedSetDemonI)
  QROSIMPLECLASS(QrcPackUsedSetDemonI, QrcDemonI)
 public:
  QrcPackUsedSetDemonI(QrcManagerI* m, QrcPackI* ct) : QrcDemonI(m, ct), _ct(ct) {}
  void propagate() override { _ct->usedChanged(); }
  void display(std::ostream& os) const override { os << "QrcPackUsedSetDemon"; }

 private:
  QrcPackI* _ct;
};

QrcIntExpI** variablesOf(QrcManagerI* m, const QrcIntVarArray& a) {
  QrcInt n = a.getSize();
  QrcIntExpI** v = allocArray<QrcIntExpI*>(m, n, nullptr);
  for (QrcInt k = 0; k < n; ++k) v[k] = QrcIntVar(a.getImpl()->getVar(k)).getImpl();
  return v;
}

}  // namespace

// ---------------------------------------------------------------- construction

QrcPackI::QrcPackI(QrcManagerI* m, const QrcIntVarArray& load, const QrcIntVarArray& where,
                   const QrcIntArray& weight, QrcIntSetVarI* used, QrcIntExpI* count,
                   QrcInt** table)
    : QrcConstraintI(m),
      _n(where.getSize()),
      _m(load.getSize()),
      _load(variablesOf(m, load)),
      _where(variablesOf(m, where)),
      _loadVars(load.getImpl()),
      _total(0),
      _used(used),
      _count(count),
      _countGiven(count != nullptr),
      _group(nullptr),
      _groups(0),
      _groupFill(nullptr),
      _groupStage(nullptr),
      _stageStart(nullptr),
      _bucket(nullptr),
      _workCount(0),
      _slackSeen(INT64_MAX),
      _firstPending(1),
      _reach(nullptr),
      _sizeCount(0),
      _allCount(0),
      _capacity(0),
      _residue(0) {
  sortItems(weight);
  if (!_used) _used = new (m) QrcIntSetVarI(m, 0, _m > 0 ? _m - 1 : 0, nullptr);
  if (!_count) _count = _used->getCardinality();
  if (table) makeGroups(table);
  makeWorkArrays();
}

void QrcPackI::sortItems(const QrcIntArray& weight) {
  QrcManagerI* m = _manager;
  QrcInt n = _n;
  _item = allocArray<QrcInt>(m, n, 0);
  for (QrcInt r = 0; r < n; ++r) _item[r] = r;
  std::sort(_item, _item + n, [&weight](QrcInt x, QrcInt y) {
    return weight[x] != weight[y] ? weight[x] > weight[y] : x < y;
  });
  _rank = allocArray<QrcInt>(m, n, 0);
  _weight = allocArray<QrcInt>(m, n, 0);
  for (QrcInt r = 0; r < n; ++r) {
    _rank[_item[r]] = r;
    _weight[r] = weight[_item[r]];
    _total += _weight[r];
  }
}

void QrcPackI::makeGroups(QrcInt** table) {
  QrcManagerI* m = _manager;
  QrcInt n = _n;
  // Each item joins the first group whose every member is marked with it.
  QrcInt* groupOfItem = allocArray<QrcInt>(m, n, -1);
  QrcInt* first = allocArray<QrcInt>(m, n, -1);
  QrcInt* nextMember = allocArray<QrcInt>(m, n, -1);
  QrcInt* lastMember = allocArray<QrcInt>(m, n, -1);
  for (QrcInt k = 0; k < n; ++k) {
    QrcInt g = 0;
    for (; g < _groups; ++g) {
      bool all = true;
      for (QrcInt p = first[g]; p >= 0 && all; p = nextMember[p]) all = table[p][k] != 0;
      if (all) break;
    }
    if (g == _groups)
      first[_groups++] = k;
    else
      nextMember[lastMember[g]] = k;
    lastMember[g] = k;
    groupOfItem[k] = g;
  }
  _group = allocArray<QrcInt>(m, n, 0);
  for (QrcInt r = 0; r < n; ++r) _group[r] = groupOfItem[_item[r]];
  _groupFill = allocArray<QrcInt>(m, _groups, 0);
  _groupStage = allocArray<QrcInt>(m, _groups, -1);
  _stageStart = allocArray<QrcInt>(m, n + 1, 0);
  _bucket = allocArray<QrcInt>(m, n, 0);
}

void QrcPackI::makeWorkArrays() {
  QrcManagerI* m = _manager;
  QrcInt n = _n, bins = _m;
  _candNodes = allocArray<QrcInt>(m, 3 * bins * n, -1);
  _candHeaders = allocArray<QrcInt>(m, 4 * bins, 0);
  for (QrcInt j = 0; j < bins; ++j) candHeader(j)[0] = candHeader(j)[1] = -1;
  _packed = allocArray<QrcInt>(m, bins, 0);
  _packedCount = allocArray<QrcInt>(m, bins, 0);
  _freeNodes = allocArray<QrcInt>(m, 3 * n, -1);
  _freeHeader[0] = _freeHeader[1] = -1;
  _freeHeader[2] = _freeHeader[3] = 0;
  _work = allocArray<QrcInt>(m, bins, 0);
  _flags = allocArray<QrcInt>(m, bins, 0);
  _reqBins = allocArray<QrcInt>(m, bins, 0);
  _optBins = allocArray<QrcInt>(m, bins, 0);
  _caps = allocArray<QrcInt>(m, bins, 0);
  _pseudo = allocArray<QrcInt>(m, bins, 0);
  _sizes = allocArray<QrcInt>(m, n + bins + 1, 0);
  _allSizes = allocArray<QrcInt>(m, n + bins + 1, 0);
  _listItems = allocArray<QrcInt>(m, n, 0);
  _listWeights = allocArray<QrcInt>(m, n, 0);
  _testWeights = allocArray<QrcInt>(m, n, 0);
}

void QrcPackI::post() {
  addConstraint((QrcSum(QrcIntVarArray(_loadVars)) == _total).getImpl());
  if (_countGiven)
    addConstraint((QrcIntExp(_used->getCardinality()) == QrcIntExp(_count)).getImpl());
  for (QrcInt i = 0; i < _n; ++i)
    if (!_where[i]->isBound())
      _where[i]->whenDomain(new (_manager) QrcPackWhereDemonI(_manager, this, i));
  for (QrcInt j = 0; j < _m; ++j)
    if (!_load[j]->isBound())
      _load[j]->whenRange(new (_manager) QrcPackLoadDemonI(_manager, this, j));
  if (!_count->isBound()) _count->whenRange(new (_manager) QrcPackUsedDemonI(_manager, this));
  if (!_used->isBound()) _used->whenDomain(new (_manager) QrcPackUsedSetDemonI(_manager, this));
}

// ---------------------------------------------------------------- reversible lists

void QrcPackI::set(QrcInt* word, QrcInt value) {
  if (*word == value) return;
  _manager->saveValue(word);
  *word = value;
}

void QrcPackI::append(QrcInt* nodes, QrcInt* header, QrcInt r, QrcInt weight) {
  QrcInt* node = nodes + 3 * r;
  QrcInt tail = header[1];
  set(&node[0], 0);
  set(&node[1], -1);
  set(&node[2], tail);
  set(tail >= 0 ? &nodes[3 * tail + 1] : &header[0], r);
  set(&header[1], r);
  set(&header[2], header[2] + 1);
  set(&header[3], header[3] + weight);
}

void QrcPackI::unlink(QrcInt* nodes, QrcInt* header, QrcInt r, QrcInt weight) {
  QrcInt* node = nodes + 3 * r;
  QrcInt next = node[1], prev = node[2];
  set(prev >= 0 ? &nodes[3 * prev + 1] : &header[0], next);
  set(next >= 0 ? &nodes[3 * next + 2] : &header[1], prev);
  set(&node[0], -1);
  set(&header[2], header[2] - 1);
  set(&header[3], header[3] - weight);
}

// ---------------------------------------------------------------- demons

void QrcPackI::mark(QrcInt j, QrcInt flags, bool schedule) {
  if (_workCount == 0) {
    for (QrcInt k = 0; k < _m; ++k) _flags[k] = 0;
    _manager->saveValue(&_workCount);
    if (schedule) push();
  }
  if (_flags[j] == 0) _work[_workCount++] = j;
  _flags[j] |= flags;
}

void QrcPackI::removeCandidate(QrcInt j, QrcInt r) {
  QrcInt* h = candHeader(j);
  bool lightest = h[1] == r;
  unlink(candNodes(j), h, r, _weight[r]);
  QrcIntExpI* load = _load[j];
  bool required = _used->isRequired(j);
  if (_packedCount[j] == 0 && lightest && required && h[2] > 0) load->setMin(_weight[h[1]]);
  load->setMax(_packed[j] + h[3]);
  if (_packedCount[j] == 0) {
    if (h[2] == 0)
      _used->removePossible(j);
    else if (h[2] == 1 && required)
      _where[_item[h[0]]]->setValue(j);
  }
}

void QrcPackI::pack(QrcInt j, QrcInt r) {
  QrcInt w = _weight[r];
  _load[j]->setMin(_packed[j] + w);
  set(&_packed[j], _packed[j] + w);
  set(&_packedCount[j], _packedCount[j] + 1);
  unlink(candNodes(j), candHeader(j), r, w);
  _used->addRequired(j);
}

void QrcPackI::whereChanged(QrcInt i) {
  if (_firstPending) {
    push();
    return;
  }
  QrcIntExpI* x = _where[i];
  QrcInt r = _rank[i], lo = x->getOldMin(), hi = x->getOldMax(), v;
  if (lo >= 0 && hi < _m) {
    QrcIntVarDeltaIterator it(x);
    while (it.next(v)) {
      if (v < 0 || v >= _m || !isCandidate(v, r) || x->isInDomain(v)) continue;
      removeCandidate(v, r);
      mark(v, 2, true);
    }
  } else {
    QrcInt top = hi < _m - 1 ? hi : _m - 1;
    for (v = lo > 0 ? lo : 0; v <= top; ++v) {
      if (!isCandidate(v, r) || x->isInDomain(v)) continue;
      removeCandidate(v, r);
      mark(v, 2, true);
    }
  }
  if (!x->isBound()) return;
  if (_freeNodes[3 * r] == 0) unlink(_freeNodes, _freeHeader, r, _weight[r]);
  v = x->getMin();
  if (v >= 0 && v < _m && isCandidate(v, r)) {
    pack(v, r);
    mark(v, 1, true);
  }
}

void QrcPackI::loadChanged(QrcInt j) {
  if (_firstPending) {
    push();
    return;
  }
  QrcIntExpI* x = _load[j];
  if (x->getMax() != x->getOldMax()) mark(j, 2, true);
  if (x->getMin() != x->getOldMin()) {
    mark(j, 1, true);
    if (x->getMin() >= 1) _used->addRequired(j);
  }
}

void QrcPackI::countChanged() {
  if (_firstPending) {
    push();
    return;
  }
  if (_count->getMax() == _count->getOldMax()) return;
  for (QrcInt j = 0; j < _m; ++j)
    if (candHeader(j)[2] > 0) mark(j, 3, true);
}

void QrcPackI::usedChanged() {
  if (_firstPending) {
    push();
    return;
  }
  QrcInt v;
  QrcDeltaPossibleIterator out(_used);
  while (out.next(v)) {
    if (v < 0 || v >= _m) continue;
    if (_packedCount[v] > 0) fail();
    for (QrcInt r = candHeader(v)[0]; r >= 0; r = candNodes(v)[3 * r + 1])
      _where[_item[r]]->removeValue(v);
    mark(v, 2, true);
  }
  QrcDeltaRequiredIterator in(_used);
  while (in.next(v)) {
    if (v < 0 || v >= _m) continue;
    QrcInt* h = candHeader(v);
    if (_packedCount[v] == 0) {
      if (h[2] == 0) fail();
      _load[v]->setMin(_weight[h[1]]);
      if (h[2] == 1) _where[_item[h[0]]]->setValue(v);
    }
    mark(v, 1, true);
  }
}

// ---------------------------------------------------------------- propagation

// Runs once, right after the posting, with the demons listening: the lists
// are built from the domains as they stand before anything is narrowed, so
// that each narrowing (of a place that is also a load, or tied to one) reaches
// the demons as a change against lists that held before it.
void QrcPackI::firstPropagation() {
  set(&_firstPending, 0);
  buildLists();
  narrowFirst();
  for (QrcInt j = 0; j < _m; ++j)
    if (candHeader(j)[2] > 0) mark(j, 3, false);
  set(&_slackSeen, INT64_MAX);
}

// The free items, and per bin the items bound to it and the candidates (the
// unbound items whose domain holds it, when the bin may be used).
void QrcPackI::buildLists() {
  for (QrcInt r = 0; r < _n; ++r)
    if (!_where[_item[r]]->isBound()) append(_freeNodes, _freeHeader, r, _weight[r]);
  for (QrcInt j = 0; j < _m; ++j) {
    QrcInt packed = 0, count = 0;
    QrcInt* h = candHeader(j);
    bool possible = _used->isPossible(j);
    for (QrcInt r = 0; r < _n; ++r) {
      QrcIntExpI* x = _where[_item[r]];
      if (x->isBound()) {
        if (x->getMin() == j) packed += _weight[r], ++count;
      } else if (possible && x->isInDomain(j)) {
        append(candNodes(j), h, r, _weight[r]);
      }
    }
    set(&_packed[j], packed);
    set(&_packedCount[j], count);
  }
}

// Places within the bins and the possible bins, loads within what the lists
// allow, bins used or not by their items.
void QrcPackI::narrowFirst() {
  QrcIntSetVarI* s = _used;
  for (QrcInt i = 0; i < _n; ++i) _where[i]->setRange(QrcInt(0), _m - 1);
  QrcInt umin = s->getUniverseMin(), umax = s->getUniverseMax();
  if (umin < 0) s->removePossibleRange(umin, umax < -1 ? umax : -1);
  if (umax >= _m) s->removePossibleRange(umin > _m ? umin : _m, umax);
  for (QrcInt j = 0; j < _m; ++j)
    if (!s->isPossible(j))
      for (QrcInt i = 0; i < _n; ++i) _where[i]->removeValue(j);
  for (QrcInt j = 0; j < _m; ++j) {
    QrcInt* h = candHeader(j);
    _load[j]->setRange(_packed[j], _packed[j] + h[3]);
    if (_packedCount[j] > 0 || _load[j]->getMin() >= 1) s->addRequired(j);
    if (_packedCount[j] > 0) continue;
    if (h[2] == 0)
      s->removePossible(j);
    else if (h[2] == 1 && s->isRequired(j))
      _where[_item[h[0]]]->setValue(j);
  }
}

void QrcPackI::propagate() {
  if (_firstPending) firstPropagation();
  boundBins();
  std::sort(_work, _work + _workCount);
  for (QrcInt k = 0; k < _workCount; ++k) {
    QrcInt j = _work[k];
    if (candHeader(j)[2] == 0) continue;
    bool used = _used->isRequired(j);
    QrcIntExpI* x = _load[j];
    QrcInt lo = used ? x->getMax() - _capacity + _residue : _packed[j];
    if (lo < x->getMin()) lo = x->getMin();
    binRules(j, lo, x->getMax(), used);
  }
  _workCount = 0;
}

QrcInt QrcPackI::boundOver(QrcInt k, QrcInt c, QrcInt* residue) {
  std::sort(_pseudo, _pseudo + k, std::greater<QrcInt>());
  QrcInt p = 0, t = 0, r = _freeHeader[0];
  while (p < k || r >= 0) {
    if (r < 0 || (p < k && _pseudo[p] >= _weight[r]))
      _sizes[t++] = _pseudo[p++];
    else
      _sizes[t++] = _weight[r], r = _freeNodes[3 * r + 1];
  }
  _sizeCount = t;
  return QrcPackL2(_sizes, t, c, residue);
}

QrcInt QrcPackI::pseudoItem(QrcInt c, QrcInt j) const {
  Wide p = static_cast<Wide>(c) - _load[j]->getMax() + _packed[j];
  return p < 0 ? 0 : p > c ? c : static_cast<QrcInt>(p);
}

void QrcPackI::boundBins() {
  QrcIntSetVarI* s = _used;
  QrcInt openReq = 0, openOpt = 0, closedReq = 0, c = 0;
  Wide freeSum = 0;
  for (QrcInt j = 0; j < _m; ++j) {
    bool req = s->isRequired(j);
    if (candHeader(j)[2] == 0) {
      closedReq += req;
      continue;
    }
    QrcInt top = _load[j]->getMax();
    if (req) {
      _reqBins[openReq++] = j;
      freeSum += static_cast<Wide>(top) - _packed[j];
      if (top > c) c = top;
    } else {
      _caps[openOpt] = top;
      _optBins[openOpt++] = j;
    }
  }
  Wide slack = freeSum - _freeHeader[3];
  QrcInt extra = 0;
  if (!s->isBound()) {
    // At most q optional bins may still be used.
    QrcInt q = _count->getMax() - openReq - closedReq;
    if (q < 0) q = 0;
    std::sort(_caps, _caps + openOpt, std::greater<QrcInt>());
    for (QrcInt k = 0; k < q && k < openOpt; ++k) slack += _caps[k];
    QrcInt after = q < openOpt ? _caps[q] : 0;
    QrcInt last = q >= 1 && q <= openOpt ? _caps[q - 1] : 0;
    for (QrcInt k = 0; k < openOpt; ++k) {
      QrcInt j = _optBins[k], cap = _load[j]->getMax();
      if (slack - cap + after < 0) s->addRequired(j);
      if (q >= 1 && slack - last + cap < 0) s->removePossible(j);
    }
    if (openOpt > 0 && _caps[0] > c) c = _caps[0];
    QrcInt need = _count->getMin() - openReq - closedReq;
    extra = need < 0 ? 0 : need < openOpt ? need : openOpt;
  }
  if (slack < _slackSeen) {
    set(&_slackSeen, clampWide(slack));
    for (QrcInt j = 0; j < _m; ++j)
      if (candHeader(j)[2] > 0) mark(j, 3, false);
  }
  QrcInt r;
  QrcInt bound = usedBinsBound(openReq, extra, c, &r) + closedReq;
  if (bound < _count->getMax()) r = 0;
  _count->setMin(bound);
  _capacity = c;
  _residue = r;
  raiseLeastLoads(openReq, openOpt, closedReq, c, bound, r);
}

QrcInt QrcPackI::usedBinsBound(QrcInt openReq, QrcInt extra, QrcInt c, QrcInt* residue) {
  QrcInt k = 0;
  for (QrcInt t = 0; t < openReq; ++t) {
    QrcInt p = pseudoItem(c, _reqBins[t]);
    if (p > 0) _pseudo[k++] = p;
  }
  for (QrcInt t = 0; t < extra; ++t)
    if (c - _caps[t] > 0) _pseudo[k++] = c - _caps[t];
  QrcInt bound = boundOver(k, c, residue);
  if (bound == QrcPackInfiniteBound) fail();
  std::copy(_sizes, _sizes + _sizeCount, _allSizes);
  _allCount = _sizeCount;
  return bound;
}

void QrcPackI::raiseLeastLoads(QrcInt openReq, QrcInt openOpt, QrcInt closedReq, QrcInt c,
                               QrcInt bound, QrcInt r) {
  for (QrcInt t = 0; t < openReq; ++t) {
    QrcInt j = _reqBins[t];
    QrcIntExpI* x = _load[j];
    if (r > 0) x->setMin(x->getMax() - c + r);
    if (openOpt > 0 || openReq < 2) continue;
    if (_packedCount[j] == 0 && x->getMax() >= c) continue;
    QrcInt least = perBinBound(j, openReq, closedReq, c, bound);
    if (least > 0) x->setMin(_packed[j] + least);
  }
}

// What the items leave for bin j when every other open bin must be used:
// the residue of L2 over the other bins when that bound uses them all.
QrcInt QrcPackI::perBinBound(QrcInt j, QrcInt openReq, QrcInt closedReq, QrcInt all,
                             QrcInt allBound) {
  QrcInt c = 0, k = 0, r;
  for (QrcInt t = 0; t < openReq; ++t) {
    QrcInt b = _reqBins[t];
    if (b != j && _load[b]->getMax() > c) c = _load[b]->getMax();
  }
  if (c == all) {
    // The sizes of the bound over all the bins less one: L2 cannot grow.
    if (allBound < _count->getMax()) return 0;
    QrcInt p = pseudoItem(c, j), t = 0;
    for (QrcInt u = 0; u < _allCount; ++u)
      if (_allSizes[u] != p || p == 0 || t < u) _sizes[t++] = _allSizes[u];
    QrcInt bound = QrcPackL2(_sizes, t, c, &r);
    if (bound == QrcPackInfiniteBound) return 0;
    return bound + closedReq == _count->getMax() ? r : 0;
  }
  for (QrcInt t = 0; t < openReq; ++t) {
    if (_reqBins[t] == j) continue;
    QrcInt p = pseudoItem(c, _reqBins[t]);
    if (p > 0) _pseudo[k++] = p;
  }
  QrcInt bound = boundOver(k, c, &r);
  if (bound == QrcPackInfiniteBound) return 0;
  return bound + closedReq == _count->getMax() ? r : 0;
}

QrcInt QrcPackI::listCandidates(QrcInt j) {
  QrcInt k = 0;
  const QrcInt* nodes = candNodes(j);
  for (QrcInt r = candHeader(j)[0]; r >= 0; r = nodes[3 * r + 1]) {
    _listItems[k] = _item[r];
    _listWeights[k++] = _weight[r];
  }
  return k;
}

void QrcPackI::binRules(QrcInt j, QrcInt lo, QrcInt hi, bool used) {
  QrcInt packed = _packed[j], cs = candHeader(j)[3];
  QrcInt a = lo - packed, b = hi - packed;
  if (cs < a) {
    _used->removePossible(j);
    return;
  }
  itemRules(j, a, b, used);
  if (!_reach) {
    QrcInt p = 32;
    while (p < _manager->getPackApproximationSize()) p *= 2;
    _manager->saveValue(&_reach);
    _reach = QrcPackReach::make(_manager, _n, p);
  }
  if (_group ? reachGroups(j, a, b, used) : reach(j, a, b, used)) return;
  if (!_reach->isScaled()) return;
  // The reachable sums were approximate: the no-sum test may still prove gaps.
  QrcInt t = listCandidates(j), below, above;
  if (a >= 1 && b < cs && QrcPackNoSum(_listWeights, t, a, b, &below, &above)) {
    _used->removePossible(j);
    return;
  }
  QrcIntExpI* x = _load[j];
  if (b >= 1 && b < cs && QrcPackNoSum(_listWeights, t, b, b, &below, &above))
    x->setMax(packed + below);
  if (used && a >= 1 && a < cs && QrcPackNoSum(_listWeights, t, a, a, &below, &above))
    x->setMin(packed + above);
  if (x->getMin() - packed > a) a = x->getMin() - packed;
  if (x->getMax() - packed < b) b = x->getMax() - packed;
  if (!itemRules(j, a, b, used)) noSumItemRule(j, a, b, used);
}

bool QrcPackI::itemRules(QrcInt j, QrcInt a, QrcInt b, bool used) {
  QrcInt cs = candHeader(j)[3];
  const QrcInt* nodes = candNodes(j);
  bool changed = false;
  for (QrcInt r = candHeader(j)[0]; r >= 0; r = nodes[3 * r + 1]) {
    QrcInt w = _weight[r];
    QrcIntExpI* x = _where[_item[r]];
    bool applies = false;
    if (w > b) {
      applies = true;
      if (x->isInDomain(j)) {
        x->removeValue(j);
        changed = true;
      }
    }
    if (used && cs - w < a) {
      applies = true;
      if (!x->isBound()) changed = true;
      x->setValue(j);
    }
    if (!applies) break;
  }
  return changed;
}

void QrcPackI::tightenLoad(QrcInt j, bool used) {
  QrcIntExpI* x = _load[j];
  x->setMax(_packed[j] + _reach->highestSum());
  if (used) x->setMin(_packed[j] + _reach->lowestSum());
}

bool QrcPackI::reach(QrcInt j, QrcInt a, QrcInt b, bool used) {
  QrcPackReach* rs = _reach;
  rs->clear();
  if (a <= 0 && b >= candHeader(j)[3]) return false;
  const QrcInt* nodes = candNodes(j);
  QrcInt k = 0;
  for (QrcInt r = candHeader(j)[0]; r >= 0; r = nodes[3 * r + 1]) {
    QrcInt w = _weight[r];
    if (w == 0) break;
    if (w > b) {
      _where[_item[r]]->removeValue(j);
      continue;
    }
    rs->beginStage();
    rs->addAlternative(w);
    _listItems[k++] = _item[r];
  }
  if (k == 0) return false;
  if (!rs->solve(a, b)) {
    _used->removePossible(j);
    return true;
  }
  for (QrcInt t = 0; t < k; ++t) {
    QrcIntExpI* x = _where[_listItems[t]];
    if (used && !rs->canSkip(t)) x->setValue(j);
    if (!rs->canTake(t, 0)) x->removeValue(j);
  }
  tightenLoad(j, used);
  return false;
}

bool QrcPackI::reachGroups(QrcInt j, QrcInt a, QrcInt b, bool used) {
  QrcPackReach* rs = _reach;
  rs->clear();
  if (a <= 0 && b >= candHeader(j)[3]) return false;
  const QrcInt* nodes = candNodes(j);
  QrcInt k = 0, stages = 0;
  bool heavy = false;
  for (QrcInt r = candHeader(j)[0]; r >= 0; r = nodes[3 * r + 1]) {
    if (_weight[r] == 0) break;
    if (_weight[r] > b) {
      _where[_item[r]]->removeValue(j);
      heavy = true;
      continue;
    }
    _listItems[k++] = r;
  }
  if (heavy || k == 0) return false;
  // One stage per group, in the order of their heaviest candidates.
  for (QrcInt t = 0; t < k; ++t) {
    QrcInt g = _group[_listItems[t]];
    if (_groupFill[g]++ == 0) _groupStage[g] = stages++;
  }
  for (QrcInt t = 0; t <= stages; ++t) _stageStart[t] = 0;
  for (QrcInt t = 0; t < k; ++t) ++_stageStart[_groupStage[_group[_listItems[t]]] + 1];
  for (QrcInt t = 0; t < stages; ++t) _stageStart[t + 1] += _stageStart[t];
  for (QrcInt t = 0; t < k; ++t) {
    QrcInt g = _group[_listItems[t]];
    _bucket[_stageStart[_groupStage[g] + 1] - _groupFill[g]--] = _listItems[t];
  }
  for (QrcInt t = 0; t < stages; ++t) {
    rs->beginStage();
    for (QrcInt x = _stageStart[t]; x < _stageStart[t + 1]; ++x)
      rs->addAlternative(_weight[_bucket[x]]);
  }
  if (!rs->solve(a, b)) {
    _used->removePossible(j);
    return true;
  }
  for (QrcInt t = 0; t < stages; ++t) {
    QrcInt takeable = 0, last = -1;
    for (QrcInt x = _stageStart[t]; x < _stageStart[t + 1]; ++x) {
      QrcIntExpI* y = _where[_item[_bucket[x]]];
      if (rs->canTake(t, x - _stageStart[t])) {
        ++takeable;
        last = _bucket[x];
      } else {
        y->removeValue(j);
      }
    }
    if (rs->canSkip(t)) continue;
    if (takeable == 0) {
      _used->removePossible(j);
      return true;
    }
    if (takeable == 1 && used) _where[_item[last]]->setValue(j);
  }
  tightenLoad(j, used);
  return false;
}

void QrcPackI::noSumItemRule(QrcInt j, QrcInt a, QrcInt b, bool used) {
  QrcInt cs = candHeader(j)[3];
  if (a <= 0 || b >= cs) return;
  QrcInt k = listCandidates(j), below, above;
  for (QrcInt u = k - 1; u >= 0; --u) {
    QrcInt w = _listWeights[u], i = _listItems[u];
    bool applies = false;
    if (a - w >= 1) {
      // i in j: the rest, without the candidates that cannot share j with i,
      // must reach [a - w, b - w].
      applies = true;
      QrcInt t = 0, apart = 0, gi = _group ? _group[_rank[i]] : 0;
      for (QrcInt v = 0; v < k; ++v) {
        if (v == u) continue;
        QrcInt wv = _listWeights[v];
        if (_group ? _group[_rank[_listItems[v]]] == gi : w + wv > b)
          apart += wv;
        else
          _testWeights[t++] = wv;
      }
      if (cs - apart < a || QrcPackNoSum(_testWeights, t, a - w, b - w, &below, &above))
        _where[i]->removeValue(j);
    }
    if (used && cs - w > b) {
      // i out of j: the rest must reach [a, b].
      applies = true;
      QrcInt t = 0;
      for (QrcInt v = 0; v < k; ++v)
        if (v != u) _testWeights[t++] = _listWeights[v];
      if (QrcPackNoSum(_testWeights, t, a, b, &below, &above)) _where[i]->setValue(j);
    }
    if (!applies) break;
  }
}

// ---------------------------------------------------------------- creation

void QrcPackCheckHandle(const void* handle) {
  if (!handle) throw QrcEmptyHandleException("Empty handle passed to QrcPack");
}

void QrcPackCheckSizes(const QrcIntVarArray& where, const QrcIntArray& weight) {
  if (where.getSize() != weight.getSize())
    throw QrcException("Array size mismatch between where and weight parameters");
}

void QrcPackCheckWeights(const QrcIntArray& weight) {
  QrcInt sum = 0;
  for (QrcInt i = 0; i < weight.getSize(); ++i) {
    if (weight[i] < 0) throw QrcException("Negative weights are not supported by QrcPack");
    if (__builtin_add_overflow(sum, weight[i], &sum))
      throw QrcException(
          "Weights supplied to QrcPack are too large; their sum must be no greater than QrcIntMax");
  }
}

namespace {

QrcConstraint makePack(const QrcIntVarArray& load, const QrcIntVarArray& where,
                       const QrcIntArray& weight, const void* last, QrcIntSetVarI* used,
                       QrcIntExpI* count, bool withTable, QrcInt** table) {
  QrcPackCheckHandle(load.getImpl());
  QrcPackCheckHandle(where.getImpl());
  QrcPackCheckHandle(weight.getImpl());
  QrcPackCheckHandle(last);
  if (withTable) {
    QrcPackCheckHandle(table);
    for (QrcInt i = 0; i < where.getSize(); ++i) QrcPackCheckHandle(table[i]);
  }
  QrcCheckOperands("QrcPack", {load, where, used, count});
  QrcPackCheckSizes(where, weight);
  QrcPackCheckWeights(weight);
  QrcManagerI* m = load.getImpl()->getManager();
  return QrcConstraint(new (m) QrcPackI(m, load, where, weight, used, count, table));
}

}  // namespace

QrcConstraint QrcPack(const QrcIntVarArray& load, const QrcIntVarArray& where,
                      const QrcIntArray& weight) {
  return makePack(load, where, weight, weight.getImpl(), nullptr, nullptr, false, nullptr);
}

QrcConstraint QrcPack(const QrcIntVarArray& load, const QrcIntVarArray& where,
                      const QrcIntArray& weight, const QrcIntVar& used) {
  return makePack(load, where, weight, used.getImpl(), nullptr, used.getImpl(), false, nullptr);
}

QrcConstraint QrcPack(const QrcIntVarArray& load, const QrcIntVarArray& where,
                      const QrcIntArray& weight, const QrcIntVar& used, QrcInt** table) {
  return makePack(load, where, weight, used.getImpl(), nullptr, used.getImpl(), true, table);
}

QrcConstraint QrcPack(const QrcIntVarArray& load, const QrcIntVarArray& where,
                      const QrcIntArray& weight, const QrcIntSetVar& used) {
  return makePack(load, where, weight, used.getImpl(), used.getImpl(), nullptr, false, nullptr);
}
