// The engine's persistence: the whole-system text, saving and loading
// facts, templates, rules and whole knowledge bases through streams and
// files, and copying one engine's knowledge base into another (Assign).
#include "engine/DeducerPersistence.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerFunctions.h"
#include "engine/DeducerParse.h"
#include "engine/DeducerParseText.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerSaveText.h"
#include "engine/DeducerTemplates.h"
#include "parser/KbClipsParser.h"
#include "rete/KbRule.h"
#include "rete/ReteGoals.h"
#include "rete/ReteNetwork.h"

namespace kb {

namespace {

// The rule line that opens every section of the whole-system text.
constexpr const char* SSectionLine = "; *************************";

// Writes Text as the new content of FileName. The text is complete before
// the file is touched, and buffered data is flushed so that a write error
// raises instead of passing for a saved file.
void WriteFile(const std::string& FileName, const std::string& Text) {
  TFileStream file(FileName, fmCreate);
  file.WriteString(Text);
  file.Flush();
}

// Appends a section header: a line break (except before the first), the
// rule line, the title line and, when BlankLine, an empty line.
void AppendSection(std::string& Out, const char* Title, bool BlankLine) {
  if (!Out.empty()) Out += NewLineString;
  Out += SSectionLine;
  Out += NewLineString;
  Out += Title;
  Out += NewLineString;
  if (BlankLine) Out += NewLineString;
}

// The facts' text, one per line, of the saved facts Keep accepts.
std::string FactsText(TDeducer& Engine, const std::function<bool(const IFact&)>& Keep) {
  std::string r;
  for (const IFact& f : SavedFacts(Engine)) {
    if (!Keep(f)) continue;
    r += f->GetToString();
    r += NewLineString;
  }
  return r;
}

// The templates' text, each followed by a line break, parents first; then
// the call that marks those marked for backward chaining.
std::string TemplatesText(const TFactTemplates& Templates) {
  std::string r = Templates.GetToString();
  std::string marked = BackwardChainingText(Templates);
  if (!marked.empty()) {
    r += marked;
    r += NewLineString;
  }
  return r;
}

// The globals made by bind without a defglobal: the root context's
// bindings named as globals are, that no defglobal defines. Saved as bind
// calls, so that rules and functions that read them find them again.
std::vector<std::pair<std::string, IKbValue>> BoundGlobals(TDeducer& Engine) {
  std::vector<std::pair<std::string, IKbValue>> r;
  const TBindings& root = Engine.GetContext()->GetBindings();
  for (int i = 0; i < root.Count(); ++i) {
    const TBinding& b = *root.At(i);
    const std::string& name = b.GetName();
    if (name.empty() || name.front() != '*' || name.back() != '*') continue;
    if (Engine.GlobalVariables().Contains(name)) continue;
    r.emplace_back(name, b.GetValue());
  }
  return r;
}

// What the saved text would not read back as is refused before anything is
// written (SCannotSave, naming the construct or fact and the reason):
// values whose text reads back as something else (fact addresses, objects,
// symbols that read as numbers, variables or nil, floats that are not
// finite, calls and multifields where one value stands), names that are
// not plain symbols, and facts and constructs made on a template that has
// been defined again since.
class TSaveCheck {
 public:
  explicit TSaveCheck(TDeducer& Engine)
      : Engine_(Engine), Typed_(Engine.GetTypeChecks().Contains(tcStatic)) {}

  void Templates() {
    for (const IFactTemplate& t : Engine_.FactTemplates().InParentOrder()) {
      Subject("fact template", t->GetTemplateName());
      Name(t->GetTemplateName());
      for (const IFactSlot& s : t->GetSlots()) Slot(*s);
      Parent(*t);
    }
  }

  void Facts(const std::function<bool(const IFact&)>& Keep) {
    for (const IFact& f : SavedFacts(Engine_)) {
      if (!Keep(f)) continue;
      Subject("fact", "f-" + IntToStr(f->GetID()));
      Fact(*f, true);
    }
  }

