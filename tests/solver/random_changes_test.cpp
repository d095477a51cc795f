// Random models through the solver, changed between searches: constraints of
// the modelling layer and global constraints through their builders (over
// arrays of expressions, elements repeated) are added and ended, variable
// bounds and filter levels change, an objective comes and goes. After every
// change the solver searches again on the same model, in edit and in no-edit
// mode: every solution set must be the brute-force one, and an objective's
// optimum the brute-force optimum at a solution of every constraint. Now and
// then a solver listener throws at one of its events in the next solve or
// search start, which is then made again. Each
// failure prints the seed (replay with --qro_seed=N), the round, the changes
// made so far and the model as it stands.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "change_model.h"
#include "qrcdefaultsearch.h"
#include "qrcimpact.h"
#include "qrcintgoals.h"
#include "qrcintshaving.h"
#include "qrcmanager.h"
#include "qrcsearch.h"
#include "qromodel.h"
#include "qrooperators.h"
#include "qrosolver.h"
#include "qrosolveri.h"
#include "qrosolverextractor.h"
#include "solver_support.h"
#include "support/harness.h"
#include "support/model_search.h"
#include "support/seed.h"

namespace {

using changetest::A;
using changetest::acceptedAssignments;
using changetest::Exprs;
using changetest::Item;
using changetest::Rng;

std::string show(const A& a) {
  std::string s = "(";
  for (size_t i = 0; i < a.size(); ++i) s += (i ? "," : "") + std::to_string(a[i]);
  return s + ")";
}

// The look-ahead of a round: impacts on, the search goal (the solver's
// impact-based default search, or the impact initialisation before a plain
// labelling or before the customizable goal), limits on every search, and
// integer shaving on every variable extracted.
struct LookAhead {
  bool on = false;
  int goal = 0;
  bool shaving = false;
};

// The switches of the next customizable goal, and the limit that the next
// objective solve's goal sets once (0 none, 1 fails, 2 choice points, 3 a
// time limit reached at once).
struct {
  bool best, bubbling, probing;
  int limit;
  QrcInt count;
} g_look;

void setLimit(QrcManagerI* m, int kind, QrcInt count) {
  if (kind == 1) m->setFailLimit(count);
  if (kind == 2) m->setChoicePointLimit(count);
  if (kind == 3) m->setTimeLimit(1e-9);
}

QrcGoalI* initialization(QrcManagerI* m) {
  return new (m)
      QrcInternalInitializeImpactDichotomyGoalI(m, m->getSolver()->getImpactInformation(), 5);
}
QrcGoalI* initializedLabelling(QrcManagerI* m) {
  QrcIntVarArray vars = m->getSolver()->getImpactInformation()->getVariables();
  return QrcAnd(initialization(m), QrcGenerate(vars)).getImpl();
}
QrcGoalI* initializedCustomizable(QrcManagerI* m) {
  QroSolverI* s = m->getSolver();
  QrcIntVarArray vars = s->getExtractorManager()->getDefaultExtractor()->makeIntDecisionVars();
  QrcCustomizableGoalI* g = s->getImpactInformation()->makeCustomizableGoal(vars);
  g->setBest(g_look.best);
  g->setBubbling(g_look.bubbling);
  g->setProbingSizeLimit(g_look.probing ? 4 : 0);
  return QrcAnd(initialization(m), g).getImpl();
}
// The default search under the limit asked for: set once, so that the
// solver's replay of the best solution runs without it.
QrcGoalI* limitedDefault(QrcManagerI* m) {
  setLimit(m, g_look.limit, g_look.count);
  g_look.limit = 0;
  return QrcDefaultGoal(QrcManager(m)).getImpl();
}

// Process-wide integer shaving for one round.
struct IntShaving {
  explicit IntShaving(bool on) {
    setGlobalIntShavingLevel(on ? 3 : 0);
    setGlobalIntShavingOn(on);
  }
  ~IntShaving() {
    setGlobalIntShavingLevel(0);
    setGlobalIntShavingOn(false);
  }
};

// One round: a drawn model, its solver and the changes made to both.
class Round {
 public:
  Round(uint64_t seed, int round, bool edit, LookAhead look = LookAhead())
      : _seed(seed),
        _round(round),
        _edit(edit),
        _look(look),
        _rng(seed * 1000003 + static_cast<uint64_t>(round)),
        _userRng(seed * 1000033 + static_cast<uint64_t>(round)),
        _listener(_env.getImpl()) {}
  ~Round() { _env.end(); }

