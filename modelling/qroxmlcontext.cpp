#include <cstring>

#include "qroregistry.h"
#include "qroxmlser.h"

const char* const QroXmlContextI::PlugInName = "XMLCONTEXT";

QroXmlContextI::QroXmlContextI(QroEnvI* env)
    : QroPlugIn(env),
      _unhandled(0),
      _handlers(),
      _unreadTags(),
      _unreadIds(),
      _firstUnwritable(nullptr),
      _tags(nullptr),
      _objectTags(nullptr),
      _owned() {
  QroGenAlloc* a = env->getGeneralAllocator();
  try {
    _handlers = QroArrayOf<QroXmlInfo*>(new (a) QroArrayI(a, 0, 8));
    _unreadTags = QroArrayOf<const char*>(new (a) QroArrayI(a, 0, 8));
    _unreadIds = QroIntArray(new (a) QroArrayI(a, 0, 8));
    _owned = QroArrayOf<QroXmlInfo*>(new (a) QroArrayI(a, 0, 8));
    _tags = new (a) TagTable(a, 61, &HashKey, &SameKey);
    _objectTags = new (a) TagTable(a, 7, &HashKey, &SameKey);
    // Arrays written by the array writers are read back through these.
    QroXmlInfo* h = new (env) QroXmlInfo_IntVarArray(this);
    adopt(h);
    insertTag(_objectTags, h);
    h = new (env) QroXmlInfo_IntExprArray(this);
    adopt(h);
    insertTag(_objectTags, h);
  } catch (...) {
    release();
    throw;
  }
}

QroXmlContextI::~QroXmlContextI() {
  release();
}

void QroXmlContextI::release() {
  if (_owned.getImpl()) {
    for (QroInt i = 0; i < _owned.getSize(); ++i) delete _owned[i];
    _owned.end();
  }
  QroEnvI* env = _env;
  TagTable* tables[2] = {_tags, _objectTags};
  for (TagTable* t : tables) {
    if (!t) continue;
    t->forEach([env](QroXmlTagKey* key, QroXmlInfo*) { env->free(key, sizeof(QroXmlTagKey)); });
    delete t;
  }
  _tags = _objectTags = nullptr;
  if (_handlers.getImpl()) _handlers.end();
  if (_unreadTags.getImpl()) _unreadTags.end();
  if (_unreadIds.getImpl()) _unreadIds.end();
  delete[] _firstUnwritable;
  _firstUnwritable = nullptr;
}

QroXmlContextI* QroXmlContextI::Make(QroEnvI* env) {
  QroXmlContextI* c = new (env) QroXmlContextI(env);
  QroPlugInRegistry* registry = env->getPlugInRegistry();
  try {
    registry->addPlugIn(c, PlugInName);
  } catch (...) {
    // Once linked, the registry owns the context even when an add-on failed.
    bool linked = false;
    for (QroPlugIn* p = registry->getFirstPlugIn(PlugInName); p; p = p->getNext())
      if (p == c) linked = true;
    if (!linked) delete c;
    throw;
  }
  return c;
}

// ---------------------------------------------------------------------------
// Registration.

QroInt QroXmlContextI::HashKey(QroXmlTagKey* key, QroInt n) {
  return QroHashString(key->tag, n);
}

bool QroXmlContextI::SameKey(QroXmlTagKey* stored, QroXmlTagKey* key) {
  return stored->env == key->env && std::strcmp(stored->tag, key->tag) == 0;
}

void QroXmlContextI::fillKey(QroXmlTagKey& key, const char* tag) const {
  if (!tag) tag = "";
  std::size_t n = strnlen(tag, sizeof(key.tag));
  // The key holds the tag with its terminator.
  if (n >= sizeof(key.tag)) throw new QroXmlStrLen();
  std::memcpy(key.tag, tag, n + 1);
  key.env = _env;
}

void QroXmlContextI::adopt(QroXmlInfo* h) {
  for (QroInt i = 0; i < _owned.getSize(); ++i)
    if (_owned[i] == h) return;
  try {
    _owned.add(h);
  } catch (...) {
    delete h;
    throw;
  }
}

void QroXmlContextI::insertTag(TagTable* table, QroXmlInfo* h) {
  QroXmlTagKey probe;
  fillKey(probe, h->getTagName());
  QroXmlInfo* found = nullptr;
  if (table->find(&probe, found) == 0) throw QroXmlregisterTypeIndex();
  QroXmlTagKey* key = static_cast<QroXmlTagKey*>(_env->alloc(sizeof(QroXmlTagKey)));
  std::memcpy(key->tag, probe.tag, std::strlen(probe.tag) + 1);
  key->env = probe.env;
  try {
    table->add(key, h);
  } catch (...) {
    _env->free(key, sizeof(QroXmlTagKey));
    throw;
  }
}

void QroXmlContextI::registerXmlInfo(QroInt typeIndex, QroXmlInfo* h) {
  if (!h) return;
  adopt(h);
  if (typeIndex < 0) throw QroWrongUsage("QroXmlContext::registerXmlInfo : type index is negative");
  QroInt n = _handlers.getSize();
  if (n < typeIndex + 1) {
    _handlers.getImpl()->reserve(typeIndex + 1);
    for (QroInt i = n; i <= typeIndex; ++i) _handlers.add(nullptr);
  }
  _handlers[typeIndex] = h;
  insertTag(_tags, h);
}

QroXmlInfo* QroXmlContextI::getXmlInfo(QroInt typeIndex) const {
  if (typeIndex < 0 || typeIndex >= _handlers.getSize()) return nullptr;
  return _handlers[typeIndex];
}

QroXmlInfo* QroXmlContextI::findIn(const TagTable* table, const char* tag) const {
  QroXmlTagKey probe;
  fillKey(probe, tag);
  QroXmlInfo* h = nullptr;
  if (table->find(&probe, h) != 0) return nullptr;
  return h;
}

QroXmlInfo* QroXmlContextI::findXmlInfo(const char* tag) const {
  return findIn(_tags, tag);
}

QroXmlInfo* QroXmlContextI::findObjectXmlInfo(const char* tag) const {
  return findIn(_objectTags, tag);
}

// ---------------------------------------------------------------------------
// Handle.

QroXmlContextI* QroXmlContext::getImpl() const {
  if (!_impl) throw QroWrongUsage("QroXmlContext: using empty handle");
  return _impl;
}
