#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "memory/KbFacts.h"
#include "parser/KbClipsParser.h"
#include "rete/KbRule.h"
#include "rete/KbRuleWriter.h"
#include "rete/KbSlotTest.h"

using namespace kb;

namespace {

using kb::test::ErrorOf;

struct TPatterns {
  TPatterns() {
    E.Parse("(deftemplate person (slot name) (slot age) (multislot kids))");
    Person = E.FindFactTemplate("person");
    Data = E.CreateFactTemplate("data");
  }
  std::unique_ptr<TKbPattern> New(const IFactTemplate& T, int32_t Negated = 0) {
    return std::make_unique<TKbPattern>(nullptr, T->GetTemplateName(), T, Negated);
  }
  TDeducer E;
  IFactTemplate Person;
  IFactTemplate Data;
};

// "slot: tests" for every entry that has tests, tests as their text.
std::string Tests(const TKbPattern& P) {
  std::string r;
  for (int i = 0; i < P.GetSlotCount(); ++i) {
    for (int j = 0; j < P.GetSlotTestCount(i); ++j) {
      const TKbPatternMatchTest& t = *P.GetSlotTest(i, j);
      r += P.GetSlotName(i) + (t.GetConjunction() ? "&" : "|") + t.GetToString() + "; ";
    }
  }
  return r;
}

}  // namespace

TEST(Pattern, EntriesFollowTheTemplate) {
  TPatterns p;
  auto pattern = p.New(p.Person);
  ASSERT_EQ(pattern->GetSlotCount(), 3);
  EXPECT_EQ(pattern->GetSlotName(0), "name");
  EXPECT_EQ(pattern->GetSlotName(2), "kids");
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(pattern->GetSlotLength(i), -1);
    EXPECT_EQ(pattern->GetSlotTests(i), nullptr);
    EXPECT_EQ(pattern->GetSlotTestCount(i), 0);
  }
  EXPECT_EQ(pattern->IndexOfSlotName("age"), 1);
  EXPECT_EQ(pattern->IndexOfSlotName("nope"), -1);
  EXPECT_EQ(ErrorOf([&] { pattern->GetSlotName(3); }), "List index out of bounds (3)");
  // Negation: two "not" cancel out.
  EXPECT_FALSE(p.New(p.Person, 2)->IsNegated());
  EXPECT_TRUE(p.New(p.Person, 3)->IsNegated());
  EXPECT_EQ(TKbPattern(nullptr, "x", nullptr, 0).GetSlotCount(), 0);
}

TEST(Pattern, AddTestChecksBeforeItChanges) {
  TPatterns p;
  TKbPattern none(nullptr, "x", nullptr, 0);
  EXPECT_EQ(ErrorOf([&] { none.AddTest("a", NewAtom("b"), -1, false, true); }),
            "Fact Template is missing");
  auto pattern = p.New(p.Person);
  EXPECT_EQ(ErrorOf([&] { pattern->AddTest("colour", NewAtom("b"), -1, false, true); }),
            "No such slot name: \"colour\"");
  EXPECT_EQ(pattern->GetTestCount(), 0);
  IKbValue ann = NewAtom("ann");
  pattern->AddTest("name", ann, -1, true, false);
  ASSERT_EQ(pattern->GetSlotTestCount(0), 1);
  const TKbPatternMatchTest& t = *pattern->GetSlotTest(0, 0);
  EXPECT_EQ(t.GetPattern(), pattern.get());
  EXPECT_TRUE(t.IsNotEquals());
  EXPECT_FALSE(t.GetConjunction());
  EXPECT_NE(t.GetSlotValue(), ann);
  EXPECT_EQ(pattern->GetTestCount(), 1);
  EXPECT_EQ(pattern->GetDisjunctionCount(), 1);
}

