#include "qrcnodestorage.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "qrccompress.h"
#include "qrcfinish.h"
#include "qrcmanager.h"
#include "qrcqueue.h"
#include "qrcsearch.h"
#include "qrcsizealloc.h"
#include "qroexception.h"
#include "qroplatform.h"

// ---------------------------------------------------------------- base

QrcNodeStorageI::QrcNodeStorageI(QrcManagerI* manager, QrcSearchI* search)
    : _manager(manager), _search(search), _mode(0) {}

QrcNodeStorageI::~QrcNodeStorageI() {}

bool QrcNodeStorageI::mayExtend(QrcSearchNode* node) {
  return !node->isCut(_search);
}

// ---------------------------------------------------------------- heap

QrcHeapBasedNodeStorageI::QrcHeapBasedNodeStorageI(QrcManagerI* manager, QrcSearchI* search)
    : QrcNodeStorageI(manager, search),
      _entries(nullptr),
      _capacity(0),
      _size(0),
      _sequence(0),
      _pending(nullptr),
      _files(nullptr),
      _fileCount(0) {}

QrcHeapBasedNodeStorageI::~QrcHeapBasedNodeStorageI() {
  qrcfinish::quietly([this] { release(); });
}

QrcInt QrcHeapBasedNodeStorageI::traceFlags() const {
  return _search ? _search->getNodeOption(2) : 0;
}

std::ostream& QrcHeapBasedNodeStorageI::trace() const {
  return _manager->getPropagationQueue()->getTraceStream();
}

void QrcHeapBasedNodeStorageI::siftUp(QrcInt slot) {
  QrcSearchNode* n = _entries[slot];
  while (slot > 1 && QrcSearchNode::isBetter(n, _entries[slot / 2])) {
    _entries[slot] = _entries[slot / 2];
    slot /= 2;
  }
  _entries[slot] = n;
  if (traceFlags() & TraceNodes) trace() << "Heap add" << n << " at " << slot << std::endl;
}

void QrcHeapBasedNodeStorageI::siftDown(QrcInt slot) {
  QrcSearchNode* n = _entries[slot];
  for (;;) {
    QrcInt child = 2 * slot;
    if (child > _size) break;
    if (child + 1 <= _size && QrcSearchNode::isBetter(_entries[child + 1], _entries[child]))
      ++child;
    if (QrcSearchNode::isBetter(n, _entries[child])) break;
    _entries[slot] = _entries[child];
    slot = child;
  }
  _entries[slot] = n;
}

void QrcHeapBasedNodeStorageI::heapify() {
  for (QrcInt slot = _size / 2; slot >= 1; --slot) siftDown(slot);
}

void QrcHeapBasedNodeStorageI::push(QrcSearchNode* node, bool freshSequence) {
  if (freshSequence) node->setSequence(++_sequence);
  if (_size + 1 >= _capacity) {
    QrcInt capacity = _capacity ? 2 * _capacity : InitialCapacity;
    QrcSizeAllocatorI* a = _manager->getSizeAllocator();
    QrcSearchNode** entries = static_cast<QrcSearchNode**>(a->allocateSized(capacity * 8));
    for (QrcInt i = 1; i <= _size; ++i) entries[i] = _entries[i];
    if (_entries) a->freeSized(_entries, _capacity * 8);
    _entries = entries;
    _capacity = capacity;
  }
  _entries[++_size] = node;
  siftUp(_size);
}

QrcSearchNode* QrcHeapBasedNodeStorageI::pop() {
  if (_size == 0) return nullptr;
  QrcSearchNode* top = _entries[1];
  _entries[1] = _entries[_size--];
  if (_size > 0) siftDown(1);
  if (traceFlags() & TraceNodes) trace() << "Heap get" << top << std::endl;
  return top;
}

void QrcHeapBasedNodeStorageI::discard(QrcSearchNode* node) {
  if (_search) _search->countDiscardedNode();
  QrcSearchNode::release(node, _search);
}

// ---------------------------------------------------------------- interface

