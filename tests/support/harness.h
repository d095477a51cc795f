// Brute-force harness for propagators. A case gives the candidate values of
// each variable, a post function that states the constraint under test and a
// plain checker written from the constraint's meaning. The harness then
//  1. posts over every assignment (or a seeded sample): success exactly when
//     the checker accepts;
//  2. applies seeded random narrowings that keep a chosen solution, asserting
//     after each propagation that the solution is still in the domains;
//  3. runs a complete search and compares its solutions with the checker's;
//  4. when the case promises a consistency level, asserts that every
//     remaining bound (or value) extends to a solution;
//  5. for an array constraint (or when asked), posts it from a goal in
//     every branch below a choice point, and again after a restart, and
//     compares the solutions (checkPostedInSearch).
// A case that builds its constraint (make) also runs in the constraint's
// reified forms: its truth equal to a 0-1 variable, its opposite, and joined
// to a second constraint by each connective, in edit and no-edit mode, with
// the truth variable free, bound before the posting or bound after the
// operands (see runReifiedForms). A case that names its array positions
// (arrayElements) also runs in array shapes: elements that are expressions of
// shared variables, variables tied by equalities posted before it, one
// variable at two positions, a variable beside its offset view, and the
// constraint posted after some of its variables are bound (see
// runArrayShapes). A case that asks for side forms (sideForms) also runs
// beside side constraints drawn from a table over its variables, posted
// before and after it and labelled in drawn orders (see runSideForms).
// Every failure names the case and the seed; --qro_seed=N replays it.
//
// Variables are driven through a VarKind, so that other kinds of variable
// (a set variable encoding its value as a bit mask, say) reuse the harness.
#ifndef QRO_TEST_HARNESS_H
#define QRO_TEST_HARNESS_H

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "qrcexpr.h"
#include "qrcmanager.h"

class QrcIntExpI;

namespace qrotest {

typedef std::mt19937_64 Rng;

// How the harness creates, reads, fixes and narrows one kind of variable.
// Values are integers (another kind may encode its values as integers).
class VarKind {
 public:
  virtual ~VarKind() {}
  virtual QrcExprI* make(QrcManagerI* m, const std::vector<int64_t>& values) const = 0;
  virtual bool contains(QrcExprI* x, int64_t value) const = 0;
  virtual bool isFixed(QrcExprI* x) const = 0;
  virtual int64_t valueOf(QrcExprI* x) const = 0;
  // May fail the branch.
  virtual void fix(QrcExprI* x, int64_t value) const = 0;
  // One random narrowing that keeps `keep`; appends what it did to `log`.
  virtual void narrow(QrcExprI* x, int64_t keep, const std::vector<int64_t>& values, Rng& rng,
                      std::string& log) const = 0;
  // A simple constraint on one variable over `values`, for the connective
  // forms: draws its operator and constant (false when the kind has none),
  // builds it, decides it on a value and names it.
  virtual bool drawSimple(const std::vector<int64_t>& values, Rng& rng, int& op, int64_t& k) const;
  virtual QrcConstraintI* makeSimple(QrcExprI* x, int op, int64_t k) const;
  virtual bool simpleHolds(int64_t value, int op, int64_t k) const;
  virtual std::string showSimple(const std::string& x, int op, int64_t k) const;
  // x == y over two variables of the kind, for the array shapes (null when
  // the kind has none).
  virtual QrcConstraintI* makeEqual(QrcExprI* x, QrcExprI* y) const;
  // For the side constraints: the size of a variable as an integer
  // expression (every kind the side forms meet has one) and of a value, and
  // the relations between two variables of the kind (their count, each
  // built, decided on two values and named).
  virtual QrcIntExpI* sizeOf(QrcExprI* x) const;
  virtual int64_t sizeOfValue(int64_t value) const;
  virtual int relations() const;
  virtual QrcConstraintI* makeRelation(QrcExprI* x, QrcExprI* y, int op) const;
  virtual bool relationHolds(int64_t a, int64_t b, int op) const;
  virtual std::string showRelation(const std::string& x, const std::string& y, int op) const;
};

// Integer variables: a range when the values are contiguous, else a value list.
const VarKind& intKind();

// Variables handed to post and make.
class Vars {
 public:
  explicit Vars(const std::vector<QrcExprI*>& v) : _v(v) {}
  QrcIntExpI* operator[](size_t i) const;
  QrcExprI* expr(size_t i) const { return _v[i]; }
  size_t size() const { return _v.size(); }

