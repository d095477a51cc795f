#include "qroexception.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>

QroQuietException::QroQuietException(const char* message, int64_t copy)
    : _message(nullptr), _owns(0) {
  assign(message, copy);
}

QroQuietException::QroQuietException(const QroQuietException& other) : _message(nullptr), _owns(0) {
  assign(other._message, other._owns);
}

QroQuietException& QroQuietException::operator=(const QroQuietException& other) {
  if (this != &other) {
    release();
    assign(other._message, other._owns);
  }
  return *this;
}

QroQuietException::~QroQuietException() {
  release();
}

void QroQuietException::assign(const char* message, int64_t copy) {
  _owns = copy;
  if (!message) {
    _message = nullptr;
    return;
  }
  if (!copy) {
    _message = message;
    return;
  }
  size_t n = std::strlen(message) + 1;
  char* text = new (std::nothrow) char[n];
  if (!text) throw QroMemoryException();
  std::memcpy(text, message, n);
  _message = text;
}

void QroQuietException::release() {
  if (_owns && _message) delete[] _message;
  _message = nullptr;
}

const char* QroQuietException::getMessage() const {
  return _message ? _message : "";
}

void QroQuietException::print(std::ostream& os) const {
  os << getMessage();
}

QroException::~QroException() {}
QroWrongUsage::~QroWrongUsage() {}
QroMemoryException::~QroMemoryException() {}
QroEnvAllocatorThreadMismatch::~QroEnvAllocatorThreadMismatch() {}
QroEnvAllocationDisabled::~QroEnvAllocationDisabled() {}
QroEmptyHandleException::~QroEmptyHandleException() {}
QroNotImplemented::~QroNotImplemented() {}
QroNotSupportedOperation::~QroNotSupportedOperation() {}
QroNoChangeDuringSearchException::~QroNoChangeDuringSearchException() {}
QroArrayError::~QroArrayError() {}
QroCloneMethodNotImplementedException::~QroCloneMethodNotImplementedException() {}

char* QroCopyStreamText(std::ostringstream& os) {
  std::string s = os.str();
  os.str(std::string());
  char* text = new (std::nothrow) char[s.size() + 1];
  if (!text) throw QroMemoryException();
  std::memcpy(text, s.c_str(), s.size() + 1);
  return text;
}

void QroAbortEmptyHandle(const char* text) {
  std::fprintf(stderr, "%s\n", text);
  std::fflush(stderr);
  std::abort();
}
