#include "libraries/TrigonometryPackage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "FunctionCallHelper.h"

using namespace kb;
using namespace kb::test;

namespace {

constexpr double Pi = std::numbers::pi;

class TrigonometryPackage : public TFunctionTest {
 protected:
  // The float result of a one-argument function.
  double F1(const std::string& Name, double X) {
    IKbValue v = Call(Name, {Flt(X)});
    EXPECT_EQ(v->GetDType(), dtFloat) << Name;
    return v->FloatPayload();
  }
};

}  // namespace

TEST_F(TrigonometryPackage, FunctionTableInOrderWithBounds) {
  const std::vector<std::string> expected = {
      "acos",     "acosh",    "acot",       "acoth",        "acsc",
      "acsch",    "asec",     "asech",      "asin",         "asinh",
      "atan",     "atan2",    "atanh",      "cos",          "cosh",
      "cot",      "coth",     "csc",        "csch",         "cycle-rad",
      "deg-grad", "deg-rad",  "distance",   "distance-sqr", "distance-manhattan",
      "grad-deg", "grad-rad", "hypotenuse", "rad-cycle",    "rad-deg",
      "rad-grad", "sec",      "sech",       "sin",          "sinh",
      "tan",      "tanh"};
  auto* package = FindComponentOfType<TTrigonometryPackage>(&Engine);
  ASSERT_NE(package, nullptr);
  EXPECT_EQ(FunctionNames(*package), expected);
  EXPECT_EQ(expected.size(), 37u);
  for (const std::string& name : expected) {
    const bool pair = name == "atan2" || name == "hypotenuse" || name.starts_with("distance");
    IUserFunction f = Engine.GetUserFunction(name);
    EXPECT_EQ(f->GetMinArgumentCount(), pair ? 2 : 1) << name;
    EXPECT_EQ(f->GetMaxArgumentCount(), pair ? 2 : 1) << name;
    ExpectBounds(name);
  }
  EXPECT_NE(Engine.GetUserFunction("sin")->GetComment().find("syntax: (sin <numeric-expression>)"),
            std::string::npos);
  EXPECT_NE(Engine.GetUserFunction("atan2")->GetComment().find(
                "syntax: (atan2 <numeric-expression-X> <numeric-expression-Y>)"),
            std::string::npos);
  EXPECT_NE(Engine.GetUserFunction("distance")
                ->GetComment()
                .find("syntax: (distance <multifield-expression-1> <multifield-expression-2>)"),
            std::string::npos);
}

TEST_F(TrigonometryPackage, ReciprocalFunctions) {
  EXPECT_EQ(Call("sin", {Int(0)})->GetDType(), dtFloat);
  EXPECT_DOUBLE_EQ(F1("sin", Pi / 6), 0.5);
  EXPECT_DOUBLE_EQ(F1("cos", Pi / 3), 0.5);
  EXPECT_DOUBLE_EQ(F1("tan", Pi / 4), 1);
  EXPECT_DOUBLE_EQ(F1("cot", Pi / 4), 1);
  EXPECT_DOUBLE_EQ(F1("sec", Pi / 3), 2);
  EXPECT_DOUBLE_EQ(F1("csc", Pi / 6), 2);
  EXPECT_DOUBLE_EQ(F1("coth", 1), std::cosh(1) / std::sinh(1));
  EXPECT_DOUBLE_EQ(F1("sech", 1), 1 / std::cosh(1));
  EXPECT_DOUBLE_EQ(F1("csch", 1), 1 / std::sinh(1));
}

TEST_F(TrigonometryPackage, InverseAndInverseReciprocalFunctions) {
  EXPECT_DOUBLE_EQ(F1("asin", 0.5), Pi / 6);
  EXPECT_DOUBLE_EQ(F1("acos", 0.5), Pi / 3);
  EXPECT_DOUBLE_EQ(F1("atan", 1), Pi / 4);
  EXPECT_DOUBLE_EQ(F1("acot", 1), Pi / 4);
  EXPECT_DOUBLE_EQ(F1("acot", 0), Pi / 2);
  EXPECT_DOUBLE_EQ(F1("asec", 2), Pi / 3);
  EXPECT_DOUBLE_EQ(F1("acsc", 2), Pi / 6);
  EXPECT_DOUBLE_EQ(F1("acoth", 1 / std::tanh(0.7)), 0.7);
  EXPECT_DOUBLE_EQ(F1("asech", 1 / std::cosh(0.7)), 0.7);
  EXPECT_DOUBLE_EQ(F1("acsch", 1 / std::sinh(0.7)), 0.7);
}

