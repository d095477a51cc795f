// A sudoku in the search engine: 81 variables over 1..9, one all-different
// constraint per row, column and block, at its strongest filter level. The
// search asks for a second solution to show that the puzzle has only one;
// the one found is checked against the rules, the givens and the known answer.
#include <iostream>

#include "qro.h"
#include "qroext.h"

namespace {

// The puzzle and its one solution, row by row; '.' is an empty cell.
const char* const Puzzle =
    "53..7...."
    "6..195..."
    ".98....6."
    "8...6...3"
    "4..8.3..1"
    "7...2...6"
    ".6....28."
    "...419..5"
    "....8..79";
const char* const Answer =
    "534678912"
    "672195348"
    "198342567"
    "859761423"
    "426853791"
    "713924856"
    "961537284"
    "287419635"
    "345286179";

// Whether the grid (digits, row by row) keeps the givens and the rules.
bool isSolution(const int* grid) {
  for (int a = 0; a < 9; ++a) {
    bool inRow[10] = {}, inColumn[10] = {}, inBlock[10] = {};
    for (int b = 0; b < 9; ++b) {
      const int row = grid[9 * a + b], column = grid[9 * b + a];
      const int block = grid[9 * (3 * (a / 3) + b / 3) + 3 * (a % 3) + b % 3];
      if (inRow[row] || inColumn[column] || inBlock[block]) return false;
      if (Puzzle[9 * a + b] != '.' && Puzzle[9 * a + b] - '0' != row) return false;
      inRow[row] = inColumn[column] = inBlock[block] = true;
    }
  }
  return true;
}

}  // namespace

int main() {
  QrcManager manager(QrcNoEdit);
  QrcIntVarArray cells(manager, 81, 1, 9);
  for (int i = 0; i < 81; ++i)
    if (Puzzle[i] != '.') manager.add(cells[i] == Puzzle[i] - '0');

  // Rows, columns and blocks: arrays made with their size, every element set.
  for (int a = 0; a < 9; ++a) {
    QrcIntVarArray row(manager, 9), column(manager, 9), block(manager, 9);
    for (int b = 0; b < 9; ++b) {
      row.set(b, cells[9 * a + b]);
      column.set(b, cells[9 * b + a]);
      block.set(b, cells[9 * (3 * (a / 3) + b / 3) + 3 * (a % 3) + b % 3]);
    }
    // Level 3 filters the domains by matching: most cells follow by propagation.
    manager.add(QrcAllDiff(row, 3));
    manager.add(QrcAllDiff(column, 3));
    manager.add(QrcAllDiff(block, 3));
  }

  // The first solution, then a second one, which a well-made puzzle lacks.
  QrcSearch search(manager, QrcGenerate(cells));
  int grid[81] = {};
  int solutions = 0;
  if (search.next()) {
    ++solutions;
    for (int i = 0; i < 81; ++i) {
      grid[i] = static_cast<int>(cells[i].getValue());
      std::cout << grid[i] << (i % 9 == 8 ? "\n" : i % 3 == 2 ? " | " : " ");
      if (i == 26 || i == 53) std::cout << "------+-------+------\n";
    }
    if (search.next()) ++solutions;
  }
  search.end();
  std::cout << "failures: " << manager.getImpl()->getFails() << std::endl;
  manager.end();

  bool known = true;
  for (int i = 0; i < 81; ++i) known = known && grid[i] == Answer[i] - '0';
  if (solutions != 1 || !isSolution(grid) || !known) {
    std::cerr << "wrong answer (" << solutions << " solutions)" << std::endl;
    return 1;
  }
  return 0;
}
