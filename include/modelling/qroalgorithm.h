// Base of everything that extracts modelling objects: per-identifier use
// counts and made objects, collection of failures into one exception, and
// the reaction to change notifications.
#ifndef QRO_ALGORITHM_H
#define QRO_ALGORITHM_H

#include <iosfwd>

#include "qrochange.h"
#include "qroextractable.h"
#include "qrovar.h"

class QroAlgorithmI;
class QroConstraintI;
class QroNumVarI;
class QroObjectiveI;
class QroModelI;
class QroModelEvaluatorI;
class QroModel;
class QroNumExprI;
class QroSolutionManagerI;

// Statuses of an algorithm's last solve (getStatus), reachable through every
// algorithm class: QroAlgorithm::Feasible, QroSolver::Feasible, ...
struct QroAlgorithmStatus {
  enum Status { Unknown = 0, Feasible = 1, Optimal = 2, Infeasible = 3, Error = 6 };
};

// Handle of an algorithm; its nested classes are the algorithm exceptions.
class QroAlgorithm : public QroAlgorithmStatus {
 public:
  class Exception : public QroException {
   public:
    explicit Exception(const char* message, int64_t copy = 0) : QroException(message, copy) {}
    ~Exception() override;
  };

  // Carries the algorithm and the failing extractables.
  class ListException : public Exception {
   public:
    ListException(const char* message, const QroAlgorithmI* a);
    ListException(const ListException& other);
    ~ListException() override;
    const QroAlgorithmI* getAlgorithm() const { return _algorithm; }
    QroExtractableArray getExtractables() const { return _array; }
    void add(QroExtractableI* x) const { _array.add(x); }

   protected:
    void printList(std::ostream& os) const;
    const QroAlgorithmI* _algorithm;
    QroExtractableArray _array;
  };

  class CannotExtractException : public ListException {
   public:
    explicit CannotExtractException(const QroAlgorithmI* a)
        : ListException("QroAlgorithm cannot extract extractable", a) {}
    CannotExtractException(const QroAlgorithmI* a, QroExtractableI* x)
        : ListException("QroAlgorithm cannot extract extractable", a) {
      if (x) add(x);
    }
    ~CannotExtractException() override;
    void print(std::ostream& os) const override;
  };
  class CannotRemoveException : public ListException {
   public:
    explicit CannotRemoveException(const QroAlgorithmI* a)
        : ListException("QroAlgorithm cannot remove extractable", a) {}
    CannotRemoveException(const QroAlgorithmI* a, QroExtractableI* x)
        : ListException("QroAlgorithm cannot remove extractable", a) {
      if (x) add(x);
    }
    ~CannotRemoveException() override;
    void print(std::ostream& os) const override;
  };
  class CannotChangeException : public ListException {
   public:
    explicit CannotChangeException(const QroAlgorithmI* a)
        : ListException("QroAlgorithm cannot change extractable", a) {}
    ~CannotChangeException() override;
    void print(std::ostream& os) const override;
    // Deletes the array (shared with every copy of the exception).
    void end() override { _array.end(); }
  };
  class NoObjectiveException : public Exception {
   public:
    explicit NoObjectiveException(const QroAlgorithmI* a)
        : Exception("No Objective has been extracted by the QroAlgorithm"), _algorithm(a) {}
    ~NoObjectiveException() override;
    void print(std::ostream& os) const override;

   private:
    const QroAlgorithmI* _algorithm;
  };
  class NotExtractedException : public Exception {
   public:
    NotExtractedException(const QroAlgorithmI* a, const QroExtractableI* x)
        : Exception("The referenced QroExtractable has not been extracted by the QroAlgorithm"),
          _algorithm(a),
          _x(x) {}
    ~NotExtractedException() override;
    void print(std::ostream& os) const override;

   private:
    const QroAlgorithmI* _algorithm;
    const QroExtractableI* _x;
  };
  // Failures travelling inside the modelling layer.
  class ExtractFailure : public Exception {
   public:
    explicit ExtractFailure(const char* className = nullptr) : Exception(className) {}
    ~ExtractFailure() override;
  };
  class RemoveFailure : public Exception {
   public:
    RemoveFailure() : Exception(nullptr) {}
    ~RemoveFailure() override;
  };

