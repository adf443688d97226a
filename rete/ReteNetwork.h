// The Rete network: rules compiled into a graph of matching nodes.
//
// A TReteNetwork compiles every rule of an engine (AddRule) into nodes
// shared between rules wherever their tests coincide. A fact enters as a
// single-fact token (TKbToken) at the root nodes of its template;
// pattern-match nodes test it alone, join nodes combine it with the partial
// matches of earlier patterns, test nodes run the rule's test elements, and
// each rule's terminal node turns complete matches into activations
// (TActivation) that the engine puts on its agenda.
//
// Ownership: the network owns its nodes; a node owns its tests and its join
// memories; memories hold counted tokens. A terminal node lists its live
// activations without owning them (the engine's agenda owns them). Rules
// are not owned: the network keeps, per compiled rule, the nodes the rule
// references (one entry per reference) and frees a node when its last
// reference goes.
//
// Invariants:
//  - A node is a root exactly when it has no incoming edge.
//  - A node's RuleUseCount equals its number of entries in the rule lists.
//  - Every token stored in a memory, and every activation's token, has one
//    fact per pattern of the rule up to that point, in pattern order; a
//    negated pattern and a test element hold the engine's null fact.
//  - A memory never holds two tokens of the same match (same facts, and
//    for a multislot cut into segments, the same segments).
//  - Tokens propagate synchronously; while they do, the network is busy and
//    the engine refuses to change the facts (IsBusy).
//
// Speed: slot names are resolved to slot indexes per template layout;
// memories are hashed on the join's equality tests, so that a token meets
// only candidates with the same values; what a join makes is listed by the
// stored matches it came from, so that a removal withdraws it without
// propagating (TReteHolder); a fact reaches only the roots of its own
// template (and its parents').
#pragma once

#include <climits>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/KbConsts.h"
#include "core/KbContext.h"
#include "core/KbValue.h"
#include "framework/Variant.h"
#include "memory/KbFacts.h"
#include "rete/KbPredicate.h"
#include "rete/KbRule.h"
#include "rete/KbSlotTest.h"
#include "rete/KbToken.h"