  void run() {
    IntShaving shaving(_look.shaving);
    try {
      build();
      if (!start()) return;
      for (int step = 0; step < 8; ++step) {
        if (!search()) break;
        if (!change()) break;
      }
      _solver.end();
    } catch (const QroSolver::Exception& e) {
      fail(std::string("unexpected ") + typeid(e).name() + " " +
           (e.getMessage() ? e.getMessage() : ""));
    } catch (const QroException& e) {
      fail(std::string("unexpected ") + typeid(e).name() + " " +
           (e.getMessage() ? e.getMessage() : ""));
    } catch (const solvertest::Stop&) {
      fail("the listener's exception came twice");
    }
  }

 private:
  // The variables and the first constraints.
  void build() {
    _model = QroModel(_env);
    int n = 3 + static_cast<int>(_rng() % 2);
    _values = qrotest::randomDomains(_rng, n, -2, 3, 4);
    for (const A& v : _values) {
      _vars.push_back(qrotest::makeIntVar(_env, v));
      _model.add(_vars.back());
      _lo.push_back(v.front());
      _hi.push_back(v.back());
      _domains.push_back(std::set<int64_t>(v.begin(), v.end()));
    }
    for (int k = 0, count = 1 + static_cast<int>(_rng() % 3); k < count; ++k) addItem();
  }

  // The solver over the model; false when it refused an inconsistent one.
  bool start() {
    try {
      _solver = QroSolver(_model, _edit ? &QrcEdit : &QrcNoEdit);
      _solver.getImpl()->setOut(_out);
      if (_look.on) _solver.setImpactMode(1);
    } catch (const QroSolver::ModelInconsistent&) {
      if (!solutions().empty()) fail("the solver refused a model with solutions");
      return false;
    }
    return true;
  }

  void addItem() {
    Item it = changetest::drawItem(_rng, _exprs, _values);
    it.node = it.build(_env, _vars);
    note("add " + it.text);
    _items.push_back(it);
    _model.add(QroExtractable(it.node));
  }

  // The assignments of the variables' current values that every constraint
  // accepts.
  std::set<A> solutions() const {
    return acceptedAssignments(_domains, [this](const A& a) {
      for (const Item& it : _items)
        if (it.node && !it.holds(a)) return false;
      return true;
    });
  }

  A valuesNow() const {
    A a;
    for (const QroNumVar& x : _vars) a.push_back(static_cast<int64_t>(_solver.getValue(x)));
    return a;
  }

  // Searches on the model as it stands; false once the round must stop.
  bool search() {
    std::set<A> want = solutions();
    if (want.empty()) note("(no solution)");
    if (_objective >= 0) return optimum(want);
    std::set<A> got;
    size_t count = 0;
    try {
      // A limit set before the start goes with it.
      if (_look.on && _rng() % 2) limit();
      QroGoal goal = searchGoal();
      again([&] { _solver.startNewSearch(goal); });
    } catch (const QroSolver::ModelInconsistent&) {
      // The changes go on: the next search must see the model as it then is.
      return want.empty() || fail("the search refused a model with solutions");
    }
    if (_look.on && _rng() % 2) limit();
    while (count <= want.size() + 10 && _solver.next()) {
      got.insert(valuesNow());
      ++count;
    }
    bool exhausted = !_look.on || restarts(want, got);
    _solver.endSearch();
    if (!_look.on && count != got.size()) fail("a solution found twice");
    for (const A& a : got)
      if (!want.count(a)) return fail("non-solution " + show(a));
    for (const A& a : want)
      if (exhausted && !got.count(a)) return fail("missed " + show(a));
    return true;
  }

  // A limit on the solver's manager, now and then none.
  void limit() {
    int kind = static_cast<int>(_rng() % 4);
    QrcInt count = 1 + static_cast<QrcInt>(_rng() % 4);
    note("limit " + std::to_string(kind) + " " + std::to_string(count));
    setLimit(_solver.getManagerI(), kind, count);
  }

  QroGoal searchGoal() {
    if (!_look.on || _look.goal == 0) return QroGoal();
    g_look.best = _rng() % 2;
    g_look.bubbling = _rng() % 2;
    g_look.probing = _rng() % 2;
    return solvertest::engineGoal(_env.getImpl(),
                                  _look.goal == 1 ? initializedLabelling : initializedCustomizable);
  }

