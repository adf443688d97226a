#include "rete/KbToken.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "ErrorHelper.h"
#include "engine/Deducer.h"

using namespace kb;

namespace {

using kb::test::ErrorOf;

// Facts of an engine's templates, with identifiers given by hand.
struct TFactChain {
  TFactChain() {
    E.Parse("(deftemplate person (slot name) (slot age) (multislot kids))");
    Person = E.FindFactTemplate("person");
  }
  IFact Make(int32_t Id, const std::string& Name, int32_t Age = 0) {
    IFact f(new TFact(Person));
    f->SetValue("name", NewAtom(Name));
    f->SetValue("age", NewInteger(Age));
    f->SetID(Id);
    return f;
  }
  IFact Ordered(int32_t Id, const std::string& Text) {
    IFact f = E.ParseFact(Text);
    f->SetID(Id);
    return f;
  }
  TDeducer E;
  IFactTemplate Person;
};

IReteToken Chain(std::initializer_list<IFact> Facts, TTokenAction Action = taAdd) {
  IReteToken t;
  for (const IFact& f : Facts)
    t = t ? IReteToken(new TKbToken(t, f)) : IReteToken(new TKbToken(Action, f));
  return t;
}

}  // namespace

TEST(KbToken, ChainsAnswerTheirFactsByPatternIndex) {
  TFactChain f;
  IFact a = f.Make(1, "a"), b = f.Make(2, "b"), c = f.Make(3, "c");
  IReteToken t = Chain({a, b, c});
  EXPECT_EQ(t->GetCount(), 3);
  EXPECT_EQ(t->GetFacts(0)->GetID(), 1);
  EXPECT_EQ(t->GetFacts(1)->GetID(), 2);
  EXPECT_EQ(t->GetFacts(2)->GetID(), 3);
  // At or beyond the count: the own fact; below zero: none.
  EXPECT_EQ(t->GetFacts(7)->GetID(), 3);
  EXPECT_FALSE(t->GetFacts(-1));
  EXPECT_EQ(t->GetParent()->GetCount(), 2);
  EXPECT_EQ(t->GetTag(), taAdd);
  EXPECT_EQ(t->GetToFactsString(), "f-1, f-2, f-3");
  EXPECT_EQ(Chain({f.Make(7, "x")})->GetToFactsString(), "f-7");
  EXPECT_EQ(Chain({a, b}, taRemove)->GetToString(),
            "taRemove 2\r\n(person (name b) (age 0))\r\n(person (name a) (age 0))");
  EXPECT_EQ(IReteToken(new TKbToken())->GetToString(), "taClear 0");
}

TEST(KbToken, FactsAreSnapshots) {
  TFactChain f;
  IFact a = f.Make(1, "a");
  IReteToken t(new TKbToken(taAdd, a));
  a->SetValue("name", NewAtom("changed"));
  EXPECT_EQ(t->GetFact()->GetValue("name")->GetText(), "a");
  EXPECT_NE(t->GetFact(), a);
  // A fact that already is a snapshot is shared, not cloned again.
  IReteToken shared(new TKbToken(t, t->GetFact(), ShareSnapshot));
  EXPECT_EQ(shared->GetFact(), t->GetFact());
  EXPECT_EQ(shared->GetCount(), 2);
  // A copy shares fact and parent but not the negated count.
  shared->SetNegatedCount(4);
  TKbToken copy(*shared);
  EXPECT_EQ(copy.GetFact(), shared->GetFact());
  EXPECT_EQ(copy.GetParent(), shared->GetParent());
  EXPECT_EQ(copy.GetNegatedCount(), 0);
  copy.Assign(shared.get());
  EXPECT_EQ(copy.GetNegatedCount(), 4);
}

TEST(KbToken, SortCodesAndEquality) {
  TFactChain f;
  IFact a = f.Make(1, "a"), b = f.Make(4, "b"), c = f.Make(2, "c");
  IReteToken ab = Chain({a, b}), ab2 = Chain({f.Make(1, "other"), f.Make(4, "other")});
  EXPECT_EQ(ab->GetSortCode(), 1 * 8 + 4);
  // Same identifiers in the same order: equal, whatever the contents.
  EXPECT_TRUE(ab->Equals(ab2));
  EXPECT_TRUE(ab->Equals(ab));
  EXPECT_FALSE(Chain({b, a})->Equals(ab));
  // Same sort code, different chain: 0*8 + 12 = 1*8 + 4.
  IReteToken other = Chain({f.Make(0, "z"), f.Make(12, "y")});
  EXPECT_EQ(other->GetSortCode(), ab->GetSortCode());
  EXPECT_FALSE(other->Equals(ab));
  // Chains of different lengths never match, even with equal codes.
  IReteToken one = Chain({f.Make(12, "y")});
  IReteToken two = Chain({f.Make(0, "z"), f.Make(12, "y")});
  EXPECT_EQ(one->GetSortCode(), two->GetSortCode());
  EXPECT_FALSE(one->Equals(two));
  EXPECT_FALSE(two->Equals(one));
  EXPECT_FALSE(ab->Equals(IReteToken()));
  // Codes wrap in 32 bits.
  IReteToken longChain = Chain({a, b, c, a, b, c, a, b, c, a, b, c});
  EXPECT_TRUE(longChain->Equals(Chain({a, b, c, a, b, c, a, b, c, a, b, c})));
}

