#include "qroexpr.h"

#include <cmath>
#include <ostream>

#include "qroalgorithm.h"
#include "qrochange.h"
#include "qroevaluator.h"
#include "qrolinear.h"
#include "qronumeric.h"

QroIntExpr::QroOverflowOccurred::~QroOverflowOccurred() {}

// ---------------------------------------------------------------------------
// Base classes

QroNumExprI::~QroNumExprI() {}
QroIntExprI::~QroIntExprI() {}
QroConstraintI::~QroConstraintI() {}

void QroNumExprI::releaseUnlessEnding() {
  if (_env->isEnding()) return;
  releaseAllowed();
}

void QroNumExprI::checkRelease() {
  if (_useCount > 1 || _env->getExtractableListener() || _env->getCascade()) return;
  QroDestroyExtractable c(this);
  _env->checkChange(&c, this);
}

void QroNumExprI::release() {
  checkRelease();
  releaseAllowed();
}

void QroNumExprI::releaseAllowed() {
  if (--_useCount > 0) return;
  if (QroExtractableListenerI* l = _env->getExtractableListener()) {
    l->endExtractable(this);
    return;
  }
  if (_env->getCascade())
    _env->endExtractable(this);
  else
    _env->destroyExtractable(this, 0, 1);
}

QroBool QroNumExprI::isHeld() const {
  return _useCount > 0 || _env->isUsedByAnAlgorithm(getId());
}

QroNumLinTermI* QroNumExprI::makeNumLinTerm() {
  QroNumLinTermI* t = new (_env) QroNumLinTermI(_env, 0.0);
  t->appendExpr(this);
  return t;
}

QroIntLinTermI* QroIntExprI::makeIntLinTerm() {
  QroIntLinTermI* t = new (_env) QroIntLinTermI(_env, 0);
  t->addExpr(this);
  return t;
}

QroNum QroConstraintI::eval(QroAlgorithmI* algorithm) const {
  try {
    return algorithm->getValue(const_cast<QroConstraintI*>(this));
  } catch (const QroException&) {
    // The environment's model evaluator answers what the algorithm cannot.
    if (algorithm->asModelEvaluator()) throw;
    QroModelEvaluatorI* evaluator = algorithm->getModelEvaluator();
    if (!evaluator) throw;
    return eval(evaluator);
  }
}

// ---------------------------------------------------------------------------
// Nodes

namespace {
const char* const kNodeMixing = "QroNumExpr: mixing mismatch environments";
}

QroNumUnaryNodeI::QroNumUnaryNodeI(QroEnvI* env, QroNumExprI* e)
    : QroNumExprI(QroSameEnv(env, e, kNodeMixing)), _e(e) {
  _e->incrUseCount();
}

QroNumUnaryNodeI::~QroNumUnaryNodeI() {
  _env->releaseExpression(_e);
}

void QroNumUnaryNodeI::visitSubExtractables(QroExtractableVisitor* v) {
  v->visit(this);
  v->visitChild(this, _e);
  v->endVisit(this);
}

QroNumBinaryNodeI::QroNumBinaryNodeI(QroEnvI* env, QroNumExprI* a, QroNumExprI* b)
    : QroNumExprI(QroSameEnv(QroSameEnv(env, a, kNodeMixing), b, kNodeMixing)), _a(a), _b(b) {
  _a->incrUseCount();
  _b->incrUseCount();
}

QroNumBinaryNodeI::~QroNumBinaryNodeI() {
  QroEnvI* env = _env;
  env->releaseExpression(_a);
  env->releaseExpression(_b);
}

void QroNumBinaryNodeI::visitSubExtractables(QroExtractableVisitor* v) {
  v->visit(this);
  v->visitChild(this, _a);
  if (!v->isDone()) v->visitChild(this, _b);
  v->endVisit(this);
}

QroIntTimesCstI::QroIntTimesCstI(QroEnvI* env, QroNumExprI* e, QroInt c)
    : QroIntExprI(env), _e(e), _c(c) {
  _e->incrUseCount();
}

QroIntTimesCstI::~QroIntTimesCstI() {
  _env->releaseExpression(_e);
}

void QroIntTimesCstI::visitSubExtractables(QroExtractableVisitor* v) {
  v->visit(this);
  v->visitChild(this, _e);
  v->endVisit(this);
}

QroNumTimesCstI::~QroNumTimesCstI() {}
QroNumTimesI::~QroNumTimesI() {}
QroNumDivI::~QroNumDivI() {}
QroNumDivCstI::~QroNumDivCstI() {}
QroNumRecDivCstI::~QroNumRecDivCstI() {}
QroNumSquareI::~QroNumSquareI() {}
QroNumPowerCstI::~QroNumPowerCstI() {}

namespace {
QroNumExprI* cloneOf(QroEnvI* env, QroNumExprI* e) {
  return static_cast<QroNumExprI*>(env->getClone(e));
}
bool parenthesised(const QroExtractableI* x) {
  return x->getEnv()->isParenthesisDisplay();
}
// The second operand is cloned first.
template <class Node>
QroExtractableI* cloneBinary(QroEnvI* env, QroNumExprI* a, QroNumExprI* b) {
  QroNumExprI* bc = cloneOf(env, b);
  QroNumExprI* ac = cloneOf(env, a);
  return new (env) Node(env, ac, bc);
}
}  // namespace

