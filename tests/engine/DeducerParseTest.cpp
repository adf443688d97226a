#include <gtest/gtest.h>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerFunctions.h"
#include "engine/DeducerParse.h"
#include "parser/KbClipsParser.h"

using namespace kb;

namespace {

using kb::test::ErrorOf;

KB_FUNCTION(TTestPlusFunction, "t-plus", 0, MaxArguments, "Adds", "t-plus <n>*") {
  int32_t s = 0;
  for (int i = 0; i < Args.Count(); ++i) s += Args.Int(i);
  return NewInteger(s);
}
KB_FUNCTION(TTestVoidFunction, "t-void", 0, 0, "Returns nothing", "t-void") { return IKbValue(); }
KB_FUNCTION(TTestReturnFunction, "t-return", 1, 1, "Returns", "t-return <value>") {
  IKbValue v = Args.Eval(0);
  Args.Context->SetReturnValue(v);
  return v;
}
KB_FUNCTION(TTestParseFunction, "t-parse", 1, 1, "Parses its text", "t-parse <text>") {
  Args.Engine()->Parse(Args.Str(0));
  return FCTrue;
}
KB_FUNCTION(TTestAbortFunction, "t-abort", 0, 0, "Aborts", "t-abort") { throw EAbort(); }

struct TEngine {
  TEngine() {
    for (IUserFunction f :
         {IUserFunction(new TTestPlusFunction()), IUserFunction(new TTestVoidFunction()),
          IUserFunction(new TTestReturnFunction()), IUserFunction(new TTestParseFunction()),
          IUserFunction(new TTestAbortFunction())})
      E.AddUserFunction(f);
    E.OnPrintOut = [this](TPersistent*, const std::string& Id, const std::string& Text) {
      Out += Id + "|" + Text;
    };
  }
  TDeducer E;
  std::string Out;
};

}  // namespace

TEST(DeducerParse, TopLevelItemsEchoAndReport) {
  TEngine t;
  std::vector<TParsedType> kinds;
  std::vector<std::string> calls;
  t.E.GetParser().OnParse = [&](TKbParser*, TParsedType Kind, TPersistent*, const IInterface&) {
    kinds.push_back(Kind);
  };
  t.E.GetParser().OnParseFunCall = [&](TKbParser*, const IFunCall& Call) {
    calls.push_back(Call->GetToString());
  };
  EXPECT_TRUE(t.E.Parse("5 (t-plus 1 (t-plus 2 3)) nil (t-void) x"));
  EXPECT_TRUE(t.E.Parse("(deffunction f ()) (defglobal ?*a* = 1) ?*a* 2.5"));
  EXPECT_EQ(t.Out, "|5\r\n|6\r\n|x\r\n|1\r\n|2.5\r\n");
  // Nested calls are reported first.
  EXPECT_EQ(calls,
            (std::vector<std::string>{"(t-plus 2 3)", "(t-plus 1 (t-plus 2 3))", "(t-void)"}));
  const std::vector<TParsedType> expected = {ptValue, ptFunCall, ptNone,     ptNone,
                                             ptValue, ptEOF,     ptFunction, ptGlobals,
                                             ptValue, ptValue,   ptEOF};
  EXPECT_EQ(kinds, expected);
}

TEST(DeducerParse, EndOfInputAndTopLevelReturn) {
  TEngine t;
  t.E.Parse("(t-plus 1) (EOF) (t-plus 2)");
  EXPECT_EQ(t.Out, "|1\r\n");
  t.Out.clear();
  // A value EOF is echoed like any other; only the input's end stops.
  t.E.Parse("EOF (t-plus 3)");
  EXPECT_EQ(t.Out, "|EOF\r\n|3\r\n");
  t.Out.clear();
  t.E.Parse("(t-return 7)");
  EXPECT_EQ(t.Out, "|7\r\n");
  // The top-level return ends that command only.
  EXPECT_FALSE(t.E.GetContext()->GetReturnValueSet());
  // An abort ends parsing silently in the collecting mode.
  t.Out.clear();
  t.E.SetParserErrorHandling(ehRaiseAllAtEnd);
  EXPECT_TRUE(t.E.Parse("(t-plus 1) (t-abort) (t-plus 2)"));
  EXPECT_EQ(t.Out, "|1\r\n");
  t.E.SetParserErrorHandling(ehRaiseImmediate);
  EXPECT_THROW(t.E.Parse("(t-abort)"), EAbort);
}

