// Small helpers shared by the whole library: the string hash used by values
// and function calls, character screening of names, and the text form of
// enumeration sets.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/KbConsts.h"
#include "framework/Classes.h"

namespace kb {

constexpr const char* SInvalidSetItem = "Invalid item for set: %s";

// h = h * 31 + c over every byte of a string shorter than 16; over positions
// 1, 1 + k, 1 + 2k, ... (k = n / 8) of a longer one. 32-bit wrap-around.
int32_t CalculateHash(std::string_view S);

// The 1-based position of the first character of S that occurs in Chars, or 0.
int ContainsCharacters(std::string_view S, std::string_view Chars);

// The first component owned by Owner that is a T (or derives from it).
template <class T>
T* FindComponentType(const TComponent* Owner) {
  return FindComponentOfType<T>(Owner);
}

// The names of the bits set in Value, in ordinal order, joined by Separator;
// TrimCount characters are dropped from the front of each name; Brackets
// encloses the result in "[" and "]".
std::string SetToString(const TEnumInfo& TypeInfo, uint32_t Value, std::string_view Separator,
                        bool Brackets, int TrimCount = 0);
// The same for a type set, always without the "dt" prefix.
std::string SetToString(TKbTypes Value, std::string_view Separator, bool Brackets);
// Parses such text back. Tokens are cut at "[", "]", "," and blanks; each is
// looked up as Prefix + token. An unknown name raises Exception with
// SInvalidSetItem and the prefixed token.
uint32_t StringToSet(std::string_view Text, const TEnumInfo& TypeInfo, std::string_view Prefix);

}  // namespace kb
