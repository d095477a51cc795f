// Random changes attempted while a solver searches: the model (variables,
// drawn constraints of the modelling layer and global ones, some of them in
// a sub-model) is searched by one solver while changes are tried on it, on a
// second model the search does not use, and on terms held by handles only.
// A change of what the search uses must be refused; after every refusal the
// model, the terms and the bounds are as they were and a fresh solver finds
// the brute-force solutions; a change of anything else goes through and an
// idle solver of the second model follows it. The searching solver finishes
// with the brute-force solutions, and searches again after changes made
// between searches. Terms listed by the models, held by nothing else but
// ranges that come and go, are given to holders that end, merged and
// rewritten by +, -, * and /, during the searches and between them: nothing
// is refused, the models keep them as they were, and ranges over the
// rewritten terms hold what brute force says. Half the rounds run without
// the environment's pools, so that the sanitizers catch what reads an ended
// object. Each failure prints the seed (replay with --qro_seed=N).
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "change_model.h"
#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolver.h"
#include "support/env_pools.h"
#include "support/term_holders.h"
#include "support/harness.h"
#include "support/model_search.h"
#include "support/seed.h"

namespace {

using changetest::A;
using changetest::acceptedAssignments;
using changetest::Exprs;
using changetest::Item;
using changetest::Rng;

std::string shown(QroExtractableI* x) {
  std::ostringstream os;
  x->display(os);
  return os.str();
}

std::string show(const A& a) {
  std::string s = "(";
  for (size_t i = 0; i < a.size(); ++i) s += (i ? "," : "") + std::to_string(a[i]);
  return s + ")";
}

// A drawn constraint and the model that holds it.
struct Placed {
  Item item;
  QroModel in;
};

// A term held by a handle only, and its display.
struct Loose {
  QroNumExprArg term;
  std::string text;
  bool live;
};

// A term that a model lists (directly): its value as a drawn expression, and
// its display, which nothing may change.
struct Listed {
  QroNumExprArg term;
  QroModel in;
  int value;
  std::string text;
};

// An operator's result over a listed term: its value, or -1 when drawn
// expressions cannot say it.
struct Rewritten {
  QroNumExprArg term;
  int value;
  std::string what;
};

class Round {
 public:
  Round(uint64_t seed, int round)
      : _seed(seed),
        _round(round),
        _rng(seed * 7919 + 31 * round),
        _env(qrotest::makeEnv(round % 2)) {}
  ~Round() { _env.end(); }

  // The number of refusals checked.
  int run() {
    try {
      if (!build()) return 0;
      for (int k = 0; k < 5 && _ok; ++k) {
        searchWhileChanging();
        if (_ok) changeBetweenSearches();
      }
    } catch (const QroException& e) {
      fail(std::string("unexpected ") + typeid(e).name() + " " +
           (e.getMessage() ? e.getMessage() : ""));
    }
    return _refusals;
  }

 private:
  // False when the drawn model is inconsistent from the start.
  bool build() {
    // "The model is inconsistent" goes nowhere.
    _env.setOut(_env.getNullStream());
    _env.setError(_env.getNullStream());
    _model = QroModel(_env);
    _sub = QroModel(_env);
    _other = QroModel(_env);
    int n = 2 + static_cast<int>(_rng() % 3);
    _values = qrotest::randomDomains(_rng, n, -2, 3, 4);
    for (const A& v : _values) {
      std::string name = "x" + std::to_string(_vars.size());
      _vars.push_back(qrotest::makeIntVar(_env, v, name.c_str()));
      _model.add(_vars.back());
      _other.add(_vars.back());
      _domains.push_back(std::set<int64_t>(v.begin(), v.end()));
    }
    _model.add(_sub);
    for (int k = 0, count = 1 + static_cast<int>(_rng() % 3); k < count; ++k)
      place(_rng() % 3 ? _model : _sub);
    for (int k = 0, count = static_cast<int>(_rng() % 3); k < count; ++k) place(_other);
    for (int k = 0; k < 2; ++k) makeLoose();
    for (int k = 0, count = static_cast<int>(_rng() % 3); k < count; ++k) listTerm();
    try {
      _searching = QroSolver(_model);
      _idle = QroSolver(_other);
    } catch (const QroSolver::ModelInconsistent&) {
      return false;
    }
    return true;
  }

