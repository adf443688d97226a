// Published properties: declaring them next to a class, and reading and
// writing them by name.
//
// A class registers with one table:
//
//   static const TClassRegistration<TOrder> OrderClass("TOrder", "TComponent", {
//       Prop::Int("Amount", &TOrder::GetAmount, &TOrder::SetAmount, 0),
//       Prop::Str("Status", &TOrder::GetStatus, &TOrder::SetStatus),
//   });
//
// Accessors are any member functions (or callables taking the object) of
// the class; a property whose setter is nullptr is read-only. The default
// given last is the value a component file leaves out. Errors are
// EPropertyError with the class and property named.
#pragma once

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "framework/Classes.h"

namespace kb {

namespace Prop {

namespace detail {
template <class C>
const C& Self(const TPersistent* O) {
  return *dynamic_cast<const C*>(O);
}
template <class C>
C& Self(TPersistent* O) {
  return *dynamic_cast<C*>(O);
}
template <class S>
constexpr bool IsNone = std::is_null_pointer_v<S>;
}  // namespace detail

// A whole number held in type V (an integer type), within V's range.
template <class C, class G, class S>
TPropInfo Int(const char* Name, G Get, S Set, std::optional<int64_t> Default = std::nullopt) {
  using V = std::decay_t<std::invoke_result_t<G, const C&>>;
  TPropInfo p;
  p.Name = Name;
  p.Kind = TPropKind::Integer;
  p.Min = static_cast<int64_t>(std::numeric_limits<V>::min());
  p.Max = std::numeric_limits<V>::max() > INT64_MAX
              ? INT64_MAX
              : static_cast<int64_t>(std::numeric_limits<V>::max());
  p.GetOrd = [Get](const TPersistent* O) {
    return static_cast<int64_t>(std::invoke(Get, detail::Self<C>(O)));
  };
  if constexpr (!detail::IsNone<S>)
    p.SetOrd = [Set](TPersistent* O, int64_t I) {
      std::invoke(Set, detail::Self<C>(O), static_cast<V>(I));
    };
  if (Default)
    p.IsDefault = [G2 = p.GetOrd, D = *Default](const TPersistent* O) { return G2(O) == D; };
  return p;
}

// Text; Default nullopt writes every value.
template <class C, class G, class S>
TPropInfo Str(const char* Name, G Get, S Set, std::optional<std::string> Default = std::string()) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = TPropKind::String;
  p.GetStr = [Get](const TPersistent* O) {
    return std::string(std::invoke(Get, detail::Self<C>(O)));
  };
  if constexpr (!detail::IsNone<S>)
    p.SetStr = [Set](TPersistent* O, const std::string& V) {
      std::invoke(Set, detail::Self<C>(O), V);
    };
  if (Default)
    p.IsDefault = [G2 = p.GetStr, D = *Default](const TPersistent* O) { return G2(O) == D; };
  return p;
}

// One character, read and written as a string of one.
template <class C, class G, class S>
TPropInfo Char(const char* Name, G Get, S Set, std::optional<char> Default = std::nullopt) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = TPropKind::Char;
  p.GetStr = [Get](const TPersistent* O) {
    return std::string(1, static_cast<char>(std::invoke(Get, detail::Self<C>(O))));
  };
  if constexpr (!detail::IsNone<S>)
    p.SetStr = [Set, N = std::string(Name)](TPersistent* O, const std::string& V) {
      if (V.size() != 1)
        throw EPropertyError("Property " + N + " takes one character, not \"" + V + "\"");
      std::invoke(Set, detail::Self<C>(O), V[0]);
    };
  if (Default)
    p.IsDefault = [Get, D = *Default](const TPersistent* O) {
      return std::invoke(Get, detail::Self<C>(O)) == D;
    };
  return p;
}

template <class C, class G, class S>
TPropInfo Float(const char* Name, G Get, S Set, std::optional<double> Default = std::nullopt) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = TPropKind::Float;
  p.GetFloat = [Get](const TPersistent* O) {
    return static_cast<double>(std::invoke(Get, detail::Self<C>(O)));
  };
  if constexpr (!detail::IsNone<S>) {
    using V = std::decay_t<std::invoke_result_t<G, const C&>>;
    p.SetFloat = [Set](TPersistent* O, double D) {
      std::invoke(Set, detail::Self<C>(O), static_cast<V>(D));
    };
  }
  if (Default)
    p.IsDefault = [G2 = p.GetFloat, D = *Default](const TPersistent* O) { return G2(O) == D; };
  return p;
}

