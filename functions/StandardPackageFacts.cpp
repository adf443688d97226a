// Standard package: the fact and engine commands (assert, retract, modify,
// duplicate, reset, clear, run, watch, fact duplication, backward-chaining
// templates).
#include "engine/Deducer.h"
#include "engine/DeducerComponents.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerJson.h"
#include "functions/StandardPackage.h"
#include "rete/ReteGoals.h"
#include "rete/ReteNetwork.h"

namespace kb {

namespace {

constexpr const char* WatchDescriptionTail =
    "  Watches are like events and force the deducer to output (using OnPrintOut event) "
    "information as they occur\r\n     activations - watch rule activations and "
    "deletions\r\n     facts - watch fact assertions and retractions\r\n     rules - watch rule "
    "additions and removals\r\n     compilations - watch rule compilations\r\n     statistics - "
    "watch execution statistics\r\n";

// The watches a word names; false for a word that names none.
bool WatchesOf(const std::string& Word, TConstructWatches& Out) {
  static const std::pair<const char*, TConstructWatch> words[] = {{"rules", cwRule},
                                                                  {"facts", cwFact},
                                                                  {"activations", cwActivation},
                                                                  {"compilations", cwCompilation},
                                                                  {"statistics", cwStatistics}};
  if (Word == "all") {
    for (const auto& w : words) Out.Include(w.second);
    return true;
  }
  for (const auto& w : words)
    if (Word == w.first) {
      Out.Include(w.second);
      return true;
    }
  return false;
}

// The fact a fact-id value names, or nullptr. Identifiers are 32-bit: a
// larger integer names no fact. A fact address holds its identifier as
// set, in 32 bits.
TFact* FindFact(TDeducer& Engine, const TKbValue& Id) {
  int32_t id;
  if (Id.GetDType() == dtFactId) {
    id = static_cast<int32_t>(Id.IntPayload());
  } else {
    if (Id.GetDType() == dtInteger && (Id.IntPayload() < INT32_MIN || Id.IntPayload() > INT32_MAX))
      return nullptr;
    id = Id.GetAsFactId();
  }
  return Engine.Facts().FindByID(id);
}

// The fact a fact-id argument names; SNoSuchFact when there is none.
IFact FactOf(const TArgs& Args, int I) {
  const IKbValue id = Args.Value(I);
  IFact f(FindFact(Args.Eng(), *id));
  if (!f)
    KbError(SNoSuchFact,
            id->GetDType() == dtInteger ? IntToStr(id->IntPayload()) : IntToStr(id->GetAsFactId()));
  return f;
}

// The slot changes of modify and duplicate, made to Fact (a copy that is
// not in working memory): each further argument is a list of a slot name
// and what was written for it (one value, or a list of several, or
// nothing), evaluated as assert evaluates a slot. Raises before the caller
// changes anything in working memory.
void ChangeSlots(const TArgs& Args, const IFact& Fact) {
  const IFactTemplate& tmpl = Fact->GetTemplate();
  const bool staticChecks = Args.Eng().GetTypeChecks().Contains(tcStatic);
  for (int i = 1; i < Args.Count(); ++i) {
    IValueVector pair = Args.List(i);
    if (pair->Count() == 0) continue;
    IFactSlot slot = tmpl->GetSlot(pair->Get(0)->GetAsString());
    IKbValue written;
    if (pair->Count() == 2) {
      written = pair->Get(1);
    } else {
      // No value, or the values as separate items (a call built by a host).
      IValueVector items = NewVector();
      for (int k = 1; k < pair->Count(); ++k) items->Add(pair->Get(k));
      written = NewList(items);
    }
    // A constant of the wrong type is refused as the parser refuses it in
    // an asserted fact.
    const TKbType type = written ? written->GetDType() : dtNone;
    if (staticChecks && !slot->IsMultiSlot() &&
        (type == dtAtom || type == dtString || type == dtInteger || type == dtFloat) &&
        !slot->GetSlotType().Contains(type))
      KbError(SNotCorrectType, TypeSetText(slot->GetSlotType(), ", "), EnumName(type));
    Fact->SetValue(slot->GetIndex(), Args.Eng().EvaluateSlotValue(*slot, written, Args.Ctx()));
  }
}

// The result of assert, modify and duplicate: the fact id of what the
// engine asserted, or FALSE when it asserted nothing (an equal fact was
// there). The call's reusable value holds it: actions mostly drop it.
[[gnu::always_inline]] inline IKbValue AssertedResult(const TArgs& Args, int32_t ID) {
  if (ID < 0) return FCFalse;
  const IKbValue& v = Args.Call.ReusableResult();
  v->SetAsFactId(ID);
  return v;
}

}  // namespace

KB_FUNCTION(TAssertFunction, "assert", 0, MaxArguments,
            "Asserts or adds each fact argument to the fact list.  The fact index of the last fact "
            "added is returned",
            "assert <fact>*") {
  TDeducer& engine = Args.Eng();
  int32_t last = -1;
  for (int i = 0; i < Args.Count(); ++i) {
    // The fact as written, a constant of the call, is read in place (the
    // call holds it); any other argument's fact is held while its slots
    // are evaluated.
    const TKbValue& arg = *Args.Call.Arguments()[static_cast<size_t>(i)];
    const TFact* written =
        arg.GetDType() == dtFact ? static_cast<const TFact*>(arg.IntfPayload()) : nullptr;
    IFact held;
    if (!written) {
      IKbValue hold;
      held = Args.Peek(i, hold).GetAsFact();
      written = held.get();
    }
    last = engine.Assert(engine.EvaluatedFact(*written, Args.Ctx()));
  }
  return AssertedResult(Args, last);
}

KB_FUNCTION(TAssertStringFunction, "assert-string", 1, MaxArguments,
            "Asserts or adds each string argument as a fact to the fact list.  The fact index of "
            "the last fact added is returned",
            "assert-string <string-expression>*") {
  TDeducer& engine = Args.Eng();
  int32_t last = -1;
  for (int i = 0; i < Args.Count(); ++i) last = engine.Assert(Args.Str(i));
  return NewFactId(last);
}

KB_FUNCTION(TRetractFunction, "retract", 1, MaxArguments,
            "Retracts facts specified by their fact indices from the fact base.  If the only "
            "argument is an asterisk (*), all facts are retracted",
            "retract *|<fact-index>*") {
  TDeducer& engine = Args.Eng();
  // Each argument is read in place while its fact is found, and evaluated
  // only after the facts before it are retracted.
  IKbValue hold;
  const TKbValue& first = Args.Peek(0, hold);
  if (first.GetDType() == dtAtom && first.GetText() == "*") {
    engine.Facts().Clear();
    return FCTrue;
  }
  for (int i = 0; i < Args.Count(); ++i) {
    if (TFact* f = FindFact(engine, i == 0 ? first : Args.Peek(i, hold)))
      engine.RetractFact(IFact(f));
  }
  return FCTrue;
}

KB_FUNCTION(TRetractStringFunction, "retract-string", 0, MaxArguments,
            "Retracts facts that equal the string arguments from the fact base.  If duplicate "
            "facts are allowed, only the first fact that matches the string is retracted",
            "retract-string <fact-string>") {
  TDeducer& engine = Args.Eng();
  for (int i = 0; i < Args.Count(); ++i) engine.Retract(Args.Str(i));
  return FCTrue;
}

KB_FUNCTION(TModifyFunction, "modify", 1, MaxArguments,
            "Modifies the fact specified by the fact index.  It assigns new values to the slots of "
            "the facts.  Note that the fact is retracted and then asserted by this function",
            "modify <fact-index> (<slot-name> <expression>)+") {
  TDeducer& engine = Args.Eng();
  IFact fact = FactOf(Args, 0);
  // Every change is made and checked on a copy first: a modify that fails
  // leaves working memory as it was.
  IFact changed = fact->CloneFact();
  ChangeSlots(Args, changed);
  const IFact before = fact->CloneFact();
  try {
    engine.Retract(fact->GetID());
    // The same object goes back, so that whoever holds it sees the change.
    fact->AssignValues(changed);
    return AssertedResult(Args, engine.Assert(fact));
  } catch (...) {
    // Taking the fact out or putting it back failed on the way (a rule's
    // test or a host's handler raised): the fact returns as it was, so
    // that nothing is lost; the failure is raised all the same.
    if (!engine.Facts().Contains(fact.get())) {
      fact->AssignValues(before);
      try {
        engine.Assert(fact);
      } catch (...) {
      }
    }
    throw;
  }
}

KB_FUNCTION(TDuplicateFunction, "duplicate", 2, MaxArguments,
            "Asserts a duplicated copy of the fact specified by the fact index, with one or more "
            "slot values changed",
            "duplicate <fact-index> (<slot-name> <expression>)*") {
  TDeducer& engine = Args.Eng();
  IFact fact = FactOf(Args, 0)->CloneFact();
  ChangeSlots(Args, fact);
  return AssertedResult(Args, engine.Assert(fact));
}

KB_FUNCTION(TResetFunction, "reset", 0, 0,
            "Resets the deducer.  First, the agenda is cleared, all facts are deleted, and all "
            "global variables are removed.  If the ResetGlobals property of the deducer is true, "
            "the global variables are reset to their initial values.  Any Fact sets available "
            "have their facts asserted.  Finally, the initial fact is asserted to start the whole "
            "inference process over again",
            "reset") {
  Args.Eng().Reset();
  return FCTrue;
}

KB_FUNCTION(TClearFunction, "clear", 0, 0,
            "Clears the deducer of all fact templates, facts, and rules", "clear") {
  Args.Eng().Clear();
  return FCTrue;
}

KB_FUNCTION(TRunFunction, "run", 0, 1,
            "Executes the deducer and returns the number of steps executed.  If the optional "
            "argument is specified, the deducer will execute AT MOST <integer-expression> steps",
            "run [<integer-expression>]") {
  TDeducer& engine = Args.Eng();
  const int32_t fired = Args.Count() > 0 ? engine.Run(Args.Int32Of(Args.Raw(0))) : engine.Run();
  return NewInteger(fired);
}

KB_FUNCTION(TWatchFunction, "watch", 1, 1,
            (std::string("Sets up watches on the specified deducer operations.") +
             WatchDescriptionTail)
                .c_str(),
            "watch all|rules|facts|activations|compilations|statistics") {
  TDeducer& engine = Args.Eng();
  const std::string word = Args.Str(0);
  TConstructWatches w = engine.GetWatch();
  if (!WatchesOf(word, w)) KbError(SCannotWatch, word);
  engine.SetWatch(w);
  return FCTrue;
}

KB_FUNCTION(TUnwatchFunction, "unwatch", 1, 1,
            (std::string("Deletes the watches on the specified deducer operations.") +
             WatchDescriptionTail)
                .c_str(),
            "unwatch all|rules|facts|activations|compilations|statistics") {
  TDeducer& engine = Args.Eng();
  const std::string word = Args.Raw(0)->GetAsString();
  TConstructWatches named;
  if (!WatchesOf(word, named)) KbError(SCannotUnWatch, word);
  TConstructWatches w = engine.GetWatch();
  for (int i = 0; i <= cwStatistics; ++i)
    if (named.Contains(static_cast<TConstructWatch>(i))) w.Exclude(static_cast<TConstructWatch>(i));
  engine.SetWatch(w);
  return FCTrue;
}

KB_FUNCTION(TGetFactDuplicationFunction, "get-fact-duplication", 0, 0,
            "Returns the boolean value for the current state of the fact duplication behavior.  "
            "If this function returns TRUE, duplicate facts may be asserted into the fact list.  "
            "If value is FALSE, duplicate facts are ignored",
            "get-fact-duplication") {
  return BoolValue(Args.Eng().GetFactDuplication());
}

KB_FUNCTION(TSetFactDuplicationFunction, "set-fact-duplication", 1, 1,
            "Sets the fact duplication behavior to the <boolean-expression> and returns the "
            "previous value of the behavior.  If fact duplication is set to TRUE, duplicate facts "
            "may be asserted into the fact list.  If fact duplication is set to FALSE, duplicate "
            "facts are ignored",
            "set-fact-duplication <boolean-expression>") {
  // TRUE (anything but FALSE) lets equal facts be asserted again, as the
  // description says; the answer is the previous setting.
  TDeducer& engine = Args.Eng();
  const bool previous = engine.GetFactDuplication();
  engine.SetFactDuplication(Args.Truth(0));
  return BoolValue(previous);
}

namespace {

// Names no pattern matches as a template: the conditional-element
// keywords, the initial fact and the null fact that stands for negated
// patterns and test elements. Neither can be asked for.
bool IsSpecialCE(std::string_view Name) {
  for (const char* n : {STestCE, "not", "and", "or", "exists", "unique", "explicit",
                        SInitialFactPattern, SNullFact})
    if (Name == n) return true;
  return false;
}

}  // namespace

KB_FUNCTION(TDoBackwardChainingFunction, "do-backward-chaining", 0, MaxArguments,
            "Prepares the deducer for backward chaining on a particular fact template or series "
            "of fact templates.  The command creates backward chaining templates to match the "
            "fact template arguments",
            "do-backward-chaining <fact-template-name>*") {
  TDeducer& engine = Args.Eng();
  for (int i = 0; i < Args.Count(); ++i) {
    const std::string name = Args.Str(i);
    if (IsSpecialCE(name)) KbError(SBackChainCE, name);
    IFactTemplate tmpl = engine.FindFactTemplate(name);
    if (!tmpl) tmpl = engine.CreateFactTemplate(name);
    PrepareBackwardChaining(engine, tmpl);
  }
  return FCTrue;
}

// ------------------------------------------------ files, batch, version

KB_FUNCTION(TLoadFunction, "load", 1, 1, "Loads the specified file into the deducer",
            "load <filename>") {
  const std::string fileName = Args.Str(0);
  Args.Eng().LoadFromFile(fileName);
  return FCTrue;
}

KB_FUNCTION(TSaveFunction, "save", 1, 1,
            "Saves the expert system to the file specified by <filename>.  This includes fact "
            "templates, facts, fact sets, rules and deffunctions",
            "save <filename>") {
  const std::string fileName = Args.Str(0);
  Args.Eng().SaveToFile(fileName);
  return FCTrue;
}

KB_FUNCTION(TLoadFactsFunction, "load-facts", 1, 1,
            "Loads the facts contained in the file specified by the <filename> argument",
            "load-facts <filename>") {
  const std::string fileName = Args.Str(0);
  Args.Eng().LoadFacts(fileName);
  return FCTrue;
}

KB_FUNCTION(TSaveFactsFunction, "save-facts", 1, MaxArguments,
            "Saves the facts in the fact base to the file specified by <filename>.  The optional "
            "arguments name the fact templates whose facts are saved; without them, all facts are "
            "saved",
            "save-facts <file-name> [<fact-template-name>+]") {
  TDeducer& engine = Args.Eng();
  const std::string fileName = Args.Str(0);
  if (Args.Count() == 1) {
    engine.SaveFacts(fileName);
    return FCTrue;
  }
  // The whole text first: a bad argument must not leave a truncated file.
  TMemoryStream text;
  for (int i = 1; i < Args.Count(); ++i) engine.SaveFacts(text, Args.Str(i));
  TFileStream file(fileName, fmCreate);
  file.WriteString(text.DataString());
  file.Close();
  return FCTrue;
}

KB_FUNCTION(TLoadFactsJsonFunction, "load-facts-json", 1, 1,
            "Asserts the facts of the JSON file specified by <filename>; nothing is asserted when "
            "any of them is malformed",
            "load-facts-json <filename>") {
  const std::string fileName = Args.Str(0);
  LoadFactsJsonFile(Args.Eng(), fileName);
  return FCTrue;
}

KB_FUNCTION(TSaveFactsJsonFunction, "save-facts-json", 1, 1,
            "Saves the facts in the fact base to the file specified by <filename> as JSON",
            "save-facts-json <filename>") {
  const std::string fileName = Args.Str(0);
  SaveFactsJson(Args.Eng(), fileName);
  return FCTrue;
}

KB_FUNCTION(TSaveComponentFunction, "save-component", 1, 1,
            "Saves the deducer (its settings, constructs, facts, fact sets and host packages) to "
            "the component file specified by <filename>",
            "save-component <filename>") {
  const std::string fileName = Args.Str(0);
  SaveComponentFile(Args.Eng(), fileName);
  return FCTrue;
}

KB_FUNCTION(TLoadComponentFunction, "load-component", 1, 1,
            "Replaces the deducer's settings, constructs and facts with those of the component "
            "file specified by <filename>; nothing changes when the file cannot be read",
            "load-component <filename>") {
  const std::string fileName = Args.Str(0);
  LoadComponentFile(Args.Eng(), fileName);
  return FCTrue;
}

KB_FUNCTION(TBatchFunction, "batch", 1, 1,
            "Allows batch processing of interactive commands by replacing standard input with the "
            "contents of <filename>.  Returns TRUE if the file was successfully executed, FALSE "
            "otherwise",
            "batch <filename>") {
  const std::string fileName = Args.Str(0);
  return BoolValue(Args.Eng().Batch(fileName));
}

KB_FUNCTION(TVersionFunction, "version", 0, 0,
            "Returns a floating point number for the deducer version being executed", "version") {
  return NewFloat(Args.Eng().GetVersion());
}

}  // namespace kb
