// Writing objects into element trees through the context's handlers.
//
// Written as it reads, a write asks the object's handler for its content and
// the content asks for the writes of the objects below: one call per level of
// the model. Here the writes that a handler's content asks for through the
// helpers (writeExtractableRef, writeIntVarArray, writeIntExprArray) are only
// noted, each with its element made and placed where it was asked for; once
// the content returns they are written from an explicit stack, in the order
// asked for and depth first. Identifiers are thus given in the same order as
// written at once, and every object is written in full before its references.
//
// A handler whose writesSubObjectsLater is false has its sub-writes done at
// once, and a handler's direct call of writeExtractable is done at once, after
// what its content asked for so far: such a write is nested in the running
// one, pushes on the same stack and runs down to where it started. It costs
// the frames between two handler calls; a write nested in more than
// QroXmlContextI::MaxNesting others throws QroXmlTooDeep.
//
// A write that fails or throws (the nesting limit included) leaves things
// sound: its element is deleted unless it was handed to a parent, its steps
// leave the stack, and the identifiers given since it started are taken back,
// so that a later write gives them again and writes those objects in full;
// the writer is ready for the next write. The context keeps the class it
// recorded as not written. Elements of a failed write placed below parents
// outside its own element (which no handler of the system does) stay there.
#include <memory>

#include "qroxmlwriterun.h"

namespace {

const char* name(QroXmlNameIndex i) {
  return QroXmlVocabulary[i];
}

__attribute__((noinline)) void addIntAttribute(QroXmlWriterI* w, QroXmlElementI* e,
                                               const char* attribute, QroInt value) {
  QroXmlWriter writer(w);
  std::unique_ptr<char[]> text(writer.toString(value));
  writer.addAttribute(e, attribute, text.get());
}

__attribute__((noinline)) void setIntValue(QroXmlWriterI* w, QroXmlAttributeI* a, QroInt value) {
  std::unique_ptr<char[]> text(QroXmlWriter(w).toString(value));
  a->setValue(text.get());
}

// The handle's writer, taken in a frame of its own: the handle's copy in the
// caller's frame stays in a register.
__attribute__((noinline)) QroXmlWriterI* implOf(QroXmlWriter writer) {
  return writer.getImpl();
}

bool hasNullEntry(const std::vector<const QroRtti*>& entries) {
  for (const QroRtti* x : entries)
    if (!x) return true;
  return false;
}

}  // namespace

// ---------------------------------------------------------------------------
// Entry points.

inline QroXmlElementI* QroXmlWriteRun::WriteObject(QroXmlContextI* context, QroXmlWriterI* writer,
                                                   const QroRtti* x, QroXmlElementI* parent) {
  if (!x) return nullptr;
  QroXmlWriteRun* run = writer->_run;
  if (!run) return Outermost(context, writer, x, parent);
  run->flush(writer);
  return run->writeObject(context, writer, x, parent);
}

QroInt QroXmlWriteRun::WriteArray(QroXmlContextI* context, QroXmlWriterI* writer,
                                  QroXmlInfo& arrayHandler, QroXmlElementI* parent,
                                  const std::vector<const QroRtti*>& entries) {
  if (!parent || hasNullEntry(entries)) return -1;
  QroXmlWriteRun* run = writer->_run;
  if (!run) return OutermostArray(context, writer, arrayHandler, parent, entries);
  run->flush(writer);
  return run->writeArray(context, writer, arrayHandler, parent, entries);
}

inline bool QroXmlWriteRun::SubObject(QroXmlContextI* context, QroXmlWriterI* writer,
                                      QroXmlElementI* parent, const QroRtti* x,
                                      const char* attributeName) {
  if (!x || !parent) return false;
  QroXmlWriteRun* run = writer->_run;
  if (run && run->_collecting >= 0) {
    run->ask(context, writer, x, parent, attributeName);
    return true;
  }
  if (!WriteObject(context, writer, x, parent)) return false;
  if (attributeName) addIntAttribute(writer, parent, attributeName, writer->getId(x));
  return true;
}

