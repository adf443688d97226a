#include "framework/FlatTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

namespace kb {
namespace {

struct TEntry {
  uint32_t Key;
  int Value;  // 0: empty
};
struct TTraits {
  static uint64_t HashOf(const TEntry& E) { return E.Key; }
  static bool IsEmpty(const TEntry& E) { return E.Value == 0; }
};

std::vector<int> ValuesOf(const TFlatTable<TEntry, TTraits>& T, uint32_t Key) {
  std::vector<int> out;
  T.ForEach(Key, [&](const TEntry& E) { out.push_back(E.Value); });
  std::sort(out.begin(), out.end());
  return out;
}

// Random inserts (plain, or placed by a search for the key) and erases
// over few keys (long probe runs, many entries per key, erases in the
// middle of runs and across the wrap of the array) agree with a multimap.
TEST(FlatTable, AgreesWithAMultimap) {
  std::mt19937 random(7);
  TFlatTable<TEntry, TTraits> table;
  std::multimap<uint32_t, int> model;
  int next = 1;
  for (int step = 0; step < 20000; ++step) {
    const uint32_t key = random() % 40;
    if (random() % 3 != 0 || model.empty()) {
      if (next % 2 == 0) {
        table.Insert({key, next});
      } else {
        // A search that places the entry where its walk ended sees every
        // entry of the key, as ForEach does.
        std::vector<int> seen;
        const size_t slot = table.Probe(key, [&](const TEntry& E) { seen.push_back(E.Value); });
        std::sort(seen.begin(), seen.end());
        ASSERT_EQ(seen, ValuesOf(table, key));
        table.Fill(slot, {key, next});
      }
      model.emplace(key, next);
      ++next;
    } else {
      auto range = model.equal_range(key);
      if (range.first == range.second) {
        EXPECT_FALSE(table.Erase(key, [](const TEntry&) { return true; }));
        continue;
      }
      const int value =
          std::next(range.first, random() % std::distance(range.first, range.second))->second;
      EXPECT_TRUE(table.Erase(key, [value](const TEntry& E) { return E.Value == value; }));
      for (auto it = range.first; it != range.second; ++it)
        if (it->second == value) {
          model.erase(it);
          break;
        }
    }
    ASSERT_EQ(table.Size(), model.size());
    if (step % 97 == 0) {
      for (uint32_t k = 0; k < 40; ++k) {
        std::vector<int> expected;
        auto range = model.equal_range(k);
        for (auto it = range.first; it != range.second; ++it) expected.push_back(it->second);
        std::sort(expected.begin(), expected.end());
        ASSERT_EQ(ValuesOf(table, k), expected) << "key " << k << " at step " << step;
      }
    }
  }
  // A found entry may be changed in place; a cleared table is empty.
  table.Insert({99, 5});
  TEntry* e = table.Find(99, [](const TEntry& E) { return E.Value == 5; });
  ASSERT_NE(e, nullptr);
  e->Value = 6;
  EXPECT_EQ(ValuesOf(table, 99), std::vector<int>{6});
  table.Clear();
  EXPECT_EQ(table.Size(), 0u);
  EXPECT_EQ(table.Find(99, [](const TEntry&) { return true; }), nullptr);
}

}  // namespace
}  // namespace kb
