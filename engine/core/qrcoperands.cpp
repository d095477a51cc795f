#include "qrcoperands.h"

#include "qrcerror.h"
#include "qrcmanager.h"

QrcManagerI* QrcCheckOperands(const char* place, std::initializer_list<QrcOperand> operands) {
  QrcManagerI* m = nullptr;
  for (const QrcOperand& o : operands) {
    if (o.getArray()) o.getArray()->checkElements(place);
    QrcManagerI* om = o.getManager();
    if (!m)
      m = om;
    else if (om && om != m)
      QrcGetErrorReporter(m)->report(QrcManagersDifferError, place, "Managers are different");
  }
  return m;
}

void QrcCheckElement(const char* place, QrcManagerI* m, const QrcExprI* e) {
  if (!e)
    QrcGetErrorReporter(m)->report(QrcEmptyHandleError, "empty handle", place);
  else if (e->getManager() != m)
    QrcGetErrorReporter(m)->report(QrcManagersDifferError, place, "Managers are different");
}
