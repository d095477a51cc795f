// The application interface: the modelling layer (environment, expressions,
// variables, models, solutions, XML serialisation), the solver, model-side goals
// and the engine objects that the solver's queries hand back (the manager, integer
// and float variables, constraints). An application includes this header only.
#ifndef QRO_H
#define QRO_H

#include "qroalgorithm.h"
#include "qroarray.h"
#include "qrocollection.h"
#include "qroenv.h"
#include "qroexception.h"
#include "qroexpr.h"
#include "qrogoal.h"
#include "qrointset.h"
#include "qrolinear.h"
#include "qromodel.h"
#include "qronumeric.h"
#include "qrooperators.h"
#include "qrorandom.h"
#include "qrorange.h"
#include "qrosolution.h"
#include "qrosolver.h"
#include "qrotypes.h"
#include "qrovar.h"
#include "qroxml.h"
#include "qroxmlser.h"

#include "qrcconstraint.h"
#include "qrcfloatexp.h"
#include "qrcint.h"
#include "qrcmanager.h"

#endif
