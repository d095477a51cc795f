// The all-different constraint: the variables of an array take pairwise
// different values. Its filter level chooses the pruning: 0 and 1 remove the
// value of a bound variable from the others; 2 adds bounds reasoning over
// Hall intervals; 3 adds domain filtering by matching.
#ifndef QRC_ALLDIFF_H
#define QRC_ALLDIFF_H

#include "qrcfilterlevel.h"
#include "qrcint.h"

class QrcAllDiffConstraintI : public QrcConstraintWithFilterI {
  QRCLIBRARYCLASS(QrcAllDiffConstraintI)
  QROSIMPLECLASS(QrcAllDiffConstraintI, QrcConstraintWithFilterI)
 public:
  QrcAllDiffConstraintI(QrcManagerI* manager, QrcIntExpI* const* vars, QrcInt n);

  // Checks the level (installing its filtering), then one value demon per variable.
  void post() override;
  // Fails on a repeated variable; runs the value rule for the bound variables.
  void propagate() override;
  void display(std::ostream& os) const override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  // 0 and 1: yes; 2 and 3 add their auxiliary constraint; others: no.
  QrcBool isFilterLevelSupported(QrcInt level) override;

  // Removes the value of the bound x from every variable not yet processed.
  void valueRule(QrcIntExpI* x);
  QrcInt getSize() const { return _n; }

 private:
  QrcInt _n;
  QrcIntExpI** _vars;
  // Number of leading entries of _vars whose values left all the others.
  QrcRevWord _done;
};

// Bounds reasoning over Hall intervals (level 2): among variables sorted by
// decreasing minimum, a threshold scan per distinct maximum v finds the
// intervals [L, v] holding as many variables as values and takes their
// values away from every other variable. A propagation reads the bounds once
// and decides on that reading, narrowed only by its own conclusions: a
// narrowing it makes may move another of its variables at once (an offset
// view of it), which the next propagation reads.
class QrcAllDiffRangeI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcAllDiffRangeI)
  QROSIMPLECLASS(QrcAllDiffRangeI, QrcConstraintI)
 public:
  QrcAllDiffRangeI(QrcManagerI* manager, QrcIntExpI* const* vars, QrcInt n);
  void post() override;
  void propagate() override;

  // A variable and the bounds the propagation works on.
  struct Entry {
    QrcIntExpI* x;
    QrcInt min;
    QrcInt max;
  };

 private:
  // Thresholds into _values: the distinct maxima of the unbound variables,
  // decreasing; returns their count.
  QrcInt collectThresholds();
  // The variables by decreasing minimum.
  void sortByMin();
  // Hall intervals ending at threshold v among the variables first..last.
  void sweepThreshold(QrcInt v, QrcInt first, QrcInt last);

  QrcInt _n;
  Entry* _vars;
  QrcInt* _values;
  QrcInt _sortStamp;
};

// The constraint with no explicit level (the solver's default for the kind).
QrcConstraint QrcAllDiff(const QrcIntVarArray& vars);
// Level 0..3; another level is error 44 ("bad event", "QrcAllDiff", level).
QrcConstraint QrcAllDiff(const QrcIntVarArray& vars, QrcFilterLevel level);

#endif
