#include "support/harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "qrcfail.h"
#include "qrcgoal.h"
#include "qrcint.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintexp.h"
#include "qrcsearch.h"
#include "support/seed.h"
#include "support/unpooled.h"

namespace qrotest {

namespace {

const int64_t MaxBruteForce = 2000000;
// Cases beyond so many assignments are not posted in a search again: the
// searches of every case add up.
const int64_t MaxPostedAssignments = 200000;

class IntKind : public VarKind {
 public:
  QrcExprI* make(QrcManagerI* m, const std::vector<int64_t>& values) const override {
    std::vector<int64_t> v = values;
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
    if (v.back() - v.front() + 1 == static_cast<int64_t>(v.size()))
      return new (m) QrcIntExpI(m, v.front(), v.back(), nullptr);
    return new (m) QrcIntExpI(m, static_cast<QrcInt>(v.size()), v.data(), nullptr);
  }
  bool contains(QrcExprI* x, int64_t value) const override {
    return static_cast<QrcIntExpI*>(x)->isInDomain(value);
  }
  bool isFixed(QrcExprI* x) const override { return static_cast<QrcIntExpI*>(x)->isBound(); }
  int64_t valueOf(QrcExprI* x) const override { return static_cast<QrcIntExpI*>(x)->getMin(); }
  void fix(QrcExprI* x, int64_t value) const override {
    static_cast<QrcIntExpI*>(x)->setValue(value);
  }
  void narrow(QrcExprI* e, int64_t keep, const std::vector<int64_t>& values, Rng& rng,
              std::string& log) const override {
    QrcIntExpI* x = static_cast<QrcIntExpI*>(e);
    std::ostringstream os;
    int64_t lo = x->getMin(), hi = x->getMax();
    int op = static_cast<int>(rng() % 9);
    if (op == 0) {
      os << "setValue(" << keep << ")";
      log += os.str() + " ";
      x->setValue(keep);
      return;
    }
    if (op <= 2) {
      int64_t v = values[rng() % values.size()];
      if (v == keep) return;
      os << "removeValue(" << v << ")";
      log += os.str() + " ";
      x->removeValue(v);
      return;
    }
    if (op <= 4) {
      int64_t v = lo + static_cast<int64_t>(rng() % static_cast<uint64_t>(keep - lo + 1));
      os << "setMin(" << v << ")";
      log += os.str() + " ";
      x->setMin(v);
      return;
    }
    if (op <= 6) {
      int64_t v = keep + static_cast<int64_t>(rng() % static_cast<uint64_t>(hi - keep + 1));
      os << "setMax(" << v << ")";
      log += os.str() + " ";
      x->setMax(v);
      return;
    }
    // A range on one side of the kept value.
    int64_t a, b;
    if (rng() % 2 && keep > lo) {
      a = lo + static_cast<int64_t>(rng() % static_cast<uint64_t>(keep - lo));
      b = a + static_cast<int64_t>(rng() % static_cast<uint64_t>(keep - a));
    } else if (keep < hi) {
      b = hi - static_cast<int64_t>(rng() % static_cast<uint64_t>(hi - keep));
      a = b - static_cast<int64_t>(rng() % static_cast<uint64_t>(b - keep));
    } else {
      return;
    }
    os << "removeRange(" << a << "," << b << ")";
    log += os.str() + " ";
    x->removeRange(a, b);
  }
  // x <= k, x >= k, x == k, x != k with k a candidate value.
  bool drawSimple(const std::vector<int64_t>& values, Rng& rng, int& op,
                  int64_t& k) const override {
    op = static_cast<int>(rng() % 4);
    k = values[rng() % values.size()];
    return true;
  }
  QrcConstraintI* makeSimple(QrcExprI* e, int op, int64_t k) const override {
    QrcIntExp x(static_cast<QrcIntExpI*>(e));
    QrcConstraint ct = op == 0 ? x <= k : op == 1 ? x >= k : op == 2 ? x == k : x != k;
    return ct.getImpl();
  }
  bool simpleHolds(int64_t v, int op, int64_t k) const override {
    return op == 0 ? v <= k : op == 1 ? v >= k : op == 2 ? v == k : v != k;
  }
  std::string showSimple(const std::string& x, int op, int64_t k) const override {
    static const char* const ops[] = {" <= ", " >= ", " == ", " != "};
    return x + ops[op] + std::to_string(k);
  }
  QrcConstraintI* makeEqual(QrcExprI* x, QrcExprI* y) const override {
    return (QrcIntExp(static_cast<QrcIntExpI*>(x)) == QrcIntExp(static_cast<QrcIntExpI*>(y)))
        .getImpl();
  }
  // An integer is its own size; x <= y, x != y, x == y.
  QrcIntExpI* sizeOf(QrcExprI* x) const override { return static_cast<QrcIntExpI*>(x); }
  int relations() const override { return 3; }
  QrcConstraintI* makeRelation(QrcExprI* x, QrcExprI* y, int op) const override {
    QrcIntExp a(static_cast<QrcIntExpI*>(x)), b(static_cast<QrcIntExpI*>(y));
    return (op == 0 ? a <= b : op == 1 ? a != b : a == b).getImpl();
  }
  bool relationHolds(int64_t a, int64_t b, int op) const override {
    return op == 0 ? a <= b : op == 1 ? a != b : a == b;
  }
  std::string showRelation(const std::string& x, const std::string& y, int op) const override {
    static const char* const ops[] = {" <= ", " != ", " == "};
    return x + ops[op] + y;
  }
};

std::string show(const std::vector<int64_t>& a) {
  std::ostringstream os;
  os << "(";
  for (size_t i = 0; i < a.size(); ++i) os << (i ? "," : "") << a[i];
  os << ")";
  return os.str();
}

int64_t productSize(const PropCase& c) {
  int64_t p = 1;
  for (const auto& v : c.values) {
    p *= static_cast<int64_t>(v.size());
    if (p > MaxBruteForce) return MaxBruteForce + 1;
  }
  return p;
}

// Calls f on every assignment in lexicographic order.
template <class F>
void forEachAssignment(const PropCase& c, F f) {
  size_t n = c.values.size();
  std::vector<size_t> idx(n, 0);
  std::vector<int64_t> a(n);
  for (;;) {
    for (size_t i = 0; i < n; ++i) a[i] = c.values[i][idx[i]];
    f(a);
    size_t i = n;
    while (i > 0) {
      --i;
      if (++idx[i] < c.values[i].size()) break;
      idx[i] = 0;
      if (i == 0) return;
    }
    if (n == 0) return;
  }
}

// The case runPropCase is checking, whose solutions its checks share: the
// enumeration is most of a case's time under the sanitizers.
struct SolvedCase {
  const PropCase* c = nullptr;
  bool solved = false;
  std::vector<std::vector<int64_t>> sols;
};
SolvedCase* g_solvedCase = nullptr;

// Shares the solutions of a case among the checks of its run, while the case
// stays as it is; a derived case's run has a scope of its own.
class SolvedScope {
 public:
  explicit SolvedScope(const PropCase& c) : _outer(g_solvedCase) {
    _solved.c = &c;
    g_solvedCase = &_solved;
  }
  ~SolvedScope() { g_solvedCase = _outer; }

