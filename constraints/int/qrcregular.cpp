#include "qrcregular.h"

#include <algorithm>
#include <cfloat>
#include <ostream>
#include <vector>

#include "qrcdomainwalk.h"
#include "qrcheaparray.h"
#include "qrcmanager.h"

namespace {

template <class T>
T* heapCopy(QrcManagerI* m, const T* values, QrcInt n) {
  T* out = allocArray<T>(m, n);
  for (QrcInt i = 0; i < n; ++i) out[i] = values[i];
  return out;
}

}  // namespace

// ---------------------------------------------------------------- demons

void QrcRegular_varArrayDemonI::propagate() {
  _ct->lostValues((_x->getCurrentIndex() - _x->getFirstIndex()) / _x->getStep());
}

void QrcRegular_varArrayDemonI::display(std::ostream& os) const {
  os << "QrcRegular_varArrayDemon";
}

void QrcRegular_VcoutDemonI::display(std::ostream& os) const {
  os << "QrcRegular_VcoutDemon";
}

// ---------------------------------------------------------------- construction

QrcRegularI::QrcRegularI(QrcManagerI* m, QrcIntVarArrayI* x, QrcInt states, const QrcInt* T,
                         QrcInt symbols, const QrcInt* alphabet, const QrcInt* finals,
                         QrcInt finalCount, const double* costs, QrcFloatExpI* z, bool others)
    : QrcConstraintI(m),
      _x(x),
      _n(x ? x->getSize() : 0),
      _states(states),
      _symbols(symbols),
      _T(heapCopy(m, T, states * symbols)),
      _alphabet(heapCopy(m, alphabet, symbols)),
      _final(static_cast<QrcInt*>(m->allocate(static_cast<size_t>(states) * sizeof(QrcInt)))),
      _costs(costs ? heapCopy(m, costs, _n * states * symbols) : nullptr),
      _z(z),
      _minValue(0),
      _maxValue(-1),
      _map(nullptr),
      _sortedValues(nullptr),
      _nSorted(0),
      _others(others && symbols > 0 ? symbols - 1 : -1),
      _listedIn(nullptr),
      _support(nullptr),
      _labels(nullptr),
      _heads{nullptr, nullptr, nullptr} {
  for (QrcInt q = 0; q < states; ++q) _final[q] = 0;
  for (QrcInt f = 0; f < finalCount; ++f) _final[finals[f]] = 1;
}

QrcInt QrcRegularI::symbolOf(QrcInt v) const {
  if (v < _minValue || v > _maxValue) return _others;
  QrcInt j = _map->get(v);
  return j == QrcIntMapAbsent ? _others : j;
}

QrcRegularEdge** QrcRegularI::head(QrcRegularEdge::List list, QrcInt i, QrcInt k) {
  return &_heads[list][i * (list == QrcRegularEdge::Symbol ? _symbols : _states) + k];
}

void QrcRegularI::link(QrcRegularEdge* e, QrcRegularEdge::List list, QrcRegularEdge** h) {
  e->links[list].prev = nullptr;
  e->links[list].next = *h;
  if (*h) (*h)->links[list].prev = e;
  *h = e;
}

// Lists insert at the head while the graph is built; unlinking saves the links it changes.
void QrcRegularI::unlink(QrcRegularEdge* e, QrcRegularEdge::List list) {
  QrcRegularLink& l = e->links[list];
  QrcRegularEdge** before;
  if (l.prev) {
    before = &l.prev->links[list].next;
  } else if (list == QrcRegularEdge::Out) {
    before = head(list, e->layer, e->source);
  } else if (list == QrcRegularEdge::In) {
    before = head(list, e->layer + 1, e->target);
  } else {
    before = head(list, e->layer, e->symbol);
  }
  _manager->saveValue(before);
  *before = l.next;
  if (l.next) {
    _manager->saveValue(&l.next->links[list].prev);
    l.next->links[list].prev = l.prev;
  }
}

