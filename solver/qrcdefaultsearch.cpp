// The impact-based default search: evaluators, selection criteria, the
// customizable goal and its instantiation goals, and the deduction store of
// its bubbling mode.
#include "qrcdefaultsearch.h"

#include <cmath>
#include <cstring>
#include <ostream>

#include "qrosolveri.h"
#include "qrcimpact.h"
#include "qrcintcompare.h"
#include "qrcintexp.h"
#include "qrcintgoals.h"
#include "qrcmanager.h"
#include "qrcrandom.h"

namespace {

QroSolverI* solverOf(QrcIntExpI* x) {
  return x->getManager()->getSolver();
}

double draw(QrcIntExpI* x) {
  QroSolverI* s = solverOf(x);
  QrcManagerI* m = s ? s->getManager() : x->getManager();
  return QrcGetRandom(m)->getFloat();
}

}  // namespace

// ---------------------------------------------------------------------------
// Evaluators

namespace {

QrcImpactTable* impactTableOf(QrcIntExpI* x) {
  QroSolverI* s = solverOf(x);
  if (!s) throw QroSolver::Exception("No impact information is available");
  return s->getImpactInformation()->getTable();
}

}  // namespace

double QrcImpactVarEvaluatorI::evaluateValue(const QrcIntVar& x, const void*,
                                             QroEvaluatorCacheOwner*) {
  return 1.0 - impactTableOf(x.getImpl())->getRecord(x.getImpl())->getImpactSum();
}

double QrcRandomVarEvaluatorI::evaluateValue(const QrcIntVar& x, const void*,
                                             QroEvaluatorCacheOwner*) {
  return draw(x.getImpl());
}

double QrcImpactValueEvaluatorI::evaluateValue(const QroInt& v, const void* context,
                                               QroEvaluatorCacheOwner*) {
  QrcIntExpI* x = static_cast<QrcIntExpI*>(const_cast<void*>(context));
  QrcValueImpact* i = impactTableOf(x)->getRecord(x)->getImpact(v);
  return 1.0 - (i ? i->getMean() : 0.0);
}

double QrcRandomValueEvaluatorI::evaluateValue(const QroInt&, const void* context,
                                               QroEvaluatorCacheOwner*) {
  return draw(static_cast<QrcIntExpI*>(const_cast<void*>(context)));
}

// ---------------------------------------------------------------------------
// Criteria

QrcSelectionCriterion::QrcSelectionCriterion(QroAnyEvaluatorI* evaluator, double parameter,
                                             int mode, const char* name)
    : _allocator(evaluator->getAllocator()),
      _evaluator(evaluator),
      _parameter(parameter),
      _mode(mode),
      _name(nullptr),
      _meanReduction(0.0),
      _uses(0) {
  if (name) {
    size_t n = std::strlen(name) + 1;
    _name = static_cast<char*>(_allocator->alloc(n));
    std::memcpy(_name, name, n);
  }
}

QrcSelectionCriterion::~QrcSelectionCriterion() {
  if (_name) _allocator->free(_name, std::strlen(_name) + 1);
}

void QrcSelectionCriterion::recordUse(QrcInt before, QrcInt after) {
  double u = static_cast<double>(_uses);
  _meanReduction =
      (1.0 - static_cast<double>(after) / static_cast<double>(before) + u * _meanReduction) /
      (u + 1.0);
  ++_uses;
}

QrcCriterionList* QrcCriterionList::make(QrcManagerI* m, QrcInt count) {
  QrcCriterionList* l = new (m->allocate(sizeof(QrcCriterionList))) QrcCriterionList;
  l->count = count;
  l->criteria = static_cast<QrcSelectionCriterion**>(
      m->allocate(static_cast<size_t>(count > 0 ? count : 1) * sizeof(QrcSelectionCriterion*)));
  l->manager = m;
  return l;
}

// ---------------------------------------------------------------------------
// The default goal