TEST(DeducerParse, GlobalVariables) {
  TEngine t;
  std::vector<std::string> seen;
  t.E.GetParser().OnParseVariable = [&](TKbParser*, const std::string& Name, const IKbValue& V) {
    seen.push_back(Name + "=" + PrettyPrintValue(V));
  };
  t.E.Parse("(defglobal ?*x* = 1 ?*y* = (t-plus 1 2) ?*s* = \"a b\")");
  EXPECT_EQ(seen, (std::vector<std::string>{"*x*=1", "*y*=(t-plus 1 2)", "*s*=\"a b\""}));
  // The table keeps the definition, the root context the value.
  EXPECT_EQ(t.E.GlobalVariables().Get("*y*")->GetDType(), dtFunCall);
  EXPECT_EQ(t.E.GetContext()->GetVariable("*y*")->GetAsInteger(), 3);
  EXPECT_EQ(t.E.GetContext()->GetVariable("*x*")->GetAsInteger(), 1);
  t.E.Parse("(defglobal ?*x* = 10)");
  EXPECT_EQ(t.E.GetContext()->GetVariable("*x*")->GetAsInteger(), 10);
  EXPECT_EQ(t.E.PrettyPrintGlobalVariables(),
            "(defglobal ?*x* = 10 ?*y* = (t-plus 1 2) ?*s* = \"a b\")");
  EXPECT_EQ(t.E.GlobalVariables().GetToString(),
            "*x* = 10\r\n*y* = (t-plus 1 2)\r\n*s* = \"a b\"\r\n");
  EXPECT_EQ(t.E.PrettyPrint("n", NewFloat(2)), "n = 2.0");
  // The printed text defines the same globals again.
  TEngine u;
  u.E.Parse(t.E.PrettyPrintGlobalVariables());
  EXPECT_EQ(u.E.PrettyPrintGlobalVariables(), t.E.PrettyPrintGlobalVariables());

  std::string name;
  IKbValue v = t.E.ParseVariable("?*z* = (t-plus 4)", name);
  EXPECT_EQ(name, "*z*");
  EXPECT_EQ(v->GetDType(), dtFunCall);
  EXPECT_FALSE(t.E.GlobalVariables().Contains("*z*"));
  EXPECT_TRUE(t.E.ParseGlobalVariables("(defglobal ?*z* = 4)"));
  EXPECT_EQ(t.E.GetContext()->GetVariable("*z*")->GetAsInteger(), 4);

  t.E.GlobalVariables().Clear();
  EXPECT_EQ(t.E.GlobalVariables().Count(), 0u);
  EXPECT_EQ(ErrorOf([&] { t.E.GetContext()->GetVariable("*x*"); }), "Unknown variable name: *x*");
}

TEST(DeducerParse, DeffunctionsInstallAndRun) {
  TEngine t;
  IUserFunction seen;
  t.E.GetParser().OnParseFunction = [&](TKbParser*, const IUserFunction& F) { seen = F; };
  t.E.Parse("(deffunction add3 (?a ?b $?rest) (t-plus ?a ?b 3))");
  ASSERT_TRUE(t.E.ContainsUserFunction("add3"));
  EXPECT_EQ(seen, t.E.GetUserFunction("add3"));
  t.E.Parse("(add3 1 2 0) (add3 1 2 9 9)");
  EXPECT_EQ(t.Out, "|6\r\n|6\r\n");
  EXPECT_EQ(ErrorOf([&] { t.E.Parse("(add3 1)"); }), "Too few arguments for add3");
  EXPECT_EQ(t.E.UserFunctions().GetToString(),
            "(deffunction add3 (?a ?b $?rest)\r\n    (t-plus ?a ?b 3)\r\n)\r\n\r\n");

  t.E.SetDuplicateConstructs(dcError);
  EXPECT_EQ(ErrorOf([&] { t.E.Parse("(deffunction add3 () 1)"); }),
            "Function Name already exists: \"add3\"");
  t.E.SetDuplicateConstructs(dcOverwrite);
  t.E.Parse("(deffunction add3 () 1)");
  t.Out.clear();
  t.E.Parse("(add3)");
  EXPECT_EQ(t.Out, "|1\r\n");

  // A deffunction that calls itself is freed with the engine (no cycle).
  t.E.Parse("(deffunction loop (?n) (loop ?n))");
  EXPECT_EQ(t.E.ParseFunCall("(loop 1)")->GetName(), "loop");
}