  void Rules() {
    for (const auto& [name, rule] : Engine_.Rules().Entries()) {
      Subject("rule", name);
      Name(name);
      for (const IFunCall& a : rule->GetActions()) Call(*a);
    }
  }

  void Functions() {
    for (const auto& [name, f] : Engine_.UserFunctions().Entries()) {
      auto deffunction = RefCast<TInterpretedFunction>(f);
      if (!deffunction) continue;
      Subject("deffunction", name);
      Name(name);
      for (const IKbValue& a : *deffunction->GetArguments()) Expression(a);
      for (const IKbValue& s : *deffunction->GetStatements()) Expression(s);
    }
  }

  void Globals() {
    for (const auto& [name, value] : Engine_.GlobalVariables().Entries()) {
      Subject("global variable", "?" + name);
      VariableName(name);
      Expression(value);
    }
    for (const auto& [name, value] : BoundGlobals(Engine_)) {
      Subject("global variable", "?" + name);
      VariableName(name);
      if (value && value->GetDType() == dtList) {
        for (const IKbValue& item : *value->ListPtr()) Single(item);
      } else {
        Single(value);
      }
    }
  }

  void FactSets() {
    for (TFactSet* set : Engine_.FactSets().Items()) {
      Subject("deffacts", set->GetFactSetName());
      Name(set->GetFactSetName());
      TFactSetFacts& facts = set->GetFacts();
      for (int i = 0; i < facts.Count(); ++i) {
        IFact f;
        try {
          f = facts.GetFact(i);
        } catch (const Exception& e) {
          Refuse(e.Message());
        }
        if (f) Fact(*f, false);
      }
    }
  }

 private:
  void Subject(const char* Kind, const std::string& Name) {
    Kind_ = Kind;
    Name_ = Name;
  }

  [[noreturn]] void Refuse(const std::string& Why) const {
    KbError(SCannotSave, Kind_, Name_, Why);
  }

  void Name(const std::string& Name) const {
    try {
      CheckConstructName(Name);
    } catch (const EKbException& e) {
      Refuse(e.Message());
    }
  }

  // A variable is written "?" and its name, so every character of the
  // name must be one a word may hold after its first.
  void VariableName(const std::string& Name) const {
    if (Name.empty() || UnwritableNameChar("?" + Name) != 0)
      Refuse(Format(SUnwritableValue, "?" + Name));
  }

  void Slot(const TFactSlot& S) const {
    Name(S.GetName());
    const IKbValue& def = S.GetSlotDefault();
    if (!def) return;
    if (S.IsMultiSlot() || def->GetDType() == dtFunCall) {
      Expression(def);
      return;
    }
    // An empty default is not written, and nil is the default's default.
    if (IsEmptyText(def)) return;
    Single(def);
    OfTypes(S, def);
  }

  // Read back, "extends" gives the child the slots its parent has then,
  // followed by those of its own text: the parent's slots must be the
  // child's first ones, in order (a parent defined again with other slots
  // no longer is), and no chain of parents may come back to the child.
  void Parent(const TFactTemplate& T) const {
    const IFactTemplate& stored = T.GetParent();
    if (!stored) return;
    IFactTemplate parent = Engine_.FindFactTemplate(stored->GetTemplateName());
    if (!parent) return;  // not written
    for (IFactTemplate p = parent; p;
         p = p->GetParent() ? Engine_.FindFactTemplate(p->GetParent()->GetTemplateName())
                            : IFactTemplate())
      if (p.get() == &T) Refuse(Format(SParentChanged, parent->GetTemplateName()));
    const int n = parent->GetSlotCount();
    bool prefix = n <= T.GetSlotCount();
    for (int i = 0; prefix && i < n; ++i)
      prefix = parent->GetSlotAt(i)->GetName() == T.GetSlotAt(i)->GetName();
    if (!prefix) Refuse(Format(SParentChanged, parent->GetTemplateName()));
  }

