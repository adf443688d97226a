// The engine's agenda: its storage (TAgenda) and the part of the engine
// that keeps it and runs the rules (TDeducerAgenda).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/KbConsts.h"
#include "framework/RecursiveLock.h"

namespace kb {

class TActivation;
class TDeducer;
class TDeducerFactBase;
class TDeducerIO;
class TRule;

// The agenda's storage: activations in firing order, owned. Once an index
// is asked for, the list is cut into blocks, so that reaching the i-th
// walks the blocks, not the activations; and it is indexed by salience and
// by the runs the current change makes, so that a new activation finds its
// place without a search.
//
// The order (index 0 fires next):
// 1. salience, highest first;
// 2. among equal saliences, the change that made the activation (one
//    propagation through the network: an assertion, a retraction, a rule
//    brought up to date; or one activation added by a host), the newest
//    change first depth first, the oldest first breadth first;
// 3. among activations one change made at one salience, their rules in
//    the order they were defined (rule identifiers, lowest first);
// 4. among those of one rule, the one made last first depth first, the one
//    made first first breadth first.
// The current change's activations of a salience therefore lie together
// at the front (depth first) or the end (breadth first) of its run, one
// run of each rule in rule order.
class TAgenda {
 public:
  TAgenda() = default;
  TAgenda(const TAgenda&) = delete;
  TAgenda& operator=(const TAgenda&) = delete;
  ~TAgenda() { Clear(); }

  int Count() const noexcept { return Count_; }
  // REQUIRES: 0 <= Index < Count().
  TActivation* At(int Index) const;
  // -1 when the activation is not on the agenda.
  int IndexOf(const TActivation* Activation) const;
  bool Contains(const TActivation* Activation) const;

  // Activations added from now on come from one new change.
  void NewChange();
  // No activation will be added to the current change any more (the next
  // one added starts another): its runs are forgotten, and activations
  // leave without their upkeep.
  void CloseChange() noexcept { Runs_.clear(); }
  // Places Activation, of that salience, as made by the current change
  // under the strategy (see the order above).
  void Add(TActivation* Activation, int32_t Salience, bool DepthFirst);
  // Puts Replacement where Activation is, with its salience and change,
  // and takes Activation off without freeing it.
  void Replace(TActivation* Activation, TActivation* Replacement);
  // Takes the activation off without freeing it.
  void Remove(TActivation* Activation) noexcept;
  // Every activation, in order.
  std::vector<TActivation*> List() const;
  // Orders Items (each activation of the agenda once, with its new
  // salience) under the strategy and makes that the agenda. Items of one
  // rule, change and salience keep their order in Items, reversed when
  // Reversed (Items are in the order of the other strategy). The current
  // change ends.
  void Sort(std::vector<std::pair<TActivation*, int32_t>>& Items, bool DepthFirst, bool Reversed);
  // The index a new activation of that salience from a new change would
  // take; Count() at the end.
  int PlaceFor(int32_t Salience, bool DepthFirst) const;
  // Takes every activation off, in order, without freeing them.
  std::vector<TActivation*> TakeAll();
  // Frees every activation except Keep.
  void Clear(const TActivation* Keep = nullptr);

  // The current change's stamp. Stamps are 32 bits; when they would wrap,
  // those on the agenda are numbered again from 1 in the same order.
  uint32_t GetChange() const noexcept { return Change_; }
  // Starts the stamps at Value (tests take them to the wrap).
  void SetChange(uint32_t Value) noexcept;

