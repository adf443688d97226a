#include "rete/KbRule.h"

#include <algorithm>
#include <optional>
#include <type_traits>
#include <utility>

#include "core/KbHelperFunctions.h"
#include "framework/ScopeExit.h"
#include "rete/KbRuleWriter.h"
#include "rete/KbSlotTest.h"

namespace kb {

namespace {

// The longest template name a goal pattern's companion takes.
constexpr size_t MaxCompanionNameLength = 255;

// The key of a binding scoped to pattern Index in TRule's scoped index.
std::string ScopedKey(std::string_view Name, int32_t Index) {
  std::string key = IntToStr(Index);
  key += ' ';
  key += Name;
  return key;
}

// Renames the variables of Call (and of its nested calls) that Renamings
// lists, keeping their kind.
void SubstFunCall(TFunctionCall& Call,
                  const std::vector<std::pair<std::string, std::string>>& Renamings) {
  for (int i = 0; i < Call.GetArgumentCount(); ++i) {
    const IKbValue& a = Call.GetArgument(i);
    if (!a) continue;
    if (KbVariableTypes.Contains(a->GetDType())) {
      for (const auto& [from, to] : Renamings)
        if (a->GetText() == from) {
          Call.SetArgument(i, NewText(a->GetDType(), to));
          break;
        }
    } else if (a->GetDType() == dtFunCall) {
      if (IFunCall inner = a->GetAsFunCall()) SubstFunCall(*inner, Renamings);
    }
  }
}

}  // namespace

// ------------------------------------------------------- TRulePatternList

TKbPattern* TRulePatternList::Get(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return Items_[static_cast<size_t>(Index)].get();
}

void TRulePatternList::Put(int Index, std::unique_ptr<TKbPattern> Pattern) {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  if (!Pattern) {
    Delete(Index);
    return;
  }
  Rule_->BeginUpdate();
  auto end = OnScopeExit([r = Rule_] { r->EndUpdate(); });
  Delete(Index);
  Insert(Index, std::move(Pattern));
}

int TRulePatternList::Add(std::unique_ptr<TKbPattern> Pattern) {
  TKbPattern* p = Pattern.get();
  Insert(Count(), std::move(Pattern));
  return IndexOf(p);
}

void TRulePatternList::Insert(int Index, std::unique_ptr<TKbPattern> Pattern) {
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  if (!Pattern) return;
  TKbPattern* p = Pattern.get();
  Items_.insert(Items_.begin() + Index, std::move(Pattern));
  Rule_->PatternAdded(p);
}

int TRulePatternList::IndexOf(const TKbPattern* Pattern) const {
  for (size_t i = 0; i < Items_.size(); ++i)
    if (Items_[i].get() == Pattern) return static_cast<int>(i);
  return -1;
}

int TRulePatternList::Remove(const TKbPattern* Pattern) {
  int i = IndexOf(Pattern);
  if (i >= 0) Delete(i);
  return i;
}

void TRulePatternList::Delete(int Index) { Extract(Index); }

std::unique_ptr<TKbPattern> TRulePatternList::Extract(int Index) {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  std::unique_ptr<TKbPattern> p = std::move(Items_[static_cast<size_t>(Index)]);
  Items_.erase(Items_.begin() + Index);
  p->SetOwner(nullptr);
  // Later patterns moved up: their bindings move with them.
  Rule_->RebindAll();
  Rule_->PatternNotification(p.get(), TListNotification::lnExtracted);
  return p;
}

void TRulePatternList::Clear() {
  if (Items_.empty()) return;
  std::vector<std::unique_ptr<TKbPattern>> old;
  old.swap(Items_);
  Rule_->RebindAll();
  Rule_->Change();
}

// -------------------------------------------------------- TRuleActionList

void TRuleActionList::Assign(const TRuleActionList& Source) {
  if (&Source == this) return;
  if (Rule_) Rule_->BeginUpdate();
  Clear();
  for (const IFunCall& a : Source) Add(a);
  if (Rule_) Rule_->EndUpdate();
}

void TRuleActionList::Notify(const IFunCall& Action, TListNotification Notification) {
  if (Rule_) Rule_->ActionNotification(Action, Notification);
}

// ----------------------------------------------------------- TRuleBinding

TRuleBinding::TRuleBinding(std::string Name, int32_t FactIndex, std::string SlotIndex,
                           int32_t SubIndex, bool PatternScoped)
    : TBinding(std::move(Name), FactIndex, SlotIndex, SubIndex),
      Slot_(SlotIndex),
      PatternBinding_(SlotIndex == SPatternBinding),
      PatternScoped_(PatternScoped) {}

// ------------------------------------------------------------------- TRule

TRule::TRule(TComponent* AOwner)
    : TComponent(AOwner),
      SalienceValue_(NewInteger(0)),
      Actions_(std::make_unique<TRuleActionList>(this)),
      Engine_(dynamic_cast<TRuleCatalog*>(AOwner)) {
  if (Engine_) {
    RuleId_ = Engine_->NewRuleId();
    FreeNotification(Engine_);
  }
  RuleName_ = "Rule_" + IntToStr(RuleId_);
}

TRule::~TRule() {
  // The engine hears of the removal (and takes the rule out of its rules)
  // while this is still a whole rule.
  BeginDestruction();
  Engine_ = nullptr;
  OnChange = nullptr;
  OnFire = nullptr;
  Actions_->Detach();
  Patterns_.Items_.clear();
  Bindings_.clear();
}

TRuleCatalog& TRule::RequireEngine() const {
  if (!Engine_) KbError(SUnknownEngine);
  return *Engine_;
}

void TRule::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == Engine_) Engine_ = nullptr;
}

