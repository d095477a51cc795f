// The library's own classes on a failure's path. In a manager whose failures
// are exceptions, a failure jumps back to its search while only classes that
// declare themselves the library's (QRCLIBRARYCLASS, naming the class made)
// lie on its way, and is thrown from the moment the manager meets another: a
// class of the library that does not declare itself makes every later
// failure unwind. Failures are counted in searches beside objects of the
// library, in a solver's manager and in an engine manager switched to
// exceptions; a scan of the library's sources, headers and .cpp files alike,
// finds the classes that derive from one asking for the declaration and lack
// their own. The harnesses check the whole catalogue the same way
// (runPropCase, checkModelCase: the manager vouches for every object).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "qroext.h"
#include "support/reported.h"

namespace {

// ---------------------------------------------------------------- failures counted

// P pigeons in P - 1 holes, pairwise different: every leaf of its search fails.
QrcIntVarArray pigeonhole(const QrcManager& mgr, QrcInt pigeons) {
  QrcIntVarArray x(mgr, pigeons, 0, pigeons - 2);
  for (QrcInt i = 0; i < pigeons; ++i)
    for (QrcInt j = i + 1; j < pigeons; ++j) mgr.add(x[i] != x[j]);
  return x;
}

QrcTupleSet sumTriples(const QrcManager& mgr) {
  QrcTupleSet set(mgr, 3);
  for (QrcInt a = 0; a <= 2; ++a)
    for (QrcInt b = 0; a + b <= 2; ++b) {
      QrcInt t[] = {a, b, a + b};
      set.add(QrcIntArray(mgr, 3, t));
    }
  set.close();
  return set;
}

void element(const QrcManager& mgr, bool spread, bool equal) {
  QrcInt compact[] = {3, 1, 4, 1, 5, 2, 6}, wide[] = {30, 10, 40, 10, 50, 20, 60};
  QrcIntArray a(mgr, 7, spread ? wide : compact);
  QrcIntVar y(mgr, 0, 60), x(mgr, 0, 6);
  mgr.add(equal ? QrcElementEq(y, a, x) : QrcElementNEq(y, a, x));
}

// Objects of the library over variables of their own, made after the
// pigeonhole's, before its search.
struct Beside {
  const char* name;
  std::function<void(const QrcManager&)> post;
} const kBeside[] = {
    {"nothing", [](const QrcManager&) {}},
    {"inverse",
     [](const QrcManager& mgr) {
       mgr.add(QrcInverse(QrcIntVarArray(mgr, 3, 0, 2), QrcIntVarArray(mgr, 3, 0, 2)));
     }},
    {"set channelling",
     [](const QrcManager& mgr) {
       QrcIntSetVarArray sets(mgr, 2);
       for (QrcInt i = 0; i < 2; ++i) sets.set(i, QrcIntSetVar(mgr, 0, 2));
       mgr.add(QrcInverse(sets, QrcIntVarArray(mgr, 3, 0, 1)));
     }},
    {"element over 7 constants", [](const QrcManager& mgr) { element(mgr, false, true); }},
    {"element over 7 spread constants", [](const QrcManager& mgr) { element(mgr, true, true); }},
    {"element disequality", [](const QrcManager& mgr) { element(mgr, false, false); }},
    {"allowed table",
     [](const QrcManager& mgr) {
       mgr.add(QrcTableConstraint(QrcIntVarArray(mgr, 3, 0, 2), sumTriples(mgr), true));
     }},
    {"forbidden table",
     [](const QrcManager& mgr) {
       mgr.add(QrcTableConstraint(QrcIntVarArray(mgr, 3, 0, 2), sumTriples(mgr), false));
     }},
    // The report leaves the box's constructor as an exception, which the
    // caller catches.
    {"report out of a constructor",
     [](const QrcManager& mgr) {
       QrcInt sizes[] = {1};
       bool reported = false;
       testing::internal::CaptureStderr();
       try {
         QrcBox(0, QrcIntVarArray(mgr, 1, 0, 3), QrcIntArray(mgr, 1, sizes));
       } catch (...) {
         reported = true;
       }
       testing::internal::GetCapturedStderr();
       EXPECT_TRUE(reported);
     }},
};

// Beside each object, every failure of the search jumps, in a solver's
// manager and in an engine manager switched to exceptions.
TEST(LibraryClasses, FailuresJumpBesideTheLibrarysObjects) {
  for (bool inSolver : {true, false}) {
    for (const Beside& row : kBeside) {
      SCOPED_TRACE(testing::Message() << row.name << (inSolver ? ", solver" : ", engine"));
      QroEnv env;
      QroModel model(env);
      QroSolver solver(model);
      QrcManager engine(QrcNoEdit);
      qrotest::ThrowingReporter reporter;
      engine.getImpl()->setErrorReporter(&reporter);
      engine.useExceptions();
      QrcManager mgr = inSolver ? solver.getManager() : engine;
      QrcManagerI* m = mgr.getImpl();
      QrcIntVarArray x = pigeonhole(mgr, 5);
      row.post(mgr);
      QrcInt fails = m->getFails(), jumped = m->getJumpedFailures(),
             thrown = m->getThrownFailures();
      QrcSearch search(mgr, QrcGenerate(x));
      EXPECT_FALSE(search.next());
      search.end();
      EXPECT_GT(m->getFails() - fails, 0);
      EXPECT_EQ(m->getJumpedFailures() - jumped, m->getFails() - fails);
      EXPECT_EQ(m->getThrownFailures() - thrown, 0);
      EXPECT_FALSE(m->hasMetForeignCode());
      engine.end();
      solver.end();
      env.end();
    }
  }
}

// ---------------------------------------------------------------- the scan

// The text with comments and literals blanked and continued lines joined
// (a macro that defines a class reads as its definition).
std::string codeOf(const std::string& text) {
  std::string out;
  enum { Code, Line, Block, Str, Chr } state = Code;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i], next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (c == '\\' && next == '\n') {
      ++i;
      continue;
    }
    if (state == Code) {
      if (c == '/' && (next == '/' || next == '*')) {
        state = next == '/' ? Line : Block;
        ++i;
      } else if (c == '"' || c == '\'') {
        state = c == '"' ? Str : Chr;
      } else {
        out += c;
        continue;
      }
      out += ' ';
    } else if (state == Line && c == '\n') {
      state = Code;
      out += c;
    } else if (state == Block && c == '*' && next == '/') {
      state = Code;
      ++i;
    } else if (state == Str || state == Chr) {
      if (c == '\\')
        ++i;
      else if (c == (state == Str ? '"' : '\''))
        state = Code;
    }
  }
  return out;
}

