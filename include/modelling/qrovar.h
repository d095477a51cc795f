// Modelling variables and their domains. One class serves floating-point,
// integer and Boolean variables; plain-interval domains are shared per
// environment and copied (or replaced) before a variable changes them.
#ifndef QRO_VAR_H
#define QRO_VAR_H

#include <iosfwd>

#include "qroexpr.h"

class QroEnvI;

class QroVarDomainI {
 public:
  virtual ~QroVarDomainI();
  virtual QroNum getLB() const = 0;
  virtual void setLB(QroNum v) = 0;
  virtual QroNum getUB() const = 0;
  virtual void setUB(QroNum v) = 0;
  // A QroNumVar::Type.
  virtual int getType() const = 0;
  virtual QroInt getIntLB() const = 0;
  virtual QroInt getIntUB() const = 0;
  virtual QroBool isEnumerated() const = 0;
  virtual QroBool isAny() const = 0;
  virtual QroNumArray getNumValues() const = 0;
  virtual QroIntArray getIntValues() const = 0;
  virtual void setNumValues(const QroNumArray& a) = 0;
  virtual void setIntValues(const QroIntArray& a) = 0;
  // Ends the value list and returns the storage to the environment.
  virtual void destroy(QroEnvI* env) = 0;
  virtual void display(std::ostream& os) const = 0;
  // A new unshared domain equal to this one.
  virtual QroVarDomainI* makeCopy(QroEnvI* env) const = 0;
  virtual QroBool isShared() const { return 0; }
  virtual QroBool isInt() const { return 0; }
  virtual QroBool isNum() const { return 0; }
  virtual QroBool isBool() const { return 0; }
};

class QroNumVarDomainI : public QroVarDomainI {
 public:
  QroNumVarDomainI(QroNum lb, QroNum ub) : _lb(lb), _ub(ub), _values() {}
  // Takes the list; the bounds are its minimum and maximum.
  explicit QroNumVarDomainI(const QroNumArray& values);
  QroNum getLB() const override { return _lb; }
  void setLB(QroNum v) override;
  QroNum getUB() const override { return _ub; }
  void setUB(QroNum v) override;
  int getType() const override;
  QroInt getIntLB() const override { return 0; }
  QroInt getIntUB() const override { return 0; }
  QroBool isEnumerated() const override { return _values.getImpl() != nullptr; }
  QroBool isAny() const override { return 0; }
  QroNumArray getNumValues() const override { return _values; }
  QroIntArray getIntValues() const override { return QroIntArray(); }
  void setNumValues(const QroNumArray& a) override;
  void setIntValues(const QroIntArray&) override {}
  void destroy(QroEnvI* env) override;
  void display(std::ostream& os) const override;
  QroVarDomainI* makeCopy(QroEnvI* env) const override;
  QroBool isNum() const override { return 1; }

 protected:
  QroNum _lb;
  QroNum _ub;
  QroNumArray _values;
};

class QroIntVarDomainI : public QroVarDomainI {
 public:
  QroIntVarDomainI(QroInt lb, QroInt ub) : _lb(lb), _ub(ub), _values(), _any(0) {}
  QroIntVarDomainI(const QroIntArray& values, QroBool any);
  QroNum getLB() const override { return static_cast<QroNum>(_lb); }
  void setLB(QroNum v) override;
  QroNum getUB() const override { return static_cast<QroNum>(_ub); }
  void setUB(QroNum v) override;
  int getType() const override;
  QroInt getIntLB() const override { return _lb; }
  QroInt getIntUB() const override { return _ub; }
  QroBool isEnumerated() const override { return _values.getImpl() != nullptr; }
  QroBool isAny() const override { return _any; }
  QroNumArray getNumValues() const override { return QroNumArray(); }
  QroIntArray getIntValues() const override { return _values; }
  void setNumValues(const QroNumArray&) override {}
  void setIntValues(const QroIntArray& a) override;
  void destroy(QroEnvI* env) override;
  void display(std::ostream& os) const override;
  QroVarDomainI* makeCopy(QroEnvI* env) const override;
  QroBool isInt() const override { return 1; }
  QroBool isBool() const override { return _lb == 0 && _ub == 1; }

 protected:
  // Adjusts the value list to [l, u] before the bounds change.
  void adjustValues(QroInt l, QroInt u);
  QroInt _lb;
  QroInt _ub;
  QroIntArray _values;
  QroBool _any;
};

class QroBoolVarDomainI : public QroVarDomainI {
 public:
  QroBoolVarDomainI(QroInt lb, QroInt ub) : _lb(lb), _ub(ub) {}
  QroNum getLB() const override { return static_cast<QroNum>(_lb); }
  void setLB(QroNum v) override;
  QroNum getUB() const override { return static_cast<QroNum>(_ub); }
  void setUB(QroNum v) override;
  int getType() const override;
  QroInt getIntLB() const override { return _lb; }
  QroInt getIntUB() const override { return _ub; }
  QroBool isEnumerated() const override { return 0; }
  QroBool isAny() const override { return 0; }
  QroNumArray getNumValues() const override { return QroNumArray(); }
  QroIntArray getIntValues() const override { return QroIntArray(); }
  void setNumValues(const QroNumArray&) override {}
  void setIntValues(const QroIntArray&) override {}
  void destroy(QroEnvI* env) override;
  void display(std::ostream& os) const override;
  QroVarDomainI* makeCopy(QroEnvI* env) const override;
  QroBool isBool() const override { return 1; }