  // A fact of working memory (Live) holds values only; a fact of a
  // construct (a deffacts, an assert action) may hold calls and variables.
  void Fact(TFact& F, bool Live) const {
    const IFactTemplate& t = F.GetTemplate();
    if (!t) Refuse(SNoTemplate);
    if (Engine_.FindFactTemplate(t->GetTemplateName()) != t)
      Refuse(Format(SStaleTemplate, t->GetTemplateName()));
    for (int i = 0; i < t->GetSlotCount(); ++i) {
      const TFactSlot& slot = *t->GetSlotAt(i);
      const IKbValue& v = F.PeekValue(i);
      const bool list = v && v->GetDType() == dtList;
      if (slot.IsMultiSlot()) {
        if (!list) {
          if (Live) Refuse(Format(SUnwritableValue, v->GetToString()));
          Expression(v);
          continue;
        }
        for (const IKbValue& item : *v->ListPtr()) {
          if (!Live) {
            Expression(item);
          } else {
            // Left out, the empty symbol would be lost.
            if (item && item->GetDType() == dtAtom && item->GetText().empty())
              Refuse(Format(SUnwritableValue, "The empty symbol"));
            Single(item);
          }
        }
      } else if (list) {
        Refuse(Format(SSlotHoldsMultifield, slot.GetName(), PrettyPrintValue(v)));
      } else if (!Live && IsComputed(v)) {
        Expression(v);
      } else {
        // The empty symbol is written only by being left out, as the
        // default.
        if (v && v->GetDType() == dtAtom && v->GetText().empty()) {
          if (!slot.GetSlotDefault() || !v->Equals(slot.GetSlotDefault()))
            Refuse(Format(SUnwritableValue, "The empty symbol"));
          continue;
        }
        Single(v);
        OfTypes(slot, v);
      }
    }
  }

  // A value written where the parser reads a constant.
  void Single(const IKbValue& V) const {
    if (!V) return;
    switch (V->GetDType()) {
      case dtAtom:
        if (IsWritableSymbol(V->GetText())) return;
        break;
      case dtString:
      case dtInteger: return;
      case dtFloat:
        if (std::isfinite(V->FloatPayload())) return;
        break;
      case dtObject:
        if (!V->GetAsObject()) return;
        break;
      default: break;
    }
    Refuse(Format(SUnwritableValue, V->GetToString()));
  }

  // A value of a construct's text: constants, calls, variables, lists of
  // them, and facts (of assert actions).
  void Expression(const IKbValue& V) const {
    if (!V) return;
    switch (V->GetDType()) {
      case dtFunCall:
        if (IFunCall c = V->GetAsFunCall()) Call(*c);
        return;
      case dtList:
        for (const IKbValue& item : *V->ListPtr()) Expression(item);
        return;
      case dtFact:
        if (IFact f = V->GetAsFact()) Fact(*f, false);
        return;
      case dtVariable:
      case dtMultiVariable: VariableName(std::string(V->GetText())); return;
      case dtVariantArray: return;  // a compiled variable, written by name
      default: Single(V); return;
    }
  }

  void Call(const TFunctionCall& C) const {
    if (C.GetName() != "=" && !IsPlainSymbol(C.GetName()))
      Refuse(Format(SUnwritableValue, "The function name " + C.GetName()));
    for (const IKbValue& a : C.Arguments()) Expression(a);
  }

  // With static checks on, a value outside the slot's types is refused on
  // reading (nil is read as a symbol).
  void OfTypes(const TFactSlot& S, const IKbValue& V) const {
    if (!Typed_ || !V) return;
    const TKbType type = V->Equals(FCNil) ? dtAtom : V->GetDType();
    if (S.GetSlotType().Contains(type)) return;
    Refuse(Format(SSlotNotOfTypes, S.GetName(), PrettyPrintValue(V),
                  TypeSetText(S.GetSlotType(), ", ")));
  }

  static bool IsEmptyText(const IKbValue& V) {
    return V->Equals(FCNil) || V->GetToString().empty();
  }

