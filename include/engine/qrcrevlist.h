// Doubly linked lists whose links live in trailed words: every word a change
// overwrites is saved on the manager's trail first, so backtracking restores
// the list.
#ifndef QRC_REVLIST_H
#define QRC_REVLIST_H

#include "qrctypes.h"

struct QrcRevListNode {
  QrcRevListNode* next;
  QrcRevListNode* prev;
  void* value;
};

// Appends the node at the tail and stores its value.
void reversibleListAppend(QrcManagerI* manager, QrcRevListNode* node, void* value,
                          QrcRevListNode** head, QrcRevListNode** tail);
// Unlinks the node from the list given by its head and tail words.
void reversibleListRemove(QrcManagerI* manager, QrcRevListNode* node, QrcRevListNode** head,
                          QrcRevListNode** tail);

#endif
