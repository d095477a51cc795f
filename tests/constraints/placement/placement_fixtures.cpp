#include "placement_fixtures.h"

#include "qrcintcompare.h"
#include "qrcintexp.h"

namespace placementtest {

namespace {

size_t dims(const Placement& p) {
  return p.container.size();
}

// Harness variables that stand for edges, ahead of the others.
size_t edgeVariables(const Placement& p) {
  size_t n = p.members.size();
  return p.edgesAsVariables ? n * (n - 1) / 2 : 0;
}

QrcBoxI* makeBox(QrcManagerI* m, const std::vector<QroInt>& size,
                 const std::vector<QrcIntExpI*>& origins) {
  QrcManager M(m);
  QrcIntVarArray o(M, static_cast<QrcInt>(size.size()));
  for (size_t d = 0; d < size.size(); ++d) o.set(static_cast<QrcInt>(d), QrcIntExp(origins[d]));
  return QrcBox(static_cast<QrcInt>(size.size()), o,
                QrcIntArray(M, static_cast<QrcInt>(size.size()), size.data()))
      .getImpl();
}

void post(const Placement& p, int boxLevel, int notOverlapLevel, QrcManagerI* m,
          const qrotest::Vars& v) {
  size_t k = dims(p), next = edgeVariables(p), edge = 0;
  std::vector<QrcIntExpI*> co;
  for (size_t d = 0; d < k; ++d)
    co.push_back(p.movingContainer ? v[next++] : QrcIntVar(QrcManager(m), 0, 0).getImpl());
  QrcBoxI* c = makeBox(m, p.container, co);
  c->setFilterLevel(boxLevel);
  std::vector<QrcBoxI*> boxes;
  for (const Member& mem : p.members) {
    std::vector<QrcIntExpI*> o;
    for (size_t d = 0; d < k; ++d) o.push_back(v[next++]);
    boxes.push_back(makeBox(m, mem.size, o));
  }
  QrcConstraintI* no = nullptr;
  if (p.notOverlap) {
    no = c->getNotOverlapConstraint();
    no->setFilterLevel(notOverlapLevel);
    if (!p.notOverlapLast) m->add(no);
  }
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (!p.members[i].optional) {
      m->add(c->makeContainmentConstraint(boxes[i]));
      continue;
    }
    QroInt n = c->registerBox(boxes[i]);
    m->add((QrcIntExp(c->getActivity(n)) == QrcIntExp(v[next++])).getImpl());
  }
  if (p.edgesAsVariables)
    for (size_t i = 0; i < boxes.size(); ++i)
      for (size_t j = i + 1; j < boxes.size(); ++j) {
        QrcIntExpI* e = c->getGraph(0)->getEdge(c->registerBox(boxes[i]), c->registerBox(boxes[j]));
        m->add((QrcIntExp(e) == QrcIntExp(v[edge++])).getImpl());
      }
  for (const Relation& r : p.relations) {
    QrcBoxI *a = boxes[static_cast<size_t>(r.a)], *b = boxes[static_cast<size_t>(r.b)];
    if (r.kind == Overlap) m->add(c->makeOverlapInDimension(a, b, r.d));
    if (r.kind == NotOverlap) m->add(c->makeNotOverlapInDimension(a, b, r.d));
    if (r.kind == Precedence) m->add(c->makePrecedenceInDimension(a, b, r.d));
  }
  if (no && p.notOverlapLast) m->add(no);
}

// Reads the assignment in place (the edges, the container's origins when it
// moves, the members' origins, the optional members' activities): the
// brute force calls it for every assignment.
bool check(const Placement& p, const std::vector<int64_t>& a) {
  size_t k = dims(p), edges = edgeVariables(p), edge = 0, n = p.members.size();
  size_t origins = edges + (p.movingContainer ? k : 0), activity = origins + n * k;
  auto co = [&](size_t d) { return p.movingContainer ? a[edges + d] : 0; };
  auto x = [&](size_t i, size_t d) { return a[origins + i * k + d]; };
  auto active = [&](size_t i) {
    size_t at = activity;
    for (size_t j = 0; j < i; ++j) at += p.members[j].optional;
    return !p.members[i].optional || a[at] == 1;
  };
  auto meets = [&](size_t i, size_t j, size_t d) {
    return x(i, d) < x(j, d) + p.members[j].size[d] && x(j, d) < x(i, d) + p.members[i].size[d];
  };
  if (p.edgesAsVariables)
    for (size_t i = 0; i < n; ++i)
      for (size_t j = i + 1; j < n; ++j)
        if ((a[edge++] == 1) != meets(i, j, 0)) return false;
  for (size_t i = 0; i < n; ++i) {
    if (!active(i)) continue;
    for (size_t d = 0; d < k; ++d)
      if (x(i, d) < co(d) || x(i, d) + p.members[i].size[d] > co(d) + p.container[d]) return false;
  }
  if (p.notOverlap)
    for (size_t i = 0; i < n; ++i)
      for (size_t j = i + 1; j < n; ++j) {
        if (!active(i) || !active(j)) continue;
        bool apart = false;
        for (size_t d = 0; d < k; ++d) apart = apart || !meets(i, j, d);
        if (!apart) return false;
      }
  for (const Relation& r : p.relations) {
    size_t i = static_cast<size_t>(r.a), j = static_cast<size_t>(r.b), d = static_cast<size_t>(r.d);
    if (i == j) return r.kind == Overlap;
    if (!active(i) || !active(j)) continue;
    if (r.kind == Overlap && !meets(i, j, d)) return false;
    if (r.kind == NotOverlap && meets(i, j, d)) return false;
    if (r.kind == Precedence && x(i, d) + p.members[i].size[d] > x(j, d)) return false;
  }
  return true;
}

}  // namespace

