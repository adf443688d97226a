#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Deducer.h"
#include "functions/KbPackages.h"
#include "functions/StandardPackage.h"

using namespace kb;

namespace {

// What test-log saw, in order.
std::string Log;

KB_FUNCTION(TTestLogFunction, "test-log", 1, 1, "Logs its argument", "test-log <value>") {
  IKbValue v = Args.Eval(0);
  Log += v->GetToString() + ";";
  return v;
}

KB_FUNCTION(TTestNothingFunction, "test-nothing", 0, 0, "Returns nothing", "test-nothing") {
  return IKbValue();
}

KB_FUNCTION(TTestFailFunction, "test-fail", 1, 1, "Raises EKbException", "test-fail <text>") {
  KbError("%s", Args.Str(0));
}

KB_FUNCTION(TTestHostThrowFunction, "test-host-throw", 0, 0, "Raises a std::runtime_error",
            "test-host-throw") {
  throw std::runtime_error("host failure");
}

IKbValue Int(int32_t v) { return NewInteger(v); }
IKbValue Str(const char* s) { return NewString(s); }
IKbValue Var(const char* s) { return NewVariable(s); }

class ControlTest : public ::testing::Test {
 protected:
  ControlTest() {
    Log.clear();
    for (IUserFunction f :
         {IUserFunction(new TTestLogFunction()), IUserFunction(new TTestNothingFunction()),
          IUserFunction(new TTestFailFunction()), IUserFunction(new TTestHostThrowFunction())})
      E.AddUserFunction(f);
  }

  // The text of the result of one command; "<nothing>" when it gives none.
  std::string R(const std::string& Command) {
    IKbValue r = E.ParseNExecuteFunCall(Command);
    return r ? r->GetToString() : "<nothing>";
  }
  std::string Error(const std::string& Command) {
    try {
      E.ParseNExecuteFunCall(Command);
    } catch (const Exception& e) {
      return e.Message();
    }
    return "<no error>";
  }
  std::string VarText(const char* Name) {
    TBinding* b = E.GetContext()->FindBinding(Name);
    return b ? b->GetValue()->GetToString() : "<unbound>";
  }
  // A call built by hand, arguments as written.
  IKbValue F(const std::string& Name, std::initializer_list<IKbValue> Args = {}) {
    IFunCall c(new TFunctionCall(&E, Name));
    for (const IKbValue& a : Args) c->AddArgument(a);
    return NewFunCall(c);
  }
  IKbValue Run(const IKbValue& V) { return V->Resolve(E.GetContext()); }

  TDeducer E;
};

}  // namespace

TEST_F(ControlTest, RegisteredInTableOrderWithBoundsAndHelp) {
  struct Row {
    const char* Name;
    int32_t Min, Max;
  };
  const int32_t U = MaxArguments;
  const std::vector<Row> rows = {{"and", 0, U},     {"bind", 2, 2},      {"clear-storage", 0, 0},
                                 {"eq", 1, U},      {"eq*", 1, U},       {"=", 1, U},
                                 {"exit", 0, 0},    {"__get-var", 1, 1}, {"fetch", 1, 1},
                                 {"foreach", 2, U}, {"gensym*", 0, 0},   {">", 2, U},
                                 {">=", 2, U},      {"halt", 0, 0},      {"if", 2, U},
                                 {"<", 2, U},       {"<=", 2, U},        {"neq", 1, U},
                                 {"<>", 1, U},      {"not", 1, 1},       {"or", 0, U},
                                 {"return", 1, 1},  {"store", 2, 2},     {"try", 1, U},
                                 {"throw", 1, 1},   {"while", 2, U}};
  TStandardPackage* package = nullptr;
  for (int i = 0; i < E.GetComponentCount(); ++i)
    if (auto* p = dynamic_cast<TStandardPackage*>(E.GetComponent(i))) package = p;
  ASSERT_NE(package, nullptr);
  int previous = -1;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    IUserFunction f = E.GetUserFunction(row.Name);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->GetMinArgumentCount(), row.Min);
    EXPECT_EQ(f->GetMaxArgumentCount(), row.Max);
    int index = package->IndexOf(row.Name);
    EXPECT_GT(index, previous);
    previous = index;
  }
  EXPECT_EQ(E.GetUserFunction("if")->GetComment(),
            "Evaluates the first argument.  If the first argument is TRUE, then it executes the "
            "expressions after the \"then\" keyword.  If the first argument is FALSE and the "
            "\"else\" keyword is present, it executes the expressions after the \"else\" "
            "keyword\r\n     syntax: (if <predicate-expression> then <expression>+ [else "
            "<expression>+])");
  EXPECT_EQ(E.GetUserFunction("__get-var")->GetComment(),
            "\r\n     syntax: (__get-var <variable-name>)");
  EXPECT_EQ(Error("(bind ?x)"), "Too few arguments for bind");
  EXPECT_EQ(Error("(not a b)"), "Too many arguments for not");
}

