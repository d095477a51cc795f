// Constraints posted over expression nodes that become variables afterwards:
// the constraint must still hear each node's own changes, which the link
// between the node and its operands makes. Every shape is checked against
// brute force once for each way a node becomes a variable.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "int_fixtures.h"
#include "qrcelement.h"
#include "qrcgoal.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcsearch.h"
#include "support/harness.h"

namespace inttest {
namespace {

typedef std::vector<int64_t> A;

// How a node becomes a variable once the constraint watches it.
enum class Path { IntVar, ArraySet, Element };
const Path Paths[] = {Path::IntVar, Path::ArraySet, Path::Element};

const char* pathName(Path p) {
  switch (p) {
    case Path::IntVar:
      return "QrcIntVar(e)";
    case Path::ArraySet:
      return "QrcIntVarArray::set";
    default:
      return "QrcElementEq(e, identity, e)";
  }
}

// Largest value of any node below: the element path's identity array covers it.
const QrcInt MaxNode = 10;

void convert(QrcManagerI* m, const QrcIntExp& e, Path p) {
  QrcManager mgr(m);
  if (p == Path::IntVar) {
    QrcIntVar v(e);
  } else if (p == Path::ArraySet) {
    QrcIntVarArray a(mgr, 1);
    a.set(0, e);
  } else {
    // Over more than six values of a compact span, the element makes both
    // of its expressions variables; y = a[y] over the identity holds on
    // every value of the node.
    std::vector<QrcInt> id;
    for (QrcInt i = 0; i <= MaxNode; ++i) id.push_back(i);
    m->add(QrcElementEq(e, QrcIntArray(mgr, MaxNode + 1, id.data()), e).getImpl());
  }
}

// A constraint over nodes of the variables, and the nodes made variables
// after it is posted.
struct Shape {
  const char* name;
  std::vector<A> values;
  std::function<QrcConstraint(const std::vector<QrcIntExp>&, std::vector<QrcIntExp>&)> build;
  std::function<bool(const A&)> check;
  // The constraint is of a class of the test's own.
  bool callersCode = false;
};

const QrcInt Table[] = {3, 0, 5, 1};

enum Event { Value, Range, Domain };

// w follows e as the given event of e tells: to e's value, within e's
// bounds, within e's domain.
class FollowCt : public QrcConstraintI {
 public:
  FollowCt(QrcManagerI* m, QrcIntExpI* e, QrcIntExpI* w, int event)
      : QrcConstraintI(m), _e(e), _w(w), _event(event) {}
  void post() override {
    if (_event == Value)
      _e->whenValue(this);
    else if (_event == Range)
      _e->whenRange(this);
    else
      _e->whenDomain(this);
  }
  void propagate() override {
    if (_event == Value) {
      if (_e->isBound()) _w->setValue(_e->getValue());
      return;
    }
    _w->setRange(_e->getMin(), _e->getMax());
    if (_event == Domain)
      for (QrcInt v = _w->getMin(); v <= _w->getMax(); ++v)
        if (!_e->isInDomain(v)) _w->removeValue(v);
  }

