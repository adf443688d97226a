#include <gtest/gtest.h>

#include "FunctionCallHelper.h"
#include "functions/StandardPackage.h"

using namespace kb;
using namespace kb::test;

namespace {

using Items = std::vector<std::string>;

class MultifieldFunctions : public TFunctionTest {
 protected:
  const IKbValue abc = List({Atom("a"), Atom("b"), Atom("c")});
};

}  // namespace

TEST_F(MultifieldFunctions, TableOrderBoundsAndComments) {
  struct Row {
    const char* Name;
    int32_t Min, Max;
  };
  const Row table[] = {{"create$", 0, MaxArguments},
                       {"delete$", 3, 3},
                       {"explode$", 1, 1},
                       {"first$", 1, 1},
                       {"implode$", 1, 1},
                       {"insert$", 2, MaxArguments},
                       {"length$", 1, 1},
                       {"member$", 2, 2},
                       {"nth$", 2, 2},
                       {"replace$", 3, MaxArguments},
                       {"rest$", 1, 1},
                       {"subseq$", 3, 3},
                       {"subsetp", 2, 2}};
  auto* package = FindComponentOfType<TStandardPackage>(&Engine);
  ASSERT_NE(package, nullptr);
  // The multifield functions stand together, in this order, in the table.
  Items names = FunctionNames(*package);
  auto first = std::find(names.begin(), names.end(), "create$");
  ASSERT_NE(first, names.end());
  Items expected;
  for (const Row& r : table) expected.push_back(r.Name);
  EXPECT_EQ(Items(first, first + std::min<ptrdiff_t>(names.end() - first, 13)), expected);
  for (const Row& r : table) {
    EXPECT_EQ(Engine.GetUserFunction(r.Name)->GetMinArgumentCount(), r.Min) << r.Name;
    EXPECT_EQ(Engine.GetUserFunction(r.Name)->GetMaxArgumentCount(), r.Max) << r.Name;
    ExpectBounds(r.Name);
  }
  EXPECT_EQ(Engine.GetUserFunction("first$")->GetComment(),
            "Returns the first item in the <multifield-expression> or NIL if the multifield is "
            "empty\r\n     syntax: (first$ <multifield-expression> )");
  EXPECT_NE(Engine.GetUserFunction("replace$")
                ->GetComment()
                .find("syntax: (replace$ <multifield-expression> <start-integer-expression> "
                      "<end-integer-expression> <expression>*)"),
            std::string::npos);
}

TEST_F(MultifieldFunctions, CreateCopiesWithoutFlattening) {
  IKbValue item = Atom("x");
  IKbValue made = Call("create$", {item, abc, Nested("+", {Int(1), Int(2)})});
  EXPECT_EQ(made->GetToString(), "x a b c 3");
  EXPECT_EQ(made->GetAsList()->Count(), 3);
  EXPECT_EQ(made->GetAsList()->Get(1)->GetDType(), dtList);
  // The items are copies: changing the argument leaves the list alone.
  EXPECT_NE(made->GetAsList()->Get(0), item);
  item->SetAsAtom("changed");
  EXPECT_EQ(made->GetAsList()->Get(0)->GetToString(), "x");
  EXPECT_EQ(Call("create$")->GetAsList()->Count(), 0);
}

TEST_F(MultifieldFunctions, DeleteSubseqAndReplaceUseInclusiveRanges) {
  EXPECT_EQ(Texts(Call("delete$", {abc, Int(1), Int(1)})), (Items{"a", "c"}));
  EXPECT_EQ(Texts(Call("delete$", {abc, Int(1), Int(9)})), (Items{"a"}));
  EXPECT_EQ(Texts(Call("delete$", {abc, Int(5), Int(9)})), (Items{"a", "b", "c"}));
  EXPECT_EQ(Texts(Call("subseq$", {abc, Int(1), Int(2)})), (Items{"b", "c"}));
  EXPECT_EQ(Texts(Call("subseq$", {abc, Int(-3), Int(0)})), (Items{"a"}));
  const IKbValue abcd = List({Atom("a"), Atom("b"), Atom("c"), Atom("d")});
  EXPECT_EQ(Texts(Call("replace$", {abcd, Int(1), Int(2), Atom("x")})), (Items{"a", "x", "d"}));
  // Several replacements go in in argument order.
  EXPECT_EQ(Texts(Call("replace$", {abcd, Int(1), Int(2), Atom("x"), Atom("y")})),
            (Items{"a", "x", "y", "d"}));
  EXPECT_EQ(Texts(Call("replace$", {abcd, Int(0), Int(3)})), (Items{}));
  for (const char* name : {"delete$", "subseq$", "replace$"})
    EXPECT_EQ(ErrorOf(name, {abc, Int(2), Int(1)}),
              "Invalid multifield begin and end parameters: 2, 1")
        << name;
  EXPECT_EQ(ErrorOf("replace$", {abc, Int(5), Int(6), Atom("x")}), "List index out of bounds (5)");
  // The results are copies; the argument is unchanged.
  IKbValue sub = Call("subseq$", {abc, Int(0), Int(0)});
  EXPECT_NE(sub->GetAsList()->Get(0), abc->GetAsList()->Get(0));
  EXPECT_EQ(abc->GetToString(), "a b c");
}

