// Linear forms of integer expressions and the comparisons built over them.
#include <ostream>

#include "qrcintutil.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintexact.h"

using namespace qrcint;

QrcInt QrcLinearNormalization = 1;

// Fills a linear form's arrays from an expression tree.
class QrcLinearCollector : public QrcLinearAccumulatorI {
 public:
  explicit QrcLinearCollector(QrcLinIntExpI* l) : _l(l) {}
  void addIntVarTerm(QrcIntExpI* var, QrcInt coef) override {
    if (_l->_count >= _l->_vars->getSize()) return;
    _l->_vars->elementAt(_l->_count) = var;
    _l->_coefs[_l->_count] = coef;
    ++_l->_count;
  }
  void addIntConstant(QrcInt value) override { _l->_constant += value; }
  void addVarTerm(QrcIntExpI* var, double coef) override {
    addIntVarTerm(var, static_cast<QrcInt>(coef));
  }
  void addExpTerm(QrcIntExpI*, double) override {}
  void addConstant(double value) override { _l->_constant += static_cast<QrcInt>(value); }

 private:
  QrcLinIntExpI* _l;
};

QrcLinIntExpI::QrcLinIntExpI(QrcIntExpI* e)
    : QrcIntExpI(e->getManager()), _vars(nullptr), _coefs(), _constant(0), _count(0) {
  QrcInt n = e->getLinearSize();
  if (n < 0) n = 0;
  _vars = new (_manager) QrcIntVarArrayI(_manager, n);
  _coefs = QrcIntArray(QrcManager(_manager), n, QrcInt(0));
  QrcLinearCollector acc(this);
  if (e->isVariable())
    acc.addIntVarTerm(e, 1);
  else
    e->computeCoeffsVarsInternal(&acc, 1);
  _vars->setSize(_count);
  _coefs.getImpl()[-3] = _count;
  if (QrcLinearNormalization) normalize();
}

QrcLinIntExpI::QrcLinIntExpI(QrcManagerI* m, QrcIntVarArrayI* vars, QrcIntArray coefs,
                             QrcInt constant)
    : QrcIntExpI(m), _vars(vars), _coefs(coefs), _constant(constant), _count(vars->getSize()) {}

void QrcLinIntExpI::normalize() {
  QrcInt n = _count;
  QrcInt* saved = _manager->lockIntArray(n > 0 ? n : 1);
  for (QrcInt i = 0; i < n; ++i) {
    QrcIntExpI* v = _vars->getVar(i);
    saved[i] = v->getBoundsStamp();
    v->setBoundsStamp(-1);
  }
  for (QrcInt i = 0; i < n;) {
    QrcIntExpI* v = _vars->getVar(i);
    QrcInt p = v->getBoundsStamp();
    if (p == -1) {
      v->setBoundsStamp(i);
      ++i;
      continue;
    }
    _coefs[p] += _coefs[i];
    --n;
    _vars->elementAt(i) = _vars->elementAt(n);
    _coefs[i] = _coefs[n];
    saved[i] = saved[n];
  }
  for (QrcInt i = 0; i < n; ++i) _vars->getVar(i)->setBoundsStamp(saved[i]);
  for (QrcInt i = 0; i < n;) {
    if (_coefs[i] != 0) {
      ++i;
      continue;
    }
    --n;
    _vars->elementAt(i) = _vars->elementAt(n);
    _coefs[i] = _coefs[n];
  }
  _count = n;
  _vars->setSize(n);
  _coefs.getImpl()[-3] = n;
  _manager->unlockArray();
}

void QrcLinIntExpI::display(std::ostream& os) const {
  if (getName()) {
    os << getName();
    return;
  }
  os << " (QrcScalProd(";
  _vars->display(os);
  os << "," << _coefs << ") + " << _constant << ")";
}

QrcExprI* QrcLinIntExpI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcLinIntExpI(t, _vars->copyForManager(t), _coefs.copy(QrcManager(t)), _constant);
}

namespace {

QrcIntExp formExpression(QrcLinIntExpI* l) {
  return QrcScalProd(QrcIntVarArray(l->getVars()), l->getCoefs()) + l->getConstant();
}

}  // namespace

QrcConstraint QrcLinearEq(QrcLinIntExpI* l, QrcInt c) {
  QrcIntExpI* e = formExpression(l).getImpl();
  if (clamped(e)) return QrcMakeClampedComparison(e, nullptr, c, QrcExactEq);
  return new (l->getManager()) QrcEqCstConstraint(e, c);
}

QrcConstraint QrcLinearLe(QrcLinIntExpI* l, QrcInt c) {
  QrcIntExpI* e = formExpression(l).getImpl();
  if (clamped(e)) return QrcMakeClampedComparison(e, nullptr, c, QrcExactLe);
  return new (l->getManager()) QrcLeCstConstraint(e, c, 0);
}

QrcConstraint QrcLinearGe(QrcLinIntExpI* l, QrcInt c) {
  QrcIntExpI* e = formExpression(l).getImpl();
  if (clamped(e)) return QrcMakeClampedComparison(e, nullptr, c, QrcExactGe);
  return new (l->getManager()) QrcGeCstConstraint(e, c, 0);
}
