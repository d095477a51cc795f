#include "qrosymbol.h"

#include <cstring>

#include "qroenv.h"

QroWuxBaseObjectI::~QroWuxBaseObjectI() {}

QroSymbolI::QroSymbolI(QroEnvI* env, const char* text) : QroWuxBaseObjectI(env), _text(nullptr) {
  if (!text) text = "";
  size_t n = std::strlen(text) + 1;
  _text = static_cast<char*>(env->alloc(n));
  std::memcpy(_text, text, n);
}

QroSymbolI::~QroSymbolI() {
  if (_text) _env->free(_text, std::strlen(_text) + 1);
  _text = nullptr;
}

QroRttiEnvObjectI* QroSymbolI::makeWuxClone(QroEnvI* other) const {
  return other->getSymbol(_text);
}