void QrcImpactInformation::makeCriteria() {
  if (_criteria[0]) return;
  QroGenAlloc* a = _solver->getEnv()->getGeneralAllocator();
  QrcImpactVarEvaluatorI* impactVar = new (a) QrcImpactVarEvaluatorI(a);
  _evaluators[0] = impactVar;
  QroOppositeEvaluatorI<QrcIntVar>* opposite = new (a) QroOppositeEvaluatorI<QrcIntVar>(impactVar);
  _evaluators[1] = opposite;
  _evaluators[2] = new (a) QrcRandomVarEvaluatorI(a);
  _evaluators[3] = new (a) QrcImpactValueEvaluatorI(a);
  _evaluators[4] = new (a) QrcRandomValueEvaluatorI(a);
  const int mode = QrcSelectionCriterion::AbsoluteTolerance;
  _criteria[0] = new QrcSelectionCriterion(opposite, 0.001, mode, "Impact");
  _criteria[1] = new QrcSelectionCriterion(_evaluators[2], 0.001, mode, "Random");
  _criteria[2] = new QrcSelectionCriterion(_evaluators[3], 0.001, mode, "Impact");
  _criteria[3] = new QrcSelectionCriterion(_evaluators[4], 0.001, mode, "Random");
}

QrcCustomizableGoalI* QrcImpactInformation::makeCustomizableGoal(const QrcIntVarArray& vars) {
  for (QrcInt i = 0; i < vars.getSize(); ++i) _table->cover(vars.getImpl()->getVar(i));
  makeCriteria();
  QrcManagerI* m = _solver->getManager();
  QrcCriterionList* varCriteria = QrcCriterionList::make(m, 2);
  varCriteria->criteria[0] = _criteria[0];
  varCriteria->criteria[1] = _criteria[1];
  QrcCriterionList* valueCriteria = QrcCriterionList::make(m, 2);
  valueCriteria->criteria[0] = _criteria[2];
  valueCriteria->criteria[1] = _criteria[3];
  return new (m) QrcCustomizableGoalI(m, vars, varCriteria, valueCriteria);
}

QrcGoal QrcImpactInformation::makeDefaultGoal(const QrcIntVarArray& vars) {
  QrcManagerI* m = _solver->getManager();
  QrcGoalI* g = makeCustomizableGoal(vars);
  // The initialisation succeeds with no further goal: as the first branch of
  // a choice it would end the search at once with the variables unbound, so
  // the search runs after it.
  return QrcAnd(new (m) QrcInternalInitializeImpactDichotomyGoalI(m, this, 5), g);
}

// ---------------------------------------------------------------------------
// Selection

QrcRootGoalI::QrcRootGoalI(QrcManagerI* m, const QrcIntVarArray& vars,
                           QrcCriterionList* varCriteria, QrcCriterionList* valueCriteria)
    : QrcGoalI(m),
      _vars(vars),
      _varCriteria(varCriteria),
      _valueCriteria(valueCriteria),
      _best(0),
      _probingLimit(0),
      _leftGoal(nullptr),
      _rightGoal(nullptr),
      _bubbling(0),
      _filter(nullptr) {}

QrcInt QrcRootGoalI::argMin(const double* scores, QrcInt begin, QrcInt end) {
  QrcInt best = begin;
  for (QrcInt i = begin + 1; i < end; ++i)
    if (scores[i] < scores[best]) best = i;
  return best;
}

QrcInt QrcRootGoalI::argMax(const double* scores, QrcInt begin, QrcInt end) {
  QrcInt best = begin;
  for (QrcInt i = begin + 1; i < end; ++i)
    if (scores[i] > scores[best]) best = i;
  return best;
}

namespace {

void swapEntries(QrcInt* positions, double* scores, QrcInt i, QrcInt j) {
  QrcInt p = positions[i];
  positions[i] = positions[j];
  positions[j] = p;
  double s = scores[i];
  scores[i] = scores[j];
  scores[j] = s;
}

}  // namespace

QrcInt QrcRootGoalI::partition(QrcInt* positions, double* scores, QrcInt begin, QrcInt end,
                               double pivot) {
  QrcInt c = begin;
  for (QrcInt i = begin; i < end; ++i)
    if (scores[i] <= pivot) swapEntries(positions, scores, i, c++);
  return c;
}

