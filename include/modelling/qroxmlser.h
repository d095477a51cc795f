// XML serialisation of modelling objects: writers that number objects as they
// are written (an object met again is written as a reference), readers that
// link identifiers to the objects rebuilt, per-class handlers and the context
// that registers them by run-time type index and by element tag.
//
// Failures that are not misuse are reported by null or false results; the
// context records the class of the first object it could not write and the
// tags and identifiers of the elements it could not read.
//
// QroXmlStrLen is the one exception thrown by pointer: a tag of 256 characters
// or more raises `throw new QroXmlStrLen`, so callers catch QroException* (or
// QroXmlStrLen*) and delete the object.
#ifndef QRO_XMLSER_H
#define QRO_XMLSER_H

#include <cstddef>
#include <exception>
#include <iosfwd>

#include "qroextractable.h"
#include "qrohash.h"
#include "qropointertable.h"
#include "qrovar.h"
#include "qroxml.h"

// ---------------------------------------------------------------------------
// Vocabulary: the element and attribute names of the model format.

enum { QroXmlVocabularySize = 300 };
extern const char* const QroXmlVocabulary[QroXmlVocabularySize];

// Positions in the vocabulary of the names the framework and the solver's
// handlers use.
enum QroXmlNameIndex {
  QroXmlUnknownTag = 1,
  QroXmlExtractableTag = 43,
  QroXmlIntExprArrayTag = 61,
  QroXmlIntVarArrayTag = 99,
  QroXmlIntArrayTag = 180,
  QroXmlVarsName = 198,
  QroXmlValuesName = 205,
  QroXmlArray1Name = 208,
  QroXmlArray2Name = 209,
  QroXmlExprArrayName = 222,
  QroXmlCstName = 249,
  QroXmlIdName = 254,
  QroXmlRefIdName = 255,
  QroXmlNameName = 260,
  QroXmlMinusInfinityText = 284,
  QroXmlInfinityText = 292
};

// 2^53 - 1, written "Infinity" (and its opposite "-Infinity").
const QroInt QroXmlIntInfinity = QroIntMax;

// ---------------------------------------------------------------------------
// Exceptions.

class QroXmlNotExtractable : public QroException {
 public:
  QroXmlNotExtractable() : QroException("The object is not an QroExtractable") {}
  ~QroXmlNotExtractable() override;
};

class QroXmlReadExtractable : public QroException {
 public:
  QroXmlReadExtractable()
      : QroException("ERROR: Try to read a QroExtractable from the XML file.") {}
  ~QroXmlReadExtractable() override;
};

class QroXmlwriteSolution : public QroException {
 public:
  QroXmlwriteSolution() : QroException("Bad method called.") {}
  ~QroXmlwriteSolution() override;
};

// Thrown by pointer (see the head of this file).
class QroXmlStrLen : public QroException {
 public:
  QroXmlStrLen() : QroException("XML are limited to 256 characters") {}
  ~QroXmlStrLen() override;
};

class QroXmlregisterTypeIndex : public QroException {
 public:
  QroXmlregisterTypeIndex() : QroException("Problem in the register of the xml classes.") {}
  ~QroXmlregisterTypeIndex() override;
};

// A read or a write nested in more than QroXmlContextI::MaxNesting others.
class QroXmlTooDeep : public QroException {
 public:
  enum Operation { Reading, Writing };
  explicit QroXmlTooDeep(Operation operation = Reading)
      : QroException(operation == Reading ? "XML elements nested too deeply to be read"
                                          : "XML elements nested too deeply to be written") {}
  ~QroXmlTooDeep() override;
};

// A typed read whose element gives an object of another kind: an array, or an
// extractable of another class. The message names both.
class QroXmlWrongKind : public QroException {
 public:
  explicit QroXmlWrongKind(const char* message) : QroException(message, 1) {}
  ~QroXmlWrongKind() override;
};

// ---------------------------------------------------------------------------
// Arrays written by the array writers.

// (QroIntVarArray, the integer variables, comes with the variables.)
typedef QroArrayOf<QroIntExprI*> QroIntExprArray;

