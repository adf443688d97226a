// Join memories (TJoinMemory) and the identity of matches (SameMatch,
// MatchHash). Internal to the network.
#include "rete/ReteNetwork.h"

#include <vector>

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

uint64_t MatchHash(const TKbToken* Token) noexcept { return Token ? Token->GetIdentity() : 0; }

// ------------------------------------------------------------------ memory

namespace {

constexpr size_t InitialGrowingBuckets = 16;
constexpr size_t InitialIdBuckets = 16;

size_t Mix(int32_t Key) noexcept {
  uint64_t k = static_cast<uint32_t>(Key);
  k *= 0x9E3779B97F4A7C15ull;
  return static_cast<size_t>(k >> 32);
}

// Freed entries kept for reuse, per thread.
struct TEntryPool {
  std::vector<TJoinMemory::TEntry*> Free;
  ~TEntryPool() {
    for (TJoinMemory::TEntry* e : Free) delete e;
  }
};
[[gnu::tls_model("initial-exec")]] thread_local TEntryPool EntryPool;
constexpr size_t MaxPooledEntries = 1 << 16;

TJoinMemory::TEntry* NewEntry() {
  std::vector<TJoinMemory::TEntry*>& free = EntryPool.Free;
  if (free.empty()) return new TJoinMemory::TEntry;
  TJoinMemory::TEntry* e = free.back();
  free.pop_back();
  return e;
}

void FreeEntry(TJoinMemory::TEntry* E) {
  E->Token = nullptr;
  std::vector<TJoinMemory::TEntry*>& free = EntryPool.Free;
  if (free.size() < MaxPooledEntries) {
    try {
      *E = TJoinMemory::TEntry();
      free.push_back(E);
      return;
    } catch (...) {
    }
  }
  delete E;
}

}  // namespace

TJoinMemory::TJoinMemory(int32_t Buckets, bool Fixed)
    : Buckets_(Fixed ? static_cast<size_t>(Buckets < 1 ? 1 : Buckets) : InitialGrowingBuckets),
      Ids_(InitialIdBuckets, nullptr),
      Fixed_(Fixed) {}

TJoinMemory::~TJoinMemory() { Clear(); }

size_t TJoinMemory::BucketOf(int32_t Key) const noexcept {
  if (Fixed_) {
    const int32_t n = static_cast<int32_t>(Buckets_.size());
    const int32_t r = Key % n;
    return static_cast<size_t>(r < 0 ? -r : r);
  }
  return Mix(Key) & (Buckets_.size() - 1);
}

TJoinMemory::TEntry* TJoinMemory::Find(const TKbToken* Token, uint64_t Id) const {
  for (TEntry* e = Ids_[Id & (Ids_.size() - 1)]; e; e = e->IdNext)
    if (e->Id == Id && SameMatch(e->Token.get(), Token)) return e;
  return nullptr;
}

TJoinMemory::TEntry* TJoinMemory::Add(const IReteToken& Token, int32_t Key, uint64_t Id) {
  if (Find(Token.get(), Id)) return nullptr;
  if (!Fixed_ && static_cast<size_t>(Count_) >= Buckets_.size() * 2) GrowBuckets();
  if (static_cast<size_t>(Count_) >= Ids_.size()) GrowIds();
  TEntry* e = NewEntry();
  e->Token = Token;
  e->Id = Id;
  e->Key = Key;
  TList& b = Buckets_[BucketOf(Key)];
  e->Prev = b.Tail;
  if (b.Tail)
    b.Tail->Next = e;
  else
    b.Head = e;
  b.Tail = e;
  TEntry*& chain = Ids_[Id & (Ids_.size() - 1)];
  e->IdNext = chain;
  chain = e;
  ++Count_;
  return e;
}

void TJoinMemory::Remove(TEntry* Entry) {
  TList& b = Buckets_[BucketOf(Entry->Key)];
  if (Entry->Prev)
    Entry->Prev->Next = Entry->Next;
  else
    b.Head = Entry->Next;
  if (Entry->Next)
    Entry->Next->Prev = Entry->Prev;
  else
    b.Tail = Entry->Prev;
  for (TEntry** p = &Ids_[Entry->Id & (Ids_.size() - 1)]; *p; p = &(*p)->IdNext)
    if (*p == Entry) {
      *p = Entry->IdNext;
      break;
    }
  --Count_;
  FreeEntry(Entry);
}

void TJoinMemory::Clear() {
  for (TList& b : Buckets_) {
    for (TEntry* e = b.Head; e;) {
      TEntry* next = e->Next;
      FreeEntry(e);
      e = next;
    }
    b = TList();
  }
  std::fill(Ids_.begin(), Ids_.end(), nullptr);
  Count_ = 0;
}

void TJoinMemory::GrowBuckets() {
  // Entries of one new bucket all come from one old bucket: appending them
  // in old order keeps their insertion order.
  std::vector<TList> old(Buckets_.size() * 2);
  old.swap(Buckets_);
  for (TList& b : old) {
    for (TEntry* e = b.Head; e;) {
      TEntry* next = e->Next;
      TList& nb = Buckets_[BucketOf(e->Key)];
      e->Prev = nb.Tail;
      e->Next = nullptr;
      if (nb.Tail)
        nb.Tail->Next = e;
      else
        nb.Head = e;
      nb.Tail = e;
      e = next;
    }
  }
}

void TJoinMemory::GrowIds() {
  std::vector<TEntry*> old(Ids_.size() * 2, nullptr);
  old.swap(Ids_);
  for (TEntry* e : old) {
    while (e) {
      TEntry* next = e->IdNext;
      TEntry*& chain = Ids_[e->Id & (Ids_.size() - 1)];
      e->IdNext = chain;
      chain = e;
      e = next;
    }
  }
}

}  // namespace kb
