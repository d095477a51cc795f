// The support search of an allowed table over a closed tuple set: for a
// value at position k whose support was lost, the first tuple of the set's
// (k, value) list after the value's frontier whose values all lie in their
// domains, which keeps the table generalised arc consistent. Each storage
// mode of the set has its algorithm, in a file of its own:
//  - mode 0 (qrctablewords.cpp) steps along the list by words of 64 tuples,
//    the tuples holding a domain value at every other position as bits;
//  - mode 1 (qrctablejumps.cpp) jumps from a tuple to the nearest newer one
//    holding a domain value at each position that left its domain;
//  - mode 2 (qrctableprobes.cpp) walks the list and the tuples' rows in
//    step, jumping by the probe values that cycle through each column.
// A search reads the domains once at its start, as probes or as masks of the
// columns' ranks (qrctableseek.cpp), and answers a tuple number: the
// constraint makes the tuple record. Searches keep trivially destructible
// locals only.
#ifndef QRC_TABLE_SEEK_H
#define QRC_TABLE_SEEK_H

#include "qrcint.h"
#include "qrctablerecords.h"
#include "qrctupleset.h"

// The rows of modes 1 and 2 and a domain read for many tests (qrctableseekinline.h).
template <typename T>
struct QrcTableRows;
struct QrcDomainProbe;

class QrcTableSeekerI {
 public:
  QrcTableSeekerI()
      : _set(nullptr),
        _records(nullptr),
        _arity(0),
        _values(nullptr),
        _slots(nullptr),
        _probes(nullptr),
        _masks(nullptr),
        _ranks(nullptr),
        _masked(false),
        _sorted(nullptr),
        _sizes(nullptr),
        _rankMasked(false),
        _sources(nullptr) {}
  // Searches the closed set for the positions' records, arity of them; the
  // search's own records on the manager's heap.
  void initialise(QrcManagerI* m, QrcTupleSetI* set, const QrcGACVar* records, QrcInt arity);
  // The number of the first tuple holding the value at its position, after
  // its frontier, whose values all lie in their domains; -1 when none. With
  // mode 0's walks inline (qrctablewords.cpp).
  QrcInt seek(const QrcGACValue* value);

 private:
  template <int R>
  QrcInt arity() const {
    return R ? R : _arity;
  }
  // The value's candidate slots [p, end) in its (column, value) list: those
  // after its frontier's slot; a the arity. False when there is none.
  inline bool candidateSlots(const QrcGACValue* value, QrcInt a, QrcInt& p, QrcInt& end) const;

  // Mode 0 (qrctablewords.cpp): tuples by slot of the value's list.
  // The first candidate of slots [p, end) of column k whose values lie in their domains.
  template <int R>
  inline QrcInt walkShortList(const QrcTupleColumn& col, QrcInt p, QrcInt end, QrcInt k);
  // The same through the probes, when the set has no bits.
  inline QrcInt walkProbes(const QrcTupleColumn& col, QrcInt p, QrcInt end);
  // Whether every value lies in its domain: by the masks, without branches,
  // when every domain has one, else by the probes.
  inline bool holdsDomainValues(const QrcInt* values) const;
  QrcInt seekInBits(const QrcGACValue* value, QrcInt p);

  // Mode 1 (qrctablejumps.cpp): the set's rows, values by rank (T the rows'
  // element type); Masked: the domains are read as rank masks at the start
  // of a search, else through the probes. Over rank masks, by the jump rows
  // where the set has them.
  QrcInt seekJumps(const QrcGACValue* value);
  template <typename T, bool Masked>
  QrcInt seekMode1(const QrcGACValue* value);
  template <typename T, bool Masked>
  QrcInt jumpMode1(const QrcTableRows<T>& in, QrcInt t, QrcInt k, QrcInt vRank);
  // By the set's jump rows of the value's column (rank masks only), R
  // positions (0: any); jumpRows answers the slot taken, -1 when none.
  template <typename T, int R>
  QrcInt seekJumpRows(const QrcGACValue* value);
  template <typename T, int R>
  QrcInt jumpRows(const T* jumps, QrcInt stride, QrcInt p, const QrcUInt* masks);

  // Mode 2 (qrctableprobes.cpp): over rank masks, R positions (0: any),
  // searchMode2 answering the slot of the candidate taken, -1 when none;
  // else through the probes.
  QrcInt seekProbes(const QrcGACValue* value);
  template <typename T, int R>
  QrcInt seekMode2(const QrcGACValue* value);
  template <typename T, int R>
  QrcInt searchMode2(const QrcTableRows<T>& in, const QrcUInt* ranks, QrcInt p, QrcInt k,
                     QrcInt vRank, QrcInt end);
  template <typename T>
  QrcInt seekMode2ByProbes(const QrcGACValue* value);
  template <typename T>
  QrcInt jumpMode2(const QrcTableRows<T>& in, QrcInt failed, QrcInt k, QrcInt vRank, QrcInt end);
  // The first tuple, not older than the target, that may hold a domain value
  // at c (cur walks the list along); -1 when none.
  template <typename T>
  QrcInt probe(const QrcTableRows<T>& in, QrcInt c, QrcInt k, QrcInt vRank, QrcInt target,
               QrcInt& cur, QrcInt end);

  // The domains at the start of a search (qrctableseek.cpp and
  // qrctableseekinline.h). The rows of modes 1 and 2, read by rank.
  template <typename T>
  inline QrcTableRows<T> rowsOf() const;
  // Every domain but k's as rank masks (k's holds every rank), else every
  // domain through the probes.
  template <bool Masked>
  inline void readDomains(QrcInt k);
  // Whether the rank-th smallest value of column c lies in x[c]'s domain.
  template <bool Masked>
  inline bool holdsRank(QrcInt c, QrcInt rank);
  // Whether the ranks of a row lie in their domains, position k aside.
  template <typename T, bool Masked>
  inline bool holdsRanks(const T* ranks, QrcInt k);
  // Per position, the plain domain set whose first word readRanks last read
  // the ranks from.
  struct RankSource;
  // The domain of x[c] by the ranks of the column's values, into _ranks[c] and returned.
  inline QrcUInt readRanks(QrcInt c);
  // The forms readRanks does not read inline.
  void readRanksApart(QrcInt c);
  // readRanksApart's pieces: a plain set from the column's first value on,
  // remembered as the source of the next reads (true when its first word
  // holds the ranks); the ranks of a column of other values, one by one; of
  // consecutive values from the domain's words, set or range.
  bool readSource(QrcInt c, const QrcTupleColumn& col);
  QrcUInt ranksByValue(QrcInt c, const QrcTupleColumn& col) const;
  QrcUInt ranksOfConsecutive(QrcInt c, const QrcTupleColumn& col) const;

  QrcTupleSetI* _set;
  const QrcGACVar* _records;
  QrcInt _arity;
  const QrcInt* _values;  // the set's values by tuple number, arity per tuple
  const int32_t* _slots;  // the set's slots by tuple number and column
  QrcDomainProbe* _probes;
  QrcUInt* _masks;  // per position, when _masked: bit i for lo + i in the domain
  // Per position: bit r for the column's r-th smallest value in the domain;
  // read at the start of a search.
  QrcUInt* _ranks;
  bool _masked;
  const QrcInt** _sorted;  // per position, the column's values in increasing order
  QrcInt* _sizes;          // mode 2: per position, the domain's size once read in a search, else -1
  bool _rankMasked;        // every column has at most 64 values, and at most 64 positions
  RankSource* _sources;
};

#endif
