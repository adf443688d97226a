// The public API as a host sees it: only <deducer/Engine.h>, linked against
// the shared library.
#include <deducer/Engine.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <future>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

using deducer::Engine;
using deducer::Error;
using deducer::Fact;
using deducer::Symbol;
using deducer::Value;

// Runs Body, which must raise deducer::Error, and gives the error.
template <class F>
Error ErrorOf(F&& Body) {
  try {
    Body();
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "no error raised";
  return Error("");
}

bool Contains(const std::string& Text, const std::string& Part) {
  return Text.find(Part) != std::string::npos;
}

// An engine whose output is collected.
struct Host {
  Engine engine;
  std::string out;
  Host() {
    engine.SetOutput([this](std::string_view Channel, std::string_view Text) {
      if (Channel != "t") out += "[" + std::string(Channel) + "]";
      out += Text;
    });
  }
};

constexpr const char* Orders = R"(
  (deftemplate order
    (slot item (type SYMBOL))
    (slot quantity (type INTEGER) (default 1))
    (slot price (type FLOAT))
    (slot note (type STRING))
    (slot ref)
    (multislot tags))
)";

TEST(Api, TypedAssertsReadBackAsTheyWereGiven) {
  Engine engine;
  engine.Load(Orders);
  engine.Reset();
  const Fact f = engine.Assert("order", {{"item", Symbol("bolts")},
                                         {"price", 0.25},
                                         {"note", "rush \"now\""},
                                         {"ref", Value::FactAddress(0)},
                                         {"tags", std::vector<Value>{Symbol("a"), 2, 3.5, "s"}}});
  EXPECT_EQ(f.Template(), "order");
  EXPECT_FALSE(f.IsOrdered());
  EXPECT_EQ(f["item"], Value(Symbol("bolts")));
  EXPECT_EQ(f["item"].GetType(), Value::Type::Symbol);
  EXPECT_EQ(f["quantity"], Value(1));  // the default
  EXPECT_EQ(f["price"].AsFloat(), 0.25);
  EXPECT_EQ(f["note"], Value("rush \"now\""));
  EXPECT_EQ(f["ref"].AsFactId(), 0);
  EXPECT_EQ(f["tags"], Value(std::vector<Value>{Symbol("a"), 2, 3.5, "s"}));
  EXPECT_EQ(f.ToString(),
            "(order (item bolts) (quantity 1) (price 0.25) (note \"rush \\\"now\\\"\") "
            "(ref <Fact-0>) (tags a 2 3.5 \"s\"))");
  std::vector<std::string> names;
  for (const auto& [name, value] : f.Slots()) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::string>{"item", "quantity", "price", "note", "ref", "tags"}));

  // Ordered facts, from values and from text, and finding them again.
  const Fact p = engine.AssertOrdered("point", {1, -2.5, Symbol("x"), "y", true});
  EXPECT_TRUE(p.IsOrdered());
  EXPECT_TRUE(p.Slots().empty());
  EXPECT_EQ(p.Fields(), (std::vector<Value>{1, -2.5, Symbol("x"), "y", Symbol("TRUE")}));
  const Fact q = engine.Assert("(point 3 4)");
  EXPECT_EQ(q.Fields(), (std::vector<Value>{3, 4}));
  ASSERT_EQ(engine.Facts("point").size(), 2u);
  EXPECT_EQ(engine.Facts("point")[1].Id(), q.Id());
  EXPECT_EQ(engine.Facts().size(), 4u);  // with the initial fact
  ASSERT_TRUE(engine.FindFact(f.Id()));
  EXPECT_EQ(engine.FindFact(f.Id())->ToString(), f.ToString());
  EXPECT_FALSE(engine.FindFact(999));
  EXPECT_FALSE(engine.FindFact(-1));

  // An equal fact is not asserted twice: the one there is returned.
  const Fact again = engine.AssertOrdered("point", {3, 4});
  EXPECT_EQ(again.Id(), q.Id());
  EXPECT_EQ(engine.Facts().size(), 4u);

  // Integers have 64 bits and are never cut short.
  EXPECT_EQ(engine.AssertOrdered("big", {INT64_MIN, INT64_MAX}).Fields(),
            (std::vector<Value>{INT64_MIN, INT64_MAX}));

  // What a fact read from text may not hold, typed values may not either;
  // nothing is asserted then.
  EXPECT_TRUE(Contains(ErrorOf([&] {
                         engine.Assert("order", {{"quantity", "many"}});
                       }).what(),
                       "Not a INTEGER"));
  EXPECT_TRUE(Contains(ErrorOf([&] { engine.Assert("order", {{"item", 3}}); }).what(), "Not a"));
  EXPECT_STREQ(ErrorOf([&] {
                 engine.Assert("order", {{"colour", 1}});
               }).what(),
               "No such slot name: \"colour\"");
  EXPECT_STREQ(ErrorOf([&] {
                 engine.Assert("order", {{"item", std::vector<Value>{1, 2}}});
               }).what(),
               "Slot \"item\" is not a multislot");
  EXPECT_STREQ(ErrorOf([&] {
                 engine.Assert("nothing", {{"a", 1}});
               }).what(),
               "Unknown fact template: nothing");
  EXPECT_STREQ(ErrorOf([&] {
                 engine.Assert("point", {{"a", 1}});
               }).what(),
               "Fact template point is ordered: its facts have no slots");
  EXPECT_STREQ(ErrorOf([&] { engine.AssertOrdered("order", {1}); }).what(),
               "Fact template order has slots: its facts are not ordered");
  EXPECT_TRUE(Contains(ErrorOf([&] { engine.AssertOrdered("a b", {1}); }).what(), "a b"));
  EXPECT_EQ(engine.Facts().size(), 5u);

  // Value's accessors check the type.
  EXPECT_STREQ(ErrorOf([] { (void)Value("x").AsInteger(); }).what(),
               "Not an integer value: the value is a string");
  EXPECT_EQ(Value(2).AsFloat(), 2.0);
  EXPECT_EQ(Value(std::vector<Value>{1, "a", Symbol("b")}).ToString(), "(1 \"a\" b)");
}

