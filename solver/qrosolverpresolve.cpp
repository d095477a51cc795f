#include "qrosolverpresolve.h"

#include <cstdlib>
#include <cstring>
#include <ostream>

#include "qrolinear.h"
#include "qroplatform.h"
#include "qromodel.h"
#include "qrosolveri.h"
#include "qrcgenalloc.h"
#include "qrcmanager.h"

// ---------------------------------------------------------------------------
// Information records and rules

QrcPresolveInfoI::~QrcPresolveInfoI() {}
void QrcPresolveInfoI::display(std::ostream& os) const {
  os << "A unknown presolve information ";
}

void QrcPresolvedNumVarI::display(std::ostream& os) const {
  os << "<Presolved Num Var -> ";
  if (_expr) _expr->display(os);
  os << ">";
}

void QrcPresolvedNumEqI::display(std::ostream& os) const {
  os << "<Presolved NumEqI, " << (_side == 1 ? "right, " : "left, ")
     << (_integer == 1 ? "integer>" : "float>");
}

QroCPPresolveRuleI::~QroCPPresolveRuleI() {}
void QroCPPresolveRuleI::display(std::ostream& os) const {
  os << "A unknown presolve rule ";
}
void QroPresolveNumEqI::display(std::ostream& os) const {
  os << "[ReduceNumEqI]";
}

// ---------------------------------------------------------------------------
// Visitors

class QroCPPresolveVisitorI : public QroExtractableVisitor {
 public:
  explicit QroCPPresolveVisitorI(QroCPPresolveI* p) : _topLevel(1), _presolve(p), _depth(0) {}
  void visit(QroExtractableI* x) override {
    if (x) _presolve->visit(x, _depth, _topLevel);
  }
  void visitChild(QroExtractableI* parent, QroExtractableI* child) override {
    if (!child || _presolve->isVisited(child->getId())) return;
    // Members of the model are at depth 1 and at top level; whatever lies
    // below them is not at top level.
    QroBool saved = _topLevel;
    QroInt savedDepth = _depth;
    if (!parent || !parent->isType(QroModelI::GetTypeInfo())) _topLevel = 0;
    ++_depth;
    try {
      // The walk recurses as deep as expressions are nested.
      auto visit = [&] { child->visitSubExtractables(this); };
      qroplatform::withStackRoom(visit);
    } catch (...) {
      _depth = savedDepth;
      _topLevel = saved;
      throw;
    }
    _depth = savedDepth;
    _topLevel = saved;
  }
  QroBool _topLevel;

 private:
  QroCPPresolveI* _presolve;
  QroInt _depth;
};

class QroCPPresolveFindVisitorI : public QroExtractableVisitor {
 public:
  QroCPPresolveFindVisitorI() : found(0), target(nullptr) {}
  void visit(QroExtractableI* x) override {
    if (x == target) found = 1;
  }
  void visitChild(QroExtractableI*, QroExtractableI* child) override {
    if (!found && child) child->visitSubExtractables(this);
  }
  QroBool isDone() const override { return found; }
  QroBool found;
  QroExtractableI* target;
};

namespace {

class AlreadyPresolvedVisitor : public QroExtractableVisitor {
 public:
  explicit AlreadyPresolvedVisitor(QroCPPresolveI* p) : found(0), _presolve(p) {}
  void visit(QroExtractableI* x) override {
    if (x && _presolve->findInformation(x, QrcPresolvedNumVarI::GetTypeInfo())) found = 1;
  }
  void visitChild(QroExtractableI*, QroExtractableI* child) override {
    if (!found && child) child->visitSubExtractables(this);
  }
  QroBool isDone() const override { return found; }
  QroBool found;

 private:
  QroCPPresolveI* _presolve;
};

}  // namespace

// ---------------------------------------------------------------------------
// Presolve

QroCPPresolveI::QroCPPresolveI(QroEnvI* env, QroSolverI* solver)
    : QroEnvObjectI(env),
      _solver(solver),
      _flags(nullptr),
      _flagCapacity(128),
      _mapManager(nullptr),
      _mapCapacity(0),
      _buckets(nullptr),
      _mapCount(0),
      _ruleCapacity(0),
      _rules(nullptr),
      _trace(0),
      _visitor(nullptr),
      _finder(nullptr) {
  _flags = static_cast<QroInt*>(std::calloc(static_cast<size_t>(_flagCapacity), sizeof(QroInt)));
  if (!_flags) throw QroMemoryException();
}

QroCPPresolveI::~QroCPPresolveI() {
  std::free(_flags);
  for (QroInt i = 0; i < _ruleCapacity; ++i) {
    QroCPPresolveRuleI* r = _rules[i];
    while (r) {
      QroCPPresolveRuleI* next = r->getNext();
      delete r;
      r = next;
    }
  }
  std::free(_rules);
  delete _visitor;
  delete _finder;
}

std::ostream& QroCPPresolveI::out() const {
  return _solver->out();
}

QroBool QroCPPresolveI::isTopLevel() const {
  return _visitor && _visitor->_topLevel;
}

