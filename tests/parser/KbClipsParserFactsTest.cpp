// Templates, facts and fact sets: what the parser reads, the text the
// printer writes, and that this text reads back to an equal object.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerTemplates.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsSets.h"
#include "parser/KbClipsParser.h"

using namespace kb;

namespace {

const std::string NL = "\r\n";

using kb::test::ErrorOf;

// "Parsing Error, <Msg> in <Location> at line <Line>: " followed by the
// text read so far.
std::string ParseErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EKbParseException& e) {
    const std::string& m = e.Message();
    size_t colon = m.find(": ", m.find(" at line "));
    return colon == std::string::npos ? m : m.substr(0, colon);
  } catch (const Exception& e) {
    return "<not a parse error> " + e.Message();
  }
  return "<no error>";
}

std::string Located(const std::string& Msg, const std::string& Location, int Line = 1) {
  return "Parsing Error, " + Msg + " in " + Location + " at line " + std::to_string(Line);
}

// An engine with the templates the fact cases use.
std::unique_ptr<TDeducer> Engine() {
  auto e = std::make_unique<TDeducer>();
  e->Parse(
      "(deftemplate person \"a person\" (slot name (type STRING)) (multislot kids)"
      "  (slot age (type INTEGER) (default 0)))"
      "(deftemplate point (slot x (type FLOAT)) (slot y (type NUMBER)))"
      "(deftemplate box (multislot items (default a b)) (slot label (default unnamed)))"
      "(deftemplate any (slot v))");
  return e;
}

}  // namespace

// --------------------------------------------------------------- templates

struct TTextCase {
  const char* Input;
  std::string Printed;
};

TEST(ClipsParserFacts, TemplatesReadBackEqual) {
  const TTextCase cases[] = {
      {"(deftemplate person \"a person\" (slot name (type STRING)) (multislot kids)"
       " (slot age (type INTEGER) (default 0)))",
       "(deftemplate person \"a person\" " + NL + "    (slot name (type STRING) (default \"\") )" +
           NL + "    (multislot kids )" + NL + "    (slot age (type INTEGER) (default 0) )" + NL +
           ")"},
      {"(deftemplate t (slot s (default (+ 1 2))) (slot b (default (eq 1 1))))",
       "(deftemplate t \"\" " + NL + "    (slot s (default 3) )" + NL +
           "    (slot b (default TRUE) )" + NL + ")"},
      {"(deftemplate t (slot g (default-dynamic (gensym*))))",
       "(deftemplate t \"\" " + NL + "    (slot g (default-dynamic (gensym*)) )" + NL + ")"},
      {"(deftemplate t (slot g (type INTEGER) (default-dynamic (+ 1 ?*x*))))",
       "(deftemplate t \"\" " + NL + "    (slot g (type INTEGER) (default-dynamic (+ 1 ?*x*)) )" +
           NL + ")"},
      {"(deftemplate t (multislot m (default a \"b c\" 3)))",
       "(deftemplate t \"\" " + NL + "    (multislot m (default a \"b c\" 3) )" + NL + ")"},
      {"(deftemplate t (slot s (type LEXEME)) (slot n (type NUMBER) (default 1.5)))",
       "(deftemplate t \"\" " + NL + "    (slot s (type ATOM STRING) )" + NL +
           "    (slot n (type INTEGER FLOAT) (default 1.5) )" + NL + ")"},
      {"(deftemplate t (slot s (type ?VARIABLE)) (slot f (type FLOAT) (default 2.0)))",
       "(deftemplate t \"\" " + NL + "    (slot s )" + NL +
           "    (slot f (type FLOAT) (default 2.0) )" + NL + ")"},
      {"(deftemplate t (slot s (type SYMBOL FACTID)) (slot e (type)))",
       "(deftemplate t \"\" " + NL + "    (slot s (type ATOM INTEGER FLOAT) )" + NL +
           "    (slot e (type ) )" + NL + ")"},
      {"(deftemplate t \"say \\\"hi\\\"\" (field f (default \"a \\\"b\\\"\")))",
       "(deftemplate t \"say \\\"hi\\\"\" " + NL + "    (slot f (default \"a \\\"b\\\"\") )" + NL +
           ")"},
      {"(deftemplate t (slot a (DEFAULT x) (Type SYMBOL)) (slot a (default y)))",
       "(deftemplate t \"\" " + NL + "    (slot a (default y) )" + NL + ")"},
      {"(deftemplate t)", "(deftemplate t \"\" " + NL + ")"},
      {"(deftemplate t (slot n (default nil)) (multislot m (default)))",
       "(deftemplate t \"\" " + NL + "    (slot n )" + NL + "    (multislot m )" + NL + ")"},
  };
  for (const TTextCase& c : cases) {
    SCOPED_TRACE(c.Input);
    TDeducer engine;
    IFactTemplate t = engine.ParseFactTemplate(c.Input);
    EXPECT_EQ(t->GetToString(), c.Printed);
    IFactTemplate back = engine.ParseFactTemplate(t->GetToString());
    EXPECT_EQ(back->GetToString(), c.Printed);
    EXPECT_TRUE(back->Equals(t));
    EXPECT_TRUE(t->Equals(back));
    // Reading does not install.
    EXPECT_FALSE(engine.FindFactTemplate("t"));
  }
}

