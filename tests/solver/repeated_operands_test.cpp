// Expressions whose operands repeat (one handle used twice, a node reached
// through two sub-expressions, a sum used again after it grew), built with
// the modelling operators, stated in comparisons and solved: the solutions
// must be those of brute-force evaluation of the same expression tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolver.h"
#include "support/model_search.h"
#include "support/seed.h"

namespace {

struct Node {
  enum Op {
    Var,      // x
    Const,    // c, as a constant term
    Lin,      // c * x, a linear node
    Pair,     // x * y, a quadratic node
    Add,      // a + b
    Sub,      // a - b
    Mul,      // a * b
    AddLin,   // a + c * x
    SubLin,   // a - c * x
    SubPair,  // a - x * y
    AddC,     // a + c
    MulC,     // a * c
    MulK,     // a * (QroInt) c
    CMinus,   // c - a
    DivC,     // a / c, c = 1 or -1
    Sqr       // QroPower(a, 2)
  } op;
  int a = -1, b = -1;
  int x = 0, y = 0;
  double c = 0;
};

struct Dag {
  std::vector<Node> nodes;
  int add(const Node& n) {
    nodes.push_back(n);
    return static_cast<int>(nodes.size()) - 1;
  }
  double eval(int i, const std::vector<int64_t>& v) const {
    const Node& n = nodes[i];
    auto x = [&] { return static_cast<double>(v[n.x]); };
    auto y = [&] { return static_cast<double>(v[n.y]); };
    switch (n.op) {
      case Node::Var:
        return x();
      case Node::Const:
        return n.c;
      case Node::Lin:
        return n.c * x();
      case Node::Pair:
        return x() * y();
      case Node::Add:
        return eval(n.a, v) + eval(n.b, v);
      case Node::Sub:
        return eval(n.a, v) - eval(n.b, v);
      case Node::Mul:
        return eval(n.a, v) * eval(n.b, v);
      case Node::AddLin:
        return eval(n.a, v) + n.c * x();
      case Node::SubLin:
        return eval(n.a, v) - n.c * x();
      case Node::SubPair:
        return eval(n.a, v) - x() * y();
      case Node::AddC:
        return eval(n.a, v) + n.c;
      case Node::MulC:
      case Node::MulK:
        return eval(n.a, v) * n.c;
      case Node::CMinus:
        return n.c - eval(n.a, v);
      case Node::DivC:
        return eval(n.a, v) / n.c;
      case Node::Sqr: {
        double a = eval(n.a, v);
        return a * a;
      }
    }
    return 0;
  }
  void dump(std::ostream& os, int i) const {
    static const char* names[] = {"x",    "c",    "c*x", "x*y", "+",  "-",  "*",  "+c*x",
                                  "-c*x", "-x*y", "+c",  "*c",  "*k", "c-", "/c", "sqr"};
    const Node& n = nodes[i];
    os << "#" << i << "=(" << names[n.op];
    if (n.op == Node::Var || n.op == Node::Lin || n.op == Node::Pair || n.op == Node::AddLin ||
        n.op == Node::SubLin || n.op == Node::SubPair)
      os << " v" << n.x;
    if (n.op == Node::Pair || n.op == Node::SubPair) os << " v" << n.y;
    if (n.op != Node::Var && n.op != Node::Pair && n.op != Node::SubPair && n.op != Node::Add &&
        n.op != Node::Sub && n.op != Node::Mul && n.op != Node::Sqr)
      os << " " << n.c;
    if (n.a >= 0) os << " #" << n.a;
    if (n.b >= 0) os << " #" << n.b;
    os << ")";
  }
};

// Draws trees that reuse earlier nodes: an operand is often a node drawn
// before, and the two operands of a binary node are often one node.
class Generator {
 public:
  Generator(std::mt19937_64& rng, Dag& dag, int nvars) : _rng(rng), _dag(dag), _nvars(nvars) {}

