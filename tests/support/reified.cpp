// The reified forms of a harness case: the constraint built by the case's
// make, used as a 0-1 expression, negated and joined to a second constraint,
// each run through the same steps as the case itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "qrcfail.h"
#include "qrcint.h"
#include "qrcintcompare.h"
#include "qrcintexp.h"
#include "support/harness.h"
#include "support/seed.h"

namespace qrotest {

namespace {

typedef std::vector<int64_t> A;

// Throws the code of an error report instead of ending the program.
class CodeReporter : public QrcErrorReporter {
 public:
  void fatal(int code) override { throw code; }
};

const VarKind& kindAt(const PropCase& c, size_t i) {
  if (i < c.kinds.size() && c.kinds[i]) return *c.kinds[i];
  return c.kind ? *c.kind : intKind();
}

bool usesTruth(const ReifiedForm& f) {
  return f.shape == Shape::Truth || f.shape == Shape::OppositeTruth ||
         (f.shape != Shape::Opposite && f.otherOnTruth);
}

bool isConnective(Shape s) {
  return s == Shape::And || s == Shape::Or || s == Shape::Iff || s == Shape::Xor;
}

const char* connective(Shape s) {
  switch (s) {
    case Shape::And:
      return " && ";
    case Shape::Or:
      return " || ";
    case Shape::Iff:
      return " == ";
    default:
      return " != ";
  }
}

bool combine(Shape s, bool a, bool b) {
  switch (s) {
    case Shape::And:
      return a && b;
    case Shape::Or:
      return a || b;
    case Shape::Iff:
      return a == b;
    default:
      return a != b;
  }
}

QrcConstraint combine(Shape s, const QrcConstraint& a, const QrcConstraint& b) {
  switch (s) {
    case Shape::And:
      return a && b;
    case Shape::Or:
      return a || b;
    case Shape::Iff:
      return a == b;
    default:
      return a != b;
  }
}

std::string formName(const PropCase& c, const ReifiedForm& f, const std::string& other) {
  std::string n = "(" + c.name + ")";
  switch (f.shape) {
    case Shape::Truth:
      n = "b == " + n;
      break;
    case Shape::OppositeTruth:
      n = "b == !" + n;
      break;
    case Shape::Opposite:
      n = "!" + n;
      break;
    default:
      n = f.otherFirst ? other + connective(f.shape) + n : n + connective(f.shape) + other;
  }
  n += f.edit ? " [edit" : " [no edit";
  if (usesTruth(f)) {
    n += f.timing == TruthTiming::BoundBefore  ? ", b bound before posting"
         : f.timing == TruthTiming::BoundAfter ? ", b bound after the operands"
         : f.shape == Shape::Truth || f.shape == Shape::OppositeTruth ? ", b bound by propagation"
                                                                      : ", b free";
  }
  return n + "]";
}

// Builds the constraint and each of its reified pieces once, outside any
// search: the error a constraint without opposite or truth demon reports.
int reificationError(const PropCase& c) {
  QrcManager mgr(QrcNoEdit);
  QrcManagerI* m = mgr.getImpl();
  m->useExceptions(true);
  CodeReporter reporter;
  QrcErrorReporter* saved = m->getErrorReporter();
  m->setErrorReporter(&reporter);
  int code = 0;
  try {
    std::vector<QrcExprI*> vars;
    for (size_t i = 0; i < c.values.size(); ++i) vars.push_back(kindAt(c, i).make(m, c.values[i]));
    Vars v(vars);
    QrcConstraint ct = c.make(m, v);
    QrcIntVar b(mgr, 0, 1);
    QrcConstraint opposite = !ct;
    m->add((QrcIntExp(b) == QrcIntExp(ct)).getImpl());
    m->add((QrcIntExp(b) == QrcIntExp(opposite)).getImpl());
  } catch (const QrcFailException&) {
  } catch (int reported) {
    code = reported;
  }
  m->setErrorReporter(saved);
  mgr.end();
  return code;
}

// The case's constraint (over its first n variables) in the form f: the
// second constraint of a connective is over variable otherVar.
std::function<void(QrcManagerI*, const Vars&)> formPost(
    const std::function<QrcConstraintI*(QrcManagerI*, const Vars&)>& make, const ReifiedForm& f,
    size_t n, size_t otherVar, const VarKind* otherKind) {
  return [make, f, n, otherVar, otherKind](QrcManagerI* m, const Vars& v) {
    std::vector<QrcExprI*> x;
    for (size_t i = 0; i < n; ++i) x.push_back(v.expr(i));
    QrcConstraint ct = make(m, Vars(x));
    QrcConstraint posted;
    switch (f.shape) {
      case Shape::Truth:
        posted = QrcIntExp(v[n]) == QrcIntExp(ct);
        break;
      case Shape::OppositeTruth:
        posted = QrcIntExp(v[n]) == QrcIntExp(!ct);
        break;
      case Shape::Opposite:
        posted = !ct;
        break;
      default: {
        QrcConstraint d = otherKind->makeSimple(v.expr(otherVar), f.otherOp, f.otherK);
        posted = f.otherFirst ? combine(f.shape, d, ct) : combine(f.shape, ct, d);
      }
    }
    m->add(posted.getImpl());
  };
}

// Whether an assignment of the form's variables satisfies the form.
std::function<bool(const A&)> formCheck(const std::function<bool(const A&)>& check,
                                        const std::function<bool(const A&)>& scope,
                                        const ReifiedForm& f, size_t n, size_t otherVar,
                                        const VarKind* otherKind) {
  return [check, scope, f, n, otherVar, otherKind](const A& a) {
    A x(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n));
    if (scope && !scope(x)) return false;
    bool holds = check(x);
    switch (f.shape) {
      case Shape::Truth:
        return a[n] == (holds ? 1 : 0);
      case Shape::OppositeTruth:
        return a[n] == (holds ? 0 : 1);
      case Shape::Opposite:
        return !holds;
      default: {
        bool d = otherKind->simpleHolds(a[otherVar], f.otherOp, f.otherK);
        return f.otherFirst ? combine(f.shape, d, holds) : combine(f.shape, holds, d);
      }
    }
  };
}

}  // namespace

