// Square packing with boxes and the not-overlap constraint: the squares 1..9
// in 17 x 17 and 18 x 18 (first solution) and every tiling of the 33 x 32
// rectangle by the squares 18, 15, 14, 10, 9, 8, 7, 4 and 1, and the strips of
// K squares at box and not-overlap level 0. Labels x then y of each square,
// largest square first, smallest value first (x = v, else x != v). Prints
// solutions, choice points, fails and time for each pair of box level
// (interval-graph rules) and not-overlap level, then per strip the time per
// choice point, its growth exponent and the peak memory beside Gecode's.
//
//   bench_placement               every instance at every pair of levels and
//                                 every strip, with the Gecode twin's figures
//   bench_placement K BOX NO      instance K (placement_models.h) at box level
//                                 BOX and not-overlap level NO, printing
//                                 "solutions cps fails seconds"
//   bench_placement strip K       the strip of K squares at levels 0 and 0,
//                                 printing "solutions cps fails seconds KiB"
#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "figures.h"
#include "placement_models.h"
#include "qro.h"
#include "qroext.h"
#include "twin.h"

namespace {

class Label : public QrcGoalI {
 public:
  Label(QrcManagerI* m, QrcIntExpI** vars, QrcInt n, QrcInt i = 0, QrcInt v = 0, int mode = 0)
      : QrcGoalI(m), _vars(vars), _n(n), _i(i), _v(v), _mode(mode) {}
  QrcGoalI* execute() override {
    if (_mode == 1) {
      _vars[_i]->setValue(_v);
      return nullptr;
    }
    if (_mode == 2) {
      _vars[_i]->removeValue(_v);
      return nullptr;
    }
    QrcInt i = _i;
    while (i < _n && _vars[i]->isBound()) ++i;
    if (i == _n) return nullptr;
    QrcInt v = _vars[i]->getMin();
    QrcManagerI* m = _manager;
    QrcGoalI* again = new (m) Label(m, _vars, _n, i);
    return new (m)
        QrcOrI(m, new (m) QrcAndII(m, new (m) Label(m, _vars, _n, i, v, 1), again),
               new (m) QrcAndII(m, new (m) Label(m, _vars, _n, i, v, 2), again), nullptr);
  }