// An enumeration of type E with the value names Names (by ordinal).
template <class C, class G, class S, class E = std::decay_t<std::invoke_result_t<G, const C&>>>
TPropInfo Enum(const char* Name, G Get, S Set, const char* const* Names, int NameCount,
               std::optional<E> Default = std::nullopt) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = TPropKind::Enumeration;
  p.Names = Names;
  p.NameCount = NameCount;
  p.GetOrd = [Get](const TPersistent* O) {
    return static_cast<int64_t>(std::invoke(Get, detail::Self<C>(O)));
  };
  if constexpr (!detail::IsNone<S>)
    p.SetOrd = [Set](TPersistent* O, int64_t I) {
      std::invoke(Set, detail::Self<C>(O), static_cast<E>(I));
    };
  if (Default)
    p.IsDefault = [Get, D = *Default](const TPersistent* O) {
      return std::invoke(Get, detail::Self<C>(O)) == D;
    };
  return p;
}

// A boolean: an enumeration with the values FALSE and TRUE.
extern const char* const BooleanNames[2];
template <class C, class G, class S>
TPropInfo Bool(const char* Name, G Get, S Set, std::optional<bool> Default = std::nullopt) {
  return Enum<C>(Name, Get, Set, BooleanNames, 2, Default);
}

// A set held in type T with ToInt() and T::FromInt(bits): its members'
// names by ordinal.
template <class C, class G, class S>
TPropInfo Set(const char* Name, G Get, S Set, const char* const* Names, int NameCount,
              std::optional<uint32_t> Default = std::nullopt) {
  using T = std::decay_t<std::invoke_result_t<G, const C&>>;
  TPropInfo p;
  p.Name = Name;
  p.Kind = TPropKind::Set;
  p.Names = Names;
  p.NameCount = NameCount;
  p.GetOrd = [Get](const TPersistent* O) {
    return static_cast<int64_t>(std::invoke(Get, detail::Self<C>(O)).ToInt());
  };
  if constexpr (!detail::IsNone<S>)
    p.SetOrd = [Set](TPersistent* O, int64_t I) {
      std::invoke(Set, detail::Self<C>(O), T::FromInt(static_cast<uint32_t>(I)));
    };
  if (Default)
    p.IsDefault = [G2 = p.GetOrd, D = *Default](const TPersistent* O) { return G2(O) == D; };
  return p;
}

// A reference to an object of the registered class ClassName ("" for any),
// held as a pointer to T. Not written to component files unless Stored.
template <class C, class G, class S>
TPropInfo Object(const char* Name, G Get, S Set, const char* ClassName, bool Stored = false) {
  using T = std::remove_pointer_t<std::decay_t<std::invoke_result_t<G, const C&>>>;
  TPropInfo p;
  p.Name = Name;
  p.Kind = TPropKind::Class;
  p.ClassName = ClassName;
  p.Stored = Stored;
  p.GetObj = [Get](const TPersistent* O) -> TPersistent* {
    return const_cast<std::remove_const_t<T>*>(std::invoke(Get, detail::Self<C>(O)));
  };
  if constexpr (!detail::IsNone<S>)
    p.SetObj = [Set, N = std::string(Name)](TPersistent* O, TPersistent* V) {
      auto* t = dynamic_cast<T*>(V);
      if (V && !t) throw EPropertyError("Property " + N + " cannot hold a " + V->ClassName());
      std::invoke(Set, detail::Self<C>(O), t);
    };
  return p;
}

// A part of the object (see TPropInfo::Owned), held as a pointer to an
// object of the registered class ClassName; read-only.
template <class C, class G>
TPropInfo Owned(const char* Name, G Get, const char* ClassName, bool Stored = true) {
  TPropInfo p = Object<C>(Name, Get, nullptr, ClassName, Stored);
  p.Owned = true;
  return p;
}

// An event: published so that it is listed; it has no value.
inline TPropInfo Method(const char* Name) {
  TPropInfo p;
  p.Name = Name;
  p.Kind = TPropKind::Method;
  p.Stored = false;
  return p;
}

}  // namespace Prop

