// The builders of the global and placement constraints, driven through
// test-only modelling classes whose hook records hold one-line hooks over
// them: random models against brute force, size and type checks, remove
// helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <sstream>
#include <tuple>

#include "extra_support.h"
#include "row_support.h"
#include "qrooperators.h"
#include "qrorange.h"
#include "qrosolver.h"
#include "qrosolveri.h"
#include "qrointset.h"
#include "qrosolverextractor.h"
#include "qrcconstraint.h"
#include "qrcfilterlevel.h"
#include "qrcint.h"
#include "support/harness.h"
#include "support/model_search.h"
#include "support/seed.h"

using solvertest::Fields;
using solvertest::intsOf;
using solvertest::madeNodes;
using solvertest::rowConstraint;
using solvertest::RowExtract;
using solvertest::RowNode;
using solvertest::RowRemove;
using solvertest::TestTupleSetI;

namespace {

typedef std::vector<int64_t> Values;

QroExtractableArray arrayOf(QroEnv& env, const std::vector<QroNumVar>& v, size_t first,
                            size_t count) {
  return QroExtractableArray(solvertest::varArray(env, v, first, count).getImpl());
}

// A row case: n variables with random domains from the seed, a node built
// over them, and the checker.
struct Row {
  using Node =
      std::function<QroExtractableI*(QroEnv&, const std::vector<QroNumVar>&, std::mt19937_64&)>;
  using Check = std::function<bool(const Values&, uint64_t)>;
  Row(const char* name_, int n_, int64_t lo_, int64_t hi_, Node node_, Check check_,
      bool auxiliaries_ = false)
      : name(name_),
        n(n_),
        lo(lo_),
        hi(hi_),
        node(std::move(node_)),
        check(std::move(check_)),
        auxiliaries(auxiliaries_) {}

  const char* name;
  int n;
  int64_t lo, hi;
  Node node;
  Check check;
  bool auxiliaries;
  // Adds several nodes to the model (instead of the one node).
  std::function<void(QroEnv&, QroModel&, const std::vector<QroNumVar>&)> build = nullptr;
};

bool allDifferent(const Values& a) {
  Values s = a;
  std::sort(s.begin(), s.end());
  return std::adjacent_find(s.begin(), s.end()) == s.end();
}

bool in(int64_t v, const Values& set) {
  return std::find(set.begin(), set.end(), v) != set.end();
}

class LessThan : public QrcIntBinaryPredicateI {
 public:
  QrcBool isTrue(QrcInt a, QrcInt b) override { return a < b; }
};
class SumIs : public QrcIntTernaryPredicateI {
 public:
  QrcBool isTrue(QrcInt a, QrcInt b, QrcInt c) override { return a + b == c; }
};
class UnitTransit : public QroPathTransitFunctionI {
 public:
  QroNum transit(QroInt i, QroInt j) override { return i == j ? 5.0 : 1.0; }
};
LessThan lessThan;
SumIs sumIs;
UnitTransit unitTransit;

// Element rows: node == last variable.
template <int R>
QroExtractableI* elementEquals(QroEnv& env, const std::vector<QroNumVar>& v, RowExtract ex) {
  Fields f;
  f.a[0] = arrayOf(env, v, 0, v.size() - 2);
  f.child[0] = v[v.size() - 2].getImpl();
  QroIntExprI* e = new (env.getImpl()) RowNode<R, QroIntExprI>(
      env.getImpl(), f, ex,
      [](QroAlgorithmI* a, const Fields& g) { removeElementsAndIndex(a, g.a[0], g.child[0]); });
  return new (env.getImpl()) QroNumEqI(env.getImpl(), e, v.back().getImpl());
}

// Boxes of one dimension over origin variables: the container (fixed at 0,
// size 5) and members of sizes 2.
QroExtractableI* box(QroEnv& env, QroExtractableI* origin, QroNum size) {
  Fields f;
  f.a[0] = QroExtractableArray(env, 0);
  f.a[0].add(origin);
  f.nums = QroNumArray(env, 0);
  f.nums.add(size);
  return rowConstraint<100>(
      env, f,
      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
        return extractBox(a, x, g.a[0], g.nums);
      },
      [](QroAlgorithmI* a, const Fields& g) { a->remove(g.a[0]); });
}

