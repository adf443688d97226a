// The engine as working memory's parts see it.
//
// Templates, facts, fact sets and patterns belong to an engine, but
// memory/ sits below the engine: what they ask of it is declared here and
// the engine (TDeducer, engine/Deducer.h) implements it. A template, fact
// set or pattern reaches its engine as a TFactCatalog; the rules and the
// network extend it (TRuleCatalog, rete/KbRuleCatalog.h).
//
// Ownership: a catalog is a component; its templates and fact sets point
// to it by plain pointer and hear of its removal through FreeNotification.
// The type checks are held here, so that a fact reads them without a call
// through the vtable on every slot it sets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/KbConsts.h"
#include "core/KbInterfaces.h"
#include "framework/Classes.h"

namespace kb {

class TFactSet;

class TFactCatalog : public TComponent {
 public:
  explicit TFactCatalog(TComponent* AOwner) : TComponent(AOwner) {}

  // The functions' view of the same engine (what calls in patterns are
  // bound to).
  virtual IReasoner* GetReasoner() = 0;

  // ---- templates ----
  // The template of that name, or nil.
  virtual IFactTemplate FindFactTemplate(std::string_view Name) const = 0;
  // The template of that name; created as an implied (ordered) template
  // when the engine has none.
  virtual IFactTemplate CreateFactTemplate(const std::string& Name) = 0;
  // Adds a template made outside the engine's parser (a goal template).
  virtual void AddFactTemplate(const IFactTemplate& Template) = 0;
  // Called by a template of this engine before it takes a new name (see
  // TDeducer::ChangeFactTemplateName).
  virtual void ChangeFactTemplateName(const std::string& OldName, const std::string& NewName) = 0;
  // A template of this engine took another name or parent: the patterns
  // its facts reach are no longer those they reached.
  virtual void FactTemplateLineageChanged() = 0;
  // Templates whose owner is this engine register here, so that the
  // engine can detach the survivors when it goes.
  virtual void AttachTemplate(TFactTemplate* Template) = 0;
  virtual void DetachTemplate(TFactTemplate* Template) = 0;
  TTypeChecks GetTypeChecks() const noexcept { return TypeChecks_; }

  // ---- facts and fact sets ----
  // The identifier the next asserted fact takes (fact texts pad to its width).
  virtual int32_t GetNextFactId() const = 0;
  // One fact of Text, returned and not asserted.
  virtual IFact ParseFact(const std::string& Text) = 0;
  // A fact set joining or leaving the engine's fact sets.
  virtual void AddFactSet(TFactSet* FactSet) = 0;
  virtual void RemoveFactSet(TFactSet* FactSet) = 0;

  // ---- names and text ----
  // A fresh symbol: Prefix and the engine's next symbol number.
  virtual std::string GenerateSymbol(const std::string& Prefix) = 0;
  virtual std::string PrettyPrint(const IFact& Fact) = 0;
  virtual std::string PrettyPrint(const IFactSlot& Slot) = 0;
  virtual std::string PrettyPrint(const IFactTemplate& Template) = 0;
  virtual std::string PrettyPrint(TFactSet* FactSet) = 0;

  // ---- copies ----
  // A value of another engine's construct, copied for this engine: its
  // calls are made anew and bind here when they first run, a fact it
  // names takes this engine's template of the same name, a list is copied
  // item by item, anything else is cloned.
  virtual IKbValue CopyValue(const IKbValue& Value) = 0;
  // This engine's template of Template's name; one it lacks is first
  // brought over from Template, made anew as CopyValue makes values.
  virtual IFactTemplate TemplateOf(const IFactTemplate& Template) = 0;

 protected:
  TTypeChecks TypeChecks_{tcStatic};
};

}  // namespace kb
