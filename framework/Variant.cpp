#include "framework/Variant.h"

#include <cmath>

#include "framework/SysUtils.h"

namespace kb {

int64_t TVariant::AsInteger() const {
  switch (V_.index()) {
    case 0: return 0;
    case 1: return std::get<bool>(V_) ? 1 : 0;
    case 2: return std::get<int64_t>(V_);
    case 3: return static_cast<int64_t>(std::llround(std::get<double>(V_)));
    default: {
      const auto& s = std::get<std::string>(V_);
      if (auto i = TryStrToInt(Trim(s))) return *i;
      throw EConvertError(Format("Could not convert variant of type (String) into type (Integer)"));
    }
  }
}

double TVariant::AsFloat() const {
  switch (V_.index()) {
    case 0: return 0;
    case 1: return std::get<bool>(V_) ? 1 : 0;
    case 2: return static_cast<double>(std::get<int64_t>(V_));
    case 3: return std::get<double>(V_);
    default: {
      const auto& s = std::get<std::string>(V_);
      if (auto f = TryStrToFloat(Trim(s))) return *f;
      throw EConvertError("Could not convert variant of type (String) into type (Double)");
    }
  }
}

bool TVariant::AsBool() const {
  if (IsString()) {
    const auto& s = std::get<std::string>(V_);
    if (SameText(s, "true")) return true;
    if (SameText(s, "false")) return false;
  }
  return AsFloat() != 0;
}

std::string TVariant::AsString() const {
  switch (V_.index()) {
    case 0: return "";
    case 1: return std::get<bool>(V_) ? "True" : "False";
    case 2: return IntToStr(std::get<int64_t>(V_));
    case 3: return FloatToStr(std::get<double>(V_));
    default: return std::get<std::string>(V_);
  }
}

bool TVariant::operator==(const TVariant& Other) const {
  if (IsEmpty() || Other.IsEmpty()) return IsEmpty() && Other.IsEmpty();
  if (IsString() && Other.IsString())
    return std::get<std::string>(V_) == std::get<std::string>(Other.V_);
  if (IsInteger() && Other.IsInteger()) return std::get<int64_t>(V_) == std::get<int64_t>(Other.V_);
  // Mixed kinds compare as numbers; a text that is no number equals nothing numeric.
  auto num = [](const TVariant& v, double& out) {
    if (v.IsString()) {
      auto f = TryStrToFloat(Trim(std::get<std::string>(v.V_)));
      if (!f) return false;
      out = *f;
      return true;
    }
    out = v.AsFloat();
    return true;
  };
  double a = 0, b = 0;
  return num(*this, a) && num(Other, b) && a == b;
}

}  // namespace kb
