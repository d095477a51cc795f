// Functions over the elements of a set variable. Counts the subsets of 20
// weights 1 + rng() % 50 (std::mt19937_64(1)) whose QrcSum is half the total
// (rounded down); then finds a smallest cover of {0..39} by 30 random subsets
// of 8 values through U == QrcUnion(S, F) and card(S) <= k for rising k.
// Prints solutions, nodes (choice points), fails and seconds per model.
#include <cstdio>
#include <random>
#include <vector>

#include "figures.h"
#include "qro.h"
#include "qroext.h"

namespace {

class Weights : public QrcIntToIntFunctionI {
 public:
  explicit Weights(const QrcInt* w) : _w(w) {}
  QrcInt getValue(QrcInt x) override { return _w[x]; }

 private:
  const QrcInt* _w;
};

class Subsets : public QrcIntToIntSetVarFunctionI {
 public:
  explicit Subsets(QrcIntSetVarI** sets) : _sets(sets) {}
  QrcIntSetVarI* getValue(QrcInt x) override { return _sets[x]; }

 private:
  QrcIntSetVarI** _sets;
};

// Decides S up to limit solutions.
BenchFigures solve(const QrcManager& mgr, QrcIntSetVarI* s, long limit) {
  QrcManagerI* m = mgr.getImpl();
  QrcIntSetVarArray vars(mgr, 1);
  vars.getImpl()->elementAt(0) = s;
  BenchFigures f;
  double t0 = cpuTime();
  QrcSearch search(mgr, QrcGenerate(vars));
  while (f.solutions < limit && search.next()) ++f.solutions;
  search.end();
  f.seconds = cpuTime() - t0;
  f.choicePoints = m->getChoicePointCount();
  f.fails = m->getFails();
  return f;
}

void report(const char* model, const BenchFigures& f) {
  std::printf("%-26s %8" PRId64 " solutions, %9" PRId64 " nodes, %9" PRId64 " fails, %7.3f s\n",
              model, f.solutions, f.choicePoints, f.fails, f.seconds);
}

void halfSums() {
  const int n = 20;
  std::mt19937_64 rng(1);
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  QrcInt* w = static_cast<QrcInt*>(m->allocate(n * sizeof(QrcInt)));
  QrcInt total = 0;
  for (int i = 0; i < n; ++i) total += w[i] = 1 + static_cast<QrcInt>(rng() % 50);
  QrcIntSetVar s(mgr, 0, n - 1);
  mgr.add(QrcSum(s, QrcIntToIntFunction(new (m) Weights(w))) == total / 2);
  char name[64];
  std::snprintf(name, sizeof name, "subsets of sum %lld", static_cast<long long>(total / 2));
  report(name, solve(mgr, s.getImpl(), 1L << 40));
  mgr.end();
}

// A cover of {0..values - 1} by at most k of the sets, or none.
BenchFigures cover(const std::vector<std::vector<QrcInt>>& sets, int values, int k) {
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  QrcInt n = static_cast<QrcInt>(sets.size());
  QrcIntSetVarI** f = static_cast<QrcIntSetVarI**>(m->allocate(n * sizeof(QrcIntSetVarI*)));
  for (QrcInt i = 0; i < n; ++i) {
    const std::vector<QrcInt>& v = sets[static_cast<size_t>(i)];
    f[i] = QrcIntSetVar(mgr, QrcIntArray(mgr, static_cast<QrcInt>(v.size()), v.data())).getImpl();
    f[i]->addRequired(f[i]->getPossible());
  }
  QrcIntSetVar s(mgr, 0, n - 1);
  mgr.add(QrcIntExp(s.getImpl()->getCardinality()) <= QrcInt(k));
  QrcIntSetVar u = QrcUnion(s, QrcIntToIntSetVarFunction(new (m) Subsets(f)));
  mgr.add(u == QrcIntSet(mgr, 0, values - 1, 1));
  BenchFigures r = solve(mgr, s.getImpl(), 1);
  mgr.end();
  return r;
}

void smallestCover() {
  const int values = 40, count = 30, size = 8;
  std::mt19937_64 rng(1);
  std::vector<std::vector<QrcInt>> sets(count);
  for (auto& set : sets) {
    std::vector<bool> in(values, false);
    while (static_cast<int>(set.size()) < size) {
      QrcInt v = static_cast<QrcInt>(rng() % values);
      if (!in[static_cast<size_t>(v)]) {
        in[static_cast<size_t>(v)] = true;
        set.push_back(v);
      }
    }
  }
  BenchFigures total;
  for (int k = 1; k <= count; ++k) {
    BenchFigures f = cover(sets, values, k);
    total.choicePoints += f.choicePoints;
    total.fails += f.fails;
    total.seconds += f.seconds;
    char name[64];
    std::snprintf(name, sizeof name, "cover by at most %d sets", k);
    report(name, f);
    if (f.solutions > 0) {
      total.solutions = k;
      break;
    }
  }
  std::printf("smallest cover: %" PRId64 " sets, %" PRId64 " nodes, %" PRId64
              " fails, %.3f s in all\n",
              total.solutions, total.choicePoints, total.fails, total.seconds);
}

}  // namespace

int main() {
  halfSums();
  smallestCover();
  return 0;
}
