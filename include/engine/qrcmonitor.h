// Notification interface through which the engine reports what it does to a
// user's monitor. Each operation is called only while the propagation queue's
// trace flag is set, and only when the monitor's flag byte selects its class.
#ifndef QRC_MONITOR_H
#define QRC_MONITOR_H

#include "qrctypes.h"

class QrcExprI;

class QrcSearchMonitorI {
 public:
  enum EventClass {
    QueueEvents = 0x01,
    ConstraintEvents = 0x02,
    ProcessEvents = 0x04,
    DomainEvents = 0x08,
    ExpressionEvents = 0x10
  };

  explicit QrcSearchMonitorI(unsigned char flags = 0) : _flags(flags) {}
  virtual ~QrcSearchMonitorI() {}

  virtual void onDemonBegin(QrcRootGoalDemonI* demon) { (void)demon; }
  virtual void onDemonEnd(QrcRootGoalDemonI* demon) { (void)demon; }
  virtual void onPostBegin(QrcConstraintI* ct) { (void)ct; }
  virtual void onPostEnd(QrcConstraintI* ct) { (void)ct; }
  virtual void onConstraintPropagateBegin(QrcConstraintI* ct) { (void)ct; }
  virtual void onConstraintPropagateEnd(QrcConstraintI* ct) { (void)ct; }
  virtual void onIntVarProcessBegin(QrcEventHandlerI* handler) { (void)handler; }
  virtual void onIntVarProcessEnd(QrcEventHandlerI* handler) { (void)handler; }
  virtual void onFloatVarProcessBegin(QrcEventHandlerI* handler) { (void)handler; }
  virtual void onFloatVarProcessEnd(QrcEventHandlerI* handler) { (void)handler; }
  virtual void onIntSetVarProcessBegin(QrcEventHandlerI* handler) { (void)handler; }
  virtual void onIntSetVarProcessEnd(QrcEventHandlerI* handler) { (void)handler; }
  virtual void onWakeUpBegin(QrcConstraintI* ct) { (void)ct; }
  virtual void onWakeUpEnd(QrcConstraintI* ct) { (void)ct; }
  virtual void onIntVarSetValueBegin(QrcExprI* var, QrcInt value) {
    (void)var;
    (void)value;
  }
  virtual void onIntVarSetValueEnd(QrcExprI* var, QrcInt value) {
    (void)var;
    (void)value;
  }
  virtual void onIntVarRemoveValueBegin(QrcExprI* var, QrcInt value) {
    (void)var;
    (void)value;
  }
  virtual void onIntVarRemoveValueEnd(QrcExprI* var, QrcInt value) {
    (void)var;
    (void)value;
  }
  virtual void onIntVarSetRangeBegin(QrcExprI* var, QrcInt min, QrcInt max) {
    (void)var;
    (void)min;
    (void)max;
  }
  virtual void onIntVarSetRangeEnd(QrcExprI* var, QrcInt min, QrcInt max) {
    (void)var;
    (void)min;
    (void)max;
  }
  virtual void onIntVarSetMinBegin(QrcExprI* var, QrcInt value) {
    (void)var;
    (void)value;
  }
  virtual void onIntVarSetMinEnd(QrcExprI* var, QrcInt value) {
    (void)var;
    (void)value;
  }
  virtual void onIntVarSetMaxBegin(QrcExprI* var, QrcInt value) {
    (void)var;
    (void)value;
  }
  virtual void onIntVarSetMaxEnd(QrcExprI* var, QrcInt value) {
    (void)var;
    (void)value;
  }
  virtual void onFloatVarSetValueBegin(QrcExprI* var, QrcFloat value) {
    (void)var;
    (void)value;
  }
  virtual void onFloatVarSetValueEnd(QrcExprI* var, QrcFloat value) {
    (void)var;
    (void)value;
  }
  virtual void onFloatVarRemoveValueBegin(QrcExprI* var, QrcFloat value) {
    (void)var;
    (void)value;
  }
  virtual void onFloatVarRemoveValueEnd(QrcExprI* var, QrcFloat value) {
    (void)var;
    (void)value;
  }
  virtual void onFloatVarSetRangeBegin(QrcExprI* var, QrcFloat min, QrcFloat max) {
    (void)var;
    (void)min;
    (void)max;
  }
  virtual void onFloatVarSetRangeEnd(QrcExprI* var, QrcFloat min, QrcFloat max) {
    (void)var;
    (void)min;
    (void)max;
  }
  virtual void onFloatVarSetMinBegin(QrcExprI* var, QrcFloat value) {
    (void)var;
    (void)value;
  }
  virtual void onFloatVarSetMinEnd(QrcExprI* var, QrcFloat value) {
    (void)var;
    (void)value;
  }
  virtual void onFloatVarSetMaxBegin(QrcExprI* var, QrcFloat value) {
    (void)var;
    (void)value;
  }
  virtual void onFloatVarSetMaxEnd(QrcExprI* var, QrcFloat value) {
    (void)var;
    (void)value;
  }
  virtual void onIntSetVarRemovePossibleBegin(QrcExprI* var, QrcInt value) {
    (void)var;
    (void)value;
  }
  virtual void onIntSetVarRemovePossibleEnd(QrcExprI* var, QrcInt value) {
    (void)var;
    (void)value;
  }
  virtual void onIntSetVarAddRequiredBegin(QrcExprI* var, QrcInt value) {
    (void)var;
    (void)value;
  }
  virtual void onIntSetVarAddRequiredEnd(QrcExprI* var, QrcInt value) {
    (void)var;
    (void)value;
  }
  virtual void onIntExp(QrcExprI* exp) { (void)exp; }
  virtual void onFloatExp(QrcExprI* exp) { (void)exp; }
  virtual void onIntSetVar(QrcExprI* var) { (void)var; }
  virtual void onFail(QrcRootGoalDemonI* demon) { (void)demon; }
  virtual void onFailCount(QrcInt count) { (void)count; }
  virtual void onChoicePoint(QrcInt count) { (void)count; }

