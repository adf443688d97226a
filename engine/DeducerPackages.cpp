#include "engine/DeducerPackages.h"

#include "core/KbHelperFunctions.h"
#include "engine/Deducer.h"

namespace kb {

// ------------------------------------------------------ host functions

TKbInnerFunction::TKbInnerFunction(TPersistent* Outer)
    : Outer_(Outer), Nexus_(new TKbFunctionNexus(this)) {
  if (auto* c = dynamic_cast<TComponent*>(Outer)) Nexus_->FreeNotification(c);
}

TKbInnerFunction::~TKbInnerFunction() { delete Nexus_; }

void TKbInnerFunction::Call(TFunctionCall& FunCall, TKbContext* Context, IKbValue& Result) {
  TKbUserFunction::Call(FunCall, Context, Result);
  if (!Outer_) KbError(SNoSuchFunction, GetFunctionName());
  if (auto* outer = dynamic_cast<TCustomUserFunction*>(Outer_)) {
    outer->Call(FunCall, Context, Result);
  } else if (OnCall) {
    OnCall(this, FunCall, Context, Result);
  }
}

void TKbInnerFunction::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == TOperation::opRemove && AComponent == Outer_) Outer_ = nullptr;
}

void TKbFunctionNexus::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Inner_) Inner_->Notification(AComponent, Operation);
}

TCustomUserFunction::TCustomUserFunction(TComponent* AOwner)
    : TComponent(AOwner), Inner_(new TKbInnerFunction(this)) {
  Inner_->SetFunctionName(GetName());
}

TCustomUserFunction::TCustomUserFunction(TComponent* AOwner, const std::string& FunctionName)
    : TCustomUserFunction(AOwner) {
  SetFunctionName(FunctionName);
}

TCustomUserFunction::~TCustomUserFunction() {
  BeginDestruction();
  SetEngine(nullptr);
  // The function may outlive this component in calls bound to it; from now
  // on it reports itself as unassigned.
  Inner_->Notification(this, TOperation::opRemove);
}

void TCustomUserFunction::SetFunctionName(const std::string& V) { Inner_->SetFunctionName(V); }

void TCustomUserFunction::SetEngine(TDeducer* Value) {
  if (Value == Engine_) return;
  if (IsDesigning()) {
    Engine_ = Value;
    return;
  }
  IUserFunction inner = Inner_;
  if (Engine_) {
    if (!GetFunctionName().empty()) Inner_->DeleteReasoner(Engine_);
    RemoveFreeNotification(Engine_);
  }
  Engine_ = Value;
  if (Engine_) {
    FreeNotification(Engine_);
    if (!GetFunctionName().empty()) Inner_->AddReasoner(Engine_);
  }
}

void TCustomUserFunction::Call(TFunctionCall& FunCall, TKbContext* Context, IKbValue& Result) {
  Result.reset();
  if (OnCall) OnCall(this, FunCall, Context, Result);
}

void TCustomUserFunction::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove && AComponent == Engine_) {
    Inner_->DeleteReasoner(Engine_);
    Engine_ = nullptr;
  }
}

// ------------------------------------------------------- TUserFunctionList

TUserFunctionList::~TUserFunctionList() {
  // Withdraw from the engines while the owner still exists.
  Clear();
}

int TUserFunctionList::Add(IUserFunction F) {
  int i = IndexOf(F);
  if (i >= 0) return i;
  return TIList<TKbUserFunction>::Add(std::move(F));
}

std::string TUserFunctionList::GetToString() const {
  std::string r;
  for (const IUserFunction& f : *this) {
    r += f->GetFunctionName();
    r += NewLineString;
  }
  return r;
}

void TUserFunctionList::Assign(const TUserFunctionList& Source) {
  if (&Source == this) return;
  Clear();
  for (const IUserFunction& f : Source) Add(f);
}

void TUserFunctionList::Notify(const IUserFunction& F, TListNotification Action) {
  if (Owner_) Owner_->FunctionNotification(F, Action);
}

// ----------------------------------------------------------- TReasonerList

void TReasonerList::Clear() {
  while (Count() > 0) Delete(Count() - 1);
}

void TReasonerList::Notify(IReasoner* R, TListNotification Action) {
  if (Owner_) Owner_->ReasonerNotification(R, Action);
}

// ------------------------------------------------------------ TUserPackage

TUserPackage::TUserPackage(TComponent* AOwner)
    : TCustomReasonerOwner(AOwner), Functions_(std::make_unique<TUserFunctionList>(this)) {
  if (auto* engine = dynamic_cast<TDeducer*>(AOwner)) {
    Engine_ = engine;
    GetReasoners().Add(engine);
  }
}

TUserPackage::~TUserPackage() {
  BeginDestruction();
  GetReasoners().Clear();
  Functions_->Clear();
  Engine_ = nullptr;
}

