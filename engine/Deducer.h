// The engine component.
//
// A TDeducer owns one knowledge base: its user functions, global and engine
// variables, the root evaluation context, its templates, facts and fact
// sets, rules, the Rete network, the agenda and the parser. It is the entry
// point for host operations and the reasoner through which functions and
// packages reach the engine.
//
// All text the engine and its functions print or read passes through its
// logical I/O names: "t" (or "") is standard input and output, which reach
// the host through events, a capture stream or a running batch; other
// names are the streams in IOStreams ("open" registers files there).
//
// Destruction: the engine first unassigns its event handlers (no event
// reaches the host during teardown) and withdraws itself from every
// function and package, so no function keeps a pointer to a dead engine;
// then it frees its collections and finally its owned components.
//
// The engine's parts have headers of their own: the agenda
// (engine/DeducerAgenda.h), working memory (engine/DeducerFacts.h), the
// callable functions (engine/DeducerFunctions.h), the named I/O streams
// (engine/DeducerIO.h), the engine and global variables
// (engine/DeducerParse.h), the rules (engine/DeducerRules.h) and the fact
// templates and fact sets (engine/DeducerTemplates.h); a caller includes
// those whose parts it uses.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "core/KbConsts.h"
#include "core/KbDialogs.h"
#include "core/KbFunctions.h"
#include "core/KbInterfaces.h"
#include "core/KbValue.h"
#include "engine/DeducerAgenda.h"
#include "framework/Classes.h"
#include "framework/Streams.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsSets.h"
#include "parser/KbParserHost.h"
#include "rete/KbPattern.h"
#include "rete/KbRuleCatalog.h"

namespace kb {

class TActivation;
class IKbDialogs;
class TDeducer;
class TDeducerAgenda;
class TDeducerFactBase;
class TDeducerIO;
class TFactSlot;
class TEngineVariables;
class TFacts;
class TFactSets;
class TFactTemplates;
class TGlobalVariables;
class TGTextStream;
class TIOStreams;
class TKbContext;
class TKbParser;
class TKbPattern;
class TKbTokenizerStream;
class TStream;
class TReteNetwork;
class TRule;
class TRules;
class TUserFunctions;

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
constexpr TFunctionPackages AllFunctionPackages{
    pStandard, pPredicate, pMath, pMiscellaneous, pString, pObject, pTrigonometry, pBusiness};

// A template added to or removed from an engine.
using TFactTemplateEvent = std::function<void(TDeducer* Sender, const IFactTemplate& Template)>;
// A rule added to or removed from an engine.
using TRuleEvent = std::function<void(TDeducer* Sender, TRule* Rule)>;
// A fact asserted or retracted.
using TFactEvent = std::function<void(TDeducer* Sender, const IFact& Fact)>;
// An activation added to or removed from the agenda at Index.
using TAgendaEvent = std::function<void(TDeducer* Sender, int Index, TActivation* Activation)>;
using TEngineNotifyEvent = std::function<void(TDeducer* Sender)>;

// The engine implements what the layers below ask of it: working memory's
// catalog and the rules' (TFactCatalog, TRuleCatalog), the network's
// activation sink (TActivationSink), the functions' reasoner (IReasoner) and
// the parser's host (IParserHost).
class TDeducer : public TRuleCatalog, public IReasoner, public TActivationSink, public IParserHost {
 public:
  explicit TDeducer(TComponent* AOwner = nullptr);
  ~TDeducer() override;

