#include "qrohash.h"

#include <cmath>

#include "qroenv.h"

namespace {
inline QroInt wrap(QroUInt v) {
  return static_cast<QroInt>(v);
}
// Arithmetic right shift of a signed value (sign bits shifted in).
inline QroUInt sar(QroUInt v, int s) {
  QroUInt r = v >> s;
  if (v >> 63) r |= ~(~QroUInt(0) >> s);
  return r;
}
inline QroInt absRemainder(QroInt v, QroInt n) {
  QroInt r = v % n;
  return r < 0 ? -r : r;
}
}  // namespace

QroInt QroHashMix64(QroInt signedKey, QroInt n) {
  QroUInt key = static_cast<QroUInt>(signedKey);
  key += ~(key << 32);
  key ^= sar(key, 22);
  key += ~(key << 13);
  key ^= sar(key, 8);
  key += key << 3;
  key ^= sar(key, 15);
  key += ~(key << 27);
  key ^= sar(key, 31);
  return absRemainder(wrap(key), n);
}

QroInt QroHashDouble(double key, QroInt n) {
  const double limit = static_cast<double>(QroIntMax);
  double v = key * 0.618033;
  if (std::isnan(v)) v = 0;
  if (v > limit) v = limit;
  if (v < -limit) v = -limit;
  return absRemainder(static_cast<QroInt>(v), n);
}

QroUInt QroHashStringValue(const char* text) {
  uint32_t h = 0;
  for (const char* p = text; *p; ++p) {
    int32_t c = static_cast<signed char>(*p);
    h = h * 16u + static_cast<uint32_t>(c);
    uint32_t g = h & 0xF0000000u;
    if (g) h = h ^ (g >> 24) ^ g;
  }
  return h;
}

QroInt QroHashString(const char* text, QroInt n) {
  return static_cast<QroInt>(QroHashStringValue(text) % static_cast<QroUInt>(n));
}

void QroThrowBadHashIndex() {
  throw QroWrongUsage("Hash function returned bad index");
}

// ---------------------------------------------------------------------------
// Symbol table

QroSymbolTable::QroSymbolTable(QroEnvI* env, QroInt bucketCount)
    : QroStringHashTable<QroSymbolI*>(env->getGeneralAllocator(), bucketCount), _env(env) {}

QroSymbolTable::~QroSymbolTable() {
  if (!_env->isEnding() && _buckets) {
    for (QroInt b = 0; b < _bucketCount; ++b)
      for (Entry* e = _buckets[b]; e; e = e->next) delete e->value;
  }
  clear();
}

QroSymbolI* QroSymbolTable::intern(const char* text) {
  QroSymbolI* symbol = nullptr;
  if (find(text, symbol) == 0) return symbol;
  // Symbols outlive any local environment (a search's memory is popped).
  QroLocalEnvSuspension permanent(_env);
  symbol = new (_env) QroSymbolI(_env, text);
  try {
    add(symbol->getText(), symbol);
  } catch (...) {
    delete symbol;
    throw;
  }
  return symbol;
}
