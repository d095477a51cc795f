#include "qrouseindex.h"

#include <cstring>

#include "qroregistry.h"

namespace {

// Grows an array of the environment's memory to at least n entries (doubling);
// new entries are zero.
template <class T>
void growTo(QroEnvMemoryManager* mm, T*& a, QroInt& size, QroInt n) {
  if (n <= size) return;
  QroInt capacity = size ? size : 64;
  while (capacity < n) capacity *= 2;
  T* b = static_cast<T*>(mm->alloc(static_cast<size_t>(capacity) * sizeof(T)));
  if (size) std::memcpy(static_cast<void*>(b), a, static_cast<size_t>(size) * sizeof(T));
  std::memset(static_cast<void*>(b + size), 0, static_cast<size_t>(capacity - size) * sizeof(T));
  if (a) mm->free(a, static_cast<size_t>(size) * sizeof(T));
  a = b;
  size = capacity;
}

template <class T>
void release(QroEnvMemoryManager* mm, T*& a, QroInt size) {
  if (a) mm->free(a, static_cast<size_t>(size) * sizeof(T));
  a = nullptr;
}

// Clears the collecting flag however collecting ends.
struct Collecting {
  bool& flag;
  explicit Collecting(bool& f) : flag(f) { flag = true; }
  ~Collecting() { flag = false; }
};

}  // namespace

// Hands each extractable an object uses to the index.
class QroUseCollector : public QroExtractableVisitor {
 public:
  QroUseCollector(QroUseIndex* index, QroExtractableI* user, QroInt id)
      : _index(index), _user(user), _id(id) {}
  void visitChild(QroExtractableI*, QroExtractableI* child) override {
    if (!child || child->getId() < 0) {
      gone = true;
      return;
    }
    _index->addCell(child->getId(), _user, _id);
  }
  // A null or unregistered object was handed over: asked at every pass.
  bool gone = false;

 private:
  QroUseIndex* _index;
  QroExtractableI* _user;
  QroInt _id;
};

QroUseIndex::QroUseIndex(QroEnvI* env)
    : _env(env),
      _cells(sizeof(Cell), env->usesPooling()),
      _cellCount(0),
      _staleCells(0),
      _idSize(0),
      _users(nullptr),
      _owned(nullptr),
      _state(nullptr),
      _queuedIn(nullptr),
      _nextIn(nullptr),
      _pending(nullptr),
      _pendingCount(0),
      _pendingSize(0),
      _always(nullptr),
      _alwaysCount(0),
      _alwaysSize(0),
      _heap(nullptr),
      _heapCount(0),
      _heapSize(0),
      _next(nullptr),
      _nextCount(0),
      _nextSize(0),
      _built(false),
      _collecting(false),
      _pass(1),
      _position(-1),
      _limit(0) {}

QroUseIndex::~QroUseIndex() {
  QroEnvMemoryManager* mm = _env->getMemoryManager();
  release(mm, _users, _idSize);
  release(mm, _owned, _idSize);
  release(mm, _state, _idSize);
  release(mm, _queuedIn, _idSize);
  release(mm, _nextIn, _idSize);
  release(mm, _pending, _pendingSize);
  release(mm, _always, _alwaysSize);
  release(mm, _heap, _heapSize);
  release(mm, _next, _nextSize);
  // The cells go with their pool.
}

void QroUseIndex::reserveIds(QroInt n) {
  if (n <= _idSize) return;
  QroEnvMemoryManager* mm = _env->getMemoryManager();
  QroInt size = _idSize;
  growTo(mm, _users, size, n);
  size = _idSize;
  growTo(mm, _owned, size, n);
  size = _idSize;
  growTo(mm, _state, size, n);
  size = _idSize;
  growTo(mm, _queuedIn, size, n);
  size = _idSize;
  growTo(mm, _nextIn, size, n);
  _idSize = size;
}

