#include "framework/Classes.h"

#include <cxxabi.h>
#include <algorithm>
#include <cstdlib>
#include <typeinfo>
#include <unordered_map>

#include "framework/Streams.h"

namespace kb {

static std::string DemangledName(const std::type_info& ti) {
  int status = 0;
  char* p = abi::__cxa_demangle(ti.name(), nullptr, nullptr, &status);
  std::string r = (status == 0 && p) ? p : ti.name();
  std::free(p);
  // Classes of this library print without their namespace.
  if (r.rfind("kb::", 0) == 0) r.erase(0, 4);
  return r;
}

void TPersistent::Assign(const TPersistent* Source) {
  if (Source) {
    Source->AssignTo(this);
    return;
  }
  AssignError(Source);
}

void TPersistent::AssignTo(TPersistent* Dest) const { Dest->AssignError(this); }

void TPersistent::AssignError(const TPersistent* Source) const {
  std::string from = Source ? Source->ClassName() : std::string("nil");
  throw EConvertError(Format("Cannot assign a %s to a %s", from, ClassName()));
}

std::string TPersistent::ClassName() const { return DemangledName(typeid(*this)); }

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

void TComponent::BeginDestruction() {
  Destroying();
  NotifyRemoval();
}

void TComponent::NotifyRemoval() {
  if (RemovalNotified_) return;
  RemovalNotified_ = true;
  // Tell everyone who asked, then the owned components are freed.
  while (!FreeNotifies_.empty()) {
    TComponent* c = FreeNotifies_.back();
    FreeNotifies_.pop_back();
    auto& back = c->FreeNotifies_;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    c->Notification(this, TOperation::opRemove);
  }
}

TComponent::~TComponent() {
  BeginDestruction();
  while (!Components_.empty()) {
    TComponent* c = Components_.back();
    Components_.pop_back();
    c->Owner_ = nullptr;
    delete c;
  }
  if (Owner_) Owner_->RemoveComponent(this);
}

void TComponent::SetLoading(bool Loading) {
  if (Loading)
    State_ |= csLoading;
  else
    State_ &= static_cast<uint8_t>(~csLoading);
}

void TComponent::InsertComponent(TComponent* C) {
  if (C->Owner_) C->Owner_->RemoveComponent(C);
  C->Owner_ = this;
  Components_.push_back(C);
  Notification(C, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* C) {
  auto it = std::find(Components_.begin(), Components_.end(), C);
  if (it == Components_.end()) return;
  Components_.erase(it);
  C->Owner_ = nullptr;
  if (!IsDestroying()) Notification(C, TOperation::opRemove);
}

void TComponent::FreeNotification(TComponent* C) {
  if (!C || C == this) return;
  if (std::find(FreeNotifies_.begin(), FreeNotifies_.end(), C) == FreeNotifies_.end())
    FreeNotifies_.push_back(C);
  if (std::find(C->FreeNotifies_.begin(), C->FreeNotifies_.end(), this) == C->FreeNotifies_.end())
    C->FreeNotifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* C) {
  if (!C) return;
  FreeNotifies_.erase(std::remove(FreeNotifies_.begin(), FreeNotifies_.end(), C),
                      FreeNotifies_.end());
  C->FreeNotifies_.erase(std::remove(C->FreeNotifies_.begin(), C->FreeNotifies_.end(), this),
                         C->FreeNotifies_.end());
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  // Owned components hear about each other's removal too.
  if (Operation == TOperation::opRemove && AComponent) {
    for (TComponent* c : Components_)
      if (c != AComponent) c->Notification(AComponent, Operation);
  }
}

std::string TComponent::ClassName() const { return TPersistent::ClassName(); }

void ListIndexError(int Index) { throw EListError(Format("List index out of bounds (%d)", Index)); }

void TStringList::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
}

const std::string& TStringList::Get(int Index) const {
  CheckIndex(Index);
  return Items_[static_cast<size_t>(Index)].S;
}

void TStringList::Put(int Index, const std::string& S) {
  CheckIndex(Index);
  Items_[static_cast<size_t>(Index)].S = S;
}

void* TStringList::GetObject(int Index) const {
  CheckIndex(Index);
  return Items_[static_cast<size_t>(Index)].Obj;
}

void TStringList::PutObject(int Index, void* Obj) {
  CheckIndex(Index);
  Items_[static_cast<size_t>(Index)].Obj = Obj;
}

int TStringList::Add(const std::string& S, void* Obj) {
  if (Sorted_) {
    auto it = std::upper_bound(Items_.begin(), Items_.end(), S,
                               [](const std::string& a, const Item& b) { return a < b.S; });
    auto pos = it - Items_.begin();
    Items_.insert(it, Item{S, Obj});
    return static_cast<int>(pos);
  }
  Items_.push_back(Item{S, Obj});
  return Count() - 1;
}

void TStringList::Insert(int Index, const std::string& S, void* Obj) {
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  Items_.insert(Items_.begin() + Index, Item{S, Obj});
}

void TStringList::Delete(int Index) {
  CheckIndex(Index);
  Items_.erase(Items_.begin() + Index);
}

int TStringList::IndexOf(const std::string& S) const {
  for (size_t i = 0; i < Items_.size(); ++i)
    if (Items_[i].S == S) return static_cast<int>(i);
  return -1;
}

void TStringList::SetSorted(bool Value) {
  if (Value == Sorted_) return;
  Sorted_ = Value;
  if (Sorted_)
    std::stable_sort(Items_.begin(), Items_.end(),
                     [](const Item& a, const Item& b) { return a.S < b.S; });
}

std::string TStringList::GetText() const {
  std::string r;
  for (const Item& i : Items_) {
    r += i.S;
    r += "\r\n";
  }
  return r;
}

void TStringList::SetText(const std::string& Text) {
  Items_.clear();
  size_t i = 0, n = Text.size();
  while (i < n) {
    size_t j = i;
    while (j < n && Text[j] != '\r' && Text[j] != '\n') ++j;
    Add(Text.substr(i, j - i));
    if (j < n && Text[j] == '\r') ++j;
    if (j < n && Text[j] == '\n') ++j;
    i = j;
  }
}

void TStringList::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  SetText(f.ReadAll());
}

void TStringList::SaveToFile(const std::string& FileName) const {
  TFileStream f(FileName, fmCreate);
  f.WriteString(GetText());
  // A write the system refused must not pass for a saved file.
  f.Close();
}

void TStringList::Assign(const TPersistent* Source) {
  if (auto* s = dynamic_cast<const TStringList*>(Source)) {
    if (s != this) Items_ = s->Items_;
    return;
  }
  TPersistent::Assign(Source);
}

namespace {
// Registered classes by upper-cased name.
std::unordered_map<std::string, const TPersistentClass*>& ClassRegistry() {
  static std::unordered_map<std::string, const TPersistentClass*> registry;
  return registry;
}
}  // namespace

void RegisterClass(const TPersistentClass* Class) {
  if (!Class) return;
  ClassRegistry().emplace(UpperCase(Class->Name), Class);
}

const TPersistentClass* GetClass(std::string_view Name) {
  auto& r = ClassRegistry();
  auto it = r.find(UpperCase(Name));
  return it == r.end() ? nullptr : it->second;
}

const TPersistentClass* FindClass(std::string_view Name) {
  if (const TPersistentClass* c = GetClass(Name)) return c;
  throw EClassNotFound(Format("Class %s not found", Name));
}

}  // namespace kb
