// Deducer, an embeddable forward-chaining rule engine: the public API.
//
// A host includes this one header and links the library kbcore (CMake:
// find_package(Deducer) and the target Deducer::kbcore; pkg-config:
// deducer). It creates an Engine, gives it rules and templates as text in
// the CLIPS rule language, asserts facts (from text or typed values), runs
// the rules and reads the facts back:
//
//   deducer::Engine engine;
//   engine.Load("(deftemplate order (slot total (type INTEGER)))");
//   engine.Reset();
//   engine.Assert("order", {{"total", 125000}});
//   engine.Run();
//
// Values: Value is a small self-contained value type (void, integer,
// float, symbol, string, fact address, multifield). Facts read from an
// engine are snapshots (Fact): copies of what a fact held when it was read,
// which stay as they are whatever happens to working memory, and through
// which nothing in working memory can change. Working memory changes only
// through the engine: Assert, Modify (retracts the fact and asserts it with
// the changed slots, as the language's "modify" does, so that rules match
// the new values) and Retract.
//
// Errors: every failure raises deducer::Error, with the engine's message
// and, for errors in text the engine read, the line.
//
// Threads: an engine, and everything it returns, is used by one thread at
// a time. Engines are independent: several engines may run on several
// threads at once, and an engine may be moved to another thread between
// calls (the host orders the hand-over, for example with a mutex or a
// join). Halt() alone may be called from any thread at any time, also
// while another thread runs the engine.
//
// Lines the engine writes end in "\n".
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "Export.h"  // beside this header

namespace deducer {

// The version of the library linked, "major.minor.patch" (the headers'
// own is DEDUCER_VERSION_STRING in deducer/Version.h).
DEDUCER_API const char* LibraryVersion() noexcept;

// What every call of this API raises when it fails: the engine's message
// (a bad argument, an unknown template, an error raised by a rule's
// actions, a file that cannot be read...) and, when the error is in text
// the engine was reading (Load, LoadFile, Eval, Assert of text), the line
// of that text, counted from 1; 0 otherwise.
class DEDUCER_API Error : public std::runtime_error {
 public:
  explicit Error(const std::string& Message, int Line = 0);
  int Line() const noexcept { return Line_; }

 private:
  int Line_;
};

// A symbol, as opposed to a string: Value(Symbol("red")) is the symbol
// red, Value("red") the string "red".
struct Symbol {
  std::string Name;
  explicit Symbol(std::string Name = {}) : Name(std::move(Name)) {}
  friend bool operator==(const Symbol&, const Symbol&) = default;
};

// The C++ integers a Value takes: every one whose values fit in 64 bits
// (bool is a symbol).
template <class T>
concept HostInteger = std::is_integral_v<T> && !std::is_same_v<T, bool> &&
                      (std::is_signed_v<T> || sizeof(T) < sizeof(int64_t));

// A value of the rule language, held by the host. Integers have 64 bits.
// Copying copies everything (a multifield's items too); a Value shares
// nothing with an engine.
class DEDUCER_API Value {
 public:
  enum class Type {
    Void,        // no value: what a function that returns nothing gives
    Integer,     // AsInteger
    Float,       // AsFloat
    Symbol,      // AsText; TRUE and FALSE are the language's booleans
    String,      // AsText
    Fact,        // a fact address: AsFactId
    Multifield,  // AsMultifield
    Other,       // an engine value with no host form (an object, a class):
                 // AsText gives its text
  };

  Value() noexcept = default;
  template <HostInteger T>
  Value(T V) noexcept : Type_(Type::Integer), Integer_(static_cast<int64_t>(V)) {}
  Value(double V) noexcept : Type_(Type::Float), Float_(V) {}
  // The symbol TRUE or FALSE.
  Value(bool V) : Type_(Type::Symbol), Text_(V ? "TRUE" : "FALSE") {}
  Value(deducer::Symbol V) : Type_(Type::Symbol), Text_(std::move(V.Name)) {}
  Value(std::string V) : Type_(Type::String), Text_(std::move(V)) {}
  Value(std::string_view V) : Type_(Type::String), Text_(V) {}
  Value(const char* V) : Type_(Type::String), Text_(V) {}
  Value(std::vector<Value> Items) : Type_(Type::Multifield), Items_(std::move(Items)) {}
  // The address of the fact with that identifier.
  static Value FactAddress(int64_t Id) noexcept {
    Value v;
    v.Type_ = Type::Fact;
    v.Integer_ = Id;
    return v;
  }

  Type GetType() const noexcept { return Type_; }
  bool IsVoid() const noexcept { return Type_ == Type::Void; }
  bool IsNumber() const noexcept { return Type_ == Type::Integer || Type_ == Type::Float; }
  bool IsText() const noexcept { return Type_ == Type::Symbol || Type_ == Type::String; }

