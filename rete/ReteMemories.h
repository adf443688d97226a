// The memories of the Rete network: where a join stores what arrives.
//
// A join keeps the partial matches arriving on each input in a TJoinMemory
// of TJoinEntry (rete/ReteEntries.h). Whatever is made from stored matches
// (a later entry, an activation, a goal wait) is a TReteHolder listed by
// those entries (LinkHolder), so that it goes when they go. Internal to
// the network (rete/ReteNetwork.h).
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/KbConsts.h"
#include "core/KbValue.h"
#include "framework/LinkedList.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsFact.h"
#include "rete/KbToken.h"
#include "rete/ReteEntries.h"

namespace kb {

// Lists Holder with its owners (either may be nullptr).
inline void LinkHolder(TReteHolder* Holder, TJoinEntry* Left, TJoinEntry* Right) noexcept;
// Takes Holder off its owners' lists.
inline void UnlinkHolder(TReteHolder* Holder) noexcept;

// The memory of one join input: tokens in insertion order, grouped by a key
// (the hash of the join's equality tests, or the token's sort code or fact
// identifier when the join has none). Without a short cut the buckets are
// a fixed number and are walked in bucket order. Entries made from a fact
// alone are indexed by match, so that the fact's removal finds them;
// entries made from stored matches are found through those. Internal to
// the network; entries stay put until removed, and nothing but the owning
// join changes them.
class TJoinMemory {
 public:
  using TEntry = TJoinEntry;

  // Fixed: the bucket of a key is |Key mod Buckets|, walked in bucket
  // order; otherwise buckets grow with the contents. Join is the join whose
  // input it stores.
  TJoinMemory(TJoinNode* Join, int32_t Buckets, bool Fixed, uint8_t Side);
  ~TJoinMemory();
  TJoinMemory(const TJoinMemory&) = delete;
  TJoinMemory& operator=(const TJoinMemory&) = delete;

  // A new entry under Key with room for Count facts, which the caller
  // fills in; Token (nil for a match made by a join) is held. Indexed
  // (Token not nil): listed by Token's match identity, and nullptr when an
  // entry of the same match is there already.
  TEntry* Add(const IReteToken& Token, int32_t Count, int32_t Key, bool Indexed);
  // The indexed entry of the same match as Token, or nullptr. Inline:
  // every fact's removal, and every entry made from a fact alone, asks.
  TEntry* Find(const TKbToken* Token, uint64_t Id) const {
    for (TEntry* e = Ids_[Id & (Ids_.size() - 1)]; e; e = e->GetAlone()->IdNext) {
      const TKbToken* t = e->GetAlone()->Token.get();
      if (t->GetIdentity() != Id) continue;
      // The usual case first: one fact, the very same object (what
      // SameMatch decides at once).
      if (t->GetCount() == 1 && Token->GetCount() == 1 && t->GetFact() == Token->GetFact() &&
          t->GetSortCode() == Token->GetSortCode())
        return e;
      if (SameMatch(t, Token)) return e;
    }
    return nullptr;
  }
  // Takes the entry out of its bucket and index; it stays allocated (its
  // holders may still be withdrawn) until Free.
  void Unlink(TEntry* Entry) noexcept;
  // Frees an entry taken out by Unlink; its holders forget it.
  void Free(TEntry* Entry) noexcept;
  // Unlink and Free.
  void Remove(TEntry* Entry) noexcept {
    Unlink(Entry);
    Free(Entry);
  }
  void Clear() noexcept;
  // Forgets every entry at once without freeing any: the caller frees each
  // (FreeForgotten) once what was made of it is gone, then calls
  // Reclaim. Only for memories with no indexed entry.
  void Forget() noexcept;
  // Frees an entry its memory forgot; its holders and owners forget it
  // too (the caller sees to it that they are gone or reset).
  static void FreeForgotten(TEntry* Entry) noexcept;
  // Every entry forgotten has been freed: the memory's blocks are handed
  // out from the first again.
  void Reclaim() noexcept { Arena_.Reset(); }
  TJoinNode* GetJoin() const noexcept { return Join_; }
  // Entries have room for Count images after their facts. Set before the
  // first entry.
  void SetImages(int32_t Count) noexcept { Images_ = Count; }
  // The first entry of Key's bucket (entries of other keys may follow: a
  // caller compares TEntry::Key); nullptr when the bucket is known to hold
  // no entry of Key, which its tag tells without reading the bucket. The
  // first few searches of a memory whose entries wait walk them all, in
  // the same order.
  TEntry* First(int32_t Key) {
    if (!Hashed_) {
      if (++Searches_ <= WalksBeforeHashing) return Waiting_.Head;
      HashWaiting();
    }
    const size_t i = BucketOf(Key);
    const uint8_t tag = Tags_[i];
    if (tag == EmptyTag || (tag != MixedTag && tag != TagOf(Key))) return nullptr;
    return Buckets_[i].Head;
  }
  // Every entry in bucket order, then insertion order.
  template <class F>
  void ForEach(F&& Body) {
    if (!Hashed_) HashWaiting();
    ForEachUnordered(Body);
  }
  // Every entry, in no particular order.
  template <class F>
  void ForEachUnordered(F&& Body) const {
    if (!Hashed_)
      for (TEntry* e = Waiting_.Head; e; e = e->Next) Body(e);
    else
      for (const TList& b : Buckets_)
        for (TEntry* e = b.Head; e; e = e->Next) Body(e);
  }
  int32_t GetCount() const noexcept { return Count_; }
  bool IsEmpty() const noexcept { return Count_ == 0; }
  // Whether Entry, one of this memory's, arrived after every other.
  bool IsNewest(const TEntry* Entry) const noexcept { return Entry->Stamp == NextStamp_; }

