// Facts: the copy-on-write value array, values by slot index, copying,
// comparison and text. Also the members of values, calls and contexts that
// need a complete TFact.
#include <cstring>
#include <new>

#include "core/KbContext.h"
#include "core/KbFunctions.h"
#include "core/KbHelperFunctions.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsFact.h"
#include "memory/KbFactsWriter.h"

namespace kb {

// -------------------------------------------------------------- TFactValues

TFactValues* TFactValues::Make(TSlotLayout* Layout, uint32_t Count) {
  void* mem = AllocatePooled(sizeof(TFactValues) + Count * sizeof(IKbValue));
  auto* v = new (mem) TFactValues(Layout, Count);
  IKbValue* items = v->Items();
  // Facts mostly have a slot or two, cleared without a call.
  if (Count <= 2) {
    if (Count > 0) new (items) IKbValue();
    if (Count > 1) new (items + 1) IKbValue();
  } else {
    for (uint32_t i = 0; i < Count; ++i) new (items + i) IKbValue();
  }
  return v;
}

void TFactValues::Release() const noexcept {
  if (--Refs_ != 0) return;
  auto* self = const_cast<TFactValues*>(this);
  IKbValue* items = self->Items();
  const uint32_t count = Count_;
  for (uint32_t i = 0; i < count; ++i) items[i].~IKbValue();
  self->~TFactValues();
  FreePooled(self, sizeof(TFactValues) + count * sizeof(IKbValue));
}

// -------------------------------------------------------------------- TFact

TFact::TFact(const IFactTemplate& Template) : Template_(Template) {
  if (Template_) {
    TSlotLayout* layout = Template_->GetLayout();
    Values_ =
        TRef<TFactValues>(TFactValues::Make(layout, static_cast<uint32_t>(layout->Names().size())));
  }
}

TFact::TFact(const IFactTemplate& Template, const IFact& Source) : TFact(Template) {
  if (Source) Assign(ICloneable(Source));
}

TFact::TFact(const IFactTemplate& Template, TFactValues* Values, int32_t ID, int32_t Tag)
    : Template_(Template), Values_(Values), ID_(ID), Tag_(Tag) {}

TFact::~TFact() = default;

void TFact::NoTemplate() { KbError(SNoTemplate); }

void TFact::RequireChangeable() const {
  if (IsInWorkingMemory()) KbError(SFactInWorkingMemory, ID_);
}

int TFact::SlotIndex(std::string_view Name) const {
  int i = Template_->IndexOfSlot(Name);
  if (i < 0) KbError(SInvalidSlotName, Name);
  return i;
}

void TFact::Relayout() const {
  TSlotLayout* target = Template_->GetLayout();
  TFactValues* old = Values_.get();
  if (old && old->Layout() == target) return;
  // The template's slots changed since the array was built: carry every
  // value over by slot name; values of slots that went are dropped.
  TRef<TFactValues> fresh(TFactValues::Make(target, static_cast<uint32_t>(target->Names().size())));
  if (old) {
    const std::vector<std::string>& names = target->Names();
    for (size_t i = 0; i < names.size(); ++i) {
      int j = old->Layout()->IndexOf(names[i]);
      if (j >= 0 && static_cast<uint32_t>(j) < old->Count()) fresh->Items()[i] = old->Items()[j];
    }
  }
  Values_ = std::move(fresh);
}

const IKbValue& TFact::GetValueSlow(int Index) const {
  RequireTemplate();
  if (Index < 0 || Index >= Template_->GetSlotCount()) ListIndexError(Index);
  Relayout();
  // A value array shared with clones gets the default filled in for all of
  // them: they are snapshots of one fact, whose value this is.
  IKbValue& v = Values_->Items()[Index];
  if (!v) {
    const IKbValue& def = Template_->GetSlotAt(Index)->GetSlotDefault();
    v = def ? def->CloneValue() : FCNil;
  }
  return v;
}

const IKbValue& TFact::PeekIn(const TFactValues& Values, int Index) const {
  const IKbValue& v = Values.Items()[Index];
  if (v) return v;
  const IKbValue& def = Template_->GetSlotAt(Index)->GetSlotDefault();
  return def ? def : FCNil;
}

const IKbValue& TFact::PeekValue(int Index) const { return PeekIn(LaidOut(), Index); }

const IKbValue& TFact::GetValue(std::string_view Name) const {
  RequireTemplate();
  return GetValue(SlotIndex(Name));
}

IKbValue TFact::ContainsKey(std::string_view Name) const {
  RequireTemplate();
  int i = Template_->IndexOfSlot(Name);
  return i < 0 ? IKbValue() : GetValue(i);
}

bool TFact::HasValue(int Index) const {
  if (!Template_ || Index < 0 || Index >= Template_->GetSlotCount()) return false;
  Relayout();
  return static_cast<bool>(Values_->Items()[Index]);
}

IKbValue* TFact::MutableItems() {
  Relayout();
  if (Values_->IsShared()) {
    const TFactValues& old = *Values_;
    TRef<TFactValues> copy(TFactValues::Make(old.Layout(), old.Count()));
    for (uint32_t i = 0; i < old.Count(); ++i) copy->Items()[i] = old.Items()[i];
    Values_ = std::move(copy);
  }
  Values_->ForgetHash();
  return Values_->Items();
}

void TFact::CheckTypeNow(const TFactTemplate& Template, int Index, const IKbValue& Value) {
  TKbTypes types = Template.GetSlotAt(Index)->GetSlotType();
  TKbType tag = Value->GetDType();
  if (!types.Contains(tag) && tag != dtFunCall)
    KbError(SNotCorrectType, TypeSetText(types, ", "), EnumName(tag));
}

void TFact::SetValue(int Index, const IKbValue& Value) {
  RequireChangeable();
  RequireTemplate();
  if (Index < 0 || Index >= Template_->GetSlotCount()) ListIndexError(Index);
  const IKbValue& v = Value ? Value : FCNil;
  CheckType(*Template_, Index, v);
  MutableItems()[Index] = v;
}

void TFact::SetValue(std::string_view Name, const IKbValue& Value) {
  RequireTemplate();
  SetValue(SlotIndex(Name), Value);
}

void TFact::SetValues(const TValueHashTable& Table) {
  RequireChangeable();
  RequireTemplate();
  // Checked in full before anything is stored.
  std::vector<std::pair<int, IKbValue>> values;
  values.reserve(Table.Count());
  for (const auto& [name, value] : Table.Entries()) {
    int i = SlotIndex(name);
    IKbValue v = value ? value->CloneValue() : FCNil;
    CheckType(*Template_, i, v);
    values.emplace_back(i, std::move(v));
  }
  TSlotLayout* layout = Template_->GetLayout();
  TRef<TFactValues> fresh(TFactValues::Make(layout, static_cast<uint32_t>(layout->Names().size())));
  for (auto& [i, v] : values) fresh->Items()[i] = std::move(v);
  Values_ = std::move(fresh);
}

std::vector<std::string> TFact::GetSlotNames() const {
  std::vector<std::string> r;
  if (!Template_) return r;
  Relayout();
  for (int i = 0; i < Template_->GetSlotCount(); ++i)
    if (Values_->Items()[i]) r.push_back(Template_->GetSlotAt(i)->GetName());
  return r;
}

std::vector<IKbValue> TFact::GetSlotValues() const {
  std::vector<IKbValue> r;
  if (!Template_) return r;
  Relayout();
  for (int i = 0; i < Template_->GetSlotCount(); ++i)
    if (const IKbValue& v = Values_->Items()[i]) r.push_back(v);
  return r;
}

void TFact::SetTemplate(const IFactTemplate& Value) {
  RequireChangeable();
  if (Value == Template_) return;
  if (!Value) {
    Template_ = nullptr;
    Values_ = nullptr;
    return;
  }
  TSlotLayout* layout = Value->GetLayout();
  TRef<TFactValues> fresh(TFactValues::Make(layout, static_cast<uint32_t>(layout->Names().size())));
  for (int i = 0; i < Value->GetSlotCount(); ++i) {
    TFactSlot* slot = Value->GetSlotAt(i);
    IKbValue v;
    if (Template_) {
      int j = Template_->IndexOfSlot(slot->GetName());
      if (j >= 0 && HasValue(j)) v = Values_->Items()[j];
    }
    if (!v) v = slot->GetSlotDefault() ? slot->GetSlotDefault()->CloneValue() : FCNil;
    fresh->Items()[i] = std::move(v);
  }
  Template_ = Value;
  Values_ = std::move(fresh);
}

void TFact::AssignValues(const IFact& Source) {
  RequireChangeable();
  if (!Template_ || !Source || !Source->Template_) KbError(SNoTemplate);
  if (Template_ != Source->Template_)
    KbError(SFactTemplatesDifferent, Template_->GetTemplateName(),
            Source->Template_->GetTemplateName());
  if (Source.get() == this) return;
  // Stored values are immutable, so taking the source's array is a copy.
  Source->Relayout();
  Values_ = Source->Values_;
}

void TFact::AssignFrom(const TFact& Source, bool TypeChecked) {
  RequireChangeable();
  if (&Source == this) return;
  IFact from(const_cast<TFact*>(&Source));
  const IFactTemplate theirs = Source.Template_;
  if (!theirs) KbError(SNoTemplate);
  TFactCatalog* engine = Template_ ? Template_->GetEngine() : nullptr;
  if (engine && Template_ != theirs && Template_->GetOwner() != theirs->GetOwner()) {
    // A fact of another engine: copied for this engine, on its template
    // of that name (brought over from the source's when there is none). A
    // slot that template lacks would lose its value: refused instead.
    from = engine->CopyValue(NewFactValue(from))->GetAsFact();
    const IFactTemplate& mine = from->Template_;
    for (int i = 0; i < theirs->GetSlotCount(); ++i)
      if (mine->IndexOfSlot(theirs->GetSlotAt(i)->GetName()) < 0)
        KbError(SFactTemplatesDifferent, mine->GetTemplateName(), theirs->GetTemplateName());
  } else if (TypeChecked) {
    Source.Relayout();
    for (int i = 0; i < theirs->GetSlotCount(); ++i)
      if (const IKbValue& v = Source.Values_->Items()[i]) CheckType(*theirs, i, v);
  }
  Template_ = from->Template_;
  from->Relayout();
  Values_ = from->Values_;
  ID_ = Source.ID_;
  Tag_ = Source.Tag_;
}

void TFact::Assign(const ICloneable& Source) {
  auto* src = dynamic_cast<const TFact*>(Source.get());
  if (!src) InterfaceCastError("IFact");
  AssignFrom(*src, false);
}

void TFact::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TFact*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  AssignFrom(*src, true);
}

