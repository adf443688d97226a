#include "memory/KbFacts.h"
#include "memory/KbFactsSets.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>

#include "ErrorHelper.h"
#include "engine/Deducer.h"
#include "engine/DeducerTemplates.h"

using namespace kb;

namespace {

using kb::test::ErrorOf;

IKbValue List(std::initializer_list<IKbValue> Items) {
  IValueVector v = NewVector();
  for (const IKbValue& i : Items) v->Add(i);
  return NewList(v);
}

// person: name (default the empty atom), age (integer, default 0),
// kids (multislot).
IFactTemplate Person(TComponent* Owner = nullptr) {
  IFactTemplate t(new TFactTemplate(Owner, "person"));
  t->AddSlot("name", FCEmptyString);
  t->AddSlot("age", NewInteger(0))->SetSlotType({dtInteger});
  t->AddMultiSlot("kids", FCNilList);
  return t;
}

IFactTemplate Ordered(const std::string& Name, TComponent* Owner = nullptr) {
  IFactTemplate t(new TFactTemplate(Owner, Name));
  t->AddMultiSlot(SDefaultSlotName, FCNilList);
  return t;
}

}  // namespace

// ------------------------------------------------------------------ slots

TEST(FactSlot, NamesAreScreenedAndTheOldNameStays) {
  IFactTemplate t = Person();
  IFactSlot s = t->GetSlot("name");
  EXPECT_EQ(ErrorOf([&] { s->SetName("first name"); }),
            "Name \"first name\" contains an unexpected character: \" \"");
  EXPECT_EQ(ErrorOf([&] { s->SetName("a(b"); }),
            "Name \"a(b\" contains an unexpected character: \"(\"");
  EXPECT_EQ(ErrorOf([&] { t->SetTemplateName("my;t"); }),
            "Name \"my;t\" contains an unexpected character: \";\"");
  // Names are written without escapes, so each must read back as the
  // same symbol: no character that ends a word or escapes, and nothing
  // that reads as a number or as punctuation.
  EXPECT_EQ(ErrorOf([&] { s->SetName("a|b"); }),
            "Name \"a|b\" contains an unexpected character: \"|\"");
  EXPECT_EQ(ErrorOf([&] { s->SetName("a~b"); }),
            "Name \"a~b\" contains an unexpected character: \"~\"");
  EXPECT_EQ(ErrorOf([&] { t->SetTemplateName("a\\b"); }),
            "Name \"a\\b\" contains an unexpected character: \"\\\"");
  EXPECT_EQ(ErrorOf([&] { t->SetTemplateName("a\tb"); }),
            "Name \"a\tb\" contains an unexpected character: \"\t\"");
  EXPECT_EQ(ErrorOf([&] { t->SetTemplateName("=a"); }),
            "Name \"=a\" contains an unexpected character: \"=\"");
  EXPECT_EQ(ErrorOf([&] { t->SetTemplateName("12"); }), "Name \"12\" is not a symbol");
  EXPECT_EQ(ErrorOf([&] { s->SetName("-1.5e3"); }), "Name \"-1.5e3\" is not a symbol");
  EXPECT_EQ(ErrorOf([&] { s->SetName(""); }), "Name \"\" is not a symbol");
  EXPECT_EQ(s->GetName(), "name");
  EXPECT_EQ(t->GetTemplateName(), "person");
  EXPECT_TRUE(t->ContainsSlot("name"));
  // Odd names that do read back are kept.
  for (const char* name : {"+", "-", "e5", "a=b", "\\x", "1a", "x-1.5", "a*b"}) {
    s->SetName(name);
    EXPECT_EQ(s->GetName(), name);
  }
  s->SetName("name");
  // The same name again changes nothing.
  s->SetName("name");
  EXPECT_EQ(t->IndexOfSlot("name"), 0);
}

