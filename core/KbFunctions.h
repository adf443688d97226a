// The function framework: function objects, function calls, deffunctions,
// typed access to a call's arguments and the registry of function classes.
//
// Everything a rule or command calls is a TKbUserFunction: a built-in (one
// small class per function, see KB_FUNCTION below), a host function given
// as an event (TUserFunction, engine/DeducerPackages.h) or a deffunction
// (TInterpretedFunction). A call site is a TFunctionCall: a name, argument
// values and, once bound, the function. The engine a function is
// registered with is an IReasoner: what the framework needs of an engine,
// which the engine implements (the layers below the engine reach it only
// through this interface).
//
// Ownership: functions and calls are counted (IUserFunction, IFunCall).
// Reasoners (engines) are held by plain pointer: an engine withdraws itself
// from every function and package before it goes away.
#pragma once

#include <atomic>
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/KbConsts.h"
#include "core/KbContext.h"
#include "core/KbInterfaces.h"
#include "core/KbValue.h"

namespace kb {

constexpr int32_t MaxArguments = INT32_MAX;
// A call made when the thread's stack is nearly used up (a runaway
// recursion), with the function's name.
constexpr const char* SCallsTooDeep = "Function calls nested too deeply at %s";

// What a function framework needs of an engine. The engine is the only one.
class IReasoner {
 public:
  virtual ~IReasoner() = default;
  virtual std::string PrettyPrint(const IFunCall& FunCall) = 0;
  virtual std::string PrettyPrint(const IFact& Fact) = 0;
  virtual std::string PrettyPrint(const IUserFunction& Function) = 0;
  virtual std::string PrettyPrint(const IInterpretedFunction& Function) = 0;
  // Registers the function under its name.
  virtual void AddUserFunction(const IUserFunction& Function) = 0;
  // Withdraws the function (when it is the one registered under its name).
  virtual void RemoveUserFunction(const IUserFunction& Function) = 0;
  virtual bool ContainsUserFunction(std::string_view Name) = 0;
  // The registered function, or nil.
  virtual IUserFunction GetUserFunction(std::string_view Name) = 0;
  // The names of the registered functions, in registration order.
  virtual std::vector<std::string> GetUserFunctions() = 0;
  virtual void SetUserFunction(const std::string& Name, const IUserFunction& Function) = 0;
  // The engine itself, for the layers above that use it whole.
  virtual TDeducer* GetEngine() noexcept = 0;
  // The flag that interrupts the engine (TDeducer::SetInterrupted).
  virtual const std::atomic<bool>& InterruptFlag() const noexcept = 0;
};

class TKbUserFunction;

// A list of engines that tells its owner of every engine added or removed.
// This one belongs to a function: adding makes the engine register the
// function; removing makes it withdraw it. A package's list derives from it
// (engine/DeducerPackages.h) and tells the package instead.
class TBaseReasonerList {
 public:
  explicit TBaseReasonerList(TKbUserFunction* Owner) : Owner_(Owner) {}
  virtual ~TBaseReasonerList() = default;
  int Count() const { return static_cast<int>(Items_.size()); }
  IReasoner* Get(int Index) const;
  // Adds when not present; returns the index either way.
  int Add(IReasoner* R);
  void Delete(int Index);
  int Remove(IReasoner* R);
  int IndexOf(IReasoner* R) const;
  // Deletes every engine, each with its notification, from the front.
  virtual void Clear();
  const std::vector<IReasoner*>& Items() const { return Items_; }

 protected:
  // Tells the owning function; a derived list tells its own owner instead.
  virtual void Notify(IReasoner* R, TListNotification Action);

 private:
  TKbUserFunction* Owner_;
  std::vector<IReasoner*> Items_;
};

// Base of every function object. Function objects count their references
// atomically: a package may share them among engines on several threads.
class TKbUserFunction : public TInterfacedPersistent {
 public:
  TKbUserFunction();
  explicit TKbUserFunction(const std::string& Name);
  ~TKbUserFunction() override;
  TKbUserFunction(const TKbUserFunction&) = delete;
  TKbUserFunction& operator=(const TKbUserFunction&) = delete;

