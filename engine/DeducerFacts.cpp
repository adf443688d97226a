// The fact base: the fact list, assertion and retraction through the Rete
// network, pending facts, Reset and Clear.
#include "engine/DeducerFacts.h"

#include <algorithm>
#include <utility>

#include "engine/Deducer.h"
#include "engine/DeducerAgenda.h"
#include "engine/DeducerFunctions.h"
#include "engine/DeducerIO.h"
#include "engine/DeducerParse.h"
#include "engine/DeducerParseText.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "framework/ScopeExit.h"
#include "parser/KbClipsParser.h"
#include "rete/ReteGoals.h"
#include "rete/ReteNetwork.h"

namespace kb {

// ------------------------------------------------------------------ TFacts

void TFacts::Compact() const {
  if (Holes_ == 0) return;
  std::erase_if(Items_, [](const IFact& f) { return !f; });
  Holes_ = 0;
  for (size_t i = 0; i < Items_.size(); ++i) Items_[i]->SetMemorySlot(static_cast<uint32_t>(i));
}

size_t TFacts::SlotOf(const TFact* Fact) const {
  Compact();
  return Fact->GetMemoryPlace().Slot;
}

void TFacts::IndexPlace(TFact* Fact, size_t Slot, int32_t Hash) {
  Fact->SetMemoryPlace({this, static_cast<uint32_t>(Slot), Hash});
  const int32_t id = Fact->GetID();
  // An identifier names one fact: a fact stored under it before is not
  // found by it any more (there is none above the highest stored yet).
  if (id > MaxId_)
    MaxId_ = id;
  else
    ById_.Erase(static_cast<uint32_t>(id), [](const TKeyed&) { return true; });
  ById_.Insert({id, Fact});
}

void TFacts::Index(TFact* Fact, size_t Slot) {
  const int32_t hash = Fact->GetHashCode();
  IndexPlace(Fact, Slot, hash);
  ByHash_.Insert({hash, Fact});
}

void TFacts::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
}

IFact TFacts::Get(int Index) const {
  CheckIndex(Index);
  Compact();
  return Items_[static_cast<size_t>(Index)];
}

void TFacts::Append(const IFact& Fact) {
  if (!Fact) return;
  // A fact object is in the list once; storing it again moves it.
  if (Contains(Fact.get())) RemoveFact(Fact.get());
  Index(Fact.get(), Items_.size());
  Items_.push_back(Fact);
}

TFacts::TPlace TFacts::PlaceOf(const TFact& Fact, bool AskEqual) {
  TPlace place{nullptr, 0, Fact.GetHashCode()};
  const int32_t hash = place.Hash;
  place.HashSlot = ByHash_.Probe(static_cast<uint32_t>(hash), [&](const TKeyed& K) {
    if (AskEqual) KeepFirstEqual(K, Fact, hash, place.Equal);
  });
  return place;
}

void TFacts::Append(const IFact& Fact, const TPlace& Place) {
  IndexPlace(Fact.get(), Items_.size(), Place.Hash);
  ByHash_.Fill(Place.HashSlot, {Place.Hash, Fact.get()});
  Items_.push_back(Fact);
}

void TFacts::Unindex(const TFact* Fact) {
  if (!Contains(Fact)) return;
  const auto same = [Fact](const TKeyed& K) { return K.Fact == Fact; };
  ByHash_.Erase(static_cast<uint32_t>(Fact->GetMemoryPlace().Hash), same);
  ById_.Erase(static_cast<uint32_t>(Fact->GetID()), same);
  Fact->SetMemoryPlace({});
}

bool TFacts::RemoveFact(const TFact* Fact) {
  if (!Contains(Fact)) return false;
  const size_t slot = Fact->GetMemoryPlace().Slot;
  IFact keep = std::move(Items_[slot]);  // the fact lives until this returns
  Unindex(Fact);
  if (slot + 1 == Items_.size()) {
    Items_.pop_back();
  } else {
    ++Holes_;
    // Holes never outnumber the facts for long.
    if (Holes_ > Items_.size() / 2) Compact();
  }
  return true;
}

