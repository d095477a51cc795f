// Channelling constraints. Inverse: f[i] = j exactly when invf[j] = i, for j
// in [0, p - 1] and i in [0, n - 1] (values outside the other array are left
// free). Set channelling: x[j] = i exactly when j is an element of S[i], each
// x[j] in [0, m - 1] and each S[i] within [0, n - 1].
#ifndef QRC_INVERSE_H
#define QRC_INVERSE_H

#include "qrcint.h"
#include "qrcintsetvar.h"

class QrcInverseCstI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcInverseCstI)
  QROSIMPLECLASS(QrcInverseCstI, QrcConstraintI)
 public:
  // Fresh arrays of the caller's variables.
  QrcInverseCstI(QrcManagerI* manager, const QrcIntVarArray& f, const QrcIntVarArray& invf);
  void post() override;
  void propagate() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  // f[i] (forward) or invf[i] changed.
  void changed(bool forward, QrcInt i);

 private:
  QrcIntVarArray _f;
  QrcIntVarArray _invf;
};

class QrcSetInverseI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcSetInverseI)
  QROSIMPLECLASS(QrcSetInverseI, QrcConstraintI)
 public:
  QrcSetInverseI(QrcManagerI* manager, const QrcIntSetVarArray& sets, const QrcIntVarArray& x);
  void post() override;
  void propagate() override;
  void setChanged(QrcInt i);
  void varChanged(QrcInt j);
  void varBound(QrcInt j);

 private:
  QrcIntSetVarI* set(QrcInt i) const {
    return static_cast<QrcIntSetVarI*>(_sets.getImpl()->get(i));
  }
  QrcIntSetVarArray _sets;
  QrcIntVarArray _x;
};

// f and invf made inverse to each other (expressions become variables).
QrcConstraint QrcInverse(const QrcIntVarArray& f, const QrcIntVarArray& invf);
// x[j] names the set S[x[j]] that holds j.
QrcConstraint QrcInverse(const QrcIntSetVarArray& sets, const QrcIntVarArray& x);

#endif