uint64_t nameHash(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (char ch : s) h = (h ^ static_cast<unsigned char>(ch)) * 1099511628211ull;
  return h;
}

std::vector<ReifiedForm> allReifiedForms(const PropCase& c, Rng& rng) {
  // The case's variables that offer a simple constraint.
  std::vector<size_t> simple;
  for (size_t i = 0; i < c.values.size(); ++i) {
    int op;
    int64_t k;
    Rng probe(1);
    if (!c.values[i].empty() && kindAt(c, i).drawSimple(c.values[i], probe, op, k))
      simple.push_back(i);
  }
  const TruthTiming timings[] = {TruthTiming::Free, TruthTiming::BoundBefore,
                                 TruthTiming::BoundAfter};
  std::vector<ReifiedForm> out;
  for (bool edit : {false, true}) {
    for (Shape s : {Shape::Truth, Shape::OppositeTruth})
      for (TruthTiming t : timings) {
        ReifiedForm f;
        f.shape = s;
        f.edit = edit;
        f.timing = t;
        out.push_back(f);
      }
    ReifiedForm o;
    o.shape = Shape::Opposite;
    o.edit = edit;
    o.otherOnTruth = false;
    out.push_back(o);
    for (Shape s : {Shape::And, Shape::Or, Shape::Iff, Shape::Xor}) {
      for (int k = 0; k < 4; ++k) {
        ReifiedForm f;
        f.shape = s;
        f.edit = edit;
        f.otherFirst = rng() % 2 != 0;
        // d over b in three timings, then over a case variable.
        f.otherOnTruth = k < 3 || simple.empty();
        f.timing = k < 3 ? timings[k] : TruthTiming::Free;
        if (f.otherOnTruth) {
          intKind().drawSimple({0, 1}, rng, f.otherOp, f.otherK);
        } else {
          f.otherVar = simple[rng() % simple.size()];
          kindAt(c, f.otherVar).drawSimple(c.values[f.otherVar], rng, f.otherOp, f.otherK);
        }
        out.push_back(f);
      }
    }
  }
  return out;
}

