#include "support/novalue_formulas.h"

#include <sstream>

#include "qrcelement.h"
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

  // An index: a variable, a variable moved by a constant, or an element
  // (an element of an element).
  int index(int depth) {
    int k = pick(depth > 0 ? 5 : 3);
    if (k <= 1) return variable();
    if (k == 2) {
      ValueTerm t;
      t.kind = ValueTerm::Offset;
      t.a = variable();
      t.c = pick(3) - 1;
      return addTerm(t);
    }
    return element(depth - 1);
  }

  int element(int depth) {
    ValueTerm t;
    if (pick(5) == 0) {
      t.kind = ValueTerm::VarElem;
    } else {
      t.kind = ValueTerm::Elem;
      int n = 1 + pick(3);
      for (int i = 0; i < n; ++i) t.values.push_back(pick(5) - 1);
    }
    t.a = index(depth);
    return addTerm(t);
  }

  // A copy of term i as a separate description: built again, a separate node.
  int copyOf(int i) {
    ValueTerm t = _f.terms[static_cast<size_t>(i)];
    if (t.a >= 0) t.a = copyOf(t.a);
    if (t.b >= 0) t.b = copyOf(t.b);
    return addTerm(t);
  }

  int term(int depth) {
    int k = pick(depth > 0 ? 12 : 5);
    if (!_f.terms.empty() && k == 0) return pick(static_cast<int>(_f.terms.size()));  // shared
    if (!_f.terms.empty() && k == 1) return copyOf(pick(static_cast<int>(_f.terms.size())));
    if (k == 2) return variable();
    if (k <= 4) return element(depth > 0 ? 1 : 0);
    ValueTerm t;
    if (k <= 6) {
      t.kind = ValueTerm::Offset;
      t.a = term(depth - 1);
      t.c = pick(5) - 2;
    } else if (k <= 8) {
      t.kind = k == 7 ? ValueTerm::Add : ValueTerm::Sub;
      t.a = term(depth - 1);
      t.b = term(depth - 1);
    } else if (k <= 10) {
      t.kind = ValueTerm::Truth;
      t.formula = formula(depth - 1);
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
      g.a = pick(4) ? element(depth > 0 ? 1 : 0) : term(depth);
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
      case ValueTerm::VarElem: {
        if (!value(t.a, a)) return false;
        const std::vector<int64_t>& entries = t.kind == ValueTerm::Elem ? t.values : _v;
        if (a < 0 || a >= static_cast<int64_t>(entries.size())) return false;
        out = entries[static_cast<size_t>(a)];
        return true;
      }
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

 private:
  const NoValueFormula& _f;
  const std::vector<int64_t>& _v;
};

class Builder {
 public:
  Builder(const NoValueFormula& f, QrcManagerI* m, const Vars& vars)
      : _f(f),
        _m(m),
        _vars(vars),
        _terms(f.terms.size()),
        _formulas(f.formulas.size()),
        _all(QrcManager(m), static_cast<QrcInt>(vars.size())) {
    for (size_t i = 0; i < vars.size(); ++i) _all.set(static_cast<QrcInt>(i), QrcIntExp(vars[i]));
  }

  QrcIntExp term(int i) {
    QrcIntExp& e = _terms[static_cast<size_t>(i)];
    if (!e.getImpl()) e = make(_f.terms[static_cast<size_t>(i)]);
    return e;
  }

  QrcConstraint formula(int i) {
    QrcConstraint& c = _formulas[static_cast<size_t>(i)];
    if (!c.getImpl()) c = make(_f.formulas[static_cast<size_t>(i)]);
    return c;
  }

 private:
  QrcIntExp make(const ValueTerm& t) {
    switch (t.kind) {
      case ValueTerm::Var:
        return QrcIntExp(_vars[static_cast<size_t>(t.var)]);
      case ValueTerm::Elem:
        return QrcIntArray(QrcManager(_m), static_cast<QrcInt>(t.values.size()),
                           t.values.data())[term(t.a)];
      case ValueTerm::VarElem:
        return _all[term(t.a)];
      case ValueTerm::Offset:
        return term(t.a) + t.c;
      case ValueTerm::Add:
        return term(t.a) + term(t.b);
      case ValueTerm::Sub:
        return term(t.a) - term(t.b);
      case ValueTerm::Truth:
        return QrcIntExp(formula(t.formula));
    }
    return QrcIntExp();
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
    os << "#" << i << ":";
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
        os << "x[" << term(t.a) << "]";
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
  const NoValueFormula& _f;
};

}  // namespace

NoValueFormula drawNoValueFormula(uint64_t seed) {
  // A formula that holds everywhere or nowhere is drawn again a few times.
  NoValueFormula f;
  Drawer d(seed, f);
  for (int tries = 0; tries < 6; ++tries) {
    d.draw();
    size_t held = 0, total = 0;
    std::vector<size_t> at(f.domains.size(), 0);
    std::vector<int64_t> a(f.domains.size());
    for (bool more = true; more; ++total) {
      for (size_t i = 0; i < a.size(); ++i) a[i] = f.domains[i][at[i]];
      if (holdsNoValue(f, a)) ++held;
      size_t i = 0;
      while (i < at.size() && ++at[i] == f.domains[i].size()) at[i++] = 0;
      more = i < at.size();
    }
    if (held > 0 && held < total) break;
  }
  return f;
}

bool holdsNoValue(const NoValueFormula& f, const std::vector<int64_t>& values) {
  return Evaluator(f, values).holds(f.top);
}

QrcConstraint buildNoValue(const NoValueFormula& f, QrcManagerI* m, const Vars& vars) {
  return Builder(f, m, vars).formula(f.top);
}

std::string showNoValue(const NoValueFormula& f) {
  std::ostringstream os;
  os << Printer(f).formula(f.top) << " over";
  for (size_t i = 0; i < f.domains.size(); ++i) {
    os << " x" << i << " {";
    for (size_t k = 0; k < f.domains[i].size(); ++k) os << (k ? "," : "") << f.domains[i][k];
    os << "}";
  }
  return os.str();
}

PropCase noValueCase(const NoValueFormula& f, uint64_t seed) {
  PropCase c;
  c.name = "formula " + showNoValue(f);
  c.seed = seed;
  c.values = f.domains;
  c.make = [f](QrcManagerI* m, const Vars& v) { return buildNoValue(f, m, v).getImpl(); };
  c.check = [f](const std::vector<int64_t>& s) { return holdsNoValue(f, s); };
  c.narrowRuns = 12;
  c.narrowSteps = 4;
  return c;
}

}  // namespace qrotest
