// The catalogue constraints of the solver benchmark's models (solver_models.h)
// as a program states them, in two ways: in the model, through modelling
// classes of the program's own whose extract hooks call the solver's builders
// (and the library's own count expression and comparisons), or on the
// solver's manager after extraction, as engine constraints over the
// variables the solver made.
#ifndef QRO_BENCH_SOLVER_CATALOGUE_H
#define QRO_BENCH_SOLVER_CATALOGUE_H

#include <vector>

#include "qro.h"
#include "qroext.h"
#include "solver_models.h"

namespace solverbench {

// The operands of a catalogue node: variables (f and then invf for the
// inverse, the array of an element), an index or operand, the result of an
// element over constants, a tuple set and constants.
struct Operands {
  QroExtractableArray vars, second;
  QroExtractableI* child = nullptr;
  QroExtractableI* result = nullptr;
  QroExtractableI* tuples = nullptr;
  QroIntArray values;
  QroBool allowed = 1;
};

typedef void* (*OperandsBuilder)(QroAlgorithmI*, QroExtractableI*, const Operands&);

// A constraint (Base QroConstraintI) or integer expression (QroIntExprI) of
// the catalogue, class K, extracted by its builder.
template <int K, class Base>
class CatalogueNode : public Base {
  QROSIMPLECLASS_NAMED(CatalogueNode, Base, "CatalogueNode")
  QROEXTRACTABLEHOOKS()
 public:
  CatalogueNode(QroEnvI* env, const Operands& o, OperandsBuilder build) : Base(env), _o(o) {
    _build = build;
    Hooks.extract = [](QroAlgorithmI* a, QroExtractableI* x) {
      return _build(a, x, static_cast<CatalogueNode*>(x)->_o);
    };
    Hooks.remove = [](QroAlgorithmI* a, QroExtractableI* x, void*) {
      const Operands& o = static_cast<CatalogueNode*>(x)->_o;
      if (o.vars.getImpl()) a->remove(o.vars);
      if (o.second.getImpl()) a->remove(o.second);
      if (o.child) a->remove(o.child);
      if (o.result) a->remove(o.result);
    };
    Hooks.change = changeNeedsUpdate;
    Hooks.addToAlgorithm = addConstraintToManager;
    Hooks.removeFromAlgorithm = removeConstraintFromManager;
  }
  void visitSubExtractables(QroExtractableVisitor* v) override {
    v->visit(this);
    if (!v->isDone() && _o.vars.getImpl()) v->visitArray(this, _o.vars);
    if (!v->isDone() && _o.second.getImpl()) v->visitArray(this, _o.second);
    if (!v->isDone() && _o.child) v->visitChild(this, _o.child);
    if (!v->isDone() && _o.result) v->visitChild(this, _o.result);
    v->endVisit(this);
  }
  QroNum eval(QroAlgorithmI*) const override { throw QroNotImplemented(); }

 private:
  Operands _o;
  static inline OperandsBuilder _build;
};

// The tuples of a table, row after row; its extraction is the engine's tuple set.
class TupleSetI : public QroExtractableI {
  QROSIMPLECLASS(TupleSetI, QroExtractableI)
  QROEXTRACTABLEHOOKS()
 public:
  TupleSetI(QroEnvI* env, QroInt arity, const QroIntArray& values)
      : QroExtractableI(env), _arity(arity), _values(values) {
    Hooks.extract = [](QroAlgorithmI* a, QroExtractableI* x) {
      TupleSetI* t = static_cast<TupleSetI*>(x);
      return extractIntTupleSet(a, x, t->_arity, t->_values);
    };
    Hooks.remove = [](QroAlgorithmI*, QroExtractableI*, void*) {};
    Hooks.change = changeNeedsSync;
  }

