// Solutions: the per-algorithm solution manager holding one set of solution
// operations per extractable class, the add-on through which an algorithm
// family installs its operations, and the saved records of numeric
// variables, integer-set variables and objectives.
#ifndef QRO_SOLUTION_H
#define QRO_SOLUTION_H

#include "qrodoublingarray.h"
#include "qroextractable.h"
#include "qrohash.h"
#include "qrosaveddomain.h"
#include "qrovar.h"

class QroAlgorithmI;
class QroNumVarI;
class QroObjectiveI;
class QroSolutionElementI;

// The store, restore and feasibility operations for one extractable class.
class QroSolutionOperationsI : public QroMemoryManagerObjectI {
 public:
  enum { AlwaysApplied = 1 };
  QroSolutionOperationsI(QroGenAlloc* a, QroInt typeIndex, QroInt flags = 0)
      : QroMemoryManagerObjectI(a), _typeIndex(typeIndex), _flags(flags) {}
  ~QroSolutionOperationsI() override;
  QroSolutionOperationsI(const QroSolutionOperationsI&) = delete;
  QroSolutionOperationsI& operator=(const QroSolutionOperationsI&) = delete;

  // A copy allocated from a.
  virtual QroSolutionOperationsI* makeClone(QroGenAlloc* a) const = 0;
  virtual void store(QroAlgorithmI* algorithm, QroSolutionElementI* element) const = 0;
  virtual void restore(QroAlgorithmI* algorithm, QroSolutionElementI* element) const = 0;
  virtual QroBool isFeasible(QroAlgorithmI* algorithm, QroSolutionElementI* element) const = 0;

  QroInt getTypeIndex() const { return _typeIndex; }
  QroInt getFlags() const { return _flags; }
  void setFlags(QroInt flags) { _flags = flags; }
  QroBool isAlwaysApplied() const { return (_flags & AlwaysApplied) != 0; }

 protected:
  QroInt _typeIndex;
  QroInt _flags;
};

// Forwards to the element's own operations.
class QroDefaultSolutionOperationsI : public QroSolutionOperationsI {
 public:
  QroDefaultSolutionOperationsI(QroGenAlloc* a, QroInt typeIndex = 0, QroInt flags = 0)
      : QroSolutionOperationsI(a, typeIndex, flags) {}
  ~QroDefaultSolutionOperationsI() override;
  QroSolutionOperationsI* makeClone(QroGenAlloc* a) const override;
  void store(QroAlgorithmI* algorithm, QroSolutionElementI* element) const override;
  void restore(QroAlgorithmI* algorithm, QroSolutionElementI* element) const override;
  QroBool isFeasible(QroAlgorithmI* algorithm, QroSolutionElementI* element) const override;
};

// An algorithm's table of solution operations by extractable type index;
// indexes without operations of their own get the default operations.
class QroSolutionManagerI : public QroPlugIn {
  QROSIMPLECLASS(QroSolutionManagerI, QroPlugIn)
 public:
  QroSolutionManagerI(QroEnvI* env, QroAlgorithmI* algorithm);
  // Deletes every operations object of the table, then the default ones.
  ~QroSolutionManagerI() override;
  QroSolutionManagerI(const QroSolutionManagerI&) = delete;
  QroSolutionManagerI& operator=(const QroSolutionManagerI&) = delete;

  QroAlgorithmI* getAlgorithm() const { return _algorithm; }
  // Cleared when the algorithm goes away first.
  void setAlgorithm(QroAlgorithmI* algorithm) { _algorithm = algorithm; }
  // The operations for the type index (the default ones when none are set).
  QroSolutionOperationsI* getOperations(QroInt typeIndex) const;
  QroSolutionOperationsI* getDefaultOperations() const { return _default; }
  // Stores ops at its type index, growing the table; the object it replaces
  // is not deleted.
  void setOperations(QroSolutionOperationsI* ops);
  // Sets the always-applied flag of the operations registered for the index.
  void markAlwaysApplied(QroInt typeIndex);
  QroInt getCapacity() const { return _capacity; }

 private:
  void grow(QroInt typeIndex);

  QroAlgorithmI* _algorithm;
  QroSolutionOperationsI** _table;
  QroInt _capacity;
  QroSolutionOperationsI* _default;
};

// Installs clones of its prototype in every solution manager registered
// under its name. The add-on owns the prototype.
class QroSolutionManagerPlugIn : public QroPlugInAddon {
  QROSIMPLECLASS(QroSolutionManagerPlugIn, QroPlugInAddon)
 public:
  QroSolutionManagerPlugIn(QroEnvI* env, QroSolutionOperationsI* prototype = nullptr)
      : QroPlugInAddon(env), _prototype(prototype) {}
  ~QroSolutionManagerPlugIn() override;
  void attach(QroPlugIn* plugIn) override;
  void detach(QroPlugIn*) override {}
  QroSolutionOperationsI* getPrototype() const { return _prototype; }