TEST(FactSlot, TypeChangesReplaceDefaultsThatNoLongerFit) {
  IFactSlot s(new TFactSlot());
  s->SetSlotType(KbSlotTypes);
  s->SetSlotDefault(NewString("x"));
  s->SetSlotType({dtInteger, dtFloat});
  EXPECT_EQ(s->GetSlotDefault(), FCZero);
  // A float slot's default is a float, so that its text reads back.
  s->SetSlotType({dtFloat});
  EXPECT_EQ(s->GetSlotDefault()->GetDType(), dtFloat);
  EXPECT_EQ(s->GetSlotDefault()->GetAsFloat(), 0.0);
  EXPECT_EQ(s->GetToString(), "(slot  (type FLOAT) (default 0.0) )");
  s->SetSlotType(KbSlotTypes);
  s->SetSlotDefault(NewString("x"));
  // Symbols start from nil, which reads as a symbol, strings from the
  // empty string: the empty symbol has no text to be saved as.
  s->SetSlotType({dtAtom});
  EXPECT_EQ(s->GetSlotDefault(), FCNil);
  s->SetSlotType({dtString});
  EXPECT_EQ(s->GetSlotDefault()->GetDType(), dtString);
  EXPECT_EQ(s->GetSlotDefault()->GetText(), "");
  s->SetSlotType({dtAtom});
  s->SetSlotType(KbSlotTypes);
  IKbValue x = NewString("x");
  s->SetSlotDefault(x);
  s->SetSlotType({dtAtom, dtString});
  EXPECT_EQ(s->GetSlotDefault(), x);
  // An equal default keeps the stored object.
  s->SetSlotDefault(NewString("x"));
  EXPECT_EQ(s->GetSlotDefault(), x);
  // A call default is kept whatever the types: its value is not known
  // until a fact is made.
  IKbValue call = NewFunCall(IFunCall(new TFunctionCall(nullptr, "random")));
  s->SetSlotDefault(call);
  s->SetSlotType({dtInteger});
  EXPECT_EQ(s->GetSlotDefault()->GetDType(), dtFunCall);
  // A slot without default gets one with its first type set.
  IFactSlot m(new TFactSlot());
  m->SetSlotType(KbMultiSlotTypes);
  EXPECT_EQ(m->GetSlotDefault(), FCNilList);
  EXPECT_TRUE(m->IsMultiSlot());
}

TEST(FactSlot, EqualityAndCopies) {
  IFactTemplate t = Person();
  IFactSlot age = t->GetSlot("age");
  IFactSlot copy = age->CloneSlot();
  // Cloning leaves the template alone.
  EXPECT_EQ(t->GetSlot("age"), age);
  EXPECT_EQ(copy->GetTemplate(), nullptr);
  EXPECT_EQ(copy->GetTemplateName(), "");
  EXPECT_EQ(age->GetTemplateName(), "person");
  EXPECT_TRUE(age->Equals(copy));
  EXPECT_TRUE(copy->Equals(age));
  // Loose comparison of defaults: 0 and 0.0 are equal.
  copy->SetSlotDefault(NewFloat(0));
  EXPECT_TRUE(age->Equals(copy));
  // A default that cannot be converted is different, not an error.
  IFactSlot other = age->CloneSlot();
  other->SetSlotDefault(NewAtom("abc"));
  EXPECT_FALSE(age->Equals(other));
  other = age->CloneSlot();
  other->SetSlotType({dtInteger, dtFloat});
  EXPECT_FALSE(age->Equals(other));
  // Copying a slot whose default lies outside its types keeps the default.
  IFactSlot odd(new TFactSlot());
  odd->SetName("odd");
  odd->SetSlotType({dtInteger});
  odd->SetSlotDefault(NewString("x"));
  IFactSlot same(new TFactSlot());
  same->Assign(static_cast<const TPersistent*>(odd.get()));
  EXPECT_EQ(same->GetSlotDefault()->GetToString(), "\"x\"");
  EXPECT_TRUE(same->Equals(odd));
  IFactTemplate holder(new TFactTemplate(nullptr, "h"));
  holder->AddSlot(odd);
  IFactTemplate cloned = holder->CloneTemplate();
  EXPECT_EQ(cloned->GetSlot("odd")->GetSlotDefault()->GetToString(), "\"x\"");
  EXPECT_TRUE(cloned->Equals(holder));
}

TEST(FactSlot, Text) {
  IFactTemplate t(new TFactTemplate(nullptr, "t"));
  EXPECT_EQ(t->AddSlot("x", FCNil)->GetToString(), "(slot x )");
  IFactSlot y = t->AddSlot("y", NewInteger(0));
  y->SetSlotType({dtInteger, dtFloat});
  EXPECT_EQ(y->GetToString(), "(slot y (type INTEGER FLOAT) (default 0) )");
  EXPECT_EQ(t->AddMultiSlot("m", List({NewAtom("a"), NewString("b")}))->GetToString(),
            "(multislot m (default a \"b\") )");
  EXPECT_EQ(t->AddMultiSlot("e", FCNilList)->GetToString(), "(multislot e )");
  // An empty default text is left out.
  EXPECT_EQ(t->AddSlot("s", FCEmptyString)->GetToString(), "(slot s )");
  // A call stays a call: it is written as a dynamic default.
  IFunCall call(new TFunctionCall(nullptr, "gensym*"));
  IFactSlot d = t->AddSlot("d", NewFunCall(call));
  EXPECT_EQ(d->GetToString(), "(slot d (default-dynamic (gensym*)) )");
  // Every slot holds its own call.
  EXPECT_NE(d->GetSlotDefault()->GetAsFunCall(), call);
}