  void place(QroModel m) {
    Placed p{changetest::drawItem(_rng, _exprs, _values), m};
    p.item.node = p.item.build(_env, _vars);
    note("add " + p.item.text + (m.getImpl() == _other.getImpl() ? " to the other model" : ""));
    _placed.push_back(p);
    m.add(QroExtractable(p.item.node));
  }

  // A sum of two drawn expressions: never a variable itself.
  void makeLoose() {
    int e = _exprs.draw(_rng, static_cast<int>(_vars.size()), 1);
    int f = _exprs.draw(_rng, static_cast<int>(_vars.size()), 1);
    Loose l{_exprs.build(e, _vars) + _exprs.build(f, _vars), "", true};
    l.text = shown(l.term.getImpl());
    _loose.push_back(l);
  }

  QroModel someModel() {
    switch (_rng() % 3) {
      case 0:
        return _model;
      case 1:
        return _sub;
      default:
        return _other;
    }
  }

  std::string nameOf(const QroModel& m) const {
    return m.getImpl() == _model.getImpl() ? "the model"
           : m.getImpl() == _sub.getImpl() ? "the sub-model"
                                           : "the other model";
  }

  // A sum of two drawn expressions listed by a model, now and then with a
  // range over it in a model.
  void listTerm() {
    int a = _exprs.draw(_rng, static_cast<int>(_vars.size()), 1);
    int value =
        combine(changetest::Expr::Add, a, _exprs.draw(_rng, static_cast<int>(_vars.size()), 1));
    Listed l{_exprs.build(value, _vars), someModel(), value, ""};
    l.text = shown(l.term.getImpl());
    note("list " + _exprs.show(value) + " in " + nameOf(l.in));
    l.in.add(QroExtractable(l.term.getImpl()));
    _listed.push_back(l);
    if (_rng() % 2) placeRange(l.term, value, "listed " + _exprs.show(value), someModel());
  }

  // A range over a term whose value is the drawn expression.
  void placeRange(QroNumExprArg term, int value, const std::string& what, QroModel m) {
    int64_t lo = static_cast<int64_t>(_rng() % 6) - 3, hi = lo + static_cast<int64_t>(_rng() % 4);
    Item it;
    it.text = std::to_string(lo) + " <= " + what + " <= " + std::to_string(hi);
    it.build = [term, lo, hi](QroEnv& env, const std::vector<QroNumVar>&) -> QroExtractableI* {
      return QroRange(env, static_cast<double>(lo), term, static_cast<double>(hi)).getImpl();
    };
    it.holds = [this, value, lo, hi](const A& a) {
      int64_t v = _exprs.eval(value, a);
      return lo <= v && v <= hi;
    };
    Placed p{it, m};
    p.item.node = it.build(_env, _vars);
    note("add " + it.text + " to " + nameOf(m));
    _placed.push_back(p);
    m.add(QroExtractable(p.item.node));
  }

  // The drawn expression k * the listed term's value.
  int times(const Listed& l, int64_t k) {
    changetest::Expr e;
    e.op = changetest::Expr::Times;
    e.k = k;
    e.a = l.value;
    return _exprs.add(e);
  }
  // a + b or a - b, and x + 1.
  int combine(changetest::Expr::Op op, int a, int b) {
    changetest::Expr e;
    e.op = op;
    e.a = a;
    e.b = b;
    return _exprs.add(e);
  }
  int plusOne(int x) {
    changetest::Expr one;
    one.op = changetest::Expr::Const;
    one.k = 1;
    return combine(changetest::Expr::Add, x, _exprs.add(one));
  }

