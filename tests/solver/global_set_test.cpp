// The builders of the set relations, driven through test-only modelling
// classes whose hook records hold one-line hooks over them: random models over
// integer-set variables against brute force (in edit and no-edit mode), the
// solver's filter level for the leveled rows, remove helpers, type checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>

#include "qromodel.h"
#include "qrooperators.h"
#include "qrorange.h"
#include "qrosolver.h"
#include "qrosolveri.h"
#include "qrosolverglobal.h"
#include "qrcconstraint.h"
#include "qrcfilterlevel.h"
#include "qrcintsetvar.h"
#include "row_support.h"
#include "support/harness.h"
#include "support/model_search.h"
#include "support/seed.h"

using solvertest::Fields;
using solvertest::intsOf;
using solvertest::madeNodes;
using solvertest::RowExtract;
using solvertest::RowNode;
using solvertest::RowRemove;

namespace {

typedef std::vector<int64_t> Values;

// Integer-set variables have no handle of their own.
class SetVarI : public QroIntSetVarI {
 public:
  SetVarI(QroEnvI* env, QroIntSetI* possible, QroIntSetI* required)
      : QroIntSetVarI(env, possible, required) {}
};

QroIntSetI* setOf(QroEnv& env, uint64_t mask) {
  QroIntArray values(env, 0);
  for (int v = 0; v < 64; ++v)
    if (mask >> v & 1) values.add(v);
  QroIntSetI* set = new (env.getImpl()) QroIntSetI(env.getImpl(), values);
  values.end();
  return set;
}

bool has(uint64_t mask, int64_t v) {
  return v >= 0 && v < 64 && (mask >> v & 1);
}

// The domains of a case: each set variable's possible and required sets as
// masks, each integer variable's values.
struct Domains {
  std::vector<std::pair<uint64_t, uint64_t>> sets;
  std::vector<Values> ints;
};

typedef std::vector<QroIntSetVarI*> SetVars;

// A row: set variables over {0, ..., universe - 1} (the i-th over
// universes[i] values when given) and integer variables over [lo, hi]; build
// adds the row's node; check reads the sets' masks followed by the integers'
// values.
struct SetRow {
  const char* name;
  int sets, universe, ints;
  int64_t lo, hi;
  std::function<QroConstraintI*(QroEnv&, const SetVars&, const std::vector<QroNumVar>&)> node;
  std::function<bool(const Values&, const Domains&)> check;
  std::vector<int> universes = {};
};

template <int R>
QroConstraintI* setRow(QroEnv& env, const Fields& f, RowExtract ex, RowRemove rm) {
  return solvertest::rowConstraint<R>(env, f, ex, rm);
}

QroExtractableArray setArray(QroEnv& env, const SetVars& v, size_t first, size_t count) {
  QroExtractableArray a(env, 0);
  for (size_t i = first; i < first + count; ++i) a.add(v[i]);
  return a;
}

QroIntSetVarI* setVar(const Fields& f, int i) {
  return static_cast<QroIntSetVarI*>(f.child[i]);
}

// The two forms of a relation between set variables or a set variable and
// the constant set {0, 2} (negative: the constant comes first).
enum Form { Vars = 0, Constant = 1, ConstantFirst = -1 };
const uint64_t kConstant = 0x5;

RowRemove childAndOptional = [](QroAlgorithmI* a, const Fields& g) {
  removeChildAndOptional(a, g.child[0], g.child[1]);
};

Fields pairFields(QroEnv& env, const SetVars& v, Form form) {
  Fields f;
  f.child[0] = v[0];
  if (form == Vars)
    f.child[1] = v[1];
  else
    f.set = setOf(env, kConstant);
  return f;
}

// The relation's operands as masks: the second variable or the constant.
uint64_t first(const Values& a, Form form) {
  return form == ConstantFirst ? kConstant : static_cast<uint64_t>(a[0]);
}
uint64_t second(const Values& a, Form form) {
  return form == Vars       ? static_cast<uint64_t>(a[1])
         : form == Constant ? kConstant
                            : static_cast<uint64_t>(a[0]);
}

bool subsetEq(uint64_t x, uint64_t y) {
  return (x & ~y) == 0;
}

// f(x) = 2x - 1, 2.5 at 3 and 1e19 at 4.
class Numbers : public QroIntToIntFunctionI {
 public:
  QroNum getValue(QroInt x) override { return x == 3 ? 2.5 : x == 4 ? 1e19 : 2.0 * x - 1; }
};

// The objects of a table, null past its end.
template <class F, class T>
class Table : public F {
 public:
  explicit Table(std::vector<T*> objects) : _objects(std::move(objects)) {}
  T* getValue(QroInt x) override {
    return x >= 0 && x < static_cast<QroInt>(_objects.size()) ? _objects[x] : nullptr;
  }

