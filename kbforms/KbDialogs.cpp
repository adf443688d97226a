// The dialog components (kbforms/KbDialogs.h) and their registration.
#include "kbforms/KbDialogs.h"

#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerFunctions.h"
#include "engine/DeducerPackages.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "framework/TypInfo.h"
#include "kbforms/FactEditorForm.h"
#include "kbforms/FactTemplateEditorForm.h"
#include "kbforms/FormsCommon.h"
#include "kbforms/FunctionsEditorForm.h"
#include "kbforms/RuleEditorForm.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsSets.h"
#include "parser/KbClipsParser.h"
#include "rete/KbRule.h"

namespace kb {

namespace {

// Shows Form modally with the component's caption (the form's own when
// empty); true when the user confirmed.
bool ShowModal(QDialog& Form, const std::string& Caption) {
  if (!Caption.empty()) Form.setWindowTitle(ToQ(Caption));
  return Form.exec() == QDialog::Accepted;
}

// Sets Engine's rules to Work's. What the rules came with from a file
// loaded in the editor and Engine lacks (templates, deffunctions) is added
// first, since the rules need it; every rule is read by Engine before any
// is replaced, so that a rule it refuses leaves its rules as they were.
void SetEditedRules(TDeducer& Engine, TDeducer& Work) {
  for (const IFactTemplate& t : Work.FactTemplates().InParentOrder())
    if (!Engine.FactTemplates().Contains(t->GetTemplateName())) Engine.FactTemplates().Assign(t);
  for (const auto& [name, f] : Work.UserFunctions().Entries()) {
    const auto deffunction = RefCast<TInterpretedFunction>(f);
    if (deffunction && !Engine.UserFunctions().Contains(name))
      Engine.UserFunctions().Add(IUserFunction(Engine.ParseFunction(PrettyPrint(deffunction))));
  }
  for (const auto& [name, rule] : Work.Rules().Entries())
    std::unique_ptr<TRule>(Engine.ParseRule(rule->GetToString()));
  Engine.SetRules(Work.Rules());
}

}  // namespace

void TKbDialog::Watch(TComponent* Old, TComponent* Target) {
  if (Old == Target) return;
  if (Old) Old->RemoveFreeNotification(this);
  if (Target) Target->FreeNotification(this);
}

// --------------------------------------------------------- TKbEngineDialog

TKbEngineDialog::~TKbEngineDialog() { BeginDestruction(); }

void TKbEngineDialog::SetEngine(TDeducer* Value) {
  Watch(Engine_, Value);
  Engine_ = Value;
}

void TKbEngineDialog::Notification(TComponent* AComponent, TOperation Operation) {
  TKbDialog::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == Engine_) Engine_ = nullptr;
}

TDeducer& TKbEngineDialog::RequireEngine() const {
  if (!Engine_) KbError(SUnknownEngine);
  return *Engine_;
}

// ------------------------------------------------------------ TRulesDialog

TRulesDialog::~TRulesDialog() { BeginDestruction(); }

void TRulesDialog::SetRule(TRule* Value) {
  Watch(Rule_, Value);
  Rule_ = Value;
}

void TRulesDialog::Notification(TComponent* AComponent, TOperation Operation) {
  TKbEngineDialog::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == Rule_) Rule_ = nullptr;
}

bool TRulesDialog::Execute() {
  RequireEngine();
  if (!MultiEdit_ && !Rule_) KbError(SMissingRule);
  TRulesEditDlg form;
  form.LoadFrom(RequireEngine(), MultiEdit_ ? nullptr : Rule_);
  if (!ShowModal(form, GetCaption())) return false;
  // The engine or rule may have gone while the form was open.
  TDeducer& engine = RequireEngine();
  if (MultiEdit_) {
    SetEditedRules(engine, form.Work());
  } else {
    if (!Rule_) KbError(SMissingRule);
    Rule_->Assign(form.EditedRule());
  }
  return true;
}

// ---------------------------------------------------- TFactTemplatesDialog

bool TFactTemplatesDialog::Execute() {
  TFactTemplatesEditDlg form;
  form.LoadFrom(RequireEngine());
  if (!ShowModal(form, GetCaption())) return false;
  RequireEngine().SetFactTemplates(form.Work().FactTemplates());
  return true;
}

// ------------------------------------------------------------ TFactsDialog

bool TFactsDialog::Execute() {
  TFactsEditDlg form;
  form.LoadFrom(RequireEngine());
  if (!ShowModal(form, GetCaption())) return false;
  TDeducer& engine = RequireEngine();
  engine.SetFactTemplates(form.Work().FactTemplates());
  engine.SetFacts(form.Work().Facts());
  return true;
}

