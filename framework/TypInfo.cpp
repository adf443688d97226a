#include "framework/TypInfo.h"

#include "framework/SysUtils.h"

namespace kb {

const char* const Prop::BooleanNames[2] = {"FALSE", "TRUE"};

std::vector<const TPropInfo*> GetPropList(const TPersistentClass* Class) {
  std::vector<const TPersistentClass*> chain;
  for (const TPersistentClass* c = Class; c && chain.size() < 1000; c = c->GetParent())
    chain.push_back(c);
  std::vector<const TPropInfo*> r;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    for (const TPropInfo& p : (*it)->Properties) r.push_back(&p);
  return r;
}

const TPropInfo* FindPropInfo(const TPersistentClass* Class, std::string_view Name) {
  int depth = 0;
  for (const TPersistentClass* c = Class; c && depth < 1000; c = c->GetParent(), ++depth)
    for (const TPropInfo& p : c->Properties)
      if (SameText(p.Name, Name)) return &p;
  return nullptr;
}

static std::string ClassNameOf(const TPersistent* Object) {
  const TPersistentClass* c = ClassOf(Object);
  return c ? c->Name : Object->ClassName();
}

const TPropInfo& GetPropInfo(const TPersistent* Object, std::string_view Name) {
  if (!Object) throw EPropertyError(Format("No object to read property %s of", Name));
  const TPersistentClass* c = ClassOf(Object);
  if (!c) throw EPropertyError(Format("Class %s publishes no properties", Object->ClassName()));
  if (const TPropInfo* p = FindPropInfo(c, Name)) return *p;
  throw EPropertyError(Format("Unknown property %s of class %s", Name, c->Name));
}

namespace {

[[noreturn]] void KindError(const TPersistent* Object, const TPropInfo& Prop, const char* Wanted) {
  throw EPropertyError(Format("Property %s of class %s is of kind %s, not %s", Prop.Name,
                              ClassNameOf(Object), PropKindName(Prop.Kind), Wanted));
}

[[noreturn]] void ReadOnlyError(const TPersistent* Object, const TPropInfo& Prop) {
  throw EPropertyError(
      Format("Property %s of class %s is read-only", Prop.Name, ClassNameOf(Object)));
}

bool IsOrdinal(TPropKind K) {
  return K == TPropKind::Integer || K == TPropKind::Enumeration || K == TPropKind::Set;
}

}  // namespace

int64_t GetOrdProp(const TPersistent* Object, const TPropInfo& Prop) {
  if (!IsOrdinal(Prop.Kind) || !Prop.GetOrd) KindError(Object, Prop, "ordinal");
  return Prop.GetOrd(Object);
}

void SetOrdProp(TPersistent* Object, const TPropInfo& Prop, int64_t Value) {
  if (!IsOrdinal(Prop.Kind)) KindError(Object, Prop, "ordinal");
  if (!Prop.SetOrd) ReadOnlyError(Object, Prop);
  switch (Prop.Kind) {
    case TPropKind::Integer:
      if (Value < Prop.Min || Value > Prop.Max)
        throw EPropertyError(
            Format("Value %s is out of range for property %s of class %s (%s to %s)", Value,
                   Prop.Name, ClassNameOf(Object), Prop.Min, Prop.Max));
      break;
    case TPropKind::Enumeration:
      if (Value < 0 || Value >= Prop.NameCount)
        throw EPropertyError(Format("Value %s is out of range for property %s of class %s", Value,
                                    Prop.Name, ClassNameOf(Object)));
      break;
    default:
      if (Value < 0 || (Prop.NameCount < 63 && Value >= (int64_t{1} << Prop.NameCount)))
        throw EPropertyError(Format("Value %s is out of range for property %s of class %s", Value,
                                    Prop.Name, ClassNameOf(Object)));
      break;
  }
  Prop.SetOrd(Object, Value);
}

double GetFloatProp(const TPersistent* Object, const TPropInfo& Prop) {
  if (Prop.Kind != TPropKind::Float) KindError(Object, Prop, "float");
  return Prop.GetFloat(Object);
}

void SetFloatProp(TPersistent* Object, const TPropInfo& Prop, double Value) {
  if (Prop.Kind != TPropKind::Float) KindError(Object, Prop, "float");
  if (!Prop.SetFloat) ReadOnlyError(Object, Prop);
  Prop.SetFloat(Object, Value);
}

std::string GetStrProp(const TPersistent* Object, const TPropInfo& Prop) {
  if (Prop.Kind != TPropKind::String && Prop.Kind != TPropKind::Char)
    KindError(Object, Prop, "string");
  return Prop.GetStr(Object);
}

void SetStrProp(TPersistent* Object, const TPropInfo& Prop, const std::string& Value) {
  if (Prop.Kind != TPropKind::String && Prop.Kind != TPropKind::Char)
    KindError(Object, Prop, "string");
  if (!Prop.SetStr) ReadOnlyError(Object, Prop);
  Prop.SetStr(Object, Value);
}

TPersistent* GetObjectProp(const TPersistent* Object, const TPropInfo& Prop) {
  if (Prop.Kind != TPropKind::Class) KindError(Object, Prop, "class");
  return Prop.GetObj(Object);
}

void SetObjectProp(TPersistent* Object, const TPropInfo& Prop, TPersistent* Value) {
  if (Prop.Kind != TPropKind::Class) KindError(Object, Prop, "class");
  if (Prop.Owned)
    throw EPropertyError(
        Format("Property %s of class %s is a part of the object and cannot be replaced (set the "
               "part's properties instead)",
               Prop.Name, ClassNameOf(Object)));
  if (!Prop.SetObj) ReadOnlyError(Object, Prop);
  if (Value && !Prop.ClassName.empty()) {
    const TPersistentClass* want = GetClass(Prop.ClassName);
    const TPersistentClass* have = ClassOf(Value);
    if (want && !(have && have->InheritsFrom(want)))
      throw EPropertyError(Format("Property %s of class %s takes a %s, not a %s", Prop.Name,
                                  ClassNameOf(Object), Prop.ClassName, ClassNameOf(Value)));
  }
  Prop.SetObj(Object, Value);
}

int EnumValueOf(const TPropInfo& Prop, std::string_view ValueName) {
  for (int i = 0; i < Prop.NameCount; ++i)
    if (SameText(Prop.Names[i], ValueName)) return i;
  std::string known;
  for (int i = 0; i < Prop.NameCount; ++i) {
    if (i) known += ", ";
    known += Prop.Names[i];
  }
  throw EPropertyError(
      Format("Unknown value %s for property %s (one of %s)", ValueName, Prop.Name, known));
}

std::vector<std::string> SetMemberNames(const TPropInfo& Prop, int64_t Bits) {
  std::vector<std::string> r;
  for (int i = 0; i < Prop.NameCount && i < 63; ++i)
    if (Bits & (int64_t{1} << i)) r.emplace_back(Prop.Names[i]);
  return r;
}

std::string GetEnumProp(const TPersistent* Object, const TPropInfo& Prop) {
  if (Prop.Kind != TPropKind::Enumeration) KindError(Object, Prop, "enumeration");
  int64_t v = Prop.GetOrd(Object);
  return v >= 0 && v < Prop.NameCount ? Prop.Names[v] : IntToStr(v);
}

void SetEnumProp(TPersistent* Object, const TPropInfo& Prop, std::string_view Value) {
  if (Prop.Kind != TPropKind::Enumeration) KindError(Object, Prop, "enumeration");
  SetOrdProp(Object, Prop, EnumValueOf(Prop, Value));
}

std::string GetSetProp(const TPersistent* Object, const TPropInfo& Prop) {
  if (Prop.Kind != TPropKind::Set) KindError(Object, Prop, "set");
  std::string r = "[";
  for (const std::string& n : SetMemberNames(Prop, Prop.GetOrd(Object))) {
    if (r.size() > 1) r += ',';
    r += n;
  }
  return r + "]";
}

void SetSetProp(TPersistent* Object, const TPropInfo& Prop, std::string_view Value) {
  if (Prop.Kind != TPropKind::Set) KindError(Object, Prop, "set");
  int64_t bits = 0;
  size_t i = 0;
  while (i < Value.size()) {
    while (i < Value.size() &&
           (Value[i] == '[' || Value[i] == ']' || Value[i] == ',' || Value[i] == ' '))
      ++i;
    size_t j = i;
    while (j < Value.size() && Value[j] != '[' && Value[j] != ']' && Value[j] != ',' &&
           Value[j] != ' ')
      ++j;
    if (j > i) bits |= int64_t{1} << EnumValueOf(Prop, Value.substr(i, j - i));
    i = j;
  }
  SetOrdProp(Object, Prop, bits);
}

#define KB_BY_NAME(Ret, Fn, ConstObj) \
  Ret Fn(ConstObj Object, std::string_view Name) { return Fn(Object, GetPropInfo(Object, Name)); }
KB_BY_NAME(int64_t, GetOrdProp, const TPersistent*)
KB_BY_NAME(double, GetFloatProp, const TPersistent*)
KB_BY_NAME(std::string, GetStrProp, const TPersistent*)
KB_BY_NAME(TPersistent*, GetObjectProp, const TPersistent*)
KB_BY_NAME(std::string, GetEnumProp, const TPersistent*)
KB_BY_NAME(std::string, GetSetProp, const TPersistent*)
#undef KB_BY_NAME

void SetOrdProp(TPersistent* Object, std::string_view Name, int64_t Value) {
  SetOrdProp(Object, GetPropInfo(Object, Name), Value);
}
void SetFloatProp(TPersistent* Object, std::string_view Name, double Value) {
  SetFloatProp(Object, GetPropInfo(Object, Name), Value);
}
void SetStrProp(TPersistent* Object, std::string_view Name, const std::string& Value) {
  SetStrProp(Object, GetPropInfo(Object, Name), Value);
}
void SetObjectProp(TPersistent* Object, std::string_view Name, TPersistent* Value) {
  SetObjectProp(Object, GetPropInfo(Object, Name), Value);
}
void SetEnumProp(TPersistent* Object, std::string_view Name, std::string_view Value) {
  SetEnumProp(Object, GetPropInfo(Object, Name), Value);
}
void SetSetProp(TPersistent* Object, std::string_view Name, std::string_view Value) {
  SetSetProp(Object, GetPropInfo(Object, Name), Value);
}

void DefineProperties(TPersistent* Object, TFiler& Filer) {
  std::vector<const TPersistentClass*> chain;
  for (const TPersistentClass* c = ClassOf(Object); c && chain.size() < 1000; c = c->GetParent())
    chain.push_back(c);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    if ((*it)->DefineProperties) (*it)->DefineProperties(Object, Filer);
}

// The framework's own classes.
static TPropInfo NameProperty() {
  // A component file carries the name beside the class, not as a property.
  TPropInfo p = Prop::Str<TComponent>("Name", &TComponent::GetName, &TComponent::SetName);
  p.Stored = false;
  return p;
}
static const TClassRegistration<TComponent> ComponentClass("TComponent", "", {NameProperty()});
static const TClassRegistration<TBasicAction> BasicActionClass("TBasicAction", "TComponent",
                                                               {Prop::Method("OnExecute")});
static const TClassRegistration<TControl> ControlClass(
    "TControl", "TComponent",
    {Prop::Object<TControl>("Parent", &TControl::GetParent, &TControl::SetParent, "TControl")});

}  // namespace kb
