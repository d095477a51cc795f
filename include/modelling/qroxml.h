// In-memory XML trees: elements, attributes and texts, the node lists that hold
// an element's attributes and children, their iterators, the process-wide
// small-block pool the list nodes come from, and the indented text writer.
//
// Nodes are created with new and owned by the element they are added to; every
// text a node holds is its own new[] array. Allocation failures of nodes,
// iterators and copied texts raise QroMemoryException.
#ifndef QRO_XML_H
#define QRO_XML_H

#include <cstddef>
#include <cstdint>
#include <iosfwd>

// ---------------------------------------------------------------------------
// Node pool: one per process, created on first use and torn down at exit.
// Requests of 1 to 64 bytes are served from size classes of 8, 16, ..., 64
// bytes carved from chunks that double in size (4096 bytes first); larger
// requests go to malloc and are remembered until released or until exit.
// The exit teardown frees the chunks, so trees must be destroyed before it: a
// static tree constructed before the pool's first use would be destroyed after.

class QroXmlNodeList;

class QroXmlNodePool {
 public:
  enum { ClassCount = 8, MaxPooledSize = 64, FirstChunkSize = 4096 };

  // The process-wide pool, created (and its exit teardown registered) on first
  // use. Threads share it: allocate and release take its lock.
  static QroXmlNodePool* Get();

  // A block of at least size bytes, or null when the system has no memory.
  void* allocate(std::size_t size);
  // Gives back a block obtained with allocate and the same size; null is ignored,
  // and so is a large block the pool does not hold.
  void release(void* block, std::size_t size);

  // Size of the chunk blocks are currently carved from.
  uint32_t getChunkSize() const { return _chunkSize; }
  // Blocks waiting on the free list of a size class (0 to 7, block 8 x (c + 1)).
  int32_t getFreeCount(int sizeClass) const;
  // Large blocks handed out and not yet released.
  int32_t getLargeBlockCount() const;

 private:
  void create();
  void* carve(std::size_t blockSize);
  static void Teardown();

  // Plain data: the process-wide instance is zero-initialised and needs no
  // constructor or destructor.
  void* _free[ClassCount];  // first word of a free block links to the next
  char* _next;              // next free byte of the current chunk
  char* _end;
  char* _chunk;  // current chunk; its first word links to the previous
  uint32_t _chunkSize;
  QroXmlNodeList* _large;  // large blocks, made on first use from the pool
  bool _created;
};

// ---------------------------------------------------------------------------
// Node lists. A list node (16 bytes, from the pool) holds one word and the next
// list node. Cursors registered on a list are kept valid: removing the node a
// cursor stands on moves it to the following node; clearing resets it.

struct QroXmlListNode {
  void* _element;
  QroXmlListNode* _next;
};

class QroXml_LIterator {
 public:
  // Stands on the head of the list (nothing for null); not registered.
  explicit QroXml_LIterator(const QroXmlNodeList* list = nullptr);
  // Leaves the list it is registered on.
  ~QroXml_LIterator();
  QroXml_LIterator(const QroXml_LIterator&) = delete;
  QroXml_LIterator& operator=(const QroXml_LIterator&) = delete;
  const QroXmlNodeList* getList() const { return _list; }
  QroXmlListNode* getCurrent() const { return _current; }
  void setCurrent(QroXmlListNode* node) { _current = node; }

 protected:
  const QroXmlNodeList* _list;
  QroXmlListNode* _current;

 private:
  friend class QroXmlNodeList;
  QroXml_LIterator* _nextCursor;
  QroXmlNodeList* _registeredOn;
};

class QroXmlNodeList {
 public:
  QroXmlNodeList();
  ~QroXmlNodeList();
  QroXmlNodeList(const QroXmlNodeList&) = delete;
  QroXmlNodeList& operator=(const QroXmlNodeList&) = delete;

  QroXmlListNode* getHead() const { return _head; }
  QroXmlListNode* getTail() const { return _tail; }
  int32_t getCount() const { return _count; }

  // New list node at the tail. Throws QroMemoryException when the pool is empty.
  void append(void* element);
  // Position 0 inserts first; p > 0 inserts before the p-th following node (at
  // the end when the list is shorter); a negative position appends.
  void insert(void* element, int32_t position);
  // Unlinks the first list node holding the element; false when absent.
  bool remove(const void* element);
  // Position of the first list node holding the element, or -1.
  int32_t find(const void* element) const;
  // Releases every list node and resets the registered cursors.
  void clear();
  // Unlinks the first list node and returns its element (null when empty).
  void* removeFirst();
  // Moves every list node of `other` to the front of this list, in their order;
  // `other` is left empty, its cursors reset as by clear.
  void prependAll(QroXmlNodeList& other);