  QroAlgorithm(QroAlgorithmI* impl = nullptr) : _impl(impl) {}
  QroAlgorithmI* getImpl() const { return _impl; }
  // QroEmptyHandleException for an empty algorithm or model.
  void extract(const QroModel& model) const;
  // QroWrongUsage for an empty algorithm or variable.
  QroNum getValue(const QroNumVar& v) const;
  // QroEmptyHandleException "QroAlgorithm: Using empty handle" when empty.
  std::ostream& out() const;

 protected:
  QroAlgorithmI* _impl;
};

// An object that, when installed in an algorithm, keeps the extracted
// objects by identifier in place of the algorithm's own tables.
class QroAlgorithmIdTableI {
 public:
  virtual ~QroAlgorithmIdTableI();
  virtual QroBool isExtracted(QroInt id) const = 0;
  virtual void* getObject(QroInt id) const = 0;
  // Records the object made for an identifier (reversibly when it can).
  virtual void recordExtraction(QroInt id, void* object) = 0;
};

class QroAlgorithmI : public QroAlgorithmStatus {
  QRO_ENV_STORAGE()
 public:
  explicit QroAlgorithmI(QroEnvI* env);
  virtual ~QroAlgorithmI();
  QroAlgorithmI(const QroAlgorithmI&) = delete;
  QroAlgorithmI& operator=(const QroAlgorithmI&) = delete;

  QroEnvI* getEnv() const { return _env; }
  QroExtractableI* getModel() const { return _model; }
  QroAlgorithmI* getNext() const { return _next; }
  void setNext(QroAlgorithmI* next) { _next = next; }

  // QroAlgorithm::Exception "Cannot evaluate forall on dynamic sets."
  virtual void evaluateForall();
  virtual void restartTime();
  virtual double getTime();
  virtual void printTime();
  virtual void clearTime();

  // Extracts x once; later calls only count.
  virtual void* extract(QroExtractableI* x);
  // Receivers of the environment's change notification: the change is made,
  // once every algorithm allowed it (checkChange is not asked again).
  virtual QroBool change(QroChange* change);
  virtual QroBool changeExtractable(QroChange* change, QroExtractableI* x);
  // Asked before a change is made (QroEnvI::checkChange): throws
  // QroNoChangeDuringSearchException when this algorithm refuses it. x is the
  // changed extractable, which the algorithm uses; null for a change that
  // reaches every algorithm. During a search the base refuses every change of
  // what it uses, and every change without an extractable except the ending
  // of objects it does not use. A refusal belongs here: once every algorithm
  // allowed it, the change is made whole (applyChange).
  virtual void checkChange(QroChange* change, QroExtractableI* x);
  // Undoes the extraction when the count of x falls to 0.
  virtual void remove(QroExtractableI* x);
  // Makes the object for one extractable into *result; true on success.
  virtual QroBool extractOne(QroExtractableI* x, void** result) = 0;
  virtual QroBool removeOne(QroExtractableI* x, void* object) = 0;
  // Applies a change already allowed and made; true on success. It cannot
  // refuse the change any more: the model, the terms and every other
  // algorithm have it all the same, and a false answer (as
  // QroAlgorithm::CannotChangeException) or an exception is this
  // algorithm's error, thrown once the change is complete.
  virtual QroBool applyChange(QroChange* change, void** object, QroExtractableI* x) = 0;
  // Lowers the use count of x only.
  virtual void unuse(QroExtractableI* x);
  // Extracts the model's members, collecting failures into one exception.
  virtual void extract(QroModelI* model);
  // Extracts x as the model, collecting failures into one exception.
  virtual void extractAsModel(QroExtractableI* x);
  virtual QroInt getStatus() const { return Error; }
  // QroNotImplemented in the base.
  virtual QroNum getValue(QroConstraintI* c);
  virtual QroNum getObjValue() = 0;
  virtual QroNum getValue(QroObjectiveI* objective) = 0;
  // The value of a variable as a double.
  virtual QroNum getValue(QroNumVarI* v) = 0;
  // The value rounded half away from zero; QroWrongUsage beyond 2^53 - 1.
  virtual QroInt getIntValue(QroNumVarI* v);
  // Empties values, then appends the value of each variable in order.
  virtual void getValues(const QroNumVarArray& vars, QroNumArray& values);
  virtual void getValues2(const QroIntVarArray& vars, QroNumArray& values);
  virtual void getValues3(const QroNumVarArray& vars, QroIntArray& values);
  // The expression evaluated with this algorithm.
  virtual QroNum getValue(QroNumExprI* e);

