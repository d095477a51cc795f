// Reading element trees through the context's handlers. The two readings of
// the context call each other once per level of the tree; they run here as
// steps on an explicit stack, and the sub-elements of an element whose handler
// reads them first are read before that handler is called, so that a tree of
// any depth is read without one call per level.
//
// A read started while another runs with the same reader (a handler that
// reads on its own) pushes its steps on the same stack and runs them down to
// where it started. Such a nesting costs the frames between one handler call
// and the next, so the functions on that way hold no locals in memory: the
// steps and results live in the run, and the work that needs more (tag
// lookups, iterators, records) is done in functions that return before a
// handler is called. A read that throws leaves the steps of the reads around
// it, and the reader, as they were.
#include <string>
#include <vector>

#include "qroxmlser.h"

QroXmlTooDeep::~QroXmlTooDeep() {}
QroXmlWrongKind::~QroXmlWrongKind() {}

namespace {

const char* name(QroXmlNameIndex i) {
  return QroXmlVocabulary[i];
}

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

// What a read gives: its object (and whether it is an extractable, not an
// array), and for sub-elements whether they were read.
struct ReadResult {
  void* object;
  bool ok;
  bool extractable;
};

// The handle's reader, taken in a frame of its own: the handle's copy in the
// caller's frame stays in a register.
__attribute__((noinline)) QroXmlReaderI* implOf(QroXmlReader reader) {
  return reader.getImpl();
}

const QroXmlElementI* nextChildElement(QroXmlNodeIteratorI* it) {
  while (it && it->hasNext()) {
    QroXmlNodeI* n = it->next();
    if (n && n->getKind() == QroXmlNodeI::ElementKind) return static_cast<QroXmlElementI*>(n);
  }
  return nullptr;
}

}  // namespace

// The steps of the reads in progress with one reader, innermost last, and the
// result of the step that ended last: `ok` for sub-elements, `object` for an
// object. Owned by the outermost read.
class QroXmlReadRun {
 public:
  QroXmlReadRun() = default;
  ~QroXmlReadRun() { unwindTo(0); }
  QroXmlReadRun(const QroXmlReadRun&) = delete;
  QroXmlReadRun& operator=(const QroXmlReadRun&) = delete;

  // A read of the element (its sub-elements, or its object) inside the reads
  // in progress with the reader, if any.
  static ReadResult Read(QroXmlContextI* context, QroXmlReaderI* reader,
                         const QroXmlElementI* element, Step::Kind kind) {
    // Sub-elements read already, as when a handler that reads them first
    // was called: nothing to read, and no nesting.
    if (kind == Step::SubElements && (!element || reader->isSubRead(element)))
      return ReadResult{nullptr, true, false};
    if (reader->getReadDepth() > QroXmlContextI::MaxNesting) throw QroXmlTooDeep();
    QroXmlReadRun* run = reader->_run;
    if (!run) return Outermost(context, reader, element, kind);
    return run->run(context, reader, element, kind);
  }

 private:
  static ReadResult Outermost(QroXmlContextI* context, QroXmlReaderI* reader,
                              const QroXmlElementI* element, Step::Kind kind);
  ReadResult run(QroXmlContextI* context, QroXmlReaderI* reader, const QroXmlElementI* element,
                 Step::Kind kind);
  void push(Step::Kind kind, const QroXmlElementI* e);
  void pop();
  void unwindTo(std::size_t base);
  void abort(QroXmlReaderI* reader, std::size_t base);
  bool stepTo(QroXmlContextI* context, QroXmlReaderI* reader, std::size_t base);
  void* callHandler();
  void handled(QroXmlContextI* context, QroXmlReaderI* reader, void* object);
  bool subElementsStep(QroXmlReaderI* reader, Step& s);
  bool startObject(QroXmlContextI* context, QroXmlReaderI* reader, Step& s);
  void answer(void* object, bool extractable) {
    _object = object;
    _extractable = object && extractable;
  }
  // The object linked to an identifier, as an answer.
  void answerLinked(const QroXmlObjectHandler& objects, QroInt id) {
    answer(objects.getObjectById(id), objects.getExtractableById(id) != nullptr);
  }

