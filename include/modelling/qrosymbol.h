// Interned texts of an environment and the base shared with data collections.
#ifndef QRO_SYMBOL_H
#define QRO_SYMBOL_H

#include "qroobject.h"

class QroWuxBaseObjectI : public QroRttiEnvObjectI {
  QROSIMPLECLASS(QroWuxBaseObjectI, QroRttiEnvObjectI)
 public:
  explicit QroWuxBaseObjectI(QroEnvI* env) : QroRttiEnvObjectI(env) {}
  ~QroWuxBaseObjectI() override;
  virtual QroBool isSymbol() const { return 0; }
};

class QroSymbolI : public QroWuxBaseObjectI {
  QROSIMPLECLASS(QroSymbolI, QroWuxBaseObjectI)
 public:
  // Keeps its own copy of the text, in environment memory.
  QroSymbolI(QroEnvI* env, const char* text);
  ~QroSymbolI() override;
  const char* getText() const { return _text; }
  QroBool isSymbol() const override { return 1; }
  // The other environment's symbol for the same text.
  QroRttiEnvObjectI* makeWuxClone(QroEnvI* other) const override;

 private:
  char* _text;
};

#endif