QroExtractableI* QroNumTimesCstI::makeClone(QroEnvI* env) const {
  return new (env) QroNumTimesCstI(env, cloneOf(env, _e), _c);
}

QroExtractableI* QroNumTimesI::makeClone(QroEnvI* env) const {
  return cloneBinary<QroNumTimesI>(env, _a, _b);
}
QroExtractableI* QroNumDivI::makeClone(QroEnvI* env) const {
  return cloneBinary<QroNumDivI>(env, _a, _b);
}
QroExtractableI* QroNumDivCstI::makeClone(QroEnvI* env) const {
  return new (env) QroNumDivCstI(env, cloneOf(env, _e), _c);
}
QroExtractableI* QroNumRecDivCstI::makeClone(QroEnvI* env) const {
  return new (env) QroNumRecDivCstI(env, cloneOf(env, _e), _c);
}
QroExtractableI* QroIntTimesCstI::makeClone(QroEnvI* env) const {
  return new (env) QroIntTimesCstI(env, cloneOf(env, _e), _c);
}
QroExtractableI* QroNumSquareI::makeClone(QroEnvI* env) const {
  return new (env) QroNumSquareI(env, cloneOf(env, _e));
}
QroExtractableI* QroNumPowerCstI::makeClone(QroEnvI* env) const {
  return new (env) QroNumPowerCstI(env, cloneOf(env, _e), _c);
}

QroBool QroNumTimesCstI::isIntExpr() const {
  return _e->isIntExpr() && QroIsIntegerValue(_c);
}
QroBool QroNumTimesI::isIntExpr() const {
  return _a->isIntExpr() && _b->isIntExpr();
}
QroBool QroNumDivI::isIntExpr() const {
  return 0;
}
QroBool QroNumDivCstI::isIntExpr() const {
  return 0;
}
QroBool QroNumRecDivCstI::isIntExpr() const {
  return 0;
}
QroBool QroIntTimesCstI::isIntExpr() const {
  return _e->isIntExpr();
}
QroBool QroNumSquareI::isIntExpr() const {
  return _e->isIntExpr();
}
QroBool QroNumPowerCstI::isIntExpr() const {
  return _e->isIntExpr() && QroIsIntegerValue(_c);
}

QroNum QroNumTimesCstI::eval(QroAlgorithmI* a) const {
  return _e->eval(a) * _c;
}
QroNum QroNumTimesI::eval(QroAlgorithmI* a) const {
  QroNum l = _a->eval(a);
  return l * _b->eval(a);
}
QroNum QroNumDivI::eval(QroAlgorithmI* a) const {
  QroNum l = _a->eval(a);
  return l / _b->eval(a);
}
QroNum QroNumDivCstI::eval(QroAlgorithmI* a) const {
  return _e->eval(a) / _c;
}
QroNum QroNumRecDivCstI::eval(QroAlgorithmI* a) const {
  return _c / _e->eval(a);
}
QroNum QroIntTimesCstI::eval(QroAlgorithmI* a) const {
  return _e->eval(a) * static_cast<QroNum>(_c);
}
QroNum QroNumSquareI::eval(QroAlgorithmI* a) const {
  QroNum v = _e->eval(a);
  return v * v;
}
QroNum QroNumPowerCstI::eval(QroAlgorithmI* a) const {
  return std::pow(_e->eval(a), _c);
}

namespace {
// "( a op b) " in the parenthesised form, "a op b" in the compact one.
void displayPair(std::ostream& os, const QroExtractableI* self, const QroNumExprI* a,
                 const char* op, const QroNumExprI* b) {
  if (parenthesised(self)) {
    os << "( ";
    a->display(os);
    os << op << " ";
    b->display(os);
    os << ") ";
  } else {
    a->display(os);
    os << " " << op << " ";
    b->display(os);
  }
}

// "( e op c) " in the parenthesised form, e, compactOp and c in the compact one.
template <class C>
void displayWithConstant(std::ostream& os, const QroExtractableI* self, const QroNumExprI* e,
                         const char* op, const char* compactOp, C c) {
  if (parenthesised(self)) {
    os << "( ";
    e->display(os);
    os << op << " " << c << ") ";
  } else {
    e->display(os);
    os << compactOp << c;
  }
}
}  // namespace

void QroNumTimesCstI::display(std::ostream& os) const {
  displayWithConstant(os, this, _e, "*", " * ", _c);
}

void QroNumTimesI::display(std::ostream& os) const {
  displayPair(os, this, _a, "*", _b);
}

void QroNumDivI::display(std::ostream& os) const {
  displayPair(os, this, _a, "/", _b);
}

void QroNumDivCstI::display(std::ostream& os) const {
  displayWithConstant(os, this, _e, "/", "/ ", _c);
}

void QroNumRecDivCstI::display(std::ostream& os) const {
  if (parenthesised(this)) {
    os << "( " << _c << "/ ";
    _e->display(os);
    os << ") ";
  } else {
    os << _c << " / ";
    _e->display(os);
  }
}