 protected:
  QroInt _lb;
  QroInt _ub;
};

class QroNumSharedVarDomainI : public QroNumVarDomainI {
 public:
  QroNumSharedVarDomainI(QroNum lb, QroNum ub) : QroNumVarDomainI(lb, ub) {}
  void destroy(QroEnvI* env) override;
  QroBool isShared() const override { return 1; }
};

class QroIntSharedVarDomainI : public QroIntVarDomainI {
 public:
  QroIntSharedVarDomainI(QroInt lb, QroInt ub) : QroIntVarDomainI(lb, ub) {}
  void destroy(QroEnvI* env) override;
  QroBool isShared() const override { return 1; }
};

class QroBoolSharedVarDomainI : public QroBoolVarDomainI {
 public:
  QroBoolSharedVarDomainI(QroInt lb, QroInt ub) : QroBoolVarDomainI(lb, ub) {}
  void destroy(QroEnvI* env) override;
  QroBool isShared() const override { return 1; }
};

class QroNumVarI : public QroIntExprI {
  QROSIMPLECLASS(QroNumVarI, QroIntExprI)
  QROEXTRACTABLEHOOKS()
 public:
  // Type a QroNumVar::Type; anything but Int and Float is Boolean.
  QroNumVarI(QroEnvI* env, QroNum lb, QroNum ub, int type, const char* name = nullptr);
  // Keeps the domain it is given (null: floating-point [0, +infinity]).
  QroNumVarI(QroEnvI* env, QroVarDomainI* domain, const char* name = nullptr);
  ~QroNumVarI() override;

  int getType() const;
  QroNum getLB() const;
  QroNum getUB() const;
  QroBool isEnumerated() const { return _domain ? _domain->isEnumerated() : 0; }
  QroNumArray getNumValues() const { return _domain ? _domain->getNumValues() : QroNumArray(); }
  QroIntArray getIntValues() const { return _domain ? _domain->getIntValues() : QroIntArray(); }
  QroVarDomainI* getDomain() const { return _domain; }

  // Each bound change is first offered to the algorithms that use the
  // variable (QroEnvI::checkChange), then made, then announced as
  // QroSetNumVarBounds. A refusal (QroNoChangeDuringSearchException during a
  // search, QroNotSupportedOperation for a floating-point value list) leaves
  // the variable as it was.
  virtual void setUB(QroNum v);
  virtual void setLB(QroNum v);
  virtual void setBounds(QroNum lb, QroNum ub);

  QroExtractableI* makeClone(QroEnvI* env) const override;
  void endIfUsesMarked() override {}
  void visitSubExtractables(QroExtractableVisitor* v) override;
  QroBool visitUses(QroExtractableVisitor* v) override {
    visitSubExtractables(v);
    return 1;
  }
  QroBool isNumExprNode() const override { return 0; }
  void release() override { QroExtractableI::release(); }
  QroBool isGround() const override { return 1; }
  QroBool hasDecisionVar() const override { return 1; }
  QroBool isNumVar() const override { return 1; }
  void releaseUnlessEnding() override {}
  QroBool isIntExpr() const override;
  QroNum eval(QroAlgorithmI* algorithm) const override;
  QroNumLinTermI* makeNumLinTerm() override;
  QroIntLinTermI* makeIntLinTerm() override;
  QroNumExprI* asNumExpr() override { return this; }
  QroIntExprI* asIntExpr() override { return this; }
  void display(std::ostream& os) const override;

  // Written and read only while a linear term is normalised.
  void* getScratchNode() const { return _scratch; }
  void setScratchNode(void* node) { _scratch = node; }

 private:
  void replaceDomain(QroVarDomainI* d);
  // Refuses, before anything changes, bounds that cannot be set.
  void checkBounds(QroNum lb, QroNum ub);
  void notifyBounds(QroNum lb, QroNum ub);
  QroVarDomainI* _domain;
  void* _scratch;
};

class QroIntSetI;

// An integer-set variable: the sets lying between a required set and a
// possible set (both environment objects, not owned). It has no handle; a
// subclass builds it.
class QroIntSetVarI : public QroExtractableI {
  QROSIMPLECLASS(QroIntSetVarI, QroExtractableI)
  QROEXTRACTABLEHOOKS()
 public:
  QroIntSetI* getPossibleSet() const { return _possible; }
  QroIntSetI* getRequiredSet() const { return _required; }
  QroBool isGround() const override { return 1; }
  QroBool hasDecisionVar() const override { return 1; }