  // A search that a limit stopped says so, and stays stopped under a new
  // limit; restarted, under a limit or none, it finds what it missed.
  // Whether the last run ended with the search space exhausted.
  bool restarts(const std::set<A>& want, std::set<A>& got) {
    QrcManagerI* m = _solver.getManagerI();
    for (int k = 0; k < 2 && m->getStatus() == QrcSearchLimited; ++k) {
      m->unsetLimits();
      if (_rng() % 2) {
        limit();
        if (_solver.next()) return fail("a stopped search went on");
      }
      if (_solver.getStatus() != QroSolver::Unknown) fail("a stopped search has a status");
      if (_rng() % 2) limit();
      note("restart");
      m->getCurrentSearch()->restart();
      for (size_t count = 0; count <= want.size() + 10 && _solver.next(); ++count)
        got.insert(valuesNow());
    }
    return m->getStatus() == QrcSearchExhausted;
  }

  bool optimum(const std::set<A>& want) {
    int64_t best = 0;
    bool first = true;
    for (const A& a : want) {
      int64_t v = _exprs.eval(_objective, a);
      if (first || (_sense > 0 ? v < best : v > best)) best = v;
      first = false;
    }
    bool found = false;
    try {
      again([&] { found = _look.on ? limitedSolve() : _solver.solve(); });
    } catch (const QroSolver::ModelInconsistent&) {
    }
    QroInt status = _solver.getStatus();
    bool proved = !_look.on || status == QroSolver::Optimal;
    if (found && want.empty()) return fail("an optimum of a model without solutions");
    if (!found && proved && !want.empty()) return fail("no optimum found");
    if (!found && status == QroSolver::Infeasible && !want.empty())
      return fail("a model with solutions said infeasible");
    if (!found) return true;
    A a = valuesNow();
    if (!want.count(a)) return fail("the optimum's solution " + show(a) + " breaks the model");
    int64_t value = _exprs.eval(_objective, a);
    if (_solver.getObjValue() != static_cast<double>(value) || (proved && value != best))
      return fail("optimum " + std::to_string(_solver.getObjValue()) + " at " + show(a) +
                  ", brute force " + std::to_string(best) +
                  (status == QroSolver::Optimal ? ", said optimal" : ""));
    return true;
  }

  // The solver's objective solve under a limit that its goal sets.
  QroBool limitedSolve() {
    g_look.limit = static_cast<int>(_rng() % 4);
    g_look.count = 1 + static_cast<QrcInt>(_rng() % 4);
    note("solve under limit " + std::to_string(g_look.limit) + " " + std::to_string(g_look.count));
    QroGoal goal = solvertest::engineGoal(_env.getImpl(), limitedDefault);
    return _solver.getImpl()->solveWithObjective(goal.getImpl(), QroSolver::RestartSearch, 0);
  }

  // Runs a solve or a search start, and once more when the listener threw;
  // the listener throws at no later event.
  template <class F>
  void again(F run) {
    try {
      run();
    } catch (const solvertest::Stop&) {
      note("the listener threw");
      run();
    }
    solvertest::throwPlan().armed = false;
  }

  // The listener throws at a drawn event of the next solve or search start.
  void armListener() {
    if (!_listener.getSolver()) _solver.getImpl()->addSolverListener(&_listener);
    solvertest::UserEvent event = static_cast<solvertest::UserEvent>(_userRng() % 5);
    note("the listener throws at event " + std::to_string(static_cast<int>(event)));
    solvertest::throwPlan() = {true, event, false};
  }

  // One change of the model; false when the model became inconsistent.
  bool change() {
    if (_userRng() % 4 == 0) armListener();
    try {
      switch (_rng() % 6) {
        case 0:
          addItem();
          break;
        case 1:
          endItem();
          break;
        case 2:
        case 3:
          changeBounds();
          break;
        case 4:
          changeLevel();
          break;
        default:
          changeObjective();
      }
    } catch (const QroSolver::ModelInconsistent&) {
      if (!solutions().empty()) fail("a change refused although the model has solutions");
      return false;
    }
    return true;
  }

  void endItem() {
    std::vector<size_t> in;
    for (size_t i = 0; i < _items.size(); ++i)
      if (_items[i].node) in.push_back(i);
    if (in.empty()) return addItem();
    Item& it = _items[in[_rng() % in.size()]];
    note("end " + it.text);
    QroExtractable(it.node).end();
    it.node = nullptr;
  }

