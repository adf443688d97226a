// The Rete network: how rules are compiled (sharing, use counts, the
// compilation text, where tests go) and how tokens flow through joins,
// negations, test elements, multifield segments and terminal nodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerRules.h"
#include "rete/KbRule.h"
#include "rete/ReteActivations.h"
#include "rete/ReteMemories.h"
#include "rete/ReteNetwork.h"
#include "rete/ReteNodes.h"

namespace kb {
namespace {

using Strings = std::vector<std::string>;
using kb::test::ErrorOf;

// Count copies of Item, separated by Between.
std::string Repeat(const std::string& Item, int Count, const std::string& Between) {
  std::string r;
  for (int i = 0; i < Count; ++i) r += (i ? Between : "") + Item;
  return r;
}

class ReteNetworkTest : public ::testing::Test {
 protected:
  void Load(const std::string& Text) { ASSERT_TRUE(Engine.Parse(Text)); }
  // The agenda in order.
  Strings Agenda() {
    Strings r;
    for (int i = 0; i < Engine.GetAgendaCount(); ++i) r.push_back(Engine.GetActivationText(i));
    return r;
  }
  Strings Sorted() {
    Strings r = Agenda();
    std::sort(r.begin(), r.end());
    return r;
  }
  TRule* Rule(const std::string& Name) { return Engine.Rules().Get(Name); }
  const std::vector<TReteNode*>& Nodes(const std::string& Rule) {
    return *Engine.ReteNetwork().GetRuleNodesList(this->Rule(Rule));
  }
  template <class T>
  std::vector<T*> NodesOf(const std::string& RuleName) {
    std::vector<T*> r;
    for (TReteNode* n : Nodes(RuleName))
      if (auto* t = dynamic_cast<T*>(n)) r.push_back(t);
    return r;
  }

  TDeducer Engine;
};

TEST_F(ReteNetworkTest, SharedNodesCountTheirRulesAndOutliveOneOfThem) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot y))
          (defrule r1 (a (x 1)) (b (y ?v)) =>)
          (defrule r2 (a (x 1)) (b (y ?v)) =>))");
  EXPECT_EQ(Rule("r1")->GetCompileTrace(), "r1: +1+1+1+2+t");
  EXPECT_EQ(Rule("r2")->GetCompileTrace(), "r2: =1=1=1=2+t");
  const std::vector<TReteNode*> r1 = Nodes("r1");
  ASSERT_EQ(r1.size(), 5u);
  for (size_t i = 0; i + 1 < r1.size(); ++i) EXPECT_EQ(r1[i]->GetRuleUseCount(), 2) << i;
  EXPECT_EQ(r1.back()->GetRuleUseCount(), 1);
  const int before = Engine.ReteNetwork().GetNodeCount();
  Engine.Rules().Remove("r1");
  EXPECT_EQ(Engine.ReteNetwork().GetNodeCount(), before - 1);
  for (size_t i = 0; i + 1 < r1.size(); ++i) EXPECT_EQ(r1[i]->GetRuleUseCount(), 1) << i;
  Engine.Assert("(a (x 1))");
  Engine.Assert("(b (y 2))");
  EXPECT_EQ(Agenda(), (Strings{"r2 : f-1, f-2"}));
}

