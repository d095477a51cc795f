// An operator's result passed on directly (a sole handle) may be taken apart
// by the next operator; a named handle never is, and what a taken-apart
// operand referred to stays alive. Sums come out with the same lists in the
// same order whichever way their operands were passed.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "qromodel.h"
#include "qrooperators.h"
#include "support/env_pools.h"

namespace {

std::string shown(const QroNumExprArg& e) {
  std::ostringstream os;
  e.getImpl()->display(os);
  return os.str();
}

// A term's lists as they are, not normalised.
void dump(std::ostream& os, const QroNumExprI* e);
template <class T>
void dumpTerm(std::ostream& os, const T* t) {
  os << "[";
  for (QroLinearNode* n = t->getFirstNode(); n; n = n->next)
    os << n->coef << "*" << n->var->getName() << " ";
  os << "|";
  for (QroExprNode* n = t->getFirstExpr(); n; n = n->next) {
    os << (n->expr == t->getQuadPart() ? " Q" : " ");
    dump(os, n->expr);
  }
  os << " | " << t->getConstantValue() << "]";
}
void dump(std::ostream& os, const QroNumExprI* e) {
  if (e->getTypeInfo() == QroNumLinTermI::GetTypeInfo()) {
    dumpTerm(os, static_cast<const QroNumLinTermI*>(e));
  } else if (e->getTypeInfo() == QroNumQuadExprI::GetTypeInfo()) {
    os << "(";
    for (QroQuadNode* n = static_cast<const QroNumQuadExprI*>(e)->getFirst(); n; n = n->next)
      os << n->coef << "*" << n->first->getName() << "*" << n->second->getName() << " ";
    os << ")";
  } else {
    e->display(os);
  }
}
std::string lists(const QroNumExprArg& e) {
  std::ostringstream os;
  dump(os, e.getImpl());
  return os.str();
}

// Without pools, so that reading an ended expression is caught.
using qrotest::unpooledEnv;

class SoleOperands : public ::testing::Test {
 protected:
  ~SoleOperands() override { env.end(); }
  bool live(QroNumExprI* e, QroInt id) const { return env.getImpl()->getLiveSlot(id) == e; }

  QroEnv env = unpooledEnv();
  QroNumVar x{env, 0, 5, QroNumVar::Int, "x"};
  QroNumVar y{env, 0, 5, QroNumVar::Int, "y"};
  QroNumVar u{env, 0, 5, QroNumVar::Int, "u"};
};

TEST_F(SoleOperands, CopiesAndConversionsAreNeverSoleMovesPassItOn) {
  QroNumExprArg a = x * 3.0;
  EXPECT_TRUE(a.isSole());
  QroNumExprArg b = a;
  EXPECT_FALSE(a.isSole());
  EXPECT_FALSE(b.isSole());

  QroNumExprArg c = x * 3.0;
  QroNumExprI* term = c.getImpl();
  QroNumExprArg d = std::move(c);
  EXPECT_TRUE(d.isSole());
  EXPECT_EQ(c.getImpl(), nullptr);  // a moved sole handle is left empty
  EXPECT_EQ(d.getImpl(), term);
  QroNumExpr named = d;
  EXPECT_FALSE(d.isSole());
  QroNumExprArg e = std::move(d);  // not sole: both keep the term
  EXPECT_EQ(d.getImpl(), term);
  EXPECT_EQ(e.getImpl(), term);
  EXPECT_FALSE(QroNumExprArg(named).isSole());
  EXPECT_FALSE(QroNumExprArg(x).isSole());

  // A named term extended in place comes back not sole; a new one is sole.
  QroNumExprArg s = x + 1.0;
  QroNumExprArg grown = s + y;
  EXPECT_EQ(grown.getImpl(), s.getImpl());
  EXPECT_FALSE(grown.isSole());
  EXPECT_TRUE((std::move(grown) + y).isSole() == false);
  EXPECT_TRUE((x + 1.0 + y).isSole());
  EXPECT_TRUE(QroPower(x * 2.0, 1.0).isSole());
  EXPECT_FALSE(QroPower(s, 1.0).isSole());
}

// The summand of each loop, given as a temporary, is ended by the sum; given
// by name, it stays as it was. The sum is the same either way.
TEST_F(SoleOperands, TemporarySummandsAreEndedNamedOnesKept) {
  QroNumExprArg g = u * u;  // a part that a summand takes over
  struct Case {
    const char* name;
    std::function<QroNumExprArg()> summand;
    // sum op summand; sum, summand.
    std::function<QroNumExprArg(QroNumExprArg, QroNumExprArg)> op;
    const char* shownSum;
  };
  const std::vector<Case> cases = {
      {"sum + x * 3.0", [&] { return x * 3.0; },
       [](QroNumExprArg s, QroNumExprArg t) { return std::move(s) + std::move(t); },
       "y  + 3 * x  + 1 "},
      {"sum + x * QroInt(3)", [&] { return x * QroInt(3); },
       [](QroNumExprArg s, QroNumExprArg t) { return std::move(s) + std::move(t); },
       "y  + 3 * x  + 1 "},
      {"sum - (x + 1.0)", [&] { return x + 1.0; },
       [](QroNumExprArg s, QroNumExprArg t) { return std::move(s) - std::move(t); },
       "y  + -1 * x "},
      {"sum + (x + g)", [&] { return x + g; },
       [](QroNumExprArg s, QroNumExprArg t) { return std::move(s) + std::move(t); },
       "y  + x  + (1 * u * u) + 1 "},
      {"sum * 2 + x * 3.0", [&] { return x * 3.0; },
       [](QroNumExprArg s, QroNumExprArg t) { return std::move(s) * 2.0 + std::move(t); },
       "2 * y  + 3 * x  + 2 "},
  };
  for (const Case& c : cases) {
    for (bool temporary : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (temporary ? ", temporary" : ", named"));
      QroNumExprArg sum = y + 1.0;
      QroNumExprArg summand = c.summand();
      QroNumExprI* term = summand.getImpl();
      QroInt id = term->getId();
      std::string before = shown(summand);
      QroNumExprArg keep = temporary ? QroNumExprArg() : summand;
      sum = c.op(sum, std::move(summand));
      EXPECT_EQ(shown(sum), c.shownSum);
      EXPECT_EQ(live(term, id), !temporary);
      if (!temporary) {
        EXPECT_EQ(shown(keep), before);
      }
      EXPECT_EQ(shown(g), "(1 * u * u)");
    }
  }
}

