// Writes that the handlers leave to the context, done after their content
// returns, against the same writes done at once (handlers whose sub-writes
// nest): random models, written with every helper (sub-objects with and
// without an attribute naming them, arrays, direct writes, identifiers asked
// of the writer), failing and unhandled objects included, give the same
// documents, the same identifiers and the same records.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/seed.h"
#include "support/xmlser_support.h"

namespace {

// The handlers of both sides write the same content; only `later` differs.
class Later {
 public:
  explicit Later(bool later) : _later(later) {}
  bool later() const { return _later; }

 private:
  bool _later;
};

// A variable named "bad" cannot be written.
class VarT : public xmltest::VarInfo, Later {
 public:
  VarT(QroXmlContextI* c, bool later) : VarInfo(c), Later(later) {}
  bool writesSubObjectsLater() const override { return later(); }
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override {
    const char* name = static_cast<const QroNumVarI*>(o)->getName();
    if (name && std::string(name) == "bad") return false;
    return VarInfo::writeContent(w, o, e);
  }
};

// "cst", the variables as an array below "vars", then "coefs".
class TermT : public QroXmlInfo, Later {
 public:
  TermT(QroXmlContextI* c, bool later) : QroXmlInfo(c), Later(later) {}
  const char* getTagName() const override { return "numLinTerm"; }
  bool writesSubObjectsLater() const override { return later(); }
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override {
    const QroNumLinTermI* t = static_cast<const QroNumLinTermI*>(o);
    w.addAttribute(e, "cst", xmltest::numText(t->getConstant()).c_str());
    QroIntVarArray vars(QroEnv(getContext()->getEnv()), 0);
    std::string coefs;
    for (QroLinearNode* n = t->getFirstNode(); n; n = n->next) {
      vars.add(QroNumVar(n->var));
      coefs += xmltest::numText(n->coef) + " ";
    }
    std::unique_ptr<QroXmlElementI> child(w.createElement("vars"));
    bool ok = writeIntVarArray(w, child.get(), vars);
    vars.end();  // the array is not kept by the write
    if (!ok) return false;
    w.addSubElement(e, child.release());
    w.addAttribute(e, "coefs", coefs.c_str());
    return true;
  }
};

// The bounds, then the expression below, named by the attribute "expr".
class RangeT : public QroXmlInfo, Later {
 public:
  RangeT(QroXmlContextI* c, bool later) : QroXmlInfo(c), Later(later) {}
  const char* getTagName() const override { return "range"; }
  bool writesSubObjectsLater() const override { return later(); }
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override {
    const QroRangeI* r = static_cast<const QroRangeI*>(o);
    w.addAttribute(e, "lowerbound", xmltest::numText(r->getLB()).c_str());
    return writeExtractableRef(w, e, r->getExpr(), "expr");
  }
};

// The expression written directly by the context below "expr", then its
// identifier asked of the writer.
class ObjectiveT : public QroXmlInfo, Later {
 public:
  ObjectiveT(QroXmlContextI* c, bool later) : QroXmlInfo(c), Later(later) {}
  const char* getTagName() const override { return "objective"; }
  bool writesSubObjectsLater() const override { return later(); }
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override {
    const QroObjectiveI* obj = static_cast<const QroObjectiveI*>(o);
    QroXmlElementI* expr = w.createElement("expr");
    w.addSubElement(e, expr);
    if (!getContext()->writeExtractable(obj->getExpr(), w, expr)) return false;
    w.addAttribute(e, "exprId", std::to_string(w.getImpl()->getId(obj->getExpr())).c_str());
    return true;
  }
};

// The members; a model named "q" also writes the identifier of its first
// member as found by the writer, and the last identifier given.
class ModelT : public xmltest::ModelInfo, Later {
 public:
  ModelT(QroXmlContextI* c, bool later) : ModelInfo(c), Later(later) {}
  bool writesSubObjectsLater() const override { return later(); }
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override {
    if (!ModelInfo::writeContent(w, o, e)) return false;
    const QroModelI* m = static_cast<const QroModelI*>(o);
    if (m->getName() && std::string(m->getName()) == "q" && m->getFirstLink()) {
      QroXmlWriterI* wi = w.getImpl();
      w.addAttribute(e, "first", std::to_string(wi->findId(m->getFirstLink()->member)).c_str());
      w.addAttribute(e, "last", std::to_string(wi->getLastId()).c_str());
    }
    return true;
  }
};

struct Side {
  QroEnv env;
  QroXmlContextI* context;
  explicit Side(bool later) : env(), context(QroXmlContextI::Make(env.getImpl())) {
    QroEnvI* e = env.getImpl();
    context->registerXmlInfo(QroNumVarI::GetTypeIndex(), new (e) VarT(context, later));
    context->registerXmlInfo(QroNumLinTermI::GetTypeIndex(), new (e) TermT(context, later));
    context->registerXmlInfo(QroRangeI::GetTypeIndex(), new (e) RangeT(context, later));
    context->registerXmlInfo(QroObjectiveI::GetTypeIndex(), new (e) ObjectiveT(context, later));
    context->registerXmlInfo(QroModelI::GetTypeIndex(), new (e) ModelT(context, later));
  }
  ~Side() { env.end(); }
};

// Models drawn from the seed, the same in every environment: variables
// (rarely one that cannot be written), terms, ranges and objectives over them,
// equalities (no handler), and models holding any of these and earlier models.
std::vector<QroExtractableI*> randomModels(QroEnvI* env, uint64_t seed) {
  std::mt19937_64 rng(seed);
  std::vector<QroNumVarI*> vars;
  std::vector<QroNumLinTermI*> terms;
  std::vector<QroExtractableI*> pool, models;
  for (int i = 0; i < 5; ++i) {
    std::string name = rng() % 25 == 0 ? "bad" : "x" + std::to_string(i);
    vars.push_back(new (env) QroNumVarI(env, 0, static_cast<QroNum>(1 + rng() % 4), QroNumVar::Int,
                                        name.c_str()));
    pool.push_back(vars.back());
  }
  for (int i = 0; i < 3; ++i) {
    QroNumLinTermI* t = new (env) QroNumLinTermI(env, static_cast<QroNum>(rng() % 3));
    int n = 1 + static_cast<int>(rng() % 3);
    for (int k = 0; k < n; ++k) t->appendNode(vars[rng() % vars.size()], 1.0 + rng() % 2);
    terms.push_back(t);
    pool.push_back(t);
  }
  for (int i = 0; i < 3; ++i) {
    QroNumLinTermI* t = terms[rng() % terms.size()];
    switch (rng() % 3) {
      case 0:
        pool.push_back(new (env) QroRangeI(env, 0.0, t, 5.0, nullptr));
        break;
      case 1:
        pool.push_back(new (env) QroObjectiveI(env, t, QroObjectiveI::Minimize, nullptr));
        break;
      default:
        if (rng() % 3 == 0) pool.push_back(new (env) QroNumEqI(env, vars[0], t));
        break;
    }
  }
  for (int i = 0; i < 6; ++i) {
    QroModelI* m = new (env) QroModelI(env, rng() % 3 == 0 ? "q" : nullptr);
    int n = static_cast<int>(rng() % 5);
    for (int k = 0; k < n; ++k) {
      bool model = !models.empty() && rng() % 3 == 0;
      m->append(model ? models[rng() % models.size()] : pool[rng() % pool.size()]);
    }
    pool.push_back(m);
    models.push_back(m);
  }
  return models;
}

// Writes three of the models in turn with one writer below one document:
// each outcome and the last identifier after it, the document, the record.
std::string writeTrace(Side& side, uint64_t seed, bool unknowns) {
  side.context->setUnhandledSetting(unknowns ? -1 : 0);
  std::vector<QroExtractableI*> models = randomModels(side.env.getImpl(), seed);
  QroXmlWriter w(side.env);
  std::unique_ptr<QroXmlElementI> doc(w.createElement("Root"));
  std::string trace;
  for (int i : {5, 2, 5}) {
    QroXmlElementI* e = side.context->writeExtractable(models[i], w, doc.get());
    trace += (e ? "written " : "null ") + std::to_string(w.getImpl()->getLastId()) + "\n";
  }
  const char* unwritable = side.context->getFirstUnwritableClass();
  trace += xmltest::written(doc.get()) + (unwritable ? unwritable : "-");
  w.end();
  return trace;
}

TEST(XmlSerWrite, WritingLaterMatchesWritingAtOnce) {
  uint64_t seed = qrotest::seedOr(4242);
  SCOPED_TRACE(testing::Message() << "seed " << seed);
  int differing = 0, written = 0, failed = 0;
  for (int round = 0; round < 300; ++round) {
    Side later(true), atOnce(false);
    bool unknowns = round % 3 == 0;
    std::string a = writeTrace(later, seed + round, unknowns);
    std::string b = writeTrace(atOnce, seed + round, unknowns);
    if (a != b && ++differing <= 3) ADD_FAILURE() << "round " << round << "\n" << a << "\n" << b;
    written += a.find("written") != std::string::npos;
    failed += a.find("null") != std::string::npos;
  }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(written, 100);
  EXPECT_GT(failed, 10);
}

}  // namespace
