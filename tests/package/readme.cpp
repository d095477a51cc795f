// What the README tells a new user, checked as that user meets it: through the
// installed headers. Prints each statement that does not hold and exits
// non-zero when one does not.
#include <pthread.h>

#include <chrono>
#include <ctime>
#include <exception>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>

#include "qro.h"
#include "qroext.h"

namespace {

int wrong = 0;

void check(bool holds, const char* statement) {
  if (holds) return;
  std::cout << "does not hold: " << statement << std::endl;
  ++wrong;
}

// Whether a == b, a >= b and a <= b compile.
template <class A, class B, class = void>
struct HasEq : std::false_type {};
template <class A, class B>
struct HasEq<A, B, decltype((void)(std::declval<A>() == std::declval<B>()))> : std::true_type {};
template <class A, class B, class = void>
struct HasGe : std::false_type {};
template <class A, class B>
struct HasGe<A, B, decltype((void)(std::declval<A>() >= std::declval<B>()))> : std::true_type {};
template <class A, class B, class = void>
struct HasLe : std::false_type {};
template <class A, class B>
struct HasLe<A, B, decltype((void)(std::declval<A>() <= std::declval<B>()))> : std::true_type {};

// The modelling layer states <= against a number and == between expressions.
static_assert(HasLe<QroNumVar, int>::value && HasEq<QroNumVar, QroNumVar>::value, "");
static_assert(!HasEq<QroNumVar, int>::value && !HasEq<QroNumVar, double>::value, "");
static_assert(!HasGe<QroNumVar, int>::value && !HasLe<int, QroNumVar>::value, "");
static_assert(!HasLe<QroNumVar, QroNumVar>::value, "");
// The exceptions do not derive from std::exception; the engine's derive from QroException.
static_assert(!std::is_base_of<std::exception, QroException>::value, "");
static_assert(std::is_base_of<QroException, QrcException>::value, "");
static_assert(std::is_base_of<QroException, QroSolver::SolverErrorException>::value, "");

QroNumVar intVar(QroEnv& env, QroNum lb, QroNum ub) {
  return QroNumVar(env, lb, ub, QroNumVar::Int);
}

void ranges(QroEnv& env) {
  QroModel model(env);
  QroNumVar x = intVar(env, 0, 9), y = intVar(env, 0, 9);
  model.add(QroRange(env, 5, x, 5));
  model.add(QroRange(env, 3, y, QroNumVar::Infinity()));
  QroSolver solver(model);
  check(solver.solve() && solver.getValue(x) == 5, "x == 5 is QroRange(env, 5, x, 5)");
  check(solver.getIntVar(y).getMin() == 3, "x >= 3 is QroRange(env, 3, x, +inf)");
  solver.end();
}

void sharedTerms(QroEnv& env) {
  QroNumVar a = intVar(env, 0, 1), b = intVar(env, 0, 1);
  QroNumExprArg weight = 3 * a;
  QroNumExprArg value = weight;
  weight = weight + 5 * b;
  value = value + 7 * b;
  check(weight.getImpl() == value.getImpl(), "two sums grown from one start are one term");
  QroNumExprArg own = 3 * a;
  own = own + 5 * b;
  check(own.getImpl() != weight.getImpl(), "a sum from its own start is its own term");
  QroNumExpr held = QroNumExprArg(2 * a);
  QroModel model(env);
  model.add(held <= 3);
  QroNumExprArg first = QroNumExprArg(held) + 1 * b, second = QroNumExprArg(held) + 4 * b;
  check(first.getImpl() != second.getImpl(), "a term that a model holds is copied first");
  QroNumExprArg listed = 2 * a + 1 * b;
  QroModel lists(env);
  lists.add(listed);
  QroRange over(env, 0, listed, 3);
  over.end();
  QroNumExprArg before = listed;
  listed = listed + 1 * b;
  check(listed.getImpl() != before.getImpl() && lists.getImpl()->getSize() == 1 &&
            *QroModel::Iterator(lists.getImpl()) == before.getImpl() &&
            before.getImpl()->getId() >= 0,
        "after model.add(w), w = w + x is a new term and the model keeps the old one");
  QroNumExprArg w = 3 * a + 1.0;
  QroNumExprArg grown = 2 * b + w;
  check(grown.getImpl() == w.getImpl(), "e + w may return w's own term, grown");
  model.add(w - 3.0 <= 0);
  check(w.getImpl()->getConstant() == -2.0, "after model.add(w - 3 <= 0) w means w - 3");
  QroNumExprArg k = 3 * a + 1.0;
  model.add(k <= 3);
  check(k.getImpl()->getConstant() == 1.0, "a constraint never changes the expression given");
  QroNumExprArg v = 2 * a;
  QroNumExprArg sum = k + std::move(v);
  check(!v.getImpl(), "std::move(v) passes an operator's result on and leaves v empty");
}

// 3 x0 + 5 x1 + ... + 17 x7 = 101 over 0..7: many failures, thousands of solutions.
QroModel failingModel(QroEnv& env) {
  QroModel model(env);
  QroNumExprArg sum = 3 * intVar(env, 0, 7);
  for (int i = 1; i < 8; ++i) sum = sum + (3 + 2 * i) * intVar(env, 0, 7);
  model.add(QroRange(env, 101, sum, 101));
  return model;
}

int countSolutions(const QroSolver& solver, int most) {
  int n = 0;
  while (n < most && solver.next()) ++n;
  return n;
}

void limits(QroEnv& env) {
  QroSolver solver(failingModel(env));
  QrcManagerI* m = solver.getManagerI();
  m->setFailLimit(1);
  solver.startNewSearch();
  check(countSolutions(solver, 1000) == 1000, "startNewSearch clears the limits");
  solver.endSearch();
  solver.startNewSearch();
  m->setFailLimit(5);
  int n = countSolutions(solver, 1000);
  check(n < 1000 && m->getStatus() == QrcSearchLimited,
        "a limit set after startNewSearch stops it");
  check(m->isLimitReached(), "the counters of a search that a limit stopped are at the limit");
  solver.endSearch();
  m->setFailLimit(1);
  check(solver.solve(), "solve clears the limits");
  // Every branch of this model holds: no failure, no check of the time limit.
  QroModel free(env);
  for (int i = 0; i < 6; ++i) free.add(intVar(env, 0, 9) <= 9);
  QroSolver unfailing(free);
  unfailing.startNewSearch();
  unfailing.getManagerI()->setTimeLimit(1e-9);
  check(countSolutions(unfailing, 2000) == 2000, "limits are checked after a failure only");
  unfailing.endSearch();
  unfailing.end();
  // Nothing fails: the search runs out past a choice-point limit that it reached.
  QroModel two(env);
  for (int i = 0; i < 2; ++i) two.add(intVar(env, 0, 2) <= 9);
  QroSolver ranOut(two);
  ranOut.startNewSearch();
  ranOut.getManagerI()->setChoicePointLimit(1);
  check(countSolutions(ranOut, 100) == 9 && ranOut.getManagerI()->isLimitReached() &&
            ranOut.getManagerI()->getStatus() == QrcSearchExhausted,
        "getStatus, not isLimitReached, tells what ended a search");
  ranOut.endSearch();
  ranOut.end();
  solver.end();
  QroModel small(env);
  QroNumVar a = intVar(env, 0, 3), b = intVar(env, 0, 3);
  small.add(a - b <= -1);
  QroSolver exhausted(small);
  exhausted.startNewSearch();
  exhausted.getManagerI()->setFailLimit(1000);
  check(countSolutions(exhausted, 100) == 6 && !exhausted.getManagerI()->isLimitReached() &&
            exhausted.getManagerI()->getStatus() == QrcSearchExhausted,
        "a search that ran out of solutions reached no limit");
  exhausted.endSearch();
  exhausted.end();
}

void objectiveSearch(QroEnv& env) {
  QroModel model(env);
  QroNumVarArray x(env, 4);
  for (int i = 0; i < 4; ++i) x[i] = intVar(env, 0, 5);
  QroNumExprArg cost = 1 * x[0], count = 1 * x[0];
  for (int i = 1; i < 4; ++i) {
    cost = cost + (i + 1) * x[i];
    count = count + 1 * x[i];
  }
  model.add(QroRange(env, 7, count, QroNumVar::Infinity()));
  model.add(QroObjective(env, cost, QroObjectiveI::Minimize));
  QroSolver solver(model);
  solver.startNewSearch();
  QroNum last = 1e9;
  bool improving = true;
  int n = 0;
  while (n < 100 && solver.next()) {
    improving = improving && solver.getObjValue() <= last - 1;
    last = solver.getObjValue();
    ++n;
  }
  solver.endSearch();
  check(n > 1 && improving && last == 9, "under an objective each next improves, the last is best");
  solver.end();
}

int countSolutions(const QroSolver& solver) {
  int n = 0;
  solver.startNewSearch();
  while (solver.next()) ++n;
  solver.endSearch();
  return n;
}

// A continue makes the state the last solve left the root of what follows.
void continueSearch(QroEnv& env) {
  QroModel model(env);
  QroNumVar x = intVar(env, 0, 3), y = intVar(env, 0, 3);
  model.add(QroRange(env, 2, x + y, QroNumVar::Infinity()));
  QroSolver solver(model);
  check(countSolutions(solver) == 13 && solver.solve(QroNumDichotomize(env, x, 1, 0)) &&
            solver.getValue(x) == 3 && solver.solve(QroGoal(), QroSolver::ContinueSearch),
        "a goal solve binds x to 3, a continue goes on from there");
  check(countSolutions(solver) == 4, "after a continue, startNewSearch() keeps x at 3");
  model.add(QroObjective(env, x + y, QroObjectiveI::Minimize));
  check(solver.solve() && solver.getObjValue() == 3 && solver.getValue(x) == 3,
        "after a continue, solve() optimises with x at 3");
  QroAlgorithm(solver).extract(model);
  check(solver.solve() && solver.getObjValue() == 2 && countSolutions(solver) == 1,
        "a new extraction brings back the model's own root");
  solver.end();
}

// Engine searches on one manager share its limits and counts.
void engineLimits() {
  QrcManager manager(QrcNoEdit);
  QrcManagerI* m = manager.getImpl();
  // Seven pigeons in six holes: no solution, a few hundred failures.
  QrcIntVarArray p(manager, 7, 0, 5);
  for (int i = 0; i < 7; ++i)
    for (int j = i + 1; j < 7; ++j) manager.add(p[i] != p[j]);
  m->setFailLimit(50);
  for (QrcInt fails : {50, 51}) {
    QrcSearch search(manager, QrcGenerate(p));
    bool found = search.next();
    search.end();
    check(!found && m->getFails() == fails && m->getStatus() == QrcSearchLimited &&
              m->isLimitReached(),
          "a fail limit of 50 stops a search, and the next one after one more fail");
  }
  m->unsetLimits();
  QrcSearch free(manager, QrcGenerate(p));
  bool found = free.next();
  free.end();
  check(
      !found && m->getFails() > 100 && m->getStatus() == QrcSearchExhausted && !m->isLimitReached(),
      "after unsetLimits a new search runs to its end");
  const QrcInt before = m->getFails();
  m->setFailLimit(10);
  QrcSearch limited(manager, QrcGenerate(p));
  found = limited.next();
  limited.end();
  check(!found && m->getFails() == before + 10, "setFailLimit(n) allows n more failures");
  m->resetStatistics();
  check(m->getFails() == 0 && !m->isLimitReached(),
        "resetStatistics sets the counts to 0, moving a limit set before further away");
  manager.end();
}

// A constraint added between two next() calls is taken back by the search's
// next backtrack; added after a restart, it holds for the whole search.
void addBetweenNexts() {
  QrcManager manager(QrcNoEdit);
  QrcIntVarArray v(manager, 2, 0, 3);
  QrcSearch search(manager, QrcGenerate(v));
  search.next();
  manager.add(v[0] + v[1] <= 1);
  int broken = 0;
  while (search.next()) broken += v[0].getValue() + v[1].getValue() > 1;
  search.restart();
  manager.add(v[0] + v[1] <= 1);
  int found = 0, kept = 0;
  while (search.next()) {
    ++found;
    kept += v[0].getValue() + v[1].getValue() <= 1;
  }
  search.end();
  manager.end();
  check(broken > 0, "a constraint added between two next() calls is taken back by a backtrack");
  check(found == 3 && kept == 3, "a constraint added after a restart holds for the whole search");
  // A search ended at a solution leaves its values to the next one; restarted
  // first, it leaves the whole space.
  for (bool restartFirst : {false, true}) {
    QrcManager m(QrcNoEdit);
    QrcIntVarArray w(m, 2, 0, 3);
    QrcSearch first(m, QrcGenerate(w));
    first.next();
    if (restartFirst) first.restart();
    first.end();
    m.add(w[0] + w[1] <= 1);
    QrcSearch second(m, QrcGenerate(w));
    int n = 0;
    while (second.next()) ++n;
    second.end();
    m.end();
    check(n == (restartFirst ? 3 : 1),
          restartFirst ? "a search restarted, then ended, leaves the whole space to the next"
                       : "a search ended at a solution leaves its values to the next");
  }
}

double threadSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// A time limit counts the processor time of the process, all its threads.
void processorTime() {
  QrcManager manager(QrcNoEdit);
  QrcManagerI* m = manager.getImpl();
  m->setTimeLimit(0.2);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  check(!m->isLimitReached(), "a time limit counts processor time, not the clock");
  std::thread busy([] {
    volatile double x = 0;
    while (threadSeconds() < 0.25) x = x + 1;
  });
  busy.join();
  check(m->isLimitReached(), "a time limit counts the processor time of every thread");
  manager.end();
}

// A search without a goal stops at once on the propagated state.
void noGoal(QroEnv& env) {
  QroModel model(env);
  QroNumVar x = intVar(env, 0, 5), y = intVar(env, 0, 5);
  model.add(x - y <= -2);
  QroSolver solver(model);
  check(solver.solve(QroGoal()) && !solver.getIntVar(x).isBound(),
        "solve(QroGoal()) succeeds with the variables unbound");
  solver.end();
  QrcManager manager(QrcNoEdit);
  QrcIntVarArray q(manager, 3, 0, 2);
  manager.add(QrcAllDiff(q));
  QrcSearch search(manager, QrcGoal());
  int n = 0;
  bool unbound = true;
  while (search.next()) {
    ++n;
    for (int i = 0; i < 3; ++i) unbound = unbound && !q[i].isBound();
  }
  search.end();
  manager.end();
  check(n == 1 && unbound, "an engine search with no goal finds one unbound solution");
}

// A failure outside a search, caught or kept inside a search.
void failOutsideSearch() {
  QrcManager manager(QrcNoEdit);
  QrcIntVar x(manager, 0, 5);
  check(!manager.solve(QrcGoal(x == 7)) && x.getMin() == 0 && x.getMax() == 5,
        "manager.solve(QrcGoal(ct)) answers 0 for a failing ct and leaves the domains");
  manager.useExceptions();
  bool thrown = false;
  try {
    manager.add(x == 7);
  } catch (QrcFailException&) {
    thrown = true;
  }
  manager.add(x == 3);
  check(thrown && x.isBound() && x.getValue() == 3, "after QrcFailException the manager is usable");
  manager.end();
}

void setVariables() {
  QrcManager manager(QrcNoEdit);
  QrcIntSetVar s(manager, 1, 3);
  QrcIntSetVarI* t = s.getImpl();
  t->addRequired(2);
  std::ostringstream shown;
  shown << s;
  QrcIntSetIterator it(t->getPossible());
  QrcInt v, sum = 0;
  while (it.next(v)) sum += v;
  check(shown.str() == "[ ?1 2 ?3] ([1..3])" && t->isRequired(2) && t->isPossible(1) &&
            !t->isBound() && t->getRequired()->getSize() == 1 && sum == 6 &&
            t->getCardinality()->getMin() == 1 && t->getCardinality()->getMax() == 3,
        "a set variable reads and prints as the README shows");
  manager.add(QrcIntVar(t->getCardinality()) == 1);
  shown.str("");
  shown << s;
  check(t->isBound() && shown.str() == "[ 2] ([1])", "a bound set variable prints its values");
  manager.end();
}

class PlusOne : public QrcIntToIntFunctionI {
 public:
  QrcInt getValue(QrcInt v) override { return v + 1; }
};

// QrcMin(a, f) == 4 over a set of 1..3: {3} and {}, only {3} once the
// cardinality is at least 1.
void emptySetMin() {
  PlusOne f;
  for (int nonEmpty = 0; nonEmpty < 2; ++nonEmpty) {
    QrcManager manager(QrcNoEdit);
    QrcIntSetVarArray a(manager, 1);
    a.set(0, QrcIntSetVar(manager, 1, 3));
    QrcIntSetVarI* t = a[0].getImpl();
    QrcIntExp least = QrcMin(a[0], &f);
    check(least.getMin() == -QrcIntMax && least.getMax() == QrcIntMax,
          "QrcMin over a set that may be empty is unbounded");
    manager.add(least == 4);
    if (nonEmpty) manager.add(QrcIntVar(t->getCardinality()) >= 1);
    std::ostringstream found;
    QrcSearch search(manager, QrcGenerate(a));
    while (search.next()) found << a[0];
    search.end();
    check(found.str() == (nonEmpty ? "[ 3] ([1])" : "[ 3] ([1])[] ([0])"),
          "QrcMin accepts the empty set unless the cardinality is at least 1");
    manager.end();
  }
}

// Models nested in models, written and read by a handler that nests a call
// per level.
class NestingModelInfo : public QroXmlInfo {
 public:
  explicit NestingModelInfo(QroXmlContextI* c) : QroXmlInfo(c) {}
  const char* getTagName() const override { return "model"; }
  bool readsSubElementsFirst() const override { return false; }
  bool writesSubObjectsLater() const override { return false; }
  bool writeContent(QroXmlWriter w, const QroRtti* o, QroXmlElementI* e) override {
    const QroModelI::Link* l = static_cast<const QroModelI*>(o)->getFirstLink();
    return !l || writeExtractableRef(w, e, l->member, nullptr);
  }
  QroExtractableI* readExtractable(QroXmlReader r, const QroXmlElementI* e) override {
    QroEnvI* env = r.getEnv().getImpl();
    QroModelI* m = new (env) QroModelI(env);
    QroXmlElementI* inner = r.getFirstChildElement(e);
    QroInt id = -1;
    if (inner && isAlreadyRead(r, inner, id)) m->append(r.getExtractableById(id));
    return m;
  }
};

// The deepest nesting allowed in the stack the README gives a thread.
void* nestedXml(void*) {
  QroEnv env;
  QroEnvI* ei = env.getImpl();
  QroXmlContextI* context = QroXmlContextI::Make(ei);
  context->registerXmlInfo(QroModelI::GetTypeIndex(), new (ei) NestingModelInfo(context));
  QroModelI* model = new (ei) QroModelI(ei);
  for (QroInt level = 1; level < QroXmlContextI::MaxNesting; ++level) {
    QroModelI* outer = new (ei) QroModelI(ei);
    outer->append(model);
    model = outer;
  }
  QroXmlWriter writer(env);
  QroXmlReader reader(env);
  QroXmlElementI* tree = context->writeExtractable(model, writer, nullptr);
  check(tree && context->readElement(reader, tree),
        "10,000 nesting levels fit in 3 MiB of stack, 5 MiB sanitized");
  delete tree;
  reader.end();
  writer.end();
  env.end();
  return nullptr;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
const std::size_t NestingStack = 5u << 20;
#else
const std::size_t NestingStack = 3u << 20;
#endif

void onThreadWithStack(std::size_t bytes, void* (*f)(void*)) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, bytes);
  pthread_t thread;
  if (pthread_create(&thread, &attributes, f, nullptr) == 0) pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

// In environments of their own: the first solver or extra object made there
// registers the handlers, a QroToBranchI does not.
void xmlHandlers(int maker) {
  QroEnv env;
  QroXmlContextI* context = QroXmlContextI::Make(env.getImpl());
  check(!context->getXmlInfo(QroLeLexI::GetTypeIndex()), "no handler in a new environment");
  QroModel model(env);
  QroIntVarArray a(env, 1), b(env, 1);
  a[0] = intVar(env, 0, 1);
  b[0] = intVar(env, 0, 1);
  model.add(a[0] <= 1);
  QroSolver solver;
  if (maker == 0) solver = QroSolver(model);
  if (maker == 1) new (env.getImpl()) QroLeLexI(env.getImpl(), a, b);
  if (maker == 2) new (env.getImpl()) QroToBranchI(env.getImpl(), a);
  const QroInt extra[] = {QroLeLexI::GetTypeIndex(),           QroGeLexI::GetTypeIndex(),
                          QroStretchI::GetTypeIndex(),         QroPatternI::GetTypeIndex(),
                          QroIntCountValueEqI::GetTypeIndex(), QroToBranchI::GetTypeIndex()};
  for (QroInt t : extra)
    check((context->getXmlInfo(t) != nullptr) == (maker != 2),
          "a handler for each extra class once a solver or one of the first five is made");
  const QroInt core[] = {QroNumVarI::GetTypeIndex(), QroRangeI::GetTypeIndex(),
                         QroNumEqI::GetTypeIndex(), QroModelI::GetTypeIndex()};
  for (QroInt t : core) check(!context->getXmlInfo(t), "no handler for the core classes");
  if (solver.getImpl()) solver.end();
  env.end();
}

// A handler that reads nothing, under a tag of its own.
class TagInfo : public QroXmlInfo {
 public:
  TagInfo(QroXmlContextI* c, const char* tag) : QroXmlInfo(c, tag) {}
};

// What a program meets with handlers of its own, and what a read answers.
void xmlOwnHandlers(bool libraryFirst) {
  QroEnv env;
  QroEnvI* ei = env.getImpl();
  if (libraryFirst) QroSolverExtraXMLPlugInAddon::Ensure(ei);
  QroXmlContextI* context = QroXmlContextI::Make(ei);
  const QroInt term = QroNumLinTermI::GetTypeIndex(), lex = QroLeLexI::GetTypeIndex();
  QroXmlInfo* first = new (ei) TagInfo(context, "linTerm");
  context->registerXmlInfo(term, first);
  QroXmlInfo* second = new (ei) TagInfo(context, "linTerm");
  bool refused = false;
  try {
    context->registerXmlInfo(term, second);
  } catch (QroXmlregisterTypeIndex&) {
    refused = true;
  }
  check(refused && context->getXmlInfo(term) == second && context->findXmlInfo("linTerm") == first,
        "a second handler for a tag throws; the class is written by it, the tag reads with the "
        "first");
  QroXmlInfo* own = new (ei) TagInfo(context, "linTermParts");
  context->registerXmlInfo(term, own);
  check(context->getXmlInfo(term) == own && context->findXmlInfo("linTerm") == first,
        "a handler under a tag of its own writes the class; elements of either tag read");
  QroXmlInfo* mine = new (ei) TagInfo(context, "myLeLex");
  context->registerXmlInfo(lex, mine);
  QroSolverExtraXMLPlugInAddon::Ensure(ei);
  check((context->getXmlInfo(lex) == mine) == libraryFirst,
        "an own handler for a library class comes after the library's add-on");

  QroXmlReader reader(env);
  QroXmlElement doc("Modeler");
  QroXmlElement* array = new QroXmlElement("intExprArray");
  array->addAttribute(new QroXmlAttribute("Id", "7"));
  doc.addChild(array);
  bool wrongKind = false;
  try {
    context->readElementAs<QroModelI>(reader, &doc);
  } catch (QroXmlWrongKind&) {
    wrongKind = true;
  }
  void* answered = context->readElement(reader, &doc);
  check(answered && context->getUnreadCount() == 0 && wrongKind,
        "<Modeler><intExprArray Id=\"7\"/></Modeler> answers an array; readElementAs throws");
  QroArray(static_cast<QroArrayI*>(answered)).end();  // not ended again by the reader
  QroNumVar x = intVar(env, 0, 3);
  QroNumExpr sum = x + 1;
  reader.addLink2Obj(8, sum.getImpl());
  // A count over a count, the inner one linked: the outer one ended first.
  QroIntExprArray digits(env, 0), counts(env, 0);
  digits.add(x.getImpl());
  QroIntCountValueEqI* inner = new (ei) QroIntCountValueEqI(ei, digits, 1);
  reader.addLink2Obj(9, inner);
  counts.add(inner);
  QroExtractable(new (ei) QroIntCountValueEqI(ei, counts, 0)).end();
  const QroInt held = sum.getImpl()->getUseCount(), innerId = inner->getId();
  reader.end();
  check(held == 1 && sum.getImpl()->getUseCount() == 0,
        "the reader holds what it links until it ends; what nothing else held stays");
  check(!ei->getLiveSlot(innerId),
        "an expression whose holder was ended first goes with the reader");
  // A reader of another environment: either environment may end first.
  QroEnv other;
  QroXmlReader foreign(other);
  check(context->readElement(foreign, &doc) != nullptr,
        "a context reads with a reader of another environment");
  env.end();
  foreign.end();
  other.end();
}

void defaultSearch(QroEnv& env) {
  QroModel model(env);
  QroNumVar x(env, -2, 2);
  model.add(QroRange(env, 2, QroPower(x, 2), 2));
  QroSolver solver(model);
  QrcFloatVar v = solver.solve() ? solver.getFloatVar(x) : QrcFloatVar();
  check(v.getImpl() && v.getMin() > 1.414 && v.getMax() - v.getMin() < 1e-6,
        "the default search narrows a float variable, upper half first");
  solver.end();
}

// When next() answers 0 the search is back at its start, open until endSearch().
void afterLastNext(QroEnv& env) {
  QroModel model(env);
  QroNumVar x = intVar(env, 0, 3), y = intVar(env, 0, 3);
  model.add(QroRange(env, 3, x + y, 3));
  QroSolver solver(model);
  solver.startNewSearch();
  while (solver.next()) {
  }
  bool unbound = false, open = false;
  try {
    solver.getValue(x);
  } catch (QroSolver::SolverErrorException&) {
    unbound = true;
  }
  try {
    solver.solve();
  } catch (QroSolver::MultipleSearchException&) {
    open = true;
  }
  check(unbound, "after next() answered 0 the last solution's values cannot be read");
  check(open && !solver.next(), "a search whose next() answered 0 stays open until endSearch()");
  solver.endSearch();
  check(solver.solve() && solver.getValue(x) + solver.getValue(y) == 3,
        "after endSearch() solve() leaves its solution");
  solver.end();
}

// Presolve builds x0 as 4 - x3: the default search labels x3 first.
void presolveOrder(QroEnv& env) {
  QroModel model(env);
  QroNumVarArray x(env, 5);
  for (QroInt i = 0; i < 5; ++i) model.add(x[i] = intVar(env, 0, 4));
  model.add(x[0] == 4.0 - x[3]);
  QroSolver solver(model);
  std::string first[2];
  for (int off = 0; off < 2; ++off) {
    if (off) {
      solver.getImpl()->setPresolve(0);
      QroAlgorithm(solver).extract(model);
    }
    solver.solve();
    for (QroInt i = 0; i < 5; ++i) first[off] += std::to_string(QroInt(solver.getValue(x[i])));
  }
  check(first[0] == "40000", "with presolve the first solution of x0 == 4 - x3 is 4 0 0 0 0");
  check(first[1] == "00040", "without presolve the first solution of x0 == 4 - x3 is 0 0 0 4 0");
  solver.end();
}

void toBranch(QroEnv& env) {
  QroModel model(env);
  QroIntVarArray vars(env, 1);
  vars[0] = intVar(env, 0, 1);
  model.add(new (env.getImpl()) QroToBranchI(env.getImpl(), vars));
  bool refused = false;
  try {
    QroSolver solver(model);
  } catch (QroAlgorithm::CannotExtractException&) {
    refused = true;
  }
  check(refused, "no solver extracts QroToBranchI");
  QroModel crossed(env);
  QroNumVar z = intVar(env, 0, 3);
  crossed.add(z);
  z.setBounds(2, 1);
  bool inconsistent = false;
  std::ostringstream told;
  env.setError(told);
  try {
    QroSolver solver(crossed);
  } catch (QroSolver::ModelInconsistent&) {
    inconsistent = true;
  }
  env.setError(std::cerr);
  check(inconsistent, "QroSolver(model) throws ModelInconsistent for a variable's bounds crossed");
}

void engineErrors() {
  QrcManager manager(QrcNoEdit);
  QrcIntVarArray where(manager, 2, 0, 1), load(manager, 2, 0, 9);
  bool thrown = false;
  try {
    QrcPack(load, where, QrcIntArray(manager, 3, QrcInt(1)));
  } catch (QrcException&) {
    thrown = true;
  }
  check(thrown, "QrcPack checks its arguments with QrcException");
  QrcManager edit(QrcEdit);
  QrcIntVar x(edit, 0, 5);
  edit.add(x == 7);
  check(!edit.solve(QrcGoalTrue(edit)), "in edit mode a contradiction fails the first search");
  QroSolverErrorReporter reporter;
  manager.getImpl()->setErrorReporter(&reporter);
  manager.getImpl()->reset();
  check(manager.getErrorReporter() != &reporter, "a reset puts back the base reporter");
  bool overflow = false;
  try {
    QrcIntVar(manager, INT64_C(10000000000000000), INT64_C(20000000000000000));
  } catch (QroIntExpr::QroOverflowOccurred&) {
    overflow = true;
  }
  check(overflow, "a domain beyond 2^53 - 1 raises the overflow exception");
  edit.end();
  manager.end();
}

void folding(QroEnv& env) {
  QroNumVar f(env, 0, 10), i = intVar(env, 0, 10);
  QroTypeInfo linear = QroNumLinTermI::GetTypeInfo();
  check(!QroNumExprArg(f / 3.0).getImpl()->isType(linear), "f / 3.0 stays a quotient");
  check(QroNumExprArg(f / 4.0).getImpl()->isType(linear), "f / 4.0 folds into 0.25 f");
  check(QroNumExprArg(i / 3.0).getImpl()->isType(linear), "i / 3.0 becomes (1/3) i");
}

}  // namespace

int main() {
  QroEnv env;
  try {
    ranges(env);
    sharedTerms(env);
    limits(env);
    objectiveSearch(env);
    continueSearch(env);
    noGoal(env);
    failOutsideSearch();
    setVariables();
    emptySetMin();
    engineLimits();
    addBetweenNexts();
    processorTime();
    onThreadWithStack(NestingStack, nestedXml);
    for (int maker = 0; maker < 3; ++maker) xmlHandlers(maker);
    xmlOwnHandlers(true);
    xmlOwnHandlers(false);
    defaultSearch(env);
    afterLastNext(env);
    presolveOrder(env);
    toBranch(env);
    engineErrors();
    folding(env);
    QroEnv other;
    bool refused = false;
    try {
      QroModel(env).add(QroRange(other, 0, QroNumVar(other, 0, 1), 1));
    } catch (QroWrongUsage&) {
      refused = true;
    }
    other.end();
    check(refused, "a model refuses an object of another environment");
  } catch (QroException& e) {
    e.print(std::cout);
    std::cout << std::endl;
    ++wrong;
  }
  env.end();
  return wrong ? 1 : 0;
}
