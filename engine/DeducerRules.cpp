// The engine's rules: the rule collection, rule identifiers, the
// initial-fact pattern, renaming and deleting rules, and their text.
#include "engine/DeducerRules.h"

#include "engine/Deducer.h"
#include "engine/DeducerAgenda.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerParseText.h"
#include "engine/DeducerTemplates.h"
#include "framework/ScopeExit.h"
#include "parser/KbClipsParser.h"
#include "rete/KbRule.h"
#include "rete/ReteNetwork.h"

namespace kb {

// ------------------------------------------------------------------ TRules

void TRules::Add(TRule* Rule) {
  if (!Rule) return;
  Put(Rule->GetRuleName(), Rule);
}

void TRules::Put(const std::string& Name, TRule* Rule) {
  if (!Rule) return;
  if (Engine_) Engine_->RequireIdleNetwork();
  if (TRule* stored = Get(Name)) {
    if (stored == Rule) return;
    switch (Engine_ ? Engine_->GetDuplicateConstructs() : dcOverwrite) {
      case dcIgnore: return;
      case dcError: KbError(SDuplicateRuleNames, Name);
      case dcOverwrite: Remove(Name); break;
    }
  }
  // Compiled before it is stored: a rule that does not compile is not one
  // of the engine's rules.
  if (Engine_ && Engine_->FactBase_->Network()) Engine_->FactBase_->Network()->AddRule(Rule);
  Table_.Put(Name, Rule);
  // Goals the new rule asks for are asserted now.
  if (Engine_) Engine_->ProcessPendingFactsWhenIdle();
  if (Engine_) {
    if (Engine_->IsWatched(cwCompilation)) Engine_->WatchCompilation(Rule->GetCompileTrace());
    if (Engine_->OnAddRule) Engine_->OnAddRule(Engine_, Rule);
  }
}

void TRules::SetItem(const std::string& Name, TRule* Rule) {
  if (!Rule) {
    Remove(Name);
    return;
  }
  Put(Name, Rule);
}

TRule* TRules::Extract(std::string_view Name) {
  TRule* rule = nullptr;
  if (!Table_.Remove(Name, &rule)) return nullptr;
  if (Engine_ && Engine_->OnRemoveRule) Engine_->OnRemoveRule(Engine_, rule);
  return rule;
}

void TRules::Remove(std::string_view Name) {
  if (Engine_ && Contains(Name)) Engine_->RequireIdleNetwork();
  TRule* rule = nullptr;
  if (!Table_.Remove(Name, &rule)) return;
  if (Engine_) Engine_->DeleteRule(rule);
}

void TRules::Remove(std::string_view Name, const TRule* Rule) {
  if (Rule && Get(Name) == Rule) Remove(Name);
}

void TRules::Clear() {
  if (Engine_ && !Engine_->IsDestroying() && !Table_.IsEmpty()) Engine_->RequireIdleNetwork();
  // Taken out first: a rule that is freed tells the engine, which must
  // find the table already empty.
  TStringMap<TRule*> rules;
  std::swap(rules, Table_);
  if (Engine_) {
    for (auto& [name, rule] : rules)
      if (TReteNetwork* network = Engine_->FactBase_->Network()) network->RemoveRule(rule);
    for (auto& [name, rule] : rules)
      if (rule->GetOwner() == Engine_) Engine_->Rules_->DisposeRule(rule);
    Engine_->SetNextRuleId(0);
    if (Engine_->OnClearRules) Engine_->OnClearRules(Engine_);
  }
}

TRule* TRules::Get(std::string_view Name) const {
  TRule* const* r = Table_.Find(Name);
  return r ? *r : nullptr;
}

std::string TRules::GetToString() const {
  std::string r;
  for (const auto& [name, rule] : Table_) {
    r += rule->GetToString();
    r += NewLineString;
  }
  return r;
}

// ------------------------------------------------------------ TDeducerRules

TDeducerRules::TDeducerRules(TDeducer& Engine) : Engine_(Engine) {}

TDeducerRules::~TDeducerRules() = default;

void TDeducerRules::Create() { Rules_ = std::make_unique<TRules>(&Engine_); }

void TDeducerRules::Destroy() {
  if (Rules_) Rules_->Clear();
  Rules_.reset();
  InitialFactPattern_.reset();
}

void TDeducerRules::Clear() {
  if (Rules_) Rules_->Clear();
}

TKbPattern& TDeducerRules::InitialFactPattern() {
  IFactTemplate t = Engine_.CreateFactTemplate(SInitialFactPattern);
  if (!InitialFactPattern_ || InitialFactPattern_->GetFactTemplate() != t) {
    InitialFactPattern_ = std::make_unique<TKbPattern>(nullptr, SInitialFactPattern, t, 0);
    InitialFactPattern_->SetGenerated(true);
  }
  return *InitialFactPattern_;
}

void TDeducerRules::RuleChange(TRule* Rule) {
  // Only a rule stored under its name is compiled; it is compiled again.
  TReteNetwork* network = Engine_.FactBase_->Network();
  if (!network || !Rules_ || !Rule || Rules_->Get(Rule->GetRuleName()) != Rule) return;
  if (Engine_.Agenda_->IsEvaluatingSalience()) return;
  RequireIdleNetwork();
  network->RemoveRule(Rule);
  network->AddRule(Rule);
  Engine_.FactBase_->ProcessPendingFactsWhenIdle();
}

TRule* TDeducerRules::FindRule(std::string_view Name) const { return Rules_->Get(Name); }

std::vector<TRule*> TDeducerRules::RuleList() const {
  std::vector<TRule*> rules;
  rules.reserve(Rules_->Count());
  for (const auto& [name, rule] : Rules_->Entries()) rules.push_back(rule);
  return rules;
}

void TDeducerRules::RenameRule(const std::string& OldName, const std::string& NewName) {
  if (OldName == NewName || !Rules_) return;
  TRule* rule = Rules_->Get(OldName);
  if (!rule) return;
  if (Rules_->Contains(NewName)) KbError(SDuplicateRuleNames, NewName);
  TDeducerTemplates& templates = *Engine_.Templates_;
  templates.SetUpdatingHT(true);
  auto done = OnScopeExit([&templates] { templates.SetUpdatingHT(false); });
  Rules_->Put(NewName, rule);
  Rules_->Extract(OldName);
  if (rule->GetRuleName() != NewName) rule->SetRuleName(NewName);
}

void TDeducerRules::RequireIdleNetwork() const {
  // Rules added or removed while a token propagates would change the nodes
  // it is walking (an event handler of the host could try).
  if (Engine_.FactBase_->IsBusy()) KbError(SRulesBusy);
}

void TDeducerRules::DeleteRule(TRule* Rule) {
  if (!Rule) return;
  RequireIdleNetwork();
  if (Engine_.OnRemoveRule) Engine_.OnRemoveRule(&Engine_, Rule);
  if (TReteNetwork* network = Engine_.FactBase_->Network()) network->RemoveRule(Rule);
  if (Rule->GetOwner() == &Engine_ && !Rule->IsDestroying()) DisposeRule(Rule);
  // Goals that only this rule needed are withdrawn now.
  Engine_.FactBase_->ProcessPendingFactsWhenIdle();
}

void TDeducerRules::DisposeRule(TRule* Rule) {
  // A rule that deletes itself from its own actions goes once it is done.
  if (Rule->IsFiring())
    Rule->FreeAfterFiring();
  else
    delete Rule;
}

void TDeducerRules::RemoveRulesUsing(const IFactTemplate& Template) {
  if (!Rules_ || !Template) return;
  // A rule uses the template in a pattern, or in a fact its actions
  // assert: either was read against this definition of the template.
  auto uses = [&Template](const TRule& Rule) {
    for (const auto& p : Rule.GetPatterns())
      if (p->GetFactTemplate() == Template) return true;
    bool found = false;
    for (const IFunCall& a : Rule.GetActions())
      ForEachFact(a, [&](TFact& F) { found = found || F.GetTemplate() == Template; });
    return found;
  };
  std::vector<std::string> names;
  for (const auto& [name, rule] : Rules_->Entries())
    if (uses(*rule)) names.push_back(name);
  TDeducerTemplates& templates = *Engine_.Templates_;
  auto restore = OnScopeExit(
      [&templates, updating = templates.GetUpdatingHT()] { templates.SetUpdatingHT(updating); });
  templates.SetUpdatingHT(false);
  for (const std::string& name : names) Rules_->Remove(name);
}

void TDeducerRules::Forget(TRule* Rule) {
  if (Rules_) Rules_->Remove(Rule->GetRuleName(), Rule);
}

// ----------------------------------------------- TDeducer's rules, forwarded

void TDeducer::CreateRules() { Rules_->Create(); }

void TDeducer::DestroyRules() { Rules_->Destroy(); }

TRules& TDeducer::Rules() { return Rules_->Rules(); }
int32_t TDeducer::NewRuleId() { return Rules_->NewRuleId(); }
int32_t TDeducer::GetNextRuleId() const { return Rules_->GetNextRuleId(); }
void TDeducer::SetNextRuleId(int32_t Value) { Rules_->SetNextRuleId(Value); }
TKbPattern& TDeducer::InitialFactPattern() { return Rules_->InitialFactPattern(); }
void TDeducer::RuleChange(TRule* Rule) { Rules_->RuleChange(Rule); }
TRule* TDeducer::FindRule(std::string_view Name) const { return Rules_->FindRule(Name); }
std::vector<TRule*> TDeducer::RuleList() const { return Rules_->RuleList(); }
void TDeducer::AddRule(TRule* Rule) { Rules_->Rules().Add(Rule); }
TRule* TDeducer::ExtractRule(std::string_view Name) { return Rules_->Rules().Extract(Name); }

void TDeducer::RenameRule(const std::string& OldName, const std::string& NewName) {
  Rules_->RenameRule(OldName, NewName);
}

void TDeducer::RequireIdleNetwork() const { Rules_->RequireIdleNetwork(); }
void TDeducer::DeleteRule(TRule* Rule) { Rules_->DeleteRule(Rule); }

void TDeducer::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  if (auto* rule = dynamic_cast<TRule*>(AComponent)) Rules_->Forget(rule);
}

TRule* TDeducer::ParseRule(const std::string& Text) {
  return WithParserOn(*this, Text, [](TKbParser& p, TKbTokenizerStream&) { return p.ParseRule(); });
}

std::string TDeducer::PrettyPrint(const TRule& Rule) { return GetParser().PrettyPrint(Rule); }

std::string TDeducer::PrettyPrint(const TKbPattern& Pattern) {
  return GetParser().PrettyPrint(Pattern);
}

}  // namespace kb