  TDeducer& Engine_;
  const bool Typed_;
  const char* Kind_ = "";
  std::string Name_;
};

// The template of From's name in Engine; one Engine lacks comes over from
// From's engine first.
IFactTemplate TemplateIn(TDeducer& Engine, const IFactTemplate& From) {
  if (From->GetEngine() == &Engine) return From;
  IFactTemplate here = Engine.FindFactTemplate(From->GetTemplateName());
  if (here) return here;
  Engine.FactTemplates().Assign(From);
  return Engine.FindFactTemplate(From->GetTemplateName());
}

IKbValue CopyValueFor(TDeducer& Engine, const IKbValue& Value);

// A call made anew for Engine: same name, tag and arguments (each copied
// for Engine), bound by name through Engine when it first runs.
IFunCall CopyCallFor(TDeducer& Engine, const TFunctionCall& Call) {
  IFunCall copy(new TFunctionCall(&Engine, Call.GetName()));
  copy->SetTag(Call.GetTag());
  for (const IKbValue& a : Call.Arguments()) copy->AddArgument(CopyValueFor(Engine, a));
  return copy;
}

// A copy of a value read into another engine, made for Engine directly:
// calls are made anew (CopyCallFor), a fact an assert names takes
// Engine's template of the same name with its slot values copied, a list
// is copied item by item, and anything else is cloned.
IKbValue CopyValueFor(TDeducer& Engine, const IKbValue& Value) {
  if (!Value) return Value;
  switch (Value->GetDType()) {
    case dtFunCall: return NewFunCall(CopyCallFor(Engine, *Value->GetAsFunCall()));
    case dtList: {
      IValueVector items = NewVector();
      for (const IKbValue& item : *Value->ListPtr()) items->Add(CopyValueFor(Engine, item));
      return NewList(items);
    }
    case dtFact: {
      const IFact from = Value->GetAsFact();
      const IFactTemplate& fromTemplate = from ? from->GetTemplate() : IFactTemplate();
      if (!fromTemplate) return Value->CloneValue();
      IFactTemplate here = TemplateIn(Engine, fromTemplate);
      IFact copy(new TFact(here));
      for (int i = 0; i < fromTemplate->GetSlotCount(); ++i) {
        const int at = here->IndexOfSlot(fromTemplate->GetSlotAt(i)->GetName());
        if (at >= 0) copy->SetValue(at, CopyValueFor(Engine, from->PeekValue(i)));
      }
      return NewFactValue(copy);
    }
    default: return Value->CloneValue();
  }
}

// A template made anew for Engine from another engine's. Its slots are
// From's, in order, with their types and defaults; a dynamic default's
// call is made for Engine. Its parent is Engine's template of the
// parent's name (brought over first when Engine lacks it), provided
// From's engine still holds that name: a parent defined again since is
// no longer one, as the written template names no parent then.
IFactTemplate CopyTemplateFor(TDeducer& Engine, const IFactTemplate& From) {
  IFactTemplate copy = From->CloneTemplate(&Engine);
  IFactTemplate parent;
  if (const IFactTemplate& theirs = From->GetParent()) {
    TFactCatalog* fromEngine = From->GetEngine();
    const IFactTemplate named =
        fromEngine ? fromEngine->FindFactTemplate(theirs->GetTemplateName()) : theirs;
    if (named) parent = TemplateIn(Engine, named);
  }
  copy->SetParent(parent);
  for (const IFactSlot& slot : copy->GetSlots()) {
    const IKbValue def = slot->GetSlotDefault();
    if (!def || def->GetDType() != dtFunCall) continue;
    // The clone's call is equal to the copy, which would keep the clone:
    // the slot lets go of it first.
    slot->SetSlotDefault(nullptr);
    slot->SetSlotDefault(CopyValueFor(Engine, def));
  }
  return copy;
}

// A deffunction made anew for Engine: its calls bind through Engine.
IInterpretedFunction CopyFunctionFor(TDeducer& Engine, const TInterpretedFunction& Function) {
  IInterpretedFunction copy(new TInterpretedFunction(Function.GetFunctionName()));
  copy->SetComment(Function.GetComment());
  for (int i = 0; i < Function.GetArgumentCount(); ++i) {
    const IKbValue& a = Function.GetArgument(i);
    copy->AddArgument(std::string(a->GetText()), a->GetDType());
  }
  for (int i = 0; i < Function.GetStatementCount(); ++i)
    copy->AddStatement(CopyValueFor(Engine, Function.GetStatement(i)));
  return copy;
}

}  // namespace

// Since no template text carries the mark, one "do-backward-chaining" call
// names the templates marked for backward chaining. Goal templates carry
// the mark of the template they were made for and get it back from the
// same call.
std::string BackwardChainingText(const TFactTemplates& Templates) {
  std::string marked;
  for (const IFactTemplate& t : Templates.InParentOrder()) {
    if (!t->IsBackwardChaining()) continue;
    if (std::string_view(t->GetTemplateName()).starts_with(SBackChainPrefix)) continue;
    marked += ' ';
    marked += t->GetTemplateName();
  }
  return marked.empty() ? marked : "(do-backward-chaining" + marked + ")";
}

// The facts a saved text holds: working memory in order, except the
// goals of backward chaining, which the rules ask for again once the text
// is read (saved, they would be plain facts nothing withdraws).
std::vector<IFact> SavedFacts(TDeducer& Engine) {
  std::vector<IFact> facts = Engine.Facts().Snapshot();
  const TGoalTable& goals = Engine.ReteNetwork().Goals();
  if (goals.GetCount() > 0)
    std::erase_if(facts, [&goals](const IFact& F) { return goals.GetNeedCount(F.get()) > 0; });
  return facts;
}

// "(bind ?name value)" for each, a line each (the last without its line
// break); a multifield as the create$ call that makes it.
std::string BoundGlobalsText(TDeducer& Engine) {
  std::string r;
  for (const auto& [name, value] : BoundGlobals(Engine)) {
    if (!r.empty()) r += NewLineString;
    r += "(bind ?";
    r += name;
    r += ' ';
    if (value && value->GetDType() == dtList) {
      r += "(create$";
      for (const IKbValue& item : *value->ListPtr()) {
        r += ' ';
        AppendValueText(r, item);
      }
      r += ')';
    } else {
      AppendValueText(r, value ? value : FCNil);
    }
    r += ')';
  }
  return r;
}

void CheckSavable(TDeducer& Engine) {
  TSaveCheck check(Engine);
  check.Templates();
  check.Functions();
  check.Globals();
  check.Rules();
  check.FactSets();
  check.Facts([](const IFact&) { return true; });
}

// --------------------------------------------------------- whole system

std::string TDeducerPersistence::GetExpertSystem() {
  CheckSavable(Engine_);
  std::string r;
  AppendSection(r, "; Fact Templates ", true);
  r += TemplatesText(Engine_.FactTemplates());
  AppendSection(r, "; Deffunctions ", false);
  r += Engine_.UserFunctions().GetToString();
  // The globals come before the rules: a rule's tests may read them as
  // soon as the rule is compiled, and their initial values may call the
  // deffunctions above.
  const std::string bound = BoundGlobalsText(Engine_);
  if (Engine_.GlobalVariables().Count() > 0 || !bound.empty()) {
    AppendSection(r, "; Global Variables ", true);
    if (Engine_.GlobalVariables().Count() > 0) {
      r += Engine_.PrettyPrintGlobalVariables();
      if (!bound.empty()) r += NewLineString;
    }
    r += bound;
  }
  AppendSection(r, "; Rules ", true);
  r += Engine_.Rules().GetToString();
  AppendSection(r, "; Fact Sets ", true);
  // Each on lines of its own, as the other constructs.
  for (TFactSet* set : Engine_.FactSets().Items()) {
    r += set->GetToString();
    r += NewLineString;
  }
  const std::vector<IFact> facts = SavedFacts(Engine_);
  if (!facts.empty()) {
    AppendSection(r, "; Facts ", true);
    r += "(assert";
    r += NewLineString;
    for (const IFact& f : facts) {
      r += IndentString;
      r += f->GetToString();
      r += NewLineString;
    }
    r += ")";
    r += NewLineString;
  }
  return r;
}

void TDeducerPersistence::SetExpertSystem(const std::string& Text) {
  TMemoryStream source(Text);
  WithParserOver(Engine_, source, [this](TKbParser& Parser, TKbTokenizerStream&) {
    Engine_.Clear();
    Parser.Parse();
    Engine_.Reset();
    return true;
  });
}

bool TDeducerPersistence::Load(TStream& Stream) {
  return WithParserOver(Engine_, Stream,
                        [](TKbParser& Parser, TKbTokenizerStream&) { return Parser.Parse(); });
}

// ------------------------------------------------------------------ facts

void TDeducerPersistence::SaveFacts(TStream& Stream) {
  const auto all = [](const IFact&) { return true; };
  TSaveCheck(Engine_).Facts(all);
  Stream.WriteString(FactsText(Engine_, all));
}

void TDeducerPersistence::SaveFacts(TStream& Stream, const std::string& TemplateName) {
  const auto named = [&TemplateName](const IFact& F) {
    return F->GetTemplate() && F->GetTemplate()->GetTemplateName() == TemplateName;
  };
  TSaveCheck(Engine_).Facts(named);
  Stream.WriteString(FactsText(Engine_, named));
}

// ------------------------------------------------------ templates, rules

std::string TDeducerPersistence::FactTemplatesText() {
  TSaveCheck(Engine_).Templates();
  return TemplatesText(Engine_.FactTemplates());
}

bool TDeducerPersistence::LoadFactTemplates(TStream& Stream) {
  return WithParserOver(Engine_, Stream, [this](TKbParser& Parser, TKbTokenizerStream&) {
    Engine_.Clear();
    return Parser.Parse();
  });
}

std::string TDeducerPersistence::RulesText() {
  TSaveCheck(Engine_).Rules();
  return Engine_.Rules().GetToString();
}

bool TDeducerPersistence::LoadRules(TStream& Stream) {
  return WithParserOver(Engine_, Stream, [this](TKbParser& Parser, TKbTokenizerStream&) {
    Engine_.Rules().Clear();
    return Parser.Parse();
  });
}

// ------------------------------------------------------------------ copy

void TDeducerPersistence::Assign(TDeducer& From) {
  TDeducer& to = Engine_;
  to.Clear();
  to.SetSalienceEvaluation(From.GetSalienceEvaluation());
  to.SetStrategy(From.GetStrategy());
  to.SetFactDuplication(From.GetFactDuplication());
  to.SetDuplicateConstructs(From.GetDuplicateConstructs());
  to.SetTypeChecks(From.GetTypeChecks());
  to.SetParserMaxErrors(From.GetParserMaxErrors());
  to.SetParserErrorHandling(From.GetParserErrorHandling());
  to.SetWatch(From.GetWatch());
  to.SetResetGlobals(From.GetResetGlobals());
  // The templates before the deffunctions, which read their facts against
  // them.
  to.FactTemplates().Assign(From.FactTemplates());
  to.UserFunctions().Assign(From.UserFunctions());
  to.Variables().Assign(&From.Variables());
  to.GlobalVariables().Assign(&From.GlobalVariables());
  // The globals made by bind, as saving keeps them.
  for (const auto& [name, value] : BoundGlobals(From))
    to.GetContext()->AddGlobalBinding(name, value ? value->CloneValue() : FCNil);
  // Fact sets are this engine's own copies: a fact set of the source goes
  // when the source goes.
  to.FactSets().Clear();
  for (TFactSet* set : From.FactSets().Items()) {
    TFactSet* copy = set->Clone(&to);
    copy->GetFacts().Reparse();
  }
  // The rules before the facts, as a saved knowledge base is read: the
  // facts then reach the agenda in the order they were asserted.
  to.Rules().Assign(From.Rules());
  to.Facts().Assign(From.Facts());
}

// ------------------------------------------ TDeducer's persistence, forwarded

IKbValue TDeducer::CopyValue(const IKbValue& Value) { return CopyValueFor(*this, Value); }

IFactTemplate TDeducer::TemplateOf(const IFactTemplate& Template) {
  return TemplateIn(*this, Template);
}

std::string TDeducer::GetExpertSystem() { return TDeducerPersistence(*this).GetExpertSystem(); }

void TDeducer::SetExpertSystem(const std::string& Text) {
  TDeducerPersistence(*this).SetExpertSystem(Text);
}

void TDeducer::SaveToStream(TStream& Stream) { Stream.WriteString(GetExpertSystem()); }

void TDeducer::SaveToFile(const std::string& FileName) { WriteFile(FileName, GetExpertSystem()); }
bool TDeducer::LoadFromStream(TStream& Stream) { return TDeducerPersistence(*this).Load(Stream); }

bool TDeducer::LoadFromFile(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead);
  return LoadFromStream(file);
}

