// The integer variable naming which part of an indexed float expression holds
// the expression's point; a search can branch on it.
#ifndef QRC_INDEX_VAR_H
#define QRC_INDEX_VAR_H

#include "qrcintexp.h"

class QrcIndexedExpI;

class QrcIndexVarI : public QrcIntExpI {
  QRCLIBRARYCLASS(QrcIndexVarI)
 public:
  QrcIndexVarI(QrcManagerI* manager, QrcInt min, QrcInt max, const char* name)
      : QrcIntExpI(manager, min, max, name), _indexed(nullptr) {}
  QrcIndexedExpI* getIndexedExp() const { return _indexed; }
  void setIndexedExp(QrcIndexedExpI* indexed) { _indexed = indexed; }

 private:
  QrcIndexedExpI* _indexed;
};

#endif
