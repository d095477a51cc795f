// Helpers of the float nodes. Get-or-create of shared nodes: a probe that
// registers nowhere is compared with the first operand's parents; a new node
// only when none matches. Copies of operands for another manager.
#ifndef QRC_FLOAT_SHARE_H
#define QRC_FLOAT_SHARE_H

#include "qrcfloatnodes.h"
#include "qrcmanager.h"

template <class Node>
QrcFloatExpI* shareUnaryNode(QrcFloat c, QrcFloatExpI* x) {
  Node probe(c, x, false);
  x->getManager()->forgetMade(static_cast<QrcExprI*>(&probe));
  if (QrcExprI* found = x->findEqualParent(&probe)) return static_cast<QrcFloatExpI*>(found);
  return new (x->getManager()) Node(c, x);
}

template <class Node>
QrcFloatExpI* shareBinaryNode(QrcFloatExpI* x, QrcFloatExpI* y) {
  Node probe(x, y, false);
  x->getManager()->forgetMade(static_cast<QrcExprI*>(&probe));
  if (QrcExprI* found = x->findEqualParent(&probe)) return static_cast<QrcFloatExpI*>(found);
  return new (x->getManager()) Node(x, y);
}

// The operand's copy for another manager.
inline QrcFloatExpI* copyOf(const QrcFloatExpI* e, QrcManagerI* target) {
  return static_cast<QrcFloatExpI*>(const_cast<QrcFloatExpI*>(e)->getCopyForManager(target));
}

#endif
