#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerTemplates.h"

using namespace kb;

namespace {

using kb::test::ErrorOf;

// Records the template events of an engine as "+name", "-name", "clear".
struct TEventLog {
  explicit TEventLog(TDeducer& Engine) {
    Engine.OnNewFactTemplate = [this](TDeducer*, const IFactTemplate& t) {
      Lines.push_back("+" + t->GetTemplateName());
    };
    Engine.OnRemoveFactTemplate = [this](TDeducer*, const IFactTemplate& t) {
      Lines.push_back("-" + t->GetTemplateName());
    };
    Engine.OnClearFactTemplates = [this](TDeducer*) { Lines.push_back("clear"); };
  }
  std::vector<std::string> Take() {
    std::vector<std::string> r;
    r.swap(Lines);
    return r;
  }
  std::vector<std::string> Lines;
};

using Lines = std::vector<std::string>;

IFactTemplate Template(TDeducer& Engine, const std::string& Name,
                       std::initializer_list<const char*> Slots) {
  IFactTemplate t(new TFactTemplate(&Engine, Name));
  for (const char* s : Slots) t->AddSlot(s, FCNil);
  return t;
}

}  // namespace

TEST(DeducerTemplates, NewEngineHasItsImpliedTemplatesAndNullFact) {
  TDeducer engine;
  ASSERT_EQ(engine.FactTemplates().Count(), 2u);
  for (const char* name : {"Initial-Fact", "__NOT-OR-TEST-CE*"}) {
    IFactTemplate t = engine.FindFactTemplate(name);
    ASSERT_TRUE(t) << name;
    EXPECT_EQ(t->GetComment(), "(Implied)");
    EXPECT_TRUE(t->IsOrdered());
    EXPECT_EQ(t->GetSlotNames(), Lines{"__Data"});
    EXPECT_EQ(t->GetSlot("__Data")->GetSlotDefault(), FCNilList);
    EXPECT_EQ(t->GetOwner(), &engine);
  }
  ASSERT_TRUE(engine.GetNullFact());
  EXPECT_EQ(engine.GetNullFact()->GetTemplate(), engine.FindFactTemplate("__NOT-OR-TEST-CE*"));
  EXPECT_EQ(engine.GetNullFact()->GetToString(), "(__NOT-OR-TEST-CE*)");
  EXPECT_EQ(engine.GetTypeChecks(), TTypeChecks{tcStatic});
  EXPECT_EQ(engine.FactSets().Count(), 0);
  EXPECT_EQ(engine.FactTemplates().GetToString(),
            "(deftemplate Initial-Fact \"(Implied)\" \r\n    (multislot __Data )\r\n)\r\n"
            "(deftemplate __NOT-OR-TEST-CE* \"(Implied)\" \r\n    (multislot __Data )\r\n)\r\n");
}

TEST(DeducerTemplates, CreateAndFindImpliedTemplates) {
  TDeducer engine;
  TEventLog log(engine);
  EXPECT_FALSE(engine.FindFactTemplate("colour"));
  IFactTemplate t = engine.CreateFactTemplate("colour");
  EXPECT_EQ(log.Take(), Lines{"+colour"});
  EXPECT_EQ(engine.CreateFactTemplate("colour"), t);
  EXPECT_EQ(engine.FindFactTemplate("colour"), t);
  EXPECT_TRUE(log.Take().empty());
  // Names are compared exactly.
  EXPECT_FALSE(engine.FindFactTemplate("Colour"));
  // A template added without slots becomes ordered.
  IFactTemplate empty(new TFactTemplate(&engine, "empty"));
  engine.FactTemplates().Add(empty);
  EXPECT_TRUE(empty->IsOrdered());
  EXPECT_EQ(empty->GetSlotNames(), Lines{"__Data"});
}

