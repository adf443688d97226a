#include "core/KbValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/KbContext.h"
#include "core/KbNumber.h"

using namespace kb;

namespace {
std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EKbException& e) {
    return e.Message();
  }
  return "<no error>";
}
}  // namespace

TEST(Value, NewValueIsNone) {
  IKbValue a = NewValue(), b = NewValue();
  EXPECT_EQ(a->GetDType(), dtNone);
  EXPECT_EQ(a->GetToString(), "");
  EXPECT_TRUE(a->Equals(b));
  EXPECT_EQ(a->GetHashCode(), 0);
  EXPECT_EQ(a->GetTag(), 0);
}

TEST(Value, GettersConvertOrRaiseWithTypeName) {
  EXPECT_EQ(NewFloat(-2.9)->GetAsInteger(), -2);
  EXPECT_EQ(NewFloat(2.9)->GetAsFactId(), 3);
  EXPECT_EQ(NewAtom("12")->GetAsInteger(), 12);
  EXPECT_EQ(ErrorOf([] { NewAtom("1.5")->GetAsInteger(); }),
            "Not a integer.  Value Type is dtAtom");
  EXPECT_DOUBLE_EQ(NewString("1.5")->GetAsNumeric(), 1.5);
  EXPECT_EQ(ErrorOf([] { NewVariable("x")->GetAsNumeric(); }),
            "Not a numeric.  Value Type is dtVariable");
  EXPECT_EQ(NewInteger(42)->GetAsString(), "42");
  EXPECT_EQ(NewFloat(0.5)->GetAsString(), "0.5");
  EXPECT_EQ(ErrorOf([] { NewList(NewVector())->GetAsString(); }),
            "Not a string.  Value Type is dtList");
  EXPECT_EQ(ErrorOf([] { NewAtom("x")->GetAsFactId(); }), "Not a fact.  Value Type is dtAtom");
  EXPECT_EQ(ErrorOf([] { NewInteger(1)->GetAsList(); }), "Not a list.  Value Type is dtInteger");
  EXPECT_EQ(ErrorOf([] { NewInteger(1)->GetAsDescriptor(); }),
            "Not a descriptor.  Value Type is dtInteger");
  EXPECT_EQ(ErrorOf([] { NewInteger(1)->GetAsExternalAddress(); }),
            "Not a External Address.  Value Type is dtInteger");
  // A failed conversion leaves the value as it was.
  IKbValue v = NewAtom("abc");
  EXPECT_THROW(v->GetAsInteger(), EKbException);
  EXPECT_EQ(v->GetAsString(), "abc");
  // Out-of-range and NaN floats are no integers: refused, never clamped.
  EXPECT_EQ(NewFloat(9223372036854774784.0)->GetAsInteger(), 9223372036854774784);
  EXPECT_EQ(NewFloat(-9223372036854775808.0)->GetAsInteger(), INT64_MIN);
  EXPECT_EQ(NewFloat(-2147483649.0)->GetAsInteger(), -2147483649);
  for (double f :
       {1e20, -1e20, 9223372036854775808.0, -9223372036854777856.0, std::nan(""), HUGE_VAL}) {
    EXPECT_EQ(ErrorOf([&] { NewFloat(f)->GetAsInteger(); }),
              "Not a integer.  Value Type is dtFloat")
        << f;
    EXPECT_EQ(ErrorOf([&] { NewFloat(f)->GetAsFactId(); }), "Not a fact.  Value Type is dtFloat")
        << f;
  }
  // Fact identifiers are 32-bit: a float or an integer beyond names no fact.
  EXPECT_EQ(ErrorOf([] { NewFloat(2147483648.0)->GetAsFactId(); }),
            "Not a fact.  Value Type is dtFloat");
  EXPECT_EQ(ErrorOf([] { NewInteger(4294967297)->GetAsFactId(); }),
            "Not a fact.  Value Type is dtInteger");
  EXPECT_EQ(NewInteger(INT32_MAX)->GetAsFactId(), INT32_MAX);
}