 private:
  SolvedCase _solved;
  SolvedCase* _outer;
};

std::vector<std::vector<int64_t>> solutionsOf(const PropCase& c) {
  if (g_solvedCase && g_solvedCase->c == &c && g_solvedCase->solved) return g_solvedCase->sols;
  std::vector<std::vector<int64_t>> sols;
  forEachAssignment(c, [&](const std::vector<int64_t>& a) {
    if (c.check(a)) sols.push_back(a);
  });
  if (g_solvedCase && g_solvedCase->c == &c) {
    g_solvedCase->sols = sols;
    g_solvedCase->solved = true;
  }
  return sols;
}

// Compares the solutions a search found (with their counts) with the
// checker's; returns the number of failures reported.
int compareFound(const PropCase& c, const std::string& what,
                 const std::map<std::vector<int64_t>, int>& found,
                 const std::vector<std::vector<int64_t>>& sols);

// The replay names the test's seed when the test asked for one (the case's
// seed derives from it), else the case's.
std::string where(const PropCase& c) {
  std::ostringstream os;
  uint64_t seed = c.seed;
  testSeed(seed);
  os << "case '" << c.name << "' seed " << c.seed << " (replay with --qro_seed=" << seed << ")";
  return os.str();
}

// One manager with the case's variables, driven through goals.
struct Runner {
  const PropCase& c;
  const VarKind& kind;
  QrcManager mgr;
  QrcManagerI* m;
  std::vector<QrcExprI*> vars;
  std::vector<int64_t> assignment;
  std::vector<std::vector<int64_t>>* solutions = nullptr;
  // Removals to apply and the domains seen after each (checkStronger).
  const std::vector<std::pair<size_t, int64_t>>* removals = nullptr;
  std::vector<std::vector<std::vector<int64_t>>> seen;
  // The labelling order of the search; the constraint is posted when the
  // labelling reaches position postAt (in every branch), as built (when
  // not null) or by the case's post.
  std::vector<size_t> order;
  size_t postAt = SIZE_MAX;
  QrcConstraintI* built = nullptr;
  Rng rng;
  std::string log;
  int errors = 0;
  std::string errorText;

