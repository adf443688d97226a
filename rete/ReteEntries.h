// The partial matches of the Rete network: what a join stores (TJoinEntry)
// and what it sends on (TMatch), and the holders through which whatever is
// made of a stored match goes along with it (TReteHolder). A TMatch is not
// counted: it borrows the facts of the entries it came from. The memories
// that keep the entries are in rete/ReteMemories.h. Internal to the network
// (rete/ReteNetwork.h).
#pragma once

#include <climits>
#include <cstdint>

#include "core/KbConsts.h"
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

}  // namespace kb
