// Random and truncated element trees fed to the reader: every failure is a
// clear exception or a null result, never a crash or a leak.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "support/seed.h"
#include "support/xmlser_support.h"

namespace {

struct Side {
  QroEnv env;
  QroXmlContextI* context;
  Side() : env(), context(QroXmlContextI::Make(env.getImpl())) {
    xmltest::registerModelHandlers(context);
  }
  ~Side() { env.end(); }
};

const char* const kTags[] = {"Modeler",      "numVar",   "numLinTerm", "range",
                             "objective",    "term",     "expr",       "intVarArray",
                             "intExprArray", "intArray", "other",      ""};
const char* const kNames[] = {"Id",         "RefId", "name", "type", "lowerbound",
                              "upperbound", "cst",   "coef", "sense"};
const char* const kValues[] = {"0",           "1",         "2",        "3",   "4", "5",
                               "-1",          "-Infinity", "Infinity", "abc", "",  "1e400",
                               "99999999999", "Maximize",  "2.5",      "[1,2"};
const char* const kTexts[] = {"[1, 2, 3]", "[", "[1,", "x", "[]", "[9e99, -9e99]", "[1;2]"};

template <class T, std::size_t N>
const char* pick(std::mt19937_64& rng, T (&table)[N]) {
  return table[rng() % N];
}

QroXmlElementI* randomTree(std::mt19937_64& rng, int depth) {
  std::string tag = rng() % 97 == 0 ? std::string(300, 't') : pick(rng, kTags);
  QroXmlElementI* e = new QroXmlElement(tag.c_str());
  int attributes = static_cast<int>(rng() % 4);
  for (int i = 0; i < attributes; ++i) {
    std::string value = pick(rng, kValues);
    if (rng() % 3 == 0) value = std::to_string(rng() % 12);
    e->addAttribute(new QroXmlAttribute(pick(rng, kNames), value.c_str()));
  }
  // Often a well-formed head, so that the handlers get far.
  if (rng() % 2 == 0) {
    e->addAttribute(new QroXmlAttribute("Id", std::to_string(rng() % 16).c_str()));
    if (tag == "numVar") {
      e->addAttribute(new QroXmlAttribute("type", std::to_string(rng() % 4).c_str()));
      e->addAttribute(new QroXmlAttribute("lowerbound", std::to_string(rng() % 5).c_str()));
      e->addAttribute(new QroXmlAttribute("upperbound", std::to_string(rng() % 9).c_str()));
    } else if (tag == "range") {
      e->addAttribute(new QroXmlAttribute("lowerbound", "-1"));
      e->addAttribute(new QroXmlAttribute("upperbound", "3"));
    } else if (tag == "numLinTerm") {
      e->addAttribute(new QroXmlAttribute("cst", "0.5"));
    } else if (tag == "objective") {
      e->addAttribute(new QroXmlAttribute("sense", "Minimize"));
    }
  }
  if (tag == "term") e->addAttribute(new QroXmlAttribute("coef", "2"));
  int children = depth > 0 ? static_cast<int>(rng() % 5) : 0;
  for (int i = 0; i < children; ++i) {
    if (rng() % 5 == 0)
      e->addChild(new QroXmlText(pick(rng, kTexts)));
    else
      e->addChild(randomTree(rng, depth - 1));
  }
  return e;
}

// A copy of the tree with attributes and subtrees dropped at random.
QroXmlElementI* truncatedCopy(std::mt19937_64& rng, const QroXmlElementI* from,
                              unsigned dropOneIn) {
  QroXmlElementI* e = new QroXmlElement(from->getName());
  QroXmlNodeIterator attributes(from->getAttributeIterator());
  while (attributes.hasNext()) {
    QroXmlAttributeI* a = static_cast<QroXmlAttributeI*>(attributes.next());
    if (rng() % dropOneIn != 0) e->addAttribute(new QroXmlAttribute(a->getName(), a->getValue()));
  }
  QroXmlNodeIterator children(from->getChildIterator());
  while (children.hasNext()) {
    QroXmlNodeI* n = children.next();
    if (rng() % dropOneIn == 0) continue;
    if (n->getKind() == QroXmlNodeI::ElementKind)
      e->addChild(truncatedCopy(rng, static_cast<QroXmlElementI*>(n), dropOneIn));
    else if (n->getKind() == QroXmlNodeI::TextKind)
      e->addChild(new QroXmlText(static_cast<QroXmlTextI*>(n)->getText()));
  }
  return e;
}

// Reads the tree one way or the other; counts the outcomes.
struct Outcomes {
  int objects = 0;
  int nulls = 0;
  int exceptions = 0;
  int built = 0;  // objects given by readElement
};

void feed(Side& side, const QroXmlElementI* tree, bool bottomUp, Outcomes& out) {
  QroXmlReader reader(side.env);
  try {
    if (bottomUp) {
      if (side.context->readSubElements(reader, tree))
        ++out.objects;
      else
        ++out.nulls;
    } else {
      void* object = side.context->readElement(reader, tree);
      if (object) {
        ++out.objects;
        ++out.built;
      } else
        ++out.nulls;
    }
  } catch (const QroException&) {
    ++out.exceptions;
  } catch (QroException* e) {
    // Over-long tags are thrown by pointer.
    EXPECT_STREQ(e->getMessage(), "XML are limited to 256 characters");
    delete e;
    ++out.exceptions;
  }
  reader.end();
}

}  // namespace

