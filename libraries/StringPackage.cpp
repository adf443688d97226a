#include "libraries/StringPackage.h"

#include <algorithm>

namespace kb {

KB_REGISTER_PACKAGE(TStringPackage);

TStringPackage::TStringPackage(TComponent* AOwner) : TUserPackage(AOwner) { AfterConstruction(); }

void TStringPackage::CreateFunctions() {
  TUserPackage::CreateFunctions();
  // The package's table, in order.
  RegisterClasses({
      "TStrCatFunction",     // str-cat
      "TSymCatFunction",     // sym-cat
      "TStrCompFunction",    // str-compare
      "TStrIndexFunction",   // str-index
      "TStrLengthFunction",  // str-length
      "TSubStringFunction",  // sub-string
      "TUpperCaseFunction",  // upcase
      "TLowerCaseFunction",  // lowcase
  });
}

namespace {

// The texts of all arguments, joined with nothing between them.
std::string Concatenation(const TArgs& Args) {
  std::string text;
  for (int i = 0; i < Args.Count(); ++i) text += Args.Str(i);
  return text;
}

// Byte-wise comparison: the difference of the first differing bytes (as
// unsigned), else the difference of the lengths.
int32_t CompareBytes(std::string_view A, std::string_view B) {
  const size_t n = std::min(A.size(), B.size());
  for (size_t i = 0; i < n; ++i) {
    const int a = static_cast<unsigned char>(A[i]);
    const int b = static_cast<unsigned char>(B[i]);
    if (a != b) return a - b;
  }
  // Texts longer than 2^31 bytes cannot be values; the difference fits.
  return static_cast<int32_t>(static_cast<int64_t>(A.size()) - static_cast<int64_t>(B.size()));
}

}  // namespace

KB_FUNCTION(TStrCatFunction, "str-cat", 0, MaxArguments,
            "Returns all of its arguments concatenated into a string",
            "str-cat <lexeme-expression>*") {
  return NewString(Concatenation(Args));
}

KB_FUNCTION(TSymCatFunction, "sym-cat", 0, MaxArguments,
            "Returns all of its arguments concatenated into a symbol", "sym-cat <expression>*") {
  return NewAtom(Concatenation(Args));
}

KB_FUNCTION(TStrCompFunction, "str-compare", 2, 2,
            "Returns an integer value for the comparison of the two symbols, with "
            "case-sensitivity.   The return value is less than 0 if argument1 is less than "
            "argument2, 0 if argument1 equals argument2, or greater than 0 if argument1 is "
            "greater than argument2",
            "str-compare <lexeme-expression> <lexeme-expression>") {
  const std::string a = Args.Str(0);
  return NewInteger(CompareBytes(a, Args.Str(1)));
}

KB_FUNCTION(TStrIndexFunction, "str-index", 2, 2,
            "Returns an integer value representing the position of the first argument substring "
            "within the second argument, otherwise FALSE if the first argument is not a substring "
            "of the second argument",
            "str-index <lexeme-expression> <lexeme-expression>") {
  const std::string part = Args.Str(0);
  const size_t at = Args.Str(1).find(part);
  if (at == std::string::npos) return FCFalse;
  return NewInteger(static_cast<int64_t>(at) + 1);
}

KB_FUNCTION(TStrLengthFunction, "str-length", 1, 1,
            "Returns the length of the argument in characters", "str-length <lexeme-expression>") {
  return NewInteger(static_cast<int64_t>(Args.Str(0).size()));
}

KB_FUNCTION(TSubStringFunction, "sub-string", 3, 3,
            "Extracts a substring from the <lexeme-expression> from the specified range "
            "(<start-integer-expression> to <end-integer-expression>)",
            "sub-string <start-integer-expression> <end-integer-expression> <lexeme-expression>") {
  const int64_t start = Args.Int(0);
  const int64_t end = Args.Int(1);
  const std::string text = Args.Str(2);
  // start is checked first: with it in 1 .. size, end - start + 1 cannot
  // overflow; an end past the text takes the rest of it.
  if (start < 1 || static_cast<uint64_t>(start) > text.size() || end < start - 1)
    KbError(SInvalidSubstrParameters, start, end);
  return NewString(
      text.substr(static_cast<size_t>(start) - 1, static_cast<size_t>(end - start + 1)));
}

KB_FUNCTION(TUpperCaseFunction, "upcase", 1, 1,
            "Returns its argument converted to an upper case string",
            "upcase <lexeme-expression>") {
  return NewString(UpperCase(Args.Str(0)));
}

KB_FUNCTION(TLowerCaseFunction, "lowcase", 1, 1,
            "Returns its argument converted to a lower case string",
            "lowcase <string-or-symbol-expression>") {
  return NewString(LowerCase(Args.Str(0)));
}

}  // namespace kb
