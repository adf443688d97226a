// The engine's fact base: the facts of working memory (TDeducer::Facts)
// and the part of the engine that asserts and retracts them through the
// network (TDeducerFactBase). Copying facts from another engine is defined
// with the persistence (engine/DeducerPersistence.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/KbInterfaces.h"
#include "engine/Deducer.h"
#include "framework/Classes.h"
#include "framework/FlatTable.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsFact.h"

namespace kb {

class TDeducer;
class TDeducerIO;
class TFactSlot;
class TKbContext;
class TReteNetwork;

// The facts of working memory, in assertion order. While InEngineUpdate is
// clear, Add, Insert and Delete go through the engine (Assert, RetractFact)
// and Clear retracts everything; while it is set they change the list only.
//
// Facts are found by identifier and by content through indexes, so
// asserting (with its duplicate check) and retracting by identifier do not
// scan the list. Removing leaves a hole that the next access by position
// closes up. The network holds the very fact objects listed here, not
// copies: a fact cannot be changed while it is listed (its setters raise
// SFactInWorkingMemory); modify takes it out, changes it and asserts it.
class TFacts : public TPersistent {
 public:
  explicit TFacts(TDeducer* Engine) : Engine_(Engine) {}
  // Lets go of its facts (they may be changed again).
  ~TFacts() override;
  TFacts(const TFacts&) = delete;
  TFacts& operator=(const TFacts&) = delete;

  int Count() const noexcept { return static_cast<int>(Items_.size() - Holes_); }
  // EListError for a bad index.
  IFact Get(int Index) const;
  IFact operator[](int Index) const { return Get(Index); }
  // A plain store.
  void Put(int Index, const IFact& Fact);
  // Asserts through the engine (returns the new last index), or appends.
  int Add(const IFact& Fact);
  void Insert(int Index, const IFact& Fact);
  // Retracts through the engine, or deletes.
  void Delete(int Index);
  // Empties the list; with an engine, retracts everything from the network.
  void Clear();
  // The position of the first fact with that identifier, or of the first
  // fact equal to Fact; -1 for none.
  int FindFact(int32_t ID) const;
  int FindFact(const IFact& Fact) const;
  IFact GetFactByID(int32_t ID) const;
  // Each fact's text (or identified text), separated by line breaks.
  std::string GetToString() const;
  std::string GetToIDString() const;
  bool GetInEngineUpdate() const noexcept { return InEngineUpdate_; }
  void SetInEngineUpdate(bool Value) noexcept { InEngineUpdate_ = Value; }
  // The facts in order.
  std::vector<IFact> Snapshot() const;
  TDeducer* GetEngine() const noexcept { return Engine_; }
  // Retracts everything here and asserts a copy of each of Source's facts,
  // in order, on this engine's template of the same name (copied from the
  // source template when missing). Defined with the persistence.
  void Assign(const TFacts& Source);
  void Assign(const TPersistent* Source) override { AssignFrom(this, Source); }
  // Dest receives one fact text per fact, in order.
  void AssignTo(TStringList& Dest) const;

  // The engine's plain operations (no network, no events).
  void Append(const IFact& Fact);
  // Where a fact goes into the content index, found by the search for a
  // listed fact equal to it (the duplicate check of an assertion): one
  // walk of the index for both. Valid until the list next changes.
  struct TPlace {
    TFact* Equal;  // the first equal fact in list order, or nullptr
    size_t HashSlot;
    int32_t Hash;
  };
  // Where Fact goes, and the listed fact equal to it when AskEqual.
  TPlace PlaceOf(const TFact& Fact, bool AskEqual);
  // Appends Fact, which is not listed, at the place PlaceOf found for it.
  void Append(const IFact& Fact, const TPlace& Place);
  // Takes that very object out; false when it is not in the list.
  bool RemoveFact(const TFact* Fact);
  // A fact in the list equal to Fact, or nullptr.
  TFact* FindEqual(const TFact& Fact) const;
  TFact* FindByID(int32_t ID) const {
    const TKeyed* k =
        ById_.Find(static_cast<uint32_t>(ID), [ID](const TKeyed& K) { return K.Key == ID; });
    return k ? k->Fact : nullptr;
  }
  bool Contains(const TFact* Fact) const { return Fact && Fact->GetMemoryPlace().Memory == this; }

 private:
  // A fact by a key: its identifier, or its hash code.
  struct TKeyed {
    int32_t Key;
    TFact* Fact;
  };
  struct TKeyedTraits {
    static uint64_t HashOf(const TKeyed& K) { return static_cast<uint32_t>(K.Key); }
    static bool IsEmpty(const TKeyed& K) { return !K.Fact; }
  };
  void Compact() const;
  void CheckIndex(int Index) const;
  void Unindex(const TFact* Fact);
  // Keeps in Best the first in list order among the facts equal to Fact
  // (of hash code Hash): the visit of each entry of that hash.
  static void KeepFirstEqual(const TKeyed& K, const TFact& Fact, int32_t Hash, TFact*& Best);
  // Marks every fact as out of working memory.
  void Release() noexcept;
  // Records Fact at Slot in every index.
  void Index(TFact* Fact, size_t Slot);
  // The same but for the content index: the fact's place and its
  // identifier.
  void IndexPlace(TFact* Fact, size_t Slot, int32_t Hash);
  size_t SlotOf(const TFact* Fact) const;

