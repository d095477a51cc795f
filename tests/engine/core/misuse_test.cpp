// A caller's misuse of the engine is reported through the manager's reporter,
// with the maker's name, before anything is stored: an array element never set
// (code 39), an index past an array's end (code 29), objects of two managers
// (code 53). Each is checked with a reporter that throws (the manager in
// exceptions mode) and with the default reporter, which prints and stops.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "qro.h"
#include "qroext.h"
#include "support/reported.h"

namespace {

using qrotest::Reported;
using qrotest::ThrowingReporter;

// The regular expression that matches a text as it is.
std::string literal(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::string("[](){}.*+?^$|\\").find(c) != std::string::npos) out += '\\';
    out += c;
  }
  return out;
}

// Arrays of each kind whose element 1 is bad: never set (hole) or made in the
// other manager (foreign); the rest are fresh variables of the first manager.
struct Bad {
  QrcManager mgr, other;
  bool foreign;
  QrcIntVarArray ints(QrcInt n) const {
    QrcIntVarArray a(mgr, n);
    for (QrcInt i = 0; i < n; ++i)
      if (i != 1 || foreign) a.set(i, QrcIntVar(i == 1 ? other : mgr, 0, 3));
    return a;
  }
  QrcIntSetVarArray sets(QrcInt n) const {
    QrcIntSetVarArray a(mgr, n);
    for (QrcInt i = 0; i < n; ++i)
      if (i != 1 || foreign) a.set(i, QrcIntSetVar(i == 1 ? other : mgr, 0, 3));
    return a;
  }
  QrcFloatVarArray floats(QrcInt n) const {
    QrcFloatVarArray a(mgr, n);
    for (QrcInt i = 0; i < n; ++i)
      if (i != 1 || foreign) a.set(i, QrcFloatVar(i == 1 ? other : mgr, 0.0, 3.0));
    return a;
  }
  std::vector<QrcIntExpI*> intTable(QrcInt n) const {
    QrcIntVarArray a = ints(n);
    std::vector<QrcIntExpI*> t;
    for (QrcInt i = 0; i < n; ++i) t.push_back(a.getImpl()->getVar(i));
    return t;
  }
  std::vector<QrcFloatExpI*> floatTable(QrcInt n) const {
    QrcFloatVarArray a = floats(n);
    std::vector<QrcFloatExpI*> t;
    for (QrcInt i = 0; i < n; ++i) t.push_back(a.getImpl()->get(i));
    return t;
  }
  // Good operands on the first manager.
  QrcIntVarArray good(QrcInt n) const { return QrcIntVarArray(mgr, n, 0, 3); }
  QrcIntSetVarArray goodSets(QrcInt n) const {
    QrcIntSetVarArray a(mgr, n);
    for (QrcInt i = 0; i < n; ++i) a.set(i, QrcIntSetVar(mgr, 0, 3));
    return a;
  }
  QrcFloatVarArray goodFloats(QrcInt n) const {
    return QrcFloatVarArray(mgr, n, QrcFloatVar(mgr, 0.0, 3.0));
  }
  QrcIntArray values(QrcInt n, QrcInt v = 1) const { return QrcIntArray(mgr, n, v); }
  QrcIntArray range(QrcInt n) const {
    QrcIntArray a(mgr, n, QrcInt(0));
    for (QrcInt i = 0; i < n; ++i) a[i] = i;
    return a;
  }
  QrcTupleSet tuples(QrcInt arity) const {
    QrcTupleSet t(mgr, arity);
    t.add(values(arity, 0));
    t.close();
    return t;
  }
};

struct Pairs : QrcIntBinaryPredicateI {
  QrcBool isTrue(QrcInt a, QrcInt b) override { return a < b; }
} pairs;
struct Triples : QrcIntTernaryPredicateI {
  QrcBool isTrue(QrcInt a, QrcInt b, QrcInt c) override { return a + b == c; }
} triples;

struct ArrayRow {
  const char* name;
  std::function<void(const Bad&)> make;
};

