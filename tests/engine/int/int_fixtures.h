// Shared pieces of the integer-layer tests: a manager in exceptions mode, a
// logging demon, small constraints that exercise the harness, and a labelling
// goal.
#ifndef QRC_TEST_INT_FIXTURES_H
#define QRC_TEST_INT_FIXTURES_H

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "qrcconstraint.h"
#include "qrcfail.h"
#include "qrcgoal.h"
#include "qrcint.h"
#include "qrcintexp.h"
#include "qrcmanager.h"
#include "support/label_array.h"

namespace inttest {

std::string& log();

class IntTest : public testing::Test {
 protected:
  void SetUp() override {
    log().clear();
    mgr = QrcManager(QrcNoEdit);
    m = mgr.getImpl();
    m->useExceptions(true);
  }
  void TearDown() override { mgr.end(); }
  QrcIntExpI* var(QrcInt lo, QrcInt hi, const char* name = nullptr) {
    return new (m) QrcIntExpI(m, lo, hi, name);
  }
  QrcIntExpI* var(std::initializer_list<QrcInt> values) {
    std::vector<QrcInt> v(values);
    return new (m) QrcIntExpI(m, static_cast<QrcInt>(v.size()), v.data(), nullptr);
  }
  static std::string str(const QrcPrintable* p) {
    std::ostringstream os;
    p->display(os);
    return os.str();
  }
  QrcManager mgr;
  QrcManagerI* m = nullptr;
};

// Appends "<text> " to the log and calls an optional function.
class TextDemon : public QrcDemonI {
 public:
  typedef void (*Fn)(TextDemon*);
  TextDemon(QrcManagerI* m, const char* text, QrcIntExpI* x = nullptr, Fn fn = nullptr)
      : QrcDemonI(m), _text(text), _x(x), _fn(fn) {}
  void propagate() override {
    log() += _text;
    log() += " ";
    if (_fn) _fn(this);
  }
  QrcIntExpI* getVar() const { return _x; }
  QrcInt _count = 0;

 private:
  const char* _text;
  QrcIntExpI* _x;
  Fn _fn;
};

// Throws the code of an error report (an int) instead of ending the program.
class ThrowingReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { throw code; }
};

// The code that f reports through a ThrowingReporter, 0 when it reports none.
template <class F>
int reportedCode(F f) {
  try {
    f();
  } catch (int code) {
    return code;
  }
  return 0;
}

}  // namespace inttest

#endif
