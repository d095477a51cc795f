#include "change_model.h"

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>

#include "extra_support.h"
#include "support/harness.h"
#include "qroalgorithm.h"
#include "qrooperators.h"
#include "qrosolverextra.h"
#include "qrosolverglobal.h"
#include "row_support.h"

namespace changetest {

using solvertest::Fields;
using solvertest::rowConstraint;
using solvertest::RowNode;
typedef std::vector<std::vector<int64_t>> Domains;

int Exprs::add(const Expr& e) {
  _nodes.push_back(e);
  return static_cast<int>(_nodes.size()) - 1;
}

int Exprs::draw(Rng& rng, int vars, int depth) {
  Expr e;
  e.var = static_cast<int>(rng() % static_cast<uint64_t>(vars));
  int k = static_cast<int>(rng() % (depth > 0 ? 8 : 2));
  if (k <= 3) return add(e);
  if (k == 4) {
    e.op = Expr::Times;
    e.k = rng() % 2 ? -1 : 2;
    e.a = draw(rng, vars, depth - 1);
    return add(e);
  }
  static const Expr::Op ops[] = {Expr::Add, Expr::Sub, Expr::Mul};
  e.op = ops[k - 5];
  e.a = draw(rng, vars, depth - 1);
  if (e.op != Expr::Mul && rng() % 3 == 0) {
    // x + c, as x + (c * y^0) is not an expression of its own.
    Expr c;
    c.op = Expr::Const;
    c.k = static_cast<int64_t>(rng() % 5) - 2;
    e.b = add(c);
  } else {
    e.b = draw(rng, vars, depth - 1);
  }
  return add(e);
}

int64_t Exprs::eval(int i, const A& v) const {
  const Expr& e = _nodes[static_cast<size_t>(i)];
  switch (e.op) {
    case Expr::Var:
      return v[static_cast<size_t>(e.var)];
    case Expr::Const:
      return e.k;
    case Expr::Add:
      return eval(e.a, v) + eval(e.b, v);
    case Expr::Sub:
      return eval(e.a, v) - eval(e.b, v);
    case Expr::Mul:
      return eval(e.a, v) * eval(e.b, v);
    case Expr::Times:
      return e.k * eval(e.a, v);
  }
  return 0;
}

QroNumExprArg Exprs::build(int i, const std::vector<QroNumVar>& vars) const {
  const Expr& e = _nodes[static_cast<size_t>(i)];
  const Expr& b = _nodes[static_cast<size_t>(e.b < 0 ? i : e.b)];
  switch (e.op) {
    case Expr::Var:
      return QroNumExprArg(vars[static_cast<size_t>(e.var)]);
    case Expr::Const:
      return 0.0 * QroNumExprArg(vars[0]) + static_cast<double>(e.k);
    case Expr::Add:
      if (b.op == Expr::Const) return build(e.a, vars) + static_cast<double>(b.k);
      return build(e.a, vars) + build(e.b, vars);
    case Expr::Sub:
      if (b.op == Expr::Const) return build(e.a, vars) - static_cast<double>(b.k);
      return build(e.a, vars) - build(e.b, vars);
    case Expr::Mul:
      return build(e.a, vars) * build(e.b, vars);
    case Expr::Times:
      return build(e.a, vars) * static_cast<QroInt>(e.k);
  }
  return QroNumExprArg();
}

std::string Exprs::show(int i) const {
  const Expr& e = _nodes[static_cast<size_t>(i)];
  switch (e.op) {
    case Expr::Var:
      return "x" + std::to_string(e.var);
    case Expr::Const:
      return std::to_string(e.k);
    case Expr::Times:
      return std::to_string(e.k) + " * " + show(e.a);
    default: {
      const char* op = e.op == Expr::Add ? " + " : e.op == Expr::Sub ? " - " : " * ";
      return "(" + show(e.a) + op + show(e.b) + ")";
    }
  }
}

namespace {

typedef std::vector<int> Terms;

std::string list(const Exprs& x, const Terms& t) {
  std::string s = "[";
  for (size_t i = 0; i < t.size(); ++i) s += (i ? ", " : "") + x.show(t[i]);
  return s + "]";
}

std::string ints(const std::vector<int64_t>& v) {
  std::string s = "{";
  for (size_t i = 0; i < v.size(); ++i) s += (i ? "," : "") + std::to_string(v[i]);
  return s + "}";
}

// Array elements: variables mostly, expressions now and then, an element
// repeated (the same variable, or the same expression built again).
Terms drawTerms(Rng& rng, Exprs& x, int vars, size_t count, bool variablesOnly = false) {
  Terms t;
  for (size_t i = 0; i < count; ++i) {
    if (!t.empty() && rng() % 5 == 0) {
      t.push_back(t[rng() % t.size()]);
      continue;
    }
    t.push_back(x.draw(rng, vars, variablesOnly ? 0 : static_cast<int>(rng() % 2)));
  }
  return t;
}

A evalAll(const Exprs& x, const Terms& t, const A& v) {
  A out;
  for (int e : t) out.push_back(x.eval(e, v));
  return out;
}

QroExtractableArray arrayOf(QroEnv& env, const Exprs& x, const Terms& t,
                            const std::vector<QroNumVar>& vars) {
  QroExtractableArray a(env, 0);
  for (int e : t) a.add(x.build(e, vars).getImpl());
  return a;
}

QroIntVarArray varsOf(QroEnv& env, const Exprs& x, const Terms& t,
                      const std::vector<QroNumVar>& vars) {
  QroIntVarArray a(env, 0);
  for (int e : t) a.add(QroNumVar(static_cast<QroNumVarI*>(x.build(e, vars).getImpl())));
  return a;
}

int64_t countOf(const A& a, int64_t v) {
  return std::count(a.begin(), a.end(), v);
}

bool in(const A& set, int64_t v) {
  return std::find(set.begin(), set.end(), v) != set.end();
}

int varCount(const Domains& d) {
  return static_cast<int>(d.size());
}

// ---------------------------------------------------------------- modelling layer

Item rangeItem(Rng& rng, Exprs& x, const Domains& d) {
  int e = x.draw(rng, varCount(d), 2);
  int64_t lo = static_cast<int64_t>(rng() % 7) - 3, hi = lo + static_cast<int64_t>(rng() % 5);
  const Exprs* px = &x;
  Item it;
  it.text = std::to_string(lo) + " <= " + x.show(e) + " <= " + std::to_string(hi);
  it.build = [px, e, lo, hi](QroEnv& env, const std::vector<QroNumVar>& v) {
    return QroRange(env, static_cast<double>(lo), px->build(e, v), static_cast<double>(hi))
        .getImpl();
  };
  it.holds = [px, e, lo, hi](const A& v) {
    int64_t r = px->eval(e, v);
    return lo <= r && r <= hi;
  };
  return it;
}

Item equalItem(Rng& rng, Exprs& x, const Domains& d) {
  int e = x.draw(rng, varCount(d), 1), f = x.draw(rng, varCount(d), 1);
  const Exprs* px = &x;
  Item it;
  it.text = x.show(e) + " == " + x.show(f);
  it.build = [px, e, f](QroEnv&, const std::vector<QroNumVar>& v) {
    return (px->build(e, v) == px->build(f, v)).getImpl();
  };
  it.holds = [px, e, f](const A& v) { return px->eval(e, v) == px->eval(f, v); };
  return it;
}

Item lexItem(Rng& rng, Exprs& x, const Domains& d) {
  size_t n = 1 + rng() % 2;
  Terms a = drawTerms(rng, x, varCount(d), n, true), b = drawTerms(rng, x, varCount(d), n, true);
  bool le = rng() % 2;
  const Exprs* px = &x;
  Item it;
  it.text = list(x, a) + (le ? " <=lex " : " >=lex ") + list(x, b);
  it.build = [px, a, b, le](QroEnv& env, const std::vector<QroNumVar>& v) -> QroExtractableI* {
    QroEnvI* e = env.getImpl();
    if (le) return new (e) QroLeLexI(e, varsOf(env, *px, a, v), varsOf(env, *px, b, v));
    return new (e) QroGeLexI(e, varsOf(env, *px, a, v), varsOf(env, *px, b, v));
  };
  it.holds = [px, a, b, le](const A& v) {
    A p = evalAll(*px, a, v), q = evalAll(*px, b, v);
    return le ? p <= q : p >= q;
  };
  return it;
}

Item stretchItem(Rng& rng, Exprs& x, const Domains& d) {
  Terms t = drawTerms(rng, x, varCount(d), 2 + rng() % 2, true);
  A values = {0, 1}, lo, hi;
  if (rng() % 2) values.push_back(2);
  for (size_t j = 0; j < values.size(); ++j) {
    lo.push_back(static_cast<int64_t>(rng() % 3));
    hi.push_back(lo.back() + static_cast<int64_t>(rng() % 2));
  }
  const Exprs* px = &x;
  Item it;
  it.text = "stretch(" + list(x, t) + ", values " + ints(values) + ", shortest " + ints(lo) +
            ", longest " + ints(hi) + ")";
  it.build = [px, t, values, lo, hi](QroEnv& env, const std::vector<QroNumVar>& v) {
    return new (env.getImpl())
        QroStretchI(env.getImpl(), varsOf(env, *px, t, v), solvertest::intsOf(env, lo),
                    solvertest::intsOf(env, hi), solvertest::intsOf(env, values));
  };
  it.holds = [px, t, values, lo, hi](const A& v) {
    for (const auto& run : qrotest::runsOf(evalAll(*px, t, v))) {
      auto at = std::find(values.begin(), values.end(), run.first);
      if (at == values.end()) return false;
      size_t j = static_cast<size_t>(at - values.begin());
      if (run.second < lo[j] || run.second > hi[j]) return false;
    }
    return true;
  };
  return it;
}

Item patternItem(Rng& rng, Exprs& x, const Domains& d) {
  Terms t = drawTerms(rng, x, varCount(d), 2 + rng() % 2, true);
  const int64_t stop = -9;
  std::vector<A> patterns(1 + rng() % 2);
  for (A& p : patterns) {
    p.push_back(static_cast<int64_t>(rng() % 3));
    p.push_back(static_cast<int64_t>(rng() % 3));
    p.push_back(rng() % 2 ? stop : static_cast<int64_t>(rng() % 3));
  }
  const Exprs* px = &x;
  Item it;
  it.text = "pattern(" + list(x, t) + ", forbidding";
  for (const A& p : patterns) it.text += " " + ints(p);
  it.text += ")";
  it.build = [px, t, patterns, stop](QroEnv& env, const std::vector<QroNumVar>& v) {
    std::vector<QroInt> rows;
    for (const A& p : patterns) rows.insert(rows.end(), p.begin(), p.end());
    QroEnvI* e = env.getImpl();
    return new (e)
        QroPatternI(e, varsOf(env, *px, t, v), new (e) solvertest::TestTupleSetI(e, 3, rows), stop);
  };
  it.holds = [px, t, patterns, stop](const A& v) {
    A runs;
    for (const auto& run : qrotest::runsOf(evalAll(*px, t, v))) runs.push_back(run.first);
    for (const A& p : patterns) {
      long len = p[2] == stop ? 2 : 3;
      if (std::search(runs.begin(), runs.end(), p.begin(), p.begin() + len) != runs.end())
        return false;
    }
    return true;
  };
  return it;
}

// ---------------------------------------------------------------- builders

Item allDiffItem(Rng& rng, Exprs& x, const Domains& d) {
  Terms t = drawTerms(rng, x, varCount(d), 2 + rng() % 2);
  const Exprs* px = &x;
  Item it;
  it.text = "alldiff" + list(x, t);
  it.build = [px, t](QroEnv& env, const std::vector<QroNumVar>& v) {
    Fields f;
    f.a[0] = arrayOf(env, *px, t, v);
    return rowConstraint<401>(
        env, f,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
          return extractAllDiff(a, n, g.a[0]);
        },
        [](QroAlgorithmI* a, const Fields& g) { a->remove(g.a[0]); });
  };
  it.holds = [px, t](const A& v) {
    A s = evalAll(*px, t, v);
    std::sort(s.begin(), s.end());
    return std::adjacent_find(s.begin(), s.end()) == s.end();
  };
  return it;
}

Item minDistanceItem(Rng& rng, Exprs& x, const Domains& d) {
  Terms t = drawTerms(rng, x, varCount(d), 2 + rng() % 2);
  int64_t k = 1 + static_cast<int64_t>(rng() % 2);
  const Exprs* px = &x;
  Item it;
  it.text = "min distance " + std::to_string(k) + list(x, t);
  it.leveled = true;
  it.build = [px, t, k](QroEnv& env, const std::vector<QroNumVar>& v) {
    Fields f;
    f.a[0] = arrayOf(env, *px, t, v);
    f.k[0] = k;
    return rowConstraint<402>(
        env, f,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
          return extractAllMinDistance(a, n, g.a[0], g.k[0]);
        },
        [](QroAlgorithmI* a, const Fields& g) { a->remove(g.a[0]); });
  };
  it.holds = [px, t, k](const A& v) {
    A e = evalAll(*px, t, v);
    for (size_t i = 0; i < e.size(); ++i)
      for (size_t j = i + 1; j < e.size(); ++j)
        if (std::llabs(e[i] - e[j]) < k) return false;
    return true;
  };
  return it;
}

