// Environments with or without their size-class pools: without them every
// object comes from the system allocator and goes back to it when ended, so
// that the sanitizers catch what reads an ended object.
#ifndef QRO_TEST_ENV_POOLS_H
#define QRO_TEST_ENV_POOLS_H

#include <cstdlib>

#include "qroenv.h"

namespace qrotest {

inline QroEnv makeEnv(bool pooled) {
  if (!pooled) setenv("QRO_NO_MEMORY_MANAGER", "1", 1);
  QroEnv env;
  unsetenv("QRO_NO_MEMORY_MANAGER");
  return env;
}

inline QroEnv unpooledEnv() {
  return makeEnv(false);
}

}  // namespace qrotest

#endif