TEST(Value, IntegersAre64Bit) {
  // The payload widened inside the same 32 bytes.
  static_assert(sizeof(TKbValue) == 32);
  IKbValue v = NewValue();
  v->SetAsInteger(INT64_MIN);
  EXPECT_EQ(v->GetAsInteger(), INT64_MIN);
  EXPECT_EQ(v->IntPayload(), INT64_MIN);
  EXPECT_EQ(v->GetToString(), "-9223372036854775808");
  EXPECT_EQ(NewInteger(INT64_MAX)->GetAsString(), "9223372036854775807");
  EXPECT_EQ(NewInteger(9007199254740993)->GetAsNumeric(), 9007199254740992.0);
  EXPECT_EQ(NewAtom("9223372036854775807")->GetAsInteger(), INT64_MAX);
  EXPECT_EQ(ErrorOf([] { NewAtom("9223372036854775808")->GetAsInteger(); }),
            "Not a integer.  Value Type is dtAtom");
  // Values differing past the 53 bits of a double are different.
  EXPECT_FALSE(NewInteger(9007199254740993)->Equals(NewInteger(9007199254740992)));
  EXPECT_FALSE(NewInteger(9007199254740993)->EqualsStar(NewAtom("9007199254740992")));
  // Numbers compare exactly, an integer with a float too; NaN is unordered.
  auto number = [](const IKbValue& V) { return NumberOf(*V); };
  EXPECT_EQ(CompareNumbers(number(NewInteger(INT64_MAX)), number(NewInteger(INT64_MAX - 1))),
            noGreater);
  EXPECT_EQ(
      CompareNumbers(number(NewInteger(9007199254740993)), number(NewFloat(9007199254740992.0))),
      noGreater);
  EXPECT_EQ(CompareNumbers(number(NewFloat(9223372036854775808.0)), number(NewInteger(INT64_MAX))),
            noGreater);
  EXPECT_EQ(CompareNumbers(number(NewInteger(2)), number(NewFloat(2.0))), noEqual);
  EXPECT_EQ(CompareNumbers(number(NewFloat(1.5)), number(NewAtom("2"))), noLess);
  EXPECT_EQ(CompareNumbers(number(NewFloat(std::nan(""))), number(NewInteger(0))), noUnordered);
  EXPECT_THROW(number(NewAtom("abc")), EKbException);
}

TEST(Value, StrictAndLooseEquality) {
  IKbValue str = NewString("abc"), atom = NewAtom("abc");
  EXPECT_EQ(str->GetToString(), "\"abc\"");
  EXPECT_EQ(atom->GetToString(), "abc");
  EXPECT_FALSE(atom->Equals(str));
  EXPECT_TRUE(atom->EqualsStar(str));
  EXPECT_TRUE(NewAtom("5")->EqualsStar(NewInteger(5)));
  EXPECT_TRUE(NewInteger(1)->EqualsStar(NewFloat(1.7)));
  EXPECT_FALSE(NewFloat(1.7)->EqualsStar(NewInteger(1)));
  EXPECT_TRUE(NewFloat(2.0)->EqualsStar(NewInteger(2)));
  EXPECT_FALSE(NewInteger(1)->Equals(NewFloat(1.0)));
  EXPECT_THROW(NewInteger(1)->EqualsStar(NewAtom("abc")), EKbException);
  EXPECT_TRUE(NewValue()->EqualsStar(NewAtom("x")));
  EXPECT_FALSE(NewAtom("x")->EqualsStar(IKbValue()));
  EXPECT_FALSE(NewAtom("x")->Equals(IKbValue()));
  // Case matters.
  EXPECT_FALSE(NewAtom("A")->Equals(NewAtom("a")));
}

TEST(Value, TextForms) {
  EXPECT_EQ(NewFactId(3)->GetToString(), "<Fact-3>");
  EXPECT_EQ(NewFloat(1e20)->GetToString(), "1E20");
  EXPECT_EQ(NewFloat(0.000001)->GetToString(), "1E-6");
  EXPECT_EQ(NewFloat(100.0)->GetToString(), "100");
  EXPECT_EQ(NewVariable("x")->GetToString(), "?x");
  EXPECT_EQ(NewMultiVariable("x")->GetToString(), "$?x");
  EXPECT_EQ(NewInteger(-5)->GetToString(), "-5");
  EXPECT_EQ(FCNil->GetToString(), "");
  IKbValue d = NewValue();
  d->SetAsDescriptor(4);
  EXPECT_EQ(d->GetToString(), "<UNKNOWN>");
  IKbValue arr = NewValue();
  arr->SetAsIntArray({1, 2});
  EXPECT_EQ(arr->GetToString(), "1 2 ");

  IValueVector v = NewVector();
  v->Add(NewAtom("a"));
  v->Add(NewString("b"));
  v->Add(NewInteger(3));
  EXPECT_EQ(v->GetToString(), "a \"b\" 3");
  IValueVector w = NewVector();
  w->Add(NewList(NewVector()));
  w->Add(NewAtom("x"));
  EXPECT_EQ(w->GetToString(), " x");
  EXPECT_EQ(NewVector()->GetToString(), "");
}

