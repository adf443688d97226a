// Slot tests: the tests of one pattern's slots and the tests of Rete joins.
//
// A TKbPatternMatchTest is one constraint of a pattern slot (or of one
// position of a multislot): a constant, a variable or a predicate call,
// positively or negatively, joined to the previous test of the same slot by
// "and" or "or". A TKbJoinTest compares a slot of the fact arriving at a
// join with a slot of a fact already in the token. TSlotTests is the
// ordered list of one slot's tests, owned by its pattern.
//
// The join tests compare slots by index: each keeps its slot names for text
// and building, and reads facts through TSlotAccessor, which resolves a
// name once per template layout.
//
// Ownership: tests are plain objects owned by one list (a pattern's
// TSlotTests or a network node). A pattern test points back to its pattern
// without owning it and tells it of every change; a test outside any
// pattern tells nobody.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/KbConsts.h"
#include "core/KbInterfaces.h"
#include "core/KbValue.h"
#include "framework/Collections.h"
#include "rete/KbToken.h"

namespace kb {

class TKbPattern;

// How a slot test compares (names in KbSlotTest.cpp).
enum TSlotTestType : uint8_t {
  sttEquals,     // the test holds when the comparison holds; text "="
  sttNotEquals,  // the test holds when the comparison fails; text "<>"
};
template <>
const TEnumInfo& EnumInfo<TSlotTestType>();

// What a join test compares: whole slots (tstSlot) or elements of
// multislots (tstMultiSlot).
using TJoinTestType = TTemplateSlotType;

// The kind of one-fact test a pattern-match node of the network applies to
// the fact of the token it receives (a taClear token passes every kind;
// names in KbSlotTest.cpp).
enum TPatternMatchTest : uint8_t {
  pmtUnknown,                  // never passes (the root of a test element)
  pmtTestEqual,                // [slot]: the slot equals Value, or the call Value yields TRUE
  pmtTestClassType,            // []: the template, or one of its parents, is named Value
  pmtTestSlotValueEqual,       // [slot A, slot B, sub A, sub B]: both values are equal ("__PATTERN"
                               // as slot A: B holds the fact's own address)
  pmtTestSlotValueNotEqual,    // as above: both slots exist and their values differ
  pmtTestNotEqual,             // [slot]: as pmtTestEqual inverted; a missing slot fails
  pmtTestMultiSlotEqual,       // [slot, position]: the list element equals Value (or call TRUE)
  pmtTestMultiSlotNotEqual,    // [slot, position]: as above, inverted; missing element fails
  pmtTestMultiSlotLength,      // [slot, length]: the slot holds a list of exactly that length
  pmtTestMultiSlotMultiField,  // [slot, positions, count, position...]...: one token per way of
                               // cutting the slots' lists at their multifield terms
  pmtFailTest,                 // never passes
};
template <>
const TEnumInfo& EnumInfo<TPatternMatchTest>();

// ----------------------------------------------------------------- base

class TKbSlotTest : public TPersistent {
 public:
  TKbSlotTest() = default;
  explicit TKbSlotTest(TSlotTestType Type) : SlotTestType_(Type) {}
  TKbSlotTest(const TKbSlotTest&) = delete;
  TKbSlotTest& operator=(const TKbSlotTest&) = delete;

  TSlotTestType GetSlotTestType() const noexcept { return SlotTestType_; }
  void SetSlotTestType(TSlotTestType Value) noexcept { SlotTestType_ = Value; }
  bool IsNotEquals() const noexcept { return SlotTestType_ == sttNotEquals; }

  // Copies the test type from another slot test (and, in descendants, the
  // rest of their fields from a test of their class).
  void Assign(const TPersistent* Source) override;
  // "=" or "<>".
  virtual std::string GetToString() const;
  // A new test of the same class assigned from this one (outside any
  // pattern).
  std::unique_ptr<TKbSlotTest> Clone() const;
  // The same class and the same test type (descendants compare more).
  virtual bool Equals(const TKbSlotTest* Other) const;
  // Whether the test holds in Context (its fact and token, its bindings).
  virtual bool PerformTest(TKbContext* Context) const = 0;

 protected:
  // A new, empty test of this object's class.
  virtual std::unique_ptr<TKbSlotTest> NewInstance() const = 0;

