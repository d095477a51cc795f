#include "engine_fixtures.h"

#include <dirent.h>

namespace enginetest {

std::vector<std::string> filesWithPrefix(const std::string& dir, const std::string& prefix) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (!d) return names;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (name.rfind(prefix, 0) == 0) names.push_back(name);
  }
  closedir(d);
  return names;
}

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