// -------------------------------------------------------------- templates

TEST(FactTemplate, AddingSlotsAndTheirErrors) {
  IFactTemplate t(new TFactTemplate(nullptr, "t"));
  t->AddSlot("x", NewInteger(5));
  t->AddSlot("x", NewInteger(7));
  ASSERT_EQ(t->GetSlotCount(), 1);
  EXPECT_EQ(t->GetSlot("x")->GetSlotDefault()->GetAsInteger(), 7);
  EXPECT_EQ(ErrorOf([&] { t->AddSlot("y", IKbValue()); }), "Bad Slot Type");
  EXPECT_EQ(ErrorOf([&] { t->AddMultiSlot("y", IKbValue()); }), "Bad Slot Type");
  EXPECT_EQ(ErrorOf([&] {
              t->AddSlot("y", List({NewAtom("a"), NewAtom("b")}));
            }),
            "Invalid default slot value: a b");
  EXPECT_EQ(ErrorOf([&] { t->AddMultiSlot("y", NewInteger(5)); }),
            "Invalid default value for a multislot, must be a multifield: 5");
  EXPECT_EQ(ErrorOf([&] { t->AddMultiSlot("  ", FCNilList); }), "Bad Slot Name:   ");
  EXPECT_EQ(ErrorOf([&] { t->AddMultiSlot("x", FCNilList); }),
            "Invalid value for existing slot, slot is not multislot");
  t->AddMultiSlot("m", FCNilList);
  EXPECT_EQ(ErrorOf([&] { t->AddSlot("m", NewInteger(1)); }),
            "Invalid value for existing slot, multislot is not slot");
  EXPECT_EQ(ErrorOf([&] { t->GetSlot("zz"); }), "No such slot name: \"zz\"");
  EXPECT_EQ(ErrorOf([&] { t->RemoveSlot("zz"); }), "No such slot name: \"zz\"");
  // Every refusal left the template as it was.
  EXPECT_EQ(t->GetSlotNames(), (std::vector<std::string>{"x", "m"}));
}

TEST(FactTemplate, SlotsKeepDeclaredOrderAndIndexes) {
  IFactTemplate t(new TFactTemplate(nullptr, "t"));
  for (const char* n : {"a", "b", "c", "d"}) t->AddSlot(n, FCNil);
  auto check = [&] {
    for (int i = 0; i < t->GetSlotCount(); ++i) {
      EXPECT_EQ(t->GetSlotAt(i)->GetIndex(), i);
      EXPECT_EQ(t->IndexOfSlot(t->GetSlotAt(i)->GetName()), i);
    }
  };
  check();
  t->RemoveSlot("b");
  EXPECT_EQ(t->GetSlotNames(), (std::vector<std::string>{"a", "c", "d"}));
  check();
  // A renamed slot keeps its place.
  t->GetSlot("c")->SetName("cc");
  EXPECT_EQ(t->GetSlotNames(), (std::vector<std::string>{"a", "cc", "d"}));
  EXPECT_EQ(t->IndexOfSlot("c"), -1);
  check();
  // Renaming onto another slot's name replaces that slot.
  IFactSlot d = t->GetSlot("d");
  t->GetSlot("a")->SetName("d");
  EXPECT_EQ(t->GetSlotNames(), (std::vector<std::string>{"d", "cc"}));
  EXPECT_EQ(d->GetTemplate(), nullptr);
  check();
  // A slot that left its template no longer touches it.
  d->SetName("zz");
  EXPECT_FALSE(t->ContainsSlot("zz"));
  // SetSlot checks the name and replaces in place.
  IFactSlot n(new TFactSlot());
  n->SetName("other");
  EXPECT_EQ(ErrorOf([&] { t->SetSlot("cc", n); }),
            "Index does not match fact slot name: cc and other");
  n->SetName("cc");
  n->SetSlotDefault(NewInteger(9));
  t->SetSlot("cc", n);
  EXPECT_EQ(t->GetSlotNames(), (std::vector<std::string>{"d", "cc"}));
  EXPECT_EQ(t->GetSlot("cc")->GetSlotDefault()->GetAsInteger(), 9);
  EXPECT_EQ(t->GetSlot("cc")->GetTemplate(), t.get());
  check();
  // A copied-in slot of an existing name takes that slot's place.
  IFactSlot repl(new TFactSlot());
  repl->SetName("d");
  repl->SetSlotDefault(NewInteger(2));
  t->AddSlot(repl);
  EXPECT_EQ(t->GetSlotNames(), (std::vector<std::string>{"d", "cc"}));
  EXPECT_EQ(t->GetSlot("d")->GetSlotDefault()->GetAsInteger(), 2);
  check();
  t->ClearSlots();
  EXPECT_EQ(t->GetSlotCount(), 0);
}

