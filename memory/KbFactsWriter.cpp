#include "memory/KbFactsWriter.h"

#include "core/KbWriter.h"
#include "memory/KbFactCatalog.h"
#include "memory/KbFacts.h"
#include "memory/KbFactsSets.h"

namespace kb {

namespace {

bool IsNil(const IKbValue& Value) {
  return !Value || (Value->GetDType() == dtObject && !Value->GetAsObject());
}

// Nil, the empty symbol, the empty string and the empty multifield: values
// a fact's text leaves out when they are the slot's default.
bool IsEmptyValue(const IKbValue& Value) {
  if (IsNil(Value)) return true;
  if (Value->GetDType() == dtString) return Value->GetText().empty();
  return Value->GetToString().empty();
}

}  // namespace

std::string PrettyPrint(const IFactSlot& Slot) {
  if (!Slot) return std::string();
  std::string r = Slot->IsMultiSlot() ? "(multislot " : "(slot ";
  r += Slot->GetName();
  r += ' ';
  const TKbTypes types = Slot->GetSlotType();
  if (types != KbSlotTypes && types != KbMultiSlotTypes) {
    r += "(type ";
    r += TypeSetText(types, " ");
    r += ") ";
  }
  const IKbValue& def = Slot->GetSlotDefault();
  // Compared by value: a copied slot holds a copy of nil.
  if (def && !def->Equals(FCNil) && def != FCNilList) {
    std::string text = PrettyPrintValue(def);
    if (!Trim(text).empty()) {
      // A call runs for every new fact; written as a plain default it would
      // be read back as the value of one run.
      r += def->GetDType() == dtFunCall ? "(default-dynamic " : "(default ";
      r += text;
      r += ") ";
    }
  }
  r += ')';
  return r;
}

std::string PrettyPrint(const IFactTemplate& Template) {
  if (!Template) return std::string();
  std::string r = "(deftemplate ";
  r += Template->GetTemplateName();
  r += " ";
  r += QuoteString(Template->GetComment());
  r += " ";
  // The parent is written so that a saved knowledge base keeps its
  // inheritance: patterns on the parent's name match the child's facts.
  // Read back, a name its engine no longer holds names no parent.
  const IFactTemplate& parent = Template->GetParent();
  TFactCatalog* engine = Template->GetEngine();
  if (parent && (!engine || engine->FindFactTemplate(parent->GetTemplateName()))) {
    r += "extends ";
    r += parent->GetTemplateName();
    r += " ";
  }
  r += NewLineString;
  for (const IFactSlot& s : Template->GetSlots()) {
    r += IndentString;
    r += s->GetToString();
    r += NewLineString;
  }
  r += ')';
  return r;
}

std::string PrettyPrint(const IFact& Fact) {
  if (!Fact) return std::string();
  const IFactTemplate& tmpl = Fact->GetTemplate();
  if (!tmpl) return "()";
  std::string r = "(";
  r += tmpl->GetTemplateName();
  if (tmpl->IsOrdered()) {
    int data = tmpl->IndexOfSlot(SDefaultSlotName);
    const IKbValue& value = data >= 0 ? Fact->PeekValue(data) : FCNil;
    // Item by item: a multifield holding nil prints as "nil".
    const std::string text = IsNil(value) ? std::string() : PrettyPrintValue(value);
    if (!text.empty()) {
      r += ' ';
      r += text;
    }
  } else {
    for (int i = 0; i < tmpl->GetSlotCount(); ++i) {
      TFactSlot* slot = tmpl->GetSlotAt(i);
      const IKbValue& value = Fact->PeekValue(i);
      if (IsEmptyValue(value)) {
        // Left out, a slot reads back as its default, so only a value
        // equal to it is left out; nil is written as nil, an empty string
        // or multifield as such. The empty symbol has no text: saving
        // refuses it.
        const IKbValue& def = slot->GetSlotDefault();
        if (def && value->Equals(def)) continue;
        if (value->GetDType() == dtAtom) continue;
      }
      const std::string text = PrettyPrintValue(value);
      r += " (";
      r += slot->GetName();
      if (!text.empty()) {
        r += ' ';
        r += text;
      }
      r += ')';
    }
  }
  r += ')';
  return r;
}

std::string PrettyPrint(TFactSet* FactSet) {
  if (!FactSet) return std::string();
  std::string r = "(deffacts ";
  r += FactSet->GetFactSetName();
  r += " ";
  r += QuoteString(FactSet->GetComment());
  r += NewLineString;
  TFactSetFacts& facts = FactSet->GetFacts();
  for (int i = 0; i < facts.Count(); ++i) {
    IFact f = facts.GetFact(i);
    r += IndentString;
    r += f ? f->GetToString() : facts.GetText(i);
    r += NewLineString;
  }
  r += ')';
  return r;
}

}  // namespace kb