QrcInt QrcRootGoalI::selectBest(QrcInt* positions, double* scores, QrcInt b, QrcInt e, QrcInt k) {
  QrcInt n = e - b;
  if (n <= k) return n;
  if (k == 1) {
    swapEntries(positions, scores, argMin(scores, b, e), b);
    return 1;
  }
  if (k == n - 1) {
    swapEntries(positions, scores, argMax(scores, b, e), e - 1);
    return k;
  }
  double lo = scores[b], hi = scores[b], mean = 0.0;
  for (QrcInt i = b; i < e; ++i) {
    if (scores[i] < lo) lo = scores[i];
    if (scores[i] > hi) hi = scores[i];
    mean += scores[i];
  }
  mean /= static_cast<double>(n);
  if (!(hi > lo)) return k;
  double r = static_cast<double>(k) / static_cast<double>(n);
  double pivot = r > 0.5 ? (hi - mean) * r + mean : (mean - lo) * r + lo;
  QrcInt c = partition(positions, scores, b, e, pivot);
  if (c <= b || c >= e) return k;
  QrcInt j = c - b;
  if (j > k)
    selectBest(positions, scores, b, c, k);
  else if (j < k)
    selectBest(positions, scores, c, e, k - j);
  return k;
}

QrcInt QrcRootGoalI::filterByTolerance(QrcInt* positions, const double* scores, QrcInt n,
                                       bool relative, double t) {
  if (n <= 0) return 0;
  double best = scores[0];
  for (QrcInt i = 1; i < n; ++i)
    if (scores[i] < best) best = scores[i];
  double threshold = best + t;
  if (relative) threshold = best > 0 ? (1.0 + t) * best : (1.0 - t) * best;
  QrcInt kept = 0;
  for (QrcInt i = 0; i < n; ++i)
    if (scores[i] <= threshold) positions[kept++] = positions[i];
  return kept;
}

QrcInt QrcRootGoalI::randomizedRounding(double p) {
  QrcInt i = static_cast<QrcInt>(p);
  double f = p - static_cast<double>(i);
  if (f == 0.0) return i;
  double u = QrcGetRandom(_manager)->getFloat();
  return f >= u ? i + 1 : i;
}

QrcInt* QrcRootGoalI::scratch(QrcInt n, double** scores) {
  if (n < 1) n = 1;
  if (QroSolverI* s = _manager->getSolver()) {
    *scores = s->getScratchScores(n);
    return s->getScratchKeys(n);
  }
  // Without a solver, the manager's heap (given back on backtracking).
  *scores = static_cast<double*>(_manager->allocate(static_cast<size_t>(n) * sizeof(double)));
  return static_cast<QrcInt*>(_manager->allocate(static_cast<size_t>(n) * sizeof(QrcInt)));
}

QrcInt QrcRootGoalI::applyCriteria(QrcCriterionList* list, QrcInt* keys, double* scores, QrcInt n,
                                   QrcIntExpI* context) {
  for (QrcInt c = 0; list && c < list->count && n > 1; ++c) {
    QrcSelectionCriterion* cr = list->criteria[c];
    // The evaluator may be the caller's.
    auto score = [this, cr, keys, scores, n, context] {
      for (QrcInt i = 0; i < n; ++i) {
        if (context) {
          QroInt v = keys[i];
          scores[i] = cr->getEvaluator()->evaluateCached(&v, context, nullptr);
        } else {
          QrcIntVar x(_vars.getImpl()->getVar(keys[i]));
          scores[i] = cr->getEvaluator()->evaluateCached(&x, nullptr, nullptr);
        }
      }
    };
    _manager->runForeign(score);
    double p = cr->getParameter();
    QrcInt left = 0;
    switch (cr->getMode()) {
      case QrcSelectionCriterion::AbsoluteTolerance:
        left = filterByTolerance(keys, scores, n, false, p);
        break;
      case QrcSelectionCriterion::RelativeTolerance:
        left = filterByTolerance(keys, scores, n, true, p);
        break;
      case QrcSelectionCriterion::KBest:
        left = selectBest(keys, scores, 0, n,
                          context ? randomizedRounding(p) : static_cast<QrcInt>(std::ceil(p)));
        break;
      case QrcSelectionCriterion::BestFraction:
        left = selectBest(keys, scores, 0, n,
                          static_cast<QrcInt>(std::ceil(static_cast<double>(n) * p)));
        break;
      default:
        left = 0;
        break;
    }
    // A criterion that would leave nothing keeps what it was given.
    if (left < 1) left = n;
    cr->recordUse(n, left);
    n = left;
  }
  return n;
}

QrcInt QrcRootGoalI::selectVariable() {
  QrcInt size = _vars.getSize();
  double* scores;
  QrcInt* keys = scratch(size, &scores);
  QrcInt n = 0;
  for (QrcInt i = 0; i < size; ++i)
    if (!_vars.getImpl()->getVar(i)->isBound()) keys[n++] = i;
  if (QrcVarFilterI* f = _filter) {
    auto narrow = [this, f, keys, &n] { n = f->filter(_vars, keys, n); };
    _manager->runForeign(narrow);
  }
  if (n > 1) n = applyCriteria(_varCriteria, keys, scores, n, nullptr);
  return n > 0 ? keys[0] : -1;
}

