#include "framework/Classes.h"

#include <gtest/gtest.h>

#include "framework/Collections.h"

using namespace kb;

namespace {
struct Watcher : TComponent {
  using TComponent::TComponent;
  ~Watcher() override { BeginDestruction(); }
  std::vector<TComponent*> Removed;

 protected:
  void Notification(TComponent* C, TOperation Op) override {
    TComponent::Notification(C, Op);
    if (Op == TOperation::opRemove) Removed.push_back(C);
  }
};
}  // namespace

TEST(Component, OwnerFreesOwnedAndNotifiesWatchers) {
  Watcher outside(nullptr);
  auto* owner = new TComponent(nullptr);
  auto* child = new Watcher(owner);
  EXPECT_EQ(owner->GetComponentCount(), 1);
  EXPECT_EQ(child->GetOwner(), owner);
  outside.FreeNotification(child);
  delete owner;  // frees child too
  ASSERT_EQ(outside.Removed.size(), 1u);
  EXPECT_EQ(outside.Removed[0], child);
}

TEST(Component, RemoveFreeNotificationStopsNotices) {
  Watcher a(nullptr);
  auto* b = new TComponent(nullptr);
  a.FreeNotification(b);
  a.RemoveFreeNotification(b);
  delete b;
  EXPECT_TRUE(a.Removed.empty());
}

TEST(Persistent, AssignBetweenUnrelatedClassesRaises) {
  TStringList a;
  TComponent c(nullptr);
  EXPECT_THROW(a.Assign(&c), EConvertError);
  try {
    a.Assign(&c);
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TComponent to a TStringList");
  }
}

TEST(StringList, TextSplitsAndJoinsWithCrLf) {
  TStringList l;
  l.SetText("a\r\nb\nc\rd");
  ASSERT_EQ(l.Count(), 4);
  EXPECT_EQ(l.Get(3), "d");
  EXPECT_EQ(l.GetText(), "a\r\nb\r\nc\r\nd\r\n");
  EXPECT_THROW(l.Get(4), EListError);
  l.SetSorted(true);
  l.Add("0");
  EXPECT_EQ(l.Get(0), "0");
  EXPECT_EQ(l.IndexOf("c"), 3);
}

TEST(StringMap, KeepsInsertionOrderAcrossRemoval) {
  TStringMap<int> m;
  m.Put("c", 1);
  m.Put("a", 2);
  m.Put("b", 3);
  int old = 0;
  m.Put("a", 20, &old);
  EXPECT_EQ(old, 2);
  EXPECT_TRUE(m.Remove("c"));
  EXPECT_FALSE(m.Remove("c"));
  std::string order;
  for (auto& [k, v] : m) order += k;
  EXPECT_EQ(order, "ab");
  EXPECT_EQ(*m.Find("b"), 3);
  EXPECT_EQ(m.IndexOf("b"), 1);
}

TEST(ClassRegistry, FindsRegisteredClassesByName) {
  static TPersistentClass cls;
  cls.Name = "TTestThing";
  cls.Create = [](TComponent*) -> TPersistent* { return new TStringList(); };
  RegisterClass(&cls);
  EXPECT_EQ(GetClass("ttestthing"), &cls);
  EXPECT_EQ(GetClass("TNothing"), nullptr);
  EXPECT_THROW(FindClass("TNothing"), EClassNotFound);
}
