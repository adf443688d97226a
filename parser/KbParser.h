// What every parser of the engine shares: the stream token that a tokenizer
// hands to a parser, the abstract tokenizer stream, the abstract parser with
// its options and events, the kinds of top-level item a parser reports, and
// the parse exception.
//
// The only concrete tokenizer and parser are the CLIPS ones
// (parser/KbClipsParser.h). The engine creates both through its factories
// (TDeducer::NewParser, TDeducer::NewTokenizer) and keeps one parser for its
// lifetime, swapping the parser's stream for each text it parses.
//
// Ownership: tokens are counted (IStreamToken). A parser never owns its
// stream; the engine (or whoever called SetStream) frees it. A parser holds
// its engine by plain pointer; the engine owns the parser.
//
// Invariants callers may rely on:
//  - Every parse error is an EKbParseException whose message names the
//    routine that found it, the line and the text read so far.
//  - A production that fails installs nothing of its own in the engine.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/KbConsts.h"
#include "core/KbContext.h"
#include "core/KbFunctions.h"
#include "core/KbInterfaces.h"
#include "core/KbValue.h"
#include "framework/Collections.h"
#include "framework/TextStream.h"
#include "parser/KbParserHost.h"

namespace kb {

class TDeducer;
class TFactSet;
class TKbPattern;
class TRule;
class TKbParser;

// The kind (dtVariable or dtMultiVariable) of each variable of a rule, as
// first seen in its patterns.
using TVariableKinds = TStringMap<TKbType>;

// Any counted object a parser hands to a host: a value, a function, a
// template. What OnParse receives as its interface.
using IInterface = TRef<TInterfacedPersistent>;

// The kind of one top-level item read by a parser. Ordinals are fixed.
enum TParsedType : uint8_t {
  ptNone,          // nothing to report (also a value or call whose result is empty)
  ptValue,         // a bare constant or variable
  ptFunCall,       // a function call, executed at once
  ptRule,          // a defrule
  ptFactSet,       // a deffacts
  ptFactTemplate,  // a deftemplate
  ptFunction,      // a deffunction
  ptGlobals,       // a defglobal
  ptEOF,           // end of input
};

// Token kinds: the DataType of a stream token. Value tokens carry the
// ordinal of their TKbType; punctuation carries its own character code
// (IsPunctuationKind).
constexpr int32_t TokEOF = dtNone;                     // end of input, Text "EOF"
constexpr int32_t TokAtom = dtAtom;                    // a symbol
constexpr int32_t TokString = dtString;                // a string literal, Text unquoted
constexpr int32_t TokInteger = dtInteger;              // Integer holds the value
constexpr int32_t TokVariable = dtVariable;            // ?x, Text without "?"
constexpr int32_t TokFloat = dtFloat;                  // Number holds the value
constexpr int32_t TokMultiVariable = dtMultiVariable;  // $?x, Text without "$?"
constexpr int32_t TokAmpersand = '&';                  // connective "and" of a slot test
constexpr int32_t TokOpenParen = '(';
constexpr int32_t TokCloseParen = ')';
constexpr int32_t TokEquals = '=';  // "=" at the start of a token
constexpr int32_t TokBar = '|';     // connective "or" of a slot test
constexpr int32_t TokTilde = '~';   // connective "not" of a slot test

// Whether Kind is one of the punctuation kinds above.
constexpr bool IsPunctuationKind(int32_t Kind) {
  switch (Kind) {
    case TokAmpersand:
    case TokOpenParen:
    case TokCloseParen:
    case TokEquals:
    case TokBar:
    case TokTilde: return true;
    default: return false;
  }
}

// One token of the input: its kind, the line on which it ended, its number
// (numeric tokens) and its text (everything else). Integers, fact ids,
// descriptors and addresses are held exactly as 64-bit integers (Integer),
// floats as doubles (Number).
class TKbStreamToken final : public TCloneable {
 public:
  TKbStreamToken() = default;
  // Number is truncated toward zero (saturating) for a kind held as an
  // integer.
  TKbStreamToken(int32_t DataType, int32_t LineNumber, std::string Text, double Number = 0)
      : DataType_(DataType), LineNumber_(LineNumber), Text_(std::move(Text)) {
    if (Number != 0) SetNumber(Number);  // a zero is held both ways already
  }
  // A token of a kind held as an integer.
  TKbStreamToken(int32_t DataType, int32_t LineNumber, int64_t Integer)
      : DataType_(DataType), LineNumber_(LineNumber), Integer_(Integer) {}

