#include "support/novalue_formulas.h"

#include <memory>
#include <sstream>

#include "qrcelement.h"
#include "qrcfail.h"
#include "qrcint.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"

namespace qrotest {

namespace {

const char* const OpNames[] = {" == ", " != ", " < ", " <= ", " > ", " >= "};

class Drawer {
 public:
  Drawer(uint64_t seed, NoValueFormula& f) : _rng(seed), _f(f) {}

  void draw() {
    _f = NoValueFormula();
    int n = 1 + static_cast<int>(_rng() % 3);
    // Indexes about the arrays' positions, which they may leave.
    _f.domains = randomDomains(_rng, n, -1, 3, 4);
    _f.top = formula(1 + static_cast<int>(_rng() % 3));
    // Some nodes made variables, when built or after the posting.
    for (ValueTerm& t : _f.terms)
      if (t.kind != ValueTerm::Var && pick(12) == 0)
        t.made = pick(2) ? ValueTerm::Posted : ValueTerm::Built;
    if (pick(4) == 0) {
      _f.bound = pick(n);
      const std::vector<int64_t>& d = _f.domains[static_cast<size_t>(_f.bound)];
      _f.boundValue = d[static_cast<size_t>(pick(static_cast<int>(d.size())))];
      _f.bindFirst = pick(2) == 0;
    }
  }

 private:
  int pick(int n) { return static_cast<int>(_rng() % static_cast<uint64_t>(n)); }

  int addTerm(const ValueTerm& t) {
    _f.terms.push_back(t);
    return static_cast<int>(_f.terms.size()) - 1;
  }

  int variable() {
    ValueTerm t;
    t.kind = ValueTerm::Var;
    t.var = pick(static_cast<int>(_f.domains.size()));
    return addTerm(t);
  }

  // A variable moved by -1, 0 or 1.
  int movedVariable() {
    ValueTerm t;
    t.kind = ValueTerm::Offset;
    t.a = variable();
    t.c = pick(3) - 1;
    return addTerm(t);
  }

  // The 0-1 value of a formula drawn one level less deep.
  int truth(int depth) {
    ValueTerm t;
    t.kind = ValueTerm::Truth;
    t.formula = formula(depth - 1);
    return addTerm(t);
  }

  // An index: a variable, a variable moved by a constant, an element (an
  // element of an element) or a quotient.
  int index(int depth) {
    int k = pick(depth > 0 ? 6 : 3);
    if (k <= 1) return variable();
    if (k == 2) return movedVariable();
    if (k == 5) return quotient(depth - 1);
    return element(depth - 1);
  }

  // Entries of an array of variables: case variables, truth values, offsets
  // and elements (the array makes each a variable).
  std::vector<int> entries(int depth) {
    std::vector<int> items;
    int n = 1 + pick(3);
    for (int i = 0; i < n; ++i) {
      int k = pick(4);
      if (k == 0)
        items.push_back(truth(depth));
      else if (k == 1 && depth > 0)
        items.push_back(element(0));
      else
        items.push_back(k == 2 ? movedVariable() : variable());
    }
    return items;
  }

  int element(int depth) {
    ValueTerm t;
    if (pick(5) == 0) {
      t.kind = ValueTerm::VarElem;
      if (pick(2)) t.items = entries(depth);
    } else {
      t.kind = ValueTerm::Elem;
      int n = 1 + pick(4);
      for (int i = 0; i < n; ++i) t.values.push_back(pick(5) - 1);
    }
    t.a = index(depth);
    return addTerm(t);
  }

  // A divisor: mostly an element over entries other than 0 (which may lack
  // a value), else any term (a formula that divides by 0 is drawn again).
  int divisor(int depth) {
    if (pick(3) == 0) return term(depth);
    ValueTerm t;
    t.kind = ValueTerm::Elem;
    int n = 1 + pick(4);
    for (int i = 0; i < n; ++i) t.values.push_back(pick(2) ? 1 + pick(3) : -1 - pick(3));
    t.a = index(depth);
    return addTerm(t);
  }

  // a / b, c / b or a / c.
  int quotient(int depth) {
    ValueTerm t;
    t.kind = ValueTerm::Div;
    int k = pick(5);
    if (k == 0) {
      t.c = pick(11) - 5;
      t.b = divisor(depth);
    } else if (k == 1) {
      t.a = term(depth);
      t.c = pick(2) ? 1 + pick(3) : -1 - pick(3);
    } else {
      t.a = term(depth);
      t.b = divisor(depth);
    }
    return addTerm(t);
  }