// Reads the stream form of an integer array: "[", values separated by ",",
// then "]" (or ";"). Blanks are skipped before brackets and separators. When
// the first character is not "[" nothing is read and the array is unchanged;
// otherwise the array is emptied and refilled. Each value is read as a
// floating-point number and truncated; values beyond the 64-bit range are
// clamped. Any other separator ends the array and sets the stream's badbit.
std::istream& operator>>(std::istream& is, QroIntArray& array);

// "Infinity" and "-Infinity" give plus and minus 2^53 - 1; otherwise the
// decimal prefix after blanks, clamped to 64 bits (0 when there is none).
QroInt QroXmlParseInt(const char* text);

// ---------------------------------------------------------------------------
// Writer.

class QroXmlWriteRun;

class QroXmlWriterI : public QroEnvObjectI {
 public:
  explicit QroXmlWriterI(QroEnvI* env);
  ~QroXmlWriterI() override;
  QroXmlWriterI(const QroXmlWriterI&) = delete;
  QroXmlWriterI& operator=(const QroXmlWriterI&) = delete;

  // The identifiers as the objects written so far give them. Asked from the
  // content of a handler whose sub-writes wait (QroXmlInfo::
  // writesSubObjectsLater), these first write what waits.
  // The object's identifier, or -1 when it has none yet.
  QroInt findId(const void* object) const;
  // The object's identifier, given now (last identifier + 1) when it has none.
  QroInt getId(const void* object);
  // A fresh identifier under a new one-word key (each array write has one).
  QroInt newArrayId();
  QroInt getLastId() const;

 private:
  friend class QroXmlWriteRun;
  QroInt lookupId(const void* object) const;
  QroInt assignId(const void* object);
  QroInt assignArrayId();
  void flushWaiting() const;

  QroAddressHashTable<QroInt>* _ids;
  QroInt _lastId;
  void* _arrayKeys;      // chain of the array keys; each key's word links the previous
  QroXmlWriteRun* _run;  // the context's write in progress with this writer, or null
};

class QroXmlWriter {
 public:
  QroXmlWriter(QroXmlWriterI* impl = nullptr) : _impl(impl) {}
  // A new writer with an empty object table (first identifier 1).
  explicit QroXmlWriter(const QroEnv& env);
  // QroWrongUsage "QroXmlWriter: using empty handle" when empty.
  QroXmlWriterI* getImpl() const { return check(); }
  bool isEmpty() const { return _impl == nullptr; }
  // Destroys the writer; the handle becomes empty.
  void end();

  // A new element with that tag (owned by the caller until added to a parent).
  QroXmlElementI* createElement(const char* tag) const;
  // Appends a new attribute (copies of the texts); nothing for a null element.
  void addAttribute(QroXmlElementI* element, const char* name, const char* value) const;
  // Appends a new text child; nothing for a null element.
  void addText(QroXmlElementI* element, const char* text) const;
  // Appends the node to the parent, which owns it from then on.
  void addSubElement(QroXmlElementI* parent, QroXmlNodeI* node) const;
  // New character arrays, released with freeString: "Infinity" for 2^53 - 1,
  // "-Infinity" for its opposite, otherwise the decimal form; the stream form
  // of an integer array ("" for an empty handle).
  char* toString(QroInt value) const;
  char* toString(const QroIntArray& array) const;
  void freeString(char* text) const;

 private:
  QroXmlWriterI* check() const {
    if (!_impl) ThrowEmpty();
    return _impl;
  }
  [[noreturn]] static void ThrowEmpty();
  QroXmlWriterI* _impl;
};

// ---------------------------------------------------------------------------
// Reader.

