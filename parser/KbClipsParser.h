// The CLIPS dialect: the lexer (TKbClipsStream), the parser (TKbClipsParser)
// and the pretty printer that writes constructs back as CLIPS text.
//
// The lexer never rejects input: every character belongs to some token. It
// counts lines, hands out tokens one at a time (reading characters only as
// far as the parser asks, so memory stays flat however large a construct
// is), keeps the text of the S-expression being parsed for error messages,
// and tracks the parenthesis depth so that the parser can skip the rest of
// a broken construct.
//
// The parser reads one top-level item at a time and hands each construct to
// its engine once it is complete: deffunctions to the user functions,
// defglobals to the global-variable table; top-level calls run at once and
// their results (other than nil) are echoed on standard output. OnParse
// hears of every item with its kind and what it defined (a deffunction as
// ptFunction with the function). Every parse error goes out through
// ParseError, which quotes the routine, the line and the text read so far.
//
// The productions of deftemplate, deffacts and facts, and of defrule and
// its patterns, live in their own files (KbClipsParserFacts.cpp,
// KbClipsParserRules.cpp) and use the protected helpers below.
//
// Invariants:
//  - Whatever the parser reads, the pretty printer writes in a form the
//    parser reads back to an equal object.
//  - Expressions nest at most MaxNestingDepth levels, so parsing, printing,
//    running and freeing parsed objects never exhaust the stack.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/KbWriter.h"
#include "parser/KbParser.h"

namespace kb {

// Nesting of parenthesised expressions beyond this is refused: parsing,
// printing, evaluating and freeing a parsed expression each recurse once
// per level, and hostile input must not exhaust the stack. Generated code
// (long else-if chains) stays well below it.
constexpr int32_t MaxNestingDepth = 1000;

// Messages of the parser beyond the shared table.
constexpr const char* SUnsupportedConstruct = "Construct not supported: %s";
constexpr const char* SNestingTooDeep = "Expression nested more than %d levels deep";
// Construct keywords.
constexpr const char* SDefGlobalKeyword = "defglobal";
constexpr const char* SDefFunctionKeyword = "deffunction";

// The CLIPS lexer.
class TKbClipsStream : public TKbTokenizerStream {
 public:
  // Reads Source (owned when Owned is true).
  explicit TKbClipsStream(TStream* Source, bool Owned = false);
  // Reads a file opened with Mode; raises EFileError when it cannot.
  TKbClipsStream(const std::string& FileName, TFileMode Mode);
  // A lexer over a copy of Text.
  static std::unique_ptr<TKbClipsStream> FromText(std::string Text);

  // The engine that names anonymous variables ("?", "$?"). Without one the
  // lexer numbers them itself.
  IParserHost* GetEngine() const noexcept { return Engine_; }
  void SetEngine(IParserHost* Value) noexcept { Engine_ = Value; }

  // Counts every line feed it returns.
  char GetChar() override;

  void Clear() override;
  void DiscardUntilEOL() override;
  // Drops tokens until the parenthesis depth is back at zero or the input
  // ends. Tokens already read ahead are dropped too, so nothing of a
  // broken construct is met again as a top-level item.
  void MoveToNextConstruct() override;
  IStreamToken NextToken() override;
  void PutBackToken(const IStreamToken& Token) override;
  // Takes the next token; when it is "(", peeks at the token after it and
  // puts the "(" back. Answers that token's name: an atom's Text, "=" for
  // the equals token, a variable's Text, empty otherwise (and empty, with
  // the token taken, when the next token is not "(").
  std::string Head() override;

  // The current line (the first is 1).
  int32_t GetLineNumber() const noexcept { return LineNumber_; }
  // "(" tokens handed out minus ")" tokens handed out.
  int32_t GetDepth() const noexcept { return Depth_; }
  // The text of the tokens handed out since the current S-expression began.
  const std::string& GetSExpText() const noexcept { return SExpText_; }
  // The token handed out last, or nil.
  const IStreamToken& GetLastToken() const noexcept { return LastToken_; }

