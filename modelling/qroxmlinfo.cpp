#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "qroxmlwriterun.h"

namespace {

// Storage header of a handler: where its block goes back to.
struct InfoHeader {
  QroEnvI* env;
  std::size_t size;
};

// Deletes an element not yet handed to a parent.
class ElementHolder {
 public:
  explicit ElementHolder(QroXmlElementI* e) : _e(e) {}
  ~ElementHolder() { delete _e; }
  ElementHolder(const ElementHolder&) = delete;
  ElementHolder& operator=(const ElementHolder&) = delete;
  QroXmlElementI* get() const { return _e; }
  QroXmlElementI* release() {
    QroXmlElementI* e = _e;
    _e = nullptr;
    return e;
  }

 private:
  QroXmlElementI* _e;
};

bool isExtractable(const QroRtti* object) {
  return object && object->isType(QroExtractableI::GetTypeInfo());
}

// "RefId" with the object's identifier, given now when it has none.
bool addRefId(QroXmlWriter writer, const QroRtti* object, QroXmlElementI* element) {
  QroInt id = writer.getImpl()->getId(object);
  std::unique_ptr<char[]> text(writer.toString(id));
  writer.addAttribute(element, QroXmlVocabulary[QroXmlRefIdName], text.get());
  return true;
}

// The entries of an array (none for an empty handle).
std::vector<const QroRtti*> entriesOf(const QroIntVarArray& array) {
  std::vector<const QroRtti*> entries;
  QroInt n = array.getImpl() ? array.getSize() : 0;
  entries.reserve(static_cast<std::size_t>(n));
  for (QroInt i = 0; i < n; ++i) entries.push_back(array[i].getImpl());
  return entries;
}

std::vector<const QroRtti*> entriesOf(const QroIntExprArray& array) {
  std::vector<const QroRtti*> entries;
  QroInt n = array.getImpl() ? array.getSize() : 0;
  entries.reserve(static_cast<std::size_t>(n));
  for (QroInt i = 0; i < n; ++i) entries.push_back(array[i]);
  return entries;
}

// Collects the children of an array element as entries of a new array in the
// environment; null when a child is not an object of that type already read.
template <class T, class Convert>
void* readArrayElement(const QroXmlInfo& handler, QroXmlReader reader,
                       const QroXmlElementI* element, QroTypeInfo type, Convert convert) {
  QroXmlContextI* context = handler.getContext();
  if (!context) throw QroWrongUsage("QroXmlContext: using empty handle");
  if (!element) return nullptr;
  QroGenAlloc* a = context->getEnv()->getGeneralAllocator();
  QroArrayOf<T> array(new (a) QroArrayI(a, 0, 8));
  try {
    QroXmlNodeIterator it(element->getChildIterator());
    while (it.hasNext()) {
      QroXmlNodeI* n = it.next();
      if (!n || n->getKind() != QroXmlNodeI::ElementKind) continue;
      QroInt id = -1;
      if (!handler.isAlreadyRead(reader, static_cast<QroXmlElementI*>(n), id) ||
          !reader.isObjectOfType(type, id)) {
        array.end();
        return nullptr;
      }
      array.add(convert(reader.getExtractableById(id)));
    }
  } catch (...) {
    array.end();
    throw;
  }
  return array.getImpl();
}

}  // namespace

QroInt QroXmlParseInt(const char* text) {
  if (!text) return 0;
  if (std::strcmp(text, QroXmlVocabulary[QroXmlMinusInfinityText]) == 0) return -QroXmlIntInfinity;
  if (std::strcmp(text, QroXmlVocabulary[QroXmlInfinityText]) == 0) return QroXmlIntInfinity;
  const char* p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  // Accumulates toward the sign so that the lowest value is reachable.
  QroInt v = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    int d = *p - '0';
    if (negative) {
      if (v < (INT64_MIN + d) / 10) return INT64_MIN;
      v = v * 10 - d;
    } else {
      if (v > (INT64_MAX - d) / 10) return INT64_MAX;
      v = v * 10 + d;
    }
  }
  return v;
}

// ---------------------------------------------------------------------------
// Storage.

void* QroXmlInfo::operator new(std::size_t size) {
  void* p = ::operator new(size + sizeof(InfoHeader), std::nothrow);
  if (!p) throw QroMemoryException();
  InfoHeader* h = static_cast<InfoHeader*>(p);
  h->env = nullptr;
  h->size = size;
  return h + 1;
}