// Equal symbols made one after another share their text, so they compare
// by address; a text outlives the thread whose cache held it, and slots
// that many symbols share still give each its own text.
TEST(Value, SymbolsShareTheirTextAcrossValuesAndThreads) {
  IKbValue a = NewAtom("shared"), b = NewAtom("shared");
  EXPECT_EQ(a->TextPayload(), b->TextPayload());
  EXPECT_TRUE(a->Equals(b.get()));
  IKbValue s = NewString("shared");
  EXPECT_NE(s->TextPayload(), a->TextPayload());
  EXPECT_FALSE(s->Equals(a.get()));
  const std::string longName(100, 'x');
  EXPECT_TRUE(NewAtom(longName)->Equals(NewAtom(longName).get()));

  IKbValue fromThread;
  std::thread([&] { fromThread = NewAtom("made-elsewhere"); }).join();
  EXPECT_EQ(fromThread->GetText(), "made-elsewhere");
  EXPECT_TRUE(fromThread->Equals(NewAtom("made-elsewhere").get()));

  std::vector<IKbValue> many;
  for (int i = 0; i < 5000; ++i) many.push_back(NewAtom("sym" + std::to_string(i)));
  for (int i = 0; i < 5000; ++i)
    ASSERT_EQ(many[static_cast<size_t>(i)]->GetText(), "sym" + std::to_string(i));
}

// Small integers are shared pinned values, each made on first use: threads
// that race for the same ones all get the one value, of the right number,
// and values outside the range are each their own.
TEST(Value, SmallIntegersAreOneSharedValueEvenWhenThreadsRace) {
  constexpr int kThreads = 4;
  std::vector<std::vector<TKbValue*>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&seen, t] {
      for (int64_t i = -128; i <= 1023; ++i) seen[t].push_back(NewInteger(i).get());
    });
  for (std::thread& t : threads) t.join();
  for (int64_t i = -128; i <= 1023; ++i) {
    const size_t at = static_cast<size_t>(i + 128);
    TKbValue* first = seen[0][at];
    ASSERT_EQ(first->GetAsInteger(), i);
    EXPECT_EQ(first->GetRefCount(), 0) << "pinned values do not count";
    for (int t = 1; t < kThreads; ++t) ASSERT_EQ(seen[t][at], first) << i;
    EXPECT_EQ(NewInteger(i).get(), first);
  }
  EXPECT_NE(NewInteger(1024).get(), NewInteger(1024).get());
  EXPECT_NE(NewInteger(-129).get(), NewInteger(-129).get());
  EXPECT_EQ(NewInteger(1024)->GetAsInteger(), 1024);
}

TEST(Value, HashesFollowLooseEqualityForNumbers) {
  EXPECT_EQ(NewFloat(2.9)->GetHashCode(), NewInteger(2)->GetHashCode());
  // Integers of 32 bits hash to themselves; larger ones fold their halves,
  // and floats hash as the integer they truncate to, at the limits too.
  EXPECT_EQ(NewInteger(-5)->GetHashCode(), -5);
  EXPECT_EQ(NewFloat(1099511627776.5)->GetHashCode(), NewInteger(1099511627776)->GetHashCode());
  EXPECT_NE(NewInteger(1099511627776)->GetHashCode(), NewInteger(0)->GetHashCode());
  EXPECT_EQ(NewFloat(1e300)->GetHashCode(), NewInteger(INT64_MAX)->GetHashCode());
  EXPECT_EQ(NewFloat(-1e300)->GetHashCode(), NewInteger(INT64_MIN)->GetHashCode());
  EXPECT_EQ(NewAtom("ab")->GetHashCode(), 97 * 31 + 98);
  // Lists hash their items in order: equal lists alike, a list and its
  // reverse (or another list of the same sum) apart.
  auto list = [](std::initializer_list<int32_t> Items) {
    IValueVector v = NewVector();
    for (int32_t i : Items) v->Add(NewInteger(i));
    return v;
  };
  EXPECT_EQ(list({3, 4})->GetHashCode(), list({3, 4})->GetHashCode());
  EXPECT_EQ(NewList(list({3, 4}))->GetHashCode(), list({3, 4})->GetHashCode());
  EXPECT_NE(list({3, 4})->GetHashCode(), list({4, 3})->GetHashCode());
  EXPECT_NE(list({3, 4})->GetHashCode(), list({2, 5})->GetHashCode());
  EXPECT_NE(list({0})->GetHashCode(), list({0, 0})->GetHashCode());
  IValueVector mixed = NewVector();
  mixed->Add(NewFloat(3.5));
  mixed->Add(NewInteger(4));
  EXPECT_EQ(mixed->GetHashCode(), list({3, 4})->GetHashCode());
}

