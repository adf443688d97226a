#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerRules.h"
#include "parser/KbClipsParser.h"
#include "rete/KbRule.h"
#include "rete/KbRuleWriter.h"
#include "rete/KbSlotTest.h"

using namespace kb;

namespace {

using kb::test::ErrorOf;

// Text written with "\n" as the library writes it, with CR LF.
std::string Crlf(const std::string& Text) {
  std::string r;
  for (char c : Text) {
    if (c == '\n') r += '\r';
    r += c;
  }
  return r;
}

// Everything a rule's left-hand side is made of: patterns with their
// flags, slot entries with lengths and tests, and the bindings.
std::string Shape(const TRule& R) {
  std::string s;
  for (const auto& p : R.GetPatterns()) {
    s += "[" + p->GetName() + " n" + IntToStr(p->GetNegatedCount());
    if (p->IsGenerated()) s += " gen";
    if (p->GetUnique()) s += " unique";
    if (p->GetExplicit()) s += " explicit";
    if (!p->GetBoundName().empty()) s += " ?" + p->GetBoundName();
    for (int i = 0; i < p->GetSlotCount(); ++i) {
      if (p->GetSlotTestCount(i) == 0 && p->GetSlotLength(i) < 0) continue;
      s += " " + p->GetSlotName(i) + "#" + IntToStr(p->GetSlotLength(i)) + "{";
      for (int j = 0; j < p->GetSlotTestCount(i); ++j) {
        const TKbPatternMatchTest& t = *p->GetSlotTest(i, j);
        s += (j ? " " : "") + std::string(t.GetConjunction() ? "&" : "|") +
             (t.IsNotEquals() ? "~" : "") + IntToStr(t.GetMultiSlotSubIndex()) + ":" +
             EnumName(t.GetSlotValue()->GetDType()) + ":" + PrettyPrintValue(t.GetSlotValue());
      }
      s += "}";
    }
    s += "]";
  }
  s += " bindings:";
  for (int i = 0; i < R.GetBindingCount(); ++i) {
    const TBinding& b = *R.GetBinding(i);
    s += " " + b.GetName() + "@" + IntToStr(b.GetFactIndex()) + "." + b.GetSlotIndex() + "." +
         IntToStr(b.GetSubIndex());
  }
  return s;
}

// A fresh engine with the template person, so that generated names start
// from 0 for each rule.
struct TEngine {
  TEngine() {
    E.Parse("(deftemplate person (slot name) (slot age) (multislot kids))");
    E.OnPrintOut = [this](TPersistent*, const std::string&, const std::string& Text) {
      Out += Text;
    };
  }
  std::unique_ptr<TRule> Rule(const std::string& Text) {
    return std::unique_ptr<TRule>(E.ParseRule(Text));
  }
  TDeducer E;
  std::string Out;
};

struct TRuleCase {
  const char* Input;
  const char* Canonical;
};

// Every form of the rule grammar and the text it prints.
const TRuleCase RuleCases[] = {
    {"(defrule r \"c\" (declare (salience 10)) (a ?x) => (printout t ?x crlf))",
     "(defrule r\n    \"c\"\n    (declare (salience 10))\n    (a ?x)\n    =>\n    (printout t ?x "
     "crlf))"},
    {"(defrule r => (halt))",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    =>\n    (halt))"},
    {"(defrule r (a) =>)", "(defrule r\n    \"\"\n    (declare (salience 0))\n    (a )\n    =>)"},
    {"(defrule r ?f <- (person (name ?n)) => (retract ?f))",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    ?f <- (person (name ?n) )\n    =>\n"
     "    (retract ?f))"},
    {"(defrule r (not (not (a))) => )",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (not (not (a )))\n    =>)"},
    {"(defrule r (exists (a)) =>)",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (not (not (a )))\n    =>)"},
    {"(defrule r (data ?x&~red|blue) => )",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (data ?x&:(or (neq red ?x) (eq blue "
     "?x)))\n"
     "    =>)"},
    {"(defrule r (data red|~green&~blue) =>)",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (data ?_blank_0&:(or (eq red "
     "?_blank_0) "
     "(and (neq green ?_blank_0) (neq blue ?_blank_0))))\n    =>)"},
    {"(defrule r (data $?a ?b) (other ?a) => )",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (data $?a ?b)\n    (other $?a)\n    "
     "=>)"},
    {"(defrule r (person (age =(+ 1 2))) => )",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (person (age ?_eq_0&:(eq* ?_eq_0 (+ 1 "
     "2))) "
     ")\n    =>)"},
    {"(defrule r (test (> 1 0)) => )",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (test (> 1 0))\n    =>)"},
    {"(defrule r (a ?x) (not (test (> ?x 1))) =>)",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (a ?x)\n    (not (test (> ?x 1)))\n    "
     "=>)"},
    {"(defrule r (unique (a ?x)) (explicit (b ?x)) =>)",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (unique (a ?x))\n    (explicit (b "
     "?x))\n"
     "    =>)"},
    {"(defrule r (exists (person (age ?a&:(> ?a 18)))) (not (unique (b))) =>)",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (not (not (person (age ?a&:(> ?a 18)) "
     ")))\n"
     "    (not (unique (b )))\n    =>)"},
    {"(defrule r (person (name \"Ann \\\"A\\\"\") (age 1.5) (kids a ?k $? ~b)) =>)",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (person (name \"Ann \\\"A\\\"\") (age "
     "1.5) "
     "(kids a ?k $?_blank_$0 ~b) )\n    =>)"},
    {"(defrule r (a 1 -2 3.0 1e3 \"s\" nil TRUE sym-bol) =>)",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (a 1 -2 3.0 1000.0 \"s\" nil TRUE "
     "sym-bol)\n"
     "    =>)"},
    {"(defrule r (declare (salience (+ 1 2))) =>)",
     "(defrule r\n    \"\"\n    (declare (salience 3))\n    =>)"},
    {"(defrule r \"say \\\"hi\\\"\" (declare (salience -5)) (a) =>)",
     "(defrule r\n    \"say \\\"hi\\\"\"\n    (declare (salience -5))\n    (a )\n    =>)"},
    {"(defrule r (need-a ?x) => (assert (a ?x)))",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    ?__factidx0 <- (need-a ?x)\n    =>\n"
     "    (assert (a ?x)))"},
    {"(defrule r (a ?x&:(> ?x 1)&~:(< ?x 5)) =>)",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (a ?x&:(> ?x 1)&~:(< ?x 5))\n    =>)"},
    {"(defrule r (person (name ?n&~ann)) (person (name ~?n)) =>)",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (person (name ?n&~ann) )\n"
     "    (person (name ~?n) )\n    =>)"},
    {"(defrule r (not (a ?)) =>)",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (not (a ?_2__blank_0))\n    =>)"},
    {"(defrule r (a ?x) (not (b ?x ~red|green)) =>)",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (a ?x)\n    (not (b ?x "
     "?_2__blank_0&:(or "
     "(neq red ?_2__blank_0) (eq green ?_2__blank_0))))\n    =>)"},
    {"(defrule r ?f <- (person (age ?a)) => (modify ?f (age (+ ?a 1))))",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    ?f <- (person (age ?a) )\n    =>\n"
     "    (modify ?f (age (+ ?a 1))))"},
    {"(defrule r (a ?x) (b ?y&:(> ?y ?x)|=(* ?x 2)) => (bind ?z (+ ?x ?y)) (printout t ?z))",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (a ?x)\n    (b ?y&?_eq_0&:(or (> ?y "
     "?x) "
     "(and (eq ?_eq_0 ?y) (eq* ?_eq_0 (* ?x 2)))))\n    =>\n    (bind ?z (+ ?x ?y))\n"
     "    (printout t ?z))"},
    {"(defrule r (a ?x|?y) (b ?y) =>)",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (a ?x&?y&:(or (eq ?y ?x)))\n    (b "
     "?y)\n"
     "    =>)"},
    {"(defrule r (person (kids)) (person (name ?)) =>)",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (person (kids ) )\n"
     "    (person (name ?_blank_0) )\n    =>)"},
    {"(defrule\n r\n ;; comment\n (a)\n =>\n)",
     "(defrule r\n    \"\"\n    (declare (salience 0))\n    (a )\n    =>)"},
};

}  // namespace

TEST(ClipsParserRules, EveryFormPrintsTextThatReadsBackToTheSameRule) {
  for (const TRuleCase& c : RuleCases) {
    SCOPED_TRACE(c.Input);
    TEngine first;
    std::unique_ptr<TRule> rule = first.Rule(c.Input);
    const std::string canonical = Crlf(c.Canonical);
    EXPECT_EQ(rule->GetToString(), canonical);
    TEngine second;
    std::unique_ptr<TRule> again = second.Rule(canonical);
    EXPECT_EQ(again->GetToString(), canonical);
    EXPECT_EQ(Shape(*again), Shape(*rule));
  }
}

TEST(ClipsParserRules, PatternsTestsAndBindings) {
  TEngine t;
  auto r = t.Rule("(defrule r \"c\" (declare (salience 10)) (a ?x) => (printout t ?x crlf))");
  EXPECT_EQ(r->GetRuleName(), "r");
  EXPECT_EQ(r->GetComment(), "c");
  EXPECT_EQ(r->GetSalience(), 10);
  EXPECT_EQ(r->GetActions().Count(), 1);
  EXPECT_EQ(Shape(*r), "[a n0 __Data#1{&0:dtVariable:?x}] bindings: x@0.__Data.0");
  // The rule is the engine's but not yet one of its rules.
  EXPECT_EQ(r->GetOwner(), &t.E);
  EXPECT_FALSE(t.E.Rules().Contains("r"));
  // Unknown template names make implied templates.
  EXPECT_TRUE(t.E.FindFactTemplate("a"));

  // Before "or" is rewritten: the tests the parser makes.
  TVariableKinds kinds;
  TKbClipsParser& parser = static_cast<TKbClipsParser&>(t.E.GetParser());
  auto tokens = TKbClipsStream::FromText("(data ?x&~red|blue) (data $?a ?b) (other ?a)");
  parser.SetStream(tokens.get());
  std::unique_ptr<TKbPattern> p = parser.ParsePattern(0, kinds);
  EXPECT_EQ(p->GetSlotTestCount(0), 3);
  const TKbPatternMatchTest& red = *p->GetSlotTest(0, 1);
  EXPECT_TRUE(red.IsNotEquals());
  EXPECT_TRUE(red.GetConjunction());
  const TKbPatternMatchTest& blue = *p->GetSlotTest(0, 2);
  EXPECT_FALSE(blue.IsNotEquals());
  EXPECT_FALSE(blue.GetConjunction());
  EXPECT_EQ(blue.GetMultiSlotSubIndex(), 0);
  parser.ParsePattern(0, kinds);
  // The second ?a takes the kind of its first use.
  std::unique_ptr<TKbPattern> other = parser.ParsePattern(0, kinds);
  EXPECT_EQ(other->GetSlotTest(0, 0)->GetSlotValue()->GetDType(), dtMultiVariable);
  EXPECT_EQ(*kinds.Find("b"), dtVariable);
  parser.SetStream(nullptr);

  // =(expression): a variable bound here and eq* of it and the call.
  auto eq = t.Rule("(defrule r (person (age ~=(+ 1 2))) => )");
  EXPECT_EQ(Shape(*eq),
            "[person n0 age#-1{&-1:dtVariable:?_eq_0 &~-1:dtFunCall:(eq* ?_eq_0 (+ 1 2))}] "
            "bindings: _eq_0@0.age.-1");
  // A global variable is compared with, never bound: the same two tests,
  // with the variable in place of the call; "~" negates the comparison.
  TEngine globals;
  auto global = globals.Rule("(defrule r (data ?*g* ~?*h*) => )");
  EXPECT_EQ(Shape(*global),
            "[data n0 __Data#2{&0:dtVariable:?_eq_0 &0:dtFunCall:(eq* ?_eq_0 ?*g*) "
            "&1:dtVariable:?_eq_1 &~1:dtFunCall:(eq* ?_eq_1 ?*h*)}] "
            "bindings: _eq_0@0.__Data.0 _eq_1@0.__Data.1");
  // A test element on the implied template "test", negated under "not".
  auto test = t.Rule("(defrule r (not (test (> 1 0))) (test (< 1 0)) => )");
  EXPECT_EQ(Shape(*test),
            "[Initial-Fact n0 gen][test n0 __Data#-1{&~-1:dtFunCall:(> 1 0)}]"
            "[test n0 __Data#-1{&-1:dtFunCall:(< 1 0)}] bindings:");
  EXPECT_EQ(t.E.FindFactTemplate("test")->GetComment(), "(Implied)");
  // "&" after "|" joins by "and" again.
  TEngine fresh;
  auto mixed = fresh.Rule("(defrule r (data a|b&c) => )");
  EXPECT_EQ(mixed->GetPatterns()[0]->GetSlotTest(0, 1)->GetSlotValue()->GetToString(),
            "(or (eq a ?_blank_0) (and (eq b ?_blank_0) (eq c ?_blank_0)))");
}

TEST(ClipsParserRules, Salience) {
  TEngine t;
  EXPECT_EQ(t.Rule("(defrule r (declare (salience -3)) =>)")->GetSalience(), -3);
  t.E.Parse("(defglobal ?*high* = 100)");
  auto g = t.Rule("(defrule r (declare (salience ?*high*)) =>)");
  EXPECT_EQ(g->GetSalience(), 100);
  auto call = t.Rule("(defrule r (declare (salience (* 2 ?*high*))) =>)");
  EXPECT_EQ(call->GetSalience(), 200);
  EXPECT_EQ(ErrorOf([&] { t.Rule("(defrule r (declare (salience ?local)) =>)"); }),
            "Corrupted Binding, variable not found: local");
  // A pattern named "declare" is only one after the declaration's place.
  auto d = t.Rule("(defrule r (a) (declare 1) =>)");
  EXPECT_EQ(d->GetPatterns()[1]->GetName(), "declare");
}

// The messages of rules read as text are tested by
// tests/language/parser/rule-errors.clp; this is the entry point a host
// calls for one rule.
TEST(ClipsParserRules, ErrorsNameTheirPlace) {
  TEngine t;
  EXPECT_EQ(ErrorOf([&] { t.E.ParseRule("(defrul r =>)"); }),
            "Parsing Error, Expected \"( defrule\" in ParseRule at line 1: ( defrul ");
}

TEST(ClipsParserRules, EventsAndCollectedErrors) {
  TEngine t;
  std::vector<std::string> events;
  t.E.GetParser().OnParsePattern = [&events](TKbParser*, TKbPattern* P) {
    events.push_back(P->GetName() + " n" + IntToStr(P->GetNegatedCount()) +
                     (P->GetUnique() ? " unique" : ""));
  };
  t.E.GetParser().OnParseRule = [&events](TKbParser*, TRule* R) {
    events.push_back("rule " + R->GetRuleName() + " " + IntToStr(R->GetPatterns().Count()));
  };
  std::vector<TParsedType> kinds;
  TPersistent* object = nullptr;
  t.E.GetParser().OnParse = [&](TKbParser*, TParsedType K, TPersistent* O, const IInterface&) {
    kinds.push_back(K);
    if (K == ptRule) object = O;
  };
  t.E.Parse("(defrule r (not (unique (a))) (b) =>)");
  EXPECT_EQ(events,
            (std::vector<std::string>{"a n1", "a n1 unique", "a n1 unique", "b n0", "rule r 3"}));
  EXPECT_EQ(kinds, (std::vector<TParsedType>{ptRule, ptEOF}));
  EXPECT_EQ(object, t.E.Rules().Get("r"));
  // Collected: parse errors and object errors, each with its place.
  t.E.SetParserErrorHandling(ehRaiseAllAtEnd);
  try {
    t.E.Parse("(defrule x1 (a &) =>)\n(defrule x2 (a ~?q) =>)\n(defrule x3 (a) =>)");
    ADD_FAILURE() << "no error";
  } catch (const EKbParseException& e) {
    EXPECT_EQ(
        e.GetMessages(),
        (std::vector<std::string>{
            "Parsing Error, Bad Slot Value: & in ParsePattern at line 1:  ( defrule x1 ( a & ",
            "Parsing Error, First Use of Variable is negated, variable name is q in Parse at "
            "line 2:  ( defrule x2 ( a ~ ?q ) "}));
  }
  EXPECT_TRUE(t.E.Rules().Contains("x3"));
  EXPECT_FALSE(t.E.Rules().Contains("x2"));
}

TEST(ClipsParserRules, NestingIsBounded) {
  TEngine t;
  std::string deep = "(defrule r ";
  for (int i = 0; i < MaxNestingDepth + 5; ++i) deep += "(not ";
  deep += "(a)";
  deep.append(static_cast<size_t>(MaxNestingDepth + 5), ')');
  deep += " =>)";
  EXPECT_NE(ErrorOf([&] { t.E.Parse(deep); }).find("Expression nested more than 1000 levels deep"),
            std::string::npos);
}

TEST(ClipsParserRules, PatternText) {
  TEngine t;
  auto r = t.Rule("(defrule r ?f <- (person (name ?n) (kids a $?b)) (not (data ?n)) =>)");
  EXPECT_EQ(t.E.PrettyPrint(*r->GetPatterns()[0]), "?f <- (person (name ?n) (kids a $?b) )");
  EXPECT_EQ(r->GetPatterns()[1]->GetToString(), "(not (data ?n))");
  EXPECT_EQ(PrettyPrint(*r), r->GetToString());
}