void QrcRegularI::saveLabel(QrcRegularLabel* l) {
  QrcInt stamp = _manager->getStamp();
  if (l->stamp == stamp) return;
  void* fields[8] = {&l->fwdMin,     &l->fwdMax,     &l->bwdMin,     &l->bwdMax,
                     &l->fwdMinPred, &l->fwdMaxPred, &l->bwdMinSucc, &l->bwdMaxSucc};
  for (void* f : fields) _manager->saveValue(f);
  l->stamp = stamp;
}

// Everything the graph needs is made anew at each posting: a search that
// ended gave back what an earlier posting made. The posting narrows nothing:
// the first propagation does, once the demons listen, so that every change it
// sets off (partners of offsets, a variable at two positions) reaches them.
void QrcRegularI::post() {
  indexValues();
  build();
  if (_others >= 0) {
    _listedIn = static_cast<QrcRevWord*>(
        _manager->allocate(static_cast<size_t>(_n > 0 ? _n : 1) * sizeof(QrcRevWord)));
    for (QrcInt i = 0; i < _n; ++i) {
      QrcInt listed = 0;
      for (QrcInt j = 0; j < _symbols; ++j) listed += j != _others && hasEdges(i, j);
      new (&_listedIn[i]) QrcRevWord(_manager, listed);
    }
  }
  if (_n > 0) _x->whenDomain(new (_manager) QrcRegular_varArrayDemonI(_manager, this, _x));
  _z->whenRange(new (_manager) QrcRegular_VcoutDemonI(_manager, this));
}

// The symbols of the values within the domains' bounds, and those values sorted.
void QrcRegularI::indexValues() {
  _nSorted = 0;
  _map = nullptr;
  _sortedValues = nullptr;
  _listedIn = nullptr;
  for (QrcInt i = 0; i < _n; ++i) {
    QrcIntExpI* v = _x->getVar(i);
    if (i == 0 || v->getMin() < _minValue) _minValue = v->getMin();
    if (i == 0 || v->getMax() > _maxValue) _maxValue = v->getMax();
  }
  if (_n == 0) return;
  // Dense over [minValue, maxValue] when that range is small enough.
  _map = new (_manager) QrcIntMap(_manager);
  for (QrcInt j = 0; j < _symbols; ++j)
    if (j != _others && _alphabet[j] >= _minValue && _alphabet[j] <= _maxValue)
      _map->add(_alphabet[j], j);
  _map->compact(2);
  _sortedValues = static_cast<QrcInt*>(
      _manager->allocate(static_cast<size_t>(_symbols > 0 ? _symbols : 1) * sizeof(QrcInt)));
  for (QrcInt j = 0; j < _symbols; ++j)
    if (j != _others && symbolOf(_alphabet[j]) == j) _sortedValues[_nSorted++] = _alphabet[j];
  std::sort(_sortedValues, _sortedValues + _nSorted);
}

template <class F>
QrcInt QrcRegularI::forEachSymbol(QrcIntExpI* x, F f) {
  QrcInt hi = x->getMax(), count = 0;
  if (x->getSize() <= _nSorted) {
    for (QrcInt v = x->getMin();; v = x->getNextHigher(v)) {
      QrcInt j = symbolOf(v);
      if (j >= 0 && j != _others) {
        ++count;
        f(v, j);
      }
      if (v >= hi) return count;
    }
  }
  const QrcInt* sorted = _sortedValues;
  auto value = [sorted](QrcInt k) { return sorted[k]; };
  for (QrcInt k = qrcdomain::lowerBound(value, _nSorted, x->getMin());
       k < _nSorted && sorted[k] <= hi; ++k)
    if (x->isInDomain(sorted[k])) {
      ++count;
      f(sorted[k], symbolOf(sorted[k]));
    }
  return count;
}

template <class F>
void QrcRegularI::forEachSymbolPresent(QrcIntExpI* x, F f) {
  QrcInt listed = forEachSymbol(x, [&](QrcInt, QrcInt j) { f(j); });
  if (_others >= 0 && x->getSize() > listed) f(_others);
}

