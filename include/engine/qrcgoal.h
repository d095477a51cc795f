// Goals and demons. A goal's execute returns the next goal to run (or null);
// goals wait on the manager's And stack and or-goals open choice points. A
// demon's propagate reacts to an event; the propagation queue runs it.
//
// Code that can fail (execute, propagate) must keep only trivially
// destructible locals: a failure leaves it by a non-local jump.
#ifndef QRC_GOAL_H
#define QRC_GOAL_H

#include <iosfwd>

#include "qrcerror.h"
#include "qrctypes.h"
#include "qrortti.h"

class QrcConstraint;

class QrcRootGoalDemonI;
// QrcManagerI::noteMade, out of line.
void QrcNoteMade(QrcManagerI* manager, const QrcRootGoalDemonI* item);

class QrcRootGoalDemonI : public QroRtti, public QrcPrintable {
  QROSIMPLECLASS(QrcRootGoalDemonI, QroRtti)
 public:
  // Demon states on the propagation queue (Fresh: never scheduled since made;
  // Dormant: neither run by the queue nor posted again).
  enum State { Idle = 0, Pending = 1, Inactive = 2, Dormant = 3, Fresh = 4 };

  explicit QrcRootGoalDemonI(QrcManagerI* manager) : _manager(manager), _state(Fresh), _flags(0) {}
  // A copy would carry its source's class check, and would not be noted.
  QrcRootGoalDemonI(const QrcRootGoalDemonI&) = delete;
  QrcRootGoalDemonI& operator=(const QrcRootGoalDemonI&) = delete;
  virtual ~QrcRootGoalDemonI();
  // The class the object declares itself (QRCLIBRARYCLASS), null for none.
  virtual const std::type_info* getLibraryClass() const { return nullptr; }

  virtual QrcBool isConstraint() const { return 0; }
  virtual void propagate() = 0;
  virtual QrcGoalI* execute() = 0;
  virtual void metaPostDemon(QrcDemonI* demon) = 0;
  virtual void* getMetaExpression() const { return nullptr; }
  void display(std::ostream&) const override {}

  QrcManagerI* getManager() const { return _manager; }
  QroSolverI* getSolverI() const;
  // Fails the current branch; never returns.
  [[noreturn]] void fail(QrcAny label = nullptr) const;

  int getState() const { return _state; }
  void setState(int state) { _state = state; }
  // Fresh (trail-saved) or idle becomes pending; pending and inactive stay.
  void markPending() {
    if (_state == Idle)
      _state = Pending;
    else if (_state == Fresh)
      markFreshPending();
  }
  // Inactive until backtracking.
  void deactivate();
  // Runs a pending item now, as the manager's current demon.
  virtual void runIfPending();

  // Whether the item is a constraint (QrcConstraintI), without a virtual call.
  bool isConstraintItem() const { return (_flags & ConstraintItem) != 0; }
  // Whether the item is not of the library's own classes (QRCLIBRARYCLASS);
  // the answer is kept in the flags.
  bool isForeign() {
    if (!(_flags & ClassChecked)) _flags |= ClassChecked | (QrcIsLibraryObject(this) ? 0 : Foreign);
    return (_flags & Foreign) != 0;
  }
  // Whether the item is a constraint that can tell a run that changes nothing
  // (QrcConstraintI::runIfQuiet).
  bool hasQuietTest() const { return (_flags & QuietTest) != 0; }
  // Whether the item is the library's own goal that succeeds at once.
  bool isLibraryTrueGoal() { return (_flags & TrueGoal) && !isForeign(); }
  // Whether running the item takes more than its propagate (a quiet test or
  // a fail trap).
  bool hasRunHooks() const { return (_flags & (QuietTest | HasFailTrap)) != 0; }
  // Whether the item is a constraint without run hooks, in one test.
  bool isPlainConstraintItem() const {
    return (_flags & (ConstraintItem | QuietTest | HasFailTrap)) == ConstraintItem;
  }

 protected:
  // Bits of _flags: the item is a constraint; the constraint has a truth
  // record; it has a fail trap; its opposite mirrors it (the same operands
  // with the negated test), so that it can answer for its opposite; it has a
  // quiet test.
  enum Flag {
    ConstraintItem = 1,
    HasTruthRecord = 2,
    HasFailTrap = 4,
    MirroredOpposite = 8,
    QuietTest = 16,
    ClassChecked = 32,
    Foreign = 64,
    TrueGoal = 128
  };
  QrcManagerI* _manager;
  // The state and the flags share one word, which the trail saves and restores
  // whole: a flag changed after saving that word goes back with it.
  int32_t _state;
  int32_t _flags;

 private:
  void markFreshPending();
};

class QrcGoalI : public QrcRootGoalDemonI {
  QRCLIBRARYCLASS(QrcGoalI)
  QROSIMPLECLASS(QrcGoalI, QrcRootGoalDemonI)
 public:
  explicit QrcGoalI(QrcManagerI* manager) : QrcRootGoalDemonI(manager), _w1(0), _w2(0), _w3(0) {}
  // As a demon, the goal schedules itself on the And stack.
  void propagate() override;
  void metaPostDemon(QrcDemonI* demon) override;

 protected:
  QrcWord _w1, _w2, _w3;
};