void TUserPackage::SetEngine(TDeducer* Value) {
  if (Value == Engine_) return;
  if (IsDesigning()) {
    Engine_ = Value;
    return;
  }
  if (Engine_) {
    TDeducer* old = Engine_;
    GetReasoners().Remove(old);
    if (old != GetOwner()) RemoveFreeNotification(old);
  }
  Engine_ = Value;
  if (Engine_) {
    FreeNotification(Engine_);
    GetReasoners().Add(Engine_);
  }
}

void TUserPackage::SetReset(bool Value) {
  if (!Value) return;
  Functions_->Clear();
  CreateFunctions();
}

int TUserPackage::IndexOf(std::string_view Name) const {
  for (int i = 0; i < Functions_->Count(); ++i)
    if (Functions_->Get(i)->GetFunctionName() == Name) return i;
  return -1;
}

void TUserPackage::ReasonerNotification(IReasoner* R, TListNotification Action) {
  // Every engine of the list, however it was added, tells the package when
  // it goes, so that the list never keeps a freed engine.
  auto* component = dynamic_cast<TComponent*>(R);
  if (Action == TListNotification::lnAdded) {
    FreeNotification(component);
  } else if (component != GetOwner()) {
    RemoveFreeNotification(component);
  }
  if (!Functions_) return;
  if (Action == TListNotification::lnAdded) {
    AddFunctions(R);
  } else {
    RemoveFunctions(R);
    if (Engine_ && R == static_cast<IReasoner*>(Engine_)) Engine_ = nullptr;
  }
}

void TUserPackage::FunctionNotification(const IUserFunction& F, TListNotification Action) {
  if (GetReasoners().Count() == 0) return;
  if (Action == TListNotification::lnAdded)
    AddReasoners(F);
  else
    RemoveReasoners(F);
}

void TUserPackage::AddFunctions(IReasoner* R) {
  for (const IUserFunction& f : *Functions_) f->AddReasoner(R);
}

void TUserPackage::RemoveFunctions(IReasoner* R) {
  for (const IUserFunction& f : *Functions_)
    if (f->IndexOfReasoner(R) >= 0) f->DeleteReasoner(R);
}

void TUserPackage::AddReasoners(const IUserFunction& F) {
  for (int i = 0; i < GetReasoners().Count(); ++i) F->AddReasoner(GetReasoners().Get(i));
}

void TUserPackage::RemoveReasoners(const IUserFunction& F) {
  for (int i = 0; i < GetReasoners().Count(); ++i) F->DeleteReasoner(GetReasoners().Get(i));
}

void TUserPackage::CreateFunctions() {
  if (OnCreateFunctions) OnCreateFunctions(this);
}

void TUserPackage::Assign(const TPersistent* Source) {
  if (auto* src = dynamic_cast<const TUserPackage*>(Source)) {
    Functions_->Assign(*src->Functions_);
    return;
  }
  TComponent::Assign(Source);
}

void TUserPackage::Notification(TComponent* AComponent, TOperation Operation) {
  TCustomReasonerOwner::Notification(AComponent, Operation);
  if (Operation != TOperation::opRemove) return;
  if (AComponent == Engine_) {
    SetEngine(nullptr);
  } else if (auto* r = dynamic_cast<IReasoner*>(AComponent)) {
    GetReasoners().Remove(r);
  }
}

namespace {
struct TPackageClass : TPersistentClass {
  TUserPackage* (*Make)(TComponent*) = nullptr;
};
}  // namespace

bool RegisterPackageClass(const char* ClassName, TUserPackage* (*Create)(TComponent* Owner)) {
  static std::vector<std::unique_ptr<TPackageClass>> classes;
  classes.push_back(std::make_unique<TPackageClass>());
  TPackageClass* c = classes.back().get();
  c->Name = ClassName;
  c->ParentName = "TUserPackage";
  c->IsComponent = true;
  c->Make = Create;
  c->Create = [Create](TComponent* Owner) -> TPersistent* { return Create(Owner); };
  RegisterClass(c);
  return true;
}

TUserPackage* CreatePackageByClassName(std::string_view ClassName, TComponent* Owner) {
  auto* c = dynamic_cast<const TPackageClass*>(GetClass(ClassName));
  return c ? c->Make(Owner) : nullptr;
}

void TUserPackage::RegisterClasses(std::initializer_list<const char*> ClassNames) {
  for (const char* name : ClassNames) {
    FindClass(name);  // EClassNotFound for a name nothing registered
    IUserFunction f = CreateFunctionByClassName(name);
    if (!f) throw EClassNotFound(Format(SNotAFunctionClass, name));
    Functions_->Add(f);
  }
}

}  // namespace kb
