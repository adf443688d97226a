// The editor dialogs as components a host places on its own forms: each
// creates its form, loads it from what it edits, shows it modally and,
// when the user confirms with OK, writes the result back. Cancel changes
// nothing: the forms edit a private working engine, never the host's.
//
// Properties (all published with the class registry):
//   TRulesDialog          Caption, Engine, Rule, MultiEdit (default true)
//   TFactTemplatesDialog  Caption, Engine
//   TFactsDialog          Caption, Engine
//   TFactSetDialog        Caption, FactSet
//   TFunctionsDialog      Caption, Package
// Each dialog clears a reference when the engine, rule, fact set or package
// it names is freed. Execute needs a QApplication; it raises EKbException
// before showing anything when its required property is not set, and
// answers true when the user confirmed.
#pragma once

#include <string>

#include "framework/Classes.h"

namespace kb {

class TDeducer;
class TRule;
class TFactSet;
class TUserPackage;

class TKbDialog : public TComponent {
 public:
  explicit TKbDialog(TComponent* AOwner = nullptr) : TComponent(AOwner) {}
  const std::string& GetCaption() const { return Caption_; }
  void SetCaption(const std::string& Value) { Caption_ = Value; }
  virtual bool Execute() = 0;

 protected:
  // Starts (or stops, for nil) listening for Target's removal in place of
  // Old's.
  void Watch(TComponent* Old, TComponent* Target);

 private:
  std::string Caption_;
};

// A dialog that edits an engine.
class TKbEngineDialog : public TKbDialog {
 public:
  explicit TKbEngineDialog(TComponent* AOwner = nullptr) : TKbDialog(AOwner) {}
  ~TKbEngineDialog() override;
  TDeducer* GetEngine() const { return Engine_; }
  void SetEngine(TDeducer* Value);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // The engine; EKbException SUnknownEngine without one.
  TDeducer& RequireEngine() const;

 private:
  TDeducer* Engine_ = nullptr;
};

// Edits an engine's rules (MultiEdit: the whole rule set, replaced on OK)
// or one rule (assigned from the edited rule on OK).
class TRulesDialog : public TKbEngineDialog {
 public:
  explicit TRulesDialog(TComponent* AOwner = nullptr) : TKbEngineDialog(AOwner) {}
  ~TRulesDialog() override;
  TRule* GetRule() const { return Rule_; }
  void SetRule(TRule* Value);
  bool GetMultiEdit() const { return MultiEdit_; }
  void SetMultiEdit(bool Value) { MultiEdit_ = Value; }
  bool Execute() override;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TRule* Rule_ = nullptr;
  bool MultiEdit_ = true;
};

// Edits an engine's fact templates; on OK they are set back.
class TFactTemplatesDialog : public TKbEngineDialog {
 public:
  explicit TFactTemplatesDialog(TComponent* AOwner = nullptr) : TKbEngineDialog(AOwner) {}
  bool Execute() override;
};

// Edits an engine's working memory; on OK the templates and the facts are
// set back (the facts asserted again, with new identifiers).
class TFactsDialog : public TKbEngineDialog {
 public:
  explicit TFactsDialog(TComponent* AOwner = nullptr) : TKbEngineDialog(AOwner) {}
  bool Execute() override;
};

// Edits the facts of a fact set; on OK the set's facts are replaced by the
// edited ones, each parsed again by the set's engine.
class TFactSetDialog : public TKbDialog {
 public:
  explicit TFactSetDialog(TComponent* AOwner = nullptr);
  ~TFactSetDialog() override;
  TFactSet* GetFactSet() const { return FactSet_; }
  void SetFactSet(TFactSet* Value);
  bool Execute() override;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TFactSet* FactSet_ = nullptr;
};

// Chooses the functions of a package; on OK they are set back.
class TFunctionsDialog : public TKbDialog {
 public:
  explicit TFunctionsDialog(TComponent* AOwner = nullptr);
  ~TFunctionsDialog() override;
  TUserPackage* GetPackage() const { return Package_; }
  void SetPackage(TUserPackage* Value);
  bool Execute() override;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TUserPackage* Package_ = nullptr;
};

}  // namespace kb
