// The object package: rules reach the host's objects through the
// published properties of their registered classes (framework/TypInfo.h).
// Objects travel in dtObject values (through their links: a value never
// reaches an object freed since), classes in dtClass values.
//
// Ownership: a component created with an owner belongs to it; objects
// created without one (create-object, or create-component with a nil
// owner) belong to the engine's object package, which frees those still
// there when it goes. free-object frees components and the objects the
// package made, and refuses what the engine needs: the engine, the
// components it owns (packages, rules, fact sets) and those that own it.
#pragma once

#include <vector>

#include "engine/DeducerPackages.h"

namespace kb {

class TObjectPackage : public TUserPackage {
 public:
  explicit TObjectPackage(TComponent* AOwner);
  ~TObjectPackage() override;
  void CreateFunctions() override;

  // Keeps Object (made without an owner) until it is freed or the package goes.
  void Adopt(TPersistent* Object);
  // Whether the package holds Object.
  bool Holds(const TPersistent* Object) const;
  // Frees an object the package holds.
  void FreeHeld(TPersistent* Object);

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  // Plain objects are owned here; counted ones are held by one reference.
  std::vector<TPersistent*> Held_;
};

}  // namespace kb
