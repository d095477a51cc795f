// Base of engine constraints: a demon that is added to a manager, posted once
// (post attaches its demons to its variables' events), propagated, and from
// then on woken by the propagation queue. A constraint has an opposite made on
// demand, and a truth record through which its truth can be watched and forced;
// posting a constraint declares its opposite false.
#ifndef QRC_CONSTRAINT_H
#define QRC_CONSTRAINT_H

#include "qrcevent.h"
#include "qrcgoal.h"
#include "qrcmanager.h"
#include "qrcmemory.h"
#include "qrcqueue.h"

class QrcBoolEventHandlerI;
class QrcConstraintVisitorI;
class QrcIndexI;
class QrcIntExp;
class QrcIntExpI;

class QrcConstraintI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcConstraintI)
  QROSIMPLECLASS(QrcConstraintI, QrcDemonI)
 public:
  // Bits of the status word.
  enum Status { Added = 1, Posted = 2, Propagated = 4, MetaDemon = 8, OppositePosted = 16 };
  static constexpr QrcInt DefaultEditPriority = 1;

  explicit QrcConstraintI(QrcManagerI* manager);
  explicit QrcConstraintI(const QrcManager& manager);

  QrcBool isConstraint() const override { return 1; }
  // Run as a goal: adds itself to its manager.
  QrcGoalI* execute() override;
  // Attaches a demon to everything the constraint's truth depends on; error 41.
  void metaPostDemon(QrcDemonI* demon) override;
  // The name when there is one; else "QrcConstraint(" address ")" while tracing.
  void display(std::ostream& os) const override;
  // Posts (unless already posted), then propagates once.
  void postAndPropagate() override;
  void runIfPending() final;
  virtual QrcBool isTrue() const { return 0; }
  // Instantiates the constraint once per value of an index placeholder, kept
  // in step with a set variable of the indexes whose instance holds; returns
  // the number of instances that hold (the set variable's cardinality).
  virtual QrcIntExpI* makeSetOfConstraint(QrcIndexI* index);
  // Creates the truth demon and attaches it.
  virtual void metaPost();
  virtual QrcBool setFilterLevel(QrcInt level) {
    (void)level;
    return 1;
  }
  virtual QrcBool isAddIgnored() const { return 0; }
  virtual void post() = 0;
  // The negated constraint; error 40 in the base.
  virtual QrcConstraintI* makeOpposite();
  // Whether the constraint can no longer hold.
  virtual QrcBool isFalse() const { return 0; }
  // The constraint built again in another manager; error 25 in the base.
  virtual QrcConstraintI* makeCopy(QrcManagerI* target) const;
  virtual void accept(QrcConstraintVisitorI* visitor);
  // Index of the edit-mode and posting list, clipped to 0..Levels - 1 of the queue.
  virtual QrcInt getEditPriority() const { return DefaultEditPriority; }
  virtual QrcBool isExprEventHandlerConstraint() const { return 0; }
  virtual QrcBool hasMetaPostDemon() const { return 0; }
  // isKnownTrue without a truth record: whether the opposite is known false.
  // The base asks the opposite; a constraint whose opposite mirrors it, or a
  // connective whose opposite is made of its parts' opposites, answers from
  // its own fields with the same result.
  virtual QrcBool isOppositeFalse();
  // When a run of propagate would be known to change no domain and not to
  // fail, makes instead the calls on the variables that it would make (the
  // same events fire, with the same wakes and thresholds) and returns true;
  // otherwise returns false having changed nothing. Asked, when hasQuietTest,
  // before a pending constraint runs without tracing and without a fail trap.
  virtual bool runIfQuiet() { return false; }
  // Whether every event on which the opposite (already made) hangs a demon
  // also wakes a demon hung on this constraint, neither having a truth
  // record: a demon hung on both would only run again for the same event.
  virtual QrcBool wakesWithOpposite() { return 0; }

  // Schedules the constraint (state fresh or idle, not in edit mode).
  void push(QrcInt priority) {
    if (_state != Fresh && _state != Idle) return;
    if (_manager->isInEditMode()) return;
    _manager->getPropagationQueue()->push(this, priority);
  }
  void push() { push(QrcLastPriority); }
  void pushUnlessNested();
  void addConstraint(QrcConstraintI* ct);
  void setName(const char* name);
  const char* getName() const { return _name; }

  // Opposite, truth record and the connectives' queries.
  QrcConstraintI* getOpposite();
  QrcConstraintI* peekOpposite() const { return _opposite; }
  QrcBool isKnownFalse() const;
  QrcBool isKnownTrue();
  void postOpposite();
  void attachMetaDemon(QrcDemonI* demon);
  void attachOppositeMetaDemon(QrcDemonI* demon);
  void makeTruthRecord();
  QrcBoolEventHandlerI* getTruthRecord() const { return _truthRecord; }
  QrcConstraintI* getCopyForManager(QrcManagerI* target);

  QrcInt getStatus() const { return _status.getValue(); }
  bool isPosted() const { return (_status.getValue() & Posted) != 0; }
  void setStatusBits(QrcInt bits) {
    if ((_status.getValue() & bits) != bits) addStatusBits(bits);
  }
  QrcConstraintI* getParent() const { return _parent; }
  void setParent(QrcConstraintI* parent) { _parent = parent; }
  QrcConstraintI* getNextPending() const { return _nextPending; }
  void setNextPending(QrcConstraintI* next) { _nextPending = next; }
  QrcConstraintI** nextPendingAddress() { return &_nextPending; }
  bool isFiled() const { return _filed != 0; }
  void setFiled(QrcInt flag) { _filed = flag; }
  QrcInt* filedAddress() { return &_filed; }
  void* getFailTrap() const { return _failTrap; }
  // Whether getFailTrap is not null, read in the state word.
  bool hasFailTrap() const { return (_flags & HasFailTrap) != 0; }
  // Whether getTruthRecord is not null, read in the state word.
  bool hasTruthRecord() const { return (_flags & HasTruthRecord) != 0; }
  void setFailTrap(void* trap);
  // Takes the fail trap of the constraint that was running when it was added.
  void inheritFailTrap(QrcConstraintI* parent);
  // First entry of the failure list: the truth variable a fail trap binds to 0.
  QrcExprI* getFailureVariable() const { return _failureVariable; }
  void setFailureVariable(QrcExprI* var) { _failureVariable = var; }
  QrcGoalI* getAddingGoal() const { return _addingGoal; }
  void setAddingGoal(QrcGoalI* goal) { _addingGoal = goal; }

 protected:
  void addStatusBits(QrcInt bits);
  // Records that the opposite o (just made) mirrors this constraint, on both.
  void markMirrored(QrcConstraintI* o);
  bool isMirrored() const { return (_flags & MirroredOpposite) != 0; }
  // Runs the propagation under the queue's nesting (see postAndPropagate).
  void runPropagate();
  void linkTruthRecords(QrcConstraintI* opposite);
  void propagateBody();

  const char* _name;
  QrcConstraintI* _opposite;
  QrcBoolEventHandlerI* _truthRecord;
  QrcConstraintI* _copyMemo;
  QrcConstraintI* _parent;
  QrcConstraintI* _nextPending;
  QrcRevWord _status;
  void* _failTrap;
  QrcExprI* _failureVariable;
  QrcGoalI* _addingGoal;
  QrcInt _filed;
};