void TDeducer::SaveFacts(TStream& Stream) { TDeducerPersistence(*this).SaveFacts(Stream); }

void TDeducer::SaveFacts(TStream& Stream, const std::string& TemplateName) {
  TDeducerPersistence(*this).SaveFacts(Stream, TemplateName);
}

void TDeducer::SaveFacts(const std::string& FileName) {
  TMemoryStream text;
  SaveFacts(text);
  WriteFile(FileName, text.DataString());
}

void TDeducer::SaveFacts(const std::string& FileName, const std::string& TemplateName) {
  TMemoryStream text;
  SaveFacts(text, TemplateName);
  WriteFile(FileName, text.DataString());
}

bool TDeducer::LoadFacts(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead);
  return LoadFacts(file);
}

void TDeducer::SaveFactTemplates(TStream& Stream) {
  Stream.WriteString(TDeducerPersistence(*this).FactTemplatesText());
}

void TDeducer::SaveFactTemplates(const std::string& FileName) {
  WriteFile(FileName, TDeducerPersistence(*this).FactTemplatesText());
}

bool TDeducer::LoadFactTemplates(TStream& Stream) {
  return TDeducerPersistence(*this).LoadFactTemplates(Stream);
}

bool TDeducer::LoadFactTemplates(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead);
  return LoadFactTemplates(file);
}