std::vector<Row> rows() {
  std::vector<Row> r;
  r.push_back({"AllDiff", 4, 0, 3,
               [](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
                 Fields f;
                 f.a[0] = arrayOf(env, v, 0, 4);
                 return rowConstraint<1>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractAllDiff(a, x, g.a[0]);
                     },
                     [](QroAlgorithmI* a, const Fields& g) { a->remove(g.a[0]); });
               },
               [](const Values& a, uint64_t) { return allDifferent(a); }});
  r.push_back({"Pairing", 4, 0, 3,
               [](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
                 Fields f;
                 f.a[0] = arrayOf(env, v, 0, 4);
                 return rowConstraint<2>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractPairing(a, x, g.a[0]);
                     },
                     [](QroAlgorithmI* a, const Fields& g) { a->remove(g.a[0]); });
               },
               [](const Values& a, uint64_t) {
                 for (size_t i = 0; i < a.size(); ++i)
                   if (a[i] == static_cast<int64_t>(i) ||
                       a[static_cast<size_t>(a[i])] != static_cast<int64_t>(i))
                     return false;
                 return true;
               }});
  r.push_back({"Spread", 3, 0, 3,
               [](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
                 Fields f;
                 f.a[0] = arrayOf(env, v, 0, 3);
                 f.child[0] = QroNumVar(env, 0.9, 1.6, QroNumVar::Float).getImpl();
                 f.child[1] = QroNumVar(env, 0.0, 0.75, QroNumVar::Float).getImpl();
                 return rowConstraint<3>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractSpread(a, x, g.a[0], g.child[0], g.child[1]);
                     },
                     [](QroAlgorithmI* a, const Fields& g) {
                       removeArrayAndTwo(a, g.a[0], g.child[0], g.child[1]);
                     });
               },
               [](const Values& a, uint64_t) {
                 int64_t s = a[0] + a[1] + a[2], q = a[0] * a[0] + a[1] * a[1] + a[2] * a[2];
                 // mean = s / 3 in [0.9, 1.6]; 9 dev^2 = 3 q - s^2 <= 9 * 0.5625.
                 return 3 * s >= 9 * 0.9 && s <= 3 * 1.6 && 3 * q - s * s <= 5;
               },
               true});
  for (int withValues = 0; withValues < 2; ++withValues) {
    r.push_back({withValues ? "EqAbstraction" : "EqIntAbstraction", 4, -1, 2,
                 [withValues](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
                   Fields f;
                   f.a[0] = arrayOf(env, v, 0, 2);
                   f.a[1] = arrayOf(env, v, 2, 2);
                   f.ints[0] = intsOf(env, {0, 2});
                   f.k[0] = -1;
                   RowRemove rm = [](QroAlgorithmI* a, const Fields& g) {
                     removeArraysElementwise(a, g.a[0], g.a[1]);
                   };
                   if (withValues)
                     return rowConstraint<4>(
                         env, f,
                         [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                           return extractEqAbstraction(a, x, g.a[0], g.a[1], g.ints[0], g.k[0]);
                         },
                         rm);
                   return rowConstraint<5>(
                       env, f,
                       [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                         return extractEqIntAbstraction(a, x, g.a[0], g.a[1], g.ints[0]);
                       },
                       rm);
                 },
                 [withValues](const Values& a, uint64_t) {
                   for (int i = 0; i < 2; ++i) {
                     bool member = a[2 + i] == 0 || a[2 + i] == 2;
                     int64_t want = withValues ? (member ? a[2 + i] : -1) : (member ? 1 : 0);
                     if (a[i] != want) return false;
                   }
                   return true;
                 }});
  }
  r.push_back(
      {"Sequence", 6, 0, 2,
       [](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
         Fields f;
         f.a[0] = arrayOf(env, v, 0, 4);
         f.a[1] = arrayOf(env, v, 4, 2);
         f.ints[0] = intsOf(env, {1, 2});
         return rowConstraint<6>(
             env, f,
             [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
               return extractSequence(a, x, 1, 2, 3, g.a[0], g.ints[0], g.a[1]);
             },
             [](QroAlgorithmI* a, const Fields& g) { removeArraysElementwise(a, g.a[0], g.a[1]); });
       },
       [](const Values& a, uint64_t) {
         for (int s = 0; s + 3 <= 4; ++s) {
           int c = 0;
           for (int i = s; i < s + 3; ++i) c += a[i] == 1 || a[i] == 2;
           if (c < 1 || c > 2) return false;
         }
         for (int k = 0; k < 2; ++k)
           if (std::count(a.begin(), a.begin() + 4, k + 1) != a[4 + k]) return false;
         return true;
       }});
  r.push_back(
      {"Inverse", 6, 0, 2,
       [](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
         Fields f;
         f.a[0] = arrayOf(env, v, 0, 3);
         f.a[1] = arrayOf(env, v, 3, 3);
         return rowConstraint<7>(
             env, f,
             [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
               return extractInverse(a, x, g.a[0], g.a[1]);
             },
             [](QroAlgorithmI* a, const Fields& g) { removeArraysElementwise(a, g.a[0], g.a[1]); });
       },
       [](const Values& a, uint64_t) {
         for (int i = 0; i < 3; ++i)
           if (a[3 + a[i]] != i) return false;
         return true;
       }});
  for (int withValues = 0; withValues < 2; ++withValues) {
    r.push_back({withValues ? "Distribute" : "DistributeWithoutValues", 5, 0, 2,
                 [withValues](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
                   Fields f;
                   f.a[0] = arrayOf(env, v, 0, 3);
                   f.a[1] = arrayOf(env, v, 3, 2);
                   if (withValues) f.ints[0] = intsOf(env, {2, 0});
                   return rowConstraint<8>(
                       env, f,
                       [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                         return extractDistribute(a, x, g.a[0], g.a[1], g.ints[0]);
                       },
                       [](QroAlgorithmI* a, const Fields& g) {
                         removeArraysElementwise(a, g.a[0], g.a[1]);
                       });
                 },
                 [withValues](const Values& a, uint64_t) {
                   for (int k = 0; k < 2; ++k) {
                     int64_t value = withValues ? (k == 0 ? 2 : 0) : k;
                     if (std::count(a.begin(), a.begin() + 3, value) != a[3 + k]) return false;
                   }
                   return true;
                 }});
  }
  r.push_back(
      {"PathLength", 8, 0, 3,
       [](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
         Fields f;
         f.a[0] = arrayOf(env, v, 0, 4);
         f.a[1] = arrayOf(env, v, 4, 4);
         f.object = &unitTransit;
         return rowConstraint<9>(
             env, f,
             [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
               return extractPathLength(a, x, g.a[0], g.a[1],
                                        static_cast<QroPathTransitFunctionI*>(g.object), 1);
             },
             [](QroAlgorithmI* a, const Fields& g) { removeArraysElementwise(a, g.a[0], g.a[1]); });
       },
       [](const Values& a, uint64_t) {
         // Inner nodes 0 and 1, end node 2, start node 3.
         if (!allDifferent(Values(a.begin(), a.begin() + 4)) || a[2] != 3) return false;
         for (int i = 0; i < 4; ++i) {
           if (i == 2) continue;
           int64_t j = a[i];
           if (a[4 + j] < a[4 + i] + (i == j ? 5 : 1)) return false;
         }
         return true;
       }});
  for (int allowed = 0; allowed < 2; ++allowed) {
    r.push_back(
        {allowed ? "AllowedTuples" : "ForbiddenTuples", 3, 0, 2,
         [allowed](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
           Fields f;
           f.a[0] = arrayOf(env, v, 0, 3);
           f.child[0] = new (env.getImpl())
               TestTupleSetI(env.getImpl(), 3, {0, 1, 2, 2, 2, 0, 1, 1, 1, 0, 2, 1});
           f.k[0] = allowed;
           return rowConstraint<10>(
               env, f,
               [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                 return extractAllowedTuples(a, x, g.a[0], g.child[0], g.k[0]);
               },
               [](QroAlgorithmI* a, const Fields& g) { removeArrayAndOne(a, g.a[0], g.child[0]); });
         },
         [allowed](const Values& a, uint64_t) {
           const Values t[] = {{0, 1, 2}, {2, 2, 0}, {1, 1, 1}, {0, 2, 1}};
           return std::find(std::begin(t), std::end(t), a) != std::end(t) ? allowed != 0
                                                                          : allowed == 0;
         }});
  }
  r.push_back({"BinaryPredicate", 2, -1, 2,
               [](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
                 Fields f;
                 f.a[0] = arrayOf(env, v, 0, 2);
                 return rowConstraint<11>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractBinaryPredicate(a, x, g.a[0], &lessThan);
                     },
                     [](QroAlgorithmI* a, const Fields& g) { a->remove(g.a[0]); });
               },
               [](const Values& a, uint64_t) { return a[0] < a[1]; }});
  r.push_back({"TernaryPredicate", 3, -1, 2,
               [](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
                 Fields f;
                 f.a[0] = arrayOf(env, v, 0, 3);
                 return rowConstraint<12>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractTernaryPredicate(a, x, g.a[0], &sumIs);
                     },
                     [](QroAlgorithmI* a, const Fields& g) { a->remove(g.a[0]); });
               },
               [](const Values& a, uint64_t) { return a[0] + a[1] == a[2]; }});
  r.push_back({"ElementCaller", 2, -1, 4,
               [](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
                 Fields f;
                 f.child[0] = v[0].getImpl();
                 f.ints[0] = intsOf(env, {3, -1, 3, 0});
                 f.child[2] = v[1].getImpl();
                 return rowConstraint<13>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractElementCaller(a, x, g.child[0], g.ints[0], g.child[2]);
                     },
                     [](QroAlgorithmI* a, const Fields& g) {
                       removeThirdAndFirst(a, g.child[0], g.child[2]);
                     });
               },
               [](const Values& a, uint64_t) {
                 const int64_t t[] = {3, -1, 3, 0};
                 return a[1] >= 0 && a[1] < 4 && a[0] == t[a[1]];
               }});
  r.push_back({"AllMinDistance", 3, 0, 4,
               [](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
                 Fields f;
                 f.a[0] = arrayOf(env, v, 0, 3);
                 return rowConstraint<14>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractAllMinDistance(a, x, g.a[0], 2);
                     },
                     [](QroAlgorithmI* a, const Fields& g) { a->remove(g.a[0]); });
               },
               [](const Values& a, uint64_t) {
                 for (int i = 0; i < 3; ++i)
                   for (int j = i + 1; j < 3; ++j)
                     if (std::abs(a[i] - a[j]) < 2) return false;
                 return true;
               }});
  for (int checked = 0; checked < 2; ++checked) {
    r.push_back({checked ? "Element" : "VarArrayElement", 5, -1, 3,
                 [checked](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
                   RowExtract ex =
                       checked
                           ? RowExtract([](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                               return extractElement(a, x, g.a[0], g.child[0]);
                             })
                           : RowExtract([](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                               return extractVarArrayElement(a, x, g.a[0], g.child[0]);
                             });
                   return checked ? elementEquals<15>(env, v, ex) : elementEquals<16>(env, v, ex);
                 },
                 [](const Values& a, uint64_t) {
                   return a[3] >= 0 && a[3] < 3 && a[static_cast<size_t>(a[3])] == a[4];
                 }});
  }
  r.push_back({"SOS1", 3, -1, 1,
               [](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
                 Fields f;
                 f.a[0] = arrayOf(env, v, 0, 3);
                 return rowConstraint<17>(
                     env, f,
                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                       return extractSOS1(a, x, g.a[0], 0);
                     },
                     [](QroAlgorithmI* a, const Fields& g) { a->remove(g.a[0]); });
               },
               [](const Values& a, uint64_t) { return std::count(a.begin(), a.end(), 0) >= 2; }});
  for (int numeric = 0; numeric < 2; ++numeric) {
    r.push_back({numeric ? "ArrayMember" : "ArrayMemberInt", 1, -2, 4,
                 [numeric](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
                   Fields f;
                   f.child[0] = v[0].getImpl();
                   f.ints[0] = intsOf(env, {-2, 1, 3});
                   f.nums = QroNumArray(env, 0);
                   for (QroNum x : {-2.0, 1.0, 3.0}) f.nums.add(x);
                   RowRemove rm = [](QroAlgorithmI* a, const Fields& g) { a->remove(g.child[0]); };
                   if (numeric)
                     return rowConstraint<18>(
                         env, f,
                         [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                           return extractArrayMember(a, x, g.child[0], g.nums);
                         },
                         rm);
                   return rowConstraint<19>(
                       env, f,
                       [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                         return extractArrayMemberInt(a, x, g.child[0], g.ints[0]);
                       },
                       rm);
                 },
                 [](const Values& a, uint64_t) {
                   return in(a[0], {-2, 1, 3});
                 }});
  }
  for (int form = 0; form < 4; ++form) {
    static const char* const names[] = {"Pack", "PackWithCount", "PackWithPairs",
                                        "PackWithPairsNoCount"};
    r.push_back({names[form], form == 1 || form == 2 ? 6 : 5, 0, 4,
                 [form](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
                   Fields f;
                   f.a[0] = arrayOf(env, v, 0, 2);
                   f.a[1] = arrayOf(env, v, 2, 3);
                   f.ints[0] = intsOf(env, {1, 2, 2});
                   if (form == 1 || form == 2) f.child[0] = v[5].getImpl();
                   if (form >= 2) f.ints[1] = intsOf(env, {0, 2});
                   return rowConstraint<20>(
                       env, f,
                       [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                         return extractPack(a, x, g.a[0], g.a[1], g.ints[0], g.child[0], g.ints[1]);
                       },
                       [](QroAlgorithmI* a, const Fields& g) {
                         removePack(a, g.a[0], g.a[1], g.child[0]);
                       });
                 },
                 [form](const Values& a, uint64_t) {
                   const int64_t w[] = {1, 2, 2};
                   int64_t load[2] = {0, 0};
                   for (int i = 0; i < 3; ++i) {
                     if (a[2 + i] > 1) return false;
                     load[a[2 + i]] += w[i];
                   }
                   if (load[0] != a[0] || load[1] != a[1]) return false;
                   if (form >= 2 && a[2] == a[4]) return false;
                   if (form == 1 || form == 2) return a[5] == (load[0] > 0) + (load[1] > 0);
                   return true;
                 },
                 form == 3});
  }
  // Placement: container [0, 5) and two members of size 2 and 1 at x0, x1.
  for (int kind = 0; kind < 5; ++kind) {
    static const char* const names[] = {"BoxContainment", "BoxNotOverlap", "BoxOverlapInDimension",
                                        "BoxNotOverlapInDimension", "BoxPrecedenceInDimension"};
    Row row{names[kind], 2, -1, 4, nullptr, nullptr};
    row.build = [kind](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
      QroExtractableI* c = box(env, QroNumVar(env, 0, 0, QroNumVar::Int).getImpl(), 5);
      QroExtractableI* b0 = box(env, v[0].getImpl(), 2);
      QroExtractableI* b1 = box(env, v[1].getImpl(), 1);
      for (int i = 0; i < 2; ++i) {
        Fields f;
        f.child[0] = c;
        f.child[1] = i ? b1 : b0;
        m.add(rowConstraint<21>(
            env, f,
            [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
              return extractBoxContainment(a, x, g.child[0], g.child[1]);
            },
            [](QroAlgorithmI* a, const Fields& g) {
              removeSecondThenFirst(a, g.child[0], g.child[1]);
            }));
      }
      Fields f;
      f.child[0] = c;
      f.child[1] = b0;
      f.child[2] = b1;
      RowRemove three = [](QroAlgorithmI* a, const Fields& g) {
        removeThree(a, g.child[0], g.child[1], g.child[2]);
      };
      if (kind == 1)
        m.add(rowConstraint<22>(
            env, f,
            [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
              return extractBoxNotOverlap(a, x, g.child[0]);
            },
            [](QroAlgorithmI* a, const Fields& g) { a->remove(g.child[0]); }));
      else if (kind == 2)
        m.add(rowConstraint<23>(
            env, f,
            [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
              return extractBoxOverlapInDimension(a, x, g.child[0], g.child[1], g.child[2], 0);
            },
            three));
      else if (kind == 3)
        m.add(rowConstraint<24>(
            env, f,
            [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
              return extractBoxNotOverlapInDimension(a, x, g.child[0], g.child[1], g.child[2], 0);
            },
            three));
      else if (kind == 4)
        m.add(rowConstraint<25>(
            env, f,
            [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
              return extractBoxPrecedenceInDimension(a, x, g.child[0], g.child[1], g.child[2], 0);
            },
            three));
    };
    row.check = [kind](const Values& a, uint64_t) {
      int64_t x0 = a[0], x1 = a[1];
      if (x0 < 0 || x0 + 2 > 5 || x1 < 0 || x1 + 1 > 5) return false;
      bool meet = x0 < x1 + 1 && x1 < x0 + 2;
      if (kind == 1 || kind == 3) return !meet;
      if (kind == 2) return meet;
      if (kind == 4) return x0 + 2 <= x1;
      return true;
    };
    r.push_back(row);
  }
  return r;
}

}  // namespace