// The objects rebuilt, indexed by identifier. Extractables are linked typed
// (their type can be tested); other objects, such as arrays, are linked
// untyped. Every extractable linked is of the handler's environment.
//
// The handler is a holder while it lives: it raises the use count of each
// use-counted expression it links (once per expression), so that a later
// reference may still name it, and gives the counts back when it ends. What
// was read then lives on as if built through the API: an expression that
// lost a holder while the handler held it (a holder that counted it was
// destroyed), and that nothing holds any more, is destroyed with the
// handler's hold, as the holder's end would have destroyed it; one that nothing else ever held (the
// object a document reads, say) stays, with count 0, as a fresh expression
// does. An expression ended while held is left alone.
//
// The arrays linked through addLink2Array are its own (kept in a copy made
// in its environment): it ends them when it ends, unless they were ended
// before, which it notices.
class QroXmlObjectHandler {
 public:
  // Identifiers above this limit are refused: a document cannot make the
  // table grow without bound.
  enum { MaxId = (1 << 24) - 1 };

  explicit QroXmlObjectHandler(QroEnvI* env);
  // Ends the handler when QroXmlObjectHandler::end was not called (nothing
  // that fails is then thrown).
  ~QroXmlObjectHandler();
  QroXmlObjectHandler(const QroXmlObjectHandler&) = delete;
  QroXmlObjectHandler& operator=(const QroXmlObjectHandler&) = delete;

  // QroWrongUsage for a negative or too large identifier (what a link refuses).
  static void checkId(QroInt id);
  // QroWrongUsage for a negative (or too large) identifier or an extractable
  // of another environment, QroEmptyHandleException once ended; the table
  // grows with null entries.
  void addLink2Obj(QroInt id, QroExtractableI* object);
  void addLink2Obj(QroInt id, void* object);
  // Links a copy of an array read from a document, and ends the array (also
  // when the link is refused); the copy, which the handler owns.
  QroArrayI* addLink2Array(QroInt id, QroArrayI* array);
  // QroWrongUsage for a negative identifier; null when nothing is linked.
  void* getObjectById(QroInt id) const;
  // The object when it was linked as an extractable, else null.
  QroExtractableI* getExtractableById(QroInt id) const;
  QroInt getSize() const;
  // Gives back the use counts it raised (of the expressions still alive),
  // ends its arrays and forgets every link. The first failure of the
  // destructions that follow (see QroEnvI::destroyExtractable) is thrown
  // once all of that is done.
  void end();

 private:
  // Hears of the expressions destroyed while held (an explicit end), whose
  // counts are not given back, and of the holders destroyed, whose held
  // operands become orphans.
  class EndWatch : public QroChangeListenerI {
   public:
    explicit EndWatch(QroXmlObjectHandler* handler) : _handler(handler) {}
    void change(QroChange* change, QroExtractableI* x) override;

   private:
    void destroyed(QroExtractableI* x);
    QroXmlObjectHandler* _handler;
  };
  // The allocator of the arrays it owns: notices those ended by others.
  class ArrayAlloc : public QroFlormAlloc {
   public:
    ArrayAlloc(QroEnvI* env, QroPointerTable* owned) : QroFlormAlloc(env), _owned(owned) {}
    ~ArrayAlloc() override;
    void free(void* p, size_t size) override;

   private:
    QroPointerTable* _owned;
  };

  void link(QroInt id, void* object, QroInt typed);
  void hold(QroNumExprI* expression);
  std::exception_ptr giveBack();
  void giveBack(QroNumExprI* x, bool orphan, std::exception_ptr& failure);
  void endArrays();
  QroEnvI* _env;
  QroArrayOf<void*> _objects;
  QroIntArray _typed;
  QroArrayOf<void*> _held;    // the expressions held, in the order taken
  QroPointerTable _holding;   // those still alive and held, to themselves or to a
                              // mark once a holder of theirs was destroyed
  QroArrayOf<void*> _arrays;  // the arrays it made, in order
  QroPointerTable _owned;     // those of them not ended yet
  ArrayAlloc _arrayAlloc;
  EndWatch _watch;
  bool _watching;
};

class QroXmlReadRun;

class QroXmlReaderI : public QroEnvObjectI {
 public:
  explicit QroXmlReaderI(QroEnvI* env);
  ~QroXmlReaderI() override;
  QroXmlObjectHandler& getObjectHandler() { return _objects; }
  const QroXmlObjectHandler& getObjectHandler() const { return _objects; }

