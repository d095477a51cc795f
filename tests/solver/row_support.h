// Test-only modelling classes of the builders' rows: a node holding the
// fields of its row, whose hooks call the row's builder and remove helper.
// Each row has its own class number R.
#ifndef TESTS_SOLVER_ROW_SUPPORT_H
#define TESTS_SOLVER_ROW_SUPPORT_H

#include <cstdint>
#include <vector>

#include "qroexpr.h"
#include "qrointset.h"
#include "qrosolverextractor.h"

namespace solvertest {

// The fields of a row's node: model arrays, a constant set, constant arrays,
// children, integers and a user object.
struct Fields {
  QroExtractableArray a[3];
  QroIntSetI* set = nullptr;
  QroIntArray ints[2];
  QroNumArray nums;
  QroExtractableI* child[3] = {nullptr, nullptr, nullptr};
  QroInt k[3] = {0, 0, 0};
  void* object = nullptr;
};

typedef void* (*RowExtract)(QroAlgorithmI*, QroExtractableI*, const Fields&);
typedef void (*RowRemove)(QroAlgorithmI*, const Fields&);

// The test-only class of row R: a constraint (or, for the element rows, an
// integer expression) holding the fields; its hooks call the row's builder
// and remove helper.
template <int R, class Base>
class RowNode : public Base {
  QROSIMPLECLASS_NAMED(RowNode, Base, "RowNode")
  QROEXTRACTABLEHOOKS()
 public:
  RowNode(QroEnvI* env, const Fields& f, RowExtract extract, RowRemove remove)
      : Base(env), fields(f) {
    _extract = extract;
    _remove = remove;
    Hooks.extract = [](QroAlgorithmI* a, QroExtractableI* x) {
      return _extract(a, x, static_cast<RowNode*>(x)->fields);
    };
    Hooks.remove = [](QroAlgorithmI* a, QroExtractableI* x, void*) {
      _remove(a, static_cast<RowNode*>(x)->fields);
    };
    Hooks.change = changeNeedsUpdate;
    Hooks.addToAlgorithm = addConstraintToManager;
    Hooks.removeFromAlgorithm = removeConstraintFromManager;
  }
  // The arrays and children, so that the solver sees what the node uses.
  void visitSubExtractables(QroExtractableVisitor* v) override {
    v->visit(this);
    for (const QroExtractableArray& a : fields.a)
      if (!v->isDone() && a.getImpl()) v->visitArray(this, a);
    for (QroExtractableI* c : fields.child)
      if (!v->isDone() && c) v->visitChild(this, c);
    v->endVisit(this);
  }
  QroNum eval(QroAlgorithmI*) const override { throw QroNotImplemented(); }
  Fields fields;

 private:
  static inline RowExtract _extract;
  static inline RowRemove _remove;
};

// The constraint nodes made since it was last cleared.
inline std::vector<QroConstraintI*>& madeNodes() {
  static std::vector<QroConstraintI*> nodes;
  return nodes;
}

template <int R>
QroConstraintI* rowConstraint(QroEnv& env, const Fields& f, RowExtract ex, RowRemove rm) {
  QroConstraintI* node = new (env.getImpl()) RowNode<R, QroConstraintI>(env.getImpl(), f, ex, rm);
  madeNodes().push_back(node);
  return node;
}

inline QroIntArray intsOf(QroEnv& env, const std::vector<int64_t>& values) {
  QroIntArray a(env, 0);
  for (int64_t v : values) a.add(v);
  return a;
}

}  // namespace solvertest

#endif
