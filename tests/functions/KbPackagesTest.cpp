#include "engine/DeducerPackages.h"

#include <gtest/gtest.h>

#include <memory>

#include "ErrorHelper.h"
#include "core/KbHelperFunctions.h"
#include "engine/Deducer.h"
#include "engine/DeducerFunctions.h"

using namespace kb;

namespace {

using kb::test::ErrorOf;

KB_FUNCTION(TTestSumFunction, "test-sum", 1, 2, "Sums its arguments", "test-sum <n> [<n>]") {
  int32_t s = 0;
  for (int i = 0; i < Args.Count(); ++i) s += Args.Int(i);
  return NewInteger(s);
}

KB_FUNCTION(TTestReturnFunction, "return", 0, 1, "Returns", "return [<value>]") {
  IKbValue v = Args.Count() ? Args.Eval(0) : IKbValue();
  Args.Context->SetReturnValue(v);
  return v;
}

class TTestPackage : public TUserPackage {
 public:
  explicit TTestPackage(TComponent* Owner) : TUserPackage(Owner) { AfterConstruction(); }
  void CreateFunctions() override {
    Register<TTestSumFunction>();
    Register<TTestReturnFunction>();
    ++Created;
  }
  int Created = 0;
};

// A package whose table names a class that is no function.
class TBadTablePackage : public TUserPackage {
 public:
  TBadTablePackage(TComponent* Owner, const char* Name) : TUserPackage(Owner), Name_(Name) {
    AfterConstruction();
  }
  void CreateFunctions() override { RegisterClasses({"TAndFunction", Name_}); }

 private:
  const char* Name_;
};

IFunCall Call(TDeducer& e, const std::string& name, std::initializer_list<int32_t> args) {
  IFunCall c(new TFunctionCall(&e, name));
  for (int32_t a : args) c->AddArgument(a, dtInteger);
  return c;
}

}  // namespace

TEST(UserFunction, ArgumentBoundsAndComment) {
  TDeducer e;
  IUserFunction f(new TTestSumFunction());
  e.AddUserFunction(f);
  EXPECT_EQ(f->GetComment(), "Sums its arguments\r\n     syntax: (test-sum <n> [<n>])");
  EXPECT_EQ(ErrorOf([&] { Call(e, "test-sum", {})->Execute(e.GetContext()); }),
            "Too few arguments for test-sum");
  EXPECT_EQ(ErrorOf([&] {
              Call(e, "test-sum", {1, 2, 3})->Execute(e.GetContext());
            }),
            "Too many arguments for test-sum");
  EXPECT_EQ(Call(e, "test-sum", {1, 2})->Execute(e.GetContext())->GetAsInteger(), 3);

  f->SetMinArgumentCount(5);
  EXPECT_EQ(f->GetMaxArgumentCount(), 5);
  f->SetMaxArgumentCount(1);
  EXPECT_EQ(f->GetMinArgumentCount(), 1);
}

TEST(FunctionCall, BindsLazilyAndStaysBound) {
  TDeducer e;
  IFunCall c = Call(e, "test-sum", {4});
  EXPECT_EQ(ErrorOf([&] { c->Execute(e.GetContext()); }),
            "Function is unimplemented or unassigned: test-sum");
  IUserFunction f(new TTestSumFunction());
  e.AddUserFunction(f);
  EXPECT_EQ(c->Execute(e.GetContext())->GetAsInteger(), 4);
  EXPECT_EQ(c->GetUserFunction(), f);
  // Another function registered under the name does not rebind the call.
  IUserFunction g(new TTestSumFunction());
  e.SetUserFunction("test-sum", g);
  EXPECT_EQ(e.GetUserFunction("test-sum"), g);
  EXPECT_EQ(f->GetReasonerCount(), 0);
  c->Execute(e.GetContext());
  EXPECT_EQ(c->GetUserFunction(), f);
  // Without reasoner and function the call reports the name.
  IFunCall lone(new TFunctionCall(nullptr, "lonely"));
  EXPECT_EQ(ErrorOf([&] { lone->Execute(nullptr); }),
            "Function is unimplemented or unassigned: lonely");
  EXPECT_EQ(ErrorOf([&] { lone->SimpleExecute(nullptr); }),
            "Function is unimplemented or unassigned: lonely");
}

