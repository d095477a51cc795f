// Engine error reports: one "Solver Error" line on standard error, then the
// reporter's fatal operation, which stops the program (or, in a subclass,
// throws). Errors are reported where found; they never return to the caller.
#ifndef QRC_ERROR_H
#define QRC_ERROR_H

#include <iosfwd>

#include "qrctypes.h"

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