TEST(Value, CloneIsDeepAppendShares) {
  IValueVector v = NewVector();
  v->Add(NewAtom("a"));
  IKbValue list = NewList(v);
  list->SetTag(9);
  IKbValue copy = list->CloneValue();
  EXPECT_EQ(copy->GetTag(), 9);
  EXPECT_TRUE(copy->Equals(list));
  ASSERT_NE(copy->GetAsList().get(), v.get());
  copy->GetAsList()->Get(0)->SetAsAtom("changed");
  EXPECT_EQ(v->Get(0)->GetAsString(), "a");

  IValueVector w = NewVector();
  w->Append(*v);
  EXPECT_EQ(w->Get(0).get(), v->Get(0).get());

  // The shallow Assign shares the list; AssignTo copies into the target but
  // keeps the target's tag.
  IKbValue shallow = NewValue();
  shallow->Assign(static_cast<const TPersistent*>(list.get()));
  EXPECT_EQ(shallow->GetAsList().get(), v.get());
  IKbValue target = NewValue();
  target->SetTag(4);
  list->AssignTo(target);
  EXPECT_EQ(target->GetTag(), 4);
  EXPECT_TRUE(target->Equals(list));
  EXPECT_NE(target->GetAsList().get(), v.get());
  // Assign from something that is not a value is refused; the target stays.
  IKbValue keep = NewInteger(1);
  EXPECT_THROW(keep->Assign(ICloneable(v)), EInvalidCast);
  EXPECT_EQ(keep->GetAsInteger(), 1);
}

TEST(Value, ResolveVariables) {
  IKbValue var = NewVariable("x");
  EXPECT_EQ(ErrorOf([&] { var->Resolve(nullptr); }),
            "No context found when trying to resolve a dtVariable value");
  TKbContext ctx(nullptr, nullptr);
  EXPECT_EQ(ErrorOf([&] { var->Resolve(&ctx); }), "Corrupted Binding, variable not found: x");
  IKbValue five = NewInteger(5);
  ctx.AddLocalBinding("x", five);
  EXPECT_EQ(var->Resolve(&ctx).get(), five.get());
  IKbValue atom = NewAtom("a");
  EXPECT_EQ(atom->Resolve(nullptr).get(), atom.get());
}

// A frame hint only speeds a lookup up: whatever position it names, the
// variable resolves to what the lookup by name finds.
TEST(Value, FrameHintsNeverChangeWhatAVariableMeans) {
  TKbContext root(nullptr, nullptr);
  root.AddLocalBinding("y", NewAtom("global"));
  std::unique_ptr<TKbContext> ctx = root.PushOwned();
  TBinding x("x", NewInteger(1));
  TBinding y("y", NewInteger(2));
  TBinding unbound("z", 0, "s", NoSubIndex);
  std::vector<TBinding*> frame{&x, &y, &unbound};
  ctx->SetFrame(frame);
  ctx->AddLocalBinding("z", NewInteger(3));
  IKbValue var = NewVariable("y");
  for (uint16_t hint : {0, 1, 2, 3, 4, 900}) {
    var->SetFrameHint(hint);
    EXPECT_EQ(var->Resolve(ctx.get())->GetAsInteger(), 2) << hint;
  }
  // A frame position without a value is not bound: the scope's own
  // binding of that name is.
  IKbValue z = NewVariable("z");
  z->SetFrameHint(3);
  EXPECT_EQ(z->Resolve(ctx.get())->GetAsInteger(), 3);
  // Without the frame the enclosing scope's binding is found.
  ctx->SetFrame({});
  var->SetFrameHint(2);
  EXPECT_EQ(var->Resolve(ctx.get())->GetAsString(), "global");
  // Copies take no hint.
  EXPECT_EQ(var->CloneValue()->GetFrameHint(), 0);
  EXPECT_EQ(var->GetFrameHint(), 2);
}