TEST(Api, ModifyThroughTheApiRefiresARuleWhoseMatchChanged) {
  Host host;
  Engine& engine = host.engine;
  engine.Load(Orders);
  engine.Load(R"(
    (defrule large
      (order (item ?i) (quantity ?q&:(> ?q 10)))
      =>
      (printout t "large " ?i " " ?q crlf)))");
  engine.Reset();
  const Fact small = engine.Assert("order", {{"item", Symbol("nuts")}, {"quantity", 5}});
  EXPECT_EQ(engine.Run(), 0);

  const Fact large = engine.Modify(small, {{"quantity", 20}});
  EXPECT_NE(large.Id(), small.Id());
  EXPECT_EQ(large["quantity"], Value(20));
  EXPECT_EQ(large["item"], Value(Symbol("nuts")));
  EXPECT_FALSE(engine.FindFact(small.Id()));
  EXPECT_EQ(engine.Run(), 1);
  // The rule fired for this match; a new change makes a new match, which
  // must fire again.
  const Fact larger = engine.Modify(large.Id(), {{"quantity", 30}});
  EXPECT_EQ(engine.Run(), 1);
  EXPECT_EQ(host.out, "large nuts 20\nlarge nuts 30\n");

  // A failed modify changes nothing.
  EXPECT_TRUE(Contains(ErrorOf([&] {
                         engine.Modify(larger, {{"quantity", 1.5}});
                       }).what(),
                       "Not a INTEGER"));
  EXPECT_STREQ(ErrorOf([&] {
                 engine.Modify(larger, {{"colour", 1}});
               }).what(),
               "No such slot name: \"colour\"");
  EXPECT_STREQ(ErrorOf([&] {
                 engine.Modify(small, {{"quantity", 1}});
               }).what(),
               ("No Such Fact with ID=" + std::to_string(small.Id()) + " exists").c_str());
  ASSERT_TRUE(engine.FindFact(larger.Id()));
  EXPECT_EQ(engine.FindFact(larger.Id())->ToString(), larger.ToString());
  EXPECT_EQ(engine.Run(), 0);

  // Modified into a fact that is there already: that fact is the result.
  const Fact other = engine.Assert("order", {{"item", Symbol("bolts")}});
  const Fact same = engine.Modify(other, {{"item", Symbol("nuts")}, {"quantity", 30}});
  EXPECT_EQ(same.Id(), larger.Id());

  EXPECT_TRUE(engine.Retract(larger));
  EXPECT_FALSE(engine.Retract(larger));
  EXPECT_FALSE(engine.Retract(12345));
  EXPECT_TRUE(engine.Facts("order").empty());
}

