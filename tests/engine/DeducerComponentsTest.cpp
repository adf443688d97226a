#include "engine/DeducerComponents.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "EngineHelper.h"
#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerFunctions.h"
#include "engine/DeducerPackages.h"
#include "engine/DeducerParse.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "framework/TypInfo.h"
#include "parser/KbClipsParser.h"

using namespace kb;
using kb::test::ErrorOf;
using kb::test::TCollectingEngine;

namespace {

// A knowledge base using every kind of construct and setting a file holds.
constexpr const char* Everything = R"(
(deftemplate order "an order" (slot id (type INTEGER) (default 0))
  (slot price (type FLOAT) (default 1.5)) (slot who (type STRING) (default "anon"))
  (slot state (type SYMBOL) (default new)) (multislot tags (default a b)))
(deftemplate big-order extends order (slot rush (default FALSE)))
(deftemplate need (slot what))
(do-backward-chaining need)
(deffunction twice (?x) (* 2 ?x))
(defglobal ?*limit* = 100 ?*names* = (create$ x "y" 3))
(deffacts start "initial orders" (order (id 1) (price 20.0)) (big-order (id 2) (rush TRUE)))
(defrule pay "pays small orders" (declare (salience 10))
  ?o <- (order (id ?i) (price ?p&:(< ?p ?*limit*)) (state new))
  => (modify ?o (state paid)) (printout t "paid " ?i " " (twice ?p) " " (gensym*) crlf))
(defrule big (big-order (id ?i) (rush TRUE)) => (printout t "rush " ?i crlf))
(defrule asks (need (what ?w)) => (printout t "need " ?w crlf))
(defrule wants (order (id 3)) (need (what x)) => (printout t "has x" crlf))
)";

void FillEngine(TDeducer& E) {
  E.Parse(Everything);
  E.Reset();
  E.Parse("(bind ?*made* 7)");
  E.Parse("(store counter 42) (store list (create$ 1 2))");
  E.Assert("(order (id 3) (who \"q\\\"\") (tags))");
  E.SetStrategy(ssBreadthFirst);
  E.SetFactDuplication(true);
  E.SetParserMaxErrors(3);
  E.SetResetGlobals(false);
  E.SetSalienceEvaluation(sEveryTime);
  E.SetWatch(TConstructWatches{cwCompilation});
  E.SetPackages(AllFunctionPackages - TFunctionPackages{pTrigonometry});
  E.GenerateSymbol("gen");
}

// What an engine shows of itself: its saved text, settings and the output
// of running it from where it is and again after a reset.
std::string Behaviour(TCollectingEngine& C) {
  TDeducer& E = C.E;
  std::ostringstream r;
  r << E.GetExpertSystem() << "\n--\n"
    << int(E.GetStrategy()) << E.GetFactDuplication() << E.GetParserMaxErrors()
    << E.GetResetGlobals() << int(E.GetSalienceEvaluation()) << E.GetWatch().ToInt() << " "
    << E.GetPackages().ToInt() << " " << E.GetSymbolIndex() << " " << E.ContainsUserFunction("cos")
    << E.ContainsUserFunction("twice") << "\n";
  r << PrettyPrintValue(E.Variables().Get("counter")) << PrettyPrintValue(E.Variables().Get("list"))
    << "\n";
  C.Take();
  E.Run();
  r << C.Take() << "--\n";
  E.Reset();
  E.Run();
  r << C.Take();
  return r.str();
}

std::string Copied(const std::string& Text) {
  TCollectingEngine target;
  LoadComponentText(target.E, Text);
  return Behaviour(target);
}

std::string SourceDir() {
  const char* d = std::getenv("KB_SOURCE_DIR");
  return d ? d : "..";
}

}  // namespace

TEST(ComponentFiles, AnEngineReadBackBehavesTheSame) {
  TCollectingEngine source;
  FillEngine(source.E);
  const std::string text = ComponentText(source.E);
  // Settings at their defaults are left out; changed ones are there.
  EXPECT_EQ(text.find("\"DuplicateConstructs\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"Strategy\": \"ssBreadthFirst\""), std::string::npos) << text;
  EXPECT_NE(text.find("\"FactSetName\": \"start\""), std::string::npos) << text;
  // Each collection is a part of the engine, written inline with its
  // class and its list, after the settings and in the order the lists
  // must be read; the engine keeps working memory.
  const auto j = nlohmann::ordered_json::parse(text);
  const auto& props = j["object"]["properties"];
  std::vector<std::string> keys;
  for (auto it = props.begin(); it != props.end(); ++it) keys.push_back(it.key());
  const std::vector<std::string> tail = {"FactTemplates", "UserFunctions", "GlobalVariables",
                                         "Rules", "Variables"};
  ASSERT_GE(keys.size(), tail.size());
  EXPECT_EQ(std::vector<std::string>(keys.end() - 5, keys.end()), tail) << text;
  const std::pair<const char*, const char*> lists[] = {{"TFactTemplates", "Templates"},
                                                       {"TUserFunctions", "Functions"},
                                                       {"TGlobalVariables", "Variables"},
                                                       {"TRules", "Rules"},
                                                       {"TEngineVariables", "Variables"}};
  for (size_t i = 0; i < tail.size(); ++i) {
    const auto& part = props[tail[i]];
    EXPECT_EQ(part["class"], lists[i].first);
    EXPECT_FALSE(part["data"][lists[i].second].empty()) << tail[i];
  }
  EXPECT_EQ(props["Rules"]["data"]["Rules"].size(), 4u);
  ASSERT_EQ(j["object"]["data"].size(), 1u);
  EXPECT_TRUE(j["object"]["data"].contains("FactsList"));
  const std::string copy = Copied(text);
  const std::string original = Behaviour(source);
  EXPECT_EQ(copy, original);
  // The copy writes the same file.
  TCollectingEngine again;
  LoadComponentText(again.E, text);
  EXPECT_EQ(ComponentText(again.E), text);
}

