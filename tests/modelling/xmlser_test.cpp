#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "qroalgorithm.h"
#include "qroregistry.h"
#include "qrosolution.h"
#include "support/xmlser_support.h"

using xmltest::written;

namespace {

const QroInt kInf53 = QroIntMax;

using xmltest::Side;

// A model: x, y, b, z (enumerated), a range over a term that the objective shares.
struct SampleModel {
  QroModelI* model;
  QroNumVarI* x;
  QroNumVarI* y;
  QroNumLinTermI* term;
  QroRangeI* range;
  QroObjectiveI* objective;
};

SampleModel makeModel(QroEnvI* env) {
  SampleModel s;
  s.x = new (env) QroNumVarI(env, 0, 10, QroNumVar::Int, "x");
  s.y = new (env) QroNumVarI(env, -1.5, 2.25, QroNumVar::Float, "y");
  QroNumVarI* b = new (env) QroNumVarI(env, 0, 1, QroNumVar::Bool, "b");
  QroIntArray values(QroEnv(env), 0);
  values.add(1);
  values.add(3);
  values.add(5);
  QroIntVarDomainI listed(values, 0);
  QroNumVarI* z = new (env) QroNumVarI(env, listed.makeCopy(env), "z");
  values.end();
  s.term = new (env) QroNumLinTermI(env, 0.0);
  s.term->appendNode(s.x, 2.0);
  s.term->appendNode(s.y, 3.0);
  s.term->appendNode(z, -1.0);
  s.range = new (env) QroRangeI(env, 1.0, s.term, 10.0, "c1");
  s.objective = new (env) QroObjectiveI(env, s.term, QroObjectiveI::Maximize, "obj");
  s.model = new (env) QroModelI(env, "m");
  s.model->append(s.x);
  s.model->append(b);
  s.model->append(s.range);
  s.model->append(s.objective);
  return s;
}

std::string displayed(const QroExtractableI* x) {
  std::ostringstream os;
  x->display(os);
  return os.str();
}

struct NotAnExtractable : public QroRtti {
  const char* getClassName() const override { return "NotAnExtractable"; }
};

}  // namespace

TEST(XmlSer, SecondWriteIsAReference) {
  Side s;
  QroXmlWriter w(s.env);
  QroNumVarI* x = new (s.impl()) QroNumVarI(s.impl(), 0, 4, QroNumVar::Int, "x");
  std::unique_ptr<QroXmlElementI> root(w.createElement("root"));
  QroXmlElementI* p1 = w.createElement("p1");
  QroXmlElementI* p2 = w.createElement("p2");
  w.addSubElement(root.get(), p1);
  w.addSubElement(root.get(), p2);
  QroXmlElementI* first = s.context->writeExtractable(x, w, p1);
  QroXmlElementI* second = s.context->writeExtractable(x, w, p2);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(written(root.get()),
            "<root>\n"
            "  <p1>\n"
            "    <numVar name=\"x\" Id=\"1\" type=\"1\" lowerbound=\"0\" upperbound=\"4\"/>\n"
            "  </p1>\n"
            "  <p2>\n"
            "    <numVar RefId=\"1\"/>\n"
            "  </p2>\n"
            "</root>\n");
  EXPECT_EQ(QroXmlIndentation(), 0u);
  // A second writer numbers afresh; without a parent the caller owns the element.
  QroXmlWriter w2(s.env);
  std::unique_ptr<QroXmlElementI> alone(s.context->writeExtractable(x, w2, nullptr));
  EXPECT_EQ(written(alone.get()),
            "<numVar name=\"x\" Id=\"1\" type=\"1\" lowerbound=\"0\" upperbound=\"4\"/>\n");
  EXPECT_EQ(s.context->writeExtractable(nullptr, w2, nullptr), nullptr);
  w.end();
  w2.end();
  EXPECT_THROW(w.createElement("a"), QroWrongUsage);
}

TEST(XmlSer, UnhandledObjects) {
  Side s;
  QroXmlWriter w(s.env);
  QroNumVarI* x = new (s.impl()) QroNumVarI(s.impl(), 0, 4, QroNumVar::Int, "x");
  QroNumEqI* eq = new (s.impl()) QroNumEqI(s.impl(), x, x);
  std::unique_ptr<QroXmlElementI> root(w.createElement("root"));

  EXPECT_EQ(s.context->getUnhandledSetting(), 0);
  EXPECT_EQ(s.context->writeExtractable(eq, w, root.get()), nullptr);
  ASSERT_NE(s.context->getFirstUnwritableClass(), nullptr);
  EXPECT_STREQ(s.context->getFirstUnwritableClass(), "QroNumEqI");
  // Only the first unwritable class is kept.
  NotAnExtractable other;
  EXPECT_EQ(s.context->writeExtractable(&other, w, root.get()), nullptr);
  EXPECT_STREQ(s.context->getFirstUnwritableClass(), "QroNumEqI");

  s.context->setUnhandledSetting(-1);
  QroXmlElementI* e = s.context->writeExtractable(eq, w, root.get());
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(written(root.get()), "<root>\n  <Unknown name=\"QroNumEqI\"/>\n</root>\n");
  w.end();
}

