// Fact slots and fact templates (facts are in KbFactsFact.cpp, fact sets in
// KbFactsSets.cpp).
#include "memory/KbFacts.h"
#include "memory/KbFactsFact.h"

#include <algorithm>
#include <atomic>

#include "core/KbHelperFunctions.h"
#include "core/KbWriter.h"
#include "memory/KbFactsWriter.h"

namespace kb {

namespace {

// The default a slot of these types starts from when it has none that fits.
// It has a text that reads back as it under the slot's type checks, so
// that facts holding it (and whatever is made from them) can be saved: nil
// (read as a symbol) where symbols are allowed, the empty string where
// only strings are, a zero of the slot's number type. (The empty symbol
// has no text at all.)
const IKbValue& DefaultForTypes(TKbTypes Types) {
  static const IKbValue FloatZero = NewConstant(NewFloat(0.0));
  static const IKbValue EmptyString = NewConstant(NewString(""));
  if (Types.Contains(dtMultiSlot)) return FCNilList;
  if (Types.Contains(dtAtom)) return FCNil;
  if (Types.Contains(dtString)) return EmptyString;
  if (Types.Contains(dtInteger)) return FCZero;
  if (Types.Contains(dtFloat)) return FloatZero;
  return FCNil;
}

}  // namespace

void CheckConstructName(const std::string& Name) {
  size_t pos = static_cast<size_t>(ContainsCharacters(Name, KbNameExcludedChars));
  if (pos == 0) pos = UnwritableNameChar(Name);
  if (pos > 0) KbError(SUnexpectedCharacters, Name, Name[pos - 1]);
  if (!IsPlainSymbol(Name)) KbError(SNameNotSymbol, Name);
}

std::string TypeSetText(TKbTypes Types, std::string_view Separator) {
  return UpperCase(SetToString(Types, Separator, false));
}

// ---------------------------------------------------------------- TFactSlot

TFactSlot::TFactSlot(TFactTemplate* Template) : Template_(Template) {}

std::string TFactSlot::GetTemplateName() const {
  return Template_ ? Template_->GetTemplateName() : std::string();
}

void TFactSlot::SetName(const std::string& Value) {
  if (Value == Name_) return;
  CheckConstructName(Value);
  if (Template_) Template_->NewSlotName(this, Value);
  Name_ = Value;
}

void TFactSlot::SetSlotDefault(const IKbValue& Value) {
  if (Value && SlotDefault_ && Value->Equals(SlotDefault_)) return;
  IKbValue v = Value;
  if (Template_) Template_->NewSlotDefault(this, v);
  SlotDefault_ = std::move(v);
}

void TFactSlot::SetSlotType(TKbTypes Value) {
  if (Value == SlotType_) return;
  if (Template_) Template_->NewSlotType(this, Value);
  SlotType_ = Value;
  // A call is evaluated for each new fact, so its type is not known here;
  // the type checks accept calls too.
  if (!SlotDefault_ ||
      (!Value.Contains(SlotDefault_->GetDType()) && SlotDefault_->GetDType() != dtFunCall))
    SetSlotDefault(DefaultForTypes(Value));
}

bool TFactSlot::Equals(const TCloneable* Other) const {
  if (Other == this) return true;
  auto* o = dynamic_cast<const TFactSlot*>(Other);
  if (!o || o->Name_ != Name_ || o->SlotType_ != SlotType_) return false;
  if (o->SlotDefault_ == SlotDefault_) return true;
  if (!SlotDefault_) return false;
  // Loose comparison converts the other default to this one's type; a
  // default that cannot be converted is simply different.
  try {
    return SlotDefault_->EqualsStar(o->SlotDefault_);
  } catch (const EKbException&) {
    return false;
  }
}

void TFactSlot::Assign(const ICloneable& Source) {
  auto* src = dynamic_cast<const TFactSlot*>(Source.get());
  if (!src) InterfaceCastError("IFactSlot");
  if (src == this) return;
  SetName(src->Name_);
  SlotDefault_ = src->SlotDefault_;
  SlotType_ = src->SlotType_;
  Tag_ = src->Tag_;
}

void TFactSlot::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TFactSlot*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  IKbValue def = src->SlotDefault_;
  SetName(src->Name_);
  SetSlotType(src->SlotType_);
  SetSlotDefault(def);
  Tag_ = src->Tag_;
}

ICloneable TFactSlot::Clone() const { return CloneSlot(); }

IFactSlot TFactSlot::CloneSlot() const {
  IFactSlot s(new TFactSlot(nullptr));
  s->Assign(ICloneable(const_cast<TFactSlot*>(this)));
  return s;
}

std::string TFactSlot::GetToString() const {
  return Template_ ? Template_->SlotToString(this) : GetDefaultText();
}

