// Extractables: the modelling objects an algorithm can take over. Each is
// numbered by its environment, may carry a name, and lets algorithms extract,
// remove and change it through the hook record of its concrete class.
#ifndef QRO_EXTRACTABLE_H
#define QRO_EXTRACTABLE_H

#include <iosfwd>

#include "qroarray.h"
#include "qroenv.h"
#include "qroobject.h"

class QroAlgorithmI;
class QroChange;
class QroExtractableI;
class QroExtractableVisitor;

typedef void* (*QroExtractHook)(QroAlgorithmI* algorithm, QroExtractableI* x);
typedef void (*QroRemoveHook)(QroAlgorithmI* algorithm, QroExtractableI* x, void* argument);
typedef void* (*QroChangeHook)(QroAlgorithmI* algorithm, QroExtractableI* x, QroChange* change);
typedef void (*QroAlgorithmHook)(QroAlgorithmI* algorithm, QroExtractableI* x, void* argument);

// Static hook record of a concrete extractable class, filled by the solver's
// default extractor; empty (all null) before. The last two hooks serve only
// objectives and constraints.
struct QroExtractHooks {
  QroInt typeIndex;
  QroExtractHook extract;
  QroRemoveHook remove;
  QroChangeHook change;
  QroAlgorithmHook addToAlgorithm;
  QroAlgorithmHook removeFromAlgorithm;
};

// Declares the hook record of a concrete extractable class.
#define QROEXTRACTABLEHOOKS()                                                             \
 public:                                                                                  \
  static inline QroExtractHooks Hooks = {0, nullptr, nullptr, nullptr, nullptr, nullptr}; \
  QroExtractHooks* getHookRecord() const override {                                       \
    return &Hooks;                                                                        \
  }

class QroEnvI;

// An array of extractables (8-byte pointers).
class QroExtractableArray : public QroArrayOf<QroExtractableI*> {
 public:
  QroExtractableArray(QroArrayI* impl = nullptr) : QroArrayOf<QroExtractableI*>(impl) {}
  QroExtractableArray(const QroEnv& env, QroInt n) : QroArrayOf<QroExtractableI*>(env, n) {}
  QroExtractableArray(const QroMemoryManager& mm, QroInt n) : QroArrayOf<QroExtractableI*>(mm, n) {}
  // Raises the use count of every expression element.
  void incrementUseCounts() const;
  // Releases every expression element, as a node releases its operands.
  void releaseElements() const;
  // Replaces the handle by a new array in env of env's clones of the elements.
  void getClones(QroEnvI* env);
  // A new array of the elements' clones (into env, or each into its own environment).
  QroExtractableArray makeClone(QroEnvI* env = nullptr) const;
};

class QroExtractableI : public QroRttiEnvObjectI {
  QROSIMPLECLASS(QroExtractableI, QroRttiEnvObjectI)
 public:
  // Registers the object, then names it when a name is given.
  QroExtractableI(QroEnvI* env, const char* name = nullptr);
  ~QroExtractableI() override;

  QroInt getId() const { return _id; }
  void setId(QroInt id) { _id = id; }
  const char* getName() const { return _extension ? _extension->name : nullptr; }
  void setName(const char* name);
  QroRtti* getObject() const { return _extension ? _extension->object : nullptr; }
  // The attached object is deleted with the extractable.
  void setObject(QroRtti* object);

  // The class's hook record (none in the base).
  virtual QroExtractHooks* getHookRecord() const { return nullptr; }

  virtual QroExtractableI* makeClone(QroEnvI* env) const;
  virtual void* extract(QroAlgorithmI* algorithm);
  virtual void remove(QroAlgorithmI* algorithm, void* argument);
  virtual void* change(QroAlgorithmI* algorithm, QroChange* change);
  // Ends the object when one of its sub-extractables is marked for ending.
  virtual void endIfUsesMarked();
  // True for an object that outlives what it uses (models, terms): instead
  // of ending, its endIfUsesMarked drops the marked objects. A cascade
  // first only asks usesMarked of it, and calls endIfUsesMarked once every
  // algorithm has allowed the cascade, so that a refused one changes nothing.
  virtual QroBool outlivesUses() const { return 0; }
  // Whether a sub-extractable is marked for ending (null, unregistered or
  // marked), without changing anything.
  virtual QroBool usesMarked();
  virtual void visitSubExtractables(QroExtractableVisitor*) {}
  // Hands the visitor every extractable whose ending endIfUsesMarked looks
  // for; true when they change only as the environment is told
  // (QroEnvI::noteUse, QroEnvI::noteUsesChanged). The base hands the
  // sub-extractables and answers false: the object is asked at every cascade.
  virtual QroBool visitUses(QroExtractableVisitor* v);
  virtual QroBool isNumExprNode() const { return 0; }
  // Ends the extractable (use-counted classes override).
  virtual void release();
  // Hands the argument and this object to the environment's expander.
  virtual void expand(void* argument);
  virtual void display(std::ostream& os) const;
  virtual void addToAlgorithm(QroAlgorithmI*, void*) {}
  virtual void removeFromAlgorithm(QroAlgorithmI*, void*) {}
  virtual QroBool isNonGroundTerm() const { return 0; }
  virtual QroBool isGround() const;
  virtual QroBool hasDecisionVar() const;
  virtual QroBool isExprOrConstraint() const { return 0; }
  virtual QroBool isNumVar() const { return 0; }
  virtual QroBool isConstraint() const { return 0; }
  virtual QroBool isModel() const { return 0; }
  virtual void resetUseCount() {}
  virtual QroInt getUseCount() const { return -1; }