TEST(DeducerTemplates, DuplicateNamesFollowThePolicy) {
  TDeducer engine;
  TEventLog log(engine);
  IFactTemplate first = Template(engine, "p", {"a"});
  engine.FactTemplates().Add(first);
  engine.FactTemplates().Add(first);  // the same object: nothing happens
  EXPECT_EQ(log.Take(), Lines{"+p"});

  engine.SetDuplicateConstructs(dcError);
  IFactTemplate second = Template(engine, "p", {"b"});
  EXPECT_EQ(ErrorOf([&] { engine.FactTemplates().Add(second); }),
            "Fact Template Name already exists: \"p\"");
  EXPECT_EQ(engine.FindFactTemplate("p"), first);

  engine.SetDuplicateConstructs(dcIgnore);
  engine.FactTemplates().Add(second);
  EXPECT_EQ(engine.FindFactTemplate("p"), first);
  EXPECT_TRUE(log.Take().empty());

  engine.SetDuplicateConstructs(dcOverwrite);
  engine.FactTemplates().Add(second);
  EXPECT_EQ(engine.FindFactTemplate("p"), second);
  EXPECT_EQ(log.Take(), (Lines{"-p", "+p"}));
  // An equal definition is taken by the stored template, which stays.
  IFactTemplate equal = Template(engine, "p", {"b"});
  equal->SetComment("equal");
  second->SetBackwardChaining(true);
  engine.FactTemplates().Add(equal);
  EXPECT_EQ(engine.FindFactTemplate("p"), second);
  EXPECT_EQ(second->GetComment(), "equal");
  EXPECT_TRUE(second->IsBackwardChaining());
  EXPECT_EQ(log.Take(), (Lines{"-p", "+p"}));
  // Definition order is kept across replacements.
  engine.CreateFactTemplate("q");
  engine.FactTemplates().Add(Template(engine, "p", {"c"}));
  std::vector<std::string> names;
  for (const auto& e : engine.FactTemplates().Entries()) names.push_back(e.first);
  EXPECT_EQ(names, (Lines{"Initial-Fact", "__NOT-OR-TEST-CE*", "q", "p"}));
}

TEST(DeducerTemplates, RenamingMovesTheTemplate) {
  TDeducer engine;
  IFactTemplate t = Template(engine, "old", {"a"});
  engine.FactTemplates().Add(t);
  TEventLog log(engine);
  t->SetTemplateName("new");
  EXPECT_EQ(t->GetTemplateName(), "new");
  EXPECT_FALSE(engine.FindFactTemplate("old"));
  EXPECT_EQ(engine.FindFactTemplate("new"), t);
  EXPECT_EQ(log.Take(), (Lines{"-old", "+old"}));  // raised before the name changes
  EXPECT_FALSE(engine.GetUpdatingHT());

  // Onto a name in use: refused before anything moves, unless overwriting.
  IFactTemplate other = Template(engine, "other", {"b"});
  engine.FactTemplates().Add(other);
  engine.SetDuplicateConstructs(dcError);
  EXPECT_EQ(ErrorOf([&] { t->SetTemplateName("other"); }),
            "Fact Template Name already exists: \"other\"");
  EXPECT_EQ(t->GetTemplateName(), "new");
  EXPECT_EQ(engine.FindFactTemplate("new"), t);
  EXPECT_EQ(engine.FindFactTemplate("other"), other);
  engine.SetDuplicateConstructs(dcOverwrite);
  t->SetTemplateName("other");
  EXPECT_EQ(engine.FindFactTemplate("other"), t);
  EXPECT_FALSE(engine.FindFactTemplate("new"));

  // A template of the engine that is not the one installed under its name
  // renames alone.
  IFactTemplate loose = Template(engine, "other", {"z"});
  loose->SetTemplateName("loose");
  EXPECT_EQ(engine.FindFactTemplate("other"), t);
  EXPECT_FALSE(engine.FindFactTemplate("loose"));
}

TEST(DeducerTemplates, RemoveAndClear) {
  TDeducer engine;
  engine.CreateFactTemplate("a");
  TEventLog log(engine);
  engine.FactTemplates().Remove("a");
  engine.FactTemplates().Remove("a");
  EXPECT_EQ(log.Take(), Lines{"-a"});
  engine.FactTemplates().Clear();
  EXPECT_EQ(engine.FactTemplates().Count(), 0u);
  EXPECT_EQ(log.Take(), Lines{"clear"});
  // What clearing the engine does afterwards.
  IFact oldNull = engine.GetNullFact();
  engine.ReleaseNullFact();
  engine.CreateImpliedTemplates();
  EXPECT_EQ(log.Take(), (Lines{"+Initial-Fact", "+__NOT-OR-TEST-CE*"}));
  EXPECT_NE(engine.GetNullFact(), oldNull);
  EXPECT_EQ(engine.GetNullFact()->GetTemplate(), engine.FindFactTemplate("__NOT-OR-TEST-CE*"));
}
