// The solver's extra modelling constraints: their objects, XML form and
// extraction.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "extra_support.h"
#include "qroregistry.h"
#include "qrosolver.h"
#include "qrosolveri.h"
#include "qrosolverextractor.h"
#include "support/harness.h"
#include "support/model_search.h"
#include "support/seed.h"
#include "support/xmlser_support.h"

using solvertest::TestTupleSetI;
using solvertest::varArray;
using xmltest::written;

namespace {

QroIntArray ints(QroEnv& env, std::initializer_list<QroInt> values) {
  QroIntArray a(env, 0);
  for (QroInt v : values) a.add(v);
  return a;
}

std::string displayed(const QroExtractableI* x) {
  std::ostringstream os;
  x->display(os);
  return os.str();
}

// A copy of a tree; with an engine, attributes and subtrees are dropped,
// values changed and elements renamed at random; `skip` names a child element
// or an attribute ("@name") of the top element left out.
QroXmlNodeI* copyTree(const QroXmlNodeI* n, std::mt19937_64* rng, const std::string& skip = "") {
  auto odds = [rng](unsigned k) { return rng && (*rng)() % k == 0; };
  if (n->getKind() == QroXmlNodeI::TextKind)
    return new QroXmlText(static_cast<const QroXmlTextI*>(n)->getText());
  const QroXmlElementI* from = static_cast<const QroXmlElementI*>(n);
  static const char* const tags[] = {"LeLex",  "Stretch", "Pattern",  "intExprArray", "numVar",
                                     "array1", "values",  "toBranch", "intArray"};
  QroXmlElementI* e = new QroXmlElement(odds(9) ? tags[(*rng)() % 9] : from->getName());
  QroXmlNodeIterator attributes(from->getAttributeIterator());
  while (attributes.hasNext()) {
    QroXmlAttributeI* a = static_cast<QroXmlAttributeI*>(attributes.next());
    if (odds(6) || "@" + std::string(a->getName()) == skip) continue;
    std::string value = odds(8) ? std::to_string((*rng)() % 20) : a->getValue();
    e->addAttribute(new QroXmlAttribute(a->getName(), value.c_str()));
  }
  QroXmlNodeIterator children(from->getChildIterator());
  while (children.hasNext()) {
    QroXmlNodeI* c = children.next();
    if (odds(6)) continue;
    if (c->getKind() == QroXmlNodeI::ElementKind &&
        static_cast<QroXmlElementI*>(c)->getName() == skip)
      continue;
    e->addChild(copyTree(c, rng));
  }
  return e;
}

// An environment with an XML context that knows variables and test tuple sets.
struct XmlSide {
  QroEnv env;
  QroXmlContextI* context;
  explicit XmlSide(bool contextFirst = true) : env(), context(nullptr) {
    if (contextFirst) makeContext();
  }
  void makeContext() {
    context = QroXmlContextI::Make(env.getImpl());
    xmltest::registerModelHandlers(context);
    context->registerXmlInfo(TestTupleSetI::GetTypeIndex(),
                             new (env.getImpl()) solvertest::TupleSetInfo(context));
  }
  ~XmlSide() { env.end(); }
  std::vector<QroNumVar> vars(int n, const char* prefix = "x") {
    std::vector<QroNumVar> v;
    for (int i = 0; i < n; ++i)
      v.push_back(QroNumVar(env, 0, 3, QroNumVar::Int, (prefix + std::to_string(i)).c_str()));
    return v;
  }
  // The element written for x (owned by the caller) and its text.
  std::unique_ptr<QroXmlElementI> write(const QroExtractableI* x) {
    QroXmlWriter w(env);
    std::unique_ptr<QroXmlElementI> e(context->writeExtractable(x, w, nullptr));
    w.end();
    return e;
  }
  QroExtractableI* read(const QroXmlElementI* e) {
    QroXmlReader r(env);
    QroExtractableI* x = static_cast<QroExtractableI*>(context->readElement(r, e));
    r.end();
    return x;
  }
};

// One object of each class over variables x0.. (the tuple set shared).
std::vector<QroExtractableI*> oneOfEach(XmlSide& s) {
  QroEnvI* env = s.env.getImpl();
  std::vector<QroNumVar> x = s.vars(4);
  TestTupleSetI* patterns = new (env) TestTupleSetI(env, 2, {0, 1, 2, 2});
  QroIntExprArray exprs(s.env, 0);
  for (const QroNumVar& v : x) exprs.add(v.getImpl());
  return {new (env) QroLeLexI(env, varArray(s.env, x, 0, 2), varArray(s.env, x, 2, 2), "le"),
          new (env) QroGeLexI(env, varArray(s.env, x, 0, 3), varArray(s.env, x, 1, 3)),
          new (env) QroStretchI(env, varArray(s.env, x, 0, 4), ints(s.env, {1, 2}),
                                ints(s.env, {2, 3}), ints(s.env, {5, 7}), "st"),
          new (env) QroStretchI(env, varArray(s.env, x, 0, 4), ints(s.env, {1, 2}),
                                ints(s.env, {2, 3}), QroIntArray()),
          new (env) QroPatternI(env, varArray(s.env, x, 1, 3), patterns, -3, "pat"),
          new (env) QroIntCountValueEqI(env, exprs, 2),
          new (env) QroToBranchI(env, varArray(s.env, x, 0, 4), "tb")};
}

// A document read: the answer and what the reader linked, by identifier in
// the reader's environment.
struct DocRead {
  DocRead(const QroEnv& e, QroXmlContextI* context, const QroXmlElementI* doc)
      : env(e.getImpl()), reader(e), top(context->readElement(reader, doc)) {
    for (QroInt id = 0; id < reader.getImpl()->getObjectHandler().getSize(); ++id)
      if (QroExtractableI* x = reader.getExtractableById(id)) read.emplace_back(x->getId(), x);
    array =
        std::none_of(read.begin(), read.end(), [this](const auto& p) { return p.second == top; });
  }
  bool alive(const std::pair<QroInt, QroExtractableI*>& p) const {
    return env->getLiveSlot(p.first) == p.second;
  }
  // What goes with the answer is forgotten: a later object may take its place.
  void endAnswer() {
    if (array)
      QroArray(static_cast<QroArrayI*>(top)).end();
    else
      QroExtractable(static_cast<QroExtractableI*>(top)).end();
    read.erase(
        std::remove_if(read.begin(), read.end(), [this](const auto& p) { return !alive(p); }),
        read.end());
  }
  std::vector<QroInt> counts() const {
    std::vector<QroInt> n;
    for (const auto& p : read) n.push_back(alive(p) ? p.second->getUseCount() : -1);
    return n;
  }
  // Once the reader and the answer are ended, only objects a program ends
  // itself are left; they are ended here.
  void endLeftovers() {
    for (const auto& p : read)
      EXPECT_TRUE(!alive(p) || p.second->isNumVar() || p.second->getUseCount() < 0)
          << p.second->getClassName() << " kept";
    for (const auto& p : read)
      if (alive(p)) QroExtractable(p.second).end();
  }
  QroEnvI* env;
  QroXmlReader reader;
  void* top;
  bool array = false;
  std::vector<std::pair<QroInt, QroExtractableI*>> read;
};

}  // namespace

