// Small helpers shared by the whole library: the string hash used by values
// and function calls, character screening of names, and the text form of
// enumeration sets.
#pragma once

#include <bit>
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

// Combines the hash of one more part into H, depending on the order of the
// parts: (1 5) and (5 1) or (2 4) hash apart. Start from a seed (0 or a
// kind's own number), mix every part, and end with HashFinish, which spreads
// every bit of the result over the low bits that hash tables use.
inline uint32_t HashMix(uint32_t H, uint32_t Part) noexcept {
  Part *= 0xCC9E2D51u;
  Part = std::rotl(Part, 15) * 0x1B873593u;
  H = std::rotl(H ^ Part, 13);
  return H * 5u + 0xE6546B64u;
}
inline int32_t HashFinish(uint32_t H) noexcept {
  H ^= H >> 16;
  H *= 0x85EBCA6Bu;
  H ^= H >> 13;
  H *= 0xC2B2AE35u;
  H ^= H >> 16;
  return static_cast<int32_t>(H);
}

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
// Calls Item(token) for each token of such text, in order.
template <class F>
void ForEachSetItem(std::string_view Text, F&& Item) {
  auto isDelim = [](char c) { return c == '[' || c == ']' || c == ',' || c == ' '; };
  size_t i = 0;
  while (i < Text.size()) {
    while (i < Text.size() && isDelim(Text[i])) ++i;
    size_t j = i;
    while (j < Text.size() && !isDelim(Text[j])) ++j;
    if (j > i) Item(Text.substr(i, j - i));
    i = j;
  }
}

}  // namespace kb
