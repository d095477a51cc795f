// Reversible memory of the engine: word stacks of chained blocks, memory stacks
// popped back to a mark on backtracking, trails of (address, old word) pairs,
// stamped reversible words, and the memo and copy stacks of expression copying.
#ifndef QRC_MEMORY_H
#define QRC_MEMORY_H

#include <cstddef>
#include <cstring>

#include "qrctypes.h"

struct alignas(16) QrcStackBlock {
  QrcWord* words;
  QrcInt capacity;  // in words
  QrcInt first;     // index of words[0] in the whole stack
  QrcStackBlock* prev;
  QrcStackBlock* next;
  QrcInt position;  // in the chain, from 0
};

// A stack of words in chained blocks of at least 4000 words.
class QrcBlockStack {
 public:
  static const QrcInt BlockWords = 4000;

  explicit QrcBlockStack(QrcManagerI* manager);
  ~QrcBlockStack();
  QrcBlockStack(const QrcBlockStack&) = delete;
  QrcBlockStack& operator=(const QrcBlockStack&) = delete;

  // Room for n more words in the current block, else moves on to the next one.
  void ensure(QrcInt n) {
    if (_cursor + n > _end) moveOn(n);
  }
  // Inline while the index stays in the current block.
  void setTop(QrcInt index) {
    QrcStackBlock* b = _current;
    QrcInt offset = index - b->first;
    if (offset >= 0 && offset <= b->capacity && (!b->next || index < b->next->first)) {
      _cursor = b->words + offset;
      _top = index;
      return;
    }
    setTopAcross(index);
  }
  QrcWord pop() {
    if (_top > 0 && _cursor != _current->words) {
      --_top;
      return *--_cursor;
    }
    return popAcross();
  }
  void push(QrcWord word) {
    ensure(1);
    *_cursor++ = word;
    ++_top;
  }
  // n words at once, in the order given; they stay in one block.
  void pushWords(const QrcWord* words, QrcInt n) {
    ensure(n);
    for (QrcInt i = 0; i < n; ++i) _cursor[i] = words[i];
    _cursor += n;
    _top += n;
  }
  // The top n words, back in the order they were pushed.
  void popWords(QrcWord* words, QrcInt n) {
    if (_cursor - _current->words >= n && _top >= n) {
      _cursor -= n;
      _top -= n;
      for (QrcInt i = 0; i < n; ++i) words[i] = _cursor[i];
      return;
    }
    for (QrcInt i = n; i-- > 0;) words[i] = pop();
  }
  QrcInt getTop() const { return _top; }
  QrcUInt getBytes() const { return _bytes; }
  QrcManagerI* getManager() const { return _manager; }
  // Number of blocks in the chain (for tests and statistics).
  QrcInt getBlockCount() const { return _blockCount; }
  // Whether p lies in one of the blocks.
  bool holds(const void* p) const;

 protected:
  void moveOn(QrcInt n);
  void setTopAcross(QrcInt index);
  QrcWord popAcross();
  void freeBlocksAfter(QrcStackBlock* block);
  void appendBlock(QrcStackBlock* block);
  void rewind();
  [[noreturn]] void internalError(const char* text);

  // Makes block the current one.
  void enter(QrcStackBlock* block) {
    _current = block;
    _end = block->words + block->capacity;
  }

  QrcStackBlock* _current;
  QrcStackBlock* _firstBlock;
  QrcWord* _cursor;
  // End of the current block's words.
  QrcWord* _end;
  QrcInt _top;
  QrcUInt _bytes;
  QrcManagerI* _manager;
  QrcInt _limit;
  // The chain in order, so that a far index is found without walking it.
  // Blocks from _liveBlocks on hold nothing (their first is INT64_MAX).
  QrcStackBlock** _blocks;
  QrcInt _blockCount;
  QrcInt _blockCapacity;
  QrcInt _liveBlocks;
};

// Object storage handed out in 16-byte multiples, popped back to a mark.
// Mode 1 bumps a cursor in blocks; mode 2 makes one system allocation per
// object (recorded with the tag 12345 so that popTo frees it); mode 0 is a
// plain system allocation that the stack does not track.
class QrcMemoryStack : public QrcBlockStack {
 public:
  enum Mode { PlainSystem = 0, Blocks = 1, PerObject = 2 };
  static const QrcWord ObjectTag = 12345;

  QrcMemoryStack(QrcManagerI* manager, int mode);
  ~QrcMemoryStack();

  void* alloc(size_t n) {
    if (_mode == Blocks && n != 0) {
      QrcInt words = static_cast<QrcInt>(((n - 1) / 8 | 1) + 1);
      if (_cursor + words <= _end) {
        void* p = _cursor;
        _cursor += words;
        _top += words;
        return p;
      }
    }
    return allocSlow(n);
  }
  // Grows the block at p from old to n bytes in place when it is the last
  // one taken from the current block and the block has the room; false otherwise.
  bool extend(void* p, size_t old, size_t n) {
    if (_mode != Blocks || old == 0 || n < old) return false;
    QrcInt before = static_cast<QrcInt>(((old - 1) / 8 | 1) + 1);
    QrcInt after = static_cast<QrcInt>(((n - 1) / 8 | 1) + 1);
    if (static_cast<QrcWord*>(p) + before != _cursor || _cursor + (after - before) > _end)
      return false;
    _cursor += after - before;
    _top += after - before;
    return true;
  }
  void popTo(QrcInt mark) {
    if (_mode == PerObject)
      releaseObjects(mark);
    else
      setTop(mark);
  }
  void reset();
  int getMode() const { return _mode; }

