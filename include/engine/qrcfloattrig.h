// Trigonometric functions of float expressions: sin, cos and tan with
// outward-rounded interval bounds, and their inverses. Each narrows its operand
// from its own interval, along the period grid for sin, cos and tan.
#ifndef QRC_FLOAT_TRIG_H
#define QRC_FLOAT_TRIG_H

#include "qrcfloatnodes.h"

// A node over one operand (the unary base's constant is unused).
#define QRCTRIGNODE(Class, Kind)                                                                \
  class Class : public QrcFloatUnaryExpI {                                                      \
    QRCLIBRARYCLASS(Class)                                                                      \
   public:                                                                                      \
    Class(QrcFloat, QrcFloatExpI* x, bool attach = true) : QrcFloatUnaryExpI(0.0, x, attach) {} \
    QRCFLOATNODE(Class, Kind)                                                                   \
  };

QRCTRIGNODE(QrcSinI, "QrcSin")
QRCTRIGNODE(QrcCosI, "QrcCos")
QRCTRIGNODE(QrcTanI, "QrcTan")
// Undefined (the whole line) over an operand entirely outside [-1, 1].
QRCTRIGNODE(QrcArcSinI, "QrcArcSin")
QRCTRIGNODE(QrcArcCosI, "QrcArcCos")
QRCTRIGNODE(QrcArcTanI, "QrcArcTan")

#undef QRCTRIGNODE

// The shared node of the operand: built twice over one operand, one node.
QrcFloatExp QrcSin(const QrcFloatExp& x);
QrcFloatExp QrcCos(const QrcFloatExp& x);
QrcFloatExp QrcTan(const QrcFloatExp& x);
QrcFloatExp QrcArcSin(const QrcFloatExp& x);
QrcFloatExp QrcArcCos(const QrcFloatExp& x);
QrcFloatExp QrcArcTan(const QrcFloatExp& x);

#endif