 private:
  std::vector<T*> _objects;
};
typedef Table<QroIntToIntVarFunctionI, QroExtractableI> Expressions;
typedef Table<QroIntToIntSetVarFunctionI, QroIntSetVarI> SetVarTable;

// f(x) = (x + 1) mod 3 and f(x) = 3 - 2x, as numbers.
class Shift : public QroIntToIntFunctionI {
 public:
  QroNum getValue(QroInt x) override { return static_cast<QroNum>((x + 1) % 3); }
};
class Falling : public QroIntToIntFunctionI {
 public:
  QroNum getValue(QroInt x) override { return 3.0 - 2.0 * static_cast<QroNum>(x); }
};
Shift shift;
Falling falling;

// Keeps the function objects of the models until the program ends.
template <class T>
T* kept(T* f) {
  static std::vector<std::unique_ptr<T>> all;
  all.emplace_back(f);
  return f;
}

QroIntToIntFunctionI* numbersOf(const Fields& g) {
  return static_cast<QroIntToIntFunctionI*>(g.object);
}
QroIntToIntVarFunctionI* expressionsOf(const Fields& g) {
  return static_cast<QroIntToIntVarFunctionI*>(g.object);
}
QroIntToIntSetVarFunctionI* setVarsOf(const Fields& g) {
  return static_cast<QroIntToIntSetVarFunctionI*>(g.object);
}

// The functions of the elements of S, the first set variable: the union
// U (the second set variable) of f(x) over S, and the sum, minimum or
// maximum z (the first integer variable) of f(x) over S. f is a number, the
// integer variable ints[1 + x] or the set variable sets[2 + x].
void addFunctionRows(std::vector<SetRow>& r) {
  r.push_back({"UnionOfNumbers", 2, 3, 0, 0, 0,
               [](QroEnv& env, const SetVars& v, const std::vector<QroNumVar>&) {
                 Fields f;
                 f.child[0] = v[0];
                 f.child[1] = v[1];
                 f.object = &shift;
                 return setRow<240>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractSetUnionOfFunction(a, x, setVar(g, 0), setVar(g, 1),
                                                        numbersOf(g));
                     },
                     childAndOptional);
               },
               [](const Values& a, const Domains&) {
                 int64_t u = 0;
                 for (int x = 0; x < 3; ++x)
                   if (has(a[0], x)) u |= int64_t(1) << ((x + 1) % 3);
                 return a[1] == u;
               }});
  r.push_back({"UnionOfExpressions", 2, 3, 3, 0, 2,
               [](QroEnv& env, const SetVars& v, const std::vector<QroNumVar>& y) {
                 Fields f;
                 f.child[0] = v[0];
                 f.child[1] = v[1];
                 f.object = kept<QroIntToIntVarFunctionI>(
                     new Expressions({y[0].getImpl(), y[1].getImpl(), y[2].getImpl()}));
                 return setRow<241>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractSetUnionOfFunction(a, x, setVar(g, 0), setVar(g, 1),
                                                        expressionsOf(g));
                     },
                     [](QroAlgorithmI* a, const Fields& g) {
                       removeFunctionOperands(a, setVar(g, 0), g.child[1], expressionsOf(g));
                     });
               },
               [](const Values& a, const Domains&) {
                 int64_t u = 0;
                 for (int x = 0; x < 3; ++x)
                   if (has(a[0], x)) u |= int64_t(1) << a[2 + x];
                 return a[1] == u;
               }});
  SetRow sets{"UnionOfSetVars",
              5,
              3,
              0,
              0,
              0,
              [](QroEnv& env, const SetVars& v, const std::vector<QroNumVar>&) {
                Fields f;
                f.child[0] = v[0];
                f.child[1] = v[1];
                f.object = kept<QroIntToIntSetVarFunctionI>(new SetVarTable({v[2], v[3], v[4]}));
                return setRow<242>(
                    env, f,
                    [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                      return extractSetUnionOfFunction(a, x, setVar(g, 0), setVar(g, 1),
                                                       setVarsOf(g));
                    },
                    [](QroAlgorithmI* a, const Fields& g) {
                      removeFunctionOperands(a, setVar(g, 0), g.child[1], setVarsOf(g));
                    });
              },
              [](const Values& a, const Domains&) {
                int64_t u = 0;
                for (int x = 0; x < 3; ++x)
                  if (has(a[0], x)) u |= a[2 + x];
                return a[1] == u;
              }};
  sets.universes = {3, 2, 2, 2, 2};
  r.push_back(sets);
  enum { Sum, Min, Max };
  for (int kind : {Sum, Min, Max})
    for (int expressions = 0; expressions < 2; ++expressions) {
      static const char* const names[3][2] = {{"SumOfNumbers", "SumOfExpressions"},
                                              {"MinOfNumbers", "MinOfExpressions"},
                                              {"MaxOfNumbers", "MaxOfExpressions"}};
      r.push_back(
          {names[kind][expressions], 1, 3, expressions ? 4 : 1, -2, 3,
           [kind, expressions](QroEnv& env, const SetVars& v, const std::vector<QroNumVar>& z) {
             Fields f;
             f.child[0] = v[0];
             f.child[1] = z[0].getImpl();
             RowRemove rm = childAndOptional;
             if (expressions) {
               f.object = kept<QroIntToIntVarFunctionI>(
                   new Expressions({z[1].getImpl(), z[2].getImpl(), z[3].getImpl()}));
               rm = [](QroAlgorithmI* a, const Fields& g) {
                 removeFunctionOperands(a, setVar(g, 0), g.child[1], expressionsOf(g));
               };
             } else {
               f.object = &falling;
             }
             switch (kind * 2 + expressions) {
               case 0:
                 return setRow<243>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractSetSumOfFunction(a, x, setVar(g, 0), g.child[1], numbersOf(g));
                     },
                     rm);
               case 1:
                 return setRow<244>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractSetSumOfFunction(a, x, setVar(g, 0), g.child[1],
                                                      expressionsOf(g));
                     },
                     rm);
               case 2:
                 return setRow<245>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractSetMinOfFunction(a, x, setVar(g, 0), g.child[1], numbersOf(g));
                     },
                     rm);
               case 3:
                 return setRow<246>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractSetMinOfFunction(a, x, setVar(g, 0), g.child[1],
                                                      expressionsOf(g));
                     },
                     rm);
               case 4:
                 return setRow<247>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractSetMaxOfFunction(a, x, setVar(g, 0), g.child[1], numbersOf(g));
                     },
                     rm);
               default:
                 return setRow<248>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractSetMaxOfFunction(a, x, setVar(g, 0), g.child[1],
                                                      expressionsOf(g));
                     },
                     rm);
             }
           },
           [kind, expressions](const Values& a, const Domains&) {
             // The minimum and the maximum of no element are left free.
             if (a[0] == 0) return kind != Sum || a[1] == 0;
             int64_t sum = 0, min = INT64_MAX, max = INT64_MIN;
             for (int x = 0; x < 3; ++x) {
               if (!has(a[0], x)) continue;
               int64_t fx = expressions ? a[2 + x] : 3 - 2 * x;
               sum += fx;
               min = std::min(min, fx);
               max = std::max(max, fx);
             }
             return a[1] == (kind == Sum ? sum : kind == Min ? min : max);
           }});
    }
}

