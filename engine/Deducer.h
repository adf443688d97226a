// The engine component.
//
// A TDeducer owns one knowledge base: its user functions, global and engine
// variables and the root evaluation context (and, as the engine grows, its
// templates, facts, rules, network, agenda and parser). It is the entry
// point for host operations and the reasoner through which functions and
// packages reach the engine.
//
// Destruction: the engine first withdraws itself from every function and
// package, so no function keeps a pointer to a dead engine; then it frees
// its collections and finally its owned components.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/KbConsts.h"
#include "core/KbContext.h"
#include "core/KbValue.h"
#include "framework/Classes.h"
#include "framework/Collections.h"
#include "functions/KbPackages.h"
#include "memory/KbFacts.h"
#include "parser/KbParser.h"

namespace kb {

class TDeducer;

// The function packages an engine creates by default.
enum TFunctionPackage : uint8_t {
  pStandard,
  pPredicate,
  pMath,
  pMiscellaneous,
  pString,
  pObject,
  pTrigonometry,
  pBusiness,
};
using TFunctionPackages = TEnumSet<TFunctionPackage>;
constexpr TFunctionPackages AllFunctionPackages{pStandard,  pPredicate, pMath,         pMiscellaneous,
                                                pString,    pObject,    pTrigonometry, pBusiness};

// The registry of callable functions, by name.
class TUserFunctions {
 public:
  explicit TUserFunctions(TDeducer* Engine) : Engine_(Engine) {}
  TUserFunctions(const TUserFunctions&) = delete;
  TUserFunctions& operator=(const TUserFunctions&) = delete;
  ~TUserFunctions();

  void Add(const IUserFunction& Function);
  // Stores Function under Name. Name must be the function's own name
  // (SWrongFunctionName). A different function already stored under it is
  // handled by the engine's DuplicateConstructs policy.
  void Put(const std::string& Name, const IUserFunction& Function);
  void SetItem(const std::string& Name, const IUserFunction& Function) { Put(Name, Function); }
  // Removes the entry; returns the removed function (nil when none).
  IUserFunction Remove(std::string_view Name);
  void Clear();
  IUserFunction Get(std::string_view Name) const;
  IUserFunction GetItem(std::string_view Name) const { return Get(Name); }
  bool Contains(std::string_view Name) const { return Table_.Contains(Name); }
  size_t Count() const { return Table_.Count(); }
  std::vector<std::string> Names() const;
  // The names separated by line breaks.
  std::string GetNamesToString() const;
  // The definition text of every deffunction, each followed by a line break.
  std::string GetToString() const;
  const TStringMap<IUserFunction>& Entries() const { return Table_; }

 private:
  TDeducer* Engine_;
  TStringMap<IUserFunction> Table_;
};

// The engine's variables (name to value).
class TEngineVariables : public TValueHashTable {
 public:
  explicit TEngineVariables(TDeducer* Engine) : Engine_(Engine) {}
  TDeducer* GetEngine() const { return Engine_; }
  // Each variable as the engine prints a named value, one per line.
  std::string GetToString() const override;

 protected:
  TDeducer* Engine_;
};

// ---- parsing: global variables (engine/DeducerParse.cpp) ----
// The defined global variables with their initial values. Defining one
// binds it in the engine's root context at once (a call runs first).
class TGlobalVariables : public TEngineVariables {
 public:
  using TEngineVariables::TEngineVariables;
  IKbValue Put(const std::string& Name, const IKbValue& Value) override;
  // Empties the table and the root context's bindings.
  void Clear() override;
};
// ---- end parsing ----

// ---- Fact templates and fact sets (engine/DeducerTemplates.cpp) ----

// A template added to or removed from an engine.
using TFactTemplateEvent = std::function<void(TDeducer* Sender, const IFactTemplate& Template)>;

// The engine's templates by name, in definition order.
class TFactTemplates {
 public:
  explicit TFactTemplates(TDeducer* Engine) : Engine_(Engine) {}
  TFactTemplates(const TFactTemplates&) = delete;
  TFactTemplates& operator=(const TFactTemplates&) = delete;

