#include "rete/KbSlotTest.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/Deducer.h"

using namespace kb;

namespace {

struct TJoinFixture {
  TJoinFixture() {
    E.Parse("(deftemplate person (slot name) (slot age) (multislot kids))");
    E.Parse("(deftemplate pet (slot owner) (slot kind) (multislot names))");
  }
  IFact Fact(const std::string& Text, int32_t Id) {
    IFact f = E.ParseFact(Text);
    f->SetID(Id);
    return f;
  }
  TDeducer E;
};

}  // namespace

TEST(JoinTest, ComparesWholeSlotsByIndex) {
  TJoinFixture f;
  IReteToken owner(new TKbToken(taAdd, f.Fact("(person (name ann) (age 3))", 1)));
  IFact pet = f.Fact("(pet (owner ann) (kind cat))", 2);
  TKbJoinTest eq(sttEquals, "name", "owner", 0);
  TKbJoinTest ne(sttNotEquals, "name", "owner", 0);
  EXPECT_TRUE(eq.Test(owner.get(), pet.get()));
  EXPECT_FALSE(ne.Test(owner.get(), pet.get()));
  IFact other = f.Fact("(pet (owner bob))", 3);
  EXPECT_FALSE(eq.Test(owner.get(), other.get()));
  EXPECT_TRUE(ne.Test(owner.get(), other.get()));
  // Through a context: its token on the left, its fact on the right.
  std::unique_ptr<TKbContext> c(f.E.GetContext()->Push());
  c->SetToken(owner);
  c->SetFact(pet);
  EXPECT_TRUE(eq.PerformTest(c.get()));
  EXPECT_FALSE(eq.PerformTest(nullptr));
  // A slot that cannot be read fails either way.
  TKbJoinTest missing(sttNotEquals, "name", "colour", 0);
  EXPECT_FALSE(missing.Test(owner.get(), pet.get()));
  EXPECT_FALSE(TKbJoinTest(sttNotEquals, "name", "owner", 4).Test(owner.get(), pet.get()));
  EXPECT_EQ(eq.GetToString(), "= tstSlot TokenIdx: 0 Left: name Right: owner");
  EXPECT_EQ(eq.GetJoinTestType(), tstSlot);
  EXPECT_EQ(eq.GetLeftSubIndex(), -1);
}

TEST(JoinTest, ComparesMultislotElements) {
  TJoinFixture f;
  IFact person = f.Fact("(person (name ann) (kids tom sue))", 1);
  IReteToken t(new TKbToken(taAdd, person));
  t = IReteToken(new TKbToken(t, f.Fact("(pet (kind dog))", 2)));
  IFact pet = f.Fact("(pet (names rex sue))", 3);
  TKbJoinTest eq(sttEquals, "kids", 1, "names", 1, 0);
  EXPECT_TRUE(eq.Test(t.get(), pet.get()));
  EXPECT_FALSE(TKbJoinTest(sttEquals, "kids", 0, "names", 1, 0).Test(t.get(), pet.get()));
  EXPECT_TRUE(TKbJoinTest(sttNotEquals, "kids", 0, "names", 1, 0).Test(t.get(), pet.get()));
  // An element past the end fails either way.
  EXPECT_FALSE(TKbJoinTest(sttNotEquals, "kids", 5, "names", 1, 0).Test(t.get(), pet.get()));
  // Whole slot against element.
  IFact single = f.Fact("(pet (names sue))", 4);
  EXPECT_FALSE(TKbJoinTest(sttEquals, "name", -1, "names", 0, 0).Test(t.get(), single.get()));
  EXPECT_TRUE(TKbJoinTest(sttEquals, "kids", 1, "names", 0, 0).Test(t.get(), single.get()));
  // No fact at the token index: passes, even as a not-equal test.
  TKbJoinTest ne(sttNotEquals, "kids", 1, "names", 1, 0);
  EXPECT_TRUE(ne.Test(nullptr, pet.get()));
  EXPECT_TRUE(TKbJoinTest(sttNotEquals, "kids", 1, "names", 1, -1).Test(t.get(), pet.get()));
  EXPECT_EQ(ne.GetToString(), "<> tstMultiSlot TokenIdx: 0 Left: kids 1 Right: names 1");
}