void QroUseIndex::addCell(QroInt used, QroExtractableI* user, QroInt userId) {
  reserveIds((used > userId ? used : userId) + 1);
  Cell* c = static_cast<Cell*>(_cells.alloc(nullptr));
  c->next = _users[used];
  c->user = user;
  c->userId = userId;
  _users[used] = c;
  ++_owned[userId];
  ++_cellCount;
}

void QroUseIndex::freeUsers(QroInt id) {
  Cell* c = _users[id];
  _users[id] = nullptr;
  while (c) {
    Cell* next = c->next;
    QroInt u = c->userId;
    if ((_env->isMarked(u) || _env->getLiveSlot(u) == c->user) && _owned[u] > 0)
      --_owned[u];
    else if (_staleCells > 0)
      --_staleCells;
    _cells.free(c);
    --_cellCount;
    c = next;
  }
}

void QroUseIndex::registered(QroExtractableI* x) {
  QroInt id = x->getId();
  reserveIds(id + 1);
  _state[id] = Pending;
  growTo(_env->getMemoryManager(), _pending, _pendingSize, _pendingCount + 1);
  _pending[_pendingCount++] = Entry{x, id};
}

void QroUseIndex::unregistered(QroInt id) {
  if (id < 0 || id >= _idSize) return;
  freeUsers(id);
  _staleCells += _owned[id];
  _owned[id] = 0;
  _state[id] = 0;
}

void QroUseIndex::usesChanged(QroExtractableI* x) {
  QroInt id = x->getId();
  if (id < 0 || id >= _idSize || (_state[id] & Pending) || !(_state[id] & Indexed)) return;
  _state[id] |= Pending;
  growTo(_env->getMemoryManager(), _pending, _pendingSize, _pendingCount + 1);
  _pending[_pendingCount++] = Entry{x, id};
}

void QroUseIndex::addUse(QroExtractableI* user, QroExtractableI* used) {
  QroInt u = user->getId(), id = used->getId();
  if (u < 0 || id < 0 || u >= _idSize || _state[u] != Indexed) return;
  if (_env->getLiveSlot(u) != user) return;  // not an object of the table
  addCell(id, user, u);
}

void QroUseIndex::index(QroExtractableI* x, QroInt id) {
  QroUseCollector collector(this, x, id);
  bool fixed = x->visitUses(&collector) != 0;
  if ((!fixed || collector.gone) && !(_state[id] & Always)) {
    growTo(_env->getMemoryManager(), _always, _alwaysSize, _alwaysCount + 1);
    _always[_alwaysCount++] = Entry{x, id};
    _state[id] |= Always;
  }
  _state[id] = static_cast<unsigned char>((_state[id] & Always) | Indexed);
}

// Indexes what is pending, the latest entry of an identifier first (earlier
// ones are of objects since gone). Run while no cascade marks anything.
void QroUseIndex::update() {
  if (!_built) rebuild();
  _built = true;
  if (_staleCells > 4096 && 2 * _staleCells > _cellCount) compact();
  for (QroInt i = _pendingCount; i-- > 0;) {
    Entry e = _pending[i];
    if (!(_state[e.id] & Pending)) continue;
    _state[e.id] &= static_cast<unsigned char>(~Pending);
    if (_env->getLiveSlot(e.id) == e.x) index(e.x, e.id);
  }
  _pendingCount = 0;
}

// Drops the uses recorded for objects gone; counts the others again.
void QroUseIndex::compact() {
  std::memset(static_cast<void*>(_owned), 0, static_cast<size_t>(_idSize) * sizeof(QroInt));
  for (QroInt id = 0; id < _idSize; ++id) {
    Cell** link = &_users[id];
    while (Cell* c = *link) {
      if (_env->getLiveSlot(c->userId) == c->user) {
        ++_owned[c->userId];
        link = &c->next;
      } else {
        *link = c->next;
        _cells.free(c);
        --_cellCount;
      }
    }
  }
  _staleCells = 0;
}

