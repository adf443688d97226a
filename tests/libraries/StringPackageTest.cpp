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
            "Extracts a substring from the <lexeme-expression> from the specified range "
            "(<start-integer-expression> to <end-integer-expression>)\r\n"
            "     syntax: (sub-string <start-integer-expression> <end-integer-expression> "
            "<lexeme-expression>)");
}

TEST_F(StringPackage, ConcatenationGivesStringOrSymbol) {
  EXPECT_EQ(Typed("str-cat", {Str("a"), Int(1), Flt(2.5), Atom("b")}), "dtString \"a12.5b\"");
  EXPECT_EQ(Typed("str-cat", {}), "dtString \"\"");
  EXPECT_EQ(Typed("sym-cat", {Atom("a"), Int(1), Str("b")}), "dtAtom a1b");
  EXPECT_EQ(ErrorOf("str-cat", {List({Atom("a")})}), "Not a string.  Value Type is dtList");
}

TEST_F(StringPackage, CompareIsBytewiseAndCaseSensitive) {
  EXPECT_EQ(Call("str-compare", {Str("abc"), Str("abc")})->GetAsInteger(), 0);
  EXPECT_LT(Call("str-compare", {Str("a"), Str("b")})->GetAsInteger(), 0);
  EXPECT_GT(Call("str-compare", {Str("ab"), Str("a")})->GetAsInteger(), 0);
  EXPECT_LT(Call("str-compare", {Str("a"), Str("ab")})->GetAsInteger(), 0);
  EXPECT_LT(Call("str-compare", {Str("B"), Str("a")})->GetAsInteger(), 0);
  // Bytes compare as unsigned: a byte above 127 sorts after ASCII.
  EXPECT_GT(Call("str-compare", {Str("\xE9"), Str("z")})->GetAsInteger(), 0);
}

TEST_F(StringPackage, IndexCountsFromOne) {
  EXPECT_EQ(Typed("str-index", {Str("c"), Str("abc")}), "dtInteger 3");
  EXPECT_EQ(Typed("str-index", {Str("bc"), Atom("abcbc")}), "dtInteger 2");
  EXPECT_EQ(Call("str-index", {Str("x"), Str("abc")}), FCFalse);
  EXPECT_EQ(Call("str-index", {Str("abcd"), Str("abc")}), FCFalse);
  // The empty string occurs at the very start.
  EXPECT_EQ(Typed("str-index", {Str(""), Str("abc")}), "dtInteger 1");
  EXPECT_EQ(Typed("str-length", {Str("abcd")}), "dtInteger 4");
  EXPECT_EQ(Typed("str-length", {Int(-12)}), "dtInteger 3");
}

TEST_F(StringPackage, SubStringRangeRules) {
  EXPECT_EQ(Typed("sub-string", {Int(2), Int(3), Str("abcd")}), "dtString \"bc\"");
  EXPECT_EQ(Typed("sub-string", {Int(2), Int(1), Str("abcd")}), "dtString \"\"");
  EXPECT_EQ(Typed("sub-string", {Int(3), Int(9), Str("abcd")}), "dtString \"cd\"");
  EXPECT_EQ(Typed("sub-string", {Int(1), Int(INT64_MAX), Atom("abc")}), "dtString \"abc\"");
  EXPECT_EQ(ErrorOf("sub-string", {Int(0), Int(1), Str("abcd")}),
            "Invalid substring parameters: 0, 1");
  EXPECT_EQ(ErrorOf("sub-string", {Int(5), Int(6), Str("abcd")}),
            "Invalid substring parameters: 5, 6");
  EXPECT_EQ(ErrorOf("sub-string", {Int(3), Int(1), Str("abcd")}),
            "Invalid substring parameters: 3, 1");
  EXPECT_EQ(ErrorOf("sub-string", {Int(1), Int(INT64_MIN), Str("abcd")}),
            "Invalid substring parameters: 1, -9223372036854775808");
  EXPECT_EQ(ErrorOf("sub-string", {Int(INT64_MIN), Int(INT64_MAX), Str("abcd")}),
            "Invalid substring parameters: -9223372036854775808, 9223372036854775807");
  EXPECT_EQ(ErrorOf("sub-string", {Int(1), Int(1), Str("")}), "Invalid substring parameters: 1, 1");
}

TEST_F(StringPackage, CaseChangesGiveStringsAndTouchOnlyAsciiLetters) {
  EXPECT_EQ(Typed("upcase", {Atom("abc")}), "dtString \"ABC\"");
  EXPECT_EQ(Typed("lowcase", {Atom("AbC")}), "dtString \"abc\"");
  EXPECT_EQ(Typed("upcase", {Str("a1-\xE9z")}), "dtString \"A1-\xE9Z\"");
  EXPECT_EQ(Typed("lowcase", {Flt(1e20)}), "dtString \"1e20\"");
}