// Every row has a class number of its own (from 200 on).
std::vector<SetRow> setRows() {
  std::vector<SetRow> r;
  // Equality and inequality.
  for (int neq = 0; neq < 2; ++neq)
    for (Form form : {Vars, Constant}) {
      static const char* const names[2][2] = {{"SetEq", "SetEqConstant"},
                                              {"SetNeq", "SetNeqConstant"}};
      r.push_back({names[neq][form], form == Vars ? 2 : 1, form == Vars ? 3 : 4, 0, 0, 0,
                   [neq, form](QroEnv& env, const SetVars& v, const std::vector<QroNumVar>&) {
                     Fields f = pairFields(env, v, form);
                     if (neq)
                       return form == Vars
                                  ? setRow<201>(
                                        env, f,
                                        [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                                          return extractSetNeq(a, x, setVar(g, 0), setVar(g, 1));
                                        },
                                        childAndOptional)
                                  : setRow<202>(
                                        env, f,
                                        [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                                          return extractSetNeq(a, x, setVar(g, 0), g.set);
                                        },
                                        childAndOptional);
                     return form == Vars
                                ? setRow<203>(
                                      env, f,
                                      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                                        return extractSetEq(a, x, setVar(g, 0), setVar(g, 1));
                                      },
                                      childAndOptional)
                                : setRow<204>(
                                      env, f,
                                      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                                        return extractSetEq(a, x, setVar(g, 0), g.set);
                                      },
                                      childAndOptional);
                   },
                   [neq, form](const Values& a, const Domains&) {
                     return (first(a, form) == second(a, form)) != (neq != 0);
                   }});
    }
  // Strict and non-strict subsets, in the three forms.
  for (int strict = 0; strict < 2; ++strict)
    for (Form form : {Vars, ConstantFirst, Constant}) {
      static const char* const names[2][3] = {
          {"SubsetEq", "SubsetEqOfConstant", "SubsetEqOfVariable"},
          {"Subset", "SubsetOfConstant", "SubsetOfVariable"}};
      r.push_back(
          {names[strict][form == Vars       ? 0
                         : form == Constant ? 1
                                            : 2],
           form == Vars ? 2 : 1, form == Vars ? 3 : 4, 0, 0, 0,
           [strict, form](QroEnv& env, const SetVars& v, const std::vector<QroNumVar>&) {
             Fields f = pairFields(env, v, form == Vars ? Vars : Constant);
             RowExtract ex;
             if (strict)
               ex = form == Vars
                        ? RowExtract([](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                            return extractSubset(a, x, setVar(g, 0), setVar(g, 1));
                          })
                    : form == Constant
                        ? RowExtract([](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                            return extractSubset(a, x, setVar(g, 0), g.set);
                          })
                        : RowExtract([](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                            return extractSubset(a, x, g.set, setVar(g, 0));
                          });
             else
               ex = form == Vars
                        ? RowExtract([](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                            return extractSubsetEq(a, x, setVar(g, 0), setVar(g, 1));
                          })
                    : form == Constant
                        ? RowExtract([](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                            return extractSubsetEq(a, x, setVar(g, 0), g.set);
                          })
                        : RowExtract([](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                            return extractSubsetEq(a, x, g.set, setVar(g, 0));
                          });
             int id = strict * 3 + (form == Vars ? 0 : form == Constant ? 1 : 2);
             switch (id) {
               case 0:
                 return setRow<205>(env, f, ex, childAndOptional);
               case 1:
                 return setRow<206>(env, f, ex, childAndOptional);
               case 2:
                 return setRow<207>(env, f, ex, childAndOptional);
               case 3:
                 return setRow<208>(env, f, ex, childAndOptional);
               case 4:
                 return setRow<209>(env, f, ex, childAndOptional);
               default:
                 return setRow<210>(env, f, ex, childAndOptional);
             }
           },
           [strict, form](const Values& a, const Domains&) {
             uint64_t x = first(a, form), y = second(a, form);
             return subsetEq(x, y) && (!strict || x != y);
           }});
    }
  for (Form form : {Vars, Constant})
    r.push_back({form == Vars ? "NullIntersect" : "NullIntersectConstant", form == Vars ? 2 : 1,
                 form == Vars ? 3 : 4, 0, 0, 0,
                 [form](QroEnv& env, const SetVars& v, const std::vector<QroNumVar>&) {
                   Fields f = pairFields(env, v, form);
                   if (form == Vars)
                     return setRow<211>(
                         env, f,
                         [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                           return extractNullIntersect(a, x, setVar(g, 0), setVar(g, 1));
                         },
                         childAndOptional);
                   return setRow<212>(
                       env, f,
                       [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                         return extractNullIntersect(a, x, setVar(g, 0), g.set);
                       },
                       childAndOptional);
                 },
                 [form](const Values& a, const Domains&) {
                   return (first(a, form) & second(a, form)) == 0;
                 }});
  // Membership of an expression (x + 1 over x in [-2, 3]) or of the value 2.
  for (int negated = 0; negated < 2; ++negated)
    for (int value = 0; value < 2; ++value) {
      static const char* const names[2][2] = {{"SetMember", "SetMemberValue"},
                                              {"SetNotMember", "SetNotMemberValue"}};
      r.push_back(
          {names[negated][value], 1, 4, value ? 0 : 1, -2, 3,
           [negated, value](QroEnv& env, const SetVars& v, const std::vector<QroNumVar>& x) {
             Fields f;
             if (value) {
               f.child[0] = v[0];
               f.k[0] = 2;
             } else {
               f.child[0] = (x[0] + 1).getImpl();
               f.child[1] = v[0];
             }
             RowExtract ex;
             if (negated)
               ex = value ? RowExtract([](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
                 return extractSetNotMember(a, n, g.k[0], setVar(g, 0));
               })
                          : RowExtract([](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
                              return extractSetNotMember(a, n, g.child[0], setVar(g, 1));
                            });
             else
               ex = value ? RowExtract([](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
                 return extractSetMember(a, n, g.k[0], setVar(g, 0));
               })
                          : RowExtract([](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
                              return extractSetMember(a, n, g.child[0], setVar(g, 1));
                            });
             switch (negated * 2 + value) {
               case 0:
                 return setRow<213>(env, f, ex, childAndOptional);
               case 1:
                 return setRow<214>(env, f, ex, childAndOptional);
               case 2:
                 return setRow<215>(env, f, ex, childAndOptional);
               default:
                 return setRow<216>(env, f, ex, childAndOptional);
             }
           },
           [negated, value](const Values& a, const Domains&) {
             int64_t member = value ? 2 : a[1] + 1;
             return has(static_cast<uint64_t>(a[0]), member) != (negated != 0);
           }});
    }
  // s == x intersect y, s == x union y: s is the first set variable.
  for (int uni = 0; uni < 2; ++uni)
    r.push_back({uni ? "EqUnion" : "EqIntersection", 3, 3, 0, 0, 0,
                 [uni](QroEnv& env, const SetVars& v, const std::vector<QroNumVar>&) {
                   Fields f;
                   for (int i = 0; i < 3; ++i) f.child[i] = v[i];
                   RowRemove three = [](QroAlgorithmI* a, const Fields& g) {
                     removeThree(a, g.child[0], g.child[1], g.child[2]);
                   };
                   if (uni)
                     return setRow<217>(
                         env, f,
                         [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                           return extractEqUnion(a, x, setVar(g, 0), setVar(g, 1), setVar(g, 2));
                         },
                         three);
                   return setRow<218>(
                       env, f,
                       [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                         return extractEqIntersection(a, x, setVar(g, 0), setVar(g, 1),
                                                      setVar(g, 2));
                       },
                       three);
                 },
                 [uni](const Values& a, const Domains&) {
                   return a[0] == (uni ? a[1] | a[2] : a[1] & a[2]);
                 }});
  // s == the union of three sets, disjoint or not: s is the first variable.
  for (int disjoint = 0; disjoint < 2; ++disjoint)
    r.push_back({disjoint ? "DisjointUnion" : "EqUnionArray", 4, 3, 0, 0, 0,
                 [disjoint](QroEnv& env, const SetVars& v, const std::vector<QroNumVar>&) {
                   Fields f;
                   f.child[0] = v[0];
                   f.a[0] = setArray(env, v, 1, 3);
                   RowRemove rm = [](QroAlgorithmI* a, const Fields& g) {
                     removeElementsOfSecond(a, g.child[0], g.a[0]);
                   };
                   if (disjoint)
                     return setRow<219>(
                         env, f,
                         [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                           return extractDisjointUnion(a, x, setVar(g, 0), g.a[0]);
                         },
                         rm);
                   return setRow<220>(
                       env, f,
                       [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                         return extractEqUnionArray(a, x, setVar(g, 0), g.a[0]);
                       },
                       rm);
                 },
                 [disjoint](const Values& a, const Domains&) {
                   if (disjoint && ((a[1] & a[2]) | (a[1] & a[3]) | (a[2] & a[3]))) return false;
                   return a[0] == (a[1] | a[2] | a[3]);
                 }});
  // Partitions of the values possible in some set, or of the universe {0, 2}.
  for (int with = 0; with < 2; ++with)
    r.push_back({with ? "PartitionWith" : "Partition", 3, 3, 0, 0, 0,
                 [with](QroEnv& env, const SetVars& v, const std::vector<QroNumVar>&) {
                   Fields f;
                   f.a[0] = setArray(env, v, 0, 3);
                   f.ints[0] = intsOf(env, {2, 0});
                   RowRemove rm = [](QroAlgorithmI* a, const Fields& g) {
                     removeElements(a, g.a[0]);
                   };
                   if (with)
                     return setRow<221>(
                         env, f,
                         [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                           return extractPartitionWith(a, x, g.a[0], g.ints[0]);
                         },
                         rm);
                   return setRow<222>(
                       env, f,
                       [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                         return extractPartition(a, x, g.a[0]);
                       },
                       rm);
                 },
                 [with](const Values& a, const Domains& d) {
                   uint64_t universe = 0;
                   for (const auto& s : d.sets) universe |= s.first;
                   if (with) universe = kConstant;
                   for (int v = 0; v < 3; ++v) {
                     int in = has(a[0], v) + has(a[1], v) + has(a[2], v);
                     if (has(universe, v) && in != 1) return false;
                   }
                   return true;
                 }});
  r.push_back({"AllNullIntersect", 3, 3, 0, 0, 0,
               [](QroEnv& env, const SetVars& v, const std::vector<QroNumVar>&) {
                 Fields f;
                 f.a[0] = setArray(env, v, 0, 3);
                 return setRow<223>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractAllNullIntersect(a, x, g.a[0]);
                     },
                     [](QroAlgorithmI* a, const Fields& g) { removeElements(a, g.a[0]); });
               },
               [](const Values& a, const Domains&) {
                 return ((a[0] & a[1]) | (a[0] & a[2]) | (a[1] & a[2])) == 0;
               }});
  // Channelling: x[j] = i exactly when j lies in set i, over two sets whose
  // universe holds 3, no index of x, and x over [-1, 2], beyond the sets.
  r.push_back(
      {"SetInverse", 2, 4, 3, -1, 2,
       [](QroEnv& env, const SetVars& v, const std::vector<QroNumVar>& x) {
         Fields f;
         f.a[0] = setArray(env, v, 0, 2);
         f.a[1] = QroExtractableArray(env, 0);
         for (const QroNumVar& y : x) f.a[1].add(y.getImpl());
         return setRow<224>(
             env, f,
             [](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
               return extractSetInverse(a, n, g.a[0], g.a[1]);
             },
             [](QroAlgorithmI* a, const Fields& g) { removeArraysElementwise(a, g.a[0], g.a[1]); });
       },
       [](const Values& a, const Domains&) {
         if (has(a[0], 3) || has(a[1], 3)) return false;
         for (int j = 0; j < 3; ++j) {
           if (a[2 + j] < 0 || a[2 + j] > 1) return false;
           for (int i = 0; i < 2; ++i)
             if (has(a[i], j) != (a[2 + j] == i)) return false;
         }
         return true;
       }});
  addFunctionRows(r);
  return r;
}