  // Each accessor raises Error when the value is of another type.
  int64_t AsInteger() const {
    if (Type_ != Type::Integer) Mismatch(Type::Integer);
    return Integer_;
  }
  // A float, or an integer as a float.
  double AsFloat() const {
    if (Type_ == Type::Integer) return static_cast<double>(Integer_);
    if (Type_ != Type::Float) Mismatch(Type::Float);
    return Float_;
  }
  // The text of a symbol or string (or of an Other value).
  const std::string& AsText() const {
    if (!IsText() && Type_ != Type::Other) Mismatch(Type::String);
    return Text_;
  }
  int64_t AsFactId() const {
    if (Type_ != Type::Fact) Mismatch(Type::Fact);
    return Integer_;
  }
  const std::vector<Value>& AsMultifield() const {
    if (Type_ != Type::Multifield) Mismatch(Type::Multifield);
    return Items_;
  }
  // The language's truth: everything but the symbol FALSE is true.
  bool IsTrue() const noexcept { return !(Type_ == Type::Symbol && Text_ == "FALSE"); }

  // The value as the language writes it: 42, 2.5, red, "a \"quoted\" word",
  // <Fact-3>, (1 2 red); the empty text for Void.
  std::string ToString() const;

  // Same type and same contents (1 and 1.0 differ, as for "eq").
  friend bool operator==(const Value& A, const Value& B) noexcept {
    if (A.Type_ != B.Type_) return false;
    switch (A.Type_) {
      case Type::Void: return true;
      case Type::Integer:
      case Type::Fact: return A.Integer_ == B.Integer_;
      case Type::Float: return A.Float_ == B.Float_;
      case Type::Multifield: return A.Items_ == B.Items_;
      default: return A.Text_ == B.Text_;
    }
  }

 private:
  friend struct Access;
  [[noreturn]] void Mismatch(Type Wanted) const;

  Type Type_ = Type::Void;
  int64_t Integer_ = 0;
  double Float_ = 0;
  std::string Text_;
  std::vector<Value> Items_;
};

// Slot values by slot name, for Assert and Modify.
using SlotValues = std::map<std::string, Value, std::less<>>;

// A snapshot of a fact: its identifier, template and slot values as they
// were when it was read. It is a plain copy: modifying or retracting the
// fact later leaves the snapshot as it is, and nothing done to a snapshot
// reaches working memory (it has no operation that could).
class DEDUCER_API Fact {
 public:
  int64_t Id() const noexcept { return Id_; }
  const std::string& Template() const noexcept { return Template_; }
  // An ordered fact, (point 1 2): values without slot names (Fields).
  bool IsOrdered() const noexcept { return Ordered_; }
  // The slots in the template's order, each with its value (a slot never
  // set shows its default). Empty for an ordered fact.
  const std::vector<std::pair<std::string, Value>>& Slots() const noexcept { return Slots_; }
  // The value of a slot; Error when the template has no such slot.
  const Value& Get(std::string_view Slot) const;
  const Value& operator[](std::string_view Slot) const { return Get(Slot); }
  // The values of an ordered fact; empty for a template fact.
  const std::vector<Value>& Fields() const noexcept { return Fields_; }
  // The fact as the language writes it: (order (item bolts) (quantity 40)).
  const std::string& ToString() const noexcept { return Text_; }

 private:
  friend struct Access;
  Fact() = default;

