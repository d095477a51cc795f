// Holders of a term made and ended at once: whatever they did to the term's
// use count they undo, and what else holds the term keeps it.
#ifndef QRO_TEST_TERM_HOLDERS_H
#define QRO_TEST_TERM_HOLDERS_H

#include "qromodel.h"
#include "qrooperators.h"

namespace qrotest {

const int kTermHolders = 5;

// Holder kind (0 to kTermHolders - 1) of the term t, other an expression of
// its environment; what the holder was.
inline const char* holdAndEnd(QroEnv& env, QroNumExprArg t, QroNumExprArg other, int kind) {
  switch (kind) {
    case 0:
      QroObjective(env, t).end();
      return "an objective";
    case 1:
      QroExtractable((t == other).getImpl()).end();
      return "an equality";
    case 2:
      QroExtractable((t * t).getImpl()).end();
      return "a product with itself";
    case 3: {
      QroExtractableArray a(env, 1);
      a[0] = t.getImpl();
      a.incrementUseCounts();
      a.releaseElements();
      a.end();
      return "a counted array";
    }
    default:
      QroExtractable(QroRange(env, 0, t, 3).getImpl()).end();
      return "a range";
  }
}

}  // namespace qrotest

#endif
