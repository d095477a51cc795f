// Intersection and union of two set variables. Code that can fail keeps
// trivially destructible locals only.
#include <ostream>

#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintsetcst.h"
#include "qrcoperands.h"
#include "qrcsetcomposition.h"
#include "qrcsetframe.h"

using namespace qrcset;

namespace {

QRC_SET_VAR_DEMON(QrcEqIntersectVarDemonI, "QrcEqIntersectVarDemon", QrcEqIntersectCtI,
                  propagateVar)
QRC_SET_DEMON(QrcEqIntersectInterDemonI, "QrcEqIntersectInterDemon", QrcEqIntersectCtI,
              propagateInter)
QRC_SET_VAR_DEMON(QrcEqUnionVarDemonI, "QrcEqUnionVarDemon", QrcEqUnionCtI, propagateVar)
QRC_SET_DEMON(QrcEqUnionUnionDemonI, "QrcEqUnionUnionDemon", QrcEqUnionCtI, propagateUnion)

// Holds the cardinality variable it listens to.
class QrcEqUnionCardDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcEqUnionCardDemonI)
  QROSIMPLECLASS(QrcEqUnionCardDemonI, QrcDemonI)
 public:
  QrcEqUnionCardDemonI(QrcManagerI* m, QrcEqUnionCtI* ct, QrcIntExpI* card)
      : QrcDemonI(m, ct), _ct(ct), _card(card) {}
  void propagate() override { _ct->propagateCard(_card); }
  void display(std::ostream& os) const override { os << "QrcEqUnionCardDemon"; }

 private:
  QrcEqUnionCtI* _ct;
  QrcIntExpI* _card;
};

QrcIntExp cardOf(QrcIntSetVarI* x) {
  return QrcIntExp(x->getCardinality());
}

}  // namespace

// ---------------------------------------------------------------- s == a intersect b

void QrcEqIntersectCtI::post() {
  _a->whenDomain(new (_manager) QrcEqIntersectVarDemonI(_manager, this, _a));
  _b->whenDomain(new (_manager) QrcEqIntersectVarDemonI(_manager, this, _b));
  _s->whenDomain(new (_manager) QrcEqIntersectInterDemonI(_manager, this));
  addConstraint((cardOf(_a) >= cardOf(_s)).getImpl());
  addConstraint((cardOf(_b) >= cardOf(_s)).getImpl());
}

void QrcEqIntersectCtI::propagate() {
  QrcIntSetVarI* a = _a;
  QrcIntSetVarI* b = _b;
  QrcIntSetVarI* s = _s;
  forEachPossible(s, [a, b, s](QrcInt v) {
    if (!a->isPossible(v) || !b->isPossible(v)) {
      s->removePossible(v);
    } else if (a->isRequired(v) && b->isRequired(v)) {
      s->addRequired(v);
    } else if (s->isRequired(v)) {
      a->addRequired(v);
      b->addRequired(v);
    }
    return true;
  });
  forEachPossible(a, [a, b, s](QrcInt v) {
    if (!s->isPossible(v) && b->isRequired(v)) a->removePossible(v);
    return true;
  });
  forEachPossible(b, [a, b, s](QrcInt v) {
    if (!s->isPossible(v) && a->isRequired(v)) b->removePossible(v);
    return true;
  });
}

void QrcEqIntersectCtI::propagateInter() {
  QrcIntSetVarI* a = _a;
  QrcIntSetVarI* b = _b;
  forEachAdded(_s, [a, b](QrcInt v) {
    a->addRequired(v);
    b->addRequired(v);
  });
  forEachRemoved(_s, [a, b](QrcInt v) {
    if (b->isRequired(v))
      a->removePossible(v);
    else if (a->isRequired(v))
      b->removePossible(v);
  });
}

void QrcEqIntersectCtI::propagateVar(QrcIntSetVarI* x) {
  QrcIntSetVarI* y = x == _a ? _b : _a;
  QrcIntSetVarI* s = _s;
  forEachAdded(x, [y, s](QrcInt v) {
    if (y->isRequired(v))
      s->addRequired(v);
    else if (!s->isPossible(v))
      y->removePossible(v);
  });
  forEachRemoved(x, [s](QrcInt v) { s->removePossible(v); });
}

QrcBool QrcEqIntersectCtI::isFalse() const {
  QrcIntSetVarI* a = _a;
  QrcIntSetVarI* b = _b;
  QrcIntSetVarI* s = _s;
  if (!forEachRequired(s, [a, b](QrcInt v) { return a->isPossible(v) && b->isPossible(v); }))
    return 1;
  if (!forEachRequired(a, [b, s](QrcInt v) { return s->isPossible(v) || !b->isRequired(v); }))
    return 1;
  return forEachRequired(b, [a, s](QrcInt v) { return s->isPossible(v) || !a->isRequired(v); }) ? 0
                                                                                                : 1;
}

