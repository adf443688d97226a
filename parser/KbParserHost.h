// What the parser needs of the engine it reads for: the evaluation context,
// the templates known by name, fresh symbols, and the installation of each
// construct as it is complete. The engine implements it (TDeducer, in
// engine/DeducerParse.cpp); the parser reaches its engine only through it,
// so the parser sits below the engine.
#pragma once

#include <string>
#include <string_view>

#include "core/KbInterfaces.h"

namespace kb {

class TComponent;
class TFactSet;
class TRule;

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

  // Installs what was read, each as the engine's table takes it (with its
  // policy for duplicates and its messages).
  virtual void InstallFunction(const IInterpretedFunction& Function) = 0;
  virtual void InstallGlobal(const std::string& Name, const IKbValue& Value) = 0;
  virtual void InstallTemplate(const IFactTemplate& Template) = 0;
  // False when the engine kept another fact set of that name (an ignored
  // duplicate): the caller still owns FactSet.
  virtual bool InstallFactSet(TFactSet* FactSet) = 0;
  // Takes a fact set being read (made with ParsedOwner, which lists it)
  // out of the engine's fact sets until it is complete.
  virtual void WithdrawFactSet(TFactSet* FactSet) = 0;
  // False when the engine kept another rule of that name: the caller
  // still owns Rule.
  virtual bool InstallRule(TRule* Rule) = 0;
  // Asserts a fact read, evaluated as the engine evaluates asserted facts.
  virtual void AssertRead(const IFact& Fact) = 0;
  // Writes the result of a top-level call (with its line end) on standard
  // output.
  virtual void Echo(const std::string& Text) = 0;
};

}  // namespace kb
