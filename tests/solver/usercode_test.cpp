// User code on a failure's path. In a manager whose failures are exceptions
// (an engine manager switched to them, a solver's), a failure that passes
// through the program's code, wherever the library calls it, reaches each of
// its frames as QrcFailException: its locals are destroyed and its catches
// see the failure, exactly as in a manager where every failure is thrown.
#include <gtest/gtest.h>

#include <vector>

#include "qroext.h"

// No public header leaves defined a macro that declares the class it makes
// the library's: a program using it would declare its own.
TEST(UserCodeOnFailurePaths, PublicHeadersLeaveNoDeclaringMacroDefined) {
  std::vector<const char*> defined;
#ifdef QRC_INT_VALUE_GOAL
  defined.push_back("QRC_INT_VALUE_GOAL");
#endif
#ifdef QRC_DIRECT_VALUE_GOAL
  defined.push_back("QRC_DIRECT_VALUE_GOAL");
#endif
#ifdef QRC_DEDUCTION_VARS_GOAL
  defined.push_back("QRC_DEDUCTION_VARS_GOAL");
#endif
#ifdef QRC_BUBBLE_GOAL
  defined.push_back("QRC_BUBBLE_GOAL");
#endif
#ifdef QRC_PAIR_DEMON
  defined.push_back("QRC_PAIR_DEMON");
#endif
#ifdef QRCTRIGNODE
  defined.push_back("QRCTRIGNODE");
#endif
  EXPECT_EQ(defined, std::vector<const char*>());
}
