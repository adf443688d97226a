// Deducer's public API: how a host's C++ callable becomes a function of the
// rule language (its argument kinds, worked out from its signature) and how
// the engine's output reaches a host's callable. Included by
// deducer/Engine.h; nothing here is for hosts to name.

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "Value.h"  // beside this header

namespace deducer {

namespace detail {

// Each kind is checked by CheckArgument (api/Engine.cpp), whose switch
// names every kind without a default: a kind added here and not checked
// there is a -Wswitch warning, an error in --werror builds.
enum class ArgKind : unsigned char {
  Integer,     // int64_t: an integer
  Float,       // double: an integer or a float
  Bool,        // bool: any value, false only for the symbol FALSE
  Text,        // std::string: a string or a symbol
  Symbol,      // deducer::Symbol: a symbol
  Any,         // Value: any value
  Multifield,  // std::vector<Value>: a multifield
};

template <class T>
struct Arg {
  static_assert(sizeof(T) == 0,
                "a host function takes int64_t, double, bool, std::string, deducer::Symbol, "
                "deducer::Value or std::vector<deducer::Value>");
};
template <>
struct Arg<int64_t> {
  static constexpr ArgKind Kind = ArgKind::Integer;
  static int64_t From(Value& V) { return V.AsInteger(); }
};
template <>
struct Arg<double> {
  static constexpr ArgKind Kind = ArgKind::Float;
  static double From(Value& V) { return V.AsFloat(); }
};
template <>
struct Arg<bool> {
  static constexpr ArgKind Kind = ArgKind::Bool;
  static bool From(Value& V) { return V.IsTrue(); }
};
template <>
struct Arg<std::string> {
  static constexpr ArgKind Kind = ArgKind::Text;
  static std::string From(Value& V) { return V.AsText(); }
};
template <>
struct Arg<Symbol> {
  static constexpr ArgKind Kind = ArgKind::Symbol;
  static Symbol From(Value& V) { return Symbol(V.AsText()); }
};
template <>
struct Arg<Value> {
  static constexpr ArgKind Kind = ArgKind::Any;
  static Value From(Value& V) { return std::move(V); }
};
template <>
struct Arg<std::vector<Value>> {
  static constexpr ArgKind Kind = ArgKind::Multifield;
  static std::vector<Value> From(Value& V) { return V.AsMultifield(); }
};

// The result and parameter types of a callable: a function, a function
// pointer, or an object with one (non-template) operator().
template <class F>
struct Signature : Signature<decltype(&F::operator())> {};
template <class R, class... A>
struct Signature<R(A...)> {
  using Result = R;
  static constexpr size_t Count = sizeof...(A);
  static constexpr ArgKind Kinds[sizeof...(A) + 1] = {Arg<std::decay_t<A>>::Kind..., ArgKind::Any};
  template <class F, size_t... I>
  static Value Invoke(F& Fn, std::vector<Value>& Args, std::index_sequence<I...>) {
    if constexpr (std::is_void_v<R>) {
      Fn(Arg<std::decay_t<A>>::From(Args[I])...);
      return Value();
    } else {
      return Value(Fn(Arg<std::decay_t<A>>::From(Args[I])...));
    }
  }
};
template <class R, class... A>
struct Signature<R(A...) noexcept> : Signature<R(A...)> {};
template <class R, class... A>
struct Signature<R (*)(A...)> : Signature<R(A...)> {};
template <class R, class... A>
struct Signature<R (*)(A...) noexcept> : Signature<R(A...)> {};
template <class C, class R, class... A>
struct Signature<R (C::*)(A...)> : Signature<R(A...)> {};
template <class C, class R, class... A>
struct Signature<R (C::*)(A...) const> : Signature<R(A...)> {};
template <class C, class R, class... A>
struct Signature<R (C::*)(A...) noexcept> : Signature<R(A...)> {};
template <class C, class R, class... A>
struct Signature<R (C::*)(A...) const noexcept> : Signature<R(A...)> {};

// A host function as the engine calls it: the library checks the number
// of arguments against MinCount and MaxCount (negative: no upper bound),
// and the types of the first Count of them against Kinds, before Call.
class HostFunction {
 public:
  HostFunction(const ArgKind* Kinds, size_t Count)
      : Kinds(Kinds),
        Count(Count),
        MinCount(static_cast<int>(Count)),
        MaxCount(static_cast<int>(Count)) {}
  HostFunction(int MinCount, int MaxCount)
      : Kinds(nullptr), Count(0), MinCount(MinCount), MaxCount(MaxCount) {}
  virtual ~HostFunction() = default;
  virtual Value Call(std::vector<Value>& Args) = 0;
  const ArgKind* const Kinds;
  const size_t Count;
  const int MinCount;
  const int MaxCount;
};

template <class F>
class HostFunctionOf final : public HostFunction {
  using Sig = Signature<std::remove_pointer_t<F>>;

 public:
  explicit HostFunctionOf(F Fn) : HostFunction(Sig::Kinds, Sig::Count), Fn_(std::move(Fn)) {}
  Value Call(std::vector<Value>& Args) override {
    return Sig::Invoke(Fn_, Args, std::make_index_sequence<Sig::Count>());
  }

 private:
  F Fn_;
};

// A host function that takes its arguments as they come.
template <class F>
class VariadicFunctionOf final : public HostFunction {
 public:
  VariadicFunctionOf(F Fn, int MinCount, int MaxCount)
      : HostFunction(MinCount, MaxCount), Fn_(std::move(Fn)) {}
  Value Call(std::vector<Value>& Args) override {
    const std::vector<Value>& args = Args;
    if constexpr (std::is_void_v<decltype(Fn_(args))>) {
      Fn_(args);
      return Value();
    } else {
      return Value(Fn_(args));
    }
  }

 private:
  F Fn_;
};

// Where the engine's output goes.
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual void Write(std::string_view Channel, std::string_view Text) = 0;
};

template <class F>
class OutputSinkOf final : public OutputSink {
 public:
  explicit OutputSinkOf(F Fn) : Fn_(std::move(Fn)) {}
  void Write(std::string_view Channel, std::string_view Text) override { Fn_(Channel, Text); }

 private:
  F Fn_;
};

}  // namespace detail

}  // namespace deducer
