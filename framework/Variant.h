// A small tagged value: empty, boolean, integer, float or text.
//
// Used for the elements of variant arrays and for values that cross into
// host code without a type of their own. Equality compares numbers by value
// across integer and float, texts byte for byte, and a text with a number by
// reading the text as a number.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace kb {

class TVariant {
 public:
  TVariant() = default;
  TVariant(bool v) : V_(v) {}
  TVariant(int32_t v) : V_(static_cast<int64_t>(v)) {}
  TVariant(int64_t v) : V_(v) {}
  TVariant(double v) : V_(v) {}
  TVariant(std::string v) : V_(std::move(v)) {}
  TVariant(const char* v) : V_(std::string(v)) {}

  bool IsEmpty() const { return V_.index() == 0; }
  bool IsBool() const { return V_.index() == 1; }
  bool IsInteger() const { return V_.index() == 2; }
  bool IsFloat() const { return V_.index() == 3; }
  bool IsString() const { return V_.index() == 4; }
  bool IsNumeric() const { return IsInteger() || IsFloat() || IsBool(); }

  // Conversions; raise EConvertError when the content cannot be converted.
  int64_t AsInteger() const;
  double AsFloat() const;
  bool AsBool() const;
  std::string AsString() const;

  bool operator==(const TVariant& Other) const;
  bool operator!=(const TVariant& Other) const { return !(*this == Other); }

 private:
  std::variant<std::monostate, bool, int64_t, double, std::string> V_;
};

using TVariantArray = std::vector<TVariant>;

}  // namespace kb
