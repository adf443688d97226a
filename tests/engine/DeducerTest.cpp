// The engine component: its settings, its default packages and its
// teardown.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerPackages.h"
#include "engine/DeducerParse.h"
#include "libraries/MiscPackage.h"
#include "libraries/PredicatePackage.h"
#include "parser/KbParser.h"
#include "rete/KbRule.h"

using namespace kb;

namespace {

KB_FUNCTION(TThreadsTwiceFunction, "twice", 1, 1, "Doubles a number", "twice <n>") {
  return NewInteger(2 * Args.Int(0));
}

// One function object registered with every engine it is given.
class TThreadsPackage : public TUserPackage {
 public:
  TThreadsPackage() : TUserPackage(nullptr) { AfterConstruction(); }
  void CreateFunctions() override { Register<TThreadsTwiceFunction>(); }
};

// The classes of the packages an engine owns, in order.
std::vector<std::string> OwnedPackages(const TDeducer& Engine) {
  std::vector<std::string> r;
  for (int i = 0; i < Engine.GetComponentCount(); ++i)
    if (auto* p = dynamic_cast<TUserPackage*>(Engine.GetComponent(i))) r.push_back(p->ClassName());
  return r;
}

}  // namespace

TEST(Deducer, NewEngineSettings) {
  TDeducer engine;
  EXPECT_EQ(engine.GetDuplicateConstructs(), dcOverwrite);
  EXPECT_EQ(engine.GetParserMaxErrors(), 10);
  EXPECT_EQ(engine.GetParserErrorHandling(), ehRaiseImmediate);
  EXPECT_TRUE(engine.GetResetGlobals());
  EXPECT_FALSE(engine.GetFactDuplication());
  EXPECT_EQ(engine.GetTypeChecks(), TTypeChecks{tcStatic});
  EXPECT_EQ(engine.GetStrategy(), ssDepthFirst);
  EXPECT_EQ(engine.GetSalienceEvaluation(), sActivate);
  EXPECT_TRUE(engine.GetWatch().IsEmpty());
  EXPECT_EQ(engine.GetSymbolIndex(), 0);
  EXPECT_DOUBLE_EQ(engine.GetVersion(), 1.1);
  EXPECT_EQ(engine.GetPackages(), AllFunctionPackages);
  // The initial fact, identifier 0, and nothing else.
  EXPECT_EQ(engine.Facts().GetToIDString(), "f-0 (Initial-Fact)");
  // The settings reach the parser.
  engine.SetParserErrorHandling(ehRaiseAllAtEnd);
  engine.SetParserMaxErrors(2);
  engine.SetTypeChecks({tcDynamic});
  EXPECT_EQ(engine.GetParser().GetErrorHandling(), ehRaiseAllAtEnd);
  EXPECT_EQ(engine.GetParser().GetMaxErrors(), 2);
  EXPECT_FALSE(engine.GetParser().GetStaticTypeCheck());
}

TEST(Deducer, DefaultPackagesInTheirOrder) {
  TDeducer engine;
  EXPECT_EQ(OwnedPackages(engine),
            (std::vector<std::string>{"TStandardPackage", "TMiscPackage", "TPredicatePackage",
                                      "TMathPackage", "TStringPackage", "TObjectPackage",
                                      "TTrigonometryPackage", "TBusinessPackage"}));
  auto* misc = FindComponentOfType<TMiscPackage>(&engine);
  ASSERT_NE(misc, nullptr);
  std::vector<std::string> names;
  for (const IUserFunction& f : misc->GetFunctions()) names.push_back(f->GetFunctionName());
  EXPECT_EQ(names, (std::vector<std::string>{"time",
                                             "agenda",
                                             "list-defrules",
                                             "list-deffacts",
                                             "list-deffunctions",
                                             "list-deftemplates",
                                             "set-reset-globals",
                                             "setgen",
                                             "facts",
                                             "rules",
                                             "ppdeffacts",
                                             "ppdeffunction",
                                             "ppdeftemplate",
                                             "ppdefrule",
                                             "undefrule",
                                             "undeffacts",
                                             "undeffunction",
                                             "undeftemplate",
                                             "get-dynamic-constraint-checking",
                                             "get-static-constraint-checking",
                                             "set-dynamic-constraint-checking",
                                             "set-static-constraint-checking",
                                             "input-box",
                                             "input-query",
                                             "message-dlg",
                                             "show-message"}));
  EXPECT_EQ(engine.GetUserFunction("ppdefrule")->GetComment(),
            "Displays a formatted representation of the rule specified by the name, which is "
            "suitable for parsing\r\n     syntax: (ppdefrule <rule-name>)");
  EXPECT_EQ(engine.GetUserFunction("facts")->GetMaxArgumentCount(), 3);
}