// A snapshot has no operation that changes anything: it is made by the
// engine only, and what it gives is const.
static_assert(!std::is_default_constructible_v<Fact>);
static_assert(std::is_same_v<decltype(std::declval<Fact&>().Get("x")), const Value&>);
static_assert(std::is_same_v<decltype(std::declval<Fact&>()["x"]), const Value&>);
static_assert(std::is_same_v<decltype(std::declval<Fact&>().Slots()),
                             const std::vector<std::pair<std::string, Value>>&>);
static_assert(std::is_same_v<decltype(std::declval<Fact&>().Fields()), const std::vector<Value>&>);

TEST(Api, SnapshotsKeepTheirValuesAndCannotChangeWorkingMemory) {
  Engine engine;
  engine.Load(Orders);
  engine.Reset();
  const Fact before = engine.Assert("order", {{"item", Symbol("nuts")}, {"quantity", 5}});
  const std::string text = before.ToString();
  Fact copy = before;
  const Fact after = engine.Modify(before, {{"quantity", 7}});
  EXPECT_EQ(before["quantity"], Value(5));
  EXPECT_EQ(before.ToString(), text);
  // Assigning a snapshot changes the snapshot only.
  copy = after;
  EXPECT_EQ(copy["quantity"], Value(7));
  EXPECT_EQ(before["quantity"], Value(5));
  ASSERT_EQ(engine.Facts("order").size(), 1u);
  EXPECT_EQ(engine.Facts("order")[0].Id(), after.Id());
  engine.Retract(after);
  EXPECT_EQ(after["quantity"], Value(7));
  EXPECT_EQ(after.Id(), copy.Id());
  EXPECT_TRUE(engine.Facts("order").empty());
  EXPECT_STREQ(ErrorOf([&] { (void)after.Get("colour"); }).what(), "No such slot name: \"colour\"");
}