  // Elements whose sub-elements were read within the running outermost read
  // (a read does not walk the same subtree again); forgotten when it ends.
  void enterRead() { ++_readDepth; }
  void leaveRead();
  // Reads in progress, each nested in the one before.
  QroInt getReadDepth() const { return _readDepth; }
  bool isSubRead(const QroXmlElementI* element) const;
  void markSubRead(const QroXmlElementI* element);

 private:
  friend class QroXmlReadRun;
  QroXmlObjectHandler _objects;
  QroPointerTable _subRead;
  QroInt _readDepth;
  QroXmlReadRun* _run;  // the context's read in progress with this reader, or null
};

class QroXmlReader {
 public:
  QroXmlReader(QroXmlReaderI* impl = nullptr) : _impl(impl) {}
  // A new reader with an empty object table.
  explicit QroXmlReader(const QroEnv& env);
  // QroWrongUsage "QroXmlReader: using empty handle" when empty.
  QroXmlReaderI* getImpl() const { return check(); }
  bool isEmpty() const { return _impl == nullptr; }
  // Destroys the reader, which gives back what its object table holds (see
  // QroXmlObjectHandler); the handle becomes empty. What the table's end
  // throws is thrown once the reader is destroyed.
  void end();

  QroEnv getEnv() const;
  void* getObjectById(QroInt id) const;
  QroExtractableI* getExtractableById(QroInt id) const;
  void addLink2Obj(QroInt id, QroExtractableI* object) const;
  void addLink2Obj(QroInt id, void* object) const;

  // The value of the element's first attribute of that name, or null.
  const char* getAttributeValue(const QroXmlElementI* element, const char* name) const;
  // The text of the first child of kind 4, else of the first text child, or null.
  const char* getText(const QroXmlElementI* element) const;
  QroXmlElementI* getFirstChildElement(const QroXmlElementI* element) const;
  QroInt countChildElements(const QroXmlElementI* element) const;
  // The first child element with that tag; null for a null parent or none.
  QroXmlElementI* findElement(const QroXmlElementI* parent, const char* name) const;
  // False when the attribute is absent; else its value as parseInt reads it.
  bool readIntAttribute(const QroXmlElementI* element, const char* name, QroInt& result) const;
  // QroXmlParseInt.
  QroInt parseInt(const char* text) const;
  // A new array in the reader's environment read from the text (empty when
  // the text is null or does not start with "[").
  QroIntArray readIntArray(const char* text) const;
  // True when the object linked to the identifier is an extractable of that type.
  bool isObjectOfType(QroTypeInfo type, QroInt id) const;

 private:
  QroXmlReaderI* check() const {
    if (!_impl) ThrowEmpty();
    return _impl;
  }
  [[noreturn]] static void ThrowEmpty();
  QroXmlReaderI* _impl;
};

// ---------------------------------------------------------------------------
// Handlers.

class QroXmlContextI;
class QroSolutionElementI;

// Tag key of the context's tables: the tag (terminated) and the environment.
struct QroXmlTagKey {
  char tag[256];
  QroEnvI* env;
};

// The handler of one modelling class: its element tag, how to write an object
// below an element and how to rebuild it from an element. Handlers handed to
// a context belong to it; they may come from an environment (new (env)) or
// from the system allocator (plain new).
class QroXmlInfo {
 public:
  // The tag text is copied (null: the class's own tag).
  explicit QroXmlInfo(QroXmlContextI* context, const char* tag = nullptr);
  virtual ~QroXmlInfo();
  QroXmlInfo(const QroXmlInfo&) = delete;
  QroXmlInfo& operator=(const QroXmlInfo&) = delete;

  static void* operator new(std::size_t size);
  static void* operator new(std::size_t size, QroEnvI* env);
  static void operator delete(void* p) noexcept;
  static void operator delete(void* p, QroEnvI* env) noexcept;

  QroXmlContextI* getContext() const { return _context; }

