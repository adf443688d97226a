// The memories of the Rete network: what a join stores and what it makes.
//
// A join keeps the partial matches arriving on each input in a TJoinMemory
// of TJoinEntry; what it sends on (TMatch) is not counted but borrows the
// facts of the entries it came from. Whatever is made from stored matches
// (a later entry, an activation, a goal wait) is a TReteHolder listed by
// those entries, so that it goes when they go. Internal to the network
// (rete/ReteNetwork.h).
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
#include "rete/KbPredicate.h"
#include "rete/KbToken.h"

namespace kb {

class TJoinNode;

// Whether two tokens are the same match: the same facts in the same
// places. Facts are compared by identifier, and where a multislot was cut
// into segments (two snapshots of one fact that differ), by content.
bool SameMatch(const TKbToken* A, const TKbToken* B) noexcept;
// The hash of a match, consistent with SameMatch.
inline uint64_t MatchHash(const TKbToken* Token) noexcept {
  return Token ? Token->GetIdentity() : 0;
}

// No fact is being retracted.
constexpr int32_t NoDyingFact = INT32_MIN;

struct TJoinEntry;
class TJoinMemory;

// Where a partial match made by a join went: an entry of a later join's
// left memory, or an activation. A holder made from a stored match (and,
// at a positive join, from the stored fact it met) is listed by both
// (Owner[0] the left entry, Owner[1] the right one), so that when a stored
// match or fact goes, what was made of it goes along without a search.
// Each owner lists its holders ordered by the other owner's arrival and
// then by the order the join's children were called, which is the order
// a join would have found them in by walking its memories. Holders made
// from a fact alone (no owner) are found through their memory's identity
// index instead.
struct TReteHolder {
  enum TKind : uint8_t { hkEntry, hkActivation, hkGoal };
  explicit TReteHolder(TKind Kind, uint8_t Side = 0, bool Alone = false, bool InArena = false)
      : Kind(Kind), Side(Side), Indexed(false), Linked(false), Alone(Alone), InArena(InArena) {}
  TJoinEntry* Owner[2] = {nullptr, nullptr};
  TReteHolder* SiblingPrev[2] = {nullptr, nullptr};
  TReteHolder* SiblingNext[2] = {nullptr, nullptr};
  // The small fields of the kinds of holder, kept here where the pointers
  // leave room for them.
  TKind Kind : 2;
  uint8_t Side : 1;             // entry: 0 in a left memory, 1 in a right one
  bool Indexed : 1;             // entry, activation: listed by match identity
  bool Linked : 1;              // activation: listed by its terminal node
  bool Alone : 1;               // entry: made from a fact alone (TJoinEntry::TAlone)
  bool InArena : 1;             // entry: its block is its memory's (TJoinMemory::TArena)
  TTokenAction Action = taAdd;  // activation: the action of its match
  int32_t Count = 0;            // entry, activation: the facts after it
};
static_assert(sizeof(TReteHolder) == 7 * sizeof(void*));

// One stored partial match of a join memory: its facts in pattern order
// are held in an array right after the entry. An entry made from a fact
// alone (a right memory's, or a left one fed by one-fact nodes) holds the
// token that brought it, which keeps its facts alive, in a TAlone right
// before the entry; an entry made by a join (most of them) has none and
// holds no reference: its facts belong to the entries it was made from,
// which withdraw it before they go.
struct TJoinEntry final : TReteHolder {
  TJoinEntry() : TReteHolder(hkEntry) {}
  // The small fields set at once: an entry of a memory on Side, made from
  // a fact alone or not, its block from its memory's arena or not.
  TJoinEntry(uint8_t Side, bool Alone, bool InArena) : TReteHolder(hkEntry, Side, Alone, InArena) {}
  struct TAlone {
    IReteToken Token;              // the token that brought the fact
    TJoinEntry* IdNext = nullptr;  // in its identity chain (while indexed)
  };
  TAlone* GetAlone() noexcept { return Alone ? reinterpret_cast<TAlone*>(this) - 1 : nullptr; }
  const TAlone* GetAlone() const noexcept {
    return Alone ? reinterpret_cast<const TAlone*>(this) - 1 : nullptr;
  }
  TJoinMemory* Memory = nullptr;
  TJoinEntry* Prev = nullptr;  // in its bucket
  TJoinEntry* Next = nullptr;
  // What the join made of this entry, linked through index Side.
  TReteHolder* FirstChild = nullptr;
  TReteHolder* LastChild = nullptr;
  // Arrival order in its memory.
  uint64_t Stamp = 0;
  int32_t Key = 0;
  // Facts that block the match at a negated join, or match it at an
  // existential one.
  int32_t Matches = 0;
  // The fact being retracted when the match arrived: it was not counted.
  int32_t Uncounted = NoDyingFact;
  // The sort code of the chain its facts make.
  int32_t SortCode = 0;

