// The solver object: extraction records, synchronisation with model changes,
// goal choice and search control over one engine manager.
#ifndef QRO_SOLVERI_H
#define QRO_SOLVERI_H

#include "qrosolver.h"
#include "qrcerror.h"
#include "qrcfloatexp.h"
#include "qrcfloatvararray.h"
#include "qrcint.h"

class QrcBox;

class QrcIntExpI;
class QrcFloatExpI;
class QrcConstraintI;
class QrcFilterLevelTable;
class QrcPointerHashMap;
class QrcSearchI;
class QroSolverI;
class QroSolverExtractorManagerI;
class QroSolverLocalEnvI;
class QroCPPresolveI;
class QroIntSetI;
class QrcIntSetI;
class QroSolverListenerI;
class QroSolverListenerList;
class QroChangeListenerI;
class QrcIntSetVarI;
class QrcGoal;
class QrcIntVarArray;
class QrcProber;
class QrcImpactInformation;
class QrcDecisionLog;
template <class T>
class QrcGrowableArray;

// What an extractable became in the engine; on the manager's heap.
struct QroExtractionRecord {
  enum Kind { IntKind = 1, FloatKind = 2 };
  QrcIntExpI* intExp;
  QrcFloatExpI* floatExp;
  QrcConstraintI* constraint;
  QroInt kind;
};

// A model change queued until the next synchronisation, on the change memory.
class QrcChange {
 public:
  QrcChange() : _next(nullptr) {}
  virtual ~QrcChange() {}
  virtual void apply(QroSolverI* solver) = 0;
  QrcChange* getNext() const { return _next; }
  void setNext(QrcChange* next) { _next = next; }

 private:
  QrcChange* _next;
};

class QrcAddExtractableChange : public QrcChange {
 public:
  explicit QrcAddExtractableChange(QroExtractableI* x) : _x(x) {}
  void apply(QroSolverI* solver) override;
  QroExtractableI* getExtractable() const { return _x; }

 private:
  QroExtractableI* _x;
};

class QrcRemoveExtractableChange : public QrcChange {
 public:
  explicit QrcRemoveExtractableChange(QroExtractableI* x) : _x(x) {}
  void apply(QroSolverI* solver) override;
  QroExtractableI* getExtractable() const { return _x; }

 private:
  QroExtractableI* _x;
};

class QrcRemoveObjectiveChange : public QrcChange {
 public:
  void apply(QroSolverI* solver) override;
};

// Turns every engine error report on the solver's manager into a thrown
// QroSolver::SolverErrorException of the matching form.
class QroSolverErrorReporter : public QrcErrorReporter {
 public:
  void report(QrcInt code, const char* function, const char* message, const void* address) override;
  void report(QrcInt code, const char* function, const char* message, QrcInt a, QrcInt b) override;
  void report(QrcInt code, const char* function, const char* message, double x) override;
  void report(QrcInt code, const char* function, const char* message, QrcInt n) override;
  void report(QrcInt code, const char* function, const char* message, const QrcPrintable* object1,
              const QrcPrintable* object2) override;
  void report(QrcInt code, const char* function, const char* message,
              const QrcPrintable* object) override;
  void reportObject(QrcInt code, const char* function, const char* message,
                    const QrcPrintable* object) override;
};

class QroSolverI : public QroAlgorithmI, public QrcManagerOwnerI {
 public:
  // Sync levels.
  enum SyncLevel {
    Fresh = 0,
    Synchronized = 1,
    Searched = 2,
    AdditionsPending = 3,
    RestartPending = 4,
    Reextract = 5
  };

  QroSolverI(QroEnvI* env, QrcManagerTag tag);
  ~QroSolverI() override;

  // ---- algorithm operations
  QroBool extractOne(QroExtractableI* x, void** result) override;
  QroBool removeOne(QroExtractableI* x, void* object) override;
  QroBool applyChange(QroChange* change, void** object, QroExtractableI* x) override;
  double getTime() override;
  void extract(QroModelI* model) override;
  using QroAlgorithmI::extract;
  void clear() override;
  QroInt getStatus() const override;
  QroNum getObjValue() override;
  QroNum getValue(QroConstraintI* c) override;
  QroNum getValue(QroObjectiveI* objective) override;
  QroNum getValue(QroNumVarI* v) override;
  QroInt getIntValue(QroNumVarI* v) override;
  using QroAlgorithmI::getValue;

  QroBool extractExtractable(QroExtractableI* x, void** out);
  QroBool removeExtractable(QroExtractableI* x, void* object);