void TDeducer::SaveRules(TStream& Stream) {
  Stream.WriteString(TDeducerPersistence(*this).RulesText());
}

void TDeducer::SaveRules(const std::string& FileName) {
  WriteFile(FileName, TDeducerPersistence(*this).RulesText());
}

bool TDeducer::LoadRules(TStream& Stream) { return TDeducerPersistence(*this).LoadRules(Stream); }

bool TDeducer::LoadRules(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead);
  return LoadRules(file);
}

void TDeducer::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TDeducer*>(Source);
  if (!src) {
    TComponent::Assign(Source);
    return;
  }
  if (src == this) return;
  TDeducerPersistence(*this).Assign(*const_cast<TDeducer*>(src));
}

void TDeducer::SetFactTemplates(const TFactTemplates& Value) { FactTemplates().Assign(Value); }
void TDeducer::SetRules(const TRules& Value) { Rules().Assign(Value); }
void TDeducer::SetFacts(const TFacts& Value) { Facts().Assign(Value); }
void TDeducer::SetUserFunctions(const TUserFunctions& Value) { UserFunctions().Assign(Value); }

void TFacts::Assign(const TFacts& Source) {
  if (&Source == this) return;
  // The goals of backward chaining stay behind: this engine's rules ask
  // for them again (copied, they would be plain facts nothing withdraws).
  const std::vector<IFact> facts = Source.Engine_ ? SavedFacts(*Source.Engine_) : Source.Snapshot();
  Clear();
  for (const IFact& f : facts) {
    const IFactTemplate& from = f->GetTemplate();
    if (!from) continue;
    const IFactTemplate tmpl = Engine_ ? TemplateIn(*Engine_, from) : from;
    IFact copy(new TFact(tmpl));
    for (int i = 0; i < from->GetSlotCount(); ++i) {
      const int here = tmpl->IndexOfSlot(from->GetSlotAt(i)->GetName());
      if (here >= 0) copy->SetValue(here, f->PeekValue(i));
    }
    Add(copy);
  }
}