void QrcHeapBasedNodeStorageI::add(QrcSearchNode* node, QrcInt flag) {
  if (traceFlags() & TraceNodes) trace() << "Storage add" << node << std::endl;
  if (node->hasInfiniteKey()) {
    qrcfinish::all(
        [&] {
          if (_search) _search->notifyNodeDiscarded(node, QrcNodeInfiniteKey);
        },
        [&] { QrcSearchNode::release(node, _search); });
    return;
  }
  if (flag == 0 && _mode != 0) {
    QrcSearchNode* previous = _pending;
    _pending = node;
    if (previous) push(previous, true);
  } else {
    push(node, true);
  }
  QrcInt limit = _search ? _search->getMemoryLimit() : INT64_MAX;
  // A pass that moves nothing (a single node larger than a batch) ends the loop.
  while (_manager->getSizeAllocator()->getBytesInUse() > limit && _size >= 2) {
    if (traceFlags() & TraceNodes) trace() << "Filling File Node" << std::endl;
    if (fillFileNode() == 0) break;
  }
}

bool QrcHeapBasedNodeStorageI::peekBest(QrcSearchNode** node) {
  if (_size == 0) return false;
  *node = _entries[1];
  return true;
}

bool QrcHeapBasedNodeStorageI::fileBeatsHeap() const {
  if (!_files) return false;
  return _size == 0 || QrcSearchNode::isBetter(_files->best, _entries[1]);
}

bool QrcHeapBasedNodeStorageI::get(QrcSearchNode** out) {
  while (fileBeatsHeap()) unfillFileNode();
  for (;;) {
    QrcSearchNode* n = _pending;
    if (n)
      _pending = nullptr;
    else
      n = pop();
    if (!n) return false;
    if (keptValid(n)) {
      if (traceFlags() & TraceNodes) trace() << "Storage get" << n << std::endl;
      *out = n;
      return true;
    }
    while (fileBeatsHeap()) unfillFileNode();
  }
}

bool QrcHeapBasedNodeStorageI::keptValid(QrcSearchNode* node) {
  bool valid = false;
  qrcfinish::all([&] { valid = node->isValid(_search); },
                 [&] {
                   if (!valid) discard(node);
                 });
  return valid;
}

QrcInt QrcHeapBasedNodeStorageI::count() const {
  QrcInt n = _size + (_pending ? 1 : 0);
  for (const QrcFileNode* f = _files; f; f = f->next) n += f->nodeCount;
  return n;
}

QrcInt QrcHeapBasedNodeStorageI::getSpillFileCount() const {
  QrcInt n = 0;
  for (const QrcFileNode* f = _files; f; f = f->next) ++n;
  return n;
}

bool QrcHeapBasedNodeStorageI::wantsToStore(QrcSearchNode* node) {
  return node->getLastKeyIndex() >= 0;
}

void QrcHeapBasedNodeStorageI::clear() {
  auto releaseOne = [this] {
    QrcSearchNode* n = _size > 0 ? _entries[_size--] : _pending;
    if (!n) return false;
    if (n == _pending) _pending = nullptr;
    QrcSearchNode::release(n, _search);
    return true;
  };
  // Spilled nodes hold references too: read them back to let them go.
  qrcfinish::all([&] { qrcfinish::each(releaseOne); }, [this] { dropFiles(); });
}

void QrcHeapBasedNodeStorageI::release() {
  qrcfinish::all([this] { clear(); },
                 [this] {
                   if (_entries) _manager->getSizeAllocator()->freeSized(_entries, _capacity * 8);
                   _entries = nullptr;
                   _capacity = 0;
                 });
}

// ---------------------------------------------------------------- spill files

namespace {

void wordsToUnits(const std::vector<unsigned char>& bytes, QrcInt size,
                  std::vector<uint32_t>* units) {
  units->assign(static_cast<size_t>(size / 4), 0);
  for (QrcInt i = 0; i < size / 4; ++i) {
    const unsigned char* b = &bytes[static_cast<size_t>(4 * i)];
    (*units)[static_cast<size_t>(i)] =
        static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
        (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
  }
}

std::vector<unsigned char> unitsToBytes(const std::vector<uint32_t>& units, size_t n) {
  std::vector<unsigned char> bytes(n * 4);
  for (size_t i = 0; i < n; ++i)
    for (int k = 0; k < 4; ++k) bytes[4 * i + k] = static_cast<unsigned char>(units[i] >> (8 * k));
  return bytes;
}

bool writeFile(const std::string& name, const std::vector<unsigned char>& data, QrcInt size) {
  FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, static_cast<size_t>(size), f) == static_cast<size_t>(size);
  ok = std::fclose(f) == 0 && ok;
  if (!ok) qroplatform::removeFile(name.c_str());
  return ok;
}

bool readFile(const std::string& name, std::vector<unsigned char>* data, QrcInt size) {
  FILE* f = std::fopen(name.c_str(), "rb");
  if (!f) return false;
  data->assign(static_cast<size_t>(QrcHeapBasedNodeStorageI::BatchBytes), 0);
  size_t got = std::fread(data->data(), 1, data->size(), f);
  std::fclose(f);
  return static_cast<QrcInt>(got) == size;
}

}  // namespace

