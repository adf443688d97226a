#include "parser/KbClipsParser.h"

#include <gtest/gtest.h>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerParse.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "memory/KbFactsSets.h"
#include "rete/KbRule.h"

using namespace kb;

namespace {

// Each token as kind:text; punctuation as itself.
std::string Describe(const TKbStreamToken& t) {
  switch (t.GetDataType()) {
    case TokAtom: return "a:" + t.GetText();
    case TokString: return "s:" + t.GetText();
    case TokInteger: return "i:" + t.GetToString();
    case TokFloat: return "f:" + t.GetToString();
    case TokVariable: return "v:" + t.GetText();
    case TokMultiVariable: return "m:" + t.GetText();
    case TokEOF: return t.GetText();
    default: return t.GetText();
  }
}

// The tokens of Text up to the end of input, blank-separated.
std::string Tokens(const std::string& Text, TDeducer* Engine = nullptr) {
  auto s = TKbClipsStream::FromText(Text);
  s->SetEngine(Engine);
  std::string r;
  for (;;) {
    IStreamToken t = s->NextToken();
    if (!r.empty()) r += ' ';
    r += Describe(*t);
    if (t->Is(TokEOF)) return r;
  }
}

using kb::test::ErrorOf;

int Counted = 0;

KB_FUNCTION(TTestAddFunction, "t-add", 0, MaxArguments, "Adds", "t-add <n>*") {
  int32_t s = 0;
  for (int i = 0; i < Args.Count(); ++i) s += Args.Int(i);
  return NewInteger(s);
}
KB_FUNCTION(TTestCountFunction, "t-count", 0, 0, "Counts its calls", "t-count") {
  ++Counted;
  return IKbValue();
}

// An engine with the test functions, collecting what it prints.
struct TEngine {
  TEngine() {
    E.AddUserFunction(IUserFunction(new TTestAddFunction()));
    E.AddUserFunction(IUserFunction(new TTestCountFunction()));
    E.OnPrintOut = [this](TPersistent*, const std::string&, const std::string& Text) {
      Out += Text;
    };
    Counted = 0;
  }
  TDeducer E;
  std::string Out;
};

}  // namespace

// ------------------------------------------------------------------- lexer

TEST(ClipsLexer, TokenKinds) {
  EXPECT_EQ(Tokens("(assert (a 1 2.5 -3 +4 .5 1e3 x-y))"),
            "( a:assert ( a:a i:1 f:2.5 i:-3 i:4 f:0.5 f:1000 a:x-y ) ) EOF");
  EXPECT_EQ(Tokens("99999999999999999999 99999999999 - + . 1abc $ $x 1. -.5"),
            "f:1E20 i:99999999999 a:- a:+ a:. a:1abc a:$ a:$x f:1 f:-0.5 EOF");
  EXPECT_EQ(Tokens("?x&~red|blue"), "v:x & ~ a:red | a:blue EOF");
  // "<" ends a word but may begin one; "=" is a token only at a start.
  EXPECT_EQ(Tokens("<= >= <> <- ?f<- => a=b"), "a:<= a:>= a:<> a:<- v:f a:<- = a:> a:a=b EOF");
  EXPECT_EQ(Tokens("\"a\\\"b\" a\\ b \"x;y(\" ;gone\nz"), "s:a\"b a:a b s:x;y( a:z EOF");
  // Unterminated string: everything up to the end, no error.
  EXPECT_EQ(Tokens("\"abc"), "s:abc EOF");
  EXPECT_EQ(Tokens(""), "EOF");
  // Bytes above 127 are word characters, not blanks.
  EXPECT_EQ(Tokens("caf\xc3\xa9 x"), "a:caf\xc3\xa9 a:x EOF");
}

TEST(ClipsLexer, AnonymousVariablesGetFreshNames) {
  TDeducer engine;
  EXPECT_EQ(Tokens("? $? ?", &engine), "v:_blank_0 m:_blank_$1 v:_blank_2 EOF");
  // Without an engine the lexer numbers them itself.
  EXPECT_EQ(Tokens("? ?"), "v:_blank_0 v:_blank_1 EOF");
}

