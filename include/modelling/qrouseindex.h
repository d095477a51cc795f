// The users of each extractable, so that a cascade asks only the extractables
// that use a marked one instead of every live one. An extractable is indexed
// from what its visitUses hands over, at the first cascade after it was made
// or changed; the index is made at the first cascade of an environment.
#ifndef QRO_USE_INDEX_H
#define QRO_USE_INDEX_H

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
  // The object at id was unregistered: its users are forgotten.
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
  // Indexes what was made or changed since the last call (and, when most
  // uses recorded are of objects gone, everything again). Called before a
  // cascade marks anything.
  void update();

 private:
  friend class QroUseCollector;
  struct Cell {
    Cell* next;
    QroExtractableI* user;
    QroInt userId;
  };
  struct Entry {
    QroExtractableI* x;
    QroInt id;
  };
  enum State { Pending = 1, Indexed = 2, Always = 4 };

  void reserveIds(QroInt n);
  void addCell(QroInt used, QroExtractableI* user, QroInt userId);
  void freeUsers(QroInt id);
  void index(QroExtractableI* x, QroInt id);
  void rebuild();
  void compact();
  void queue(QroInt id);
  void queueNext(QroInt id);
  void queueAlways();
  QroInt popFirst();

  QroEnvI* _env;
  QroMemoryPool _cells;
  QroInt _cellCount;
  QroInt _staleCells;
  // Per identifier: users, cells owned as a user, state, the passes queued in.
  QroInt _idSize;
  Cell** _users;
  QroInt* _owned;
  unsigned char* _state;
  QroInt* _queuedIn;
  QroInt* _nextIn;
  // Extractables to index; those asked at every pass.
  Entry* _pending;
  QroInt _pendingCount, _pendingSize;
  Entry* _always;
  QroInt _alwaysCount, _alwaysSize;
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