  explicit Runner(const PropCase& pc, bool pooled = true)
      : c(pc),
        kind(pc.kind ? *pc.kind : intKind()),
        mgr(managerPooled(pooled, pc.staging.edit ? QrcEdit : QrcNoEdit)),
        m(mgr.getImpl()),
        rng(pc.seed) {
    m->useExceptions(true);
    for (size_t i = 0; i < c.values.size(); ++i) vars.push_back(kindOf(i).make(m, c.values[i]));
    for (size_t k = 0; k < c.values.size(); ++k) {
      size_t i = k < c.labelOrder.size() ? c.labelOrder[k] : k;
      if (!staged(i)) order.push_back(i);
    }
    if (c.staging.after >= 0) order.push_back(static_cast<size_t>(c.staging.after));
  }
  ~Runner() { mgr.end(); }
  const VarKind& kindOf(size_t i) const {
    return i < c.kinds.size() && c.kinds[i] ? *c.kinds[i] : kind;
  }
  // In edit mode the constraint is filed here and posted when the search starts.
  // A constraint built already (not null) is posted as it is.
  void post(QrcConstraintI* built = nullptr) {
    Vars v(vars);
    if (built)
      m->add(built);
    else if (c.post)
      c.post(m, v);
    else
      m->add(c.make(m, v));
    if (c.afterPost) c.afterPost(m);
  }
  bool edit() const { return c.staging.edit; }
  // Whether the staging binds variable i itself (before or after the others).
  bool staged(size_t i) const {
    return static_cast<int>(i) == c.staging.before || static_cast<int>(i) == c.staging.after;
  }
  void fixVar(size_t i, int64_t value) { kindOf(i).fix(vars[i], value); }
  void fixBefore(const std::vector<int64_t>& a) {
    if (c.staging.before >= 0) fixVar(static_cast<size_t>(c.staging.before), a[c.staging.before]);
  }
  void fixOthers(const std::vector<int64_t>& a) {
    for (size_t i = 0; i < vars.size(); ++i)
      if (!staged(i)) fixVar(i, a[i]);
  }
  // Binds the variable staged after the others; when it is to be decided by
  // propagation, reports it still unbound.
  void fixAfter(const std::vector<int64_t>& a, const std::string& context) {
    if (c.staging.after < 0) return;
    size_t b = static_cast<size_t>(c.staging.after);
    if (c.staging.decided && !kindOf(b).isFixed(vars[b]))
      error(context + ": variable " + std::to_string(b) +
            " is not bound by propagation once every other variable is");
    fixVar(b, a[b]);
  }
  // Runs a goal; in edit mode, what comes before the posting and the posting
  // itself happen at the top level first, undone afterwards.
  bool run(QrcGoalI* g, const std::vector<int64_t>* before, const std::vector<int64_t>* others);
  void error(const std::string& text) {
    if (errors++ == 0) errorText = text;
  }
  // The values of the variables at a solution; an unbound one is an error.
  std::vector<int64_t> values() {
    std::vector<int64_t> a;
    for (size_t i = 0; i < vars.size(); ++i) {
      if (!kindOf(i).isFixed(vars[i])) error("search stopped with an unfixed variable");
      a.push_back(kindOf(i).valueOf(vars[i]));
    }
    return a;
  }
  std::vector<int64_t> domainOf(size_t i) const {
    std::vector<int64_t> d;
    for (int64_t v : c.values[i])
      if (kindOf(i).contains(vars[i], v)) d.push_back(v);
    return d;
  }
};

typedef QrcGoalI* (*GoalFn)(Runner*, QrcInt, QrcInt);

class FnGoal : public QrcGoalI {
 public:
  FnGoal(QrcManagerI* m, GoalFn fn, Runner* r, QrcInt a, QrcInt b)
      : QrcGoalI(m), _fn(fn), _r(r), _a(a), _b(b) {}
  QrcGoalI* execute() override { return _fn(_r, _a, _b); }

