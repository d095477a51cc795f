// The solver layer's extra modelling constraints, their XML handlers and the
// add-on that registers the handlers with the XML contexts.
#include "qrosolverextra.h"

#include <memory>
#include <ostream>

#include "qroalgorithm.h"
#include "qromodel.h"
#include "qroregistry.h"

namespace {

QroExtractableArray asExtractables(const QroArray& a) {
  return QroExtractableArray(a.getImpl());
}

// An integer array of the environment holding the values of a (empty handle
// for an empty handle).
QroIntArray copyInts(QroEnvI* env, const QroIntArray& a) {
  if (!a.getImpl()) return QroIntArray();
  QroIntArray copy(QroEnv(env), 0);
  copy.add(a);
  return copy;
}

// A copy in env of an array of extractables (an array read from XML may be
// named by several elements; each object owns its own copy).
QroExtractableArray copyExtractables(QroEnvI* env, QroArrayI* a) {
  QroExtractableArray source(a);
  QroExtractableArray copy(QroEnv(env), 0);
  copy.add(source);
  return copy;
}

// env, once the array and its elements belong to it (before the constructor's
// base registers anything).
QroEnvI* withElements(QroEnvI* env, const QroArray& a, const char* message) {
  QroCheckExtractablesEnv(env, a, message);
  return env;
}
QroEnvI* withData(QroEnvI* env, const QroArray& a, const char* message) {
  QroCheckArrayEnv(env, a, message);
  return env;
}

const char* const kLexMixing = "QroLexOrder: mixing mismatch environments";
const char* const kStretchMixing = "QroStretch: mixing mismatch environments";
const char* const kPatternMixing = "QroPattern: mixing mismatch environments";
const char* const kCountMixing = "QroIntCountValueEq: mixing mismatch environments";
const char* const kToBranchMixing = "QroToBranch: mixing mismatch environments";

void endArray(QroArray& a) {
  if (a.getImpl()) a.end();
}

void visitArrays(QroExtractableI* self, QroExtractableVisitor* v, const QroExtractableArray& a,
                 const QroExtractableArray* b = nullptr) {
  v->visit(self);
  if (!v->isDone() && a.getImpl()) v->visitArray(self, a);
  if (b && !v->isDone() && b->getImpl()) v->visitArray(self, *b);
  v->endVisit(self);
}

// "Class (name)" or "Class (id)", then a line end.
void displayHeader(std::ostream& os, const QroExtractableI* x) {
  os << x->getClassName() << " (";
  if (x->getName())
    os << x->getName();
  else
    os << x->getId();
  os << ")" << std::endl;
}

template <class V>
void displayLine(std::ostream& os, const char* label, const V& value) {
  os << "  " << label << " " << value << std::endl;
}

}  // namespace

// ---------------------------------------------------------------------------
// Lexicographic orders

QroLexOrderI::QroLexOrderI(QroEnvI* env, const QroIntVarArray& first, const QroIntVarArray& second,
                           const char* name)
    : QroConstraintI(withElements(withElements(env, first, kLexMixing), second, kLexMixing), name) {
  QroSolverExtraXMLPlugInAddon::Ensure(env);
  _first = asExtractables(first);
  _second = asExtractables(second);
  _first.incrementUseCounts();
  _second.incrementUseCounts();
}

QroLexOrderI::~QroLexOrderI() {
  _first.releaseElements();
  _second.releaseElements();
  endArray(_first);
  endArray(_second);
}

void QroLexOrderI::visitSubExtractables(QroExtractableVisitor* v) {
  visitArrays(this, v, _first, &_second);
}

void QroLexOrderI::display(std::ostream& os) const {
  displayHeader(os, this);
  displayLine(os, "_first", _first);
  displayLine(os, "_second", _second);
}

QroLeLexI::~QroLeLexI() {}
QroGeLexI::~QroGeLexI() {}

QroExtractableI* QroLeLexI::makeClone(QroEnvI* env) const {
  return new (env) QroLeLexI(env, QroIntVarArray(QroGetClones(_first, env).getImpl()),
                             QroIntVarArray(QroGetClones(_second, env).getImpl()));
}

