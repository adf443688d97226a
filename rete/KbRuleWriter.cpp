#include "rete/KbRuleWriter.h"

#include "core/KbWriter.h"
#include "memory/KbFacts.h"
#include "rete/KbRule.h"
#include "rete/KbRuleCatalog.h"
#include "rete/KbSlotTest.h"

namespace kb {

namespace {

// A fresh variable standing for a slot whose tests print as nothing.
std::string FreshSlotVariable(TFactCatalog* Engine, bool Multi) {
  const char* prefix = Multi ? SMultiSlotVar : SSlotVar;
  if (Engine) return Engine->GenerateSymbol(prefix);
  return std::string(prefix) + "0";
}

// The tests of one slot entry: "&" (or "|") between tests of one
// position, a blank between positions, "~" before a not-equal test and
// ":" before a predicate (except in a test element, whose calls are bare).
void AppendTests(std::string& Out, const TKbPattern& Pattern, int Slot, TFactCatalog* Engine) {
  const bool bare = Pattern.IsTest();
  const TSlotTests* tests = Pattern.GetSlotTests(Slot);
  const size_t start = Out.size();
  bool first = true;
  int32_t previous = NoSubIndex;
  for (const auto& t : *tests) {
    if (!first) {
      if (t->GetMultiSlotSubIndex() != previous)
        Out += ' ';
      else
        Out += t->GetConjunction() ? '&' : '|';
    }
    first = false;
    previous = t->GetMultiSlotSubIndex();
    if (t->IsNotEquals()) Out += '~';
    if (t->IsFunCall() && !bare) Out += SPredicateMark;
    AppendValueText(Out, t->GetSlotValue());
  }
  if (Out.size() == start) {
    const IFactTemplate& tmpl = Pattern.GetFactTemplate();
    const TFactSlot* s = tmpl->FindSlot(Pattern.GetSlotName(Slot));
    Out += FreshSlotVariable(Engine, s && s->IsMultiSlot());
  }
}

// A test element of one test: "(test call)", under "not" when the test is
// a not-equal one (the form that reads back to it).
bool AppendTestElement(std::string& Out, const TKbPattern& Pattern) {
  if (Pattern.GetTestCount() != 1) return false;
  for (int i = 0; i < Pattern.GetSlotCount(); ++i) {
    if (Pattern.GetSlotTestCount(i) == 0) continue;
    const TKbPatternMatchTest& t = *Pattern.GetSlotTest(i, 0);
    if (!t.IsFunCall()) return false;
    if (t.IsNotEquals()) Out += "(not ";
    Out += "(test ";
    AppendValueText(Out, t.GetSlotValue());
    Out += ')';
    if (t.IsNotEquals()) Out += ')';
    return true;
  }
  return false;
}

}  // namespace

std::string PrettyPrint(const TKbPattern& Pattern) {
  const IFactTemplate& tmpl = Pattern.GetFactTemplate();
  if (!tmpl) KbError(SNoTemplate);
  TFactCatalog* engine = tmpl->GetEngine();
  std::string text;
  if (!Pattern.IsTest() || !AppendTestElement(text, Pattern)) {
    text = "(";
    text += tmpl->GetTemplateName();
    text += ' ';
    const int data = Pattern.IndexOfSlotName(SDefaultSlotName);
    if (data >= 0) {
      if (Pattern.GetSlotTestCount(data) > 0) AppendTests(text, Pattern, data, engine);
    } else {
      for (int i = 0; i < Pattern.GetSlotCount(); ++i) {
        // A multislot that must be empty shows as an empty list.
        const bool tests = Pattern.GetSlotTestCount(i) > 0;
        if (!tests && Pattern.GetSlotLength(i) != 0) continue;
        text += '(';
        text += Pattern.GetSlotName(i);
        text += ' ';
        if (tests) AppendTests(text, Pattern, i, engine);
        text += ") ";
      }
    }
    text += ')';
  }
  auto wrap = [&text](std::string_view Head) {
    text.insert(0, Head);
    text += ')';
  };
  if (Pattern.GetUnique()) wrap("(unique ");
  if (Pattern.GetExplicit()) wrap("(explicit ");
  for (int32_t i = 0; i < Pattern.GetNegatedCount(); ++i) wrap("(not ");
  if (!Pattern.GetBoundName().empty()) {
    std::string bound = "?";
    bound += Pattern.GetBoundName();
    bound += " <- ";
    text.insert(0, bound);
  }
  return text;
}

std::string PrettyPrint(const TRule& Rule) {
  TRuleCatalog* engine = Rule.GetEngine();
  IReasoner* reasoner = engine ? engine->GetReasoner() : nullptr;
  std::string r = "(defrule ";
  r += Rule.GetRuleName();
  r += NewLineString;
  r += IndentString;
  r += QuoteString(Rule.GetComment());
  r += NewLineString;
  r += IndentString;
  r += "(declare (salience ";
  r += IntToStr(Rule.GetSalience());
  r += "))";
  r += NewLineString;
  for (const auto& p : Rule.GetPatterns()) {
    if (p->IsGenerated()) continue;
    r += IndentString;
    r += engine ? engine->PrettyPrint(*p) : PrettyPrint(*p);
    r += NewLineString;
  }
  r += IndentString;
  r += "=>";
  for (const IFunCall& a : Rule.GetActions()) {
    r += NewLineString;
    r += IndentString;
    r += reasoner ? reasoner->PrettyPrint(a) : PrettyPrint(a);
  }
  r += ')';
  return r;
}

}  // namespace kb