TEST(Api, HostFunctionsTakeTypedArguments) {
  Host host;
  Engine& engine = host.engine;
  engine.AddFunction("scale", [](int64_t N, double F) { return static_cast<double>(N) * F; });
  engine.AddFunction("label", [](const std::string& Text, Symbol S, bool Flag) {
    return Symbol(Text + "-" + S.Name + (Flag ? "-yes" : "-no"));
  });
  engine.AddFunction(
      "count", [](const std::vector<Value>& Items) { return static_cast<int64_t>(Items.size()); });
  engine.AddFunction("same", [](Value V) { return V; });
  int64_t seen = 0;
  engine.AddFunction("note", [&seen](int64_t N) { seen += N; });
  engine.AddFunction("fail", []() -> int64_t { throw std::runtime_error("out of stock"); });
  engine.AddFunction(
      "half", +[](double X) { return X / 2; });

  EXPECT_EQ(engine.Eval("(scale 3 1.5)"), Value(4.5));
  EXPECT_EQ(engine.Eval("(scale 3 2)"), Value(6.0));
  EXPECT_EQ(engine.Eval("(label \"a\" b FALSE)"), Value(Symbol("a-b-no")));
  EXPECT_EQ(engine.Eval("(label c d 0)"), Value(Symbol("c-d-yes")));
  EXPECT_EQ(engine.Eval("(count (create$ 1 2 3))"), Value(3));
  EXPECT_EQ(engine.Eval("(same (create$ a \"b\"))"), Value(std::vector<Value>{Symbol("a"), "b"}));
  EXPECT_EQ(engine.Eval("(same 2.5)"), Value(2.5));
  EXPECT_TRUE(engine.Eval("(note 4)").IsVoid());
  EXPECT_EQ(seen, 4);
  EXPECT_EQ(engine.Eval("(half 5)"), Value(2.5));

  // Called by rules, with the values a match bound.
  engine.Load(R"(
    (defrule scaled (amount ?n) => (printout t (scale ?n 0.5) " " (label x y TRUE) crlf)))");
  engine.Reset();
  engine.AssertOrdered("amount", {10});
  EXPECT_EQ(engine.Run(), 1);
  EXPECT_EQ(host.out, "5 x-y-yes\n");

  // The engine checks arguments as it does for its own functions.
  EXPECT_TRUE(
      Contains(ErrorOf([&] { engine.Eval("(scale 1)"); }).what(), "Too few arguments for scale"));
  EXPECT_TRUE(Contains(ErrorOf([&] { engine.Eval("(scale 1 2 3)"); }).what(),
                       "Too many arguments for scale"));
  EXPECT_TRUE(Contains(ErrorOf([&] { engine.Eval("(scale a 2)"); }).what(),
                       "Not a integer.  Value Type is dtAtom"));
  EXPECT_TRUE(Contains(ErrorOf([&] { engine.Eval("(scale 1.5 2)"); }).what(),
                       "Not a integer.  Value Type is dtFloat"));
  EXPECT_TRUE(Contains(ErrorOf([&] { engine.Eval("(scale 1 \"2\")"); }).what(),
                       "Expected numeric argument to scale function call"));
  EXPECT_TRUE(Contains(ErrorOf([&] { engine.Eval("(label 1 b TRUE)"); }).what(),
                       "Not a string.  Value Type is dtInteger"));
  EXPECT_TRUE(Contains(ErrorOf([&] { engine.Eval("(label a \"b\" TRUE)"); }).what(),
                       "Not a symbol.  Value Type is dtString"));
  EXPECT_TRUE(Contains(ErrorOf([&] { engine.Eval("(count 1)"); }).what(),
                       "Not a list.  Value Type is dtInteger"));
  EXPECT_EQ(seen, 4);
  // What the callable raises fails the call, and the language can catch it.
  EXPECT_TRUE(Contains(ErrorOf([&] { engine.Eval("(fail)"); }).what(), "out of stock"));

  // Host functions stay through Clear; a name must be a plain symbol.
  engine.Clear();
  EXPECT_EQ(engine.Eval("(scale 2 2.0)"), Value(4.0));
  EXPECT_TRUE(
      Contains(ErrorOf([&] { engine.AddFunction("two words", [] {}); }).what(), "two words"));
}

TEST(Api, VariadicHostFunctionsTakeAnyArgumentsWithinTheirCounts) {
  Engine engine;
  std::vector<Value> seen;
  engine.AddVariadicFunction("collect", [&seen](const std::vector<Value>& Args) {
    seen = Args;
    return static_cast<int64_t>(Args.size());
  });
  engine.AddVariadicFunction(
      "pair", [](const std::vector<Value>& Args) { return Args; }, 1, 2);
  engine.AddVariadicFunction("nothing", [](const std::vector<Value>&) {});

  EXPECT_EQ(engine.Eval("(collect)"), Value(0));
  EXPECT_TRUE(seen.empty());
  // Every type arrives as it is, a multifield as one argument.
  EXPECT_EQ(engine.Eval("(collect 1 2.5 red \"s\" (create$ a 2))"), Value(5));
  EXPECT_EQ(seen,
            (std::vector<Value>{1, 2.5, Symbol("red"), "s", std::vector<Value>{Symbol("a"), 2}}));
  EXPECT_EQ(engine.Eval("(pair x)"), Value(std::vector<Value>{Symbol("x")}));
  // nil, what a slot without a value and a call returning nothing hold,
  // arrives as Void and goes back as nil.
  EXPECT_EQ(engine.Eval("(collect (printout t))"), Value(1));
  EXPECT_TRUE(seen.at(0).IsVoid());
  engine.Load(Orders);
  EXPECT_TRUE(engine.Assert("order", {{"item", Symbol("nuts")}})["ref"].IsVoid());
  // One value for a multislot is a multifield of one, as in text: a rule
  // matching the multislot sees it.
  engine.Load("(defrule tagged (order (tags ?first $?)) => (collect ?first))");
  const Fact tagged = engine.Assert("order", {{"tags", "one"}});
  EXPECT_EQ(tagged["tags"], Value(std::vector<Value>{"one"}));
  EXPECT_EQ(tagged.ToString(), engine.Assert(R"((order (tags "one")))").ToString());
  EXPECT_EQ(engine.Run(), 1);
  EXPECT_EQ(seen, (std::vector<Value>{"one"}));
  EXPECT_EQ(engine.Eval("(pair x 1)"), Value(std::vector<Value>{Symbol("x"), 1}));
  EXPECT_TRUE(engine.Eval("(nothing 1 2 3)").IsVoid());
  EXPECT_TRUE(
      Contains(ErrorOf([&] { engine.Eval("(pair)"); }).what(), "Too few arguments for pair"));
  EXPECT_TRUE(Contains(ErrorOf([&] { engine.Eval("(pair 1 2 3)"); }).what(),
                       "Too many arguments for pair"));
  // Counts that admit no call are refused when the function is added.
  EXPECT_TRUE(Contains(ErrorOf([&] {
                         engine.AddVariadicFunction(
                             "never", [](const std::vector<Value>&) {}, 3, 1);
                       }).what(),
                       "never"));
  EXPECT_TRUE(Contains(ErrorOf([&] { engine.Eval("(never 1 2)"); }).what(), "never"));
}

