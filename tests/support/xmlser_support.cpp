#include "support/xmlser_support.h"

#include <cstdlib>
#include <sstream>

namespace xmltest {

std::string numText(QroNum v) {
  std::ostringstream os;
  os.precision(17);
  os << v;
  return os.str();
}

bool readNum(QroXmlReader reader, const QroXmlElementI* e, const char* name, QroNum& v) {
  const char* text = reader.getAttributeValue(e, name);
  if (!text) return false;
  v = std::strtod(text, nullptr);
  return true;
}

std::string written(const QroXmlElementI* e) {
  std::ostringstream os;
  if (e) e->write(os);
  return os.str();
}

namespace {

QroEnvI* readEnv(QroXmlReader r) {
  return r.getEnv().getImpl();
}

// The object that the element (or its first child) names, when already read
// and of the type.
QroExtractableI* objectOf(const QroXmlInfo& info, QroXmlReader r, const QroXmlElementI* e,
                          QroTypeInfo type) {
  QroInt id = -1;
  if (!info.isAlreadyRead(r, e, id) || !r.isObjectOfType(type, id)) return nullptr;
  return r.getExtractableById(id);
}

// "term" children {coef, variable} of a linear term.
bool writeTerms(const QroXmlInfo& info, QroXmlWriter w, const QroNumLinTermI* t,
                QroXmlElementI* e) {
  for (QroLinearNode* n = t->getFirstNode(); n; n = n->next) {
    QroXmlElementI* term = w.createElement("term");
    w.addSubElement(e, term);
    w.addAttribute(term, "coef", numText(n->coef).c_str());
    if (!info.writeExtractableRef(w, term, n->var, nullptr)) return false;
  }
  return true;
}

}  // namespace

bool VarInfo::writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) {
  const QroNumVarI* v = static_cast<const QroNumVarI*>(o);
  w.addAttribute(e, "type", std::to_string(v->getType()).c_str());
  w.addAttribute(e, "lowerbound", numText(v->getLB()).c_str());
  w.addAttribute(e, "upperbound", numText(v->getUB()).c_str());
  if (v->isEnumerated() && v->getType() == QroNumVar::Int)
    w.addSubElement(e, writeIntArray(w, v->getIntValues()));
  return true;
}

QroExtractableI* VarInfo::readExtractable(QroXmlReader r, const QroXmlElementI* e) {
  ++reads;
  QroNum lb = 0, ub = 0;
  QroInt type = 0;
  if (!r.readIntAttribute(e, "type", type) || !readNum(r, e, "lowerbound", lb) ||
      !readNum(r, e, "upperbound", ub))
    return nullptr;
  QroEnvI* env = readEnv(r);
  const char* name = r.getAttributeValue(e, "name");
  QroIntArray values(QroEnv(env), 0);
  if (type == QroNumVar::Int && readIntArray(r, e, values) && values.getSize() > 0) {
    QroIntVarDomainI listed(values, 0);
    QroVarDomainI* d = listed.makeCopy(env);
    values.end();
    return new (env) QroNumVarI(env, d, name);
  }
  values.end();
  return new (env) QroNumVarI(env, lb, ub, static_cast<int>(type), name);
}

bool LinTermInfo::writeBody(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) {
  const QroNumLinTermI* t = static_cast<const QroNumLinTermI*>(o);
  w.addAttribute(e, "cst", numText(t->getConstant()).c_str());
  return writeTerms(*this, w, t, e);
}

QroExtractableI* LinTermInfo::readExtractable(QroXmlReader r, const QroXmlElementI* e) {
  QroNum cst = 0;
  if (!readNum(r, e, "cst", cst)) return nullptr;
  QroEnvI* env = readEnv(r);
  // Check every part before building anything.
  QroInt count = r.countChildElements(e);
  QroXmlNodeIterator check(e->getChildIterator());
  while (check.hasNext()) {
    QroXmlNodeI* n = check.next();
    if (n->getKind() != QroXmlNodeI::ElementKind) continue;
    QroNum coef = 0;
    if (!readNum(r, static_cast<QroXmlElementI*>(n), "coef", coef) ||
        !objectOf(*this, r, static_cast<QroXmlElementI*>(n), QroNumVarI::GetTypeInfo()))
      return nullptr;
  }
  QroNumLinTermI* t = new (env) QroNumLinTermI(env, cst);
  QroXmlNodeIterator it(e->getChildIterator());
  while (count > 0 && it.hasNext()) {
    QroXmlNodeI* n = it.next();
    if (n->getKind() != QroXmlNodeI::ElementKind) continue;
    QroNum coef = 0;
    readNum(r, static_cast<QroXmlElementI*>(n), "coef", coef);
    QroExtractableI* x =
        objectOf(*this, r, static_cast<QroXmlElementI*>(n), QroNumVarI::GetTypeInfo());
    t->appendNode(static_cast<QroNumVarI*>(x), coef);
  }
  return t;
}