QrcConstraintI* QrcEqIntersectCtI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcEqIntersectCtI(t, copyOf(_a, t), copyOf(_b, t), copyOf(_s, t));
}

void QrcEqIntersectCtI::display(std::ostream& os) const {
  if (_name) {
    os << _name;
    return;
  }
  os << "QrcEqIntersect(" << static_cast<const void*>(this) << ") " << static_cast<const void*>(_s)
     << " = " << static_cast<const void*>(_a) << " intersect " << static_cast<const void*>(_b)
     << std::endl;
}

// ---------------------------------------------------------------- s == a union b

QrcEqUnionCtI::QrcEqUnionCtI(QrcManagerI* m, QrcIntSetVarI* a, QrcIntSetVarI* b, QrcIntSetVarI* s,
                             QrcIntSetVarI* i)
    : QrcConstraintWithFilterI(m, QrcEqUnionKind, QrcMediumFilterLevel),
      _a(a),
      _b(b),
      _s(s),
      _i(i),
      _link(nullptr),
      _linked(0),
      _exact(0) {}

void QrcEqUnionCtI::post() {
  _a->whenDomain(new (_manager) QrcEqUnionVarDemonI(_manager, this, _a));
  _b->whenDomain(new (_manager) QrcEqUnionVarDemonI(_manager, this, _b));
  _s->whenDomain(new (_manager) QrcEqUnionUnionDemonI(_manager, this));
  if (postCardinalityLink()) return;
  QrcIntExpI* ca = _a->getCardinality();
  QrcIntExpI* cb = _b->getCardinality();
  ca->whenRange(new (_manager) QrcEqUnionCardDemonI(_manager, this, ca));
  cb->whenRange(new (_manager) QrcEqUnionCardDemonI(_manager, this, cb));
}

bool QrcEqUnionCtI::postCardinalityLink() {
  if (_link) return true;
  double sum = static_cast<double>(_a->getCardinality()->getMax()) +
               static_cast<double>(_b->getCardinality()->getMax());
  if (sum < -9007199254740992.0 || sum > 9007199254740991.0) return false;
  QrcConstraintI* link = _i ? (cardOf(_s) == cardOf(_a) + cardOf(_b) - cardOf(_i)).getImpl()
                            : (cardOf(_s) <= cardOf(_a) + cardOf(_b)).getImpl();
  _manager->saveValue(&_link);
  _link = link;
  if (_i) {
    _manager->saveValue(&_exact);
    _exact = 1;
  }
  addConstraint(link);
  return true;
}

void QrcEqUnionCtI::propagateCard(QrcIntExpI* card) {
  if (card->getMax() < card->getOldMax()) postCardinalityLink();
}

void QrcEqUnionCtI::linkIntersection() {
  if (!_linked) {
    _manager->saveValue(&_linked);
    _linked = 1;
    addConstraint(QrcEqIntersection(_i, _a, _b).getImpl());
  }
  if (_link && !_exact) {
    _manager->saveValue(&_exact);
    _exact = 1;
    addConstraint((cardOf(_s) == cardOf(_a) + cardOf(_b) - cardOf(_i)).getImpl());
  }
}

QrcBool QrcEqUnionCtI::isFilterLevelSupported(QrcInt level) {
  if (level < QrcLowFilterLevel) return 0;
  if (level >= QrcHighFilterLevel && !_i) {
    // Possible as a's, nothing required: i == a intersect b requires the rest.
    _manager->saveValue(&_i);
    _i = new (_manager) QrcIntSetVarI(_manager, _a->getPossible(), nullptr);
  }
  if (_i) linkIntersection();
  return 1;
}

void QrcEqUnionCtI::propagate() {
  checkFilterLevel();
  QrcIntSetVarI* a = _a;
  QrcIntSetVarI* b = _b;
  QrcIntSetVarI* s = _s;
  forEachPossible(s, [a, b, s](QrcInt v) {
    if (!a->isPossible(v) && !b->isPossible(v))
      s->removePossible(v);
    else if (a->isRequired(v) || b->isRequired(v))
      s->addRequired(v);
    return true;
  });
  forEachPossible(a, [a, b, s](QrcInt v) {
    if (!s->isPossible(v))
      a->removePossible(v);
    else if (s->isRequired(v) && !b->isPossible(v))
      a->addRequired(v);
    return true;
  });
  forEachPossible(b, [a, b, s](QrcInt v) {
    if (!s->isPossible(v))
      b->removePossible(v);
    else if (s->isRequired(v) && !a->isPossible(v))
      b->addRequired(v);
    return true;
  });
}