void QrcRegularI::restrictDomains() {
  for (QrcInt i = 0; i < _n; ++i) {
    QrcIntExpI* x = _x->getVar(i);
    QrcInt kept = 0;
    QrcInt listed = forEachSymbol(
        x, [&](QrcInt, QrcInt j) { kept += _support[i * _symbols + j].getValue() > 0; });
    if (_others >= 0 && x->getSize() > listed && _support[i * _symbols + _others].getValue() > 0) {
      // The other values stay: only listed values without an edge go.
      if (kept < listed)
        forEachSymbol(x, [&](QrcInt v, QrcInt j) {
          if (_support[i * _symbols + j].getValue() == 0) x->removeValue(v);
        });
      continue;
    }
    if (kept == x->getSize()) continue;
    if (kept == 0) x->setMax(x->getMin() - 1);  // fails
    QrcInt* values =
        static_cast<QrcInt*>(_manager->allocate(static_cast<size_t>(kept) * sizeof(QrcInt)));
    QrcInt k = 0;
    forEachSymbol(x, [&](QrcInt v, QrcInt j) {
      if (_support[i * _symbols + j].getValue() > 0) values[k++] = v;
    });
    x->setDomain(kept, values, new (_manager) QrcIntCollectionI(_manager, kept, values, true));
  }
}

void QrcRegularI::build() {
  QrcInt n = _n, s = _states, m = _symbols;
  allocateGraph();
  if (n == 0) return;

  // Forward: the states reached, the edges taken, the labels from the start.
  std::vector<char> reached(static_cast<size_t>((n + 1) * s), 0),
      flag(static_cast<size_t>(n * m * s), 0);
  forwardPass(reached.data(), flag.data());

  // Backward: the edges into states that reach a final state, the labels to the end.
  std::vector<char> useful(static_cast<size_t>(s));
  backwardPass(reached.data(), flag.data(), useful.data());
  linkSymbolLists();
}

// The support counts, the labels (start and final states set) and the list heads.
void QrcRegularI::allocateGraph() {
  QrcInt n = _n, s = _states, m = _symbols;
  _support = static_cast<QrcRevWord*>(
      _manager->allocate(static_cast<size_t>(n * m > 0 ? n * m : 1) * sizeof(QrcRevWord)));
  for (QrcInt k = 0; k < n * m; ++k) new (&_support[k]) QrcRevWord(_manager, 0);
  _labels = static_cast<QrcRegularLabel*>(
      _manager->allocate(static_cast<size_t>((n + 1) * s) * sizeof(QrcRegularLabel)));
  for (QrcInt k = 0; k < (n + 1) * s; ++k)
    _labels[k] = QrcRegularLabel{DBL_MAX, -DBL_MAX, DBL_MAX, -DBL_MAX, -1, -1, -1, -1, 0};
  _labels[0].fwdMin = _labels[0].fwdMax = 0;
  for (QrcInt f = 0; f < s; ++f)
    if (_final[f]) label(n, f)->bwdMin = label(n, f)->bwdMax = 0;
  const QrcRegularEdge::List lists[3] = {QrcRegularEdge::Out, QrcRegularEdge::In,
                                         QrcRegularEdge::Symbol};
  const QrcInt sizes[3] = {n * s, (n + 1) * s, n * m};
  for (QrcRegularEdge::List l : lists) {
    _heads[l] = static_cast<QrcRegularEdge**>(
        _manager->allocate(static_cast<size_t>(sizes[l] > 0 ? sizes[l] : 1) * sizeof(void*)));
    for (QrcInt k = 0; k < sizes[l]; ++k) _heads[l][k] = nullptr;
  }
}