  // GetContext, the root evaluation context: see TRuleCatalog.
  IReasoner* GetReasoner() final { return this; }

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
  TDeducer* GetEngine() noexcept override { return this; }
  const std::atomic<bool>& InterruptFlag() const noexcept override { return Interrupted_; }
  // IParserHost (engine/DeducerParse.cpp): what the parser reads goes
  // into this engine's tables.
  TComponent* ParsedOwner() noexcept override { return this; }
  IReasoner* ParsedReasoner() noexcept override { return this; }
  TKbContext* ParseContext() override { return GetContext(); }
  std::string ParsedSymbol(const std::string& Prefix) override { return GenerateSymbol(Prefix); }
  IFactTemplate ParsedTemplate(std::string_view Name) override;
  IFactTemplate ImpliedTemplate(const std::string& Name) override;
  void InstallFunction(const IInterpretedFunction& Function) override;
  void InstallGlobal(const std::string& Name, const IKbValue& Value) override;
  void InstallTemplate(const IFactTemplate& Template) override;
  bool InstallFactSet(TFactSet* FactSet) override;
  void WithdrawFactSet(TFactSet* FactSet) override;
  bool InstallRule(TRule* Rule) override;
  void AssertRead(const IFact& Fact) override;
  void Echo(const std::string& Text) override;
  TUserFunctions& UserFunctions() { return *UserFunctions_; }

  TDuplicateConstructs GetDuplicateConstructs() const { return DuplicateConstructs_; }
  void SetDuplicateConstructs(TDuplicateConstructs Value) { DuplicateConstructs_ = Value; }

  // Prefix followed by the symbol counter, which then advances. The counter
  // has 64 bits, so that it never comes round to a symbol made before
  // (generated symbols name the parser's anonymous variables too).
  std::string GenerateSymbol(const std::string& Prefix) final;
  int64_t GetSymbolIndex() const { return SymbolIndex_; }
  // Raises the counter to Value, or advances it by one; never lowers it.
  void SetSymbolIndex(int64_t Value);

  // The engine variables; also the storage table of "store", "fetch" and
  // "clear-storage".
  TEngineVariables& Variables() { return *Variables_; }

  // ---- Run control (halt, exit): see TDeducerAgenda (engine/DeducerAgenda.h)
  bool GetHalted() const;
  void SetHalted(bool Value);
  bool GetExitRequested() const;
  void SetExitRequested(bool Value);
  // GetInterrupted and SetInterrupted: see TRuleCatalog.

  // ---- I/O: print-out, input, capture, batch, watches --------------------
  // The I/O part, TDeducerIO (engine/DeducerIO.h), says what each does.
  virtual void PrintOut(const std::string& OutID, const std::string& Text);
  void PrintOut(const std::string& Text) { PrintOut(std::string(), Text); }
  virtual bool ReadLine(const std::string& InID, std::string& Line);
  // The line, or empty at the end of the input.
  std::string ReadLine(const std::string& InID);
  virtual IStreamToken ReadToken(const std::string& InID);
  void SetStdInput(TStream* Stream);
  TKbTokenizerStream* GetStdInput() const;
  IKbDialogs& GetDialogs() const;
  void SetDialogs(IKbDialogs* Dialogs);
  TIOStreams& IOStreams();
  TGTextStream* GetIOStream(std::string_view Name) const;
  // Returns true.
  virtual bool StartCapture(std::unique_ptr<TStream> Stream);
  // Captures into a new (or truncated) file; false, changing nothing, when
  // the file cannot be created.
  bool StartCapture(const std::string& FileName);
  bool StopCapture();
  TStream* GetCaptureStream() const;
  // Returns true.
  virtual bool Batch(TStream& Stream);
  // The same over a file; EFileError when it cannot be opened.
  bool Batch(const std::string& FileName);
  TKbTokenizerStream* GetBatchStream() const;
  TConstructWatches GetWatch() const;
  void SetWatch(TConstructWatches Value);
  bool IsWatched(TConstructWatch What) const;
  void WatchFact(bool Asserted, std::string_view FactIdText);
  void WatchFact(bool Asserted, const TFact& Fact);
  void WatchActivationAdded(std::string_view ActivationText);
  void WatchActivationRemoved(std::string_view RuleName, std::string_view FactsText);
  void WatchRuleFiring(int32_t RulesFired, std::string_view RuleName, std::string_view FactsText);
  void WatchCompilation(std::string_view CompilationText);
  void WatchStatistics(int32_t RulesFired, double RunTime, double MeanFacts, int32_t MaxFacts,
                       double MeanActivations, int32_t MaxActivations);