// Visits the kinds of constraints that matter to a visitor.
class QrcConstraintVisitorI {
 public:
  virtual ~QrcConstraintVisitorI() {}
  virtual void visit(QrcConstraintI* ct) { (void)ct; }
  virtual void visitTrue(QrcConstraintI* ct) { (void)ct; }
  virtual void visitFalse(QrcConstraintI* ct) { (void)ct; }
};

// Truth record of a constraint: a false flag, demons woken when it becomes
// false, and the record of the opposite constraint as partner.
class QrcBoolEventHandlerI : public QrcEventHandlerI {
  QRCLIBRARYCLASS(QrcBoolEventHandlerI)
 public:
  QrcBoolEventHandlerI(QrcManagerI* manager, QrcConstraintI* owner);
  void process() override;
  void clearEvents() override { _state = Idle; }
  QrcEventHandlerI* makeCopy(QrcManagerI* manager) const override;
  void display(std::ostream& os) const override;
  void whenDomain(QrcDemonI* demon) override;
  void traceWithMonitor(QrcSearchMonitorI* monitor) override;
  void traceWithMonitor2(QrcSearchMonitorI* monitor) override;

  void setFalse();
  bool isFalse() const { return _false != 0; }
  QrcConstraintList& getDemons() { return _demons; }
  QrcConstraintI* getOwnerConstraint() const { return _ownerConstraint; }
  QrcBoolEventHandlerI* getPartner() const { return _partner; }
  void setPartner(QrcBoolEventHandlerI* partner);
  void addMetaExpression(QrcExprI* exp);