  const TFact** Facts() noexcept { return reinterpret_cast<const TFact**>(this + 1); }
  const TFact* const* Facts() const noexcept {
    return reinterpret_cast<const TFact* const*>(this + 1);
  }
  // The fact at Index, as TKbToken::FactAt reads it.
  const TFact* FactAt(int32_t Index) const noexcept {
    if (Index < 0 || Count == 0) return nullptr;
    return Facts()[Index >= Count - 1 ? Count - 1 : Index];
  }
  // The fact of a right memory's entry.
  const TFact* RightFact() const noexcept { return Facts()[0]; }

  // What a right entry keeps of each value its join compares whole with
  // the left, equal or not (TJoinMemory::SetImages), so that a stored
  // match is checked against it without reading the fact.
  struct TImage {
    enum TKind : uint8_t {
      ikMissing,  // no such slot: the test fails
      ikEmpty,    // an empty value: equal to nothing
      ikNumber,   // an integer-like value: its type and payload decide
      ikText,     // a text: its type and then its text decide
      ikOther,    // anything else: the fact's value is compared
    };
    uint64_t Payload;  // the integer, or the TKbText
    TKind Kind;
    TKbType Type;
  };
  const TImage* Images() const noexcept { return reinterpret_cast<const TImage*>(Facts() + Count); }
  TImage* Images() noexcept { return reinterpret_cast<TImage*>(Facts() + Count); }
};
static_assert(sizeof(TJoinEntry) % alignof(const TFact*) == 0);
static_assert(sizeof(TJoinEntry::TAlone) % alignof(TJoinEntry) == 0);

// A partial match made by a join, on its way to the join's children: the
// facts of the stored match it extends, the fact added, and the stored
// entries it came from (Right is nullptr at a negated or existential
// join). Nothing in it is counted: its facts belong to those entries,
// which outlive the call. Children that keep it copy the facts and are
// listed with Left and Right, so that they go when either goes.
struct TMatch {
  const TFact* const* Prefix;  // facts 0 .. Count-2
  const TFact* Last;           // fact Count-1
  TJoinEntry* Left;
  TJoinEntry* Right;
  int32_t Count;
  int32_t SortCode;
  TTokenAction Action;

  const TFact* FactAt(int32_t Index) const noexcept {
    if (Index < 0) return nullptr;
    return Index >= Count - 1 ? Last : Prefix[Index];
  }
  // Writes the Count facts to Out, in order. Most matches are short: their
  // few pointers are moved in place, not through a call to memcpy.
  void CopyFacts(const TFact** Out) const noexcept {
    switch (Count - 1) {
      case 3: Out[2] = Prefix[2]; [[fallthrough]];
      case 2: Out[1] = Prefix[1]; [[fallthrough]];
      case 1: Out[0] = Prefix[0]; [[fallthrough]];
      case 0: break;
      default:
        for (int32_t i = 0; i + 1 < Count; ++i) Out[i] = Prefix[i];
    }
    Out[Count - 1] = Last;
  }
};

// A counted token of the same chain as Match (an entry or a TMatch): what
// predicates, actions and the host are given.
template <class M>
IReteToken ChainOf(const M& Match, TTokenAction Action) {
  IReteToken t;
  for (int32_t i = 0; i < Match.Count; ++i) {
    IFact f(const_cast<TFact*>(Match.FactAt(i)));
    t = i == 0 ? IReteToken(new TKbToken(Action, f, ShareSnapshot))
               : IReteToken(TKbToken::NewExtended(t, f));
  }
  return t;
}

// The facts compiled predicates read for a match and the fact on the
// right, and a token of the match for the general evaluation.
inline TPredicateFacts PredicateFacts(const TMatch& Match, const TFact* Right) noexcept {
  return {Match.Prefix, Match.Last, nullptr, Match.Count, Right};
}
inline TPredicateFacts PredicateFacts(const TJoinEntry& Entry, const TFact* Right) noexcept {
  return {Entry.Facts(), Entry.Count > 0 ? Entry.Facts()[Entry.Count - 1] : nullptr, nullptr,
          Entry.Count, Right};
}
inline TPredicateFacts PredicateFacts(const TKbToken& Token, const TFact* Right) noexcept {
  return {nullptr, nullptr, &Token, Token.GetCount(), Right};
}
template <class M>
IReteToken PredicateToken(const M& Match) {
  return ChainOf(Match, taAdd);
}
inline IReteToken PredicateToken(const TKbToken& Token) {
  return IReteToken(const_cast<TKbToken*>(&Token));
}

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
