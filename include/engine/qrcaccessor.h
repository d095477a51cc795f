// Accessors of function-defined values. An accessor stands for a function
// x -> f(x) from the integers of a domain (typically the values a set variable
// may hold) to an integer, an integer expression or an integer-set variable.
// Constraints over the elements of a set variable ask, through one interface,
// what f(x) is, whether it is bound, which values it can take, what it lost
// in the current step, and narrow it.
//
// The expression and set-variable accessors make f(x) on demand and may keep
// it in a trailed cache (off after construction): entries made below a choice
// point go on backtracking and are made again on demand. Read-only questions
// about an x for which no f(x) can be made fall back on the accessor's default
// object. get(x) fails the branch for an x outside the domain and reports
// error 25 "Access Undefined F(x)." when the function gives nothing.
//
// Accessors, their domains and function objects live on a manager's heap;
// they are outside the run-time type scheme but carry a type token and test.
#ifndef QRC_ACCESSOR_H
#define QRC_ACCESSOR_H

#include "qrcint.h"
#include "qrcintsetvar.h"
#include "qrcintvisitor.h"
#include "qrortti.h"

// Type token and type test of a root class outside the run-time type scheme.
#define QRCTYPETOKENROOT(X)                                                                   \
 public:                                                                                      \
  static inline QroTypeRecord _qroTypeRecord = {nullptr, #X, "QROSIMPLECLASS ( " #X " )", 0}; \
  static QroTypeInfo GetTypeInfo() {                                                          \
    return &_qroTypeRecord;                                                                   \
  }                                                                                           \
  virtual QroTypeInfo getTypeInfo() const {                                                   \
    return &_qroTypeRecord;                                                                   \
  }                                                                                           \
  virtual QroBool isType(QroTypeInfo t) const {                                               \
    return QroTypeIsA(&_qroTypeRecord, t);                                                    \
  }

// The same for a class derived from P.
#define QRCTYPETOKEN(X, P)                                                       \
 public:                                                                         \
  static inline QroTypeRecord _qroTypeRecord = {&P::_qroTypeRecord, #X,          \
                                                "QROSIMPLECLASS ( " #X " )", 0}; \
  static QroTypeInfo GetTypeInfo() {                                             \
    return &_qroTypeRecord;                                                      \
  }                                                                              \
  QroTypeInfo getTypeInfo() const override {                                     \
    return &_qroTypeRecord;                                                      \
  }                                                                              \
  QroBool isType(QroTypeInfo t) const override {                                 \
    return QroTypeIsA(&_qroTypeRecord, t);                                       \
  }

// ---------------------------------------------------------------- function objects

// f(x) as an integer, within [getMin(), getMax()].
class QrcIntToIntFunctionI {
  QRCTYPETOKENROOT(QrcIntToIntFunctionI)
 public:
  // The bounds of f: those of the expression when given, else +-(2^63 - 1).
  explicit QrcIntToIntFunctionI(QrcIntExpI* range = nullptr);
  virtual ~QrcIntToIntFunctionI() {}
  virtual QrcInt getValue(QrcInt x) = 0;
  QrcInt getMin() const { return _min; }
  QrcInt getMax() const { return _max; }

 protected:
  QrcInt _min;
  QrcInt _max;
};

// f(x) as an integer expression (null: undefined).
class QrcIntToIntExpFunctionI {
  QRCTYPETOKENROOT(QrcIntToIntExpFunctionI)
 public:
  explicit QrcIntToIntExpFunctionI(QrcIntExpI* defaultExp = nullptr) : _default(defaultExp) {}
  virtual ~QrcIntToIntExpFunctionI() {}
  virtual QrcIntExpI* getValue(QrcInt x) = 0;
  QrcIntExpI* getDefault() const { return _default; }

 protected:
  QrcIntExpI* _default;
};

// f(x) as an integer-set variable (null: undefined).
class QrcIntToIntSetVarFunctionI {
  QRCTYPETOKENROOT(QrcIntToIntSetVarFunctionI)
 public:
  explicit QrcIntToIntSetVarFunctionI(QrcIntSetVarI* defaultVar = nullptr) : _default(defaultVar) {}
  virtual ~QrcIntToIntSetVarFunctionI() {}
  virtual QrcIntSetVarI* getValue(QrcInt x) = 0;
  QrcIntSetVarI* getDefault() const { return _default; }

 protected:
  QrcIntSetVarI* _default;
};

class QrcIntToIntFunction {
 public:
  QrcIntToIntFunction(QrcIntToIntFunctionI* impl = nullptr) : _impl(impl) {}
  QrcIntToIntFunctionI* getImpl() const { return _impl; }

 private:
  QrcIntToIntFunctionI* _impl;
};

class QrcIntToIntExpFunction {
 public:
  QrcIntToIntExpFunction(QrcIntToIntExpFunctionI* impl = nullptr) : _impl(impl) {}
  QrcIntToIntExpFunctionI* getImpl() const { return _impl; }

 private:
  QrcIntToIntExpFunctionI* _impl;
};

class QrcIntToIntSetVarFunction {
 public:
  QrcIntToIntSetVarFunction(QrcIntToIntSetVarFunctionI* impl = nullptr) : _impl(impl) {}
  QrcIntToIntSetVarFunctionI* getImpl() const { return _impl; }

 private:
  QrcIntToIntSetVarFunctionI* _impl;
};

// ---------------------------------------------------------------- accessor domains

// The valid x of an accessor.
class QrcAccessorDomainI {
 public:
  virtual ~QrcAccessorDomainI() {}
  // The class the object declares itself (QRCLIBRARYCLASS), null for none.
  virtual const std::type_info* getLibraryClass() const { return nullptr; }
  virtual QrcManagerI* getManager() const = 0;
  // No domain of this system grows: each is closed, has no extension event
  // to watch and no new index to show.
  virtual QrcBool isClosed() const { return 1; }
  virtual QrcBool contains(QrcInt x) const = 0;
  // Returns when x is valid, else fails the branch.
  virtual void require(QrcInt x) const;
  virtual void whenExtended(QrcDemonI* demon) { (void)demon; }
  virtual void visitNewIndices(QrcIntVisitor* visitor) { (void)visitor; }
  // The least valid x.
  virtual QrcInt getLeast() const = 0;
  // The same valid x on the target manager; a domain of another kind is
  // shared.
  virtual QrcAccessorDomainI* copyFor(QrcManagerI* target) {
    (void)target;
    return this;
  }
};

// The values of a collection.
class QrcIntCollectionAccessorDomainI : public QrcAccessorDomainI {
  QRCLIBRARYCLASS(QrcIntCollectionAccessorDomainI)
 public:
  explicit QrcIntCollectionAccessorDomainI(QrcIntCollectionI* collection)
      : _collection(collection) {}
  QrcManagerI* getManager() const override { return _collection->getManager(); }
  QrcBool contains(QrcInt x) const override { return _collection->find(x) != nullptr; }
  QrcInt getLeast() const override { return _collection->getSmallest(); }
  QrcIntCollectionI* getCollection() const { return _collection; }
  QrcAccessorDomainI* copyFor(QrcManagerI* target) override;

 private:
  QrcIntCollectionI* _collection;
};

// [min, max].
class QrcIntRangeAccessorDomainI : public QrcAccessorDomainI {
  QRCLIBRARYCLASS(QrcIntRangeAccessorDomainI)
 public:
  QrcIntRangeAccessorDomainI(QrcManagerI* manager, QrcInt min, QrcInt max)
      : _manager(manager), _min(min), _max(max) {}
  QrcManagerI* getManager() const override { return _manager; }
  QrcBool contains(QrcInt x) const override { return x >= _min && x <= _max; }
  QrcInt getLeast() const override { return _min; }
  QrcInt getMax() const { return _max; }
  QrcAccessorDomainI* copyFor(QrcManagerI* target) override;

 private:
  QrcManagerI* _manager;
  QrcInt _min;
  QrcInt _max;
};

// ---------------------------------------------------------------- cache

// The f(x) made so far, in slot x - least valid x; sizes double from 1 up to
// 2^20 slots, and an x beyond the last slot is not cached. The size, the
// table and each entry are saved on the trail before they change.
class QrcAccessorCache {
 public:
  static const QrcInt MaxSlots = QrcInt(1) << 20;
  QrcAccessorCache(QrcManagerI* manager, QrcInt least)
      : _manager(manager), _least(least), _size(0), _data(nullptr) {}
  // The entry of x, null when none.
  void* get(QrcInt x) const;
  void set(QrcInt x, void* value);
  QrcInt getSize() const { return _size; }

 private:
  // Slot of x, -1 when x has none.
  QrcInt slotOf(QrcInt x) const;
  void grow(QrcInt slot);

  QrcManagerI* _manager;
  QrcInt _least;
  QrcInt _size;
  void** _data;
};

// ---------------------------------------------------------------- accessors

class QrcAccessorI {
  QRCTYPETOKENROOT(QrcAccessorI)
 public:
  explicit QrcAccessorI(QrcAccessorDomainI* domain);
  // A copy would not be noted (copyFor makes one for another manager).
  QrcAccessorI(const QrcAccessorI&) = delete;
  QrcAccessorI& operator=(const QrcAccessorI&) = delete;
  virtual ~QrcAccessorI();
  // The class the object declares itself (QRCLIBRARYCLASS), null for none.
  virtual const std::type_info* getLibraryClass() const { return nullptr; }
  QrcAccessorDomainI* getDomain() const { return _domain; }
  QrcManagerI* getManager() const { return _domain->getManager(); }
  QrcAccessorCache* getCache() const { return _cache; }

 protected:
  // Installs an empty cache (trailed).
  void makeCache();

  QrcAccessorDomainI* _domain;
  QrcAccessorCache* _cache;
};

class QrcDiscreteExpAccessorI : public QrcAccessorI {
  QRCLIBRARYCLASS(QrcDiscreteExpAccessorI)
  QRCTYPETOKEN(QrcDiscreteExpAccessorI, QrcAccessorI)
 public:
  explicit QrcDiscreteExpAccessorI(QrcAccessorDomainI* domain) : QrcAccessorI(domain) {}
};

// The questions every integer accessor answers; x is an index, v a value, S
// a set variable. Visits answer what the visitor last answered (true when it
// was not asked).
class QrcIntAccessorI : public QrcDiscreteExpAccessorI {
  QRCLIBRARYCLASS(QrcIntAccessorI)
  QRCTYPETOKEN(QrcIntAccessorI, QrcDiscreteExpAccessorI)
 public:
  explicit QrcIntAccessorI(QrcAccessorDomainI* domain) : QrcDiscreteExpAccessorI(domain) {}
  virtual QrcBool isBound(QrcInt x) = 0;
  virtual QrcBool isInDomainAt(QrcInt v, QrcInt x) = 0;
  // Whether some f(x) can take v.
  virtual QrcBool isPossibleValue(QrcInt v) = 0;
  // Growth tests of set variables (0 but for set-variable accessors).
  virtual QrcBool hasUniverseDeltaAt(QrcInt x) {
    (void)x;
    return 0;
  }
  virtual QrcBool isExtensibleAt(QrcInt x) {
    (void)x;
    return 0;
  }
  virtual QrcBool isExtensible() { return 0; }
  // Bounds on the number of values of f(x): 1 but for set-variable accessors.
  virtual QrcInt getCardMinAt(QrcInt x) {
    (void)x;
    return 1;
  }
  virtual QrcInt getCardMin() { return 1; }
  virtual QrcInt getCardMaxAt(QrcInt x) {
    (void)x;
    return 1;
  }
  virtual QrcInt getCardMax() { return 1; }
  // The manager's constant 1 but for set-variable accessors.
  virtual QrcIntExpI* getCardinalityAt(QrcInt x);
  virtual void whenDomainAt(QrcInt x, QrcDemonI* demon) = 0;
  // Kind 0: the values of f(x) (possible values of a set); kind 1: its value
  // when bound (required values of a set).
  virtual QrcBool visitValuesAt(QrcInt x, QrcIntVisitor* visitor, QrcInt kind) = 0;
  // Kind 0: the values f(x) lost in this step; kind 1: its value when it
  // became bound in this step (values that became required in a set).
  virtual QrcBool visitDeltaAt(QrcInt x, QrcIntVisitor* visitor, QrcInt kind) = 0;
  virtual void requireValueAt(QrcInt x, QrcInt v) = 0;
  // Whether some f(x), resp. f(x), can lie within S (the constraint that it
  // does is QrcMakeInclusionAt, qrcsetfunctions.h).
  virtual QrcBool isCompatible(QrcIntSetVarI* s) = 0;
  virtual QrcBool isCompatibleAt(QrcInt x, QrcIntSetVarI* s) = 0;
  // The accessor on the target manager, owning its data there: the domain
  // copied and f(x) tabled once for each valid x (expressions and set
  // variables copied into the target). An accessor on the target already,
  // or whose valid x cannot be listed (another kind of domain, or more than
  // QrcAccessorCache::MaxSlots of them), is shared.
  virtual QrcIntAccessorI* copyFor(QrcManagerI* target) {
    (void)target;
    return this;
  }
};

// f(x) is an integer in [min, max].
class QrcIntConstAccessorI : public QrcIntAccessorI {
  QRCLIBRARYCLASS(QrcIntConstAccessorI)
  QRCTYPETOKEN(QrcIntConstAccessorI, QrcIntAccessorI)
 public:
  QrcIntConstAccessorI(QrcAccessorDomainI* domain, QrcInt min, QrcInt max)
      : QrcIntAccessorI(domain), _min(min), _max(max) {}
  virtual QrcInt makeValue(QrcInt x) = 0;
  QrcBool isBound(QrcInt x) override {
    (void)x;
    return 1;
  }
  QrcBool isInDomainAt(QrcInt v, QrcInt x) override { return makeValue(x) == v; }
  QrcBool isPossibleValue(QrcInt v) override { return v >= _min && v <= _max; }
  void whenDomainAt(QrcInt x, QrcDemonI* demon) override {
    (void)x;
    (void)demon;
  }
  QrcBool visitValuesAt(QrcInt x, QrcIntVisitor* visitor, QrcInt kind) override;
  QrcBool visitDeltaAt(QrcInt x, QrcIntVisitor* visitor, QrcInt kind) override;
  // Fails the branch unless f(x) = v.
  void requireValueAt(QrcInt x, QrcInt v) override;
  QrcBool isCompatible(QrcIntSetVarI* s) override;
  QrcBool isCompatibleAt(QrcInt x, QrcIntSetVarI* s) override;
  QrcIntConstAccessorI* copyFor(QrcManagerI* target) override;
  QrcInt getMin() const { return _min; }
  QrcInt getMax() const { return _max; }

 protected:
  QrcInt _min;
  QrcInt _max;
};

// f(x) is an integer expression.
class QrcIntExpAccessorI : public QrcIntAccessorI {
  QRCLIBRARYCLASS(QrcIntExpAccessorI)
  QRCTYPETOKEN(QrcIntExpAccessorI, QrcIntAccessorI)
 public:
  QrcIntExpAccessorI(QrcAccessorDomainI* domain, QrcIntExpI* defaultExp)
      : QrcIntAccessorI(domain), _default(defaultExp) {}
  // f(x), null when undefined.
  virtual QrcIntExpI* makeValue(QrcInt x) = 0;
  QrcBool isBound(QrcInt x) override;
  QrcBool isInDomainAt(QrcInt v, QrcInt x) override;
  QrcBool isPossibleValue(QrcInt v) override;
  void whenDomainAt(QrcInt x, QrcDemonI* demon) override;
  QrcBool visitValuesAt(QrcInt x, QrcIntVisitor* visitor, QrcInt kind) override;
  QrcBool visitDeltaAt(QrcInt x, QrcIntVisitor* visitor, QrcInt kind) override;
  void requireValueAt(QrcInt x, QrcInt v) override;
  QrcBool isCompatible(QrcIntSetVarI* s) override;
  QrcBool isCompatibleAt(QrcInt x, QrcIntSetVarI* s) override;
  QrcIntExpAccessorI* copyFor(QrcManagerI* target) override;

  // Keeps the f(x) made from now on.
  void useCache() { makeCache(); }
  // The f(x) cached or made for a valid x, null when there is none.
  QrcIntExpI* peek(QrcInt x);
  // f(x): fails the branch for an invalid x, error 25 when f gives nothing.
  QrcIntExpI* get(QrcInt x);
  // Bounds of f(x), else of the default, else the whole integer range.
  void getRange(QrcInt x, QrcInt& min, QrcInt& max);
  QrcInt getMin(QrcInt x);
  QrcInt getMax(QrcInt x);
  void getFloatRange(QrcInt x, double& min, double& max);
  double getFloatMin(QrcInt x);
  double getFloatMax(QrcInt x);
  // Narrow get(x).
  void setRange(QrcInt x, QrcInt a, QrcInt b);
  void setMin(QrcInt x, QrcInt v);
  void setMax(QrcInt x, QrcInt v);
  QrcIntExpI* getDefault() const { return _default; }

 protected:
  // peek(x), else the default (may be null).
  QrcIntExpI* at(QrcInt x);

  QrcIntExpI* _default;
};

// f(x) is an integer-set variable.
class QrcIntSetVarAccessorI : public QrcIntAccessorI {
  QRCLIBRARYCLASS(QrcIntSetVarAccessorI)
  QRCTYPETOKEN(QrcIntSetVarAccessorI, QrcIntAccessorI)
 public:
  QrcIntSetVarAccessorI(QrcAccessorDomainI* domain, QrcIntSetVarI* defaultVar)
      : QrcIntAccessorI(domain), _default(defaultVar) {}
  // f(x), null when undefined.
  virtual QrcIntSetVarI* makeValue(QrcInt x) = 0;
  QrcBool isBound(QrcInt x) override;
  // v possible in f(x).
  QrcBool isInDomainAt(QrcInt v, QrcInt x) override;
  QrcBool isPossibleValue(QrcInt v) override;
  QrcBool hasUniverseDeltaAt(QrcInt x) override;
  QrcBool isExtensibleAt(QrcInt x) override;
  QrcBool isExtensible() override;
  QrcInt getCardMinAt(QrcInt x) override;
  // The default's cardinality bounds, [0, 2^63 - 1] without one.
  QrcInt getCardMin() override;
  QrcInt getCardMaxAt(QrcInt x) override;
  QrcInt getCardMax() override;
  QrcIntExpI* getCardinalityAt(QrcInt x) override;
  void whenDomainAt(QrcInt x, QrcDemonI* demon) override;
  QrcBool visitValuesAt(QrcInt x, QrcIntVisitor* visitor, QrcInt kind) override;
  QrcBool visitDeltaAt(QrcInt x, QrcIntVisitor* visitor, QrcInt kind) override;
  // v required in f(x).
  void requireValueAt(QrcInt x, QrcInt v) override;
  QrcBool isCompatible(QrcIntSetVarI* s) override;
  QrcBool isCompatibleAt(QrcInt x, QrcIntSetVarI* s) override;
  QrcIntSetVarAccessorI* copyFor(QrcManagerI* target) override;

  void useCache() { makeCache(); }
  QrcIntSetVarI* peek(QrcInt x);
  QrcIntSetVarI* get(QrcInt x);
  QrcIntSetVarI* getDefault() const { return _default; }

 protected:
  QrcIntSetVarI* at(QrcInt x);

  QrcIntSetVarI* _default;
};

// ---------------------------------------------------------------- function forms

class QrcIntFunctionAccessorI : public QrcIntConstAccessorI {
  QRCTYPETOKEN(QrcIntFunctionAccessorI, QrcIntConstAccessorI)
 public:
  // No cache; the bounds of the function.
  QrcIntFunctionAccessorI(QrcAccessorDomainI* domain, QrcIntToIntFunctionI* function)
      : QrcIntConstAccessorI(domain, function->getMin(), function->getMax()), _function(function) {}
  QrcInt makeValue(QrcInt x) override { return _function->getValue(x); }
  QrcIntToIntFunctionI* getFunction() const { return _function; }

 private:
  QrcIntToIntFunctionI* _function;
};

class QrcIntExpFunctionAccessorI : public QrcIntExpAccessorI {
  QRCTYPETOKEN(QrcIntExpFunctionAccessorI, QrcIntExpAccessorI)
 public:
  // No cache; the default expression of the function.
  QrcIntExpFunctionAccessorI(QrcAccessorDomainI* domain, QrcIntToIntExpFunctionI* function)
      : QrcIntExpAccessorI(domain, function->getDefault()), _function(function) {}
  QrcIntExpI* makeValue(QrcInt x) override { return _function->getValue(x); }
  QrcIntToIntExpFunctionI* getFunction() const { return _function; }

 private:
  QrcIntToIntExpFunctionI* _function;
};

class QrcIntSetVarFunctionAccessorI : public QrcIntSetVarAccessorI {
  QRCTYPETOKEN(QrcIntSetVarFunctionAccessorI, QrcIntSetVarAccessorI)
 public:
  // No cache; the default set variable of the function.
  QrcIntSetVarFunctionAccessorI(QrcAccessorDomainI* domain, QrcIntToIntSetVarFunctionI* function)
      : QrcIntSetVarAccessorI(domain, function->getDefault()), _function(function) {}
  QrcIntSetVarI* makeValue(QrcInt x) override { return _function->getValue(x); }
  QrcIntToIntSetVarFunctionI* getFunction() const { return _function; }

 private:
  QrcIntToIntSetVarFunctionI* _function;
};

// Handle of an integer accessor.
class QrcIntAccessor {
 public:
  QrcIntAccessor(QrcIntAccessorI* impl = nullptr) : _impl(impl) {}
  QrcIntAccessorI* getImpl() const { return _impl; }

 private:
  QrcIntAccessorI* _impl;
};

#endif
