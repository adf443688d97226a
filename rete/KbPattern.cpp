// Patterns (TKbPattern): slot entries and tests, copies across rules and
// engines, change reporting, and the rewriting of "or" alternatives.
#include <algorithm>
#include <atomic>

#include "rete/KbPattern.h"

#include "framework/ScopeExit.h"
#include "memory/KbFacts.h"
#include "rete/KbRule.h"
#include "rete/KbRuleCatalog.h"
#include "rete/KbRuleWriter.h"
#include "rete/KbSlotTest.h"

namespace kb {

namespace {

bool IsBlank(const IKbValue& Value) {
  return Value && KbVariableTypes.Contains(Value->GetDType()) &&
         Value->GetText().starts_with(SBlankPrefix);
}

// A fresh anonymous variable name: the engine's symbol, or (for a pattern
// outside any engine) one from a counter of our own with a prefix the
// engine never makes.
std::string FreshBlank(TFactCatalog* Engine) {
  if (Engine) return Engine->GenerateSymbol(SBlankPrefix);
  static std::atomic<int32_t> counter{0};
  return std::string(SBlankPrefix) + "p" + IntToStr(counter.fetch_add(1));
}

// Points every call in Value at Reasoner, nested calls included.
void Rebind(const IKbValue& Value, IReasoner* Reasoner) {
  if (!Value || Value->GetDType() != dtFunCall) return;
  IFunCall call = Value->GetAsFunCall();
  if (!call) return;
  call->SetReasoner(Reasoner);
  for (const IKbValue& a : call->Arguments()) Rebind(a, Reasoner);
}

}  // namespace

TKbPattern::TKbPattern(TComponent* Owner, const std::string& Name, const IFactTemplate& Template,
                       int32_t NegatedCount)
    : FactTemplate_(Template), NegatedCount_(NegatedCount), Name_(Name), Owner_(Owner) {
  if (!Template) return;
  Slots_.reserve(static_cast<size_t>(Template->GetSlotCount()));
  for (const IFactSlot& s : Template->GetSlots()) Slots_.push_back({s->GetName(), nullptr, -1});
}

TKbPattern::TKbPattern(TComponent* Owner, const TKbPattern& Source, const std::string& Name,
                       int32_t NegatedCount, const IFactTemplate& Template)
    : TKbPattern(Owner, Name, Template ? Template : Source.FactTemplate_, NegatedCount) {
  TFactCatalog* engine = FactTemplate_ ? FactTemplate_->GetEngine() : nullptr;
  BeginUpdate();
  for (const TSlotEntry& e : Source.Slots_) {
    if (!e.Tests) continue;
    for (const auto& t : *e.Tests) {
      IKbValue v = t->GetSlotValue();
      if (IsBlank(v)) v = NewText(v->GetDType(), FreshBlank(engine));
      AddTest(e.Name, v, t->GetMultiSlotSubIndex(), t->IsNotEquals(), t->GetConjunction());
    }
  }
  // A length is a constraint too: the copy matches facts of the same shape.
  for (const TSlotEntry& e : Source.Slots_) {
    if (e.Length < 0) continue;
    int i = IndexOfSlotName(e.Name);
    if (i >= 0) Slots_[static_cast<size_t>(i)].Length = e.Length;
  }
  --UpdateCount_;
}

TKbPattern::~TKbPattern() = default;

// ------------------------------------------------------------- properties

void TKbPattern::SetUnique(bool Value) {
  if (Value == Unique_) return;
  Unique_ = Value;
  Change();
}

void TKbPattern::SetExplicit(bool Value) {
  if (Value == Explicit_) return;
  Explicit_ = Value;
  Change();
}

void TKbPattern::SetNegatedCount(int32_t Value) {
  if (Value == NegatedCount_) return;
  NegatedCount_ = Value;
  Change();
}

void TKbPattern::SetBoundName(const std::string& Value) {
  // A test element matches no fact, so no variable can stand for one.
  if (IsTest() && !Value.empty()) KbError(SInvalidPatternBinding);
  if (Value == BoundName_) return;
  BoundName_ = Value;
  Change();
}

void TKbPattern::SetName(const std::string& Value) { Name_ = Value; }

bool TKbPattern::IsTest() const { return Name_ == STestCE; }

void TKbPattern::SetOwner(TComponent* Value) {
  if (Value == Owner_) return;
  if (Owner_) Change();
  Owner_ = Value;
  Change();
}

TRule* TKbPattern::GetRule() const { return dynamic_cast<TRule*>(Owner_); }

// ------------------------------------------------------------------ slots

void TKbPattern::CheckSlot(int I) const {
  if (I < 0 || I >= GetSlotCount()) ListIndexError(I);
}

const std::string& TKbPattern::GetSlotName(int I) const {
  CheckSlot(I);
  return Slots_[static_cast<size_t>(I)].Name;
}

int TKbPattern::IndexOfSlotName(std::string_view Name) const {
  for (size_t i = 0; i < Slots_.size(); ++i)
    if (Slots_[i].Name == Name) return static_cast<int>(i);
  return -1;
}

TSlotTests* TKbPattern::GetSlotTests(int I) const {
  CheckSlot(I);
  return Slots_[static_cast<size_t>(I)].Tests.get();
}

int TKbPattern::GetSlotTestCount(int I) const {
  TSlotTests* t = GetSlotTests(I);
  return t ? t->Count() : 0;
}

TKbPatternMatchTest* TKbPattern::GetSlotTest(int I, int J) const {
  TSlotTests* t = GetSlotTests(I);
  if (!t) ListIndexError(J);
  return t->Get(J);
}

int32_t TKbPattern::GetSlotLength(int I) const {
  CheckSlot(I);
  return Slots_[static_cast<size_t>(I)].Length;
}

void TKbPattern::SetSlotLength(int I, int32_t Length) {
  CheckSlot(I);
  int32_t& l = Slots_[static_cast<size_t>(I)].Length;
  if (l == Length) return;
  l = Length;
  Change();
}

void TKbPattern::SetSlotTest(int I, int J, const TKbPatternMatchTest& Test) {
  TKbPatternMatchTest* stored = GetSlotTest(I, J);
  if (stored->Equals(&Test)) return;
  stored->Assign(&Test);
}

TKbPattern::TSlotEntry& TKbPattern::EntryFor(const std::string& SlotName) {
  // Entries made from the template sit at the slot's template index.
  int t = FactTemplate_->IndexOfSlot(SlotName);
  if (t >= 0 && static_cast<size_t>(t) < Slots_.size() &&
      Slots_[static_cast<size_t>(t)].Name == SlotName)
    return Slots_[static_cast<size_t>(t)];
  int i = IndexOfSlotName(SlotName);
  if (i >= 0) return Slots_[static_cast<size_t>(i)];
  Slots_.push_back({SlotName, nullptr, -1});
  return Slots_.back();
}

void TKbPattern::AddTest(const std::string& SlotName, const IKbValue& Value, int32_t SubIndex,
                         bool NotEquals, bool Conjunction) {
  if (!FactTemplate_) KbError(SNoTemplate);
  if (!FactTemplate_->ContainsSlot(SlotName)) KbError(SInvalidSlotName, SlotName);
  auto test = std::make_unique<TKbPatternMatchTest>(nullptr, NotEquals ? sttNotEquals : sttEquals,
                                                    SubIndex, Value);
  test->SetConjunction(Conjunction);
  TSlotEntry& e = EntryFor(SlotName);
  if (!e.Tests) e.Tests = std::make_unique<TSlotTests>(this);
  e.Tests->Add(std::move(test));
}

void TKbPattern::SetTests(const TKbPattern& Source) {
  if (&Source == this) return;
  BeginUpdate();
  auto end = OnScopeExit([this] { EndUpdate(); });
  Slots_.clear();
  TestCount_ = 0;
  DisjunctionCount_ = 0;
  for (const TSlotEntry& e : Source.Slots_) {
    if (e.Tests && !e.Tests->IsEmpty()) {
      for (const auto& t : *e.Tests)
        AddTest(e.Name, t->GetSlotValue(), t->GetMultiSlotSubIndex(), t->IsNotEquals(),
                t->GetConjunction());
      EntryFor(e.Name).Length = e.Length;
    } else if (IndexOfSlotName(e.Name) < 0) {
      Slots_.push_back({e.Name, nullptr, e.Length});
    }
  }
}

// ------------------------------------------------------------------ copies

std::unique_ptr<TKbPattern> TKbPattern::Clone(TComponent* Owner) const {
  IFactTemplate target = FactTemplate_;
  auto* to = dynamic_cast<TFactCatalog*>(Owner);
  const bool across = to && FactTemplate_ && to != FactTemplate_->GetEngine();
  if (across) target = to->TemplateOf(FactTemplate_);
  auto p = std::make_unique<TKbPattern>(nullptr, Name_, target, NegatedCount_);
  p->BeginUpdate();
  p->BoundName_ = BoundName_;
  p->Unique_ = Unique_;
  p->Explicit_ = Explicit_;
  p->Generated_ = Generated_;
  p->SetTests(*this);
  if (across) {
    // Calls are run by the engine that holds the pattern.
    for (const TSlotEntry& e : p->Slots_)
      if (e.Tests)
        for (const auto& t : *e.Tests) Rebind(t->GetSlotValue(), to->GetReasoner());
  }
  --p->UpdateCount_;
  return p;
}

void TKbPattern::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TKbPattern*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  BeginUpdate();
  auto end = OnScopeExit([this] { EndUpdate(); });
  BoundName_ = src->BoundName_;
  Unique_ = src->Unique_;
  Explicit_ = src->Explicit_;
  Generated_ = src->Generated_;
  Name_ = src->Name_;
  FactTemplate_ = src->FactTemplate_;
  NegatedCount_ = src->NegatedCount_;
  SetTests(*src);
}

