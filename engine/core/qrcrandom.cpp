#include "qrcrandom.h"

#include <new>

#include "qrcmanager.h"
#include "qrcsearch.h"
#include "qroexception.h"

void* QrcSolverRandomAlloc::alloc(size_t size) {
  return QrcAllocate(size, _manager);
}

void* QrcSolverCplusAlloc::alloc(size_t size) {
  void* p = new (std::nothrow) char[size];
  if (!p) throw QroMemoryException();
  return p;
}

void QrcSolverCplusAlloc::free(void* p, size_t) {
  delete[] static_cast<char*>(p);
}

QrcSolverRandomStateI::QrcSolverRandomStateI(QrcManagerI* manager) : _manager(manager) {
  QrcSolverRandomAlloc a(manager);
  allocate(&a);
}

QrcSolverRandomTmpStateI::QrcSolverRandomTmpStateI() {
  QrcSolverCplusAlloc a;
  allocate(&a);
}

QrcSolverRandomTmpStateI::~QrcSolverRandomTmpStateI() {
  QrcSolverCplusAlloc a;
  free(&a);
}

// A state left unfilled would draw only zeros: the plain constructor seeds with 0.
QrcRandomI::QrcRandomI(QrcManagerI* manager)
    : QroRandomBaseI(new (manager) QrcSolverRandomStateI(manager)), _manager(manager), _word(0) {
  getState()->fill(0);
}

QrcRandomI::QrcRandomI(QrcManagerI* manager, QrcInt seed)
    : QroRandomBaseI(new (manager) QrcSolverRandomStateI(manager)), _manager(manager), _word(0) {
  reSeed(seed);
}

double QrcRandomI::getFloat() {
  QrcSearchI* s = _manager->getCurrentSearch();
  if (s && s->usesNodeStorage() && s->getCurrentNode()) {
    if (s->isRecomputing()) return s->readInfo();
    double value = QroRandomBaseI::getFloat();
    s->writeInfo(value);
    return value;
  }
  return QroRandomBaseI::getFloat();
}

QrcSolverRandomTmpStateI* QrcRandomI::copyState() const {
  QrcSolverRandomTmpStateI* copy = new (std::nothrow) QrcSolverRandomTmpStateI();
  if (!copy) throw QroMemoryException();
  copy->copy(*getState());
  return copy;
}

QrcRandomI* QrcGetRandom(QrcManagerI* manager) {
  return manager->getRandom();
}

QrcRandomI* QrcMakeRandom(QrcManagerI* manager, const QroRandomStateI* kept) {
  QrcRandomI* r = new (manager) QrcRandomI(manager, 0);
  if (kept) r->getState()->copy(*kept);
  return r;
}
