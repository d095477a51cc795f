// The shapes shared by the set relations.
#include "qrcintsetcst.h"

void QrcSetPairCtI::metaPostDemon(QrcDemonI* demon) {
  _a->whenDomain(demon);
  _b->whenDomain(demon);
}

void QrcSetConstCtI::metaPostDemon(QrcDemonI* demon) {
  _s->whenDomain(demon);
}

void QrcSetMemberCtI::metaPostDemon(QrcDemonI* demon) {
  _s->whenDomain(demon);
  _x->whenValue(demon);
}

void QrcSetValueCtI::metaPostDemon(QrcDemonI* demon) {
  _s->whenDomain(demon);
}
