// Linear and quadratic terms: a sum is one term holding a constant, a list of
// (variable, coefficient) nodes, a list of non-linear parts and at most one
// quadratic part. Terms grow in place while nobody holds them; what a term
// refers to (its parts, a quadratic expression it took over) is never changed
// or ended by the operations that grow, scale or empty it, since a handle may
// still point there.
#ifndef QRO_LINEAR_H
#define QRO_LINEAR_H

#include <iosfwd>

#include "qrovar.h"

// {variable, next, coefficient}: a 24-byte cell of the environment.
struct QroLinearNode {
  QroNumVarI* var;
  QroLinearNode* next;
  QroNum coef;
};

// {first variable, second variable, next, coefficient}: a 32-byte cell; the
// variable with the larger identifier comes first.
struct QroQuadNode {
  QroNumVarI* first;
  QroNumVarI* second;
  QroQuadNode* next;
  QroNum coef;
};

// {expression, next}.
struct QroExprNode {
  QroNumExprI* expr;
  QroExprNode* next;
};

class QroNumQuadExprI : public QroNumExprI {
  QROSIMPLECLASS(QroNumQuadExprI, QroNumExprI)
  QROEXTRACTABLEHOOKS()
 public:
  explicit QroNumQuadExprI(QroEnvI* env) : QroNumExprI(env), _first(nullptr), _last(nullptr) {}
  // Takes over the node.
  QroNumQuadExprI(QroEnvI* env, QroQuadNode* node);
  ~QroNumQuadExprI() override;

  QroQuadNode* getFirst() const { return _first; }
  void append(QroQuadNode* node);
  // Appends copies of the other's nodes (zero nodes too); the other may be
  // this expression, whose nodes then appear twice.
  void appendCopies(const QroNumQuadExprI* other);
  void scale(QroNum c);
  void clearNodes();
  // Merges nodes of the same pair and drops zero nodes.
  void normalize();

  QroExtractableI* makeClone(QroEnvI* env) const override;
  QroNumExprI* asNumExpr() override;
  void visitSubExtractables(QroExtractableVisitor* v) override;
  // Every node's variables, zero nodes too (endIfUsesMarked drops them).
  QroBool visitUses(QroExtractableVisitor* v) override;
  // Drops the nodes of marked variables; the expression stays.
  void endIfUsesMarked() override;
  QroBool outlivesUses() const override { return 1; }
  QroBool usesMarked() override;
  void display(std::ostream& os) const override;
  QroNum eval(QroAlgorithmI* algorithm) const override;
  QroBool isIntExpr() const override { return 0; }
  // A copy of the nodes, zero nodes left out.
  QroNumQuadExprI* copyNonZero(QroEnvI* env, bool cloneVars) const;

 private:
  QroQuadNode* _first;
  QroQuadNode* _last;
};

// Shared layout and list operations of the two term classes.
template <class Base, class Constant>
class QroLinTermBase : public Base {
 public:
  explicit QroLinTermBase(QroEnvI* env, Constant c)
      : Base(env),
        _kept(),
        _first(nullptr),
        _last(nullptr),
        _constant(c),
        _quad(nullptr),
        _firstExpr(nullptr),
        _lastExpr(nullptr),
        _normalized(0),
        _ownsQuad(0) {}

  QroLinearNode* getFirstNode() const { return _first; }
  QroExprNode* getFirstExpr() const { return _firstExpr; }
  QroNumQuadExprI* getQuadPart() const { return _quad; }
  Constant getConstantValue() const { return _constant; }
  void setConstant(Constant c) { _constant = c; }
  bool isConstantTerm() const { return !_first && !_firstExpr; }

  // Drops the nodes that mention marked objects; the term stays.
  void endIfUsesMarked() override { dropMarked(); }
  QroBool outlivesUses() const override { return 1; }
  QroBool usesMarked() override {
    QroFindMarkedVisitor v;
    visitAllParts(&v);
    return v.isDone();
  }
  void visitSubExtractables(QroExtractableVisitor* v) override { visitParts(v); }
  QroBool visitUses(QroExtractableVisitor* v) override {
    visitAllParts(v);
    return 1;
  }
  QroBool hasDecisionVar() const override {
    if (_first) return 1;
    return QroExtractableI::hasDecisionVar();
  }

  // Puts a node first / last.
  void prependNode(QroLinearNode* n);
  void appendNode(QroLinearNode* n);
  void appendNode(QroNumVarI* v, QroNum coef);
  // Appends an expression to the non-linear list, raising its use count.
  void appendExpr(QroNumExprI* e);