TEST_F(ReteNetworkTest, WhereEachKindOfTestIsCompiled) {
  Load(R"((deftemplate p (slot x) (slot y) (multislot m))
          (defrule single (p (x 1)) =>)
          (defrule twice (p (x ?v) (y ?v)) =>)
          (defrule differ (p (x ?v) (y ~?v)) =>)
          (defrule segments (p (m 1 $?mid 2)) =>)
          (defrule own (p (x ?v) (y ?w&:(> ?w ?v))) =>)
          (defrule other (p (x ?v)) (p (y ?w&:(> ?w ?v))) =>))");
  // One positive pattern: no join, the terminal hangs on the last test.
  EXPECT_EQ(NodesOf<TJoinNode>("single").size(), 0u);
  auto kinds = [&](const std::string& R) {
    std::vector<TPatternMatchTest> k;
    for (TPatternMatchNode* n : NodesOf<TPatternMatchNode>(R))
      k.push_back(n->GetPatternMatchTest());
    return k;
  };
  EXPECT_EQ(kinds("twice"),
            (std::vector<TPatternMatchTest>{pmtTestClassType, pmtTestSlotValueEqual}));
  EXPECT_EQ(kinds("differ"),
            (std::vector<TPatternMatchTest>{pmtTestClassType, pmtTestSlotValueNotEqual}));
  // After the class test: the segments at position 1, the length of the
  // cut list, then the constants at positions 0 and 2.
  EXPECT_EQ(kinds("segments"),
            (std::vector<TPatternMatchTest>{pmtTestClassType, pmtTestMultiSlotMultiField,
                                            pmtTestMultiSlotLength, pmtTestMultiSlotEqual,
                                            pmtTestMultiSlotEqual}));
  EXPECT_EQ(NodesOf<TPatternMatchNode>("segments")[2]->GetArgs()[1], TVariant(3));
  // A predicate on the pattern's own variables is a one-fact test; one on
  // an earlier pattern's variable is a test of the join.
  EXPECT_EQ(kinds("own").back(), pmtTestEqual);
  EXPECT_EQ(NodesOf<TPatternMatchNode>("own").back()->GetValue()->GetDType(), dtFunCall);
  ASSERT_EQ(NodesOf<TJoinNode>("other").size(), 1u);
  EXPECT_EQ(NodesOf<TJoinNode>("other")[0]->GetTestCount(), 1);
  Engine.Assert("(p (x 1) (y 2) (m 1 2))");
  Engine.Assert("(p (x 3) (y 3) (m 1 7 8 2))");
  EXPECT_EQ(Sorted(), (Strings{"differ : f-1", "other : f-1, f-1", "other : f-1, f-2", "own : f-1",
                               "segments : f-1", "segments : f-2", "single : f-1", "twice : f-2"}));
}

TEST_F(ReteNetworkTest, JoinsMeetOnlyMatchingPartialMatches) {
  Load(R"((deftemplate a (slot x) (slot y)) (deftemplate b (slot x) (slot y))
          (defrule r (a (x ?x) (y ?y)) (b (x ?x) (y ?y)) =>))");
  // The second fact's pattern first: nothing yet.
  Engine.Assert("(b (x 1) (y 2))");
  EXPECT_EQ(Agenda(), Strings{});
  Engine.Assert("(a (x 1) (y 3))");
  Engine.Assert("(a (x 1) (y 2))");
  Engine.Assert("(b (x 1) (y 3))");
  Engine.Assert("(b (x 2) (y 3))");
  EXPECT_EQ(Sorted(), (Strings{"r : f-2, f-4", "r : f-3, f-1"}));
  // Retraction withdraws exactly the activations holding the fact.
  Engine.Retract(2);
  EXPECT_EQ(Agenda(), (Strings{"r : f-3, f-1"}));
  Engine.Retract(1);
  EXPECT_EQ(Agenda(), Strings{});
}

TEST_F(ReteNetworkTest, NegationCountsItsBlockersOnTheStoredMatch) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot x))
          (defrule n (a (x ?v)) (not (b (x ?v))) =>))");
  Engine.Assert("(a (x 1))");
  EXPECT_EQ(Agenda(), (Strings{"n : f-1, f--1"}));
  Engine.Assert("(b (x 1))");
  Engine.Assert("(b (x 1))");  // an equal fact: refused
  Engine.SetFactDuplication(true);
  Engine.Assert("(b (x 1))");
  EXPECT_EQ(Agenda(), Strings{});
  Engine.Retract(2);
  EXPECT_EQ(Agenda(), Strings{});  // still blocked by f-3
  // A partial match that arrives while blocked keeps its count too.
  Engine.Assert("(a (x 1))");
  Engine.Retract(3);
  EXPECT_EQ(Sorted(), (Strings{"n : f-1, f--1", "n : f-4, f--1"}));
  Engine.Retract(1);
  EXPECT_EQ(Agenda(), (Strings{"n : f-4, f--1"}));
}

