// Bin-packing reasoning that holds no engine state: the Martello-Toth lower
// bound L2 on the number of bins with the least content of every bin of a
// packing that meets it, the no-sum test on subset sums, and the bit-set
// reachability of subset sums (exact, or on weights scaled down with the
// rounding accounted for so that no reachable sum is lost).
#ifndef QRC_PACKBOUND_H
#define QRC_PACKBOUND_H

#include "qrcmanager.h"
#include "qrctypes.h"

// L2 of a list that no number of bins can hold.
const QrcInt QrcPackInfiniteBound = INT64_MAX;

// L2 of sizes s[0] >= ... >= s[c-1] >= 0 in bins of capacity C. *residue is
// a content that every bin holds in every packing into exactly that many bins
// (0 when nothing is known). QrcPackInfiniteBound when C <= 0 with a positive
// size. Exact arithmetic: no sum or product overflows.
QrcInt QrcPackL2(const QrcInt* s, QrcInt c, QrcInt C, QrcInt* residue);

// Proves, for some inputs, that no subset of c[0] >= ... >= c[t-1] >= 0 has
// a sum in [a, b]; then stores the largest subset sum below a and the
// smallest above b. False (a sum may fit) otherwise, also with no
// candidates or a total below a.
bool QrcPackNoSum(const QrcInt* c, QrcInt t, QrcInt a, QrcInt b, QrcInt* belowA, QrcInt* aboveB);

// Reachable subset sums of stages, each of which adds at most one of its
// alternatives (a stage of one alternative is an item), over bit sets of a
// fixed capacity. Weights too large for the bit sets are scaled down by a
// power of two, rounding to nearest; the errors are accumulated per stage
// (its largest rounding up and down) so that the sums stay enclosed.
class QrcPackReach {
 public:
  // Room for up to n alternatives, with bit sets of at least `bits` + n / 2 bits.
  static QrcPackReach* make(QrcManagerI* manager, QrcInt n, QrcInt bits);

  void clear();
  void beginStage();
  void addAlternative(QrcInt weight);
  QrcInt getStageCount() const { return _stages; }
  // Scales the weights and sets the target [a, b]; then the forward and
  // backward passes. False when no subset sum can lie in [a, b].
  bool solve(QrcInt a, QrcInt b);
  bool isScaled() const { return _shift > 0; }
  // After a successful solve.
  bool canSkip(QrcInt stage) const;
  bool canTake(QrcInt stage, QrcInt alternative) const;
  // Bounds on the true sums that reach the target.
  QrcInt lowestSum() const;
  QrcInt highestSum() const;
  QrcInt getCapacityBits() const { return _words * 64; }

 private:
  QrcPackReach() {}
  QrcWord* forward(QrcInt t) const { return _sets + t * _words; }
  QrcWord* backward(QrcInt t) const { return _sets + (_capacity + 1 + t) * _words; }
  void scale(QrcInt a, QrcInt b);

  QrcInt _capacity;  // alternatives and stages
  QrcInt _words;
  QrcWord* _sets;    // capacity + 1 forward sets, then capacity + 1 backward sets
  QrcWord* _target;  // the target range
  QrcInt* _weights;  // the alternatives, stage after stage
  QrcInt* _scaled;
  QrcInt* _start;  // first alternative of each stage, then the end
  QrcInt _stages;
  QrcInt _count;
  QrcInt _shift;
  QrcInt _down;  // largest total by which scaled sums undercount
  QrcInt _up;    // largest total by which they overcount
  QrcInt _lo;    // target in scaled units
  QrcInt _hi;
  QrcInt _loBit;
  QrcInt _hiBit;
};

#endif
