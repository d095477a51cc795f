// Constraints read as 0-1 expressions, the integer objective filter and the
// saver of an integer expression's bounds.
#ifndef QRC_INTTRUTH_H
#define QRC_INTTRUTH_H

#include "qrcconstraint.h"
#include "qrcintexp.h"
#include "qrcsearch.h"

// 1 when its constraint is known true, 0 when known false.
class QrcBoolIntExpI : public QrcIntExpI {
  QRCLIBRARYCLASS(QrcBoolIntExpI)
 public:
  QrcBoolIntExpI(QrcManagerI* m, QrcConstraintI* ct);
  QRCEXPRTYPEID
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void computeRangeAsDoubles() override { computeRange(); }
  void setOperandsRange(QrcInt a, QrcInt b) override;
  void whenRangeOnOperands(QrcDemonI* d) override;
  void whenDomainOnOperands(QrcDemonI* d) override { whenRangeOnOperands(d); }
  QrcConstraintI* getConstraint() const { return _ct; }
  // Whether the truth is known (known true only, when asked): the range is
  // no longer [0, 1], or would not be once computed. Asks the constraint
  // without caching the bounds when they are not fresh.
  bool isKnown(bool onlyTrue = false);
  // Caches bounds found by reading the truth elsewhere, as computeRange would
  // (a variable's bounds change by its link only).
  void setKnownBounds(QrcInt min, QrcInt max) {
    if (_handler) return;
    _min = min;
    _max = max;
    _boundsStamp = currentFailStamp();
  }

 private:
  QrcConstraintI* _ct;
};

// The test of a comparison over variables read in their bounds: x <= y + k,
// or x == k when y is null (over a variable without a domain set).
struct QrcTruthTest {
  QrcIntExpI* x;
  QrcIntExpI* y;
  QrcInt k;
  bool readsBounds() const { return y || !x->getDomainSet(); }
  bool isFalse() const {
    if (y) return x->rawMin() > y->rawMax() + k;
    return k < x->rawMin() || k > x->rawMax();
  }
  // The opposite (y <= x - k - 1, x != k) is false.
  bool isTrue() const {
    if (y) return y->rawMin() > x->rawMax() - k - 1;
    return x->rawMin() == k && x->rawMax() == k;
  }
};

// The demon that a truth expression without truth records hangs on its
// constraint's operands for a reader of its range (and on the opposite's,
// when they differ, for the truth becoming known true): the range stays
// [0, 1] until the truth is known, so the reader runs, as a list runs the
// demons it marks, only then and once, instead of on every operand event. Over a comparison x <= y
// + k of variables plus constants or x == c of a variable, or a conjunction of two, it reads the
// truth in the variables' bounds itself while the manager has no truth records.
class QrcWhenKnownDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcWhenKnownDemonI)
  QROSIMPLECLASS(QrcWhenKnownDemonI, QrcDemonI)
 public:
  // Idle from the start, as the other watches. The watch hung on the
  // opposite's events waits for the truth to be known true only.
  QrcWhenKnownDemonI(QrcManagerI* m, QrcBoolIntExpI* truth, QrcDemonI* d, bool onlyTrue = false);
  void propagate() override;
  void display(std::ostream& os) const override;

 private:
  bool isKnown();

  QrcBoolIntExpI* _truth;
  QrcDemonI* _d;
  bool _onlyTrue;
  // 0: the truth expression answers; 1: one test; 2: the conjunction of two.
  QrcInt _testCount;
  QrcTruthTest _tests[2];
};

// Tells a constraint's truth record which expression stands for it.
class QrcMetaExpressionDemon : public QrcDemonI {
  QRCLIBRARYCLASS(QrcMetaExpressionDemon)
  QROSIMPLECLASS(QrcMetaExpressionDemon, QrcDemonI)
 public:
  QrcMetaExpressionDemon(QrcManagerI* m, QrcExprI* exp) : QrcDemonI(m), _exp(exp) {}
  void propagate() override {}
  void* getMetaExpression() const override { return _exp; }

 private:
  QrcExprI* _exp;
};

// In edit mode, attaches the meta demon when posted.
class QrcLinkBoolIntExpI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcLinkBoolIntExpI)
  QROSIMPLECLASS(QrcLinkBoolIntExpI, QrcConstraintI)
 public:
  QrcLinkBoolIntExpI(QrcManagerI* m, QrcBoolIntExpI* exp, QrcConstraintI* ct)
      : QrcConstraintI(m), _exp(exp), _ct(ct) {}
  void post() override;
  void propagate() override {}

 private:
  QrcBoolIntExpI* _exp;
  QrcConstraintI* _ct;
};

// Minimises an integer variable: the bound tightens after each solution.
class QrcIntOptFilterI : public QrcOptFilterI {
  QRCLIBRARYCLASS(QrcIntOptFilterI)
 public:
  QrcIntOptFilterI(QrcIntExpI* var, QrcInt step, double relativeStep);
  QrcFloat getBound() const override;
  QrcBool checkValue(QrcFloat value) const override;
  void applyBound() override;
  void computeNextBound() override;
  void update() override;
  void advanceBound() override;
  void applyRecordedBound(QrcFloat value) override;
  // The forms that answer their result.
  QrcFloat check(QrcFloat value);
  QrcFloat nextBound();
  QrcInt getIntBound() const { return _bound; }
  bool hasBound() const { return _hasBound != 0; }

 private:
  QrcIntExpI* _var;
  QrcInt _bound;
  // The last objective value found (the variable's max at creation): a
  // restart gives the bound back to it, whatever the step.
  QrcInt _value;
  QrcInt _step;
  double _relativeStep;
  QrcInt _hasBound;
};

// Records an expression's bounds and puts them back.
class QrcIntSaverI : public QrcSaverI {
  QRCLIBRARYCLASS(QrcIntSaverI)
 public:
  explicit QrcIntSaverI(QrcIntExpI* exp);
  void save() override;
  void restore() override;
  QrcInt getSavedMin() const { return _savedMin; }
  QrcInt getSavedMax() const { return _savedMax; }

 private:
  QrcInt _savedMin;
  QrcInt _savedMax;
};

#endif
