// Path length: successor variables next[i], predecessors prev[i] and float
// values y[i] with y[j] >= y[i] + transit(i, j) whenever next[i] = j. With p
// paths the nodes are m = n - 2p inner nodes 0..m-1, the end nodes m..m+p-1
// and the start nodes m+p..m+2p-1: end node k is followed by start node k, an
// arc that carries no condition. Mode 0 follows bound successors only; mode 2
// also keeps next and prev inverse and filters them by supports of y's bounds.
#ifndef QRC_PATH_H
#define QRC_PATH_H

#include "qrcfloatvararray.h"
#include "qrcint.h"

// The transit of an arc (0.0 in the base).
class QrcPathTransitI {
 public:
  virtual ~QrcPathTransitI() {}
  virtual QrcFloat transit(QrcInt i, QrcInt j) {
    (void)i, (void)j;
    return 0.0;
  }
  // The transit a copy into the target manager uses: this one in the base
  // (an object of the user's, shared).
  virtual QrcPathTransitI* copyFor(QrcManagerI* target) {
    (void)target;
    return this;
  }
};

class QrcPathLengthConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcPathLengthConstraintI)
  QROSIMPLECLASS(QrcPathLengthConstraintI, QrcConstraintI)
 public:
  // Without prev, n new variables over [min of next, max of next].
  QrcPathLengthConstraintI(QrcManagerI* manager, const QrcIntVarArray& next,
                           const QrcFloatVarArray& y, QrcPathTransitI* transit, QrcInt p,
                           QrcInt mode, const QrcIntVarArray& prev = QrcIntVarArray());
  ~QrcPathLengthConstraintI() override {}
  void post() override;
  void propagate() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  const QrcIntVarArray& getPrev() const { return _prev; }

  // Demon bodies.
  void nextBound(QrcInt i);
  void prevBound(QrcInt i);
  void nextDomain(QrcInt i);
  void prevDomain(QrcInt i);
  void yRangeValue(QrcInt i);
  void yRange(QrcInt i);

 private:
  QrcIntExpI* next(QrcInt i) const { return _next.getImpl()->getVar(i); }
  QrcIntExpI* prev(QrcInt i) const { return _prev.getImpl()->getVar(i); }
  QrcFloatExpI* y(QrcInt i) const { return _y.getImpl()->get(i); }
  bool isEnd(QrcInt i) const { return i >= _m && i < _m + _p; }
  QrcFloat transit(QrcInt a, QrcInt b) const;
  // min(y[a]) + transit(a, b), rounded down; -infinity from an end node.
  QrcFloat earliest(QrcInt a, QrcInt b) const;
  // max(y[b]) - transit(a, b), rounded up; +infinity into a start node.
  QrcFloat latest(QrcInt a, QrcInt b) const;
  void successorStep(QrcInt i);
  void predecessorStep(QrcInt i);
  void successorScan(QrcInt i, bool early);
  void predecessorScan(QrcInt i, bool early);

  QrcConstraintI* _inverse;
  QrcFloatVarArray _y;
  QrcIntVarArray _next;
  QrcIntVarArray _prev;
  QrcInt _n;
  QrcInt _m;
  QrcInt _p;
  QrcPathTransitI* _transit;
  int _mode;
  QrcRevWord* _succSupport;
  QrcRevWord* _predSupport;
};

// Mode 0 or 2, else error 44 ("bad event", "QrcPath", mode); 0 <= p and
// 2p <= n, else error 32 ("QrcPath", "Incompatible argument", p); y of next's
// size, else error 5; each gives an empty handle. No node: the true
// constraint. A null transit gives 0.0 on every arc.
QrcConstraint QrcPath(const QrcIntVarArray& next, const QrcFloatVarArray& y,
                      QrcPathTransitI* transit, QrcInt p, QrcInt mode);

#endif