// ---------------------------------------------------------- TFactSetDialog

TFactSetDialog::TFactSetDialog(TComponent* AOwner) : TKbDialog(AOwner) {}
TFactSetDialog::~TFactSetDialog() { BeginDestruction(); }

void TFactSetDialog::SetFactSet(TFactSet* Value) {
  Watch(FactSet_, Value);
  FactSet_ = Value;
}

void TFactSetDialog::Notification(TComponent* AComponent, TOperation Operation) {
  TKbDialog::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == FactSet_) FactSet_ = nullptr;
}

bool TFactSetDialog::Execute() {
  if (!FactSet_) KbError(SMissingFactSet);
  TDeducer* engine = EngineOf(FactSet_->GetEngine());
  if (!engine) KbError(SUnknownEngine);
  TFactsEditDlg form;
  form.LoadFrom(*engine, FactSet_->GetFactStrings(), {});
  if (!ShowModal(form, GetCaption())) return false;
  if (!FactSet_ || !FactSet_->GetEngine()) KbError(SUnknownEngine);
  engine = EngineOf(FactSet_->GetEngine());
  // Every text is read before the set changes, so a refusal leaves it whole.
  engine->SetFactTemplates(form.Work().FactTemplates());
  std::vector<IFact> facts;
  for (const std::string& text : form.FactTexts()) facts.push_back(engine->ParseFact(text));
  FactSet_->GetFacts().Clear();
  for (const IFact& f : facts) FactSet_->AddFact(f);
  return true;
}

// -------------------------------------------------------- TFunctionsDialog

TFunctionsDialog::TFunctionsDialog(TComponent* AOwner) : TKbDialog(AOwner) {}
TFunctionsDialog::~TFunctionsDialog() { BeginDestruction(); }

void TFunctionsDialog::SetPackage(TUserPackage* Value) {
  Watch(Package_, Value);
  Package_ = Value;
}

void TFunctionsDialog::Notification(TComponent* AComponent, TOperation Operation) {
  TKbDialog::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == Package_) Package_ = nullptr;
}

bool TFunctionsDialog::Execute() {
  if (!Package_) KbError(SUnknownEngine);
  TFunctionsEditDlg form;
  form.LoadFrom(*Package_);
  if (!ShowModal(form, GetCaption())) return false;
  if (!Package_) KbError(SUnknownEngine);
  TUserFunctionList list(nullptr);
  for (const IUserFunction& f : form.UsedFunctions()) list.Add(f);
  Package_->SetFunctions(list);
  return true;
}

// ------------------------------------------------------------ registration

namespace {

template <class C>
TPropInfo CaptionProperty() {
  return Prop::Str<C>("Caption", &C::GetCaption, &C::SetCaption);
}

const TClassRegistration<TKbDialog> KbDialogClass("TKbDialog", "TComponent",
                                                  {CaptionProperty<TKbDialog>()});
const TClassRegistration<TKbEngineDialog> KbEngineDialogClass(
    "TKbEngineDialog", "TKbDialog",
    {Prop::Object<TKbEngineDialog>("Engine", &TKbEngineDialog::GetEngine,
                                   &TKbEngineDialog::SetEngine, "TDeducer")});
const TClassRegistration<TRulesDialog> RulesDialogClass(
    "TRulesDialog", "TKbEngineDialog",
    {
        Prop::Object<TRulesDialog>("Rule", &TRulesDialog::GetRule, &TRulesDialog::SetRule, "TRule"),
        Prop::Bool<TRulesDialog>("MultiEdit", &TRulesDialog::GetMultiEdit,
                                 &TRulesDialog::SetMultiEdit, true),
    });
const TClassRegistration<TFactTemplatesDialog> FactTemplatesDialogClass("TFactTemplatesDialog",
                                                                        "TKbEngineDialog", {});
const TClassRegistration<TFactsDialog> FactsDialogClass("TFactsDialog", "TKbEngineDialog", {});
const TClassRegistration<TFactSetDialog> FactSetDialogClass(
    "TFactSetDialog", "TKbDialog",
    {Prop::Object<TFactSetDialog>("FactSet", &TFactSetDialog::GetFactSet,
                                  &TFactSetDialog::SetFactSet, "TFactSet")});
const TClassRegistration<TFunctionsDialog> FunctionsDialogClass(
    "TFunctionsDialog", "TKbDialog",
    {Prop::Object<TFunctionsDialog>("Package", &TFunctionsDialog::GetPackage,
                                    &TFunctionsDialog::SetPackage, "TUserPackage")});

}  // namespace

}  // namespace kb
