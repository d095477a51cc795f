// The context's writing of objects into element trees, with an explicit stack
// (qroxmlcontextwrite.cpp). Used by the context, the handlers' helpers and the
// writer.
#ifndef QRO_XMLWRITERUN_H
#define QRO_XMLWRITERUN_H

#include <cstddef>
#include <vector>

#include "qroxmlser.h"

class QroXmlWriteRun {
 public:
  QroXmlWriteRun() = default;
  QroXmlWriteRun(const QroXmlWriteRun&) = delete;
  QroXmlWriteRun& operator=(const QroXmlWriteRun&) = delete;

  // An array element made by the array handler, with a fresh "Id" and the
  // entries below it, appended to the parent once written; its identifier, or
  // -1 (nothing appended) for a null parent or entry or an entry not written.
  static QroInt WriteArray(QroXmlContextI* context, QroXmlWriterI* writer, QroXmlInfo& arrayHandler,
                           QroXmlElementI* parent, const std::vector<const QroRtti*>& entries);
  // The handlers' helpers: while the content of a handler whose sub-writes
  // wait is running with the writer, the write is asked for and written after
  // the content; otherwise it is written at once.
  static bool SubArray(QroXmlContextI* context, QroXmlWriterI* writer, QroXmlInfo& arrayHandler,
                       QroXmlElementI* parent, const std::vector<const QroRtti*>& entries);
  // Writes what the running content asked for so far, so that the writer's
  // identifiers are those of the objects it asked for.
  static void Flush(QroXmlWriterI* writer);

 private:
  friend class QroXmlContextI;
  friend class QroXmlInfo;
  friend class QroXmlWriterI;

  // x below the parent, as QroXmlContextI::writeExtractable; and the object
  // asked for by QroXmlInfo::writeExtractableRef. Defined inline where used.
  static QroXmlElementI* WriteObject(QroXmlContextI* context, QroXmlWriterI* writer,
                                     const QroRtti* x, QroXmlElementI* parent);
  static bool SubObject(QroXmlContextI* context, QroXmlWriterI* writer, QroXmlElementI* parent,
                        const QroRtti* x, const char* attributeName);

  // A write asked for: an object's element (placed in its parent when asked
  // for, null when none could be made), or the "Id" of an array element.
  struct Item {
    enum Kind { Object, ArrayId };
    Kind kind;
    QroXmlContextI* context;
    const QroRtti* object;
    QroXmlInfo* handler;  // null: the object has no handler
    QroXmlElementI* element;
    QroXmlAttributeI* idAttribute;  // given the object's identifier once written
  };
  // An object whose content was written: its items are those from `first` to
  // the first of the next frame; `next` is the first one not written yet.
  struct Frame {
    std::size_t first;
    std::size_t next;
  };
  // A write or flush in progress: the frames it runs down to (`floor` stays)
  // and where it started, to go back to.
  struct Mark {
    std::size_t frames;
    std::size_t floor;
    std::size_t given;
    QroInt lastId;
    long collecting;
    std::size_t root;  // the item of the write's own element
    bool handed;       // that element was handed to the parent
  };
  // The content write that is due.
  struct Call {
    const QroRtti* object;
    QroXmlElementI* element;
    QroXmlInfo* handler;
    QroXmlContextI* context;
    long collecting;  // the frame its sub-writes go to, or -1
  };
  enum Next { Done, Failed, Content };

  static QroXmlElementI* Outermost(QroXmlContextI* context, QroXmlWriterI* writer, const QroRtti* x,
                                   QroXmlElementI* parent);
  static QroInt OutermostArray(QroXmlContextI* context, QroXmlWriterI* writer,
                               QroXmlInfo& arrayHandler, QroXmlElementI* parent,
                               const std::vector<const QroRtti*>& entries);
  QroXmlElementI* writeObject(QroXmlContextI* context, QroXmlWriterI* writer, const QroRtti* x,
                              QroXmlElementI* parent);
  QroInt writeArray(QroXmlContextI* context, QroXmlWriterI* writer, QroXmlInfo& arrayHandler,
                    QroXmlElementI* parent, const std::vector<const QroRtti*>& entries);
  void flush(QroXmlWriterI* writer);

  void enter(QroXmlWriterI* writer, std::size_t floor, std::size_t frames);
  void beginObject(QroXmlContextI* context, QroXmlWriterI* writer, const QroRtti* x);
  QroXmlElementI* endObject(QroXmlWriterI* writer, QroXmlElementI* parent);
  void failWrite(QroXmlWriterI* writer);
  void leave(QroXmlWriterI* writer, bool failed);
  void leaveFlush();
  void cut(std::size_t frames);
  QroXmlElementI* ask(QroXmlContextI* context, QroXmlWriterI* writer, const QroRtti* x,
                      QroXmlElementI* parent, const char* attributeName);
  QroXmlElementI* askArray(QroXmlContextI* context, QroXmlWriterI* writer, QroXmlInfo& arrayHandler,
                           QroXmlElementI* parent, const std::vector<const QroRtti*>& entries);
  bool drain(QroXmlWriterI* writer);
  bool writeContent();
  Next advance(QroXmlWriterI* writer);
  Next process(QroXmlWriterI* writer, std::size_t index);
  void given(const void* key) { _given.push_back(key); }

  std::vector<Item> _items;
  std::vector<Frame> _frames;
  std::vector<Mark> _marks;         // writes and flushes in progress, innermost last
  std::vector<const void*> _given;  // keys given identifiers during the run, in order
  Call _call = Call{nullptr, nullptr, nullptr, nullptr, -1};
  QroXmlWriter _handle;
  long _collecting = -1;  // frame whose content is running with sub-writes waiting
  bool _failed = false;   // a flush failed: the write around it fails
};

#endif