TEST_F(ReteNetworkTest, ExistsTracksEachPartialMatchOnItsOwn) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot x))
          (defrule e (a (x ?v)) (exists (b (x ?v))) =>))");
  EXPECT_EQ(NodesOf<TJoinNode>("e").size(), 1u);
  EXPECT_EQ(NodesOf<TJoinNode>("e")[0]->GetMode(), jmExists);
  Engine.Assert("(a (x 1))");
  Engine.Assert("(a (x 2))");
  Engine.Assert("(b (x 1))");
  Engine.Assert("(b (x 1) )");
  EXPECT_EQ(Agenda(), (Strings{"e : f-1, f--1"}));
  Engine.SetFactDuplication(true);
  Engine.Assert("(b (x 1))");
  EXPECT_EQ(Agenda(), (Strings{"e : f-1, f--1"}));
  Engine.Retract(3);
  EXPECT_EQ(Agenda(), (Strings{"e : f-1, f--1"}));
  Engine.Retract(4);
  EXPECT_EQ(Agenda(), Strings{});
}

TEST_F(ReteNetworkTest, ATestElementKeepsItsPlaceSoLaterPatternsBindTheirOwnFacts) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot y)) (deftemplate c (slot z))
          (deftemplate out (slot v))
          (defrule t (a (x ?x)) (test (> ?x 0)) (b (y ?y)) (c (z ?z&:(> ?z ?y)))
            => (assert (out (v (+ (* 100 ?x) (* 10 ?y) ?z))))))");
  Engine.Assert("(a (x 1))");
  Engine.Assert("(a (x 0))");
  Engine.Assert("(b (y 2))");
  Engine.Assert("(c (z 3))");
  Engine.Assert("(c (z 1))");
  EXPECT_EQ(Agenda(), (Strings{"t : f-1, f--1, f-3, f-4"}));
  Engine.Run();
  EXPECT_GE(Engine.Facts().FindFact(Engine.ParseFact("(out (v 123))")), 0);
}

TEST_F(ReteNetworkTest, ATestElementLastMakesActivationsWithItsPlaceKept) {
  // The test node hands its match straight to the terminal node, which
  // adds the test's place: the activation has every fact, goes with either
  // fact it was made from, and binds its variables when it fires.
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot y)) (deftemplate out (slot v))
          (defrule last ?f <- (a (x ?x)) (b (y ?y)) (test (< ?x ?y))
            => (retract ?f) (assert (out (v (+ (* 10 ?x) ?y))))))");
  Engine.Assert("(a (x 1))");
  Engine.Assert("(a (x 5))");
  Engine.Assert("(b (y 3))");
  EXPECT_EQ(Agenda(), (Strings{"last : f-1, f-3, f--1"}));
  const std::vector<TPatternMatchTerminalNode*> ends = NodesOf<TPatternMatchTerminalNode>("last");
  ASSERT_EQ(ends.size(), 1u);
  EXPECT_EQ(ends[0]->GetActivationCount(), 1);
  EXPECT_EQ(ends[0]->GetActivation(0)->GetToken()->GetCount(), 3);
  Engine.Retract(3);
  EXPECT_EQ(Agenda(), Strings{});
  Engine.Assert("(b (y 4))");
  EXPECT_EQ(Agenda(), (Strings{"last : f-1, f-4, f--1"}));
  Engine.Run();
  EXPECT_EQ(Agenda(), Strings{});
  EXPECT_GE(Engine.Facts().FindFact(Engine.ParseFact("(out (v 14))")), 0);
  EXPECT_LT(Engine.Facts().FindFact(Engine.ParseFact("(a (x 1))")), 0);
}

TEST_F(ReteNetworkTest, SegmentsOfOneFactAreDifferentMatches) {
  Load(R"((deftemplate hit (multislot before) (multislot after))
          (defrule m (o $?b 3 $?a) => (assert (hit (before ?b) (after ?a)))))");
  Engine.Assert("(o 1 3 2 3)");
  EXPECT_EQ(Agenda(), (Strings{"m : f-1", "m : f-1"}));
  Engine.Run();
  EXPECT_GE(Engine.Facts().FindFact(Engine.ParseFact("(hit (before 1) (after 2 3))")), 0);
  EXPECT_GE(Engine.Facts().FindFact(Engine.ParseFact("(hit (before 1 3 2) (after))")), 0);
  // Both segments leave with the fact.
  Engine.Assert("(o 3 3)");
  EXPECT_EQ(Engine.GetAgendaCount(), 2);
  Engine.Retract(4);
  EXPECT_EQ(Engine.GetAgendaCount(), 0);
}