  std::vector<Step> _steps;
  QroXmlReader _handle;
  bool _ok = true;
  void* _object = nullptr;
  bool _extractable = false;
};

// Holds the run in a frame that is left only when the outermost read ends.
__attribute__((noinline)) ReadResult QroXmlReadRun::Outermost(QroXmlContextI* context,
                                                              QroXmlReaderI* reader,
                                                              const QroXmlElementI* element,
                                                              Step::Kind kind) {
  QroXmlReadRun run;
  run._handle = QroXmlReader(reader);
  reader->_run = &run;
  try {
    ReadResult result = run.run(context, reader, element, kind);
    reader->_run = nullptr;
    return result;
  } catch (...) {
    reader->_run = nullptr;
    throw;
  }
}

// The steps this read pushes run down to where it started; the innermost
// step's handler is called from here.
ReadResult QroXmlReadRun::run(QroXmlContextI* context, QroXmlReaderI* reader,
                              const QroXmlElementI* element, Step::Kind kind) {
  const std::size_t base = _steps.size();
  reader->enterRead();
  try {
    push(kind, element);
    while (stepTo(context, reader, base)) handled(context, reader, callHandler());
  } catch (...) {
    abort(reader, base);
    throw;
  }
  reader->leaveRead();
  return ReadResult{_object, _ok, _extractable};
}

// Kept out of the loop above, which would otherwise take in the frames of
// the handlers' readings it can guess.
__attribute__((noinline)) void* QroXmlReadRun::callHandler() {
  const Step& s = _steps[_steps.size() - 1];
  if (s.objectTable) return s.handler->readObjectWithSubElements(_handle, s.element);
  return s.handler->readElement(_handle, s.element);
}

__attribute__((noinline)) void QroXmlReadRun::push(Step::Kind kind, const QroXmlElementI* e) {
  _steps.push_back(Step{kind, Step::Start, e, nullptr, nullptr, nullptr, false, -1});
}

__attribute__((noinline)) void QroXmlReadRun::pop() {
  delete _steps.back().children;
  _steps.pop_back();
}

__attribute__((noinline)) void QroXmlReadRun::unwindTo(std::size_t base) {
  while (_steps.size() > base) pop();
}

__attribute__((noinline)) void QroXmlReadRun::abort(QroXmlReaderI* reader, std::size_t base) {
  unwindTo(base);
  reader->leaveRead();
}

// Runs the steps above base until they are all done (false) or the innermost
// one calls its handler (true; the step stays on the stack during the call, so
// that the reads the handler starts push above it).
__attribute__((noinline)) bool QroXmlReadRun::stepTo(QroXmlContextI* context, QroXmlReaderI* reader,
                                                     std::size_t base) {
  while (_steps.size() > base) {
    Step& s = _steps.back();
    bool ended;
    if (s.kind == Step::SubElements) {
      ended = subElementsStep(reader, s);
    } else if (s.stage == Step::Start) {
      ended = startObject(context, reader, s);
    } else if (_ok) {
      return true;
    } else {
      // A handler that reads the sub-elements first would give null.
      answer(nullptr, false);
      context->recordUnread(s.element->getName(), s.id);
      ended = true;
    }
    if (ended) pop();
  }
  return false;
}

// The handler's object is linked to the element's identifier (an array of
// the second table is replaced by the reader's copy); without one the element
// is recorded as not read.
__attribute__((noinline)) void QroXmlReadRun::handled(QroXmlContextI* context,
                                                      QroXmlReaderI* reader, void* object) {
  const Step& s = _steps.back();
  QroXmlObjectHandler& objects = reader->getObjectHandler();
  if (!object) {
    answer(nullptr, false);
    context->recordUnread(s.element->getName(), s.id);
  } else if (s.objectTable) {
    answer(objects.addLink2Array(s.id, static_cast<QroArrayI*>(object)), false);
  } else {
    objects.addLink2Obj(s.id, static_cast<QroExtractableI*>(object));
    answer(object, true);
  }
  pop();
}

