// The engine's function packages and host functions: a host's function
// given as an event (TUserFunction) and the packages (TUserPackage) that own
// function objects and register them with every engine they are linked to;
// the links are kept consistent by list notifications, in both directions.
// An engine makes its default packages by class name (TDeducer::Packages)
// and writes the others with its components. The function objects and calls
// themselves are the framework's (core/KbFunctions.h); the packages of
// built-in functions are in functions/ and libraries/.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/KbFunctions.h"
#include "framework/Collections.h"

namespace kb {

// A host's handler for a function: (sender, call, context, result in-out).
using TCallEvent = std::function<void(TPersistent* Sender, TFunctionCall& FunCall,
                                      TKbContext* Context, IKbValue& Result)>;

class TCustomUserFunction;
class TKbFunctionNexus;

// Forwards calls to an outer object (a TCustomUserFunction) or an event.
class TKbInnerFunction final : public TKbUserFunction {
 public:
  explicit TKbInnerFunction(TPersistent* Outer);
  ~TKbInnerFunction() override;
  void Call(TFunctionCall& FunCall, TKbContext* Context, IKbValue& Result) override;
  TPersistent* GetOuter() const { return Outer_; }
  void Notification(TComponent* AComponent, TOperation Operation);
  TCallEvent OnCall;

 private:
  TPersistent* Outer_;
  TKbFunctionNexus* Nexus_;
};

// Relays the outer component's removal to its inner function.
class TKbFunctionNexus final : public TComponent {
 public:
  explicit TKbFunctionNexus(TKbInnerFunction* Inner) : Inner_(Inner) {}
  ~TKbFunctionNexus() override { BeginDestruction(); }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TKbInnerFunction* Inner_;
};

// A host function: a component whose OnCall computes the result.
class TCustomUserFunction : public TComponent {
 public:
  explicit TCustomUserFunction(TComponent* AOwner);
  TCustomUserFunction(TComponent* AOwner, const std::string& FunctionName);
  ~TCustomUserFunction() override;

  const std::string& GetComment() const { return Inner_->GetComment(); }
  void SetComment(const std::string& V) { Inner_->SetComment(V); }
  const std::string& GetFunctionName() const { return Inner_->GetFunctionName(); }
  void SetFunctionName(const std::string& V);
  int32_t GetMinArgumentCount() const { return Inner_->GetMinArgumentCount(); }
  void SetMinArgumentCount(int32_t V) { Inner_->SetMinArgumentCount(V); }
  int32_t GetMaxArgumentCount() const { return Inner_->GetMaxArgumentCount(); }
  void SetMaxArgumentCount(int32_t V) { Inner_->SetMaxArgumentCount(V); }
  TDeducer* GetEngine() const { return Engine_; }
  // Withdraws the function from the old engine and registers it with the new.
  void SetEngine(TDeducer* Value);
  IUserFunction GetInnerFunction() const { return Inner_; }

  // Reached through the inner function: Result nil, then OnCall.
  virtual void Call(TFunctionCall& FunCall, TKbContext* Context, IKbValue& Result);
  TCallEvent OnCall;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TDeducer* Engine_ = nullptr;
  TRef<TKbInnerFunction> Inner_;
};

class TUserFunction : public TCustomUserFunction {
 public:
  using TCustomUserFunction::TCustomUserFunction;
};

class TUserPackage;

// A package's functions. Adding or removing one tells the package, which
// links it with the package's engines. There is no fixed limit on size.
class TUserFunctionList : public TIList<TKbUserFunction> {
 public:
  explicit TUserFunctionList(TUserPackage* Owner) : Owner_(Owner) {}
  ~TUserFunctionList() override;
  // Adds when not present; returns the index either way.
  int Add(IUserFunction F) override;
  // Each function's name followed by NewLineString.
  std::string GetToString() const;
  // Replaces the contents with the functions of Source (shared).
  void Assign(const TUserFunctionList& Source);

 protected:
  void Notify(const IUserFunction& F, TListNotification Action) override;

 private:
  TUserPackage* Owner_;
};

class TCustomReasonerOwner;

// The engines of a package. Tells the package, not a function, of every
// change, and clears from the back: the last engine linked is unlinked first.
class TReasonerList : public TBaseReasonerList {
 public:
  explicit TReasonerList(TCustomReasonerOwner* Owner) : TBaseReasonerList(nullptr), Owner_(Owner) {}
  void Clear() override;

 protected:
  void Notify(IReasoner* R, TListNotification Action) override;

 private:
  TCustomReasonerOwner* Owner_;
};

class TCustomReasonerOwner : public TComponent {
 public:
  explicit TCustomReasonerOwner(TComponent* AOwner) : TComponent(AOwner), Reasoners_(this) {}
  TReasonerList& GetReasoners() { return Reasoners_; }
  virtual void ReasonerNotification(IReasoner*, TListNotification) {}

 private:
  TReasonerList Reasoners_;
};

// A group of functions registered together with one or more engines.
class TUserPackage : public TCustomReasonerOwner {
 public:
  // When the owner is an engine, the package links itself to it. Derived
  // packages call AfterConstruction at the end of their constructor.
  explicit TUserPackage(TComponent* AOwner);
  ~TUserPackage() override;

  TUserFunctionList& GetFunctions() { return *Functions_; }
  void SetFunctions(const TUserFunctionList& Value) { Functions_->Assign(Value); }
  TDeducer* GetEngine() const { return Engine_; }
  void SetEngine(TDeducer* Value);
  // Reading gives false; writing true recreates the functions.
  bool GetReset() const { return false; }
  void SetReset(bool Value);
  // The index of the function of that exact name, or -1.
  int IndexOf(std::string_view Name) const;
  std::function<void(TUserPackage* Sender)> OnCreateFunctions;

  void ReasonerNotification(IReasoner* R, TListNotification Action) override;
  virtual void FunctionNotification(const IUserFunction& F, TListNotification Action);
  virtual void AddFunctions(IReasoner* R);
  virtual void AddReasoners(const IUserFunction& F);
  virtual void RemoveReasoners(const IUserFunction& F);
  virtual void RemoveFunctions(IReasoner* R);
  // Fills Functions; the base calls OnCreateFunctions.
  virtual void CreateFunctions();
  void Assign(const TPersistent* Source) override;

 protected:
  void AfterConstruction() { CreateFunctions(); }
  void Notification(TComponent* AComponent, TOperation Operation) override;
  // Adds a new function object of class F to Functions.
  template <class F>
  void Register() {
    Functions_->Add(IUserFunction(new F()));
  }
  // Adds one object of each named function class, in order. Every class
  // written with KB_FUNCTION is registered by its class name when the
  // library loads; a name that is not a registered function class raises
  // EClassNotFound, so a package's table never silently loses a function.
  void RegisterClasses(std::initializer_list<const char*> ClassNames);

 private:
  TDeducer* Engine_ = nullptr;
  std::unique_ptr<TUserFunctionList> Functions_;
};

// Registers a package class by its class name, so that an engine can create
// its default packages by name. Returns true (for static initialisation).
bool RegisterPackageClass(const char* ClassName, TUserPackage* (*Create)(TComponent* Owner));
// A new package of the registered class owned by Owner, or nil.
TUserPackage* CreatePackageByClassName(std::string_view ClassName, TComponent* Owner);

#define KB_REGISTER_PACKAGE(ClassName)                                                   \
  [[maybe_unused]] static const bool ClassName##Registered = ::kb::RegisterPackageClass( \
      #ClassName,                                                                        \
      [](::kb::TComponent* Owner) -> ::kb::TUserPackage* { return new ClassName(Owner); })

}  // namespace kb
