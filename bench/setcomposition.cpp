// Set composition. The ordered partitions of {1..9} into three sets of three
// (9! / (3!)^3 = 1680 solutions), stated once as a partition and once as
// pairwise disjoint sets, at filter levels 0 to 3; and a triple system on 9
// points: 12 blocks of three, every two blocks sharing at most one point
// through their intersection (first solution). Prints solutions, nodes
// (choice points), fails and seconds per model and level.
#include <cstdio>

#include "figures.h"
#include "qro.h"
#include "qroext.h"

namespace {

QrcIntSetVarArray setArray(const QrcManager& mgr, int n, int lo, int hi, int size) {
  QrcIntSetVarArray sets(mgr, n);
  for (int i = 0; i < n; ++i) {
    QrcIntSetVar s(mgr, lo, hi);
    sets.getImpl()->elementAt(i) = s.getImpl();
    mgr.add(QrcIntExp(s.getImpl()->getCardinality()) == QrcInt(size));
  }
  return sets;
}

// Decides the sets up to limit solutions, calling shown at each.
BenchFigures solve(const QrcManager& mgr, const QrcIntSetVarArray& sets, long limit,
                   void (*shown)(const QrcIntSetVarArray&) = nullptr) {
  QrcManagerI* m = mgr.getImpl();
  BenchFigures f;
  double t0 = cpuTime();
  QrcSearch s(mgr, QrcGenerate(sets));
  while (f.solutions < limit && s.next()) {
    ++f.solutions;
    if (shown) shown(sets);
  }
  s.end();
  f.seconds = cpuTime() - t0;
  f.choicePoints = m->getChoicePointCount();
  f.fails = m->getFails();
  return f;
}

// A negative level: the model has none.
void report(const char* model, QrcInt level, const BenchFigures& f) {
  char at[16] = "       ";
  if (level >= 0) std::snprintf(at, sizeof at, "level %lld", static_cast<long long>(level));
  std::printf("%-22s %s %8" PRId64 " solutions, %9" PRId64 " nodes, %9" PRId64 " fails, %7.3f s\n",
              model, at, f.solutions, f.choicePoints, f.fails, f.seconds);
}

void orderedPartitions(bool partition, QrcInt level) {
  QrcManager mgr(QrcNoEdit);
  QrcIntSetVarArray sets = setArray(mgr, 3, 1, 9, 3);
  QrcConstraint ct = partition ? QrcPartition(sets) : QrcAllNullIntersect(sets);
  ct.getImpl()->setFilterLevel(level);
  mgr.add(ct);
  report(partition ? "partition" : "pairwise disjoint", level, solve(mgr, sets, 1L << 40));
  mgr.end();
}

void printBlocks(const QrcIntSetVarArray& b) {
  std::printf("  blocks:");
  for (QrcInt i = 0; i < b.getSize(); ++i) {
    QrcIntSetVarI* s = static_cast<QrcIntSetVarI*>(b.getImpl()->get(i));
    std::printf(" {");
    for (QrcInt v = s->getUniverseMin(); v <= s->getUniverseMax(); ++v)
      if (s->isRequired(v)) std::printf("%lld", static_cast<long long>(v));
    std::printf("}");
  }
  std::printf("\n");
}

void tripleSystem() {
  const int blocks = 12;
  QrcManager mgr(QrcNoEdit);
  QrcIntSetVarArray b = setArray(mgr, blocks, 1, 9, 3);
  for (int i = 0; i < blocks; ++i) {
    for (int j = i + 1; j < blocks; ++j) {
      QrcIntSetVar meet(mgr, 1, 9);
      mgr.add(QrcIntExp(meet.getImpl()->getCardinality()) <= QrcInt(1));
      mgr.add(QrcEqIntersection(meet,
                                QrcIntSetVar(static_cast<QrcIntSetVarI*>(b.getImpl()->get(i))),
                                QrcIntSetVar(static_cast<QrcIntSetVarI*>(b.getImpl()->get(j)))));
    }
  }
  report("triple system 9/12", -1, solve(mgr, b, 1, printBlocks));
  mgr.end();
}

}  // namespace

int main() {
  for (bool partition : {true, false})
    for (QrcInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level)
      orderedPartitions(partition, level);
  tripleSystem();
  return 0;
}