QrcBool QrcRootGoalI::selectValue(QrcIntExpI* x, QrcInt* value) {
  QrcInt size = x->getSize();
  if (!_valueCriteria || _valueCriteria->count == 0) {
    if (size <= 0) return 0;
    *value = x->getMin();
    return 1;
  }
  // The candidates of a very large domain are its smallest values.
  if (size > MaxValueCandidates) size = MaxValueCandidates;
  double* scores;
  QrcInt* keys = scratch(size, &scores);
  QrcInt n = 0;
  QrcInt v = x->getMin();
  for (;;) {
    keys[n++] = v;
    QrcInt next = x->getNextHigher(v);
    if (next == v || n == size) break;
    v = next;
  }
  if (n > 1) n = applyCriteria(_valueCriteria, keys, scores, n, x);
  if (n <= 0) return 0;
  *value = keys[0];
  return 1;
}

QrcGoalI* QrcCustomizableGoalI::execute() {
  QrcManagerI* m = _manager;
  if (_probingLimit > 0) m->getSolver()->getProber()->probeAll(_probingLimit, _vars);
  QrcInt p = selectVariable();
  if (p < 0) {
    if (QrcVarFilterI* f = _filter) {
      auto ended = [f] { f->noMoreVariables(); };
      m->runForeign(ended);
    }
    return nullptr;
  }
  if (_bubbling) {
    QrcDeductionStore* store =
        new (m->allocate(sizeof(QrcDeductionStore))) QrcDeductionStore(m, _vars.getSize());
    store->setDepthLimit(1);
    store->setStopAtFirstInvalid(0);
    return new (m) QrcDefaultBubbleBestGenerateI(m, _vars, this, store);
  }
  QrcIntExpI* x = _vars.getImpl()->getVar(p);
  QrcGoalI* inst = _best ? static_cast<QrcGoalI*>(new (m) QrcDefaultBestInstantiateI(m, x, this))
                         : new (m) QrcDefaultInstantiateI(m, x, this);
  return new (m) QrcAndII(m, inst, this);
}

// ---------------------------------------------------------------------------
// Instantiation

QrcGoalI* QrcDefaultInstantiateI::branch(QrcDeductionStore* store, QrcGoalI* again) {
  QrcManagerI* m = _manager;
  if (_x->isBound()) return nullptr;
  QrcInt v = 0;
  if (!_goal->selectValue(_x, &v)) return new (m) QrcGoalFailI(m, nullptr);
  QrcGoalI* left;
  QrcGoalI* right;
  if (store) {
    left = new (m) QrcBubbleGenericSetValueI(m, _x, v, store);
    right = new (m) QrcBubbleGenericRemoveValueI(m, _x, v, store);
  } else {
    left = new (m) QrcIntVarSetValueI(m, _x, v);
    right = new (m) QrcIntVarRemoveValueI(m, _x, v);
  }
  if (QrcGoalI* g = _goal->getLeftBranchGoal()) left = new (m) QrcAndII(m, left, g);
  if (QrcGoalI* g = _goal->getRightBranchGoal()) right = new (m) QrcAndII(m, right, g);
  if (again) right = new (m) QrcAndII(m, right, again);
  return new (m) QrcOrI(m, left, right, nullptr);
}

QrcGoalI* QrcDefaultInstantiateI::execute() {
  return branch(nullptr, this);
}
void QrcDefaultInstantiateI::display(std::ostream& os) const {
  os << "\"QrcDefaultInstantiate\"";
}

QrcGoalI* QrcDefaultBestInstantiateI::execute() {
  return branch(nullptr, nullptr);
}
void QrcDefaultBestInstantiateI::display(std::ostream& os) const {
  os << "\"QrcDefaultBestInstantiate\"";
}

QrcGoalI* QrcDefaultBubbleBestInstantiateI::execute() {
  return branch(_store, nullptr);
}
void QrcDefaultBubbleBestInstantiateI::display(std::ostream& os) const {
  os << "\"QrcDefaultBubbleBestInstantiate\"";
}

