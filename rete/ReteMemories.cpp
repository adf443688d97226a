// Join memories (TJoinMemory), the identity of matches (SameMatch,
// MatchHash), and the network's withdrawal of what was made from stored
// matches (TReteNetwork::Withdraw), kept beside the memory operations it
// calls so that they inline. Internal to the network.
#include "rete/ReteMemories.h"

#include <algorithm>
#include <vector>

#include "framework/FreeList.h"
#include "framework/LinkedList.h"
#include "rete/ReteActivations.h"
#include "rete/ReteNetwork.h"
#include "rete/ReteNodes.h"

namespace kb {

// ------------------------------------------------------------------ matches

bool SameMatch(const TKbToken* A, const TKbToken* B) noexcept {
  if (A == B) return true;
  if (!A || !B || A->GetCount() != B->GetCount() || A->GetSortCode() != B->GetSortCode())
    return false;
  while (A && B) {
    if (A == B) return true;
    const TFact* fa = A->GetFact().get();
    const TFact* fb = B->GetFact().get();
    if (fa != fb) {
      if (!fa || !fb || fa->GetID() != fb->GetID()) return false;
      // Two snapshots of one fact: the same unless a multislot of one was
      // cut into other segments (snapshots of an unchanged fact share
      // their values, which compares at once).
      if (!fa->Equals(fb)) return false;
    }
    A = A->GetParent().get();
    B = B->GetParent().get();
  }
  return A == B;
}

// ------------------------------------------------------------------ holders

// ------------------------------------------------------------------ memory

namespace {

constexpr size_t InitialGrowingBuckets = 16;
constexpr size_t InitialIdBuckets = 16;

// An entry's block has room for its facts and images; one made from a
// fact alone has its TAlone first.
size_t EntrySize(int32_t Count, bool Alone, int32_t Images) noexcept {
  return (Alone ? sizeof(TJoinEntry::TAlone) : 0) + sizeof(TJoinEntry) +
         static_cast<size_t>(Count) * sizeof(const TFact*) +
         static_cast<size_t>(Images) * sizeof(TJoinEntry::TImage);
}

// A memory's chunks grow from a few blocks to about this many bytes.
constexpr size_t FirstChunkSlots = 8;
constexpr size_t ChunkBytes = size_t{64} << 10;

}  // namespace

void* TJoinMemory::TArena::AllocateSlow(size_t Size) {
  if (Slot_ == 0) Slot_ = Size;
  if (Size != Slot_) return nullptr;
  if (void* b = Free_) {
    Free_ = *static_cast<void**>(b);
    return b;
  }
  if (Cursor_ == Limit_) {
    // The next chunk, made when there is none.
    if (Chunk_ == Chunks_.size()) {
      const size_t most = std::max<size_t>(1, ChunkBytes / Slot_);
      const size_t slots = Chunks_.empty() ? std::min(FirstChunkSlots, most)
                                           : std::min(Chunks_.back().Slots * 2, most);
      Chunks_.push_back({nullptr, slots});
      Chunks_.back().Data = static_cast<char*>(::operator new(Slot_* slots));
    }
    const TChunk& c = Chunks_[Chunk_++];
    Cursor_ = c.Data;
    Limit_ = c.Data + c.Slots * Slot_;
  }
  char* b = Cursor_;
  Cursor_ += Slot_;
  return b;
}

void TJoinMemory::TArena::Release() noexcept {
  for (TChunk& c : Chunks_)
    if (c.Data) ::operator delete(c.Data);
  Chunks_.clear();
  Reset();
}

// Inlined into Add, its one caller.
[[gnu::always_inline]] inline TJoinEntry* TJoinMemory::NewEntry(int32_t Count,
                                                                const IReteToken& Token) {
  const bool alone = Token != nullptr;
  const size_t size = EntrySize(Count, alone, Images_);
  char* block = static_cast<char*>(Arena_.Allocate(size));
  const bool inArena = block != nullptr;
  if (!inArena) block = static_cast<char*>(AllocatePooled(size));
  if (alone) {
    ::new (block) TJoinEntry::TAlone{Token, nullptr};
    block += sizeof(TJoinEntry::TAlone);
  }
  auto* e = ::new (block) TJoinEntry(Side_, alone, inArena);
  e->Count = Count;
  return e;
}

void TJoinMemory::FreeEntry(TJoinEntry* E) noexcept {
  const size_t size = EntrySize(E->Count, E->Alone, E->Memory->Images_);
  void* block = E;
  if (TJoinEntry::TAlone* alone = E->GetAlone()) {
    alone->~TAlone();
    block = alone;
  }
  const bool inArena = E->InArena;
  TJoinMemory* memory = E->Memory;
  E->~TJoinEntry();
  if (inArena)
    memory->Arena_.Free(block);
  else
    FreePooled(block, size);
}

TJoinMemory::TJoinMemory(TJoinNode* Join, int32_t Buckets, bool Fixed, uint8_t Side)
    : Join_(Join),
      Hashed_(Fixed),
      Buckets_(Fixed ? static_cast<size_t>(Buckets < 1 ? 1 : Buckets) : InitialGrowingBuckets),
      Mask_(Buckets_.size() - 1),
      Tags_(Buckets_.size(), EmptyTag),
      Ids_(InitialIdBuckets, nullptr),
      Fixed_(Fixed),
      Side_(Side) {}

TJoinMemory::~TJoinMemory() { Clear(); }

TJoinMemory::TEntry* TJoinMemory::Add(const IReteToken& Token, int32_t Count, int32_t Key,
                                      bool Indexed) {
  Indexed = Indexed && Token;  // the index reads the token
  const uint64_t id = Indexed ? MatchHash(Token.get()) : 0;
  if (Indexed && Find(Token.get(), id)) return nullptr;
  // A right memory is asked about every left arrival, mostly for keys it
  // does not hold: twice the buckets keep most of them to one key, which
  // its tag answers for without a walk.
  if (Hashed_ && !Fixed_ && static_cast<size_t>(Count_) >= Buckets_.size() >> Side_) GrowBuckets();
  if (Indexed && static_cast<size_t>(Indexed_) >= Ids_.size()) GrowIds();
  TEntry* e = NewEntry(Count, Token);
  e->Memory = this;
  e->Key = Key;
  e->Stamp = ++NextStamp_;
  if (Hashed_)
    Append(BucketOf(Key), e);
  else
    ListInsert<&TEntry::Prev, &TEntry::Next>(e, nullptr, Waiting_.Head, Waiting_.Tail);
  if (Indexed) {
    TEntry*& chain = Ids_[id & (Ids_.size() - 1)];
    e->GetAlone()->IdNext = chain;
    chain = e;
    e->Indexed = true;
    ++Indexed_;
  }
  ++Count_;
  return e;
}

[[gnu::always_inline]] inline void TJoinMemory::Append(size_t I, TEntry* E) noexcept {
  TList& b = Buckets_[I];
  if (!b.Tail)
    Tags_[I] = TagOf(E->Key);
  else if (b.Tail->Key != E->Key)
    Tags_[I] = MixedTag;
  ListInsert<&TEntry::Prev, &TEntry::Next>(E, nullptr, b.Head, b.Tail);
}

void TJoinMemory::HashWaiting() {
  Hashed_ = true;
  while (static_cast<size_t>(Count_) >= Buckets_.size() >> Side_) GrowBuckets();
  for (TEntry* e = Waiting_.Head; e;) {
    TEntry* next = e->Next;
    Append(BucketOf(e->Key), e);
    e = next;
  }
  Waiting_ = TList();
}

void TJoinMemory::Clear() noexcept {
  auto freeAll = [](TList& List) {
    for (TEntry* e = List.Head; e;) {
      TEntry* next = e->Next;
      UnlinkHolder(e);
      detail::OrphanChildren(e);
      FreeEntry(e);
      e = next;
    }
    List = TList();
  };
  freeAll(Waiting_);
  for (TList& b : Buckets_) freeAll(b);
  std::fill(Tags_.begin(), Tags_.end(), EmptyTag);
  std::fill(Ids_.begin(), Ids_.end(), nullptr);
  Count_ = 0;
  Indexed_ = 0;
  Hashed_ = Fixed_;
  Searches_ = 0;
  Arena_.Release();
}

void TJoinMemory::Forget() noexcept {
  if (Hashed_) {
    std::fill(Buckets_.begin(), Buckets_.end(), TList());
    std::fill(Tags_.begin(), Tags_.end(), EmptyTag);
  }
  Waiting_ = TList();
  Count_ = 0;
  Hashed_ = Fixed_;
  Searches_ = 0;
}

void TJoinMemory::FreeForgotten(TEntry* Entry) noexcept {
  // A block of the arena is handed out again after Reclaim.
  if (!Entry->InArena) FreeEntry(Entry);
}

void TJoinMemory::GrowBuckets() {
  // Entries of one new bucket all come from one old bucket: appending them
  // in old order keeps their insertion order.
  std::vector<TList> old(Buckets_.size() * 2);
  old.swap(Buckets_);
  Mask_ = Buckets_.size() - 1;
  Tags_.assign(Buckets_.size(), EmptyTag);
  for (TList& b : old) {
    for (TEntry* e = b.Head; e;) {
      TEntry* next = e->Next;
      Append(BucketOf(e->Key), e);
      e = next;
    }
  }
}

void TJoinMemory::GrowIds() {
  std::vector<TEntry*> old(Ids_.size() * 2, nullptr);
  old.swap(Ids_);
  for (TEntry* e : old) {
    while (e) {
      TJoinEntry::TAlone* alone = e->GetAlone();
      TEntry* next = alone->IdNext;
      TEntry*& chain = Ids_[alone->Token->GetIdentity() & (Ids_.size() - 1)];
      alone->IdNext = chain;
      chain = e;
      e = next;
    }
  }
}

// -------------------------------------------------------------- withdrawal

namespace {

inline void Prefetch(const void* P) noexcept {
  if (P) __builtin_prefetch(P, 1);
}

}  // namespace

// A holder about to be withdrawn is taken off lists whose neighbours were
// built long ago and are seldom in the cache: they are all asked for at
// once, so that their misses overlap instead of following one another.
void TReteNetwork::PrefetchNeighbours(const TReteHolder* Holder) noexcept {
  Prefetch(Holder->SiblingPrev[0]);
  Prefetch(Holder->SiblingNext[0]);
  Prefetch(Holder->SiblingPrev[1]);
  Prefetch(Holder->SiblingNext[1]);
  if (Holder->Kind == TReteHolder::hkEntry) {
    auto* e = static_cast<const TJoinEntry*>(Holder);
    Prefetch(e->Prev);
    Prefetch(e->Next);
  } else if (Holder->Kind == TReteHolder::hkActivation) {
    auto* a = static_cast<const TActivation*>(Holder);
    Prefetch(a->NodePrev_);
    Prefetch(a->NodeNext_);
    Prefetch(a->AgendaPrev_);
    Prefetch(a->AgendaNext_);
  }
}

void TReteNetwork::WithdrawChildren(TJoinEntry* Entry) {
  std::exception_ptr failure;
  WithdrawChildren(Entry, failure);
  if (failure) std::rethrow_exception(failure);
}

void TReteNetwork::Withdraw(TReteHolder* Holder, std::exception_ptr& Failure) noexcept {
  PrefetchNeighbours(Holder);
  UnlinkHolder(Holder);
  if (Holder->Kind != TReteHolder::hkEntry) {
    EndHolder(Holder, Failure);
    return;
  }
  // The entry leaves its memory first, then what was made of it goes, in
  // the order it was made.
  auto* e = static_cast<TJoinEntry*>(Holder);
  TJoinMemory* m = e->Memory;
  m->Unlink(e);
  if (!m->IsEmpty() || !WithdrawWhole(e, Failure)) WithdrawChildren(e, Failure);
  m->Free(e);
}

void TReteNetwork::WithdrawChildren(TJoinEntry* Entry, std::exception_ptr& Failure) noexcept {
  const int side = Entry->Side;
  while (TReteHolder* h = Entry->FirstChild) {
    // The next one is needed soon: its cache line is fetched meanwhile.
    if (TReteHolder* next = h->SiblingNext[side]) __builtin_prefetch(next, 1);
    Withdraw(h, Failure);
  }
}

// The last entry of one input of a join has gone, and everything the join
// made goes with it: every partial match below the join, in the memories
// of the joins under it, goes too. Those memories are emptied at once and
// their entries freed as they are reached, in the order Withdraw would
// take them, instead of being taken out of their buckets and sibling lists
// one by one; the lists of what the other inputs' entries made are reset.
// Done only when it saves work: the entries going outnumber those reset.
// False (nothing done) otherwise.
bool TReteNetwork::WithdrawWhole(TJoinEntry* Entry, std::exception_ptr& Failure) noexcept {
  TJoinNode* join = Entry->Memory->GetJoin();
  if (!join) return false;
  const bool positive = join->GetMode() == jmPositive;
  // A right entry owns matches only at a positive join; resetting the
  // lists of left entries would lose the goals they wait for.
  if (Entry->Side == 1 && (!positive || join->HasWaits())) return false;
  const std::vector<TJoinNode*>* found = nullptr;
  Keep(Failure, [&] { found = &JoinsBelow(join); });
  if (!found) return false;
  const std::vector<TJoinNode*>& below = *found;
  int64_t going = 0;
  int64_t reset = 0;
  if (positive) reset = (Entry->Side == 0 ? join->Right_ : join->Left_)->GetCount();
  for (TJoinNode* j : below) {
    going += j->Left_->GetCount();
    if (j->GetMode() == jmPositive) reset += j->Right_->GetCount();
  }
  constexpr int64_t WorthIt = 64;
  if (going < WorthIt || reset > going) return false;

  auto forgetLists = [](TJoinMemory& Memory) {
    Memory.ForEachUnordered([](TJoinEntry* e) { e->FirstChild = e->LastChild = nullptr; });
  };
  if (positive) forgetLists(Entry->Side == 0 ? *join->Right_ : *join->Left_);
  for (TJoinNode* j : below) {
    j->Left_->Forget();
    if (j->GetMode() == jmPositive) forgetLists(*j->Right_);
  }
  const int64_t freed = WithdrawForgotten(Entry, Failure);
  // Every entry forgotten was reached and freed; were one not, its block
  // would stay taken rather than be handed out under it.
  if (freed == going)
    for (TJoinNode* j : below) j->Left_->Reclaim();
  return true;
}

const std::vector<TJoinNode*>& TReteNetwork::JoinsBelow(TJoinNode* Join) {
  if (Join->BelowShape_ == Shape_) return Join->Below_;
  Join->Below_.clear();
  std::vector<TReteNode*> pending{Join};
  while (!pending.empty()) {
    TReteNode* n = pending.back();
    pending.pop_back();
    for (const TReteEdge& edge : n->Edges_) {
      if (edge.CallType != ctLeft) continue;
      if (auto* j = dynamic_cast<TJoinNode*>(edge.Target))
        Join->Below_.push_back(j);
      else if (!dynamic_cast<TTestNode*>(edge.Target))
        continue;
      pending.push_back(edge.Target);
    }
  }
  Join->BelowShape_ = Shape_;
  return Join->Below_;
}

// Withdraws what was made of Entry, all of which its memories and owners
// have forgotten (WithdrawWhole).
int64_t TReteNetwork::WithdrawForgotten(TJoinEntry* Entry, std::exception_ptr& Failure) noexcept {
  int64_t freed = 0;
  const int side = Entry->Side;
  TReteHolder* h = Entry->FirstChild;
  Entry->FirstChild = Entry->LastChild = nullptr;
  while (h) {
    TReteHolder* next = h->SiblingNext[side];
    if (next) __builtin_prefetch(next, 1);
    if (h->Kind == TReteHolder::hkEntry) {
      auto* e = static_cast<TJoinEntry*>(h);
      freed += 1 + WithdrawForgotten(e, Failure);
      TJoinMemory::FreeForgotten(e);
    } else {
      // An activation that is firing outlives this: it must not reach its
      // owners.
      h->Owner[0] = h->Owner[1] = nullptr;
      EndHolder(h, Failure);
    }
    h = next;
  }
  return freed;
}

}  // namespace kb
