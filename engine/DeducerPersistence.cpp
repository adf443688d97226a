// The engine's persistence: the whole-system text, saving and loading
// facts, templates, rules and whole knowledge bases through streams and
// files, and copying one engine's knowledge base into another (Assign).
#include <functional>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "engine/Deducer.h"
#include "engine/DeducerParseText.h"
#include "parser/KbClipsParser.h"
#include "rete/KbRule.h"

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

// The facts' text, one per line, of the facts Keep accepts.
std::string FactsText(TFacts& Facts, const std::function<bool(const IFact&)>& Keep) {
  std::string r;
  for (const IFact& f : Facts.Snapshot()) {
    if (!Keep(f)) continue;
    r += f->GetToString();
    r += NewLineString;
  }
  return r;
}

// The templates' text, each followed by a line break, parents first; then,
// since no template text carries the mark, one "do-backward-chaining" call
// naming the templates marked for backward chaining. Goal templates carry
// the mark of the template they were made for and get it back from the
// same call.
std::string TemplatesText(const TFactTemplates& Templates) {
  std::string r = Templates.GetToString();
  std::string marked;
  for (const IFactTemplate& t : Templates.InParentOrder()) {
    if (!t->IsBackwardChaining()) continue;
    if (std::string_view(t->GetTemplateName()).starts_with(SBackChainPrefix)) continue;
    marked += ' ';
    marked += t->GetTemplateName();
  }
  if (!marked.empty()) {
    r += "(do-backward-chaining";
    r += marked;
    r += ")";
    r += NewLineString;
  }
  return r;
}

}  // namespace

// --------------------------------------------------------- whole system

std::string TDeducer::GetExpertSystem() {
  std::string r;
  AppendSection(r, "; Fact Templates ", true);
  r += TemplatesText(*FactTemplates_);
  AppendSection(r, "; Deffunctions ", false);
  r += UserFunctions_->GetToString();
  // The globals come before the rules: a rule's tests may read them as
  // soon as the rule is compiled, and their initial values may call the
  // deffunctions above.
  if (GlobalVariables_->Count() > 0) {
    AppendSection(r, "; Global Variables ", true);
    r += PrettyPrintGlobalVariables();
  }
  AppendSection(r, "; Rules ", true);
  r += Rules_->GetToString();
  AppendSection(r, "; Fact Sets ", true);
  // Each on lines of its own, as the other constructs.
  for (TFactSet* set : FactSets_->Items()) {
    r += set->GetToString();
    r += NewLineString;
  }
  if (Facts_->Count() > 0) {
    AppendSection(r, "; Facts ", true);
    r += "(assert";
    r += NewLineString;
    for (const IFact& f : Facts_->Snapshot()) {
      r += IndentString;
      r += f->GetToString();
      r += NewLineString;
    }
    r += ")";
    r += NewLineString;
  }
  return r;
}

void TDeducer::SetExpertSystem(const std::string& Text) {
  TMemoryStream source(Text);
  WithParserOver(*this, source, [this](TKbParser& Parser, TKbTokenizerStream&) {
    Clear();
    Parser.Parse();
    Reset();
    return true;
  });
}

void TDeducer::SaveToStream(TStream& Stream) { Stream.WriteString(GetExpertSystem()); }

void TDeducer::SaveToFile(const std::string& FileName) { WriteFile(FileName, GetExpertSystem()); }

bool TDeducer::LoadFromStream(TStream& Stream) {
  return WithParserOver(*this, Stream,
                        [](TKbParser& Parser, TKbTokenizerStream&) { return Parser.Parse(); });
}

bool TDeducer::LoadFromFile(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead);
  return LoadFromStream(file);
}

// ------------------------------------------------------------------ facts

void TDeducer::SaveFacts(TStream& Stream) {
  Stream.WriteString(FactsText(*Facts_, [](const IFact&) { return true; }));
}

