#include "rete/KbRule.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerRules.h"
#include "rete/KbSlotTest.h"

using namespace kb;

namespace {

using kb::test::ErrorOf;

std::vector<std::string> Logged;

// (t-log args...): records the texts of its evaluated arguments.
KB_FUNCTION(TTestLogFunction, "t-log", 0, MaxArguments, "Logs", "t-log <value>*") {
  std::string line;
  for (int i = 0; i < Args.Count(); ++i) {
    if (i > 0) line += ' ';
    line += Args.Value(i)->GetToString();
  }
  Logged.push_back(line);
  return IKbValue();
}

// (t-global name [value]): binds the global variable name in the root
// context, or without a value removes its binding there.
KB_FUNCTION(TTestGlobalFunction, "t-global", 1, 2, "Globals", "t-global <name> [<value>]") {
  TKbContext& root = *Args.Eng().GetContext();
  if (Args.Count() == 2)
    root.AddGlobalBinding(Args.Str(0), Args.Value(1));
  else
    root.GetBindings().Remove(Args.Str(0));
  return IKbValue();
}

// An engine with a template person, the test function, and a way to
// build rules and matches by hand.
struct TRuleFixture {
  TRuleFixture() {
    E.AddUserFunction(IUserFunction(new TTestLogFunction()));
    E.Parse("(deftemplate person (slot name) (slot age) (multislot kids))");
    Person = E.FindFactTemplate("person");
    Logged.clear();
  }
  std::unique_ptr<TKbPattern> Pattern(const std::string& Name, int32_t Negated = 0) {
    return std::make_unique<TKbPattern>(nullptr, Name, E.CreateFactTemplate(Name), Negated);
  }
  // A rule parsed from Text (owned by the engine, not stored).
  std::unique_ptr<TRule> Rule(const std::string& Text) {
    return std::unique_ptr<TRule>(E.ParseRule(Text));
  }
  IFact Fact(const std::string& Text, int32_t Id) {
    IFact f = E.ParseFact(Text);
    f->SetID(Id);
    return f;
  }
  IReteToken Match(std::initializer_list<IFact> Facts) {
    IReteToken t;
    for (const IFact& f : Facts)
      t = t ? IReteToken(new TKbToken(t, f)) : IReteToken(new TKbToken(taAdd, f));
    return t;
  }
  TDeducer E;
  IFactTemplate Person;
};

// The bindings as name@pattern.slot.sub.
std::string Bindings(const TRule& R) {
  std::string r;
  for (int i = 0; i < R.GetBindingCount(); ++i) {
    const TBinding& b = *R.GetBinding(i);
    if (!r.empty()) r += ' ';
    r += b.GetName() + "@" + IntToStr(b.GetFactIndex()) + "." + b.GetSlotIndex() + "." +
         IntToStr(b.GetSubIndex());
  }
  return r;
}

std::string Names(const TRule& R) {
  std::string r;
  for (const auto& p : R.GetPatterns()) r += (r.empty() ? "" : " ") + p->GetName();
  return r;
}

}  // namespace

TEST(Rule, NamesIdentifiersAndEngine) {
  TRuleFixture t;
  TRule a(&t.E), b(&t.E);
  EXPECT_EQ(a.GetRuleName(), "Rule_0");
  EXPECT_EQ(b.GetRuleName(), "Rule_1");
  EXPECT_EQ(b.GetRuleId(), 1);
  EXPECT_EQ(a.GetEngine(), &t.E);
  TRule loose(nullptr);
  EXPECT_EQ(loose.GetRuleName(), "Rule_0");
  EXPECT_EQ(loose.GetEngine(), nullptr);
  EXPECT_EQ(ErrorOf([&] { a.SetRuleName("a b"); }),
            "Name \"a b\" contains an unexpected character: \" \"");
  EXPECT_EQ(ErrorOf([&] { a.SetRuleName("x?y(z"); }),
            "Name \"x?y(z\" contains an unexpected character: \"?\"");
  EXPECT_EQ(a.GetRuleName(), "Rule_0");
  int changes = 0;
  a.OnChange = [&changes](TRule*) { ++changes; };
  a.SetRuleName("Rule_0");
  a.SetRuleName("first");
  EXPECT_EQ(a.GetRuleName(), "first");
  EXPECT_EQ(changes, 0);
}

