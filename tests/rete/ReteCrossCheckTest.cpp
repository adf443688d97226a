// Randomized cross-check of rule matching: the naive reference matcher on
// cases worked out by hand, the scenario generator and its text.
//
// Environment (for longer runs by hand):
//   KB_CROSSCHECK_SEEDS=N      number of seeds (default: a moderate count)
//   KB_CROSSCHECK_FIRST=S      first seed (default 1)
//   KB_CROSSCHECK_FEATURES=..  feature changes, e.g. "-exists,-unique"
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Deducer.h"
#include "engine/DeducerRules.h"
#include "rete/ReteCrossCheck.h"

namespace kb::crosscheck {
namespace {

constexpr int NullId = 99;

// Predicate calls are evaluated by the functions of an engine of their own.
class TOracle {
 public:
  std::string operator()(const std::string& CallText) {
    IKbValue v = Engine_.ParseNExecuteFunCall(CallText);
    return v ? v->GetToString() : std::string("nil");
  }

 private:
  TDeducer Engine_;
};

class ReferenceMatcherTest : public ::testing::Test {
 protected:
  void Load(const std::string& Text) {
    Kb = ParseKnowledgeBase(Text);
    Ref =
        std::make_unique<TReferenceMatcher>(Kb, [this](const std::string& t) { return Oracle(t); });
    for (size_t r = 0; r < Kb.Rules.size(); ++r) Ref->AddRule(static_cast<int>(r));
    Ref->Reset();
  }
  int Assert(const std::string& Fact) { return Ref->Assert(ParseFact(Kb, Fact)); }
  int Retract(const std::string& Fact) { return Ref->Retract(ParseFact(Kb, Fact)); }
  std::vector<std::string> Agenda() { return Ref->Activations(NullId); }

  TOracle Oracle;
  TKnowledgeBase Kb;
  std::unique_ptr<TReferenceMatcher> Ref;
};

using Strings = std::vector<std::string>;

TEST_F(ReferenceMatcherTest, JoinsOnSharedVariablesAndNumbersFactsLikeTheEngine) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot y))
          (defrule r (a (x ?v)) (b (y ?v)) =>))");
  EXPECT_EQ(Assert("(a (x 1))"), 1);
  EXPECT_EQ(Assert("(b (y 1))"), 2);
  EXPECT_EQ(Assert("(b (y 2))"), 3);
  EXPECT_EQ(Assert("(a (x 2))"), 4);
  EXPECT_EQ(Agenda(), (Strings{"r : f-1, f-2", "r : f-4, f-3"}));
  EXPECT_EQ(Assert("(a (x 2))"), -1);  // an equal fact is present
  EXPECT_EQ(Retract("(b (y 1))"), 2);
  EXPECT_EQ(Retract("(b (y 1))"), -1);
  EXPECT_EQ(Agenda(), (Strings{"r : f-4, f-3"}));
  EXPECT_EQ(Assert("(b (y 1))"), 5);  // identifiers are not reused
  EXPECT_EQ(Agenda(), (Strings{"r : f-1, f-5", "r : f-4, f-3"}));
  Ref->Reset();
  EXPECT_EQ(Agenda(), Strings{});
  EXPECT_EQ(Assert("(a (x 7))"), 1);
}

TEST_F(ReferenceMatcherTest, NegationSeesEarlierBindingsAndStartsWithTheInitialFact) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot y))
          (defrule n (a (x ?v)) (not (b (y ?v))) =>)
          (defrule e (not (b (y 1))) =>)
          (defrule t (test (> 2 1)) =>)
          (defrule empty =>))");
  EXPECT_EQ(Agenda(), (Strings{"e : f-0, f-99", "empty : f-0", "t : f-0, f-99"}));
  Assert("(a (x 1))");
  EXPECT_EQ(Agenda(), (Strings{"e : f-0, f-99", "empty : f-0", "n : f-1, f-99", "t : f-0, f-99"}));
  Assert("(b (y 1))");
  EXPECT_EQ(Agenda(), (Strings{"empty : f-0", "t : f-0, f-99"}));
  Assert("(a (x 2))");
  Assert("(b (y 3))");  // blocks nothing
  EXPECT_EQ(Agenda(), (Strings{"empty : f-0", "n : f-3, f-99", "t : f-0, f-99"}));
  Retract("(b (y 1))");
  EXPECT_EQ(Agenda(), (Strings{"e : f-0, f-99", "empty : f-0", "n : f-1, f-99", "n : f-3, f-99",
                               "t : f-0, f-99"}));
}