QrcInt QrcHeapBasedNodeStorageI::fillFileNode() {
  if (_size < 1) return 0;
  QrcInt flags = traceFlags();
  QrcInt batch = chooseBatch(flags);
  QrcFileNode* record = newFileNode();
  if (flags & TraceFiles) trace() << "Filling " << record->name << std::endl;
  QrcInt total = 0;
  QrcInt moved = moveBatch(record, batch, &total);
  heapify();
  if (flags & TraceFiles) trace() << "Added " << moved << " Nodes" << std::endl;
  if (moved == 0) {
    delete record;
    return 0;
  }
  record->nodeCount = moved;
  record->byteSize = total;
  record->rawSize = total;
  packAndStore(record, total);
  ++_fileCount;
  insertFile(record);
  return moved;
}

QrcInt QrcHeapBasedNodeStorageI::chooseBatch(QrcInt flags) {
  // Batch count from the mean size of the last entry and the top.
  QrcInt mean = (_entries[_size]->serializedSize() + _entries[1]->serializedSize()) / 2;
  QrcInt batch = mean > 0 ? BatchBytes / mean : _size;
  if (batch < 1) batch = 1;
  if (batch > _size) batch = _size;
  // The batch count worst nodes go to the end of the array.
  if (batch < _size) {
    QrcSearchNode** begin = _entries + 1;
    std::nth_element(begin, begin + (_size - batch), begin + _size,
                     [](const QrcSearchNode* a, const QrcSearchNode* b) {
                       return QrcSearchNode::isBetter(a, b);
                     });
  }
  if (flags & TraceFiles) trace() << "Computed " << batch << " nodes to add " << std::endl;
  return batch;
}

QrcFileNode* QrcHeapBasedNodeStorageI::newFileNode() {
  QrcFileNode* record = new QrcFileNode();
  record->best = nullptr;
  record->next = nullptr;
  record->compressed = _search && _search->getNodeOption(0) ? 1 : 0;
  record->onDisk = _search && _search->getNodeOption(1) ? 1 : 0;
  record->nodeCount = 0;
  record->byteSize = 0;
  record->rawSize = 0;
  record->buffer.assign(static_cast<size_t>(BatchBytes), 0);
  // The manager's numbers keep the names of nested searches' files apart.
  record->name = std::string(_manager->getNodeFilePrefix()) +
                 std::to_string(_manager->nextNodeFileNumber()) + "." +
                 std::to_string(_manager->getWorkerNumber());
  return record;
}

QrcInt QrcHeapBasedNodeStorageI::moveBatch(QrcFileNode* record, QrcInt batch, QrcInt* total) {
  QrcInt moved = 0;
  while (moved < batch && _size > 0) {
    QrcSearchNode* n = _entries[_size];
    QrcInt bytes = n->serializedSize();
    if (*total + bytes > BatchBytes) break;  // stays in the heap
    --_size;
    *total += n->serialize(record->buffer.data() + *total);
    record->references.add(n);
    ++moved;
    if (!record->best) {
      record->best = n;
      n->addReferences();  // the copy in memory holds its own references
    } else if (QrcSearchNode::isBetter(n, record->best)) {
      QrcSearchNode::release(record->best, nullptr);
      record->best = n;
      n->addReferences();
    } else {
      QrcSearchNode::freeKeepingReferences(n);
    }
  }
  return moved;
}

void QrcHeapBasedNodeStorageI::packAndStore(QrcFileNode* record, QrcInt total) {
  if (record->compressed) {
    std::vector<uint32_t> units;
    wordsToUnits(record->buffer, total, &units);
    std::vector<unsigned char> packed(static_cast<size_t>(BatchBytes));
    size_t n = qrccompress::compress(units.data(), units.size(), packed.data(), packed.size());
    if (n > 0) {
      packed.resize(n);
      record->buffer.swap(packed);
      record->byteSize = static_cast<QrcInt>(n);
    } else {
      record->compressed = 0;
    }
  }
  if (!record->compressed) record->buffer.resize(static_cast<size_t>(total));
  if (record->onDisk) {
    if (writeFile(record->name, record->buffer, record->byteSize)) {
      std::vector<unsigned char>().swap(record->buffer);
    } else {
      record->onDisk = 0;  // the batch stays in memory
    }
  }
}

