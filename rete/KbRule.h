// Rules: the object form of a defrule.
//
// A TRule holds a name, a comment, a salience (an integer, or an
// expression evaluated into one), the ordered patterns of its left-hand
// side and the ordered function calls of its right-hand side. Each pattern
// is analysed as it arrives (AddPattern): the rule records where every
// variable is first bound (its bindings; a variable first bound inside a
// negated or existential pattern belongs to that pattern alone, so that
// the same name in another pattern is another variable), renames
// anonymous variables of negated patterns, puts the engine's initial-fact
// pattern in front of a left-hand side that needs a positive first
// pattern, and completes goal patterns of backward chaining. Firing turns a matched token into
// variable values in a fresh child of the engine's root context and runs
// the actions.
//
// Ownership: a rule is a component, owned by its owner (normally its
// engine) and kept by name in the engine's rule collection, which holds it
// without owning it. The rule owns its patterns, its bindings and its
// action list; actions are counted calls. The engine is held by plain
// pointer and cleared when the engine goes.
//
// Invariants:
//  - Bindings describe the current pattern list: they are cleared when the
//    list is rebuilt (SetPatterns), and a pattern that fails its analysis
//    leaves the rule as it was before the pattern was added.
//  - Rule-wide binding names are unique, and so are the names scoped to
//    one pattern; a positional binding's FactIndex is the index of its
//    pattern in the pattern list.
//  - Every change (patterns, actions, salience) is reported through
//    Change, at most once per outermost BeginUpdate/EndUpdate.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/KbConsts.h"
#include "core/KbContext.h"
#include "core/KbFunctions.h"
#include "core/KbValue.h"
#include "framework/Classes.h"
#include "framework/Collections.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsFact.h"
#include "rete/KbPattern.h"
#include "rete/KbRuleCatalog.h"
#include "rete/KbToken.h"

namespace kb {

class TRule;

// Patterns one rule may hold, not counting those the rule makes itself:
// more is refused when it is read and when it is compiled. A partial match
// passes one join per pattern, each one call deeper, and keeps every fact
// it holds, so memory grows with the square of the count; real rules hold
// a few dozen.
constexpr int32_t MaxRulePatterns = 1000;
constexpr const char* STooManyRulePatterns = "A rule holds more than %d patterns";

// Raised when a rule fires, after its bindings are in Context and before
// its actions run.
using TRuleFireEvent = std::function<void(TRule* Sender, TKbContext* Context)>;
using TRuleChangeEvent = std::function<void(TRule* Sender)>;

// The rule's left-hand side. Owns its patterns. Adding a pattern runs the
// rule's analysis of it (TRule::AddPattern); a pattern that fails it is
// taken out again and freed, and the error passes on.
class TRulePatternList {
 public:
  explicit TRulePatternList(TRule* Rule) : Rule_(Rule) {}
  TRulePatternList(const TRulePatternList&) = delete;
  TRulePatternList& operator=(const TRulePatternList&) = delete;

  int Count() const noexcept { return static_cast<int>(Items_.size()); }
  bool IsEmpty() const noexcept { return Items_.empty(); }
  // EListError for a bad index.
  TKbPattern* Get(int Index) const;
  TKbPattern* operator[](int Index) const { return Get(Index); }
  // Replaces pattern Index (the old one is freed) and analyses the new one.
  void Put(int Index, std::unique_ptr<TKbPattern> Pattern);
  int Add(std::unique_ptr<TKbPattern> Pattern);
  void Insert(int Index, std::unique_ptr<TKbPattern> Pattern);
  int IndexOf(const TKbPattern* Pattern) const;
  // Frees the pattern; returns its former index or -1.
  int Remove(const TKbPattern* Pattern);
  void Delete(int Index);
  // Takes pattern Index out without freeing it.
  std::unique_ptr<TKbPattern> Extract(int Index);
  void Clear();
  TRule* GetRule() const noexcept { return Rule_; }

