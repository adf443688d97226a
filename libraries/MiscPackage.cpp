#include "libraries/MiscPackage.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "core/KbDialogs.h"
#include "core/KbHelperFunctions.h"
#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerFunctions.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "rete/KbRule.h"

namespace kb {

namespace {

// Prints Lines, each ended by a line break, then the total line "<Total
// prefix> N <noun>." in one PrintOut call. Lines are sorted first when
// Sort is true (byte order, so that the listing is the same on every run).
void PrintListing(TDeducer& Engine, const std::string& OutID, std::vector<std::string> Lines,
                  std::string_view TotalPrefix, std::string_view Noun, bool Sort = true) {
  if (Sort) std::sort(Lines.begin(), Lines.end());
  std::string text;
  for (const std::string& line : Lines) {
    text += line;
    text += NewLineString;
  }
  text += TotalPrefix;
  text += IntToStr(static_cast<int64_t>(Lines.size()));
  text += ' ';
  text += Noun;
  text += '.';
  text += NewLineString;
  Engine.PrintOut(OutID, text);
}

// Whether an evaluated argument is the symbol TRUE.
bool IsTrue(const IKbValue& Value) { return Value && Value->Equals(FCTrue); }

// Adds or removes one type check through the engine's setter; returns the
// old state as the getters give it.
IKbValue SetTypeCheck(const TArgs& Args, TTypeCheck Check) {
  TDeducer& engine = Args.Eng();
  const IKbValue value = Args.Eval(0);
  TTypeChecks checks = engine.GetTypeChecks();
  const IKbValue& old = BoolValue(checks.Contains(Check));
  if (IsTrue(value))
    checks.Include(Check);
  else
    checks.Exclude(Check);
  engine.SetTypeChecks(checks);
  return old;
}

}  // namespace

// ------------------------------------------------------------------- time

KB_FUNCTION(TTimeFunction, "time", 0, 0,
            "Returns the time in seconds since the beginning of the day", "time") {
  using namespace std::chrono;
  const system_clock::time_point now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const double fraction = duration<double>(now - system_clock::from_time_t(seconds)).count();
  return NewFloat(local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction);
}

// --------------------------------------------------------------- listings

KB_FUNCTION(TAgendaFunction, "agenda", 0, 0, "Displays the rule activations on the agenda",
            "agenda") {
  TDeducer& engine = Args.Eng();
  std::vector<std::string> lines;
  const int count = engine.GetAgendaCount();
  lines.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) lines.push_back(engine.GetActivationText(i));
  // In firing order: sorted by name, the listing would hide which rule
  // fires next.
  PrintListing(engine, std::string(), std::move(lines), "for a total of ", "activations", false);
  return FCNil;
}

KB_FUNCTION(TShowFactsFunction, "facts", 0, 3,
            "Displays the facts in the fact list.  Facts with fact indices less than "
            "<start-integer-expression> or greater than <end-integer-expression> are not "
            "displayed.  <max-integer-expression> controls the maximum number of facts that will "
            "be listed",
            "facts [<start-integer-expression> [<end-integer-expression> "
            "[<max-integer-expression>]]]") {
  TDeducer& engine = Args.Eng();
  // The bounds are read as written, not evaluated.
  const int64_t start = Args.Count() > 0 ? Args.IntOf(Args.Raw(0)) : INT64_MIN;
  const int64_t end = Args.Count() > 1 ? Args.IntOf(Args.Raw(1)) : INT64_MAX;
  const int64_t max = Args.Count() > 2 ? Args.IntOf(Args.Raw(2)) : INT64_MAX;
  std::vector<std::string> lines;
  for (const IFact& f : engine.Facts().Snapshot()) {
    if (static_cast<int64_t>(lines.size()) >= max) break;
    if (f->GetID() < start || f->GetID() > end) continue;
    lines.push_back(f->GetToIDString());
  }
  PrintListing(engine, std::string(), std::move(lines), "For a total of ", "facts");
  return FCTrue;
}

KB_FUNCTION(TListRulesFunction, "list-defrules", 0, 0, "Displays the rules defined in the deducer",
            "list-defrules") {
  TDeducer& engine = Args.Eng();
  std::vector<std::string> names;
  for (const auto& entry : engine.Rules().Entries()) names.push_back(entry.first);
  PrintListing(engine, std::string(), std::move(names), "for a total of ", "rules");
  return FCNil;
}

KB_FUNCTION(TListFactSetsFunction, "list-deffacts", 0, 0,
            "Displays the fact sets defined in the deducer", "list-deffacts") {
  TDeducer& engine = Args.Eng();
  std::vector<std::string> names;
  for (TFactSet* set : engine.FactSets().Items()) names.push_back(set->GetFactSetName());
  PrintListing(engine, std::string(), std::move(names), "for a total of ", "deffacts");
  return FCNil;
}

