// The whole line of an engine report gives its two texts in the order of its
// code: the operation first and then the message, but the message first for an
// empty handle (39), a bad event (44) and a division by zero (36). The same
// line through the default reporter and as the solver's exception: its
// function name is the first text, its message the second.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "qro.h"
#include "qroext.h"
#include "support/reported.h"

namespace {

using qrotest::Reported;
using qrotest::ThrowingReporter;

struct Row {
  int code;
  const char* first;    // the operation, or the message for codes 39, 44 and 36
  const char* second;   // the other text
  const char* payload;  // what follows them on the line, or "" for nothing
  std::function<void(const QrcManager&)> misuse;
};

QrcIntVarArray three(const QrcManager& m) {
  return QrcIntVarArray(m, 3, 0, 5);
}

const std::vector<Row>& rows() {
  static const std::vector<Row> table = {
      {29, "extract", "bad index", "-1", [](auto& m) { three(m).getImpl()->extract(-1, 1); }},
      {5, "extract", "bad array size", "5", [](auto& m) { three(m).getImpl()->extract(1, 5); }},
      {29, "QrcIntVarArray::operator[]", "bad index", "3", [](auto& m) { three(m)[3]; }},
      {29, "QrcIntVarArray::set", "bad index", "-1",
       [](auto& m) { three(m).set(-1, QrcIntVar(m, 0, 1)); }},
      {29, "QrcFloatVarArray::operator[]", "bad index", "2",
       [](auto& m) { QrcFloatVarArray(m, 2)[2]; }},
      {5, "QrcIntVarArrayI", "bad array size", "-2", [](auto& m) { QrcIntVarArray(m, -2); }},
      {5, "QrcIntSetVarArrayI", "bad array size", "0", [](auto& m) { QrcIntSetVarArray(m, 0); }},
      {5, "QrcIntArray", "bad array size", "-1", [](auto& m) { QrcIntArray(m, -1, QrcInt(0)); }},
      {30, "QrcIntExpArrayI::QrcIntExpArrayI", "bad index interval", "2..10",
       [](auto& m) { QrcIntVarArray(m, 2, 10, 3, QrcIntVar(m, 0, 4)); }},
      {31, "QrcIntExpArrayI::QrcIntExpArrayI", "negative index step", "0",
       [](auto& m) { QrcIntVarArray(m, 2, 10, 0, QrcIntVar(m, 0, 4)); }},
      {30, "QrcIntVarArrayIterator", "bad index interval", "1..4",
       [](auto& m) { QrcIntVarArrayIterator(three(m).getImpl(), 1, 4); }},
      {44, "bad event", "QrcAllDiff", "7",
       [](auto& m) { QrcAllDiff(three(m), static_cast<QrcFilterLevel>(7)); }},
      {44, "bad event", "QrcAllDiff", "-1",
       [](auto& m) { QrcAllDiff(three(m), static_cast<QrcFilterLevel>(-1)); }},
      {44, "bad event", "QrcDistribute", "5",
       [](auto& m) {
         QrcIntVarArray x = three(m);
         QrcDistribute(QrcIntVarArray(m, 1, 0, 3), QrcIntArray(m, 1, QrcInt(2)), x, 5);
       }},
      {44, "bad event", "QrcPath", "1",
       [](auto& m) {
         QrcFloatVarArray y(m, 3);
         for (QrcInt i = 0; i < 3; ++i) y.set(i, QrcFloatVar(m, 0.0, 1.0));
         QrcPath(three(m), y, nullptr, 0, 1);
       }},
      {39, "empty handle", "QrcSearch::setObjMin", "",
       [](auto& m) {
         QrcIntVarArray x = three(m);
         QrcSearch s(m, QrcGenerate(x));
         try {
           s.setObjMin(QrcIntVar(), 1, 0.0);
         } catch (...) {
           s.end();  // the manager goes on searching otherwise
           throw;
         }
         s.end();
       }},
      // The default reporter shows the operand, the solver's exception its address.
      {36, "divide by zero", "/", "[1.00000..2.00000]",
       [](auto& m) {
         QrcFloatLinearTermsI terms(m.getImpl());
         (QrcFloatVar(m, 1.0, 2.0) / 0.0).getImpl()->collectScaledLinearTerms(&terms, 1.0);
       }},
  };
  return table;
}

std::string lineOf(const Row& row) {
  std::string line = std::string("Solver Error : ") + row.first + " : " + row.second;
  if (*row.payload) line += std::string(" : ") + row.payload;
  return line + "\n";
}

TEST(ReportTexts, TheReporterPrintsBothTextsInTheOrderOfTheCode) {
  QrcManager mgr(QrcNoEdit);
  QrcErrorReporter* saved = mgr.getErrorReporter();
  ThrowingReporter reporter;
  mgr.useExceptions();
  mgr.getImpl()->setErrorReporter(&reporter);
  for (const Row& row : rows()) {
    SCOPED_TRACE(lineOf(row));
    testing::internal::CaptureStderr();
    int code = 0;
    try {
      row.misuse(mgr);
    } catch (const Reported& r) {
      code = r.code;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), lineOf(row));
    EXPECT_EQ(code, row.code);
  }
  mgr.getImpl()->setErrorReporter(saved);
  mgr.end();
}

TEST(ReportTexts, TheDefaultReporterStopsOnTheSameLine) {
  for (const Row& row : rows()) {
    std::string line = lineOf(row);
    std::string pattern;
    for (char c : line.substr(0, line.size() - 1)) {
      if (std::string("[](){}.*+?^$|\\").find(c) != std::string::npos) pattern += '\\';
      pattern += c;
    }
    EXPECT_DEATH(
        {
          QrcManager m(QrcNoEdit);
          row.misuse(m);
        },
        pattern + "\n")
        << line;
  }
}

// Through a solver the same report is an exception whose print keeps the
// order: "(code) function message payload", an operand shown by its address.
TEST(ReportTexts, TheSolversExceptionTakesTheFirstTextForItsFunction) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 3, QroNumVar::Int);
  model.add(x);
  QroSolver solver(model);
  QrcManager m = solver.getManager();
  for (const Row& row : rows()) {
    SCOPED_TRACE(lineOf(row));
    try {
      row.misuse(m);
      ADD_FAILURE() << "not reported";
    } catch (const QroSolver::SolverErrorException& e) {
      EXPECT_EQ(e.getErrorCode(), row.code);
      EXPECT_STREQ(e.getFunctionName(), row.first);
      EXPECT_STREQ(e.getMessage(), row.second);
      std::ostringstream os, payload;
      e.print(os);
      auto* withOperand = dynamic_cast<const QroSolver::SolverErrorExceptionExprI*>(&e);
      if (withOperand && withOperand->getExpr())
        payload << " " << withOperand->getExpr();
      else if (*row.payload)
        payload << " " << row.payload;
      EXPECT_EQ(os.str(), "Solver Error : (" + std::to_string(row.code) + ") " + row.first + " " +
                              row.second + payload.str() + "\n");
    }
  }
  EXPECT_EQ(solver.solve(), 1);
  env.end();
}

}  // namespace
