// The engine's variables and its global variables (TDeducer::Variables,
// TDeducer::GlobalVariables). Copying globals from another engine is
// defined with the persistence (engine/DeducerPersistence.cpp).
#pragma once

#include <string>

#include "core/KbValue.h"
#include "framework/Classes.h"

namespace kb {

class TDeducer;

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

}  // namespace kb