  int32_t GetDataType() const noexcept { return DataType_; }
  void SetDataType(int32_t Value) noexcept { DataType_ = Value; }
  int32_t GetLineNumber() const noexcept { return LineNumber_; }
  void SetLineNumber(int32_t Value) noexcept { LineNumber_ = Value; }
  // The number as a double, whichever way it is held.
  double GetNumber() const noexcept {
    return HoldsInteger() ? static_cast<double>(Integer_) : Number_;
  }
  void SetNumber(double Value) noexcept;
  int64_t GetInteger() const noexcept { return Integer_; }
  void SetInteger(int64_t Value) noexcept { Integer_ = Value; }
  const std::string& GetText() const noexcept { return Text_; }
  void SetText(std::string Value) { Text_ = std::move(Value); }
  int32_t GetTag() const override { return Tag_; }
  void SetTag(int32_t Value) override { Tag_ = Value; }

  // Whether the token is an atom, string, integer, float, variable or
  // multifield variable: one that stands for a value.
  bool IsValue() const noexcept;
  bool Is(int32_t Kind) const noexcept { return DataType_ == Kind; }

  // The token's text form (what error messages quote): "?x", "$?x", a
  // string in double quotes with its quotes and backslashes escaped, as it
  // is written, numbers in decimal, otherwise the text or, when empty, the
  // character whose code is the DataType.
  std::string GetToString() const override;
  // Appends the text form to Out; the same text without a temporary.
  void AppendToString(std::string& Out) const;
  // A value built from the token: TRUE, FALSE and nil (any case) give the
  // shared constants, the end-of-input token gives FCEOF, punctuation gives
  // a string holding its character code in decimal.
  IKbValue Value() const;
  // As Value, except that variables are looked up in Context (when given);
  // an unbound one raises EKbException SUnknownVariable.
  IKbValue Value(TKbContext* Context) const;
  // Makes this token stand for the value: its type and its text or number.
  void SetValue(const IKbValue& Value);

  // Same DataType, LineNumber and number; Text and Tag are not compared.
  bool Equals(const TCloneable* Other) const override;
  void Assign(const ICloneable& Source) override;
  void Assign(const TPersistent* Source) override;
  ICloneable Clone() const override;

 private:
  // Whether the kind's number is held in Integer_.
  bool HoldsInteger() const noexcept;

  int32_t DataType_ = 0;
  int32_t LineNumber_ = 0;
  double Number_ = 0;
  int64_t Integer_ = 0;
  std::string Text_;
  int32_t Tag_ = 0;
};

// A character stream that cuts its input into tokens. Reads (never owns
// unless told) a byte stream or a named file through TGTextStream.
class TKbTokenizerStream : public TGTextStream {
 public:
  using TGTextStream::TGTextStream;