  void Add(const IFactTemplate& Template);
  // Stores Template under Name. A template without slots first gets the
  // multislot "__Data". A different template already stored under Name is
  // handled by the engine's DuplicateConstructs policy: dcError raises
  // SDuplicateTemplateNames, dcIgnore keeps the stored one, dcOverwrite
  // replaces it (removing what depends on it unless the two are equal).
  void Put(const std::string& Name, const IFactTemplate& Template);
  void SetItem(const std::string& Name, const IFactTemplate& Template) { Put(Name, Template); }
  // Removes the entry and everything that depends on its template.
  void Remove(std::string_view Name);
  void Clear();
  IFactTemplate Get(std::string_view Name) const;
  IFactTemplate GetItem(std::string_view Name) const { return Get(Name); }
  bool Contains(std::string_view Name) const { return Table_.Contains(Name); }
  size_t Count() const { return Table_.Count(); }
  // Every template's text followed by a line break.
  std::string GetToString() const;
  const TStringMap<IFactTemplate>& Entries() const { return Table_; }

 private:
  TDeducer* Engine_;
  TStringMap<IFactTemplate> Table_;
};

// The engine's fact sets, in definition order; not owned (a fact set is a
// component and leaves the list when it goes).
class TFactSets {
 public:
  explicit TFactSets(TDeducer* Engine) : Engine_(Engine) {}
  TFactSets(const TFactSets&) = delete;
  TFactSets& operator=(const TFactSets&) = delete;

  int Count() const { return static_cast<int>(Items_.size()); }
  // Adds when not present; returns the index either way.
  int Add(TFactSet* FactSet);
  void Insert(int Index, TFactSet* FactSet);
  // Takes the fact set out of the list; returns its index or -1.
  int Remove(TFactSet* FactSet);
  TFactSet* GetItem(int Index) const;
  void SetItem(int Index, TFactSet* FactSet);
  int IndexOf(const TFactSet* FactSet) const;
  // The first fact set of that name, or -1.
  int IndexOf(std::string_view Name) const;
  void Clear() { Items_.clear(); }
  void Assign(const TFactSets& Source);
  // Every fact set's text, with nothing between them.
  std::string GetToString() const;
  const std::vector<TFactSet*>& Items() const { return Items_; }

 private:
  TDeducer* Engine_;
  std::vector<TFactSet*> Items_;
};

// ---- end of fact templates and fact sets ----

class TDeducer : public TComponent, public IReasoner {
 public:
  explicit TDeducer(TComponent* AOwner = nullptr);
  ~TDeducer() override;

  // The root evaluation context; holds the global variables' bindings.
  TKbContext* GetContext() const { return Context_.get(); }

  // IReasoner.
  std::string PrettyPrint(const IFunCall& FunCall) override;
  std::string PrettyPrint(const IFact& Fact) override;
  std::string PrettyPrint(const IUserFunction& Function) override;
  std::string PrettyPrint(const IInterpretedFunction& Function) override;
  void AddUserFunction(const IUserFunction& Function) override;
  void RemoveUserFunction(const IUserFunction& Function) override;
  bool ContainsUserFunction(std::string_view Name) override;
  IUserFunction GetUserFunction(std::string_view Name) override;
  std::vector<std::string> GetUserFunctions() override;
  void SetUserFunction(const std::string& Name, const IUserFunction& Function) override;
  TUserFunctions& UserFunctions() { return *UserFunctions_; }

  TDuplicateConstructs GetDuplicateConstructs() const { return DuplicateConstructs_; }
  void SetDuplicateConstructs(TDuplicateConstructs Value) { DuplicateConstructs_ = Value; }

  // Prefix followed by the symbol counter, which then advances.
  std::string GenerateSymbol(const std::string& Prefix);
  int32_t GetSymbolIndex() const { return SymbolIndex_; }
  // Raises the counter to Value, or advances it by one; never lowers it.
  void SetSymbolIndex(int32_t Value);

  // The engine variables; also the storage table of "store", "fetch" and
  // "clear-storage".
  TEngineVariables& Variables() { return *Variables_; }