  // QrcSum over 3 or 4 terms, truth values among them.
  int sum(int depth) {
    ValueTerm t;
    t.kind = ValueTerm::Sum;
    int n = 3 + pick(2);
    for (int i = 0; i < n; ++i) {
      int k = pick(3);
      t.items.push_back(k == 0 ? truth(depth) : k == 1 ? variable() : term(depth - 1));
    }
    return addTerm(t);
  }

  // A copy of term i as a separate description: built again, a separate node.
  int copyOf(int i) {
    ValueTerm t = _f.terms[static_cast<size_t>(i)];
    if (t.a >= 0) t.a = copyOf(t.a);
    if (t.b >= 0) t.b = copyOf(t.b);
    for (int& item : t.items) item = copyOf(item);
    return addTerm(t);
  }

  int term(int depth) {
    int k = pick(depth > 0 ? 15 : 5);
    if (!_f.terms.empty() && k == 0) return pick(static_cast<int>(_f.terms.size()));  // shared
    if (!_f.terms.empty() && k == 1) return copyOf(pick(static_cast<int>(_f.terms.size())));
    if (k == 2) return variable();
    if (k <= 4) return element(depth > 0 ? 1 : 0);
    if (k <= 6) return quotient(depth - 1);
    if (k == 7) return sum(depth);
    if (k == 12 || k == 13) return truth(depth);
    ValueTerm t;
    if (k <= 9) {
      t.kind = ValueTerm::Offset;
      t.a = term(depth - 1);
      t.c = pick(5) - 2;
    } else if (k <= 11) {
      t.kind = k == 10 ? ValueTerm::Add : ValueTerm::Sub;
      t.a = term(depth - 1);
      t.b = term(depth - 1);
    } else {
      return element(1);
    }
    return addTerm(t);
  }

  int formula(int depth) {
    ValueFormula g;
    int k = pick(depth > 0 ? 9 : 1);
    if (k <= 3) {
      g.kind = ValueFormula::Cmp;
      g.op = pick(6);
      int side = pick(8);
      g.a = side <= 4 ? element(depth > 0 ? 1 : 0) : side == 5 ? quotient(depth) : term(depth);
      if (pick(2)) {
        g.c = pick(6) - 1;
      } else {
        // The same side again, shared or built apart, or another side.
        int j = pick(4);
        g.b = j == 0 ? g.a : j == 1 ? copyOf(g.a) : term(depth);
      }
    } else if (k <= 4) {
      g.kind = ValueFormula::Not;
      g.f = formula(depth - 1);
    } else {
      g.kind = k <= 6 ? ValueFormula::And : ValueFormula::Or;
      g.f = formula(depth - 1);
      g.g = formula(depth - 1);
    }
    _f.formulas.push_back(g);
    return static_cast<int>(_f.formulas.size()) - 1;
  }

  Rng _rng;
  NoValueFormula& _f;
};

// The comparison numbered op (==, !=, <, <=, >, >=) of two values, or the
// constraint stating it over expressions and constants.
template <class X, class Y>
auto compare(int op, const X& x, const Y& y) -> decltype(x == y) {
  switch (op) {
    case 0:
      return x == y;
    case 1:
      return x != y;
    case 2:
      return x < y;
    case 3:
      return x <= y;
    case 4:
      return x > y;
    default:
      return x >= y;
  }
}

class Evaluator {
 public:
  Evaluator(const NoValueFormula& f, const std::vector<int64_t>& v) : _f(f), _v(v) {}

  // False when the term has no value.
  bool value(int i, int64_t& out) const {
    const ValueTerm& t = _f.terms[static_cast<size_t>(i)];
    int64_t a, b;
    switch (t.kind) {
      case ValueTerm::Var:
        out = _v[static_cast<size_t>(t.var)];
        return true;
      case ValueTerm::Elem:
      case ValueTerm::VarElem:
        return element(t, out);
      case ValueTerm::Offset:
        if (!value(t.a, a)) return false;
        out = a + t.c;
        return true;
      case ValueTerm::Add:
      case ValueTerm::Sub:
        if (!value(t.a, a) || !value(t.b, b)) return false;
        out = t.kind == ValueTerm::Add ? a + b : a - b;
        return true;
      case ValueTerm::Truth:
        out = holds(t.formula) ? 1 : 0;
        return true;
      case ValueTerm::Div:
        if (!operand(t.a, t.c, a) || !operand(t.b, t.c, b)) return false;
        if (b == 0) {
          _zeroDivisor = true;
          return false;
        }
        out = a / b;
        return true;
      case ValueTerm::Sum:
        out = 0;
        for (int item : t.items) {
          if (!value(item, a)) return false;
          out += a;
        }
        return true;
    }
    return false;
  }

