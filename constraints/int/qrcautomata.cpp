// The creation functions of the regular constraint and of the constraints
// compiled into one: stretch lengths and forbidden patterns of stretches.
#include <algorithm>
#include <vector>

#include "qrcerror.h"
#include "qrcmanager.h"
#include "qrcoperands.h"
#include "qrcregular.h"

namespace {

QrcManagerI* managerOf(const char* place, const QrcIntVarArray& x, const QrcIntArray& a,
                       const QrcIntArray& b) {
  QrcManagerI* m = x.getImpl() ? x.getImpl()->getManager() : nullptr;
  if (!m) m = a.getManager();
  if (!m) m = b.getManager();
  if (!m) QrcFatalError(QrcEmptyHandleError, "empty handle", place);
  return m;
}

QrcInt largestMax(const QrcIntVarArray& x) {
  QrcInt best = -1;
  for (QrcInt i = 0; i < x.getSize(); ++i) {
    QrcInt v = x.getImpl()->getVar(i)->getMax();
    if (i == 0 || v > best) best = v;
  }
  return best;
}

// A regular constraint with zero costs and z = [0, 0]; the finals as given
// (none is none). With others, the last symbol stands for the other values.
QrcConstraintI* zeroCostRegular(QrcManagerI* m, const QrcIntVarArray& x, QrcInt states,
                                const std::vector<QrcInt>& T, const std::vector<QrcInt>& alphabet,
                                const std::vector<QrcInt>& finals, bool others = false) {
  QrcFloatExpI* z = QrcFloatVar(QrcManager(m), 0.0, 0.0).getImpl();
  return new (m) QrcRegularI(m, x.getImpl(), states, T.data(), static_cast<QrcInt>(alphabet.size()),
                             alphabet.data(), finals.data(), static_cast<QrcInt>(finals.size()),
                             nullptr, z, others);
}

}  // namespace

QrcConstraint QrcRegular(const QrcIntVarArray& x, QrcInt s, const QrcIntArray& T,
                         const QrcIntArray& finals, const QrcIntArray& alphabet) {
  QrcCheckOperands("QrcRegular", {x});
  QrcManagerI* m = managerOf("QrcRegular", x, T, alphabet);
  QrcErrorReporter* r = m->getErrorReporter();
  if (s < 1) r->report(QrcIncompatibleArgumentError, "QrcRegular", "Incompatible argument", s);
  // An array given empty is an empty alphabet or no final state; only a
  // missing one (an empty handle) takes the default.
  bool given = alphabet.getImpl() != nullptr;
  QrcInt symbols = alphabet.getSize();
  if (!given) {
    // 0..the largest maximum; without variables, as many as T's rows hold.
    symbols = x.getSize() > 0 ? std::max<QrcInt>(0, largestMax(x) + 1) : T.getSize() / s;
  }
  QrcInt cells;
  if (__builtin_mul_overflow(s, symbols, &cells) || T.getSize() != cells)
    r->report(QrcBadArraySizeError, "QrcRegular", "bad array size", T.getSize());
  for (QrcInt k = 0; k < T.getSize(); ++k)
    if (T[k] < -1 || T[k] >= s)
      r->report(QrcIncompatibleArgumentError, "QrcRegular", "Incompatible argument", T[k]);
  for (QrcInt k = 0; k < finals.getSize(); ++k)
    if (finals[k] < 0 || finals[k] >= s)
      r->report(QrcIncompatibleArgumentError, "QrcRegular", "Incompatible argument", finals[k]);
  std::vector<QrcInt> table(T.getImpl(), T.getImpl() + T.getSize()), alpha, fin;
  for (QrcInt j = 0; j < symbols; ++j) alpha.push_back(given ? alphabet[j] : j);
  // Without symbols no state but the initial one is reached: the others,
  // however many, take no room.
  QrcInt states = symbols > 0 ? s : 1;
  if (finals.getImpl()) {
    for (QrcInt k = 0; k < finals.getSize(); ++k)
      if (finals[k] < states) fin.push_back(finals[k]);
  } else {
    for (QrcInt q = 0; q < states; ++q) fin.push_back(q);
  }
  return zeroCostRegular(m, x, states, table, alpha, fin);
}

// ---------------------------------------------------------------- stretch

