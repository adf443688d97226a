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

// The results and errors of the arithmetic functions are tested by
// tests/language/arithmetic/functions.clp; these are the values a script
// cannot write or read exactly.
TEST_F(MathPackage, ExactFloatsAndNan) {
  EXPECT_EQ(ErrorOf("round", {Flt(NAN)}), "Integer overflow in round function call");
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