  // New bounds; the values of the variable follow the rule of value lists:
  // a bound that rises drops the values it passes, one that falls adds every
  // integer it passes.
  void changeBounds() {
    size_t i = _rng() % _vars.size();
    const A& v = _values[i];
    int64_t l = _lo[i], u = _hi[i];
    if (_rng() % 3 == 0) {
      l = v.front();
      u = v.back();
    } else if (l < u) {
      if (_rng() % 2)
        ++l;
      else
        --u;
    }
    std::set<int64_t>& d = _domains[i];
    for (int64_t x = l; x < _lo[i]; ++x) d.insert(x);
    d.erase(d.begin(), d.lower_bound(l));
    for (int64_t x = _hi[i] + 1; x <= u; ++x) d.insert(x);
    d.erase(d.upper_bound(u), d.end());
    _lo[i] = l;
    _hi[i] = u;
    note("x" + std::to_string(i) + " in " + std::to_string(l) + ".." + std::to_string(u));
    _vars[i].setBounds(static_cast<double>(l), static_cast<double>(u));
  }

  void changeLevel() {
    std::vector<size_t> leveled;
    for (size_t i = 0; i < _items.size(); ++i)
      if (_items[i].node && _items[i].leveled) leveled.push_back(i);
    if (leveled.empty()) return changeBounds();
    Item& it = _items[leveled[_rng() % leveled.size()]];
    QroInt level = static_cast<QroInt>(_rng() % 4);
    note("level " + std::to_string(level) + " for " + it.text);
    _solver.setFilterLevel(QroConstraint(static_cast<QroConstraintI*>(it.node)), level);
  }

  void changeObjective() {
    if (_objective >= 0) {
      note("end the objective");
      _objectiveNode.end();
      _objective = -1;
      return;
    }
    _objective = _exprs.draw(_rng, static_cast<int>(_vars.size()), 1);
    _sense = _rng() % 2 ? 1 : -1;
    note(std::string(_sense > 0 ? "minimize " : "maximize ") + _exprs.show(_objective));
    _objectiveNode = QroObjective(_env, _exprs.build(_objective, _vars),
                                  _sense > 0 ? QroObjectiveI::Minimize : QroObjectiveI::Maximize);
    _model.add(_objectiveNode);
  }

  void note(const std::string& change) { _history.push_back(change); }

  bool fail(const std::string& what) {
    std::ostringstream os;
    os << "seed " << _seed << " round " << _round << (_edit ? " (edit)" : " (no edit)") << ": "
       << what;
    ADD_FAILURE() << changetest::describeRun(os.str(), _seed, _values, _history);
    return false;
  }

  uint64_t _seed;
  int _round;
  bool _edit;
  LookAhead _look;
  Rng _rng;
  // Draws the listener's exceptions, apart from the changes.
  Rng _userRng;
  QroEnv _env;
  solvertest::ThrowingListener _listener;
  QroModel _model;
  QroSolver _solver;
  // What the solver prints ("The model is inconsistent").
  std::ostringstream _out;
  std::vector<QroNumVar> _vars;
  std::vector<A> _values;
  // The bounds and values of each variable now.
  A _lo, _hi;
  std::vector<std::set<int64_t>> _domains;
  Exprs _exprs;
  std::vector<Item> _items;
  int _objective = -1;
  int _sense = 1;
  QroObjective _objectiveNode;
  std::vector<std::string> _history;
};

TEST(RandomModelChanges, EverySearchMatchesBruteForce) {
  uint64_t seed = qrotest::seedOr(20261211);
  for (int round = 0; round < 600; ++round)
    for (bool edit : {false, true}) Round(seed, round, edit).run();
}

// Look-ahead under limits: a stopped estimation or probe refutes nothing, a
// search says it ran out only when it did, and a solve says optimal only
// when it proved it; shaving never lets a non-solution through.
TEST(RandomModelChanges, LookAheadUnderLimitsMatchesBruteForce) {
  uint64_t seed = qrotest::seedOr(20270301);
  for (int round = 0; round < 120; ++round) {
    LookAhead look;
    look.on = round % 4 != 3;
    look.goal = round % 3;
    look.shaving = round % 4 >= 2;
    Round(seed, round, (round / 4) % 2 == 0, look).run();
  }
}

}  // namespace