QroExtractableI* QroGeLexI::makeClone(QroEnvI* env) const {
  return new (env) QroGeLexI(env, QroIntVarArray(QroGetClones(_first, env).getImpl()),
                             QroIntVarArray(QroGetClones(_second, env).getImpl()));
}

// ---------------------------------------------------------------------------
// Stretch

QroStretchI::QroStretchI(QroEnvI* env, const QroIntVarArray& vars, const QroIntArray& mins,
                         const QroIntArray& maxes, const QroIntArray& values, const char* name)
    : QroConstraintI(
          withData(withData(withData(withElements(env, vars, kStretchMixing), mins, kStretchMixing),
                            maxes, kStretchMixing),
                   values, kStretchMixing),
          name) {
  QroSolverExtraXMLPlugInAddon::Ensure(env);
  _vars = asExtractables(vars);
  _mins = mins;
  _maxes = maxes;
  _values = values;
  _vars.incrementUseCounts();
}

QroStretchI::~QroStretchI() {
  _vars.releaseElements();
  endArray(_vars);
  endArray(_mins);
  endArray(_maxes);
  endArray(_values);
}

QroExtractableI* QroStretchI::makeClone(QroEnvI* env) const {
  return new (env) QroStretchI(env, QroIntVarArray(QroGetClones(_vars, env).getImpl()),
                               copyInts(env, _mins), copyInts(env, _maxes), copyInts(env, _values));
}

void QroStretchI::visitSubExtractables(QroExtractableVisitor* v) {
  visitArrays(this, v, _vars);
}

void QroStretchI::display(std::ostream& os) const {
  displayHeader(os, this);
  displayLine(os, "_vars", _vars);
  displayLine(os, "_mins", _mins);
  displayLine(os, "_maxes", _maxes);
  if (_values.getImpl()) displayLine(os, "_values", _values);
}

// ---------------------------------------------------------------------------
// Pattern

QroBool QroIsTupleSetExtractable(const QroExtractableI* x) {
  return x && !x->isType(QroNumExprI::GetTypeInfo()) && !x->isType(QroIntSetVarI::GetTypeInfo()) &&
         !x->isType(QroIntervalExprI::GetTypeInfo()) && !x->isType(QroModelI::GetTypeInfo()) &&
         !x->isType(QroObjectiveI::GetTypeInfo());
}

namespace {
// env, once the variables and the pattern set fit (checked before the base
// registers the constraint).
QroEnvI* patternEnv(QroEnvI* env, const QroIntVarArray& vars, QroExtractableI* patterns) {
  withElements(env, vars, kPatternMixing);
  if (!patterns) throw QroWrongUsage("QroPatternI: no pattern set");
  QroCheckSameEnv(env, patterns, kPatternMixing);
  if (!QroIsTupleSetExtractable(patterns))
    throw QroWrongUsage("QroPatternI: the pattern set is not a tuple set");
  return env;
}
}  // namespace

QroPatternI::QroPatternI(QroEnvI* env, const QroIntVarArray& vars, QroExtractableI* patterns,
                         QroInt cst, const char* name)
    : QroConstraintI(patternEnv(env, vars, patterns), name), _patterns(patterns), _cst(cst) {
  QroSolverExtraXMLPlugInAddon::Ensure(env);
  _vars = asExtractables(vars);
  _vars.incrementUseCounts();
}

QroPatternI::~QroPatternI() {
  _vars.releaseElements();
  endArray(_vars);
}

QroExtractableI* QroPatternI::makeClone(QroEnvI* env) const {
  QroExtractableI* patterns = _patterns ? env->getClone(_patterns) : nullptr;
  return new (env)
      QroPatternI(env, QroIntVarArray(QroGetClones(_vars, env).getImpl()), patterns, _cst);
}

void QroPatternI::visitSubExtractables(QroExtractableVisitor* v) {
  visitArrays(this, v, _vars);
}

void QroPatternI::display(std::ostream& os) const {
  displayHeader(os, this);
  displayLine(os, "_vars", _vars);
}

