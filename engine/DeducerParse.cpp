// The engine's parsing entry points and its global variables.
#include "engine/DeducerParse.h"

#include <utility>

#include "engine/Deducer.h"
#include "engine/DeducerFunctions.h"
#include "engine/DeducerParseText.h"
#include "engine/DeducerRules.h"
#include "engine/DeducerTemplates.h"
#include "parser/KbClipsParser.h"
#include "rete/KbRule.h"

namespace kb {

// --------------------------------------------------------- global variables

std::string TEngineVariables::GetToString() const {
  std::string r;
  for (const auto& [name, value] : Entries()) {
    r += Engine_ ? Engine_->PrettyPrint(name, value) : kb::PrettyPrint(name, value);
    r += NewLineString;
  }
  return r;
}

IKbValue TGlobalVariables::Put(const std::string& Name, const IKbValue& Value) {
  IKbValue old = TEngineVariables::Put(Name, Value);
  if (Engine_) Engine_->ResetGlobalVariable(Name, Value);
  return old;
}

void TGlobalVariables::Clear() {
  TEngineVariables::Clear();
  if (Engine_ && Engine_->GetContext()) Engine_->GetContext()->Clear();
}

// ---------------------------------------------------------- TDeducerParsing

TDeducerParsing::TDeducerParsing(TDeducer& Engine) : Engine_(Engine) {}

TDeducerParsing::~TDeducerParsing() = default;

void TDeducerParsing::CreateGlobals() {
  GlobalVariables_ = std::make_unique<TGlobalVariables>(&Engine_);
}

void TDeducerParsing::DestroyGlobals() { GlobalVariables_.reset(); }

void TDeducerParsing::DestroyParser() { Parser_.reset(); }

TKbParser& TDeducerParsing::GetParser() {
  if (!Parser_) Parser_ = Engine_.NewParser(nullptr);
  return *Parser_;
}

void TDeducerParsing::SetParserErrorHandling(TErrorHandling Value) {
  ParserErrorHandling_ = Value;
  if (Parser_) Parser_->SetErrorHandling(Value);
}

void TDeducerParsing::SetParserMaxErrors(int32_t Value) {
  ParserMaxErrors_ = Value;
  if (Parser_) Parser_->SetMaxErrors(Value);
}

// ------------------------------------------------------- TDeducer's globals

TGlobalVariables& TDeducer::GlobalVariables() { return Parsing_->GlobalVariables(); }

void TDeducer::SetGlobalVariables(const TGlobalVariables& Value) {
  Parsing_->GlobalVariables().Assign(&Value);
}

void TDeducer::ResetGlobalVariable(const std::string& Name, const IKbValue& Value) {
  IKbValue value = Value;
  if (value && value->GetDType() == dtFunCall) {
    // The child scope keeps the call's own bindings (and a "return") out
    // of the root context.
    std::unique_ptr<TKbContext> child(Context_->Push());
    value = value->GetAsFunCall()->Execute(child.get());
  }
  Context_->AddGlobalBinding(Name, value ? value : FCNil);
}

// ---------------------------------------------------------------- factories

std::unique_ptr<TKbParser> TDeducer::NewParser(TKbTokenizerStream* Stream) {
  auto parser = std::make_unique<TKbClipsParser>(this, Stream);
  parser->SetErrorHandling(Parsing_->GetParserErrorHandling());
  parser->SetMaxErrors(Parsing_->GetParserMaxErrors());
  parser->SetStaticTypeCheck(TypeChecks_.Contains(tcStatic));
  return parser;
}

std::unique_ptr<TKbTokenizerStream> TDeducer::NewTokenizer(TStream* Stream) {
  auto tokens = std::make_unique<TKbClipsStream>(Stream);
  tokens->SetEngine(this);
  return tokens;
}

std::unique_ptr<TKbTokenizerStream> TDeducer::NewTokenizer(const std::string& FileName,
                                                           TFileMode Mode) {
  auto tokens = std::make_unique<TKbClipsStream>(FileName, Mode);
  tokens->SetEngine(this);
  return tokens;
}

// -------------------------------------------------------------- IParserHost

IFactTemplate TDeducer::ParsedTemplate(std::string_view Name) { return FindFactTemplate(Name); }

IFactTemplate TDeducer::ImpliedTemplate(const std::string& Name) {
  return CreateFactTemplate(Name);
}

void TDeducer::WithdrawFactSet(TFactSet* FactSet) { FactSets().Remove(FactSet); }

void TDeducer::AssertRead(const IFact& Fact) { AssertParsed(Fact); }

TKbParser& TDeducer::GetParser() { return Parsing_->GetParser(); }

TErrorHandling TDeducer::GetParserErrorHandling() const {
  return Parsing_->GetParserErrorHandling();
}

void TDeducer::SetParserErrorHandling(TErrorHandling Value) {
  Parsing_->SetParserErrorHandling(Value);
}

int32_t TDeducer::GetParserMaxErrors() const { return Parsing_->GetParserMaxErrors(); }
void TDeducer::SetParserMaxErrors(int32_t Value) { Parsing_->SetParserMaxErrors(Value); }

// ----------------------------------------------------------- entry points

bool TDeducer::Parse(const std::string& Text) {
  return WithParserOn(*this, Text, [](TKbParser& p, TKbTokenizerStream&) { return p.Parse(); });
}

IKbValue TDeducer::ParseNExecuteFunCall(const std::string& Text) {
  return WithParserOn(*this, Text,
                      [](TKbParser& p, TKbTokenizerStream&) { return p.ParseNExecuteFunCall(); });
}

IFunCall TDeducer::ParseFunCall(const std::string& Text) {
  return WithParserOn(*this, Text,
                      [](TKbParser& p, TKbTokenizerStream&) { return p.ParseFunCall(); });
}

IKbValue TDeducer::ParseValue(const std::string& Text) {
  return WithParserOn(*this, Text,
                      [](TKbParser& p, TKbTokenizerStream&) { return p.ParseValue(); });
}

IKbValue TDeducer::ParseList(const std::string& Text) {
  return WithParserOn(*this, Text,
                      [](TKbParser& p, TKbTokenizerStream&) { return NewList(p.ParseList()); });
}

IKbValue TDeducer::ParseVariable(const std::string& Text, std::string& Name) {
  return WithParserOn(*this, Text,
                      [&Name](TKbParser& p, TKbTokenizerStream&) { return p.ParseVariable(Name); });
}

IInterpretedFunction TDeducer::ParseFunction(const std::string& Text) {
  return WithParserOn(*this, Text,
                      [](TKbParser& p, TKbTokenizerStream&) { return p.ParseFunction(); });
}

bool TDeducer::ParseGlobalVariables(const std::string& Text) {
  return WithParserOn(*this, Text,
                      [](TKbParser& p, TKbTokenizerStream&) { return p.ParseGlobalVariables(); });
}

// ----------------------------------------------------------- pretty print

std::string TDeducer::PrettyPrint(const IFunCall& FunCall) {
  return GetParser().PrettyPrint(FunCall);
}

std::string TDeducer::PrettyPrint(const IUserFunction& Function) {
  return GetParser().PrettyPrint(Function);
}

std::string TDeducer::PrettyPrint(const IInterpretedFunction& Function) {
  return GetParser().PrettyPrint(Function);
}

std::string TDeducer::PrettyPrint(const std::string& Name, const IKbValue& Value) {
  return GetParser().PrettyPrint(Name, Value);
}

std::string TDeducer::PrettyPrintGlobalVariables() {
  return GetParser().PrettyPrint(Parsing_->GlobalVariables());
}

}  // namespace kb
