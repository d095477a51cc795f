// Element constraints and expressions whose index (or value) is itself an
// element that may leave its array, as in a[b[z]]: where b[z] has no value,
// a[b[z]] has none either, the element constraint is false and its opposite
// true; the index's own index is never forced into b by the positive form's
// posting alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "qrcelement.h"
#include "qrcfail.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcsearch.h"
#include "constraint_fixtures.h"
#include "support/harness.h"

namespace {

using qrotest::PropCase;
using qrotest::Vars;
typedef std::vector<int64_t> V;

using ctest::arrayOn;

// a[i], when i lies inside a.
bool at(const V& a, int64_t i, int64_t& v) {
  if (i < 0 || i >= static_cast<int64_t>(a.size())) return false;
  v = a[static_cast<size_t>(i)];
  return true;
}

// Variables: 0 the value y, 1 the inner index z, 2 a second index w.
QrcIntExp y(const Vars& v) {
  return QrcIntExp(v[0]);
}
QrcIntExp z(const Vars& v) {
  return QrcIntExp(v[1]);
}
QrcIntExp w(const Vars& v) {
  return QrcIntExp(v[2]);
}

struct Arrays {
  V a, b;
};

// A constraint over a, b and the variables, and its meaning.
struct Form {
  const char* name;
  std::function<QrcConstraint(QrcManagerI*, const Vars&, const Arrays&)> make;
  std::function<bool(const Arrays&, const V&)> holds;
};

// b[z] as the index of a: a[b[z]] at s.
bool nested(const Arrays& d, const V& s, int64_t& e) {
  int64_t i;
  return at(d.b, s[1], i) && at(d.a, i, e);
}

QrcIntExp bz(QrcManagerI* m, const Vars& v, const Arrays& d) {
  return arrayOn(m, d.b)[z(v)];
}

QrcIntVarArray varsOf(QrcManagerI* m, const V& a) {
  QrcIntVarArray vars(QrcManager(m), static_cast<QrcInt>(a.size()));
  for (size_t i = 0; i < a.size(); ++i)
    vars.set(static_cast<QrcInt>(i), QrcIntExp(QrcManager(m), a[i]));
  return vars;
}

const std::vector<Form>& forms() {
  static const std::vector<Form> all = {
      {"QrcElementEq(y, a, b[z])",
       [](QrcManagerI* m, const Vars& v, const Arrays& d) {
         return QrcElementEq(y(v), arrayOn(m, d.a), bz(m, v, d));
       },
       [](const Arrays& d, const V& s) {
         int64_t e;
         return nested(d, s, e) && e == s[0];
       }},
      {"QrcElementNEq(y, a, b[z])",
       [](QrcManagerI* m, const Vars& v, const Arrays& d) {
         return QrcElementNEq(y(v), arrayOn(m, d.a), bz(m, v, d));
       },
       [](const Arrays& d, const V& s) {
         int64_t e;
         return nested(d, s, e) && e != s[0];
       }},
      {"QrcIntEltCallerCt(y, a, b[z])",
       [](QrcManagerI* m, const Vars& v, const Arrays& d) {
         return QrcIntEltCallerCt(y(v), arrayOn(m, d.a), bz(m, v, d));
       },
       [](const Arrays& d, const V& s) {
         int64_t e;
         return nested(d, s, e) && e == s[0];
       }},
      {"QrcElementEq(3, a, b[z])",
       [](QrcManagerI* m, const Vars& v, const Arrays& d) {
         return QrcElementEq(QrcIntExp(QrcManager(m), 3), arrayOn(m, d.a), bz(m, v, d));
       },
       [](const Arrays& d, const V& s) {
         int64_t e;
         return nested(d, s, e) && e == 3;
       }},
      {"QrcElementNEq(3, a, b[z])",
       [](QrcManagerI* m, const Vars& v, const Arrays& d) {
         return QrcElementNEq(QrcIntExp(QrcManager(m), 3), arrayOn(m, d.a), bz(m, v, d));
       },
       [](const Arrays& d, const V& s) {
         int64_t e;
         return nested(d, s, e) && e != 3;
       }},
      {"y == a[b[z]]",
       [](QrcManagerI* m, const Vars& v, const Arrays& d) {
         return y(v) == arrayOn(m, d.a)[bz(m, v, d)];
       },
       [](const Arrays& d, const V& s) {
         int64_t e;
         return nested(d, s, e) && e == s[0];
       }},
      {"a[b[z]] != y",
       [](QrcManagerI* m, const Vars& v, const Arrays& d) {
         return arrayOn(m, d.a)[bz(m, v, d)] != y(v);
       },
       [](const Arrays& d, const V& s) {
         int64_t e;
         return nested(d, s, e) && e != s[0];
       }},
      {"a[b[z]] + z >= y",
       [](QrcManagerI* m, const Vars& v, const Arrays& d) {
         return arrayOn(m, d.a)[bz(m, v, d)] + z(v) >= y(v);
       },
       [](const Arrays& d, const V& s) {
         int64_t e;
         return nested(d, s, e) && e + s[1] >= s[0];
       }},
      {"vars[b[z]] == y",
       [](QrcManagerI* m, const Vars& v, const Arrays& d) {
         return varsOf(m, d.a)[bz(m, v, d)] == y(v);
       },
       [](const Arrays& d, const V& s) {
         int64_t e;
         return nested(d, s, e) && e == s[0];
       }},
      // b[z] as the value.
      {"QrcElementEq(b[z], a, w)",
       [](QrcManagerI* m, const Vars& v, const Arrays& d) {
         return QrcElementEq(bz(m, v, d), arrayOn(m, d.a), w(v));
       },
       [](const Arrays& d, const V& s) {
         int64_t e, k;
         return at(d.b, s[1], k) && at(d.a, s[2], e) && e == k;
       }},
      {"QrcElementNEq(b[z], a, w)",
       [](QrcManagerI* m, const Vars& v, const Arrays& d) {
         return QrcElementNEq(bz(m, v, d), arrayOn(m, d.a), w(v));
       },
       [](const Arrays& d, const V& s) {
         int64_t e, k;
         return at(d.b, s[1], k) && at(d.a, s[2], e) && e != k;
       }},
      {"b[z] == a[w]",
       [](QrcManagerI* m, const Vars& v, const Arrays& d) {
         return bz(m, v, d) == arrayOn(m, d.a)[w(v)];
       },
       [](const Arrays& d, const V& s) {
         int64_t e, k;
         return at(d.b, s[1], k) && at(d.a, s[2], e) && e == k;
       }},
  };
  return all;
}

void runForm(const Form& f, const Arrays& d, const V& ys, uint64_t seed) {
  PropCase c;
  c.name = std::string(f.name) + " a " + ::testing::PrintToString(d.a) + " b " +
           ::testing::PrintToString(d.b);
  c.seed = seed;
  int64_t m = static_cast<int64_t>(d.b.size()), n = static_cast<int64_t>(d.a.size());
  c.values = {ys, qrotest::range(-2, m + 1), qrotest::range(-1, n)};
  auto make = f.make;
  c.make = [make, d](QrcManagerI* mgr, const Vars& v) { return make(mgr, v, d).getImpl(); };
  auto holds = f.holds;
  c.check = [holds, d](const V& s) { return holds(d, s); };
  c.narrowRuns = 15;
  const qrotest::Shape connectives[] = {qrotest::Shape::And, qrotest::Shape::Or,
                                        qrotest::Shape::Iff, qrotest::Shape::Xor};
  qrotest::Rng rng(seed + c.name.size());
  EXPECT_EQ(qrotest::runWithShapes(c, {qrotest::Shape::Opposite, qrotest::Shape::Truth,
                                       qrotest::Shape::OppositeTruth, connectives[rng() % 4]}),
            0)
      << c.name;
}

// b holds positions inside a, past its end and before its start; z leaves b
// on both sides. Arrays of each size the makers choose a class by.
TEST(ElementIndexElement, AgainstBruteForce) {
  for (int k = 0; k < 6; ++k) {
    uint64_t seed = qrotest::caseSeed(6600 + static_cast<uint64_t>(k));
    qrotest::Rng rng(seed);
    Arrays d;
    size_t n = k % 3 == 0 ? 3 : 7;
    for (size_t i = 0; i < n; ++i) d.a.push_back(static_cast<int64_t>(rng() % 5));
    if (k % 3 == 2) d.a[0] = 900;
    int64_t span = static_cast<int64_t>(n) + 2;
    for (int i = 0; i < 3; ++i) d.b.push_back(static_cast<int64_t>(rng() % span) - 1);
    V ys = k % 2 ? V{3} : V{0, 3, 4};
    for (const Form& f : forms()) runForm(f, d, ys, seed);
  }
}

// The solutions of ct, copied with the variables into a second manager
// after the first has ended (the copy of the variable standing for b[z]
// stands for the copy of b[z]).
std::vector<V> copiedSolutions(const Form& f, const Arrays& d, bool opposite,
                               const std::vector<V>& domains) {
  QrcManager first(QrcNoEdit), second(QrcNoEdit);
  first.useExceptions();
  second.useExceptions();
  QrcManagerI* m = first.getImpl();
  std::vector<QrcExprI*> vars;
  for (const V& dom : domains)
    vars.push_back(new (m) QrcIntExpI(m, static_cast<QrcInt>(dom.size()), dom.data(), nullptr));
  QrcConstraintI* ct = f.make(m, Vars(vars), d).getImpl();
  if (opposite) ct = ct->getOpposite();
  QrcManagerI* t = second.getImpl();
  bool opened = QrcOpenCopy(t);
  QrcConstraintI* copy = ct->getCopyForManager(t);
  QrcIntVarArray xs(second, static_cast<QrcInt>(vars.size()));
  for (size_t i = 0; i < vars.size(); ++i)
    xs.set(static_cast<QrcInt>(i),
           QrcIntExp(static_cast<QrcIntExpI*>(vars[i]->getCopyForManager(t))));
  QrcCloseCopy(t, opened);
  first.end();
  std::vector<V> found;
  try {
    t->add(copy);
  } catch (const QrcFailException&) {
    second.end();
    return found;
  }
  QrcSearch search(second, QrcGenerate(xs));
  while (search.next() && found.size() < 1000) {
    V s;
    for (QrcInt i = 0; i < xs.getSize(); ++i) s.push_back(xs[i].getImpl()->getValue());
    found.push_back(s);
  }
  search.end();
  second.end();
  return found;
}

TEST(ElementIndexElement, CopiesAgainstBruteForce) {
  const Arrays d = {{3, 1, 3}, {0, -1, 1}};
  const std::vector<V> domains = {{0, 1, 3}, qrotest::range(-2, 4), qrotest::range(-1, 3)};
  for (const Form& f : forms())
    for (bool opposite : {false, true}) {
      std::vector<V> expected;
      for (int64_t a : domains[0])
        for (int64_t b : domains[1])
          for (int64_t c : domains[2])
            if (f.holds(d, {a, b, c}) != opposite) expected.push_back({a, b, c});
      EXPECT_EQ(copiedSolutions(f, d, opposite, domains), expected)
          << f.name << (opposite ? " opposite" : "");
    }
}

}  // namespace