TEST(GlobalBuilders, RandomModelsMatchBruteForce) {
  uint64_t seed = qrotest::seedOr(3519);
  std::mt19937_64 rng(seed);
  for (const Row& row : rows()) {
    for (int round = 0; round < 3; ++round) {
      qrotest::ModelCase c;
      c.name = std::string(row.name) + " seed " + std::to_string(seed) + " round " +
               std::to_string(round);
      c.values = round == 0 ? qrotest::ranges(row.n, row.lo, row.hi)
                            : qrotest::randomDomains(rng, row.n, row.lo, row.hi,
                                                     static_cast<int>(row.hi - row.lo));
      c.auxiliaries = row.auxiliaries;
      Row copy = row;
      c.build = [copy](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
        std::mt19937_64 local(1);
        if (copy.build)
          copy.build(env, m, v);
        else
          m.add(copy.node(env, v, local));
      };
      c.check = [copy](const Values& a) { return copy.check(a, 0); };
      EXPECT_EQ(qrotest::checkModelCase(c), 0) << c.name;
    }
  }
}

// Items 0 and 2 of weights 1 and 2 are a pair: once item 0 is in bin 1, item
// 2 must not follow it there, whichever order the search binds them in.
TEST(GlobalBuilders, PackPairsGoIntoDifferentBins) {
  const struct {
    const char* row;
    std::vector<std::vector<int64_t>> values;
  } cases[] = {
      {"PackWithPairsNoCount", {{2}, {3}, {0, 1}, {0, 1}, {0, 1}}},
      {"PackWithPairs", {{2}, {3}, {0, 1}, {0, 1}, {0, 1}, {0, 1, 2}}},
      {"PackWithPairsNoCount", {{2}, {3}, {1}, {0, 1}, {0, 1}}},
      {"PackWithPairsNoCount", {{0, 1, 2, 3}, {0, 1, 2, 3, 4}, {0, 1}, {0, 1}, {0, 1}}},
  };
  for (const auto& t : cases) {
    for (const Row& row : rows()) {
      if (std::string(row.name) != t.row) continue;
      qrotest::ModelCase c;
      c.name = row.name;
      c.values = t.values;
      c.build = [row](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
        std::mt19937_64 local(1);
        m.add(row.node(env, v, local));
      };
      c.check = [row](const Values& a) { return row.check(a, 0); };
      EXPECT_EQ(qrotest::checkModelCase(c), 0) << c.name;
    }
  }
}