TEST(ClipsLexer, LineNumbers) {
  auto s = TKbClipsStream::FromText("a ; note\nb\n\"x\ny\" c\r\nd");
  EXPECT_EQ(s->NextToken()->GetLineNumber(), 1);
  EXPECT_EQ(s->NextToken()->GetLineNumber(), 2);  // b, ended by its line feed
  EXPECT_EQ(s->NextToken()->GetLineNumber(), 4);  // a string ends on the line it closes
  EXPECT_EQ(s->NextToken()->GetLineNumber(), 4);  // c, ended by CR
  IStreamToken d = s->NextToken();
  EXPECT_EQ(d->GetLineNumber(), 5);
  EXPECT_EQ(d->GetText(), "d");
  for (int i = 0; i < 3; ++i) {
    IStreamToken eof = s->NextToken();
    EXPECT_TRUE(eof->Is(TokEOF));
    EXPECT_EQ(eof->GetText(), "EOF");
    EXPECT_EQ(eof->GetLineNumber(), 5);
  }
  EXPECT_EQ(TKbClipsStream::FromText("  \n \n")->NextToken()->GetLineNumber(), 3);
}

TEST(ClipsLexer, ExpressionTextPutBackAndHead) {
  auto s = TKbClipsStream::FromText("(foo ?x\n \"s\") bar");
  IStreamToken open = s->NextToken();
  EXPECT_EQ(s->GetDepth(), 1);
  s->PutBackToken(open);
  EXPECT_EQ(s->GetDepth(), 0);
  EXPECT_EQ(s->GetSExpText(), " ");
  EXPECT_EQ(s->Head(), "foo");
  EXPECT_EQ(s->GetDepth(), 0);
  s->NextToken();
  s->NextToken();
  IStreamToken x = s->NextToken();
  s->NextToken();
  EXPECT_EQ(s->GetSExpText(), " ( foo ?x \r\n\"s\" ");
  s->NextToken();
  EXPECT_EQ(s->GetDepth(), 0);
  // The next S-expression starts a new text.
  EXPECT_EQ(s->NextToken()->GetText(), "bar");
  EXPECT_EQ(s->GetSExpText(), "bar ");
  s->PutBackToken(x);
  EXPECT_EQ(s->NextToken(), x);

  EXPECT_EQ(TKbClipsStream::FromText("(= 1)")->Head(), "=");
  EXPECT_EQ(TKbClipsStream::FromText("(?v)")->Head(), "v");
  EXPECT_EQ(TKbClipsStream::FromText("(\"s\")")->Head(), "");
  auto t = TKbClipsStream::FromText("abc (x)");
  EXPECT_EQ(t->Head(), "");
  EXPECT_TRUE(t->NextToken()->Is(TokOpenParen));  // "abc" stayed taken
}

TEST(ClipsLexer, RecoveryAndDiscard) {
  auto s = TKbClipsStream::FromText("(a (b c) d) e");
  s->NextToken();
  s->NextToken();
  s->NextToken();  // depth 2
  s->MoveToNextConstruct();
  EXPECT_EQ(s->GetDepth(), 0);
  EXPECT_EQ(s->NextToken()->GetText(), "e");
  // Unbalanced input: recovery stops at the end.
  auto u = TKbClipsStream::FromText("(defrule r (a) => (b");
  u->NextToken();
  u->MoveToNextConstruct();
  EXPECT_TRUE(u->NextToken()->Is(TokEOF));

  auto d = TKbClipsStream::FromText("a b c\nd e\nf");
  d->NextToken();
  d->DiscardUntilEOL();
  EXPECT_EQ(d->NextToken()->GetText(), "d");
  d->NextToken();  // "e", ended by its line feed: the line is done
  d->DiscardUntilEOL();
  EXPECT_EQ(d->NextToken()->GetText(), "f");
}

// ------------------------------------------------------- parse and print

// Input and the canonical text it prints back.
struct TPrintCase {
  const char* Input;
  const char* Printed;
};

