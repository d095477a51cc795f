#include "qrcbox.h"

#include <ostream>

#include "qrcintexp.h"

namespace {

const QroInt Cap = INT64_MAX;

QroInt saturatedProduct(const QroInt* v, QroInt n, QroInt skip) {
  __int128 p = 1;
  for (QroInt d = 0; d < n; ++d) {
    if (d == skip) continue;
    p *= v[d];
    if (p >= Cap) return Cap;
  }
  return static_cast<QroInt>(p);
}

// The product, saturated; a zero factor anywhere gives 0.
QroInt productOf(const QroInt* v, QroInt n, QroInt skip) {
  for (QroInt d = 0; d < n; ++d)
    if (d != skip && v[d] == 0) return 0;
  return saturatedProduct(v, n, skip);
}

}  // namespace

// ---------------------------------------------------------------- boxes

QrcBoxI::QrcBoxI(QrcManagerI* m, QroInt k, const QrcIntVarArray& origins, const QrcIntArray& sizes)
    : QrcConstraintWithFilterI(m, QrcBoxKind, QrcMediumFilterLevel),
      _memberCount(m, 0),
      _dimensionCount(k),
      _usedVolume(0),
      _graphs(nullptr),
      _members(m->getGeneralAllocator()),
      _memberIndex(m, 20, 10000.0),
      _activities(m->getGeneralAllocator()),
      _sizes(nullptr),
      _crossSections(nullptr),
      _origins(),
      _spare(nullptr),
      _notOverlap(nullptr),
      _object(nullptr) {
  QrcErrorReporter* r = m->getErrorReporter();
  if (k < 1) {
    r->report(QrcIncompatibleArgumentError, "QrcBoxI", "Incompatible argument");
    return;
  }
  if (origins.getImpl() && origins.getImpl()->getManager() != m) {
    r->report(QrcManagersDifferError, "QrcBoxI", "Managers are different");
    return;
  }
  if (origins.getSize() != k) {
    r->report(QrcBadArraySizeError, "QrcBoxI", "bad array size", origins.getSize());
    return;
  }
  if (sizes.getSize() != k) {
    r->report(QrcBadArraySizeError, "QrcBoxI", "bad array size", sizes.getSize());
    return;
  }
  for (QroInt d = 0; d < k; ++d) {
    if (!origins[d].getImpl()) {
      r->report(QrcEmptyHandleError, "empty handle", "QrcBoxI");
      return;
    }
    if (origins[d].getImpl()->getManager() != m) {
      r->report(QrcManagersDifferError, "QrcBoxI", "Managers are different");
      return;
    }
    if (sizes[d] < 0) {
      r->report(QrcIncompatibleArgumentError, "QrcBoxI", "Incompatible argument", sizes[d]);
      return;
    }
  }
  _sizes = static_cast<QroInt*>(m->allocate(static_cast<size_t>(k) * sizeof(QroInt)));
  _crossSections = static_cast<QroInt*>(m->allocate(static_cast<size_t>(k) * sizeof(QroInt)));
  _origins = QrcIntVarArray(QrcManager(m), k);
  for (QroInt d = 0; d < k; ++d) {
    _sizes[d] = sizes[d];
    _origins.set(d, origins[d]);
  }
  for (QroInt d = 0; d < k; ++d) _crossSections[d] = productOf(_sizes, k, d);
}

QrcBoxI::~QrcBoxI() {
  _activities.release();
  _members.release();
}

void QrcBoxI::display(std::ostream& os) const {
  if (_name) {
    os << _name;
    return;
  }
  os << "QrcBox(";
  for (QroInt d = 0; d < _dimensionCount; ++d) os << (d ? "," : "") << _sizes[d];
  os << ")";
}

QroInt QrcBoxI::getVolume() const {
  return productOf(_sizes, _dimensionCount, -1);
}

void QrcBoxI::makeIntervalGraphs() {
  QrcManagerI* m = _manager;
  m->saveValue(&_graphs);
  _graphs = static_cast<QrcIntervalGraphI**>(
      m->allocate(static_cast<size_t>(_dimensionCount) * sizeof(QrcIntervalGraphI*)));
  int level = static_cast<int>(getFilterLevel());
  for (QroInt d = 0; d < _dimensionCount; ++d) {
    _graphs[d] = new (m) QrcIntervalGraphI(m, getOrigin(d), _sizes[d], _crossSections[d]);
    _graphs[d]->setLevel(level);
  }
  for (QroInt d = 0; d < _dimensionCount; ++d) m->add(_graphs[d]);
}

