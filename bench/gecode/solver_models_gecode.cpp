// Gecode twin of bench/solver_models.cpp: the same models (a range as two
// linear inequalities, or one equality when its bounds meet; a product range
// as mult into a variable over the range; a definition as a linear equality
// or mult into the defined variable; the catalogue's constraints each at the
// consistency the solver keeps, see postCatalogue) and the same branching:
// the variables in the given order, smallest value first, x = v else x != v.
// Choice points are the branching nodes.
//
//   bench_solver_models_gecode K [ORDER [SECONDS]]   model K (0 the seed
//       model, below 0 a catalogue model), the variables labelled in ORDER
//       (comma-separated indexes, by default 0, 1, ...), run again until
//       SECONDS have passed: "solutions cps fails seconds search", the
//       seconds of one run and of its calls of next()
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "../solver_models.h"
#include "gecode_search.h"

using namespace Gecode;
using solverbench::Constraint;

namespace {

std::vector<int> parseOrder(const char* text, size_t n) {
  std::vector<int> order;
  if (text) {
    for (const char* p = text; *p;) {
      char* end = nullptr;
      order.push_back(static_cast<int>(std::strtol(p, &end, 10)));
      p = *end == ',' ? end + 1 : end;
      if (end == p && *p) break;
    }
  } else {
    for (size_t i = 0; i < n; ++i) order.push_back(static_cast<int>(i));
  }
  return order;
}

// Gecode divides a linear equality by the gcd of its coefficients and fails
// at once where the gcd does not divide the constant; the solver reasons on
// bounds only, which two inequalities do as well.
int gcdOf(const std::vector<solverbench::Term>& terms) {
  int g = 0;
  for (const solverbench::Term& t : terms) {
    int a = t.coef < 0 ? -t.coef : t.coef;
    while (a != 0) {
      int r = g % a;
      g = a;
      a = r;
    }
  }
  return g == 0 ? 1 : g;
}

void postLinear(GecodeModel& m, const std::vector<IntVar>& x,
                const std::vector<solverbench::Term>& terms, const IntVar* defined, IntRelType rel,
                int c) {
  IntArgs coefs;
  IntVarArgs vars;
  for (const solverbench::Term& t : terms) {
    coefs << t.coef;
    vars << x[static_cast<size_t>(t.var)];
  }
  if (defined) {
    coefs << -1;
    vars << *defined;
  }
  linear(m, coefs, vars, rel, c);
}

// a * b == c. Over non-negative factors and a positive product the factors
// are positive, as the solver's bounds reasoning finds at once; Gecode's
// bounds propagator for factors that may be 0 does not see it, so the bound
// is posted first (and Gecode then takes its propagator for positive views).
void multiply(GecodeModel& m, const IntVar& a, const IntVar& b, const IntVar& c) {
  if (a.min() >= 0 && b.min() >= 0 && c.min() > 0) {
    rel(m, a, IRT_GQ, 1);
    rel(m, b, IRT_GQ, 1);
  }
  mult(m, a, b, c);
}

IntVarArgs varsOf(const std::vector<IntVar>& x, const std::vector<solverbench::Term>& terms,
                  size_t first, size_t count) {
  IntVarArgs vars;
  for (size_t k = first; k < first + count; ++k) vars << x[static_cast<size_t>(terms[k].var)];
  return vars;
}

// Tuples of the constraint's arity, row after row.
TupleSet tuplesOf(const Constraint& c) {
  int arity = static_cast<int>(c.terms.size());
  TupleSet set(arity);
  for (size_t k = 0; k < c.values.size(); k += static_cast<size_t>(arity)) {
    IntArgs tuple;
    for (size_t j = 0; j < static_cast<size_t>(arity); ++j) tuple << c.values[k + j];
    set.add(tuple);
  }
  set.finalize();
  return set;
}

// f[i] == j exactly when invf[j] == i, as the solver's inverse reasons: a
// value j that f[i] loses takes i from invf[j] and the other way round (a
// channel at domain consistency also matches the values, which prunes more).
void inverse(GecodeModel& m, const IntVarArgs& f, const IntVarArgs& invf) {
  for (int i = 0; i < f.size(); ++i)
    for (int j = 0; j < invf.size(); ++j) {
      BoolVar same(m, 0, 1);
      rel(m, f[i], IRT_EQ, j, same);
      rel(m, invf[j], IRT_EQ, i, same);
    }
}

// The catalogue's kinds as the solver propagates them: tables and elements
// over constants at domain consistency; all-different by values; inverse by
// the values each side loses; an absolute value at domain consistency (the
// solver passes every value the result loses to the operand and takes the
// result's minimum from the operand's values, which gives the same trees);
// a reified equality with a constant by the operand's values; count, minimum,
// maximum and a reified x <= y at Gecode's defaults. The solver's element
// over variables lies between Gecode's bounds and domain propagators (it
// narrows the index by the result's bounds, and by its value once bound, and
// passes the result's domain to the chosen variable but only its bounds
// back), so a few trees differ there; the set holds none of them.
void postCatalogue(GecodeModel& m, const std::vector<IntVar>& x, const Constraint& c) {
  size_t n = c.terms.size();
  IntVarArgs all = varsOf(x, c.terms, 0, n);
  const IntVar& a = x[static_cast<size_t>(c.terms[0].var)];
  const IntVar& y = x[static_cast<size_t>(c.defined < 0 ? 0 : c.defined)];
  switch (c.kind) {
    case Constraint::Allowed:
    case Constraint::Forbidden:
      extensional(m, all, tuplesOf(c), c.kind == Constraint::Allowed);
      break;
    case Constraint::ElementConst:
      element(m, IntArgs(c.values), a, y);
      break;
    case Constraint::ElementVar:
      element(m, varsOf(x, c.terms, 1, n - 1), a, y);
      break;
    case Constraint::AllDiff:
      distinct(m, all, IPL_VAL);
      break;
    case Constraint::Count:
      count(m, all, c.constant, IRT_EQ, y);
      break;
    case Constraint::Min:
      min(m, all, y);
      break;
    case Constraint::Max:
      max(m, all, y);
      break;
    case Constraint::Abs:
      abs(m, a, y, IPL_DOM);
      break;
    case Constraint::Inverse:
      inverse(m, varsOf(x, c.terms, 0, n / 2), varsOf(x, c.terms, n / 2, n / 2));
      break;
    case Constraint::ReifLe:
    case Constraint::ReifEq: {
      BoolVar truth(m, 0, 1);
      channel(m, truth, y);
      if (c.kind == Constraint::ReifLe)
        rel(m, a, IRT_LQ, x[static_cast<size_t>(c.terms[1].var)], truth);
      else
        rel(m, a, IRT_EQ, c.constant, truth);
      break;
    }
    default:
      break;
  }
}

void post(GecodeModel& m, const std::vector<IntVar>& x, const Constraint& c) {
  const IntVar& a = x[static_cast<size_t>(c.terms[0].var)];
  switch (c.kind) {
    case Constraint::Linear:
      if (c.lb == c.ub && c.lb % gcdOf(c.terms) == 0) {
        postLinear(m, x, c.terms, nullptr, IRT_EQ, c.lb);
      } else {
        postLinear(m, x, c.terms, nullptr, IRT_GQ, c.lb);
        postLinear(m, x, c.terms, nullptr, IRT_LQ, c.ub);
      }
      break;
    case Constraint::Product:
      multiply(m, a, x[static_cast<size_t>(c.terms[1].var)], IntVar(m, c.lb, c.ub));
      break;
    case Constraint::DefineLinear:
      postLinear(m, x, c.terms, &x[static_cast<size_t>(c.defined)], IRT_EQ, -c.constant);
      break;
    case Constraint::DefineProduct:
      multiply(m, a, x[static_cast<size_t>(c.terms[1].var)], x[static_cast<size_t>(c.defined)]);
      break;
    default:
      postCatalogue(m, x, c);
      break;
  }
}

BenchFigures solveAll(int k, const char* orderText, double& searchSeconds) {
  std::clock_t t0 = std::clock();
  solverbench::Model d = solverbench::modelNumber(k);
  size_t n = d.lo.size();
  std::vector<int> order = parseOrder(orderText, n);
  GecodeModel* m = new GecodeModel(static_cast<int>(order.size()), 0, 0);
  // x[i] is the model's variable i; m->x holds them in labelling order.
  std::vector<IntVar> x(n);
  for (size_t i = 0; i < n; ++i) x[i] = IntVar(*m, d.lo[i], d.hi[i]);
  for (size_t p = 0; p < order.size(); ++p)
    m->x[static_cast<int>(p)] = x[static_cast<size_t>(order[p])];
  for (const Constraint& c : d.constraints) post(*m, x, c);
  return gecodeSearchAll(m, t0, &searchSeconds);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_solver_models_gecode K [ORDER]\n");
    return 2;
  }
  std::clock_t t0 = std::clock();
  double minSeconds = argc > 3 ? std::atof(argv[3]) : 0;
  BenchFigures f;
  int runs = 0;
  double search = 0;
  do {
    double s = 0;
    f = solveAll(std::atoi(argv[1]), argc > 2 ? argv[2] : nullptr, s);
    search += s;
    ++runs;
  } while (static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC < minSeconds);
  f.seconds = static_cast<double>(std::clock() - t0) / CLOCKS_PER_SEC / runs;
  std::printf("%" PRId64 " %" PRId64 " %" PRId64 " %.6f %.6f\n", f.solutions, f.choicePoints,
              f.fails, f.seconds, search / runs);
  return 0;
}