TEST_F(TrigonometryPackage, DomainErrorsGiveNanOrInfinity) {
  EXPECT_TRUE(std::isnan(F1("acos", 2)));
  EXPECT_TRUE(std::isnan(F1("asin", -2)));
  EXPECT_TRUE(std::isnan(F1("acosh", 0.5)));
  EXPECT_TRUE(std::isnan(F1("asec", 0.5)));
  EXPECT_EQ(F1("atanh", 1), INFINITY);
  EXPECT_EQ(F1("cot", 0), INFINITY);
  EXPECT_EQ(F1("csch", 0), INFINITY);
  EXPECT_EQ(F1("coth", 0), INFINITY);
  EXPECT_EQ(ErrorOf("sin", {Atom("x")}), "Not a numeric.  Value Type is dtAtom");
}

TEST_F(TrigonometryPackage, Atan2TakesXFirst) {
  EXPECT_EQ(Call("atan2", {Int(1), Int(0)})->GetAsFloat(), 0);
  EXPECT_DOUBLE_EQ(Call("atan2", {Int(0), Int(1)})->GetAsFloat(), Pi / 2);
  EXPECT_DOUBLE_EQ(Call("atan2", {Int(-1), Int(0)})->GetAsFloat(), Pi);
  EXPECT_DOUBLE_EQ(Call("atan2", {Int(-1), Int(-1)})->GetAsFloat(), -3 * Pi / 4);
  EXPECT_DOUBLE_EQ(Call("hypotenuse", {Int(3), Int(4)})->GetAsFloat(), 5);
  // No overflow in the squares.
  EXPECT_DOUBLE_EQ(Call("hypotenuse", {Flt(3e200), Flt(4e200)})->GetAsFloat(), 5e200);
}

TEST_F(TrigonometryPackage, AngleConversions) {
  EXPECT_DOUBLE_EQ(F1("deg-rad", 180), Pi);
  EXPECT_DOUBLE_EQ(F1("rad-deg", Pi), 180);
  EXPECT_DOUBLE_EQ(F1("grad-rad", 200), Pi);
  EXPECT_DOUBLE_EQ(F1("rad-grad", Pi), 200);
  EXPECT_DOUBLE_EQ(F1("deg-grad", 90), 100);
  EXPECT_DOUBLE_EQ(F1("grad-deg", 100), 90);
  EXPECT_DOUBLE_EQ(F1("cycle-rad", 1), 2 * Pi);
  EXPECT_DOUBLE_EQ(F1("rad-cycle", Pi), 0.5);
}

TEST_F(TrigonometryPackage, DistancesBetweenEqualLengthLists) {
  const IKbValue origin = List({Int(0), Int(0)});
  const IKbValue point = List({Int(3), Int(4)});
  EXPECT_EQ(Call("distance", {origin, point})->GetToString(), "5");
  EXPECT_EQ(Call("distance", {origin, point})->GetDType(), dtFloat);
  EXPECT_EQ(Call("distance-sqr", {origin, point})->GetToString(), "25");
  EXPECT_EQ(Call("distance-manhattan", {point, origin})->GetToString(), "7");
  EXPECT_EQ(Call("distance", {List({}), List({})})->GetToString(), "0");
  // Items are resolved: a call inside a list counts by its value.
  EXPECT_EQ(Call("distance-manhattan", {List({Nested("+", {Int(1), Int(2)})}), List({Flt(-1)})})
                ->GetToString(),
            "4");
  EXPECT_EQ(ErrorOf("distance", {origin, List({Int(1)})}),
            "Invalid multifield arguments, the two multifields must be of the same length");
  EXPECT_EQ(ErrorOf("distance", {origin, Int(1)}), "Not a list.  Value Type is dtInteger");
  EXPECT_EQ(ErrorOf("distance", {origin, List({Int(1), Atom("y")})}),
            "Not a numeric.  Value Type is dtAtom");
}
