#include <gtest/gtest.h>

#include <cstdint>
#include <ios>
#include <memory>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "qroxml.h"
#include "support/seed.h"

namespace {

std::string written(const QroXmlNodeI& node) {
  std::ostringstream os;
  uint32_t before = QroXmlIndentation();
  node.write(os);
  EXPECT_EQ(QroXmlIndentation(), before);
  return os.str();
}

TEST(XmlWriter, ElementShapes) {
  EXPECT_EQ(QroXmlIndentation(), 0u);
  EXPECT_EQ(QroXmlIndentationStep(), 2u);

  QroXmlElement a("a");
  a.addAttribute(new QroXmlAttribute("x", "1"));
  a.addChild(new QroXmlElement("b"));
  EXPECT_EQ(written(a), "<a x=\"1\">\n  <b/>\n</a>\n");

  QroXmlElement leaf("leaf");
  leaf.addAttribute(new QroXmlAttribute("p", "1"));
  leaf.addAttribute(new QroXmlAttribute("p", nullptr));
  leaf.addAttribute(new QroXmlAttribute("q", ""));
  EXPECT_EQ(written(leaf), "<leaf p=\"1\" p=\"\" q=\"\"/>\n");

  QroXmlElement t("t");
  t.addChild(new QroXmlText("hello"));
  EXPECT_EQ(written(t), "<t>\nhello</t>\n");

  QroXmlElement r("r");
  QroXmlElement* inner = new QroXmlElement("t");
  inner->addChild(new QroXmlText("x"));
  inner->addChild(new QroXmlText("y"));
  r.addChild(inner);
  r.addChild(new QroXmlElement("e"));
  EXPECT_EQ(written(r), "<r>\n  <t>\nxy  </t>\n  <e/>\n</r>\n");

  // A text node holding nothing writes nothing; the element still has a child.
  QroXmlElement blank("blank");
  blank.addChild(new QroXmlText(nullptr));
  EXPECT_EQ(written(blank), "<blank>\n</blank>\n");
}

TEST(XmlWriter, Escapes) {
  QroXmlAttribute a("v", "a<b&\"'>");
  EXPECT_EQ(written(a), "v=\"a&lt;b&amp;&quot;'&gt;\"");
  QroXmlText t("a<b&\"'>c");
  EXPECT_EQ(written(t), "a&lt;b&amp;\"'&gt;c");
  QroXmlText plain("&&");
  EXPECT_EQ(written(plain), "&amp;&amp;");
}

TEST(XmlWriter, DepthIndentsTwoBlanksPerLevel) {
  QroXmlElement root("d0");
  QroXmlElement* at = &root;
  for (int d = 1; d <= 6; ++d) {
    QroXmlElement* c = new QroXmlElement(("d" + std::to_string(d)).c_str());
    at->addChild(c);
    at = c;
  }
  std::string expected;
  for (int d = 0; d < 6; ++d)
    expected += std::string(2 * d, ' ') + "<d" + std::to_string(d) + ">\n";
  expected += std::string(12, ' ') + "<d6/>\n";
  for (int d = 5; d >= 0; --d)
    expected += std::string(2 * d, ' ') + "</d" + std::to_string(d) + ">\n";
  EXPECT_EQ(written(root), expected);
}

TEST(XmlWriter, NullNamesWriteNothingInTheirPlace) {
  QroXmlElement e(nullptr);
  e.addAttribute(new QroXmlAttribute(nullptr, "v"));
  e.addChild(new QroXmlElement(nullptr));
  std::ostringstream os;
  e.write(os);
  EXPECT_TRUE(os.good());
  EXPECT_EQ(os.str(), "< =\"v\">\n  </>\n</>\n");
}

// Accepts a fixed number of characters, then fails every write.
class FailingBuffer : public std::streambuf {
 public:
  explicit FailingBuffer(int capacity) : _left(capacity) {}

 protected:
  int_type overflow(int_type c) override {
    if (_left <= 0) return traits_type::eof();
    --_left;
    return traits_type::not_eof(c);
  }