// ---------------------------------------------------------------------------
// XML

TEST(ExtraXml, TagsChildrenAndConstants) {
  XmlSide s;
  std::vector<QroExtractableI*> all = oneOfEach(s);
  const char* const tags[] = {"LeLex",   "GeLex",           "Stretch", "Stretch",
                              "Pattern", "IntCountValueEq", "toBranch"};
  const std::vector<std::string> children[] = {{"array1", "array2"},
                                               {"array1", "array2"},
                                               {"exprarray", "array1", "array2", "values"},
                                               {"exprarray", "array1", "array2"},
                                               {"exprarray", "values"},
                                               {"exprarray"},
                                               {"vars"}};
  const char* const inner[] = {"intExprArray", "intExprArray", "intExprArray", "intExprArray",
                               "intExprArray", "intExprArray", "intVarArray"};
  for (size_t i = 0; i < all.size(); ++i) {
    std::unique_ptr<QroXmlElementI> e = s.write(all[i]);
    ASSERT_TRUE(e) << tags[i];
    EXPECT_STREQ(e->getName(), tags[i]);
    QroXmlReader r(s.env);
    std::vector<std::string> got;
    for (QroXmlElementI* c = r.getFirstChildElement(e.get()); c;) {
      got.push_back(c->getName());
      QroXmlNodeIterator it(e->getChildIterator());
      QroXmlElementI* next = nullptr;
      bool after = false;
      while (it.hasNext()) {
        QroXmlNodeI* n = it.next();
        if (after && n->getKind() == QroXmlNodeI::ElementKind) {
          next = static_cast<QroXmlElementI*>(n);
          break;
        }
        after = n == c;
      }
      c = next;
    }
    EXPECT_EQ(got, children[i]) << tags[i];
    QroXmlElementI* first = r.findElement(e.get(), children[i][0].c_str());
    EXPECT_STREQ(r.getFirstChildElement(first)->getName(), inner[i]) << tags[i];
    r.end();
  }
  auto attribute = [&](QroExtractableI* x, const char* name) -> std::string {
    std::unique_ptr<QroXmlElementI> e = s.write(x);
    QroXmlAttributeI* a = e->getAttribute(name);
    return a ? a->getValue() : "<none>";
  };
  EXPECT_EQ(attribute(all[4], "cst"), "-3");
  EXPECT_EQ(attribute(all[5], "cst"), "2");
  EXPECT_EQ(attribute(all[0], "name"), "le");
  EXPECT_EQ(attribute(all[0], "cst"), "<none>");
  // The stretch arrays are written as integer arrays.
  std::unique_ptr<QroXmlElementI> st = s.write(all[2]);
  QroXmlReader r(s.env);
  EXPECT_STREQ(r.getText(r.findElement(r.findElement(st.get(), "values"), "intArray")), "[5, 7]");
  r.end();
}

TEST(ExtraXml, WriteReadWriteGivesTheSameTree) {
  XmlSide s;
  for (QroExtractableI* x : oneOfEach(s)) {
    std::unique_ptr<QroXmlElementI> first = s.write(x);
    QroExtractableI* back = s.read(first.get());
    ASSERT_TRUE(back) << x->getClassName();
    EXPECT_STREQ(back->getClassName(), x->getClassName());
    EXPECT_NE(back, x);
    EXPECT_EQ(written(s.write(back).get()), written(first.get())) << x->getClassName();
    if (x->getName()) {
      EXPECT_STREQ(back->getName(), x->getName());
    }
  }
}

