// Whole models against brute force: a case builds a model over integer
// variables with given candidate values; the solver's default search must
// find exactly the assignments that a plain checker accepts, each once, in
// edit and in no-edit mode.
#ifndef QRO_TEST_MODEL_SEARCH_H
#define QRO_TEST_MODEL_SEARCH_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "qromodel.h"
#include "qrosolver.h"
#include "qrovar.h"

namespace qrotest {

struct ModelCase {
  std::string name;
  // Candidate values of each variable (a range when contiguous).
  std::vector<std::vector<int64_t>> values;
  // Adds the constraints under test; the variables are already in the model.
  std::function<void(QroEnv&, QroModel&, const std::vector<QroNumVar>&)> build;
  std::function<bool(const std::vector<int64_t>&)> check;
  // The model holds variables of its own: its solutions may repeat an
  // assignment of the case's variables.
  bool auxiliaries = false;
  int64_t maxSolutions = 5000;
  // Adjusts the solver once it has extracted the model (optional).
  std::function<void(QroSolver&)> configure;
  // The model or the configuration holds code of the caller's (a predicate,
  // a monitor). Otherwise the solver's manager vouches for every object it
  // meets, and where the model is posted before the search (no edit mode)
  // every failure of the search jumps.
  bool callersCode = false;
};

// An integer variable over the values (a range when they are contiguous).
QroNumVar makeIntVar(QroEnv& env, const std::vector<int64_t>& values, const char* name = nullptr);
// The assignments that the checker accepts.
std::vector<std::vector<int64_t>> checkerSolutions(const ModelCase& c);
// The solutions found by the solver, in the order found (manager tag edit
// when true); an inconsistent model has none.
std::vector<std::vector<int64_t>> solverSolutions(const ModelCase& c, bool edit);
// Compares both in both modes; the number of failures reported.
int checkModelCase(const ModelCase& c);

}  // namespace qrotest

#endif
