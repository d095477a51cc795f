#include "qrcpairclasses.h"

#include <cmath>

QrcPairClassesI::QrcPairClassesI(QrcManagerI* m)
    : _manager(m),
      _words(m->getGeneralAllocator()),
      _next(m->getGeneralAllocator()),
      _votes(m->getGeneralAllocator()) {}

void QrcPairClassesI::pairOf(QroInt p, QroInt& i, QroInt& j) {
  QroInt k = static_cast<QroInt>((1.0 + std::sqrt(1.0 + 8.0 * static_cast<double>(p))) / 2.0);
  while (k * (k - 1) / 2 > p) --k;
  while ((k + 1) * k / 2 <= p) ++k;
  j = k;
  i = p - k * (k - 1) / 2;
}

void QrcPairClassesI::addVertex(QroInt n) {
  for (QroInt k = 0; k < n; ++k) {
    _words.add(0);
    _next.add(0);
    _votes.add(0);
    _votes.add(-1);
  }
}

void QrcPairClassesI::write(QroInt p, QroInt word) {
  QroInt& w = _words[p];
  if (w == word) return;
  _manager->saveValue(&w);
  w = word;
}

void QrcPairClassesI::makeSingleton(QroInt p) {
  write(p, (QroInt(1) << Shift) | Root);
  QroInt& next = _next[p];
  if (next == p) return;
  _manager->saveValue(&next);
  next = p;
}

QroInt QrcPairClassesI::find(QroInt p, QroInt& parity) const {
  QroInt par = 0;
  QroInt w = _words[p];
  while (!(w & Root)) {
    par ^= w & Parity;
    p = w >> Shift;
    w = _words[p];
  }
  parity = par;
  return p;
}

QroInt QrcPairClassesI::unite(QroInt p, QroInt q, QroInt rel, QroInt& into) {
  QroInt pp, pq;
  QroInt rp = find(p, pp), rq = find(q, pq);
  if (rp == rq) {
    if ((pp ^ pq) != rel) write(rp, _words[rp] | Conflict);
    into = rp;
    return -1;
  }
  QroInt wp = _words[rp], wq = _words[rq];
  if ((wp >> Shift) > (wq >> Shift)) {
    QroInt t = rp;
    rp = rq;
    rq = t;
    t = wp;
    wp = wq;
    wq = t;
  }
  QroInt size = (wp >> Shift) + (wq >> Shift);
  write(rq, (size << Shift) | (wq & (Root | Conflict | Pending)) | (wp & (Conflict | Pending)));
  write(rp, (rq << Shift) | (pp ^ pq ^ rel));
  into = rq;
  return rp;
}

void QrcPairClassesI::splice(QroInt absorbed, QroInt into) {
  QroInt a = _next[absorbed], b = _next[into];
  _manager->saveValue(&_next[absorbed]);
  _next[absorbed] = b;
  _manager->saveValue(&_next[into]);
  _next[into] = a;
}

void QrcPairClassesI::setPending(QroInt root, bool on) {
  QroInt w = _words[root];
  write(root, on ? (w | Pending) : (w & ~QroInt(Pending)));
}

QroInt& QrcPairClassesI::votesToChange(QroInt p) {
  QroInt& stamp = _votes[2 * p + 1];
  QroInt& votes = _votes[2 * p];
  if (stamp != _manager->getStamp()) {
    _manager->saveValue(&votes);
    stamp = _manager->getStamp();
  }
  return votes;
}

void QrcPairClassesI::addVote(QroInt p, bool lowFirst) {
  votesToChange(p) += lowFirst ? 1 : (QroInt(1) << VoteShift);
}

void QrcPairClassesI::moveVote(QroInt p, bool lowFirst) {
  QroInt one = QroInt(1) << VoteShift;
  votesToChange(p) += lowFirst ? 1 - one : one - 1;
}

void QrcPairClassesI::release() {
  _words.release();
  _next.release();
  _votes.release();
}