void TRule::SetEngine(TRuleCatalog* Value) {
  if (Value == Engine_) return;
  if (TRuleCatalog* old = Engine_) {
    // Withdrawn, not deleted: the rule lives on with its new engine.
    if (old->FindRule(RuleName_) == this) old->ExtractRule(RuleName_);
    RemoveFreeNotification(old);
  }
  Engine_ = Value;
  if (!Value) return;
  FreeNotification(Value);
  RuleId_ = Value->NewRuleId();
  Value->AddRule(this);
}

// --------------------------------------------------------- name, salience

void TRule::SetRuleName(const std::string& Value) {
  if (Value == RuleName_) return;
  CheckConstructName(Value);
  std::string old = std::exchange(RuleName_, Value);
  if (Engine_ && Engine_->FindRule(old) == this) {
    try {
      Engine_->RenameRule(old, Value);
    } catch (...) {
      RuleName_ = std::move(old);
      throw;
    }
  }
}

void TRule::SetSalienceInteger(int32_t Value) {
  if (Value == Salience_) return;
  Salience_ = Value;
  // A new value: the old one may be shared with another rule.
  SalienceValue_ = NewInteger(Value);
  Change();
}

void TRule::SetSalience(const IKbValue& Value) {
  SalienceValue_ = Value ? Value : NewInteger(0);
  EvaluateSalience();
}

int32_t TRule::EvaluateSalience() {
  if (!Engine_) return Salience_;
  std::unique_ptr<TKbContext> context(Engine_->GetContext()->Push());
  IKbValue v = SalienceValue_->Resolve(context.get());
  const int64_t salience = (v ? v : NewValue())->GetAsInteger();
  context->Pop();
  // Saliences are 32-bit; one beyond that range takes its end, which keeps
  // it above (or below) every other.
  SetSalienceInteger(static_cast<int32_t>(std::clamp<int64_t>(salience, INT32_MIN, INT32_MAX)));
  return Salience_;
}

// --------------------------------------------------------------- bindings

TRuleBinding* TRule::GetBinding(int Index) const {
  if (Index < 0 || Index >= GetBindingCount()) ListIndexError(Index);
  return Bindings_[static_cast<size_t>(Index)].get();
}

int TRule::IndexOfBinding(std::string_view Name) const {
  auto it = BindingIndex_.find(Name);
  return it == BindingIndex_.end() ? -1 : it->second;
}

TRuleBinding* TRule::GetBindingByName(std::string_view Name) const {
  int i = IndexOfBinding(Name);
  return i < 0 ? nullptr : Bindings_[static_cast<size_t>(i)].get();
}

