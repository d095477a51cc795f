// Constraints that filter at more than one strength: a kind, an optional
// explicit level, and a chain of sub-constraints that follow the same level.
// Without an explicit level the level comes from the owning solver's table of
// defaults per kind, or from the built-in defaults.
#ifndef QRC_FILTERLEVEL_H
#define QRC_FILTERLEVEL_H

#include "qrcconstraint.h"

// Constraint kinds with a filter level.
enum QrcConstraintKind {
  QrcAllDiffKind = 0,
  QrcDistributeKind = 1,
  QrcSequenceKind = 2,
  QrcAllMinDistanceKind = 3,
  QrcPartitionKind = 4,
  QrcAllNullIntersectKind = 5,
  QrcEqUnionKind = 6,
  QrcNotOverlapKind = 7,
  QrcBoxKind = 8,
  QrcPairingKind = 9
};

// A filter level: an integer, so that any value reaches the range checks.
typedef QrcInt QrcFilterLevel;

// The accepted levels, from the lightest filtering to the strongest; what each
// level adds is the kind's own.
enum QrcFilterLevelName {
  QrcLowFilterLevel = 0,
  QrcMediumFilterLevel = 1,
  QrcHighFilterLevel = 2,
  QrcFullFilterLevel = 3
};

// Built-in default level of a kind: low for pairwise disjoint sets and
// not-overlap, medium otherwise.
QrcInt QrcDefaultFilterLevel(QrcInt kind);

// The solver's table of default levels, one per kind 0..8.
class QrcFilterLevelTable {
 public:
  static const int KindCount = 9;
  explicit QrcFilterLevelTable(QrcManagerI* manager);
  // Back to the built-in defaults; entries are trail-saved outside edit mode.
  void reset();
  // Entry of a kind; error 69 for a kind outside the table (the pairing kind,
  // which has no entry, gets the built-in default).
  QrcInt getFilterLevel(QrcInt kind) const;
  void setFilterLevel(QrcInt kind, QrcInt level);

 private:
  QrcManagerI* _manager;
  QrcInt _levels[KindCount];
};

class QrcConstraintWithFilterI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcConstraintWithFilterI)
  QROSIMPLECLASS(QrcConstraintWithFilterI, QrcConstraintI)
 public:
  QrcConstraintWithFilterI(QrcManagerI* manager, QrcInt kind, QrcInt initialLevel);

  // Accepts (1) or refuses (0) a level; see the class comment of the file.
  QrcBool setFilterLevel(QrcInt level) override;
  // Whether the subclass implements a level; it may install that level's filtering.
  virtual QrcBool isFilterLevelSupported(QrcInt level) {
    (void)level;
    return 1;
  }

  QrcInt getFilterLevel() const;
  // Called by a subclass's post: error 70 when the effective level is refused.
  void checkFilterLevel();
  void addSubConstraint(QrcConstraintWithFilterI* sub);
  void propagateFilterLevel(QrcInt level);
  QrcInt getKind() const { return _kind; }
  QrcInt getInitialLevel() const { return _initialLevel; }
  bool hasExplicitLevel() const { return _explicit != 0; }

 private:
  bool isPostedState() const { return _state == Idle || _state == Pending || _state == Dormant; }
  QrcInt _explicit;
  QrcInt _level;
  QrcInt _initialLevel;
  QrcInt _kind;
  QrcConstraintWithFilterI* _subs;
  QrcConstraintWithFilterI* _link;
};

#endif
