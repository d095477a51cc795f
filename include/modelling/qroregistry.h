// Registries and caches kept by the environment: plug-ins with their add-ons
// and change listeners, the recycle bin of cascading destruction, the clone
// table and the index of live extractables by class.
#ifndef QRO_REGISTRY_H
#define QRO_REGISTRY_H

#include <exception>

#include "qroextractable.h"
#include "qropointertable.h"

class QroPlugInRegistry {
 public:
  struct Entry {
    char* name;
    QroPlugIn* plugIns;
    QroPlugInAddon* addons;
    Entry* next;
  };

  explicit QroPlugInRegistry(QroEnvI* env) : _entries(nullptr), _env(env), _listeners(nullptr) {}
  ~QroPlugInRegistry();
  QroPlugInRegistry(const QroPlugInRegistry&) = delete;
  QroPlugInRegistry& operator=(const QroPlugInRegistry&) = delete;

  Entry* find(const char* name) const;
  Entry* findOrCreate(const char* name);
  // Pushes the plug-in and attaches every add-on of the name to it.
  void addPlugIn(QroPlugIn* plugIn, const char* name);
  // Pushes the add-on and attaches it to every plug-in of the name.
  void addAddon(QroPlugInAddon* addon, const char* name);
  // Detaches every add-on of the name from the plug-in and unlinks it.
  void removePlugIn(QroPlugIn* plugIn, const char* name);
  QroBool hasAddon(QroTypeInfo token, const char* name) const;
  QroPlugIn* getFirstPlugIn(const char* name) const;

  // Change listeners (not owned).
  void addListener(QroChangeListenerI* listener);
  void removeListener(QroChangeListenerI* listener);
  template <class F>
  void forEachChangeListener(F f) const {
    for (ListenerNode* n = _listeners; n;) {
      ListenerNode* next = n->next;
      f(n->listener);
      n = next;
    }
  }

 private:
  struct ListenerNode {
    QroChangeListenerI* listener;
    ListenerNode* next;
  };
  Entry* _entries;
  QroEnvI* _env;
  ListenerNode* _listeners;
};

// The state of a cascade: marked and pending extractables and those still in
// use by an algorithm when deleted.
class QroRecycleBinI : public QroEnvObjectI {
 public:
  explicit QroRecycleBinI(QroEnvI* env);
  ~QroRecycleBinI() override;

  // Marks x for ending (or, while deleting, queues it as pending).
  void mark(QroExtractableI* x);
  // Ends x and every extractable that uses it: collects what would end and
  // what would change (objects that outlive what they use), asks the
  // algorithms, and only then changes and deletes. A refusal unmarks
  // everything and passes on, with nothing changed.
  void run(QroExtractableI* x);
  // A collecting sweep asks x whether it uses a marked object: x ends (is
  // marked) or, when it outlives its uses, is kept to drop them later.
  void ask(QroExtractableI* x);
  // Cascades run so far (the one running included).
  QroInt getSerial() const { return _serial; }
  // The reference collection: every live extractable is asked at each sweep
  // instead of the users that the environment's use index finds.
  void setSweepingAll(QroBool on) { _sweepAll = on; }
  QroBool isSweepingAll() const { return _sweepAll; }
  QroBool isDestroying() const { return _destroying; }
  QroBool isInUseTable(QroExtractableI* x) const { return _inUse->contains(x); }
  void addToInUseTable(QroExtractableI* x) { _inUse->add(x, x); }
  QroExtractableArray getMarked() const { return _marked; }

 private:
  void sweep();
  void clearPending();
  void clearAltered();
  // Throws when an algorithm refuses the cascade collected.
  void checkAllowed();
  void deleteMarked(std::exception_ptr& failure);
  QroExtractableArray _marked;
  QroExtractableArray _pending;
  QroPointerTable _pendingSet;  // the objects of _pending
  // The objects that will drop marked ones, in the order they were found.
  QroExtractableArray _altered;
  QroPointerTable _alteredSet;
  QroBool _destroying;
  QroAny2AnyHashTable* _inUse;
  QroInt _serial = 0;
  QroBool _sweepAll = 0;
};

// Clones of extractables by identifier, memoised within one outermost call.
class QroCloneTable {
 public:
  explicit QroCloneTable(QroEnvI* env);
  ~QroCloneTable();
  QroCloneTable(const QroCloneTable&) = delete;
  QroCloneTable& operator=(const QroCloneTable&) = delete;
  QroExtractableI* getClone(QroExtractableI* x);
  void setCloner(QroClonerI* cloner) { _cloner = cloner; }

 private:
  QroEnvI* _env;
  QroBool _busy;
  QroExtractableArray _clones;
  QroIntArray _filled;
  QroClonerI* _cloner;
};

// Live extractables by class: a tree of type nodes below QroExtractableI.
class QroExtractableTypeIndex {
 public:
  explicit QroExtractableTypeIndex(QroEnvI* env);
  ~QroExtractableTypeIndex();
  QroExtractableTypeIndex(const QroExtractableTypeIndex&) = delete;
  QroExtractableTypeIndex& operator=(const QroExtractableTypeIndex&) = delete;

  void registered(QroExtractableI* x);
  void unregistered(QroExtractableI* x);
  // Appends to `out` every live extractable whose class is the token's class
  // or derives from it.
  void collect(QroTypeInfo token, QroExtractableArray& out);
  void setRebuild() { _rebuild = 1; }

 private:
  struct Node {
    QroTypeInfo token;
    Node* parent;
    Node* firstChild;
    Node* nextSibling;
    QroExtractableArray members;
  };
  struct BucketEntry {
    QroTypeInfo token;
    Node* node;
    BucketEntry* next;
  };
  Node* findNode(QroTypeInfo token) const;
  Node* getNode(QroTypeInfo token);
  void fold();
  void rebuild();
  void place(QroExtractableI* x);
  void collectFrom(Node* n, QroExtractableArray& out);
  void freeNodes();

  QroEnvI* _env;
  QroBool _rebuild;
  QroExtractableArray _pending;
  BucketEntry** _buckets;
  QroInt _bucketCount;
  mutable Node* _lastFound;
};

#endif