 private:
  // A bucket: its entries in insertion order.
  struct TList {
    TEntry* Head = nullptr;
    TEntry* Tail = nullptr;
  };
  // Each bucket has a one-byte tag, kept in an array of its own that stays
  // in the cache: EmptyTag, MixedTag when its entries have several keys,
  // or else TagOf their key.
  static constexpr uint8_t EmptyTag = 0;
  static constexpr uint8_t MixedTag = 0xFF;
  static uint8_t TagOf(int32_t Key) noexcept {
    const uint64_t k = static_cast<uint64_t>(static_cast<uint32_t>(Key)) * 0x9E3779B97F4A7C15ull;
    return static_cast<uint8_t>((k >> 57) + 1);
  }
  // Appends E to bucket I.
  void Append(size_t I, TEntry* E) noexcept;
  // Puts the waiting entries into their buckets, in arrival order.
  void HashWaiting();
  size_t BucketOf(int32_t Key) const noexcept {
    if (Fixed_) {
      const size_t n = Buckets_.size();
      if (n == 1) return 0;
      const int32_t r = Key % static_cast<int32_t>(n);
      return static_cast<size_t>(r < 0 ? -r : r);
    }
    // Keys are hashes of values, often small integers: mixed, so that
    // neighbouring keys spread over the buckets.
    const uint64_t k = static_cast<uint64_t>(static_cast<uint32_t>(Key)) * 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(k >> 32) & Mask_;
  }
  void GrowBuckets();
  void GrowIds();
  TEntry* NewEntry(int32_t Count, const IReteToken& Token);
  static void FreeEntry(TEntry* Entry) noexcept;

  // The blocks of the memory's entries: those of its usual size (the size
  // first asked for) come from chunks of its own, handed out in order and,
  // once the memory was emptied at once (Reclaim), from the first again,
  // so that entries made one after another lie one after another; freed
  // ones are handed out again first. Blocks of other sizes come from the
  // pool.
  class TArena {
   public:
    TArena() = default;
    ~TArena() { Release(); }
    TArena(const TArena&) = delete;
    TArena& operator=(const TArena&) = delete;
    // A block of Size bytes, or nullptr when Size is not the arena's.
    void* Allocate(size_t Size) {
      if (Size == Slot_) {
        if (void* b = Free_) {
          Free_ = *static_cast<void**>(b);
          return b;
        }
        if (Cursor_ != Limit_) {
          char* b = Cursor_;
          Cursor_ += Slot_;
          return b;
        }
      }
      return AllocateSlow(Size);
    }
    void Free(void* Block) noexcept {
      *static_cast<void**>(Block) = Free_;
      Free_ = Block;
    }
    // Every block is free again; the chunks are kept.
    void Reset() noexcept {
      Chunk_ = 0;
      Cursor_ = Limit_ = nullptr;
      Free_ = nullptr;
    }
    // The chunks go back to the heap.
    void Release() noexcept;

   private:
    struct TChunk {
      char* Data;
      size_t Slots;
    };
    void* AllocateSlow(size_t Size);
    std::vector<TChunk> Chunks_;
    size_t Slot_ = 0;  // the block size
    // The blocks not yet handed out of the chunk before Chunk_ (none when
    // Cursor_ is Limit_).
    size_t Chunk_ = 0;
    char* Cursor_ = nullptr;
    char* Limit_ = nullptr;
    void* Free_ = nullptr;
  };