TEST_F(ReteNetworkTest, ManyMultifieldTermsCutEachListOnceInOrder) {
  // Every way of sharing the fields out is one match, made one after
  // another: the first term's segment longest first.
  Load(R"((defrule three (o $?a $?b $?c) => (printout t ?a "|" ?b "|" ?c crlf)))");
  Engine.Assert("(o 1 2)");
  EXPECT_EQ(Engine.GetAgendaCount(), 6);
  std::string out;
  Engine.OnPrintOut = [&out](TPersistent*, const std::string&, const std::string& Text) {
    out += Text;
  };
  Engine.Run();
  EXPECT_EQ(out,
            "()|()|(1 2)\r\n()|(1)|(2)\r\n()|(1 2)|()\r\n(1)|()|(2)\r\n(1)|(2)|()\r\n"
            "(1 2)|()|()\r\n");
  // Many terms with nothing between them: one match per place of the one
  // field, each made once.
  Load("(defrule wild (w " + Repeat("$?", 300, " ") + ") =>)");
  Engine.Assert("(w x)");
  EXPECT_EQ(Engine.GetAgendaCount(), 300);
}

TEST_F(ReteNetworkTest, AFactWithTooManyWaysToMatchIsRefusedAndLeavesNothing) {
  Load(R"((defrule few (o $?a 1 $?b) =>) (defrule many (o $? $? $? $? $?) =>))");
  // C(24, 4) = 10626 ways: fine.
  EXPECT_GE(Engine.Assert("(o " + Repeat("1", 20, " ") + ")"), 0);
  EXPECT_EQ(Engine.GetAgendaCount(), 20 + 10626);
  // C(64, 4) = 635376 ways: the assertion is refused and taken back.
  const std::string fact = "(o " + Repeat("2", 60, " ") + ")";
  EXPECT_EQ(ErrorOf([&] { Engine.Assert(fact); }),
            "Fact f-2 matches the multifield terms of a pattern in more than 100000 ways");
  EXPECT_EQ(Engine.Facts().FindFact(Engine.ParseFact(fact)), -1);
  EXPECT_EQ(Engine.GetAgendaCount(), 20 + 10626);
  Engine.Retract(1);
  EXPECT_EQ(Engine.GetAgendaCount(), 0);
  // A rule that would cut a fact already there too often is refused.
  Load(R"((defrule few2 (p $?a 1 $?b) =>))");
  Engine.Assert("(p " + Repeat("3", 60, " ") + ")");
  EXPECT_NE(ErrorOf([&] {
              Engine.Parse("(defrule many2 (p $? $? $? $? $?) =>)");
            }).find("in more than 100000 ways"),
            std::string::npos);
  EXPECT_EQ(Engine.Rules().Get("many2"), nullptr);
  EXPECT_EQ(Engine.GetAgendaCount(), 0);
}

TEST_F(ReteNetworkTest, LongPatternsAndRulesMatchUpToTheirLimitsAndAreRefusedPast) {
  // A chain of as many one-fact tests as a pattern may hold, and a rule of
  // as many joins as it may hold: neither recurses too deeply to match.
  Load("(defrule terms (a " + Repeat("~1", MaxPatternTests - 1, "&") + "&2) =>)");
  Engine.Assert("(a 2)");
  EXPECT_EQ(Agenda(), Strings{"terms : f-1"});
  std::string patterns;
  for (int i = 0; i < MaxRulePatterns; ++i) patterns += "(p" + IntToStr(i) + " ?x) ";
  Load("(defrule joins " + patterns + "=>)");
  for (int i = 0; i < MaxRulePatterns; ++i) Engine.Assert("(p" + IntToStr(i) + " 7)");
  EXPECT_EQ(Engine.GetAgendaCount(), 2);
  // One more is refused where it is read.
  EXPECT_NE(ErrorOf([&] {
              Engine.Parse("(defrule more (a " + Repeat("~1", MaxPatternTests, "&") + "&2) =>)");
            }).find("A pattern holds more than 1000 constraint terms in ParsePattern"),
            std::string::npos);
  EXPECT_NE(ErrorOf([&] {
              Engine.Parse("(defrule more " + patterns + "(q) =>)");
            }).find("A rule holds more than 1000 patterns in ParseRule"),
            std::string::npos);
  EXPECT_EQ(Engine.Rules().Get("more"), nullptr);
  // A pattern grown past the limit by the host is refused when compiled.
  TRule* terms = Rule("terms");
  TKbPattern& p = *terms->GetPatterns()[0];
  EXPECT_EQ(ErrorOf([&] { p.AddTest(SDefaultSlotName, NewInteger(3), 0, true, true); }),
            "A pattern holds more than 1000 constraint terms");
}