  auto begin() const { return Items_.begin(); }
  auto end() const { return Items_.end(); }

 private:
  friend class TRule;
  TRule* Rule_;
  std::vector<std::unique_ptr<TKbPattern>> Items_;
};

// The rule's right-hand side: its calls, in order. Every change is
// reported to the rule.
class TRuleActionList final : public TIList<TFunctionCall> {
 public:
  explicit TRuleActionList(TRule* Rule) : Rule_(Rule) {}
  // Replaces the contents with Source's calls (shared).
  void Assign(const TRuleActionList& Source);
  TRule* GetRule() const noexcept { return Rule_; }
  // Stops reporting changes (the rule is going away).
  void Detach() noexcept { Rule_ = nullptr; }

 protected:
  void Notify(const IFunCall& Action, TListNotification Notification) override;

 private:
  TRule* Rule_;
};

// A binding of a rule: where a variable is first bound, with the slot
// resolved by index when the rule fires.
class TRuleBinding final : public TBinding {
 public:
  TRuleBinding(std::string Name, int32_t FactIndex, std::string SlotIndex, int32_t SubIndex,
               bool PatternScoped = false);
  // Whether the variable stands for the whole matched fact ("__PATTERN").
  bool IsPatternBinding() const noexcept { return PatternBinding_; }
  // Whether the variable is first bound inside a negated or existential
  // pattern: it then means something in that pattern only (no fact of it
  // reaches the match), and the same name elsewhere is another variable.
  bool IsPatternScoped() const noexcept { return PatternScoped_; }
  const TSlotAccessor& GetSlot() const noexcept { return Slot_; }

 private:
  TSlotAccessor Slot_;
  bool PatternBinding_;
  bool PatternScoped_;
};

class TRule : public TComponent {
 public:
  // With an engine as owner, the rule takes its engine and a new
  // identifier from it; its name is "Rule_" and the identifier.
  explicit TRule(TComponent* AOwner);
  ~TRule() override;

  int32_t GetRuleId() const noexcept { return RuleId_; }
  // The current integer salience (default 0).
  int32_t GetSalience() const noexcept { return Salience_; }
  // Stores a different salience; SalienceValue becomes that integer.
  void SetSalienceInteger(int32_t Value);
  // The salience as written: an integer, a variable or a call.
  const IKbValue& GetSalienceValue() const noexcept { return SalienceValue_; }
  // Stores the value (nil stands for 0) and evaluates it.
  virtual void SetSalience(const IKbValue& Value);
  // The integer of SalienceValue, evaluated in a child of the engine's
  // root context; without an engine the current salience.
  virtual int32_t EvaluateSalience();

  const std::string& GetComment() const noexcept { return Comment_; }
  void SetComment(const std::string& Value) { Comment_ = Value; }
  const TKbName& GetRuleName() const noexcept { return RuleName_; }
  // Refuses the names CheckConstructName refuses; the engine moves a
  // stored rule to the new name (RenameRule).
  virtual void SetRuleName(const std::string& Value);

  TRulePatternList& GetPatterns() noexcept { return Patterns_; }
  const TRulePatternList& GetPatterns() const noexcept { return Patterns_; }
  // Rebuilds the patterns as clones of List's, made for this rule's
  // engine; the bindings are found again.
  void SetPatterns(const TRulePatternList& List);
  TRuleActionList& GetActions() noexcept { return *Actions_; }
  const TRuleActionList& GetActions() const noexcept { return *Actions_; }
  void SetActions(const TRuleActionList& List) { Actions_->Assign(List); }