TEST(ExtraXml, EmptyArraysAndOptionalValues) {
  XmlSide s;
  QroEnvI* env = s.env.getImpl();
  std::vector<QroNumVar> x = s.vars(2);
  QroLeLexI* lex = new (env) QroLeLexI(env, QroIntVarArray(s.env, 0), varArray(s.env, x, 0, 2));
  std::unique_ptr<QroXmlElementI> e = s.write(lex);
  ASSERT_TRUE(e);
  QroXmlReader r(s.env);
  EXPECT_EQ(r.countChildElements(e.get()), 0);
  r.end();
  EXPECT_EQ(s.read(e.get()), nullptr);

  QroStretchI* st = new (env)
      QroStretchI(env, varArray(s.env, x, 0, 2), ints(s.env, {1}), ints(s.env, {2}), QroIntArray());
  std::unique_ptr<QroXmlElementI> se = s.write(st);
  EXPECT_EQ(written(se.get()).find("values"), std::string::npos);
  QroStretchI* back = static_cast<QroStretchI*>(s.read(se.get()));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->getValues().getImpl(), nullptr);
  EXPECT_EQ(back->getVars().getSize(), 2);
}

TEST(ExtraXml, MissingChildAttributeOrUnreadIdGivesNull) {
  XmlSide s;
  std::vector<QroExtractableI*> all = oneOfEach(s);
  // Required children and attributes of each handler.
  const std::vector<std::string> required[] = {{"array1", "array2"},
                                               {"array1", "array2"},
                                               {"exprarray", "array1", "array2"},
                                               {"exprarray", "array1", "array2"},
                                               {"exprarray", "values", "@cst"},
                                               {"exprarray", "@cst"},
                                               {"vars"}};
  for (size_t i = 0; i < all.size(); ++i) {
    std::unique_ptr<QroXmlElementI> e = s.write(all[i]);
    for (const std::string& what : required[i]) {
      std::unique_ptr<QroXmlElementI> copy(
          static_cast<QroXmlElementI*>(copyTree(e.get(), nullptr, what)));
      QroXmlReader r(s.env);
      EXPECT_EQ(s.context->findXmlInfo(e->getName())->readExtractable(r, copy.get()), nullptr)
          << e->getName() << " without " << what;
      r.end();
    }
    // The arrays were never read: their ids are unknown.
    QroXmlReader r(s.env);
    EXPECT_EQ(s.context->findXmlInfo(e->getName())->readExtractable(r, e.get()), nullptr)
        << e->getName();
    r.end();
  }
}

// A pattern whose "values" child holds an object of another kind than a tuple
// set reads back as null; with the set it reads back.
TEST(ExtraXml, PatternSetOfAnotherKindReadsAsNull) {
  XmlSide s;
  QroEnvI* env = s.env.getImpl();
  std::vector<QroNumVar> x = s.vars(4);
  TestTupleSetI* set = new (env) TestTupleSetI(env, 2, {0, 1});
  QroPatternI* p = new (env) QroPatternI(env, varArray(s.env, x, 0, 2), set, -1);
  QroLeLexI* lex = new (env) QroLeLexI(env, varArray(s.env, x, 2, 1), varArray(s.env, x, 3, 1));
  for (QroExtractableI* other :
       {static_cast<QroExtractableI*>(x[2].getImpl()), static_cast<QroExtractableI*>(lex)}) {
    // One writer, so that the identifiers stay distinct.
    QroXmlWriter w(s.env);
    std::unique_ptr<QroXmlElementI> e(s.context->writeExtractable(p, w, nullptr));
    std::unique_ptr<QroXmlElementI> o(s.context->writeExtractable(other, w, nullptr));
    w.end();
    ASSERT_TRUE(e && o);
    EXPECT_NE(s.read(e.get()), nullptr);
    std::unique_ptr<QroXmlElementI> copy(
        static_cast<QroXmlElementI*>(copyTree(e.get(), nullptr, "values")));
    QroXmlElementI* values = new QroXmlElement("values");
    values->addChild(o.release());
    copy->addChild(values);
    EXPECT_EQ(s.read(copy.get()), nullptr) << other->getClassName();
  }
}

TEST(ExtraXml, RandomAndTruncatedTreesNeverCrash) {
  XmlSide s;
  std::vector<QroExtractableI*> all = oneOfEach(s);
  std::vector<std::unique_ptr<QroXmlElementI>> written;
  for (QroExtractableI* x : all) written.push_back(s.write(x));
  std::mt19937_64 rng(qrotest::seedOr(35));
  for (int round = 0; round < 400; ++round) {
    // Several objects in one document, so that references cross.
    std::unique_ptr<QroXmlElementI> doc(new QroXmlElement("doc"));
    for (int k = 0; k < 3; ++k)
      doc->addChild(copyTree(written[rng() % written.size()].get(), &rng));
    QroXmlReader r(s.env);
    QroXmlNodeIterator it(doc->getChildIterator());
    try {
      while (it.hasNext()) {
        QroXmlNodeI* n = it.next();
        if (n->getKind() != QroXmlNodeI::ElementKind) continue;
        QroExtractableI* x = static_cast<QroExtractableI*>(
            s.context->readElement(r, static_cast<QroXmlElementI*>(n)));
        // Displays what was rebuilt as an extractable.
        const char* id = r.getAttributeValue(static_cast<QroXmlElementI*>(n), "Id");
        if (x && id && r.getExtractableById(r.parseInt(id)) == x) displayed(x);
      }
    } catch (const QroException&) {
    } catch (QroException* e) {
      delete e;
    }
    r.end();
  }
}