TEST_F(ReteNetworkTest, AUniqueJoinTakesTheFirstFactThatStays) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot x) (slot n))
          (defrule u (a (x ?v)) (unique (b (x ?v))) =>)
          (defrule n (not (b (x 0))) (unique (b (x 2))) =>))");
  Engine.Assert("(b (x 1) (n 1))");
  Engine.Assert("(b (x 1) (n 2))");
  Engine.Assert("(a (x 1))");
  EXPECT_EQ(Sorted(), (Strings{"u : f-3, f-1"}));
  // A retraction that unblocks a negation while the retracted fact is still
  // in a later join's memory: the unique join passes over it.
  Engine.Assert("(b (x 0) (n 0))");
  Engine.Assert("(b (x 2) (n 1))");
  Engine.Assert("(b (x 2) (n 2))");
  EXPECT_EQ(Sorted(), (Strings{"u : f-3, f-1"}));
  Engine.Retract(4);
  EXPECT_EQ(Sorted(), (Strings{"n : f-0, f--1, f-5", "u : f-3, f-1"}));
}

TEST_F(ReteNetworkTest, ARuleAddedLaterSeesEveryExistingMatchEvenThroughASharedJoin) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot x)) (deftemplate c (slot x))
          (defrule old (a (x ?v)) (b (x ?v)) =>))");
  Engine.Assert("(a (x 1))");
  Engine.Assert("(b (x 1))");
  Engine.Assert("(c (x 1))");
  Engine.Assert("(a (x 2))");
  Engine.Assert("(c (x 2))");
  Load(R"((defrule late (a (x ?v)) (b (x ?v)) (c (x ?v)) =>)
          (defrule neg (a (x ?v)) (b (x ?v)) (not (c (x 3))) =>))");
  EXPECT_EQ(Rule("late")->GetCompileTrace(), "late: =1=1+1=2+2+t");
  EXPECT_EQ(Sorted(), (Strings{"late : f-1, f-2, f-3", "neg : f-1, f-2, f--1", "old : f-1, f-2"}));
  // The older rule saw nothing again.
  Engine.Assert("(b (x 2))");
  EXPECT_EQ(Sorted(),
            (Strings{"late : f-1, f-2, f-3", "late : f-4, f-6, f-5", "neg : f-1, f-2, f--1",
                     "neg : f-4, f-6, f--1", "old : f-1, f-2", "old : f-4, f-6"}));
}

TEST_F(ReteNetworkTest, WithdrawalsFollowTheOrderInWhichTheJoinsMadeTheirMatches) {
  // Each retraction withdraws the activations made from the fact in the
  // order the joins made them: stored matches in arrival order, and for
  // each the join's children in edge order, also for a rule added later
  // whose node hangs on a shared join.
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot x)) (deftemplate c (slot x))
          (defrule r1 (a (x ?v)) (b (x ?v)) (c (x ?v)) =>)
          (defrule n (a (x ?v)) (not (c (x 9))) (b (x ?v)) =>))");
  Strings removed;
  Engine.OnRemoveActivation = [&](TDeducer*, int, TActivation* A) {
    removed.push_back(A->GetToString());
  };
  Engine.Assert("(a (x 1))");  // f-1
  Engine.Assert("(c (x 1))");  // f-2
  Engine.Assert("(b (x 1))");  // f-3
  Engine.Assert("(a (x 1))");  // duplicate: refused
  Engine.SetFactDuplication(true);
  Engine.Assert("(a (x 1))");  // f-4
  Load("(defrule r2 (a (x ?v)) (b (x ?v)) =>)");
  Engine.Assert("(c (x 1))");  // f-5
  Engine.Assert("(a (x 1))");  // f-6
  EXPECT_EQ(Engine.GetAgendaCount(), 12);
  Engine.Retract(3);
  EXPECT_EQ(removed, (Strings{"r1 : f-1, f-3, f-2", "r1 : f-1, f-3, f-5", "r2 : f-1, f-3",
                              "r1 : f-4, f-3, f-2", "r1 : f-4, f-3, f-5", "r2 : f-4, f-3",
                              "r1 : f-6, f-3, f-2", "r1 : f-6, f-3, f-5", "r2 : f-6, f-3",
                              "n : f-1, f--1, f-3", "n : f-4, f--1, f-3", "n : f-6, f--1, f-3"}));
  EXPECT_EQ(Engine.GetAgendaCount(), 0);
  // A negation that becomes blocked withdraws what went past it, in the
  // order of its stored matches.
  Engine.Assert("(b (x 1))");  // f-7
  removed.clear();
  Engine.Assert("(c (x 9))");  // f-8
  EXPECT_EQ(removed, (Strings{"n : f-1, f--1, f-7", "n : f-4, f--1, f-7", "n : f-6, f--1, f-7"}));
  Engine.Retract(8);
  EXPECT_EQ(Engine.GetAgendaCount(), 12);
  // A partial match that goes takes everything below it along.
  removed.clear();
  Engine.Retract(4);
  EXPECT_EQ(removed, (Strings{"r1 : f-4, f-7, f-2", "r1 : f-4, f-7, f-5", "r2 : f-4, f-7",
                              "n : f-4, f--1, f-7"}));
}