TEST_F(ControlTest, BindGetVarAndStorage) {
  EXPECT_EQ(R("(bind ?x (+ 1 2))"), "3");
  EXPECT_EQ(VarText("x"), "3");
  // __get-var: a variable is evaluated, anything else names a binding.
  EXPECT_EQ(R("(__get-var ?x)"), "3");
  EXPECT_EQ(R("(__get-var x)"), "3");
  EXPECT_EQ(E.ParseNExecuteFunCall("(__get-var \"none\")"), FCNil);
  // A call that returns nothing binds nil, so the variable stays readable.
  EXPECT_EQ(E.ParseNExecuteFunCall("(bind ?n (test-nothing))"), FCNil);
  EXPECT_EQ(R("(eq ?n nil)"), "TRUE");

  EXPECT_EQ(R("(store \"k\" 5)"), "5");
  EXPECT_EQ(R("(fetch \"k\")"), "5");
  EXPECT_EQ(R("(fetch k)"), "5");  // a symbol is the same key
  // Both keys are evaluated, so a key held in a variable works both ways.
  R("(bind ?key \"k2\")");
  R("(store ?key v)");
  EXPECT_EQ(R("(fetch ?key)"), "v");
  EXPECT_EQ(R("(fetch \"k2\")"), "v");
  EXPECT_EQ(E.Variables().Count(), 2u);
  // Storing nil forgets the key.
  EXPECT_EQ(R("(store \"k\" nil)"), "<nothing>");
  EXPECT_EQ(E.ParseNExecuteFunCall("(fetch \"k\")"), FCNil);
  EXPECT_FALSE(E.Variables().Contains("k"));
  EXPECT_EQ(E.ParseNExecuteFunCall("(fetch \"none\")"), FCNil);
  EXPECT_EQ(R("(clear-storage)"), "<nothing>");
  EXPECT_EQ(E.Variables().Count(), 0u);

  IKbValue a = E.ParseNExecuteFunCall("(gensym*)"), b = E.ParseNExecuteFunCall("(gensym*)");
  EXPECT_EQ(a->GetDType(), dtAtom);
  EXPECT_EQ(a->GetAsString().rfind("gen", 0), 0u);
  EXPECT_EQ(b->GetAsString().rfind("gen", 0), 0u);
  EXPECT_NE(a->GetAsString(), b->GetAsString());
}

TEST_F(ControlTest, WithoutContextOrEngine) {
  auto errorOf = [](const std::function<void()>& f) -> std::string {
    try {
      f();
    } catch (const EKbException& e) {
      return e.Message();
    }
    return "<no error>";
  };
  IFunCall bind = F("bind", {Var("x"), Int(1)})->GetAsFunCall();
  EXPECT_EQ(errorOf([&] { bind->Execute(nullptr); }),
            "No context found when trying to resolve a dtVariable value");
  TKbContext detached(nullptr, nullptr);
  IFunCall gensym = F("gensym*")->GetAsFunCall();
  EXPECT_EQ(errorOf([&] { gensym->Execute(&detached); }), "Unknown/Undefined Deducer");
  IFunCall store = F("store", {Str("k"), Int(1)})->GetAsFunCall();
  EXPECT_EQ(errorOf([&] { store->Execute(&detached); }), "Unknown/Undefined Deducer");
}