  TPrintOutEvent OnPrintOut;
  TReadLineEvent OnReadLine;
  TReadTokenEvent OnReadToken;
  // ---- end I/O --------------------------------------------------------------

  TFunctionPackages GetPackages() const { return Packages_; }
  // Frees the owned packages and creates those of Value.
  void SetPackages(TFunctionPackages Value);
  // Creates, owned by the engine, the package of each member of Packages.
  virtual void AddDefaultPackages();
  std::function<void(TDeducer* Sender)> OnAddDefaultPackages;
  // Unassigns every event of the engine and of its parser. The destructor
  // does so first: no event reaches the host while the engine goes.
  void ClearEventHandlers();

  // ---- parsing, global variables and print-out (engine/DeducerParse.cpp) ----
  TGlobalVariables& GlobalVariables() { return *GlobalVariables_; }
  // Copies every definition of Value (binding each).
  void SetGlobalVariables(const TGlobalVariables& Value);
  // Binds one global variable in the root context to its initial value; a
  // function call is run in a child of the root context for its result.
  virtual void ResetGlobalVariable(const std::string& Name, const IKbValue& Value);

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
  IFactTemplate CreateFactTemplate(const std::string& Name) override;
  void AddFactTemplate(const IFactTemplate& Template) final;
  // The template of that name, or nil.
  IFactTemplate FindFactTemplate(std::string_view Name) const final;
  // Called by a template of this engine before it takes a new name: moves
  // it to the new key (removing what depended on it). A different template
  // holding the new name is replaced under dcOverwrite; otherwise the
  // rename is refused with SDuplicateTemplateNames before anything changes.
  void ChangeFactTemplateName(const std::string& OldName, const std::string& NewName) override;
  // Removes what depends on a template that leaves the engine (its facts,
  // the rules using it); without argument, on every template. The fact base
  // and the rules extend these.
  virtual void RemoveTemplateDependencies(const IFactTemplate& Template);
  virtual void RemoveTemplateDependencies();
  bool GetUpdatingHT() const { return UpdatingHT_; }
  void SetUpdatingHT(bool Value) { UpdatingHT_ = Value; }
  void SetTypeChecks(TTypeChecks Value);
  // Creates (when missing) the templates "Initial-Fact" and
  // "__NOT-OR-TEST-CE*" and a new null fact, as construction does; Clear
  // calls it after emptying the templates.
  void CreateImpliedTemplates();
  void ReleaseNullFact() { NullFact_ = nullptr; }
  // The next fact identifier, which then advances.
  int32_t NewFactId() { return NextFactId_++; }
  int32_t GetNextFactId() const final { return NextFactId_; }
  void SetNextFactId(int32_t Value) { NextFactId_ = Value; }

  // Single constructs of Text, returned and not installed.
  IFact ParseFact(const std::string& Text) override;
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

  std::string PrettyPrint(TFactSet* FactSet) final;
  std::string PrettyPrint(const IFactSlot& Slot) final;
  std::string PrettyPrint(const IFactTemplate& Template) final;
  void AddFactSet(TFactSet* FactSet) final;
  void RemoveFactSet(TFactSet* FactSet) final;

  TFactTemplateEvent OnNewFactTemplate;
  TFactTemplateEvent OnRemoveFactTemplate;
  std::function<void(TDeducer* Sender)> OnClearFactTemplates;

  // Templates whose owner is this engine register here, so that the engine
  // can detach the survivors when it goes.
  void AttachTemplate(TFactTemplate* Template) final { OwnedTemplates_.push_back(Template); }
  void DetachTemplate(TFactTemplate* Template) final;
  // ---- end of fact templates and fact sets ----

