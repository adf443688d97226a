// The engine's agenda (TDeducer's agenda and run loop are in
// engine/Deducer.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace kb {

class TActivation;

// The agenda's storage: activations in firing order, owned. The list is
// cut into blocks, so that reaching the i-th walks the blocks, not the
// activations; and it is indexed by salience and by the runs the current
// change makes, so that a new activation finds its place without a search.
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
  // form a list of their own.
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
  // Links Activation in front of Before (last for nullptr), in Before's
  // block, splitting a full one.
  void Link(TActivation* Activation, TActivation* Before);
  void Unlink(TActivation* Activation) noexcept;
  // Moves the second half of a full block into Spare (empty, after it).
  void Split(TBlock* Block, TBlock* Spare) noexcept;
  // A new empty block after After (first for nullptr).
  TBlock* AddBlock(TBlock* After);
  void DropBlock(TBlock* Block) noexcept;
  // The group of that salience, or where it would go.
  std::vector<TGroup>::iterator FindGroup(int32_t Salience) noexcept;
  // The current change's run of that rule at that salience, or where it
  // would go.
  std::vector<TRun>::iterator FindRun(int32_t Salience, int32_t Rule) noexcept;
  // Stamps the activations on the agenda again from 1, in order.
  void Renumber();

  TBlock* FirstBlock_ = nullptr;
  TBlock* LastBlock_ = nullptr;
  TActivation* Head_ = nullptr;
  TActivation* Tail_ = nullptr;
  int Count_ = 0;
  std::vector<TGroup> Groups_;  // highest salience first
  std::vector<TRun> Runs_;      // highest salience first, then by rule
  uint32_t Change_ = 0;
};

}  // namespace kb
