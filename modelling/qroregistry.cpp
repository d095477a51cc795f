#include "qroregistry.h"

#include <cstring>
#include <exception>
#include <new>

#include "qroalgorithm.h"
#include "qrochange.h"
#include "qrouseindex.h"

namespace {
// Holds the environment's lock for a scope.
class EnvLock {
 public:
  explicit EnvLock(QroEnvI* env) : _env(env) { _env->lock(); }
  ~EnvLock() { _env->unlock(); }

 private:
  QroEnvI* _env;
};
}  // namespace

// ---------------------------------------------------------------------------
// Plug-in registry

QroPlugInRegistry::~QroPlugInRegistry() {
  QroBool wasEnding = _env->isEnding();
  _env->setEnding(1);
  while (_entries) {
    Entry* e = _entries;
    _entries = e->next;
    _env->free(e->name, std::strlen(e->name) + 1);
    while (e->plugIns) {
      QroPlugIn* p = e->plugIns;
      e->plugIns = p->getNext();
      delete p;
    }
    while (e->addons) {
      QroPlugInAddon* a = e->addons;
      e->addons = a->getNext();
      delete a;
    }
    _env->free(e, sizeof(Entry));
  }
  while (_listeners) {
    ListenerNode* n = _listeners;
    _listeners = n->next;
    _env->free(n, sizeof(ListenerNode));
  }
  _env->setEnding(wasEnding);
}

QroPlugInRegistry::Entry* QroPlugInRegistry::find(const char* name) const {
  for (Entry* e = _entries; e; e = e->next)
    if (std::strcmp(e->name, name) == 0) return e;
  return nullptr;
}

QroPlugInRegistry::Entry* QroPlugInRegistry::findOrCreate(const char* name) {
  EnvLock lock(_env);
  Entry* e = find(name);
  if (e) return e;
  size_t n = std::strlen(name) + 1;
  char* copy = static_cast<char*>(_env->alloc(n));
  std::memcpy(copy, name, n);
  try {
    e = static_cast<Entry*>(_env->alloc(sizeof(Entry)));
  } catch (...) {
    _env->free(copy, n);
    throw;
  }
  e->name = copy;
  e->plugIns = nullptr;
  e->addons = nullptr;
  e->next = _entries;
  _entries = e;
  return e;
}

void QroPlugInRegistry::addPlugIn(QroPlugIn* plugIn, const char* name) {
  EnvLock lock(_env);
  Entry* e = findOrCreate(name);
  plugIn->setNext(e->plugIns);
  e->plugIns = plugIn;
  for (QroPlugInAddon* a = e->addons; a; a = a->getNext()) a->attach(plugIn);
}

void QroPlugInRegistry::addAddon(QroPlugInAddon* addon, const char* name) {
  EnvLock lock(_env);
  Entry* e = findOrCreate(name);
  addon->setNext(e->addons);
  e->addons = addon;
  for (QroPlugIn* p = e->plugIns; p; p = p->getNext()) addon->attach(p);
}

void QroPlugInRegistry::removePlugIn(QroPlugIn* plugIn, const char* name) {
  EnvLock lock(_env);
  Entry* e = find(name);
  if (!e) return;
  for (QroPlugInAddon* a = e->addons; a; a = a->getNext()) a->detach(plugIn);
  QroPlugIn* prev = nullptr;
  for (QroPlugIn* p = e->plugIns; p; prev = p, p = p->getNext()) {
    if (p != plugIn) continue;
    if (prev)
      prev->setNext(p->getNext());
    else
      e->plugIns = p->getNext();
    p->setNext(nullptr);
    return;
  }
}

QroBool QroPlugInRegistry::hasAddon(QroTypeInfo token, const char* name) const {
  EnvLock lock(_env);
  Entry* e = find(name);
  if (!e) return 0;
  for (QroPlugInAddon* a = e->addons; a; a = a->getNext())
    if (a->getTypeInfo() == token) return 1;
  return 0;
}

QroPlugIn* QroPlugInRegistry::getFirstPlugIn(const char* name) const {
  Entry* e = find(name);
  return e ? e->plugIns : nullptr;
}

void QroPlugInRegistry::addListener(QroChangeListenerI* listener) {
  EnvLock lock(_env);
  ListenerNode* n = static_cast<ListenerNode*>(_env->alloc(sizeof(ListenerNode)));
  n->listener = listener;
  n->next = _listeners;
  _listeners = n;
}