QrcNotOverlapConstraintI* QrcBoxI::getNotOverlapConstraint() {
  if (!_notOverlap) {
    if (!_graphs) makeIntervalGraphs();
    _manager->saveValue(&_notOverlap);
    _notOverlap = new (_manager) QrcNotOverlapConstraintI(_manager, _graphs, _dimensionCount, this);
  }
  return _notOverlap;
}

void QrcBoxI::post() {
  checkFilterLevel();
  if (!_graphs) return;
  int level = static_cast<int>(getFilterLevel());
  for (QroInt d = 0; d < _dimensionCount; ++d) _graphs[d]->setLevel(level);
}

QroInt QrcBoxI::registerBox(QrcBoxI* member) {
  QrcManagerI* m = _manager;
  QrcWord key = reinterpret_cast<QrcWord>(member);
  QrcWord found = _memberIndex.find(key);
  if (found > 0) return static_cast<QroInt>(found) - 1;
  QroInt k = _memberCount.getValue();
  _members.add(member);
  _memberIndex.add(key, static_cast<QrcWord>(k + 1));
  QrcIntVar a(QrcManager(m), 0, 1);
  _activities.add(a);
  a.getImpl()->whenValue(new (m) QrcNotOverlapPropagateActiveChangeI(this, member, k));
  if (!_graphs) makeIntervalGraphs();
  for (QroInt d = 0; d < _dimensionCount; ++d)
    _graphs[d]->addVertex(member->getOrigin(d), member->getSize(d), member->getCrossSection(d),
                          a.getImpl());
  _memberCount.set(m, k + 1);
  for (QroInt d = 0; d < _dimensionCount; ++d) _graphs[d]->postVertex();
  if (_notOverlap && _notOverlap->isPosted()) {
    for (QroInt i = 0; i < k; ++i) _notOverlap->hangPairDemons(i, k);
    _notOverlap->onActivated(k);
  }
  return k;
}

void QrcBoxI::activated(QroInt k) {
  QroInt volume = _members[k]->getVolume();
  _manager->saveValue(&_usedVolume);
  _usedVolume = volume > Cap - _usedVolume ? Cap : _usedVolume + volume;
  if (_notOverlap && _notOverlap->isPosted()) _notOverlap->onActivated(k);
}

void QrcBoxI::checkMember(QrcBoxI* member, const char* place) {
  QrcErrorReporter* r = _manager->getErrorReporter();
  if (!member) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  if (member->getDimensionCount() != _dimensionCount)
    r->report(QrcIncompatibleArgumentError, "QrcBoxI", "Incompatible argument");
  else if (member->getManager() != _manager)
    r->report(QrcManagersDifferError, "QrcBoxI", "Managers are different");
}

void QrcBoxI::checkDimension(QroInt d) {
  if (d < 0 || d >= _dimensionCount)
    _manager->getErrorReporter()->report(QrcIncompatibleArgumentError, "QrcBoxI",
                                         "Incompatible argument", d);
}

QrcConstraintI* QrcBoxI::makeContainmentConstraint(QrcBoxI* member) {
  checkMember(member, "QrcBox::makeContainmentConstraint");
  return new (_manager) QrcContainmentConstraintI(_manager, this, member);
}

QrcConstraintI* QrcBoxI::makeOverlapInDimension(QrcBoxI* a, QrcBoxI* b, QroInt d) {
  checkMember(a, "QrcBox::makeOverlapInDimension");
  checkMember(b, "QrcBox::makeOverlapInDimension");
  checkDimension(d);
  return new (_manager) QrcOverlapInDimensionConstraintI(_manager, this, a, b, d);
}

QrcConstraintI* QrcBoxI::makeNotOverlapInDimension(QrcBoxI* a, QrcBoxI* b, QroInt d) {
  checkMember(a, "QrcBox::makeNotOverlapInDimension");
  checkMember(b, "QrcBox::makeNotOverlapInDimension");
  checkDimension(d);
  return new (_manager) QrcNotOverlapInDimensionConstraintI(_manager, this, a, b, d);
}