// Full domains, or random ones from the seed: possible sets lose a value
// with probability 1/5, required sets take one with probability 1/6.
Domains domainsOf(const SetRow& row, std::mt19937_64* rng) {
  Domains d;
  for (int i = 0; i < row.sets; ++i) {
    int universe = row.universes.empty() ? row.universe : row.universes[static_cast<size_t>(i)];
    uint64_t possible = (uint64_t(1) << universe) - 1, required = 0;
    if (rng)
      for (int v = 0; v < universe; ++v) {
        if ((*rng)() % 5 == 0)
          possible &= ~(uint64_t(1) << v);
        else if ((*rng)() % 6 == 0)
          required |= uint64_t(1) << v;
      }
    d.sets.push_back({possible, required});
  }
  d.ints = rng ? qrotest::randomDomains(*rng, row.ints, row.lo, row.hi,
                                        static_cast<int>(row.hi - row.lo))
               : qrotest::ranges(row.ints, row.lo, row.hi);
  return d;
}

std::vector<Values> bruteForce(const SetRow& row, const Domains& d) {
  std::vector<Values> candidates;
  for (const auto& s : d.sets) {
    Values masks;
    for (uint64_t m = 0; m <= s.first; ++m)
      if (subsetEq(m, s.first) && subsetEq(s.second, m)) masks.push_back(static_cast<int64_t>(m));
    candidates.push_back(masks);
  }
  for (const Values& values : d.ints) candidates.push_back(values);
  std::vector<Values> out;
  for (const Values& c : candidates)
    if (c.empty()) return out;
  std::vector<size_t> at(candidates.size(), 0);
  Values a(candidates.size());
  while (true) {
    for (size_t i = 0; i < a.size(); ++i) a[i] = candidates[i][at[i]];
    if (row.check(a, d)) out.push_back(a);
    size_t i = 0;
    while (i < at.size() && ++at[i] == candidates[i].size()) at[i++] = 0;
    if (i == at.size()) return out;
  }
}

