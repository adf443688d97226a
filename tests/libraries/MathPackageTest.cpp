#include "libraries/MathPackage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "FunctionCallHelper.h"

using namespace kb;
using namespace kb::test;

namespace {

class MathPackage : public TFunctionTest {
 protected:
  // The result's type and text, e.g. "dtInteger 3".
  std::string Typed(const std::string& Name, std::initializer_list<IKbValue> Args) {
    IKbValue v = Call(Name, Args);
    return std::string(EnumName(v->GetDType())) + " " + v->GetToString();
  }
};

}  // namespace

TEST_F(MathPackage, FunctionTableInOrderWithBounds) {
  struct Row {
    const char* Name;
    int32_t Min, Max;
  };
  const Row table[] = {
      {"+", 0, MaxArguments},
      {"-", 1, MaxArguments},
      {"*", 0, MaxArguments},
      {"/", 1, MaxArguments},
      {"div", 1, MaxArguments},
      {"mod", 2, 2},
      {"abs", 1, 1},
      {"exp", 1, 1},
      {"**", 2, 2},
      {"pi", 0, 0},
      {"float", 1, 1},
      {"integer", 1, 1},
      {"max", 1, MaxArguments},
      {"min", 1, MaxArguments},
      {"log", 1, 1},
      {"log10", 1, 1},
      {"random", 0, 0},
      {"round", 1, 1},
      {"sqrt", 1, 1},
      {"seed", 1, 1},
  };
  auto* package = FindComponentOfType<TMathPackage>(&Engine);
  ASSERT_NE(package, nullptr);
  std::vector<std::string> expected;
  for (const Row& r : table) expected.push_back(r.Name);
  EXPECT_EQ(FunctionNames(*package), expected);
  for (const Row& r : table) {
    IUserFunction f = Engine.GetUserFunction(r.Name);
    ASSERT_TRUE(f) << r.Name;
    EXPECT_EQ(f->GetMinArgumentCount(), r.Min) << r.Name;
    EXPECT_EQ(f->GetMaxArgumentCount(), r.Max) << r.Name;
    ExpectBounds(r.Name);
  }
  EXPECT_EQ(Engine.GetUserFunction("mod")->GetComment(),
            "Returns the value of the first argument MOD the second argument\r\n"
            "     syntax: (mod <integer-expression> <integer-expression>)");
  EXPECT_EQ(Engine.GetUserFunction("pi")->GetComment(),
            "Returns the value of PI\r\n     syntax: (pi)");
}

TEST_F(MathPackage, SumsAndProductsAreIntegerUnlessAFloatTakesPart) {
  EXPECT_EQ(Typed("+", {Int(1), Int(2)}), "dtInteger 3");
  EXPECT_EQ(Typed("+", {Int(1), Flt(2.0)}), "dtFloat 3");
  EXPECT_EQ(Typed("+", {}), "dtInteger 0");
  EXPECT_EQ(Typed("*", {}), "dtInteger 1");
  EXPECT_EQ(Typed("*", {Int(2), Flt(1.5)}), "dtFloat 3");
  EXPECT_EQ(Typed("-", {Flt(2.5), Int(1)}), "dtFloat 1.5");
  EXPECT_EQ(Typed("-", {Int(10), Int(1), Int(2)}), "dtInteger 7");
  // A single argument comes back as it is: no negation.
  EXPECT_EQ(Typed("-", {Int(5)}), "dtInteger 5");
  EXPECT_EQ(Typed("-", {Flt(5)}), "dtFloat 5");
  // Numbers written as symbols count, with their type's result.
  EXPECT_EQ(Typed("+", {Atom("4"), Int(1)}), "dtInteger 5");
  EXPECT_EQ(ErrorOf("+", {Int(1), Atom("abc")}), "Not a numeric.  Value Type is dtAtom");
}

TEST_F(MathPackage, IntegerResultsNeverWrapAround) {
  // The total is exact beyond 64 bits; only the result must fit.
  EXPECT_EQ(Typed("+", {Int(INT64_MAX), Int(1), Int(-1)}), "dtInteger 9223372036854775807");
  EXPECT_EQ(Typed("+", {Int(INT64_MIN), Int(INT64_MIN), Int(INT64_MAX), Int(1)}),
            "dtInteger -9223372036854775808");
  EXPECT_EQ(Typed("*", {Int(INT64_MAX), Int(INT64_MAX), Int(INT64_MAX), Int(0)}), "dtInteger 0");
  EXPECT_EQ(ErrorOf("+", {Int(INT64_MAX), Int(1)}), "Integer overflow in + function call");
  EXPECT_EQ(ErrorOf("-", {Int(INT64_MIN), Int(1)}), "Integer overflow in - function call");
  EXPECT_EQ(ErrorOf("*", {Int(4294967296), Int(2147483648)}),
            "Integer overflow in * function call");
  EXPECT_EQ(ErrorOf("*", {Int(INT64_MAX), Int(INT64_MAX), Int(INT64_MAX), Int(-1)}),
            "Integer overflow in * function call");
  EXPECT_EQ(Typed("*", {Int(-4294967296), Int(2147483648)}), "dtInteger -9223372036854775808");
  EXPECT_EQ(Typed("+", {Int(INT64_MAX), Flt(1)}), "dtFloat 9.22337203685478E18");
  // The 32-bit limits are no limits any more.
  EXPECT_EQ(Typed("+", {Int(INT32_MAX), Int(1)}), "dtInteger 2147483648");
  // Integers take part exactly, past the 53 bits of a double.
  EXPECT_EQ(Typed("-", {Int(9007199254740993), Int(1)}), "dtInteger 9007199254740992");
  EXPECT_EQ(Typed("+", {Atom("9007199254740993"), Int(0)}), "dtInteger 9007199254740992");
}