TEST_F(ControlTest, TruthValuesAndShortCircuit) {
  // nil, 0 and the empty string are true; only FALSE is false.
  EXPECT_EQ(R("(and nil 0 \"\")"), "TRUE");
  EXPECT_EQ(R("(and)"), "TRUE");
  EXPECT_EQ(R("(and FALSE)"), "FALSE");
  EXPECT_EQ(R("(and (test-nothing))"), "TRUE");
  // For or only TRUE itself counts.
  EXPECT_EQ(R("(or nil)"), "FALSE");
  EXPECT_EQ(R("(or 1)"), "FALSE");
  EXPECT_EQ(R("(or)"), "FALSE");
  EXPECT_EQ(R("(or FALSE TRUE)"), "TRUE");
  EXPECT_EQ(R("(not FALSE)"), "TRUE");
  EXPECT_EQ(R("(not nil)"), "FALSE");
  EXPECT_EQ(R("(not \"FALSE\")"), "FALSE");  // a string is not the atom

  EXPECT_EQ(R("(and (test-log a) FALSE (test-log b))"), "FALSE");
  EXPECT_EQ(R("(or (test-log c) TRUE (test-log d))"), "TRUE");
  EXPECT_EQ(Log, "a;c;");
}

TEST_F(ControlTest, Comparisons) {
  EXPECT_EQ(R("(< 1 2 3)"), "TRUE");
  EXPECT_EQ(R("(< 1 3 2)"), "FALSE");
  EXPECT_EQ(R("(<= 1 1 2)"), "TRUE");
  EXPECT_EQ(R("(> 3 2 2)"), "FALSE");
  EXPECT_EQ(R("(>= 3 2 2)"), "TRUE");
  EXPECT_EQ(R("(> 2.5 2)"), "TRUE");
  EXPECT_EQ(R("(< \"1.5\" 2)"), "TRUE");  // numeric text counts
  EXPECT_EQ(R("(= 1 1.0)"), "TRUE");
  EXPECT_EQ(R("(= 1 1 2)"), "FALSE");
  EXPECT_EQ(R("(= 7)"), "TRUE");
  EXPECT_EQ(R("(<> 1 2 3)"), "TRUE");
  EXPECT_EQ(R("(<> 1 2 1.0)"), "FALSE");

  EXPECT_EQ(R("(eq 1)"), "TRUE");
  EXPECT_EQ(R("(eq a a a)"), "TRUE");
  EXPECT_EQ(R("(eq 1 1.0)"), "FALSE");
  EXPECT_EQ(R("(eq a \"a\")"), "FALSE");
  EXPECT_EQ(R("(eq (test-nothing) (test-nothing))"), "TRUE");
  EXPECT_EQ(R("(neq a b a)"), "FALSE");
  EXPECT_EQ(R("(neq a b c)"), "TRUE");
  EXPECT_EQ(R("(neq (test-nothing) 1)"), "TRUE");
  EXPECT_EQ(R("(eq* 1 1.0 \"1\")"), "TRUE");
  EXPECT_EQ(R("(eq* a \"a\")"), "TRUE");
  // Values that cannot be read as each other's type are unequal, not an error.
  EXPECT_EQ(R("(eq* 1 a)"), "FALSE");

  EXPECT_EQ(Error("(< 1 x)"), "Not a numeric.  Value Type is dtAtom");
  EXPECT_EQ(Error("(= (test-nothing) 1)"), "Not a numeric.  Value Type is dtNone");

  // Each argument is evaluated once; after a failed test the rest are not.
  EXPECT_EQ(R("(< (test-log 1) (test-log 2) (test-log 0) (test-log 9))"), "FALSE");
  EXPECT_EQ(Log, "1;2;0;");
  Log.clear();
  EXPECT_EQ(R("(eq (test-log a) (test-log b) (test-log c))"), "FALSE");
  EXPECT_EQ(Log, "a;b;");
}

TEST_F(ControlTest, IfBranches) {
  EXPECT_EQ(R("(if (> 2 1) then (bind ?a 1) (bind ?b 2) else (bind ?c 3))"), "2");
  EXPECT_EQ(VarText("a"), "1");
  EXPECT_EQ(VarText("b"), "2");
  EXPECT_EQ(VarText("c"), "<unbound>");
  EXPECT_EQ(R("(if (> 1 2) then (bind ?d 1) (bind ?e 2) else (bind ?c 3))"), "3");
  EXPECT_EQ(VarText("c"), "3");
  EXPECT_EQ(VarText("d"), "<unbound>");

  EXPECT_EQ(R("(if FALSE then 1)"), "FALSE");
  EXPECT_EQ(R("(if FALSE then 1 else)"), "FALSE");
  EXPECT_EQ(R("(if nil then 1 else 2)"), "1");
  EXPECT_EQ(R("(if TRUE then)"), "FALSE");
  // An empty then-branch before else.
  EXPECT_EQ(R("(if TRUE then else 2)"), "FALSE");
  EXPECT_EQ(R("(if FALSE then else 2)"), "2");
  EXPECT_EQ(Error("(if 1 2)"), "Syntax Error: Missing \"then\" in an IF statement");
  // The keyword is an atom as written: a string "then" is not it, and a
  // variable holding the atom else does not end the then-branch.
  EXPECT_EQ(Error("(if 1 \"then\" 2)"), "Syntax Error: Missing \"then\" in an IF statement");
  R("(bind ?k else)");
  EXPECT_EQ(R("(if TRUE then ?k 7)"), "7");
  // The branch not taken is never evaluated.
  R("(if TRUE then (test-log t) else (test-log e))");
  EXPECT_EQ(Log, "t;");
}