TEST(Rule, SalienceValuesAndExpressions) {
  TRuleFixture t;
  TRule r(&t.E);
  EXPECT_EQ(r.GetSalience(), 0);
  EXPECT_EQ(r.GetSalienceValue()->GetAsInteger(), 0);
  int changes = 0;
  r.OnChange = [&changes](TRule*) { ++changes; };
  // An expression is evaluated; once the integer changes, it is stored
  // in place of the expression.
  IKbValue sum = NewFunCall(t.E.ParseFunCall("(+ 2 3)"));
  r.SetSalience(sum);
  EXPECT_EQ(r.GetSalience(), 5);
  EXPECT_EQ(r.GetSalienceValue()->GetDType(), dtInteger);
  EXPECT_EQ(changes, 1);
  // The value given is never changed: it may be shared.
  EXPECT_EQ(sum->GetDType(), dtFunCall);
  // An expression giving the current integer stays an expression.
  IKbValue five = NewFunCall(t.E.ParseFunCall("(+ 4 1)"));
  r.SetSalience(five);
  EXPECT_EQ(r.GetSalienceValue(), five);
  EXPECT_EQ(changes, 1);
  // Globals are seen from the root context.
  t.E.Parse("(defglobal ?*s* = -7)");
  r.SetSalience(NewVariable("*s*"));
  EXPECT_EQ(r.EvaluateSalience(), -7);
  r.SetSalience(nullptr);
  EXPECT_EQ(r.GetSalience(), 0);
  EXPECT_EQ(ErrorOf([&] { r.SetSalience(NewAtom("high")); }),
            "Not a integer.  Value Type is dtAtom");
  // Without an engine the integer stays as it is.
  TRule loose(nullptr);
  loose.SetSalienceInteger(3);
  loose.SetSalience(NewFunCall(t.E.ParseFunCall("(+ 1 1)")));
  EXPECT_EQ(loose.GetSalience(), 3);
}

TEST(Rule, InitialFactGoesInFrontWhereNeeded) {
  TRuleFixture t;
  {
    auto r = t.Rule("(defrule r (not (a ?x)) =>)");
    EXPECT_EQ(Names(*r), "Initial-Fact a");
    EXPECT_TRUE(r->GetPatterns()[0]->IsGenerated());
    EXPECT_EQ(r->GetPatterns()[0]->GetFactTemplate(), t.E.FindFactTemplate("Initial-Fact"));
    // The pattern counts from 1 now.
    EXPECT_EQ(Bindings(*r), "x@1.__Data.0");
  }
  EXPECT_EQ(Names(*t.Rule("(defrule r (test (> 1 0)) =>)")), "Initial-Fact test");
  EXPECT_EQ(Names(*t.Rule("(defrule r (exists (a)) =>)")), "Initial-Fact a");
  EXPECT_EQ(Names(*t.Rule("(defrule r (a) (not (b)) =>)")), "a b");
  EXPECT_EQ(Names(*t.Rule("(defrule r (a) (test (> 1 0)) =>)")), "a test");
  t.Person->SetBackwardChaining(true);
  EXPECT_EQ(Names(*t.Rule("(defrule r (person) =>)")), "Initial-Fact person");
  EXPECT_EQ(Names(*t.Rule("(defrule r (a) (person) =>)")), "a person");
}