// ---------------------------------------------------------------------------
// Count of the expressions equal to a value

QroIntCountValueEqI::QroIntCountValueEqI(QroEnvI* env, const QroIntExprArray& exprs, QroInt value)
    : QroIntExprI(withElements(env, exprs, kCountMixing)), _value(value) {
  QroSolverExtraXMLPlugInAddon::Ensure(env);
  _exprs = asExtractables(exprs);
  _exprs.incrementUseCounts();
}

QroIntCountValueEqI::~QroIntCountValueEqI() {
  _exprs.releaseElements();
  endArray(_exprs);
}

QroExtractableI* QroIntCountValueEqI::makeClone(QroEnvI* env) const {
  return new (env)
      QroIntCountValueEqI(env, QroIntExprArray(_exprs.makeClone(env).getImpl()), _value);
}

void QroIntCountValueEqI::visitSubExtractables(QroExtractableVisitor* v) {
  visitArrays(this, v, _exprs);
}

void QroIntCountValueEqI::display(std::ostream& os) const {
  if (_env->isParenthesisDisplay())
    os << "QroMin( " << _exprs << ") ";
  else
    os << "min(" << _exprs << ")";
}

QroNum QroIntCountValueEqI::eval(QroAlgorithmI* algorithm) const {
  if (!_exprs.getImpl()) return 0.0;
  QroNum count = 0.0;
  QroNum value = static_cast<QroNum>(_value);
  for (QroInt i = 0; i < _exprs.getSize(); ++i) {
    QroExtractableI* x = _exprs[i];
    if (x && static_cast<QroNumExprI*>(x)->eval(algorithm) == value) count += 1.0;
  }
  return count;
}

// ---------------------------------------------------------------------------
// Branching mark

QroToBranchI::QroToBranchI(QroEnvI* env, const QroIntVarArray& vars, const char* name)
    : QroConstraintI(withElements(env, vars, kToBranchMixing), name), _vars(vars), _ownsVars(0) {}

QroToBranchI::QroToBranchI(QroEnvI* env, const QroIntVarArray& vars, const char* name, TakeArray)
    : QroToBranchI(env, vars, name) {
  _ownsVars = 1;
}

QroToBranchI::~QroToBranchI() {
  if (_ownsVars) endArray(_vars);
}

QroExtractableI* QroToBranchI::makeClone(QroEnvI* env) const {
  return new (env) QroToBranchI(
      env, QroIntVarArray(QroGetClones(asExtractables(_vars), env).getImpl()), nullptr, TakesArray);
}

void QroToBranchI::visitSubExtractables(QroExtractableVisitor* v) {
  visitArrays(this, v, asExtractables(_vars));
}

void QroToBranchI::display(std::ostream& os) const {
  displayHeader(os, this);
  displayLine(os, "_x", asExtractables(_vars));
}

// ---------------------------------------------------------------------------
// The add-on

QroSolverExtraXMLPlugInAddon::~QroSolverExtraXMLPlugInAddon() {}

void QroSolverExtraXMLPlugInAddon::Ensure(QroEnvI* env) {
  if (env->getExtraXmlAddon()) return;
  QroSolverExtraXMLPlugInAddon* addon = new (env) QroSolverExtraXMLPlugInAddon(env);
  env->getPlugInRegistry()->addAddon(addon, QroXmlContextI::PlugInName);
  env->setExtraXmlAddon(addon);
}