  bool holds(int i) const {
    const ValueFormula& g = _f.formulas[static_cast<size_t>(i)];
    switch (g.kind) {
      case ValueFormula::Cmp: {
        int64_t x, y = g.c;
        if (!value(g.a, x) || (g.b >= 0 && !value(g.b, y))) return false;
        return compare(g.op, x, y);
      }
      case ValueFormula::Not:
        return !holds(g.f);
      case ValueFormula::And:
        return holds(g.f) && holds(g.g);
      case ValueFormula::Or:
        return holds(g.f) || holds(g.g);
    }
    return false;
  }

  // The bound variable at its value, and a value for every node made a
  // variable (an array of variables makes its entries variables).
  bool inScope() const {
    if (_f.bound >= 0 && _v[static_cast<size_t>(_f.bound)] != _f.boundValue) return false;
    int64_t x;
    for (size_t i = 0; i < _f.terms.size(); ++i) {
      const ValueTerm& t = _f.terms[i];
      if (t.made != ValueTerm::Node && !value(static_cast<int>(i), x)) return false;
      if (t.kind == ValueTerm::VarElem)
        for (int item : t.items)
          if (!value(item, x)) return false;
    }
    return true;
  }

  // Whether some divisor is 0 where it has a value.
  bool dividesByZero() const {
    int64_t x;
    for (size_t i = 0; i < _f.terms.size(); ++i) value(static_cast<int>(i), x);
    return _zeroDivisor;
  }

 private:
  // Term i, or the constant c when i is -1.
  bool operand(int i, int64_t c, int64_t& out) const {
    if (i >= 0) return value(i, out);
    out = c;
    return true;
  }

  bool element(const ValueTerm& t, int64_t& out) const {
    int64_t a;
    if (!value(t.a, a)) return false;
    size_t n = t.kind == ValueTerm::Elem ? t.values.size()
               : t.items.empty()         ? _v.size()
                                         : t.items.size();
    if (a < 0 || a >= static_cast<int64_t>(n)) return false;
    size_t k = static_cast<size_t>(a);
    if (t.kind == ValueTerm::Elem) {
      out = t.values[k];
      return true;
    }
    if (t.items.empty()) {
      out = _v[k];
      return true;
    }
    return value(t.items[k], out);
  }

  const NoValueFormula& _f;
  const std::vector<int64_t>& _v;
  mutable bool _zeroDivisor = false;
};

class Builder {
 public:
  Builder(const NoValueFormula& f, QrcManagerI* m, const Vars& vars,
          std::vector<QrcIntExpI*>* later)
      : _f(f),
        _m(m),
        _vars(vars),
        _later(later),
        _terms(f.terms.size()),
        _formulas(f.formulas.size()),
        _all(QrcManager(m), static_cast<QrcInt>(vars.size())) {
    for (size_t i = 0; i < vars.size(); ++i) _all.set(static_cast<QrcInt>(i), QrcIntExp(vars[i]));
  }

  QrcConstraint top() {
    if (_f.bound >= 0 && _f.bindFirst) bind();
    QrcConstraint c = formula(_f.top);
    // Every term is built (a node made a variable, an entry of an array of
    // variables), even one a maker folded away.
    for (size_t i = 0; i < _f.terms.size(); ++i) term(static_cast<int>(i));
    if (_f.bound >= 0 && !_f.bindFirst) bind();
    return c;
  }

  // The term as built (after top).
  QrcIntExpI* built(int i) const { return _terms[static_cast<size_t>(i)].getImpl(); }

  QrcIntExp term(int i) {
    QrcIntExp& e = _terms[static_cast<size_t>(i)];
    if (e.getImpl()) return e;
    const ValueTerm& t = _f.terms[static_cast<size_t>(i)];
    QrcIntExp made = make(t);
    e = made;
    if (t.made == ValueTerm::Built) QrcIntVar v(made);
    if (t.made == ValueTerm::Posted && _later) _later->push_back(made.getImpl());
    return e;
  }