// Each child element in order: its own sub-elements first when it has more
// than one child element (their failure is the result), then its object; a
// child with "Id" and no object fails. A step that pushes returns false at once
// (the reference s does not outlive the push).
bool QroXmlReadRun::subElementsStep(QroXmlReaderI* reader, Step& s) {
  QroXmlReader r(reader);
  switch (s.stage) {
    case Step::Start:
      if (!s.element || reader->isSubRead(s.element)) {
        _ok = true;
        return true;
      }
      s.children = s.element->getChildIterator();
      s.stage = Step::NextChild;
      return false;
    case Step::NextChild: {
      const QroXmlElementI* c = nextChildElement(s.children);
      if (!c) {
        reader->markSubRead(s.element);
        _ok = true;
        return true;
      }
      s.child = c;
      s.stage = Step::ChildSubRead;
      _ok = true;
      if (r.countChildElements(c) > 1) push(Step::SubElements, c);
      return false;
    }
    case Step::ChildSubRead: {
      if (!_ok) return true;
      const QroXmlElementI* c = s.child;
      s.stage = Step::ChildRead;
      push(Step::Object, c);
      return false;
    }
    default:  // ChildRead
      if (!_object && r.getAttributeValue(s.child, name(QroXmlIdName))) {
        _ok = false;
        return true;
      }
      s.stage = Step::NextChild;
      return false;
  }
}

// An element with an "Id" not linked yet goes to the handler of its tag
// (after its sub-elements when the handler reads them first), unless the
// identifier is one the reader refuses to link: nothing is built for it then;
// a linked one gives its object; else its "RefId", else its first child
// element.
bool QroXmlReadRun::startObject(QroXmlContextI* context, QroXmlReaderI* reader, Step& s) {
  QroXmlReader r(reader);
  const QroXmlObjectHandler& objects = reader->getObjectHandler();
  const QroXmlElementI* e = s.element;
  answer(nullptr, false);
  if (!e) return true;
  QroInt id = -1;
  if (r.readIntAttribute(e, name(QroXmlIdName), id)) {
    if (r.getObjectById(id)) {
      answerLinked(objects, id);
      return true;
    }
    const char* tag = e->getName();
    s.id = id;
    s.handler = context->findXmlInfo(tag);
    if (!s.handler) {
      s.handler = context->findObjectXmlInfo(tag);
      s.objectTable = true;
    }
    if (!s.handler) {
      context->recordUnread(tag, id);
      return true;
    }
    QroXmlObjectHandler::checkId(id);
    s.stage = Step::HandlerCall;
    _ok = true;
    if (s.handler->readsSubElementsFirst()) push(Step::SubElements, e);
    return false;
  }
  QroInt ref = -1;
  if (r.readIntAttribute(e, name(QroXmlRefIdName), ref)) {
    answerLinked(objects, ref);
    return true;
  }
  s.element = r.getFirstChildElement(e);
  return !s.element;
}

// ---------------------------------------------------------------------------
// Context.

void QroXmlContextI::recordUnread(const char* tag, QroInt id) {
  _unreadTags.add(_env->internString(tag ? tag : ""));
  _unreadIds.add(id);
}

void* QroXmlContextI::readElement(QroXmlReader reader, const QroXmlElementI* element) {
  return QroXmlReadRun::Read(this, implOf(reader), element, Step::Object).object;
}

QroExtractableI* QroXmlContextI::readElementOfType(QroXmlReader reader,
                                                   const QroXmlElementI* element,
                                                   QroTypeInfo type) {
  ReadResult read = QroXmlReadRun::Read(this, implOf(reader), element, Step::Object);
  if (!read.object) return nullptr;
  QroExtractableI* x = read.extractable ? static_cast<QroExtractableI*>(read.object) : nullptr;
  if (x && (!type || x->isType(type))) return x;
  std::string message = "XML element read as ";
  message += type ? type->className : "an extractable";
  message += " gives ";
  message += x ? x->getClassName() : "an array";
  throw QroXmlWrongKind(message.c_str());
}

bool QroXmlContextI::readSubElements(QroXmlReader reader, const QroXmlElementI* element) {
  return QroXmlReadRun::Read(this, implOf(reader), element, Step::SubElements).ok;
}
