// The agenda and the run loop through the host's interface: the place of
// a salience, the strategies and re-ordering, the run's events,
// statistics and failures, and the agenda against a model of its order.
// What the language shows of them is tested by the scripts of
// tests/language/rules/ (agenda-order, run-loop, large-agenda,
// equal-salience-order).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "engine/Deducer.h"
#include "engine/DeducerAgenda.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerRules.h"
#include "rete/KbRule.h"
#include "rete/ReteActivations.h"
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

// Where each activation goes depth first is
// tests/language/rules/agenda-order.clp; here, the place the engine gives
// a salience on that agenda.
TEST_F(DeducerAgendaTest, DepthFirstSearchSalienceFindsThePlaceOfASalience) {
  SalienceRules({10, 5, 0, 7});
  for (const char* fact : {"(go 10 a)", "(go 5 a)", "(go 7 a)"}) Engine.Assert(fact);
  Engine.Retract(3);
  for (const char* fact : {"(go 5 b)", "(go 5 c)", "(go 0 a)", "(go 5 d)", "(go 10 b)"})
    Engine.Assert(fact);
  ASSERT_EQ(Agenda(), (Strings{"s10 : f-8", "s10 : f-1", "s5 : f-7", "s5 : f-5", "s5 : f-4",
                               "s5 : f-2", "s0 : f-6"}));
  EXPECT_EQ(Engine.SearchSalience(20), 0);
  EXPECT_EQ(Engine.SearchSalience(10), 0);
  EXPECT_EQ(Engine.SearchSalience(7), 2);
  EXPECT_EQ(Engine.SearchSalience(5), 2);
  EXPECT_EQ(Engine.SearchSalience(0), 6);
  EXPECT_EQ(Engine.SearchSalience(-1), -1);
}

