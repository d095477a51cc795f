// The side forms of a harness case: one or two constraints drawn from a table
// over the case's variables, posted before or after the case's constraint,
// and a drawn labelling order; the whole model against brute force.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "support/harness.h"

namespace qrotest {

// What a kind without sizes or relations answers.
QrcIntExpI* VarKind::sizeOf(QrcExprI*) const {
  return nullptr;
}

int64_t VarKind::sizeOfValue(int64_t value) const {
  return value;
}

int VarKind::relations() const {
  return 0;
}

QrcConstraintI* VarKind::makeRelation(QrcExprI*, QrcExprI*, int) const {
  return nullptr;
}

bool VarKind::relationHolds(int64_t, int64_t, int) const {
  return false;
}

std::string VarKind::showRelation(const std::string& x, const std::string& y, int) const {
  return x + " ? " + y;
}

namespace {

typedef std::vector<int64_t> A;

const VarKind& kindAt(const PropCase& c, size_t i) {
  if (i < c.kinds.size() && c.kinds[i]) return *c.kinds[i];
  return c.kind ? *c.kind : intKind();
}

std::string nameOf(size_t i) {
  return "x" + std::to_string(i);
}

// Sum of sizes of one to three variables against a bound between the least
// and the greatest sum.
SideConstraint drawSizeSum(const PropCase& c, Rng& rng) {
  SideConstraint s;
  s.kind = SideKind::SizeSum;
  std::vector<size_t> all;
  for (size_t i = 0; i < c.values.size(); ++i) all.push_back(i);
  size_t count = std::min(all.size(), static_cast<size_t>(1 + rng() % 3));
  int64_t lo = 0, hi = 0;
  for (size_t k = 0; k < count; ++k) {
    std::swap(all[k], all[k + rng() % (all.size() - k)]);
    size_t i = all[k];
    s.vars.push_back(i);
    int64_t least = INT64_MAX, most = INT64_MIN;
    for (int64_t v : c.values[i]) {
      least = std::min(least, kindAt(c, i).sizeOfValue(v));
      most = std::max(most, kindAt(c, i).sizeOfValue(v));
    }
    lo += least;
    hi += most;
  }
  s.op = static_cast<int>(rng() % 3);
  s.k = lo + static_cast<int64_t>(rng() % static_cast<uint64_t>(hi - lo + 1));
  return s;
}

// A relation between two variables of one kind; a simple constraint when no
// two variables share a kind that has relations.
SideConstraint drawSide(const PropCase& c, Rng& rng) {
  SideConstraint s;
  size_t n = c.values.size();
  int pick = static_cast<int>(rng() % 3);
  if (pick == 0) return drawSizeSum(c, rng);
  if (pick == 2) {
    std::vector<std::pair<size_t, size_t>> pairs;
    for (size_t i = 0; i < n; ++i)
      for (size_t j = 0; j < n; ++j)
        if (i != j && &kindAt(c, i) == &kindAt(c, j) && kindAt(c, i).relations() > 0)
          pairs.push_back({i, j});
    if (!pairs.empty()) {
      auto p = pairs[rng() % pairs.size()];
      s.kind = SideKind::Relation;
      s.vars = {p.first, p.second};
      s.op = static_cast<int>(rng() % static_cast<uint64_t>(kindAt(c, p.first).relations()));
      return s;
    }
  }
  size_t i = rng() % n;
  s.kind = SideKind::Simple;
  s.vars = {i};
  if (!kindAt(c, i).drawSimple(c.values[i], rng, s.op, s.k)) return drawSizeSum(c, rng);
  return s;
}

QrcConstraintI* makeSide(const PropCase& c, const SideConstraint& s, const Vars& v) {
  const VarKind& k = kindAt(c, s.vars[0]);
  if (s.kind == SideKind::Simple) return k.makeSimple(v.expr(s.vars[0]), s.op, s.k);
  if (s.kind == SideKind::Relation)
    return k.makeRelation(v.expr(s.vars[0]), v.expr(s.vars[1]), s.op);
  QrcIntExp sum(kindAt(c, s.vars[0]).sizeOf(v.expr(s.vars[0])));
  for (size_t j = 1; j < s.vars.size(); ++j)
    sum = sum + QrcIntExp(kindAt(c, s.vars[j]).sizeOf(v.expr(s.vars[j])));
  return (s.op == 0 ? sum <= s.k : s.op == 1 ? sum >= s.k : sum == s.k).getImpl();
}

bool sideHolds(const PropCase& c, const SideConstraint& s, const A& a) {
  const VarKind& k = kindAt(c, s.vars[0]);
  if (s.kind == SideKind::Simple) return k.simpleHolds(a[s.vars[0]], s.op, s.k);
  if (s.kind == SideKind::Relation) return k.relationHolds(a[s.vars[0]], a[s.vars[1]], s.op);
  int64_t sum = 0;
  for (size_t i : s.vars) sum += kindAt(c, i).sizeOfValue(a[i]);
  return s.op == 0 ? sum <= s.k : s.op == 1 ? sum >= s.k : sum == s.k;
}

std::string showSide(const PropCase& c, const SideConstraint& s) {
  const VarKind& k = kindAt(c, s.vars[0]);
  if (s.kind == SideKind::Simple) return k.showSimple(nameOf(s.vars[0]), s.op, s.k);
  if (s.kind == SideKind::Relation)
    return k.showRelation(nameOf(s.vars[0]), nameOf(s.vars[1]), s.op);
  std::string sum;
  for (size_t i : s.vars) sum += (sum.empty() ? "size(" : " + size(") + nameOf(i) + ")";
  static const char* const ops[] = {" <= ", " >= ", " == "};
  return sum + ops[s.op] + std::to_string(s.k);
}

}  // namespace

SideForm drawSideForm(const PropCase& c, Rng& rng) {
  SideForm f;
  for (int k = 1 + static_cast<int>(rng() % 2); k > 0; --k) f.sides.push_back(drawSide(c, rng));
  f.sidesFirst = rng() % 2;
  for (size_t i = 0; i < c.values.size(); ++i) f.order.push_back(i);
  for (size_t i = f.order.size(); i > 1; --i) std::swap(f.order[i - 1], f.order[rng() % i]);
  return f;
}

PropCase sideForm(const PropCase& c, const SideForm& form) {
  PropCase e = c;
  std::string sides, order;
  for (const SideConstraint& s : form.sides) sides += (sides.empty() ? "" : ", ") + showSide(c, s);
  for (size_t i : form.order) order += (order.empty() ? "" : " ") + nameOf(i);
  e.name = c.name + " beside " + sides +
           (form.sidesFirst ? " (posted after them" : " (posted first") + ", labelled " + order +
           ")";
  // Side constraints promise nothing of the model's consistency, nor
  // anything outside the variables.
  e.level = Consistency::None;
  e.levels.clear();
  e.extraCheck = nullptr;
  e.make = nullptr;
  e.scope = nullptr;
  e.arrayElements = 0;
  e.reifiedForms = 0;
  e.sideForms = 0;
  e.labelOrder = form.order;
  e.post = [c, form](QrcManagerI* m, const Vars& v) {
    auto sides = [&] {
      for (const SideConstraint& s : form.sides) m->add(makeSide(c, s, v));
    };
    if (form.sidesFirst) sides();
    if (c.post)
      c.post(m, v);
    else
      m->add(c.make(m, v));
    if (!form.sidesFirst) sides();
  };
  e.check = [c, form](const A& a) {
    for (const SideConstraint& s : form.sides)
      if (!sideHolds(c, s, a)) return false;
    return c.check(a);
  };
  return e;
}

int runSideForms(const PropCase& c) {
  if (c.sideForms <= 0 || c.staging.edit || c.staging.before >= 0 || c.staging.after >= 0) return 0;
  Rng rng(c.seed ^ nameHash(c.name) ^ 0x5851f42d4c957f2dull);
  int failures = 0;
  for (int k = 0; k < c.sideForms; ++k) {
    SideForm f = drawSideForm(c, rng);
    for (int round = 0; round < 2; ++round) {
      PropCase e = sideForm(c, f);
      failures += checkAssignments(e) + checkNarrowings(e) + checkSearch(e);
      // The other posting order, labelled in an order of its own.
      f.sidesFirst = !f.sidesFirst;
      std::swap(f.order[rng() % f.order.size()], f.order[rng() % f.order.size()]);
      std::reverse(f.order.begin(), f.order.end());
    }
  }
  return failures;
}

}  // namespace qrotest