TEST(Pattern, CountsFollowTheTestLists) {
  TPatterns p;
  auto pattern = p.New(p.Data);
  pattern->AddTest(SDefaultSlotName, NewAtom("a"), 0, false, true);
  pattern->AddTest(SDefaultSlotName, NewAtom("b"), 0, false, false);
  pattern->AddTest(SDefaultSlotName, NewAtom("c"), 1, false, true);
  EXPECT_EQ(pattern->GetTestCount(), 3);
  EXPECT_EQ(pattern->GetDisjunctionCount(), 1);
  TSlotTests& tests = *pattern->GetSlotTests(0);
  tests[2]->SetConjunction(false);
  EXPECT_EQ(pattern->GetDisjunctionCount(), 2);
  std::unique_ptr<TKbPatternMatchTest> out = tests.Extract(1);
  EXPECT_EQ(out->GetPattern(), nullptr);
  EXPECT_EQ(pattern->GetTestCount(), 2);
  EXPECT_EQ(pattern->GetDisjunctionCount(), 1);
  // A test changed outside the pattern tells nobody.
  out->SetConjunction(true);
  EXPECT_EQ(pattern->GetDisjunctionCount(), 1);
  tests.Delete(1);
  EXPECT_EQ(pattern->GetDisjunctionCount(), 0);
  tests.Add(std::move(out));
  EXPECT_EQ(tests[1]->GetPattern(), pattern.get());
  EXPECT_EQ(pattern->GetTestCount(), 2);
  tests.Clear();
  EXPECT_EQ(pattern->GetTestCount(), 0);
}

TEST(Pattern, ChangesAreReportedOncePerUpdate) {
  TPatterns p;
  auto pattern = p.New(p.Person);
  int changes = 0;
  pattern->OnChange = [&changes](TKbPattern*) { ++changes; };
  pattern->SetUnique(true);
  pattern->SetUnique(true);
  pattern->SetExplicit(true);
  pattern->SetNegatedCount(1);
  pattern->SetBoundName("f");
  EXPECT_EQ(changes, 4);
  changes = 0;
  pattern->BeginUpdate();
  pattern->AddTest("name", NewAtom("a"), -1, false, true);
  pattern->GetSlotTest(0, 0)->SetSlotValue(NewAtom("b"));
  pattern->SetSlotLength(2, 3);
  EXPECT_EQ(changes, 0);
  pattern->EndUpdate();
  EXPECT_EQ(changes, 1);
  // The name changes without a report.
  pattern->SetName("other");
  EXPECT_EQ(changes, 1);
}

TEST(Pattern, TestElementsCannotBeBound) {
  TPatterns p;
  TKbPattern test(nullptr, STestCE, p.E.CreateFactTemplate(STestCE), 0);
  EXPECT_EQ(ErrorOf([&] { test.SetBoundName("f"); }),
            "Cannot bind a negated pattern to a variable");
  test.SetBoundName("");
  // Other negated patterns may be bound; the binding stays empty at firing.
  auto negated = p.New(p.Person, 1);
  negated->SetBoundName("f");
  EXPECT_EQ(negated->GetBoundName(), "f");
}

TEST(Pattern, CopiesNeverShareAnonymousVariables) {
  TPatterns p;
  auto source = p.New(p.Data);
  source->AddTest(SDefaultSlotName, NewVariable("_blank_7"), 0, false, true);
  source->AddTest(SDefaultSlotName, NewMultiVariable("_blank_$8"), 1, false, true);
  source->AddTest(SDefaultSlotName, NewVariable("x"), 2, true, false);
  source->SetSlotLength(0, 3);
  source->SetBoundName("f");
  TKbPattern copy(nullptr, *source, "copy", 1);
  EXPECT_EQ(copy.GetName(), "copy");
  EXPECT_EQ(copy.GetNegatedCount(), 1);
  EXPECT_EQ(copy.GetFactTemplate(), p.Data);
  EXPECT_EQ(copy.GetBoundName(), "");
  ASSERT_EQ(copy.GetSlotTestCount(0), 3);
  const IKbValue& a = copy.GetSlotTest(0, 0)->GetSlotValue();
  const IKbValue& b = copy.GetSlotTest(0, 1)->GetSlotValue();
  EXPECT_EQ(a->GetDType(), dtVariable);
  EXPECT_EQ(b->GetDType(), dtMultiVariable);
  EXPECT_TRUE(a->GetText().starts_with("_blank_"));
  EXPECT_NE(a->GetText(), "_blank_7");
  EXPECT_NE(b->GetText(), "_blank_$8");
  EXPECT_NE(a->GetText(), b->GetText());
  // Named variables, test types, positions and conjunctions stay.
  const TKbPatternMatchTest& x = *copy.GetSlotTest(0, 2);
  EXPECT_EQ(x.GetSlotValue()->GetText(), "x");
  EXPECT_TRUE(x.IsNotEquals());
  EXPECT_FALSE(x.GetConjunction());
  EXPECT_EQ(x.GetMultiSlotSubIndex(), 2);
  EXPECT_EQ(copy.GetSlotLength(0), 3);
  // Another template: the copy's tests must fit it.
  IFactTemplate other = p.E.CreateFactTemplate("other");
  TKbPattern moved(nullptr, *source, "other", 0, other);
  EXPECT_EQ(moved.GetFactTemplate(), other);
  EXPECT_EQ(moved.GetTestCount(), 3);
}

