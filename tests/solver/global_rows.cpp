// The rows of the global builders' tests, one group of builders at a time.
#include "global_rows.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "extra_support.h"
#include "qrooperators.h"
#include "qrorange.h"
#include "qrosolverextractor.h"
#include "qrcint.h"

namespace solvertest {

QroExtractableArray arrayOf(QroEnv& env, const std::vector<QroNumVar>& v, size_t first,
                            size_t count) {
  return QroExtractableArray(varArray(env, v, first, count).getImpl());
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

bool packs(const Values& a, const std::vector<int64_t>& weights, const std::vector<int64_t>& pairs,
           bool counted) {
  size_t items = weights.size(), bins = a.size() - items - (counted ? 1 : 0);
  int64_t load[8] = {0, 0, 0, 0, 0, 0, 0, 0};  // no allocation: the brute force asks often
  if (bins > 8) return false;
  for (size_t i = 0; i < items; ++i) {
    int64_t at = a[bins + i];
    if (at < 0 || at >= static_cast<int64_t>(bins)) return false;
    load[static_cast<size_t>(at)] += weights[i];
  }
  for (size_t k = 0; k + 1 < pairs.size(); k += 2)
    if (a[bins + static_cast<size_t>(pairs[k])] == a[bins + static_cast<size_t>(pairs[k + 1])])
      return false;
  int64_t used = 0;
  for (size_t b = 0; b < bins; ++b) {
    if (load[b] != a[b]) return false;
    used += load[b] > 0;
  }
  return !counted || a.back() == used;
}

namespace {

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

// All-different, pairing and spread.
void addDifferenceRows(std::vector<Row>& r) {
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
}

// Abstractions with and without their default value.
void addAbstractionRows(std::vector<Row>& r) {
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
}

// Sequence and inverse.
void addSequenceRows(std::vector<Row>& r) {
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
}

// Distribute with and without values, and path length.
void addDistributeRows(std::vector<Row>& r) {
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
}

// Tuples allowed or forbidden, and binary and ternary predicates.
void addPredicateRows(std::vector<Row>& r) {
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
  r.back().callersCode = true;
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
  r.back().callersCode = true;
}

// Element of constants, minimum distance and elements of variables.
void addElementRows(std::vector<Row>& r) {
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
}

// SOS1 and membership of an array of constants.
void addMemberRows(std::vector<Row>& r) {
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
}

// Pack with and without a count of used bins and one item pair.
void addPackRows(std::vector<Row>& r) {
  for (int form = 0; form < 4; ++form) {
    static const char* const names[] = {"Pack", "PackWithCount", "PackWithPairs",
                                        "PackWithPairsNoCount"};
    bool counted = form == 1 || form == 2;
    std::vector<int64_t> pairs;
    if (form >= 2) pairs = {0, 2};
    r.push_back({names[form], counted ? 6 : 5, 0, 4,
                 [counted, pairs](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64&) {
                   Fields f;
                   f.a[0] = arrayOf(env, v, 0, 2);
                   f.a[1] = arrayOf(env, v, 2, 3);
                   f.ints[0] = intsOf(env, {1, 2, 2});
                   if (counted) f.child[0] = v[5].getImpl();
                   if (!pairs.empty()) f.ints[1] = intsOf(env, pairs);
                   return packNode<20>(env, f);
                 },
                 [counted, pairs](const Values& a, uint64_t) {
                   static const std::vector<int64_t> weights = {1, 2, 2};
                   return packs(a, weights, pairs, counted);
                 },
                 form == 3});
  }
}

// Four items of weights 1 or 2 in three bins of loads up to 3, counted, and
// k item pairs drawn from the shape: any two items in either order, a pair
// possibly repeated. The extraction keeps each pair apart in a balanced
// conjunction, whose shape changes with k.
struct PackShape {
  std::vector<int64_t> weights, pairs;
  PackShape(std::mt19937_64& rng, int k) {
    for (int i = 0; i < 4; ++i) weights.push_back(1 + static_cast<int64_t>(rng() % 2));
    for (int p = 0; p < k; ++p) {
      int64_t i = static_cast<int64_t>(rng() % 4);
      pairs.push_back(i);
      pairs.push_back((i + 1 + static_cast<int64_t>(rng() % 3)) % 4);
    }
  }
};

// The checker's copy of the last shape, drawn again when the shape changes.
struct DrawnPackShape {
  uint64_t shape = 0;
  std::unique_ptr<PackShape> drawn;
  const PackShape& at(uint64_t s, int k) {
    if (!drawn || s != shape) {
      std::mt19937_64 rng(s);
      drawn.reset(new PackShape(rng, k));
      shape = s;
    }
    return *drawn;
  }
};

void addPackPairRows(std::vector<Row>& r) {
  static const char* const names[] = {"PackWith0Pairs", "PackWith1Pair",  "PackWith2Pairs",
                                      "PackWith3Pairs", "PackWith4Pairs", "PackWith5Pairs",
                                      "PackWith6Pairs", "PackWith7Pairs"};
  for (int k = 0; k < 8; ++k) {
    auto last = std::make_shared<DrawnPackShape>();
    r.push_back({names[k], 8, 0, 3,
                 [k](QroEnv& env, const std::vector<QroNumVar>& v, std::mt19937_64& rng) {
                   PackShape s(rng, k);
                   Fields f;
                   f.a[0] = arrayOf(env, v, 0, 3);
                   f.a[1] = arrayOf(env, v, 3, 4);
                   f.ints[0] = intsOf(env, s.weights);
                   f.child[0] = v[7].getImpl();
                   f.ints[1] = intsOf(env, s.pairs);
                   return packNode<26>(env, f);
                 },
                 [k, last](const Values& a, uint64_t shape) {
                   const PackShape& s = last->at(shape, k);
                   return packs(a, s.weights, s.pairs, true);
                 }});
  }
}

// The boxes of placement row kind over x0 and x1: the container [0, 5) and
// members of sizes 2 and 1, each contained, and the relation of the kind.
void buildBoxes(int kind, QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
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
}

// Placement: container [0, 5) and two members of size 2 and 1 at x0, x1.
void addBoxRows(std::vector<Row>& r) {
  for (int kind = 0; kind < 5; ++kind) {
    static const char* const names[] = {"BoxContainment", "BoxNotOverlap", "BoxOverlapInDimension",
                                        "BoxNotOverlapInDimension", "BoxPrecedenceInDimension"};
    Row row{names[kind], 2, -1, 4, nullptr, nullptr};
    row.build = [kind](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
      buildBoxes(kind, env, m, v);
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
}

}  // namespace

std::vector<Row> rows() {
  std::vector<Row> r;
  addDifferenceRows(r);
  addAbstractionRows(r);
  addSequenceRows(r);
  addDistributeRows(r);
  addPredicateRows(r);
  addElementRows(r);
  addMemberRows(r);
  addPackRows(r);
  addPackPairRows(r);
  addBoxRows(r);
  return r;
}

}  // namespace solvertest