bool QroXmlWriteRun::SubArray(QroXmlContextI* context, QroXmlWriterI* writer,
                              QroXmlInfo& arrayHandler, QroXmlElementI* parent,
                              const std::vector<const QroRtti*>& entries) {
  QroXmlWriteRun* run = writer->_run;
  if (!run || run->_collecting < 0)
    return WriteArray(context, writer, arrayHandler, parent, entries) >= 0;
  if (!parent || hasNullEntry(entries)) return false;
  run->askArray(context, writer, arrayHandler, parent, entries);
  return true;
}

void QroXmlWriteRun::Flush(QroXmlWriterI* writer) {
  if (writer->_run) writer->_run->flush(writer);
}

// The run lives in the frame of the outermost write.
__attribute__((noinline)) QroXmlElementI* QroXmlWriteRun::Outermost(QroXmlContextI* context,
                                                                    QroXmlWriterI* writer,
                                                                    const QroRtti* x,
                                                                    QroXmlElementI* parent) {
  QroXmlWriteRun run;
  run._handle = QroXmlWriter(writer);
  writer->_run = &run;
  try {
    QroXmlElementI* e = run.writeObject(context, writer, x, parent);
    writer->_run = nullptr;
    return e;
  } catch (...) {
    writer->_run = nullptr;
    throw;
  }
}

__attribute__((noinline)) QroInt QroXmlWriteRun::OutermostArray(
    QroXmlContextI* context, QroXmlWriterI* writer, QroXmlInfo& arrayHandler,
    QroXmlElementI* parent, const std::vector<const QroRtti*>& entries) {
  QroXmlWriteRun run;
  run._handle = QroXmlWriter(writer);
  writer->_run = &run;
  try {
    QroInt id = run.writeArray(context, writer, arrayHandler, parent, entries);
    writer->_run = nullptr;
    return id;
  } catch (...) {
    writer->_run = nullptr;
    throw;
  }
}

// ---------------------------------------------------------------------------
// Writes and flushes nested in the run. The functions between two handler
// calls (writeObject and drain for a nested write) keep no locals in memory:
// the work that needs some is done in functions that return first.

// The object is the one item of a frame of its own; its element is the
// write's until handed to the parent.
QroXmlElementI* QroXmlWriteRun::writeObject(QroXmlContextI* context, QroXmlWriterI* writer,
                                            const QroRtti* x, QroXmlElementI* parent) {
  if (_failed) return nullptr;
  enter(writer, _frames.size(), _frames.size());
  try {
    beginObject(context, writer, x);
    if (drain(writer)) return endObject(writer, parent);
  } catch (...) {
    failWrite(writer);
    throw;
  }
  failWrite(writer);
  return nullptr;
}

QroInt QroXmlWriteRun::writeArray(QroXmlContextI* context, QroXmlWriterI* writer,
                                  QroXmlInfo& arrayHandler, QroXmlElementI* parent,
                                  const std::vector<const QroRtti*>& entries) {
  if (_failed) return -1;
  enter(writer, _frames.size(), _frames.size());
  QroXmlElementI* e;
  try {
    _frames.push_back(Frame{_items.size(), _items.size()});
    askArray(context, writer, arrayHandler, nullptr, entries);
    if (!drain(writer)) {
      failWrite(writer);
      return -1;
    }
    e = endObject(writer, parent);
  } catch (...) {
    failWrite(writer);
    throw;
  }
  QroXmlAttributeI* id = e->getAttribute(name(QroXmlIdName));
  return id ? QroXmlParseInt(id->getValue()) : -1;
}

// Writes what the running content asked for so far. A failure among them is
// the failure of the write around: it is noted, and that write fails once the
// content returns (the content's further writes fail at once).
void QroXmlWriteRun::flush(QroXmlWriterI* writer) {
  if (_collecting < 0 || _failed) return;
  const std::size_t frame = static_cast<std::size_t>(_collecting);
  if (_frames[frame].next >= _items.size()) return;
  enter(writer, frame, frame + 1);
  bool ok;
  try {
    ok = drain(writer);
  } catch (...) {
    leaveFlush();
    throw;
  }
  leaveFlush();
  if (!ok) _failed = true;
}

__attribute__((noinline)) void QroXmlWriteRun::enter(QroXmlWriterI* writer, std::size_t floor,
                                                     std::size_t frames) {
  if (_marks.size() > static_cast<std::size_t>(QroXmlContextI::MaxNesting))
    throw QroXmlTooDeep(QroXmlTooDeep::Writing);
  _marks.push_back(
      Mark{frames, floor, _given.size(), writer->_lastId, _collecting, _items.size(), false});
  _collecting = -1;
}

