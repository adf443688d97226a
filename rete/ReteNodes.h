// The nodes of the Rete network.
//
// Pattern-match nodes (TPatternMatchNode) test one fact alone; join nodes
// (TJoinNode) combine the partial matches on their left with the facts of
// their pattern on the right, storing both in memories
// (rete/ReteMemories.h); test nodes (TTestNode) run a rule's test
// elements. A rule's terminal node, which turns its complete matches into
// activations, is in rete/ReteActivations.h. Nodes are made, shared and
// freed by the network (rete/ReteNetwork.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/KbConsts.h"
#include "core/KbContext.h"
#include "core/KbValue.h"
#include "framework/Variant.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsFact.h"
#include "rete/KbPredicate.h"
#include "rete/KbRuleCatalog.h"
#include "rete/KbSlotTest.h"
#include "rete/KbToken.h"
#include "rete/ReteGoals.h"
#include "rete/ReteMemories.h"

namespace kb {

class TReteNetwork;
class TReteNode;
class TJoinNode;
class TRule;
class TKbPattern;

// Which input of its target an edge feeds. Its names (ReteNodes.cpp) are
// checked against it when they compile.
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

// Ways one fact may match the multifield terms of one pattern. Each way is
// a match of its own (a token holding a copy of the fact with its lists
// cut), and a few terms over a long list make astronomically many; real
// programs make a few hundred. A fact with more is refused when asserted
// (or when a rule that would cut it is added), with STooManySegmentations.
constexpr int32_t MaxSegmentations = 100000;
constexpr const char* STooManySegmentations =
    "Fact %s matches the multifield terms of a pattern in more than %d ways";

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
  bool MayCompute() const noexcept {
    return Engine_ && !Engine_->GetInterrupted() && !StackNearlyExhausted();
  }
  // "Node<n> In/Out#: i/o RuleUse: u", extended by each kind of node.
  virtual std::string GetToString() const;

 protected:
  friend class TReteNetwork;
  TReteNetwork* Rete_;
  // The network's engine, which it keeps for life (nullptr without one).
  TRuleCatalog* Engine_;
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
  // Whether F's slot A is a list of IntA_ items (pmtTestMultiSlotLength).
  bool LengthHolds(const TFact& F) const {
    const IKbValue* v = SlotA_.Get(F);
    return v && (*v)->GetDType() == dtList && (*v)->ListPtr()->Count() == IntA_;
  }

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
  // Passes Match on with the null fact after it, its facts copied to
  // Facts (room for Count of them).
  void PassOn(const TMatch& Match, const TFact** Facts);
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
  // every child. Both inline in rete/ReteNodes.cpp.
  void Send(TJoinEntry* Left, TJoinEntry* Right, const TFact* Fact, TTokenAction Action);
  void SendTo(TReteNode* Target, TCallType CallType, TJoinEntry* Left, TJoinEntry* Right,
              const TFact* Fact, TTokenAction Action);
  // Backward chaining (rete/ReteGoals.cpp): a stored partial
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
  // tests read from the entry (see TJoinEntry::TImage). A join without
  // any test (a pattern sharing no variable with the earlier ones) meets
  // every entry at once.
  template <class M>
  bool MeetsRight(const M& Left, const TJoinEntry& Right) {
    return (Untested_ && KeyGeneration_ == Generation_) || MeetsRightTested(Left, Right);
  }
  template <class M>
  bool MeetsRightTested(const M& Left, const TJoinEntry& Right);
  // No test at all, as compiled when Generation_ was KeyGeneration_.
  bool Untested_ = false;
  void TakeImages(TJoinEntry& Right);
  std::unique_ptr<TKbPattern> BackChain_;
  TRule* Rule_ = nullptr;
  std::vector<std::unique_ptr<TGoalWait>> Waits_;
  // The joins under this one (through test nodes), as the network's edges
  // were when Shape_ was BelowShape_ (TReteNetwork::WithdrawWhole).
  std::vector<TJoinNode*> Below_;
  uint64_t BelowShape_ = UINT64_MAX;
};

}  // namespace kb