  // ---- Rules (engine/DeducerRules.cpp) ----
  TRules& Rules() { return *Rules_; }
  // The next rule identifier, which then advances.
  int32_t NewRuleId() final { return NextRuleId_++; }
  int32_t GetNextRuleId() const { return NextRuleId_; }
  void SetNextRuleId(int32_t Value) { NextRuleId_ = Value; }
  // The pattern on the template "Initial-Fact" that a rule receives in
  // front of a left-hand side without a positive first pattern. Made again
  // whenever the engine's "Initial-Fact" template is a new one (after the
  // templates were cleared). Clones of it are marked generated.
  TKbPattern& InitialFactPattern() final;
  // Called by a rule whose patterns, actions or salience changed.
  void RuleChange(TRule* Rule) override;
  // Called by a rule stored under OldName after it took NewName: the rule
  // moves to NewName (SDuplicateRuleNames, before anything moves, when
  // another rule holds it).
  void RenameRule(const std::string& OldName, const std::string& NewName) override;
  // A rule leaving Rules: OnRemoveRule, then the rule is freed when the
  // engine owns it (after its firing, when it is firing).
  virtual void DeleteRule(TRule* Rule);
  // EKbException SRulesBusy while a token propagates: rules are not added,
  // removed or compiled again then (Rules and the calls above check first,
  // so nothing changes).
  void RequireIdleNetwork() const;
  // A rule of Text, owned by the engine and not yet one of its rules.
  TRule* ParseRule(const std::string& Text) override;
  std::string PrettyPrint(const TRule& Rule) final;
  std::string PrettyPrint(const TKbPattern& Pattern) final;
  TRule* FindRule(std::string_view Name) const final;
  std::vector<TRule*> RuleList() const final;
  void AddRule(TRule* Rule) final;
  TRule* ExtractRule(std::string_view Name) final;
  TRuleEvent OnAddRule;
  TRuleEvent OnRemoveRule;
  std::function<void(TDeducer* Sender)> OnClearRules;
  // ---- end of rules ----

  // ---- Fact base: TDeducerFactBase (engine/DeducerFacts.h) says what each
  // does.
  TFacts& Facts();
  TReteNetwork& ReteNetwork();
  virtual int32_t Assert(const IFact& Fact);
  // Parses Text (one fact) and asserts it as AssertParsed does.
  int32_t Assert(const std::string& Text);
  IKbValue EvaluateSlotValue(const TFactSlot& Slot, const IKbValue& Written, TKbContext& Context);
  IFact EvaluatedFact(const TFact& Written, TKbContext& Context);
  // EvaluatedFact in place. REQUIRES: Fact is nobody else's.
  void EvaluateFact(TFact& Fact, TKbContext& Context);
  int32_t AssertParsed(const IFact& Fact);
  // Retracts the fact at Index of Facts (EListError for a bad index).
  virtual void RetractFact(int Index);
  void RetractFact(const IFact& Fact);
  void Retract(int32_t ID);
  void Retract(const IFact& Fact);
  // Retracts the fact Text describes (evaluated as AssertParsed evaluates
  // it); nothing when there is none.
  void Retract(const std::string& Text);
  virtual void RetractFacts();
  void AddPendingFact(const IFact& Fact, bool Assert) override;
  bool HoldsFact(const TFact* Fact) const final;
  std::vector<IFact> FactSnapshot() const final;
  void ProcessPendingFacts();
  void ProcessPendingFactsWhenIdle();
  IFact GetFactPendingAssertions(int Index) const;
  IFact GetFactPendingRetractions(int Index) const;
  int GetPendingAssertionCount() const;
  int GetPendingRetractionCount() const;
  // Retracts everything, asserts the initial fact, resets the globals (when
  // ResetGlobals) and asserts the fact sets' facts.
  virtual void Reset();
  // Back to a new engine's state, keeping packages, properties, handlers
  // and the symbol counter, without the initial fact.
  virtual void Clear();
  bool GetFactDuplication() const;
  void SetFactDuplication(bool Value);
  bool GetResetGlobals() const;
  void SetResetGlobals(bool Value);
  // Reads facts from Stream to its end, asserting each as it is read.
  virtual bool LoadFacts(TStream& Stream);
  TFactEvent OnAssertion;
  TFactEvent OnRetraction;
  TEngineNotifyEvent OnClearFacts;
  TEngineNotifyEvent OnReset;
  TEngineNotifyEvent OnClear;
  // ---- end of fact base ----