qrotest::PropCase makeCase(const Placement& p, int boxLevel, int notOverlapLevel) {
  qrotest::PropCase c;
  c.name = p.name + " box level " + std::to_string(boxLevel) + " not-overlap level " +
           std::to_string(notOverlapLevel);
  size_t k = dims(p);
  for (size_t e = 0; e < edgeVariables(p); ++e) c.values.push_back(qrotest::range(0, 1));
  if (p.movingContainer)
    for (size_t d = 0; d < k; ++d) c.values.push_back(qrotest::range(0, 1));
  for (size_t i = 0; i < p.members.size(); ++i)
    for (size_t d = 0; d < k; ++d) c.values.push_back(qrotest::range(p.originLo, p.originHi));
  for (const Member& mem : p.members)
    if (mem.optional) c.values.push_back(qrotest::range(0, 1));
  c.post = [p, boxLevel, notOverlapLevel](QrcManagerI* m, const qrotest::Vars& v) {
    post(p, boxLevel, notOverlapLevel, m, v);
  };
  c.check = [p](const std::vector<int64_t>& a) { return check(p, a); };
  c.seed = qrotest::caseSeed(17 + static_cast<uint64_t>(boxLevel * 4 + notOverlapLevel));
  c.narrowRuns = 40;
  c.postInSearch = true;
  return c;
}