  // Made on first use through the environment's factory.
  QroModelEvaluatorI* getModelEvaluator();
  void setModelEvaluator(QroModelEvaluatorI* e) { _evaluator = e; }
  virtual QroModelEvaluatorI* asModelEvaluator() { return nullptr; }

  // Makes the solution manager and registers it in the environment's plug-in
  // registry under the name (the existing one when already made).
  QroSolutionManagerI* initSolutionManager(const char* name);
  // Unless the environment is ending, unregisters the manager (QroWrongUsage
  // when it is not registered under the name) and deletes it.
  void endSolutionManager(const char* name);
  QroSolutionManagerI* getSolutionManager() const { return _solutionManager; }
  virtual void clear();

  void extract(const QroExtractableArray& array);
  void remove(const QroExtractableArray& array);

  // True when the algorithm uses the extractable with that identifier.
  virtual QroBool isUsing(QroInt id) const;
  QroInt getUseCount(QroInt id) const { return id >= 0 && id < _capacity ? _counts[id] : 0; }
  void* getObject(QroInt id) const {
    if (_idTable) return _idTable->getObject(id);
    return id >= 0 && id < _capacity ? _objects[id] : nullptr;
  }
  void setObject(QroInt id, void* object);
  QroInt getTableCapacity() const { return _capacity; }
  // Grows both tables to cover every identifier the environment issued.
  void syncIdTables();
  void growTables(QroInt id);

  // The id table (not owned); null restores the algorithm's own tables.
  void setIdTable(QroAlgorithmIdTableI* t) { _idTable = t; }
  QroAlgorithmIdTableI* getIdTable() const { return _idTable; }

  QroBool isInSearch() const { return _inSearch; }
  void setInSearch(QroBool on) { _inSearch = on ? 1 : 0; }

  std::ostream& out() const { return *_out; }
  std::ostream& warning() const { return *_warning; }
  std::ostream& error() const { return *_error; }
  void setOut(std::ostream& os) { _out = &os; }
  void setWarning(std::ostream& os) { _warning = &os; }
  void setError(std::ostream& os) { _error = &os; }

  QroExtractableArray getCannotExtractList() const { return _cannotExtract; }
  QroExtractableArray getCannotRemoveList() const { return _cannotRemove; }

 protected:
  void setModel(QroExtractableI* m) { _model = m; }
  // Drops the model when the change destroys it: a later reload finds no
  // model instead of a freed one.
  void forgetEndedModel(QroChange* change);
  // Forgets the count and object of each extractable the change destroys:
  // its identifier is free for a new object, which this algorithm has not
  // extracted.
  void forgetEnded(QroChange* change);
  // Runs f, turning ExtractFailure and RemoveFailure into the collected
  // exceptions after clearing the algorithm.
  template <class F>
  void collectFailures(F f, bool removeToo);
  [[noreturn]] void raiseCannotExtract();
  [[noreturn]] void raiseCannotRemove();
  bool usesAny(const QroExtractableArray& array) const;
  void* extractWithIdTable(QroExtractableI* x, QroInt id);

  QroEnvI* _env;
  QroExtractableI* _model;
  QroAlgorithmI* _next;
  QroCpuTimer _timer;
  std::ostream* _out;
  std::ostream* _warning;
  std::ostream* _error;
  void** _objects;
  QroInt* _counts;
  QroInt _capacity;
  QroExtractableArray _cannotRemove;
  QroExtractableArray _cannotExtract;
  QroBool _inSearch;
  QroSolutionManagerI* _solutionManager;
  QroModelEvaluatorI* _evaluator;
  QroAlgorithmIdTableI* _idTable;
};

#endif
