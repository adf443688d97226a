#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Deducer.h"
#include "engine/DeducerPackages.h"
#include "engine/DeducerParse.h"
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
         {IUserFunction(new TTestLogFunction()), IUserFunction(new TTestFailFunction()),
          IUserFunction(new TTestHostThrowFunction())})
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

// The language side (results, keys, nil) is in tests/language/control.
TEST_F(ControlTest, BindingAndStorageTables) {
  R("(bind ?x (+ 1 2))");
  EXPECT_EQ(VarText("x"), "3");
  R("(store \"k\" 5)");
  R("(bind ?key \"k2\")");
  R("(store ?key v)");
  EXPECT_EQ(E.Variables().Count(), 2u);
  // Storing nil forgets the key.
  R("(store \"k\" nil)");
  EXPECT_FALSE(E.Variables().Contains("k"));
  R("(clear-storage)");
  EXPECT_EQ(E.Variables().Count(), 0u);

  IKbValue a = E.ParseNExecuteFunCall("(gensym*)");
  EXPECT_EQ(a->GetDType(), dtAtom);
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

TEST_F(ControlTest, ReturnLeftOnTheRootContext) {
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

// The language side of try is in tests/language/control.
TEST_F(ControlTest, TryCatchesHostErrorsButNotExit) {
  EXPECT_EQ(R("(try (throw \"boom\") catch (bind ?m ?__ERROR))"), "\"boom\"");
  EXPECT_EQ(E.GetContext()->GetVariable("__ERROR")->GetDType(), dtString);
  // Errors of host code are caught as the engine's are.
  EXPECT_EQ(R("(try (test-fail \"bad\") except ?__ERROR)"), "\"bad\"");
  EXPECT_EQ(R("(try (test-host-throw) catch ?__ERROR)"), "\"host failure\"");

  // exit is not caught, but the finally section still runs.
  EXPECT_THROW(R("(try (exit) finally (test-log fin) catch (test-log caught))"), EAbort);
  EXPECT_EQ(Log, "fin;");
  EXPECT_TRUE(E.GetExitRequested());
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

  // An error escaping from deep inside loops leaves no return behind.
  E.Parse(
      "(deffunction deep (?n)"
      "  (foreach x (create$ 1 2) (if (= ?x ?n) then (throw \"hit\")))"
      "  ?n)");
  EXPECT_EQ(Error("(deep 2)"), "hit");
  EXPECT_FALSE(E.GetContext()->GetReturnValueSet());
}
