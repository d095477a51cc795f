#include <cstring>
#include <istream>
#include <sstream>

#include "qroxmlser.h"

namespace {

// Truncates toward zero; values beyond the 64-bit range are clamped.
QroInt clampToInt(double v) {
  if (v != v) return 0;
  if (v >= 9223372036854775808.0) return INT64_MAX;
  if (v <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<QroInt>(v);
}

bool isBlank(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// The next character that is not a blank, taken from the stream (EOF at the end).
int nextNonBlank(std::istream& is) {
  int c = is.get();
  while (c != std::char_traits<char>::eof() && isBlank(c)) c = is.get();
  return c;
}

}  // namespace

std::istream& operator>>(std::istream& is, QroIntArray& array) {
  is >> std::ws;
  if (is.peek() != '[') return is;
  is.get();
  array.remove(0, array.getSize());
  int c = nextNonBlank(is);
  if (c == ']') return is;
  if (c != std::char_traits<char>::eof()) is.unget();
  for (;;) {
    double v = 0;
    if (!(is >> v)) {
      is.setstate(std::ios_base::badbit);
      return is;
    }
    array.add(clampToInt(v));
    c = nextNonBlank(is);
    if (c == ',') continue;
    if (c != ']' && c != ';') is.setstate(std::ios_base::badbit);
    return is;
  }
}

// ---------------------------------------------------------------------------
// Reader.

QroXmlReaderI::QroXmlReaderI(QroEnvI* env)
    : QroEnvObjectI(env),
      _objects(env),
      _subRead(env->getMemoryManager()),
      _readDepth(0),
      _run(nullptr) {}

QroXmlReaderI::~QroXmlReaderI() {}

void QroXmlReaderI::leaveRead() {
  if (--_readDepth == 0) _subRead.clear();
}

bool QroXmlReaderI::isSubRead(const QroXmlElementI* element) const {
  return _subRead.find(element) != nullptr;
}

void QroXmlReaderI::markSubRead(const QroXmlElementI* element) {
  _subRead.set(element, const_cast<QroXmlElementI*>(element));
}

QroXmlReader::QroXmlReader(const QroEnv& env) : _impl(nullptr) {
  QroEnvI* e = env.getImpl();
  if (!e) throw QroWrongUsage("QroXmlReader: using empty handle");
  _impl = new (e) QroXmlReaderI(e);
}

void QroXmlReader::ThrowEmpty() {
  throw QroWrongUsage("QroXmlReader: using empty handle");
}

// The object table ends first, so that what it throws reaches the caller.
void QroXmlReader::end() {
  QroXmlReaderI* reader = check();
  _impl = nullptr;
  std::exception_ptr failure;
  try {
    reader->getObjectHandler().end();
  } catch (...) {
    failure = std::current_exception();
  }
  delete reader;
  if (failure) std::rethrow_exception(failure);
}

QroEnv QroXmlReader::getEnv() const {
  return QroEnv(check()->getEnv());
}

void* QroXmlReader::getObjectById(QroInt id) const {
  return check()->getObjectHandler().getObjectById(id);
}

QroExtractableI* QroXmlReader::getExtractableById(QroInt id) const {
  return check()->getObjectHandler().getExtractableById(id);
}

void QroXmlReader::addLink2Obj(QroInt id, QroExtractableI* object) const {
  check()->getObjectHandler().addLink2Obj(id, object);
}

void QroXmlReader::addLink2Obj(QroInt id, void* object) const {
  check()->getObjectHandler().addLink2Obj(id, object);
}

const char* QroXmlReader::getAttributeValue(const QroXmlElementI* element, const char* name) const {
  check();
  if (!element || !name) return nullptr;
  QroXmlAttributeI* a = element->getAttribute(name);
  return a ? a->getValue() : nullptr;
}

const char* QroXmlReader::getText(const QroXmlElementI* element) const {
  check();
  if (!element) return nullptr;
  const char* text = element->getChildTextOfKind4();
  return text ? text : element->getText();
}

QroXmlElementI* QroXmlReader::getFirstChildElement(const QroXmlElementI* element) const {
  check();
  if (!element) return nullptr;
  QroXmlNodeIterator it(element->getChildIterator());
  while (it.hasNext()) {
    QroXmlNodeI* n = it.next();
    if (n && n->getKind() == QroXmlNodeI::ElementKind) return static_cast<QroXmlElementI*>(n);
  }
  return nullptr;
}

QroInt QroXmlReader::countChildElements(const QroXmlElementI* element) const {
  check();
  if (!element) return 0;
  QroInt count = 0;
  QroXmlNodeIterator it(element->getChildIterator());
  while (it.hasNext()) {
    QroXmlNodeI* n = it.next();
    if (n && n->getKind() == QroXmlNodeI::ElementKind) ++count;
  }
  return count;
}

QroXmlElementI* QroXmlReader::findElement(const QroXmlElementI* parent, const char* name) const {
  check();
  if (!parent || !name) return nullptr;
  QroXmlNodeIterator it(parent->getChildIterator());
  while (it.hasNext()) {
    QroXmlNodeI* n = it.next();
    if (!n || n->getKind() != QroXmlNodeI::ElementKind) continue;
    QroXmlElementI* e = static_cast<QroXmlElementI*>(n);
    const char* tag = e->getName();
    if (tag && std::strcmp(tag, name) == 0) return e;
  }
  return nullptr;
}

bool QroXmlReader::readIntAttribute(const QroXmlElementI* element, const char* name,
                                    QroInt& result) const {
  const char* value = getAttributeValue(element, name);
  if (!value) return false;
  result = parseInt(value);
  return true;
}

QroInt QroXmlReader::parseInt(const char* text) const {
  check();
  return QroXmlParseInt(text);
}

QroIntArray QroXmlReader::readIntArray(const char* text) const {
  QroEnvI* env = check()->getEnv();
  QroGenAlloc* a = env->getGeneralAllocator();
  QroIntArray array(new (a) QroArrayI(a, 0, 8));
  if (!text) return array;
  try {
    std::istringstream is(text);
    is >> array;
  } catch (...) {
    array.end();
    throw;
  }
  return array;
}

bool QroXmlReader::isObjectOfType(QroTypeInfo type, QroInt id) const {
  if (id < 0) return false;
  QroExtractableI* x = getExtractableById(id);
  return x && x->isType(type);
}
