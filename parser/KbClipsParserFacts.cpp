// The CLIPS productions of deftemplate, deffacts and facts.
#include <memory>

#include "memory/KbFacts.h"
#include "memory/KbFactsSets.h"
#include "memory/KbFactsWriter.h"
#include "parser/KbClipsParser.h"

namespace kb {

namespace {

constexpr const char* SDefTemplateKeyword = "deftemplate";
constexpr const char* SDefFactsKeyword = "deffacts";
constexpr const char* SExtendsKeyword = "extends";

// The type names a slot's type qualifier may list and the types each
// allows. Matched case-sensitively. The five names from CLASS on allow
// numbers: the engine has no such values of its own.
struct TSlotTypeName {
  const char* Name;
  TKbTypes Types;
};
constexpr TSlotTypeName SlotTypeNames[] = {
    {"SYMBOL", {dtAtom}},
    {"ATOM", {dtAtom}},
    {"STRING", {dtString}},
    {"LEXEME", {dtAtom, dtString}},
    {"INTEGER", {dtInteger}},
    {"FLOAT", {dtFloat}},
    {"NUMBER", {dtInteger, dtFloat}},
    {"CLASS", {dtInteger, dtFloat}},
    {"DESCRIPTOR", {dtInteger, dtFloat}},
    {"OBJECT", {dtInteger, dtFloat}},
    {"EXTERNALADDRESS", {dtInteger, dtFloat}},
    {"FACTID", {dtInteger, dtFloat}},
};
// "(type ?VARIABLE)" allows every single-field type.
constexpr const char* SAnyTypeVariable = "VARIABLE";

}  // namespace

// ---------------------------------------------------------------- templates

IFactTemplate TKbClipsParser::ParseFactTemplate() {
  static const std::string location = "ParseFactTemplate";
  std::string name, comment;
  IStreamToken t =
      ParseHeader(name, comment, false, SDefTemplateKeyword, location, SExpectedDefTemplate);
  CheckName(location, name);
  IParserHost& host = Host();
  IFactTemplate parent;
  if (t->Is(TokAtom)) {
    if (t->GetText() != SExtendsKeyword) ParseError(location, SExpectedExtends);
    IStreamToken parentName = NextToken();
    if (!parentName->Is(TokAtom)) ParseError(location, SMissingParentTemplateName);
    parent = host.ParsedTemplate(parentName->GetText());
    t = NextToken();
  }
  IFactTemplate result(new TFactTemplate(host.ParsedOwner(), name, comment, parent));
  while (t->Is(TokOpenParen)) {
    result->AddSlot(ParseFactTemplateSlot());
    t = NextToken();
  }
  if (!t->Is(TokCloseParen)) ParseError(location, SMissingCloseParens);
  if (OnParseFactTemplate) OnParseFactTemplate(this, result);
  return result;
}

IFactSlot TKbClipsParser::ParseFactTemplateSlot() {
  RequireStream();
  static const std::string location = "ParseSlot";
  IStreamToken kind = NextToken();
  bool multi = false;
  if (kind->Is(TokAtom) && kind->GetText() == "multislot")
    multi = true;
  else if (!kind->Is(TokAtom) || (kind->GetText() != "slot" && kind->GetText() != "field"))
    ParseError(location, SInvalidSlotType, kind->GetToString());
  IStreamToken nameToken = NextToken();
  if (!nameToken->Is(TokAtom)) ParseError(location, SBadSlotName, nameToken->GetToString());
  TKbTypes types = multi ? KbMultiSlotTypes : KbSlotTypes;
  IKbValue def = multi ? FCNilList : FCNil;
  IStreamToken t = NextToken();
  while (t->Is(TokOpenParen)) {
    IStreamToken word = NextToken();
    if (!word->Is(TokAtom)) ParseError(location, SInvalidSlotQualifier, word->GetToString());
    const std::string& q = word->GetText();
    const bool dynamic = SameText(q, "default-dynamic");
    if (dynamic || SameText(q, "default")) {
      if (multi) {
        def = NewList(ParseList());
      } else {
        IStreamToken v = NextToken();
        if (v->Is(TokAtom) || v->Is(TokString) || v->Is(TokInteger) || v->Is(TokFloat)) {
          def = v->Value();
        } else if (v->Is(TokOpenParen)) {
          PutBackToken(v);
          // A dynamic default runs for every new fact; a plain one runs now.
          def = dynamic ? NewFunCall(ParseFunCall()) : ParseNExecuteFunCall();
          if (!def) def = FCNil;
        } else {
          ParseError(location, SInvalidSlotDefault, v->GetToString());
        }
      }
    } else if (SameText(q, "type")) {
      if (multi) ParseError(location, SInvalidMultiSlotType);
      types = ParseSlotTypes();
    } else {
      ParseError(location, SInvalidSlotQualifier, q);
    }
    if (!NextToken()->Is(TokCloseParen)) ParseError(location, SMissingCloseParens);
    t = NextToken();
  }
  if (!t->Is(TokCloseParen)) ParseError("ParseFactTemplate", SMissingCloseParens);
  // A call's value is known only when a fact is made.
  if (GetStaticTypeCheck() && def != FCNil && def != FCNilList &&
      !types.Contains(def->GetDType()) && def->GetDType() != dtFunCall)
    ParseError(location, SNotCorrectType, TypeSetText(types, ", "), EnumName(def->GetDType()));
  IFactSlot slot(new TFactSlot(nullptr));
  try {
    slot->SetName(nameToken->GetText());
  } catch (const EKbException& e) {
    ParseError(location, e.Message());
  }
  slot->SetSlotDefault(def);
  slot->SetSlotType(types);
  // Unchecked, a default outside the types was replaced by SetSlotType.
  if (!GetStaticTypeCheck()) slot->SetSlotDefault(def);
  return slot;
}

TKbTypes TKbClipsParser::ParseSlotTypes() {
  static const std::string location = "ParseSlotTypes";
  TKbTypes types;
  for (;;) {
    IStreamToken t = NextToken();
    if (t->Is(TokCloseParen)) {
      PutBackToken(t);
      return types;
    }
    bool known = false;
    if (t->Is(TokAtom)) {
      for (const TSlotTypeName& n : SlotTypeNames) {
        if (t->GetText() == n.Name) {
          types = types | n.Types;
          known = true;
          break;
        }
      }
    } else if (t->Is(TokVariable) && t->GetText() == SAnyTypeVariable) {
      types = KbSlotTypes;
      known = true;
    }
    if (!known) ParseError(location, SInvalidSlotType, t->GetToString());
  }
}

// -------------------------------------------------------------------- facts

bool TKbClipsParser::LoadFacts() {
  RequireStream();
  IParserHost* host = Owner_;
  if (!host) return false;
  for (;;) {
    IStreamToken t = NextToken();
    if (t->Is(TokEOF)) return true;
    PutBackToken(t);
    host->AssertRead(ParseFact());
  }
}

IFact TKbClipsParser::ParseFact() {
  RequireStream();
  static const std::string location = "ParseFact";
  IStreamToken open = NextToken();
  IStreamToken name = NextToken();
  if (!open->Is(TokOpenParen) || !name->Is(TokAtom)) ParseError(location, SExpectedAtom);
  IParserHost& host = Host();
  IFactTemplate tmpl;
  if (GetKnownTemplatesOnly()) {
    tmpl = host.ParsedTemplate(name->GetText());
    if (!tmpl) ParseError(location, SUnknownFactTemplate, name->GetText());
  } else {
    tmpl = host.ParsedTemplate(name->GetText());
    if (!tmpl) {
      CheckName(location, name->GetText());
      tmpl = host.ImpliedTemplate(name->GetText());
    }
  }
  IFact fact(new TFact(tmpl));
  if (tmpl->IsOrdered()) {
    IKbValue data = NewList(ParseList());
    fact->SetValue(SDefaultSlotName, data);
    if (!NextToken()->Is(TokCloseParen)) ParseError(location, SMissingCloseParens);
  } else {
    for (;;) {
      IStreamToken t = NextToken();
      if (t->Is(TokCloseParen)) break;
      if (!t->Is(TokOpenParen)) ParseError(location, SMissingOpenParens);
      IStreamToken slotName = NextToken();
      if (!slotName->Is(TokAtom)) ParseError(location, SBadSlotName, slotName->GetToString());
      IFactSlot slot = tmpl->GetSlot(slotName->GetText());
      IKbValue value;
      if (slot->IsMultiSlot()) {
        value = NewList(ParseList());
      } else {
        IStreamToken v = NextToken();
        const int32_t kind = v->GetDataType();
        if (kind == TokAtom || kind == TokString || kind == TokInteger || kind == TokFloat) {
          if (GetStaticTypeCheck() && !slot->GetSlotType().Contains(static_cast<TKbType>(kind)))
            ParseError(location, SNotCorrectType, TypeSetText(slot->GetSlotType(), ", "),
                       EnumName(static_cast<TKbType>(kind)));
          value = v->Value();
        } else if (kind == TokVariable || kind == TokMultiVariable) {
          value = v->Value();
        } else if (kind == TokEquals || kind == TokOpenParen) {
          if (kind == TokEquals) {
            IStreamToken next = NextToken();
            if (!next->Is(TokOpenParen)) ParseError(location, SAtomNotEquals);
            v = next;
          }
          PutBackToken(v);
          value = NewFunCall(ParseFunCall());
        } else {
          ParseError(location, SBadSlotValue, v->GetToString());
        }
      }
      IStreamToken close = NextToken();
      if (!close->Is(TokCloseParen)) {
        // A second value for a single-field slot.
        if (!slot->IsMultiSlot() &&
            (close->IsValue() || close->Is(TokOpenParen) || close->Is(TokEquals)))
          ParseError(location, SNotMultiSlot, slot->GetName());
        ParseError(location, SMissingCloseParens);
      }
      fact->SetValue(slot->GetIndex(), value);
    }
  }
  if (OnParseFact) OnParseFact(this, fact);
  return fact;
}

IKbValue TKbClipsParser::ParseAssertArgument() { return NewFactValue(ParseFact()); }

TFactSet* TKbClipsParser::ParseFactSet() {
  static const std::string location = "ParseFactSet";
  std::string name, comment;
  IStreamToken t = ParseHeader(name, comment, false, SDefFactsKeyword, location, SExpectedDeffacts);
  CheckName(location, name);
  IParserHost& host = Host();
  // Owned by the engine but not one of its fact sets until it is complete;
  // freed when reading it fails.
  std::unique_ptr<TFactSet> set(new TFactSet(host.ParsedOwner()));
  host.WithdrawFactSet(set.get());
  set->SetFactSetName(name);
  set->SetComment(comment);
  while (t->Is(TokOpenParen)) {
    PutBackToken(t);
    set->AddFact(ParseFact());
    t = NextToken();
  }
  if (!t->Is(TokCloseParen)) ParseError(location, SMissingCloseParens);
  if (OnParseFactSet) OnParseFactSet(this, set.get());
  return set.release();
}

// ------------------------------------------------------------ pretty print

std::string TKbClipsParser::PrettyPrint(TFactSet* FactSet) { return kb::PrettyPrint(FactSet); }

std::string TKbClipsParser::PrettyPrint(const IFact& Fact) { return kb::PrettyPrint(Fact); }

std::string TKbClipsParser::PrettyPrint(const IFactSlot& Slot) { return kb::PrettyPrint(Slot); }

std::string TKbClipsParser::PrettyPrint(const IFactTemplate& Template) {
  return kb::PrettyPrint(Template);
}

}  // namespace kb
