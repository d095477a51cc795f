#include <ostream>

#include "qrcbox.h"
#include "qrcintexp.h"

// ---------------------------------------------------------------- containment

void QrcContainmentConstraintI::registerMember() {
  if (_number >= 0) return;
  QroInt k = _container->registerBox(_member);
  _manager->saveValue(&_number);
  _number = k;
}

void QrcContainmentConstraintI::post() {
  registerMember();
}

void QrcContainmentConstraintI::metaPostDemon(QrcDemonI* demon) {
  registerMember();
  _container->getActivity(_number)->whenValue(demon);
}

void QrcContainmentConstraintI::propagate() {
  _container->getActivity(_number)->setValue(1);
}

QrcBool QrcContainmentConstraintI::isFalse() const {
  if (_number < 0) return 0;
  return _container->getActivity(_number)->getMax() == 0;
}

void QrcContainmentConstraintI::display(std::ostream& os) const {
  if (_name)
    os << _name;
  else
    os << "QrcContainment(" << _number << ")";
}

// ---------------------------------------------------------------- pairs

QrcPairInDimensionConstraintI::QrcPairInDimensionConstraintI(QrcManagerI* m, Kind kind,
                                                             QrcBoxI* container, QrcBoxI* a,
                                                             QrcBoxI* b, QroInt d)
    : QrcConstraintI(m),
      _kind(kind),
      _container(container),
      _a(a),
      _b(b),
      _d(d),
      _ia(-1),
      _ib(-1),
      _aa(nullptr),
      _ab(nullptr),
      _e(nullptr),
      _r(nullptr) {}

void QrcPairInDimensionConstraintI::registerMembers() {
  if (_ia >= 0) return;
  QroInt ia = _container->registerBox(_a);
  QroInt ib = _container->registerBox(_b);
  QrcManagerI* m = _manager;
  m->saveValues({&_ia, &_ib, &_aa, &_ab, &_e, &_r});
  _ia = ia;
  _ib = ib;
  if (ia == ib) return;
  _aa = _container->getActivity(ia);
  _ab = _container->getActivity(ib);
  QrcIntervalGraphI* g = _container->getGraph(_d);
  _e = g->getEdge(ia, ib);
  if (_kind == Precedence) _r = g->getOrientation(ia, ib);
}

void QrcPairInDimensionConstraintI::post() {
  registerMembers();
  if (_ia == _ib) return;
  QrcManagerI* m = _manager;
  switch (_kind) {
    case Overlap:
      _aa->whenValue(new (m) QrcOverlapPropagateActiveChangeI(this, _aa, _ab));
      _ab->whenValue(new (m) QrcOverlapPropagateActiveChangeI(this, _ab, _aa));
      _e->whenValue(new (m) QrcOverlapPropagateEdgeChangeI(this));
      break;
    case NotOverlap:
      _aa->whenValue(new (m) QrcNotOverlapInDimensionPropagateActiveChangeI(this, _aa, _ab));
      _ab->whenValue(new (m) QrcNotOverlapInDimensionPropagateActiveChangeI(this, _ab, _aa));
      _e->whenValue(new (m) QrcNotOverlapInDimensionPropagateEdgeChangeI(this));
      break;
    case Precedence:
      _aa->whenValue(new (m) QrcPrecedencePropagateActiveChangeI(this, _aa, _ab));
      _ab->whenValue(new (m) QrcPrecedencePropagateActiveChangeI(this, _ab, _aa));
      _e->whenValue(new (m) QrcPrecedencePropagateEdgeChangeI(this));
      if (!ordersPoints()) {
        _r->whenValue(new (m) QrcPrecedencePropagateOrientationChangeI(this));
        break;
      }
      _a->getOrigin(_d)->whenRange(this);
      _b->getOrigin(_d)->whenRange(this);
      break;
  }
}

void QrcPairInDimensionConstraintI::metaPostDemon(QrcDemonI* demon) {
  registerMembers();
  if (_ia == _ib) return;
  _aa->whenValue(demon);
  _ab->whenValue(demon);
  _e->whenValue(demon);
  if (!ordersPoints()) {
    if (_r) _r->whenValue(demon);
    return;
  }
  _a->getOrigin(_d)->whenRange(demon);
  _b->getOrigin(_d)->whenRange(demon);
}