// 3 x + sum, a temporary before a named sum: the sum's own term grows, in
// front, and the temporary is ended; a subtraction leaves the named sum.
TEST_F(SoleOperands, ATemporaryPutInFrontOfANamedSumGrowsIt) {
  QroNumExprArg sum = y + 1.0;
  QroNumExprI* term = sum.getImpl();
  for (int i = 0; i < 3; ++i) {
    QroNumExprArg summand = 3.0 * x;
    QroNumExprI* part = summand.getImpl();
    QroInt id = part->getId();
    QroNumExprArg result = std::move(summand) + sum;
    EXPECT_EQ(result.getImpl(), term);
    EXPECT_FALSE(live(part, id));
    sum = result;
  }
  EXPECT_EQ(lists(sum), "[3*x 3*x 3*x 1*y | | 1]");
  QroNumExprArg difference = 3.0 * x - sum;
  EXPECT_NE(difference.getImpl(), term);
  EXPECT_EQ(shown(sum), "9 * x  + y  + 1 ");
  EXPECT_EQ(shown(difference), "-6 * x  + -1 * y  + -1 ");
}

// a + b with a a temporary term, b a term (w, named; or a temporary; or held
// by a model): the lists of the sum are those of the named-plus-named sum.
TEST_F(SoleOperands, SumsKeepTheirListsWhicheverWayTheOperandsCome) {
  QroModel model(env);
  using Make = std::function<QroNumExprArg()>;
  const std::vector<std::pair<const char*, Make>> firsts = {
      {"2x + 1", [&] { return 2.0 * x + 1.0; }},
      {"x + y*u + x", [&] { return QroNumExprArg(x) + y * u + x; }},
      {"x*x + square(y) - 3", [&] { return x * x + (QroPower(y + 1.0, 2.0) - 3.0); }},
      {"3 (x + 0.5)", [&] { return (x + 0.5) * 3.0; }},
  };
  const std::vector<std::pair<const char*, Make>> seconds = {
      {"y - x", [&] { return y - x; }},
      {"u*u + 2x - 1", [&] { return (u * u - 1.0) + 2.0 * x; }},
      {"square(x) + x*y + y*y", [&] { return QroPower(x + 1.0, 2.0) + x * y + y * y; }},
      {"4", [&] { return QroNumExprArg(x) * 0.0 + 4.0; }},
  };
  for (const auto& first : firsts) {
    for (const auto& second : seconds) {
      SCOPED_TRACE(std::string(first.first) + " + " + second.first);
      QroNumExprArg a = first.second(), b = second.second();
      std::string expected = lists(a + b);  // named + named: b copied into a
      QroNumExprArg w = second.second();
      std::string before = shown(w);
      QroNumExprArg r = first.second() + w;  // w grows in place
      EXPECT_EQ(r.getImpl(), w.getImpl());
      EXPECT_EQ(lists(r), expected);
      EXPECT_EQ(lists(first.second() + second.second()), expected);  // b taken apart
      QroNumExprArg held = second.second();
      model.add(QroRange(env, -QroNumVar::Infinity(), held, QroNumVar::Infinity()));
      EXPECT_EQ(lists(first.second() + held), expected);  // b copied
      EXPECT_EQ(shown(held), before);
    }
  }
}

// A range moves its term's constant into its bounds on a copy of a named
// term, and on the term itself when it is a temporary.
TEST_F(SoleOperands, ARangeLeavesANamedTermAsItWas) {
  QroNumExprArg e = QroNumExprArg(x) + 2.0;
  QroRange named(env, 3, e, 4);
  EXPECT_EQ(shown(e), "x  + 2 ");
  EXPECT_NE(named.getImpl()->getExpr(), e.getImpl());
  QroConstraint below = e <= 2;
  EXPECT_EQ(shown(e), "x  + 2 ");
  QroNumExprArg f = QroNumExprArg(x) + 2.0;
  QroNumExprI* term = f.getImpl();
  QroRange temporary(env, 3, std::move(f), 4);
  EXPECT_EQ(temporary.getImpl()->getExpr(), term);
  std::ostringstream os;
  named.getImpl()->display(os);
  below.getImpl()->display(os << "; ");
  temporary.getImpl()->display(os << "; ");
  EXPECT_EQ(os.str(), "1 <= x  <= 2 ; x  <= 0 ; 1 <= x  <= 2 ");
}

}  // namespace
