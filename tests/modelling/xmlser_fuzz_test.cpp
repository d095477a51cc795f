// Random and truncated element trees fed to the reader: every failure is a
// clear exception or a null result, never a crash or a leak.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <random>
#include <string>
#include <vector>

#include "support/seed.h"
#include "support/xmlser_support.h"

namespace {

struct Side {
  QroEnv env;
  QroXmlContextI* context;
  QroInt unreadSeen = 0;
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

// A model (variables, a range over a term the objective shares) and an array
// of its variables, written from the side.
QroXmlElementI* modelDocument(Side& from) {
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
  QroXmlElementI* doc = w.createElement("Root");
  QroXmlInfo helper(from.context);
  QroIntVarArray vars(from.env, 0);
  vars.add(QroNumVar(x));
  vars.add(QroNumVar(y));
  EXPECT_NE(from.context->writeExtractable(m, w, doc), nullptr);
  EXPECT_TRUE(helper.writeIntVarArray(w, doc, vars));
  vars.end();
  w.end();
  return doc;
}

// The context's reading as it was, one call per level, with the handlers'
// base reading inlined (sub-elements, then read or readObject): the
// reference of the iterative reading.
struct RecursiveRead {
  QroXmlContextI* context;
  QroXmlReader reader;
  std::vector<std::string> unread;  // "tag id"

  struct Scope {
    QroXmlReaderI* r;
    explicit Scope(QroXmlReaderI* reader) : r(reader) { r->enterRead(); }
    ~Scope() { r->leaveRead(); }
  };

  void* element(const QroXmlElementI* e) {
    Scope scope(reader.getImpl());
    if (!e) return nullptr;
    QroInt id = -1;
    if (reader.readIntAttribute(e, "Id", id)) {
      if (void* linked = reader.getObjectById(id)) return linked;
      const char* tag = e->getName();
      void* object = nullptr;
      QroXmlObjectHandler& objects = reader.getImpl()->getObjectHandler();
      if (QroXmlInfo* h = context->findXmlInfo(tag)) {
        QroXmlObjectHandler::checkId(id);
        QroExtractableI* x = subElements(e) ? h->read(reader, e) : nullptr;
        if (x) reader.addLink2Obj(id, x);
        object = x;
      } else if ((h = context->findObjectXmlInfo(tag)) != nullptr) {
        QroXmlObjectHandler::checkId(id);
        object = subElements(e) ? h->readObject(reader, e) : nullptr;
        if (object) object = objects.addLink2Array(id, static_cast<QroArrayI*>(object));
      }
      if (!object) unread.push_back(std::string(tag) + " " + std::to_string(id));
      return object;
    }
    QroInt ref = -1;
    if (reader.readIntAttribute(e, "RefId", ref)) return reader.getObjectById(ref);
    QroXmlElementI* child = reader.getFirstChildElement(e);
    return child ? element(child) : nullptr;
  }

  bool subElements(const QroXmlElementI* e) {
    QroXmlReaderI* r = reader.getImpl();
    Scope scope(r);
    if (!e || r->isSubRead(e)) return true;
    QroXmlNodeIterator it(e->getChildIterator());
    while (it.hasNext()) {
      QroXmlNodeI* n = it.next();
      if (!n || n->getKind() != QroXmlNodeI::ElementKind) continue;
      const QroXmlElementI* child = static_cast<const QroXmlElementI*>(n);
      if (reader.countChildElements(child) > 1 && !subElements(child)) return false;
      if (!element(child) && reader.getAttributeValue(child, "Id")) return false;
    }
    r->markSubRead(e);
    return true;
  }
};

// What a read left: its outcome, the objects made (in the order of their
// identifiers), the objects linked to each identifier and the elements not read.
std::string readTrace(Side& side, const QroXmlElementI* tree, bool bottomUp, bool reference,
                      int& made) {
  std::ostringstream os;
  QroXmlReader reader(side.env);
  QroEnvI* env = side.env.getImpl();
  QroInt before = env->getIdCount();
  RecursiveRead ref{side.context, reader, {}};
  try {
    if (bottomUp)
      os << (reference ? ref.subElements(tree) : side.context->readSubElements(reader, tree));
    else
      os << ((reference ? ref.element(tree) : side.context->readElement(reader, tree)) != nullptr);
  } catch (const QroException& e) {
    os << "throws " << e.getMessage();
  } catch (QroException* e) {
    os << "throws " << e->getMessage();
    delete e;
  }
  os << " |";
  for (QroInt id = before; id < env->getIdCount(); ++id) {
    QroExtractableI* x = env->getLiveSlot(id);
    os << ' ' << (x ? x->getClassName() : "-");
    ++made;
  }
  os << " |";
  for (QroInt id = 0; id < 16; ++id) {
    void* o = reader.getObjectById(id);
    QroExtractableI* x = reader.getExtractableById(id);
    os << ' ' << (x ? x->getClassName() : o ? "array" : "-");
  }
  os << " |";
  if (reference) {
    for (const std::string& u : ref.unread) os << ' ' << u;
  } else {
    for (QroInt i = side.unreadSeen; i < side.context->getUnreadCount(); ++i)
      os << ' ' << side.context->getUnreadTag(i) << ' ' << side.context->getUnreadId(i);
    side.unreadSeen = side.context->getUnreadCount();
  }
  reader.end();
  return os.str();
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
  std::unique_ptr<QroXmlElementI> doc(modelDocument(from));
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

// The iterative reading calls the handlers in the order the recursive one
// did: the same objects are made in the same order, linked to the same
// identifiers, with the same elements left unread and the same outcome.
TEST(XmlSerFuzz, ReadingMatchesTheRecursiveReading) {
  uint64_t seed = qrotest::seedOr(314);
  SCOPED_TRACE(testing::Message() << "seed " << seed);
  std::mt19937_64 rng(seed);
  Side from;
  std::unique_ptr<QroXmlElementI> doc(modelDocument(from));
  int differing = 0, made = 0, unused = 0;
  for (int round = 0; round < 10; ++round) {
    Side iterative, recursive;
    for (int i = 0; i < 80; ++i) {
      // Random trees, and copies of a model's document with parts dropped.
      std::unique_ptr<QroXmlElementI> tree(
          i % 2 == 0 ? randomTree(rng, 1 + static_cast<int>(rng() % 6))
                     : truncatedCopy(rng, doc.get(), 2 + static_cast<unsigned>(rng() % 12)));
      bool bottomUp = rng() % 2 == 0;
      std::string a = readTrace(iterative, tree.get(), bottomUp, false, made);
      std::string b = readTrace(recursive, tree.get(), bottomUp, true, unused);
      if (a != b && ++differing <= 3) ADD_FAILURE() << "tree " << i << "\n" << a << "\n" << b;
    }
  }
  EXPECT_EQ(differing, 0);
  EXPECT_GT(made, 300);
}