TEST(KbToken, ActionsAndNegatedCounts) {
  TFactChain f;
  IReteToken t(new TKbToken(taAdd, f.Make(1, "a")));
  t->SetTag(taRemove);
  EXPECT_EQ(t->GetTag(), taRemove);
  t->SetNegatedCount(-3);
  EXPECT_EQ(t->GetNegatedCount(), 0);
  t->SetNegatedCount(2);
  EXPECT_EQ(t->GetNegatedCount(), 2);
  IReteToken empty(new TKbToken());
  empty->SetTag(taClear);
  EXPECT_EQ(ErrorOf([&] { empty->SetTag(taAdd); }), "Invalid Token Action");
  EXPECT_EQ(empty->GetTag(), taClear);
  EXPECT_EQ(ErrorOf([] { TKbToken(taAdd, IFact()); }), "Invalid Token Action");
  // An extension takes its parent's action.
  IReteToken child(new TKbToken(t, f.Make(2, "b")));
  EXPECT_EQ(child->GetTag(), taRemove);
}

TEST(KbTokenTree, KeysBucketsAndDuplicates) {
  TFactChain f;
  TKbTokenTree bySlot(101, 0, NoSubIndex, "name", false);
  bySlot.ResolveSlot(*f.Person);
  IReteToken a = Chain({f.Make(1, "ann")});
  EXPECT_TRUE(bySlot.IsEmpty());
  EXPECT_TRUE(bySlot.Add(a));
  EXPECT_FALSE(bySlot.IsEmpty());
  // An equal token (same fact identifier) is refused; one copy stays.
  EXPECT_FALSE(bySlot.Add(Chain({f.Make(1, "ann")})));
  EXPECT_EQ(bySlot.GetCount(), 1);
  const int32_t key = NewAtom("ann")->GetHashCode();
  EXPECT_EQ(bySlot.KeyOf(*a), key);
  ASSERT_TRUE(bySlot.GetTokens(key));
  EXPECT_EQ(bySlot.GetTokens(key)->size(), 1u);
  EXPECT_EQ(bySlot.GetTokens(-key), bySlot.GetTokens(key));
  // Removing from a bucket never made, or a token not held: false.
  EXPECT_FALSE(bySlot.Remove(Chain({f.Make(2, "bob")})));
  EXPECT_FALSE(bySlot.Remove(Chain({f.Make(3, "ann")})));
  EXPECT_TRUE(bySlot.Remove(Chain({f.Make(1, "ann")})));
  EXPECT_EQ(bySlot.GetCount(), 0);
  EXPECT_EQ(bySlot.GetTokens(key), nullptr);
  bySlot.SetAllowNilBucket(false);
  ASSERT_NE(bySlot.GetTokens(key), nullptr);
  EXPECT_TRUE(bySlot.GetTokens(key)->empty());

  // Keys from the second fact of two-fact tokens, by fact identifier.
  TKbTokenTree byId(7, 1, NoSubIndex, "", false);
  IReteToken t = Chain({f.Make(1, "a"), f.Make(9, "b")});
  EXPECT_EQ(byId.KeyOf(*t), 9);
  byId.Add(t);
  EXPECT_EQ(byId.GetTokens(9 + 7)->front(), t);
  // By sort code; a hash size below 1 is one bucket.
  TKbTokenTree byCode(0, 0, NoSubIndex, "", true);
  EXPECT_EQ(byCode.GetHashSize(), 1);
  EXPECT_EQ(byCode.KeyOf(*t), t->GetSortCode());
  EXPECT_TRUE(byCode.Add(t));
  EXPECT_TRUE(byCode.Add(Chain({f.Make(9, "b"), f.Make(1, "a")})));
  EXPECT_EQ(byCode.GetBucket(0).size(), 2u);
  byCode.Clear();
  EXPECT_TRUE(byCode.IsEmpty());
  EXPECT_EQ(byCode.GetCount(), 0);
  EXPECT_TRUE(byCode.GetBucket(0).empty());
}