void TFacts::Put(int Index, const IFact& Fact) {
  CheckIndex(Index);
  Compact();
  IFact old = Items_[static_cast<size_t>(Index)];
  Unindex(old.get());
  if (Fact && Contains(Fact.get())) RemoveFact(Fact.get());
  Compact();
  if (!Fact) {
    Items_.erase(Items_.begin() + Index);
    for (size_t i = static_cast<size_t>(Index); i < Items_.size(); ++i)
      Items_[i]->SetMemorySlot(static_cast<uint32_t>(i));
    return;
  }
  Items_[static_cast<size_t>(Index)] = Fact;
  this->Index(Fact.get(), static_cast<size_t>(Index));
}

int TFacts::Add(const IFact& Fact) {
  if (!InEngineUpdate_ && Engine_) {
    Engine_->Assert(Fact);
    return Count() - 1;
  }
  Append(Fact);
  return Count() - 1;
}

void TFacts::Insert(int Index, const IFact& Fact) {
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  if (!Fact) return;
  IFact added = Fact;
  if (!InEngineUpdate_ && Engine_) {
    // With duplicates allowed, the engine may assert a copy of the object.
    const int32_t id = Engine_->Assert(Fact);
    if (id < 0) return;
    added = GetFactByID(id);
  } else {
    Append(Fact);
  }
  // Move it from the end to Index.
  Compact();
  auto it = std::find(Items_.begin(), Items_.end(), added);
  if (it == Items_.end()) return;
  IFact f = *it;
  Items_.erase(it);
  Items_.insert(Items_.begin() + std::min<ptrdiff_t>(Index, static_cast<ptrdiff_t>(Items_.size())),
                f);
  for (size_t i = 0; i < Items_.size(); ++i) Items_[i]->SetMemorySlot(static_cast<uint32_t>(i));
}

void TFacts::Delete(int Index) {
  CheckIndex(Index);
  if (!InEngineUpdate_ && Engine_) {
    Engine_->RetractFact(Index);
    return;
  }
  Compact();
  RemoveFact(Items_[static_cast<size_t>(Index)].get());
}

TFacts::~TFacts() { Release(); }

void TFacts::Release() noexcept {
  for (const IFact& f : Items_)
    if (Contains(f.get())) f->SetMemoryPlace({});
}

void TFacts::Clear() {
  Release();
  Items_.clear();
  Holes_ = 0;
  ById_.Clear();
  MaxId_ = INT32_MIN;
  ByHash_.Clear();
  if (Engine_) Engine_->RetractFacts();
}

int TFacts::FindFact(int32_t ID) const {
  TFact* f = FindByID(ID);
  return f ? static_cast<int>(SlotOf(f)) : -1;
}

int TFacts::FindFact(const IFact& Fact) const {
  TFact* f = Fact ? FindEqual(*Fact) : nullptr;
  return f ? static_cast<int>(SlotOf(f)) : -1;
}

IFact TFacts::GetFactByID(int32_t ID) const { return IFact(FindByID(ID)); }

void TFacts::KeepFirstEqual(const TKeyed& K, const TFact& Fact, int32_t Hash, TFact*& Best) {
  if (K.Key != Hash || (K.Fact != &Fact && !K.Fact->Equals(&Fact))) return;
  if (!Best || K.Fact->GetMemoryPlace().Slot < Best->GetMemoryPlace().Slot) Best = K.Fact;
}

TFact* TFacts::FindEqual(const TFact& Fact) const {
  TFact* best = nullptr;
  const int32_t hash = Fact.GetHashCode();
  ByHash_.ForEach(static_cast<uint32_t>(hash),
                  [&](const TKeyed& K) { KeepFirstEqual(K, Fact, hash, best); });
  return best;
}

std::vector<IFact> TFacts::Snapshot() const {
  Compact();
  return Items_;
}

std::string TFacts::GetToString() const {
  std::string r;
  for (const IFact& f : Snapshot()) {
    if (!r.empty()) r += NewLineString;
    r += f->GetToString();
  }
  return r;
}

