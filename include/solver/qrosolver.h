// The solver: an algorithm that extracts a model into an engine manager and
// runs one solve or search at a time over it. QroSolver is the handle; its
// nested classes are the solver's exceptions.
#ifndef QRO_SOLVER_H
#define QRO_SOLVER_H

#include <iosfwd>
#include <string>

#include "qroalgorithm.h"
#include "qrogoal.h"
#include "qromodel.h"
#include "qrcexception.h"
#include "qrcmanager.h"

class QroSolverI;
class QroExtractableI;
class QrcMemoryStack;
class QrcExprI;
class QrcFloatVar;
class QrcIntVar;
class QrcConstraint;
class QrcIntArray;

class QroSolver : public QroAlgorithmStatus {
 public:
  // Every solver exception; the code is -1 at every throw site of the layer.
  // The engine throws the same class for bad arguments.
  typedef QrcException Exception;

  // An engine error report: "Solver Error : (" code ") " function " " message.
  class SolverErrorException : public Exception {
   public:
    SolverErrorException(QroInt errorCode, const char* function, const char* message);
    ~SolverErrorException() override;
    // The fixed text, the payload of the subclass, then an end of line.
    void print(std::ostream& os) const override;
    const char* getFunctionName() const { return _function.c_str(); }
    QroInt getErrorCode() const { return _errorCode; }

   protected:
    virtual void printPayload(std::ostream&) const {}
    std::string _function;
    QroInt _errorCode;
  };
  class SolverErrorExceptionInt : public SolverErrorException {
   public:
    SolverErrorExceptionInt(QroInt errorCode, const char* function, const char* message,
                            QroInt value)
        : SolverErrorException(errorCode, function, message), _value(value) {}
    ~SolverErrorExceptionInt() override;
    void printPayload(std::ostream& os) const override;
    QroInt getValue() const { return _value; }

   protected:
    QroInt _value;
  };
  class SolverErrorExceptionIntInt : public SolverErrorExceptionInt {
   public:
    SolverErrorExceptionIntInt(QroInt errorCode, const char* function, const char* message,
                               QroInt value, QroInt second)
        : SolverErrorExceptionInt(errorCode, function, message, value), _second(second) {}
    ~SolverErrorExceptionIntInt() override;
    void printPayload(std::ostream& os) const override;
    QroInt getSecondValue() const { return _second; }

   private:
    QroInt _second;
  };
  class SolverErrorExceptionFloat : public SolverErrorException {
   public:
    SolverErrorExceptionFloat(QroInt errorCode, const char* function, const char* message,
                              double value)
        : SolverErrorException(errorCode, function, message), _value(value) {}
    ~SolverErrorExceptionFloat() override;
    void printPayload(std::ostream& os) const override;
    double getValue() const { return _value; }

   private:
    double _value;
  };
  class SolverErrorExceptionAny : public SolverErrorException {
   public:
    SolverErrorExceptionAny(QroInt errorCode, const char* function, const char* message,
                            const void* pointer)
        : SolverErrorException(errorCode, function, message), _pointer(pointer) {}
    ~SolverErrorExceptionAny() override;
    void printPayload(std::ostream& os) const override;
    const void* getPointer() const { return _pointer; }

   private:
    const void* _pointer;
  };
  class SolverErrorExceptionExprI : public SolverErrorException {
   public:
    SolverErrorExceptionExprI(QroInt errorCode, const char* function, const char* message,
                              const void* expr)
        : SolverErrorException(errorCode, function, message), _expr(expr) {}
    ~SolverErrorExceptionExprI() override;
    void printPayload(std::ostream& os) const override;
    const void* getExpr() const { return _expr; }

   protected:
    const void* _expr;
  };
  class SolverErrorExceptionExprsI : public SolverErrorExceptionExprI {
   public:
    SolverErrorExceptionExprsI(QroInt errorCode, const char* function, const char* message,
                               const void* expr, const void* second)
        : SolverErrorExceptionExprI(errorCode, function, message, expr), _second(second) {}
    ~SolverErrorExceptionExprsI() override;
    void printPayload(std::ostream& os) const override;
    const void* getSecondExpr() const { return _second; }

   private:
    const void* _second;
  };

  // The message names the query.
  class ObjectNotExtracted : public Exception {
   public:
    explicit ObjectNotExtracted(const char* query) : QrcException(query) {}
    ~ObjectNotExtracted() override;
    void print(std::ostream& os) const override;
  };
  class VariableShouldBeFloat : public Exception {
   public:
    explicit VariableShouldBeFloat(const char* query) : QrcException(query) {}
    ~VariableShouldBeFloat() override;
    void print(std::ostream& os) const override;
  };
  class ModelInconsistent : public Exception {
   public:
    explicit ModelInconsistent(QroExtractableI* x)
        : QrcException("The loaded model is inconsistent"), _x(x) {}
    ~ModelInconsistent() override;
    void print(std::ostream& os) const override;
    QroExtractableI* getExtractable() const { return _x; }