 private:
  QroSolutionOperationsI* _prototype;
};

// ---------------------------------------------------------------------------
// Saved records

// One element of a solution. Its own store, restore and feasibility
// operations are those of the default solution operations; the modelling
// layer cannot read or impose domains by itself, so they raise
// QroNotImplemented unless a subclass provides them.
class QroSolutionElementI : public QroMemoryManagerObjectI {
 public:
  QroSolutionElementI(QroGenAlloc* a, QroExtractableI* x) : QroMemoryManagerObjectI(a), _x(x) {}
  ~QroSolutionElementI() override;
  QroSolutionElementI(const QroSolutionElementI&) = delete;
  QroSolutionElementI& operator=(const QroSolutionElementI&) = delete;
  QroExtractableI* getExtractable() const { return _x; }
  // The type index under which a solution manager holds the operations of
  // this kind of element (0, the default operations, in the base).
  virtual QroInt getOperationsIndex() const { return 0; }
  virtual void store(QroAlgorithmI* algorithm);
  virtual void restore(QroAlgorithmI* algorithm);
  virtual QroBool isFeasible(QroAlgorithmI* algorithm);

 protected:
  QroExtractableI* _x;
};

// The saved domain of a numeric variable: bounds (doubles for a
// floating-point variable, 64-bit integers for an integer or Boolean one) and
// optional value sets.
class QroSavedNumVarI : public QroSolutionElementI {
 public:
  // The bounds start as the variable's.
  QroSavedNumVarI(QroGenAlloc* a, QroNumVarI* var);
  ~QroSavedNumVarI() override;
  // That of QroNumVarI, for every numeric variable class.
  QroInt getOperationsIndex() const override;

  QroNumVarI* getVar() const;
  // 1 integer, 2 floating-point, 3 Boolean.
  int getType() const;

  QroNum getMin() const;
  QroNum getMax() const;
  // Raw bounds (integer words of an integer or Boolean variable, doubles of
  // a floating-point one).
  QroInt getIntLB() const { return _lb.i; }
  QroInt getIntUB() const { return _ub.i; }
  QroNum getNumLB() const { return _lb.d; }
  QroNum getNumUB() const { return _ub.d; }
  QroInt getSize() const;
  QroBool isBound() const;
  QroBool isBound(QroNum tolerance) const;
  // The value within the tolerance; QroSolution::Exception when not bound.
  QroNum getValue(QroNum tolerance) const;
  QroInt getIntValue() const;
  QroBool isInDomain(QroNum value) const;

  // The value sets, made empty on first use.
  QroHashSavedIntDomainI* getIntDomain();
  QroSavedNumDomainI* getNumDomain();
  QroHashSavedIntDomainI* findIntDomain() const { return _intSet; }
  QroSavedNumDomainI* findNumDomain() const { return _numSet; }

  void setDomain(QroNum min, QroNum max);
  void setValue(QroInt value);
  void setValue(QroNum value);
  void setValue(int value) { setValue(static_cast<QroInt>(value)); }

 private:
  friend class QroSolution;
  union Bound {
    QroNum d;
    QroInt i;
  };
  bool isFloat() const;
  void dropValueSets();

  Bound _lb;
  Bound _ub;
  QroSavedNumDomainI* _numSet;
  QroHashSavedIntDomainI* _intSet;
};

// The saved required and possible sets of an integer-set variable.
class QroSavedIntSetVarI : public QroSolutionElementI {
 public:
  QroSavedIntSetVarI(QroGenAlloc* a, QroExtractableI* var)
      : QroSolutionElementI(a, var), _possible(nullptr), _required(nullptr) {}
  ~QroSavedIntSetVarI() override;
  QroInt getOperationsIndex() const override;
  QroExtractableI* getVar() const { return _x; }
  void getVar(QroExtractable& result) const { result = QroExtractable(_x); }
  // Made empty on first use.
  QroSavedIntDomainI* getPossibleSet();
  QroSavedIntDomainI* getRequiredSet();
  QroSavedIntDomainI* findRequiredSet() const { return _required; }
  QroBool isPossible(QroInt value) const { return _possible && _possible->contains(value); }
  QroBool isRequired(QroInt value) const { return _required && _required->contains(value); }

 private:
  QroSavedIntDomainI* _possible;
  QroSavedIntDomainI* _required;
};

// The saved value of an objective.
class QroSavedObjective : public QroSolutionElementI {
 public:
  QroSavedObjective(QroGenAlloc* a, QroObjectiveI* objective, QroInt criteria = 1);
  ~QroSavedObjective() override;
  QroInt getOperationsIndex() const override;
  QroObjectiveI* getObjective() const;
  QroInt getCriteriaCount() const { return _criteria; }
  QroNum getValue() const { return *_value; }
  // QroNotAllowedWithMultiCriterionException with two or more criteria.
  void setValue(QroNum value);