 private:
  TSlotTestType SlotTestType_ = sttEquals;
};

// ------------------------------------------------------------ join tests

// Whether Value is the address of Fact (a dtFactId of its identifier). A
// fact address stands for the fact whichever snapshot of it a match holds,
// so it compares by identifier, as "eq" compares addresses.
inline bool IsAddressOf(const IKbValue& Value, const TFact& Fact) noexcept {
  return Value && Value->GetDType() == dtFactId && Value->IntPayload() == Fact.GetID();
}

// Compares slot LeftIndex of the token's fact at TokenIndex ("left") with
// slot RightIndex of the fact arriving on the join's right input
// ("right"), or elements of them for tstMultiSlot. A side named
// "__PATTERN" (a variable bound to a pattern's fact) is that fact's
// address.
class TKbJoinTest final : public TKbSlotTest {
 public:
  TKbJoinTest() = default;
  // A tstSlot test: whole slots, both sub-indexes -1.
  TKbJoinTest(TSlotTestType Type, std::string LeftIndex, std::string RightIndex,
              int32_t TokenIndex);
  // A tstMultiSlot test: elements LeftSubIndex and RightSubIndex (-1 for
  // a whole slot).
  TKbJoinTest(TSlotTestType Type, std::string LeftIndex, int32_t LeftSubIndex,
              std::string RightIndex, int32_t RightSubIndex, int32_t TokenIndex);

  int32_t GetRightSubIndex() const noexcept { return RightSubIndex_; }
  void SetRightSubIndex(int32_t Value) noexcept { RightSubIndex_ = Value; }
  const std::string& GetRightIndex() const noexcept { return Right_.GetName(); }
  void SetRightIndex(std::string Value);
  const std::string& GetLeftIndex() const noexcept { return Left_.GetName(); }
  void SetLeftIndex(std::string Value);
  // Whether a side is the fact's address rather than a slot of it.
  bool IsLeftAddress() const noexcept { return LeftAddress_; }
  bool IsRightAddress() const noexcept { return RightAddress_; }
  int32_t GetTokenIndex() const noexcept { return TokenIndex_; }
  void SetTokenIndex(int32_t Value) noexcept { TokenIndex_ = Value; }
  int32_t GetLeftSubIndex() const noexcept { return LeftSubIndex_; }
  void SetLeftSubIndex(int32_t Value) noexcept { LeftSubIndex_ = Value; }
  TJoinTestType GetJoinTestType() const noexcept { return JoinTestType_; }
  void SetJoinTestType(TJoinTestType Value) noexcept { JoinTestType_ = Value; }

  // Copies all six fields and the test type from another join test.
  void Assign(const TPersistent* Source) override;
  // The base text, the join test type, " TokenIdx: " and the slots.
  std::string GetToString() const override;
  // Also equal join type, slot names, sub-indexes and token index.
  bool Equals(const TKbSlotTest* Other) const override;
  // Test(Context's token, Context's fact).
  bool PerformTest(TKbContext* Context) const override;

  // The test itself, for the hot path: Left is the fact at TokenIndex of
  // the left partial match, Right the arriving fact. A value that cannot
  // be read (no fact, no such slot, no such element) fails the test,
  // whatever its type, except that a tstMultiSlot test without a left
  // fact passes.
  bool TestFacts(const TFact* Left, const TFact* Right) const;
  // The same with Token's fact at TokenIndex on the left.
  bool Test(const TKbToken* Token, const TFact* Right) const;

 protected:
  std::unique_ptr<TKbSlotTest> NewInstance() const override;

 private:
  // TestFacts for a test with a fact address on either side.
  bool TestAddresses(const TFact& Left, const TFact& Right) const;

  TSlotAccessor Left_;
  TSlotAccessor Right_;
  bool LeftAddress_ = false;
  bool RightAddress_ = false;
  int32_t RightSubIndex_ = NoSubIndex;
  int32_t TokenIndex_ = 0;
  int32_t LeftSubIndex_ = NoSubIndex;
  TJoinTestType JoinTestType_ = tstSlot;
};

// ---------------------------------------------------------- pattern tests

// One constraint of a pattern slot.
class TKbPatternMatchTest : public TKbSlotTest {
 public:
  // A test outside any pattern.
  TKbPatternMatchTest() = default;
  explicit TKbPatternMatchTest(TKbPattern* Pattern) : Pattern_(Pattern) {}
  TKbPatternMatchTest(TKbPattern* Pattern, TSlotTestType Type, int32_t SubIndex,
                      const IKbValue& Value);
  TKbPatternMatchTest(TKbPattern* Pattern, TSlotTestType Type, const IKbValue& Value)
      : TKbPatternMatchTest(Pattern, Type, NoSubIndex, Value) {}
  // A copy of Template's fields with another value.
  TKbPatternMatchTest(TKbPattern* Pattern, const TKbPatternMatchTest& Template,
                      const IKbValue& Value);