namespace {

enum StretchKind { Counted, Unbounded, Free, Forbidden };

// Per value: its kind, the shortest and longest stretch counted, and the
// state of a stretch of length 1 (states past 0 in value order).
struct StretchValues {
  std::vector<StretchKind> kind;
  std::vector<QrcInt> lo, hi, first, alphabet;
  QrcInt states = 1;
  bool anyFree = false;
};

StretchValues stretchValues(QrcInt n, QrcInt symbols, const QrcIntArray& shortest,
                            const QrcIntArray& longest, const QrcIntArray& values, bool given) {
  StretchValues v;
  v.kind.resize(static_cast<size_t>(symbols));
  v.lo.resize(static_cast<size_t>(symbols));
  v.hi.resize(static_cast<size_t>(symbols));
  v.first.resize(static_cast<size_t>(symbols));
  for (QrcInt j = 0; j < symbols; ++j) {
    size_t u = static_cast<size_t>(j);
    QrcInt a = shortest[j], b = longest[j];
    if (a > n) {
      // No stretch of n variables is that long: the value cannot occur, and
      // counting up to a would only build states no word reaches.
      v.kind[u] = Forbidden;
      v.lo[u] = 1;
      v.hi[u] = 0;
    } else if (b >= n) {
      v.kind[u] = a > 1 ? Unbounded : Free;
      v.lo[u] = v.hi[u] = a > 1 ? a : 0;
    } else {
      // A bounded value whose longest stretch is below 1 cannot occur.
      v.kind[u] = b < 1 ? Forbidden : Counted;
      v.lo[u] = a < 1 ? 1 : a;
      v.hi[u] = b < 1 ? 0 : b;
    }
    v.anyFree = v.anyFree || v.kind[u] == Free;
    v.first[u] = v.states;
    v.states += v.hi[u];
    v.alphabet.push_back(given ? values[j] : j);
  }
  return v;
}

// The transition table and the final states of the stretch automaton.
void stretchTable(const StretchValues& v, QrcInt symbols, std::vector<QrcInt>& T,
                  std::vector<QrcInt>& finals) {
  auto enter = [&](QrcInt k) {
    size_t u = static_cast<size_t>(k);
    return v.hi[u] > 0 ? v.first[u] : v.kind[u] == Free ? 0 : -1;
  };
  T.assign(static_cast<size_t>(v.states * symbols), -1);
  if (v.anyFree) finals.push_back(0);
  for (QrcInt j = 0; j < symbols; ++j) T[static_cast<size_t>(j)] = enter(j);
  for (QrcInt j = 0; j < symbols; ++j) {
    size_t u = static_cast<size_t>(j);
    for (QrcInt c = 1; c <= v.hi[u]; ++c) {
      QrcInt state = v.first[u] + c - 1;
      QrcInt* row = &T[static_cast<size_t>(state * symbols)];
      row[j] = c < v.hi[u] ? state + 1 : v.kind[u] == Unbounded ? state : -1;
      if (c < v.lo[u]) continue;
      finals.push_back(state);
      for (QrcInt k = 0; k < symbols; ++k)
        if (k != j) row[k] = enter(k);
    }
  }
}

}  // namespace

// States: 0 (the start, or after a free value) and, per value j, one state per
// length 1..hi[j] of a stretch of j that the word ends in.
QrcConstraint QrcStretch(const QrcIntVarArray& x, const QrcIntArray& shortest,
                         const QrcIntArray& longest, const QrcIntArray& values) {
  QrcCheckOperands("QrcStretch", {x});
  QrcManagerI* m = managerOf("QrcStretch", x, shortest, longest);
  QrcInt n = x.getSize();
  if (n == 0) return new (m) QrcStretchI(m, nullptr);
  // Values given empty allow no value; only a missing array takes the default.
  bool given = values.getImpl() != nullptr;
  QrcInt symbols = given ? values.getSize() : std::max<QrcInt>(0, largestMax(x) + 1);
  for (const QrcIntArray* a : {&shortest, &longest}) {
    QrcInt size = a->getSize();
    if (given ? size != symbols : size < symbols)
      m->getErrorReporter()->report(QrcBadArraySizeError, "QrcStretch", "bad array size", size);
  }
  StretchValues v = stretchValues(n, symbols, shortest, longest, values, given);
  std::vector<QrcInt> T, finals;
  stretchTable(v, symbols, T, finals);
  return new (m) QrcStretchI(m, zeroCostRegular(m, x, v.states, T, v.alphabet, finals));
}

// ---------------------------------------------------------------- pattern

