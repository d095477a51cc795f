// Boxes: k-dimensional rectangles with an origin variable and a fixed size per
// dimension. A box is also a container: boxes registered with it are its
// members, each with a 0-1 activity variable (1: placed inside), and it keeps
// one interval graph per dimension over its members. The not-overlap
// constraint keeps active members apart; four small constraints state
// containment, and overlap, non-overlap or precedence of two members in one
// dimension.
#ifndef QRC_BOX_H
#define QRC_BOX_H

#include <iosfwd>

#include "qrcfilterlevel.h"
#include "qrcint.h"
#include "qrcintervalgraph.h"
#include "qrcpointerhash.h"
#include "qrodoublingarray.h"

class QrcNotOverlapConstraintI;
class QrcOverlapCliqueConstraintI;

class QrcBoxI : public QrcConstraintWithFilterI {
  QRCLIBRARYCLASS(QrcBoxI)
  QROSIMPLECLASS(QrcBoxI, QrcConstraintWithFilterI)
 public:
  // Reports code 32 for k < 1 or a negative size, 53 for origins of another
  // manager, 5 for arrays whose size is not k.
  QrcBoxI(QrcManagerI* manager, QroInt k, const QrcIntVarArray& origins, const QrcIntArray& sizes);
  ~QrcBoxI() override;
  void propagate() override {}
  void post() override;
  QrcBool isFilterLevelSupported(QrcInt level) override {
    return level >= QrcLowFilterLevel && level <= QrcFullFilterLevel;
  }
  void display(std::ostream& os) const override;

  // The member's number, registering it on first call.
  QroInt registerBox(QrcBoxI* member);
  void makeIntervalGraphs();
  QrcNotOverlapConstraintI* getNotOverlapConstraint();
  bool isActive(QroInt k) { return _activities[k].getImpl()->getMin() == 1; }
  void activated(QroInt k);

  QrcConstraintI* makeContainmentConstraint(QrcBoxI* member);
  QrcConstraintI* makeOverlapInDimension(QrcBoxI* a, QrcBoxI* b, QroInt d);
  QrcConstraintI* makeNotOverlapInDimension(QrcBoxI* a, QrcBoxI* b, QroInt d);
  QrcConstraintI* makePrecedenceInDimension(QrcBoxI* a, QrcBoxI* b, QroInt d);

  QroInt getMemberCount() const { return _memberCount.getValue(); }
  QroInt getDimensionCount() const { return _dimensionCount; }
  QroInt getUsedVolume() const { return _usedVolume; }
  // Product of the sizes, saturated at 2^63 - 1.
  QroInt getVolume() const;
  QroInt getSize(QroInt d) const { return _sizes[d]; }
  QroInt getCrossSection(QroInt d) const { return _crossSections[d]; }
  QrcIntExpI* getOrigin(QroInt d) const { return _origins.getImpl()->getVar(d); }
  QrcIntExpI* getActivity(QroInt k) { return _activities[k].getImpl(); }
  QrcBoxI* getMember(QroInt k) { return _members[k]; }
  QrcIntervalGraphI* getGraph(QroInt d) const { return _graphs ? _graphs[d] : nullptr; }
  QrcIntervalGraphI** getGraphs() const { return _graphs; }
  QrcNotOverlapConstraintI* peekNotOverlap() const { return _notOverlap; }
  void* getObject() const { return _object; }
  void setObject(void* object) { _object = object; }

 private:
  // Codes 32 and 53 for a member that cannot belong to this container, and
  // code 32 for a dimension outside [0, k).
  void checkMember(QrcBoxI* member, const char* place);
  void checkDimension(QroInt d);

  QrcRevWord _memberCount;
  QroInt _dimensionCount;
  QroInt _usedVolume;
  QrcIntervalGraphI** _graphs;
  QroDoublingArray<QrcBoxI*> _members;
  QrcPointerHashMap _memberIndex;
  QroDoublingArray<QrcIntVar> _activities;
  QroInt* _sizes;
  QroInt* _crossSections;
  QrcIntVarArray _origins;
  void* _spare;
  QrcNotOverlapConstraintI* _notOverlap;
  void* _object;
};

