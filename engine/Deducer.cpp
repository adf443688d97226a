#include "engine/Deducer.h"

#include <initializer_list>

#include "deducer/Version.h"
#include "engine/DeducerAgenda.h"
#include "engine/DeducerDefaultPackages.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerFunctions.h"
#include "engine/DeducerIO.h"
#include "engine/DeducerPackages.h"
#include "engine/DeducerParse.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "parser/KbParser.h"
#include "rete/ReteNetwork.h"

namespace kb {

const char* LibraryVersion() noexcept { return DEDUCER_VERSION_STRING; }

// ----------------------------------------------------------------- TDeducer

TDeducer::TDeducer(TComponent* AOwner)
    : TRuleCatalog(AOwner),
      IO_(std::make_unique<TDeducerIO>(*this)),
      Parsing_(std::make_unique<TDeducerParsing>(*this)),
      Templates_(std::make_unique<TDeducerTemplates>(*this)),
      FactBase_(std::make_unique<TDeducerFactBase>(*this, *IO_)),
      Agenda_(std::make_unique<TDeducerAgenda>(*this, *IO_, *FactBase_)),
      Rules_(std::make_unique<TDeducerRules>(*this)) {
  Variables_ = std::make_unique<TEngineVariables>(this);
  UserFunctions_ = std::make_unique<TUserFunctions>(this);
  Context_ = std::make_unique<TKbContext>(nullptr, this);
  RootContext_ = Context_.get();
  Parsing_->CreateGlobals();
  CreateFactTemplates();
  CreateFactBase();
  CreateRules();
  AddDefaultPackages();
  // A new engine holds the initial fact, identifier 0.
  Assert(std::string(SInitialFact));
}

TDeducer::~TDeducer() {
  // Others hear of the removal while this is still a whole engine.
  BeginDestruction();
  // Values that refer to the engine's collections read as freed from now.
  for (const TPersistent* part : std::initializer_list<const TPersistent*>{
           Templates_->FactTemplatesOrNull(), FactBase_->FactsOrNull(), Rules_->RulesOrNull(),
           UserFunctions_.get(), Variables_.get(), Parsing_->GlobalVariablesOrNull()})
    ForgetObject(part);
  // No event reaches the host during teardown.
  ClearEventHandlers();
  DestroyFactBase();
  DestroyRules();
  // Packages withdraw their functions from this engine before it goes.
  for (int i = GetComponentCount() - 1; i >= 0; --i) {
    if (i >= GetComponentCount()) continue;
    if (dynamic_cast<TUserPackage*>(GetComponent(i))) delete GetComponent(i);
  }
  UserFunctions_->Clear();
  Parsing_->DestroyGlobals();
  RootContext_ = nullptr;
  Context_.reset();
  Variables_.reset();
  UserFunctions_.reset();
  Parsing_->DestroyParser();
  DestroyFactTemplates();
}

void TDeducer::ClearEventHandlers() {
  OnPrintOut = nullptr;
  OnReadLine = nullptr;
  OnReadToken = nullptr;
  OnAddDefaultPackages = nullptr;
  OnNewFactTemplate = nullptr;
  OnRemoveFactTemplate = nullptr;
  OnClearFactTemplates = nullptr;
  OnAddRule = nullptr;
  OnRemoveRule = nullptr;
  OnClearRules = nullptr;
  OnAssertion = nullptr;
  OnRetraction = nullptr;
  OnClearFacts = nullptr;
  OnReset = nullptr;
  OnClear = nullptr;
  OnAddActivation = nullptr;
  OnRemoveActivation = nullptr;
  OnRuleFired = nullptr;
  OnStartInference = nullptr;
  OnEndInference = nullptr;
  if (TKbParser* parser = Parsing_->ParserOrNull()) parser->ClearEvents();
}

void TDeducer::AddUserFunction(const IUserFunction& Function) { UserFunctions_->Add(Function); }

void TDeducer::RemoveUserFunction(const IUserFunction& Function) {
  if (!Function || !UserFunctions_) return;
  // Only the function registered under that name is withdrawn.
  if (UserFunctions_->Get(Function->GetFunctionName()) == Function)
    UserFunctions_->Remove(Function->GetFunctionName());
}

bool TDeducer::ContainsUserFunction(std::string_view Name) {
  return UserFunctions_ && UserFunctions_->Contains(Name);
}

IUserFunction TDeducer::GetUserFunction(std::string_view Name) {
  return UserFunctions_ ? UserFunctions_->Get(Name) : IUserFunction();
}

std::vector<std::string> TDeducer::GetUserFunctions() {
  return UserFunctions_ ? UserFunctions_->Names() : std::vector<std::string>();
}

void TDeducer::SetUserFunction(const std::string& Name, const IUserFunction& Function) {
  UserFunctions_->Put(Name, Function);
}

void TDeducer::AddDefaultPackages() {
  // A package class that is not registered fails loudly: an engine without
  // a package it was asked for would fail later, at a call of one of its
  // functions.
  for (const TDefaultPackage& p : DefaultPackages)
    if (Packages_.Contains(p.Package) && !CreatePackageByClassName(p.ClassName, this))
      throw EClassNotFound(Format("Class %s not found", p.ClassName));
  if (OnAddDefaultPackages) OnAddDefaultPackages(this);
}

void TDeducer::SetPackages(TFunctionPackages Value) {
  if (Value == Packages_) return;
  for (int i = GetComponentCount() - 1; i >= 0; --i)
    if (dynamic_cast<TUserPackage*>(GetComponent(i))) delete GetComponent(i);
  Packages_ = Value;
  AddDefaultPackages();
}

std::string TDeducer::GenerateSymbol(const std::string& Prefix) {
  // Only setgen brings the counter near its end; it never comes round.
  if (SymbolIndex_ == INT64_MAX) KbError(SIntegerOverflow, "gensym");
  return Prefix + IntToStr(SymbolIndex_++);
}

void TDeducer::SetSymbolIndex(int64_t Value) {
  if (Value > SymbolIndex_)
    SymbolIndex_ = Value;
  else
    ++SymbolIndex_;
}

}  // namespace kb