 private:
  QroInt _arity;
  QroIntArray _values;
};

// The variables of the terms first..first+count-1.
inline QroExtractableArray varsOf(QroEnv& env, const std::vector<QroNumVar>& x,
                                  const std::vector<Term>& terms, size_t first, size_t count) {
  QroExtractableArray a(env.getImpl(), 0);
  for (size_t k = first; k < first + count; ++k)
    a.add(x[static_cast<size_t>(terms[k].var)].getImpl());
  return a;
}

inline QroIntArray intsOf(QroEnv& env, const std::vector<int>& values) {
  QroIntArray a(env, 0);
  for (int v : values) a.add(v);
  return a;
}

// ------------------------------------------------------------------ builders

// The engine terms of the model array a, extracted.
inline QrcIntVarArray engineVars(QroSolverI* s, const QroExtractableArray& a) {
  s->QroAlgorithmI::extract(a);
  return s->getIntVarArray(a);
}

// The least or greatest of the variables, or the absolute value of the
// child, as an integer record: the modelling layer has no class for them.
inline void* extractMinMax(QroAlgorithmI* a, const Operands& o, bool least) {
  QroSolverI* s = static_cast<QroSolverI*>(a);
  QrcIntVarArray v = engineVars(s, o.vars);
  std::vector<QrcIntExpI*> terms;
  for (QrcInt i = 0; i < v.getSize(); ++i) terms.push_back(v.getImpl()->getVar(i));
  QrcManager m(s->getManager());
  QrcIntExp e = least ? QrcMin(m, v.getSize(), terms.data()) : QrcMax(m, v.getSize(), terms.data());
  return s->makeIntRecord(e.getImpl());
}

inline void* extractAbs(QroAlgorithmI* a, const Operands& o) {
  QroSolverI* s = static_cast<QroSolverI*>(a);
  s->QroAlgorithmI::extract(o.child);
  return s->makeIntRecord(QrcAbs(s->getIntVar(o.child)).getImpl());
}

template <int K>
QroConstraintI* constraintNode(QroEnv& env, const Operands& o, OperandsBuilder build) {
  return new (env.getImpl()) CatalogueNode<K, QroConstraintI>(env.getImpl(), o, build);
}

template <int K>
QroNumExprArg expressionNode(QroEnv& env, const Operands& o, OperandsBuilder build) {
  return QroNumExprArg(new (env.getImpl()) CatalogueNode<K, QroIntExprI>(env.getImpl(), o, build));
}

// The catalogue constraint c in the model over the variables x.
inline void stateCatalogue(const Constraint& c, QroEnv& env, QroModel& model,
                           const std::vector<QroNumVar>& x) {
  size_t n = c.terms.size();
  Operands o;
  o.vars = varsOf(env, x, c.terms, 0, n);
  const QroNumVar& a = x[static_cast<size_t>(c.terms[0].var)];
  const QroNumVar& y = x[static_cast<size_t>(c.defined < 0 ? 0 : c.defined)];
  switch (c.kind) {
    case Constraint::Allowed:
    case Constraint::Forbidden:
      o.tuples = new (env.getImpl())
          TupleSetI(env.getImpl(), static_cast<QroInt>(n), intsOf(env, c.values));
      o.allowed = c.kind == Constraint::Allowed;
      model.add(
          constraintNode<0>(env, o, [](QroAlgorithmI* s, QroExtractableI* x, const Operands& p) {
            return extractAllowedTuples(s, x, p.vars, p.tuples, p.allowed);
          }));
      break;
    case Constraint::ElementConst:
      o.child = a.getImpl();
      o.result = y.getImpl();
      o.values = intsOf(env, c.values);
      model.add(
          constraintNode<1>(env, o, [](QroAlgorithmI* s, QroExtractableI* x, const Operands& p) {
            return extractElementCaller(s, x, p.result, p.values, p.child);
          }));
      break;
    case Constraint::ElementVar:
      o.child = a.getImpl();
      o.vars = varsOf(env, x, c.terms, 1, n - 1);
      model.add(y == expressionNode<2>(env, o,
                                       [](QroAlgorithmI* s, QroExtractableI* x, const Operands& p) {
                                         return extractElement(s, x, p.vars, p.child);
                                       }));
      break;
    case Constraint::AllDiff:
      model.add(
          constraintNode<3>(env, o, [](QroAlgorithmI* s, QroExtractableI* x, const Operands& p) {
            return extractAllDiff(s, x, p.vars);
          }));
      break;
    case Constraint::Count: {
      QroIntExprArray exprs(env, 0);
      for (const Term& t : c.terms) exprs.add(x[static_cast<size_t>(t.var)].getImpl());
      model.add(y == QroNumExprArg(new (env.getImpl())
                                       QroIntCountValueEqI(env.getImpl(), exprs, c.constant)));
      break;
    }
    case Constraint::Min:
      model.add(
          y == expressionNode<4>(env, o, [](QroAlgorithmI* s, QroExtractableI*, const Operands& p) {
            return extractMinMax(s, p, true);
          }));
      break;
    case Constraint::Max:
      model.add(
          y == expressionNode<5>(env, o, [](QroAlgorithmI* s, QroExtractableI*, const Operands& p) {
            return extractMinMax(s, p, false);
          }));
      break;
    case Constraint::Abs:
      o.child = a.getImpl();
      model.add(
          y == expressionNode<6>(env, o, [](QroAlgorithmI* s, QroExtractableI*, const Operands& p) {
            return extractAbs(s, p);
          }));
      break;
    case Constraint::Inverse:
      o.vars = varsOf(env, x, c.terms, 0, n / 2);
      o.second = varsOf(env, x, c.terms, n / 2, n / 2);
      model.add(
          constraintNode<7>(env, o, [](QroAlgorithmI* s, QroExtractableI* x, const Operands& p) {
            return extractInverse(s, x, p.vars, p.second);
          }));
      break;
    case Constraint::ReifLe:
      model.add(y == QroNumExprArg((a - x[static_cast<size_t>(c.terms[1].var)] <= 0).getImpl()));
      break;
    case Constraint::ReifEq:
      model.add(y == QroNumExprArg(QroRange(env, c.constant, a, c.constant).getImpl()));
      break;
    default:
      break;
  }
}

// ------------------------------------------------------------------ on the manager

inline QrcIntVarArray engineVarsOf(QroSolver& solver, const std::vector<QroNumVar>& x,
                                   const std::vector<Term>& terms, size_t first, size_t count) {
  QrcIntVarArray a(solver.getManager(), static_cast<QrcInt>(count));
  for (size_t k = 0; k < count; ++k)
    a.set(static_cast<QrcInt>(k), solver.getIntVar(x[static_cast<size_t>(terms[first + k].var)]));
  return a;
}

// The engine constraint of the catalogue constraint c over the solver's
// variables of x.
inline QrcConstraint engineCatalogue(const Constraint& c, QroSolver& solver,
                                     const std::vector<QroNumVar>& x) {
  QrcManager m = solver.getManager();
  size_t n = c.terms.size();
  QrcIntVarArray all = engineVarsOf(solver, x, c.terms, 0, n);
  QrcIntVar a = solver.getIntVar(x[static_cast<size_t>(c.terms[0].var)]);
  QrcIntVar y = solver.getIntVar(x[static_cast<size_t>(c.defined < 0 ? 0 : c.defined)]);
  switch (c.kind) {
    case Constraint::Allowed:
    case Constraint::Forbidden: {
      QrcTupleSet set(m, static_cast<QrcInt>(n));
      QrcIntArray tuple(m, static_cast<QrcInt>(n), QrcInt(0));
      for (size_t k = 0; k < c.values.size(); k += n) {
        for (size_t j = 0; j < n; ++j) tuple[static_cast<QrcInt>(j)] = c.values[k + j];
        set.add(tuple);
      }
      set.close();
      return QrcTableConstraint(all, set, c.kind == Constraint::Allowed);
    }
    case Constraint::ElementConst: {
      QrcIntArray values(m, static_cast<QrcInt>(c.values.size()), QrcInt(0));
      for (size_t k = 0; k < c.values.size(); ++k) values[static_cast<QrcInt>(k)] = c.values[k];
      return QrcElementEq(y, values, a);
    }
    case Constraint::ElementVar:
      return y == QrcElement(engineVarsOf(solver, x, c.terms, 1, n - 1), a);
    case Constraint::AllDiff:
      return QrcAllDiff(all);
    case Constraint::Count:
      return QrcCard(y, c.constant, all);
    case Constraint::Min:
    case Constraint::Max: {
      std::vector<QrcIntExpI*> terms;
      for (QrcInt i = 0; i < all.getSize(); ++i) terms.push_back(all.getImpl()->getVar(i));
      return y == (c.kind == Constraint::Min ? QrcMin(m, all.getSize(), terms.data())
                                             : QrcMax(m, all.getSize(), terms.data()));
    }
    case Constraint::Abs:
      return y == QrcAbs(a);
    case Constraint::Inverse:
      return QrcInverse(engineVarsOf(solver, x, c.terms, 0, n / 2),
                        engineVarsOf(solver, x, c.terms, n / 2, n / 2));
    case Constraint::ReifLe:
      return y == QrcIntExp(a <= solver.getIntVar(x[static_cast<size_t>(c.terms[1].var)]));
    default:
      return y == QrcIntExp(a == c.constant);
  }
}

}  // namespace solverbench

#endif
