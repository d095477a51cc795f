// Scalar types of the search engine and forward declarations of its classes.
#ifndef QRC_TYPES_H
#define QRC_TYPES_H

#include <cstdint>

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
