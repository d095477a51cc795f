// Bin packing with QrcPack in the search engine: items of the given weights
// go into bins of one capacity, as few bins as can hold them. The search
// minimises the number of bins used; a plain depth-first search over the
// placements checks the least number, and the packing found is checked.
#include <iostream>

#include "qro.h"
#include "qroext.h"

namespace {

const int Items = 12;
const int Capacity = 100;
const QrcInt Weight[Items] = {20, 30, 40, 35, 45, 25, 50, 30, 35, 40, 30, 20};

// Whether items from `item` on fit into `bins` bins whose loads are given;
// an item goes into a bin already opened or into the next one.
bool fits(int item, int bins, int opened, int* load) {
  if (item == Items) return true;
  for (int j = 0; j < bins && j <= opened; ++j) {
    if (load[j] + Weight[item] > Capacity) continue;
    load[j] += static_cast<int>(Weight[item]);
    bool ok = fits(item + 1, bins, j == opened ? opened + 1 : opened, load);
    load[j] -= static_cast<int>(Weight[item]);
    if (ok) return true;
  }
  return false;
}

int leastBins() {
  int load[Items] = {};
  int bins = 1;
  while (!fits(0, bins, 0, load)) ++bins;
  return bins;
}

}  // namespace

int main() {
  QrcManager manager(QrcNoEdit);
  // As many bins as items at most, each loaded within [0, Capacity]; item i
  // goes into bin where[i]. QrcPack ties them: load[j] is the weight in bin j,
  // and used is the number of bins that receive an item.
  QrcIntVarArray load(manager, Items, 0, Capacity);
  QrcIntVarArray where(manager, Items, 0, Items - 1);
  QrcIntVar used(manager, 1, Items);
  manager.add(QrcPack(load, where, QrcIntArray(manager, Items, Weight), used));
  // The bins are interchangeable: item i goes into one of the first i + 1.
  for (int i = 0; i < Items; ++i) manager.add(where[i] <= i);

  // Each solution of the search uses fewer bins than the one before; the
  // last one found is optimal once the search is exhausted.
  QrcSearch search(manager, QrcGenerate(where));
  search.setObjMin(used, 1, 0.0);
  QrcInt best = 0, bin[Items] = {};
  while (search.next()) {
    best = used.getValue();
    for (int i = 0; i < Items; ++i) bin[i] = where[i].getValue();
    std::cout << "a packing into " << best << " bins" << std::endl;
  }
  search.end();
  manager.end();
  if (!best) {
    std::cerr << "no packing found" << std::endl;
    return 1;
  }

  // The last packing, bin by bin, checked against the capacity.
  bool ok = true;
  QrcInt opened = 0;
  for (QrcInt j = 0; j < Items; ++j) {
    QrcInt weight = 0;
    for (int i = 0; i < Items; ++i)
      if (bin[i] == j) weight += Weight[i];
    if (!weight) continue;
    ++opened;
    std::cout << "bin " << j << ":";
    for (int i = 0; i < Items; ++i)
      if (bin[i] == j) std::cout << " " << Weight[i];
    std::cout << " (" << weight << ")" << std::endl;
    ok = ok && weight <= Capacity;
  }
  ok = ok && opened == best;
  const int least = leastBins();
  if (!ok || best != least) {
    std::cerr << "wrong answer: " << least << " bins are enough" << std::endl;
    return 1;
  }
  return 0;
}