TEST_F(ReteNetworkTest, MatchesOutliveARuleThatSharedTheirJoin) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot x)) (deftemplate c (slot x))
          (defrule r1 (a (x ?v)) (b (x ?v)) (c (x ?v)) =>)
          (defrule r2 (a (x ?v)) (b (x ?v)) =>))");
  Engine.Assert("(a (x 1))");
  Engine.Assert("(b (x 1))");
  Engine.Assert("(c (x 1))");
  Engine.Assert("(a (x 2))");
  Engine.Assert("(b (x 2))");
  EXPECT_EQ(Sorted(), (Strings{"r1 : f-1, f-2, f-3", "r2 : f-1, f-2", "r2 : f-4, f-5"}));
  // The nodes only r1 used go with their matches; the shared join keeps its.
  Engine.Rules().Remove("r1");
  EXPECT_EQ(Sorted(), (Strings{"r2 : f-1, f-2", "r2 : f-4, f-5"}));
  Engine.Retract(2);
  EXPECT_EQ(Agenda(), (Strings{"r2 : f-4, f-5"}));
  Engine.Assert("(b (x 1))");
  Engine.Retract(1);
  Engine.Retract(4);
  EXPECT_EQ(Agenda(), Strings{});
  const TJoinNode* join = NodesOf<TJoinNode>("r2")[0];
  EXPECT_EQ(join->GetLeftMemory().GetCount(), 0);
  EXPECT_EQ(join->GetRightMemory().GetCount(), 2);
}

TEST_F(ReteNetworkTest, AClearTokenEmptiesMemoriesAndActivations) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot x))
          (defrule r (a (x ?v)) (b (x ?v)) =>))");
  Engine.Assert("(a (x 1))");
  Engine.Assert("(b (x 1))");
  ASSERT_EQ(Engine.GetAgendaCount(), 1);
  TJoinNode* join = NodesOf<TJoinNode>("r")[0];
  EXPECT_EQ(join->GetLeftMemory().GetCount(), 1);
  Engine.RetractFacts();
  EXPECT_EQ(Engine.GetAgendaCount(), 0);
  EXPECT_EQ(join->GetLeftMemory().GetCount(), 0);
  EXPECT_EQ(join->GetRightMemory().GetCount(), 0);
  // The network works on as before.
  Engine.Assert("(a (x 2))");
  Engine.Assert("(b (x 2))");
  EXPECT_EQ(Agenda(), (Strings{"r : f-3, f-4"}));
  Engine.Retract(3);
  EXPECT_EQ(Agenda(), Strings{});
}

TEST_F(ReteNetworkTest, CompilationErrorsLeaveNothingBehind) {
  Load("(deftemplate a (slot x)) (deftemplate b (slot y))");
  const int nodes = Engine.ReteNetwork().GetNodeCount();
  // A predicate reading a variable that a later pattern binds.
  EXPECT_THROW(Engine.Parse("(defrule bad (a (x ?x&:(> ?x ?y))) (b (y ?y)) =>)"), Exception);
  EXPECT_EQ(Engine.ReteNetwork().GetNodeCount(), nodes);
  EXPECT_EQ(Engine.Rules().Get("bad"), nullptr);
  // A variable bound inside a negation is not known after it.
  EXPECT_THROW(Engine.Parse("(defrule bad2 (not (a (x ?x))) (b (y ?y&:(> ?y ?x))) =>)"), Exception);
  EXPECT_EQ(Engine.ReteNetwork().GetNodeCount(), nodes);
}