TEST_F(ReferenceMatcherTest, VariablesFirstBoundUnderNotOrExistsAreTheirPatternsOwn) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot y))
          (defrule nn (not (a (x ?v))) (not (b (y ?v))) =>)
          (defrule np (not (a (x ?v))) (b (y ?v)) =>)
          (defrule ep (exists (a (x ?v&:(> ?v 1)))) (b (y ?v)) =>))");
  EXPECT_EQ(Agenda(), (Strings{"nn : f-0, f-99, f-99"}));
  Assert("(b (y 1))");
  EXPECT_EQ(Agenda(), (Strings{"np : f-0, f-99, f-1"}));
  Assert("(a (x 2))");
  EXPECT_EQ(Agenda(), (Strings{"ep : f-0, f-99, f-1"}));
}

TEST_F(ReferenceMatcherTest, ExistsGivesOneMatchHoweverManyFactsSatisfyIt) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot y))
          (defrule x (a (x ?v)) (exists (b (y ?w&:(>= ?w ?v)))) =>))");
  Assert("(a (x 1))");
  Assert("(b (y 1))");
  Assert("(b (y 2))");
  Assert("(a (x 3))");
  EXPECT_EQ(Agenda(), (Strings{"x : f-1, f-99"}));
  Assert("(b (y 5))");
  EXPECT_EQ(Agenda(), (Strings{"x : f-1, f-99", "x : f-4, f-99"}));
}

TEST_F(ReferenceMatcherTest, MultifieldVariablesTakeEverySegment) {
  Load(R"((deftemplate d (multislot m))
          (defrule twos (o $?p 2 $?q) =>)
          (defrule last (o $?p ?z) (test (> (length$ ?p) 1)) =>)
          (defrule same (o $?p) (d (m $?p)) =>)
          (defrule none (o) =>)
          (defrule emptyslot (d (m)) =>)
          (defrule member (o $?l) (test (member$ 2 ?l)) =>))");
  Assert("(o 2 1 2)");
  EXPECT_EQ(Agenda(),
            (Strings{"last : f-1, f-99", "member : f-1, f-99", "twos : f-1", "twos : f-1"}));
  Assert("(o)");
  Assert("(d (m))");
  Assert("(d (m 2 1 2))");
  EXPECT_EQ(Agenda(),
            (Strings{"emptyslot : f-3", "last : f-1, f-99", "member : f-1, f-99", "none : f-2",
                     "same : f-1, f-4", "same : f-2, f-3", "twos : f-1", "twos : f-1"}));
}

TEST_F(ReferenceMatcherTest, ConnectivesPredicatesAndReturnValues) {
  Load(R"((deftemplate p (slot x) (slot y)) (deftemplate a (slot x)) (deftemplate b (slot y))
          (defrule c1 (p (x ?a&1|2) (y ~?a)) =>)
          (defrule c2 (p (x ?a) (y =(+ ?a 1))) =>)
          (defrule c3 (p (x ?a&~0&~3) (y ?a)) =>)
          (defrule c4 (p (x 1|~2&~3) (y ?w&:(evenp ?w))) =>)
          (defrule v (a (x ?v)) (b (y ?v|3)) =>))");
  Assert("(p (x 1) (y 1))");
  Assert("(p (x 1) (y 2))");
  Assert("(p (x 3) (y 4))");
  Assert("(p (x 2) (y 2))");
  Assert("(p (x 0) (y 0))");
  EXPECT_EQ(Agenda(), (Strings{"c1 : f-2", "c2 : f-2", "c2 : f-3", "c3 : f-1", "c3 : f-4",
                               "c4 : f-2", "c4 : f-5"}));
  Ref->Reset();
  Assert("(a (x 1))");
  Assert("(b (y 1))");
  Assert("(b (y 3))");
  Assert("(b (y 2))");
  EXPECT_EQ(Agenda(), (Strings{"v : f-1, f-2", "v : f-1, f-3"}));
}