// A round of reading leaves nothing behind once the reader and what was read
// are ended, in whatever order a program ends them, as it ends what it built
// through the API: only objects a program ends itself (variables, objects
// without use count) are left of what was read; after the rest, the memory
// and the live objects of the environment are those of the round before.
// Rows: each handler of the library, a count read inside a count, a range
// over a term, and arrays that no handler keeps; each ended in the orders
// below, the object answered being ended by the caller (an array too).
TEST(ExtraXml, ARoundOfReadingLeavesNothingBehind) {
  XmlSide s;
  QroEnvI* env = s.env.getImpl();
  std::vector<QroExtractableI*> objects = oneOfEach(s);
  std::vector<QroNumVar> y = s.vars(2, "y");
  QroIntExprArray inner(s.env, 0), outer(s.env, 0);
  inner.add(y[0].getImpl());
  inner.add(y[1].getImpl());
  outer.add(new (env) QroIntCountValueEqI(env, inner, 1));
  outer.add(y[0].getImpl());
  objects.push_back(new (env) QroIntCountValueEqI(env, outer, 0));
  objects.push_back(QroRange(s.env, 0, QroNumExprArg(y[0]) + QroNumExprArg(y[1]), 3).getImpl());
  std::vector<std::unique_ptr<QroXmlElementI>> docs;
  for (QroExtractableI* x : objects) docs.push_back(s.write(x));
  QroXmlInfo helper(s.context);
  for (bool vars : {true, false}) {
    QroXmlWriter w(s.env);
    docs.emplace_back(new QroXmlElement("doc"));
    QroIntExprArray exprs(s.env, 0);
    exprs.add(y[1].getImpl());
    EXPECT_TRUE(vars ? helper.writeIntVarArray(w, docs.back().get(), varArray(s.env, y, 0, 2))
                     : helper.writeIntExprArray(w, docs.back().get(), exprs));
    w.end();
  }
  auto live = [env] {
    QroInt n = 0;
    for (QroInt id = 0; id < env->getIdCount(); ++id) n += env->getLiveSlot(id) ? 1 : 0;
    return n;
  };
  // The caller ends what it was answered before the reader or after; the
  // context is of another environment, which ends before the reader or after.
  // A second read, made once the caller ended its answer and before the
  // reader ends, takes the memory of what went: ending the first reader
  // changes none of the second's counts.
  enum Context { Same, OtherEndedFirst, OtherEndedAfter };
  const struct {
    bool answerFirst;
    Context context;
    bool readAgain;
  } orders[] = {{false, Same, false},
                {true, Same, false},
                {false, OtherEndedFirst, false},
                {true, OtherEndedAfter, false},
                {true, Same, true}};
  auto round = [&](const QroXmlElementI* doc, bool answerFirst, Context context, bool readAgain) {
    std::unique_ptr<XmlSide> other(context == Same ? nullptr : new XmlSide);
    if (other) QroSolverExtraXMLPlugInAddon::Ensure(other->env.getImpl());
    QroXmlContextI* from = other ? other->context : s.context;
    DocRead first(s.env, from, doc);
    ASSERT_NE(first.top, nullptr);
    if (answerFirst) first.endAnswer();
    std::unique_ptr<DocRead> second(readAgain ? new DocRead(s.env, from, doc) : nullptr);
    const std::vector<QroInt> counts = second ? second->counts() : std::vector<QroInt>();
    if (context == OtherEndedFirst) other.reset();
    first.reader.end();
    other.reset();
    if (second) {
      EXPECT_EQ(second->counts(), counts);
      second->reader.end();
      if (!second->array) second->endAnswer();
      second->endLeftovers();
    }
    // An array the caller did not end was the reader's.
    if (!answerFirst && !first.array) first.endAnswer();
    first.endLeftovers();
  };
  for (const auto& doc : docs) {
    for (const auto& order : orders) {
      SCOPED_TRACE(std::string(doc->getName()) + " " + std::to_string(&doc - &docs[0]) + " " +
                   (order.answerFirst ? "answer first" : "reader first") + " context " +
                   std::to_string(order.context) + (order.readAgain ? " read again" : ""));
      round(doc.get(), order.answerFirst, order.context, order.readAgain);
      const QroInt bytes = env->getMemoryManager()->getBytesInUse(), objectsLive = live();
      for (int i = 0; i < 2; ++i) {
        round(doc.get(), order.answerFirst, order.context, order.readAgain);
        EXPECT_EQ(env->getMemoryManager()->getBytesInUse(), bytes);
        EXPECT_EQ(live(), objectsLive);
      }
    }
  }
}