void QroSolverExtraXMLPlugInAddon::attach(QroPlugIn* plugIn) {
  QroXmlContextI* context = plugIn && plugIn->getTypeInfo() == QroPlugIn::GetTypeInfo()
                                ? dynamic_cast<QroXmlContextI*>(plugIn)
                                : nullptr;
  if (!context) throw QroWrongUsage("Wrong plugin for the XML context");
  QroEnvI* env = getEnv();
  context->registerXmlInfo(QroGeLexI::GetTypeIndex(), new (env) QroXmlInfo_GeLex(context));
  context->registerXmlInfo(QroLeLexI::GetTypeIndex(), new (env) QroXmlInfo_LeLex(context));
  context->registerXmlInfo(QroToBranchI::GetTypeIndex(), new (env) QroXmlInfo_ToBranch(context));
  context->registerXmlInfo(QroStretchI::GetTypeIndex(), new (env) QroXmlInfo_Stretch(context));
  context->registerXmlInfo(QroPatternI::GetTypeIndex(), new (env) QroXmlInfo_Pattern(context));
  context->registerXmlInfo(QroIntCountValueEqI::GetTypeIndex(),
                           new (env) QroXmlInfo_IntCountValueEq(context));
}

// ---------------------------------------------------------------------------
// XML handlers

namespace {

const char* vocabulary(QroXmlNameIndex i) {
  return QroXmlVocabulary[i];
}

bool isEmpty(const QroArray& a) {
  return !a.getImpl() || a.getSize() == 0;
}

// Writes the array into a new child element of the constraint's element.
bool writeExprArrayChild(const QroXmlInfo& info, QroXmlWriter writer, QroXmlElementI* element,
                         const char* child, const QroArray& array) {
  std::unique_ptr<QroXmlElementI> e(writer.createElement(child));
  if (!info.writeIntExprArray(writer, e.get(), QroIntExprArray(array.getImpl()))) return false;
  writer.addSubElement(element, e.release());
  return true;
}

void writeIntArrayChild(const QroXmlInfo& info, QroXmlWriter writer, QroXmlElementI* element,
                        const char* child, const QroIntArray& array) {
  std::unique_ptr<QroXmlElementI> e(writer.createElement(child));
  writer.addSubElement(e.get(), info.writeIntArray(writer, array));
  writer.addSubElement(element, e.release());
}

void writeCst(QroXmlWriter writer, QroXmlElementI* element, QroInt value) {
  char* text = writer.toString(value);
  writer.addAttribute(element, vocabulary(QroXmlCstName), text);
  writer.freeString(text);
}

// The extractable read for a child, or null (also when the child names an
// object that is not an extractable).
QroExtractableI* readExtractableChild(const QroXmlInfo& info, QroXmlReader reader,
                                      const QroXmlElementI* element, const char* child) {
  QroXmlElementI* e = reader.findElement(element, child);
  QroInt id = -1;
  if (!e || !info.isAlreadyRead(reader, e, id)) return nullptr;
  return reader.getExtractableById(id);
}

// The array read for a child (objects linked untyped are the arrays read).
bool readArrayChild(const QroXmlInfo& info, QroXmlReader reader, const QroXmlElementI* element,
                    const char* child, QroArrayI*& array) {
  QroXmlElementI* e = reader.findElement(element, child);
  QroInt id = -1;
  array = nullptr;
  if (!e || !info.isAlreadyRead(reader, e, id) || reader.getExtractableById(id)) return false;
  array = static_cast<QroArrayI*>(reader.getObjectById(id));
  return array != nullptr;
}

bool readIntArrayChild(const QroXmlInfo& info, QroXmlReader reader, const QroXmlElementI* element,
                       const char* child, QroIntArray& array) {
  QroXmlElementI* e = reader.findElement(element, child);
  array = QroIntArray(reader.getEnv(), 0);
  if (e && info.readIntArray(reader, e, array)) return true;
  array.end();
  return false;
}

const char* nameOf(QroXmlReader reader, const QroXmlElementI* element) {
  return reader.getAttributeValue(element, vocabulary(QroXmlNameName));
}

template <class T>
const T* typed(const QroRtti* o) {
  return static_cast<const T*>(o);
}

bool writeLex(const QroXmlInfo& info, QroXmlWriter writer, const QroLexOrderI* c,
              QroXmlElementI* element) {
  if (isEmpty(c->getFirst())) return true;
  return writeExprArrayChild(info, writer, element, vocabulary(QroXmlArray1Name), c->getFirst()) &&
         writeExprArrayChild(info, writer, element, vocabulary(QroXmlArray2Name), c->getSecond());
}

template <class Lex>
QroExtractableI* readLex(const QroXmlInfo& info, QroXmlReader reader,
                         const QroXmlElementI* element) {
  QroArrayI *a, *b;
  if (!readArrayChild(info, reader, element, vocabulary(QroXmlArray1Name), a) ||
      !readArrayChild(info, reader, element, vocabulary(QroXmlArray2Name), b))
    return nullptr;
  QroEnvI* env = reader.getEnv().getImpl();
  return new (env) Lex(env, QroIntVarArray(copyExtractables(env, a).getImpl()),
                       QroIntVarArray(copyExtractables(env, b).getImpl()), nameOf(reader, element));
}

}  // namespace

