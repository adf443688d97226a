// Deducer, an embeddable forward-chaining rule engine: the public API.
//
// A host includes this one header and links the library kbcore (CMake:
// find_package(Deducer) and the target Deducer::kbcore; pkg-config:
// deducer). It creates an Engine, gives it rules and templates as text in
// the CLIPS rule language, asserts facts (from text or typed values), runs
// the rules and reads the facts back:
//
//   deducer::Engine engine;
//   engine.Load("(deftemplate order (slot total (type INTEGER)))");
//   engine.Reset();
//   engine.Assert("order", {{"total", 125000}});
//   engine.Run();
//
// Values: Value is a small self-contained value type (void, integer,
// float, symbol, string, fact address, multifield). Facts read from an
// engine are snapshots (Fact): copies of what a fact held when it was read,
// which stay as they are whatever happens to working memory, and through
// which nothing in working memory can change. Working memory changes only
// through the engine: Assert, Modify (retracts the fact and asserts it with
// the changed slots, as the language's "modify" does, so that rules match
// the new values) and Retract.
//
// Errors: every failure raises deducer::Error, with the engine's message
// and, for errors in text the engine read, the line.
//
// Threads: an engine, and everything it returns, is used by one thread at
// a time. Engines are independent: several engines may run on several
// threads at once, and an engine may be moved to another thread between
// calls (the host orders the hand-over, for example with a mutex or a
// join). Halt() alone may be called from any thread at any time, also
// while another thread runs the engine.
//
// Lines the engine writes end in "\n".
//
// The values and fact snapshots are declared in deducer/Value.h, the
// wrapping of host functions in deducer/HostFunction.h; both come with
// this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "Export.h"        // beside this header
#include "HostFunction.h"  // how host callables become functions
#include "Value.h"         // values, fact snapshots, Error

