// Deep models and element trees. Reading and writing take no call per level
// through handlers that leave their sub-reads and sub-writes to the context;
// handlers that nest, and handlers that ask the writer for identifiers while
// their members wait, go down to the nesting limit on a thread with less than
// a main thread's stack, are stopped there by a clear exception, and leave
// the reader, the writer and the context ready for the next read or write.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <memory>
#include <string>

#include "support/xmlser_support.h"

namespace {

using xmltest::Side;

const int kLimit = static_cast<int>(QroXmlContextI::MaxNesting);

// Nesting reads and writes of kLimit levels fit in this much stack (the main
// thread has 8 MiB).
const std::size_t kStack = 6u << 20;

QroXmlElementI* element(const char* tag, int id) {
  QroXmlElementI* e = new QroXmlElement(tag);
  if (id >= 0) e->addAttribute(new QroXmlAttribute("Id", std::to_string(id).c_str()));
  return e;
}

QroXmlElementI* variable(int id) {
  QroXmlElementI* v = element("numVar", id);
  v->addAttribute(new QroXmlAttribute("type", "1"));
  v->addAttribute(new QroXmlAttribute("lowerbound", "0"));
  v->addAttribute(new QroXmlAttribute("upperbound", "1"));
  return v;
}

// The shapes of a chain of `depth` levels:
//  Models: each model holds the next one only, the last a variable (every
//   level goes through the model handler);
//  ModelsAndVariables: each model holds a variable and the next model (every
//   level has two child elements);
//  Wrappers: elements without "Id", each around the next, then a variable
//   (the object of an element is its first child's).
enum Shape { Models, ModelsAndVariables, Wrappers };

QroXmlElementI* chain(Shape shape, int depth) {
  int id = 1;
  QroXmlElementI* root =
      element(shape == Wrappers ? "wrap" : "Modeler", shape == Wrappers ? -1 : id++);
  QroXmlElementI* at = root;
  for (int level = 1; level < depth; ++level) {
    if (shape == ModelsAndVariables) at->addChild(variable(id++));
    QroXmlElementI* next =
        element(shape == Wrappers ? "wrap" : "Modeler", shape == Wrappers ? -1 : id++);
    at->addChild(next);
    at = next;
  }
  at->addChild(variable(id++));
  return root;
}

// The same chains as models of the environment.
QroModelI* modelChain(QroEnvI* env, Shape shape, int depth) {
  QroModelI* inner = new (env) QroModelI(env, nullptr);
  inner->append(new (env) QroNumVarI(env, 0, 1, QroNumVar::Int, nullptr));
  for (int level = 1; level < depth; ++level) {
    QroModelI* m = new (env) QroModelI(env, nullptr);
    if (shape == ModelsAndVariables)
      m->append(new (env) QroNumVarI(env, 0, 1, QroNumVar::Int, nullptr));
    m->append(inner);
    inner = m;
  }
  return inner;
}

// The levels of models below a model read, each holding the next last.
int modelLevels(const QroExtractableI* x) {
  int levels = 0;
  while (x && x->isModel()) {
    ++levels;
    const QroModelI::Link* l = static_cast<const QroModelI*>(x)->getFirstLink();
    while (l && l->next) l = l->next;
    x = l ? l->member : nullptr;
  }
  return levels;
}

QroXmlElementI* lastChildElement(const QroXmlElementI* e) {
  QroXmlElementI* last = nullptr;
  QroXmlNodeIterator it(e->getChildIterator());
  while (it.hasNext()) {
    QroXmlNodeI* n = it.next();
    if (n->getKind() == QroXmlNodeI::ElementKind) last = static_cast<QroXmlElementI*>(n);
  }
  return last;
}

const char* attribute(const QroXmlElementI* e, const char* name) {
  QroXmlAttributeI* a = e ? e->getAttribute(name) : nullptr;
  return a ? a->getValue() : nullptr;
}

// Runs f on a thread of its own with a stack of `bytes`, so that the depth
// reached does not depend on the limit of the main thread.
void onStack(std::size_t bytes, const std::function<void()>& f) {
  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, bytes), 0);
  pthread_t thread;
  auto body = [](void* p) -> void* {
    (*static_cast<const std::function<void()>*>(p))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attributes, body, const_cast<std::function<void()>*>(&f)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

struct DeepCase {
  Shape shape;
  int depth;
};

class DeepRead : public ::testing::TestWithParam<DeepCase> {};

TEST_P(DeepRead, ReadsEveryLevelOnce) {
  const DeepCase c = GetParam();
  Side s;
  std::unique_ptr<QroXmlElementI> tree(chain(c.shape, c.depth));
  QroXmlReader r(s.env);
  void* object = s.context->readElement(r, tree.get());
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(s.context->getUnreadCount(), 0);
  if (c.shape == Wrappers) {
    EXPECT_EQ(s.vars->reads, 1);
    EXPECT_TRUE(static_cast<QroExtractableI*>(object)->isNumVar());
  } else {
    EXPECT_EQ(s.vars->reads, c.shape == Models ? 1 : c.depth);
    EXPECT_EQ(modelLevels(static_cast<QroExtractableI*>(object)), c.depth);
  }
  // Bottom up, the same tree in a second reader: every element with "Id" read.
  QroXmlReader r2(s.env);
  EXPECT_TRUE(s.context->readSubElements(r2, tree.get()));
  r2.end();
  r.end();
}

INSTANTIATE_TEST_SUITE_P(Chains, DeepRead,
                         ::testing::Values(DeepCase{Models, 100000},
                                           DeepCase{ModelsAndVariables, 100000},
                                           DeepCase{Wrappers, 100000}));

class DeepWrite : public ::testing::TestWithParam<DeepCase> {};

// Written in full, each object once, with the identifiers in the order of the
// elements, and read back.
TEST_P(DeepWrite, WritesEveryLevelAndReadsBack) {
  const DeepCase c = GetParam();
  const bool variables = c.shape == ModelsAndVariables;
  Side from;
  QroModelI* root = modelChain(from.impl(), c.shape, c.depth);
  QroXmlWriter w(from.env);
  std::unique_ptr<QroXmlElementI> tree(from.context->writeExtractable(root, w, nullptr));
  ASSERT_NE(tree, nullptr);
  int levels = 0;
  int mismatches = 0;
  for (const QroXmlElementI* e = tree.get(); e; e = lastChildElement(e)) {
    if (std::string(e->getName()) != "Modeler") break;
    ++levels;
    std::string id = std::to_string(variables ? 2 * levels - 1 : levels);
    const char* text = attribute(e, "Id");
    if (!text || id != text) ++mismatches;
  }
  EXPECT_EQ(levels, c.depth);
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(w.getImpl()->getLastId(), variables ? 2 * c.depth : c.depth + 1);

  Side to;
  QroXmlReader r(to.env);
  void* object = to.context->readElement(r, tree.get());
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(modelLevels(static_cast<QroExtractableI*>(object)), c.depth);
  EXPECT_EQ(to.vars->reads, variables ? c.depth : 1);
  r.end();
  w.end();
}

INSTANTIATE_TEST_SUITE_P(Chains, DeepWrite,
                         ::testing::Values(DeepCase{Models, 100000},
                                           DeepCase{ModelsAndVariables, 100000}));

// After a write or read (refused or not), the same writer and reader serve a
// chain of three models: written in full below the document with the next
// identifiers, and read back.
void smallChainStillWorks(QroXmlContextI* context, QroXmlWriter w, QroXmlReader r,
                          QroXmlElementI* doc) {
  QroEnvI* env = context->getEnv();
  QroInt before = w.getImpl()->getLastId();
  QroXmlElementI* e = context->writeExtractable(modelChain(env, Models, 3), w, doc);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(lastChildElement(doc), e);
  EXPECT_EQ(attribute(e, "Id"), std::to_string(before + 1));
  EXPECT_EQ(w.getImpl()->getLastId(), before + 4);
  EXPECT_EQ(xmltest::written(e).find("RefId"), std::string::npos);
  void* object = context->readElement(r, e);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(modelLevels(static_cast<QroExtractableI*>(object)), 3);
}

struct NestingCase {
  int depth;
  bool fits;
};

// Models whose handler reads and writes one level per call: down to the limit
// written and read back; past it refused with nothing written and the writer
// and reader as they were.
TEST(XmlSerDepth, NestingHandlersGoDownToTheLimit) {
  const NestingCase cases[] = {
      {10, true}, {kLimit / 2, true}, {kLimit, true}, {kLimit + 1, false}, {100000, false}};
  for (const NestingCase& c : cases) {
    onStack(kStack, [&c] {
      SCOPED_TRACE(c.depth);
      QroEnv env;
      QroEnvI* ei = env.getImpl();
      QroXmlContextI* context = QroXmlContextI::Make(ei);
      context->registerXmlInfo(QroNumVarI::GetTypeIndex(), new (ei) xmltest::VarInfo(context));
      context->registerXmlInfo(QroModelI::GetTypeIndex(),
                               new (ei) xmltest::NestingModelInfo(context));
      QroXmlWriter w(env);
      QroXmlReader r(env);
      std::unique_ptr<QroXmlElementI> doc(w.createElement("Root"));
      QroModelI* root = modelChain(ei, Models, c.depth);
      try {
        EXPECT_NE(context->writeExtractable(root, w, doc.get()), nullptr);
        EXPECT_TRUE(c.fits);
      } catch (const QroXmlTooDeep& e) {
        EXPECT_FALSE(c.fits);
        EXPECT_STREQ(e.getMessage(), "XML elements nested too deeply to be written");
      }
      EXPECT_EQ(w.getImpl()->getLastId(), c.fits ? c.depth + 1 : 0);
      // What was written is read back; past the limit, the same chain as a tree.
      std::unique_ptr<QroXmlElementI> tree(c.fits ? nullptr : chain(Models, c.depth));
      const QroXmlElementI* toRead = c.fits ? lastChildElement(doc.get()) : tree.get();
      ASSERT_NE(toRead, nullptr);
      try {
        void* object = context->readElement(r, toRead);
        EXPECT_TRUE(c.fits);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(modelLevels(static_cast<QroExtractableI*>(object)), c.depth);
      } catch (const QroXmlTooDeep& e) {
        EXPECT_FALSE(c.fits);
        EXPECT_STREQ(e.getMessage(), "XML elements nested too deeply to be read");
        EXPECT_EQ(r.getImpl()->getReadDepth(), 0);
      }
      EXPECT_EQ(lastChildElement(doc.get()) != nullptr, c.fits);
      smallChainStillWorks(context, w, r, doc.get());
      r.end();
      w.end();
      env.end();
    });
  }
}

// A handler that asks the writer for an identifier while the writes of its
// members wait has them written at once: one nested write per level. The
// identifier is the one the member is written with, in full, before.
TEST(XmlSerDepth, AskingTheWriterWritesWhatWaitsFirst) {
  for (int depth : {1000, 100000}) {
    onStack(kStack, [depth] {
      SCOPED_TRACE(depth);
      QroEnv env;
      QroEnvI* ei = env.getImpl();
      QroXmlContextI* context = QroXmlContextI::Make(ei);
      context->registerXmlInfo(QroNumVarI::GetTypeIndex(), new (ei) xmltest::VarInfo(context));
      context->registerXmlInfo(QroModelI::GetTypeIndex(),
                               new (ei) xmltest::QueryingModelInfo(context));
      QroXmlWriter w(env);
      QroXmlReader r(env);
      std::unique_ptr<QroXmlElementI> doc(w.createElement("Root"));
      const bool fits = depth <= kLimit;
      try {
        EXPECT_NE(context->writeExtractable(modelChain(ei, Models, depth), w, doc.get()), nullptr);
        EXPECT_TRUE(fits);
      } catch (const QroXmlTooDeep& e) {
        EXPECT_FALSE(fits);
        EXPECT_STREQ(e.getMessage(), "XML elements nested too deeply to be written");
      }
      int levels = 0, mismatches = 0;
      for (const QroXmlElementI* e = lastChildElement(doc.get()); e; e = lastChildElement(e)) {
        ++levels;
        const char* first = attribute(e, "first");
        const char* id = attribute(lastChildElement(e), "Id");
        if (!first || !id || std::string(first) != id) ++mismatches;
        if (std::string(e->getName()) != "Modeler") break;
      }
      EXPECT_EQ(levels, fits ? depth + 1 : 0);
      EXPECT_EQ(mismatches, fits ? 1 : 0);  // the variable has no "first"
      if (fits) {
        void* object = context->readElement(r, lastChildElement(doc.get()));
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(modelLevels(static_cast<QroExtractableI*>(object)), depth);
      } else {
        EXPECT_EQ(w.getImpl()->getLastId(), 0);
      }
      smallChainStillWorks(context, w, r, doc.get());
      r.end();
      w.end();
      env.end();
    });
  }
}

}  // namespace
