// Engine error reports: one "Solver Error" line on standard error, then the
// reporter's fatal operation, which stops the program (or, in a subclass,
// throws). Errors are reported where found; they never return to the caller.
#ifndef QRC_ERROR_H
#define QRC_ERROR_H

#include <iosfwd>

#include "qrctypes.h"

// Codes of engine error reports, with the texts that go with them. The code is
// what the reporter hands to fatal (and what the solver's exception carries).
enum QrcErrorCode {
  QrcBadConstructionError = 0,        // "Bad construction of QrcManager"
  QrcNullArraySizeError = 1,          // "called with null array size"
  QrcBadArraySizeError = 5,           // "bad array size", with the size
  QrcUnorderedElementError = 7,       // "unordered element in array", with the index
  QrcUnboundError = 10,               // "unbound constrained variable", "unbound index"
  QrcFailNotInSolveError = 18,        // "fail not in a Solve (try enclosing in QrcSolve)"
  QrcNoMemoryError = 23,              // "Solver initialization" / "no more memory"
  QrcInternalError = 25,              // "internal error"
  QrcSearchInPropagationError = 26,   // "clause in a propagation (try coroutining)"
  QrcBadIndexError = 29,              // "bad index"
  QrcBadIndexIntervalError = 30,      // "bad index interval"
  QrcNegativeIndexStepError = 31,     // "negative index step"
  QrcIncompatibleArgumentError = 32,  // "Incompatible argument"
  QrcDivideByZeroError = 36,          // "divide by zero", then "/"
  QrcEmptyHandleError = 39,           // "empty manager", "empty handle", "empty QrcSearch", ...
  QrcNoOppositeError = 40,            // "constraint without opposite"
  QrcNoMetaPostDemonError = 41,       // "constraint without metaPostDemon"
  QrcNotInProcessError = 43,          // "variable not in process"
  QrcBadEventError = 44,              // "bad event", then the function
  QrcNotAVariableError = 45,          // "not a variable"
  QrcNotImplementedError = 48,        // "Not implemented: " and the operation
  QrcRepeatedElementError = 50,       // "repeated element in array"
  QrcAllocatorSizeError = 51,         // "size not supported by fixed size allocator"
  QrcManagersDifferError = 53,        // "Managers are different"
  QrcIntervalError = 54,              // inconsistency of the interval functions, "Morvane"
  QrcTupleSetClosedError = 55,        // "the tuple set is already closed"
  QrcTupleSetNotClosedError = 56,     // "the tuple set is not closed"
  QrcArityError = 57,                 // "the arity must be less than or equal to 3"
  QrcRangeTooLargeError = 61,         // "range for prototype too large", "domain of F too large"
  QrcSearchMisuseError = 65,          // "incorrect search use"
  QrcUnknownConstraintError = 69,     // "Unknown Constraint"
  QrcBadFilterLevelError = 70,        // "Bad Filter Level"
  QrcFilterLevelChangeError = 71,     // "Cannot change Filter Level"
  QrcContinuousVariableError = 72     // "continuous constrained variable"
};

// Anything an error report can show after the texts.
class QrcPrintable {
 public:
  virtual ~QrcPrintable() {}
  virtual void display(std::ostream& os) const = 0;
};

class QrcErrorReporter {
 public:
  QrcErrorReporter() {}
  virtual ~QrcErrorReporter();

  virtual void report(QrcInt code, const char* text1, const char* text2, const void* address);
  virtual void report(QrcInt code, const char* text1, const char* text2, QrcInt a, QrcInt b);
  virtual void report(QrcInt code, const char* text1, const char* text2, double x);
  virtual void report(QrcInt code, const char* text1, const char* text2, QrcInt n);
  virtual void report(QrcInt code, const char* text1, const char* text2,
                      const QrcPrintable* object1, const QrcPrintable* object2);
  virtual void report(QrcInt code, const char* text1, const char* text2,
                      const QrcPrintable* object);
  virtual void reportObject(QrcInt code, const char* text1, const char* text2,
                            const QrcPrintable* object);
  // Ends the program; a subclass may throw instead, but must not return.
  virtual void fatal(int code);

  // Report with nothing after the two texts.
  void report(QrcInt code, const char* text1, const char* text2) {
    report(code, text1, text2, static_cast<const QrcPrintable*>(nullptr));
  }

 protected:
  // Writes "Solver Error : " body on standard error, then calls fatal.
  void emit(QrcInt code, const char* body);
};

// Error report where no manager is at hand: prints
// "Solver Error : " message " : " place and aborts. The code is not printed.
[[noreturn]] void QrcFatalError(QrcInt code, const char* message, const char* place);

// The reporter of a manager; a null manager gets a process-wide default one.
QrcErrorReporter* QrcGetErrorReporter(QrcManagerI* manager);

#endif
