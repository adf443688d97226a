#include "rete/KbSlotTest.h"

#include <iterator>
#include <typeinfo>

#include "core/KbContext.h"
#include "core/KbFunctions.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsFact.h"
#include "rete/KbPattern.h"

namespace kb {

namespace {

constexpr TEnumName<TSlotTestType> SlotTestTypes[] = {KB_ENUM_NAME(sttEquals),
                                                      KB_ENUM_NAME(sttNotEquals)};
constexpr TEnumName<TPatternMatchTest> PatternMatchTests[] = {
    KB_ENUM_NAME(pmtUnknown),
    KB_ENUM_NAME(pmtTestEqual),
    KB_ENUM_NAME(pmtTestClassType),
    KB_ENUM_NAME(pmtTestSlotValueEqual),
    KB_ENUM_NAME(pmtTestSlotValueNotEqual),
    KB_ENUM_NAME(pmtTestNotEqual),
    KB_ENUM_NAME(pmtTestMultiSlotEqual),
    KB_ENUM_NAME(pmtTestMultiSlotNotEqual),
    KB_ENUM_NAME(pmtTestMultiSlotLength),
    KB_ENUM_NAME(pmtTestMultiSlotMultiField),
    KB_ENUM_NAME(pmtFailTest),
};
static_assert(std::size(PatternMatchTests) == pmtFailTest + 1);

// A call of Name with the given arguments (shared), made for Reasoner.
IFunCall NewCall(IReasoner* Reasoner, const char* Name, std::initializer_list<IKbValue> Args) {
  IFunCall call(new TFunctionCall(Reasoner, Name));
  for (const IKbValue& a : Args) call->AddArgument(a);
  return call;
}

}  // namespace

KB_DEFINE_ENUM_INFO(TSlotTestType, SlotTestTypes)
KB_DEFINE_ENUM_INFO(TPatternMatchTest, PatternMatchTests)

// ------------------------------------------------------------------- base

void TKbSlotTest::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TKbSlotTest*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  SlotTestType_ = src->SlotTestType_;
}

std::string TKbSlotTest::GetToString() const { return IsNotEquals() ? "<>" : "="; }

std::unique_ptr<TKbSlotTest> TKbSlotTest::Clone() const {
  std::unique_ptr<TKbSlotTest> c = NewInstance();
  c->Assign(this);
  return c;
}

bool TKbSlotTest::Equals(const TKbSlotTest* Other) const {
  return Other && typeid(*Other) == typeid(*this) && Other->SlotTestType_ == SlotTestType_;
}

// ------------------------------------------------------------- join tests

TKbJoinTest::TKbJoinTest(TSlotTestType Type, std::string LeftIndex, std::string RightIndex,
                         int32_t TokenIndex)
    : TKbSlotTest(Type), TokenIndex_(TokenIndex) {
  SetLeftIndex(std::move(LeftIndex));
  SetRightIndex(std::move(RightIndex));
}

TKbJoinTest::TKbJoinTest(TSlotTestType Type, std::string LeftIndex, int32_t LeftSubIndex,
                         std::string RightIndex, int32_t RightSubIndex, int32_t TokenIndex)
    : TKbSlotTest(Type),
      RightSubIndex_(RightSubIndex),
      TokenIndex_(TokenIndex),
      LeftSubIndex_(LeftSubIndex),
      JoinTestType_(tstMultiSlot) {
  SetLeftIndex(std::move(LeftIndex));
  SetRightIndex(std::move(RightIndex));
}

void TKbJoinTest::SetLeftIndex(std::string Value) {
  LeftAddress_ = Value == SPatternBinding;
  Left_.SetName(std::move(Value));
}

void TKbJoinTest::SetRightIndex(std::string Value) {
  RightAddress_ = Value == SPatternBinding;
  Right_.SetName(std::move(Value));
}

std::unique_ptr<TKbSlotTest> TKbJoinTest::NewInstance() const {
  return std::make_unique<TKbJoinTest>();
}

void TKbJoinTest::Assign(const TPersistent* Source) {
  TKbSlotTest::Assign(Source);
  auto* src = dynamic_cast<const TKbJoinTest*>(Source);
  if (!src || src == this) return;
  SetLeftIndex(src->GetLeftIndex());
  SetRightIndex(src->GetRightIndex());
  RightSubIndex_ = src->RightSubIndex_;
  TokenIndex_ = src->TokenIndex_;
  LeftSubIndex_ = src->LeftSubIndex_;
  JoinTestType_ = src->JoinTestType_;
}