  TJoinNode* Join_;
  TArena Arena_;
  int32_t Images_ = 0;
  // The entries of a growing memory go into its buckets only when it is
  // first searched: until then, and again once it is empty, they wait in
  // one list in arrival order, so that a memory filled and emptied without
  // being searched (a left memory whose right memory stays unchanged)
  // never touches its buckets. A fixed memory is always hashed.
  TList Waiting_;
  bool Hashed_;
  // Searches since the memory last had no bucket in use: reading the
  // waiting entries in order costs less than a few times what hashing
  // them would.
  static constexpr int32_t WalksBeforeHashing = 4;
  int32_t Searches_ = 0;
  std::vector<TList> Buckets_;
  size_t Mask_;  // bucket count - 1 (growing buckets are a power of 2)
  std::vector<uint8_t> Tags_;
  std::vector<TEntry*> Ids_;
  uint64_t NextStamp_ = 0;
  int32_t Count_ = 0;
  int32_t Indexed_ = 0;
  bool Fixed_;
  uint8_t Side_;
};

// Inline: every withdrawn entry leaves its memory through it.
inline void TJoinMemory::Unlink(TEntry* Entry) noexcept {
  const size_t i = Hashed_ ? BucketOf(Entry->Key) : 0;
  TList& b = Hashed_ ? Buckets_[i] : Waiting_;
  ListUnlink<&TEntry::Prev, &TEntry::Next>(Entry, b.Head, b.Tail);
  if (Hashed_ && !b.Head) Tags_[i] = EmptyTag;
  Entry->Prev = Entry->Next = nullptr;
  if (Entry->Indexed) {
    TJoinEntry::TAlone* alone = Entry->GetAlone();
    for (TEntry** p = &Ids_[alone->Token->GetIdentity() & (Ids_.size() - 1)]; *p;
         p = &(*p)->GetAlone()->IdNext)
      if (*p == Entry) {
        *p = alone->IdNext;
        break;
      }
    alone->IdNext = nullptr;
    Entry->Indexed = false;
    --Indexed_;
  }
  // Empty, every bucket is: the next entries wait again.
  if (--Count_ == 0 && !Fixed_) {
    Hashed_ = false;
    Searches_ = 0;
  }
}

// ---------------------------------------------------------------- holders
// Inline: every activation and every stored match made by a join is
// listed and unlisted through them.

namespace detail {

// The position of a holder in the list of its owner on Side: the arrival of
// its other owner (a holder without one sorts first).
inline uint64_t OrderIn(const TReteHolder* Holder, int Side) noexcept {
  const TJoinEntry* other = Holder->Owner[1 - Side];
  return other ? other->Stamp : 0;
}

inline void LinkTo(TReteHolder* Holder, TJoinEntry* Owner, int Side) noexcept {
  Holder->Owner[Side] = Owner;
  // A join makes its matches in the order of its memories, so the new
  // holder nearly always goes last; a join replaying its matches into a
  // node added later puts them in place among the older ones. When the
  // other owner is the newest entry of its memory, nothing listed sorts
  // after it, and the list's last holder (made long ago, seldom in the
  // cache) need not be asked for its own owner.
  const TJoinEntry* other = Holder->Owner[1 - Side];
  const uint64_t order = other ? other->Stamp : 0;
  TReteHolder* after = Owner->LastChild;
  if (!other || !other->Memory->IsNewest(other))
    while (after && OrderIn(after, Side) > order) after = after->SiblingPrev[Side];
  TReteHolder* before = after ? after->SiblingNext[Side] : Owner->FirstChild;
  Holder->SiblingPrev[Side] = after;
  Holder->SiblingNext[Side] = before;
  if (after)
    after->SiblingNext[Side] = Holder;
  else
    Owner->FirstChild = Holder;
  if (before)
    before->SiblingPrev[Side] = Holder;
  else
    Owner->LastChild = Holder;
}

inline void UnlinkFrom(TReteHolder* Holder, int Side) noexcept {
  TJoinEntry* owner = Holder->Owner[Side];
  if (!owner) return;
  TReteHolder* prev = Holder->SiblingPrev[Side];
  TReteHolder* next = Holder->SiblingNext[Side];
  if (prev)
    prev->SiblingNext[Side] = next;
  else
    owner->FirstChild = next;
  if (next)
    next->SiblingPrev[Side] = prev;
  else
    owner->LastChild = prev;
  Holder->Owner[Side] = nullptr;
  Holder->SiblingPrev[Side] = Holder->SiblingNext[Side] = nullptr;
}

}  // namespace detail

inline void LinkHolder(TReteHolder* Holder, TJoinEntry* Left, TJoinEntry* Right) noexcept {
  // The right owner first: the left list orders by its arrival.
  Holder->Owner[1] = Right;
  if (Left) detail::LinkTo(Holder, Left, 0);
  if (Right) detail::LinkTo(Holder, Right, 1);
}

inline void UnlinkHolder(TReteHolder* Holder) noexcept {
  detail::UnlinkFrom(Holder, 0);
  detail::UnlinkFrom(Holder, 1);
}

namespace detail {

// The holders of an entry that goes without taking them along forget it.
inline void OrphanChildren(TJoinEntry* Entry) noexcept {
  const int side = Entry->Side;
  for (TReteHolder* h = Entry->FirstChild; h;) {
    TReteHolder* next = h->SiblingNext[side];
    h->Owner[side] = nullptr;
    h->SiblingPrev[side] = h->SiblingNext[side] = nullptr;
    h = next;
  }
  Entry->FirstChild = Entry->LastChild = nullptr;
}

}  // namespace detail

// Inline: every withdrawn entry is freed through it.
inline void TJoinMemory::Free(TEntry* Entry) noexcept {
  // A withdrawn entry left its owners first.
  if (Entry->Owner[0] || Entry->Owner[1]) UnlinkHolder(Entry);
  detail::OrphanChildren(Entry);
  FreeEntry(Entry);
}

}  // namespace kb