TEST(ExtraXml, OneAddOnPerEnvironmentAndWrongPlugIn) {
  for (bool contextFirst : {true, false}) {
    XmlSide s(contextFirst);
    EXPECT_EQ(s.env.getImpl()->getExtraXmlAddon(), nullptr);
    std::vector<QroNumVar> x = s.vars(2);
    QroEnvI* env = s.env.getImpl();
    new (env) QroLeLexI(env, varArray(s.env, x, 0, 1), varArray(s.env, x, 1, 1));
    QroPlugInAddon* addon = env->getExtraXmlAddon();
    ASSERT_NE(addon, nullptr);
    new (env) QroGeLexI(env, varArray(s.env, x, 0, 1), varArray(s.env, x, 1, 1));
    EXPECT_EQ(env->getExtraXmlAddon(), addon);
    QroModel m(s.env);
    QroSolver solver(m);
    EXPECT_EQ(env->getExtraXmlAddon(), addon);
    if (!contextFirst) s.makeContext();
    // The context made after the add-on got the handlers too.
    EXPECT_NE(s.context->findXmlInfo("GeLex"), nullptr);
    EXPECT_NE(s.context->findXmlInfo("toBranch"), nullptr);
    int count = 0;
    QroPlugInRegistry::Entry* entry = env->getPlugInRegistry()->find(QroXmlContextI::PlugInName);
    for (QroPlugInAddon* a = entry->addons; a; a = a->getNext()) count += a == addon;
    EXPECT_EQ(count, 1);
    try {
      addon->attach(solver.getImpl()->getExtractorManager());
      ADD_FAILURE() << "attached to the extractor manager";
    } catch (const QroWrongUsage& e) {
      EXPECT_STREQ(e.getMessage(), "Wrong plugin for the XML context");
    }
    solver.end();
  }
}

// ---------------------------------------------------------------------------
// Objects

TEST(ExtraObjects, UseCountsRaisedAndGivenBack) {
  QroEnv env;
  QroEnvI* e = env.getImpl();
  std::vector<QroNumVar> x;
  for (int i = 0; i < 4; ++i) x.push_back(QroNumVar(env, 0, 3, QroNumVar::Int));
  // An expression shared with a holder of its own, so that it survives.
  QroIntTimesCstI* times = new (e) QroIntTimesCstI(e, x[0].getImpl(), 2);
  times->incrUseCount();
  QroIntExprArray exprs(env, 0);
  exprs.add(times);
  exprs.add(x[1].getImpl());
  QroIntCountValueEqI* count = new (e) QroIntCountValueEqI(e, exprs, 2);
  EXPECT_EQ(times->getUseCount(), 2);
  QroIntVarArray a(env, 0);
  QroExtractableArray(a.getImpl()).add(times);
  QroLeLexI* lex = new (e) QroLeLexI(e, a, varArray(env, x, 2, 2));
  EXPECT_EQ(times->getUseCount(), 3);
  EXPECT_EQ(x[2].getImpl()->getUseCount(), 1);
  QroToBranchI* branch = new (e) QroToBranchI(e, varArray(env, x, 0, 4));
  EXPECT_EQ(x[3].getImpl()->getUseCount(), 1);
  QroExtractable(lex).end();
  EXPECT_EQ(times->getUseCount(), 2);
  QroExtractable(count).end();
  EXPECT_EQ(times->getUseCount(), 1);
  QroExtractable(branch).end();
  // Stretch and pattern count the elements of their variable array only.
  QroIntVarArray b(env, 0), c(env, 0);
  QroExtractableArray(b.getImpl()).add(times);
  QroExtractableArray(c.getImpl()).add(times);
  QroStretchI* st = new (e) QroStretchI(e, b, ints(env, {1}), ints(env, {2}), QroIntArray());
  EXPECT_EQ(times->getUseCount(), 2);
  QroPatternI* p = new (e) QroPatternI(e, c, new (e) TestTupleSetI(e, 2, {0, 1}), -1);
  EXPECT_EQ(times->getUseCount(), 3);
  QroExtractable(st).end();
  QroExtractable(p).end();
  EXPECT_EQ(times->getUseCount(), 1);
  env.end();
}

// The pattern set is checked where it is given: the constructor refuses a
// null set and the modelling layer's own kinds, and the builders of the
// pattern and table constraints refuse them before extracting anything.
namespace {

// A class of the user's that the solver extracts into a constraint.
class OtherKindI : public QroExtractableI {
  QROSIMPLECLASS(OtherKindI, QroExtractableI)
  QROEXTRACTABLEHOOKS()
 public:
  OtherKindI(QroEnvI* env, const QroIntVarArray& x) : QroExtractableI(env), _x(x) {
    Hooks.extract = [](QroAlgorithmI* a, QroExtractableI* n) {
      return extractAllDiff(a, n, static_cast<OtherKindI*>(n)->_x);
    };
    Hooks.remove = [](QroAlgorithmI*, QroExtractableI*, void*) {};
    Hooks.change = changeNeedsSync;
  }
  QroExtractableI* makeClone(QroEnvI*) const override { return nullptr; }

 private:
  QroIntVarArray _x;
};

}  // namespace

