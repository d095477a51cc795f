#include <cstring>
#include <sstream>

#include "qroxmlwriterun.h"

QroXmlNotExtractable::~QroXmlNotExtractable() {}
QroXmlReadExtractable::~QroXmlReadExtractable() {}
QroXmlwriteSolution::~QroXmlwriteSolution() {}
QroXmlStrLen::~QroXmlStrLen() {}
QroXmlregisterTypeIndex::~QroXmlregisterTypeIndex() {}

// ---------------------------------------------------------------------------
// Object table.

QroXmlWriterI::QroXmlWriterI(QroEnvI* env)
    : QroEnvObjectI(env), _ids(nullptr), _lastId(0), _arrayKeys(nullptr), _run(nullptr) {
  QroGenAlloc* a = env->getGeneralAllocator();
  _ids = new (a) QroAddressHashTable<QroInt>(a, 61);
}

QroXmlWriterI::~QroXmlWriterI() {
  delete _ids;
  while (_arrayKeys) {
    void* key = _arrayKeys;
    _arrayKeys = *static_cast<void**>(key);
    _env->free(key, sizeof(void*));
  }
}

void QroXmlWriterI::flushWaiting() const {
  if (_run) QroXmlWriteRun::Flush(const_cast<QroXmlWriterI*>(this));
}

QroInt QroXmlWriterI::findId(const void* object) const {
  flushWaiting();
  return lookupId(object);
}

QroInt QroXmlWriterI::getId(const void* object) {
  flushWaiting();
  return assignId(object);
}

QroInt QroXmlWriterI::newArrayId() {
  flushWaiting();
  return assignArrayId();
}

QroInt QroXmlWriterI::getLastId() const {
  flushWaiting();
  return _lastId;
}

QroInt QroXmlWriterI::lookupId(const void* object) const {
  QroInt id = -1;
  if (_ids->find(const_cast<void*>(object), id) != 0) return -1;
  return id;
}

// During a write the key is noted, so that a failed write can take it back.
QroInt QroXmlWriterI::assignId(const void* object) {
  QroInt id = lookupId(object);
  if (id >= 0) return id;
  if (_run) _run->given(object);
  try {
    _ids->add(const_cast<void*>(object), _lastId + 1);
  } catch (...) {
    if (_run) _run->_given.pop_back();
    throw;
  }
  return ++_lastId;
}

QroInt QroXmlWriterI::assignArrayId() {
  void** key = static_cast<void**>(_env->alloc(sizeof(void*)));
  *key = _arrayKeys;
  _arrayKeys = key;
  return assignId(key);
}

// ---------------------------------------------------------------------------
// Handle.

QroXmlWriter::QroXmlWriter(const QroEnv& env) : _impl(nullptr) {
  QroEnvI* e = env.getImpl();
  if (!e) throw QroWrongUsage("QroXmlWriter: using empty handle");
  _impl = new (e) QroXmlWriterI(e);
}

void QroXmlWriter::ThrowEmpty() {
  throw QroWrongUsage("QroXmlWriter: using empty handle");
}

void QroXmlWriter::end() {
  delete check();
  _impl = nullptr;
}

QroXmlElementI* QroXmlWriter::createElement(const char* tag) const {
  check();
  return new QroXmlElement(tag);
}

void QroXmlWriter::addAttribute(QroXmlElementI* element, const char* name,
                                const char* value) const {
  check();
  if (element) element->addAttribute(new QroXmlAttribute(name, value));
}

void QroXmlWriter::addText(QroXmlElementI* element, const char* text) const {
  check();
  if (element) element->addChild(new QroXmlText(text));
}

void QroXmlWriter::addSubElement(QroXmlElementI* parent, QroXmlNodeI* node) const {
  check();
  if (parent)
    parent->addChild(node);
  else
    delete node;
}

char* QroXmlWriter::toString(QroInt value) const {
  check();
  if (value == QroXmlIntInfinity) return QroXmlCopyText(QroXmlVocabulary[QroXmlInfinityText]);
  if (value == -QroXmlIntInfinity) return QroXmlCopyText(QroXmlVocabulary[QroXmlMinusInfinityText]);
  std::ostringstream os;
  os << value;
  return QroCopyStreamText(os);
}

char* QroXmlWriter::toString(const QroIntArray& array) const {
  check();
  std::ostringstream os;
  os << array;
  return QroCopyStreamText(os);
}

void QroXmlWriter::freeString(char* text) const {
  check();
  delete[] text;
}