TEST_F(ReferenceMatcherTest, RepeatedVariablesTestsBetweenPatternsAndNegatedAlternatives) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot y)) (deftemplate c (slot z))
          (defrule dup (o ?x ?x) =>)
          (defrule mid (a (x ?v)) (test (> ?v 0)) (b (y ?w)) (c (z ?u&:(> ?u ?w))) =>)
          (defrule nv (a (x ?v)) (b (y ~?v|3)) =>))");
  Assert("(o 1 2)");
  Assert("(o 2 2)");
  EXPECT_EQ(Agenda(), (Strings{"dup : f-2"}));
  Ref->Reset();
  Assert("(a (x 1))");
  Assert("(a (x 0))");
  Assert("(b (y 1))");
  Assert("(c (z 2))");
  Assert("(c (z 1))");
  EXPECT_EQ(Agenda(), (Strings{"mid : f-1, f-99, f-3, f-4", "nv : f-2, f-3"}));
  Ref->Reset();
  Assert("(a (x 3))");
  Assert("(b (y 3))");
  Assert("(b (y 1))");
  EXPECT_EQ(Agenda(), (Strings{"nv : f-1, f-2", "nv : f-1, f-3"}));
}

TEST_F(ReferenceMatcherTest, FactAddressesTestsAndUniquePromises) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot y))
          (defrule fa ?f <- (a) ?g <- (a) (test (neq ?f ?g)) =>)
          (defrule t (a (x ?v)) (test (> ?v 1)) (b) =>)
          (defrule u (a (x ?v)) (unique (b (y ?v))) =>))");
  Assert("(a (x 1))");
  Assert("(a (x 2))");
  Assert("(b (y 2))");
  EXPECT_EQ(Agenda(), (Strings{"fa : f-1, f-2, f-99", "fa : f-2, f-1, f-99", "t : f-2, f-99, f-3",
                               "u : f-2, f-3"}));
  Assert("(b (y 1))");
  EXPECT_EQ(Agenda(), (Strings{"fa : f-1, f-2, f-99", "fa : f-2, f-1, f-99", "t : f-2, f-99, f-3",
                               "t : f-2, f-99, f-4", "u : f-1, f-4", "u : f-2, f-3"}));
  EXPECT_FALSE(Ref->Excluded(2));
}

TEST_F(ReferenceMatcherTest, FactAddressesInSlotsNameTheirFacts) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot y))
          (defrule at ?f <- (a) (b (y ?f)) =>)
          (defrule off ?f <- (a) (b (y ~?f)) =>)
          (defrule back (b (y ?r)) ?r <- (a) =>)
          (defrule self ?f <- (b (y ?f)) =>))");
  Assert("(a (x 1))");
  Assert("(a (x 2))");
  Assert("(b (y <Fact-2>))");
  Assert("(b (y <Fact-4>))");
  EXPECT_EQ(Agenda(), (Strings{"at : f-2, f-3", "back : f-3, f-2", "off : f-1, f-3",
                               "off : f-1, f-4", "off : f-2, f-4", "self : f-4"}));
}

TEST_F(ReferenceMatcherTest, BrokenUniquePromiseLeavesTheRuleOut) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot y) (slot z))
          (defrule u (a (x ?v)) (unique (b (y ?v))) =>))");
  Assert("(a (x 1))");
  Assert("(b (y 1) (z 1))");
  EXPECT_EQ(Agenda(), (Strings{"u : f-1, f-2"}));
  Assert("(b (y 1) (z 2))");
  EXPECT_EQ(Agenda(), Strings{});
  EXPECT_TRUE(Ref->Excluded(0));
}