 private:
  // The activations form one list in agenda order; blocks cut it into
  // runs of at most MaxBlockSize, so that an index is found by walking the
  // blocks and then one run. Each activation knows its block; the blocks
  // form a list of their own. The blocks are made when an index is first
  // asked for (a run loop asks none: it fires the first activation) and
  // kept up from then on until the agenda is emptied or ordered anew;
  // without them an activation's block is the agenda itself, which says
  // only that it is on the agenda.
  struct TBlock {
    TActivation* First = nullptr;
    TActivation* Last = nullptr;
    TBlock* Prev = nullptr;
    TBlock* Next = nullptr;
    size_t Size = 0;
  };
  // The activations of one salience, a stretch of the list.
  struct TGroup {
    int32_t Salience;
    TActivation* First;
    TActivation* Last;
  };
  // The activations of one rule at one salience that the current change
  // made, a stretch of their group.
  struct TRun {
    int32_t Salience;
    int32_t Rule;
    TActivation* First;
    TActivation* Last;
  };
  // The block holding Index (Index < Count_) and the offset in it.
  TBlock* Locate(int Index, size_t& Offset) const;
  // Makes the blocks, unless they are there.
  void Cut() const;
  // Drops every block; the activations stay, on the agenda.
  void Uncut() const noexcept;
  // Links Activation in front of Before (last for nullptr), in Before's
  // block, splitting a full one.
  void Link(TActivation* Activation, TActivation* Before);
  void Unlink(TActivation* Activation) noexcept;
  // Moves the second half of a full block into Spare (empty, after it).
  void Split(TBlock* Block, TBlock* Spare) noexcept;
  // A new empty block after After (first for nullptr).
  TBlock* AddBlock(TBlock* After) const;
  void DropBlock(TBlock* Block) const noexcept;
  // The group of that salience, or where it would go.
  std::vector<TGroup>::iterator FindGroup(int32_t Salience) noexcept;
  // The current change's run of that rule at that salience, or where it
  // would go.
  std::vector<TRun>::iterator FindRun(int32_t Salience, int32_t Rule) noexcept;
  // Stamps the activations on the agenda again from 1, in order.
  void Renumber();

  // The blocks, made by Cut (while Cut_) and kept up by Link and Unlink.
  mutable TBlock* FirstBlock_ = nullptr;
  mutable TBlock* LastBlock_ = nullptr;
  mutable bool Cut_ = false;
  TActivation* Head_ = nullptr;
  TActivation* Tail_ = nullptr;
  int Count_ = 0;
  std::vector<TGroup> Groups_;  // highest salience first
  std::vector<TRun> Runs_;      // highest salience first, then by rule
  uint32_t Change_ = 0;
};

// The engine's agenda and run loop: what TDeducer's agenda and run-control
// members do (they forward here). It owns the agenda's activations, the
// strategy, the run statistics and the run's flags; the events
// (OnAddActivation, OnRemoveActivation, OnRuleFired, OnStartInference,
// OnEndInference) stay the engine's.
class TDeducerAgenda {
 public:
  TDeducerAgenda(TDeducer& Engine, TDeducerIO& IO, TDeducerFactBase& FactBase);
  TDeducerAgenda(const TDeducerAgenda&) = delete;
  TDeducerAgenda& operator=(const TDeducerAgenda&) = delete;
  ~TDeducerAgenda();

  // The storage comes with the fact base and goes after the network.
  void Create();
  void Destroy();
  // Frees every activation except the one firing.
  void Clear();
  // Frees every activation (the engine is going).
  void ClearAll();

  // Called by the network: places a new activation by salience and
  // strategy; the agenda owns it from now on.
  void AddActivation(TActivation* Activation);
  // Takes an activation off the agenda and frees it (unless it is firing).
  void RemoveActivation(int Index);
  // Nothing when it is not on the agenda.
  void RemoveActivation(TActivation* Activation);
  // Called by the network after a rule fired: OnRuleFired, then the
  // activation leaves the agenda.
  void RuleFired(TActivation* Activation);
  // Where a new activation of that salience made by a new change would
  // go; -1 at the end.
  int SearchSalience(int32_t Salience) const;
  // EListError for a bad index.
  TActivation* GetActivation(int Index) const;
  // Replaces the activation at Index (the old one is freed).
  void SetActivation(int Index, TActivation* Activation);
  int Count() const { return Agenda_->Count(); }
  // The agenda's entry as text, "rule : f-1, f-4".
  std::string GetActivationText(int Index) const;
  TSearchStrategy GetStrategy() const { return Strategy_; }
  // Orders the agenda under the new strategy, as if each activation had
  // been added under it (the saliences are evaluated again).
  void SetStrategy(TSearchStrategy Value);
  TSalience GetSalienceEvaluation() const { return SalienceEvaluation_; }
  void SetSalienceEvaluation(TSalience Value) { SalienceEvaluation_ = Value; }
  // While a salience is evaluated, a rule that changes is not compiled
  // again (its activations, the one placed among them, would go).
  bool IsEvaluatingSalience() const { return EvaluatingSalience_ > 0; }

