// Random formulas over expressions that may lack a value: comparisons (==,
// !=, <, <=, >, >=) over elements whose index may leave their arrays (a[x],
// vars[x], an element whose index is an element, offsets and sums of them,
// and truth values of formulas), joined by &&, || and !. A formula is drawn
// from a seed, built on a manager over the case's variables (a side built
// once and shared, or built again as separate nodes), and evaluated by brute
// force with the no-value reading: an element whose index lies outside its
// array has no value, nor has an expression over one, and a comparison over
// a side without a value is false (its negation true).
#ifndef QRO_TEST_NOVALUE_FORMULAS_H
#define QRO_TEST_NOVALUE_FORMULAS_H

#include <cstdint>
#include <string>
#include <vector>

#include "qrcconstraint.h"
#include "support/harness.h"

namespace qrotest {

struct ValueTerm {
  // Var: case variable `var`; Elem: `values`[index]; VarElem: the case
  // variables [index]; Offset: a + c; Add, Sub: a op b; Truth: the 0-1 value
  // of formula `formula`.
  enum Kind { Var, Elem, VarElem, Offset, Add, Sub, Truth } kind = Var;
  int var = 0;
  int64_t c = 0;
  std::vector<int64_t> values;
  int a = -1, b = -1;  // operand terms (the index of an element is a)
  int formula = -1;
};

struct ValueFormula {
  // Cmp: term a op term b (b < 0: op against constant c); Not: !f;
  // And, Or: f op g.
  enum Kind { Cmp, Not, And, Or } kind = Cmp;
  int op = 0;  // ==, !=, <, <=, >, >=
  int a = -1, b = -1;
  int64_t c = 0;
  int f = -1, g = -1;
};

struct NoValueFormula {
  std::vector<std::vector<int64_t>> domains;
  std::vector<ValueTerm> terms;
  std::vector<ValueFormula> formulas;
  int top = -1;
};

// A formula over 1 to 3 variables drawn from the seed.
NoValueFormula drawNoValueFormula(uint64_t seed);
// Its value on an assignment of the variables, by the no-value reading.
bool holdsNoValue(const NoValueFormula& f, const std::vector<int64_t>& values);
// The formula as the engine builds it over the case's variables; each term
// and formula of the description is built once (a term drawn again as a copy
// is a separate description, and so a separate node).
QrcConstraint buildNoValue(const NoValueFormula& f, QrcManagerI* m, const Vars& vars);
std::string showNoValue(const NoValueFormula& f);
// The harness case of the formula (every reified form the case draws).
PropCase noValueCase(const NoValueFormula& f, uint64_t seed);

}  // namespace qrotest

#endif
