// The exceptions an engine object throws for a bad argument given through the
// application interface (an empty handle, arrays that do not match). They are
// the root of the solver's exceptions: QroSolver names them Exception and
// EmptyHandle, so a caller catches one family whichever layer threw.
#ifndef QRC_EXCEPTION_H
#define QRC_EXCEPTION_H

#include "qroalgorithm.h"

class QrcException : public QroAlgorithm::Exception {
 public:
  explicit QrcException(const char* message, int64_t copy = 0)
      : QroAlgorithm::Exception(message, copy), _code(-1) {}
  ~QrcException() override;
  // -1 at every throw site.
  QroInt getCode() const { return _code; }

 private:
  QroInt _code;
};

class QrcEmptyHandleException : public QrcException {
 public:
  explicit QrcEmptyHandleException(const char* message = "QroSolver is a empty handle")
      : QrcException(message) {}
  ~QrcEmptyHandleException() override;
};

#endif
