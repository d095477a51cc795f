// Solver listeners: client objects that may take over the extraction of model
// members and of constraints added to the engine, and follow the creation of
// engine variables. The solver ties each one to its manager through a linking
// constraint (posted and propagated by the engine) and a variable notifier.
#ifndef QRO_SOLVERLISTENER_H
#define QRO_SOLVERLISTENER_H

#include "qroobject.h"
#include "qrcconstraint.h"
#include "qrcmanager.h"

class QroSolverI;
class QroModelI;
class QroExtractableI;
class QroChangeListenerI;
class QrcAggregatorVarNotifyI;

// Belongs to the client: the solver only links it in, resets it when it is
// cleared, and detaches it when it goes or the listener is removed.
class QroSolverListenerI : public QroEnvObjectI {
 public:
  explicit QroSolverListenerI(QroEnvI* env);
  ~QroSolverListenerI() override;

  // Told that the solver dropped its engine link (the old notifier, or null).
  virtual void reset(QrcVarNotifyI* oldNotifier) { (void)oldNotifier; }
  // A constraint added to the manager outside propagation.
  virtual void constraintAdded(QrcConstraintI* ct) { (void)ct; }
  // Non-zero when the listener takes the model member over.
  virtual QroBool claim(QroExtractableI* x) {
    (void)x;
    return 0;
  }
  virtual void beginExtraction(QroModelI* model) { (void)model; }
  virtual void endExtraction(QroModelI* model) { (void)model; }
  // Run by the linking constraint.
  virtual void post() {}
  virtual void propagate() {}
  // A constraint added during propagation; non-zero when the listener takes it over.
  virtual QroBool constraintAddedInPropagation(QrcConstraintI* ct) {
    (void)ct;
    return 0;
  }
  virtual void newIntVar(QrcExprI* var) { (void)var; }
  virtual void newFloatVar(QrcExprI* var) { (void)var; }
  // The solver finished a synchronisation (once per solve and per search start).
  virtual void synchronized() {}

  QroSolverI* getSolver() const { return _solver; }
  QrcConstraintI* getLinkingConstraint() const { return _linking; }
  QrcVarNotifyI* getNotifier() const { return _notifier; }
  QroBool wantsVariables() const { return _wantsVariables; }
  void setWantsVariables(QroBool flag) { _wantsVariables = flag ? 1 : 0; }
  QroInt getClaimCount() const { return _claims; }
  // A change listener registered in the environment's plug-in registry, made
  // with new; detaching the listener unregisters and deletes it.
  QroChangeListenerI* getRegistration() const { return _registration; }
  void setRegistration(QroChangeListenerI* r) { _registration = r; }

 private:
  friend class QroSolverListenerList;
  QroSolverI* _solver;
  QrcConstraintI* _linking;
  QroChangeListenerI* _registration;
  QroSolverListenerI* _next;
  QrcVarNotifyI* _notifier;
  QroInt _wantsVariables;
  QroInt _claims;
};

// The solver's listeners, in registration order.
class QroSolverListenerList {
 public:
  explicit QroSolverListenerList(QroSolverI* solver) : _solver(solver), _first(nullptr) {}
  QroSolverListenerList(const QroSolverListenerList&) = delete;
  QroSolverListenerList& operator=(const QroSolverListenerList&) = delete;

  bool isEmpty() const { return _first == nullptr; }
  QroSolverListenerI* getFirst() const { return _first; }
  // WrongUsage when the listener already belongs to a solver.
  void add(QroSolverListenerI* listener);
  // Unlinks and detaches; false when the listener is not in the list.
  bool remove(QroSolverListenerI* listener);

  void beginExtraction(QroModelI* model);
  QroBool offer(QroExtractableI* x);
  void endExtraction(QroModelI* model);
  QroBool notifyAdd(QrcConstraintI* ct);
  void synchronized();
  // Drops the engine link of every listener (the solver is cleared).
  void reset();
  // Resets and detaches every listener (the solver goes).
  void detachAll();

 private:
  void detach(QroSolverListenerI* listener);
  QroSolverI* _solver;
  QroSolverListenerI* _first;
};

// Posts and propagates a listener inside the engine; lives on the manager's heap.
class QrcAggregatorLinkingConstraintI : public QrcConstraintI {
  QROSIMPLECLASS(QrcAggregatorLinkingConstraintI, QrcConstraintI)
 public:
  QrcAggregatorLinkingConstraintI(QrcManagerI* manager, QroSolverListenerI* listener)
      : QrcConstraintI(manager), _listener(listener) {}
  void post() override { _listener->post(); }
  void propagate() override { _listener->propagate(); }
  QroSolverListenerI* getListener() const { return _listener; }

 private:
  QroSolverListenerI* _listener;
};

// Tells a listener of the manager's new variables; on the manager's heap.
class QrcAggregatorVarNotifyI : public QrcVarNotifyI {
 public:
  QrcAggregatorVarNotifyI(QrcManagerI* manager, QroSolverListenerI* listener)
      : _manager(manager), _listener(listener) {}
  void notifyNewIntVar(QrcExprI* exp) override { _listener->newIntVar(exp); }
  void notifyNewFloatVar(QrcExprI* exp) override { _listener->newFloatVar(exp); }
  QrcManagerI* getManager() const { return _manager; }

 private:
  QrcManagerI* _manager;
  QroSolverListenerI* _listener;
};

#endif