TEST(Api, FactsGoToJsonAndComeBackEqual) {
  Engine engine;
  engine.Load(Orders);
  engine.Reset();
  engine.Assert("order", {{"item", Symbol("bolts")},
                          {"price", 1.0},
                          {"note", "a \"note\""},
                          {"tags", std::vector<Value>{Symbol("x"), 2, "y"}}});
  engine.AssertOrdered("point", {1, 2.5, Symbol("z")});
  const std::vector<Fact> before = engine.Facts();
  const std::string json = engine.FactsJson();
  EXPECT_TRUE(Contains(json, "\"template\": \"order\"")) << json;

  engine.Reset();
  EXPECT_EQ(engine.LoadFactsJson(json), static_cast<int64_t>(before.size()) - 1);
  const std::vector<Fact> after = engine.Facts();
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].ToString(), before[i].ToString());

  // Malformed JSON names its position and asserts nothing.
  const Error bad = ErrorOf(
      [&] { engine.LoadFactsJson(R"([{"template": "point", "values": [3]}, {"template": )"); });
  EXPECT_TRUE(Contains(bad.what(), "JSON")) << bad.what();
  EXPECT_EQ(engine.Facts().size(), before.size());
  // A fact address has no JSON form: nothing is written.
  engine.Assert("order", {{"ref", Value::FactAddress(0)}});
  EXPECT_THROW((void)engine.FactsJson(), Error);
}

TEST(Api, OutputGoesToTheHostWithPlainLineEnds) {
  Host host;
  host.engine.Eval("(printout t \"one\" crlf \"two\" crlf)");
  host.engine.Eval("(printout audit \"to the log\" crlf)");
  EXPECT_EQ(host.out, "one\ntwo\n[audit]to the log\n");

  // Without a callback, standard output.
  Engine engine;
  testing::internal::CaptureStdout();
  engine.Eval("(printout t \"hello\" crlf)");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "hello\n");
}