namespace deducer {

// The version of the library linked, "major.minor.patch" (the headers'
// own is DEDUCER_VERSION_STRING in deducer/Version.h).
DEDUCER_API const char* LibraryVersion() noexcept;

// A rule engine: its templates, rules, functions, working memory and
// agenda. A new engine has the built-in functions and holds the initial
// fact; Reset() starts a session over. Not copyable (an engine is a whole
// knowledge base); movable.
class DEDUCER_API Engine {
 public:
  Engine();
  ~Engine();
  // A moved-from engine may be assigned to or destroyed; anything else
  // raises Error.
  Engine(Engine&&) noexcept;
  Engine& operator=(Engine&&) noexcept;
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Reads constructs (deftemplate, defrule, deffacts, deffunction,
  // defglobal) and runs the top-level calls of Text, in order. On an
  // error, what was read before it stays.
  void Load(std::string_view Text);
  // The same for the contents of a file.
  void LoadFile(const std::string& Path);
  // The value of one call, "(+ 1 2)", or of a constant or global
  // variable, "?*limit*". Void when the call returns nothing.
  Value Eval(std::string_view Expression);

  // Asserts a fact written in the language, "(order (item bolts))" or
  // "(point 1 2)", and returns it as asserted. When an equal fact is in
  // working memory already (and duplicates are not allowed, the default),
  // nothing is asserted and that fact is returned.
  Fact Assert(std::string_view FactText);
  // Asserts a fact of a defined template from slot values; slots not
  // given take their defaults. Slot types are checked as for a fact read
  // from text; a multislot takes a multifield (or one value).
  Fact Assert(std::string_view Template, const SlotValues& Slots);
  // Asserts an ordered fact, (Relation Fields...).
  Fact AssertOrdered(std::string_view Relation, const std::vector<Value>& Fields);
  // Retracts the fact; false when it is not in working memory.
  bool Retract(int64_t FactId);
  bool Retract(const Fact& F) { return Retract(F.Id()); }
  // Changes the slots named in Changes of the fact in working memory, as
  // the language's "modify" does: the fact is retracted and asserted again
  // with a new identifier, and the rules match it anew. Returns the fact
  // now in working memory (an equal fact already there, when there was
  // one). Nothing changes when it fails; Error when there is no such fact.
  Fact Modify(int64_t FactId, const SlotValues& Changes);
  Fact Modify(const Fact& F, const SlotValues& Changes) { return Modify(F.Id(), Changes); }

  // Fires rules until the agenda is empty, Halt() is called, a rule calls
  // (halt), or Limit rules have fired (a negative Limit: no limit).
  // Returns the number of rules fired. An error raised by a rule's actions
  // ends the run and is raised here.
  int64_t Run(int64_t Limit = -1);
  // Stops the run in progress after the rule firing now. May be called
  // from any thread (and from a host function during the run); a run that
  // starts afterwards is not affected.
  void Halt() noexcept;
  // Working memory emptied, then the initial fact, the globals' initial
  // values and the deffacts' facts.
  void Reset();
  // Everything removed: templates, rules, facts, deffunctions, globals.
  // Host functions and the output stay.
  void Clear();

  // Snapshots of the facts in working memory, in the order they were
  // asserted; all of them, or those of one template.
  std::vector<Fact> Facts() const;
  std::vector<Fact> Facts(std::string_view Template) const;
  // The fact with that identifier, when it is in working memory.
  std::optional<Fact> FindFact(int64_t FactId) const;

  // The facts in working memory as JSON: an array with one object per
  // fact, {"template": "order", "slots": {...}} or, for an ordered fact,
  // {"template": "point", "values": [...]}. Error, and nothing written,
  // when a fact holds a value with no JSON form (a fact address).
  std::string FactsJson() const;
  void SaveFactsJson(const std::string& Path) const;
  // Asserts the facts of such a JSON text, or file; returns how many were
  // asserted (an equal fact already there is not asserted again). Every
  // fact is checked before any is asserted: on an error (malformed JSON,
  // with its position; an unknown template or slot; a wrong type) nothing
  // is asserted.
  int64_t LoadFactsJson(std::string_view Json);
  int64_t LoadFactsJsonFile(const std::string& Path);

  // Makes a C++ callable a function of the language under Name: rules and
  // calls use it as (Name arg...). The callable's parameters are each
  // int64_t, double, bool, std::string, deducer::Symbol, deducer::Value or
  // std::vector<deducer::Value> (a multifield), by value or const
  // reference; it returns one of these, or nothing. A call with the wrong
  // number of arguments, or an argument of the wrong type, fails with the
  // engine's usual argument error before the callable runs; an exception
  // the callable raises fails the call with its message. Replaces the
  // function of that name the engine had.
  template <class F>
  void AddFunction(std::string_view Name, F Function) {
    AddHostFunction(Name, std::make_unique<detail::HostFunctionOf<F>>(std::move(Function)));
  }

  // The same for a callable that takes any number of arguments of any
  // type, as Value(const std::vector<deducer::Value>& Args) (or returning
  // another type Value converts from, or nothing): a call with fewer than
  // MinArgs or more than MaxArgs arguments (a negative MaxArgs: no upper
  // bound) fails with the engine's usual argument error before the
  // callable runs. Multifield arguments arrive as multifields.
  template <class F>
  void AddVariadicFunction(std::string_view Name, F Function, int MinArgs = 0, int MaxArgs = -1) {
    AddHostFunction(Name, std::make_unique<detail::VariadicFunctionOf<F>>(std::move(Function),
                                                                          MinArgs, MaxArgs));
  }

  // Where the engine's output goes (printout, format, watches): Callback
  // gets the logical name ("t" for standard output) and the text, as
  // void(std::string_view Channel, std::string_view Text). The default
  // writes to the process's standard output.
  template <class F>
  void SetOutput(F Callback) {
    SetOutputSink(std::make_unique<detail::OutputSinkOf<F>>(std::move(Callback)));
  }

 private:
  struct Impl;
  Impl& Self() const;
  void AddHostFunction(std::string_view Name, std::unique_ptr<detail::HostFunction> Function);
  void SetOutputSink(std::unique_ptr<detail::OutputSink> Sink);

  std::unique_ptr<Impl> Impl_;
};

}  // namespace deducer