QrcConstraintI* QrcBoxI::makePrecedenceInDimension(QrcBoxI* a, QrcBoxI* b, QroInt d) {
  checkMember(a, "QrcBox::makePrecedenceInDimension");
  checkMember(b, "QrcBox::makePrecedenceInDimension");
  checkDimension(d);
  return new (_manager) QrcPrecedenceInDimensionConstraintI(_manager, this, a, b, d);
}

void QrcNotOverlapPropagateActiveChangeI::propagate() {
  if (_container->getActivity(_k)->getValue() == 1) _container->activated(_k);
}

void QrcNotOverlapPropagateActiveChangeI::display(std::ostream& os) const {
  os << "QrcNotOverlapPropagateActiveChange";
}

// ---------------------------------------------------------------- handle

QrcBox::QrcBox(QrcInt k, const QrcIntVarArray& origins, const QrcIntArray& sizes) {
  QrcManagerI* m = sizes.getManager();
  if (!m && origins.getImpl()) m = origins.getImpl()->getManager();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcBox");
  _impl = new (m) QrcBoxI(m, k, origins, sizes);
}

QrcBoxI* QrcBox::check(const char* place) const {
  if (!_impl) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return _impl;
}

void QrcBox::setObject(void* object) const {
  check("QrcBox::setObject")->setObject(object);
}

QrcConstraint QrcBox::getNotOverlapConstraint() const {
  return check("QrcBox::getNotOverlapConstraint")->getNotOverlapConstraint();
}

QrcConstraint QrcBox::makeContainmentConstraint(const QrcBox& member) const {
  const char* place = "QrcBox::makeContainmentConstraint";
  return check(place)->makeContainmentConstraint(member.check(place));
}

QrcConstraint QrcBox::makeOverlapInDimension(const QrcBox& a, const QrcBox& b, QrcInt d) const {
  const char* place = "QrcBox::makeOverlapInDimension";
  return check(place)->makeOverlapInDimension(a.check(place), b.check(place), d);
}

QrcConstraint QrcBox::makeNotOverlapInDimension(const QrcBox& a, const QrcBox& b, QrcInt d) const {
  const char* place = "QrcBox::makeNotOverlapInDimension";
  return check(place)->makeNotOverlapInDimension(a.check(place), b.check(place), d);
}

QrcConstraint QrcBox::makePrecedenceInDimension(const QrcBox& a, const QrcBox& b, QrcInt d) const {
  const char* place = "QrcBox::makePrecedenceInDimension";
  return check(place)->makePrecedenceInDimension(a.check(place), b.check(place), d);
}

// ---------------------------------------------------------------- not-overlap

QrcNotOverlapConstraintI::QrcNotOverlapConstraintI(QrcManagerI* m, QrcIntervalGraphI** graphs,
                                                   QroInt k, QrcBoxI* container)
    : QrcConstraintWithFilterI(m, QrcNotOverlapKind, QrcLowFilterLevel),
      _graphs(graphs),
      _dimensionCount(k),
      _container(container),
      _cliqueConstraints(nullptr) {}

void QrcNotOverlapConstraintI::display(std::ostream& os) const {
  if (_name)
    os << _name;
  else
    os << "QrcNotOverlap(" << _container->getMemberCount() << ")";
}

QrcBool QrcNotOverlapConstraintI::isFilterLevelSupported(QrcInt level) {
  if (level < QrcLowFilterLevel || level > QrcFullFilterLevel) return 0;
  // Raised after posting: levels 1 and 2 need the clique constraints.
  if (isPosted() && (level == QrcMediumFilterLevel || level == QrcHighFilterLevel)) {
    if (!_cliqueConstraints)
      makeCliqueConstraints(level);
    else
      for (QroInt d = 0; d < _dimensionCount; ++d)
        static_cast<QrcOverlapCliqueConstraintI*>(_cliqueConstraints[d])
            ->setMode(level == QrcHighFilterLevel ? 2 : 0);
  }
  return 1;
}