TEST(Deducer, SettingPackages) {
  TDeducer engine;
  int added = 0;
  engine.OnAddDefaultPackages = [&](TDeducer*) { ++added; };
  // The same set recreates nothing.
  TComponent* first = engine.GetComponent(0);
  engine.SetPackages(AllFunctionPackages);
  EXPECT_EQ(added, 0);
  EXPECT_EQ(engine.GetComponent(0), first);
  // A host's function and a host's package stay whatever the set.
  TPredicatePackage host(nullptr);
  host.SetEngine(&engine);
  TUserFunction hostFunction(nullptr, "host-fn");
  hostFunction.SetEngine(&engine);
  engine.SetPackages({});
  EXPECT_EQ(added, 1);
  EXPECT_TRUE(OwnedPackages(engine).empty());
  EXPECT_FALSE(engine.ContainsUserFunction("printout"));
  EXPECT_TRUE(engine.ContainsUserFunction("host-fn"));
  EXPECT_TRUE(engine.ContainsUserFunction("evenp"));
  EXPECT_EQ(engine.GetUserFunctions().size(), host.GetFunctions().Count() + 1u);
  engine.SetPackages({pMiscellaneous, pStandard});
  EXPECT_EQ(OwnedPackages(engine), (std::vector<std::string>{"TStandardPackage", "TMiscPackage"}));
  EXPECT_TRUE(engine.ContainsUserFunction("ppdefrule"));
  EXPECT_FALSE(engine.ContainsUserFunction("abs"));
}

TEST(Deducer, NoEventReachesTheHostDuringTeardown) {
  std::vector<std::string> heard;
  {
    auto engine = std::make_unique<TDeducer>();
    engine->Parse(
        "(deftemplate p (slot a))\n"
        "(defrule r (p (a ?a)) => (printout t ?a crlf))\n"
        "(assert (p (a 1)))");
    engine->SetWatch({cwFact, cwActivation, cwRule});
    auto log = [&heard](const char* What) {
      return [&heard, What](auto&&...) { heard.push_back(What); };
    };
    engine->OnPrintOut = log("print");
    engine->OnRemoveRule = log("remove rule");
    engine->OnClearRules = log("clear rules");
    engine->OnRetraction = log("retraction");
    engine->OnClearFacts = log("clear facts");
    engine->OnRemoveActivation = log("remove activation");
    engine->OnRemoveFactTemplate = log("remove template");
    engine->OnClearFactTemplates = log("clear templates");
    engine->OnClear = log("clear");
    engine->GetParser().OnParse = log("parse");
  }
  EXPECT_TRUE(heard.empty());
}

TEST(Deducer, LockIsTheEnginesOwn) {
  TDeducer engine;
  engine.Lock();
  // Entered again by the same thread (an action of a firing rule).
  engine.Lock();
  engine.Unlock();
  bool entered = false;
  std::thread other([&] {
    engine.Lock();
    entered = true;
    engine.Unlock();
  });
  engine.Unlock();
  other.join();
  EXPECT_TRUE(entered);
}

// Engines run on several threads at once, sharing what engines share by
// design: one package's function object, the shared constants (TRUE, nil,
// the empty list), the texts of host-made symbols that each engine holds a
// copy of, and symbols every thread makes for itself. Then each engine
// moves to another thread and runs again. Every run gives the same result.
TEST(Deducer, EnginesRunOnSeveralThreadsAtOnceAndMove) {
  constexpr int Engines = 4;
  const std::string program =
      "(deftemplate item (slot n) (slot tag) (multislot more))\n"
      "(defglobal ?*sum* = 0 ?*host* = nil)\n"
      "(defrule step\n"
      "  ?f <- (count ?n&:(< ?n 300))\n"
      "  =>\n"
      "  (retract ?f)\n"
      "  (assert (count (+ ?n 1)))\n"
      "  (assert (item (n (twice ?n)) (tag TRUE) (more ?*host* shared-symbol))))\n"
      "(defrule add\n"
      "  (item (n ?x) (tag TRUE) (more ?h shared-symbol))\n"
      "  =>\n"
      "  (bind ?*sum* (+ ?*sum* ?x)))\n"
      "(deffacts start (count 0))\n";
  TThreadsPackage package;
  const IKbValue host = NewAtom("made-by-the-host");
  std::vector<std::unique_ptr<TDeducer>> engines;
  for (int i = 0; i < Engines; ++i) {
    engines.push_back(std::make_unique<TDeducer>());
    TDeducer& e = *engines.back();
    package.GetReasoners().Add(&e);
    e.Parse(program);
    e.GlobalVariables().Put("*host*", host->CloneValue());
  }
  // 2 * (0 + 1 + ... + 299)
  constexpr int32_t expected = 89700;
  for (int round = 0; round < 2; ++round) {
    std::vector<int32_t> sums(Engines, -1);
    std::vector<std::thread> threads;
    for (int t = 0; t < Engines; ++t) {
      // Round 1 runs engine t on thread t, round 2 on thread t + 1.
      const int i = (t + round) % Engines;
      threads.emplace_back([&, i] {
        TDeducer& e = *engines[static_cast<size_t>(i)];
        e.Reset();
        e.Run();
        sums[static_cast<size_t>(i)] = e.ParseNExecuteFunCall("(+ ?*sum* 0)")->GetAsInteger();
      });
    }
    for (std::thread& t : threads) t.join();
    for (int32_t s : sums) EXPECT_EQ(s, expected);
  }
  EXPECT_EQ(host->GetText(), "made-by-the-host");
  engines.clear();
  EXPECT_EQ(package.GetReasoners().Count(), 0);
}
