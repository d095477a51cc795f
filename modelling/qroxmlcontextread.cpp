// Reading element trees through the context's handlers. The two readings of
// the context call each other once per level of the tree; they run here as
// steps on an explicit stack, and the sub-elements of an element whose handler
// reads them first are read before that handler is called, so that a tree of
// any depth is read without one call per level.
#include <vector>

#include "qroxmlser.h"

QroXmlTooDeep::~QroXmlTooDeep() {}

namespace {

const char* name(QroXmlNameIndex i) {
  return QroXmlVocabulary[i];
}

// Marks the reader as inside a read for the lifetime of the guard; a read
// nested in too many others is refused.
class ReadScope {
 public:
  explicit ReadScope(QroXmlReaderI* reader) : _reader(reader) {
    if (_reader->getReadDepth() >= QroXmlContextI::MaxReadNesting) throw QroXmlTooDeep();
    _reader->enterRead();
  }
  ~ReadScope() { _reader->leaveRead(); }
  ReadScope(const ReadScope&) = delete;
  ReadScope& operator=(const ReadScope&) = delete;

 private:
  QroXmlReaderI* _reader;
};

// One reading in progress: the sub-elements of an element, or its object.
struct Step {
  enum Kind { SubElements, Object };
  // SubElements: Start, NextChild, ChildSubRead (the child's own sub-elements
  // were read), ChildRead (the child's object was read). Object: Start,
  // HandlerCall (the sub-elements were read for the handler).
  enum Stage { Start, NextChild, ChildSubRead, ChildRead, HandlerCall };
  Kind kind;
  Stage stage;
  const QroXmlElementI* element;
  QroXmlNodeIteratorI* children;  // the children not yet read (owned)
  const QroXmlElementI* child;
  QroXmlInfo* handler;
  bool objectTable;  // the handler is one of the second tag table
  QroInt id;
};

// The steps of one read, innermost last, and the result of the step that
// ended last: `ok` for sub-elements, `object` for an object.
class TreeRead {
 public:
  TreeRead(QroXmlContextI* context, QroXmlReader reader) : _context(context), _reader(reader) {}
  ~TreeRead() {
    for (Step& s : _steps) delete s.children;
  }
  TreeRead(const TreeRead&) = delete;
  TreeRead& operator=(const TreeRead&) = delete;

  void push(Step::Kind kind, const QroXmlElementI* e) {
    _steps.push_back(Step{kind, Step::Start, e, nullptr, nullptr, nullptr, false, -1});
  }
  bool done() const { return _steps.empty(); }
  // Runs the innermost step up to its end or to a step it pushes; an element
  // with "Id" that could not be read is left in `unread`.
  void advance() {
    unread = nullptr;
    Step& s = _steps.back();
    bool ended = s.kind == Step::SubElements ? subElementsStep(s) : objectStep(s);
    if (!ended) return;
    delete _steps.back().children;
    _steps.pop_back();
  }

  bool ok = true;
  void* object = nullptr;
  const QroXmlElementI* unread = nullptr;
  QroInt unreadId = -1;

 private:
  bool subElementsStep(Step& s);
  bool objectStep(Step& s);
  bool startObject(Step& s);
  bool callHandler(Step& s);