ICloneable TFact::Clone() const { return CloneFact(); }

IFact TFact::CloneFact() const { return IFact(new TFact(Template_, Values_.get(), ID_, Tag_)); }

bool TFact::Equals(const TFact* Other) const {
  if (Other == this) return true;
  if (!Other || !Template_ || Other->Template_ != Template_) return false;
  const TFactValues& mine = LaidOut();
  const TFactValues& theirs = Other->LaidOut();
  if (&mine == &theirs) return true;
  const int n = Template_->GetSlotCount();
  for (int i = 0; i < n; ++i) {
    const IKbValue& a = PeekIn(mine, i);
    const IKbValue& b = PeekIn(theirs, i);
    if (a != b && !a->Equals(b.get())) return false;
  }
  return true;
}

bool TFact::Equals(const TCloneable* Other) const {
  return Equals(dynamic_cast<const TFact*>(Other));
}

int32_t TFact::GetHashCode() const {
  if (!Template_) return 0;
  const TFactValues& values = LaidOut();
  if (values.HasHash()) return values.Hash();
  const int n = Template_->GetSlotCount();
  uint32_t h = Template_->GetHashSeed();
  bool full = true;
  for (int i = 0; i < n; ++i) {
    full = full && values.Items()[i];
    h = HashMix(h, static_cast<uint32_t>(PeekIn(values, i)->Hash()));
  }
  const int32_t hash = HashFinish(h);
  if (full) values.KeepHash(hash);
  return hash;
}