 private:
  int _left;
};

TEST(XmlWriter, CounterIsRestoredWhenTheStreamThrows) {
  QroXmlElement root("root");
  QroXmlElement* mid = new QroXmlElement("mid");
  mid->addAttribute(new QroXmlAttribute("k", "v"));
  mid->addChild(new QroXmlText("text"));
  root.addChild(mid);
  root.addChild(new QroXmlElement("leaf"));
  const std::string full = written(root);
  for (int capacity = 0; capacity < static_cast<int>(full.size()); ++capacity) {
    FailingBuffer buffer(capacity);
    std::ostream os(&buffer);
    os.exceptions(std::ios_base::badbit);
    EXPECT_THROW(root.write(os), std::ios_base::failure) << capacity;
    EXPECT_EQ(QroXmlIndentation(), 0u) << capacity;
  }
}

// ---------------------------------------------------------------------------
// Random trees, written and compared with a plain rendering of the same tree.

struct Model {
  bool text = false;
  bool null = false;  // null name or text
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;  // values may be empty
  std::vector<Model> children;
};

std::string escaped(const std::string& s, bool attribute) {
  std::string out;
  for (char c : s) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '"' && attribute)
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

void render(const Model& m, int indent, std::string& out) {
  if (m.text) {
    if (!m.null) out += escaped(m.name, false);
    return;
  }
  out += std::string(indent, ' ') + "<" + m.name;
  for (auto& a : m.attributes) out += " " + a.first + "=\"" + escaped(a.second, true) + "\"";
  if (m.children.empty()) {
    out += "/>\n";
    return;
  }
  out += ">\n";
  for (auto& c : m.children) render(c, indent + 2, out);
  out += std::string(indent, ' ') + "</" + m.name + ">\n";
}

class TreeMaker {
 public:
  explicit TreeMaker(uint64_t seed) : _rng(seed) {}

  std::string word(bool allowSpecial) {
    static const char plain[] = "abcxyzAB019_-.";
    static const char special[] = "&<>\"' \t";
    std::string s;
    int n = static_cast<int>(_rng() % 6);
    for (int i = 0; i < n; ++i) {
      if (allowSpecial && _rng() % 4 == 0)
        s += special[_rng() % (sizeof special - 1)];
      else
        s += plain[_rng() % (sizeof plain - 1)];
    }
    return s;
  }

  // Builds the element and its model together, with the element's own setters
  // and insertions doing the work.
  QroXmlElement* element(Model& m, int depth) {
    m.name = word(false);
    if (m.name.empty()) m.name = "e";
    QroXmlElement* e = new QroXmlElement("placeholder");
    e->setName(m.name.c_str());
    int attributes = static_cast<int>(_rng() % 4);
    for (int i = 0; i < attributes; ++i) {
      std::string n = word(false) + "n", v = word(true);
      bool null = _rng() % 5 == 0;
      QroXmlAttribute* a = new QroXmlAttribute(n.c_str(), null ? nullptr : v.c_str());
      e->addAttribute(a);
      m.attributes.emplace_back(n, null ? std::string() : v);
      if (_rng() % 4 == 0) {  // replaced later; an empty value leaves none
        std::string w = word(true);
        a->setValue(w.c_str());
        if (w.empty()) {
          EXPECT_EQ(a->getValue(), nullptr);
        }
        m.attributes.back().second = w;
      }
    }
    int kids = depth > 5 ? 0 : static_cast<int>(_rng() % 5);
    std::vector<QroXmlNodeI*> placed;
    for (int i = 0; i < kids; ++i) {
      Model c;
      QroXmlNodeI* node;
      if (_rng() % 3 == 0) {
        c.text = true;
        std::string a = word(true), b = word(true);
        c.null = _rng() % 6 == 0;
        QroXmlText* t = new QroXmlText(c.null ? nullptr : a.c_str());
        if (!c.null) t->appendText(b.c_str());
        c.name = a + b;
        node = t;
      } else {
        node = element(c, depth + 1);
      }
      // Either at the end or right after an earlier child.
      if (!placed.empty() && _rng() % 3 == 0) {
        std::size_t after = _rng() % placed.size();
        EXPECT_TRUE(e->insertChildAfter(node, placed[after]));
        placed.insert(placed.begin() + after + 1, node);
        m.children.insert(m.children.begin() + after + 1, std::move(c));
      } else {
        e->addChild(node);
        placed.push_back(node);
        m.children.push_back(std::move(c));
      }
    }
    return e;
  }