 private:
  QrcIntExpI* _e;
  QrcIntExpI* _w;
  int _event;
};

std::vector<Shape> shapes() {
  std::vector<Shape> s;
  // Range events through a sum of two nodes.
  s.push_back({"a[u] + u*u + w <= 8",
               {qrotest::range(0, 5), qrotest::range(0, 3)},
               [](const std::vector<QrcIntExp>& x, std::vector<QrcIntExp>& nodes) {
                 QrcIntArray a(QrcManager(x[0].getManager()), 4, Table);
                 QrcIntExp au = a[x[1]], uu = x[1] * x[1];
                 nodes = {au, uu};
                 return au + uu + x[0] <= 8;
               },
               [](const A& a) { return Table[a[1]] + a[1] * a[1] + a[0] <= 8; }});
  // One node held twice: one conversion is enough.
  s.push_back({"s + (s + w) >= 8, s = u*u",
               {qrotest::range(0, 5), qrotest::range(0, 3)},
               [](const std::vector<QrcIntExp>& x, std::vector<QrcIntExp>& nodes) {
                 QrcIntExp sq = x[1] * x[1];
                 nodes = {sq};
                 return sq + (sq + x[0]) >= 8;
               },
               [](const A& a) { return 2 * a[1] * a[1] + a[0] >= 8; }});
  // A user constraint that hears one event of the node only.
  for (int event : {Value, Range, Domain}) {
    s.push_back({event == Value   ? "w = u*u, on u*u's value"
                 : event == Range ? "w = u*u, on u*u's range"
                                  : "w = u*u, on u*u's domain",
                 {{0, 1, 4, 9}, qrotest::range(-3, 3)},
                 [event](const std::vector<QrcIntExp>& x, std::vector<QrcIntExp>& nodes) {
                   QrcIntExp sq = x[1] * x[1];
                   nodes = {sq};
                   QrcManagerI* m = x[0].getManager();
                   return QrcConstraint(new (m) FollowCt(m, sq.getImpl(), x[0].getImpl(), event));
                 },
                 [](const A& a) { return a[0] == a[1] * a[1]; },
                 true});
  }
  // Value events through a binary node.
  s.push_back({"u*v != w",
               {qrotest::range(0, 3), qrotest::range(1, 3), qrotest::range(0, 6)},
               [](const std::vector<QrcIntExp>& x, std::vector<QrcIntExp>& nodes) {
                 QrcIntExp p = x[0] * x[1];
                 nodes = {p};
                 return p != x[2];
               },
               [](const A& a) { return a[0] * a[1] != a[2]; }});
  // Domain events.
  s.push_back({"|u| == w",
               {qrotest::range(-3, 3), {0, 2, 3}},
               [](const std::vector<QrcIntExp>& x, std::vector<QrcIntExp>& nodes) {
                 QrcIntExp d = QrcAbs(x[0]);
                 nodes = {d};
                 return d == x[1];
               },
               [](const A& a) { return std::abs(a[0]) == a[1]; }});
  return s;
}

qrotest::PropCase caseOf(const Shape& shape, Path path) {
  qrotest::PropCase c;
  c.name = std::string(shape.name) + " then " + pathName(path);
  c.values = shape.values;
  auto build = shape.build;
  c.post = [build, path](QrcManagerI* m, const qrotest::Vars& v) {
    std::vector<QrcIntExp> x;
    for (size_t i = 0; i < v.size(); ++i) x.push_back(QrcIntExp(v[i]));
    std::vector<QrcIntExp> nodes;
    m->add(build(x, nodes).getImpl());
    for (const QrcIntExp& e : nodes) convert(m, e, path);
  };
  c.check = shape.check;
  c.callersCode = shape.callersCode;
  c.seed = qrotest::caseSeed(67);
  return c;
}

TEST(ConvertedNodes, ConstraintsPostedBeforeAConversionAgreeWithBruteForce) {
  for (const Shape& shape : shapes())
    for (Path path : Paths) EXPECT_EQ(qrotest::runPropCase(caseOf(shape, path)), 0);
}

// A conversion made inside a choice point goes with it: the node, a node
// again, hands its demons to the operands only, and a later conversion
// carries them once more.
TEST_F(IntTest, ConversionUndoneOnBacktrackLeavesTheDemonsToTheNextOne) {
  QrcIntVar u(mgr, 0, 3), w(mgr, 0, 5);
  QrcIntExp s = QrcIntExp(u) * QrcIntExp(u);
  mgr.add(s + (s + QrcIntExp(w)) >= 8);
  for (int round = 0; round < 2; ++round) {
    m->pushState();
    QrcIntVar sv(s);
    EXPECT_GE(sv.getImpl()->getEventHandler()->getNbDemons(), 1);
    // 2 * 1 + w >= 8 has no solution: the link narrows s after the
    // constraint heard u.
    bool failed = false;
    try {
      u.setValue(1);
    } catch (const QrcFailException&) {
      failed = true;
    }
    EXPECT_TRUE(failed) << round;
    m->popState();
    EXPECT_FALSE(s.getImpl()->isVariable());
  }
}

// A demon removed from the node before the conversion stays removed; one
// still attached hears the node's own changes.
TEST_F(IntTest, ConversionCarriesOnlyTheDemonsStillAttached) {
  QrcIntVar u(mgr, 0, 3);
  QrcIntExp s = QrcIntExp(u) * QrcIntExp(u);
  TextDemon* gone = new (m) TextDemon(m, "gone");
  TextDemon* kept = new (m) TextDemon(m, "kept");
  s.getImpl()->whenRange(gone);
  s.getImpl()->whenRange(kept);
  s.getImpl()->removeWhen(gone);
  QrcIntVar sv(s);
  log().clear();
  sv.setMax(3);
  // Heard from the variable and from u, which the link narrows.
  EXPECT_EQ(log(), "kept kept ");
  EXPECT_EQ(u.getMax(), 1);
}

// The node a minimisation makes a variable keeps the constraint on it.
TEST_F(IntTest, ObjectiveNodeKeepsTheConstraintsOnIt) {
  QrcIntVar w(mgr, 0, 5), u(mgr, 0, 3);
  QrcIntExp s = QrcIntExp(u) * QrcIntExp(u);
  mgr.add(s + (s + QrcIntExp(w)) >= 8);
  s.getImpl()->setObjMin(1, 0);
  QrcIntVarArray vars(mgr, 2);
  vars.set(0, w);
  vars.set(1, u);
  QrcSearch search(mgr, QrcGoal(new (m) LabelArray(m, vars.getImpl())));
  QrcInt last = -1;
  while (search.next()) {
    QrcInt wv = w.getValue(), uv = u.getValue();
    EXPECT_GE(2 * uv * uv + wv, 8) << wv << " " << uv;
    last = uv * uv;
  }
  search.end();
  // w = 5 and u = 2 (s = 4) is the least: u = 1 needs w >= 6.
  EXPECT_EQ(last, 4);
}

}  // namespace
}  // namespace inttest
