// Extractors of the solver: the base, the default extractor that fills the
// modelling classes' hook records and collects the decision variables, the
// extractor manager plug-in and the add-on that attaches the default
// extractor to it.
#ifndef QRO_SOLVEREXTRACTOR_H
#define QRO_SOLVEREXTRACTOR_H

#include "qroobject.h"
#include "qrcgoal.h"

class QroSolverI;
class QroExtractableI;
class QroObjectiveI;
class QroAlgorithmI;
class QroChange;
class QrcIntVarArray;

class QroCPExtractorI : public QroRtti {
  QROSIMPLECLASS(QroCPExtractorI, QroRtti)
 public:
  explicit QroCPExtractorI(QroSolverI* solver) : _solver(solver), _next(nullptr) {}
  ~QroCPExtractorI() override;
  // A succeeding goal in the base.
  virtual QrcGoal makeGoal();
  virtual void reset() {}
  virtual void init() {}

  QroSolverI* getSolver() const { return _solver; }
  QroCPExtractorI* getNext() const { return _next; }
  void setNext(QroCPExtractorI* next) { _next = next; }

  // Extractors live on the heap of the solver's object manager.
  static void* operator new(size_t size, QrcManagerI* manager);
  static void operator delete(void*, QrcManagerI*) {}
  static void operator delete(void*) {}

 protected:
  QroSolverI* _solver;
  QroCPExtractorI* _next;
};

// A decision variable collected during extraction (newest first).
struct QroDecisionVarNode {
  QroExtractableI* extractable;
  int32_t kind;
  QroDecisionVarNode* next;
};

struct QroDecisionVarList {
  QroDecisionVarNode* first;
  QroSolverI* solver;
};

class QroDefaultCPExtractorI : public QroCPExtractorI {
  QROSIMPLECLASS(QroDefaultCPExtractorI, QroCPExtractorI)
 public:
  // Decision-variable kinds.
  enum Kind { IntVar = 0, FloatVar = 1, IntVarOfRecord = 2, IntSetVar = 3, IntSetVar2 = 4 };

  explicit QroDefaultCPExtractorI(QroSolverI* solver);
  QrcGoal makeGoal() override;
  void reset() override;
  void init() override;

  QroObjectiveI* getObjective() const { return _objective; }
  void setObjective(QroObjectiveI* objective) { _objective = objective; }
  QroDecisionVarList* getDecisionVars() const { return _list; }
  // Prepends a node; the first-node word is trailed.
  void addDecisionVar(QroExtractableI* x, int kind);
  // Unlinks the first node of the extractable.
  void removeDecisionVar(QroExtractableI* x);
  // The extracted integer decision variables (kind 0) in extraction order
  // (a variable that presolve defines comes after the variables of its
  // definition, which are extracted first), on the engine manager's heap;
  // empty when there are none.
  QrcIntVarArray makeIntDecisionVars() const;

 private:
  QroDecisionVarList* newList();
  QroObjectiveI* _objective;
  QroDecisionVarList* _list;
};

class QroSolverExtractorManagerI : public QroPlugIn {
  QROSIMPLECLASS(QroSolverExtractorManagerI, QroPlugIn)
 public:
  QroSolverExtractorManagerI(QroEnvI* env, QroSolverI* solver)
      : QroPlugIn(env), _solver(solver), _chain(nullptr), _default(nullptr) {}
  ~QroSolverExtractorManagerI() override;

  // The default extractor's class replaces the default; others go to the chain head.
  void addExtractor(QroCPExtractorI* extractor);
  QrcGoal makeGoal();
  void initExtractors();
  void resetExtractors();

  QroSolverI* getSolver() const { return _solver; }
  QroCPExtractorI* getChain() const { return _chain; }
  QroDefaultCPExtractorI* getDefaultExtractor() const { return _default; }

 private:
  QroSolverI* _solver;
  QroCPExtractorI* _chain;
  QroDefaultCPExtractorI* _default;
};

class QroDefaultCPExtractorPlugInAddon : public QroPlugInAddon {
  QROSIMPLECLASS(QroDefaultCPExtractorPlugInAddon, QroPlugInAddon)
 public:
  explicit QroDefaultCPExtractorPlugInAddon(QroEnvI* env) : QroPlugInAddon(env) {}
  ~QroDefaultCPExtractorPlugInAddon() override;
  // QroWrongUsage unless the plug-in is an extractor manager.
  void attach(QroPlugIn* plugIn) override;
  void detach(QroPlugIn*) override {}
};

// Fills every hook record, once per process; later calls do nothing.
void registerExtractionHooks();

// Shared hooks.
void* cannotExtract(QroAlgorithmI* algorithm, QroExtractableI* x);
void cannotRemove(QroAlgorithmI* algorithm, QroExtractableI* x, void* argument);
void* cannotChange(QroAlgorithmI* algorithm, QroExtractableI* x, QroChange* change);
void* changeNeedsSync(QroAlgorithmI* algorithm, QroExtractableI* x, QroChange* change);
void* changeNeedsUpdate(QroAlgorithmI* algorithm, QroExtractableI* x, QroChange* change);
void* changeNeedsReextract(QroAlgorithmI* algorithm, QroExtractableI* x, QroChange* change);
void applyNeedsReextract(QroAlgorithmI* algorithm, QroChange* change, void* argument);
void removeChild(QroAlgorithmI* algorithm, QroExtractableI* x, void* argument);
void removeChildren(QroAlgorithmI* algorithm, QroExtractableI* x, void* argument);
void removeDecisionVar(QroAlgorithmI* algorithm, QroExtractableI* x, void* argument);

// Model, constraint and model-change hooks.
void* extractModel(QroAlgorithmI* algorithm, QroExtractableI* x);
void removeModel(QroAlgorithmI* algorithm, QroExtractableI* x, void* argument);
void addConstraintToManager(QroAlgorithmI* algorithm, QroExtractableI* x, void* record);
void removeConstraintFromManager(QroAlgorithmI* algorithm, QroExtractableI* x, void* record);
void applyAddOneToModel(QroAlgorithmI* algorithm, QroChange* change, void* argument);
// Adds every extractable of the change's array, then raises the level once.
void applyAddArrayToModel(QroAlgorithmI* algorithm, QroChange* change, void* argument);
void applyRemoveFromModel(QroAlgorithmI* algorithm, QroChange* change, void* argument);

#endif