  // Checks the argument count against the bounds and sets Result to nil.
  // Built-ins override, run this first, then compute Result.
  virtual void Call(TFunctionCall& FunCall, TKbContext* Context, IKbValue& Result);

  virtual int32_t GetMinArgumentCount() const { return MinArgumentCount_; }
  virtual int32_t GetMaxArgumentCount() const { return MaxArgumentCount_; }
  // Raising the minimum above the maximum raises the maximum too, and the
  // other way round.
  virtual void SetMinArgumentCount(int32_t Value);
  virtual void SetMaxArgumentCount(int32_t Value);
  const std::string& GetComment() const { return Comment_; }
  void SetComment(const std::string& Value) { Comment_ = Value; }
  const TKbName& GetFunctionName() const { return FunctionName_; }
  // Renames; every engine withdraws the function first and registers it
  // again under the new name.
  virtual void SetFunctionName(const std::string& Value);

  void AddReasoner(IReasoner* R) { Reasoners_.Add(R); }
  void ClearReasoners();
  void DeleteReasoner(int Index) { Reasoners_.Delete(Index); }
  void DeleteReasoner(IReasoner* R) { Reasoners_.Remove(R); }
  int IndexOfReasoner(IReasoner* R) const { return Reasoners_.IndexOf(R); }
  IReasoner* GetReasoner(int Index) const { return Reasoners_.Get(Index); }
  int GetReasonerCount() const { return Reasoners_.Count(); }
  // The engine's text of this function.
  std::string GetToString(IReasoner* R);

  // Copies bounds and comment, and renames, from another function.
  void Assign(const TPersistent* Source) override;

  // Called for every engine added to or removed from the reasoner list.
  virtual void ReasonerNotification(IReasoner* R, TListNotification Action);

 protected:
  // The argument count check alone.
  void CheckArgumentCount(const TFunctionCall& FunCall) const;
  // The same against the stored bounds, inline: for the built-ins, which
  // keep them (KB_FUNCTION classes are final and override neither getter).
  void CheckStoredBounds(int32_t Count) const {
    if (Count < MinArgumentCount_ || Count > MaxArgumentCount_) [[unlikely]]
      ArgumentCountError(Count);
  }
  [[noreturn]] void ArgumentCountError(int32_t Count) const;

 private:
  int32_t MinArgumentCount_ = 0;
  int32_t MaxArgumentCount_ = MaxArguments;
  std::string Comment_;
  TBaseReasonerList Reasoners_;
  TKbName FunctionName_;
};

// A call site: a name, arguments and the bound function.
class TFunctionCall final : public TCloneable {
 public:
  TFunctionCall() = default;
  TFunctionCall(IReasoner* Reasoner, const std::string& Name);
  TFunctionCall(const TFunctionCall&) = delete;
  TFunctionCall& operator=(const TFunctionCall&) = delete;

  // Each returns the new argument's index.
  int AddArgument(const IKbValue& Value);
  int AddArgument(double Value, TKbType Type);
  int AddArgument(int32_t Value, TKbType Type) { return AddArgument(int64_t{Value}, Type); }
  int AddArgument(int64_t Value, TKbType Type);
  int AddArgument(const std::string& Value, TKbType Type);
  int AddArgument(const char* Value, TKbType Type) { return AddArgument(std::string(Value), Type); }
  int AddArgument(const IFact& Value);  // defined with TFact
  int AddArgument(const IFunCall& Value);
  int AddArgument(const IValueVector& Value);

  const IKbValue& GetArgument(int Index) const;
  void SetArgument(int Index, const IKbValue& Value);
  int GetArgumentCount() const noexcept { return static_cast<int>(Arguments_.size()); }
  const std::vector<IKbValue>& Arguments() const noexcept { return Arguments_; }
  void Clear() { Arguments_.clear(); }
  void Delete(int Index);

