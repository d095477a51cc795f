#include "qrcfilterlevel.h"

#include "qrcmanager.h"

QrcInt QrcDefaultFilterLevel(QrcInt kind) {
  return (kind == QrcAllNullIntersectKind || kind == QrcNotOverlapKind) ? QrcLowFilterLevel
                                                                        : QrcMediumFilterLevel;
}

// ---------------------------------------------------------------- table

QrcFilterLevelTable::QrcFilterLevelTable(QrcManagerI* manager) : _manager(manager) {
  for (int k = 0; k < KindCount; ++k) _levels[k] = QrcDefaultFilterLevel(k);
}

void QrcFilterLevelTable::reset() {
  bool trailed = !_manager->isInEditMode();
  for (int k = 0; k < KindCount; ++k) {
    if (trailed) _manager->saveValue(&_levels[k]);
    _levels[k] = QrcDefaultFilterLevel(k);
  }
}

QrcInt QrcFilterLevelTable::getFilterLevel(QrcInt kind) const {
  if (kind >= 0 && kind < KindCount) return _levels[kind];
  if (kind == QrcPairingKind) return QrcDefaultFilterLevel(kind);
  _manager->getErrorReporter()->report(QrcUnknownConstraintError, "setFilterLevel",
                                       "Unknown Constraint", kind);
  return QrcDefaultFilterLevel(kind);
}

void QrcFilterLevelTable::setFilterLevel(QrcInt kind, QrcInt level) {
  if (kind < 0 || kind >= KindCount) {
    _manager->getErrorReporter()->report(QrcUnknownConstraintError, "setFilterLevel",
                                         "Unknown Constraint", kind);
    return;
  }
  if (!_manager->isInEditMode()) _manager->saveValue(&_levels[kind]);
  _levels[kind] = level;
}

// ---------------------------------------------------------------- constraints

QrcConstraintWithFilterI::QrcConstraintWithFilterI(QrcManagerI* manager, QrcInt kind,
                                                   QrcInt initialLevel)
    : QrcConstraintI(manager),
      _explicit(0),
      _level(initialLevel),
      _initialLevel(initialLevel),
      _kind(kind),
      _subs(nullptr),
      _link(nullptr) {}

QrcInt QrcConstraintWithFilterI::getFilterLevel() const {
  if (_explicit) return _level;
  QrcFilterLevelTable* table = _manager->getFilterLevelTable();
  if (table) return table->getFilterLevel(_kind);
  return QrcDefaultFilterLevel(_kind);
}

QrcBool QrcConstraintWithFilterI::setFilterLevel(QrcInt level) {
  if (!isPostedState()) {
    _explicit = 1;
    _level = level;
    return 1;
  }
  QrcInt current = getFilterLevel();
  if (current == level) {
    _explicit = 1;
    _level = level;
    return 1;
  }
  QrcErrorReporter* r = _manager->getErrorReporter();
  if (current > level) {
    r->report(QrcFilterLevelChangeError, "setFilterLevel", "Cannot change Filter Level", level);
    return 0;
  }
  if (level != _initialLevel && !isFilterLevelSupported(level)) {
    r->report(QrcBadFilterLevelError, "setFilterLevel", "Bad Filter Level", level);
    return 0;
  }
  _manager->saveValue(&_level);
  _manager->saveValue(&_explicit);
  _explicit = 1;
  _level = level;
  return 1;
}

void QrcConstraintWithFilterI::checkFilterLevel() {
  QrcInt level = getFilterLevel();
  if (!isFilterLevelSupported(level))
    _manager->getErrorReporter()->report(QrcBadFilterLevelError, "setFilterLevel",
                                         "Bad Filter Level", level);
}

void QrcConstraintWithFilterI::addSubConstraint(QrcConstraintWithFilterI* sub) {
  _manager->saveValue(&_subs);
  _manager->saveValue(&sub->_link);
  sub->_link = _subs;
  _subs = sub;
  addConstraint(sub);
}

void QrcConstraintWithFilterI::propagateFilterLevel(QrcInt level) {
  for (QrcConstraintWithFilterI* s = _subs; s; s = s->_link) s->setFilterLevel(level);
}