QrcGoalI* QrcDefaultBubbleBestGenerateI::execute() {
  QrcManagerI* m = _manager;
  if (_store->isProbingDue(_vars)) _store->probingPass(_vars);
  QrcInt p = _goal->selectVariable();
  if (p < 0) return nullptr;
  QrcGoalI* inst =
      new (m) QrcDefaultBubbleBestInstantiateI(m, _vars.getImpl()->getVar(p), _goal, _store);
  return new (m) QrcAndII(m, inst, this);
}
void QrcDefaultBubbleBestGenerateI::display(std::ostream& os) const {
  os << "\"QrcDefaultBubbleBestGenerate\"";
}

// ---------------------------------------------------------------------------
// Deduction store

namespace {

void appendTo(QrcDeductionList& list, QrcDeduction* d) {
  d->next = nullptr;
  if (list.tail)
    list.tail->next = d;
  else
    list.head = d;
  list.tail = d;
}

// Moves every deduction of from to the end of to.
void appendList(QrcDeductionList& to, QrcDeductionList& from) {
  if (!from.head) return;
  if (to.tail)
    to.tail->next = from.head;
  else
    to.head = from.head;
  to.tail = from.tail;
  from.head = from.tail = nullptr;
}

}  // namespace

QrcDeductionStore::QrcDeductionStore(QrcManagerI* m, QrcInt variables)
    : _level(0),
      _levelCount(variables + 1),
      _levels(nullptr),
      _freeList(nullptr),
      _manager(m),
      _depthLimit(1),
      _stopAtFirstInvalid(0),
      _decisions(0),
      _decisionsAtPass(0),
      _passComplete(1),
      _resumePosition(0),
      _resumeValue(0) {
  size_t bytes = static_cast<size_t>(_levelCount) * sizeof(Level*);
  _levels = static_cast<Level**>(allocate(bytes));
  std::memset(static_cast<void*>(_levels), 0, bytes);
  _levels[0] = newLevel();
}

void* QrcDeductionStore::allocate(size_t n) {
  return QrcAllocate(n, _manager->getGlobalHeap());
}

QrcDeductionStore::Level* QrcDeductionStore::newLevel() {
  Level* l = static_cast<Level*>(allocate(sizeof(Level)));
  std::memset(static_cast<void*>(l), 0, sizeof(Level));
  return l;
}

QrcDeduction* QrcDeductionStore::newDeduction(QrcIntExpI* x, QrcInt kind, QrcInt position,
                                              QrcInt value) {
  QrcDeduction* d = _freeList;
  if (d)
    _freeList = d->next;
  else
    d = static_cast<QrcDeduction*>(allocate(sizeof(QrcDeduction)));
  *d = QrcDeduction{kind, x, position, value, nullptr, nullptr, nullptr, 1, 1};
  return d;
}

void QrcDeductionStore::release(QrcDeduction* d) {
  if (d->premises) {
    QrcDeduction* p = d->premises->head;
    d->premises->head = d->premises->tail = nullptr;
    while (p) {
      QrcDeduction* next = p->next;
      release(p);
      p = next;
    }
  }
  d->next = _freeList;
  _freeList = d;
}

void QrcDeductionStore::append(QrcDeduction* d) {
  Level* l = current();
  l->tailBeforeAppend = l->current.tail;
  appendTo(l->current, d);
}

void QrcDeductionStore::takeBack() {
  Level* l = current();
  l->current.tail = l->tailBeforeAppend;
  if (l->current.tail)
    l->current.tail->next = nullptr;
  else
    l->current.head = nullptr;
}

bool QrcDeductionStore::isValid(QrcDeduction* d) {
  QrcManagerI* m = _manager;
  QrcGoalI* test;
  switch (d->kind) {
    case QrcDeduction::Equal:
      test = new (m) DirectIntVarRemoveValueI(m, d->x, d->value);
      break;
    case QrcDeduction::Different:
      test = new (m) DirectIntVarSetValueI(m, d->x, d->value);
      break;
    case QrcDeduction::VarEqual:
      test = new (m) QrcIntVarNeqI(m, d->x, d->y);
      break;
    case QrcDeduction::VarDifferent:
      test = new (m) QrcIntVarEqI(m, d->x, d->y);
      break;
    default:
      test = new (m) QrcGoalTrueI(m);
      break;
  }
  if (d->premises) test = new (m) QrcAndII(m, test, new (m) QrcPlayListOfDeductionsI(m, this, d));
  return !m->solve(test, true);
}