class QrcBox {
 public:
  QrcBox() : _impl(nullptr) {}
  QrcBox(QrcBoxI* impl) : _impl(impl) {}
  // A box on the manager of the sizes array.
  QrcBox(QrcInt k, const QrcIntVarArray& origins, const QrcIntArray& sizes);
  QrcBoxI* getImpl() const { return _impl; }
  void setObject(void* object) const;
  QrcConstraint getNotOverlapConstraint() const;
  QrcConstraint makeContainmentConstraint(const QrcBox& member) const;
  QrcConstraint makeOverlapInDimension(const QrcBox& a, const QrcBox& b, QrcInt d) const;
  QrcConstraint makeNotOverlapInDimension(const QrcBox& a, const QrcBox& b, QrcInt d) const;
  QrcConstraint makePrecedenceInDimension(const QrcBox& a, const QrcBox& b, QrcInt d) const;

 private:
  QrcBoxI* check(const char* place) const;
  QrcBoxI* _impl;
};

// No two active members of the container overlap: volume and pair reasoning
// at every level, clique constraints per dimension at levels 1 and 2.
class QrcNotOverlapConstraintI : public QrcConstraintWithFilterI {
  QRCLIBRARYCLASS(QrcNotOverlapConstraintI)
  QROSIMPLECLASS(QrcNotOverlapConstraintI, QrcConstraintWithFilterI)
 public:
  QrcNotOverlapConstraintI(QrcManagerI* manager, QrcIntervalGraphI** graphs, QroInt k,
                           QrcBoxI* container);
  ~QrcNotOverlapConstraintI() override {}
  void propagate() override;
  void post() override;
  QrcBool isFilterLevelSupported(QrcInt level) override;
  void display(std::ostream& os) const override;

  void checkVolume();
  void checkPair(QroInt i, QroInt j);
  void onActivated(QroInt k);
  void edgeBecameOne(QroInt i, QroInt j, QroInt d);
  // Edge demons of the pair in every dimension.
  void hangPairDemons(QroInt i, QroInt j);
  QrcIntExpI* getEdge(QroInt i, QroInt j, QroInt d) const { return _graphs[d]->getEdge(i, j); }
  QrcConstraintI* getCliqueConstraint(QroInt d) const {
    return _cliqueConstraints ? _cliqueConstraints[d] : nullptr;
  }

 private:
  void scheduleCliques(QroInt d);
  void makeCliqueConstraints(QrcInt level);

  QrcIntervalGraphI** _graphs;
  QroInt _dimensionCount;
  QrcBoxI* _container;
  QrcConstraintI** _cliqueConstraints;
};

class QrcNotOverlapPropagateActiveChangeI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcNotOverlapPropagateActiveChangeI)
  QROSIMPLECLASS(QrcNotOverlapPropagateActiveChangeI, QrcDemonI)
 public:
  QrcNotOverlapPropagateActiveChangeI(QrcBoxI* container, QrcBoxI* member, QroInt k)
      : QrcDemonI(container->getManager(), container),
        _container(container),
        _member(member),
        _k(k) {
    setState(Idle);  // never posted: its first wake needs no trailed freshness
  }
  void propagate() override;
  void display(std::ostream& os) const override;

 private:
  QrcBoxI* _container;
  QrcBoxI* _member;
  QroInt _k;
};

class QrcNotOverlapPropagateEdgeChangeI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcNotOverlapPropagateEdgeChangeI)
  QROSIMPLECLASS(QrcNotOverlapPropagateEdgeChangeI, QrcDemonI)
 public:
  QrcNotOverlapPropagateEdgeChangeI(QrcNotOverlapConstraintI* ct, QroInt i, QroInt j, QroInt d)
      : QrcDemonI(ct->getManager(), ct), _ct(ct), _i(i), _j(j), _d(d) {
    setState(Idle);  // never posted: its first wake needs no trailed freshness
  }
  void propagate() override;
  void display(std::ostream& os) const override;

 private:
  QrcNotOverlapConstraintI* _ct;
  QroInt _i, _j, _d;
};

