// Implication classes of the disjoint pairs of an interval graph, kept along
// a branch: a union-find over the pairs (pair i < j has number j(j-1)/2 + i)
// whose words are saved on the trail before each change. Each pair keeps the
// parity of its orientation relative to its parent, so a class carries a
// reference orientation; a root keeps the class size, a conflict flag (the
// class holds both directions of one pair) and a pending flag (a merge or a
// new overlap may have given the class's exploration something to bind). The
// members of a class form a ring, spliced on each merge. Links are not
// compressed: union by size keeps every path within log2 of the class size.
//
// Each pair also keeps two counts of witness votes: were it disjoint, how
// many disjoint pairs would order it lower vertex first, and how many the
// other way, each in the reference orientation of its own class. The counts
// are saved on the trail at most once per choice point.
#ifndef QRC_PAIRCLASSES_H
#define QRC_PAIRCLASSES_H

#include "qrcgenalloc.h"
#include "qrcmanager.h"
#include "qrodoublingarray.h"

class QrcPairClassesI {
 public:
  explicit QrcPairClassesI(QrcManagerI* manager);

  static QroInt index(QroInt i, QroInt j) {
    return i < j ? j * (j - 1) / 2 + i : i * (i - 1) / 2 + j;
  }
  // The vertices i < j of pair p.
  static void pairOf(QroInt p, QroInt& i, QroInt& j);
  // Room for the pairs of vertex n with the vertices before it.
  void addVertex(QroInt n);
  // The pair becomes a class of its own.
  void makeSingleton(QroInt p);
  // The root of p's class; parity receives the parity of p to the root.
  QroInt find(QroInt p, QroInt& parity) const;
  // Joins the classes of p and q so that the parities of p and q differ by
  // rel. Gives the root of the smaller class, absorbed but its ring not yet
  // spliced (walk it with getNext, then call splice), or -1 when p and q were
  // in one class already (a disagreeing rel then marks it conflicting).
  QroInt unite(QroInt p, QroInt q, QroInt rel, QroInt& into);
  void splice(QroInt absorbed, QroInt into);
  QroInt getNext(QroInt p) const { return _next[p]; }
  QroInt getSize(QroInt root) const { return _words[root] >> Shift; }
  bool isConflicting(QroInt root) const { return (_words[root] & Conflict) != 0; }
  bool isPending(QroInt root) const { return (_words[root] & Pending) != 0; }
  void setPending(QroInt root, bool on);
  QroInt getVotes(QroInt p, bool lowFirst) const {
    return lowFirst ? (_votes[2 * p] & VoteMask) : (_votes[2 * p] >> VoteShift);
  }
  void addVote(QroInt p, bool lowFirst);
  // One vote of p changes sides, to lowFirst.
  void moveVote(QroInt p, bool lowFirst);
  void release();

 private:
  enum : QroInt { Parity = 1, Root = 2, Conflict = 4, Pending = 8, Shift = 8 };
  enum : QroInt { VoteShift = 32, VoteMask = (QroInt(1) << 32) - 1 };
  void write(QroInt p, QroInt word);
  // The votes word of p, saved first unless saved at this choice point.
  QroInt& votesToChange(QroInt p);

  QrcManagerI* _manager;
  QroDoublingArray<QroInt> _words;
  QroDoublingArray<QroInt> _next;
  // Per pair: the votes word, then the stamp at which it was last saved.
  QroDoublingArray<QroInt> _votes;
};

#endif
