// How the variables of an array shape make the positions of a harness case:
// each position is a term over the shape's variables (a variable itself, or
// an integer expression), and constraints over terms are posted before the
// case's own. A layout turns into a harness case whose checker evaluates the
// positions and asks the case's checker.
#ifndef QRO_TEST_SHAPE_LAYOUT_H
#define QRO_TEST_SHAPE_LAYOUT_H

#include <cstdint>
#include <string>
#include <vector>

#include "support/harness.h"

namespace qrotest {

struct Term {
  enum Op { Var, Add, Sub, AbsDiff, Mul, Offset, Min, Max, ConstAt, VarAt } op = Var;
  int var = -1;                // Var: the variable
  int64_t k = 0;               // Offset: the constant
  int a = -1, b = -1;          // operands; ConstAt and VarAt: a is the index
  std::vector<int64_t> table;  // ConstAt
  std::vector<int> items;      // VarAt: the terms of the array
  bool made = false;           // the expression made a variable (QrcIntVar)
};

// lhs == rhs, lhs != k, lhs <= k, lhs >= k or lhs among the values; an
// equality over a variable plus a constant may be stated as lhs - var == k
// (form 1) or with its sides swapped (form 2). Fix binds the variable lhs to
// k through its kind (no constraint).
struct Pre {
  enum Op { Eq, Ne, Le, Ge, In, Fix } op = Eq;
  int lhs = -1, rhs = -1;
  int64_t k = 0;
  int form = 0;
  std::vector<int64_t> values;  // In
};

struct Layout {
  std::vector<std::vector<int64_t>> values;
  std::vector<const VarKind*> kinds;
  std::vector<Term> terms;
  // The term of each position of the case.
  std::vector<int> position;
  std::vector<Pre> pre;

  // A new variable and its term.
  int addVar(const std::vector<int64_t>& candidates, const VarKind* kind);
  int addTerm(const Term& t);
  int64_t eval(int t, const std::vector<int64_t>& a) const;
  QrcExprI* build(int t, QrcManagerI* m, const Vars& v) const;
  std::string show(int t) const;
  // The distinct values the term takes over its variables' candidates.
  std::vector<int64_t> valuesOf(int t) const;
  bool holds(const Pre& p, const std::vector<int64_t>& a) const;
  QrcConstraintI* make(const Pre& p, QrcManagerI* m, const Vars& v) const;
  // Adds the constraint of p to the manager, or binds its variable (Fix).
  void state(const Pre& p, QrcManagerI* m, const Vars& v) const;
  std::string show(const Pre& p) const;
  // The number of assignments of the variables (capped past the limit).
  int64_t assignments(int64_t limit) const;

 private:
  QrcExprI* buildExpr(int t, QrcManagerI* m, const Vars& v) const;
  std::string showTerm(int t) const;
  void varsOf(int t, std::vector<int>& out) const;
};

// Keeps every integer position among the case's candidate values: a position
// whose term reaches other values is restricted first (bounds, or a member
// constraint over the values when they have holes), as the case's checker
// may read its positions as the candidates it was written for.
void keepCandidates(const PropCase& c, Layout& l);
// The case over the layout's variables; `label` names the shape. With
// keepLevel, the layout's variables are the case's own, in order, and the
// case's consistency levels still hold.
PropCase caseOfLayout(const PropCase& c, const Layout& l, const std::string& label,
                      bool keepLevel = false);

}  // namespace qrotest

#endif
