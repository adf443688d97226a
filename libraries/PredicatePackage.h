// The predicate package: evenp, oddp and the type predicates (lexemep,
// numberp, floatp, integerp, stringp, symbolp, multifieldp,
// external-addressp, objectp). Every predicate returns FCTrue or FCFalse.
//
// The type predicates are instances of one class, TVerifyTypePFunction,
// each holding the set of value types it accepts; a host can create more
// of them (for example a "factp" for dtFact) and add them to any package.
#pragma once

#include <string>

#include "engine/DeducerPackages.h"

namespace kb {

// A predicate of one argument: TRUE when the evaluated argument's type is
// in the set. The comment names the set's types and follows the function's
// name and set whenever either changes.
class TVerifyTypePFunction : public TKbUserFunction {
 public:
  TVerifyTypePFunction() : TVerifyTypePFunction(std::string(), TKbTypes()) {}
  TVerifyTypePFunction(const std::string& Name, TKbTypes Types);

  TKbTypes GetTypes() const { return Types_; }
  void SetTypes(TKbTypes Value);
  void SetFunctionName(const std::string& Value) override;
  void Call(TFunctionCall& FunCall, TKbContext* Context, IKbValue& Result) override;
  // Also copies the type set from another type predicate.
  void Assign(const TPersistent* Source) override;

 private:
  void UpdateComment();
  TKbTypes Types_;
};

class TPredicatePackage : public TUserPackage {
 public:
  explicit TPredicatePackage(TComponent* AOwner);
  ~TPredicatePackage() override { BeginDestruction(); }
  void CreateFunctions() override;
};

}  // namespace kb
