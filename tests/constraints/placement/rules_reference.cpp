#include "rules_reference.h"

#include <algorithm>

namespace placementtest {

GraphView::GraphView(QrcIntervalGraphI* g) : n(static_cast<int>(g->getVertexCount())) {
  size_t cells = static_cast<size_t>(n * n);
  st.assign(cells, -1);
  e.assign(cells, -1);
  r.assign(cells, -1);
  for (int x = 0; x < n; ++x)
    for (int y = 0; y < n; ++y) {
      if (x == y) continue;
      size_t k = static_cast<size_t>(x * n + y);
      st[k] = static_cast<int>(g->state(x, y));
      QrcIntExpI *ev = g->getEdge(x, y), *rv = g->getOrientation(x, y);
      if (ev->isBound()) e[k] = static_cast<int>(ev->getValue());
      if (rv->isBound()) r[k] = static_cast<int>(rv->getValue());
    }
}

// x before y forces c before y for c overlapping x and disjoint from y, and
// x before c for c overlapping y and disjoint from x.
ImplicationClass implicationClass(const GraphView& v, int x, int y) {
  ImplicationClass cls = {{x, y}};
  std::vector<Arc> todo = {{x, y}};
  while (!todo.empty()) {
    Arc a = todo.back();
    todo.pop_back();
    for (int c = 0; c < v.n; ++c) {
      Arc next[2] = {{-1, -1}, {-1, -1}};
      if (c != a.second && v.state(a.first, c) == 1 && v.state(a.second, c) == 0)
        next[0] = {c, a.second};
      if (c != a.first && v.state(a.second, c) == 1 && v.state(a.first, c) == 0)
        next[1] = {a.first, c};
      for (const Arc& arc : next)
        if (arc.first >= 0 && cls.insert(arc).second) todo.push_back(arc);
    }
  }
  return cls;
}

namespace {

Arc key(int x, int y) {
  return {std::min(x, y), std::max(x, y)};
}

// The undecided pairs the class orders, each in the order it implies: c
// before y for c overlapping x, and x before c for c overlapping y.
std::set<Arc> tentativeOrders(const GraphView& v, const ImplicationClass& cls) {
  std::set<Arc> t;
  for (const Arc& a : cls)
    for (int c = 0; c < v.n; ++c) {
      if (c != a.second && v.state(a.first, c) == 1 && v.state(a.second, c) == 2)
        t.insert({c, a.second});
      if (c != a.first && v.state(a.second, c) == 1 && v.state(a.first, c) == 2)
        t.insert({a.first, c});
    }
  return t;
}

// Conflicts (kind 0), undecided pairs on a path (1), undecided pairs ordered
// both ways (2).
void classFindings(const GraphView& v, const ImplicationClass& cls, std::vector<Arc> found[3]) {
  for (const Arc& a : cls) {
    if (cls.count({a.second, a.first})) found[0].push_back(a);
    for (const Arc& b : cls)
      if (b.first == a.second && b.second != a.first && v.state(a.first, b.second) == 2)
        found[1].push_back({a.first, b.second});
  }
  std::set<Arc> t = tentativeOrders(v, cls);
  for (const Arc& a : t)
    if (t.count({a.second, a.first})) found[2].push_back(a);
}

void applyClass(Expected& out, const ImplicationClass& cls) {
  std::vector<Arc> found[3];
  classFindings(out.v, cls, found);
  if (!found[0].empty()) out.fail = true;
  for (const Arc& a : found[1]) out.bindEdge(a.first, a.second, 0);
  for (const Arc& a : found[2]) out.bindEdge(a.first, a.second, 1);
}

// The orientation value of a pair as it stands during the entry: bound
// before it, or by it.
int orientNow(const Expected& out, int x, int y) {
  int value = out.v.orient(x, y);
  auto it = out.orients.find(key(x, y));
  return value >= 0 || it == out.orients.end() ? value : it->second;
}

bool dirNow(const Expected& out, int x, int y) {
  return orientNow(out, x, y) == (x < y ? 1 : 0);
}

bool bound(const Expected& out, int x, int y) {
  return orientNow(out, x, y) >= 0;
}

}  // namespace

void Expected::bindEdge(int x, int y, int value) {
  Arc k = key(x, y);
  int now = v.edge(x, y);
  auto it = edges.find(k);
  if ((now >= 0 && now != value) || (it != edges.end() && it->second != value)) fail = true;
  edges[k] = value;
}

void Expected::bindOrient(int x, int y, int value) {
  Arc k = key(x, y);
  int now = v.orient(x, y);
  auto it = orients.find(k);
  if ((now >= 0 && now != value) || (it != orients.end() && it->second != value)) fail = true;
  orients[k] = value;
}

void Expected::enforce(int x, int y, bool before) {
  if (!bound(*this, x, y))
    makeDir(x, y, before);
  else if (dirNow(*this, x, y) != before)
    bindEdge(x, y, 1);
}

// kind 1: c-a-b-d is an induced path, so c and d are apart, and a-b-e-c would
// be a chordless 4-cycle, so a and e overlap. kind 0: two common neighbours
// of a disjoint pair overlap, and a neighbour e of b apart from a common
// neighbour c is apart from a.
void refChordRules(Expected& out, int a, int b, int kind) {
  const GraphView& v = out.v;
  int other = 1 - kind;
  for (int c = 0; c < v.n; ++c) {
    if (c == a || c == b || v.state(a, c) != 1 || v.state(b, c) != other) continue;
    for (int d = 0; d < v.n; ++d)
      if (d != a && d != b && v.state(b, d) == 1 && v.state(a, d) == other && (kind == 1 || c < d))
        out.bindEdge(c, d, other);
  }
  for (int pass = 0; pass < 2; ++pass) {
    int x = pass ? b : a, y = pass ? a : b;
    for (int c = 0; c < v.n; ++c) {
      if (c == x || c == y || v.state(x, c) != 1 || v.state(y, c) != other) continue;
      for (int e = 0; e < v.n; ++e)
        if (e != y && e != c && e != x && v.state(y, e) == 1 && v.state(c, e) == kind)
          out.bindEdge(x, e, kind);
    }
  }
}

void refClassRulesDisjoint(Expected& out, int a, int b) {
  applyClass(out, implicationClass(out.v, a, b));
}

// The classes of a's disjoint pairs that b meets or may meet, and of b's that
// a may meet, each once.
void refClassRulesOverlap(Expected& out, int a, int b) {
  const GraphView& v = out.v;
  std::set<Arc> seen;
  for (int pass = 1; pass <= 3; ++pass) {
    int x = pass == 3 ? b : a, y = pass == 3 ? a : b, wanted = pass == 1 ? 0 : 2;
    for (int c = 0; c < v.n; ++c) {
      if (c == x || c == y || v.state(x, c) != 0 || v.state(y, c) != wanted) continue;
      if (seen.count({x, c})) continue;
      ImplicationClass cls = implicationClass(v, x, c);
      for (const Arc& arc : cls) {
        seen.insert(arc);
        seen.insert({arc.second, arc.first});
      }
      applyClass(out, cls);
    }
  }
}

// With (a, b) disjoint and its order bound: overlapping intervals share the
// order, and the order is transitive.
void refPushOrientation(Expected& out, int a, int b) {
  const GraphView& v = out.v;
  for (int pass = 1; pass <= 4; ++pass) {
    bool fromA = pass % 2 == 1;
    int x = fromA ? a : b, y = fromA ? b : a, wanted = pass <= 2 ? 0 : 2;
    for (int c = 0; c < v.n; ++c) {
      if (c == x || c == y || v.state(x, c) != 1 || v.state(y, c) != wanted) continue;
      if (fromA)
        out.enforce(c, b, dirNow(out, a, b));
      else
        out.enforce(a, c, dirNow(out, a, b));
    }
  }
  for (int c = 0; c < v.n; ++c) {
    if (c == a || c == b || v.state(a, c) != 0 || v.state(b, c) != 0) continue;
    bool d = dirNow(out, a, b);
    if (!bound(out, a, c)) {
      if (bound(out, b, c) && dirNow(out, b, c) == d) out.makeDir(a, c, d);
    } else if (dirNow(out, c, a) == d) {
      out.enforce(c, b, d);
    }
  }
}

void refOrientationRulesDisjoint(Expected& out, int a, int b) {
  if (bound(out, a, b)) {
    refPushOrientation(out, a, b);
    return;
  }
  const GraphView& v = out.v;
  for (int c = 0; c < v.n; ++c) {
    if (c == a || c == b) continue;
    if (v.state(a, c) == 1 && v.state(b, c) == 0 && bound(out, c, b))
      out.enforce(a, b, dirNow(out, c, b));
  }
  for (int c = 0; c < v.n; ++c) {
    if (c == a || c == b) continue;
    if (v.state(b, c) == 1 && v.state(a, c) == 0 && bound(out, a, c))
      out.enforce(a, b, dirNow(out, a, c));
  }
  for (int c = 0; c < v.n; ++c) {
    if (c == a || c == b || v.state(a, c) != 0 || v.state(b, c) != 0) continue;
    if (bound(out, a, c) && bound(out, c, b) && dirNow(out, a, c) == dirNow(out, c, b))
      out.enforce(a, b, dirNow(out, a, c));
  }
}

// With a and b overlapping, an interval disjoint from both lies on the same
// side of both.
void refOrientationRulesOverlap(Expected& out, int a, int b) {
  const GraphView& v = out.v;
  for (int c = 0; c < v.n; ++c) {
    if (c == a || c == b || v.state(a, c) != 0 || v.state(b, c) != 0) continue;
    if (bound(out, a, c))
      out.enforce(b, c, dirNow(out, a, c));
    else if (bound(out, b, c))
      out.enforce(a, c, dirNow(out, b, c));
  }
  for (int pass = 0; pass < 2; ++pass) {
    int x = pass ? b : a, y = pass ? a : b;
    for (int c = 0; c < v.n; ++c)
      if (c != x && c != y && v.state(x, c) == 2 && v.state(y, c) == 0 && bound(out, y, c))
        out.enforce(x, c, dirNow(out, y, c));
  }
}

std::vector<Arc> classDefects(const GraphView& v, const ImplicationClass& c) {
  std::vector<Arc> found[3];
  classFindings(v, c, found);
  std::vector<Arc> all;
  for (const auto& f : found) all.insert(all.end(), f.begin(), f.end());
  return all;
}

std::string indexDefect(QrcIntervalGraphI* g, bool settled) {
  GraphView v(g);
  auto at = [](int x, int y) { return " (" + std::to_string(x) + ", " + std::to_string(y) + ")"; };
  for (int x = 0; x < v.n; ++x)
    for (int y = 0; y < v.n; ++y) {
      if (x == y) continue;
      for (int kind = 0; kind < 2; ++kind)
        if (QrcIntervalGraphI::hasBit(g->stateBits(kind, x), y) != (v.state(x, y) == kind))
          return "state bit" + at(x, y);
      // y known to lie before x (set 2) or after it (set 3): a bound order;
      // once the demons have run, every bound order of a pair that does not
      // overlap.
      for (int set = 2; set < 4; ++set) {
        bool bit = QrcIntervalGraphI::hasBit(g->stateBits(set, x), y);
        bool order = v.orient(x, y) >= 0 && v.dir(y, x) == (set == 2);
        if (bit ? !order : settled && order && v.state(x, y) != 1) return "order bit" + at(x, y);
      }
      if (x > y || v.state(x, y) != 2) continue;
      // Witnesses (c, y) with c overlapping x, and (c, x) with c overlapping y.
      QroInt first = 0, second = 0;
      for (int c = 0; c < v.n; ++c) {
        if (v.state(x, c) == 1 && v.state(c, y) == 0) ++(g->referenceBefore(c, y) ? first : second);
        if (v.state(y, c) == 1 && v.state(c, x) == 0) ++(g->referenceBefore(x, c) ? first : second);
      }
      if (g->witnessVotes(x, y, true) != first || g->witnessVotes(x, y, false) != second)
        return "witness votes" + at(x, y);
    }
  return "";
}

}  // namespace placementtest
