// Backward chaining: which joins ask for goals, what a goal holds, how long
// it lives (withdrawn when no match waits for it any more, asserted once
// however many wait), the goal templates and the errors; and whole
// knowledge bases solved by chains of goals.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerRules.h"
#include "rete/KbRule.h"
#include "rete/ReteGoals.h"
#include "rete/ReteNetwork.h"
#include "rete/ReteNodes.h"

namespace kb {
namespace {

using Strings = std::vector<std::string>;

using kb::test::ErrorOf;

class BackChainTest : public ::testing::Test {
 protected:
  BackChainTest() {
    Engine.OnPrintOut = [this](TPersistent*, const std::string&, const std::string& Text) {
      Out += Text;
    };
  }
  void Load(const std::string& Text) { ASSERT_TRUE(Engine.Parse(Text)); }
  // The facts of a template, as text, in fact-list order.
  Strings FactsOf(const std::string& Template) {
    Strings r;
    for (int i = 0; i < Engine.Facts().Count(); ++i) {
      IFact f = Engine.Facts().Get(i);
      if (f->GetTemplate()->GetTemplateName() == Template) r.push_back(f->GetToString());
    }
    return r;
  }
  IFact FirstOf(const std::string& Template) {
    for (int i = 0; i < Engine.Facts().Count(); ++i) {
      IFact f = Engine.Facts().Get(i);
      if (f->GetTemplate()->GetTemplateName() == Template) return f;
    }
    return nullptr;
  }
  std::string Slot(const IFact& F, const std::string& Name) {
    if (!F) return "<no fact>";
    const IKbValue& v = F->GetValue(Name);
    return v->Equals(FCNil) ? "nil" : v->GetToString();
  }

  TDeducer Engine;
  std::string Out;
};

constexpr const char* Stock = R"(
  (deftemplate order (slot customer) (slot item) (multislot tags))
  (deftemplate stock (slot item) (slot count) (slot place (default shelf)) (multislot tags))
  (do-backward-chaining stock))";

TEST_F(BackChainTest, AGoalHoldsThePatternsConstantsAndEarlierBindings) {
  Load(Stock);
  Load(R"((defrule r (order (item ?i) (tags ?t $?rest))
                     (stock (item ?i) (count 5) (tags ?t x $?rest ?new)) =>))");
  Engine.Reset();
  Engine.Assert("(order (customer bob) (item nut) (tags red big heavy))");
  const IFact goal = FirstOf("need-stock");
  ASSERT_TRUE(goal);
  EXPECT_EQ(Slot(goal, "item"), "nut");
  EXPECT_EQ(Slot(goal, "count"), "5");
  // Open slots are nil, not the template's default.
  EXPECT_EQ(Slot(goal, "place"), "nil");
  // Positions in order: a variable bound earlier, a constant, the segment
  // of a multifield variable spliced in, a variable bound nowhere yet.
  const IValueVector tags = goal->GetValue("tags")->GetAsList();
  ASSERT_EQ(tags->Count(), 5);
  Strings items;
  for (const IKbValue& v : *tags) items.push_back(v->Equals(FCNil) ? "nil" : v->GetToString());
  EXPECT_EQ(items, (Strings{"red", "x", "big", "heavy", "nil"}));
  EXPECT_EQ(FactsOf("need-stock").size(), 1u);

  // An element of a multislot bound earlier gives that element; a
  // multifield variable bound nowhere gives no element.
  TDeducer& e = Engine;
  e.Parse("(clear)");
  Load(Stock);
  Load(R"((defrule r (order (tags ?first ?second)) (stock (item ?second) (tags $?any)) =>))");
  e.Reset();
  e.Assert("(order (tags a b))");
  const IFact g2 = FirstOf("need-stock");
  ASSERT_TRUE(g2);
  EXPECT_EQ(Slot(g2, "item"), "b");
  EXPECT_EQ(g2->GetValue("tags")->GetAsList()->Count(), 0);
}

TEST_F(BackChainTest, OnlyAPositiveNonExplicitPatternWithoutAMatchAsks) {
  Load(Stock);
  Load(R"((defrule positive (order (item ?i)) (stock (item ?i)) =>)
          (defrule explicit (order (customer ?c)) (explicit (stock (item ?c))) =>)
          (defrule negated (order (customer ?c)) (not (stock (item ?c))) =>)
          (defrule goal (need-stock (item ?i)) =>))");
  Engine.Reset();
  // A match that already meets its fact asks for nothing.
  Engine.Assert("(stock (item nut))");
  Engine.Assert("(order (customer ann) (item nut))");
  EXPECT_TRUE(FactsOf("need-stock").empty());
  // Without one only the positive pattern asks; the goal rule's own
  // patterns (the goal and the generated "not" on stock) ask for nothing,
  // and goals are never asked for goals.
  Engine.Assert("(order (customer bob) (item bolt))");
  EXPECT_EQ(FactsOf("need-stock"), (Strings{"(need-stock (item bolt) (place nil))"}));
  EXPECT_FALSE(Engine.FindFactTemplate("need-need-stock"));
  EXPECT_EQ(Engine.GetActivationText(0), "goal : f-0, f-4, f--1");
  // An existential pattern asks too: it needs one such fact.
  Load("(defrule some (order (customer ?c)) (exists (stock (item ?c) (count 1))) =>)");
  EXPECT_EQ(FactsOf("need-stock").size(), 3u);
}

