// The engine component.
//
// A TDeducer owns one knowledge base. It is the entry point for host
// operations and the reasoner through which functions and packages reach
// the engine, and it is a facade: each of its parts owns its state and its
// helpers in a unit of its own, and the engine's members of that part
// forward to it.
//   I/O: print-out, input, capture, batches, watches    TDeducerIO (engine/DeducerIO.h)
//   parsing: the parser, its settings, the globals      TDeducerParsing (engine/DeducerParse.h)
//   fact templates and fact sets                        TDeducerTemplates
//   (engine/DeducerTemplates.h) fact base: working memory, the network, pending TDeducerFactBase
//   (engine/DeducerFacts.h) agenda and run loop                                 TDeducerAgenda
//   (engine/DeducerAgenda.h) rules                                               TDeducerRules
//   (engine/DeducerRules.h) persistence: text, save, load, copy engine/DeducerPersistence.cpp
// The engine keeps what every part shares: the user functions, the engine
// variables, the root evaluation context, the packages, the symbol counter
// and the events. A caller includes the header of each part it uses.
//
// Destruction: the engine first unassigns its event handlers (no event
// reaches the host during teardown) and withdraws itself from every
// function and package, so no function keeps a pointer to a dead engine;
// then it frees its collections and finally its owned components.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/KbConsts.h"
#include "core/KbFunctions.h"
#include "core/KbInterfaces.h"
#include "framework/Classes.h"
#include "framework/Streams.h"
#include "parser/KbParserHost.h"
#include "rete/KbRuleCatalog.h"

namespace kb {

class IKbDialogs;
class TActivation;
class TDeducer;
class TDeducerAgenda;
class TDeducerFactBase;
class TDeducerIO;
class TDeducerParsing;
class TDeducerRules;
class TDeducerTemplates;
class TEngineVariables;
class TFacts;
class TFactSet;
class TFactSets;
class TFactSlot;
class TFactTemplate;
class TFactTemplates;
class TGlobalVariables;
class TGTextStream;
class TIOStreams;
class TKbContext;
class TKbParser;
class TKbPattern;
class TKbTokenizerStream;
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
  // IParserHost (engine/DeducerParse.cpp; the loader, Load and RunCall, in
  // engine/DeducerLoader.cpp): what the parser reads goes into this
  // engine's tables.
  TComponent* ParsedOwner() noexcept override { return this; }
  IReasoner* ParsedReasoner() noexcept override { return this; }
  TKbContext* ParseContext() override { return GetContext(); }
  std::string ParsedSymbol(const std::string& Prefix) override { return GenerateSymbol(Prefix); }
  IFactTemplate ParsedTemplate(std::string_view Name) override;
  IFactTemplate ImpliedTemplate(const std::string& Name) override;
  void WithdrawFactSet(TFactSet* FactSet) override;
  TLoadedItem Load(TParsedItem& Item) override;
  IKbValue RunCall(const IFunCall& Call) override;
  void AssertRead(const IFact& Fact) override;
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
  virtual bool StartCapture(std::unique_ptr<TStream> Stream);  // true
  // Captures into a new (or truncated) file; false, changing nothing, when
  // the file cannot be created.
  bool StartCapture(const std::string& FileName);
  bool StopCapture();
  TStream* GetCaptureStream() const;
  virtual bool Batch(TStream& Stream);  // true
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
  TGlobalVariables& GlobalVariables();
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

  TErrorHandling GetParserErrorHandling() const;
  void SetParserErrorHandling(TErrorHandling Value);
  int32_t GetParserMaxErrors() const;
  void SetParserMaxErrors(int32_t Value);

  std::string PrettyPrint(const std::string& Name, const IKbValue& Value);
  std::string PrettyPrintGlobalVariables();

  // ---- Fact templates and fact sets: TDeducerTemplates
  // (engine/DeducerTemplates.h) says what each does.
  TFactTemplates& FactTemplates();
  TFactSets& FactSets();
  IFactTemplate CreateFactTemplate(const std::string& Name) override;
  void AddFactTemplate(const IFactTemplate& Template) final;
  IFactTemplate FindFactTemplate(std::string_view Name) const final;
  void ChangeFactTemplateName(const std::string& OldName, const std::string& NewName) override;
  void FactTemplateLineageChanged() final;
  // Removes what depends on a template that leaves the engine (its facts,
  // the rules using it, the fact sets' facts read against it); without
  // argument, on every template.
  virtual void RemoveTemplateDependencies(const IFactTemplate& Template);
  virtual void RemoveTemplateDependencies();
  bool GetUpdatingHT() const;
  void SetUpdatingHT(bool Value);
  void SetTypeChecks(TTypeChecks Value);
  // Creates (when missing) the templates "Initial-Fact" and
  // "__NOT-OR-TEST-CE*" and a new null fact, as construction does; Clear
  // calls it after emptying the templates.
  void CreateImpliedTemplates();
  void ReleaseNullFact();
  // Fact identifiers: see TDeducerFactBase.
  int32_t NewFactId();
  int32_t GetNextFactId() const final;
  void SetNextFactId(int32_t Value);

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
  IKbValue CopyValue(const IKbValue& Value) final;
  IFactTemplate TemplateOf(const IFactTemplate& Template) final;

