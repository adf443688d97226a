// Test support: builds function calls by hand and runs them in an engine.
//
// TFunctionTest owns an engine with its default packages. Call(name, args)
// creates a TFunctionCall bound by name through the engine, adds the
// argument values unchanged and executes it in the engine's root context;
// ErrorOf gives the message of the exception it raises. The value makers
// (Int, Flt, Atom, Str, List, Nested) keep the tests short.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Deducer.h"
#include "engine/DeducerPackages.h"

namespace kb::test {

inline IKbValue Int(int64_t V) { return NewInteger(V); }
inline IKbValue Flt(double V) { return NewFloat(V); }
inline IKbValue Atom(std::string_view S) { return NewAtom(S); }
inline IKbValue Str(std::string_view S) { return NewString(S); }

inline IKbValue List(std::initializer_list<IKbValue> Items) {
  IValueVector v = NewVector();
  for (const IKbValue& item : Items) v->Add(item);
  return NewList(v);
}

// The items of a list value, as their texts, in order.
inline std::vector<std::string> Texts(const IKbValue& ListValue) {
  std::vector<std::string> r;
  for (const IKbValue& item : *ListValue->GetAsList()) r.push_back(item->GetToString());
  return r;
}

// The names of a package's functions, in order.
inline std::vector<std::string> FunctionNames(TUserPackage& Package) {
  std::vector<std::string> r;
  for (const IUserFunction& f : Package.GetFunctions()) r.push_back(f->GetFunctionName());
  return r;
}

class TFunctionTest : public ::testing::Test {
 protected:
  // A call of Name with Args, not yet executed.
  IFunCall MakeCall(const std::string& Name, std::initializer_list<IKbValue> Args) {
    IFunCall call(new TFunctionCall(&Engine, Name));
    for (const IKbValue& a : Args) call->AddArgument(a);
    return call;
  }
  // A value that is a call of Name with Args (evaluated when resolved).
  IKbValue Nested(const std::string& Name, std::initializer_list<IKbValue> Args) {
    return NewFunCall(MakeCall(Name, Args));
  }
  IKbValue Call(const std::string& Name, std::initializer_list<IKbValue> Args = {}) {
    return MakeCall(Name, Args)->Execute(Engine.GetContext());
  }
  // The message of the exception the call raises, or "<no error>".
  std::string ErrorOf(const std::string& Name, std::initializer_list<IKbValue> Args = {}) {
    try {
      Call(Name, Args);
    } catch (const Exception& e) {
      return e.Message();
    }
    return "<no error>";
  }
  // Calls with one argument too few and one too many (where there are
  // bounds) give the framework's messages.
  void ExpectBounds(const std::string& Name) {
    IUserFunction f = Engine.GetUserFunction(Name);
    ASSERT_TRUE(f) << Name;
    const int32_t min = f->GetMinArgumentCount();
    const int32_t max = f->GetMaxArgumentCount();
    if (min > 0) {
      IFunCall c(new TFunctionCall(&Engine, Name));
      for (int32_t i = 0; i < min - 1; ++i) c->AddArgument(Int(1));
      EXPECT_EQ(CallError(c), "Too few arguments for " + Name);
    }
    if (max < MaxArguments) {
      IFunCall c(new TFunctionCall(&Engine, Name));
      for (int32_t i = 0; i < max + 1; ++i) c->AddArgument(Int(1));
      EXPECT_EQ(CallError(c), "Too many arguments for " + Name);
    }
  }

  TDeducer Engine;

 private:
  std::string CallError(const IFunCall& C) {
    try {
      C->Execute(Engine.GetContext());
    } catch (const Exception& e) {
      return e.Message();
    }
    return "<no error>";
  }
};

}  // namespace kb::test