  // Floor of the And stack (goals below it belong to outer levels).
  QrcInt _floor;

 private:
  void releaseObjects(QrcInt mark);
  void* allocSlow(size_t n);
  int _mode;
};

// Trail of (address, old word) pairs; restoring writes the words back in
// reverse order of their saves.
class QrcTrail : public QrcBlockStack {
 public:
  explicit QrcTrail(QrcManagerI* manager);

  void saveValue(void* address) {
    if (!_recording) return;
    if (_cursor + 2 <= _end) {
      _cursor[0] = reinterpret_cast<QrcWord>(address);
      _cursor[1] = readWord(address);
      _cursor += 2;
      _top += 2;
      _written += 2;
    } else {
      saveAcrossBlock(address);
    }
  }
  void restore(QrcInt mark);
  void resetAndRestore();
  void reset();
  bool isRecording() const { return _recording != 0; }
  void setRecording(int flag) { _recording = flag; }
  QrcInt getFloor() const { return _floor; }
  void setFloor(QrcInt floor) { _floor = floor; }
  // Words written since the trail was made, block links included (never reset).
  QrcUInt getWordsWritten() const { return _written; }

  static QrcWord readWord(const void* address) {
    QrcWord w;
    std::memcpy(&w, address, sizeof w);
    return w;
  }
  static void writeWord(void* address, QrcWord word) { std::memcpy(address, &word, sizeof word); }

 private:
  void saveAcrossBlock(void* address);
  QrcInt _floor;
  int _recording;
  QrcUInt _written;
};

// A word saved on the manager's trail at most once per choice point.
class QrcRevWord {
 public:
  QrcRevWord() : _value(0), _stamp(0) {}
  QrcRevWord(QrcManagerI* manager, QrcInt value);
  QrcRevWord(const QrcManager& manager, QrcInt value);

  // Saves the value on the manager's trail unless already saved at its
  // current stamp. (Templates, so that only their callers need the manager's
  // definition; Manager is QrcManagerI.)
  template <class Manager>
  void save(Manager* manager) {
    if (_stamp == manager->getStamp()) return;
    manager->getTrail()->saveValue(&_value);
    _stamp = manager->getStamp();
  }
  // Saves, then stores the value.
  template <class Manager>
  void set(Manager* manager, QrcInt value) {
    save(manager);
    _value = value;
  }
  QrcInt getValue() const { return _value; }
  QrcInt getStamp() const { return _stamp; }
  // Stores without saving (construction and reset only).
  void setNoSave(QrcInt value) { _value = value; }

 private:
  QrcInt _value;
  QrcInt _stamp;
};

// Addresses of copy memos written during one copy, cleared at its end.
class QrcMemoStack : public QrcBlockStack {
 public:
  explicit QrcMemoStack(QrcManagerI* manager) : QrcBlockStack(manager), _count(0), _active(0) {}
  void push(void* address) {
    QrcBlockStack::push(reinterpret_cast<QrcWord>(address));
    ++_count;
  }
  void setActive() { _active = 1; }
  bool isActive() const { return _active != 0; }
  // While set, a variable copied into its own manager is its own copy; the
  // end of the outermost copy clears it.
  void setKeepVariables() { _keepVariables = 1; }
  bool keepsVariables() const { return _keepVariables != 0; }
  QrcInt getCount() const { return _count; }
  void clear();

 private:
  QrcInt _count;
  int _active;
  int _keepVariables = 0;
};

// List of (key, value) cells carved from blocks of 250 cells, with a free list.
class QrcCopyStack {
 public:
  struct Cell {
    Cell* link;
    const void* key;
    void* value;
  };
  static const int CellsPerBlock = 250;

  QrcCopyStack();
  ~QrcCopyStack();
  QrcCopyStack(const QrcCopyStack&) = delete;
  QrcCopyStack& operator=(const QrcCopyStack&) = delete;

  Cell* newCell();
  void push(const void* key, void* value);
  // Value stored for a key, or null.
  void* find(const void* key) const;
  void reset();
  Cell* getHead() const { return _head; }
  QrcUInt getBytes() const { return _bytes; }
  // While set, copies of variables are recorded as (source, copy) pairs.
  bool isRecordingPairs() const { return _recordPairs; }
  void setRecordingPairs(bool flag) { _recordPairs = flag; }

 private:
  struct Block;
  void freeExtraBlocks();
  Block* _blocks;
  Cell* _free;
  Cell* _head;
  QrcUInt _bytes;
  bool _recordPairs = false;
};

void* operator new(size_t size, QrcMemoryStack* stack);
void* operator new[](size_t size, QrcMemoryStack* stack);
void* operator new(size_t size, QrcManagerI* manager);
void* operator new[](size_t size, QrcManagerI* manager);
void operator delete(void*, QrcMemoryStack*) noexcept;
void operator delete[](void*, QrcMemoryStack*) noexcept;
void operator delete(void*, QrcManagerI*) noexcept;
void operator delete[](void*, QrcManagerI*) noexcept;

// Storage on a memory stack (system allocation when the stack is null or in mode 0).
void* QrcAllocate(size_t size, QrcMemoryStack* stack);
// Storage on a manager's heap (system allocation without manager).
void* QrcAllocate(size_t size, QrcManagerI* manager);

#endif