KB_FUNCTION(TListFunctionsFunction, "list-deffunctions", 0, 0,
            "Displays the functions available in the deducer.  See the ppdeffunction command to "
            "display help about a function",
            "list-deffunctions") {
  TDeducer& engine = Args.Eng();
  PrintListing(engine, std::string(), engine.UserFunctions().Names(), "for a total of ",
               "deffunctions");
  return FCNil;
}

KB_FUNCTION(TListTemplatesFunction, "list-deftemplates", 0, 0,
            "Displays the fact templates defined in the deducer", "list-deftemplates") {
  TDeducer& engine = Args.Eng();
  std::vector<std::string> names;
  for (const auto& entry : engine.FactTemplates().Entries()) names.push_back(entry.first);
  PrintListing(engine, std::string(), std::move(names), "for a total of ", "deftemplates");
  return FCNil;
}

KB_FUNCTION(TShowRulesFunction, "rules", 0, 1,
            "Displays the rules in the rule base.  <logical-name> specifies the optional logical "
            "output device to direct the display to",
            "rules [<logical-name>]") {
  TDeducer& engine = Args.Eng();
  const std::string outID = Args.Count() > 0 ? Args.Str(0) : std::string();
  std::vector<std::string> texts;
  for (const auto& entry : engine.Rules().Entries()) texts.push_back(entry.second->GetToString());
  PrintListing(engine, outID, std::move(texts), "For a total of ", "rules");
  return FCTrue;
}

// --------------------------------------------------------------- settings

KB_FUNCTION(TResetGlobalsFunction, "set-reset-globals", 0, 1,
            "Sets and displays the ResetGlobals property of the deducer",
            "set-reset-globals [<boolean-expression>]") {
  TDeducer& engine = Args.Eng();
  if (Args.Count() == 0) return BoolValue(engine.GetResetGlobals());
  IKbValue value = Args.Eval(0);
  engine.SetResetGlobals(IsTrue(value));
  return value ? value : FCNil;
}

KB_FUNCTION(TSetGenFunction, "setgen", 1, 1,
            "Sets the sequence index used by the gensym and gensym* functions",
            "setgen <integer-expression>") {
  TDeducer& engine = Args.Eng();
  const int64_t value = Args.Int(0);
  // The counter never goes down: the answer is where it stands now, and
  // the counter must still be able to advance past it (checked before
  // anything changes).
  if (value == INT64_MAX || engine.GetSymbolIndex() == INT64_MAX)
    KbError(SIntegerOverflow, Args.Name());
  engine.SetSymbolIndex(value);
  return NewInteger(engine.GetSymbolIndex());
}

KB_FUNCTION(TGetDynamicCheckFunction, "get-dynamic-constraint-checking", 0, 0,
            "Returns the current value of the dynamic constraint checking behavior",
            "get-dynamic-constraint-checking") {
  return BoolValue(Args.Eng().GetTypeChecks().Contains(tcDynamic));
}

KB_FUNCTION(TGetStaticCheckFunction, "get-static-constraint-checking", 0, 0,
            "Returns the current value of the static constraint checking behavior",
            "get-static-constraint-checking") {
  return BoolValue(Args.Eng().GetTypeChecks().Contains(tcStatic));
}

KB_FUNCTION(TSetDynamicCheckFunction, "set-dynamic-constraint-checking", 1, 1,
            "Sets the dynamic constraint checking behavior.  The old behavior value is returned",
            "set-dynamic-constraint-checking <boolean-expression>") {
  return SetTypeCheck(Args, tcDynamic);
}

KB_FUNCTION(TSetStaticCheckFunction, "set-static-constraint-checking", 1, 1,
            "Sets the static constraint checking behavior.  The old behavior value is returned",
            "set-static-constraint-checking <boolean-expression>") {
  return SetTypeCheck(Args, tcStatic);
}

// --------------------------------------------------------------- deleting

KB_FUNCTION(TUnDefRuleFunction, "undefrule", 1, 1, "Deletes the specified rule from the rule base",
            "undefrule <rule-name>") {
  TDeducer& engine = Args.Eng();
  const std::string name = Args.Str(0);
  if (!engine.Rules().Contains(name)) return FCFalse;
  engine.Rules().Remove(name);
  return FCTrue;
}

KB_FUNCTION(TUnDefFactsFunction, "undeffacts", 1, 1,
            "Deletes the specified fact set from the deducer", "undeffacts <fact-set-name>") {
  TDeducer& engine = Args.Eng();
  const std::string name = Args.Str(0);
  const int i = engine.FactSets().IndexOf(name);
  if (i < 0) return FCFalse;
  TFactSet* set = engine.FactSets().GetItem(i);
  // A fact set of the engine goes; one a host owns only leaves the list.
  if (set->GetOwner() == &engine)
    delete set;
  else
    engine.FactSets().Remove(set);
  return FCTrue;
}

