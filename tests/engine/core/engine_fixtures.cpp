#include "engine_fixtures.h"

namespace enginetest {

std::string& log() {
  static std::string text;
  return text;
}

QrcGoalI* LogGoal::execute() {
  log() += _text;
  log() += " ";
  if (_fail) _manager->fail();
  return nullptr;
}

void LogDemon::propagate() {
  log() += _text;
  log() += " ";
}

void LogConstraint::post() {
  log() += "post:";
  log() += _text;
  log() += " ";
}

void LogConstraint::propagate() {
  log() += "prop:";
  log() += _text;
  log() += " ";
  if (_failing) _manager->fail();
}

void LogHandler::process() {
  _state = Processing;
  log() += _text;
  log() += " ";
  if (_fn) _fn(_manager, _arg);
  _state = Idle;
}

}  // namespace enginetest
