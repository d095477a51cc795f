#include "qrorandom.h"

#include <cstring>

namespace {
const QroUInt kMask53 = (QroUInt(1) << 53) - 1;
}

QroRandomStateI::~QroRandomStateI() {}

void QroRandomStateI::allocate(QroGenAlloc* a) {
  _words = static_cast<QroUInt*>(a->alloc(Bytes));
  std::memset(_words, 0, Bytes);
}

void QroRandomStateI::free(QroGenAlloc* a) {
  if (_words) a->free(_words, Bytes);
  _words = nullptr;
}

void QroRandomStateI::copy(const QroRandomStateI& other) {
  std::memcpy(_words, other._words, Bytes);
  _index = other._index;
}

void QroRandomStateI::fill(QroInt seed) {
  // The magnitude is taken in unsigned arithmetic so that the most negative
  // seed is well defined.
  QroUInt v =
      seed == 0 ? 1
                : (seed < 0 ? QroUInt(0) - static_cast<QroUInt>(seed) : static_cast<QroUInt>(seed));
  QroUInt x = v % 8190 + 1;
  for (QroInt w = Words - 1; w >= 0; --w) {
    QroUInt f[5];
    for (int j = 0; j < 5; ++j) {
      x = (x * 17) % 8191;
      f[j] = x;
    }
    _words[w] = (f[0] >> 1) | ((f[1] >> 1) << 12) | ((f[2] >> 1) << 24) | ((f[3] >> 1) << 36) |
                ((f[4] >> 8) << 48);
  }
  _index = 0;
}

QroUInt QroRandomStateI::step() {
  QroInt j = _index + 1;
  if (j == Words) j = 0;
  _words[j] = (_words[_index] + _words[j]) & kMask53;
  _index = j;
  return _words[j];
}

QroRandomBaseI::~QroRandomBaseI() {}

double QroRandomBaseI::reSeed(QroInt seed) {
  _state->fill(seed);
  return draw();
}

double QroRandomBaseI::getFloat() {
  return static_cast<double>(_state->step()) * 1.1102230246251565e-16;
}