  // Forgets the tokens read ahead and the text of the current expression.
  virtual void Clear() = 0;
  // Drops the rest of the current input line.
  virtual void DiscardUntilEOL() = 0;
  // After an error: skips the rest of the construct being read.
  virtual void MoveToNextConstruct() = 0;
  // The next token; at the end of input an end-of-input token, every time.
  virtual IStreamToken NextToken() = 0;
  // Returns a token to be read again (several may be stacked).
  virtual void PutBackToken(const IStreamToken& Token) = 0;
  // The name after the next "(" without consuming either (see TKbClipsStream).
  virtual std::string Head() = 0;
};

// Events that carry parsed objects to a host; Sender is the parser.
using TParseEvent = std::function<void(TKbParser* Sender, TParsedType ParsedType,
                                       TPersistent* AObject, const IInterface& AInterface)>;
using TParseFactEvent = std::function<void(TKbParser* Sender, const IFact& Fact)>;
using TParseFactSetEvent = std::function<void(TKbParser* Sender, TFactSet* FactSet)>;
using TParseFactTemplateEvent =
    std::function<void(TKbParser* Sender, const IFactTemplate& FactTemplate)>;
using TParseFunctionEvent = std::function<void(TKbParser* Sender, const IUserFunction& AFunction)>;
using TParseFunCallEvent = std::function<void(TKbParser* Sender, const IFunCall& FunCall)>;
using TParseVariableEvent =
    std::function<void(TKbParser* Sender, const std::string& VarName, const IKbValue& Value)>;
using TParsePatternEvent = std::function<void(TKbParser* Sender, TKbPattern* Pattern)>;
using TParseRuleEvent = std::function<void(TKbParser* Sender, TRule* Rule)>;

// A parse error: the finished message and the line it was found on. In the
// collecting mode Messages holds every collected message; otherwise the
// one message.
class EKbParseException : public EKbException {
 public:
  EKbParseException(std::string Message, int32_t LineNumber, std::vector<std::string> Messages = {})
      : EKbException(std::move(Message)), LineNumber_(LineNumber), Messages_(std::move(Messages)) {}
  int32_t GetLineNumber() const noexcept { return LineNumber_; }
  const std::vector<std::string>& GetMessages() const noexcept { return Messages_; }

 private:
  int32_t LineNumber_;
  std::vector<std::string> Messages_;
};

// One top-level item as read: nothing of it is installed or run yet. The
// member of its kind is set; a fact set and a rule are owned here until
// the engine's loader takes them (IParserHost::Load).
struct TParsedItem {
  TParsedItem();
  TParsedItem(TParsedItem&&) noexcept;
  TParsedItem& operator=(TParsedItem&&) noexcept;
  ~TParsedItem();

  TParsedType Kind = ptNone;
  IStreamToken Token;                 // ptValue: a constant, or a variable not yet looked up
  IFunCall Call;                      // ptFunCall: not yet run
  IInterpretedFunction Function;      // ptFunction
  IFactTemplate Template;             // ptFactTemplate
  std::unique_ptr<TFactSet> FactSet;  // ptFactSet
  std::unique_ptr<TRule> Rule;        // ptRule
  std::vector<std::pair<std::string, IKbValue>> Globals;  // ptGlobals, in order
};

// What the loader made of an item: what OnParse reports. Kind is ptNone for
// a value or call with an empty result; Object is a fact set or rule the
// engine took.
struct TLoadedItem {
  TParsedType Kind = ptNone;
  TPersistent* Object = nullptr;
  IInterface Interface;
};

// The abstract parser: reads top-level items from its stream and hands what
// they define to its engine. The productions of templates, facts and rules
// join this interface in their own units.
class TKbParser {
 public:
  // Owner must be an engine (an IParserHost) or nil (anything else raises
  // EInvalidCast).
  TKbParser(TComponent* Owner, TKbTokenizerStream* Stream);
  TKbParser(const TKbParser&) = delete;
  TKbParser& operator=(const TKbParser&) = delete;
  virtual ~TKbParser() = default;

  IParserHost* GetOwner() const noexcept { return Owner_; }
  TKbTokenizerStream* GetStream() const noexcept { return Stream_; }
  // Replaces the stream (never freed by the parser).
  virtual void SetStream(TKbTokenizerStream* Value);
  // A fresh symbol with that prefix from the engine.
  std::string GenerateSymbol(const std::string& Prefix);

  // Forgets what the stream read ahead.
  virtual void Clear() = 0;
  // Reads every item up to the end of input; errors per ErrorHandling.
  virtual bool Parse() = 0;
  // Reads one top-level item and hands it to the engine's loader; false at
  // the end of input.
  virtual bool ParseExpression() = 0;
  // Reads one top-level item and returns it; nothing is installed or run,
  // except that a template's "default" call is computed as it is read.
  virtual TParsedItem ReadItem() = 0;
  virtual IInterpretedFunction ParseFunction() = 0;
  virtual IFunCall ParseFunCall() = 0;
  virtual IKbValue ParseVariable(std::string& VarName) = 0;
  virtual bool ParseGlobalVariables() = 0;
  virtual IValueVector ParseList() = 0;
  virtual IKbValue ParseNExecuteFunCall() = 0;
  virtual IValueVector ParseValuePair() = 0;
  virtual IKbValue ParseValue() = 0;