std::string TFact::GetToString() const {
  TFactCatalog* engine = Template_ ? Template_->GetEngine() : nullptr;
  return engine ? engine->PrettyPrint(IFact(const_cast<TFact*>(this))) : GetDefaultText();
}

std::string TFact::GetDefaultText() const { return PrettyPrint(IFact(const_cast<TFact*>(this))); }

std::string TFact::GetToIDString() const {
  std::string r = "f-";
  TFactCatalog* engine = Template_ ? Template_->GetEngine() : nullptr;
  if (!engine) {
    r += IntToStr(ID_);
  } else {
    size_t width = IntToStr(engine->GetNextFactId()).size();
    std::string digits = IntToStr(ID_ < 0 ? -static_cast<int64_t>(ID_) : ID_);
    if (ID_ < 0) r += '-';
    if (digits.size() < width) r.append(width - digits.size(), '0');
    r += digits;
  }
  r += ' ';
  r += GetToString();
  return r;
}

IKbValue NewFactValue(const IFact& Fact) {
  IKbValue v = NewValue();
  v->SetAsFact(Fact);
  return v;
}

// ------------------------------------------------------------- ForEachFact

void ForEachFact(const IKbValue& Value, const std::function<void(TFact&)>& Visit) {
  if (!Value) return;
  switch (Value->GetDType()) {
    case dtFact: {
      IFact f = Value->GetAsFact();
      if (!f) return;
      Visit(*f);
      if (const IFactTemplate& t = f->GetTemplate())
        for (int i = 0; i < t->GetSlotCount(); ++i) ForEachFact(f->PeekValue(i), Visit);
      return;
    }
    case dtList:
      for (const IKbValue& item : *Value->ListPtr()) ForEachFact(item, Visit);
      return;
    case dtFunCall: ForEachFact(Value->GetAsFunCall(), Visit); return;
    default: return;
  }
}

void ForEachFact(const IFunCall& Call, const std::function<void(TFact&)>& Visit) {
  if (!Call) return;
  for (const IKbValue& a : Call->Arguments()) ForEachFact(a, Visit);
}

// ------------------------------------- members of other units needing TFact

void TKbValue::SetAsFact(const IFact& V) { SetIntf(dtFact, V.get()); }

IFact TKbValue::GetAsFact() const {
  if (DType_ != dtFact) TypeError("fact");
  return IFact(static_cast<TFact*>(U_.Intf));
}

int TFunctionCall::AddArgument(const IFact& Value) { return AddArgument(NewFactValue(Value)); }

void TKbContext::SetFact(const IFact& Value) { Fact_ = Value; }

}  // namespace kb