  // ---- search control
  QroBool solveFromGoal(QroGoalI* goal, QroInt mode, QroBool restart);
  QroBool solveWithObjective(QroGoalI* goal, QroInt mode, QroBool restart);
  QroBool solve() { return solveWithObjective(nullptr, QroSolver::RestartSearch, 0); }
  QroBool solveNested(QrcGoalI* goal, bool restore);
  void startNewSearch(QroGoalI* goal, QroInt mode);
  QroBool next();
  void endSearch();
  void synchronize(QroInt mode);
  QrcGoalI* chooseGoal();
  void initialize();
  void setInconsistent(QroBool flag, QroExtractableI* x);
  void setFastRestartMode(QroBool flag);
  QroBool getFastRestartMode() const { return _fastRestart; }
  void reload(QroModelI* model);
  void printInformation();
  // Called by the end callback of a search opened by startNewSearch.
  void searchEnded();
  // After an exception out of a search: back to the root state, search ended.
  void abandonSearch();

  // ---- records and lookups
  QroExtractionRecord* makeIntRecord(QrcIntExpI* e);
  QroExtractionRecord* makeFloatRecord(QrcFloatExpI* e);
  QroExtractionRecord* makeConstraintRecord(QroExtractableI* x, QrcConstraintI* ct);
  QroExtractionRecord* getRecord(const QroExtractableI* x) const;
  QroBool isExtracted(const QroExtractableI* x) const;
  // NotExtractedException when x has no record.
  QroExtractionRecord* getExtractedRecord(const QroExtractableI* x) const;
  QroBool isExtractedInt(const QroExtractableI* x) const;
  // The engine variable of an extracted integer-set variable (its extraction
  // object); NotExtractedException when not extracted.
  QrcIntSetVarI* getIntSetVar(const QroExtractableI* x) const;
  // The record's integer expression; a constraint record gets its 0-1 variable.
  QrcIntExpI* getIntExp(QroExtractionRecord* r);
  // Decisions of search goals on integer variables: logged when the decision
  // log is on, through the impact information when impacts are on.
  void setValue(QrcIntExpI* var, QrcInt value);
  void removeValue(QrcIntExpI* var, QrcInt value);

  // ---- probing, impacts and the decision log
  QrcProber* getProber() const { return _prober; }
  // While on, the impact information is rebuilt over the integer decision
  // variables at the end of every model extraction (at once when a model is
  // extracted already), and the default search is impact-based.
  void setImpactMode(QroBool on);
  QroBool getImpactMode() const { return _impactMode; }
  // "No impact information is available" without one.
  QrcImpactInformation* getImpactInformation() const;
  QroBool hasImpactInformation() const { return _impacts != nullptr; }
  // The impact-based search over vars, or an empty goal without impact information.
  QrcGoal getImpactGoal(const QrcIntVarArray& vars);
  void setDecisionLogMode(QroBool on);
  QrcDecisionLog* getDecisionLog() const { return _decisionLog; }
  // Scratch space of the default search's selections, grown to n.
  QrcInt* getScratchKeys(QrcInt n);
  double* getScratchScores(QrcInt n);
  // Checks of the handle queries (empty, extracted, float type).
  QroExtractionRecord* checkFloatVar(QroNumVarI* var) const;
  QroExtractionRecord* checkIntVar(QroNumVarI* var) const;
  QroExtractionRecord* checkConstraint(QroConstraintI* ct) const;
  QroBool isInteger(QroNumVarI* var) const;

  // The engine set of a model integer set (cached; an empty set is empty).
  QrcIntSetI* getIntSet(QroIntSetI* set);

  // Engine views of model arrays, on the manager's heap, element by element
  // (NotExtractedException at an element not extracted). Integer variables of
  // constraints are their 0-1 variables.
  QrcIntVarArray getIntVarArray(const QroArray& array);
  QrcFloatVarArray getFloatVarArray(const QroArray& array);
  QrcIntSetVarArray getIntSetVarArray(const QroArray& array);
  // Each number made an integer (toInteger); integer arrays are cached by array.
  QrcIntArray getIntArray(const QroNumArray& array);
  QrcIntArray getIntArray(const QroIntArray& array);
  QrcFloatArray getFloatArray(const QroNumArray& array);
  // The engine object of an extracted extractable: integer variable, float
  // variable (a float view of an integer one), constraint, box (the constraint
  // word of its record; an empty box when that is not one), set variable.
  QrcIntVar getIntVar(const QroExtractableI* x);
  QrcFloatVar getFloatVar(const QroExtractableI* x);
  QrcConstraint getConstraint(const QroExtractableI* x);
  QrcBox getBox(const QroExtractableI* x);