  TFactTemplateEvent OnNewFactTemplate;
  TFactTemplateEvent OnRemoveFactTemplate;
  std::function<void(TDeducer* Sender)> OnClearFactTemplates;

  void AttachTemplate(TFactTemplate* Template) final;
  void DetachTemplate(TFactTemplate* Template) final;

  // ---- Rules: TDeducerRules (engine/DeducerRules.h) says what each does.
  TRules& Rules();
  int32_t NewRuleId() final;
  int32_t GetNextRuleId() const;
  void SetNextRuleId(int32_t Value);
  TKbPattern& InitialFactPattern() final;
  void RuleChange(TRule* Rule) override;
  void RenameRule(const std::string& OldName, const std::string& NewName) override;
  virtual void DeleteRule(TRule* Rule);
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

  // ---- Fact base: TDeducerFactBase (engine/DeducerFacts.h) says what each
  // does. The inline ones, on the path of every call of "assert" and
  // "retract", are defined there.
  inline TFacts& Facts();
  TReteNetwork& ReteNetwork();
  virtual int32_t Assert(const IFact& Fact);
  // Parses Text (one fact) and asserts it as AssertParsed does.
  int32_t Assert(const std::string& Text);
  IKbValue EvaluateSlotValue(const TFactSlot& Slot, const IKbValue& Written, TKbContext& Context);
  inline IFact EvaluatedFact(const TFact& Written, TKbContext& Context);
  // EvaluatedFact in place. REQUIRES: Fact is nobody else's.
  void EvaluateFact(TFact& Fact, TKbContext& Context);
  int32_t AssertParsed(const IFact& Fact);
  // Retracts the fact at Index of Facts (EListError for a bad index).
  virtual void RetractFact(int Index);
  inline void RetractFact(const IFact& Fact);
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

  // ---- Persistence: TDeducerPersistence (engine/DeducerPersistence.h)
  // says what each does; a file variant is the stream variant over the file
  // (EFileError when it cannot be opened or written).
  virtual std::string GetExpertSystem();
  virtual void SetExpertSystem(const std::string& Text);
  virtual void SaveToStream(TStream& Stream);
  void SaveToFile(const std::string& FileName);
  virtual bool LoadFromStream(TStream& Stream);
  bool LoadFromFile(const std::string& FileName);
  virtual void SaveFacts(TStream& Stream);
  virtual void SaveFacts(TStream& Stream, const std::string& TemplateName);
  void SaveFacts(const std::string& FileName);
  void SaveFacts(const std::string& FileName, const std::string& TemplateName);
  bool LoadFacts(const std::string& FileName);
  virtual void SaveFactTemplates(TStream& Stream);
  void SaveFactTemplates(const std::string& FileName);
  virtual bool LoadFactTemplates(TStream& Stream);
  bool LoadFactTemplates(const std::string& FileName);
  virtual void SaveRules(TStream& Stream);
  void SaveRules(const std::string& FileName);
  virtual bool LoadRules(TStream& Stream);
  bool LoadRules(const std::string& FileName);
  // From another engine (TDeducerPersistence::Assign); any other source is
  // refused (EConvertError).
  void Assign(const TPersistent* Source) override;
  // The assigning setters of the collections.
  void SetFactTemplates(const TFactTemplates& Value);
  void SetRules(const TRules& Value);
  void SetFacts(const TFacts& Value);
  void SetUserFunctions(const TUserFunctions& Value);

  // The version number of the rule language the "version" function
  // answers; the library's own release is LibraryVersion().
  double GetVersion() const { return Version_; }

 protected:
  // A rule that goes away leaves Rules.
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  // The engine's own units reach its parts.
  friend class TDeducerRules;
  friend class TRules;
  void CreateRules();
  void DestroyRules();
  void CreateFactBase();
  void DestroyFactBase();
  void CreateFactTemplates();
  void DestroyFactTemplates();

  // The parts, declared first: made first (each with the engine, before
  // the engine's own state) and freed last.
  std::unique_ptr<TDeducerIO> IO_;
  std::unique_ptr<TDeducerParsing> Parsing_;
  std::unique_ptr<TDeducerTemplates> Templates_;
  std::unique_ptr<TDeducerFactBase> FactBase_;
  std::unique_ptr<TDeducerAgenda> Agenda_;
  std::unique_ptr<TDeducerRules> Rules_;

  // The engine's own state: what every part shares.
  TFunctionPackages Packages_ = AllFunctionPackages;
  double Version_ = 1.1;
  std::unique_ptr<TUserFunctions> UserFunctions_;
  std::unique_ptr<TKbContext> Context_;
  std::unique_ptr<TEngineVariables> Variables_;
  TDuplicateConstructs DuplicateConstructs_ = dcOverwrite;
  int64_t SymbolIndex_ = 0;
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
