// The prober, the impact information with its table and standard listener,
// the decision log, and their goals.
#include "qrcimpact.h"

#include <cmath>
#include <ostream>

#include "qrosolveri.h"
#include "qrosolverextractor.h"
#include "qrcintcompare.h"
#include "qrcintexp.h"
#include "qrcmanager.h"
#include "qrcdefaultsearch.h"
#include "qrcqueue.h"

// ---------------------------------------------------------------------------
// Prober

QrcProber::QrcProber(QroSolverI* solver)
    : _solver(solver),
      _count(0),
      _low(nullptr),
      _high(nullptr),
      _failed(solver->getEnv()->getGeneralAllocator()),
      _failsSpent(0),
      _choicePointsSpent(0),
      _probed(0),
      _removed(0) {}

QrcProber::~QrcProber() {
  end();
}

void QrcProber::end() {
  _failed.release();
  allocateHulls(0);
  _vars = QrcIntVarArray();
}

void QrcProber::allocateHulls(QrcInt n) {
  QroEnvI* env = _solver->getEnv();
  if (_low) env->free(_low, static_cast<size_t>(_count) * sizeof(QrcInt));
  if (_high) env->free(_high, static_cast<size_t>(_count) * sizeof(QrcInt));
  _low = _high = nullptr;
  _count = 0;
  if (n <= 0) return;
  _low = static_cast<QrcInt*>(env->alloc(static_cast<size_t>(n) * sizeof(QrcInt)));
  _high = static_cast<QrcInt*>(env->alloc(static_cast<size_t>(n) * sizeof(QrcInt)));
  _count = n;
}

void QrcProber::setVariables() {
  QroDefaultCPExtractorI* d = _solver->getExtractorManager()->getDefaultExtractor();
  setVariables(d ? d->makeIntDecisionVars() : QrcIntVarArray());
}

void QrcProber::setVariables(const QrcIntVarArray& vars) {
  _vars = vars;
  allocateHulls(vars.getImpl() ? vars.getSize() : 0);
}

void QrcProber::widenHull() {
  for (QrcInt i = 0; i < _count; ++i) {
    QrcIntExpI* y = _vars.getImpl()->getVar(i);
    if (y->getMin() < _low[i]) _low[i] = y->getMin();
    if (y->getMax() > _high[i]) _high[i] = y->getMax();
  }
}

void QrcProber::probe(QrcIntExpI* x) {
  QrcManagerI* m = _solver->getManager();
  ++_probed;
  QrcInt failedCount = 0;
  for (QrcInt i = 0; i < _count; ++i) {
    QrcIntExpI* y = _vars.getImpl()->getVar(i);
    _low[i] = y->getMax();
    _high[i] = y->getMin();
  }
  QrcInt v = x->getMin();
  for (;;) {
    QrcInt fails = m->getFails(), cps = m->getChoicePointCount();
    QrcBool found = _solver->solveNested(new (m) QrcProberSetValueI(m, this, x, v), true);
    _failsSpent += m->getFails() - fails;
    _choicePointsSpent += m->getChoicePointCount() - cps;
    if (!found) {
      // Grown as values fail: a wide domain costs no buffer of its size.
      _failed.grow(failedCount + 1);
      _failed[failedCount++] = v;
      ++_removed;
    }
    QrcInt next = x->getNextHigher(v);
    if (next == v) break;
    v = next;
  }
  _failed.setSize(failedCount);
  QrcPropagationQueueI* q = m->getPropagationQueue();
  q->enter();
  for (QrcInt i = 0; i < _count; ++i) _vars.getImpl()->getVar(i)->setRange(_low[i], _high[i]);
  for (QrcInt k = 0; k < failedCount; ++k) x->removeValue(_failed[k]);
  q->leave();
}

void QrcProber::probeAll(QrcInt maxSize, const QrcIntVarArray& vars) {
  QrcIntVarArray a = vars.getImpl() && vars.getSize() > 0 ? vars : _vars;
  if (!a.getImpl()) return;
  for (QrcInt i = 0; i < a.getSize(); ++i) {
    QrcIntExpI* x = a.getImpl()->getVar(i);
    QrcInt s = x->getSize();
    if (s >= 2 && s <= maxSize) probe(x);
  }
}

QrcGoalI* QrcProberSetValueI::execute() {
  _x->setValue(_v);
  _prober->widenHull();
  return nullptr;
}

