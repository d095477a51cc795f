// Deep element trees: reading takes no call per level, and handlers whose
// reads nest are stopped by a clear exception before the stack runs out.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/xmlser_support.h"

namespace {

using xmltest::Side;

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
    // Down the chain of models, each holding the next.
    EXPECT_EQ(s.vars->reads, c.shape == Models ? 1 : c.depth);
    QroExtractableI* x = static_cast<QroExtractableI*>(object);
    int levels = 0;
    while (x->isModel()) {
      ++levels;
      QroModelI::Link* l = static_cast<QroModelI*>(x)->getFirstLink();
      ASSERT_NE(l, nullptr);
      if (l->next) l = l->next;
      x = l->member;
    }
    EXPECT_EQ(levels, c.depth);
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

// A model handler whose reads nest: it reads its sub-elements itself.
class NestingModelInfo : public xmltest::ModelInfo {
 public:
  explicit NestingModelInfo(QroXmlContextI* c) : ModelInfo(c) {}
  bool readsSubElementsFirst() const override { return false; }
};

TEST(XmlSerDepth, NestingHandlersStopAtTheLimit) {
  for (int depth : {10, static_cast<int>(QroXmlContextI::MaxReadNesting) / 2,
                    static_cast<int>(QroXmlContextI::MaxReadNesting) + 1, 100000}) {
    QroEnv env;
    QroXmlContextI* context = QroXmlContextI::Make(env.getImpl());
    context->registerXmlInfo(QroNumVarI::GetTypeIndex(),
                             new (env.getImpl()) xmltest::VarInfo(context));
    context->registerXmlInfo(QroModelI::GetTypeIndex(),
                             new (env.getImpl()) NestingModelInfo(context));
    std::unique_ptr<QroXmlElementI> tree(chain(Models, depth));
    QroXmlReader r(env);
    if (depth < QroXmlContextI::MaxReadNesting) {
      EXPECT_NE(context->readElement(r, tree.get()), nullptr) << depth;
    } else {
      try {
        context->readElement(r, tree.get());
        ADD_FAILURE() << depth << ": no exception";
      } catch (const QroXmlTooDeep& e) {
        EXPECT_STREQ(e.getMessage(), "XML elements nested too deeply to be read");
      }
      // The reader is usable again: a shallow tree reads.
      std::unique_ptr<QroXmlElementI> shallow(chain(Models, 3));
      QroXmlReader r2(env);
      EXPECT_NE(context->readElement(r2, shallow.get()), nullptr);
      r2.end();
    }
    r.end();
    env.end();
  }
}

}  // namespace