// Registers class C under Name, derived from the registered class Parent,
// with its published properties and, optionally, its defined ones. Objects
// are created with C(Owner) for components, C() otherwise, and not at all
// for abstract classes.
template <class C>
class TClassRegistration {
 public:
  TClassRegistration(const char* Name, const char* Parent, std::vector<TPropInfo> Properties,
                     std::function<void(C&, TFiler&)> DefineProperties = nullptr) {
    Class_.Name = Name;
    Class_.ParentName = Parent;
    Class_.Type = &typeid(C);
    Class_.IsComponent = std::is_base_of_v<TComponent, C>;
    Class_.IsInstance = [](const TPersistent* O) { return dynamic_cast<const C*>(O) != nullptr; };
    Class_.Properties = std::move(Properties);
    if constexpr (!std::is_abstract_v<C>) {
      if constexpr (std::is_constructible_v<C, TComponent*>)
        Class_.Create = [](TComponent* Owner) -> TPersistent* { return new C(Owner); };
      else if constexpr (std::is_default_constructible_v<C>)
        Class_.Create = [](TComponent*) -> TPersistent* { return new C(); };
    }
    if (DefineProperties)
      Class_.DefineProperties = [D = std::move(DefineProperties)](TPersistent* O, TFiler& F) {
        D(*dynamic_cast<C*>(O), F);
      };
    RegisterClass(&Class_);
  }
  const TPersistentClass* Get() const { return &Class_; }

 private:
  TPersistentClass Class_;
};

// An action a host publishes for rules to run (execute-action): Execute
// runs OnExecute and answers whether there was one to run.
class TBasicAction : public TComponent {
 public:
  explicit TBasicAction(TComponent* AOwner = nullptr) : TComponent(AOwner) {}
  virtual bool Execute() {
    if (!OnExecute) return false;
    OnExecute(this);
    return true;
  }
  std::function<void(TBasicAction* Sender)> OnExecute;
};

// Every published property of Class, its parents' first.
std::vector<const TPropInfo*> GetPropList(const TPersistentClass* Class);
// The published property of that name (case-insensitive) of Class or a
// parent; nil when there is none.
const TPropInfo* FindPropInfo(const TPersistentClass* Class, std::string_view Name);
// The same for an object; raises EPropertyError naming the class when the
// object's class is not registered or has no such property.
const TPropInfo& GetPropInfo(const TPersistent* Object, std::string_view Name);

// Typed access by name. Each raises EPropertyError when the property does
// not exist, is of another kind, is read-only (setters), or the value does
// not fit (an integer out of range, an unknown value name).
int64_t GetOrdProp(const TPersistent* Object, std::string_view Name);
void SetOrdProp(TPersistent* Object, std::string_view Name, int64_t Value);
double GetFloatProp(const TPersistent* Object, std::string_view Name);
void SetFloatProp(TPersistent* Object, std::string_view Name, double Value);
std::string GetStrProp(const TPersistent* Object, std::string_view Name);
void SetStrProp(TPersistent* Object, std::string_view Name, const std::string& Value);
TPersistent* GetObjectProp(const TPersistent* Object, std::string_view Name);
void SetObjectProp(TPersistent* Object, std::string_view Name, TPersistent* Value);
// Enumerations by value name, sets as "[a,b]".
std::string GetEnumProp(const TPersistent* Object, std::string_view Name);
void SetEnumProp(TPersistent* Object, std::string_view Name, std::string_view Value);
std::string GetSetProp(const TPersistent* Object, std::string_view Name);
void SetSetProp(TPersistent* Object, std::string_view Name, std::string_view Value);

// The same on a property already found.
int64_t GetOrdProp(const TPersistent* Object, const TPropInfo& Prop);
void SetOrdProp(TPersistent* Object, const TPropInfo& Prop, int64_t Value);
double GetFloatProp(const TPersistent* Object, const TPropInfo& Prop);
void SetFloatProp(TPersistent* Object, const TPropInfo& Prop, double Value);
std::string GetStrProp(const TPersistent* Object, const TPropInfo& Prop);
void SetStrProp(TPersistent* Object, const TPropInfo& Prop, const std::string& Value);
TPersistent* GetObjectProp(const TPersistent* Object, const TPropInfo& Prop);
void SetObjectProp(TPersistent* Object, const TPropInfo& Prop, TPersistent* Value);
std::string GetEnumProp(const TPersistent* Object, const TPropInfo& Prop);
void SetEnumProp(TPersistent* Object, const TPropInfo& Prop, std::string_view Value);
std::string GetSetProp(const TPersistent* Object, const TPropInfo& Prop);
void SetSetProp(TPersistent* Object, const TPropInfo& Prop, std::string_view Value);

// The ordinal of a value name of an enumeration or set property
// (case-insensitive); raises EPropertyError for an unknown name.
int EnumValueOf(const TPropInfo& Prop, std::string_view ValueName);
// The names of the members of a set value, in ordinal order.
std::vector<std::string> SetMemberNames(const TPropInfo& Prop, int64_t Bits);

// Calls the DefineProperties of Object's class chain, parents first.
void DefineProperties(TPersistent* Object, TFiler& Filer);

}  // namespace kb