// cards[k] counts values[k] among vars (k itself without values).
Item distributeItem(Rng& rng, Exprs& x, const Domains& d) {
  Terms vars = drawTerms(rng, x, varCount(d), 2 + rng() % 2);
  Terms cards = drawTerms(rng, x, varCount(d), 2);
  bool listed = rng() % 2;
  A values = listed ? A{static_cast<int64_t>(rng() % 3) - 1, 2} : A{0, 1};
  values.resize(cards.size());
  const Exprs* px = &x;
  Item it;
  it.text = "distribute(" + list(x, vars) + ", cards " + list(x, cards) +
            (listed ? ", values " + ints(values) : std::string()) + ")";
  it.leveled = true;
  it.build = [px, vars, cards, listed, values](QroEnv& env, const std::vector<QroNumVar>& v) {
    Fields f;
    f.a[0] = arrayOf(env, *px, vars, v);
    f.a[1] = arrayOf(env, *px, cards, v);
    if (listed) f.ints[0] = solvertest::intsOf(env, values);
    return rowConstraint<403>(
        env, f,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
          return extractDistribute(a, n, g.a[0], g.a[1], g.ints[0]);
        },
        [](QroAlgorithmI* a, const Fields& g) { removeArraysElementwise(a, g.a[0], g.a[1]); });
  };
  it.holds = [px, vars, cards, values](const A& v) {
    A e = evalAll(*px, vars, v), c = evalAll(*px, cards, v);
    for (size_t k = 0; k < c.size(); ++k)
      if (c[k] != countOf(e, values[k])) return false;
    return true;
  };
  return it;
}

