// Get-or-create of shared float nodes: a probe that registers nowhere is
// compared with the first operand's parents; a new node only when none matches.
#ifndef QRC_FLOAT_SHARE_H
#define QRC_FLOAT_SHARE_H

#include "qrcfloatnodes.h"
#include "qrcmanager.h"

template <class Node>
QrcFloatExpI* shareUnaryNode(QrcFloat c, QrcFloatExpI* x) {
  Node probe(c, x, false);
  if (QrcExprI* found = x->findEqualParent(&probe)) return static_cast<QrcFloatExpI*>(found);
  return new (x->getManager()) Node(c, x);
}

template <class Node>
QrcFloatExpI* shareBinaryNode(QrcFloatExpI* x, QrcFloatExpI* y) {
  Node probe(x, y, false);
  if (QrcExprI* found = x->findEqualParent(&probe)) return static_cast<QrcFloatExpI*>(found);
  return new (x->getManager()) Node(x, y);
}

#endif
