// Deducer's public API: the values and fact snapshots a host exchanges with
// an engine, and the error every call raises. Included by deducer/Engine.h,
// the header hosts include.

#pragma once

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "Export.h"  // beside this header

namespace deducer {

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

}  // namespace deducer