TEST(ClipsParser, CallsPrintBackCanonically) {
  const TPrintCase cases[] = {
      {"(foo)", "(foo)"},
      {"(t-add 1 2)", "(t-add 1 2)"},
      {"(f\n  1 ; note\n  2)", "(f 1 2)"},
      {"(f 1.0 2.5 1e3 -3 +4 .5 -0.0)", "(f 1.0 2.5 1000.0 -3 4 0.5 0.0)"},
      {"(f \"a\\\"b\" \"c\\\\d\" \"\")", "(f \"a\\\"b\" \"c\\\\d\" \"\")"},
      {"(f a\\ b a\\(b)", "(f a\\ b a\\(b)"},
      {"(f nil NIL TRUE FALSE true)", "(f nil nil TRUE FALSE true)"},
      {"(= 1 1)", "(= 1 1)"},
      {"(?x)", "(__get-var ?x)"},
      {"($?x 1)", "(__get-var $?x 1)"},
      {"(f ?x $?y)", "(f ?x $?y)"},
      {"(f & ~ | =)", "(f \"&\" \"~\" \"|\" \"=\")"},
      {"(f (g (h 1)) (k))", "(f (g (h 1)) (k))"},
      {"(if (> ?x 1) then (printout t x) else (printout t y))",
       "(if (> ?x 1) then (printout t x) else (printout t y))"},
      {"(modify ?f (color red) (size 1 2))", "(modify ?f (color red) (size 1 2))"},
      {"(duplicate ?f (n (t-add 1 2)))", "(duplicate ?f (n (t-add 1 2)))"},
      {"(modify (f) (a b))", "(modify (f) (a b))"},
      // "=(call)" is the call; no value empties a multislot.
      {"(modify ?f (n =(+ 1 2)) (tags) (k a =(g)))", "(modify ?f (n (+ 1 2)) (tags) (k a (g)))"},
  };
  TEngine t;
  for (const TPrintCase& c : cases) {
    SCOPED_TRACE(c.Input);
    IFunCall call = t.E.ParseFunCall(c.Input);
    EXPECT_EQ(call->GetToString(), c.Printed);
    // The printed text reads back to an equal call printing the same.
    IFunCall again = t.E.ParseFunCall(c.Printed);
    EXPECT_TRUE(again->Equals(call));
    EXPECT_EQ(again->GetToString(), c.Printed);
  }
}

TEST(ClipsParser, CallStructure) {
  TEngine t;
  IFunCall c = t.E.ParseFunCall("(if (> ?x 1) then (printout t x) else (printout t y))");
  ASSERT_EQ(c->GetArgumentCount(), 5);
  const TKbType kinds[] = {dtFunCall, dtAtom, dtFunCall, dtAtom, dtFunCall};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(c->GetArgument(i)->GetDType(), kinds[i]);
  EXPECT_EQ(c->GetReasoner(), &t.E);
  EXPECT_EQ(c->GetArgument(0)->GetAsFunCall()->GetReasoner(), &t.E);

  IFunCall m = t.E.ParseFunCall("(modify ?f (color red) (size 1 2))");
  ASSERT_EQ(m->GetArgumentCount(), 3);
  EXPECT_EQ(m->GetArgument(0)->GetDType(), dtVariable);
  IValueVector size = m->GetArgument(2)->GetAsList();
  ASSERT_EQ(size->Count(), 2);
  EXPECT_EQ(size->Get(0)->GetAsString(), "size");
  EXPECT_EQ(size->Get(1)->GetAsList()->Count(), 2);
  EXPECT_EQ(m->GetArgument(1)->GetAsList()->Get(1)->GetAsString(), "red");

  IFunCall g = t.E.ParseFunCall("(?x 1)");
  EXPECT_EQ(g->GetName(), "__get-var");
  EXPECT_EQ(g->GetArgument(0)->GetToString(), "?x");
  EXPECT_EQ(t.E.ParseFunCall("(= 1 1)")->GetName(), "=");
}