  // A registered cursor walks this list and is moved by remove and clear; a
  // cursor registered on another list leaves that one first.
  void registerCursor(QroXml_LIterator* cursor);
  void unregisterCursor(QroXml_LIterator* cursor);

 private:
  QroXmlListNode* _head;
  QroXmlListNode* _tail;
  QroXml_LIterator* _cursors;
  int32_t _count;
};

// ---------------------------------------------------------------------------
// Nodes.

class QroXmlNodeI {
 public:
  enum Kind { AttributeKind = 0, ElementKind = 1, TextKind = 2 };

  QroXmlNodeI() {}
  QroXmlNodeI(const QroXmlNodeI&) = delete;
  QroXmlNodeI& operator=(const QroXmlNodeI&) = delete;
  virtual ~QroXmlNodeI();
  virtual int getKind() const = 0;
  // Writes the node as indented XML text (see the writer below).
  virtual void write(std::ostream& os) const = 0;

  // Nodes come from the system allocator; failure raises QroMemoryException.
  static void* operator new(std::size_t size);
  static void operator delete(void* p) noexcept;
};

class QroXmlAttributeI : public QroXmlNodeI {
 public:
  ~QroXmlAttributeI() override;
  int getKind() const override { return AttributeKind; }
  // name="value", the value escaped; a null value gives "".
  void write(std::ostream& os) const override;
  virtual const char* getName() const = 0;
  // Stores a copy through setNameOwned; nothing for null, null for "".
  virtual void setName(const char* name);
  // Takes a new[] array (or null), releasing the previous name.
  virtual void setNameOwned(char* name) = 0;
  virtual const char* getValue() const = 0;
  virtual void setValue(const char* value);
  virtual void setValueOwned(char* value) = 0;
};

class QroXmlAttribute : public QroXmlAttributeI {
 public:
  // Copies each text that is not null (an empty text stays empty).
  QroXmlAttribute(const char* name, const char* value);
  ~QroXmlAttribute() override;
  const char* getName() const override { return _name; }
  void setNameOwned(char* name) override;
  const char* getValue() const override { return _value; }
  void setValueOwned(char* value) override;

 private:
  char* _name;
  char* _value;
};

class QroXmlTextI : public QroXmlNodeI {
 public:
  ~QroXmlTextI() override;
  int getKind() const override { return TextKind; }
  // The text escaped, without indentation or line end; null writes nothing.
  void write(std::ostream& os) const override;
  virtual const char* getText() const = 0;
  // Stores a copy through setTextOwned; nothing for null, null for "".
  virtual void setText(const char* text);
  virtual void setTextOwned(char* text) = 0;
  // The held text followed by t; setText(t) when no text is held.
  virtual void appendText(const char* t);
};

class QroXmlText : public QroXmlTextI {
 public:
  // Copies the text (an empty text stays empty; null holds no text).
  explicit QroXmlText(const char* text);
  ~QroXmlText() override;
  const char* getText() const override { return _text; }
  void setTextOwned(char* text) override;

 private:
  char* _text;
};

class QroXmlElementI;
class QroXmlNodeIteratorI;

// Source of the attribute added by QroXmlElementI::addAttributeFrom.
class QroXmlAttributeSource {
 public:
  virtual ~QroXmlAttributeSource();
  // A new attribute node for the element, or null for none.
  virtual QroXmlAttributeI* makeAttribute(QroXmlElementI* element) = 0;
  virtual void fillAttribute(QroXmlElementI* element, QroXmlAttributeI* attribute) = 0;
};

// The interface of elements. It holds nothing: it discards every node and
// array it is handed, has no name, no attributes, no children and a false flag.
class QroXmlElementI : public QroXmlNodeI {
 public:
  ~QroXmlElementI() override;
  int getKind() const override { return ElementKind; }
  // Blanks (the indentation counter), "<" name, the attributes; then either
  // "/>" or ">", the children one step deeper and the indented "</" name ">".
  void write(std::ostream& os) const override;

  virtual const char* getName() const;
  // Stores a copy through setNameOwned; nothing for null, null for "".
  virtual void setName(const char* name);
  virtual void setNameOwned(char* name);