TEST(ValueVector, EqualityAndIndexErrors) {
  IValueVector a = NewVector(), b = NewVector();
  a->Add(IKbValue());
  b->Add(IKbValue());
  EXPECT_TRUE(a->Equals(b));
  b->Put(0, NewAtom("x"));
  EXPECT_FALSE(a->Equals(b));
  EXPECT_THROW(a->Get(5), EListError);
  EXPECT_FALSE(NewVector()->First());
  EXPECT_EQ(a->Remove(IKbValue(NewAtom("y"))), -1);
}

namespace {
std::string Texts(const TValueItems& Items) {
  std::string r;
  for (const IKbValue& v : Items) r += v ? v->GetAsString() : std::string("-");
  return r;
}
}  // namespace

// Items live in the object up to InlineCount and in a buffer past it;
// every edit must keep them, in order and counted, across that line and
// when the values edited with are items of the same list.
TEST(ValueItems, EditsAcrossTheInlineLimitAndWithItsOwnItems) {
  TValueItems a;
  IKbValue x = NewAtom("x");
  for (const char* t : {"a", "b", "c"}) a.push_back(NewAtom(t));
  EXPECT_EQ(a.capacity(), TValueItems::InlineCount);
  a.push_back(a[0]);  // grows while copying one of its own items
  EXPECT_EQ(Texts(a), "abca");
  a.insert(a.begin() + 1, a.back());
  EXPECT_EQ(Texts(a), "aabca");
  a.insert(a.end(), a.begin(), a.begin() + 3);  // a range of itself
  EXPECT_EQ(Texts(a), "aabcaaab");
  a.erase(a.begin());
  a.erase(a.end() - 1);
  EXPECT_EQ(Texts(a), "abcaaa");
  a.insert(a.begin() + 2, x);
  a.push_back(IKbValue());
  EXPECT_EQ(Texts(a), "abxcaaa-");
  EXPECT_EQ(x->GetRefCount(), 2);

  // Copies and moves, inline and from a buffer.
  TValueItems small(a.begin(), a.begin() + 2);
  TValueItems copy = a;
  EXPECT_EQ(x->GetRefCount(), 3);
  TValueItems moved = std::move(copy);
  EXPECT_TRUE(copy.empty());
  EXPECT_EQ(Texts(moved), "abxcaaa-");
  TValueItems movedSmall = std::move(small);
  EXPECT_TRUE(small.empty());
  EXPECT_EQ(Texts(movedSmall), "ab");
  moved = movedSmall;
  EXPECT_EQ(Texts(moved), "ab");
  EXPECT_EQ(x->GetRefCount(), 2);
  moved = std::move(a);
  EXPECT_EQ(Texts(moved), "abxcaaa-");
  moved.clear();
  EXPECT_EQ(x->GetRefCount(), 1);
  moved.insert(moved.end(), movedSmall.begin(), movedSmall.end());
  moved.pop_back();
  EXPECT_EQ(Texts(moved), "a");

  // A list's items in its fact: Append of itself, Insert and Delete.
  IValueVector list = NewVector();
  for (const char* t : {"p", "q"}) list->Add(NewAtom(t));
  list->Append(*list);
  list->Insert(0, NewAtom("r"));
  list->Delete(2);
  EXPECT_EQ(Texts(list->Items()), "rppq");
}

TEST(ValueHashTable, AssignClonesAndPrints) {
  TValueHashTable t;
  t.Put("x", NewInteger(1));
  t.Put("y", NewString("s"));
  EXPECT_EQ(t.GetToString(), "x = 1\r\ny = \"s\"\r\n");
  TValueHashTable u;
  u.Assign(&t);
  EXPECT_NE(u.Get("x").get(), t.Get("x").get());
  EXPECT_TRUE(u.Get("x")->Equals(t.Get("x")));
  EXPECT_EQ(t.Put("x", NewInteger(2))->GetAsInteger(), 1);
  EXPECT_EQ(t.Remove("y")->GetAsString(), "s");
  EXPECT_FALSE(t.Remove("y"));
}

TEST(Value, SharedConstants) {
  EXPECT_EQ(FCTrue->GetAsString(), "TRUE");
  EXPECT_EQ(FCNil->GetDType(), dtObject);
  EXPECT_EQ(FCNilList->GetAsList()->GetValueCount(), 0);
  EXPECT_EQ(FCEmptyString->GetDType(), dtAtom);
  EXPECT_EQ(FCPI->GetAsFloat(), 3.141592653589793);
  EXPECT_EQ(FCZero->GetAsInteger(), 0);
}