 protected:
  // Reads the next token from the characters.
  virtual IStreamToken BuildNextToken();
  // Makes the token for Hint: -1 end of input (or a word cut short by it),
  // 0 a word, 34 a string, a punctuation character's code. Any other hint
  // raises EKbParseException SInvalidTokenHint.
  virtual IStreamToken FinishToken(int32_t Hint, std::string Text);
  // Reads a string body after its opening quote.
  std::string ReadString();

 private:
  struct TAhead {
    IStreamToken Token;
    bool StartsSExp;  // the first token of an S-expression, read fresh
  };
  IStreamToken ClassifyWord(std::string Text, int32_t Line);
  std::string AnonymousName(const char* Prefix);
  // A fresh token, with whether it begins an S-expression.
  TAhead ReadToken();

  std::vector<TAhead> Ahead_;  // tokens read ahead, the next one last
  int32_t LineNumber_ = 1;
  IParserHost* Engine_ = nullptr;
  std::string SExpText_;
  IStreamToken LastToken_;
  int32_t Depth_ = 0;
  int32_t ReadDepth_ = 0;       // parenthesis balance of the tokens read so far
  char LastChar_ = '\0';        // the character GetChar returned last
  int64_t OwnSymbolIndex_ = 0;  // names anonymous variables without an engine
};

// The CLIPS parser.
class TKbClipsParser : public TKbParser {
 public:
  // Stream, when given, must be a TKbClipsStream (else EInvalidCast).
  TKbClipsParser(TComponent* Owner, TKbTokenizerStream* Stream);

  void SetStream(TKbTokenizerStream* Value) override;
  TKbClipsStream* GetClipsStream() const noexcept { return ClipsStream_; }

  void Clear() override;
  bool Parse() override;
  bool ParseExpression() override;
  TParsedItem ReadItem() override;
  // "(" "deffunction" name [comment] "(" parameter* ")" [comment] body* ")".
  // The function is not installed.
  IInterpretedFunction ParseFunction() override;
  // "(" name argument* ")". The call is bound to its function when it runs.
  IFunCall ParseFunCall() override;
  // ?*name* "=" (value or call); the call is stored unevaluated.
  IKbValue ParseVariable(std::string& VarName) override;
  // "(" "defglobal" definition* ")"; the engine installs the definitions
  // once all of them have been read.
  bool ParseGlobalVariables() override;
  // Values and calls up to ")" or the end, which is left unread.
  IValueVector ParseList() override;
  IKbValue ParseNExecuteFunCall() override;
  // "(" atom value* ")": the atom and the value (a multifield for several).
  IValueVector ParseValuePair() override;
  // Values and calls up to ")" or the end, which is left unread: one value,
  // a multifield for several, nil for none.
  IKbValue ParseValue() override;

  std::string PrettyPrint(const IFunCall& FunCall) override;
  std::string PrettyPrint(const std::string& Name, const IKbValue& Value) override;
  std::string PrettyPrint(const IUserFunction& Function) override;
  std::string PrettyPrint(const IInterpretedFunction& Function) override;
  std::string PrettyPrint(const TValueHashTable& GlobalVariables) override;

  // ---- templates, facts and fact sets (KbClipsParserFacts.cpp) ----
  // "(" "deftemplate" name [comment] ["extends" parent] slot* ")".
  IFactTemplate ParseFactTemplate() override;
  // ("slot" | "field" | "multislot") name qualifier* ")", after the "(".
  IFactSlot ParseFactTemplateSlot() override;
  // "(" template-name values ")" for an ordered template, else
  // "(" template-name ("(" slot value ")")* ")". Unknown names make implied
  // templates unless KnownTemplatesOnly.
  IFact ParseFact() override;
  bool LoadFacts() override;
  // "(" "deffacts" name [comment] fact* ")"; freed again on error.
  TFactSet* ParseFactSet() override;
  std::string PrettyPrint(TFactSet* FactSet) override;
  std::string PrettyPrint(const IFact& Fact) override;
  std::string PrettyPrint(const IFactSlot& Slot) override;
  std::string PrettyPrint(const IFactTemplate& Template) override;
  // The type names of a type qualifier up to ")", which is left unread.
  virtual TKbTypes ParseSlotTypes();
  // ---- end of templates, facts and fact sets ----