TEST(XmlSerFuzz, RandomTrees) {
  uint64_t seed = qrotest::seedOr(20261206);
  SCOPED_TRACE(testing::Message() << "seed " << seed);
  std::mt19937_64 rng(seed);
  Outcomes out;
  for (int round = 0; round < 20; ++round) {
    Side side;
    for (int i = 0; i < 40; ++i) {
      std::unique_ptr<QroXmlElementI> tree(randomTree(rng, 1 + static_cast<int>(rng() % 5)));
      feed(side, tree.get(), rng() % 2 == 0, out);
    }
  }
  EXPECT_EQ(out.objects + out.nulls + out.exceptions, 800);
  EXPECT_GT(out.objects, 0);
  EXPECT_GT(out.nulls, 0);
  EXPECT_GT(out.exceptions, 0);
  EXPECT_GT(out.built, 10);
}

TEST(XmlSerFuzz, TruncatedModels) {
  uint64_t seed = qrotest::seedOr(77);
  SCOPED_TRACE(testing::Message() << "seed " << seed);
  std::mt19937_64 rng(seed);
  Side from;
  QroEnvI* env = from.env.getImpl();
  QroNumVarI* x = new (env) QroNumVarI(env, 0, 10, QroNumVar::Int, "x");
  QroNumVarI* y = new (env) QroNumVarI(env, -2, 2, QroNumVar::Float, "y");
  QroNumLinTermI* t = new (env) QroNumLinTermI(env, 0.0);
  t->appendNode(x, 2.0);
  t->appendNode(y, -1.0);
  QroModelI* m = new (env) QroModelI(env, "m");
  m->append(x);
  m->append(new (env) QroRangeI(env, 0.0, t, 4.0, "r"));
  m->append(new (env) QroObjectiveI(env, t, QroObjectiveI::Minimize));
  QroXmlWriter w(from.env);
  std::unique_ptr<QroXmlElementI> doc(w.createElement("Root"));
  QroXmlInfo helper(from.context);
  QroIntVarArray vars(from.env, 0);
  vars.add(QroNumVar(x));
  vars.add(QroNumVar(y));
  ASSERT_NE(from.context->writeExtractable(m, w, doc.get()), nullptr);
  ASSERT_TRUE(helper.writeIntVarArray(w, doc.get(), vars));
  vars.end();
  w.end();

  Outcomes out;
  int whole = 0;
  for (int round = 0; round < 10; ++round) {
    Side side;
    for (int i = 0; i < 60; ++i) {
      unsigned dropOneIn = 2 + static_cast<unsigned>(rng() % 12);
      std::unique_ptr<QroXmlElementI> tree(
          truncatedCopy(rng, doc.get(), i == 0 ? 1000000 : dropOneIn));
      Outcomes one;
      feed(side, tree.get(), rng() % 2 == 0, one);
      if (i == 0) whole += one.objects;
      out.objects += one.objects;
      out.nulls += one.nulls;
      out.exceptions += one.exceptions;
    }
  }
  EXPECT_EQ(whole, 10);  // the untruncated document reads in full
  EXPECT_GT(out.nulls, 0);
}