TEST_F(DeducerAgendaTest, BreadthFirstPutsANewActivationAfterEveryOneOfItsSalience) {
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
  // Ordered as if each had been added breadth first: oldest first. Each is
  // announced again in its new place.
  Engine.SetStrategy(ssBreadthFirst);
  EXPECT_EQ(Agenda(), (Strings{"s5 : f-1", "s5 : f-3", "s0 : f-2"}));
  EXPECT_EQ(added, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(Out,
            "==> Activation: s5 : f-1\r\n==> Activation: s5 : f-3\r\n==> Activation: s0 : f-2\r\n");
  Engine.Assert("(go 0 b)");
  Engine.Assert("(go 5 c)");
  // Not the last salience: still after every one of its own.
  EXPECT_EQ(Agenda(), (Strings{"s5 : f-1", "s5 : f-3", "s5 : f-5", "s0 : f-2", "s0 : f-4"}));
  EXPECT_EQ(Engine.SearchSalience(5), 3);
  EXPECT_EQ(Engine.SearchSalience(0), -1);
  // Withdrawals still find the re-ordered activations.
  Engine.Retract(1);
  Engine.Retract(4);
  EXPECT_EQ(Agenda(), (Strings{"s5 : f-3", "s5 : f-5", "s0 : f-2"}));
  Engine.SetStrategy(ssDepthFirst);
  EXPECT_EQ(Agenda(), (Strings{"s5 : f-5", "s5 : f-3", "s0 : f-2"}));
}

TEST_F(DeducerAgendaTest, OneChangeActivatesRulesInTheOrderTheyWereDefined) {
  // The patterns differ, so that the network reaches the rules' terminals
  // in an order of its own; the order of definition decides.
  Engine.Parse(R"((defrule early (declare (salience 1)) (go ?) (other) =>)
                  (defrule r3 (go ?) =>)
                  (defrule r1 (go 1) =>)
                  (defrule r2 (go $?) =>)
                  (defrule pair (go ?) (item ?x) =>)
                  (defrule high (declare (salience 5)) (go ?) =>))");
  Engine.Assert("(item 1)");
  Engine.Assert("(item 2)");
  Engine.Assert("(other)");
  int id = 4;
  for (TSearchStrategy strategy : {ssDepthFirst, ssBreadthFirst}) {
    SCOPED_TRACE(strategy == ssDepthFirst ? "depth" : "breadth");
    Engine.SetStrategy(strategy);
    Engine.Assert("(go 1)");
    const std::string go = "f-" + IntToStr(id);
    // Several activations of one rule: the one made last first depth
    // first, the first first breadth first.
    Strings pairs{"pair : " + go + ", f-2", "pair : " + go + ", f-1"};
    if (strategy == ssBreadthFirst) std::swap(pairs[0], pairs[1]);
    Strings expected{"high : " + go, "early : " + go + ", f-3",
                     "r3 : " + go,   "r1 : " + go,
                     "r2 : " + go,   pairs[0],
                     pairs[1]};
    EXPECT_EQ(Agenda(), expected);
    // A later change goes before (depth first) or after (breadth first)
    // the activations of that salience, which stay together in their order.
    Engine.Assert("(item 3)");
    const std::string later = "pair : " + go + ", f-" + IntToStr(id + 1);
    if (strategy == ssDepthFirst)
      expected.insert(expected.begin() + 2, later);
    else
      expected.push_back(later);
    EXPECT_EQ(Agenda(), expected);
    Engine.Retract(id);
    Engine.Retract(id + 1);
    id += 2;
  }
}

// The run loop as the language sees it (firing order, traces, limits,
// halt, failures, runs inside a firing) is tested by
// tests/language/rules/run-loop.clp; here, what the host hears.
TEST_F(DeducerAgendaTest, RunAnnouncesItsStartItsFiringsAndItsEnd) {
  Engine.Parse(R"((defrule low (declare (salience -5)) (a ?x) => (printout t "low " ?x crlf))
                  (defrule high (declare (salience 5)) (a ?x) => (printout t "high " ?x crlf)))");
  Engine.Assert("(a 1)");
  Engine.Assert("(a 2)");
  Strings events;
  Engine.OnStartInference = [&](TDeducer*) { events.push_back("start"); };
  Engine.OnEndInference = [&](TPersistent*, int32_t N) { events.push_back("end " + IntToStr(N)); };
  Engine.OnRuleFired = [&](TDeducer*, TRule* R) { events.push_back(R->GetRuleName()); };
  EXPECT_EQ(Engine.Run(0), 0);
  EXPECT_EQ(Engine.Run(3), 3);
  EXPECT_EQ(events, (Strings{"start", "end 0", "start", "high", "high", "low", "end 3"}));
  EXPECT_EQ(Engine.Run(), 1);
  EXPECT_EQ(Engine.GetRulesFired(), 1);  // per run
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
  EXPECT_EQ(Engine.GetAgendaCount(), 1);
  EXPECT_EQ(Engine.Run(), 1);
  // The lock was released: another thread could take it.
  Engine.Lock();
  Engine.Unlock();
}

TEST_F(DeducerAgendaTest, AnActivationLeavesTheAgendaWhateverItsRemovalHandlerRaises) {
  Engine.Parse(R"((defrule r (a ?x) => (printout t "fired " ?x crlf)))");
  Engine.Assert("(a 1)");
  Engine.Assert("(a 2)");
  Engine.Assert("(a 3)");
  Strings removed;
  Engine.OnRemoveActivation = [&](TDeducer*, int Index, TActivation* A) {
    removed.push_back(IntToStr(Index) + " " + A->GetToString());
    throw Exception("handler");
  };
  // Taken off by the host, and by a firing: it goes either way.
  EXPECT_THROW(Engine.RemoveActivation(1), Exception);
  EXPECT_EQ(Agenda(), (Strings{"r : f-3", "r : f-1"}));
  EXPECT_THROW(Engine.Run(), Exception);
  EXPECT_EQ(Out, "fired 3\r\n");
  EXPECT_EQ(removed, (Strings{"1 r : f-2", "0 r : f-3"}));
  EXPECT_EQ(Engine.GetCurrentActivation(), nullptr);
  EXPECT_EQ(Agenda(), (Strings{"r : f-1"}));
  Engine.OnRemoveActivation = nullptr;
  EXPECT_EQ(Engine.Run(), 1);
  EXPECT_EQ(Engine.GetAgendaCount(), 0);
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
  // Unwatched, a run still tells its time in seconds, not a clock reading.
  Engine.SetWatch(TConstructWatches{});
  Engine.Assert("(a 3)");
  EXPECT_EQ(Engine.Run(), 1);
  EXPECT_EQ(Engine.GetRulesFired(), 1);
  EXPECT_GE(Engine.GetRunTime(), 0);
  EXPECT_LT(Engine.GetRunTime(), 3600);
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
  // Ordered as if each had been added with its new salience: the newest
  // first.
  EXPECT_EQ(Engine.Run(), 2);
  EXPECT_EQ(Out, "first 2\r\nfirst 1\r\n");
}

// The agenda against a model that sorts every activation by the order's
// keys (salience, change, rule, and the order they came in), with
// activations of several rules and saliences coming in changes, removals
// from anywhere (enough to split and drop blocks), strategy switches with
// new saliences, and change stamps that wrap. Indexes are asked for now and
// then, so the blocks are made, kept up, and dropped again by a reorder.
TEST(AgendaOrder, KeepsTheOrderOfItsKeys) {
  TDeducer engine;
  std::vector<TRule*> rules;
  for (int i = 0; i < 5; ++i) {
    engine.Parse("(defrule r" + IntToStr(i) + " =>)");
    rules.push_back(engine.Rules().Get("r" + IntToStr(i)));
  }
  for (const uint32_t start : {0u, UINT32_MAX - 40}) {
    struct TItem {
      TActivation* Activation;
      int32_t Salience;
      uint64_t Change;
      int32_t Rule;
      uint64_t Seq;
    };
    std::vector<TItem> model;
    TAgenda agenda;
    agenda.SetChange(start);
    bool depth = true;
    uint64_t change = 0, seq = 0;
    int32_t epoch = 0;
    uint32_t seed = 7 + start;
    auto next = [&](uint32_t N) {
      seed = seed * 1103515245u + 12345u;
      return (seed >> 8) % N;
    };
    // A rule's salience, the same for all its activations until the
    // saliences are evaluated again.
    auto salienceOf = [&](int32_t Rule) { return static_cast<int32_t>((Rule * 7 + epoch) % 3); };
    auto order = [&] {
      std::stable_sort(model.begin(), model.end(), [&](const TItem& A, const TItem& B) {
        if (A.Salience != B.Salience) return A.Salience > B.Salience;
        if (A.Change != B.Change) return depth ? A.Change > B.Change : A.Change < B.Change;
        if (A.Rule != B.Rule) return A.Rule < B.Rule;
        return depth ? A.Seq > B.Seq : A.Seq < B.Seq;
      });
    };
    auto check = [&] {
      ASSERT_EQ(agenda.Count(), static_cast<int>(model.size()));
      for (size_t i = 0; i < model.size(); ++i) {
        ASSERT_EQ(agenda.At(static_cast<int>(i)), model[i].Activation) << i;
        ASSERT_EQ(agenda.IndexOf(model[i].Activation), static_cast<int>(i));
      }
      for (int32_t s = -1; s <= 3; ++s) {
        int place = 0;
        for (const TItem& it : model)
          if (it.Salience > s || (!depth && it.Salience == s)) ++place;
        ASSERT_EQ(agenda.PlaceFor(s, depth), place) << s;
      }
    };
    for (int step = 0; step < 4000; ++step) {
      const uint32_t what = next(20);
      if (what < 2) {
        agenda.NewChange();
        ++change;
      } else if (what < 12 && model.size() < 600) {
        const int32_t rule = static_cast<int32_t>(next(5));
        auto* a = new TActivation(rules[static_cast<size_t>(rule)], nullptr, nullptr);
        agenda.Add(a, salienceOf(rule), depth);
        model.push_back(TItem{a, salienceOf(rule), change,
                              rules[static_cast<size_t>(rule)]->GetRuleId(), seq++});
        order();
      } else if (what < 19 && !model.empty()) {
        const size_t at = next(static_cast<uint32_t>(model.size()));
        agenda.Remove(model[at].Activation);
        EXPECT_FALSE(agenda.Contains(model[at].Activation));
        delete model[at].Activation;
        model.erase(model.begin() + static_cast<ptrdiff_t>(at));
      } else {
        // The saliences evaluated again, under the other strategy.
        ++epoch;
        std::vector<std::pair<TActivation*, int32_t>> items;
        for (TActivation* a : agenda.List()) {
          const int32_t rule = static_cast<int32_t>(
              std::find(rules.begin(), rules.end(), a->GetRule()) - rules.begin());
          items.emplace_back(a, salienceOf(rule));
        }
        depth = !depth;
        agenda.Sort(items, depth, true);
        ++change;
        for (TItem& it : model) {
          const int32_t rule = static_cast<int32_t>(
              std::find(rules.begin(), rules.end(), it.Activation->GetRule()) - rules.begin());
          it.Salience = salienceOf(rule);
        }
        order();
      }
      if (step % 50 == 0) check();
    }
    check();
    // The stamps came to their end and were numbered again, the order
    // kept (checked above).
    if (start != 0) {
      EXPECT_LT(agenda.GetChange(), start);
    }
  }
}

}  // namespace
}  // namespace kb