namespace {

// A solver over an empty model, to extract nodes into one by one.
struct Bench {
  QroEnv env;
  QroModel model;
  QroSolver solver;
  Bench() : env(), model(env), solver(model) {}
  ~Bench() {
    solver.end();
    env.end();
  }
  QroSolverI* s() const { return solver.getImpl(); }
  std::vector<QroNumVar> vars(int n, QroNumVar::Type type = QroNumVar::Int) {
    std::vector<QroNumVar> v;
    for (int i = 0; i < n; ++i) v.push_back(QroNumVar(env, 0, 2, type));
    return v;
  }
  // The message of the solver exception that extracting x throws.
  template <class E>
  std::string failure(QroExtractableI* x) {
    try {
      x->extract(s());
    } catch (const E& e) {
      return e.getMessage();
    }
    return "<nothing thrown>";
  }
};

}  // namespace

TEST(GlobalBuilders, SizeAndTypeChecks) {
  Bench b;
  std::vector<QroNumVar> v = b.vars(6);
  Fields f;
  f.a[0] = arrayOf(b.env, v, 0, 3);
  f.a[1] = arrayOf(b.env, v, 3, 3);
  f.ints[0] = intsOf(b.env, {0, 1});
  RowExtract distribute = [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
    return extractDistribute(a, x, g.a[0], g.a[1], g.ints[0]);
  };
  QroConstraintI* d = rowConstraint<30>(b.env, f, distribute, nullptr);
  QrcInt before = b.s()->getManager()->getConstraintCount();
  EXPECT_EQ(b.failure<QroSolver::BadParameterType>(d),
            "Distribute: cardinality and value arrays are of different size");
  EXPECT_EQ(b.s()->getManager()->getConstraintCount(), before);
  EXPECT_FALSE(b.s()->isExtracted(d));
  // The two variable arrays were extracted first.
  EXPECT_TRUE(b.s()->isExtracted(v[5].getImpl()));

  // The path lengths are compared before anything is extracted.
  std::vector<QroNumVar> w = b.vars(5);
  Fields p;
  p.a[0] = arrayOf(b.env, w, 0, 3);
  p.a[1] = arrayOf(b.env, w, 3, 2);
  QroConstraintI* path = rowConstraint<31>(
      b.env, p,
      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
        return extractPathLength(a, x, g.a[0], g.a[1], nullptr, 0);
      },
      nullptr);
  EXPECT_EQ(b.failure<QroSolver::BadParameterType>(path),
            "PathLength: variable arrays of different size");
  for (const QroNumVar& x : w) EXPECT_FALSE(b.s()->isExtracted(x.getImpl()));

  // Float operands of the element and member builders.
  std::vector<QroNumVar> ints = b.vars(2), floats = b.vars(2, QroNumVar::Float);
  auto element = [&](const QroNumVar& e0, const QroNumVar& index) {
    Fields g;
    g.a[0] = arrayOf(b.env, {ints[0], e0}, 0, 2);
    g.child[0] = index.getImpl();
    return new (b.env.getImpl()) RowNode<32, QroIntExprI>(
        b.env.getImpl(), g,
        [](QroAlgorithmI* a, QroExtractableI* x, const Fields& h) {
          return extractElement(a, x, h.a[0], h.child[0]);
        },
        nullptr);
  };
  EXPECT_EQ(b.failure<QroSolver::WrongType>(element(floats[0], ints[1])),
            "You tried to create an element constraint with an floating point array");
  EXPECT_EQ(b.failure<QroSolver::WrongType>(element(ints[1], floats[1])),
            "You tried to create an element constraint with an floating point index");
  Fields m;
  m.child[0] = floats[0].getImpl();
  m.nums = QroNumArray(b.env, 1);
  QroConstraintI* member = rowConstraint<33>(
      b.env, m,
      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
        return extractArrayMember(a, x, g.child[0], g.nums);
      },
      nullptr);
  EXPECT_EQ(b.failure<QroSolver::UnimplementedFeature>(member),
            "Please Implement me : QroDefaultCPExtarctorI::extractArrayMember with float "
            "expression.");
}

