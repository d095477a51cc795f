// Tables given by a predicate, and forbidden tables: each position keeps its
// values in runs [lo, hi] sharing one support, a tuple the predicate accepts
// (for a forbidden table: one outside the set) whose other values lie in
// their domains, moving with the value where the run says so. A change of a
// domain checks the runs of the other positions; the values of a run whose
// support left seek again, and those without support are removed: the table
// keeps generalised arc consistency. Code that can fail keeps trivially
// destructible locals only.
#include <algorithm>
#include <cstddef>
#include <ostream>

#include "qrcdomainwalk.h"
#include "qrcheaparray.h"
#include "qrcmanager.h"
#include "qrctablepredicate.h"

namespace {

class QrcGACSPredicateDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcGACSPredicateDemonI)
  QROSIMPLECLASS(QrcGACSPredicateDemonI, QrcDemonI)
 public:
  QrcGACSPredicateDemonI(QrcManagerI* m, QrcGACSPredicateI* ct, QrcInt position)
      : QrcDemonI(m, ct), _ct(ct), _position(position) {}
  void propagate() override { _ct->changed(_position); }
  void display(std::ostream& os) const override { os << "QrcWLConstraintIVarDomain"; }

 private:
  QrcGACSPredicateI* _ct;
  QrcInt _position;
};

// The first value of x's domain in [lo, hi]; false when none.
bool firstIn(QrcIntExpI* x, QrcInt lo, QrcInt hi, QrcInt& v) {
  QrcInt a = lo > x->getMin() ? lo : x->getMin();
  if (a > hi || a > x->getMax()) return false;
  v = x->isInDomain(a) ? a : x->getNextHigher(a);
  return v > a - 1 && v <= hi && x->isInDomain(v);
}

// Removals of the values found without support, gathered into ranges of
// consecutive domain values.
struct Removals {
  QrcIntExpI* x;
  QrcInt a;
  QrcInt b;
  bool open;
  bool last;  // the previous value walked went
  void add(QrcInt v) {
    if (open && last) {
      b = v;
    } else {
      flush();
      a = b = v;
      open = true;
    }
    last = true;
  }
  void kept() { last = false; }
  void flush() {
    if (!open) return;
    open = false;
    x->removeRange(a, b);
  }
};

}  // namespace

QrcGACSPredicateI::QrcGACSPredicateI(QrcManagerI* m, QrcIntVarArrayI* vars,
                                     QrcIntPredicateI* general, QrcIntBinaryPredicateI* binary,
                                     QrcIntTernaryPredicateI* ternary)
    : QrcConstraintI(m),
      _arity(vars ? vars->getSize() : 0),
      _vars(vars),
      _general(general),
      _binary(binary),
      _ternary(ternary),
      _forbidden(nullptr),
      _candidate(allocArray<QrcInt>(m, _arity, 0)),
      _runs(allocArray<QrcGACRun*>(m, _arity, nullptr)),
      _columns(allocArray<QrcInt*>(m, _arity, nullptr)),
      _columnSizes(allocArray<QrcInt>(m, _arity, 0)),
      _changed(allocArray<unsigned char>(m, _arity, 0)),
      _built(0) {
  if (QrcGACForbiddenI* f = dynamic_cast<QrcGACForbiddenI*>(general)) _forbidden = f->getSet();
  // Any other predicate is the caller's code, which propagation runs.
  if (binary || ternary || (general && typeid(*general) != typeid(QrcGACForbiddenI)))
    m->noteForeignCode();
}

void QrcGACSPredicateI::post() {
  for (QrcInt k = 0; k < _arity; ++k) {
    QrcIntExpI* x = _vars->getVar(k);
    x->makeEventHandlerConstraint();
    x->whenDomain(new (_manager) QrcGACSPredicateDemonI(_manager, this, k));
  }
}

void QrcGACSPredicateI::changed(QrcInt j) {
  _changed[j] = 1;
  push();
}

QrcBool QrcGACSPredicateI::accepts() const {
  if (_general) return _general->isTrue(_candidate);
  if (_arity == 2 && _binary) return _binary->isTrue(_candidate[0], _candidate[1]);
  return _ternary->isTrue(_candidate[0], _candidate[1], _candidate[2]);
}

bool QrcGACSPredicateI::tryCandidate(QrcInt k) {
  for (QrcInt j = 0; j < _arity; ++j)
    if (j != k && !_vars->getVar(j)->isInDomain(_candidate[j])) return false;
  return accepts() != 0;
}

