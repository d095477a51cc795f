// A 0-1 knapsack through the modelling layer and the solver: choose items of
// the given weights and values, at most the capacity in weight, of the
// greatest total value. The solver's default search with the objective
// proves the optimum; a brute force over every choice checks it.
#include <cstdint>
#include <iostream>

#include "qro.h"

namespace {

const int Items = 12;
const int Capacity = 50;
const int Weight[Items] = {12, 7, 11, 8, 9, 6, 14, 5, 10, 4, 13, 3};
const int Value[Items] = {24, 13, 23, 15, 16, 11, 28, 8, 19, 6, 25, 4};

// The best value over all 2^Items choices.
int bruteForce() {
  int best = 0;
  for (uint32_t set = 0; set < (1u << Items); ++set) {
    int weight = 0, value = 0;
    for (int i = 0; i < Items; ++i)
      if (set >> i & 1) {
        weight += Weight[i];
        value += Value[i];
      }
    if (weight <= Capacity && value > best) best = value;
  }
  return best;
}

}  // namespace

int main() {
  QroEnv env;
  int status = 0;
  try {
    QroModel model(env);
    QroNumVarArray take(env, Items);
    for (int i = 0; i < Items; ++i) take[i] = QroNumVar(env, 0, 1, QroNumVar::Int);

    // Each sum starts from its own term: the operators extend a term in
    // place, so two sums grown from one start would be one shared sum.
    QroNumExprArg weight = Weight[0] * take[0];
    QroNumExprArg value = Value[0] * take[0];
    for (int i = 1; i < Items; ++i) {
      weight = weight + Weight[i] * take[i];
      value = value + Value[i] * take[i];
    }
    // The modelling layer states <= and ==: weight <= Capacity is a range.
    model.add(weight <= Capacity);
    model.add(QroObjective(env, value, QroObjectiveI::Maximize));

    // solve() runs the default search under the objective to the optimum.
    QroSolver solver(model);
    if (!solver.solve()) {
      std::cout << "no solution" << std::endl;
      env.end();
      return 1;
    }
    int total = 0, used = 0;
    std::cout << "items:";
    for (int i = 0; i < Items; ++i)
      if (solver.getValue(take[i]) == 1) {
        std::cout << " " << i;
        total += Value[i];
        used += Weight[i];
      }
    std::cout << std::endl
              << "value " << solver.getObjValue() << ", weight " << used << " of " << Capacity
              << std::endl;

    const int best = bruteForce();
    if (solver.getObjValue() != best || total != best || used > Capacity) {
      std::cerr << "wrong answer: the optimum is " << best << std::endl;
      status = 1;
    }
  } catch (QroException& e) {
    // The library's exceptions do not derive from std::exception.
    e.print(std::cerr);
    std::cerr << std::endl;
    status = 1;
  }
  env.end();
  return status;
}
