#include "libraries/PredicatePackage.h"

#include "core/KbHelperFunctions.h"

namespace kb {

namespace {
constexpr const char* SVerifyTypeComment =
    "Returns TRUE if the argument is of the following type(s): %s.  If the argument is any other "
    "type, FALSE is returned";
}  // namespace

// ---------------------------------------------------- TVerifyTypePFunction

KB_REGISTER_FUNCTION(TVerifyTypePFunction);

TVerifyTypePFunction::TVerifyTypePFunction(const std::string& Name, TKbTypes Types)
    : TKbUserFunction(Name), Types_(Types) {
  SetMinArgumentCount(1);
  SetMaxArgumentCount(1);
  UpdateComment();
}

void TVerifyTypePFunction::UpdateComment() {
  const std::string types = Types_.IsEmpty() ? "NONE" : SetToString(Types_, ", ", false);
  const std::string syntax = GetFunctionName() + " <expression>";
  SetComment(Format(CommentFormat, Format(SVerifyTypeComment, types), syntax));
}

void TVerifyTypePFunction::SetTypes(TKbTypes Value) {
  Types_ = Value;
  UpdateComment();
}

void TVerifyTypePFunction::SetFunctionName(const std::string& Value) {
  TKbUserFunction::SetFunctionName(Value);
  UpdateComment();
}

void TVerifyTypePFunction::Call(TFunctionCall& FunCall, TKbContext* Context, IKbValue& Result) {
  TKbUserFunction::Call(FunCall, Context, Result);
  Result = BoolValue(Types_.Contains(TArgs(FunCall, Context).Value(0)->GetDType()));
}

void TVerifyTypePFunction::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TVerifyTypePFunction*>(Source);
  if (src) Types_ = src->Types_;
  TKbUserFunction::Assign(Source);
  // Renaming rebuilt the comment; the source's own comment wins.
  if (src) SetComment(src->GetComment());
}

// ------------------------------------------------------------ evenp, oddp

KB_FUNCTION(TEvenPFunction, "evenp", 1, 1,
            "Returns TRUE if the argument is an even integer, FALSE otherwise",
            "evenp <numeric-expression>") {
  return BoolValue((Args.Int(0) & 1) == 0);
}

KB_FUNCTION(TOddPFunction, "oddp", 1, 1,
            "Returns TRUE if the argument is an odd integer, FALSE otherwise",
            "oddp <numeric-expression>") {
  return BoolValue((Args.Int(0) & 1) != 0);
}

// -------------------------------------------------------- TPredicatePackage

KB_REGISTER_PACKAGE(TPredicatePackage);

TPredicatePackage::TPredicatePackage(TComponent* AOwner) : TUserPackage(AOwner) {
  AfterConstruction();
}

void TPredicatePackage::CreateFunctions() {
  TUserPackage::CreateFunctions();
  RegisterClasses({"TEvenPFunction", "TOddPFunction"});
  // The type predicates, in table order.
  static const struct {
    const char* Name;
    TKbTypes Types;
  } typePredicates[] = {
      {"lexemep", {dtAtom, dtString}}, {"numberp", {dtInteger, dtFloat}},
      {"floatp", {dtFloat}},           {"integerp", {dtInteger}},
      {"stringp", {dtString}},         {"symbolp", {dtAtom}},
      {"multifieldp", {dtList}},       {"external-addressp", {dtExternalAddress}},
      {"objectp", {dtObject}},
  };
  for (const auto& p : typePredicates)
    GetFunctions().Add(IUserFunction(new TVerifyTypePFunction(p.Name, p.Types)));
}

}  // namespace kb