TEST(Rule, BindingsAreWhereVariablesAreFirstUsed) {
  TRuleFixture t;
  auto r =
      t.Rule("(defrule r ?p <- (person (name ?n) (kids ?first $?rest)) (b ?n ?m) (c $?rest) => )");
  EXPECT_EQ(Bindings(*r), "p@0.__PATTERN.-1 n@0.name.-1 first@0.kids.0 rest@0.kids.1 m@1.__Data.1");
  EXPECT_EQ(r->IndexOfBinding("m"), 4);
  EXPECT_EQ(r->IndexOfBinding("M"), -1);
  EXPECT_EQ(r->GetBindingByName("zz"), nullptr);
  // A first use under "~" is refused; a later one is fine.
  EXPECT_EQ(ErrorOf([&] { t.Rule("(defrule r (a ~?x) (b ?x) =>)"); }),
            "First Use of Variable is negated, variable name is x");
  EXPECT_EQ(Bindings(*t.Rule("(defrule r (a ?x) (b ~?x) =>)")), "x@0.__Data.0");
  // Anonymous variables of negated patterns get names of their pattern,
  // and the calls of that pattern follow the renaming.
  auto neg = std::make_unique<TRule>(&t.E);
  neg->GetPatterns().Add(t.Pattern("a"));
  auto p = t.Pattern("b", 1);
  p->AddTest(SDefaultSlotName, NewVariable("_blank_9"), 0, false, true);
  p->AddTest(SDefaultSlotName, NewFunCall(t.E.ParseFunCall("(> ?_blank_9 (+ ?_blank_9 1))")), 0,
             false, true);
  neg->GetPatterns().Add(std::move(p));
  const TKbPattern& b = *neg->GetPatterns()[1];
  EXPECT_EQ(b.GetSlotTest(0, 0)->GetSlotValue()->GetToString(), "?_2__blank_9");
  EXPECT_EQ(b.GetSlotTest(0, 1)->GetSlotValue()->GetToString(),
            "(> ?_2__blank_9 (+ ?_2__blank_9 1))");
  EXPECT_EQ(Bindings(*neg), "_2__blank_9@1.__Data.0");
}

TEST(Rule, VariablesFirstBoundUnderNotBelongToTheirPattern) {
  TRuleFixture t;
  auto r = t.Rule("(defrule r (not (a ?x)) (exists (b ?x ?y)) (c ?x) (not (d ?x ?y)) =>)");
  EXPECT_EQ(Bindings(*r), "x@1.__Data.0 x@2.__Data.0 y@2.__Data.1 x@3.__Data.0 y@4.__Data.1");
  // By name alone only the rule-wide variable is found.
  EXPECT_EQ(r->GetBindingByName("x")->GetFactIndex(), 3);
  EXPECT_EQ(r->GetBindingByName("y"), nullptr);
  EXPECT_TRUE(r->FindBinding("x", 1)->IsPatternScoped());
  EXPECT_EQ(r->FindBinding("x", 2)->GetFactIndex(), 2);
  EXPECT_EQ(r->FindBinding("y", 2)->GetFactIndex(), 2);
  // The last pattern shares x with c and has a y of its own.
  EXPECT_FALSE(r->FindBinding("x", 4)->IsPatternScoped());
  EXPECT_EQ(r->FindBinding("x", 4)->GetFactIndex(), 3);
  EXPECT_EQ(r->FindBinding("y", 4)->GetFactIndex(), 4);
  EXPECT_EQ(r->FindBinding("y", 3), nullptr);
  // A positive pattern put in front binds x for everyone after it.
  auto e = t.Pattern("e");
  e->AddTest(SDefaultSlotName, NewVariable("x"), 0, false, true);
  r->GetPatterns().Insert(1, std::move(e));
  EXPECT_EQ(Bindings(*r), "x@1.__Data.0 y@3.__Data.1 y@5.__Data.1");
  EXPECT_EQ(r->FindBinding("x", 2)->GetFactIndex(), 1);
}

