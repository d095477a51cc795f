#include "qrcintholes.h"

#include "qrcmanager.h"

namespace qrcholes {

namespace {

// Heap order from the first value, so that the same holes make the same tree.
QrcUInt priorityOf(QrcInt lo) {
  QrcUInt z = static_cast<QrcUInt>(lo) + 0x9e3779b97f4a7c15ull;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

QrcInt removedOf(const QrcIntHole* t) {
  return t ? t->removed : 0;
}

void update(QrcIntHole* t) {
  t->removed = removedOf(t->left) + (t->hi - t->lo + 1) + removedOf(t->right);
}

QrcIntHole* make(QrcManagerI* m, QrcInt lo, QrcInt hi) {
  QrcIntHole* t = static_cast<QrcIntHole*>(m->allocate(sizeof(QrcIntHole)));
  t->lo = lo;
  t->hi = hi;
  t->removed = hi - lo + 1;
  t->stamp = m->getStamp();
  t->priority = priorityOf(lo);
  t->left = nullptr;
  t->right = nullptr;
  return t;
}

// The node itself when made since the latest choice point, else a copy.
QrcIntHole* own(QrcManagerI* m, QrcIntHole* t) {
  if (t->stamp == m->getStamp()) return t;
  QrcIntHole* c = static_cast<QrcIntHole*>(m->allocate(sizeof(QrcIntHole)));
  *c = *t;
  c->stamp = m->getStamp();
  return c;
}

// Splits t into the holes starting below key and the others.
void split(QrcManagerI* m, QrcIntHole* t, QrcInt key, QrcIntHole*& below, QrcIntHole*& rest) {
  if (!t) {
    below = rest = nullptr;
    return;
  }
  QrcIntHole* c = own(m, t);
  if (c->lo < key) {
    split(m, c->right, key, c->right, rest);
    below = c;
  } else {
    split(m, c->left, key, below, c->left);
    rest = c;
  }
  update(c);
}

// Every hole of a starts below every hole of b.
QrcIntHole* merge(QrcManagerI* m, QrcIntHole* a, QrcIntHole* b) {
  if (!a) return b;
  if (!b) return a;
  if (a->priority > b->priority) {
    QrcIntHole* c = own(m, a);
    c->right = merge(m, c->right, b);
    update(c);
    return c;
  }
  QrcIntHole* c = own(m, b);
  c->left = merge(m, a, c->left);
  update(c);
  return c;
}

// Takes the last hole out of t into last.
QrcIntHole* takeLast(QrcManagerI* m, QrcIntHole* t, QrcInt& lo, QrcInt& hi) {
  QrcIntHole* c = own(m, t);
  if (!c->right) {
    lo = c->lo;
    hi = c->hi;
    return c->left;
  }
  c->right = takeLast(m, c->right, lo, hi);
  update(c);
  return c;
}

const QrcIntHole* lastOf(const QrcIntHole* t) {
  while (t && t->right) t = t->right;
  return t;
}

// The removed values <= v.
QrcInt removedUpTo(const QrcIntHole* t, QrcInt v) {
  QrcInt n = 0;
  while (t) {
    if (v < t->lo) {
      t = t->left;
    } else if (v >= t->hi) {
      n += removedOf(t->left) + (t->hi - t->lo + 1);
      t = t->right;
    } else {
      return n + removedOf(t->left) + (v - t->lo + 1);
    }
  }
  return n;
}

}  // namespace

const QrcIntHole* find(const QrcIntHole* t, QrcInt v) {
  while (t) {
    if (v < t->lo)
      t = t->left;
    else if (v > t->hi)
      t = t->right;
    else
      return t;
  }
  return nullptr;
}

const QrcIntHole* firstAbove(const QrcIntHole* t, QrcInt v) {
  const QrcIntHole* best = nullptr;
  while (t) {
    if (t->lo > v) {
      best = t;
      t = t->left;
    } else {
      t = t->right;
    }
  }
  return best;
}

const QrcIntHole* lastBelow(const QrcIntHole* t, QrcInt v) {
  const QrcIntHole* best = nullptr;
  while (t) {
    if (t->hi < v) {
      best = t;
      t = t->right;
    } else {
      t = t->left;
    }
  }
  return best;
}

QrcInt removedIn(const QrcIntHole* t, QrcInt a, QrcInt b) {
  if (a > b || !t) return 0;
  return removedUpTo(t, b) - removedUpTo(t, a - 1);
}

QrcIntHole* insert(QrcManagerI* m, QrcIntHole* t, QrcInt a, QrcInt b) {
  QrcIntHole *below, *rest, *inside, *above;
  split(m, t, a, below, rest);
  QrcInt lo = a, hi = b;
  const QrcIntHole* last = lastOf(below);
  if (last && last->hi >= a - 1) {
    QrcInt llo, lhi;
    below = takeLast(m, below, llo, lhi);
    lo = llo;
    if (lhi > hi) hi = lhi;
  }
  // The holes starting in [a, b + 1] join the new one.
  split(m, rest, b + 2, inside, above);
  last = lastOf(inside);
  if (last && last->hi > hi) hi = last->hi;
  return merge(m, merge(m, below, make(m, lo, hi)), above);
}

QrcIntHole* erase(QrcManagerI* m, QrcIntHole* t, QrcInt v) {
  const QrcIntHole* h = find(t, v);
  if (!h) return t;
  QrcInt lo = h->lo, hi = h->hi;
  QrcIntHole *below, *rest, *hole, *above;
  split(m, t, lo, below, rest);
  split(m, rest, lo + 1, hole, above);
  if (lo < v) below = merge(m, below, make(m, lo, v - 1));
  if (v < hi) above = merge(m, make(m, v + 1, hi), above);
  return merge(m, below, above);
}

QrcIntHole* copy(QrcManagerI* target, const QrcIntHole* t) {
  if (!t) return nullptr;
  QrcIntHole* c = static_cast<QrcIntHole*>(target->allocate(sizeof(QrcIntHole)));
  *c = *t;
  c->stamp = target->getStamp();
  c->left = copy(target, t->left);
  c->right = copy(target, t->right);
  return c;
}

}  // namespace qrcholes