  int expr(int depth) {
    if (!_dag.nodes.empty() && pick(100) < 35) return pick(static_cast<int>(_dag.nodes.size()));
    Node n;
    if (depth == 0 || pick(100) < 15) {
      static const Node::Op leaves[] = {Node::Var, Node::Var, Node::Const, Node::Lin, Node::Pair};
      n.op = leaves[pick(5)];
      n.x = pick(_nvars);
      n.y = pick(_nvars);
      n.c = n.op == Node::Const ? pick(7) - 3 : nonZero();
      return _dag.add(n);
    }
    static const Node::Op ops[] = {Node::Add,     Node::Add,  Node::Add,    Node::Sub,
                                   Node::Sub,     Node::Mul,  Node::AddLin, Node::SubLin,
                                   Node::SubPair, Node::AddC, Node::MulC,   Node::MulK,
                                   Node::CMinus,  Node::DivC, Node::Sqr};
    n.op = ops[pick(15)];
    n.x = pick(_nvars);
    n.y = pick(_nvars);
    n.c = n.op == Node::MulC || n.op == Node::MulK ? pick(6) - 2 : nonZero();
    if (n.op == Node::DivC) n.c = pick(2) ? 1 : -1;
    n.a = expr(depth - 1);
    if (n.op == Node::Add || n.op == Node::Sub || n.op == Node::Mul)
      n.b = pick(100) < 30 ? n.a : expr(depth - 1);
    return _dag.add(n);
  }

 private:
  int pick(int n) { return static_cast<int>(_rng() % static_cast<uint64_t>(n)); }
  double nonZero() {
    int k = pick(5) - 2;
    return k >= 0 ? k + 1 : k;
  }
  std::mt19937_64& _rng;
  Dag& _dag;
  int _nvars;
};

// Builds the nodes with the operators, each node once: a node used again is
// the same handle. The meaning of what was built goes into its own tree: an
// operand that an operator extended in place and returned, as the README
// allows for a term nobody holds, means the result from then on. With a
// generator for temporaries, an operand is sometimes passed on directly, as
// a temporary the operator may take apart; such a node is built again when
// it is used later.
class Builder {
 public:
  Builder(const Dag& dag, Dag& meaning, const std::vector<QroNumVar>& vars,
          std::mt19937_64* temporaries = nullptr)
      : _dag(dag), _meaning(meaning), _vars(vars), _temporaries(temporaries) {}

  // The node's handle, built on first use (the tree may have grown since).
  QroNumExprArg handle(int i) {
    _built.resize(_dag.nodes.size());
    build(i);
    return _built[i].h;
  }
  int meaning(int i) const { return _built[i].meaning; }
  int inPlace() const { return _inPlace; }
  int passed() const { return _passed; }

 private:
  struct Built {
    QroNumExprArg h;
    int meaning = -1;
  };

  void build(int i) {
    if (_built[i].meaning >= 0) return;
    const Node& n = _dag.nodes[i];
    Node m = n;
    // An operand taken as a temporary is gone from the table (built again
    // when used later, by b for one) and keeps the meaning it had; another
    // one may be extended in place while b is built.
    QroNumExprArg a, b;
    bool aTaken = false;
    if (n.a >= 0) {
      build(n.a);
      a = operand(n.a, n.a != n.b, m.a);
      aTaken = m.a >= 0;
    }
    if (n.b >= 0) {
      build(n.b);
      b = operand(n.b, n.a != n.b, m.b);
      if (m.b < 0) m.b = _built[n.b].meaning;
    }
    if (n.a >= 0 && !aTaken) m.a = _built[n.a].meaning;
    QroNumExprI* pa = a.getImpl();
    QroNumExprI* pb = b.getImpl();
    const QroNumVar& x = _vars[n.x];
    const QroNumVar& y = _vars[n.y];
    QroNumExprArg r;
    switch (n.op) {
      case Node::Var:
        r = x;
        break;
      case Node::Const:
        r = QroNumExprArg(_vars[0]) * 0.0 + n.c;
        break;
      case Node::Lin:
        r = n.c * x;
        break;
      case Node::Pair:
        r = x * y;
        break;
      case Node::Add:
        r = std::move(a) + std::move(b);
        break;
      case Node::Sub:
        r = std::move(a) - std::move(b);
        break;
      case Node::Mul:
        r = std::move(a) * std::move(b);
        break;
      case Node::AddLin:
        r = std::move(a) + n.c * x;
        break;
      case Node::SubLin:
        r = std::move(a) - n.c * x;
        break;
      case Node::SubPair:
        r = std::move(a) - x * y;
        break;
      case Node::AddC:
        r = std::move(a) + n.c;
        break;
      case Node::MulC:
        r = std::move(a) * n.c;
        break;
      case Node::MulK:
        r = std::move(a) * static_cast<QroInt>(n.c);
        break;
      case Node::CMinus:
        r = n.c - std::move(a);
        break;
      case Node::DivC:
        r = std::move(a) / n.c;
        break;
      case Node::Sqr:
        r = QroPower(std::move(a), 2.0);
        break;
    }
    int mi = _meaning.add(m);
    bool returned = (n.a >= 0 && r.getImpl() == pa) || (n.b >= 0 && r.getImpl() == pb);
    if (returned) {
      ++_inPlace;
      for (Built& e : _built)
        if (e.meaning >= 0 && e.h.getImpl() == r.getImpl()) e.meaning = mi;
    }
    if (_temporaries)
      _built[i].h = std::move(r);
    else
      _built[i].h = r;
    _built[i].meaning = mi;
  }

