// Pairing, over a maximum matching of the general graph of possible pairs.
// Code that can fail keeps trivially destructible locals only.
#include "qrcoperands.h"
#include "qrcpairing.h"

#include <ostream>

#include "qrcalldiff.h"
#include "qrcdomainwalk.h"
#include "qrcheaparray.h"

namespace {

class PairingDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(PairingDemonI)
  QROSIMPLECLASS(PairingDemonI, QrcDemonI)
 public:
  PairingDemonI(QrcManagerI* m, QrcPairingI* ct, QrcInt i) : QrcDemonI(m, ct), _ct(ct), _i(i) {}
  void propagate() override { _ct->valueRemoved(_i); }
  void display(std::ostream& os) const override { os << "PairingDemon"; }

 private:
  QrcPairingI* _ct;
  QrcInt _i;
};

}  // namespace

// ---------------------------------------------------------------- matching
//
// Labels: -1 (or a negative flag) marks a non-outer vertex; an outer vertex
// carries 0 (the start), a vertex label 1..n (it was reached from that outer
// vertex through its mate), or an edge label above n (the entry of the edge
// that closed the blossom it belongs to). first[v] is the first non-outer
// vertex on the alternating path from v back to the start (0 for none).

QrcGeneralMatching::QrcGeneralMatching(QrcManagerI* m, QrcInt maxVertices, QrcInt maxEdges)
    : _maxVertices(maxVertices),
      _maxEdges(maxEdges),
      _n(0),
      _m(0),
      _end(allocArray<QrcInt>(m, maxVertices + 2 * maxEdges + 3)),
      _degree(allocArray<QrcInt>(m, maxVertices + 1)),
      _adj(allocArray<QrcInt>(m, (maxVertices + 1) * maxVertices)),
      _mate(allocArray<QrcInt>(m, maxVertices + 1)),
      _label(allocArray<QrcInt>(m, maxVertices + 1)),
      _first(allocArray<QrcInt>(m, maxVertices + 1)),
      _queue(allocArray<QrcInt>(m, maxVertices + 1)),
      _qtail(0),
      _saved(allocArray<QrcInt>(m, maxVertices + 1)),
      _excluded(-1),
      _removedA(0),
      _removedB(0) {}

void QrcGeneralMatching::clear(QrcInt n) {
  _n = n;
  _m = 0;
  for (QrcInt v = 0; v <= n; ++v) {
    _degree[v] = 0;
    _mate[v] = 0;
  }
}

QrcInt QrcGeneralMatching::addEdge(QrcInt a, QrcInt b) {
  QrcInt e = _m++;
  QrcInt p = _n + 2 * e + 1;
  _end[p] = b;
  _end[p + 1] = a;
  _adj[a * _maxVertices + _degree[a]++] = p;
  _adj[b * _maxVertices + _degree[b]++] = p + 1;
  return e;
}

inline bool QrcGeneralMatching::usable(QrcInt p) const {
  QrcInt y = _end[p];
  return (p - _n - 1) / 2 != _excluded && y != _removedA && y != _removedB;
}

// Rematches along the path from v back to the start; v is outer and takes w.
void QrcGeneralMatching::rematch(QrcInt v, QrcInt w) {
  QrcInt t = _mate[v];
  _mate[v] = w;
  if (t == 0 || _mate[t] != v) return;
  QrcInt l = _label[v];
  if (l <= _n) {
    _mate[t] = l;
    rematch(l, t);
    return;
  }
  QrcInt partner = ((l - _n) & 1) ? l + 1 : l - 1;
  QrcInt x = _end[partner], y = _end[l];
  rematch(x, y);
  rematch(y, x);
}

// Edge x-y joins two outer vertices: the non-outer vertices on their paths
// up to the join become outer with the edge's label.
void QrcGeneralMatching::labelEdge(QrcInt x, QrcInt y, QrcInt entry) {
  QrcInt r = _first[x], s = _first[y];
  if (r == s) return;
  QrcInt flag = -entry;
  _label[r] = flag;
  _label[s] = flag;
  QrcInt join;
  for (;;) {
    if (s != 0) {
      QrcInt t = r;
      r = s;
      s = t;
    }
    r = _first[_label[_mate[r]]];
    if (_label[r] == flag) {
      join = r;
      break;
    }
    _label[r] = flag;
  }
  for (QrcInt side = 0; side < 2; ++side) {
    QrcInt v = _first[side == 0 ? x : y];
    while (v != join) {
      _label[v] = entry;
      _first[v] = join;
      _queue[_qtail++] = v;
      v = _first[_label[_mate[v]]];
    }
  }
  for (QrcInt i = 1; i <= _n; ++i)
    if (isOuter(i) && isOuter(_first[i])) _first[i] = join;
}