void QrcPairInDimensionConstraintI::propagate() {
  if (_ia == _ib) {
    if (_kind != Overlap) fail();
    return;
  }
  if (_aa->getMin() == 1) activeRule(_aa, _ab);
  if (_ab->getMin() == 1) activeRule(_ab, _aa);
  if (_e->isBound()) edgeRule();
  if (_r && _r->isBound() && !ordersPoints()) orientationRule();
}

bool QrcPairInDimensionConstraintI::pointOrderHolds() const {
  return _a->getOrigin(_d)->getMin() <= _b->getOrigin(_d)->getMax();
}

void QrcPairInDimensionConstraintI::orderPoints() {
  QrcIntExpI *xa = _a->getOrigin(_d), *xb = _b->getOrigin(_d);
  if (_aa->getMin() == 1 && _ab->getMin() == 1) {
    xb->setMin(xa->getMin());
    xa->setMax(xb->getMax());
  } else if (!pointOrderHolds()) {
    deactivateIfOtherActive();
  }
}

void QrcPairInDimensionConstraintI::deactivateIfOtherActive() {
  if (_aa->getMin() == 1) _ab->setValue(0);
  if (_ab->getMin() == 1) _aa->setValue(0);
}

void QrcPairInDimensionConstraintI::activeRule(QrcIntExpI*, QrcIntExpI* y) {
  if (_kind == Overlap) {
    if (y->getMin() == 1) _e->setValue(1);
    if (_e->getMax() == 0) y->setValue(0);
    return;
  }
  if (ordersPoints()) {
    if (y->getMin() == 1) _e->setValue(0);
    orderPoints();
    return;
  }
  if (y->getMin() == 1) {
    _e->setValue(0);
    if (_kind == Precedence) _r->setValue(first());
  }
  if (_e->getMin() == 1) y->setValue(0);
  if (_kind == Precedence && _r->isBound() && _r->getValue() == 1 - first()) y->setValue(0);
}

void QrcPairInDimensionConstraintI::edgeRule() {
  if (_e->getValue() == (_kind == Overlap ? 0 : 1)) deactivateIfOtherActive();
}

void QrcPairInDimensionConstraintI::orientationRule() {
  if (_r->getValue() == 1 - first()) deactivateIfOtherActive();
}

QrcBool QrcPairInDimensionConstraintI::isFalse() const {
  if (_ia < 0 || _ib < 0) return 0;
  if (_ia == _ib) return _kind != Overlap;
  if (_aa->getMin() != 1 || _ab->getMin() != 1 || !_e->isBound()) return 0;
  QroInt e = _e->getValue();
  switch (_kind) {
    case Overlap:
      return e == 0;
    case NotOverlap:
      return e == 1;
    default:
      if (ordersPoints()) return e == 1 || !pointOrderHolds();
      return e == 1 || (_r->isBound() && _r->getValue() == 1 - first());
  }
}

void QrcPairInDimensionConstraintI::display(std::ostream& os) const {
  if (_name) {
    os << _name;
    return;
  }
  static const char* names[] = {"QrcOverlapInDimension(", "QrcNotOverlapInDimension(",
                                "QrcPrecedenceInDimension("};
  os << names[_kind] << _ia << "," << _ib << "," << _d << ")";
}

void QrcOverlapPropagateActiveChangeI::display(std::ostream& os) const {
  os << "QrcOverlapPropagateActiveChange";
}
void QrcOverlapPropagateEdgeChangeI::display(std::ostream& os) const {
  os << "QrcOverlapPropagateEdgeChange";
}
void QrcNotOverlapInDimensionPropagateActiveChangeI::display(std::ostream& os) const {
  os << "QrcNotOverlapInDimensionPropagateActiveChange";
}
void QrcNotOverlapInDimensionPropagateEdgeChangeI::display(std::ostream& os) const {
  os << "QrcNotOverlapInDimensionPropagateEdgeChange";
}
void QrcPrecedencePropagateActiveChangeI::display(std::ostream& os) const {
  os << "QrcPrecedencePropagateActiveChange";
}
void QrcPrecedencePropagateEdgeChangeI::display(std::ostream& os) const {
  os << "QrcPrecedencePropagateEdgeChange";
}
void QrcPrecedencePropagateOrientationChangeI::display(std::ostream& os) const {
  os << "QrcPrecedencePropagateOrientationChange";
}