TEST_F(ControlTest, Loops) {
  R("(bind ?i 0)");
  EXPECT_EQ(R("(while (< ?i 3) do (bind ?i (+ ?i 1)))"), "FALSE");
  EXPECT_EQ(VarText("i"), "3");
  // Without do, and a condition false from the start.
  R("(bind ?i 0)");
  R("(while (< ?i 2) (test-log ?i) (bind ?i (+ ?i 1)))");
  EXPECT_EQ(R("(while FALSE (test-log never))"), "FALSE");
  EXPECT_EQ(Log, "0;1;");

  // Nested loops.
  E.Parse("(bind ?n 0) (bind ?i 0)");
  R("(while (< ?i 2) (bind ?j 0) (while (< ?j 3) (bind ?n (+ ?n 1)) (bind ?j (+ ?j 1))) "
    "(bind ?i (+ ?i 1)))");
  EXPECT_EQ(VarText("n"), "6");

  EXPECT_EQ(R("(foreach c (create$ a b) (bind ?x ?c))"), "b");
  EXPECT_EQ(VarText("c"), "b");
  EXPECT_EQ(VarText("x"), "b");
  // The loop variable may be written as a variable; items are bound in order.
  Log.clear();
  R("(foreach ?v (create$ 1 \"s\" 2.5) (test-log ?v))");
  EXPECT_EQ(Log, "1;\"s\";2.5;");
  EXPECT_EQ(E.ParseNExecuteFunCall("(foreach c (create$))"), FCNil);
  EXPECT_EQ(E.ParseNExecuteFunCall("(foreach c (create$ a))"), FCNil);
  EXPECT_EQ(Error("(foreach c 1)"), "Not a list.  Value Type is dtInteger");
  EXPECT_EQ(Error("(foreach c (test-nothing))"), "Not a list.  Value Type is dtNone");
}

TEST_F(ControlTest, ReturnLeavesLoopsAndBranchesOfDeffunctions) {
  E.Parse(
      "(deffunction find (?limit)"
      "  (bind ?i 0)"
      "  (while TRUE do"
      "    (foreach x (create$ 1 2 3)"
      "      (bind ?i (+ ?i ?x))"
      "      (if (> ?i ?limit) then (return ?i))))"
      "  (test-log never))");
  EXPECT_EQ(R("(find 7)"), "9");
  EXPECT_EQ(R("(find 0)"), "1");
  EXPECT_EQ(Log, "");

  // The value is taken when return runs.
  E.Parse("(deffunction early () (bind ?r 1) (return ?r) (bind ?r 2))");
  EXPECT_EQ(R("(early)"), "1");

  // A return evaluated as an argument is not lost by a control function or
  // a deffunction evaluated after it.
  E.Parse(
      "(deffunction inner () (and (return 4) (if TRUE then (test-log if))) (test-log after))"
      "(deffunction outer () (and (return 6) (early)) (test-log after))");
  EXPECT_EQ(R("(inner)"), "4");
  EXPECT_EQ(R("(outer)"), "6");
  EXPECT_EQ(Log, "if;");

  // A return left on a context outside any deffunction (here by a call run
  // by hand) does not cut short the control functions run after it.
  Run(F("return", {Int(5)}));
  ASSERT_TRUE(E.GetContext()->GetReturnValueSet());
  Run(F("bind", {Var("i"), Int(0)}));
  Log.clear();
  IFunCall loop = E.ParseFunCall("(while (< ?i 3) (test-log ?i) (bind ?i (+ ?i 1)))");
  EXPECT_EQ(loop->Execute(E.GetContext()), FCFalse);
  EXPECT_EQ(Log, "0;1;2;");
  ASSERT_TRUE(E.GetContext()->GetReturnValueSet());
  EXPECT_EQ(E.GetContext()->GetReturnValue()->GetAsInteger(), 5);
}