 private:
  QrcIntExpI** _vars;
  QrcInt _n;
  QrcInt _i;
  QrcInt _v;
  int _mode;
};

BenchFigures run(const placementbench::Instance& in, int boxLevel, int notOverlapLevel) {
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  double t0 = cpuTime();
  QroInt w = in.width, h = in.height;
  QroInt size[2] = {w, h};
  QrcBoxI* c = QrcBox(2, QrcIntVarArray(mgr, 2, 0, 0), QrcIntArray(mgr, 2, size)).getImpl();
  c->setFilterLevel(boxLevel);
  QrcConstraintI* no = c->getNotOverlapConstraint();
  no->setFilterLevel(notOverlapLevel);
  m->add(no);
  QrcInt n = static_cast<QrcInt>(in.squares.size());
  QrcIntExpI** vars = static_cast<QrcIntExpI**>(m->allocate(sizeof(QrcIntExpI*) * 2 * n));
  for (QrcInt i = 0; i < n; ++i) {
    QroInt s = in.squares[static_cast<size_t>(i)];
    QroInt sides[2] = {s, s};
    QrcIntVarArray o(mgr, 2);
    o.set(0, QrcIntVar(mgr, 0, w - s));
    o.set(1, QrcIntVar(mgr, 0, h - s));
    vars[2 * i] = o[0].getImpl();
    vars[2 * i + 1] = o[1].getImpl();
    QrcBoxI* b = QrcBox(2, o, QrcIntArray(mgr, 2, sides)).getImpl();
    m->add(c->makeContainmentConstraint(b));
  }
  QrcSearch s(mgr, QrcGoal(new (m) Label(m, vars, 2 * n)));
  BenchFigures f;
  while (s.next()) {
    ++f.solutions;
    if (!in.all) break;
  }
  s.end();
  f.seconds = cpuTime() - t0;
  f.choicePoints = m->getChoicePointCount();
  f.fails = m->getFails();
  mgr.end();
  return f;
}

// A strip run in a child process: its figures and peak memory in KiB.
bool runStripChild(const std::string& program, int k, BenchFigures& f, long& kib) {
  std::string cmd = program + " strip " + std::to_string(k) + " 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return false;
  int got = std::fscanf(p, "%" SCNd64 " %" SCNd64 " %" SCNd64 " %lf %ld", &f.solutions,
                        &f.choicePoints, &f.fails, &f.seconds, &kib);
  return pclose(p) == 0 && got == 5;
}

double perChoicePoint(const BenchFigures& f) {
  return f.seconds / static_cast<double>(f.choicePoints > 0 ? f.choicePoints : 1);
}

// Per strip: choice points, milliseconds per choice point, the exponent of
// its growth from the previous K, peak MiB, and the same for the twin.
void printStrips(const char* argv0) {
  std::string self = argv0, twin = benchTwinPath(argv0, "bench_placement_gecode");
  std::printf("%4s %6s %10s %6s %8s | %6s %10s %6s %8s %9s\n", "K", "cps", "ms/cp", "exp", "MiB",
              "gecode", "ms/cp", "exp", "MiB", "ratio");
  double last = 0, lastTwin = 0;
  int lastK = 0;
  for (int k : placementbench::stripSizes()) {
    BenchFigures f, g;
    long kib = 0, twinKib = 0;
    if (!runStripChild(self, k, f, kib)) {
      std::printf("%4d failed\n", k);
      continue;
    }
    bool hasTwin = runStripChild(twin, k, g, twinKib);
    double t = perChoicePoint(f), tg = perChoicePoint(g);
    double growth = lastK ? std::log(t / last) / std::log(double(k) / lastK) : 0;
    std::printf("%4d %6" PRId64 " %10.4f %6.2f %8.1f", k, f.choicePoints, 1000 * t, growth,
                kib / 1024.0);
    if (hasTwin) {
      double twinGrowth = lastK ? std::log(tg / lastTwin) / std::log(double(k) / lastK) : 0;
      std::printf(" | %6" PRId64 " %10.4f %6.2f %8.1f %9.2f", g.choicePoints, 1000 * tg, twinGrowth,
                  twinKib / 1024.0, f.seconds / (g.seconds > 0 ? g.seconds : 1e-6));
    }
    std::printf("\n");
    std::fflush(stdout);
    last = t;
    lastTwin = tg;
    lastK = k;
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<placementbench::Instance> all = placementbench::instances();
  if (argc == 3 && std::string(argv[1]) == "strip") {
    BenchFigures f = run(placementbench::strip(std::atoi(argv[2])), 0, 0);
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%" PRId64 " %" PRId64 " %" PRId64 " %.6f %ld\n", f.solutions, f.choicePoints,
                f.fails, f.seconds, static_cast<long>(usage.ru_maxrss));
    return 0;
  }
  if (argc == 4) {
    benchPrintLine(
        run(all[static_cast<size_t>(std::atoi(argv[1]))], std::atoi(argv[2]), std::atoi(argv[3])));
    return 0;
  }
  std::string path = benchTwinPath(argv[0], "bench_placement_gecode");
  std::vector<BenchFigures> twins(all.size());
  std::vector<bool> hasTwin(all.size());
  for (size_t k = 0; k < all.size(); ++k)
    hasTwin[k] = benchRunTwin(path, std::to_string(k), twins[k]);
  BenchRatioMean mean;
  const int levels[][2] = {{0, 0}, {0, 1}, {1, 0}, {2, 0}, {1, 1}, {1, 2}};
  for (const auto& l : levels)
    for (size_t k = 0; k < all.size(); ++k) {
      BenchFigures f = run(all[k], l[0], l[1]);
      std::printf("%-22s box level %d not-overlap level %d: %4" PRId64 " solutions, %9" PRId64
                  " choice points, "
                  "%9" PRId64 " fails, %7.3f s",
                  all[k].name, l[0], l[1], f.solutions, f.choicePoints, f.fails, f.seconds);
      if (hasTwin[k])
        std::printf("  | gecode %9" PRId64 " choice points, %7.3f s, ratio %.2f",
                    twins[k].choicePoints, twins[k].seconds, mean.add(f.seconds, twins[k].seconds));
      std::printf("\n");
      std::fflush(stdout);
    }
  mean.print("gecode nooverlap");
  printStrips(argv[0]);
  return 0;
}