  // A constant, a variable or multifield variable, or a predicate call;
  // always a clone of the value given (nil stays nil).
  const IKbValue& GetSlotValue() const noexcept { return SlotValue_; }
  void SetSlotValue(const IKbValue& Value);
  // The position in a multislot; -1 (NoSubIndex) for the whole slot.
  int32_t GetMultiSlotSubIndex() const noexcept { return MultiSlotSubIndex_; }
  void SetMultiSlotSubIndex(int32_t Value);
  // Joined to the previous test of the slot by "and" (true) or "or".
  bool GetConjunction() const noexcept { return Conjunction_; }
  void SetConjunction(bool Value);
  TKbPattern* GetPattern() const noexcept { return Pattern_; }
  // Moves the test to another pattern's care (the lists do this).
  void SetPattern(TKbPattern* Pattern) noexcept { Pattern_ = Pattern; }

  // Whether the value is a variable or multifield variable.
  bool IsVariable() const noexcept {
    return SlotValue_ && KbVariableTypes.Contains(SlotValue_->GetDType());
  }
  bool IsFunCall() const noexcept { return SlotValue_ && SlotValue_->GetDType() == dtFunCall; }

  // From another pattern test: type, a clone of the value, sub-index and
  // conjunction, each through its setter; from another slot test, the type.
  void Assign(const TPersistent* Source) override;
  // The base text, " SubIdx: ", the sub-index, and " Slot: " with the
  // value's text when there is a value.
  std::string GetToString() const override;
  // Also an equal value, sub-index and conjunction.
  bool Equals(const TKbSlotTest* Other) const override;
  // Resolves the value in Context: an equal test holds unless the result
  // is the symbol FALSE; a not-equal test holds only when it is.
  bool PerformTest(TKbContext* Context) const override;

  // The test as a predicate call on Variable: "eq" (or "neq") of the value
  // and Variable for a constant or variable; for a call, the call itself
  // (or "not" of it). New calls are made for Reasoner.
  IFunCall ConvertToFunCall(IReasoner* Reasoner, const IKbValue& Variable) const;

 protected:
  std::unique_ptr<TKbSlotTest> NewInstance() const override;

 private:
  IKbValue SlotValue_;
  int32_t MultiSlotSubIndex_ = NoSubIndex;
  bool Conjunction_ = true;
  TKbPattern* Pattern_ = nullptr;
};

// ------------------------------------------------------------- slot tests

// The ordered tests of one slot of a pattern. Owns its tests; every
// addition and removal is reported to the pattern (TestNotification), and a
// test added takes the pattern as its own.
class TSlotTests {
 public:
  explicit TSlotTests(TKbPattern* Pattern) : Pattern_(Pattern) {}
  TSlotTests(const TSlotTests&) = delete;
  TSlotTests& operator=(const TSlotTests&) = delete;
  // Frees the tests without telling the pattern (it is going too).
  ~TSlotTests() = default;

  int Count() const noexcept { return static_cast<int>(Items_.size()); }
  bool IsEmpty() const noexcept { return Items_.empty(); }
  // EListError for a bad index.
  TKbPatternMatchTest* Get(int Index) const;
  TKbPatternMatchTest* operator[](int Index) const { return Get(Index); }
  // Replaces test Index (the old one is freed); nil deletes it.
  void Put(int Index, std::unique_ptr<TKbPatternMatchTest> Test);
  int Add(std::unique_ptr<TKbPatternMatchTest> Test);
  void Insert(int Index, std::unique_ptr<TKbPatternMatchTest> Test);
  int IndexOf(const TKbPatternMatchTest* Test) const;
  // Frees the test; returns its former index or -1.
  int Remove(const TKbPatternMatchTest* Test);
  void Delete(int Index);
  // Takes test Index out without freeing it.
  std::unique_ptr<TKbPatternMatchTest> Extract(int Index);
  void Clear();
  TKbPattern* GetPattern() const noexcept { return Pattern_; }

  auto begin() const { return Items_.begin(); }
  auto end() const { return Items_.end(); }

 private:
  void CheckIndex(int Index) const;
  std::unique_ptr<TKbPatternMatchTest> TakeOut(int Index, TListNotification Action);
  void Notify(TKbPatternMatchTest* Test, TListNotification Action);

  TKbPattern* Pattern_;
  std::vector<std::unique_ptr<TKbPatternMatchTest>> Items_;
};

}  // namespace kb
