// Times the design program's run: building and extracting the model, the
// initial propagation, the first solution of its bisection search and the
// refused nested solve; the first solution is also timed on its own, and the
// work it takes (demons run, wakes that a quiet test answered without a run,
// variable events processed, trail words written) is counted beside the
// figures of an earlier commit.
//
// With the Gecode twin built beside it (gecode/bench_spring_gecode), rounds
// of this engine's runs and the twin's alternate, and the median of the
// rounds' ratios (this engine / Gecode) is printed for the whole run and the
// first solution. With the program built (../app/spring), whole processes are
// timed in turn too: the program with its standard input at end of file
// against the twin's process doing one run.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "qro.h"
#include "spring_model.h"
#include "qroext.h"
#include "twin.h"

extern char** environ;

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

struct Run {
  double whole = 0, first = 0;
  QrcInt fails = 0, choices = 0, solutions = 0, refused = 0;
  Work work{0, 0, 0, 0};
};

// One run as the program does it.
Run designRun() {
  Run r;
  auto t0 = std::chrono::steady_clock::now();
  QroEnv env;
  {
    SpringModel spring(env);
    QroNumVarArray& x = spring.x;
    QroSolver solver(spring.model, &QrcEdit);
    solver.solve(QroGoal(), QroSolver::RestartSearch, 0);
    QroGoal goal =
        QroAndGoal(QroNumDichotomize(env, x[0], 0, 0.0), QroNumDichotomize(env, x[1], 0, 0.0));
    solver.startNewSearch(goal, QroSolver::RestartSearch);
    Work w0 = workOf(solver.getManagerI());
    auto t1 = std::chrono::steady_clock::now();
    if (solver.next()) ++r.solutions;
    r.first = since(t1);
    Work w1 = workOf(solver.getManagerI());
    r.work = Work{w1.demons - w0.demons, w1.quiet - w0.quiet, w1.events - w0.events,
                  w1.trailWords - w0.trailWords};
    r.fails = solver.getManagerI()->getFails();
    r.choices = solver.getManagerI()->getChoicePointCount();
    // As the program does: the nested solve refuses to run inside the
    // open search, and the environment then takes the search with it.
    try {
      solver.solve();
    } catch (QroSolver::MultipleSearchException&) {
      ++r.refused;
    }
  }
  env.end();
  r.whole = since(t0);
  return r;
}

// Mean times of n runs (the counts of the last one).
Run meanOf(int n) {
  Run sum;
  for (int i = 0; i < n; ++i) {
    Run r = designRun();
    sum.whole += r.whole;
    sum.first += r.first;
    sum.solutions += r.solutions;
    sum.refused += r.refused;
    sum.fails = r.fails;
    sum.choices = r.choices;
    sum.work = r.work;
  }
  sum.whole /= n;
  sum.first /= n;
  return sum;
}

// Wall seconds of a whole process, standard input and output on /dev/null;
// negative when it cannot be run.
double processSeconds(const std::vector<std::string>& argv) {
  if (access(argv[0].c_str(), X_OK) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid;
  int status = 0;
  bool ran = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0 &&
             waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  double s = since(t0);
  posix_spawn_file_actions_destroy(&actions);
  return ran ? s : -1;
}

}  // namespace

int main(int, char** argv) {
  const int runs = 50;
  Run m = meanOf(runs);
  std::cout << "design program, " << runs << " runs" << std::endl;
  std::cout << "whole run (ms)          : " << 1000.0 * m.whole << std::endl;
  std::cout << "first next (ms)         : " << 1000.0 * m.first << std::endl;
  std::cout << "first next choice points: " << m.choices << std::endl;
  std::cout << "first next fails        : " << m.fails << std::endl;
  std::cout << "solutions found         : " << m.solutions << std::endl;
  std::cout << "nested solves refused   : " << m.refused << std::endl;
  std::cout << "first next demon runs   : " << m.work.demons << " (" << BaseCommit << ": "
            << BaseDemonRuns << ")" << std::endl;
  std::cout << "first next quiet runs   : " << m.work.quiet << " (wakes answered without running)"
            << std::endl;
  std::cout << "first next events       : " << m.work.events << " (" << BaseCommit << ": "
            << BaseEvents << ")" << std::endl;
  std::cout << "first next trail words  : " << m.work.trailWords << " (" << BaseCommit << ": "
            << BaseTrailWords << ")" << std::endl;

  // Rounds of 10 runs here and 2 in the twin, in turn.
  std::string twin = benchTwinPath(argv[0], "bench_spring_gecode");
  std::vector<double> whole, first;
  BenchFigures gw, gn;
  for (int round = 0; round < 5; ++round) {
    Run r = meanOf(10);
    if (!benchRunTwin(twin, "whole 2", gw) || !benchRunTwin(twin, "next 2", gn)) break;
    whole.push_back(r.whole / gw.seconds);
    first.push_back(r.first / gn.seconds);
  }
  if (!whole.empty()) {
    std::printf("Gecode, one propagator per operation: %" PRId64 " choice points, %" PRId64
                " fails\n",
                gw.choicePoints, gw.fails);
    std::printf("  whole run  %.3f ms, ratio %.4f (median of %d rounds)\n", 1000.0 * gw.seconds,
                benchMedian(whole), static_cast<int>(whole.size()));
    std::printf("  first next %.3f ms, ratio %.4f\n", 1000.0 * gn.seconds, benchMedian(first));
  }

  // Whole processes in turn: the program, then the twin doing one run.
  std::string program = benchSiblingPath(argv[0], "../app/spring");
  std::vector<double> mine, theirs, ratios;
  for (int round = 0; round < 7; ++round) {
    double a = processSeconds({program});
    double b = processSeconds({twin, "whole", "1"});
    if (a < 0 || b < 0) break;
    mine.push_back(a);
    theirs.push_back(b);
    ratios.push_back(a / b);
  }
  if (!ratios.empty())
    std::printf("processes: the program %.2f ms, the twin %.2f ms, ratio %.4f (medians of %d)\n",
                1000.0 * benchMedian(mine), 1000.0 * benchMedian(theirs), benchMedian(ratios),
                static_cast<int>(ratios.size()));
  return 0;
}