void QrcNotOverlapConstraintI::makeCliqueConstraints(QrcInt level) {
  QrcManagerI* m = _manager;
  QrcConstraintI** cts =
      static_cast<QrcConstraintI**>(m->allocate(sizeof(QrcConstraintI*) * _dimensionCount));
  for (QroInt d = 0; d < _dimensionCount; ++d)
    cts[d] =
        new (m) QrcOverlapCliqueConstraintI(m, _graphs[d], level == QrcHighFilterLevel ? 2 : 0);
  m->saveValue(&_cliqueConstraints);
  _cliqueConstraints = cts;
  for (QroInt d = 0; d < _dimensionCount; ++d) m->add(cts[d]);
}

void QrcNotOverlapConstraintI::hangPairDemons(QroInt i, QroInt j) {
  for (QroInt d = 0; d < _dimensionCount; ++d)
    _graphs[d]->getEdge(i, j)->whenValue(new (_manager)
                                             QrcNotOverlapPropagateEdgeChangeI(this, i, j, d));
}

void QrcNotOverlapConstraintI::post() {
  checkFilterLevel();
  QroInt n = _container->getMemberCount();
  for (QroInt i = 0; i < n; ++i)
    for (QroInt j = i + 1; j < n; ++j) hangPairDemons(i, j);
  QrcInt level = getFilterLevel();
  if (level == QrcMediumFilterLevel || level == QrcHighFilterLevel) makeCliqueConstraints(level);
}

void QrcNotOverlapConstraintI::propagate() {
  checkVolume();
  QroInt n = _container->getMemberCount();
  for (QroInt i = 0; i < n; ++i)
    for (QroInt j = i + 1; j < n; ++j) checkPair(i, j);
}

void QrcNotOverlapConstraintI::checkVolume() {
  QroInt volume = _container->getVolume();
  if (volume == Cap) return;  // redundant with the pair reasoning
  QroInt used = _container->getUsedVolume();
  if (used > volume) fail();
  QroInt n = _container->getMemberCount();
  for (QroInt k = 0; k < n; ++k) {
    QrcIntExpI* a = _container->getActivity(k);
    if (a->isBound()) continue;
    if (static_cast<__int128>(_container->getMember(k)->getVolume()) + used > volume)
      a->setValue(0);
  }
}

void QrcNotOverlapConstraintI::checkPair(QroInt i, QroInt j) {
  QroInt sum = 0, open = -1;
  for (QroInt d = 0; d < _dimensionCount; ++d) {
    QrcIntExpI* e = _graphs[d]->getEdge(i, j);
    if (e->isBound())
      sum += e->getValue();
    else
      open = d;
  }
  QrcIntExpI* ai = _container->getActivity(i);
  QrcIntExpI* aj = _container->getActivity(j);
  if (sum == _dimensionCount) {
    if (ai->getMin() == 1) aj->setValue(0);
    if (aj->getMin() == 1) ai->setValue(0);
  } else if (sum == _dimensionCount - 1 && open >= 0 && ai->getMin() == 1 && aj->getMin() == 1) {
    _graphs[open]->getEdge(i, j)->setValue(0);
  }
}

void QrcNotOverlapConstraintI::scheduleCliques(QroInt d) {
  QrcInt level = getFilterLevel();
  if ((level == QrcMediumFilterLevel || level == QrcHighFilterLevel) && _cliqueConstraints) {
    _cliqueConstraints[d]->push(QrcHighPriority);
  }
}

void QrcNotOverlapConstraintI::onActivated(QroInt k) {
  checkVolume();
  QroInt n = _container->getMemberCount();
  for (QroInt m = 0; m < n; ++m)
    if (m != k) checkPair(m, k);
  for (QroInt d = 0; d < _dimensionCount; ++d) scheduleCliques(d);
}

void QrcNotOverlapConstraintI::edgeBecameOne(QroInt i, QroInt j, QroInt d) {
  checkPair(i, j);
  scheduleCliques(d);
}

void QrcNotOverlapPropagateEdgeChangeI::propagate() {
  QrcIntExpI* e = _ct->getEdge(_i, _j, _d);
  if (e->getValue() == 1) _ct->edgeBecameOne(_i, _j, _d);
}

void QrcNotOverlapPropagateEdgeChangeI::display(std::ostream& os) const {
  os << "QrcNotOverlapPropagateEdgeChange";
}