// Five pairs over four items of weight 1 in three bins (the pairs 0-1, 1-2,
// 2-3, 0-3 and 0-2 leave 1 and 3 to share a bin): every pair is kept apart.
TEST(GlobalBuilders, PackKeepsEveryPairApart) {
  const std::vector<int64_t> pairs = {0, 1, 1, 2, 2, 3, 0, 3, 0, 2};
  qrotest::ModelCase c;
  c.name = "five pairs";
  c.values = qrotest::ranges(8, 0, 3);
  c.build = [pairs](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
    Fields f;
    f.a[0] = arrayOf(env, v, 0, 3);
    f.a[1] = arrayOf(env, v, 3, 4);
    f.ints[0] = intsOf(env, {1, 1, 1, 1});
    f.child[0] = v[7].getImpl();
    f.ints[1] = intsOf(env, pairs);
    m.add(rowConstraint<38>(
        env, f,
        [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
          return extractPack(a, x, g.a[0], g.a[1], g.ints[0], g.child[0], g.ints[1]);
        },
        [](QroAlgorithmI* a, const Fields& g) { removePack(a, g.a[0], g.a[1], g.child[0]); }));
  };
  c.check = [pairs](const Values& a) {
    int64_t load[3] = {0, 0, 0};
    for (int i = 3; i < 7; ++i) {
      if (a[i] > 2) return false;
      ++load[a[i]];
    }
    for (size_t k = 0; k < pairs.size(); k += 2)
      if (a[3 + pairs[k]] == a[3 + pairs[k + 1]]) return false;
    int64_t used = (load[0] > 0) + (load[1] > 0) + (load[2] > 0);
    return load[0] == a[0] && load[1] == a[1] && load[2] == a[2] && used == a[7];
  };
  EXPECT_EQ(qrotest::checkModelCase(c), 0);
  EXPECT_EQ(qrotest::checkerSolutions(c).size(), 6u);
}

// Item pairs of a pack are checked before the constraint is made.
TEST(GlobalBuilders, PackPairsAreChecked) {
  const struct {
    std::vector<int64_t> pairs;
    const char* message;
  } cases[] = {
      {{0, 1, 2}, "Pack: item pairs are given two by two"},
      {{0, 3}, "Pack: item pair out of range"},
      {{-1, 0}, "Pack: item pair out of range"},
      {{1, 1}, "Pack: an item pair names one item twice"},
  };
  for (const auto& t : cases) {
    Bench b;
    std::vector<QroNumVar> v = b.vars(6);
    Fields f;
    f.a[0] = arrayOf(b.env, v, 0, 2);
    f.a[1] = arrayOf(b.env, v, 2, 3);
    f.ints[0] = intsOf(b.env, {1, 2, 2});
    f.child[0] = v[5].getImpl();
    f.ints[1] = intsOf(b.env, t.pairs);
    QroConstraintI* pack = rowConstraint<37>(
        b.env, f,
        [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
          return extractPack(a, x, g.a[0], g.a[1], g.ints[0], g.child[0], g.ints[1]);
        },
        nullptr);
    QrcInt before = b.s()->getManager()->getConstraintCount();
    EXPECT_EQ(b.failure<QroSolver::BadParameterType>(pack), t.message);
    EXPECT_EQ(b.s()->getManager()->getConstraintCount(), before);
  }
}

TEST(GlobalBuilders, NamesWithoutValuesAndWeights) {
  Bench b;
  std::ostringstream out;
  b.solver.getImpl()->setOut(out);
  std::vector<QroNumVar> v = b.vars(6);
  Fields f;
  f.a[0] = arrayOf(b.env, v, 0, 3);
  f.a[1] = arrayOf(b.env, v, 3, 3);
  QroConstraintI* d = rowConstraint<34>(
      b.env, f,
      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
        return extractDistribute(a, x, g.a[0], g.a[1], g.ints[0]);
      },
      nullptr);
  d->setName("dist");
  b.s()->QroAlgorithmI::extract(d);
  EXPECT_STREQ(b.s()->getConstraint(d).getImpl()->getName(), "dist");
  // Without values the three cardinalities count 0, 1 and 2.
  {
    QroEnv env;
    QroModel model(env);
    std::vector<QroNumVar> x;
    for (int value : {2, 2, 0}) x.push_back(QroNumVar(env, value, value, QroNumVar::Int));
    for (int k = 0; k < 3; ++k) x.push_back(QroNumVar(env, 0, 3, QroNumVar::Int));
    Fields g;
    g.a[0] = arrayOf(env, x, 0, 3);
    g.a[1] = arrayOf(env, x, 3, 3);
    model.add(rowConstraint<34>(
        env, g,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& h) {
          return extractDistribute(a, n, h.a[0], h.a[1], h.ints[0]);
        },
        nullptr));
    QroSolver solver(model);
    ASSERT_TRUE(solver.solve());
    EXPECT_EQ(solver.getValue(x[3]), 1.0);
    EXPECT_EQ(solver.getValue(x[4]), 0.0);
    EXPECT_EQ(solver.getValue(x[5]), 2.0);
    solver.end();
    env.end();
  }

  Fields s;
  s.a[0] = arrayOf(b.env, v, 0, 2);
  QroConstraintI* sos = rowConstraint<35>(
      b.env, s,
      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
        return extractSOS1(a, x, g.a[0], 1);
      },
      nullptr);
  b.s()->QroAlgorithmI::extract(sos);
  EXPECT_EQ(out.str(), "SOS1 weights are not extracted to QroSolver\n");
}