TEST(KbTokenTree, KeysFromMultislotElements) {
  TFactChain f;
  TKbTokenTree tree(13, 0, 1, SDefaultSlotName, false);
  IReteToken t = Chain({f.Ordered(1, "(pair x y)")});
  EXPECT_EQ(tree.KeyOf(*t), NewAtom("y")->GetHashCode());
  // A missing element keys as 0.
  IReteToken shorter = Chain({f.Ordered(2, "(pair x)")});
  EXPECT_EQ(tree.KeyOf(*shorter), 0);
  EXPECT_EQ(TKbTokenTree::KeyOfValue(nullptr, NoSubIndex), 0);
}

TEST(SlotAccessor, FollowsTemplateChanges) {
  TFactChain f;
  TSlotAccessor age("age");
  IFact fact = f.Make(1, "a", 42);
  ASSERT_TRUE(age.Get(*fact));
  EXPECT_EQ((*age.Get(*fact))->GetAsInteger(), 42);
  EXPECT_EQ(age.GetCachedIndex(), 1);
  // The slots of the template change: the name is resolved again.
  f.Person->RemoveSlot("name");
  EXPECT_EQ((*age.Get(*fact))->GetAsInteger(), 42);
  EXPECT_EQ(age.GetCachedIndex(), 0);
  // A fact of another template with the slot elsewhere.
  f.E.Parse("(deftemplate other (slot x) (slot y) (slot age))");
  IFact o = f.E.ParseFact("(other (age 7))");
  EXPECT_EQ((*age.Get(*o))->GetAsInteger(), 7);
  EXPECT_EQ((*age.Get(*fact))->GetAsInteger(), 42);
  // A template without the slot.
  EXPECT_EQ(TSlotAccessor("nope").Get(*o), nullptr);
  EXPECT_EQ(age.Get(TFact()), nullptr);
}

TEST(SlotReference, ResolvesAgainstTheContextsTokenAndFact) {
  TFactChain f;
  IFact a = f.Make(1, "ann", 30);
  IFact kids = f.E.ParseFact("(person (name bob) (kids x y z))");
  kids->SetID(2);
  IReteToken t = Chain({a, kids});
  auto ref = [](int32_t Fact, const char* Slot, int32_t Sub) {
    IKbValue v = NewValue();
    v->SetAsVariantArray({TVariant(Fact), TVariant(Slot), TVariant(Sub)});
    return v;
  };
  std::unique_ptr<TKbContext> c(f.E.GetContext()->Push());
  c->SetToken(t);
  EXPECT_EQ(c->GetToken(), t);
  EXPECT_EQ(ref(0, "name", -1)->Resolve(c.get())->GetText(), "ann");
  EXPECT_EQ(ref(1, "kids", 1)->Resolve(c.get())->GetText(), "y");
  IKbValue id = ref(1, "", -1)->Resolve(c.get());
  EXPECT_EQ(id->GetDType(), dtFactId);
  EXPECT_EQ(id->GetAsFactId(), 2);
  // The index equal to the token's count means the arriving fact.
  c->SetFact(f.Make(5, "cid", 9));
  EXPECT_EQ(ref(2, "age", -1)->Resolve(c.get())->GetAsInteger(), 9);
  // A scope pushed by a function still sees the match.
  std::unique_ptr<TKbContext> inner(c->Push());
  EXPECT_EQ(ref(0, "age", -1)->Resolve(inner.get())->GetAsInteger(), 30);
  // Errors.
  EXPECT_EQ(ErrorOf([&] { ref(0, "nope", -1)->Resolve(c.get()); }), "No such slot name: \"nope\"");
  EXPECT_EQ(ErrorOf([&] { ref(1, "kids", 5)->Resolve(c.get()); }), "List index out of bounds (5)");
  EXPECT_EQ(ErrorOf([&] { ref(-1, "age", -1)->Resolve(c.get()); }),
            "Corrupted Binding, variable not found: -1 age -1");
  EXPECT_EQ(ErrorOf([&] { ref(0, "age", -1)->Resolve(nullptr); }),
            "No context found when trying to resolve a dtVariantArray value");
  // Other arrays stand for themselves.
  IKbValue plain = NewValue();
  plain->SetAsVariantArray({TVariant(1), TVariant(2)});
  EXPECT_EQ(plain->Resolve(c.get()), plain);
  EXPECT_EQ(plain->GetSlotReference(), nullptr);
  IKbValue reference = ref(3, "kids", 2);
  const TSlotReference* r = reference->GetSlotReference();
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->GetFactIndex(), 3);
  EXPECT_EQ(r->GetSlotName(), "kids");
  EXPECT_EQ(r->GetSubIndex(), 2);
  // A copy of the value is a reference too.
  EXPECT_NE(ref(0, "name", -1)->CloneValue()->GetSlotReference(), nullptr);
}
