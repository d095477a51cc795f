// Float constraints posted over expression nodes that become variables
// afterwards: the constraint must still hear each node's own changes, which
// the link between the node and its operands makes. The operands are views
// of integer variables, so that brute force decides exactly.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "qrcfloatarith.h"
#include "qrcfloatcompare.h"
#include "qrcfloatexp.h"
#include "qrcfloatnodes.h"
#include "qrcint.h"
#include "qrcintarith.h"
#include "support/harness.h"

namespace {

typedef std::vector<int64_t> A;

// Float expressions of the case's variables; nodes made variables after the
// constraint is posted, by QrcFloatVar(e) or, for a view of an integer
// expression, by QrcFloatVar(QrcIntExpI*).
struct Shape {
  const char* name;
  std::vector<A> values;
  std::function<QrcConstraintI*(QrcManagerI*, const std::vector<QrcIntExp>&,
                                std::vector<QrcFloatExp>&, std::vector<QrcIntExp>&)>
      build;
  std::function<bool(const A&)> check;
};

QrcFloatExp view(const QrcIntExp& x) {
  return QrcFloatExp(x);
}

// x != y as the engine builds it: value events of both sides.
QrcConstraintI* differ(QrcManagerI* m, const QrcFloatExp& x, const QrcFloatExp& y) {
  return new (m) QrcNeqFloatConstraint(x.getImpl(), y.getImpl());
}

std::vector<Shape> shapes() {
  std::vector<Shape> s;
  // The variables are labelled in order: the node's operand last, so that
  // its value event is the last news the constraint gets.
  s.push_back({"w != u + 1",
               {qrotest::range(0, 4), qrotest::range(0, 3)},
               [](QrcManagerI* m, const std::vector<QrcIntExp>& x, std::vector<QrcFloatExp>& nodes,
                  std::vector<QrcIntExp>&) {
                 QrcFloatExp e = view(x[1]) + 1.0;
                 nodes = {e};
                 return differ(m, view(x[0]), e);
               },
               [](const A& a) { return a[0] != a[1] + 1; }});
  s.push_back({"w != 2u",
               {qrotest::range(0, 6), qrotest::range(0, 3)},
               [](QrcManagerI* m, const std::vector<QrcIntExp>& x, std::vector<QrcFloatExp>& nodes,
                  std::vector<QrcIntExp>&) {
                 QrcFloatExp e = view(x[1]) * 2.0;
                 nodes = {e};
                 return differ(m, view(x[0]), e);
               },
               [](const A& a) { return a[0] != 2 * a[1]; }});
  s.push_back({"w != float(u - 1)",
               {qrotest::range(-1, 2), qrotest::range(0, 3)},
               [](QrcManagerI* m, const std::vector<QrcIntExp>& x, std::vector<QrcFloatExp>&,
                  std::vector<QrcIntExp>& ints) {
                 QrcIntExp d = x[1] - 1;
                 ints = {d};
                 return differ(m, view(x[0]), view(d));
               },
               [](const A& a) { return a[0] != a[1] - 1; }});
  // Range events, a node held twice.
  s.push_back({"s + (s + w) >= 8, s = u * u",
               {qrotest::range(0, 5), qrotest::range(0, 3)},
               [](QrcManagerI*, const std::vector<QrcIntExp>& x, std::vector<QrcFloatExp>& nodes,
                  std::vector<QrcIntExp>&) {
                 QrcFloatExp sq = view(x[1]) * view(x[1]);
                 nodes = {sq};
                 return (sq + (sq + view(x[0])) >= 8.0).getImpl();
               },
               [](const A& a) { return 2 * a[1] * a[1] + a[0] >= 8; }});
  return s;
}

TEST(ConvertedFloatNodes, ConstraintsPostedBeforeAConversionAgreeWithBruteForce) {
  for (const Shape& shape : shapes()) {
    qrotest::PropCase c;
    c.name = std::string(shape.name) + " then QrcFloatVar";
    c.values = shape.values;
    auto build = shape.build;
    c.post = [build](QrcManagerI* m, const qrotest::Vars& v) {
      std::vector<QrcIntExp> x;
      for (size_t i = 0; i < v.size(); ++i) x.push_back(QrcIntExp(v[i]));
      std::vector<QrcFloatExp> nodes;
      std::vector<QrcIntExp> ints;
      m->add(build(m, x, nodes, ints));
      for (const QrcFloatExp& e : nodes) QrcFloatVar f(e);
      for (const QrcIntExp& e : ints) QrcFloatVar f(e.getImpl());
    };
    c.check = shape.check;
    c.seed = qrotest::caseSeed(67);
    EXPECT_EQ(qrotest::runPropCase(c), 0);
  }
}

}  // namespace
