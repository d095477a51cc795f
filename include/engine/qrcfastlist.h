// Fast lists: cells that switch between two doubly linked chains, in and out,
// in constant time, and go back into the in chain all at once. Adding a cell
// is reversible (its links are saved on the trail); moving cells between the
// chains is not: users reset a list before each use.
#ifndef QRC_FASTLIST_H
#define QRC_FASTLIST_H

#include "qrcgenalloc.h"
#include "qrcmanager.h"
#include "qrodoublingarray.h"

template <class T>
struct QrcFastEltI {
  QrcFastEltI* next;
  QrcFastEltI* prev;
  QroInt state;  // 0 in, 1 out
  T value;
};

template <class T>
class QrcFastListI {
 public:
  typedef QrcFastEltI<T> Elt;

  QrcFastListI(QrcManagerI* manager, QroInt room)
      : _manager(manager),
        _cells(manager->getGeneralAllocator()),
        _outCount(0),
        _inHead(nullptr),
        _inTail(nullptr),
        _outHead(nullptr),
        _outTail(nullptr) {
    _cells.grow(room);
  }

  // A new cell at the end of the in chain; undone on backtracking.
  void add(const T& value) {
    Elt* e = new (_manager) Elt{nullptr, nullptr, 0, value};
    _cells.add(e);
    _manager->saveValue(&_inTail);
    if (_inTail) {
      _manager->saveValue(&_inTail->next);
      _inTail->next = e;
    } else {
      _manager->saveValue(&_inHead);
      _inHead = e;
    }
    e->prev = _inTail;
    _inTail = e;
  }

  void remove(QroInt position) { removeCell(_cells[position]); }
  void removeCell(Elt* e) {
    if (e->state != 0) return;
    ++_outCount;
    unlink(e, _inHead, _inTail);
    append(e, _outHead, _outTail);
    e->state = 1;
  }
  void restore(QroInt position) { restoreCell(_cells[position]); }
  void restoreCell(Elt* e) {
    if (e->state != 1) return;
    --_outCount;
    unlink(e, _outHead, _outTail);
    append(e, _inHead, _inTail);
    e->state = 0;
  }
  bool isOut(QroInt position) const { return _cells[position]->state == 1; }
  // Every cell back in the in chain, in position order.
  void reset() {
    _inHead = _inTail = _outHead = _outTail = nullptr;
    _outCount = 0;
    for (QroInt i = 0; i < _cells.getSize(); ++i) {
      Elt* e = _cells[i];
      e->next = e->prev = nullptr;
      e->state = 0;
      append(e, _inHead, _inTail);
    }
  }

  QroInt getSize() const { return _cells.getSize(); }
  QroInt getOutCount() const { return _outCount; }
  Elt* getCell(QroInt position) const { return _cells[position]; }
  Elt* firstIn() const { return _inHead; }
  Elt* lastIn() const { return _inTail; }
  Elt* firstOut() const { return _outHead; }
  Elt* lastOut() const { return _outTail; }
  void release() { _cells.release(); }

 private:
  static void unlink(Elt* e, Elt*& head, Elt*& tail) {
    if (e->prev)
      e->prev->next = e->next;
    else
      head = e->next;
    if (e->next)
      e->next->prev = e->prev;
    else
      tail = e->prev;
    e->next = e->prev = nullptr;
  }
  static void append(Elt* e, Elt*& head, Elt*& tail) {
    e->prev = tail;
    e->next = nullptr;
    if (tail)
      tail->next = e;
    else
      head = e;
    tail = e;
  }

  QrcManagerI* _manager;
  QroDoublingArray<Elt*> _cells;
  QroInt _outCount;
  Elt* _inHead;
  Elt* _inTail;
  Elt* _outHead;
  Elt* _outTail;
};

#endif
