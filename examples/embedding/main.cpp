// A host program embedding the engine: it defines a template and a rule
// from text, asserts facts, runs the rules and prints what they wrote. It
// builds against an installed library, through CMake (CMakeLists.txt here)
// or pkg-config:
//   g++ -std=c++20 main.cpp $(pkg-config --cflags --libs deducer)
#include <cstdio>
#include <string>

#include "KbVersion.h"
#include "engine/Deducer.h"
#include "parser/KbParser.h"

int main() {
  kb::TDeducer engine;
  // What the rules print arrives here; the engine ends lines with CR LF.
  engine.OnPrintOut = [](kb::TPersistent*, const std::string&, const std::string& Text) {
    for (char c : Text)
      if (c != '\r') std::putchar(c);
  };
  try {
    engine.Parse(R"(
      (deftemplate order (slot item) (slot quantity (type INTEGER)) (slot price))
      (defrule large-order
        (order (item ?item) (quantity ?q&:(>= ?q 10)) (price ?p))
        =>
        (printout t ?item ": " ?q " at " ?p ", total " (* ?q ?p 0.9) " after discount" crlf))
    )");
    engine.Reset();
    engine.Assert("(order (item bolts) (quantity 40) (price 0.3))");
    engine.Assert("(order (item gears) (quantity 3) (price 12.5))");
    engine.Assert("(order (item nuts) (quantity 100) (price 0.15))");
    const int fired = engine.Run();
    std::printf("rules fired: %d\n", fired);
  } catch (const kb::Exception& e) {
    std::fprintf(stderr, "error: %s\n", e.Message().c_str());
    return 1;
  }

  // The engine's errors are exceptions the host catches by type.
  try {
    engine.Parse("(defrule unfinished (order) =>");
    std::puts("unfinished rule accepted");
  } catch (const kb::EKbParseException& e) {
    std::printf("parse error on line %d\n", e.GetLineNumber());
  }

  std::printf("library %s, headers %s\n", kb::LibraryVersion(), KB_VERSION_STRING);
  return 0;
}
