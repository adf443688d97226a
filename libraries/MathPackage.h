// The math package: arithmetic, integer division, rounding, powers,
// logarithms, minimum and maximum, pi and a random generator.
//
// Result types: "+", "-", "*", "max" and "min" give an integer unless an
// argument they use is a float; "/", "exp", "**", "log", "log10", "sqrt"
// and "float" always give a float; "div", "mod", "integer", "round" and
// "random" always give an integer. An integer result that does not fit in
// 32 bits, and an integer division by zero, raise EKbException; float
// arithmetic follows IEEE rules (a zero divisor gives an infinity or NaN).
//
// "random" and "seed" share one generator per thread, so engines running on
// different threads never race on it; seeding makes the sequence repeatable.
#pragma once

#include "engine/DeducerPackages.h"

namespace kb {

class TMathPackage : public TUserPackage {
 public:
  explicit TMathPackage(TComponent* AOwner);
  ~TMathPackage() override { BeginDestruction(); }
  void CreateFunctions() override;
};

}  // namespace kb