// A write that fails gives back the identifiers it gave: what it wrote before
// failing is written in full by the next write, not as a reference to an
// element that was never kept.
TEST(XmlSer, AFailedWriteTakesBackItsIdentifiers) {
  Side s;
  QroEnvI* env = s.impl();
  QroXmlWriter w(s.env);
  QroNumVarI* x = new (env) QroNumVarI(env, 0, 4, QroNumVar::Int, "x");
  QroNumVarI* y = new (env) QroNumVarI(env, 0, 2, QroNumVar::Int, "y");
  QroModelI* m = new (env) QroModelI(env, "m");
  m->append(x);
  m->append(new (env) QroNumEqI(env, x, y));  // no handler
  std::unique_ptr<QroXmlElementI> root(w.createElement("root"));
  EXPECT_EQ(s.context->writeExtractable(m, w, root.get()), nullptr);
  EXPECT_STREQ(s.context->getFirstUnwritableClass(), "QroNumEqI");
  EXPECT_EQ(w.getImpl()->getLastId(), 0);
  EXPECT_EQ(written(root.get()), "<root/>\n");
  ASSERT_NE(s.context->writeExtractable(x, w, root.get()), nullptr);
  EXPECT_EQ(written(root.get()),
            "<root>\n"
            "  <numVar name=\"x\" Id=\"1\" type=\"1\" lowerbound=\"0\" upperbound=\"4\"/>\n"
            "</root>\n");

  // The same for an array whose second entry cannot be written.
  QroXmlInfo info(s.context);
  QroIntExprArray exprs(s.env, 0);
  exprs.add(y);
  exprs.add(new (env) QroNumEqI(env, x, y));
  QroXmlElement target("t");
  EXPECT_FALSE(info.writeIntExprArray(w, &target, exprs));
  EXPECT_EQ(w.getImpl()->getLastId(), 1);
  exprs.remove(1);
  EXPECT_TRUE(info.writeIntExprArray(w, &target, exprs));
  EXPECT_EQ(written(&target),
            "<t>\n"
            "  <intExprArray Id=\"2\">\n"
            "    <numVar name=\"y\" Id=\"3\" type=\"1\" lowerbound=\"0\" upperbound=\"2\"/>\n"
            "  </intExprArray>\n"
            "</t>\n");
  exprs.end();
  w.end();
}