// The model of a row over fresh variables of the domains.
struct RowModel {
  SetVars sets;
  std::vector<QroNumVar> ints;
  QroConstraintI* node = nullptr;
  RowModel(const SetRow& row, const Domains& d, QroEnv& env, QroModel& model) {
    // In the model: a set that the node does not reach is still searched.
    for (const auto& s : d.sets) {
      sets.push_back(new (env.getImpl()) SetVarI(env.getImpl(), setOf(env, s.first),
                                                 s.second ? setOf(env, s.second) : nullptr));
      model.add(QroExtractable(sets.back()));
    }
    for (const Values& values : d.ints) {
      ints.push_back(qrotest::makeIntVar(env, values));
      model.add(ints.back());
    }
    node = row.node(env, sets, ints);
    model.add(node);
  }
};

// The solutions that the solver's default search finds.
std::vector<Values> solverSolutions(
    const SetRow& row, const Domains& d, bool edit,
    const std::function<void(QroSolver&, QroConstraintI*)>& configure) {
  std::vector<Values> out;
  QroEnv env;
  try {
    QroModel model(env);
    RowModel m(row, d, env, model);
    QroSolver solver(model, edit ? &QrcEdit : &QrcNoEdit);
    solver.getManagerI()->setFailLimit(100000);
    if (configure) configure(solver, m.node);
    solver.startNewSearch();
    while (out.size() < 5000 && solver.next()) {
      Values a;
      for (QroIntSetVarI* x : m.sets) {
        QrcIntSetVarI* e = solver.getImpl()->getIntSetVar(x);
        EXPECT_TRUE(e->isBound()) << row.name;
        int64_t mask = 0;
        for (int v = 0; v < 63; ++v)
          if (e->isRequired(v)) mask |= int64_t(1) << v;
        a.push_back(mask);
      }
      for (const QroNumVar& x : m.ints) a.push_back(static_cast<int64_t>(solver.getValue(x)));
      out.push_back(a);
    }
    solver.endSearch();
    solver.end();
  } catch (const QroSolver::ModelInconsistent&) {
  } catch (const QroException& e) {
    ADD_FAILURE() << row.name << ": " << e.getMessage();
  }
  env.end();
  return out;
}

