// A goal that calls a function of the test; the function lives as long as
// the goal may run (on the test's stack, say).
#ifndef QRO_TEST_CALL_GOAL_H
#define QRO_TEST_CALL_GOAL_H

#include <functional>

#include "qrcgoal.h"

namespace qrotest {

class CallGoal : public QrcGoalI {
 public:
  CallGoal(QrcManagerI* m, const std::function<void()>* fn) : QrcGoalI(m), _fn(fn) {}
  QrcGoalI* execute() override {
    (*_fn)();
    return nullptr;
  }

 private:
  const std::function<void()>* _fn;
};

}  // namespace qrotest

#endif
