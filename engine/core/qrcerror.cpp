#include "qrcerror.h"

#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>

#include "qrcexception.h"

QrcErrorReporter::~QrcErrorReporter() {}
QrcException::~QrcException() {}
QrcEmptyHandleException::~QrcEmptyHandleException() {}

namespace {

void appendTexts(std::ostringstream& os, const char* text1, const char* text2) {
  os << (text1 ? text1 : "") << " : " << (text2 ? text2 : "");
}

}  // namespace

void QrcErrorReporter::emit(QrcInt code, const char* body) {
  std::cerr << "Solver Error"
            << " : " << body << std::endl;
  fatal(static_cast<int>(code));
}

void QrcErrorReporter::report(QrcInt code, const char* text1, const char* text2,
                              const void* address) {
  std::ostringstream os;
  appendTexts(os, text1, text2);
  os << " : " << address;
  emit(code, os.str().c_str());
}

void QrcErrorReporter::report(QrcInt code, const char* text1, const char* text2, QrcInt a,
                              QrcInt b) {
  std::ostringstream os;
  appendTexts(os, text1, text2);
  os << " : " << a << ".." << b;
  emit(code, os.str().c_str());
}

void QrcErrorReporter::report(QrcInt code, const char* text1, const char* text2, double x) {
  std::ostringstream os;
  appendTexts(os, text1, text2);
  os << " : " << x;
  emit(code, os.str().c_str());
}

void QrcErrorReporter::report(QrcInt code, const char* text1, const char* text2, QrcInt n) {
  std::ostringstream os;
  appendTexts(os, text1, text2);
  os << " : " << n;
  emit(code, os.str().c_str());
}

void QrcErrorReporter::report(QrcInt code, const char* text1, const char* text2,
                              const QrcPrintable* object1, const QrcPrintable* object2) {
  std::ostringstream os;
  appendTexts(os, text1, text2);
  if (object1) {
    os << " : ";
    object1->display(os);
  }
  if (object2) {
    os << ", ";
    object2->display(os);
  }
  emit(code, os.str().c_str());
}

void QrcErrorReporter::report(QrcInt code, const char* text1, const char* text2,
                              const QrcPrintable* object) {
  std::ostringstream os;
  appendTexts(os, text1, text2);
  if (object) {
    os << " : ";
    object->display(os);
  }
  emit(code, os.str().c_str());
}

void QrcErrorReporter::reportObject(QrcInt code, const char* text1, const char* text2,
                                    const QrcPrintable* object) {
  report(code, text1, text2, object);
}

void QrcErrorReporter::fatal(int) {
  std::abort();
}

void QrcFatalError(QrcInt, const char* message, const char* place) {
  std::cerr << "Solver Error : " << (message ? message : "") << " : " << (place ? place : "")
            << std::endl;
  std::abort();
}
