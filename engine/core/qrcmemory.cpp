#include "qrcmemory.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "qrcerror.h"
#include "qroexception.h"
#include "qroplatform.h"

namespace {

const QrcUInt FirstBlockBytes = 32096;

QrcStackBlock* newBlock(QrcInt capacity, QrcInt first, QrcStackBlock* prev) {
  size_t bytes = sizeof(QrcStackBlock) + static_cast<size_t>(capacity) * sizeof(QrcWord);
  void* raw = std::malloc(bytes);
  if (!raw) throw QroMemoryException();
  // A stack that outgrows its first block is filling up: the block it moves
  // on to will be written through, so its pages are taken at once.
  if (prev) qroplatform::prefault(raw, bytes);
  QrcStackBlock* b = static_cast<QrcStackBlock*>(raw);
  b->words = reinterpret_cast<QrcWord*>(b + 1);
  b->capacity = capacity;
  b->first = first;
  b->prev = prev;
  b->next = nullptr;
  return b;
}

}  // namespace

// ---------------------------------------------------------------- block stack

QrcBlockStack::QrcBlockStack(QrcManagerI* manager)
    : _current(nullptr),
      _firstBlock(nullptr),
      _cursor(nullptr),
      _end(nullptr),
      _top(0),
      _bytes(FirstBlockBytes),
      _manager(manager),
      _limit(INT64_MAX),
      _blocks(nullptr),
      _blockCount(0),
      _blockCapacity(0),
      _liveBlocks(0) {
  _firstBlock = newBlock(BlockWords, 0, nullptr);
  try {
    appendBlock(_firstBlock);
  } catch (...) {
    std::free(_firstBlock);
    throw;
  }
  enter(_firstBlock);
  _cursor = _firstBlock->words;
}

QrcBlockStack::~QrcBlockStack() {
  QrcStackBlock* b = _firstBlock;
  while (b) {
    QrcStackBlock* next = b->next;
    std::free(b);
    b = next;
  }
  std::free(_blocks);
}

void QrcBlockStack::internalError(const char* text) {
  QrcGetErrorReporter(_manager)->report(QrcInternalError, "internal error", text,
                                        static_cast<const void*>(this));
  std::abort();  // a reporter must not return
}

// Adds a block at the end of the chain's directory; the block is live.
void QrcBlockStack::appendBlock(QrcStackBlock* block) {
  if (_blockCount == _blockCapacity) {
    QrcInt capacity = _blockCapacity ? 2 * _blockCapacity : 16;
    void* p = std::realloc(_blocks, static_cast<size_t>(capacity) * sizeof(QrcStackBlock*));
    if (!p) throw QroMemoryException();
    _blocks = static_cast<QrcStackBlock**>(p);
    _blockCapacity = capacity;
  }
  block->position = _blockCount;
  _blocks[_blockCount++] = block;
  _liveBlocks = _blockCount;
}

void QrcBlockStack::freeBlocksAfter(QrcStackBlock* block) {
  QrcStackBlock* b = block->next;
  block->next = nullptr;
  while (b) {
    QrcStackBlock* next = b->next;
    _bytes -= static_cast<QrcUInt>(b->capacity + 5) * 8;
    std::free(b);
    b = next;
  }
  _blockCount = block->position + 1;
  if (_liveBlocks > _blockCount) _liveBlocks = _blockCount;
}

void QrcBlockStack::moveOn(QrcInt n) {
  QrcInt need = n > BlockWords ? n : BlockWords;
  if (_current == _firstBlock && _cursor == _firstBlock->words) {
    // Empty stack on its first block: replace that block.
    if (_top != 0) internalError("non null index for empty stack");
    freeBlocksAfter(_firstBlock);
    _bytes -= static_cast<QrcUInt>(_firstBlock->capacity + 5) * 8;
    std::free(_firstBlock);
    _firstBlock = nullptr;
    _blockCount = 0;
    _firstBlock = newBlock(need, 0, nullptr);
    _bytes += static_cast<QrcUInt>(need) * 8 + 40;
    appendBlock(_firstBlock);  // the directory has room for it
    enter(_firstBlock);
    _cursor = _firstBlock->words;
    return;
  }
  QrcStackBlock* next = _current->next;
  if (next && next->capacity >= n) {
    next->first = _top;
    // Blocks further on hold nothing live any more.
    for (QrcInt i = next->position + 1; i < _liveBlocks; ++i) _blocks[i]->first = INT64_MAX;
    _liveBlocks = next->position + 1;
    enter(next);
    _cursor = next->words;
    return;
  }
  freeBlocksAfter(_current);
  QrcStackBlock* b = newBlock(need, _top, _current);
  try {
    appendBlock(b);
  } catch (...) {
    std::free(b);
    throw;
  }
  _bytes += static_cast<QrcUInt>(need) * 8 + 40;
  _current->next = b;
  enter(b);
  _cursor = b->words;
}

