#include <cstring>
#include <istream>
#include <sstream>

#include "qrochange.h"
#include "qroexpr.h"
#include "qroregistry.h"
#include "qroxmlser.h"

namespace {

const char kNegativeLink[] = "QroXmlObjectHandler::addLink2Obj : index is negative";
const char kTooLargeLink[] = "QroXmlObjectHandler::addLink2Obj : index is too large";
const char kNegativeGet[] = "QroXmlObjectHandler::getObjectById : index is negative";

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
// Object table.

QroXmlObjectHandler::QroXmlObjectHandler(QroEnvI* env)
    : _env(env),
      _objects(),
      _typed(),
      _held(),
      _holding(env->getMemoryManager()),
      _arrays(),
      _watch(this),
      _watching(false) {
  QroGenAlloc* a = env->getGeneralAllocator();
  try {
    _objects = QroArrayOf<void*>(new (a) QroArrayI(a, 0, 8));
    _typed = QroIntArray(new (a) QroArrayI(a, 0, 8));
    _held = QroArrayOf<void*>(new (a) QroArrayI(a, 0, 8));
    _arrays = QroArrayOf<void*>(new (a) QroArrayI(a, 0, 8));
  } catch (...) {
    end();
    throw;
  }
}

QroXmlObjectHandler::~QroXmlObjectHandler() {
  end();
}

void QroXmlObjectHandler::end() {
  giveBack();
  if (_arrays.getImpl()) {
    for (QroInt i = 0; i < _arrays.getSize(); ++i) delete static_cast<QroArrayI*>(_arrays[i]);
    _arrays.end();
  }
  if (_objects.getImpl()) _objects.end();
  if (_typed.getImpl()) _typed.end();
}

// Each expression still held is counted down once; what nothing else holds
// stays, with count 0, as a fresh expression does.
void QroXmlObjectHandler::giveBack() {
  if (_watching) {
    if (QroPlugInRegistry* registry = _env->getPlugInRegistry()) registry->removeListener(&_watch);
    _watching = false;
  }
  if (!_held.getImpl()) return;
  if (!_env->isEnding()) {
    for (QroInt i = 0; i < _held.getSize(); ++i) {
      void* x = _held[i];
      if (_holding.take(x)) static_cast<QroNumExprI*>(x)->decrUseCount();
    }
  }
  _holding.clear();
  _held.end();
}

void QroXmlObjectHandler::EndWatch::change(QroChange* change, QroExtractableI*) {
  QroPointerTable& holding = _handler->_holding;
  if (holding.isEmpty()) return;
  if (change->isType(QroDestroyExtractableArray::GetTypeInfo())) {
    QroExtractableArray ended = change->getChangedExtractableArray();
    for (QroInt i = 0; ended.getImpl() && i < ended.getSize(); ++i) holding.take(ended[i]);
  } else if (change->isType(QroDestroyExtractable::GetTypeInfo())) {
    holding.take(change->getChangedExtractable());
  }
}

QroInt QroXmlObjectHandler::getSize() const {
  return _objects.getImpl() ? _objects.getSize() : 0;
}

void QroXmlObjectHandler::checkId(QroInt id) {
  if (id < 0) throw QroWrongUsage(kNegativeLink);
  if (id > MaxId) throw QroWrongUsage(kTooLargeLink);
}

void QroXmlObjectHandler::link(QroInt id, void* object, QroInt typed) {
  if (id < 0) throw QroWrongUsage(kNegativeLink);
  if (!_objects.getImpl() || !_typed.getImpl()) throw QroEmptyHandleException();
  checkId(id);
  QroInt n = _objects.getSize();
  if (id >= n) {
    _objects.getImpl()->reserve(id + 1);
    _typed.getImpl()->reserve(id + 1);
    for (QroInt i = n; i <= id; ++i) {
      _objects.add(nullptr);
      _typed.add(0);
    }
  }
  _objects[id] = object;
  _typed[id] = typed;
}

void QroXmlObjectHandler::hold(QroNumExprI* x) {
  if (_holding.find(x)) return;
  if (!_watching) {
    _env->getPlugInRegistry()->addListener(&_watch);
    _watching = true;
  }
  _held.add(x);
  try {
    _holding.set(x, x);
  } catch (...) {
    _held.remove(_held.getSize() - 1);
    throw;
  }
  x->incrUseCount();
}

void QroXmlObjectHandler::addLink2Obj(QroInt id, QroExtractableI* object) {
  link(id, object, object ? 1 : 0);
  // A use-counted expression is not ended while a later reference may still
  // name it.
  if (object && object->isNumExprNode()) hold(static_cast<QroNumExprI*>(object));
}

void QroXmlObjectHandler::addLink2Obj(QroInt id, void* object) {
  link(id, object, 0);
}

void QroXmlObjectHandler::addLink2Array(QroInt id, QroArrayI* array) {
  if (!array) {
    link(id, nullptr, 0);
    return;
  }
  if (!_arrays.getImpl()) {
    delete array;
    throw QroEmptyHandleException();
  }
  try {
    _arrays.add(array);
  } catch (...) {
    delete array;
    throw;
  }
  link(id, array, 0);
}

void* QroXmlObjectHandler::getObjectById(QroInt id) const {
  if (id < 0) throw QroWrongUsage(kNegativeGet);
  if (!_objects.getImpl() || id >= _objects.getSize()) return nullptr;
  return _objects[id];
}

QroExtractableI* QroXmlObjectHandler::getExtractableById(QroInt id) const {
  void* p = getObjectById(id);
  if (!p || !_typed[id]) return nullptr;
  return static_cast<QroExtractableI*>(p);
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

void QroXmlReader::end() {
  delete check();
  _impl = nullptr;
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