// One row per maker that takes an array (a second row where another array
// position holds variables too).
const std::vector<ArrayRow>& arrayRows() {
  static const std::vector<ArrayRow> rows = {
      {"QrcAllDiff", [](const Bad& b) { QrcAllDiff(b.ints(3)); }},
      {"QrcAllDiff", [](const Bad& b) { QrcAllDiff(b.ints(3), QrcFullFilterLevel); }},
      {"QrcEqAbstraction",
       [](const Bad& b) { QrcEqAbstraction(b.ints(3), b.good(3), b.range(2), 9); }},
      {"QrcEqAbstraction",
       [](const Bad& b) { QrcEqAbstraction(b.good(3), b.ints(3), b.range(2), 9); }},
      {"QrcEqIntAbstraction",
       [](const Bad& b) { QrcEqIntAbstraction(b.ints(3), b.good(3), b.range(2)); }},
      {"QrcAbstractionArray", [](const Bad& b) { QrcAbstractionArray(b.ints(3), b.range(2), 9); }},
      {"QrcCard", [](const Bad& b) { QrcCard(QrcIntVar(b.mgr, 0, 3), 1, b.ints(3)); }},
      {"QrcCard", [](const Bad& b) { QrcCard(QrcIntVar(b.mgr, 0, 3), 1, b.ints(3), 0, 0); }},
      {"QrcDistribute", [](const Bad& b) { QrcDistribute(b.good(2), b.range(2), b.ints(3)); }},
      {"QrcDistribute", [](const Bad& b) { QrcDistribute(b.ints(2), b.range(2), b.good(3)); }},
      {"QrcDistribute",
       [](const Bad& b) { QrcDistribute(b.good(2), b.range(2), b.ints(3), QrcHighFilterLevel); }},
      {"QrcDistribute", [](const Bad& b) { QrcDistribute(b.good(3), b.ints(3)); }},
      {"QrcDistribute",
       [](const Bad& b) { QrcDistribute(b.good(3), b.ints(3), QrcLowFilterLevel); }},
      {"QrcDistribute",
       [](const Bad& b) { QrcDistribute(b.good(2), b.range(2), b.ints(3), QrcLowFilterLevel, 1); }},
      {"QrcElement", [](const Bad& b) { QrcElement(b.ints(3), QrcIntVar(b.mgr, 0, 2)); }},
      {"QrcElement", [](const Bad& b) { b.ints(3)[QrcIntVar(b.mgr, 0, 2)]; }},
      {"QrcIntVarArray::operator[]",
       [](const Bad& b) {
         QrcIndex index;
         b.ints(3)[index];
       }},
      {"QrcInverse", [](const Bad& b) { QrcInverse(b.ints(3), b.good(3)); }},
      {"QrcInverse", [](const Bad& b) { QrcInverse(b.good(3), b.ints(3)); }},
      {"QrcInverse", [](const Bad& b) { QrcInverse(b.sets(3), b.good(4)); }},
      {"QrcInverse", [](const Bad& b) { QrcInverse(b.goodSets(4), b.ints(3)); }},
      {"QrcGeLex", [](const Bad& b) { QrcGeLex(b.ints(3), b.good(3)); }},
      {"QrcLeLex", [](const Bad& b) { QrcLeLex(b.ints(3), b.good(3)); }},
      {"QrcAllMinDistance", [](const Bad& b) { QrcAllMinDistance(b.ints(3), 2); }},
      {"QrcPairing", [](const Bad& b) { QrcPairing(b.ints(4), QrcMediumFilterLevel); }},
      {"QrcPath", [](const Bad& b) { QrcPath(b.ints(3), b.goodFloats(3), nullptr, 0, 0); }},
      {"QrcPath", [](const Bad& b) { QrcPath(b.good(3), b.floats(3), nullptr, 0, 0); }},
      {"QrcRegular",
       [](const Bad& b) { QrcRegular(b.ints(3), 1, b.values(2, 0), b.values(1, 0), b.range(2)); }},
      {"QrcStretch",
       [](const Bad& b) { QrcStretch(b.ints(3), b.values(2), b.values(2, 3), b.range(2)); }},
      {"QrcPattern", [](const Bad& b) { QrcPattern(b.ints(3), b.tuples(2), 0); }},
      {"QrcSequence", [](const Bad& b) { QrcSequence(0, 2, 2, b.ints(3), b.range(2), b.good(2)); }},
      {"QrcSequence", [](const Bad& b) { QrcSequence(0, 2, 2, b.good(3), b.range(2), b.ints(2)); }},
      {"QrcSpread",
       [](const Bad& b) {
         QrcSpread(b.ints(3), QrcFloatVar(b.mgr, 0.0, 3.0), QrcFloatVar(b.mgr, 0.0, 3.0));
       }},
      {"QrcTableConstraint", [](const Bad& b) { QrcTableConstraint(b.ints(3), b.tuples(3), 1); }},
      {"QrcTableConstraint", [](const Bad& b) { QrcTableConstraint(b.ints(2), &pairs); }},
      {"QrcTableConstraint", [](const Bad& b) { QrcTableConstraint(b.ints(3), &triples); }},
      {"QrcPack", [](const Bad& b) { QrcPack(b.good(2), b.ints(3), b.values(3)); }},
      {"QrcPack", [](const Bad& b) { QrcPack(b.ints(2), b.good(3), b.values(3)); }},
      {"QrcPack",
       [](const Bad& b) { QrcPack(b.good(2), b.ints(3), b.values(3), QrcIntVar(b.mgr, 0, 2)); }},
      {"QrcPack",
       [](const Bad& b) { QrcPack(b.good(2), b.ints(3), b.values(3), QrcIntSetVar(b.mgr, 0, 1)); }},
      {"QrcSum", [](const Bad& b) { QrcSum(b.ints(3)); }},
      {"QrcScalProd", [](const Bad& b) { QrcScalProd(b.ints(3), b.values(3)); }},
      {"QrcSum", [](const Bad& b) { QrcSum(b.mgr, 3, b.intTable(3).data()); }},
      {"QrcMin", [](const Bad& b) { QrcMin(b.mgr, 3, b.intTable(3).data()); }},
      {"QrcMax", [](const Bad& b) { QrcMax(b.mgr, 3, b.intTable(3).data()); }},
      {"QrcSum", [](const Bad& b) { QrcSum(b.floats(3)); }},
      {"QrcSum", [](const Bad& b) { QrcSum(b.mgr.getImpl(), 3, b.floatTable(3).data()); }},
      {"QrcMin", [](const Bad& b) { QrcMin(b.mgr.getImpl(), 3, b.floatTable(3).data()); }},
      {"QrcMax", [](const Bad& b) { QrcMax(b.mgr.getImpl(), 3, b.floatTable(3).data()); }},
      {"QrcEqUnion", [](const Bad& b) { QrcEqUnion(QrcIntSetVar(b.mgr, 0, 3), b.sets(3)); }},
      {"QrcPartition", [](const Bad& b) { QrcPartition(b.sets(3), b.range(4)); }},
      {"QrcPartition", [](const Bad& b) { QrcPartition(b.sets(3)); }},
      {"QrcAllNullIntersect", [](const Bad& b) { QrcAllNullIntersect(b.sets(3)); }},
      {"QrcDisjointUnion",
       [](const Bad& b) { QrcDisjointUnion(QrcIntSetVar(b.mgr, 0, 3), b.sets(3)); }},
      {"QrcBoxI", [](const Bad& b) { QrcBox(3, b.ints(3), b.values(3)); }},
  };
  return rows;
}

