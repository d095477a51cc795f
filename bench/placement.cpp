// Square packing with boxes and the not-overlap constraint: the squares 1..9
// in 17 x 17 and 18 x 18 (first solution) and every tiling of the 33 x 32
// rectangle by the squares 18, 15, 14, 10, 9, 8, 7, 4 and 1. Labels x then y
// of each square, largest square first, smallest value first (x = v, else
// x != v). Prints solutions, choice points, fails and time for each pair of
// box level (interval-graph rules) and not-overlap level.
#include <cstdio>
#include <vector>

#include "qro.h"
#include "qroext.h"

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

void run(const char* name, QroInt w, QroInt h, const std::vector<QroInt>& squares, bool all,
         int boxLevel, int notOverlapLevel) {
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  QroInt size[2] = {w, h};
  QrcBoxI* c = QrcBox(2, QrcIntVarArray(mgr, 2, 0, 0), QrcIntArray(mgr, 2, size)).getImpl();
  c->setFilterLevel(boxLevel);
  QrcConstraintI* no = c->getNotOverlapConstraint();
  no->setFilterLevel(notOverlapLevel);
  m->add(no);
  QrcInt n = static_cast<QrcInt>(squares.size());
  QrcIntExpI** vars = static_cast<QrcIntExpI**>(m->allocate(sizeof(QrcIntExpI*) * 2 * n));
  for (QrcInt i = 0; i < n; ++i) {
    QroInt s = squares[static_cast<size_t>(i)];
    QroInt sides[2] = {s, s};
    QrcIntVarArray o(mgr, 2);
    o.set(0, QrcIntVar(mgr, 0, w - s));
    o.set(1, QrcIntVar(mgr, 0, h - s));
    vars[2 * i] = o[0].getImpl();
    vars[2 * i + 1] = o[1].getImpl();
    QrcBoxI* b = QrcBox(2, o, QrcIntArray(mgr, 2, sides)).getImpl();
    m->add(c->makeContainmentConstraint(b));
  }
  double t0 = cpuTime();
  QrcSearch s(mgr, QrcGoal(new (m) Label(m, vars, 2 * n)));
  long solutions = 0;
  while (s.next()) {
    ++solutions;
    if (!all) break;
  }
  s.end();
  double t1 = cpuTime();
  std::printf(
      "%-22s box level %d not-overlap level %d: %4ld solutions, %9lld choice points, "
      "%9lld fails, %.3f s\n",
      name, boxLevel, notOverlapLevel, solutions, static_cast<long long>(m->getChoicePointCount()),
      static_cast<long long>(m->getFails()), t1 - t0);
  mgr.end();
}

}  // namespace

int main() {
  const std::vector<QroInt> nine = {9, 8, 7, 6, 5, 4, 3, 2, 1};
  const std::vector<QroInt> tiling = {18, 15, 14, 10, 9, 8, 7, 4, 1};
  const int levels[][2] = {{0, 0}, {1, 0}, {2, 0}, {1, 1}, {1, 2}};
  for (const auto& l : levels) {
    run("squares 1..9 in 17x17", 17, 17, nine, false, l[0], l[1]);
    run("squares 1..9 in 18x18", 18, 18, nine, false, l[0], l[1]);
    run("tilings of 33x32", 33, 32, tiling, true, l[0], l[1]);
  }
  return 0;
}
