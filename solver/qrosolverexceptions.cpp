// The solver's exceptions and the reporter that turns engine error reports
// into them.
#include <ostream>

#include "qrosolveri.h"

QroSolver::SolverErrorException::~SolverErrorException() {}
QroSolver::SolverErrorExceptionInt::~SolverErrorExceptionInt() {}
QroSolver::SolverErrorExceptionIntInt::~SolverErrorExceptionIntInt() {}
QroSolver::SolverErrorExceptionFloat::~SolverErrorExceptionFloat() {}
QroSolver::SolverErrorExceptionAny::~SolverErrorExceptionAny() {}
QroSolver::SolverErrorExceptionExprI::~SolverErrorExceptionExprI() {}
QroSolver::SolverErrorExceptionExprsI::~SolverErrorExceptionExprsI() {}
QroSolver::ObjectNotExtracted::~ObjectNotExtracted() {}
QroSolver::VariableShouldBeFloat::~VariableShouldBeFloat() {}
QroSolver::ModelInconsistent::~ModelInconsistent() {}
QroSolver::ModelNotExtracted::~ModelNotExtracted() {}
QroSolver::QroSynchronizeAndContinueNotPossible::~QroSynchronizeAndContinueNotPossible() {}
QroSolver::MultipleSearchException::~MultipleSearchException() {}
QroSolver::WrongContext::~WrongContext() {}
QroSolver::IntegerOverflow::~IntegerOverflow() {}
QroSolver::NumIsNotInteger::~NumIsNotInteger() {}
QroSolver::MultipleObjException::~MultipleObjException() {}
QroSolver::UnimplementedFeature::~UnimplementedFeature() {}
QroSolver::BadParameterType::~BadParameterType() {}
QroSolver::WrongType::~WrongType() {}
QroSolver::InvalidDiffException::~InvalidDiffException() {}

// The engine's texts may live in storage that goes away with the manager:
// the exception keeps its own copies.
QroSolver::SolverErrorException::SolverErrorException(QroInt errorCode, const char* function,
                                                      const char* message)
    : QrcException(message ? message : "", 1),
      _function(function ? function : ""),
      _errorCode(errorCode) {}

void QroSolver::SolverErrorException::print(std::ostream& os) const {
  os << "Solver Error : (" << _errorCode << ") " << _function << " " << getMessage();
  printPayload(os);
  os << std::endl;
}

void QroSolver::SolverErrorExceptionInt::printPayload(std::ostream& os) const {
  os << " " << _value;
}

void QroSolver::SolverErrorExceptionIntInt::printPayload(std::ostream& os) const {
  SolverErrorExceptionInt::printPayload(os);
  os << ".." << _second;
}

void QroSolver::SolverErrorExceptionFloat::printPayload(std::ostream& os) const {
  os << " " << _value;
}

void QroSolver::SolverErrorExceptionAny::printPayload(std::ostream& os) const {
  os << " " << _pointer;
}

void QroSolver::SolverErrorExceptionExprI::printPayload(std::ostream& os) const {
  if (_expr) os << " " << _expr;
}

void QroSolver::SolverErrorExceptionExprsI::printPayload(std::ostream& os) const {
  SolverErrorExceptionExprI::printPayload(os);
  if (_second) os << ", " << _second;
}

void QroSolver::ObjectNotExtracted::print(std::ostream& os) const {
  os << "Solver: the argument has not been extracted in " << getMessage() << std::endl;
}

void QroSolver::VariableShouldBeFloat::print(std::ostream& os) const {
  os << "Solver: the variable should be of type float in " << getMessage() << std::endl;
}

void QroSolver::ModelInconsistent::print(std::ostream& os) const {
  os << "Solver::The Model is inconsistent because of extractable ";
  if (_x) _x->display(os);
  os << std::endl;
}

// ---------------------------------------------------------------------------
// Reporter

void QroSolverErrorReporter::report(QrcInt code, const char* function, const char* message,
                                    const void* address) {
  throw QroSolver::SolverErrorExceptionAny(code, function, message, address);
}

void QroSolverErrorReporter::report(QrcInt code, const char* function, const char* message,
                                    QrcInt a, QrcInt b) {
  throw QroSolver::SolverErrorExceptionIntInt(code, function, message, a, b);
}

void QroSolverErrorReporter::report(QrcInt code, const char* function, const char* message,
                                    double x) {
  throw QroSolver::SolverErrorExceptionFloat(code, function, message, x);
}

void QroSolverErrorReporter::report(QrcInt code, const char* function, const char* message,
                                    QrcInt n) {
  throw QroSolver::SolverErrorExceptionInt(code, function, message, n);
}

void QroSolverErrorReporter::report(QrcInt code, const char* function, const char* message,
                                    const QrcPrintable* object1, const QrcPrintable* object2) {
  throw QroSolver::SolverErrorExceptionExprsI(code, function, message, object1, object2);
}

void QroSolverErrorReporter::report(QrcInt code, const char* function, const char* message,
                                    const QrcPrintable* object) {
  throw QroSolver::SolverErrorExceptionExprI(code, function, message, object);
}

void QroSolverErrorReporter::reportObject(QrcInt code, const char* function, const char* message,
                                          const QrcPrintable* object) {
  throw QroSolver::SolverErrorExceptionExprI(code, function, message, object);
}
