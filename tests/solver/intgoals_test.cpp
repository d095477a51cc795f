#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "qrcint.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintexp.h"
#include "qrcintgoals.h"
#include "qrcmanager.h"
#include "qrcsearch.h"

namespace {

std::vector<QrcInt> allValues(QrcManagerI* m, const QrcGoal& g, const QrcIntVar& x) {
  std::vector<QrcInt> seen;
  QrcSearchI* s = m->newSearch(g.getImpl());
  while (s->next()) seen.push_back(x.getValue());
  s->end();
  return seen;
}

class IntGoals : public ::testing::Test {
 protected:
  void SetUp() override { m = new QrcManagerI(&QrcNoEdit); }
  void TearDown() override { delete m; }
  QrcManagerI* m = nullptr;
};

TEST_F(IntGoals, InstantiateTriesValuesUpward) {
  QrcIntVar x(QrcManager(m), 3, 5, "x");
  QrcGoal g(new (m) QrcIntVarInstantiateI(m, x.getImpl(), nullptr));
  EXPECT_EQ(allValues(m, g, x), (std::vector<QrcInt>{3, 4, 5}));
}

TEST_F(IntGoals, DichotomizeOrders) {
  QrcIntVar x(QrcManager(m), 3, 5, "x");
  EXPECT_EQ(allValues(m, QrcDichotomize(x, 1), x), (std::vector<QrcInt>{5, 4, 3}));
  EXPECT_EQ(allValues(m, QrcDichotomize(x, 0), x), (std::vector<QrcInt>{3, 4, 5}));
  QrcIntVar y(QrcManager(m), -3, 0, "y");
  // [-3, 0] splits at -1 (truncation toward zero).
  EXPECT_EQ(allValues(m, QrcDichotomize(y, 0), y), (std::vector<QrcInt>{-3, -2, -1, 0}));
  QrcIntVar z(QrcManager(m), 4, 5, "z");
  EXPECT_EQ(allValues(m, QrcDichotomize(z, 1), z), (std::vector<QrcInt>{5, 4}));
}

TEST_F(IntGoals, BoundVariablesNeedNoChoicePoint) {
  QrcIntVar x(QrcManager(m), 7, 7, "x");
  QrcInt before = m->getChoicePointCount();
  EXPECT_EQ(allValues(m, QrcDichotomize(x, 1), x), (std::vector<QrcInt>{7}));
  QrcGoal g(new (m) QrcIntVarInstantiateI(m, x.getImpl(), nullptr));
  EXPECT_EQ(allValues(m, g, x), (std::vector<QrcInt>{7}));
  EXPECT_EQ(m->getChoicePointCount(), before);
}

TEST_F(IntGoals, GenerateEnumeratesTheArray) {
  QrcManager mh(m);
  QrcIntVarArray vars(mh, 3, 0, 1);
  QrcSearchI* s = m->newSearch(QrcGenerate(vars).getImpl());
  std::vector<QrcInt> codes;
  while (s->next())
    codes.push_back(vars[0].getValue() * 4 + vars[1].getValue() * 2 + vars[2].getValue());
  s->end();
  EXPECT_EQ(codes, (std::vector<QrcInt>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(QrcChooseFirstUnboundInt(QrcIntVarArray()), -1);
}

// The first-unbound scan of generation resumes where it last stopped; after
// backtracking and with variables bound by propagation it still makes the
// choices of a scan from the start.
TEST_F(IntGoals, GenerateResumesItsScanAcrossBacktracking) {
  QrcManager mh(m);
  QrcIntVarArray vars(mh, 5, 0, 2);
  mh.add(vars[1] + vars[3] == 2);
  mh.add(vars[0] != vars[4]);
  auto codes = [&](QrcChooseIntIndex choose) {
    QrcSearchI* s = m->newSearch(QrcGenerate(vars, choose).getImpl());
    std::vector<QrcInt> seen;
    while (s->next()) {
      QrcInt code = 0;
      for (QrcInt i = 0; i < 5; ++i) code = code * 3 + vars[i].getValue();
      seen.push_back(code);
    }
    s->end();
    return seen;
  };
  QrcChooseIntIndex fromStart = [](const QrcIntVarArray& a) {
    for (QrcInt i = 0; i < a.getSize(); ++i)
      if (!a[i].isBound()) return i;
    return QrcInt(-1);
  };
  std::vector<QrcInt> resumed = codes(QrcChooseFirstUnboundInt);
  EXPECT_EQ(resumed.size(), 54u);
  EXPECT_EQ(resumed, codes(fromStart));
}

TEST_F(IntGoals, SetRemoveAndBoundGoals) {
  QrcManager mh(m);
  QrcIntVar x(mh, 0, 9, "x");
  QrcGoal both =
      QrcAnd(QrcRemoveValue(x, 0), QrcGoal(new (m) QrcIntVarLeValueI(m, x.getImpl(), 1)));
  EXPECT_EQ(allValues(m, QrcAnd(both, QrcDichotomize(x, 0)), x), (std::vector<QrcInt>{1}));
  EXPECT_EQ(
      allValues(m, QrcAnd(QrcGoal(new (m) QrcIntVarGeValueI(m, x.getImpl(), 9)), QrcSetValue(x, 9)),
                x),
      (std::vector<QrcInt>{9}));
  std::ostringstream os;
  QrcDichotomize(x, 1).getImpl()->display(os);
  os << " ";
  QrcGenerate(QrcIntVarArray(mh, 1, 0, 1)).getImpl()->display(os);
  EXPECT_EQ(os.str(), "QrcDichotomizeGoal QrcIntGenerate");
}

}  // namespace