// Forgets every use and indexes every live extractable again.
void QroUseIndex::rebuild() {
  for (QroInt id = 0; id < _idSize; ++id) {
    for (Cell* c = _users[id]; c;) {
      Cell* next = c->next;
      _cells.free(c);
      c = next;
    }
    _users[id] = nullptr;
    _owned[id] = 0;
    _state[id] = 0;
  }
  _cellCount = _staleCells = 0;
  _alwaysCount = _pendingCount = 0;
  QroInt count = _env->getIdCount();
  for (QroInt id = 0; id < count; ++id)
    if (QroExtractableI* x = _env->getLiveSlot(id)) registered(x);
}

// ---------------------------------------------------------------------------
// Collecting

void QroUseIndex::queue(QroInt id) {
  if (_queuedIn[id] == _pass) return;
  _queuedIn[id] = _pass;
  growTo(_env->getMemoryManager(), _heap, _heapSize, _heapCount + 1);
  QroInt i = _heapCount++;
  while (i > 0 && _heap[(i - 1) / 2] > id) {
    _heap[i] = _heap[(i - 1) / 2];
    i = (i - 1) / 2;
  }
  _heap[i] = id;
}

QroInt QroUseIndex::popFirst() {
  QroInt first = _heap[0];
  QroInt last = _heap[--_heapCount];
  QroInt i = 0;
  for (;;) {
    QroInt child = 2 * i + 1;
    if (child >= _heapCount) break;
    if (child + 1 < _heapCount && _heap[child + 1] < _heap[child]) ++child;
    if (_heap[child] >= last) break;
    _heap[i] = _heap[child];
    i = child;
  }
  if (_heapCount > 0) _heap[i] = last;
  return first;
}

void QroUseIndex::queueNext(QroInt id) {
  if (_nextIn[id] == _pass + 1) return;
  _nextIn[id] = _pass + 1;
  growTo(_env->getMemoryManager(), _next, _nextSize, _nextCount + 1);
  _next[_nextCount++] = id;
}

// The extractables asked at every pass; entries of objects gone are dropped
// (a marked one stays: a refused cascade leaves it live).
void QroUseIndex::queueAlways() {
  QroInt kept = 0;
  for (QroInt i = 0; i < _alwaysCount; ++i) {
    Entry e = _always[i];
    bool live = _env->getLiveSlot(e.id) == e.x;
    if (!live && !(_env->isMarked(e.id) && (_state[e.id] & Always))) continue;
    _always[kept++] = e;
    if (live && e.id < _limit) queue(e.id);
  }
  _alwaysCount = kept;
}

// A user is asked in this pass when it comes after the one being asked,
// else in the next pass, as a sweep in identifier order would ask it.
void QroUseIndex::marked(QroExtractableI* x) {
  if (!_collecting) return;
  QroInt id = x->getId();
  if (id < 0 || id >= _idSize) return;
  for (Cell* c = _users[id]; c; c = c->next) {
    QroInt u = c->userId;
    if (u >= _limit || _env->getLiveSlot(u) != c->user) continue;
    if (u > _position)
      queue(u);
    else
      queueNext(u);
  }
}

void QroUseIndex::collect(QroRecycleBinI* bin) {
  _limit = _env->getIdCount();
  reserveIds(_limit);
  Collecting collecting(_collecting);
  ++_pass;
  _position = -1;
  _heapCount = _nextCount = 0;
  QroExtractableArray marked = bin->getMarked();
  for (QroInt i = 0; i < marked.getSize(); ++i) this->marked(marked[i]);
  queueAlways();
  QroInt before;
  do {
    before = marked.getSize();
    while (_heapCount > 0) {
      _position = popFirst();
      if (QroExtractableI* x = _env->getLiveSlot(_position)) bin->ask(x);
    }
    ++_pass;
    _position = -1;
    for (QroInt i = 0; i < _nextCount; ++i) queue(_next[i]);
    _nextCount = 0;
    queueAlways();
  } while (marked.getSize() != before);
  _heapCount = 0;
}
