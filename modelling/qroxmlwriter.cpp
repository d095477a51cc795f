#include <cstring>
#include <ostream>

#include "qroxml.h"

namespace {

// Process-wide and unguarded: writes of two trees must not interleave.
uint32_t s_indentation = 0;
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
  static const char blanks[] = "                                ";
  const uint32_t width = sizeof(blanks) - 1;
  while (n > 0) {
    uint32_t k = n < width ? n : width;
    os.write(blanks, k);
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

void QroXmlElementI::write(std::ostream& os) const {
  const uint32_t indentation = s_indentation;
  writeBlanks(os, indentation);
  os << '<';
  writeText(os, getName());
  writeAttributes(os);
  bool hadChildren;
  {
    IndentStep step;
    hadChildren = writeChildren(os);
  }
  if (hadChildren) {
    writeBlanks(os, indentation);
    os << "</";
    writeText(os, getName());
  } else {
    os << '/';
  }
  os << '>' << std::endl;
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
  bool any = false;
  QroXmlNodeIterator it(getChildIterator());
  while (it.hasNext()) {
    QroXmlNodeI* child = it.next();
    if (!any) os << '>' << std::endl;
    any = true;
    if (child) child->write(os);
  }
  return any;
}

void QroXmlElement::writeAttributes(std::ostream& os) const {
  for (QroXmlListNode* n = getAttributes().getHead(); n; n = n->_next) {
    os << ' ';
    static_cast<const QroXmlNodeI*>(n->_element)->write(os);
  }
}

bool QroXmlElement::writeChildren(std::ostream& os) const {
  QroXmlListNode* n = getChildren().getHead();
  if (!n) return false;
  os << '>' << std::endl;
  for (; n; n = n->_next) static_cast<const QroXmlNodeI*>(n->_element)->write(os);
  return true;
}