TEST(ClipsParser, ValuesAndLists) {
  TEngine t;
  EXPECT_EQ(t.E.ParseValue("abc")->GetToString(), "abc");
  EXPECT_FALSE(t.E.ParseValue(""));
  IKbValue v = t.E.ParseValue("a 2 (f) ) z");
  ASSERT_EQ(v->GetDType(), dtList);
  EXPECT_EQ(v->ListPtr()->Count(), 3);
  EXPECT_EQ(v->ListPtr()->Get(2)->GetDType(), dtFunCall);
  // Something else after a value ends the reading: a multifield of one.
  IKbValue one = t.E.ParseValue("a & b");
  ASSERT_EQ(one->GetDType(), dtList);
  EXPECT_EQ(one->ListPtr()->Count(), 1);

  IKbValue l = t.E.ParseList("a = (f) 3 (g)");
  ASSERT_EQ(l->GetDType(), dtList);
  ASSERT_EQ(l->ListPtr()->Count(), 4);
  EXPECT_EQ(l->ListPtr()->Get(1)->GetDType(), dtFunCall);
  EXPECT_EQ(t.E.ParseList("")->ListPtr()->Count(), 0);
}

// The messages of text read as a whole (constructs and calls) are tested
// by tests/language/parser/error-messages.clp; these are the parts of the
// reader a host calls on its own.
TEST(ClipsParser, ErrorMessages) {
  TEngine t;
  EXPECT_EQ(ErrorOf([&] { t.E.ParseValue("& a"); }),
            "Parsing Error, Bad Argument: & in ParseValue at line 1: & ");
  EXPECT_EQ(ErrorOf([&] { t.E.ParseList("a & b"); }),
            "Parsing Error, Bad Slot Value: & in ParseList at line 1: & ");
  EXPECT_EQ(
      ErrorOf([&] { t.E.ParseList("= b"); }),
      "Parsing Error, \"=\" cannot appear as an atom within a fact in ParseList at line 1: b ");
  // Not a parse error: the caller gets the evaluation error itself.
  EXPECT_EQ(ErrorOf([&] { t.E.Parse("?nope"); }), "Unknown variable name: nope");
  try {
    t.E.Parse("\n\n(foo");
  } catch (const EKbParseException& e) {
    EXPECT_EQ(e.GetLineNumber(), 3);
  }
}

TEST(ClipsParser, CollectingModeGathersUpToMaxErrorsPlusOne) {
  TEngine t;
  t.E.SetParserErrorHandling(ehRaiseAllAtEnd);
  std::string text;
  for (int i = 0; i < 20; ++i) text += "(defglobal ?*ok" + IntToStr(i) + "* = 1 ?bad = 2)\n";
  try {
    t.E.Parse(text);
    FAIL() << "no error";
  } catch (const EKbParseException& e) {
    ASSERT_EQ(e.GetMessages().size(), 11u);
    std::string expected = "Errors parsing stream:\r\n";
    for (const std::string& m : e.GetMessages()) expected += m + "\r\n";
    EXPECT_EQ(e.Message(), expected);
    EXPECT_EQ(e.GetMessages()[10],
              "Parsing Error, Bad Variable Name, must start and end with an asterisk: bad in "
              "ParseVariable at line 11:  ( defglobal ?*ok10* = 1 ?bad ");
    EXPECT_EQ(e.GetLineNumber(), 1);
  }
  // A broken defglobal installs none of its definitions.
  EXPECT_EQ(t.E.GlobalVariables().Count(), 0u);

  // One error: its message and a line break; good items around it stay.
  try {
    t.E.Parse("(t-add 1) (nosuch 1) (defglobal ?*g* = 4) ?missing (t-add 2)");
    FAIL() << "no error";
  } catch (const EKbParseException& e) {
    EXPECT_EQ(e.Message(),
              "Errors parsing stream:\r\n"
              "Parsing Error, Function is unimplemented or unassigned: nosuch in Parse at line 1:  "
              "( nosuch 1 ) \r\n"
              "Parsing Error, Unknown variable name: missing in Parse at line 1: ?missing \r\n");
  }
  EXPECT_EQ(t.Out, "1\r\n2\r\n");
  EXPECT_TRUE(t.E.GlobalVariables().Contains("*g*"));
  try {
    t.E.Parse("(defglobal ?x = 1)");
    FAIL() << "no error";
  } catch (const EKbParseException& e) {
    EXPECT_EQ(e.Message(),
              "Parsing Error, Bad Variable Name, must start and end with an asterisk: x in "
              "ParseVariable at line 1:  ( defglobal ?x \r\n");
  }
  t.E.SetParserMaxErrors(0);
  try {
    t.E.Parse("(a (1)) (b (2))");
    FAIL() << "no error";
  } catch (const EKbParseException& e) {
    EXPECT_EQ(e.GetMessages().size(), 1u);
  }
}