TEST(FactTemplate, OrderedFlag) {
  IFactTemplate t = Ordered("data");
  EXPECT_TRUE(t->IsOrdered());
  t->AddSlot("x", FCNil);
  EXPECT_FALSE(t->IsOrdered());
  // Removing leaves the flag as it was.
  t->RemoveSlot("x");
  EXPECT_FALSE(t->IsOrdered());
  IFactTemplate u(new TFactTemplate(nullptr, "u"));
  u->AddSlot("x", FCNil);
  EXPECT_FALSE(u->IsOrdered());
  u->GetSlot("x")->SetName(SDefaultSlotName);
  EXPECT_TRUE(u->IsOrdered());
}

TEST(FactTemplate, EqualityIsOneSided) {
  IFactTemplate ab(new TFactTemplate(nullptr, "t"));
  ab->AddSlot("a", FCNil);
  ab->AddSlot("b", FCNil);
  IFactTemplate abc = ab->CloneTemplate();
  abc->AddSlot("c", FCNil);
  EXPECT_TRUE(ab->Equals(abc));
  EXPECT_FALSE(abc->Equals(ab));
  IFactTemplate renamed = ab->CloneTemplate();
  renamed->SetTemplateName("u");
  EXPECT_FALSE(ab->Equals(renamed));
  // Comments, parents and the backward-chaining flag do not count.
  IFactTemplate commented = ab->CloneTemplate();
  commented->SetComment("c");
  commented->SetBackwardChaining(true);
  EXPECT_TRUE(ab->Equals(commented));
}

TEST(FactTemplate, ParentsAndCopies) {
  IFactTemplate parent = Person();
  parent->SetComment("a person");
  parent->SetBackwardChaining(true);
  IFactTemplate child(new TFactTemplate(nullptr, "child", "a child", parent));
  EXPECT_EQ(child->GetTemplateName(), "child");
  EXPECT_EQ(child->GetComment(), "a child");
  EXPECT_EQ(child->GetParent(), parent);
  EXPECT_TRUE(child->IsBackwardChaining());
  EXPECT_EQ(child->GetSlotNames(), parent->GetSlotNames());
  // The child's slots are its own.
  EXPECT_NE(child->GetSlot("age"), parent->GetSlot("age"));
  EXPECT_EQ(child->GetSlot("age")->GetTemplate(), child.get());
  // A parent of another owner is not recorded.
  TComponent owner;
  IFactTemplate foreign(new TFactTemplate(&owner, "child", "", parent));
  EXPECT_EQ(foreign->GetParent(), nullptr);
  // No cycles of parents.
  EXPECT_EQ(ErrorOf([&] { parent->SetParent(child); }),
            "Fact template \"person\" cannot extend \"child\", which already extends it");
  EXPECT_EQ(ErrorOf([&] { parent->SetParent(parent); }),
            "Fact template \"person\" cannot extend \"person\", which already extends it");
  EXPECT_EQ(parent->GetParent(), nullptr);
  // Clone: same name, owner, slots; independent slots.
  IFactTemplate copy = child->CloneTemplate();
  EXPECT_TRUE(copy->Equals(child));
  EXPECT_TRUE(child->Equals(copy));
  EXPECT_EQ(copy->GetParent(), parent);
  copy->GetSlot("age")->SetSlotDefault(NewInteger(3));
  EXPECT_EQ(child->GetSlot("age")->GetSlotDefault()->GetAsInteger(), 0);
  EXPECT_THROW(copy->Assign(ICloneable(NewAtom("x"))), EInvalidCast);
}

TEST(FactTemplate, Text) {
  IFactTemplate t = Person();
  EXPECT_EQ(t->GetToString(),
            "(deftemplate person \"\" \r\n"
            "    (slot name )\r\n"
            "    (slot age (type INTEGER) (default 0) )\r\n"
            "    (multislot kids )\r\n"
            ")");
}

// ------------------------------------------------------------------ facts

