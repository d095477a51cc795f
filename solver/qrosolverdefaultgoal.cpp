// The default search goal of the default extractor, made from the decision
// variables collected during extraction.
#include "qrosolverextractor.h"

#include "qrosolveri.h"
#include "qrcmanager.h"

QrcGoal QroDefaultCPExtractorI::makeGoal() {
  QrcManager m(_solver->getManager());
  QroInt counts[5] = {0, 0, 0, 0, 0};
  if (_list)
    for (QroDecisionVarNode* n = _list->first; n; n = n->next)
      if (n->kind >= 0 && n->kind < 5) ++counts[n->kind];
  for (int k = 0; k < 5; ++k)
    if (counts[k] > 0)
      throw QroSolver::UnimplementedFeature("no generation goal for these decision variables");
  QrcGoal listener(_solver->listenersGoal());
  if (listener.getImpl())
    return QrcAnd(QrcGoalTrue(m), QrcGoalTrue(m), QrcGoalTrue(m), listener);
  return QrcAnd(QrcGoalTrue(m), QrcGoalTrue(m), QrcGoalTrue(m), QrcGoalTrue(m), QrcGoalTrue(m));
}
