// An open-addressing hash table of small entries stored in one array: no
// allocation per entry, lookups that read one or two cache lines.
//
// The table does not know keys: each entry has a 64-bit key hash
// (TTraits::HashOf) and the caller finds entries by that hash and a match
// of its own, which lets one table hold several entries of the same hash
// (a multimap) as well as unique keys. Empty slots are the entries for
// which TTraits::IsEmpty holds; a value-initialized entry must be empty.
//
// Collisions are resolved by linear probing from the slot the hash picks
// (Fibonacci hashing of the key hash), and erasing shifts the entries that
// follow back, so that every entry lies in the run of occupied slots that
// starts at its own slot: a search stops at the first empty slot. The
// table is kept at most half full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace kb {

template <class TEntry, class TTraits>
class TFlatTable {
 public:
  size_t Size() const noexcept { return Count_; }
  void Clear() {
    Slots_.clear();
    Count_ = 0;
    Shift_ = 64;
  }

  // The first entry of hash Hash for which Match(entry) holds, or nullptr.
  // The pointer stays valid until the table next changes.
  template <class F>
  TEntry* Find(uint64_t Hash, F&& Match) {
    if (Slots_.empty()) return nullptr;
    const size_t mask = Slots_.size() - 1;
    for (size_t i = Home(Hash);; i = (i + 1) & mask) {
      TEntry& e = Slots_[i];
      if (TTraits::IsEmpty(e)) return nullptr;
      if (TTraits::HashOf(e) == Hash && Match(e)) return &e;
    }
  }
  template <class F>
  const TEntry* Find(uint64_t Hash, F&& Match) const {
    return const_cast<TFlatTable*>(this)->Find(Hash, std::forward<F>(Match));
  }

  // Calls Visit(entry) for every entry of hash Hash.
  template <class F>
  void ForEach(uint64_t Hash, F&& Visit) const {
    Find(Hash, [&](const TEntry& e) {
      Visit(e);
      return false;
    });
  }

  // Adds Entry (not empty), beside any entries of the same hash.
  void Insert(const TEntry& Entry) {
    if ((Count_ + 1) * 2 > Slots_.size()) Grow();
    Place(Entry);
    ++Count_;
  }

  // A search and an insertion in one walk: calls Visit(entry) for every
  // entry of hash Hash and returns the slot where Insert would place an
  // entry of that hash (room for one more is made first). The slot stays
  // free until the table next changes; Fill takes it.
  template <class F>
  size_t Probe(uint64_t Hash, F&& Visit) {
    if ((Count_ + 1) * 2 > Slots_.size()) Grow();
    const size_t mask = Slots_.size() - 1;
    for (size_t i = Home(Hash);; i = (i + 1) & mask) {
      const TEntry& e = Slots_[i];
      if (TTraits::IsEmpty(e)) return i;
      if (TTraits::HashOf(e) == Hash) Visit(e);
    }
  }
  // Adds Entry (not empty) at the slot Probe returned for its hash, the
  // table unchanged since.
  void Fill(size_t Slot, const TEntry& Entry) {
    Slots_[Slot] = Entry;
    ++Count_;
  }

  // Erases the first entry of hash Hash for which Match holds; false when
  // there is none.
  template <class F>
  bool Erase(uint64_t Hash, F&& Match) {
    TEntry* e = Find(Hash, std::forward<F>(Match));
    if (!e) return false;
    const size_t mask = Slots_.size() - 1;
    size_t hole = static_cast<size_t>(e - Slots_.data());
    // Entries after the hole that may move back into it: those whose own
    // slot is not between the hole and where they stand.
    for (size_t j = (hole + 1) & mask;; j = (j + 1) & mask) {
      TEntry& next = Slots_[j];
      if (TTraits::IsEmpty(next)) break;
      const size_t home = Home(TTraits::HashOf(next));
      if (((j - home) & mask) >= ((j - hole) & mask)) {
        Slots_[hole] = next;
        hole = j;
      }
    }
    Slots_[hole] = TEntry{};
    --Count_;
    return true;
  }

 private:
  size_t Home(uint64_t Hash) const noexcept {
    return static_cast<size_t>((Hash * 0x9E3779B97F4A7C15ull) >> Shift_);
  }
  void Place(const TEntry& Entry) {
    const size_t mask = Slots_.size() - 1;
    size_t i = Home(TTraits::HashOf(Entry));
    while (!TTraits::IsEmpty(Slots_[i])) i = (i + 1) & mask;
    Slots_[i] = Entry;
  }
  void Grow() {
    std::vector<TEntry> old = std::move(Slots_);
    const size_t size = old.empty() ? 16 : old.size() * 2;
    Slots_.assign(size, TEntry{});
    Shift_ = 64;
    for (size_t s = size; s > 1; s >>= 1) --Shift_;
    for (const TEntry& e : old)
      if (!TTraits::IsEmpty(e)) Place(e);
  }

  std::vector<TEntry> Slots_;
  size_t Count_ = 0;
  unsigned Shift_ = 64;
};

}  // namespace kb
