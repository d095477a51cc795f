#include <cstring>
#include <new>
#include <typeinfo>

#include "qroexception.h"
#include "qroxml.h"

namespace {

void* allocateOrThrow(std::size_t size) {
  void* p = ::operator new(size, std::nothrow);
  if (!p) throw QroMemoryException();
  return p;
}

// A copy for the copying setters: null stays null, "" becomes null.
char* copyForSetter(const char* text) {
  return (text && *text) ? QroXmlCopyText(text) : nullptr;
}

}  // namespace

char* QroXmlCopyText(const char* text) {
  if (!text) return nullptr;
  std::size_t n = std::strlen(text) + 1;
  char* copy = new (std::nothrow) char[n];
  if (!copy) throw QroMemoryException();
  std::memcpy(copy, text, n);
  return copy;
}

// ---------------------------------------------------------------------------
// Nodes.

QroXmlNodeI::~QroXmlNodeI() {}

void* QroXmlNodeI::operator new(std::size_t size) {
  return allocateOrThrow(size);
}

void QroXmlNodeI::operator delete(void* p) noexcept {
  ::operator delete(p, std::nothrow);
}

QroXmlAttributeI::~QroXmlAttributeI() {}

void QroXmlAttributeI::setName(const char* name) {
  if (name) setNameOwned(copyForSetter(name));
}

void QroXmlAttributeI::setValue(const char* value) {
  if (value) setValueOwned(copyForSetter(value));
}

QroXmlAttribute::QroXmlAttribute(const char* name, const char* value)
    : _name(QroXmlCopyText(name)), _value(nullptr) {
  try {
    _value = QroXmlCopyText(value);
  } catch (...) {
    delete[] _name;
    throw;
  }
}

QroXmlAttribute::~QroXmlAttribute() {
  delete[] _name;
  delete[] _value;
}

void QroXmlAttribute::setNameOwned(char* name) {
  if (name == _name) return;
  delete[] _name;
  _name = name;
}

void QroXmlAttribute::setValueOwned(char* value) {
  if (value == _value) return;
  delete[] _value;
  _value = value;
}

QroXmlTextI::~QroXmlTextI() {}

void QroXmlTextI::setText(const char* text) {
  if (text) setTextOwned(copyForSetter(text));
}

void QroXmlTextI::appendText(const char* t) {
  const char* held = getText();
  if (!held) {
    setText(t);
    return;
  }
  if (!t || !*t) return;
  std::size_t a = std::strlen(held);
  std::size_t b = std::strlen(t);
  char* joined = new (std::nothrow) char[a + b + 1];
  if (!joined) throw QroMemoryException();
  std::memcpy(joined, held, a);
  std::memcpy(joined + a, t, b + 1);
  setTextOwned(joined);
}

QroXmlText::QroXmlText(const char* text) : _text(QroXmlCopyText(text)) {}

QroXmlText::~QroXmlText() {
  delete[] _text;
}

void QroXmlText::setTextOwned(char* text) {
  if (text == _text) return;
  delete[] _text;
  _text = text;
}

QroXmlAttributeSource::~QroXmlAttributeSource() {}

// ---------------------------------------------------------------------------
// The element interface: holds nothing and discards what it is handed.

QroXmlElementI::~QroXmlElementI() {}

const char* QroXmlElementI::getName() const {
  return nullptr;
}

void QroXmlElementI::setName(const char* name) {
  if (name) setNameOwned(copyForSetter(name));
}

void QroXmlElementI::setNameOwned(char* name) {
  delete[] name;
}

bool QroXmlElementI::insertChildAfter(QroXmlNodeI* node, const QroXmlNodeI*) {
  delete node;
  return false;
}

void QroXmlElementI::addChild(QroXmlNodeI* node) {
  delete node;
}

QroXmlAttributeI* QroXmlElementI::addAttributeFrom(QroXmlAttributeSource* source) {
  if (!source) return nullptr;
  QroXmlAttributeI* attribute = source->makeAttribute(this);
  if (!attribute) return nullptr;
  try {
    source->fillAttribute(this, attribute);
  } catch (...) {
    delete attribute;
    throw;
  }
  addAttribute(attribute);
  return attribute;
}

void QroXmlElementI::addAttribute(QroXmlAttributeI* attribute) {
  delete attribute;
}

QroXmlAttributeI* QroXmlElementI::getAttribute(const char* name) const {
  if (!name) return nullptr;
  QroXmlNodeIterator it(getAttributeIterator());
  while (it.hasNext()) {
    QroXmlNodeI* node = it.next();
    if (!node || node->getKind() != AttributeKind) continue;
    QroXmlAttributeI* attribute = static_cast<QroXmlAttributeI*>(node);
    const char* n = attribute->getName();
    if (n && std::strcmp(n, name) == 0) return attribute;
  }
  return nullptr;
}

