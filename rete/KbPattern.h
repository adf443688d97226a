// Patterns: the conditional elements of a rule's left-hand side.
//
// A TKbPattern names a fact template and holds, for each slot of it in
// template order, the ordered tests of that slot (TSlotTests, see
// rete/KbSlotTest.h) and a slot length (the exact number of positions a
// multislot must have; -1 for none). It also carries its negation depth
// (the number of "not" around it), the variable bound to the matched fact,
// and the unique and explicit flags. A test conditional element is a
// pattern named "test" on the implied template "test", whose one test on
// "__Data" holds the call.
//
// Ownership: a pattern is a plain object owned by its rule's pattern list
// (or by whoever built it); it owns its slot entries and their tests and
// holds its template. Owner is the rule it belongs to, not owned: every
// change is reported to it (TRule::Change) and then to OnChange.
//
// Invariants:
//  - Slot entries made from the template come in template order; an entry
//    exists for every slot that has tests.
//  - GetTestCount() is the number of tests in all slots;
//    GetDisjunctionCount() the number of them whose conjunction is "or".
//  - After FixTests the disjunction count is 0.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/KbConsts.h"
#include "core/KbInterfaces.h"
#include "core/KbValue.h"
#include "framework/Classes.h"
#include "framework/Collections.h"

namespace kb {

class TKbPatternMatchTest;
class TSlotTests;
class TRule;

// "Or" alternatives that need a fresh variable, in a pattern of no rule.
constexpr const char* SRuleMissingForPattern = "Rule missing for pattern";

// Constraint terms (tests) one pattern may hold: more is refused when it
// is read and when its rule is compiled. A fact passes one network node
// per term, each one call deeper (a variable used again adds one), so a
// pattern of a hundred thousand terms would exhaust the stack; real
// patterns hold a few dozen.
constexpr int32_t MaxPatternTests = 1000;
constexpr const char* STooManyPatternTests = "A pattern holds more than %d constraint terms";

class TKbPattern : public TPersistent {
 public:
  // A pattern on Template (nil allowed) with one empty slot entry per
  // template slot, in template order, each with slot length -1.
  TKbPattern(TComponent* Owner, const std::string& Name, const IFactTemplate& Template,
             int32_t NegatedCount);
  // A copy of Source's tests under another name and negation, on
  // Source's template or on Template when given. Anonymous variables
  // ("_blank_...") get fresh names, so that the copy never shares one with
  // Source.
  TKbPattern(TComponent* Owner, const TKbPattern& Source, const std::string& Name,
             int32_t NegatedCount, const IFactTemplate& Template = nullptr);
  ~TKbPattern() override;
  TKbPattern(const TKbPattern&) = delete;
  TKbPattern& operator=(const TKbPattern&) = delete;

  bool GetUnique() const noexcept { return Unique_; }
  virtual void SetUnique(bool Value);
  bool GetExplicit() const noexcept { return Explicit_; }
  virtual void SetExplicit(bool Value);
  const IFactTemplate& GetFactTemplate() const noexcept { return FactTemplate_; }
  // The number of "not" around the pattern ("exists" counts two).
  int32_t GetNegatedCount() const noexcept { return NegatedCount_; }
  virtual void SetNegatedCount(int32_t Value);
  // An odd number of "not": under two the pattern is not negated.
  bool IsNegated() const noexcept { return (NegatedCount_ & 1) != 0; }
  // The variable bound to the matched fact, empty for none. A test
  // element cannot be bound (EKbException SInvalidPatternBinding).
  const TKbName& GetBoundName() const noexcept { return BoundName_; }
  virtual void SetBoundName(const std::string& Value);
  // The template name; "test" for a test element.
  const TKbName& GetName() const noexcept { return Name_; }
  virtual void SetName(const std::string& Value);
  // Whether this is a test conditional element.
  bool IsTest() const;
  // Whether the pattern was put into its rule by the rule itself (the
  // initial-fact pattern, the negated companion of a goal pattern): the
  // rule's text leaves it out, since reading the text makes it again.
  // Clones keep the mark.
  bool IsGenerated() const noexcept { return Generated_; }
  void SetGenerated(bool Value) noexcept { Generated_ = Value; }
  TComponent* GetOwner() const noexcept { return Owner_; }
  virtual void SetOwner(TComponent* Value);
  // The owner when it is a rule, else nil.
  TRule* GetRule() const;
  std::function<void(TKbPattern* Sender)> OnChange;

