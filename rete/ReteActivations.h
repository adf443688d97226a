// A rule's end in the Rete network: its terminal node and the activations
// it makes.
//
// The terminal node (TPatternMatchTerminalNode) makes an activation
// (TActivation) of each complete match and lists it while it lives; the
// network hands it to the engine's agenda, which owns it until it fires or
// is withdrawn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "memory/KbFacts.h"
#include "memory/KbFactsFact.h"
#include "rete/KbToken.h"
#include "rete/ReteMemories.h"
#include "rete/ReteNodes.h"

namespace kb {

class TActivation;
class TRule;

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
  // Inline in rete/ReteActivations.cpp, for TActivation::Fire.
  void RuleFired(TActivation* Activation);

  int GetActivationCount() const noexcept { return Count_; }
  // Activations in the order they were made. O(I).
  TActivation* GetActivation(int I) const;
  int IndexOf(const TActivation* Activation) const;

  bool CallNode(const IReteToken& Token, TCallType CallType) override;
  void CallMatch(const TMatch& Match, TCallType CallType) override;
  // CallMatch for Match extended by Fact (none for nullptr): what a test
  // node passes on, made without an intermediate match.
  void CallMatchWith(const TMatch& Match, const TFact* Fact);
  void ClearMemory() override { StandDown(); }
  std::string GetToString() const override;

  // Forgets Activation without telling anyone (it is being freed).
  void Unlink(TActivation* Activation) noexcept;

 private:
  // A new activation of Match (extended by Extra unless nullptr), listed
  // and handed to the network.
  void Activate(const TMatch& Match, const TFact* Extra);
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
  TActivation(TRule* Rule, const TMatch& Match, TPatternMatchTerminalNode* Node,
              const TFact* Extra);
  // Leaves its terminal node's list, telling no one.
  ~TActivation();
  TActivation(const TActivation&) = delete;
  TActivation& operator=(const TActivation&) = delete;

  // An activation of Match, with room for its facts; with Extra (not
  // nullptr), of Match extended by that fact. Inline in the terminal
  // node's file (rete/ReteActivations.cpp), where activations are made.
  static TActivation* New(TRule* Rule, const TMatch& Match, TPatternMatchTerminalNode* Node);
  static TActivation* New(TRule* Rule, const TMatch& Match, TPatternMatchTerminalNode* Node,
                          const TFact* Extra);

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

}  // namespace kb