bool QrcGeneralMatching::search(QrcInt u) {
  for (QrcInt v = 0; v <= _n; ++v) _label[v] = -1;
  _label[u] = 0;
  _first[u] = 0;
  QrcInt head = 0;
  _qtail = 0;
  _queue[_qtail++] = u;
  while (head < _qtail) {
    QrcInt x = _queue[head++];
    QrcInt* adj = _adj + x * _maxVertices;
    for (QrcInt k = 0; k < _degree[x]; ++k) {
      QrcInt p = adj[k];
      if (!usable(p)) continue;
      QrcInt y = _end[p];
      if (_mate[y] == 0 && y != u) {
        _mate[y] = x;
        rematch(x, y);
        return true;
      }
      if (isOuter(y)) {
        labelEdge(x, y, p);
        continue;
      }
      QrcInt v = _mate[y];
      if (!isOuter(v)) {
        _label[v] = x;
        _first[v] = y;
        _queue[_qtail++] = v;
      }
    }
  }
  return false;
}

QrcInt QrcGeneralMatching::solve() {
  for (QrcInt v = 0; v <= _n; ++v) _mate[v] = 0;
  for (QrcInt v = 1; v <= _n; ++v) {
    if (_mate[v]) continue;
    QrcInt* adj = _adj + v * _maxVertices;
    for (QrcInt k = 0; k < _degree[v]; ++k) {
      QrcInt y = _end[adj[k]];
      if (usable(adj[k]) && _mate[y] == 0) {
        _mate[v] = y;
        _mate[y] = v;
        break;
      }
    }
  }
  for (QrcInt u = 1; u <= _n; ++u)
    if (_mate[u] == 0 && u != _removedA && u != _removedB) search(u);
  QrcInt size = 0;
  for (QrcInt v = 1; v <= _n; ++v) size += _mate[v] != 0;
  return size / 2;
}

bool QrcGeneralMatching::perfectWithout(QrcInt e) {
  QrcInt a = getEdgeEnd(e, 0), b = getEdgeEnd(e, 1);
  if (_mate[a] != b) return true;
  _mate[a] = _mate[b] = 0;
  _excluded = e;
  bool found = search(a);
  _excluded = -1;
  return found;
}

bool QrcGeneralMatching::perfectWith(QrcInt e) {
  QrcInt a = getEdgeEnd(e, 0), b = getEdgeEnd(e, 1);
  if (_mate[a] == b) return true;
  QrcInt a2 = _mate[a], b2 = _mate[b];
  _mate[a2] = _mate[b2] = 0;
  _mate[a] = b;
  _mate[b] = a;
  _removedA = a;
  _removedB = b;
  bool found = search(a2);
  _removedA = _removedB = 0;
  return found;
}

void QrcGeneralMatching::save() {
  for (QrcInt v = 0; v <= _n; ++v) _saved[v] = _mate[v];
}

void QrcGeneralMatching::restore() {
  for (QrcInt v = 0; v <= _n; ++v) _mate[v] = _saved[v];
}

// ---------------------------------------------------------------- constraint

QrcPairingI::QrcPairingI(QrcManagerI* m, const QrcIntVarArray& x)
    : QrcConstraintWithFilterI(m, QrcPairingKind, QrcMediumFilterLevel),
      _x(x.getImpl() ? x : QrcIntVarArray(QrcManager(m), 0)),
      _n(x.getSize()),
      _firstPropagation(1),
      _graph(nullptr),
      _pairA(nullptr),
      _pairB(nullptr),
      _state(nullptr) {}

void QrcPairingI::post() {
  for (QrcInt i = 0; i < _n; ++i)
    _x.getImpl()->getVar(i)->whenDomain(new (_manager) PairingDemonI(_manager, this, i));
  _manager->add(QrcAllDiff(_x, getFilterLevel()).getImpl());
}

void QrcPairingI::valueRemoved(QrcInt i) {
  QrcIntExpI* x = _x.getImpl()->getVar(i);
  if (!x->isProcessing()) return;
  // Only the partners 0..n-1 matter: the span the bounds went past is not walked.
  QrcIntVarArrayI* all = _x.getImpl();
  qrcdomain::forEachLostValue(
      x, [](QrcInt k) { return k; }, _n,
      [all, i, this](QrcInt j) {
        if (j >= 0 && j < _n && j != i) all->getVar(j)->removeValue(i);
        return true;
      });
  if (getFilterLevel() >= QrcMediumFilterLevel) push();
}

