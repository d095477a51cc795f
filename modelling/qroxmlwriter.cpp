#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <typeinfo>
#include <vector>

#include "qroxml.h"

namespace {

// One per thread: writes of two trees in one thread must not interleave.
thread_local uint32_t s_indentation = 0;
const uint32_t s_indentationStep = 2;

// Raises the counter by one step for the lifetime of the guard, so that it is
// back where it was even when a child's write throws.
class IndentStep {
 public:
  IndentStep() { s_indentation += s_indentationStep; }
  ~IndentStep() { s_indentation -= s_indentationStep; }
  IndentStep(const IndentStep&) = delete;
  IndentStep& operator=(const IndentStep&) = delete;
};

void writeBlanks(std::ostream& os, uint32_t n) {
  static const std::string blanks(4096, ' ');  // deep trees indent by thousands
  const uint32_t width = static_cast<uint32_t>(blanks.size());
  while (n > 0) {
    uint32_t k = n < width ? n : width;
    os.write(blanks.data(), k);
    n -= k;
  }
}

void writeText(std::ostream& os, const char* text) {
  if (text) os.write(text, static_cast<std::streamsize>(std::strlen(text)));
}

// & < > always become entities; a double quote does too inside attribute
// values, so that the value cannot close its quotes early.
void writeEscaped(std::ostream& os, const char* text, bool inAttribute) {
  if (!text) return;
  const char* run = text;
  for (const char* p = text; *p; ++p) {
    const char* entity = nullptr;
    switch (*p) {
      case '&':
        entity = "&amp;";
        break;
      case '<':
        entity = "&lt;";
        break;
      case '>':
        entity = "&gt;";
        break;
      case '"':
        if (inAttribute) entity = "&quot;";
        break;
      default:
        break;
    }
    if (!entity) continue;
    os.write(run, p - run);
    writeText(os, entity);
    run = p + 1;
  }
  writeText(os, run);
}

}  // namespace

uint32_t QroXmlIndentation() {
  return s_indentation;
}

uint32_t QroXmlIndentationStep() {
  return s_indentationStep;
}

void QroXmlAttributeI::write(std::ostream& os) const {
  writeText(os, getName());
  os << "=\"";
  writeEscaped(os, getValue(), true);
  os << '"';
}

void QroXmlTextI::write(std::ostream& os) const {
  writeEscaped(os, getText(), false);
}

namespace {

// "<" name and the attributes, indented by the counter.
void openTag(std::ostream& os, const QroXmlElementI* e) {
  writeBlanks(os, s_indentation);
  os << '<';
  writeText(os, e->getName());
  e->writeAttributes(os);
}

// The end of an element whose opening tag was written at `indentation`.
void closeTag(std::ostream& os, const QroXmlElementI* e, uint32_t indentation, bool hadChildren) {
  if (hadChildren) {
    writeBlanks(os, indentation);
    os << "</";
    writeText(os, e->getName());
  } else {
    os << '/';
  }
  os << '>' << std::endl;
}

// The children of an element still to write: its list, or its child iterator.
struct ChildCursor {
  const QroXmlElementI* element;
  const QroXmlListNode* next;
  std::unique_ptr<QroXmlNodeIteratorI> iterator;
  uint32_t indentation;  // of the element's own tags
  bool any;

  ChildCursor(const QroXmlElementI* e, const QroXmlListNode* head, QroXmlNodeIteratorI* it,
              uint32_t at)
      : element(e), next(head), iterator(it), indentation(at), any(false) {}
  bool hasNext() const { return iterator ? iterator->hasNext() : next != nullptr; }
  const QroXmlNodeI* take() {
    if (iterator) return iterator->next();
    const QroXmlNodeI* n = static_cast<const QroXmlNodeI*>(next->_element);
    next = next->_next;
    return n;
  }
};

// Writes the children of `parent` (from its list `head`, or from its child
// iterator when `head` is null and `useIterator` is set) at the counter, with an
// explicit stack instead of one call per level: a child of type QroXmlElement is
// opened here and its children follow before its siblings; any other node
// writes itself. The counter is back where it was on return and on a throw.
bool writeChildrenOf(std::ostream& os, const QroXmlElementI* parent, const QroXmlListNode* head,
                     bool useIterator) {
  struct Restore {
    uint32_t value;
    ~Restore() { s_indentation = value; }
  } restore{s_indentation};
  std::vector<ChildCursor> stack;
  stack.emplace_back(parent, head, useIterator ? parent->getChildIterator() : nullptr, 0);
  for (;;) {
    ChildCursor& top = stack.back();
    if (!top.hasNext()) {
      if (stack.size() == 1) return top.any;
      s_indentation = top.indentation;
      closeTag(os, top.element, top.indentation, top.any);
      stack.pop_back();
      continue;
    }
    const QroXmlNodeI* child = top.take();
    if (!top.any) os << '>' << std::endl;
    top.any = true;
    if (!child) continue;
    if (typeid(*child) != typeid(QroXmlElement)) {
      child->write(os);
      continue;
    }
    const QroXmlElement* e = static_cast<const QroXmlElement*>(child);
    openTag(os, e);
    uint32_t at = s_indentation;
    s_indentation += s_indentationStep;
    stack.emplace_back(e, e->getChildren().getHead(), nullptr, at);
  }
}

}  // namespace

void QroXmlElementI::write(std::ostream& os) const {
  const uint32_t indentation = s_indentation;
  openTag(os, this);
  bool hadChildren;
  {
    IndentStep step;
    hadChildren = writeChildren(os);
  }
  closeTag(os, this, indentation, hadChildren);
}

void QroXmlElementI::writeAttributes(std::ostream& os) const {
  QroXmlNodeIterator it(getAttributeIterator());
  while (it.hasNext()) {
    QroXmlNodeI* attribute = it.next();
    os << ' ';
    if (attribute) attribute->write(os);
  }
}

bool QroXmlElementI::writeChildren(std::ostream& os) const {
  return writeChildrenOf(os, this, nullptr, true);
}

void QroXmlElement::writeAttributes(std::ostream& os) const {
  for (QroXmlListNode* n = getAttributes().getHead(); n; n = n->_next) {
    os << ' ';
    static_cast<const QroXmlNodeI*>(n->_element)->write(os);
  }
}

bool QroXmlElement::writeChildren(std::ostream& os) const {
  return writeChildrenOf(os, this, getChildren().getHead(), false);
}
