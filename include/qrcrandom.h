// The engine's random source: the modelling layer's lagged additive generator
// with its state in the manager's memory.
#ifndef QRC_RANDOM_H
#define QRC_RANDOM_H

#include "qrctypes.h"
#include "qrorandom.h"

// Takes memory on a manager's heap and never gives it back.
class QrcSolverRandomAlloc : public QroGenAlloc {
  QROSIMPLECLASS(QrcSolverRandomAlloc, QroGenAlloc)
 public:
  explicit QrcSolverRandomAlloc(QrcManagerI* manager) : _manager(manager) {}
  ~QrcSolverRandomAlloc() override;
  void* alloc(size_t size) override;
  void free(void*, size_t) override {}
  void saveValue(void*) override {}
  void saveValue2(void*) override {}
  void saveValue3(void*) override {}
  const char* internString(const char* text) override { return text; }

 private:
  QrcManagerI* _manager;
};

// Takes memory with the global new and gives it back with the global delete.
class QrcSolverCplusAlloc : public QroGenAlloc {
  QROSIMPLECLASS(QrcSolverCplusAlloc, QroGenAlloc)
 public:
  ~QrcSolverCplusAlloc() override;
  void* alloc(size_t size) override;
  void free(void* p, size_t size) override;
  void saveValue(void*) override {}
  void saveValue2(void*) override {}
  void saveValue3(void*) override {}
  const char* internString(const char* text) override { return text; }
};

// A generator state whose words live on the manager's heap.
class QrcSolverRandomStateI : public QroRandomStateI {
 public:
  explicit QrcSolverRandomStateI(QrcManagerI* manager);
  ~QrcSolverRandomStateI() override;

 private:
  QrcManagerI* _manager;
};

// A temporary copy of a generator's state, on the system heap.
class QrcSolverRandomTmpStateI : public QroRandomStateI {
 public:
  QrcSolverRandomTmpStateI();
  ~QrcSolverRandomTmpStateI() override;
};

class QrcRandomI : public QroRandomBaseI {
 public:
  explicit QrcRandomI(QrcManagerI* manager);
  QrcRandomI(QrcManagerI* manager, QrcInt seed);
  ~QrcRandomI() override;
  // A double in [0, 1). Without open-node storage no path is ever replayed,
  // so every value is a fresh draw.
  double draw() override;
  // A copy of the state on the system heap; the caller deletes it.
  QrcSolverRandomTmpStateI* copyState() const;
  QrcManagerI* getManager() const { return _manager; }

 private:
  QrcManagerI* _manager;
  QrcWord _word;
};

#endif
