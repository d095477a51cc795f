// The solver's solution operations: for numeric variables, objectives and
// integer-set variables, what a solution's store, restore and feasibility
// test read from or impose on the engine, and the add-ons that install them
// in the solver's solution manager ("CPSolutionManager").
#ifndef QRO_SOLVERSOLUTION_H
#define QRO_SOLVERSOLUTION_H

#include "qrosolution.h"

class QroSolverI;

// The work of each kind, without state.
class QroSolverSolutionOpsNumVarAux {
 public:
  void store(QroSolverI* solver, QroSavedNumVarI* saved) const;
  void restore(QroSolverI* solver, QroSavedNumVarI* saved) const;
  QroBool isFeasible(QroSolverI* solver, QroSavedNumVarI* saved) const;
};

class QroSolverSolutionOpsObjectiveAux {
 public:
  // The objective's bound on the side of the sense (its maximum when
  // minimising); the algorithm's value of its expression when neither the
  // objective nor its single variable is extracted.
  void store(QroSolverI* solver, QroSavedObjective* saved) const;
  void restore(QroSolverI*, QroSavedObjective*) const {}
  QroBool isFeasible(QroSolverI*, QroSavedObjective*) const { return 1; }
};

class QroSolverSolutionOpsIntSetVarAux {
 public:
  void store(QroSolverI* solver, QroSavedIntSetVarI* saved) const;
  void restore(QroSolverI* solver, QroSavedIntSetVarI* saved) const;
  QroBool isFeasible(QroSolverI* solver, QroSavedIntSetVarI* saved) const;
};

// Operations over a record kind R with the work of Aux. An element whose
// object the solver has not extracted is skipped by store and restore and is
// feasible, unless the flag bit of the operation is set.
template <class Aux, class R>
class QroSolverSolutionOperations : public QroSolutionOperationsI {
 public:
  enum { StoreAlways = 1, RestoreAlways = 2, CheckAlways = 4 };
  QroSolverSolutionOperations(QroGenAlloc* a, QroInt typeIndex, QroInt flags, const Aux* aux)
      : QroSolutionOperationsI(a, typeIndex, flags), _aux(aux) {}
  ~QroSolverSolutionOperations() override;
  QroSolutionOperationsI* makeClone(QroGenAlloc* a) const override;
  void store(QroAlgorithmI* algorithm, QroSolutionElementI* element) const override;
  void restore(QroAlgorithmI* algorithm, QroSolutionElementI* element) const override;
  QroBool isFeasible(QroAlgorithmI* algorithm, QroSolutionElementI* element) const override;

 private:
  bool applies(QroAlgorithmI* algorithm, QroSolutionElementI* element, QroInt bit) const;
  const Aux* _aux;
};

typedef QroSolverSolutionOperations<QroSolverSolutionOpsNumVarAux, QroSavedNumVarI>
    QroSolutionOperationsQroSolverQroNumVar;
typedef QroSolverSolutionOperations<QroSolverSolutionOpsObjectiveAux, QroSavedObjective>
    QroSolutionOperationsQroSolverQroObjective;
typedef QroSolverSolutionOperations<QroSolverSolutionOpsIntSetVarAux, QroSavedIntSetVarI>
    QroSolutionOperationsQroSolverQroIntSetVar;

// Each add-on owns its prototype operations, whose auxiliary object is a
// shared constant (it holds no data).
class QroSolutionOperationsAddonQroSolverQroNumVar : public QroSolutionManagerPlugIn {
  QROSIMPLECLASS(QroSolutionOperationsAddonQroSolverQroNumVar, QroSolutionManagerPlugIn)
 public:
  explicit QroSolutionOperationsAddonQroSolverQroNumVar(QroEnvI* env);
  ~QroSolutionOperationsAddonQroSolverQroNumVar() override;
};

class QroSolutionOperationsAddonQroSolverQroObjective : public QroSolutionManagerPlugIn {
  QROSIMPLECLASS(QroSolutionOperationsAddonQroSolverQroObjective, QroSolutionManagerPlugIn)
 public:
  explicit QroSolutionOperationsAddonQroSolverQroObjective(QroEnvI* env);
  ~QroSolutionOperationsAddonQroSolverQroObjective() override;
};

class QroSolutionOperationsAddonQroSolverQroIntSetVar : public QroSolutionManagerPlugIn {
  QROSIMPLECLASS(QroSolutionOperationsAddonQroSolverQroIntSetVar, QroSolutionManagerPlugIn)
 public:
  explicit QroSolutionOperationsAddonQroSolverQroIntSetVar(QroEnvI* env);
  ~QroSolutionOperationsAddonQroSolverQroIntSetVar() override;
};

// Makes the solver's solution manager under "CPSolutionManager", registers
// each add-on the environment lacks, and marks the objectives' operations as
// always applied.
void QroRegisterSolverSolutionOperations(QroSolverI* solver);
// Unregisters and deletes the solver's solution manager.
void QroUnregisterSolverSolutionOperations(QroSolverI* solver);

#endif