TEST(ExtraObjects, PatternSetMustBeATupleSet) {
  QroEnv env;
  QroEnvI* e = env.getImpl();
  std::vector<QroNumVar> x;
  for (int i = 0; i < 4; ++i) x.push_back(QroNumVar(env, 0, 2, QroNumVar::Int));
  QroModel model(env);
  TestTupleSetI* set = new (e) TestTupleSetI(e, 2, {0, 1});
  QroPatternI* p = new (e) QroPatternI(e, varArray(env, x, 0, 4), set, -1);
  model.add(p);
  QroLeLexI* lex = new (e) QroLeLexI(e, varArray(env, x, 0, 2), varArray(env, x, 2, 2));
  const std::pair<QroExtractableI*, const char*> rows[] = {
      {nullptr, "QroPatternI: no pattern set"},
      {x[0].getImpl(), "QroPatternI: the pattern set is not a tuple set"},
      {lex, "QroPatternI: the pattern set is not a tuple set"},
      {model.getImpl(), "QroPatternI: the pattern set is not a tuple set"}};
  QroSolver solver(model);
  for (const auto& r : rows) {
    try {
      new (e) QroPatternI(e, varArray(env, x, 0, 4), r.first, -1);
      ADD_FAILURE() << "accepted " << r.second;
    } catch (const QroWrongUsage& w) {
      EXPECT_STREQ(w.getMessage(), r.second);
    }
    QroIntVarArray vars = varArray(env, x, 0, 2);
    try {
      extractPattern(solver.getImpl(), p, vars, r.first, -1);
      ADD_FAILURE() << "pattern over " << r.second;
    } catch (const QroSolver::WrongType& w) {
      EXPECT_STREQ(w.getMessage(), "Pattern: the pattern set is not a tuple set");
    }
    try {
      extractAllowedTuples(solver.getImpl(), p, vars, r.first, 1);
      ADD_FAILURE() << "table over " << r.second;
    } catch (const QroSolver::WrongType& w) {
      EXPECT_STREQ(w.getMessage(), "AllowedTuples: the tuples are not a tuple set");
    }
  }
  // An object of the user's that the solver makes something else of is
  // accepted by the constructor, not by the solver.
  OtherKindI* other = new (e) OtherKindI(e, varArray(env, x, 0, 2));
  EXPECT_THROW(extractPattern(solver.getImpl(), p, varArray(env, x, 0, 2), other, -1),
               QroSolver::WrongType);
  EXPECT_THROW(extractAllowedTuples(solver.getImpl(), p, varArray(env, x, 0, 2), other, 1),
               QroSolver::WrongType);
  // The model with the set still solves.
  EXPECT_TRUE(solver.solve());
  solver.end();
  env.end();
}

TEST(ExtraObjects, ClonesGoToAnotherEnvironment) {
  XmlSide s;
  QroEnv other;
  std::vector<QroExtractableI*> all = oneOfEach(s);
  for (QroExtractableI* x : all) {
    QroExtractableI* c = other.getImpl()->getClone(x);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->getEnv(), other.getImpl());
    EXPECT_STREQ(c->getClassName(), x->getClassName());
    EXPECT_EQ(c->getName(), nullptr);
  }
  QroPatternI* p = static_cast<QroPatternI*>(other.getImpl()->getClone(all[4]));
  QroPatternI* original = static_cast<QroPatternI*>(all[4]);
  EXPECT_EQ(p->getPatterns()->getEnv(), other.getImpl());
  EXPECT_EQ(p->getTerminator(), -3);
  EXPECT_EQ(p->getVars()[0].getImpl()->getEnv(), other.getImpl());
  EXPECT_NE(p->getVars()[0].getImpl(), original->getVars()[0].getImpl());
  QroStretchI* st = static_cast<QroStretchI*>(other.getImpl()->getClone(all[2]));
  EXPECT_EQ(st->getValues()[1], 7);
  EXPECT_NE(st->getValues().getImpl(), static_cast<QroStretchI*>(all[2])->getValues().getImpl());
  EXPECT_EQ(static_cast<QroStretchI*>(other.getImpl()->getClone(all[3]))->getValues().getImpl(),
            nullptr);
  // A clone of the branching mark ends with it the array it was made with
  // (its variables, cloned with it, are ended too).
  QroInt bytes = 0;
  for (int round = 0; round < 2; ++round) {
    QroToBranchI* c = static_cast<QroToBranchI*>(all[6]->makeClone(other.getImpl()));
    std::vector<QroNumVarI*> vars;
    for (QroInt i = 0; i < c->getVars().getSize(); ++i) vars.push_back(c->getVars()[i].getImpl());
    QroExtractable(c).end();
    for (QroNumVarI* v : vars) QroExtractable(v).end();
    QroInt now = other.getImpl()->getMemoryManager()->getBytesInUse();
    EXPECT_TRUE(round == 0 || now == bytes) << now << " after " << bytes;
    bytes = now;
  }
  other.end();
}

TEST(ExtraObjects, DisplaysAndCountEvaluation) {
  QroEnv env;
  QroEnvI* e = env.getImpl();
  QroNumVar a(env, 0, 1, QroNumVar::Int, "a"), b(env, 0, 1, QroNumVar::Int, "b");
  auto shown = [](const QroNumVar& v) { return displayed(v.getImpl()); };
  QroIntVarArray first(env, 0), second(env, 0);
  first.add(a);
  first.add(b);
  second.add(b);
  QroLeLexI* lex = new (e) QroLeLexI(e, first, second, "c1");
  EXPECT_EQ(displayed(lex), "QroLeLexI (c1)\n  _first [" + shown(a) + ", " + shown(b) +
                                "]\n  _second [" + shown(b) + "]\n");
  QroIntVarArray vars(env, 0);
  vars.add(a);
  QroStretchI* st = new (e) QroStretchI(
      e, vars,
      [&] {
        QroIntArray m(env, 0);
        m.add(1);
        return m;
      }(),
      QroIntArray(env, 1), QroIntArray(env, 1));
  EXPECT_EQ(displayed(st), "QroStretchI (" + std::to_string(st->getId()) + ")\n  _vars [" +
                               shown(a) + "]\n  _mins [1]\n  _maxes [0]\n  _values [0]\n");
  QroToBranchI* tb = new (e) QroToBranchI(e, vars, "t");
  EXPECT_EQ(displayed(tb), "QroToBranchI (t)\n  _x [" + shown(a) + "]\n");

  QroIntCountValueEqI* none = new (e) QroIntCountValueEqI(e, QroIntExprArray(env, 0), 3);
  QroModel model(env);
  model.add(a);
  model.add(b);
  QroSolver solver(model);
  EXPECT_EQ(none->eval(solver.getImpl()), 0.0);
  EXPECT_EQ(displayed(none), "min([])");
  env.getImpl()->setParenthesisDisplay(1);
  EXPECT_EQ(displayed(none), "QroMin( []) ");
  solver.end();
  env.end();
}