  // Argument Index resolved in Context. REQUIRES: 0 <= Index < count.
  IKbValue Eval(int Index, TKbContext* Context) const {
    return Evaluate(*Arguments_[static_cast<size_t>(Index)], Context);
  }
  // Item resolved in Context (TKbValue::Resolve); a nested call is
  // executed directly, without the general resolution's call.
  static IKbValue Evaluate(const TKbValue& Item, TKbContext* Context) {
    if (Item.GetDType() == dtFunCall)
      return static_cast<TFunctionCall*>(Item.IntfPayload())->Execute(Context);
    return Item.Resolve(Context);
  }

  const IUserFunction& GetUserFunction() const noexcept { return UserFunction_; }
  // Binds the call; its name becomes the function's (empty for nil).
  void SetUserFunction(const IUserFunction& Function);
  const std::string& GetName() const noexcept { return Name_; }
  IReasoner* GetReasoner() const noexcept { return Reasoner_; }
  void SetReasoner(IReasoner* R) { Reasoner_ = R; }

  // The bound function; an unbound call first binds by name through the
  // reasoner, as Execute does. Nil (and still unbound) when the reasoner
  // has no function of that name.
  const IUserFunction& Bind();
  // Binds by name through the reasoner on first use, then calls the
  // function. Raises SCallsTooDeep instead of running when the stack is
  // nearly used up, and the silent EAbort when the context's engine was
  // interrupted (TDeducer::SetInterrupted).
  IKbValue Execute(TKbContext* Context);
  // Calls the bound function without looking the name up; any error
  // becomes EKbException "<name> error: <message>".
  IKbValue SimpleExecute(TKbContext* Context);

  // A value for the function to fill in as this call's result: the one it
  // gave last, when nothing else holds it any more, or else a new one, kept
  // for the next call. A result that callers mostly drop (assert's fact
  // address) then costs no value of its own. Not copied, compared or shown.
  const IKbValue& ReusableResult() {
    const TKbValue* v = Result_.get();
    if (!v || v->GetSharing() != TRefSharing::Confined || v->GetRefCount() != 1) [[unlikely]]
      Result_ = NewValue();
    return Result_;
  }

  int32_t GetTag() const override { return Tag_; }
  void SetTag(int32_t Value) override { Tag_ = Value; }
  // Same name, same argument count, strictly equal arguments.
  bool Equals(const TFunctionCall* Other) const;
  bool Equals(const IFunCall& Other) const { return Equals(Other.get()); }
  bool Equals(const TCloneable* Other) const override;
  int32_t GetHashCode() const override;
  std::string GetToString() const override;
  // The text without asking the reasoner: "(name arg ...)".
  std::string GetDefaultText() const;
  // Copies name, tag and clones of the arguments; not the reasoner or the
  // bound function.
  void Assign(const ICloneable& Source) override;
  using TCloneable::Assign;
  ICloneable Clone() const override;
  IFunCall CloneCall() const;
  // Forgets the bound function here and in every nested call, so that a
  // deffunction calling itself holds no reference to itself.
  void UnbindCalls();

 private:
  IReasoner* Reasoner_ = nullptr;
  std::vector<IKbValue> Arguments_;
  IUserFunction UserFunction_;
  std::string Name_;
  IKbValue Result_;
  int32_t Tag_ = 0;
};

// A deffunction written in CLIPS.
class TInterpretedFunction : public TKbUserFunction {
 public:
  using TKbUserFunction::TKbUserFunction;

  // Tag dtVariable, dtMultiVariable (a wildcard) or dtAtom; any other raises
  // EKbException SInvalidArgType.
  virtual void AddArgument(const std::string& Name, TKbType Type);
  virtual void AddStatement(const IFunCall& Statement);
  virtual void AddStatement(const IKbValue& Statement);
  const IKbValue& GetStatement(int Index) const { return Statements_->Get(Index); }
  int GetStatementCount() const { return Statements_->GetValueCount(); }
  const IKbValue& GetArgument(int Index) const { return Arguments_->Get(Index); }
  int GetArgumentCount() const { return Arguments_->GetValueCount(); }
  const IValueVector& GetArguments() const { return Arguments_; }
  const IValueVector& GetStatements() const { return Statements_; }

