// Model presolve: rules look at each extractable of a model once before it is
// extracted and attach information records that the extraction hooks read.
#ifndef QRO_SOLVERPRESOLVE_H
#define QRO_SOLVERPRESOLVE_H

#include <iosfwd>

#include "qroextractable.h"
#include "qrctypes.h"

class QroSolverI;
class QroCPPresolveI;
class QroNumExprI;
class QrcGenAlloc;

class QrcPresolveInfoI : public QroRtti {
  QROSIMPLECLASS(QrcPresolveInfoI, QroRtti)
 public:
  ~QrcPresolveInfoI() override;
  virtual void display(std::ostream& os) const;
};

// The variable is defined by a model expression.
class QrcPresolvedNumVarI : public QrcPresolveInfoI {
  QROSIMPLECLASS(QrcPresolvedNumVarI, QrcPresolveInfoI)
 public:
  explicit QrcPresolvedNumVarI(QroNumExprI* expr) : _expr(expr) {}
  void display(std::ostream& os) const override;
  QroNumExprI* getExpr() const { return _expr; }

 private:
  QroNumExprI* _expr;
};

// The equality defines its variable: side 0 left, 1 right; integer 1 or float 0.
class QrcPresolvedNumEqI : public QrcPresolveInfoI {
  QROSIMPLECLASS(QrcPresolvedNumEqI, QrcPresolveInfoI)
 public:
  QrcPresolvedNumEqI(QroInt side, QroInt integer) : _side(side), _integer(integer) {}
  void display(std::ostream& os) const override;
  QroInt getSide() const { return _side; }
  QroInt isInteger() const { return _integer; }

 private:
  QroInt _side;
  QroInt _integer;
};

class QroCPPresolveRuleI : public QroRttiEnvObjectI {
  QROSIMPLECLASS(QroCPPresolveRuleI, QroRttiEnvObjectI)
 public:
  explicit QroCPPresolveRuleI(QroEnvI* env) : QroRttiEnvObjectI(env), _next(nullptr) {}
  ~QroCPPresolveRuleI() override;
  virtual void apply(QroExtractableI* x, QroCPPresolveI* presolve) = 0;
  virtual void display(std::ostream& os) const;
  QroCPPresolveRuleI* getNext() const { return _next; }
  void setNext(QroCPPresolveRuleI* next) { _next = next; }

 private:
  QroCPPresolveRuleI* _next;
};

// "[ReduceNumEqI]": a top-level x == expression defines x.
class QroPresolveNumEqI : public QroCPPresolveRuleI {
  QROSIMPLECLASS(QroPresolveNumEqI, QroCPPresolveRuleI)
 public:
  explicit QroPresolveNumEqI(QroEnvI* env) : QroCPPresolveRuleI(env) {}
  void apply(QroExtractableI* x, QroCPPresolveI* presolve) override;
  void display(std::ostream& os) const override;
};

class QroCPPresolveVisitorI;
class QroCPPresolveFindVisitorI;

class QroCPPresolveI : public QroEnvObjectI {
 public:
  QroCPPresolveI(QroEnvI* env, QroSolverI* solver);
  ~QroCPPresolveI() override;

  // A new information map; every visited flag cleared.
  void reset();
  // Walks the model, firing the rules; always 1.
  QroBool run(QroExtractableI* model);
  void addRule(QroInt typeIndex, QroCPPresolveRuleI* rule);
  void addInformation(QroExtractableI* x, QrcPresolveInfoI* info);
  QrcPresolveInfoI* findInformation(const QroExtractableI* x, QroTypeInfo type) const;
  QroBool contains(QroExtractableI* expr, QroExtractableI* target);
  QroBool isAlreadyPresolved(QroExtractableI* expr);

  QroInt getTraceLevel() const { return _trace; }
  void setTraceLevel(QroInt level) { _trace = level; }
  QroBool isTopLevel() const;
  QroSolverI* getSolver() const { return _solver; }
  std::ostream& out() const;

  // Visit of one extractable (flag, trace, rules).
  void visit(QroExtractableI* x, QroInt depth, QroBool topLevel);
  QroBool isVisited(QroInt id) const { return id >= 0 && id < _flagCapacity && _flags[id]; }

 private:
  struct InfoNode {
    QrcPresolveInfoI* info;
    InfoNode* next;
  };
  struct InfoList {
    InfoNode* first;
    QrcGenAlloc* allocator;
  };
  struct MapNode {
    InfoList* value;
    const QroExtractableI* key;
    MapNode* next;
  };
  QroInt bucketOf(const void* key) const;
  InfoList* findList(const QroExtractableI* x) const;
  InfoList* makeList(const QroExtractableI* x);
  void rehash();
  void setFlag(QroInt id);

  QroSolverI* _solver;
  QroInt* _flags;
  QroInt _flagCapacity;
  // Information map on the manager's heap, every change trailed.
  QrcManagerI* _mapManager;
  QroInt _mapCapacity;
  MapNode** _buckets;
  QroInt _mapCount;
  QroInt _ruleCapacity;
  QroCPPresolveRuleI** _rules;
  QroInt _trace;
  QroCPPresolveVisitorI* _visitor;
  QroCPPresolveFindVisitorI* _finder;
};

#endif