TEST(Api, ErrorsCarryTheEngineMessageAndTheLine) {
  Engine engine;
  const Error parse = ErrorOf([&] {
    engine.Load("(deftemplate a (slot x))\n\n(deftemplate b (slot 42))\n(deftemplate c)\n");
  });
  EXPECT_EQ(parse.Line(), 3);
  EXPECT_TRUE(Contains(parse.what(), "line 3")) << parse.what();
  // What was read before the error stays.
  EXPECT_EQ(engine.Assert("(a (x 1))")["x"], Value(1));

  const Error bad = ErrorOf([&] { engine.Assert("(a (x 1)"); });
  EXPECT_GE(bad.Line(), 1);

  // Errors that are not in text have no line.
  const Error run = ErrorOf([&] {
    engine.Load("(defrule divide (a (x ?x)) => (printout t (div 1 0) crlf))");
    engine.Run();
  });
  EXPECT_EQ(run.Line(), 0);
  EXPECT_TRUE(Contains(run.what(), "Division by zero")) << run.what();
  EXPECT_TRUE(
      Contains(ErrorOf([&] { engine.Eval("(no-such-function 1)"); }).what(), "no-such-function"));
  EXPECT_TRUE(Contains(ErrorOf([&] { engine.LoadFile("/nonexistent/rules.clp"); }).what(),
                       "/nonexistent/rules.clp"));
  // deducer::Error is a standard exception.
  try {
    engine.Eval("(div 1 0)");
    ADD_FAILURE();
  } catch (const std::exception& e) {
    EXPECT_TRUE(Contains(e.what(), "Division by zero"));
  }

  // Globals and constants evaluate too.
  engine.Load("(defglobal ?*limit* = 500)");
  EXPECT_EQ(engine.Eval("?*limit*"), Value(500));
  EXPECT_EQ(engine.Eval("\"text\""), Value("text"));
}

constexpr const char* Spin = R"(
  (defrule spin ?f <- (tick ?n) => (retract ?f) (assert (tick (+ ?n 1))) (ticked ?n)))";

TEST(Api, AHostFunctionHaltsARuleThatLoopsForever) {
  Engine engine;
  engine.AddFunction("ticked", [&engine](int64_t N) {
    if (N == 100) engine.Halt();
  });
  engine.Load(Spin);
  engine.Reset();
  engine.AssertOrdered("tick", {0});
  EXPECT_EQ(engine.Run(), 101);
  ASSERT_EQ(engine.Facts("tick").size(), 1u);
  EXPECT_EQ(engine.Facts("tick")[0].Fields()[0], Value(101));
  // A halt stops that run only.
  EXPECT_EQ(engine.Run(5), 5);
}

TEST(Api, HaltFromAnotherThreadStopsARun) {
  Engine engine;
  std::promise<void> running;
  bool first = true;
  engine.AddFunction("ticked", [&](int64_t) {
    if (first) running.set_value();
    first = false;
  });
  engine.Load(Spin);
  engine.Reset();
  engine.AssertOrdered("tick", {0});
  std::thread halter([&engine, started = running.get_future()]() mutable {
    started.wait();
    engine.Halt();
  });
  const int64_t fired = engine.Run();
  halter.join();
  EXPECT_GE(fired, 1);
  EXPECT_EQ(engine.Facts("tick")[0].Fields()[0], Value(fired));
}

TEST(Api, EnginesAreIndependentMovableAndRunOnSeveralThreads) {
  auto session = [](int64_t Seed) {
    Host host;
    host.engine.Load("(defrule double (n ?x&:(< ?x 1000)) => (assert (n (* ?x 2))))");
    host.engine.Load("(defrule show (n ?x&:(>= ?x 1000)) => (printout t ?x crlf))");
    host.engine.Reset();
    host.engine.AssertOrdered("n", {Seed});
    host.engine.Run();
    return host.out;
  };
  std::string results[4];
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) threads.emplace_back([&, i] { results[i] = session(i + 1); });
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < 4; ++i) EXPECT_EQ(results[i], session(i + 1));
  EXPECT_EQ(results[2], "1536\n");

  // A moved engine keeps its knowledge, functions and output.
  std::string out;
  Engine first;
  first.SetOutput([&out](std::string_view, std::string_view Text) { out += Text; });
  first.AddFunction("twice", [](int64_t N) { return 2 * N; });
  first.AssertOrdered("kept", {1});
  Engine second(std::move(first));
  Engine third;
  third = std::move(second);
  EXPECT_EQ(third.Facts("kept").size(), 1u);
  third.Eval("(printout t (twice 21) crlf)");
  EXPECT_EQ(out, "42\n");
  EXPECT_TRUE(Engine().Facts("kept").empty());
  // What was moved from says so, and may be given a new engine.
  EXPECT_STREQ(ErrorOf([&] { (void)first.Facts(); }).what(),
               "The engine was moved to another Engine object");
  first.Halt();
  first = Engine();
  EXPECT_EQ(first.Facts().size(), 1u);
}

}  // namespace