 private:
  struct MetaCell {
    MetaCell* next;
    QrcExprI* exp;
  };
  QrcInt _false;
  QrcConstraintList _demons;
  QrcConstraintI* _ownerConstraint;
  QrcBoolEventHandlerI* _partner;
  MetaCell* _metas;
};

inline QrcBool QrcConstraintI::isKnownFalse() const {
  // The flag stands for a truth record in the word the state is in.
  if (_flags & HasTruthRecord) return _truthRecord->isFalse() ? 1 : 0;
  return isFalse();
}

inline QrcBool QrcConstraintI::isKnownTrue() {
  // Without a truth record here, the opposite has none either.
  if (!(_flags & HasTruthRecord)) return isOppositeFalse();
  QrcConstraintI* o = _opposite ? _opposite : getOpposite();
  return o ? o->isKnownFalse() : 0;
}

class QrcBoolExpEventHandlerConstraintI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcBoolExpEventHandlerConstraintI)
  QROSIMPLECLASS(QrcBoolExpEventHandlerConstraintI, QrcDemonI)
 public:
  QrcBoolExpEventHandlerConstraintI(QrcManagerI* m, QrcConstraintI* c) : QrcDemonI(m), _c(c) {}
  void propagate() override;
  void display(std::ostream& os) const override;

 private:
  QrcConstraintI* _c;
};

class QrcWhenNotDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcWhenNotDemonI)
  QROSIMPLECLASS(QrcWhenNotDemonI, QrcDemonI)
 public:
  // Idle from the start: a demon is never posted, so its first wake needs no
  // trailed freshness.
  QrcWhenNotDemonI(QrcManagerI* m, QrcConstraintI* c, QrcDemonI* d) : QrcDemonI(m), _c(c), _d(d) {
    setState(Idle);
  }
  void propagate() override;
  void display(std::ostream& os) const override;

 protected:
  QrcConstraintI* _c;
  QrcDemonI* _d;
};

// A constraint over one expression; over a variable it is not posted.
class QrcUnaryConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcUnaryConstraintI)
  QROSIMPLECLASS(QrcUnaryConstraintI, QrcConstraintI)
 public:
  explicit QrcUnaryConstraintI(QrcExprI* exp);
  void postAndPropagate() override;
  QrcExprI* getExpr() const { return _exp; }

 protected:
  QrcExprI* _exp;
};

// A constraint over two constraints.
class QrcBinaryConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcBinaryConstraintI)
  QROSIMPLECLASS(QrcBinaryConstraintI, QrcConstraintI)
 public:
  QrcBinaryConstraintI(QrcConstraintI* first, QrcConstraintI* second);
  void metaPostDemon(QrcDemonI* demon) override;
  QrcConstraintI* getFirst() const { return _first; }
  QrcConstraintI* getSecond() const { return _second; }

 protected:
  QrcConstraintI* _first;
  QrcConstraintI* _second;
};