 protected:
  // Puts a node last without touching the normalised flag.
  void linkNode(QroLinearNode* n);
  // Releases every non-linear part and kept expression, frees every node.
  void clearAll();
  // Empties the term, lowering the use counts of what it held without ending
  // anything but a quadratic part it made itself.
  void dropParts();
  // Empties the term: each non-linear part goes to releaseExpr, the nodes are
  // freed and the kept array, when there is one, goes to releaseKept.
  template <class ReleaseExpr, class ReleaseKept>
  void emptyParts(ReleaseExpr releaseExpr, ReleaseKept releaseKept);
  // Makes the quadratic part one of the term's own before it is changed: one
  // taken over from the caller is replaced by a copy.
  void privatizeQuad();
  // Copies of the lists, in order: linear nodes, non-linear nodes sharing the
  // parts (use counts raised) but with a copy of the quadratic part.
  void copyLists(QroLinearNode*& first, QroLinearNode*& last, QroExprNode*& firstExpr,
                 QroExprNode*& lastExpr, QroNumQuadExprI*& quad) const;
  // Removes the nodes that mention marked objects.
  void dropMarked();
  void displayTerms(std::ostream& os, bool integerConstant) const;
  QroNum evalParts(QroAlgorithmI* algorithm) const;
  // Scales the non-linear parts and the quadratic part by c.
  void scaleParts(Constant c);
  // Adds this term's parts to t: the same objects, or their clones in
  // cloneEnv when it is given.
  template <class T>
  void copyPartsInto(T* t, QroEnvI* cloneEnv) const;
  void visitParts(QroExtractableVisitor* v);
  // Every part, zero nodes and the quadratic part's variables too: what
  // dropMarked looks at.
  void visitAllParts(QroExtractableVisitor* v);

  QroExtractableArray _kept;
  QroLinearNode* _first;
  QroLinearNode* _last;
  Constant _constant;
  QroNumQuadExprI* _quad;
  QroExprNode* _firstExpr;
  QroExprNode* _lastExpr;
  QroBool _normalized;  // used by numeric terms only
  QroBool _ownsQuad;    // the quadratic part is a copy the term made
};

class QroNumLinTermI : public QroLinTermBase<QroNumExprI, QroNum> {
  QROSIMPLECLASS(QroNumLinTermI, QroNumExprI)
  QROEXTRACTABLEHOOKS()
 public:
  explicit QroNumLinTermI(QroEnvI* env, QroNum constant = 0.0);
  // A term holding one node (taken over).
  QroNumLinTermI(QroEnvI* env, QroLinearNode* node);
  ~QroNumLinTermI() override;

  void addExpr(QroNumExprI* e);
  // Moves every part of t into this term and releases t, a term that no
  // handle points at. What t referred to is not ended: a quadratic part t
  // took over from the caller is only counted down, the expressions t kept
  // are kept by this term.
  void addTerm(QroNumLinTermI* t);
  // Adds copies of t's parts, in the order addTerm would move them; t is
  // unchanged.
  void addTermCopy(const QroNumLinTermI* t);
  // Puts t's parts in front of this term's: this term becomes what
  // t->addTerm(this) would make of t, same lists in the same order. t, a
  // term that no handle points at, is released.
  void prependTerm(QroNumLinTermI* t);
  void scale(QroNum c);
  // Returns the number of nodes merged away.
  QroInt normalize();
  // Empties the term; the parts it held are not ended.
  void clear();
  QroBool isNormalized() const { return _normalized; }
  void setUnnormalized() { _normalized = 0; }
  // Prints one node; false when it printed nothing (coefficient 0).
  static bool displayTerm(std::ostream& os, const QroLinearNode* n);

  QroExtractableI* makeClone(QroEnvI* env) const override;
  void display(std::ostream& os) const override;
  QroNumExprI* asNumExpr() override;
  QroNumLinTermI* makeNumLinTerm() override { return this; }
  // A fresh copy (the term is unchanged).
  QroNumLinTermI* copy() const;
  // A fresh copy with the same lists in the same order, neither normalised
  // nor merged (the term is unchanged).
  QroNumLinTermI* duplicate() const;
  QroBool isIntExpr() const override;
  QroNum eval(QroAlgorithmI* algorithm) const override;
  QroNum getConstant() const override { return _constant; }

  // Takes over lists made for it (a quadratic part among them is its own).
  void adoptParts(QroLinearNode* first, QroLinearNode* last, QroExprNode* firstExpr,
                  QroExprNode* lastExpr, QroNumQuadExprI* quad);

 private:
  // addTerm without the release: t is left empty.
  void takeParts(QroNumLinTermI* t);
  void swapContents(QroNumLinTermI* t);
};

class QroIntLinTermI : public QroLinTermBase<QroIntExprI, QroInt> {
  QROSIMPLECLASS(QroIntLinTermI, QroIntExprI)
  QROEXTRACTABLEHOOKS()
 public:
  explicit QroIntLinTermI(QroEnvI* env, QroInt constant = 0);
  ~QroIntLinTermI() override;

  void addExpr(QroNumExprI* e);
  void scale(QroInt k);
  // Empties the term; the parts it held are not ended.
  void clear();

  QroExtractableI* makeClone(QroEnvI* env) const override;
  void display(std::ostream& os) const override;
  QroIntExprI* asIntExpr() override;
  QroIntLinTermI* makeIntLinTerm() override { return this; }
  QroIntLinTermI* copy() const;
  // A numeric copy: with the same lists when nobody holds the term, through
  // QroNumLinTermI::addExpr otherwise. The term is unchanged either way.
  QroNumLinTermI* makeNumLinTerm() override;
  // The numeric term with the same lists, taken over from this term, which
  // no handle points at and nothing holds: it is released.
  QroNumLinTermI* takeNumLinTerm();
  QroBool isIntExpr() const override { return 1; }
  QroNum eval(QroAlgorithmI* algorithm) const override;
  QroNum getConstant() const override { return static_cast<QroNum>(_constant); }
};

#endif