void QrcHeapBasedNodeStorageI::insertFile(QrcFileNode* record) {
  QrcFileNode** at = &_files;
  while (*at && !QrcSearchNode::isBetter(record->best, (*at)->best)) at = &(*at)->next;
  record->next = *at;
  *at = record;
}

bool QrcHeapBasedNodeStorageI::readBatch(QrcFileNode* record, std::vector<QrcSearchNode*>* nodes) {
  std::vector<unsigned char> data;
  if (record->onDisk) {
    if (!readFile(record->name, &data, record->byteSize)) return false;
  } else {
    data = record->buffer;
  }
  QrcInt size = record->byteSize;
  if (record->compressed) {
    const size_t capacity = (static_cast<size_t>(BatchBytes) + 256) / 4;
    std::vector<uint32_t> units(capacity);
    size_t got = 0;
    if (!qrccompress::decompress(data.data(), static_cast<size_t>(size), units.data(), capacity,
                                 &got))
      return false;
    if (static_cast<QrcInt>(got * 4) < record->rawSize) return false;
    data = unitsToBytes(units, got);
    size = record->rawSize;
  }
  QrcInt at = 0;
  for (QrcInt i = 0; i < record->nodeCount; ++i) {
    bool error = false;
    QrcInt used = 0;
    QrcSearchNode* n =
        QrcSearchNode::deserialize(_manager, data.data() + at, size - at, &used, &error);
    if (error) {
      for (QrcSearchNode* m : *nodes) QrcSearchNode::freeKeepingReferences(m);
      nodes->clear();
      return false;
    }
    nodes->push_back(n);
    at += used;
  }
  return true;
}

// Nothing is left behind: the search's spill files are deleted and every
// batch gives its references back before the report.
void QrcHeapBasedNodeStorageI::readError(const QrcFileNode* record) {
  std::string name = record->name;
  dropFiles(record);
  std::cout << "problem when reading" << std::endl;
  _manager->getErrorReporter()->report(QrcInternalError, "problem when reading", name.c_str());
  std::abort();
}

void QrcHeapBasedNodeStorageI::unfillFileNode() {
  QrcFileNode* record = _files;
  if (!record) return;
  QrcInt flags = traceFlags();
  if (flags & TraceFiles) trace() << "Unfilling " << record->name << std::endl;
  std::vector<QrcSearchNode*> nodes;
  if (!readBatch(record, &nodes)) readError(record);
  record->references.clear();  // the nodes read hold them
  _files = record->next;
  QrcInt restored = 0;
  size_t at = 0;
  qrcfinish::all([&] { QrcSearchNode::release(record->best, _search); },
                 [&] {
                   qrcfinish::each([&] {
                     if (at == nodes.size()) return false;
                     QrcSearchNode* n = nodes[at++];
                     if (keptValid(n)) {
                       push(n, false);
                       ++restored;
                     }
                     return true;
                   });
                 },
                 [&] {
                   if (flags & TraceFiles)
                     trace() << "Restored " << restored << " Nodes" << std::endl;
                   if (record->onDisk) qroplatform::removeFile(record->name.c_str());
                   delete record;
                 });
}

void QrcHeapBasedNodeStorageI::dropFiles(const QrcFileNode* unreadable) {
  qrcfinish::each([&] {
    QrcFileNode* record = _files;
    if (!record) return false;
    _files = record->next;
    dropFile(record, record == unreadable);
    return true;
  });
}

void QrcHeapBasedNodeStorageI::dropFile(QrcFileNode* record, bool unreadable) {
  std::vector<QrcSearchNode*> nodes;
  if (unreadable || !readBatch(record, &nodes)) record->references.release(_manager, _search);
  size_t at = 0;
  qrcfinish::all(
      [&] {
        qrcfinish::each([&] {
          if (at == nodes.size()) return false;
          QrcSearchNode::release(nodes[at++], _search);
          return true;
        });
      },
      [&] { QrcSearchNode::release(record->best, _search); },
      [&] {
        if (record->onDisk) qroplatform::removeFile(record->name.c_str());
        delete record;
      });
}
