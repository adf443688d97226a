// The engine's rules by name (TDeducer::Rules). Copying rules from another
// engine is defined with the persistence (engine/DeducerPersistence.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "framework/Classes.h"
#include "framework/Collections.h"

namespace kb {

class TDeducer;
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

}  // namespace kb
