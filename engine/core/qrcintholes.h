// The holes of a wide integer domain: its removed intervals, disjoint and
// never adjacent, in a treap ordered by their first value. Each node also
// counts the values removed in its subtree, so counting the members of a
// range costs the depth of the tree, not the range.
//
// The tree is persistent: a change copies the nodes on its path onto the
// manager's heap and leaves the older tree intact for the trail to restore
// (the owner saves its root once per choice point). A node made since the
// latest choice point is reachable from no saved root and is changed in place.
// Backtracking gives the copies back with the heap.
#ifndef QRC_INTHOLES_H
#define QRC_INTHOLES_H

#include "qrctypes.h"

class QrcManagerI;

struct QrcIntHole {
  QrcInt lo;
  QrcInt hi;
  QrcInt removed;  // values removed in this subtree
  QrcInt stamp;    // the choice-point stamp the node was made at
  QrcUInt priority;
  QrcIntHole* left;
  QrcIntHole* right;
};

namespace qrcholes {

// The hole holding v, null when v is not removed.
const QrcIntHole* find(const QrcIntHole* t, QrcInt v);
// The first hole starting above v, null when none.
const QrcIntHole* firstAbove(const QrcIntHole* t, QrcInt v);
// The last hole ending below v, null when none.
const QrcIntHole* lastBelow(const QrcIntHole* t, QrcInt v);
// The number of removed values in [a, b].
QrcInt removedIn(const QrcIntHole* t, QrcInt a, QrcInt b);
// The smallest value >= v in no hole (v itself when v is in none).
inline QrcInt memberFrom(const QrcIntHole* t, QrcInt v) {
  const QrcIntHole* h = find(t, v);
  return h ? h->hi + 1 : v;
}
// The largest value <= v in no hole.
inline QrcInt memberUpTo(const QrcIntHole* t, QrcInt v) {
  const QrcIntHole* h = find(t, v);
  return h ? h->lo - 1 : v;
}
// The root once [a, b] is removed too (merged with the holes it meets).
QrcIntHole* insert(QrcManagerI* m, QrcIntHole* t, QrcInt a, QrcInt b);
// The root once v is no longer removed.
QrcIntHole* erase(QrcManagerI* m, QrcIntHole* t, QrcInt v);
// A copy of the tree on another manager's heap.
QrcIntHole* copy(QrcManagerI* target, const QrcIntHole* t);

}  // namespace qrcholes

#endif
