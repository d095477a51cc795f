// Root of the engine's expressions: manager, optional name, optional event
// handler (an expression with one is a variable), copy memo, the demons
// attached through a node before it became a variable, parents list and the
// stamp that validates cached bounds. Also the saver base.
#ifndef QRC_EXPR_H
#define QRC_EXPR_H

#include <iosfwd>

#include "qrcerror.h"
#include "qrctypes.h"

class QrcExprI : public QrcPrintable {
 public:
  // Cell of the parents list.
  struct ParentCell {
    ParentCell* next;
    QrcExprI* parent;
  };
  // What a node built over operands is filed under for sharing: the operand it
  // is first a parent of, a second word (a second operand or a constant's
  // bits, normalised so that nodes isEqual finds equal have equal keys) and the
  // family of node classes whose isEqual compares those words.
  struct ShareKey {
    const QrcExprI* operand;
    QrcWord word;
    QrcWord family;
  };
  enum ShareFamily {
    IntUnaryShare = 1,
    IntBinaryShare,
    FloatUnaryShare,
    FloatBinaryShare,
    FloatViewShare
  };
  // Name holder: a word that is always 0 and the name.
  struct NameHolder {
    QrcWord zero;
    const char* name;
  };
  // The event a demon attached through a node listens to.
  enum WatchEvent { ValueWatch, RangeWatch, DomainWatch };
  // Cell of the demons attached through a node while it had no event handler
  // (handed down to its operands): the handler it gets later takes them.
  struct WatchCell {
    WatchCell* next;
    QrcDemonI* demon;
    QrcInt event;
  };

  explicit QrcExprI(QrcManagerI* manager);
  QrcExprI(QrcManagerI* manager, QrcEventHandlerI* handler, const char* name);
  // Copy of a source expression for another manager (used by makeCopy).
  QrcExprI(QrcManagerI* manager, const QrcExprI& source);
  // A plain copy would share its source's parents and handler, and would not
  // be noted.
  QrcExprI(const QrcExprI&) = delete;
  QrcExprI& operator=(const QrcExprI&) = delete;
  virtual ~QrcExprI();
  // The class the object declares itself (QRCLIBRARYCLASS), null for none.
  virtual const std::type_info* getLibraryClass() const { return nullptr; }

  void display(std::ostream& os) const override;
  virtual void hook() {}
  // Structural equality; the base answers identity.
  virtual bool isEqual(const QrcExprI* other) const { return other == this; }
  // The expression built again in another manager; error 25 in the base.
  virtual QrcExprI* makeCopy(QrcManagerI* target) const;
  virtual QrcInt getExprTypeId() const;
  virtual void* makeSaver() { return nullptr; }
  // Installs a filter minimising the expression; error 45 in the base.
  virtual void setObjMin(QrcFloat step, QrcFloat relativeStep);
  virtual void notifyMonitor(QrcAny label, QrcPropagationQueueI* queue) {
    (void)label;
    (void)queue;
  }
  // The node's sharing key; false for expressions that are not shared nodes.
  virtual bool getShareKey(ShareKey& key) const {
    (void)key;
    return false;
  }

  QrcManagerI* getManager() const { return _manager; }
  QrcEventHandlerI* getEventHandler() const { return _handler; }
  bool isVariable() const { return _handler != nullptr; }
  void setEventHandler(QrcEventHandlerI* handler);
  const char* getName() const { return _name ? _name->name : nullptr; }
  void setName(const char* name);
  ParentCell* addParent(QrcExprI* parent);
  ParentCell* getParents() const { return _parents; }
  // The first parent, in list order, of the class of the candidate (its
  // getExprTypeId) that the candidate finds equal, else null. When the list is
  // longer than a few cells, a candidate with a share key on this expression is
  // looked up in the manager's index of shared nodes instead, which gives the
  // same answer in expected constant time.
  QrcExprI* findEqualParent(const QrcExprI* candidate) const;
  // The same answer by walking the parents list.
  QrcExprI* scanEqualParents(const QrcExprI* candidate) const;
  // Tests only: findEqualParent walks the parents list alone (true) or uses
  // the index (false, the default).
  static void setSharingByScan(bool on);
  // Records a demon attached through this node (undone on backtrack).
  void rememberDemon(QrcDemonI* demon, WatchEvent event);
  // Drops a removed demon from the record (undone on backtrack).
  void forgetDemon(QrcDemonI* demon);
  WatchCell* getRememberedDemons() const { return _watchers; }
  void invalidateParents();
  QrcInt getBoundsStamp() const { return _boundsStamp; }
  void setBoundsStamp(QrcInt stamp) { _boundsStamp = stamp; }
  [[noreturn]] void fail(QrcAny label = nullptr);
  QrcErrorReporter* getErrorReporter() const;
  // The copy for a manager, made once per outermost copy and memoised.
  QrcExprI* getCopyForManager(QrcManagerI* target);

  // Draws the next expression class number (the first class gets 1).
  static QrcInt newExprTypeId();

 protected:
  // Files a node with a share key, just made a parent of its key's operand, in
  // the index of shared nodes (undone with that parents-list cell on
  // backtracking).
  void enterShareIndex();
  NameHolder* _name;
  QrcManagerI* _manager;
  QrcEventHandlerI* _handler;
  QrcExprI* _copyMemo;
  WatchCell* _watchers;
  ParentCell* _parents;
  QrcInt _boundsStamp;
};

// Declares a class's own expression class number, drawn on first use.
#define QRCEXPRTYPEID                             \
  QrcInt getExprTypeId() const override {         \
    static QrcInt id = QrcExprI::newExprTypeId(); \
    return id;                                    \
  }

// Records an expression's bounds and re-applies them.
class QrcSaverI {
 public:
  explicit QrcSaverI(QrcExprI* exp) : _skip(0), _next(nullptr), _exp(exp) {}
  virtual ~QrcSaverI() {}
  // The class the object declares itself (QRCLIBRARYCLASS), null for none.
  virtual const std::type_info* getLibraryClass() const { return nullptr; }
  virtual void save() = 0;
  virtual void restore() = 0;
  QrcInt _skip;
  QrcSaverI* _next;

 protected:
  QrcExprI* _exp;
};

// The copy protocol shared by expressions and constraints: the outermost copy
// opens the target manager's memo stack; every memo word filled during it is
// recorded there and cleared when the outermost copy closes it.
bool QrcOpenCopy(QrcManagerI* target);
void QrcRememberCopyMemo(QrcManagerI* target, void* memoWord);
void QrcCloseCopy(QrcManagerI* target, bool opened);

#endif
