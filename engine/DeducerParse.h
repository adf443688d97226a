// The engine's variables and its global variables (TDeducer::Variables,
// TDeducer::GlobalVariables), and the part of the engine that keeps its
// parser and its global variables (TDeducerParsing). Copying globals from
// another engine is defined with the persistence
// (engine/DeducerPersistence.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/KbConsts.h"
#include "core/KbValue.h"
#include "framework/Classes.h"

namespace kb {

class TDeducer;
class TKbParser;

// The engine's variables (name to value).
class TEngineVariables : public TValueHashTable {
 public:
  explicit TEngineVariables(TDeducer* Engine) : Engine_(Engine) {}
  TDeducer* GetEngine() const { return Engine_; }
  // Each variable as the engine prints a named value, one per line.
  std::string GetToString() const override;

 protected:
  TDeducer* Engine_;
};

// The defined global variables with their initial values. Defining one
// binds it in the engine's root context at once (a call runs first).
class TGlobalVariables : public TEngineVariables {
 public:
  using TEngineVariables::TEngineVariables;
  IKbValue Put(const std::string& Name, const IKbValue& Value) override;
  // Empties the table and the root context's bindings.
  void Clear() override;
  // Copies Source's definitions, binding each; an initial value that is a
  // call of another engine is parsed again by this one.
  void Assign(const TPersistent* Source) override;
};

// The engine's parsing state: its parser (made on first use through the
// engine's NewParser, which a descendant may override), the parser's
// settings and the global variables. TDeducer's parsing entry points run
// this parser (engine/DeducerParse.cpp).
class TDeducerParsing {
 public:
  explicit TDeducerParsing(TDeducer& Engine);
  TDeducerParsing(const TDeducerParsing&) = delete;
  TDeducerParsing& operator=(const TDeducerParsing&) = delete;
  ~TDeducerParsing();

  // The global variables come after the engine's root context and go
  // before it; the parser goes last.
  void CreateGlobals();
  void DestroyGlobals();
  void DestroyParser();
  TGlobalVariables& GlobalVariables() { return *GlobalVariables_; }
  const TPersistent* GlobalVariablesOrNull() const { return GlobalVariables_.get(); }

  // The engine's parser, created on first use. Its parse events (OnParse,
  // OnParseFunCall, ...) are the engine's.
  TKbParser& GetParser();
  // The parser, or nil before its first use.
  TKbParser* ParserOrNull() const { return Parser_.get(); }
  TErrorHandling GetParserErrorHandling() const { return ParserErrorHandling_; }
  void SetParserErrorHandling(TErrorHandling Value);
  int32_t GetParserMaxErrors() const { return ParserMaxErrors_; }
  void SetParserMaxErrors(int32_t Value);

 private:
  TDeducer& Engine_;
  std::unique_ptr<TGlobalVariables> GlobalVariables_;
  std::unique_ptr<TKbParser> Parser_;
  TErrorHandling ParserErrorHandling_ = ehRaiseImmediate;
  int32_t ParserMaxErrors_ = 10;
};

}  // namespace kb