__attribute__((noinline)) void QroXmlWriteRun::beginObject(QroXmlContextI* context,
                                                           QroXmlWriterI* writer,
                                                           const QroRtti* x) {
  _frames.push_back(Frame{_items.size(), _items.size()});
  ask(context, writer, x, nullptr, nullptr);
}

// The element written, handed to the parent when there is one.
__attribute__((noinline)) QroXmlElementI* QroXmlWriteRun::endObject(QroXmlWriterI* writer,
                                                                    QroXmlElementI* parent) {
  Mark& mark = _marks.back();
  QroXmlElementI* e = _items[mark.root].element;
  if (parent && e) {
    mark.handed = true;  // the parent deletes it if it cannot take it
    QroXmlWriter(writer).addSubElement(parent, e);
  }
  leave(writer, false);
  return e;
}

// The write's element is deleted unless handed over.
__attribute__((noinline)) void QroXmlWriteRun::failWrite(QroXmlWriterI* writer) {
  const Mark& mark = _marks.back();
  QroXmlElementI* e =
      !mark.handed && _items.size() > mark.root ? _items[mark.root].element : nullptr;
  leave(writer, true);
  delete e;
}

// Back to the stack of the mark; a failed write also takes back the
// identifiers given since it started and ends the failure it met.
void QroXmlWriteRun::leave(QroXmlWriterI* writer, bool failed) {
  const Mark mark = _marks.back();
  _marks.pop_back();
  cut(mark.frames);
  _collecting = mark.collecting;
  if (!failed) return;
  _failed = false;
  for (std::size_t i = mark.given; i < _given.size(); ++i)
    writer->_ids->remove(const_cast<void*>(_given[i]));
  _given.resize(mark.given);
  writer->_lastId = mark.lastId;
}

// The frame flushed has no item left to write.
__attribute__((noinline)) void QroXmlWriteRun::leaveFlush() {
  const Mark mark = _marks.back();
  _marks.pop_back();
  cut(mark.frames);
  _frames[mark.floor].next = _items.size();
  _collecting = mark.collecting;
}

void QroXmlWriteRun::cut(std::size_t frames) {
  if (_frames.size() <= frames) return;
  _items.resize(_frames[frames].first);
  _frames.resize(frames);
}

// ---------------------------------------------------------------------------
// Asking for writes.

// The object's element, made now: by its handler, or "Unknown" for an
// object without one when the unhandled-object setting is -1, else none.
// Below a parent the element is placed at once (and the attribute naming the
// object added); without one it is the caller's.
__attribute__((noinline)) QroXmlElementI* QroXmlWriteRun::ask(QroXmlContextI* context,
                                                              QroXmlWriterI* writer,
                                                              const QroRtti* x,
                                                              QroXmlElementI* parent,
                                                              const char* attributeName) {
  QroXmlWriter w(writer);
  QroXmlInfo* h = context->getXmlInfo(x->getTypeIndex());
  std::unique_ptr<QroXmlElementI> e;
  if (h) {
    e.reset(h->makeElement(w, x));
  } else if (context->getUnhandledSetting() == -1) {
    e.reset(w.createElement(name(QroXmlUnknownTag)));
    w.addAttribute(e.get(), name(QroXmlNameName), x->getClassName());
  }
  _items.push_back(Item{Item::Object, context, x, h, e.get(), nullptr});
  QroXmlElementI* made = e.release();
  if (!parent) return made;
  if (made) w.addSubElement(parent, made);
  if (attributeName) {
    QroXmlAttributeI* a = new QroXmlAttribute(attributeName, nullptr);
    parent->addAttribute(a);
    _items.back().idAttribute = a;
  }
  return made;
}

// The array's element, with an item for its "Id" and one per entry.
__attribute__((noinline)) QroXmlElementI* QroXmlWriteRun::askArray(
    QroXmlContextI* context, QroXmlWriterI* writer, QroXmlInfo& arrayHandler,
    QroXmlElementI* parent, const std::vector<const QroRtti*>& entries) {
  QroXmlWriter w(writer);
  std::unique_ptr<QroXmlElementI> e(arrayHandler.makeElement(w, nullptr));
  _items.push_back(Item{Item::ArrayId, context, nullptr, nullptr, e.get(), nullptr});
  QroXmlElementI* made = e.release();
  if (parent) w.addSubElement(parent, made);
  for (const QroRtti* x : entries) ask(context, writer, x, made, nullptr);
  return made;
}