void QrcEqUnionCtI::propagateUnion() {
  QrcIntSetVarI* a = _a;
  QrcIntSetVarI* b = _b;
  forEachAdded(_s, [a, b](QrcInt v) {
    if (!b->isPossible(v))
      a->addRequired(v);
    else if (!a->isPossible(v))
      b->addRequired(v);
  });
  forEachRemoved(_s, [a, b](QrcInt v) {
    a->removePossible(v);
    b->removePossible(v);
  });
}

void QrcEqUnionCtI::propagateVar(QrcIntSetVarI* x) {
  QrcIntSetVarI* y = x == _a ? _b : _a;
  QrcIntSetVarI* s = _s;
  forEachAdded(x, [s](QrcInt v) { s->addRequired(v); });
  forEachRemoved(x, [y, s](QrcInt v) {
    if (!y->isPossible(v))
      s->removePossible(v);
    else if (s->isRequired(v))
      y->addRequired(v);
  });
}

QrcBool QrcEqUnionCtI::isFalse() const {
  QrcIntSetVarI* a = _a;
  QrcIntSetVarI* b = _b;
  QrcIntSetVarI* s = _s;
  if (!forEachRequired(s, [a, b](QrcInt v) { return a->isPossible(v) || b->isPossible(v); }))
    return 1;
  if (!forEachRequired(a, [s](QrcInt v) { return s->isPossible(v); })) return 1;
  return forEachRequired(b, [s](QrcInt v) { return s->isPossible(v); }) ? 0 : 1;
}

QrcConstraintI* QrcEqUnionCtI::makeCopy(QrcManagerI* t) const {
  return new (t)
      QrcEqUnionCtI(t, copyOf(_a, t), copyOf(_b, t), copyOf(_s, t), _i ? copyOf(_i, t) : nullptr);
}

// ---------------------------------------------------------------- creation

QrcConstraint QrcEqIntersection(const QrcIntSetVar& hs, const QrcIntSetVar& ha,
                                const QrcIntSetVar& hb) {
  QrcCheckOperands("QrcEqIntersection", {hs, ha, hb});
  QrcIntSetVarI* s = need(hs, "QrcEqIntersection");
  QrcIntSetVarI* a = need(ha, "QrcEqIntersection");
  QrcIntSetVarI* b = need(hb, "QrcEqIntersection");
  if (a == b) return hs == ha;
  if (a == s) return QrcSubsetEq(hs, hb);
  if (b == s) return QrcSubsetEq(hs, ha);
  return new (a->getManager()) QrcEqIntersectCtI(a->getManager(), a, b, s);
}

QrcConstraint QrcEqUnion(const QrcIntSetVar& hs, const QrcIntSetVar& ha, const QrcIntSetVar& hb) {
  QrcCheckOperands("QrcEqUnion", {hs, ha, hb});
  QrcIntSetVarI* s = need(hs, "QrcEqUnion");
  QrcIntSetVarI* a = need(ha, "QrcEqUnion");
  QrcIntSetVarI* b = need(hb, "QrcEqUnion");
  if (a == b) return ha == hs;
  if (a == s) return QrcSubsetEq(hb, ha);
  if (b == s) return QrcSubsetEq(ha, hb);
  return new (a->getManager()) QrcEqUnionCtI(a->getManager(), a, b, s, nullptr);
}

QrcConstraint QrcEqUnion(const QrcIntSetVar& hs, const QrcIntSetVar& ha, const QrcIntSetVar& hb,
                         const QrcIntSetVar& hi) {
  QrcCheckOperands("QrcEqUnion", {hs, ha, hb, hi});
  QrcIntSetVarI* s = need(hs, "QrcEqUnion");
  QrcIntSetVarI* a = need(ha, "QrcEqUnion");
  QrcIntSetVarI* b = need(hb, "QrcEqUnion");
  QrcIntSetVarI* i = need(hi, "QrcEqUnion");
  if (a == b) {
    if (s == i || a == s) return ha == hi;
    if (a == i) return ha == hs;
    return (ha == hs) && (ha == hi);
  }
  if (s == i) {
    if (s == a || s == b) return ha == hb;
    return (ha == hb) && (hs == ha);
  }
  if (a == s) return b == i ? QrcSubsetEq(hb, ha) : QrcSubsetEq(hb, ha) && (hb == hi);
  if (b == s) return a == i ? QrcSubsetEq(ha, hb) : QrcSubsetEq(ha, hb) && (ha == hi);
  if (a == i) return QrcSubsetEq(ha, hb) && (hb == hs);
  if (b == i) return QrcSubsetEq(hb, ha) && (ha == hs);
  QrcManagerI* m = a->getManager();
  QrcEqUnionCtI* ct = new (m) QrcEqUnionCtI(m, a, b, s, i);
  ct->setFilterLevel(QrcFullFilterLevel);
  return ct;
}
