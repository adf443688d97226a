// Predicates compiled for the joins.
//
// A predicate of a rule (a test element, or a :(...) constraint) reaches
// the network as a call whose variables are slot references (compiled
// variables, TSlotReference). The general evaluation runs it as it runs
// any call: the match becomes a counted token chain, the call resolves its
// arguments in a context, and every intermediate result is a new value.
// TCompiledPredicate evaluates the common predicates -- numeric
// comparisons, eq and neq, and, or, not, and integer and float
// arithmetic over constants and the values of the match's slots -- from
// the match's facts directly: a tree of operations built when the rule is
// compiled, whose intermediate results are plain numbers or pointers to
// values already held by the facts and the call. It allocates nothing.
//
// It decides only what it decides exactly as the general evaluation
// would, and answers Unknown otherwise; the caller then evaluates the call
// in the general way, which gives the result or raises the error. It
// gives up on a value of a type it does not read (a text read as a
// number, a list, nothing), an integer result out of range, a missing
// fact, slot or element, and a call whose function is not the built-in
// its operation stands for (a deffunction or host function registered
// under that name). Only calls made of its operations, constants and slot
// references are compiled, and every operation is free of side effects,
// so giving up part way and evaluating the whole call again changes
// nothing. Calls are bound to their functions exactly when the general
// evaluation would bind them: on first use, in the order it reaches them.
//
// Arithmetic follows the math package: integers are summed and multiplied
// exactly in 64 bits (a step that overflows is left to the general
// evaluation, whose exact total decides between a result and the overflow
// error), and once a float takes part the running total is kept in
// extended precision and rounded to a float at the end. Comparisons are
// exact, as the comparison functions make them (CompareNumbers).
//
// Ownership: a compiled predicate holds the call's value, and through it
// every argument it reads by pointer. Not thread-safe: evaluating may bind
// the call, as the general evaluation does.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/KbFunctions.h"
#include "core/KbNumber.h"
#include "core/KbValue.h"
#include "rete/KbToken.h"

namespace kb {

// The facts a predicate reads: the Count facts of a partial match (read
// as TKbToken::FactAt reads a chain) and the fact arriving on the right at
// index Count. A match is either an array of facts (Prefix holding facts
// 0 .. Count-2, Last the fact at Count-1) or a token.
struct TPredicateFacts {
  const TFact* const* Prefix = nullptr;
  const TFact* Last = nullptr;
  const TKbToken* Token = nullptr;
  int32_t Count = 0;
  const TFact* Right = nullptr;

  // The fact a slot reference of fact index I means (TSlotReference::FactIn).
  const TFact* At(int32_t I) const noexcept {
    if (I == Count) return Right;
    if (I < 0 || Count == 0) return nullptr;
    if (Token) return Token->FactAt(I);
    return I >= Count - 1 ? Last : Prefix[I];
  }
};

class TCompiledPredicate {
 public:
  // The operations a compiled predicate evaluates. The table of their
  // function and class names (KbPredicate.cpp) is checked against this
  // order when it compiles.
  enum TOp : uint8_t {
    opConstant,
    opSlot,
    opAddress,
    opNumEqual,
    opNumNotEqual,
    opGreater,
    opGreaterOrEqual,
    opLess,
    opLessOrEqual,
    opEq,
    opNeq,
    opAnd,
    opOr,
    opNot,
    opPlus,
    opMinus,
    opTimes,
    opAbs,
    opCount
  };
  enum TTruth : uint8_t {
    ptFalse,    // the call gives FALSE
    ptTrue,     // the call gives anything else
    ptUnknown,  // evaluate the call in the general way
  };

  // The compiled form of Call (a dtFunCall value), or nullptr when it uses
  // anything but the operations, constants and slot references covered.
  static std::unique_ptr<TCompiledPredicate> Compile(const IKbValue& Call);
  TCompiledPredicate(const TCompiledPredicate&) = delete;
  TCompiledPredicate& operator=(const TCompiledPredicate&) = delete;
  ~TCompiledPredicate();

  // The call's value this was compiled from.
  const TKbValue* GetSource() const noexcept { return Source_.get(); }
  // Whether the call gives FALSE for the match Facts. Binds the calls it
  // reaches that are unbound.
  TTruth Test(const TPredicateFacts& Facts);

  // An intermediate result: a value held elsewhere (Value, perhaps
  // nullptr for nothing) or a number made on the way (Type dtInteger,
  // dtFactId or dtFloat).
  struct TOperand {
    TKbType Type = dtNone;  // dtNone: Value
    union {
      const TKbValue* Value;
      int64_t Int;
      double Float;
    };
    TOperand() : Value(nullptr) {}
  };

 private:
  // A number as the numeric functions read it without conversion.
  using TNumber = TKbNumber;
  struct TNode {
    TOp Op = opConstant;
    bool IsNumber = false;  // constants: a number, read as Number
    bool Leaves = false;    // calls: every argument is a constant, slot or address
    uint32_t First = 0;     // calls: the arguments are nodes First .. First+Count-1
    uint32_t Count = 0;
    TNumber Number{{0}, false};
    const TKbValue* Value = nullptr;      // constants
    const TSlotReference* Ref = nullptr;  // slots and addresses
    TFunctionCall* Call = nullptr;        // calls
    IUserFunction Known;                  // calls: the built-in last found bound
  };

  TCompiledPredicate() = default;
  // Compile node Index from a call or an argument of one, nested Depth
  // calls deep.
  bool CompileCall(TFunctionCall& Call, size_t Index, int Depth);
  bool CompileArgument(const IKbValue& Argument, size_t Index, int Depth);
  // Whether Node's call is bound (binding it if need be) to the built-in
  // of its operation with an argument count it accepts.
  bool Checked(TNode& Node);
  bool CheckBinding(TNode& Node);
  // Node I's result; false to give up.
  bool Eval(uint32_t I, const TPredicateFacts& Facts, TOperand& Out);
  // A constant's or slot's value read as a number; false to give up.
  bool LeafNumber(const TNode& Node, const TPredicateFacts& Facts, TNumber& Out);
  // Whether a call node has two arguments, constants or slots, that read
  // as integers (X and Y); false to read them otherwise.
  bool TwoIntegers(const TNode& Node, const TPredicateFacts& Facts, int64_t& X, int64_t& Y);
  // Node I's result read as a number; false to give up.
  bool NumberAt(uint32_t I, const TPredicateFacts& Facts, TNumber& Out);
  // The result of a call node, its function checked.
  bool EvalCall(TNode& Node, const TPredicateFacts& Facts, TOperand& Out);
  bool Logic(const TNode& Node, const TPredicateFacts& Facts, TOperand& Out);
  // A comparison's result: TRUE or FALSE, or ptUnknown to give up.
  TTruth Compare(const TNode& Node, const TPredicateFacts& Facts);
  bool CallNumber(TNode& Node, const TPredicateFacts& Facts, TNumber& Out);
  bool Arithmetic(const TNode& Node, const TPredicateFacts& Facts, TNumber& Out);
  // Arithmetic from argument Next on, the total so far Total (a float
  // took part).
  bool Floating(const TNode& Node, const TPredicateFacts& Facts, uint32_t Next, long double Total,
                TNumber& Out);
  bool Absolute(const TNode& Node, const TPredicateFacts& Facts, TNumber& Out);

  IKbValue Source_;
  std::vector<TNode> Nodes_;
};

}  // namespace kb