bool QroXmlElementI::getFlag() const {
  return false;
}

void QroXmlElementI::setFlag(bool) {}

const char* QroXmlElementI::getText() const {
  return nullptr;
}

const char* QroXmlElementI::getChildTextOfKind4() const {
  return nullptr;
}

const char* QroXmlElementI::getChildTextOfKind3() const {
  return nullptr;
}

QroXmlNodeIteratorI* QroXmlElementI::getChildIterator() const {
  return nullptr;
}

QroXmlNodeIteratorI* QroXmlElementI::getAttributeIterator() const {
  return nullptr;
}

// ---------------------------------------------------------------------------
// Elements.

QroXmlElement::QroXmlElement(const char* name) : _name(QroXmlCopyText(name)), _flag(0) {}

QroXmlElement::~QroXmlElement() {
  delete[] _name;
  _name = nullptr;
  for (QroXmlListNode* n = _attributes.getHead(); n; n = n->_next)
    delete static_cast<QroXmlNodeI*>(n->_element);
  _attributes.clear();
  // A child element of this type hands its children over before it goes, so
  // that they are deleted here, next, instead of by its own destructor.
  while (_children.getHead()) {
    QroXmlNodeI* child = static_cast<QroXmlNodeI*>(_children.removeFirst());
    if (child && typeid(*child) == typeid(QroXmlElement))
      _children.prependAll(static_cast<QroXmlElement*>(child)->_children);
    delete child;
  }
}

void QroXmlElement::setNameOwned(char* name) {
  if (name == _name) return;
  delete[] _name;
  _name = name;
}

bool QroXmlElement::insertChildAfter(QroXmlNodeI* node, const QroXmlNodeI* existing) {
  if (!node) return false;
  int32_t at = existing ? _children.find(existing) : -1;
  if (at < 0) {
    delete node;
    return false;
  }
  try {
    _children.insert(node, at + 1);
  } catch (...) {
    delete node;
    throw;
  }
  return true;
}

void QroXmlElement::addChild(QroXmlNodeI* node) {
  if (!node) return;
  try {
    _children.append(node);
  } catch (...) {
    delete node;
    throw;
  }
}

void QroXmlElement::addAttribute(QroXmlAttributeI* attribute) {
  if (!attribute) return;
  try {
    _attributes.append(attribute);
  } catch (...) {
    delete attribute;
    throw;
  }
}

QroXmlAttributeI* QroXmlElement::getAttribute(const char* name) const {
  if (!name) return nullptr;
  for (QroXmlListNode* n = _attributes.getHead(); n; n = n->_next) {
    QroXmlAttributeI* attribute = static_cast<QroXmlAttributeI*>(n->_element);
    const char* an = attribute->getName();
    if (an && std::strcmp(an, name) == 0) return attribute;
  }
  return nullptr;
}

const char* QroXmlElement::childTextOfKind(int kind) const {
  for (QroXmlListNode* n = _children.getHead(); n; n = n->_next) {
    QroXmlNodeI* node = static_cast<QroXmlNodeI*>(n->_element);
    if (node->getKind() != kind) continue;
    // Only text nodes carry text; a node of the kind that is not one has none.
    const QroXmlTextI* text = dynamic_cast<const QroXmlTextI*>(node);
    return text ? text->getText() : nullptr;
  }
  return nullptr;
}

const char* QroXmlElement::getText() const {
  return childTextOfKind(TextKind);
}

const char* QroXmlElement::getChildTextOfKind4() const {
  return childTextOfKind(4);
}

const char* QroXmlElement::getChildTextOfKind3() const {
  return childTextOfKind(3);
}

QroXmlNodeIteratorI* QroXmlElement::getChildIterator() const {
  return new QroXmlNodeListIterator(&_children);
}

QroXmlNodeIteratorI* QroXmlElement::getAttributeIterator() const {
  return new QroXmlNodeListIterator(&_attributes);
}

// ---------------------------------------------------------------------------
// Iterators.

QroXmlNodeIteratorI::~QroXmlNodeIteratorI() {}

void* QroXmlNodeIteratorI::operator new(std::size_t size) {
  return allocateOrThrow(size);
}

void QroXmlNodeIteratorI::operator delete(void* p) noexcept {
  ::operator delete(p, std::nothrow);
}

QroXmlNodeListIterator::QroXmlNodeListIterator(const QroXmlNodeList* list)
    : QroXml_LIterator(list) {}

QroXmlNodeListIterator::~QroXmlNodeListIterator() {}

QroXmlNodeI* QroXmlNodeListIterator::next() {
  if (!_current) return nullptr;
  QroXmlNodeI* node = static_cast<QroXmlNodeI*>(_current->_element);
  _current = _current->_next;
  return node;
}

QroXmlNodeIterator::~QroXmlNodeIterator() {
  delete _inner;
}