void QroCPPresolveI::reset() {
  _mapManager = _solver->getManager();
  _mapCapacity = 128;
  size_t bytes = static_cast<size_t>(_mapCapacity) * sizeof(MapNode*);
  _buckets = static_cast<MapNode**>(_mapManager->allocate(bytes));
  std::memset(static_cast<void*>(_buckets), 0, bytes);
  _mapCount = 0;
  std::memset(_flags, 0, static_cast<size_t>(_flagCapacity) * sizeof(QroInt));
}

QroBool QroCPPresolveI::run(QroExtractableI* model) {
  if (!_buckets) reset();
  if (!_visitor) _visitor = new QroCPPresolveVisitorI(this);
  if (!_finder) _finder = new QroCPPresolveFindVisitorI();
  _visitor->_topLevel = 1;
  if (model) model->visitSubExtractables(_visitor);
  return 1;
}

void QroCPPresolveI::setFlag(QroInt id) {
  if (id < 0) return;
  if (id >= _flagCapacity) {
    QroInt capacity = _flagCapacity;
    while (capacity <= id) capacity *= 2;
    QroInt* flags =
        static_cast<QroInt*>(std::calloc(static_cast<size_t>(capacity), sizeof(QroInt)));
    if (!flags) throw QroMemoryException();
    std::memcpy(flags, _flags, static_cast<size_t>(_flagCapacity) * sizeof(QroInt));
    std::free(_flags);
    _flags = flags;
    _flagCapacity = capacity;
  }
  _flags[id] = 1;
}

void QroCPPresolveI::visit(QroExtractableI* x, QroInt depth, QroBool topLevel) {
  setFlag(x->getId());
  if (_trace > 2) {
    out() << "Visiting extractable ";
    x->display(out());
    out() << std::endl;
  }
  QroInt index = x->getTypeIndex();
  if (index <= 0 || index >= _ruleCapacity) return;
  for (QroCPPresolveRuleI* r = _rules[index]; r; r = r->getNext()) {
    if (_trace > 0) {
      out() << "Firing rule ";
      r->display(out());
      out() << " at depth " << depth;
      if (topLevel) out() << " and at top level";
      out() << std::endl;
    }
    r->apply(x, this);
  }
}

void QroCPPresolveI::addRule(QroInt typeIndex, QroCPPresolveRuleI* rule) {
  if (typeIndex < 0) return;
  if (!_rules) {
    _ruleCapacity = 128;
    _rules = static_cast<QroCPPresolveRuleI**>(std::calloc(128, sizeof(QroCPPresolveRuleI*)));
    if (!_rules) throw QroMemoryException();
  }
  if (typeIndex + 1 > _ruleCapacity) {
    QroInt capacity = _ruleCapacity;
    while (capacity <= typeIndex + 1) capacity *= 2;
    QroCPPresolveRuleI** rules = static_cast<QroCPPresolveRuleI**>(
        std::calloc(static_cast<size_t>(capacity), sizeof(QroCPPresolveRuleI*)));
    if (!rules) throw QroMemoryException();
    std::memcpy(static_cast<void*>(rules), _rules,
                static_cast<size_t>(_ruleCapacity) * sizeof(QroCPPresolveRuleI*));
    std::free(_rules);
    _rules = rules;
    _ruleCapacity = capacity;
  }
  rule->setNext(_rules[typeIndex]);
  _rules[typeIndex] = rule;
}

QroInt QroCPPresolveI::bucketOf(const void* key) const {
  QroInt k = static_cast<QroInt>(reinterpret_cast<uintptr_t>(key));
  return ((k / 4) % 157573) & (_mapCapacity - 1);
}

QroCPPresolveI::InfoList* QroCPPresolveI::findList(const QroExtractableI* x) const {
  if (!_buckets) return nullptr;
  for (MapNode* n = _buckets[bucketOf(x)]; n; n = n->next)
    if (n->key == x) return n->value;
  return nullptr;
}

QroCPPresolveI::InfoList* QroCPPresolveI::makeList(const QroExtractableI* x) {
  if (!_buckets) reset();
  QrcManagerI* m = _mapManager;
  InfoList* list = static_cast<InfoList*>(m->allocate(sizeof(InfoList)));
  list->first = nullptr;
  list->allocator = m->getGeneralAllocator();
  MapNode* node = static_cast<MapNode*>(m->allocate(sizeof(MapNode)));
  QroInt b = bucketOf(x);
  m->saveValue(&_buckets[b]);
  node->value = list;
  node->key = x;
  node->next = _buckets[b];
  _buckets[b] = node;
  m->saveValue(&_mapCount);
  ++_mapCount;
  if (static_cast<double>(_mapCount) > static_cast<double>(_mapCapacity) * 2.0) rehash();
  return list;
}