TEST_F(MathPackage, DivisionIsFloatAndFollowsIeee) {
  EXPECT_EQ(Typed("/", {Int(6), Int(3)}), "dtFloat 2");
  EXPECT_EQ(Typed("/", {Int(4)}), "dtFloat 4");
  EXPECT_EQ(Typed("/", {Int(1), Int(2), Int(2)}), "dtFloat 0.25");
  EXPECT_EQ(Typed("/", {Int(1), Int(0)}), "dtFloat INF");
  EXPECT_EQ(Typed("/", {Int(-1), Flt(0)}), "dtFloat -INF");
  EXPECT_EQ(Typed("/", {Int(0), Int(0)}), "dtFloat NAN");
}

TEST_F(MathPackage, IntegerDivisionTruncatesTowardZero) {
  EXPECT_EQ(Typed("div", {Int(7), Int(2)}), "dtInteger 3");
  EXPECT_EQ(Typed("div", {Int(-7), Int(2)}), "dtInteger -3");
  EXPECT_EQ(Typed("div", {Int(100), Int(3), Int(2)}), "dtInteger 16");
  EXPECT_EQ(Typed("div", {Flt(7.9), Int(2)}), "dtInteger 3");
  EXPECT_EQ(Typed("div", {Int(7)}), "dtInteger 7");
  EXPECT_EQ(Typed("mod", {Int(-7), Int(2)}), "dtInteger -1");
  EXPECT_EQ(Typed("mod", {Int(7), Int(-2)}), "dtInteger 1");
  EXPECT_EQ(Typed("mod", {Int(INT64_MIN), Int(-1)}), "dtInteger 0");
  EXPECT_EQ(Typed("mod", {Int(INT64_MIN), Int(INT64_MAX)}), "dtInteger -1");
  EXPECT_EQ(ErrorOf("div", {Int(7), Int(0)}), "Division by zero in div function call");
  EXPECT_EQ(ErrorOf("mod", {Int(7), Int(0)}), "Division by zero in mod function call");
  EXPECT_EQ(ErrorOf("div", {Int(INT64_MIN), Int(-1)}), "Integer overflow in div function call");
  EXPECT_EQ(Typed("div", {Int(INT64_MIN), Int(1)}), "dtInteger -9223372036854775808");
}

TEST_F(MathPackage, MaxAndMinKeepTheirResultTypeRules) {
  EXPECT_EQ(Typed("max", {Int(1), Flt(2.5), Int(2)}), "dtFloat 2.5");
  EXPECT_EQ(Typed("max", {Int(3), Flt(2.5)}), "dtInteger 3");
  // Once a float has led, the result stays a float.
  EXPECT_EQ(Typed("max", {Flt(2.5), Int(3)}), "dtFloat 3");
  EXPECT_EQ(Typed("min", {Int(1), Flt(2.5)}), "dtInteger 1");
  EXPECT_EQ(Typed("min", {Int(3), Flt(2.5), Int(1)}), "dtFloat 1");
  EXPECT_EQ(Typed("max", {Int(-4)}), "dtInteger -4");
  // Ties keep the first.
  EXPECT_EQ(Typed("max", {Int(2), Flt(2)}), "dtInteger 2");
  // Integers compare exactly, past the 53 bits of a double.
  EXPECT_EQ(Typed("max", {Int(INT64_MAX - 1), Int(INT64_MAX)}), "dtInteger 9223372036854775807");
  EXPECT_EQ(Typed("min", {Int(INT64_MIN + 1), Int(INT64_MIN)}), "dtInteger -9223372036854775808");
}