TEST(FunctionCall, SimpleExecuteWrapsErrors) {
  TDeducer e;
  IUserFunction f(new TTestSumFunction());
  IFunCall c = Call(e, "x", {});
  c->SetUserFunction(f);
  EXPECT_EQ(c->GetName(), "test-sum");
  EXPECT_EQ(ErrorOf([&] { c->SimpleExecute(nullptr); }),
            "test-sum error: Too few arguments for test-sum");
}

TEST(FunctionCall, CloneEqualsHashAndText) {
  TDeducer e;
  IFunCall c(new TFunctionCall(&e, "f"));
  c->AddArgument(1, dtInteger);
  c->AddArgument("s", dtString);
  c->AddArgument(2.5, dtFloat);
  c->AddArgument(2.9, dtInteger);  // truncated
  EXPECT_EQ(c->GetToString(), "(f 1 \"s\" 2.5 2)");
  IFunCall d = c->CloneCall();
  EXPECT_TRUE(d->Equals(c));
  EXPECT_FALSE(d->GetUserFunction());
  d->GetArgument(0)->SetAsInteger(9);
  EXPECT_EQ(c->GetArgument(0)->GetAsInteger(), 1);
  EXPECT_FALSE(d->Equals(c));

  IFunCall i(new TFunctionCall(nullptr, "g")), fl(new TFunctionCall(nullptr, "g"));
  i->AddArgument(1, dtInteger);
  fl->AddArgument(1.0, dtFloat);
  EXPECT_FALSE(i->Equals(fl));
  EXPECT_EQ(i->GetHashCode(), CalculateHash("g") + 1);

  IFunCall m(new TFunctionCall(nullptr, "modify"));
  m->AddArgument(NewVariable("f"));
  m->AddArgument(NewAtom("a 1"));
  EXPECT_EQ(m->GetToString(), "(modify ?f (a 1))");

  EXPECT_EQ(ErrorOf([&] { c->AddArgument("x", dtInteger); }),
            "Not a String type.  Value Type is dtInteger");
  EXPECT_EQ(ErrorOf([&] { c->AddArgument(1, dtAtom); }),
            "Not a Integer type.  Value Type is dtAtom");
  EXPECT_EQ(ErrorOf([&] { c->AddArgument(1.0, dtString); }),
            "Not a Float type.  Value Type is dtString");
  // A float without a 32-bit integer value is refused as an integer.
  EXPECT_EQ(ErrorOf([&] { c->AddArgument(1e30, dtInteger); }),
            "Integer overflow in f function call");
}