void QrcRegularI::forwardPass(char* reached, char* flag) {
  QrcInt n = _n, s = _states, m = _symbols;
  reached[0] = 1;
  for (QrcInt i = 0; i < n; ++i) {
    QrcIntExpI* x = _x->getVar(i);
    for (QrcInt q = 0; q < s; ++q) {
      if (!reached[static_cast<size_t>(i * s + q)]) continue;
      const QrcRegularLabel* from = label(i, q);
      forEachSymbolPresent(x, [&](QrcInt j) {
        QrcInt t = _T[q * m + j];
        if (t >= 0) {
          char& f = flag[static_cast<size_t>((i * m + j) * s + q)];
          if (!f) {
            f = 1;
            _support[i * m + j].setNoSave(_support[i * m + j].getValue() + 1);
          }
          reached[static_cast<size_t>((i + 1) * s + t)] = 1;
          QrcRegularLabel* to = label(i + 1, t);
          double c = cost(i, q, j);
          if (to->fwdMin > from->fwdMin + c) {
            to->fwdMin = from->fwdMin + c;
            to->fwdMinPred = q;
          }
          if (from->fwdMax + c > to->fwdMax) {
            to->fwdMax = from->fwdMax + c;
            to->fwdMaxPred = q;
          }
        }
      });
    }
  }
  for (QrcInt q = 0; q < s; ++q)
    if (!_final[q]) reached[static_cast<size_t>(n * s + q)] = 0;
}

void QrcRegularI::backwardPass(char* reached, char* flag, char* useful) {
  QrcInt n = _n, s = _states, m = _symbols;
  for (QrcInt i = n - 1; i >= 0; --i) {
    QrcIntExpI* x = _x->getVar(i);
    for (QrcInt q = 0; q < s; ++q) useful[static_cast<size_t>(q)] = 0;
    forEachSymbolPresent(x, [&](QrcInt j) {
      for (QrcInt q = 0; q < s; ++q) {
        char& f = flag[static_cast<size_t>((i * m + j) * s + q)];
        if (!f || !reached[static_cast<size_t>(i * s + q)]) continue;
        QrcInt t = _T[q * m + j];
        if (!reached[static_cast<size_t>((i + 1) * s + t)]) {
          f = 0;
          _support[i * m + j].setNoSave(_support[i * m + j].getValue() - 1);
          continue;
        }
        useful[static_cast<size_t>(q)] = 1;
        QrcRegularLabel* from = label(i, q);
        const QrcRegularLabel* to = label(i + 1, t);
        double c = cost(i, q, j);
        if (from->bwdMin > to->bwdMin + c) {
          from->bwdMin = to->bwdMin + c;
          from->bwdMinSucc = t;
        }
        if (to->bwdMax + c > from->bwdMax) {
          from->bwdMax = to->bwdMax + c;
          from->bwdMaxSucc = t;
        }
        QrcRegularEdge* e = new (_manager) QrcRegularEdge;
        e->layer = i;
        e->source = q;
        e->symbol = j;
        e->target = t;
        e->alive = 1;
        e->nextRemoved = nullptr;
        link(e, QrcRegularEdge::Out, head(QrcRegularEdge::Out, i, q));
        link(e, QrcRegularEdge::In, head(QrcRegularEdge::In, i + 1, t));
      }
    });
    for (QrcInt q = 0; q < s; ++q)
      if (!useful[static_cast<size_t>(q)]) reached[static_cast<size_t>(i * s + q)] = 0;
  }
}

// The symbol lists follow the order of the out lists.
void QrcRegularI::linkSymbolLists() {
  QrcInt n = _n, s = _states;
  for (QrcInt i = 0; i < n; ++i)
    for (QrcInt q = 0; q < s; ++q)
      for (QrcRegularEdge* e = *head(QrcRegularEdge::Out, i, q); e;
           e = e->links[QrcRegularEdge::Out].next)
        link(e, QrcRegularEdge::Symbol, head(QrcRegularEdge::Symbol, i, e->symbol));
}

// ---------------------------------------------------------------- filtering

// An edge stays while a complete path through it can meet z's bounds; an
// edge on no complete path has an infinite label, and z is finite from the
// first propagation on.
bool QrcRegularI::fails(const QrcRegularEdge* e) {
  const QrcRegularLabel* a = label(e->layer, e->source);
  const QrcRegularLabel* b = label(e->layer + 1, e->target);
  double c = cost(e->layer, e->source, e->symbol);
  return a->fwdMin + c + b->bwdMin > _z->getMax() || _z->getMin() > a->fwdMax + c + b->bwdMax;
}