  // ---- numbers
  static QroInt toInteger(QroNum x);
  static bool isBeyondExactDoubles(QroNum x);

  // ---- filter levels of modelling objects
  // The level that the extraction of x gives its engine constraint; 0 when
  // none was set. A new level for an extracted x has the model extracted
  // again at the next solve. Kept over reloads; a new model starts without
  // levels, and an extractable forgets its level when it ends.
  void setFilterLevel(QroExtractableI* x, QroInt level);
  QroInt getFilterLevel(const QroExtractableI* x) const;
  // Gives ct the level of node, raising the sync level as an addition does.
  void applyFilterLevel(QroExtractableI* node, QrcConstraintI* ct);
  void forgetFilterLevel(const QroExtractableI* x);

  // ---- model changes
  void raiseSyncLevel(QroInt kind);
  void raiseToRestart() { raiseSyncLevel(1); }
  void notifyAddExtractable(QroExtractableI* x);
  void notifyRemoveExtractable(QroExtractableI* x, void* argument);
  void appendChange(QrcChange* change);
  void notifyRemoveObjective();
  void addReversible(QroExtractableI* x);
  void recordReversibleExtraction(QroExtractableI* x);
  // Writes a use count back; at 0 the record is forgotten.
  void restoreUseCount(QroInt id, QroInt count) {
    if (id < 0 || id >= _capacity) return;
    _counts[id] = count;
    if (count == 0) _objects[id] = nullptr;
  }
  QrcChange* getChangeList() const { return _changeHead; }
  QrcChange* getChangesSinceContinue() const { return _changeSinceContinue; }

  // ---- local environment and ids
  void setReversibleEnv();
  void unsetReversibleEnv();
  void unsetReversibleEnvAt(QroInt stamp);
  QroInt takeLocalId();
  void releaseLocalIds();
  QroInt getReversibleEnvDepth() const { return _reversibleEnvDepth; }

  // ---- accessors
  QrcManagerI* getManager() const { return _manager; }
  QrcManagerI* getObjectManager() const { return _objectManager; }
  QrcMemoryStack* getHeap() const;
  QrcMemoryStack* getObjectHeap() const;
  QrcMemoryStack* getChangeMemory() const { return _changeMemory; }
  QroSolverExtractorManagerI* getExtractorManager() const { return _extractorManager; }
  QrcFilterLevelTable* getFilterLevelTable() const { return _filterLevels; }
  // The filter levels set for modelling objects, keyed by their address.
  QrcPointerHashMap* getPointerHash() const { return _pointerHash; }
  QrcPointerHashMap* getArrayCache() const { return _arrayCache; }
  // The variables marked for shaving, keyed by their extractable's address:
  // extraction gives each a level-20 watch.
  QrcPointerHashMap* getMembershipHash() const { return _membership; }
  // The engine tuple sets made by the extraction of tuple sets, so that an
  // extraction result of another kind is never read as one.
  void addTupleSet(const void* set);
  QroBool isTupleSet(const void* object) const;
  QroInt getSyncLevel() const { return _syncLevel; }
  void setSyncLevel(QroInt level) { _syncLevel = static_cast<uint32_t>(level); }
  QroInt getRawStatus() const { return _status; }
  // How the manager's last search ended: 0 at a solution, 1 exhausted, 2
  // stopped by a limit, 3 stopped by a labelled failure, 4 for the manager
  // status 6, 5 otherwise.
  QroInt getEndReason() const;
  QroBool isInconsistent() const { return _inconsistent; }
  QroBool isExtracting() const { return _extracting; }
  void setExtracting(QroBool flag) { _extracting = flag; }
  QroBool isRunning() const { return isInSearch(); }
  QroBool isPresolveOn() const { return _presolve; }
  void setPresolve(QroBool flag) { _presolve = flag ? 1 : 0; }
  QroBool isReloading() const { return _reloading; }
  QroCPPresolveI* getPresolve() const { return _presolver; }
  // The engine expressions to minimise (integer and float); null when none.
  QrcExprI* getIntObjective() const { return _intObjective; }
  QrcExprI* getFloatObjective() const { return _floatObjective; }
  void setIntObjective(QrcExprI* e) { _intObjective = e; }
  void setFloatObjective(QrcExprI* e) { _floatObjective = e; }
  QrcConstraintI* getTrueConstraint() const { return _trueConstraint; }
  QrcSearchI* getCurrentSearch() const { return _currentSearch; }
  QroGoalI* getSearchGoal() const { return _searchGoal; }
  QroBool isInterruptedByRecompute() const;
  QroBool isTupleSetStorageMode1() const { return _tupleSetStorageMode == 1; }
  QroBool isTupleSetStorageMode2() const { return _tupleSetStorageMode == 2; }
  // The storage mode of the tuple sets closed from now on (1 or 2; other values give 0).
  void setTupleSetStorageMode(QroInt mode) { _tupleSetStorageMode = mode; }
  QrcInt getTupleSetStorageMode() const override { return _tupleSetStorageMode; }
  QroInt getExtractionDepth() const { return _extractionDepth; }
  // Manager listeners: none exist in this system.
  QroBool listenersHandle(QroExtractableI*) const { return 0; }
  void listenersExtract(QroExtractableI*) {}
  QrcGoalI* listenersGoal() { return nullptr; }