TEST_F(BackChainTest, AGoalLastsWhileAMatchWaitsForIt) {
  Load(Stock);
  Load(R"((defrule r (order (customer ?c) (item ?i)) (stock (item ?i)) =>)
          (defrule s (order (customer ?c) (item ?i)) (stock (item ?i)) (stock (item ?c)) =>))");
  Engine.Reset();
  // Two orders of one item wait for one goal, asserted once.
  Engine.SetFactDuplication(true);
  const int32_t a = Engine.Assert("(order (customer ann) (item nut))");
  const int32_t b = Engine.Assert("(order (customer bob) (item nut))");
  Engine.SetFactDuplication(false);
  ASSERT_EQ(FactsOf("need-stock").size(), 1u);
  const TGoalTable& goals = Engine.ReteNetwork().Goals();
  const IFact nut = FirstOf("need-stock");
  // Each order waits at both rules.
  EXPECT_EQ(goals.GetNeedCount(nut.get()), 4);
  // One order leaving keeps the goal; the second takes it along.
  Engine.Retract(a);
  EXPECT_EQ(FactsOf("need-stock").size(), 1u);
  Engine.Retract(b);
  EXPECT_TRUE(FactsOf("need-stock").empty());
  EXPECT_EQ(goals.GetCount(), 0);

  // The needed fact arriving ends the wait and withdraws the goal; the
  // rule's next pattern then asks for its own fact.
  Engine.Assert("(order (customer cy) (item bolt))");
  EXPECT_EQ(FactsOf("need-stock"), (Strings{"(need-stock (item bolt) (place nil))"}));
  const int32_t bolt = Engine.Assert("(stock (item bolt) (count 3))");
  EXPECT_EQ(FactsOf("need-stock"), (Strings{"(need-stock (item cy) (place nil))"}));
  EXPECT_EQ(Engine.GetAgendaCount(), 1);
  // A rule that goes takes its goals along.
  Engine.Rules().Remove("s");
  EXPECT_TRUE(FactsOf("need-stock").empty());
  // A fact that leaves again asks for nothing: the match was met once.
  Engine.Retract(bolt);
  EXPECT_EQ(Engine.GetAgendaCount(), 0);
  EXPECT_TRUE(FactsOf("need-stock").empty());
  // Reset forgets every goal and asks again for what the new facts need.
  Engine.Reset();
  EXPECT_EQ(goals.GetCount(), 0);
  Engine.Assert("(order (customer dee) (item cog))");
  EXPECT_EQ(FactsOf("need-stock").size(), 1u);
  // A rule added later asks for what the facts already there need.
  Load("(defrule t (order (customer ?c)) (stock (item ?c)) =>)");
  EXPECT_EQ(FactsOf("need-stock").size(), 2u);
}

TEST_F(BackChainTest, QueuedGoalsFollowTheNeedWhenTheyAreProcessed) {
  Load("(deftemplate g (slot x))");
  IFactTemplate t = Engine.FindFactTemplate("g");
  TGoalTable& goals = Engine.ReteNetwork().Goals();
  // Released before its assertion ran: never asserted.
  IFact one(new TFact(t));
  one->SetValue("x", NewInteger(1));
  EXPECT_EQ(goals.Need(one), one);
  EXPECT_EQ(Engine.GetPendingAssertionCount(), 1);
  goals.Release(one);
  Engine.ProcessPendingFacts();
  EXPECT_TRUE(FactsOf("g").empty());
  EXPECT_EQ(goals.GetCount(), 0);
  // Needed again before its retraction ran: stays, the same fact.
  goals.Need(one);
  Engine.ProcessPendingFacts();
  const int32_t id = one->GetID();
  ASSERT_EQ(FactsOf("g").size(), 1u);
  goals.Release(one);
  IFact equal(new TFact(t));
  equal->SetValue("x", NewInteger(1));
  EXPECT_EQ(goals.Need(equal), one);
  Engine.ProcessPendingFacts();
  ASSERT_EQ(FactsOf("g").size(), 1u);
  EXPECT_EQ(FirstOf("g")->GetID(), id);
  // Withdrawn: only the very fact asserted for it, never an equal one of
  // the user's.
  goals.Release(one);
  Engine.ProcessPendingFacts();
  EXPECT_TRUE(FactsOf("g").empty());
  Engine.Assert("(g (x 2))");
  IFact two(new TFact(t));
  two->SetValue("x", NewInteger(2));
  goals.Need(two);
  Engine.ProcessPendingFacts();  // an equal fact is there: not asserted
  goals.Release(two);
  Engine.ProcessPendingFacts();
  EXPECT_EQ(FactsOf("g"), (Strings{"(g (x 2))"}));
}

