// Rete tokens, token trees and slot access.
//
// A TKbToken is a partial match travelling through the Rete network: a
// chain of fact snapshots, one per matched pattern, each link holding its
// own fact and a counted reference to the shorter chain it extends. Chains
// share their prefixes, so extending a token by one fact is one allocation;
// a token the network makes also lists the chain's facts in an array after
// itself, so that reading the fact of any pattern is an index.
// A token also carries the action (add, remove, update, clear) that the
// network applies, a sort code that identifies the chain cheaply, and the
// number of facts that block it at a negated join.
//
// A TKbTokenTree is a hashed set of tokens: a fixed number of buckets
// (small vectors of tokens) chosen by a key computed once per token from
// one slot of one of its facts, or from its sort code. It serves hosts and
// tools; the joins of the network keep their matches in TJoinMemory
// (rete/ReteNetwork.h).
//
// TSlotAccessor reads one slot of a fact by index: the slot's name is
// resolved to its index once per template layout and cached, so the hot
// paths (join tests, memories, compiled predicates, rule firing) never look
// a slot up by name per fact.
//
// Ownership: tokens are counted (IReteToken) and immutable once built,
// except for their action and negated count. The facts they hold are
// snapshots: clones taken when the token was made, sharing the original's
// values copy-on-write. Nobody changes a fact a token returns; whoever
// needs a changed fact clones it first.
//
// Invariants:
//  - GetCount() == (parent ? parent's count : 0) + 1 for a token with a
//    fact; an empty token (no fact) has count 0 and action taClear.
//  - Equal chains (same fact identifiers in the same order) have equal
//    sort codes; a different sort code proves inequality.
//  - A tree's bucket never holds two Equals tokens.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/KbConsts.h"
#include "core/KbInterfaces.h"
#include "core/KbValue.h"
#include "framework/FreeList.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsFact.h"

namespace kb {

// ------------------------------------------------------------ slot access

// Reads the slot of one name from facts of any template. The first read
// from a template layout resolves the name; later reads from facts of that
// layout are an index. Holding the layout keeps the cached index valid: a
// template whose slots change gets a new layout, which misses the cache.
class TSlotAccessor {
 public:
  TSlotAccessor() = default;
  explicit TSlotAccessor(std::string Name) : Name_(std::move(Name)) {}

  const std::string& GetName() const noexcept { return Name_; }
  void SetName(std::string Name);
  // Resolves the name against Template now, so that the first fact of it
  // reads by index too.
  void Resolve(const TFactTemplate& Template) const;

  // The slot's value in Fact, or nullptr when Fact has no template or its
  // template has no slot of this name. The pointer is valid while Fact is
  // unchanged. Always inlined: join tests and rule firings call it per
  // slot they read.
  [[gnu::always_inline]] const IKbValue* Get(const TFact& Fact) const {
    const TFactTemplate* t = Fact.GetTemplate().get();
    if (t && Layout_ && t->LayoutPtr() == Layout_.get()) {
      if (Index_ < 0) return nullptr;
      if (const IKbValue* v = Fact.ValueIfLaidOut(Layout_.get(), Index_)) return v;
      return &Fact.GetValue(Index_);
    }
    return GetSlow(Fact);
  }
  // The slot index in the layout resolved last (-1 when absent or unknown).
  int GetCachedIndex() const noexcept { return Index_; }

 private:
  const IKbValue* GetSlow(const TFact& Fact) const;

  std::string Name_;
  mutable TRef<TSlotLayout> Layout_;
  mutable int Index_ = -1;
};

// Element SubIndex of List, or nullptr when List is not a list or has no
// such element.
const IKbValue* ListElement(const IKbValue* List, int32_t SubIndex);

class TKbToken;

// A compiled variable: the value of slot SlotName (element SubIndex of it
// when SubIndex is not -1) of the fact at FactIndex of the token being
// matched; with an empty slot name, that fact's identifier as a dtFactId
// value. A value of type dtVariantArray of the form [FactIndex, SlotName,
// SubIndex] carries one, parsed when the value is set
// (TKbValue::GetSlotReference), so resolving it reads no variants and
// looks no slot up by name.
class TSlotReference {
 public:
  TSlotReference(int32_t FactIndex, std::string SlotName, int32_t SubIndex);
  TSlotReference(const TSlotReference&) = delete;
  TSlotReference& operator=(const TSlotReference&) = delete;