  // Text writers: the dialect's text of each construct, readable again.
  virtual std::string PrettyPrint(const IFunCall& FunCall) = 0;
  virtual std::string PrettyPrint(const std::string& Name, const IKbValue& Value) = 0;
  virtual std::string PrettyPrint(const IUserFunction& Function) = 0;
  virtual std::string PrettyPrint(const IInterpretedFunction& Function) = 0;
  virtual std::string PrettyPrint(const TValueHashTable& GlobalVariables) = 0;

  // ---- templates, facts and fact sets (parser/KbClipsParserFacts.cpp) ----
  // Each reads one construct and returns it without installing it.
  virtual IFactTemplate ParseFactTemplate() = 0;
  // A slot definition, read after its "(".
  virtual IFactSlot ParseFactTemplateSlot() = 0;
  virtual IFact ParseFact() = 0;
  // Reads facts up to the end of input, asserting each in the owning
  // engine as it is read (those read before an error stay asserted);
  // false when the owner is not an engine.
  virtual bool LoadFacts() = 0;
  // A new fact set owned by the engine, not yet one of its fact sets.
  virtual TFactSet* ParseFactSet() = 0;
  virtual std::string PrettyPrint(TFactSet* FactSet) = 0;
  virtual std::string PrettyPrint(const IFact& Fact) = 0;
  virtual std::string PrettyPrint(const IFactSlot& Slot) = 0;
  virtual std::string PrettyPrint(const IFactTemplate& Template) = 0;
  // ---- end of templates, facts and fact sets ----

  // ---- rules (parser/KbClipsParserRules.cpp) ----
  // A defrule: a new rule owned by the engine, not yet one of its rules.
  virtual TRule* ParseRule() = 0;
  // One conditional element under NegatedCount "not"; Bindings records
  // the kind of every variable the rule's patterns use, by name.
  virtual std::unique_ptr<TKbPattern> ParsePattern(int32_t NegatedCount,
                                                   TVariableKinds& Bindings) = 0;
  virtual std::string PrettyPrint(const TRule& Rule) = 0;
  virtual std::string PrettyPrint(const TKbPattern& Pattern) = 0;
  // ---- end of rules ----

  TErrorHandling GetErrorHandling() const noexcept { return ErrorHandling_; }
  void SetErrorHandling(TErrorHandling Value) noexcept { ErrorHandling_ = Value; }
  int32_t GetMaxErrors() const noexcept { return MaxErrors_; }
  void SetMaxErrors(int32_t Value) noexcept { MaxErrors_ = Value; }
  bool GetStaticTypeCheck() const noexcept { return StaticTypeCheck_; }
  void SetStaticTypeCheck(bool Value) noexcept { StaticTypeCheck_ = Value; }
  bool GetKnownTemplatesOnly() const noexcept { return KnownTemplatesOnly_; }
  void SetKnownTemplatesOnly(bool Value) noexcept { KnownTemplatesOnly_ = Value; }
  // Unassigns every event (the engine does so before it goes away).
  void ClearEvents();

  TParseEvent OnParse;                          // after every top-level item
  TParseFactEvent OnParseFact;                  // after every fact
  TParseFactSetEvent OnParseFactSet;            // after every fact set
  TParseFactTemplateEvent OnParseFactTemplate;  // after every template
  TParseFunctionEvent OnParseFunction;          // after every deffunction
  TParseFunCallEvent OnParseFunCall;            // after every call, nested ones first
  TParseVariableEvent OnParseVariable;          // after every global definition
  TParsePatternEvent OnParsePattern;            // after every rule pattern
  TParseRuleEvent OnParseRule;                  // after every rule

 protected:
  IParserHost* Owner_;
  TKbTokenizerStream* Stream_;

 private:
  bool KnownTemplatesOnly_ = false;
  bool StaticTypeCheck_ = true;
  TErrorHandling ErrorHandling_ = ehRaiseImmediate;
  int32_t MaxErrors_ = 10;
};

}  // namespace kb
