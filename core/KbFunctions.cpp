#include "core/KbFunctions.h"

#include <algorithm>
#include <memory>

#include "core/KbHelperFunctions.h"

namespace kb {

// ------------------------------------------------------- TBaseReasonerList

IReasoner* TBaseReasonerList::Get(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return Items_[static_cast<size_t>(Index)];
}

int TBaseReasonerList::Add(IReasoner* R) {
  int i = IndexOf(R);
  if (i >= 0) return i;
  Items_.push_back(R);
  Notify(R, TListNotification::lnAdded);
  return Count() - 1;
}

void TBaseReasonerList::Delete(int Index) {
  IReasoner* r = Get(Index);
  Items_.erase(Items_.begin() + Index);
  Notify(r, TListNotification::lnDeleted);
}

int TBaseReasonerList::Remove(IReasoner* R) {
  int i = IndexOf(R);
  if (i >= 0) Delete(i);
  return i;
}

int TBaseReasonerList::IndexOf(IReasoner* R) const {
  auto it = std::find(Items_.begin(), Items_.end(), R);
  return it == Items_.end() ? -1 : static_cast<int>(it - Items_.begin());
}

void TBaseReasonerList::Clear() {
  while (!Items_.empty()) Delete(0);
}

void TBaseReasonerList::Notify(IReasoner* R, TListNotification Action) {
  if (Owner_) Owner_->ReasonerNotification(R, Action);
}

// --------------------------------------------------------- TKbUserFunction

// A package may register its functions with engines that run on several
// threads at once, so function objects count atomically.
TKbUserFunction::TKbUserFunction() : Reasoners_(this) { CountShared(); }

TKbUserFunction::TKbUserFunction(const std::string& Name) : Reasoners_(this), FunctionName_(Name) {
  CountShared();
}

TKbUserFunction::~TKbUserFunction() = default;

void TKbUserFunction::CheckArgumentCount(const TFunctionCall& FunCall) const {
  int32_t n = FunCall.GetArgumentCount();
  if (n < GetMinArgumentCount()) KbError(STooFewArgs, FunctionName_);
  if (n > GetMaxArgumentCount()) KbError(STooManyArgs, FunctionName_);
}

void TKbUserFunction::ArgumentCountError(int32_t Count) const {
  KbError(Count < MinArgumentCount_ ? STooFewArgs : STooManyArgs, FunctionName_);
}

void TKbUserFunction::Call(TFunctionCall& FunCall, TKbContext*, IKbValue& Result) {
  CheckArgumentCount(FunCall);
  Result.reset();
}

void TKbUserFunction::SetMinArgumentCount(int32_t Value) {
  if (Value == MinArgumentCount_) return;
  MinArgumentCount_ = Value;
  if (Value > MaxArgumentCount_) MaxArgumentCount_ = Value;
}

void TKbUserFunction::SetMaxArgumentCount(int32_t Value) {
  if (Value == MaxArgumentCount_) return;
  MaxArgumentCount_ = Value;
  if (Value < MinArgumentCount_) MinArgumentCount_ = Value;
}

void TKbUserFunction::SetFunctionName(const std::string& Value) {
  if (Value == FunctionName_) return;
  IUserFunction self(this);
  std::vector<IReasoner*> reasoners = Reasoners_.Items();
  for (IReasoner* r : reasoners) r->RemoveUserFunction(self);
  FunctionName_ = Value;
  for (IReasoner* r : reasoners) r->AddUserFunction(self);
}

void TKbUserFunction::ClearReasoners() { Reasoners_.Clear(); }

std::string TKbUserFunction::GetToString(IReasoner* R) {
  return R ? R->PrettyPrint(IUserFunction(this)) : FunctionName_;
}

void TKbUserFunction::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TKbUserFunction*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  MinArgumentCount_ = src->MinArgumentCount_;
  MaxArgumentCount_ = src->MaxArgumentCount_;
  Comment_ = src->Comment_;
  SetFunctionName(src->FunctionName_);
}

void TKbUserFunction::ReasonerNotification(IReasoner* R, TListNotification Action) {
  // The engine may hold the only other reference; keep this object alive.
  IUserFunction self(this);
  if (Action == TListNotification::lnAdded)
    R->AddUserFunction(self);
  else
    R->RemoveUserFunction(self);
}

// ----------------------------------------------------------- TFunctionCall