// ---------------------------------------------------------------- two members

// The member lies inside the container: A = 1.
class QrcContainmentConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcContainmentConstraintI)
  QROSIMPLECLASS(QrcContainmentConstraintI, QrcConstraintI)
 public:
  QrcContainmentConstraintI(QrcManagerI* m, QrcBoxI* container, QrcBoxI* member)
      : QrcConstraintI(m), _number(-1), _container(container), _member(member) {}
  ~QrcContainmentConstraintI() override {}
  void propagate() override;
  void metaPostDemon(QrcDemonI* demon) override;
  void post() override;
  QrcBool isFalse() const override;
  void display(std::ostream& os) const override;

 private:
  void registerMember();
  QroInt _number;
  QrcBoxI* _container;
  QrcBoxI* _member;
};

// Common part of the three constraints over a pair of members in one
// dimension: registration, the pair's variables and the rules' shapes.
class QrcPairInDimensionConstraintI : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcPairInDimensionConstraintI)
  QROSIMPLECLASS(QrcPairInDimensionConstraintI, QrcConstraintI)
 public:
  enum Kind { Overlap = 0, NotOverlap = 1, Precedence = 2 };
  QrcPairInDimensionConstraintI(QrcManagerI* m, Kind kind, QrcBoxI* container, QrcBoxI* a,
                                QrcBoxI* b, QroInt d);
  ~QrcPairInDimensionConstraintI() override {}
  void propagate() override;
  void metaPostDemon(QrcDemonI* demon) override;
  void post() override;
  QrcBool isFalse() const override;
  void display(std::ostream& os) const override;

  // Rule for an activity x bound to 1, y being the other activity.
  void activeRule(QrcIntExpI* x, QrcIntExpI* y);
  void edgeRule();
  void orientationRule();
  Kind getKind() const { return _kind; }
  QrcIntExpI* getActivityA() const { return _aa; }
  QrcIntExpI* getActivityB() const { return _ab; }

 private:
  void registerMembers();
  // The value of R that puts a first.
  QroInt first() const { return _ia < _ib ? 1 : 0; }
  void deactivateIfOtherActive();
  // A precedence between two members of size 0 in d: both orders hold where
  // they share a coordinate, which R cannot say, so the order is kept on the
  // origins instead.
  bool ordersPoints() const {
    return _kind == Precedence && _a->getSize(_d) == 0 && _b->getSize(_d) == 0;
  }
  // Whether origin a <= origin b can still hold in d.
  bool pointOrderHolds() const;
  // Bounds the origins when both are active, else deactivates the other
  // member of an active one whose order cannot hold.
  void orderPoints();

  Kind _kind;
  QrcBoxI* _container;
  QrcBoxI* _a;
  QrcBoxI* _b;
  QroInt _d;
  QroInt _ia;
  QroInt _ib;
  QrcIntExpI* _aa;
  QrcIntExpI* _ab;
  QrcIntExpI* _e;
  QrcIntExpI* _r;
};

class QrcOverlapInDimensionConstraintI : public QrcPairInDimensionConstraintI {
  QRCLIBRARYCLASS(QrcOverlapInDimensionConstraintI)
  QROSIMPLECLASS(QrcOverlapInDimensionConstraintI, QrcPairInDimensionConstraintI)
 public:
  QrcOverlapInDimensionConstraintI(QrcManagerI* m, QrcBoxI* c, QrcBoxI* a, QrcBoxI* b, QroInt d)
      : QrcPairInDimensionConstraintI(m, Overlap, c, a, b, d) {}
};

