// Bin packing: item i of fixed weight w[i] >= 0 goes into bin where[i], and
// load[j] is the sum of the weights of the items in bin j. The set of used
// bins (those that receive at least one item, weight 0 included) is a set
// variable S, given or made, and its cardinality N, or a given variable equal
// to it, counts them. Besides item-by-item rules the constraint prunes with
// the subset sums reachable in each bin, the no-sum test, the lower bound L2
// on the number of bins needed (over the free space of the bins) and the
// least load that bound leaves each bin.
#ifndef QRC_PACK_H
#define QRC_PACK_H

#include "qrcint.h"
#include "qrcintsetvar.h"

class QrcPackReach;

class QrcPackI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcPackI)
  QROSIMPLECLASS(QrcPackI, QrcConstraintI)
 public:
  // S = used, or a new set variable over the bin numbers; N = count, or the
  // cardinality of S. With a table (n rows of n words), items marked in it
  // are kept out of a common bin by the filtering (not enforced).
  QrcPackI(QrcManagerI* manager, const QrcIntVarArray& load, const QrcIntVarArray& where,
           const QrcIntArray& weight, QrcIntSetVarI* used, QrcIntExpI* count, QrcInt** table);

  // The sum of the loads equals the total weight (and N the cardinality of S
  // when N is given); the demons.
  void post() override;
  void propagate() override;

  // Demon entries.
  void whereChanged(QrcInt i);
  void loadChanged(QrcInt j);
  void countChanged();
  void usedChanged();

  QrcIntSetVarI* getUsed() const { return _used; }
  QrcIntExpI* getCount() const { return _count; }

 private:
  // Steps of construction: the items by decreasing weight (ranks, weights,
  // total); the groups of items a table marks as alike; the work arrays.
  void sortItems(const QrcIntArray& weight);
  void makeGroups(QrcInt** table);
  void makeWorkArrays();
  // Reversible doubly linked lists over ranks: a node is {in, next, previous}
  // (in: 0 when listed, -1 when not), a header {head, tail, count, weight sum}.
  void set(QrcInt* word, QrcInt value);
  void append(QrcInt* nodes, QrcInt* header, QrcInt r, QrcInt weight);
  void unlink(QrcInt* nodes, QrcInt* header, QrcInt r, QrcInt weight);
  QrcInt* candNodes(QrcInt j) const { return _candNodes + 3 * j * _n; }
  QrcInt* candHeader(QrcInt j) const { return _candHeaders + 4 * j; }
  bool isCandidate(QrcInt j, QrcInt r) const { return candNodes(j)[3 * r] == 0; }

  // The first propagation: the lists from the domains, then the first
  // narrowings.
  void firstPropagation();
  void buildLists();
  void narrowFirst();
  // Puts bin j on the work list (scheduling the constraint when asked and
  // the list was empty); flags 1: lower side changed, 2: upper side.
  void mark(QrcInt j, QrcInt flags, bool schedule);
  void removeCandidate(QrcInt j, QrcInt r);
  void pack(QrcInt j, QrcInt r);
  // The used-bin bound: decides optional bins by the slack, raises N.min,
  // sets the capacity and residue and raises the least loads.
  void boundBins();
  // L2 over the pseudo-items of the open required bins and of the extra
  // largest optional bins that must be used, plus the unassigned
  // weights; fails when no packing can exist.
  QrcInt usedBinsBound(QrcInt openReq, QrcInt extra, QrcInt c, QrcInt* residue);
  // Least loads of the open bins that must be used, from the residue r and
  // the per-bin bound.
  void raiseLeastLoads(QrcInt openReq, QrcInt openOpt, QrcInt closedReq, QrcInt c, QrcInt bound,
                       QrcInt r);
  // L2 over the pseudo-items _pseudo[0..k-1] and the unassigned weights.
  QrcInt boundOver(QrcInt k, QrcInt c, QrcInt* residue);
  // c minus the free room of bin j, within [0, c].
  QrcInt pseudoItem(QrcInt c, QrcInt j) const;
  // all, allBound: the capacity and bound over every open required bin.
  QrcInt perBinBound(QrcInt j, QrcInt openReq, QrcInt closedReq, QrcInt all, QrcInt allBound);
  void binRules(QrcInt j, QrcInt lo, QrcInt hi, bool used);
  // True when a domain changed.
  bool itemRules(QrcInt j, QrcInt a, QrcInt b, bool used);
  // True when the bin was found infeasible.
  bool reach(QrcInt j, QrcInt a, QrcInt b, bool used);
  bool reachGroups(QrcInt j, QrcInt a, QrcInt b, bool used);
  void tightenLoad(QrcInt j, bool used);
  void noSumItemRule(QrcInt j, QrcInt a, QrcInt b, bool used);
  // The candidates of j, heaviest first, into _listItems and _listWeights.
  QrcInt listCandidates(QrcInt j);

  QrcInt _n;
  QrcInt _m;
  QrcIntExpI** _load;
  QrcIntExpI** _where;
  QrcIntVarArrayI* _loadVars;
  QrcInt* _item;    // rank -> item, by non-increasing weight
  QrcInt* _rank;    // item -> rank
  QrcInt* _weight;  // by rank
  QrcInt _total;
  QrcIntSetVarI* _used;
  QrcIntExpI* _count;
  bool _countGiven;
  // Groups of the item table by rank (null without one) and their scratch.
  QrcInt* _group;
  QrcInt _groups;
  QrcInt* _groupFill;
  QrcInt* _groupStage;
  QrcInt* _stageStart;
  QrcInt* _bucket;

  // Trailed.
  QrcInt* _candNodes;    // n nodes per bin
  QrcInt* _candHeaders;  // one header per bin
  QrcInt* _packed;       // weight packed per bin
  QrcInt* _packedCount;
  QrcInt* _freeNodes;  // the unassigned items
  QrcInt _freeHeader[4];
  QrcInt _workCount;
  QrcInt _slackSeen;
  QrcInt _firstPending;
  QrcPackReach* _reach;  // made on first need

  // Scratch.
  QrcInt* _work;
  QrcInt* _flags;
  QrcInt* _reqBins;
  QrcInt* _optBins;
  QrcInt* _caps;
  QrcInt* _pseudo;
  QrcInt* _sizes;
  QrcInt _sizeCount;
  QrcInt* _allSizes;  // the sizes of the bound over every bin
  QrcInt _allCount;
  QrcInt* _listItems;
  QrcInt* _listWeights;
  QrcInt* _testWeights;
  QrcInt _capacity;  // C of the last bound
  QrcInt _residue;
};

