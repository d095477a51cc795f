#include "support/model_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "qrcmanager.h"
#include "qrosolver.h"

namespace qrotest {

namespace {

bool contiguous(const std::vector<int64_t>& v) {
  for (size_t i = 1; i < v.size(); ++i)
    if (v[i] != v[i - 1] + 1) return false;
  return !v.empty();
}

std::string text(const std::vector<int64_t>& a) {
  std::string s = "(";
  for (size_t i = 0; i < a.size(); ++i) s += (i ? "," : "") + std::to_string(a[i]);
  return s + ")";
}

}  // namespace

QroNumVar makeIntVar(QroEnv& env, const std::vector<int64_t>& values, const char* name) {
  std::vector<int64_t> v = values;
  std::sort(v.begin(), v.end());
  if (contiguous(v))
    return QroNumVar(env, static_cast<QroNum>(v.front()), static_cast<QroNum>(v.back()),
                     QroNumVar::Int, name);
  QroIntArray list(env, 0);
  for (int64_t x : v) list.add(x);
  QroIntVarDomainI domain(list, 0);
  QroNumVar var(new (env.getImpl())
                    QroNumVarI(env.getImpl(), domain.makeCopy(env.getImpl()), name));
  list.end();
  return var;
}

std::vector<std::vector<int64_t>> checkerSolutions(const ModelCase& c) {
  std::vector<std::vector<int64_t>> out;
  std::vector<size_t> at(c.values.size(), 0);
  std::vector<int64_t> a(c.values.size());
  for (const auto& v : c.values)
    if (v.empty()) return out;
  while (true) {
    for (size_t i = 0; i < a.size(); ++i) a[i] = c.values[i][at[i]];
    if (c.check(a)) out.push_back(a);
    size_t i = 0;
    while (i < at.size() && ++at[i] == c.values[i].size()) at[i++] = 0;
    if (i == at.size()) return out;
  }
}

std::vector<std::vector<int64_t>> solverSolutions(const ModelCase& c, bool edit) {
  std::vector<std::vector<int64_t>> out;
  QroEnv env;
  try {
    QroModel model(env);
    std::vector<QroNumVar> vars;
    for (const auto& v : c.values) {
      vars.push_back(makeIntVar(env, v));
      model.add(vars.back());
    }
    c.build(env, model, vars);
    QroSolver solver(model, edit ? &QrcEdit : &QrcNoEdit);
    if (c.configure) c.configure(solver);
    solver.startNewSearch();
    while (static_cast<int64_t>(out.size()) < c.maxSolutions && solver.next()) {
      std::vector<int64_t> a;
      for (const QroNumVar& v : vars) a.push_back(static_cast<int64_t>(solver.getValue(v)));
      out.push_back(a);
    }
    solver.endSearch();
    QrcManagerI* m = solver.getManagerI();
    // The manager vouches for every object. In edit mode the model is posted
    // in the search's first node, where the objects it makes are not yet
    // checked and a failure is thrown; posted before, every failure jumps.
    m->checkMade();
    if (!c.callersCode && m->hasMetForeignCode())
      ADD_FAILURE() << c.name << (edit ? " (edit)" : " (no edit)")
                    << ": the search met an object of a class that does not declare itself the "
                    << "library's (QRCLIBRARYCLASS): its failures were thrown";
    else if (!c.callersCode && !edit && m->getThrownFailures() != 0)
      ADD_FAILURE() << c.name << " (no edit): " << m->getThrownFailures() << " failures thrown, "
                    << m->getJumpedFailures() << " jumped, where only the library's code runs";
    solver.end();
  } catch (const QroSolver::ModelInconsistent&) {
  }
  env.end();
  return out;
}

int checkModelCase(const ModelCase& c) {
  std::vector<std::vector<int64_t>> expected = checkerSolutions(c);
  std::set<std::vector<int64_t>> want(expected.begin(), expected.end());
  int failures = 0;
  for (bool edit : {true, false}) {
    std::vector<std::vector<int64_t>> found = solverSolutions(c, edit);
    std::set<std::vector<int64_t>> got(found.begin(), found.end());
    std::string mode = edit ? " (edit)" : " (no edit)";
    if (!c.auxiliaries && got.size() != found.size()) {
      ADD_FAILURE() << c.name << mode << ": a solution found twice";
      ++failures;
    }
    for (const auto& a : want)
      if (!got.count(a)) {
        ADD_FAILURE() << c.name << mode << ": missed " << text(a);
        ++failures;
        break;
      }
    for (const auto& a : got)
      if (!want.count(a)) {
        ADD_FAILURE() << c.name << mode << ": wrong solution " << text(a);
        ++failures;
        break;
      }
  }
  return failures;
}

}  // namespace qrotest
