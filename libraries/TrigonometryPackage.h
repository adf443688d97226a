// The trigonometry package: circular and hyperbolic functions, their
// reciprocals and inverses, angle unit conversions (radians, degrees,
// grads, cycles), atan2, the hypotenuse and three distances between points
// given as multifields.
//
// Every function reads its arguments as numbers (GetAsNumeric) and returns
// a new float. Angles are in radians. Domain errors follow IEEE rules: the
// result is NaN or an infinity (acos of 2 is NaN, cot of 0 is INF); no
// function raises for them.
#pragma once

#include "engine/DeducerPackages.h"

namespace kb {

class TTrigonometryPackage : public TUserPackage {
 public:
  explicit TTrigonometryPackage(TComponent* AOwner);
  ~TTrigonometryPackage() override { BeginDestruction(); }
  void CreateFunctions() override;
};

}  // namespace kb
