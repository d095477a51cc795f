#include "qrcrandom.h"

#include <new>

#include "qrcmanager.h"
#include "qroexception.h"

QrcSolverRandomAlloc::~QrcSolverRandomAlloc() {}

void* QrcSolverRandomAlloc::alloc(size_t size) { return _manager->allocate(size); }

QrcSolverCplusAlloc::~QrcSolverCplusAlloc() {}

void* QrcSolverCplusAlloc::alloc(size_t size) {
  void* p = new (std::nothrow) char[size ? size : 1];
  if (!p) throw QroMemoryException();
  return p;
}

void QrcSolverCplusAlloc::free(void* p, size_t) { delete[] static_cast<char*>(p); }

namespace {
QrcSolverCplusAlloc systemAlloc;
}

QrcSolverRandomStateI::QrcSolverRandomStateI(QrcManagerI* manager) : _manager(manager) {
  QrcSolverRandomAlloc* a = new (manager) QrcSolverRandomAlloc(manager);
  allocate(a);
}

QrcSolverRandomStateI::~QrcSolverRandomStateI() {}

QrcSolverRandomTmpStateI::QrcSolverRandomTmpStateI() { allocate(&systemAlloc); }

QrcSolverRandomTmpStateI::~QrcSolverRandomTmpStateI() { free(&systemAlloc); }

QrcRandomI::QrcRandomI(QrcManagerI* manager)
    : QroRandomBaseI(new (manager) QrcSolverRandomStateI(manager)), _manager(manager), _word(0) {}

QrcRandomI::QrcRandomI(QrcManagerI* manager, QrcInt seed) : QrcRandomI(manager) { reSeed(seed); }

QrcRandomI::~QrcRandomI() {}

double QrcRandomI::draw() { return getFloat(); }

QrcSolverRandomTmpStateI* QrcRandomI::copyState() const {
  QrcSolverRandomTmpStateI* tmp = new (std::nothrow) QrcSolverRandomTmpStateI();
  if (!tmp) throw QroMemoryException();
  tmp->copy(*getState());
  return tmp;
}