// SOS1 over a float variable reads its truth as the opposite of x == 0; box
// sizes are made integers.
TEST(GlobalBuilders, FloatMembersOfSOS1AndBoxSizes) {
  for (bool nonZeroInt : {true, false}) {
    QroEnv env;
    QroModel model(env);
    QroNumVar y(env, nonZeroInt ? 1 : 0, 1, QroNumVar::Int);
    QroNumVar x(env, nonZeroInt ? -1.0 : 0.5, 1.0, QroNumVar::Float);
    Fields f;
    f.a[0] = QroExtractableArray(env, 0);
    f.a[0].add(y.getImpl());
    f.a[0].add(x.getImpl());
    model.add(rowConstraint<36>(
        env, f,
        [](QroAlgorithmI* a, QroExtractableI* n, const Fields& g) {
          return extractSOS1(a, n, g.a[0], 0);
        },
        nullptr));
    QroSolver solver(model);
    ASSERT_TRUE(solver.solve(QroGoal()));
    if (nonZeroInt) {
      // x == 0, up to the tiny width of a float equality.
      EXPECT_GE(solver.getFloatVar(x).getMin(), -1e-300);
      EXPECT_LE(solver.getFloatVar(x).getMax(), 1e-300);
    } else {
      EXPECT_EQ(solver.getIntVar(y).getMax(), 0);
    }
    solver.end();
    env.end();
  }
  Bench b;
  std::vector<QroNumVar> v = b.vars(1);
  for (QroNum size : {2.5, 1e19}) {
    QroExtractableI* bx = box(b.env, v[0].getImpl(), size);
    if (size == 2.5)
      EXPECT_THROW(bx->extract(b.s()), QroSolver::NumIsNotInteger);
    else
      EXPECT_THROW(bx->extract(b.s()), QroSolver::IntegerOverflow);
  }
}

// A box operand that the solver extracts into something else than a box (a
// variable, another constraint) is refused, whichever builder reads it.
TEST(GlobalBuilders, BoxOperandsMustBeBoxes) {
  Bench b;
  std::vector<QroNumVar> v = b.vars(3);
  QroExtractableI* container = box(b.env, QroNumVar(b.env, 0, 0, QroNumVar::Int).getImpl(), 5);
  QroExtractableI* member = box(b.env, v[0].getImpl(), 2);
  Fields all;
  all.a[0] = arrayOf(b.env, v, 1, 2);
  QroExtractableI* notBoxes[] = {v[2].getImpl(),
                                 rowConstraint<42>(
                                     b.env, all,
                                     [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                                       return extractAllDiff(a, x, g.a[0]);
                                     },
                                     nullptr)};
  typedef std::function<void(QroExtractableI*)> Use;
  const std::pair<const char*, Use> uses[] = {
      {"not overlap", [&](QroExtractableI* x) { extractBoxNotOverlap(b.s(), container, x); }},
      {"container",
       [&](QroExtractableI* x) { extractBoxContainment(b.s(), container, x, member); }},
      {"member",
       [&](QroExtractableI* x) { extractBoxContainment(b.s(), container, container, x); }},
      {"in dimension",
       [&](QroExtractableI* x) {
         extractBoxPrecedenceInDimension(b.s(), container, container, member, x, 0);
       }},
  };
  for (QroExtractableI* x : notBoxes)
    for (const auto& use : uses) {
      try {
        use.second(x);
        ADD_FAILURE() << use.first << ": accepted";
      } catch (const QroSolver::WrongType& e) {
        EXPECT_STREQ(e.getMessage(), "Box: the operand is not a box") << use.first;
      }
    }
}

namespace {

class OperandSetVarI : public QroIntSetVarI {
 public:
  OperandSetVarI(QroEnvI* env, QroIntSetI* possible) : QroIntSetVarI(env, possible, nullptr) {}
};

}  // namespace

// Operands of the wrong kind where integer or numeric expressions are read
// (a float variable where an integer is due, a set variable, a tuple set)
// are refused before anything is built over them.
TEST(GlobalBuilders, OperandsOfAnotherKindAreRefused) {
  Bench b;
  std::vector<QroNumVar> v = b.vars(2);
  QroExtractableI* others[] = {b.vars(1, QroNumVar::Float)[0].getImpl(),
                               new (b.env.getImpl()) OperandSetVarI(
                                   b.env.getImpl(), QroIntSet(b.env, intsOf(b.env, {1})).getImpl()),
                               new (b.env.getImpl()) TestTupleSetI(b.env.getImpl(), 1, {0})};
  typedef std::function<void(QroExtractableI*)> Use;
  QroConstraintI* node = rowConstraint<43>(b.env, Fields(), nullptr, nullptr);
  auto arrayWith = [&](QroExtractableI* x) {
    QroExtractableArray a = arrayOf(b.env, v, 0, 2);
    a.add(x);
    return a;
  };
  // Rows: the builder, and whether a float variable is fine there.
  const std::tuple<const char*, Use, bool> uses[] = {
      {"all different", [&](QroExtractableI* x) { extractAllDiff(b.s(), node, arrayWith(x)); },
       false},
      {"element caller",
       [&](QroExtractableI* x) {
         extractElementCaller(b.s(), node, x, intsOf(b.env, {0, 0}), v[0].getImpl());
       },
       false},
      {"var-array element",
       [&](QroExtractableI* x) {
         extractVarArrayElement(b.s(), node, arrayWith(x), v[0].getImpl());
       },
       false},
      {"spread mean",
       [&](QroExtractableI* x) {
         extractSpread(b.s(), node, arrayOf(b.env, v, 0, 2), x, v[1].getImpl());
       },
       true},
      {"path cumuls",
       [&](QroExtractableI* x) {
         extractPathLength(b.s(), node, arrayWith(v[1].getImpl()), arrayWith(x), nullptr, 0);
       },
       true},
  };
  for (const auto& use : uses)
    for (size_t k = std::get<2>(use) ? 1 : 0; k < 3; ++k)
      EXPECT_THROW(std::get<1>(use)(others[k]), QroSolver::WrongType)
          << std::get<0>(use) << " " << k;
}

