// Small goals, demons, constraints and event handlers for engine tests. They
// append to a process-wide log; code that can fail keeps no local objects.
#ifndef QRC_TEST_ENGINE_FIXTURES_H
#define QRC_TEST_ENGINE_FIXTURES_H

#include <string>
#include <vector>

#include "qrcconstraint.h"
#include "qrcevent.h"
#include "qrcgoal.h"
#include "qrcmanager.h"
#include "qrcqueue.h"
#include "qrcsearch.h"

namespace enginetest {

std::string& log();

// Names of the files in dir whose names start with prefix.
std::vector<std::string> filesWithPrefix(const std::string& dir, const std::string& prefix);

// Appends its text to the log when executed; fails afterwards when asked.
class LogGoal : public QrcGoalI {
 public:
  LogGoal(QrcManagerI* m, const char* text, bool failAfter = false)
      : QrcGoalI(m), _text(text), _fail(failAfter) {}
  QrcGoalI* execute() override;

 private:
  const char* _text;
  bool _fail;
};

// Appends its text to the log when it propagates.
class LogDemon : public QrcDemonI {
 public:
  LogDemon(QrcManagerI* m, const char* text, QrcConstraintI* owner = nullptr)
      : QrcDemonI(m, owner), _text(text) {}
  void propagate() override;

 private:
  const char* _text;
};

// Calls a function when it propagates.
class CallDemon : public QrcDemonI {
 public:
  typedef void (*Fn)(QrcManagerI*, void*);
  CallDemon(QrcManagerI* m, Fn fn, void* arg) : QrcDemonI(m), _fn(fn), _arg(arg) {}
  void propagate() override { _fn(_manager, _arg); }

 private:
  Fn _fn;
  void* _arg;
};

// A constraint that logs "post:<t>" and "prop:<t>", and can fail on propagation.
class LogConstraint : public QrcConstraintI {
 public:
  LogConstraint(QrcManagerI* m, const char* text,
                QrcInt priority = QrcConstraintI::DefaultEditPriority, bool failing = false)
      : QrcConstraintI(m), _text(text), _priority(priority), _failing(failing) {}
  void post() override;
  void propagate() override;
  QrcInt getEditPriority() const override { return _priority; }

 private:
  const char* _text;
  QrcInt _priority;
  bool _failing;
};

// Event handler whose processing logs and runs a function.
class LogHandler : public QrcEventHandlerI {
 public:
  typedef void (*Fn)(QrcManagerI*, void*);
  LogHandler(QrcManagerI* m, const char* text, Fn fn = nullptr, void* arg = nullptr)
      : QrcEventHandlerI(m), _text(text), _fn(fn), _arg(arg) {}
  void process() override;
  void clearEvents() override { _state = Idle; }

 private:
  const char* _text;
  Fn _fn;
  void* _arg;
};

// A goal that calls a function.
class CallGoal : public QrcGoalI {
 public:
  typedef QrcGoalI* (*Fn)(QrcManagerI*, void*);
  CallGoal(QrcManagerI* m, Fn fn, void* arg) : QrcGoalI(m), _fn(fn), _arg(arg) {}
  QrcGoalI* execute() override { return _fn(_manager, _arg); }

 private:
  Fn _fn;
  void* _arg;
};

}  // namespace enginetest

#endif
