// A reference of the chord, class and orientation rules of an interval graph,
// written from their statement on plain arrays: a view holds the recorded pair
// states and the bound edges and orientations; each rule entry gives the
// bindings it must make and whether it must fail. Implication classes are
// recomputed from scratch, as closures over the pair states.
#ifndef QRC_TEST_RULES_REFERENCE_H
#define QRC_TEST_RULES_REFERENCE_H

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "qrcintervalgraph.h"

namespace placementtest {

struct GraphView {
  int n = 0;
  // Row-major n x n: state 0 disjoint, 1 overlapping, 2 undecided (-1 on the
  // diagonal); edge and orientation values, -1 while free.
  std::vector<int> st, e, r;
  explicit GraphView(QrcIntervalGraphI* g);
  int state(int x, int y) const { return st[static_cast<size_t>(x * n + y)]; }
  int edge(int x, int y) const { return e[static_cast<size_t>(x * n + y)]; }
  int orient(int x, int y) const { return r[static_cast<size_t>(x * n + y)]; }
  // x before y, for a pair whose orientation is bound.
  bool dir(int x, int y) const { return orient(x, y) == (x < y ? 1 : 0); }
};

typedef std::pair<int, int> Arc;  // (x, y): x before y
typedef std::set<Arc> ImplicationClass;

// The implication class of the disjoint pair oriented x before y.
ImplicationClass implicationClass(const GraphView& v, int x, int y);

// What a rule entry must do: its bindings, by pair (lower vertex first), or a
// failure (a class with both directions of a pair, or two values for one
// variable).
struct Expected {
  const GraphView& v;
  bool fail = false;
  std::map<Arc, int> edges, orients;
  explicit Expected(const GraphView& view) : v(view) {}
  void bindEdge(int x, int y, int value);
  void bindOrient(int x, int y, int value);
  void makeDir(int x, int y, bool before) { bindOrient(x, y, (x < y) == before ? 1 : 0); }
  void enforce(int x, int y, bool before);
};

// The entries of the event loop and the orientation demon.
void refChordRules(Expected& out, int a, int b, int kind);
void refClassRulesDisjoint(Expected& out, int a, int b);
void refClassRulesOverlap(Expected& out, int a, int b);
void refOrientationRulesDisjoint(Expected& out, int a, int b);
void refOrientationRulesOverlap(Expected& out, int a, int b);
void refPushOrientation(Expected& out, int a, int b);

// What a class implies at a fixpoint, where no rule may act any more: pairs
// with both directions, undecided pairs on a path of the class, undecided
// pairs the class orders both ways. Empty when the class is as the rules
// leave it.
std::vector<Arc> classDefects(const GraphView& v, const ImplicationClass& c);

// The graph's bit sets and the witness votes of its undecided pairs against
// a recount from the pair states, the bound orientations and the classes'
// reference orientations: empty when they agree, else the first difference.
// The order bits hold bound orientations only, and all of those of pairs that
// do not overlap once settled (every orientation demon has run).
std::string indexDefect(QrcIntervalGraphI* g, bool settled);

}  // namespace placementtest

#endif