TRuleBinding* TRule::FindBinding(std::string_view Name, int32_t PatternIndex) const {
  TRuleBinding* wide = GetBindingByName(Name);
  if (PatternIndex < 0 || (wide && wide->GetFactIndex() <= PatternIndex)) return wide;
  auto it = ScopedIndex_.find(ScopedKey(Name, PatternIndex));
  return it == ScopedIndex_.end() ? nullptr : Bindings_[static_cast<size_t>(it->second)].get();
}

TRuleBinding* TRule::AddBinding(const std::string& Name, int32_t FactIndex,
                                const std::string& SlotIndex, int32_t SubIndex) {
  // A variable first bound under "not" or "exists" stands for a value of
  // that pattern's fact alone, which no match carries on.
  const bool scoped = FactIndex >= 0 && FactIndex < Patterns_.Count() &&
                      Patterns_.Get(FactIndex)->GetNegatedCount() > 0;
  // Names stay unique in their scope: the first binding of a name is the
  // one that counts.
  if (TRuleBinding* b = scoped ? FindBinding(Name, FactIndex) : GetBindingByName(Name)) return b;
  FrameChanging();
  Bindings_.push_back(std::make_unique<TRuleBinding>(Name, FactIndex, SlotIndex, SubIndex, scoped));
  const int at = GetBindingCount() - 1;
  if (scoped)
    ScopedIndex_.emplace(ScopedKey(Name, FactIndex), at);
  else
    BindingIndex_.emplace(Name, at);
  TRuleBinding* b = Bindings_.back().get();
  BindingNotification(b, tnAdded);
  return b;
}

void TRule::TruncateBindings(size_t Count) {
  if (Bindings_.size() > Count) FrameChanging();
  while (Bindings_.size() > Count) {
    const TRuleBinding& b = *Bindings_.back();
    if (b.IsPatternScoped())
      ScopedIndex_.erase(ScopedKey(b.GetName(), b.GetFactIndex()));
    else
      BindingIndex_.erase(b.GetName());
    Bindings_.pop_back();
  }
}

void TRule::RebindAll() {
  FrameChanging();
  Bindings_.clear();
  BindingIndex_.clear();
  ScopedIndex_.clear();
  for (int i = 0; i < Patterns_.Count(); ++i) {
    const TKbPattern& p = *Patterns_.Get(i);
    if (!p.GetBoundName().empty()) AddBinding(p.GetBoundName(), i, SPatternBinding, NoSubIndex);
    for (int s = 0; s < p.GetSlotCount(); ++s) {
      const TSlotTests* tests = p.GetSlotTests(s);
      if (!tests) continue;
      for (const auto& t : *tests)
        if (t->IsVariable())
          AddBinding(std::string(t->GetSlotValue()->GetText()), i, p.GetSlotName(s),
                     t->GetMultiSlotSubIndex());
    }
  }
}

// --------------------------------------------------------------- patterns

void TRule::PatternAdded(TKbPattern* Pattern) {
  std::vector<const TKbPattern*> before;
  before.reserve(Patterns_.Items_.size());
  for (const auto& p : Patterns_.Items_)
    if (p.get() != Pattern) before.push_back(p.get());
  const size_t bindings = Bindings_.size();
  BeginUpdate();
  try {
    PatternNotification(Pattern, TListNotification::lnAdded);
    // Inserted before patterns the rule had: their positions moved.
    const auto& items = Patterns_.Items_;
    for (size_t i = static_cast<size_t>(Patterns_.IndexOf(Pattern)) + 1; i < items.size(); ++i)
      if (std::find(before.begin(), before.end(), items[i].get()) != before.end()) {
        RebindAll();
        break;
      }
  } catch (...) {
    // Everything this pattern brought in goes again, the pattern too.
    auto& items = Patterns_.Items_;
    std::vector<std::unique_ptr<TKbPattern>> dropped;
    for (auto it = items.begin(); it != items.end();) {
      if (std::find(before.begin(), before.end(), it->get()) == before.end()) {
        dropped.push_back(std::move(*it));
        it = items.erase(it);
      } else {
        ++it;
      }
    }
    TruncateBindings(bindings);
    --UpdateCount_;
    throw;
  }
  EndUpdate();
}

void TRule::PatternNotification(TKbPattern* Pattern, TListNotification Notification) {
  if (Notification == TListNotification::lnAdded) AddPattern(Pattern);
  Change();
}

