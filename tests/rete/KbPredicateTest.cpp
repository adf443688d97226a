#include "rete/KbPredicate.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "engine/Deducer.h"

using namespace kb;

namespace {

using TTruth = TCompiledPredicate::TTruth;

struct TPredicateFixture {
  TPredicateFixture() {
    E.Parse("(deftemplate person (slot name) (slot age) (multislot kids))");
    Ann = Fact("(person (name ann) (age 3) (kids 4 5.5))", 1);
    Bob = Fact("(person (name bob) (age 9223372036854775807) (kids))", 2);
  }
  IFact Fact(const std::string& Text, int32_t Id) {
    IFact f = E.ParseFact(Text);
    f->SetID(Id);
    return f;
  }
  // A call of Name on Args, as the network compiles a rule's predicate.
  IKbValue Call(const char* Name, std::initializer_list<IKbValue> Args) {
    IFunCall c(new TFunctionCall(&E, Name));
    for (const IKbValue& a : Args) c->AddArgument(a);
    return NewFunCall(c);
  }
  // A compiled variable: slot Slot (element Sub) of the fact at Index.
  static IKbValue Ref(int32_t Index, const char* Slot, int32_t Sub = NoSubIndex) {
    IKbValue v = NewValue();
    v->SetAsVariantArray({TVariant(Index), TVariant(std::string(Slot)), TVariant(Sub)});
    return v;
  }
  // Test on the match (Left) with Right arriving.
  TTruth Test(TCompiledPredicate& P, const IFact& Left, const IFact& Right) {
    const TFact* facts[] = {Left.get()};
    return P.Test({facts, Left.get(), nullptr, 1, Right.get()});
  }
  TDeducer E;
  IFact Ann, Bob;
};

}  // namespace

TEST(CompiledPredicate, CoversComparisonsLogicAndArithmeticOverSlotsOnly) {
  TPredicateFixture f;
  EXPECT_TRUE(TCompiledPredicate::Compile(
      f.Call("=", {f.Ref(0, "age"), f.Call("-", {f.Ref(1, "age"), NewInteger(1)})})));
  EXPECT_TRUE(TCompiledPredicate::Compile(
      f.Call("or", {f.Call("eq", {f.Ref(0, "name"), NewAtom("ann")}),
                    f.Call("not", {f.Call("<", {f.Ref(0, ""), NewInteger(2)})})})));
  // Another function anywhere, or a variable read by name, is not covered.
  EXPECT_FALSE(TCompiledPredicate::Compile(f.Call("printout", {NewAtom("t")})));
  EXPECT_FALSE(TCompiledPredicate::Compile(
      f.Call("=", {f.Ref(0, "age"), f.Call("length$", {f.Ref(0, "kids")})})));
  EXPECT_FALSE(TCompiledPredicate::Compile(f.Call("=", {NewVariable("*g*"), NewInteger(1)})));
  EXPECT_FALSE(TCompiledPredicate::Compile(NewInteger(1)));
}

