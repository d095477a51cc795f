// The solver's default search with impacts on (impact-based choices after an
// estimation by dichotomy) against plain generation (first unbound variable,
// smallest value), both to the first solution: n-queens (n = 8..50), the 4x4
// magic square and Golomb rulers of 6 to 8 marks within their optimal length.
// Prints choice points and failures (those of the look-ahead's nested solves
// included) and time; a search stopped by the failure limit says so.
#include <cstdio>
#include <vector>

#include "qro.h"
#include "qroext.h"

namespace {

const QrcInt kFailLimit = 200000;

struct Model {
  QroEnv env;
  QroModel model{env};
  QroSolver solver;
  std::vector<QrcIntVar> x;

  Model(int n, QrcInt lo, QrcInt hi, bool impacts) {
    std::vector<QroNumVar> vars;
    for (int i = 0; i < n; ++i) {
      vars.emplace_back(env, static_cast<QroNum>(lo), static_cast<QroNum>(hi), QroNumVar::Int);
      model.add(vars.back());
    }
    solver = QroSolver(model);
    solver.setImpactMode(impacts);
    for (const QroNumVar& v : vars) x.push_back(solver.getIntVar(v));
  }
  ~Model() {
    solver.end();
    env.end();
  }
  QrcManager manager() const { return solver.getManager(); }
  QrcIntVarArray array(int from, int n) const {
    QrcIntVarArray a(manager(), n);
    for (int i = 0; i < n; ++i) a.set(i, x[from + i]);
    return a;
  }
  QrcIntExp operator[](int i) const { return QrcIntExp(x[i]); }

  // The first solution of the default search.
  void run(const char* name, int size) {
    QrcManagerI* m = solver.getManagerI();
    QrcInt cps = m->getChoicePointCount(), fails = m->getFails();
    double t0 = cpuTime();
    solver.startNewSearch();
    m->setFailLimit(kFailLimit);
    bool found = solver.next();
    bool limited = !found && m->isLimitReached();
    solver.endSearch();
    double t1 = cpuTime();
    std::printf("%-14s %2d %-7s %9lld choice points %9lld fails %8.3f s%s\n", name, size,
                solver.getImpl()->getImpactMode() ? "impact" : "plain",
                static_cast<long long>(m->getChoicePointCount() - cps),
                static_cast<long long>(m->getFails() - fails), t1 - t0,
                found     ? ""
                : limited ? "  (fail limit)"
                          : "  (no solution)");
  }
};

void queens(int n, bool impacts) {
  Model p(n, 0, n - 1, impacts);
  QrcManager m = p.manager();
  for (int i = 0; i < n; ++i)
    for (int j = i + 1; j < n; ++j) {
      m.add(p[i] != p[j]);
      m.add(p[i] + i != p[j] + j);
      m.add(p[i] - i != p[j] - j);
    }
  p.run("queens", n);
}

void magicSquare(bool impacts) {
  const int n = 4, sum = 34;
  Model p(n * n, 1, n * n, impacts);
  QrcManager m = p.manager();
  m.add(QrcAllDiff(p.array(0, n * n)));
  for (int i = 0; i < n; ++i) {
    QrcIntExp row = p[n * i], column = p[i];
    for (int j = 1; j < n; ++j) {
      row = row + p[n * i + j];
      column = column + p[n * j + i];
    }
    m.add(row == sum);
    m.add(column == sum);
  }
  QrcIntExp d1 = p[0], d2 = p[n - 1];
  for (int i = 1; i < n; ++i) {
    d1 = d1 + p[(n + 1) * i];
    d2 = d2 + p[(n - 1) * (i + 1)];
  }
  m.add(d1 == sum);
  m.add(d2 == sum);
  p.run("magic square", n);
}

// Marks 0 = m0 < ... < m(n-1) <= the optimal length, differences all distinct.
void golomb(int marks, QrcInt length, bool impacts) {
  Model p(marks, 0, length, impacts);
  QrcManager m = p.manager();
  m.add(p[0] == 0);
  for (int i = 0; i + 1 < marks; ++i) m.add(p[i] < p[i + 1]);
  int count = marks * (marks - 1) / 2, k = 0;
  QrcIntVarArray diffs(m, count, 1, length);
  for (int i = 0; i < marks; ++i)
    for (int j = i + 1; j < marks; ++j) m.add(QrcIntExp(diffs[k++]) == p[j] - p[i]);
  m.add(QrcAllDiff(diffs));
  m.add(QrcIntExp(diffs[0]) < QrcIntExp(diffs[count - 1]));
  p.run("golomb", marks);
}

}  // namespace

int main() {
  const int sizes[] = {8, 10, 12, 16, 20, 25, 30, 40, 50};
  for (int n : sizes)
    for (bool impacts : {true, false}) queens(n, impacts);
  for (bool impacts : {true, false}) magicSquare(impacts);
  const QrcInt lengths[] = {17, 25, 34};
  for (int marks = 6; marks <= 8; ++marks)
    for (bool impacts : {true, false}) golomb(marks, lengths[marks - 6], impacts);
  return 0;
}