  // The handle of a built node, moved out half the time when temporaries
  // are drawn and the node is not both operands. A sole handle moved out
  // leaves the node to be built again; taken is then its meaning, else -1.
  QroNumExprArg operand(int c, bool distinct, int& taken) {
    taken = -1;
    if (!_temporaries || !distinct || (*_temporaries)() % 2) return _built[c].h;
    QroNumExprArg h = std::move(_built[c].h);
    if (!_built[c].h.getImpl()) {
      taken = _built[c].meaning;
      _built[c].meaning = -1;
      ++_passed;
    }
    return h;
  }

  const Dag& _dag;
  Dag& _meaning;
  const std::vector<QroNumVar>& _vars;
  std::mt19937_64* _temporaries;
  std::vector<Built> _built;
  int _inPlace = 0;
  int _passed = 0;
};

// lo <= meaning[e] <= hi, or meaning[e] == meaning[f] when f >= 0.
struct Statement {
  int e = -1, f = -1;
  double lo = 0, hi = 0;
};

std::vector<std::vector<int64_t>> assignments(const std::vector<int64_t>& lo,
                                              const std::vector<int64_t>& hi) {
  std::vector<std::vector<int64_t>> out;
  std::vector<int64_t> v(lo);
  for (;;) {
    out.push_back(v);
    size_t i = 0;
    while (i < v.size() && v[i] == hi[i]) v[i] = lo[i], ++i;
    if (i == v.size()) return out;
    ++v[i];
  }
}

// Holds the expressions while a constraint is made on them (when active),
// so that the constraint sees them held.
class Hold {
 public:
  Hold(bool active, std::initializer_list<QroNumExprArg> es) {
    if (active) _es = es;
    for (const QroNumExprArg& e : _es) e.getImpl()->incrUseCount();
  }
  ~Hold() {
    for (const QroNumExprArg& e : _es) e.getImpl()->decrUseCount();
  }
  Hold(const Hold&) = delete;
  Hold& operator=(const Hold&) = delete;

