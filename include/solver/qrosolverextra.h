// Modelling constraints that the solver layer adds: lexicographic orders,
// stretch and pattern constraints over variable arrays, the count of the
// expressions of an array equal to a value, and an array marked for branching
// (never extracted). Their XML handlers are attached to every XML context of
// an environment by one add-on, made when the first of these objects is built
// there or when a solver is created.
//
// Each constructor takes the arrays it is given over (and deletes them with
// itself) and raises the use count of their elements; the array of
// QroToBranchI is neither counted nor owned.
#ifndef QRO_SOLVEREXTRA_H
#define QRO_SOLVEREXTRA_H

#include <iosfwd>

#include "qroexpr.h"
#include "qrovar.h"
#include "qroxmlser.h"

// Base of the two lexicographic orders: two variable arrays.
class QroLexOrderI : public QroConstraintI {
 public:
  QroLexOrderI(QroEnvI* env, const QroIntVarArray& first, const QroIntVarArray& second,
               const char* name);
  ~QroLexOrderI() override;
  QroIntVarArray getFirst() const { return QroIntVarArray(_first.getImpl()); }
  QroIntVarArray getSecond() const { return QroIntVarArray(_second.getImpl()); }
  void visitSubExtractables(QroExtractableVisitor* v) override;
  void display(std::ostream& os) const override;

 protected:
  QroExtractableArray _first;
  QroExtractableArray _second;
};

// first <= second in lexicographic order.
class QroLeLexI : public QroLexOrderI {
  QROSIMPLECLASS(QroLeLexI, QroConstraintI)
  QROEXTRACTABLEHOOKS()
 public:
  QroLeLexI(QroEnvI* env, const QroIntVarArray& first, const QroIntVarArray& second,
            const char* name = nullptr)
      : QroLexOrderI(env, first, second, name) {}
  ~QroLeLexI() override;
  QroExtractableI* makeClone(QroEnvI* env) const override;
};

// first >= second in lexicographic order.
class QroGeLexI : public QroLexOrderI {
  QROSIMPLECLASS(QroGeLexI, QroConstraintI)
  QROEXTRACTABLEHOOKS()
 public:
  QroGeLexI(QroEnvI* env, const QroIntVarArray& first, const QroIntVarArray& second,
            const char* name = nullptr)
      : QroLexOrderI(env, first, second, name) {}
  ~QroGeLexI() override;
  QroExtractableI* makeClone(QroEnvI* env) const override;
};

// Every maximal run of equal values of the variables has a length within
// [mins[k], maxes[k]] of its value (values[k], or k without values).
class QroStretchI : public QroConstraintI {
  QROSIMPLECLASS(QroStretchI, QroConstraintI)
  QROEXTRACTABLEHOOKS()
 public:
  // values may be an empty handle.
  QroStretchI(QroEnvI* env, const QroIntVarArray& vars, const QroIntArray& mins,
              const QroIntArray& maxes, const QroIntArray& values, const char* name = nullptr);
  ~QroStretchI() override;
  QroIntVarArray getVars() const { return QroIntVarArray(_vars.getImpl()); }
  QroIntArray getMins() const { return _mins; }
  QroIntArray getMaxes() const { return _maxes; }
  QroIntArray getValues() const { return _values; }
  QroExtractableI* makeClone(QroEnvI* env) const override;
  void visitSubExtractables(QroExtractableVisitor* v) override;
  void display(std::ostream& os) const override;

 private:
  QroExtractableArray _vars;
  QroIntArray _mins;
  QroIntArray _maxes;
  QroIntArray _values;
};

// Whether x can be a tuple set: an extractable of a class outside the
// modelling layer's own kinds (expressions and constraints, set variables,
// interval expressions, models, objectives), whose extraction makes the set.
QroBool QroIsTupleSetExtractable(const QroExtractableI* x);

// The sequence of the values of the runs of the variables contains none of
// the patterns of a tuple set (an extractable, shared); each pattern ends at
// the first occurrence of the constant from its second position on. A null
// set or one of another kind is refused with QroWrongUsage.
class QroPatternI : public QroConstraintI {
  QROSIMPLECLASS(QroPatternI, QroConstraintI)
  QROEXTRACTABLEHOOKS()
 public:
  QroPatternI(QroEnvI* env, const QroIntVarArray& vars, QroExtractableI* patterns, QroInt cst,
              const char* name = nullptr);
  ~QroPatternI() override;
  QroIntVarArray getVars() const { return QroIntVarArray(_vars.getImpl()); }
  QroExtractableI* getPatterns() const { return _patterns; }
  QroInt getTerminator() const { return _cst; }
  // The clone takes the target environment's clone of the pattern set.
  QroExtractableI* makeClone(QroEnvI* env) const override;
  void visitSubExtractables(QroExtractableVisitor* v) override;
  void display(std::ostream& os) const override;

