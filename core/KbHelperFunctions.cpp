#include "core/KbHelperFunctions.h"

namespace kb {

int32_t CalculateHash(std::string_view S) {
  uint32_t h = 0;
  size_t n = S.size();
  size_t step = n < 16 ? 1 : n / 8;
  for (size_t i = 0; i < n; i += step) h = h * 31u + static_cast<unsigned char>(S[i]);
  return static_cast<int32_t>(h);
}

int ContainsCharacters(std::string_view S, std::string_view Chars) {
  size_t p = S.find_first_of(Chars);
  return p == std::string_view::npos ? 0 : static_cast<int>(p) + 1;
}

std::string SetToString(const TEnumInfo& TypeInfo, uint32_t Value, std::string_view Separator,
                        bool Brackets, int TrimCount) {
  std::string r;
  for (int b = 0; b < 32; ++b) {
    if (!(Value & (uint32_t{1} << b))) continue;
    if (!r.empty()) r.append(Separator);
    std::string_view name = TypeInfo.NameOf(b);
    if (TrimCount > 0) name.remove_prefix(std::min(name.size(), static_cast<size_t>(TrimCount)));
    r.append(name);
  }
  if (Brackets) r = "[" + r + "]";
  return r;
}

std::string SetToString(TKbTypes Value, std::string_view Separator, bool Brackets) {
  return SetToString(EnumInfo<TKbType>(), Value.ToInt(), Separator, Brackets, 2);
}

uint32_t StringToSet(std::string_view Text, const TEnumInfo& TypeInfo, std::string_view Prefix) {
  uint32_t result = 0;
  ForEachSetItem(Trim(Text), [&](std::string_view Token) {
    std::string name(Prefix);
    name.append(Token);
    int ord = TypeInfo.Find(name);
    if (ord < 0 || ord > 31) throw Exception(Format(SInvalidSetItem, name));
    result |= uint32_t{1} << ord;
  });
  return result;
}

}  // namespace kb
