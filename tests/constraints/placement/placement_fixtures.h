// Placement instances for the brute-force harness: a container with members
// whose origins (and the activities of optional members) are harness
// variables, under containment, not-overlap and pair constraints, with a
// checker written from the geometric meaning.
#ifndef QRC_TEST_PLACEMENT_FIXTURES_H
#define QRC_TEST_PLACEMENT_FIXTURES_H

#include <string>
#include <vector>

#include "qrcbox.h"
#include "support/harness.h"

namespace placementtest {

enum RelationKind { Overlap = 0, NotOverlap = 1, Precedence = 2 };

struct Member {
  std::vector<QroInt> size;
  bool optional;
};

struct Relation {
  RelationKind kind;
  int a, b, d;
};

struct Placement {
  std::string name;
  std::vector<QroInt> container;
  std::vector<Member> members;
  std::vector<Relation> relations;
  bool notOverlap = true;
  // Register the members before the not-overlap constraint is posted.
  bool notOverlapLast = false;
  // Container origins are harness variables over [0, 1] (else fixed at 0).
  bool movingContainer = false;
  // The edges of dimension 0 are harness variables too, the first ones, so
  // that narrowings and search decide pairs of members not yet placed.
  bool edgesAsVariables = false;
  QroInt originLo = 0, originHi = 2;
};

// Levels of the container box (its graphs) and of the not-overlap constraint.
qrotest::PropCase makeCase(const Placement& p, int boxLevel, int notOverlapLevel);

// The instances shared by the brute-force tests of every level.
std::vector<Placement> instances();

// A manager in exceptions mode with a 1-D container of size S and members of
// the given sizes, each with a fixed-range origin variable.
struct Line {
  QrcManager mgr;
  QrcManagerI* m;
  QrcBoxI* container;
  std::vector<QrcBoxI*> boxes;
  Line(QroInt S, const std::vector<QroInt>& sizes, int boxLevel = 1, QroInt lo = 0, QroInt hi = -1,
       bool edit = false);
  ~Line();
  QrcIntervalGraphI* graph() const { return container->getGraph(0); }
  QrcIntExpI* edge(int i, int j) const { return graph()->getEdge(i, j); }
  QrcIntExpI* orient(int i, int j) const { return graph()->getOrientation(i, j); }
  QrcIntExpI* act(int i) const { return container->getActivity(i); }
  QrcIntExpI* x(int i) const { return boxes[static_cast<size_t>(i)]->getOrigin(0); }
  // Registers every member (without containment).
  void registerAll();
  void add(const QrcConstraint& ct) const { m->add(ct.getImpl()); }
  void overlap(int a, int b) const;
  void disjoint(int a, int b) const;
  void before(int a, int b) const;
};

}  // namespace placementtest

#endif