TEST(Rule, AFailedPatternLeavesTheRuleAsItWas) {
  TRuleFixture t;
  auto r = t.Rule("(defrule r (a ?x) =>)");
  int changes = 0;
  r->OnChange = [&changes](TRule*) { ++changes; };
  auto bad = t.Pattern("b");
  bad->AddTest(SDefaultSlotName, NewVariable("y"), 0, false, true);
  bad->AddTest(SDefaultSlotName, NewVariable("z"), 1, true, true);
  EXPECT_EQ(ErrorOf([&] { r->GetPatterns().Add(std::move(bad)); }),
            "First Use of Variable is negated, variable name is z");
  EXPECT_EQ(Names(*r), "a");
  EXPECT_EQ(Bindings(*r), "x@0.__Data.0");
  EXPECT_EQ(changes, 0);
  // The same for the first pattern, with the initial fact it brought.
  TRule empty(&t.E);
  auto first = t.Pattern("b", 1);
  first->AddTest(SDefaultSlotName, NewVariable("q"), 0, true, true);
  EXPECT_EQ(ErrorOf([&] { empty.GetPatterns().Add(std::move(first)); }),
            "First Use of Variable is negated, variable name is q");
  EXPECT_EQ(empty.GetPatterns().Count(), 0);
  // Without an engine nothing can be added.
  TRule loose(nullptr);
  EXPECT_EQ(ErrorOf([&] { loose.GetPatterns().Add(t.Pattern("a")); }), "Unknown/Undefined Deducer");
  EXPECT_EQ(loose.GetPatterns().Count(), 0);
}

TEST(Rule, GoalsAskForTheMissingFact) {
  TRuleFixture t;
  t.E.Parse("(deftemplate need-person (slot name) (slot age) (multislot kids))");
  auto r = t.Rule("(defrule r (need-person (name ?n) (age ?)) => (t-log ?n))");
  ASSERT_EQ(Names(*r), "need-person person");
  const TKbPattern& goal = *r->GetPatterns()[0];
  const TKbPattern& missing = *r->GetPatterns()[1];
  EXPECT_TRUE(goal.GetBoundName().starts_with("__factidx"));
  EXPECT_EQ(missing.GetNegatedCount(), 1);
  EXPECT_TRUE(missing.GetBoundName().empty());
  EXPECT_TRUE(missing.IsGenerated());
  // On the needed template itself, with the same tests.
  EXPECT_EQ(missing.GetFactTemplate(), t.Person);
  EXPECT_EQ(missing.GetSlotTest(0, 0)->GetSlotValue()->GetText(), "n");
  const std::string blank(missing.GetSlotTest(1, 0)->GetSlotValue()->GetText());
  const std::string goalBlank(goal.GetSlotTest(1, 0)->GetSlotValue()->GetText());
  EXPECT_NE(blank, goalBlank);
  EXPECT_TRUE(blank.starts_with("_2__blank_"));
  EXPECT_EQ(Bindings(*r), goal.GetBoundName() + "@0.__PATTERN.-1 n@0.name.-1 " + goalBlank +
                              "@0.age.-1 " + blank + "@1.age.-1");
  // A goal bound by the rule keeps its variable.
  auto bound = t.Rule("(defrule r ?g <- (need-x 1) =>)");
  EXPECT_EQ(bound->GetPatterns()[0]->GetBoundName(), "g");
  EXPECT_EQ(Names(*bound), "need-x x");
  EXPECT_EQ(bound->GetPatterns()[1]->GetSlotLength(0), 1);
}

TEST(Rule, PatternListChangesMoveTheBindings) {
  TRuleFixture t;
  auto r = t.Rule("(defrule r (a ?x) (b ?y) =>)");
  auto c = t.Pattern("c");
  c->AddTest(SDefaultSlotName, NewVariable("z"), 0, false, true);
  r->GetPatterns().Insert(0, std::move(c));
  EXPECT_EQ(Names(*r), "c a b");
  EXPECT_EQ(Bindings(*r), "z@0.__Data.0 x@1.__Data.0 y@2.__Data.0");
  r->GetPatterns().Delete(1);
  EXPECT_EQ(Bindings(*r), "z@0.__Data.0 y@1.__Data.0");
  std::unique_ptr<TKbPattern> out = r->GetPatterns().Extract(0);
  EXPECT_EQ(out->GetOwner(), nullptr);
  EXPECT_EQ(Bindings(*r), "y@0.__Data.0");
  r->GetPatterns().Clear();
  EXPECT_EQ(r->GetBindingCount(), 0);
}

