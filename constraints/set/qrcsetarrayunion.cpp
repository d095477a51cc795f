// A set variable as the union of an array of set variables. Code that can
// fail keeps trivially destructible locals only.
#include <ostream>

#include "qrcoperands.h"
#include "qrcsetcomposition.h"
#include "qrcsetframe.h"

using namespace qrcset;

namespace {

QRC_SET_DEMON(QrcArrayUnionDomainEI, "QrcArrayUnionDomainE", QrcArrayUnionCtI, propagateUnion)
QRC_SET_VAR_DEMON(QrcArrayUnionDomainWI, "QrcArrayUnionDomainW", QrcArrayUnionCtI, propagateElement)

const QrcInt ManyOwners = 9007199254740991;

}  // namespace

void QrcArrayUnionCtI::post() {
  _s->whenDomain(new (_manager) QrcArrayUnionDomainEI(_manager, this));
  for (QrcInt k = 0; k < _sets->getSize(); ++k)
    at(_sets, k)->whenDomain(new (_manager) QrcArrayUnionDomainWI(_manager, this, at(_sets, k)));
}

QrcInt QrcArrayUnionCtI::getOwner(QrcInt v) const {
  QrcInt owner = -1;
  for (QrcInt k = 0; k < _sets->getSize(); ++k) {
    if (!at(_sets, k)->isPossible(v)) continue;
    if (owner >= 0) return ManyOwners;
    owner = k;
  }
  return owner;
}

void QrcArrayUnionCtI::propagate() {
  QrcIntSetVarI* s = _s;
  QrcIntSetVarArrayI* sets = _sets;
  QrcInt n = sets->getSize();
  // What s cannot hold, its universe's outside included, leaves every element.
  for (QrcInt k = 0; k < n; ++k) {
    QrcIntSetVarI* a = at(sets, k);
    forEachPossible(a, [a, s](QrcInt v) {
      if (!s->isPossible(v)) a->removePossible(v);
      return true;
    });
  }
  forEachPossible(s, [s, sets, n](QrcInt v) {
    QrcInt first = -1, second = -1;
    bool required = false;
    for (QrcInt k = 0; k < n && (second < 0 || !required); ++k) {
      QrcIntSetVarI* a = at(sets, k);
      if (!a->isPossible(v)) continue;
      if (first < 0)
        first = k;
      else if (second < 0)
        second = k;
      if (a->isRequired(v)) required = true;
    }
    if (required) s->addRequired(v);
    if (first < 0)
      s->removePossible(v);
    else if (second < 0 && s->isRequired(v))
      at(sets, first)->addRequired(v);
    return true;
  });
}

void QrcArrayUnionCtI::propagateUnion() {
  QrcIntSetVarArrayI* sets = _sets;
  forEachRemoved(_s, [sets](QrcInt v) {
    for (QrcInt k = 0; k < sets->getSize(); ++k) at(sets, k)->removePossible(v);
  });
  forEachAdded(_s, [this, sets](QrcInt v) {
    QrcInt owner = getOwner(v);
    if (owner < 0) fail();
    if (owner != ManyOwners) at(sets, owner)->addRequired(v);
  });
}

void QrcArrayUnionCtI::propagateElement(QrcIntSetVarI* a) {
  QrcIntSetVarI* s = _s;
  QrcIntSetVarArrayI* sets = _sets;
  forEachRemoved(a, [this, s, sets](QrcInt v) {
    QrcInt owner = getOwner(v);
    if (owner < 0)
      s->removePossible(v);
    else if (owner != ManyOwners && s->isRequired(v))
      at(sets, owner)->addRequired(v);
  });
  forEachAdded(a, [s](QrcInt v) { s->addRequired(v); });
}

QrcBool QrcArrayUnionCtI::isFalse() const {
  QrcIntSetVarI* s = _s;
  if (!forEachRequired(s, [this](QrcInt v) { return getOwner(v) >= 0; })) return 1;
  for (QrcInt k = 0; k < _sets->getSize(); ++k)
    if (!forEachRequired(at(_sets, k), [s](QrcInt v) { return s->isPossible(v); })) return 1;
  return 0;
}

QrcConstraintI* QrcArrayUnionCtI::makeCopy(QrcManagerI* t) const {
  return new (t) QrcArrayUnionCtI(t, copyOf(_s, t), copyOf(_sets, t));
}

QrcConstraint QrcEqUnion(const QrcIntSetVar& hs, const QrcIntSetVarArray& hsets) {
  QrcCheckOperands("QrcEqUnion", {hs, hsets});
  QrcIntSetVarI* s = need(hs, "QrcEqUnion");
  QrcManagerI* m = s->getManager();
  // An empty array handle is an array without elements: s is then empty.
  QrcIntSetVarArrayI* sets =
      hsets.getImpl() ? need(hsets, "QrcEqUnion") : new (m) QrcIntSetVarArrayI(m, 0, nullptr);
  return new (m) QrcArrayUnionCtI(m, s, sets);
}
