// The standard package: the functions every engine offers by default
// (variables, control flow, comparisons, fact and engine commands,
// multifields, I/O).
//
// The function classes are defined in the StandardPackage*.cpp files, one
// per topic; the package creates them in the fixed order of its table.
#pragma once

#include "engine/DeducerPackages.h"

namespace kb {

class TStandardPackage : public TUserPackage {
 public:
  explicit TStandardPackage(TComponent* AOwner);
  ~TStandardPackage() override { BeginDestruction(); }
  void CreateFunctions() override;
};

}  // namespace kb