TEST(GlobalBuilders, RemoveHooksReleaseTheirFields) {
  for (const Row& row : rows()) {
    Bench b;
    std::vector<QroNumVar> v;
    for (int i = 0; i < row.n; ++i)
      v.push_back(QroNumVar(b.env, static_cast<QroNum>(row.lo), static_cast<QroNum>(row.hi),
                            QroNumVar::Int));
    QroModel m(b.env);
    std::mt19937_64 rng(1);
    if (row.build)
      row.build(b.env, m, v);
    else
      m.add(row.node(b.env, v, rng));
    std::vector<QroExtractableI*> nodes;
    for (QroModel::Iterator it(m.getImpl()); it.ok(); ++it) nodes.push_back(*it);
    try {
      for (QroExtractableI* x : nodes) b.s()->QroAlgorithmI::extract(x);
    } catch (const QroException& e) {
      ADD_FAILURE() << row.name << ": " << e.getMessage();
      continue;
    } catch (...) {
      ADD_FAILURE() << row.name << ": extract threw";
      continue;
    }
    for (const QroNumVar& x : v) EXPECT_TRUE(b.s()->isExtracted(x.getImpl())) << row.name;
    try {
      for (QroExtractableI* x : nodes) b.s()->QroAlgorithmI::remove(x);
    } catch (...) {
      ADD_FAILURE() << row.name << ": remove threw";
      continue;
    }
    for (const QroNumVar& x : v) {
      EXPECT_FALSE(b.s()->isExtracted(x.getImpl())) << row.name;
      EXPECT_EQ(b.s()->getUseCount(x.getImpl()->getId()), 0) << row.name;
    }
  }
}

// ---------------------------------------------------------------------------
// The solver's filter level for each node

namespace {

bool takesTheSolverLevel(const std::string& name) {
  return name == "Distribute" || name == "DistributeWithoutValues" || name == "Sequence" ||
         name == "AllMinDistance" || name == "BoxNotOverlap";
}

// Builds a row's node (or nodes) into a model over fresh variables.
void buildRow(const Row& row, QroEnv& env, QroModel& model, const std::vector<QroNumVar>& v) {
  madeNodes().clear();
  std::mt19937_64 local(1);
  if (row.build)
    row.build(env, model, v);
  else
    model.add(row.node(env, v, local));
}

void setLevels(QroSolver& solver, QroInt level) {
  for (QroConstraintI* x : madeNodes()) solver.setFilterLevel(QroConstraint(x), level);
}

// The effective level of x's engine constraint, or -1 when it has no level.
QrcInt levelOf(QroSolverI* s, QroExtractableI* x) {
  QrcConstraintI* ct = s->getConstraint(x).getImpl();
  if (!ct->isType(QrcConstraintWithFilterI::GetTypeInfo())) return -1;
  return static_cast<QrcConstraintWithFilterI*>(ct)->getFilterLevel();
}

}  // namespace

TEST(GlobalBuilders, LeveledRowsMatchBruteForceAtEveryLevel) {
  uint64_t seed = qrotest::seedOr(3520);
  std::mt19937_64 rng(seed);
  for (const Row& row : rows()) {
    if (!takesTheSolverLevel(row.name)) continue;
    for (QroInt level = QrcLowFilterLevel; level <= QrcFullFilterLevel; ++level) {
      qrotest::ModelCase c;
      c.name = std::string(row.name) + " level " + std::to_string(level) + " seed " +
               std::to_string(seed);
      c.values = level == 0 ? qrotest::ranges(row.n, row.lo, row.hi)
                            : qrotest::randomDomains(rng, row.n, row.lo, row.hi,
                                                     static_cast<int>(row.hi - row.lo));
      c.auxiliaries = row.auxiliaries;
      Row copy = row;
      c.build = [copy](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
        buildRow(copy, env, m, v);
      };
      c.check = [copy](const Values& a) { return copy.check(a, 0); };
      // Set after the first extraction: the search extracts the model again.
      c.configure = [level](QroSolver& solver) { setLevels(solver, level); };
      EXPECT_EQ(qrotest::checkModelCase(c), 0) << c.name;
    }
  }
}

TEST(GlobalBuilders, ExtractedConstraintsTakeTheLevelOfTheirNode) {
  for (const Row& row : rows()) {
    bool leveled = takesTheSolverLevel(row.name);
    if (!leveled && std::string(row.name) != "AllDiff") continue;
    // -1: no level set.
    for (QroInt level = -1; level <= 3; ++level) {
      QroEnv env;
      QroModel model(env);
      std::vector<QroNumVar> v;
      for (int i = 0; i < row.n; ++i)
        v.push_back(QroNumVar(env, static_cast<QroNum>(row.lo), static_cast<QroNum>(row.hi),
                              QroNumVar::Int));
      buildRow(row, env, model, v);
      std::vector<QroConstraintI*> nodes = madeNodes();
      QroSolver solver(model);
      if (level >= 0) setLevels(solver, level);
      solver.solve(QroGoal());
      QroSolverI* s = solver.getImpl();
      int checked = 0;
      for (QroConstraintI* x : nodes) {
        QrcInt effective = levelOf(s, x);
        if (effective < 0) continue;
        ++checked;
        // The others keep the table's default per kind (1 for all-different).
        QrcInt want = !leveled ? 1 : level < 0 ? 0 : level;
        EXPECT_EQ(effective, want) << row.name << " level " << level;
      }
      EXPECT_GT(checked, 0) << row.name;
      solver.end();
      env.end();
    }
  }
}