void* QroXmlInfo::operator new(std::size_t size, QroEnvI* env) {
  if (!env) return operator new(size);
  InfoHeader* h = static_cast<InfoHeader*>(env->alloc(size + sizeof(InfoHeader)));
  h->env = env;
  h->size = size;
  return h + 1;
}

void QroXmlInfo::operator delete(void* p) noexcept {
  if (!p) return;
  InfoHeader* h = static_cast<InfoHeader*>(p) - 1;
  if (h->env)
    h->env->free(h, h->size + sizeof(InfoHeader));
  else
    ::operator delete(h);
}

void QroXmlInfo::operator delete(void* p, QroEnvI*) noexcept {
  operator delete(p);
}

// ---------------------------------------------------------------------------
// Base handler.

QroXmlInfo::QroXmlInfo(QroXmlContextI* context, const char* tag)
    : _tag(QroXmlCopyText(tag)), _context(context) {}

QroXmlInfo::~QroXmlInfo() {
  delete[] _tag;
}

QroXmlContextI* QroXmlInfo::checkContext() const {
  if (!_context) throw QroWrongUsage("QroXmlContext: using empty handle");
  return _context;
}

const char* QroXmlInfo::getTagName() const {
  return _tag ? _tag : QroXmlVocabulary[QroXmlExtractableTag];
}

QroXmlElementI* QroXmlInfo::makeElement(QroXmlWriter writer, const QroRtti*) {
  return writer.createElement(getTagName());
}

bool QroXmlInfo::writeContent(QroXmlWriter writer, const QroRtti* object, QroXmlElementI* element) {
  return writeBody(writer, object, element);
}

bool QroXmlInfo::writeBody(QroXmlWriter, const QroRtti*, QroXmlElementI*) {
  return false;
}

bool QroXmlInfo::write(QroXmlWriter writer, const QroRtti* object, QroXmlElementI* element) {
  if (!isExtractable(object)) throw QroXmlNotExtractable();
  return writeContent(writer, object, element);
}

bool QroXmlInfo::writeReference(QroXmlWriter writer, const QroRtti* object,
                                QroXmlElementI* element) {
  if (isExtractable(object)) return writeRefId(writer, object, element);
  return addRefId(writer, object, element);
}

bool QroXmlInfo::writeRefId(QroXmlWriter writer, const QroRtti* object, QroXmlElementI* element) {
  return addRefId(writer, object, element);
}

QroExtractableI* QroXmlInfo::read(QroXmlReader reader, const QroXmlElementI* element) {
  return readExtractable(reader, element);
}

QroExtractableI* QroXmlInfo::readExtractable(QroXmlReader, const QroXmlElementI*) {
  throw QroXmlReadExtractable();
}

bool QroXmlInfo::readSubElements(QroXmlReader reader, const QroXmlElementI* element) const {
  return checkContext()->readSubElements(reader, element);
}

QroExtractableI* QroXmlInfo::readWithSubElements(QroXmlReader reader,
                                                 const QroXmlElementI* element) {
  if (!readSubElements(reader, element)) return nullptr;
  return read(reader, element);
}

QroExtractableI* QroXmlInfo::readElement(QroXmlReader reader, const QroXmlElementI* element) {
  return readWithSubElements(reader, element);
}

void* QroXmlInfo::readObjectWithSubElements(QroXmlReader reader, const QroXmlElementI* element) {
  if (!readSubElements(reader, element)) return nullptr;
  return readObject(reader, element);
}

bool QroXmlInfo::writeValueOfExtractable(QroXmlWriter, QroXmlElementI*, const QroRtti* object) {
  if (!isExtractable(object)) throw QroXmlNotExtractable();
  return false;
}

void* QroXmlInfo::readObject(QroXmlReader, const QroXmlElementI*) {
  return nullptr;
}

bool QroXmlInfo::writeSolution(QroXmlWriter, const QroSolutionElementI*, QroXmlElementI*) {
  throw QroXmlwriteSolution();
}

// ---------------------------------------------------------------------------
// Helpers.

