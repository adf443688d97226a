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

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "core/KbValue.h"
#include "memory/KbFacts.h"
#include "rete/ReteGoals.h"
#include "rete/ReteMemories.h"
#include "rete/ReteNodes.h"

namespace kb {

class TActivation;
class TActivationSink;
class TRuleCatalog;
class TRule;

// Facts cannot be asserted or retracted while a token is propagating (a
// test element or predicate that changes facts would change the memories
// the network is walking); nor can rules be added, removed or compiled.
constexpr const char* SNetworkBusy = "Facts cannot change while the network is matching";
constexpr const char* SRulesBusy = "Rules cannot change while the network is matching";

using TActivationEvent = std::function<void(TReteNetwork* Sender, TActivation* Activation)>;

// ------------------------------------------------------------------ network

class TReteNetwork final {
 public:
  // Agenda is where activations go (normally the same engine).
  TReteNetwork(TRuleCatalog* Engine, TActivationSink* Agenda);
  ~TReteNetwork();
  TReteNetwork(const TReteNetwork&) = delete;
  TReteNetwork& operator=(const TReteNetwork&) = delete;

  TRuleCatalog* GetEngine() const noexcept { return Engine_; }
  TActivationSink* GetAgenda() const noexcept { return Agenda_; }
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
  // Inline: every fact's removal withdraws what it entered.
  void Withdraw(TReteHolder* Holder) {
    std::exception_ptr failure;
    Withdraw(Holder, failure);
    if (failure) std::rethrow_exception(failure);
  }
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

  // Activations, to the engine and then the events. Inline: every
  // activation made and withdrawn passes here.
  void Activate(TActivation* Activation) {
    if (Agenda_) Told([&] { Agenda_->AddActivation(Activation); });
    if (OnActivation) Told([&] { OnActivation(this, Activation); });
  }
  void Deactivate(TActivation* Activation) {
    // Told first: the agenda frees the activation as it takes it off. It
    // leaves the agenda even when the handler raises: its node has let it
    // go.
    if (OnDeactivation) Told([&] { OnDeactivation(this, Activation); });
    if (Agenda_) Agenda_->RemoveActivation(Activation);
  }
  void RuleFired(TActivation* Activation) {
    // The fired activation is the engine's current one: it outlives this.
    if (Agenda_) Agenda_->RuleFired(Activation);
    if (OnRuleFired) OnRuleFired(this, Activation);
  }

  TActivationEvent OnActivation;
  TActivationEvent OnDeactivation;
  TActivationEvent OnRuleFired;

  // A template took another name or parent, which changes the patterns
  // its facts reach: the roots found for each template are found again.
  void RootsChanged() {
    RootCache_.clear();
    LastTemplate_ = nullptr;
  }

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
  // The roots Template's facts reach, found once and cached; the template
  // becomes the last one (ProcessToken asks LastTemplate_ first).
  const std::vector<TPatternMatchNode*>& RootsOf(const TFactTemplate* Template);
  // What a clear token does: every node's memories are emptied.
  void ClearMemories();
  static void PrefetchNeighbours(const TReteHolder* Holder) noexcept;
  // Withdrawal that goes on past a failing handler, keeping the first
  // failure (rete/ReteMemories.cpp).
  void Withdraw(TReteHolder* Holder, std::exception_ptr& Failure) noexcept;
  void WithdrawChildren(TJoinEntry* Entry, std::exception_ptr& Failure) noexcept;
  bool WithdrawWhole(TJoinEntry* Entry, std::exception_ptr& Failure) noexcept;
  // The number of entries it freed.
  int64_t WithdrawForgotten(TJoinEntry* Entry, std::exception_ptr& Failure) noexcept;
  const std::vector<TJoinNode*>& JoinsBelow(TJoinNode* Join);
  // While a token propagates, a handler that raises (the network's or the
  // engine's, or the trace's output) stops nothing: the token goes on, so
  // that the memories, the activations and working memory agree, and the
  // first failure is raised when it has passed.
  template <class F>
  void Told(F&& Body) {
    if (Busy_ == 0)
      Body();
    else
      Keep(Failure_, Body);
  }
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

  TRuleCatalog* Engine_;
  TActivationSink* Agenda_;
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
  // The entry found last: facts of one template often come one after
  // another.
  const TFactTemplate* LastTemplate_ = nullptr;
  const std::vector<TPatternMatchNode*>* LastRoots_ = nullptr;
};

}  // namespace kb
