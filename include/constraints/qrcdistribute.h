// Counting constraints. Distribute: cards[j] is the number of variables equal
// to values[j] (at filter level 3 a capacity matching also prunes the
// variables). Count: a card is the number of variables equal to one value.
#ifndef QRC_DISTRIBUTE_H
#define QRC_DISTRIBUTE_H

#include "qrcfilterlevel.h"
#include "qrcint.h"

class QrcIntMap;

class QrcDistributeConstraintI : public QrcConstraintWithFilterI {
  QRCLIBRARYCLASS(QrcDistributeConstraintI)
  QROSIMPLECLASS(QrcDistributeConstraintI, QrcConstraintWithFilterI)
 public:
  QrcDistributeConstraintI(QrcManagerI* manager, const QrcIntVarArray& cards,
                           const QrcIntArray& values, const QrcIntVarArray& vars);

  // Sum of the cards (the others count included) at most the number of
  // variables; the demons; the level's filtering.
  void post() override;
  // The counts from scratch.
  void propagate() override;
  void display(std::ostream& os) const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  // 0, 1, 2: yes; 3 adds the matching over the listed cards; others: no.
  QrcBool isFilterLevelSupported(QrcInt level) override;

  void varChanged(QrcInt i);
  void cardChanged(QrcInt j);
  // The count of the values outside the listed ones (a variable of [0, n]).
  QrcIntExpI* getOthersCount() const { return _ext[_nCards]; }

 private:
  bool isListed(QrcInt v) const;
  QrcInt firstListed(QrcIntExpI* x) const;
  QrcInt firstUnlisted(QrcIntExpI* x) const;
  void detectOthers();
  void setLower(QrcInt j, QrcInt v);
  void setUpper(QrcInt j, QrcInt v);
  void raiseLower(QrcInt j);
  void lowerUpper(QrcInt j);
  void close(QrcInt j);
  void fill(QrcInt j);
  void restrictCard(QrcInt j);

  QrcIntVarArray _cards;
  QrcIntExpI** _ext;  // the cards, then the others count
  QrcInt _nCards;
  QrcIntArray _values;
  QrcInt _nVars;
  QrcIntVarArray _vars;
  QrcIntExpI** _x;
  QrcInt* _lower;
  QrcInt* _upper;
  QrcIntSetI* _set;
  QrcIntMap* _index;  // listed value -> position
  QrcInt* _sorted;    // the listed values, increasing and distinct
  QrcInt _nSorted;
  QrcInt* _firstListed;
  QrcInt* _firstUnlisted;
  QrcInt _others;
  QrcRevWord _firstPropagation;
};

// cards[j] counts the variables equal to values[j]. An empty value array
// gives the true constraint. Errors: 5 when cards and values differ in size,
// 50 for a repeated value, 44 for a level outside 0..3. A variable that
// occurs twice among cards and vars is replaced at its earlier position by a
// copy tied to it by an equality.
QrcConstraint QrcDistribute(const QrcIntVarArray& cards, const QrcIntArray& values,
                            const QrcIntVarArray& vars, QrcFilterLevel level);
QrcConstraint QrcDistribute(const QrcIntVarArray& cards, const QrcIntArray& values,
                            const QrcIntVarArray& vars);
// Values 0 .. n - 1 for n cards; no cards gives the true constraint.
QrcConstraint QrcDistribute(const QrcIntVarArray& cards, const QrcIntVarArray& vars,
                            QrcFilterLevel level);
QrcConstraint QrcDistribute(const QrcIntVarArray& cards, const QrcIntVarArray& vars);
// Without the empty-array shortcut (the flag is not used).
QrcConstraint QrcDistribute(const QrcIntVarArray& cards, const QrcIntArray& values,
                            const QrcIntVarArray& vars, QrcFilterLevel level, QrcBool flag);

// Error 50 ("QrcDistribute", "repeated element in array", value) at the first
// value that occurs twice.
void QrcDistributeCheckRepeatedValues(const QrcIntArray& values);

class QrcCardIntConstraint : public QrcConstraintI {
  QRCLIBRARYCLASS(QrcCardIntConstraint)
  QROSIMPLECLASS(QrcCardIntConstraint, QrcConstraintI)
 public:
  QrcCardIntConstraint(QrcManagerI* manager, QrcIntExpI* card, QrcInt value, QrcInt n,
                       QrcIntExpI** vars);
  void post() override;
  void propagate() override;
  QrcBool isFalse() const override;
  QrcConstraintI* makeCopy(QrcManagerI* target) const override;
  void display(std::ostream& os) const override;

  void varChanged(QrcIntExpI* x);
  void cardChanged();

 private:
  void close();
  void assign();

  QrcIntExpI* _card;
  QrcInt _value;
  QrcInt _n;
  QrcIntExpI** _vars;
  QrcRevWord _lower;
  QrcRevWord _upper;
};

// card = the number of variables equal to value (the pointers are copied).
QrcConstraint QrcCard(const QrcIntVar& card, QrcInt value, const QrcIntVarArray& vars);
// With copy 0 the constraint reads the array's own storage; extra is unused.
QrcConstraint QrcCard(const QrcIntVar& card, QrcInt value, const QrcIntVarArray& vars, QrcBool copy,
                      QrcInt extra);

#endif