TEST_F(ControlTest, TryCatchFinally) {
  EXPECT_EQ(R("(try (throw \"boom\") catch (bind ?m ?__ERROR))"), "\"boom\"");
  EXPECT_EQ(E.GetContext()->GetVariable("__ERROR")->GetDType(), dtString);
  EXPECT_EQ(R("(try (throw boom) finally (bind ?f 1))"), "FALSE");
  EXPECT_EQ(VarText("f"), "1");
  // except is catch; errors of the engine and of host code are caught alike.
  EXPECT_EQ(R("(try (test-fail \"bad\") except ?__ERROR)"), "\"bad\"");
  EXPECT_EQ(R("(try (test-host-throw) catch ?__ERROR)"), "\"host failure\"");
  // Without an error: the last value of the body or the finally section.
  EXPECT_EQ(R("(try 1 2 catch 3)"), "2");
  EXPECT_EQ(R("(try 1 finally 4 catch 3)"), "4");
  EXPECT_EQ(Error("(try 1)"), "Missing catch or finally statement for try block");

  // Order: body (up to the error), finally, catch.
  EXPECT_EQ(R("(try (test-log body) (throw \"x\") (test-log skipped)"
              " finally (test-log finally)"
              " catch (test-log catch) (test-log ?__ERROR))"),
            "\"x\"");
  EXPECT_EQ(Log, "body;finally;catch;\"x\";");
  // An error in the finally section is caught too; one in catch escapes.
  EXPECT_EQ(R("(try 1 finally (throw \"late\") catch ?__ERROR)"), "\"late\"");
  EXPECT_EQ(Error("(try (throw a) catch (throw b))"), "b");
  // The inner try handles its own error; the outer sees none.
  EXPECT_EQ(R("(try (try (throw \"in\") catch 1) catch 2)"), "1");

  // exit is not caught, but the finally section still runs.
  Log.clear();
  EXPECT_THROW(R("(try (exit) finally (test-log fin) catch (test-log caught))"), EAbort);
  EXPECT_EQ(Log, "fin;");
  EXPECT_TRUE(E.GetExitRequested());
}

TEST_F(ControlTest, TryWithReturnInDeffunction) {
  // The whole finally section runs; the value returned is the one taken.
  E.Parse(
      "(deffunction guarded ()"
      "  (bind ?r 1)"
      "  (try (return ?r) finally (bind ?r 2) (test-log ?r))"
      "  (test-log never))");
  EXPECT_EQ(R("(guarded)"), "1");
  EXPECT_EQ(Log, "2;");

  // A return in the finally section wins; an error there replaces the
  // return; a return in the catch section leaves the deffunction.
  E.Parse(
      "(deffunction overrides () (try (return 1) finally (return 2)) (test-log never))"
      "(deffunction fails ()"
      "  (try (return 1) finally (throw \"f\") catch ?__ERROR) (test-log continued))"
      "(deffunction in-catch ()"
      "  (try (throw \"x\") catch (return 3) (test-log never)) (test-log never))");
  EXPECT_EQ(R("(overrides)"), "2");
  EXPECT_EQ(R("(fails)"), "continued");
  EXPECT_EQ(R("(in-catch)"), "3");
  EXPECT_EQ(Log, "2;continued;");
}

TEST_F(ControlTest, HaltExitThrowAndRecovery) {
  EXPECT_FALSE(E.GetHalted());
  EXPECT_EQ(R("(halt)"), "TRUE");
  EXPECT_TRUE(E.GetHalted());

  EXPECT_FALSE(E.GetExitRequested());
  EXPECT_THROW(R("(exit)"), EAbort);
  EXPECT_TRUE(E.GetExitRequested());

  // throw raises the plain exception class, not the engine's.
  try {
    R("(throw plain)");
    FAIL();
  } catch (const EKbException&) {
    FAIL() << "throw raised EKbException";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "plain");
  }

  // An error escaping from deep inside loops leaves the engine usable.
  E.Parse(
      "(deffunction deep (?n)"
      "  (foreach x (create$ 1 2) (if (= ?x ?n) then (throw \"hit\")))"
      "  ?n)");
  EXPECT_EQ(Error("(deep 2)"), "hit");
  EXPECT_FALSE(E.GetContext()->GetReturnValueSet());
  EXPECT_EQ(R("(deep 5)"), "5");
  EXPECT_EQ(R("(if TRUE then 1)"), "1");
}