namespace kb {

class TReteNetwork;
class TReteNode;
class TJoinNode;
class TPatternMatchTerminalNode;
class TActivation;

// Which input of its target an edge feeds. Keep in sync with the names in
// ReteNetwork.cpp.
enum TCallType : uint8_t {
  ctLeft,      // the left input of a join or test node (partial matches)
  ctRight,     // the right input of a join (facts of the join's pattern)
  ctSingle,    // a pattern-match node from its parent
  ctActivate,  // a terminal node
};
template <>
const TEnumInfo& EnumInfo<TCallType>();

// The arguments of a pattern-match node: slot names, positions, lengths.
using TNodeArgsArray = std::vector<TVariant>;

// An outgoing edge.
struct TReteEdge {
  TReteNode* Target;
  TCallType CallType;
};

// Whether two tokens are the same match: the same facts in the same
// places. Facts are compared by identifier, and where a multislot was cut
// into segments (two snapshots of one fact that differ), by content.
bool SameMatch(const TKbToken* A, const TKbToken* B) noexcept;
// The hash of a match, consistent with SameMatch.
uint64_t MatchHash(const TKbToken* Token) noexcept;

// Ways one fact may match the multifield terms of one pattern. Each way is
// a match of its own (a token holding a copy of the fact with its lists
// cut), and a few terms over a long list make astronomically many; real
// programs make a few hundred. A fact with more is refused when asserted
// (or when a rule that would cut it is added), with STooManySegmentations.
constexpr int32_t MaxSegmentations = 100000;
constexpr const char* STooManySegmentations =
    "Fact %s matches the multifield terms of a pattern in more than %d ways";

// ----------------------------------------------------------------- memories

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
  explicit TReteHolder(TKind Kind)
      : Kind(Kind), Side(0), Indexed(false), Linked(false), Alone(false), InArena(false) {}
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
  // Writes the Count facts to Out, in order.
  void CopyFacts(const TFact** Out) const noexcept {
    for (int32_t i = 0; i + 1 < Count; ++i) Out[i] = Prefix[i];
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
void LinkHolder(TReteHolder* Holder, TJoinEntry* Left, TJoinEntry* Right) noexcept;
// Takes Holder off its owners' lists.
void UnlinkHolder(TReteHolder* Holder) noexcept;

// A stored partial match waiting, at a join of backward chaining, for the
// fact its goal asks for (rete/ReteNetworkBackChain.cpp). Listed with the
// match's entry (Owner[0]) as something made of it, so the wait ends when
// the match goes; owned by its join.
struct TGoalWait final : TReteHolder {
  TGoalWait() : TReteHolder(hkGoal) {}
  ~TGoalWait() { UnlinkHolder(this); }
  TGoalWait(const TGoalWait&) = delete;
  TGoalWait& operator=(const TGoalWait&) = delete;
  TJoinNode* Join = nullptr;
  IFact Goal;       // the goal fact of the network's table
  size_t Slot = 0;  // in the join's list
};

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
  // The indexed entry of the same match as Token, or nullptr.
  TEntry* Find(const TKbToken* Token, uint64_t Id) const;
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
      if (Size == Slot_ && !Free_ && Cursor_ != Limit_) {
        char* b = Cursor_;
        Cursor_ += Slot_;
        return b;
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

// -------------------------------------------------------------------- nodes

class TReteNode {
 public:
  explicit TReteNode(TReteNetwork* Rete);
  virtual ~TReteNode();
  TReteNode(const TReteNode&) = delete;
  TReteNode& operator=(const TReteNode&) = delete;

  TReteNetwork* GetRete() const noexcept { return Rete_; }
  // The node's name in traces: "Node" and its creation number.
  std::string GetName() const;
  int32_t GetRuleUseCount() const noexcept { return RuleUseCount_; }
  // Never negative.
  void SetRuleUseCount(int32_t Value) noexcept { RuleUseCount_ = Value < 0 ? 0 : Value; }
  // The node's evaluation context, a child of the engine's root context,
  // made on first use.
  TKbContext* GetContext();

  int GetEdgeCount() const noexcept { return static_cast<int>(Edges_.size()); }
  const TReteEdge& GetEdge(int I) const { return Edges_[static_cast<size_t>(I)]; }
  int GetInDegree() const noexcept { return static_cast<int>(Parents_.size()); }
  TReteNode* GetParent(int I) const { return Parents_[static_cast<size_t>(I)]; }

  // Receives a token on one input: a token made from a fact alone, or a
  // clear token.
  virtual bool CallNode(const IReteToken& Token, TCallType CallType) = 0;
  // Receives a partial match made by a join (the left input of a join or a
  // test node, or a terminal node). Other nodes take none: EKbException
  // SInvalidCallType.
  virtual void CallMatch(const TMatch& Match, TCallType CallType);
  // Passes Token to every child in edge order.
  void CallChildren(const IReteToken& Token) {
    for (const TReteEdge& e : Edges_) e.Target->CallNode(Token, e.CallType);
  }
  void CallChildren(const TMatch& Match) {
    for (const TReteEdge& e : Edges_) e.Target->CallMatch(Match, e.CallType);
  }
  // Empties the node's memories (the network's response to a clear token).
  virtual void ClearMemory() {}

  // A copy of Call in which every positional reference is replaced by the
  // value it designates in Token and Fact (the fact arriving on the right).
  IFunCall Evaluate(const IFunCall& Call, const IReteToken& Token, const IFact& Fact) const;
  // Whether compiled predicates may decide now: the node has an engine
  // that was not interrupted, and the stack has room. Otherwise the
  // general evaluation runs, which raises what it raises.
  bool MayCompute() const;
  // "Node<n> In/Out#: i/o RuleUse: u", extended by each kind of node.
  virtual std::string GetToString() const;

 protected:
  friend class TReteNetwork;
  TReteNetwork* Rete_;
  std::vector<TReteEdge> Edges_;
  std::vector<TReteNode*> Parents_;  // one entry per incoming edge
  std::unique_ptr<TKbContext> Context_;
  int32_t RuleUseCount_ = 1;
  int32_t Number_ = 0;
  size_t Slot_ = 0;  // position in the network's node list
  // Set while a rule is being added: the node was made for it.
  bool New_ = false;
};

// A one-fact test (see TPatternMatchTest in rete/KbSlotTest.h).
class TPatternMatchNode final : public TReteNode {
 public:
  TPatternMatchNode(TReteNetwork* Rete, TPatternMatchTest Test, TNodeArgsArray Args,
                    IKbValue Value);

  TPatternMatchTest GetPatternMatchTest() const noexcept { return Test_; }
  void SetPatternMatchTest(TPatternMatchTest Value) noexcept { Test_ = Value; }
  const IKbValue& GetValue() const noexcept { return Value_; }
  const TNodeArgsArray& GetArgs() const noexcept { return Args_; }

  bool CallNode(const IReteToken& Token, TCallType CallType) override;
  std::string GetToString() const override;

  // Whether a fact of Template can pass the root test: Template, or one of
  // its parents, is the template named by the value.
  bool MatchesTemplate(const TFactTemplate* Template) const;
  using TTokenSink = std::function<void(const IReteToken&)>;
  // Passes Token's fact through this node's test alone, calling Out with
  // each token that passes (one per segment for a multifield test).
  void Filter(const IReteToken& Token, const TTokenSink& Out);

 private:
  // One multislot a pmtTestMultiSlotMultiField node cuts: its number of
  // positions (-1 when the pattern leaves it open) and the positions of
  // its multifield terms, in order.
  struct TCut {
    TSlotAccessor Slot;
    int32_t Positions;
    std::vector<int32_t> Multi;
  };
  // Calls Out with one token per way of cutting the lists (EKbException
  // STooManySegmentations past MaxSegmentations).
  void Segment(const IReteToken& Token, const TTokenSink& Out);
  bool Holds(const IReteToken& Token);
  bool CallHolds(const IReteToken& Token);

  TPatternMatchTest Test_;
  TNodeArgsArray Args_;
  IKbValue Value_;
  // The call of Value_ compiled, when it can be.
  std::unique_ptr<TCompiledPredicate> Compiled_;
  bool ValueIsCall_ = false;
  // A slot-value test whose first side is the fact's own address.
  bool AddressA_ = false;
  // The compiled arguments.
  TSlotAccessor SlotA_, SlotB_;
  int32_t IntA_ = NoSubIndex, IntB_ = NoSubIndex;
  std::string ClassName_;
  std::vector<TCut> Cuts_;
};

// A test element: its tests see the partial match arriving on the left.
// The match goes on with the null fact in the test's place.
class TTestNode : public TReteNode {
 public:
  explicit TTestNode(TReteNetwork* Rete) : TReteNode(Rete) {}

  // A predicate test of Value (a compiled call).
  int AddTest(TSlotTestType SlotTestType, const std::string& SlotName, int32_t SubIndex,
              const IKbValue& Value);
  int AddTest(TSlotTestType SlotTestType, const std::string& SlotName, const IKbValue& Value) {
    return AddTest(SlotTestType, SlotName, NoSubIndex, Value);
  }
  void ClearTests();
  void DeleteTest(int I);
  TKbSlotTest* GetTest(int I) const { return Tests_[static_cast<size_t>(I)].get(); }
  int GetTestCount() const noexcept { return static_cast<int>(Tests_.size()); }
  // Same class, same number of tests, no predicate test on either side,
  // and each join test of this node equal to one of Other's.
  virtual bool Equals(const TTestNode* Other) const;

  // Every test holds for the partial match Token and the fact Fact.
  bool RunTests(const TKbToken* Token, const IFact& Fact);
  // The same for a stored or passing match (TJoinEntry or TMatch).
  template <class M>
  bool MatchPasses(const M& Match, const TFact* Fact) {
    for (const TCompiled& c : Compiled_)
      if (c.Join && !c.Join->TestFacts(Match.FactAt(c.Join->GetTokenIndex()), Fact)) return false;
    return !HasPredicates_ || RunPredicates(Match, Fact);
  }

  bool CallNode(const IReteToken& Token, TCallType CallType) override;
  void CallMatch(const TMatch& Match, TCallType CallType) override;
  std::string GetToString() const override;

 protected:
  struct TCompiled {
    const TKbJoinTest* Join;           // a join test, or
    const TKbPatternMatchTest* Check;  // a predicate,
    TCompiledPredicate* Fast;          // and its compiled form, when it has one
  };
  void Recompile();
  // The predicate tests alone, for a match (a TJoinEntry, TMatch or
  // TKbToken) and the fact on the right: each compiled one decides from
  // the facts when it can, the others see a token of the match.
  template <class M>
  bool RunPredicates(const M& Match, const TFact* Fact);
  // The same from predicate First on, which the compiled form left
  // undecided: the match's token is built once for those that need it.
  template <class M>
  bool RunPredicatesFrom(const M& Match, const TFact* Fact, size_t First, bool Compute);
  // Whether predicate C holds (ptTrue, the test type applied), does not,
  // or is to be evaluated in the general way.
  static TCompiledPredicate::TTruth Decide(const TCompiled& C, const TPredicateFacts& Facts,
                                           bool Compute) {
    if (!Compute || !C.Fast || C.Fast->GetSource() != C.Check->GetSlotValue().get())
      return TCompiledPredicate::ptUnknown;
    const TCompiledPredicate::TTruth t = C.Fast->Test(Facts);
    if (t == TCompiledPredicate::ptUnknown) return t;
    return (t == TCompiledPredicate::ptFalse) == C.Check->IsNotEquals()
               ? TCompiledPredicate::ptTrue
               : TCompiledPredicate::ptFalse;
  }
  // One predicate in the general way.
  bool RunGeneral(const TKbPatternMatchTest& Check, const IReteToken& Token, const TFact* Fact);
  std::vector<std::unique_ptr<TKbSlotTest>> Tests_;
  // The compiled forms of the predicate tests that have one.
  std::unordered_map<const TKbSlotTest*, std::unique_ptr<TCompiledPredicate>> Fast_;
  std::vector<TCompiled> Compiled_;
  bool HasPredicates_ = false;
  // Counts the compilations of the tests.
  uint32_t Generation_ = 0;
};

template <class M>
bool TTestNode::RunPredicates(const M& Match, const TFact* Fact) {
  const bool compute = MayCompute();
  const TPredicateFacts facts = PredicateFacts(Match, Fact);
  for (size_t i = 0; i < Compiled_.size(); ++i) {
    const TCompiled& c = Compiled_[i];
    if (!c.Check) continue;
    const TCompiledPredicate::TTruth t = Decide(c, facts, compute);
    if (t == TCompiledPredicate::ptUnknown) return RunPredicatesFrom(Match, Fact, i, compute);
    if (t == TCompiledPredicate::ptFalse) return false;
  }
  return true;
}

template <class M>
bool TTestNode::RunPredicatesFrom(const M& Match, const TFact* Fact, size_t First, bool Compute) {
  const IReteToken token = PredicateToken(Match);
  const TPredicateFacts facts = PredicateFacts(Match, Fact);
  for (size_t i = First; i < Compiled_.size(); ++i) {
    const TCompiled& c = Compiled_[i];
    if (!c.Check) continue;
    const TCompiledPredicate::TTruth t =
        i == First ? TCompiledPredicate::ptUnknown : Decide(c, facts, Compute);
    if (t == TCompiledPredicate::ptFalse) return false;
    if (t == TCompiledPredicate::ptUnknown && !RunGeneral(*c.Check, token, Fact)) return false;
  }
  return true;
}

// How a join treats the facts on its right. The mode of a pattern under n
// "not": none is positive, an odd number negated, an even number
// existential.
enum TJoinMode : uint8_t {
  jmPositive,  // each matching fact extends the partial match
  jmNegated,   // the match goes on (with the null fact) while no fact matches
  jmExists,    // the match goes on (with the null fact) while some fact matches
};

class TJoinNode final : public TTestNode {
 public:
  TJoinNode(TReteNetwork* Rete, TJoinMode Mode, bool Unique, int32_t HashSize);

  bool GetNegatedPattern() const noexcept { return Mode_ != jmPositive; }
  TJoinMode GetMode() const noexcept { return Mode_; }
  bool GetUnique() const noexcept { return Unique_; }
  TRule* GetRule() const noexcept { return Rule_; }
  // The number of tokens sent on during the current call.
  int32_t GetOutputCount() const noexcept { return OutputCount_; }

  // A join test on whole slots, or on multislot elements when a sub-index
  // is not -1. Left is the token's fact at TokenIndex, right the fact
  // arriving on the right input.
  void AddTest(TSlotTestType SlotTestType, int32_t TokenIndex, const std::string& LeftIndex,
               const std::string& RightIndex);
  void AddTest(TSlotTestType SlotTestType, int32_t TokenIndex, const std::string& LeftIndex,
               int32_t LeftSubIndex, const std::string& RightIndex, int32_t RightSubIndex);
  using TTestNode::AddTest;
  // Chooses the first equality join test (whole slots first) as the short
  // cut, moves it to the front and empties the memories. Both memories are
  // hashed on the short cut and every other equality join test.
  void PrepareShortCut();
  void ClearMemory() override;
  // Positive joins with the same tests over the same inputs, unique alike.
  bool Equals(const TTestNode* Other) const override;
  // The goal pattern of backward chaining (a clone is kept) and its rule.
  void SetPattern(const TKbPattern* Pattern, TRule* Rule);
  const TKbPattern* GetPattern() const noexcept { return BackChain_.get(); }

  bool CallNode(const IReteToken& Token, TCallType CallType) override;
  void CallMatch(const TMatch& Match, TCallType CallType) override;
  std::string GetToString() const override;

  const TJoinMemory& GetLeftMemory() const noexcept { return *Left_; }
  const TJoinMemory& GetRightMemory() const noexcept { return *Right_; }
  bool HasShortCut() const noexcept { return ShortCut_ != nullptr; }

  // Sends every token this join would have sent for its current memories to
  // Target alone (bringing a node added below it up to date).
  void Replay(TReteNode* Target, TCallType CallType, TTokenAction Action);
  // Ends Wait, one of this join's: its goal is released. The network calls
  // it when the waiting match goes.
  void EndWait(TGoalWait* Wait);
  // Whether a stored match waits for a goal.
  bool HasWaits() const noexcept { return !Waits_.empty(); }

 private:
  // The key of a partial match (a token or a TMatch) in the left memory.
  template <class M>
  int32_t LeftKey(const M& Match) const;
  int32_t RightKey(const TFact* Fact) const;
  void LeftArrived(const IReteToken& Token);
  void RightArrived(const IReteToken& Token);
  // A match stored on the left meets the right memory.
  void LeftStored(TJoinEntry* Entry, TTokenAction Action);
  // Calls Body(entry) for each stored entry that can meet the arriving one.
  template <class F>
  void Candidates(TJoinMemory& Memory, bool Keyed, int32_t Key, F&& Body);
  // Right facts matching the stored match Left, leaving out the fact Dying.
  int32_t CountMatches(const TJoinEntry& Left, int32_t Dying);
  // Passes on Left's match extended by Fact, made from Left and Right
  // (nullptr at a negated or existential join), to Target alone or to
  // every child.
  void Send(TJoinEntry* Left, TJoinEntry* Right, const TFact* Fact, TTokenAction Action);
  void SendTo(TReteNode* Target, TCallType CallType, TJoinEntry* Left, TJoinEntry* Right,
              const TFact* Fact, TTokenAction Action);
  // Backward chaining (rete/ReteNetworkBackChain.cpp): a stored partial
  // match that met no fact asks for a goal and waits; it stops waiting
  // when a fact meets it (GoalsMet) or when it leaves (the network
  // withdraws the wait with the entry: EndWait), and every wait ends when
  // the memories are emptied (ReleaseGoals).
  void AskForBackChain(TJoinMemory::TEntry* Entry);
  void GoalsMet(const IFact& Fact);
  void ReleaseGoals();
  friend class TReteNetwork;

  TJoinMode Mode_;
  bool Unique_;
  int32_t HashSize_;
  int32_t OutputCount_ = 0;
  std::unique_ptr<TJoinMemory> Left_, Right_;
  const TKbJoinTest* ShortCut_ = nullptr;
  // The slots of every equality join test (the short cut first): the
  // memories are keyed on all of them together, so that a bucket holds
  // only tokens that agree on every one (barring hash collisions).
  // A side that is a fact's address hashes as its identifier does.
  struct TKeyPart {
    TSlotAccessor Left, Right;
    int32_t LeftSub, RightSub, TokenIndex;
    bool LeftAddress, RightAddress;
  };
  std::vector<TKeyPart> Key_;
  // The join tests on whole slots, equal or not: right entries keep an
  // image of the right value of each, in this order.
  struct TImaged {
    TSlotAccessor Left, Right;
    int32_t TokenIndex;
    bool NotEquals;
    bool LeftAddress, RightAddress;
  };
  std::vector<TImaged> Imaged_;
  // The tests the images do not settle, in order. Both as compiled when
  // Generation_ was KeyGeneration_.
  std::vector<TCompiled> Rest_;
  uint32_t KeyGeneration_ = UINT32_MAX;
  // Whether a stored match (Left) and a right entry meet, the imaged
  // tests read from the entry (see TJoinEntry::TImage).
  template <class M>
  bool MeetsRight(const M& Left, const TJoinEntry& Right);
  void TakeImages(TJoinEntry& Right);
  std::unique_ptr<TKbPattern> BackChain_;
  TRule* Rule_ = nullptr;
  std::vector<std::unique_ptr<TGoalWait>> Waits_;
  // The joins under this one (through test nodes), as the network's edges
  // were when Shape_ was BelowShape_ (TReteNetwork::WithdrawWhole).
  std::vector<TJoinNode*> Below_;
  uint64_t BelowShape_ = UINT64_MAX;
};

// A rule's end: each complete match becomes an activation.
class TPatternMatchTerminalNode final : public TReteNode {
 public:
  TPatternMatchTerminalNode(TReteNetwork* Rete, TRule* Rule);
  ~TPatternMatchTerminalNode() override;

  TRule* GetRule() const noexcept { return Rule_; }
  bool GetInitialized() const noexcept { return Initialized_; }
  // Once true, stays true.
  void SetInitialized(bool Value) noexcept { Initialized_ = Initialized_ || Value; }

  // A new activation for Token handed to the network (and so to the
  // agenda); nullptr for an update token once the node is initialized.
  TActivation* AddActivation(const IReteToken& Token);
  // Withdraws the activation (the agenda frees it).
  void Deactivate(TActivation* Activation);
  void Deactivate(int Index);
  // Withdraws every activation, the most recent first.
  void StandDown();
  // Withdraws the activation of the same match as Token, if any, among
  // those made from a fact alone (the others go with the stored matches
  // that made them).
  void StandDown(const IReteToken& Token);
  // Takes a fired activation off the node's list and tells the network.
  void RuleFired(TActivation* Activation);

  int GetActivationCount() const noexcept { return Count_; }
  // Activations in the order they were made. O(I).
  TActivation* GetActivation(int I) const;
  int IndexOf(const TActivation* Activation) const;

  bool CallNode(const IReteToken& Token, TCallType CallType) override;
  void CallMatch(const TMatch& Match, TCallType CallType) override;
  void ClearMemory() override { StandDown(); }
  std::string GetToString() const override;

  // Forgets Activation without telling anyone (it is being freed).
  void Unlink(TActivation* Activation) noexcept;

 private:
  // Lists the activation; Left and Right are the entries it was made
  // from (both nullptr for one made from a fact alone).
  void Link(TActivation* Activation, TJoinEntry* Left, TJoinEntry* Right);
  TActivation* FindMatch(const TKbToken* Token, uint64_t Id) const;
  void GrowIds();

  TRule* Rule_;
  bool Initialized_ = false;
  TActivation* Head_ = nullptr;
  TActivation* Tail_ = nullptr;
  std::vector<TActivation*> Ids_;
  int Count_ = 0;
  int Indexed_ = 0;
};

// A rule ready to fire on one complete match. Owned by the engine's agenda
// once activated; its terminal node lists it until it fires or is
// withdrawn. An activation made by a join holds its facts in an array
// after itself (borrowed, as a stored match does) and builds its counted
// token when first asked, which firing does before anything else.
class TActivation final : public TReteHolder {
 public:
  TActivation(TRule* Rule, IReteToken Token, TPatternMatchTerminalNode* Node);
  // Made with New (room for the match's facts).
  TActivation(TRule* Rule, const TMatch& Match, TPatternMatchTerminalNode* Node);
  // Leaves its terminal node's list, telling no one.
  ~TActivation();
  TActivation(const TActivation&) = delete;
  TActivation& operator=(const TActivation&) = delete;

  // An activation of Match, with room for its facts.
  static TActivation* New(TRule* Rule, const TMatch& Match, TPatternMatchTerminalNode* Node);

  TRule* GetRule() const noexcept { return Rule_; }
  const IReteToken& GetToken() const;
  TPatternMatchTerminalNode* GetNode() const noexcept { return Node_; }
  // The salience it was placed by on the agenda.
  int32_t GetSalience() const noexcept { return Salience_; }
  // A new activation of the same rule, token and node, not listed by the
  // node.
  std::unique_ptr<TActivation> Clone() const;
  // Fires the rule on the token, then has the node report the firing.
  bool Fire();
  // "rule : f-1, f-4".
  std::string GetToString() const;

  // From per-thread free lists, with room for the facts; deleting one
  // reads its fact count to give back a block of the right size.
  static void* operator new(size_t Size);
  static void* operator new(size_t Size, int32_t Facts);
  static void operator delete(TActivation* Activation, std::destroying_delete_t) noexcept;
  // For a constructor that fails.
  static void operator delete(void* Pointer, size_t Size) noexcept;
  static void operator delete(void* Pointer, int32_t Facts) noexcept;

 private:
  friend class TPatternMatchTerminalNode;
  friend class TReteNetwork;
  friend class TAgenda;
  const TFact* const* Facts() const noexcept {
    return reinterpret_cast<const TFact* const*>(this + 1);
  }
  const TFact* FactAt(int32_t Index) const noexcept {
    return Facts()[Index >= Count - 1 ? Count - 1 : Index];
  }
  template <class M>
  friend IReteToken ChainOf(const M& Match, TTokenAction Action);

  TRule* Rule_;
  mutable IReteToken Token_;
  TPatternMatchTerminalNode* Node_;
  // The terminal node's list and match index.
  TActivation* NodePrev_ = nullptr;
  TActivation* NodeNext_ = nullptr;
  TActivation* IdNext_ = nullptr;
  // The agenda's list and block holding it (see engine/DeducerAgenda.cpp).
  TActivation* AgendaPrev_ = nullptr;
  TActivation* AgendaNext_ = nullptr;
  void* Block_ = nullptr;
  // Its salience and the stamp of the change that made it (TAgenda).
  int32_t Salience_ = 0;
  uint32_t Change_ = 0;
};
static_assert(sizeof(TActivation) % alignof(const TFact*) == 0);

// -------------------------------------------------------- backward chaining
// (rete/ReteNetworkBackChain.cpp)

// The goal facts the joins of one network have asked for. A goal stands
// for every partial match that waits for a fact it describes: equal goals
// asked for by several matches (or several joins) are one fact, counted
// once per waiting match. The first need queues the goal's assertion, the
// last release its retraction, both through the engine's pending facts;
// when the engine processes them it asks Settle, so a goal needed again
// before its retraction ran stays, and one no longer needed before its
// assertion ran is never asserted. The table holds its goal facts counted;
// it forgets everything on Clear (working memory is being emptied).
class TGoalTable {
 public:
  explicit TGoalTable(TDeducer* Engine) : Engine_(Engine) {}
  TGoalTable(const TGoalTable&) = delete;
  TGoalTable& operator=(const TGoalTable&) = delete;

  // One more match needs the fact Goal describes. Returns the goal fact
  // that stands for it: an equal goal already counted, or Goal itself.
  IFact Need(const IFact& Goal);
  // One match fewer needs Goal (a fact Need returned); nothing for a goal
  // the table does not hold.
  void Release(const IFact& Goal);
  // What the engine does with a queued fact.
  enum TVerdict : uint8_t {
    gvNotAGoal,  // not a goal of this table: handled as any pending fact
    gvProceed,   // assert it, or retract that very object if it is asserted
    gvDrop,      // leave it: the need changed since it was queued
  };
  TVerdict Settle(const TFact* Fact, bool Assert);
  // The matches waiting for Goal (0 for a fact the table does not hold).
  int32_t GetNeedCount(const TFact* Goal) const;
  int GetCount() const noexcept { return static_cast<int>(Entries_.size()); }
  void Clear() noexcept;

 private:
  struct TEntry {
    IFact Fact;
    int32_t Hash = 0;
    int32_t Count = 0;  // the matches waiting for it
    bool QueuedAssert = false;
    bool QueuedRetract = false;
  };
  bool Asserted(const TFact* Fact) const;
  void Erase(const TFact* Fact);

  TDeducer* Engine_;
  std::unordered_map<const TFact*, TEntry> Entries_;
  std::unordered_multimap<int32_t, const TFact*> ByContent_;
};

// The goal template of Template: "need-" and its name, found among the
// engine's templates or made as a copy of Template's slots (marked for
// backward chaining like it).
IFactTemplate GoalTemplateOf(TDeducer& Engine, const IFactTemplate& Template);
// Marks Template for backward chaining and (re)defines its goal template
// from Template's current slots ("do-backward-chaining"). An existing goal
// template with the same slots is kept. Rules already written with
// patterns on Template are analysed and compiled again, so that they ask
// for goals too; one with a call in such a pattern raises
// SBackChainFuncallPatterns and nothing changes.
void PrepareBackwardChaining(TDeducer& Engine, const IFactTemplate& Template);
// The goal the partial match Token asks for at the join of Pattern (a
// pattern of Rule): constants of the pattern, and variables bound by the
// earlier patterns of Token, fill the goal's slots; anything else is nil
// (an empty list for a multifield variable).
IFact BuildGoal(TDeducer& Engine, const TKbPattern& Pattern, const TRule& Rule,
                const TKbToken& Token);

using TActivationEvent = std::function<void(TReteNetwork* Sender, TActivation* Activation)>;

// ------------------------------------------------------------------ network

class TReteNetwork {
 public:
  explicit TReteNetwork(TDeducer* Engine);
  ~TReteNetwork();
  TReteNetwork(const TReteNetwork&) = delete;
  TReteNetwork& operator=(const TReteNetwork&) = delete;

  TDeducer* GetEngine() const noexcept { return Engine_; }
  // The goals of backward chaining the joins asked for.
  TGoalTable& Goals() noexcept { return Goals_; }
  // Bucket count of join memories without a short cut.
  int32_t GetHashKey() const noexcept { return HashKey_; }
  void SetHashKey(int32_t Value) noexcept { HashKey_ = Value < 1 ? 1 : Value; }

  // Compiles Rule into the network and brings it up to date with the facts
  // of working memory: its terminal node receives every existing match.
  // The rule's compilation text is set. A rule already compiled is
  // compiled again. On failure what was built for the rule is released.
  // While a token propagates: EKbException SRulesBusy, nothing changes.
  virtual void AddRule(TRule* Rule);
  // Releases the rule's references; nodes no other rule uses are freed
  // (their activations withdrawn). A rule not compiled is ignored. While a
  // token propagates: EKbException SRulesBusy, nothing changes.
  virtual void RemoveRule(TRule* Rule);
  // Frees every node and forgets every rule.
  void Clear();

  // Passes Token to the roots: a token with a fact to the roots of its
  // template, a clear token to every node. True when a root took it.
  virtual bool ProcessToken(const IReteToken& Token);
  bool ProcessTokenOneNode(const IReteToken& Token, TReteNode* Node);
  // Whether a token is propagating.
  bool IsBusy() const noexcept { return Busy_ > 0; }
  // The propagation running now (a token from the roots, or a new rule
  // brought up to date), numbered from 1; 0 while none runs. Activations
  // made by one propagation are one change of the agenda.
  uint64_t GetPropagation() const noexcept { return Busy_ > 0 ? Propagations_ : 0; }
  // Holds the network busy while it lives, so that facts and rules cannot
  // change (the engine evaluating saliences between propagations).
  class THold {
   public:
    explicit THold(TReteNetwork& Rete) noexcept : Rete_(Rete) { ++Rete_.Busy_; }
    ~THold() { --Rete_.Busy_; }
    THold(const THold&) = delete;
    THold& operator=(const THold&) = delete;

   private:
    TReteNetwork& Rete_;
  };
  // Withdraws Holder and everything made from it: an entry leaves its
  // memory, an activation the agenda. A handler that raises on the way
  // stops nothing; the first failure is raised once all is withdrawn.
  void Withdraw(TReteHolder* Holder);
  // Withdraws everything made from Entry, which stays.
  void WithdrawChildren(TJoinEntry* Entry);

  // The identifier of the fact whose removal is propagating, or
  // NoDyingFact. Partial matches that reach a join during the removal do
  // not meet that fact: it is on its way out of the join's other memory.
  int32_t GetDyingFact() const noexcept { return DyingFact_; }

  int GetRootCount() const noexcept { return static_cast<int>(Roots_.size()); }
  TReteNode* GetRoot(int I) const { return Roots_[static_cast<size_t>(I)]; }
  int GetNodeCount() const noexcept { return static_cast<int>(Nodes_.size()); }
  // Every node the rule references, one entry per reference; nullptr for a
  // rule not compiled.
  const std::vector<TReteNode*>* GetRuleNodesList(const TRule* Rule) const;

  // Compiling predicates: a clone of Call whose variables are positional
  // references [fact index, slot, sub-index] from the rule's bindings
  // (EKbException SUnknownVariable for an unbound one).
  IFunCall Evaluate(const IFunCall& Call, TRule* Rule);
  // The same for a call in pattern Limit: a variable it may not read there
  // (bound by a later pattern, or inside an earlier negated one) raises
  // SUnknownVariable.
  IFunCall Evaluate(const IFunCall& Call, TRule* Rule, int32_t Limit);
  // Whether a reference of Call designates a fact other than pattern I.
  static bool HasMorePatterns(const IFunCall& Call, int32_t I);
  // Points every reference of Call at fact 0 (for a one-fact node).
  static void CleanUpBinding(const IFunCall& Call);

  // A pattern-match node below Parent (a root for nullptr) with that test,
  // shared with an equal one when there is one; added to Rule's nodes.
  TReteNode* CreateSuccessor(TReteNode* Parent, TPatternMatchTest Test, TRule* Rule,
                             TNodeArgsArray Args, const IKbValue& Value);
  TReteNode* CreateSuccessor(TReteNode* Parent, TPatternMatchTest Test, TRule* Rule,
                             TNodeArgsArray Args) {
    return CreateSuccessor(Parent, Test, Rule, std::move(Args), nullptr);
  }

  // Activations, to the engine and then the events.
  virtual void Activate(TActivation* Activation);
  virtual void Deactivate(TActivation* Activation);
  virtual void RuleFired(TActivation* Activation);

  TActivationEvent OnActivation;
  TActivationEvent OnDeactivation;
  TActivationEvent OnRuleFired;

 private:
  friend class TReteNode;
  friend class TJoinNode;
  struct TBuild;

  template <class T, class... A>
  T* NewNode(A&&... Args);
  void AddEdge(TReteNode* From, TReteNode* To, TCallType CallType);
  void FreeNode(TReteNode* Node);
  void UseNode(TReteNode* Node, TRule* Rule);
  // Refuses a rule past MaxRulePatterns or with a pattern past
  // MaxPatternTests: the network would recurse too deeply for it.
  static void CheckSize(const TRule& Rule);
  void BuildPatterns(TBuild& B);
  void BuildRepeats(TBuild& B);
  void BuildJoins(TBuild& B);
  void BuildTerminal(TBuild& B);
  void UpdateNodes(TBuild& B);
  const std::vector<TPatternMatchNode*>& RootsOf(const TFactTemplate* Template);
  void RootsChanged() { RootCache_.clear(); }
  static void PrefetchNeighbours(const TReteHolder* Holder) noexcept;
  // Withdrawal that goes on past a failing handler, keeping the first
  // failure (rete/ReteNetworkMemory.cpp).
  void Withdraw(TReteHolder* Holder, std::exception_ptr& Failure) noexcept;
  void WithdrawChildren(TJoinEntry* Entry, std::exception_ptr& Failure) noexcept;
  bool WithdrawWhole(TJoinEntry* Entry, std::exception_ptr& Failure) noexcept;
  // The number of entries it freed.
  int64_t WithdrawForgotten(TJoinEntry* Entry, std::exception_ptr& Failure) noexcept;
  const std::vector<TJoinNode*>& JoinsBelow(TJoinNode* Join);
  template <class F>
  void Told(F&& Body);
  // Runs Body, keeping in Failure the first exception it raises.
  template <class F>
  static void Keep(std::exception_ptr& Failure, F&& Body) noexcept {
    try {
      Body();
    } catch (...) {
      if (!Failure) Failure = std::current_exception();
    }
  }
  // Withdraws an activation or a goal wait, off its owners' lists already.
  void EndHolder(TReteHolder* Holder, std::exception_ptr& Failure) noexcept;

  TDeducer* Engine_;
  // Before the nodes: joins release their goals as they are freed.
  TGoalTable Goals_;
  int32_t HashKey_ = 101;
  int32_t NextNumber_ = 0;
  int32_t Busy_ = 0;
  uint64_t Propagations_ = 0;
  int32_t DyingFact_ = NoDyingFact;
  // Changes whenever an edge is added or removed.
  uint64_t Shape_ = 0;
  // The first failure of a handler while the outermost token propagates.
  std::exception_ptr Failure_;
  std::vector<std::unique_ptr<TReteNode>> Nodes_;
  std::vector<TReteNode*> Roots_;
  std::unordered_map<const TRule*, std::vector<TReteNode*>> RuleNodes_;
  // The root nodes a fact of a template reaches, in roots order. The
  // template is held so that its address names it while cached.
  struct TRootList {
    IFactTemplate Template;
    std::vector<TPatternMatchNode*> Roots;
  };
  std::unordered_map<const TFactTemplate*, TRootList> RootCache_;
};

}  // namespace kb