bool QrcGACSPredicateI::seek(QrcInt k, QrcInt v) {
  QrcInt* c = _candidate;
  c[k] = v;
  // Two or three arguments: the tuples of the other domains' bounds with one
  // maximum at least, which long runs share (v < max, v != min...).
  if (!_general) {
    QrcInt others = 0;
    for (QrcInt j = 0; j < _arity; ++j)
      if (j != k) others |= QrcInt(1) << j;
    for (QrcInt mask = others; mask > 0; mask = (mask - 1) & others) {
      for (QrcInt j = 0; j < _arity; ++j)
        if (j != k)
          c[j] = (mask >> j) & 1 ? _vars->getVar(j)->getMax() : _vars->getVar(j)->getMin();
      if (accepts()) return true;
    }
  }
  // The product of the other domains in lexicographic order.
  for (QrcInt j = 0; j < _arity; ++j)
    if (j != k) c[j] = _vars->getVar(j)->getMin();
  for (;;) {
    c[k] = v;
    if (accepts()) return true;
    QrcInt j = _arity - 1;
    for (; j >= 0; --j) {
      if (j == k) continue;
      QrcIntExpI* x = _vars->getVar(j);
      QrcInt w = x->getNextHigher(c[j]);
      if (w > c[j]) {
        c[j] = w;
        break;
      }
      c[j] = x->getMin();
    }
    if (j < 0) return false;
  }
}

bool QrcGACSPredicateI::valid(QrcInt k, const QrcGACRun* r) const {
  if (r->free) return true;
  for (QrcInt j = 0; j < _arity; ++j) {
    if (j == k) continue;
    QrcIntExpI* x = _vars->getVar(j);
    QrcInt s = r->support[j];
    if (!x->isInDomain(s)) return false;
    if ((r->shift >> j) & 1 && qrcdomain::runEnd(x, s) < s + (r->hi - r->lo)) return false;
  }
  return true;
}

QrcGACRun* QrcGACSPredicateI::newRun(QrcInt k, QrcInt lo, QrcInt hi, QrcInt shift, QrcInt free) {
  size_t bytes = offsetof(QrcGACRun, support) + static_cast<size_t>(_arity) * sizeof(QrcInt);
  QrcGACRun* r = static_cast<QrcGACRun*>(_manager->allocate(bytes));
  r->lo = lo;
  r->hi = hi;
  r->next = nullptr;
  r->shift = shift;
  r->free = free;
  for (QrcInt j = 0; j < _arity; ++j) r->support[j] = free ? 0 : _candidate[j];
  r->support[k] = 0;
  return r;
}

const QrcInt* QrcGACSPredicateI::column(QrcInt k, QrcInt& count) {
  if (!_columns[k]) {
    const QrcTupleColumn& col = _forbidden->getColumn(k);
    QrcInt* sorted = allocArray<QrcInt>(_manager, col.size, 0);
    for (QrcInt i = 0; i < col.size; ++i) sorted[i] = col.values[i];
    std::sort(sorted, sorted + col.size);
    _manager->saveValue(&_columns[k]);
    _columns[k] = sorted;
    _columnSizes[k] = col.size;
  }
  count = _columnSizes[k];
  return _columns[k];
}

struct QrcGACSPredicateI::BuildState {
  QrcInt k;
  QrcInt others;  // the other positions, as a mask
  QrcGACRun* head;
  QrcGACRun* last;
  QrcGACRun* cur;  // the run being extended, not yet chained
  Removals gone;
  void chain(QrcGACRun* r) {
    if (last)
      last->next = r;
    else
      head = r;
    last = r;
  }
};

void QrcGACSPredicateI::takeValue(BuildState& b, QrcInt v) {
  QrcInt k = b.k;
  QrcGACRun* cur = b.cur;
  if (cur) {
    // The run's support carried to v: as it is, or moving with v (only
    // over consecutive values, and tried while the run holds one value).
    QrcInt others = b.others;
    bool single = cur->lo == cur->hi;
    QrcInt masks[4] = {single ? 0 : cur->shift, others, others & -others, others & (others - 1)};
    QrcInt tries = single && !_general ? (_arity == 3 ? 4 : 2) : 1;
    for (QrcInt t = 0; t < tries; ++t) {
      QrcInt mask = masks[t];
      if (mask && v != cur->hi + 1) continue;
      for (QrcInt j = 0; j < _arity; ++j)
        if (j != k) _candidate[j] = cur->support[j] + ((mask >> j) & 1 ? v - cur->lo : 0);
      _candidate[k] = v;
      if (tryCandidate(k)) {
        cur->hi = v;
        cur->shift = mask;
        b.gone.kept();
        return;
      }
    }
    b.chain(cur);
    b.cur = nullptr;
  }
  if (seek(k, v)) {
    b.cur = newRun(k, v, v, 0, 0);
    b.gone.kept();
  } else {
    b.gone.add(v);
  }
}