TEST(Fact, DefaultsAreFilledLazilyWithPrivateCopies) {
  IFactTemplate t(new TFactTemplate(nullptr, "t"));
  IKbValue def = List({NewAtom("a")});
  t->AddMultiSlot("m", def);
  t->AddSlot("s", NewInteger(1));
  IFact f(new TFact(t));
  EXPECT_FALSE(f->HasValue(0));
  EXPECT_TRUE(f->GetSlotNames().empty());
  // Hashing and printing do not fill.
  EXPECT_EQ(f->GetToString(), "(t (m a) (s 1))");
  EXPECT_FALSE(f->HasValue(0));
  const IKbValue& m = f->GetValue(0);
  EXPECT_TRUE(f->HasValue(0));
  EXPECT_TRUE(m->Equals(def));
  EXPECT_NE(m, def);
  EXPECT_NE(m->ListPtr(), def->ListPtr());
  EXPECT_EQ(f->GetSlotNames(), (std::vector<std::string>{"m"}));
  // FillFactWithDefaults: every fact its own copies.
  IFact a = t->NewFact(), b = t->NewFact();
  EXPECT_NE(a->GetValue("m"), b->GetValue("m"));
  EXPECT_NE(a->GetValue("m"), t->GetSlot("m")->GetSlotDefault());
  EXPECT_EQ(a->GetSlotNames(), (std::vector<std::string>{"m", "s"}));
  EXPECT_EQ(a->ContainsKey("s")->GetAsInteger(), 1);
  EXPECT_EQ(a->ContainsKey("none"), nullptr);
  IFactTemplate other(new TFactTemplate(nullptr, "t"));
  EXPECT_EQ(ErrorOf([&] { other->FillFactWithDefaults(a); }),
            "Unable to assign slot values, fact templates are different: t and t");
  EXPECT_EQ(ErrorOf([&] { t->FillFactWithDefaults(IFact(new TFact())); }),
            "Fact Template is missing");
}

TEST(Fact, ValuesAndTheirErrors) {
  IFact f = Person()->NewFact();
  f->SetValue("name", NewAtom("Bob"));
  EXPECT_EQ(f->GetValue("name")->GetAsString(), "Bob");
  EXPECT_EQ(f->GetValue(0)->GetAsString(), "Bob");
  f->SetValue(1, IKbValue());
  EXPECT_EQ(f->GetValue("age"), FCNil);
  EXPECT_EQ(ErrorOf([&] { f->SetValue("height", NewInteger(1)); }),
            "No such slot name: \"height\"");
  EXPECT_EQ(ErrorOf([&] { f->GetValue("height"); }), "No such slot name: \"height\"");
  EXPECT_THROW(f->GetValue(7), EListError);
  EXPECT_THROW(f->SetValue(-1, FCNil), EListError);
  IFact bare(new TFact());
  EXPECT_EQ(ErrorOf([&] { bare->GetValue("x"); }), "Fact Template is missing");
  EXPECT_EQ(ErrorOf([&] { bare->SetValue("x", FCNil); }), "Fact Template is missing");
  EXPECT_EQ(ErrorOf([&] { bare->ContainsKey("x"); }), "Fact Template is missing");
  EXPECT_EQ(bare->GetToString(), "()");
  // SetValues checks everything before storing anything.
  TValueHashTable table;
  table.Put("name", NewAtom("Ann"));
  table.Put("shoe", NewInteger(1));
  EXPECT_EQ(ErrorOf([&] { f->SetValues(table); }), "No such slot name: \"shoe\"");
  EXPECT_EQ(f->GetValue("name")->GetAsString(), "Bob");
  table.Remove("shoe");
  f->SetValues(table);
  EXPECT_EQ(f->GetSlotNames(), (std::vector<std::string>{"name"}));
}

TEST(Fact, DynamicTypeCheckFollowsTheEngine) {
  TDeducer engine;
  IFact f = Person(&engine)->NewFact();
  f->SetValue("age", NewAtom("ten"));  // static checks only: stored
  EXPECT_EQ(f->GetValue("age")->GetAsString(), "ten");
  engine.SetTypeChecks({tcStatic, tcDynamic});
  EXPECT_EQ(ErrorOf([&] { f->SetValue("age", NewAtom("eleven")); }),
            "Not a INTEGER.  Value Type is dtAtom");
  EXPECT_EQ(f->GetValue("age")->GetAsString(), "ten");
  f->SetValue("age", NewFunCall(IFunCall(new TFunctionCall(nullptr, "+"))));
  EXPECT_EQ(f->GetValue("age")->GetDType(), dtFunCall);
  f->GetTemplate()->GetSlot("age")->SetSlotType({dtInteger, dtFloat});
  EXPECT_EQ(ErrorOf([&] { f->SetValue("age", NewString("x")); }),
            "Not a INTEGER, FLOAT.  Value Type is dtString");
  EXPECT_EQ(ErrorOf([&] { f->SetValue("kids", NewAtom("x")); }),
            "Not a LIST, MULTISLOT.  Value Type is dtAtom");
  // Assigning a fact of the same engine checks the values too.
  IFact loose(new TFact(f->GetTemplate()));
  engine.SetTypeChecks({tcStatic});
  loose->SetValue("age", NewAtom("old"));
  engine.SetTypeChecks({tcDynamic});
  IFact target(new TFact(f->GetTemplate()));
  EXPECT_EQ(ErrorOf([&] { target->Assign(static_cast<const TPersistent*>(loose.get())); }),
            "Not a INTEGER, FLOAT.  Value Type is dtAtom");
  target->Assign(ICloneable(loose));  // the interface form copies unchecked
  EXPECT_EQ(target->GetValue("age")->GetAsString(), "old");
}

