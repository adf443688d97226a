#include "libraries/MathPackage.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>

namespace kb {

KB_REGISTER_PACKAGE(TMathPackage);

TMathPackage::TMathPackage(TComponent* AOwner) : TUserPackage(AOwner) { AfterConstruction(); }

void TMathPackage::CreateFunctions() {
  TUserPackage::CreateFunctions();
  // The package's table, in order.
  RegisterClasses({
      "TPlusFunction",           // +
      "TMinusFunction",          // -
      "TTimesFunction",          // *
      "TDivideFunction",         // /
      "TIntegerDivideFunction",  // div
      "TModFunction",            // mod
      "TAbsFunction",            // abs
      "TExpFunction",            // exp
      "TExptFunction",           // **
      "TPiFunction",             // pi
      "TFloatFunction",          // float
      "TIntegerFunction",        // integer
      "TMaxFunction",            // max
      "TMinFunction",            // min
      "TLogFunction",            // log
      "TLog10Function",          // log10
      "TRandomFunction",         // random
      "TRoundFunction",          // round
      "TSqrtFunction",           // sqrt
      "TSeedFunction",           // seed
  });
}

namespace {

// Integers of the language are 64-bit; the running total of an integer
// sum, difference or product is kept exact in 128 bits, so that only the
// result (or a product beyond 128 bits) is checked against the range.
__extension__ using TWide = __int128;

// A number as the arithmetic functions read it: exact when it is an
// integer (or a text that reads as a whole number in range), otherwise in
// extended precision; and whether it is a float (which makes a result a
// float).
struct TNumber {
  bool Exact;
  int64_t Whole;
  long double Real;
  bool IsFloat;

  long double AsReal() const { return Exact ? static_cast<long double>(Whole) : Real; }
};

TNumber NumberIn(const TKbValue& V) {
  switch (V.GetDType()) {
    case dtInteger:
    case dtFactId:
    case dtDescriptor: return {true, V.IntPayload(), 0, false};
    case dtFloat: return {false, 0, V.FloatPayload(), true};
    default: {
      // A text, read as a float; a whole number stays exact.
      const double d = V.GetAsNumeric();
      if (auto i = TryFloatToInt(d); i && static_cast<double>(*i) == d) return {true, *i, 0, false};
      return {false, 0, d, false};
    }
  }
}

// Argument I, evaluated once.
TNumber NumArg(const TArgs& Args, int I) { return NumberIn(*Args.Value(I)); }

// Round to the nearest integer, halves to the even neighbour, whatever
// rounding mode the host has set. NaN and infinities stay as they are.
template <class F>
F RoundHalfEven(F V) {
  const F lower = std::floor(V);
  const F diff = V - lower;
  if (diff < F(0.5)) return lower;
  if (diff > F(0.5)) return lower + 1;
  return std::fmod(lower, F(2)) == 0 ? lower : lower + 1;
}

// V rounded to an integer; a value outside the 64-bit range (or NaN) is
// refused rather than wrapped around.
int64_t IntegerResult(long double V, const TArgs& Args) {
  const long double r = RoundHalfEven(V);
  // -2^63 and 2^63 are exact in every floating type.
  if (!(r >= -9223372036854775808.0L && r < 9223372036854775808.0L))
    KbError(SIntegerOverflow, Args.Name());
  return static_cast<int64_t>(r);
}

IKbValue NumberResult(const TNumber& N, const TArgs& Args) {
  if (N.IsFloat) return NewFloat(static_cast<double>(N.AsReal()));
  if (N.Exact) return NewInteger(N.Whole);
  return NewInteger(IntegerResult(N.Real, Args));
}

enum class TArith : uint8_t { Plus, Minus, Times };

// The running total of "+", "-" and "*": exact in 128 bits while every
// number so far is exact, in extended precision from the first one that is
// not.
class TRunningTotal {
 public:
  explicit TRunningTotal(const TNumber& First)
      : Exact_(First.Exact), Whole_(First.Whole), Real_(First.Real), IsFloat_(First.IsFloat) {}

  void Combine(TArith Op, const TNumber& N) {
    IsFloat_ = IsFloat_ || N.IsFloat;
    if (Exact_ && N.Exact) {
      switch (Op) {
        // Sums of 64-bit numbers do not reach the 128-bit limits.
        case TArith::Plus: Whole_ += N.Whole; return;
        case TArith::Minus: Whole_ -= N.Whole; return;
        case TArith::Times: {
          TWide product;
          if (!__builtin_mul_overflow(Whole_, TWide{N.Whole}, &product)) {
            Whole_ = product;
            return;
          }
          // Past 128 bits only a zero factor brings an integer product
          // back, and extended precision keeps a zero exact.
          break;
        }
      }
    }
    if (Exact_) {
      Real_ = static_cast<long double>(Whole_);
      Exact_ = false;
    }
    const long double x = N.AsReal();
    switch (Op) {
      case TArith::Plus: Real_ += x; return;
      case TArith::Minus: Real_ -= x; return;
      case TArith::Times: Real_ *= x; return;
    }
  }