void QroCPPresolveI::rehash() {
  QrcManagerI* m = _mapManager;
  m->saveValue(&_mapCapacity);
  m->saveValue(&_buckets);
  QroInt oldCapacity = _mapCapacity;
  MapNode** old = _buckets;
  size_t bytes = static_cast<size_t>(oldCapacity * 2) * sizeof(MapNode*);
  _buckets = static_cast<MapNode**>(m->allocate(bytes));
  std::memset(static_cast<void*>(_buckets), 0, bytes);
  _mapCapacity = oldCapacity * 2;
  for (QroInt i = 0; i < oldCapacity; ++i) {
    MapNode* n = old[i];
    while (n) {
      MapNode* next = n->next;
      QroInt b = bucketOf(n->key);
      m->saveValue(&n->next);
      n->next = _buckets[b];
      _buckets[b] = n;
      n = next;
    }
  }
}

void QroCPPresolveI::addInformation(QroExtractableI* x, QrcPresolveInfoI* info) {
  InfoList* list = findList(x);
  if (!list) list = makeList(x);
  if (_trace >= 1) {
    out() << "Adding information ";
    info->display(out());
    out() << " for extractable ";
    x->display(out());
    out() << std::endl;
  }
  InfoNode* node = static_cast<InfoNode*>(list->allocator->alloc(sizeof(InfoNode)));
  node->info = info;
  node->next = list->first;
  list->allocator->saveValue(&list->first);
  list->first = node;
}

QrcPresolveInfoI* QroCPPresolveI::findInformation(const QroExtractableI* x,
                                                  QroTypeInfo type) const {
  InfoList* list = findList(x);
  if (!list) return nullptr;
  for (InfoNode* n = list->first; n; n = n->next) {
    if (!n->info->isType(type)) continue;
    if (_trace >= 2) {
      out() << "Finding information ";
      n->info->display(out());
      out() << " for extractable ";
      if (x) x->display(out());
      out() << std::endl;
    }
    return n->info;
  }
  return nullptr;
}

QroBool QroCPPresolveI::contains(QroExtractableI* expr, QroExtractableI* target) {
  if (!_finder) _finder = new QroCPPresolveFindVisitorI();
  _finder->found = 0;
  _finder->target = target;
  if (expr) expr->visitSubExtractables(_finder);
  return _finder->found;
}

QroBool QroCPPresolveI::isAlreadyPresolved(QroExtractableI* expr) {
  AlreadyPresolvedVisitor v(this);
  if (expr) expr->visitSubExtractables(&v);
  return v.found;
}

// ---------------------------------------------------------------------------
// [ReduceNumEqI]

namespace {

bool isElement(const QroExtractableI* e) {
  return e->isType(QroNumArrayElementI::GetTypeInfo()) ||
         e->isType(QroIntArrayElementI::GetTypeInfo());
}

// An element expression, or a sum that is only one element expression.
bool isElementLike(const QroExtractableI* e) {
  if (isElement(e)) return true;
  if (e->getTypeInfo() == QroNumLinTermI::GetTypeInfo()) {
    const QroNumLinTermI* t = static_cast<const QroNumLinTermI*>(e);
    return t->getConstantValue() == 0.0 && !t->getQuadPart() && !t->getFirstNode() &&
           t->getFirstExpr() && !t->getFirstExpr()->next && isElement(t->getFirstExpr()->expr);
  }
  if (e->getTypeInfo() == QroIntLinTermI::GetTypeInfo()) {
    const QroIntLinTermI* t = static_cast<const QroIntLinTermI*>(e);
    return t->getConstantValue() == 0 && !t->getQuadPart() && !t->getFirstNode() &&
           t->getFirstExpr() && !t->getFirstExpr()->next && isElement(t->getFirstExpr()->expr);
  }
  return false;
}

// 1 reduced, 0 a condition failed, -1 stop (type refused).
int tryReduce(QroNumEqI* eq, QroNumExprI* var, QroNumExprI* def, QroInt side, QroCPPresolveI* p) {
  if (var->getTypeInfo() != QroNumVarI::GetTypeInfo()) return 0;
  QroNumVarI* v = static_cast<QroNumVarI*>(var);
  if (v->isEnumerated()) return 0;
  if (p->isAlreadyPresolved(var) || p->isAlreadyPresolved(def)) return 0;
  if (p->contains(def, var)) return 0;
  if (isElementLike(def)) return 0;
  QrcManagerI* m = p->getSolver()->getManager();
  int type = v->getType();
  if (type == QroNumVar::Int && def->isIntExpr()) {
    p->addInformation(eq, new (m) QrcPresolvedNumEqI(side, 1));
    p->addInformation(v, new (m) QrcPresolvedNumVarI(def));
    return 1;
  }
  if (type == QroNumVar::Float) {
    p->addInformation(eq, new (m) QrcPresolvedNumEqI(side, 0));
    p->addInformation(v, new (m) QrcPresolvedNumVarI(def));
    return 1;
  }
  return -1;
}

}  // namespace

void QroPresolveNumEqI::apply(QroExtractableI* x, QroCPPresolveI* p) {
  if (!p->isTopLevel()) return;
  QroNumEqI* eq = static_cast<QroNumEqI*>(x);
  QroNumExprI* left = eq->getLeft();
  QroNumExprI* right = eq->getRight();
  if (!left || !right) return;
  if (tryReduce(eq, left, right, 0, p) != 0) return;
  tryReduce(eq, right, left, 1, p);
}