  // The number of declared arguments; a trailing wildcard, which takes
  // what is left (perhaps nothing), does not count.
  int32_t GetMinArgumentCount() const override;
  // Unlimited after a trailing wildcard, else the declared number.
  int32_t GetMaxArgumentCount() const override;

  void Call(TFunctionCall& FunCall, TKbContext* Context, IKbValue& Result) override;
  void Execute(TFunctionCall& FunCall, TKbContext* Context, IKbValue& Result) {
    Call(FunCall, Context, Result);
  }
  // Unbinds every call of the body (see TFunctionCall::UnbindCalls).
  void UnbindCalls();

 private:
  IValueVector Arguments_ = NewVector();
  IValueVector Statements_ = NewVector();
};

// ---------------------------------------------------------------------------
// Built-in function classes.
//
// Each CLIPS function is a class named after it with the suffix Function,
// defined with DefineFunction: name, bounds, help comment and a body that
// computes the result from the call's arguments:
//
//   KB_FUNCTION(TAbsFunction, "abs", 1, 1, "Absolute value", "abs <number>") {
//     return NumberValue(std::fabs(Args.Num(0)));
//   }
//
// The body sees `Args` (a TArgs) and returns the result value. The argument
// count is checked before the body runs.

// Typed access to a call's arguments, each resolved in the context.
// Arguments arrive as written: a nested call is a dtFunCall value run by
// Eval, a keyword (then, else, do, ...) is a plain atom.
class TArgs {
 public:
  TArgs(TFunctionCall& Call, TKbContext* Context) : Call(Call), Context(Context) {}
  int Count() const { return Call.GetArgumentCount(); }
  const IKbValue& Raw(int I) const { return Call.GetArgument(I); }
  // May be nil: a call that returns nothing.
  IKbValue Eval(int I) const { return Call.Eval(I, Context); }
  // Argument I evaluated, never nil: an empty value (dtNone) for nothing,
  // whose getters raise the conversion error.
  IKbValue Value(int I) const {
    IKbValue v = Eval(I);
    if (!v) [[unlikely]]
      return Nothing();
    return v;
  }
  // Whether argument I, as written, is read without side effects: a value
  // that stands for itself or a variable.
  bool IsPlain(int I) const {
    const TKbType t = Call.Arguments()[static_cast<size_t>(I)]->GetDType();
    return t != dtFunCall && t != dtVariantArray;
  }
  // Argument I evaluated as Value(I) evaluates it, read in place (no
  // reference counted) when it stands for itself or is a variable of the
  // context's frame, and kept in Hold otherwise. The reference is valid
  // until Hold changes or the variable is bound again, so a caller that
  // evaluates another argument afterwards peeks only when that one
  // IsPlain.
  [[gnu::always_inline]] const TKbValue& Peek(int I, IKbValue& Hold) const {
    const TKbValue& a = *Call.Arguments()[static_cast<size_t>(I)];
    switch (a.GetDType()) {
      case dtVariable:
      case dtMultiVariable:
        if (Context)
          if (const IKbValue* v = Context->FrameValue(a)) return **v;
        break;
      case dtFunCall:
      case dtVariantArray: break;
      default: return a;
    }
    return Held(I, Hold);
  }
  // Argument I evaluated into Hold: the way Peek takes when it cannot
  // read in place.
  const TKbValue& Held(int I, IKbValue& Hold) const;
  // The typed getters raise SNotCorrectType (with dtNone for nothing).
  std::string Str(int I) const { return Value(I)->GetAsString(); }
  int64_t Int(int I) const { return IntOf(Value(I)); }
  // A value read as an integer; a float is truncated toward zero, and one
  // without a 64-bit integer value (NaN, out of range) raises
  // SIntegerOverflow naming the function instead of being clamped.
  int64_t IntOf(const IKbValue& V) const;
  // The same for what is held in 32 bits (indexes, counts, periods): an
  // integer outside that range raises SIntegerOverflow naming the function.
  int32_t Int32(int I) const { return Int32Of(Value(I)); }
  int32_t Int32Of(const IKbValue& V) const;
  double Num(int I) const { return Value(I)->GetAsNumeric(); }
  IValueVector List(int I) const { return Value(I)->GetAsList(); }
  // An item of a multifield resolved in the context; nil stays nil.
  IKbValue Resolve(const IKbValue& Item) const { return Item ? Item->Resolve(Context) : Item; }
  // An item resolved and read as a number; a nil item raises the conversion
  // error of an empty value.
  double ItemNum(const IKbValue& Item) const;
  const std::string& Name() const { return Call.GetName(); }
  TDeducer* Engine() const { return Context ? Context->GetEngine() : nullptr; }
  // The context and the engine the call runs in; each raises when absent
  // (SNoContext, SUnknownEngine).
  TKbContext& Ctx() const {
    if (!Context) [[unlikely]]
      NoContext();
    return *Context;
  }
  TDeducer& Eng() const {
    TDeducer* e = Engine();
    if (!e) [[unlikely]]
      NoEngine();
    return *e;
  }

