// What the parser needs of the engine it reads for: the evaluation context,
// the templates known by name, fresh symbols, and the loader that installs
// or runs each top-level item once it is read. The engine implements it
// (TDeducer: reading in engine/DeducerParse.cpp, the loader in
// engine/DeducerLoader.cpp); the parser reaches its engine only through it,
// so the parser sits below the engine.
#pragma once

#include <string>
#include <string_view>

#include "core/KbInterfaces.h"

namespace kb {

class TComponent;
class TFactSet;
class TRule;
struct TLoadedItem;
struct TParsedItem;

class IParserHost {
 public:
  virtual ~IParserHost() = default;

  // The component that owns the templates, fact sets and rules read.
  virtual TComponent* ParsedOwner() noexcept = 0;
  // The engine as function calls see it: the calls read bind through it.
  virtual IReasoner* ParsedReasoner() noexcept = 0;
  // The context top-level values and calls are evaluated in.
  virtual TKbContext* ParseContext() = 0;
  // Prefix followed by the engine's symbol counter, which then advances
  // (names of anonymous and generated variables).
  virtual std::string ParsedSymbol(const std::string& Prefix) = 0;
  // The template of that name, or nil.
  virtual IFactTemplate ParsedTemplate(std::string_view Name) = 0;
  // A new implied (ordered) template of that name, now the engine's.
  virtual IFactTemplate ImpliedTemplate(const std::string& Name) = 0;

  // Takes a fact set being read (made with ParsedOwner, which lists it)
  // out of the engine's fact sets until it is complete.
  virtual void WithdrawFactSet(TFactSet* FactSet) = 0;

  // The loader. Installs or runs one top-level item as read: each construct
  // as the engine's table takes it (with its policy for duplicates and its
  // messages), a call run and a value looked up, either's result written
  // with its line end on standard output. Answers what the item became.
  virtual TLoadedItem Load(TParsedItem& Item) = 0;
  // Runs a call read (a top-level call, a default computed once) in the
  // engine's context; a "return" in it ends that call only.
  virtual IKbValue RunCall(const IFunCall& Call) = 0;
  // Asserts a fact read, evaluated as the engine evaluates asserted facts.
  virtual void AssertRead(const IFact& Fact) = 0;
};

}  // namespace kb