TEST_F(ReteNetworkTest, NodeTextsForTraces) {
  Load(R"((deftemplate a (slot x)) (deftemplate b (slot x))
          (defrule r (a (x 1)) (b (x ?v&~1)) =>))");
  const std::vector<TReteNode*>& n = Nodes("r");
  ASSERT_EQ(n.size(), 6u);
  EXPECT_NE(n[0]->GetToString().find(" In/Out#: 0/1 RuleUse: 1 Value: a Test: pmtTestClassType"),
            std::string::npos)
      << n[0]->GetToString();
  EXPECT_NE(n[1]->GetToString().find("Value: 1 Test: pmtTestEqual Args: (x, -1)"),
            std::string::npos)
      << n[1]->GetToString();
  EXPECT_NE(n[4]->GetToString().find(" In/Out#: 2/1 RuleUse: 1 NumTests: 0"), std::string::npos)
      << n[4]->GetToString();
  EXPECT_NE(n[5]->GetToString().find(" Rule: r"), std::string::npos);
}

TEST_F(ReteNetworkTest, ARuleThatDeletesItselfWhileFiringFinishesSafely) {
  Load(R"((deftemplate a (slot x))
          (defrule self (a (x ?v)) => (assert (a (x (+ ?v 1)))) (clear)))");
  Engine.Assert("(a (x 1))");
  EXPECT_EQ(Engine.Run(), 1);
  EXPECT_EQ(Engine.Rules().Count(), 0u);
  EXPECT_EQ(Engine.GetAgendaCount(), 0);
}

// When the last stored match of a join input goes, everything below the
// join goes at once (the memories under it are emptied wholesale): the
// activations must leave in the same order as when other matches stay,
// a handler that raises must not leave half a network behind, and the
// emptied memories must work as before.
TEST_F(ReteNetworkTest, TheLastMatchOfAnInputTakesEverythingBelowAlongInOrder) {
  const std::string program = R"((deftemplate ctx (slot s)) (deftemplate item (slot k))
      (deftemplate pair (slot k) (slot v)) (deftemplate done (slot v))
      (defrule r1 (ctx (s ?s)) (item (k ?k)) (pair (k ?k) (v ?v)) (not (done (v ?v))) =>)
      (defrule r2 (ctx (s ?s)) (item (k ?k)) (test (> ?k 12)) (exists (pair (k ?k))) =>))";
  auto fill = [](TDeducer& E) {
    for (int k = 1; k <= 20; ++k) E.Assert("(item (k " + std::to_string(k) + "))");
    for (int k = 1; k <= 20; ++k)
      for (int v = 0; v < 3; ++v)
        E.Assert("(pair (k " + std::to_string(k) + ") (v " + std::to_string(k * 3 + v) + "))");
    for (int v = 0; v < 70; v += 7) E.Assert("(done (v " + std::to_string(v) + "))");
  };
  auto removals = [&](bool Alone) {
    TDeducer e;
    EXPECT_TRUE(e.Parse(program));
    fill(e);
    const int32_t ctx = e.Assert("(ctx (s a))");
    if (!Alone) e.Assert("(ctx (s b))");
    Strings removed;
    e.OnRemoveActivation = [&](TDeducer*, int, TActivation* A) {
      removed.push_back(A->GetToString());
    };
    e.Retract(ctx);
    EXPECT_EQ(e.GetAgendaCount(), Alone ? 0 : static_cast<int>(removed.size()));
    return removed;
  };
  const Strings alone = removals(true);
  ASSERT_EQ(alone.size(), 60u - 8u + 8u);  // eight values are done
  EXPECT_EQ(alone, removals(false));

  // A handler that raises halfway stops nothing: the retraction ends, no
  // activation of the withdrawn matches stays, the failure is raised at
  // the end, and the memories fill and empty again as before.
  for (const bool alone : {true, false}) {
    TDeducer e;
    ASSERT_TRUE(e.Parse(program));
    fill(e);
    const int32_t ctx = e.Assert("(ctx (s a))");
    const int mine = e.GetAgendaCount();
    if (!alone) e.Assert("(ctx (s b))");
    int seen = 0;
    e.OnRemoveActivation = [&](TDeducer*, int, TActivation*) {
      if (++seen == 5) throw std::runtime_error("handler failed");
    };
    EXPECT_THROW(e.Retract(ctx), std::runtime_error);
    EXPECT_EQ(seen, mine);
    EXPECT_EQ(e.GetAgendaCount(), alone ? 0 : mine);
    e.OnRemoveActivation = nullptr;
    e.Assert("(ctx (s a))");
    EXPECT_EQ(e.GetAgendaCount(), alone ? mine : 2 * mine);
    e.Retract("(done (v 7))");   // unblocks one match per context
    e.Retract("(item (k 20))");  // three matches of r1 and one of r2 each
    EXPECT_EQ(e.GetAgendaCount(), (alone ? 1 : 2) * (mine + 1 - 3 - 1));
  }
}