// ---------------------------------------------------------------------------
// Extraction

namespace {

qrotest::ModelCase lexCase(bool le) {
  qrotest::ModelCase c;
  c.name = le ? "LeLex" : "GeLex";
  c.values = qrotest::ranges(6, 0, 1);
  c.build = [le](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
    QroEnvI* e = env.getImpl();
    if (le)
      m.add(new (e) QroLeLexI(e, varArray(env, v, 0, 3), varArray(env, v, 3, 3)));
    else
      m.add(new (e) QroGeLexI(e, varArray(env, v, 0, 3), varArray(env, v, 3, 3)));
  };
  c.check = [le](const std::vector<int64_t>& a) {
    std::vector<int64_t> x(a.begin(), a.begin() + 3), y(a.begin() + 3, a.end());
    return le ? x <= y : x >= y;
  };
  return c;
}

// Runs of equal values: (value, length) in order.
std::vector<std::pair<int64_t, int64_t>> runs(const std::vector<int64_t>& a) {
  std::vector<std::pair<int64_t, int64_t>> r;
  for (int64_t v : a) {
    if (!r.empty() && r.back().first == v)
      ++r.back().second;
    else
      r.push_back({v, 1});
  }
  return r;
}

}  // namespace

TEST(ExtraExtraction, SolutionCountsAgainstBruteForce) {
  qrotest::ModelCase le = lexCase(true);
  EXPECT_EQ(qrotest::checkerSolutions(le).size(), 36u);
  EXPECT_EQ(qrotest::checkModelCase(le), 0);
  EXPECT_EQ(qrotest::checkModelCase(lexCase(false)), 0);

  qrotest::ModelCase st;
  st.name = "Stretch";
  st.values = qrotest::ranges(5, 0, 1);
  st.build = [](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
    QroEnvI* e = env.getImpl();
    m.add(new (e) QroStretchI(e, varArray(env, v, 0, 5), ints(env, {1, 2}), ints(env, {2, 3}),
                              QroIntArray()));
  };
  st.check = [](const std::vector<int64_t>& a) {
    for (auto r : runs(a))
      if (r.second < (r.first == 0 ? 1 : 2) || r.second > (r.first == 0 ? 2 : 3)) return false;
    return true;
  };
  EXPECT_EQ(qrotest::checkerSolutions(st).size(), 6u);
  EXPECT_EQ(qrotest::checkModelCase(st), 0);

  qrotest::ModelCase pat;
  pat.name = "Pattern";
  pat.values = qrotest::ranges(4, 0, 2);
  pat.build = [](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
    QroEnvI* e = env.getImpl();
    TestTupleSetI* set = new (e) TestTupleSetI(e, 2, {0, 1});
    m.add(new (e) QroPatternI(e, varArray(env, v, 0, 4), set, -1));
  };
  pat.check = [](const std::vector<int64_t>& a) {
    std::vector<std::pair<int64_t, int64_t>> r = runs(a);
    for (size_t i = 0; i + 1 < r.size(); ++i)
      if (r[i].first == 0 && r[i + 1].first == 1) return false;
    return true;
  };
  EXPECT_EQ(qrotest::checkerSolutions(pat).size(), 55u);
  EXPECT_EQ(qrotest::checkModelCase(pat), 0);
}

TEST(ExtraExtraction, ToBranchIsNotExtractedAndNamesCarryOver) {
  QroEnv env;
  QroEnvI* e = env.getImpl();
  std::vector<QroNumVar> x;
  for (int i = 0; i < 4; ++i) x.push_back(QroNumVar(env, 0, 1, QroNumVar::Int));
  QroModel model(env);
  QroLeLexI* lex = new (e) QroLeLexI(e, varArray(env, x, 0, 2), varArray(env, x, 2, 2), "lex");
  model.add(lex);
  QroSolver solver(model);
  EXPECT_STREQ(solver.getConstraint(QroConstraint(lex)).getImpl()->getName(), "lex");
  QroToBranchI* tb = new (e) QroToBranchI(e, varArray(env, x, 0, 4));
  EXPECT_THROW(tb->extract(solver.getImpl()), QroAlgorithm::ExtractFailure);
  solver.end();
  env.end();
}