  // ---- solver listeners (owned by the client, told in registration order)
  void addSolverListener(QroSolverListenerI* listener);
  // Unlinks and detaches the listener; false when it is not registered here.
  QroBool removeSolverListener(QroSolverListenerI* listener);
  QroSolverListenerList* getSolverListeners() const { return _listeners; }
  QroBool hasSolverListeners() const;
  // Offered every constraint the manager adds; non-zero when a listener takes
  // it over (the manager then does not post it).
  QroBool notifyAdd(QrcConstraintI* ct) override;
  // The end of a model's extraction: the prober's variables, the impact
  // information, then the listeners' "end" and their links.
  void endModelExtraction(QroModelI* model);

  // Process-wide count of live solvers.
  static QroInt getLiveSolverCount();

 private:
  // Steps of construction.
  void makeManagers(QroEnvI* env);
  void registerPlugIns(QroEnvI* env);
  void makeTables();
  void makeOwnGoals(QroEnvI* env);
  void makeCaches();
  // Prints an exception that ended a model change on the error stream;
  // returns 0 for the change's failure.
  QroBool reportFailure(const QroException& e);
  // The two modes of synchronize.
  void synchronizeForRestart();
  void synchronizeForContinue();
  void popPushedStates();
  void extractAgainLater(QroModelI* model);
  // The failures collected by an extraction that leaves the model loaded (a
  // replay, an addition in a search) as the public exception; the list is
  // emptied, what was extracted stays.
  [[noreturn]] void throwCannotExtract();
  void replay(QrcChange* from);
  void fullRestore();
  void restartFromRoot();
  void continueFromHere();
  QroBool finishWithObjective(QrcSearchI* s, QroBool restart);
  void installObjective(QrcSearchI* s);
  QrcSearchI* openSearch();

  QrcManagerI* _manager;
  QrcManagerTag _tag;
  QrcManagerI* _objectManager;
  uint32_t _syncLevel;
  uint32_t _status;
  QroSolverExtractorManagerI* _extractorManager;
  QrcExprI* _intObjective;
  QrcExprI* _floatObjective;
  QroBool _inconsistent;
  QroBool _extracting;
  QrcSearchI* _currentSearch;
  QroBool _presolve;
  QrcMemoryStack* _changeMemory;
  QrcChange* _changeSinceContinue;
  QrcChange* _changeHead;
  QrcChange* _changeTail;
  QrcPointerHashMap* _pointerHash;
  QrcFilterLevelTable* _filterLevels;
  QroBool _statePushed;
  QrcPointerHashMap* _arrayCache;
  QrcPointerHashMap* _secondCache;
  QrcGoalI* _rootGoal;
  QroGoalI* _searchGoal;
  QroGoalI* _oneShotGoal;
  QroBool _oneShot;
  QrcGoalI* _endCallback;
  QroBool _fastRestart;
  QrcConstraintI* _trueConstraint;
  QrcPointerHashMap* _membership;
  QrcPointerHashMap* _tupleSets;
  QroInt _tupleSetStorageMode;
  QroSolverErrorReporter* _reporter;
  QroSolverLocalEnvI* _localEnv;
  QroInt _reversibleEnvDepth;
  QroInt _envStamp;
  QroInt* _ids;
  QroInt _idCapacity;
  QroInt _idCount;
  QroInt _idNext;
  QroBool _reloading;
  QroInt _extractionDepth;
  QroSolverListenerList* _listeners;
  QroCPPresolveI* _presolver;
  QrcImpactInformation* _impacts;
  QrcProber* _prober;
  QrcDecisionLog* _decisionLog;
  QroBool _impactMode;
  QrcGrowableArray<QrcInt>* _scratchKeys;
  QrcGrowableArray<double>* _scratchScores;
  // Hears the end of extractables that have a filter level.
  QroChangeListenerI* _levelWatch;

  void rebuildImpactInformation();
};

#endif
