// Random formulas over expressions that may lack a value: comparisons (==,
// !=, <, <=, >, >=) over elements whose index may leave their arrays (a[x],
// vars[x], an element whose index is an element, offsets, sums and quotients
// of them, sums of arrays, and truth values of formulas, also inside sums and
// arrays), joined by &&, || and !. A formula is drawn from a seed, built on a
// manager over the case's variables (a side built once and shared, or built
// again as separate nodes; some nodes made variables when built or after the
// posting; sometimes a variable bound before the building or before the
// posting), and evaluated by brute force with the no-value reading: an element
// whose index lies outside its array has no value, nor has an expression over
// one (a quotient whose divisor has none), and a comparison over a side
// without a value is false (its negation true). A node made a variable, or
// placed in an array of variables, must have a value: the case holds only
// where it has one. No divisor of a drawn formula is ever 0 where it has a
// value.
#ifndef QRO_TEST_NOVALUE_FORMULAS_H
#define QRO_TEST_NOVALUE_FORMULAS_H

#include <cstdint>
#include <string>
#include <vector>

#include "qrcconstraint.h"
#include "support/harness.h"

namespace qrotest {

struct ValueTerm {
  // Var: case variable `var`; Elem: `values`[index]; VarElem: the terms
  // `items` (none: the case variables) in an array of variables, [index];
  // Offset: a + c; Add, Sub: a op b; Truth: the 0-1 value of formula
  // `formula`; Div: a / b, truncated, with c for the operand that is -1;
  // Sum: QrcSum over the terms `items`.
  enum Kind { Var, Elem, VarElem, Offset, Add, Sub, Truth, Div, Sum } kind = Var;
  int var = 0;
  int64_t c = 0;
  std::vector<int64_t> values;
  int a = -1, b = -1;  // operand terms (the index of an element is a)
  int formula = -1;
  std::vector<int> items;
  // A node made a variable (QrcIntVar) when it is built, or after the
  // formula is posted.
  enum Made { Node, Built, Posted } made = Node;
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
  // Variable `bound` (-1: none) set to `boundValue` before the formula is
  // built (bindFirst), else between the building and the posting.
  int bound = -1;
  int64_t boundValue = 0;
  bool bindFirst = false;
};

// A formula over 1 to 3 variables drawn from the seed.
NoValueFormula drawNoValueFormula(uint64_t seed);
// Its value on an assignment of the variables, by the no-value reading.
bool holdsNoValue(const NoValueFormula& f, const std::vector<int64_t>& values);
// Whether the assignment is one the building allows: the bound variable at
// its value, and a value for every node made a variable (QrcIntVar, or an
// entry of an array of variables).
bool inNoValueScope(const NoValueFormula& f, const std::vector<int64_t>& values);
// The formula as the engine builds it over the case's variables; each term
// and formula of the description is built once (a term drawn again as a copy
// is a separate description, and so a separate node). Binds the bound
// variable; the nodes to make variables after the posting go to `later`.
QrcConstraint buildNoValue(const NoValueFormula& f, QrcManagerI* m, const Vars& vars,
                           std::vector<QrcIntExpI*>* later = nullptr);
std::string showNoValue(const NoValueFormula& f);
// The formula built (not posted) over the domains and over each assignment of
// its scope: the range each term shows holds every value it takes there, and
// an element's range lies within the one its index's range gives (the
// entries at its positions inside the array). Empty when all hold, else what
// failed.
std::string noValueRangeError(const NoValueFormula& f);
// The harness case of the formula (every reified form the case draws).
PropCase noValueCase(const NoValueFormula& f, uint64_t seed);

}  // namespace qrotest

#endif