void TDeducer::SaveFacts(TStream& Stream, const std::string& TemplateName) {
  Stream.WriteString(FactsText(*Facts_, [&TemplateName](const IFact& F) {
    return F->GetTemplate() && F->GetTemplate()->GetTemplateName() == TemplateName;
  }));
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

// ------------------------------------------------------ templates, rules

void TDeducer::SaveFactTemplates(TStream& Stream) {
  Stream.WriteString(TemplatesText(*FactTemplates_));
}

void TDeducer::SaveFactTemplates(const std::string& FileName) {
  WriteFile(FileName, TemplatesText(*FactTemplates_));
}

bool TDeducer::LoadFactTemplates(TStream& Stream) {
  return WithParserOver(*this, Stream, [this](TKbParser& Parser, TKbTokenizerStream&) {
    Clear();
    return Parser.Parse();
  });
}

bool TDeducer::LoadFactTemplates(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead);
  return LoadFactTemplates(file);
}

void TDeducer::SaveRules(TStream& Stream) { Stream.WriteString(Rules_->GetToString()); }

void TDeducer::SaveRules(const std::string& FileName) {
  WriteFile(FileName, Rules_->GetToString());
}

bool TDeducer::LoadRules(TStream& Stream) {
  return WithParserOver(*this, Stream, [this](TKbParser& Parser, TKbTokenizerStream&) {
    Rules_->Clear();
    return Parser.Parse();
  });
}

bool TDeducer::LoadRules(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead);
  return LoadRules(file);
}

// ------------------------------------------------------------------ copy

void TDeducer::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TDeducer*>(Source);
  if (!src) {
    TComponent::Assign(Source);
    return;
  }
  if (src == this) return;
  auto* from = const_cast<TDeducer*>(src);
  Clear();
  SetSalienceEvaluation(from->GetSalienceEvaluation());
  SetStrategy(from->GetStrategy());
  SetFactDuplication(from->GetFactDuplication());
  SetDuplicateConstructs(from->GetDuplicateConstructs());
  SetTypeChecks(from->GetTypeChecks());
  SetParserMaxErrors(from->GetParserMaxErrors());
  SetParserErrorHandling(from->GetParserErrorHandling());
  SetWatch(from->GetWatch());
  SetResetGlobals(from->GetResetGlobals());
  UserFunctions_->Assign(from->UserFunctions());
  FactTemplates_->Assign(from->FactTemplates());
  Variables_->Assign(&from->Variables());
  GlobalVariables_->Assign(&from->GlobalVariables());
  // Fact sets are this engine's own copies: a fact set of the source goes
  // when the source goes.
  FactSets_->Clear();
  for (TFactSet* set : from->FactSets().Items()) {
    TFactSet* copy = set->Clone(this);
    copy->GetFacts().Reparse();
  }
  // The rules before the facts, as a saved knowledge base is read: the
  // facts then reach the agenda in the order they were asserted.
  Rules_->Assign(from->Rules());
  Facts_->Assign(from->Facts());
}

void TFacts::Assign(const TFacts& Source) {
  if (&Source == this) return;
  const std::vector<IFact> facts = Source.Snapshot();
  Clear();
  for (const IFact& f : facts) {
    const IFactTemplate& from = f->GetTemplate();
    if (!from) continue;
    IFactTemplate tmpl = from;
    if (Engine_ && from->GetEngine() != Engine_) {
      tmpl = Engine_->FindFactTemplate(from->GetTemplateName());
      if (!tmpl) {
        Engine_->FactTemplates().Assign(from);
        tmpl = Engine_->FindFactTemplate(from->GetTemplateName());
      }
    }
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
    // The template and the ancestors not placed yet, nearest first.
    chain.clear();
    for (IFactTemplate p = t; p && !placed.count(p.get()); p = p->GetParent()) chain.push_back(p);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
      // Only templates of this table are listed.
      if (Get((*it)->GetTemplateName()) != *it) continue;
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
  IFactTemplate copy;
  if (Engine_ && Source->GetEngine() != Engine_) {
    // Through the text, so that call defaults and the parent are this
    // engine's.
    copy = Engine_->ParseFactTemplate(Source->GetToString());
    copy->SetBackwardChaining(Source->IsBackwardChaining());
  } else {
    copy = Source->CloneTemplate(Engine_);
  }
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
    std::unique_ptr<TRule> copy(Engine_->ParseRule(rule->GetToString()));
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
      Add(Engine_ ? IUserFunction(Engine_->ParseFunction(PrettyPrint(deffunction))) : f);
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
    // A call keeps its engine; the one here is parsed again by this engine.
    if (value && value->GetDType() == dtFunCall)
      copy = NewFunCall(Engine_->ParseFunCall(PrettyPrintValue(value)));
    Put(name, copy);
  }
}

}  // namespace kb