  QrcConstraint formula(int i) {
    QrcConstraint& c = _formulas[static_cast<size_t>(i)];
    if (!c.getImpl()) c = make(_f.formulas[static_cast<size_t>(i)]);
    return c;
  }

 private:
  void bind() { _vars[static_cast<size_t>(_f.bound)]->setValue(_f.boundValue); }

  QrcIntExp make(const ValueTerm& t) {
    switch (t.kind) {
      case ValueTerm::Var:
        return QrcIntExp(_vars[static_cast<size_t>(t.var)]);
      case ValueTerm::Elem:
        return QrcIntArray(QrcManager(_m), static_cast<QrcInt>(t.values.size()),
                           t.values.data())[term(t.a)];
      case ValueTerm::VarElem:
        return varArray(t.items)[term(t.a)];
      case ValueTerm::Offset:
        return term(t.a) + t.c;
      case ValueTerm::Add:
        return term(t.a) + term(t.b);
      case ValueTerm::Sub:
        return term(t.a) - term(t.b);
      case ValueTerm::Truth:
        return QrcIntExp(formula(t.formula));
      case ValueTerm::Div:
        if (t.a < 0) return t.c / term(t.b);
        if (t.b < 0) return term(t.a) / t.c;
        return term(t.a) / term(t.b);
      case ValueTerm::Sum: {
        std::vector<QrcIntExpI*> items;
        for (int item : t.items) items.push_back(term(item).getImpl());
        return QrcSum(QrcManager(_m), static_cast<QrcInt>(items.size()), items.data());
      }
    }
    return QrcIntExp();
  }

  // The case variables, or an array of variables over the terms.
  QrcIntVarArray varArray(const std::vector<int>& items) {
    if (items.empty()) return _all;
    QrcIntVarArray a(QrcManager(_m), static_cast<QrcInt>(items.size()));
    for (size_t k = 0; k < items.size(); ++k) a.set(static_cast<QrcInt>(k), term(items[k]));
    return a;
  }

  QrcConstraint make(const ValueFormula& g) {
    switch (g.kind) {
      case ValueFormula::Cmp:
        if (g.b < 0) return compare(g.op, term(g.a), g.c);
        return compare(g.op, term(g.a), term(g.b));
      case ValueFormula::Not:
        return !formula(g.f);
      case ValueFormula::And:
        return formula(g.f) && formula(g.g);
      case ValueFormula::Or:
        return formula(g.f) || formula(g.g);
    }
    return QrcConstraint();
  }

  const NoValueFormula& _f;
  QrcManagerI* _m;
  const Vars& _vars;
  std::vector<QrcIntExpI*>* _later;
  std::vector<QrcIntExp> _terms;
  std::vector<QrcConstraint> _formulas;
  QrcIntVarArray _all;
};

class Printer {
 public:
  explicit Printer(const NoValueFormula& f) : _f(f) {}

  std::string term(int i) const {
    const ValueTerm& t = _f.terms[static_cast<size_t>(i)];
    std::ostringstream os;
    os << "#" << i << (t.made == ValueTerm::Built ? "(var)" : "")
       << (t.made == ValueTerm::Posted ? "(var after post)" : "") << ":";
    switch (t.kind) {
      case ValueTerm::Var:
        os << "x" << t.var;
        break;
      case ValueTerm::Elem:
        os << "[";
        for (size_t k = 0; k < t.values.size(); ++k) os << (k ? "," : "") << t.values[k];
        os << "][" << term(t.a) << "]";
        break;
      case ValueTerm::VarElem:
        if (t.items.empty()) {
          os << "x[" << term(t.a) << "]";
          break;
        }
        os << "{" << list(t.items, ", ") << "}[" << term(t.a) << "]";
        break;
      case ValueTerm::Offset:
        os << "(" << term(t.a) << " + " << t.c << ")";
        break;
      case ValueTerm::Add:
      case ValueTerm::Sub:
        os << "(" << term(t.a) << (t.kind == ValueTerm::Add ? " + " : " - ") << term(t.b) << ")";
        break;
      case ValueTerm::Truth:
        os << "truth" << formula(t.formula);
        break;
      case ValueTerm::Div:
        os << "(" << (t.a < 0 ? std::to_string(t.c) : term(t.a)) << " / "
           << (t.b < 0 ? std::to_string(t.c) : term(t.b)) << ")";
        break;
      case ValueTerm::Sum:
        os << "sum(" << list(t.items, ", ") << ")";
        break;
    }
    return os.str();
  }