TEST(ClipsParserFacts, TemplateDetails) {
  TDeducer engine;
  IFactTemplate p = engine.ParseFactTemplate(
      "(deftemplate person \"a person\" (slot name (type STRING)) (multislot kids)"
      " (slot age (type INTEGER) (default 0)))");
  EXPECT_EQ(p->GetSlotNames(), (std::vector<std::string>{"name", "kids", "age"}));
  EXPECT_EQ(p->GetComment(), "a person");
  EXPECT_EQ(p->GetSlot("age")->GetSlotDefault()->GetAsInteger(), 0);
  EXPECT_EQ(p->GetSlot("name")->GetSlotType(), TKbTypes{dtString});
  EXPECT_TRUE(p->GetSlot("kids")->IsMultiSlot());
  EXPECT_EQ(p->GetOwner(), &engine);
  // A dynamic default is a call that runs for every fact.
  IFactTemplate g =
      engine.ParseFactTemplate("(deftemplate g (slot s (default-dynamic (gensym*))))");
  EXPECT_EQ(g->GetSlot("s")->GetSlotDefault()->GetDType(), dtFunCall);
  // "default" runs its call once, now.
  IFactTemplate once = engine.ParseFactTemplate("(deftemplate o (slot s (default (gensym*))))");
  EXPECT_EQ(once->GetSlot("s")->GetSlotDefault()->GetDType(), dtAtom);
  // Type names.
  auto typesOf = [&](const std::string& Types) {
    return engine.ParseFactTemplate("(deftemplate t (slot s (type " + Types + ")))")
        ->GetSlot("s")
        ->GetSlotType();
  };
  EXPECT_EQ(typesOf("LEXEME"), (TKbTypes{dtAtom, dtString}));
  EXPECT_EQ(typesOf("?VARIABLE"), KbSlotTypes);
  EXPECT_EQ(typesOf("ATOM ?VARIABLE"), KbSlotTypes);
  EXPECT_EQ(typesOf("OBJECT"), (TKbTypes{dtInteger, dtFloat}));
  EXPECT_EQ(typesOf(""), TKbTypes{});
  // extends: a parent the engine holds, else none.
  engine.Parse("(deftemplate parent (slot a (default 1)) (slot b))");
  IFactTemplate child =
      engine.ParseFactTemplate("(deftemplate child extends parent (slot b (default 2)) (slot c))");
  EXPECT_EQ(child->GetParent(), engine.FindFactTemplate("parent"));
  EXPECT_EQ(child->GetSlotNames(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(child->GetSlot("b")->GetSlotDefault()->GetAsInteger(), 2);
  IFactTemplate orphan = engine.ParseFactTemplate("(deftemplate orphan extends nobody (slot c))");
  EXPECT_EQ(orphan->GetParent(), nullptr);
  // Unchecked, a default outside the types is kept.
  engine.SetTypeChecks({});
  IFactTemplate loose =
      engine.ParseFactTemplate("(deftemplate l (slot a (type INTEGER) (default \"x\")))");
  EXPECT_EQ(loose->GetSlot("a")->GetSlotDefault()->GetToString(), "\"x\"");
  EXPECT_EQ(engine.ParseFactTemplateSlot("(slot z (type INTEGER) (default \"x\"))")->GetToString(),
            "(slot z (type INTEGER) (default \"x\") )");
  // The slot entry point reads a definition with or without its "(".
  EXPECT_EQ(engine.ParseFactTemplateSlot("multislot m (default 1 2))")->GetToString(),
            "(multislot m (default 1 2) )");
}

// The messages of templates read as text are tested by
// tests/language/parser/template-errors.clp.
TEST(ClipsParserFacts, TemplateErrors) {
  TDeducer engine;
  // The line is the one where the error is found.
  EXPECT_EQ(ParseErrorOf([&] { engine.Parse("(deftemplate t\n (slot a)\n (slot b (type FOO)))"); }),
            Located("Invalid slot type: FOO", "ParseSlotTypes", 3));
  // Nothing was installed on the way.
  EXPECT_EQ(engine.FactTemplates().Count(), 2u);
  EXPECT_EQ(ParseErrorOf([&] { engine.ParseFactTemplate("(deftemplat t)"); }),
            Located("Expected \"( deftemplate\"", "ParseFactTemplate"));
}

TEST(ClipsParserFacts, ParseInstallsTemplates) {
  TDeducer engine;
  std::vector<std::string> events;
  engine.OnNewFactTemplate = [&](TDeducer*, const IFactTemplate& t) {
    events.push_back("+" + t->GetTemplateName());
  };
  engine.GetParser().OnParseFactTemplate = [&](TKbParser*, const IFactTemplate& t) {
    events.push_back("parsed " + t->GetTemplateName());
  };
  engine.GetParser().OnParseFact = [&](TKbParser*, const IFact& f) {
    events.push_back("fact " + f->GetToString());
  };
  engine.GetParser().OnParseFactSet = [&](TKbParser*, TFactSet* s) {
    events.push_back("set " + s->GetFactSetName());
  };
  engine.GetParser().OnParse = [&](TKbParser*, TParsedType Kind, TPersistent* Object,
                                   const IInterface& Intf) {
    events.push_back("item " + std::to_string(Kind) + (Object ? " object" : "") +
                     (Intf ? " intf" : ""));
  };
  engine.Parse("(deftemplate a (slot x)) (deftemplate b) (deffacts s (b c))");
  EXPECT_EQ(events, (std::vector<std::string>{"parsed a", "+a", "item 5 intf", "parsed b", "+b",
                                              "item 5 intf", "fact (b c)", "set s", "item 4 object",
                                              "item 8 intf"}));
  engine.GetParser().OnParse = nullptr;
  EXPECT_TRUE(engine.FindFactTemplate("a"));
  // A template without slots is ordered once installed.
  EXPECT_TRUE(engine.FindFactTemplate("b")->IsOrdered());
  engine.SetDuplicateConstructs(dcError);
  EXPECT_EQ(ErrorOf([&] { engine.Parse("(deftemplate a (slot y))"); }),
            "Fact Template Name already exists: \"a\"");
}

// ------------------------------------------------------------------- facts

TEST(ClipsParserFacts, FactsReadBackEqual) {
  auto engine = Engine();
  const TTextCase cases[] = {
      {"(person (name \"Bob\") (age 30) (kids Ann Tom))",
       "(person (name \"Bob\") (kids Ann Tom) (age 30))"},
      {"(person (age 4) (name \"X\"))", "(person (name \"X\") (age 4))"},
      {"(person)", "(person (age 0))"},
      {"(person (age 1) (age 2))", "(person (age 2))"},
      {"(colour red green)", "(colour red green)"},
      {"(colour)", "(colour)"},
      {"(data \"a b\" 12 -3.25 x ?v $?w nil)", "(data \"a b\" 12 -3.25 x ?v $?w nil)"},
      {"(point (x 1.0) (y 2))", "(point (x 1.0) (y 2))"},
      {"(point (x 1e300) (y -2.5))", "(point (x 1E300) (y -2.5))"},
      {"(box)", "(box (items a b) (label unnamed))"},
      {"(box (items) (label nil))", "(box (items) (label nil))"},
      {"(any (v nil))", "(any)"},
      {"(any (v \"\"))", "(any (v \"\"))"},
      {"(any (v ?x))", "(any (v ?x))"},
      {"(any (v =(+ 1 2)))", "(any (v (+ 1 2)))"},
      {"(any (v (str-cat \"a\" ?x)))", "(any (v (str-cat \"a\" ?x)))"},
      {"(any (v \"q\\\"uote\\\\\"))", "(any (v \"q\\\"uote\\\\\"))"},
      {"(data =(+ 1 2) (f))", "(data (+ 1 2) (f))"},
  };
  for (const TTextCase& c : cases) {
    SCOPED_TRACE(c.Input);
    IFact f = engine->ParseFact(c.Input);
    EXPECT_EQ(f->GetToString(), c.Printed);
    IFact back = engine->ParseFact(f->GetToString());
    EXPECT_EQ(back->GetToString(), c.Printed);
    EXPECT_TRUE(back->Equals(f));
    EXPECT_EQ(back->GetHashCode(), f->GetHashCode());
  }
  // Implied templates are ordered and stay.
  IFactTemplate colour = engine->FindFactTemplate("colour");
  ASSERT_TRUE(colour);
  EXPECT_TRUE(colour->IsOrdered());
  EXPECT_EQ(colour->GetComment(), "(Implied)");
  IFact red = engine->ParseFact("(colour red green)");
  EXPECT_EQ(red->GetValue("__Data")->GetAsList()->Count(), 2);
  // A slot given as a call holds the call.
  IFact calc = engine->ParseFact("(any (v =(+ 1 2)))");
  EXPECT_EQ(calc->GetValue("v")->GetDType(), dtFunCall);
}

// The messages of facts read as text are tested by
// tests/language/parser/fact-errors.clp; these are the entry point a host
// calls for one fact and its settings.
TEST(ClipsParserFacts, FactErrors) {
  auto engine = Engine();
  // The end of the text inside a fact.
  EXPECT_EQ(ParseErrorOf([&] { engine->ParseFact("(colour red"); }),
            Located("Expected \")\"", "ParseFact"));
  // Only known templates, when asked.
  engine->GetParser().SetKnownTemplatesOnly(true);
  EXPECT_EQ(ParseErrorOf([&] { engine->ParseFact("(nosuch a)"); }),
            Located("Unknown fact template: nosuch", "ParseFact"));
  EXPECT_FALSE(engine->FindFactTemplate("nosuch"));
  engine->GetParser().SetKnownTemplatesOnly(false);
  // Unchecked, a value of another type is taken.
  engine->SetTypeChecks({});
  EXPECT_EQ(engine->ParseFact("(person (age \"ten\"))")->GetToString(), "(person (age \"ten\"))");
  // The engine's dynamic check still applies to the values stored.
  engine->SetTypeChecks({tcDynamic});
  EXPECT_EQ(ErrorOf([&] { engine->ParseFact("(person (age \"ten\"))"); }),
            "Not a INTEGER.  Value Type is dtString");
}

TEST(ClipsParserFacts, AssertArgumentsAreFacts) {
  auto engine = Engine();
  IFunCall call = engine->ParseFunCall("(assert (a b) (person (age 3)))");
  ASSERT_EQ(call->GetArgumentCount(), 2);
  ASSERT_EQ(call->GetArgument(0)->GetDType(), dtFact);
  EXPECT_EQ(call->GetArgument(0)->GetAsFact()->GetToString(), "(a b)");
  EXPECT_EQ(call->GetArgument(1)->GetAsFact()->GetToString(), "(person (age 3))");
  EXPECT_EQ(engine->PrettyPrint(call), "(assert (a b) (person (age 3)))");
  IFunCall again = engine->ParseFunCall(engine->PrettyPrint(call));
  EXPECT_TRUE(again->Equals(call));
  IFunCall modify = engine->ParseFunCall("(modify ?f (age 4) (kids a b))");
  EXPECT_EQ(engine->PrettyPrint(modify), "(modify ?f (age 4) (kids a b))");
}

// --------------------------------------------------------------- fact sets

TEST(ClipsParserFacts, FactSetsReadBackEqual) {
  auto engine = Engine();
  const TTextCase cases[] = {
      {"(deffacts start \"first\" (a) (person (name \"B\")))",
       "(deffacts start \"first\"" + NL + "    (a)" + NL + "    (person (name \"B\") (age 0))" +
           NL + ")"},
      {"(deffacts empty)", "(deffacts empty \"\"" + NL + ")"},
      {"(deffacts s (box (items)) (data 1.0 \"x\"))", "(deffacts s \"\"" + NL +
                                                          "    (box (items) (label unnamed))" + NL +
                                                          "    (data 1.0 \"x\")" + NL + ")"},
  };
  for (const TTextCase& c : cases) {
    SCOPED_TRACE(c.Input);
    TFactSet* s = engine->ParseFactSet(c.Input);
    EXPECT_EQ(s->GetToString(), c.Printed);
    TFactSet* back = engine->ParseFactSet(s->GetToString());
    EXPECT_EQ(back->GetToString(), c.Printed);
    ASSERT_EQ(back->GetFacts().Count(), s->GetFacts().Count());
    for (int i = 0; i < s->GetFacts().Count(); ++i)
      EXPECT_TRUE(back->GetFacts().GetFact(i)->Equals(s->GetFacts().GetFact(i)));
    // Read alone, a fact set is not one of the engine's.
    EXPECT_EQ(engine->FactSets().IndexOf(s), -1);
    delete s;
    delete back;
  }
}

TEST(ClipsParserFacts, FactSetsInstallAndFailCleanly) {
  auto engine = Engine();
  engine->Parse("(deffacts start (a) (b))");
  ASSERT_EQ(engine->FactSets().Count(), 1);
  TFactSet* s = engine->FactSets().GetItem(0);
  EXPECT_EQ(s->GetFactSetName(), "start");
  EXPECT_EQ(s->GetEngine(), engine.get());
  EXPECT_EQ(s->GetFactStrings(), (std::vector<std::string>{"(a)", "(b)"}));
  // An error in the second fact leaves no fact set behind.
  int components = engine->GetComponentCount();
  EXPECT_EQ(ParseErrorOf([&] { engine->Parse("(deffacts broken (a) (person (age x)))"); }),
            Located("Not a INTEGER.  Value Type is dtAtom", "ParseFact"));
  EXPECT_EQ(engine->FactSets().Count(), 1);
  EXPECT_EQ(engine->GetComponentCount(), components);
  EXPECT_EQ(ParseErrorOf([&] { engine->Parse("(deffacts)"); }),
            Located("Missing name", "ParseFactSet"));
  EXPECT_EQ(ParseErrorOf([&] { engine->Parse("(deffacts s (a) x)"); }),
            Located("Expected \")\"", "ParseFactSet"));
  EXPECT_EQ(ParseErrorOf([&] { engine->ParseFactSet("(deffact s)"); }),
            Located("Expected \"( deffacts\"", "ParseFactSet"));
  EXPECT_EQ(engine->GetComponentCount(), components);
  // Texts given to a fact set are parsed through its engine.
  s->SetFacts({"(person (age 5))", "(c d)"});
  EXPECT_EQ(s->GetFacts().GetFact(0)->GetValue("age")->GetAsInteger(), 5);
  EXPECT_EQ(ErrorOf([&] { s->SetFacts({"(person (age x))"}); }),
            "Parsing Error, Not a INTEGER.  Value Type is dtAtom in ParseFact at line 1: ( person "
            "( age x ");
  EXPECT_EQ(s->GetFacts().Count(), 2);  // unchanged
  // Moving to another engine parses the texts there.
  TDeducer other;
  s->SetEngine(&other);
  EXPECT_EQ(engine->FactSets().Count(), 0);
  EXPECT_EQ(other.FactSets().IndexOf(s), 0);
  EXPECT_EQ(s->GetFacts().GetFact(1)->GetTemplate(), other.FindFactTemplate("c"));
  EXPECT_EQ(s->GetFacts().GetFact(0)->GetTemplate()->GetOwner(), &other);
}

// ------------------------------------------------ values and other engines

TEST(ClipsParserFacts, ParseTextAsType) {
  auto engine = Engine();
  EXPECT_EQ(engine->Parse("\"\"abc\"", dtString)->GetToString(), "\"abc\"");
  EXPECT_EQ(engine->Parse("abc", dtAtom)->GetToString(), "abc");
  EXPECT_EQ(engine->Parse("-12", dtInteger)->GetAsInteger(), -12);
  EXPECT_EQ(engine->Parse("7", dtFactId)->GetToString(), "<Fact-7>");
  EXPECT_EQ(engine->Parse("2.5", dtFloat)->GetToString(), "2.5");
  EXPECT_EQ(engine->Parse("x", dtVariable)->GetToString(), "?x");
  EXPECT_EQ(engine->Parse("x", dtMultiVariable)->GetToString(), "$?x");
  EXPECT_EQ(engine->Parse("s", dtSlot)->GetDType(), dtSlot);
  EXPECT_EQ(engine->Parse("s", dtMultiSlot)->GetDType(), dtMultiSlot);
  EXPECT_EQ(engine->Parse("anything", dtNone)->GetDType(), dtNone);
  EXPECT_EQ(engine->Parse("(+ 1 2)", dtFunCall)->GetAsFunCall()->GetName(), "+");
  EXPECT_EQ(engine->Parse("(person (age 2))", dtFact)->GetAsFact()->GetToString(),
            "(person (age 2))");
  EXPECT_EQ(engine->Parse("", dtList), FCNilList);
  EXPECT_EQ(engine->Parse("a b", dtList)->GetAsList()->Count(), 2);
  EXPECT_THROW(engine->Parse("1x", dtInteger), EConvertError);
  EXPECT_THROW(engine->Parse("x", dtFloat), EConvertError);
  EXPECT_EQ(ErrorOf([&] { engine->Parse("x", dtObject); }),
            "Unable to parse strings of dtObject at this time");
  EXPECT_EQ(ErrorOf([&] { engine->Parse("x", static_cast<TKbType>(23)); }),
            "Unable to parse strings of Unknown Type (23) at this time");
}

TEST(ClipsParserFacts, AssignAcrossEngines) {
  auto from = Engine();
  IFact bob = from->ParseFact("(person (name \"Bob\") (age 30))");
  bob->SetID(4);
  TDeducer to;
  IFact target(new TFact(to.CreateFactTemplate("placeholder")));
  target->Assign(ICloneable(bob));
  IFactTemplate person = to.FindFactTemplate("person");
  ASSERT_TRUE(person);
  EXPECT_EQ(person->GetOwner(), &to);
  EXPECT_TRUE(person->Equals(bob->GetTemplate()));
  EXPECT_EQ(target->GetTemplate(), person);
  EXPECT_EQ(target->GetToString(), "(person (name \"Bob\") (age 30))");
  EXPECT_EQ(target->GetID(), 4);
  // A template of that name already there is used.
  IFact second(new TFact(to.CreateFactTemplate("placeholder")));
  second->Assign(ICloneable(bob));
  EXPECT_EQ(second->GetTemplate(), person);
  EXPECT_TRUE(second->Equals(target));
}

TEST(ClipsParserFacts, WholeKnowledgeBaseReadsBack) {
  const char* text =
      "(deftemplate person \"a \\\"person\\\"\" (slot name (type STRING)) (multislot kids)"
      "  (slot age (type INTEGER) (default 0)) (slot id (default-dynamic (gensym*))))"
      "(deftemplate point extends person (slot x (type FLOAT) (default 0.5)))"
      "(deffacts people \"some\" (person (name \"Ann\") (kids a b)) (colour red))"
      "(deffacts more (point (x 2.0) (kids)) (empty))";
  TDeducer a;
  a.Parse(text);
  const std::string printed = a.FactTemplates().GetToString() + a.FactSets().GetToString();
  TDeducer b;
  b.Parse(printed);
  EXPECT_EQ(b.FactTemplates().GetToString() + b.FactSets().GetToString(), printed);
  for (const auto& [name, t] : a.FactTemplates().Entries()) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(b.FindFactTemplate(name));
    EXPECT_TRUE(b.FindFactTemplate(name)->Equals(t));
    EXPECT_TRUE(t->Equals(b.FindFactTemplate(name)));
  }
  // The parent is written, so the child still extends it.
  EXPECT_NE(printed.find("(deftemplate point \"\" extends person \r\n"), std::string::npos);
  EXPECT_EQ(b.FindFactTemplate("point")->GetParent(), b.FindFactTemplate("person"));
}
