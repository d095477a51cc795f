// A manager made with or without the engine's pooling. Without it every
// object is a block of its own from the system, so that the sanitizers see
// the memory a backtrack gave back; the switch is read when a manager is made.
#ifndef QRO_TEST_UNPOOLED_H
#define QRO_TEST_UNPOOLED_H

#include <cstdlib>

#include "qrcmanager.h"

namespace qrotest {

inline QrcManager managerPooled(bool pooled, QrcManagerTag tag = QrcNoEdit) {
  // Set here only when the environment has not switched pooling off already.
  bool switched = !pooled && !std::getenv("QRC_NO_MEMORY_MANAGER");
  if (switched) setenv("QRC_NO_MEMORY_MANAGER", "1", 1);
  QrcManager mgr(tag);
  if (switched) unsetenv("QRC_NO_MEMORY_MANAGER");
  return mgr;
}

}  // namespace qrotest

#endif
