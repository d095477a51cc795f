#include "support/setkind.h"

#include <sstream>
#include <string>

#include "qrcintcompare.h"
#include "qrcintsetcst.h"
#include "qrcintsetvar.h"

namespace qrotest {

namespace {

int popcount(int64_t mask) {
  return __builtin_popcountll(static_cast<uint64_t>(mask));
}

class IntSetKind : public VarKind {
 public:
  QrcExprI* make(QrcManagerI* m, const std::vector<int64_t>& values) const override {
    int64_t all = 0;
    for (int64_t v : values) all |= v;
    int top = 0;
    while (top < 62 && (all >> (top + 1))) ++top;
    return new (m) QrcIntSetVarI(m, 0, top, nullptr);
  }
  bool contains(QrcExprI* e, int64_t mask) const override {
    QrcIntSetVarI* x = set(e);
    for (QrcInt v = x->getUniverseMin(); v <= x->getUniverseMax(); ++v) {
      bool in = (mask >> v) & 1;
      if (in && !x->isPossible(v)) return false;
      if (!in && x->isRequired(v)) return false;
    }
    if (mask >> (x->getUniverseMax() + 1)) return false;
    QrcIntExpI* c = x->getCardinality();
    return popcount(mask) >= c->getMin() && popcount(mask) <= c->getMax();
  }
  bool isFixed(QrcExprI* e) const override { return set(e)->isBound(); }
  int64_t valueOf(QrcExprI* e) const override {
    QrcIntSetVarI* x = set(e);
    int64_t mask = 0;
    for (QrcInt v = x->getUniverseMin(); v <= x->getUniverseMax(); ++v)
      if (x->isRequired(v)) mask |= int64_t(1) << v;
    return mask;
  }
  void fix(QrcExprI* e, int64_t mask) const override {
    QrcIntSetVarI* x = set(e);
    for (QrcInt v = x->getUniverseMin(); v <= x->getUniverseMax(); ++v) {
      if ((mask >> v) & 1)
        x->addRequired(v);
      else
        x->removePossible(v);
    }
    if (mask >> (x->getUniverseMax() + 1)) x->fail();
  }
  void narrow(QrcExprI* e, int64_t keep, const std::vector<int64_t>&, Rng& rng,
              std::string& log) const override {
    QrcIntSetVarI* x = set(e);
    QrcInt span = x->getUniverseMax() - x->getUniverseMin() + 1;
    QrcInt v = x->getUniverseMin() + static_cast<QrcInt>(rng() % static_cast<uint64_t>(span));
    bool in = (keep >> v) & 1;
    std::ostringstream os;
    switch (rng() % 5) {
      case 0:
        os << "fix(" << keep << ")";
        log += os.str() + " ";
        fix(e, keep);
        return;
      case 1:
        os << (in ? "addRequired(" : "removePossible(") << v << ")";
        log += os.str() + " ";
        in ? x->addRequired(v) : x->removePossible(v);
        return;
      case 2: {
        QrcInt k = static_cast<QrcInt>(rng() % static_cast<uint64_t>(popcount(keep) + 1));
        os << "card.setMin(" << k << ")";
        log += os.str() + " ";
        x->getCardinality()->setMin(k);
        return;
      }
      case 3: {
        QrcInt k = popcount(keep) + static_cast<QrcInt>(rng() % 2);
        os << "card.setMax(" << k << ")";
        log += os.str() + " ";
        x->getCardinality()->setMax(k);
        return;
      }
      default:
        os << "removePossibleRange(" << v << ".." << v + 1 << ")";
        if ((keep >> v) & 1 || (keep >> (v + 1)) & 1) return;
        log += os.str() + " ";
        x->removePossibleRange(v, v + 1);
    }
  }
  // k in s, k not in s, card(s) <= k, card(s) >= k.
  bool drawSimple(const std::vector<int64_t>& values, Rng& rng, int& op,
                  int64_t& k) const override {
    int64_t all = 0;
    for (int64_t v : values) all |= v;
    int64_t top = 0;
    while (top < 62 && (all >> (top + 1))) ++top;
    op = static_cast<int>(rng() % 4);
    k = static_cast<int64_t>(rng() % static_cast<uint64_t>(top + 2));
    return true;
  }
  QrcConstraintI* makeSimple(QrcExprI* e, int op, int64_t k) const override {
    QrcIntSetVar x(set(e));
    QrcIntExp card(set(e)->getCardinality());
    QrcConstraint ct = op == 0   ? QrcMember(k, x)
                       : op == 1 ? QrcNotMember(k, x)
                       : op == 2 ? card <= k
                                 : card >= k;
    return ct.getImpl();
  }
  bool simpleHolds(int64_t mask, int op, int64_t k) const override {
    bool in = k >= 0 && k < 62 && ((mask >> k) & 1);
    return op == 0 ? in : op == 1 ? !in : op == 2 ? popcount(mask) <= k : popcount(mask) >= k;
  }
  std::string showSimple(const std::string& x, int op, int64_t k) const override {
    if (op <= 1) return std::to_string(k) + (op == 0 ? " in " : " not in ") + x;
    return "card(" + x + (op == 2 ? ") <= " : ") >= ") + std::to_string(k);
  }
  QrcConstraintI* makeEqual(QrcExprI* x, QrcExprI* y) const override {
    return (QrcIntSetVar(set(x)) == QrcIntSetVar(set(y))).getImpl();
  }
  // The size of a set is its cardinality; x subseteq y, x and y disjoint,
  // x == y, x != y.
  QrcIntExpI* sizeOf(QrcExprI* e) const override { return set(e)->getCardinality(); }
  int64_t sizeOfValue(int64_t mask) const override { return popcount(mask); }
  int relations() const override { return 4; }
  QrcConstraintI* makeRelation(QrcExprI* x, QrcExprI* y, int op) const override {
    QrcIntSetVar a(set(x)), b(set(y));
    QrcConstraint ct = op == 0   ? QrcSubsetEq(a, b)
                       : op == 1 ? QrcNullIntersect(a, b)
                       : op == 2 ? a == b
                                 : a != b;
    return ct.getImpl();
  }
  bool relationHolds(int64_t a, int64_t b, int op) const override {
    return op == 0 ? (a & ~b) == 0 : op == 1 ? (a & b) == 0 : op == 2 ? a == b : a != b;
  }
  std::string showRelation(const std::string& x, const std::string& y, int op) const override {
    static const char* const ops[] = {" subseteq ", " disjoint ", " == ", " != "};
    return x + ops[op] + y;
  }

 private:
  static QrcIntSetVarI* set(QrcExprI* e) { return static_cast<QrcIntSetVarI*>(e); }
};

}  // namespace

const VarKind& intSetKind() {
  static IntSetKind kind;
  return kind;
}

std::vector<int64_t> subsets(int n) {
  std::vector<int64_t> out;
  for (int64_t m = 0; m < (int64_t(1) << n); ++m) out.push_back(m);
  return out;
}

}  // namespace qrotest
