// Times the design program's run: building and extracting the model, the
// initial propagation, the first solution of its bisection search and the
// refused nested solve; the first solution is also timed on its own, and the
// work it takes (demons run, wakes that a quiet test answered without a run,
// variable events processed, trail words written) is counted beside the
// figures of an earlier commit.
#include <chrono>
#include <iostream>

#include "qro.h"
#include "qroext.h"

namespace {

// The work of the first solution at the commit the counts are compared with.
const char* const BaseCommit = "4c4962d";
const QrcInt BaseDemonRuns = 6929, BaseEvents = 2189;
const QrcUInt BaseTrailWords = 908;

struct Work {
  QrcInt demons, quiet, events;
  QrcUInt trailWords;
};

Work workOf(QrcManagerI* m) {
  QrcPropagationQueueI* q = m->getPropagationQueue();
  return Work{q->getDemonRuns(), q->getQuietRuns(), q->getEventsProcessed(),
              m->getTrailWordsWritten()};
}

double since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void addDesign(QroEnv& env, QroModel& model, QroNumVarArray& x, QroNumVar& F, QroNumVar& N) {
  x[0] = QroNumVar(env, 0.25, 1.3);
  x[1] = QroNumVar(env, 0.05, 1.0);
  model.add(1.0 - (QroPower(x[0], 3.0) * N) / (71785.0 * QroPower(x[1], 4.0)) <= 0.0);
  QroNumExpr q = 1.0 / (5.108 * QroPower(x[1], 2.0));
  QroNumExpr c = QroPower(x[1], 3.0);
  QroNumExpr e = QroPower(x[1], 3.0);
  QroNumExpr m = 12.566 * (x[0] * e - c);
  QroNumQuadTermNode t = x[1] * x[0];
  QroNumExpr v = 4.0 * QroPower(x[0], 4.0) - t;
  model.add(v / m + q <= 0.0);
  model.add(1.0 - (140.45 * x[1]) / (QroPower(x[0], 2.0) * N) <= 0.0);
  model.add((x[0] + x[1]) / 1.5 - 1.0 <= 0.0);
  model.add(F == (N + 2.0) * x[0] * QroPower(x[1], 2.0));
}

}  // namespace

int main() {
  const int runs = 50;
  double total = 0, first = 0;
  QrcInt fails = 0, choices = 0, solutions = 0, refused = 0;
  Work work{0, 0, 0, 0};
  for (int r = 0; r < runs; ++r) {
    auto t0 = std::chrono::steady_clock::now();
    QroEnv env;
    {
      QroModel model(env);
      QroNumVarArray x(env, 2);
      QroNumVar F(env, 0.0, 0.5), N(env, 2.0, 10.0);
      addDesign(env, model, x, F, N);
      QroSolver solver(model, &QrcEdit);
      solver.solve(QroGoal(), 1, 0);
      QroGoal goal =
          QroAndGoal(QroNumDichotomize(env, x[0], 0, 0.0), QroNumDichotomize(env, x[1], 0, 0.0));
      solver.startNewSearch(goal, 1);
      Work w0 = workOf(solver.getManagerI());
      auto t1 = std::chrono::steady_clock::now();
      if (solver.next()) ++solutions;
      first += since(t1);
      Work w1 = workOf(solver.getManagerI());
      work = Work{w1.demons - w0.demons, w1.quiet - w0.quiet, w1.events - w0.events,
                  w1.trailWords - w0.trailWords};
      fails = solver.getManagerI()->getFails();
      choices = solver.getManagerI()->getChoicePointCount();
      // As the program does: the nested solve refuses to run inside the
      // open search, and the environment then takes the search with it.
      try {
        solver.solve();
      } catch (QroSolver::MultipleSearchException&) {
        ++refused;
      }
    }
    env.end();
    total += since(t0);
  }
  std::cout << "design program, " << runs << " runs" << std::endl;
  std::cout << "whole run (ms)          : " << 1000.0 * total / runs << std::endl;
  std::cout << "first next (ms)         : " << 1000.0 * first / runs << std::endl;
  std::cout << "first next choice points: " << choices << std::endl;
  std::cout << "first next fails        : " << fails << std::endl;
  std::cout << "solutions found         : " << solutions << std::endl;
  std::cout << "nested solves refused   : " << refused << std::endl;
  std::cout << "first next demon runs   : " << work.demons << " (" << BaseCommit << ": "
            << BaseDemonRuns << ")" << std::endl;
  std::cout << "first next quiet runs   : " << work.quiet << " (wakes answered without running)"
            << std::endl;
  std::cout << "first next events       : " << work.events << " (" << BaseCommit << ": "
            << BaseEvents << ")" << std::endl;
  std::cout << "first next trail words  : " << work.trailWords << " (" << BaseCommit << ": "
            << BaseTrailWords << ")" << std::endl;
  return 0;
}