// exprs[index] == y through the element expression's builder.
Item elementItem(Rng& rng, Exprs& x, const Domains& d) {
  Terms t = drawTerms(rng, x, varCount(d), 2 + rng() % 2);
  int index = x.draw(rng, varCount(d), static_cast<int>(rng() % 2));
  int y = x.draw(rng, varCount(d), 0);
  const Exprs* px = &x;
  Item it;
  it.text = list(x, t) + "[" + x.show(index) + "] == " + x.show(y);
  it.build = [px, t, index, y](QroEnv& env, const std::vector<QroNumVar>& v) {
    Fields f;
    f.a[0] = arrayOf(env, *px, t, v);
    f.child[0] = px->build(index, v).getImpl();
    QroIntExprI* e = new (env.getImpl()) RowNode<404, QroIntExprI>(
        env.getImpl(), f,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
          return extractElement(a, n, g.a[0], g.child[0]);
        },
        [](QroAlgorithmI* a, const Fields& g) { removeElementsAndIndex(a, g.a[0], g.child[0]); });
    return new (env.getImpl()) QroNumEqI(env.getImpl(), e, px->build(y, v).getImpl());
  };
  it.holds = [px, t, index, y](const A& v) {
    int64_t i = px->eval(index, v);
    if (i < 0 || i >= static_cast<int64_t>(t.size())) return false;
    return px->eval(t[static_cast<size_t>(i)], v) == px->eval(y, v);
  };
  return it;
}