 protected:
  // Calls the hooks of add-to-algorithm and remove-from-algorithm records.
  void* callAddToAlgorithm(QroAlgorithmI* algorithm, void* argument);
  void* callRemoveFromAlgorithm(QroAlgorithmI* algorithm, void* argument);
  // Decision-variable search without the memo.
  QroBool findDecisionVar() const;

 private:
  struct Extension {
    char* name;
    QroRtti* object;
  };
  Extension* extension();

  QroInt _id;
  Extension* _extension;
};

// Handle of an extractable.
class QroExtractable {
 public:
  class NoCloneMechanismException : public QroException {
   public:
    explicit NoCloneMechanismException(const QroExtractableI* x)
        : QroException("Extractable do not have clone mechanism"),
          _x(x),
          _id(x ? x->getId() : -1) {}
    ~NoCloneMechanismException() override;
    void print(std::ostream& os) const override;
    const QroExtractableI* getExtractable() const { return _x; }

   private:
    const QroExtractableI* _x;
    QroInt _id;
  };

  QroExtractable(QroExtractableI* impl = nullptr) : _impl(impl) {}
  QroExtractableI* getImpl() const { return _impl; }
  QroInt getId() const { return check()->getId(); }
  const char* getName() const { return check()->getName(); }
  void setName(const char* name) const { check()->setName(name); }
  QroEnv getEnv() const { return QroEnv(check()->getEnv()); }
  // Ends the extractable and everything that uses it.
  void end();

 protected:
  QroExtractableI* check() const {
    if (!_impl) QroAbortEmptyHandle("Using empty QroExtractable handle");
    return _impl;
  }
  QroExtractableI* _impl;
};

std::ostream& operator<<(std::ostream& os, const QroExtractable& x);

// Objects of two environments never meet: whatever comes to hold an object (an
// operand, a member, an array and its elements) checks that both belong to
// one environment, before anything is built; otherwise QroWrongUsage with the
// caller's message. Null objects and empty array handles pass.
[[noreturn]] void QroThrowEnvMismatch(const char* message);
inline void QroCheckSameEnv(const QroEnvI* env, const QroExtractableI* x, const char* message) {
  if (x && x->getEnv() != env) QroThrowEnvMismatch(message);
}
// env itself once x passed, for the initialiser of a base that registers.
inline QroEnvI* QroSameEnv(QroEnvI* env, const QroExtractableI* x, const char* message) {
  QroCheckSameEnv(env, x, message);
  return env;
}
// The array's storage comes from env's general allocator.
void QroCheckArrayEnv(const QroEnvI* env, const QroArray& array, const char* message);
// The same, and every element (an extractable or null) belongs to env.
void QroCheckExtractablesEnv(const QroEnvI* env, const QroArray& array, const char* message);
// The array printer over the elements' displays (a null element prints nothing).
std::ostream& operator<<(std::ostream& os, const QroExtractableArray& a);

// Walks sub-extractables.
class QroExtractableVisitor {
 public:
  virtual ~QroExtractableVisitor();
  virtual void visit(QroExtractableI*) {}
  virtual void visitArray(QroExtractableI* parent, const QroExtractableArray& array);
  virtual void visitChild(QroExtractableI*, QroExtractableI*) {}
  virtual void endVisit(QroExtractableI*) {}
  virtual QroBool isDone() const { return 0; }
};

// Finds a child marked for ending (null, unregistered or marked).
class QroFindMarkedVisitor : public QroExtractableVisitor {
 public:
  QroFindMarkedVisitor() : _found(0) {}
  void visitArray(QroExtractableI* parent, const QroExtractableArray& array) override;
  void visitChild(QroExtractableI* parent, QroExtractableI* child) override;
  QroBool isDone() const override { return _found; }

 private:
  QroBool _found;
};

// Searches the sub-extractables in depth for a non-ground term.
class QroFindNongroundTerm : public QroExtractableVisitor {
 public:
  QroFindNongroundTerm() : _found(0) {}
  void visit(QroExtractableI* x) override;
  void visitArray(QroExtractableI* parent, const QroExtractableArray& array) override;
  void visitChild(QroExtractableI* parent, QroExtractableI* child) override;
  QroBool isDone() const override { return _found; }

 protected:
  QroBool _found;
};

// Searches the sub-extractables in depth for a decision variable.
class QroFindDecisionVar : public QroFindNongroundTerm {
 public:
  void visit(QroExtractableI* x) override;
};

// Classes that exist only as type records.
class QroIntervalExprI : public QroExtractableI {
  QROSIMPLECLASS(QroIntervalExprI, QroExtractableI)
};
class QroIntervalVarI : public QroIntervalExprI {
  QROSIMPLECLASS(QroIntervalVarI, QroIntervalExprI)
};

// Replaces the array by a new one in env holding env's clones of the elements.
QroExtractableArray QroGetClones(const QroExtractableArray& array, QroEnvI* env);

#endif