void TRule::AddPattern(TKbPattern* Pattern) {
  TRuleCatalog& engine = RequireEngine();
  Pattern->SetOwner(this);
  const IFactTemplate& tmpl = Pattern->GetFactTemplate();

  // A left-hand side must begin with a positive pattern for the first join
  // to have a left input: a negated, test or backward-chaining first
  // pattern gets the initial fact in front.
  if (Patterns_.Count() == 1 && (Pattern->GetNegatedCount() > 0 || Pattern->IsTest() ||
                                 (tmpl && tmpl->IsBackwardChaining()))) {
    std::unique_ptr<TKbPattern> initial = engine.InitialFactPattern().Clone(&engine);
    initial->SetGenerated(true);
    // Nothing is bound yet that the insertion could move: the pattern's
    // own analysis follows.
    TKbPattern* p = initial.get();
    Patterns_.Items_.insert(Patterns_.Items_.begin(), std::move(initial));
    PatternNotification(p, TListNotification::lnAdded);
  }
  const int32_t index = Patterns_.IndexOf(Pattern);

  // A goal always binds its fact, so that the rule can retract it.
  const bool goal = Pattern->GetName().starts_with(SBackChainPrefix) &&
                    Pattern->GetName().size() > std::string_view(SBackChainPrefix).size();
  if (goal && Pattern->GetBoundName().empty())
    Pattern->SetBoundName(engine.GenerateSymbol(SFactPrefix));
  if (!Pattern->GetBoundName().empty())
    AddBinding(Pattern->GetBoundName(), index, SPatternBinding, NoSubIndex);

  // First uses of variables become bindings. Anonymous variables of
  // negated patterns get names of their own pattern.
  std::vector<std::pair<std::string, std::string>> renamings;
  for (int s = 0; s < Pattern->GetSlotCount(); ++s) {
    TSlotTests* tests = Pattern->GetSlotTests(s);
    if (!tests) continue;
    for (const auto& t : *tests) {
      if (!t->IsVariable()) continue;
      std::string name(t->GetSlotValue()->GetText());
      if (FindBinding(name, index)) continue;
      if (Pattern->GetNegatedCount() > 0 && name.starts_with(SBlankPrefix)) {
        std::string renamed = "_" + IntToStr(Patterns_.Count()) + "_" + name;
        t->SetSlotValue(NewText(t->GetSlotValue()->GetDType(), renamed));
        renamings.emplace_back(std::move(name), renamed);
        name = std::move(renamed);
      } else if (t->IsNotEquals()) {
        KbError(SNegatedVariable, name);
      }
      AddBinding(name, index, Pattern->GetSlotName(s), t->GetMultiSlotSubIndex());
    }
  }
  if (!renamings.empty()) {
    for (int s = 0; s < Pattern->GetSlotCount(); ++s) {
      TSlotTests* tests = Pattern->GetSlotTests(s);
      if (!tests) continue;
      for (const auto& t : *tests)
        if (t->IsFunCall())
          if (IFunCall call = t->GetSlotValue()->GetAsFunCall()) SubstFunCall(*call, renamings);
    }
  }
  Pattern->FixTests();

  // A goal on "need-T" fires only while no fact of T matches the same
  // tests: the rule also gets a negated pattern on T. It is on T's own
  // template (the goal template's name would match goal facts instead).
  if (goal) {
    const std::string name = Pattern->GetName().substr(std::string_view(SBackChainPrefix).size(),
                                                       MaxCompanionNameLength);
    auto companion =
        std::make_unique<TKbPattern>(this, *Pattern, name, 1, engine.CreateFactTemplate(name));
    companion->SetBoundName(std::string());
    companion->SetGenerated(true);
    Patterns_.Add(std::move(companion));
  }
}

void TRule::SetPatterns(const TRulePatternList& List) {
  if (&List == &Patterns_) return;
  BeginUpdate();
  auto end = OnScopeExit([this] { EndUpdate(); });
  TruncateBindings(0);
  Patterns_.Clear();
  // Generated patterns come back as their rule-mates are added.
  for (const auto& p : List)
    if (!p->IsGenerated()) Patterns_.Add(p->Clone(Engine_));
}