// y == values[x] through the element caller's builder.
Item elementCallerItem(Rng& rng, Exprs& x, const Domains& d) {
  A values;
  for (size_t i = 0, n = 2 + rng() % 3; i < n; ++i)
    values.push_back(static_cast<int64_t>(rng() % 5) - 2);
  int index = x.draw(rng, varCount(d), static_cast<int>(rng() % 2));
  int y = x.draw(rng, varCount(d), static_cast<int>(rng() % 2));
  const Exprs* px = &x;
  Item it;
  it.text = x.show(y) + " == " + ints(values) + "[" + x.show(index) + "]";
  it.build = [px, values, index, y](QroEnv& env, const std::vector<QroNumVar>& v) {
    Fields f;
    f.child[0] = px->build(y, v).getImpl();
    f.ints[0] = solvertest::intsOf(env, values);
    f.child[2] = px->build(index, v).getImpl();
    return rowConstraint<405>(
        env, f,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
          return extractElementCaller(a, n, g.child[0], g.ints[0], g.child[2]);
        },
        [](QroAlgorithmI* a, const Fields& g) { removeThirdAndFirst(a, g.child[0], g.child[2]); });
  };
  it.holds = [px, values, index, y](const A& v) {
    int64_t i = px->eval(index, v);
    if (i < 0 || i >= static_cast<int64_t>(values.size())) return false;
    return px->eval(y, v) == values[static_cast<size_t>(i)];
  };
  return it;
}