TEST(Rule, ChangesReachTheHostOncePerUpdate) {
  TRuleFixture t;
  TRule r(&t.E);
  int changes = 0;
  r.OnChange = [&changes](TRule*) { ++changes; };
  r.GetActions().Add(t.E.ParseFunCall("(t-log 1)"));
  EXPECT_EQ(changes, 1);
  r.GetPatterns().Add(t.Pattern("a"));
  EXPECT_EQ(changes, 2);
  r.BeginUpdate();
  r.GetPatterns().Add(t.Pattern("b", 1));
  r.GetActions().Delete(0);
  r.SetSalienceInteger(4);
  r.GetPatterns()[1]->SetUnique(true);
  EXPECT_EQ(changes, 2);
  r.EndUpdate();
  EXPECT_EQ(changes, 3);
}

TEST(Rule, FiringBindsTheMatchAndRunsTheActions) {
  TRuleFixture t;
  auto r = t.Rule(
      "(defrule r ?f <- (person (name ?n) (kids ?k $?more)) (not (b ?n)) (c ?z) "
      "=> (t-log ?f ?n ?k $?more ?z) (t-log done))");
  // A match: the person, the null fact for the negated pattern, c.
  // Its kids as the network leaves them: the segment of $?more is one
  // nested list.
  IFact person = t.Fact("(person (name ann))", 4);
  IValueVector more = NewVector();
  more->Add(NewAtom("sue"));
  more->Add(NewAtom("joe"));
  IValueVector kids = NewVector();
  kids->Add(NewAtom("tom"));
  kids->Add(NewList(more));
  person->SetValue("kids", NewList(kids));
  IReteToken match = t.Match({person, t.E.GetNullFact(), t.Fact("(c 9)", 6)});
  TKbContext* seen = nullptr;
  r->OnFire = [&seen](TRule*, TKbContext* Context) {
    seen = Context;
    EXPECT_EQ(Context->GetVariable("n")->GetText(), "ann");
  };
  r->Fire(match);
  EXPECT_NE(seen, nullptr);
  EXPECT_EQ(Logged, (std::vector<std::string>{"<Fact-4> ann tom sue joe 9", "done"}));
  // The rule's bindings keep the values; the root context gets none.
  EXPECT_EQ(r->GetBindingByName("n")->GetValue()->GetText(), "ann");
  EXPECT_EQ(t.E.GetContext()->FindBinding("n"), nullptr);
  EXPECT_FALSE(t.E.GetContext()->GetReturnValueSet());
}

TEST(Rule, ReturnStopsTheActions) {
  TRuleFixture t;
  auto r = t.Rule("(defrule r (a ?x) => (t-log ?x) (return 1) (t-log never))");
  r->Fire(t.Match({t.Fact("(a 5)", 1)}));
  EXPECT_EQ(Logged, std::vector<std::string>{"5"});
  EXPECT_FALSE(t.E.GetContext()->GetReturnValueSet());
  // A host's OnFire may stop the actions before they start.
  Logged.clear();
  r->OnFire = [](TRule*, TKbContext* Context) { Context->SetReturnValue(FCTrue); };
  r->Fire(t.Match({t.Fact("(a 5)", 1)}));
  EXPECT_TRUE(Logged.empty());
  // An error passes on; the context is gone all the same.
  auto bad = t.Rule("(defrule bad (a ?x) => (t-log ?x) (no-such-function))");
  EXPECT_EQ(ErrorOf([&] { bad->Fire(t.Match({t.Fact("(a 6)", 2)})); }),
            "Function is unimplemented or unassigned: no-such-function");
  EXPECT_EQ(t.E.GetContext()->FindBinding("x"), nullptr);
  TRule loose(nullptr);
  EXPECT_EQ(ErrorOf([&] { loose.Fire(IReteToken()); }), "Unknown/Undefined Deducer");
}

