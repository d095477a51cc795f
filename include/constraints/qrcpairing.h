// Pairing: x[i] is the partner of object i (x[i] = j exactly when x[j] = i,
// never i itself), so a solution is a perfect matching of the graph of the
// possible pairs. Every level keeps the domains symmetric and posts an
// all-different; level 2 fails without a perfect matching and binds the
// pairs that every perfect matching uses; level 3 also removes the pairs
// that none uses.
#ifndef QRC_PAIRING_H
#define QRC_PAIRING_H

#include "qrcfilterlevel.h"
#include "qrcint.h"

// Maximum-cardinality matching of a general graph (Edmonds' blossoms, with
// vertex and edge labels and recursive augmentation). Vertices are 1..n;
// edge e has the entries n + 2e + 1 and n + 2e + 2 in the end table. Arrays
// live on the manager's heap; the searches allocate nothing.
class QrcGeneralMatching {
 public:
  QrcGeneralMatching(QrcManagerI* manager, QrcInt maxVertices, QrcInt maxEdges);
  // An empty graph on n vertices.
  void clear(QrcInt n);
  // Returns the edge number.
  QrcInt addEdge(QrcInt a, QrcInt b);
  // A maximum matching from scratch (a greedy start, then augmenting paths);
  // returns its size.
  QrcInt solve();
  QrcInt getMate(QrcInt v) const { return _mate[v]; }
  QrcInt getVertexCount() const { return _n; }
  QrcInt getEdgeCount() const { return _m; }
  QrcInt getEdgeEnd(QrcInt e, int side) const { return _end[_n + 2 * e + 1 + side]; }
  bool inMatching(QrcInt e) const { return _mate[getEdgeEnd(e, 0)] == getEdgeEnd(e, 1); }
  // From the perfect matching held now, whether a perfect matching avoids
  // edge e (or, with required, uses it); on success it is the matching held.
  bool perfectWithout(QrcInt e);
  bool perfectWith(QrcInt e);
  // Saves and puts back the matching.
  void save();
  void restore();

 private:
  bool isOuter(QrcInt v) const { return _label[v] >= 0; }
  bool usable(QrcInt p) const;
  bool search(QrcInt u);
  void rematch(QrcInt v, QrcInt w);
  void labelEdge(QrcInt x, QrcInt y, QrcInt entry);

  QrcInt _maxVertices;
  QrcInt _maxEdges;
  QrcInt _n;
  QrcInt _m;
  QrcInt* _end;     // end vertex of each edge entry
  QrcInt* _degree;  // per vertex
  QrcInt* _adj;     // per vertex, maxVertices slots of edge entries
  QrcInt* _mate;
  QrcInt* _label;
  QrcInt* _first;
  QrcInt* _queue;
  QrcInt _qtail;
  QrcInt* _saved;
  QrcInt _excluded;  // an edge left out, or -1
  QrcInt _removedA;  // vertices left out, or 0
  QrcInt _removedB;
};

class QrcPairingI : public QrcConstraintWithFilterI {
  QRCLIBRARYCLASS(QrcPairingI)
  QROSIMPLECLASS(QrcPairingI, QrcConstraintWithFilterI)
 public:
  // State of a possible pair.
  enum PairState { New = 0, Mandatory = 1, Forbidden = 2, Inside = 3, Outside = 4, Free = 5 };

  QrcPairingI(QrcManagerI* manager, const QrcIntVarArray& x);
  // Symmetry demons, then the all-different at the same level.
  void post() override;
  void propagate() override;
  QrcBool isFilterLevelSupported(QrcInt level) override {
    (void)level;
    return 1;
  }
  // x[j] loses i for every j that x[i] lost; then schedules the matching.
  virtual void valueRemoved(QrcInt i);

 private:
  void update(QrcInt count);
  // Domains within 0..n-1 without self-pairs, made symmetric; allocates the
  // matching.
  void firstPropagate();
  // The graph of the pairs both sides still allow; returns their count.
  QrcInt buildGraph();
  // Marks the pairs every perfect matching uses (and, at full level, those
  // none uses).
  void classifyPairs(QrcInt count, QrcInt level);
  // Fixes the mandatory pairs and removes the forbidden ones.
  void applyPairs(QrcInt count);

  QrcIntVarArray _x;
  QrcInt _n;
  QrcInt _firstPropagation;
  QrcGeneralMatching* _graph;
  QrcInt* _pairA;
  QrcInt* _pairB;
  QrcInt* _state;
};

// The pairing at a level (recorded as explicit).
QrcConstraint QrcPairing(const QrcIntVarArray& x, QrcFilterLevel level);

#endif