// Identifiers and numbers whole, every other character alone.
std::vector<std::string> tokensOf(const std::string& code) {
  std::vector<std::string> out;
  auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  for (size_t i = 0; i < code.size();) {
    if (std::isspace(static_cast<unsigned char>(code[i]))) {
      ++i;
    } else if (word(code[i])) {
      size_t j = i;
      while (j < code.size() && word(code[j])) ++j;
      out.push_back(code.substr(i, j - i));
      i = j;
    } else {
      out.push_back(code.substr(i++, 1));
    }
  }
  return out;
}

bool isWord(const std::string& t) {
  return !t.empty() && (std::isalpha(static_cast<unsigned char>(t[0])) || t[0] == '_');
}

struct Base {
  std::string name;
  std::vector<std::string> args;  // template arguments, each as its tokens joined
};

struct ClassDef {
  std::string file, name;
  std::vector<Base> bases;
  std::vector<std::string> params;  // template parameters
  std::set<std::string> declared;   // QRCLIBRARYCLASS(...) in the body
  bool root = false;                // asks for the declaration: virtual getLibraryClass
};

// The index of the token closing the bracket opened at t[i], or t.size().
size_t closing(const std::vector<std::string>& t, size_t i, const char* open, const char* close) {
  int depth = 0;
  for (size_t k = i; k < t.size(); ++k) {
    if (t[k] == open) ++depth;
    if (t[k] == close && --depth == 0) return k;
  }
  return t.size();
}

// Splits t[from, to) at the commas outside brackets.
std::vector<std::vector<std::string>> splitTopLevel(const std::vector<std::string>& t, size_t from,
                                                    size_t to) {
  std::vector<std::vector<std::string>> parts(1);
  int depth = 0;
  for (size_t k = from; k < to; ++k) {
    const std::string& s = t[k];
    if (s == "<" || s == "(" || s == "[") ++depth;
    if (s == ">" || s == ")" || s == "]") --depth;
    if (s == "," && depth == 0)
      parts.emplace_back();
    else
      parts.back().push_back(s);
  }
  return parts;
}

Base baseOf(const std::vector<std::string>& p) {
  Base b;
  size_t k = 0;
  for (; k < p.size() && p[k] != "<"; ++k)
    if (isWord(p[k]) && p[k] != "public" && p[k] != "protected" && p[k] != "private" &&
        p[k] != "virtual")
      b.name = p[k];
  if (k < p.size()) {
    for (const auto& arg : splitTopLevel(p, k + 1, closing(p, k, "<", ">"))) {
      std::string joined;
      for (const std::string& s : arg) joined += s;
      b.args.push_back(joined);
    }
  }
  return b;
}