 protected:
  // QroEmptyHandleException without a possible set; no required set is empty.
  QroIntSetVarI(QroEnvI* env, QroIntSetI* possible, QroIntSetI* required,
                const char* name = nullptr);

 private:
  QroIntSetI* _possible;
  QroIntSetI* _required;
};

// The cardinality of an integer-set variable as an integer variable over
// [0, size of the possible set]. It has no handle; a subclass builds it.
class QroIntSetCardVarI : public QroNumVarI {
  QROSIMPLECLASS(QroIntSetCardVarI, QroNumVarI)
  QROEXTRACTABLEHOOKS()
 public:
  QroIntSetVarI* getSetVar() const { return _set; }
  // A copy would lose the set variable.
  QroExtractableI* makeClone(QroEnvI* env) const override;

 protected:
  // QroEmptyHandleException without a set variable.
  QroIntSetCardVarI(QroEnvI* env, QroIntSetVarI* set, const char* name = nullptr);

 private:
  QroIntSetVarI* _set;
};

// Handles.
class QroNumExpr : public QroExtractable {
 public:
  QroNumExpr(QroNumExprI* impl = nullptr) : QroExtractable(impl) {}
  QroNumExprI* getImpl() const { return static_cast<QroNumExprI*>(_impl); }
};

class QroNumVar : public QroNumExpr {
 public:
  enum Type { Int = 1, Float = 2, Bool = 3 };
  QroNumVar(QroNumVarI* impl = nullptr) : QroNumExpr(impl) {}
  QroNumVar(const QroEnv& env, QroNum lb = 0.0, QroNum ub = QroNumVar::Infinity(),
            Type type = Float, const char* name = nullptr);
  QroNumVarI* getImpl() const { return static_cast<QroNumVarI*>(_impl); }
  // QroEmptyHandleException on an empty handle.
  Type getType() const;
  QroNum getLB() const { return var()->getLB(); }
  QroNum getUB() const { return var()->getUB(); }
  void setLB(QroNum v) const { var()->setLB(v); }
  void setUB(QroNum v) const { var()->setUB(v); }
  void setBounds(QroNum lb, QroNum ub) const { var()->setBounds(lb, ub); }
  static QroNum Infinity();

 private:
  QroNumVarI* var() const {
    if (!_impl) QroAbortEmptyHandle("Using empty QroNumVar handle");
    return static_cast<QroNumVarI*>(_impl);
  }
};

typedef QroArrayOf<QroNumVar> QroNumVarArray;

// Integer variables, held as their handles.
class QroIntVarArray : public QroArrayOf<QroNumVar> {
 public:
  QroIntVarArray(QroArrayI* impl = nullptr) : QroArrayOf<QroNumVar>(impl) {}
  QroIntVarArray(const QroEnv& env, QroInt n) : QroArrayOf<QroNumVar>(env, n) {}
};

// Known here only by its type record (variables standing for constraints).
class QroConstraintIndVarI : public QroNumVarI {
  QROSIMPLECLASS(QroConstraintIndVarI, QroNumVarI)
};

// Keys of the shared-domain tables.
class QroIntRangeI;
class QroNumRangeI;

template <class R>
class QroSharedDomainHash : public QroEnvHashTable<R, QroVarDomainI*> {
 public:
  QroSharedDomainHash(QroEnvI* env, QroGenAlloc* a, QroInt buckets,
                      typename QroEnvHashTable<R, QroVarDomainI*>::HashFunction hash,
                      typename QroEnvHashTable<R, QroVarDomainI*>::EqualFunction equal)
      : QroEnvHashTable<R, QroVarDomainI*>(a, buckets, hash, equal), _env(env) {}

 protected:
  QroEnvI* _env;
};

class QroIntSharedDomainHash : public QroSharedDomainHash<QroIntRangeI*> {
 public:
  explicit QroIntSharedDomainHash(QroEnvI* env);
  // Deletes each key range and destroys each domain.
  ~QroIntSharedDomainHash() override;
  static QroInt Hash(QroIntRangeI* r, QroInt n);
  static bool Equal(QroIntRangeI* a, QroIntRangeI* b);
};

class QroNumSharedDomainHash : public QroSharedDomainHash<QroNumRangeI*> {
 public:
  explicit QroNumSharedDomainHash(QroEnvI* env);
  ~QroNumSharedDomainHash() override;
  static QroInt Hash(QroNumRangeI* r, QroInt n);
  static bool Equal(QroNumRangeI* a, QroNumRangeI* b);
};

inline int QroNumVarDomainI::getType() const {
  return QroNumVar::Float;
}
inline int QroIntVarDomainI::getType() const {
  return isBool() ? QroNumVar::Bool : QroNumVar::Int;
}
inline int QroBoolVarDomainI::getType() const {
  return QroNumVar::Bool;
}
inline int QroNumVarI::getType() const {
  return _domain ? _domain->getType() : QroNumVar::Float;
}
inline QroBool QroNumVarI::isIntExpr() const {
  return getType() != QroNumVar::Float;
}

#endif