QroXmlElementI* QroXmlInfo::writeIntArray(QroXmlWriter writer, const QroIntArray& array) const {
  ElementHolder element(writer.createElement(QroXmlVocabulary[QroXmlIntArrayTag]));
  std::unique_ptr<char[]> text(writer.toString(array));
  writer.addText(element.get(), text.get());
  return element.release();
}

bool QroXmlInfo::readIntArray(QroXmlReader reader, const QroXmlElementI* element,
                              QroIntArray& array) const {
  QroXmlElementI* child = reader.findElement(element, QroXmlVocabulary[QroXmlIntArrayTag]);
  if (!child) return false;
  const char* text = reader.getText(child);
  if (!text) return false;
  if (!array.getImpl()) throw QroEmptyHandleException();
  QroIntArray values = reader.readIntArray(text);
  try {
    array.add(values);
  } catch (...) {
    values.end();
    throw;
  }
  values.end();
  return true;
}

bool QroXmlInfo::hasAttribute(QroXmlReader reader, const QroXmlElementI* element,
                              const char* name) const {
  return reader.getAttributeValue(element, name) != nullptr;
}

bool QroXmlInfo::isAlreadyRead(QroXmlReader reader, const QroXmlElementI* element,
                               QroInt& id) const {
  for (int step = 0; step < 2 && element; ++step) {
    const char* value = reader.getAttributeValue(element, QroXmlVocabulary[QroXmlIdName]);
    if (!value) value = reader.getAttributeValue(element, QroXmlVocabulary[QroXmlRefIdName]);
    if (value) {
      id = reader.parseInt(value);
      if (id >= 0 && reader.getObjectById(id)) return true;
    }
    element = reader.getFirstChildElement(element);
  }
  return false;
}

bool QroXmlInfo::writeIntVarArray(QroXmlWriter writer, QroXmlElementI* parent,
                                  const QroIntVarArray& array) const {
  QroXmlInfo_IntVarArray handler(checkContext());
  return QroXmlWriteRun::SubArray(handler.getContext(), writer.getImpl(), handler, parent,
                                  entriesOf(array));
}

bool QroXmlInfo::writeIntExprArray(QroXmlWriter writer, QroXmlElementI* parent,
                                   const QroIntExprArray& array) const {
  QroXmlInfo_IntExprArray handler(checkContext());
  return QroXmlWriteRun::SubArray(handler.getContext(), writer.getImpl(), handler, parent,
                                  entriesOf(array));
}

// ---------------------------------------------------------------------------
// Array handlers.

QroXmlInfo_IntVarArray::~QroXmlInfo_IntVarArray() {}

const char* QroXmlInfo_IntVarArray::getTagName() const {
  return QroXmlVocabulary[QroXmlIntVarArrayTag];
}

void* QroXmlInfo_IntVarArray::readObject(QroXmlReader reader, const QroXmlElementI* element) {
  return readArrayElement<QroNumVar>(
      *this, reader, element, QroNumVarI::GetTypeInfo(),
      [](QroExtractableI* x) { return QroNumVar(static_cast<QroNumVarI*>(x)); });
}

QroInt QroXmlInfo_IntVarArray::writeTyped(QroXmlWriter writer, const QroIntVarArray& array,
                                          QroXmlElementI* parent) const {
  QroXmlContextI* context = checkContext();
  return QroXmlWriteRun::WriteArray(context, writer.getImpl(),
                                    const_cast<QroXmlInfo_IntVarArray&>(*this), parent,
                                    entriesOf(array));
}

QroXmlInfo_IntExprArray::~QroXmlInfo_IntExprArray() {}

const char* QroXmlInfo_IntExprArray::getTagName() const {
  return QroXmlVocabulary[QroXmlIntExprArrayTag];
}

void* QroXmlInfo_IntExprArray::readObject(QroXmlReader reader, const QroXmlElementI* element) {
  return readArrayElement<QroIntExprI*>(
      *this, reader, element, QroIntExprI::GetTypeInfo(),
      [](QroExtractableI* x) { return static_cast<QroIntExprI*>(x); });
}

QroInt QroXmlInfo_IntExprArray::writeTyped(QroXmlWriter writer, const QroIntExprArray& array,
                                           QroXmlElementI* parent) const {
  QroXmlContextI* context = checkContext();
  return QroXmlWriteRun::WriteArray(context, writer.getImpl(),
                                    const_cast<QroXmlInfo_IntExprArray&>(*this), parent,
                                    entriesOf(array));
}
