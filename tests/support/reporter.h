// Engine error reports in tests: a reporter whose fatal operation throws the
// code, and the code and error line of a call that must report.
#ifndef QRO_TEST_REPORTER_H
#define QRO_TEST_REPORTER_H

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "qrcerror.h"

namespace qrotest {

class ThrowingReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { throw code; }
};

// The code thrown by a ThrowingReporter (-1 when none) and what went to stderr.
template <class F>
std::pair<int, std::string> reported(F f) {
  testing::internal::CaptureStderr();
  int code = -1;
  try {
    f();
  } catch (int c) {
    code = c;
  }
  return {code, testing::internal::GetCapturedStderr()};
}

}  // namespace qrotest

#endif