TEST(ComponentFiles, FilesWithTheListsOnTheEngineStillLoad) {
  // The form files had before the collections were parts of the engine.
  const std::string old = R"json({"format": "deducer-component", "version": 1, "object": {
    "class": "TDeducer", "name": "engine",
    "properties": {"Strategy": "ssBreadthFirst"},
    "data": {
      "Templates": ["(deftemplate order (slot id) (slot price (default 1.5)))"],
      "Functions": ["(deffunction twice (?x) (* 2 ?x))"],
      "GlobalVariables": ["(defglobal ?*limit* = 10)"],
      "Rules": ["(defrule show (order (id ?i&:(< ?i ?*limit*)) (price ?p)) => (printout t ?i \" \" (twice ?p) crlf))"],
      "Variables": ["counter", "value", "42", "list", "list", "1 2"],
      "FactsList": ["(order (id 2) (price 2.5))", "(order (id 20))"]},
    "components": [{"class": "TFactSet", "properties": {"FactSetName": "start"},
                    "data": {"Facts": ["(order (id 1))"]}}]}})json";
  TCollectingEngine e;
  LoadComponentText(e.E, old);
  EXPECT_EQ(e.E.GetStrategy(), ssBreadthFirst);
  EXPECT_EQ(PrettyPrintValue(e.E.Variables().Get("counter")), "42");
  EXPECT_EQ(e.E.Facts().Count(), 2);
  // Written again, it takes the form of today and behaves the same.
  const std::string text = ComponentText(e.E);
  const auto j = nlohmann::ordered_json::parse(text);
  EXPECT_EQ(j["object"]["properties"]["FactTemplates"]["data"]["Templates"].size(), 3u) << text;
  EXPECT_FALSE(j["object"]["data"].contains("Templates")) << text;
  const std::string copy = Copied(text);
  EXPECT_EQ(copy, Behaviour(e));
  EXPECT_NE(copy.find("\n2 5\r\n--\n1 3\r\n"), std::string::npos) << copy;
}

TEST(ComponentFiles, TheExamplesReadBackBehaveTheSame) {
  for (const char* name : {"blocks", "diagnosis", "houses", "savings"}) {
    SCOPED_TRACE(name);
    TCollectingEngine source;
    ASSERT_TRUE(source.E.LoadFromFile(SourceDir() + "/examples/" + name + ".clp"));
    source.E.Reset();
    const std::string text = ComponentText(source.E);
    const std::string copy = Copied(text);
    const std::string original = Behaviour(source);
    EXPECT_EQ(copy, original);
  }
}