std::string TFactSlot::GetDefaultText() const {
  return PrettyPrint(IFactSlot(const_cast<TFactSlot*>(this)));
}

// -------------------------------------------------------------- TSlotLayout

int TSlotLayout::IndexOf(std::string_view Name) const noexcept {
  for (size_t i = 0; i < Names_.size(); ++i)
    if (Names_[i] == Name) return static_cast<int>(i);
  return -1;
}

// ------------------------------------------------------------ TFactTemplate

namespace {

// Each template object gets its own number; the order of creation makes it
// the same from run to run.
uint32_t NewHashSeed() noexcept {
  static std::atomic<uint32_t> counter{0};
  return HashMix(0, counter.fetch_add(1, std::memory_order_relaxed));
}

}  // namespace

TFactTemplate::TFactTemplate(TComponent* Owner) : HashSeed_(NewHashSeed()) { Init(Owner); }

TFactTemplate::TFactTemplate(TComponent* Owner, const std::string& Name)
    : TemplateName_(Name), HashSeed_(NewHashSeed()) {
  Init(Owner);
}

TFactTemplate::TFactTemplate(TComponent* Owner, const std::string& Name, const std::string& Comment,
                             const IFactTemplate& Parent)
    : HashSeed_(NewHashSeed()) {
  Init(Owner);
  try {
    if (Parent) Assign(ICloneable(Parent));
  } catch (...) {
    if (Engine_) Engine_->DetachTemplate(this);
    throw;
  }
  TemplateName_ = Name;
  Comment_ = Comment;
  if (Parent && Parent->Owner_ == Owner_)
    Parent_ = Parent;
  else
    Parent_ = nullptr;
}

void TFactTemplate::Init(TComponent* Owner) {
  Owner_ = Owner;
  Engine_ = dynamic_cast<TFactCatalog*>(Owner);
  if (Engine_) Engine_->AttachTemplate(this);
}

TFactTemplate::~TFactTemplate() {
  if (Engine_) Engine_->DetachTemplate(this);
  for (IFactSlot& s : Slots_) {
    s->Template_ = nullptr;
    s->Index_ = -1;
  }
}

void TFactTemplate::DetachOwner() noexcept {
  Owner_ = nullptr;
  Engine_ = nullptr;
}

void TFactTemplate::SetTemplateName(const std::string& Value) {
  if (Value == TemplateName_) return;
  CheckConstructName(Value);
  // Only the template the engine holds under the old name moves.
  if (Engine_ && Engine_->FindFactTemplate(TemplateName_).get() == this)
    Engine_->ChangeFactTemplateName(TemplateName_, Value);
  TemplateName_ = Value;
  if (Engine_) Engine_->FactTemplateLineageChanged();
}

void TFactTemplate::CheckParent(const IFactTemplate& Value) const {
  for (const TFactTemplate* t = Value.get(); t; t = t->Parent_.get())
    if (t == this) KbError(SCyclicParentTemplate, TemplateName_, Value->TemplateName_);
}

void TFactTemplate::SetParent(const IFactTemplate& Value) {
  if (Value == Parent_) return;
  CheckParent(Value);
  Parent_ = Value;
  if (Engine_) Engine_->FactTemplateLineageChanged();
}

std::vector<std::string> TFactTemplate::GetSlotNames() const {
  std::vector<std::string> r;
  r.reserve(Slots_.size());
  for (const IFactSlot& s : Slots_) r.push_back(s->Name_);
  return r;
}

int TFactTemplate::IndexOfSlot(std::string_view Name) const {
  auto it = Index_.find(Name);
  return it == Index_.end() ? -1 : it->second;
}

TFactSlot* TFactTemplate::FindSlot(std::string_view Name) const {
  int i = IndexOfSlot(Name);
  return i < 0 ? nullptr : Slots_[static_cast<size_t>(i)].get();
}

IFactSlot TFactTemplate::GetSlot(std::string_view Name) const {
  TFactSlot* s = FindSlot(Name);
  if (!s) KbError(SInvalidSlotName, Name);
  return s;
}

void TFactTemplate::RecomputeOrdered() {
  Ordered_ = Slots_.size() < 2 && Index_.find(std::string_view(SDefaultSlotName)) != Index_.end();
}

// Rebuilds the name index and the slots' indexes from Slots_; Renamed is
// indexed under NewName (its own name is stored after the hook).
void TFactTemplate::Reindex(const TFactSlot* Renamed, std::string_view NewName) {
  Index_.clear();
  for (size_t i = 0; i < Slots_.size(); ++i) {
    TFactSlot* s = Slots_[i].get();
    s->Index_ = static_cast<int>(i);
    Index_.emplace(s == Renamed ? std::string(NewName) : s->Name_, static_cast<int>(i));
  }
}

