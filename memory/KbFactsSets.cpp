// Fact sets (deffacts): named lists of fact texts with their parsed facts.
#include "memory/KbFactsSets.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsWriter.h"

namespace kb {

// ------------------------------------------------------------ TFactSetFacts

void TFactSetFacts::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
}

const std::string& TFactSetFacts::GetText(int Index) const {
  CheckIndex(Index);
  return Items_[static_cast<size_t>(Index)].Text;
}

int TFactSetFacts::AddFact(const IFact& Fact) {
  Items_.push_back({Fact ? Fact->GetToString() : std::string(), Fact});
  return Count() - 1;
}

IFact TFactSetFacts::GetFact(int Index) {
  CheckIndex(Index);
  TEntry& e = Items_[static_cast<size_t>(Index)];
  if (!e.Fact && FactSet_->GetEngine()) e.Fact = FactSet_->GetEngine()->ParseFact(e.Text);
  return e.Fact;
}

void TFactSetFacts::SetFact(int Index, const IFact& Fact) {
  CheckIndex(Index);
  Items_[static_cast<size_t>(Index)].Fact = Fact;
}

int TFactSetFacts::IndexOf(const IFact& Fact) const {
  for (size_t i = 0; i < Items_.size(); ++i)
    if (Items_[i].Fact == Fact) return static_cast<int>(i);
  return -1;
}

int TFactSetFacts::Remove(const IFact& Fact) {
  int i = IndexOf(Fact);
  if (i >= 0) Delete(i);
  return i;
}

void TFactSetFacts::Delete(int Index) {
  CheckIndex(Index);
  Items_.erase(Items_.begin() + Index);
}

std::vector<std::string> TFactSetFacts::GetStrings() const {
  std::vector<std::string> r;
  r.reserve(Items_.size());
  for (const TEntry& e : Items_) r.push_back(e.Text);
  return r;
}

void TFactSetFacts::SetStrings(const std::vector<std::string>& Texts) {
  std::vector<TEntry> items;
  items.reserve(Texts.size());
  TFactCatalog* engine = FactSet_->GetEngine();
  // Parsed in full before the entries change, so a bad text changes nothing.
  for (const std::string& t : Texts)
    items.push_back({t, engine ? engine->ParseFact(t + NewLineString) : IFact()});
  Items_ = std::move(items);
}

void TFactSetFacts::Reparse() {
  TFactCatalog* engine = FactSet_->GetEngine();
  if (!engine) return;
  for (TEntry& e : Items_) e.Fact = engine->ParseFact(e.Text);
}

void TFactSetFacts::ForgetFactsOf(const TFactTemplate* Template) {
  for (TEntry& e : Items_)
    if (e.Fact && e.Fact->GetTemplate().get() == Template) e.Fact = nullptr;
}

void TFactSetFacts::AssignTo(TIList<TFact>& Dest) {
  Dest.Clear();
  for (const TEntry& e : Items_) Dest.Add(e.Fact);
}

// ----------------------------------------------------------------- TFactSet

TFactSet::TFactSet(TComponent* AOwner) : TComponent(AOwner) {
  if (auto* engine = dynamic_cast<TFactCatalog*>(AOwner)) SetEngine(engine);
}

TFactSet::~TFactSet() {
  BeginDestruction();
  if (Engine_) Engine_->RemoveFactSet(this);
}

void TFactSet::SetEngine(TFactCatalog* Value) {
  if (Value == Engine_) return;
  if (Engine_) {
    Engine_->RemoveFactSet(this);
    RemoveFreeNotification(Engine_);
  }
  Engine_ = Value;
  if (Engine_) {
    FreeNotification(Engine_);
    Engine_->AddFactSet(this);
    Facts_.Reparse();
  }
}

void TFactSet::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  // The engine is going: its fact sets list goes with it.
  if (Operation == TOperation::opRemove && AComponent == Engine_) Engine_ = nullptr;
}

void TFactSet::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TFactSet*>(Source);
  if (!src) {
    TComponent::Assign(Source);
    return;
  }
  if (src == this) return;
  auto* from = const_cast<TFactSet*>(src);
  std::vector<IFact> facts;
  facts.reserve(static_cast<size_t>(from->Facts_.Count()));
  for (int i = 0; i < from->Facts_.Count(); ++i) {
    IFact f = from->Facts_.GetFact(i);
    facts.push_back(f ? f->CloneFact() : IFact());
  }
  Comment_ = src->Comment_;
  Facts_.Clear();
  FactSetName_ = src->FactSetName_;
  for (const IFact& f : facts) Facts_.AddFact(f);
}

TFactSet* TFactSet::Clone(TComponent* Owner) const {
  auto* s = new TFactSet(Owner);
  try {
    s->Assign(this);
  } catch (...) {
    delete s;
    throw;
  }
  return s;
}

std::string TFactSet::GetToString() {
  return Engine_ ? Engine_->PrettyPrint(this) : GetDefaultText();
}

std::string TFactSet::GetDefaultText() { return PrettyPrint(this); }

}  // namespace kb
