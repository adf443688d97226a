// Backward chaining in the Rete network: the goals joins ask for.
//
// A join of a pattern on a template marked for backward chaining
// (PrepareBackwardChaining) has each stored partial match that meets no
// fact ask for a goal fact (BuildGoal) and wait for it (TGoalWait); the
// network's TGoalTable counts the waits on each goal and has the engine
// assert and retract the goal facts. The joins' part of it (TJoinNode's
// SetPattern, AskForBackChain, EndWait, GoalsMet, ReleaseGoals) is
// defined in rete/ReteGoals.cpp too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

#include "memory/KbFacts.h"
#include "memory/KbFactsFact.h"
#include "rete/ReteMemories.h"

namespace kb {

class TRuleCatalog;
class TJoinNode;
class TKbPattern;
class TKbToken;
class TRule;

// A stored partial match waiting, at a join of backward chaining, for the
// fact its goal asks for (TJoinNode::AskForBackChain). Listed with the
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
  explicit TGoalTable(TRuleCatalog* Engine) : Engine_(Engine) {}
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

  TRuleCatalog* Engine_;
  std::unordered_map<const TFact*, TEntry> Entries_;
  std::unordered_multimap<int32_t, const TFact*> ByContent_;
};

// The goal template of Template: "need-" and its name, found among the
// engine's templates or made as a copy of Template's slots (marked for
// backward chaining like it).
IFactTemplate GoalTemplateOf(TRuleCatalog& Engine, const IFactTemplate& Template);
// Marks Template for backward chaining and (re)defines its goal template
// from Template's current slots ("do-backward-chaining"). An existing goal
// template with the same slots is kept. Rules already written with
// patterns on Template are analysed and compiled again, so that they ask
// for goals too; one with a call in such a pattern raises
// SBackChainFuncallPatterns and nothing changes.
void PrepareBackwardChaining(TRuleCatalog& Engine, const IFactTemplate& Template);
// The goal the partial match Token asks for at the join of Pattern (a
// pattern of Rule): constants of the pattern, and variables bound by the
// earlier patterns of Token, fill the goal's slots; anything else is nil
// (an empty list for a multifield variable).
IFact BuildGoal(TRuleCatalog& Engine, const TKbPattern& Pattern, const TRule& Rule,
                const TKbToken& Token);

}  // namespace kb
