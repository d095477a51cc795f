// Expression-building operators. Sums fold into one linear term, products
// of variables into a quadratic part, constant factors into coefficients;
// only what cannot be folded becomes an arithmetic node. A term (or quadratic
// expression) that nobody holds, given as an operand, may be extended in place
// and returned; a held one is copied first. Nothing else an operand is or
// refers to is changed or ended: a subtracted operand, the second operand of
// a sum of two terms and the parts inside operands stay as they were.
#ifndef QRO_OPERATORS_H
#define QRO_OPERATORS_H

#include "qrolinear.h"

// Operand and result of the operators: one expression pointer.
class QroNumExprArg {
 public:
  QroNumExprArg(QroNumExprI* impl = nullptr) : _impl(impl) {}
  QroNumExprArg(const QroNumExpr& e) : _impl(e.getImpl()) {}
  QroNumExprI* getImpl() const { return _impl; }
  operator QroNumExpr() const { return QroNumExpr(_impl); }

 private:
  QroNumExprI* _impl;
};

// One linear node (variable, coefficient) of an environment.
class QroNumLinTermNode {
 public:
  explicit QroNumLinTermNode(QroLinearNode* node = nullptr, QroEnvI* env = nullptr)
      : _node(node), _env(env) {}
  QroLinearNode* getNode() const { return _node; }
  // A one-node numeric term that takes over the node.
  QroNumExprArg toExprArg() const;
  operator QroNumExprArg() const { return toExprArg(); }

 private:
  QroLinearNode* _node;
  QroEnvI* _env;
};

// One quadratic node (x, y, coefficient) of an environment.
class QroNumQuadTermNode {
 public:
  explicit QroNumQuadTermNode(QroQuadNode* node = nullptr, QroEnvI* env = nullptr)
      : _node(node), _env(env) {}
  QroQuadNode* getNode() const { return _node; }
  QroEnvI* getEnv() const { return _env; }
  // A one-node quadratic expression that takes over the node.
  QroNumExprArg toExprArg() const;
  operator QroNumExprArg() const { return toExprArg(); }

 private:
  QroQuadNode* _node;
  QroEnvI* _env;
};

QroNumExprArg operator+(const QroNumExprArg& e1, const QroNumExprArg& e2);
// e + k * x and e - k * x, the node taken over.
QroNumExprArg operator+(const QroNumExprArg& e, const QroNumLinTermNode& n);
QroNumExprArg operator-(const QroNumExprArg& e, const QroNumLinTermNode& n);
QroNumExprArg operator+(const QroNumExprArg& e, QroNum c);
QroNumExprArg operator-(const QroNumExprArg& e1, const QroNumExprArg& e2);
QroNumExprArg operator-(const QroNumExprArg& e, QroNum c);
QroNumExprArg operator-(QroNum c, const QroNumExprArg& e);
QroNumExprArg operator-(const QroNumExprArg& e, const QroNumQuadTermNode& q);
QroNumExprArg operator*(const QroNumExprArg& e1, const QroNumExprArg& e2);
QroNumExprArg operator*(const QroNumExprArg& e, QroNum c);
QroNumExprArg operator*(QroNum c, const QroNumExprArg& e);
QroNumExprArg operator*(const QroNumExprArg& e, QroInt k);
QroNumQuadTermNode operator*(const QroNumVar& x, const QroNumVar& y);
// k * x as one linear node.
QroNumLinTermNode operator*(QroNum k, const QroNumVar& x);
QroNumExprArg operator/(const QroNumExprArg& e1, const QroNumExprArg& e2);
QroNumExprArg operator/(const QroNumExprArg& e, QroNum c);
QroNumExprArg operator/(QroNum c, const QroNumExprArg& e);
QroNumExprArg QroPower(const QroNumExprArg& e, QroNum c);

std::ostream& operator<<(std::ostream& os, const QroNumExprArg& e);

#endif
