#include <cstring>
#include <sstream>

#include "qroxmlser.h"

QroXmlNotExtractable::~QroXmlNotExtractable() {}
QroXmlReadExtractable::~QroXmlReadExtractable() {}
QroXmlwriteSolution::~QroXmlwriteSolution() {}
QroXmlStrLen::~QroXmlStrLen() {}
QroXmlregisterTypeIndex::~QroXmlregisterTypeIndex() {}

// ---------------------------------------------------------------------------
// Object table.

QroXmlWriterI::QroXmlWriterI(QroEnvI* env)
    : QroEnvObjectI(env), _ids(nullptr), _lastId(0), _arrayKeys(nullptr) {
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

QroInt QroXmlWriterI::findId(const void* object) const {
  QroInt id = -1;
  if (_ids->find(const_cast<void*>(object), id) != 0) return -1;
  return id;
}

QroInt QroXmlWriterI::getId(const void* object) {
  QroInt id = findId(object);
  if (id >= 0) return id;
  _ids->add(const_cast<void*>(object), _lastId + 1);
  return ++_lastId;
}

QroInt QroXmlWriterI::newArrayId() {
  void** key = static_cast<void**>(_env->alloc(sizeof(void*)));
  *key = _arrayKeys;
  _arrayKeys = key;
  return getId(key);
}

// ---------------------------------------------------------------------------
// Handle.

QroXmlWriter::QroXmlWriter(const QroEnv& env) : _impl(nullptr) {
  QroEnvI* e = env.getImpl();
  if (!e) throw QroWrongUsage("QroXmlWriter: using empty handle");
  _impl = new (e) QroXmlWriterI(e);
}

QroXmlWriterI* QroXmlWriter::check() const {
  if (!_impl) throw QroWrongUsage("QroXmlWriter: using empty handle");
  return _impl;
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
