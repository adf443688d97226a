#include "core/KbContext.h"

#include "core/KbFunctions.h"

namespace kb {

namespace {
// Scopes with more bindings than this get a name index.
constexpr size_t kLinearScopeLimit = 16;

}  // namespace

TBinding::TBinding(std::string Name, int32_t FactIndex, std::string SlotIndex, int32_t SubIndex)
    : SlotIndex_(std::move(SlotIndex)),
      SubIndex_(SubIndex),
      FactIndex_(FactIndex),
      Name_(std::move(Name)) {}

TBinding::TBinding(std::string Name, IKbValue Value)
    : Value_(std::move(Value)),
      SlotIndex_(SLocalBinding),
      SubIndex_(NoSubIndex),
      FactIndex_(LocalBindingIndex),
      Name_(std::move(Name)) {}

void TBinding::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TBinding*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  Value_ = src->Value_;
  SlotIndex_ = src->SlotIndex_;
  SubIndex_ = src->SubIndex_;
  FactIndex_ = src->FactIndex_;
  Name_ = src->Name_;
}

// --------------------------------------------------------------- TBindings

TBindings::~TBindings() = default;

int TBindings::Find(std::string_view Name) const {
  if (Index_) {
    const size_t* i = Index_->Find(Name);
    return i ? static_cast<int>(*i) : -1;
  }
  for (size_t i = 0; i < Items_.size(); ++i)
    if (IsNamed(Items_[i]->GetName(), Name)) return static_cast<int>(i);
  return -1;
}

void TBindings::Reindex() {
  if (Items_.size() <= kLinearScopeLimit) {
    Index_.reset();
    return;
  }
  Index_ = std::make_unique<TStringMap<size_t>>();
  for (size_t i = 0; i < Items_.size(); ++i) Index_->Put(Items_[i]->GetName(), i);
}

TBinding* TBindings::Get(std::string_view Name) const {
  int i = Find(Name);
  return i < 0 ? nullptr : Items_[static_cast<size_t>(i)].get();
}

void TBindings::Put(const std::string& Name, std::unique_ptr<TBinding> Binding) {
  Remove(Name);
  TBinding* b = Binding.get();
  Items_.push_back(std::move(Binding));
  if (Index_)
    Index_->Put(Name, Items_.size() - 1);
  else if (Items_.size() > kLinearScopeLimit)
    Reindex();
  Notify(b, tnAdded);
}

void TBindings::Add(std::unique_ptr<TBinding> Binding) {
  std::string name = Binding->GetName();
  Put(name, std::move(Binding));
}

void TBindings::Remove(std::string_view Name) {
  int i = Find(Name);
  if (i < 0) return;
  std::unique_ptr<TBinding> b = std::move(Items_[static_cast<size_t>(i)]);
  Items_.erase(Items_.begin() + i);
  if (Index_) Reindex();
  Notify(b.get(), tnDeleted);
  Discard(std::move(b));
}

void TBindings::Discard(std::unique_ptr<TBinding> Binding) {
  if (!Binding || !Context_ || !Context_->BindingsHeld()) return;
  Binding->SetValue(nullptr);
  Removed_.push_back(std::move(Binding));
}

void TBindings::SetItem(const std::string& Name, std::unique_ptr<TBinding> Binding) {
  if (!Binding) {
    Remove(Name);
    return;
  }
  if (Get(Name) == Binding.get()) {
    Binding.release();  // already ours
    return;
  }
  Put(Name, std::move(Binding));
}

void TBindings::Clear() {
  std::vector<std::unique_ptr<TBinding>> gone = std::move(Items_);
  Items_.clear();
  Index_.reset();
  for (std::unique_ptr<TBinding>& b : gone) Discard(std::move(b));
  gone.clear();
  Notify(nullptr, tnCleared);
}

void TBindings::Notify(TBinding* Binding, TTableNotification Action) {
  if (Context_) Context_->Notify(Binding, Action);
}

// -------------------------------------------------------------- TKbContext

void TKbContext::SetReturnValue(const IKbValue& Value) {
  ReturnValue_ = Value;
  ReturnValueSet_ = true;
}

void TKbContext::ClearReturnValue() {
  ReturnValueSet_ = false;
  ReturnValue_.reset();
}

TKbContext* TKbContext::Push() {
  auto* child = new TKbContext(this, nullptr);
  child->Engine_ = Engine_;
  child->Interrupted_ = Interrupted_;
  return child;
}

TKbContext* TKbContext::Pop() {
  if (!Parent_) return this;
  Parent_->ReturnValueSet_ = ReturnValueSet_;
  Parent_->ReturnValue_ = ReturnValue_;
  return Parent_;
}

void TKbContext::Clear() { Bindings_->Clear(); }