// The names of the parameters of the template list t[from, to).
std::vector<std::string> paramsOf(const std::vector<std::string>& t, size_t from, size_t to) {
  std::vector<std::string> names;
  for (const auto& part : splitTopLevel(t, from, to)) {
    std::string name;
    for (const std::string& s : part) {
      if (s == "=") break;
      if (isWord(s)) name = s;
    }
    names.push_back(name);
  }
  return names;
}

// The body t[from, to) of a class: its declarations, and whether it asks for them.
void readBody(const std::vector<std::string>& t, size_t from, size_t to, ClassDef& d) {
  size_t statement = from;
  for (size_t k = from; k < to; ++k) {
    if (t[k] == ";" || t[k] == "{" || t[k] == "}") statement = k;
    if (t[k] == "QRCLIBRARYCLASS" && k + 3 < to && t[k + 1] == "(" && t[k + 3] == ")")
      d.declared.insert(t[k + 2]);
    if (t[k] == "getLibraryClass")
      for (size_t j = statement; j < k; ++j)
        if (t[j] == "virtual") d.root = true;
  }
}

// Every class or struct defined in the text (nested ones too), its bases
// and template parameters.
void readClasses(const std::string& file, const std::string& text, std::vector<ClassDef>& out) {
  std::vector<std::string> t = tokensOf(codeOf(text));
  std::vector<std::string> params;
  size_t paramsFor = 0;
  for (size_t k = 0; k + 2 < t.size(); ++k) {
    if (t[k] == "template" && t[k + 1] == "<") {
      size_t end = closing(t, k + 1, "<", ">");
      params = paramsOf(t, k + 2, end);
      paramsFor = end + 1;
      continue;
    }
    if ((t[k] != "class" && t[k] != "struct") || (k > 0 && t[k - 1] == "enum") || !isWord(t[k + 1]))
      continue;
    ClassDef d;
    d.file = file;
    d.name = t[k + 1];
    if (k == paramsFor) d.params = params;
    size_t j = k + 2;
    if (j < t.size() && t[j] == "final") ++j;
    size_t open = j;
    if (j + 1 < t.size() && t[j] == ":" && t[j + 1] != ":") {
      open = j + 1;
      int depth = 0;
      while (open < t.size() && !(depth == 0 && (t[open] == "{" || t[open] == ";"))) {
        if (t[open] == "<") ++depth;
        if (t[open] == ">") --depth;
        ++open;
      }
      if (open == t.size() || t[open] != "{") continue;
      for (const auto& part : splitTopLevel(t, j + 1, open)) d.bases.push_back(baseOf(part));
    }
    if (open >= t.size() || t[open] != "{") continue;
    readBody(t, open + 1, closing(t, open, "{", "}"), d);
    out.push_back(d);
  }
}

// What the scan found: the classes that must declare themselves, how many
// of them are defined in .cpp files, and those that do not.
struct ScanResult {
  int checked = 0, inSources = 0;
  std::vector<std::string> undeclared;
};

// Classes that run code of the caller's on a failure's path and are
// therefore taken for the caller's: they declare nothing on purpose.
const std::set<std::string>& callersCodeClasses() {
  static const std::set<std::string> names = {
      // The caller's functions of floats.
      "QrcMonotonicFloatExpI", "QrcMonotonicIncreasingFloatExpI", "QrcMonotonicDecreasingFloatExpI",
      // The caller's functions behind an accessor.
      "QrcIntFunctionAccessorI", "QrcIntExpFunctionAccessorI", "QrcIntSetVarFunctionAccessorI",
      // A solver listener's post and propagate.
      "QrcAggregatorLinkingConstraintI"};
  return names;
}

ScanResult scan(const std::vector<ClassDef>& defs, const std::set<std::string>& exempt) {
  std::map<std::string, std::vector<const ClassDef*>> byName;
  for (const ClassDef& d : defs) byName[d.name].push_back(&d);
  std::map<std::string, int> derives;  // 0 unknown, 1 in progress or no, 2 yes
  std::function<bool(const std::string&)> derived = [&](const std::string& name) {
    int& state = derives[name];
    if (state) return state == 2;
    state = 1;
    bool yes = false;
    for (const ClassDef* d : byName[name])
      for (const Base& b : d->bases) {
        const std::vector<const ClassDef*>& found = byName[b.name];
        yes = yes ||
              std::any_of(found.begin(), found.end(), [](const ClassDef* c) { return c->root; }) ||
              derived(b.name);
      }
    derives[name] = yes ? 2 : 1;
    return yes;
  };
  // Whether d declares a parameter of its own (a template base whose
  // derived classes pass themselves), or a base template declares its
  // parameter that d passes its own name.
  auto declaredByBase = [&](const ClassDef& d) {
    for (const std::string& p : d.params)
      if (d.declared.count(p)) return true;
    for (const Base& b : d.bases)
      for (const ClassDef* t : byName[b.name])
        for (size_t k = 0; k < t->params.size() && k < b.args.size(); ++k)
          if (t->declared.count(t->params[k]) && b.args[k] == d.name) return true;
    return false;
  };
  ScanResult r;
  for (const ClassDef& d : defs) {
    if (d.root || !derived(d.name)) continue;
    ++r.checked;
    if (d.file.size() > 4 && d.file.compare(d.file.size() - 4, 4, ".cpp") == 0) ++r.inSources;
    if (!d.declared.count(d.name) && !declaredByBase(d) && !exempt.count(d.name))
      r.undeclared.push_back(d.file + ": " + d.name);
  }
  return r;
}