void TRule::ActionNotification(const IFunCall&, TListNotification) {
  // New actions get their variables' frame positions at the next firing.
  FrameStale_ = true;
  Change();
}

// ---------------------------------------------------------------- changes

void TRule::Change() {
  if (UpdateCount_ > 0) return;
  if (Engine_) Engine_->RuleChange(this);
  if (OnChange) OnChange(this);
}

void TRule::EndUpdate() {
  if (UpdateCount_ > 0) --UpdateCount_;
  if (UpdateCount_ == 0) Change();
}

// ----------------------------------------------------------------- firing

namespace {

// The facts of a token, read as BindMatch reads a match.
struct TTokenFacts {
  const TKbToken& Token;
  const TFact* FactAt(int32_t Index) const noexcept { return Token.FactAt(Index); }
};

// What BindMatch reads of a firing's match: none for an empty token.
std::optional<TTokenFacts> FactsOf(const IReteToken& Token) {
  if (!Token) return std::nullopt;
  return TTokenFacts{*Token};
}
std::optional<TRule::TMatchFacts> FactsOf(const TRule::TMatchFacts& Match) { return Match; }

}  // namespace

void TRule::Prepare(const IReteToken& Token, TKbContext* Context) {
  if (!Token || !Context) return;
  BindMatch(TTokenFacts{*Token}, Context, !FrameUser_);
}

template <class M>
void TRule::BindMatch(const M& Match, TKbContext* Context, bool Keep) {
  const TFact* nullFact = Engine_ ? Engine_->GetNullFact().get() : nullptr;
  const TFactTemplate* nullTemplate = nullFact ? nullFact->GetTemplate().get() : nullptr;
  for (const auto& b : Bindings_) {
    // A variable of a negated pattern has no fact in the match.
    if (b->IsLocal() || b->IsPatternScoped()) continue;
    const TFact* f = Match.FactAt(b->GetFactIndex());
    // A negated pattern's place holds the null fact (or a snapshot of it).
    if (!f || f == nullFact || (nullTemplate && f->GetTemplate().get() == nullTemplate)) {
      if (Keep) b->SetValue(nullptr);
      continue;
    }
    IKbValue v;
    if (b->IsPatternBinding()) {
      // The binding's own fact address from the last firing, held nowhere
      // else, takes the new identifier in place.
      const IKbValue& held = b->GetValue();
      if (!Context && Keep && held && held->GetDType() == dtFactId &&
          held->GetSharing() == TRefSharing::Confined && held->GetRefCount() == 1) {
        held->SetAsFactId(f->GetID());
        continue;
      }
      v = NewFactId(f->GetID());
    } else {
      const IKbValue* slot = b->GetSlot().Get(*f);
      if (!slot) KbError(SInvalidSlotName, b->GetSlotIndex());
      const int32_t sub = b->GetSubIndex();
      if (sub != NoSubIndex) {
        // A field of a multislot, read without counting the list.
        const TValueVector* list = (*slot)->GetDType() == dtList ? (*slot)->ListPtr() : nullptr;
        if (list && sub >= 0 && sub < list->Count()) {
          slot = &list->Items()[static_cast<size_t>(sub)];
        } else {
          v = list ? list->Get(sub) : (*slot)->GetAsList()->Get(sub);
          slot = &v;
        }
      }
      // A value read in place is counted only where it is kept.
      if (Context) Context->AddLocalBinding(b->GetName(), *slot);
      if (Keep && b->GetValue().get() != slot->get()) b->SetValue(*slot);
      continue;
    }
    if (Context) Context->AddLocalBinding(b->GetName(), v);
    if (Keep) b->SetValue(std::move(v));
  }
}