QroXmlInfo_LeLex::~QroXmlInfo_LeLex() {}
const char* QroXmlInfo_LeLex::getTagName() const {
  return "LeLex";
}
bool QroXmlInfo_LeLex::writeBody(QroXmlWriter writer, const QroRtti* o, QroXmlElementI* e) {
  return writeLex(*this, writer, typed<QroLeLexI>(o), e);
}
QroExtractableI* QroXmlInfo_LeLex::readExtractable(QroXmlReader reader, const QroXmlElementI* e) {
  return readLex<QroLeLexI>(*this, reader, e);
}

QroXmlInfo_GeLex::~QroXmlInfo_GeLex() {}
const char* QroXmlInfo_GeLex::getTagName() const {
  return "GeLex";
}
bool QroXmlInfo_GeLex::writeBody(QroXmlWriter writer, const QroRtti* o, QroXmlElementI* e) {
  return writeLex(*this, writer, typed<QroGeLexI>(o), e);
}
QroExtractableI* QroXmlInfo_GeLex::readExtractable(QroXmlReader reader, const QroXmlElementI* e) {
  return readLex<QroGeLexI>(*this, reader, e);
}

QroXmlInfo_Stretch::~QroXmlInfo_Stretch() {}
const char* QroXmlInfo_Stretch::getTagName() const {
  return "Stretch";
}
bool QroXmlInfo_Stretch::writeBody(QroXmlWriter writer, const QroRtti* o, QroXmlElementI* e) {
  const QroStretchI* c = typed<QroStretchI>(o);
  if (isEmpty(c->getVars())) return true;
  if (!writeExprArrayChild(*this, writer, e, vocabulary(QroXmlExprArrayName), c->getVars()))
    return false;
  writeIntArrayChild(*this, writer, e, vocabulary(QroXmlArray1Name), c->getMins());
  writeIntArrayChild(*this, writer, e, vocabulary(QroXmlArray2Name), c->getMaxes());
  if (c->getValues().getImpl())
    writeIntArrayChild(*this, writer, e, vocabulary(QroXmlValuesName), c->getValues());
  return true;
}
QroExtractableI* QroXmlInfo_Stretch::readExtractable(QroXmlReader reader, const QroXmlElementI* e) {
  QroArrayI* vars;
  if (!readArrayChild(*this, reader, e, vocabulary(QroXmlExprArrayName), vars)) return nullptr;
  QroIntArray mins, maxes, values;
  if (!readIntArrayChild(*this, reader, e, vocabulary(QroXmlArray1Name), mins)) return nullptr;
  if (!readIntArrayChild(*this, reader, e, vocabulary(QroXmlArray2Name), maxes)) {
    mins.end();
    return nullptr;
  }
  // A values child that cannot be read is an error, not an absent array.
  if (reader.findElement(e, vocabulary(QroXmlValuesName)) &&
      !readIntArrayChild(*this, reader, e, vocabulary(QroXmlValuesName), values)) {
    mins.end();
    maxes.end();
    return nullptr;
  }
  QroEnvI* env = reader.getEnv().getImpl();
  return new (env) QroStretchI(env, QroIntVarArray(copyExtractables(env, vars).getImpl()), mins,
                               maxes, values, nameOf(reader, e));
}