class QrcDemonI : public QrcRootGoalDemonI {
  QRCLIBRARYCLASS(QrcDemonI)
  QROSIMPLECLASS(QrcDemonI, QrcRootGoalDemonI)
 public:
  // Demons and constraints are noted (QrcManagerI::noteMade), counted while
  // the manager's failures jump; goals are checked as they run.
  QrcDemonI(QrcManagerI* manager, QrcConstraintI* owner = nullptr)
      : QrcRootGoalDemonI(manager), _owner(owner), _word(0) {
    if (manager) QrcNoteMade(manager, this);
  }
  QrcGoalI* execute() override;
  void metaPostDemon(QrcDemonI* demon) override;
  // "QrcDemon(" address ")" on the trace stream, only while tracing.
  void display(std::ostream& os) const override;
  virtual void postAndPropagate() { propagate(); }
  QrcConstraintI* getOwner() const { return _owner; }

 protected:
  QrcConstraintI* _owner;
  QrcWord _word;
};

// ---------------------------------------------------------------- built-in goals

class QrcGoalFailI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcGoalFailI)
  QROSIMPLECLASS(QrcGoalFailI, QrcGoalI)
 public:
  QrcGoalFailI(QrcManagerI* manager, QrcAny label) : QrcGoalI(manager), _label(label) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;
  QrcAny getLabel() const { return _label; }

 private:
  QrcAny _label;
};

class QrcGoalTrueI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcGoalTrueI)
  QROSIMPLECLASS(QrcGoalTrueI, QrcGoalI)
 public:
  explicit QrcGoalTrueI(QrcManagerI* manager) : QrcGoalI(manager) { _flags |= TrueGoal; }
  QrcGoalI* execute() override { return nullptr; }
  void display(std::ostream& os) const override;
};

class QrcAndII : public QrcGoalI {
  QRCLIBRARYCLASS(QrcAndII)
  QROSIMPLECLASS(QrcAndII, QrcGoalI)
 public:
  QrcAndII(QrcManagerI* manager, QrcGoalI* first, QrcGoalI* second)
      : QrcGoalI(manager), _first(first), _second(second) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcGoalI* _first;
  QrcGoalI* _second;
};

class QrcOrI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcOrI)
  QROSIMPLECLASS(QrcOrI, QrcGoalI)
 public:
  QrcOrI(QrcManagerI* manager, QrcGoalI* first, QrcGoalI* second, QrcAny label)
      : QrcGoalI(manager), _first(first), _second(second), _label(label) {}
  QrcGoalI* execute() override;

 private:
  QrcGoalI* _first;
  QrcGoalI* _second;
  QrcAny _label;
};

class QrcPushGoalsI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcPushGoalsI)
  QROSIMPLECLASS(QrcPushGoalsI, QrcGoalI)
 public:
  explicit QrcPushGoalsI(QrcManagerI* manager) : QrcGoalI(manager) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;
};

class QrcGoalConstraintI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcGoalConstraintI)
  QROSIMPLECLASS(QrcGoalConstraintI, QrcGoalI)
 public:
  QrcGoalConstraintI(QrcManagerI* manager, QrcConstraintI* ct) : QrcGoalI(manager), _ct(ct) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;

 private:
  QrcConstraintI* _ct;
};

class QrcReversibleI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcReversibleI)
  QROSIMPLECLASS(QrcReversibleI, QrcGoalI)
 public:
  QrcReversibleI(QrcManagerI* manager, QrcGoalI* goal) : QrcGoalI(manager), _goal(goal) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;
  QrcGoalI* getGoal() const { return _goal; }

 private:
  QrcGoalI* _goal;
};

struct QrcGoalCell;

// The no-restore reversible actions of one choice point under one record:
// runs them latest first.
class QrcReversibleGroupI : public QrcGoalI {
  QRCLIBRARYCLASS(QrcReversibleGroupI)
  QROSIMPLECLASS(QrcReversibleGroupI, QrcGoalI)
 public:
  explicit QrcReversibleGroupI(QrcManagerI* manager) : QrcGoalI(manager), _actions(nullptr) {}
  QrcGoalI* execute() override;
  void display(std::ostream& os) const override;
  void add(QrcGoalI* goal);
  // add, with the cell already taken from the manager's heap.
  inline void link(QrcGoalCell* cell, QrcGoalI* goal);

 private:
  QrcGoalCell* _actions;
};

// Marker addresses, compared by identity only.
namespace qrcmarkers {
extern const char internalLabel;
extern const char reversibleAction;
extern const char noRestore;
}  // namespace qrcmarkers
inline QrcAny QrcInternalLabel() {
  return &qrcmarkers::internalLabel;
}
inline QrcAny QrcReversibleActionMarker() {
  return &qrcmarkers::reversibleAction;
}
inline QrcAny QrcNoRestoreMarker() {
  return &qrcmarkers::noRestore;
}

// ---------------------------------------------------------------- handle and makers

class QrcGoal {
 public:
  QrcGoal() : _impl(nullptr) {}
  QrcGoal(QrcGoalI* impl) : _impl(impl) {}
  // A goal that adds the constraint to its manager when executed.
  explicit QrcGoal(const QrcConstraint& ct);
  QrcGoalI* getImpl() const { return _impl; }

 private:
  QrcGoalI* _impl;
};

QrcGoal QrcGoalFail(const QrcManager& manager, QrcAny label = nullptr);
QrcGoal QrcGoalTrue(const QrcManager& manager);
QrcGoal QrcAnd(const QrcGoal& g1, const QrcGoal& g2);
QrcGoal QrcAnd(const QrcGoal& g1, const QrcGoal& g2, const QrcGoal& g3, const QrcGoal& g4);
QrcGoal QrcAnd(const QrcGoal& g1, const QrcGoal& g2, const QrcGoal& g3, const QrcGoal& g4,
               const QrcGoal& g5);
QrcGoal QrcOr(const QrcGoal& g1, const QrcGoal& g2, QrcAny label = nullptr);

#endif