  // Fires at most MaxRules activations; returns how many fired. While a
  // rule fires (a "run" in its actions, or an event handler) it does
  // nothing and returns 0.
  int32_t Run(int32_t MaxRules);
  TActivation* GetCurrentActivation() const { return CurrentActivation_; }
  // The name of the rule whose actions raised Error, when Error ended a
  // run; empty for an error raised anywhere else. For messages that say
  // where a run failed.
  std::string RuleFailedBy(const std::exception_ptr& Error) const;
  // The engine's lock, entered by the run loop around each firing.
  void Lock() { LockSection_.lock(); }
  void Unlock() { LockSection_.unlock(); }
  // The last run's firings and its time in seconds (0 while it runs, and
  // after a run that failed); the other statistics are gathered only while
  // statistics are watched.
  int32_t GetRulesFired() const { return RulesFired_; }
  double GetRunTime() const { return RunTime_; }
  int32_t GetMaxActivations() const { return MaxActivations_; }
  double GetMeanActivations() const { return MeanActivations_; }
  int32_t GetMaxFacts() const { return MaxFacts_; }
  double GetMeanFacts() const { return MeanFacts_; }

  // Set by "halt": the run loop finishes the current firing and stops; each
  // run clears it. Atomic, so that a host thread may ask a run to stop.
  bool GetHalted() const { return Halted_.load(std::memory_order_relaxed); }
  void SetHalted(bool Value) { Halted_.store(Value, std::memory_order_relaxed); }
  // Set by "exit", which then unwinds with the silent EAbort. A library never
  // ends its host's process: whoever catches the EAbort (the shell, a host)
  // reads this flag to tell an exit from another abort, and clears it.
  bool GetExitRequested() const { return ExitRequested_; }
  void SetExitRequested(bool Value) { ExitRequested_ = Value; }

 private:
  // The salience Rule's new activation takes: its expression evaluated, or
  // the constant. A failing evaluation leaves the rule's last salience,
  // which is returned, and is kept in Failure (the first one only).
  int32_t NewSalience(TRule* Rule, std::exception_ptr& Failure);
  // The same for a salience that is not a constant: its expression
  // evaluated.
  int32_t EvaluatedSalience(TRule* Rule, std::exception_ptr& Failure);
  // Evaluates every activation's salience again and orders the agenda under
  // the strategy; OrderedDepthFirst tells the strategy it follows now. Each
  // activation is traced and announced again in its new place.
  void Reorder(bool OrderedDepthFirst);
  // The one place an activation leaves the agenda: OnRemoveActivation
  // (at Index) and the trace when Announce, then off the agenda, even when
  // they raise, and freed unless it is firing.
  void TakeOff(TActivation* Activation, int Index, bool Announce);
  // The end of Activation's firing, whether or not it failed: it leaves
  // its node and the agenda (silently, if still there) and is freed.
  void EndFiring(TActivation* Activation) noexcept;

  TDeducer& Engine_;
  TDeducerIO& IO_;
  TDeducerFactBase& FactBase_;
  std::unique_ptr<TAgenda> Agenda_;
  TSearchStrategy Strategy_ = ssDepthFirst;
  TSalience SalienceEvaluation_ = sActivate;
  TActivation* CurrentActivation_ = nullptr;
  // The error that ended the last failed firing, and its rule.
  std::exception_ptr FailedFiring_;
  std::string FailedRule_;
  int32_t EvaluatingSalience_ = 0;
  // The network's propagation that made the last activation added.
  uint64_t AgendaPropagation_ = 0;
  TRecursiveLock LockSection_;
  int32_t RulesFired_ = 0;
  double RunTime_ = 0;
  int32_t MaxActivations_ = 0;
  double MeanActivations_ = 0;
  int32_t MaxFacts_ = 0;
  double MeanFacts_ = 0;
  std::atomic<bool> Halted_{false};
  bool ExitRequested_ = false;
};

}  // namespace kb
