#include "libraries/PredicatePackage.h"

#include <gtest/gtest.h>

#include "FunctionCallHelper.h"

using namespace kb;
using namespace kb::test;

namespace {
class PredicatePackage : public TFunctionTest {};
}  // namespace

TEST_F(PredicatePackage, FunctionTableInOrder) {
  auto* package = FindComponentOfType<TPredicatePackage>(&Engine);
  ASSERT_NE(package, nullptr);
  const std::vector<std::string> expected = {
      "evenp",   "oddp",    "lexemep",     "numberp",           "floatp", "integerp",
      "stringp", "symbolp", "multifieldp", "external-addressp", "objectp"};
  const std::vector<std::string> names = FunctionNames(*package);
  EXPECT_EQ(names, expected);
  for (const std::string& name : names) {
    EXPECT_EQ(Engine.GetUserFunction(name)->GetMinArgumentCount(), 1) << name;
    EXPECT_EQ(Engine.GetUserFunction(name)->GetMaxArgumentCount(), 1) << name;
    ExpectBounds(name);
  }
  EXPECT_EQ(Engine.GetUserFunction("evenp")->GetComment(),
            "Returns TRUE if the argument is an even integer, FALSE otherwise\r\n"
            "     syntax: (evenp <numeric-expression>)");
  EXPECT_EQ(Engine.GetUserFunction("lexemep")->GetComment(),
            "Returns TRUE if the argument is of the following type(s): Atom, String.  If the "
            "argument is any other type, FALSE is returned\r\n"
            "     syntax: (lexemep <expression>)");
}

// What the predicates answer for values a script can write is tested by
// tests/language/predicates/parity-and-types.clp.
TEST_F(PredicatePackage, AnExternalAddressIsOne) {
  IKbValue address = NewValue();
  address->SetAsExternalAddress(&address);
  EXPECT_EQ(Call("external-addressp", {address}), FCTrue);
  EXPECT_EQ(Call("external-addressp", {Int(1)}), FCFalse);
}

TEST_F(PredicatePackage, TypePredicateCommentFollowsNameAndTypes) {
  IUserFunction f(new TVerifyTypePFunction("factp", {dtFact}));
  EXPECT_EQ(f->GetComment(),
            "Returns TRUE if the argument is of the following type(s): Fact.  If the argument is "
            "any other type, FALSE is returned\r\n     syntax: (factp <expression>)");
  f->SetFunctionName("fact-p");
  EXPECT_NE(f->GetComment().find("syntax: (fact-p <expression>)"), std::string::npos);
  auto* typed = static_cast<TVerifyTypePFunction*>(f.get());
  typed->SetTypes({});
  EXPECT_NE(f->GetComment().find("type(s): NONE."), std::string::npos);

  // Assign copies the type set with the name and the comment.
  IUserFunction copy(new TVerifyTypePFunction());
  auto* source = static_cast<TVerifyTypePFunction*>(Engine.GetUserFunction("numberp").get());
  copy->Assign(source);
  EXPECT_EQ(copy->GetFunctionName(), "numberp");
  EXPECT_EQ(copy->GetComment(), source->GetComment());
  EXPECT_EQ(static_cast<TVerifyTypePFunction*>(copy.get())->GetTypes(), source->GetTypes());
  EXPECT_EQ(copy->GetMinArgumentCount(), 1);

  // A host's own predicate works through any engine.
  IUserFunction integerOrFloat(new TVerifyTypePFunction("my-numberp", {dtInteger, dtFloat}));
  Engine.AddUserFunction(integerOrFloat);
  EXPECT_EQ(Call("my-numberp", {Int(1)}), FCTrue);
  EXPECT_EQ(Call("my-numberp", {Str("1")}), FCFalse);
  Engine.RemoveUserFunction(integerOrFloat);
}