 private:
  QroExtractableArray _vars;
  QroExtractableI* _patterns;
  QroInt _cst;
};

// The number of expressions of the array whose value is the constant.
class QroIntCountValueEqI : public QroIntExprI {
  QROSIMPLECLASS(QroIntCountValueEqI, QroIntExprI)
  QROEXTRACTABLEHOOKS()
 public:
  QroIntCountValueEqI(QroEnvI* env, const QroIntExprArray& exprs, QroInt value);
  ~QroIntCountValueEqI() override;
  QroIntExprArray getExprs() const { return QroIntExprArray(_exprs.getImpl()); }
  QroInt getValue() const { return _value; }
  QroExtractableI* makeClone(QroEnvI* env) const override;
  void visitSubExtractables(QroExtractableVisitor* v) override;
  void display(std::ostream& os) const override;
  // 0.0 for an empty array.
  QroNum eval(QroAlgorithmI* algorithm) const override;

 private:
  QroExtractableArray _exprs;
  QroInt _value;
};

class QroXmlInfo_ToBranch;

// A variable array marked for branching; no algorithm extracts it.
class QroToBranchI : public QroConstraintI {
  QROSIMPLECLASS(QroToBranchI, QroConstraintI)
  QROEXTRACTABLEHOOKS()
 public:
  // The array stays the caller's (its elements are not counted).
  QroToBranchI(QroEnvI* env, const QroIntVarArray& vars, const char* name = nullptr);
  ~QroToBranchI() override;
  QroIntVarArray getVars() const { return _vars; }
  QroExtractableI* makeClone(QroEnvI* env) const override;
  void visitSubExtractables(QroExtractableVisitor* v) override;
  void display(std::ostream& os) const override;

 private:
  friend class QroXmlInfo_ToBranch;
  enum TakeArray { TakesArray };
  // An array made for the constraint (its clone's, its XML reader's copy):
  // ended with it.
  QroToBranchI(QroEnvI* env, const QroIntVarArray& vars, const char* name, TakeArray);
  QroIntVarArray _vars;
  QroBool _ownsVars;
};

// Registers the handlers of the six classes with each XML context it is
// attached to. One per environment (QroEnvI::getExtraXmlAddon).
class QroSolverExtraXMLPlugInAddon : public QroPlugInAddon {
  QROSIMPLECLASS(QroSolverExtraXMLPlugInAddon, QroPlugInAddon)
 public:
  explicit QroSolverExtraXMLPlugInAddon(QroEnvI* env) : QroPlugInAddon(env), _word(0) {}
  ~QroSolverExtraXMLPlugInAddon() override;
  // QroWrongUsage "Wrong plugin for the XML context" unless the plug-in is an
  // XML context.
  void attach(QroPlugIn* plugIn) override;
  void detach(QroPlugIn*) override {}
  // Makes the environment's add-on and adds it under "XMLCONTEXT" unless it
  // exists.
  static void Ensure(QroEnvI* env);

 private:
  QroInt _word;
};

// XML handlers. Readers answer null when a required child or attribute is
// missing or names an object not read yet; they build the object on copies
// of the arrays read.
#define QRO_EXTRA_XML_INFO(NAME)                                                             \
  class QroXmlInfo_##NAME : public QroXmlInfo {                                              \
   public:                                                                                   \
    explicit QroXmlInfo_##NAME(QroXmlContextI* context) : QroXmlInfo(context) {}             \
    ~QroXmlInfo_##NAME() override;                                                           \
    const char* getTagName() const override;                                                 \
    QroExtractableI* readExtractable(QroXmlReader reader, const QroXmlElementI* e) override; \
    bool writeBody(QroXmlWriter writer, const QroRtti* o, QroXmlElementI* e) override;       \
  };

QRO_EXTRA_XML_INFO(LeLex)
QRO_EXTRA_XML_INFO(GeLex)
QRO_EXTRA_XML_INFO(Stretch)
QRO_EXTRA_XML_INFO(Pattern)
QRO_EXTRA_XML_INFO(IntCountValueEq)
QRO_EXTRA_XML_INFO(ToBranch)

#undef QRO_EXTRA_XML_INFO

#endif
