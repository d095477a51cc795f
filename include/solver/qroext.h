// The extension interface, for code that writes its own constraints, goals and
// extractors: the engine manager and its memory, the propagation queue, goals and
// demons, constraint and expression bases with filter levels, search, monitors,
// the integer, set and float variables and expressions with their constraints
// and goals, the global constraints, directed rounding (QRO_FP_BARRIER), and
// the solver's object with its extraction hook records and presolve information,
// and the solver's prober, impact information and impact-based search.
// It includes the application interface.
#ifndef QRO_EXT_H
#define QRO_EXT_H

#include "qro.h"

#include "qrcerror.h"
#include "qrcevent.h"
#include "qrcexpr.h"
#include "qrcexprct.h"
#include "qrcfail.h"
#include "qrcfastlist.h"
#include "qrcfilterlevel.h"
#include "qrcgenalloc.h"
#include "qrcgoal.h"
#include "qrchash.h"
#include "qrcmemory.h"
#include "qrcmonitor.h"
#include "qrcpointerhash.h"
#include "qrcqueue.h"
#include "qrcrevlist.h"
#include "qrcsearch.h"
#include "qrcsizealloc.h"
#include "qrctypes.h"

#include "qrcaccessor.h"
#include "qrcintarith.h"
#include "qrcintcompare.h"
#include "qrcintexp.h"
#include "qrcintgoals.h"
#include "qrcintset.h"
#include "qrcintsetcst.h"
#include "qrcintsetvar.h"
#include "qrcintshaving.h"
#include "qrcsetcomposition.h"
#include "qrcsetfunctions.h"

#include "qrcfloatarith.h"
#include "qrcfloatcompare.h"
#include "qrcfloatconst.h"
#include "qrcfloatenv.h"
#include "qrcfloatfunctions.h"
#include "qrcfloatgoals.h"
#include "qrcfloatnodes.h"
#include "qrcindexvar.h"
#include "qrcpiecewise.h"
#include "qrcfloatshaving.h"
#include "qrcfloattrig.h"
#include "qrcfloatvararray.h"
#include "qrcfloatview.h"

// Global constraints.
#include "qrcabstraction.h"
#include "qrcalldiff.h"
#include "qrcbox.h"
#include "qrcdistribute.h"
#include "qrcelement.h"
#include "qrcinverse.h"
#include "qrcintervalgraph.h"
#include "qrclex.h"
#include "qrcmember.h"
#include "qrcmindistance.h"
#include "qrcpack.h"
#include "qrcpairing.h"
#include "qrcpath.h"
#include "qrcregular.h"
#include "qrcsequence.h"
#include "qrcsetof.h"
#include "qrcspread.h"
#include "qrctable.h"
#include "qrctupleset.h"

#include "qroplatform.h"

#include "qrochange.h"
#include "qrodoublingarray.h"
#include "qroevaluator.h"
#include "qroextractable.h"
#include "qroregistry.h"
#include "qrosolveri.h"
#include "qrosolverextractor.h"
#include "qrosolverextra.h"
#include "qrosolverglobal.h"
#include "qrosolverlistener.h"
#include "qrosolverpresolve.h"
#include "qrosolversolution.h"

// Probing, impact information, the decision log and the impact-based search.
#include "qrcdefaultsearch.h"
#include "qrcimpact.h"

#endif