void QrcGACSPredicateI::buildBetweenColumn(BuildState& b, QrcInt v, QrcInt end) {
  QrcIntExpI* x = b.gone.x;
  QrcInt n = 0;
  const QrcInt* col = column(b.k, n);
  for (QrcInt i = qrcdomain::lowerBound([col](QrcInt t) { return col[t]; }, n, v); v <= end;) {
    QrcInt c = i < n && col[i] <= end ? col[i] : end + 1;
    QrcInt f;
    if (v < c && firstIn(x, v, c - 1, f)) {
      if (b.cur) b.chain(b.cur);
      b.cur = nullptr;
      b.gone.kept();
      b.chain(newRun(b.k, v, c - 1, 0, 1));
    }
    if (c > end) break;
    if (x->isInDomain(c)) takeValue(b, c);
    v = c + 1;
    ++i;
  }
}

void QrcGACSPredicateI::buildEachValue(BuildState& b, QrcInt v, QrcInt end) {
  QrcIntExpI* x = b.gone.x;
  for (;;) {
    QrcInt next = x->getNextHigher(v);
    takeValue(b, v);
    if (next <= v || next > end) break;
    v = next;
  }
}

QrcGACRun* QrcGACSPredicateI::build(QrcInt k, QrcInt lo, QrcInt hi, QrcGACRun*& last) {
  QrcIntExpI* x = _vars->getVar(k);
  last = nullptr;
  BuildState b = {k, 0, nullptr, nullptr, nullptr, {x, 0, 0, false, false}};
  for (QrcInt j = 0; j < _arity; ++j)
    if (j != k && j < 64) b.others |= QrcInt(1) << j;
  QrcInt v;
  if (!firstIn(x, lo, hi, v)) return nullptr;
  QrcInt end = hi < x->getMax() ? hi : x->getMax();
  if (_forbidden)
    buildBetweenColumn(b, v, end);
  else
    buildEachValue(b, v, end);
  if (b.cur) b.chain(b.cur);
  b.gone.flush();
  last = b.last;
  return b.head;
}

void QrcGACSPredicateI::revise(QrcInt k) {
  QrcIntExpI* x = _vars->getVar(k);
  QrcGACRun** link = &_runs[k];
  while (QrcGACRun* r = *link) {
    QrcInt v;
    if (!firstIn(x, r->lo, r->hi, v)) {
      // No value of the run is left: backtracking brings it back.
      _manager->saveValue(link);
      *link = r->next;
      continue;
    }
    if (valid(k, r)) {
      link = &r->next;
      continue;
    }
    QrcGACRun* last;
    QrcGACRun* head = build(k, r->lo, r->hi, last);
    _manager->saveValue(link);
    if (!head) {
      *link = r->next;
      continue;
    }
    *link = head;
    last->next = r->next;
    link = &last->next;
  }
}

void QrcGACSPredicateI::propagate() {
  if (!_built) {
    _manager->saveValue(&_built);
    _built = 1;
    for (QrcInt k = 0; k < _arity; ++k) _changed[k] = 0;
    for (QrcInt k = 0; k < _arity; ++k) {
      QrcIntExpI* x = _vars->getVar(k);
      QrcGACRun* last;
      QrcGACRun* head = build(k, x->getMin(), x->getMax(), last);
      _manager->saveValue(&_runs[k]);
      _runs[k] = head;
    }
    return;
  }
  QrcInt count = 0, one = -1;
  for (QrcInt j = 0; j < _arity; ++j)
    if (_changed[j]) {
      ++count;
      one = j;
      _changed[j] = 0;
    }
  // The runs of a position hold values of the others only.
  for (QrcInt k = 0; k < _arity; ++k)
    if (count > 1 || (count == 1 && one != k)) revise(k);
}

QrcConstraintI* QrcGACSPredicateI::makeCopy(QrcManagerI* target) const {
  QrcIntPredicateI* general = _general;
  if (QrcGACForbiddenI* f = dynamic_cast<QrcGACForbiddenI*>(_general))
    general = new (target) QrcGACForbiddenI(f->getSet()->copyForManager(target));
  return new (target)
      QrcGACSPredicateI(target, _vars->copyForManager(target), general, _binary, _ternary);
}
