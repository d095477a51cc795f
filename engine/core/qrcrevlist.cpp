#include "qrcrevlist.h"

#include "qrcmanager.h"

void reversibleListAppend(QrcManagerI* manager, QrcRevListNode* node, void* value,
                          QrcRevListNode** head, QrcRevListNode** tail) {
  QrcRevListNode* last = *tail;
  if (last) {
    manager->saveValue(&last->next);
    last->next = node;
  } else {
    manager->saveValue(head);
    *head = node;
  }
  manager->saveValue(&node->next);
  manager->saveValue(&node->prev);
  manager->saveValue(&node->value);
  manager->saveValue(tail);
  node->next = nullptr;
  node->prev = last;
  *tail = node;
  node->value = value;
}

void reversibleListRemove(QrcManagerI* manager, QrcRevListNode* node, QrcRevListNode** head,
                          QrcRevListNode** tail) {
  if (node->prev) {
    manager->saveValue(&node->prev->next);
    node->prev->next = node->next;
  } else {
    manager->saveValue(head);
    *head = node->next;
  }
  if (node->next) {
    manager->saveValue(&node->next->prev);
    node->next->prev = node->prev;
  } else {
    manager->saveValue(tail);
    *tail = node->prev;
  }
}