void TFacts::AssignTo(TStringList& Dest) const {
  Dest.Clear();
  for (const IFact& f : Snapshot()) Dest.Add(f->GetToString());
}

// ------------------------------------------------------- the collections

std::vector<IFactTemplate> TFactTemplates::InParentOrder() const {
  std::vector<IFactTemplate> order;
  order.reserve(Table_.Count());
  std::unordered_set<const TFactTemplate*> placed;
  std::vector<IFactTemplate> chain;
  for (const auto& [name, t] : Table_) {
    // The template and the ancestors not placed yet, nearest first. A
    // parent is what bears its name here (patterns match by name, and the
    // text names it): one defined again since is the new definition.
    chain.clear();
    for (IFactTemplate p = t; p && !placed.count(p.get());) {
      if (std::find(chain.begin(), chain.end(), p) != chain.end()) break;
      chain.push_back(p);
      const IFactTemplate& parent = p->GetParent();
      p = parent ? Get(parent->GetTemplateName()) : IFactTemplate();
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      placed.insert(it->get());
      order.push_back(*it);
    }
  }
  return order;
}

void TFactTemplates::Assign(const TFactTemplates& Source) {
  if (&Source == this) return;
  std::vector<std::string> gone;
  for (const auto& [name, t] : Table_) {
    const IFactTemplate other = Source.Get(name);
    if (!other || !t->Equals(other)) gone.push_back(name);
  }
  for (const std::string& name : gone) Remove(name);
  for (const IFactTemplate& t : Source.InParentOrder()) Assign(t);
}

