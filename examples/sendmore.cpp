// A global constraint stated from a model: SEND + MORE = MONEY, with the
// letters standing for different digits. The modelling layer has no
// all-different class, so the program writes one with the extension
// interface: a modelling constraint holding its variables, whose extraction
// hook calls the solver's builder of the engine's all-different. The solver's
// default search finds the one solution; the program checks that it is the
// only one and that the sum holds.
#include <iostream>

#include "qro.h"
#include "qroext.h"  // QroConstraintI, the hook record, the builders and shared hooks

namespace {

// The modelling class: a constraint over a variable array, whose extract
// hook builds the engine's all-different over the extracted variables.
class AllDiffI : public QroConstraintI {
  QROSIMPLECLASS(AllDiffI, QroConstraintI)
  QROEXTRACTABLEHOOKS()
 public:
  AllDiffI(QroEnvI* env, const QroIntVarArray& vars) : QroConstraintI(env), _vars(vars.getImpl()) {}
  // The solver's remove hook and the model's checks walk the operands.
  void visitSubExtractables(QroExtractableVisitor* v) override { v->visitArray(this, _vars); }
  static void* extractHook(QroAlgorithmI* solver, QroExtractableI* x) {
    return extractAllDiff(solver, x, static_cast<AllDiffI*>(x)->_vars);
  }

 private:
  QroExtractableArray _vars;
};

QroConstraint AllDiff(const QroEnv& env, const QroIntVarArray& vars) {
  return new (env.getImpl()) AllDiffI(env.getImpl(), vars);
}

}  // namespace

int main() {
  // The hook record, filled once before any solver extracts the class: the
  // extract hook, then the solver's shared hooks for a constraint over an
  // array (remove its operands, restart on a change, post it, take it back).
  AllDiffI::Hooks.extract = AllDiffI::extractHook;
  AllDiffI::Hooks.remove = removeArray;
  AllDiffI::Hooks.change = changeNeedsUpdate;
  AllDiffI::Hooks.addToAlgorithm = addConstraintToManager;
  AllDiffI::Hooks.removeFromAlgorithm = removeConstraintFromManager;

  QroEnv env;
  int status = 0;
  try {
    QroModel model(env);
    const char* names = "SENDMORY";
    QroIntVarArray letters(env, 8);
    for (int i = 0; i < 8; ++i) letters[i] = QroNumVar(env, 0, 9, QroNumVar::Int);
    QroNumVar S = letters[0], E = letters[1], N = letters[2], D = letters[3], M = letters[4],
              O = letters[5], R = letters[6], Y = letters[7];

    model.add(AllDiff(env, letters));
    // SEND + MORE - MONEY == 0, and no number starts with 0.
    QroNumExprArg sum = 1000 * S + 100 * E + 10 * N + 1 * D;
    sum = sum + 1000 * M + 100 * O + 10 * R + 1 * E;
    sum = sum - (10000 * M + 1000 * O + 100 * N + 10 * E + 1 * Y);
    model.add(QroRange(env, 0, sum, 0));
    model.add(QroRange(env, 1, S, 9));
    model.add(QroRange(env, 1, M, 9));

    // Every solution of the default search, which binds the integer variables.
    QroSolver solver(model);
    solver.startNewSearch();
    int solutions = 0;
    QroInt v[8] = {};
    while (solver.next()) {
      ++solutions;
      for (int i = 0; i < 8; ++i) {
        v[i] = static_cast<QroInt>(solver.getValue(letters[i]));
        std::cout << names[i] << " = " << v[i] << (i < 7 ? ", " : "\n");
      }
    }
    solver.endSearch();

    bool distinct = true;
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < i; ++j) distinct = distinct && v[i] != v[j];
    QroInt send = 1000 * v[0] + 100 * v[1] + 10 * v[2] + v[3];
    QroInt more = 1000 * v[4] + 100 * v[5] + 10 * v[6] + v[1];
    QroInt money = 10000 * v[4] + 1000 * v[5] + 100 * v[2] + 10 * v[1] + v[7];
    if (solutions == 1) std::cout << send << " + " << more << " = " << money << std::endl;
    if (solutions != 1 || !distinct || send + more != money || send != 9567) {
      std::cerr << "wrong answer (" << solutions << " solutions)" << std::endl;
      status = 1;
    }
  } catch (QroException& e) {
    e.print(std::cerr);
    std::cerr << std::endl;
    status = 1;
  }
  env.end();
  return status;
}
