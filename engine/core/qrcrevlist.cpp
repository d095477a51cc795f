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
  // A word that keeps its value needs no trail entry: a later change saves it.
  if (node->next) {
    manager->saveValue(&node->next);
    node->next = nullptr;
  }
  if (node->prev != last) {
    manager->saveValue(&node->prev);
    node->prev = last;
  }
  if (node->value != value) {
    manager->saveValue(&node->value);
    node->value = value;
  }
  manager->saveValue(tail);
  *tail = node;
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