KB_FUNCTION(TUnDefFunctionFunction, "undeffunction", 1, 1,
            "Deletes the specified function from the deducer", "undeffunction <function-name>") {
  TDeducer& engine = Args.Eng();
  const std::string name = Args.Str(0);
  // The call holds its function, so a function may delete itself.
  if (!engine.UserFunctions().Remove(name)) return FCFalse;
  return FCTrue;
}

KB_FUNCTION(TUnDefTemplateFunction, "undeftemplate", 1, 1,
            "Deletes the specified fact template (and dependent facts and rules) from the "
            "deducer",
            "undeftemplate <fact-template-name>") {
  TDeducer& engine = Args.Eng();
  const std::string name = Args.Str(0);
  if (!engine.FactTemplates().Contains(name)) return FCFalse;
  engine.FactTemplates().Remove(name);
  return FCTrue;
}

// ---------------------------------------------------------------- dialogs

namespace {

// The first N of up to three evaluated arguments as texts (caption,
// prompt, default); the missing ones are empty.
struct TInputTexts {
  std::string Caption, Prompt, Default;
  explicit TInputTexts(const TArgs& Args) {
    std::string* texts[] = {&Caption, &Prompt, &Default};
    for (int i = 0; i < Args.Count(); ++i) *texts[i] = Args.Str(i);
  }
};

TMsgDlgType DialogType(const IKbValue& Value) {
  const std::string name = Value->GetAsString();
  const int type = EnumInfo<TMsgDlgType>().Find(name);
  if (type < 0) throw EConvertError(Format(SInvalidDialogType, name));
  return static_cast<TMsgDlgType>(type);
}

// A set of buttons written as a set ("[mbYes,mbNo]", mbOK) or given as a
// multifield of such texts.
TMsgDlgButtons DialogButtons(const IKbValue& Value) {
  TMsgDlgButtons buttons;
  auto add = [&](std::string_view Name) {
    const int button = EnumInfo<TMsgDlgBtn>().Find(Name);
    if (button < 0) throw EConvertError(Format(SInvalidDialogButton, Name));
    buttons.Include(static_cast<TMsgDlgBtn>(button));
  };
  if (Value->GetDType() == dtList) {
    for (const IKbValue& item : *Value->ListPtr())
      if (item) ForEachSetItem(Trim(item->GetAsString()), add);
  } else {
    ForEachSetItem(Trim(Value->GetAsString()), add);
  }
  return buttons;
}

}  // namespace

KB_FUNCTION(TInputBoxFunction, "input-box", 0, 3,
            "Displays an input dialog box that enables the user to enter a string and returns "
            "the string (or <default-string> if user cancelled)",
            "input-box [<caption-string> [<prompt-string> [<default-string>]]]") {
  const TInputTexts texts(Args);
  return NewString(Args.Eng().GetDialogs().InputBox(texts.Caption, texts.Prompt, texts.Default));
}

KB_FUNCTION(TInputQueryFunction, "input-query", 0, 3,
            "Displays an input dialog box that enables the user to enter a string.  The string "
            "value entered by the user is returned if the user clicks OK, otherwise FALSE is "
            "returned",
            "input-query [<caption-string> [<prompt-string> [<default-string>]]]") {
  const TInputTexts texts(Args);
  std::string value = texts.Default;
  if (!Args.Eng().GetDialogs().InputQuery(texts.Caption, texts.Prompt, value)) return FCFalse;
  return NewString(value);
}

KB_FUNCTION(TMessageDlgFunction, "message-dlg", 2, 4,
            "Displays a message box of the given type with the given set of buttons (OK when "
            "none is given) and returns the name of the button pressed: mrOk, mrCancel, mrAbort, "
            "mrRetry, mrIgnore, mrYes, mrNo, mrAll, mrNoToAll, mrYesToAll or mrHelp",
            "message-dlg <string-expression> "
            "mtWarning|mtError|mtInformation|mtConfirmation|mtCustom "
            "<string-set-expression> [<integer-expression>]") {
  const std::string message = Args.Str(0);
  const TMsgDlgType type = DialogType(Args.Value(1));
  // Without a button set the dialog has an OK button, as show-message has.
  const TMsgDlgButtons buttons =
      Args.Count() > 2 ? DialogButtons(Args.Value(2)) : TMsgDlgButtons{mbOK};
  const int32_t helpContext = Args.Count() > 3 ? Args.Int32(3) : 0;
  const TModalResult result =
      Args.Eng().GetDialogs().MessageDlg(message, type, buttons, helpContext);
  return NewString(ModalResultName(result));
}

KB_FUNCTION(TShowMessageFunction, "show-message", 1, 1, "Displays a message box with an OK button",
            "show-message <string-expression>") {
  const std::string message = Args.Str(0);
  Args.Eng().GetDialogs().ShowMessage(message);
  return FCTrue;
}