TEST(Fact, ClonesShareValuesUntilWritten) {
  IFact f = Person()->NewFact();
  f->SetID(4);
  f->SetTag(9);
  f->SetValue("name", NewAtom("Bob"));
  IFact c = f->CloneFact();
  EXPECT_EQ(c->GetID(), 4);
  EXPECT_EQ(c->GetTag(), 9);
  EXPECT_EQ(c->GetTemplate(), f->GetTemplate());
  EXPECT_TRUE(c->Equals(f));
  EXPECT_EQ(c->GetValue("name"), f->GetValue("name"));  // shared, not copied
  c->SetValue("name", NewAtom("Ann"));
  EXPECT_EQ(f->GetValue("name")->GetAsString(), "Bob");
  EXPECT_EQ(c->GetValue("name")->GetAsString(), "Ann");
  EXPECT_FALSE(c->Equals(f));
  f->SetValue("age", NewInteger(30));
  EXPECT_EQ(c->GetValue("age")->GetAsInteger(), 0);
  // A clone of a clone, then the original goes.
  IFact cc = c->CloneFact();
  c = nullptr;
  EXPECT_EQ(cc->GetValue("name")->GetAsString(), "Ann");
  // A value holding a fact clones it cheaply too.
  IKbValue v = NewFactValue(f);
  EXPECT_EQ(v->GetAsFact(), f);
  IKbValue copy = v->CloneValue();
  EXPECT_NE(copy->GetAsFact(), f);
  EXPECT_TRUE(copy->GetAsFact()->Equals(f));
  EXPECT_TRUE(copy->Equals(v));
  EXPECT_EQ(ErrorOf([] { NewInteger(1)->GetAsFact(); }), "Not a fact.  Value Type is dtInteger");
  TFunctionCall call(nullptr, "assert");
  EXPECT_EQ(call.AddArgument(f), 0);
  EXPECT_EQ(call.GetArgument(0)->GetDType(), dtFact);
}

TEST(Fact, EqualityAndHashing) {
  IFactTemplate t = Person();
  IFact a = t->NewFact();
  IFact b(new TFact(t));  // nothing filled yet
  EXPECT_TRUE(a->Equals(a));
  EXPECT_TRUE(a->Equals(b));
  EXPECT_TRUE(b->Equals(a));
  EXPECT_EQ(a->GetHashCode(), b->GetHashCode());
  b->SetID(12);
  EXPECT_TRUE(a->Equals(b));  // identifiers do not count
  b->SetValue("age", NewFloat(0));
  EXPECT_FALSE(a->Equals(b));  // strict: 0 is not 0.0
  // Same name, another template object: not equal.
  IFactTemplate t2 = Person();
  EXPECT_FALSE(a->Equals(t2->NewFact()));
  EXPECT_FALSE(a->Equals(ICloneable(NewAtom("x"))));
}

// The working memory finds duplicates by hash code: facts that differ only
// in the order of their values, or that share a sum of values, or that hold
// the same values in another template, must not share one. Every fact of a
// 60 x 60 grid of two-field facts over two templates hashes apart.
TEST(Fact, HashCodesSpreadOverOrderAndTemplates) {
  IFactTemplate hop = Ordered("hop"), edge(new TFactTemplate(nullptr, "edge"));
  edge->AddSlot("from", FCNil);
  edge->AddSlot("to", FCNil);
  std::set<int32_t> hashes;
  int facts = 0;
  for (int32_t a = 1; a <= 60; ++a)
    for (int32_t b = 1; b <= 60; ++b) {
      IFact h(new TFact(hop));
      h->SetValue(0, List({NewInteger(a), NewInteger(b)}));
      IFact e(new TFact(edge));
      e->SetValue(0, NewInteger(a));
      e->SetValue(1, NewInteger(b));
      hashes.insert(h->GetHashCode());
      hashes.insert(e->GetHashCode());
      facts += 2;
    }
  EXPECT_EQ(static_cast<int>(hashes.size()), facts);
  // Equal content through another path (a clone, defaults never stored,
  // a slot layout changed after the fact was made) still hashes alike.
  IFact e(new TFact(edge));
  e->SetValue(0, NewInteger(1));
  IFact g = edge->NewFact();
  g->SetValue(0, NewInteger(1));
  EXPECT_TRUE(e->Equals(g));
  EXPECT_EQ(e->GetHashCode(), g->GetHashCode());
  EXPECT_EQ(e->GetHashCode(), e->CloneFact()->GetHashCode());
  edge->AddSlot("weight", NewInteger(1));
  EXPECT_TRUE(e->Equals(g));
  EXPECT_EQ(e->GetHashCode(), g->GetHashCode());
}