TEST(Pattern, AssignAndCloneWithinAnEngine) {
  TPatterns p;
  auto source = p.New(p.Person, 1);
  source->AddTest("name", NewVariable("n"), -1, false, true);
  source->AddTest("kids", NewAtom("a"), 0, true, true);
  source->SetSlotLength(2, 1);
  source->SetUnique(true);
  source->SetGenerated(true);
  std::unique_ptr<TKbPattern> clone = source->Clone(&p.E);
  EXPECT_EQ(clone->GetFactTemplate(), p.Person);
  EXPECT_EQ(clone->GetOwner(), nullptr);
  EXPECT_EQ(Tests(*clone), Tests(*source));
  EXPECT_EQ(clone->GetSlotLength(2), 1);
  EXPECT_TRUE(clone->GetUnique());
  EXPECT_TRUE(clone->IsGenerated());
  EXPECT_EQ(clone->GetNegatedCount(), 1);
  EXPECT_NE(clone->GetSlotTest(0, 0), source->GetSlotTest(0, 0));
  auto target = p.New(p.Data);
  target->AddTest(SDefaultSlotName, NewAtom("z"), 0, false, true);
  target->Assign(source.get());
  EXPECT_EQ(target->GetFactTemplate(), p.Person);
  EXPECT_EQ(target->GetName(), "person");
  EXPECT_EQ(Tests(*target), Tests(*source));
  EXPECT_EQ(target->GetTestCount(), 2);
  EXPECT_EQ(target->GetToString(), source->GetToString());
}

TEST(Pattern, ClonesAcrossEnginesUseTheOtherEnginesTemplate) {
  TPatterns p;
  auto source = p.New(p.Person);
  source->AddTest("age", NewFunCall(p.E.ParseFunCall("(> ?a 1)")), -1, false, true);
  TDeducer other;
  std::unique_ptr<TKbPattern> clone = source->Clone(&other);
  IFactTemplate made = other.FindFactTemplate("person");
  ASSERT_TRUE(made);
  EXPECT_EQ(clone->GetFactTemplate(), made);
  EXPECT_EQ(made->GetSlotNames(), p.Person->GetSlotNames());
  // Its calls run in the other engine.
  EXPECT_EQ(clone->GetSlotTest(1, 0)->GetSlotValue()->GetAsFunCall()->GetReasoner(), &other);
  // A template the other engine has is used as it is.
  TDeducer third;
  third.Parse("(deftemplate person (slot age) (slot name))");
  IFactTemplate own = third.FindFactTemplate("person");
  EXPECT_EQ(source->Clone(&third)->GetFactTemplate(), own);
  // One it lacks the slot of cannot take the test.
  TDeducer fourth;
  fourth.Parse("(deftemplate person (slot name))");
  EXPECT_EQ(ErrorOf([&] { source->Clone(&fourth); }), "No such slot name: \"age\"");
}