std::string TFacts::GetToIDString() const {
  std::string r;
  for (const IFact& f : Snapshot()) {
    if (!r.empty()) r += NewLineString;
    r += f->GetToIDString();
  }
  return r;
}

// ---------------------------------------------------------------- TDeducer

namespace {

// Marks a change of the list made by the engine itself, for the caller's
// scope (also when it fails).
auto InEngineUpdate(TFacts& Facts) {
  Facts.SetInEngineUpdate(true);
  return OnScopeExit([&Facts] { Facts.SetInEngineUpdate(false); });
}

}  // namespace

TDeducerFactBase::TDeducerFactBase(TDeducer& Engine, TDeducerIO& IO) : Engine_(Engine), IO_(IO) {}

TDeducerFactBase::~TDeducerFactBase() { Destroy(); }

void TDeducerFactBase::Create() {
  Facts_ = std::make_unique<TFacts>(&Engine_);
  Rete_ = std::make_unique<TReteNetwork>(&Engine_, &Engine_);
}

void TDeducerFactBase::Destroy() {
  Rete_.reset();
  PendingAssertions_.clear();
  PendingRetractions_.clear();
  if (Facts_) {
    // The list's own teardown never retracts through the engine.
    Facts_->SetInEngineUpdate(true);
    Facts_.reset();
  }
}

bool TDeducerFactBase::IsBusy() const { return Rete_ && Rete_->IsBusy(); }

int32_t TDeducerFactBase::Assert(const IFact& Fact) {
  if (!Fact || !Fact->GetTemplate()) KbError(SNoTemplate);
  if (Rete_->IsBusy()) KbError(SNetworkBusy);
  IFact fact = Fact;
  if (Facts_->Contains(fact.get())) {
    // The object is asserted already: another copy of it is asserted, so
    // that each fact in working memory keeps its own identifier.
    if (!FactDuplication_) return -1;
    fact = Fact->CloneFact();
  } else if (fact->IsInWorkingMemory()) {
    // Another engine holds the object: this one asserts a copy and leaves
    // the other's place and identifier alone.
    fact = Fact->CloneFact();
  }
  // The duplicate check finds the fact's place in the content index too.
  const TFacts::TPlace place = Facts_->PlaceOf(*fact, !FactDuplication_);
  if (place.Equal) return -1;
  const int32_t id = NewFactId();
  fact->SetID(id);
  Facts_->Append(fact, place);
  IO_.WatchFact(true, *fact);
  IReteToken token(new TKbToken(taAdd, fact, ShareSnapshot));
  try {
    Rete_->ProcessToken(token);
  } catch (...) {
    // What the network took of the fact goes again, and so does the fact.
    try {
      IReteToken undo(new TKbToken(taRemove, fact, ShareSnapshot));
      Rete_->ProcessToken(undo);
    } catch (...) {
    }
    auto flag = InEngineUpdate(*Facts_);
    Facts_->RemoveFact(fact.get());
    throw;
  }
  ProcessPendingFacts();
  if (Engine_.OnAssertion) Engine_.OnAssertion(&Engine_, fact);
  return id;
}

IKbValue TDeducerFactBase::EvaluateSlotValue(const TFactSlot& Slot, const IKbValue& Written,
                                             TKbContext& Context) {
  if (Slot.IsMultiSlot() && Written && Written->GetDType() == dtList) {
    // A written list stands for itself: its items are evaluated and
    // spliced straight into the slot's list.
    IValueVector items = NewVector();
    if (const TValueVector* list = Written->ListPtr()) {
      items->Reserve(list->Count());
      Context.ExpandInto(*items, *list);
    }
    return NewList(std::move(items));
  }
  IKbValue v = Written ? Written->Resolve(&Context) : Written;
  const bool list = v && v->GetDType() == dtList;
  if (Slot.IsMultiSlot()) {
    if (list) return NewList(Context.ExpandList(v->GetAsList()));
    IValueVector one = NewVector();
    one->Add(v ? v : FCNil);
    return NewList(one);
  }
  if (list) KbError(SNotMultiSlot, Slot.GetName());
  if (v && IsComputed(Written) && !v->Equals(FCNil) &&
      !Slot.GetSlotType().Contains(v->GetDType()) &&
      (Engine_.GetTypeChecks().Contains(tcStatic) || Engine_.GetTypeChecks().Contains(tcDynamic)))
    KbError(SNotCorrectType, TypeSetText(Slot.GetSlotType(), ", "), EnumName(v->GetDType()));
  return v;
}