TEST(JoinTest, AFactAddressComparesByIdentifier) {
  TJoinFixture f;
  // The left fact is a snapshot of fact 7: its address is 7's whatever
  // object holds it.
  IFact person = f.Fact("(person (name ann))", 7);
  IReteToken t(new TKbToken(taAdd, person));
  IFact pet = f.Fact("(pet (kind dog))", 9);
  pet->SetValue("owner", NewFactId(7));
  IValueVector names = NewVector();
  names->Add(NewAtom("rex"));
  names->Add(NewFactId(7));
  pet->SetValue("names", NewList(names));
  TKbJoinTest owner(sttEquals, SPatternBinding, "owner", 0);
  EXPECT_TRUE(owner.IsLeftAddress());
  EXPECT_TRUE(owner.Test(t.get(), pet.get()));
  EXPECT_FALSE(TKbJoinTest(sttNotEquals, SPatternBinding, "owner", 0).Test(t.get(), pet.get()));
  EXPECT_TRUE(TKbJoinTest(sttEquals, SPatternBinding, -1, "names", 1, 0).Test(t.get(), pet.get()));
  EXPECT_FALSE(TKbJoinTest(sttEquals, SPatternBinding, -1, "names", 0, 0).Test(t.get(), pet.get()));
  // The integer 7 is not the address of fact 7, nor is another address.
  pet->SetValue("owner", NewInteger(7));
  EXPECT_FALSE(owner.Test(t.get(), pet.get()));
  pet->SetValue("owner", NewFactId(8));
  EXPECT_FALSE(owner.Test(t.get(), pet.get()));
  EXPECT_TRUE(TKbJoinTest(sttNotEquals, SPatternBinding, "owner", 0).Test(t.get(), pet.get()));
  // The address on the right: the arriving fact is the one a slot names.
  IFact ref = f.Fact("(pet)", 3);
  ref->SetValue("owner", NewFactId(9));
  IReteToken byRef(new TKbToken(taAdd, ref));
  TKbJoinTest named(sttEquals, "owner", SPatternBinding, 0);
  EXPECT_TRUE(named.IsRightAddress());
  EXPECT_TRUE(named.Test(byRef.get(), pet.get()));
  EXPECT_FALSE(named.Test(byRef.get(), person.get()));
  // Both sides: the same fact.
  TKbJoinTest same(sttEquals, SPatternBinding, SPatternBinding, 0);
  EXPECT_TRUE(same.Test(t.get(), f.Fact("(person)", 7).get()));
  EXPECT_FALSE(same.Test(t.get(), pet.get()));
  // A copy keeps the sides.
  std::unique_ptr<TKbSlotTest> c = named.Clone();
  EXPECT_TRUE(static_cast<TKbJoinTest*>(c.get())->IsRightAddress());
}

TEST(JoinTest, CopiesAndEquality) {
  TKbJoinTest a(sttEquals, "x", 2, "y", 3, 1);
  std::unique_ptr<TKbSlotTest> c = a.Clone();
  ASSERT_TRUE(dynamic_cast<TKbJoinTest*>(c.get()));
  EXPECT_TRUE(a.Equals(c.get()));
  EXPECT_EQ(c->GetToString(), a.GetToString());
  TKbJoinTest b(sttEquals, "x", 2, "y", 3, 0);
  EXPECT_FALSE(a.Equals(&b));
  b.SetTokenIndex(1);
  EXPECT_TRUE(a.Equals(&b));
  b.SetRightIndex("z");
  EXPECT_FALSE(a.Equals(&b));
  b.SetRightIndex("y");
  b.SetSlotTestType(sttNotEquals);
  EXPECT_FALSE(a.Equals(&b));
  TKbPatternMatchTest p(nullptr, sttEquals, NewAtom("x"));
  EXPECT_FALSE(a.Equals(&p));
  EXPECT_FALSE(p.Equals(&a));
}