TEST(Fact, TemplateChanges) {
  IFactTemplate t = Person();
  IFact f = t->NewFact();
  f->SetValue("name", NewAtom("Bob"));
  IFactTemplate u(new TFactTemplate(nullptr, "worker"));
  u->AddSlot("name", FCEmptyString);
  u->AddSlot("salary", NewInteger(100));
  f->SetTemplate(u);
  EXPECT_EQ(f->GetToString(), "(worker (name Bob) (salary 100))");
  EXPECT_EQ(f->GetSlotNames(), (std::vector<std::string>{"name", "salary"}));
  f->SetTemplate(nullptr);
  EXPECT_TRUE(f->GetSlotNames().empty());
  EXPECT_EQ(f->GetTemplate(), nullptr);
  // Slots added, renamed and removed after facts exist: values follow the
  // slots by name.
  IFact g = t->NewFact();
  g->SetValue("age", NewInteger(40));
  IFact clone = g->CloneFact();
  t->AddSlot("city", NewAtom("Oslo"));
  EXPECT_EQ(g->GetValue("city")->GetAsString(), "Oslo");
  EXPECT_EQ(g->GetValue("age")->GetAsInteger(), 40);
  t->RemoveSlot("name");
  EXPECT_EQ(g->GetValue(0)->GetAsInteger(), 40);  // age is slot 0 now
  EXPECT_EQ(clone->GetValue("age")->GetAsInteger(), 40);
  t->GetSlot("age")->SetName("years");
  EXPECT_EQ(g->GetValue("years")->GetAsInteger(), 0);  // a renamed slot starts from its default
  EXPECT_EQ(g->GetToString(), "(person (years 0) (city Oslo))");
  EXPECT_TRUE(g->Equals(clone));
}

TEST(Fact, AssignValuesNeedsTheSameTemplate) {
  IFactTemplate t = Person();
  IFact a = t->NewFact(), b(new TFact(t));
  a->SetValue("name", NewAtom("Bob"));
  b->AssignValues(a);
  EXPECT_EQ(b->GetValue("name")->GetAsString(), "Bob");
  IFact other = Ordered("data")->NewFact();
  EXPECT_EQ(ErrorOf([&] { b->AssignValues(other); }),
            "Unable to assign slot values, fact templates are different: person and data");
  EXPECT_EQ(ErrorOf([&] { IFact(new TFact())->AssignValues(a); }), "Fact Template is missing");
  // Assign takes the template, values, identifier and tag.
  a->SetID(3);
  other->Assign(ICloneable(a));
  EXPECT_EQ(other->GetTemplate(), t);
  EXPECT_EQ(other->GetID(), 3);
  EXPECT_TRUE(other->Equals(a));
  // A source without template changes nothing.
  EXPECT_EQ(ErrorOf([&] { other->Assign(ICloneable(IFact(new TFact()))); }),
            "Fact Template is missing");
  EXPECT_EQ(other->GetTemplate(), t);
}