  // The element tag: the copied tag text when given, else "extractable".
  virtual const char* getTagName() const;
  // A new element named getTagName(), made through the writer.
  virtual QroXmlElementI* makeElement(QroXmlWriter writer, const QroRtti* object);
  // The element's content. The base forwards to writeBody, which answers
  // false; handlers override either and forward to their typed writer.
  virtual bool writeContent(QroXmlWriter writer, const QroRtti* object, QroXmlElementI* element);
  virtual bool writeBody(QroXmlWriter writer, const QroRtti* object, QroXmlElementI* element);
  // QroXmlNotExtractable unless the object is an extractable; then writeContent.
  virtual bool write(QroXmlWriter writer, const QroRtti* object, QroXmlElementI* element);
  // The "RefId" attribute with the object's identifier (given now when new).
  virtual bool writeReference(QroXmlWriter writer, const QroRtti* object, QroXmlElementI* element);
  virtual bool writeRefId(QroXmlWriter writer, const QroRtti* object, QroXmlElementI* element);

  virtual QroExtractableI* read(QroXmlReader reader, const QroXmlElementI* element);
  // QroXmlReadExtractable in the base; handlers rebuild their object.
  virtual QroExtractableI* readExtractable(QroXmlReader reader, const QroXmlElementI* element);
  // Reads the sub-elements first; null when that fails, else read.
  virtual QroExtractableI* readWithSubElements(QroXmlReader reader, const QroXmlElementI* element);
  // What the context calls for the tags of its first table.
  virtual QroExtractableI* readElement(QroXmlReader reader, const QroXmlElementI* element);
  // The extractable check of write (no value is written: false).
  virtual bool writeValueOfExtractable(QroXmlWriter writer, QroXmlElementI* element,
                                       const QroRtti* object);
  // Null in the base; the array handlers read their array.
  virtual void* readObject(QroXmlReader reader, const QroXmlElementI* element);
  // What the context calls for the tags of its second table.
  virtual void* readObjectWithSubElements(QroXmlReader reader, const QroXmlElementI* element);
  // True when readElement and readObjectWithSubElements begin by reading the
  // element's sub-elements and give null when that fails, as the base ones
  // do: the context then reads the sub-elements beforehand, so that depth
  // costs no stack, and calls this handler only when they were read. A
  // handler that overrides either otherwise answers false; its reads nest.
  virtual bool readsSubElementsFirst() const { return true; }
  // True when the handler's content treats a sub-write that fails as its own
  // failure and keeps the elements it hands to the sub-writes in the tree it
  // writes: the context then writes the objects its content asks for through
  // writeExtractableRef, writeIntVarArray and writeIntExprArray after the
  // content, in the order asked, so that depth costs no stack. Each element
  // is placed where it was asked for and the output is the same as written
  // at once; those helpers answer true unless the failure is known at once,
  // and a failure found later is the failure of the outermost write. A
  // handler that uses their results otherwise answers false; its writes nest.
  virtual bool writesSubObjectsLater() const { return true; }
  // Writing the saved record of an object: QroXmlwriteSolution in every handler.
  virtual bool writeSolution(QroXmlWriter writer, const QroSolutionElementI* saved,
                             QroXmlElementI* element);

  // Helpers for the handlers.
  // An "intArray" element holding the array's text; the caller appends it.
  QroXmlElementI* writeIntArray(QroXmlWriter writer, const QroIntArray& array) const;
  // Appends to the array the values of the child "intArray"; false when the
  // child or its text is missing.
  bool readIntArray(QroXmlReader reader, const QroXmlElementI* element, QroIntArray& array) const;
  bool hasAttribute(QroXmlReader reader, const QroXmlElementI* element, const char* name) const;
  // Whether the element's "Id" (else "RefId"), or failing that its first
  // child's, names an object already read; the identifier is left in id.
  bool isAlreadyRead(QroXmlReader reader, const QroXmlElementI* element, QroInt& id) const;
  // Writes the object below the parent and, when a name is given, that
  // attribute on the parent with the object's identifier. False for a null
  // object or parent.
  bool writeExtractableRef(QroXmlWriter writer, QroXmlElementI* parent, const QroRtti* object,
                           const char* attributeName) const;
  // An "intVarArray" / "intExprArray" element with a fresh "Id" holding each
  // entry; false (nothing appended) at a null entry or an entry not written,
  // and for a null parent.
  bool writeIntVarArray(QroXmlWriter writer, QroXmlElementI* parent,
                        const QroIntVarArray& array) const;
  bool writeIntExprArray(QroXmlWriter writer, QroXmlElementI* parent,
                         const QroIntExprArray& array) const;
  // The context's sub-element reading.
  bool readSubElements(QroXmlReader reader, const QroXmlElementI* element) const;

