#include "qrogoal.h"

#include <ostream>

QroGoalI::~QroGoalI() {}

void QroGoalI::display(std::ostream& os) const { os << "an QroGoalI"; }

std::ostream& operator<<(std::ostream& os, const QroGoal& goal) {
  if (goal.getImpl()) goal.getImpl()->display(os);
  return os;
}
