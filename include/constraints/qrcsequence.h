// Sequence: every w consecutive variables of x hold between lo and hi values
// of V, and cards[i] counts values[i] over x. Posting decomposes it, per phase
// t < w, into windows starting at t + k w: each window's variables are
// abstracted (a value outside V becomes the window's own value d) and one
// distribute per phase bounds each window's out-count and the cards. Level 3
// also links every window with the window one position to its right.
#ifndef QRC_SEQUENCE_H
#define QRC_SEQUENCE_H

#include "qrcfilterlevel.h"
#include "qrcint.h"

struct QrcSequenceWindow {
  QrcIntVarArrayI* ys;  // the abstracted variables of the window
  QrcIntExpI* out;      // how many of them take the window's value d
  QrcInt d;
};

class QrcSequenceConstraintI : public QrcConstraintWithFilterI {
  QRCLIBRARYCLASS(QrcSequenceConstraintI)
  QROSIMPLECLASS(QrcSequenceConstraintI, QrcConstraintWithFilterI)
 public:
  QrcSequenceConstraintI(QrcManagerI* manager, QrcInt lo, QrcInt hi, QrcInt w,
                         const QrcIntVarArray& x, const QrcIntArray& values,
                         const QrcIntVarArray& cards);
  void post() override;
  void propagate() override {}
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  // 0..2: yes; 3: yes, forwarded to the distributes, and the links installed once.
  QrcBool isFilterLevelSupported(QrcInt level) override;

  // The windows of phase t (after posting).
  QrcInt getWindowCount(QrcInt t) const { return _counts ? _counts[t] : 0; }
  const QrcSequenceWindow& getWindow(QrcInt t, QrcInt k) const { return _phases[t][k]; }

 private:
  void addWindow(QrcSequenceWindow& rec, QrcInt first, QrcInt size, QrcInt outMin, QrcInt outMax,
                 QrcInt d);
  // Least and greatest value over the domains of x and the counted values.
  void valueSpan(QrcInt* bottom, QrcInt* top) const;
  // Sizes _counts of the phases' window lists; returns the largest.
  QrcInt countWindows();
  // The windows of every phase, window k of a phase abstracted to d[k].
  void buildPhases(QrcInt lo, QrcInt hi, const QrcInt* d);
  // The distribute over the windows of phase t and the counted values.
  void postPhase(QrcInt t, QrcInt level);
  void link(const QrcSequenceWindow& a, const QrcSequenceWindow& b);
  void installLinks();

  QrcInt _lo;
  QrcInt _hi;
  QrcInt _w;
  QrcIntVarArray _x;
  QrcIntArray _values;
  QrcIntVarArray _cards;
  QrcSequenceWindow** _phases;
  QrcInt* _counts;
  QrcInt _linked;
};

// Error 5 ("QrcSequence", "bad array size", size of values) when cards and
// values differ in size.
QrcConstraint QrcSequence(QrcInt lo, QrcInt hi, QrcInt w, const QrcIntVarArray& x,
                          const QrcIntArray& values, const QrcIntVarArray& cards);

#endif