  // An operator over the listed term: a new term, the listed one unchanged.
  Rewritten rewrite(const Listed& l) {
    using changetest::Expr;
    int v = _exprs.draw(_rng, static_cast<int>(_vars.size()), 0);
    QroNumExprArg h = l.term;
    QroNumExprArg x = _exprs.build(v, _vars);
    std::string base = _exprs.show(l.value);
    switch (_rng() % 7) {
      case 0:
        h = h + x;
        return {h, combine(Expr::Add, l.value, v), base + " + " + _exprs.show(v)};
      case 1:
        return {(x + 1.0) + h, combine(Expr::Add, plusOne(v), l.value),
                "(" + _exprs.show(v) + " + 1) + " + base};
      case 2:
        return {h - x, combine(Expr::Sub, l.value, v), base + " - " + _exprs.show(v)};
      case 3:
        return {h * 2.0, times(l, 2), base + " * 2"};
      case 4: {
        QroNumExprArg k = (QroNumExprArg(_vars[0]) - QroNumExprArg(_vars[0])) + 3.0;
        return {k * h, times(l, 3), "3 * " + base};
      }
      case 5:
        return {h / 2.0, -1, base + " / 2"};
      default:
        return {(x + 1.0) + QroNumExprArg::Sole(h.getImpl()),
                combine(Expr::Add, plusOne(v), l.value),
                "(" + _exprs.show(v) + " + 1) + the sole " + base};
    }
  }

  std::string heldAndEnded(const Listed& l) {
    QroNumExprArg other(_vars[_rng() % _vars.size()]);
    return qrotest::holdAndEnd(_env, l.term, other,
                               static_cast<int>(_rng() % qrotest::kTermHolders));
  }

  // The listed term of a rewrite or a holder: what it yields, when a range
  // may go over it.
  Rewritten touchListed(bool searching) {
    Listed& l = _listed[_rng() % _listed.size()];
    if (_rng() % 3 == 0) {
      note(std::string(searching ? "during the search: " : "") + "hold " + _exprs.show(l.value) +
           " by " + heldAndEnded(l) + ", ended");
      return {QroNumExprArg(), -1, ""};
    }
    Rewritten r = rewrite(l);
    note(std::string(searching ? "during the search: " : "") + "rewrite " + r.what);
    if (r.term.getImpl() == l.term.getImpl()) fail("the listed term " + l.text + " was rewritten");
    return r;
  }

  // Every listed term is still in its model, as it was.
  bool listedKept() {
    for (const Listed& l : _listed) {
      bool in = false;
      for (QroModel::Iterator it(l.in.getImpl()); it.ok(); ++it) in = in || *it == l.term.getImpl();
      if (!in) return fail("the model no longer lists " + l.text);
      if (shown(l.term.getImpl()) != l.text)
        return fail("the listed term " + l.text + " became " + shown(l.term.getImpl()));
    }
    return true;
  }

  std::set<A> solutions(const QroModel& m) const {
    bool inOther = m.getImpl() == _other.getImpl();
    return acceptedAssignments(_domains, [this, inOther](const A& a) {
      for (const Placed& p : _placed)
        if (p.item.node && (p.in.getImpl() == _other.getImpl()) == inOther && !p.item.holds(a))
          return false;
      return true;
    });
  }

  A valuesOf(const QroSolver& s) const {
    A a;
    for (const QroNumVar& x : _vars) a.push_back(static_cast<int64_t>(s.getValue(x)));
    return a;
  }

  // Every solution of a search, started or not; false on a failure.
  bool compare(const QroSolver& s, const QroModel& m, bool started, std::set<A> got,
               const char* who) {
    std::set<A> want = solutions(m);
    size_t count = got.size();
    try {
      if (!started) s.startNewSearch();
      while (count <= want.size() + 5 && s.next()) {
        got.insert(valuesOf(s));
        ++count;
      }
      s.endSearch();
    } catch (const QroSolver::ModelInconsistent&) {
      got.clear();
    }
    if (count != got.size()) return fail(std::string(who) + ": a solution found twice");
    for (const A& a : want)
      if (!got.count(a)) return fail(std::string(who) + " missed " + show(a));
    for (const A& a : got)
      if (!want.count(a)) return fail(std::string(who) + " found the non-solution " + show(a));
    return true;
  }

  bool freshAgrees(const QroModel& m, const char* who) {
    QroSolver fresh;
    try {
      fresh = QroSolver(m);
    } catch (const QroSolver::ModelInconsistent&) {
      return solutions(m).empty() || fail(std::string(who) + " refused a model with solutions");
    }
    bool ok = compare(fresh, m, false, {}, who);
    fresh.end();
    return ok;
  }

  std::string state() const {
    std::string s = shown(_model.getImpl()) + shown(_other.getImpl());
    for (const QroNumVar& x : _vars)
      s += std::to_string(x.getImpl()->getLB()) + ".." + std::to_string(x.getImpl()->getUB()) + " ";
    return s;
  }

