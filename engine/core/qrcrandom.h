// The engine's random source: the modelling layer's generator with its state in
// the manager's memory. While a search with open-node storage runs, every draw
// is recorded on the current node's path, and recomputing that path reads the
// draws back, so random choices made in goals replay identically.
#ifndef QRC_RANDOM_H
#define QRC_RANDOM_H

#include "qrorandom.h"
#include "qrctypes.h"

// Allocates on the manager's heap and never gives memory back.
class QrcSolverRandomAlloc : public QroGenAlloc {
  QROSIMPLECLASS(QrcSolverRandomAlloc, QroGenAlloc)
 public:
  explicit QrcSolverRandomAlloc(QrcManagerI* manager) : _manager(manager) {}
  void* alloc(size_t size) override;
  void free(void*, size_t) override {}
  void saveValue(void*) override {}
  void saveValue2(void*) override {}
  void saveValue3(void*) override {}
  const char* internString(const char* text) override { return text; }

 private:
  QrcManagerI* _manager;
};

// Allocates with the global new and gives back with the global array delete.
class QrcSolverCplusAlloc : public QroGenAlloc {
  QROSIMPLECLASS(QrcSolverCplusAlloc, QroGenAlloc)
 public:
  void* alloc(size_t size) override;
  void free(void* p, size_t size) override;
  void saveValue(void*) override {}
  void saveValue2(void*) override {}
  void saveValue3(void*) override {}
  const char* internString(const char* text) override { return text; }
};

// A state whose words live on the manager's heap.
class QrcSolverRandomStateI : public QroRandomStateI {
 public:
  explicit QrcSolverRandomStateI(QrcManagerI* manager);
  QrcManagerI* getManager() const { return _manager; }

 private:
  QrcManagerI* _manager;
};

// A state kept outside the manager (to copy and keep a generator's state).
class QrcSolverRandomTmpStateI : public QroRandomStateI {
 public:
  QrcSolverRandomTmpStateI();
  ~QrcSolverRandomTmpStateI() override;
};

class QrcRandomI : public QroRandomBaseI {
 public:
  // On the manager's heap; seeded with 0 unless a seed is given.
  explicit QrcRandomI(QrcManagerI* manager);
  QrcRandomI(QrcManagerI* manager, QrcInt seed);
  ~QrcRandomI() override {}

  // A double in [0, 1), recorded for replay or replayed (see above).
  double draw() override { return getFloat(); }
  double getFloat();
  // A copy of the state, owned by the caller.
  QrcSolverRandomTmpStateI* copyState() const;
  QrcManagerI* getManager() const { return _manager; }

 private:
  QrcManagerI* _manager;
  QrcInt _word;
};

// The manager's random source (made with the manager).
QrcRandomI* QrcGetRandom(QrcManagerI* manager);
// Makes the manager's random source, its state copied from a kept one when given.
QrcRandomI* QrcMakeRandom(QrcManagerI* manager, const QroRandomStateI* kept);

#endif