void TKbContext::Notify(TBinding*, TTableNotification Action) {
  ++BindingsVersion_;
  if (Action == tnCleared) ClearReturnValue();
}

void TKbContext::ReleaseBindings() noexcept {
  if (--BindingHolders_ == 0) Bindings_->FreeRemoved();
}

TKbContext* TKbContext::Root() const {
  const TKbContext* c = this;
  while (c->Parent_) c = c->Parent_;
  return const_cast<TKbContext*>(c);
}

TBinding* TKbContext::FindBinding(std::string_view Name) const {
  for (const TKbContext* c = this; c; c = c->Parent_) {
    for (TBinding* b : c->Frame_)
      if (IsNamed(b->GetName(), Name) && b->GetValue()) return b;
    if (TBinding* b = c->Bindings_->Get(Name)) return b;
  }
  return nullptr;
}

TBinding* TKbContext::FindGlobalBinding(std::string_view Name) const {
  return Root()->Bindings_->Get(Name);
}

IKbValue TKbContext::GetVariable(std::string_view Name) const {
  TBinding* b = FindBinding(Name);
  if (!b) KbError(SUnknownVariable, Name);
  return b->GetValue();
}

void TKbContext::SetVariable(std::string_view Name, const IKbValue& Value) {
  if (TBinding* b = Bindings_->Get(Name)) {
    b->SetValue(Value);
    return;
  }
  AddBinding(Name, Value);
}

TBinding* TKbContext::AddBinding(std::string_view Name, const IKbValue& Value) {
  if (TBinding* b = FindBinding(Name)) {
    b->SetValue(Value);
    return b;
  }
  return AddLocalBinding(Name, Value);
}

TBinding* TKbContext::AddGlobalBinding(const std::string& Name, const IKbValue& Value) {
  TKbContext* root = Root();
  if (TBinding* b = root->Bindings_->Get(Name)) {
    b->SetValue(Value);
    return b;
  }
  return root->AddLocalBinding(Name, Value);
}

TBinding* TKbContext::AddLocalBinding(std::string_view Name, const IKbValue& Value) {
  auto b = std::make_unique<TBinding>(std::string(Name), Value);
  TBinding* p = b.get();
  Bindings_->Put(p->GetName(), std::move(b));
  return p;
}

TBinding* TKbContext::AddBinding(const std::string& Name, int32_t FactIndex,
                                 const std::string& SlotIndex, int32_t SubIndex) {
  // Shadows a binding of the same name in an enclosing scope.
  auto b = std::make_unique<TBinding>(Name, FactIndex, SlotIndex, SubIndex);
  TBinding* p = b.get();
  Bindings_->Put(Name, std::move(b));
  return p;
}

void TKbContext::ExpandInto(TValueVector& Result, const TValueVector& List) {
  for (const IKbValue& item : List) {
    // A value that stands for itself (a constant) is shared as it is.
    if (item) {
      switch (item->GetDType()) {
        case dtVariable:
        case dtMultiVariable:
          // A variable of the frame is read in place.
          if (const IKbValue* v = FrameValue(*item)) {
            if ((*v)->GetDType() != dtList) {
              Result.Add(*v);
            } else if (TValueVector* inner = (*v)->ListPtr()) {
              ExpandInto(Result, *inner);
            }
            continue;
          }
          break;
        case dtFunCall:
        case dtVariantArray:
        case dtList: break;
        default: Result.Add(item); continue;
      }
    }
    IKbValue v = item ? TFunctionCall::Evaluate(*item, this) : IKbValue();
    if (v && v->GetDType() == dtList) {
      if (TValueVector* inner = v->ListPtr()) ExpandInto(Result, *inner);
    } else {
      Result.Add(std::move(v));
    }
  }
}

IValueVector TKbContext::ExpandList(const IValueVector& List) {
  IValueVector result = NewVector();
  if (List) {
    result->Reserve(List->Count());
    ExpandInto(*result, *List);
  }
  return result;
}

static void FlattenInto(TValueVector& Result, const TValueVector& List) {
  for (const IKbValue& item : List) {
    if (item && item->GetDType() == dtList) {
      if (TValueVector* inner = item->ListPtr()) FlattenInto(Result, *inner);
    } else {
      Result.Add(item);
    }
  }
}

IValueVector TKbContext::FlattenList(const IValueVector& List) {
  IValueVector result = NewVector();
  if (List) FlattenInto(*result, *List);
  return result;
}

void TKbContext::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TKbContext*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  ReturnValueSet_ = src->ReturnValueSet_;
  ReturnValue_ = src->ReturnValue_ ? src->ReturnValue_->CloneValue() : IKbValue();
}

}  // namespace kb