// A growing join memory against a plain list: keys that repeat, keys that
// share buckets, removals that empty buckets and leave mixed ones, growth.
// Every key finds exactly its entries, in the order they came.
TEST_F(ReteNetworkTest, ATemplateGivenAParentLaterReachesThePatternsOnItsName) {
  // A pattern on a parent's name matches the facts of its children, also
  // when the parent is given after facts of the child went through.
  Load(
      "(deftemplate base (slot a)) (deftemplate other (slot a))"
      "(defrule on-base (base (a ?x)) =>)");
  Engine.Assert("(other (a 1))");
  EXPECT_EQ(Engine.GetAgendaCount(), 0);
  Engine.FindFactTemplate("other")->SetParent(Engine.FindFactTemplate("base"));
  Engine.Assert("(other (a 2))");
  EXPECT_EQ(Agenda(), (Strings{"on-base : f-2"}));
  Engine.FindFactTemplate("other")->SetParent(nullptr);
  Engine.Assert("(other (a 3))");
  EXPECT_EQ(Engine.GetAgendaCount(), 1);
}

TEST(JoinMemory, FindsEveryEntryOfAKeyInArrivalOrder) {
  TJoinMemory memory(nullptr, 1, false, 0);
  std::vector<TJoinEntry*> live;
  uint32_t seed = 11;
  auto next = [&](uint32_t N) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % N;
  };
  auto check = [&](int32_t Key) {
    std::vector<TJoinEntry*> want, got;
    for (TJoinEntry* e : live)
      if (e->Key == Key) want.push_back(e);
    for (TJoinEntry* e = memory.First(Key); e; e = e->Next)
      if (e->Key == Key) got.push_back(e);
    EXPECT_EQ(got, want) << "key " << Key;
  };
  for (int step = 0; step < 4000; ++step) {
    // Few distinct keys, some of them far apart, so buckets hold several.
    const int32_t key = static_cast<int32_t>(next(40)) * (next(2) ? 1 : 65536);
    if (next(5) < 3 || live.empty()) {
      live.push_back(memory.Add(nullptr, 0, key, false));
    } else {
      const size_t at = next(static_cast<uint32_t>(live.size()));
      memory.Remove(live[at]);
      live.erase(live.begin() + static_cast<ptrdiff_t>(at));
    }
    if (step % 97 == 0)
      for (int32_t k = 0; k < 40; ++k) {
        check(k);
        check(k * 65536);
      }
  }
  EXPECT_EQ(memory.GetCount(), static_cast<int32_t>(live.size()));
  for (int32_t k = 0; k < 40; ++k) check(k);
  // Emptied, the memory takes its entries into its buckets again only
  // when searched, still in arrival order.
  for (TJoinEntry* e : live) memory.Remove(e);
  live.clear();
  for (int32_t i = 0; i < 300; ++i) live.push_back(memory.Add(nullptr, 0, i % 7, false));
  memory.Remove(live[5]);
  live.erase(live.begin() + 5);
  for (int32_t k = 0; k < 7; ++k) check(k);
  std::vector<TJoinEntry*> all;
  memory.ForEach([&](TJoinEntry* e) { all.push_back(e); });
  EXPECT_EQ(all.size(), live.size());
}

}  // namespace
}  // namespace kb