 protected:
  QroXmlContextI* checkContext() const;

 private:
  char* _tag;
  QroXmlContextI* _context;
};

class QroXmlInfo_IntVarArray : public QroXmlInfo {
 public:
  explicit QroXmlInfo_IntVarArray(QroXmlContextI* context) : QroXmlInfo(context) {}
  ~QroXmlInfo_IntVarArray() override;
  const char* getTagName() const override;
  // A new QroArrayI (entries QroNumVar) in the context's environment, or null
  // when a child is not a variable already read. The caller's; read through
  // the context, the reader's (see QroXmlObjectHandler::addLink2Array).
  void* readObject(QroXmlReader reader, const QroXmlElementI* element) override;
  // Writes the array below the parent; its identifier, or -1.
  QroInt writeTyped(QroXmlWriter writer, const QroIntVarArray& array, QroXmlElementI* parent) const;
};

class QroXmlInfo_IntExprArray : public QroXmlInfo {
 public:
  explicit QroXmlInfo_IntExprArray(QroXmlContextI* context) : QroXmlInfo(context) {}
  ~QroXmlInfo_IntExprArray() override;
  const char* getTagName() const override;
  // A new QroArrayI (entries QroIntExprI*), or null when a child is not an
  // integer expression already read; owned as above.
  void* readObject(QroXmlReader reader, const QroXmlElementI* element) override;
  QroInt writeTyped(QroXmlWriter writer, const QroIntExprArray& array,
                    QroXmlElementI* parent) const;
};

// ---------------------------------------------------------------------------
// Context.

// The registry of handlers: a plug-in (its type token is QroPlugIn's) that
// the environment's plug-in registry keeps under "XMLCONTEXT".
class QroXmlContextI : public QroPlugIn {
 public:
  static const char* const PlugInName;  // "XMLCONTEXT"

  // The context has the two array handlers in its second tag table.
  explicit QroXmlContextI(QroEnvI* env);
  // Deletes every handler it was handed.
  ~QroXmlContextI() override;

  // A new context in the environment, added to its plug-in registry under
  // "XMLCONTEXT" (which attaches the add-ons registered under that name).
  static QroXmlContextI* Make(QroEnvI* env);

  // Entry t of the handler array becomes h (the context owns h from now on);
  // then h's tag goes into the tag table: a tag of 256 characters or more
  // throws a new QroXmlStrLen, a tag already there QroXmlregisterTypeIndex.
  // A negative type index is QroWrongUsage.
  void registerXmlInfo(QroInt typeIndex, QroXmlInfo* h);
  // The handler of a type index, or null.
  QroXmlInfo* getXmlInfo(QroInt typeIndex) const;
  // The handler of a tag in the first (second) table, or null; the tag
  // length is checked as in registration.
  QroXmlInfo* findXmlInfo(const char* tag) const;
  QroXmlInfo* findObjectXmlInfo(const char* tag) const;