TEST(Rule, FiringsInsideAFiringKeepEachMatch) {
  TRuleFixture t;
  auto r = t.Rule("(defrule r (a ?x) => (t-log outer ?x) (bind ?x (* ?x 10)) (t-log ?x))");
  // The host fires the rule again from inside its firing: each firing
  // sees its own match, and the outer one's values survive the inner one.
  int depth = 0;
  r->OnFire = [&](TRule* Sender, TKbContext*) {
    if (depth++ == 0) Sender->Fire(t.Match({t.Fact("(a 2)", 2)}));
  };
  r->Fire(t.Match({t.Fact("(a 1)", 1)}));
  EXPECT_EQ(Logged, (std::vector<std::string>{"outer 2", "20", "outer 1", "10"}));
  // The next firing starts from the match, not from what the last one bound.
  Logged.clear();
  r->OnFire = nullptr;
  r->Fire(t.Match({t.Fact("(a 3)", 3)}));
  EXPECT_EQ(Logged, (std::vector<std::string>{"outer 3", "30"}));
  EXPECT_EQ(t.E.GetContext()->FindBinding("x"), nullptr);
}

TEST(Rule, RulesSharingTheirActionsEachReadTheirOwnMatch) {
  TRuleFixture t;
  // The second rule takes the first one's calls (shared, not copied): its
  // variables lie elsewhere in its frame, so the positions the first rule
  // noted in the calls do not fit it, and the other way round.
  auto a = t.Rule("(defrule a (a ?x ?y) => (t-log ?x ?y (+ ?y 1)))");
  auto b = t.Rule("(defrule b (b ?y) (c ?z ?x) => (t-log first))");
  b->SetActions(a->GetActions());
  ASSERT_EQ(b->GetActions().Get(0).get(), a->GetActions().Get(0).get());
  for (int round = 0; round < 2; ++round) {
    a->Fire(t.Match({t.Fact("(a 1 2)", 1)}));
    b->Fire(t.Match({t.Fact("(b 20)", 2), t.Fact("(c 0 10)", 3)}));
  }
  EXPECT_EQ(Logged, (std::vector<std::string>{"1 2 3", "10 20 21", "1 2 3", "10 20 21"}));
}

TEST(Rule, ARuleChangedWhileFiringKeepsItsValues) {
  TRuleFixture t;
  auto r = t.Rule("(defrule r (a ?x) (b ?y) => (t-log ?x ?y))");
  // Patterns taken out while the rule fires: the firing still reads the
  // values it was matched with.
  r->OnFire = [&](TRule* Sender, TKbContext*) { Sender->GetPatterns().Delete(0); };
  r->Fire(t.Match({t.Fact("(a 1)", 1), t.Fact("(b 2)", 2)}));
  EXPECT_EQ(Logged, std::vector<std::string>{"1 2"});
}

TEST(Rule, ARuleMayDeleteItselfWhileFiring) {
  TRuleFixture t;
  t.E.Parse("(defrule r (a ?x) => (t-log ?x))");
  TRule* r = t.E.Rules().Get("r");
  ASSERT_NE(r, nullptr);
  r->OnFire = [](TRule* Sender, TKbContext*) {
    EngineOf(Sender->GetEngine())->Rules().Remove(Sender->GetRuleName());
  };
  r->Fire(t.Match({t.Fact("(a 1)", 1)}));
  EXPECT_FALSE(t.E.Rules().Contains("r"));
  EXPECT_EQ(Logged, std::vector<std::string>{"1"});
}

