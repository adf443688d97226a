// The string package: str-cat, sym-cat, str-compare, str-index,
// str-length, sub-string, upcase and lowcase.
//
// Every argument is evaluated and read as text (GetAsString: the text of a
// string or symbol, the decimal text of a number; other types raise the
// value's conversion error). Strings are single bytes; positions count from
// 1 and case changes touch only the ASCII letters.
#pragma once

#include "engine/DeducerPackages.h"

namespace kb {

class TStringPackage : public TUserPackage {
 public:
  explicit TStringPackage(TComponent* AOwner);
  ~TStringPackage() override { BeginDestruction(); }
  void CreateFunctions() override;
};

}  // namespace kb
