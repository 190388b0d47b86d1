// ListMod orders exactly as its reference algorithms do. The algorithms are written out here
// once more, literally (the quicksort that pivots at the low end, the forward Fisher-Yates
// shuffle, the pool draws), and run on the raw records of the host list before the plug-in
// runs; the plug-in's list must then hold the very same records in the very same places, equal
// elements included, over random lists of every kind and with or without working memory.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "host/host_method.h"
#include "tests/ostrel/list_mod_support.h"

namespace {

using list_testing::ListModTest;
using list_testing::Out;
using refhost::Instance;
using testing_support::Integer;
using testing_support::TestText;
using Record = std::vector<uint8_t>;

// ---- The reference algorithms, on records.

template <typename T>
T Read(const Record& r, size_t offset) {
  T v;
  std::memcpy(&v, r.data() + offset, sizeof v);
  return v;
}

double Difference(uint16_t kind, const Record& a, const Record& b) {
  switch (kind) {
    case tag::kInteger:
      return double(Read<int32_t>(a, 2)) - double(Read<int32_t>(b, 2));
    case tag::kPoint: {
      const double x = double(Read<int16_t>(a, 2)) - Read<int16_t>(b, 2);
      return x != 0 ? x : double(Read<int16_t>(a, 4)) - Read<int16_t>(b, 4);
    }
    case tag::kRange: {
      const double s = double(Read<int32_t>(a, 2)) - double(Read<int32_t>(b, 2));
      return s != 0 ? s : double(Read<int32_t>(a, 6)) - double(Read<int32_t>(b, 6));
    }
    case tag::kReal:
      return Read<double>(a, 2) - Read<double>(b, 2);
    case tag::kText: {
      const char* x = Read<const char*>(a, 14);
      const char* y = Read<const char*>(b, 14);
      return x != nullptr && y != nullptr ? std::strcmp(x, y) : 0;
    }
    case tag::kDuration:
      return double(Read<int32_t>(a, 2)) - double(Read<int32_t>(b, 2));
    case tag::kTripleReal: {
      double d = Read<double>(a, 2) - Read<double>(b, 2);
      if (d == 0.0) d = Read<double>(a, 10) - Read<double>(b, 10);
      if (d == 0.0) d = Read<double>(a, 18) - Read<double>(b, 18);
      return d;
    }
    case tag::kFlag:
      return double(Read<int16_t>(a, 2)) - Read<int16_t>(b, 2);
    default:
      return 0;
  }
}

struct LiteralSort {
  std::vector<Record>& items;
  uint16_t kind;
  bool ascending;
  double Compare(size_t a, size_t b) {
    const double d = Difference(kind, items[a], items[b]);
    return ascending ? d : -d;
  }
  void Run(size_t lo, size_t hi) {
    while (hi - lo > 1) {
      size_t i = lo, j = hi;
      for (;;) {
        i = i + 1;
        while (i < hi && Compare(i, lo) < 0) i = i + 1;
        j = j - 1;
        while (j > lo && Compare(j, lo) > 0) j = j - 1;
        if (i < j) {
          std::swap(items[i], items[j]);
          continue;
        }
        break;
      }
      if (j == lo) {
        lo = lo + 1;
        continue;
      }
      std::swap(items[lo], items[j]);
      if (hi - (j + 1) > j - lo) {
        Run(lo, j);
        lo = j + 1;
      } else {
        Run(j + 1, hi);
        hi = j;
      }
    }
  }
};

// The host's random numbers as a second host with the same seed draws them.
class Draws {
 public:
  int32_t Next(int32_t low, int32_t high) {
    int32_t out = 0;
    refhost::CallHostMethod(host_.ServiceObject(abi::service::kSystem), 1,
                            abi::method::kRandomInteger, low, high, static_cast<void*>(&out));
    return out;
  }