class QrcBoolOrExpI : public QrcBinaryConstraintI {
  QRCLIBRARYCLASS(QrcBoolOrExpI)
  QROSIMPLECLASS(QrcBoolOrExpI, QrcBinaryConstraintI)
 public:
  QrcBoolOrExpI(QrcConstraintI* a, QrcConstraintI* b) : QrcBinaryConstraintI(a, b) {}
  void propagate() override;
  void display(std::ostream& os) const override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  QrcBool isFalse() const override;
  QrcBool isOppositeFalse() override;
  QrcBool wakesWithOpposite() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  QrcBool hasMetaPostDemon() const override { return 1; }
};

class QrcBoolAndExpI : public QrcBinaryConstraintI {
  QRCLIBRARYCLASS(QrcBoolAndExpI)
  QROSIMPLECLASS(QrcBoolAndExpI, QrcBinaryConstraintI)
 public:
  QrcBoolAndExpI(QrcConstraintI* a, QrcConstraintI* b) : QrcBinaryConstraintI(a, b) {}
  void propagate() override {}
  void display(std::ostream& os) const override;
  void post() override;
  QrcConstraintI* makeOpposite() override;
  QrcBool isFalse() const override;
  QrcBool isOppositeFalse() override;
  QrcBool wakesWithOpposite() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  QrcBool hasMetaPostDemon() const override { return 1; }
};

class QrcTrueConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcTrueConstraintI)
  QROSIMPLECLASS(QrcTrueConstraintI, QrcConstraintI)
 public:
  explicit QrcTrueConstraintI(QrcManagerI* m) : QrcConstraintI(m) {}
  void propagate() override {}
  void metaPostDemon(QrcDemonI*) override {}
  void display(std::ostream& os) const override;
  void post() override {}
  QrcConstraintI* makeOpposite() override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  void accept(QrcConstraintVisitorI* visitor) override { visitor->visitTrue(this); }
};

class QrcFalseConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcFalseConstraintI)
  QROSIMPLECLASS(QrcFalseConstraintI, QrcConstraintI)
 public:
  explicit QrcFalseConstraintI(QrcManagerI* m) : QrcConstraintI(m) {}
  void propagate() override;
  void metaPostDemon(QrcDemonI*) override {}
  void display(std::ostream& os) const override;
  void post() override {}
  QrcConstraintI* makeOpposite() override;
  QrcBool isFalse() const override { return 1; }
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  void accept(QrcConstraintVisitorI* visitor) override { visitor->visitFalse(this); }
};

// Array of constraints on a manager's heap.
class QrcConstraintArrayI : public QrcPrintable {
 public:
  QrcConstraintArrayI(QrcManagerI* manager, QrcInt size);
  QrcInt getSize() const { return _size; }
  QrcConstraintI*& operator[](QrcInt i) { return _elements[i]; }
  QrcConstraintI* get(QrcInt i) const { return _elements[i]; }
  QrcConstraintArrayI* getCopyForManager(QrcManagerI* target);
  // "[" the elements separated by " " "]".
  void display(std::ostream& os) const override;

 private:
  QrcInt _size;
  QrcConstraintI** _elements;
  QrcManagerI* _manager;
  QrcConstraintArrayI* _copyMemo;
};

// Handle of a constraint.
class QrcConstraint {
 public:
  QrcConstraint() : _impl(nullptr) {}
  QrcConstraint(QrcConstraintI* impl) : _impl(impl) {}
  QrcConstraintI* getImpl() const { return _impl; }
  QrcConstraint getOpposite() const;
  // The 0-1 expression of the constraint's truth (integer layer).
  operator QrcIntExp() const;

 private:
  QrcConstraintI* _impl;
};

QrcConstraint operator||(const QrcConstraint& a, const QrcConstraint& b);
QrcConstraint operator&&(const QrcConstraint& a, const QrcConstraint& b);
QrcConstraint operator==(const QrcConstraint& a, const QrcConstraint& b);
QrcConstraint operator!=(const QrcConstraint& a, const QrcConstraint& b);
QrcConstraint operator!(const QrcConstraint& a);
std::ostream& operator<<(std::ostream& os, const QrcConstraint& ct);

#endif
