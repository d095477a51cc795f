// Threads that share no object: each builds and solves its own engine models
// and its own environment, model and solver, side by side with the others.
// The thread-sanitized build runs this program to find process-wide state
// that such threads would touch unguarded.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "qroext.h"

namespace {

struct Outcome {
  int queens = -1;          // solutions of 8 queens in an engine manager
  bool rootEnclosed = 0;    // shaving of x^2 == 2 keeps sqrt(2) in a narrow x
  bool angleEnclosed = 0;   // sin y == 0.5 narrows y around pi / 6
  int modelSolutions = -1;  // solutions of the solver's integer model
  bool restored = 0;        // a stored solution restores and checks
  double floatRoot = 0;     // the solver's float root of z^2 == 3
  std::string printedRoot;  // that root printed exactly
  std::string xml;          // an element tree written as text
};

int engineQueens(int n) {
  QrcManager mgr(QrcNoEdit);
  QrcIntVarArray q(mgr, n, 0, n - 1);
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) {
      mgr.add(q[i] != q[j]);
      mgr.add(q[i] + i != q[j] + j);
      mgr.add(q[i] - i != q[j] - j);
    }
  QrcSearch s(mgr, QrcGenerate(q));
  int found = 0;
  while (s.next()) ++found;
  s.end();
  mgr.end();
  return found;
}

void engineFloats(Outcome& out) {
  QrcManager mgr(QrcNoEdit);
  QrcFloatVar x(mgr, 0, 4), y(mgr, 0, 1.5);
  mgr.add(QrcSquare(x) == 2.0);
  mgr.add(QrcSin(y) == 0.5);
  QrcSolveBounds(x, 0.01);
  out.rootEnclosed =
      x.getMin() <= std::sqrt(2.0) && std::sqrt(2.0) <= x.getMax() && x.getMax() - x.getMin() < 0.1;
  out.angleEnclosed =
      y.getMin() <= M_PI / 6 && M_PI / 6 <= y.getMax() + 1e-12 && y.getMax() - y.getMin() < 1e-6;
  mgr.end();
}

// x0 + x1 + x2 == 4 over 0..3 with x0 < x1.
int modelCount() {
  int n = 0;
  for (int a = 0; a < 4; ++a)
    for (int b = a + 1; b < 4; ++b) n += 0 <= 4 - a - b && 4 - a - b <= 3;
  return n;
}

void solverModel(Outcome& out) {
  QroEnv env;
  try {
    QroModel model(env);
    QroNumVarArray x(env, 3);
    for (int i = 0; i < 3; ++i) x[i] = QroNumVar(env, 0, 3, QroNumVar::Int);
    QroNumExprArg sum = x[0] + x[1] + x[2];
    // sum - 4.0 would extend sum's own term in place.
    model.add(sum <= 4.0);
    model.add(4.0 - sum <= 0);
    model.add(x[0] - x[1] <= -1);
    QroSolver solver(model);
    QroSolution solution(env);
    solution.add(x);
    int n = 0;
    solver.startNewSearch();
    while (solver.next()) {
      if (n++ == 0) solution.store(solver);
    }
    solver.endSearch();
    out.modelSolutions = n;
    out.restored = solution.isFeasible(solver) && solver.solve(QroGoal()) &&
                   solution.getValue(x[0]) < solution.getValue(x[1]);
    solution.end();
    solver.end();

    QroModel floats(env);
    QroNumVar z(env, 0, 4);
    QroNumExprArg square = QroPower(z, 2.0);
    floats.add(square - 3.0 <= 0);
    floats.add(3.0 - square <= 0);
    QroSolver second(floats);
    if (second.solve(QroNumDichotomize(env, z, 0, 1e-9))) {
      out.floatRoot = second.getFloatVar(z).getMin();
      std::ostringstream os;
      os << second.getFloatVar(z);
      out.printedRoot = os.str();
    }
    second.end();
  } catch (const QroException& e) {
    ADD_FAILURE() << e.getMessage();
  }
  env.end();
}

// A tree of nested elements, each with an attribute.
std::string xmlText() {
  QroXmlElement root("r");
  QroXmlElement* at = &root;
  for (int i = 0; i < 20; ++i) {
    QroXmlElement* child = new QroXmlElement("e");
    child->addAttribute(new QroXmlAttribute("i", std::to_string(i).c_str()));
    at->addChild(child);
    at = child;
  }
  std::ostringstream os;
  root.write(os);
  return os.str();
}

void run(Outcome& out) {
  // The process-wide shaving settings are read by every extraction.
  EXPECT_FALSE(isGlobalFloatShavingOn());
  EXPECT_FALSE(isGlobalIntShavingOn());
  out.queens = engineQueens(8);
  engineFloats(out);
  solverModel(out);
  out.xml = xmlText();
}

TEST(Threads, IndependentManagersEnvironmentsAndSolversRunSideBySide) {
  const int kThreads = 4;
  QrcInt searches = getBoundShavingSearches();
  std::vector<Outcome> outcomes(kThreads);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) threads.emplace_back(run, std::ref(outcomes[i]));
  for (std::thread& t : threads) t.join();
  Outcome alone;
  run(alone);
  for (int i = 0; i < kThreads; ++i) {
    SCOPED_TRACE(i);
    const Outcome& o = outcomes[i];
    EXPECT_EQ(o.queens, 92);
    EXPECT_TRUE(o.rootEnclosed);
    EXPECT_TRUE(o.angleEnclosed);
    EXPECT_EQ(o.modelSolutions, modelCount());
    EXPECT_TRUE(o.restored);
    EXPECT_NEAR(o.floatRoot, std::sqrt(3.0), 1e-6);
    EXPECT_EQ(o.printedRoot, alone.printedRoot);
    EXPECT_EQ(o.xml, alone.xml);
  }
  EXPECT_EQ(alone.printedRoot.compare(0, 6, "[1.732"), 0) << alone.printedRoot;
  // Every thread's shaving is counted.
  EXPECT_GE(getBoundShavingSearches() - searches, 4 * 2);
}

}  // namespace