void QrcDeductionStore::apply(QrcDeduction* d) {
  switch (d->kind) {
    case QrcDeduction::Equal:
      d->x->setValue(d->value);
      break;
    case QrcDeduction::Different:
      d->x->removeValue(d->value);
      break;
    case QrcDeduction::VarEqual:
      QrcManager(_manager).add(QrcIntExp(d->x) == QrcIntExp(d->y));
      break;
    case QrcDeduction::VarDifferent:
      QrcManager(_manager).add(QrcIntExp(d->x) != QrcIntExp(d->y));
      break;
    default:
      break;
  }
}

void QrcDeductionStore::playPremises(QrcDeduction* d) {
  QrcDeduction* p = d->premises ? d->premises->head : nullptr;
  while (p) {
    QrcDeduction* next = p->next;
    if (isValid(p))
      apply(p);
    else if (_stopAtFirstInvalid)
      return;
    p = next;
  }
}

void QrcDeductionStore::pushLevel() {
  ++_level;
  if (_level >= _levelCount) {
    // Deeper than the variables: a longer array (the old one stays on the heap).
    QrcInt count = 2 * _levelCount;
    size_t bytes = static_cast<size_t>(count) * sizeof(Level*);
    Level** levels = static_cast<Level**>(allocate(bytes));
    std::memset(static_cast<void*>(levels), 0, bytes);
    std::memcpy(static_cast<void*>(levels), _levels,
                static_cast<size_t>(_levelCount) * sizeof(Level*));
    _levels = levels;
    _levelCount = count;
  }
  if (!_levels[_level]) _levels[_level] = newLevel();
}

void QrcDeductionStore::moveUp() {
  if (_level == 0) return;
  Level* l = _levels[_level];
  Level* parent = _levels[_level - 1];
  appendList(parent->pending, l->current);
  appendList(parent->pending, l->pending);
  for (QrcDeduction* d = l->rejected.head; d;) {
    QrcDeduction* next = d->next;
    release(d);
    d = next;
  }
  std::memset(static_cast<void*>(l), 0, sizeof(Level));
  --_level;
}

void QrcDeductionStore::retestPending(QrcIntExpI* x, QrcInt kind, QrcInt position, QrcInt v) {
  Level* l = current();
  if (!l->pending.head) return;
  bool rejected = false;
  while (QrcDeduction* d = l->pending.head) {
    l->pending.head = d->next;
    if (!l->pending.head) l->pending.tail = nullptr;
    if (isValid(d)) {
      append(d);
      apply(d);
    } else {
      appendTo(l->rejected, d);
      rejected = true;
    }
  }
  if (!rejected) {
    append(newDeduction(x, kind, position, v));
    return;
  }
  QrcDeductionList kept = {nullptr, nullptr};
  bool released = false;
  for (QrcDeduction* d = l->rejected.head; d;) {
    QrcDeduction* next = d->next;
    if (d->depth < _depthLimit) {
      appendTo(kept, d);
    } else {
      release(d);
      released = true;
    }
    d = next;
  }
  l->rejected.head = l->rejected.tail = nullptr;
  if (released) {
    for (QrcDeduction* d = kept.head; d;) {
      QrcDeduction* next = d->next;
      release(d);
      d = next;
    }
    return;
  }
  QrcDeduction* c = newDeduction(x, kind, position, v);
  c->premises = static_cast<QrcDeductionList*>(allocate(sizeof(QrcDeductionList)));
  *c->premises = kept;
  QrcInt depth = 0, weight = 0;
  for (QrcDeduction* d = kept.head; d; d = d->next) {
    if (d->depth > depth) depth = d->depth;
    weight += d->weight;
  }
  c->depth = 1 + depth;
  c->weight = 1 + weight;
  append(c);
}

bool QrcDeductionStore::isProbingDue(const QrcIntVarArray& vars) const {
  if (!_passComplete) return true;
  QrcInt b = _decisions - _decisionsAtPass;
  if (b < 2) return false;
  for (QrcInt i = vars.getSize() - 1; i >= 0; --i) {
    QrcInt s = vars.getImpl()->getVar(i)->getSize();
    if (s <= 1) continue;
    b -= 5 * s;
    if (b < 2) return false;
  }
  return b > 1;
}