void QrcProberSetValueI::display(std::ostream& os) const {
  os << "QrcProberSetValue";
}

// ---------------------------------------------------------------------------
// Impact table

QrcVarImpactRecord::QrcVarImpactRecord(QrcIntExpI* x, QrcInt lo, QrcInt hi)
    : _x(x), _lo(lo), _hi(hi), _impacts(nullptr) {
  if (hi - lo < MaxCoveredWidth) _impacts = new QrcValueImpact[static_cast<size_t>(hi - lo + 1)]();
}

QrcVarImpactRecord::~QrcVarImpactRecord() {
  delete[] _impacts;
}

// f(v, impact) for each value v of the current domain that the record covers,
// from the smallest up; f may remove v.
template <class F>
void QrcVarImpactRecord::forEachValue(F f) const {
  if (!_impacts) return;
  QrcInt v = _x->getMin();
  if (v < _lo) v = _x->getNextHigher(_lo - 1);
  while (v >= _lo && v <= _hi) {
    QrcInt next = _x->getNextHigher(v);
    f(v, &_impacts[v - _lo]);
    if (next == v) break;
    v = next;
  }
}

double QrcVarImpactRecord::getImpactSum() const {
  double sum = 0.0;
  forEachValue([&](QrcInt, QrcValueImpact* i) { sum += i->getMean(); });
  return sum;
}

QrcInt QrcImpactTable::numberOf(QrcIntExpI* x) {
  QrcEventHandlerI* h = x ? x->getEventHandler() : nullptr;
  return h ? h->getSerial() : -1;
}

QrcImpactTable::QrcImpactTable(const QrcIntVarArray& vars)
    : _slots(nullptr), _length(0), _records(nullptr), _count(0), _capacity(0) {
  for (QrcInt i = 0; vars.getImpl() && i < vars.getSize(); ++i) cover(vars.getImpl()->getVar(i));
}

QrcImpactTable::~QrcImpactTable() {
  for (QrcInt i = 0; i < _count; ++i) delete _records[i];
  delete[] _records;
  delete[] _slots;
}

void QrcImpactTable::cover(QrcIntExpI* x) {
  QrcInt n = numberOf(x);
  if (n < 0 || findRecord(x)) return;
  if (n >= _length) {
    QrcInt length = n + 1 > 2 * _length ? n + 1 : 2 * _length;
    QrcInt* slots = new QrcInt[static_cast<size_t>(length)];
    for (QrcInt i = 0; i < length; ++i) slots[i] = i < _length ? _slots[i] : -1;
    delete[] _slots;
    _slots = slots;
    _length = length;
  }
  if (_count == _capacity) {
    QrcInt capacity = _capacity ? 2 * _capacity : 16;
    QrcVarImpactRecord** records = new QrcVarImpactRecord*[static_cast<size_t>(capacity)];
    for (QrcInt i = 0; i < _count; ++i) records[i] = _records[i];
    delete[] _records;
    _records = records;
    _capacity = capacity;
  }
  _records[_count] = new QrcVarImpactRecord(x, x->getMin(), x->getMax());
  _slots[n] = _count++;
}

QrcVarImpactRecord* QrcImpactTable::findRecord(QrcIntExpI* x) const {
  QrcInt n = numberOf(x);
  if (n < 0 || n >= _length || _slots[n] < 0) return nullptr;
  QrcVarImpactRecord* r = _records[_slots[n]];
  return r && r->getVariable() == x ? r : nullptr;
}

QrcVarImpactRecord* QrcImpactTable::getRecord(QrcIntExpI* x) const {
  QrcVarImpactRecord* r = findRecord(x);
  if (!r) throw QroSolver::Exception("Variable has no impact information");
  return r;
}

// ---------------------------------------------------------------------------
// Impact information

QrcImpactInformation::QrcImpactInformation(QroSolverI* solver, const QrcIntVarArray& vars)
    : _solver(solver),
      _vars(vars),
      _listeners(nullptr),
      _sets(0),
      _removes(0),
      _twoValues(0),
      _table(new QrcImpactTable(vars)),
      _evaluators(),
      _criteria() {
  addListener(new QrcSearchSpaceImpactListenerI(this));
}

QrcImpactInformation::~QrcImpactInformation() {
  end();
}

