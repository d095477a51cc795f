// A model written to an XML element tree and read back into a new
// environment, where it solves to the same answer. Two rows of four digits
// 0..3 each sum to 7, the digits of a column differ by at most 1, the first
// row comes first in lexicographic order (QroLeLexI), and a weighted sum is
// minimised; a brute force checks the optimum. Then the second row is kept
// free of 3s by a range over the library's count expression
// (QroIntCountValueEqI), which the program's term handler learns to write.
//
// The library writes and reads an object through the handler of its class
// that the environment's XML context holds. It has handlers for the classes
// the solver layer adds (QroLeLexI, ...), which come to an environment with
// its first solver or first such object, or with
// QroSolverExtraXMLPlugInAddon::Ensure; the handlers of variables, linear
// terms, ranges, objectives and models are the program's own, below. Read
// without the library's handlers, the model is not read: the context lists
// the elements it could not read.
#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "qro.h"
#include "qroext.h"

namespace {

const int Columns = 4;
const int RowSum = 7;
const int WeightX[Columns] = {1, 3, 2, 5};
const int WeightY[Columns] = {4, 1, 3, 2};

std::string number(QroNum v) {
  std::ostringstream os;
  os.precision(17);
  os << v;
  return os.str();
}

bool readNumber(QroXmlReader r, const QroXmlElementI* e, const char* name, QroNum& v) {
  const char* text = r.getAttributeValue(e, name);
  if (text) v = std::strtod(text, nullptr);
  return text != nullptr;
}

// The object that the element, or its first child, names by "Id" or "RefId",
// once read and of the type; else null.
QroExtractableI* objectOf(const QroXmlInfo& info, QroXmlReader r, const QroXmlElementI* e,
                          QroTypeInfo type) {
  QroInt id = -1;
  if (!e || !info.isAlreadyRead(r, e, id) || !r.isObjectOfType(type, id)) return nullptr;
  return r.getExtractableById(id);
}

// The child elements of an element.
std::vector<const QroXmlElementI*> childElements(const QroXmlElementI* e) {
  std::vector<const QroXmlElementI*> children;
  QroXmlNodeIterator it(e->getChildIterator());
  while (it.hasNext()) {
    QroXmlNodeI* n = it.next();
    if (n->getKind() == QroXmlNodeI::ElementKind)
      children.push_back(static_cast<const QroXmlElementI*>(n));
  }
  return children;
}

// Each handler writes what its object holds below the object's element (which
// has "name" and "Id" already) and rebuilds the object from such an element.
// The context reads an element's sub-elements before its handler: a handler
// finds its parts among the objects read, or answers null.

// "numVar": the type and bounds of a variable.
class VarInfo : public QroXmlInfo {
 public:
  explicit VarInfo(QroXmlContextI* c) : QroXmlInfo(c) {}
  const char* getTagName() const override { return "numVar"; }
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override {
    const QroNumVarI* v = static_cast<const QroNumVarI*>(o);
    if (v->isEnumerated()) return false;  // its values are not written here
    w.addAttribute(e, "type", std::to_string(v->getType()).c_str());
    w.addAttribute(e, "lowerbound", number(v->getLB()).c_str());
    w.addAttribute(e, "upperbound", number(v->getUB()).c_str());
    return true;
  }
  QroExtractableI* readExtractable(QroXmlReader r, const QroXmlElementI* e) override {
    QroInt type = 0;
    QroNum lb = 0, ub = 0;
    if (!r.readIntAttribute(e, "type", type) || !readNumber(r, e, "lowerbound", lb) ||
        !readNumber(r, e, "upperbound", ub))
      return nullptr;
    QroEnvI* env = r.getEnv().getImpl();
    return new (env)
        QroNumVarI(env, lb, ub, static_cast<int>(type), r.getAttributeValue(e, "name"));
  }
};

// "linTerm": the constant and a "term" per variable with its coefficient.
// With its parts, it also writes an "expr" per expression part of the term
// (such as a count that a range is over), under the tag it is given.
class TermInfo : public QroXmlInfo {
 public:
  TermInfo(QroXmlContextI* c, bool parts, const char* tag) : QroXmlInfo(c, tag), _parts(parts) {}
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override {
    const QroNumLinTermI* t = static_cast<const QroNumLinTermI*>(o);
    if ((t->getFirstExpr() && !_parts) || t->getQuadPart()) return false;
    w.addAttribute(e, "cst", number(t->getConstant()).c_str());
    for (QroLinearNode* n = t->getFirstNode(); n; n = n->next) {
      QroXmlElementI* term = w.createElement("term");
      w.addSubElement(e, term);
      w.addAttribute(term, "coef", number(n->coef).c_str());
      if (!writeExtractableRef(w, term, n->var, nullptr)) return false;
    }
    for (QroExprNode* n = t->getFirstExpr(); n; n = n->next) {
      QroXmlElementI* part = w.createElement("expr");
      w.addSubElement(e, part);
      if (!writeExtractableRef(w, part, n->expr, nullptr)) return false;
    }
    return true;
  }
  QroExtractableI* readExtractable(QroXmlReader r, const QroXmlElementI* e) override {
    QroNum cst = 0;
    if (!readNumber(r, e, "cst", cst)) return nullptr;
    std::vector<std::pair<QroNum, QroExtractableI*>> terms;
    std::vector<QroExtractableI*> parts;
    for (const QroXmlElementI* c : childElements(e)) {
      QroNum coef = 0;
      bool part = std::string(c->getName()) == "expr";
      QroExtractableI* x =
          objectOf(*this, r, c, part ? QroNumExprI::GetTypeInfo() : QroNumVarI::GetTypeInfo());
      if (!x || (!part && !readNumber(r, c, "coef", coef))) return nullptr;
      if (part)
        parts.push_back(x);
      else
        terms.emplace_back(coef, x);
    }
    QroEnvI* env = r.getEnv().getImpl();
    QroNumLinTermI* t = new (env) QroNumLinTermI(env, cst);
    for (const auto& term : terms) t->appendNode(static_cast<QroNumVarI*>(term.second), term.first);
    for (QroExtractableI* x : parts) t->appendExpr(static_cast<QroNumExprI*>(x));
    return t;
  }