  std::string formula(int i) const {
    const ValueFormula& g = _f.formulas[static_cast<size_t>(i)];
    switch (g.kind) {
      case ValueFormula::Cmp:
        return "(" + term(g.a) + OpNames[g.op] + (g.b < 0 ? std::to_string(g.c) : term(g.b)) + ")";
      case ValueFormula::Not:
        return "!" + formula(g.f);
      case ValueFormula::And:
      case ValueFormula::Or:
        return "(" + formula(g.f) + (g.kind == ValueFormula::And ? " && " : " || ") + formula(g.g) +
               ")";
    }
    return "";
  }

 private:
  std::string list(const std::vector<int>& items, const char* sep) const {
    std::string s;
    for (size_t k = 0; k < items.size(); ++k) s += (k ? sep : "") + term(items[k]);
    return s;
  }

  const NoValueFormula& _f;
};

// The range an element shows over its index's range (and domain, for a
// variable): that of the entries at the index's positions inside the array;
// false when there is none (the empty range).
bool elementRange(const ValueTerm& t, QrcIntExpI* index, const std::vector<QrcIntExpI*>& entries,
                  int64_t& lo, int64_t& hi) {
  int64_t n = static_cast<int64_t>(t.kind == ValueTerm::Elem ? t.values.size() : entries.size());
  bool any = false;
  int64_t a = index->getMin() > 0 ? index->getMin() : 0;
  int64_t b = index->getMax() < n - 1 ? index->getMax() : n - 1;
  for (int64_t i = a; i <= b; ++i) {
    if (!index->isInDomain(i)) continue;
    size_t k = static_cast<size_t>(i);
    int64_t l = t.kind == ValueTerm::Elem ? t.values[k] : entries[k]->getMin();
    int64_t h = t.kind == ValueTerm::Elem ? t.values[k] : entries[k]->getMax();
    lo = any && lo < l ? lo : l;
    hi = any && hi > h ? hi : h;
    any = true;
  }
  return any;
}

// The ranges of the terms as built on a manager (the case variables over
// `domains`): each holds the value its term takes at every assignment of
// `scope`, and an element's lies within the one its index's range gives.
std::string rangesError(const NoValueFormula& f, const Builder& b, const Vars& vars,
                        const std::vector<std::vector<int64_t>>& scope) {
  std::ostringstream os;
  for (size_t i = 0; i < f.terms.size(); ++i) {
    QrcIntExpI* e = b.built(static_cast<int>(i));
    int64_t v;
    for (const std::vector<int64_t>& a : scope)
      if (Evaluator(f, a).value(static_cast<int>(i), v) && (v < e->getMin() || v > e->getMax()))
        os << "term #" << i << " shows [" << e->getMin() << ".." << e->getMax() << "] without " << v
           << "; ";
    const ValueTerm& t = f.terms[i];
    if ((t.kind != ValueTerm::Elem && t.kind != ValueTerm::VarElem) || e->isVariable()) continue;
    std::vector<QrcIntExpI*> entries;
    if (t.kind == ValueTerm::VarElem) {
      if (t.items.empty())
        for (size_t k = 0; k < vars.size(); ++k) entries.push_back(vars[k]);
      for (int item : t.items) entries.push_back(b.built(item));
    }
    int64_t lo = 0, hi = 0;
    bool some = elementRange(t, b.built(t.a), entries, lo, hi);
    if (e->getMin() > e->getMax() || (some && lo <= e->getMin() && e->getMax() <= hi)) continue;
    QrcIntExpI* index = b.built(t.a);
    os << "element #" << i << " shows [" << e->getMin() << ".." << e->getMax()
       << "] where its index [" << index->getMin() << ".." << index->getMax() << "] gives "
       << (some ? "[" + std::to_string(lo) + ".." + std::to_string(hi) + "]" : std::string("none"))
       << "; ";
  }
  return os.str();
}

// The formula built over the domains narrowed to `values` (all of them when
// empty), each term's range checked over the assignments of the scope.
std::string rangesBuiltOver(const NoValueFormula& f, const std::vector<int64_t>& values,
                            const std::vector<std::vector<int64_t>>& scope) {
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  m->useExceptions(true);
  std::vector<QrcExprI*> x;
  for (const std::vector<int64_t>& d : f.domains)
    x.push_back(new (m) QrcIntExpI(m, static_cast<QrcInt>(d.size()), d.data(), nullptr));
  Vars vars(x);
  std::string error;
  try {
    for (size_t i = 0; i < values.size(); ++i) vars[i]->setValue(values[i]);
    Builder b(f, m, vars, nullptr);
    b.top();
    error = rangesError(f, b, vars, scope);
  } catch (const QrcFailException&) {
    error = scope.empty() ? "" : "building fails";
  }
  mgr.end();
  return error;
}

}  // namespace

std::string noValueRangeError(const NoValueFormula& f) {
  std::vector<std::vector<int64_t>> scope;
  std::vector<size_t> at(f.domains.size(), 0);
  std::vector<int64_t> a(f.domains.size());
  for (bool more = true; more;) {
    for (size_t i = 0; i < a.size(); ++i) a[i] = f.domains[i][at[i]];
    if (inNoValueScope(f, a)) scope.push_back(a);
    size_t i = 0;
    while (i < at.size() && ++at[i] == f.domains[i].size()) at[i++] = 0;
    more = i < at.size();
  }
  std::string error = rangesBuiltOver(f, {}, scope);
  if (!error.empty()) return "over the domains: " + error;
  for (const std::vector<int64_t>& s : scope) {
    error = rangesBuiltOver(f, s, {s});
    if (error.empty()) continue;
    std::string at;
    for (size_t i = 0; i < s.size(); ++i) at += (i ? "," : "") + std::to_string(s[i]);
    return "at (" + at + "): " + error;
  }
  return "";
}

NoValueFormula drawNoValueFormula(uint64_t seed) {
  // A formula that divides by 0 is drawn again; one that holds everywhere or
  // nowhere in its scope is drawn again a few times.
  NoValueFormula f;
  Drawer d(seed, f);
  for (int tries = 0;; ++tries) {
    d.draw();
    size_t held = 0, total = 0;
    bool zero = false;
    std::vector<size_t> at(f.domains.size(), 0);
    std::vector<int64_t> a(f.domains.size());
    for (bool more = true; more && !zero;) {
      for (size_t i = 0; i < a.size(); ++i) a[i] = f.domains[i][at[i]];
      Evaluator e(f, a);
      zero = e.dividesByZero();
      if (e.inScope()) {
        ++total;
        if (e.holds(f.top)) ++held;
      }
      size_t i = 0;
      while (i < at.size() && ++at[i] == f.domains[i].size()) at[i++] = 0;
      more = i < at.size();
    }
    if (!zero && ((held > 0 && held < total) || tries >= 6)) break;
  }
  return f;
}

bool holdsNoValue(const NoValueFormula& f, const std::vector<int64_t>& values) {
  return Evaluator(f, values).holds(f.top);
}

bool inNoValueScope(const NoValueFormula& f, const std::vector<int64_t>& values) {
  return Evaluator(f, values).inScope();
}

QrcConstraint buildNoValue(const NoValueFormula& f, QrcManagerI* m, const Vars& vars,
                           std::vector<QrcIntExpI*>* later) {
  return Builder(f, m, vars, later).top();
}

std::string showNoValue(const NoValueFormula& f) {
  std::ostringstream os;
  os << Printer(f).formula(f.top) << " over";
  for (size_t i = 0; i < f.domains.size(); ++i) {
    os << " x" << i << " {";
    for (size_t k = 0; k < f.domains[i].size(); ++k) os << (k ? "," : "") << f.domains[i][k];
    os << "}";
  }
  if (f.bound >= 0)
    os << ", x" << f.bound << " = " << f.boundValue
       << (f.bindFirst ? " before the building" : " before the posting");
  return os.str();
}

PropCase noValueCase(const NoValueFormula& f, uint64_t seed) {
  PropCase c;
  c.name = "formula " + showNoValue(f);
  c.seed = seed;
  c.values = f.domains;
  // The nodes of the last building to make variables after its posting.
  auto later = std::make_shared<std::vector<QrcIntExpI*>>();
  c.make = [f, later](QrcManagerI* m, const Vars& v) {
    later->clear();
    return buildNoValue(f, m, v, later.get()).getImpl();
  };
  c.afterPost = [later](QrcManagerI*) {
    for (QrcIntExpI* e : *later) QrcIntVar v(e);
    later->clear();
  };
  c.scope = [f](const std::vector<int64_t>& s) { return inNoValueScope(f, s); };
  c.check = [f](const std::vector<int64_t>& s) {
    return inNoValueScope(f, s) && holdsNoValue(f, s);
  };
  c.narrowRuns = 12;
  c.narrowSteps = 4;
  return c;
}

}  // namespace qrotest
