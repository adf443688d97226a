#include "framework/Classes.h"

#include <cxxabi.h>
#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <typeindex>
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
  if (State_ & csLinked) ForgetObject(this);
}

TComponent* TComponent::FindComponent(std::string_view Name) const {
  if (Name.empty()) return nullptr;
  for (TComponent* c : Components_)
    if (SameText(c->Name_, Name)) return c;
  return nullptr;
}

void TComponent::Loaded() { SetLoading(false); }

// ----------------------------------------------------------------- TControl

TControl::~TControl() {
  BeginDestruction();
  SetParent(nullptr);
  // The controls heard of this one going (Notification): none is left.
  for (TControl* c : std::vector<TControl*>(Controls_))
    if (c->Parent_ == this) c->Parent_ = nullptr;
  Controls_.clear();
}

void TControl::SetParent(TControl* Value) {
  if (Value == Parent_) return;
  for (TControl* p = Value; p; p = p->Parent_)
    if (p == this) throw EInvalidOperation("A control cannot be placed inside itself");
  if (Parent_) {
    auto& c = Parent_->Controls_;
    c.erase(std::remove(c.begin(), c.end(), this), c.end());
    RemoveFreeNotification(Parent_);
  }
  Parent_ = Value;
  if (Parent_) {
    Parent_->Controls_.push_back(this);
    FreeNotification(Parent_);
  }
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  if (AComponent == Parent_) {
    auto& c = Parent_->Controls_;
    c.erase(std::remove(c.begin(), c.end(), this), c.end());
    Parent_ = nullptr;
  } else {
    Controls_.erase(std::remove(Controls_.begin(), Controls_.end(), AComponent), Controls_.end());
  }
}

// -------------------------------------------------------------- TObjectLink

namespace {
// Live objects' links. Engines on several threads may make links at once,
// so the table has a lock; a link itself belongs to its object's thread.
std::mutex& LinkLock() {
  static std::mutex m;
  return m;
}
std::unordered_map<const TPersistent*, TObjectLink*>& Links() {
  static std::unordered_map<const TPersistent*, TObjectLink*> links;
  return links;
}
}  // namespace

TObjectLink* TObjectLink::Of(TPersistent* Object) {
  std::lock_guard<std::mutex> lock(LinkLock());
  TObjectLink*& link = Links()[Object];
  if (!link) {
    link = new TObjectLink();
    link->Object_ = Object;
    link->ClassName_ = Object->ClassName();
    if (auto* c = dynamic_cast<TComponent*>(Object)) c->State_ |= csLinked;
  }
  return link;
}

TObjectLink* TObjectLink::Find(const TPersistent* Object) {
  std::lock_guard<std::mutex> lock(LinkLock());
  auto it = Links().find(Object);
  return it == Links().end() ? nullptr : it->second;
}

TObjectLink::~TObjectLink() {
  if (!Object_) return;
  std::lock_guard<std::mutex> lock(LinkLock());
  Links().erase(Object_);
}

void ForgetObject(const TPersistent* Object) {
  std::lock_guard<std::mutex> lock(LinkLock());
  auto it = Links().find(Object);
  if (it == Links().end()) return;
  it->second->Object_ = nullptr;
  Links().erase(it);
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

const char* PropKindName(TPropKind Kind) {
  static const char* const names[] = {"integer", "character", "string", "enumeration",
                                      "float",   "set",       "class",  "method"};
  return names[static_cast<int>(Kind)];
}

namespace {
struct TRegistry {
  // Registered classes by upper-cased name, and by C++ type.
  std::unordered_map<std::string, const TPersistentClass*> ByName;
  std::unordered_map<std::type_index, const TPersistentClass*> ByType;
};
TRegistry& ClassRegistry() {
  static TRegistry registry;
  return registry;
}
}  // namespace

void RegisterClass(const TPersistentClass* Class) {
  if (!Class) return;
  ClassRegistry().ByName.emplace(UpperCase(Class->Name), Class);
  if (Class->Type) ClassRegistry().ByType.emplace(std::type_index(*Class->Type), Class);
}

const TPersistentClass* GetClass(std::string_view Name) {
  auto& r = ClassRegistry().ByName;
  auto it = r.find(UpperCase(Name));
  return it == r.end() ? nullptr : it->second;
}

const TPersistentClass* FindClass(std::string_view Name) {
  if (const TPersistentClass* c = GetClass(Name)) return c;
  throw EClassNotFound(Format("Class %s not found", Name));
}

const TPersistentClass* TPersistentClass::GetParent() const {
  return ParentName.empty() ? nullptr : GetClass(ParentName);
}

bool TPersistentClass::InheritsFrom(const TPersistentClass* Base) const {
  if (!Base) return false;
  for (const TPersistentClass* c = this; c; c = c->GetParent())
    if (c == Base) return true;
  return false;
}

static int Depth(const TPersistentClass* Class) {
  int d = 0;
  for (const TPersistentClass* c = Class->GetParent(); c && d < 1000; c = c->GetParent()) ++d;
  return d;
}

const TPersistentClass* ClassOf(const TPersistent* Object) {
  if (!Object) return nullptr;
  auto& r = ClassRegistry();
  auto it = r.ByType.find(std::type_index(typeid(*Object)));
  if (it != r.ByType.end()) return it->second;
  // Classes registered by name alone (function and package classes).
  std::string name = Object->ClassName();
  if (size_t colon = name.rfind("::"); colon != std::string::npos) name.erase(0, colon + 2);
  if (const TPersistentClass* c = GetClass(name); c && !c->Type) return c;
  // A class derived from registered ones without registering itself: the
  // deepest registered class it belongs to.
  const TPersistentClass* best = nullptr;
  int bestDepth = -1;
  for (const auto& [name, c] : r.ByName) {
    if (!c->IsInstance || !c->IsInstance(Object)) continue;
    int d = Depth(c);
    if (d > bestDepth) {
      best = c;
      bestDepth = d;
    }
  }
  return best;
}

std::vector<const TPersistentClass*> RegisteredClasses() {
  std::vector<const TPersistentClass*> r;
  for (const auto& [name, c] : ClassRegistry().ByName) r.push_back(c);
  return r;
}

}  // namespace kb
