// The engine's fact templates and fact sets: their collections, the
// implied templates, template renaming and the text of these constructs.
#include "engine/DeducerTemplates.h"

#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerParse.h"
#include "engine/DeducerParseText.h"
#include "engine/DeducerRules.h"
#include "framework/ScopeExit.h"
#include "parser/KbClipsParser.h"
#include "rete/ReteGoals.h"
#include "rete/ReteNetwork.h"

namespace kb {

// ----------------------------------------------------------- TFactTemplates

void TFactTemplates::Add(const IFactTemplate& Template) {
  if (!Template) KbError(SNoTemplate);
  Put(Template->GetTemplateName(), Template);
}

void TFactTemplates::Put(const std::string& Name, const IFactTemplate& Template) {
  if (!Template) KbError(SNoTemplate);
  IFactTemplate stored = Get(Name);
  if (stored == Template) return;
  // Facts and patterns write the name as it is.
  if (!stored) CheckConstructName(Name);
  bool replaceEqual = false;
  if (stored) {
    switch (Engine_ ? Engine_->GetDuplicateConstructs() : dcOverwrite) {
      case dcError: KbError(SDuplicateTemplateNames, Name);
      case dcIgnore: return;
      case dcOverwrite: replaceEqual = stored->Equals(Template); break;
    }
  }
  if (Template->GetSlotCount() == 0) Template->AddMultiSlot(SDefaultSlotName, FCNilList);
  // A template asked for by backward chaining stays so when it is defined
  // anew, and its goal template follows its new slots.
  const bool backward = stored && stored->IsBackwardChaining() &&
                        !std::string_view(Name).starts_with(SBackChainPrefix);
  if (stored) {
    if (replaceEqual) {
      // An equal definition takes the place of the old one; what was built
      // on the old one stays.
      if (Engine_ && Engine_->OnRemoveFactTemplate) Engine_->OnRemoveFactTemplate(Engine_, stored);
      if (Template->GetTemplateName() == Name) {
        // The stored object takes the new definition and stays: facts are
        // equal only on the same template object, so a new object would
        // let an equal fact (the initial fact, when a saved knowledge base
        // is read again) be asserted a second time. The backward-chaining
        // mark, which no text carries, is kept.
        const bool backward = stored->IsBackwardChaining();
        stored->Assign(static_cast<const TPersistent*>(Template.get()));
        if (backward) stored->SetBackwardChaining(true);
        if (Engine_ && Engine_->OnNewFactTemplate) Engine_->OnNewFactTemplate(Engine_, stored);
        // The goal template follows slots the definition added.
        if (backward && Engine_ && !std::string_view(Name).starts_with(SBackChainPrefix) &&
            Engine_->FindFactTemplate(SBackChainPrefix + Name))
          PrepareBackwardChaining(*Engine_, stored);
        return;
      }
    } else {
      Remove(Name);
    }
  }
  Table_.Put(Name, Template);
  if (Engine_ && Engine_->OnNewFactTemplate) Engine_->OnNewFactTemplate(Engine_, Template);
  if (backward && Engine_ && Template->GetTemplateName() == Name) {
    Template->SetBackwardChaining(true);
    // A goal template not made yet is made when a goal is first asked.
    if (Engine_->FindFactTemplate(SBackChainPrefix + Name))
      PrepareBackwardChaining(*Engine_, Template);
  }
}

void TFactTemplates::Remove(std::string_view Name) {
  IFactTemplate t = Get(Name);
  if (!t) return;
  if (Engine_) {
    if (Engine_->OnRemoveFactTemplate) Engine_->OnRemoveFactTemplate(Engine_, t);
    Engine_->RemoveTemplateDependencies(t);
  }
  Table_.Remove(Name);
}

void TFactTemplates::Clear() {
  if (Engine_) Engine_->RemoveTemplateDependencies();
  Table_.Clear();
  if (Engine_ && Engine_->OnClearFactTemplates) Engine_->OnClearFactTemplates(Engine_);
}

IFactTemplate TFactTemplates::Get(std::string_view Name) const {
  const IFactTemplate* t = Table_.Find(Name);
  return t ? *t : IFactTemplate();
}

std::string TFactTemplates::GetToString() const {
  // Parents first, so that the text reads back with its inheritance.
  std::string r;
  for (const IFactTemplate& t : InParentOrder()) {
    r += t->GetToString();
    r += NewLineString;
  }
  return r;
}

// ---------------------------------------------------------------- TFactSets

int TFactSets::Add(TFactSet* FactSet) {
  int i = IndexOf(FactSet);
  if (i >= 0) return i;
  Items_.push_back(FactSet);
  return Count() - 1;
}

bool TFactSets::Define(TFactSet* FactSet) {
  if (!FactSet) return false;
  if (IndexOf(FactSet) >= 0) return true;
  const int i = IndexOf(FactSet->GetFactSetName());
  if (i < 0) {
    Add(FactSet);
    return true;
  }
  switch (Engine_ ? Engine_->GetDuplicateConstructs() : dcOverwrite) {
    case dcError: KbError(SDuplicateFactSetNames, FactSet->GetFactSetName());
    case dcIgnore: return false;
    case dcOverwrite: break;
  }
  // The new definition takes the old one's place, so that a deffacts
  // read again does not assert its old facts beside its new ones.
  TFactSet* old = Items_[static_cast<size_t>(i)];
  Items_[static_cast<size_t>(i)] = FactSet;
  if (Engine_ && old->GetOwner() == Engine_) delete old;
  return true;
}

void TFactSets::Insert(int Index, TFactSet* FactSet) {
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  Items_.insert(Items_.begin() + Index, FactSet);
}

int TFactSets::Remove(TFactSet* FactSet) {
  int i = IndexOf(FactSet);
  if (i >= 0) Items_.erase(Items_.begin() + i);
  return i;
}

TFactSet* TFactSets::GetItem(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return Items_[static_cast<size_t>(Index)];
}

void TFactSets::SetItem(int Index, TFactSet* FactSet) {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  Items_[static_cast<size_t>(Index)] = FactSet;
}

int TFactSets::IndexOf(const TFactSet* FactSet) const {
  for (size_t i = 0; i < Items_.size(); ++i)
    if (Items_[i] == FactSet) return static_cast<int>(i);
  return -1;
}

int TFactSets::IndexOf(std::string_view Name) const {
  for (size_t i = 0; i < Items_.size(); ++i)
    if (Items_[i]->GetFactSetName() == Name) return static_cast<int>(i);
  return -1;
}

void TFactSets::Assign(const TFactSets& Source) {
  if (&Source == this) return;
  Items_ = Source.Items_;
}

std::string TFactSets::GetToString() const {
  std::string r;
  for (TFactSet* s : Items_) r += s->GetToString();
  return r;
}

// -------------------------------------------------------- TDeducerTemplates

TDeducerTemplates::TDeducerTemplates(TDeducer& Engine) : Engine_(Engine) {}

TDeducerTemplates::~TDeducerTemplates() = default;

void TDeducerTemplates::Create() {
  FactTemplates_ = std::make_unique<TFactTemplates>(&Engine_);
  FactSets_ = std::make_unique<TFactSets>(&Engine_);
}

void TDeducerTemplates::Destroy() {
  FactTemplates_.reset();
  FactSets_.reset();
  // Templates still referenced (by facts the host holds) stand alone from
  // now on: they print and compare without the engine.
  std::vector<TFactTemplate*> survivors;
  survivors.swap(OwnedTemplates_);
  for (TFactTemplate* t : survivors) t->DetachOwner();
}

void TDeducerTemplates::DetachTemplate(TFactTemplate* Template) {
  for (size_t i = OwnedTemplates_.size(); i-- > 0;) {
    if (OwnedTemplates_[i] == Template) {
      OwnedTemplates_[i] = OwnedTemplates_.back();
      OwnedTemplates_.pop_back();
      return;
    }
  }
}

IFactTemplate TDeducerTemplates::CreateFactTemplate(const std::string& Name) {
  if (IFactTemplate t = FindFactTemplate(Name)) return t;
  IFactTemplate t(new TFactTemplate(&Engine_, Name));
  t->SetComment("(Implied)");
  FactTemplates_->Add(t);
  return t;
}

IFactTemplate TDeducerTemplates::FindFactTemplate(std::string_view Name) const {
  return FactTemplates_ ? FactTemplates_->Get(Name) : IFactTemplate();
}

void TDeducerTemplates::ChangeFactTemplateName(const std::string& OldName,
                                               const std::string& NewName) {
  if (OldName.empty() || !FactTemplates_) return;
  IFactTemplate t = FactTemplates_->Get(OldName);
  if (!t) return;
  // Refused before anything moves, so that a failed rename never leaves
  // the template out of the engine.
  IFactTemplate other = FactTemplates_->Get(NewName);
  if (other && other != t && Engine_.GetDuplicateConstructs() != dcOverwrite)
    KbError(SDuplicateTemplateNames, NewName);
  UpdatingHT_ = true;
  auto done = OnScopeExit([this] { UpdatingHT_ = false; });
  FactTemplates_->Remove(OldName);
  FactTemplates_->Put(NewName, t);
}

void TDeducerTemplates::ForgetFactsOf(const IFactTemplate& Template) {
  // Fact sets keep their texts: they read them again against what now
  // bears the name (a renamed template keeps its facts' objects).
  if (FactSets_ && !UpdatingHT_)
    for (TFactSet* set : FactSets_->Items()) set->GetFacts().ForgetFactsOf(Template.get());
}

// ------------------------------------------- TDeducer's templates, forwarded

void TDeducer::CreateFactTemplates() {
  Templates_->Create();
  CreateImpliedTemplates();
}

void TDeducer::CreateImpliedTemplates() {
  CreateFactTemplate(SInitialFactPattern);
  NullFact_ = IFact(new TFact(CreateFactTemplate(SNullFact)));
}

void TDeducer::ReleaseNullFact() { NullFact_ = nullptr; }

void TDeducer::DestroyFactTemplates() {
  NullFact_ = nullptr;
  Templates_->Destroy();
}

TFactTemplates& TDeducer::FactTemplates() { return Templates_->FactTemplates(); }
TFactSets& TDeducer::FactSets() { return Templates_->FactSets(); }
void TDeducer::AttachTemplate(TFactTemplate* Template) { Templates_->AttachTemplate(Template); }
void TDeducer::DetachTemplate(TFactTemplate* Template) { Templates_->DetachTemplate(Template); }

IFactTemplate TDeducer::CreateFactTemplate(const std::string& Name) {
  return Templates_->CreateFactTemplate(Name);
}

void TDeducer::AddFactTemplate(const IFactTemplate& Template) {
  Templates_->AddFactTemplate(Template);
}

void TDeducer::AddFactSet(TFactSet* FactSet) { Templates_->AddFactSet(FactSet); }
void TDeducer::RemoveFactSet(TFactSet* FactSet) { Templates_->RemoveFactSet(FactSet); }

IFactTemplate TDeducer::FindFactTemplate(std::string_view Name) const {
  return Templates_->FindFactTemplate(Name);
}

void TDeducer::ChangeFactTemplateName(const std::string& OldName, const std::string& NewName) {
  Templates_->ChangeFactTemplateName(OldName, NewName);
}

void TDeducer::FactTemplateLineageChanged() {
  // Templates made while the engine is built come before its network.
  if (FactBase_ && FactBase_->Network()) FactBase_->Network()->RootsChanged();
}

bool TDeducer::GetUpdatingHT() const { return Templates_->GetUpdatingHT(); }
void TDeducer::SetUpdatingHT(bool Value) { Templates_->SetUpdatingHT(Value); }

void TDeducer::RemoveTemplateDependencies(const IFactTemplate& Template) {
  if (!Template) return;
  FactBase_->RemoveFactsOf(Template);
  Rules_->RemoveRulesUsing(Template);
  Templates_->ForgetFactsOf(Template);
}

void TDeducer::RemoveTemplateDependencies() {
  FactBase_->Clear();
  Rules_->Clear();
}

void TDeducer::SetTypeChecks(TTypeChecks Value) {
  if (Value == TypeChecks_) return;
  TypeChecks_ = Value;
  if (TKbParser* parser = Parsing_->ParserOrNull())
    parser->SetStaticTypeCheck(Value.Contains(tcStatic));
}

// ------------------------------------------------------------ parsing

IFact TDeducer::ParseFact(const std::string& Text) {
  return WithParserOn(*this, Text, [](TKbParser& p, TKbTokenizerStream&) { return p.ParseFact(); });
}

TFactSet* TDeducer::ParseFactSet(const std::string& Text) {
  return WithParserOn(*this, Text,
                      [](TKbParser& p, TKbTokenizerStream&) { return p.ParseFactSet(); });
}

IFactTemplate TDeducer::ParseFactTemplate(const std::string& Text) {
  return WithParserOn(*this, Text,
                      [](TKbParser& p, TKbTokenizerStream&) { return p.ParseFactTemplate(); });
}

IFactSlot TDeducer::ParseFactTemplateSlot(const std::string& Text) {
  return WithParserOn(*this, Text, [](TKbParser& p, TKbTokenizerStream& tokens) {
    // The definition may come with or without its opening parenthesis.
    IStreamToken first = tokens.NextToken();
    if (!first->Is(TokOpenParen)) tokens.PutBackToken(first);
    return p.ParseFactTemplateSlot();
  });
}

IKbValue TDeducer::Parse(const std::string& Text, TKbType DataType) {
  switch (DataType) {
    case dtNone: return NewValue();
    case dtAtom:
    case dtVariable:
    case dtMultiVariable:
    case dtSlot:
    case dtMultiSlot: return NewText(DataType, Text);
    case dtString: {
      size_t first = Text.find_first_not_of('"');
      if (first == std::string::npos) return NewString("");
      size_t last = Text.find_last_not_of('"');
      return NewString(std::string_view(Text).substr(first, last - first + 1));
    }
    case dtInteger: return NewInteger(StrToInt(Text));
    case dtFactId: {
      // Fact identifiers are 32-bit.
      const int64_t id = StrToInt(Text);
      if (id < INT32_MIN || id > INT32_MAX)
        throw EConvertError(Format("'%s' is not a valid integer value", Text));
      return kb::NewFactId(static_cast<int32_t>(id));
    }
    case dtFloat: return NewFloat(StrToFloat(Text));
    case dtFunCall: return NewFunCall(ParseFunCall(Text));
    case dtFact: return NewFactValue(ParseFact(Text));
    case dtList: {
      IKbValue v = ParseValue(Text);
      return v ? v : FCNilList;
    }
    case dtDescriptor:
    case dtObject:
    case dtClass:
    case dtExternalAddress:
    case dtIntArray:
    case dtStringArray:
    case dtVariantArray: KbError(SParseTypeError, EnumName(DataType));
  }
  KbError(SParseTypeError, "Unknown Type (" + IntToStr(DataType) + ")");
}

// ------------------------------------------------------------ pretty print

std::string TDeducer::PrettyPrint(const IFact& Fact) { return GetParser().PrettyPrint(Fact); }

std::string TDeducer::PrettyPrint(TFactSet* FactSet) { return GetParser().PrettyPrint(FactSet); }

std::string TDeducer::PrettyPrint(const IFactSlot& Slot) { return GetParser().PrettyPrint(Slot); }

std::string TDeducer::PrettyPrint(const IFactTemplate& Template) {
  return GetParser().PrettyPrint(Template);
}

}  // namespace kb