TEST(ScenarioTest, GeneratedRulesAreWellFormedAndReadBackToTheSameText) {
  for (uint64_t seed = 1; seed <= 300; ++seed) {
    TScenario s = Generate(seed, TFeatures::All());
    ASSERT_GE(s.Kb.Rules.size(), 2u);
    std::string text;
    for (const TTemplateDef& t : s.Kb.Templates)
      if (!t.Ordered) text += RenderTemplate(t) + "\n";
    for (const TRuleDef& r : s.Kb.Rules) {
      ASSERT_TRUE(WellFormed(r)) << RenderRule(s.Kb, r);
      text += RenderRule(s.Kb, r) + "\n";
    }
    TKnowledgeBase back = ParseKnowledgeBase(text);
    ASSERT_EQ(back.Rules.size(), s.Kb.Rules.size());
    for (size_t r = 0; r < back.Rules.size(); ++r)
      ASSERT_EQ(RenderRule(back, back.Rules[r]), RenderRule(s.Kb, s.Kb.Rules[r])) << seed;
    for (const TOp& op : s.Ops) {
      if (op.Kind != TOp::Assert && op.Kind != TOp::Retract) continue;
      ASSERT_EQ(RenderFact(s.Kb, ParseFact(s.Kb, RenderFact(s.Kb, op.Fact))),
                RenderFact(s.Kb, op.Fact));
    }
  }
  // The same seed gives the same scenario.
  TScenario a = Generate(42, TFeatures::All()), b = Generate(42, TFeatures::All());
  EXPECT_EQ(RenderRule(a.Kb, a.Kb.Rules[0]), RenderRule(b.Kb, b.Kb.Rules[0]));
  EXPECT_EQ(a.Ops.size(), b.Ops.size());
}

TEST(ScenarioTest, TheEngineReadsEveryGeneratedKnowledgeBase) {
  for (uint64_t seed = 1; seed <= 300; ++seed) {
    TScenario s = Generate(seed, TFeatures::All());
    TDeducer engine;
    for (const TTemplateDef& t : s.Kb.Templates) {
      if (t.Ordered) continue;
      ASSERT_TRUE(engine.Parse(RenderTemplate(t)));
    }
    for (const TRuleDef& r : s.Kb.Rules) {
      std::string text = RenderRule(s.Kb, r);
      try {
        ASSERT_TRUE(engine.Parse(text)) << text;
      } catch (const std::exception& e) {
        FAIL() << e.what() << " in\n" << text;
      }
    }
    EXPECT_EQ(engine.Rules().Count(), s.Kb.Rules.size());
  }
}

TEST(ScenarioTest, SwitchedOffFeaturesAreNotGenerated) {
  TFeatures f = TFeatures::Parse("-not, -exists, -test, -or, -multi-variable, -wildcard, -unique");
  EXPECT_EQ(f.ToString(), "all but or, not, exists, test, unique, multi-variable, wildcard");
  for (uint64_t seed = 1; seed <= 200; ++seed) {
    TScenario s = Generate(seed, f);
    for (const TRuleDef& r : s.Kb.Rules) {
      std::string text = RenderRule(s.Kb, r);
      for (const char* word : {"(not", "(exists", "(test", "|", "$?", "(unique", " ?)"})
        EXPECT_EQ(text.find(word), std::string::npos) << word << " in " << text;
    }
  }
  EXPECT_THROW(TFeatures::Parse("-nonsense"), std::invalid_argument);
  EXPECT_EQ(TFeatures::Parse("none, +not").ToString().find("not,"), std::string::npos);
}

// A stand-in for the engine made of the reference matcher itself, fed
// through the CLIPS text the runner gives an engine. Mutate changes each
// rule it reads, and ForgetRetractions drops retractions, so that it goes
// wrong in a known way.
class TReferenceEngine : public TEngineDriver {
 public:
  TReferenceEngine(TEvaluator Evaluator, std::function<void(TRuleDef&)> Mutate = {},
                   bool ForgetRetractions = false)
      : Ref_(Kb_, std::move(Evaluator)),
        Mutate_(std::move(Mutate)),
        ForgetRetractions_(ForgetRetractions) {}
  void Define(const std::string& Text) override {
    size_t first = Kb_.Rules.size();
    ParseInto(Kb_, Text);
    for (size_t r = first; r < Kb_.Rules.size(); ++r) {
      if (Mutate_) Mutate_(Kb_.Rules[r]);
      Ref_.AddRule(static_cast<int>(r));
    }
  }
  void Reset() override { Ref_.Reset(); }
  int Assert(const std::string& FactText) override {
    std::string name = FactText.substr(1, FactText.find_first_of(" )") - 1);
    bool known = false;
    for (const TTemplateDef& t : Kb_.Templates) known = known || t.Name == name;
    if (!known) Kb_.Templates.push_back({name, true, {{"__Data", true, TDomain::Int}}});
    return Ref_.Assert(ParseFact(Kb_, FactText));
  }
  void Retract(int Id) override {
    if (ForgetRetractions_) return;
    for (const TReferenceMatcher::TFact& f : Ref_.Facts())
      if (f.Id == Id) {
        Ref_.Retract(TFactDef(f.Def));
        return;
      }
  }
  std::vector<std::string> Agenda() override { return Ref_.Activations(NullFactId()); }
  int NullFactId() override { return NullId; }

