// Small classes joining the solver to the engine: the goals through which the
// solver reaches into a running search, and the local environment that lets
// modelling objects be made reversibly during a search.
#ifndef QRO_SOLVERGLUE_H
#define QRO_SOLVERGLUE_H

#include "qroenv.h"
#include "qrcgoal.h"

class QroSolverI;
class QroExtractableI;

// Root goal of every search in fast restart mode: expands to the goal the
// solver chooses each time it runs.
class QrcGetGoalI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcGetGoalI)
  QROSIMPLECLASS(QrcGetGoalI, QrcGoalI)
 public:
  explicit QrcGetGoalI(QrcManagerI* manager) : QrcGoalI(manager) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;
};

// End callback of the searches opened by startNewSearch.
class QroEndSearchCallbackI : public QrcGoalI {
  QRCLIBRARYCLASS(QroEndSearchCallbackI)
  QROSIMPLECLASS(QroEndSearchCallbackI, QrcGoalI)
 public:
  explicit QroEndSearchCallbackI(QrcManagerI* manager) : QrcGoalI(manager) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;
};

// Adds the model goal's extractable to the solver reversibly.
class QroAddConstraintSolverI : public QrcGoalI {
  QRCLIBRARYCLASS(QroAddConstraintSolverI)
  QROSIMPLECLASS(QroAddConstraintSolverI, QrcGoalI)
 public:
  QroAddConstraintSolverI(QrcManagerI* manager, QroExtractableI* x) : QrcGoalI(manager), _x(x) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QroExtractableI* _x;
};

// Reversible action restoring the use count of an identifier.
class QroRestoreDataI : public QrcGoalI {
  QRCLIBRARYCLASS(QroRestoreDataI)
  QROSIMPLECLASS(QroRestoreDataI, QrcGoalI)
 public:
  QroRestoreDataI(QrcManagerI* manager, QroInt id, QroInt count)
      : QrcGoalI(manager), _id(id), _count(count) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QroInt _id;
  QroInt _count;
};

// Reversible action uninstalling the solver's local environment.
class QrcUnsetReversibleEnvI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcUnsetReversibleEnvI)
  QROSIMPLECLASS(QrcUnsetReversibleEnvI, QrcGoalI)
 public:
  QrcUnsetReversibleEnvI(QrcManagerI* manager, QroSolverI* solver, QroInt stamp)
      : QrcGoalI(manager), _solver(solver), _stamp(stamp) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QroSolverI* _solver;
  QroInt _stamp;
};

// Allocation from the solver manager's heap, saves on its trail, ids from the
// solver's local pool.
class QroSolverLocalEnvI : public QroLocalEnvI {
 public:
  QroSolverLocalEnvI(QroEnvI* env, QroSolverI* solver) : QroLocalEnvI(env), _solver(solver) {}
  void* alloc(size_t size) override;
  void free(void*, size_t) override {}
  QroInt assignId(QroExtractableI* object) override;
  void saveValue(void* cell) override;
  void saveValue2(void* cell) override;
  void saveValue3(void* cell) override;
  void releaseId(QroInt) override {}
  QroSolverI* getSolver() const { return _solver; }

 private:
  QroSolverI* _solver;
};

#endif
