// New bounds on variables whose values are a list, through the solver.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

#include "qrosolver.h"
#include "support/model_search.h"

namespace {

typedef std::vector<int64_t> A;

std::set<A> solutions(QroSolver& s, const QroNumVar& x) {
  std::set<A> out;
  s.startNewSearch();
  while (s.next()) out.insert({static_cast<int64_t>(s.getValue(x))});
  s.endSearch();
  return out;
}

// A variable whose values are a list keeps exactly its listed values within
// its bounds: a bound that rises drops the values it passes, one that falls
// adds every integer it passes, also when the bounds meet 0 and 1.
struct ListCase {
  A values;
  std::function<void(const QroNumVar&)> change;
  A want;
};

const ListCase kListCases[] = {
    {{0, 2},
     [](const QroNumVar& x) {
       x.setBounds(0, 1);
       x.setBounds(0, 2);
     },
     {0, 2}},
    {{0, 2},
     [](const QroNumVar& x) {
       x.setUB(1);
       x.setUB(2);
     },
     {0, 2}},
    {{-1, 1},
     [](const QroNumVar& x) {
       x.setLB(0);
       x.setLB(-1);
     },
     {-1, 1}},
    {{-1, 1},
     [](const QroNumVar& x) {
       x.setBounds(0, 1);
       x.setBounds(-1, 1);
     },
     {-1, 1}},
    {{0, 3},
     [](const QroNumVar& x) {
       x.setUB(1);
       x.setBounds(-1, 1);
     },
     {-1, 0}},
    {{1, 3},
     [](const QroNumVar& x) {
       x.setBounds(0, 1);
       x.setBounds(0, 3);
     },
     {0, 1, 2, 3}},
    {{-2, 2},
     [](const QroNumVar& x) {
       x.setUB(1);
       x.setUB(2);
     },
     {-2, 2}},
};

TEST(ValueListBounds, NewBoundsKeepTheListedValues) {
  for (const ListCase& c : kListCases) {
    // A solver made before the change, one made after it.
    for (bool before : {true, false}) {
      QroEnv env;
      {
        QroModel model(env);
        QroNumVar x = qrotest::makeIntVar(env, c.values, "x");
        model.add(x);
        QroSolver early;
        if (before) early = QroSolver(model);
        c.change(x);
        QroSolver solver = before ? early : QroSolver(model);
        std::set<A> want;
        for (int64_t v : c.want) want.insert({v});
        EXPECT_EQ(solutions(solver, x), want)
            << "values " << c.values.front() << ".." << c.values.back() << " solver made "
            << (before ? "before" : "after");
      }
      env.end();
    }
  }
}

}  // namespace
