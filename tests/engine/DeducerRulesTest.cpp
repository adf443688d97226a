#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "rete/KbRule.h"

using namespace kb;

namespace {

using kb::test::ErrorOf;

using Lines = std::vector<std::string>;

// Records the rule events of an engine as "+name", "-name", "clear".
struct TEventLog {
  explicit TEventLog(TDeducer& Engine) {
    Engine.OnAddRule = [this](TDeducer*, TRule* R) { Lines.push_back("+" + R->GetRuleName()); };
    Engine.OnRemoveRule = [this](TDeducer*, TRule* R) { Lines.push_back("-" + R->GetRuleName()); };
    Engine.OnClearRules = [this](TDeducer*) { Lines.push_back("clear"); };
  }
  std::vector<std::string> Take() {
    std::vector<std::string> r;
    r.swap(Lines);
    return r;
  }
  std::vector<std::string> Lines;
};

// Counts the rules alive, to see which ones the engine frees.
int Alive = 0;
struct TCountedRule : TRule {
  explicit TCountedRule(TComponent* Owner) : TRule(Owner) { ++Alive; }
  ~TCountedRule() override { --Alive; }
};

}  // namespace

TEST(DeducerRules, ParsedRulesJoinTheRules) {
  TDeducer e;
  TEventLog log(e);
  e.Parse("(defrule a (x) =>) (defrule b (y) => (halt))");
  EXPECT_EQ(log.Take(), (Lines{"+a", "+b"}));
  ASSERT_EQ(e.Rules().Count(), 2u);
  TRule* a = e.Rules().Get("a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->GetOwner(), &e);
  EXPECT_EQ(a->GetEngine(), &e);
  EXPECT_EQ(e.Rules().GetToString(),
            a->GetToString() + "\r\n" + e.Rules().Get("b")->GetToString() + "\r\n");
  // A rule read on its own is not installed.
  std::unique_ptr<TRule> alone(e.ParseRule("(defrule c =>)"));
  EXPECT_FALSE(e.Rules().Contains("c"));
  EXPECT_EQ(log.Take(), Lines{});
}

TEST(DeducerRules, DuplicateNamesFollowThePolicy) {
  TDeducer e;
  TEventLog log(e);
  e.Parse("(defrule r (a) =>)");
  TRule* first = e.Rules().Get("r");
  // Overwrite: the old rule goes (and is freed), the new one stays.
  e.Parse("(defrule r (b) =>)");
  EXPECT_NE(e.Rules().Get("r"), first);
  EXPECT_EQ(e.Rules().Get("r")->GetPatterns()[0]->GetName(), "b");
  EXPECT_EQ(log.Take(), (Lines{"+r", "-r", "+r"}));
  // Ignore: the new rule is not kept.
  e.SetDuplicateConstructs(dcIgnore);
  const int components = e.GetComponentCount();
  e.Parse("(defrule r (c) =>)");
  EXPECT_EQ(e.Rules().Get("r")->GetPatterns()[0]->GetName(), "b");
  EXPECT_EQ(e.GetComponentCount(), components);
  // Error: refused, nothing changes.
  e.SetDuplicateConstructs(dcError);
  EXPECT_EQ(ErrorOf([&] { e.Parse("(defrule r (d) =>)"); }),
            "Duplicate Rules defined with same name: \"r\"");
  EXPECT_EQ(e.Rules().Get("r")->GetPatterns()[0]->GetName(), "b");
  EXPECT_EQ(e.GetComponentCount(), components);
  EXPECT_EQ(log.Take(), Lines{});
}

TEST(DeducerRules, RenamingMovesTheRule) {
  TDeducer e;
  e.Parse("(defrule a (x) =>) (defrule b (y) =>)");
  TEventLog log(e);
  TRule* a = e.Rules().Get("a");
  a->SetRuleName("c");
  EXPECT_EQ(e.Rules().Get("c"), a);
  EXPECT_FALSE(e.Rules().Contains("a"));
  EXPECT_EQ(log.Take(), (Lines{"+c", "-c"}));
  EXPECT_FALSE(e.GetUpdatingHT());
  // Onto a name in use: refused before anything changes.
  EXPECT_EQ(ErrorOf([&] { a->SetRuleName("b"); }), "Duplicate Rules defined with same name: \"b\"");
  EXPECT_EQ(a->GetRuleName(), "c");
  EXPECT_EQ(e.Rules().Get("c"), a);
  EXPECT_NE(e.Rules().Get("b"), a);
  EXPECT_EQ(log.Take(), Lines{});
}

TEST(DeducerRules, RemovedRulesAreFreedWhenTheEngineOwnsThem) {
  Alive = 0;
  TDeducer e;
  auto* owned = new TCountedRule(&e);
  owned->SetRuleName("owned");
  e.Rules().Add(owned);
  TCountedRule hosted(nullptr);
  hosted.SetRuleName("hosted");
  hosted.SetEngine(&e);
  EXPECT_TRUE(e.Rules().Contains("hosted"));
  EXPECT_EQ(Alive, 2);
  e.Rules().Remove("owned");
  EXPECT_EQ(Alive, 1);
  // Clear frees the engine's rules only, and restarts the identifiers.
  auto* another = new TCountedRule(&e);
  e.Rules().Add(another);
  EXPECT_GT(e.GetNextRuleId(), 0);
  e.Rules().Clear();
  EXPECT_EQ(Alive, 1);
  EXPECT_EQ(e.Rules().Count(), 0u);
  EXPECT_EQ(e.GetNextRuleId(), 0);
  // A rule that goes away leaves the rules.
  {
    TCountedRule brief(nullptr);
    brief.SetRuleName("brief");
    brief.SetEngine(&e);
    EXPECT_TRUE(e.Rules().Contains("brief"));
  }
  EXPECT_FALSE(e.Rules().Contains("brief"));
}

TEST(DeducerRules, RulesMoveBetweenEnginesWithoutBeingFreed) {
  Alive = 0;
  TDeducer one, two;
  auto* r = new TCountedRule(&one);
  r->SetRuleName("r");
  one.Rules().Add(r);
  r->SetEngine(&two);
  EXPECT_EQ(Alive, 1);
  EXPECT_FALSE(one.Rules().Contains("r"));
  EXPECT_EQ(two.Rules().Get("r"), r);
  EXPECT_EQ(r->GetEngine(), &two);
  EXPECT_EQ(r->GetRuleId(), 0);
  // Its owner is still the first engine, which frees it as it goes; the
  // second engine hears of it.
}

TEST(DeducerRules, RulesOfARemovedTemplateGo) {
  TDeducer e;
  e.Parse("(deftemplate person (slot name))");
  e.Parse("(defrule uses (a) (not (person (name x))) =>) (defrule other (a) =>)");
  TEventLog log(e);
  e.FactTemplates().Remove("person");
  EXPECT_EQ(log.Take(), Lines{"-uses"});
  EXPECT_FALSE(e.Rules().Contains("uses"));
  EXPECT_TRUE(e.Rules().Contains("other"));
  // All templates going takes every rule.
  e.FactTemplates().Clear();
  EXPECT_EQ(e.Rules().Count(), 0u);
  EXPECT_EQ(log.Take(), Lines{"clear"});
}

TEST(DeducerRules, InitialFactPatternFollowsItsTemplate) {
  TDeducer e;
  TKbPattern& p = e.InitialFactPattern();
  EXPECT_EQ(p.GetName(), "Initial-Fact");
  EXPECT_TRUE(p.IsGenerated());
  EXPECT_EQ(p.GetFactTemplate(), e.FindFactTemplate("Initial-Fact"));
  EXPECT_EQ(&e.InitialFactPattern(), &p);
  // The templates are made again: so is the pattern.
  e.FactTemplates().Clear();
  e.CreateImpliedTemplates();
  EXPECT_EQ(e.InitialFactPattern().GetFactTemplate(), e.FindFactTemplate("Initial-Fact"));
  e.Parse("(defrule r (not (a)) =>)");
  EXPECT_EQ(e.Rules().Get("r")->GetPatterns()[0]->GetFactTemplate(),
            e.FindFactTemplate("Initial-Fact"));
}

TEST(DeducerRules, TextOfRulesAndPatterns) {
  TDeducer e;
  e.Parse("(defrule r (a ?x) (not (b ?x)) => (printout t ?x))");
  TRule* r = e.Rules().Get("r");
  EXPECT_EQ(e.PrettyPrint(*r),
            "(defrule r\r\n    \"\"\r\n    (declare (salience 0))\r\n    (a ?x)\r\n    (not (b ?x))"
            "\r\n    =>\r\n    (printout t ?x))");
  EXPECT_EQ(e.PrettyPrint(*r->GetPatterns()[1]), "(not (b ?x))");
}