  int64_t Id_ = -1;
  std::string Template_;
  bool Ordered_ = false;
  std::vector<std::pair<std::string, Value>> Slots_;
  std::vector<Value> Fields_;
  std::string Text_;
};

namespace detail {

// Keep in sync with the checks in api/Engine.cpp (CheckArgument).
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

// A rule engine: its templates, rules, functions, working memory and
// agenda. A new engine has the built-in functions and holds the initial
// fact; Reset() starts a session over. Not copyable (an engine is a whole
// knowledge base); movable.
class DEDUCER_API Engine {
 public:
  Engine();
  ~Engine();
  // A moved-from engine may be assigned to or destroyed; anything else
  // raises Error.
  Engine(Engine&&) noexcept;
  Engine& operator=(Engine&&) noexcept;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Reads constructs (deftemplate, defrule, deffacts, deffunction,
  // defglobal) and runs the top-level calls of Text, in order. On an
  // error, what was read before it stays.
  void Load(std::string_view Text);
  // The same for the contents of a file.
  void LoadFile(const std::string& Path);
  // The value of one call, "(+ 1 2)", or of a constant or global
  // variable, "?*limit*". Void when the call returns nothing.
  Value Eval(std::string_view Expression);

  // Asserts a fact written in the language, "(order (item bolts))" or
  // "(point 1 2)", and returns it as asserted. When an equal fact is in
  // working memory already (and duplicates are not allowed, the default),
  // nothing is asserted and that fact is returned.
  Fact Assert(std::string_view FactText);
  // Asserts a fact of a defined template from slot values; slots not
  // given take their defaults. Slot types are checked as for a fact read
  // from text; a multislot takes a multifield (or one value).
  Fact Assert(std::string_view Template, const SlotValues& Slots);
  // Asserts an ordered fact, (Relation Fields...).
  Fact AssertOrdered(std::string_view Relation, const std::vector<Value>& Fields);
  // Retracts the fact; false when it is not in working memory.
  bool Retract(int64_t FactId);
  bool Retract(const Fact& F) { return Retract(F.Id()); }
  // Changes the slots named in Changes of the fact in working memory, as
  // the language's "modify" does: the fact is retracted and asserted again
  // with a new identifier, and the rules match it anew. Returns the fact
  // now in working memory (an equal fact already there, when there was
  // one). Nothing changes when it fails; Error when there is no such fact.
  Fact Modify(int64_t FactId, const SlotValues& Changes);
  Fact Modify(const Fact& F, const SlotValues& Changes) { return Modify(F.Id(), Changes); }

  // Fires rules until the agenda is empty, Halt() is called, a rule calls
  // (halt), or Limit rules have fired (a negative Limit: no limit).
  // Returns the number of rules fired. An error raised by a rule's actions
  // ends the run and is raised here.
  int64_t Run(int64_t Limit = -1);
  // Stops the run in progress after the rule firing now. May be called
  // from any thread (and from a host function during the run); a run that
  // starts afterwards is not affected.
  void Halt() noexcept;
  // Working memory emptied, then the initial fact, the globals' initial
  // values and the deffacts' facts.
  void Reset();
  // Everything removed: templates, rules, facts, deffunctions, globals.
  // Host functions and the output stay.
  void Clear();

  // Snapshots of the facts in working memory, in the order they were
  // asserted; all of them, or those of one template.
  std::vector<Fact> Facts() const;
  std::vector<Fact> Facts(std::string_view Template) const;
  // The fact with that identifier, when it is in working memory.
  std::optional<Fact> FindFact(int64_t FactId) const;

  // The facts in working memory as JSON: an array with one object per
  // fact, {"template": "order", "slots": {...}} or, for an ordered fact,
  // {"template": "point", "values": [...]}. Error, and nothing written,
  // when a fact holds a value with no JSON form (a fact address).
  std::string FactsJson() const;
  void SaveFactsJson(const std::string& Path) const;
  // Asserts the facts of such a JSON text, or file; returns how many were
  // asserted (an equal fact already there is not asserted again). Every
  // fact is checked before any is asserted: on an error (malformed JSON,
  // with its position; an unknown template or slot; a wrong type) nothing
  // is asserted.
  int64_t LoadFactsJson(std::string_view Json);
  int64_t LoadFactsJsonFile(const std::string& Path);

  // Makes a C++ callable a function of the language under Name: rules and
  // calls use it as (Name arg...). The callable's parameters are each
  // int64_t, double, bool, std::string, deducer::Symbol, deducer::Value or
  // std::vector<deducer::Value> (a multifield), by value or const
  // reference; it returns one of these, or nothing. A call with the wrong
  // number of arguments, or an argument of the wrong type, fails with the
  // engine's usual argument error before the callable runs; an exception
  // the callable raises fails the call with its message. Replaces the
  // function of that name the engine had.
  template <class F>
  void AddFunction(std::string_view Name, F Function) {
    AddHostFunction(Name, std::make_unique<detail::HostFunctionOf<F>>(std::move(Function)));
  }

  // The same for a callable that takes any number of arguments of any
  // type, as Value(const std::vector<deducer::Value>& Args) (or returning
  // another type Value converts from, or nothing): a call with fewer than
  // MinArgs or more than MaxArgs arguments (a negative MaxArgs: no upper
  // bound) fails with the engine's usual argument error before the
  // callable runs. Multifield arguments arrive as multifields.
  template <class F>
  void AddVariadicFunction(std::string_view Name, F Function, int MinArgs = 0, int MaxArgs = -1) {
    AddHostFunction(Name, std::make_unique<detail::VariadicFunctionOf<F>>(std::move(Function),
                                                                          MinArgs, MaxArgs));
  }

  // Where the engine's output goes (printout, format, watches): Callback
  // gets the logical name ("t" for standard output) and the text, as
  // void(std::string_view Channel, std::string_view Text). The default
  // writes to the process's standard output.
  template <class F>
  void SetOutput(F Callback) {
    SetOutputSink(std::make_unique<detail::OutputSinkOf<F>>(std::move(Callback)));
  }

 private:
  struct Impl;
  Impl& Self() const;
  void AddHostFunction(std::string_view Name, std::unique_ptr<detail::HostFunction> Function);
  void SetOutputSink(std::unique_ptr<detail::OutputSink> Sink);

  std::unique_ptr<Impl> Impl_;
};

}  // namespace deducer
