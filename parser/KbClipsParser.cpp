// The CLIPS parser, TKbClipsParser: the driver, the error protocol and the
// productions of values, lists, function calls, defglobal and deffunction.
#include "parser/KbClipsParser.h"

#include <memory>
#include <utility>

#include "memory/KbFactsSets.h"
#include "rete/KbRule.h"

namespace kb {

namespace {

constexpr const char* SNoParserStream = "The parser has no input stream";

// The construct keywords after "(" and the kind each begins; any other
// head begins a function call. Compared case-sensitively.
struct TConstructKeyword {
  const char* Keyword;
  TParsedType Type;
};
constexpr TConstructKeyword ConstructKeywords[] = {
    {"defrule", ptRule},         {"deffacts", ptFactSet},  {"deftemplate", ptFactTemplate},
    {"deffunction", ptFunction}, {"defglobal", ptGlobals}, {"EOF", ptEOF},
};

}  // namespace

TKbClipsParser::TNestingGuard::TNestingGuard(TKbClipsParser& Parser, const char* Location)
    : Parser_(Parser) {
  if (++Parser_.Nesting_ > MaxNestingDepth) {
    --Parser_.Nesting_;
    Parser_.ParseError(Location, SNestingTooDeep, MaxNestingDepth);
  }
}

TKbClipsParser::TKbClipsParser(TComponent* Owner, TKbTokenizerStream* Stream)
    : TKbParser(Owner, nullptr) {
  TKbClipsParser::SetStream(Stream);
}

void TKbClipsParser::SetStream(TKbTokenizerStream* Value) {
  TKbClipsStream* clips = nullptr;
  if (Value) {
    clips = dynamic_cast<TKbClipsStream*>(Value);
    if (!clips) throw EInvalidCast("Invalid class typecast");
  }
  TKbParser::SetStream(Value);
  ClipsStream_ = clips;
}

void TKbClipsParser::RequireStream() const {
  if (!ClipsStream_) KbError(SNoParserStream);
}

IParserHost& TKbClipsParser::Host() const {
  if (!Owner_) KbError(SUnknownEngine);
  return *Owner_;
}

void TKbClipsParser::CheckName(const std::string& Location, const std::string& Name) {
  try {
    CheckConstructName(Name);
  } catch (const EKbException& e) {
    ParseError(Location, e.Message());
  }
}

void TKbClipsParser::Clear() {
  if (ClipsStream_) ClipsStream_->Clear();
}

// ------------------------------------------------------------------ errors

int32_t TKbClipsParser::ErrorLine() const {
  if (!ClipsStream_) return 0;
  if (const IStreamToken& last = ClipsStream_->GetLastToken()) return last->GetLineNumber();
  return ClipsStream_->GetLineNumber();
}

void TKbClipsParser::ParseError(const std::string& Location, const std::string& Msg) {
  const int32_t line = ErrorLine();
  std::string m = Format(SParseError, Msg, Location, line,
                         ClipsStream_ ? ClipsStream_->GetSExpText() : std::string());
  throw EKbParseException(m, line, {m});
}

// ------------------------------------------------------------------ driver

bool TKbClipsParser::Parse() {
  RequireStream();
  if (GetErrorHandling() == ehRaiseImmediate) {
    while (ParseExpression()) {
    }
    return true;
  }
  std::vector<std::string> messages;
  int32_t firstLine = 0;
  for (;;) {
    std::string message;
    int32_t line = 0;
    try {
      if (!ParseExpression()) break;
      continue;
    } catch (const EAbort&) {
      break;
    } catch (const EKbParseException& e) {
      message = e.Message();
      line = e.GetLineNumber();
    } catch (const Exception& e) {
      // Errors of running a top-level call, or of an unbound variable.
      line = ErrorLine();
      message = Format(SParseError, e.Message(), "Parse", line, ClipsStream_->GetSExpText());
    }
    if (messages.empty()) firstLine = line;
    messages.push_back(std::move(message));
    if (static_cast<int64_t>(messages.size()) > GetMaxErrors()) break;
    ClipsStream_->MoveToNextConstruct();
  }
  if (messages.empty()) return true;
  std::string all;
  for (const std::string& m : messages) {
    all += m;
    all += NewLineString;
  }
  std::string text = messages.size() == 1 ? std::move(all) : Format(SMultipleParseError, all);
  throw EKbParseException(std::move(text), firstLine, std::move(messages));
}

TParsedType TKbClipsParser::GetConstructType(const IStreamToken& Token) {
  switch (Token->GetDataType()) {
    case TokAtom:
    case TokInteger:
    case TokVariable:
    case TokFloat:
    case TokMultiVariable: return ptValue;
    case TokEOF:
      if (Token->GetText() == "EOF") return ptEOF;
      break;
    case TokOpenParen: {
      PutBackToken(Token);
      const std::string head = ClipsStream_->Head();
      for (const TConstructKeyword& k : ConstructKeywords)
        if (head == k.Keyword) return k.Type;
      return ptFunCall;
    }
    default: break;
  }
  ParseError("GetConstructType", SExpectedParenConstVar, Token->GetToString());
}

bool TKbClipsParser::ParseExpression() {
  RequireStream();
  IParserHost& host = Host();
  TParsedItem item = ReadItem();
  const TLoadedItem loaded = host.Load(item);
  if (OnParse) OnParse(this, loaded.Kind, loaded.Object, loaded.Interface);
  // Only the end of the input (or an "(EOF)" marker) ends the text: a call
  // that answers EOF at top level, a readline at the end of a file, must
  // not skip the rest of it.
  return loaded.Kind != ptEOF;
}

TParsedItem TKbClipsParser::ReadItem() {
  RequireStream();
  TParsedItem item;
  IStreamToken token = NextToken();
  item.Kind = GetConstructType(token);
  switch (item.Kind) {
    case ptValue: item.Token = std::move(token); break;
    case ptFunCall: item.Call = ParseFunCall(); break;
    case ptFunction: item.Function = ParseFunction(); break;
    case ptGlobals: ReadGlobalVariables(item.Globals); break;
    case ptFactSet: item.FactSet.reset(ParseFactSet()); break;
    case ptFactTemplate: item.Template = ParseFactTemplate(); break;
    case ptRule: item.Rule.reset(ParseRule()); break;
    case ptEOF:
    case ptNone: break;
  }
  return item;
}

// ----------------------------------------------------------- function calls

IFunCall TKbClipsParser::ParseFunCall() {
  RequireStream();
  static const std::string location = "ParseFunCall";
  if (!NextToken()->Is(TokOpenParen)) ParseError(location, SMissingOpenParens);
  TNestingGuard nesting(*this, "ParseFunCall");
  IStreamToken nameToken = NextToken();
  std::string name;
  bool byVariable = false;
  switch (nameToken->GetDataType()) {
    case TokAtom:
    case TokEquals: name = nameToken->GetText(); break;
    case TokVariable:
    case TokMultiVariable:
      name = "__get-var";
      byVariable = true;
      break;
    default: ParseError(location, SMissingName);
  }
  IFunCall call(new TFunctionCall(Reasoner(), name));
  if (byVariable) call->AddArgument(nameToken->Value());
  const bool isAssert = name == "assert";
  const bool slotChanges = name == "modify" || name == "duplicate";
  for (;;) {
    IStreamToken t = NextToken();
    const int32_t kind = t->GetDataType();
    if (kind == TokCloseParen) break;
    if (t->IsValue()) {
      call->AddArgument(t->Value());
      continue;
    }
    switch (kind) {
      case TokEOF: ParseError(location, SUnexpectedEOF);
      case TokOpenParen:
        PutBackToken(t);
        if (isAssert)
          call->AddArgument(ParseAssertArgument());
        else if (slotChanges && call->GetArgumentCount() > 0)
          call->AddArgument(ParseValuePair());
        else
          call->AddArgument(ParseFunCall());
        break;
      default:
        // "&", "=", "|" and "~" are passed as one-character strings.
        call->AddArgument(NewString(std::string(1, static_cast<char>(kind))));
        break;
    }
  }
  if (OnParseFunCall) OnParseFunCall(this, call);
  return call;
}

IKbValue TKbClipsParser::ParseNExecuteFunCall() {
  IFunCall call = ParseFunCall();
  return Host().RunCall(call);
}

// ------------------------------------------------------------------ values

IKbValue TKbClipsParser::ParseValue() {
  RequireStream();
  TValueItems values;
  bool multifield = false;
  for (;;) {
    IStreamToken t = NextToken();
    const int32_t kind = t->GetDataType();
    if (kind == TokCloseParen || kind == TokEOF) {
      PutBackToken(t);
      break;
    }
    if (t->IsValue()) {
      values.push_back(t->Value());
      continue;
    }
    if (kind == TokOpenParen) {
      PutBackToken(t);
      values.push_back(NewFunCall(ParseFunCall()));
      continue;
    }
    if (kind == TokEquals) {
      // "=(call)": the call's value, as in a fact.
      IStreamToken next = NextToken();
      if (!next->Is(TokOpenParen)) ParseError("ParseValue", SAtomNotEquals);
      PutBackToken(next);
      values.push_back(NewFunCall(ParseFunCall()));
      continue;
    }
    if (values.empty()) ParseError("ParseValue", SBadArgument, t->GetToString());
    // Anything else after a value ends the reading; what was read is a
    // multifield even when it is one value.
    PutBackToken(t);
    multifield = true;
    break;
  }
  if (values.empty()) return IKbValue();
  if (values.size() == 1 && !multifield) return std::move(values.front());
  return NewList(IValueVector(new TValueVector(std::move(values))));
}

IValueVector TKbClipsParser::ParseList() {
  RequireStream();
  IValueVector list = NewVector();
  for (;;) {
    IStreamToken t = NextToken();
    const int32_t kind = t->GetDataType();
    if (kind == TokCloseParen || kind == TokEOF) {
      PutBackToken(t);
      break;
    }
    if (t->IsValue()) {
      list->Add(t->Value());
    } else if (kind == TokOpenParen) {
      PutBackToken(t);
      list->Add(NewFunCall(ParseFunCall()));
    } else if (kind == TokEquals) {
      IStreamToken next = NextToken();
      if (!next->Is(TokOpenParen)) ParseError("ParseList", SAtomNotEquals);
      PutBackToken(next);
      list->Add(NewFunCall(ParseFunCall()));
    } else {
      ParseError("ParseList", SBadSlotValue, t->GetToString());
    }
  }
  return list;
}

IValueVector TKbClipsParser::ParseValuePair() {
  RequireStream();
  IStreamToken open = NextToken();
  IStreamToken slot = NextToken();
  if (!open->Is(TokOpenParen) || !slot->Is(TokAtom)) ParseError("ParseValuePair", SExpectedAtom);
  IValueVector pair = NewVector();
  pair->Add(NewAtom(slot->GetText()));
  // No value at all empties a multislot; which slots take how many values
  // is known only when the call runs.
  if (IKbValue value = ParseValue()) pair->Add(value);
  if (!NextToken()->Is(TokCloseParen)) ParseError("ParseValuePair", SMissingCloseParens);
  return pair;
}

// ------------------------------------------------------------------ globals

IKbValue TKbClipsParser::ParseVariable(std::string& VarName) {
  RequireStream();
  static const std::string location = "ParseVariable";
  IStreamToken variable = NextToken();
  if (!variable->Is(TokVariable)) ParseError(location, SMissingName);
  const std::string& name = variable->GetText();
  if (name.empty() || name.front() != '*' || name.back() != '*')
    ParseError(location, SBadVariableName, name);
  if (!NextToken()->Is(TokEquals)) ParseError(location, SExpectedChar, "=");
  IStreamToken t = NextToken();
  IKbValue value;
  if (t->Is(TokOpenParen)) {
    PutBackToken(t);
    value = NewFunCall(ParseFunCall());
  } else if (t->IsValue()) {
    value = t->Value();
  } else {
    // Without this, "= )" would take the ")" as the value and read on
    // past the end of the defglobal.
    ParseError(location, SExpectedValue);
  }
  VarName = name;
  if (OnParseVariable) OnParseVariable(this, VarName, value);
  return value;
}

bool TKbClipsParser::ParseGlobalVariables() {
  RequireStream();
  IParserHost& host = Host();
  TParsedItem item;
  item.Kind = ptGlobals;
  ReadGlobalVariables(item.Globals);
  // Installed only once the whole defglobal has been read.
  host.Load(item);
  return true;
}

void TKbClipsParser::ReadGlobalVariables(std::vector<std::pair<std::string, IKbValue>>& Out) {
  RequireStream();
  IStreamToken open = NextToken();
  IStreamToken keyword = NextToken();
  if (!open->Is(TokOpenParen) || !keyword->Is(TokAtom) || keyword->GetText() != SDefGlobalKeyword)
    ParseError("ParseGlobalVariables", SExpectedDefGlobal);
  for (;;) {
    IStreamToken t = NextToken();
    if (t->Is(TokCloseParen)) break;
    PutBackToken(t);
    std::string name;
    IKbValue value = ParseVariable(name);
    Out.emplace_back(std::move(name), std::move(value));
  }
}

// ---------------------------------------------------------------- functions

IStreamToken TKbClipsParser::ParseHeader(std::string& Name, std::string& Comment, bool,
                                         const std::string& Keyword, const std::string& Location,
                                         const std::string& Message) {
  RequireStream();
  IStreamToken open = NextToken();
  IStreamToken keyword = NextToken();
  if (!open->Is(TokOpenParen) || !keyword->Is(TokAtom) || keyword->GetText() != Keyword)
    ParseError(Location, Message);
  IStreamToken name = NextToken();
  if (!name->Is(TokAtom)) ParseError(Location, SMissingName);
  Name = name->GetText();
  IStreamToken t = NextToken();
  if (t->Is(TokString)) {
    Comment = t->GetText();
    t = NextToken();
  } else {
    Comment.clear();
  }
  return t;
}

IInterpretedFunction TKbClipsParser::ParseFunction() {
  static const std::string location = "ParseFunction";
  std::string name, comment;
  IStreamToken t =
      ParseHeader(name, comment, false, SDefFunctionKeyword, location, SExpectedDefFunction);
  CheckName(location, name);
  IInterpretedFunction f(new TInterpretedFunction(name));
  f->SetComment(comment);
  if (!t->Is(TokOpenParen)) ParseError(location, SMissingOpenParens);
  bool wildcard = false;
  for (;;) {
    t = NextToken();
    if (t->Is(TokCloseParen)) break;
    // A multifield parameter takes every remaining argument, so it must be
    // the last one.
    if (wildcard || !(t->Is(TokVariable) || t->Is(TokMultiVariable)))
      ParseError(location, SMissingCloseParens);
    wildcard = t->Is(TokMultiVariable);
    f->AddArgument(t->GetText(), static_cast<TKbType>(t->GetDataType()));
  }
  t = NextToken();
  if (t->Is(TokString)) {
    f->SetComment(t->GetText());
    t = NextToken();
  }
  while (!t->Is(TokCloseParen)) {
    if (t->Is(TokOpenParen)) {
      PutBackToken(t);
      f->AddStatement(ParseFunCall());
    } else if (t->IsValue()) {
      f->AddStatement(t->Value());
    } else if (t->Is(TokEOF)) {
      ParseError(location, SUnexpectedEOF);
    } else {
      ParseError(location, SUnexpectedCharacter, static_cast<char>(t->GetDataType()));
    }
    t = NextToken();
  }
  if (OnParseFunction) OnParseFunction(this, f);
  return f;
}

// ------------------------------------------------------------ pretty print

std::string TKbClipsParser::PrettyPrint(const IFunCall& FunCall) {
  return kb::PrettyPrint(FunCall);
}

std::string TKbClipsParser::PrettyPrint(const std::string& Name, const IKbValue& Value) {
  return kb::PrettyPrint(Name, Value);
}

std::string TKbClipsParser::PrettyPrint(const IUserFunction& Function) {
  return kb::PrettyPrint(Function);
}

std::string TKbClipsParser::PrettyPrint(const IInterpretedFunction& Function) {
  return kb::PrettyPrint(Function);
}

std::string TKbClipsParser::PrettyPrint(const TValueHashTable& GlobalVariables) {
  return kb::PrettyPrint(GlobalVariables);
}

}  // namespace kb