IFact TDeducerFactBase::EvaluatedFact(const TFact& Written, TKbContext& Context) {
  const IFactTemplate& tmpl = Written.GetTemplate();
  if (!tmpl) KbError(SNoTemplate);
  return Written.MapValues([&](int Slot, const IKbValue& Value) -> IKbValue {
    if (!IsComputed(Value) && Value->GetDType() != dtList) return Value;
    return EvaluateSlotValue(*tmpl->GetSlotAt(Slot), Value, Context);
  });
}

int32_t TDeducerFactBase::AssertParsed(const IFact& Fact) {
  if (!Fact) KbError(SNoTemplate);
  {
    std::unique_ptr<TKbContext> context(Engine_.GetContext()->Push());
    Fact->AssignValues(EvaluatedFact(*Fact, *context));
  }
  return Engine_.Assert(Fact);
}

void TDeducerFactBase::RetractFact(const IFact& Fact) {
  if (!Fact || !Facts_->Contains(Fact.get())) ListIndexError(-1);
  if (Rete_->IsBusy()) KbError(SNetworkBusy);
  IFact fact = Fact;
  IReteToken token(new TKbToken(taRemove, fact, ShareSnapshot));
  try {
    Rete_->ProcessToken(token);
  } catch (...) {
    // The fact goes all the same: a second pass takes what the network
    // still holds of it (the first stopped on the way), then it leaves
    // working memory.
    try {
      Rete_->ProcessToken(token);
    } catch (...) {
    }
    auto flag = InEngineUpdate(*Facts_);
    Facts_->RemoveFact(fact.get());
    throw;
  }
  if (Engine_.OnRetraction) Engine_.OnRetraction(&Engine_, fact);
  {
    auto flag = InEngineUpdate(*Facts_);
    IO_.WatchFact(false, *fact);
    Facts_->RemoveFact(fact.get());
  }
  ProcessPendingFacts();
}

void TDeducerFactBase::Retract(int32_t ID) {
  if (TFact* f = Facts_->FindByID(ID)) RetractFact(IFact(f));
}

void TDeducerFactBase::Retract(const IFact& Fact) {
  if (!Fact) return;
  if (TFact* f = Facts_->FindEqual(*Fact)) RetractFact(IFact(f));
}

void TDeducerFactBase::RetractFacts() {
  if (Rete_) {
    if (Rete_->IsBusy()) KbError(SNetworkBusy);
    Rete_->ProcessToken(IReteToken(new TKbToken()));
  }
  if (Engine_.OnClearFacts) Engine_.OnClearFacts(&Engine_);
}

void TDeducerFactBase::AddPendingFact(const IFact& Fact, bool Assert) {
  if (!Fact) return;
  (Assert ? PendingAssertions_ : PendingRetractions_).push_back(Fact);
}

void TDeducerFactBase::ProcessPending() {
  // Assertions first, until both queues are empty: processing either may
  // queue more of both. Goals of backward chaining are asserted only while
  // still needed, and withdrawn only while no longer needed and only as
  // the very fact that was asserted for them.
  while (!PendingAssertions_.empty() || !PendingRetractions_.empty()) {
    const bool assert = !PendingAssertions_.empty();
    std::vector<IFact>& queue = assert ? PendingAssertions_ : PendingRetractions_;
    IFact f = queue.front();
    queue.erase(queue.begin());
    const TGoalTable::TVerdict verdict =
        Rete_ ? Rete_->Goals().Settle(f.get(), assert) : TGoalTable::gvNotAGoal;
    if (verdict == TGoalTable::gvDrop) continue;
    if (assert)
      Engine_.Assert(f);
    else if (verdict == TGoalTable::gvNotAGoal)
      Retract(f);
    else if (Facts_->Contains(f.get()))
      RetractFact(f);
  }
}

