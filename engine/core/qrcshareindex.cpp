#include "qrcshareindex.h"

#include <cstring>

namespace {

const QrcInt FirstBuckets = 16;
const QrcInt FirstWaitingLimit = 64;
const QrcInt RunCells = 128;

inline QrcUInt mix(QrcUInt h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return h;
}

// The list in the other order.
QrcShareIndex::Cell* reversed(QrcShareIndex::Cell* c) {
  QrcShareIndex::Cell* r = nullptr;
  while (c) {
    QrcShareIndex::Cell* next = c->next;
    c->next = r;
    r = c;
    c = next;
  }
  return r;
}

QrcShareIndex::Block* newBlock(QrcManagerI* m) {
  QrcShareIndex::Block* b = static_cast<QrcShareIndex::Block*>(
      QrcAllocate(sizeof(QrcShareIndex::Block), m->getGlobalHeap()));
  b->next = nullptr;
  b->count = 0;
  return b;
}

}  // namespace

QrcShareIndex::QrcShareIndex(QrcManagerI* manager)
    : _manager(manager),
      _buckets(nullptr),
      _mask(-1),
      _linked(0),
      _first(newBlock(manager)),
      _last(_first),
      _waiting(nullptr),
      _waitingCount(0),
      _waitingLimit(FirstWaitingLimit),
      _free(nullptr),
      _run(nullptr),
      _runLeft(0) {}

QrcShareIndex* QrcShareIndex::make(QrcManagerI* manager) {
  QrcShareIndex* index = new (manager->getGlobalHeap()) QrcShareIndex(manager);
  manager->setShareIndex(index);
  return index;
}

QrcUInt QrcShareIndex::hash(const QrcExprI::ShareKey& key) {
  QrcUInt base = mix(static_cast<QrcUInt>(reinterpret_cast<uintptr_t>(key.operand)) + key.family);
  // The keys of one operand lie in consecutive buckets where their words follow
  // each other (integer constants, operands made one after another), so that
  // nodes built along an array walk the table in order.
  QrcUInt word = key.word;
  if (key.family == QrcExprI::FloatUnaryShare)
    word = mix(word);
  else if (key.family != QrcExprI::IntUnaryShare)
    word >>= 4;  // an address, of a 16-byte multiple
  return base + word;
}

QrcShareIndex::Cell* QrcShareIndex::takeCell() {
  if (Cell* c = _free) {
    _free = c->next;
    return c;
  }
  if (_runLeft == 0) {
    _run = static_cast<Cell*>(QrcAllocate(RunCells * sizeof(Cell), _manager->getGlobalHeap()));
    _runLeft = RunCells;
  }
  --_runLeft;
  return _run++;
}

void QrcShareIndex::addCell(QrcExprI* node) {
  if (!_waiting && !_manager->getTrail()->isRecording()) {
    // The last block is full.
    if (!_last->next) _last->next = newBlock(_manager);
    _last = _last->next;
    _last->nodes[_last->count++] = node;
    return;
  }
  if (_waitingCount >= _waitingLimit) pruneWaiting();
  Cell* c = takeCell();
  // Restoring the saved word empties the cell.
  c->node = nullptr;
  _manager->saveValue(&c->node);
  c->node = node;
  c->next = _waiting;
  _waiting = c;
  ++_waitingCount;
}

QrcInt QrcShareIndex::dropEmptied(Cell** link) {
  QrcInt live = 0;
  while (Cell* c = *link) {
    if (c->node) {
      ++live;
      link = &c->next;
    } else {
      *link = c->next;
      release(c);
    }
  }
  return live;
}

void QrcShareIndex::pruneWaiting() {
  QrcInt live = dropEmptied(&_waiting);
  _waitingCount = live;
  while (2 * live > _waitingLimit) _waitingLimit *= 2;
}

void QrcShareIndex::link(Cell* c) {
  QrcExprI::ShareKey key;
  c->node->getShareKey(key);
  c->hash = hash(key);
  if (_linked >= _mask + 1) rebuild();
  Cell** head = &_buckets[c->hash & _mask];
  c->next = *head;
  *head = c;
  ++_linked;
}

void QrcShareIndex::hashWaiting() {
  // Oldest first, so that every chain keeps the newest node first.
  for (Block* b = _first; b; b = b->next) {
    for (QrcInt i = 0; i < b->count; ++i) {
      Cell* c = takeCell();
      c->node = b->nodes[i];
      link(c);
    }
    b->count = 0;
    if (b == _last) break;
  }
  _last = _first;
  Cell* c = reversed(_waiting);
  _waiting = nullptr;
  _waitingCount = 0;
  while (c) {
    Cell* next = c->next;
    if (c->node)
      link(c);
    else
      release(c);
    c = next;
  }
}

QrcExprI* QrcShareIndex::find(const QrcExprI* candidate, const QrcExprI::ShareKey& key) {
  if (_waiting || _first->count > 0) hashWaiting();
  if (!_buckets) return nullptr;
  QrcInt id = candidate->getExprTypeId();
  QrcUInt h = hash(key);
  Cell** link = &_buckets[h & _mask];
  while (Cell* c = *link) {
    QrcExprI* node = c->node;
    if (!node) {
      *link = c->next;
      release(c);
      --_linked;
      continue;
    }
    if (c->hash == h && node->getExprTypeId() == id && candidate->isEqual(node)) return node;
    link = &c->next;
  }
  return nullptr;
}

QrcShareIndex::Cell** QrcShareIndex::newBuckets(QrcInt n) {
  size_t bytes = static_cast<size_t>(n) * sizeof(Cell*);
  Cell** b = static_cast<Cell**>(QrcAllocate(bytes, _manager->getGlobalHeap()));
  std::memset(b, 0, bytes);
  return b;
}

void QrcShareIndex::rebuild() {
  QrcInt count = _mask + 1, live = 0;
  for (QrcInt b = 0; b < count; ++b) live += dropEmptied(&_buckets[b]);
  _linked = live;
  QrcInt n = count > 0 ? count : FirstBuckets;
  while (2 * live > n) n *= 2;
  if (n == count) return;
  Cell** old = _buckets;
  _buckets = newBuckets(n);
  _mask = n - 1;
  for (QrcInt b = 0; b < count; ++b) {
    Cell* c = reversed(old[b]);
    while (c) {
      Cell* next = c->next;
      Cell** head = &_buckets[c->hash & _mask];
      c->next = *head;
      *head = c;
      c = next;
    }
  }
  // The old buckets become free cells.
  Cell* cells = reinterpret_cast<Cell*>(old);
  QrcInt freed = count * static_cast<QrcInt>(sizeof(Cell*)) / static_cast<QrcInt>(sizeof(Cell));
  for (QrcInt i = 0; i < freed; ++i) release(&cells[i]);
}