void TFactTemplate::RemoveSlotAt(int Index) {
  IFactSlot gone = Slots_[static_cast<size_t>(Index)];
  Slots_.erase(Slots_.begin() + Index);
  gone->Template_ = nullptr;
  gone->Index_ = -1;
}

void TFactTemplate::NewSlotName(TFactSlot* Slot, const std::string& Name) {
  // Keep the slot alive while entries move.
  IFactSlot keep(Slot);
  bool present = Slot->Index_ >= 0 && static_cast<size_t>(Slot->Index_) < Slots_.size() &&
                 Slots_[static_cast<size_t>(Slot->Index_)] == Slot;
  // Another slot of the new name gives way, as a table entry would; a new
  // slot takes its place.
  int other = IndexOfSlot(Name);
  if (other >= 0 && Slots_[static_cast<size_t>(other)] != Slot) {
    RemoveSlotAt(other);
    if (!present) {
      Slots_.insert(Slots_.begin() + other, keep);
      present = true;
    }
  }
  if (!present) Slots_.push_back(keep);
  Reindex(Slot, Name);
  RecomputeOrdered();
  Layout_ = nullptr;
}

void TFactTemplate::NewSlotDefault(TFactSlot*, IKbValue& Value) {
  if (Value && Value->GetDType() == dtFunCall) Value = Value->CloneValue();
}

void TFactTemplate::NewSlotType(TFactSlot*, TKbTypes) {}

std::string TFactTemplate::SlotToString(const TFactSlot* Slot) const {
  return Engine_ ? Engine_->PrettyPrint(IFactSlot(const_cast<TFactSlot*>(Slot)))
                 : Slot->GetDefaultText();
}

IFactSlot TFactTemplate::AddSlot(const std::string& Name, const IKbValue& Default) {
  if (!Default) KbError(SBadSlotType);
  if (Default->GetDType() == dtList) KbError(SInvalidSlotDefault, Default->GetToString());
  if (TFactSlot* s = FindSlot(Name)) {
    if (s->SlotDefault_ && s->SlotDefault_->GetDType() == dtList)
      KbError(SInvalidExistingMultiSlotChange);
    s->SetSlotDefault(Default);
    RecomputeOrdered();
    return s;
  }
  IFactSlot s(new TFactSlot(this));
  s->SetSlotDefault(Default);
  s->SetName(Name);
  s->SetSlotType(KbSlotTypes);
  RecomputeOrdered();
  return s;
}

IFactSlot TFactTemplate::AddMultiSlot(const std::string& Name, const IKbValue& Default) {
  if (!Default) KbError(SBadSlotType);
  if (Default->GetDType() != dtList) KbError(SInvalidDefaultMultislotValue, Default->GetToString());
  if (Trim(Name).empty()) KbError(SBadSlotName, Name);
  if (TFactSlot* s = FindSlot(Name)) {
    if (s->SlotDefault_ && s->SlotDefault_->GetDType() != dtList)
      KbError(SInvalidExistingSlotChange);
    s->SetSlotDefault(Default);
    RecomputeOrdered();
    return s;
  }
  IFactSlot s(new TFactSlot(this));
  s->SetSlotDefault(Default);
  s->SetName(Name);
  s->SetSlotType(KbMultiSlotTypes);
  RecomputeOrdered();
  return s;
}

IFactSlot TFactTemplate::AddSlot(const IFactSlot& Slot) {
  if (!Slot) KbError(SBadSlotType);
  IFactSlot s(new TFactSlot(this));
  s->Assign(ICloneable(Slot));
  return s;
}

void TFactTemplate::SetSlot(const std::string& Name, const IFactSlot& Slot) {
  if (!Slot) KbError(SBadSlotType);
  if (Slot->Name_ != Name) KbError(SNoIndexNameMatch, Name, Slot->Name_);
  int i = IndexOfSlot(Name);
  if (i >= 0 && Slots_[static_cast<size_t>(i)] == Slot) return;
  // A slot's index belongs to one template, so the entry is a copy of
  // Slot; it takes the place of the slot it replaces.
  IFactSlot s(new TFactSlot(this));
  s->Name_ = Name;
  s->SlotDefault_ = Slot->SlotDefault_;
  s->SlotType_ = Slot->SlotType_;
  s->Tag_ = Slot->Tag_;
  if (i >= 0) {
    RemoveSlotAt(i);
    Slots_.insert(Slots_.begin() + i, s);
  } else {
    Slots_.push_back(s);
    Layout_ = nullptr;
  }
  Reindex();
  RecomputeOrdered();
}