  QroXmlContextI* _context;
  QroXmlReader _reader;
  std::vector<Step> _steps;
};

const QroXmlElementI* nextChildElement(QroXmlNodeIteratorI* it) {
  while (it && it->hasNext()) {
    QroXmlNodeI* n = it->next();
    if (n && n->getKind() == QroXmlNodeI::ElementKind) return static_cast<QroXmlElementI*>(n);
  }
  return nullptr;
}

// Each child element in order: its own sub-elements first when it has more
// than one child element (their failure is the result), then its object; a
// child with "Id" and no object fails. A step that pushes returns false at once
// (the reference s does not outlive the push).
bool TreeRead::subElementsStep(Step& s) {
  QroXmlReaderI* r = _reader.getImpl();
  switch (s.stage) {
    case Step::Start:
      if (!s.element || r->isSubRead(s.element)) {
        ok = true;
        return true;
      }
      s.children = s.element->getChildIterator();
      s.stage = Step::NextChild;
      return false;
    case Step::NextChild: {
      const QroXmlElementI* c = nextChildElement(s.children);
      if (!c) {
        r->markSubRead(s.element);
        ok = true;
        return true;
      }
      s.child = c;
      s.stage = Step::ChildSubRead;
      ok = true;
      if (_reader.countChildElements(c) > 1) push(Step::SubElements, c);
      return false;
    }
    case Step::ChildSubRead: {
      if (!ok) return true;
      const QroXmlElementI* c = s.child;
      s.stage = Step::ChildRead;
      push(Step::Object, c);
      return false;
    }
    default:  // ChildRead
      if (!object && _reader.getAttributeValue(s.child, name(QroXmlIdName))) {
        ok = false;
        return true;
      }
      s.stage = Step::NextChild;
      return false;
  }
}

bool TreeRead::objectStep(Step& s) {
  return s.stage == Step::Start ? startObject(s) : callHandler(s);
}

// An element with an "Id" not linked yet goes to the handler of its tag
// (after its sub-elements when the handler reads them first); a linked one
// gives its object; else its "RefId", else its first child element.
bool TreeRead::startObject(Step& s) {
  const QroXmlElementI* e = s.element;
  object = nullptr;
  if (!e) return true;
  QroInt id = -1;
  if (_reader.readIntAttribute(e, name(QroXmlIdName), id)) {
    void* linked = _reader.getObjectById(id);
    if (linked) {
      object = linked;
      return true;
    }
    const char* tag = e->getName();
    s.id = id;
    s.handler = _context->findXmlInfo(tag);
    if (!s.handler) {
      s.handler = _context->findObjectXmlInfo(tag);
      s.objectTable = true;
    }
    if (!s.handler) {
      unread = e;
      unreadId = id;
      return true;
    }
    s.stage = Step::HandlerCall;
    ok = true;
    if (s.handler->readsSubElementsFirst()) push(Step::SubElements, e);
    return false;
  }
  QroInt ref = -1;
  if (_reader.readIntAttribute(e, name(QroXmlRefIdName), ref)) {
    object = _reader.getObjectById(ref);
    return true;
  }
  s.element = _reader.getFirstChildElement(e);
  return !s.element;
}

// A handler that reads the sub-elements first is called only when they were
// read: it would give null otherwise.
bool TreeRead::callHandler(Step& s) {
  object = nullptr;
  if (ok) {
    if (!s.objectTable) {
      QroExtractableI* x = s.handler->readElement(_reader, s.element);
      if (x) _reader.addLink2Obj(s.id, x);
      object = x;
    } else {
      object = s.handler->readObjectWithSubElements(_reader, s.element);
      if (object) _reader.addLink2Obj(s.id, object);
    }
  }
  if (!object) {
    unread = s.element;
    unreadId = s.id;
  }
  return true;
}

}  // namespace

void* QroXmlContextI::runRead(QroXmlReader reader, const QroXmlElementI* element, bool sub,
                              bool& ok) {
  TreeRead read(this, reader);
  read.push(sub ? Step::SubElements : Step::Object, element);
  while (!read.done()) {
    read.advance();
    if (read.unread) recordUnread(read.unread->getName(), read.unreadId);
  }
  ok = read.ok;
  return read.object;
}

void QroXmlContextI::recordUnread(const char* tag, QroInt id) {
  _unreadTags.add(_env->internString(tag ? tag : ""));
  _unreadIds.add(id);
}

void* QroXmlContextI::readElement(QroXmlReader reader, const QroXmlElementI* element) {
  ReadScope scope(reader.getImpl());
  bool ok = true;
  return runRead(reader, element, false, ok);
}

bool QroXmlContextI::readSubElements(QroXmlReader reader, const QroXmlElementI* element) {
  ReadScope scope(reader.getImpl());
  bool ok = true;
  runRead(reader, element, true, ok);
  return ok;
}