  int32_t GetFactIndex() const noexcept { return FactIndex_; }
  const std::string& GetSlotName() const noexcept { return Slot_.GetName(); }
  int32_t GetSubIndex() const noexcept { return SubIndex_; }
  // The fact meant: Fact (the fact arriving on a join's right input) when
  // FactIndex equals the token's count (0 without a token), otherwise the
  // token's fact at FactIndex; nullptr when there is none.
  const TFact* FactIn(const TKbToken* Token, const TFact* Fact) const noexcept;
  // The value meant. Raises SCorruptedVariable when there is no such fact,
  // SInvalidSlotName when the fact has no such slot, and the list errors
  // for an element of a slot that holds no list or a shorter one.
  IKbValue Resolve(const TKbToken* Token, const TFact* Fact) const;
  // Whether it means the fact's address (an empty slot name).
  bool IsAddress() const noexcept { return Slot_.GetName().empty(); }
  // The value Resolve gives in Fact, without a new reference and without
  // raising: nullptr where Resolve raises. REQUIRES: !IsAddress().
  const IKbValue* Find(const TFact& Fact) const {
    const IKbValue* v = Slot_.Get(Fact);
    return SubIndex_ == NoSubIndex ? v : ListElement(v, SubIndex_);
  }
  // "FactIndex SlotName SubIndex", for messages.
  std::string GetText() const;

 private:
  int32_t FactIndex_;
  int32_t SubIndex_;
  TSlotAccessor Slot_;
};

// ----------------------------------------------------------------- tokens

// Marks the constructors that take a fact that is already a snapshot (the
// fact of another token, or a clone made for the purpose): it is shared,
// not cloned again.
struct TShareSnapshot {};
inline constexpr TShareSnapshot ShareSnapshot{};

class TKbToken final : public TInterfacedPersistent {
 public:
  // An empty token: no fact, count 0, action taClear.
  TKbToken() = default;
  // A single-fact token on a clone of Fact; its sort code is the fact's
  // identifier.
  TKbToken(TTokenAction Action, const IFact& Fact);
  TKbToken(TTokenAction Action, const IFact& Snapshot, TShareSnapshot)
      : Fact_(Snapshot),
        Count_(Snapshot ? 1 : 0),
        SortCode_(Snapshot ? Snapshot->GetID() : 0),
        Tag_(Snapshot ? Action : taClear) {
    if (!Snapshot && Action != taClear) KbError(SInvalidTokenAction);
    if (Snapshot) Identity_ = ExtendIdentity(IdentitySeed, *Snapshot);
  }
  // A single-fact token on one way of cutting the fact's multislots into
  // segments: Cut (a hash of the segments' lengths) goes into the
  // identity, so that the many matches of one fact do not share one.
  TKbToken(TTokenAction Action, const IFact& Snapshot, TShareSnapshot, uint64_t Cut);
  // Parent extended by a clone of Fact, with the parent's action. The sort
  // code is the parent's times 8 plus the fact's identifier (32-bit wrap).
  // A nil or empty parent starts a chain (action taAdd unless the parent
  // has another). A nil fact raises SInvalidTokenAction.
  TKbToken(const IReteToken& Parent, const IFact& Fact);
  TKbToken(const IReteToken& Parent, const IFact& Snapshot, TShareSnapshot);
  // A copy of Token sharing its fact and parent; the negated count is 0.
  explicit TKbToken(const TKbToken& Token);
  TKbToken& operator=(const TKbToken&) = delete;

  // Copies count, negated count, fact (shared), parent, sort code and
  // action from another token.
  void Assign(const TPersistent* Source) override;