// The actions of a rule reach the globals they name through the rule's
// frame, and read and bind what the lookup by name would: a global
// redefined, removed or made anew between firings or while the rule fires,
// or one that does not exist.
TEST(Rule, ActionsReachGlobalsAsTheyStandNow) {
  TRuleFixture t;
  t.E.AddUserFunction(IUserFunction(new TTestGlobalFunction()));
  TKbContext& root = *t.E.GetContext();
  t.E.Parse("(defglobal ?*g* = 1)");
  auto r = t.Rule("(defrule r (a ?x) => (bind ?*g* (+ ?*g* ?x)) (t-log ?*g*))");
  r->Fire(t.Match({t.Fact("(a 1)", 1)}));
  t.E.Parse("(defglobal ?*g* = 10)");
  r->Fire(t.Match({t.Fact("(a 1)", 1)}));
  root.GetBindings().Remove("*g*");
  t.E.Parse("(defglobal ?*g* = 100)");
  r->Fire(t.Match({t.Fact("(a 1)", 1)}));
  EXPECT_EQ(Logged, (std::vector<std::string>{"2", "11", "101"}));
  EXPECT_EQ(root.GetVariable("*g*")->GetAsInteger(), 101);

  // Removed while the rule fires: binding it then binds a variable of the
  // firing, gone when it ends; read once removed, it is unknown.
  Logged.clear();
  auto d = t.Rule("(defrule d (a ?x) => (t-log ?*g*) (t-global *g*) (bind ?*g* ?x) (t-log ?*g*))");
  d->Fire(t.Match({t.Fact("(a 5)", 2)}));
  EXPECT_EQ(Logged, (std::vector<std::string>{"101", "5"}));
  EXPECT_EQ(root.FindBinding("*g*"), nullptr);
  EXPECT_EQ(ErrorOf([&] { r->Fire(t.Match({t.Fact("(a 1)", 1)})); }),
            "Corrupted Binding, variable not found: *g*");
  auto gone = t.Rule("(defrule gone (a ?x) => (t-global *h* 3) (t-global *h*) (t-log ?*h*))");
  EXPECT_EQ(ErrorOf([&] { gone->Fire(t.Match({t.Fact("(a 1)", 1)})); }),
            "Corrupted Binding, variable not found: *h*");

  // Made while the rule fires, and again after the engine's globals were
  // all cleared.
  Logged.clear();
  auto made = t.Rule("(defrule made (a ?x) => (t-global *k* ?x) (t-log ?*k*) (bind ?*k* 0))");
  made->Fire(t.Match({t.Fact("(a 7)", 3)}));
  EXPECT_EQ(root.GetVariable("*k*")->GetAsInteger(), 0);
  root.Clear();
  made->Fire(t.Match({t.Fact("(a 8)", 4)}));
  EXPECT_EQ(Logged, (std::vector<std::string>{"7", "8"}));
  EXPECT_EQ(root.GetVariable("*k*")->GetAsInteger(), 0);
}

TEST(Rule, AssignCopiesWithinAndAcrossEngines) {
  TRuleFixture t;
  auto source =
      t.Rule("(defrule src \"about\" (declare (salience 3)) (not (a ?x)) (b $?y) => (t-log 1))");
  TRule copy(&t.E);
  copy.Assign(source.get());
  EXPECT_EQ(copy.GetRuleName(), "src");
  EXPECT_EQ(copy.GetComment(), "about");
  EXPECT_EQ(copy.GetSalience(), 3);
  EXPECT_EQ(copy.GetToString(), source->GetToString());
  EXPECT_EQ(Names(copy), "Initial-Fact a b");
  EXPECT_EQ(Bindings(copy), Bindings(*source));
  EXPECT_NE(copy.GetPatterns()[1], source->GetPatterns()[1]);
  // Another engine gets its own copy: patterns on its templates, calls
  // bound to it.
  TDeducer other;
  TRule there(&other);
  there.Assign(source.get());
  EXPECT_EQ(there.GetToString(), source->GetToString());
  EXPECT_EQ(there.GetPatterns()[2]->GetFactTemplate(), other.FindFactTemplate("b"));
  EXPECT_EQ(there.GetActions().Get(0)->GetReasoner(), static_cast<IReasoner*>(&other));
  EXPECT_NE(there.GetActions().Get(0), source->GetActions().Get(0));
  TRule loose(nullptr);
  EXPECT_EQ(ErrorOf([&] { loose.Assign(source.get()); }), "Unknown/Undefined Deducer");
  // Rebuilding the patterns from the rule's own list changes nothing.
  copy.SetPatterns(copy.GetPatterns());
  EXPECT_EQ(Names(copy), "Initial-Fact a b");
}