TEST(XmlSer, IntegerTexts) {
  Side s;
  QroXmlWriter w(s.env);
  auto text = [&](QroInt v) {
    char* t = w.toString(v);
    std::string r(t);
    w.freeString(t);
    return r;
  };
  EXPECT_EQ(text(kInf53), "Infinity");
  EXPECT_EQ(text(-kInf53), "-Infinity");
  EXPECT_EQ(text(kInf53 - 1), "9007199254740990");
  EXPECT_EQ(text(-42), "-42");
  EXPECT_EQ(text(INT64_MIN), "-9223372036854775808");

  QroIntArray a(s.env, 0);
  char* t = w.toString(a);
  EXPECT_STREQ(t, "[]");
  w.freeString(t);
  for (int i = 1; i <= 11; ++i) a.add(i);
  t = w.toString(a);
  EXPECT_STREQ(t, "[1, 2, 3, 4, 5, 6, 7, 8, 9, 10,\n11]");
  w.freeString(t);
  t = w.toString(QroIntArray());
  EXPECT_STREQ(t, "");
  w.freeString(t);

  QroXmlReader r(s.env);
  EXPECT_EQ(r.parseInt("Infinity"), kInf53);
  EXPECT_EQ(r.parseInt("-Infinity"), -kInf53);
  EXPECT_EQ(r.parseInt(" -17"), -17);
  EXPECT_EQ(r.parseInt("12abc"), 12);
  EXPECT_EQ(r.parseInt("abc"), 0);
  EXPECT_EQ(r.parseInt("99999999999999999999999"), INT64_MAX);
  EXPECT_EQ(r.parseInt("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(r.parseInt("-99999999999999999999999"), INT64_MIN);
  QroXmlElement e("e");
  e.addAttribute(new QroXmlAttribute("lb", "-Infinity"));
  QroInt v = 0;
  EXPECT_TRUE(r.readIntAttribute(&e, "lb", v));
  EXPECT_EQ(v, -kInf53);
  EXPECT_FALSE(r.readIntAttribute(&e, "ub", v));
  EXPECT_EQ(v, -kInf53);
  a.end();
  w.end();
  r.end();
}

TEST(XmlSer, IntegerArrayTexts) {
  Side s;
  QroXmlReader r(s.env);
  auto values = [&](const char* text) {
    QroIntArray a = r.readIntArray(text);
    std::ostringstream os;
    os << a;
    a.end();
    return os.str();
  };
  EXPECT_EQ(values("[]"), "[]");
  EXPECT_EQ(values("  [ ]"), "[]");
  EXPECT_EQ(values("[1,2,3;"), "[1, 2, 3]");
  EXPECT_EQ(values("[ 1 , 2 ,3 ]"), "[1, 2, 3]");
  EXPECT_EQ(values("[2.9, -2.9]"), "[2, -2]");
  EXPECT_EQ(values("[1e30, -1e30, 9.3e18]"),
            "[9223372036854775807, -9223372036854775808, 9223372036854775807]");
  EXPECT_EQ(values("[1, x, 3]"), "[1]");
  EXPECT_EQ(values("[1 2]"), "[1]");
  EXPECT_EQ(values("[4"), "[4]");
  EXPECT_EQ(values("["), "[]");
  EXPECT_EQ(values("abc"), "[]");
  EXPECT_EQ(values(""), "[]");
  EXPECT_EQ(values(nullptr), "[]");

  // The stream form: a text that does not start with "[" leaves the array as it was.
  QroIntArray kept(s.env, 0);
  kept.add(7);
  std::istringstream letters("a[1]");
  letters >> kept;
  EXPECT_EQ(kept.getSize(), 1);
  EXPECT_EQ(kept[0], 7);
  std::istringstream bad("[5,6 7]");
  bad >> kept;
  EXPECT_TRUE(bad.bad());
  ASSERT_EQ(kept.getSize(), 2);
  EXPECT_EQ(kept[1], 6);
  std::istringstream good("[8]");
  good >> kept;
  EXPECT_FALSE(good.bad());
  EXPECT_EQ(kept.getSize(), 1);

  // The handler helpers write and append.
  QroXmlWriter w(s.env);
  QroXmlInfo info(s.context);
  QroIntArray a(s.env, 0);
  for (int i = 0; i < 12; ++i) a.add(i * i - 20);
  QroXmlElement parent("p");
  parent.addChild(info.writeIntArray(w, a));
  EXPECT_EQ(written(&parent),
            "<p>\n  <intArray>\n[-20, -19, -16, -11, -4, 5, 16, 29, 44, 61,\n80, 101]  "
            "</intArray>\n</p>\n");
  QroIntArray back(s.env, 0);
  back.add(1000);
  EXPECT_TRUE(info.readIntArray(r, &parent, back));
  ASSERT_EQ(back.getSize(), 13);
  EXPECT_EQ(back[0], 1000);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(back[i + 1], a[i]);
  QroXmlElement empty("q");
  EXPECT_FALSE(info.readIntArray(r, &empty, back));
  empty.addChild(new QroXmlElement("intArray"));
  EXPECT_FALSE(info.readIntArray(r, &empty, back));
  EXPECT_EQ(back.getSize(), 13);
  a.end();
  back.end();
  kept.end();
  w.end();
  r.end();
}

TEST(XmlSer, RoundTripOfAModel) {
  Side from;
  SampleModel m = makeModel(from.impl());
  QroXmlWriter w(from.env);
  std::unique_ptr<QroXmlElementI> doc(w.createElement("Root"));
  ASSERT_NE(from.context->writeExtractable(m.model, w, doc.get()), nullptr);
  // The term shared by the range and the objective, and x, are written in full once.
  std::string text = written(doc.get());
  EXPECT_NE(text.find("<numLinTerm Id="), std::string::npos);
  EXPECT_NE(text.find("<numLinTerm RefId="), std::string::npos);
  EXPECT_NE(text.find("<numVar name=\"x\" Id=\"2\""), std::string::npos) << text;
  EXPECT_NE(text.find("<numVar RefId=\"2\"/>"), std::string::npos);
  EXPECT_NE(text.find("<intArray>\n[1, 3, 5]"), std::string::npos);

  Side to;
  QroXmlReader r(to.env);
  void* object = to.context->readElement(r, doc.get());
  ASSERT_NE(object, nullptr);
  QroExtractableI* read = static_cast<QroExtractableI*>(object);
  ASSERT_TRUE(read->isType(QroModelI::GetTypeInfo()));
  QroModelI* model = static_cast<QroModelI*>(read);
  EXPECT_EQ(model->getEnv(), to.impl());
  EXPECT_EQ(model->getSize(), 4);
  EXPECT_EQ(displayed(model), displayed(m.model));
  EXPECT_EQ(to.context->getUnreadCount(), 0);

  // References resolve to the objects read for the identifiers.
  QroModelI::Link* l = model->getFirstLink();
  QroNumVarI* x = static_cast<QroNumVarI*>(l->member);
  QroRangeI* range = static_cast<QroRangeI*>(l->next->next->member);
  QroObjectiveI* objective = static_cast<QroObjectiveI*>(l->next->next->next->member);
  EXPECT_EQ(x->getType(), QroNumVar::Int);
  EXPECT_EQ(range->getLB(), 1.0);
  EXPECT_EQ(range->getUB(), 10.0);
  EXPECT_STREQ(range->getName(), "c1");
  EXPECT_EQ(objective->getSense(), QroObjectiveI::Maximize);
  EXPECT_EQ(objective->getExpr(), range->getExpr());
  QroNumLinTermI* term = static_cast<QroNumLinTermI*>(range->getExpr());
  EXPECT_EQ(term->getFirstNode()->var, x);
  QroNumVarI* z = term->getFirstNode()->next->next->var;
  EXPECT_TRUE(z->isEnumerated());
  EXPECT_EQ(z->getIntValues().getSize(), 3);
  EXPECT_EQ(z->getIntValues()[2], 5);
  EXPECT_EQ(r.getExtractableById(2), x);

  // Reading the document again builds nothing new.
  int reads = to.vars->reads;
  EXPECT_EQ(to.context->readElement(r, doc.get()), object);
  EXPECT_EQ(to.vars->reads, reads);

  // Written again, the model read gives the same document.
  QroXmlWriter w2(to.env);
  std::unique_ptr<QroXmlElementI> again(w2.createElement("Root"));
  ASSERT_NE(to.context->writeExtractable(model, w2, again.get()), nullptr);
  EXPECT_EQ(written(again.get()), text);

  // Bottom-up reading through the sub-elements links every identifier.
  QroXmlReader r2(to.env);
  EXPECT_TRUE(to.context->readSubElements(r2, doc.get()));
  QroInt id = -1;
  QroXmlInfo info(to.context);
  EXPECT_TRUE(info.isAlreadyRead(r2, doc.get(), id));
  EXPECT_TRUE(r2.isObjectOfType(QroModelI::GetTypeInfo(), id));
  w.end();
  w2.end();
  r.end();
  r2.end();
}

TEST(XmlSer, ArraysAreWrittenWithFreshIdentifiersAndReadBack) {
  Side s;
  QroEnvI* env = s.impl();
  QroXmlWriter w(s.env);
  QroXmlInfo info(s.context);
  QroIntVarArray vars(s.env, 0);
  QroNumVarI* a = new (env) QroNumVarI(env, 0, 3, QroNumVar::Int, "a");
  QroNumVarI* b = new (env) QroNumVarI(env, 0, 5, QroNumVar::Int, "b");
  vars.add(QroNumVar(a));
  vars.add(QroNumVar(b));
  vars.add(QroNumVar(a));
  std::unique_ptr<QroXmlElementI> root(w.createElement("Root"));
  QroXmlElementI* one = w.createElement("array1");
  QroXmlElementI* two = w.createElement("array2");
  w.addSubElement(root.get(), one);
  w.addSubElement(root.get(), two);
  EXPECT_TRUE(info.writeIntVarArray(w, one, vars));
  EXPECT_TRUE(info.writeIntVarArray(w, two, vars));
  EXPECT_EQ(written(root.get()),
            "<Root>\n"
            "  <array1>\n"
            "    <intVarArray Id=\"1\">\n"
            "      <numVar name=\"a\" Id=\"2\" type=\"1\" lowerbound=\"0\" upperbound=\"3\"/>\n"
            "      <numVar name=\"b\" Id=\"3\" type=\"1\" lowerbound=\"0\" upperbound=\"5\"/>\n"
            "      <numVar RefId=\"2\"/>\n"
            "    </intVarArray>\n"
            "  </array1>\n"
            "  <array2>\n"
            "    <intVarArray Id=\"4\">\n"
            "      <numVar RefId=\"2\"/>\n"
            "      <numVar RefId=\"3\"/>\n"
            "      <numVar RefId=\"2\"/>\n"
            "    </intVarArray>\n"
            "  </array2>\n"
            "</Root>\n");

  // A null entry, or an entry without a handler, writes nothing.
  QroIntVarArray holes(s.env, 0);
  holes.add(QroNumVar(a));
  holes.add(QroNumVar());
  QroXmlElement target("t");
  EXPECT_FALSE(info.writeIntVarArray(w, &target, holes));
  EXPECT_FALSE(info.writeIntVarArray(w, nullptr, vars));
  QroIntExprArray exprs(s.env, 0);
  exprs.add(b);
  exprs.add(new (env) QroNumEqI(env, a, b));
  EXPECT_FALSE(info.writeIntExprArray(w, &target, exprs));
  EXPECT_EQ(written(&target), "<t/>\n");
  exprs.remove(1);
  EXPECT_TRUE(info.writeIntExprArray(w, &target, exprs));
  EXPECT_NE(written(&target).find("<intExprArray Id="), std::string::npos);

  // Read back: the array body links its variables once.
  QroXmlReader r(s.env);
  void* first = s.context->readElement(r, one);
  void* second = s.context->readElement(r, two);
  ASSERT_TRUE(first && second);
  EXPECT_NE(first, second);
  QroIntVarArray back(static_cast<QroArrayI*>(first));
  ASSERT_EQ(back.getSize(), 3);
  EXPECT_EQ(back[0].getImpl(), back[2].getImpl());
  EXPECT_STREQ(back[1].getImpl()->getName(), "b");
  EXPECT_NE(back[0].getImpl(), a);
  QroIntVarArray back2(static_cast<QroArrayI*>(second));
  EXPECT_EQ(back2[1].getImpl(), back[1].getImpl());
  EXPECT_EQ(r.getExtractableById(1), nullptr);  // an array is not an extractable
  EXPECT_FALSE(r.isObjectOfType(QroNumVarI::GetTypeInfo(), 1));
  void* exprBack = s.context->readElement(r, &target);
  ASSERT_NE(exprBack, nullptr);
  EXPECT_EQ(QroIntExprArray(static_cast<QroArrayI*>(exprBack)).getSize(), 1);

  // An array entry that is not a variable makes the array unreadable.
  QroXmlReader r2(s.env);
  QroXmlElement bad("intVarArray");
  bad.addAttribute(new QroXmlAttribute("Id", "3"));
  QroXmlElement* term = new QroXmlElement("numLinTerm");
  term->addAttribute(new QroXmlAttribute("Id", "4"));
  term->addAttribute(new QroXmlAttribute("cst", "1"));
  bad.addChild(term);
  EXPECT_EQ(s.context->readElement(r2, &bad), nullptr);
  ASSERT_EQ(s.context->getUnreadCount(), 1);
  EXPECT_STREQ(s.context->getUnreadTag(0), "intVarArray");
  EXPECT_EQ(s.context->getUnreadId(0), 3);
  // The arrays read are the reader's, ended with it.
  vars.end();
  holes.end();
  exprs.end();
  w.end();
  r.end();
  r2.end();
}

TEST(XmlSer, Registration) {
  Side s;
  QroXmlContext ctx(s.context);
  EXPECT_EQ(ctx.getImpl(), s.context);
  EXPECT_EQ(s.context->getTypeInfo(), QroPlugIn::GetTypeInfo());
  EXPECT_EQ(s.impl()->getPlugInRegistry()->getFirstPlugIn("XMLCONTEXT"), s.context);

  // The same tag twice: the handler array keeps the new handler all the same.
  const QroInt t = QroNumEqI::GetTypeIndex();
  QroXmlInfo* dup = new (s.impl()) QroXmlInfo(s.context, "numVar");
  try {
    ctx.registerXmlInfo(t, dup);
    FAIL() << "no exception";
  } catch (const QroXmlregisterTypeIndex& e) {
    EXPECT_STREQ(e.getMessage(), "Problem in the register of the xml classes.");
  }
  EXPECT_EQ(s.context->getXmlInfo(t), dup);
  EXPECT_EQ(s.context->findXmlInfo("numVar"), s.vars);

  // Tags of 256 characters or more are refused by pointer.
  std::string longTag(256, 'a');
  QroXmlInfo* tooLong = new QroXmlInfo(s.context, longTag.c_str());
  try {
    ctx.registerXmlInfo(t, tooLong);
    FAIL() << "no exception";
  } catch (QroException* e) {
    EXPECT_STREQ(e->getMessage(), "XML are limited to 256 characters");
    EXPECT_NE(dynamic_cast<QroXmlStrLen*>(e), nullptr);
    delete e;
  }
  try {
    s.context->findXmlInfo(longTag.c_str());
    FAIL() << "no exception";
  } catch (QroXmlStrLen* e) {
    delete e;
  }
  std::string fits(255, 'b');
  QroXmlInfo* ok = new QroXmlInfo(s.context, fits.c_str());
  ctx.registerXmlInfo(t, ok);
  EXPECT_EQ(s.context->findXmlInfo(fits.c_str()), ok);
  EXPECT_EQ(s.context->getXmlInfo(t), ok);
  EXPECT_EQ(s.context->findXmlInfo("nothing"), nullptr);
  EXPECT_EQ(s.context->getXmlInfo(100000), nullptr);
  EXPECT_EQ(s.context->findObjectXmlInfo("intVarArray")->getTagName(), std::string("intVarArray"));
  EXPECT_THROW(ctx.registerXmlInfo(-1, new QroXmlInfo(s.context, "neg")), QroWrongUsage);

  QroXmlContext empty;
  try {
    empty.getImpl();
    FAIL() << "no exception";
  } catch (const QroWrongUsage& e) {
    EXPECT_STREQ(e.getMessage(), "QroXmlContext: using empty handle");
  }
}

namespace {

// An add-on like the solver's: it registers one handler in each context.
class TagAddon : public QroPlugInAddon {
 public:
  explicit TagAddon(QroEnvI* env) : QroPlugInAddon(env) {}
  void attach(QroPlugIn* p) override {
    if (p->getTypeInfo() != QroPlugIn::GetTypeInfo())
      throw QroWrongUsage("Wrong plugin for the XML context");
    QroXmlContext ctx(static_cast<QroXmlContextI*>(p));
    ctx.registerXmlInfo(QroNumEqI::GetTypeIndex(),
                        new (getEnv()) QroXmlInfo(ctx.getImpl(), "numEq"));
    ++attached;
  }
  void detach(QroPlugIn*) override {}
  int attached = 0;
};

}  // namespace

TEST(XmlSer, AddonsAttachToContexts) {
  QroEnv env;
  TagAddon* addon = new (env.getImpl()) TagAddon(env.getImpl());
  env.getImpl()->getPlugInRegistry()->addAddon(addon, "XMLCONTEXT");
  QroXmlContextI* c = QroXmlContextI::Make(env.getImpl());
  EXPECT_EQ(addon->attached, 1);
  ASSERT_NE(c->findXmlInfo("numEq"), nullptr);
  EXPECT_EQ(c->getXmlInfo(QroNumEqI::GetTypeIndex()), c->findXmlInfo("numEq"));
  env.end();
}

TEST(XmlSer, BaseHandlerAndHandles) {
  Side s;
  QroXmlWriter w(s.env);
  QroXmlReader r(s.env);
  QroXmlInfo info(s.context);
  EXPECT_STREQ(info.getTagName(), "extractable");
  QroNumVarI* x = new (s.impl()) QroNumVarI(s.impl(), 0, 1, QroNumVar::Int, "x");
  QroXmlElement e("e");
  EXPECT_FALSE(info.write(w, x, &e));
  EXPECT_FALSE(info.writeValueOfExtractable(w, &e, x));
  NotAnExtractable other;
  try {
    info.write(w, &other, &e);
    FAIL() << "no exception";
  } catch (const QroXmlNotExtractable& ex) {
    EXPECT_STREQ(ex.getMessage(), "The object is not an QroExtractable");
  }
  EXPECT_THROW(info.writeValueOfExtractable(w, &e, &other), QroXmlNotExtractable);
  try {
    info.readExtractable(r, &e);
    FAIL() << "no exception";
  } catch (const QroXmlReadExtractable& ex) {
    EXPECT_STREQ(ex.getMessage(), "ERROR: Try to read a QroExtractable from the XML file.");
  }
  QroGenAlloc* a = s.impl()->getGeneralAllocator();
  QroSavedNumVarI* saved = new (a) QroSavedNumVarI(a, x);
  try {
    s.vars->writeSolution(w, saved, &e);
    FAIL() << "no exception";
  } catch (const QroXmlwriteSolution& ex) {
    EXPECT_STREQ(ex.getMessage(), "Bad method called.");
  }
  EXPECT_THROW(info.writeSolution(w, nullptr, &e), QroXmlwriteSolution);
  delete saved;
  EXPECT_EQ(info.readObject(r, &e), nullptr);
  // References name the object's identifier, given when new.
  EXPECT_TRUE(info.writeReference(w, &other, &e));
  EXPECT_TRUE(info.writeRefId(w, x, &e));
  EXPECT_EQ(written(&e), "<e RefId=\"1\" RefId=\"2\"/>\n");

  QroXmlWriter noWriter;
  try {
    noWriter.toString(QroInt(1));
    FAIL() << "no exception";
  } catch (const QroWrongUsage& ex) {
    EXPECT_STREQ(ex.getMessage(), "QroXmlWriter: using empty handle");
  }
  EXPECT_THROW(info.makeElement(noWriter, x), QroWrongUsage);
  QroXmlReader noReader;
  try {
    noReader.getText(&e);
    FAIL() << "no exception";
  } catch (const QroWrongUsage& ex) {
    EXPECT_STREQ(ex.getMessage(), "QroXmlReader: using empty handle");
  }
  QroXmlInfo orphan(nullptr);
  EXPECT_THROW(orphan.readSubElements(r, &e), QroWrongUsage);
  w.end();
  r.end();
}

TEST(XmlSer, ReaderLookups) {
  Side s;
  QroXmlReader r(s.env);
  QroXmlElement e("e");
  e.addAttribute(new QroXmlAttribute("a", "1"));
  e.addAttribute(new QroXmlAttribute("a", "2"));
  e.addChild(new QroXmlText("t1"));
  QroXmlElement* c1 = new QroXmlElement("c");
  QroXmlElement* c2 = new QroXmlElement("d");
  e.addChild(c1);
  e.addChild(new QroXmlText("t2"));
  e.addChild(c2);
  EXPECT_STREQ(r.getAttributeValue(&e, "a"), "1");
  EXPECT_EQ(r.getAttributeValue(&e, "b"), nullptr);
  EXPECT_EQ(r.getAttributeValue(nullptr, "a"), nullptr);
  EXPECT_STREQ(r.getText(&e), "t1");
  EXPECT_EQ(r.getText(c1), nullptr);
  EXPECT_EQ(r.getFirstChildElement(&e), c1);
  EXPECT_EQ(r.countChildElements(&e), 2);
  EXPECT_EQ(r.findElement(&e, "d"), c2);
  EXPECT_EQ(r.findElement(&e, "x"), nullptr);
  EXPECT_EQ(r.findElement(nullptr, "d"), nullptr);
  EXPECT_EQ(r.getEnv().getImpl(), s.impl());

  // The object table.
  QroNumVarI* x = new (s.impl()) QroNumVarI(s.impl(), 0, 1, QroNumVar::Int, "x");
  r.addLink2Obj(5, x);
  EXPECT_EQ(r.getObjectById(5), x);
  EXPECT_EQ(r.getObjectById(4), nullptr);
  EXPECT_EQ(r.getObjectById(6), nullptr);
  EXPECT_TRUE(r.isObjectOfType(QroNumVarI::GetTypeInfo(), 5));
  EXPECT_FALSE(r.isObjectOfType(QroRangeI::GetTypeInfo(), 5));
  EXPECT_FALSE(r.isObjectOfType(QroNumVarI::GetTypeInfo(), 4));
  try {
    r.addLink2Obj(-1, x);
    FAIL() << "no exception";
  } catch (const QroWrongUsage& ex) {
    EXPECT_STREQ(ex.getMessage(), "QroXmlObjectHandler::addLink2Obj : index is negative");
  }
  try {
    r.getObjectById(-1);
    FAIL() << "no exception";
  } catch (const QroWrongUsage& ex) {
    EXPECT_STREQ(ex.getMessage(), "QroXmlObjectHandler::getObjectById : index is negative");
  }
  EXPECT_THROW(r.addLink2Obj(QroInt(1) << 40, x), QroWrongUsage);
  QroEnv other;
  try {
    r.addLink2Obj(6, new (other.getImpl()) QroNumVarI(other.getImpl(), 0, 1, QroNumVar::Int));
    FAIL() << "no exception";
  } catch (const QroWrongUsage& ex) {
    EXPECT_STREQ(ex.getMessage(),
                 "QroXmlObjectHandler::addLink2Obj : object of another environment");
  }
  EXPECT_EQ(r.getObjectById(6), nullptr);
  other.end();
  // A held expression outlives the parent that releases it; the reader holds
  // it once, however many identifiers name it, and gives the hold back when
  // it ends, without ending it. One ended while held is not given back.
  QroNumLinTermI* t = new (s.impl()) QroNumLinTermI(s.impl(), 1.0);
  r.addLink2Obj(7, t);
  r.addLink2Obj(8, t);
  EXPECT_EQ(t->getUseCount(), 1);
  QroNumLinTermI* ended = new (s.impl()) QroNumLinTermI(s.impl(), 2.0);
  r.addLink2Obj(9, ended);
  QroExtractable(ended).end();
  r.end();
  EXPECT_EQ(t->getUseCount(), 0);
  EXPECT_EQ(s.impl()->getLiveSlot(t->getId()), t);
}

namespace {

// An element with its attributes and children.
QroXmlElementI* node(const char* tag,
                     std::initializer_list<std::pair<const char*, std::string>> attributes,
                     std::initializer_list<QroXmlElementI*> children = {}) {
  QroXmlElementI* e = new QroXmlElement(tag);
  for (const auto& a : attributes) e->addAttribute(new QroXmlAttribute(a.first, a.second.c_str()));
  for (QroXmlElementI* c : children) e->addChild(c);
  return e;
}

QroXmlElementI* variable(const std::string& id) {
  return node("numVar", {{"Id", id}, {"type", "1"}, {"lowerbound", "0"}, {"upperbound", "3"}});
}

// The extractables of the environment, by identifier.
std::map<QroInt, QroExtractableI*> liveObjects(QroEnvI* env) {
  std::map<QroInt, QroExtractableI*> live;
  for (QroInt id = 0; id < env->getIdCount(); ++id)
    if (QroExtractableI* x = env->getLiveSlot(id)) live[id] = x;
  return live;
}

}  // namespace

// An element whose "Id" the reader refuses (above MaxId) throws before its
// handler builds anything: the objects read before stay, whole and linked,
// and nothing else is left in the environment.
TEST(XmlSer, RefusedIdentifiersBuildNothing) {
  const std::string big = std::to_string(QroXmlObjectHandler::MaxId + 1);
  auto term = [](QroXmlElementI* var) { return node("term", {{"coef", "1"}}, {var}); };
  const struct {
    const char* what;
    QroXmlElementI* doc;  // owned by the loop
    std::vector<std::string> made;
  } rows[] = {{"a variable",
               node("Modeler", {{"Id", "1"}}, {variable("2"), variable(big)}),
               {"QroNumVarI"}},
              {"a term",
               node("Modeler", {{"Id", "1"}},
                    {variable("2"), node("numLinTerm", {{"Id", big}, {"cst", "0"}},
                                         {term(node("numVar", {{"RefId", "2"}}))})}),
               {"QroNumVarI"}},
              {"an array",
               node("Modeler", {{"Id", "1"}},
                    {variable("2"),
                     node("intVarArray", {{"Id", big}}, {node("numVar", {{"RefId", "2"}})})}),
               {"QroNumVarI"}},
              {"a term over a variable not read yet",
               node("numLinTerm", {{"Id", big}, {"cst", "0"}}, {term(variable("3"))}),
               {}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Side s;
    std::unique_ptr<QroXmlElementI> doc(row.doc);
    for (int pass = 0; pass < 2; ++pass) {
      const QroInt bytes = s.impl()->getMemoryManager()->getBytesInUse();
      std::map<QroInt, QroExtractableI*> before = liveObjects(s.impl());
      QroXmlReader r(s.env);
      EXPECT_THROW(s.context->readElement(r, doc.get()), QroWrongUsage);
      std::vector<std::string> made;
      std::vector<QroExtractableI*> ended;
      for (const auto& x : liveObjects(s.impl())) {
        if (before.count(x.first) && before[x.first] == x.second) continue;
        made.push_back(x.second->getClassName());
        ended.push_back(x.second);
        EXPECT_EQ(r.getExtractableById(2), x.second);
      }
      EXPECT_EQ(made, row.made);
      r.end();
      for (QroExtractableI* x : ended) QroExtractable(x).end();
      EXPECT_TRUE(pass == 0 || s.impl()->getMemoryManager()->getBytesInUse() == bytes);
    }
  }
}

namespace {

// Takes over what it is given and refuses the destruction of what it uses
// with an exception of another type than a search's refusal.
class RefusingAlgorithm : public QroAlgorithmI {
 public:
  explicit RefusingAlgorithm(QroEnvI* env) : QroAlgorithmI(env) {}
  QroBool extractOne(QroExtractableI* x, void** r) override {
    *r = x;
    return 1;
  }
  QroBool removeOne(QroExtractableI*, void*) override { return 1; }
  QroBool applyChange(QroChange*, void**, QroExtractableI*) override { return 1; }
  QroNum getObjValue() override { return 0; }
  QroNum getValue(QroObjectiveI*) override { return 0; }
  QroNum getValue(QroNumVarI*) override { return 0; }
  using QroAlgorithmI::getValue;
  void checkChange(QroChange* c, QroExtractableI* x) override {
    if (refusing && c->isType(QroDestroyExtractable::GetTypeInfo())) throw QroWrongUsage("refused");
    QroAlgorithmI::checkChange(c, x);
  }
  bool refusing = false;
};

}  // namespace

// A term read under a range is the reader's orphan once the program ends the
// range: the reader's end asks the term's users before it destroys it, as a
// holder's end does. Refused, the term stays with no holder, and a refusal
// of another type than a search's is thrown once the reader is ended. An
// orphan that a second holder still holds is counted down, nobody asked.
TEST(XmlSer, AReaderAsksTheUsersOfAnOrphanBeforeItDestroysIt) {
  enum User { Nobody, Searching, Refusing };
  const struct {
    const char* what;
    User user;
    bool secondHolder;
    bool thrown;
    QroInt count;  // what the term is left with, -1 when destroyed
  } rows[] = {{"nobody uses it", Nobody, false, false, -1},
              {"a search uses it", Searching, false, false, 0},
              {"a user refuses", Refusing, false, true, 0},
              {"a second holder, nobody uses it", Nobody, true, false, 1},
              {"a second holder, a user refuses", Refusing, true, false, 1}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    Side s;
    std::unique_ptr<QroXmlElementI> doc(
        node("range", {{"Id", "1"}, {"lowerbound", "0"}, {"upperbound", "3"}},
             {node("numLinTerm", {{"Id", "2"}, {"cst", "0"}},
                   {node("term", {{"coef", "1"}}, {variable("3")})})}));
    QroXmlReader r(s.env);
    QroRangeI* range = static_cast<QroRangeI*>(s.context->readElement(r, doc.get()));
    ASSERT_NE(range, nullptr);
    QroNumExprI* term = range->getExpr();
    ASSERT_EQ(r.getExtractableById(2), term);
    const QroInt id = term->getId();
    RefusingAlgorithm* user = new (s.impl()) RefusingAlgorithm(s.impl());
    if (row.user != Nobody) user->extract(term);
    user->setInSearch(row.user == Searching);
    user->refusing = row.user == Refusing;
    if (row.secondHolder) new (s.impl()) QroRangeI(s.impl(), 1, term, 2);
    QroExtractable(range).end();
    if (row.thrown)
      EXPECT_THROW(r.end(), QroWrongUsage);
    else
      EXPECT_NO_THROW(r.end());
    const bool kept = s.impl()->getLiveSlot(id) == term;
    EXPECT_EQ(kept, row.count >= 0);
    if (kept) {
      EXPECT_EQ(term->getUseCount(), row.count);
    }
  }
}

// What readElement answers is the object of the element, a model or not; a
// read typed as a model answers one or null, and a document whose object is
// of another kind, though nothing is listed as not read, throws and says what
// it read.
TEST(XmlSer, DocumentsWhoseObjectIsNotAModel) {
  const struct {
    QroXmlElementI* doc;  // owned by the loop
    const char* read;     // "model", "null", or the exception's message
  } rows[] = {{node("Modeler", {}, {node("intExprArray", {{"Id", "7"}})}),
               "XML element read as QroModelI gives an array"},
              {node("Root", {}, {variable("1")}), "XML element read as QroModelI gives QroNumVarI"},
              {node("Modeler", {{"Id", "1"}}, {variable("2")}), "model"},
              {node("Root", {}, {node("numVar", {{"RefId", "4"}})}), "null"},
              {node("Root", {}), "null"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.read);
    Side s;
    std::unique_ptr<QroXmlElementI> doc(row.doc);
    QroXmlReader any(s.env), typed(s.env);
    EXPECT_EQ(s.context->readElement(any, doc.get()) != nullptr, std::string(row.read) != "null");
    try {
      QroModelI* m = s.context->readElementAs<QroModelI>(typed, doc.get());
      EXPECT_EQ(m ? "model" : "null", std::string(row.read));
    } catch (const QroXmlWrongKind& e) {
      EXPECT_STREQ(e.getMessage(), row.read);
    }
    EXPECT_EQ(s.context->getUnreadCount(), 0);
    // Any extractable passes a read typed for QroExtractableI.
    QroTypeInfo extractable = QroExtractableI::GetTypeInfo();
    if (std::strstr(row.read, "gives Qro")) {
      EXPECT_NE(s.context->readElementOfType(typed, doc.get(), extractable), nullptr);
    }
    any.end();
    typed.end();
  }
  // A reference to an array read before.
  Side s;
  QroXmlReader r(s.env);
  std::unique_ptr<QroXmlElementI> array(node("intVarArray", {{"Id", "3"}}));
  std::unique_ptr<QroXmlElementI> ref(node("Modeler", {{"RefId", "3"}}));
  EXPECT_NE(s.context->readElement(r, array.get()), nullptr);
  EXPECT_THROW(s.context->readElementAs<QroModelI>(r, ref.get()), QroXmlWrongKind);
  r.end();
}

TEST(XmlSer, NestedReadsVisitEachSubtreeOnce) {
  // Each model holds a variable and the next model: reading the outer one
  // reads every level's sub-elements before the level itself, each variable once.
  Side s;
  const int depth = 60;
  std::unique_ptr<QroXmlElementI> root(new QroXmlElement("Modeler"));
  QroXmlElementI* at = root.get();
  for (int level = 0; level < depth; ++level) {
    at->addAttribute(new QroXmlAttribute("Id", std::to_string(2 * level + 1).c_str()));
    QroXmlElementI* var = new QroXmlElement("numVar");
    var->addAttribute(new QroXmlAttribute("Id", std::to_string(2 * level + 2).c_str()));
    var->addAttribute(new QroXmlAttribute("type", "1"));
    var->addAttribute(new QroXmlAttribute("lowerbound", "0"));
    var->addAttribute(new QroXmlAttribute("upperbound", std::to_string(level).c_str()));
    at->addChild(var);
    if (level + 1 < depth) {
      QroXmlElementI* inner = new QroXmlElement("Modeler");
      at->addChild(inner);
      at = inner;
    }
  }
  QroXmlReader r(s.env);
  void* outer = s.context->readElement(r, root.get());
  ASSERT_NE(outer, nullptr);
  EXPECT_EQ(s.vars->reads, depth);
  QroModelI* m = static_cast<QroModelI*>(static_cast<QroExtractableI*>(outer));
  EXPECT_EQ(m->getSize(), 2);
  EXPECT_EQ(m->getFirstLink()->next->member, r.getExtractableById(3));
  r.end();
}

TEST(XmlSer, Vocabulary) {
  EXPECT_STREQ(QroXmlVocabulary[0], "None");
  EXPECT_STREQ(QroXmlVocabulary[QroXmlVocabularySize - 1], "1.0a");
  const std::pair<QroXmlNameIndex, const char*> used[] = {{QroXmlUnknownTag, "Unknown"},
                                                          {QroXmlExtractableTag, "extractable"},
                                                          {QroXmlIntExprArrayTag, "intExprArray"},
                                                          {QroXmlIntVarArrayTag, "intVarArray"},
                                                          {QroXmlIntArrayTag, "intArray"},
                                                          {QroXmlVarsName, "vars"},
                                                          {QroXmlValuesName, "values"},
                                                          {QroXmlArray1Name, "array1"},
                                                          {QroXmlArray2Name, "array2"},
                                                          {QroXmlExprArrayName, "exprarray"},
                                                          {QroXmlCstName, "cst"},
                                                          {QroXmlIdName, "Id"},
                                                          {QroXmlRefIdName, "RefId"},
                                                          {QroXmlNameName, "name"},
                                                          {QroXmlMinusInfinityText, "-Infinity"},
                                                          {QroXmlInfinityText, "Infinity"}};
  for (const auto& u : used) EXPECT_STREQ(QroXmlVocabulary[u.first], u.second);
  // Eight texts occur twice.
  int repeated = 0;
  for (int i = 0; i < QroXmlVocabularySize; ++i)
    for (int j = i + 1; j < QroXmlVocabularySize; ++j)
      if (std::strcmp(QroXmlVocabulary[i], QroXmlVocabulary[j]) == 0) ++repeated;
  EXPECT_EQ(repeated, 8);
}
