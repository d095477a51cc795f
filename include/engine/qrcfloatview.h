// The float view of an integer expression: a float node whose bounds are the
// integer bounds as doubles and whose narrowing narrows the integer
// expression to the integers of the requested range. One view exists per
// integer expression and manager. The mixed operators of float and integer
// expressions are declared here.
#ifndef QRC_FLOAT_VIEW_H
#define QRC_FLOAT_VIEW_H

#include "qrcfloatexp.h"
#include "qrcint.h"

class QrcIntExp2QrcFloatExpI : public QrcFloatExpI {
  QRCLIBRARYCLASS(QrcIntExp2QrcFloatExpI)
 public:
  // attach: register as a parent of the integer expression (false for probes).
  explicit QrcIntExp2QrcFloatExpI(QrcIntExpI* exp, bool attach = true);
  void display(std::ostream& os) const override;
  bool isEqual(const QrcExprI* other) const override;
  bool getShareKey(ShareKey& key) const override {
    key = {_exp, 0, FloatViewShare};
    return true;
  }
  QrcExprI* makeCopy(QrcManagerI* target) const override;
  QRCEXPRTYPEID
  void collectScaledLinearTerms(QrcFloatLinearTermsI* acc, QrcFloat coef) override;
  void computeRange() override;
  void setOperandsRange(QrcFloat a, QrcFloat b) override;
  void removeWhenOnOperands(QrcDemonI* demon) override;
  void whenValueOnOperands(QrcDemonI* demon) override;
  void whenRangeOnOperands(QrcDemonI* demon) override;
  void whenDomainOnOperands(QrcDemonI* demon) override;
  QrcIntExpI* getIntExp() const override { return _exp; }
  void accept(QrcFloatExpVisitorI* visitor) override { visitor->visitIntView(this); }

 private:
  void computeClampedRange(QrcInt a, QrcInt b);
  QrcIntExpI* _exp;
};

// The shared view of an integer expression (get-or-create).
QrcFloatExpI* QrcGetFloatView(QrcIntExpI* exp);

QrcFloatExp operator+(const QrcFloatExp& x, const QrcIntExp& y);
QrcFloatExp operator+(const QrcIntExp& x, QrcFloat c);
QrcFloatExp operator*(const QrcIntExp& x, QrcFloat c);
QrcFloatExp operator*(QrcFloat c, const QrcIntExp& x);
QrcFloatExp operator/(const QrcIntExp& x, QrcFloat c);
QrcFloatExp operator*(const QrcIntExp& x, const QrcFloatExp& y);
QrcFloatExp operator*(const QrcFloatExp& x, const QrcIntExp& y);
QrcFloatExp operator/(QrcFloat k, const QrcIntExp& x);

#endif