  void searchWhileChanging() {
    std::set<A> got;
    try {
      _searching.startNewSearch();
    } catch (const QroSolver::ModelInconsistent&) {
      if (!solutions(_model).empty()) fail("the search refused a model with solutions");
      return;
    }
    if (_searching.next()) got.insert(valuesOf(_searching));
    for (int k = 0, count = 1 + static_cast<int>(_rng() % 4); k < count && _ok; ++k) attempt();
    if (_ok) compare(_searching, _model, true, got, "the searching solver");
    if (_ok && _rng() % 3 == 0) compare(_idle, _other, false, {}, "the idle solver");
  }

  // The indexes of the drawn constraints still there, in the searched model
  // (with its sub-model) or in the other one.
  std::vector<size_t> placedIn(bool other) const {
    std::vector<size_t> out;
    for (size_t i = 0; i < _placed.size(); ++i)
      if (_placed[i].item.node && (_placed[i].in.getImpl() == _other.getImpl()) == other)
        out.push_back(i);
    return out;
  }

  // A change of what the search uses; none when there is nothing to change.
  std::function<void()> changeOfUsed(std::string& what) {
    std::vector<size_t> used = placedIn(false);
    QroNumVar x = _vars[_rng() % _vars.size()];
    switch (_rng() % 6) {
      case 0:
        what = "end " + std::string(x.getName());
        return [x] { QroNumVar(x).end(); };
      case 1:
      case 2: {
        if (used.empty()) return nullptr;
        Item& it = _placed[used[_rng() % used.size()]].item;
        what = "end " + it.text;
        QroExtractableI* node = it.node;
        if (node->isType(QroRangeI::GetTypeInfo()) && _rng() % 2) {
          node = static_cast<QroRangeI*>(node)->getExpr();
          what += " (its term)";
        }
        return [node] { QroExtractable(node).end(); };
      }
      case 3:
        what = "end the sub-model";
        return [this] { QroModel(_sub).end(); };
      case 4: {
        Item it = changetest::drawItem(_rng, _exprs, _values);
        QroModel m = _rng() % 2 ? _model : _sub;
        what = "add " + it.text;
        QroExtractableI* node = it.build(_env, _vars);
        return [m, node] { QroModel(m).add(QroExtractable(node)); };
      }
      default: {
        double lb = x.getImpl()->getLB() + static_cast<double>(_rng() % 2);
        double ub = x.getImpl()->getUB() - static_cast<double>(_rng() % 2);
        int which = static_cast<int>(_rng() % 3);
        what = "bounds of " + std::string(x.getName());
        return [x, lb, ub, which] {
          QroNumVarI* v = x.getImpl();
          if (which == 0) v->setLB(lb);
          if (which == 1) v->setUB(ub);
          if (which == 2) v->setBounds(lb, ub);
        };
      }
    }
  }

  // A change of what the search does not use: the other model, the terms
  // held by handles only.
  std::function<void()> changeOfUnused(std::string& what) {
    std::vector<size_t> unused = placedIn(true);
    switch (_rng() % 3) {
      case 0: {
        if (unused.empty()) return nullptr;
        size_t i = unused[_rng() % unused.size()];
        what = "end " + _placed[i].item.text + " of the other model";
        return [this, i] {
          QroExtractable(_placed[i].item.node).end();
          _placed[i].item.node = nullptr;
        };
      }
      case 1: {
        Item it = changetest::drawItem(_rng, _exprs, _values);
        what = "add " + it.text + " to the other model";
        return [this, it]() mutable {
          it.node = it.build(_env, _vars);
          _other.add(QroExtractable(it.node));
          _placed.push_back(Placed{it, _other});
        };
      }
      default: {
        size_t i = _rng() % _loose.size();
        if (!_loose[i].live) {
          makeLoose();
          return nullptr;
        }
        what = "end the loose term " + _loose[i].text;
        return [this, i] {
          QroExtractable(_loose[i].term.getImpl()).end();
          _loose[i].live = false;
        };
      }
    }
  }