  // Every binding, those scoped to one pattern included, in pattern order.
  int GetBindingCount() const noexcept { return static_cast<int>(Bindings_.size()); }
  TRuleBinding* GetBinding(int Index) const;
  // The index of the rule-wide binding of that name (compared exactly), or
  // -1. Bindings scoped to a pattern are not found by name alone.
  int IndexOfBinding(std::string_view Name) const;
  TRuleBinding* GetBindingByName(std::string_view Name) const;
  // The binding a use of Name in pattern PatternIndex refers to: the
  // rule-wide binding when an earlier pattern (or this one) binds it, else
  // the binding scoped to that pattern; nullptr when there is none. A
  // negative PatternIndex asks for the rule-wide binding alone.
  TRuleBinding* FindBinding(std::string_view Name, int32_t PatternIndex) const;
  // Adds a positional binding unless the name already means a variable at
  // FactIndex (FindBinding), which is returned instead. It is scoped to
  // its pattern when the pattern at FactIndex is under "not" or "exists".
  virtual TRuleBinding* AddBinding(const std::string& Name, int32_t FactIndex,
                                   const std::string& SlotIndex, int32_t SubIndex);

  TRuleCatalog* GetEngine() const noexcept { return Engine_; }
  // Leaves the old engine's rules and joins the new engine's, with a new
  // identifier from it.
  virtual void SetEngine(TRuleCatalog* Value);

  // The compilation text the network writes when it compiles the rule.
  const std::string& GetCompileTrace() const noexcept { return CompileTrace_; }
  void SetCompileTrace(std::string Value) { CompileTrace_ = std::move(Value); }

  // Analyses a pattern that has just been added to the patterns (see
  // KbRule.cpp). EKbException SUnknownEngine without an engine,
  // SNegatedVariable when a variable is first used under "~".
  virtual void AddPattern(TKbPattern* Pattern);
  virtual void ActionNotification(const IFunCall& Action, TListNotification Notification);
  virtual void BindingNotification(TBinding*, TTableNotification) {}
  virtual void PatternNotification(TKbPattern* Pattern, TListNotification Notification);

  // Reports a change (outside BeginUpdate/EndUpdate): the engine
  // recompiles a stored rule, then OnChange.
  virtual void Change();
  void BeginUpdate() noexcept { ++UpdateCount_; }
  void EndUpdate();

  // Sets the token's values of the bindings in Context: each positional
  // binding takes its fact's slot value (the fact's identifier for a
  // pattern binding) and is bound locally in Context. Positions that hold
  // the engine's null fact (negated patterns) are skipped.
  virtual void Prepare(const IReteToken& Token, TKbContext* Context);
  // Runs the actions for Token in a child of the engine's context,
  // stopping after an action that sets the return flag. Raises
  // SUnknownEngine without an engine; an action's error passes on.
  //
  // The child is the rule's own context, made once: its frame is the
  // rule's match bindings, which take the token's values in place, so a
  // firing allocates no scope and binds no name. A firing that starts
  // while that context is in use (its actions ran the engine) gets a fresh child
  // with the values bound by name, as Prepare binds them.
  virtual void Fire(const IReteToken& Token);
  // A match held as its facts in pattern order (an activation's), with a
  // source of its token for whoever asks; the facts stay alive while the
  // rule fires.
  struct TMatchFacts {
    const TFact* const* Facts;
    int32_t Count;
    const TTokenSource* Source;
    const TFact* FactAt(int32_t Index) const noexcept {
      return Index < 0 ? nullptr : Facts[Index >= Count - 1 ? Count - 1 : Index];
    }
  };
  // Fires as Fire(Token) does, reading the match from its facts: no token
  // is made unless something asks for one.
  void Fire(const TMatchFacts& Match);

  // Whether the rule is running its actions.
  bool IsFiring() const noexcept { return FiringDepth_ > 0; }
  // Asks a firing rule to free itself when its firing ends (an engine
  // that deletes the rule from the rule's own actions).
  void FreeAfterFiring() noexcept { FreeAfterFiring_ = true; }
  // Counts as a firing while it lives: a rule deleted meanwhile (by its
  // own actions, a clear, the removal of its template or a new definition
  // loaded) is freed when the last hold ends, so that whoever fired it may
  // still read it, on failure too (the run loop names the rule in the
  // error).
  class TFiringHold {
   public:
    explicit TFiringHold(TRule* Rule) noexcept : Rule_(Rule) { ++Rule->FiringDepth_; }
    ~TFiringHold() {
      if (--Rule_->FiringDepth_ == 0 && Rule_->FreeAfterFiring_) delete Rule_;
    }
    TFiringHold(const TFiringHold&) = delete;
    TFiringHold& operator=(const TFiringHold&) = delete;