// The line a row's misuse prints (without its end for a death test).
std::string lineOf(const char* name, bool foreign, bool end = true) {
  if (!end) {
    std::string line = lineOf(name, foreign);
    return line.substr(0, line.size() - 1);
  }
  std::string n(name);
  if (foreign) return "Solver Error : " + n + " : Managers are different\n";
  return "Solver Error : empty handle : " + n + "\n";
}

class MisuseTest : public testing::Test {
 protected:
  MisuseTest() : mgr(QrcNoEdit), other(QrcNoEdit), saved(mgr.getErrorReporter()) {}
  ~MisuseTest() override {
    mgr.getImpl()->setErrorReporter(saved);
    mgr.end();
    other.end();
  }
  // The manager in exceptions mode with a reporter that throws.
  void throwing() {
    mgr.useExceptions();
    mgr.getImpl()->setErrorReporter(&reporter);
  }
  Bad bad(bool foreign) const { return Bad{mgr, other, foreign}; }
  // The code f reported (0 for none) and the line it printed.
  int reported(const std::function<void()>& f, std::string* line) {
    testing::internal::CaptureStderr();
    int code = 0;
    try {
      f();
    } catch (Reported& r) {
      code = r.code;
    }
    *line = testing::internal::GetCapturedStderr();
    return code;
  }
  // After the reports the manager still solves.
  void expectStillSolves() {
    QrcIntVarArray q(mgr, 3, 0, 2);
    mgr.add(QrcAllDiff(q));
    EXPECT_TRUE(mgr.solve(QrcGenerate(q)));
    EXPECT_EQ(q[0].getValue() + q[1].getValue() + q[2].getValue(), 3);
  }