void QrcDeductionStore::probingPass(const QrcIntVarArray& vars) {
  QrcManagerI* m = _manager;
  QrcInt n = vars.getSize();
  QrcInt i = 0;
  // Resumed: the first value to probe at position i (none: its minimum).
  bool resumed = false;
  QrcInt start = 0;
  if (_passComplete) {
    _passComplete = 0;
  } else {
    i = _resumePosition;
    if (i < n && !vars.getImpl()->getVar(i)->isBound()) {
      QrcIntExpI* x = vars.getImpl()->getVar(i);
      QrcInt next = x->getNextHigher(_resumeValue);
      if (next > _resumeValue) {
        resumed = true;
        start = next;
      } else {
        ++i;
      }
    }
  }
  for (; i < n; ++i, resumed = false) {
    _resumePosition = i;
    QrcIntExpI* x = vars.getImpl()->getVar(i);
    if (x->isBound()) continue;
    QrcInt v = resumed ? start : x->getMin();
    for (;;) {
      _resumeValue = v;
      if (!m->solve(new (m) DirectIntVarSetValueI(m, x, v), true)) {
        append(newDeduction(x, QrcDeduction::Different, i, v));
        x->removeValue(v);
      }
      QrcInt next = x->getNextHigher(v);
      if (next == v) break;
      v = next;
    }
  }
  _passComplete = 1;
  _decisionsAtPass = _decisions;
}

// ---------------------------------------------------------------------------
// Deduction goals

QrcGoalI* DirectIntVarSetValueI::execute() {
  _var->setValue(_value);
  return nullptr;
}
void DirectIntVarSetValueI::display(std::ostream& os) const {
  os << "\"DirectIntVarSetValue\"";
}

QrcGoalI* DirectIntVarRemoveValueI::execute() {
  _var->removeValue(_value);
  return nullptr;
}
void DirectIntVarRemoveValueI::display(std::ostream& os) const {
  os << "\"DirectIntVarRemoveValue\"";
}

QrcGoalI* QrcIntVarEqI::execute() {
  QrcManager(_x->getManager()).add(QrcIntExp(_x) == QrcIntExp(_y));
  return nullptr;
}
void QrcIntVarEqI::display(std::ostream& os) const {
  os << "\"QrcIntVarEq\"";
}

QrcGoalI* QrcIntVarNeqI::execute() {
  QrcManager(_x->getManager()).add(QrcIntExp(_x) != QrcIntExp(_y));
  return nullptr;
}
void QrcIntVarNeqI::display(std::ostream& os) const {
  os << "\"QrcIntVarNeq\"";
}

QrcGoalI* QrcPlayListOfDeductionsI::execute() {
  _store->playPremises(_deduction);
  return nullptr;
}
void QrcPlayListOfDeductionsI::display(std::ostream& os) const {
  os << "\"QrcPlayListOfDeductions\"";
}

QrcGoalI* QrcMoveUpDeductionsI::execute() {
  _store->moveUp();
  return nullptr;
}
void QrcMoveUpDeductionsI::display(std::ostream& os) const {
  os << "\"QrcMoveUpDeductions\"";
}

QrcGoalI* QrcBubbleGenericSetValueI::execute() {
  QrcManagerI* m = _manager;
  QrcDeduction* d = _store->newDeduction(_x, QrcDeduction::Different, 0, _v);
  _store->countDecision();
  _store->append(d);
  // A failure leaves x != v recorded at this level.
  if (QroSolverI* s = getSolverI())
    s->setValue(_x, _v);
  else
    _x->setValue(_v);
  _store->takeBack();
  _store->release(d);
  _store->pushLevel();
  m->addReversibleAction(new (m) QrcMoveUpDeductionsI(m, _store));
  return nullptr;
}
void QrcBubbleGenericSetValueI::display(std::ostream& os) const {
  os << "\"QrcBubbleGenericSetValue\"";
}

QrcGoalI* QrcBubbleGenericRemoveValueI::execute() {
  _store->retestPending(_x, QrcDeduction::Different, 0, _v);
  QrcDeduction* d = _store->newDeduction(_x, QrcDeduction::Equal, 0, _v);
  _store->countDecision();
  _store->append(d);
  if (QroSolverI* s = getSolverI())
    s->removeValue(_x, _v);
  else
    _x->removeValue(_v);
  _store->takeBack();
  _store->release(d);
  return nullptr;
}
void QrcBubbleGenericRemoveValueI::display(std::ostream& os) const {
  os << "\"QrcBubbleGenericRemoveValue\"";
}