TFunctionCall::TFunctionCall(IReasoner* Reasoner, const std::string& Name)
    : Reasoner_(Reasoner), Name_(Name) {}

int TFunctionCall::AddArgument(const IKbValue& Value) {
  Arguments_.push_back(Value);
  return GetArgumentCount() - 1;
}

int TFunctionCall::AddArgument(double Value, TKbType Type) {
  if (Type == dtFloat) return AddArgument(NewFloat(Value));
  if (Type == dtInteger) {
    const auto v = TryFloatToInt(Value);
    if (!v) KbError(SIntegerOverflow, Name_);
    return AddArgument(NewInteger(*v));
  }
  KbError(SNotCorrectType, "Float type", EnumName(Type));
}

int TFunctionCall::AddArgument(int64_t Value, TKbType Type) {
  if (Type == dtInteger) return AddArgument(NewInteger(Value));
  if (Type == dtFloat) return AddArgument(NewFloat(static_cast<double>(Value)));
  KbError(SNotCorrectType, "Integer type", EnumName(Type));
}

int TFunctionCall::AddArgument(const std::string& Value, TKbType Type) {
  if (!KbStringTypes.Contains(Type)) KbError(SNotCorrectType, "String type", EnumName(Type));
  return AddArgument(NewText(Type, Value));
}

int TFunctionCall::AddArgument(const IFunCall& Value) { return AddArgument(NewFunCall(Value)); }

int TFunctionCall::AddArgument(const IValueVector& Value) { return AddArgument(NewList(Value)); }

const IKbValue& TFunctionCall::GetArgument(int Index) const {
  if (Index < 0 || Index >= GetArgumentCount()) ListIndexError(Index);
  return Arguments_[static_cast<size_t>(Index)];
}

void TFunctionCall::SetArgument(int Index, const IKbValue& Value) {
  if (Index < 0 || Index >= GetArgumentCount()) ListIndexError(Index);
  Arguments_[static_cast<size_t>(Index)] = Value;
}

void TFunctionCall::Delete(int Index) {
  if (Index < 0 || Index >= GetArgumentCount()) ListIndexError(Index);
  Arguments_.erase(Arguments_.begin() + Index);
}

void TFunctionCall::SetUserFunction(const IUserFunction& Function) {
  if (Function == UserFunction_) return;
  UserFunction_ = Function;
  Name_ = Function ? Function->GetFunctionName() : std::string();
}

const IUserFunction& TFunctionCall::Bind() {
  if (!UserFunction_ && Reasoner_) {
    IUserFunction f = Reasoner_->GetUserFunction(Name_);
    if (f) SetUserFunction(f);
  }
  return UserFunction_;
}

IKbValue TFunctionCall::Execute(TKbContext* Context) {
  if (StackNearlyExhausted()) KbError(SCallsTooDeep, Name_);
  if (Context && Context->Interrupted()) throw EAbort();
  if (!UserFunction_ && !Bind()) KbError(SNoSuchFunction, Name_);
  // The function may be withdrawn while it runs; keep it alive meanwhile.
  IUserFunction f = UserFunction_;
  IKbValue result;
  f->Call(*this, Context, result);
  return result;
}

IKbValue TFunctionCall::SimpleExecute(TKbContext* Context) {
  if (!UserFunction_) KbError(SNoSuchFunction, Name_);
  IUserFunction f = UserFunction_;
  IKbValue result;
  try {
    f->Call(*this, Context, result);
  } catch (const EAbort&) {
    throw;
  } catch (const Exception& e) {
    KbError(SFunctionError, Name_, e.Message());
  }
  return result;
}

bool TFunctionCall::Equals(const TFunctionCall* Other) const {
  if (!Other) return false;
  if (Other == this) return true;
  if (Name_ != Other->Name_ || Arguments_.size() != Other->Arguments_.size()) return false;
  for (size_t i = 0; i < Arguments_.size(); ++i) {
    const IKbValue& a = Arguments_[i];
    const IKbValue& b = Other->Arguments_[i];
    if (!a || !b) {
      if (a || b) return false;
      continue;
    }
    if (!a->Equals(b)) return false;
  }
  return true;
}

bool TFunctionCall::Equals(const TCloneable* Other) const {
  auto* c = dynamic_cast<const TFunctionCall*>(Other);
  return c && Equals(c);
}