TEST_F(MathPackage, AbsAcceptsOnlyNumbers) {
  EXPECT_EQ(Typed("abs", {Int(-3)}), "dtInteger 3");
  EXPECT_EQ(Typed("abs", {Flt(-2.5)}), "dtFloat 2.5");
  EXPECT_EQ(ErrorOf("abs", {Atom("abc")}), "Expected numeric argument to abs function call");
  EXPECT_EQ(ErrorOf("abs", {Str("3")}), "Expected numeric argument to abs function call");
  EXPECT_EQ(ErrorOf("abs", {Int(INT64_MIN)}), "Integer overflow in abs function call");
  EXPECT_EQ(Typed("abs", {Int(INT64_MIN + 1)}), "dtInteger 9223372036854775807");
}

TEST_F(MathPackage, RoundingHalvesToEvenAndConversions) {
  EXPECT_EQ(Typed("round", {Flt(2.5)}), "dtInteger 2");
  EXPECT_EQ(Typed("round", {Flt(3.5)}), "dtInteger 4");
  EXPECT_EQ(Typed("round", {Flt(-2.5)}), "dtInteger -2");
  EXPECT_EQ(Typed("round", {Flt(-2.6)}), "dtInteger -3");
  EXPECT_EQ(Typed("round", {Flt(2.4999)}), "dtInteger 2");
  EXPECT_EQ(Typed("round", {Int(7)}), "dtInteger 7");
  EXPECT_EQ(Typed("round", {Flt(1e10)}), "dtInteger 10000000000");
  EXPECT_EQ(Typed("round", {Int(INT64_MAX)}), "dtInteger 9223372036854775807");
  EXPECT_EQ(ErrorOf("round", {Flt(1e19)}), "Integer overflow in round function call");
  EXPECT_EQ(ErrorOf("round", {Flt(NAN)}), "Integer overflow in round function call");
  EXPECT_EQ(Typed("float", {Int(3)}), "dtFloat 3");
  EXPECT_EQ(Typed("integer", {Flt(-3.9)}), "dtInteger -3");
  EXPECT_EQ(Typed("integer", {Atom("12")}), "dtInteger 12");
}

TEST_F(MathPackage, TranscendentalFunctionsGiveFloatsAndIeeeDomainResults) {
  EXPECT_EQ(Typed("exp", {Int(0)}), "dtFloat 1");
  EXPECT_EQ(Typed("log", {Int(1)}), "dtFloat 0");
  EXPECT_EQ(Typed("log10", {Int(1000)}), "dtFloat 3");
  EXPECT_EQ(Typed("sqrt", {Int(16)}), "dtFloat 4");
  EXPECT_EQ(Typed("**", {Int(2), Int(10)}), "dtFloat 1024");
  EXPECT_EQ(Typed("log", {Int(0)}), "dtFloat -INF");
  EXPECT_EQ(Typed("log", {Int(-1)}), "dtFloat NAN");
  EXPECT_EQ(Typed("sqrt", {Int(-1)}), "dtFloat NAN");
  EXPECT_EQ(Typed("**", {Int(-8), Flt(0.5)}), "dtFloat NAN");
  EXPECT_DOUBLE_EQ(Call("exp", {Int(1)})->GetAsFloat(), std::numbers::e);
  EXPECT_EQ(Call("pi")->GetDType(), dtFloat);
  EXPECT_EQ(Call("pi")->FloatPayload(), std::numbers::pi);
}

TEST_F(MathPackage, SeedMakesRandomRepeatable) {
  auto draw = [&] {
    std::vector<int32_t> r;
    for (int i = 0; i < 50; ++i) r.push_back(Call("random")->GetAsInteger());
    return r;
  };
  EXPECT_EQ(Call("seed", {Int(42)}), FCTrue);
  const std::vector<int32_t> first = draw();
  Call("seed", {Int(42)});
  EXPECT_EQ(draw(), first);
  Call("seed", {Int(43)});
  EXPECT_NE(draw(), first);
  for (int32_t v : first) {
    EXPECT_GE(v, 0);
    EXPECT_LE(v, 65535);
  }
}

TEST_F(MathPackage, ArgumentsAreEvaluatedOnceAndNilIsAnError) {
  int calls = 0;
  TUserFunction tick(nullptr, "tick");
  tick.OnCall = [&](TPersistent*, TFunctionCall&, TKbContext*, IKbValue& Result) {
    Result = Flt(++calls);
  };
  tick.SetEngine(&Engine);
  // The type of an argument and its value come from one evaluation.
  EXPECT_EQ(Typed("max", {Nested("tick", {}), Nested("tick", {})}), "dtFloat 2");
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(Typed("+", {Nested("tick", {}), Int(1)}), "dtFloat 4");
  EXPECT_EQ(calls, 3);

  // A host function that gives no result reads as nil.
  TUserFunction nothing(nullptr, "nothing");
  nothing.SetEngine(&Engine);
  EXPECT_EQ(ErrorOf("+", {Nested("nothing", {})}), "Not a numeric.  Value Type is dtNone");
  EXPECT_EQ(ErrorOf("abs", {Nested("nothing", {})}),
            "Expected numeric argument to abs function call");
}