 private:
  GoalFn _fn;
  Runner* _r;
  QrcInt _a, _b;
};

QrcGoalI* goal(Runner* r, GoalFn fn, QrcInt a = 0, QrcInt b = 0) {
  return new (r->m) FnGoal(r->m, fn, r, a, b);
}

bool Runner::run(QrcGoalI* g, const std::vector<int64_t>* before,
                 const std::vector<int64_t>* others) {
  if (!edit()) return m->solve(g, true) != 0;
  m->pushState();
  bool ok = true;
  try {
    if (before) fixBefore(*before);
    if (others) fixOthers(*others);
    post();
  } catch (const QrcFailException&) {
    ok = false;
  }
  if (ok) ok = m->solve(g, true) != 0;
  m->popState();
  return ok;
}

// One assignment: the variable staged before, the posting and the other
// variables in the order asked, then the variable staged after. In edit mode
// what precedes the posting has been done (Runner::run).
QrcGoalI* postThenFix(Runner* r, QrcInt postFirst, QrcInt) {
  if (!r->edit()) {
    r->fixBefore(r->assignment);
    if (postFirst) r->post();
  }
  if (postFirst || !r->edit()) r->fixOthers(r->assignment);
  if (!postFirst && !r->edit()) r->post();
  r->fixAfter(r->assignment, "assignment " + show(r->assignment) +
                                 (postFirst ? " (posted first)" : " (fixed first)"));
  return nullptr;
}

QrcGoalI* fixOne(Runner* r, QrcInt i, QrcInt v) {
  r->kindOf(static_cast<size_t>(i)).fix(r->vars[static_cast<size_t>(i)], v);
  return nullptr;
}

// Labels the variables from position i of the labelling order (the variable
// staged before is bound already; the one staged after comes last).
QrcGoalI* label(Runner* r, QrcInt i, QrcInt) {
  if (static_cast<size_t>(i) == r->postAt) r->post(r->built);
  if (static_cast<size_t>(i) == r->order.size()) return nullptr;
  size_t k = r->order[static_cast<size_t>(i)];
  if (static_cast<int>(k) == r->c.staging.after && r->c.staging.decided &&
      !r->kindOf(k).isFixed(r->vars[k])) {
    std::string at;
    for (size_t j = 0; j < r->vars.size(); ++j)
      at += (j ? "," : "") +
            (j == k ? std::string("?") : std::to_string(r->kindOf(j).valueOf(r->vars[j])));
    r->error("search at (" + at + "): variable " + std::to_string(k) +
             " is not bound by propagation once every other variable is");
  }
  QrcGoalI* rest = goal(r, label, i + 1);
  QrcGoalI* choice = nullptr;
  const std::vector<int64_t>& vals = r->c.values[k];
  for (size_t j = vals.size(); j-- > 0;) {
    if (!r->kindOf(k).contains(r->vars[k], vals[j])) continue;
    QrcGoalI* branch =
        new (r->m) QrcAndII(r->m, goal(r, fixOne, static_cast<QrcInt>(k), vals[j]), rest);
    choice = choice ? new (r->m) QrcOrI(r->m, branch, choice, nullptr) : branch;
  }
  if (!choice) r->m->fail();
  return choice;
}

// Binds the variable staged before to v (no-edit mode), posts, labels.
QrcGoalI* postThenLabel(Runner* r, QrcInt v, QrcInt) {
  if (!r->edit()) {
    if (r->c.staging.before >= 0) r->fixVar(static_cast<size_t>(r->c.staging.before), v);
    r->post();
  }
  return goal(r, label, 0);
}

int compareFound(const PropCase& c, const std::string& what,
                 const std::map<std::vector<int64_t>, int>& found,
                 const std::vector<std::vector<int64_t>>& sols) {
  int failures = 0;
  std::map<std::vector<int64_t>, int> expected;
  for (const auto& a : sols) ++expected[a];
  for (const auto& e : expected) {
    auto it = found.find(e.first);
    if (it == found.end()) {
      if (failures++ < 5)
        ADD_FAILURE() << where(c) << ": " << what << " missed solution " << show(e.first);
    } else if (it->second != 1) {
      if (failures++ < 5)
        ADD_FAILURE() << where(c) << ": " << what << " found " << show(e.first) << " " << it->second
                      << " times";
    }
  }
  for (const auto& f : found)
    if (!expected.count(f.first) && failures++ < 5)
      ADD_FAILURE() << where(c) << ": " << what << " found non-solution " << show(f.first);
  return failures;
}

Consistency levelOf(const PropCase& c, size_t i) {
  return i < c.levels.size() ? c.levels[i] : c.level;
}

// Checks that every remaining bound or value extends to a solution.
void checkConsistency(Runner* r) {
  const PropCase& c = r->c;
  if (!r->solutions) return;
  size_t n = r->vars.size();
  std::vector<Consistency> level(n);
  bool any = false;
  for (size_t i = 0; i < n; ++i) {
    level[i] = levelOf(c, i);
    any = any || level[i] != Consistency::None;
    // A bounds reading needs interval candidates: the values between two
    // candidates are part of what it reasons on.
    if (level[i] == Consistency::Bounds) {
      const auto& v = c.values[i];
      int64_t mn = *std::min_element(v.begin(), v.end()),
              mx = *std::max_element(v.begin(), v.end());
      if (mx - mn + 1 != static_cast<int64_t>(v.size())) return;
    }
  }
  if (!any) return;
  std::vector<std::vector<int64_t>> dom(n);
  std::vector<int64_t> lo(n), hi(n);
  for (size_t i = 0; i < n; ++i) {
    dom[i] = r->domainOf(i);
    if (dom[i].empty()) return;
    lo[i] = dom[i].front();
    hi[i] = dom[i].back();
  }
  // Whether s lies in the domains (in the bounds, for a bounds reading) but
  // perhaps at position i.
  auto inside = [&](const std::vector<int64_t>& s, size_t i) {
    for (size_t j = 0; j < n; ++j) {
      if (j == i) continue;
      bool ok = level[j] == Consistency::Bounds
                    ? s[j] >= lo[j] && s[j] <= hi[j]
                    : std::binary_search(dom[j].begin(), dom[j].end(), s[j]);
      if (!ok) return false;
    }
    return true;
  };
  for (size_t i = 0; i < n; ++i) {
    if (level[i] == Consistency::None) continue;
    for (int64_t val : dom[i]) {
      if (level[i] == Consistency::Bounds && val != lo[i] && val != hi[i]) continue;
      bool supported = false;
      for (const auto& s : *r->solutions)
        if (s[i] == val && inside(s, i)) {
          supported = true;
          break;
        }
      if (!supported) {
        std::ostringstream os;
        os << "value " << val << " of variable " << i << " has no support after: " << r->log;
        r->error(os.str());
        return;
      }
    }
  }
}

// Hands the solutions left inside the current domains to the case's own check.
void checkExtra(Runner* r) {
  if (!r->c.extraCheck || !r->solutions) return;
  std::vector<std::vector<int64_t>> left;
  for (const auto& s : *r->solutions) {
    bool inside = true;
    for (size_t i = 0; i < s.size() && inside; ++i)
      inside = r->kindOf(i).contains(r->vars[i], s[i]);
    if (inside) left.push_back(s);
  }
  std::string text = r->c.extraCheck(left);
  if (!text.empty()) r->error(text + " after: " + r->log);
}

QrcGoalI* narrowKeeping(Runner* r, QrcInt chosen, QrcInt) {
  const std::vector<int64_t>& sol = (*r->solutions)[static_cast<size_t>(chosen)];
  const Staging& st = r->c.staging;
  if (st.before >= 0)
    r->log = "x" + std::to_string(st.before) + ".setValue(" + std::to_string(sol[st.before]) + ") ";
  r->log += r->edit() ? "post (edit mode) " : "post ";
  if (!r->edit()) {
    r->fixBefore(sol);
    r->post();
  }
  auto verify = [&]() {
    for (size_t i = 0; i < r->vars.size(); ++i) {
      if (!r->kindOf(i).contains(r->vars[i], sol[i])) {
        std::ostringstream os;
        os << "solution " << show(sol) << " lost value of variable " << i << " after: " << r->log;
        r->error(os.str());
        return false;
      }
    }
    return true;
  };
  if (!verify()) return nullptr;
  checkConsistency(r);
  checkExtra(r);
  for (int s = 0; s < r->c.narrowSteps; ++s) {
    size_t i = r->rng() % r->vars.size();
    if (static_cast<int>(i) == st.after) continue;
    r->log += "x" + std::to_string(i) + ".";
    r->kindOf(i).narrow(r->vars[i], sol[i], r->c.values[i], r->rng, r->log);
    if (!verify()) return nullptr;
    checkConsistency(r);
    checkExtra(r);
  }
  if (st.after >= 0) {
    // The others bound to the solution, then the variable staged after.
    r->log += "fix the others to the solution ";
    r->fixOthers(sol);
    if (!verify()) return nullptr;
    r->log += "x" + std::to_string(st.after) + ".setValue(" + std::to_string(sol[st.after]) + ") ";
    r->fixAfter(sol, "narrowing to " + show(sol));
    verify();
  }
  return nullptr;
}

QrcGoalI* removeAndRecord(Runner* r, QrcInt, QrcInt) {
  auto snapshot = [r]() {
    std::vector<std::vector<int64_t>> d;
    for (size_t i = 0; i < r->vars.size(); ++i) {
      d.push_back(r->domainOf(i));
      std::sort(d.back().begin(), d.back().end());
    }
    r->seen.push_back(d);
  };
  r->post();
  snapshot();
  for (const auto& op : *r->removals) {
    static_cast<QrcIntExpI*>(r->vars[op.first])->removeValue(op.second);
    snapshot();
  }
  return nullptr;
}

}  // namespace

bool VarKind::drawSimple(const std::vector<int64_t>&, Rng&, int&, int64_t&) const {
  return false;
}

QrcConstraintI* VarKind::makeSimple(QrcExprI*, int, int64_t) const {
  return nullptr;
}

bool VarKind::simpleHolds(int64_t, int, int64_t) const {
  return false;
}

std::string VarKind::showSimple(const std::string& x, int, int64_t) const {
  return x;
}

QrcConstraintI* VarKind::makeEqual(QrcExprI*, QrcExprI*) const {
  return nullptr;
}

const VarKind& intKind() {
  static IntKind kind;
  return kind;
}

QrcIntExpI* Vars::operator[](size_t i) const {
  return static_cast<QrcIntExpI*>(_v[i]);
}

std::vector<int64_t> range(int64_t lo, int64_t hi) {
  std::vector<int64_t> v;
  for (int64_t x = lo; x <= hi; ++x) v.push_back(x);
  return v;
}

std::vector<std::vector<int64_t>> ranges(int n, int64_t lo, int64_t hi) {
  return std::vector<std::vector<int64_t>>(static_cast<size_t>(n), range(lo, hi));
}

std::vector<std::vector<int64_t>> randomDomains(Rng& rng, int n, int64_t lo, int64_t hi,
                                                int maxSpan) {
  std::vector<std::vector<int64_t>> out;
  for (int i = 0; i < n; ++i) {
    int64_t span = 1 + static_cast<int64_t>(rng() % static_cast<uint64_t>(maxSpan));
    int64_t a = lo + static_cast<int64_t>(rng() % static_cast<uint64_t>(hi - lo + 1));
    if (a + span - 1 > hi) a = hi - span + 1;
    if (a < lo) a = lo;
    std::vector<int64_t> d;
    bool holes = rng() % 3 == 0;
    for (int64_t v = a; v <= a + span - 1 && v <= hi; ++v)
      if (!holes || v == a || rng() % 3 != 0) d.push_back(v);
    out.push_back(d);
  }
  return out;
}

uint64_t caseSeed(uint64_t defaultSeed) {
  return seedOr(defaultSeed);
}

int checkAssignments(const PropCase& c) {
  Runner r(c);
  int64_t total = productSize(c);
  std::vector<std::vector<int64_t>> tried;
  if (total <= c.maxAssignments) {
    forEachAssignment(c, [&](const std::vector<int64_t>& a) { tried.push_back(a); });
  } else {
    std::vector<std::vector<int64_t>> sols;
    if (total <= MaxBruteForce) sols = solutionsOf(c);
    for (int k = 0; k < c.samples; ++k) {
      if (k % 2 && !sols.empty()) {
        tried.push_back(sols[r.rng() % sols.size()]);
        continue;
      }
      std::vector<int64_t> a;
      for (const auto& v : c.values) a.push_back(v[r.rng() % v.size()]);
      tried.push_back(a);
    }
  }
  int failures = 0;
  for (size_t k = 0; k < tried.size(); ++k) {
    r.assignment = tried[k];
    bool expected = c.check(tried[k]);
    bool postFirst = k % 2 != 0;
    bool got =
        r.run(goal(&r, postThenFix, postFirst), &r.assignment, postFirst ? nullptr : &r.assignment);
    if (got != expected) {
      ADD_FAILURE() << where(c) << ": assignment " << show(tried[k])
                    << (postFirst ? " (posted first)" : " (fixed first)") << " was "
                    << (got ? "accepted" : "rejected") << ", the checker "
                    << (expected ? "accepts" : "rejects") << " it";
      if (++failures >= 5) break;
    }
  }
  if (r.errors) {
    ADD_FAILURE() << where(c) << ": " << r.errorText;
    ++failures;
  }
  return failures;
}

int checkNarrowings(const PropCase& c) {
  if (productSize(c) > MaxBruteForce) return 0;
  Runner r(c);
  std::vector<std::vector<int64_t>> sols = solutionsOf(c);
  if (sols.empty()) return 0;
  r.solutions = &sols;
  int failures = 0;
  for (int run = 0; run < c.narrowRuns && failures < 3; ++run) {
    QrcInt chosen = static_cast<QrcInt>(r.rng() % sols.size());
    r.errors = 0;
    r.log.clear();
    bool ok = r.run(goal(&r, narrowKeeping, chosen), &sols[static_cast<size_t>(chosen)], nullptr);
    if (!ok) {
      ADD_FAILURE() << where(c) << ": run " << run << " failed although "
                    << show(sols[static_cast<size_t>(chosen)])
                    << " remains a solution; operations: " << r.log;
      ++failures;
    } else if (r.errors) {
      ADD_FAILURE() << where(c) << ": run " << run << ": " << r.errorText;
      ++failures;
    }
  }
  return failures;
}

int checkSearch(const PropCase& c) {
  if (!c.search || productSize(c) > MaxBruteForce) return 0;
  std::vector<std::vector<int64_t>> sols = solutionsOf(c);
  Runner r(c);
  std::map<std::vector<int64_t>, int> found;
  int failures = 0;
  // One search per value of the variable staged before the posting.
  std::vector<int64_t> firsts = {0};
  if (c.staging.before >= 0) firsts = c.values[static_cast<size_t>(c.staging.before)];
  for (int64_t first : firsts) {
    if (r.edit()) {
      r.m->pushState();
      bool failed = false;
      try {
        if (c.staging.before >= 0) r.fixVar(static_cast<size_t>(c.staging.before), first);
        r.post();
      } catch (const QrcFailException&) {
        failed = true;
      }
      if (failed) {
        r.m->popState();
        continue;
      }
    }
    QrcSearch s(r.mgr, QrcGoal(goal(&r, postThenLabel, first)));
    while (s.next()) {
      ++found[r.values()];
      if (found.size() > sols.size() + 10) break;
    }
    s.end();
    if (r.edit()) r.m->popState();
  }
  if (r.errors) {
    ADD_FAILURE() << where(c) << ": " << r.errorText;
    ++failures;
  }
  r.m->checkMade();
  if (!c.callersCode && r.m->hasMetForeignCode()) {
    ADD_FAILURE() << where(c) << ": the search met an object of a class that does not declare "
                  << "itself the library's (QRCLIBRARYCLASS): its failures were thrown";
    ++failures;
  }
  return failures + compareFound(c, "search", found, sols);
}

int checkPostedInSearch(const PropCase& c) {
  if (!c.search || productSize(c) > MaxPostedAssignments || c.staging.edit ||
      c.staging.before >= 0 || c.staging.after >= 0)
    return 0;
  std::vector<std::vector<int64_t>> sols = solutionsOf(c);
  Runner r(c, false);
  // Below one or two choices: the tree keeps the size of the case's own.
  r.postAt = std::min<size_t>(r.order.size(), 1 + r.rng() % 2);
  std::string at = "posted in a search after " + std::to_string(r.postAt) + " choices";
  if (c.make) {
    try {
      r.built = c.make(r.m, Vars(r.vars));
    } catch (const QrcFailException&) {
      // The case's own narrowings failed: nothing is a solution.
      if (sols.empty()) return 0;
      ADD_FAILURE() << where(c) << ": " << at << ": building the constraint failed";
      return 1;
    }
  }
  QrcSearch s(r.mgr, QrcGoal(goal(&r, label, 0)));
  // A few solutions, then a restart and every solution.
  std::map<std::vector<int64_t>, int> first, found;
  for (uint64_t k = 1 + r.rng() % 3; k > 0 && s.next(); --k) ++first[r.values()];
  s.restart();
  while (s.next() && found.size() <= sols.size() + 10) ++found[r.values()];
  s.end();
  int failures = r.errors ? 1 : 0;
  if (r.errors) ADD_FAILURE() << where(c) << ": " << at << ": " << r.errorText;
  for (const auto& f : first)
    if (!std::binary_search(sols.begin(), sols.end(), f.first) && failures++ < 5)
      ADD_FAILURE() << where(c) << ": " << at << " found non-solution " << show(f.first)
                    << " before the restart";
  return failures + compareFound(c, at + ", after a restart,", found, sols);
}

int checkStronger(const PropCase& weak, const PropCase& strong) {
  if (productSize(weak) > MaxBruteForce) return 0;
  std::vector<std::vector<int64_t>> sols = solutionsOf(weak);
  if (sols.empty()) return 0;
  Rng rng(weak.seed);
  int failures = 0;
  for (int run = 0; run < weak.narrowRuns && failures < 3; ++run) {
    const std::vector<int64_t>& sol = sols[rng() % sols.size()];
    std::vector<std::pair<size_t, int64_t>> removals;
    for (int s = 0; s < weak.narrowSteps; ++s) {
      size_t i = rng() % weak.values.size();
      int64_t v = weak.values[i][rng() % weak.values[i].size()];
      if (v != sol[i]) removals.push_back({i, v});
    }
    Runner w(weak), st(strong);
    w.removals = st.removals = &removals;
    bool okW = w.m->solve(goal(&w, removeAndRecord), true) != 0;
    bool okS = st.m->solve(goal(&st, removeAndRecord), true) != 0;
    std::ostringstream os;
    if (!okW || !okS) {
      os << "a run failed although " << show(sol) << " remains a solution";
    } else {
      for (size_t k = 0; k < w.seen.size() && os.str().empty(); ++k)
        for (size_t i = 0; i < w.seen[k].size() && os.str().empty(); ++i)
          for (int64_t v : st.seen[k][i])
            if (!std::binary_search(w.seen[k][i].begin(), w.seen[k][i].end(), v)) {
              os << "after " << k << " removals, variable " << i << " keeps " << v << " in '"
                 << strong.name << "' but not in '" << weak.name << "'";
              break;
            }
    }
    if (!os.str().empty()) {
      ADD_FAILURE() << where(weak) << ": run " << run << ": " << os.str();
      ++failures;
    }
  }
  return failures;
}

int runPropCase(const PropCase& c) {
  SolvedScope solved(c);
  int failures = checkAssignments(c) + checkNarrowings(c) + checkSearch(c);
  if (c.postInSearch || c.arrayElements) failures += checkPostedInSearch(c);
  return failures + runReifiedForms(c) + runArrayShapes(c) + runSideForms(c);
}

// ---------------------------------------------------------------- elements as expressions

const ElementForm ElementForms[5] = {ElementForm::Variable, ElementForm::Sum,
                                     ElementForm::Difference, ElementForm::AbsDifference,
                                     ElementForm::Product};

const char* elementFormName(ElementForm form) {
  switch (form) {
    case ElementForm::Variable:
      return "variables";
    case ElementForm::Sum:
      return "a + b";
    case ElementForm::Difference:
      return "a - b";
    case ElementForm::AbsDifference:
      return "|a - b|";
    case ElementForm::Product:
      return "a * b";
  }
  return "?";
}

namespace {

int64_t elementValue(ElementForm form, int64_t a, int64_t b) {
  switch (form) {
    case ElementForm::Sum:
      return a + b;
    case ElementForm::Difference:
      return a - b;
    case ElementForm::AbsDifference:
      return a > b ? a - b : b - a;
    case ElementForm::Product:
      return a * b;
    default:
      return a;
  }
}

QrcExprI* elementExpr(ElementForm form, QrcIntExpI* a, QrcIntExpI* b) {
  QrcIntExp x(a), y(b);
  switch (form) {
    case ElementForm::Sum:
      return (x + y).getImpl();
    case ElementForm::Difference:
      return (x - y).getImpl();
    case ElementForm::AbsDifference:
      return QrcAbs(x - y).getImpl();
    case ElementForm::Product:
      return (x * y).getImpl();
    default:
      return a;
  }
}

// The values of a, the first operand of an element over `values`.
std::vector<int64_t> firstOperand(ElementForm form, std::vector<int64_t> values) {
  std::sort(values.begin(), values.end());
  values.erase(std::unique(values.begin(), values.end()), values.end());
  bool interval = values.size() >= 2 &&
                  values.back() - values.front() + 1 == static_cast<int64_t>(values.size());
  if (interval && form == ElementForm::Sum) values.pop_back();
  if (interval && form == ElementForm::Difference) values.erase(values.begin());
  return values;
}

}  // namespace

PropCase withElementForm(const PropCase& c, size_t elements, ElementForm form) {
  if (form == ElementForm::Variable) return c;
  size_t positions = c.values.size();
  if (elements > positions) elements = positions;
  PropCase e = c;
  e.name = c.name + " [" + elementFormName(form) + "]";
  e.level = Consistency::None;
  e.levels.clear();
  e.arrayElements = 0;
  e.values.clear();
  e.kinds.clear();
  for (size_t p = 0; p < positions; ++p) {
    const VarKind* k = p < c.kinds.size() ? c.kinds[p] : nullptr;
    if (p < elements) {
      e.values.push_back(firstOperand(form, c.values[p]));
      e.values.push_back({0, 1});
      e.kinds.push_back(nullptr);
      e.kinds.push_back(nullptr);
    } else {
      e.values.push_back(c.values[p]);
      e.kinds.push_back(k);
    }
  }
  if (e.kind) {
    // Operands are integer variables; the other positions keep the case's kind.
    for (size_t p = 0; p < positions; ++p)
      if (p >= elements && !e.kinds[p + elements]) e.kinds[p + elements] = e.kind;
    e.kind = nullptr;
  }
  // The value of every position from the operands' values.
  auto positionValues = [elements, positions, form](const std::vector<int64_t>& a) {
    std::vector<int64_t> x;
    x.reserve(positions);
    for (size_t p = 0; p < positions; ++p)
      x.push_back(p < elements ? elementValue(form, a[2 * p], a[2 * p + 1]) : a[p + elements]);
    return x;
  };
  // The expression of every position over the operands.
  auto positionExprs = [elements, positions, form](const Vars& v) {
    std::vector<QrcExprI*> x;
    for (size_t p = 0; p < positions; ++p)
      x.push_back(p < elements ? elementExpr(form, v[2 * p], v[2 * p + 1]) : v.expr(p + elements));
    return x;
  };
  if (c.post) {
    auto post = c.post;
    e.post = [post, positionExprs](QrcManagerI* m, const Vars& v) {
      std::vector<QrcExprI*> x = positionExprs(v);
      post(m, Vars(x));
    };
  }
  if (c.make) {
    auto make = c.make;
    e.make = [make, positionExprs](QrcManagerI* m, const Vars& v) {
      std::vector<QrcExprI*> x = positionExprs(v);
      return make(m, Vars(x));
    };
  }
  auto check = c.check;
  e.check = [check, positionValues](const std::vector<int64_t>& a) {
    return check(positionValues(a));
  };
  if (c.scope) {
    auto scope = c.scope;
    e.scope = [scope, positionValues](const std::vector<int64_t>& a) {
      return scope(positionValues(a));
    };
  }
  if (c.extraCheck) {
    auto extra = c.extraCheck;
    e.extraCheck = [extra, positionValues](const std::vector<std::vector<int64_t>>& left) {
      std::vector<std::vector<int64_t>> mapped;
      for (const auto& a : left) mapped.push_back(positionValues(a));
      return extra(mapped);
    };
  }
  return e;
}

int runElementForms(const PropCase& c, size_t elements) {
  int failures = 0;
  for (ElementForm form : ElementForms) {
    PropCase e = withElementForm(c, elements, form);
    // The variables' form runs the array shapes too.
    if (form == ElementForm::Variable && !e.arrayElements) e.arrayElements = elements;
    failures += runPropCase(e);
  }
  return failures;
}

std::vector<std::pair<int64_t, int64_t>> runsOf(const std::vector<int64_t>& w) {
  std::vector<std::pair<int64_t, int64_t>> runs;
  for (int64_t v : w) {
    if (runs.empty() || runs.back().first != v)
      runs.push_back({v, 1});
    else
      ++runs.back().second;
  }
  return runs;
}

void runCaseRow(const CaseRow& row, Rng& rng, int rounds,
                const std::function<void(PropCase&)>& setup) {
  for (int round = 0; round < rounds; ++round)
    for (int variant = 0; variant < row.variants; ++variant) {
      PropCase c = row.make(rng, variant);
      c.name = std::string(row.name) + " variant " + std::to_string(variant) + " round " +
               std::to_string(round);
      c.seed = rng();
      setup(c);
      EXPECT_EQ(runPropCase(c), 0) << c.name;
    }
}

}  // namespace qrotest