void QroIntTimesCstI::display(std::ostream& os) const {
  displayWithConstant(os, this, _e, "*", " * ", _c);
}

void QroNumSquareI::display(std::ostream& os) const {
  if (parenthesised(this)) {
    os << "QroSquare(";
    _e->display(os);
    os << ") ";
  } else {
    os << "square(";
    _e->display(os);
    os << ")";
  }
}

void QroNumPowerCstI::display(std::ostream& os) const {
  displayWithConstant(os, this, _e, "^", " ^ ", _c);
}

// ---------------------------------------------------------------------------
// Helpers

QroBool QroIsIntegerValue(QroNum x) {
  if (!QroIsWithinInt53(x)) return 0;
  if (x == 0) return 1;
  return x == std::trunc(x);
}

QroInt QroGuardedProduct(QroNum a, QroNum b) {
  QroNum p = a * b;
  if (!QroIsWithinInt53(p)) throw QroIntExpr::QroOverflowOccurred();
  return static_cast<QroInt>(p);
}

namespace {
// Below this magnitude the rounding error of a product or a quotient may
// itself underflow: such results are not called exact.
const double TinyResult = 0x1p-960;
}  // namespace

QroBool QroExactSum(QroNum a, QroNum b, QroNum& r) {
  r = a + b;
  if (!std::isfinite(r)) return 0;
  // Knuth's two-sum: the rounding error of a + b, exactly.
  QroNum bb = r - a;
  QroNum err = (a - (r - bb)) + (b - bb);
  return err == 0;
}

QroBool QroExactProduct(QroNum a, QroNum b, QroNum& r) {
  r = a * b;
  if (!std::isfinite(r)) return 0;
  if (r == 0) return a == 0 || b == 0;
  return std::fabs(r) >= TinyResult && std::fma(a, b, -r) == 0;
}

QroBool QroExactQuotient(QroNum a, QroNum b, QroNum& r) {
  if (b == 0) return 0;
  r = a / b;
  if (!std::isfinite(r)) return 0;
  if (r == 0) return a == 0;
  return std::fabs(r) >= TinyResult && std::fabs(a) >= TinyResult && std::fma(-r, b, a) == 0;
}

namespace {
template <class A, class T>
T extremum(const A& a, bool minimum, const char* message) {
  QroInt n = a.getImpl() ? a.getSize() : 0;
  if (n == 0) throw QroArrayError(message);
  T v = a[0];
  for (QroInt i = 1; i < n; ++i) {
    T x = a[i];
    if (minimum ? x < v : x > v) v = x;
  }
  return v;
}
}  // namespace

QroNum QroMin(const QroNumArray& a) {
  return extremum<QroNumArray, QroNum>(a, true, "Array of size 0 in call to QroMin");
}
QroNum QroMax(const QroNumArray& a) {
  return extremum<QroNumArray, QroNum>(a, false, "Array of size 0 in call to QroMax");
}
QroInt QroMin(const QroIntArray& a) {
  return extremum<QroIntArray, QroInt>(a, true, "Array of size 0 in call to QroMin");
}
QroInt QroMax(const QroIntArray& a) {
  return extremum<QroIntArray, QroInt>(a, false, "Array of size 0 in call to QroMax");
}

void QroIncrementUseCounts(const QroExtractableArray& a) {
  if (!a.getImpl()) return;
  for (QroInt i = 0; i < a.getSize(); ++i) {
    QroExtractableI* x = a[i];
    if (x && x->isExprOrConstraint()) static_cast<QroNumExprI*>(x)->incrUseCount();
  }
}

void QroReleaseElements(const QroExtractableArray& a) {
  if (!a.getImpl()) return;
  // The array's environment says, without touching the elements, whether
  // they are being destroyed in bulk or were deleted by the running cascade.
  QroGenAlloc* alloc = a.getImpl()->getAllocator();
  QroEnvI* env = alloc && alloc->isType(QroFlormAlloc::GetTypeInfo())
                     ? static_cast<QroFlormAlloc*>(alloc)->getEnv()
                     : nullptr;
  if (env && env->isEnding()) return;
  for (QroInt i = 0; i < a.getSize(); ++i) {
    QroExtractableI* x = a[i];
    if (!x) continue;
    if (env && env->isReleasedByCascade(x)) continue;
    if (x->isExprOrConstraint()) x->getEnv()->releaseExpression(static_cast<QroNumExprI*>(x));
  }
}

QroExtractableArray QroMakeCloneArray(const QroExtractableArray& a, QroEnvI* env) {
  if (!a.getImpl()) return QroExtractableArray();
  QroInt n = a.getSize();
  QroGenAlloc* alloc = a.getImpl()->getAllocator();
  QroExtractableArray result(
      (env ? QroArray(QroEnv(env), n) : QroArray(QroMemoryManager(alloc), n)).getImpl());
  for (QroInt i = 0; i < n; ++i) {
    QroExtractableI* x = a[i];
    result[i] = x ? (env ? env : x->getEnv())->getClone(x) : nullptr;
  }
  return result;
}
