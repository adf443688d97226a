// Numbers as the comparison functions read them: exact for 64-bit
// integers, which a double does not hold.
#pragma once

#include <cstdint>

namespace kb {

class TKbValue;

// A number as the comparison functions read it: an integer (or fact id or
// descriptor) exactly, any other value as its GetAsNumeric. Integers have
// 64 bits, more than a double holds exactly, so numbers compare through
// CompareNumbers, never as two doubles.
struct TKbNumber {
  union {
    int64_t Int;
    double Float;
  };
  bool IsFloat;
};
// Raises GetAsNumeric's conversion error for a value that is no number.
TKbNumber NumberOf(const TKbValue& V);

enum TNumberOrder : uint8_t { noLess, noEqual, noGreater, noUnordered /* a NaN */ };
// The order of A and B by value, exact: two integers compare as integers,
// an integer and a float in extended precision (which holds every 64-bit
// integer and every double).
inline TNumberOrder CompareNumbers(const TKbNumber& A, const TKbNumber& B) noexcept {
  if (!A.IsFloat && !B.IsFloat) return A.Int < B.Int ? noLess : A.Int > B.Int ? noGreater : noEqual;
  auto order = [](auto a, auto b) {
    return a < b ? noLess : a > b ? noGreater : a == b ? noEqual : noUnordered;
  };
  if (A.IsFloat && B.IsFloat) return order(A.Float, B.Float);
  return order(A.IsFloat ? static_cast<long double>(A.Float) : static_cast<long double>(A.Int),
               B.IsFloat ? static_cast<long double>(B.Float) : static_cast<long double>(B.Int));
}

}  // namespace kb
