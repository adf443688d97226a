// The facts of working memory (TDeducer::Facts). Copying facts from
// another engine is defined with the persistence
// (engine/DeducerPersistence.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/KbInterfaces.h"
#include "framework/Classes.h"
#include "framework/FlatTable.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsFact.h"

namespace kb {

class TDeducer;

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
  // Takes that very object out; false when it is not in the list.
  bool RemoveFact(const TFact* Fact);
  // A fact in the list equal to Fact, or nullptr.
  TFact* FindEqual(const TFact& Fact) const;
  TFact* FindByID(int32_t ID) const;
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
  // Marks every fact as out of working memory.
  void Release() noexcept;
  // Records Fact at Slot in every index.
  void Index(TFact* Fact, size_t Slot);
  size_t SlotOf(const TFact* Fact) const;

  TDeducer* Engine_;
  // Nil entries are holes left by removals.
  mutable std::vector<IFact> Items_;
  mutable size_t Holes_ = 0;
  TFlatTable<TKeyed, TKeyedTraits> ById_;
  TFlatTable<TKeyed, TKeyedTraits> ByHash_;
  bool InEngineUpdate_ = false;
};

}  // namespace kb