  IKbValue Result(const TArgs& Args) const {
    if (IsFloat_)
      return NewFloat(static_cast<double>(Exact_ ? static_cast<long double>(Whole_) : Real_));
    if (!Exact_) return NewInteger(IntegerResult(Real_, Args));
    if (Whole_ < INT64_MIN || Whole_ > INT64_MAX) KbError(SIntegerOverflow, Args.Name());
    return NewInteger(static_cast<int64_t>(Whole_));
  }

 private:
  bool Exact_;
  TWide Whole_;
  long double Real_;
  bool IsFloat_;
};

// Combines First with every argument from Next on, in order.
IKbValue Fold(const TArgs& Args, TArith Op, const TNumber& First, int Next) {
  TRunningTotal total(First);
  for (int i = Next; i < Args.Count(); ++i) total.Combine(Op, NumArg(Args, i));
  return total.Result(Args);
}

// "+" or "-" of exactly two arguments, the usual case: two integers need
// no running total (a result outside 64 bits is refused as the total
// refuses it).
IKbValue Pair(const TArgs& Args, TArith Op) {
  // Constants and variables are read in place; the first argument is held
  // when evaluating the second could bind its variable again.
  IKbValue holdA, holdB;
  const TKbValue& a = Args.IsPlain(1) ? Args.Peek(0, holdA) : *(holdA = Args.Value(0));
  const TKbValue& b = Args.Peek(1, holdB);
  if (a.GetDType() == dtInteger && b.GetDType() == dtInteger) {
    int64_t r;
    const bool overflow = Op == TArith::Plus
                              ? __builtin_add_overflow(a.IntPayload(), b.IntPayload(), &r)
                              : __builtin_sub_overflow(a.IntPayload(), b.IntPayload(), &r);
    if (overflow) KbError(SIntegerOverflow, Args.Name());
    return NewInteger(r);
  }
  TRunningTotal total(NumberIn(a));
  total.Combine(Op, NumberIn(b));
  return total.Result(Args);
}

// Whether A is strictly greater than B; integers compare exactly.
bool Greater(const TNumber& A, const TNumber& B) {
  if (A.Exact && B.Exact) return A.Whole > B.Whole;
  return A.AsReal() > B.AsReal();
}

// The best argument by Better (strictly); once a float has been chosen the
// result stays a float.
template <class Better>
IKbValue Extreme(const TArgs& Args, Better IsBetter) {
  TNumber best = NumArg(Args, 0);
  for (int i = 1; i < Args.Count(); ++i) {
    TNumber a = NumArg(Args, i);
    if (!IsBetter(a, best)) continue;
    a.IsFloat = best.IsFloat || a.IsFloat;
    best = a;
  }
  return NumberResult(best, Args);
}

void CheckDivisor(int64_t Dividend, int64_t Divisor, const TArgs& Args) {
  if (Divisor == 0) KbError(SDivisionByZero, Args.Name());
  if (Dividend == INT64_MIN && Divisor == -1) KbError(SIntegerOverflow, Args.Name());
}

std::mt19937& Generator() {
  thread_local std::mt19937 generator([] {
    try {
      return std::random_device()();
    } catch (...) {
      return static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    }
  }());
  return generator;
}

}  // namespace

KB_FUNCTION(TPlusFunction, "+", 0, MaxArguments,
            "Returns a value that is the sum of all the arguments", "+ <numeric-expression>+") {
  if (Args.Count() == 2) return Pair(Args, TArith::Plus);
  return Fold(Args, TArith::Plus, {true, 0, 0, false}, 0);
}

KB_FUNCTION(TMinusFunction, "-", 1, MaxArguments,
            "Returns the value of the first argument minus each of the subsequent arguments "
            "(arg0 - arg1 - arg2...)",
            "- <numeric-expression>+") {
  if (Args.Count() == 2) return Pair(Args, TArith::Minus);
  return Fold(Args, TArith::Minus, NumArg(Args, 0), 1);
}

KB_FUNCTION(TTimesFunction, "*", 0, MaxArguments,
            "Returns a value that is the product of all the arguments", "* <numeric-expression>+") {
  return Fold(Args, TArith::Times, {true, 1, 0, false}, 0);
}

KB_FUNCTION(TDivideFunction, "/", 1, MaxArguments,
            "Returns the value of the first argument divided by each of the subsequent arguments "
            "(arg0 / arg1 / arg2...)",
            "/ <numeric-expression>+") {
  long double quotient = NumArg(Args, 0).AsReal();
  for (int i = 1; i < Args.Count(); ++i) quotient /= NumArg(Args, i).AsReal();
  return NewFloat(static_cast<double>(quotient));
}

KB_FUNCTION(TIntegerDivideFunction, "div", 1, MaxArguments,
            "Returns the value of the first argument integer divided (i.e., fractions are dropped) "
            "by each of the subsequent arguments (arg0 div arg1 div arg2...)",
            "div <integer-expression>+") {
  int64_t quotient = Args.Int(0);
  for (int i = 1; i < Args.Count(); ++i) {
    const int64_t divisor = Args.Int(i);
    CheckDivisor(quotient, divisor, Args);
    quotient /= divisor;
  }
  return NewInteger(quotient);
}

KB_FUNCTION(TModFunction, "mod", 2, 2,
            "Returns the value of the first argument MOD the second argument",
            "mod <integer-expression> <integer-expression>") {
  const int64_t dividend = Args.Int(0);
  const int64_t divisor = Args.Int(1);
  if (divisor == 0) KbError(SDivisionByZero, Args.Name());
  // The remainder takes the dividend's sign; x mod -1 is 0 for every x.
  return NewInteger(divisor == -1 ? 0 : dividend % divisor);
}

KB_FUNCTION(TAbsFunction, "abs", 1, 1, "Returns the absolute value of the argument",
            "abs <numeric-expression>") {
  IKbValue v = Args.Value(0);
  switch (v->GetDType()) {
    case dtInteger:
      if (v->IntPayload() == INT64_MIN) KbError(SIntegerOverflow, Args.Name());
      return NewInteger(v->IntPayload() < 0 ? -v->IntPayload() : v->IntPayload());
    case dtFloat: return NewFloat(std::fabs(v->FloatPayload()));
    default: KbError(SMissingNumeric, Args.Name());
  }
}

KB_FUNCTION(TExpFunction, "exp", 1, 1,
            "Returns the value of e raised to the power of <numeric-expression>, where e is the "
            "base of the natural logarithms",
            "exp <numeric-expression>") {
  return NewFloat(std::exp(Args.Num(0)));
}

KB_FUNCTION(TExptFunction, "**", 2, 2,
            "Returns the value of the first argument raised to the power of the second argument",
            "** <numeric-expression> <numeric-expression>") {
  const double base = Args.Num(0);
  return NewFloat(std::pow(base, Args.Num(1)));
}

KB_FUNCTION(TPiFunction, "pi", 0, 0, "Returns the value of PI", "pi") { return FCPI; }

KB_FUNCTION(TFloatFunction, "float", 1, 1, "Returns the <numeric-argument> converted to type float",
            "float <numeric-expression>") {
  return NewFloat(Args.Num(0));
}

KB_FUNCTION(TIntegerFunction, "integer", 1, 1,
            "Returns the <numeric-argument> converted to type integer",
            "integer <numeric-expression>") {
  return NewInteger(Args.Int(0));
}

KB_FUNCTION(TMaxFunction, "max", 1, MaxArguments,
            "Returns the value of the maximum or largest argument", "max <numeric-expression>+") {
  return Extreme(Args, [](const TNumber& A, const TNumber& B) { return Greater(A, B); });
}

KB_FUNCTION(TMinFunction, "min", 1, MaxArguments,
            "Returns the value of the minimum or smallest argument", "min <numeric-expression>+") {
  return Extreme(Args, [](const TNumber& A, const TNumber& B) { return Greater(B, A); });
}

KB_FUNCTION(TLogFunction, "log", 1, 1, "Returns the natural log of the <numeric-expression>",
            "log <numeric-expression>") {
  return NewFloat(std::log(Args.Num(0)));
}

KB_FUNCTION(TLog10Function, "log10", 1, 1, "Returns the log base 10 of the <numeric-expression>",
            "log10 <numeric-expression>") {
  return NewFloat(std::log10(Args.Num(0)));
}

KB_FUNCTION(TRandomFunction, "random", 0, 0, "Returns a random number between 0 and 65535",
            "random") {
  // The top 16 bits of a 32-bit draw: uniform over 0 to 65535.
  return NewInteger((Generator()() >> 16) & 0xFFFF);
}

KB_FUNCTION(TRoundFunction, "round", 1, 1,
            "Returns the <numeric-argument> rounded to the nearest integer",
            "round <numeric-expression>") {
  // An integer is its own rounding (exactly, past the 53 bits of a float).
  const IKbValue v = Args.Value(0);
  if (v->GetDType() == dtInteger) return NewInteger(v->IntPayload());
  return NewInteger(IntegerResult(v->GetAsNumeric(), Args));
}

KB_FUNCTION(TSqrtFunction, "sqrt", 1, 1, "Returns the square root of the <numeric-expression>",
            "sqrt <numeric-expression>") {
  return NewFloat(std::sqrt(Args.Num(0)));
}

KB_FUNCTION(TSeedFunction, "seed", 1, 1, "Sets the random number generator seed to the argument",
            "seed <integer-expression>") {
  // The generator takes 32 bits: the low half of the seed.
  Generator().seed(static_cast<uint32_t>(Args.Int(0)));
  return FCTrue;
}

}  // namespace kb
