// Expression-building operators. Sums fold into one linear term, products
// of variables into a quadratic part, constant factors into coefficients;
// only what cannot be folded becomes an arithmetic node. A term (or quadratic
// expression) that nobody holds, given as an operand, may be extended in place
// and returned; a held one (QroNumExprI::isHeld: by a parent, by a model that
// lists it or by an algorithm that extracted it) is copied first. Of two
// terms summed, the first is extended, unless it comes as a sole handle
// (below): then the second, with the first one's parts put in front. An
// operand that comes as a sole handle may be taken apart and ended. Nothing
// else an operand refers to is ended, and the second operand of a
// subtraction is never changed.
#ifndef QRO_OPERATORS_H
#define QRO_OPERATORS_H

#include "qrolinear.h"

// Operand and result of the operators: one expression pointer, and whether
// this handle is the only way to the expression (sole). An operator's result
// that it made is sole until it is copied: copying (or converting to
// QroNumExpr) makes both handles not sole, moving passes soleness on and
// empties a sole source. Operands are taken by value, so a named handle
// arrives as a copy and only a temporary (or a moved handle) arrives sole.
class QroNumExprArg {
 public:
  QroNumExprArg(QroNumExprI* impl = nullptr) : _impl(impl), _sole(false) {}
  QroNumExprArg(const QroNumExpr& e) : _impl(e.getImpl()), _sole(false) {}
  QroNumExprArg(const QroNumExprArg& other) : _impl(other._impl), _sole(false) {
    other._sole = false;
  }
  QroNumExprArg(QroNumExprArg&& other) noexcept : _impl(other._impl), _sole(other._sole) {
    other.vacate();
  }
  QroNumExprArg& operator=(const QroNumExprArg& other) {
    _impl = other._impl;
    _sole = false;
    other._sole = false;
    return *this;
  }
  QroNumExprArg& operator=(QroNumExprArg&& other) noexcept {
    if (this != &other) {
      _impl = other._impl;
      _sole = other._sole;
      other.vacate();
    }
    return *this;
  }
  // A sole handle to an expression that nothing else points at (an
  // operator's result).
  static QroNumExprArg Sole(QroNumExprI* impl) {
    QroNumExprArg a(impl);
    a._sole = true;
    return a;
  }

  QroNumExprI* getImpl() const { return _impl; }
  bool isSole() const { return _sole; }
  operator QroNumExpr() const {
    _sole = false;
    return QroNumExpr(_impl);
  }

 private:
  void vacate() {
    if (_sole) _impl = nullptr;
    _sole = false;
  }

  QroNumExprI* _impl;
  mutable bool _sole;
};

// One linear node (variable, coefficient) of an environment.
class QroNumLinTermNode {
 public:
  explicit QroNumLinTermNode(QroLinearNode* node = nullptr, QroEnvI* env = nullptr)
      : _node(node), _env(env) {}
  QroLinearNode* getNode() const { return _node; }
  // A one-node numeric term that takes over the node (a sole handle).
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
  // A one-node quadratic expression that takes over the node (a sole handle).
  QroNumExprArg toExprArg() const;
  operator QroNumExprArg() const { return toExprArg(); }

 private:
  QroQuadNode* _node;
  QroEnvI* _env;
};

QroNumExprArg operator+(QroNumExprArg e1, QroNumExprArg e2);
// e + k * x and e - k * x, the node taken over.
QroNumExprArg operator+(QroNumExprArg e, const QroNumLinTermNode& n);
QroNumExprArg operator-(QroNumExprArg e, const QroNumLinTermNode& n);
QroNumExprArg operator+(QroNumExprArg e, QroNum c);
QroNumExprArg operator-(QroNumExprArg e1, QroNumExprArg e2);
QroNumExprArg operator-(QroNumExprArg e, QroNum c);
QroNumExprArg operator-(QroNum c, QroNumExprArg e);
QroNumExprArg operator-(QroNumExprArg e, const QroNumQuadTermNode& q);
QroNumExprArg operator*(QroNumExprArg e1, QroNumExprArg e2);
QroNumExprArg operator*(QroNumExprArg e, QroNum c);
QroNumExprArg operator*(QroNum c, QroNumExprArg e);
QroNumExprArg operator*(QroNumExprArg e, QroInt k);
QroNumQuadTermNode operator*(const QroNumVar& x, const QroNumVar& y);
// k * x as one linear node.
QroNumLinTermNode operator*(QroNum k, const QroNumVar& x);
QroNumExprArg operator/(QroNumExprArg e1, QroNumExprArg e2);
QroNumExprArg operator/(QroNumExprArg e, QroNum c);
QroNumExprArg operator/(QroNum c, QroNumExprArg e);
QroNumExprArg QroPower(QroNumExprArg e, QroNum c);

std::ostream& operator<<(std::ostream& os, const QroNumExprArg& e);

#endif
