// The engine's rules by name (TDeducer::Rules) and the part of the engine
// that keeps them (TDeducerRules). Copying rules from another engine is
// defined with the persistence (engine/DeducerPersistence.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/KbInterfaces.h"
#include "framework/Classes.h"
#include "framework/Collections.h"

namespace kb {

class TDeducer;
class TKbPattern;
class TRule;

// The engine's rules by name, in definition order. The table holds rules
// without owning them: a rule is a component of its owner. A rule that
// leaves the table goes through the engine's DeleteRule, which frees it
// when the engine owns it.
class TRules : public TPersistent {
 public:
  explicit TRules(TDeducer* Engine) : Engine_(Engine) {}
  TRules(const TRules&) = delete;
  TRules& operator=(const TRules&) = delete;
  TDeducer* GetEngine() const { return Engine_; }

  void Add(TRule* Rule);
  // Stores Rule under Name. Another rule already stored there is handled
  // by the engine's DuplicateConstructs policy: dcError raises
  // SDuplicateRuleNames, dcIgnore stores nothing, dcOverwrite removes the
  // stored rule first. Raises OnAddRule for a rule stored.
  void Put(const std::string& Name, TRule* Rule);
  // The same rule does nothing; nil removes; any other rule is stored.
  void SetItem(const std::string& Name, TRule* Rule);
  // Takes the rule out and deletes it through the engine (DeleteRule).
  void Remove(std::string_view Name);
  // The same, only when the rule stored under Name is Rule.
  void Remove(std::string_view Name, const TRule* Rule);
  // Takes the rule out without freeing it (the engine still withdraws
  // it: OnRemoveRule); returns it, or nil when Name is not stored.
  TRule* Extract(std::string_view Name);
  // Frees the stored rules the engine owns, forgets the others, and
  // restarts the engine's rule identifiers; raises OnClearRules.
  void Clear();
  TRule* Get(std::string_view Name) const;
  TRule* GetItem(std::string_view Name) const { return Get(Name); }
  bool Contains(std::string_view Name) const { return Table_.Contains(Name); }
  size_t Count() const { return Table_.Count(); }
  // Every rule's text followed by a line break.
  std::string GetToString() const;
  const TStringMap<TRule*>& Entries() const { return Table_; }
  // Replaces the rules with copies of Source's, each parsed from its text
  // by this table's engine (without an engine, Source's rules are stored).
  void Assign(const TRules& Source);
  void Assign(const TPersistent* Source) override { AssignFrom(this, Source); }

 private:
  TDeducer* Engine_;
  TStringMap<TRule*> Table_;
};

// The engine's rules: what TDeducer's rule members do (they forward here).
// It owns the rule table, the rule identifiers and the initial-fact
// pattern; the events (OnAddRule, OnRemoveRule, OnClearRules) stay the
// engine's, and the rules' nodes are the network's (the fact base's).
class TDeducerRules {
 public:
  explicit TDeducerRules(TDeducer& Engine);
  TDeducerRules(const TDeducerRules&) = delete;
  TDeducerRules& operator=(const TDeducerRules&) = delete;
  ~TDeducerRules();

  void Create();
  // Empties the table and frees it.
  void Destroy();
  TRules& Rules() { return *Rules_; }
  const TPersistent* RulesOrNull() const { return Rules_.get(); }
  // Empties the table (nothing without one).
  void Clear();

  // The next rule identifier, which then advances.
  int32_t NewRuleId() { return NextRuleId_++; }
  int32_t GetNextRuleId() const { return NextRuleId_; }
  void SetNextRuleId(int32_t Value) { NextRuleId_ = Value; }
  // The pattern on the template "Initial-Fact" that a rule receives in
  // front of a left-hand side without a positive first pattern. Made again
  // whenever the engine's "Initial-Fact" template is a new one (after the
  // templates were cleared). Clones of it are marked generated.
  TKbPattern& InitialFactPattern();
  // Called by a rule whose patterns, actions or salience changed: a rule
  // stored under its name is compiled again.
  void RuleChange(TRule* Rule);
  // Called by a rule stored under OldName after it took NewName: the rule
  // moves to NewName (SDuplicateRuleNames, before anything moves, when
  // another rule holds it).
  void RenameRule(const std::string& OldName, const std::string& NewName);
  // A rule leaving the table: OnRemoveRule, then the rule is freed when the
  // engine owns it (after its firing, when it is firing).
  void DeleteRule(TRule* Rule);
  // EKbException SRulesBusy while a token propagates: rules are not added,
  // removed or compiled again then.
  void RequireIdleNetwork() const;
  TRule* FindRule(std::string_view Name) const;
  std::vector<TRule*> RuleList() const;
  // Deletes the rules that have a pattern on Template.
  void RemoveRulesUsing(const IFactTemplate& Template);
  // Frees an engine-owned rule, or marks it to be freed after its firing.
  void DisposeRule(TRule* Rule);
  // A rule that goes away leaves the table.
  void Forget(TRule* Rule);

 private:
  TDeducer& Engine_;
  std::unique_ptr<TRules> Rules_;
  std::unique_ptr<TKbPattern> InitialFactPattern_;
  int32_t NextRuleId_ = 0;
};

}  // namespace kb