void QroPlugInRegistry::removeListener(QroChangeListenerI* listener) {
  EnvLock lock(_env);
  for (ListenerNode** link = &_listeners; *link; link = &(*link)->next) {
    if ((*link)->listener == listener) {
      ListenerNode* n = *link;
      *link = n->next;
      _env->free(n, sizeof(ListenerNode));
      return;
    }
  }
}

// ---------------------------------------------------------------------------
// Recycle bin

QroRecycleBinI::QroRecycleBinI(QroEnvI* env)
    : QroEnvObjectI(env),
      _marked(),
      _pending(),
      _pendingSet(env->getMemoryManager()),
      _altered(),
      _alteredSet(env->getMemoryManager()),
      _destroying(0),
      _inUse(nullptr) {
  QroEnv handle(env);
  _marked = QroExtractableArray(handle, 0);
  _pending = QroExtractableArray(handle, 0);
  _altered = QroExtractableArray(handle, 0);
  QroGenAlloc* a = env->getGeneralAllocator();
  _inUse = new (a) QroAny2AnyHashTable(a, 31);
}

QroRecycleBinI::~QroRecycleBinI() {
  delete _inUse;
  _marked.end();
  _pending.end();
  _altered.end();
}

void QroRecycleBinI::mark(QroExtractableI* x) {
  QroInt id = x->getId();
  if (id < 0 || _env->isMarked(id) || !_env->getLiveSlot(id)) return;
  if (_destroying) {
    if (_pendingSet.find(x)) return;
    _pending.add(x);
    _pendingSet.set(x, x);
    return;
  }
  _env->markSlot(id);
  _marked.add(x);
  if (QroUseIndex* index = _env->findUseIndex()) index->marked(x);
}

void QroRecycleBinI::sweep() {
  if (!_sweepAll) {
    _env->getUseIndex()->collect(this);
    return;
  }
  const QroInt count = _env->getIdCount();
  QroInt before;
  do {
    before = _marked.getSize();
    for (QroInt id = 0; id < count; ++id) {
      QroExtractableI* x = _env->getLiveSlot(id);
      if (x) ask(x);
    }
  } while (_marked.getSize() != before);
}

void QroRecycleBinI::ask(QroExtractableI* x) {
  if (!x->outlivesUses()) {
    x->endIfUsesMarked();
    return;
  }
  if (_alteredSet.find(x) || !x->usesMarked()) return;
  _altered.add(x);
  _alteredSet.set(x, x);
}

void QroRecycleBinI::clearPending() {
  _pending.getImpl()->setSize(0);
  _pendingSet.clear();
}

void QroRecycleBinI::clearAltered() {
  _altered.getImpl()->setSize(0);
  _alteredSet.clear();
}

// The algorithms hear of the objects that end as one change, then of their
// deletion, and the users of each object that drops some of them are asked
// about that object.
void QroRecycleBinI::checkAllowed() {
  QroRemoveFromAllChange c(_marked);
  _env->checkChange(&c);
  for (QroInt i = 0; i < _altered.getSize(); ++i) _env->checkChange(&c, _altered[i]);
  QroDestroyExtractableArray d(_marked);
  _env->checkChange(&d);
}

// Deletes the marked objects, then those their deletion ended, pass by pass;
// the algorithms hear of each pass first. The first failure of one of them,
// or of a refusal to let an object that deletion ends go, goes to failure,
// unless it holds one already.
void QroRecycleBinI::deleteMarked(std::exception_ptr& failure) {
  _destroying = 1;
  while (_marked.getSize() > 0) {
    {
      QroDestroyExtractableArray c(_marked);
      std::exception_ptr f = _env->tellChange(&c);
      if (!failure) failure = f;
    }
    for (QroInt i = _marked.getSize() - 1; i >= 0; --i) {
      QroExtractableI* y = _marked[i];
      _env->unregisterExtractable(y);
      if (y->getUseCount() > 0 && !y->isNumVar()) _inUse->add(y, y);
      delete y;
    }
    _marked.getImpl()->setSize(0);
    for (QroInt i = 0; i < _pending.getSize(); ++i) {
      QroExtractableI* y = _pending[i];
      if (y->getId() < 0 || !_env->mayDestroy(y, failure)) continue;
      _env->markSlot(y->getId());
      _marked.add(y);
    }
    clearPending();
  }
}

