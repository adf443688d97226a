#include "libraries/TrigonometryPackage.h"

#include <cmath>
#include <numbers>

namespace kb {

KB_REGISTER_PACKAGE(TTrigonometryPackage);

TTrigonometryPackage::TTrigonometryPackage(TComponent* AOwner) : TUserPackage(AOwner) {
  AfterConstruction();
}

void TTrigonometryPackage::CreateFunctions() {
  TUserPackage::CreateFunctions();
  // The package's table, in order.
  RegisterClasses({
      "TACosFunction",               // acos
      "TACosHFunction",              // acosh
      "TACotFunction",               // acot
      "TACotHFunction",              // acoth
      "TACscFunction",               // acsc
      "TACscHFunction",              // acsch
      "TASecFunction",               // asec
      "TASecHFunction",              // asech
      "TASinFunction",               // asin
      "TASinHFunction",              // asinh
      "TATanFunction",               // atan
      "TATan2Function",              // atan2
      "TATanHFunction",              // atanh
      "TCosFunction",                // cos
      "TCosHFunction",               // cosh
      "TCotFunction",                // cot
      "TCotHFunction",               // coth
      "TCscFunction",                // csc
      "TCscHFunction",               // csch
      "TCycleRadFunction",           // cycle-rad
      "TDegGradFunction",            // deg-grad
      "TDegRadFunction",             // deg-rad
      "TDistanceFunction",           // distance
      "TDistanceSqrFunction",        // distance-sqr
      "TDistanceManhattanFunction",  // distance-manhattan
      "TGradDegFunction",            // grad-deg
      "TGradRadFunction",            // grad-rad
      "THypotenuseFunction",         // hypotenuse
      "TRadCycleFunction",           // rad-cycle
      "TRadDegFunction",             // rad-deg
      "TRadGradFunction",            // rad-grad
      "TSecFunction",                // sec
      "TSecHFunction",               // sech
      "TSinFunction",                // sin
      "TSinHFunction",               // sinh
      "TTanFunction",                // tan
      "TTanHFunction",               // tanh
  });
}

namespace {

constexpr double Pi = std::numbers::pi;

// The sum of Term(a - b) over the item pairs of two equally long lists
// (arguments 0 and 1), each item resolved and read as a number.
template <class TermFn>
double SumOverPairs(const TArgs& Args, TermFn Term) {
  IValueVector a = Args.List(0);
  IValueVector b = Args.List(1);
  if (a->Count() != b->Count()) KbError(SMultifieldLengthMismatch);
  double sum = 0;
  for (int i = 0; i < a->Count(); ++i) {
    const double ai = Args.ItemNum(a->Get(i));
    sum += Term(ai - Args.ItemNum(b->Get(i)));
  }
  return sum;
}

double Square(double D) { return D * D; }

}  // namespace

// A function of one number x with a float result; the syntax is the name
// followed by " <numeric-expression>".
#define KB_UNARY_FUNCTION(ClassName, Name, Description, Expr)                     \
  KB_FUNCTION(ClassName, Name, 1, 1, Description, Name " <numeric-expression>") { \
    const double x = Args.Num(0);                                                 \
    return NewFloat(Expr);                                                        \
  }

KB_UNARY_FUNCTION(TACosFunction, "acos", "Returns the arc cosine of the argument, in radians",
                  std::acos(x))
KB_UNARY_FUNCTION(TACosHFunction, "acosh", "Returns the inverse hyperbolic cosine of the argument",
                  std::acosh(x))
KB_UNARY_FUNCTION(TACotFunction, "acot",
                  "Returns the arc cotangent of the argument, in radians: atan(1/x)",
                  std::atan(1 / x))
KB_UNARY_FUNCTION(TACotHFunction, "acoth",
                  "Returns the inverse hyperbolic cotangent of the argument: atanh(1/x)",
                  std::atanh(1 / x))
KB_UNARY_FUNCTION(TACscFunction, "acsc",
                  "Returns the arc cosecant of the argument, in radians: asin(1/x)",
                  std::asin(1 / x))
KB_UNARY_FUNCTION(TACscHFunction, "acsch",
                  "Returns the inverse hyperbolic cosecant of the argument: asinh(1/x)",
                  std::asinh(1 / x))
KB_UNARY_FUNCTION(TASecFunction, "asec",
                  "Returns the arc secant of the argument, in radians: acos(1/x)", std::acos(1 / x))
KB_UNARY_FUNCTION(TASecHFunction, "asech",
                  "Returns the inverse hyperbolic secant of the argument: acosh(1/x)",
                  std::acosh(1 / x))
KB_UNARY_FUNCTION(TASinFunction, "asin", "Returns the arc sine of the argument, in radians",
                  std::asin(x))
KB_UNARY_FUNCTION(TASinHFunction, "asinh", "Returns the inverse hyperbolic sine of the argument",
                  std::asinh(x))
KB_UNARY_FUNCTION(TATanFunction, "atan", "Returns the arc tangent of the argument, in radians",
                  std::atan(x))

KB_FUNCTION(TATan2Function, "atan2", 2, 2,
            "Returns the angle, in radians from -PI to PI, of the point (X, Y): the arc tangent "
            "of Y/X in the quadrant of the point",
            "atan2 <numeric-expression-X> <numeric-expression-Y>") {
  const double x = Args.Num(0);
  return NewFloat(std::atan2(Args.Num(1), x));
}

KB_UNARY_FUNCTION(TATanHFunction, "atanh", "Returns the inverse hyperbolic tangent of the argument",
                  std::atanh(x))
KB_UNARY_FUNCTION(TCosFunction, "cos", "Returns the cosine of the argument, an angle in radians",
                  std::cos(x))
KB_UNARY_FUNCTION(TCosHFunction, "cosh", "Returns the hyperbolic cosine of the argument",
                  std::cosh(x))
KB_UNARY_FUNCTION(TCotFunction, "cot",
                  "Returns the cotangent of the argument, an angle in radians: 1/tan(x)",
                  1 / std::tan(x))
KB_UNARY_FUNCTION(TCotHFunction, "coth",
                  "Returns the hyperbolic cotangent of the argument: 1/tanh(x)", 1 / std::tanh(x))
KB_UNARY_FUNCTION(TCscFunction, "csc",
                  "Returns the cosecant of the argument, an angle in radians: 1/sin(x)",
                  1 / std::sin(x))
KB_UNARY_FUNCTION(TCscHFunction, "csch",
                  "Returns the hyperbolic cosecant of the argument: 1/sinh(x)", 1 / std::sinh(x))
KB_UNARY_FUNCTION(TCycleRadFunction, "cycle-rad",
                  "Converts an angle in cycles (full turns) to radians: x * 2 * PI", x * 2 * Pi)
KB_UNARY_FUNCTION(TDegGradFunction, "deg-grad", "Converts an angle in degrees to grads: x * 10 / 9",
                  x * 10 / 9)
KB_UNARY_FUNCTION(TDegRadFunction, "deg-rad",
                  "Converts an angle in degrees to radians: x * PI / 180", x* Pi / 180)

KB_FUNCTION(TDistanceFunction, "distance", 2, 2,
            "Returns the Euclidean distance between two points given as multifields of equal "
            "length: the square root of the sum of the squared differences of their coordinates",
            "distance <multifield-expression-1> <multifield-expression-2>") {
  return NewFloat(std::sqrt(SumOverPairs(Args, Square)));
}

KB_FUNCTION(TDistanceSqrFunction, "distance-sqr", 2, 2,
            "Returns the square of the Euclidean distance between two points given as "
            "multifields of equal length: the sum of the squared differences of their coordinates",
            "distance-sqr <multifield-expression-1> <multifield-expression-2>") {
  return NewFloat(SumOverPairs(Args, Square));
}

KB_FUNCTION(TDistanceManhattanFunction, "distance-manhattan", 2, 2,
            "Returns the Manhattan distance between two points given as multifields of equal "
            "length: the sum of the absolute differences of their coordinates",
            "distance-manhattan <multifield-expression-1> <multifield-expression-2>") {
  return NewFloat(SumOverPairs(Args, [](double D) { return std::fabs(D); }));
}

KB_UNARY_FUNCTION(TGradDegFunction, "grad-deg", "Converts an angle in grads to degrees: x * 9 / 10",
                  x * 9 / 10)
KB_UNARY_FUNCTION(TGradRadFunction, "grad-rad",
                  "Converts an angle in grads to radians: x * PI / 200", x* Pi / 200)

KB_FUNCTION(THypotenuseFunction, "hypotenuse", 2, 2,
            "Returns the length of the hypotenuse of a right triangle whose other sides are X and "
            "Y: the square root of (X*X + Y*Y)",
            "hypotenuse <numeric-expression-X> <numeric-expression-Y>") {
  // hypot neither overflows nor underflows in the intermediate squares.
  const double x = Args.Num(0);
  return NewFloat(std::hypot(x, Args.Num(1)));
}

KB_UNARY_FUNCTION(TRadCycleFunction, "rad-cycle",
                  "Converts an angle in radians to cycles (full turns): x / (2 * PI)", x / (2 * Pi))
KB_UNARY_FUNCTION(TRadDegFunction, "rad-deg",
                  "Converts an angle in radians to degrees: x * 180 / PI", x * 180 / Pi)
KB_UNARY_FUNCTION(TRadGradFunction, "rad-grad",
                  "Converts an angle in radians to grads: x * 200 / PI", x * 200 / Pi)
KB_UNARY_FUNCTION(TSecFunction, "sec",
                  "Returns the secant of the argument, an angle in radians: 1/cos(x)",
                  1 / std::cos(x))
KB_UNARY_FUNCTION(TSecHFunction, "sech", "Returns the hyperbolic secant of the argument: 1/cosh(x)",
                  1 / std::cosh(x))
KB_UNARY_FUNCTION(TSinFunction, "sin", "Returns the sine of the argument, an angle in radians",
                  std::sin(x))
KB_UNARY_FUNCTION(TSinHFunction, "sinh", "Returns the hyperbolic sine of the argument",
                  std::sinh(x))
KB_UNARY_FUNCTION(TTanFunction, "tan", "Returns the tangent of the argument, an angle in radians",
                  std::tan(x))
KB_UNARY_FUNCTION(TTanHFunction, "tanh", "Returns the hyperbolic tangent of the argument",
                  std::tanh(x))

#undef KB_UNARY_FUNCTION

}  // namespace kb