TEST(PatternMatchTest, ValuesTextAndEquality) {
  IKbValue red = NewAtom("red");
  TKbPatternMatchTest t(nullptr, sttNotEquals, 2, red);
  // The value is a copy.
  EXPECT_NE(t.GetSlotValue(), red);
  EXPECT_TRUE(t.GetSlotValue()->Equals(red));
  EXPECT_EQ(t.GetToString(), "<> SubIdx: 2 Slot: red");
  EXPECT_EQ(TKbPatternMatchTest().GetToString(), "= SubIdx: -1");
  std::unique_ptr<TKbSlotTest> c = t.Clone();
  EXPECT_TRUE(t.Equals(c.get()));
  auto* copy = static_cast<TKbPatternMatchTest*>(c.get());
  EXPECT_EQ(copy->GetPattern(), nullptr);
  copy->SetConjunction(false);
  EXPECT_FALSE(t.Equals(copy));
  copy->SetConjunction(true);
  copy->SetMultiSlotSubIndex(1);
  EXPECT_FALSE(t.Equals(copy));
  copy->SetMultiSlotSubIndex(2);
  copy->SetSlotValue(NewAtom("blue"));
  EXPECT_FALSE(t.Equals(copy));
  TKbPatternMatchTest like(nullptr, t, NewAtom("blue"));
  EXPECT_TRUE(like.Equals(copy));
  // Two tests without values are equal.
  TKbPatternMatchTest none, other;
  EXPECT_TRUE(none.Equals(&other));
  EXPECT_FALSE(none.Equals(&t));
}

TEST(PatternMatchTest, PerformTestResolvesTheValue) {
  TDeducer e;
  std::unique_ptr<TKbContext> c(e.GetContext()->Push());
  IFunCall no = e.ParseFunCall("(> 1 2)");
  IFunCall yes = e.ParseFunCall("(> 2 1)");
  EXPECT_TRUE(TKbPatternMatchTest(nullptr, sttEquals, NewFunCall(yes)).PerformTest(c.get()));
  EXPECT_FALSE(TKbPatternMatchTest(nullptr, sttEquals, NewFunCall(no)).PerformTest(c.get()));
  EXPECT_TRUE(TKbPatternMatchTest(nullptr, sttNotEquals, NewFunCall(no)).PerformTest(c.get()));
  EXPECT_FALSE(TKbPatternMatchTest(nullptr, sttNotEquals, NewFunCall(yes)).PerformTest(c.get()));
  // Anything but FALSE counts as true.
  c->AddLocalBinding("x", NewInteger(0));
  EXPECT_TRUE(TKbPatternMatchTest(nullptr, sttEquals, NewVariable("x")).PerformTest(c.get()));
}

TEST(PatternMatchTest, ConvertToFunCall) {
  TDeducer e;
  IKbValue v = NewVariable("v");
  IFunCall eq = TKbPatternMatchTest(nullptr, sttEquals, NewAtom("red")).ConvertToFunCall(&e, v);
  EXPECT_EQ(eq->GetToString(), "(eq red ?v)");
  EXPECT_EQ(eq->GetReasoner(), &e);
  EXPECT_EQ(TKbPatternMatchTest(nullptr, sttNotEquals, NewVariable("w"))
                .ConvertToFunCall(&e, v)
                ->GetToString(),
            "(neq ?w ?v)");
  TKbPatternMatchTest predicate(nullptr, sttEquals, NewFunCall(e.ParseFunCall("(> ?v 1)")));
  // An equal predicate is the very call; a not-equal one goes under "not".
  EXPECT_EQ(predicate.ConvertToFunCall(&e, v), predicate.GetSlotValue()->GetAsFunCall());
  predicate.SetSlotTestType(sttNotEquals);
  EXPECT_EQ(predicate.ConvertToFunCall(&e, v)->GetToString(), "(not (> ?v 1))");
}