int32_t TFunctionCall::GetHashCode() const {
  uint32_t h = static_cast<uint32_t>(CalculateHash(Name_));
  for (const IKbValue& a : Arguments_)
    if (a) h += static_cast<uint32_t>(a->GetHashCode());
  return static_cast<int32_t>(h);
}

std::string TFunctionCall::GetToString() const {
  if (Reasoner_) return Reasoner_->PrettyPrint(IFunCall(const_cast<TFunctionCall*>(this)));
  return GetDefaultText();
}

std::string TFunctionCall::GetDefaultText() const {
  std::string r = "(" + Name_;
  bool wrap = Name_ == "modify" || Name_ == "duplicate";
  for (size_t i = 0; i < Arguments_.size(); ++i) {
    r += ' ';
    std::string text = Arguments_[i] ? Arguments_[i]->GetToString() : std::string();
    if (wrap && i > 0)
      r += "(" + text + ")";
    else
      r += text;
  }
  r += ')';
  return r;
}

void TFunctionCall::Assign(const ICloneable& Source) {
  auto* src = dynamic_cast<const TFunctionCall*>(Source.get());
  if (!src) InterfaceCastError("IFunCall");
  if (src == this) return;
  Name_ = src->Name_;
  Tag_ = src->Tag_;
  std::vector<IKbValue> args;
  args.reserve(src->Arguments_.size());
  for (const IKbValue& a : src->Arguments_) args.push_back(a ? a->CloneValue() : IKbValue());
  Arguments_ = std::move(args);
}

ICloneable TFunctionCall::Clone() const { return CloneCall(); }

IFunCall TFunctionCall::CloneCall() const {
  IFunCall c(new TFunctionCall(Reasoner_, Name_));
  c->Assign(ICloneable(const_cast<TFunctionCall*>(this)));
  return c;
}

static void UnbindValue(const IKbValue& V) {
  if (!V) return;
  if (V->GetDType() == dtFunCall) {
    V->GetAsFunCall()->UnbindCalls();
  } else if (V->GetDType() == dtList) {
    for (const IKbValue& item : *V->ListPtr()) UnbindValue(item);
  }
}

void TFunctionCall::UnbindCalls() {
  UserFunction_.reset();
  for (const IKbValue& a : Arguments_) UnbindValue(a);
}

// ---------------------------------------------------- TInterpretedFunction

void TInterpretedFunction::AddArgument(const std::string& Name, TKbType Type) {
  if (Type != dtAtom && Type != dtVariable && Type != dtMultiVariable)
    KbError(SInvalidArgType, EnumName(Type));
  Arguments_->Add(NewText(Type, Name));
}

void TInterpretedFunction::AddStatement(const IFunCall& Statement) {
  Statements_->Add(NewFunCall(Statement));
}

void TInterpretedFunction::AddStatement(const IKbValue& Statement) { Statements_->Add(Statement); }

int32_t TInterpretedFunction::GetMinArgumentCount() const {
  // A trailing wildcard may take no argument at all.
  IKbValue last = Arguments_->Last();
  const int32_t declared = Arguments_->GetValueCount();
  return last && last->GetDType() == dtMultiVariable ? declared - 1 : declared;
}

int32_t TInterpretedFunction::GetMaxArgumentCount() const {
  IKbValue last = Arguments_->Last();
  if (last && last->GetDType() == dtMultiVariable) return MaxArguments;
  return Arguments_->GetValueCount();
}

