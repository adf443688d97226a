// The agenda and the run loop: where activations go by salience and
// strategy, re-ordering, the firing loop with its traces, events,
// statistics, halt, step limit and failures.
#include <gtest/gtest.h>

#include <exception>
#include <string>
#include <vector>

#include "engine/Deducer.h"
#include "rete/ReteNetwork.h"

namespace kb {
namespace {

using Strings = std::vector<std::string>;

class DeducerAgendaTest : public ::testing::Test {
 protected:
  DeducerAgendaTest() {
    Engine.OnPrintOut = [this](TPersistent*, const std::string&, const std::string& Text) {
      Out += Text;
    };
  }
  Strings Agenda() {
    Strings r;
    for (int i = 0; i < Engine.GetAgendaCount(); ++i) r.push_back(Engine.GetActivationText(i));
    return r;
  }
  // Rules s<N> of salience N matching (go N).
  void SalienceRules(std::initializer_list<int> Saliences) {
    for (int s : Saliences)
      Engine.Parse("(defrule s" + IntToStr(s) + " (declare (salience " + IntToStr(s) + ")) (go " +
                   IntToStr(s) + " ?) =>)");
  }
  TDeducer Engine;
  std::string Out;
};

TEST_F(DeducerAgendaTest, DepthFirstInsertionFollowsTheBisectionSearch) {
  SalienceRules({10, 5, 0, 7});
  Engine.Assert("(go 10 a)");
  Engine.Assert("(go 5 a)");
  Engine.Assert("(go 7 a)");
  EXPECT_EQ(Agenda(), (Strings{"s10 : f-1", "s7 : f-3", "s5 : f-2"}));
  // 10, 5, 5, 5, 0 and a new 5: the search meets index 2 first.
  Engine.Retract(3);
  Engine.Assert("(go 5 b)");
  Engine.Assert("(go 5 c)");
  Engine.Assert("(go 0 a)");
  EXPECT_EQ(Agenda(), (Strings{"s10 : f-1", "s5 : f-5", "s5 : f-4", "s5 : f-2", "s0 : f-6"}));
  Engine.Assert("(go 5 d)");
  EXPECT_EQ(Agenda(),
            (Strings{"s10 : f-1", "s5 : f-5", "s5 : f-7", "s5 : f-4", "s5 : f-2", "s0 : f-6"}));
  // Equal to the first: index 0.
  Engine.Assert("(go 10 b)");
  EXPECT_EQ(Agenda().front(), "s10 : f-8");
  EXPECT_EQ(Engine.SearchSalience(20), 0);
  EXPECT_EQ(Engine.SearchSalience(-1), -1);
  EXPECT_EQ(Engine.SearchSalience(7), 2);
}

TEST_F(DeducerAgendaTest, BreadthFirstAppendsAndSwitchingReinsertsEverything) {
  SalienceRules({5, 0});
  Engine.Assert("(go 5 a)");
  Engine.Assert("(go 0 a)");
  Engine.Assert("(go 5 b)");
  EXPECT_EQ(Agenda(), (Strings{"s5 : f-3", "s5 : f-1", "s0 : f-2"}));
  std::vector<int> added;
  Engine.OnAddActivation = [&](TDeducer*, int Index, TActivation*) { added.push_back(Index); };
  Engine.SetWatch(TConstructWatches{cwActivation});
  Engine.SetStrategy(ssDepthFirst);  // the same: nothing happens
  EXPECT_TRUE(added.empty());
  Engine.SetStrategy(ssBreadthFirst);
  EXPECT_EQ(Agenda(), (Strings{"s5 : f-3", "s5 : f-1", "s0 : f-2"}));
  EXPECT_EQ(added, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(Out,
            "==> Activation: s5 : f-3\r\n==> Activation: s5 : f-1\r\n==> Activation: s0 : f-2\r\n");
  Engine.Assert("(go 0 b)");
  Engine.Assert("(go 5 c)");
  // Not the last salience: the bisection search places it.
  EXPECT_EQ(Agenda(), (Strings{"s5 : f-3", "s5 : f-5", "s5 : f-1", "s0 : f-2", "s0 : f-4"}));
  // Withdrawals still find the re-inserted activations.
  Engine.Retract(1);
  Engine.Retract(4);
  EXPECT_EQ(Agenda(), (Strings{"s5 : f-3", "s5 : f-5", "s0 : f-2"}));
}

TEST_F(DeducerAgendaTest, RunFiresInAgendaOrderWithTracesAndEvents) {
  Engine.Parse(R"((defrule low (declare (salience -5)) (a ?x) => (printout t "low " ?x crlf))
                  (defrule high (declare (salience 5)) (a ?x) => (printout t "high " ?x crlf)))");
  Engine.Assert("(a 1)");
  Engine.Assert("(a 2)");
  Strings events;
  Engine.OnStartInference = [&](TDeducer*) { events.push_back("start"); };
  Engine.OnEndInference = [&](TPersistent*, int32_t N) { events.push_back("end " + IntToStr(N)); };
  Engine.OnRuleFired = [&](TDeducer*, TRule* R) { events.push_back(R->GetRuleName()); };
  Engine.SetWatch(TConstructWatches{cwRule});
  EXPECT_EQ(Engine.Run(0), 0);
  EXPECT_EQ(Engine.Run(3), 3);
  EXPECT_EQ(
      Out, "FIRE 0 high f-2\r\nhigh 2\r\nFIRE 1 high f-1\r\nhigh 1\r\nFIRE 2 low f-2\r\nlow 2\r\n");
  EXPECT_EQ(events, (Strings{"start", "end 0", "start", "high", "high", "low", "end 3"}));
  EXPECT_EQ(Engine.Run(), 1);
  EXPECT_EQ(Engine.GetRulesFired(), 1);  // per run
}

TEST_F(DeducerAgendaTest, HaltStopsAfterTheCurrentFiring) {
  Engine.Parse(R"((defrule a (declare (salience 1)) => (halt) (printout t "a" crlf))
                  (defrule b => (printout t "b" crlf)))");
  Engine.Reset();
  EXPECT_EQ(Engine.Run(), 1);
  EXPECT_EQ(Out, "a\r\n");
  EXPECT_EQ(Engine.Run(), 1);  // each run clears the flag
  EXPECT_EQ(Out, "a\r\nb\r\n");
}

TEST_F(DeducerAgendaTest, ARuleRetractingItsOwnFactKeepsRunning) {
  Engine.Parse(R"((defrule eat ?f <- (food ?x) => (retract ?f) (printout t "ate " ?x crlf)))");
  Engine.Assert("(food 1)");
  Engine.Assert("(food 2)");
  Engine.SetWatch(TConstructWatches{cwActivation});
  EXPECT_EQ(Engine.Run(), 2);
  EXPECT_EQ(Out, "<== Activation: eat : f-2\r\nate 2\r\n<== Activation: eat : f-1\r\nate 1\r\n");
  EXPECT_EQ(Engine.GetAgendaCount(), 0);
  EXPECT_EQ(Engine.Facts().Count(), 1);
}

TEST_F(DeducerAgendaTest, AFailingFiringEndsTheRunAndDropsOnlyItsActivation) {
  Engine.Parse(R"((defrule bad (declare (salience 1)) (a ?x) => (throw "broken"))
                  (defrule good (a ?x) => (printout t "good" crlf)))");
  Engine.Assert("(a 1)");
  bool ended = false;
  Engine.OnEndInference = [&](TPersistent*, int32_t) { ended = true; };
  Strings fired;
  Engine.OnRuleFired = [&](TDeducer*, TRule* R) { fired.push_back(R->GetRuleName()); };
  EXPECT_THROW(Engine.Run(), Exception);
  EXPECT_FALSE(ended);
  EXPECT_TRUE(fired.empty());
  EXPECT_EQ(Engine.GetCurrentActivation(), nullptr);
  EXPECT_EQ(Agenda(), (Strings{"good : f-1"}));
  EXPECT_EQ(Engine.Run(), 1);
  // The lock was released: another thread could take it.
  Engine.Lock();
  Engine.Unlock();
}

TEST_F(DeducerAgendaTest, AnErrorThatEndsARunNamesItsRule) {
  Engine.Parse(R"((defrule outer (go) => (printout t "inner run: " (run) crlf) (div 1 0))
                  (defrule bad (bad) => (div 2 0))
                  (defrule fine (ok) => (printout t "ok" crlf)))");
  auto failure = [&](const std::string& Command) {
    try {
      Engine.Parse(Command);
    } catch (const Exception&) {
      return std::current_exception();
    }
    return std::exception_ptr();
  };
  Engine.Assert("(ok)");
  Engine.Assert("(go)");
  std::exception_ptr error = failure("(run)");
  ASSERT_TRUE(error);
  EXPECT_EQ(Engine.RuleFailedBy(error), "outer");
  // Errors that ended no run, also after a caught one, name none.
  EXPECT_EQ(Engine.RuleFailedBy(failure("(div 3 0)")), "");
  EXPECT_EQ(Engine.RuleFailedBy(std::exception_ptr()), "");
  Engine.Assert("(bad)");
  Engine.Parse("(try (run) catch (printout t \"caught\" crlf))");
  error = failure("(div 4 0)");
  ASSERT_TRUE(error);
  EXPECT_EQ(Engine.RuleFailedBy(error), "");
  // The run inside the firing fired nothing (not "outer" again).
  EXPECT_EQ(Out, "inner run: 0\r\ncaught\r\n");
}

TEST_F(DeducerAgendaTest, ARunAskedForWhileARuleFiresDoesNothing) {
  // Each firing would otherwise fire itself again, first on the agenda,
  // and free the activation that the outer run is still firing.
  Engine.Parse(R"((defrule again (n ?x) => (printout t ?x ":" (run) " "))
                  (defrule twice (n ?x) => (printout t ?x ":" (run 1) " ")))");
  Engine.Assert("(n 1)");
  Engine.Assert("(n 2)");
  int32_t fromHandler = -1;
  Engine.OnRuleFired = [&](TDeducer* E, TRule*) { fromHandler = E->Run(); };
  EXPECT_EQ(Engine.Run(), 4);
  EXPECT_EQ(Engine.GetRulesFired(), 4);
  EXPECT_EQ(fromHandler, 0);
  EXPECT_EQ(Out, "2:0 2:0 1:0 1:0 ");
  EXPECT_EQ(Engine.GetAgendaCount(), 0);
}

TEST_F(DeducerAgendaTest, StatisticsAfterARun) {
  Engine.Parse("(defrule r (a ?x) =>)");
  Engine.Assert("(a 1)");
  Engine.Assert("(a 2)");
  Engine.SetWatch(TConstructWatches{cwStatistics});
  EXPECT_EQ(Engine.Run(), 2);
  EXPECT_EQ(Engine.GetMaxFacts(), 3);
  EXPECT_EQ(Engine.GetMaxActivations(), 2);
  EXPECT_DOUBLE_EQ(Engine.GetMeanActivations(), 0.5);
  EXPECT_DOUBLE_EQ(Engine.GetMeanFacts(), 3);
  EXPECT_NE(Out.find("2 rules fired.     Run time is "), std::string::npos) << Out;
  EXPECT_NE(Out.find("3 mean number of facts (3 maximum)\r\n"), std::string::npos) << Out;
  EXPECT_NE(Out.find("0.5 mean number of activations (2 maximum)\r\n"), std::string::npos) << Out;
  // Nothing fired: nothing printed.
  Out.clear();
  Engine.Run();
  EXPECT_EQ(Out, "");
  EXPECT_GE(Engine.GetRunTime(), 0);
}

TEST_F(DeducerAgendaTest, SaliencesEvaluatedEveryTimeReorderTheAgenda) {
  Engine.Parse(R"((defglobal ?*p* = 0)
                  (defrule first (declare (salience ?*p*)) (a ?x) => (printout t "first " ?x crlf))
                  (defrule raise (declare (salience 10)) (b) => (bind ?*p* 20)))");
  Engine.Assert("(a 1)");
  Engine.Assert("(b)");
  Engine.Assert("(a 2)");
  Engine.SetSalienceEvaluation(sEveryTime);
  EXPECT_EQ(Engine.Run(1), 1);
  EXPECT_EQ(Engine.GetActivation(0)->GetRule()->GetSalience(), 20);
  // Re-inserted in agenda order, each at the front of its salience.
  EXPECT_EQ(Engine.Run(), 2);
  EXPECT_EQ(Out, "first 1\r\nfirst 2\r\n");
}

TEST_F(DeducerAgendaTest, ALargeAgendaStaysOrderedBySalience) {
  Engine.Parse(R"((defrule r (declare (salience 0)) (n ?x) =>)
                  (defrule m (declare (salience 5)) (n ?x&:(= 0 (mod ?x 100))) =>))");
  for (int i = 1; i <= 1000; ++i) Engine.Assert("(n " + IntToStr(i) + ")");
  ASSERT_EQ(Engine.GetAgendaCount(), 1010);
  // The higher salience first, newest first; then the others.
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(Engine.GetActivationText(i), "m : f-" + IntToStr(1000 - 100 * i));
  for (int i = 10; i < 1010; ++i) EXPECT_EQ(Engine.GetActivation(i)->GetRule()->GetRuleName(), "r");
  for (int i = 2; i <= 1000; i += 2) Engine.Retract(i);
  ASSERT_EQ(Engine.GetAgendaCount(), 500);
  for (int i = 0; i < 500; ++i) {
    const std::string t = Engine.GetActivationText(i);
    EXPECT_EQ((t.back() - '0') % 2, 1) << t;
  }
  EXPECT_EQ(Engine.Run(), 500);
}

// The agenda's list against a plain vector: inserts at the ends and in the
// middle, removals from anywhere, enough of them to split and drop blocks.
TEST(AgendaList, KeepsTheOrderOfAPlainList) {
  TAgenda agenda;
  std::vector<TActivation*> model;
  std::vector<std::unique_ptr<TActivation>> pool;
  for (int i = 0; i < 600; ++i)
    pool.push_back(std::make_unique<TActivation>(nullptr, nullptr, nullptr));
  uint32_t seed = 7;
  auto next = [&](uint32_t N) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % N;
  };
  auto check = [&] {
    ASSERT_EQ(agenda.Count(), static_cast<int>(model.size()));
    for (size_t i = 0; i < model.size(); ++i) {
      ASSERT_EQ(agenda.At(static_cast<int>(i)), model[i]) << i;
      ASSERT_EQ(agenda.IndexOf(model[i]), static_cast<int>(i));
    }
  };
  size_t used = 0;
  for (int step = 0; step < 3000; ++step) {
    const uint32_t what = next(10);
    if (what < 6 && used < pool.size()) {
      TActivation* a = pool[used++].get();
      const uint32_t where = next(3);
      const size_t at = where == 0   ? 0
                        : where == 1 ? model.size()
                                     : next(static_cast<uint32_t>(model.size() + 1));
      agenda.Insert(static_cast<int>(at), a);
      model.insert(model.begin() + static_cast<ptrdiff_t>(at), a);
    } else if (!model.empty()) {
      const size_t at = next(static_cast<uint32_t>(model.size()));
      agenda.Remove(model[at]);
      EXPECT_FALSE(agenda.Contains(model[at]));
      model.erase(model.begin() + static_cast<ptrdiff_t>(at));
    }
    if (step % 50 == 0) check();
  }
  check();
  std::vector<TActivation*> all = agenda.TakeAll();
  EXPECT_EQ(all, model);
  EXPECT_EQ(agenda.Count(), 0);
}

}  // namespace
}  // namespace kb