  // ---- rules (KbClipsParserRules.cpp) ----
  // "(" "defrule" name [comment] [declaration] left-element* "=>" action*
  // ")"; the rule is freed again on error.
  TRule* ParseRule() override;
  // "(" ("not" | "exists" | "unique" | "explicit") element ")",
  // "(" "test" call ")", or a pattern on a template (implied templates are
  // made for unknown names).
  std::unique_ptr<TKbPattern> ParsePattern(int32_t NegatedCount, TVariableKinds& Bindings) override;
  std::string PrettyPrint(const TRule& Rule) override;
  std::string PrettyPrint(const TKbPattern& Pattern) override;
  // The template a pattern headed by Name matches: the one of that name
  // (made as an implied template when unknown); the initial fact's for
  // "initial-fact" unless a template has that name. Refuses a conditional
  // element the rules cannot hold ("or", "and", ...) followed by an element.
  IFactTemplate PatternTemplate(const std::string& Name);
  // ---- end of rules ----

  // The kind of the item that Token begins (peeks at the construct head).
  virtual TParsedType GetConstructType(const IStreamToken& Token);
  // Raises EKbParseException SParseError with Msg, Location, the line of
  // the last token and the S-expression text read so far. Every parse error
  // of the dialect goes out through here.
  [[noreturn]] void ParseError(const std::string& Location, const std::string& Msg);
  template <class A, class... Args>
  [[noreturn]] void ParseError(const std::string& Location, std::string_view Fmt, const A& Arg,
                               const Args&... More) {
    ParseError(Location, Format(Fmt, Arg, More...));
  }
  // "(" Keyword name [comment]: fills Name and Comment and returns the token
  // after them. A wrong start raises Message at Location. Flag is unused.
  virtual IStreamToken ParseHeader(std::string& Name, std::string& Comment, bool Flag,
                                   const std::string& Keyword, const std::string& Location,
                                   const std::string& Message);

 protected:
  IStreamToken NextToken() { return ClipsStream_->NextToken(); }
  void PutBackToken(const IStreamToken& Token) { ClipsStream_->PutBackToken(Token); }
  // The engine, or EKbException SUnknownEngine.
  IParserHost& Host() const;
  // The engine as the calls read see it (nil without an engine).
  IReasoner* Reasoner() const noexcept { return Owner_ ? Owner_->ParsedReasoner() : nullptr; }
  // Raises CheckConstructName's refusal of Name as a parse error.
  void CheckName(const std::string& Location, const std::string& Name);
  // Counts one level of nesting for the guard's lifetime; past
  // MaxNestingDepth raises SNestingTooDeep at Location.
  class TNestingGuard {
   public:
    TNestingGuard(TKbClipsParser& Parser, const char* Location);
    ~TNestingGuard() { --Parser_.Nesting_; }
    TNestingGuard(const TNestingGuard&) = delete;
    TNestingGuard& operator=(const TNestingGuard&) = delete;

   private:
    TKbClipsParser& Parser_;
  };
  // "(" "defglobal" definition* ")": each name and its definition, in order.
  void ReadGlobalVariables(std::vector<std::pair<std::string, IKbValue>>& Out);
  // The constraint list of one slot of Pattern, up to and including its
  // ")": its terms become tests, and a multislot gets its length.
  virtual void ParseConstraints(TKbPattern& Pattern, const std::string& SlotName,
                                TVariableKinds& Bindings);
  // The argument of an "assert" call: a fact.
  virtual IKbValue ParseAssertArgument();

 private:
  void RequireStream() const;
  int32_t ErrorLine() const;
  // The tests of "=" Expression (also for a global variable in a pattern).
  void AddEqualsTest(TKbPattern& Pattern, const std::string& SlotName, const IKbValue& Expression,
                     int32_t SubIndex, bool NotEquals, bool Conjunction);

  TKbClipsStream* ClipsStream_ = nullptr;
  int32_t Nesting_ = 0;
};

}  // namespace kb
