// The fact base through the host's interface: assertion and retraction
// with their identifiers and events, fact objects, the fact list routed
// through the engine, pending facts, the events of Reset and Clear. What
// the language does with facts is tested by the scripts of
// tests/language/facts/.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "rete/KbRule.h"
#include "rete/ReteActivations.h"
#include "rete/ReteNetwork.h"

namespace kb {
namespace {

using Strings = std::vector<std::string>;

class DeducerFactsTest : public ::testing::Test {
 protected:
  DeducerFactsTest() {
    Engine.OnPrintOut = [this](TPersistent*, const std::string&, const std::string& Text) {
      Out += Text;
    };
    Engine.OnAssertion = [this](TDeducer*, const IFact& F) {
      Events.push_back("+" + IntToStr(F->GetID()));
    };
    Engine.OnRetraction = [this](TDeducer* E, const IFact& F) {
      // The fact is still in working memory while its removal is reported.
      Events.push_back("-" + IntToStr(F->GetID()) +
                       (E->Facts().FindFact(F->GetID()) >= 0 ? "" : "!"));
    };
  }
  TDeducer Engine;
  std::string Out;
  Strings Events;
};

TEST_F(DeducerFactsTest, ANewEngineHoldsTheInitialFact) {
  ASSERT_EQ(Engine.Facts().Count(), 1);
  EXPECT_EQ(Engine.Facts().Get(0)->GetID(), 0);
  EXPECT_EQ(Engine.Facts().Get(0)->GetToString(), "(Initial-Fact)");
  EXPECT_EQ(Engine.GetNextFactId(), 1);
}

// The language's side of it (identifiers, duplicates, traces) is
// tests/language/facts/identifiers-and-traces.clp.
TEST_F(DeducerFactsTest, IdentifiersEventsAndFactObjects) {
  EXPECT_EQ(Engine.Assert("(a 1)"), 1);
  EXPECT_EQ(Engine.Assert("(a 1)"), -1);  // equal: nothing happens
  EXPECT_EQ(Engine.GetNextFactId(), 2);
  EXPECT_EQ(Engine.Assert("(a 2)"), 2);
  EXPECT_EQ(Events, (Strings{"+1", "+2"}));
  Engine.Retract(1);
  Engine.Retract(1);   // gone already: nothing
  Engine.Retract(99);  // never there
  EXPECT_EQ(Events, (Strings{"+1", "+2", "-1"}));
  // Identifiers are not reused; duplicates may be allowed.
  EXPECT_EQ(Engine.Assert("(a 1)"), 3);
  Engine.SetFactDuplication(true);
  EXPECT_EQ(Engine.Assert("(a 1)"), 4);
  // The same object asserted twice is asserted as a copy.
  IFact f = Engine.ParseFact("(b)");
  EXPECT_EQ(Engine.Assert(f), 5);
  EXPECT_EQ(Engine.Assert(f), 6);
  EXPECT_EQ(f->GetID(), 5);
  EXPECT_THROW(Engine.Assert(IFact(new TFact())), EKbException);
  // Inserting an object that is in the list already puts its copy, the
  // fact asserted, at the place asked for; the object stays where it was.
  Engine.Facts().Insert(0, f);
  EXPECT_EQ(Engine.Facts().Get(0)->GetID(), 7);
  EXPECT_EQ(Engine.Facts().FindFact(5), Engine.Facts().Count() - 2);
}

TEST_F(DeducerFactsTest, EveryFormOfRetraction) {
  Engine.Assert("(a 1)");
  Engine.Assert("(a 2)");
  Engine.Assert("(a 3)");
  Engine.Retract(std::string("(a 2)"));
  EXPECT_EQ(Engine.Facts().GetToString(), "(Initial-Fact)\r\n(a 1)\r\n(a 3)");
  Engine.Retract(Engine.ParseFact("(a 3)"));
  Engine.Retract(Engine.ParseFact("(a 9)"));  // none equal: nothing
  Engine.RetractFact(0);
  EXPECT_EQ(Engine.Facts().GetToIDString(), "f-1 (a 1)");
  EXPECT_THROW(Engine.RetractFact(Engine.ParseFact("(a 1)")), EListError);
  EXPECT_THROW(Engine.RetractFact(5), EListError);
  EXPECT_EQ(Events, (Strings{"+1", "+2", "+3", "-2", "-3", "-0"}));
}

TEST_F(DeducerFactsTest, TheFactListGoesThroughTheEngine) {
  Engine.Parse("(defrule r (a ?x) =>)");
  Engine.Facts().Add(Engine.ParseFact("(a 1)"));
  Engine.Facts().Insert(0, Engine.ParseFact("(a 2)"));
  EXPECT_EQ(Engine.Facts().GetToIDString(), "f-2 (a 2)\r\nf-0 (Initial-Fact)\r\nf-1 (a 1)");
  EXPECT_EQ(Engine.GetAgendaCount(), 2);
  Engine.Facts().Delete(0);
  EXPECT_EQ(Engine.GetAgendaCount(), 1);
  EXPECT_EQ(Events, (Strings{"+1", "+2", "-2"}));
  EXPECT_EQ(Engine.Facts().FindFact(1), 1);
  EXPECT_EQ(Engine.Facts().FindFact(Engine.ParseFact("(a 1)")), 1);
  EXPECT_EQ(Engine.Facts().GetFactByID(7), nullptr);
  Engine.Facts().Clear();
  EXPECT_EQ(Engine.Facts().Count(), 0);
  EXPECT_EQ(Engine.GetAgendaCount(), 0);
  // Plain list changes while the engine updates it.
  Engine.Facts().SetInEngineUpdate(true);
  Engine.Facts().Add(Engine.ParseFact("(a 5)"));
  Engine.Facts().SetInEngineUpdate(false);
  EXPECT_EQ(Engine.GetAgendaCount(), 0);
  EXPECT_EQ(Engine.Facts().Count(), 1);
}

TEST_F(DeducerFactsTest, PendingFactsRunAfterTheChangeThatAskedForThem) {
  // A pending assertion asked for while a retraction propagates comes
  // after the retracted fact left working memory.
  Engine.Assert("(a 1)");
  Engine.OnRetraction = [this](TDeducer* E, const IFact& F) {
    Events.push_back("-" + IntToStr(F->GetID()));
    E->AddPendingFact(E->ParseFact("(b 1)"), true);
    E->AddPendingFact(E->ParseFact("(a 1)"), false);
    EXPECT_EQ(E->GetPendingAssertionCount(), 1);
  };
  Engine.Retract(1);
  EXPECT_EQ(Events, (Strings{"+1", "-1", "+2"}));
  EXPECT_EQ(Engine.Facts().GetToIDString(), "f-0 (Initial-Fact)\r\nf-2 (b 1)");
  EXPECT_EQ(Engine.GetPendingAssertionCount(), 0);
  EXPECT_EQ(Engine.GetPendingRetractionCount(), 0);
}

// What reset and clear do is tests/language/facts/reset-and-clear.clp;
// here, that the host hears of them, and the null fact that a cleared
// engine still holds for its network.
TEST_F(DeducerFactsTest, ResetAndClearAreAnnouncedOnce) {
  Engine.Parse("(deffacts s (a 1)) (defrule r (a ?x) =>)");
  int resets = 0, clears = 0;
  Engine.OnReset = [&](TDeducer*) { ++resets; };
  Engine.OnClear = [&](TDeducer*) { ++clears; };
  Engine.Reset();
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(clears, 0);
  Engine.Clear();
  EXPECT_EQ(resets, 1);
  EXPECT_EQ(clears, 1);
  EXPECT_NE(Engine.GetNullFact(), nullptr);
  EXPECT_NE(Engine.FindFactTemplate(SInitialFactPattern), nullptr);
}

TEST_F(DeducerFactsTest, AFactInWorkingMemoryChangesOnlyThroughModify) {
  // The network holds the asserted object itself: were it changed in
  // place, the match made from its old value would stay on the agenda.
  Engine.Parse("(deftemplate a (slot x))");
  Engine.Parse("(defrule big (a (x ?x&:(> ?x 5))) => (printout t big \" \" ?x crlf))");
  IFact f = Engine.ParseFact("(a (x 1))");
  ASSERT_EQ(Engine.Assert(f), 1);
  EXPECT_TRUE(f->IsInWorkingMemory());
  try {
    f->SetValue("x", NewInteger(9));
    ADD_FAILURE() << "changed in place";
  } catch (const EKbException& e) {
    EXPECT_EQ(e.Message(),
              "Fact f-1 is in working memory: change it with modify, or change a copy");
  }
  EXPECT_THROW(f->AssignValues(Engine.ParseFact("(a (x 9))")), EKbException);
  EXPECT_EQ(f->GetToString(), "(a (x 1))");
  EXPECT_EQ(Engine.GetAgendaCount(), 0);
  // A copy may change; modify changes the fact and matches it again.
  IFact copy = f->CloneFact();
  EXPECT_FALSE(copy->IsInWorkingMemory());
  copy->SetValue("x", NewInteger(9));
  Engine.Parse("(defrule grow ?f <- (a (x 1)) => (modify ?f (x 9)))");
  Engine.Run();
  EXPECT_EQ(Out, "big 9\r\n");
  EXPECT_EQ(f->GetID(), 2);
  EXPECT_EQ(f->GetToString(), "(a (x 9))");
  // Out of working memory (retracted, or the list cleared) it changes
  // again.
  Engine.Retract(2);
  EXPECT_FALSE(f->IsInWorkingMemory());
  f->SetValue("x", NewInteger(3));
  Engine.Assert(f);
  Engine.Facts().Clear();
  EXPECT_FALSE(f->IsInWorkingMemory());
}

TEST_F(DeducerFactsTest, AFactHeldByAnotherEngineIsAssertedAsACopy) {
  // The fact object stays where the first engine put it: its identifier,
  // its place and the first engine's retraction are untouched.
  Engine.Parse("(deftemplate a (slot x))");
  IFact f = Engine.ParseFact("(a (x 1))");
  ASSERT_EQ(Engine.Assert(f), 1);
  TDeducer other;
  other.Parse("(deftemplate a (slot x))");
  other.Assert("(b)");
  ASSERT_EQ(other.Assert(f), 2);
  EXPECT_EQ(f->GetID(), 1);
  EXPECT_EQ(Engine.Facts().FindFact(1), 1);
  EXPECT_EQ(other.Facts().Get(other.Facts().FindFact(2))->GetToString(), "(a (x 1))");
  Engine.Retract(1);
  EXPECT_EQ(Engine.Facts().Count(), 1);
  EXPECT_FALSE(f->IsInWorkingMemory());
  EXPECT_EQ(other.Facts().Count(), 3);
  other.Retract(2);
  EXPECT_EQ(other.Facts().Count(), 2);
}

TEST_F(DeducerFactsTest, RulesCannotChangeWhileTheNetworkMatches) {
  // A host that deletes or adds rules from an activation event (raised
  // while a fact's assertion is matched) is refused: the nodes being
  // walked stay, and the rules are as they were.
  Engine.Parse(
      "(defrule r (a ?x) (b ?x) =>) (defrule s (a ?x) (b ?x) (c) =>) (defrule t (a ?) =>)");
  Engine.Assert("(b 1)");
  Engine.Assert("(c)");
  std::string refused;
  Engine.OnAddActivation = [&](TDeducer*, int, TActivation*) {
    for (const char* name : {"r", "s"}) {
      try {
        Engine.Rules().Remove(name);
      } catch (const EKbException& e) {
        refused += e.Message() + "|";
      }
    }
    try {
      Engine.Parse("(defrule u (a ?) =>)");
    } catch (const EKbException& e) {
      refused += e.Message() + "|";
    }
  };
  Engine.Assert("(a 1)");
  Engine.OnAddActivation = nullptr;
  EXPECT_NE(refused.find(SRulesBusy), std::string::npos) << refused;
  EXPECT_TRUE(Engine.Rules().Get("r"));
  EXPECT_TRUE(Engine.Rules().Get("s"));
  EXPECT_FALSE(Engine.Rules().Get("u"));
  EXPECT_EQ(Engine.GetAgendaCount(), 3);
  // Once the matching is over, rules change again.
  Engine.Rules().Remove("s");
  EXPECT_EQ(Engine.GetAgendaCount(), 2);
}

TEST_F(DeducerFactsTest, RenamingATemplateRetractsItsFactsAndDeletesItsRules) {
  Engine.Parse(R"((deftemplate t (slot x)) (defrule r (t (x ?v)) =>) (defrule s (u) =>))");
  Engine.Assert("(t (x 1))");
  Engine.Assert("(u)");
  Engine.SetWatch(TConstructWatches{cwFact});
  Strings removed;
  Engine.OnRemoveRule = [&](TDeducer*, TRule* R) { removed.push_back(R->GetRuleName()); };
  Engine.FindFactTemplate("t")->SetTemplateName("t2");
  EXPECT_EQ(Out, " <== f-1 (t (x 1))\r\n");
  EXPECT_EQ(removed, Strings{"r"});
  EXPECT_EQ(Engine.GetAgendaCount(), 1);
}

TEST_F(DeducerFactsTest, FactsLoadFromAStream) {
  Engine.Parse("(deftemplate t (slot x))");
  TMemoryStream s("(t (x 1)) (o 1 2)\n(t (x 2))");
  EXPECT_TRUE(Engine.LoadFacts(s));
  EXPECT_EQ(Engine.Facts().Count(), 4);
  TMemoryStream bad("(t (x 3)) (t (y 1))");
  EXPECT_THROW(Engine.LoadFacts(bad), Exception);
  EXPECT_EQ(Engine.Facts().Count(), 5);  // the fact read before the error stays
}

}  // namespace
}  // namespace kb