  // ---- Agenda and run loop: TDeducerAgenda (engine/DeducerAgenda.h) says
  // what each does.
  void AddActivation(TActivation* Activation) override;
  virtual void RemoveActivation(int Index);
  void RemoveActivation(TActivation* Activation) final;
  void RuleFired(TActivation* Activation) override;
  int SearchSalience(int32_t Salience) const;
  TActivation* GetActivation(int Index) const;
  virtual void SetActivation(int Index, TActivation* Activation);
  int GetAgendaCount() const;
  std::string GetActivationText(int Index) const;
  TSearchStrategy GetStrategy() const;
  virtual void SetStrategy(TSearchStrategy Value);
  TSalience GetSalienceEvaluation() const;
  void SetSalienceEvaluation(TSalience Value);
  int32_t Run(int32_t MaxRules = 2147483647);
  TActivation* GetCurrentActivation() const final;
  std::string RuleFailedBy(const std::exception_ptr& Error) const;
  void Lock();
  void Unlock();
  int32_t GetRulesFired() const;
  double GetRunTime() const;
  int32_t GetMaxActivations() const;
  double GetMeanActivations() const;
  int32_t GetMaxFacts() const;
  double GetMeanFacts() const;
  TAgendaEvent OnAddActivation;
  TAgendaEvent OnRemoveActivation;
  TRuleEvent OnRuleFired;
  TEngineNotifyEvent OnStartInference;
  TInferenceEvent OnEndInference;
  // ---- end of agenda ----

  // ---- Persistence: whole-system text, save, load, copy
  // (engine/DeducerPersistence.cpp) ----
  //
  // Everything is saved as CLIPS text that the parser reads back. Saves to
  // a file build the whole text before the file is created, so a failure
  // never leaves a half-written file in place of the old one; write errors
  // raise EFileError. Loads add to what is there unless they say otherwise;
  // a parse error leaves what was installed before it, and the parser gets
  // its previous input back in every case.

  // The whole knowledge base in commented sections: fact templates (each
  // after the template it extends), deffunctions, the global variables
  // when there are any, rules, fact sets, and the facts in one "assert"
  // call when there are any.
  virtual std::string GetExpertSystem();
  // Clears the engine, reads Text (its constructs are installed, its calls
  // run) and resets it: afterwards the engine holds the initial fact and
  // the fact sets' facts, not the facts Text asserted.
  virtual void SetExpertSystem(const std::string& Text);
  virtual void SaveToStream(TStream& Stream);
  void SaveToFile(const std::string& FileName);
  // Reads the stream or file as Parse reads a text, to its end, without
  // clearing anything first; EFileError when the file cannot be opened.
  virtual bool LoadFromStream(TStream& Stream);
  bool LoadFromFile(const std::string& FileName);
  // One fact text per line, without identifiers, in working-memory order;
  // with TemplateName only the facts of the template of exactly that name.
  virtual void SaveFacts(TStream& Stream);
  virtual void SaveFacts(TStream& Stream, const std::string& TemplateName);
  void SaveFacts(const std::string& FileName);
  void SaveFacts(const std::string& FileName, const std::string& TemplateName);
  bool LoadFacts(const std::string& FileName);
  // Every template's text. Loading clears the whole engine first.
  virtual void SaveFactTemplates(TStream& Stream);
  void SaveFactTemplates(const std::string& FileName);
  virtual bool LoadFactTemplates(TStream& Stream);
  bool LoadFactTemplates(const std::string& FileName);
  // Every rule's text. Loading replaces the rules only.
  virtual void SaveRules(TStream& Stream);
  void SaveRules(const std::string& FileName);
  virtual bool LoadRules(TStream& Stream);
  bool LoadRules(const std::string& FileName);