std::string text(const Values& a) {
  std::string s = "(";
  for (size_t i = 0; i < a.size(); ++i) s += (i ? "," : "") + std::to_string(a[i]);
  return s + ")";
}

// Both modes find exactly the brute-force solutions, each once.
void compare(const SetRow& row, const Domains& d, const std::string& name,
             const std::function<void(QroSolver&, QroConstraintI*)>& configure = nullptr) {
  std::vector<Values> expected = bruteForce(row, d);
  std::set<Values> want(expected.begin(), expected.end());
  for (bool edit : {true, false}) {
    std::vector<Values> found = solverSolutions(row, d, edit, configure);
    std::set<Values> got(found.begin(), found.end());
    std::string mode = name + (edit ? " (edit)" : " (no edit)");
    EXPECT_EQ(got.size(), found.size()) << mode << ": a solution found twice";
    for (const Values& a : want)
      if (!got.count(a)) {
        ADD_FAILURE() << mode << ": missed " << text(a);
        break;
      }
    for (const Values& a : got)
      if (!want.count(a)) {
        ADD_FAILURE() << mode << ": wrong solution " << text(a);
        break;
      }
  }
}

bool takesTheSolverLevel(const std::string& name) {
  return name == "Partition" || name == "PartitionWith" || name == "AllNullIntersect" ||
         name == "DisjointUnion";
}

}  // namespace

TEST(SetBuilders, RandomModelsMatchBruteForce) {
  uint64_t seed = qrotest::seedOr(3521);
  std::mt19937_64 rng(seed);
  for (const SetRow& row : setRows())
    for (int round = 0; round < 6; ++round)
      compare(row, domainsOf(row, round ? &rng : nullptr),
              std::string(row.name) + " seed " + std::to_string(seed) + " round " +
                  std::to_string(round));
}

TEST(SetBuilders, LeveledRowsMatchBruteForceAtEveryLevel) {
  uint64_t seed = qrotest::seedOr(3522);
  std::mt19937_64 rng(seed);
  for (const SetRow& row : setRows()) {
    if (!takesTheSolverLevel(row.name)) continue;
    for (QroInt level = 0; level <= 3; ++level)
      // Set after the first extraction: the search extracts the model again.
      compare(row, domainsOf(row, level ? &rng : nullptr),
              std::string(row.name) + " level " + std::to_string(level) + " seed " +
                  std::to_string(seed),
              [level](QroSolver& solver, QroConstraintI* node) {
                solver.setFilterLevel(QroConstraint(node), level);
              });
  }
}