// ------------------------------------------------------- pretty printing

KB_REGISTER_FUNCTION(TPrettyPrintFunction);

TPrettyPrintFunction::TPrettyPrintFunction(const std::string& Name, const char* Description,
                                           const char* Syntax)
    : TKbUserFunction(Name) {
  SetMinArgumentCount(1);
  SetMaxArgumentCount(1);
  SetComment(FunctionComment(Description, Syntax));
}

void TPrettyPrintFunction::Call(TFunctionCall& FunCall, TKbContext* Context, IKbValue& Result) {
  TKbUserFunction::Call(FunCall, Context, Result);
  const TArgs args(FunCall, Context);
  TDeducer& engine = args.Eng();
  // The name as written: (ppdefrule my-rule) needs no quotes.
  const std::string name = args.Raw(0)->GetAsString();
  const std::string& kind = GetFunctionName();
  std::string text;
  if (kind == "ppdefrule") {
    const TRule* rule = engine.Rules().Get(name);
    if (!rule) KbError(SUnknownName, "rule", name);
    text = rule->GetToString();
  } else if (kind == "ppdeftemplate") {
    const IFactTemplate t = engine.FindFactTemplate(name);
    if (!t) KbError(SUnknownName, "fact template", name);
    text = t->GetToString();
  } else if (kind == "ppdeffunction") {
    const IUserFunction f = engine.GetUserFunction(name);
    if (!f) KbError(SUnknownName, "user function", name);
    text = engine.PrettyPrint(f);
  } else if (kind == "ppdeffacts") {
    const int i = engine.FactSets().IndexOf(name);
    if (i < 0) KbError(SUnknownName, "fact set", name);
    text = engine.FactSets().GetItem(i)->GetToString();
  } else {
    KbError(SNoSuchFunction, kind);
  }
  // Some texts end with their own line break; none gets a second one.
  if (text.size() < 2 || text.compare(text.size() - 2, 2, NewLineString) != 0)
    text += NewLineString;
  engine.PrintOut(text);
  Result = FCNil;
}

// ------------------------------------------------------------ the package

KB_REGISTER_PACKAGE(TMiscPackage);

TMiscPackage::TMiscPackage(TComponent* AOwner) : TUserPackage(AOwner) { AfterConstruction(); }

void TMiscPackage::CreateFunctions() {
  TUserPackage::CreateFunctions();
  // The package's table, in order.
  RegisterClasses({
      "TTimeFunction",           // time
      "TAgendaFunction",         // agenda
      "TListRulesFunction",      // list-defrules
      "TListFactSetsFunction",   // list-deffacts
      "TListFunctionsFunction",  // list-deffunctions
      "TListTemplatesFunction",  // list-deftemplates
      "TResetGlobalsFunction",   // set-reset-globals
      "TSetGenFunction",         // setgen
      "TShowFactsFunction",      // facts
      "TShowRulesFunction",      // rules
  });
  static const struct {
    const char* Name;
    const char* Description;
    const char* Syntax;
  } printers[] = {
      {"ppdeffacts",
       "Displays a formatted representation of the fact set specified by the name, which is "
       "suitable for parsing",
       "ppdeffacts <fact-set-name>"},
      {"ppdeffunction",
       "Displays a formatted representation of the function specified by the name, which is "
       "suitable for parsing.  See the list-deffunctions command to get a list of all the "
       "functions available",
       "ppdeffunction <function-name>"},
      {"ppdeftemplate",
       "Displays a formatted representation of the fact template specified by the name, which "
       "is suitable for parsing",
       "ppdeftemplate <fact-template-name>"},
      {"ppdefrule",
       "Displays a formatted representation of the rule specified by the name, which is "
       "suitable for parsing",
       "ppdefrule <rule-name>"},
  };
  for (const auto& p : printers)
    GetFunctions().Add(IUserFunction(new TPrettyPrintFunction(p.Name, p.Description, p.Syntax)));
  RegisterClasses({
      "TUnDefRuleFunction",        // undefrule
      "TUnDefFactsFunction",       // undeffacts
      "TUnDefFunctionFunction",    // undeffunction
      "TUnDefTemplateFunction",    // undeftemplate
      "TGetDynamicCheckFunction",  // get-dynamic-constraint-checking
      "TGetStaticCheckFunction",   // get-static-constraint-checking
      "TSetDynamicCheckFunction",  // set-dynamic-constraint-checking
      "TSetStaticCheckFunction",   // set-static-constraint-checking
      "TInputBoxFunction",         // input-box
      "TInputQueryFunction",       // input-query
      "TMessageDlgFunction",       // message-dlg
      "TShowMessageFunction",      // show-message
  });
}

}  // namespace kb