PropCase reifiedForm(const PropCase& c, const ReifiedForm& f) {
  size_t n = c.values.size();
  PropCase e = c;
  e.post = nullptr;
  e.make = nullptr;
  e.scope = nullptr;
  e.extraCheck = nullptr;
  e.level = Consistency::None;
  e.levels.clear();
  e.arrayElements = 0;
  e.postInSearch = false;
  e.kind = nullptr;
  e.kinds.clear();
  for (size_t i = 0; i < n; ++i) e.kinds.push_back(&kindAt(c, i));
  bool truth = usesTruth(f);
  if (truth) {
    e.values.push_back({0, 1});
    e.kinds.push_back(&intKind());
  }
  e.staging = Staging();
  e.staging.edit = f.edit;
  if (truth && f.timing == TruthTiming::BoundBefore) e.staging.before = static_cast<int>(n);
  if (truth && f.timing != TruthTiming::BoundBefore &&
      (f.timing == TruthTiming::BoundAfter || !isConnective(f.shape))) {
    e.staging.after = static_cast<int>(n);
    e.staging.decided = f.timing == TruthTiming::Free;
  }
  // The second constraint of a connective: over b, or over a case variable.
  size_t otherVar = f.otherOnTruth ? n : f.otherVar;
  const VarKind* otherKind = f.otherOnTruth ? &intKind() : &kindAt(c, f.otherVar);
  std::string otherName;
  if (isConnective(f.shape))
    otherName = otherKind->showSimple(f.otherOnTruth ? "b" : "x" + std::to_string(otherVar),
                                      f.otherOp, f.otherK);
  e.name = formName(c, f, otherName);

  e.post = formPost(c.make, f, n, otherVar, otherKind);
  e.check = formCheck(c.check, c.scope, f, n, otherVar, otherKind);
  // A third of the case's narrowing runs, and fewer samples: the forms of
  // every case add up.
  e.narrowRuns = std::max(4, c.narrowRuns / 3);
  e.samples = std::max(100, c.samples / 3);
  e.maxAssignments = std::max<int64_t>(200, c.maxAssignments / 2);
  return e;
}

int runReifiedForms(const PropCase& c) {
  if (!c.make || c.notReified || c.reifiedForms <= 0 || c.staging.edit || c.staging.before >= 0 ||
      c.staging.after >= 0)
    return 0;
  if (int code = reificationError(c)) {
    ADD_FAILURE() << "case '" << c.name << "': building its reified forms reports error " << code
                  << "; give the case a notReified reason";
    return 1;
  }
  Rng rng(c.seed ^ nameHash(c.name));
  std::vector<ReifiedForm> forms = allReifiedForms(c, rng);
  size_t count = allForms() && c.reifiedForms > 0
                     ? forms.size()
                     : static_cast<size_t>(std::max(0, c.reifiedForms));
  if (count < forms.size()) {
    for (size_t k = 0; k < count; ++k) std::swap(forms[k], forms[k + rng() % (forms.size() - k)]);
    forms.resize(count);
  }
  int failures = 0;
  for (const ReifiedForm& f : forms) failures += runPropCase(reifiedForm(c, f));
  return failures;
}

int runWithShapes(const PropCase& c, const std::vector<Shape>& shapes) {
  PropCase plain = c;
  plain.reifiedForms = 0;
  int failures = runPropCase(plain);
  Rng rng(c.seed ^ nameHash(c.name));
  std::vector<ReifiedForm> forms = allReifiedForms(c, rng);
  for (Shape shape : shapes) {
    std::vector<ReifiedForm> of;
    for (const ReifiedForm& f : forms)
      if (f.shape == shape) of.push_back(f);
    if (!allForms()) of = {of[rng() % of.size()]};
    for (const ReifiedForm& f : of) failures += runPropCase(reifiedForm(c, f));
  }
  return failures;
}

}  // namespace qrotest