  // The element takes ownership of every node it is handed (null is ignored).
  // insertChildAfter puts the node right after the first occurrence of the
  // existing child; when that child is absent the tree is left as it was, the
  // node is deleted, and false is returned.
  virtual bool insertChildAfter(QroXmlNodeI* node, const QroXmlNodeI* existing);
  virtual void addChild(QroXmlNodeI* node);
  // Asks the source for a new attribute, has it filled and appends it; returns
  // the attribute, or null when the source made none.
  virtual QroXmlAttributeI* addAttributeFrom(QroXmlAttributeSource* source);
  virtual void addAttribute(QroXmlAttributeI* attribute);
  // The first attribute of that name (byte-wise comparison), or null.
  virtual QroXmlAttributeI* getAttribute(const char* name) const;

  virtual bool getFlag() const;
  virtual void setFlag(bool flag);

  // One blank and the attribute's text per attribute, in list order.
  virtual void writeAttributes(std::ostream& os) const;
  // ">" and a line end before the first child, then each child; whether there
  // was a child.
  virtual bool writeChildren(std::ostream& os) const;

  // The text of the first child of kind 2 (4, 3), or null.
  virtual const char* getText() const;
  virtual const char* getChildTextOfKind4() const;
  virtual const char* getChildTextOfKind3() const;

  // New iterators (the caller deletes them); null here.
  virtual QroXmlNodeIteratorI* getChildIterator() const;
  virtual QroXmlNodeIteratorI* getAttributeIterator() const;
};

class QroXmlElement : public QroXmlElementI {
 public:
  // Both lists empty, flag 0; a null name leaves the tag null, "" stays "".
  explicit QroXmlElement(const char* name);
  // Deletes the attributes and children after releasing the tag, in document
  // order; a subtree of any depth is deleted without one call per level.
  ~QroXmlElement() override;

  const char* getName() const override { return _name; }
  void setNameOwned(char* name) override;

  bool insertChildAfter(QroXmlNodeI* node, const QroXmlNodeI* existing) override;
  void addChild(QroXmlNodeI* node) override;
  void addAttribute(QroXmlAttributeI* attribute) override;
  QroXmlAttributeI* getAttribute(const char* name) const override;

  bool getFlag() const override { return _flag != 0; }
  void setFlag(bool flag) override { _flag = flag ? 1 : 0; }

  void writeAttributes(std::ostream& os) const override;
  bool writeChildren(std::ostream& os) const override;

  const char* getText() const override;
  const char* getChildTextOfKind4() const override;
  const char* getChildTextOfKind3() const override;

  QroXmlNodeIteratorI* getChildIterator() const override;
  QroXmlNodeIteratorI* getAttributeIterator() const override;

  const QroXmlNodeList& getChildren() const { return _children; }
  const QroXmlNodeList& getAttributes() const { return _attributes; }

 private:
  const char* childTextOfKind(int kind) const;

  char* _name;
  QroXmlNodeList _children;
  QroXmlNodeList _attributes;
  unsigned char _flag;
};

// ---------------------------------------------------------------------------
// Iterators.

class QroXmlNodeIteratorI {
 public:
  QroXmlNodeIteratorI() {}
  QroXmlNodeIteratorI(const QroXmlNodeIteratorI&) = delete;
  QroXmlNodeIteratorI& operator=(const QroXmlNodeIteratorI&) = delete;
  virtual ~QroXmlNodeIteratorI();
  virtual bool hasNext() const = 0;
  virtual QroXmlNodeI* next() = 0;

  static void* operator new(std::size_t size);
  static void operator delete(void* p) noexcept;
};

// Walks a node list from its head; not registered on the list.
class QroXmlNodeListIterator : public QroXmlNodeIteratorI, public QroXml_LIterator {
 public:
  explicit QroXmlNodeListIterator(const QroXmlNodeList* list);
  ~QroXmlNodeListIterator() override;
  bool hasNext() const override { return _current != nullptr; }
  QroXmlNodeI* next() override;
};

// Owns an inner iterator (possibly null) and forwards to it.
class QroXmlNodeIterator : public QroXmlNodeIteratorI {
 public:
  explicit QroXmlNodeIterator(QroXmlNodeIteratorI* inner) : _inner(inner) {}
  ~QroXmlNodeIterator() override;
  bool hasNext() const override { return _inner && _inner->hasNext(); }
  QroXmlNodeI* next() override { return _inner ? _inner->next() : nullptr; }

 private:
  QroXmlNodeIteratorI* _inner;
};

// ---------------------------------------------------------------------------
// Writer state: the calling thread's indentation counter (blanks, 0 at start)
// and its step (2). Every write leaves the counter as it found it.

uint32_t QroXmlIndentation();
uint32_t QroXmlIndentationStep();

// A new[] copy of the text, or null for null; QroMemoryException on failure.
char* QroXmlCopyText(const char* text);

#endif