class QrcNotOverlapInDimensionConstraintI : public QrcPairInDimensionConstraintI {
  QRCLIBRARYCLASS(QrcNotOverlapInDimensionConstraintI)
  QROSIMPLECLASS(QrcNotOverlapInDimensionConstraintI, QrcPairInDimensionConstraintI)
 public:
  QrcNotOverlapInDimensionConstraintI(QrcManagerI* m, QrcBoxI* c, QrcBoxI* a, QrcBoxI* b, QroInt d)
      : QrcPairInDimensionConstraintI(m, NotOverlap, c, a, b, d) {}
};

class QrcPrecedenceInDimensionConstraintI : public QrcPairInDimensionConstraintI {
  QRCLIBRARYCLASS(QrcPrecedenceInDimensionConstraintI)
  QROSIMPLECLASS(QrcPrecedenceInDimensionConstraintI, QrcPairInDimensionConstraintI)
 public:
  QrcPrecedenceInDimensionConstraintI(QrcManagerI* m, QrcBoxI* c, QrcBoxI* a, QrcBoxI* b, QroInt d)
      : QrcPairInDimensionConstraintI(m, Precedence, c, a, b, d) {}
};

// Demons of the pair constraints: an activity became bound (with the other
// activity as second variable), the edge or the orientation became bound.
class QrcPairActiveChangeDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcPairActiveChangeDemonI)
  QROSIMPLECLASS(QrcPairActiveChangeDemonI, QrcDemonI)
 public:
  QrcPairActiveChangeDemonI(QrcPairInDimensionConstraintI* ct, QrcIntExpI* x, QrcIntExpI* y)
      : QrcDemonI(ct->getManager(), ct), _ct(ct), _x(x), _y(y) {}
  void propagate() override {
    if (_x->getMin() == 1) _ct->activeRule(_x, _y);
  }

 private:
  QrcPairInDimensionConstraintI* _ct;
  QrcIntExpI* _x;
  QrcIntExpI* _y;
};

class QrcPairEdgeChangeDemonI : public QrcDemonI {
  QRCLIBRARYCLASS(QrcPairEdgeChangeDemonI)
  QROSIMPLECLASS(QrcPairEdgeChangeDemonI, QrcDemonI)
 public:
  explicit QrcPairEdgeChangeDemonI(QrcPairInDimensionConstraintI* ct)
      : QrcDemonI(ct->getManager(), ct), _ct(ct) {}
  void propagate() override { _ct->edgeRule(); }

 protected:
  QrcPairInDimensionConstraintI* _ct;
};

#define QRC_PAIR_DEMON(NAME, BASE)                 \
  class NAME : public BASE {                       \
    QRCLIBRARYCLASS(NAME)                          \
    QROSIMPLECLASS(NAME, BASE)                     \
   public:                                         \
    using BASE::BASE;                              \
    void display(std::ostream& os) const override; \
  };

QRC_PAIR_DEMON(QrcOverlapPropagateActiveChangeI, QrcPairActiveChangeDemonI)
QRC_PAIR_DEMON(QrcOverlapPropagateEdgeChangeI, QrcPairEdgeChangeDemonI)
QRC_PAIR_DEMON(QrcNotOverlapInDimensionPropagateActiveChangeI, QrcPairActiveChangeDemonI)
QRC_PAIR_DEMON(QrcNotOverlapInDimensionPropagateEdgeChangeI, QrcPairEdgeChangeDemonI)
QRC_PAIR_DEMON(QrcPrecedencePropagateActiveChangeI, QrcPairActiveChangeDemonI)
QRC_PAIR_DEMON(QrcPrecedencePropagateEdgeChangeI, QrcPairEdgeChangeDemonI)
#undef QRC_PAIR_DEMON

class QrcPrecedencePropagateOrientationChangeI : public QrcPairEdgeChangeDemonI {
  QRCLIBRARYCLASS(QrcPrecedencePropagateOrientationChangeI)
  QROSIMPLECLASS(QrcPrecedencePropagateOrientationChangeI, QrcPairEdgeChangeDemonI)
 public:
  using QrcPairEdgeChangeDemonI::QrcPairEdgeChangeDemonI;
  void propagate() override { _ct->orientationRule(); }
  void display(std::ostream& os) const override;
};

#endif