   private:
    TRule* Rule_;
  };

  // From a rule of the same engine: name, comment, patterns (rebuilt),
  // actions and salience. From a rule of another engine: the same, through
  // its text parsed by this rule's engine (SUnknownEngine without one).
  void Assign(const TPersistent* Source) override;
  // The defrule text, through the engine's printer when there is one.
  std::string GetToString() const;

  TRuleFireEvent OnFire;
  TRuleChangeEvent OnChange;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  friend class TRulePatternList;
  // Runs the analysis of a pattern just put into the list; on failure
  // takes out every pattern the analysis added (and the pattern itself)
  // and forgets the bindings it made.
  void PatternAdded(TKbPattern* Pattern);
  TRuleCatalog& RequireEngine() const;
  void TruncateBindings(size_t Count);
  // With Keep, sets each match binding's value from Token (nil where its
  // fact is the null fact); with a context, binds the values there by name.
  // A firing inside a firing does not Keep: the outer one's frame holds
  // the rule's bindings.
  template <class M>
  void BindMatch(const M& Match, TKbContext* Context, bool Keep);
  // Fire for a token (T = IReteToken) or a match held as facts.
  template <class T>
  void FireOn(const T& Match);
  // Called before the bindings change: a context firing with the frame
  // gets the values bound by name instead, and the frame is laid out
  // again at the next firing.
  void FrameChanging();
  // Points the frame's entries for the global variables of the actions at
  // Scope's bindings of their names (the root context, where globals live;
  // an entry without a value where Scope has none, or is not the root).
  void LinkGlobals(TKbContext& Scope);
  // Finds the bindings again from the patterns as they stand (after a
  // pattern was inserted before others, or taken out).
  void RebindAll();

  int32_t RuleId_ = 0;
  int32_t Salience_ = 0;
  std::string Comment_;
  TKbName RuleName_;
  IKbValue SalienceValue_;
  std::unique_ptr<TRuleActionList> Actions_;
  TRulePatternList Patterns_{this};
  std::vector<std::unique_ptr<TRuleBinding>> Bindings_;
  // Rule-wide bindings by name, and scoped ones by ScopedKey.
  std::unordered_map<std::string, int, TStringHash, std::equal_to<>> BindingIndex_;
  std::unordered_map<std::string, int, TStringHash, std::equal_to<>> ScopedIndex_;
  TRuleCatalog* Engine_ = nullptr;
  std::string CompileTrace_;
  int32_t UpdateCount_ = 0;
  int32_t FiringDepth_ = 0;
  bool FreeAfterFiring_ = false;
  // The match bindings a firing context sees as its frame (rule-wide,
  // positional ones), the context of the outermost firing, and the context
  // that uses the frame now (nullptr when none).
  bool FrameStale_ = true;
  bool FiringContextBusy_ = false;
  std::vector<TBinding*> Frame_;
  // The frame ends with an entry per global variable the actions name
  // (after MatchFrameSize_ match bindings): the root context's binding of
  // that name, linked for the root and bindings version recorded here, or
  // the rule's own entry without a value (GlobalSlots_, also the names).
  size_t MatchFrameSize_ = 0;
  std::vector<std::unique_ptr<TBinding>> GlobalSlots_;
  const TKbContext* GlobalsScope_ = nullptr;
  uint64_t GlobalsVersion_ = 0;
  std::unique_ptr<TKbContext> FiringContext_;
  TKbContext* FrameUser_ = nullptr;
};

}  // namespace kb