// Once the algorithms allowed the cascade, it is made whole: an algorithm
// that then fails to apply its changes hears of all of them, as every other
// does, and its first failure is thrown at the end.
void QroRecycleBinI::run(QroExtractableI* x) {
  if (!_sweepAll) _env->getUseIndex()->update();
  mark(x);
  if (_marked.getSize() == 0) return;
  ++_serial;
  std::exception_ptr failure;
  try {
    sweep();
    checkAllowed();
    for (QroInt i = 0; i < _altered.getSize(); ++i) _altered[i]->endIfUsesMarked();
    clearAltered();
    {
      QroRemoveFromAllChange c(_marked);
      failure = _env->tellChange(&c);
    }
    deleteMarked(failure);
  } catch (...) {
    // A refused cascade (for instance a change during a search) is refused
    // before anything changed: the marks go and every object stays as it
    // was. What fails later leaves every object not yet deleted registered.
    for (QroInt i = 0; i < _marked.getSize(); ++i) {
      QroExtractableI* y = _marked[i];
      if (y->getId() >= 0) _env->unmarkSlot(y->getId(), y);
    }
    _marked.getImpl()->setSize(0);
    clearPending();
    clearAltered();
    _inUse->clear();
    _destroying = 0;
    throw;
  }
  _marked.getImpl()->setSize(0);
  clearPending();
  _inUse->clear();
  _destroying = 0;
  if (failure) std::rethrow_exception(failure);
}

// ---------------------------------------------------------------------------
// Clone table

QroCloneTable::QroCloneTable(QroEnvI* env)
    : _env(env), _busy(0), _clones(QroEnv(env), 0), _filled(QroEnv(env), 0), _cloner(nullptr) {}

QroCloneTable::~QroCloneTable() {
  _clones.end();
  _filled.end();
}

QroExtractableI* QroCloneTable::getClone(QroExtractableI* x) {
  if (!x) return nullptr;
  QroInt id = x->getId();
  if (id < 0) throw QroWrongUsage("cannot clone an extractable that has been ended");
  QroBool outermost = !_busy;
  _busy = 1;
  QroExtractableI* clone = nullptr;
  try {
    if (_clones.getSize() <= id) {
      QroLocalEnvI* local = _env->getLocalEnv();
      _env->setLocalEnv(nullptr);
      QroInt old = _clones.getSize();
      try {
        _clones.getImpl()->setSize(id + 1);
      } catch (...) {
        _env->setLocalEnv(local);
        throw;
      }
      _env->setLocalEnv(local);
      for (QroInt i = old; i <= id; ++i) _clones[i] = nullptr;
    }
    clone = _clones[id];
    if (!clone) {
      if (_cloner) clone = _cloner->makeClone(_env, x);
      if (!clone) clone = x->makeClone(_env);
      _clones[id] = clone;
      _filled.add(id);
    }
  } catch (...) {
    if (outermost) {
      for (QroInt i = 0; i < _filled.getSize(); ++i) _clones[_filled[i]] = nullptr;
      _filled.getImpl()->setSize(0);
      _busy = 0;
    }
    throw;
  }
  if (outermost) {
    for (QroInt i = 0; i < _filled.getSize(); ++i) _clones[_filled[i]] = nullptr;
    _filled.getImpl()->setSize(0);
    _busy = 0;
  }
  return clone;
}

// ---------------------------------------------------------------------------
// Per-type index

QroExtractableTypeIndex::QroExtractableTypeIndex(QroEnvI* env)
    : _env(env),
      _rebuild(1),
      _pending(QroEnv(env), 0),
      _buckets(nullptr),
      _bucketCount(64),
      _lastFound(nullptr) {
  size_t bytes = static_cast<size_t>(_bucketCount) * sizeof(BucketEntry*);
  _buckets = static_cast<BucketEntry**>(env->alloc(bytes));
  std::memset(static_cast<void*>(_buckets), 0, bytes);
}

QroExtractableTypeIndex::~QroExtractableTypeIndex() {
  freeNodes();
  _env->free(_buckets, static_cast<size_t>(_bucketCount) * sizeof(BucketEntry*));
  _pending.end();
}

