// Change objects: short-lived descriptions of one edit of the model, sent by
// the environment to change listeners and algorithms.
#ifndef QRO_CHANGE_H
#define QRO_CHANGE_H

#include "qroextractable.h"

class QroChange;

typedef void (*QroChangeApplyHook)(QroAlgorithmI* algorithm, QroChange* change, void* argument);

// Static record of a change class, filled by the solver's default extractor.
struct QroChangeHooks {
  QroInt typeIndex;
  QroChangeApplyHook apply;
};

#define QROCHANGEHOOKS()                             \
 public:                                             \
  static inline QroChangeHooks Hooks = {0, nullptr}; \
  QroChangeHooks* getHookRecord() const override {   \
    return &Hooks;                                   \
  }

// The solver layer's receiver of forwarded changes.
class QroChangeReceiverI {
 public:
  virtual ~QroChangeReceiverI();
  virtual void added(void* context, QroExtractableI* x) = 0;
  virtual void removed(void* context, QroExtractableI* x) = 0;
};

class QroChange : public QroRtti {
  QROSIMPLECLASS(QroChange, QroRtti)
 public:
  ~QroChange() override;
  virtual QroChangeHooks* getHookRecord() const { return nullptr; }
  virtual void forward(QroEnvI* env, void* argument, QroChangeReceiverI* receiver) const;
  // Calls the class's apply hook; CannotChangeException when it is empty.
  virtual void apply(QroAlgorithmI* algorithm, void* argument);
  virtual QroBool needsUseFilter() const { return 0; }
  virtual QroExtractableArray getChangedExtractableArray() const;
  virtual QroExtractableI* getChangedExtractable() const;
};

class QroRemoveFromAllChange : public QroChange {
  QROSIMPLECLASS(QroRemoveFromAllChange, QroChange)
  QROCHANGEHOOKS()
 public:
  explicit QroRemoveFromAllChange(const QroExtractableArray& array) : _array(array) {}
  ~QroRemoveFromAllChange() override;
  // The argument, when given, is the one extractable that goes.
  void forward(QroEnvI* env, void* argument, QroChangeReceiverI* receiver) const override;
  QroBool needsUseFilter() const override { return 1; }
  QroExtractableArray getChangedExtractableArray() const override { return _array; }

 private:
  QroExtractableArray _array;
};

class QroDestroyExtractable : public QroChange {
  QROSIMPLECLASS(QroDestroyExtractable, QroChange)
  QROCHANGEHOOKS()
 public:
  explicit QroDestroyExtractable(QroExtractableI* x) : _x(x) {}
  ~QroDestroyExtractable() override;
  void forward(QroEnvI*, void*, QroChangeReceiverI*) const override {}
  QroExtractableI* getChangedExtractable() const override { return _x; }

 private:
  QroExtractableI* _x;
};

class QroDestroyExtractableArray : public QroChange {
  QROSIMPLECLASS(QroDestroyExtractableArray, QroChange)
  QROCHANGEHOOKS()
 public:
  explicit QroDestroyExtractableArray(const QroExtractableArray& array) : _array(array) {}
  ~QroDestroyExtractableArray() override;
  void forward(QroEnvI*, void*, QroChangeReceiverI*) const override {}
  QroExtractableArray getChangedExtractableArray() const override { return _array; }

 private:
  QroExtractableArray _array;
};

class QroAddOneToModel : public QroChange {
  QROSIMPLECLASS(QroAddOneToModel, QroChange)
  QROCHANGEHOOKS()
 public:
  QroAddOneToModel(QroExtractableI* model, QroExtractableI* added) : _model(model), _added(added) {}
  ~QroAddOneToModel() override;
  void forward(QroEnvI* env, void* argument, QroChangeReceiverI* receiver) const override;
  QroExtractableI* getChangedExtractable() const override { return _model; }
  QroExtractableI* getModel() const { return _model; }
  QroExtractableI* getAdded() const { return _added; }

 private:
  QroExtractableI* _model;
  QroExtractableI* _added;
};

class QroRemoveFromModel : public QroChange {
  QROSIMPLECLASS(QroRemoveFromModel, QroChange)
  QROCHANGEHOOKS()
 public:
  // With the owned flag, the array is made in the model's environment and
  // deleted with the change.
  QroRemoveFromModel(QroExtractableI* model, const QroExtractableArray& removed, QroBool owned);
  // One removed extractable, in an owned array.
  QroRemoveFromModel(QroExtractableI* model, QroExtractableI* removed);
  ~QroRemoveFromModel() override;
  void forward(QroEnvI* env, void* argument, QroChangeReceiverI* receiver) const override;
  QroExtractableI* getChangedExtractable() const override { return _model; }
  QroExtractableI* getModel() const { return _model; }
  QroExtractableArray getRemoved() const { return _removed; }

 private:
  QroExtractableI* _model;
  QroExtractableArray _removed;
  QroBool _owned;
};

class QroSetNumVarBounds : public QroChange {
  QROSIMPLECLASS(QroSetNumVarBounds, QroChange)
  QROCHANGEHOOKS()
 public:
  QroSetNumVarBounds(QroExtractableI* var, double lb, double ub) : _var(var), _lb(lb), _ub(ub) {}
  ~QroSetNumVarBounds() override;
  void forward(QroEnvI*, void*, QroChangeReceiverI*) const override {}
  QroExtractableI* getVar() const { return _var; }
  double getLB() const { return _lb; }
  double getUB() const { return _ub; }

 private:
  QroExtractableI* _var;
  double _lb;
  double _ub;
};

// A variable removed from a linear term; forwarded as the variable's removal.
class QroLinTermRemoveVarChange : public QroChange {
 public:
  QroLinTermRemoveVarChange(QroExtractableI* term, QroExtractableI* var) : _term(term), _var(var) {}
  ~QroLinTermRemoveVarChange() override;
  void forward(QroEnvI* env, void* argument, QroChangeReceiverI* receiver) const override;
  QroExtractableI* getTerm() const { return _term; }
  QroExtractableI* getVar() const { return _var; }

 private:
  QroExtractableI* _term;
  QroExtractableI* _var;
};

class QroNumLinTermRemoveVar : public QroLinTermRemoveVarChange {
  QROSIMPLECLASS(QroNumLinTermRemoveVar, QroChange)
  QROCHANGEHOOKS()
 public:
  using QroLinTermRemoveVarChange::QroLinTermRemoveVarChange;
  ~QroNumLinTermRemoveVar() override;
};

class QroIntLinTermRemoveVar : public QroLinTermRemoveVarChange {
  QROSIMPLECLASS(QroIntLinTermRemoveVar, QroChange)
  QROCHANGEHOOKS()
 public:
  using QroLinTermRemoveVarChange::QroLinTermRemoveVarChange;
  ~QroIntLinTermRemoveVar() override;
};

#endif
