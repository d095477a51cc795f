// Spread: mean = (x[0] + ... + x[n-1]) / n and dev the population standard
// deviation of integer variables (n^2 dev^2 = n sum x^2 - (sum x)^2, dev >= 0),
// posted as float equalities, with a sweep over the sorted bounds that bounds
// n dev^2 from below and the sum from both sides.
#ifndef QRC_SPREAD_H
#define QRC_SPREAD_H

#include "qrcfloatvararray.h"
#include "qrcint.h"

class QrcSpreadI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcSpreadI)
  QROSIMPLECLASS(QrcSpreadI, QrcConstraintI)
 public:
  QrcSpreadI(QrcManagerI* manager, const QrcIntVarArray& x, QrcFloatExpI* mean, QrcFloatExpI* dev);
  // The float views, the equalities, dev >= 0, and the demons (nothing over
  // no variable).
  void post() override;
  // The sweep (nothing when every variable is bound); rounding is back to
  // nearest when it returns.
  void propagate() override;
  // The sum of the variables and n dev^2, made at post (for tests).
  QrcFloatExpI* getSum() const { return _sum; }
  QrcFloatExpI* getNDev2() const { return _ndev2; }

  // A bound of an unbound variable at a position.
  struct Bound {
    QrcInt position;
    QrcInt value;
  };

 private:
  QrcIntExpI* x(QrcInt i) const { return _x.getImpl()->getVar(i); }
  // The bounds of the unbound variables into _bounds, by increasing value;
  // returns their count.
  QrcInt collectBounds();

  QrcIntVarArray _x;
  QrcFloatExpI* _mean;
  QrcFloatExpI* _dev;
  QrcFloatVarArray _y;
  QrcFloatVarArray _z;
  QrcFloatExpI* _sum;
  QrcFloatExpI* _ndev2;
  Bound* _bounds;
  QrcInt _n;
};

// Not added to the manager. An expression of x becomes a variable.
QrcConstraint QrcSpread(const QrcIntVarArray& x, const QrcFloatVar& mean, const QrcFloatVar& dev);

#endif
