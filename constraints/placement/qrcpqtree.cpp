#include "qrcpqtree.h"

#include "qrcmanager.h"

namespace {

char label(const QrcPQNodeI* c) {
  if (c->fullCount == 0) return 'E';
  return c->fullCount == c->leafCount ? 'F' : 'P';
}

}  // namespace

// ---------------------------------------------------------------- nodes

void QrcPQNodeI::clear() {
  childHead = childTail = next = prev = cursor = nullptr;
  kind = PNode;
  value = 0;
  fullCount = leafCount = 0;
}

void QrcPQNodeI::append(QrcPQNodeI* child) {
  insertBefore(child, nullptr);
}

void QrcPQNodeI::insertBefore(QrcPQNodeI* child, QrcPQNodeI* at) {
  child->next = at;
  child->prev = at ? at->prev : childTail;
  if (child->prev)
    child->prev->next = child;
  else
    childHead = child;
  if (at)
    at->prev = child;
  else
    childTail = child;
}

void QrcPQNodeI::unlink(QrcPQNodeI* child) {
  if (child->prev)
    child->prev->next = child->next;
  else
    childHead = child->next;
  if (child->next)
    child->next->prev = child->prev;
  else
    childTail = child->prev;
  child->next = child->prev = nullptr;
}

void QrcPQNodeI::reverseChildren() {
  QrcPQNodeI* c = childHead;
  while (c) {
    QrcPQNodeI* n = c->next;
    c->next = c->prev;
    c->prev = n;
    c = n;
  }
  QrcPQNodeI* h = childHead;
  childHead = childTail;
  childTail = h;
}

// ---------------------------------------------------------------- tree

QrcPQTreeI::QrcPQTreeI(QrcManagerI* manager)
    : _manager(manager), _pool(manager, 20), _root(nullptr), _rowHits() {}

void QrcPQTreeI::addNodes(QroInt n) {
  QroInt count = _pool.getSize();
  if (n >= 0)
    for (QroInt i = 0; i < count; ++i) getNode(i)->members->add(n);
  for (int k = 0; k < 2; ++k) {
    QrcPQNodeI* node = new (_manager) QrcPQNodeI();
    node->clear();
    node->index = count + k;
    node->pool = &_pool;
    node->members = nullptr;
    if (n >= 0) {
      node->members = new (_manager) QrcFastListI<QroInt>(_manager, 20);
      for (QroInt v = 0; v <= n; ++v) node->members->add(v);
    }
    _pool.add(node);
  }
}

void QrcPQTreeI::clear() {
  _pool.reset();
  for (QroInt i = 0; i < _pool.getSize(); ++i) getNode(i)->clear();
  _root = nullptr;
}

QrcPQNodeI* QrcPQTreeI::take(QroInt i) {
  _pool.remove(i);
  return getNode(i);
}

QrcPQNodeI* QrcPQTreeI::takeFree() {
  QrcFastEltI<QrcPQNodeI*>* e = _pool.firstIn();
  if (!e) {
    _manager->getErrorReporter()->report(QrcInternalError, "QrcFastEltI::Pop Error",
                                         "internal error");
    return nullptr;
  }
  _pool.removeCell(e);
  e->value->clear();
  return e->value;
}

void QrcPQTreeI::release(QrcPQNodeI* node) {
  node->clear();
  _pool.restore(node->index);
}

void QrcPQTreeI::makeUniversal(QroInt m) {
  clear();
  if (m == 0) return;
  if (m == 1) {
    _root = take(0);
    _root->kind = QrcPQNodeI::Leaf;
    return;
  }
  _root = take(m);
  for (QroInt k = 0; k < m; ++k) {
    QrcPQNodeI* leaf = take(k);
    leaf->kind = QrcPQNodeI::Leaf;
    leaf->value = k;
    _root->append(leaf);
  }
}

bool QrcPQTreeI::reduce(QrcPQNodeI* x, const QrcFastListI<QroInt>& set) {
  if (x->kind == QrcPQNodeI::Leaf) {
    x->leafCount = 1;
    x->fullCount = set.isOut(x->value) ? 1 : 0;
    return true;
  }
  QroInt full = 0, leaves = 0;
  for (QrcPQNodeI* c = x->childHead; c;) {
    QrcPQNodeI* next = c->next;
    if (!reduce(c, set)) return false;
    full += c->fullCount;
    leaves += c->leafCount;
    c = next;
  }
  x->fullCount = full;
  x->leafCount = leaves;
  return templateStep(x, set.getOutCount());
}

// The children of x with the label, taken out in order: none, the child
// itself, or a new P-node holding them.
QrcPQNodeI* QrcPQTreeI::group(QrcPQNodeI* x, int wanted) {
  QrcPQNodeI* first = nullptr;
  QrcPQNodeI* holder = nullptr;
  for (QrcPQNodeI* c = x->childHead; c;) {
    QrcPQNodeI* next = c->next;
    if (label(c) == wanted) {
      x->unlink(c);
      if (!first) {
        first = c;
      } else {
        if (!holder) {
          holder = takeFree();
          holder->append(first);
        }
        holder->append(c);
      }
    }
    c = next;
  }
  return holder ? holder : first;
}