  // Same partial match: the same object, or the same count, sort code and
  // fact identifiers at every position. Fact contents are not compared.
  bool Equals(const TKbToken* Token) const noexcept;
  bool Equals(const IReteToken& Token) const noexcept { return Equals(Token.get()); }

  int32_t GetCount() const noexcept { return Count_; }
  int32_t GetNegatedCount() const noexcept { return NegatedCount_; }
  // Stores N, or 0 when N is negative.
  void SetNegatedCount(int32_t N) noexcept { NegatedCount_ = N < 0 ? 0 : N; }
  int32_t GetSortCode() const noexcept { return SortCode_; }
  TTokenAction GetTag() const noexcept { return Tag_; }
  // A token without a fact only carries taClear (EKbException
  // SInvalidTokenAction for any other action).
  void SetTag(TTokenAction Action);

  // This token's own (last) fact; nil for an empty token.
  const IFact& GetFact() const noexcept { return Fact_; }
  // The fact at Index of the chain, 0 being the first pattern's. An index
  // at or beyond the count gives the own fact; a negative one gives nil.
  IFact GetFacts(int32_t Index) const {
    const TFact* f = FactAt(Index);
    return IFact(const_cast<TFact*>(f));
  }
  // The same without a new reference, for the hot paths: constant time
  // for a token the network made (NewExtended), a walk up the chain for
  // others.
  const TFact* FactAt(int32_t Index) const noexcept {
    if (Index < 0) return nullptr;
    if (Index >= Count_ - 1) return Fact_.get();
    if (Facts_) return Facts_[Index];
    const TKbToken* t = this;
    for (int32_t steps = Count_ - Index - 1; steps > 0 && t; --steps) t = t->Parent_.get();
    return t ? t->Fact_.get() : nullptr;
  }
  const IReteToken& GetParent() const noexcept { return Parent_; }

  // The action's name, a blank, the count, then each fact's text on a line
  // of its own, the own fact first.
  std::string GetToString() const;
  // "f-1, f-4": the chain's fact identifiers in pattern order.
  std::string GetToFactsString() const;

  // A 64-bit hash of the chain's fact identifiers (and of how a fact was
  // cut into segments), made as the token is built: equal chains have
  // equal hashes (the network's memories and activation lists index
  // tokens by it).
  uint64_t GetIdentity() const noexcept { return Identity_; }

  // Parent extended by Snapshot (shared, as with TShareSnapshot), holding
  // the facts of the whole chain in one array after the token, so that
  // FactAt is an index.
  static TKbToken* NewExtended(const IReteToken& Parent, const IFact& Snapshot);
  // The sort code of a chain of code Code extended by Fact.
  static int32_t ExtendSortCode(int32_t Code, const TFact& Fact) noexcept {
    return static_cast<int32_t>((static_cast<uint32_t>(Code) << 3) +
                                static_cast<uint32_t>(Fact.GetID()));
  }

  // Tokens are made and freed at a high rate while facts change: they come
  // from per-thread free lists (framework/FreeList.h). Every block starts
  // with its size, so that one made with room for its chain's facts goes
  // back to the free list of its size. Inline, as is the one-fact
  // constructor: every assertion and retraction makes a token.
  static void* operator new(size_t Size) { return Allocate(Size); }
  static void operator delete(void* Pointer, size_t) noexcept { Free(Pointer); }

 private:
  static constexpr size_t Header = sizeof(uint64_t);
  static void* Allocate(size_t Size) {
    void* block = AllocatePooled(Size + Header);
    *static_cast<uint64_t*>(block) = Size + Header;
    return static_cast<char*>(block) + Header;
  }
  static void Free(void* Pointer) noexcept {
    if (!Pointer) return;
    void* block = static_cast<char*>(Pointer) - Header;
    FreePooled(block, static_cast<size_t>(*static_cast<uint64_t*>(block)));
  }
  // The identity of a chain of identity Parent extended by Fact; a chain
  // starts from IdentitySeed.
  static constexpr uint64_t IdentitySeed = 0x9E3779B97F4A7C15ull;
  static uint64_t ExtendIdentity(uint64_t Parent, const TFact& Fact) noexcept {
    const uint64_t h = (Parent ^ static_cast<uint32_t>(Fact.GetID())) * 0x100000001B3ull;
    return h ^ (h >> 29);
  }