namespace {

// a[x] narrowed through its index, then made a variable: the variable's
// domain holds only the values inside the bounds the node had reached, so
// that its size, and every truth test reading it, agrees with its bounds.
struct CutCase {
  ctest::V values;
  QrcInt xlo, xhi, cap;  // x in xlo..xhi, a[x] <= cap posted first
  QrcInt size;           // values of a[x] left once it is a variable
};

const CutCase CutCases[] = {
    {{3, 3, 3, 2, 3, 2}, 3, 5, 2, 1},
    {{0, 1, 0, 2, 1}, 1, 4, 1, 2},
    {{5, 1, 4, 1, 5}, 0, 4, 4, 2},
    {{2, 2, 2}, 0, 2, 2, 1},
};

}  // namespace

TEST(ElementIndexElement, AVariableMadeAfterItsBoundsCutItsValuesCountsOnlyThoseInside) {
  for (const CutCase& k : CutCases) {
    QrcManager mgr(QrcNoEdit);
    QrcIntVar u(mgr, 0, k.xhi - k.xlo), b(mgr, 0, 1);
    QrcIntExp e = arrayOn(mgr.getImpl(), k.values)[QrcIntExp(u) + k.xlo];
    mgr.add(e <= k.cap);
    QrcIntExpI* x = e.getImpl();
    x->makeEventHandlerConstraint();
    EXPECT_EQ(x->getSize(), k.size) << "cap " << k.cap;
    EXPECT_LE(x->getMax(), k.cap);
    // Bound, it reads as bound to a reified test over it.
    mgr.add(QrcIntExp(b) == QrcIntExp(QrcIntExp(x) == x->getMax()));
    mgr.add(QrcIntExp(x) == x->getMax());
    EXPECT_EQ(x->getSize(), 1);
    EXPECT_TRUE(b.isBound());
    mgr.end();
  }
}