 private:
  const bool _parts;
};

// "range": the bounds and, in an "expr" child, the expression.
class RangeInfo : public QroXmlInfo {
 public:
  explicit RangeInfo(QroXmlContextI* c) : QroXmlInfo(c) {}
  const char* getTagName() const override { return "range"; }
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override {
    const QroRangeI* c = static_cast<const QroRangeI*>(o);
    w.addAttribute(e, "lowerbound", number(c->getLB()).c_str());
    w.addAttribute(e, "upperbound", number(c->getUB()).c_str());
    QroXmlElementI* expr = w.createElement("expr");
    w.addSubElement(e, expr);
    return writeExtractableRef(w, expr, c->getExpr(), nullptr);
  }
  QroExtractableI* readExtractable(QroXmlReader r, const QroXmlElementI* e) override {
    QroNum lb = 0, ub = 0;
    QroExtractableI* x = objectOf(*this, r, r.findElement(e, "expr"), QroNumExprI::GetTypeInfo());
    if (!x || !readNumber(r, e, "lowerbound", lb) || !readNumber(r, e, "upperbound", ub))
      return nullptr;
    QroEnvI* env = r.getEnv().getImpl();
    return new (env)
        QroRangeI(env, lb, static_cast<QroNumExprI*>(x), ub, r.getAttributeValue(e, "name"));
  }
};

// "objective": the sense and, in an "expr" child, the expression.
class ObjectiveInfo : public QroXmlInfo {
 public:
  explicit ObjectiveInfo(QroXmlContextI* c) : QroXmlInfo(c) {}
  const char* getTagName() const override { return "objective"; }
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override {
    const QroObjectiveI* obj = static_cast<const QroObjectiveI*>(o);
    w.addAttribute(e, "sense",
                   obj->getSense() == QroObjectiveI::Minimize ? "Minimize" : "Maximize");
    QroXmlElementI* expr = w.createElement("expr");
    w.addSubElement(e, expr);
    return writeExtractableRef(w, expr, obj->getExpr(), nullptr);
  }
  QroExtractableI* readExtractable(QroXmlReader r, const QroXmlElementI* e) override {
    const char* sense = r.getAttributeValue(e, "sense");
    QroExtractableI* x = objectOf(*this, r, r.findElement(e, "expr"), QroNumExprI::GetTypeInfo());
    if (!sense || !x) return nullptr;
    QroEnvI* env = r.getEnv().getImpl();
    int s = std::string(sense) == "Maximize" ? QroObjectiveI::Maximize : QroObjectiveI::Minimize;
    return new (env)
        QroObjectiveI(env, static_cast<QroNumExprI*>(x), s, r.getAttributeValue(e, "name"));
  }
};

// "model": one child element per member.
class ModelInfo : public QroXmlInfo {
 public:
  explicit ModelInfo(QroXmlContextI* c) : QroXmlInfo(c) {}
  const char* getTagName() const override { return "model"; }
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override {
    const QroModelI* m = static_cast<const QroModelI*>(o);
    for (QroModelI::Link* l = m->getFirstLink(); l; l = l->next)
      if (!writeExtractableRef(w, e, l->member, nullptr)) return false;
    return true;
  }
  QroExtractableI* readExtractable(QroXmlReader r, const QroXmlElementI* e) override {
    std::vector<QroExtractableI*> members;
    for (const QroXmlElementI* member : childElements(e)) {
      members.push_back(objectOf(*this, r, member, QroExtractableI::GetTypeInfo()));
      if (!members.back()) return nullptr;
    }
    QroEnvI* env = r.getEnv().getImpl();
    QroModelI* m = new (env) QroModelI(env, r.getAttributeValue(e, "name"));
    for (QroExtractableI* x : members) m->append(x);
    return m;
  }
};

// The context owns the handlers it is handed.
void registerHandlers(QroXmlContextI* context) {
  QroEnvI* env = context->getEnv();
  context->registerXmlInfo(QroNumVarI::GetTypeIndex(), new (env) VarInfo(context));
  context->registerXmlInfo(QroNumLinTermI::GetTypeIndex(),
                           new (env) TermInfo(context, false, "linTerm"));
  context->registerXmlInfo(QroRangeI::GetTypeIndex(), new (env) RangeInfo(context));
  context->registerXmlInfo(QroObjectiveI::GetTypeIndex(), new (env) ObjectiveInfo(context));
  context->registerXmlInfo(QroModelI::GetTypeIndex(), new (env) ModelInfo(context));
}

// A tag's handler is not replaced: a second handler for "linTerm" would throw
// QroXmlregisterTypeIndex. The handler that writes the parts of terms comes
// under a tag of its own; terms are written with it from then on, and
// "linTerm" elements still read.
void registerTermParts(QroXmlContextI* context) {
  context->registerXmlInfo(QroNumLinTermI::GetTypeIndex(),
                           new (context->getEnv()) TermInfo(context, true, "linTermParts"));
}

// The model over the rows x (vars[0..3]) and y (vars[4..7]).
QroModel buildModel(QroEnv env, const QroNumVar* vars) {
  const QroNumVar* x = vars;
  const QroNumVar* y = vars + Columns;
  QroModel model(env);
  QroNumExprArg sumX = 1 * x[0], sumY = 1 * y[0];
  QroNumExprArg cost = WeightX[0] * x[0] + WeightY[0] * y[0];
  for (int i = 1; i < Columns; ++i) {
    sumX = sumX + 1 * x[i];
    sumY = sumY + 1 * y[i];
    cost = cost + WeightX[i] * x[i] + WeightY[i] * y[i];
  }
  model.add(QroRange(env, RowSum, sumX, RowSum));
  model.add(QroRange(env, RowSum, sumY, RowSum));
  for (int i = 0; i < Columns; ++i) {
    model.add(x[i] - y[i] <= 1);
    model.add(y[i] - x[i] <= 1);
  }
  // The array handles go to the constraint, which keeps them.
  QroIntVarArray first(env, Columns), second(env, Columns);
  for (int i = 0; i < Columns; ++i) {
    first[i] = x[i];
    second[i] = y[i];
  }
  model.add(new (env.getImpl()) QroLeLexI(env.getImpl(), first, second, "rows"));
  model.add(QroObjective(env, cost, QroObjectiveI::Minimize));
  return model;
}

// The number of digits of a row equal to the value: the library's count
// expression, which keeps the array.
QroNumExprArg countOf(QroEnv env, const QroNumVar* row, QroInt value) {
  QroIntExprArray digits(env, 0);
  for (int i = 0; i < Columns; ++i) digits.add(row[i].getImpl());
  return QroNumExprArg(new (env.getImpl()) QroIntCountValueEqI(env.getImpl(), digits, value));
}

// The least cost by brute force over the 4^8 pairs of rows (with no 3 in the
// second row when asked).
int bruteForce(bool noThree) {
  int best = -1;
  for (int code = 0; code < 1 << (4 * Columns); ++code) {
    int x[Columns], y[Columns], sx = 0, sy = 0, cost = 0, order = 0;
    bool close = true;
    for (int i = 0; i < Columns; ++i) {
      x[i] = code >> (2 * i) & 3;
      y[i] = code >> (2 * (i + Columns)) & 3;
      sx += x[i];
      sy += y[i];
      cost += WeightX[i] * x[i] + WeightY[i] * y[i];
      close = close && std::abs(x[i] - y[i]) <= 1 && !(noThree && y[i] == 3);
      if (order == 0) order = x[i] < y[i] ? -1 : x[i] > y[i] ? 1 : 0;
    }
    if (sx == RowSum && sy == RowSum && close && order <= 0 && (best < 0 || cost < best))
      best = cost;
  }
  return best;
}

// The optimum and the rows, as "cost: x | y".
std::string solve(QroModel model, const QroNumVar* vars) {
  QroSolver solver(model);
  std::ostringstream os;
  if (solver.solve()) {
    os << solver.getObjValue() << ":";
    for (int i = 0; i < 2 * Columns; ++i)
      os << (i == Columns ? " |" : "") << " " << solver.getValue(vars[i]);
  } else {
    os << "no solution";
  }
  solver.end();
  return os.str();
}

// Reads the tree into a new environment; with the library's handlers, and
// the handler of the parts of terms, when asked. The answer, or the elements
// not read.
std::string readAndSolve(const QroXmlElementI* tree, const QroXmlWriter& writer,
                         const QroNumVar* written, bool libraryHandlers, bool parts) {
  QroEnv copy;
  QroXmlContextI* context = QroXmlContextI::Make(copy.getImpl());
  registerHandlers(context);
  if (parts) registerTermParts(context);
  if (libraryHandlers) QroSolverExtraXMLPlugInAddon::Ensure(copy.getImpl());
  QroXmlReader reader(copy);
  // Null when the model was not read: the context lists what it did not read.
  // A tree whose object is not a model (an array, a range, ...) throws
  // QroXmlWrongKind.
  QroModelI* read = context->readElementAs<QroModelI>(reader, tree);
  std::ostringstream unread;
  for (QroInt i = 0; i < context->getUnreadCount(); ++i)
    unread << " " << context->getUnreadTag(i) << " " << context->getUnreadId(i);
  std::string answer = "not read:" + unread.str();
  if (read && context->getUnreadCount() == 0) {
    // The reader links each object to the identifier it was written with.
    QroNumVar vars[2 * Columns];
    for (int i = 0; i < 2 * Columns; ++i) {
      QroInt id = writer.getImpl()->findId(written[i].getImpl());
      vars[i] = static_cast<QroNumVarI*>(reader.getExtractableById(id));
    }
    answer = solve(QroModel(read), vars);
  }
  // The reader's holds on what it read, and the arrays it read, go with it.
  reader.end();
  copy.end();
  return answer;
}

// Writes the model with a writer of its own, then solves it, read back with
// and without the library's handlers: false, with the class not written or
// a line on the wrong answer, unless the answers are the brute force's.
bool roundTrip(QroEnv env, QroXmlContextI* context, QroModel model, const QroNumVar* vars,
               bool parts) {
  QroXmlWriter writer(env);
  std::unique_ptr<QroXmlElementI> tree(context->writeExtractable(model.getImpl(), writer, nullptr));
  if (!tree) {
    const char* unwritten = context->getFirstUnwritableClass();
    std::cout << "not written: " << (unwritten ? unwritten : "?") << std::endl;
    writer.end();
    return false;
  }
  std::ostringstream os;
  tree->write(os);
  const std::string text = os.str();
  std::cout << "written: " << std::count(text.begin(), text.end(), '\n') << " lines of XML"
            << std::endl;
  const std::string original = solve(model, vars);
  const std::string copied = readAndSolve(tree.get(), writer, vars, true, parts);
  const std::string bare = readAndSolve(tree.get(), writer, vars, false, parts);
  writer.end();
  std::cout << "solved:          " << original << std::endl
            << "read and solved: " << copied << std::endl
            << "read without the library's handlers: " << bare << std::endl;
  const int best = bruteForce(parts);
  if (copied == original && original.rfind(std::to_string(best) + ":", 0) == 0 &&
      bare.rfind("not read: LeLex ", 0) == 0)
    return true;
  std::cerr << "wrong answer: the optimum is " << best << std::endl;
  return false;
}

}  // namespace