void QrcPairingI::update(QrcInt count) {
  for (QrcInt e = 0; e < count; ++e) {
    QrcInt s = _state[e];
    bool in = _graph->inMatching(e);
    if (s == New)
      _state[e] = in ? Inside : Outside;
    else if ((s == Inside && !in) || (s == Outside && in))
      _state[e] = Free;
  }
}

void QrcPairingI::propagate() {
  if (_firstPropagation) {
    _manager->saveValue(&_firstPropagation);
    _firstPropagation = 0;
    firstPropagate();
  }
  QrcInt level = getFilterLevel();
  if (level < QrcHighFilterLevel || !_graph) return;
  QrcInt count = buildGraph();
  if (2 * _graph->solve() < _n) fail();
  update(count);
  classifyPairs(count, level);
  applyPairs(count);
}

void QrcPairingI::firstPropagate() {
  QrcIntVarArrayI* x = _x.getImpl();
  QrcInt n = _n;
  for (QrcInt i = 0; i < n; ++i) {
    x->getVar(i)->setRange(QrcInt(0), n - 1);
    x->getVar(i)->removeValue(i);
  }
  // Domains that are not symmetric at posting are made so: the rule on
  // removed values would never see those pairs.
  for (QrcInt i = 0; i < n; ++i) {
    QrcIntExpI* xi = x->getVar(i);
    QrcInt hi = xi->getMax();
    for (QrcInt j = xi->getMin();; j = xi->getNextHigher(j)) {
      if (!x->getVar(j)->isInDomain(i)) xi->removeValue(j);
      if (j >= hi) break;
    }
  }
  if (!_graph && n > 1) {
    // Made where the first propagation runs: a backtrack past it takes them
    // back with the first-propagation flag.
    QrcInt pairs = n * (n - 1) / 2;
    _manager->saveValues({&_graph, &_pairA, &_pairB, &_state});
    _graph = new (_manager) QrcGeneralMatching(_manager, n, pairs);
    _pairA = allocArray<QrcInt>(_manager, pairs);
    _pairB = allocArray<QrcInt>(_manager, pairs);
    _state = allocArray<QrcInt>(_manager, pairs);
  }
}

QrcInt QrcPairingI::buildGraph() {
  QrcIntVarArrayI* x = _x.getImpl();
  QrcInt n = _n;
  _graph->clear(n);
  QrcInt count = 0;
  for (QrcInt i = 0; i < n; ++i)
    for (QrcInt j = i + 1; j < n; ++j)
      if (x->getVar(i)->isInDomain(j) && x->getVar(j)->isInDomain(i)) {
        _graph->addEdge(i + 1, j + 1);
        _pairA[count] = i;
        _pairB[count] = j;
        _state[count++] = New;
      }
  return count;
}

void QrcPairingI::classifyPairs(QrcInt count, QrcInt level) {
  _graph->save();
  for (QrcInt e = 0; e < count; ++e) {
    if (_state[e] == Inside) {
      if (_graph->perfectWithout(e))
        update(count);
      else
        _state[e] = Mandatory;
      _graph->restore();
    } else if (_state[e] == Outside && level >= QrcFullFilterLevel) {
      if (_graph->perfectWith(e))
        update(count);
      else
        _state[e] = Forbidden;
      _graph->restore();
    }
  }
}

void QrcPairingI::applyPairs(QrcInt count) {
  QrcIntVarArrayI* x = _x.getImpl();
  for (QrcInt e = 0; e < count; ++e) {
    QrcIntExpI* a = x->getVar(_pairA[e]);
    QrcIntExpI* b = x->getVar(_pairB[e]);
    if (_state[e] == Mandatory) {
      a->setValue(_pairB[e]);
      b->setValue(_pairA[e]);
    } else if (_state[e] == Forbidden) {
      a->removeValue(_pairB[e]);
      b->removeValue(_pairA[e]);
    }
  }
}

QrcConstraint QrcPairing(const QrcIntVarArray& x, QrcFilterLevel level) {
  QrcCheckOperands("QrcPairing", {x});
  QrcIntVarArrayI* a = x.getImpl();
  if (!a) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcPairing");
  QrcManagerI* m = a->getManager();
  QrcPairingI* ct = new (m) QrcPairingI(m, x);
  ct->setFilterLevel(level);
  return QrcConstraint(ct);
}
