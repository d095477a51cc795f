#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "qroexception.h"
#include "qroxml.h"

namespace {

// Counts destructions, to check that an element deletes what it owns.
int g_destroyed = 0;

class CountedText : public QroXmlText {
 public:
  explicit CountedText(const char* t, int kind = TextKind) : QroXmlText(t), _kind(kind) {}
  ~CountedText() override { ++g_destroyed; }
  int getKind() const override { return _kind; }

 private:
  int _kind;
};

std::vector<const QroXmlNodeI*> children(const QroXmlElementI& e) {
  std::vector<const QroXmlNodeI*> out;
  QroXmlNodeIterator it(e.getChildIterator());
  while (it.hasNext()) out.push_back(it.next());
  return out;
}

std::vector<std::string> attributeNames(const QroXmlElementI& e) {
  std::vector<std::string> out;
  QroXmlNodeIterator it(e.getAttributeIterator());
  while (it.hasNext()) out.push_back(static_cast<QroXmlAttributeI*>(it.next())->getName());
  return out;
}

TEST(XmlTree, NamesAreOwnedCopies) {
  char buffer[] = "tag";
  QroXmlElement e(buffer);
  buffer[0] = 'X';
  EXPECT_STREQ(e.getName(), "tag");
  EXPECT_EQ(e.getKind(), 1);
  EXPECT_FALSE(e.getFlag());
  e.setFlag(true);
  EXPECT_TRUE(e.getFlag());

  e.setName(nullptr);  // nothing
  EXPECT_STREQ(e.getName(), "tag");
  e.setName("other");
  EXPECT_STREQ(e.getName(), "other");
  e.setName("");  // an empty text leaves no name
  EXPECT_EQ(e.getName(), nullptr);
  e.setNameOwned(QroXmlCopyText("owned"));
  EXPECT_STREQ(e.getName(), "owned");

  QroXmlElement empty("");  // the constructor keeps an empty tag
  ASSERT_NE(empty.getName(), nullptr);
  EXPECT_STREQ(empty.getName(), "");
  QroXmlElement unnamed(nullptr);
  EXPECT_EQ(unnamed.getName(), nullptr);
}

TEST(XmlTree, AttributesAndTexts) {
  QroXmlAttribute a("x", "");
  EXPECT_EQ(a.getKind(), 0);
  EXPECT_STREQ(a.getName(), "x");
  EXPECT_STREQ(a.getValue(), "");
  a.setValue("1");
  EXPECT_STREQ(a.getValue(), "1");
  a.setValue("");
  EXPECT_EQ(a.getValue(), nullptr);
  a.setName("");
  EXPECT_EQ(a.getName(), nullptr);
  QroXmlAttribute none(nullptr, nullptr);
  EXPECT_EQ(none.getName(), nullptr);
  EXPECT_EQ(none.getValue(), nullptr);

  QroXmlText t("ab");
  EXPECT_EQ(t.getKind(), 2);
  t.appendText("cd");
  EXPECT_STREQ(t.getText(), "abcd");
  t.appendText(nullptr);
  t.appendText("");
  EXPECT_STREQ(t.getText(), "abcd");
  t.setText("");
  EXPECT_EQ(t.getText(), nullptr);
  t.appendText("e");  // no text held: as setText
  EXPECT_STREQ(t.getText(), "e");
  QroXmlText nothing(nullptr);
  EXPECT_EQ(nothing.getText(), nullptr);
  QroXmlText empty("");
  EXPECT_STREQ(empty.getText(), "");
}

TEST(XmlTree, AttributeLookup) {
  QroXmlElement e("e");
  EXPECT_EQ(e.getAttribute("x"), nullptr);
  QroXmlAttribute* first = new QroXmlAttribute("x", "1");
  e.addAttribute(new QroXmlAttribute(nullptr, "unnamed"));
  e.addAttribute(first);
  e.addAttribute(new QroXmlAttribute("x", "2"));
  e.addAttribute(new QroXmlAttribute("xy", "3"));
  e.addAttribute(nullptr);
  EXPECT_EQ(e.getAttribute("x"), first);
  EXPECT_STREQ(e.getAttribute("xy")->getValue(), "3");
  EXPECT_EQ(e.getAttribute("X"), nullptr);
  EXPECT_EQ(e.getAttribute(nullptr), nullptr);
  EXPECT_EQ(e.getAttributes().getCount(), 4);
  // The interface's lookup, through the iterator, finds the same attribute.
  EXPECT_EQ(e.QroXmlElementI::getAttribute("x"), first);
}

TEST(XmlTree, ChildrenInsertionAndOwnership) {
  g_destroyed = 0;
  {
    QroXmlElement root("root");
    QroXmlElement* a = new QroXmlElement("a");
    QroXmlText* b = new CountedText("b");
    root.addChild(a);
    root.addChild(b);
    root.addChild(nullptr);
    EXPECT_TRUE(root.insertChildAfter(new CountedText("a2"), a));
    EXPECT_TRUE(root.insertChildAfter(new CountedText("b2"), b));  // after the last
    QroXmlText* last = new CountedText("last");
    root.addChild(last);  // still at the end
    QroXmlText outsider("outsider");
    EXPECT_FALSE(root.insertChildAfter(new CountedText("lost"), &outsider));
    EXPECT_FALSE(root.insertChildAfter(new CountedText("lost"), nullptr));
    EXPECT_EQ(g_destroyed, 2);  // the nodes that found no place

    std::vector<const QroXmlNodeI*> kids = children(root);
    ASSERT_EQ(kids.size(), 5u);
    EXPECT_EQ(kids[0], a);
    EXPECT_STREQ(static_cast<const QroXmlTextI*>(kids[1])->getText(), "a2");
    EXPECT_EQ(kids[2], b);
    EXPECT_STREQ(static_cast<const QroXmlTextI*>(kids[3])->getText(), "b2");
    EXPECT_EQ(kids[4], last);

    a->addChild(new CountedText("deep"));
    a->addAttribute(new QroXmlAttribute("k", "v"));
  }
  EXPECT_EQ(g_destroyed, 2 + 5);  // every text below the root, nested ones too
}

TEST(XmlTree, TextLookupsByKind) {
  QroXmlElement e("e");
  EXPECT_EQ(e.getText(), nullptr);
  e.addChild(new QroXmlElement("child"));
  e.addChild(new CountedText("three", 3));
  e.addChild(new CountedText("plain"));
  e.addChild(new CountedText("four", 4));
  e.addChild(new CountedText("plain2"));
  EXPECT_STREQ(e.getText(), "plain");
  EXPECT_STREQ(e.getChildTextOfKind3(), "three");
  EXPECT_STREQ(e.getChildTextOfKind4(), "four");
  QroXmlElement onlyElements("o");
  onlyElements.addChild(new QroXmlElement("c"));
  EXPECT_EQ(onlyElements.getText(), nullptr);
  EXPECT_EQ(onlyElements.getChildTextOfKind4(), nullptr);
}

TEST(XmlTree, Iterators) {
  QroXmlElement e("e");
  for (const char* n : {"a", "b", "c"}) e.addAttribute(new QroXmlAttribute(n, n));
  EXPECT_EQ(attributeNames(e), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE(children(e).empty());

  QroXmlNodeIterator none(nullptr);
  EXPECT_FALSE(none.hasNext());
  EXPECT_EQ(none.next(), nullptr);

  QroXmlNodeListIterator direct(&e.getAttributes());
  int n = 0;
  while (direct.hasNext()) {
    ASSERT_NE(direct.next(), nullptr);
    ++n;
  }
  EXPECT_EQ(n, 3);
  EXPECT_EQ(direct.next(), nullptr);
}

// The bare interface holds nothing and discards what it is handed.
TEST(XmlTree, InterfaceElementDiscards) {
  g_destroyed = 0;
  QroXmlElementI bare;
  bare.setName("name");
  bare.setNameOwned(QroXmlCopyText("owned"));
  EXPECT_EQ(bare.getName(), nullptr);
  bare.addChild(new CountedText("c"));
  EXPECT_FALSE(bare.insertChildAfter(new CountedText("d"), nullptr));
  bare.addAttribute(new QroXmlAttribute("a", "b"));
  EXPECT_EQ(g_destroyed, 2);
  EXPECT_EQ(bare.getAttribute("a"), nullptr);
  bare.setFlag(true);
  EXPECT_FALSE(bare.getFlag());
  EXPECT_EQ(bare.getText(), nullptr);
  EXPECT_EQ(bare.getChildIterator(), nullptr);
  std::ostringstream os;
  bare.write(os);
  EXPECT_EQ(os.str(), "</>\n");
  EXPECT_TRUE(os.good());
}

class Source : public QroXmlAttributeSource {
 public:
  explicit Source(int mode) : _mode(mode) {}
  QroXmlAttributeI* makeAttribute(QroXmlElementI* element) override {
    _seen = element;
    return _mode == 0 ? nullptr : new QroXmlAttribute(nullptr, nullptr);
  }
  void fillAttribute(QroXmlElementI* element, QroXmlAttributeI* attribute) override {
    if (element != _seen) throw std::logic_error("another element");
    if (_mode == 2) throw std::runtime_error("cannot fill");
    attribute->setName("from");
    attribute->setValue(element->getName());
  }

 private:
  int _mode;
  QroXmlElementI* _seen = nullptr;
};

TEST(XmlTree, AttributeFromASource) {
  QroXmlElement e("host");
  Source none(0), good(1), failing(2);
  EXPECT_EQ(e.addAttributeFrom(&none), nullptr);
  EXPECT_EQ(e.addAttributeFrom(nullptr), nullptr);
  QroXmlAttributeI* a = e.addAttributeFrom(&good);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(e.getAttribute("from"), a);
  EXPECT_STREQ(a->getValue(), "host");
  EXPECT_THROW(e.addAttributeFrom(&failing), std::runtime_error);  // the half-made node is freed
  EXPECT_EQ(e.getAttributes().getCount(), 1);
}

// Building and dropping trees gives the list nodes back for reuse.
TEST(XmlTree, ListNodesAreReused) {
  auto build = [] {
    QroXmlElement root("r");
    for (int i = 0; i < 3000; ++i) {
      QroXmlElement* c = new QroXmlElement("c");
      c->addAttribute(new QroXmlAttribute("i", "v"));
      root.addChild(c);
    }
  };
  build();
  uint32_t chunk = QroXmlNodePool::Get()->getChunkSize();
  for (int round = 0; round < 5; ++round) build();
  EXPECT_EQ(QroXmlNodePool::Get()->getChunkSize(), chunk);
}

TEST(XmlTree, CopyTextRaisesNothingForNull) {
  EXPECT_EQ(QroXmlCopyText(nullptr), nullptr);
  char* c = QroXmlCopyText("abc");
  EXPECT_STREQ(c, "abc");
  delete[] c;
}

}  // namespace
