#include "libraries/MathPackage.h"

#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
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

// The running total of the arithmetic functions is kept in extended
// precision, so sums and products of integers stay exact well beyond the
// range of an integer result.
using TTotal = long double;

// A number on its way through an arithmetic function: the value and
// whether a float took part in it (which makes the result a float).
struct TNumber {
  TTotal Value;
  bool IsFloat;
};

// Argument I, evaluated once.
TNumber NumArg(const TArgs& Args, int I) {
  IKbValue v = Args.Value(I);
  return {static_cast<TTotal>(v->GetAsNumeric()), v->GetDType() == dtFloat};
}

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

// V rounded to an integer; a value outside the 32-bit range (or NaN) is
// refused rather than wrapped around.
int32_t IntegerResult(TTotal V, const TArgs& Args) {
  const TTotal r = RoundHalfEven(V);
  if (!(r >= TTotal(INT32_MIN) && r <= TTotal(INT32_MAX))) KbError(SIntegerOverflow, Args.Name());
  return static_cast<int32_t>(r);
}

IKbValue NumberResult(const TNumber& N, const TArgs& Args) {
  if (N.IsFloat) return NewFloat(static_cast<double>(N.Value));
  return NewInteger(IntegerResult(N.Value, Args));
}

// Combines Total with every argument from First on, in order.
template <class Op>
IKbValue Fold(const TArgs& Args, TNumber Total, int First, Op Combine) {
  for (int i = First; i < Args.Count(); ++i) {
    const TNumber a = NumArg(Args, i);
    Total.Value = Combine(Total.Value, a.Value);
    Total.IsFloat = Total.IsFloat || a.IsFloat;
  }
  return NumberResult(Total, Args);
}

// The best argument by Better (strictly); once a float has been chosen the
// result stays a float.
template <class Better>
IKbValue Extreme(const TArgs& Args, Better IsBetter) {
  TNumber best = NumArg(Args, 0);
  for (int i = 1; i < Args.Count(); ++i) {
    const TNumber a = NumArg(Args, i);
    if (!IsBetter(a.Value, best.Value)) continue;
    best.Value = a.Value;
    best.IsFloat = best.IsFloat || a.IsFloat;
  }
  return NumberResult(best, Args);
}

void CheckDivisor(int32_t Dividend, int32_t Divisor, const TArgs& Args) {
  if (Divisor == 0) KbError(SDivisionByZero, Args.Name());
  if (Dividend == INT32_MIN && Divisor == -1) KbError(SIntegerOverflow, Args.Name());
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
  return Fold(Args, {0, false}, 0, std::plus<TTotal>());
}

KB_FUNCTION(TMinusFunction, "-", 1, MaxArguments,
            "Returns the value of the first argument minus each of the subsequent arguments "
            "(arg0 - arg1 - arg2...)",
            "- <numeric-expression>+") {
  return Fold(Args, NumArg(Args, 0), 1, std::minus<TTotal>());
}

KB_FUNCTION(TTimesFunction, "*", 0, MaxArguments,
            "Returns a value that is the product of all the arguments", "* <numeric-expression>+") {
  return Fold(Args, {1, false}, 0, std::multiplies<TTotal>());
}

KB_FUNCTION(TDivideFunction, "/", 1, MaxArguments,
            "Returns the value of the first argument divided by each of the subsequent arguments "
            "(arg0 / arg1 / arg2...)",
            "/ <numeric-expression>+") {
  TNumber first = NumArg(Args, 0);
  first.IsFloat = true;
  return Fold(Args, first, 1, std::divides<TTotal>());
}

KB_FUNCTION(TIntegerDivideFunction, "div", 1, MaxArguments,
            "Returns the value of the first argument integer divided (i.e., fractions are dropped) "
            "by each of the subsequent arguments (arg0 div arg1 div arg2...)",
            "div <integer-expression>+") {
  int32_t quotient = Args.Int(0);
  for (int i = 1; i < Args.Count(); ++i) {
    const int32_t divisor = Args.Int(i);
    CheckDivisor(quotient, divisor, Args);
    quotient /= divisor;
  }
  return NewInteger(quotient);
}

KB_FUNCTION(TModFunction, "mod", 2, 2,
            "Returns the value of the first argument MOD the second argument",
            "mod <integer-expression> <integer-expression>") {
  const int32_t dividend = Args.Int(0);
  const int32_t divisor = Args.Int(1);
  if (divisor == 0) KbError(SDivisionByZero, Args.Name());
  // The remainder takes the dividend's sign; x mod -1 is 0 for every x.
  return NewInteger(divisor == -1 ? 0 : dividend % divisor);
}

KB_FUNCTION(TAbsFunction, "abs", 1, 1, "Returns the absolute value of the argument",
            "abs <numeric-expression>") {
  IKbValue v = Args.Value(0);
  switch (v->GetDType()) {
    case dtInteger:
      if (v->IntPayload() == INT32_MIN) KbError(SIntegerOverflow, Args.Name());
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
  return Extreme(Args, std::greater<TTotal>());
}

KB_FUNCTION(TMinFunction, "min", 1, MaxArguments,
            "Returns the value of the minimum or smallest argument", "min <numeric-expression>+") {
  return Extreme(Args, std::less<TTotal>());
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
  return NewInteger(static_cast<int32_t>((Generator()() >> 16) & 0xFFFF));
}

KB_FUNCTION(TRoundFunction, "round", 1, 1,
            "Returns the <numeric-argument> rounded to the nearest integer",
            "round <numeric-expression>") {
  return NewInteger(IntegerResult(Args.Num(0), Args));
}

KB_FUNCTION(TSqrtFunction, "sqrt", 1, 1, "Returns the square root of the <numeric-expression>",
            "sqrt <numeric-expression>") {
  return NewFloat(std::sqrt(Args.Num(0)));
}

KB_FUNCTION(TSeedFunction, "seed", 1, 1, "Sets the random number generator seed to the argument",
            "seed <integer-expression>") {
  Generator().seed(static_cast<uint32_t>(Args.Int(0)));
  return FCTrue;
}

}  // namespace kb