 private:
  QroInt _criteria;
  QroNum* _value;
};

class QroObjective;
class QroAlgorithm;

// A solution: one saved record per added numeric variable, objective or
// integer-set variable, each held once, in the order of addition. Storing,
// restoring and checking go through the operations that the algorithm's
// solution manager holds for each record's kind (the records' own operations
// when the algorithm has no manager). The solution listens to its
// environment's changes: an object that the environment destroys (ended, or
// ended with what it uses) loses its record first.
class QroSolutionI : public QroEnvObjectI {
 public:
  explicit QroSolutionI(QroEnvI* env);
  // Deletes every record and stops listening.
  ~QroSolutionI() override;
  QroSolutionI(const QroSolutionI&) = delete;
  QroSolutionI& operator=(const QroSolutionI&) = delete;

  // Each adds a record unless the object has one; QroEmptyHandleException
  // for a null object.
  void add(QroNumVarI* var);
  void add(QroObjectiveI* objective);
  void add(QroIntSetVarI* var);
  // The record of an object, null when it has none.
  QroSolutionElementI* find(const QroExtractableI* x) const;
  QroInt getSize() const { return _elements.getSize(); }
  QroSolutionElementI* getElement(QroInt i) const { return _elements[i]; }

  void store(QroAlgorithmI* algorithm) const;
  // Imposes each record on the algorithm; an engine failure propagates.
  void restore(QroAlgorithmI* algorithm) const;
  // True when no record contradicts the algorithm's current state.
  QroBool isFeasible(QroAlgorithmI* algorithm) const;

  // QroSolution::Exception when the variable has no record.
  QroSavedNumVarI* getNumVarRecord(const QroNumVarI* var) const;
  QroSavedIntSetVarI* getIntSetVarRecord(const QroIntSetVarI* var) const;
  // The saved value of the objective (the first one added when none is
  // named); QroSolution::Exception when there is none.
  QroNum getObjValue(const QroObjectiveI* objective = nullptr) const;

  // Deletes the records of the objects of the array (null elements and
  // objects without record are skipped); the others keep their order.
  void drop(const QroExtractableArray& ended);
  void drop(QroExtractableI* ended);

 private:
  // Hears the destruction changes of the environment.
  class EndWatch : public QroChangeListenerI {
   public:
    explicit EndWatch(QroSolutionI* solution) : _solution(solution) {}
    void change(QroChange* change, QroExtractableI* x) override;

   private:
    QroSolutionI* _solution;
  };

  void append(QroSolutionElementI* element);
  QroBool unindex(QroExtractableI* x);
  void compact();
  QroDoublingArray<QroSolutionElementI*> _elements;
  QroAddressHashTable<QroSolutionElementI*>* _index;
  EndWatch _watch;
};

// Handle of a solution; also the home of the saved records' value helpers.
class QroSolution {
 public:
  class Exception : public QroException {
   public:
    explicit Exception(const char* message) : QroException(message) {}
    ~Exception() override;
  };
  // The integer value of a bound saved domain.
  static QroInt getValue(const QroSavedNumVarI* saved);
  // Saves [min, max]; an integer or Boolean variable keeps [ceil(min),
  // floor(max)] within plus or minus (2^53 - 1).
  static void setDomain(QroSavedNumVarI* saved, QroNum min, QroNum max);

  QroSolution(QroSolutionI* impl = nullptr) : _impl(impl) {}
  explicit QroSolution(const QroEnv& env);
  QroSolutionI* getImpl() const { return _impl; }
  // Deletes the solution and its records; the handle becomes empty.
  void end();

  void add(const QroNumVar& var) const;
  void add(const QroNumVarArray& vars) const;
  void add(const QroObjective& objective) const;
  void add(QroIntSetVarI* var) const;
  QroBool contains(const QroExtractable& x) const;

  void store(const QroAlgorithm& algorithm) const;
  void restore(const QroAlgorithm& algorithm) const;
  QroBool isFeasible(const QroAlgorithm& algorithm) const;

  // The saved value: an integer or Boolean variable's must be bound, a
  // floating-point one's bound within the tolerance; QroSolution::Exception
  // otherwise and when the variable has no record.
  QroNum getValue(const QroNumVar& var, QroNum tolerance = 1e-10) const;
  QroNum getMin(const QroNumVar& var) const;
  QroNum getMax(const QroNumVar& var) const;
  QroNum getObjValue() const;
  QroNum getValue(const QroObjective& objective) const;

 private:
  QroSolutionI* check() const;
  QroSolutionI* _impl;
};

#endif