TEST_F(BackChainTest, GoalTemplatesAndRefusals) {
  Load("(deftemplate p (slot a (default 1)) (multislot b))");
  Load("(do-backward-chaining p)");
  const IFactTemplate goal = Engine.FindFactTemplate("need-p");
  ASSERT_TRUE(goal);
  EXPECT_EQ(goal->GetComment(), "Goal seeker for p");
  EXPECT_FALSE(goal->GetParent());
  EXPECT_TRUE(goal->IsBackwardChaining());
  EXPECT_TRUE(Engine.FindFactTemplate("p")->IsBackwardChaining());
  EXPECT_EQ(goal->GetSlotNames(), (std::vector<std::string>{"a", "b"}));
  // Asked again, even where duplicates are refused, the goal template and
  // the rules on it stay.
  Load("(defrule g (need-p (a ?a)) =>)");
  Engine.SetDuplicateConstructs(dcError);
  Load("(do-backward-chaining p)");
  EXPECT_EQ(Engine.FindFactTemplate("need-p"), goal);
  EXPECT_TRUE(Engine.Rules().Get("g"));
  Engine.SetDuplicateConstructs(dcOverwrite);
  // A template defined anew stays marked and its goal follows its slots.
  Load("(deftemplate p (slot a) (slot c))");
  EXPECT_TRUE(Engine.FindFactTemplate("p")->IsBackwardChaining());
  EXPECT_EQ(Engine.FindFactTemplate("need-p")->GetSlotNames(),
            (std::vector<std::string>{"a", "c"}));

  for (const char* special : {"test", "not", "Initial-Fact"})
    EXPECT_EQ(ErrorOf([&] { Engine.Parse(std::string("(do-backward-chaining ") + special + ")"); }),
              std::string("Cannot backchain on special CEs: ") + special);
  // Templates named before the refused one are marked.
  ErrorOf([&] { Engine.Parse("(do-backward-chaining q test)"); });
  EXPECT_TRUE(Engine.FindFactTemplate("need-q"));

  // Calls in a pattern on a backward-chaining template are refused.
  EXPECT_EQ(ErrorOf([&] { Engine.Parse("(defrule bad (p (a ?x&:(> ?x 1))) =>)"); }),
            "Cannot use Function calls in backchained patterns: p");
  EXPECT_FALSE(Engine.Rules().Get("bad"));
  // A join takes only a pattern on a backward-chaining template.
  Load("(deftemplate plain (slot a)) (defrule r (plain) (p) =>)");
  TJoinNode* join = nullptr;
  for (TReteNode* n : *Engine.ReteNetwork().GetRuleNodesList(Engine.Rules().Get("r")))
    if (auto* j = dynamic_cast<TJoinNode*>(n)) join = j;
  ASSERT_TRUE(join);
  ASSERT_TRUE(join->GetPattern());
  EXPECT_EQ(join->GetPattern()->GetName(), "p");
  const TKbPattern& plain = *Engine.Rules().Get("r")->GetPatterns()[0];
  EXPECT_EQ(ErrorOf([&] { join->SetPattern(&plain, join->GetRule()); }),
            "Invalid backward chaining pattern added to the node");
}

TEST_F(BackChainTest, RulesWrittenBeforeTheMarkAskToo) {
  Load(R"((deftemplate p (slot a)) (deftemplate q (slot a))
          (defrule first (p (a 1)) =>)
          (defrule later (q (a ?x)) (p (a ?x)) =>)
          (defrule calls (q (a ?x&:(> ?x 0))) =>))");
  Engine.Reset();
  Engine.Assert("(q (a 2))");
  Load("(do-backward-chaining p)");
  // The first pattern got the initial fact in front; both rules asked.
  EXPECT_EQ(Engine.Rules().Get("first")->GetPatterns()[0]->GetName(), "Initial-Fact");
  EXPECT_EQ(FactsOf("need-p"), (Strings{"(need-p (a 1))", "(need-p (a 2))"}));
  Engine.Assert("(p (a 2))");
  EXPECT_EQ(FactsOf("need-p"), (Strings{"(need-p (a 1))"}));
  EXPECT_EQ(Engine.GetActivationText(0), "later : f-1, f-4");
  // A rule with a call on the template refuses the mark.
  EXPECT_EQ(ErrorOf([&] { Engine.Parse("(do-backward-chaining q)"); }),
            "Cannot use Function calls in backchained patterns: q");
  EXPECT_FALSE(Engine.FindFactTemplate("q")->IsBackwardChaining());
  EXPECT_FALSE(Engine.FindFactTemplate("need-q"));
}