namespace {

struct TrieNode {
  QrcInt value;
  QrcInt firstChild;  // a new child goes at the head
  QrcInt nextSibling;
  QrcInt number;  // state, -1 for a leaf
};

struct Trie {
  std::vector<TrieNode> nodes;
  explicit Trie(QrcInt terminator) { nodes.push_back({terminator, -1, -1, 0}); }
  QrcInt child(QrcInt node, QrcInt value) const {
    for (QrcInt c = nodes[static_cast<size_t>(node)].firstChild; c >= 0;
         c = nodes[static_cast<size_t>(c)].nextSibling)
      if (nodes[static_cast<size_t>(c)].value == value) return c;
    return -1;
  }
  void insert(const std::vector<QrcInt>& pattern) {
    QrcInt node = 0;
    for (QrcInt v : pattern) {
      QrcInt c = child(node, v);
      if (c < 0) {
        c = static_cast<QrcInt>(nodes.size());
        nodes.push_back({v, -1, nodes[static_cast<size_t>(node)].firstChild, -1});
        nodes[static_cast<size_t>(node)].firstChild = c;
      }
      node = c;
    }
  }
  // The node at the end of a path from the root, -1 when none.
  QrcInt walk(const QrcInt* path, size_t length) const {
    QrcInt node = 0;
    for (size_t k = 0; k < length && node >= 0; ++k) node = child(node, path[k]);
    return node;
  }
  bool isLeaf(QrcInt node) const { return nodes[static_cast<size_t>(node)].firstChild < 0; }
};

bool contains(const std::vector<QrcInt>& longer, const std::vector<QrcInt>& shorter) {
  return std::search(longer.begin(), longer.end(), shorter.begin(), shorter.end()) != longer.end();
}

// Each tuple's pattern: its values up to the first terminator from the second position on.
std::vector<std::vector<QrcInt>> patternsOf(QrcTupleSetI* set, QrcInt terminator) {
  std::vector<std::vector<QrcInt>> all;
  for (const QrcTupleNode* t = set->getNewest(); t; t = t->listNext) {
    std::vector<QrcInt> p;
    for (QrcInt k = 0; k < set->getArity() && (k == 0 || t->values[k] != terminator); ++k)
      p.push_back(t->values[k]);
    all.push_back(p);
  }
  return all;
}

// The alphabet: the values of the patterns that some domain holds,
// increasing. Every other value of the domains leads back to the start
// from every state, so they all share one last symbol instead of one each.
std::vector<QrcInt> patternAlphabet(const std::vector<std::vector<QrcInt>>& all,
                                    const QrcIntVarArray& x) {
  QrcInt n = x.getSize();
  std::vector<QrcInt> alphabet;
  for (const std::vector<QrcInt>& p : all) alphabet.insert(alphabet.end(), p.begin(), p.end());
  std::sort(alphabet.begin(), alphabet.end());
  alphabet.erase(std::unique(alphabet.begin(), alphabet.end()), alphabet.end());
  alphabet.erase(std::remove_if(alphabet.begin(), alphabet.end(),
                                [&](QrcInt v) {
                                  for (QrcInt i = 0; i < n; ++i)
                                    if (x.getImpl()->getVar(i)->isInDomain(v)) return false;
                                  return true;
                                }),
                 alphabet.end());
  return alphabet;
}

// The symbol of a value in the sorted alphabet, -1 when not listed.
QrcInt symbolOf(const std::vector<QrcInt>& alphabet, QrcInt v) {
  auto it = std::lower_bound(alphabet.begin(), alphabet.end(), v);
  return it != alphabet.end() && *it == v ? it - alphabet.begin() : -1;
}

// The patterns kept: not empty, of listed values, with no value repeated
// at once, and holding no shorter pattern.
void insertPatterns(Trie& trie, const std::vector<std::vector<QrcInt>>& all,
                    const std::vector<QrcInt>& alphabet) {
  for (const std::vector<QrcInt>& p : all) {
    bool skip = p.empty();
    for (size_t k = 0; k < p.size() && !skip; ++k)
      skip = symbolOf(alphabet, p[k]) < 0 || (k > 0 && p[k] == p[k - 1]);
    for (const std::vector<QrcInt>& other : all)
      if (!skip && other.size() < p.size() && !other.empty()) skip = contains(p, other);
    if (!skip) trie.insert(p);
  }
}

// Numbers the nodes with children, depth first, and keeps the path of each;
// returns the number of states.
QrcInt numberStates(Trie& trie, std::vector<std::vector<QrcInt>>& paths,
                    std::vector<QrcInt>& order) {
  QrcInt states = 0;
  paths.resize(trie.nodes.size());
  std::vector<QrcInt> stack = {0};
  while (!stack.empty()) {
    QrcInt node = stack.back();
    stack.pop_back();
    if (trie.isLeaf(node)) continue;
    trie.nodes[static_cast<size_t>(node)].number = states++;
    order.push_back(node);
    std::vector<QrcInt> children;
    for (QrcInt c = trie.nodes[static_cast<size_t>(node)].firstChild; c >= 0;
         c = trie.nodes[static_cast<size_t>(c)].nextSibling) {
      children.push_back(c);
      paths[static_cast<size_t>(c)] = paths[static_cast<size_t>(node)];
      paths[static_cast<size_t>(c)].push_back(trie.nodes[static_cast<size_t>(c)].value);
    }
    for (size_t k = children.size(); k-- > 0;) stack.push_back(children[k]);
  }
  return states;
}

// The transition table over the listed symbols and the last one, which
// stands for the other values.
std::vector<QrcInt> patternTable(const Trie& trie, const std::vector<QrcInt>& order,
                                 const std::vector<std::vector<QrcInt>>& paths,
                                 const std::vector<QrcInt>& alphabet, QrcInt states) {
  QrcInt listed = static_cast<QrcInt>(alphabet.size());
  QrcInt symbols = listed + 1;
  const QrcInt Unset = -2;
  std::vector<QrcInt> T(static_cast<size_t>(states * symbols), Unset);
  auto stateOf = [&](QrcInt node) {
    return trie.isLeaf(node) ? -1 : trie.nodes[static_cast<size_t>(node)].number;
  };
  for (QrcInt node : order) {
    const TrieNode& q = trie.nodes[static_cast<size_t>(node)];
    QrcInt* row = &T[static_cast<size_t>(q.number * symbols)];
    // A repeated value stays in its stretch.
    if (node != 0) row[symbolOf(alphabet, q.value)] = q.number;
    for (QrcInt c = q.firstChild; c >= 0; c = trie.nodes[static_cast<size_t>(c)].nextSibling)
      row[symbolOf(alphabet, trie.nodes[static_cast<size_t>(c)].value)] = stateOf(c);
    const std::vector<QrcInt>& p = paths[static_cast<size_t>(node)];
    row[listed] = 0;  // the other values
    for (QrcInt j = 0; j < listed; ++j) {
      if (row[j] != Unset) continue;
      row[j] = 0;
      // The longest proper suffix of the path that, followed by the value, is
      // a path from the root; the empty suffix last.
      for (size_t from = 1; node != 0 && from <= p.size(); ++from) {
        std::vector<QrcInt> path(p.begin() + static_cast<long>(from), p.end());
        path.push_back(alphabet[static_cast<size_t>(j)]);
        QrcInt f = trie.walk(path.data(), path.size());
        if (f < 0) continue;
        row[j] = stateOf(f);
        break;
      }
    }
  }
  return T;
}

}  // namespace