std::string TKbJoinTest::GetToString() const {
  std::string r = TKbSlotTest::GetToString();
  r += ' ';
  r += EnumName(JoinTestType_);
  r += " TokenIdx: ";
  r += IntToStr(TokenIndex_);
  r += " Left: ";
  r += GetLeftIndex();
  if (JoinTestType_ == tstMultiSlot) {
    r += ' ';
    r += IntToStr(LeftSubIndex_);
  }
  r += " Right: ";
  r += GetRightIndex();
  if (JoinTestType_ == tstMultiSlot) {
    r += ' ';
    r += IntToStr(RightSubIndex_);
  }
  return r;
}

bool TKbJoinTest::Equals(const TKbSlotTest* Other) const {
  if (!TKbSlotTest::Equals(Other)) return false;
  auto* o = static_cast<const TKbJoinTest*>(Other);
  return o->JoinTestType_ == JoinTestType_ && o->GetLeftIndex() == GetLeftIndex() &&
         o->LeftSubIndex_ == LeftSubIndex_ && o->GetRightIndex() == GetRightIndex() &&
         o->RightSubIndex_ == RightSubIndex_ && o->TokenIndex_ == TokenIndex_;
}

bool TKbJoinTest::Test(const TKbToken* Token, const TFact* Right) const {
  return TestFacts(Token ? Token->FactAt(TokenIndex_) : nullptr, Right);
}

bool TKbJoinTest::TestFacts(const TFact* Left, const TFact* Right) const {
  if (!Left) return JoinTestType_ == tstMultiSlot;
  if (!Right) return false;
  if (LeftAddress_ || RightAddress_) return TestAddresses(*Left, *Right);
  const IKbValue* l = Left_.Get(*Left);
  const IKbValue* r = Right_.Get(*Right);
  if (JoinTestType_ == tstMultiSlot) {
    if (LeftSubIndex_ != NoSubIndex) l = ListElement(l, LeftSubIndex_);
    if (RightSubIndex_ != NoSubIndex) r = ListElement(r, RightSubIndex_);
  }
  if (!l || !r || !*l) return false;
  return (*l)->Equals(*r) != IsNotEquals();
}

bool TKbJoinTest::TestAddresses(const TFact& Left, const TFact& Right) const {
  // The side that is a value: a slot, or an element of one.
  auto value = [this](const TSlotAccessor& Slot, const TFact& Fact, int32_t Sub) {
    const IKbValue* v = Slot.Get(Fact);
    return JoinTestType_ == tstMultiSlot && Sub != NoSubIndex ? ListElement(v, Sub) : v;
  };
  bool equal;
  if (LeftAddress_ && RightAddress_) {
    equal = Left.GetID() == Right.GetID();
  } else if (LeftAddress_) {
    const IKbValue* r = value(Right_, Right, RightSubIndex_);
    if (!r) return false;
    equal = IsAddressOf(*r, Left);
  } else {
    const IKbValue* l = value(Left_, Left, LeftSubIndex_);
    if (!l || !*l) return false;
    equal = IsAddressOf(*l, Right);
  }
  return equal != IsNotEquals();
}

bool TKbJoinTest::PerformTest(TKbContext* Context) const {
  if (!Context) return false;
  return Test(Context->GetToken().get(), Context->GetFact().get());
}

// ---------------------------------------------------------- pattern tests

TKbPatternMatchTest::TKbPatternMatchTest(TKbPattern* Pattern, TSlotTestType Type, int32_t SubIndex,
                                         const IKbValue& Value)
    : TKbSlotTest(Type),
      SlotValue_(Value ? Value->CloneValue() : IKbValue()),
      MultiSlotSubIndex_(SubIndex),
      Pattern_(Pattern) {}

TKbPatternMatchTest::TKbPatternMatchTest(TKbPattern* Pattern, const TKbPatternMatchTest& Template,
                                         const IKbValue& Value)
    : TKbSlotTest(Template.GetSlotTestType()),
      SlotValue_(Value ? Value->CloneValue() : IKbValue()),
      MultiSlotSubIndex_(Template.MultiSlotSubIndex_),
      Conjunction_(Template.Conjunction_),
      Pattern_(Pattern) {}

std::unique_ptr<TKbSlotTest> TKbPatternMatchTest::NewInstance() const {
  return std::make_unique<TKbPatternMatchTest>();
}

void TKbPatternMatchTest::SetSlotValue(const IKbValue& Value) {
  SlotValue_ = Value ? Value->CloneValue() : IKbValue();
  if (Pattern_) Pattern_->TestChange(this);
}

void TKbPatternMatchTest::SetMultiSlotSubIndex(int32_t Value) {
  if (Value == MultiSlotSubIndex_) return;
  MultiSlotSubIndex_ = Value;
  if (Pattern_) Pattern_->TestChange(this);
}

void TKbPatternMatchTest::SetConjunction(bool Value) {
  if (Value == Conjunction_) return;
  Conjunction_ = Value;
  if (Pattern_) Pattern_->TestConjunctionChange(this);
}

