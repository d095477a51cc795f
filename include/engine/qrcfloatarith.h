// Makers of float arithmetic: they simplify where an operand is the manager's
// zero constant or bound, share equal nodes, narrow nothing and never fail.
#ifndef QRC_FLOAT_ARITH_H
#define QRC_FLOAT_ARITH_H

#include "qrcfloatexp.h"

class QrcFloatVarArrayI;

// The manager's shared zero constant [0, 0] (made on first use).
QrcFloatExpI* QrcGetFloatZero(QrcManagerI* manager);

// Shared nodes (get-or-create).
QrcFloatExpI* makeFloatAdd(QrcFloatExpI* x, QrcFloatExpI* y);
QrcFloatExpI* makeFloatSub(QrcFloatExpI* x, QrcFloatExpI* y);
QrcFloatExpI* makeFloatOpp(QrcFloatExpI* x);
QrcFloatExpI* makeFloatCstAdd(QrcFloatExpI* x, QrcFloat c);
QrcFloatExpI* makeCstFloatMul(QrcFloat c, QrcFloatExpI* x);
QrcFloatExpI* makeCstFloatMulPos(QrcFloat c, QrcFloatExpI* x);
QrcFloatExpI* makeCstFloatMulNeg(QrcFloat c, QrcFloatExpI* x);
QrcFloatExpI* makeFloatCstDiv(QrcFloatExpI* x, QrcFloat c);
QrcFloatExpI* makeFloatMul(QrcFloatExpI* x, QrcFloatExpI* y);
QrcFloatExpI* makeFloatDiv(QrcFloatExpI* x, QrcFloatExpI* y);
QrcFloatExpI* makeCstFloatDiv(QrcFloat k, QrcFloatExpI* x);
QrcFloatExpI* makeFloatSquare(QrcFloatExpI* x);
QrcFloatExpI* makeFloatCstMax(QrcFloatExpI* x, QrcFloat c);
QrcFloatExpI* makeFloatCstMin(QrcFloatExpI* x, QrcFloat c);
QrcFloatExpI* makeFloatMax(QrcFloatExpI* x, QrcFloatExpI* y);
QrcFloatExpI* makeFloatMin(QrcFloatExpI* x, QrcFloatExpI* y);

QrcFloatExp operator+(const QrcFloatExp& x, const QrcFloatExp& y);
QrcFloatExp operator+(const QrcFloatExp& x, QrcFloat c);
QrcFloatExp operator+(QrcFloat c, const QrcFloatExp& x);
QrcFloatExp operator-(const QrcFloatExp& x, QrcFloat c);
QrcFloatExp operator-(const QrcFloatExp& x);
QrcFloatExp operator-(const QrcFloatExp& x, const QrcFloatExp& y);
QrcFloatExp operator*(QrcFloat c, const QrcFloatExp& x);
QrcFloatExp operator*(const QrcFloatExp& x, QrcFloat c);
QrcFloatExp operator/(const QrcFloatExp& x, QrcFloat c);
QrcFloatExp operator*(const QrcFloatExp& x, const QrcFloatExp& y);
QrcFloatExp operator/(const QrcFloatExp& x, const QrcFloatExp& y);
QrcFloatExp operator/(QrcFloat k, const QrcFloatExp& x);
QrcFloatExp QrcSquare(const QrcFloatExp& x);
QrcFloatExp QrcAbs(const QrcFloatExp& x);
QrcFloatExp QrcMax(const QrcFloatExp& x, QrcFloat c);
QrcFloatExp QrcMin(const QrcFloatExp& x, QrcFloat c);
QrcFloatExp QrcMax(const QrcFloatExp& x, const QrcFloatExp& y);
QrcFloatExp QrcMin(const QrcFloatExp& x, const QrcFloatExp& y);
// Maximum / minimum of n expressions (trees of nodes of at most 20).
QrcFloatExp QrcMax(QrcManagerI* manager, QrcInt n, QrcFloatExpI** exps);
QrcFloatExp QrcMin(QrcManagerI* manager, QrcInt n, QrcFloatExpI** exps);
// Sum of n expressions (trees of nodes of at most 30 terms).
QrcFloatExp QrcSum(QrcManagerI* manager, QrcInt n, QrcFloatExpI** terms);

#endif