  // ---- Run control (halt, exit) -------------------------------------------
  // Set by "halt": the run loop finishes the current firing and stops; each
  // run clears it. Atomic, so that a host thread may ask a run to stop.
  bool GetHalted() const { return Halted_.load(std::memory_order_relaxed); }
  void SetHalted(bool Value) { Halted_.store(Value, std::memory_order_relaxed); }
  // Set by "exit", which then unwinds with the silent EAbort. A library never
  // ends its host's process: whoever catches the EAbort (the shell, a host)
  // reads this flag to tell an exit from another abort, and clears it.
  bool GetExitRequested() const { return ExitRequested_; }
  void SetExitRequested(bool Value) { ExitRequested_ = Value; }
  // ---- end run control ------------------------------------------------------

  TFunctionPackages GetPackages() const { return Packages_; }
  // Frees the owned packages and creates those of Value.
  void SetPackages(TFunctionPackages Value);
  // Creates, owned by the engine, the package of each member of Packages.
  virtual void AddDefaultPackages();
  std::function<void(TDeducer* Sender)> OnAddDefaultPackages;

  // ---- parsing, global variables and print-out (engine/DeducerParse.cpp) ----
  TGlobalVariables& GlobalVariables() { return *GlobalVariables_; }
  // Copies every definition of Value (binding each).
  void SetGlobalVariables(const TGlobalVariables& Value) { GlobalVariables_->Assign(&Value); }
  // Binds one global variable in the root context to its initial value; a
  // function call is run in a child of the root context for its result.
  virtual void ResetGlobalVariable(const std::string& Name, const IKbValue& Value);

  // Output to a logical name: "t" or "" is standard output, which goes to
  // OnPrintOut (and nowhere when it is unassigned). Any other name without
  // OnPrintOut raises SNoSuchFunction "printout".
  virtual void PrintOut(const std::string& OutID, const std::string& Text);
  void PrintOut(const std::string& Text) { PrintOut(std::string(), Text); }
  TPrintOutEvent OnPrintOut;

  // Factories; a descendant overrides them to read another dialect.
  virtual std::unique_ptr<TKbParser> NewParser(TKbTokenizerStream* Stream);
  // A lexer over Stream (not owned), naming anonymous variables here.
  virtual std::unique_ptr<TKbTokenizerStream> NewTokenizer(TStream* Stream);
  // A lexer over a file; raises EFileError when it cannot be opened.
  virtual std::unique_ptr<TKbTokenizerStream> NewTokenizer(const std::string& FileName,
                                                           TFileMode Mode);
  // The engine's parser (created on first use through NewParser). Its
  // parse events (OnParse, OnParseFunCall, ...) are the engine's.
  TKbParser& GetParser();

  // Parses every construct of Text, installing each and running top-level
  // calls (their results are echoed on standard output). Errors follow
  // ParserErrorHandling; what was installed before an error stays. Calls
  // nest: a function run while parsing may parse again.
  virtual bool Parse(const std::string& Text);
  // Single items of Text, returned and not installed.
  virtual IKbValue ParseNExecuteFunCall(const std::string& Text);
  virtual IFunCall ParseFunCall(const std::string& Text);
  virtual IKbValue ParseValue(const std::string& Text);
  // A value of type dtList.
  virtual IKbValue ParseList(const std::string& Text);
  virtual IKbValue ParseVariable(const std::string& Text, std::string& Name);
  virtual IInterpretedFunction ParseFunction(const std::string& Text);
  // Parses a defglobal and installs its definitions.
  virtual bool ParseGlobalVariables(const std::string& Text);

  TErrorHandling GetParserErrorHandling() const { return ParserErrorHandling_; }
  void SetParserErrorHandling(TErrorHandling Value);
  int32_t GetParserMaxErrors() const { return ParserMaxErrors_; }
  void SetParserMaxErrors(int32_t Value);

  std::string PrettyPrint(const std::string& Name, const IKbValue& Value);
  std::string PrettyPrintGlobalVariables();
  // ---- end parsing ----