 private:
  TKnowledgeBase Kb_;
  TReferenceMatcher Ref_;
  std::function<void(TRuleDef&)> Mutate_;
  bool ForgetRetractions_;
};

// A number from the environment, or Default.
uint64_t EnvNumber(const char* Name, uint64_t Default) {
  const char* v = std::getenv(Name);
  return v && *v ? std::strtoull(v, nullptr, 10) : Default;
}

TFeatures EnvFeatures(const TFeatures& Default) {
  const char* v = std::getenv("KB_CROSSCHECK_FEATURES");
  return v ? TFeatures::Parse(v, Default) : Default;
}

struct TCrossCheckResult {
  uint64_t Seeds = 0;
  uint64_t Failures = 0;
  std::string Reports;  // the first failures, shrunk and described
};

// Runs the seeds First .. First + Count - 1 with Features against engines
// made by Factory; the first MaxReports disagreements are shrunk.
TCrossCheckResult CrossCheck(const TDriverFactory& Factory, const TEvaluator& Evaluator,
                             const TFeatures& Features, uint64_t First, uint64_t Count,
                             uint64_t MaxReports = 3) {
  TCrossCheckResult r;
  for (uint64_t seed = First; seed < First + Count; ++seed) {
    TScenario s = Generate(seed, Features);
    ++r.Seeds;
    std::optional<TMismatch> m = RunScenario(s, *Factory(), Evaluator);
    if (!m) continue;
    if (r.Failures++ >= MaxReports) continue;
    TScenario small = Shrink(s, Factory, Evaluator);
    std::optional<TMismatch> sm = RunScenario(small, *Factory(), Evaluator);
    r.Reports += Describe(small, sm ? *sm : *m) + "\n";
  }
  return r;
}

class CrossCheckRunnerTest : public ::testing::Test {
 protected:
  TOracle Oracle;
  TEvaluator Evaluator = [this](const std::string& t) { return Oracle(t); };
};

TEST_F(CrossCheckRunnerTest, TheReferenceAgreesWithItselfThroughItsText) {
  TDriverFactory factory = [&] { return std::make_unique<TReferenceEngine>(Evaluator); };
  TCrossCheckResult r =
      CrossCheck(factory, Evaluator, EnvFeatures(TFeatures::All()),
                 EnvNumber("KB_CROSSCHECK_FIRST", 1), EnvNumber("KB_CROSSCHECK_SEEDS", 150));
  EXPECT_EQ(r.Failures, 0u) << r.Reports;
}

TEST_F(CrossCheckRunnerTest, AMatcherThatIgnoresNegationIsCaughtAndShrunk) {
  auto dropNot = [](TRuleDef& r) {
    std::erase_if(r.Conditions, [](const TCondition& c) { return c.Kind == TCondition::Not; });
  };
  TDriverFactory factory = [&] { return std::make_unique<TReferenceEngine>(Evaluator, dropNot); };
  uint64_t seed = 1;
  std::optional<TMismatch> m;
  TScenario s;
  for (; !m && seed < 500; ++seed) {
    s = Generate(seed, TFeatures::All());
    m = RunScenario(s, *factory(), Evaluator);
  }
  ASSERT_TRUE(m);
  TScenario small = Shrink(s, factory, Evaluator);
  // One rule of one negated pattern without constraints, and no fact.
  ASSERT_EQ(small.Kb.Rules.size(), 1u);
  ASSERT_EQ(small.Kb.Rules[0].Conditions.size(), 1u);
  EXPECT_EQ(small.Kb.Rules[0].Conditions[0].Kind, TCondition::Not);
  EXPECT_TRUE(small.Kb.Rules[0].Conditions[0].Slots.empty());
  EXPECT_TRUE(small.Ops.empty());
  std::optional<TMismatch> again = RunScenario(small, *factory(), Evaluator);
  ASSERT_TRUE(again);
  std::string name = small.Kb.Rules[0].Name;
  EXPECT_EQ(again->Missing, Strings{name + " : f-0, f-99"});
  EXPECT_EQ(again->Extra, Strings{name + " : f-0"});
  std::string text = Describe(small, *again);
  EXPECT_NE(text.find("(not ("), std::string::npos) << text;
  EXPECT_NE(text.find("EXPECT_EQ(SortedAgenda(), (std::vector<std::string>{\"" + name +
                      " : f-0, f-99\"}));"),
            std::string::npos)
      << text;
}

