// Base of engine constraints: a demon that is added to a manager, posted once
// (post attaches its demons to its variables' events), propagated, and from
// then on woken by the propagation queue.
#ifndef QRC_CONSTRAINT_H
#define QRC_CONSTRAINT_H

#include "qrcgoal.h"
#include "qrcmemory.h"

class QrcConstraintI : public QrcDemonI {
 public:
  // Bits of the status word.
  enum Status { Added = 1, Posted = 2, Propagated = 4, MetaDemon = 8, OppositePosted = 16 };

  explicit QrcConstraintI(QrcManagerI* manager);
  explicit QrcConstraintI(const QrcManager& manager);

  const char* getClassName() const override { return "QrcConstraintI"; }
  QrcBool isConstraint() const override { return 1; }
  // Run as a goal: adds itself to its manager.
  QrcGoalI* execute() override;
  void metaPostDemon(QrcDemonI* demon) override;
  // The name when there is one; else "QrcConstraint(" address ")" while tracing.
  void display(std::ostream& os) const override;
  // Posts (unless posted), then propagates once.
  void postAndPropagate() override;
  void runIfPending() override;
  virtual QrcBool isTrue() const { return 0; }
  virtual QrcBool isAddIgnored() const { return 0; }
  virtual void post() = 0;
  virtual QrcBool isFalse() const { return 0; }
  virtual QrcInt getEditPriority() const { return 1; }
  virtual QrcBool hasMetaPostDemon() const { return 0; }

  // Schedules the constraint (state fresh or idle, not in edit mode).
  void push(QrcInt priority);
  void push() { push(5); }
  void pushUnlessNested();
  void addConstraint(QrcConstraintI* ct);
  void setName(const char* name);
  const char* getName() const { return _name; }

  QrcInt getStatus() const { return _status.getValue(); }
  bool isPosted() const { return (_status.getValue() & Posted) != 0; }
  void setStatusBits(QrcInt bits);
  QrcConstraintI* getParent() const { return _parent; }
  void setParent(QrcConstraintI* parent) { _parent = parent; }
  QrcConstraintI* getNextPending() const { return _nextPending; }
  void setNextPending(QrcConstraintI* next) { _nextPending = next; }
  QrcConstraintI** nextPendingAddress() { return &_nextPending; }
  bool isFiled() const { return _filed != 0; }
  void setFiled(QrcInt flag) { _filed = flag; }
  QrcInt* filedAddress() { return &_filed; }
  // Takes the fail trap of the constraint that was running when it was added.
  void inheritFailTrap(QrcConstraintI* parent);
  void* getFailTrap() const { return _failTrap; }
  void setFailTrap(void* trap) { _failTrap = trap; }
  // First entry of the failure list: the truth variable a fail trap binds to 0.
  QrcExprI* getFailureVariable() const { return _failureVariable; }
  void setFailureVariable(QrcExprI* var) { _failureVariable = var; }
  QrcGoalI* getAddingGoal() const { return _addingGoal; }
  void setAddingGoal(QrcGoalI* goal) { _addingGoal = goal; }

 protected:
  const char* _name;
  QrcConstraintI* _opposite;
  void* _truthRecord;
  void* _copyMemo;
  QrcConstraintI* _parent;
  QrcConstraintI* _nextPending;
  QrcRevWord _status;
  void* _failTrap;
  QrcExprI* _failureVariable;
  QrcGoalI* _addingGoal;
  QrcInt _filed;
};

// Handle of a constraint.
class QrcConstraint {
 public:
  QrcConstraint() : _impl(nullptr) {}
  QrcConstraint(QrcConstraintI* impl) : _impl(impl) {}
  QrcConstraintI* getImpl() const { return _impl; }

 private:
  QrcConstraintI* _impl;
};

#endif