void QrcRegularI::removeEdge(QrcRegularEdge* e) {
  _manager->saveValue(&e->alive);
  e->alive = 0;
  unlink(e, QrcRegularEdge::Out);
  unlink(e, QrcRegularEdge::In);
  unlink(e, QrcRegularEdge::Symbol);
  QrcRevWord& count = _support[e->layer * _symbols + e->symbol];
  count.set(_manager, count.getValue() - 1);
  if (count.getValue() > 0) return;
  if (e->symbol == _others) {
    removeOthers(e->layer);
    return;
  }
  if (_listedIn) _listedIn[e->layer].set(_manager, _listedIn[e->layer].getValue() - 1);
  _x->getVar(e->layer)->removeValue(_alphabet[e->symbol]);
}

void QrcRegularI::removeOthers(QrcInt i) {
  const QrcInt* sorted = _sortedValues;
  qrcdomain::keepOnly(
      _x->getVar(i), [sorted](QrcInt k) { return sorted[k]; }, _nSorted);
}

// The two directions of label repair. Backward: the labels of (i, q) to the
// end, over the out-edges of q; forward: the labels of (i + 1, t) from the
// start, over the in-edges of t.
struct QrcRegularI::Side {
  double QrcRegularLabel::*min;
  double QrcRegularLabel::*max;
  QrcInt QrcRegularLabel::*minVia;
  QrcInt QrcRegularLabel::*maxVia;
  QrcRegularEdge::List scan;  // the edges the labels come through
  QrcRegularEdge::List next;  // the edges whose labels depend on these
};

const QrcRegularI::Side QrcRegularI::Backward = {
    &QrcRegularLabel::bwdMin,     &QrcRegularLabel::bwdMax, &QrcRegularLabel::bwdMinSucc,
    &QrcRegularLabel::bwdMaxSucc, QrcRegularEdge::Out,      QrcRegularEdge::In};
const QrcRegularI::Side QrcRegularI::Forward = {
    &QrcRegularLabel::fwdMin,     &QrcRegularLabel::fwdMax, &QrcRegularLabel::fwdMinPred,
    &QrcRegularLabel::fwdMaxPred, QrcRegularEdge::In,       QrcRegularEdge::Out};

// After the edge between state (k, state) and its neighbour gone went: the
// labels of (k, state) on one side, recomputed when they came through gone.
// When one changed, the edges depending on it are tested (the failing ones
// removed) and repaired in turn; the removed ones then repair the other side.
void QrcRegularI::repair(const Side& side, QrcInt k, QrcInt state, QrcInt gone) {
  bool backward = &side == &Backward;
  QrcRegularLabel* l = label(k, state);
  bool changed = false;
  if (l->*side.minVia == gone || l->*side.maxVia == gone) {
    double best = DBL_MAX, worst = -DBL_MAX;
    QrcInt bestVia = -1, worstVia = -1;
    for (QrcRegularEdge* e = *head(side.scan, k, state); e; e = e->links[side.scan].next) {
      QrcInt via = backward ? e->target : e->source;
      const QrcRegularLabel* n = label(backward ? k + 1 : k - 1, via);
      if (n->*side.min == DBL_MAX) continue;
      double c = cost(e->layer, e->source, e->symbol);
      if (n->*side.min + c < best) {
        best = n->*side.min + c;
        bestVia = via;
      }
      if (n->*side.max + c > worst) {
        worst = n->*side.max + c;
        worstVia = via;
      }
    }
    if (l->*side.minVia == gone && (best != l->*side.min || bestVia != gone)) {
      saveLabel(l);
      changed = changed || best != l->*side.min;
      l->*side.min = best;
      l->*side.minVia = bestVia;
    }
    if (l->*side.maxVia == gone && (worst != l->*side.max || worstVia != gone)) {
      saveLabel(l);
      changed = changed || worst != l->*side.max;
      l->*side.max = worst;
      l->*side.maxVia = worstVia;
    }
  }
  if (!changed || (backward ? k == 0 : k == _n)) return;
  QrcRegularEdge* removed = nullptr;
  for (QrcRegularEdge *e = *head(side.next, k, state), *next; e; e = next) {
    next = e->links[side.next].next;
    if (!e->alive) continue;
    if (fails(e)) {
      removeEdge(e);
      e->nextRemoved = removed;
      removed = e;
    }
    if (backward)
      repair(Backward, k - 1, e->source, state);
    else
      repair(Forward, k + 1, e->target, state);
  }
  for (; removed; removed = removed->nextRemoved) {
    if (backward)
      repair(Forward, k, state, removed->source);
    else
      repair(Backward, k, state, removed->target);
  }
}