// ---------------------------------------------------------------------------
// Writing what was asked for.

// Writes the items down to the floor of the innermost mark, depth first,
// calling the contents from here. False at the first failure.
inline bool QroXmlWriteRun::drain(QroXmlWriterI* writer) {
  for (;;) {
    const Next next = advance(writer);
    if (next != Content) return next == Done;
    if (!writeContent()) return false;
  }
}

// The content due, with its sub-writes going to its frame when its handler
// leaves them.
__attribute__((noinline)) bool QroXmlWriteRun::writeContent() {
  const Call call = _call;
  _collecting = call.collecting;
  const bool ok = call.handler->write(_handle, call.object, call.element);
  _collecting = -1;
  if (!ok) call.context->recordUnwritable(call.object);
  return ok;
}

// Writes items until one needs its content written (Content, with _call set
// and the object's frame pushed) or the floor's items are all written.
__attribute__((noinline)) QroXmlWriteRun::Next QroXmlWriteRun::advance(QroXmlWriterI* writer) {
  const std::size_t floor = _marks.back().floor;
  for (;;) {
    if (_failed) return Failed;
    Frame& f = _frames.back();
    if (f.next < _items.size()) {
      const Next next = process(writer, f.next++);
      if (next != Done) return next;
      continue;
    }
    if (_frames.size() == floor + 1) return Done;
    _items.resize(f.first);
    _frames.pop_back();
  }
}

// An element without a handler is complete; an object already written gets
// its reference; else its "name" and "Id", and its content is due.
QroXmlWriteRun::Next QroXmlWriteRun::process(QroXmlWriterI* writer, std::size_t index) {
  const Item item = _items[index];
  if (item.kind == Item::ArrayId) {
    addIntAttribute(writer, item.element, name(QroXmlIdName), writer->assignArrayId());
    return Done;
  }
  if (!item.element) {
    item.context->recordUnwritable(item.object);
    return Failed;
  }
  QroInt id = writer->lookupId(item.object);
  if (item.handler && id < 0) {
    const QroRtti* x = item.object;
    if (x->isType(QroExtractableI::GetTypeInfo())) {
      const char* xName = static_cast<const QroExtractableI*>(x)->getName();
      if (xName) QroXmlWriter(writer).addAttribute(item.element, name(QroXmlNameName), xName);
    }
    id = writer->assignId(x);
    addIntAttribute(writer, item.element, name(QroXmlIdName), id);
    if (item.idAttribute) setIntValue(writer, item.idAttribute, id);
    _frames.push_back(Frame{_items.size(), _items.size()});
    const long frame = static_cast<long>(_frames.size()) - 1;
    _call = Call{x, item.element, item.handler, item.context,
                 item.handler->writesSubObjectsLater() ? frame : -1};
    return Content;
  }
  if (item.handler &&
      !item.handler->writeReference(QroXmlWriter(writer), item.object, item.element)) {
    item.context->recordUnwritable(item.object);
    return Failed;
  }
  if (item.idAttribute)
    setIntValue(writer, item.idAttribute, id >= 0 ? id : writer->assignId(item.object));
  return Done;
}

// ---------------------------------------------------------------------------
// Context, and the handlers' helper that writes an object below an element.

void QroXmlContextI::recordUnwritable(const QroRtti* x) {
  if (!_firstUnwritable) _firstUnwritable = QroXmlCopyText(x->getClassName());
}

QroXmlElementI* QroXmlContextI::writeExtractable(const QroRtti* x, QroXmlWriter writer,
                                                 QroXmlElementI* parent) {
  return QroXmlWriteRun::WriteObject(this, implOf(writer), x, parent);
}

bool QroXmlInfo::writeExtractableRef(QroXmlWriter writer, QroXmlElementI* parent,
                                     const QroRtti* object, const char* attributeName) const {
  QroXmlContextI* context = checkContext();
  return QroXmlWriteRun::SubObject(context, implOf(writer), parent, object, attributeName);
}