void TKbPatternMatchTest::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TKbPatternMatchTest*>(Source);
  if (src == this) return;
  TKbSlotTest::Assign(Source);
  if (!src) return;
  SetSlotValue(src->SlotValue_);
  SetMultiSlotSubIndex(src->MultiSlotSubIndex_);
  SetConjunction(src->Conjunction_);
}

std::string TKbPatternMatchTest::GetToString() const {
  std::string r = TKbSlotTest::GetToString();
  r += " SubIdx: ";
  r += IntToStr(MultiSlotSubIndex_);
  if (SlotValue_) {
    r += " Slot: ";
    r += SlotValue_->GetToString();
  }
  return r;
}

bool TKbPatternMatchTest::Equals(const TKbSlotTest* Other) const {
  if (!TKbSlotTest::Equals(Other)) return false;
  auto* o = static_cast<const TKbPatternMatchTest*>(Other);
  if (o->MultiSlotSubIndex_ != MultiSlotSubIndex_ || o->Conjunction_ != Conjunction_) return false;
  if (!SlotValue_ || !o->SlotValue_) return !SlotValue_ && !o->SlotValue_;
  return SlotValue_->Equals(o->SlotValue_);
}

bool TKbPatternMatchTest::PerformTest(TKbContext* Context) const {
  IKbValue v = SlotValue_ ? SlotValue_->Resolve(Context) : IKbValue();
  return IsFalse(v) == IsNotEquals();
}

IFunCall TKbPatternMatchTest::ConvertToFunCall(IReasoner* Reasoner,
                                               const IKbValue& Variable) const {
  if (IsFunCall()) {
    if (!IsNotEquals()) return SlotValue_->GetAsFunCall();
    return NewCall(Reasoner, "not", {SlotValue_});
  }
  return NewCall(Reasoner, IsNotEquals() ? "neq" : "eq", {SlotValue_, Variable});
}

// ------------------------------------------------------------- slot tests

void TSlotTests::CheckIndex(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
}

void TSlotTests::Notify(TKbPatternMatchTest* Test, TListNotification Action) {
  if (Pattern_) Pattern_->TestNotification(Test, Action);
}

TKbPatternMatchTest* TSlotTests::Get(int Index) const {
  CheckIndex(Index);
  return Items_[static_cast<size_t>(Index)].get();
}

void TSlotTests::Put(int Index, std::unique_ptr<TKbPatternMatchTest> Test) {
  CheckIndex(Index);
  if (!Test) {
    Delete(Index);
    return;
  }
  std::unique_ptr<TKbPatternMatchTest> old = std::move(Items_[static_cast<size_t>(Index)]);
  Test->SetPattern(Pattern_);
  Items_[static_cast<size_t>(Index)] = std::move(Test);
  Notify(old.get(), TListNotification::lnDeleted);
  Notify(Items_[static_cast<size_t>(Index)].get(), TListNotification::lnAdded);
}

int TSlotTests::Add(std::unique_ptr<TKbPatternMatchTest> Test) {
  Insert(Count(), std::move(Test));
  return Count() - 1;
}

void TSlotTests::Insert(int Index, std::unique_ptr<TKbPatternMatchTest> Test) {
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  if (!Test) return;
  Test->SetPattern(Pattern_);
  TKbPatternMatchTest* t = Test.get();
  Items_.insert(Items_.begin() + Index, std::move(Test));
  Notify(t, TListNotification::lnAdded);
}

int TSlotTests::IndexOf(const TKbPatternMatchTest* Test) const {
  for (size_t i = 0; i < Items_.size(); ++i)
    if (Items_[i].get() == Test) return static_cast<int>(i);
  return -1;
}

int TSlotTests::Remove(const TKbPatternMatchTest* Test) {
  int i = IndexOf(Test);
  if (i >= 0) Delete(i);
  return i;
}

std::unique_ptr<TKbPatternMatchTest> TSlotTests::TakeOut(int Index, TListNotification Action) {
  CheckIndex(Index);
  std::unique_ptr<TKbPatternMatchTest> t = std::move(Items_[static_cast<size_t>(Index)]);
  Items_.erase(Items_.begin() + Index);
  Notify(t.get(), Action);
  t->SetPattern(nullptr);
  return t;
}

void TSlotTests::Delete(int Index) { TakeOut(Index, TListNotification::lnDeleted); }

std::unique_ptr<TKbPatternMatchTest> TSlotTests::Extract(int Index) {
  return TakeOut(Index, TListNotification::lnExtracted);
}

void TSlotTests::Clear() {
  while (!Items_.empty()) Delete(Count() - 1);
}

}  // namespace kb