  // Whether argument I, as written, is the keyword atom Keyword (FCThen...).
  bool IsKeyword(int I, const IKbValue& Keyword) const;
  // The index of the first argument from First on that is Keyword as
  // written, or Count() when there is none.
  int FindKeyword(int First, const IKbValue& Keyword) const;
  // Argument I evaluated as a condition: anything but FALSE is true.
  bool Truth(int I) const { return !IsFalse(Eval(I)); }
  // Evaluates arguments First to Last in order, Result taking each value.
  // When one raises the context's return flag, Result becomes the return
  // value and the answer is true: the caller passes it on at once.
  bool Run(int First, int Last, IKbValue& Result) const;

  TFunctionCall& Call;
  TKbContext* Context;

 private:
  // The empty value Value gives for nothing.
  static const IKbValue& Nothing();
  [[noreturn]] static void NoContext();
  [[noreturn]] static void NoEngine();
};

// The CommentFormat text of a built-in: description and syntax.
std::string FunctionComment(const char* Description, const char* Syntax);

// Registers a function class under its class name with the class registry
// (framework/Classes.h), so that packages and stored knowledge bases can
// create it by name. Returns true (for static initialisation).
bool RegisterFunctionClass(const char* ClassName, TKbUserFunction* (*Create)());
// A new function object of the registered class, or nil.
IUserFunction CreateFunctionByClassName(std::string_view ClassName);

// Function classes with state or special needs derive from TKbUserFunction
// directly and register with KB_REGISTER_FUNCTION(ClassName).
#define KB_REGISTER_FUNCTION(ClassName)                                                   \
  [[maybe_unused]] static const bool ClassName##Registered = ::kb::RegisterFunctionClass( \
      #ClassName, []() -> ::kb::TKbUserFunction* { return new ClassName(); })

#define KB_FUNCTION(ClassName, Name, Min, Max, Description, Syntax)                       \
  class ClassName final : public ::kb::TKbUserFunction {                                  \
   public:                                                                                \
    ClassName() : ::kb::TKbUserFunction(Name) {                                           \
      SetMinArgumentCount(Min);                                                           \
      SetMaxArgumentCount(Max);                                                           \
      SetComment(::kb::FunctionComment(Description, Syntax));                             \
    }                                                                                     \
    void Call(::kb::TFunctionCall& FunCall, ::kb::TKbContext* Context,                    \
              ::kb::IKbValue& Result) override {                                          \
      CheckStoredBounds(FunCall.GetArgumentCount());                                      \
      Result = Body(::kb::TArgs(FunCall, Context));                                       \
    }                                                                                     \
                                                                                          \
   private:                                                                               \
    static ::kb::IKbValue Body(const ::kb::TArgs& Args);                                  \
  };                                                                                      \
  [[maybe_unused]] static const bool ClassName##Registered = ::kb::RegisterFunctionClass( \
      #ClassName, []() -> ::kb::TKbUserFunction* { return new ClassName(); });            \
  ::kb::IKbValue ClassName::Body([[maybe_unused]] const ::kb::TArgs& Args)

}  // namespace kb
