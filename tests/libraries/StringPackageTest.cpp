#include "libraries/StringPackage.h"

#include <gtest/gtest.h>

#include "FunctionCallHelper.h"

using namespace kb;
using namespace kb::test;

namespace {

class StringPackage : public TFunctionTest {
 protected:
  std::string Typed(const std::string& Name, std::initializer_list<IKbValue> Args) {
    IKbValue v = Call(Name, Args);
    return std::string(EnumName(v->GetDType())) + " " + v->GetToString();
  }
};

}  // namespace

TEST_F(StringPackage, FunctionTableInOrderWithBounds) {
  struct Row {
    const char* Name;
    int32_t Min, Max;
  };
  const Row table[] = {{"str-cat", 0, MaxArguments},
                       {"sym-cat", 0, MaxArguments},
                       {"str-compare", 2, 2},
                       {"str-index", 2, 2},
                       {"str-length", 1, 1},
                       {"sub-string", 3, 3},
                       {"upcase", 1, 1},
                       {"lowcase", 1, 1}};
  auto* package = FindComponentOfType<TStringPackage>(&Engine);
  ASSERT_NE(package, nullptr);
  std::vector<std::string> expected;
  for (const Row& r : table) expected.push_back(r.Name);
  EXPECT_EQ(FunctionNames(*package), expected);
  for (const Row& r : table) {
    EXPECT_EQ(Engine.GetUserFunction(r.Name)->GetMinArgumentCount(), r.Min) << r.Name;
    EXPECT_EQ(Engine.GetUserFunction(r.Name)->GetMaxArgumentCount(), r.Max) << r.Name;
    ExpectBounds(r.Name);
  }
  EXPECT_EQ(Engine.GetUserFunction("sub-string")->GetComment(),
            "Extracts a substring from the <lexeme-expression> from the "
            "specified range "
            "(<start-integer-expression> to <end-integer-expression>)\r\n"
            "     syntax: (sub-string <start-integer-expression> "
            "<end-integer-expression> "
            "<lexeme-expression>)");
}

// What the functions give for ordinary text is tested by
// tests/language/strings/functions.clp; these are bytes above 127 and the
// integer limits, which a script cannot write.
TEST_F(StringPackage, CompareIsBytewiseAndCaseSensitive) {
  // Bytes compare as unsigned: a byte above 127 sorts after ASCII.
  EXPECT_GT(Call("str-compare", {Str("\xE9"), Str("z")})->GetAsInteger(), 0);
}

TEST_F(StringPackage, SubStringRangeRules) {
  EXPECT_EQ(Typed("sub-string", {Int(1), Int(INT64_MAX), Atom("abc")}), "dtString \"abc\"");
  EXPECT_EQ(ErrorOf("sub-string", {Int(1), Int(INT64_MIN), Str("abcd")}),
            "Invalid substring parameters: 1, -9223372036854775808");
  EXPECT_EQ(ErrorOf("sub-string", {Int(INT64_MIN), Int(INT64_MAX), Str("abcd")}),
            "Invalid substring parameters: -9223372036854775808, "
            "9223372036854775807");
}

TEST_F(StringPackage, CaseChangesGiveStringsAndTouchOnlyAsciiLetters) {
  EXPECT_EQ(Typed("upcase", {Str("a1-\xE9z")}), "dtString \"A1-\xE9Z\"");
}