Item tableItem(Rng& rng, Exprs& x, const Domains& d) {
  size_t arity = 2 + rng() % 2;
  Terms t = drawTerms(rng, x, varCount(d), arity);
  std::set<A> tuples;
  for (size_t k = 0, n = 2 + rng() % 6; k < n; ++k) {
    A tuple;
    for (size_t i = 0; i < arity; ++i) tuple.push_back(static_cast<int64_t>(rng() % 5) - 2);
    tuples.insert(tuple);
  }
  bool allowed = rng() % 2;
  const Exprs* px = &x;
  Item it;
  it.text = std::string(allowed ? "allowed" : "forbidden") + list(x, t) + " in";
  for (const A& u : tuples) it.text += " " + ints(u);
  it.build = [px, t, tuples, allowed, arity](QroEnv& env, const std::vector<QroNumVar>& v) {
    std::vector<QroInt> rows;
    for (const A& u : tuples) rows.insert(rows.end(), u.begin(), u.end());
    Fields f;
    f.a[0] = arrayOf(env, *px, t, v);
    f.child[0] = new (env.getImpl())
        solvertest::TestTupleSetI(env.getImpl(), static_cast<QroInt>(arity), rows);
    f.k[0] = allowed;
    return rowConstraint<406>(
        env, f,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
          return extractAllowedTuples(a, n, g.a[0], g.child[0], g.k[0]);
        },
        [](QroAlgorithmI* a, const Fields& g) { removeArrayAndOne(a, g.a[0], g.child[0]); });
  };
  it.holds = [px, t, tuples, allowed](const A& v) {
    return (tuples.count(evalAll(*px, t, v)) > 0) == allowed;
  };
  return it;
}

// Windows of width w hold lo..hi values of the set; cards count them.
Item sequenceItem(Rng& rng, Exprs& x, const Domains& d) {
  size_t n = 3;
  Terms vars = drawTerms(rng, x, varCount(d), n);
  Terms cards = drawTerms(rng, x, varCount(d), 1);
  int64_t w = 2, lo = static_cast<int64_t>(rng() % 2), hi = lo + 1;
  A values = {static_cast<int64_t>(rng() % 3)};
  const Exprs* px = &x;
  Item it;
  it.text = "sequence(" + std::to_string(lo) + ".." + std::to_string(hi) + " of " + ints(values) +
            " per 2 in " + list(x, vars) + ", cards " + list(x, cards) + ")";
  it.leveled = true;
  it.build = [px, vars, cards, values, lo, hi, w](QroEnv& env, const std::vector<QroNumVar>& v) {
    Fields f;
    f.a[0] = arrayOf(env, *px, vars, v);
    f.a[1] = arrayOf(env, *px, cards, v);
    f.ints[0] = solvertest::intsOf(env, values);
    f.k[0] = lo;
    f.k[1] = hi;
    f.k[2] = w;
    return rowConstraint<407>(
        env, f,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
          return extractSequence(a, n, g.k[0], g.k[1], g.k[2], g.a[0], g.ints[0], g.a[1]);
        },
        [](QroAlgorithmI* a, const Fields& g) { removeArraysElementwise(a, g.a[0], g.a[1]); });
  };
  it.holds = [px, vars, cards, values, lo, hi, w](const A& v) {
    A e = evalAll(*px, vars, v);
    for (size_t s = 0; s + static_cast<size_t>(w) <= e.size(); ++s) {
      int64_t c = 0;
      for (size_t i = s; i < s + static_cast<size_t>(w); ++i) c += in(values, e[i]);
      if (c < lo || c > hi) return false;
    }
    return px->eval(cards[0], v) == countOf(e, values[0]);
  };
  return it;
}

