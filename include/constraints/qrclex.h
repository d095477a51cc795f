// Lexicographic order of two integer arrays of one size: x >= y (equality
// included). Only the first position not yet forced equal (alpha) and the one
// after it are watched.
#ifndef QRC_LEX_H
#define QRC_LEX_H

#include "qrcint.h"

class QrcLexCtI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcLexCtI)
  QROSIMPLECLASS(QrcLexCtI, QrcConstraintI)
 public:
  // Arrays of different sizes: error 5.
  QrcLexCtI(QrcManagerI* manager, const QrcIntVarArray& x, const QrcIntVarArray& y);
  void post() override;
  void propagate() override;
  // The first position not forced equal; the size once the order holds.
  QrcInt getAlpha() const { return _alpha.getValue(); }

 private:
  void watch(QrcInt i);
  QrcIntExpI* x(QrcInt i) const { return _x.getImpl()->getVar(i); }
  QrcIntExpI* y(QrcInt i) const { return _y.getImpl()->getVar(i); }

  QrcIntVarArray _x;
  QrcIntVarArray _y;
  QrcInt _n;
  QrcRevWord _alpha;
};

// a >= b lexicographically: a[0] >= b[0] for one element. Arrays of different
// sizes, or an empty or missing a: error 5 ("QrcLex Constraint", "bad array
// size", the size of b, or 0) and an empty handle.
QrcConstraint QrcGeLex(const QrcIntVarArray& a, const QrcIntVarArray& b);
// a <= b lexicographically: QrcGeLex(b, a).
QrcConstraint QrcLeLex(const QrcIntVarArray& a, const QrcIntVarArray& b);

#endif