  // ---- Fact templates and fact sets (engine/DeducerTemplates.cpp) ----
  TFactTemplates& FactTemplates() { return *FactTemplates_; }
  TFactSets& FactSets() { return *FactSets_; }
  // The template of that name; created as an implied (ordered) template
  // when the engine has none.
  virtual IFactTemplate CreateFactTemplate(const std::string& Name);
  // The template of that name, or nil.
  IFactTemplate FindFactTemplate(std::string_view Name) const;
  // Called by a template of this engine before it takes a new name: moves
  // it to the new key (removing what depended on it). A different template
  // holding the new name is replaced under dcOverwrite; otherwise the
  // rename is refused with SDuplicateTemplateNames before anything changes.
  virtual void ChangeFactTemplateName(const std::string& OldName, const std::string& NewName);
  // Removes what depends on a template that leaves the engine (its facts,
  // the rules using it); without argument, on every template. The fact base
  // and the rules extend these.
  virtual void RemoveTemplateDependencies(const IFactTemplate& Template);
  virtual void RemoveTemplateDependencies();
  bool GetUpdatingHT() const { return UpdatingHT_; }
  void SetUpdatingHT(bool Value) { UpdatingHT_ = Value; }
  TTypeChecks GetTypeChecks() const { return TypeChecks_; }
  void SetTypeChecks(TTypeChecks Value);
  // The fact the network places where a negated pattern has no fact.
  const IFact& GetNullFact() const { return NullFact_; }
  // Creates (when missing) the templates "Initial-Fact" and
  // "__NOT-OR-TEST-CE*" and a new null fact, as construction does; Clear
  // calls it after emptying the templates.
  void CreateImpliedTemplates();
  void ReleaseNullFact() { NullFact_ = nullptr; }
  // The next fact identifier, which then advances.
  int32_t NewFactId() { return NextFactId_++; }
  int32_t GetNextFactId() const { return NextFactId_; }
  void SetNextFactId(int32_t Value) { NextFactId_ = Value; }

  // Single constructs of Text, returned and not installed.
  virtual IFact ParseFact(const std::string& Text);
  // A fact set owned by the engine but not one of its fact sets.
  virtual TFactSet* ParseFactSet(const std::string& Text);
  virtual IFactTemplate ParseFactTemplate(const std::string& Text);
  // A slot definition, with or without its opening parenthesis.
  virtual IFactSlot ParseFactTemplateSlot(const std::string& Text);
  // Text as a new value of DataType: texts as they are (a string without
  // its surrounding double quotes), numbers converted (EConvertError when
  // they are not numbers), calls, facts and lists parsed. Host types raise
  // SParseTypeError.
  virtual IKbValue Parse(const std::string& Text, TKbType DataType);

  std::string PrettyPrint(TFactSet* FactSet);
  std::string PrettyPrint(const IFactSlot& Slot);
  std::string PrettyPrint(const IFactTemplate& Template);

  TFactTemplateEvent OnNewFactTemplate;
  TFactTemplateEvent OnRemoveFactTemplate;
  std::function<void(TDeducer* Sender)> OnClearFactTemplates;

  // Templates whose owner is this engine register here, so that the engine
  // can detach the survivors when it goes.
  void AttachTemplate(TFactTemplate* Template) { OwnedTemplates_.push_back(Template); }
  void DetachTemplate(TFactTemplate* Template);
  // ---- end of fact templates and fact sets ----

 private:
  // ---- Fact templates and fact sets ----
  void CreateFactTemplates();
  void DestroyFactTemplates();
  std::unique_ptr<TFactTemplates> FactTemplates_;
  std::unique_ptr<TFactSets> FactSets_;
  IFact NullFact_;
  std::vector<TFactTemplate*> OwnedTemplates_;
  TTypeChecks TypeChecks_{tcStatic};
  int32_t NextFactId_ = 0;
  bool UpdatingHT_ = false;
  // ---- end of fact templates and fact sets ----

  TFunctionPackages Packages_ = AllFunctionPackages;
  std::unique_ptr<TUserFunctions> UserFunctions_;
  std::unique_ptr<TKbContext> Context_;
  std::unique_ptr<TEngineVariables> Variables_;
  TDuplicateConstructs DuplicateConstructs_ = dcOverwrite;
  int32_t SymbolIndex_ = 0;
  // Run control.
  std::atomic<bool> Halted_{false};
  bool ExitRequested_ = false;

  // ---- parsing (engine/DeducerParse.cpp) ----
  std::unique_ptr<TGlobalVariables> GlobalVariables_;
  std::unique_ptr<TKbParser> Parser_;
  TErrorHandling ParserErrorHandling_ = ehRaiseImmediate;
  int32_t ParserMaxErrors_ = 10;
  // ---- end parsing ----
};

}  // namespace kb