namespace {

// The levels of the filtered engine constraints under ct (through conjunctions).
void levelsOf(QrcConstraintI* ct, std::vector<QrcInt>& out) {
  if (ct->isType(QrcBoolAndExpI::GetTypeInfo())) {
    levelsOf(static_cast<QrcBoolAndExpI*>(ct)->getFirst(), out);
    levelsOf(static_cast<QrcBoolAndExpI*>(ct)->getSecond(), out);
  } else if (ct->isType(QrcConstraintWithFilterI::GetTypeInfo())) {
    out.push_back(static_cast<QrcConstraintWithFilterI*>(ct)->getFilterLevel());
  }
}

}  // namespace

TEST(SetBuilders, ExtractedConstraintsTakeTheLevelOfTheirNode) {
  for (const SetRow& row : setRows()) {
    bool leveled = takesTheSolverLevel(row.name);
    if (!leveled && std::string(row.name) != "EqUnion") continue;
    // -1: no level set.
    for (QroInt level = -1; level <= 3; ++level) {
      QroEnv env;
      QroModel model(env);
      RowModel m(row, domainsOf(row, nullptr), env, model);
      QroSolver solver(model);
      if (level >= 0) solver.setFilterLevel(QroConstraint(m.node), level);
      solver.solve(QroGoal());
      std::vector<QrcInt> levels;
      levelsOf(solver.getImpl()->getConstraint(m.node).getImpl(), levels);
      ASSERT_FALSE(levels.empty()) << row.name;
      // The union keeps the table's default for its kind.
      QrcInt want = !leveled ? 1 : level < 0 ? 0 : level;
      for (QrcInt effective : levels) EXPECT_EQ(effective, want) << row.name << " level " << level;
      solver.end();
      env.end();
    }
  }
}

TEST(SetBuilders, RemoveHooksReleaseTheirFields) {
  for (const SetRow& row : setRows()) {
    QroEnv env;
    QroModel empty(env), model(env);
    RowModel m(row, domainsOf(row, nullptr), env, model);
    QroSolver solver(empty);
    QroSolverI* s = solver.getImpl();
    std::vector<QroExtractableI*> fields(m.sets.begin(), m.sets.end());
    for (const QroNumVar& x : m.ints) fields.push_back(x.getImpl());
    s->QroAlgorithmI::extract(m.node);
    for (QroExtractableI* x : fields) EXPECT_GT(s->getUseCount(x->getId()), 0) << row.name;
    s->QroAlgorithmI::remove(m.node);
    for (QroExtractableI* x : fields) {
      EXPECT_FALSE(s->isExtracted(x)) << row.name;
      EXPECT_EQ(s->getUseCount(x->getId()), 0) << row.name;
    }
    solver.end();
    env.end();
  }
}

TEST(SetBuilders, NamesAndTypeChecks) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  SetVars v;
  for (int i = 0; i < 2; ++i)
    v.push_back(new (env.getImpl()) SetVarI(env.getImpl(), setOf(env, 0x7), nullptr));
  // A named node names its engine constraint.
  QroConstraintI* eq = setRow<230>(
      env, pairFields(env, v, Vars),
      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
        return extractSetEq(a, x, setVar(g, 0), setVar(g, 1));
      },
      childAndOptional);
  eq->setName("same");
  s->QroAlgorithmI::extract(eq);
  EXPECT_STREQ(s->getConstraint(eq).getImpl()->getName(), "same");

  // An array of sets holding another kind of object is refused before
  // anything is extracted.
  QroNumVar x(env, 0, 2, QroNumVar::Int);
  Fields f;
  f.child[0] = v[0];
  f.a[0] = QroExtractableArray(env, 0);
  QroIntSetVarI* aside = new (env.getImpl()) SetVarI(env.getImpl(), setOf(env, 0x7), nullptr);
  f.a[0].add(aside);
  f.a[0].add(x.getImpl());
  struct Case {
    RowExtract extract;
    const char* message;
  } cases[] = {
      {[](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
         return extractPartition(a, n, g.a[0]);
       },
       "Partition: an element of the set array is not an integer-set variable"},
      {[](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
         return extractAllNullIntersect(a, n, g.a[0]);
       },
       "AllNullIntersect: an element of the set array is not an integer-set variable"},
      {[](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
         return extractDisjointUnion(a, n, setVar(g, 0), g.a[0]);
       },
       "DisjointUnion: an element of the set array is not an integer-set variable"},
      {[](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
         return extractEqUnionArray(a, n, setVar(g, 0), g.a[0]);
       },
       "EqUnion: an element of the set array is not an integer-set variable"},
      {[](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
         return extractSetInverse(a, n, g.a[0], g.a[0]);
       },
       "SetInverse: an element of the set array is not an integer-set variable"},
  };
  for (const Case& c : cases) {
    QroConstraintI* node = setRow<231>(env, f, c.extract, nullptr);
    try {
      node->extract(s);
      ADD_FAILURE() << c.message << ": nothing thrown";
    } catch (const QroSolver::WrongType& e) {
      EXPECT_STREQ(e.getMessage(), c.message);
    }
    EXPECT_FALSE(s->isExtracted(aside));
    EXPECT_FALSE(s->isExtracted(x.getImpl()));
  }

  // A floating-point member expression.
  Fields g;
  g.child[0] = QroNumVar(env, 0, 2, QroNumVar::Float).getImpl();
  g.child[1] = v[0];
  QroConstraintI* member = setRow<232>(
      env, g,
      [](QroAlgorithmI* a, QroExtractableI* n, const Fields& h) {
        return extractSetMember(a, n, h.child[0], setVar(h, 1));
      },
      nullptr);
  try {
    member->extract(s);
    ADD_FAILURE() << "nothing thrown";
  } catch (const QroSolver::WrongType& e) {
    EXPECT_STREQ(e.getMessage(),
                 "You tried to create a set member constraint with a floating point expression");
  }
  solver.end();
  env.end();
}