int main() {
  QroEnv env;
  bool right = false;
  try {
    QroNumVar vars[2 * Columns];
    for (QroNumVar& v : vars) v = QroNumVar(env, 0, 3, QroNumVar::Int);
    QroModel model = buildModel(env, vars);

    // Written with the program's handlers and the library's for QroLeLexI,
    // which the environment has since a QroLeLexI was made there.
    QroXmlContextI* context = QroXmlContextI::Make(env.getImpl());
    registerHandlers(context);
    right = roundTrip(env, context, model, vars, false);

    // No 3 in the second row: a range over the count of its 3s. The range's
    // term holds the count as an expression part, which the handler of terms
    // over variables does not write; the handler of the parts does.
    model.add(QroRange(env, 0, countOf(env, vars + Columns, 3), 0));
    std::cout << "no 3 in the second row, ";
    right = !roundTrip(env, context, model, vars, false) && right;
    const char* unwritten = context->getFirstUnwritableClass();
    right = unwritten && std::string(unwritten) == "QroNumLinTermI" && right;
    registerTermParts(context);
    right = roundTrip(env, context, model, vars, true) && right;
  } catch (QroException& e) {
    e.print(std::cerr);
    std::cerr << std::endl;
    right = false;
  }
  env.end();
  return right ? 0 : 1;
}
