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

// What the test functions saw, in order.
std::string Log;

KB_FUNCTION(TTestLogFunction, "test-log", 1, 1, "Logs its argument", "test-log <value>") {
  IKbValue v = Args.Eval(0);
  Log += v->GetToString() + ";";
  return v;
}

KB_FUNCTION(TTestAddFunction, "test-add", 2, 2, "Adds two integers", "test-add <n> <n>") {
  return NewInteger(Args.Int(0) + Args.Int(1));
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
IKbValue Flt(double v) { return NewFloat(v); }
IKbValue At(const char* s) { return NewAtom(s); }
IKbValue Str(const char* s) { return NewString(s); }
IKbValue Var(const char* s) { return NewVariable(s); }
IKbValue List(std::initializer_list<IKbValue> items) {
  IValueVector v = NewVector();
  for (const IKbValue& i : items) v->Add(i);
  return NewList(v);
}

class ControlTest : public ::testing::Test {
 protected:
  ControlTest() {
    Log.clear();
    for (IUserFunction f :
         {IUserFunction(new TTestLogFunction()), IUserFunction(new TTestAddFunction()),
          IUserFunction(new TTestNothingFunction()), IUserFunction(new TTestFailFunction()),
          IUserFunction(new TTestHostThrowFunction())})
      E.AddUserFunction(f);
  }

  // A call of Name with the arguments as written.
  IKbValue F(const std::string& Name, std::initializer_list<IKbValue> Args = {}) {
    IFunCall c(new TFunctionCall(&E, Name));
    for (const IKbValue& a : Args) c->AddArgument(a);
    return NewFunCall(c);
  }
  IKbValue Run(const IKbValue& V) { return V->Resolve(E.GetContext()); }
  std::string Text(const IKbValue& V) {
    IKbValue r = Run(V);
    return r ? r->GetToString() : "<nothing>";
  }
  std::string Error(const IKbValue& V) {
    try {
      Run(V);
    } catch (const Exception& e) {
      return e.Message();
    }
    return "<no error>";
  }
  std::string VarText(const char* Name) {
    TBinding* b = E.GetContext()->FindBinding(Name);
    return b ? b->GetValue()->GetToString() : "<unbound>";
  }
  // A deffunction with the given parameters and statements, registered.
  void Def(const std::string& Name, std::initializer_list<const char*> Params,
           std::initializer_list<IKbValue> Body) {
    IInterpretedFunction f(new TInterpretedFunction(Name));
    for (const char* p : Params) f->AddArgument(p, dtVariable);
    for (const IKbValue& s : Body) f->AddStatement(s);
    E.AddUserFunction(f);
  }

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
  EXPECT_EQ(Error(F("bind", {Var("x")})), "Too few arguments for bind");
  EXPECT_EQ(Error(F("not", {At("a"), At("b")})), "Too many arguments for not");
}

TEST_F(ControlTest, BindGetVarAndStorage) {
  EXPECT_EQ(Text(F("bind", {Var("x"), F("test-add", {Int(1), Int(2)})})), "3");
  EXPECT_EQ(VarText("x"), "3");
  // __get-var: a variable is evaluated, anything else names a binding.
  EXPECT_EQ(Text(F("__get-var", {Var("x")})), "3");
  EXPECT_EQ(Text(F("__get-var", {At("x")})), "3");
  EXPECT_EQ(Run(F("__get-var", {Str("none")})), FCNil);
  // A call that returns nothing binds nil, so the variable stays readable.
  EXPECT_EQ(Run(F("bind", {Var("n"), F("test-nothing")})), FCNil);
  EXPECT_EQ(Run(Var("n")), FCNil);

  EXPECT_EQ(Text(F("store", {Str("k"), Int(5)})), "5");
  EXPECT_EQ(Text(F("fetch", {Str("k")})), "5");
  EXPECT_EQ(Text(F("fetch", {At("k")})), "5");  // a symbol is the same key
  // Both keys are evaluated, so a key held in a variable works both ways.
  Run(F("bind", {Var("key"), Str("k2")}));
  Run(F("store", {Var("key"), At("v")}));
  EXPECT_EQ(Text(F("fetch", {Var("key")})), "v");
  EXPECT_EQ(Text(F("fetch", {Str("k2")})), "v");
  EXPECT_EQ(E.Variables().Count(), 2u);
  // Storing nil forgets the key.
  EXPECT_EQ(Text(F("store", {Str("k"), FCNil})), "<nothing>");
  EXPECT_EQ(Run(F("fetch", {Str("k")})), FCNil);
  EXPECT_FALSE(E.Variables().Contains("k"));
  EXPECT_EQ(Run(F("fetch", {Str("none")})), FCNil);
  EXPECT_EQ(Text(F("clear-storage")), "<nothing>");
  EXPECT_EQ(E.Variables().Count(), 0u);
  EXPECT_EQ(Run(F("fetch", {Str("k2")})), FCNil);

  IKbValue a = Run(F("gensym*")), b = Run(F("gensym*"));
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
  IFunCall bind(new TFunctionCall(&E, "bind"));
  bind->AddArgument(Var("x"));
  bind->AddArgument(Int(1));
  EXPECT_EQ(errorOf([&] { bind->Execute(nullptr); }),
            "No context found when trying to resolve a dtVariable value");
  TKbContext detached(nullptr, nullptr);
  IFunCall gensym(new TFunctionCall(&E, "gensym*"));
  EXPECT_EQ(errorOf([&] { gensym->Execute(&detached); }), "Unknown/Undefined Deducer");
  IFunCall store(new TFunctionCall(&E, "store"));
  store->AddArgument(Str("k"));
  store->AddArgument(Int(1));
  EXPECT_EQ(errorOf([&] { store->Execute(&detached); }), "Unknown/Undefined Deducer");
}

TEST_F(ControlTest, TruthValuesAndShortCircuit) {
  // nil, 0 and the empty string are true; only FALSE is false.
  EXPECT_EQ(Run(F("and", {FCNil, Int(0), Str("")})), FCTrue);
  EXPECT_EQ(Run(F("and")), FCTrue);
  EXPECT_EQ(Run(F("and", {At("FALSE")})), FCFalse);
  EXPECT_EQ(Run(F("and", {F("test-nothing")})), FCTrue);
  // For or only TRUE itself counts.
  EXPECT_EQ(Run(F("or", {FCNil})), FCFalse);
  EXPECT_EQ(Run(F("or", {Int(1)})), FCFalse);
  EXPECT_EQ(Run(F("or")), FCFalse);
  EXPECT_EQ(Run(F("or", {FCFalse, At("TRUE")})), FCTrue);
  EXPECT_EQ(Run(F("not", {At("FALSE")})), FCTrue);
  EXPECT_EQ(Run(F("not", {FCNil})), FCFalse);
  EXPECT_EQ(Run(F("not", {Str("FALSE")})), FCFalse);  // a string is not the atom

  EXPECT_EQ(Run(F("and", {F("test-log", {At("a")}), FCFalse, F("test-log", {At("b")})})), FCFalse);
  EXPECT_EQ(Run(F("or", {F("test-log", {At("c")}), FCTrue, F("test-log", {At("d")})})), FCTrue);
  EXPECT_EQ(Log, "a;c;");
}

TEST_F(ControlTest, Comparisons) {
  EXPECT_EQ(Run(F("<", {Int(1), Int(2), Int(3)})), FCTrue);
  EXPECT_EQ(Run(F("<", {Int(1), Int(3), Int(2)})), FCFalse);
  EXPECT_EQ(Run(F("<=", {Int(1), Int(1), Int(2)})), FCTrue);
  EXPECT_EQ(Run(F(">", {Int(3), Int(2), Int(2)})), FCFalse);
  EXPECT_EQ(Run(F(">=", {Int(3), Int(2), Int(2)})), FCTrue);
  EXPECT_EQ(Run(F(">", {Flt(2.5), Int(2)})), FCTrue);
  EXPECT_EQ(Run(F("<", {Str("1.5"), Int(2)})), FCTrue);  // numeric text counts
  EXPECT_EQ(Run(F("=", {Int(1), Flt(1.0)})), FCTrue);
  EXPECT_EQ(Run(F("=", {Int(1), Int(1), Int(2)})), FCFalse);
  EXPECT_EQ(Run(F("=", {Int(7)})), FCTrue);
  EXPECT_EQ(Run(F("<>", {Int(1), Int(2), Int(3)})), FCTrue);
  EXPECT_EQ(Run(F("<>", {Int(1), Int(2), Flt(1.0)})), FCFalse);

  EXPECT_EQ(Run(F("eq", {Int(1)})), FCTrue);
  EXPECT_EQ(Run(F("eq", {At("a"), At("a"), At("a")})), FCTrue);
  EXPECT_EQ(Run(F("eq", {Int(1), Flt(1.0)})), FCFalse);
  EXPECT_EQ(Run(F("eq", {At("a"), Str("a")})), FCFalse);
  EXPECT_EQ(Run(F("eq", {F("test-nothing"), F("test-nothing")})), FCTrue);
  EXPECT_EQ(Run(F("neq", {At("a"), At("b"), At("a")})), FCFalse);
  EXPECT_EQ(Run(F("neq", {At("a"), At("b"), At("c")})), FCTrue);
  EXPECT_EQ(Run(F("neq", {F("test-nothing"), Int(1)})), FCTrue);
  EXPECT_EQ(Run(F("eq*", {Int(1), Flt(1.0), Str("1")})), FCTrue);
  EXPECT_EQ(Run(F("eq*", {At("a"), Str("a")})), FCTrue);
  // Values that cannot be read as each other's type are unequal, not an error.
  EXPECT_EQ(Run(F("eq*", {Int(1), At("a")})), FCFalse);

  EXPECT_EQ(Error(F("<", {Int(1), At("x")})), "Not a numeric.  Value Type is dtAtom");
  EXPECT_EQ(Error(F("=", {F("test-nothing"), Int(1)})), "Not a numeric.  Value Type is dtNone");

  // Each argument is evaluated once; after a failed test the rest are not.
  EXPECT_EQ(Run(F("<", {F("test-log", {Int(1)}), F("test-log", {Int(2)}), F("test-log", {Int(0)}),
                        F("test-log", {Int(9)})})),
            FCFalse);
  EXPECT_EQ(Log, "1;2;0;");
  Log.clear();
  EXPECT_EQ(
      Run(F("eq", {F("test-log", {At("a")}), F("test-log", {At("b")}), F("test-log", {At("c")})})),
      FCFalse);
  EXPECT_EQ(Log, "a;b;");
}

TEST_F(ControlTest, IfBranches) {
  auto ifCall = [&](const IKbValue& Condition) {
    return F("if", {Condition, At("then"), F("bind", {Var("a"), Int(1)}),
                    F("bind", {Var("b"), Int(2)}), At("else"), F("bind", {Var("c"), Int(3)})});
  };
  EXPECT_EQ(Text(ifCall(F(">", {Int(2), Int(1)}))), "2");
  EXPECT_EQ(VarText("a"), "1");
  EXPECT_EQ(VarText("b"), "2");
  EXPECT_EQ(VarText("c"), "<unbound>");
  EXPECT_EQ(Text(ifCall(F(">", {Int(1), Int(2)}))), "3");

  EXPECT_EQ(Run(F("if", {FCFalse, At("then"), Int(1)})), FCFalse);
  EXPECT_EQ(Run(F("if", {FCFalse, At("then"), Int(1), At("else")})), FCFalse);
  EXPECT_EQ(Text(F("if", {FCNil, At("then"), Int(1), At("else"), Int(2)})), "1");
  EXPECT_EQ(Run(F("if", {FCTrue, At("then")})), FCFalse);
  // An empty then-branch before else.
  EXPECT_EQ(Run(F("if", {FCTrue, At("then"), At("else"), Int(2)})), FCFalse);
  EXPECT_EQ(Text(F("if", {FCFalse, At("then"), At("else"), Int(2)})), "2");
  EXPECT_EQ(Error(F("if", {Int(1), Int(2)})), "Syntax Error: Missing \"then\" in an IF statement");
  // The keyword is an atom as written: a string "then" is not it, and a
  // variable holding the atom else does not end the then-branch.
  EXPECT_EQ(Error(F("if", {Int(1), Str("then"), Int(2)})),
            "Syntax Error: Missing \"then\" in an IF statement");
  Run(F("bind", {Var("e"), At("else")}));
  EXPECT_EQ(Text(F("if", {FCTrue, At("then"), Var("e"), Int(7)})), "7");
  // The branch not taken is never evaluated.
  Run(F("if",
        {FCTrue, At("then"), F("test-log", {At("t")}), At("else"), F("test-log", {At("e")})}));
  EXPECT_EQ(Log, "t;");
}

TEST_F(ControlTest, WhileLoops) {
  Run(F("bind", {Var("i"), Int(0)}));
  IKbValue loop = F("while", {F("<", {Var("i"), Int(3)}), At("do"),
                              F("bind", {Var("i"), F("test-add", {Var("i"), Int(1)})})});
  EXPECT_EQ(Run(loop), FCFalse);
  EXPECT_EQ(VarText("i"), "3");
  // Without do, and a condition that is false from the start.
  Run(F("bind", {Var("i"), Int(0)}));
  Run(F("while", {F("<", {Var("i"), Int(2)}), F("test-log", {Var("i")}),
                  F("bind", {Var("i"), F("test-add", {Var("i"), Int(1)})})}));
  EXPECT_EQ(Log, "0;1;");
  EXPECT_EQ(Run(F("while", {FCFalse, F("test-log", {At("never")})})), FCFalse);
  EXPECT_EQ(Log, "0;1;");

  // Nested loops: 2 x 3 inner rounds.
  Run(F("bind", {Var("n"), Int(0)}));
  Run(F("bind", {Var("i"), Int(0)}));
  Run(F("while", {F("<", {Var("i"), Int(2)}), F("bind", {Var("j"), Int(0)}),
                  F("while", {F("<", {Var("j"), Int(3)}),
                              F("bind", {Var("n"), F("test-add", {Var("n"), Int(1)})}),
                              F("bind", {Var("j"), F("test-add", {Var("j"), Int(1)})})}),
                  F("bind", {Var("i"), F("test-add", {Var("i"), Int(1)})})}));
  EXPECT_EQ(VarText("n"), "6");
}

TEST_F(ControlTest, ForEachLoops) {
  EXPECT_EQ(
      Text(F("foreach", {At("c"), List({At("a"), At("b")}), F("bind", {Var("x"), Var("c")})})),
      "b");
  EXPECT_EQ(VarText("c"), "b");
  EXPECT_EQ(VarText("x"), "b");
  // The loop variable may be written as a variable; items are bound in order.
  Run(F("foreach", {Var("v"), List({Int(1), Str("s"), Flt(2.5)}), F("test-log", {Var("v")})}));
  EXPECT_EQ(Log, "1;\"s\";2.5;");
  EXPECT_EQ(Run(F("foreach", {At("c"), List({})})), FCNil);
  EXPECT_EQ(Run(F("foreach", {At("c"), List({At("a")})})), FCNil);
  EXPECT_EQ(Error(F("foreach", {At("c"), Int(1)})), "Not a list.  Value Type is dtInteger");
  EXPECT_EQ(Error(F("foreach", {At("c"), F("test-nothing")})), "Not a list.  Value Type is dtNone");
}

TEST_F(ControlTest, ReturnLeavesLoopsAndBranchesOfDeffunctions) {
  // (deffunction find (?limit)
  //   (bind ?i 0)
  //   (while TRUE do
  //     (foreach x (create$ 1 2 3)
  //       (bind ?i (test-add ?i ?x))
  //       (if (> ?i ?limit) then (return ?i))))
  //   (test-log never))
  Def("find", {"limit"},
      {F("bind", {Var("i"), Int(0)}),
       F("while", {FCTrue, At("do"),
                   F("foreach", {At("x"), List({Int(1), Int(2), Int(3)}),
                                 F("bind", {Var("i"), F("test-add", {Var("i"), Var("x")})}),
                                 F("if", {F(">", {Var("i"), Var("limit")}), At("then"),
                                          F("return", {Var("i")})})})}),
       F("test-log", {At("never")})});
  EXPECT_EQ(Text(F("find", {Int(7)})), "9");
  EXPECT_EQ(Text(F("find", {Int(0)})), "1");
  EXPECT_EQ(Log, "");
  EXPECT_FALSE(E.GetContext()->GetReturnValueSet());

  // The value is taken when return runs.
  Def("early", {},
      {F("bind", {Var("r"), Int(1)}), F("return", {Var("r")}), F("bind", {Var("r"), Int(2)})});
  EXPECT_EQ(Text(F("early")), "1");

  // A return outside any deffunction leaves its flag on the context; the
  // control functions run after it still work whole.
  Run(F("return", {Int(5)}));
  ASSERT_TRUE(E.GetContext()->GetReturnValueSet());
  Run(F("bind", {Var("i"), Int(0)}));
  EXPECT_EQ(Run(F("while", {F("<", {Var("i"), Int(3)}), F("test-log", {Var("i")}),
                            F("bind", {Var("i"), F("test-add", {Var("i"), Int(1)})})})),
            FCFalse);
  EXPECT_EQ(Log, "0;1;2;");
  EXPECT_EQ(Text(F("if", {FCTrue, At("then"), Int(1), Int(2)})), "2");
  ASSERT_TRUE(E.GetContext()->GetReturnValueSet());
  EXPECT_EQ(E.GetContext()->GetReturnValue()->GetAsInteger(), 5);
  E.GetContext()->ClearReturnValue();

  // A return evaluated as an argument before a control function is not
  // lost by it: (and (return 4) (if TRUE then (test-log if))) (test-log after)
  Def("inner", {},
      {F("and", {F("return", {Int(4)}), F("if", {FCTrue, At("then"), F("test-log", {At("if")})})}),
       F("test-log", {At("after")})});
  Log.clear();
  EXPECT_EQ(Text(F("inner")), "4");
  EXPECT_EQ(Log, "if;");
  // Nor by a deffunction called after it.
  Def("outer", {}, {F("and", {F("return", {Int(6)}), F("early")}), F("test-log", {At("after")})});
  EXPECT_EQ(Text(F("outer")), "6");
  EXPECT_EQ(Log, "if;");
}

TEST_F(ControlTest, TryCatchFinally) {
  EXPECT_EQ(Text(F("try", {F("throw", {Str("boom")}), At("catch"),
                           F("bind", {Var("m"), Var("__ERROR")})})),
            "\"boom\"");
  EXPECT_EQ(Run(Var("__ERROR"))->GetDType(), dtString);
  EXPECT_EQ(Run(F("try", {F("throw", {At("boom")}), At("finally"), F("bind", {Var("f"), Int(1)})})),
            FCFalse);
  EXPECT_EQ(VarText("f"), "1");
  // except is catch; an error from the engine is caught alike.
  EXPECT_EQ(Text(F("try", {F("test-fail", {Str("bad")}), At("except"), Var("__ERROR")})),
            "\"bad\"");
  EXPECT_EQ(Text(F("try", {F("test-host-throw"), At("catch"), Var("__ERROR")})),
            "\"host failure\"");
  // Without an error: the last value of the body or the finally section.
  EXPECT_EQ(Text(F("try", {Int(1), Int(2), At("catch"), Int(3)})), "2");
  EXPECT_EQ(Text(F("try", {Int(1), At("finally"), Int(4), At("catch"), Int(3)})), "4");
  EXPECT_EQ(Error(F("try", {Int(1)})), "Missing catch or finally statement for try block");

  // Order: body (up to the error), finally, catch.
  Log.clear();
  EXPECT_EQ(
      Text(F("try", {F("test-log", {At("body")}), F("throw", {Str("x")}),
                     F("test-log", {At("skipped")}), At("finally"), F("test-log", {At("finally")}),
                     At("catch"), F("test-log", {At("catch")}), F("test-log", {Var("__ERROR")})})),
      "\"x\"");
  EXPECT_EQ(Log, "body;finally;catch;\"x\";");
  // An error in the finally section is caught too; one in catch escapes.
  EXPECT_EQ(Text(F("try", {Int(1), At("finally"), F("throw", {Str("late")}), At("catch"),
                           Var("__ERROR")})),
            "\"late\"");
  EXPECT_EQ(Error(F("try", {F("throw", {Str("a")}), At("catch"), F("throw", {Str("b")})})), "b");

  // exit is not caught, but the finally section still runs.
  Log.clear();
  EXPECT_THROW(Run(F("try", {F("exit"), At("finally"), F("test-log", {At("fin")}), At("catch"),
                             F("test-log", {At("caught")})})),
               EAbort);
  EXPECT_EQ(Log, "fin;");
  EXPECT_TRUE(E.GetExitRequested());
  E.SetExitRequested(false);

  // Nested: the inner try handles its own error, the outer sees none.
  EXPECT_EQ(Text(F("try", {F("try", {F("throw", {Str("in")}), At("catch"), Int(1)}), At("catch"),
                           Int(2)})),
            "1");
}

TEST_F(ControlTest, TryWithReturnInDeffunction) {
  // (deffunction guarded ()
  //   (bind ?r 1)
  //   (try (return ?r) finally (bind ?r 2) (test-log ?r))
  //   (test-log never))
  Def("guarded", {},
      {F("bind", {Var("r"), Int(1)}),
       F("try", {F("return", {Var("r")}), At("finally"), F("bind", {Var("r"), Int(2)}),
                 F("test-log", {Var("r")})}),
       F("test-log", {At("never")})});
  // The whole finally section runs; the value returned is the one taken.
  EXPECT_EQ(Text(F("guarded")), "1");
  EXPECT_EQ(Log, "2;");

  // A return in the finally section wins; an error there replaces the return.
  Def("overrides", {},
      {F("try", {F("return", {Int(1)}), At("finally"), F("return", {Int(2)})}),
       F("test-log", {At("never")})});
  EXPECT_EQ(Text(F("overrides")), "2");
  Def("fails", {},
      {F("try", {F("return", {Int(1)}), At("finally"), F("throw", {Str("f")}), At("catch"),
                 Var("__ERROR")}),
       F("test-log", {At("continued")})});
  EXPECT_EQ(Text(F("fails")), "continued");
  // A return in the catch section leaves the deffunction.
  Def("inCatch", {},
      {F("try", {F("throw", {Str("x")}), At("catch"), F("return", {Int(3)}),
                 F("test-log", {At("never")})}),
       F("test-log", {At("never")})});
  EXPECT_EQ(Text(F("inCatch")), "3");
  EXPECT_EQ(Log, "2;continued;");
  EXPECT_FALSE(E.GetContext()->GetReturnValueSet());
}

TEST_F(ControlTest, HaltExitThrowAndRecovery) {
  EXPECT_FALSE(E.GetHalted());
  EXPECT_EQ(Run(F("halt")), FCTrue);
  EXPECT_TRUE(E.GetHalted());

  EXPECT_FALSE(E.GetExitRequested());
  EXPECT_THROW(Run(F("exit")), EAbort);
  EXPECT_TRUE(E.GetExitRequested());

  // throw raises the plain exception class, not the engine's.
  try {
    Run(F("throw", {At("plain")}));
    FAIL();
  } catch (const EKbException&) {
    FAIL() << "throw raised EKbException";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "plain");
  }

  // An error escaping from deep inside loops leaves the engine usable.
  Def("deep", {"n"},
      {F("foreach",
         {At("x"), List({Int(1), Int(2)}),
          F("if", {F("=", {Var("x"), Var("n")}), At("then"), F("throw", {Str("hit")})})}),
       Var("n")});
  EXPECT_EQ(Error(F("deep", {Int(2)})), "hit");
  EXPECT_FALSE(E.GetContext()->GetReturnValueSet());
  EXPECT_EQ(Text(F("deep", {Int(5)})), "5");
  EXPECT_EQ(Text(F("if", {FCTrue, At("then"), Int(1)})), "1");
}
