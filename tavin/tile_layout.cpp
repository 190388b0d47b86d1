#include "tavin/tile_layout.h"

#include "win32/win32.h"

namespace tavin::tiles {

namespace {

// Bottom cell states; -1 where no cell exists.
constexpr int8_t kNoCell = -1;
constexpr int8_t kFilled = 0;
constexpr int8_t kEmpty = 1;
constexpr int8_t kGuarded = 2;

// The first and last column of each bottom row.
constexpr uint8_t kFirstColumn[kBottomRows + 1] = {0, 1, 1, 2, 1};
constexpr uint8_t kLastColumn[kBottomRows + 1] = {0, 6, 7, 5, 6};

// Positions 1..9, the central stack, are filled first whenever one of them is open.
constexpr uint8_t kLastPriorityPosition = 9;

constexpr uint32_t kRandomMultiplier = 214013;
constexpr uint32_t kRandomIncrement = 2531011;
constexpr uint32_t kHighestDraw = 32767;

struct Candidate {
  uint8_t row;  // bottom row, middle-grid row, or 0 for the top
  uint8_t column;
  uint8_t layer;
};

// Which cells are filled, and which bottom rows have had a tile. The bottom and middle grids
// keep a spare row and column around them so that numbers start at 1 and a look one cell past
// an edge finds no cell.
struct Board {
  int8_t bottom[kBottomRows + 2][kBottomColumns + 2];
  int8_t middle[kMiddleCells + 1][kMiddleCells + 1];
  int8_t top;
  uint8_t rowUntouched[kBottomRows + 1];
};

// At most one candidate per cell.
struct CandidateList {
  Candidate entries[kPositions];
  uint8_t count;
  uint8_t priority[kPositions];  // indexes into entries of the positions 1..9
  uint8_t priorityCount;
};

struct KindEntry {
  uint8_t kind;
  uint8_t pairsLeft;
};

// The generation state, reset by every generation.
struct Generation {
  uint32_t random;
  bool lookAhead;
  Board board;
  CandidateList list;
  KindEntry kinds[kKindsDealt];
  uint8_t kindCount;
  int tilesLeft;
};

Generation gState;
Deal gDeal;

uint32_t NextDraw() {
  gState.random = gState.random * kRandomMultiplier + kRandomIncrement;
  return (gState.random >> 16) & 0x7FFF;
}

// 0..n, n itself only at the highest draw: every value names one of n + 1 pool entries.
uint32_t RandomPoolIndex(uint32_t n) {
  return n * NextDraw() / kHighestDraw;
}

// One of n entries. The highest draw would give n, which names none: it gives the last.
uint32_t RandomIndex(uint32_t n) {
  const uint32_t i = RandomPoolIndex(n);
  return n != 0 && i >= n ? n - 1 : i;
}

uint8_t PositionOf(const Candidate& c) {
  switch (c.layer) {
    case kBottomLayer:
      return kBottomPosition[c.row][c.column];
    case kMiddleLayer:
      return kMiddlePosition[c.row][c.column];
    default:
      return kTopPosition;
  }
}

void ResetBoard(Board* board) {
  for (auto& row : board->bottom) {
    for (int8_t& cell : row) cell = kNoCell;
  }
  for (int r = 1; r <= kBottomRows; ++r) {
    for (int c = 1; c <= kBottomColumns; ++c) {
      if (kBottomPosition[r][c] != 0) board->bottom[r][c] = kEmpty;
    }
  }
  for (uint8_t guarded : kGuardedPositions) {
    const Place place = PlaceOf(guarded);
    board->bottom[place.row][place.column] = kGuarded;
  }
  for (auto& row : board->middle) {
    for (int8_t& cell : row) cell = kEmpty;
  }
  board->top = kEmpty;
  for (uint8_t& untouched : board->rowUntouched) untouched = 1;
}

void Fill(Board* board, const Candidate& c) {
  switch (c.layer) {
    case kBottomLayer:
      board->bottom[c.row][c.column] = kFilled;
      board->rowUntouched[c.row] = 0;
      break;
    case kMiddleLayer:
      board->middle[c.row][c.column] = kFilled;
      break;
    default:
      board->top = kFilled;
  }
}

void Append(CandidateList* list, uint8_t row, uint8_t column, uint8_t layer) {
  if (list->count >= kPositions) return;
  const Candidate c{row, column, layer};
  if (PositionOf(c) <= kLastPriorityPosition) list->priority[list->priorityCount++] = list->count;
  list->entries[list->count++] = c;
}

// The last entry takes the place of the one removed.
void RemoveCandidate(CandidateList* list, uint32_t i) {
  if (i >= list->count) return;
  list->entries[i] = list->entries[list->count - 1];
  --list->count;
}

// Every empty cell a tile may go to now: rows grow from their middle outward, a middle cell
// once the cell under it is filled, the top once the middle layer is full.
void CollectCandidates(const Board& board, CandidateList* list) {
  list->count = 0;
  list->priorityCount = 0;
  for (uint8_t row = 1; row <= kBottomRows; ++row) {
    const int8_t* cells = board.bottom[row];
    if (board.rowUntouched[row] != 0) {
      Append(list, row, 3, kBottomLayer);
      Append(list, row, 4, kBottomLayer);
      continue;
    }
    const int8_t* below = board.bottom[row + 1];
    int8_t p = cells[kFirstColumn[row]];
    for (uint8_t c = kFirstColumn[row] + 1; c <= kLastColumn[row]; ++c) {
      const int8_t s = cells[c];
      if (s == p) continue;
      if ((p == kEmpty && s == kFilled) || (p == kGuarded && s == kFilled && below[c] == kFilled)) {
        Append(list, row, static_cast<uint8_t>(c - 1), kBottomLayer);
      } else if ((p == kFilled && s == kEmpty) ||
                 (p == kFilled && s == kGuarded && below[c - 1] == kFilled)) {
        Append(list, row, c, kBottomLayer);
      }
      p = s;
    }
  }
  bool middleFull = true;
  for (uint8_t r = 1; r <= kMiddleCells; ++r) {
    for (uint8_t c = 1; c <= kMiddleCells; ++c) {
      if (board.middle[r][c] != kEmpty) continue;
      middleFull = false;
      if (board.bottom[r + 1][c + 2] == kFilled) Append(list, r, c, kMiddleLayer);
    }
  }
  if (board.top == kEmpty && middleFull) Append(list, 0, 0, kTopLayer);
}

void PlaceTile(const Candidate& c, uint8_t kind) {
  Fill(&gState.board, c);
  const uint8_t position = PositionOf(c);
  gDeal.kinds[position] = kind;
  if (gDeal.filled < kPositions) gDeal.order[gDeal.filled++] = position;
}

void PlaceBottom(uint8_t row, uint8_t column, uint8_t kind) {
  PlaceTile(Candidate{row, column, kBottomLayer}, kind);
}

void Collect() {
  CollectCandidates(gState.board, &gState.list);
}

// The first candidate near the middle of rows 1, 2 and 4 (middle cells count by their own
// row and column), else one at random.
uint32_t PreferInner(uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    const Candidate& c = gState.list.entries[i];
    if ((c.row == 1 && c.column >= 2 && c.column <= 5) ||
        (c.row == 2 && c.column >= 2 && c.column <= 6) ||
        (c.row == 4 && c.column >= 2 && c.column <= 5)) {
      return i;
    }
  }
  return RandomIndex(count);
}

// Whether pairs can fill every empty cell of `board`, each pair two cells open at once.
bool Completable(const Board& board, int tilesLeft) {
  if (tilesLeft <= 0) return true;
  CandidateList list;
  CollectCandidates(board, &list);
  for (uint8_t a = 0; a < list.count; ++a) {
    for (uint8_t b = a + 1; b < list.count; ++b) {
      Board next = board;
      Fill(&next, list.entries[a]);
      Fill(&next, list.entries[b]);
      if (Completable(next, tilesLeft - 2)) return true;
    }
  }
  return false;
}

bool PairCompletes(const Candidate& first, const Candidate& second) {
  Board next = gState.board;
  Fill(&next, first);
  Fill(&next, second);
  return Completable(next, gState.tilesLeft - 2);
}

// The pair to take instead of a drawn one that cannot be completed: the first in list order
// that can, its first tile one of the central stack whenever one of those is open.
bool FirstCompletablePair(Candidate* first, Candidate* second) {
  Collect();
  const CandidateList& list = gState.list;
  for (int pass = 0; pass < 2; ++pass) {
    for (uint8_t a = 0; a < list.count; ++a) {
      const bool central = PositionOf(list.entries[a]) <= kLastPriorityPosition;
      if (list.priorityCount != 0 && central != (pass == 0)) continue;
      for (uint8_t b = 0; b < list.count; ++b) {
        if (b == a || !PairCompletes(list.entries[a], list.entries[b])) continue;
        *first = list.entries[a];
        *second = list.entries[b];
        return true;
      }
    }
    if (list.priorityCount == 0) break;
  }
  return false;
}

// Draws a candidate outside row `u` (any layer's row number counts), dropping the ones in it.
bool DrawOutsideRow(uint8_t u, uint32_t* i) {
  CandidateList& list = gState.list;
  *i = RandomIndex(list.count);
  while (list.count > 0 && list.entries[*i].row == u) {
    RemoveCandidate(&list, *i);
    *i = RandomIndex(list.count);
  }
  return list.count > 0;
}

void RemoveKind(uint8_t entry) {
  gState.kinds[entry] = gState.kinds[gState.kindCount - 1];
  --gState.kindCount;
}

// A row of four: two kinds side by side (opening 1) or alternating (opening 2), then a pair of
// each kind elsewhere, never in the same row. False when no cell outside the row was open.
bool OpenWithRow(uint8_t opening, uint8_t k0, uint8_t k1) {
  const uint8_t u = static_cast<uint8_t>(RandomIndex(4) + 1);
  const uint8_t v = u == 1 || u == 4 ? static_cast<uint8_t>(RandomIndex(3) + 1) : 2;
  const uint8_t rowKinds[2][4] = {{k0, k0, k1, k1}, {k0, k1, k0, k1}};
  for (uint8_t j = 0; j < 4; ++j)
    PlaceBottom(u, static_cast<uint8_t>(v + j), rowKinds[opening - 1][j]);
  uint32_t i = 0;
  for (int s = 0; s < 4; ++s) {
    if (s % 2 == 0) {
      Collect();
    } else {
      RemoveCandidate(&gState.list, i);
    }
    // The other rows always offer a cell, so the list never runs dry here.
    if (!DrawOutsideRow(u, &i)) return false;
    PlaceTile(gState.list.entries[i], s < 2 ? k0 : k1);
  }
  RemoveKind(0);
  RemoveKind(1);
  gState.tilesLeft -= 8;
  return true;
}

// A stacked pair: one kind on a cell of the central four and on the middle cell above it,
// then its second pair anywhere open.
void OpenWithStack(uint8_t k0) {
  const uint8_t u = static_cast<uint8_t>(RandomIndex(2) + 2);
  const uint8_t v = static_cast<uint8_t>(RandomIndex(2) + 3);
  PlaceBottom(u, v, k0);
  PlaceTile(Candidate{static_cast<uint8_t>(u - 1), static_cast<uint8_t>(v - 2), kMiddleLayer}, k0);
  Collect();
  uint32_t i = RandomIndex(gState.list.count);
  PlaceTile(gState.list.entries[i], k0);
  RemoveCandidate(&gState.list, i);
  i = RandomIndex(gState.list.count);
  PlaceTile(gState.list.entries[i], k0);
  RemoveKind(0);
  gState.tilesLeft -= 4;
}

// One pair of the main loop: a kind from the list, its first tile in the central stack when
// it can go there, its second from the same candidates.
bool PlacePair() {
  CandidateList& list = gState.list;
  Collect();
  const uint32_t j = RandomIndex(gState.kindCount);
  const uint8_t kind = gState.kinds[j].kind;
  if (--gState.kinds[j].pairsLeft == 0) RemoveKind(static_cast<uint8_t>(j));

  const int tilesBefore = gState.tilesLeft;
  int tilesLeft = tilesBefore;
  uint32_t i;
  if (list.priorityCount != 0) {
    i = list.priority[RandomIndex(list.priorityCount)];
  } else if (tilesLeft <= 6 && list.count <= static_cast<uint32_t>(tilesLeft)) {
    i = PreferInner(list.count);
  } else {
    i = RandomIndex(list.count);
  }
  const bool firstValid = i < list.count;
  const Candidate first = firstValid ? list.entries[i] : Candidate{};
  RemoveCandidate(&list, i);
  --tilesLeft;
  if (tilesLeft <= 6 && list.count < static_cast<uint32_t>(tilesLeft)) {
    i = PreferInner(list.count);
  } else {
    i = RandomIndex(list.count);
  }
  const bool secondValid = firstValid && i < list.count;
  Candidate second = secondValid ? list.entries[i] : Candidate{};

  Candidate chosenFirst = first;
  if (!gState.lookAhead && !secondValid) return false;
  if (gState.lookAhead &&
      (!secondValid || (tilesBefore <= kLookAheadTiles && !PairCompletes(first, second)))) {
    gDeal.lookedAhead = true;
    if (!FirstCompletablePair(&chosenFirst, &second)) return false;
  }
  PlaceTile(chosenFirst, kind);
  PlaceTile(second, kind);
  gState.tilesLeft -= 2;
  return true;
}

}  // namespace

