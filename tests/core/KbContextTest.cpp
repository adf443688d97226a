#include "core/KbContext.h"

#include <gtest/gtest.h>

#include "engine/Deducer.h"

using namespace kb;

TEST(Context, PushPopCarryReturnValues) {
  TKbContext root(nullptr, nullptr);
  EXPECT_EQ(root.Pop(), &root);
  std::unique_ptr<TKbContext> child(root.Push());
  EXPECT_EQ(child->GetParent(), &root);
  IKbValue v = NewInteger(7);
  child->SetReturnValue(v);
  EXPECT_EQ(child->Pop(), &root);
  EXPECT_TRUE(root.GetReturnValueSet());
  EXPECT_EQ(root.GetReturnValue().get(), v.get());

  std::unique_ptr<TKbContext> quiet(root.Push());
  quiet->Pop();
  EXPECT_FALSE(root.GetReturnValueSet());
  EXPECT_FALSE(root.GetReturnValue());
}

TEST(Context, ScopesShadowAndUpdate) {
  TKbContext root(nullptr, nullptr);
  root.AddLocalBinding("x", NewInteger(1));
  std::unique_ptr<TKbContext> child(root.Push());
  child->SetVariable("x", NewInteger(2));  // updates the parent's binding
  EXPECT_EQ(child->GetBindings().Count(), 0);
  EXPECT_EQ(root.GetVariable("x")->GetAsInteger(), 2);
  child->AddLocalBinding("x", NewInteger(3));
  EXPECT_EQ(child->GetVariable("x")->GetAsInteger(), 3);
  EXPECT_EQ(root.GetVariable("x")->GetAsInteger(), 2);

  std::unique_ptr<TKbContext> deep(child->Push());
  deep->AddGlobalBinding("g", NewAtom("G"));
  EXPECT_TRUE(root.GetBindings().Get("g"));
  EXPECT_EQ(deep->FindGlobalBinding("g"), root.GetBindings().Get("g"));
  EXPECT_EQ(child->GetVariable("g")->GetAsString(), "G");

  try {
    deep->GetVariable("nope");
    FAIL();
  } catch (const EKbException& e) {
    EXPECT_EQ(e.Message(), "Unknown variable name: nope");
  }
}

TEST(Context, ClearEmptiesBindingsAndReturnValue) {
  TKbContext ctx(nullptr, nullptr);
  ctx.AddLocalBinding("a", NewInteger(1));
  ctx.SetReturnValue(NewInteger(2));
  ctx.Clear();
  EXPECT_EQ(ctx.GetBindings().Count(), 0);
  EXPECT_FALSE(ctx.GetReturnValueSet());
  EXPECT_FALSE(ctx.GetReturnValue());
}

TEST(Context, LargeScopesStayConsistent) {
  TKbContext ctx(nullptr, nullptr);
  for (int i = 0; i < 40; ++i) ctx.AddLocalBinding("v" + std::to_string(i), NewInteger(i));
  ctx.GetBindings().Remove("v3");
  ctx.AddBinding("v10", 0, "slot", -1);  // replaces the value binding
  EXPECT_EQ(ctx.GetBindings().Count(), 39);
  EXPECT_EQ(ctx.GetVariable("v39")->GetAsInteger(), 39);
  EXPECT_FALSE(ctx.FindBinding("v3"));
  EXPECT_EQ(ctx.FindBinding("v10")->GetFactIndex(), 0);
  EXPECT_EQ(ctx.FindBinding("v11")->GetSlotIndex(), "__LOCAL");
  EXPECT_EQ(ctx.FindBinding("v11")->GetFactIndex(), LocalBindingIndex);
}

TEST(Context, ExpandAndFlattenNestedLists) {
  // (a (b (c)) d)
  IValueVector c = NewVector();
  c->Add(NewAtom("c"));
  IValueVector bc = NewVector();
  bc->Add(NewAtom("b"));
  bc->Add(NewList(c));
  IValueVector top = NewVector();
  top->Add(NewAtom("a"));
  top->Add(NewList(bc));
  top->Add(NewAtom("d"));
  TKbContext ctx(nullptr, nullptr);
  EXPECT_EQ(ctx.ExpandList(top)->GetToString(), "a b c d");
  EXPECT_EQ(TKbContext::FlattenList(top)->GetToString(), "a b c d");

  // Expansion resolves variables (and flattens the lists they hold); flattening does not.
  IValueVector withVar = NewVector();
  withVar->Add(NewVariable("x"));
  IValueVector held = NewVector();
  held->Add(NewInteger(1));
  held->Add(NewInteger(2));
  ctx.AddLocalBinding("x", NewList(held));
  EXPECT_EQ(ctx.ExpandList(withVar)->GetToString(), "1 2");
  EXPECT_EQ(TKbContext::FlattenList(withVar)->GetToString(), "?x");
}

TEST(Context, OwnerMustBeAnEngine) {
  TComponent notEngine(nullptr);
  EXPECT_THROW(TKbContext(nullptr, &notEngine), EInvalidCast);
  TDeducer engine;
  TKbContext ctx(nullptr, &engine);
  EXPECT_EQ(ctx.GetEngine(), &engine);
  std::unique_ptr<TKbContext> child(ctx.Push());
  EXPECT_EQ(child->GetEngine(), &engine);
}

TEST(Bindings, RePutFreesOldBindingOnce) {
  TKbContext ctx(nullptr, nullptr);
  TBinding* first = ctx.AddLocalBinding("x", NewInteger(1));
  TBinding* second = ctx.AddLocalBinding("x", NewInteger(2));
  EXPECT_NE(first, second);
  EXPECT_EQ(ctx.GetBindings().Count(), 1);
  EXPECT_EQ(ctx.GetVariable("x")->GetAsInteger(), 2);
  // SetItem with the binding already stored leaves it alone; nil removes.
  ctx.GetBindings().SetItem("x", std::unique_ptr<TBinding>(ctx.GetBindings().Get("x")));
  EXPECT_EQ(ctx.GetBindings().Get("x"), second);
  ctx.GetBindings().SetItem("x", nullptr);
  EXPECT_EQ(ctx.GetBindings().Count(), 0);
}