void TFactTemplate::RemoveSlot(std::string_view Name) {
  int i = IndexOfSlot(Name);
  if (i < 0) KbError(SInvalidSlotName, Name);
  RemoveSlotAt(i);
  Reindex();
  Layout_ = nullptr;
}

void TFactTemplate::ClearSlots() {
  while (!Slots_.empty()) RemoveSlotAt(static_cast<int>(Slots_.size()) - 1);
  Index_.clear();
  Layout_ = nullptr;
}

TSlotLayout* TFactTemplate::GetLayout() const {
  if (!Layout_) Layout_ = TRef<TSlotLayout>(new TSlotLayout(GetSlotNames()));
  return Layout_.get();
}

IFact TFactTemplate::NewFact() {
  IFact f(new TFact(IFactTemplate(this)));
  FillFactWithDefaults(f);
  return f;
}

void TFactTemplate::FillFactWithDefaults(const IFact& Fact) {
  if (!Fact || !Fact->GetTemplate()) KbError(SNoTemplate);
  if (Fact->GetTemplate().get() != this)
    KbError(SFactTemplatesDifferent, Fact->GetTemplate()->TemplateName_, TemplateName_);
  for (size_t i = 0; i < Slots_.size(); ++i) {
    const IKbValue& def = Slots_[i]->SlotDefault_;
    Fact->SetValue(static_cast<int>(i), def ? def->CloneValue() : FCNil);
  }
}

bool TFactTemplate::Equals(const TCloneable* Other) const {
  if (Other == this) return true;
  auto* o = dynamic_cast<const TFactTemplate*>(Other);
  if (!o || o->Ordered_ != Ordered_ || o->TemplateName_ != TemplateName_) return false;
  for (const IFactSlot& s : Slots_) {
    TFactSlot* os = o->FindSlot(s->Name_);
    if (!os || !s->Equals(os)) return false;
  }
  return true;
}

// Each copy is built name, types, default, so that it keeps the source's
// default even when that default's type is outside the type set.
void TFactTemplate::CopySlotsFrom(const TFactTemplate& Source) {
  // Copy first: Source may be this template.
  std::vector<IFactSlot> src = Source.Slots_;
  ClearSlots();
  for (const IFactSlot& from : src) {
    IFactSlot s(new TFactSlot(this));
    s->SetName(from->Name_);
    s->SetSlotType(from->SlotType_);
    const IKbValue& def = from->SlotDefault_;
    s->SetSlotDefault(def ? def->CloneValue() : DefaultForTypes(from->SlotType_));
    s->Tag_ = from->Tag_;
  }
  RecomputeOrdered();
}

void TFactTemplate::AssignSlots(const IFactTemplate& Source) {
  if (!Source) InterfaceCastError("IFactTemplate");
  CopySlotsFrom(*Source);
}

void TFactTemplate::Assign(const ICloneable& Source) {
  auto* src = dynamic_cast<const TFactTemplate*>(Source.get());
  if (!src) InterfaceCastError("IFactTemplate");
  if (src == this) return;
  IFactTemplate keep(const_cast<TFactTemplate*>(src));
  BackwardChaining_ = src->BackwardChaining_;
  Comment_ = src->Comment_;
  const bool renamed = TemplateName_ != src->TemplateName_;
  TemplateName_ = src->TemplateName_;
  if (renamed && Engine_) Engine_->FactTemplateLineageChanged();
  IFactTemplate parent = src->Parent_;
  if (parent && parent->Owner_ != src->Owner_) parent = nullptr;
  SetParent(parent);
  CopySlotsFrom(*src);
  Ordered_ = src->Ordered_;
  Tag_ = src->Tag_;
}

void TFactTemplate::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TFactTemplate*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  BackwardChaining_ = src->BackwardChaining_;
  Comment_ = src->Comment_;
  SetTemplateName(src->TemplateName_);
  IFactTemplate parent = src->Parent_;
  if (parent && parent->Owner_ != Owner_) parent = nullptr;
  SetParent(parent);
  CopySlotsFrom(*src);
  Ordered_ = src->Ordered_;
  Tag_ = src->Tag_;
}

ICloneable TFactTemplate::Clone() const { return CloneTemplate(Owner_); }

IFactTemplate TFactTemplate::CloneTemplate(TComponent* Owner) const {
  IFactTemplate t(new TFactTemplate(Owner));
  t->Assign(ICloneable(const_cast<TFactTemplate*>(this)));
  return t;
}

std::string TFactTemplate::GetToString() const {
  return Engine_ ? Engine_->PrettyPrint(IFactTemplate(const_cast<TFactTemplate*>(this)))
                 : GetDefaultText();
}

std::string TFactTemplate::GetDefaultText() const {
  return PrettyPrint(IFactTemplate(const_cast<TFactTemplate*>(this)));
}

}  // namespace kb