IFact TDeducerFactBase::GetFactPendingAssertions(int Index) const {
  if (Index < 0 || Index >= GetPendingAssertionCount()) ListIndexError(Index);
  return PendingAssertions_[static_cast<size_t>(Index)];
}

IFact TDeducerFactBase::GetFactPendingRetractions(int Index) const {
  if (Index < 0 || Index >= GetPendingRetractionCount()) ListIndexError(Index);
  return PendingRetractions_[static_cast<size_t>(Index)];
}

void TDeducerFactBase::ProcessPendingFactsWhenIdle() {
  if (Rete_ && !Rete_->IsBusy() && Facts_ && !Engine_.IsDestroying()) ProcessPendingFacts();
}

void TDeducerFactBase::RemoveFactsOf(const IFactTemplate& Template) {
  auto ofTemplate = [&](const IFact& f) { return f && f->GetTemplate() == Template; };
  std::erase_if(PendingAssertions_, ofTemplate);
  std::erase_if(PendingRetractions_, ofTemplate);
  if (Facts_) {
    std::vector<IFact> facts = Facts_->Snapshot();
    for (auto f = facts.rbegin(); f != facts.rend(); ++f)
      if (ofTemplate(*f) && Facts_->Contains(f->get())) RetractFact(*f);
  }
}

void TDeducerFactBase::Clear() {
  ClearPending();
  if (Rete_) Rete_->Clear();
  if (Facts_) Facts_->Clear();
}

void TDeducerFactBase::ClearPending() {
  PendingAssertions_.clear();
  PendingRetractions_.clear();
}

// -------------------------------------------- TDeducer's fact base, forwarded

void TDeducer::CreateFactBase() {
  FactBase_->Create();
  Agenda_->Create();
}

void TDeducer::DestroyFactBase() {
  // The activations go first, then the network, working memory and the
  // agenda's storage. (The events were unassigned before.)
  Agenda_->ClearAll();
  FactBase_->Destroy();
  Agenda_->Destroy();
}

TReteNetwork& TDeducer::ReteNetwork() { return *FactBase_->Network(); }
int32_t TDeducer::Assert(const IFact& Fact) { return FactBase_->Assert(Fact); }
int32_t TDeducer::Assert(const std::string& Text) { return AssertParsed(ParseFact(Text)); }

IKbValue TDeducer::EvaluateSlotValue(const TFactSlot& Slot, const IKbValue& Written,
                                     TKbContext& Context) {
  return FactBase_->EvaluateSlotValue(Slot, Written, Context);
}

void TDeducer::EvaluateFact(TFact& Fact, TKbContext& Context) {
  Fact.AssignValues(FactBase_->EvaluatedFact(Fact, Context));
}

int32_t TDeducer::AssertParsed(const IFact& Fact) { return FactBase_->AssertParsed(Fact); }

void TDeducer::RetractFact(int Index) {
  IFact fact = FactBase_->Facts().Get(Index);
  FactBase_->RetractFact(fact);
}

void TDeducer::Retract(int32_t ID) { FactBase_->Retract(ID); }
void TDeducer::Retract(const IFact& Fact) { FactBase_->Retract(Fact); }

void TDeducer::Retract(const std::string& Text) {
  IFact fact = ParseFact(Text);
  std::unique_ptr<TKbContext> context(GetContext()->Push());
  EvaluateFact(*fact, *context);
  Retract(fact);
}

void TDeducer::RetractFacts() { FactBase_->RetractFacts(); }

void TDeducer::AddPendingFact(const IFact& Fact, bool Assert) {
  FactBase_->AddPendingFact(Fact, Assert);
}

bool TDeducer::HoldsFact(const TFact* Fact) const {
  const TPersistent* facts = FactBase_->FactsOrNull();
  return facts && FactBase_->Facts().Contains(Fact);
}

