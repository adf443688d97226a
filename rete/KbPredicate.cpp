#include "rete/KbPredicate.h"

#include <array>
#include <cmath>
#include <iterator>
#include <string_view>
#include <typeinfo>

namespace kb {

namespace {

// Calls nested deeper than this are left to the general evaluation, which
// guards the stack.
constexpr int MaxDepth = 64;

using enum TCompiledPredicate::TOp;

// The operations' function names and the classes of their built-ins, a row
// per operation in its order; the first three are no calls.
struct TOpInfo {
  TCompiledPredicate::TOp Op;
  const char* Name;
  const char* ClassName;
};
constexpr TOpInfo OpInfo[] = {
    {opConstant, nullptr, nullptr},
    {opSlot, nullptr, nullptr},
    {opAddress, nullptr, nullptr},
    {opNumEqual, "=", "TEqualsFunction"},
    {opNumNotEqual, "<>", "TNotEqualsFunction"},
    {opGreater, ">", "TGtFunction"},
    {opGreaterOrEqual, ">=", "TGtOrEqFunction"},
    {opLess, "<", "TLtFunction"},
    {opLessOrEqual, "<=", "TLtOrEqFunction"},
    {opEq, "eq", "TEqFunction"},
    {opNeq, "neq", "TNeqFunction"},
    {opAnd, "and", "TAndFunction"},
    {opOr, "or", "TOrFunction"},
    {opNot, "not", "TNotFunction"},
    {opPlus, "+", "TPlusFunction"},
    {opMinus, "-", "TMinusFunction"},
    {opTimes, "*", "TTimesFunction"},
    {opAbs, "abs", "TAbsFunction"},
};
constexpr size_t OpCount = std::size(OpInfo);

constexpr bool RowsInOpOrder() {
  for (size_t i = 0; i < OpCount; ++i)
    if (OpInfo[i].Op != i) return false;
  return true;
}
static_assert(OpCount == opCount && RowsInOpOrder(), "OpInfo has a row per TOp, in its order");

// The class of each operation's built-in (nullptr when it is not
// registered), found once from the class registry.
const std::type_info* BuiltinType(size_t Op) {
  static const std::array<const std::type_info*, OpCount> types = [] {
    std::array<const std::type_info*, OpCount> r{};
    for (size_t i = 0; i < OpCount; ++i)
      if (OpInfo[i].ClassName)
        if (IUserFunction f = CreateFunctionByClassName(OpInfo[i].ClassName)) r[i] = &typeid(*f);
    return r;
  }();
  return types[Op];
}

// The operation of a call of that name, or OpCount.
size_t OpNamed(std::string_view Name) {
  for (size_t i = 0; i < OpCount; ++i)
    if (OpInfo[i].Name && Name == OpInfo[i].Name) return BuiltinType(i) ? i : OpCount;
  return OpCount;
}

using TOperand = TCompiledPredicate::TOperand;

TOperand Held(const TKbValue* Value) {
  TOperand o;
  o.Value = Value;
  return o;
}

// Whether the operand is the symbol FALSE (IsFalse).
bool IsFalseOperand(const TOperand& O) {
  if (O.Type != dtNone || !O.Value) return false;
  return O.Value == FCFalse.get() || O.Value->Equals(FCFalse.get());
}

// Whether the operand is the symbol TRUE, as "or" asks.
bool IsTrueOperand(const TOperand& O) {
  if (O.Type != dtNone || !O.Value) return false;
  return O.Value == FCTrue.get() || O.Value->Equals(FCTrue.get());
}

// A number made on the way against a value held: TKbValue::Equals.
bool SameAsHeld(const TOperand& Made, const TKbValue* Value) {
  if (!Value || Value->GetDType() != Made.Type) return false;
  return Made.Type == dtFloat ? Value->FloatPayload() == Made.Float
                              : Value->IntPayload() == Made.Int;
}

// Strict equality, as "eq" compares (a nothing equals only nothing).
bool Same(const TOperand& A, const TOperand& B) {
  if (A.Type == dtNone && B.Type == dtNone) return A.Value ? A.Value->Equals(B.Value) : !B.Value;
  if (A.Type == dtNone) return SameAsHeld(B, A.Value);
  if (B.Type == dtNone) return SameAsHeld(A, B.Value);
  if (A.Type != B.Type) return false;
  return A.Type == dtFloat ? A.Float == B.Float : A.Int == B.Int;
}

// The value held by an operand read as a number without conversion (the
// types GetAsNumeric reads directly); false for any other.
template <class N>
bool NumberOfValue(const TKbValue* Value, N& Out) {
  if (!Value) return false;
  switch (Value->GetDType()) {
    case dtInteger:
    case dtFactId:
    case dtDescriptor:
      Out.Int = Value->IntPayload();
      Out.IsFloat = false;
      return true;
    case dtFloat:
      Out.Float = Value->FloatPayload();
      Out.IsFloat = true;
      return true;
    default: return false;
  }
}

}  // namespace

TCompiledPredicate::~TCompiledPredicate() = default;

std::unique_ptr<TCompiledPredicate> TCompiledPredicate::Compile(const IKbValue& Call) {
  if (!Call || Call->GetDType() != dtFunCall) return nullptr;
  IFunCall call = Call->GetAsFunCall();
  if (!call) return nullptr;
  std::unique_ptr<TCompiledPredicate> p(new TCompiledPredicate());
  p->Source_ = Call;
  p->Nodes_.resize(1);
  if (!p->CompileCall(*call, 0, 0)) return nullptr;
  return p;
}

bool TCompiledPredicate::CompileCall(TFunctionCall& Call, size_t Index, int Depth) {
  const size_t op = OpNamed(Call.GetName());
  if (op == OpCount || Depth >= MaxDepth) return false;
  const size_t first = Nodes_.size();
  const size_t count = Call.Arguments().size();
  TNode& n = Nodes_[Index];
  n.Op = static_cast<TOp>(op);
  n.Call = &Call;
  n.First = static_cast<uint32_t>(first);
  n.Count = static_cast<uint32_t>(count);
  Nodes_.resize(first + count);
  bool leaves = true;
  for (size_t i = 0; i < count; ++i) {
    if (!CompileArgument(Call.Arguments()[i], first + i, Depth + 1)) return false;
    const TOp a = Nodes_[first + i].Op;
    leaves = leaves && (a == opConstant || a == opSlot || a == opAddress);
  }
  Nodes_[Index].Leaves = leaves;
  return true;
}

bool TCompiledPredicate::CompileArgument(const IKbValue& Argument, size_t Index, int Depth) {
  if (!Argument) return false;
  TNode& n = Nodes_[Index];
  switch (Argument->GetDType()) {
    case dtFunCall: {
      IFunCall call = Argument->GetAsFunCall();
      return call && CompileCall(*call, Index, Depth);
    }
    case dtVariable:
    case dtMultiVariable:
      // Bound by name (global variables): left to the general evaluation.
      return false;
    case dtVariantArray:
      if (const TSlotReference* r = Argument->GetSlotReference()) {
        n.Op = r->IsAddress() ? opAddress : opSlot;
        n.Ref = r;
        return true;
      }
      break;
    default: break;
  }
  n.Op = opConstant;
  n.Value = Argument.get();
  n.IsNumber = NumberOfValue(n.Value, n.Number);
  return true;
}

bool TCompiledPredicate::CheckBinding(TNode& Node) {
  TKbUserFunction* f = Node.Call->Bind().get();
  if (!f || typeid(*f) != *BuiltinType(Node.Op)) return false;
  const int64_t count = Node.Count;
  if (count < f->GetMinArgumentCount() || count > f->GetMaxArgumentCount()) return false;
  Node.Known = IUserFunction(f);
  return true;
}

[[gnu::always_inline]] inline bool TCompiledPredicate::Checked(TNode& Node) {
  const TKbUserFunction* bound = Node.Call->GetUserFunction().get();
  return (bound && bound == Node.Known.get()) || CheckBinding(Node);
}

namespace {

// The value of a slot node's reference in Facts, or nullptr.
[[gnu::always_inline]] inline const IKbValue* SlotValue(const TSlotReference& Ref,
                                                        const TPredicateFacts& Facts) {
  const TFact* f = Facts.At(Ref.GetFactIndex());
  return f ? Ref.Find(*f) : nullptr;
}

// Whether the comparison Op holds between two integers.
[[gnu::always_inline]] inline bool IntegersCompare(TCompiledPredicate::TOp Op, int64_t L,
                                                   int64_t R) {
  switch (Op) {
    case opNumEqual: return L == R;
    case opNumNotEqual: return L != R;
    case opGreater: return L > R;
    case opGreaterOrEqual: return L >= R;
    case opLess: return L < R;
    default: return L <= R;
  }
}

}  // namespace

bool TCompiledPredicate::Eval(uint32_t I, const TPredicateFacts& Facts, TOperand& Out) {
  TNode& n = Nodes_[I];
  switch (n.Op) {
    case opConstant: Out = Held(n.Value); return true;
    case opSlot: {
      const IKbValue* v = SlotValue(*n.Ref, Facts);
      if (!v) return false;
      Out = Held(v->get());
      return true;
    }
    case opAddress: {
      const TFact* f = Facts.At(n.Ref->GetFactIndex());
      if (!f) return false;
      Out.Type = dtFactId;
      Out.Int = f->GetID();
      return true;
    }
    default: return EvalCall(n, Facts, Out);
  }
}

// A constant or a slot read as a number. REQUIRES: Node is one.
[[gnu::always_inline]] inline bool TCompiledPredicate::LeafNumber(const TNode& Node,
                                                                  const TPredicateFacts& Facts,
                                                                  TNumber& Out) {
  if (Node.Op == opConstant) {
    Out = Node.Number;
    return Node.IsNumber;
  }
  const IKbValue* v = SlotValue(*Node.Ref, Facts);
  return v && NumberOfValue(v->get(), Out);
}

// Whether the call Node has two arguments, each a constant or a slot,
// that read as integers X and Y.
[[gnu::always_inline]] inline bool TCompiledPredicate::TwoIntegers(const TNode& Node,
                                                                   const TPredicateFacts& Facts,
                                                                   int64_t& X, int64_t& Y) {
  if (!Node.Leaves || Node.Count != 2) return false;
  const TNode& a = Nodes_[Node.First];
  const TNode& b = Nodes_[Node.First + 1];
  TNumber x, y;
  if (a.Op == opAddress || b.Op == opAddress || !LeafNumber(a, Facts, x) ||
      !LeafNumber(b, Facts, y) || x.IsFloat || y.IsFloat)
    return false;
  X = x.Int;
  Y = y.Int;
  return true;
}

// Inlined into its callers: a constant or a slot is read in place.
[[gnu::always_inline]] inline bool TCompiledPredicate::NumberAt(uint32_t I,
                                                                const TPredicateFacts& Facts,
                                                                TNumber& Out) {
  TNode& n = Nodes_[I];
  if (n.Op == opConstant || n.Op == opSlot) return LeafNumber(n, Facts, Out);
  switch (n.Op) {
    case opPlus:
    case opMinus:
    case opTimes:
      if (!Checked(n)) return false;
      // Two integers read in place, the common case; an overflow is left
      // to the general evaluation. Anything else is read again (reading a
      // constant or a slot has no effect) by Arithmetic.
      if (int64_t x, y; TwoIntegers(n, Facts, x, y)) {
        const bool overflow = n.Op == opPlus    ? __builtin_add_overflow(x, y, &Out.Int)
                              : n.Op == opMinus ? __builtin_sub_overflow(x, y, &Out.Int)
                                                : __builtin_mul_overflow(x, y, &Out.Int);
        Out.IsFloat = false;
        return !overflow;
      }
      return Arithmetic(n, Facts, Out);
    default: return CallNumber(n, Facts, Out);
  }
}

TCompiledPredicate::TTruth TCompiledPredicate::Test(const TPredicateFacts& Facts) {
  TNode& root = Nodes_[0];
  switch (root.Op) {
    case opNumEqual:
    case opNumNotEqual:
    case opGreater:
    case opGreaterOrEqual:
    case opLess:
    case opLessOrEqual:
      if (!Checked(root)) return ptUnknown;
      // Two constants or slots, the common test: two integers are
      // compared here, anything else as Compare does (reading a constant
      // or a slot again has no effect).
      if (int64_t x, y; TwoIntegers(root, Facts, x, y))
        return IntegersCompare(root.Op, x, y) ? ptTrue : ptFalse;
      return Compare(root, Facts);
    default: break;
  }
  TOperand r;
  if (!EvalCall(root, Facts, r)) return ptUnknown;
  return IsFalseOperand(r) ? ptFalse : ptTrue;
}

bool TCompiledPredicate::CallNumber(TNode& Node, const TPredicateFacts& Facts, TNumber& Out) {
  switch (Node.Op) {
    case opAbs: return Checked(Node) && Arithmetic(Node, Facts, Out);
    default: {
      TOperand o;
      if (!Eval(static_cast<uint32_t>(&Node - Nodes_.data()), Facts, o)) return false;
      if (o.Type == dtNone) return NumberOfValue(o.Value, Out);
      Out.IsFloat = o.Type == dtFloat;
      if (Out.IsFloat)
        Out.Float = o.Float;
      else
        Out.Int = o.Int;
      return true;
    }
  }
}

bool TCompiledPredicate::EvalCall(TNode& Node, const TPredicateFacts& Facts, TOperand& Out) {
  if (!Checked(Node)) return false;
  switch (Node.Op) {
    case opPlus:
    case opMinus:
    case opTimes:
    case opAbs: {
      TNumber r;
      if (!Arithmetic(Node, Facts, r)) return false;
      if (r.IsFloat) {
        Out.Type = dtFloat;
        Out.Float = r.Float;
      } else {
        Out.Type = dtInteger;
        Out.Int = r.Int;
      }
      return true;
    }
    case opAnd:
    case opOr:
    case opNot:
    case opEq:
    case opNeq: return Logic(Node, Facts, Out);
    default: {
      const TTruth t = Compare(Node, Facts);
      if (t == ptUnknown) return false;
      Out = Held(t == ptTrue ? FCTrue.get() : FCFalse.get());
      return true;
    }
  }
}

bool TCompiledPredicate::Logic(const TNode& Node, const TPredicateFacts& Facts, TOperand& Out) {
  TOperand a;
  switch (Node.Op) {
    case opAnd:
      for (uint32_t i = 0; i < Node.Count; ++i) {
        if (!Eval(Node.First + i, Facts, a)) return false;
        if (IsFalseOperand(a)) {
          Out = Held(FCFalse.get());
          return true;
        }
      }
      Out = Held(FCTrue.get());
      return true;
    case opOr:
      for (uint32_t i = 0; i < Node.Count; ++i) {
        if (!Eval(Node.First + i, Facts, a)) return false;
        if (IsTrueOperand(a)) {
          Out = Held(FCTrue.get());
          return true;
        }
      }
      Out = Held(FCFalse.get());
      return true;
    case opNot:
      if (!Eval(Node.First, Facts, a)) return false;
      Out = Held(BoolValue(IsFalseOperand(a)).get());
      return true;
    default: {
      // eq and neq compare every argument with the first.
      TOperand first;
      if (!Eval(Node.First, Facts, first)) return false;
      for (uint32_t i = 1; i < Node.Count; ++i) {
        if (!Eval(Node.First + i, Facts, a)) return false;
        if (Same(first, a) != (Node.Op == opEq)) {
          Out = Held(FCFalse.get());
          return true;
        }
      }
      Out = Held(FCTrue.get());
      return true;
    }
  }
}

TCompiledPredicate::TTruth TCompiledPredicate::Compare(const TNode& Node,
                                                       const TPredicateFacts& Facts) {
  // "=" and "<>" compare every argument with the first, the others each
  // with the one before; the first that fails decides.
  const bool toFirst = Node.Op == opNumEqual || Node.Op == opNumNotEqual;
  TNumber left, right;
  if (!NumberAt(Node.First, Facts, left)) return ptUnknown;
  for (uint32_t i = 1; i < Node.Count; ++i) {
    if (!NumberAt(Node.First + i, Facts, right)) return ptUnknown;
    bool holds;
    if (!left.IsFloat && !right.IsFloat) {
      // Two integers, the common case, compared directly.
      holds = IntegersCompare(Node.Op, left.Int, right.Int);
    } else {
      const TNumberOrder order = CompareNumbers(left, right);
      switch (Node.Op) {
        case opNumEqual: holds = order == noEqual; break;
        case opNumNotEqual: holds = order != noEqual; break;
        case opGreater: holds = order == noGreater; break;
        case opGreaterOrEqual: holds = order == noGreater || order == noEqual; break;
        case opLess: holds = order == noLess; break;
        default: holds = order == noLess || order == noEqual; break;
      }
    }
    if (!holds) return ptFalse;
    if (!toFirst) left = right;
  }
  return ptTrue;
}

bool TCompiledPredicate::Arithmetic(const TNode& Node, const TPredicateFacts& Facts, TNumber& Out) {
  if (Node.Op == opAbs) return Absolute(Node, Facts, Out);
  // The running total: exact in 64 bits while only integers take part (a
  // step that overflows is left to the math package, whose total is exact
  // in 128 bits); from the first float on, in extended precision
  // (Floating).
  int64_t whole = Node.Op == opTimes ? 1 : 0;
  uint32_t i = 0;
  TNumber a;
  if (Node.Op == opMinus) {
    if (!NumberAt(Node.First, Facts, a)) return false;
    if (a.IsFloat) return Floating(Node, Facts, 1, a.Float, Out);
    whole = a.Int;
    i = 1;
  }
  for (; i < Node.Count; ++i) {
    if (!NumberAt(Node.First + i, Facts, a)) return false;
    if (a.IsFloat) {
      const long double total = static_cast<long double>(whole);
      const long double x = a.Float;
      return Floating(Node, Facts, i + 1,
                      Node.Op == opPlus    ? total + x
                      : Node.Op == opMinus ? total - x
                                           : total * x,
                      Out);
    }
    const int64_t x = a.Int;
    bool overflow;
    switch (Node.Op) {
      case opPlus: overflow = __builtin_add_overflow(whole, x, &whole); break;
      case opMinus: overflow = __builtin_sub_overflow(whole, x, &whole); break;
      default: overflow = __builtin_mul_overflow(whole, x, &whole); break;
    }
    if (overflow) return false;
  }
  Out.Int = whole;
  Out.IsFloat = false;
  return true;
}

bool TCompiledPredicate::Floating(const TNode& Node, const TPredicateFacts& Facts, uint32_t Next,
                                  long double Total, TNumber& Out) {
  TNumber a;
  for (uint32_t i = Next; i < Node.Count; ++i) {
    if (!NumberAt(Node.First + i, Facts, a)) return false;
    const long double x =
        a.IsFloat ? static_cast<long double>(a.Float) : static_cast<long double>(a.Int);
    switch (Node.Op) {
      case opPlus: Total = Total + x; break;
      case opMinus: Total = Total - x; break;
      default: Total = Total * x; break;
    }
  }
  Out.Float = static_cast<double>(Total);
  Out.IsFloat = true;
  return true;
}

bool TCompiledPredicate::Absolute(const TNode& Node, const TPredicateFacts& Facts, TNumber& Out) {
  // Integers and floats of their own type only: no fact address.
  TOperand a;
  if (!Eval(Node.First, Facts, a)) return false;
  const TKbType type = a.Type != dtNone ? a.Type : a.Value ? a.Value->GetDType() : dtNone;
  if (type == dtInteger) {
    const int64_t i = a.Type != dtNone ? a.Int : a.Value->IntPayload();
    if (i == INT64_MIN) return false;
    Out.Int = i < 0 ? -i : i;
    Out.IsFloat = false;
    return true;
  }
  if (type != dtFloat) return false;
  Out.Float = std::fabs(a.Type != dtNone ? a.Float : a.Value->FloatPayload());
  Out.IsFloat = true;
  return true;
}

}  // namespace kb
