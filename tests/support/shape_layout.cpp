#include "support/shape_layout.h"

#include <algorithm>
#include <memory>
#include <sstream>

#include "qrcelement.h"
#include "qrcint.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintexp.h"
#include "qrcmember.h"

namespace qrotest {

typedef std::vector<int64_t> A;

int Layout::addVar(const std::vector<int64_t>& candidates, const VarKind* kind) {
  values.push_back(candidates);
  kinds.push_back(kind);
  Term t;
  t.var = static_cast<int>(values.size()) - 1;
  return addTerm(t);
}

int Layout::addTerm(const Term& t) {
  terms.push_back(t);
  return static_cast<int>(terms.size()) - 1;
}

int64_t Layout::eval(int i, const A& a) const {
  const Term& t = terms[static_cast<size_t>(i)];
  switch (t.op) {
    case Term::Var:
      return a[static_cast<size_t>(t.var)];
    case Term::Offset:
      return eval(t.a, a) + t.k;
    case Term::ConstAt:
      return t.table[static_cast<size_t>(eval(t.a, a))];
    case Term::VarAt:
      return eval(t.items[static_cast<size_t>(eval(t.a, a))], a);
    default:
      break;
  }
  int64_t x = eval(t.a, a), y = eval(t.b, a);
  switch (t.op) {
    case Term::Add:
      return x + y;
    case Term::Sub:
      return x - y;
    case Term::AbsDiff:
      return x > y ? x - y : y - x;
    case Term::Mul:
      return x * y;
    case Term::Min:
      return std::min(x, y);
    default:
      return std::max(x, y);
  }
}

QrcExprI* Layout::build(int i, QrcManagerI* m, const Vars& v) const {
  QrcExprI* e = buildExpr(i, m, v);
  if (!terms[static_cast<size_t>(i)].made) return e;
  return QrcIntVar(static_cast<QrcIntExpI*>(e)).getImpl();
}

QrcExprI* Layout::buildExpr(int i, QrcManagerI* m, const Vars& v) const {
  const Term& t = terms[static_cast<size_t>(i)];
  if (t.op == Term::Var) return v.expr(static_cast<size_t>(t.var));
  QrcIntExp x(static_cast<QrcIntExpI*>(build(t.a, m, v)));
  switch (t.op) {
    case Term::Offset:
      return (x + t.k).getImpl();
    case Term::ConstAt: {
      QrcIntArray table(QrcManager(m), static_cast<QrcInt>(t.table.size()), t.table.data());
      return table[x].getImpl();
    }
    case Term::VarAt: {
      QrcIntVarArray items(QrcManager(m), static_cast<QrcInt>(t.items.size()));
      for (size_t j = 0; j < t.items.size(); ++j)
        items.set(static_cast<QrcInt>(j),
                  QrcIntExp(static_cast<QrcIntExpI*>(build(t.items[j], m, v))));
      return items[x].getImpl();
    }
    default:
      break;
  }
  QrcIntExp y(static_cast<QrcIntExpI*>(build(t.b, m, v)));
  switch (t.op) {
    case Term::Add:
      return (x + y).getImpl();
    case Term::Sub:
      return (x - y).getImpl();
    case Term::AbsDiff:
      return QrcAbs(x - y).getImpl();
    case Term::Mul:
      return (x * y).getImpl();
    case Term::Min:
      return QrcMin(x, y).getImpl();
    default:
      return QrcMax(x, y).getImpl();
  }
}

std::string Layout::show(int i) const {
  std::string text = showTerm(i);
  if (!terms[static_cast<size_t>(i)].made) return text;
  return text[0] == '(' ? "var" + text : "var(" + text + ")";
}

std::string Layout::showTerm(int i) const {
  const Term& t = terms[static_cast<size_t>(i)];
  std::ostringstream os;
  switch (t.op) {
    case Term::Var:
      os << "v" << t.var;
      break;
    case Term::Offset:
      os << "(" << show(t.a) << (t.k < 0 ? " - " : " + ") << (t.k < 0 ? -t.k : t.k) << ")";
      break;
    case Term::ConstAt:
      os << "[";
      for (size_t j = 0; j < t.table.size(); ++j) os << (j ? "," : "") << t.table[j];
      os << "][" << show(t.a) << "]";
      break;
    case Term::VarAt:
      os << "[";
      for (size_t j = 0; j < t.items.size(); ++j) os << (j ? "," : "") << show(t.items[j]);
      os << "][" << show(t.a) << "]";
      break;
    case Term::AbsDiff:
      os << "|" << show(t.a) << " - " << show(t.b) << "|";
      break;
    case Term::Min:
    case Term::Max:
      os << (t.op == Term::Min ? "min(" : "max(") << show(t.a) << ", " << show(t.b) << ")";
      break;
    default: {
      const char* op = t.op == Term::Add ? " + " : t.op == Term::Sub ? " - " : " * ";
      os << "(" << show(t.a) << op << show(t.b) << ")";
    }
  }
  return os.str();
}

void Layout::varsOf(int i, std::vector<int>& out) const {
  const Term& t = terms[static_cast<size_t>(i)];
  if (t.op == Term::Var) {
    if (std::find(out.begin(), out.end(), t.var) == out.end()) out.push_back(t.var);
    return;
  }
  varsOf(t.a, out);
  if (t.b >= 0) varsOf(t.b, out);
  for (int item : t.items) varsOf(item, out);
}

std::vector<int64_t> Layout::valuesOf(int i) const {
  std::vector<int> vars;
  varsOf(i, vars);
  A a(values.size(), 0);
  std::vector<size_t> at(vars.size(), 0);
  A out;
  for (;;) {
    for (size_t j = 0; j < vars.size(); ++j)
      a[static_cast<size_t>(vars[j])] = values[static_cast<size_t>(vars[j])][at[j]];
    out.push_back(eval(i, a));
    size_t j = 0;
    while (j < vars.size() && ++at[j] == values[static_cast<size_t>(vars[j])].size()) at[j++] = 0;
    if (j == vars.size()) break;
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

bool Layout::holds(const Pre& p, const A& a) const {
  int64_t x = eval(p.lhs, a);
  switch (p.op) {
    case Pre::Fix:
      return x == p.k;
    case Pre::Eq:
      return x == eval(p.rhs, a);
    case Pre::Ne:
      return x != p.k;
    case Pre::Le:
      return x <= p.k;
    case Pre::Ge:
      return x >= p.k;
    default:
      return std::binary_search(p.values.begin(), p.values.end(), x);
  }
}

QrcConstraintI* Layout::make(const Pre& p, QrcManagerI* m, const Vars& v) const {
  QrcExprI* lhs = build(p.lhs, m, v);
  const Term& l = terms[static_cast<size_t>(p.lhs)];
  const VarKind* kind = l.op == Term::Var ? kinds[static_cast<size_t>(l.var)] : &intKind();
  if (kind != &intKind()) return kind->makeEqual(lhs, build(p.rhs, m, v));
  QrcIntExp x(static_cast<QrcIntExpI*>(lhs));
  switch (p.op) {
    case Pre::Ne:
      return (x != p.k).getImpl();
    case Pre::Le:
      return (x <= p.k).getImpl();
    case Pre::Ge:
      return (x >= p.k).getImpl();
    case Pre::In: {
      QrcIntArray values(QrcManager(m), static_cast<QrcInt>(p.values.size()), p.values.data());
      return QrcMember(x, values).getImpl();
    }
    default:
      break;
  }
  const Term& r = terms[static_cast<size_t>(p.rhs)];
  if (p.form == 1 && r.op == Term::Offset) {
    QrcIntExp y(static_cast<QrcIntExpI*>(build(r.a, m, v)));
    return (x - y == r.k).getImpl();
  }
  QrcIntExp y(static_cast<QrcIntExpI*>(build(p.rhs, m, v)));
  return (p.form == 2 ? y == x : x == y).getImpl();
}

void Layout::state(const Pre& p, QrcManagerI* m, const Vars& v) const {
  if (p.op != Pre::Fix) {
    m->add(make(p, m, v));
    return;
  }
  const Term& t = terms[static_cast<size_t>(p.lhs)];
  kinds[static_cast<size_t>(t.var)]->fix(v.expr(static_cast<size_t>(t.var)), p.k);
}

std::string Layout::show(const Pre& p) const {
  static const char* const ops[] = {" == ", " != ", " <= ", " >= ", " in ", " := "};
  std::string rhs = p.op == Pre::Eq ? show(p.rhs) : std::to_string(p.k);
  if (p.op == Pre::In) {
    rhs = "{";
    for (size_t j = 0; j < p.values.size(); ++j)
      rhs += (j ? "," : "") + std::to_string(p.values[j]);
    rhs += "}";
  }
  const Term& r = terms[static_cast<size_t>(p.rhs < 0 ? p.lhs : p.rhs)];
  if (p.op == Pre::Eq && p.form == 1 && r.op == Term::Offset)
    return show(p.lhs) + " - " + show(r.a) + " == " + std::to_string(r.k);
  if (p.op == Pre::Eq && p.form == 2) return rhs + " == " + show(p.lhs);
  return show(p.lhs) + ops[p.op] + rhs;
}

int64_t Layout::assignments(int64_t limit) const {
  int64_t n = 1;
  for (const auto& v : values) {
    n *= static_cast<int64_t>(v.size());
    if (n > limit) return limit + 1;
  }
  return n;
}

void keepCandidates(const PropCase& c, Layout& l) {
  for (size_t p = 0; p < c.values.size(); ++p) {
    const VarKind* kind = p < c.kinds.size() && c.kinds[p] ? c.kinds[p] : c.kind;
    if ((kind && kind != &intKind()) || c.values[p].empty()) continue;
    A want = c.values[p];
    std::sort(want.begin(), want.end());
    want.erase(std::unique(want.begin(), want.end()), want.end());
    A got = l.valuesOf(l.position[p]);
    if (std::includes(want.begin(), want.end(), got.begin(), got.end())) continue;
    Pre pre;
    pre.lhs = l.position[p];
    if (want.back() - want.front() + 1 != static_cast<int64_t>(want.size())) {
      pre.op = Pre::In;
      pre.values = want;
      l.pre.push_back(pre);
      continue;
    }
    pre.op = Pre::Ge;
    pre.k = want.front();
    if (got.front() < want.front()) l.pre.push_back(pre);
    pre.op = Pre::Le;
    pre.k = want.back();
    if (got.back() > want.back()) l.pre.push_back(pre);
  }
}

// The positions that are not the case's own variables, the constraints
// posted first and the domains of the variables not shown as they were.
std::string describe(const PropCase& c, const Layout& l) {
  std::string text;
  for (size_t p = 0; p < l.position.size(); ++p) {
    const Term& t = l.terms[static_cast<size_t>(l.position[p])];
    if (t.op != Term::Var || t.var != static_cast<int>(p))
      text += " x" + std::to_string(p) + " = " + l.show(l.position[p]) + ";";
  }
  for (const Pre& p : l.pre) text += " first " + l.show(p) + ";";
  for (size_t i = 0; i < l.values.size(); ++i) {
    // Position i's own variable, unchanged.
    bool own = i < l.position.size() && i < c.values.size() && l.values[i] == c.values[i];
    if (own) {
      const Term& t = l.terms[static_cast<size_t>(l.position[i])];
      own = t.op == Term::Var && t.var == static_cast<int>(i);
    }
    if (own) continue;
    A v = l.values[i];
    text += " v" + std::to_string(i) + " in ";
    if (v.size() > 1 && v.back() - v.front() + 1 == static_cast<int64_t>(v.size())) {
      text += std::to_string(v.front()) + ".." + std::to_string(v.back()) + ";";
      continue;
    }
    text += "{";
    for (size_t j = 0; j < v.size(); ++j) text += (j ? "," : "") + std::to_string(v[j]);
    text += "};";
  }
  return text;
}

PropCase caseOfLayout(const PropCase& c, const Layout& layout, const std::string& label,
                      bool keepLevel) {
  auto l = std::make_shared<const Layout>(layout);
  PropCase e = c;
  e.name = c.name + " {" + label + ":" + describe(c, *l) + "}";
  e.values = l->values;
  e.kinds = l->kinds;
  e.kind = nullptr;
  if (!keepLevel) {
    e.level = Consistency::None;
    e.levels.clear();
  }
  e.arrayElements = 0;
  e.postInSearch = false;
  e.extraCheck = nullptr;
  e.reifiedForms = std::min(c.reifiedForms, 1);
  e.narrowRuns = std::max(6, c.narrowRuns / 3);
  e.samples = std::max(100, c.samples / 4);
  e.maxAssignments = std::max<int64_t>(300, c.maxAssignments / 4);
  auto positions = [l](const A& a) {
    A x;
    for (int t : l->position) x.push_back(l->eval(t, a));
    return x;
  };
  auto exprs = [l](QrcManagerI* m, const Vars& v) {
    for (const Pre& p : l->pre) l->state(p, m, v);
    std::vector<QrcExprI*> x;
    for (int t : l->position) x.push_back(l->build(t, m, v));
    return x;
  };
  auto pre = [l](const A& a) {
    for (const Pre& p : l->pre)
      if (!l->holds(p, a)) return false;
    return true;
  };
  if (c.post) {
    auto post = c.post;
    e.post = [post, exprs](QrcManagerI* m, const Vars& v) {
      std::vector<QrcExprI*> x = exprs(m, v);
      post(m, Vars(x));
    };
  }
  if (c.make) {
    auto make = c.make;
    e.make = [make, exprs](QrcManagerI* m, const Vars& v) {
      std::vector<QrcExprI*> x = exprs(m, v);
      return make(m, Vars(x));
    };
  }
  auto check = c.check;
  e.check = [check, positions, pre](const A& a) { return pre(a) && check(positions(a)); };
  e.scope = nullptr;
  if (c.scope || !l->pre.empty()) {
    auto scope = c.scope;
    e.scope = [scope, positions, pre](const A& a) {
      return pre(a) && (!scope || scope(positions(a)));
    };
  }
  return e;
}

}  // namespace qrotest