void TInterpretedFunction::Call(TFunctionCall& FunCall, TKbContext* Context, IKbValue& Result) {
  // The stored bounds (by default none) are checked first, then the
  // declared parameters.
  if (FunCall.GetArgumentCount() < TKbUserFunction::GetMinArgumentCount())
    KbError(STooFewArgs, GetFunctionName());
  if (FunCall.GetArgumentCount() > TKbUserFunction::GetMaxArgumentCount())
    KbError(STooManyArgs, GetFunctionName());
  Result.reset();
  const int declared = Arguments_->GetValueCount();
  if (FunCall.GetArgumentCount() < GetMinArgumentCount()) KbError(STooFewArgs, GetFunctionName());

  // Without a caller's context the body runs in a fresh scope of its own.
  std::unique_ptr<TKbContext> fresh;
  if (!Context) {
    fresh = std::make_unique<TKbContext>(nullptr, nullptr);
    Context = fresh.get();
  }
  std::unique_ptr<TKbContext> local(Context->Push());
  TKbContext* fc = local.get();
  for (int i = 0; i < declared; ++i) {
    const IKbValue& param = Arguments_->Get(i);
    std::string name = param->GetAsString();
    switch (param->GetDType()) {
      case dtVariable: fc->AddLocalBinding(name, FunCall.Eval(i, fc)); break;
      case dtMultiVariable: {
        IValueVector rest = NewVector();
        for (int j = i; j < FunCall.GetArgumentCount(); ++j) rest->Add(FunCall.Eval(j, fc));
        fc->AddLocalBinding(name, NewList(rest));
        break;
      }
      default: fc->SetVariable(name, FCNil); break;
    }
  }
  for (const IKbValue& statement : *Statements_) {
    Result = statement->Resolve(fc);
    if (fc->GetReturnValueSet()) {
      Result = fc->GetReturnValue();
      fc->ClearReturnValue();
      break;
    }
  }
  if (Result) Result = Result->Resolve(fc);
  // The function context is discarded without Pop: its return flag is clear
  // here, and copying it up would lower a return already pending in the
  // caller's context, as in (and (return 1) (some-deffunction)).
}

void TInterpretedFunction::UnbindCalls() {
  for (const IKbValue& s : *Statements_) UnbindValue(s);
}

// ------------------------------------------------------------------ helpers

const TKbValue& TArgs::Held(int I, IKbValue& Hold) const {
  Hold = Value(I);
  return *Hold;
}

void TArgs::NoContext() { KbError(SNoContext, EnumName(dtVariable)); }

void TArgs::NoEngine() { KbError(SUnknownEngine); }

const IKbValue& TArgs::Nothing() {
  // Nothing converts to nothing: the getters of an empty value raise.
  static const IKbValue none = NewConstant(NewValue());
  return none;
}

bool TArgs::IsKeyword(int I, const IKbValue& Keyword) const {
  const IKbValue& a = Raw(I);
  return a.get() == Keyword.get() || (a && a->Equals(Keyword));
}

int TArgs::FindKeyword(int First, const IKbValue& Keyword) const {
  const int n = Count();
  for (int i = First; i < n; ++i)
    if (IsKeyword(i, Keyword)) return i;
  return n;
}

bool TArgs::Run(int First, int Last, IKbValue& Result) const {
  for (int i = First; i <= Last; ++i) {
    Result = Eval(i);
    if (Context && Context->GetReturnValueSet()) {
      Result = Context->GetReturnValue();
      return true;
    }
  }
  return false;
}

int64_t TArgs::IntOf(const IKbValue& V) const {
  if (V && V->GetDType() == dtFloat) {
    if (auto v = TryFloatToInt(V->FloatPayload())) return *v;
    KbError(SIntegerOverflow, Name());
  }
  return (V ? V : NewValue())->GetAsInteger();
}

int32_t TArgs::Int32Of(const IKbValue& V) const {
  const int64_t v = IntOf(V);
  if (v < INT32_MIN || v > INT32_MAX) KbError(SIntegerOverflow, Name());
  return static_cast<int32_t>(v);
}

double TArgs::ItemNum(const IKbValue& Item) const {
  if (!Item) KbError(SNotCorrectType, "numeric", EnumName(dtNone));
  return Item->Resolve(Context)->GetAsNumeric();
}

std::string FunctionComment(const char* Description, const char* Syntax) {
  return Format(CommentFormat, Description, Syntax);
}

namespace {
struct TFunctionClass : TPersistentClass {
  TKbUserFunction* (*Make)() = nullptr;
};
}  // namespace

bool RegisterFunctionClass(const char* ClassName, TKbUserFunction* (*Create)()) {
  // The classes live as long as the library.
  static std::vector<std::unique_ptr<TFunctionClass>> classes;
  classes.push_back(std::make_unique<TFunctionClass>());
  TFunctionClass* c = classes.back().get();
  c->Name = ClassName;
  c->ParentName = "TKbUserFunction";
  c->Make = Create;
  c->Create = [Create](TComponent*) -> TPersistent* { return Create(); };
  RegisterClass(c);
  return true;
}

IUserFunction CreateFunctionByClassName(std::string_view ClassName) {
  auto* c = dynamic_cast<const TFunctionClass*>(GetClass(ClassName));
  return c ? IUserFunction(c->Make()) : IUserFunction();
}

}  // namespace kb
