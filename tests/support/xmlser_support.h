// Handlers of a small model format used by the serialisation tests: variables
// ("numVar", with an "intArray" of values when enumerated), linear terms
// ("numLinTerm" with "term" children), ranges, objectives and models.
#ifndef QRO_TEST_XMLSER_SUPPORT_H
#define QRO_TEST_XMLSER_SUPPORT_H

#include <string>

#include "qrolinear.h"
#include "qromodel.h"
#include "qroxmlser.h"

namespace xmltest {

std::string numText(QroNum v);
bool readNum(QroXmlReader reader, const QroXmlElementI* e, const char* name, QroNum& v);
std::string written(const QroXmlElementI* e);

class VarInfo : public QroXmlInfo {
 public:
  explicit VarInfo(QroXmlContextI* c) : QroXmlInfo(c) {}
  const char* getTagName() const override { return "numVar"; }
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override;
  QroExtractableI* readExtractable(QroXmlReader r, const QroXmlElementI* e) override;
  int reads = 0;
};

class LinTermInfo : public QroXmlInfo {
 public:
  explicit LinTermInfo(QroXmlContextI* c) : QroXmlInfo(c) {}
  const char* getTagName() const override { return "numLinTerm"; }
  bool writeBody(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override;
  QroExtractableI* readExtractable(QroXmlReader r, const QroXmlElementI* e) override;
};

class RangeInfo : public QroXmlInfo {
 public:
  explicit RangeInfo(QroXmlContextI* c) : QroXmlInfo(c) {}
  const char* getTagName() const override { return "range"; }
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override;
  QroExtractableI* readExtractable(QroXmlReader r, const QroXmlElementI* e) override;
};

class ObjectiveInfo : public QroXmlInfo {
 public:
  explicit ObjectiveInfo(QroXmlContextI* c) : QroXmlInfo(c) {}
  const char* getTagName() const override { return "objective"; }
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override;
  QroExtractableI* readExtractable(QroXmlReader r, const QroXmlElementI* e) override;
};

class ModelInfo : public QroXmlInfo {
 public:
  explicit ModelInfo(QroXmlContextI* c) : QroXmlInfo(c) {}
  const char* getTagName() const override { return "Modeler"; }
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override;
  QroExtractableI* readExtractable(QroXmlReader r, const QroXmlElementI* e) override;
};

// The model handler with reads and writes that nest: one call per level.
class NestingModelInfo : public ModelInfo {
 public:
  explicit NestingModelInfo(QroXmlContextI* c) : ModelInfo(c) {}
  bool readsSubElementsFirst() const override { return false; }
  bool writesSubObjectsLater() const override { return false; }
};

// The model handler, leaving its sub-writes to the context, that also writes
// "first" with the identifier of its first member, asked of the writer once
// the members are asked for (which writes them at once).
class QueryingModelInfo : public ModelInfo {
 public:
  explicit QueryingModelInfo(QroXmlContextI* c) : ModelInfo(c) {}
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override;
};

// Registers the five handlers; returns the variable handler.
VarInfo* registerModelHandlers(QroXmlContextI* context);

// An environment with a context that has the test handlers.
struct Side {
  QroEnv env;
  QroXmlContextI* context;
  VarInfo* vars;
  Side()
      : env(), context(QroXmlContextI::Make(env.getImpl())), vars(registerModelHandlers(context)) {}
  ~Side() { env.end(); }
  QroEnvI* impl() const { return env.getImpl(); }
};

}  // namespace xmltest

#endif
