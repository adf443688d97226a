// The CLIPS productions of defrule and its conditional elements.
#include <algorithm>
#include <iterator>
#include <memory>

#include "framework/ScopeExit.h"
#include "parser/KbClipsParser.h"
#include "rete/KbRule.h"
#include "rete/KbRuleWriter.h"
#include "rete/KbSlotTest.h"

namespace kb {

namespace {

// ?*name*: a global variable, as defglobal requires its name.
bool IsGlobalName(const std::string& Name) {
  return Name.size() >= 2 && Name.front() == '*' && Name.back() == '*';
}

constexpr const char* SDefRuleKeyword = "defrule";
constexpr const char* SDeclareKeyword = "declare";
constexpr const char* SSalienceKeyword = "salience";
constexpr const char* SBindArrow = "<-";
constexpr const char* SEqStarFunction = "eq*";

// The conditional elements that wrap another one, and what each does to
// it. Compared case-sensitively.
enum TWrapper : uint8_t {
  wNot,       // one more negation level
  wExists,    // two more: "there is one" is "not not"
  wUnique,    // the join takes only the first matching fact
  wExplicit,  // no goals are asked for this pattern
};
struct TWrapperKeyword {
  const char* Keyword;
  TWrapper Wrapper;
};
constexpr TWrapperKeyword WrapperKeywords[] = {
    {"not", wNot}, {"exists", wExists}, {"unique", wUnique}, {"explicit", wExplicit}};

// Conditional elements of the language that rules here cannot hold; a
// pattern that starts with one of them and goes on with an element is
// refused by name rather than read as an ordered fact.
constexpr const char* UnsupportedElements[] = {"or", "and", "logical", "forall"};

// The name by which programs written for other engines of the language
// match the initial fact.
constexpr const char* InitialFactAlias = "initial-fact";

}  // namespace

// -------------------------------------------------------------------- rules

TRule* TKbClipsParser::ParseRule() {
  static const std::string location = "ParseRule";
  std::string name, comment;
  IStreamToken t = ParseHeader(name, comment, false, SDefRuleKeyword, location, SExpectedDefRule);
  std::unique_ptr<TRule> rule(new TRule(Host().ParsedOwner()));
  {
    rule->BeginUpdate();
    auto end = OnScopeExit([r = rule.get()] { r->EndUpdate(); });
    rule->SetRuleName(name);
    rule->SetComment(comment);

    if (t->Is(TokOpenParen)) {
      IStreamToken head = NextToken();
      if (head->Is(TokAtom) && head->GetText() == SDeclareKeyword) {
        IStreamToken open = NextToken();
        IStreamToken keyword = NextToken();
        if (!open->Is(TokOpenParen) || !keyword->Is(TokAtom) ||
            keyword->GetText() != SSalienceKeyword)
          ParseError(location, SExpectedSalience);
        IStreamToken v = NextToken();
        IKbValue salience;
        if (v->Is(TokInteger) || v->Is(TokVariable)) {
          salience = v->Value();
        } else if (v->Is(TokOpenParen)) {
          PutBackToken(v);
          salience = NewFunCall(ParseFunCall());
        } else {
          ParseError(location, SExpectedIntVarFun);
        }
        rule->SetSalience(salience);
        for (int i = 0; i < 2; ++i)
          if (!NextToken()->Is(TokCloseParen)) ParseError(location, SMissingCloseParens);
        t = NextToken();
      } else {
        PutBackToken(head);
      }
    }

    TVariableKinds bindings;
    int32_t written = 0;
    while (t->Is(TokOpenParen) || t->Is(TokVariable)) {
      if (++written > MaxRulePatterns) ParseError(location, STooManyRulePatterns, MaxRulePatterns);
      std::string bound;
      if (t->Is(TokVariable)) {
        bound = t->GetText();
        IStreamToken arrow = NextToken();
        if (!arrow->Is(TokAtom) || arrow->GetText() != SBindArrow)
          ParseError(location, SExpectedAssignment);
      } else {
        PutBackToken(t);
      }
      const size_t known = bindings.Count();
      std::unique_ptr<TKbPattern> pattern = ParsePattern(0, bindings);
      // Variables first met under "not" or "exists" belong to that pattern:
      // the same name later is another variable, of its own kind.
      if (pattern->GetNegatedCount() > 0)
        while (bindings.Count() > known) {
          const std::string last = bindings.At(bindings.Count() - 1).first;
          bindings.Remove(last);
        }
      // A test element matches no fact a variable could stand for.
      if (!bound.empty() && (pattern->GetNegatedCount() != 0 || pattern->IsTest()))
        ParseError(location, SInvalidTestBinding);
      pattern->SetBoundName(bound);
      rule->GetPatterns().Add(std::move(pattern));
      t = NextToken();
    }

    IStreamToken gt = t->Is(TokEquals) ? NextToken() : t;
    if (!t->Is(TokEquals) || !gt->Is(TokAtom) || gt->GetText() != ">")
      ParseError(location, SExpectedEqGT);
    t = NextToken();
    while (t->Is(TokOpenParen)) {
      PutBackToken(t);
      rule->GetActions().Add(ParseFunCall());
      t = NextToken();
    }
    if (!t->Is(TokCloseParen)) ParseError(location, SMissingCloseParens);
  }
  if (OnParseRule) OnParseRule(this, rule.get());
  return rule.release();
}

std::unique_ptr<TKbPattern> TKbClipsParser::ParsePattern(int32_t NegatedCount,
                                                         TVariableKinds& Bindings) {
  RequireStream();
  static const std::string location = "ParsePattern";
  TNestingGuard nesting(*this, "ParsePattern");
  IStreamToken open = NextToken();
  IStreamToken head = NextToken();
  if (!open->Is(TokOpenParen) || !head->Is(TokAtom)) ParseError(location, SExpectedAtom);
  const std::string& name = head->GetText();
  std::unique_ptr<TKbPattern> pattern;

  const TWrapperKeyword* wrapper = nullptr;
  for (const TWrapperKeyword& w : WrapperKeywords)
    if (name == w.Keyword) wrapper = &w;
  if (wrapper) {
    const int32_t extra = wrapper->Wrapper == wNot ? 1 : wrapper->Wrapper == wExists ? 2 : 0;
    pattern = ParsePattern(NegatedCount + extra, Bindings);
    if (!NextToken()->Is(TokCloseParen)) ParseError(location, SMissingCloseParens);
    if (wrapper->Wrapper == wUnique) pattern->SetUnique(true);
    if (wrapper->Wrapper == wExplicit) pattern->SetExplicit(true);
  } else if (name == STestCE) {
    // The negation of a test element is its test's: the element itself
    // always matches where it stands.
    pattern = std::make_unique<TKbPattern>(nullptr, STestCE, Host().ImpliedTemplate(STestCE), 0);
    IFunCall call = ParseFunCall();
    pattern->AddTest(SDefaultSlotName, NewFunCall(call), NoSubIndex, (NegatedCount & 1) != 0, true);
    if (!NextToken()->Is(TokCloseParen)) ParseError(location, SMissingCloseParens);
  } else {
    IFactTemplate tmpl = PatternTemplate(name);
    pattern = std::make_unique<TKbPattern>(nullptr, name, tmpl, NegatedCount);
    if (tmpl->ContainsSlot(SDefaultSlotName)) {
      ParseConstraints(*pattern, SDefaultSlotName, Bindings);
    } else {
      IStreamToken t = NextToken();
      while (t->Is(TokOpenParen)) {
        IStreamToken slot = NextToken();
        if (!slot->Is(TokAtom)) ParseError(location, SBadSlotName, slot->GetToString());
        ParseConstraints(*pattern, slot->GetText(), Bindings);
        t = NextToken();
      }
      if (!t->Is(TokCloseParen)) ParseError(location, SMissingCloseParens);
    }
  }
  if (OnParsePattern) OnParsePattern(this, pattern.get());
  return pattern;
}

IFactTemplate TKbClipsParser::PatternTemplate(const std::string& Name) {
  IFactTemplate tmpl = Host().ParsedTemplate(Name);
  if (!tmpl && Name == InitialFactAlias) return Host().ImpliedTemplate(SInitialFactPattern);
  const bool ordered = !tmpl || tmpl->ContainsSlot(SDefaultSlotName);
  if (ordered && std::ranges::find(UnsupportedElements, Name) != std::end(UnsupportedElements)) {
    IStreamToken next = NextToken();
    PutBackToken(next);
    if (next->Is(TokOpenParen)) ParseError("ParsePattern", SUnsupportedElement, Name);
  }
  return tmpl ? tmpl : Host().ImpliedTemplate(Name);
}

// =(expression): a variable bound at the position, then a test that it
// equals (or with "~" differs from) the expression.
void TKbClipsParser::AddEqualsTest(TKbPattern& Pattern, const std::string& SlotName,
                                   const IKbValue& Expression, int32_t SubIndex, bool NotEquals,
                                   bool Conjunction) {
  const std::string var = GenerateSymbol(SEqStarPrefix);
  IFunCall eq(new TFunctionCall(Reasoner(), SEqStarFunction));
  eq->AddArgument(NewVariable(var));
  eq->AddArgument(Expression);
  Pattern.AddTest(SlotName, NewVariable(var), SubIndex, false, Conjunction);
  Pattern.AddTest(SlotName, NewFunCall(eq), SubIndex, NotEquals, true);
}

void TKbClipsParser::ParseConstraints(TKbPattern& Pattern, const std::string& SlotName,
                                      TVariableKinds& Bindings) {
  static const std::string location = "ParsePattern";
  // An unknown slot raises the template's own error.
  const bool multi = Pattern.GetFactTemplate()->GetSlot(SlotName)->IsMultiSlot();
  int32_t sub = multi ? 0 : NoSubIndex;
  int32_t positions = 0;
  bool conjunction = true;
  IStreamToken t = NextToken();
  if (!t->Is(TokCloseParen)) {
    positions = 1;
    for (;;) {
      bool notEquals = false;
      if (t->Is(TokTilde)) {
        notEquals = true;
        t = NextToken();
      }
      if (t->Is(TokAtom) && t->GetText() == SPredicateMark) {
        Pattern.AddTest(SlotName, NewFunCall(ParseFunCall()), sub, notEquals, conjunction);
      } else if (t->Is(TokAtom) || t->Is(TokString) || t->Is(TokInteger) || t->Is(TokFloat)) {
        Pattern.AddTest(SlotName, t->Value(), sub, notEquals, conjunction);
      } else if (t->Is(TokVariable) && IsGlobalName(t->GetText())) {
        // A global variable is not bound by the pattern: the slot must
        // equal its value, as with =?*name* (read when a fact is matched).
        AddEqualsTest(Pattern, SlotName, NewVariable(t->GetText()), sub, notEquals, conjunction);
      } else if (t->Is(TokVariable) || t->Is(TokMultiVariable)) {
        // A variable keeps the kind of its first use in the rule.
        auto kind = static_cast<TKbType>(t->GetDataType());
        if (const TKbType* seen = Bindings.Find(t->GetText()))
          kind = *seen;
        else
          Bindings.Put(t->GetText(), kind);
        Pattern.AddTest(SlotName, NewText(kind, t->GetText()), sub, notEquals, conjunction);
      } else if (t->Is(TokEquals)) {
        AddEqualsTest(Pattern, SlotName, NewFunCall(ParseFunCall()), sub, notEquals, conjunction);
      } else {
        ParseError(location, SBadSlotValue, t->GetToString());
      }
      if (Pattern.GetTestCount() > MaxPatternTests)
        ParseError(location, STooManyPatternTests, MaxPatternTests);
      t = NextToken();
      if (t->Is(TokAmpersand)) {
        conjunction = true;
        t = NextToken();
        continue;
      }
      if (t->Is(TokBar)) {
        conjunction = false;
        t = NextToken();
        continue;
      }
      if (t->Is(TokCloseParen)) break;
      if (!multi) ParseError(location, SNotMultiSlot, SlotName);
      ++sub;
      ++positions;
      conjunction = true;
    }
  }
  if (multi) Pattern.SetSlotLength(Pattern.IndexOfSlotName(SlotName), positions);
}

// ------------------------------------------------------------ pretty print

std::string TKbClipsParser::PrettyPrint(const TRule& Rule) { return kb::PrettyPrint(Rule); }

std::string TKbClipsParser::PrettyPrint(const TKbPattern& Pattern) {
  return kb::PrettyPrint(Pattern);
}

}  // namespace kb