  unsigned char getFlags() const { return _flags; }
  void setFlags(unsigned char flags) { _flags = flags; }

  void notifyDemonBegin(QrcRootGoalDemonI* demon) {
    if (_flags & 0x01) onDemonBegin(demon);
  }
  void notifyDemonEnd(QrcRootGoalDemonI* demon) {
    if (_flags & 0x01) onDemonEnd(demon);
  }
  void notifyPostBegin(QrcConstraintI* ct) {
    if (_flags & 0x02) onPostBegin(ct);
  }
  void notifyPostEnd(QrcConstraintI* ct) {
    if (_flags & 0x02) onPostEnd(ct);
  }
  void notifyConstraintPropagateBegin(QrcConstraintI* ct) {
    if (_flags & 0x02) onConstraintPropagateBegin(ct);
  }
  void notifyConstraintPropagateEnd(QrcConstraintI* ct) {
    if (_flags & 0x02) onConstraintPropagateEnd(ct);
  }
  void notifyIntVarProcessBegin(QrcEventHandlerI* handler) {
    if (_flags & 0x04) onIntVarProcessBegin(handler);
  }
  void notifyIntVarProcessEnd(QrcEventHandlerI* handler) {
    if (_flags & 0x04) onIntVarProcessEnd(handler);
  }
  void notifyFloatVarProcessBegin(QrcEventHandlerI* handler) {
    if (_flags & 0x04) onFloatVarProcessBegin(handler);
  }
  void notifyFloatVarProcessEnd(QrcEventHandlerI* handler) {
    if (_flags & 0x04) onFloatVarProcessEnd(handler);
  }
  void notifyIntSetVarProcessBegin(QrcEventHandlerI* handler) {
    if (_flags & 0x04) onIntSetVarProcessBegin(handler);
  }
  void notifyIntSetVarProcessEnd(QrcEventHandlerI* handler) {
    if (_flags & 0x04) onIntSetVarProcessEnd(handler);
  }
  void notifyWakeUpBegin(QrcConstraintI* ct) {
    if (_flags & 0x04) onWakeUpBegin(ct);
  }
  void notifyWakeUpEnd(QrcConstraintI* ct) {
    if (_flags & 0x04) onWakeUpEnd(ct);
  }
  void notifyIntVarSetValueBegin(QrcExprI* var, QrcInt value) {
    if (_flags & 0x08) onIntVarSetValueBegin(var, value);
  }
  void notifyIntVarSetValueEnd(QrcExprI* var, QrcInt value) {
    if (_flags & 0x08) onIntVarSetValueEnd(var, value);
  }
  void notifyIntVarRemoveValueBegin(QrcExprI* var, QrcInt value) {
    if (_flags & 0x08) onIntVarRemoveValueBegin(var, value);
  }
  void notifyIntVarRemoveValueEnd(QrcExprI* var, QrcInt value) {
    if (_flags & 0x08) onIntVarRemoveValueEnd(var, value);
  }
  void notifyIntVarSetRangeBegin(QrcExprI* var, QrcInt min, QrcInt max) {
    if (_flags & 0x08) onIntVarSetRangeBegin(var, min, max);
  }
  void notifyIntVarSetRangeEnd(QrcExprI* var, QrcInt min, QrcInt max) {
    if (_flags & 0x08) onIntVarSetRangeEnd(var, min, max);
  }
  void notifyIntVarSetMinBegin(QrcExprI* var, QrcInt value) {
    if (_flags & 0x08) onIntVarSetMinBegin(var, value);
  }
  void notifyIntVarSetMinEnd(QrcExprI* var, QrcInt value) {
    if (_flags & 0x08) onIntVarSetMinEnd(var, value);
  }
  void notifyIntVarSetMaxBegin(QrcExprI* var, QrcInt value) {
    if (_flags & 0x08) onIntVarSetMaxBegin(var, value);
  }
  void notifyIntVarSetMaxEnd(QrcExprI* var, QrcInt value) {
    if (_flags & 0x08) onIntVarSetMaxEnd(var, value);
  }
  void notifyFloatVarSetValueBegin(QrcExprI* var, QrcFloat value) {
    if (_flags & 0x08) onFloatVarSetValueBegin(var, value);
  }
  void notifyFloatVarSetValueEnd(QrcExprI* var, QrcFloat value) {
    if (_flags & 0x08) onFloatVarSetValueEnd(var, value);
  }
  void notifyFloatVarRemoveValueBegin(QrcExprI* var, QrcFloat value) {
    if (_flags & 0x08) onFloatVarRemoveValueBegin(var, value);
  }
  void notifyFloatVarRemoveValueEnd(QrcExprI* var, QrcFloat value) {
    if (_flags & 0x08) onFloatVarRemoveValueEnd(var, value);
  }
  void notifyFloatVarSetRangeBegin(QrcExprI* var, QrcFloat min, QrcFloat max) {
    if (_flags & 0x08) onFloatVarSetRangeBegin(var, min, max);
  }
  void notifyFloatVarSetRangeEnd(QrcExprI* var, QrcFloat min, QrcFloat max) {
    if (_flags & 0x08) onFloatVarSetRangeEnd(var, min, max);
  }
  void notifyFloatVarSetMinBegin(QrcExprI* var, QrcFloat value) {
    if (_flags & 0x08) onFloatVarSetMinBegin(var, value);
  }
  void notifyFloatVarSetMinEnd(QrcExprI* var, QrcFloat value) {
    if (_flags & 0x08) onFloatVarSetMinEnd(var, value);
  }
  void notifyFloatVarSetMaxBegin(QrcExprI* var, QrcFloat value) {
    if (_flags & 0x08) onFloatVarSetMaxBegin(var, value);
  }
  void notifyFloatVarSetMaxEnd(QrcExprI* var, QrcFloat value) {
    if (_flags & 0x08) onFloatVarSetMaxEnd(var, value);
  }
  void notifyIntSetVarRemovePossibleBegin(QrcExprI* var, QrcInt value) {
    if (_flags & 0x08) onIntSetVarRemovePossibleBegin(var, value);
  }
  void notifyIntSetVarRemovePossibleEnd(QrcExprI* var, QrcInt value) {
    if (_flags & 0x08) onIntSetVarRemovePossibleEnd(var, value);
  }
  void notifyIntSetVarAddRequiredBegin(QrcExprI* var, QrcInt value) {
    if (_flags & 0x08) onIntSetVarAddRequiredBegin(var, value);
  }
  void notifyIntSetVarAddRequiredEnd(QrcExprI* var, QrcInt value) {
    if (_flags & 0x08) onIntSetVarAddRequiredEnd(var, value);
  }
  void notifyIntExp(QrcExprI* exp) {
    if (_flags & 0x10) onIntExp(exp);
  }
  void notifyFloatExp(QrcExprI* exp) {
    if (_flags & 0x10) onFloatExp(exp);
  }
  void notifyIntSetVar(QrcExprI* var) {
    if (_flags & 0x10) onIntSetVar(var);
  }
  void notifyFail(QrcRootGoalDemonI* demon) {
    if (_flags & 0x10) onFail(demon);
  }
  void notifyFailCount(QrcInt count) {
    if (_flags & 0x10) onFailCount(count);
  }
  void notifyChoicePoint(QrcInt count) {
    if (_flags & 0x10) onChoicePoint(count);
  }

 private:
  unsigned char _flags;
};

#endif