  QrcManager mgr, other;
  QrcErrorReporter* saved;
  ThrowingReporter reporter;
};

// The case of the report: an all-different over an array whose element 1 was
// never set, and one whose element 1 belongs to another manager.
TEST_F(MisuseTest, AllDiffOverAnUnsetOrForeignElementIsReported) {
  throwing();
  QrcIntVarArray a(mgr, 3);
  a.set(0, QrcIntVar(mgr, 0, 3));
  a.set(2, QrcIntVar(mgr, 0, 3));
  std::string line;
  EXPECT_EQ(reported([&] { mgr.add(QrcAllDiff(a)); }, &line), 39);
  EXPECT_EQ(line, "Solver Error : empty handle : QrcAllDiff\n");
  a.set(1, QrcIntVar(other, 0, 3));
  EXPECT_EQ(reported([&] { mgr.add(QrcAllDiff(a)); }, &line), 53);
  EXPECT_EQ(line, "Solver Error : QrcAllDiff : Managers are different\n");
  expectStillSolves();
}

TEST_F(MisuseTest, EveryArrayMakerReportsAnEmptyOrForeignElement) {
  throwing();
  for (bool foreign : {false, true}) {
    for (const ArrayRow& row : arrayRows()) {
      SCOPED_TRACE(std::string(row.name) + (foreign ? " foreign" : " hole"));
      std::string line;
      EXPECT_EQ(reported([&] { row.make(bad(foreign)); }, &line), foreign ? 53 : 39);
      EXPECT_EQ(line, lineOf(row.name, foreign));
    }
  }
  expectStillSolves();
}

TEST_F(MisuseTest, EveryArrayMakerStopsWithTheDefaultReporter) {
  for (bool foreign : {false, true})
    for (const ArrayRow& row : arrayRows())
      EXPECT_DEATH(row.make(bad(foreign)), literal(lineOf(row.name, foreign, false)))
          << row.name << (foreign ? " foreign" : " hole");
}

struct TwoRow {
  const char* name;
  std::function<void(const QrcManager&, const QrcManager&)> make;  // (first, other)
};