 private:
  std::vector<QroNumExprArg> _es;
};

std::string modelText(const QroModel& model) {
  std::ostringstream os;
  for (QroModelI::Link* l = model.getImpl()->getFirstLink(); l; l = l->next) {
    l->member->display(os);
    os << "\n";
  }
  return os.str();
}

// With temporaries, operands are sometimes passed on directly and nothing
// is held while a constraint is made on it.
void runRound(uint64_t seed, int round, std::mt19937_64& rng, QroEnv& env, int& inPlace,
              int& passed, bool temporaries) {
  const int nvars = 2 + static_cast<int>(rng() % 2);
  std::vector<int64_t> lo, hi;
  std::vector<QroNumVar> vars;
  QroModel model(env);
  for (int i = 0; i < nvars; ++i) {
    lo.push_back(-2 + static_cast<int>(rng() % 2));
    hi.push_back(lo.back() + 2 + static_cast<int>(rng() % 3));
    vars.push_back(QroNumVar(env, static_cast<double>(lo.back()), static_cast<double>(hi.back()),
                             QroNumVar::Int));
    model.add(vars.back());
  }
  const std::vector<std::vector<int64_t>> all = assignments(lo, hi);

  Dag dag, meaning;
  Generator gen(rng, dag, nvars);
  Builder builder(dag, meaning, vars, temporaries ? &rng : nullptr);
  std::vector<Statement> statements;
  std::ostringstream text;
  const int count = 1 + static_cast<int>(rng() % 3);
  for (int k = 0; k < count; ++k) {
    int root = gen.expr(3);
    QroNumExprArg e = builder.handle(root);
    Statement s;
    s.e = builder.meaning(root);
    if (rng() % 4 == 0) {
      int other = gen.expr(2);
      QroNumExprArg f = builder.handle(other);
      // Building f may have extended e in place.
      s.e = builder.meaning(root);
      s.f = builder.meaning(other);
      Hold hold(!temporaries, {e, f});
      model.add(e == f);
    } else {
      // Bounds among the values the expression takes, so that some
      // assignments pass and some fail.
      std::vector<double> values;
      for (const auto& v : all) values.push_back(meaning.eval(s.e, v));
      std::sort(values.begin(), values.end());
      size_t i = rng() % values.size(), j = rng() % values.size();
      s.lo = values[std::min(i, j)];
      s.hi = values[std::max(i, j)];
      Hold hold(!temporaries, {e});
      if (rng() % 3 == 0) {
        s.lo = -INFINITY;
        model.add(e <= s.hi);
      } else {
        model.add(QroRange(env, s.lo, e, s.hi));
      }
    }
    statements.push_back(s);
    // Sometimes a model holds a node before it is used again.
    int held = static_cast<int>(rng() % dag.nodes.size());
    if (rng() % 4 == 0) {
      QroNumExprArg h = builder.handle(held);
      Hold hold(!temporaries, {h});
      model.add(QroRange(env, -1e9, h, 1e9));
    }
  }
  inPlace += builder.inPlace();
  passed += builder.passed();
  for (size_t i = 0; i < dag.nodes.size(); ++i) dag.dump(text << "\n", static_cast<int>(i));
  for (const Statement& s : statements) {
    text << "\nstated on ";
    meaning.dump(text, s.e);
    if (s.f >= 0) meaning.dump(text << " == ", s.f);
  }
  text << "\n" << modelText(model);

  std::set<std::vector<int64_t>> expected, found;
  for (const auto& v : all) {
    bool ok = true;
    for (const Statement& s : statements) {
      double e = meaning.eval(s.e, v);
      ok = ok && (s.f >= 0 ? e == meaning.eval(s.f, v) : s.lo <= e && e <= s.hi);
    }
    if (ok) expected.insert(v);
  }
  const std::string where = "seed " + std::to_string(seed) + " round " + std::to_string(round);
  try {
    QroSolver solver(model, round % 2 ? &QrcEdit : &QrcNoEdit);
    solver.startNewSearch();
    int n = 0;
    while (n < 2000 && solver.next()) {
      std::vector<int64_t> v;
      for (const QroNumVar& x : vars) v.push_back(static_cast<int64_t>(solver.getValue(x)));
      EXPECT_TRUE(found.insert(v).second) << where << ": a solution found twice" << text.str();
      ++n;
    }
    solver.endSearch();
    solver.end();
  } catch (const QroSolver::ModelInconsistent&) {
  } catch (const QroException& e) {
    ADD_FAILURE() << where << ": " << (e.getMessage() ? e.getMessage() : "") << text.str();
    return;
  }
  EXPECT_EQ(found, expected) << where << text.str();
}

// 400 rounds; the number of operands extended in place and of temporaries
// passed on.
std::pair<int, int> runRounds(uint64_t seed, bool temporaries) {
  std::mt19937_64 rng(seed);
  int inPlace = 0, passed = 0;
  for (int round = 0; round < 400 && !::testing::Test::HasFailure(); ++round) {
    // Every other round without pools, so that a freed operand is caught.
    if (round % 2) setenv("QRO_NO_MEMORY_MANAGER", "1", 1);
    QroEnv env;
    unsetenv("QRO_NO_MEMORY_MANAGER");
    try {
      runRound(seed, round, rng, env, inPlace, passed, temporaries);
    } catch (const QroException& e) {
      ADD_FAILURE() << "seed " << seed << " round " << round << ": "
                    << (e.getMessage() ? e.getMessage() : "");
    }
    env.end();
  }
  return {inPlace, passed};
}

TEST(RepeatedOperands, SolutionsMatchBruteForceOfTheTree) {
  // The rounds exercise terms extended in place, not only fresh ones.
  EXPECT_GT(runRounds(qrotest::seedOr(20261212), false).first, 0);
}

// Operands passed on as temporaries, taken apart by the operators.
TEST(RepeatedOperands, SolutionsMatchBruteForceOfTheTreeWithTemporaries) {
  std::pair<int, int> counts = runRounds(qrotest::seedOr(20261213), true);
  EXPECT_GT(counts.first, 0);
  EXPECT_GT(counts.second, 0);
}

// Shapes that once lost, changed or freed an operand used twice: u, w, z
// over small domains, each case stated through the solver against its
// meaning. Without pools, an operand freed too early is caught.
TEST(RepeatedOperands, SharedOperandsKeepTheirMeaning) {
  using Vars = std::vector<QroNumVar>;
  using Values = std::vector<int64_t>;
  struct Case {
    const char* name;
    std::function<QroConstraint(QroEnv&, QroModel&, const Vars&)> build;
    std::function<bool(int64_t u, int64_t w, int64_t z)> check;
  };
  auto arg = [](const QroNumVar& v) { return QroNumExprArg(v); };
  const std::vector<Case> cases = {
      {"s + (s + w) >= 8, s = u*u",
       [&](QroEnv& env, QroModel&, const Vars& v) {
         QroNumExprArg s = v[0] * v[0];
         return QroRange(env, 8, s + (s + arg(v[1])), QroNumVar::Infinity());
       },
       [](int64_t u, int64_t w, int64_t) { return 2 * u * u + w >= 8; }},
      {"s + (s + w) * 2 >= 8",
       [&](QroEnv& env, QroModel&, const Vars& v) {
         QroNumExprArg s = v[0] * v[0];
         return QroRange(env, 8, s + (s + arg(v[1])) * 2.0, QroNumVar::Infinity());
       },
       [](int64_t u, int64_t w, int64_t) { return 3 * u * u + 2 * w >= 8; }},
      {"s + ((s + w) + w*z) <= 3",
       [&](QroEnv&, QroModel&, const Vars& v) {
         QroNumExprArg s = v[0] * v[0];
         return s + ((s + arg(v[1])) + v[1] * v[2]) <= 3;
       },
       [](int64_t u, int64_t w, int64_t z) { return 2 * u * u + w + w * z <= 3; }},
      {"s + (5 - s) == w",
       [&](QroEnv&, QroModel&, const Vars& v) {
         QroNumExprArg s = v[0] * v[0];
         return s + (5.0 - s) == arg(v[1]);
       },
       [](int64_t, int64_t w, int64_t) { return w == 5; }},
      {"g + (g + w) * 0 <= 2, g = (u + 1) * (w + 2)",
       [&](QroEnv&, QroModel&, const Vars& v) {
         QroNumExprArg g = (arg(v[0]) + 1.0) * (arg(v[1]) + 2.0);
         return g + (g + arg(v[1])) * 0.0 <= 2;
       },
       [](int64_t u, int64_t w, int64_t) { return (u + 1) * (w + 2) <= 2; }},
      {"h + (h + w) * 2 <= 4, h = 3 g",
       [&](QroEnv&, QroModel&, const Vars& v) {
         QroNumExprArg h = ((arg(v[0]) + 1.0) * (arg(v[1]) + 2.0)) * 3.0;
         return h + (h + arg(v[1])) * 2.0 <= 4;
       },
       [](int64_t u, int64_t w, int64_t) { return 9 * (u + 1) * (w + 2) + 2 * w <= 4; }},
      // 2z + t extends t in place (t means 2z + 2u from then on).
      {"t + (2z + t) <= 1, t = 2u",
       [&](QroEnv&, QroModel&, const Vars& v) {
         QroNumExprArg t = 2.0 * v[0];
         return t + (2.0 * v[2] + t) <= 1;
       },
       [](int64_t u, int64_t, int64_t z) { return 4 * u + 4 * z <= 1; }},
      {"t + (2z + t) <= 1, t = 2u held by the model",
       [&](QroEnv&, QroModel& model, const Vars& v) {
         QroNumExprArg t = 2.0 * v[0];
         model.add(t <= 100);
         return t + (2.0 * v[2] + t) <= 1;
       },
       [](int64_t u, int64_t, int64_t z) { return 4 * u + 2 * z <= 1; }},
      {"t + (2z - t) <= 1, t = 2u + 1",
       [&](QroEnv&, QroModel&, const Vars& v) {
         QroNumExprArg t = 2.0 * v[0] + 1.0;
         return t + (2.0 * v[2] - t) <= 1;
       },
       [](int64_t, int64_t, int64_t z) { return 2 * z <= 1; }},
      {"(2z - t) + t <= 1, t = w + 1",
       [&](QroEnv&, QroModel&, const Vars& v) {
         QroNumExprArg t = arg(v[1]) + 1.0;
         return (QroNumExprArg(2.0 * v[2]) - t) + t <= 1;
       },
       [](int64_t, int64_t, int64_t z) { return 2 * z <= 1; }},
      {"k + (k + 1) <= 4, k = 3u as an integer term",
       [&](QroEnv&, QroModel&, const Vars& v) {
         QroNumExprArg k = arg(v[0]) * QroInt(3);
         return k + (k + 1.0) <= 4;
       },
       [](int64_t u, int64_t, int64_t) { return 6 * u + 1 <= 4; }},
      // A range moves the constant of a copy of a named term into its
      // bounds: e keeps its meaning for the next constraint.
      {"3 <= e <= 4 and e <= 2, e = u + 2",
       [&](QroEnv& env, QroModel& model, const Vars& v) {
         QroNumExprArg e = arg(v[0]) + 2.0;
         model.add(QroRange(env, 3, e, 4));
         return e <= 2;
       },
       [](int64_t u, int64_t, int64_t) { return 3 <= u + 2 && u + 2 <= 4 && u + 2 <= 2; }},
      {"e == 3 and -1 <= e <= 2, e = u + w + 2",
       [&](QroEnv& env, QroModel& model, const Vars& v) {
         QroNumExprArg e = arg(v[0]) + v[1] + 2.0;
         model.add(e == QroNumExprArg(v[2]) * 0.0 + 3.0);
         return QroRange(env, -1, e, 2);
       },
       [](int64_t u, int64_t w, int64_t) { return u + w + 2 == 3 && u + w + 2 <= 2; }},
      {"e <= 3 and e + z <= 3, e = u - 1 (temporaries)",
       [&](QroEnv&, QroModel& model, const Vars& v) {
         QroNumExprArg e = arg(v[0]) - 1.0;
         model.add(std::move(e) <= 3);
         return (arg(v[0]) - 1.0) + v[2] <= 3;
       },
       [](int64_t u, int64_t, int64_t z) { return u - 1 <= 3 && u - 1 + z <= 3; }},
      {"k in two ranges, k = 3u as an integer term",
       [&](QroEnv& env, QroModel& model, const Vars& v) {
         QroNumExprArg k = arg(v[0]) * QroInt(3);
         model.add(QroRange(env, -3, k, 6));
         return QroRange(env, 0, k, 9);
       },
       [](int64_t u, int64_t, int64_t) { return 0 <= 3 * u && 3 * u <= 6; }},
  };
  for (const Case& c : cases) {
    qrotest::ModelCase m;
    m.name = c.name;
    m.values = {Values{-2, -1, 0, 1, 2}, Values{-2, -1, 0, 1, 2, 3}, Values{-1, 0, 1, 2}};
    m.build = [&c](QroEnv& env, QroModel& model, const Vars& v) {
      model.add(c.build(env, model, v));
    };
    m.check = [&c](const Values& a) { return c.check(a[0], a[1], a[2]); };
    setenv("QRO_NO_MEMORY_MANAGER", "1", 1);
    EXPECT_EQ(qrotest::checkModelCase(m), 0) << c.name;
    unsetenv("QRO_NO_MEMORY_MANAGER");
  }
}

}  // namespace
