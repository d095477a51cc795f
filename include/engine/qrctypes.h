// Scalar types of the search engine and forward declarations of its classes.
#ifndef QRC_TYPES_H
#define QRC_TYPES_H

#include <cstdint>
#include <typeinfo>

#include "qrotypes.h"

typedef int64_t QrcInt;
typedef uint64_t QrcUInt;
typedef double QrcFloat;
typedef int64_t QrcBool;
// Labels of failures and choice points: compared by identity; null is no label.
typedef const void* QrcAny;

// Largest magnitude of an engine integer bound: 2^53 - 1, exact as a double.
const QrcInt QrcIntMax = QroIntMax;
const QrcInt QrcIntMin = QroIntMin;
const QrcInt QrcInt64Max = INT64_MAX;

// Declares X one of the library's own classes, which a failure may jump over
// in a manager whose failures are exceptions (QrcManagerI::getFailJump): its
// code keeps trivially destructible locals on every path a failure takes and
// catches no failure. A class derived from X is not the library's unless it
// declares itself. For the library's classes only.
#define QRCLIBRARYCLASS(X)                                 \
  const std::type_info* getLibraryClass() const override { \
    return &typeid(X);                                     \
  }

// Whether object is of one of the library's own classes: the class it
// declares (QRCLIBRARYCLASS) is the class it is, not a base of it.
template <class T>
bool QrcIsLibraryObject(const T* object) {
  const std::type_info* own = object->getLibraryClass();
  if (!own) return false;
  const std::type_info& is = typeid(*object);
  return own == &is || *own == is;
}

class QrcManagerI;
class QrcManager;
class QrcErrorReporter;
class QrcMemoryStack;
class QrcTrail;
class QrcSizeAllocatorI;
class QrcPropagationQueueI;
class QrcSearchMonitorI;
class QrcRootGoalDemonI;
class QrcGoalI;
class QrcDemonI;
class QrcConstraintI;
class QrcEventHandlerI;
class QrcSearchI;
class QrcOptFilterI;
class QrcExprI;
class QroSolverI;

typedef uint64_t QrcWord;

#endif
