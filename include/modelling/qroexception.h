// Exceptions of the modelling and solver layers. They are thrown by value and
// caught by reference to QroException; printing writes the message.
#ifndef QRO_EXCEPTION_H
#define QRO_EXCEPTION_H

#include <cstdint>
#include <iosfwd>
#include <sstream>

class QroQuietException {
 public:
  // A non-zero copy flag makes the exception own a private copy of the message;
  // otherwise the pointer is stored and must outlive the exception.
  explicit QroQuietException(const char* message = nullptr, int64_t copy = 0);
  QroQuietException(const QroQuietException& other);
  QroQuietException& operator=(const QroQuietException& other);
  virtual ~QroQuietException();

  virtual const char* getMessage() const;
  virtual void print(std::ostream& os) const;
  virtual void end() {}

 private:
  void assign(const char* message, int64_t copy);
  void release();

  const char* _message;
  int64_t _owns;
};

class QroException : public QroQuietException {
 public:
  explicit QroException(const char* message = nullptr, int64_t copy = 0)
      : QroQuietException(message, copy) {}
  ~QroException() override;
};

class QroWrongUsage : public QroException {
 public:
  explicit QroWrongUsage(const char* message, int64_t copy = 0) : QroException(message, copy) {}
  ~QroWrongUsage() override;
};

class QroMemoryException : public QroException {
 public:
  QroMemoryException() : QroException("not enough memory") {}
  ~QroMemoryException() override;
};

class QroEnvAllocatorThreadMismatch : public QroException {
 public:
  QroEnvAllocatorThreadMismatch() : QroException("env allocator thread mismatch.") {}
  ~QroEnvAllocatorThreadMismatch() override;
};

class QroEnvAllocationDisabled : public QroException {
 public:
  QroEnvAllocationDisabled() : QroException("env allocation disabled.") {}
  ~QroEnvAllocationDisabled() override;
};

class QroEmptyHandleException : public QroException {
 public:
  QroEmptyHandleException() : QroException("Using empty handle.") {}
  explicit QroEmptyHandleException(const char* message) : QroException(message) {}
  ~QroEmptyHandleException() override;
};

class QroNotImplemented : public QroException {
 public:
  QroNotImplemented() : QroException("Feature Not Implemented.") {}
  explicit QroNotImplemented(const char* message) : QroException(message) {}
  ~QroNotImplemented() override;
};

class QroNotSupportedOperation : public QroException {
 public:
  QroNotSupportedOperation() : QroException("Operation Not Supported.") {}
  explicit QroNotSupportedOperation(const char* message) : QroException(message) {}
  ~QroNotSupportedOperation() override;
};

class QroNoChangeDuringSearchException : public QroException {
 public:
  QroNoChangeDuringSearchException()
      : QroException("This change is not allowed during a search.") {}
  ~QroNoChangeDuringSearchException() override;
};

class QroArrayError : public QroException {
 public:
  explicit QroArrayError(const char* message) : QroException(message) {}
  ~QroArrayError() override;
};

class QroCloneMethodNotImplementedException : public QroException {
 public:
  QroCloneMethodNotImplementedException()
      : QroException(
            "Not implemented: QroClonableObjectI* makeClone(const QroClonableObjectI* x) const") {}
  ~QroCloneMethodNotImplementedException() override;
};

// Turns the text gathered in a string stream into a new character array of
// length + 1 bytes (the stream is emptied); the caller owns the array.
char* QroCopyStreamText(std::ostringstream& os);

// Handle checks: prints the text and a newline on the error stream, then
// stops the program (kept in release builds).
[[noreturn]] void QroAbortEmptyHandle(const char* text);

#endif