  // From another engine: clears this one, copies the settings (strategy,
  // salience evaluation, fact duplication, duplicate constructs, type
  // checks, parser settings, watches, reset of globals) and then the
  // deffunctions, templates, engine variables, globals, fact sets, rules
  // and facts. What holds function calls is copied through this engine's
  // parser, so that nothing keeps a pointer to the source engine. Any
  // other source is refused (EConvertError).
  void Assign(const TPersistent* Source) override;
  // The assigning setters of the collections.
  void SetFactTemplates(const TFactTemplates& Value);
  void SetRules(const TRules& Value);
  void SetFacts(const TFacts& Value);
  void SetUserFunctions(const TUserFunctions& Value);

  // The version number of the rule language the "version" function
  // answers; the library's own release is LibraryVersion().
  double GetVersion() const { return Version_; }
  // ---- end of persistence ----

 protected:
  // ---- Rules ----
  // A rule that goes away leaves Rules.
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // ---- end of rules ----

 private:
  // ---- Rules ----
  friend class TRules;
  void CreateRules();
  void DestroyRules();
  // Deletes the rules that have a pattern on Template.
  void RemoveRulesUsing(const IFactTemplate& Template);
  // Frees an engine-owned rule, or marks it to be freed after its firing.
  void DisposeRule(TRule* Rule);
  std::unique_ptr<TRules> Rules_;
  std::unique_ptr<TKbPattern> InitialFactPattern_;
  int32_t NextRuleId_ = 0;
  // ---- end of rules ----

  // ---- Fact base and agenda (engine/DeducerFacts.cpp) ----
  void CreateFactBase();
  void DestroyFactBase();
  // ---- end of fact base and agenda ----

  // ---- Fact templates and fact sets ----
  void CreateFactTemplates();
  void DestroyFactTemplates();
  std::unique_ptr<TFactTemplates> FactTemplates_;
  std::unique_ptr<TFactSets> FactSets_;
  std::vector<TFactTemplate*> OwnedTemplates_;
  int32_t NextFactId_ = 0;
  bool UpdatingHT_ = false;
  // ---- end of fact templates and fact sets ----

  TFunctionPackages Packages_ = AllFunctionPackages;
  double Version_ = 1.1;
  std::unique_ptr<TUserFunctions> UserFunctions_;
  std::unique_ptr<TKbContext> Context_;
  std::unique_ptr<TEngineVariables> Variables_;
  TDuplicateConstructs DuplicateConstructs_ = dcOverwrite;
  int64_t SymbolIndex_ = 0;

  // ---- parsing (engine/DeducerParse.cpp) ----
  std::unique_ptr<TGlobalVariables> GlobalVariables_;
  std::unique_ptr<TKbParser> Parser_;
  TErrorHandling ParserErrorHandling_ = ehRaiseImmediate;
  int32_t ParserMaxErrors_ = 10;
  // ---- end parsing ----

  // ---- The parts, made first (each with the engine) and freed last ----
  std::unique_ptr<TDeducerIO> IO_;
  std::unique_ptr<TDeducerFactBase> FactBase_;
  std::unique_ptr<TDeducerAgenda> Agenda_;
  // ---- end I/O ----
};

// The engine a template, fact set or rule belongs to: every catalog is
// an engine (nullptr for none).
inline TDeducer* EngineOf(TFactCatalog* Catalog) noexcept {
  return static_cast<TDeducer*>(Catalog);
}

// The release of the library linked ("major.minor.patch", as its package
// and the deducer program show it; deducer::LibraryVersion() gives hosts
// the same); DEDUCER_VERSION_STRING in deducer/Version.h is the release of
// the headers compiled.
const char* LibraryVersion() noexcept;

}  // namespace kb
