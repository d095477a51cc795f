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
  QroUseCollector(QroUseIndex* index, QroInt id) : _index(index), _id(id) {}
  void visitChild(QroExtractableI*, QroExtractableI* child) override {
    if (!child || child->getId() < 0) {
      gone = true;
      return;
    }
    _index->addCell(child->getId(), _id);
  }
  // A null or unregistered object was handed over: asked at every pass.
  bool gone = false;

 private:
  QroUseIndex* _index;
  QroInt _id;
};

QroUseIndex::QroUseIndex(QroEnvI* env)
    : _env(env),
      _cells(sizeof(Cell), env->usesPooling()),
      _cellCount(0),
      _idSize(0),
      _slots(nullptr),
      _pending{nullptr, 0, 0, &Slot::pendingAt},
      _always{nullptr, 0, 0, &Slot::alwaysAt},
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
  release(mm, _slots, _idSize);
  release(mm, _pending.data, _pending.size);
  release(mm, _always.data, _always.size);
  release(mm, _heap, _heapSize);
  release(mm, _next, _nextSize);
  // The cells go with their pool.
}

void QroUseIndex::reserveIds(QroInt n) {
  growTo(_env->getMemoryManager(), _slots, _idSize, n);
}

void QroUseIndex::addCell(QroInt used, QroInt user) {
  reserveIds((used > user ? used : user) + 1);
  Cell* c = static_cast<Cell*>(_cells.alloc(nullptr));
  c->user = user;
  c->used = used;
  c->prevUser = nullptr;
  c->nextUser = _slots[used].users;
  if (c->nextUser) c->nextUser->prevUser = c;
  _slots[used].users = c;
  c->prevUse = nullptr;
  c->nextUse = _slots[user].uses;
  if (c->nextUse) c->nextUse->prevUse = c;
  _slots[user].uses = c;
  ++_cellCount;
}

// Forgets what id uses: each cell leaves the users of the object it names.
void QroUseIndex::dropUses(QroInt id) {
  Cell* c = _slots[id].uses;
  _slots[id].uses = nullptr;
  while (c) {
    Cell* next = c->nextUse;
    if (c->prevUser)
      c->prevUser->nextUser = c->nextUser;
    else
      _slots[c->used].users = c->nextUser;
    if (c->nextUser) c->nextUser->prevUser = c->prevUser;
    _cells.free(c);
    --_cellCount;
    c = next;
  }
}

// Forgets the users of id: each cell leaves the uses of its user.
void QroUseIndex::dropUsers(QroInt id) {
  Cell* c = _slots[id].users;
  _slots[id].users = nullptr;
  while (c) {
    Cell* next = c->nextUser;
    if (c->prevUse)
      c->prevUse->nextUse = c->nextUse;
    else
      _slots[c->user].uses = c->nextUse;
    if (c->nextUse) c->nextUse->prevUse = c->prevUse;
    _cells.free(c);
    --_cellCount;
    c = next;
  }
}

void QroUseIndex::addEntry(Entries& list, QroExtractableI* x, QroInt id) {
  growTo(_env->getMemoryManager(), list.data, list.size, list.count + 1);
  list.data[list.count++] = Entry{x, id};
  _slots[id].*list.at = static_cast<int32_t>(list.count);
}

// The last entry takes the place of the one removed.
void QroUseIndex::removeEntry(Entries& list, QroInt id) {
  QroInt at = _slots[id].*list.at - 1;
  if (at < 0) return;
  _slots[id].*list.at = 0;
  Entry last = list.data[--list.count];
  if (at == list.count) return;
  list.data[at] = last;
  _slots[last.id].*list.at = static_cast<int32_t>(at + 1);
}

void QroUseIndex::registered(QroExtractableI* x) {
  QroInt id = x->getId();
  reserveIds(id + 1);
  // What an object numbered outside the table left there.
  dropUses(id);
  dropUsers(id);
  removeEntry(_pending, id);
  removeEntry(_always, id);
  _slots[id].indexed = false;
  addEntry(_pending, x, id);
}

void QroUseIndex::unregistered(QroInt id) {
  if (id < 0 || id >= _idSize) return;
  dropUses(id);
  dropUsers(id);
  removeEntry(_pending, id);
  removeEntry(_always, id);
  _slots[id].indexed = false;
}

void QroUseIndex::usesChanged(QroExtractableI* x) {
  QroInt id = x->getId();
  if (id < 0 || id >= _idSize || _slots[id].pendingAt || !_slots[id].indexed) return;
  addEntry(_pending, x, id);
}

void QroUseIndex::addUse(QroExtractableI* user, QroExtractableI* used) {
  QroInt u = user->getId(), id = used->getId();
  if (u < 0 || id < 0 || u >= _idSize || !_slots[u].indexed || _slots[u].pendingAt) return;
  if (_env->getLiveSlot(u) != user) return;  // not an object of the table
  addCell(id, u);
}

// Indexes x afresh: what it used before is forgotten.
void QroUseIndex::index(QroExtractableI* x, QroInt id) {
  dropUses(id);
  QroUseCollector collector(this, id);
  bool fixed = x->visitUses(&collector) != 0;
  if ((!fixed || collector.gone) && !_slots[id].alwaysAt) addEntry(_always, x, id);
  _slots[id].indexed = true;
}

// Indexes what is pending. Run while no cascade marks anything.
void QroUseIndex::update() {
  if (!_built) rebuild();
  _built = true;
  while (_pending.count > 0) {
    Entry e = _pending.data[--_pending.count];
    _slots[e.id].pendingAt = 0;
    if (_env->getLiveSlot(e.id) == e.x) index(e.x, e.id);
  }
}

// Every live extractable is pending.
void QroUseIndex::rebuild() {
  QroInt count = _env->getIdCount();
  for (QroInt id = 0; id < count; ++id)
    if (QroExtractableI* x = _env->getLiveSlot(id)) registered(x);
}

// ---------------------------------------------------------------------------
// Collecting

void QroUseIndex::queue(QroInt id) {
  if (_slots[id].queuedIn == _pass) return;
  _slots[id].queuedIn = _pass;
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
  if (_slots[id].nextIn == _pass + 1) return;
  _slots[id].nextIn = _pass + 1;
  growTo(_env->getMemoryManager(), _next, _nextSize, _nextCount + 1);
  _next[_nextCount++] = id;
}

// The live extractables asked at every pass.
void QroUseIndex::queueAlways() {
  for (QroInt i = 0; i < _always.count; ++i) {
    Entry e = _always.data[i];
    if (e.id < _limit && _env->getLiveSlot(e.id) == e.x) queue(e.id);
  }
}

// A user is asked in this pass when it comes after the one being asked,
// else in the next pass, as a sweep in identifier order would ask it.
void QroUseIndex::marked(QroExtractableI* x) {
  if (!_collecting) return;
  QroInt id = x->getId();
  if (id < 0 || id >= _idSize) return;
  for (Cell* c = _slots[id].users; c; c = c->nextUser) {
    QroInt u = c->user;
    if (u >= _limit || !_env->getLiveSlot(u)) continue;
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