// The labels around removed edges, in reverse order of removal.
void QrcRegularI::repairRemoved(QrcRegularEdge* removed) {
  for (; removed; removed = removed->nextRemoved) {
    repair(Backward, removed->layer, removed->source, removed->target);
    repair(Forward, removed->layer + 1, removed->target, removed->source);
  }
}

void QrcRegularI::filterAll() {
  QrcRegularEdge* removed = nullptr;
  for (QrcInt i = 0; i < _n; ++i)
    for (QrcInt j = 0; j < _symbols; ++j)
      for (QrcRegularEdge *e = *head(QrcRegularEdge::Symbol, i, j), *next; e; e = next) {
        next = e->links[QrcRegularEdge::Symbol].next;
        if (!e->alive || !fails(e)) continue;
        removeEdge(e);
        e->nextRemoved = removed;
        removed = e;
      }
  repairRemoved(removed);
}

void QrcRegularI::narrowCost() {
  const QrcRegularLabel* start = label(0, 0);
  _z->setRange(start->bwdMin, start->bwdMax);
}

// Runs once, right after the posting.
void QrcRegularI::propagate() {
  dropLostEdges();
  // Values without a symbol, or whose symbol no edge carries.
  restrictDomains();
  filterAll();
  narrowCost();
}

// The edges of a symbol at layer i, put on the removed list.
inline void QrcRegularI::dropEdges(QrcInt i, QrcInt j, QrcRegularEdge*& removed) {
  for (QrcRegularEdge *e = *head(QrcRegularEdge::Symbol, i, j), *next; e; e = next) {
    next = e->links[QrcRegularEdge::Symbol].next;
    if (!e->alive) continue;
    removeEdge(e);
    e->nextRemoved = removed;
    removed = e;
  }
}

// With others: whether layer i's domain holds listed values only, once the
// edges of every listed value it lost are gone. Each listed value still in
// the domain then has edges, so counting the symbols with edges is enough.
inline bool QrcRegularI::othersGone(QrcInt i) {
  return _others >= 0 && _x->getVar(i)->getSize() == _listedIn[i].getValue() &&
         hasEdges(i, _others);
}

// The edges whose value left its domain before the demons listened.
void QrcRegularI::dropLostEdges() {
  QrcRegularEdge* removed = nullptr;
  for (QrcInt i = 0; i < _n; ++i) {
    QrcIntExpI* x = _x->getVar(i);
    for (QrcInt j = 0; j < _symbols; ++j)
      if (j != _others && hasEdges(i, j) && !x->isInDomain(_alphabet[j])) dropEdges(i, j, removed);
    if (othersGone(i)) dropEdges(i, _others, removed);
  }
  repairRemoved(removed);
}

// A demon may see a value twice (a change made before it listened and not
// yet processed): dropping the edges of a symbol is idempotent.
void QrcRegularI::lostValues(QrcInt i) {
  QrcRegularEdge* removed = nullptr;
  const QrcInt* sorted = _sortedValues;
  // The lost values that have a symbol: the span the bounds went past is not walked.
  qrcdomain::forEachLostValue(
      _x->getVar(i), [sorted](QrcInt k) { return sorted[k]; }, _nSorted,
      [&](QrcInt v) {
        QrcInt j = symbolOf(v);
        if (j >= 0 && j != _others) dropEdges(i, j, removed);
        return true;
      });
  if (othersGone(i)) dropEdges(i, _others, removed);
  repairRemoved(removed);
  narrowCost();
}

void QrcRegularI::costChanged() {
  const QrcRegularLabel* start = label(0, 0);
  if (_z->getMin() > start->bwdMin || start->bwdMax > _z->getMax()) {
    filterAll();
    narrowCost();
  }
}
