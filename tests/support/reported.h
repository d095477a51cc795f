// An error reporter that throws the report's code as a Reported instead of
// ending the program, for tests that check what a misuse reports.
#ifndef QRO_TEST_REPORTED_H
#define QRO_TEST_REPORTED_H

#include "qrcerror.h"

namespace qrotest {

struct Reported {
  int code;
};

class ThrowingReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { throw Reported{code}; }
};

}  // namespace qrotest

#endif
