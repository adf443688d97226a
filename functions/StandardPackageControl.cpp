// The standard package's functions for variables, storage, control flow,
// errors, truth values and comparisons.
//
// Every function receives its arguments as written and evaluates them when
// (and as often as) its semantics require: "if" evaluates only the branch it
// takes, "and" stops at the first FALSE, loops evaluate their condition on
// every round. Keywords (then, else, do, finally, catch, except) are
// recognised as written, never evaluated.
//
// "return" raises the context's return flag; "if", "while", "foreach" and
// "try" stop at it and pass the value on, and the deffunction that ran them
// takes it as its result (TInterpretedFunction::Call).
#include <exception>
#include <functional>
#include <new>

#include "core/KbNumber.h"
#include "engine/Deducer.h"
#include "engine/DeducerPackages.h"
#include "engine/DeducerParse.h"

namespace kb {

namespace {

// Makes a control function see only the returns raised inside it. A return
// flag already raised when it starts (by a "return" evaluated as an argument
// of an enclosing call, or left over from a return outside any deffunction)
// is lowered for its run and raised again afterwards, unless a newer return
// replaced it.
class TReturnScope {
 public:
  explicit TReturnScope(TKbContext* Context)
      : Context_(Context), Pending_(Context && Context->GetReturnValueSet()) {
    if (Pending_) {
      Value_ = Context->GetReturnValue();
      Context->ClearReturnValue();
    }
  }
  ~TReturnScope() {
    if (Pending_ && !Context_->GetReturnValueSet()) Context_->SetReturnValue(Value_);
  }
  TReturnScope(const TReturnScope&) = delete;
  TReturnScope& operator=(const TReturnScope&) = delete;