TEST(Pattern, FixTestsRewritesAlternatives) {
  TPatterns p;
  // Without "|" nothing moves.
  auto plain = p.New(p.Data);
  plain->AddTest(SDefaultSlotName, NewVariable("c"), 0, false, true);
  plain->AddTest(SDefaultSlotName, NewAtom("red"), 0, true, true);
  TKbPatternMatchTest* first = plain->GetSlotTest(0, 0);
  plain->FixTests();
  EXPECT_EQ(plain->GetSlotTest(0, 0), first);
  EXPECT_EQ(plain->GetTestCount(), 2);

  // ?c&red|blue: ?c, then one predicate on ?c.
  auto c = p.New(p.Data);
  c->AddTest(SDefaultSlotName, NewVariable("c"), 0, false, true);
  c->AddTest(SDefaultSlotName, NewAtom("red"), 0, false, true);
  c->AddTest(SDefaultSlotName, NewAtom("blue"), 0, false, false);
  c->AddTest(SDefaultSlotName, NewAtom("x"), 1, false, true);
  c->FixTests();
  EXPECT_EQ(c->GetDisjunctionCount(), 0);
  EXPECT_EQ(Tests(*c),
            "__Data&= SubIdx: 0 Slot: ?c; __Data&= SubIdx: 0 Slot: (or (eq red ?c) (eq blue ?c)); "
            "__Data&= SubIdx: 1 Slot: x; ");

  // Alternatives that do not start with a positive variable need a fresh
  // one, which only a rule can bind.
  auto fresh = p.New(p.Data);
  fresh->AddTest(SDefaultSlotName, NewAtom("red"), 0, false, true);
  fresh->AddTest(SDefaultSlotName, NewAtom("green"), 0, true, false);
  fresh->AddTest(SDefaultSlotName, NewAtom("blue"), 0, true, true);
  EXPECT_EQ(ErrorOf([&] { fresh->FixTests(); }), "Rule missing for pattern");
  EXPECT_EQ(fresh->GetTestCount(), 3);
  TRule rule(&p.E);
  rule.GetPatterns().Add(std::move(fresh));
  const TKbPattern& fixed = *rule.GetPatterns()[0];
  ASSERT_EQ(fixed.GetSlotTestCount(0), 2);
  const std::string v = std::string(fixed.GetSlotTest(0, 0)->GetSlotValue()->GetText());
  EXPECT_TRUE(v.starts_with("_blank_"));
  EXPECT_EQ(fixed.GetSlotTest(0, 1)->GetSlotValue()->GetToString(),
            "(or (eq red ?" + v + ") (and (neq green ?" + v + ") (neq blue ?" + v + ")))");
  const TBinding* b = rule.GetBindingByName(v);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->GetFactIndex(), 0);
  EXPECT_EQ(b->GetSlotIndex(), SDefaultSlotName);
  EXPECT_EQ(b->GetSubIndex(), 0);

  // A negated variable is an alternative, not the variable of the group.
  auto negated = p.New(p.Data);
  negated->AddTest(SDefaultSlotName, NewVariable("y"), 0, true, true);
  negated->AddTest(SDefaultSlotName, NewAtom("a"), 0, false, false);
  TRule other(&p.E);
  auto bound = p.New(p.Data);
  bound->AddTest(SDefaultSlotName, NewVariable("y"), 0, false, true);
  other.GetPatterns().Add(std::move(bound));
  other.GetPatterns().Add(std::move(negated));
  const TKbPattern& n = *other.GetPatterns()[1];
  ASSERT_EQ(n.GetSlotTestCount(0), 2);
  const std::string w = std::string(n.GetSlotTest(0, 0)->GetSlotValue()->GetText());
  EXPECT_NE(w, "y");
  EXPECT_EQ(n.GetSlotTest(0, 1)->GetSlotValue()->GetToString(),
            "(or (neq ?y ?" + w + ") (eq a ?" + w + "))");
}

TEST(Pattern, Text) {
  TPatterns p;
  auto person = p.New(p.Person, 1);
  person->AddTest("name", NewVariable("n"), -1, false, true);
  person->AddTest("name", NewFunCall(p.E.ParseFunCall("(neq ?n bob)")), -1, true, true);
  person->AddTest("kids", NewString("a b"), 0, false, true);
  person->AddTest("kids", NewFloat(2), 1, false, true);
  person->AddTest("kids", NewAtom("c"), 1, false, false);
  person->SetExplicit(true);
  EXPECT_EQ(person->GetToString(),
            "(not (explicit (person (name ?n&~:(neq ?n bob)) (kids \"a b\" 2.0|c) )))");
  auto data = p.New(p.Data);
  data->SetBoundName("f");
  EXPECT_EQ(data->GetToString(), "?f <- (data )");
  // A slot whose tests print nothing stands as a fresh variable.
  data->AddTest(SDefaultSlotName, IKbValue(), 0, false, true);
  EXPECT_TRUE(data->GetToString().starts_with("?f <- (data $?__var"));
  auto age = p.New(p.Person);
  age->AddTest("age", IKbValue(), -1, false, true);
  EXPECT_TRUE(age->GetToString().starts_with("(person (age ?__var"));
  EXPECT_EQ(ErrorOf([] { PrettyPrint(TKbPattern(nullptr, "x", nullptr, 0)); }),
            "Fact Template is missing");
  // Test elements print their call bare, under "not" when negated.
  TKbPattern test(nullptr, STestCE, p.E.CreateFactTemplate(STestCE), 0);
  test.AddTest(SDefaultSlotName, NewFunCall(p.E.ParseFunCall("(> 1 0)")), -1, true, true);
  EXPECT_EQ(test.GetToString(), "(not (test (> 1 0)))");
  // Without an engine the printer works alone.
  IFactTemplate free(new TFactTemplate(nullptr, "free"));
  free->AddSlot("x", FCNil);
  TKbPattern alone(nullptr, "free", free, 0);
  alone.AddTest("x", NewInteger(1), -1, false, true);
  EXPECT_EQ(alone.GetToString(), "(free (x 1) )");
}