// Patterns: pairs of a label (E, P, F) and a count (* any, + at least one,
// 1 exactly one), matched over the children from the head or the tail.
bool QrcPQTreeI::matches(QrcPQNodeI* x, bool fromTail, const char* pattern) {
  const char* t = pattern;
  QroInt count = 0;
  for (QrcPQNodeI* c = fromTail ? x->childTail : x->childHead; c;
       c = fromTail ? c->prev : c->next) {
    char l = label(c);
    while (*t && (t[0] != l || (t[1] == '1' && count == 1))) {
      if (t[1] != '*' && count == 0) return false;
      t += 2;
      count = 0;
    }
    if (!*t) return false;
    ++count;
  }
  for (; *t; t += 2, count = 0)
    if (t[1] != '*' && count == 0) return false;
  return true;
}

void QrcPQTreeI::splice(QrcPQNodeI* x, QrcPQNodeI* partial, bool reversed) {
  while (partial->childHead) {
    QrcPQNodeI* c = reversed ? partial->childTail : partial->childHead;
    partial->unlink(c);
    x->insertBefore(c, partial);
  }
  x->unlink(partial);
  release(partial);
}

bool QrcPQTreeI::templateStep(QrcPQNodeI* x, QroInt size) {
  if (x->fullCount == 0 || x->fullCount == x->leafCount) return true;
  bool root = x->fullCount == size;
  QrcPQNodeI* p1 = nullptr;
  QrcPQNodeI* p2 = nullptr;
  QroInt partials = 0, empties = 0;
  for (QrcPQNodeI* c = x->childHead; c; c = c->next) {
    char l = label(c);
    if (l == 'E') ++empties;
    if (l != 'P') continue;
    if (++partials == 1)
      p1 = c;
    else if (partials == 2)
      p2 = c;
  }
  if (x->kind == QrcPQNodeI::PNode) return templatePNode(x, size, root, p1, p2, partials, empties);
  return templateQNode(x, size, root, p1, partials);
}

// P-node rows of the template table.
bool QrcPQTreeI::templatePNode(QrcPQNodeI* x, QroInt size, bool root, QrcPQNodeI* p1,
                               QrcPQNodeI* p2, QroInt partials, QroInt empties) {
  if (!root) {
    ++_rowHits[partials < 2 ? partials : 2];
    if (partials >= 2) return false;
    if (p1) x->unlink(p1);
    QrcPQNodeI* e = group(x, 'E');
    QrcPQNodeI* f = group(x, 'F');
    x->kind = QrcPQNodeI::QNode;
    if (e) x->append(e);
    if (p1) {
      while (p1->childHead) {
        QrcPQNodeI* c = p1->childHead;
        p1->unlink(c);
        x->append(c);
      }
      release(p1);
    }
    if (f) x->append(f);
    return true;
  }
  if (partials == 0) {
    ++_rowHits[3];
    QrcPQNodeI* f = group(x, 'F');
    if (f) x->append(f);
    return true;
  }
  if (partials == 1 && p1->fullCount == size) {
    ++_rowHits[4];
    return true;
  }
  ++_rowHits[partials == 1 ? (empties > 0 ? 5 : 6) : partials == 2 ? 7 : 8];
  if (partials >= 3) return false;
  QrcPQNodeI* f = group(x, 'F');
  if (f) p1->append(f);
  if (p2) {
    x->unlink(p2);
    while (p2->childTail) {
      QrcPQNodeI* c = p2->childTail;
      p2->unlink(c);
      p1->append(c);
    }
    release(p2);
  }
  x->unlink(p1);
  if (empties > 0) {
    x->append(p1);
    return true;
  }
  x->kind = QrcPQNodeI::QNode;
  while (p1->childHead) {
    QrcPQNodeI* c = p1->childHead;
    p1->unlink(c);
    x->append(c);
  }
  release(p1);
  return true;
}

// Q-node rows of the template table: empties first, fulls last once
// normalised.
bool QrcPQTreeI::templateQNode(QrcPQNodeI* x, QroInt size, bool root, QrcPQNodeI* p1,
                               QroInt partials) {
  if (!root) {
    ++_rowHits[9 + (partials < 2 ? partials : 2)];
    if (partials >= 2) return false;
    const char* pattern = partials ? "E*P1F*" : "E*F*";
    if (!matches(x, false, pattern)) {
      if (!matches(x, true, pattern)) return false;
      x->reverseChildren();
    }
    if (p1) splice(x, p1, false);
    return true;
  }
  if (partials == 0) {
    ++_rowHits[12];
    return matches(x, false, "E*F+E*");
  }
  if (partials == 1 && p1->fullCount == size) {
    ++_rowHits[13];
    return true;
  }
  ++_rowHits[partials == 1 ? 14 : partials == 2 ? 15 : 16];
  if (partials >= 3) return false;
  const char* pattern = partials == 1 ? "E*P1F*E*" : "E*P1F*P1E*";
  if (!matches(x, false, pattern)) {
    if (!matches(x, true, pattern)) return false;
    x->reverseChildren();
  }
  QrcPQNodeI* first = x->childHead;
  while (label(first) != 'P') first = first->next;
  QrcPQNodeI* second = partials == 2 ? first->next : nullptr;
  while (second && label(second) != 'P') second = second->next;
  splice(x, first, false);
  if (second) splice(x, second, true);
  return true;
}