// Makers over two objects of which the second belongs to the other manager.
const std::vector<TwoRow>& twoRows() {
  auto iv = [](const QrcManager& m) { return QrcIntVar(m, 0, 3); };
  auto fv = [](const QrcManager& m) { return QrcFloatVar(m, 0.0, 3.0); };
  auto sv = [](const QrcManager& m) { return QrcIntSetVar(m, 0, 3); };
  auto ct = [iv](const QrcManager& m) { return iv(m) == 1; };
  static const std::vector<TwoRow> rows = {
      {"operator+", [=](auto& a, auto& b) { iv(a) + iv(b); }},
      {"operator-", [=](auto& a, auto& b) { iv(a) - iv(b); }},
      {"operator*", [=](auto& a, auto& b) { iv(a) * iv(b); }},
      {"operator/", [=](auto& a, auto& b) { iv(a) / iv(b); }},
      {"QrcMin", [=](auto& a, auto& b) { QrcMin(iv(a), iv(b)); }},
      {"QrcMax", [=](auto& a, auto& b) { QrcMax(iv(a), iv(b)); }},
      {"operator==", [=](auto& a, auto& b) { iv(a) == iv(b); }},
      {"operator!=", [=](auto& a, auto& b) { iv(a) != iv(b); }},
      {"operator<=", [=](auto& a, auto& b) { iv(a) <= iv(b); }},
      {"operator<", [=](auto& a, auto& b) { iv(a) < iv(b); }},
      {"operator>=", [=](auto& a, auto& b) { iv(a) >= iv(b); }},
      {"operator>", [=](auto& a, auto& b) { iv(a) > iv(b); }},
      {"QrcLeOffset", [=](auto& a, auto& b) { QrcLeOffset(iv(a), iv(b), 2); }},
      {"operator+", [=](auto& a, auto& b) { fv(a) + fv(b); }},
      {"operator+", [=](auto& a, auto& b) { fv(a) + iv(b); }},
      {"operator-", [=](auto& a, auto& b) { fv(a) - fv(b); }},
      {"operator*", [=](auto& a, auto& b) { fv(a) * fv(b); }},
      {"operator*", [=](auto& a, auto& b) { iv(a) * fv(b); }},
      {"operator/", [=](auto& a, auto& b) { fv(a) / fv(b); }},
      {"QrcMin", [=](auto& a, auto& b) { QrcMin(fv(a), fv(b)); }},
      {"QrcMax", [=](auto& a, auto& b) { QrcMax(fv(a), fv(b)); }},
      {"QrcPower", [=](auto& a, auto& b) { QrcPower(fv(a), fv(b)); }},
      {"operator==", [=](auto& a, auto& b) { fv(a) == fv(b); }},
      {"operator<=", [=](auto& a, auto& b) { fv(a) <= fv(b); }},
      {"operator>=", [=](auto& a, auto& b) { fv(a) >= fv(b); }},
      {"operator||", [=](auto& a, auto& b) { ct(a) || ct(b); }},
      {"operator&&", [=](auto& a, auto& b) { ct(a) && ct(b); }},
      {"operator==", [=](auto& a, auto& b) { ct(a) == ct(b); }},
      {"operator!=", [=](auto& a, auto& b) { ct(a) != ct(b); }},
      {"operator==", [=](auto& a, auto& b) { sv(a) == sv(b); }},
      {"operator!=", [=](auto& a, auto& b) { sv(a) != sv(b); }},
      {"QrcMember", [=](auto& a, auto& b) { QrcMember(iv(a), sv(b)); }},
      {"QrcNotMember", [=](auto& a, auto& b) { QrcNotMember(iv(a), sv(b)); }},
      {"QrcNullIntersect", [=](auto& a, auto& b) { QrcNullIntersect(sv(a), sv(b)); }},
      {"QrcSubsetEq", [=](auto& a, auto& b) { QrcSubsetEq(sv(a), sv(b)); }},
      {"QrcSubset", [=](auto& a, auto& b) { QrcSubset(sv(a), sv(b)); }},
      {"QrcEqIntersection", [=](auto& a, auto& b) { QrcEqIntersection(sv(a), sv(a), sv(b)); }},
      {"QrcEqUnion", [=](auto& a, auto& b) { QrcEqUnion(sv(a), sv(a), sv(b)); }},
      {"QrcEqUnion", [=](auto& a, auto& b) { QrcEqUnion(sv(a), sv(a), sv(a), sv(b)); }},
      {"QrcUnionOverSetCt",
       [=](auto& a, auto& b) { QrcUnionOverSetCt(sv(a), sv(b), QrcIntAccessor()); }},
      {"QrcElementEq",
       [=](auto& a, auto& b) { QrcElementEq(iv(a), QrcIntArray(a, 3, QrcInt(1)), iv(b)); }},
      {"QrcElementNEq",
       [=](auto& a, auto& b) { QrcElementNEq(iv(a), QrcIntArray(a, 3, QrcInt(1)), iv(b)); }},
      {"QrcIntEltCallerCt",
       [=](auto& a, auto& b) { QrcIntEltCallerCt(iv(a), QrcIntArray(a, 3, QrcInt(1)), iv(b)); }},
      {"QrcElement", [=](auto& a, auto& b) { QrcElement(QrcIntVarArray(a, 3, 0, 3), iv(b)); }},
      {"QrcCard", [=](auto& a, auto& b) { QrcCard(iv(b), 1, QrcIntVarArray(a, 3, 0, 3)); }},
      {"QrcSpread", [=](auto& a, auto& b) { QrcSpread(QrcIntVarArray(a, 3, 0, 3), fv(b), fv(a)); }},
      {"QrcInverse",
       [=](auto& a, auto& b) {
         QrcInverse(QrcIntVarArray(a, 3, 0, 2), QrcIntVarArray(b, 3, 0, 2));
       }},
      {"QrcPack",
       [=](auto& a, auto& b) {
         QrcPack(QrcIntVarArray(a, 2, 0, 9), QrcIntVarArray(a, 3, 0, 1),
                 QrcIntArray(a, 3, QrcInt(1)), iv(b));
       }},
      {"QrcGenericConstraint",
       [=](auto& a, auto& b) {
         QrcIndex index;
         QrcIntVarArray(a, 3, 0, 3)[index];
         QrcGenericConstraint(index, ct(b));
       }},
      {"add QrcConstraint", [=](auto& a, auto& b) { a.add(ct(b)); }},
  };
  return rows;
}