 private:
  TKbContext* Context_;
  bool Pending_;
  IKbValue Value_;
};

// Strict equality of two results, either of which may be nothing.
bool SameValue(const IKbValue& A, const IKbValue& B) { return A ? A->Equals(B) : !B; }

// Equality in value only. Values that cannot be read as each other's type
// are simply not equal.
bool SameValueStar(const IKbValue& A, const IKbValue& B) {
  if (!A) return !B;
  try {
    return A->EqualsStar(B);
  } catch (const EKbException&) {
    return false;
  }
}

// TRUE when every argument after the first compares to the first as Test
// says; each argument is evaluated once, the rest not after a failure.
template <class Test>
IKbValue CompareToFirst(const TArgs& Args, Test Holds) {
  IKbValue first = Args.Eval(0);
  for (int i = 1; i < Args.Count(); ++i)
    if (!Holds(first, Args.Eval(i))) return FCFalse;
  return FCTrue;
}

// Argument I read as a number, evaluated once.
TKbNumber NumArg(const TArgs& Args, int I) { return NumberOf(*Args.Value(I)); }

// TRUE when every further numeric argument compares to the first as Test
// says of their order.
template <class Test>
IKbValue CompareNumbersToFirst(const TArgs& Args, Test Holds) {
  const TKbNumber first = NumArg(Args, 0);
  for (int i = 1; i < Args.Count(); ++i)
    if (!Holds(CompareNumbers(first, NumArg(Args, i)))) return FCFalse;
  return FCTrue;
}

// TRUE when every neighbouring pair of numeric arguments is in order; each
// argument is evaluated once.
template <class Order>
IKbValue CompareChain(const TArgs& Args, Order InOrder) {
  TKbNumber left = NumArg(Args, 0);
  for (int i = 1; i < Args.Count(); ++i) {
    const TKbNumber right = NumArg(Args, i);
    if (!InOrder(CompareNumbers(left, right))) return FCFalse;
    left = right;
  }
  return FCTrue;
}

}  // namespace

// ------------------------------------------------------ variables, storage

KB_FUNCTION(TBindFunction, "bind", 2, 2,
            "Binds a variable to a value and returns the evaluated value",
            "bind <variable> <expression>") {
  TKbContext& context = Args.Ctx();
  // The variable as written; its text is read in place (held here in case
  // the value's evaluation changes the call).
  const IKbValue variable = Args.Raw(0);
  IKbValue value = Args.Eval(1);
  // A call that returned nothing binds nil: a binding always has a value.
  if (!value) value = FCNil;
  if (variable->IsText())
    context.SetVariable(variable->GetText(), variable->GetFrameHint(), value);
  else
    context.SetVariable(variable->GetAsString(), variable->GetFrameHint(), value);
  return value;
}

KB_FUNCTION(TExtractGlobalFunction, "__get-var", 1, 1, "", "__get-var <variable-name>") {
  const IKbValue& raw = Args.Raw(0);
  if (raw && KbVariableTypes.Contains(raw->GetDType())) return Args.Eval(0);
  std::string name = Args.Str(0);
  TBinding* binding = Args.Context ? Args.Context->FindBinding(name) : nullptr;
  return binding && binding->GetValue() ? binding->GetValue() : FCNil;
}

KB_FUNCTION(TStoreFunction, "store", 2, 2,
            "Stores the specified value associated with the specified name.  You can retrieve "
            "the value later using the name and the fetch command",
            "store <variable-name> <value>") {
  TDeducer& engine = Args.Eng();
  std::string key = Args.Str(0);
  IKbValue value = Args.Eval(1);
  // Storing nil (or nothing) forgets the key; fetch then gives nil.
  if (!value || value.get() == FCNil.get()) {
    engine.Variables().Remove(key);
    return IKbValue();
  }
  engine.Variables().Put(key, value);
  return value;
}

KB_FUNCTION(TFetchFunction, "fetch", 1, 1,
            "Retrieves and returns the value previously stored using the store command.  The "
            "<lexeme-expression> is the string or symbol used as the key to store the value",
            "fetch <lexeme-expression>") {
  TDeducer& engine = Args.Eng();
  // The key is evaluated, as store's is, so that (store ?k ...) and
  // (fetch ?k) meet.
  IKbValue value = engine.Variables().Get(Args.Str(0));
  return value ? value : FCNil;
}

KB_FUNCTION(TClearStorageFunction, "clear-storage", 0, 0,
            "Clears the storage area where the store and fetch command save values",
            "clear-storage") {
  Args.Eng().Variables().Clear();
  return IKbValue();
}

KB_FUNCTION(TGenSymStarFunction, "gensym*", 0, 0,
            "Returns a sequenced symbol of the form \"genX\" where X is an integer.  Repeated "
            "calls will return monotonically increasing values for X",
            "gensym*") {
  return NewAtom(Args.Eng().GenerateSymbol("gen"));
}

// ------------------------------------------------------------ truth values

KB_FUNCTION(TAndFunction, "and", 0, MaxArguments,
            "Returns TRUE if every argument evaluates to TRUE, FALSE otherwise",
            "and <expression>*") {
  for (int i = 0; i < Args.Count(); ++i)
    if (!Args.Truth(i)) return FCFalse;
  return FCTrue;
}

KB_FUNCTION(TOrFunction, "or", 0, MaxArguments,
            "Returns TRUE if any argument evaluates to TRUE, FALSE otherwise", "or <expression>*") {
  // Only TRUE itself counts here.
  for (int i = 0; i < Args.Count(); ++i) {
    IKbValue v = Args.Eval(i);
    if (v.get() == FCTrue.get() || (v && v->Equals(FCTrue))) return FCTrue;
  }
  return FCFalse;
}

KB_FUNCTION(TNotFunction, "not", 1, 1,
            "Returns TRUE if the argument evaluates to FALSE, otherwise it returns FALSE",
            "not <expression>") {
  return BoolValue(!Args.Truth(0));
}

// ------------------------------------------------------------- comparisons

KB_FUNCTION(TEqFunction, "eq", 1, MaxArguments,
            "Returns TRUE if the first argument equals (in type and value) all of the following "
            "arguments",
            "eq <expression> <expression>+") {
  return CompareToFirst(Args, SameValue);
}

KB_FUNCTION(TEqStarFunction, "eq*", 1, MaxArguments,
            "Returns TRUE if the first argument equals (in value) all of the following "
            "arguments.  Note that the types may differ",
            "eq* <expression> <expression>+") {
  return CompareToFirst(Args, SameValueStar);
}

KB_FUNCTION(TNeqFunction, "neq", 1, MaxArguments,
            "Returns TRUE if the first argument equals none of the following arguments",
            "neq <expression> <expression>*") {
  return CompareToFirst(Args,
                        [](const IKbValue& A, const IKbValue& B) { return !SameValue(A, B); });
}

KB_FUNCTION(TEqualsFunction, "=", 1, MaxArguments,
            "Returns TRUE if the first numeric argument equals all of the following numeric "
            "arguments",
            "= <numeric-expression> <numeric-expression>+") {
  return CompareNumbersToFirst(Args, [](TNumberOrder O) { return O == noEqual; });
}

KB_FUNCTION(TNotEqualsFunction, "<>", 1, MaxArguments,
            "Returns TRUE if the numeric first argument equals none of the following numeric "
            "arguments",
            "<> <numeric-expression> <numeric-expression>*") {
  return CompareNumbersToFirst(Args, [](TNumberOrder O) { return O != noEqual; });
}

KB_FUNCTION(TGtFunction, ">", 2, MaxArguments,
            "Returns TRUE if, for all arguments, argument n is greater than argument n + 1",
            "> <numeric-expression> <numeric-expression>+") {
  return CompareChain(Args, [](TNumberOrder O) { return O == noGreater; });
}

KB_FUNCTION(TGtOrEqFunction, ">=", 2, MaxArguments,
            "Returns TRUE if, for all arguments, argument n is greater than or equal to argument "
            "n + 1",
            ">= <numeric-expression> <numeric-expression>+") {
  return CompareChain(Args, [](TNumberOrder O) { return O == noGreater || O == noEqual; });
}

KB_FUNCTION(TLtFunction, "<", 2, MaxArguments,
            "Returns TRUE if, for all arguments, argument n is less than argument n + 1",
            "< <numeric-expression> <numeric-expression>+") {
  return CompareChain(Args, [](TNumberOrder O) { return O == noLess; });
}

KB_FUNCTION(TLtOrEqFunction, "<=", 2, MaxArguments,
            "Returns TRUE if, for all arguments, argument n is less than or equal to argument n "
            "+ 1",
            "<= <numeric-expression> <numeric-expression>+") {
  return CompareChain(Args, [](TNumberOrder O) { return O == noLess || O == noEqual; });
}

// ------------------------------------------------------------ control flow

KB_FUNCTION(TIfFunction, "if", 2, MaxArguments,
            "Evaluates the first argument.  If the first argument is TRUE, then it executes the "
            "expressions after the \"then\" keyword.  If the first argument is FALSE and the "
            "\"else\" keyword is present, it executes the expressions after the \"else\" keyword",
            "if <predicate-expression> then <expression>+ [else <expression>+]") {
  if (!Args.IsKeyword(1, FCThen)) KbError(SSyntaxError, SMissingThen);
  TReturnScope scope(Args.Context);
  const int elseAt = Args.FindKeyword(2, FCElse);
  IKbValue result = FCFalse;
  if (Args.Truth(0))
    Args.Run(2, elseAt - 1, result);
  else
    Args.Run(elseAt + 1, Args.Count() - 1, result);
  return result;
}

KB_FUNCTION(TWhileFunction, "while", 2, MaxArguments,
            "Evaluates and executes the expressions in a loop as long as the boolean expression "
            "evaluates to TRUE.  The <boolean-expression> is evaluated BEFORE the start of the "
            "loop, including the first time",
            "while <boolean-expression> [do] <expression>*") {
  TReturnScope scope(Args.Context);
  const int first = Args.IsKeyword(1, FCDo) ? 2 : 1;
  const int last = Args.Count() - 1;
  IKbValue condition = Args.Eval(0);
  while (!IsFalse(condition)) {
    IKbValue result;
    if (Args.Run(first, last, result)) return result;
    condition = Args.Eval(0);
  }
  return condition;
}

KB_FUNCTION(TForEachFunction, "foreach", 2, MaxArguments,
            "Evaluates the <list-expression> to a multifield and, for each of its items in "
            "order, binds the variable named <variable-name> to the item and executes the "
            "expressions.  Returns the value of the last expression executed.  For example, "
            "(foreach ?c (create$ red green blue) (printout t ?c \" color\" crlf)) prints red "
            "color, green color and blue color on three lines and returns the value of the last "
            "printout",
            "foreach <variable-name> <list-expression> <expression>*") {
  TKbContext& context = Args.Ctx();
  TReturnScope scope(Args.Context);
  // The loop variable is named as written (?c or c); any other expression
  // gives the name as its text.
  const IKbValue& raw = Args.Raw(0);
  std::string name =
      raw && KbVariableTypes.Contains(raw->GetDType()) ? raw->GetAsString() : Args.Str(0);
  IValueVector list = Args.List(1);
  const int last = Args.Count() - 1;
  IKbValue result = FCNil;
  // The live count: a body that shortens the list ends the loop early
  // instead of reading past its end.
  for (int i = 0; i < list->Count(); ++i) {
    const IKbValue& item = list->Get(i);
    IKbValue value = item ? item->Resolve(&context) : IKbValue();
    context.SetVariable(name, value ? value : FCNil);
    if (Args.Run(2, last, result)) return result;
  }
  return result;
}

KB_FUNCTION(TReturnFunction, "return", 1, 1,
            "Returns the <expression> specified.  The return command forces execution to break "
            "out of a loop, deffunction, if, or similar structure",
            "return <expression>") {
  TKbContext& context = Args.Ctx();
  // The value is taken now, so that nothing run on the way out (a finally
  // section) changes what is returned.
  IKbValue value = Args.Eval(0);
  context.SetReturnValue(value);
  return value;
}

// ------------------------------------------------------ ending and errors

KB_FUNCTION(THaltFunction, "halt", 0, 0, "Halts the execution of the deducer", "halt") {
  Args.Eng().SetHalted(true);
  return FCTrue;
}

// Unwinds everything (a try does not catch it) with the silent EAbort; the
// engine's ExitRequested tells whoever catches it that it was an exit.
KB_FUNCTION(TExitFunction, "exit", 0, 0, "Immediately stops execution of the deducer", "exit") {
  if (TDeducer* engine = Args.Engine()) engine->SetExitRequested(true);
  throw EAbort();
}

KB_FUNCTION(TThrowFunction, "throw", 1, 1,
            "Raises an exception with the message equal to the <lexeme-expression>.  Unless the "
            "throw statement is inside a try command, the exception will halt execution of the "
            "deducer",
            "throw <lexeme-expression>") {
  throw Exception(Args.Str(0));
}

namespace {

// What a section of a try ended with, besides a normal end.
struct TTryOutcome {
  std::exception_ptr Fatal;  // an abort (or worse): raised again at the end
  bool Failed = false;       // an error, caught
  std::string Message;
};

// Runs arguments First to Last as one section of a try, recording an error
// instead of letting it escape.
void RunSection(const TArgs& Args, int First, int Last, IKbValue& Result, TTryOutcome& Outcome) {
  try {
    Args.Run(First, Last, Result);
  } catch (const EAbort&) {
    if (!Outcome.Fatal) Outcome.Fatal = std::current_exception();
  } catch (const std::bad_alloc&) {
    if (!Outcome.Fatal) Outcome.Fatal = std::current_exception();
  } catch (const std::exception& e) {
    Outcome.Failed = true;
    Outcome.Message = e.what();
  } catch (...) {
    if (!Outcome.Fatal) Outcome.Fatal = std::current_exception();
  }
}

}  // namespace

KB_FUNCTION(TTryFunction, "try", 1, MaxArguments,
            "Executes the expressions before the \"finally\" keyword (or before \"catch\" or "
            "\"except\" when there is no finally).  Whatever happens in them, a normal end, a "
            "return or an error, the expressions between \"finally\" and \"catch\" or \"except\" "
            "are executed next.  When an error occurs in either part it is caught, the result is "
            "FALSE and the expressions after \"catch\" or \"except\" are executed; otherwise the "
            "result is the value of the last expression executed.  The error message is stored "
            "in the local variable ?__ERROR",
            "try [<expression>*] [finally [<expression>*>] [catch|except [<expression>*]]") {
  const int n = Args.Count();
  int finallyAt = Args.FindKeyword(0, FCFinally);
  int catchAt = n;
  for (int i = finallyAt < n ? finallyAt + 1 : 0; i < n && catchAt == n; ++i)
    if (Args.IsKeyword(i, FCCatch) || Args.IsKeyword(i, FCExcept)) catchAt = i;
  if (finallyAt == n && catchAt == n) KbError(SMissingCatchStatement);
  if (finallyAt == n) finallyAt = catchAt;

  TKbContext* context = Args.Context;
  TReturnScope scope(context);
  IKbValue result;
  TTryOutcome outcome;
  RunSection(Args, 0, finallyAt - 1, result, outcome);

  if (finallyAt < catchAt) {
    // The finally section runs whole even after a return in the body; the
    // body's return stands unless the finally section returns or fails.
    const bool returned = context && context->GetReturnValueSet();
    IKbValue returnValue;
    if (returned) {
      returnValue = context->GetReturnValue();
      context->ClearReturnValue();
    }
    const bool failedBefore = outcome.Failed;
    outcome.Failed = false;
    RunSection(Args, finallyAt + 1, catchAt - 1, result, outcome);
    if (context && context->GetReturnValueSet()) {
      // A return in the finally section wins over everything before it.
      outcome.Failed = false;
    } else if (!outcome.Failed) {
      outcome.Failed = failedBefore;
      if (returned) {
        context->SetReturnValue(returnValue);
        result = returnValue;
      }
    }
  }
  if (outcome.Fatal) std::rethrow_exception(outcome.Fatal);
  if (!outcome.Failed) return result;

  result = FCFalse;
  if (context) context->SetVariable("__ERROR", NewString(outcome.Message));
  Args.Run(catchAt + 1, n - 1, result);
  return result;
}

}  // namespace kb