  // Writes x below the parent (when given) and returns its element: in full
  // the first time ("name", "Id", then the handler's content), as "RefId"
  // afterwards. An object without a handler gives an "Unknown" element when
  // the unhandled-object setting is -1, else null (its class is recorded).
  // Without a parent the caller owns the element. A write that fails, or
  // throws, leaves the parent and the writer as they were: its element is
  // deleted and the identifiers it gave are taken back (the context keeps
  // the class it records).
  QroXmlElementI* writeExtractable(const QroRtti* x, QroXmlWriter writer, QroXmlElementI* parent);
  // The object of an element: rebuilt by the handler of its tag the first time
  // its "Id" is seen (and linked), the linked object afterwards; the object
  // of its "RefId"; else the object of its first child element; else null.
  // An "Id" that the reader cannot link (QroXmlObjectHandler::checkId) throws
  // QroWrongUsage before the handler of the tag reads or builds anything.
  void* readElement(QroXmlReader reader, const QroXmlElementI* element);
  // readElement for a caller that expects an extractable of a type (any
  // extractable for QroExtractableI's token): the object read, or null when
  // nothing was read; QroXmlWrongKind when the object is not an extractable
  // (an array) or is one of another class (what was read stays linked).
  QroExtractableI* readElementOfType(QroXmlReader reader, const QroXmlElementI* element,
                                     QroTypeInfo type);
  // The same for a class: context->readElementAs<QroModelI>(reader, tree).
  template <class T>
  T* readElementAs(QroXmlReader reader, const QroXmlElementI* element) {
    return static_cast<T*>(readElementOfType(reader, element, T::GetTypeInfo()));
  }
  // Reads each child element (after the children of a child with more than
  // one child element); false when a child carrying "Id" cannot be read.
  bool readSubElements(QroXmlReader reader, const QroXmlElementI* element);
  // Reads and writes go through trees of any depth with an explicit stack.
  // Only handlers whose readsSubElementsFirst (writesSubObjectsLater) is false
  // nest a read (write) per level, as do a handler's direct calls of
  // readElement, readSubElements and writeExtractable and its questions to
  // the writer while its sub-writes wait: a read or write inside more than
  // MaxNesting others of the same reader or writer throws QroXmlTooDeep.
  // A nested level takes at most about 250 bytes of stack in an optimised
  // build and 350 with the address sanitizer, besides the handler's own
  // frames: the deepest nesting fits in a main thread's 8 MiB with room to
  // spare, and a thread that reads or writes through nesting handlers needs
  // MaxNesting times a level, 3 MiB (5 MiB sanitized) with small handlers.
  // A refused read leaves linked the objects read before the refusal, each
  // whole; a refused write leaves nothing (see writeExtractable).
  static const QroInt MaxNesting = 10000;

  QroInt getUnhandledSetting() const { return _unhandled; }
  void setUnhandledSetting(QroInt setting) { _unhandled = setting; }
  // The class of the first object not written, or null.
  const char* getFirstUnwritableClass() const { return _firstUnwritable; }
  // The elements not read: their tags and identifiers.
  QroInt getUnreadCount() const { return _unreadIds.getSize(); }
  const char* getUnreadTag(QroInt i) const { return _unreadTags[i]; }
  QroInt getUnreadId(QroInt i) const { return _unreadIds[i]; }

 private:
  typedef QroEnvHashTable<QroXmlTagKey*, QroXmlInfo*> TagTable;
  static QroInt HashKey(QroXmlTagKey* key, QroInt n);
  static bool SameKey(QroXmlTagKey* stored, QroXmlTagKey* key);
  void fillKey(QroXmlTagKey& key, const char* tag) const;
  void insertTag(TagTable* table, QroXmlInfo* h);
  QroXmlInfo* findIn(const TagTable* table, const char* tag) const;
  void adopt(QroXmlInfo* h);
  void recordUnwritable(const QroRtti* x);
  void release();
  friend class QroXmlReadRun;
  friend class QroXmlWriteRun;
  void recordUnread(const char* tag, QroInt id);

  QroInt _unhandled;
  QroArrayOf<QroXmlInfo*> _handlers;
  QroArrayOf<const char*> _unreadTags;
  QroIntArray _unreadIds;
  char* _firstUnwritable;
  TagTable* _tags;
  TagTable* _objectTags;
  QroArrayOf<QroXmlInfo*> _owned;
};

class QroXmlContext {
 public:
  QroXmlContext(QroXmlContextI* impl = nullptr) : _impl(impl) {}
  // QroWrongUsage "QroXmlContext: using empty handle" when empty.
  QroXmlContextI* getImpl() const;
  void registerXmlInfo(QroInt typeIndex, QroXmlInfo* h) const {
    getImpl()->registerXmlInfo(typeIndex, h);
  }

 private:
  QroXmlContextI* _impl;
};

#endif