  TDeducer* Engine_;
  // Nil entries are holes left by removals.
  mutable std::vector<IFact> Items_;
  mutable size_t Holes_ = 0;
  TFlatTable<TKeyed, TKeyedTraits> ById_;
  TFlatTable<TKeyed, TKeyedTraits> ByHash_;
  // No fact was indexed under an identifier above this one since the
  // identifier index was last emptied: a fresh identifier needs no search.
  int32_t MaxId_ = INT32_MIN;
  bool InEngineUpdate_ = false;
};

// The engine's fact base: what TDeducer's assertion, retraction and
// pending-fact members do (they forward here). It owns working memory, the
// Rete network and the facts queued while a change goes through it; the
// events (OnAssertion, OnRetraction, OnClearFacts) stay the engine's, and
// assertions it makes itself go through the engine's Assert, which a
// descendant may override.
class TDeducerFactBase {
 public:
  TDeducerFactBase(TDeducer& Engine, TDeducerIO& IO);
  TDeducerFactBase(const TDeducerFactBase&) = delete;
  TDeducerFactBase& operator=(const TDeducerFactBase&) = delete;
  ~TDeducerFactBase();

  // Working memory and the network come with the templates and go before
  // them (Destroy lets working memory go without retracting anything).
  void Create();
  void Destroy();
  TFacts& Facts() { return *Facts_; }
  const TPersistent* FactsOrNull() const { return Facts_.get(); }
  // Nil before Create and after Destroy.
  TReteNetwork* Network() const { return Rete_.get(); }
  // Whether a token propagates through the network.
  bool IsBusy() const;

  // Asserts Fact: a new identifier, working memory, the trace, the network
  // (activations are on the agenda when it returns), pending facts, then
  // OnAssertion. Returns the identifier, or -1 when an equal fact is
  // present and FactDuplication is off (nothing happens then). Raises
  // SNoTemplate for a fact without template, SNetworkBusy while a token
  // propagates; when the network raises, the fact is withdrawn again.
  int32_t Assert(const IFact& Fact);
  // The value a slot takes from what was written for it, as assert
  // stores it: variables and calls are evaluated in Context; a multislot
  // takes a multifield, the items of multifields among the written ones
  // spliced in; a single-field slot takes one value, never a multifield
  // (EKbException SNotMultiSlot) and, with type checks on, a computed value
  // only of the slot's types (SNotCorrectType; literals were checked when
  // they were read).
  IKbValue EvaluateSlotValue(const TFactSlot& Slot, const IKbValue& Written, TKbContext& Context);
  // A copy of Written evaluated as "assert" evaluates a fact before
  // asserting it (each slot through EvaluateSlotValue, a dynamic default's
  // call too), so that it holds values only; Written is unchanged.
  IFact EvaluatedFact(const TFact& Written, TKbContext& Context);
  // Asserts a fact read from text (load-facts, assert-string, the text
  // entry points) after evaluating it in a child of the root context:
  // what "assert" refuses, these refuse too.
  int32_t AssertParsed(const IFact& Fact);
  // Retracts that very fact object (EListError when it is not asserted).
  void RetractFact(const IFact& Fact);
  // Retract the fact with that identifier, or the first fact equal to
  // Fact; nothing when there is none.
  void Retract(int32_t ID);
  void Retract(const IFact& Fact);
  // Withdraws everything from the network (Facts is not touched).
  void RetractFacts();
  // Takes out of the queues, and retracts from working memory, the facts
  // of Template (a template that leaves the engine).
  void RemoveFactsOf(const IFactTemplate& Template);
  // Empties the queues, the network and working memory.
  void Clear();
  // Empties the queues only.
  void ClearPending();

  // Queues a fact to be asserted (true) or retracted once the current
  // change has gone through the network.
  void AddPendingFact(const IFact& Fact, bool Assert);
  void ProcessPendingFacts() {
    if (!PendingAssertions_.empty() || !PendingRetractions_.empty()) ProcessPending();
  }
  // The same, unless a token is propagating (then the change that is
  // propagating processes them) or the engine is going.
  void ProcessPendingFactsWhenIdle();
  IFact GetFactPendingAssertions(int Index) const;
  IFact GetFactPendingRetractions(int Index) const;
  int GetPendingAssertionCount() const { return static_cast<int>(PendingAssertions_.size()); }
  int GetPendingRetractionCount() const { return static_cast<int>(PendingRetractions_.size()); }

  // The next fact identifier, which then advances.
  int32_t NewFactId() { return NextFactId_++; }
  int32_t GetNextFactId() const { return NextFactId_; }
  void SetNextFactId(int32_t Value) { NextFactId_ = Value; }
  bool GetFactDuplication() const { return FactDuplication_; }
  void SetFactDuplication(bool Value) { FactDuplication_ = Value; }
  bool GetResetGlobals() const { return ResetGlobals_; }
  void SetResetGlobals(bool Value) { ResetGlobals_ = Value; }

 private:
  TDeducer& Engine_;
  TDeducerIO& IO_;
  std::unique_ptr<TFacts> Facts_;
  std::unique_ptr<TReteNetwork> Rete_;
  // The loop of ProcessPendingFacts once something is pending.
  void ProcessPending();
  std::vector<IFact> PendingAssertions_;
  std::vector<IFact> PendingRetractions_;
  int32_t NextFactId_ = 0;
  bool FactDuplication_ = false;
  bool ResetGlobals_ = true;
};

// TDeducer's fact base members on the paths of "assert" and "retract".
inline TFacts& TDeducer::Facts() { return FactBase_->Facts(); }

inline IFact TDeducer::EvaluatedFact(const TFact& Written, TKbContext& Context) {
  return FactBase_->EvaluatedFact(Written, Context);
}

inline void TDeducer::RetractFact(const IFact& Fact) { FactBase_->RetractFact(Fact); }

}  // namespace kb