 private:
  std::mt19937_64 _rng;
};

TEST(XmlWriter, RandomTreesWriteAsTheirRendering) {
  const uint64_t seed = qrotest::seedOr(424242);
  SCOPED_TRACE(::testing::Message() << "seed " << seed);
  TreeMaker maker(seed);
  for (int round = 0; round < 300; ++round) {
    Model m;
    QroXmlElement* root = maker.element(m, 0);
    std::string expected;
    render(m, 0, expected);
    ASSERT_EQ(written(*root), expected) << "round " << round;
    delete root;
  }
  EXPECT_EQ(QroXmlIndentation(), 0u);
}

// ---------------------------------------------------------------------------
// Deep trees: writing and destroying take no call per level.

// Reads a chain of n elements <e d="k"> back from the text as it is written,
// without keeping it: line k opens level k at 2k blanks (the last level empty),
// then the closing tags follow, innermost first.
class ChainReader : public std::streambuf {
 public:
  explicit ChainReader(int64_t depth) : _depth(depth) {}
  int64_t lines = 0;
  std::string firstBadLine;

 protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    // Indentation arrives in long runs of blanks; only their ends are looked at.
    if (_rest.empty() && n > 16 && s[0] == ' ' && s[n / 2] == ' ' && s[n - 1] == ' ') {
      _blanks += n;
      return n;
    }
    for (std::streamsize i = 0; i < n; ++i) put(s[i]);
    return n;
  }
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) put(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
  }

 private:
  void put(char c) {
    if (c == ' ' && _rest.empty()) {
      ++_blanks;
    } else if (c != '\n') {
      _rest += c;
    } else {
      int64_t level = lines < _depth ? lines : 2 * _depth - 2 - lines;
      std::string want = lines >= _depth       ? "</e>"
                         : lines == _depth - 1 ? "<e d=\"" + std::to_string(level) + "\"/>"
                                               : "<e d=\"" + std::to_string(level) + "\">";
      if (firstBadLine.empty() && (_blanks != 2 * level || _rest != want))
        firstBadLine = std::to_string(lines) + ": " + std::to_string(_blanks) + " blanks, " + _rest;
      ++lines;
      _blanks = 0;
      _rest.clear();
    }
  }
  int64_t _depth;
  int64_t _blanks = 0;
  std::string _rest;
};

TEST(XmlWriter, AChainOf200000LevelsWritesReadsBackAndIsDestroyed) {
  const int depth = 200000;
  std::unique_ptr<QroXmlElement> root(new QroXmlElement("e"));
  QroXmlElement* at = root.get();
  for (int k = 0; k < depth; ++k) {
    at->addAttribute(new QroXmlAttribute("d", std::to_string(k).c_str()));
    if (k + 1 < depth) {
      QroXmlElement* child = new QroXmlElement("e");
      at->addChild(child);
      at = child;
    }
  }
  ChainReader reader(depth);
  std::ostream os(&reader);
  root->write(os);
  EXPECT_TRUE(os.good());
  EXPECT_EQ(QroXmlIndentation(), 0u);
  EXPECT_EQ(reader.lines, 2 * depth - 1);
  EXPECT_EQ(reader.firstBadLine, "");
  // Through the interface's own iterators and lookups, level by level.
  const QroXmlElementI* e = root.get();
  for (int k = 0; k < depth; ++k) {
    ASSERT_NE(e, nullptr) << k;
    const QroXmlAttributeI* d = e->getAttribute("d");
    ASSERT_TRUE(d && std::to_string(k) == d->getValue()) << k;
    QroXmlNodeIterator it(e->getChildIterator());
    e = it.hasNext() ? static_cast<const QroXmlElementI*>(it.next()) : nullptr;
  }
  EXPECT_EQ(e, nullptr);
  root.reset();
}

// Elements of other classes inside a tree keep their own way of writing.
class Custom : public QroXmlElement {
 public:
  Custom() : QroXmlElement("custom") {}
  void write(std::ostream& os) const override { os << "<!-- custom -->" << std::endl; }
};

class Tagged : public QroXmlElement {
 public:
  Tagged() : QroXmlElement("tagged") {}
  void writeAttributes(std::ostream& os) const override { os << " t=\"1\""; }
};

TEST(XmlWriter, ElementsOfOtherClassesWriteThemselves) {
  QroXmlElement root("r");
  QroXmlElement* a = new QroXmlElement("a");
  Tagged* t = new Tagged();
  t->addChild(new QroXmlElement("b"));
  a->addChild(t);
  a->addChild(new Custom());
  root.addChild(a);
  EXPECT_EQ(written(root),
            "<r>\n  <a>\n    <tagged t=\"1\">\n      <b/>\n    </tagged>\n"
            "<!-- custom -->\n  </a>\n</r>\n");
}

}  // namespace
