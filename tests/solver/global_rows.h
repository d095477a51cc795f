// The rows of the global builders' tests: for each builder, a node over a few
// variables of one range and the checker of its assignments, and the pieces
// the other builder tests share (arrays of the case's variables, boxes, the
// pack's node and checker).
#ifndef TESTS_SOLVER_GLOBAL_ROWS_H
#define TESTS_SOLVER_GLOBAL_ROWS_H

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "row_support.h"
#include "qrosolver.h"
#include "qrosolveri.h"
#include "qrosolverglobal.h"

namespace solvertest {

typedef std::vector<int64_t> Values;

QroExtractableArray arrayOf(QroEnv& env, const std::vector<QroNumVar>& v, size_t first,
                            size_t count);

// A row case: n variables over [lo, hi], a node built over them and the
// checker. A row whose node draws its shape from the generator is given one
// seeded by the shape, and its checker the same shape.
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
  // The node holds code of the caller's (a predicate).
  bool callersCode = false;
};

std::vector<Row> rows();

// A box of one dimension at the origin variable.
QroExtractableI* box(QroEnv& env, QroExtractableI* origin, QroNum size);

// The pack of fields a[0] (loads), a[1] (places), ints[0] (weights),
// child[0] (count of used bins, or none) and ints[1] (item pairs, or none),
// as test class R.
template <int R>
QroConstraintI* packNode(QroEnv& env, const Fields& f, bool removable = true) {
  RowRemove remove = [](QroAlgorithmI* a, const Fields& g) {
    removePack(a, g.a[0], g.a[1], g.child[0]);
  };
  return rowConstraint<R>(
      env, f,
      [](QroAlgorithmI* a, QroExtractableI* x, const Fields& g) {
        return extractPack(a, x, g.a[0], g.a[1], g.ints[0], g.child[0], g.ints[1]);
      },
      removable ? remove : nullptr);
}

// Whether a packs items of the weights into the bins, the pairs apart: a
// holds the loads, then the places, then the count of used bins when
// counted.
bool packs(const Values& a, const std::vector<int64_t>& weights, const std::vector<int64_t>& pairs,
           bool counted);

}  // namespace solvertest

#endif