TEST(ClipsParser, RecoveryNeverRunsPartsOfABrokenConstruct) {
  TEngine t;
  t.E.SetParserErrorHandling(ehRaiseAllAtEnd);
  // The broken deffunction is the last construct: its remaining statements
  // are skipped, not run as top-level commands.
  EXPECT_THROW(t.E.Parse("(t-count) (deffunction f () & (t-count) (t-count))"), EKbParseException);
  EXPECT_EQ(Counted, 1);
  // A stray ")" is one error; the construct after it is intact.
  try {
    t.E.Parse(") (t-count)");
  } catch (const EKbParseException& e) {
    EXPECT_EQ(e.GetMessages().size(), 1u);
  }
  EXPECT_EQ(Counted, 2);
  // A broken rule is skipped whole.
  EXPECT_THROW(t.E.Parse("(defrule r (a (slot b)) => (t-count)) (t-count)"), EKbParseException);
  EXPECT_EQ(Counted, 3);
}

TEST(ClipsParser, NestingIsBounded) {
  TEngine t;
  auto nested = [](int Depth) {
    std::string s;
    for (int i = 0; i < Depth; ++i) s += "(f ";
    s += "1";
    s.append(static_cast<size_t>(Depth), ')');
    return s;
  };
  IFunCall deep = t.E.ParseFunCall(nested(MaxNestingDepth));
  EXPECT_EQ(PrettyPrint(deep), nested(MaxNestingDepth));
  EXPECT_EQ(ErrorOf([&] { t.E.ParseFunCall(nested(MaxNestingDepth + 1)); }).substr(0, 70),
            "Parsing Error, Expression nested more than 1000 levels deep in ParseFu");
  // Hostile input: the error comes long before the input is read.
  EXPECT_THROW(t.E.Parse(std::string(1 << 20, '(')), EKbParseException);
  t.E.Parse("(t-add 1)");
  EXPECT_EQ(t.Out, "1\r\n");
}

// ------------------------------------------------------------ deffunctions

TEST(ClipsParser, DeffunctionStructureAndText) {
  TEngine t;
  IInterpretedFunction f =
      t.E.ParseFunction("(deffunction f \"c1\" (?a $?b) \"c2\" (t-add ?a 1) ?a 5)");
  EXPECT_EQ(f->GetFunctionName(), "f");
  EXPECT_EQ(f->GetComment(), "c2");
  ASSERT_EQ(f->GetArgumentCount(), 2);
  EXPECT_EQ(f->GetArgument(0)->GetDType(), dtVariable);
  EXPECT_EQ(f->GetArgument(0)->GetAsString(), "a");
  EXPECT_EQ(f->GetArgument(1)->GetDType(), dtMultiVariable);
  ASSERT_EQ(f->GetStatementCount(), 3);
  EXPECT_EQ(f->GetStatement(0)->GetDType(), dtFunCall);
  // Parsing alone installs nothing.
  EXPECT_FALSE(t.E.ContainsUserFunction("f"));

  const std::string text =
      "(deffunction f (?a $?b)\r\n    \"c2\"\r\n    (t-add ?a 1)\r\n    ?a\r\n    5\r\n)\r\n";
  EXPECT_EQ(t.E.PrettyPrint(f), text);
  EXPECT_EQ(t.E.PrettyPrint(IUserFunction(f)), text);
  IInterpretedFunction again = t.E.ParseFunction(text);
  EXPECT_EQ(t.E.PrettyPrint(again), text);

  EXPECT_EQ(t.E.PrettyPrint(t.E.ParseFunction("(deffunction g () \"say \\\"hi\\\"\")")),
            "(deffunction g ()\r\n    \"say \\\"hi\\\"\"\r\n)\r\n");
  // A package function prints as a comment block.
  EXPECT_EQ(t.E.PrettyPrint(t.E.GetUserFunction("t-add")),
            ";; t-add function\r\n;;     Adds\r\n;;          syntax: (t-add <n>*)\r\n");
}

