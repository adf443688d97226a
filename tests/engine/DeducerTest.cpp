// The engine component: its settings, its default packages and its
// teardown.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "engine/Deducer.h"
#include "libraries/MiscPackage.h"
#include "libraries/PredicatePackage.h"
#include "rete/KbRule.h"

using namespace kb;

namespace {

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
  // The object package is not part of this library: its member creates
  // nothing.
  EXPECT_EQ(OwnedPackages(engine),
            (std::vector<std::string>{"TStandardPackage", "TMiscPackage", "TPredicatePackage",
                                      "TMathPackage", "TStringPackage", "TTrigonometryPackage",
                                      "TBusinessPackage"}));
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
                                             "set-static-constraint-checking"}));
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