// Argument checks, each throwing before anything is built (QrcEmptyHandleException
// and QrcException are QroSolver::EmptyHandle and QroSolver::Exception):
// QrcEmptyHandleException "Empty handle passed to QrcPack" for an empty handle;
void QrcPackCheckHandle(const void* handle);
// QrcException "Array size mismatch between where and weight parameters";
void QrcPackCheckSizes(const QrcIntVarArray& where, const QrcIntArray& weight);
// QrcException "Negative weights are not supported by QrcPack" at the
// first negative weight, or "Weights supplied to QrcPack are too large; their
// sum must be no greater than QrcIntMax" where the running sum overflows.
void QrcPackCheckWeights(const QrcIntArray& weight);

// Packs item i (weight[i]) into bin where[i] with load[j] the weight in bin j;
// the bins are 0 .. load.size - 1. Made on the manager of the load array.
QrcConstraint QrcPack(const QrcIntVarArray& load, const QrcIntVarArray& where,
                      const QrcIntArray& weight);
// With the number of used bins.
QrcConstraint QrcPack(const QrcIntVarArray& load, const QrcIntVarArray& where,
                      const QrcIntArray& weight, const QrcIntVar& used);
// With the number of used bins and an item table (n rows of n words): an
// entry not 0 promises that the two items go to different bins.
QrcConstraint QrcPack(const QrcIntVarArray& load, const QrcIntVarArray& where,
                      const QrcIntArray& weight, const QrcIntVar& used, QrcInt** table);
// With the set of used bins.
QrcConstraint QrcPack(const QrcIntVarArray& load, const QrcIntVarArray& where,
                      const QrcIntArray& weight, const QrcIntSetVar& used);

#endif