// Reading is apart from doing: ReadItem returns each item as read, and
// only the engine's loader installs it or runs it.
TEST(ClipsParser, ReadingInstallsAndRunsNothing) {
  TDeducer e;
  std::string out;
  e.OnPrintOut = [&](TPersistent*, const std::string&, const std::string& Text) { out += Text; };
  e.Parse("(defglobal ?*n* = 1)");
  TKbParser& parser = e.GetParser();
  auto tokens = TKbClipsStream::FromText(
      "(bind ?*n* 2) ?*n* (deffunction f () 1) (defglobal ?*g* = 3 ?*h* = (+ 1 2))"
      " (deftemplate t (slot s)) (deffacts fs (u 1)) (defrule r (u ?) =>) (EOF)");
  tokens->SetEngine(&e);
  parser.SetStream(tokens.get());
  std::vector<TParsedItem> items;
  for (;;) {
    items.push_back(parser.ReadItem());
    if (items.back().Kind == ptEOF) break;
  }
  parser.SetStream(nullptr);
  const std::vector<TParsedType> kinds = {ptFunCall,      ptValue,   ptFunction, ptGlobals,
                                          ptFactTemplate, ptFactSet, ptRule,     ptEOF};
  ASSERT_EQ(items.size(), kinds.size());
  for (size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(items[i].Kind, kinds[i]) << i;
  EXPECT_EQ(items[0].Call->GetToString(), "(bind ?*n* 2)");
  EXPECT_EQ(items[1].Token->GetToString(), "?*n*");
  ASSERT_EQ(items[3].Globals.size(), 2u);
  EXPECT_EQ(items[3].Globals[1].first, "*h*");
  EXPECT_EQ(items[3].Globals[1].second->GetDType(), dtFunCall);
  // Nothing ran, nothing was echoed, nothing joined the engine's tables.
  EXPECT_EQ(e.GetContext()->GetVariable("*n*")->GetAsInteger(), 1);
  EXPECT_EQ(out, "");
  EXPECT_FALSE(e.ContainsUserFunction("f"));
  EXPECT_FALSE(e.GlobalVariables().Contains("*g*"));
  EXPECT_FALSE(e.FindFactTemplate("t"));
  // Only a name no template has yet gets its implied template as it is read.
  EXPECT_TRUE(e.FindFactTemplate("u"));
  EXPECT_EQ(e.FactSets().IndexOf("fs"), -1);
  EXPECT_FALSE(e.Rules().Contains("r"));

  // The loader does it all, in the order read, as a parse would have.
  std::vector<TParsedType> reported;
  for (TParsedItem& item : items) reported.push_back(e.Load(item).Kind);
  EXPECT_EQ(out, "2\r\n2\r\n");
  EXPECT_EQ(e.GetContext()->GetVariable("*h*")->GetAsInteger(), 3);
  EXPECT_TRUE(e.ContainsUserFunction("f"));
  EXPECT_TRUE(e.FindFactTemplate("t"));
  EXPECT_EQ(e.FactSets().IndexOf("fs"), 0);
  EXPECT_TRUE(e.Rules().Contains("r"));
  // The fact set and the rule are the engine's now, not the items'.
  EXPECT_EQ(items[5].FactSet, nullptr);
  EXPECT_EQ(items[6].Rule, nullptr);
  EXPECT_EQ(reported, kinds);
}