namespace {

// Gives every variable in Value (call arguments, list items and the slots
// of a fact to assert, at any depth) its position in Frame as a hint for
// resolving it (TKbValue::SetFrameHint). Values shared across threads are
// left alone.
void HintFrame(const IKbValue& Value, const std::vector<TBinding*>& Frame) {
  if (!Value || Value->GetSharing() != TRefSharing::Confined) return;
  switch (Value->GetDType()) {
    case dtVariable:
    case dtMultiVariable: {
      const std::string_view name = Value->GetText();
      uint16_t hint = 0;
      for (size_t i = 0; i < Frame.size() && i < UINT16_MAX; ++i)
        if (Frame[i]->GetName() == name) {
          hint = static_cast<uint16_t>(i + 1);
          break;
        }
      Value->SetFrameHint(hint);
      return;
    }
    case dtFunCall:
      if (const IFunCall call = Value->GetAsFunCall())
        for (const IKbValue& a : call->Arguments()) HintFrame(a, Frame);
      return;
    case dtList:
      if (const TValueVector* list = Value->ListPtr())
        for (const IKbValue& item : *list) HintFrame(item, Frame);
      return;
    case dtFact:
      if (const IFact fact = Value->GetAsFact(); fact && fact->GetTemplate())
        for (int i = 0; i < fact->GetTemplate()->GetSlotCount(); ++i)
          HintFrame(fact->GetValue(i), Frame);
      return;
    default: return;
  }
}

// A global variable (?*name*): the root context binds it.
bool IsGlobalName(std::string_view Name) {
  return Name.size() >= 2 && Name.front() == '*' && Name.back() == '*';
}

// Adds to Names the global variables Value names at any depth (as
// HintFrame walks it) that are not in Frame and not yet in Names.
void CollectGlobals(const IKbValue& Value, const std::vector<TBinding*>& Frame,
                    std::vector<std::string>& Names) {
  if (!Value) return;
  switch (Value->GetDType()) {
    case dtVariable:
    case dtMultiVariable: {
      const std::string_view name = Value->GetText();
      if (!IsGlobalName(name)) return;
      for (const TBinding* b : Frame)
        if (b->GetName() == name) return;
      for (const std::string& n : Names)
        if (n == name) return;
      Names.emplace_back(name);
      return;
    }
    case dtFunCall:
      if (const IFunCall call = Value->GetAsFunCall())
        for (const IKbValue& a : call->Arguments()) CollectGlobals(a, Frame, Names);
      return;
    case dtList:
      if (const TValueVector* list = Value->ListPtr())
        for (const IKbValue& item : *list) CollectGlobals(item, Frame, Names);
      return;
    case dtFact:
      if (const IFact fact = Value->GetAsFact(); fact && fact->GetTemplate())
        for (int i = 0; i < fact->GetTemplate()->GetSlotCount(); ++i)
          CollectGlobals(fact->GetValue(i), Frame, Names);
      return;
    default: return;
  }
}

}  // namespace

void TRule::FrameChanging() {
  FrameStale_ = true;
  if (!FrameUser_) return;
  // The match bindings only: the globals stay where they are bound.
  for (size_t i = 0; i < MatchFrameSize_ && i < Frame_.size(); ++i)
    if (TBinding* b = Frame_[i]; b->GetValue())
      FrameUser_->AddLocalBinding(b->GetName(), b->GetValue());
  FrameUser_->SetFrame({});
  FrameUser_ = nullptr;
}

void TRule::LinkGlobals(TKbContext& Scope) {
  const bool root = !Scope.GetParent();
  if (root && GlobalsScope_ == &Scope && GlobalsVersion_ == Scope.GetBindingsVersion()) return;
  for (size_t i = 0; i < GlobalSlots_.size(); ++i) {
    TBinding* own = GlobalSlots_[i].get();
    TBinding* global = root ? Scope.GetBindings().Get(own->GetName()) : nullptr;
    Frame_[MatchFrameSize_ + i] = global ? global : own;
  }
  GlobalsScope_ = root ? &Scope : nullptr;
  GlobalsVersion_ = Scope.GetBindingsVersion();
}

