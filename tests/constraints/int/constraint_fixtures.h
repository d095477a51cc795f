// Shared pieces of the integer-constraint tests: a manager in exceptions
// mode whose reporter throws the error code, and small helpers.
#ifndef QRO_TEST_CONSTRAINT_FIXTURES_H
#define QRO_TEST_CONSTRAINT_FIXTURES_H

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "qrcfail.h"
#include "qrcint.h"

namespace ctest {

typedef std::vector<QrcInt> V;

class ThrowingReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { throw code; }
};

class ConstraintTest : public testing::Test {
 protected:
  void SetUp() override {
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
    m->useExceptions(true);
    m->setErrorReporter(&reporter);
  }
  void TearDown() override {
    m->setErrorReporter(nullptr);
    mgr.end();
  }
  QrcIntExpI* var(QrcInt lo, QrcInt hi, const char* name = nullptr) {
    return new (m) QrcIntExpI(m, lo, hi, name);
  }
  QrcIntExpI* var(V v) {
    return new (m) QrcIntExpI(m, static_cast<QrcInt>(v.size()), v.data(), nullptr);
  }
  QrcIntVarArray array(std::vector<QrcIntExpI*> xs) {
    QrcIntVarArray a(mgr, static_cast<QrcInt>(xs.size()));
    for (size_t i = 0; i < xs.size(); ++i) a.set(static_cast<QrcInt>(i), QrcIntExp(xs[i]));
    return a;
  }
  QrcIntArray ints(V v) { return QrcIntArray(mgr, static_cast<QrcInt>(v.size()), v.data()); }
  // The domain in increasing order.
  static V dom(QrcIntExpI* x) {
    V d;
    for (QrcInt v = x->getMin();; v = x->getNextHigher(v)) {
      d.push_back(v);
      if (v >= x->getMax()) return d;
    }
  }
  // Adds and propagates; false when that fails.
  bool adds(QrcConstraintI* ct) {
    try {
      m->add(ct);
      return true;
    } catch (QrcFailException&) {
      return false;
    }
  }
  bool adds(const QrcConstraint& ct) { return adds(ct.getImpl()); }
  // Runs f; false when it fails.
  template <class F>
  bool holds(F f) {
    try {
      f();
      return true;
    } catch (QrcFailException&) {
      return false;
    }
  }
  // The error code raised by f (0 when none) and the line it printed.
  template <class F>
  int errorOf(F f, std::string* line) {
    testing::internal::CaptureStderr();
    int code = 0;
    try {
      f();
    } catch (int c) {
      code = c;
    }
    *line = testing::internal::GetCapturedStderr();
    return code;
  }
  template <class F>
  std::string errorLine(F f) {
    std::string line;
    errorOf(f, &line);
    return line;
  }
  ThrowingReporter reporter;
  QrcManager mgr;
  QrcManagerI* m = nullptr;
};

inline std::string show(const QrcPrintable* p) {
  std::ostringstream os;
  p->display(os);
  return os.str();
}

// The text with its first "(0x...)" written "(@)".
inline std::string withoutAddress(std::string s) {
  size_t a = s.find("(0x");
  size_t b = a == std::string::npos ? a : s.find(')', a);
  if (b != std::string::npos) s.replace(a, b - a + 1, "(@)");
  return s;
}

// A constant array of the values on a manager.
inline QrcIntArray arrayOn(QrcManagerI* m, const std::vector<int64_t>& a) {
  return QrcIntArray(QrcManager(m), static_cast<QrcInt>(a.size()), a.data());
}

}  // namespace ctest

#endif
