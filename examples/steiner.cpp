// A Steiner triple system of order 7 with set variables in the search engine:
// seven triples of the points 1..7 such that every pair of points lies in
// exactly one triple. Each triple is a set variable of three points, and two
// triples share at most one point (seven triples hold 21 pairs, all the pairs
// there are, so each pair then lies in exactly one). The triples are listed
// in increasing order of a key that no two triples share, so that each
// system is found once: the program counts them, checks the count (30)
// against a plain count and checks the first system pair by pair.
#include <iostream>

#include "qro.h"
#include "qroext.h"

namespace {

const int Points = 7;
const int Triples = 7;

// 2^v for the point v: summed over a triple, a key of the triple alone.
class PowerOfTwo : public QrcIntToIntFunctionI {
 public:
  QrcInt getValue(QrcInt v) override { return QrcInt(1) << v; }
};

// The number of ways to complete a system whose covered pairs are marked,
// choosing each time the triple of the first uncovered pair.
int countSystems(bool covered[Points + 1][Points + 1]) {
  int a = 1, b = 2;
  while (a < Points && covered[a][b])
    if (++b > Points) b = ++a + 1;
  if (a == Points) return 1;
  int count = 0;
  for (int c = b + 1; c <= Points; ++c) {
    if (covered[a][c] || covered[b][c]) continue;
    covered[a][b] = covered[a][c] = covered[b][c] = true;
    count += countSystems(covered);
    covered[a][b] = covered[a][c] = covered[b][c] = false;
  }
  return count;
}

}  // namespace

int main() {
  PowerOfTwo power;  // read by the keys: it outlives the manager
  QrcManager manager(QrcNoEdit);
  // A set variable over 1..7 may hold any of those points; its cardinality
  // is an integer variable of its own.
  QrcIntSetVarArray triple(manager, Triples);
  for (int i = 0; i < Triples; ++i) {
    triple.set(i, QrcIntSetVar(manager, 1, Points));
    manager.add(QrcIntVar(triple[i].getImpl()->getCardinality()) == 3);
  }
  // common == triple[i] intersect triple[j], with at most one point.
  for (int i = 0; i < Triples; ++i)
    for (int j = i + 1; j < Triples; ++j) {
      QrcIntSetVar common(manager, 1, Points);
      manager.add(QrcEqIntersection(common, triple[i], triple[j]));
      manager.add(QrcIntVar(common.getImpl()->getCardinality()) <= 1);
    }
  // Keys in increasing order: each system once, its triples in one order.
  for (int i = 0; i + 1 < Triples; ++i)
    manager.add(QrcSum(triple[i], &power) < QrcSum(triple[i + 1], &power));

  // The goal decides each set in turn, point by point: in first, else out.
  QrcSearch search(manager, QrcGenerate(triple));
  int systems = 0;
  bool first[Triples][Points + 1] = {};
  while (search.next()) {
    if (++systems > 1) continue;
    for (int i = 0; i < Triples; ++i) {
      // Bound at a solution: the required points are the triple's points.
      std::cout << triple[i] << std::endl;  // [ 1 2 3] ([3])
      QrcIntSetVarI* t = triple[i].getImpl();
      for (int v = 1; v <= Points; ++v) first[i][v] = t->isRequired(v);
    }
  }
  search.end();
  manager.end();
  std::cout << systems << " systems" << std::endl;

  // Every triple of the first system holds three points, and every pair of
  // points lies in exactly one triple.
  bool ok = systems > 0;
  for (int i = 0; i < Triples; ++i) {
    int size = 0;
    for (int v = 1; v <= Points; ++v) size += first[i][v];
    ok = ok && size == 3;
  }
  for (int a = 1; a <= Points; ++a)
    for (int b = a + 1; b <= Points; ++b) {
      int holding = 0;
      for (int i = 0; i < Triples; ++i) holding += first[i][a] && first[i][b];
      ok = ok && holding == 1;
    }
  bool covered[Points + 1][Points + 1] = {};
  const int expected = countSystems(covered);
  if (!ok || systems != expected) {
    std::cerr << "wrong answer: " << expected << " systems" << std::endl;
    return 1;
  }
  return 0;
}