 private:
  refhost::Host host_;
};

// ---- Random lists of every kind.

class ListOrder : public ListModTest {
 protected:
  uint16_t KindTag(uint32_t kind) {
    const uint16_t tags[] = {
        0,          tag::kInteger,   tag::kPoint,    tag::kRange,      tag::kReal,
        tag::kText, tag::kReference, tag::kDuration, tag::kTripleReal, tag::kFlag};
    return tags[kind];
  }
  uint32_t RecordSize(uint32_t kind) {
    const uint32_t sizes[] = {0, 6, 6, 10, 10, 18, 18, 14, 26, 4};
    return sizes[kind];
  }
  double Special(std::mt19937& random) {
    const double specials[] = {0.0,
                               -0.0,
                               1.0,
                               -1.0,
                               2.5,
                               std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(),
                               1e300,
                               -1e300};
    return specials[random() % 10];
  }
  // Fills a list of `kind` with n values, often equal, with the awkward values each kind has.
  void FillRandom(Instance* list, uint32_t kind, uint32_t n, std::mt19937& random, bool plain) {
    ASSERT_EQ(SetCount(list, static_cast<int32_t>(n)), 0);
    const std::vector<std::string> words = {"", "a", "b", "ab", "ba", "-"};
    for (uint32_t i = 1; i <= n; ++i) {
      const int32_t small = static_cast<int32_t>(random() % 7) - 3;
      uint16_t status = 0;
      switch (kind) {
        case list_testing::kInteger: {
          const int32_t v = random() % 4 == 0 ? static_cast<int32_t>(random()) : small;
          status = SetInt(list, static_cast<int32_t>(i), v);
          break;
        }
        case list_testing::kPoint: {
          const PointValue v{tag::kPoint, static_cast<int16_t>(small),
                             static_cast<int16_t>(random() % 3)};
          status = SetAt(list, static_cast<int32_t>(i), &v);
          break;
        }
        case list_testing::kRange: {
          const RangeValue v{tag::kRange, small, static_cast<int32_t>(random() % 3)};
          status = SetAt(list, static_cast<int32_t>(i), &v);
          break;
        }
        case list_testing::kReal: {
          const RealValue v{tag::kReal, plain ? small * 0.5 : Special(random)};
          status = SetAt(list, static_cast<int32_t>(i), &v);
          break;
        }
        case list_testing::kString: {
          if (random() % 5 == 0) continue;  // the default element: an empty text of its own
          TestText text(words[random() % words.size()]);
          status = SetAt(list, static_cast<int32_t>(i), text.Value());  // "" has no text
          break;
        }
        case list_testing::kDuration: {
          // Counts on both sides of zero and far apart: every count is a signed number.
          const int32_t counts[] = {-2, -1, 0, 1, 2, INT32_MIN, INT32_MAX};
          const DurationValue v{tag::kDuration, static_cast<uint32_t>(counts[random() % 7]),
                                plain ? 1u : static_cast<uint32_t>(random() % 2),
                                plain ? 60u : static_cast<uint32_t>(random() % 3)};
          status = SetAt(list, static_cast<int32_t>(i), &v);
          break;
        }
        case list_testing::kTriple: {
          const TripleRealValue v{
              tag::kTripleReal,
              {double(random() % 2), plain ? double(small) : Special(random), double(small)}};
          status = SetAt(list, static_cast<int32_t>(i), &v);
          break;
        }
        case list_testing::kFlag: {
          const uint16_t flags[] = {0, 1, 0xFFFF};  // a flag is a signed 16-bit number
          const FlagValue v{tag::kFlag, flags[random() % 3]};
          status = SetAt(list, static_cast<int32_t>(i), &v);
          break;
        }
      }
      ASSERT_EQ(status, 0) << kind << " " << i;
    }
  }
  std::vector<Record> Raw(Instance* list, uint32_t kind) {
    return Records(Rec(list)->list, RecordSize(kind));
  }
};

const uint32_t kSortable[] = {
    list_testing::kInteger, list_testing::kPoint,    list_testing::kRange,  list_testing::kReal,
    list_testing::kString,  list_testing::kDuration, list_testing::kTriple, list_testing::kFlag};

TEST_F(ListOrder, SortsGiveTheReferenceOrderForEveryKind) {
  std::mt19937 random(20261209);
  for (uint32_t kind : kSortable) {
    for (int round = 0; round < 24; ++round) {
      const uint32_t n = round < 4 ? static_cast<uint32_t>(round) : 5 + random() % 120;
      const bool plain = round % 3 == 0;
      // Odd rounds sort once first, so the sort under test starts from ordered input.
      const bool presorted = round % 2 == 1;
      const bool ascending = round % 4 < 2;
      // Every fifth round without working memory: the same algorithm on the host list.
      const bool starved = round % 5 == 4;
      Instance* list = Make(kind);
      FillRandom(list, kind, n, random, plain);
      if (presorted) Set(list, ascending ? "sortAscend" : "sortDescend", nullptr, nullptr);
      std::vector<Record> expected = Raw(list, kind);
      LiteralSort{expected, KindTag(kind), ascending}.Run(0, expected.size());
      if (starved) host_->FailAllocations(0);
      Out out;
      const uint16_t status =
          Get(list, ascending ? "sortAscend" : "sortDescend", nullptr, out.data());
      host_->StopFailingAllocations();
      EXPECT_EQ(status, n == 0 ? 1 : 0);
      EXPECT_EQ(out.Int(), static_cast<int32_t>(n));
      EXPECT_EQ(Raw(list, kind), expected)
          << "kind " << kind << ", round " << round << ", " << n << " elements";
      host_->Destroy(list);
    }
  }
}

TEST_F(ListOrder, ShufflesAndDrawsTakeTheSameNumbersToTheSameResult) {
  Draws draws;
  std::mt19937 random(7);
  for (uint32_t kind : kSortable) {
    for (int round = 0; round < 6; ++round) {
      const uint32_t n = round < 3 ? static_cast<uint32_t>(round) : 3 + random() % 90;
      const bool starved = round == 5;
      Instance* list = Make(kind);
      FillRandom(list, kind, n, random, false);
      std::vector<Record> expected = Raw(list, kind);
      for (uint32_t i = 1; i < n; ++i) {
        const int32_t r = draws.Next(static_cast<int32_t>(i), static_cast<int32_t>(n));
        std::swap(expected[i - 1], expected[r - 1]);
      }
      if (starved) host_->FailAllocations(0);
      EXPECT_EQ(Set(list, "shuffle", nullptr, nullptr), n == 0 ? 1 : 0);
      host_->StopFailingAllocations();
      EXPECT_EQ(Raw(list, kind), expected) << "kind " << kind << ", round " << round;
      host_->Destroy(list);
    }
  }

  // "random" draws from 1..n; "randomBegin" from a pool of positions it empties in turn.
  Instance* list = Make();
  FillInts(list, {10, 11, 12, 13, 14, 15, 16});
  for (int i = 0; i < 5; ++i) {
    Out out;
    ASSERT_EQ(Get(list, "random", nullptr, out.data()), 0);
    EXPECT_EQ(out.Int(), 9 + draws.Next(1, 7));
  }
  std::vector<int32_t> pool;
  for (int read = 0; read < 20; ++read) {
    if (pool.empty()) pool = {1, 2, 3, 4, 5, 6, 7};
    const int32_t r = draws.Next(1, static_cast<int32_t>(pool.size()));
    const int32_t position = pool[r - 1];
    pool.erase(pool.begin() + (r - 1));
    Out out;
    ASSERT_EQ(Get(list, "randomBegin", nullptr, out.data()), 0);
    EXPECT_EQ(out.Int(), 9 + position) << read;
  }
}

// The sort asks the host for each record once and writes back only what moved.
TEST_F(ListOrder, ASortCostsAtMostTwoHostCallsAnElement) {
  Instance* list = Make();
  std::vector<int32_t> values;
  for (int i = 0; i < 500; ++i) values.push_back((i * 7919) % 1000);
  FillInts(list, values);
  host_->SetTracing(true);
  host_->ClearTrace();
  Set(list, "sortAscend", nullptr, nullptr);
  EXPECT_LE(host_->Trace().size(), 2u * 500 + 16);
  host_->ClearTrace();
  // Already in order: nothing is written.
  Set(list, "sortAscend", nullptr, nullptr);
  size_t writes = 0;
  for (const refhost::HostCall& call : host_->Trace()) {
    writes += call.method == "ListService.SetListItem" ? 1 : 0;
  }
  EXPECT_EQ(writes, 0u);
  EXPECT_LE(host_->Trace().size(), 500u + 16);
  host_->ClearTrace();
  Set(list, "shuffle", nullptr, nullptr);
  EXPECT_LE(host_->Trace().size(), 3u * 500 + 16);
  host_->SetTracing(false);
}

}  // namespace