TEST(InterpretedFunction, BindsParametersAndReturnsEarly) {
  TDeducer e;
  e.AddUserFunction(IUserFunction(new TTestReturnFunction()));
  e.AddUserFunction(IUserFunction(new TTestSumFunction()));

  IInterpretedFunction f(new TInterpretedFunction("pair"));
  f->AddArgument("x", dtVariable);
  f->AddArgument("y", dtVariable);
  f->AddStatement(NewVariable("y"));
  e.AddUserFunction(f);
  EXPECT_EQ(f->GetMinArgumentCount(), 2);
  EXPECT_EQ(f->GetMaxArgumentCount(), 2);
  EXPECT_EQ(ErrorOf([&] { Call(e, "pair", {1})->Execute(e.GetContext()); }),
            "Too few arguments for pair");

  IInterpretedFunction g(new TInterpretedFunction("rest"));
  g->AddArgument("x", dtVariable);
  g->AddArgument("r", dtMultiVariable);
  g->AddStatement(NewVariable("r"));
  e.AddUserFunction(g);
  EXPECT_EQ(g->GetMaxArgumentCount(), MaxArguments);
  EXPECT_EQ(Call(e, "rest", {1, 2, 3})->Execute(e.GetContext())->GetToString(), "2 3");
  // The trailing wildcard may take nothing; the parameters before it are
  // required.
  EXPECT_EQ(g->GetMinArgumentCount(), 1);
  EXPECT_EQ(Call(e, "rest", {1})->Execute(e.GetContext())->GetAsList()->Count(), 0);
  EXPECT_EQ(ErrorOf([&] { Call(e, "rest", {})->Execute(e.GetContext()); }),
            "Too few arguments for rest");
  EXPECT_EQ(Call(e, "rest", {1, 2})->Execute(e.GetContext())->GetToString(), "2");

  // (deffunction early (?a) (return ?a) (test-sum 99 1)): the last statement never runs.
  IInterpretedFunction h(new TInterpretedFunction("early"));
  h->AddArgument("a", dtVariable);
  IFunCall ret(new TFunctionCall(&e, "return"));
  ret->AddArgument(NewVariable("a"));
  h->AddStatement(ret);
  h->AddStatement(Call(e, "test-sum", {99, 1}));
  e.AddUserFunction(h);
  IKbValue r = Call(e, "early", {5})->Execute(e.GetContext());
  EXPECT_EQ(r->GetAsInteger(), 5);
  EXPECT_FALSE(e.GetContext()->GetReturnValueSet());

  EXPECT_EQ(ErrorOf([&] { h->AddArgument("z", dtInteger); }),
            "Invalid argument type for deffunction: \"dtInteger\"");
  // Without statements: nil. Without a context: a fresh one.
  IInterpretedFunction empty(new TInterpretedFunction("empty"));
  IFunCall ce(new TFunctionCall(nullptr, "empty"));
  ce->SetUserFunction(empty);
  EXPECT_FALSE(ce->Execute(nullptr));
}

TEST(InterpretedFunction, RecursiveFunctionDoesNotLeak) {
  // A deffunction whose body calls itself is bound to itself; the engine
  // lets go of that cycle when it withdraws the function.
  auto* e = new TDeducer();
  IInterpretedFunction f(new TInterpretedFunction("self"));
  f->AddStatement(Call(*e, "self", {}));
  e->AddUserFunction(f);
  f->GetStatement(0)->GetAsFunCall()->SetUserFunction(f);
  delete e;
  EXPECT_EQ(f->GetRefCount(), 1);
}

TEST(Package, ATableNamingNoFunctionClassIsRefused) {
  try {
    TBadTablePackage p(nullptr, "TNoSuchFunction");
    FAIL() << "no error";
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message(), "Class TNoSuchFunction not found");
  }
  try {
    TBadTablePackage p(nullptr, "TDeducer");
    FAIL() << "no error";
  } catch (const EClassNotFound& e) {
    EXPECT_EQ(e.Message(), "Class TDeducer is not a function class");
  }
}

TEST(Package, LinksFunctionsWithEngines) {
  TDeducer e1, e2;
  auto* p = new TTestPackage(&e1);
  EXPECT_EQ(p->Created, 1);
  EXPECT_TRUE(e1.ContainsUserFunction("test-sum"));
  EXPECT_EQ(p->IndexOf("return"), 1);
  EXPECT_EQ(p->IndexOf("nothing"), -1);

  p->GetReasoners().Add(&e2);
  EXPECT_TRUE(e2.ContainsUserFunction("test-sum"));

  // Renaming moves the registration in every engine.
  IUserFunction sum = p->GetFunctions().Get(0);
  sum->SetFunctionName("plus");
  EXPECT_FALSE(e1.ContainsUserFunction("test-sum"));
  EXPECT_TRUE(e1.ContainsUserFunction("plus"));
  EXPECT_TRUE(e2.ContainsUserFunction("plus"));

  // Reset recreates the functions; reading it gives false.
  p->SetReset(true);
  EXPECT_EQ(p->Created, 2);
  EXPECT_FALSE(p->GetReset());
  EXPECT_TRUE(e1.ContainsUserFunction("test-sum"));
  EXPECT_FALSE(e1.ContainsUserFunction("plus"));

  // Destroying the package withdraws everything from both engines.
  delete p;
  EXPECT_FALSE(e1.ContainsUserFunction("test-sum"));
  EXPECT_FALSE(e2.ContainsUserFunction("return"));
}

