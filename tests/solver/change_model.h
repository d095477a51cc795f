// Random models kept beside the solver's model for the differential tests of
// model changes: integer variables with their candidate values and current
// bounds, constraints of the modelling layer and global constraints through
// their builders (over arrays of expressions), each with a plain checker, and
// an optional objective. Brute force over the current bounds gives the
// solutions and the optimum the solver must find.
#ifndef TESTS_SOLVER_CHANGE_MODEL_H
#define TESTS_SOLVER_CHANGE_MODEL_H

#include <cstdint>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "qromodel.h"
#include "qrovar.h"

namespace changetest {

typedef std::vector<int64_t> A;
typedef std::mt19937_64 Rng;

// Integer expressions over the variables.
struct Expr {
  enum Op { Var, Const, Add, Sub, Mul, Times } op = Var;
  int var = 0;
  int64_t k = 0;  // Const: the value; Times: the factor
  int a = -1, b = -1;
};

class Exprs {
 public:
  int add(const Expr& e);
  // A variable, or now and then a sum, difference, offset or multiple.
  int draw(Rng& rng, int vars, int depth);
  int64_t eval(int e, const A& v) const;
  QroNumExprArg build(int e, const std::vector<QroNumVar>& vars) const;
  std::string show(int e) const;

 private:
  std::vector<Expr> _nodes;
};

// A constraint of the drawn model.
struct Item {
  std::string text;
  std::function<QroExtractableI*(QroEnv&, const std::vector<QroNumVar>&)> build;
  std::function<bool(const A&)> holds;
  // Built through a builder that takes the solver's filter level of its node.
  bool leveled = false;
  // The node while it is in the model.
  QroExtractableI* node = nullptr;
};

// Draws one constraint over the variables (their candidate values given):
// ranges and equalities of expressions, lexicographic orders, stretch and
// pattern constraints, counts, and through the builders all-different,
// distribute, element, tables, sequence, minimum distance, inverse,
// membership, abstraction and pack.
Item drawItem(Rng& rng, Exprs& exprs, const std::vector<std::vector<int64_t>>& values);

// The assignments over the domains that the predicate accepts.
std::set<A> acceptedAssignments(const std::vector<std::set<int64_t>>& domains,
                                const std::function<bool(const A&)>& accepts);

// A failure report of a random run: the header, how to replay it, the
// variables' candidate values and the changes made so far.
std::string describeRun(const std::string& header, uint64_t seed,
                        const std::vector<std::vector<int64_t>>& values,
                        const std::vector<std::string>& history);

}  // namespace changetest

#endif
