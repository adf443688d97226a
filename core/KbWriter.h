// The writer: values, calls, functions and globals as CLIPS text that the
// parser reads back to equal objects, and the character classes of the
// language that the lexer and the writer share. Facts and templates are
// written by memory/KbFactsWriter.h, patterns and rules by
// rete/KbRuleWriter.h; the parser's PrettyPrint hands out the same texts.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/KbFunctions.h"
#include "core/KbInterfaces.h"
#include "core/KbValue.h"

namespace kb {

// What a character does inside a word: the lexer reads words by these
// classes, and the writer escapes what would end one.
enum TCharClass : uint8_t {
  ccWord,       // part of the word
  ccBlank,      // blank, control character or NUL: ends the word and is consumed
  ccDelimiter,  // ends the word and is read again as the start of the next token
  ccEscape,     // backslash: the next character is taken literally
};

constexpr std::array<TCharClass, 256> MakeCharClasses() {
  std::array<TCharClass, 256> t{};
  for (int c = 0; c <= ' '; ++c) t[static_cast<size_t>(c)] = ccBlank;
  t[127] = ccBlank;
  for (unsigned char c : {'"', '&', '(', ')', ';', '<', '|', '~'}) t[c] = ccDelimiter;
  t[static_cast<unsigned char>('\\')] = ccEscape;
  return t;
}

inline constexpr std::array<TCharClass, 256> CharClasses = MakeCharClasses();

inline TCharClass CharClassOf(char c) { return CharClasses[static_cast<unsigned char>(c)]; }

// Whether a word's first character begins a token of its own, a string or
// a comment instead (the lexer's first switch); any other character,
// a backslash or "<" too, is taken as it stands.
constexpr bool BeginsOwnToken(char c) {
  switch (c) {
    case '"':
    case '&':
    case '(':
    case ')':
    case ';':
    case '=':
    case '|':
    case '~': return true;
    default: return false;
  }
}

// Whether a word starting with c may be a number.
constexpr bool IsNumberStart(char c) {
  return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}
// Whether Text (not empty) reads back as a number.
bool ReadsAsNumber(std::string_view Text);

// A value's text: as its GetToString, except that a float always reads back
// as a float (1.0, not 1), nil prints as nil, a string escapes its quotes
// and backslashes, an atom escapes the characters that would end it, and a
// call prints through PrettyPrint.
std::string PrettyPrintValue(const IKbValue& Value);
// Appends the value's text to Out.
void AppendValueText(std::string& Out, const IKbValue& Value);
// "(" name arguments ")"; after the first argument of modify and duplicate
// every argument (a slot change) is written in parentheses.
std::string PrettyPrint(const IFunCall& FunCall);
// A deffunction's definition; any other function as a comment block.
std::string PrettyPrint(const IUserFunction& Function);
std::string PrettyPrint(const IInterpretedFunction& Function);
// Name " = " text.
std::string PrettyPrint(const std::string& Name, const IKbValue& Value);
// "(defglobal ?name = text ...)".
std::string PrettyPrint(const TValueHashTable& GlobalVariables);
// Text as a CLIPS string literal, quotes and backslashes escaped.
std::string QuoteString(std::string_view Text);
// Names of constructs and slots are written as they are, without escapes,
// so they must be plain symbols: IsPlainSymbol(Text) says whether Text,
// written as it is, reads back as one symbol with that very text (not
// empty, no character that ends a word or escapes, not a number, a
// variable or punctuation). UnwritableNameChar gives the position plus one
// of the first character that cannot stand where it is, or 0.
bool IsPlainSymbol(std::string_view Text);
size_t UnwritableNameChar(std::string_view Name);
// Whether a symbol value with this text has a text that reads back as it
// (AppendValueText escapes what follows the first character).
bool IsWritableSymbol(std::string_view Text);

}  // namespace kb
