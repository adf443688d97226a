#include "parser/KbParser.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "memory/KbFacts.h"
#include "memory/KbFactsSets.h"
#include "rete/KbRule.h"

namespace kb {

namespace {

// Float to 64-bit integer toward zero, saturating instead of overflowing.
int64_t TruncToInt64(double f) {
  if (std::isnan(f)) return 0;
  if (f >= 9223372036854775807.0) return INT64_MAX;
  if (f <= -9223372036854775808.0) return INT64_MIN;
  return static_cast<int64_t>(f);
}

// Fact ids and descriptors are 32-bit.
int32_t Saturate32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

}  // namespace

// ----------------------------------------------------------- TKbStreamToken

bool TKbStreamToken::HoldsInteger() const noexcept {
  switch (DataType_) {
    case dtInteger:
    case dtFactId:
    case dtDescriptor:
    case dtObject:
    case dtExternalAddress: return true;
    default: return false;
  }
}

void TKbStreamToken::SetNumber(double Value) noexcept {
  if (HoldsInteger())
    Integer_ = TruncToInt64(Value);
  else
    Number_ = Value;
}

bool TKbStreamToken::IsValue() const noexcept {
  switch (DataType_) {
    case TokAtom:
    case TokString:
    case TokInteger:
    case TokFloat:
    case TokVariable:
    case TokMultiVariable: return true;
    default: return false;
  }
}

void TKbStreamToken::AppendToString(std::string& Out) const {
  switch (DataType_) {
    case dtVariable:
      Out += '?';
      Out += Text_;
      return;
    case dtMultiVariable:
      Out += "$?";
      Out += Text_;
      return;
    case dtString:
      // Quoted and escaped as the lexer reads strings, so that messages
      // quote the text as it was written.
      Out += '"';
      for (char c : Text_) {
        if (c == '"' || c == '\\') Out += '\\';
        Out += c;
      }
      Out += '"';
      return;
    case dtFloat: Out += FloatToStr(Number_); return;
    case dtInteger: Out += IntToStr(Integer_); return;
    default:
      if (!Text_.empty())
        Out += Text_;
      else
        Out += static_cast<char>(DataType_);
      return;
  }
}

std::string TKbStreamToken::GetToString() const {
  std::string r;
  AppendToString(r);
  return r;
}

IKbValue TKbStreamToken::Value() const {
  IKbValue v;
  switch (DataType_) {
    case dtAtom:
      if (Text_ == "TRUE") return FCTrue;
      if (Text_ == "FALSE") return FCFalse;
      if (Text_.size() == 3 && SameText(Text_, "nil")) return FCNil;
      return NewAtom(Text_);
    case dtString: return NewString(Text_);
    case dtInteger: return NewInteger(Integer_);
    case dtVariable: return NewVariable(Text_);
    case dtFactId: return NewFactId(Saturate32(Integer_));
    case dtFloat: return NewFloat(Number_);
    case dtDescriptor:
      v = NewValue();
      v->SetAsDescriptor(Saturate32(Integer_));
      return v;
    case dtObject: {
      // Only SetValue of an object value makes such a token; the number is
      // that object's address. An object freed since has no link any more
      // and reads as nil: the address is never followed.
      v = NewValue();
      auto* object = reinterpret_cast<TPersistent*>(static_cast<uintptr_t>(Integer_));
      TObjectLink* link = object ? TObjectLink::Find(object) : nullptr;
      v->SetAsObject(link ? link->Get() : nullptr);
      return v;
    }
    case dtExternalAddress:
      v = NewValue();
      v->SetAsExternalAddress(reinterpret_cast<void*>(static_cast<uintptr_t>(Integer_)));
      return v;
    case dtMultiVariable: return NewMultiVariable(Text_);
    case dtSlot: return NewText(dtSlot, Text_);
    case dtMultiSlot: return NewText(dtMultiSlot, Text_);
    case dtNone:
      if (Text_ == "EOF") return FCEOF;
      [[fallthrough]];
    default: return NewString(IntToStr(DataType_));
  }
}

IKbValue TKbStreamToken::Value(TKbContext* Context) const {
  if (Context && (DataType_ == dtVariable || DataType_ == dtMultiVariable))
    return Context->GetVariable(Text_);
  return Value();
}

void TKbStreamToken::SetValue(const IKbValue& Value) {
  if (!Value) {
    DataType_ = dtNone;
    return;
  }
  TKbType t = Value->GetDType();
  DataType_ = static_cast<int32_t>(t) & 0x7f;
  switch (t) {
    case dtAtom:
    case dtString:
    case dtVariable:
    case dtMultiVariable:
    case dtSlot:
    case dtMultiSlot: Text_ = std::string(Value->GetText()); break;
    case dtInteger:
    case dtFactId:
    case dtDescriptor: Integer_ = Value->IntPayload(); break;
    case dtFloat: Number_ = Value->FloatPayload(); break;
    case dtObject:
      Integer_ = static_cast<int64_t>(reinterpret_cast<uintptr_t>(Value->GetAsObject()));
      break;
    case dtExternalAddress:
      Integer_ = static_cast<int64_t>(reinterpret_cast<uintptr_t>(Value->GetAsExternalAddress()));
      break;
    default: break;
  }
}

bool TKbStreamToken::Equals(const TCloneable* Other) const {
  auto* o = dynamic_cast<const TKbStreamToken*>(Other);
  return o && o->DataType_ == DataType_ && o->LineNumber_ == LineNumber_ && o->Number_ == Number_ &&
         o->Integer_ == Integer_;
}

void TKbStreamToken::Assign(const ICloneable& Source) {
  auto* src = dynamic_cast<const TKbStreamToken*>(Source.get());
  if (!src) InterfaceCastError("IStreamToken");
  Assign(static_cast<const TPersistent*>(src));
}

void TKbStreamToken::Assign(const TPersistent* Source) {
  auto* src = dynamic_cast<const TKbStreamToken*>(Source);
  if (!src) {
    TPersistent::Assign(Source);
    return;
  }
  if (src == this) return;
  DataType_ = src->DataType_;
  LineNumber_ = src->LineNumber_;
  Number_ = src->Number_;
  Integer_ = src->Integer_;
  Text_ = src->Text_;
  Tag_ = src->Tag_;
}

ICloneable TKbStreamToken::Clone() const {
  IStreamToken t(new TKbStreamToken());
  t->Assign(static_cast<const TPersistent*>(this));
  return t;
}

// ---------------------------------------------------------------- TKbParser

// --------------------------------------------------------------- TParsedItem

TParsedItem::TParsedItem() = default;
TParsedItem::TParsedItem(TParsedItem&&) noexcept = default;
TParsedItem& TParsedItem::operator=(TParsedItem&&) noexcept = default;
TParsedItem::~TParsedItem() = default;

// ----------------------------------------------------------------- TKbParser

TKbParser::TKbParser(TComponent* Owner, TKbTokenizerStream* Stream)
    : Owner_(nullptr), Stream_(Stream) {
  if (Owner) {
    Owner_ = dynamic_cast<IParserHost*>(Owner);
    if (!Owner_) throw EInvalidCast("Invalid class typecast");
  }
}

void TKbParser::SetStream(TKbTokenizerStream* Value) {
  if (Value != Stream_) Stream_ = Value;
}

std::string TKbParser::GenerateSymbol(const std::string& Prefix) {
  if (!Owner_) KbError(SUnknownEngine);
  return Owner_->ParsedSymbol(Prefix);
}

void TKbParser::ClearEvents() {
  OnParse = nullptr;
  OnParseFact = nullptr;
  OnParseFactSet = nullptr;
  OnParseFactTemplate = nullptr;
  OnParseFunction = nullptr;
  OnParseFunCall = nullptr;
  OnParseVariable = nullptr;
  OnParsePattern = nullptr;
  OnParseRule = nullptr;
}

}  // namespace kb
