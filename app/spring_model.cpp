#include "spring_model.h"

SpringModel::SpringModel(QroEnv& env) : model(env), x(env, 2), F(env, 0.0, 0.5), N(env, 2.0, 10.0) {
  x[0] = QroNumVar(env, 0.25, 1.3);
  x[1] = QroNumVar(env, 0.05, 1.0);
  {
    QroNumExprArg a = QroPower(x[1], 4.0);
    QroNumExprArg b = 71785.0 * a;
    QroNumExprArg c = QroPower(x[0], 3.0);
    QroNumExprArg e = c * N;
    QroNumExprArg f = e / b;
    QroNumExprArg g = 1.0 - f;
    model.add(g <= 0.0);
  }
  {
    QroNumExprArg a = QroPower(x[1], 2.0);
    QroNumExprArg b = 5.108 * a;
    QroNumExprArg q = 1.0 / b;
    QroNumExprArg c = QroPower(x[1], 3.0);
    QroNumExprArg e = QroPower(x[1], 3.0);
    QroNumExprArg f = x[0] * e;
    QroNumExprArg s = f - c;
    QroNumExprArg m = 12.566 * s;
    QroNumQuadTermNode t = x[1] * x[0];
    QroNumExprArg p = QroPower(x[0], 4.0);
    QroNumExprArg u = 4.0 * p;
    QroNumExprArg v = u - t;
    QroNumExprArg w = v / m;
    QroNumExprArg z = w + q;
    model.add(z <= 0.0);
  }
  {
    QroNumExprArg l = 140.45 * x[1];
    QroNumExprArg a = QroPower(x[0], 2.0);
    QroNumExprArg b = a * N;
    QroNumExprArg f = l / b;
    QroNumExprArg g = 1.0 - f;
    model.add(g <= 0.0);
  }
  {
    QroNumExprArg s = x[0] + x[1];
    QroNumExprArg f = s / 1.5;
    QroNumExprArg g = f - 1.0;
    c4 = g <= 0.0;
    model.add(c4);
  }
  {
    QroNumExprArg a = QroPower(x[1], 2.0);
    QroNumExprArg s = N + 2.0;
    QroNumExprArg m = s * x[0];
    QroNumExprArg p = m * a;
    c5 = F == p;
    model.add(c5);
  }
}
