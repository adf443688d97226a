// A host program embedding the engine through its public API: rules from a
// file, typed and text facts, a host function, captured output, a firing
// limit, modify and retract, reading facts back, evaluation and errors.
// It builds against an installed library, through CMake (CMakeLists.txt
// here) or pkg-config, and takes the path of orders.clp:
//   g++ -std=c++20 main.cpp $(pkg-config --cflags --libs deducer)
//   ./a.out orders.clp
#include <deducer/Engine.h>
#include <deducer/Version.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  using deducer::Symbol;
  deducer::Engine engine;
  // What the rules print arrives here, with the logical name it went to.
  engine.SetOutput([](std::string_view Channel, std::string_view Text) {
    std::printf("%.*s| %.*s", int(Channel.size()), Channel.data(), int(Text.size()), Text.data());
  });
  // A host function the rules call with typed arguments.
  engine.AddFunction("approve", [](int64_t Cents, int64_t Limit, const std::string& Customer) {
    return Symbol(Cents <= Limit || Customer == "acme" ? "approved" : "review");
  });
  try {
    engine.LoadFile(argc > 1 ? argv[1] : "orders.clp");
    engine.Reset();
    engine.AssertOrdered("limit", {5'000'000});
    engine.Assert("order", {{"customer", "acme"}, {"cents", 9'000'000}});
    engine.Assert("order", {{"customer", "bob"}, {"cents", 7'500'000}});
    engine.Assert(R"((order (customer "carol") (cents 1200)))");
    std::printf("fired %lld of at most 4\n", static_cast<long long>(engine.Run(4)));
    std::printf("fired %lld more\n", static_cast<long long>(engine.Run()));
    // The host approves what waits for review (the rule reports it again)
    // and withdraws carol's order.
    for (const deducer::Fact& f : engine.Facts("order")) {
      if (f["state"] == deducer::Value(Symbol("review")))
        engine.Modify(f, {{"state", Symbol("approved")}});
      else if (f["customer"].AsText() == "carol")
        engine.Retract(f);
    }
    engine.Run();
    for (const deducer::Fact& f : engine.Facts("order"))
      std::printf("f-%lld %s\n", static_cast<long long>(f.Id()), f.ToString().c_str());
    std::printf("approve: %s\n",
                engine.Eval(R"((approve 6000000 5000000 "dan"))").ToString().c_str());
  } catch (const deducer::Error& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
  // Errors carry the engine's message and, for text, the line.
  try {
    engine.Eval("(approve 1 2)");
  } catch (const deducer::Error& e) {
    std::printf("%s\n", e.what());
  }
  try {
    engine.Load("(deftemplate ok (slot a))\n(deftemplate bad (slot 42))");
  } catch (const deducer::Error& e) {
    std::printf("error on line %d\n", e.Line());
  }
  std::printf("library %s, headers %s\n", deducer::LibraryVersion(), DEDUCER_VERSION_STRING);
  return 0;
}
