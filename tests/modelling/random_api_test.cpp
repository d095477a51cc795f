// Random sequences of modelling calls checked against the environment's own
// invariants: every live object's sub-extractables are live, models list only
// live members, identifiers map back to their objects. Terms that a model
// lists, held otherwise only by ranges that may end, go through holders that
// end, merges and rewrites by +, -, * and /: after every step each model
// lists them still, with the coefficients a mirror keeps, and every model is
// displayed.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>
#include <vector>

#include "qroalgorithm.h"
#include "qromodel.h"
#include "support/env_pools.h"
#include "support/term_holders.h"
#include "support/seed.h"
#include "support/stub_algorithm.h"

namespace {

struct Tracked {
  QroInt id;
  QroExtractableI* object;
};

struct LiveChildren : QroExtractableVisitor {
  QroEnvI* env;
  bool ok = true;
  explicit LiveChildren(QroEnvI* e) : env(e) {}
  void visitChild(QroExtractableI*, QroExtractableI* c) override {
    if (!c || c->getId() < 0 || env->getLiveSlot(c->getId()) != c) ok = false;
  }
};

class Valuer : public StubAlgorithm {
 public:
  explicit Valuer(QroEnvI* env) : StubAlgorithm(env) {}
  QroBool applyChange(QroChange*, void**, QroExtractableI*) override {
    ++changes;
    return 1;
  }
  QroNum getValue(QroNumVarI* v) override { return v->getLB() + 0.5; }
  using StubAlgorithm::getValue;
  int changes = 0;
};

// A term a model lists: its coefficients by variable and its constant.
struct Listed {
  QroModelI* model;
  QroInt modelId;
  QroNumExprI* term;
  std::map<QroNumVarI*, double> coefs;
  double constant;
};

// The coefficients of a term's linear nodes by variable (zeros left out),
// false when it has any other part.
bool linearParts(QroNumExprI* e, std::map<QroNumVarI*, double>& coefs, double& constant) {
  if (e->getTypeInfo() != QroNumLinTermI::GetTypeInfo()) return false;
  QroNumLinTermI* t = static_cast<QroNumLinTermI*>(e);
  if (t->getFirstExpr()) return false;
  coefs.clear();
  for (QroLinearNode* n = t->getFirstNode(); n; n = n->next) coefs[n->var] += n->coef;
  for (auto it = coefs.begin(); it != coefs.end();)
    it = it->second == 0 ? coefs.erase(it) : std::next(it);
  constant = t->getConstantValue();
  return true;
}

// The listed term as the mirror says (less the variables no longer live),
// else what differs.
std::string checkListed(const std::vector<Tracked>& vars, Listed& l) {
  for (auto it = l.coefs.begin(); it != l.coefs.end();) {
    bool live = false;
    for (const Tracked& v : vars) live = live || v.object == it->first;
    it = live ? std::next(it) : l.coefs.erase(it);
  }
  bool in = false;
  for (QroModelI::Link* k = l.model->getFirstLink(); k; k = k->next) in = in || k->member == l.term;
  if (!in) return "the model no longer lists the term";
  std::map<QroNumVarI*, double> coefs;
  double constant;
  if (!linearParts(l.term, coefs, constant) || coefs != l.coefs || constant != l.constant) {
    std::ostringstream os;
    l.term->display(os);
    return "the listed term became " + os.str();
  }
  return "";
}

// Counts the refused changes into refused.
void runSequence(uint64_t seed, bool pooling, int& refused) {
  QroEnv env = qrotest::makeEnv(pooling);
  QroEnvI* e = env.getImpl();
  std::mt19937_64 rng(seed);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  std::vector<Tracked> vars, cons, models, objs;
  std::vector<Listed> listed;
  QroEnv other;
  Valuer& alg = *new (e) Valuer(e);  // ended with the environment

  auto track = [](std::vector<Tracked>& v, QroExtractableI* x) { v.push_back({x->getId(), x}); };
  auto prune = [&](std::vector<Tracked>& v) {
    std::vector<Tracked> kept;
    for (const Tracked& t : v)
      if (e->getLiveSlot(t.id) == t.object) kept.push_back(t);
    v.swap(kept);
  };
  // An operand: a variable or an expression held by a live constraint.
  auto operand = [&]() -> QroNumExprArg {
    if (!cons.empty() && rng() % 3 == 0) {
      QroExtractableI* c = cons[pick(cons.size())].object;
      if (c->getTypeInfo() == QroRangeI::GetTypeInfo())
        return QroNumExprArg(static_cast<QroRangeI*>(c)->getExpr());
    }
    return QroNumExprArg(static_cast<QroNumVarI*>(vars[pick(vars.size())].object));
  };

  auto var = [&]() { return QroNumVar(static_cast<QroNumVarI*>(vars[pick(vars.size())].object)); };
  // A term of two variables listed by a model, now and then held by a range
  // too or extracted by the algorithm.
  auto listTerm = [&]() {
    if (models.empty()) track(models, QroModel(env).getImpl());
    QroModelI* m = static_cast<QroModelI*>(models[pick(models.size())].object);
    double a = static_cast<double>(rng() % 5) - 2, b = static_cast<double>(1 + rng() % 3);
    QroNumExprArg t = a * QroNumExprArg(var()) + b * QroNumExprArg(var()) + 1.0;
    Listed l{m, m->getId(), t.getImpl(), {}, 0};
    if (!linearParts(l.term, l.coefs, l.constant)) return;
    QroModel(m).add(QroExtractable(l.term));
    listed.push_back(l);
    if (rng() % 2) track(cons, QroRange(env, -5, t, 5).getImpl());
    if (rng() % 3 == 0) alg.extract(l.term);
  };
  // An operator over a listed term, or a holder of it made and ended.
  auto touchListed = [&]() {
    QroNumExprArg h(listed[pick(listed.size())].term);
    QroNumExprArg x(var()), r;
    switch (rng() % 9) {
      case 0:
        r = h + x;
        break;
      case 1:
        r = (x + 1.0) + h;
        break;
      case 2:
        r = h - x;
        break;
      case 3:
        r = h * 2.0;
        break;
      case 4:
        r = ((x - x) + 3.0) * h;
        break;
      case 5:
        r = h / 2.0;
        break;
      case 6:
        r = (x + 1.0) + QroNumExprArg::Sole(h.getImpl());
        break;
      default:
        qrotest::holdAndEnd(env, h, x, static_cast<int>(rng() % qrotest::kTermHolders));
        return;
    }
    if (r.getImpl() == h.getImpl()) ADD_FAILURE() << "a listed term rewritten in place";
    if (rng() % 2) track(cons, (r <= static_cast<double>(rng() % 7)).getImpl());
  };

  // Now and then a step runs while the algorithm searches: a change of what
  // it extracted is refused, and every object is then as it was.
  auto snapshot = [&]() {
    std::vector<std::pair<QroExtractableI*, std::string>> shot;
    for (auto* list : {&vars, &cons, &models, &objs})
      for (const Tracked& t : *list) {
        std::ostringstream os;
        t.object->display(os);
        shot.push_back({t.object, os.str()});
      }
    return shot;
  };
  for (int step = 0; step < 400; ++step) {
    bool searching = rng() % 4 == 0;
    std::vector<std::pair<QroExtractableI*, std::string>> before;
    if (searching) before = snapshot();
    alg.setInSearch(searching);
    try {
      int op = static_cast<int>(rng() % 17);
      if (vars.size() < 2 || op == 0) {
        double lb = static_cast<double>(rng() % 5);
        QroNumVar v(env, lb, lb + static_cast<double>(rng() % 5),
                    static_cast<QroNumVar::Type>(1 + rng() % 3));
        track(vars, v.getImpl());
      } else if (op <= 4) {
        QroNumExprArg a = operand(), b = operand(), r;
        switch (rng() % 7) {
          case 0:
            r = a + b;
            break;
          case 1:
            r = a - b;
            break;
          case 2:
            r = a * b;
            break;
          case 3:
            r = a / b;
            break;
          case 4:
            r = QroPower(a, static_cast<double>(1 + rng() % 3));
            break;
          case 5:
            r = a * static_cast<double>(rng() % 3) + 1.0;
            break;
          default:
            r = 2.0 - a / 3.0;
            break;
        }
        QroConstraint c = rng() % 4 == 0 ? (r == b) : (r <= static_cast<double>(rng() % 7));
        track(cons, c.getImpl());
        if (rng() % 2) alg.extract(c.getImpl());
      } else if (op == 5) {
        if (models.empty() || rng() % 4 == 0) {
          QroModel m(env);
          track(models, m.getImpl());
        }
        if (!cons.empty()) {
          QroModelI* m = static_cast<QroModelI*>(models[pick(models.size())].object);
          QroModel(m).add(QroExtractable(cons[pick(cons.size())].object));
        }
      } else if (op == 6) {
        QroNumVarI* v = static_cast<QroNumVarI*>(vars[pick(vars.size())].object);
        v->setBounds(v->getLB() - 1, v->getUB() + static_cast<double>(rng() % 3));
      } else if (op == 7 && !cons.empty()) {
        QroExtractable(cons[pick(cons.size())].object).end();
      } else if (op == 8 && vars.size() > 2) {
        QroExtractable(vars[pick(vars.size())].object).end();
      } else if (op == 10) {
        QroObjective o(env, operand() + operand(),
                       rng() % 2 ? QroObjectiveI::Minimize : QroObjectiveI::Maximize);
        track(objs, o.getImpl());
        std::ostringstream os;
        o.getImpl()->display(os);
        o.getSingleVariable();
      } else if (op == 11 && !models.empty()) {
        QroExtractableI* c = other.getImpl()->getClone(models[pick(models.size())].object);
        std::ostringstream os;
        c->display(os);
      } else if (op == 12) {
        QroNumExprArg it = QroNumExprArg(static_cast<QroNumVarI*>(vars[pick(vars.size())].object)) *
                           static_cast<QroInt>(rng() % 5);
        if (rng() % 2) it = it * static_cast<QroInt>(1 + rng() % 3);
        QroConstraint c = (operand() + it) <= static_cast<double>(rng() % 9);
        track(cons, c.getImpl());
      } else if (op == 13 && !models.empty()) {
        e->setParenthesisDisplay(rng() % 2);
        e->setScratchBlockSupport(rng() % 2);
        std::ostringstream os;
        models[pick(models.size())].object->display(os);
      } else if (op == 14 && !cons.empty()) {
        QroExtractableI* c = cons[pick(cons.size())].object;
        if (alg.getUseCount(c->getId()) > 0)
          alg.remove(c);
        else
          alg.extract(c);
      } else if (op == 15) {
        listTerm();
      } else if (op == 16 && !listed.empty()) {
        touchListed();
      } else if (op == 9 && !cons.empty()) {
        std::ostringstream os;
        QroExtractableI* c = cons[pick(cons.size())].object;
        c->display(os);
        try {
          static_cast<QroConstraintI*>(c)->eval(&alg);
        } catch (const QroWrongUsage&) {
          // the evaluator values linear forms of fixed variables only
        }
      }
      prune(vars);
      prune(cons);
      prune(models);
      prune(objs);
      for (const Tracked& t : objs) {
        LiveChildren check(e);
        t.object->visitSubExtractables(&check);
        ASSERT_TRUE(check.ok) << "step " << step << " objective " << t.id;
      }
      for (const Tracked& t : cons) {
        LiveChildren check(e);
        t.object->visitSubExtractables(&check);
        ASSERT_TRUE(check.ok) << "step " << step << " constraint " << t.id;
      }
      for (const Tracked& t : models) {
        LiveChildren check(e);
        t.object->visitSubExtractables(&check);
        ASSERT_TRUE(check.ok) << "step " << step << " model " << t.id;
      }
      for (const Tracked& t : vars) ASSERT_EQ(e->getExtractable(t.id), t.object);
      std::vector<Listed> kept;
      for (Listed& l : listed) {
        if (e->getLiveSlot(l.modelId) != l.model) continue;
        std::string wrong = checkListed(vars, l);
        ASSERT_EQ(wrong, "") << "step " << step;
        kept.push_back(l);
      }
      listed.swap(kept);
      for (const Tracked& t : models) {
        std::ostringstream os;
        t.object->display(os);
      }
    } catch (const QroNoChangeDuringSearchException&) {
      ++refused;
      for (const auto& b : before) {
        ASSERT_GE(b.first->getId(), 0) << "step " << step << ": a refused change ended an object";
        std::ostringstream os;
        b.first->display(os);
        ASSERT_EQ(os.str(), b.second) << "step " << step << ": a refused change changed it";
      }
    } catch (const QroException& x) {
      std::ostringstream os;
      x.print(os);
      ADD_FAILURE() << "step " << step << ": " << os.str();
      break;
    }
    alg.setInSearch(0);
  }
  other.end();
  env.end();
}

TEST(RandomApi, CascadesKeepTheGraphConsistent) {
  uint64_t seed = qrotest::seedOr(20261206);
  SCOPED_TRACE(::testing::Message() << "replay with --qro_seed=" << seed);
  int refused = 0;
  for (uint64_t k = 0; k < 6; ++k) {
    runSequence(seed + k, true, refused);
    runSequence(seed + k, false, refused);
  }
  EXPECT_GT(refused, 20);
}

class CountingLocal : public QroLocalEnvI {
 public:
  explicit CountingLocal(QroEnvI* env) : QroLocalEnvI(env) {}
  void* alloc(size_t size) override {
    ++allocs;
    return _env->getMemoryManager()->alloc(size);
  }
  void free(void*, size_t) override {}
  void saveValue(void*) override {}
  void saveValue2(void*) override {}
  void saveValue3(void*) override { ++saves; }
  int allocs = 0, saves = 0;
};

TEST(LocalEnv, PermanentCachesBypassTheLocalEnvironment) {
  QroEnv env;
  QroEnvI* e = env.getImpl();
  QroNumVar x(env, 0, 1);
  QroModel m(env);
  CountingLocal local(e);
  e->setLocalEnv(&local);
  e->internString("made during a search");
  x.getImpl()->hasDecisionVar();
  EXPECT_EQ(local.allocs, 0);
  // Model edits are recorded for undoing and take the local memory.
  m.add(x);
  EXPECT_GT(local.saves, 0);
  EXPECT_GT(local.allocs, 0);
  QroNumVar y(env, 2, 3);  // an unshared domain while a local env is set
  EXPECT_FALSE(y.getImpl()->getDomain()->isShared());
  e->setLocalEnv(nullptr);
  env.end();
}

}  // namespace