std::vector<Placement> instances() {
  std::vector<Placement> out;
  {
    Placement p;
    p.name = "1-D three in five";
    p.container = {5};
    p.members = {{{2}, false}, {{2}, false}, {{1}, true}};
    p.originLo = -1;
    p.originHi = 4;
    out.push_back(p);
  }
  {
    Placement p;
    p.name = "1-D moving container, members first";
    p.container = {4};
    p.members = {{{2}, true}, {{3}, false}, {{1}, true}};
    p.movingContainer = true;
    p.notOverlapLast = true;
    p.originLo = 0;
    p.originHi = 3;
    out.push_back(p);
  }
  {
    Placement p;
    p.name = "2-D square of three";
    p.container = {3, 3};
    p.members = {{{2, 1}, false}, {{1, 2}, false}, {{2, 2}, true}};
    p.originLo = 0;
    p.originHi = 2;
    out.push_back(p);
  }
  {
    Placement p;
    p.name = "2-D optional pair with relations";
    p.container = {4, 2};
    p.members = {{{2, 1}, true}, {{2, 2}, false}, {{1, 1}, true}};
    p.relations = {{Precedence, 2, 0, 0}, {Overlap, 1, 2, 1}};
    p.notOverlapLast = true;
    p.originLo = 0;
    p.originHi = 3;
    out.push_back(p);
  }
  {
    Placement p;
    p.name = "3-D cube";
    p.container = {2, 2, 2};
    p.members = {{{1, 1, 2}, false}, {{2, 1, 1}, false}, {{1, 2, 1}, true}};
    p.originLo = 0;
    p.originHi = 1;
    out.push_back(p);
  }
  {
    Placement p;
    p.name = "1-D pairs without not-overlap";
    p.container = {6};
    p.members = {{{2}, true}, {{3}, false}, {{2}, true}, {{1}, false}};
    p.relations = {
        {Overlap, 0, 1, 0}, {Precedence, 1, 2, 0}, {NotOverlap, 0, 3, 0}, {Precedence, 3, 0, 0}};
    p.notOverlap = false;
    p.originLo = 0;
    p.originHi = 4;
    out.push_back(p);
  }
  {
    Placement p;
    p.name = "2-D pairs without not-overlap";
    p.container = {3, 3};
    p.members = {{{1, 2}, true}, {{2, 1}, false}, {{1, 1}, true}};
    p.relations = {{NotOverlap, 0, 1, 1}, {Precedence, 2, 1, 0}, {Overlap, 2, 0, 1}};
    p.notOverlap = false;
    p.originLo = 0;
    p.originHi = 2;
    out.push_back(p);
  }
  {
    Placement p;
    p.name = "1-D five with chords and orders";
    p.container = {6};
    p.members = {{{2}, false}, {{2}, true}, {{1}, false}, {{3}, true}, {{2}, false}};
    p.relations = {{Overlap, 0, 1, 0},    {NotOverlap, 1, 2, 0}, {Overlap, 2, 3, 0},
                   {NotOverlap, 0, 3, 0}, {Precedence, 4, 0, 0}, {Overlap, 1, 3, 0}};
    p.notOverlap = false;
    p.originLo = 0;
    p.originHi = 5;
    out.push_back(p);
  }
  // Members of size 0 may share a coordinate: either order holds there.
  {
    Placement p;
    p.name = "1-D points sharing coordinates";
    p.container = {3};
    p.members = {{{0}, false}, {{0}, false}, {{0}, true}, {{2}, true}};
    p.originLo = -1;
    p.originHi = 3;
    out.push_back(p);
  }
  {
    Placement p;
    p.name = "1-D points with relations";
    p.container = {4};
    p.members = {{{0}, false}, {{0}, true}, {{2}, false}, {{0}, true}};
    // 0 and 3 both before the other: at one coordinate when both are active.
    p.relations = {
        {Precedence, 0, 1, 0}, {Overlap, 1, 2, 0}, {Precedence, 3, 0, 0}, {Precedence, 0, 3, 0}};
    p.notOverlap = false;
    p.originLo = 0;
    p.originHi = 4;
    out.push_back(p);
  }
  {
    Placement p;
    p.name = "2-D zero widths, members first";
    p.container = {2, 3};
    p.members = {{{0, 1}, false}, {{0, 2}, true}, {{2, 0}, false}};
    p.movingContainer = true;
    p.notOverlapLast = true;
    p.originLo = 0;
    p.originHi = 3;
    out.push_back(p);
  }
  // At box level 2 the pseudo origins of members not yet placed are bounded
  // by nothing but the integer range, and decided edges may close a cycle of
  // pseudo orders: a member of size 1 meeting two members apart.
  {
    Placement p;
    p.name = "1-D decided edges of members not placed";
    p.container = {5};
    p.members = {{{2}, true}, {{2}, true}, {{1}, true}, {{0}, true}};
    p.edgesAsVariables = true;
    p.originLo = 0;
    p.originHi = 3;
    out.push_back(p);
  }
  return out;
}

// ---------------------------------------------------------------- line

Line::Line(QroInt S, const std::vector<QroInt>& sizes, int boxLevel, QroInt lo, QroInt hi,
           bool edit)
    : mgr(edit ? QrcEdit : QrcNoEdit), m(mgr.getImpl()) {
  m->useExceptions(true);
  if (hi < lo) hi = S;
  QrcManager M(m);
  QrcIntVarArray co(M, 1, 0, 0);
  container = QrcBox(1, co, QrcIntArray(M, 1, &S)).getImpl();
  container->setFilterLevel(boxLevel);
  for (QroInt s : sizes) {
    QroInt size = s;
    boxes.push_back(QrcBox(1, QrcIntVarArray(M, 1, lo, hi), QrcIntArray(M, 1, &size)).getImpl());
  }
}

Line::~Line() {
  mgr.end();
}

void Line::registerAll() {
  for (QrcBoxI* b : boxes) container->registerBox(b);
}

void Line::overlap(int a, int b) const {
  m->add(container->makeOverlapInDimension(boxes[static_cast<size_t>(a)],
                                           boxes[static_cast<size_t>(b)], 0));
}
void Line::disjoint(int a, int b) const {
  m->add(container->makeNotOverlapInDimension(boxes[static_cast<size_t>(a)],
                                              boxes[static_cast<size_t>(b)], 0));
}
void Line::before(int a, int b) const {
  m->add(container->makePrecedenceInDimension(boxes[static_cast<size_t>(a)],
                                              boxes[static_cast<size_t>(b)], 0));
}

}  // namespace placementtest