namespace {

// x[0..n-1] over the given values and the node of a leveled builder over
// them; solve(QroGoal()) propagates at the level set for the node.
struct LevelCase {
  const char* name;
  std::vector<std::vector<int64_t>> domains;
  std::function<QroConstraintI*(QroEnv&, const std::vector<QroNumVar>&)> node;
};

std::vector<LevelCase> levelCases() {
  std::vector<LevelCase> cases;
  // Values 0 and 1 are taken once each: x0 and x1 take them, so x2 = 2 (a
  // matching sees it, counting does not).
  cases.push_back({"Distribute",
                   {{0, 1}, {0, 1}, {0, 1, 2}, {1}, {1}},
                   [](QroEnv& env, const std::vector<QroNumVar>& v) {
                     Fields f;
                     f.a[0] = arrayOf(env, v, 0, 3);
                     f.a[1] = arrayOf(env, v, 3, 2);
                     f.ints[0] = intsOf(env, {0, 1});
                     return rowConstraint<40>(
                         env, f,
                         [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                           return extractDistribute(a, x, g.a[0], g.a[1], g.ints[0]);
                         },
                         nullptr);
                   }});
  // Pairwise distance 2: only (4, 0, 2) remains, which the windows on the
  // bounds alone do not see.
  cases.push_back({"AllMinDistance",
                   {{1, 3, 4}, {0, 2, 3}, {1, 2, 3}},
                   [](QroEnv& env, const std::vector<QroNumVar>& v) {
                     Fields f;
                     f.a[0] = arrayOf(env, v, 0, 3);
                     return rowConstraint<41>(
                         env, f,
                         [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
                           return extractAllMinDistance(a, x, g.a[0], 2);
                         },
                         nullptr);
                   }});
  return cases;
}

// The domains after propagation, as text: "[01][2]".
std::string domainsAfterPropagation(QroSolver& solver, const std::vector<QroNumVar>& v) {
  if (!solver.solve(QroGoal())) return "fail";
  std::string out;
  for (const QroNumVar& x : v) {
    QrcIntVar e = solver.getIntVar(x);
    out += "[";
    for (QrcInt k = e.getMin(); k <= e.getMax(); ++k)
      if (e.isInDomain(k)) out += std::to_string(k);
    out += "]";
  }
  return out;
}

}  // namespace

TEST(GlobalBuilders, LevelsPruneAsTheLevelDoes) {
  struct Expect {
    const char* name;
    const char* weak;    // no level, levels 0 to 2
    const char* strong;  // level 3
  } expected[] = {{"Distribute", "[01][01][012][1][1]", "[01][01][2][1][1]"},
                  {"AllMinDistance", "[134][03][123]", "[4][0][2]"}};
  std::vector<LevelCase> cases = levelCases();
  for (size_t i = 0; i < cases.size(); ++i) {
    const LevelCase& c = cases[i];
    QroEnv env;
    QroModel model(env);
    std::vector<QroNumVar> v;
    for (const auto& d : c.domains) v.push_back(qrotest::makeIntVar(env, d));
    QroConstraint node(c.node(env, v));
    model.add(node);
    QroSolver solver(model);
    EXPECT_EQ(solver.getFilterLevel(node), QrcLowFilterLevel);
    EXPECT_EQ(domainsAfterPropagation(solver, v), expected[i].weak) << c.name;
    // A new level reaches the next solve; a lower one is not refused, since
    // the constraint is built anew.
    for (QroInt level : {3, 1, 0, 2, 3}) {
      solver.setFilterLevel(node, level);
      EXPECT_EQ(solver.getFilterLevel(node), level);
      EXPECT_EQ(domainsAfterPropagation(solver, v),
                level == 3 ? expected[i].strong : expected[i].weak)
          << c.name << " level " << level;
      EXPECT_EQ(levelOf(solver.getImpl(), node.getImpl()), level) << c.name;
    }
    // The level outlives a search and its solutions.
    solver.startNewSearch();
    EXPECT_TRUE(solver.next());
    solver.endSearch();
    EXPECT_EQ(domainsAfterPropagation(solver, v), expected[i].strong) << c.name;
    solver.end();
    env.end();
  }
}

TEST(GlobalBuilders, LevelsLastAsLongAsTheirObjectAndModel) {
  QroEnv env;
  QroModel model(env);
  std::vector<QroNumVar> v;
  for (int i = 0; i < 5; ++i) v.push_back(QroNumVar(env, 0, 2, QroNumVar::Int));
  LevelCase distribute = levelCases()[0];
  QroConstraint inModel(distribute.node(env, v));
  QroConstraint aside(distribute.node(env, v));
  model.add(inModel);
  QroSolver solver(model);
  QroSolverI* s = solver.getImpl();
  EXPECT_THROW(solver.setFilterLevel(QroConstraint(), QrcMediumFilterLevel),
               QroSolver::EmptyHandle);
  try {
    solver.getFilterLevel(QroConstraint());
    ADD_FAILURE() << "no exception";
  } catch (const QroSolver::EmptyHandle& e) {
    EXPECT_STREQ(e.getMessage(), "Empty constraint handle");
  }
  // Setting the level of an extracted object extracts the model again.
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::Synchronized);
  solver.setFilterLevel(aside, QrcHighFilterLevel);
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::Synchronized);
  solver.setFilterLevel(inModel, QrcFullFilterLevel);
  EXPECT_EQ(s->getSyncLevel(), QroSolverI::Reextract);
  EXPECT_TRUE(solver.solve(QroGoal()));
  EXPECT_EQ(solver.getFilterLevel(inModel), QrcFullFilterLevel);
  EXPECT_EQ(levelOf(s, inModel.getImpl()), 3);
  // Added later, the object takes its level when the addition is extracted.
  QroConstraint later(distribute.node(env, v));
  solver.setFilterLevel(later, QrcHighFilterLevel);
  model.add(later);
  EXPECT_TRUE(solver.solve(QroGoal()));
  EXPECT_EQ(levelOf(s, later.getImpl()), 2);
  // An ended object forgets its level, whether the solver uses it or not.
  QroExtractableI* asideImpl = aside.getImpl();
  QroExtractableI* laterImpl = later.getImpl();
  aside.end();
  later.end();
  EXPECT_EQ(s->getFilterLevel(asideImpl), QrcLowFilterLevel);
  EXPECT_EQ(s->getFilterLevel(laterImpl), QrcLowFilterLevel);
  EXPECT_EQ(solver.getFilterLevel(inModel), QrcFullFilterLevel);
  // Another model starts without levels.
  QroModel other(env);
  other.add(inModel);
  QroAlgorithm(solver).extract(other);
  EXPECT_EQ(solver.getFilterLevel(inModel), QrcLowFilterLevel);
  EXPECT_EQ(levelOf(s, inModel.getImpl()), 0);
  solver.end();
  env.end();
}