  IFact Fact_;
  IReteToken Parent_;
  // The chain's facts in pattern order, kept alive by the chain; nullptr
  // when the token was not made by NewExtended.
  const TFact* const* Facts_ = nullptr;
  uint64_t Identity_ = 0;
  int32_t Count_ = 0;
  int32_t NegatedCount_ = 0;
  int32_t SortCode_ = 0;
  TTokenAction Tag_ = taClear;
};

// --------------------------------------------------------------- memories

// A set of tokens hashed into HashSize buckets. The
// key of a token is its sort code, or taken from the fact at TokenIndex:
// its identifier (empty slot name), the hash code of its value for the
// slot, or of element SubIndex of that value.
class TKbTokenTree final : public TPersistent {
 public:
  using TBucket = std::vector<IReteToken>;

  // A HashSize below 1 is taken as 1.
  TKbTokenTree(int32_t HashSize, int32_t TokenIndex, int32_t SubIndex, std::string SlotName,
               bool UseSortCode);
  TKbTokenTree(const TKbTokenTree&) = delete;
  TKbTokenTree& operator=(const TKbTokenTree&) = delete;

  // Resolves the key slot against the template of the facts the tree will
  // hold, so that no token is keyed by a name lookup.
  void ResolveSlot(const TFactTemplate& Template) const { Slot_.Resolve(Template); }

  // Appends Token to its bucket unless the bucket holds an Equals token;
  // returns whether it was added.
  bool Add(const IReteToken& Token);
  // Takes out the first Equals token; returns whether one was there.
  bool Remove(const IReteToken& Token);
  // Empties every bucket (they keep their storage).
  void Clear();

  // The bucket of a key (any integer; its absolute value modulo the hash
  // size picks the bucket). An empty bucket is nullptr unless
  // AllowNilBucket is false.
  const TBucket* GetTokens(int32_t Key) const {
    const TBucket& b = Buckets_[BucketOf(Key)];
    return b.empty() && AllowNilBucket_ ? nullptr : &b;
  }
  // The key of a token in this tree.
  int32_t KeyOf(const TKbToken& Token) const;
  // The key that a fact's value gives (for looking up the bucket matching
  // a fact that arrives on the other input): the hash code of Value, or of
  // element SubIndex of it.
  static int32_t KeyOfValue(const IKbValue* Value, int32_t SubIndex);

  bool GetAllowNilBucket() const noexcept { return AllowNilBucket_; }
  void SetAllowNilBucket(bool Value) noexcept { AllowNilBucket_ = Value; }
  // True after Clear (and at creation) until the next successful Add.
  bool IsEmpty() const noexcept { return Empty_; }
  // The number of tokens held.
  int32_t GetCount() const noexcept { return Count_; }
  int32_t GetHashSize() const noexcept { return static_cast<int32_t>(Buckets_.size()); }
  // Bucket I in bucket order, for walking the whole memory.
  const TBucket& GetBucket(int32_t I) const { return Buckets_[static_cast<size_t>(I)]; }
  int32_t GetTokenIndex() const noexcept { return TokenIndex_; }
  int32_t GetSubIndex() const noexcept { return SubIndex_; }
  const std::string& GetSlotName() const noexcept { return Slot_.GetName(); }
  bool GetUseSortCode() const noexcept { return UseSortCode_; }

 private:
  size_t BucketOf(int32_t Key) const noexcept {
    int32_t r = Key % static_cast<int32_t>(Buckets_.size());
    return static_cast<size_t>(r < 0 ? -r : r);
  }

  std::vector<TBucket> Buckets_;
  TSlotAccessor Slot_;
  int32_t TokenIndex_;
  int32_t SubIndex_;
  int32_t Count_ = 0;
  bool UseSortCode_;
  bool AllowNilBucket_ = true;
  bool Empty_ = true;
};

}  // namespace kb