TEST(Package, EngineDestructionUnlinks) {
  TTestPackage p(nullptr);
  {
    TDeducer e;
    p.SetEngine(&e);
    EXPECT_TRUE(e.ContainsUserFunction("test-sum"));
  }
  EXPECT_EQ(p.GetEngine(), nullptr);
  EXPECT_EQ(p.GetReasoners().Count(), 0);
  EXPECT_EQ(p.GetFunctions().Get(0)->GetReasonerCount(), 0);
}

// An engine added to a package's engines (not made its engine) that goes
// before the package leaves the list: the package, freed later, never
// reaches the freed engine.
TEST(Package, ForgetsAnAddedEngineThatGoesFirst) {
  auto p = std::make_unique<TTestPackage>(nullptr);
  TDeducer stays;
  p->GetReasoners().Add(&stays);
  {
    TDeducer goes;
    p->GetReasoners().Add(&goes);
    EXPECT_TRUE(goes.ContainsUserFunction("test-sum"));
  }
  EXPECT_EQ(p->GetReasoners().Count(), 1);
  EXPECT_EQ(p->GetReasoners().Get(0), &stays);
  EXPECT_EQ(p->GetFunctions().Get(0)->GetReasonerCount(), 1);
  // Taken out by hand, an engine no longer tells the package it goes.
  p->GetReasoners().Remove(&stays);
  EXPECT_FALSE(stays.ContainsUserFunction("test-sum"));
  p.reset();
  EXPECT_TRUE(stays.ContainsUserFunction("assert"));
}

TEST(Registry, DuplicatePolicy) {
  TDeducer e;
  IUserFunction a(new TTestSumFunction()), b(new TTestSumFunction());
  e.AddUserFunction(a);
  e.SetDuplicateConstructs(dcIgnore);
  e.UserFunctions().Add(b);
  EXPECT_EQ(e.GetUserFunction("test-sum"), a);
  e.SetDuplicateConstructs(dcError);
  EXPECT_EQ(ErrorOf([&] { e.UserFunctions().Add(b); }),
            "Function Name already exists: \"test-sum\"");
  e.SetDuplicateConstructs(dcOverwrite);
  e.UserFunctions().Add(b);
  EXPECT_EQ(e.GetUserFunction("test-sum"), b);
  EXPECT_EQ(a->IndexOfReasoner(&e), -1);
  EXPECT_EQ(ErrorOf([&] { e.UserFunctions().Put("other", b); }),
            "Function names do not match: other and test-sum");
}

TEST(HostFunction, EventHandlerAndOuterRemoval) {
  TDeducer e;
  IUserFunction inner;
  {
    TUserFunction uf(nullptr, "host-fn");
    uf.OnCall = [](TPersistent*, TFunctionCall& c, TKbContext*, IKbValue& r) {
      r = NewInteger(c.GetArgumentCount());
    };
    uf.SetEngine(&e);
    inner = uf.GetInnerFunction();
    EXPECT_EQ(Call(e, "host-fn", {1, 2})->Execute(e.GetContext())->GetAsInteger(), 2);
  }
  // The component is gone: the engine no longer lists it, and a call bound
  // to the inner function reports it as unassigned.
  EXPECT_FALSE(e.ContainsUserFunction("host-fn"));
  IFunCall c(new TFunctionCall(nullptr, "host-fn"));
  c->SetUserFunction(inner);
  EXPECT_EQ(ErrorOf([&] { c->Execute(nullptr); }),
            "Function is unimplemented or unassigned: host-fn");
}

TEST(Engine, SymbolIndexNeverDecreases) {
  TDeducer e;
  e.SetSymbolIndex(10);
  e.SetSymbolIndex(5);
  EXPECT_EQ(e.GetSymbolIndex(), 11);
  e.SetSymbolIndex(20);
  EXPECT_EQ(e.GenerateSymbol("gen"), "gen20");
  EXPECT_EQ(e.GetSymbolIndex(), 21);
}