TEST_F(MisuseTest, ObjectsOfTwoManagersAreReported) {
  throwing();
  for (const TwoRow& row : twoRows()) {
    SCOPED_TRACE(row.name);
    std::string line;
    EXPECT_EQ(reported([&] { row.make(mgr, other); }, &line), 53);
    EXPECT_EQ(line, std::string("Solver Error : ") + row.name + " : Managers are different\n");
  }
  expectStillSolves();
}

TEST_F(MisuseTest, ObjectsOfTwoManagersStopWithTheDefaultReporter) {
  for (const TwoRow& row : twoRows())
    EXPECT_DEATH(row.make(mgr, other),
                 literal(std::string("Solver Error : ") + row.name + " : Managers are different"))
        << row.name;
}

struct IndexRow {
  const char* place;
  QrcInt index;
  std::function<void(const QrcManager&, QrcInt)> use;  // (manager, index) on arrays of size 4
};

const std::vector<IndexRow>& indexRows() {
  static const std::vector<IndexRow> rows = {
      {"QrcIntVarArray::operator[]", 4, [](auto& m, QrcInt i) { QrcIntVarArray(m, 4, 0, 3)[i]; }},
      {"QrcIntVarArray::operator[]", -1, [](auto& m, QrcInt i) { QrcIntVarArray(m, 4, 0, 3)[i]; }},
      {"QrcIntVarArray::set", 4,
       [](auto& m, QrcInt i) { QrcIntVarArray(m, 4).set(i, QrcIntVar(m, 0, 3)); }},
      {"QrcFloatVarArray::operator[]", 4, [](auto& m, QrcInt i) { QrcFloatVarArray(m, 4)[i]; }},
      {"QrcFloatVarArray::set", -1,
       [](auto& m, QrcInt i) { QrcFloatVarArray(m, 4).set(i, QrcFloatVar(m, 0.0, 1.0)); }},
      {"QrcIntSetVarArray::operator[]", 4, [](auto& m, QrcInt i) { QrcIntSetVarArray(m, 4)[i]; }},
      {"QrcIntSetVarArray::set", 7,
       [](auto& m, QrcInt i) { QrcIntSetVarArray(m, 4).set(i, QrcIntSetVar(m, 0, 3)); }},
      {"QrcFloatArray::operator[]", 4, [](auto& m, QrcInt i) { QrcFloatArray(m, 4)[i] = 1.0; }},
  };
  return rows;
}

std::string indexLine(const IndexRow& row, const char* end = "\n") {
  return "Solver Error : " + std::string(row.place) +
         " : bad index : " + std::to_string(row.index) + end;
}

TEST_F(MisuseTest, AnIndexPastAnArrayIsReported) {
  throwing();
  for (const IndexRow& row : indexRows()) {
    SCOPED_TRACE(row.place);
    std::string line;
    EXPECT_EQ(reported([&] { row.use(mgr, row.index); }, &line), 29);
    EXPECT_EQ(line, indexLine(row));
    EXPECT_EQ(reported([&] { row.use(mgr, 3); }, &line), 0);  // the last position is fine
  }
  expectStillSolves();
}

TEST_F(MisuseTest, AnIndexPastAnArrayStopsWithTheDefaultReporter) {
  for (const IndexRow& row : indexRows())
    EXPECT_DEATH(row.use(mgr, row.index), literal(indexLine(row, ""))) << row.place;
}

// The set-variable array's handle reads back what it was given.
TEST_F(MisuseTest, SetVariableArraysAreFilledThroughTheirHandle) {
  QrcIntSetVarArray a(mgr, 2);
  QrcIntSetVar x(mgr, 0, 3), y(mgr, 1, 2);
  a.set(0, x);
  a.set(1, y);
  EXPECT_EQ(a[0].getImpl(), x.getImpl());
  EXPECT_EQ(a[1].getImpl(), y.getImpl());
}

}  // namespace
