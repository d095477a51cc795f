// Test-only modelling objects shared by the tests of the extra constraints
// and of the global builders: a tuple set extracted by extractIntTupleSet,
// with an XML handler.
#ifndef TESTS_SOLVER_EXTRA_SUPPORT_H
#define TESTS_SOLVER_EXTRA_SUPPORT_H

#include <vector>

#include "qrosolverglobal.h"
#include "qrosolverextra.h"
#include "qrosolverextractor.h"
#include "qroxmlser.h"

namespace solvertest {

// Tuples of one arity, row after row.
class TestTupleSetI : public QroExtractableI {
  QROSIMPLECLASS(TestTupleSetI, QroExtractableI)
  QROEXTRACTABLEHOOKS()
 public:
  TestTupleSetI(QroEnvI* env, QroInt arity, const std::vector<QroInt>& values)
      : QroExtractableI(env), _arity(arity), _values(QroEnv(env), 0) {
    for (QroInt v : values) _values.add(v);
    Hooks.extract = [](QroAlgorithmI* a, QroExtractableI* x) {
      TestTupleSetI* t = static_cast<TestTupleSetI*>(x);
      return extractIntTupleSet(a, x, t->_arity, t->_values);
    };
    // Removing a tuple set undoes nothing.
    Hooks.remove = [](QroAlgorithmI*, QroExtractableI*, void*) {};
    Hooks.change = changeNeedsSync;
  }
  ~TestTupleSetI() override { _values.end(); }
  QroExtractableI* makeClone(QroEnvI* env) const override {
    std::vector<QroInt> v;
    for (QroInt i = 0; i < _values.getSize(); ++i) v.push_back(_values[i]);
    return new (env) TestTupleSetI(env, _arity, v);
  }
  QroInt getArity() const { return _arity; }
  QroIntArray getValues() const { return _values; }

 private:
  QroInt _arity;
  QroIntArray _values;
};

// "testTupleSet" with an "arity" attribute and an "intArray" child.
class TupleSetInfo : public QroXmlInfo {
 public:
  explicit TupleSetInfo(QroXmlContextI* c) : QroXmlInfo(c) {}
  const char* getTagName() const override { return "testTupleSet"; }
  bool writeBody(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override {
    const TestTupleSetI* t = static_cast<const TestTupleSetI*>(o);
    char* text = w.toString(t->getArity());
    w.addAttribute(e, "arity", text);
    w.freeString(text);
    w.addSubElement(e, writeIntArray(w, t->getValues()));
    return true;
  }
  QroExtractableI* readExtractable(QroXmlReader r, const QroXmlElementI* e) override {
    QroInt arity;
    if (!r.readIntAttribute(e, "arity", arity)) return nullptr;
    QroIntArray values(r.getEnv(), 0);
    if (!readIntArray(r, e, values)) {
      values.end();
      return nullptr;
    }
    std::vector<QroInt> v;
    for (QroInt i = 0; i < values.getSize(); ++i) v.push_back(values[i]);
    values.end();
    return new (r.getEnv().getImpl()) TestTupleSetI(r.getEnv().getImpl(), arity, v);
  }
};

// A model array of the variables.
inline QroIntVarArray varArray(QroEnv& env, const std::vector<QroNumVar>& vars, size_t first,
                               size_t count) {
  QroIntVarArray a(env, 0);
  for (size_t i = first; i < first + count; ++i) a.add(vars[i]);
  return a;
}

}  // namespace solvertest

#endif