TEST_F(CrossCheckRunnerTest, AFactBaseThatMissesRetractionsShrinksToAssertRetractAssert) {
  TDriverFactory factory = [&] {
    return std::make_unique<TReferenceEngine>(Evaluator, nullptr, true);
  };
  std::optional<TMismatch> m;
  TScenario s;
  for (uint64_t seed = 1; !m && seed < 500; ++seed) {
    s = Generate(seed, TFeatures::All());
    m = RunScenario(s, *factory(), Evaluator);
  }
  ASSERT_TRUE(m);
  TScenario small = Shrink(s, factory, Evaluator);
  // The retracted fact is still there when an equal one is asserted again.
  ASSERT_EQ(small.Ops.size(), 3u);
  EXPECT_EQ(small.Ops[0].Kind, TOp::Assert);
  EXPECT_EQ(small.Ops[1].Kind, TOp::Retract);
  EXPECT_EQ(small.Ops[2].Kind, TOp::Assert);
  EXPECT_EQ(small.Ops[0].Fact, small.Ops[1].Fact);
  EXPECT_EQ(small.Ops[0].Fact, small.Ops[2].Fact);
  ASSERT_EQ(small.Kb.Rules.size(), 1u);
  EXPECT_TRUE(small.Kb.Rules[0].Conditions.empty());
  std::optional<TMismatch> again = RunScenario(small, *factory(), Evaluator);
  ASSERT_TRUE(again);
  std::string fact = RenderFact(small.Kb, small.Ops[0].Fact);
  EXPECT_EQ(again->Error, "asserting " + fact + " gave -1, expected 2");
  std::string text = Describe(small, *again);
  EXPECT_NE(text.find("Engine.Retract(1);"), std::string::npos) << text;
}

// Fields written <Fact-n> (read as symbols) made fact addresses.
IKbValue WithAddresses(const IKbValue& Value) {
  if (!Value) return Value;
  if (Value->GetDType() == dtAtom && Value->GetText().starts_with("<Fact-"))
    return NewFactId(
        StrToInt(std::string(Value->GetText().substr(6, Value->GetText().size() - 7))));
  if (Value->GetDType() != dtList) return Value;
  IValueVector items = NewVector();
  for (const IKbValue& v : Value->GetAsList()->Items()) items->Add(WithAddresses(v));
  return NewList(items);
}

// The engine itself, driven through its host interface.
class TDeducerEngine : public TEngineDriver {
 public:
  void Define(const std::string& Text) override { Engine_.Parse(Text); }
  void Reset() override { Engine_.Reset(); }
  int Assert(const std::string& FactText) override {
    if (FactText.find("<Fact-") == std::string::npos) return Engine_.Assert(FactText);
    IFact fact = Engine_.ParseFact(FactText);
    for (int s = 0; s < fact->GetTemplate()->GetSlotCount(); ++s)
      fact->SetValue(s, WithAddresses(fact->GetValue(s)));
    return Engine_.Assert(fact);
  }
  void Retract(int Id) override { Engine_.Retract(Id); }
  std::vector<std::string> Agenda() override {
    std::vector<std::string> r;
    for (int i = 0; i < Engine_.GetAgendaCount(); ++i) r.push_back(Engine_.GetActivationText(i));
    std::sort(r.begin(), r.end());
    return r;
  }
  int NullFactId() override { return Engine_.GetNullFact()->GetID(); }

 private:
  TDeducer Engine_;
};

TEST_F(CrossCheckRunnerTest, TheEngineAgreesWithTheReference) {
  TDriverFactory factory = [] { return std::make_unique<TDeducerEngine>(); };
  TCrossCheckResult r =
      CrossCheck(factory, Evaluator, EnvFeatures(TFeatures::All()),
                 EnvNumber("KB_CROSSCHECK_FIRST", 1), EnvNumber("KB_CROSSCHECK_SEEDS", 150));
  EXPECT_EQ(r.Failures, 0u) << r.Failures << " of " << r.Seeds << " seeds disagree\n" << r.Reports;
}

}  // namespace
}  // namespace kb::crosscheck