  // A listed term rewritten or held during the search: nothing is refused
  // and nothing the solvers see changes.
  void touchDuringSearch() {
    std::string before = state();
    try {
      touchListed(true);
    } catch (const QroNoChangeDuringSearchException&) {
      fail("refused");
      return;
    }
    if (state() != before) fail("the model changed:\n" + before + "\nbecame\n" + state());
    if (_ok && listedKept()) freshAgrees(_model, "a fresh solver");
  }

  // One change tried during the search, and what must hold after it.
  void attempt() {
    if (!_listed.empty() && _rng() % 4 == 0) return touchDuringSearch();
    std::string what;
    bool refused = _rng() % 3 != 0;
    std::function<void()> change = refused ? changeOfUsed(what) : changeOfUnused(what);
    if (!change) return;
    note("during the search: " + what);
    std::string before = state();
    bool threw = false;
    try {
      change();
    } catch (const QroNoChangeDuringSearchException&) {
      threw = true;
    }
    if (threw != refused) {
      fail(refused ? "not refused" : "refused");
      return;
    }
    if (!refused) {
      freshAgrees(_other, "a fresh solver of the other model");
      return;
    }
    ++_refusals;
    if (state() != before)
      fail("the refusal changed the model:\n" + before + "\nbecame\n" + state());
    for (const Loose& l : _loose)
      if (l.live && shown(l.term.getImpl()) != l.text)
        fail("the refusal changed the term " + l.text + " into " + shown(l.term.getImpl()));
    if (_ok) freshAgrees(_model, "a fresh solver");
  }

  // A change with no search running, which the next search and the idle
  // solver must see.
  void changeBetweenSearches() {
    changeOnce();
    if (_ok && listedKept()) compare(_idle, _other, false, {}, "the idle solver");
  }

  void changeOnce() {
    switch (_rng() % 5) {
      case 3:
        listTerm();
        return;
      case 4: {
        if (_listed.empty()) return listTerm();
        Rewritten r = touchListed(false);
        if (r.value >= 0) placeRange(r.term, r.value, _exprs.show(r.value), someModel());
        return;
      }
      case 0:
        place(_rng() % 2 ? _model : _sub);
        break;
      case 1: {
        for (Placed& p : _placed) {
          if (!p.item.node || p.in.getImpl() == _other.getImpl() || _rng() % 2) continue;
          note("end " + p.item.text);
          QroExtractable(p.item.node).end();
          p.item.node = nullptr;
          return;
        }
        break;
      }
      default: {
        size_t i = _rng() % _vars.size();
        int64_t lo = *_domains[i].begin(), hi = *_domains[i].rbegin();
        if (lo < hi) {
          if (_rng() % 2)
            ++lo;
          else
            --hi;
        }
        std::set<int64_t>& d = _domains[i];
        d.erase(d.begin(), d.lower_bound(lo));
        d.erase(d.upper_bound(hi), d.end());
        note("x" + std::to_string(i) + " in " + std::to_string(lo) + ".." + std::to_string(hi));
        _vars[i].setBounds(static_cast<double>(lo), static_cast<double>(hi));
      }
    }
  }

  void note(const std::string& s) { _history.push_back(s); }

  bool fail(const std::string& what) {
    std::ostringstream os;
    os << "seed " << _seed << " round " << _round << ": " << what;
    ADD_FAILURE() << changetest::describeRun(os.str(), _seed, _values, _history);
    _ok = false;
    return false;
  }

  uint64_t _seed;
  int _round;
  Rng _rng;
  QroEnv _env;
  QroModel _model, _sub, _other;
  QroSolver _searching, _idle;
  std::vector<QroNumVar> _vars;
  std::vector<A> _values;
  std::vector<std::set<int64_t>> _domains;
  Exprs _exprs;
  std::vector<Placed> _placed;
  std::vector<Loose> _loose;
  std::vector<Listed> _listed;
  std::vector<std::string> _history;
  int _refusals = 0;
  bool _ok = true;
};

TEST(SearchChanges, RefusedChangesLeaveTheModelAsItWas) {
  uint64_t seed = qrotest::seedOr(20270114);
  int refusals = 0;
  for (int round = 0; round < 300; ++round) refusals += Round(seed, round).run();
  EXPECT_GT(refusals, 1000);
  std::printf("%d refusals checked\n", refusals);
}

}  // namespace
