// Evaluation contexts and variable bindings.
//
// Every evaluation happens in a TKbContext: one scope of variable bindings
// with a link to the enclosing scope. The engine owns the root context (the
// scope of the global variables); firing a rule or calling a deffunction
// pushes a child, and popping hands the return value up. Loops and branches
// bind in the scope they run in.
// Lookup walks from the innermost scope outwards.
//
// Ownership: a context owns its TBindings, which owns its TBinding objects.
// A child does not own its parent; whoever pushed a context frees it after
// popping. Values are shared references.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/KbConsts.h"
#include "core/KbInterfaces.h"
#include "core/KbValue.h"

namespace kb {

class TKbContext;

// Makes the token of a match on request: a firing that reads its match
// from an array of facts builds the counted chain only if something asks.
class TTokenSource {
 public:
  virtual IReteToken MakeToken() const = 0;

 protected:
  ~TTokenSource() = default;
};

// Whether a binding's name N is Name. Variable names are short and mostly
// differ in length or first letter, which settles it without comparing
// whole texts; short ones are compared in place rather than through a call.
inline bool IsNamed(const std::string& N, std::string_view Name) noexcept {
  const size_t size = N.size();
  if (size != Name.size()) return false;
  if (size == 0) return true;
  const char* a = N.data();
  const char* b = Name.data();
  if (a[0] != b[0]) return false;
  if (size > 16) return std::memcmp(a, b, size) == 0;
  for (size_t i = 1; i < size; ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// One named variable binding: either a value (FactIndex LocalBindingIndex,
// SlotIndex "__LOCAL") or a position in a matched fact of a rule's token.
class TBinding : public TPersistent {
 public:
  // A positional binding; its value is filled in when resolved.
  TBinding(std::string Name, int32_t FactIndex, std::string SlotIndex, int32_t SubIndex);
  // A value binding.
  TBinding(std::string Name, IKbValue Value);

  const IKbValue& GetValue() const { return Value_; }
  void SetValue(IKbValue V) { Value_ = std::move(V); }
  const std::string& GetSlotIndex() const { return SlotIndex_; }
  int32_t GetSubIndex() const { return SubIndex_; }
  int32_t GetFactIndex() const { return FactIndex_; }
  const TKbName& GetName() const { return Name_; }
  bool IsLocal() const { return FactIndex_ == LocalBindingIndex; }

  // Copies all five fields from another binding (the value is shared).
  void Assign(const TPersistent* Source) override;

 private:
  IKbValue Value_;
  std::string SlotIndex_;
  int32_t SubIndex_;
  int32_t FactIndex_;
  TKbName Name_;
};

enum TTableNotification : uint8_t { tnAdded, tnDeleted, tnCleared };

// The bindings of one scope, by name. Owns its bindings. Small scopes (the
// usual case) are searched linearly; larger ones get a name index.
class TBindings {
 public:
  explicit TBindings(TKbContext* Context) : Context_(Context) {}
  TBindings(const TBindings&) = delete;
  TBindings& operator=(const TBindings&) = delete;
  virtual ~TBindings();

  TBinding* Get(std::string_view Name) const;
  TBinding* GetItem(std::string_view Name) const { return Get(Name); }
  // Stores Binding under Name, freeing any binding already stored there.
  void Put(const std::string& Name, std::unique_ptr<TBinding> Binding);
  void Add(std::unique_ptr<TBinding> Binding);
  // Frees the binding of that name, if any.
  void Remove(std::string_view Name);
  // Binding nil removes; the binding already stored is left alone.
  void SetItem(const std::string& Name, std::unique_ptr<TBinding> Binding);
  virtual void Clear();
  int Count() const { return static_cast<int>(Items_.size()); }
  // Bindings removed while their context held them (HoldBindings) are kept
  // here, without their values, until it lets go.
  void FreeRemoved() noexcept { Removed_.clear(); }
  TBinding* At(int Index) const { return Items_[static_cast<size_t>(Index)].get(); }
  TKbContext* GetContext() const { return Context_; }

 protected:
  virtual void Notify(TBinding* Binding, TTableNotification Action);

 private:
  int Find(std::string_view Name) const;
  void Reindex();

  // Frees Binding, or keeps it without its value while the context holds
  // its bindings.
  void Discard(std::unique_ptr<TBinding> Binding);

  TKbContext* Context_;
  std::vector<std::unique_ptr<TBinding>> Items_;
  std::vector<std::unique_ptr<TBinding>> Removed_;
  std::unique_ptr<TStringMap<size_t>> Index_;  // built once a scope grows large
};

class TKbContext : public TPersistent {
 public:
  // Owner must be an engine (an IReasoner: TDeducer); anything else raises
  // EInvalidCast.
  // The constructor and destructor are defined with the token
  // (rete/KbToken.cpp), as are Reuse and the members that set or make the
  // token.
  TKbContext(TKbContext* Parent, TComponent* Owner);
  ~TKbContext() override;
  TKbContext(const TKbContext&) = delete;
  TKbContext& operator=(const TKbContext&) = delete;

  TDeducer* GetEngine() const { return Engine_; }
  // Whether the engine was interrupted (TDeducer::SetInterrupted): every
  // function call reads it first. False without an engine.
  bool Interrupted() const noexcept {
    return Interrupted_ && Interrupted_->load(std::memory_order_relaxed);
  }
  TKbContext* GetParent() const { return Parent_; }
  // The fact in whose context values are evaluated (set by callers).
  const IFact& GetFact() const { return Fact_; }
  void SetFact(const IFact& Value);
  // The Rete token being matched or fired (set by callers): compiled
  // variables resolve against it and the fact above. A firing that holds
  // its match as an array of facts gives a source instead, and the token
  // is made from it when first asked for.
  const IReteToken& GetToken() const { return Token_ || !TokenSource_ ? Token_ : MakeToken(); }
  void SetToken(const IReteToken& Value);
  void SetTokenSource(const TTokenSource* Source) noexcept { TokenSource_ = Source; }
  TBindings& GetBindings() { return *Bindings_; }
  const TBindings& GetBindings() const { return *Bindings_; }
  // Bindings owned elsewhere (the variables of a firing rule, laid out when
  // the rule was built) that this scope holds before its own ones; one
  // without a value is not bound. The owner keeps them alive while set.
  std::span<TBinding* const> GetFrame() const noexcept { return Frame_; }
  void SetFrame(std::span<TBinding* const> Frame) noexcept { Frame_ = Frame; }
  // The value of Variable (a variable value) in this context's frame at the
  // variable's frame hint (TKbValue::SetFrameHint), or nullptr when that
  // entry is not a bound binding of its name: a binding found there is the
  // one the lookup by name finds first (a frame's names are unique). The
  // reference stays valid until the binding next changes.
  inline const IKbValue* FrameValue(const TKbValue& Variable) const noexcept;
  // Makes a context that has served one evaluation and been popped ready
  // for the next, as a child of Parent: no bindings, frame, token, fact nor
  // return value.
  void Reuse(TKbContext* Parent);

  bool GetReturnValueSet() const { return ReturnValueSet_; }
  const IKbValue& GetReturnValue() const { return ReturnValue_; }
  virtual void SetReturnValue(const IKbValue& Value);
  void ClearReturnValue();

  // A new child context of this one (same engine). The caller owns it.
  TKbContext* Push();
  std::unique_ptr<TKbContext> PushOwned() { return std::unique_ptr<TKbContext>(Push()); }
  // Copies the return flag and value to the parent and returns the parent;
  // the root returns itself unchanged. Does not free this context.
  TKbContext* Pop();
  // Frees every binding of this scope and clears the return value.
  void Clear();

  // The innermost binding of Name along the chain, or nil.
  TBinding* FindBinding(std::string_view Name) const;
  // The binding of Name in the root context only, or nil.
  TBinding* FindGlobalBinding(std::string_view Name) const;
  // The bound value; raises EKbException SUnknownVariable when unbound.
  IKbValue GetVariable(std::string_view Name) const;
  // Updates this scope's binding, or else as AddBinding(Name, Value).
  virtual void SetVariable(std::string_view Name, const IKbValue& Value);
  // The same for a variable whose frame hint (TKbValue::GetFrameHint) is
  // Hint: a binding of this scope's frame at that position with the name
  // and a value is the one SetVariable would update when this scope has no
  // binding of its own of that name.
  inline void SetVariable(std::string_view Name, uint16_t Hint, const IKbValue& Value);
  // Updates the innermost binding along the chain, or creates one here.
  virtual TBinding* AddBinding(std::string_view Name, const IKbValue& Value);
  // The same as AddBinding, in the root context only.
  virtual TBinding* AddGlobalBinding(const std::string& Name, const IKbValue& Value);
  // Always binds in this scope, shadowing enclosing ones.
  virtual TBinding* AddLocalBinding(std::string_view Name, const IKbValue& Value);
  // A positional binding in this scope.
  virtual TBinding* AddBinding(const std::string& Name, int32_t FactIndex,
                               const std::string& SlotIndex, int32_t SubIndex);

  // Resolves every element and flattens nested lists at any depth.
  IValueVector ExpandList(const IValueVector& List);
  // The same, appended to Result.
  void ExpandInto(TValueVector& Result, const TValueVector& List);
  // Flattens nested lists at any depth without resolving.
  static IValueVector FlattenList(const IValueVector& List);

  // Copies the return flag and a clone of the return value.
  void Assign(const TPersistent* Source) override;

  virtual void Notify(TBinding* Binding, TTableNotification Action);

  // Changes whenever a binding of this scope is added, removed or all are
  // cleared (not when a value changes): a binding found here stays this
  // scope's binding of its name while the version is the same.
  uint64_t GetBindingsVersion() const noexcept { return BindingsVersion_; }
  // While held (counted), a binding removed from this scope is not freed
  // but kept without its value, so that a pointer to it taken before stays
  // safe to read (it reads as unbound); the last release frees them.
  void HoldBindings() noexcept { ++BindingHolders_; }
  void ReleaseBindings() noexcept;
  bool BindingsHeld() const noexcept { return BindingHolders_ > 0; }

 private:
  TKbContext* Root() const;
  const IReteToken& MakeToken() const;

  bool ReturnValueSet_ = false;
  IKbValue ReturnValue_;
  TDeducer* Engine_;
  const std::atomic<bool>* Interrupted_ = nullptr;  // the engine's flag
  std::unique_ptr<TBindings> Bindings_;
  TKbContext* Parent_;
  IFact Fact_;
  mutable IReteToken Token_;
  const TTokenSource* TokenSource_ = nullptr;
  std::span<TBinding* const> Frame_;
  uint64_t BindingsVersion_ = 0;
  int32_t BindingHolders_ = 0;
};

inline const IKbValue* TKbContext::FrameValue(const TKbValue& Variable) const noexcept {
  const uint16_t hint = Variable.GetFrameHint();
  if (hint == 0 || hint > Frame_.size()) return nullptr;
  const TBinding* b = Frame_[hint - 1u];
  if (!b->GetValue() || !IsNamed(b->GetName(), Variable.GetText())) return nullptr;
  return &b->GetValue();
}

inline void TKbContext::SetVariable(std::string_view Name, uint16_t Hint, const IKbValue& Value) {
  if (Hint && Hint <= Frame_.size()) {
    TBinding* b = Frame_[Hint - 1u];
    if (b->GetValue() && IsNamed(b->GetName(), Name) &&
        (Bindings_->Count() == 0 || !Bindings_->Get(Name))) {
      b->SetValue(Value);
      return;
    }
  }
  SetVariable(Name, Value);
}

}  // namespace kb