bool RangeInfo::writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) {
  const QroRangeI* c = static_cast<const QroRangeI*>(o);
  w.addAttribute(e, "lowerbound", numText(c->getLB()).c_str());
  w.addAttribute(e, "upperbound", numText(c->getUB()).c_str());
  return writeExtractableRef(w, e, c->getExpr(), nullptr);
}

QroExtractableI* RangeInfo::readExtractable(QroXmlReader r, const QroXmlElementI* e) {
  QroNum lb = 0, ub = 0;
  if (!readNum(r, e, "lowerbound", lb) || !readNum(r, e, "upperbound", ub)) return nullptr;
  QroExtractableI* x =
      objectOf(*this, r, r.findElement(e, "numLinTerm"), QroNumLinTermI::GetTypeInfo());
  if (!x) return nullptr;
  QroEnvI* env = readEnv(r);
  return new (env)
      QroRangeI(env, lb, static_cast<QroNumExprI*>(x), ub, r.getAttributeValue(e, "name"));
}

bool ObjectiveInfo::writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) {
  const QroObjectiveI* obj = static_cast<const QroObjectiveI*>(o);
  w.addAttribute(e, "sense", obj->getSense() == QroObjectiveI::Minimize ? "Minimize" : "Maximize");
  QroXmlElementI* expr = w.createElement("expr");
  w.addSubElement(e, expr);
  return writeExtractableRef(w, expr, obj->getExpr(), nullptr);
}

QroExtractableI* ObjectiveInfo::readExtractable(QroXmlReader r, const QroXmlElementI* e) {
  const char* sense = r.getAttributeValue(e, "sense");
  QroExtractableI* x = objectOf(*this, r, r.findElement(e, "expr"), QroNumExprI::GetTypeInfo());
  if (!sense || !x) return nullptr;
  QroEnvI* env = readEnv(r);
  int s = std::string(sense) == "Maximize" ? QroObjectiveI::Maximize : QroObjectiveI::Minimize;
  return new (env)
      QroObjectiveI(env, static_cast<QroNumExprI*>(x), s, r.getAttributeValue(e, "name"));
}

bool ModelInfo::writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) {
  const QroModelI* m = static_cast<const QroModelI*>(o);
  for (QroModelI::Link* l = m->getFirstLink(); l; l = l->next)
    if (!writeExtractableRef(w, e, l->member, nullptr)) return false;
  return true;
}

QroExtractableI* ModelInfo::readExtractable(QroXmlReader r, const QroXmlElementI* e) {
  QroXmlNodeIterator check(e->getChildIterator());
  while (check.hasNext()) {
    QroXmlNodeI* n = check.next();
    if (n->getKind() == QroXmlNodeI::ElementKind &&
        !objectOf(*this, r, static_cast<QroXmlElementI*>(n), QroExtractableI::GetTypeInfo()))
      return nullptr;
  }
  QroEnvI* env = readEnv(r);
  QroModelI* m = new (env) QroModelI(env, r.getAttributeValue(e, "name"));
  QroXmlNodeIterator it(e->getChildIterator());
  while (it.hasNext()) {
    QroXmlNodeI* n = it.next();
    if (n->getKind() == QroXmlNodeI::ElementKind)
      m->append(
          objectOf(*this, r, static_cast<QroXmlElementI*>(n), QroExtractableI::GetTypeInfo()));
  }
  return m;
}

bool QueryingModelInfo::writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) {
  if (!ModelInfo::writeContent(w, o, e)) return false;
  const QroModelI::Link* first = static_cast<const QroModelI*>(o)->getFirstLink();
  if (first) w.addAttribute(e, "first", std::to_string(w.getImpl()->getId(first->member)).c_str());
  return true;
}

VarInfo* registerModelHandlers(QroXmlContextI* context) {
  QroEnvI* env = context->getEnv();
  VarInfo* vars = new (env) VarInfo(context);
  context->registerXmlInfo(QroNumVarI::GetTypeIndex(), vars);
  context->registerXmlInfo(QroNumLinTermI::GetTypeIndex(), new (env) LinTermInfo(context));
  context->registerXmlInfo(QroRangeI::GetTypeIndex(), new (env) RangeInfo(context));
  context->registerXmlInfo(QroObjectiveI::GetTypeIndex(), new (env) ObjectiveInfo(context));
  context->registerXmlInfo(QroModelI::GetTypeIndex(), new (env) ModelInfo(context));
  return vars;
}

}  // namespace xmltest
