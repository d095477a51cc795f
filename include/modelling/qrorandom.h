// Lagged additive pseudo-random generator over 532 words of 53 bits. The same
// seed gives the same sequence on every machine (integer arithmetic only).
#ifndef QRO_RANDOM_H
#define QRO_RANDOM_H

#include "qroobject.h"

class QroRandomStateI {
 public:
  enum { Words = 532, Bytes = Words * 8 };

  QroRandomStateI() : _index(0), _words(nullptr) {}
  virtual ~QroRandomStateI();

  // The word array comes from, and goes back to, the given allocator.
  void allocate(QroGenAlloc* a);
  void free(QroGenAlloc* a);
  // Copies the other state's words and index.
  void copy(const QroRandomStateI& other);

  // Fills the words from a seed and sets the index to 0.
  void fill(QroInt seed);
  // One step of the generator: the next 53-bit word.
  QroUInt step();

  QroInt getIndex() const { return _index; }
  QroUInt getWord(QroInt i) const { return _words[i]; }

 private:
  QroInt _index;
  QroUInt* _words;
};

class QroRandomBaseI {
 public:
  explicit QroRandomBaseI(QroRandomStateI* state) : _state(state) {}
  virtual ~QroRandomBaseI();
  // The draw of a subclass; the base draw is getFloat.
  virtual double draw() = 0;

  // Refills the state, then draws once (that value is consumed by seeding).
  double reSeed(QroInt seed);
  // A double in [0, 1), exact: a 53-bit word times 2^-53.
  double getFloat();
  QroRandomStateI* getState() const { return _state; }

 private:
  QroRandomStateI* _state;
};

#endif
