// The engine as rules and the network see it.
//
// Rules, terminal nodes, goals and the network belong to an engine, but
// rete/ sits below the engine: what they ask of it is declared here and
// the engine (TDeducer, engine/Deducer.h) implements it.
// - TRuleCatalog extends working memory's view (TFactCatalog) with the
//   rules, the root context, working memory's facts and the null fact.
// - TActivationSink is the agenda's side of the network: where new
//   activations go and withdrawn ones leave.
//
// The null fact, the root context and the interrupt flag are held here,
// so that joins and firings read them without a call.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/KbInterfaces.h"
#include "memory/KbFactCatalog.h"
#include "memory/KbFactsFact.h"

namespace kb {

class TActivation;
class TKbContext;
class TKbPattern;
class TRule;

class TRuleCatalog : public TFactCatalog {
 public:
  explicit TRuleCatalog(TComponent* AOwner) : TFactCatalog(AOwner) {}

  // The root evaluation context; holds the global variables' bindings.
  TKbContext* GetContext() const noexcept { return RootContext_; }
  // The fact the network places where a negated pattern has no fact.
  const IFact& GetNullFact() const noexcept { return NullFact_; }
  // Set by a host to stop whatever the engine is running (the shell's
  // Ctrl-C): every function call then raises the silent EAbort, which
  // "try" does not catch, so endless loops and recursions end too; joins
  // stop deciding tests by their compiled form. Atomic, so that a signal
  // handler or another thread may set it. It stays set until the host
  // clears it, before its next command.
  bool GetInterrupted() const { return Interrupted_.load(std::memory_order_relaxed); }
  void SetInterrupted(bool Value) { Interrupted_.store(Value, std::memory_order_relaxed); }

  // ---- rules ----
  // The next rule identifier, which then advances.
  virtual int32_t NewRuleId() = 0;
  // The rule stored under Name, or nullptr.
  virtual TRule* FindRule(std::string_view Name) const = 0;
  // The rules, in the order they were added.
  virtual std::vector<TRule*> RuleList() const = 0;
  // A rule joining the engine's rules; one leaving them without being
  // freed (returned; nullptr when none has that name).
  virtual void AddRule(TRule* Rule) = 0;
  virtual TRule* ExtractRule(std::string_view Name) = 0;
  // See TDeducer: the rule's name, conditions or salience changed.
  virtual void RenameRule(const std::string& OldName, const std::string& NewName) = 0;
  virtual void RuleChange(TRule* Rule) = 0;
  // A rule of Text, owned by the engine and not yet one of its rules.
  virtual TRule* ParseRule(const std::string& Text) = 0;
  // The pattern on "Initial-Fact" a rule receives in front (see TDeducer).
  virtual TKbPattern& InitialFactPattern() = 0;
  virtual std::string PrettyPrint(const TRule& Rule) = 0;
  virtual std::string PrettyPrint(const TKbPattern& Pattern) = 0;
  using TFactCatalog::PrettyPrint;

  // ---- working memory ----
  // Whether Fact is asserted in this engine.
  virtual bool HoldsFact(const TFact* Fact) const = 0;
  // The asserted facts, in working memory's order.
  virtual std::vector<IFact> FactSnapshot() const = 0;
  // Queues a fact to be asserted (true) or retracted once the current
  // change has gone through the network.
  virtual void AddPendingFact(const IFact& Fact, bool Assert) = 0;

 protected:
  IFact NullFact_;
  // The engine's, which owns it.
  TKbContext* RootContext_ = nullptr;
  std::atomic<bool> Interrupted_{false};
};

// Where the network sends activations: the engine's agenda.
class TActivationSink {
 public:
  virtual ~TActivationSink() = default;
  // A new activation; the agenda owns it from now on.
  virtual void AddActivation(TActivation* Activation) = 0;
  // An activation its node withdrew: it leaves the agenda and is freed,
  // unless it is the one firing.
  virtual void RemoveActivation(TActivation* Activation) = 0;
  // An activation whose rule fired, its node having let it go.
  virtual void RuleFired(TActivation* Activation) = 0;
  // The activation firing, or nullptr.
  virtual TActivation* GetCurrentActivation() const = 0;
};

}  // namespace kb