void QrcImpactInformation::end() {
  for (QrcImpactListenerI* l = _listeners; l; l = l->_next) l->end();
  while (_listeners) {
    QrcImpactListenerI* next = _listeners->_next;
    delete _listeners;
    _listeners = next;
  }
  delete _table;
  _table = nullptr;
  for (QrcSelectionCriterion*& c : _criteria) {
    delete c;
    c = nullptr;
  }
  for (QroAnyEvaluatorI*& e : _evaluators) {
    delete e;
    e = nullptr;
  }
}

void QrcImpactInformation::addListener(QrcImpactListenerI* listener) {
  QrcImpactListenerI** p = &_listeners;
  while (*p) p = &(*p)->_next;
  listener->_next = nullptr;
  *p = listener;
}

// The listeners may be the caller's.
template <class F>
void QrcImpactInformation::tell(F event) {
  auto all = [this, &event] {
    for (QrcImpactListenerI* l = _listeners; l; l = l->_next) event(l);
  };
  _solver->getManager()->runForeign(all);
}

void QrcImpactInformation::recordedSet(QrcIntExpI* x, QrcInt v) {
  if (_solver->getManager()->isRecomputing()) {
    x->setValue(v);
    return;
  }
  tell([x, v](QrcImpactListenerI* l) { l->beforeSetValue(x, v); });
  ++_sets;
  x->setValue(v);
  tell([x, v](QrcImpactListenerI* l) { l->afterSetValue(x, v); });
}

void QrcImpactInformation::setValue(QrcIntExpI* x, QrcInt v) {
  recordedSet(x, v);
}

QrcInt QrcImpactInformation::otherValue(QrcIntExpI* x, QrcInt v) {
  QrcInt w = x->getMin();
  for (;;) {
    if (w != v) return w;
    QrcInt next = x->getNextHigher(w);
    if (next == w) return 0;
    w = next;
  }
}

void QrcImpactInformation::removeValue(QrcIntExpI* x, QrcInt v) {
  if (_twoValues && x->getSize() == 2 && x->isInDomain(v)) {
    recordedSet(x, otherValue(x, v));
    return;
  }
  if (!_solver->getManager()->isRecomputing()) ++_removes;
  x->removeValue(v);
}

void QrcImpactInformation::leafReached(QrcIntExpI* x) {
  tell([x](QrcImpactListenerI* l) { l->leafReached(x); });
}

bool QrcImpactInformation::estimateVariable(QrcIntExpI* x, QrcInt depth) {
  tell([x](QrcImpactListenerI* l) { l->beginVariable(x); });
  if (x->isBound()) {
    leafReached(x);
    return true;
  }
  QrcManagerI* m = _solver->getManager();
  _solver->solveNested(new (m) QrcImpactEstimateWithDichotomyI(m, this, x, depth), true);
  // Every leaf fails: the split tree was walked whole unless a limit stopped
  // the walk at one of them.
  return m->getStatus() != QrcSearchLimited;
}

void QrcImpactInformation::initialize(QrcInt depth) {
  _sets = _removes = 0;
  tell([](QrcImpactListenerI* l) { l->reset(); });
  QrcInt n = _vars.getImpl() ? _vars.getSize() : 0;
  // The variable whose estimation a limit stopped (it may stand at several
  // positions): the leaves not reached were not refuted. The limit would
  // stop the estimations after it at their first leaf; the search served
  // stops at its next failure.
  QrcIntExpI* stopped = nullptr;
  if (depth != 0)
    for (QrcInt i = 0; i < n && !stopped; ++i) {
      QrcIntExpI* x = _vars.getImpl()->getVar(i);
      if (!x->isBound() && !estimateVariable(x, depth)) stopped = x;
    }
  QrcPropagationQueueI* q = _solver->getManager()->getPropagationQueue();
  q->enter();
  tell([this, n, stopped](QrcImpactListenerI* l) {
    for (QrcInt i = 0; i < n; ++i) {
      QrcIntExpI* x = _vars.getImpl()->getVar(i);
      if (x != stopped && !x->isBound()) l->finishVariable(x, i);
    }
  });
  q->leave();
}