void GenerateLayoutFromSeed(uint32_t seed, LastPairs lastPairs) {
  uint8_t pool[kKinds];
  for (uint8_t k = 0; k < kKinds; ++k) pool[k] = static_cast<uint8_t>(k + 1);
  gState.random = seed;
  gState.lookAhead = lastPairs == LastPairs::kLookAhead;
  ResetBoard(&gState.board);
  gState.list.count = 0;
  gState.list.priorityCount = 0;
  for (uint8_t& kind : gDeal.kinds) kind = 0;
  gDeal.filled = 0;
  gDeal.lookedAhead = false;

  uint8_t chosen[kKindsDealt];
  uint32_t n = kKinds - 1;
  for (uint8_t& kind : chosen) {
    const uint32_t i = RandomPoolIndex(n);
    kind = pool[i];
    pool[i] = pool[n];
    --n;
  }
  for (int k = 0; k < kKindsDealt; ++k) gState.kinds[k] = KindEntry{chosen[k], 2};
  gState.kindCount = kKindsDealt;
  gState.tilesLeft = kPositions;

  const uint8_t opening = static_cast<uint8_t>(RandomIndex(3) + 1);
  gDeal.opening = opening;
  bool opened = true;
  if (opening == 3) {
    OpenWithStack(chosen[0]);
  } else {
    opened = OpenWithRow(opening, chosen[0], chosen[1]);
  }
  while (opened && gState.tilesLeft > 0 && PlacePair()) {
  }
}

namespace {

// The calendar time in whole seconds since 1970, as the C runtime's time() counts it.
uint32_t CalendarSeconds() {
  constexpr uint64_t kUnixEpoch = 116444736000000000ull;  // 1970-01-01 in 100 ns since 1601
  constexpr uint64_t kTicksPerSecond = 10000000;
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const uint64_t ticks = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;
  return static_cast<uint32_t>((ticks - kUnixEpoch) / kTicksPerSecond);
}

}  // namespace

void GenerateLayout() {
  GenerateLayoutFromSeed(CalendarSeconds());
}

const Deal& LastDeal() {
  return gDeal;
}

}  // namespace tavin::tiles