void QroExtractableTypeIndex::freeNodes() {
  for (QroInt b = 0; b < _bucketCount; ++b) {
    BucketEntry* e = _buckets[b];
    while (e) {
      BucketEntry* next = e->next;
      e->node->members.end();
      _env->free(e->node, sizeof(Node));
      _env->free(e, sizeof(BucketEntry));
      e = next;
    }
    _buckets[b] = nullptr;
  }
  _lastFound = nullptr;
}

QroExtractableTypeIndex::Node* QroExtractableTypeIndex::findNode(QroTypeInfo token) const {
  if (_lastFound && _lastFound->token == token) return _lastFound;
  QroUInt b = ((reinterpret_cast<uintptr_t>(token) & 0xFFFFFFFFu) >> 3) &
              static_cast<QroUInt>(_bucketCount - 1);
  for (BucketEntry* e = _buckets[b]; e; e = e->next) {
    if (e->token == token) {
      _lastFound = e->node;
      return e->node;
    }
  }
  return nullptr;
}

QroExtractableTypeIndex::Node* QroExtractableTypeIndex::getNode(QroTypeInfo token) {
  Node* n = findNode(token);
  if (n) return n;
  Node* parent = nullptr;
  if (token != QroExtractableI::GetTypeInfo() && QroParentTypeInfo(token))
    parent = getNode(QroParentTypeInfo(token));
  n = new (_env->alloc(sizeof(Node))) Node{token, parent, nullptr, nullptr, QroExtractableArray()};
  try {
    n->members = QroExtractableArray(QroEnv(_env), 0);
  } catch (...) {
    _env->free(n, sizeof(Node));
    throw;
  }
  if (parent) {
    Node** link = &parent->firstChild;
    while (*link) link = &(*link)->nextSibling;
    *link = n;
  }
  BucketEntry* e = static_cast<BucketEntry*>(_env->alloc(sizeof(BucketEntry)));
  QroUInt b = ((reinterpret_cast<uintptr_t>(token) & 0xFFFFFFFFu) >> 3) &
              static_cast<QroUInt>(_bucketCount - 1);
  e->token = token;
  e->node = n;
  e->next = _buckets[b];
  _buckets[b] = e;
  return n;
}

void QroExtractableTypeIndex::registered(QroExtractableI* x) {
  if (!_rebuild) _pending.add(x);
}

namespace {
void removeFrom(QroExtractableArray& a, QroExtractableI* x) {
  for (QroInt i = 0; i < a.getSize(); ++i) {
    if (a[i] == x) {
      a.remove(i, 1);
      return;
    }
  }
}
}  // namespace

void QroExtractableTypeIndex::unregistered(QroExtractableI* x) {
  removeFrom(_pending, x);
  if (_rebuild) return;
  Node* n = findNode(x->getTypeInfo());
  if (n) removeFrom(n->members, x);
}

void QroExtractableTypeIndex::place(QroExtractableI* x) {
  getNode(x->getTypeInfo())->members.add(x);
}

void QroExtractableTypeIndex::fold() {
  for (QroInt i = 0; i < _pending.getSize(); ++i) place(_pending[i]);
  _pending.getImpl()->setSize(0);
}

void QroExtractableTypeIndex::rebuild() {
  freeNodes();
  _pending.getImpl()->setSize(0);
  for (QroInt id = 0; id < _env->getIdCount(); ++id) {
    QroExtractableI* x = _env->getLiveSlot(id);
    if (x) place(x);
  }
  _rebuild = 0;
}

void QroExtractableTypeIndex::collectFrom(Node* n, QroExtractableArray& out) {
  for (QroInt i = 0; i < n->members.getSize(); ++i) out.add(n->members[i]);
  for (Node* c = n->firstChild; c; c = c->nextSibling) collectFrom(c, out);
}

void QroExtractableTypeIndex::collect(QroTypeInfo token, QroExtractableArray& out) {
  QroLocalEnvI* local = _env->getLocalEnv();
  _env->setLocalEnv(nullptr);
  try {
    if (_rebuild)
      rebuild();
    else
      fold();
    Node* n = findNode(token);
    if (n) collectFrom(n, out);
  } catch (...) {
    _env->setLocalEnv(local);
    throw;
  }
  _env->setLocalEnv(local);
}