  // Slot entries.
  int GetSlotCount() const noexcept { return static_cast<int>(Slots_.size()); }
  const std::string& GetSlotName(int I) const;
  int IndexOfSlotName(std::string_view Name) const;
  // The tests of entry I, nil until a test is added.
  TSlotTests* GetSlotTests(int I) const;
  int GetSlotTestCount(int I) const;
  TKbPatternMatchTest* GetSlotTest(int I, int J) const;
  int32_t GetSlotLength(int I) const;
  virtual void SetSlotLength(int I, int32_t Length);
  // Makes test J of entry I equal to Test (copying Test into the stored
  // test); nothing happens when they are already equal.
  void SetSlotTest(int I, int J, const TKbPatternMatchTest& Test);
  int32_t GetTestCount() const noexcept { return TestCount_; }
  int32_t GetDisjunctionCount() const noexcept { return DisjunctionCount_; }

  // Appends a test to the slot's tests. REQUIRES a template (EKbException
  // SNoTemplate) that has the slot (SInvalidSlotName); both are checked
  // before anything changes. The value is cloned.
  virtual void AddTest(const std::string& SlotName, const IKbValue& Value, int32_t SubIndex,
                       bool NotEquals, bool Conjunction);
  // Rewrites every group of "or" alternatives of a slot position into one
  // predicate test on a variable (see KbPattern.cpp).
  virtual void FixTests();
  // Replaces every slot entry with copies of Source's entries: tests
  // through AddTest, slot lengths copied.
  void SetTests(const TKbPattern& Source);

  // A new pattern (without owner) equal to this one. When Owner is an
  // engine other than the template's, the clone is on that engine's
  // template of the same name (created from this template when missing)
  // and its calls are made for that engine.
  virtual std::unique_ptr<TKbPattern> Clone(TComponent* Owner) const;
  // From a pattern: bound name, flags, name, template and negation, then
  // its tests (SetTests).
  void Assign(const TPersistent* Source) override;

  // Change reporting: Change acts only outside BeginUpdate/EndUpdate; it
  // tells the owner rule, then OnChange. EndUpdate of the outermost level
  // reports one change.
  virtual void Change();
  void BeginUpdate() noexcept { ++UpdateCount_; }
  void EndUpdate();
  virtual void TestNotification(TKbPatternMatchTest* Test, TListNotification Action);
  virtual void TestChange(TKbPatternMatchTest* Test);
  virtual void TestConjunctionChange(TKbPatternMatchTest* Test);

  // The CLIPS text, through the template's engine when it has one.
  std::string GetToString() const;

 private:
  struct TSlotEntry {
    std::string Name;
    std::unique_ptr<TSlotTests> Tests;
    int32_t Length = -1;
  };
  void CheckSlot(int I) const;
  // The entry of that slot, added (length -1) when missing.
  TSlotEntry& EntryFor(const std::string& SlotName);
  void FixSlot(TSlotEntry& Entry);

  bool Unique_ = false;
  bool Explicit_ = false;
  bool Generated_ = false;
  IFactTemplate FactTemplate_;
  int32_t NegatedCount_ = 0;
  TKbName BoundName_;
  TKbName Name_;
  std::vector<TSlotEntry> Slots_;
  int32_t UpdateCount_ = 0;
  TComponent* Owner_ = nullptr;
  int32_t TestCount_ = 0;
  int32_t DisjunctionCount_ = 0;
};

}  // namespace kb