TEST(SetBuilders, FunctionWrappers) {
  QroEnv env;
  QroModel model(env);
  QroNumVar x(env, 0, 3, QroNumVar::Int), aside(env, 0, 3, QroNumVar::Int);
  QroRange positive(env, 1.0, x, 1e20);
  QroIntSetVarI* set = new (env.getImpl()) SetVarI(env.getImpl(), setOf(env, 0x7), nullptr);
  QroIntSetVarI* other = new (env.getImpl()) SetVarI(env.getImpl(), setOf(env, 0x7), nullptr);
  model.add(x);
  model.add(positive);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  s->QroAlgorithmI::extract(set);
  QrcManagerI* m = s->getManager();

  Numbers numbers;
  QrcIntToIntFunctionI* ints = new (m) QrcIntToIntfromIntToIntWrapperI(s, &numbers);
  EXPECT_TRUE(ints->isType(QrcIntToIntFunctionI::GetTypeInfo()));
  EXPECT_EQ(ints->getValue(-3), -7);
  EXPECT_EQ(ints->getValue(2), 3);
  EXPECT_THROW(ints->getValue(3), QroSolver::NumIsNotInteger);
  EXPECT_THROW(ints->getValue(4), QroSolver::IntegerOverflow);

  // An extracted expression, one not extracted, none, a constraint's 0-1 variable.
  Expressions exprs({x.getImpl(), aside.getImpl(), nullptr, positive.getImpl()});
  QrcIntToIntExpFunctionI* e = new (m) QrcIntToIntExpfromIntToIntVarWrapperI(s, &exprs);
  EXPECT_EQ(e->getValue(0), solver.getIntVar(x).getImpl());
  EXPECT_EQ(e->getValue(1), nullptr);
  EXPECT_EQ(e->getValue(2), nullptr);
  EXPECT_EQ(e->getValue(3), s->getIntVar(positive.getImpl()).getImpl());
  EXPECT_EQ(e->getValue(7), nullptr);

  SetVarTable sets({set, other});
  QrcIntToIntSetVarFunctionI* v = new (m) QrcIntToIntSetVarfromIntToIntSetVarWrapperI(s, &sets);
  EXPECT_EQ(v->getValue(0), s->getIntSetVar(set));
  EXPECT_EQ(v->getValue(1), nullptr);
  EXPECT_EQ(v->getValue(2), nullptr);
  solver.end();
  env.end();
}

TEST(SetBuilders, FunctionOperandChecks) {
  QroEnv env;
  QroModel model(env);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  // S over {0, 2}: f(1) is neither checked nor extracted.
  QroIntSetVarI* set = new (env.getImpl()) SetVarI(env.getImpl(), setOf(env, 0x5), nullptr);
  QroNumVar z(env, -9, 9, QroNumVar::Int), y(env, 0, 2, QroNumVar::Int),
      unused(env, 0, 2, QroNumVar::Int), real(env, 0, 2, QroNumVar::Float);

  // f(2) = 2.5.
  class Halves : public QroIntToIntFunctionI {
   public:
    QroNum getValue(QroInt x) override { return x == 2 ? 2.5 : x == 1 ? 0.5 : 1.0; }
  } halves;
  Fields f;
  f.child[0] = set;
  f.child[1] = z.getImpl();
  f.object = &halves;
  QroConstraintI* sum = setRow<250>(
      env, f,
      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
        return extractSetSumOfFunction(a, x, setVar(g, 0), g.child[1], numbersOf(g));
      },
      nullptr);
  QrcInt before = s->getManager()->getConstraintCount();
  EXPECT_THROW(sum->extract(s), QroSolver::NumIsNotInteger);
  EXPECT_EQ(s->getManager()->getConstraintCount(), before);

  // f(0) = y, f(1) = unused, f(2) = a float variable.
  Expressions exprs({y.getImpl(), unused.getImpl(), real.getImpl()});
  f.object = &exprs;
  QroConstraintI* max = setRow<251>(
      env, f,
      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
        return extractSetMaxOfFunction(a, x, setVar(g, 0), g.child[1], expressionsOf(g));
      },
      nullptr);
  try {
    max->extract(s);
    ADD_FAILURE() << "nothing thrown";
  } catch (const QroSolver::WrongType& e) {
    EXPECT_STREQ(e.getMessage(),
                 "You tried to create a function over a set with a floating point expression");
  }
  EXPECT_TRUE(s->isExtracted(y.getImpl()));
  EXPECT_FALSE(s->isExtracted(unused.getImpl()));
  solver.end();
  env.end();
}