 private:
  const std::vector<QrcExprI*>& _v;
};

enum class Consistency { None, Bounds, Domain };

// The array shapes (see runArrayShapes): integer elements built as
// expressions over a few shared variables (sums, differences, absolute
// differences, products, offsets, minima, maxima, constant and variable
// arrays indexed by an expression, one expression at several positions);
// the case's variables tied by equalities posted before the constraint; one
// variable at two positions of the arrays; a variable beside its offset view
// (x and x + c made a variable, by QrcIntVar or by the array's set), or two
// offsets of one variable; some variables bound before the posting (the
// elements then made variables over what is left).
enum class ArrayShape { Shared, Tied, Repeated, Offset, Bound };
const char* arrayShapeName(ArrayShape shape);

// How a run is staged: the manager's mode (in edit mode the constraint is
// added before the search and posted when it starts), and one variable fixed
// before the posting, or after the posting and every other variable; when
// `decided`, propagation must have bound that variable to its value by then.
struct Staging {
  bool edit = false;
  int before = -1;
  int after = -1;
  bool decided = false;
};

struct PropCase {
  std::string name;
  // Candidate values of each variable.
  std::vector<std::vector<int64_t>> values;
  std::function<void(QrcManagerI*, const Vars&)> post;
  std::function<bool(const std::vector<int64_t>&)> check;
  // Builds the constraint under test without adding it: the harness adds it
  // when post is not given, and runPropCase also runs its reified forms.
  std::function<QrcConstraintI*(QrcManagerI*, const Vars&)> make;
  // Why the constraint has no reified forms (no opposite, or no truth demon:
  // errors 40 and 41); null: they run whenever make is given.
  const char* notReified = nullptr;
  // Optional: called after each posting of the constraint (in every form, in
  // the manager that posted it), for what is to happen after it: nodes made
  // variables after the posting, say.
  std::function<void(QrcManagerI*)> afterPost;
  // Optional: the assignments that the case's own narrowings (made by post or
  // make before stating the constraint) allow; check must reject the others.
  // The reified forms judge the constraint's truth within them.
  std::function<bool(const std::vector<int64_t>&)> scope;
  // How many reified forms runPropCase draws for the case (by its seed and
  // name); 0: none, AllReifiedForms: every one.
  int reifiedForms = 2;
  // The positions arrayFirst.. that are elements of the case's arrays; when
  // arrayElements is not zero, runPropCase also runs the case in arrayShapes
  // shapes drawn by its seed and name among shapeKinds (every kind, twice,
  // with --qro_all_forms).
  size_t arrayFirst = 0;
  size_t arrayElements = 0;
  int arrayShapes = 2;
  // The shapes keep every integer position among its candidate values (by
  // constraints posted first), for a checker that holds only there.
  bool shapesKeepCandidates = false;
  std::vector<ArrayShape> shapeKinds = {ArrayShape::Shared, ArrayShape::Tied, ArrayShape::Repeated,
                                        ArrayShape::Offset, ArrayShape::Bound};
  // Set by the reified forms.
  Staging staging;
  // What propagation promises (checked after each propagation of the
  // narrowing runs): every value left (Domain) or both bounds (Bounds) of a
  // variable extend to a solution whose other values lie in the domains
  // (Domain) or within the bounds (Bounds) of their variables. `levels`
  // gives a variable its own level (a missing entry takes `level`).
  Consistency level = Consistency::None;
  std::vector<Consistency> levels;
  const VarKind* kind = nullptr;  // null: integer variables
  // The kind of each variable, so that kinds mix; a missing or null entry
  // takes `kind`.
  std::vector<const VarKind*> kinds;
  uint64_t seed = 1;
  // Assignments beyond this count are sampled.
  int64_t maxAssignments = 4000;
  int samples = 1500;
  int narrowRuns = 60;
  int narrowSteps = 6;
  bool search = true;
  // Whether runPropCase also posts the constraint from a goal inside a
  // search (checkPostedInSearch); the array-constraint cases (arrayElements)
  // always do.
  bool postInSearch = false;
  // Optional: called after each propagation of the narrowing runs with the
  // solutions that lie inside the current domains; returns an error text, or
  // an empty string when all is well (for state outside the variables).
  std::function<std::string(const std::vector<std::vector<int64_t>>&)> extraCheck;
  // The order in which the searches label the variables (empty: theirs).
  std::vector<size_t> labelOrder;
  // How many draws of side constraints runPropCase makes for the case (by
  // its seed and name), each run in two posting orders (see runSideForms).
  int sideForms = 0;
  // The case holds code of the caller's: objects of classes of its own, or
  // functions or predicates behind an object of the library. Otherwise, once
  // its search is over, the manager (whose failures are exceptions) must
  // have met no object of a class that does not declare itself the
  // library's: the failures of its searches jump.
  bool callersCode = false;
};

// Candidate values lo..hi.
std::vector<int64_t> range(int64_t lo, int64_t hi);
// n variables over lo..hi each.
std::vector<std::vector<int64_t>> ranges(int n, int64_t lo, int64_t hi);
// Random small domains (sometimes with holes) within [lo, hi].
std::vector<std::vector<int64_t>> randomDomains(Rng& rng, int n, int64_t lo, int64_t hi,
                                                int maxSpan);

// Each step returns the number of failures it reported (0: all good).
int checkAssignments(const PropCase& c);
int checkNarrowings(const PropCase& c);
int checkSearch(const PropCase& c);
// Builds the constraint (make) at the top level and posts it (or calls post)
// in every branch of a search that labels the variables, below the first
// choices (how many is drawn from the seed); takes a few solutions, restarts
// and then expects exactly the checker's solutions. The manager runs without
// the engine's pooling, so that the sanitizers see what a backtrack gave
// back: what a constraint builds at its first propagation meets a backtrack.
int checkPostedInSearch(const PropCase& c);
// All steps.
int runPropCase(const PropCase& c);
// Runs the same seeded removals (each keeping a chosen solution) on two cases
// over the same integer candidates, asserting after the posting and after
// each removal that every domain of the strong case lies within the weak
// case's domain. Uses the weak case's seed, runs and steps.
int checkStronger(const PropCase& weak, const PropCase& strong);

// How the elements of an array under test are built: the case's variables
// themselves, or expressions of two variables each (a + b, a - b, |a - b|,
// a * b), which hold no holes of their own.
enum class ElementForm { Variable, Sum, Difference, AbsDifference, Product };
extern const ElementForm ElementForms[5];
const char* elementFormName(ElementForm form);

// The case with its first `elements` positions built in the given form. Each
// such position becomes two variables, a over the position's values (less its
// largest, resp. smallest, for a sum, resp. difference, over an interval) and
// b over {0, 1}, so that the expression reaches the position's values and
// reaches some of them twice. Post sees one expression per position and the
// checker (and extraCheck) one value per position, as before. An expression
// form promises no consistency, as the harness judges the operands; an
// extraCheck must therefore not rely on one.
PropCase withElementForm(const PropCase& c, size_t elements, ElementForm form);
// Runs the case in every form; returns the number of failures.
int runElementForms(const PropCase& c, size_t elements);

// ---------------------------------------------------------------- array shapes

// The case in one array shape drawn from the seed; its name tells the shape
// (how each position is made, what was posted before). False when the case
// has no positions the shape applies to.
bool withArrayShape(const PropCase& c, ArrayShape shape, uint64_t seed, PropCase& out);
// Runs the case's drawn shapes (without the case itself); returns the number
// of failures.
int runArrayShapes(const PropCase& c);

// ---------------------------------------------------------------- reified forms

// The constraint's truth equal to a 0-1 variable b appended to the case's
// variables, the same with its opposite, the opposite posted, and the
// constraint joined to a simple constraint d by a connective (d over b or
// over one of the case's variables, on either side), posted as one.
enum class Shape { Truth, OppositeTruth, Opposite, And, Or, Iff, Xor };
// When the harness binds b: never (propagation must bind it once the
// operands are bound: Truth shapes), before the posting, after the operands.
enum class TruthTiming { Free, BoundBefore, BoundAfter };

struct ReifiedForm {
  Shape shape = Shape::Truth;
  bool edit = false;
  TruthTiming timing = TruthTiming::Free;
  // Connectives: d over b (else over a case variable, and b is not added).
  bool otherOnTruth = true;
  // Connectives: d first.
  bool otherFirst = false;
  // Drawn parameters of d.
  size_t otherVar = 0;
  int otherOp = 0;
  int64_t otherK = 0;
};

const int AllReifiedForms = 1000;

// Every form of a case (the connectives' d drawn from rng).
std::vector<ReifiedForm> allReifiedForms(const PropCase& c, Rng& rng);
// The case in one form; its name tells the form.
PropCase reifiedForm(const PropCase& c, const ReifiedForm& form);
// The case itself (without drawn forms), then one form of each shape, its
// mode, timing and second constraint drawn by the case's seed and name (all
// forms of those shapes with --qro_all_forms); returns the number of failures.
int runWithShapes(const PropCase& c, const std::vector<Shape>& shapes);
// Runs the case's drawn forms (c.reifiedForms of them); returns the number
// of failures. A case whose constraint reports error 40 or 41 is reported
// once, as wanting a notReified reason.
int runReifiedForms(const PropCase& c);

// ---------------------------------------------------------------- side constraints

// Constraints beside the case's own, over its variables, so that one
// propagation moves several of them at once: a sum of sizes (cardinalities
// of set variables, values of integers) compared with a bound, a simple
// constraint on one variable (a membership, a bound: drawSimple), and a
// relation between two variables of one kind (a subset, a disjointness, an
// equality: makeRelation).
enum class SideKind { SizeSum, Simple, Relation };

struct SideConstraint {
  SideKind kind = SideKind::Simple;
  std::vector<size_t> vars;
  // SizeSum: 0 <=, 1 >=, 2 ==; else the kind's operator.
  int op = 0;
  int64_t k = 0;
};

struct SideForm {
  std::vector<SideConstraint> sides;
  // Posted before the case's constraint (else after it).
  bool sidesFirst = false;
  // The labelling order of the searches.
  std::vector<size_t> order;
};

// One or two side constraints and a labelling order drawn from rng.
SideForm drawSideForm(const PropCase& c, Rng& rng);
// The case with the side constraints, checked against brute force of the
// whole model; its name tells the sides, the order of posting and labelling.
// The constraint is built (make) where it is posted.
PropCase sideForm(const PropCase& c, const SideForm& form);
// Runs c.sideForms draws, each posted before and after the sides (its own
// labelling order for each), through assignments, narrowings and search;
// returns the number of failures.
int runSideForms(const PropCase& c);

// The seed of a case: the command-line override, else the default.
uint64_t caseSeed(uint64_t defaultSeed);
// A hash of a case name, to draw a case's forms apart from other cases.
uint64_t nameHash(const std::string& s);

// A family of random cases: make(rng, variant) draws one case of a variant.
struct CaseRow {
  const char* name;
  int variants;
  std::function<PropCase(Rng&, int)> make;
};
// Runs every variant of the row `rounds` times against brute force, each case
// named and seeded from rng and adjusted by `setup`; expects no failure.
void runCaseRow(const CaseRow& row, Rng& rng, int rounds,
                const std::function<void(PropCase&)>& setup);

// Maximal runs of equal values of a word: (value, length).
std::vector<std::pair<int64_t, int64_t>> runsOf(const std::vector<int64_t>& w);

}  // namespace qrotest

#endif
