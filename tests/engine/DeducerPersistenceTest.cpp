// The engine's persistence: the whole-system text, save and load through
// streams and files, and copying between engines. The round trips run
// several knowledge bases: what is read back prints the same text and
// fires the same rules with the same output. What the language's save and
// load do is tested by the scripts of tests/language/persistence/.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "EngineHelper.h"
#include "ErrorHelper.h"
#include "ProcessHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"
#include "engine/DeducerFunctions.h"
#include "engine/DeducerParse.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "rete/KbRule.h"

using namespace kb;
using kb::test::TTempDir;

namespace {

using kb::test::ErrorOf;

using TEngine = kb::test::TCollectingEngine;

std::string FactTexts(TDeducer& Engine) { return Engine.Facts().GetToIDString(); }

std::string ReadFile(const std::string& Path) {
  std::ifstream f(Path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// Knowledge bases for the round trips: each defines constructs, resets and
// asserts facts; running it prints what its rules do.
struct TBase {
  const char* Name;
  const char* Text;
};

const TBase Bases[] = {
    {"people",
     // Templates with types, defaults and inheritance; fact sets; every
     // kind of conditional element; salience; deffunctions; globals.
     "(deftemplate person \"a \\\"person\\\"\" (slot name (type STRING)) "
     "  (slot age (type INTEGER) (default 0)) (multislot tags))\n"
     "(deftemplate employee extends person (slot salary (type FLOAT) (default 1000.0)))\n"
     "(deffacts staff \"the staff\" (employee (name \"Ann\") (age 30) (tags a b))\n"
     "  (person (name \"Bob\")) (employee (name \"Cy\") (age 61) (salary 2500.0)))\n"
     "(deffunction raise (?s ?pct) (* ?s (+ 1 (/ ?pct 100))))\n"
     "(deffunction fact (?n) (if (<= ?n 1) then 1 else (* ?n (fact (- ?n 1)))))\n"
     "(defglobal ?*pct* = 10 ?*limit* = (fact 3))\n"
     "(defrule pay (declare (salience 5))\n"
     "  ?e <- (employee (name ?n) (salary ?s&:(< ?s 1200.0)))\n"
     "  => (modify ?e (salary (raise ?s ?*pct*))) (printout t \"raise \" ?n crlf))\n"
     "(defrule show (person (name ?n) (age ?a&~0)) => (printout t ?n \" is \" ?a crlf))\n"
     "(defrule nobody (not (person (age 99))) (test (> ?*limit* 1))\n"
     "  => (printout t \"nobody is 99\" crlf))\n"
     "(defrule tagged (person (name ?n) (tags $? b $?)) (exists (employee (age ?x&:(> ?x 60))))\n"
     "  => (printout t ?n \" is tagged\" crlf))\n"
     "(defrule named (person (name \"Bob\"|\"Dee\")) => (printout t \"Bob or Dee\" crlf))\n"
     "(defrule senior (employee (name ?n) (age ?a)) (test (> ?a 60))\n"
     "  => (printout t ?n \" is senior\" crlf))\n"
     "(reset)\n"
     "(assert (person (name \"Dee\") (age 99) (tags x)))\n"},
    {"counting",
     // Ordered facts, retract and assert in actions, a loop of firings.
     "(deffacts start (count 0) (limit 5))\n"
     "(defrule step ?c <- (count ?n) (limit ?l&:(< ?n ?l))\n"
     "  => (retract ?c) (assert (count (+ ?n 1))) (printout t \"count \" ?n crlf))\n"
     "(defrule done (count ?n) (limit ?n) => (printout t \"done at \" ?n crlf))\n"
     "(reset)\n"},
    {"texts",
     // Strings with quotes and backslashes, floats, negative numbers,
     // multifields, symbols, an empty fact set and a global list.
     "(deftemplate note (slot text (type STRING) (default \"\")) (slot weight (default -1.5))\n"
     "  (multislot words (default a \"b c\" 3)))\n"
     "(deffacts notes (note (text \"say \\\"hi\\\" \\\\ bye\") (weight 2.25)) (note))\n"
     "(deffacts empty)\n"
     "(defglobal ?*words* = (create$ x \"y z\" 1.0))\n"
     "(defrule print (note (text ?t) (weight ?w) (words $?ws))\n"
     "  => (printout t ?t \" \" ?w \" \" (length$ ?ws) crlf))\n"
     "(reset)\n"
     "(assert (note (text \"late\") (words)))\n"},
    {"functions-only",
     // No rules or templates of its own: deffunctions and globals.
     "(deffunction twice (?x) (* 2 ?x))\n"
     "(deffunction sum ($?xs) (bind ?t 0) (foreach ?x ?xs (bind ?t (+ ?t ?x))) ?t)\n"
     "(defglobal ?*base* = (twice 21))\n"
     "(reset)\n"},
};

class RoundTrip : public ::testing::TestWithParam<TBase> {};

}  // namespace

TEST(DeducerPersistence, NewEngineText) {
  TDeducer engine;
  EXPECT_EQ(engine.GetExpertSystem(),
            "; *************************\r\n"
            "; Fact Templates \r\n"
            "\r\n"
            "(deftemplate Initial-Fact \"(Implied)\" \r\n    (multislot __Data )\r\n)\r\n"
            "(deftemplate __NOT-OR-TEST-CE* \"(Implied)\" \r\n    (multislot __Data )\r\n)\r\n"
            "\r\n"
            "; *************************\r\n"
            "; Deffunctions \r\n"
            "\r\n"
            "; *************************\r\n"
            "; Rules \r\n"
            "\r\n"
            "\r\n"
            "; *************************\r\n"
            "; Fact Sets \r\n"
            "\r\n"
            "\r\n"
            "; *************************\r\n"
            "; Facts \r\n"
            "\r\n"
            "(assert\r\n"
            "    (Initial-Fact)\r\n"
            ")\r\n");
  // After Clear there are no facts: no facts section.
  engine.Clear();
  const std::string text = engine.GetExpertSystem();
  EXPECT_EQ(text.find("; Facts"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 16), "; Fact Sets \r\n\r\n");
}

TEST(DeducerPersistence, SectionsInOrder) {
  TDeducer engine;
  engine.Parse(
      "(deftemplate p (slot a (default 1)))\n"
      "(deffunction f (?x) (+ ?x 1))\n"
      "(defglobal ?*g* = (f 1))\n"
      "(defrule r (p (a ?a)) => (printout t ?a crlf))\n"
      "(deffacts s (p (a 2)))\n"
      "(do-backward-chaining q)\n"
      "(assert (p))");
  const std::string text = engine.GetExpertSystem();
  std::vector<size_t> at;
  for (const char* piece :
       {"; Fact Templates \r\n\r\n(deftemplate Initial-Fact", "(deftemplate p \"\" \r\n",
        "(deftemplate q \"(Implied)\"", "(deftemplate need-q \"Goal seeker for q\"",
        "(do-backward-chaining q)\r\n", "; Deffunctions \r\n(deffunction f (?x)",
        "; Global Variables \r\n\r\n(defglobal ?*g* = (f 1)", "; Rules \r\n\r\n(defrule r\r\n",
        "; Fact Sets \r\n\r\n(deffacts s \"\"",
        "; Facts \r\n\r\n(assert\r\n    (Initial-Fact)\r\n    (p (a 1))\r\n)\r\n"}) {
    at.push_back(text.find(piece));
    EXPECT_NE(at.back(), std::string::npos) << piece << "\n" << text;
  }
  for (size_t i = 1; i < at.size(); ++i) EXPECT_LT(at[i - 1], at[i]) << i;
  // The backward-chaining mark travels with the text.
  TDeducer copy;
  TMemoryStream stream(text);
  copy.LoadFromStream(stream);
  EXPECT_TRUE(copy.FindFactTemplate("q")->IsBackwardChaining());
  EXPECT_EQ(copy.GetExpertSystem(), text);
}

TEST_P(RoundTrip, LoadedTextPrintsAndRunsTheSame) {
  const TBase& base = GetParam();
  TEngine original;
  original.E.Parse(base.Text);
  original.Take();
  const std::string text = original.E.GetExpertSystem();

  // Read into a new engine (which holds its own initial fact already).
  TEngine loaded;
  TMemoryStream stream(text);
  loaded.E.LoadFromStream(stream);
  loaded.Take();
  EXPECT_EQ(loaded.E.GetExpertSystem(), text);
  EXPECT_EQ(FactTexts(loaded.E), FactTexts(original.E));
  // Reading it twice gives the same: equal definitions stay, equal facts
  // are not asserted twice, a deffacts read again replaces itself.
  TEngine twice;
  for (int i = 0; i < 2; ++i) {
    stream.SetPosition(0);
    twice.E.LoadFromStream(stream);
  }
  EXPECT_EQ(twice.E.GetExpertSystem(), text);

  // Whole-system text: cleared, read and reset.
  TEngine set;
  set.E.SetExpertSystem(text);
  set.Take();

  // A copy of the engine that outlives the original's knowledge base.
  TEngine copied;
  copied.E.Assign(&original.E);
  copied.Take();
  EXPECT_EQ(copied.E.GetExpertSystem(), text);

  const int32_t fired = original.E.Run();
  const std::string output = original.Take();
  EXPECT_EQ(loaded.E.Run(), fired);
  EXPECT_EQ(loaded.Take(), output);
  EXPECT_EQ(copied.E.Run(), fired);
  EXPECT_EQ(copied.Take(), output);
  EXPECT_EQ(FactTexts(loaded.E), FactTexts(original.E));

  // After a reset the whole-system text gives the same engine.
  original.E.Reset();
  original.Take();
  EXPECT_EQ(set.E.GetExpertSystem(), original.E.GetExpertSystem());
  EXPECT_EQ(set.E.Run(), original.E.Run());
  EXPECT_EQ(set.Take(), original.Take());
}

INSTANTIATE_TEST_SUITE_P(Bases, RoundTrip, ::testing::ValuesIn(Bases),
                         [](const ::testing::TestParamInfo<TBase>& Info) {
                           std::string name = Info.param.Name;
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

TEST(DeducerPersistence, SetExpertSystemKeepsConstructsNotFacts) {
  TEngine a;
  a.E.Parse(Bases[0].Text);
  ASSERT_EQ(a.E.Facts().Count(), 5);
  const std::string text = a.E.GetExpertSystem();
  a.E.SetExpertSystem(text);
  // The initial fact and the fact sets' facts; Dee, asserted by the text's
  // facts section, went with the reset.
  EXPECT_EQ(a.E.Facts().Count(), 4);
  EXPECT_EQ(a.E.Facts().GetToString().find("Dee"), std::string::npos);
  EXPECT_EQ(a.E.Rules().Count(), 6u);
  EXPECT_TRUE(a.E.FindFactTemplate("employee"));
  EXPECT_EQ(a.E.FindFactTemplate("employee")->GetParent(), a.E.FindFactTemplate("person"));
}

TEST(DeducerPersistence, SaveFactsByTemplateName) {
  TDeducer engine;
  engine.Parse(
      "(deftemplate person (slot name))\n"
      "(deftemplate Person (slot name))\n"
      "(assert (person (name a)) (Person (name b)) (other 1) (person (name c)))");
  TMemoryStream all;
  engine.SaveFacts(all);
  EXPECT_EQ(all.DataString(),
            "(Initial-Fact)\r\n(person (name a))\r\n(Person (name b))\r\n(other 1)\r\n"
            "(person (name c))\r\n");
  TMemoryStream persons;
  engine.SaveFacts(persons, "person");
  EXPECT_EQ(persons.DataString(), "(person (name a))\r\n(person (name c))\r\n");
  TMemoryStream none;
  engine.SaveFacts(none, "nobody");
  EXPECT_EQ(none.DataString(), "");

  // Loading adds to the facts there; equal facts are not asserted twice.
  TDeducer other;
  other.Parse("(deftemplate person (slot name)) (assert (person (name z)))");
  persons.SetPosition(0);
  other.LoadFacts(persons);
  EXPECT_EQ(other.Facts().GetToString(),
            "(Initial-Fact)\r\n(person (name z))\r\n(person (name a))\r\n(person (name c))");
  persons.SetPosition(0);
  other.LoadFacts(persons);
  EXPECT_EQ(other.Facts().Count(), 4);
}

TEST(DeducerPersistence, TemplatesAndRulesFiles) {
  TDeducer engine;
  engine.Parse(
      "(deftemplate p (slot a))\n"
      "(defrule old (p (a 1)) => (printout t old crlf))\n"
      "(assert (p (a 1)))");
  TMemoryStream rules;
  TDeducer source;
  source.Parse(
      "(deftemplate p (slot a))\n"
      "(defrule new1 (p (a ?x)) => (printout t ?x crlf))\n"
      "(defrule new2 (p (a 2)) => (printout t two crlf))");
  source.SaveRules(rules);
  EXPECT_EQ(rules.DataString(), source.Rules().Get("new1")->GetToString() + "\r\n" +
                                    source.Rules().Get("new2")->GetToString() + "\r\n");
  // LoadRules replaces the rules and keeps templates and facts.
  rules.SetPosition(0);
  engine.LoadRules(rules);
  EXPECT_FALSE(engine.Rules().Contains("old"));
  EXPECT_TRUE(engine.Rules().Contains("new1"));
  EXPECT_TRUE(engine.Rules().Contains("new2"));
  EXPECT_EQ(engine.Facts().Count(), 2);
  EXPECT_EQ(engine.GetAgendaCount(), 1);

  // LoadFactTemplates empties the whole engine first.
  TMemoryStream templates;
  source.SaveFactTemplates(templates);
  EXPECT_EQ(templates.DataString(), source.FactTemplates().GetToString());
  templates.SetPosition(0);
  engine.LoadFactTemplates(templates);
  EXPECT_EQ(engine.Rules().Count(), 0u);
  EXPECT_EQ(engine.Facts().Count(), 0);
  EXPECT_EQ(engine.FactTemplates().GetToString(), source.FactTemplates().GetToString());
}

TEST(DeducerPersistence, Files) {
  TTempDir dir;
  TEngine engine;
  engine.E.Parse(Bases[1].Text);
  const std::string path = dir.File("kb.clp");
  engine.E.SaveToFile(path);
  EXPECT_EQ(ReadFile(path), engine.E.GetExpertSystem());
  // Saving replaces the file.
  engine.E.Parse("(deffunction extra () 1)");
  engine.E.SaveToFile(path);
  EXPECT_EQ(ReadFile(path), engine.E.GetExpertSystem());

  TEngine loaded;
  EXPECT_TRUE(loaded.E.LoadFromFile(path));
  EXPECT_EQ(loaded.E.GetExpertSystem(), engine.E.GetExpertSystem());

  engine.E.SaveFacts(dir.File("facts.txt"), "count");
  EXPECT_EQ(ReadFile(dir.File("facts.txt")), "(count 0)\r\n");
  engine.E.SaveFactTemplates(dir.File("templates.clp"));
  engine.E.SaveRules(dir.File("rules.clp"));
  TDeducer other;
  other.LoadFactTemplates(dir.File("templates.clp"));
  other.LoadRules(dir.File("rules.clp"));
  other.LoadFacts(dir.File("facts.txt"));
  EXPECT_EQ(other.Rules().GetToString(), engine.E.Rules().GetToString());
  EXPECT_EQ(other.Facts().GetToString(), "(count 0)");

  // Files that cannot be read or written raise and change nothing.
  const std::string missing = dir.File("missing.clp");
  EXPECT_EQ(ErrorOf([&] { other.LoadFromFile(missing); }),
            "Cannot open file \"" + missing + "\". No such file or directory");
  EXPECT_EQ(ErrorOf([&] { other.LoadFacts(missing); }),
            "Cannot open file \"" + missing + "\". No such file or directory");
  EXPECT_EQ(
      ErrorOf([&] { other.SaveToFile(dir.File("no/such/dir.clp")); }),
      "Cannot create file \"" + dir.File("no/such/dir.clp") + "\". No such file or directory");
  EXPECT_EQ(other.Facts().GetToString(), "(count 0)");
  // A full disk is an error, not a saved file.
  if (FileExists("/dev/full")) {
    EXPECT_EQ(ErrorOf([&] { other.SaveToFile("/dev/full"); }),
              "Stream write error on \"/dev/full\". No space left on device");
  }
}

TEST(DeducerPersistence, AssignCopiesWhatOutlivesTheSource) {
  auto source = std::make_unique<TEngine>();
  source->E.SetStrategy(ssBreadthFirst);
  source->E.SetFactDuplication(true);
  source->E.SetResetGlobals(false);
  source->E.SetWatch({cwFact});
  source->E.SetTypeChecks({tcStatic, tcDynamic});
  source->E.SetParserMaxErrors(3);
  source->E.Parse(
      "(deftemplate base (slot id (default-dynamic (gensym*))))\n"
      "(deftemplate derived extends base (slot x))\n"
      "(deffunction tag (?x) (sym-cat t- ?x))\n"
      "(deffunction mk (?x) (assert (derived (x (tag ?x)))))\n"
      "(defglobal ?*first* = (tag 1))\n"
      "(deffacts d (derived (x 1)))\n"
      "(defrule r (base (id ?i)) => (printout t (tag ?i) crlf))\n"
      "(store key value)");
  source->Take();
  TEngine copy;
  copy.E.Assign(&source->E);
  EXPECT_EQ(copy.Take(), " ==> f-0 (Initial-Fact)\r\n");
  EXPECT_EQ(copy.E.GetStrategy(), ssBreadthFirst);
  EXPECT_TRUE(copy.E.GetFactDuplication());
  EXPECT_FALSE(copy.E.GetResetGlobals());
  EXPECT_EQ(copy.E.GetWatch(), TConstructWatches{cwFact});
  EXPECT_EQ(copy.E.GetTypeChecks(), (TTypeChecks{tcStatic, tcDynamic}));
  EXPECT_EQ(copy.E.GetParserMaxErrors(), 3);
  EXPECT_EQ(copy.E.GetExpertSystem(), source->E.GetExpertSystem());
  EXPECT_EQ(copy.E.Variables().Get("key")->GetToString(), "value");
  // Everything the copy runs is its own.
  EXPECT_NE(copy.E.GetUserFunction("tag"), source->E.GetUserFunction("tag"));
  EXPECT_EQ(copy.E.GetUserFunction("printout"), copy.E.GetUserFunction("printout"));
  EXPECT_EQ(copy.E.FindFactTemplate("derived")->GetParent(), copy.E.FindFactTemplate("base"));
  for (const char* name : {"base", "derived"})
    EXPECT_EQ(copy.E.FindFactTemplate(name)
                  ->GetSlot("id")
                  ->GetSlotDefault()
                  ->GetAsFunCall()
                  ->GetReasoner(),
              static_cast<IReasoner*>(&copy.E))
        << name;
  EXPECT_EQ(copy.E.Rules().Get("r")->GetActions().Get(0)->GetReasoner(),
            static_cast<IReasoner*>(&copy.E));
  EXPECT_EQ(copy.E.FactSets().Count(), 1);
  EXPECT_EQ(copy.E.FactSets().GetItem(0)->GetEngine(), &copy.E);
  // A deffunction's calls, and the fact its assert names, are the copy's.
  IInterpretedFunction mk = RefCast<TInterpretedFunction>(copy.E.GetUserFunction("mk"));
  ASSERT_TRUE(mk);
  const IFunCall made = mk->GetStatement(0)->GetAsFunCall();
  EXPECT_EQ(made->GetReasoner(), static_cast<IReasoner*>(&copy.E));
  const IFact named = made->GetArgument(0)->GetAsFact();
  EXPECT_EQ(named->GetTemplate(), copy.E.FindFactTemplate("derived"));
  EXPECT_EQ(named->PeekValue(named->GetTemplate()->IndexOfSlot("x"))->GetAsFunCall()->GetReasoner(),
            static_cast<IReasoner*>(&copy.E));
  EXPECT_EQ(copy.E.UserFunctions().GetToString(), source->E.UserFunctions().GetToString());
  source.reset();
  copy.E.SetWatch({});
  copy.E.Reset();
  copy.E.Parse("(assert (base)) (printout t ?*first* crlf)");
  EXPECT_EQ(copy.Take(), "<Fact-2>\r\nt-1\r\n");
  EXPECT_EQ(copy.E.Run(), 2);
  const std::string out = copy.Take();
  EXPECT_NE(out.find("t-gen"), std::string::npos) << out;
  EXPECT_EQ(out.find("(gensym*)"), std::string::npos) << out;
  copy.E.Parse("(mk 5)");
  EXPECT_EQ(copy.Take(), "<Fact-3>\r\n");
  const IFact last = copy.E.Facts().Snapshot().back();
  EXPECT_EQ(last->PeekValue(last->GetTemplate()->IndexOfSlot("x"))->GetToString(), "t-5");
  // Anything else is refused.
  TStringList list;
  EXPECT_THROW(copy.E.Assign(&list), EConvertError);
}

TEST(DeducerPersistence, CollectionAssigns) {
  TDeducer a, b;
  a.Parse(
      "(deftemplate keep (slot x))\n"
      "(deftemplate change (slot x))\n"
      "(deftemplate only-b (slot y))\n"
      "(deffunction mine () 1)\n"
      "(defrule uses-change (change (x ?x)) => (printout t ?x crlf))\n"
      "(assert (keep (x 1)) (change (x 2)))");
  b.Parse(
      "(deftemplate keep (slot x))\n"
      "(deftemplate change (slot x (default 5)))\n"
      "(deftemplate new (slot n))\n"
      "(deffunction theirs () 2)\n"
      "(defrule r2 (new (n ?n)) => (printout t ?n crlf))");
  IFactTemplate keep = a.FindFactTemplate("keep");
  a.FactTemplates().Assign(b.FactTemplates());
  // Equal templates stay (with their facts); a different one is replaced,
  // its facts and rules going with it; missing ones are added.
  EXPECT_EQ(a.FindFactTemplate("keep"), keep);
  EXPECT_FALSE(a.FindFactTemplate("only-b"));
  EXPECT_EQ(a.FindFactTemplate("change")->GetSlot("x")->GetSlotDefault()->GetAsInteger(), 5);
  EXPECT_TRUE(a.FindFactTemplate("new"));
  EXPECT_NE(a.FindFactTemplate("new"), b.FindFactTemplate("new"));
  EXPECT_EQ(a.Facts().GetToString(), "(Initial-Fact)\r\n(keep (x 1))");
  EXPECT_FALSE(a.Rules().Contains("uses-change"));

  a.Rules().Assign(b.Rules());
  ASSERT_TRUE(a.Rules().Contains("r2"));
  EXPECT_NE(a.Rules().Get("r2"), b.Rules().Get("r2"));
  EXPECT_EQ(a.Rules().Get("r2")->GetOwner(), &a);

  IUserFunction printout = a.GetUserFunction("printout");
  a.UserFunctions().Assign(b.UserFunctions());
  EXPECT_FALSE(a.GetUserFunction("mine"));
  ASSERT_TRUE(a.GetUserFunction("theirs"));
  EXPECT_NE(a.GetUserFunction("theirs"), b.GetUserFunction("theirs"));
  EXPECT_EQ(a.GetUserFunction("printout"), printout);

  a.Facts().Assign(b.Facts());
  EXPECT_EQ(a.Facts().GetToString(), "(Initial-Fact)");
  b.Parse("(assert (new (n 5)) (adhoc 1 2))");
  a.Facts().Assign(b.Facts());
  EXPECT_EQ(a.Facts().GetToString(), "(Initial-Fact)\r\n(new (n 5))\r\n(adhoc 1 2)");
  EXPECT_EQ(a.Facts().Get(2)->GetTemplate(), a.FindFactTemplate("adhoc"));
  TStringList texts;
  a.Facts().AssignTo(texts);
  EXPECT_EQ(texts.GetText(), "(Initial-Fact)\r\n(new (n 5))\r\n(adhoc 1 2)\r\n");
}

TEST(DeducerPersistence, AFactAssignedFromAnotherEngine) {
  TDeducer a, b, c;
  a.Parse("(deftemplate p (slot x) (slot y (type INTEGER)))");
  b.Parse("(deftemplate p (slot x))");
  const IFact from = a.ParseFact("(p (x 1) (y 3))");
  // The copy is on this engine's template of that name, brought over when
  // it has none.
  IFact here(new TFact(c.CreateFactTemplate("q")));
  here->Assign(ICloneable(from));
  ASSERT_TRUE(c.FindFactTemplate("p"));
  EXPECT_EQ(here->GetTemplate(), c.FindFactTemplate("p"));
  EXPECT_EQ(here->GetToString(), "(p (x 1) (y 3))");
  EXPECT_EQ(c.FindFactTemplate("p")->GetSlot("y")->GetSlotType(), (TKbTypes{dtInteger}));
  // A slot this engine's template lacks would lose its value.
  IFact there(new TFact(b.FindFactTemplate("p")));
  EXPECT_EQ(ErrorOf([&] { there->Assign(ICloneable(from)); }),
            "Unable to assign slot values, fact templates are different: p and p");
}

TEST(DeducerPersistence, ARuleCopiedWhereItsTemplateIsMissing) {
  // The rule brings its template over, with a dynamic default that runs
  // here after the source engine is gone.
  auto source = std::make_unique<TEngine>();
  source->E.Parse(
      "(deftemplate p (slot id (default-dynamic (gensym*))))"
      "(defrule r (p (id ?i)) => (printout t got- ?i crlf))");
  TEngine copy;
  auto rule = std::make_unique<TRule>(&copy.E);
  rule->Assign(source->E.Rules().Get("r"));
  copy.E.Rules().Add(rule.get());
  ASSERT_EQ(copy.E.Rules().Get("r"), rule.get());
  rule.release();
  source.reset();
  copy.E.Parse("(assert (p))");
  copy.Take();
  EXPECT_EQ(copy.E.Run(), 1);
  EXPECT_NE(copy.Take().find("got-gen"), std::string::npos);
}

TEST(DeducerPersistence, VersionAndEquallyRedefinedTemplates) {
  TDeducer engine;
  EXPECT_DOUBLE_EQ(engine.GetVersion(), 1.1);
  // Reading a template equal to one there keeps the template object, so
  // the facts on it stay equal to new ones.
  engine.Parse("(deftemplate p \"first\" (slot a)) (assert (p (a 1)))");
  IFactTemplate p = engine.FindFactTemplate("p");
  engine.Parse("(deftemplate p \"second\" (slot a)) (assert (p (a 1)))");
  EXPECT_EQ(engine.FindFactTemplate("p"), p);
  EXPECT_EQ(p->GetComment(), "second");
  EXPECT_EQ(engine.Facts().Count(), 2);
}

// Facts a host made that no text says (a multifield in a single-field
// slot, a value outside the slot's types) are refused before anything is
// written. What the language can make that would not read back is
// tests/language/persistence/what-would-not-read-back.clp.
TEST(DeducerPersistence, HostMadeFactsThatWouldNotReadBackAreNotSaved) {
  TEngine t;
  t.E.Parse("(deftemplate t (slot a) (slot n (type INTEGER)))");
  IFact f = t.E.ParseFact("(t)");
  f->SetValue(0, t.E.ParseList("1 2"));
  t.E.Assert(f);
  TMemoryStream facts;
  EXPECT_EQ(ErrorOf([&] { t.E.SaveFacts(facts); }),
            "Cannot save the fact f-1: slot a is not a multislot but holds 1 2");
  EXPECT_EQ(facts.DataString(), "");
  f = t.E.ParseFact("(t)");
  f->SetValue(1, NewAtom("x"));
  t.E.Facts().Clear();
  t.E.Assert(f);
  EXPECT_EQ(ErrorOf([&] { t.E.SaveFacts(facts); }),
            "Cannot save the fact f-2: slot n holds x, which is not a INTEGER");
}

TEST(DeducerPersistence, AssignLeavesTheSourcesGoalsBehind) {
  // Copied, a goal would be a plain fact that nothing withdraws: the copy's
  // rules ask for their own goals, which go once met.
  TDeducer source;
  source.Parse(
      "(deftemplate need (slot what)) (do-backward-chaining need)"
      "(defrule wants (order) (need (what x)) =>)");
  source.Assert("(order)");
  ASSERT_EQ(source.Facts().Count(), 3);  // the initial fact, the order and its goal
  TDeducer copy;
  copy.Assign(&source);
  EXPECT_EQ(copy.Facts().Count(), 3);
  copy.Assert("(need (what x))");
  EXPECT_EQ(copy.Facts().Count(), 3) << copy.Facts().GetToString();
}
