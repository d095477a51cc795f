// Minimum distance: every two variables lie at least k apart. Every level
// applies a window rule on bounds. Level 3 adds a partition of the value axis
// into blocks of k values for several shifts, each shift requiring the
// variables to fall into different blocks with domain filtering (a matching),
// and a block that every such matching uses takes from every variable the
// values too close to all the values its occupant can take.
//
// Levels 1 and 2 add nothing: their partition, a distribute that only
// counts, removes a block from the others once a variable lies inside it
// (all its values within k - 1), which its window already removed, and its
// span rule then removes values of that window too; so they prune as level 0.
#ifndef QRC_MINDISTANCE_H
#define QRC_MINDISTANCE_H

#include "qrcfilterlevel.h"
#include "qrcint.h"

class QrcMinDistancePartitionI;

class QrcGlobalMinDistanceI : public QrcConstraintWithFilterI {
  QRCLIBRARYCLASS(QrcGlobalMinDistanceI)
  QROSIMPLECLASS(QrcGlobalMinDistanceI, QrcConstraintWithFilterI)
 public:
  QrcGlobalMinDistanceI(QrcManagerI* manager, const QrcIntVarArray& x, QrcInt k);
  void post() override;
  // The window rule for every variable.
  void propagate() override;
  QrcBool isFilterLevelSupported(QrcInt level) override;
  QrcBool isFalse() const override;
  void metaPostDemon(QrcDemonI* demon) override;
  QrcBool hasMetaPostDemon() const override { return 1; }
  QrcConstraintI* makeOpposite() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  void display(std::ostream& os) const override;

  // Removes from the others the values closer than k to any value of x[i].
  void windowRule(QrcInt i);
  QrcMinDistancePartitionI* getPartition() const { return _partition; }

 private:
  QrcIntVarArray _x;
  QrcInt _k;
  QrcMinDistancePartitionI* _partition;
};

// Some two variables lie closer than k.
class QrcOppositeGlobalMinDistanceI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcOppositeGlobalMinDistanceI)
  QROSIMPLECLASS(QrcOppositeGlobalMinDistanceI, QrcConstraintI)
 public:
  QrcOppositeGlobalMinDistanceI(QrcManagerI* manager, const QrcIntVarArray& x, QrcInt k);
  void post() override;
  // Fails when no pair can still be closer than k.
  void propagate() override;
  QrcBool isFalse() const override;
  void metaPostDemon(QrcDemonI* demon) override;
  QrcBool hasMetaPostDemon() const override { return 1; }
  QrcConstraintI* makeOpposite() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  void display(std::ostream& os) const override;

  void rangeChanged(QrcInt i);
  // The pair that may still be closer than k.
  QrcInt getWitnessFirst() const { return _wi; }
  QrcInt getWitnessSecond() const { return _wj; }

 private:
  bool passes(QrcInt i, QrcInt j) const;
  bool findWitness();

  QrcIntVarArray _x;
  QrcInt _k;
  QrcInt _wi;
  QrcInt _wj;
};

class QrcMinDistanceEltOfPartitionI;
class QrcCardMatchingI;

// The shifts of the partition, each a sub-constraint in the chain: shift 1
// and, when two values of the domains lie closer than k, one shift per
// distinct way of grouping the values into blocks (at most k - 1), found from
// the intervals of the domains.
class QrcMinDistancePartitionI : public QrcConstraintWithFilterI {
  QRCLIBRARYCLASS(QrcMinDistancePartitionI)
  QROSIMPLECLASS(QrcMinDistancePartitionI, QrcConstraintWithFilterI)
 public:
  QrcMinDistancePartitionI(QrcManagerI* manager, const QrcIntVarArray& x, QrcInt k);
  void post() override;
  void propagate() override {}
  QrcBool isFilterLevelSupported(QrcInt level) override;
  QrcInt getShiftCount() const { return _count; }
  QrcMinDistanceEltOfPartitionI* getShift(QrcInt s) const { return _shifts[s]; }

 private:
  QrcIntVarArray _x;
  QrcInt _k;
  QrcMinDistanceEltOfPartitionI** _shifts;
  QrcInt _count;
};

// One shift p: the block of each variable, at most one variable per block
// (a matching of the variables to the blocks with domain filtering), and the
// values too close to a block's occupant removed when every matching uses
// the block. Blocks are numbered from 1 at the smallest value m0; block
// numbers can pass the engine's integer limit, so y[i] takes the label of a
// block (its number + QrcIntMin - 1). Only level 3 filters.
class QrcMinDistanceEltOfPartitionI : public QrcConstraintWithFilterI {
  QRCLIBRARYCLASS(QrcMinDistanceEltOfPartitionI)
  QROSIMPLECLASS(QrcMinDistanceEltOfPartitionI, QrcConstraintWithFilterI)
 public:
  QrcMinDistanceEltOfPartitionI(QrcManagerI* manager, const QrcIntVarArray& x, QrcInt m0, QrcInt p,
                                QrcInt k);
  void post() override;
  void propagate() override;
  QrcBool isFilterLevelSupported(QrcInt level) override;
  void display(std::ostream& os) const override;

  QrcInt getShift() const { return _p; }
  QrcInt blockOf(QrcInt v) const;
  QrcInt blockLo(QrcInt b) const;
  QrcInt blockHi(QrcInt b) const;
  static QrcInt labelOf(QrcInt b) { return b + QrcIntMin - 1; }
  static QrcInt blockOfLabel(QrcInt y) { return y - QrcIntMin + 1; }
  // y[i]: the labels of x[i]'s blocks.
  QrcIntExpI* getBlockVar(QrcInt i) const { return _y[i]; }
  // After propagation: whether every matching puts a variable in block b.
  bool isForced(QrcInt b);

  void xChanged(QrcInt i);
  void yChanged(QrcInt i);

 private:
  // Removes from every variable the values closer than k to all the values
  // that the variables able to occupy block b can take in it.
  void spanRule(QrcInt b);

  QrcIntVarArray _x;
  QrcInt _m0;
  QrcInt _p;
  QrcInt _k;
  QrcIntExpI** _y;
  QrcCardMatchingI* _matching;
  QrcInt* _matched;  // the labels matched at a propagation
};

// |x[i] - x[j]| >= k for i != j; k <= 0 gives the true constraint.
QrcConstraint QrcAllMinDistance(const QrcIntVarArray& x, QrcInt k);

#endif