std::vector<IFact> TDeducer::FactSnapshot() const { return FactBase_->Facts().Snapshot(); }
void TDeducer::ProcessPendingFacts() { FactBase_->ProcessPendingFacts(); }
void TDeducer::ProcessPendingFactsWhenIdle() { FactBase_->ProcessPendingFactsWhenIdle(); }

IFact TDeducer::GetFactPendingAssertions(int Index) const {
  return FactBase_->GetFactPendingAssertions(Index);
}

IFact TDeducer::GetFactPendingRetractions(int Index) const {
  return FactBase_->GetFactPendingRetractions(Index);
}

int TDeducer::GetPendingAssertionCount() const { return FactBase_->GetPendingAssertionCount(); }
int TDeducer::GetPendingRetractionCount() const { return FactBase_->GetPendingRetractionCount(); }
int32_t TDeducer::NewFactId() { return FactBase_->NewFactId(); }
int32_t TDeducer::GetNextFactId() const { return FactBase_->GetNextFactId(); }
void TDeducer::SetNextFactId(int32_t Value) { FactBase_->SetNextFactId(Value); }
bool TDeducer::GetFactDuplication() const { return FactBase_->GetFactDuplication(); }
void TDeducer::SetFactDuplication(bool Value) { FactBase_->SetFactDuplication(Value); }
bool TDeducer::GetResetGlobals() const { return FactBase_->GetResetGlobals(); }
void TDeducer::SetResetGlobals(bool Value) { FactBase_->SetResetGlobals(Value); }

void TDeducer::Reset() {
  FactBase_->Facts().Clear();
  SetNextFactId(0);
  Assert(std::string(SInitialFact));
  if (FactBase_->GetResetGlobals()) {
    // A copy: a global's initial call may define globals.
    std::vector<std::pair<std::string, IKbValue>> globals;
    for (const auto& [name, value] : GlobalVariables().Entries()) globals.emplace_back(name, value);
    for (const auto& [name, value] : globals) ResetGlobalVariable(name, value);
  }
  const std::vector<TFactSet*> sets = FactSets().Items();
  for (TFactSet* s : sets)
    if (FactSets().IndexOf(s) >= 0) s->Reset();
  if (OnReset) OnReset(this);
}

void TDeducer::Clear() {
  SetHalted(false);
  SetNextFactId(0);
  SetNextRuleId(0);
  Agenda_->Clear();
  FactBase_->Network()->Clear();
  Rules_->Clear();
  FactTemplates().Clear();
  GlobalVariables().Clear();
  ReleaseNullFact();
  try {
    FactSets().Clear();
    FactBase_->Facts().Clear();
    FactBase_->ClearPending();
    std::vector<std::string> deffunctions;
    for (const auto& [name, f] : UserFunctions_->Entries())
      if (RefCast<TInterpretedFunction>(f)) deffunctions.push_back(name);
    for (const std::string& name : deffunctions) UserFunctions_->Remove(name);
    Variables_->Clear();
    IOStreams().Clear();
  } catch (...) {
    if (!IsDestroying()) CreateImpliedTemplates();
    throw;
  }
  if (!IsDestroying()) CreateImpliedTemplates();
  if (OnClear) OnClear(this);
}

bool TDeducer::LoadFacts(TStream& Stream) {
  return WithParserOver(*this, Stream,
                        [](TKbParser& Parser, TKbTokenizerStream&) { return Parser.LoadFacts(); });
}

// ---------------------------------------------------------------- TFactSet

void TFactSet::Reset() {
  TDeducer* engine = EngineOf(Engine_);
  if (!engine) return;
  std::unique_ptr<TKbContext> context(engine->GetContext()->Push());
  for (int i = 0; i < Facts_.Count(); ++i) {
    IFact f = Facts_.GetFact(i);
    if (!f) continue;
    // Calls in a fact (a default-dynamic default, an expression written in
    // the deffacts) run now, for every fact asserted, as "assert" runs
    // them: otherwise the fact would hold the call itself.
    engine->Assert(engine->EvaluatedFact(*f, *context));
  }
}

}  // namespace kb