TEST_F(MultifieldFunctions, ExplodeSplitsOnBlanksIntoSymbols) {
  IKbValue parts = Call("explode$", {Str("  red   green blue  ")});
  EXPECT_EQ(Texts(parts), (Items{"red", "green", "blue"}));
  IKbValue numbers = Call("explode$", {Str("1 2")});
  ASSERT_EQ(numbers->GetAsList()->Count(), 2);
  EXPECT_EQ(numbers->GetAsList()->Get(0)->GetDType(), dtAtom);
  EXPECT_EQ(numbers->GetAsList()->Get(1)->GetDType(), dtAtom);
  EXPECT_EQ(Call("explode$", {Str("")})->GetAsList()->Count(), 0);
  EXPECT_EQ(Call("explode$", {Str("   ")})->GetAsList()->Count(), 0);
  EXPECT_EQ(Texts(Call("explode$", {Atom("one")})), (Items{"one"}));
}

TEST_F(MultifieldFunctions, FirstRestNthAndLength) {
  EXPECT_EQ(Call("first$", {abc})->GetToString(), "a");
  EXPECT_EQ(Call("first$", {List({})}), FCNil);
  // The first item is resolved.
  EXPECT_EQ(Call("first$", {List({Nested("+", {Int(1), Int(2)})})})->GetToString(), "3");
  EXPECT_EQ(Texts(Call("rest$", {abc})), (Items{"b", "c"}));
  EXPECT_EQ(Call("rest$", {List({})})->GetAsList()->Count(), 0);
  EXPECT_EQ(abc->GetToString(), "a b c");
  // nth$ gives the item as stored.
  EXPECT_EQ(Call("nth$", {Int(1), abc}), abc->GetAsList()->Get(1));
  EXPECT_EQ(ErrorOf("nth$", {Int(3), abc}), "List index out of bounds (3)");
  EXPECT_EQ(ErrorOf("nth$", {Int(-1), abc}), "List index out of bounds (-1)");
  EXPECT_EQ(Call("length$", {abc})->GetToString(), "3");
  EXPECT_EQ(ErrorOf("length$", {Atom("abc")}), "Not a list.  Value Type is dtAtom");
}

TEST_F(MultifieldFunctions, ImplodeJoinsTextsWithOneBlank) {
  IKbValue text = Call("implode$", {List({Atom("a"), Str("b c"), Int(1), Flt(2.5)})});
  EXPECT_EQ(text->GetDType(), dtString);
  EXPECT_EQ(text->GetAsString(), "a b c 1 2.5");
  EXPECT_EQ(Call("implode$", {List({})})->GetAsString(), "");
}

TEST_F(MultifieldFunctions, InsertPutsTheValuesInArgumentOrder) {
  const IKbValue ab = List({Atom("a"), Atom("b")});
  EXPECT_EQ(Texts(Call("insert$", {ab, Int(1), Atom("x"), Atom("y")})),
            (Items{"a", "x", "y", "b"}));
  EXPECT_EQ(Texts(Call("insert$", {ab, Int(2), Atom("z")})), (Items{"a", "b", "z"}));
  EXPECT_EQ(Texts(Call("insert$", {ab, Int(0), abc})), (Items{"a b c", "a", "b"}));
  EXPECT_EQ(ErrorOf("insert$", {ab, Int(3), Atom("z")}), "List index out of bounds (3)");
  EXPECT_EQ(ab->GetToString(), "a b");
}

TEST_F(MultifieldFunctions, MemberComparesStrictly) {
  EXPECT_EQ(Call("member$", {Atom("b"), abc})->GetToString(), "1");
  EXPECT_EQ(Call("member$", {Atom("d"), abc}), FCFalse);
  EXPECT_EQ(Call("member$", {Int(1), List({Flt(1), Int(1)})})->GetToString(), "1");
  EXPECT_EQ(Call("member$", {Str("a"), abc}), FCFalse);
}

TEST_F(MultifieldFunctions, SubsetpLooksForAContiguousRun) {
  const IKbValue abcd = List({Atom("a"), Atom("b"), Atom("c"), Atom("d")});
  EXPECT_EQ(Call("subsetp", {List({Atom("b"), Atom("c")}), abcd}), FCTrue);
  EXPECT_EQ(Call("subsetp", {List({Atom("c"), Atom("b")}), abcd}), FCFalse);
  EXPECT_EQ(Call("subsetp", {Atom("d"), abcd}), FCTrue);
  // A run that would reach past the end does not match.
  EXPECT_EQ(Call("subsetp", {List({Atom("d"), Atom("e")}), abcd}), FCFalse);
  EXPECT_EQ(Call("subsetp", {Atom("a"), List({})}), FCFalse);
  EXPECT_EQ(Call("subsetp", {List({}), abcd}), FCTrue);
  // Items are resolved before they are compared.
  EXPECT_EQ(Call("subsetp", {List({Nested("+", {Int(1), Int(1)})}), List({Int(1), Int(2)})}),
            FCTrue);
}