   private:
    QroExtractableI* _x;
  };
  class ModelNotExtracted : public Exception {
   public:
    ModelNotExtracted() : QrcException("Model is not loaded") {}
    ~ModelNotExtracted() override;
  };
  class QroSynchronizeAndContinueNotPossible : public Exception {
   public:
    QroSynchronizeAndContinueNotPossible()
        : QrcException("QroSynchronizeAndContinue is not possible at this moment") {}
    ~QroSynchronizeAndContinueNotPossible() override;
  };
  class MultipleSearchException : public Exception {
   public:
    MultipleSearchException() : QrcException("QroSolver can not handle multiple searchs") {}
    ~MultipleSearchException() override;
  };
  // An empty handle (the engine throws it too).
  typedef QrcEmptyHandleException EmptyHandle;
  class WrongContext : public Exception {
   public:
    explicit WrongContext(const char* message) : QrcException(message) {}
    ~WrongContext() override;
  };
  class IntegerOverflow : public Exception {
   public:
    IntegerOverflow() : QrcException("QroNum is out of integer range") {}
    ~IntegerOverflow() override;
  };
  class NumIsNotInteger : public Exception {
   public:
    NumIsNotInteger() : QrcException("QroNum is not integer") {}
    ~NumIsNotInteger() override;
  };
  class MultipleObjException : public Exception {
   public:
    MultipleObjException(const char* message, QroExtractableI* objective)
        : QrcException(message), _objective(objective) {}
    ~MultipleObjException() override;
    QroExtractableI* getObjective() const { return _objective; }

   private:
    QroExtractableI* _objective;
  };
  class UnimplementedFeature : public Exception {
   public:
    explicit UnimplementedFeature(const char* message) : QrcException(message) {}
    ~UnimplementedFeature() override;
  };
  class BadParameterType : public Exception {
   public:
    explicit BadParameterType(const char* message) : QrcException(message) {}
    ~BadParameterType() override;
  };
  class WrongType : public Exception {
   public:
    explicit WrongType(const char* message) : QrcException(message) {}
    ~WrongType() override;
  };
  class InvalidDiffException : public Exception {
   public:
    InvalidDiffException(const char* message, QroExtractableI* x) : QrcException(message), _x(x) {}
    ~InvalidDiffException() override;
    QroExtractableI* getExtractable() const { return _x; }

   private:
    QroExtractableI* _x;
  };

  // Search modes of solve and startNewSearch: where the search starts from.
  enum SearchMode {
    // The root, brought up to date with the changes: the propagation of the
    // model as extracted, or the state that a continue made the root.
    RestartSearch = 1,
    // The current state, which becomes the root of every later search in
    // either mode, until the model is extracted again; the changes made since
    // the last continue are applied on top of it.
    ContinueSearch = 2
  };

  QroSolver(QroSolverI* impl = nullptr) : _impl(impl) {}
  // Builds a solver in the model's environment and extracts the model.
  explicit QroSolver(const QroModel& model, QrcManagerTag tag = &QrcEdit);
  QroSolverI* getImpl() const { return _impl; }
  // The solver as an algorithm (empty for an empty handle).
  operator QroAlgorithm() const;
  // Destroys the solver and empties the handle.
  void end();

  // One-shot solve from a model goal (empty: propagation only).
  QroBool solve(const QroGoal& goal, QroInt mode = RestartSearch, QroBool restart = 0) const;
  // One-shot solve of the default or last search goal, honouring an objective.
  QroBool solve() const;
  // A nested solve inside a goal of the running search.
  QroBool solve(const QrcGoal& goal, bool restore) const;
  void startNewSearch(const QroGoal& goal = QroGoal(), QroInt mode = RestartSearch) const;
  QroBool next() const;
  void endSearch() const;
  void printInformation() const;
  QroInt getStatus() const;
  QroNum getValue(const QroNumVar& var) const;
  QroNum getObjValue() const;
  QroBool isInteger(const QroNumVar& var) const;
  // The engine objects of extracted modelling objects.
  QrcFloatVar getFloatVar(const QroNumVar& var) const;
  QrcIntVar getIntVar(const QroNumVar& var) const;
  QrcConstraint getConstraint(const QroConstraint& ct) const;
  // Engine copies of model arrays on the manager's heap (integer arrays are
  // cached by array); "Empty variable handle" for an empty array.
  QrcIntArray getIntArray(const QroIntArray& array) const;
  QrcIntArray getIntArray(const QroNumArray& array) const;
  void add(const QroExtractable& x) const;
  // The filter level that extraction gives the engine constraint of ct (0
  // when none was set); a new level for an extracted ct takes effect at the
  // next solve, which extracts the model again. "Empty constraint handle"
  // for an empty ct.
  void setFilterLevel(const QroConstraint& ct, QroInt level) const;
  QroInt getFilterLevel(const QroConstraint& ct) const;
  // Impact information over the integer decision variables, rebuilt at each
  // model extraction; with it the default search is impact-based.
  void setImpactMode(QroBool on) const;
  // A reversible log of the set and remove decisions of the search goals.
  void setDecisionLogMode(QroBool on) const;
  QrcManager getManager() const;
  QrcManagerI* getManagerI() const;
  QrcMemoryStack* getHeap() const;
  std::ostream& out() const;

 private:
  QroSolverI* check() const;
  QroSolverI* _impl;
};

#endif
