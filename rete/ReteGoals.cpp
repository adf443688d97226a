// Backward chaining: the goals a join asks for when a partial match meets
// no fact of its pattern, how a goal is built from the pattern and the
// match, how long a goal lives (the network's TGoalTable), and the goal
// templates ("need-" and the template's name).
#include "rete/ReteGoals.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "rete/KbRule.h"
#include "rete/ReteNetwork.h"
#include "rete/ReteNodes.h"

namespace kb {

namespace {

bool IsGoalName(std::string_view Name) {
  return Name.starts_with(SBackChainPrefix) &&
         Name.size() > std::string_view(SBackChainPrefix).size();
}

// A global variable (?*name*) in a pattern reads its current value.
bool IsGlobalName(std::string_view Name) {
  return Name.size() >= 2 && Name.front() == '*' && Name.back() == '*';
}

// The value of the variable Name in the partial match Token: read from
// the fact of the pattern that binds it, as firing reads it. nullptr when
// Token does not hold that pattern's fact (the variable is bound by the
// goal's own pattern or a later one) or holds the null fact there.
IKbValue BoundValue(TRuleCatalog& Engine, const TRule& Rule, const TKbToken& Token,
                    std::string_view Name) {
  const TRuleBinding* b = Rule.GetBindingByName(Name);
  if (!b) {
    if (!IsGlobalName(Name)) return nullptr;
    const TBinding* g = Engine.GetContext()->FindGlobalBinding(Name);
    return g ? g->GetValue() : nullptr;
  }
  if (b->IsLocal() || b->GetFactIndex() < 0 || b->GetFactIndex() >= Token.GetCount())
    return nullptr;
  const TFact* f = Token.FactAt(b->GetFactIndex());
  const TFact* null = Engine.GetNullFact().get();
  if (!f || f == null || (null && f->GetTemplate() == null->GetTemplate())) return nullptr;
  if (b->IsPatternBinding()) return NewFactId(f->GetID());
  const IKbValue* slot = b->GetSlot().Get(*f);
  if (!slot || !*slot) return nullptr;
  if (b->GetSubIndex() == NoSubIndex) return *slot;
  // An element of a multislot (a segment, for a multifield variable).
  if ((*slot)->GetDType() != dtList) return nullptr;
  const IValueVector list = (*slot)->GetAsList();
  if (!list || b->GetSubIndex() >= list->Count()) return nullptr;
  return list->Get(b->GetSubIndex());
}

// The value a test gives the goal's slot: its constant, or its variable's
// value in Token. nullptr when it gives none.
IKbValue TestValue(TRuleCatalog& Engine, const TRule& Rule, const TKbToken& Token,
                   const TKbPatternMatchTest& Test) {
  if (Test.IsNotEquals() || Test.IsFunCall() || !Test.GetSlotValue()) return nullptr;
  if (Test.IsVariable()) return BoundValue(Engine, Rule, Token, Test.GetSlotValue()->GetText());
  return Test.GetSlotValue();
}

bool IsMultiVariableTest(const TKbPatternMatchTest& Test) {
  return Test.GetSlotValue() && Test.GetSlotValue()->GetDType() == dtMultiVariable;
}

// The list a goal's multislot holds: the value of each position of the
// pattern's slot in order (nil for a position nothing fixes), the
// segments of multifield variables spliced in, values of tests without a
// position at the end.
IKbValue GoalList(TRuleCatalog& Engine, const TRule& Rule, const TKbToken& Token,
                  const TSlotTests* Tests) {
  struct TPart {
    IKbValue Value;
    bool Set = false;
  };
  std::vector<TPart> parts;
  std::vector<IKbValue> tail;
  if (Tests) {
    for (const auto& t : *Tests) {
      if (t->IsNotEquals() || t->IsFunCall()) continue;
      IKbValue v = TestValue(Engine, Rule, Token, *t);
      // A multifield variable nothing binds yet stands for no element.
      if (!v && IsMultiVariableTest(*t)) v = FCNilList;
      const int32_t at = t->GetMultiSlotSubIndex();
      if (at < 0) {
        if (v) tail.push_back(v);
        continue;
      }
      if (static_cast<size_t>(at) >= parts.size()) parts.resize(static_cast<size_t>(at) + 1);
      TPart& p = parts[static_cast<size_t>(at)];
      // The first test that fixes the position decides.
      if (v && !p.Set) p = {v, true};
    }
  }
  TValueItems items;
  auto add = [&](const IKbValue& V) {
    if (V && V->GetDType() == dtList) {
      if (const IValueVector l = V->GetAsList())
        for (const IKbValue& x : *l) items.push_back(x);
    } else {
      items.push_back(V ? V : FCNil);
    }
  };
  for (const TPart& p : parts) add(p.Set ? p.Value : FCNil);
  for (const IKbValue& v : tail) add(v);
  return NewList(IValueVector(new TValueVector(std::move(items))));
}

bool SameSlots(const TFactTemplate& A, const TFactTemplate& B) {
  if (A.GetSlotCount() != B.GetSlotCount()) return false;
  for (int i = 0; i < A.GetSlotCount(); ++i)
    if (!A.GetSlotAt(i)->Equals(B.GetSlotAt(i))) return false;
  return true;
}

IFactTemplate NewGoalTemplate(TRuleCatalog& Engine, const IFactTemplate& Template) {
  const std::string& name = Template->GetTemplateName();
  // A copy of the template's slots and flags, standing alone.
  IFactTemplate goal(
      new TFactTemplate(&Engine, SBackChainPrefix + name, "Goal seeker for " + name, Template));
  goal->SetParent(nullptr);
  goal->SetBackwardChaining(true);
  Engine.AddFactTemplate(goal);
  return Engine.FindFactTemplate(SBackChainPrefix + name);
}

// The engine's rules with a pattern of their own on Template.
std::vector<TRule*> RulesOn(TRuleCatalog& Engine, const IFactTemplate& Template) {
  std::vector<TRule*> rules;
  for (TRule* rule : Engine.RuleList())
    for (const auto& p : rule->GetPatterns())
      if (!p->IsGenerated() && p->GetFactTemplate() == Template) {
        rules.push_back(rule);
        break;
      }
  return rules;
}

// Rules written before Template was marked are analysed and compiled
// again, as if written after: a first pattern on it gets the initial fact
// in front, and its joins ask for goals. A rule that could not be
// compiled so (a call in a pattern on Template) is refused before
// anything changes.
void RecompileRulesOn(TRuleCatalog& Engine, const std::vector<TRule*>& Rules) {
  for (TRule* r : Rules) {
    TRule copy(&Engine);
    for (const auto& p : r->GetPatterns())
      if (!p->IsGenerated()) copy.GetPatterns().Add(p->Clone(&Engine));
    r->SetPatterns(copy.GetPatterns());
  }
}

void CheckRulesOn(const IFactTemplate& Template, const std::vector<TRule*>& Rules) {
  for (TRule* r : Rules)
    for (const auto& p : r->GetPatterns()) {
      if (p->GetFactTemplate() != Template) continue;
      for (int s = 0; s < p->GetSlotCount(); ++s)
        if (const TSlotTests* tests = p->GetSlotTests(s))
          for (const auto& t : *tests)
            if (t->IsFunCall()) KbError(SBackChainFuncallPatterns, p->GetName());
    }
}

}  // namespace

// ------------------------------------------------------------ goal templates

IFactTemplate GoalTemplateOf(TRuleCatalog& Engine, const IFactTemplate& Template) {
  if (IFactTemplate t = Engine.FindFactTemplate(SBackChainPrefix + Template->GetTemplateName()))
    return t;
  return NewGoalTemplate(Engine, Template);
}

void PrepareBackwardChaining(TRuleCatalog& Engine, const IFactTemplate& Template) {
  if (!Template->IsBackwardChaining()) {
    const std::vector<TRule*> rules = RulesOn(Engine, Template);
    CheckRulesOn(Template, rules);
    Template->SetBackwardChaining(true);
    RecompileRulesOn(Engine, rules);
  }
  // Asked again (or read back from a saved system), the goal template and
  // the rules on it stay as they are.
  IFactTemplate old = Engine.FindFactTemplate(SBackChainPrefix + Template->GetTemplateName());
  if (old && SameSlots(*old, *Template)) {
    old->SetBackwardChaining(true);
    return;
  }
  NewGoalTemplate(Engine, Template);
}

// --------------------------------------------------------------- goal facts

IFact BuildGoal(TRuleCatalog& Engine, const TKbPattern& Pattern, const TRule& Rule,
                const TKbToken& Token) {
  const IFactTemplate goalTemplate = GoalTemplateOf(Engine, Pattern.GetFactTemplate());
  IFact goal(new TFact(goalTemplate));
  // Every slot the pattern leaves open is nil (an empty multislot), not
  // the template's default: the goal describes the pattern, not a fact.
  for (int s = 0; s < goalTemplate->GetSlotCount(); ++s)
    goal->SetValue(s, goalTemplate->GetSlotAt(s)->IsMultiSlot() ? FCNilList : FCNil);
  for (int s = 0; s < Pattern.GetSlotCount(); ++s) {
    const std::string& name = Pattern.GetSlotName(s);
    const TFactSlot* slot = goalTemplate->FindSlot(name);
    if (!slot) continue;
    const TSlotTests* tests = Pattern.GetSlotTests(s);
    if (slot->IsMultiSlot()) {
      goal->SetValue(slot->GetIndex(), GoalList(Engine, Rule, Token, tests));
      continue;
    }
    if (!tests) continue;
    // The first test that gives a value decides.
    for (const auto& t : *tests)
      if (IKbValue v = TestValue(Engine, Rule, Token, *t)) {
        goal->SetValue(slot->GetIndex(), v);
        break;
      }
  }
  return goal;
}

// ---------------------------------------------------------------- TGoalTable

bool TGoalTable::Asserted(const TFact* Fact) const { return Engine_ && Engine_->HoldsFact(Fact); }

void TGoalTable::Erase(const TFact* Fact) {
  auto it = Entries_.find(Fact);
  if (it == Entries_.end()) return;
  auto [lo, hi] = ByContent_.equal_range(it->second.Hash);
  for (auto c = lo; c != hi; ++c)
    if (c->second == Fact) {
      ByContent_.erase(c);
      break;
    }
  Entries_.erase(it);
}

IFact TGoalTable::Need(const IFact& Goal) {
  if (!Goal) return Goal;
  const int32_t hash = Goal->GetHashCode();
  TEntry* entry = nullptr;
  auto [lo, hi] = ByContent_.equal_range(hash);
  for (auto c = lo; c != hi; ++c) {
    TEntry& e = Entries_.at(c->second);
    if (e.Fact->Equals(Goal.get())) {
      entry = &e;
      break;
    }
  }
  if (!entry) {
    entry = &Entries_[Goal.get()];
    entry->Fact = Goal;
    entry->Hash = hash;
    ByContent_.emplace(hash, Goal.get());
  }
  ++entry->Count;
  // A goal is in working memory once. One whose retraction is queued is
  // still there, and stays (Settle drops the retraction).
  if (!entry->QueuedAssert && !Asserted(entry->Fact.get()) && Engine_) {
    entry->QueuedAssert = true;
    Engine_->AddPendingFact(entry->Fact, true);
  }
  return entry->Fact;
}

void TGoalTable::Release(const IFact& Goal) {
  auto it = Entries_.find(Goal.get());
  if (it == Entries_.end()) return;
  TEntry& e = it->second;
  if (e.Count > 0) --e.Count;
  if (e.Count > 0 || e.QueuedRetract) return;
  if (!Engine_) {
    Erase(Goal.get());
    return;
  }
  e.QueuedRetract = true;
  Engine_->AddPendingFact(e.Fact, false);
}

TGoalTable::TVerdict TGoalTable::Settle(const TFact* Fact, bool Assert) {
  auto it = Entries_.find(Fact);
  if (it == Entries_.end()) return gvNotAGoal;
  TEntry& e = it->second;
  TVerdict verdict;
  if (Assert) {
    e.QueuedAssert = false;
    verdict = e.Count > 0 && !Asserted(Fact) ? gvProceed : gvDrop;
  } else {
    e.QueuedRetract = false;
    verdict = e.Count > 0 ? gvDrop : gvProceed;
  }
  // Forgotten once nothing needs it and nothing is queued for it; its
  // retraction, if any, follows (the caller holds the fact).
  if (e.Count == 0 && !e.QueuedAssert && !e.QueuedRetract) Erase(Fact);
  return verdict;
}

int32_t TGoalTable::GetNeedCount(const TFact* Goal) const {
  auto it = Entries_.find(Goal);
  return it == Entries_.end() ? 0 : it->second.Count;
}

void TGoalTable::Clear() noexcept {
  Entries_.clear();
  ByContent_.clear();
}

// ---------------------------------------------------------------- the joins

void TJoinNode::SetPattern(const TKbPattern* Pattern, TRule* Rule) {
  if (!Pattern || !Pattern->GetFactTemplate() || !Pattern->GetFactTemplate()->IsBackwardChaining())
    KbError(SInvalidBackchainPattern);
  if (BackChain_ && Rule_ == Rule) return;
  BackChain_ = Pattern->Clone(Rule ? Rule->GetEngine() : nullptr);
  Rule_ = Rule;
}

void TJoinNode::AskForBackChain(TJoinMemory::TEntry* Entry) {
  // Asked when the match just stored met no fact here. A negated join
  // never asks: its match goes on exactly while the fact is missing.
  if (!BackChain_ || !Rule_ || OutputCount_ != 0 || Mode_ == jmNegated) return;
  // A goal never asks for goals of its own.
  if (IsGoalName(BackChain_->GetName())) return;
  TRuleCatalog* engine = Rete_->GetEngine();
  if (!engine) return;
  const TJoinEntry::TAlone* alone = Entry->GetAlone();
  const IReteToken token = alone ? alone->Token : ChainOf(*Entry, taAdd);
  IFact goal = BuildGoal(*engine, *BackChain_, *Rule_, *token);
  auto wait = std::make_unique<TGoalWait>();
  wait->Join = this;
  wait->Slot = Waits_.size();
  LinkHolder(wait.get(), Entry, nullptr);
  Waits_.push_back(std::move(wait));
  // Counted once the wait is in place: a goal that cannot be queued
  // leaves no wait behind.
  try {
    Waits_.back()->Goal = Rete_->Goals().Need(goal);
  } catch (...) {
    Waits_.pop_back();
    throw;
  }
}

void TJoinNode::EndWait(TGoalWait* Wait) {
  const size_t at = Wait->Slot;
  if (at >= Waits_.size() || Waits_[at].get() != Wait) return;
  std::unique_ptr<TGoalWait> gone = std::move(Waits_[at]);
  if (at + 1 != Waits_.size()) {
    Waits_[at] = std::move(Waits_.back());
    Waits_[at]->Slot = at;
  }
  Waits_.pop_back();
  UnlinkHolder(gone.get());
  Rete_->Goals().Release(gone->Goal);
}

void TJoinNode::GoalsMet(const IFact& Fact) {
  for (size_t i = 0; i < Waits_.size();) {
    TGoalWait* w = Waits_[i].get();
    const TJoinEntry* left = w->Owner[0];
    if (left && !MatchPasses(*left, Fact.get())) {
      ++i;
      continue;
    }
    // The slot now holds the last wait, which is looked at next.
    EndWait(w);
  }
}

void TJoinNode::ReleaseGoals() {
  if (Waits_.empty()) return;
  std::vector<std::unique_ptr<TGoalWait>> waits;
  waits.swap(Waits_);
  for (const auto& w : waits) {
    UnlinkHolder(w.get());
    Rete_->Goals().Release(w->Goal);
  }
}

}  // namespace kb
