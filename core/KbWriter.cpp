// The writer: values, calls, functions and globals back to CLIPS text.
#include <charconv>
#include <cmath>
#include <string_view>

#include "core/KbWriter.h"

#include "framework/SysUtils.h"

namespace kb {

namespace {

void AppendAtom(std::string& Out, std::string_view Text) {
  // The lexer takes a word's first character as it stands, so only the
  // later ones need (and allow) a backslash.
  for (size_t i = 0; i < Text.size(); ++i) {
    if (i > 0 && CharClassOf(Text[i]) != ccWord) Out += '\\';
    Out += Text[i];
  }
}

void AppendQuoted(std::string& Out, std::string_view Text) {
  Out += '"';
  for (char c : Text) {
    if (c == '"' || c == '\\') Out += '\\';
    Out += c;
  }
  Out += '"';
}

void AppendFloat(std::string& Out, double F) {
  const size_t start = Out.size();
  Out += FloatToStr(F);
  // Fifteen digits do not give every float back: then the shortest text
  // that does.
  if (std::isfinite(F) && TryStrToFloat(std::string_view(Out).substr(start)) != F) {
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, F).ptr;
    Out.replace(start, std::string::npos, digits, static_cast<size_t>(end - digits));
  }
  // "1" would read back as an integer.
  for (size_t i = start; i < Out.size(); ++i)
    if (Out[i] != '-' && (Out[i] < '0' || Out[i] > '9')) return;
  Out += ".0";
}

void AppendCall(std::string& Out, const TFunctionCall& Call) {
  Out += '(';
  Out += Call.GetName();
  const bool slotChanges = Call.GetName() == "modify" || Call.GetName() == "duplicate";
  const std::vector<IKbValue>& args = Call.Arguments();
  for (size_t i = 0; i < args.size(); ++i) {
    Out += ' ';
    if (slotChanges && i > 0) {
      Out += '(';
      AppendValueText(Out, args[i]);
      Out += ')';
    } else {
      AppendValueText(Out, args[i]);
    }
  }
  Out += ')';
}

}  // namespace

bool ReadsAsNumber(std::string_view Text) {
  const char c = Text[0];
  if (!IsNumberStart(c) || (Text.size() == 1 && (c == '+' || c == '-' || c == '.'))) return false;
  return TryStrToInt(Text).has_value() || TryStrToFloat(Text).has_value();
}

size_t UnwritableNameChar(std::string_view Name) {
  for (size_t i = 0; i < Name.size(); ++i) {
    const char c = Name[i];
    const TCharClass k = CharClassOf(c);
    if (k == ccBlank) return i + 1;
    if (i > 0) {
      if (k != ccWord) return i + 1;
      continue;
    }
    // The first character is taken as it stands unless it begins a token
    // of its own or a comment.
    if (BeginsOwnToken(c)) return 1;
  }
  return 0;
}

bool IsWritableSymbol(std::string_view Text) {
  // Later characters can be escaped; the first is taken as it stands.
  if (Text.empty() || UnwritableNameChar(Text.substr(0, 1)) != 0) return false;
  if (Text[0] == '?' || (Text[0] == '$' && Text.size() > 1 && Text[1] == '?')) return false;
  // "nil" in any case reads back as nil, which is not a symbol.
  return !ReadsAsNumber(Text) && !(Text.size() == 3 && SameText(Text, "nil"));
}

bool IsPlainSymbol(std::string_view Text) {
  if (Text.empty() || UnwritableNameChar(Text) != 0) return false;
  if (Text[0] == '?' || (Text[0] == '$' && Text.size() > 1 && Text[1] == '?')) return false;
  return !ReadsAsNumber(Text);
}

std::string QuoteString(std::string_view Text) {
  std::string r;
  r.reserve(Text.size() + 2);
  AppendQuoted(r, Text);
  return r;
}

void AppendValueText(std::string& Out, const IKbValue& Value) {
  if (!Value) return;
  switch (Value->GetDType()) {
    case dtAtom: AppendAtom(Out, Value->GetText()); return;
    case dtString: AppendQuoted(Out, Value->GetText()); return;
    case dtFloat: AppendFloat(Out, Value->FloatPayload()); return;
    case dtFunCall:
      if (IFunCall call = Value->GetAsFunCall()) AppendCall(Out, *call);
      return;
    case dtList: {
      bool first = true;
      for (const IKbValue& item : *Value->ListPtr()) {
        if (!first) Out += ' ';
        first = false;
        AppendValueText(Out, item);
      }
      return;
    }
    case dtObject:
      if (!Value->GetAsObject()) {
        Out += "nil";
        return;
      }
      break;
    default: break;
  }
  Out += Value->GetToString();
}

std::string PrettyPrintValue(const IKbValue& Value) {
  std::string r;
  AppendValueText(r, Value);
  return r;
}

std::string PrettyPrint(const IFunCall& FunCall) {
  std::string r;
  if (FunCall) AppendCall(r, *FunCall);
  return r;
}

std::string PrettyPrint(const IInterpretedFunction& Function) {
  if (!Function) return std::string();
  std::string r = "(deffunction ";
  r += Function->GetFunctionName();
  r += " (";
  bool first = true;
  for (const IKbValue& arg : *Function->GetArguments()) {
    const TKbType t = arg->GetDType();
    if (t != dtVariable && t != dtMultiVariable) continue;
    if (!first) r += ' ';
    first = false;
    r += arg->GetToString();
  }
  r += ')';
  r += NewLineString;
  if (!Function->GetComment().empty()) {
    r += IndentString;
    AppendQuoted(r, Function->GetComment());
    r += NewLineString;
  }
  for (const IKbValue& statement : *Function->GetStatements()) {
    r += IndentString;
    AppendValueText(r, statement);
    r += NewLineString;
  }
  r += ')';
  r += NewLineString;
  return r;
}

std::string PrettyPrint(const IUserFunction& Function) {
  if (!Function) return std::string();
  if (IInterpretedFunction f = RefCast<TInterpretedFunction>(Function)) return PrettyPrint(f);
  std::string r = ";; ";
  r += Function->GetFunctionName();
  r += " function";
  r += NewLineString;
  std::string_view comment = Function->GetComment();
  while (!comment.empty()) {
    size_t end = comment.find_first_of("\r\n");
    r += ";; ";
    r += IndentString;
    r += comment.substr(0, end);
    r += NewLineString;
    if (end == std::string_view::npos) break;
    if (comment[end] == '\r' && end + 1 < comment.size() && comment[end + 1] == '\n') ++end;
    comment.remove_prefix(end + 1);
  }
  return r;
}

std::string PrettyPrint(const std::string& Name, const IKbValue& Value) {
  std::string r = Name;
  r += " = ";
  AppendValueText(r, Value);
  return r;
}

std::string PrettyPrint(const TValueHashTable& GlobalVariables) {
  std::string r = "(defglobal";
  for (const auto& [name, value] : GlobalVariables.Entries()) {
    r += " ?";
    r += name;
    r += " = ";
    AppendValueText(r, value);
  }
  r += ')';
  return r;
}

}  // namespace kb
