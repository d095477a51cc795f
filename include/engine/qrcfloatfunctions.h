// Powers, exponential, logarithm and monotonic functions of float expressions,
// with outward-rounded bounds and narrowing of the operand.
#ifndef QRC_FLOAT_FUNCTIONS_H
#define QRC_FLOAT_FUNCTIONS_H

#include "qrcfloatnodes.h"

typedef double (*QrcFloatFunction)(double);

// x^n, n >= 3.
class QrcFloatIntPowerI : public QrcFloatUnaryExpI {
  QRCLIBRARYCLASS(QrcFloatIntPowerI)
 public:
  QrcFloatIntPowerI(QrcFloatExpI* x, QrcInt n);
  QRCFLOATNODE(QrcFloatIntPowerI, "QrcFloatIntPower")
  bool hasQuietOperands() override { return quietOperand(); }
  void touchOperands() override { _x->touch(); }
  bool scanSides(QrcFloatSideScan& scan, int side) override {
    return scan.positive(this) && scan.positive(_x) && scan.visit(_x, side);
  }
  QrcInt getExponent() const { return _n; }

 private:
  // The n-th roots rounded down and up, each remembering its last argument:
  // a fixpoint narrows the node to the same bound again and again.
  QrcFloat rootBelow(QrcFloat y);
  QrcFloat rootAbove(QrcFloat y);

  QrcInt _n;
  QrcFloat _invDown;
  QrcInt _odd;
  QrcFloat _invUp;
  QrcFloat _belowArg, _belowRoot, _aboveArg, _aboveRoot;
};

// x^p, p > 0 real; undefined for x < 0.
class QrcFloatPowerI : public QrcFloatUnaryExpI {
  QRCLIBRARYCLASS(QrcFloatPowerI)
 public:
  QrcFloatPowerI(QrcFloatExpI* x, QrcFloat p);
  QRCFLOATNODE(QrcFloatPowerI, "QrcFloatPower")

 private:
  QrcFloat _p;
  QrcFloat _invDown;
  QrcFloat _invUp;
};

class QrcExponentI : public QrcFloatUnaryExpI {
  QRCLIBRARYCLASS(QrcExponentI)
 public:
  explicit QrcExponentI(QrcFloatExpI* x) : QrcFloatUnaryExpI(0.0, x) {}
  QRCFLOATNODE(QrcExponentI, "QrcExponent")
};

class QrcLogI : public QrcFloatUnaryExpI {
  QRCLIBRARYCLASS(QrcLogI)
 public:
  explicit QrcLogI(QrcFloatExpI* x) : QrcFloatUnaryExpI(0.0, x) {}
  QRCFLOATNODE(QrcLogI, "QrcLog")
};

// f(x) for a function f with inverse g, known to be monotonic.
class QrcMonotonicFloatExpI : public QrcFloatUnaryExpI {
 public:
  QrcMonotonicFloatExpI(QrcFloatExpI* x, QrcFloatFunction f, QrcFloatFunction g, const char* name);
  void display(std::ostream& os) const override;
  QRCEXPRTYPEID

 protected:
  QrcFloatFunction _f;
  QrcFloatFunction _g;
  const char* _fname;
};

class QrcMonotonicIncreasingFloatExpI : public QrcMonotonicFloatExpI {
 public:
  QrcMonotonicIncreasingFloatExpI(QrcFloatExpI* x, QrcFloatFunction f, QrcFloatFunction g,
                                  const char* name)
      : QrcMonotonicFloatExpI(x, f, g, name) {}
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void setOperandsRange(QrcFloat lo, QrcFloat hi) override;
};

class QrcMonotonicDecreasingFloatExpI : public QrcMonotonicFloatExpI {
 public:
  QrcMonotonicDecreasingFloatExpI(QrcFloatExpI* x, QrcFloatFunction f, QrcFloatFunction g,
                                  const char* name)
      : QrcMonotonicFloatExpI(x, f, g, name) {}
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  void computeRange() override;
  void setOperandsRange(QrcFloat lo, QrcFloat hi) override;
};

QrcFloatExp QrcPower(const QrcFloatExp& x, QrcInt n);
QrcFloatExp QrcPower(const QrcFloatExp& x, int n);
QrcFloatExp QrcPower(const QrcFloatExp& x, QrcFloat p);
QrcFloatExp QrcPower(const QrcFloatExp& x, const QrcFloatExp& y);
QrcFloatExp QrcPower(QrcFloat c, const QrcFloatExp& x);
QrcFloatExp QrcExponent(const QrcFloatExp& x);
QrcFloatExp QrcLog(const QrcFloatExp& x);
QrcFloatExp QrcMonotonicIncreasingFloatExp(const QrcFloatExp& x, QrcFloatFunction f,
                                           QrcFloatFunction g, const char* name = nullptr);
QrcFloatExp QrcMonotonicDecreasingFloatExp(const QrcFloatExp& x, QrcFloatFunction f,
                                           QrcFloatFunction g, const char* name = nullptr);

#endif
