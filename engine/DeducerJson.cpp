// Facts as JSON (engine/DeducerJson.h), through nlohmann::json.
#include "engine/DeducerJson.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <vector>

#include "engine/Deducer.h"
#include "engine/DeducerFacts.h"

namespace kb {

namespace {

using TJson = nlohmann::ordered_json;

constexpr const char* SJsonNoForm = "Facts as JSON: fact %d%s: a %s value has no JSON form";
constexpr const char* SJsonNotFinite = "Facts as JSON: fact %d%s: %s has no JSON form";
constexpr const char* SJsonMalformed = "Malformed JSON at byte %d: %s";
constexpr const char* SJsonShape = "Facts as JSON: fact %d%s: %s";

// The position of an error in a fact: ", slot x" or nothing.
std::string SlotPlace(const std::string& Slot) { return Slot.empty() ? "" : ", slot " + Slot; }

// Whether a plain JSON string is a symbol in a slot of these types.
bool StringsAreSymbols(TKbTypes Types) {
  return Types.Contains(dtAtom) && !Types.Contains(dtString);
}

TJson ValueJson(const IKbValue& V, bool SymbolsPlain, int Fact, const std::string& Slot) {
  if (!V) return nullptr;
  switch (V->GetDType()) {
    case dtInteger: return V->IntPayload();
    case dtFloat: {
      const double f = V->FloatPayload();
      if (!std::isfinite(f)) KbError(SJsonNotFinite, Fact, SlotPlace(Slot), FloatToStr(f));
      return f;
    }
    case dtString: return std::string(V->GetText());
    case dtAtom:
      if (SymbolsPlain) return std::string(V->GetText());
      return TJson{{"symbol", std::string(V->GetText())}};
    case dtObject:
      if (!V->GetAsObject()) return nullptr;  // nil
      break;
    case dtList: {
      TJson items = TJson::array();
      for (const IKbValue& item : *V->ListPtr())
        items.push_back(ValueJson(item, SymbolsPlain, Fact, Slot));
      return items;
    }
    default: break;
  }
  KbError(SJsonNoForm, Fact, SlotPlace(Slot), EnumName(V->GetDType()));
}

[[noreturn]] void ShapeError(int Fact, const std::string& Slot, const std::string& What) {
  KbError(SJsonShape, Fact, SlotPlace(Slot), What);
}

IKbValue JsonValue(const TJson& J, bool StringsSymbols, bool AllowList, int Fact,
                   const std::string& Slot) {
  switch (J.type()) {
    case TJson::value_t::null: return FCNil;
    case TJson::value_t::boolean: return J.get<bool>() ? FCTrue : FCFalse;
    case TJson::value_t::number_integer: return NewInteger(J.get<int64_t>());
    case TJson::value_t::number_unsigned: {
      const auto u = J.get<uint64_t>();
      if (u > static_cast<uint64_t>(INT64_MAX)) ShapeError(Fact, Slot, "an integer out of range");
      return NewInteger(static_cast<int64_t>(u));
    }
    case TJson::value_t::number_float: return NewFloat(J.get<double>());
    case TJson::value_t::string: {
      const auto& s = J.get_ref<const std::string&>();
      return StringsSymbols ? NewAtom(s) : NewString(s);
    }
    case TJson::value_t::object:
      if (J.size() == 1 && J.contains("symbol") && J["symbol"].is_string())
        return NewAtom(J["symbol"].get_ref<const std::string&>());
      ShapeError(Fact, Slot, "an object other than {\"symbol\": text}");
    case TJson::value_t::array: {
      if (!AllowList) ShapeError(Fact, Slot, "an array for a single-field slot");
      IValueVector items = NewVector();
      for (const TJson& item : J) items->Add(JsonValue(item, StringsSymbols, false, Fact, Slot));
      return NewList(items);
    }
    default: ShapeError(Fact, Slot, "a value of no known kind");
  }
}

// Refuses a value (or a multislot's item) of a type the slot does not
// allow, as reading a fact's text does.
void CheckTypes(const TFactSlot& Slot, const IKbValue& V, int Fact, const std::string& Name) {
  if (V->GetDType() == dtList) {
    for (const IKbValue& item : *V->ListPtr()) CheckTypes(Slot, item, Fact, Name);
    return;
  }
  static constexpr TKbType checked[] = {dtAtom, dtString, dtInteger, dtFloat};
  // A slot that names none of these types (a plain multislot) takes any.
  const TKbTypes allowed = Slot.GetSlotType();
  if ((allowed - TKbTypes{dtMultiSlot, dtList}).IsEmpty()) return;
  for (TKbType t : checked)
    if (V->GetDType() == t && !allowed.Contains(t))
      ShapeError(Fact, Name,
                 "a " + TypeSetText(TKbTypes{t}, " ") + " value in a slot of " +
                     TypeSetText(allowed - TKbTypes{dtMultiSlot, dtList}, " "));
}

// A fact read and checked, not yet asserted: its template, or the name of
// an ordered template to create when everything has been checked.
struct TReadFact {
  IFact Fact;
  std::string NewOrdered;
  IKbValue Values;
};

TReadFact ReadFact(TDeducer& Engine, const TJson& J, int Index) {
  if (!J.is_object()) ShapeError(Index, "", "not an object");
  if (!J.contains("template") || !J["template"].is_string())
    ShapeError(Index, "", "no \"template\" name");
  const std::string name = J["template"].get<std::string>();
  const bool ordered = J.contains("values");
  if (J.size() != 2 || (!ordered && !J.contains("slots")))
    ShapeError(Index, "", "expected exactly \"template\" and either \"slots\" or \"values\"");
  IFactTemplate t = Engine.FindFactTemplate(name);
  TReadFact r;
  if (ordered) {
    if (!J["values"].is_array()) ShapeError(Index, "", "\"values\" is not an array");
    if (t && !t->IsOrdered()) ShapeError(Index, "", "template " + name + " has slots");
    r.Values = JsonValue(J["values"], false, true, Index, "");
    if (!t) {
      CheckConstructName(name);
      r.NewOrdered = name;
      return r;
    }
    r.Fact = t->NewFact();
    r.Fact->SetValue(0, r.Values);
    return r;
  }
  if (!t) ShapeError(Index, "", "unknown fact template " + name);
  if (t->IsOrdered()) ShapeError(Index, "", "template " + name + " is ordered");
  const TJson& slots = J["slots"];
  if (!slots.is_object()) ShapeError(Index, "", "\"slots\" is not an object");
  r.Fact = t->NewFact();
  for (const auto& [slotName, value] : slots.items()) {
    const TFactSlot* slot = t->FindSlot(slotName);
    if (!slot) ShapeError(Index, slotName, "no such slot");
    IKbValue v = JsonValue(value, StringsAreSymbols(slot->GetSlotType()), slot->IsMultiSlot(),
                           Index, slotName);
    if (slot->IsMultiSlot() && v->GetDType() != dtList)
      ShapeError(Index, slotName, "a multislot takes an array");
    CheckTypes(*slot, v, Index, slotName);
    try {
      r.Fact->SetValue(slot->GetIndex(), v);
    } catch (const EKbException& e) {
      ShapeError(Index, slotName, e.what());
    }
  }
  return r;
}

}  // namespace

std::string FactsJson(TDeducer& Engine) {
  TJson all = TJson::array();
  int index = 0;
  for (const IFact& f : Engine.Facts().Snapshot()) {
    const IFactTemplate& t = f->GetTemplate();
    TJson fact;
    fact["template"] = t->GetTemplateName();
    if (t->IsOrdered()) {
      fact["values"] =
          t->GetSlotCount() ? ValueJson(f->PeekValue(0), false, index, "") : TJson::array();
    } else {
      TJson slots = TJson::object();
      for (int i = 0; i < t->GetSlotCount(); ++i) {
        const TFactSlot* slot = t->GetSlotAt(i);
        slots[slot->GetName()] = ValueJson(f->PeekValue(i), StringsAreSymbols(slot->GetSlotType()),
                                           index, slot->GetName());
      }
      fact["slots"] = std::move(slots);
    }
    all.push_back(std::move(fact));
    ++index;
  }
  return all.dump(2, ' ', false, TJson::error_handler_t::strict) + NewLineString;
}

void SaveFactsJson(TDeducer& Engine, TStream& Stream) { Stream.WriteString(FactsJson(Engine)); }

void SaveFactsJson(TDeducer& Engine, const std::string& FileName) {
  const std::string text = FactsJson(Engine);
  TFileStream file(FileName, fmCreate);
  file.WriteString(text);
  file.Flush();
}

int LoadFactsJson(TDeducer& Engine, const std::string& Text) {
  TJson doc;
  try {
    doc = TJson::parse(Text);
  } catch (const TJson::parse_error& e) {
    KbError(SJsonMalformed, static_cast<int64_t>(e.byte), e.what());
  }
  if (!doc.is_array()) KbError("Facts as JSON: the text is not an array of facts");
  std::vector<TReadFact> facts;
  facts.reserve(doc.size());
  int index = 0;
  for (const TJson& j : doc) facts.push_back(ReadFact(Engine, j, index++));
  int asserted = 0;
  for (TReadFact& r : facts) {
    if (!r.Fact) {
      r.Fact = Engine.CreateFactTemplate(r.NewOrdered)->NewFact();
      r.Fact->SetValue(0, r.Values);
    }
    if (Engine.Assert(r.Fact) >= 0) ++asserted;
  }
  return asserted;
}

int LoadFactsJson(TDeducer& Engine, TStream& Stream) {
  return LoadFactsJson(Engine, Stream.ReadAll());
}

int LoadFactsJsonFile(TDeducer& Engine, const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead);
  return LoadFactsJson(Engine, file);
}

}  // namespace kb