// f[i] == j exactly when invf[j] == i, for the indexes inside the arrays.
Item inverseItem(Rng& rng, Exprs& x, const Domains& d) {
  size_t nf = 1 + rng() % 2, ni = 1 + rng() % 2;
  Terms f = drawTerms(rng, x, varCount(d), nf), g = drawTerms(rng, x, varCount(d), ni);
  const Exprs* px = &x;
  Item it;
  it.text = "inverse(" + list(x, f) + ", " + list(x, g) + ")";
  it.build = [px, f, g](QroEnv& env, const std::vector<QroNumVar>& v) {
    Fields fl;
    fl.a[0] = arrayOf(env, *px, f, v);
    fl.a[1] = arrayOf(env, *px, g, v);
    return rowConstraint<408>(
        env, fl,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& h) {
          return extractInverse(a, n, h.a[0], h.a[1]);
        },
        [](QroAlgorithmI* a, const Fields& h) { removeArraysElementwise(a, h.a[0], h.a[1]); });
  };
  it.holds = [px, f, g](const A& v) {
    A p = evalAll(*px, f, v), q = evalAll(*px, g, v);
    auto inside = [](int64_t i, size_t n) { return i >= 0 && i < static_cast<int64_t>(n); };
    for (size_t i = 0; i < p.size(); ++i)
      if (inside(p[i], q.size()) && q[static_cast<size_t>(p[i])] != static_cast<int64_t>(i))
        return false;
    for (size_t j = 0; j < q.size(); ++j)
      if (inside(q[j], p.size()) && p[static_cast<size_t>(q[j])] != static_cast<int64_t>(j))
        return false;
    return true;
  };
  return it;
}

Item memberItem(Rng& rng, Exprs& x, const Domains& d) {
  int e = x.draw(rng, varCount(d), 1);
  A values;
  for (size_t i = 0, n = 1 + rng() % 3; i < n; ++i)
    values.push_back(static_cast<int64_t>(rng() % 6) - 2);
  const Exprs* px = &x;
  Item it;
  it.text = x.show(e) + " in " + ints(values);
  it.build = [px, e, values](QroEnv& env, const std::vector<QroNumVar>& v) {
    Fields f;
    f.child[0] = px->build(e, v).getImpl();
    f.ints[0] = solvertest::intsOf(env, values);
    return rowConstraint<409>(
        env, f,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
          return extractArrayMemberInt(a, n, g.child[0], g.ints[0]);
        },
        [](QroAlgorithmI* a, const Fields& g) { a->remove(g.child[0]); });
  };
  it.holds = [px, e, values](const A& v) { return in(values, px->eval(e, v)); };
  return it;
}

// y[i] == x[i] when x[i] is one of the values, else the abstract value.
Item abstractionItem(Rng& rng, Exprs& x, const Domains& d) {
  size_t n = 1 + rng() % 2;
  Terms ys = drawTerms(rng, x, varCount(d), n), xs = drawTerms(rng, x, varCount(d), n);
  A values = {static_cast<int64_t>(rng() % 3) - 1, 2};
  int64_t abstract = -2;
  const Exprs* px = &x;
  Item it;
  it.text = "abstraction(" + list(x, ys) + " of " + list(x, xs) + ", values " + ints(values) + ")";
  it.build = [px, ys, xs, values, abstract](QroEnv& env, const std::vector<QroNumVar>& v) {
    Fields f;
    f.a[0] = arrayOf(env, *px, ys, v);
    f.a[1] = arrayOf(env, *px, xs, v);
    f.ints[0] = solvertest::intsOf(env, values);
    f.k[0] = abstract;
    return rowConstraint<410>(
        env, f,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
          return extractEqAbstraction(a, n, g.a[0], g.a[1], g.ints[0], g.k[0]);
        },
        [](QroAlgorithmI* a, const Fields& g) { removeArraysElementwise(a, g.a[0], g.a[1]); });
  };
  it.holds = [px, ys, xs, values, abstract](const A& v) {
    A y = evalAll(*px, ys, v), z = evalAll(*px, xs, v);
    for (size_t i = 0; i < y.size(); ++i)
      if (y[i] != (in(values, z[i]) ? z[i] : abstract)) return false;
    return true;
  };
  return it;
}

