// The users of each extractable, so that a cascade asks only the extractables
// that use a marked one instead of every live one. An extractable is indexed
// from what its visitUses hands over, at the first cascade after it was made
// or changed; the index is made at the first cascade of an environment.
//
// Each use is one cell, linked both among the users of the object used and
// among the uses of its user: whichever of the two is unregistered first
// takes the cell out of the other's list at once, so that nothing of an
// object outlives it, however its identifier or address is reused.
#ifndef QRO_USE_INDEX_H
#define QRO_USE_INDEX_H

#include <cstdint>

#include "qroallocator.h"
#include "qroextractable.h"

class QroRecycleBinI;

class QroUseIndex {
 public:
  explicit QroUseIndex(QroEnvI* env);
  ~QroUseIndex();
  QroUseIndex(const QroUseIndex&) = delete;
  QroUseIndex& operator=(const QroUseIndex&) = delete;

  // x was registered: it is indexed at the next cascade.
  void registered(QroExtractableI* x);
  // The object at id was unregistered: its uses and its users are forgotten.
  void unregistered(QroInt id);
  // What x uses may have changed: it is indexed again at the next cascade.
  void usesChanged(QroExtractableI* x);
  // user now uses used as well.
  void addUse(QroExtractableI* user, QroExtractableI* used);

  // Collecting the users of the bin's marked objects: the effect of asking
  // every live unmarked extractable, in identifier order, whether it uses a
  // marked one until a full sweep marks nothing more. Only the extractables
  // that use a marked one (or that use what they please, visitUses false, or
  // a null or ended object) are asked, in the order the sweep would ask them.
  void collect(QroRecycleBinI* bin);
  // The bin marked x during collect.
  void marked(QroExtractableI* x);
  // Indexes what was made or changed since the last call. Called before a
  // cascade marks anything.
  void update();

  // Uses recorded, and identifiers covered (for measurements).
  QroInt getCellCount() const { return _cellCount; }
  QroInt getIdSize() const { return _idSize; }

 private:
  friend class QroUseCollector;
  // user uses used.
  struct Cell {
    Cell* nextUser;  // among the users of used
    Cell* prevUser;
    Cell* nextUse;  // among the uses of user
    Cell* prevUse;
    QroInt user;
    QroInt used;
  };
  struct Entry {
    QroExtractableI* x;
    QroInt id;
  };
  // Per identifier. The positions are 1 + the index of the entry in the
  // pending or always list, 0 when the object is not there.
  struct Slot {
    Cell* users;
    Cell* uses;
    QroInt queuedIn;
    QroInt nextIn;
    int32_t pendingAt;
    int32_t alwaysAt;
    bool indexed;
  };
  // The pending or the always list; each entry's position is kept in its
  // slot's member at.
  struct Entries {
    Entry* data;
    QroInt count, size;
    int32_t Slot::*at;
  };

  void reserveIds(QroInt n);
  void addCell(QroInt used, QroInt user);
  void dropUses(QroInt id);
  void dropUsers(QroInt id);
  void addEntry(Entries& list, QroExtractableI* x, QroInt id);
  void removeEntry(Entries& list, QroInt id);
  void index(QroExtractableI* x, QroInt id);
  void rebuild();
  void queue(QroInt id);
  void queueNext(QroInt id);
  void queueAlways();
  QroInt popFirst();

  QroEnvI* _env;
  QroMemoryPool _cells;
  QroInt _cellCount;
  QroInt _idSize;
  Slot* _slots;
  // Extractables to index; those asked at every pass.
  Entries _pending;
  Entries _always;
  // The identifiers to ask in this pass (a heap) and in the next one.
  QroInt* _heap;
  QroInt _heapCount, _heapSize;
  QroInt* _next;
  QroInt _nextCount, _nextSize;
  bool _built;
  bool _collecting;
  QroInt _pass;
  QroInt _position;
  QroInt _limit;
};

#endif