QroXmlInfo_Pattern::~QroXmlInfo_Pattern() {}
const char* QroXmlInfo_Pattern::getTagName() const {
  return "Pattern";
}
bool QroXmlInfo_Pattern::writeBody(QroXmlWriter writer, const QroRtti* o, QroXmlElementI* e) {
  const QroPatternI* c = typed<QroPatternI>(o);
  if (!isEmpty(c->getVars()) &&
      !writeExprArrayChild(*this, writer, e, vocabulary(QroXmlExprArrayName), c->getVars()))
    return false;
  std::unique_ptr<QroXmlElementI> values(writer.createElement(vocabulary(QroXmlValuesName)));
  if (!writeExtractableRef(writer, values.get(), c->getPatterns(), nullptr)) return false;
  writer.addSubElement(e, values.release());
  writeCst(writer, e, c->getTerminator());
  return true;
}
QroExtractableI* QroXmlInfo_Pattern::readExtractable(QroXmlReader reader, const QroXmlElementI* e) {
  QroArrayI* vars;
  if (!readArrayChild(*this, reader, e, vocabulary(QroXmlExprArrayName), vars)) return nullptr;
  QroExtractableI* set = readExtractableChild(*this, reader, e, vocabulary(QroXmlValuesName));
  QroInt cst;
  if (!QroIsTupleSetExtractable(set) || !reader.readIntAttribute(e, vocabulary(QroXmlCstName), cst))
    return nullptr;
  QroEnvI* env = reader.getEnv().getImpl();
  return new (env) QroPatternI(env, QroIntVarArray(copyExtractables(env, vars).getImpl()), set, cst,
                               nameOf(reader, e));
}

QroXmlInfo_IntCountValueEq::~QroXmlInfo_IntCountValueEq() {}
const char* QroXmlInfo_IntCountValueEq::getTagName() const {
  return "IntCountValueEq";
}
bool QroXmlInfo_IntCountValueEq::writeBody(QroXmlWriter writer, const QroRtti* o,
                                           QroXmlElementI* e) {
  const QroIntCountValueEqI* c = typed<QroIntCountValueEqI>(o);
  if (!isEmpty(c->getExprs()) &&
      !writeExprArrayChild(*this, writer, e, vocabulary(QroXmlExprArrayName), c->getExprs()))
    return false;
  writeCst(writer, e, c->getValue());
  return true;
}
QroExtractableI* QroXmlInfo_IntCountValueEq::readExtractable(QroXmlReader reader,
                                                             const QroXmlElementI* e) {
  QroArrayI* exprs;
  QroInt value;
  if (!readArrayChild(*this, reader, e, vocabulary(QroXmlExprArrayName), exprs) ||
      !reader.readIntAttribute(e, vocabulary(QroXmlCstName), value))
    return nullptr;
  QroEnvI* env = reader.getEnv().getImpl();
  return new (env)
      QroIntCountValueEqI(env, QroIntExprArray(copyExtractables(env, exprs).getImpl()), value);
}

QroXmlInfo_ToBranch::~QroXmlInfo_ToBranch() {}
const char* QroXmlInfo_ToBranch::getTagName() const {
  return "toBranch";
}
bool QroXmlInfo_ToBranch::writeBody(QroXmlWriter writer, const QroRtti* o, QroXmlElementI* e) {
  const QroToBranchI* c = typed<QroToBranchI>(o);
  if (isEmpty(c->getVars())) return true;
  std::unique_ptr<QroXmlElementI> vars(writer.createElement(vocabulary(QroXmlVarsName)));
  if (!writeIntVarArray(writer, vars.get(), c->getVars())) return false;
  writer.addSubElement(e, vars.release());
  return true;
}
QroExtractableI* QroXmlInfo_ToBranch::readExtractable(QroXmlReader reader,
                                                      const QroXmlElementI* e) {
  QroArrayI* vars;
  if (!readArrayChild(*this, reader, e, vocabulary(QroXmlVarsName), vars)) return nullptr;
  QroEnvI* env = reader.getEnv().getImpl();
  return new (env) QroToBranchI(env, QroIntVarArray(copyExtractables(env, vars).getImpl()),
                                nameOf(reader, e), QroToBranchI::TakesArray);
}