// Items' bins (weights 1 and 2) and the loads of bins 0 and 1.
Item packItem(Rng& rng, Exprs& x, const Domains& d) {
  Terms loads = drawTerms(rng, x, varCount(d), 2), places = drawTerms(rng, x, varCount(d), 2);
  A weights = {1, 1 + static_cast<int64_t>(rng() % 2)};
  const Exprs* px = &x;
  Item it;
  it.text = "pack(loads " + list(x, loads) + ", places " + list(x, places) + ", weights " +
            ints(weights) + ")";
  it.build = [px, loads, places, weights](QroEnv& env, const std::vector<QroNumVar>& v) {
    Fields f;
    f.a[0] = arrayOf(env, *px, loads, v);
    f.a[1] = arrayOf(env, *px, places, v);
    f.ints[0] = solvertest::intsOf(env, weights);
    return rowConstraint<411>(
        env, f,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
          return extractPack(a, n, g.a[0], g.a[1], g.ints[0], g.child[0], g.ints[1]);
        },
        [](QroAlgorithmI* a, const Fields& g) { removePack(a, g.a[0], g.a[1], g.child[0]); });
  };
  it.holds = [px, loads, places, weights](const A& v) {
    A l = evalAll(*px, loads, v), p = evalAll(*px, places, v), sum(l.size(), 0);
    for (size_t i = 0; i < p.size(); ++i) {
      if (p[i] < 0 || p[i] >= static_cast<int64_t>(l.size())) return false;
      sum[static_cast<size_t>(p[i])] += weights[i];
    }
    return sum == l;
  };
  return it;
}

}  // namespace

Item drawItem(Rng& rng, Exprs& x, const Domains& d) {
  switch (rng() % 17) {
    case 0:
    case 1:
      return rangeItem(rng, x, d);
    case 2:
      return equalItem(rng, x, d);
    case 3:
      return lexItem(rng, x, d);
    case 4:
      return stretchItem(rng, x, d);
    case 5:
      return patternItem(rng, x, d);
    case 6:
      return allDiffItem(rng, x, d);
    case 7:
      return minDistanceItem(rng, x, d);
    case 8:
      return distributeItem(rng, x, d);
    case 9:
      return elementItem(rng, x, d);
    case 10:
      return elementCallerItem(rng, x, d);
    case 11:
      return tableItem(rng, x, d);
    case 12:
      return sequenceItem(rng, x, d);
    case 13:
      return inverseItem(rng, x, d);
    case 14:
      return memberItem(rng, x, d);
    case 15:
      return abstractionItem(rng, x, d);
    default:
      return packItem(rng, x, d);
  }
}

std::string describeRun(const std::string& header, uint64_t seed,
                        const std::vector<std::vector<int64_t>>& values,
                        const std::vector<std::string>& history) {
  std::ostringstream os;
  os << header << "\n(replay with --qro_seed=" << seed << ")\nvariables:";
  for (size_t i = 0; i < values.size(); ++i) {
    os << " x" << i << " in {";
    for (size_t j = 0; j < values[i].size(); ++j) os << (j ? "," : "") << values[i][j];
    os << "}";
  }
  os << "\nchanges:\n";
  for (const std::string& h : history) os << "  " << h << "\n";
  return os.str();
}

std::set<A> acceptedAssignments(const std::vector<std::set<int64_t>>& domains,
                                const std::function<bool(const A&)>& accepts) {
  std::set<A> out;
  size_t n = domains.size();
  std::vector<std::set<int64_t>::const_iterator> at;
  for (const auto& d : domains) {
    if (d.empty()) return out;
    at.push_back(d.begin());
  }
  A a(n);
  for (;;) {
    for (size_t i = 0; i < n; ++i) a[i] = *at[i];
    if (accepts(a)) out.insert(a);
    size_t i = 0;
    while (i < n && ++at[i] == domains[i].end()) at[i] = domains[i].begin(), ++i;
    if (i == n) return out;
  }
}

}  // namespace changetest