QrcGoalI* QrcImpactEstimateWithDichotomyI::execute() {
  QrcManagerI* m = _manager;
  if (!_x->isBound() && _depth > 0) {
    QrcInt mid = (_x->getMin() + _x->getMax()) / 2;
    QrcIntExp x(_x);
    QrcGoal low = QrcAnd(QrcGoal(x <= mid),
                         new (m) QrcImpactEstimateWithDichotomyI(m, _info, _x, _depth - 1));
    QrcGoal high =
        QrcAnd(QrcGoal(x > mid), new (m) QrcImpactEstimateWithDichotomyI(m, _info, _x, _depth - 1));
    return QrcOr(low, high).getImpl();
  }
  _info->leafReached(_x);
  return new (m) QrcGoalFailI(m, nullptr);
}

void QrcImpactEstimateWithDichotomyI::display(std::ostream& os) const {
  os << "QrcImpactEstimateWithDichotomy";
}

QrcGoalI* QrcInternalInitializeImpactDichotomyGoalI::execute() {
  _info->initialize(_depth);
  return nullptr;
}

void QrcInternalInitializeImpactDichotomyGoalI::display(std::ostream& os) const {
  os << "QrcInternalInitializeImpactDichotomyGoal";
}

// ---------------------------------------------------------------------------
// Standard listener

double QrcSearchSpaceImpactListenerI::logSpace() const {
  QrcIntVarArray vars = _info->getVariables();
  double s = 0.0;
  for (QrcInt i = 0; vars.getImpl() && i < vars.getSize(); ++i)
    s += std::log(static_cast<double>(vars.getImpl()->getVar(i)->getSize()));
  return s;
}

void QrcSearchSpaceImpactListenerI::reset() {
  QrcIntVarArray vars = _info->getVariables();
  for (QrcInt i = 0; vars.getImpl() && i < vars.getSize(); ++i)
    if (QrcVarImpactRecord* r = _info->getTable()->findRecord(vars.getImpl()->getVar(i)))
      r->setPass(0);
}

void QrcSearchSpaceImpactListenerI::beforeSetValue(QrcIntExpI*, QrcInt) {
  _before = logSpace();
}

void QrcSearchSpaceImpactListenerI::afterSetValue(QrcIntExpI* x, QrcInt v) {
  QrcVarImpactRecord* r = _info->getTable()->findRecord(x);
  QrcValueImpact* i = r ? r->getImpact(v) : nullptr;
  if (i) i->observe(std::exp(logSpace() - _before));
}

void QrcSearchSpaceImpactListenerI::beginVariable(QrcIntExpI* x) {
  _before = logSpace();
  if (QrcVarImpactRecord* r = _info->getTable()->findRecord(x)) r->setPass(++_pass);
}

// Every value of x left at the leaf is observed as if x were set to it there.
void QrcSearchSpaceImpactListenerI::leafReached(QrcIntExpI* x) {
  QrcVarImpactRecord* r = _info->getTable()->findRecord(x);
  if (!r) return;
  double fraction = std::exp(logSpace() - std::log(static_cast<double>(x->getSize())) - _before);
  QrcInt pass = r->getPass();
  r->forEachValue([fraction, pass](QrcInt, QrcValueImpact* i) {
    i->observe(fraction);
    i->stamp = pass;
  });
}

// Values that no leaf of this pass reached were refuted by propagation.
void QrcSearchSpaceImpactListenerI::finishVariable(QrcIntExpI* x, QrcInt) {
  QrcVarImpactRecord* r = _info->getTable()->findRecord(x);
  if (!r || r->getPass() == 0) return;
  QrcInt pass = r->getPass();
  r->forEachValue([x, pass](QrcInt v, QrcValueImpact* i) {
    if (i->stamp != pass) x->removeValue(v);
  });
}

// ---------------------------------------------------------------------------
// Decision log

QrcDecisionLog::QrcDecisionLog(QroSolverI* solver)
    : _solver(solver),
      _records(solver->getEnv()->getGeneralAllocator()),
      _count(solver->getManager(), 0),
      _latest(0) {}

void QrcDecisionLog::add(QrcIntExpI* x, QrcInt v, QrcInt kind) {
  QrcInt c = _count.getValue();
  if (c >= _records.getCapacity()) _records.grow(c + 1);
  if (c >= _records.getSize()) _records.setSize(c + 1);
  _records[c] = Record{x, v, kind};
  _count.set(_solver->getManager(), c + 1);
  _latest = c + 1;
}