TEST(DeducerParse, ParsesNestWithinParses) {
  TEngine t;
  t.E.Parse(
      "(defglobal ?*before* = 1) (t-parse \"(defglobal ?*inner* = 2) (t-plus 5)\") "
      "(defglobal ?*after* = 3)");
  EXPECT_EQ(t.E.GlobalVariables().Count(), 3u);
  EXPECT_EQ(t.Out, "|5\r\n|TRUE\r\n");
  // An error in the inner parse reaches the caller; the outer parse's
  // stream is given back, and the engine parses on.
  EXPECT_THROW(t.E.Parse("(t-parse \"(defglobal ?x = 1)\") (t-plus 9)"), EKbParseException);
  EXPECT_EQ(t.E.GetParser().GetStream(), nullptr);
  t.Out.clear();
  t.E.Parse("(t-plus 4)");
  EXPECT_EQ(t.Out, "|4\r\n");
  EXPECT_EQ(t.E.ParseNExecuteFunCall("(t-plus 2 2)")->GetAsInteger(), 4);
}

TEST(DeducerParse, SettingsReachTheParser) {
  TDeducer e;
  e.SetParserErrorHandling(ehRaiseAllAtEnd);
  e.SetParserMaxErrors(3);
  EXPECT_EQ(e.GetParser().GetErrorHandling(), ehRaiseAllAtEnd);
  EXPECT_EQ(e.GetParser().GetMaxErrors(), 3);
  e.SetParserMaxErrors(4);
  EXPECT_EQ(e.GetParser().GetMaxErrors(), 4);
  auto tokens = e.NewTokenizer(nullptr);
  ASSERT_NE(dynamic_cast<TKbClipsStream*>(tokens.get()), nullptr);
  EXPECT_EQ(static_cast<TKbClipsStream*>(tokens.get())->GetEngine(), &e);
  EXPECT_THROW(e.NewTokenizer("/nonexistent/dir/file.clp", fmOpenRead), EFileError);
}

// What the control functions print when run at the top level is tested by
// tests/language/control/top-level-commands.clp; this is the deffunction's
// structure and text.
TEST(DeducerParse, ControlFunctionsParseAndRun) {
  TEngine t;
  t.E.Parse(
      "(deffunction f (?a $?rest) (bind ?r ?rest) (return ?r) (bind ?z 0))\n"
      "(f 1 2 3)\n");
  EXPECT_EQ(t.Out, "|2 3\r\n");
  EXPECT_FALSE(t.E.GetContext()->GetReturnValueSet());

  IInterpretedFunction f = RefCast<TInterpretedFunction>(t.E.GetUserFunction("f"));
  ASSERT_TRUE(f);
  ASSERT_EQ(f->GetStatementCount(), 3);
  EXPECT_EQ(f->GetStatement(1)->GetAsFunCall()->GetName(), "return");
  const std::string text =
      "(deffunction f (?a $?rest)\r\n    (bind ?r ?rest)\r\n    (return ?r)\r\n"
      "    (bind ?z 0)\r\n)\r\n";
  EXPECT_EQ(t.E.PrettyPrint(f), text);

  // The printed definitions run the same in a fresh engine.
  TEngine u;
  u.E.Parse(t.E.UserFunctions().GetToString());
  u.E.Parse("(f 7 8 9)");
  EXPECT_EQ(u.Out, "|8 9\r\n");
}