QrcConstraint QrcPattern(const QrcIntVarArray& x, const QrcTupleSet& patterns, QrcInt terminator) {
  QrcCheckOperands("QrcPattern", {x});
  QrcTupleSetI* set = patterns.getImpl();
  if (!set) QrcFatalError(QrcEmptyHandleError, "empty handle", "QrcPattern");
  QrcManagerI* m = x.getImpl() ? x.getImpl()->getManager() : set->getManager();
  if (!set->isClosed())
    m->getErrorReporter()->report(QrcTupleSetNotClosedError, "QrcPattern",
                                  "the tuple set is not closed");
  QrcInt n = x.getSize();
  if (n == 0) return new (m) QrcPatternI(m, nullptr);
  std::vector<std::vector<QrcInt>> all = patternsOf(set, terminator);
  std::vector<QrcInt> alphabet = patternAlphabet(all, x);
  Trie trie(terminator);
  insertPatterns(trie, all, alphabet);
  if (trie.isLeaf(0)) return new (m) QrcPatternI(m, nullptr);

  std::vector<std::vector<QrcInt>> paths;
  std::vector<QrcInt> order;
  QrcInt states = numberStates(trie, paths, order);
  std::vector<QrcInt> T = patternTable(trie, order, paths, alphabet, states);
  std::vector<QrcInt> finals;
  for (QrcInt q = 0; q < states; ++q) finals.push_back(q);
  alphabet.push_back(0);  // the other values' symbol: its entry is not read
  return new (m) QrcPatternI(m, zeroCostRegular(m, x, states, T, alphabet, finals, true));
}
