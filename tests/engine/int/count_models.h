// Counting the solutions of small integer models in every way of running
// them: edit or no-edit manager, failure by jumps or by exceptions, the
// constraints added before the search or by its first goal.
#ifndef QRC_TEST_COUNT_MODELS_H
#define QRC_TEST_COUNT_MODELS_H

#include <functional>
#include <string>
#include <vector>

#include "qrcconstraint.h"
#include "qrcint.h"
#include "qrcmanager.h"

namespace inttest {

struct RunMode {
  bool edit, exceptions, inGoal;
  std::string text() const;
};

typedef std::function<std::vector<QrcConstraint>(QrcManager&, const std::vector<QrcIntVar>&)>
    ModelMaker;

// Solutions over variables with the given domains (a contiguous one is an
// interval variable), labelled in order by generation; the search stops after
// 101 solutions or 10,000 failures. A failure while adding counts 0.
int countSolutions(const std::vector<std::vector<QrcInt>>& domains, const ModelMaker& make,
                   const RunMode& mode);

// Checks the count in every mode; the mode that cannot report a failure while
// adding before the search (no-edit, jumps) is skipped for models without solution.
void expectSolutionsInEveryMode(const std::string& name,
                                const std::vector<std::vector<QrcInt>>& domains,
                                const ModelMaker& make, int solutions);

}  // namespace inttest

#endif
