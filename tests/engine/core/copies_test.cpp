// A constraint copied into another manager owns its constant data: the first
// manager ends before the copy is solved, and the copy finds the solutions of
// the same model built directly in a fresh manager. Each row builds its
// variables and constraint over constants (arrays, sets, accessors, sparse
// domains) allocated on the manager it is given.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "constraints/set/setfunction_tables.h"
#include "qrcabstraction.h"
#include "qrcaccessor.h"
#include "qrcdistribute.h"
#include "qrcelement.h"
#include "qrcfail.h"
#include "qrcfloatcompare.h"
#include "qrcfloatexp.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintgoals.h"
#include "qrcintsetcst.h"
#include "qrcintsetvar.h"
#include "qrcmanager.h"
#include "qrcmember.h"
#include "qrcpath.h"
#include "qrcsearch.h"
#include "qrcsequence.h"
#include "qrcsetcomposition.h"
#include "qrcsetfunctions.h"

namespace {

using settest::ExpTable;
using settest::IntTable;
using settest::SetTable;

struct Model {
  QrcManagerI* m = nullptr;
  std::vector<QrcIntExpI*> ints;
  std::vector<QrcIntSetVarI*> sets;

  QrcManager mgr() const { return QrcManager(m); }
  QrcIntVarArray intArray(size_t first, size_t n) const {
    QrcIntVarArray a(mgr(), static_cast<QrcInt>(n));
    for (size_t i = 0; i < n; ++i) a.set(static_cast<QrcInt>(i), QrcIntExp(ints[first + i]));
    return a;
  }
  QrcIntSetVarArray setArray(size_t first, size_t n) const {
    QrcExprI** storage = static_cast<QrcExprI**>(m->allocate((n + 1) * sizeof(QrcExprI*)));
    for (size_t i = 0; i < n; ++i) storage[i] = sets[first + i];
    return QrcIntSetVarArray(new (m) QrcIntSetVarArrayI(m, static_cast<QrcInt>(n), storage));
  }
  QrcIntVar intVar(QrcInt lo, QrcInt hi) {
    QrcIntVar x(mgr(), lo, hi);
    ints.push_back(x.getImpl());
    return x;
  }
  QrcIntVar intVar(const std::vector<QrcInt>& values) {
    QrcIntVar x(mgr(), array(values));
    ints.push_back(x.getImpl());
    return x;
  }
  QrcIntSetVar setVar(QrcInt lo, QrcInt hi) {
    QrcIntSetVar s(mgr(), lo, hi);
    sets.push_back(s.getImpl());
    return s;
  }
  QrcIntSetVar setVar(const std::vector<QrcInt>& universe) {
    QrcIntSetVar s(mgr(), array(universe));
    sets.push_back(s.getImpl());
    return s;
  }
  QrcIntArray array(const std::vector<QrcInt>& values) const {
    return QrcIntArray(mgr(), static_cast<QrcInt>(values.size()), values.data());
  }
  QrcIntSet set(const std::vector<QrcInt>& values) const { return QrcIntSet(array(values), 1); }
};

typedef std::function<QrcConstraint(Model&)> Build;

struct Row {
  const char* name;
  Build build;
};

QrcConstraint opposite(const QrcConstraint& ct) {
  return ct.getOpposite();
}

const std::vector<Row>& rows() {
  static const std::vector<Row> table = {
      {"value abstraction",
       [](Model& d) {
         d.intVar(0, 4), d.intVar(0, 4), d.intVar(-1, 4), d.intVar(-1, 4);
         return QrcEqAbstraction(d.intArray(2, 2), d.intArray(0, 2), d.array({1, 3}), -1);
       }},
      {"test abstraction",
       [](Model& d) {
         d.intVar(0, 4), d.intVar(0, 4), d.intVar(0, 1), d.intVar(0, 1);
         return QrcEqIntAbstraction(d.intArray(2, 2), d.intArray(0, 2), d.array({0, 2, 4}));
       }},
      {"distribute",
       [](Model& d) {
         for (int i = 0; i < 3; ++i) d.intVar(0, 3);
         d.intVar(0, 2), d.intVar(1, 3);
         return QrcDistribute(d.intArray(3, 2), d.array({1, 3}), d.intArray(0, 3));
       }},
      {"distribute, extended",
       [](Model& d) {
         for (int i = 0; i < 3; ++i) d.intVar(0, 3);
         d.intVar(0, 2), d.intVar(0, 3);
         return QrcDistribute(d.intArray(3, 2), d.array({3, 0}), d.intArray(0, 3), 3);
       }},
      {"sequence",
       [](Model& d) {
         for (int i = 0; i < 4; ++i) d.intVar(0, 2);
         d.intVar(0, 3), d.intVar(1, 2);
         return QrcSequence(1, 2, 2, d.intArray(0, 4), d.array({1, 2}), d.intArray(4, 2));
       }},
      {"member of an array",
       [](Model& d) {
         return QrcMember(d.intVar(0, 6), d.array({1, 3, 5}));
       }},
      {"element",
       [](Model& d) {
         QrcIntVar x = d.intVar(-1, 4), y = d.intVar(0, 9);
         return QrcElementEq(y, d.array({4, 2, 9, 2}), x);
       }},
      {"sparse domains",
       [](Model& d) {
         QrcIntVar x = d.intVar({-500, 0, 3, 900}), y = d.intVar({-500, 3, 7, 900});
         QrcIntSetVar s = d.setVar({0, 200, 400});
         return (x == y) && QrcMember(x + 197, s);
       }},
      {"float values",
       [](Model& d) {
         QrcFloatArray values(d.mgr(), 4);
         const QrcFloat held[] = {0, 1, 2.5, 3};
         for (QrcInt i = 0; i < 4; ++i) values[i] = held[i];
         QrcFloatVar f(d.mgr(), values);
         return QrcFloatExp(f) == QrcFloatExp(QrcFloatVar(d.intVar(0, 3).getImpl()));
       }},
      {"path without transit",
       [](Model& d) {
         for (int i = 0; i < 4; ++i) d.intVar(0, 3);
         QrcFloatVarArray y(d.mgr(), 4);
         for (QrcInt i = 0; i < 4; ++i) y.set(i, QrcFloatVar(d.intVar(0, 2).getImpl()));
         return QrcPath(d.intArray(0, 4), y, nullptr, 1, 2);
       }},
      {"set equals constant",
       [](Model& d) {
         return d.setVar(0, 3) == d.set({1, 2});
       }},
      {"set differs from constant",
       [](Model& d) {
         return d.setVar(0, 3) != d.set({0, 3});
       }},
      {"constant subset of set", [](Model& d) { return QrcSubsetEq(d.set({1}), d.setVar(0, 3)); }},
      {"set subset of constant",
       [](Model& d) {
         return QrcSubsetEq(d.setVar(0, 3), d.set({0, 2}));
       }},
      {"constant not subset of set",
       [](Model& d) {
         return opposite(QrcSubsetEq(d.set({1, 2}), d.setVar(0, 3)));
       }},
      {"set not subset of constant",
       [](Model& d) {
         return opposite(QrcSubsetEq(d.setVar(0, 3), d.set({0, 2})));
       }},
      {"disjoint from constant",
       [](Model& d) {
         return QrcNullIntersect(d.setVar(0, 3), d.set({1, 3}));
       }},
      {"overlaps constant",
       [](Model& d) {
         return opposite(QrcNullIntersect(d.setVar(0, 3), d.set({1, 3})));
       }},
      {"partition of a universe",
       [](Model& d) {
         d.setVar(0, 3), d.setVar(0, 4);
         return QrcPartition(d.setArray(0, 2), d.array({3, 0, 1}));
       }},
      {"max of constants over a set",
       [](Model& d) {
         QrcIntSetVar s = d.setVar(0, 3);
         QrcIntVar y = d.intVar(-2, 5);
         return QrcMax(s, new (d.m) IntTable(d.m, 0, {4, -2, 1, 5})) == y;
       }},
      {"min of constants over a set",
       [](Model& d) {
         QrcIntSetVar s = d.setVar(1, 3);
         QrcIntVar y = d.intVar(-2, 5);
         return QrcMin(s, new (d.m) IntTable(d.m, 1, {3, -2, 1})) == y;
       }},
      {"sum of constants over a set",
       [](Model& d) {
         QrcIntSetVar s = d.setVar(0, 3);
         QrcIntVar y = d.intVar(0, 6);
         return QrcSum(s, new (d.m) IntTable(d.m, 0, {2, -1, 3, 1})) == y;
       }},
      {"sum of constants over a sparse set",
       [](Model& d) {
         QrcIntSetVar s = d.setVar({0, 200, 400});
         QrcIntVar y = d.intVar(-3, 9);
         std::vector<QrcInt> f(401, 0);
         f[0] = 4, f[200] = -3, f[400] = 5;
         return QrcSum(s, new (d.m) IntTable(d.m, 0, f)) == y;
       }},
      {"max of expressions over a set",
       [](Model& d) {
         QrcIntSetVar s = d.setVar(0, 2);
         QrcIntVar a = d.intVar(0, 2), b = d.intVar(1, 2), y = d.intVar(0, 3);
         QrcIntExpI* c = QrcIntExp(d.mgr(), 2).getImpl();
         return QrcMax(s, new (d.m) ExpTable(d.m, 0, {a.getImpl(), b.getImpl(), c})) == y;
       }},
      {"sum of expressions over a set",
       [](Model& d) {
         QrcIntSetVar s = d.setVar(0, 1);
         QrcIntVar a = d.intVar(-1, 1), b = d.intVar(0, 2), y = d.intVar(0, 2);
         return QrcSum(s, new (d.m) ExpTable(d.m, 0, {a.getImpl(), b.getImpl()})) == y;
       }},
      {"union of constants over a set",
       [](Model& d) {
         QrcIntSetVar u = d.setVar(0, 3), s = d.setVar(0, 3);
         QrcIntToIntFunctionI* f = new (d.m) IntTable(d.m, 0, {2, 0, 2, 3});
         QrcIntAccessorI* a =
             new (d.m) QrcIntFunctionAccessorI(s.getImpl()->makeAccessorDomain(), f);
         return QrcUnionOverSetCt(u, s, QrcIntAccessor(a));
       }},
      {"union of sets over a set",
       [](Model& d) {
         QrcIntSetVar u = d.setVar(0, 2), s = d.setVar(0, 1), a = d.setVar(0, 1),
                      b = d.setVar(1, 2);
         QrcIntToIntSetVarFunctionI* f = new (d.m) SetTable(d.m, 0, {a.getImpl(), b.getImpl()});
         return QrcUnionOverSetCt(u, s, QrcIntToIntSetVarFunction(f));
       }},
  };
  return table;
}

// Every solution, each variable's value (a set's members) in order.
std::vector<std::string> solutions(QrcManagerI* m, const std::vector<QrcIntExpI*>& ints,
                                   const std::vector<QrcIntSetVarI*>& sets) {
  QrcIntVarArray xs(new (m) QrcIntVarArrayI(m, static_cast<QrcInt>(ints.size())));
  for (size_t i = 0; i < ints.size(); ++i) xs.set(static_cast<QrcInt>(i), QrcIntExp(ints[i]));
  QrcExprI** storage = static_cast<QrcExprI**>(m->allocate((sets.size() + 1) * sizeof(QrcExprI*)));
  for (size_t i = 0; i < sets.size(); ++i) storage[i] = sets[i];
  QrcIntSetVarArray ss(new (m) QrcIntSetVarArrayI(m, static_cast<QrcInt>(sets.size()), storage));
  QrcGoal g = QrcAnd(QrcGenerate(xs), QrcGenerate(ss));
  std::vector<std::string> found;
  QrcSearch search(QrcManager(m), g);
  while (search.next() && found.size() < 1000) {
    std::string text;
    for (QrcIntExpI* x : ints) text += std::to_string(x->getValue()) + " ";
    for (QrcIntSetVarI* s : sets) {
      text += "{";
      QrcIntSetIterator it(s->getRequired());
      for (QrcInt v; it.next(v);) text += " " + std::to_string(v);
      text += " } ";
    }
    found.push_back(text);
  }
  search.end();
  return found;
}

// Adds the constraint, then solves; a failing addition has no solutions.
std::vector<std::string> solve(QrcManagerI* m, QrcConstraintI* ct,
                               const std::vector<QrcIntExpI*>& ints,
                               const std::vector<QrcIntSetVarI*>& sets) {
  try {
    m->add(ct);
  } catch (const QrcFailException&) {
    return {};
  }
  return solutions(m, ints, sets);
}

class CopyOwnership : public ::testing::TestWithParam<size_t> {};

TEST_P(CopyOwnership, CopyOutlivesTheFirstManager) {
  const Row& row = rows()[GetParam()];
  QrcManager direct(QrcNoEdit);
  direct.useExceptions();
  Model d;
  d.m = direct.getImpl();
  QrcConstraint built = row.build(d);
  std::vector<std::string> expected = solve(d.m, built.getImpl(), d.ints, d.sets);
  direct.end();
  EXPECT_FALSE(expected.empty());

  QrcManager first(QrcNoEdit), second(QrcNoEdit);
  first.useExceptions();
  second.useExceptions();
  Model o;
  o.m = first.getImpl();
  QrcConstraint original = row.build(o);
  QrcManagerI* t = second.getImpl();
  bool opened = QrcOpenCopy(t);
  QrcConstraintI* copy = original.getImpl()->getCopyForManager(t);
  std::vector<QrcIntExpI*> ints;
  std::vector<QrcIntSetVarI*> sets;
  for (QrcIntExpI* x : o.ints) ints.push_back(static_cast<QrcIntExpI*>(x->getCopyForManager(t)));
  for (QrcIntSetVarI* s : o.sets)
    sets.push_back(static_cast<QrcIntSetVarI*>(s->getCopyForManager(t)));
  QrcCloseCopy(t, opened);
  first.end();
  EXPECT_EQ(solve(t, copy, ints, sets), expected);
  second.end();
}

std::string rowName(const ::testing::TestParamInfo<size_t>& info) {
  std::string name;
  for (const char* c = rows()[info.param].name; *c; ++c)
    if (std::isalnum(static_cast<unsigned char>(*c)))
      name += name.empty() || name.back() == '_' ? static_cast<char>(std::toupper(*c)) : *c;
    else if (!name.empty() && name.back() != '_')
      name += '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Families, CopyOwnership, ::testing::Range(size_t(0), rows().size()),
                         rowName);

}  // namespace