TEST(CompiledPredicate, DecidesFromTheFactsWhatTheCallWouldSay) {
  TPredicateFixture f;
  auto check = [&](const IKbValue& Call, const IFact& Left, const IFact& Right, TTruth Expected) {
    auto p = TCompiledPredicate::Compile(Call);
    ASSERT_TRUE(p) << Call->GetToString();
    EXPECT_EQ(f.Test(*p, Left, Right), Expected) << Call->GetToString();
  };
  // Fact 0 is the match's, fact 1 the one arriving on the right.
  check(f.Call("<", {f.Ref(0, "age"), f.Ref(1, "age")}), f.Ann, f.Bob, TCompiledPredicate::ptTrue);
  check(f.Call("<", {f.Ref(0, "age"), f.Ref(1, "age")}), f.Bob, f.Ann, TCompiledPredicate::ptFalse);
  // Integers and floats compare by value; eq compares type too.
  check(f.Call("=", {f.Ref(0, "kids", 1), NewFloat(5.5)}), f.Ann, f.Bob,
        TCompiledPredicate::ptTrue);
  check(f.Call("=", {f.Call("+", {f.Ref(0, "age"), NewInteger(1)}), f.Ref(0, "kids", 0)}), f.Ann,
        f.Bob, TCompiledPredicate::ptTrue);
  check(f.Call("eq", {f.Call("+", {f.Ref(0, "age"), NewFloat(1.0)}), f.Ref(0, "kids", 0)}), f.Ann,
        f.Bob, TCompiledPredicate::ptFalse);
  check(f.Call("neq", {f.Ref(0, ""), f.Ref(1, "")}), f.Ann, f.Bob, TCompiledPredicate::ptTrue);
  // Float totals are kept in extended precision: 1e16 + 1 + 1 is not 1e16.
  check(f.Call("=", {f.Call("+", {NewFloat(1e16), NewInteger(1), NewInteger(1)}), NewFloat(1e16)}),
        f.Ann, f.Bob, TCompiledPredicate::ptFalse);
  // Integers compare exactly, past the 53 bits of a double, with each
  // other and with floats.
  check(f.Call(">", {f.Ref(0, "age"), f.Call("-", {f.Ref(0, "age"), NewInteger(1)})}), f.Bob, f.Ann,
        TCompiledPredicate::ptTrue);
  check(f.Call("=", {f.Ref(0, "age"), NewInteger(9223372036854775806)}), f.Bob, f.Ann,
        TCompiledPredicate::ptFalse);
  check(f.Call("<", {f.Ref(0, "age"), NewFloat(9223372036854775808.0)}), f.Bob, f.Ann,
        TCompiledPredicate::ptTrue);
  check(f.Call("=", {f.Call("*", {f.Ref(1, "age"), NewInteger(3074457345618258602)}),
                     NewInteger(9223372036854775806)}),
        f.Bob, f.Ann, TCompiledPredicate::ptTrue);
  // An integer total that leaves the 64-bit range on the way is left to
  // the general evaluation, whose total is exact.
  check(f.Call("=", {f.Call("-", {f.Call("+", {f.Ref(0, "age"), NewInteger(1), NewInteger(-1)}),
                                  NewInteger(0)}),
                     f.Ref(0, "age")}),
        f.Bob, f.Ann, TCompiledPredicate::ptUnknown);
  check(f.Call("=", {f.Call("-", {f.Call("+", {f.Ref(0, "age"), NewInteger(-1), NewInteger(1)}),
                                  NewInteger(0)}),
                     f.Ref(0, "age")}),
        f.Bob, f.Ann, TCompiledPredicate::ptTrue);
  // What the call would raise, or read by conversion, is left to it.
  check(f.Call(">", {f.Call("+", {f.Ref(0, "age"), NewInteger(1)}), NewInteger(0)}), f.Bob, f.Ann,
        TCompiledPredicate::ptUnknown);
  check(f.Call(">", {f.Ref(0, "name"), NewInteger(0)}), f.Ann, f.Bob,
        TCompiledPredicate::ptUnknown);
  check(f.Call(">", {NewString("3"), NewInteger(0)}), f.Ann, f.Bob, TCompiledPredicate::ptUnknown);
  check(f.Call(">", {f.Ref(0, "kids", 2), NewInteger(0)}), f.Ann, f.Bob,
        TCompiledPredicate::ptUnknown);
  check(f.Call(">", {f.Ref(0, "colour"), NewInteger(0)}), f.Ann, f.Bob,
        TCompiledPredicate::ptUnknown);
  check(f.Call("abs", {f.Ref(0, "")}), f.Ann, f.Bob, TCompiledPredicate::ptUnknown);
  // "and" stops at the first FALSE: what follows is not read.
  check(f.Call("and", {f.Call(">", {f.Ref(0, "age"), NewInteger(5)}),
                       f.Call(">", {f.Ref(0, "name"), NewInteger(0)})}),
        f.Ann, f.Bob, TCompiledPredicate::ptFalse);
}

TEST(CompiledPredicate, CallsBindAsTheyWouldAndOnlyBuiltInsAreDecided) {
  TPredicateFixture f;
  IKbValue call = f.Call("=", {f.Call("abs", {f.Ref(0, "age")}), NewInteger(3)});
  auto p = TCompiledPredicate::Compile(call);
  ASSERT_TRUE(p);
  IFunCall outer = call->GetAsFunCall();
  IFunCall inner = outer->GetArgument(0)->GetAsFunCall();
  EXPECT_FALSE(outer->GetUserFunction());
  EXPECT_EQ(f.Test(*p, f.Ann, f.Bob), TCompiledPredicate::ptTrue);
  EXPECT_EQ(outer->GetUserFunction(), f.E.GetUserFunction("="));
  EXPECT_EQ(inner->GetUserFunction(), f.E.GetUserFunction("abs"));
  // A call bound to a deffunction of a built-in's name is the general
  // evaluation's; one already bound keeps its function.
  IKbValue late = f.Call("=", {f.Call("abs", {f.Ref(0, "age")}), NewInteger(3)});
  auto q = TCompiledPredicate::Compile(late);
  ASSERT_TRUE(q);
  f.E.Parse("(deffunction abs (?x) 42)");
  EXPECT_EQ(f.Test(*q, f.Ann, f.Bob), TCompiledPredicate::ptUnknown);
  EXPECT_EQ(late->GetAsFunCall()->GetArgument(0)->GetAsFunCall()->GetUserFunction(),
            f.E.GetUserFunction("abs"));
  EXPECT_EQ(f.Test(*p, f.Ann, f.Bob), TCompiledPredicate::ptTrue);
  // A call with an argument count its function refuses is left to it.
  auto r = TCompiledPredicate::Compile(f.Call("<", {f.Ref(0, "age")}));
  ASSERT_TRUE(r);
  EXPECT_EQ(f.Test(*r, f.Ann, f.Bob), TCompiledPredicate::ptUnknown);
}