// Whole knowledge bases through Parse, Reset and Run.
TEST_F(BackChainTest, ChainsOfGoalsRunToTheResult) {
  Load(R"(
    (deftemplate item (slot name))
    (deftemplate price (slot name) (slot value))
    (deftemplate cost (slot name) (slot base))
    (deftemplate tax (slot region) (slot rate))
    (deftemplate shop (slot region))
    (do-backward-chaining price cost tax)
    (defrule total (item (name ?n)) (price (name ?n) (value ?v))
      => (printout t ?n " " ?v crlf))
    ; The price needs a cost and the tax of the shop's region: the tax goal
    ; takes its region from a fact matched before it.
    (defrule price-of (need-price (name ?n)) (cost (name ?n) (base ?b))
                      (shop (region ?r)) (tax (region ?r) (rate ?t))
      => (assert (price (name ?n) (value (* ?b (+ 1 ?t))))))
    (defrule cost-of (need-cost (name ?n)) (base ?n ?b)
      => (printout t "cost " ?n crlf) (assert (cost (name ?n) (base ?b))))
    (defrule tax-of (need-tax (region ?r)) (rate ?r ?t)
      => (printout t "tax " ?r crlf) (assert (tax (region ?r) (rate ?t))))
    (deffacts data (shop (region north)) (base apple 2) (base pear 4)
                   (rate north 0.5) (rate south 0.25)
                   (item (name apple)) (item (name pear))))");
  Out.clear();
  Engine.Reset();
  EXPECT_EQ(Engine.Run(), 7);
  EXPECT_EQ(Out, "cost pear\r\ntax north\r\npear 6\r\ncost apple\r\napple 3\r\n");
  // Nothing is left waiting: every goal is gone.
  for (const char* t : {"need-price", "need-cost", "need-tax"})
    EXPECT_TRUE(FactsOf(t).empty()) << t;
  EXPECT_EQ(Engine.ReteNetwork().Goals().GetCount(), 0);

  // A goal that no rule can meet stays, and the rule waits.
  Out.clear();
  Engine.Assert("(item (name plum))");
  EXPECT_EQ(Engine.Run(), 0);
  EXPECT_EQ(FactsOf("need-price").size(), 1u);
  EXPECT_EQ(FactsOf("need-cost").size(), 1u);
  // The missing fact arrives: the chain completes and the goals go.
  Engine.Assert("(base plum 10)");
  EXPECT_EQ(Engine.Run(), 3);
  EXPECT_EQ(Out, "cost plum\r\nplum 15\r\n");
  EXPECT_EQ(Engine.ReteNetwork().Goals().GetCount(), 0);
}

TEST_F(BackChainTest, RecursiveGoalsEndWhereTheDataEnds) {
  // Each ancestor goal asks for the parent's ancestry: goals of equal
  // content are one, so a cycle in the data asks nothing twice.
  Load(R"(
    (deftemplate ancestor (slot of) (slot is))
    (do-backward-chaining ancestor)
    (defrule ask (query ?x ?y) (ancestor (of ?x) (is ?y)) => (printout t ?y " is an ancestor of " ?x crlf))
    (defrule direct (need-ancestor (of ?x) (is ?y)) (parent ?x ?y)
      => (assert (ancestor (of ?x) (is ?y))))
    (defrule through (need-ancestor (of ?x) (is ?y)) (parent ?x ?z) (ancestor (of ?z) (is ?y))
      => (assert (ancestor (of ?x) (is ?y))))
    (deffacts family (parent ann bob) (parent bob cy) (parent cy dee) (parent dee bob)
                     (query ann dee) (query ann eve)))");
  Out.clear();
  Engine.Reset();
  Engine.Run();
  EXPECT_EQ(Out, "dee is an ancestor of ann\r\n");
  // Eve is no ancestor: her goals stay, the loop through the data ended.
  EXPECT_FALSE(FactsOf("need-ancestor").empty());
  EXPECT_EQ(Engine.GetAgendaCount(), 0);
}

}  // namespace
}  // namespace kb