void QrcBlockStack::setTopAcross(QrcInt index) {
  if (index < 0) internalError("unstacking an empty stack");
  // The last live block whose first index is at most index (firsts grow
  // along the chain).
  QrcInt lo = 0, hi = _liveBlocks - 1;
  while (lo < hi) {
    QrcInt mid = lo + (hi - lo + 1) / 2;
    if (_blocks[mid]->first <= index)
      lo = mid;
    else
      hi = mid - 1;
  }
  QrcStackBlock* b = _blocks[lo];
  if (index - b->first > b->capacity) internalError("stacking a full stack");
  enter(b);
  _cursor = b->words + (index - b->first);
  _top = index;
}

QrcWord QrcBlockStack::popAcross() {
  if (_top <= 0) internalError("unstacking an empty stack");
  if (_cursor == _current->words) {
    if (!_current->prev) internalError("unstacking an empty stack");
    enter(_current->prev);
    _cursor = _current->words + (_top - _current->first);
  }
  --_top;
  return *--_cursor;
}

void QrcBlockStack::rewind() {
  enter(_firstBlock);
  _cursor = _firstBlock->words;
  _top = 0;
}

// ---------------------------------------------------------------- memory stack

QrcMemoryStack::QrcMemoryStack(QrcManagerI* manager, int mode)
    : QrcBlockStack(manager), _floor(0), _mode(mode) {}

QrcMemoryStack::~QrcMemoryStack() {
  if (_mode == PerObject) releaseObjects(0);
}

bool QrcBlockStack::holds(const void* p) const {
  QrcWord a = reinterpret_cast<QrcWord>(p);
  for (QrcInt i = 0; i < _blockCount; ++i) {
    QrcWord first = reinterpret_cast<QrcWord>(_blocks[i]->words);
    if (a >= first && a - first < static_cast<QrcWord>(_blocks[i]->capacity) * sizeof(QrcWord))
      return true;
  }
  return false;
}

void* QrcMemoryStack::allocSlow(size_t n) {
  if (_mode == Blocks) {
    if (n == 0) return _cursor;
    QrcInt words = static_cast<QrcInt>(((n - 1) / 8 | 1) + 1);
    ensure(words);
    void* p = _cursor;
    _cursor += words;
    _top += words;
    return p;
  }
  void* p = std::malloc(n ? n : 1);
  if (!p) throw QroMemoryException();
  if (_mode == PerObject) {
    push(reinterpret_cast<QrcWord>(p));
    push(ObjectTag);
  }
  return p;
}

void QrcMemoryStack::releaseObjects(QrcInt mark) {
  while (_top > mark) {
    QrcWord tag = pop();
    QrcWord p = pop();
    if (tag == ObjectTag) std::free(reinterpret_cast<void*>(p));
  }
}

void QrcMemoryStack::reset() {
  if (_mode == PerObject) releaseObjects(0);
  rewind();
  if (_mode != PerObject) _mode = Blocks;
}

// ---------------------------------------------------------------- trail

QrcTrail::QrcTrail(QrcManagerI* manager)
    : QrcBlockStack(manager), _floor(0), _recording(0), _written(0) {}

void QrcTrail::saveAcrossBlock(void* address) {
  QrcWord* oldCursor = _cursor;
  QrcStackBlock* oldBlock = _current;
  moveOn(6);
  QrcWord* c = _cursor;
  c[0] = reinterpret_cast<QrcWord>(&_cursor);
  c[1] = reinterpret_cast<QrcWord>(oldCursor);
  c[2] = reinterpret_cast<QrcWord>(&_current);
  c[3] = reinterpret_cast<QrcWord>(oldBlock);
  c[4] = reinterpret_cast<QrcWord>(address);
  c[5] = readWord(address);
  _cursor = c + 6;
  _top += 6;
  _written += 6;
}