// Inline in each Fire, its one caller.
template <class T>
[[gnu::always_inline]] inline void TRule::FireOn(const T& Match) {
  constexpr bool byToken = std::is_same_v<T, IReteToken>;
  TRuleCatalog& engine = RequireEngine();
  std::unique_ptr<TKbContext> fresh;
  TKbContext* context;
  if (!FiringContextBusy_) {
    FiringContextBusy_ = true;
    if (!FiringContext_) FiringContext_.reset(engine.GetContext()->Push());
    context = FiringContext_.get();
    context->Reuse(engine.GetContext());
    if (FrameStale_) {
      Frame_.clear();
      for (const auto& b : Bindings_)
        if (!b->IsLocal() && !b->IsPatternScoped()) Frame_.push_back(b.get());
      MatchFrameSize_ = Frame_.size();
      std::vector<std::string> globals;
      for (int i = 0; i < Actions_->Count(); ++i)
        for (const IKbValue& a : Actions_->Get(i)->Arguments()) CollectGlobals(a, Frame_, globals);
      GlobalSlots_.clear();
      for (std::string& name : globals) {
        GlobalSlots_.push_back(std::make_unique<TBinding>(std::move(name), IKbValue()));
        Frame_.push_back(GlobalSlots_.back().get());
      }
      GlobalsScope_ = nullptr;
      for (int i = 0; i < Actions_->Count(); ++i)
        for (const IKbValue& a : Actions_->Get(i)->Arguments()) HintFrame(a, Frame_);
      FrameStale_ = false;
    }
  } else {
    fresh.reset(engine.GetContext()->Push());
    context = fresh.get();
  }
  {
    // A fresh context goes after the guard has popped it, and the rule
    // (when its actions deleted it) after both.
    TFiringHold hold(this);
    TKbContext* globalsHeld = nullptr;
    auto done = OnScopeExit([this, context, &globalsHeld] {
      if (globalsHeld) globalsHeld->ReleaseBindings();
      context->ClearReturnValue();
      context->Pop();
      if (FrameUser_ == context) FrameUser_ = nullptr;
      // The rule's context lets go of the match and of what the actions
      // bound until it next fires.
      if (context == FiringContext_.get()) {
        context->Reuse(nullptr);
        FiringContextBusy_ = false;
      }
    });
    // A fresh context binds by name from a token; the rule's own reads the
    // match into its frame, and a match held as facts makes its token
    // only when asked.
    if constexpr (byToken)
      context->SetToken(Match);
    else if (fresh)
      context->SetToken(Match.Source->MakeToken());
    else
      context->SetTokenSource(Match.Source);
    if (fresh) {
      Prepare(context->GetToken(), context);
    } else if (const auto facts = FactsOf(Match)) {
      BindMatch(*facts, nullptr, true);
      if (!GlobalSlots_.empty()) {
        // The root's bindings the frame points at stay readable (unbound
        // once removed) until the firing ends.
        TKbContext& scope = *engine.GetContext();
        LinkGlobals(scope);
        scope.HoldBindings();
        globalsHeld = &scope;
      }
      context->SetFrame(Frame_);
      FrameUser_ = context;
    }
    if (OnFire) OnFire(this, context);
    if (!context->GetReturnValueSet()) {
      for (int i = 0; i < Actions_->Count(); ++i) {
        IFunCall action = Actions_->Get(i);
        action->Execute(context);
        if (context->GetReturnValueSet()) break;
      }
    }
  }
}

void TRule::Fire(const IReteToken& Token) { FireOn(Token); }

void TRule::Fire(const TMatchFacts& Match) { FireOn(Match); }

// ------------------------------------------------------------ copy, text

void TRule::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TRule*>(Source);
  if (!src) {
    TComponent::Assign(Source);
    return;
  }
  if (src == this) return;
  BeginUpdate();
  auto end = OnScopeExit([this] { EndUpdate(); });
  // Another engine's rule has its patterns cloned onto this engine's
  // templates of the same names (SetPatterns), and its actions and
  // salience copied so that their calls bind here.
  TRuleCatalog* across = src->Engine_ == Engine_ ? nullptr : &RequireEngine();
  SetRuleName(src->RuleName_);
  Comment_ = src->Comment_;
  SetPatterns(src->Patterns_);
  if (!across) {
    SetActions(*src->Actions_);
    SetSalience(src->SalienceValue_);
    return;
  }
  Actions_->Clear();
  for (const IFunCall& a : *src->Actions_)
    Actions_->Add(across->CopyValue(NewFunCall(a))->GetAsFunCall());
  SetSalience(across->CopyValue(src->SalienceValue_));
}

std::string TRule::GetToString() const {
  return Engine_ ? Engine_->PrettyPrint(*this) : PrettyPrint(*this);
}

}  // namespace kb