void TFactTemplates::Assign(const IFactTemplate& Source) {
  // Another engine's template is made anew, so that its call defaults and
  // its parent are this engine's.
  const IFactTemplate copy = Engine_ && Source->GetEngine() != Engine_
                                 ? CopyTemplateFor(*Engine_, Source)
                                 : Source->CloneTemplate(Engine_);
  if (IFactTemplate here = Get(Source->GetTemplateName())) {
    here->Assign(static_cast<const TPersistent*>(copy.get()));
    return;
  }
  Add(copy);
}

void TRules::Assign(const TRules& Source) {
  if (&Source == this) return;
  std::vector<TRule*> rules;
  for (const auto& [name, rule] : Source.Table_) rules.push_back(rule);
  Clear();
  for (TRule* rule : rules) {
    if (!Engine_) {
      Put(rule->GetRuleName(), rule);
      continue;
    }
    std::unique_ptr<TRule> copy(new TRule(Engine_));
    copy->Assign(rule);
    Add(copy.get());
    // A copy the table did not take (an ignored duplicate) goes again.
    if (Get(copy->GetRuleName()) == copy.get()) copy.release();
  }
}

void TUserFunctions::Assign(const TUserFunctions& Source) {
  if (&Source == this) return;
  std::vector<std::string> gone;
  for (const auto& [name, f] : Table_)
    if (RefCast<TInterpretedFunction>(f) && !Source.Contains(name)) gone.push_back(name);
  for (const std::string& name : gone) Remove(name);
  for (const auto& [name, f] : Source.Table_) {
    if (Get(name) == f) continue;
    if (auto deffunction = RefCast<TInterpretedFunction>(f)) {
      // A deffunction's calls bind through its engine: this engine gets
      // its own copy.
      Add(Engine_ ? IUserFunction(CopyFunctionFor(*Engine_, *deffunction)) : f);
    } else if (!Contains(name)) {
      Add(f);
    }
  }
}

void TGlobalVariables::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TGlobalVariables*>(Source);
  if (!src || !Engine_ || src->GetEngine() == Engine_) {
    TEngineVariables::Assign(Source);
    return;
  }
  for (const auto& [name, value] : src->Entries()) {
    IKbValue copy = value ? value->CloneValue() : IKbValue();
    // A call keeps its engine; the one here is made anew for this engine.
    if (value && value->GetDType() == dtFunCall) copy = CopyValueFor(*Engine_, value);
    Put(name, copy);
  }
}

}  // namespace kb