// ---------------------------------------------------------- change reports

void TKbPattern::Change() {
  if (UpdateCount_ > 0) return;
  if (TRule* rule = GetRule()) rule->Change();
  if (OnChange) OnChange(this);
}

void TKbPattern::EndUpdate() {
  if (UpdateCount_ > 0) --UpdateCount_;
  if (UpdateCount_ == 0) Change();
}

void TKbPattern::TestNotification(TKbPatternMatchTest* Test, TListNotification Action) {
  const int32_t step = Action == TListNotification::lnAdded ? 1 : -1;
  TestCount_ += step;
  if (!Test->GetConjunction()) DisjunctionCount_ += step;
  Change();
}

void TKbPattern::TestChange(TKbPatternMatchTest*) { Change(); }

void TKbPattern::TestConjunctionChange(TKbPatternMatchTest* Test) {
  DisjunctionCount_ += Test->GetConjunction() ? -1 : 1;
  Change();
}

// ------------------------------------------------------- "or" alternatives

// A group of tests of one slot position that contains "|" becomes two
// tests: an equal test binding a variable V to the position (the group's
// first test when it is a positive variable test, else a fresh anonymous
// variable bound by the rule), and one predicate
//   (or alternative1 alternative2 ...)
// where each alternative is the tests joined by "&" between two "|", each
// test turned into a call on V (ConvertToFunCall), several under "and".
// Groups without "|" keep their tests.
void TKbPattern::FixSlot(TSlotEntry& Entry) {
  TSlotTests& tests = *Entry.Tests;
  TFactCatalog* engine = FactTemplate_ ? FactTemplate_->GetEngine() : nullptr;
  TRule* rule = GetRule();
  if (!engine && rule) engine = rule->GetEngine();
  IReasoner* reasoner = engine ? engine->GetReasoner() : nullptr;
  std::vector<std::unique_ptr<TKbPatternMatchTest>> out;
  const int n = tests.Count();
  for (int i = 0; i < n;) {
    const int32_t sub = tests[i]->GetMultiSlotSubIndex();
    int end = i;
    bool alternatives = false;
    while (end < n && tests[end]->GetMultiSlotSubIndex() == sub) {
      if (!tests[end]->GetConjunction()) alternatives = true;
      ++end;
    }
    if (!alternatives) {
      for (; i < end; ++i)
        out.emplace_back(static_cast<TKbPatternMatchTest*>(tests[i]->Clone().release()));
      continue;
    }
    IKbValue v;
    int k = i;
    const TKbPatternMatchTest& first = *tests[i];
    // A variable binds the position, unless "|" follows it and it is bound
    // elsewhere (an earlier pattern, another place of this one): then it is
    // one of the alternatives (?c|red).
    const int32_t index = rule ? rule->GetPatterns().IndexOf(this) : -1;
    bool binder = first.GetSlotValue() && first.GetSlotValue()->GetDType() == dtVariable &&
                  !first.IsNotEquals();
    if (binder && rule && i + 1 < end && !tests[i + 1]->GetConjunction()) {
      const TBinding* b = rule->FindBinding(first.GetSlotValue()->GetText(), index);
      binder = !b || (b->GetFactIndex() == index && b->GetSlotIndex() == Entry.Name &&
                      b->GetSubIndex() == sub);
    }
    if (binder) {
      v = first.GetSlotValue();
      ++k;
    } else {
      if (!rule) KbError(SRuleMissingForPattern);
      // Named as the rule names the anonymous variables of negated
      // patterns, so that the text reads back to the same name.
      std::string name = FreshBlank(engine);
      if (NegatedCount_ > 0) name = "_" + IntToStr(rule->GetPatterns().Count()) + "_" + name;
      v = NewVariable(name);
      rule->AddBinding(std::string(v->GetText()), index, Entry.Name, sub);
    }
    out.push_back(std::make_unique<TKbPatternMatchTest>(nullptr, sttEquals, sub, v));
    // A variable that an alternative binds first stays bound here in plain
    // sight (binding it again constrains nothing), so that the rule's text
    // still shows where it is bound.
    for (int m = k; rule && m < end; ++m) {
      const TKbPatternMatchTest& t = *tests[m];
      if (!t.IsVariable() || t.IsNotEquals() || t.GetSlotValue()->Equals(v)) continue;
      const TBinding* b = rule->FindBinding(t.GetSlotValue()->GetText(), index);
      if (b && b->GetFactIndex() == index && b->GetSlotIndex() == Entry.Name &&
          b->GetSubIndex() == sub)
        out.push_back(
            std::make_unique<TKbPatternMatchTest>(nullptr, sttEquals, sub, t.GetSlotValue()));
    }
    IFunCall any(new TFunctionCall(reasoner, "or"));
    while (k < end) {
      int stop = k + 1;
      while (stop < end && tests[stop]->GetConjunction()) ++stop;
      if (stop - k == 1) {
        any->AddArgument(tests[k]->ConvertToFunCall(reasoner, v));
      } else {
        IFunCall all(new TFunctionCall(reasoner, "and"));
        for (int m = k; m < stop; ++m) all->AddArgument(tests[m]->ConvertToFunCall(reasoner, v));
        any->AddArgument(all);
      }
      k = stop;
    }
    out.push_back(std::make_unique<TKbPatternMatchTest>(nullptr, sttEquals, sub, NewFunCall(any)));
    i = end;
  }
  tests.Clear();
  for (auto& t : out) tests.Add(std::move(t));
}

void TKbPattern::FixTests() {
  if (DisjunctionCount_ == 0) return;
  BeginUpdate();
  auto end = OnScopeExit([this] { EndUpdate(); });
  for (TSlotEntry& e : Slots_) {
    if (!e.Tests) continue;
    if (std::any_of(e.Tests->begin(), e.Tests->end(),
                    [](const auto& t) { return !t->GetConjunction(); }))
      FixSlot(e);
  }
}

// -------------------------------------------------------------------- text

std::string TKbPattern::GetToString() const {
  // Written by the engine that holds the template, whose parser may be a
  // host's own.
  auto* engine = FactTemplate_ ? dynamic_cast<TRuleCatalog*>(FactTemplate_->GetEngine()) : nullptr;
  return engine ? engine->PrettyPrint(*this) : PrettyPrint(*this);
}

}  // namespace kb