TEST(ExtraExtraction, CountExpressionAgainstBruteForce) {
  // A count of 1 equal to 2 over 4 variables in {0, 1}.
  qrotest::ModelCase two;
  two.name = "IntCountValueEq";
  two.values = qrotest::ranges(4, 0, 1);
  two.build = [](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
    QroEnvI* e = env.getImpl();
    QroIntExprArray exprs(env, 0);
    for (const QroNumVar& x : v) exprs.add(x.getImpl());
    m.add(QroRange(env, 2.0, new (e) QroIntCountValueEqI(e, exprs, 1), 2.0));
  };
  two.check = [](const std::vector<int64_t>& a) {
    return std::count(a.begin(), a.end(), int64_t(1)) == 2;
  };
  EXPECT_EQ(qrotest::checkerSolutions(two).size(), 6u);
  EXPECT_EQ(qrotest::checkModelCase(two), 0);

  // Equal to a variable, with an expression among those counted.
  qrotest::ModelCase k;
  k.name = "IntCountValueEq with an expression";
  k.values = {{0, 1, 2}, {0, 1, 2}, {-1, 1, 2}, {0, 1, 2, 3, 4}};
  k.build = [](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
    QroEnvI* e = env.getImpl();
    QroIntExprArray exprs(env, 0);
    for (size_t i = 0; i < 3; ++i) exprs.add(v[i].getImpl());
    exprs.add(new (e) QroIntTimesCstI(e, v[2].getImpl(), 2));
    m.add(QroNumExprArg(new (e) QroIntCountValueEqI(e, exprs, 2)) == QroNumExprArg(v[3].getImpl()));
  };
  k.check = [](const std::vector<int64_t>& a) {
    int64_t n = (a[0] == 2) + (a[1] == 2) + (a[2] == 2) + (2 * a[2] == 2);
    return n == a[3];
  };
  EXPECT_EQ(qrotest::checkModelCase(k), 0);

  // Over no expression the count is 0.
  qrotest::ModelCase none;
  none.name = "IntCountValueEq over nothing";
  none.values = {{0, 1, 2}};
  none.build = [](QroEnv& env, QroModel& m, const std::vector<QroNumVar>& v) {
    QroEnvI* e = env.getImpl();
    QroNumExprI* count = new (e) QroIntCountValueEqI(e, QroIntExprArray(env, 0), 3);
    m.add(QroNumExprArg(count) == QroNumExprArg(v[0].getImpl()));
  };
  none.check = [](const std::vector<int64_t>& a) { return a[0] == 0; };
  EXPECT_EQ(qrotest::checkModelCase(none), 0);
}

// Removing a lex, stretch, pattern or count object from a solver gives back
// what its extraction took: its variables end unextracted, their use counts
// at 0.
TEST(ExtraExtraction, RemoveHooksReleaseTheirArrays) {
  typedef std::function<QroExtractableI*(QroEnv&, const std::vector<QroNumVar>&)> Maker;
  const std::pair<const char*, Maker> rows[] = {
      {"LeLex",
       [](QroEnv& env, const std::vector<QroNumVar>& x) -> QroExtractableI* {
         return new (env.getImpl())
             QroLeLexI(env.getImpl(), varArray(env, x, 0, 2), varArray(env, x, 2, 2));
       }},
      {"GeLex",
       [](QroEnv& env, const std::vector<QroNumVar>& x) -> QroExtractableI* {
         return new (env.getImpl())
             QroGeLexI(env.getImpl(), varArray(env, x, 0, 2), varArray(env, x, 2, 2));
       }},
      {"Stretch",
       [](QroEnv& env, const std::vector<QroNumVar>& x) -> QroExtractableI* {
         return new (env.getImpl())
             QroStretchI(env.getImpl(), varArray(env, x, 0, 4), ints(env, {1, 1, 1}),
                         ints(env, {2, 2, 2}), ints(env, {0, 1, 2}));
       }},
      {"Pattern",
       [](QroEnv& env, const std::vector<QroNumVar>& x) -> QroExtractableI* {
         QroEnvI* e = env.getImpl();
         return new (e)
             QroPatternI(e, varArray(env, x, 0, 4), new (e) TestTupleSetI(e, 2, {0, 1}), -1);
       }},
      {"IntCountValueEq",
       [](QroEnv& env, const std::vector<QroNumVar>& x) -> QroExtractableI* {
         QroIntExprArray exprs(env, 0);
         for (const QroNumVar& v : x) exprs.add(v.getImpl());
         return new (env.getImpl()) QroIntCountValueEqI(env.getImpl(), exprs, 1);
       }},
  };
  for (const auto& row : rows) {
    QroEnv env;
    std::vector<QroNumVar> x;
    for (int i = 0; i < 4; ++i) x.push_back(QroNumVar(env, 0, 2, QroNumVar::Int));
    QroModel model(env);
    QroSolver solver(model);
    QroSolverI* s = solver.getImpl();
    QroExtractableI* node = row.second(env, x);
    s->QroAlgorithmI::extract(node);
    for (const QroNumVar& v : x) EXPECT_GT(s->getUseCount(v.getImpl()->getId()), 0) << row.first;
    s->QroAlgorithmI::remove(node);
    EXPECT_FALSE(s->isExtracted(node)) << row.first;
    for (const QroNumVar& v : x) {
      EXPECT_FALSE(s->isExtracted(v.getImpl())) << row.first;
      EXPECT_EQ(s->getUseCount(v.getImpl()->getId()), 0) << row.first;
    }
    solver.end();
    env.end();
  }
}

// A model holding the branching mark cannot be extracted into a solver.
TEST(ExtraExtraction, ModelWithToBranchIsRefused) {
  QroEnv env;
  std::vector<QroNumVar> x;
  for (int i = 0; i < 2; ++i) x.push_back(QroNumVar(env, 0, 1, QroNumVar::Int));
  QroModel model(env);
  model.add(new (env.getImpl()) QroToBranchI(env.getImpl(), varArray(env, x, 0, 2)));
  // The model's extraction turns the member's failure into its own.
  EXPECT_THROW(QroSolver solver(model), QroAlgorithm::CannotExtractException);
  env.end();
}
