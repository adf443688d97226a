#include "libraries/ObjectPackage.h"

#include <algorithm>

#include "engine/Deducer.h"
#include "framework/TypInfo.h"

namespace kb {

KB_REGISTER_PACKAGE(TObjectPackage);

TObjectPackage::TObjectPackage(TComponent* AOwner) : TUserPackage(AOwner) { AfterConstruction(); }

namespace {

void Dispose(TPersistent* Object) {
  ForgetObject(Object);
  if (auto* counted = dynamic_cast<TInterfacedPersistent*>(Object)) {
    // Held by the one reference taken in Adopt.
    counted->Release();
    return;
  }
  delete Object;
}

}  // namespace

TObjectPackage::~TObjectPackage() {
  BeginDestruction();
  while (!Held_.empty()) {
    TPersistent* o = Held_.back();
    Held_.pop_back();
    if (auto* c = dynamic_cast<TComponent*>(o)) RemoveFreeNotification(c);
    Dispose(o);
  }
}

void TObjectPackage::Adopt(TPersistent* Object) {
  if (auto* counted = dynamic_cast<TInterfacedPersistent*>(Object)) counted->AddRef();
  Held_.push_back(Object);
  // A component freed some other way leaves the list.
  if (auto* c = dynamic_cast<TComponent*>(Object)) FreeNotification(c);
}

bool TObjectPackage::Holds(const TPersistent* Object) const {
  return std::find(Held_.begin(), Held_.end(), Object) != Held_.end();
}

void TObjectPackage::FreeHeld(TPersistent* Object) {
  auto it = std::find(Held_.begin(), Held_.end(), Object);
  if (it == Held_.end()) return;
  Held_.erase(it);
  if (auto* c = dynamic_cast<TComponent*>(Object)) RemoveFreeNotification(c);
  Dispose(Object);
}

void TObjectPackage::Notification(TComponent* AComponent, TOperation Operation) {
  TUserPackage::Notification(AComponent, Operation);
  if (Operation == TOperation::opRemove)
    Held_.erase(std::remove(Held_.begin(), Held_.end(), static_cast<TPersistent*>(AComponent)),
                Held_.end());
}

namespace {

// The engine's object package, which holds what is made without an owner.
TObjectPackage& PackageOf(const TArgs& Args) {
  if (auto* p = FindComponentOfType<TObjectPackage>(&Args.Eng())) return *p;
  KbError(SNoSuchFunction, Args.Name());
}

// Argument I as an object: nil for nil; a freed object raises.
TPersistent* ObjectArg(const TArgs& Args, int I) {
  IKbValue v = Args.Value(I);
  if (v->IsFreedObject())
    KbError(SObjectFreed, v->ObjectLinkPayload()->GetClassName(), Args.Name());
  return v->GetAsObject();
}

// Argument I as a component (nil stays nil); anything else raises
// SMissingComponent.
TComponent* ComponentArg(const TArgs& Args, int I, bool AllowNil) {
  IKbValue v = Args.Value(I);
  if (v->GetDType() != dtObject) KbError(SMissingComponent, Args.Name());
  TPersistent* o = ObjectArg(Args, I);
  if (!o && AllowNil) return nullptr;
  auto* c = dynamic_cast<TComponent*>(o);
  if (!c) KbError(SMissingComponent, Args.Name());
  return c;
}

// Argument I as a class: a class value, or a symbol or string naming one.
const TPersistentClass* ClassArg(const TArgs& Args, int I) {
  IKbValue v = Args.Value(I);
  if (v->GetDType() == dtClass) return v->GetAsClass();
  if (v->GetDType() == dtAtom || v->GetDType() == dtString) {
    const std::string name = v->GetAsString();
    if (const TPersistentClass* c = GetClass(name)) return c;
    KbError(SUnknownKbClassName, name);
  }
  return v->GetAsClass();  // raises the conversion error
}

IKbValue ObjectValue(TPersistent* O) {
  IKbValue v = NewValue();
  v->SetAsObject(O);
  return v;
}

// The owner of the engine: where names are looked up without an owner given.
TComponent* EngineOwner(const TArgs& Args) { return Args.Eng().GetOwner(); }

TPersistent* Create(const TArgs& Args, const TPersistentClass* Class, TComponent* Owner) {
  if (!Class->Create) KbError(SNotCreatable, Class->Name, Args.Name());
  TPersistent* o = nullptr;
  try {
    o = Class->Create(Owner);
  } catch (const EKbException&) {
    throw;
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception& e) {
    KbError("%s", e.what());
  }
  if (!o) KbError(SNotCreatable, Class->Name, Args.Name());
  if (!Owner) PackageOf(Args).Adopt(o);
  return o;
}

// Raises when the engine needs Object: the engine itself, what it owns, or
// what owns it.
void CheckFreeable(const TArgs& Args, TPersistent* Object) {
  TDeducer& engine = Args.Eng();
  auto* c = dynamic_cast<TComponent*>(Object);
  const TPersistentClass* cls = ClassOf(Object);
  const std::string className = cls ? cls->Name : Object->ClassName();
  const std::string name = c && !c->GetName().empty() ? c->GetName() : std::string("(unnamed)");
  if (c) {
    if (c == &engine) KbError(SFreeNeeded, className, name, "it is the engine");
    for (TComponent* o = c->GetOwner(); o; o = o->GetOwner())
      if (o == &engine) KbError(SFreeNeeded, className, name, "the engine owns it");
    for (TComponent* o = engine.GetOwner(); o; o = o->GetOwner())
      if (o == c) KbError(SFreeNeeded, className, name, "it owns the engine");
    return;
  }
  for (const TPropInfo* p : GetPropList(ClassOf(&engine)))
    if (p->Owned && GetObjectProp(&engine, *p) == Object)
      KbError(SFreeNeeded, className, p->Name, "it is a part of the engine");
  if (!PackageOf(Args).Holds(Object)) KbError(SFreeNotOwned, className, Args.Name());
}

void FreeObject(const TArgs& Args, TPersistent* Object) {
  CheckFreeable(Args, Object);
  TObjectPackage& package = PackageOf(Args);
  if (package.Holds(Object)) {
    package.FreeHeld(Object);
    return;
  }
  delete Object;  // a component: its owner and its links hear of it
}

// The property Name of Object as a value, by its kind.
IKbValue PropertyValue(const TArgs& Args, TPersistent* Object, const TPropInfo& P) {
  (void)Args;
  switch (P.Kind) {
    case TPropKind::Integer: return NewInteger(GetOrdProp(Object, P));
    case TPropKind::Char:
    case TPropKind::String: return NewString(GetStrProp(Object, P));
    case TPropKind::Enumeration: return NewAtom(GetEnumProp(Object, P));
    case TPropKind::Float: return NewFloat(GetFloatProp(Object, P));
    case TPropKind::Set: return NewString(GetSetProp(Object, P));
    case TPropKind::Class: return ObjectValue(GetObjectProp(Object, P));
    case TPropKind::Method: break;
  }
  const TPersistentClass* cls = ClassOf(Object);
  KbError(SInvalidPropertyType, P.Name, cls ? cls->Name : Object->ClassName(),
          PropKindName(P.Kind));
}

void SetProperty(const TArgs& Args, TPersistent* Object, const TPropInfo& P, const IKbValue& V) {
  const TPersistentClass* cls = ClassOf(Object);
  const std::string className = cls ? cls->Name : Object->ClassName();
  if (V->IsFreedObject())
    KbError(SObjectFreed, V->ObjectLinkPayload()->GetClassName(), Args.Name());
  try {
    switch (P.Kind) {
      case TPropKind::Integer: SetOrdProp(Object, P, Args.IntOf(V)); return;
      case TPropKind::Char:
      case TPropKind::String: SetStrProp(Object, P, V->GetAsString()); return;
      case TPropKind::Enumeration: SetEnumProp(Object, P, V->GetAsString()); return;
      case TPropKind::Set: SetSetProp(Object, P, V->GetAsString()); return;
      case TPropKind::Float: SetFloatProp(Object, P, V->GetAsNumeric()); return;
      case TPropKind::Class: SetObjectProp(Object, P, V->GetAsObject()); return;
      case TPropKind::Method: break;
    }
  } catch (const EKbException&) {
    throw;
  } catch (const Exception& e) {
    KbError(SPropertyValue, P.Name, className, e.what());
  }
  KbError(SInvalidPropertyType, P.Name, className, PropKindName(P.Kind));
}

}  // namespace

KB_FUNCTION(TCreateComponentFunction, "create-component", 2, 3,
            "Creates and returns a component based on the first argument's class.  The second "
            "argument is the owner of the component.  The optional third argument specifies the "
            "parent of the component",
            "create-component <TComponentClass-expression> <TComponent-expression> "
            "[<TWinControl-expression>]") {
  const TPersistentClass* cls = ClassArg(Args, 0);
  TComponent* owner = ComponentArg(Args, 1, true);
  TComponent* parent = Args.Count() > 2 ? ComponentArg(Args, 2, true) : nullptr;
  if (!cls->IsComponent) KbError(SNotComponentClass, cls->Name, Args.Name());
  auto* parentControl = dynamic_cast<TControl*>(parent);
  if (parent && !parentControl)
    KbError(SNotControl, ClassOf(parent) ? ClassOf(parent)->Name : parent->ClassName(),
            Args.Name());
  if (parent && !cls->InheritsFrom(GetClass("TControl")))
    KbError(SNotControl, cls->Name, Args.Name());
  TPersistent* o = Create(Args, cls, owner);
  if (parentControl) {
    try {
      dynamic_cast<TControl&>(*o).SetParent(parentControl);
    } catch (const Exception& e) {
      FreeObject(Args, o);
      KbError("%s", e.what());
    }
  }
  return ObjectValue(o);
}

KB_FUNCTION(TCreateObjectFunction, "create-object", 1, 1,
            "Creates and returns an object based on the specified class",
            "create-object <TClass-expression>") {
  return ObjectValue(Create(Args, ClassArg(Args, 0), nullptr));
}

KB_FUNCTION(TExecuteActionFunction, "execute-action", 1, 1,
            "Executes the specified action.  It returns the boolean value returned by the Execute "
            "method",
            "execute-action <TBasicAction-expression>") {
  TPersistent* o = ObjectArg(Args, 0);
  auto* action = dynamic_cast<TBasicAction*>(o);
  if (!action)
    KbError(SNotCorrectType, "action", o ? ClassOf(o) ? ClassOf(o)->Name : o->ClassName() : "nil");
  return action->Execute() ? FCTrue : FCFalse;
}

KB_FUNCTION(TFreeObjectFunction, "free-object", 1, MaxArguments, "Frees the object arguments",
            "free-object <TObject-expression>*") {
  for (int i = 0; i < Args.Count(); ++i) {
    TPersistent* o = ObjectArg(Args, i);
    if (o) FreeObject(Args, o);
  }
  return FCTrue;
}

KB_FUNCTION(TGetComponentFunction, "get-component", 0, 2,
            "Returns the component named by the arguments: with one argument, a component owned "
            "by the engine's owner; with two, a component owned by the first argument; with none, "
            "the engine's owner",
            "get-component [[<TComponent-expression>] <component-name>]") {
  if (Args.Count() == 0) return ObjectValue(EngineOwner(Args));
  TComponent* owner = Args.Count() == 2 ? ComponentArg(Args, 0, false) : EngineOwner(Args);
  const std::string name = Args.Str(Args.Count() - 1);
  TComponent* found = owner ? owner->FindComponent(name) : nullptr;
  return found ? ObjectValue(found) : FCFalse;
}

KB_FUNCTION(TGetComponentsFunction, "get-components", 0, 1,
            "Returns the components owned by the argument, or by the engine's owner",
            "get-components [<TComponent-expression>]") {
  TComponent* owner = Args.Count() > 0 ? ComponentArg(Args, 0, false) : EngineOwner(Args);
  IValueVector list(new TValueVector());
  for (int i = 0; owner && i < owner->GetComponentCount(); ++i)
    list->Add(ObjectValue(owner->GetComponent(i)));
  return NewList(list);
}

KB_FUNCTION(TGetClassFunction, "get-class", 1, 1,
            "Returns the TClass value for the specified class name.  The class needs to be "
            "registered first with the RegisterClass function",
            "get-class <class-name>") {
  const std::string name = Args.Str(0);
  const TPersistentClass* c = GetClass(name);
  if (!c) KbError(SUnknownKbClassName, name);
  IKbValue v = NewValue();
  v->SetAsClass(c);
  return v;
}

KB_FUNCTION(TGetPropertyFunction, "get-property", 2, 2,
            "Returns the property value (specified by the second argument) of the TObject "
            "specified by the first argument",
            "get-property <TObject-expression> <property-name>") {
  TPersistent* o = ObjectArg(Args, 0);
  const std::string name = Args.Str(1);
  if (!o) return FCNil;
  const TPropInfo* p = FindPropInfo(ClassOf(o), name);
  if (!p) return FCFalse;
  return PropertyValue(Args, o, *p);
}

KB_FUNCTION(TGetPropertiesFunction, "get-properties", 1, 1,
            "Returns the property list of the specified TObject argument",
            "get-properties <TObject-expression>") {
  TPersistent* o = ObjectArg(Args, 0);
  IValueVector list(new TValueVector());
  if (o)
    for (const TPropInfo* p : GetPropList(ClassOf(o))) list->Add(NewAtom(p->Name));
  return NewList(list);
}

KB_FUNCTION(TSetPropertyFunction, "set-property", 3, 3,
            "Sets the property (specified by the second argument) of the TObject specified by the "
            "first argument to the value of the third argument.  Returns TRUE if it was set, FALSE "
            "if the object has no such property",
            "set-property <TObject-expression> <property-name> <expression>") {
  TPersistent* o = ObjectArg(Args, 0);
  const std::string name = Args.Str(1);
  IKbValue v = Args.Value(2);
  if (!o) return FCFalse;
  const TPropInfo* p = FindPropInfo(ClassOf(o), name);
  if (!p) return FCFalse;
  SetProperty(Args, o, *p, v);
  return FCTrue;
}

KB_FUNCTION(TIsClassFunction, "is-class", 2, 2,
            "Returns TRUE if the first TObject argument IS a descendant of the specified TClass "
            "second argument, FALSE otherwise",
            "is-class <TObject-expression> <TClass-expression>") {
  TPersistent* o = ObjectArg(Args, 0);
  const TPersistentClass* c = ClassArg(Args, 1);
  if (!o) return FCFalse;
  if (c->IsInstance) return c->IsInstance(o) ? FCTrue : FCFalse;
  const TPersistentClass* have = ClassOf(o);
  return have && have->InheritsFrom(c) ? FCTrue : FCFalse;
}

void TObjectPackage::CreateFunctions() {
  TUserPackage::CreateFunctions();
  RegisterClasses({
      "TCreateComponentFunction",  // create-component
      "TCreateObjectFunction",     // create-object
      "TExecuteActionFunction",    // execute-action
      "TFreeObjectFunction",       // free-object
      "TGetComponentFunction",     // get-component
      "TGetComponentsFunction",    // get-components
      "TGetClassFunction",         // get-class
      "TGetPropertyFunction",      // get-property
      "TGetPropertiesFunction",    // get-properties
      "TSetPropertyFunction",      // set-property
      "TIsClassFunction",          // is-class
  });
}

}  // namespace kb