void QrcTrail::restore(QrcInt mark) {
  // The first pairs of a block put back the cursor and the block of the
  // previous one: the cursor is followed here, the block written in place.
  QrcWord* cursor = _cursor;
  QrcInt top = _top;
  const QrcInt floor = _floor;
  while (top > floor && top != mark) {
    cursor -= 2;
    top -= 2;
    void* address = reinterpret_cast<void*>(cursor[0]);
    QrcWord old = cursor[1];
    if (address == &_cursor)
      cursor = reinterpret_cast<QrcWord*>(old);
    else
      writeWord(address, old);
  }
  _cursor = cursor;
  _top = top;
  enter(_current);
}

void QrcTrail::resetAndRestore() {
  restore(_floor);
  rewind();
  _floor = 0;
  _recording = 1;
}

void QrcTrail::reset() {
  rewind();
  _floor = 0;
  _recording = 0;
}

// ---------------------------------------------------------------- memo stack

void QrcMemoStack::clear() {
  while (_top > 0) {
    void* address = reinterpret_cast<void*>(pop());
    QrcTrail::writeWord(address, 0);
  }
  _count = 0;
  _active = 0;
  _keepVariables = 0;
}

// ---------------------------------------------------------------- copy stack

struct QrcCopyStack::Block {
  Cell cells[CellsPerBlock];
  Block* previous;
};

QrcCopyStack::QrcCopyStack() : _blocks(nullptr), _free(nullptr), _head(nullptr), _bytes(0) {}

QrcCopyStack::~QrcCopyStack() {
  while (_blocks) {
    Block* prev = _blocks->previous;
    std::free(_blocks);
    _blocks = prev;
  }
}

QrcCopyStack::Cell* QrcCopyStack::newCell() {
  if (!_free) {
    Block* b = static_cast<Block*>(std::malloc(sizeof(Block)));
    if (!b) throw QroMemoryException();
    b->previous = _blocks;
    _blocks = b;
    for (int i = 0; i < CellsPerBlock; ++i)
      b->cells[i].link = i + 1 < CellsPerBlock ? &b->cells[i + 1] : nullptr;
    _free = &b->cells[0];
    _bytes += 6008;
  }
  Cell* c = _free;
  _free = c->link;
  return c;
}

void QrcCopyStack::push(const void* key, void* value) {
  Cell* c = newCell();
  c->key = key;
  c->value = value;
  c->link = _head;
  _head = c;
}

void* QrcCopyStack::find(const void* key) const {
  for (Cell* c = _head; c; c = c->link)
    if (c->key == key) return c->value;
  return nullptr;
}

void QrcCopyStack::reset() {
  // Keep the first block, refill its free list; free the others.
  _head = nullptr;
  if (!_blocks) return;
  while (_blocks->previous) {
    Block* prev = _blocks->previous;
    std::free(_blocks);
    _bytes -= 6008;
    _blocks = prev;
  }
  for (int i = 0; i < CellsPerBlock; ++i)
    _blocks->cells[i].link = i + 1 < CellsPerBlock ? &_blocks->cells[i + 1] : nullptr;
  _free = &_blocks->cells[0];
}

// ---------------------------------------------------------------- allocation

void* QrcAllocate(size_t size, QrcMemoryStack* stack) {
  if (stack && stack->getMode() != QrcMemoryStack::PlainSystem) return stack->alloc(size);
  void* p = std::malloc(size ? size : 1);
  if (!p) throw QroMemoryException();
  return p;
}

void* operator new(size_t size, QrcMemoryStack* stack) {
  return QrcAllocate(size, stack);
}
void* operator new[](size_t size, QrcMemoryStack* stack) {
  return QrcAllocate(size, stack);
}
void operator delete(void*, QrcMemoryStack*) noexcept {}
void operator delete[](void*, QrcMemoryStack*) noexcept {}
void operator delete(void*, QrcManagerI*) noexcept {}
void operator delete[](void*, QrcManagerI*) noexcept {}