// The library's sources: this file is tests/solver/ in the source tree.
std::filesystem::path sourceDir() {
  if (const char* d = std::getenv("QRO_SOURCE_DIR")) return d;
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path();
}

std::vector<ClassDef> libraryClasses(int& files) {
  std::vector<ClassDef> defs;
  files = 0;
  const std::filesystem::path root = sourceDir();
  for (const char* dir : {"include", "modelling", "engine", "constraints", "solver"}) {
    if (!std::filesystem::is_directory(root / dir)) continue;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root / dir)) {
      std::string ext = e.path().extension().string();
      if (!e.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
      std::ifstream in(e.path());
      std::stringstream text;
      text << in.rdbuf();
      readClasses(std::filesystem::relative(e.path(), root).string(), text.str(), defs);
      ++files;
    }
  }
  return defs;
}

// The scan itself, on sources of a few lines: what it takes for a
// declaration and what for a slip.
TEST(LibraryClasses, TheScanTellsDeclarationsFromSlips) {
  const std::string roots =
      "class QrcDemonI { public: virtual const std::type_info* getLibraryClass() const; };\n"
      "class QrcOther { const std::type_info* getLibraryClass() const; };\n";
  struct Row {
    const char* text;
    std::vector<std::string> undeclared;
  } rows[] = {
      {"class A : public QrcDemonI { QRCLIBRARYCLASS(A) };", {}},
      {"class A : public QrcDemonI { QRCLIBRARYCLASS(A) }; class B final : public A {};", {"B"}},
      {"struct A : QrcDemonI { QRCLIBRARYCLASS(QrcDemonI) };", {"A"}},
      {"namespace { class A : public ::QrcDemonI {}; }", {"A"}},
      {"class A : public QrcOther {};", {}},
      {"template <class T> class A : public QrcDemonI { QRCLIBRARYCLASS(A) };", {}},
      {"template <class Self, class Ct, void (Ct::*R)()> class T : public QrcDemonI {\n"
       "  QRCLIBRARYCLASS(Self) };\n"
       "class D : public T<D, X, &X::f> {};\n"
       "class E\n  : public T<D, X, &X::g> {};",
       {"E"}},
      {"template <class Ct> class T : public QrcDemonI { QRCLIBRARYCLASS(T) };\n"
       "class D : public T<D> {};",
       {"D"}},
      {"#define MAKE(NAME) \\\n  class NAME : public QrcDemonI { \\\n    QRCLIBRARYCLASS(NAME) "
       "\\\n  };",
       {}},
      {"// class A : public QrcDemonI {};\nconst char* s = \"class B : public QrcDemonI {\";", {}},
      {"class A : public QrcDemonI {\n  class Inner : public QrcDemonI { QRCLIBRARYCLASS(Inner) "
       "};\n"
       "  QRCLIBRARYCLASS(A) };\nenum class K : int { a };",
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    std::vector<ClassDef> defs;
    readClasses("roots.h", roots, defs);
    readClasses("row.cpp", row.text, defs);
    std::vector<std::string> want;
    for (const std::string& name : row.undeclared) want.push_back("row.cpp: " + name);
    EXPECT_EQ(scan(defs, {}).undeclared, want);
  }
}

// Every class of the library derived from one that asks for the declaration
// declares itself, wherever it is defined, but for the classes that run the
// caller's code.
TEST(LibraryClasses, EveryClassOnAFailurePathDeclaresItself) {
  int files = 0;
  std::vector<ClassDef> defs = libraryClasses(files);
  ASSERT_GT(files, 300) << "the library's sources are not under " << sourceDir();
  ScanResult r = scan(defs, callersCodeClasses());
  // The scan reads what it should: hundreds of classes, many in .cpp files.
  EXPECT_GT(r.checked, 300);
  EXPECT_GT(r.inSources, 40);
  for (const std::string& slip : r.undeclared)
    ADD_FAILURE() << slip << " declares no QRCLIBRARYCLASS of its own";
  std::set<std::string> names;
  for (const ClassDef& d : defs) names.insert(d.name);
  for (const std::string& name : callersCodeClasses())
    EXPECT_TRUE(names.count(name)) << name << " is listed but not defined";
}

}  // namespace
