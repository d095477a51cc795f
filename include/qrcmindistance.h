// Minimum distance: every two variables lie at least k apart. Level 0 applies
// a window rule on bounds; levels 1 to 3 add a partition of the value axis
// into blocks of k values for several shifts, each shift requiring the
// variables to fall into different blocks (a distribute at the same level).
#ifndef QRC_MINDISTANCE_H
#define QRC_MINDISTANCE_H

#include "qrcfilterlevel.h"
#include "qrcint.h"

class QrcMinDistancePartitionI;

class QrcGlobalMinDistanceI : public QrcConstraintWithFilterI {
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

// The shifts of the partition, each a sub-constraint in the chain.
class QrcMinDistancePartitionI : public QrcConstraintWithFilterI {
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

// One shift p: the block of each variable, at most one variable per block,
// and the values too close to a block's occupant removed. Block numbers can
// pass the engine's integer limit, so y[i] takes the count entries (1-based
// positions in the list of blocks) of its blocks instead.
class QrcMinDistanceEltOfPartitionI : public QrcConstraintWithFilterI {
  QROSIMPLECLASS(QrcMinDistanceEltOfPartitionI, QrcConstraintWithFilterI)
 public:
  QrcMinDistanceEltOfPartitionI(QrcManagerI* manager, const QrcIntVarArray& x, QrcInt nValues,
                                const QrcInt* values, QrcInt p, QrcInt k);
  void post() override;
  void propagate() override {}
  QrcBool isFilterLevelSupported(QrcInt level) override;
  void display(std::ostream& os) const override;

  QrcInt blockOf(QrcInt v) const;
  QrcInt blockLo(QrcInt b) const;
  QrcInt blockHi(QrcInt b) const;
  QrcInt getBlockCount() const { return _nBlocks; }
  QrcInt getBlock(QrcInt t) const { return _blocks[t]; }
  // Count entry t: 0 for the value 0, t >= 1 for block getBlock(t - 1).
  QrcIntExpI* getCount(QrcInt t) const { return _count[t]; }
  // y[i]: the count entries of x[i]'s blocks.
  QrcIntExpI* getBlockVar(QrcInt i) const { return _y[i]; }

  void xChanged(QrcInt i);
  void yChanged(QrcInt i);
  void countRule(QrcInt t);

 private:
  QrcInt entryOf(QrcInt b) const;

  QrcIntVarArray _x;
  QrcInt _nValues;
  const QrcInt* _values;
  QrcInt _p;
  QrcInt _k;
  QrcInt* _blocks;
  QrcInt _nBlocks;
  QrcIntExpI** _y;
  QrcIntExpI** _count;
  QrcInt* _spanLo;
  QrcInt* _spanHi;
};

// |x[i] - x[j]| >= k for i != j; k <= 0 gives the true constraint.
QrcConstraint QrcAllMinDistance(const QrcIntVarArray& x, QrcInt k);

#endif
