// The CLIPS lexer, TKbClipsStream: characters to stream tokens.
#include "parser/KbClipsParser.h"

namespace kb {

namespace {

// The length of a token's text form, without building it for punctuation.
size_t TextFormLength(const TKbStreamToken& t) {
  switch (t.GetDataType()) {
    case TokOpenParen:
    case TokCloseParen:
    case TokAmpersand:
    case TokEquals:
    case TokBar:
    case TokTilde: return t.GetText().empty() ? 1 : t.GetText().size();
    case TokAtom: return t.GetText().empty() ? 1 : t.GetText().size();
    default: return t.GetToString().size();
  }
}

}  // namespace

TKbClipsStream::TKbClipsStream(TStream* Source, bool Owned) : TKbTokenizerStream(Source, Owned) {}

TKbClipsStream::TKbClipsStream(const std::string& FileName, TFileMode Mode)
    : TKbTokenizerStream(FileName, Mode) {}

std::unique_ptr<TKbClipsStream> TKbClipsStream::FromText(std::string Text) {
  return std::make_unique<TKbClipsStream>(new TMemoryStream(std::move(Text)), true);
}

char TKbClipsStream::GetChar() {
  char c = TGTextStream::GetChar();
  // Every path that consumes characters (words, strings, comments, blanks)
  // goes through here, so each line feed is counted exactly once.
  if (c == '\n') ++LineNumber_;
  LastChar_ = c;
  return c;
}

std::string TKbClipsStream::AnonymousName(const char* Prefix) {
  if (Engine_) return Engine_->ParsedSymbol(Prefix);
  return Prefix + IntToStr(OwnSymbolIndex_++);
}

std::string TKbClipsStream::ReadString() {
  std::string r;
  while (!IsEof()) {
    char c = GetChar();
    if (c == '"') return r;
    if (c == '\\') {
      // A backslash that is the last character of the input leaves nothing.
      if (IsEof()) return std::string();
      c = GetChar();
    }
    r += c;
  }
  return r;
}

IStreamToken TKbClipsStream::BuildNextToken() {
  for (;;) {
    while (SkipInLineSpaces() && !IsEof()) {
    }
    if (IsEof()) return FinishToken(-1, std::string());
    char c = GetChar();
    if (BeginsOwnToken(c)) {
      if (c == ';') {
        GetLine();
        continue;
      }
      if (c == '"') return FinishToken('"', ReadString());
      return FinishToken(c, std::string(1, c));
    }
    std::string word(1, c);
    for (;;) {
      char d = GetChar();
      switch (CharClassOf(d)) {
        case ccWord: word += d; break;
        case ccBlank:
          if (d == '\n') {
            // The word stands on the line the line feed ends.
            --LineNumber_;
            IStreamToken t = FinishToken(0, std::move(word));
            ++LineNumber_;
            return t;
          }
          return FinishToken(0, std::move(word));
        case ccDelimiter: PutBack(d); return FinishToken(0, std::move(word));
        case ccEscape:
          if (IsEof()) return FinishToken(-1, std::move(word));
          word += GetChar();
          break;
      }
    }
  }
}

// A character that begins a token of its own is a comment, a string or a
// punctuation token; the lexer above and FinishToken below rely on it.
static_assert([] {
  for (int c = 0; c < 256; ++c)
    if (BeginsOwnToken(static_cast<char>(c)) != (c == ';' || c == '"' || IsPunctuationKind(c)))
      return false;
  return true;
}());

IStreamToken TKbClipsStream::FinishToken(int32_t Hint, std::string Text) {
  if (IsPunctuationKind(Hint))
    return IStreamToken(new TKbStreamToken(Hint, LineNumber_, std::move(Text)));
  switch (Hint) {
    case '"': return IStreamToken(new TKbStreamToken(TokString, LineNumber_, std::move(Text)));
    case -1:
      if (Text.empty()) return IStreamToken(new TKbStreamToken(TokEOF, LineNumber_, "EOF"));
      return ClassifyWord(std::move(Text), LineNumber_);
    case 0: return ClassifyWord(std::move(Text), LineNumber_);
    default: {
      std::string m = Format(SInvalidTokenHint, Hint);
      throw EKbParseException(m, LineNumber_, {m});
    }
  }
}

IStreamToken TKbClipsStream::ClassifyWord(std::string Text, int32_t Line) {
  const char c = Text[0];
  if (c == '?') {
    std::string name = Text.size() > 1 ? Text.substr(1) : AnonymousName(SBlankPrefix);
    return IStreamToken(new TKbStreamToken(TokVariable, Line, std::move(name)));
  }
  if (c == '$' && Text.size() > 1 && Text[1] == '?') {
    std::string name = Text.size() > 2 ? Text.substr(2) : AnonymousName(SBlankMulti);
    return IStreamToken(new TKbStreamToken(TokMultiVariable, Line, std::move(name)));
  }
  if (IsNumberStart(c) && !(Text.size() == 1 && (c == '+' || c == '-' || c == '.'))) {
    if (auto i = TryStrToInt(Text)) return IStreamToken(new TKbStreamToken(TokInteger, Line, *i));
    if (auto f = TryStrToFloat(Text))
      return IStreamToken(new TKbStreamToken(TokFloat, Line, {}, *f));
  }
  return IStreamToken(new TKbStreamToken(TokAtom, Line, std::move(Text)));
}

TKbClipsStream::TAhead TKbClipsStream::ReadToken() {
  IStreamToken t = BuildNextToken();
  // A token read at balance zero begins an S-expression: a lone value, a
  // stray ")" or a parenthesised expression up to its matching ")".
  const bool starts = ReadDepth_ == 0;
  switch (t->GetDataType()) {
    case TokOpenParen: ++ReadDepth_; break;
    case TokCloseParen:
      if (ReadDepth_ > 0) --ReadDepth_;
      break;
    case TokEOF: ReadDepth_ = 0; break;
    default: break;
  }
  return {std::move(t), starts};
}

IStreamToken TKbClipsStream::NextToken() {
  TAhead a;
  if (!Ahead_.empty()) {
    a = std::move(Ahead_.back());
    Ahead_.pop_back();
  } else {
    a = ReadToken();
  }
  if (a.StartsSExp) SExpText_.clear();
  if (LastToken_ && LastToken_->GetLineNumber() < a.Token->GetLineNumber())
    SExpText_ += NewLineString;
  LastToken_ = a.Token;
  a.Token->AppendToString(SExpText_);
  SExpText_ += ' ';
  if (a.Token->Is(TokCloseParen))
    --Depth_;
  else if (a.Token->Is(TokOpenParen))
    ++Depth_;
  return std::move(a.Token);
}

void TKbClipsStream::PutBackToken(const IStreamToken& Token) {
  if (!Token) return;
  Ahead_.push_back({Token, false});
  size_t cut = TextFormLength(*Token) + 1;
  SExpText_.resize(SExpText_.size() > cut ? SExpText_.size() - cut : 0);
  while (!SExpText_.empty()) {
    char c = SExpText_.back();
    if (c != ' ' && c != '\r' && c != '\n') break;
    SExpText_.pop_back();
  }
  SExpText_ += ' ';
  if (Token->Is(TokCloseParen))
    ++Depth_;
  else if (Token->Is(TokOpenParen))
    --Depth_;
}

std::string TKbClipsStream::Head() {
  IStreamToken t = NextToken();
  if (!t->Is(TokOpenParen)) return std::string();
  if (Ahead_.empty()) Ahead_.push_back(ReadToken());
  std::string r;
  const TKbStreamToken& w = *Ahead_.back().Token;
  switch (w.GetDataType()) {
    case TokAtom: r = w.GetText().empty() ? w.GetToString() : w.GetText(); break;
    case TokEquals: r = "="; break;
    case TokVariable: r = w.GetText(); break;
    default: break;
  }
  PutBackToken(t);
  return r;
}

void TKbClipsStream::MoveToNextConstruct() {
  // A stray ")" leaves the depth below zero; it was itself the broken item.
  if (Depth_ < 0) Depth_ = 0;
  while (Depth_ > 0) {
    if (NextToken()->Is(TokEOF)) break;
  }
}

void TKbClipsStream::DiscardUntilEOL() {
  Ahead_.clear();
  // A word ended by its line feed has already finished the line.
  if (LastChar_ != '\n' && !IsEof()) GetLine();
}

void TKbClipsStream::Clear() {
  Ahead_.clear();
  SExpText_.clear();
}

}  // namespace kb