TEST(Fact, Text) {
  IFact p = Person()->NewFact();
  EXPECT_EQ(p->GetToString(), "(person (age 0))");
  p->SetValue("name", NewString("Bob Smith"));
  p->SetValue("kids", List({NewAtom("Ann"), NewAtom("Tom")}));
  EXPECT_EQ(p->GetToString(), "(person (name \"Bob Smith\") (age 0) (kids Ann Tom))");
  IFact d = Ordered("data")->NewFact();
  EXPECT_EQ(d->GetToString(), "(data)");
  d->SetValue(SDefaultSlotName, List({NewAtom("a"), NewAtom("b"), NewAtom("c")}));
  EXPECT_EQ(d->GetToString(), "(data a b c)");
  // An emptied multislot whose default is not empty is written empty, so
  // that it does not read back as the default.
  IFactTemplate t(new TFactTemplate(nullptr, "t"));
  t->AddMultiSlot("m", List({NewAtom("x")}));
  IFact e = t->NewFact();
  EXPECT_EQ(e->GetToString(), "(t (m x))");
  e->SetValue("m", FCNilList);
  EXPECT_EQ(e->GetToString(), "(t (m))");
  // Listing form.
  d->SetID(7);
  EXPECT_EQ(d->GetToIDString(), "f-7 (data a b c)");
  TDeducer engine;
  IFact n = Ordered("n", &engine)->NewFact();
  n->SetID(7);
  engine.SetNextFactId(120);
  EXPECT_EQ(n->GetToIDString(), "f-007 (n)");
  n->SetID(-1);
  EXPECT_EQ(n->GetToIDString(), "f--001 (n)");
  engine.SetNextFactId(5);
  n->SetID(12);
  EXPECT_EQ(n->GetToIDString(), "f-12 (n)");
}

TEST(Fact, OutlivesItsEngine) {
  IFact f;
  IFactSlot slot;
  {
    TDeducer engine;
    IFactTemplate t = engine.CreateFactTemplate("colour");
    f = t->NewFact();
    f->SetValue(SDefaultSlotName, List({NewAtom("red")}));
    slot = t->GetSlot(SDefaultSlotName);
  }
  EXPECT_EQ(f->GetTemplate()->GetEngine(), nullptr);
  EXPECT_EQ(f->GetTemplate()->GetOwner(), nullptr);
  EXPECT_EQ(f->GetToString(), "(colour red)");
  EXPECT_EQ(f->GetToIDString(), "f--1 (colour red)");
  EXPECT_EQ(slot->GetTemplateName(), "colour");
  f = nullptr;
  // The template went with the fact; the slot stands alone.
  EXPECT_EQ(slot->GetTemplate(), nullptr);
  EXPECT_EQ(slot->GetToString(), "(multislot __Data )");
}

// -------------------------------------------------------------- fact sets

TEST(FactSet, FactsAndText) {
  TComponent owner;
  auto* set = new TFactSet(&owner);
  EXPECT_EQ(set->GetFactSetName(), "FactSet");
  EXPECT_EQ(set->GetEngine(), nullptr);
  set->SetFactSetName("start");
  set->SetComment("first facts");
  IFact a = Ordered("a")->NewFact(), b = Person()->NewFact();
  EXPECT_EQ(set->AddFact(a), 0);
  EXPECT_EQ(set->AddFact(b), 1);
  EXPECT_EQ(set->GetFacts().IndexOf(b), 1);
  EXPECT_EQ(set->GetFacts().Remove(IFact(new TFact())), -1);
  EXPECT_EQ(set->GetFacts().Count(), 2);
  EXPECT_EQ(set->GetToString(),
            "(deffacts start \"first facts\"\r\n    (a)\r\n    (person (age 0))\r\n)");
  EXPECT_EQ(set->GetFactStrings(), (std::vector<std::string>{"(a)", "(person (age 0))"}));
  TIList<TFact> list;
  set->GetFacts().AssignTo(list);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[1], b);
  // Copies hold clones of the facts.
  std::unique_ptr<TFactSet> copy(set->Clone(nullptr));
  EXPECT_EQ(copy->GetToString(), set->GetToString());
  EXPECT_NE(copy->GetFacts().GetFact(0), a);
  EXPECT_TRUE(copy->GetFacts().GetFact(0)->Equals(a));
  EXPECT_EQ(set->GetFacts().Remove(a), 0);
  EXPECT_EQ(set->GetFacts().Count(), 1);
  EXPECT_THROW(set->GetFacts().GetFact(3), EListError);
}

TEST(FactSet, JoinsAndLeavesItsEngine) {
  auto engine = std::make_unique<TDeducer>();
  auto* owned = new TFactSet(engine.get());
  EXPECT_EQ(owned->GetEngine(), engine.get());
  EXPECT_EQ(engine->FactSets().IndexOf(owned), 0);
  TComponent host;
  auto* hosted = new TFactSet(&host);
  hosted->SetFactSetName("hosted");
  hosted->SetEngine(engine.get());
  EXPECT_EQ(engine->FactSets().IndexOf("hosted"), 1);
  delete owned;
  EXPECT_EQ(engine->FactSets().Count(), 1);
  EXPECT_EQ(engine->FactSets().IndexOf(hosted), 0);
  // The engine goes first: the hosted set forgets it.
  engine.reset();
  EXPECT_EQ(hosted->GetEngine(), nullptr);
}