TEST(ComponentFiles, ABadFileNamesThePlaceAndLeavesTheEngineAsItWas) {
  TCollectingEngine source;
  FillEngine(source.E);
  const std::string good = ComponentText(source.E);
  TCollectingEngine target;
  target.E.Parse("(deftemplate mine (slot x)) (defrule keep (mine) =>)");
  target.E.Assert("(mine (x 1))");
  target.E.SetStrategy(ssBreadthFirst);
  const std::string before = target.E.GetExpertSystem();
  auto load = [&](const std::string& Text) {
    std::string e = ErrorOf([&] { LoadComponentText(target.E, Text); });
    EXPECT_EQ(target.E.GetExpertSystem(), before) << e;
    EXPECT_EQ(target.E.GetStrategy(), ssBreadthFirst);
    return e;
  };
  auto replaced = [&](const std::string& From, const std::string& To) {
    std::string t = good;
    size_t at = t.find(From);
    EXPECT_NE(at, std::string::npos) << From;
    return at == std::string::npos ? t : t.replace(at, From.size(), To);
  };
  for (size_t cut : {size_t{0}, size_t{10}, good.size() / 3, good.size() - 3})
    EXPECT_EQ(load(good.substr(0, cut)).rfind("Component file is not valid JSON at byte ", 0), 0u);
  EXPECT_EQ(load(replaced("\"TFactSet\"", "\"TFactHeap\"")),
            "Component file, at TDeducer: unknown class TFactHeap");
  EXPECT_EQ(load(replaced("\"Strategy\"", "\"Stratagem\"")),
            "Component file, at TDeducer > property Stratagem: unknown property of class TDeducer");
  EXPECT_EQ(load(replaced("\"ParserMaxErrors\": 3", "\"ParserMaxErrors\": \"3\"")),
            "Component file, at TDeducer > property ParserMaxErrors: an integer expected for a "
            "property of kind integer, not string");
  EXPECT_EQ(load(replaced("\"pMath\"", "\"pAlgebra\"")),
            "Component file, at TDeducer > property Packages: Unknown value pAlgebra for property "
            "Packages (one of pStandard, pPredicate, pMath, pMiscellaneous, pString, pObject, "
            "pTrigonometry, pBusiness)");
  // A construct text that does not parse: the list and item are named.
  const std::string broken = load(replaced("(deffunction twice", "(deffunction 12"));
  EXPECT_EQ(broken.rfind("Component file, at TDeducer > property UserFunctions > TUserFunctions "
                         "> data Functions, item 0: ",
                         0),
            0u)
      << broken;
  // Inside a part: what does not belong there, or is of the wrong kind.
  auto edited = [&](const std::function<void(nlohmann::ordered_json&)>& Edit) {
    auto j = nlohmann::ordered_json::parse(good);
    Edit(j["object"]["properties"]);
    return j.dump(2);
  };
  EXPECT_EQ(load(edited([](auto& P) { P["FactTemplates"]["properties"]["Capacity"] = 101; })),
            "Component file, at TDeducer > property FactTemplates > TFactTemplates > property "
            "Capacity: unknown property of class TFactTemplates");
  EXPECT_EQ(load(edited([](auto& P) { P["FactTemplates"]["data"]["Slots"] = {"x"}; })),
            "Component file, at TDeducer > property FactTemplates > TFactTemplates: unknown data "
            "\"Slots\"");
  EXPECT_EQ(load(edited([](auto& P) { P["FactTemplates"]["data"]["Templates"][1] = 3; })),
            "Component file, at TDeducer > property FactTemplates > TFactTemplates > data "
            "Templates: item 1 is number, not a string");
  EXPECT_EQ(load(edited([](auto& P) { P["FactTemplates"] = {"(deftemplate a)"}; })),
            "Component file, at TDeducer > property FactTemplates: an object expected for a part, "
            "not array");
  EXPECT_EQ(load(edited([](auto& P) { P["Rules"]["class"] = "TFactTemplates"; })),
            "Component file, at TDeducer > property Rules: a TFactTemplates cannot be read into "
            "the TRules the property holds");
  EXPECT_EQ(load(edited([](auto& P) { P["Variables"]["data"]["Variables"][1] = "table"; })),
            "Component file, at TDeducer > property Variables > TEngineVariables > data "
            "Variables, item 2: Bad Argument: table");
  // A rule of a template the file does not define.
  const std::string rule =
      load(edited([](auto& P) { P["FactTemplates"]["data"]["Templates"].erase(3); }));
  EXPECT_EQ(
      rule.rfind("Component file, at TDeducer > property Rules > TRules > data Rules, item ", 0),
      0u)
      << rule;
  // A fact of a template the file does not define.
  const std::string fact = load(replaced("\"(order (id 3)", "\"(order (colour 3)"));
  EXPECT_EQ(fact.rfind("Component file, at TDeducer > data FactsList, item ", 0), 0u) << fact;
}

TEST(ComponentFiles, SavingRefusesWhatWouldNotReadBack) {
  TDeducer e;
  // A fact holding another fact's address has no text that reads back.
  e.Parse("(deftemplate t (slot x)) (deftemplate holder (slot f))");
  e.Parse("(defrule r ?a <- (t) => (assert (holder (f ?a))))");
  e.Assert("(t (x 1))");
  e.Run();
  TMemoryStream out;
  EXPECT_NE(ErrorOf([&] { SaveComponent(e, out); }).find("Cannot save the fact"),
            std::string::npos);
  EXPECT_EQ(out.DataString(), "");
}

TEST(EngineParts, ValuesThatReferToThemReadAsFreedOnceTheEngineGoes) {
  auto e = std::make_unique<TDeducer>();
  TPersistent* rules = GetObjectProp(e.get(), "Rules");
  EXPECT_EQ(rules, &e->Rules());
  EXPECT_EQ(ClassOf(rules)->Name, "TRules");
  EXPECT_EQ(ClassOf(GetObjectProp(e.get(), "GlobalVariables"))->Name, "TGlobalVariables");
  IKbValue v = NewValue();
  v->SetAsObject(rules);
  EXPECT_EQ(v->GetAsObject(), rules);
  e.reset();
  EXPECT_TRUE(v->IsFreedObject());
  EXPECT_EQ(v->GetAsObject(), nullptr);
}
