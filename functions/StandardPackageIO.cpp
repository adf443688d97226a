// The standard package's functions for text output, input and files:
// printout, format, read, readline, open, close, remove, rename, dribble-on
// and dribble-off.
//
// Output and input go through the engine's logical names (TDeducer::
// PrintOut, ReadLine, ReadToken); "open" registers files under a logical
// name in the engine's IOStreams, which owns and closes them. Every function
// evaluates its arguments once, left to right.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "engine/Deducer.h"
#include "engine/DeducerIO.h"
#include "engine/DeducerPackages.h"
#include "parser/KbParser.h"

namespace kb {

namespace {

// A format directive may not ask for a field wider (or more precise) than
// this: a hostile control string must not make the engine allocate without
// bound, and no real report needs more.
constexpr int32_t MaxFormatField = 1000;
// Raised for a directive that cannot format its argument, with the
// directive as written.
constexpr const char* SFormatInvalid = "Format '%s' invalid or incompatible with argument";

// ------------------------------------------------------- shared arguments

// Argument I, when given, evaluated as a logical name; "" (standard input
// or output) otherwise.
std::string LogicalName(const TArgs& Args, int I) {
  return I < Args.Count() ? Args.Str(I) : std::string();
}

// The logical name of an output function (argument 0, evaluated), or
// nothing when it is nil: output to nil goes nowhere.
std::optional<std::string> OutputName(const TArgs& Args) {
  if (Args.Count() == 0) return std::string();
  const IKbValue name = Args.Value(0);
  if (name->Equals(FCNil)) return std::nullopt;
  return name->GetAsString();
}

// Appends the text that printout writes for Value: the atom crlf is a line
// end, strings print without quotes, numbers in their plain form, a
// multifield in parentheses, anything else in its text form.
void AppendPrintText(std::string& Out, const IKbValue& Value) {
  if (!Value) return;
  const TKbType type = Value->GetDType();
  switch (type) {
    case dtAtom:
      if (Value->GetText() == "crlf")
        Out += NewLineString;
      else
        Out += Value->GetText();
      return;
    case dtString: Out += Value->GetText(); return;
    case dtInteger:
    case dtFloat: Out += Value->GetAsString(); return;
    case dtList:
      Out += '(';
      Out += Value->GetToString();
      Out += ')';
      return;
    default: Out += Value->GetToString(); return;
  }
}

// -------------------------------------------------------------- format

// One "%" directive of a control string: [-][0][width][.precision] and the
// conversion character.
struct TDirective {
  std::string_view Text;  // as written, for error messages
  bool LeftAlign = false;
  bool ZeroPad = false;
  int32_t Width = -1;
  int32_t Precision = -1;
  char Conversion = '\0';
};

[[noreturn]] void DirectiveError(const TDirective& D) { KbError(SFormatInvalid, D.Text); }

// Reads the directive that starts at Control[Start] (a "%"); returns the
// index just after it. The characters after "%" up to the first one that is
// not a flag, digit or "." belong to it; that one is the conversion.
size_t ParseDirective(std::string_view Control, size_t Start, TDirective& D) {
  size_t i = Start + 1;
  while (i < Control.size() &&
         std::string_view("-0123456789.").find(Control[i]) != std::string_view::npos)
    ++i;
  const size_t end = i < Control.size() ? i + 1 : i;
  D.Text = Control.substr(Start, end - Start);
  if (i >= Control.size()) DirectiveError(D);
  D.Conversion = Control[i];
  // Flags, then the width, then the precision; nothing else fits.
  size_t p = Start + 1;
  for (; p < i && (Control[p] == '-' || Control[p] == '0'); ++p) {
    if (Control[p] == '-')
      D.LeftAlign = true;
    else
      D.ZeroPad = true;
  }
  auto number = [&](int32_t& Field) {
    int32_t v = 0;
    bool any = false;
    for (; p < i && Control[p] >= '0' && Control[p] <= '9'; ++p) {
      v = v * 10 + (Control[p] - '0');
      if (v > MaxFormatField) DirectiveError(D);
      any = true;
    }
    if (any) Field = v;
    return any;
  };
  number(D.Width);
  if (p < i && Control[p] == '.') {
    ++p;
    D.Precision = 0;
    number(D.Precision);
  }
  if (p != i) DirectiveError(D);
  return end;
}

// Pads Text to the directive's width with blanks (or zeros after a sign when
// ZeroPad is allowed).
std::string Pad(std::string Text, const TDirective& D, bool AllowZero) {
  if (D.Width < 0 || Text.size() >= static_cast<size_t>(D.Width)) return Text;
  const size_t fill = static_cast<size_t>(D.Width) - Text.size();
  if (D.LeftAlign) return Text.append(fill, ' ');
  if (AllowZero && D.ZeroPad) {
    const size_t at = !Text.empty() && (Text[0] == '-' || Text[0] == '+') ? 1 : 0;
    return Text.insert(at, fill, '0');
  }
  return Text.insert(0, fill, ' ');
}

// printf of one number with a format assembled from a parsed directive (so
// no user text ever reaches the C formatter).
template <class N>
std::string PrintNumber(const TDirective& D, const char* Length, char Conversion, N Value) {
  std::string fmt = "%";
  if (D.LeftAlign) fmt += '-';
  if (D.ZeroPad) fmt += '0';
  if (D.Width >= 0) fmt += IntToStr(D.Width);
  if (D.Precision >= 0) fmt += '.' + IntToStr(D.Precision);
  fmt += Length;
  fmt += Conversion;
  const int n = std::snprintf(nullptr, 0, fmt.c_str(), Value);
  if (n < 0) DirectiveError(D);
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), fmt.c_str(), Value);
  out.resize(static_cast<size_t>(n));
  return out;
}

// Fixed notation with a comma between groups of three digits.
std::string GroupedFixed(double Value, const TDirective& D) {
  TDirective plain;
  plain.Text = D.Text;
  plain.Precision = D.Precision >= 0 ? D.Precision : 2;
  std::string s = PrintNumber(plain, "", 'f', Value);
  size_t digits = s.find('.');
  if (digits == std::string::npos) digits = s.size();
  const size_t first = !s.empty() && s[0] == '-' ? 1 : 0;
  for (size_t at = digits; at > first + 3; at -= 3) s.insert(at - 3, 1, ',');
  return s;
}

// What a format argument is as an operand: a number (integer or float) or a
// text.
struct TOperand {
  bool IsInteger = false;
  bool IsFloat = false;
  int64_t Integer = 0;
  double Float = 0;
  std::string Text;
};

TOperand OperandOf(const IKbValue& Value) {
  TOperand op;
  if (!Value) return op;
  switch (Value->GetDType()) {
    case dtInteger:
    case dtFactId:
      op.IsInteger = true;
      op.Integer = Value->IntPayload();
      op.Text = IntToStr(op.Integer);
      break;
    case dtExternalAddress:
      op.IsInteger = true;
      op.Integer = static_cast<int64_t>(reinterpret_cast<intptr_t>(Value->GetAsExternalAddress()));
      op.Text = Value->GetToString();
      break;
    case dtFloat:
      op.IsFloat = true;
      op.Float = Value->FloatPayload();
      op.Text = FloatToStr(op.Float);
      break;
    case dtAtom:
    case dtString: op.Text = Value->GetText(); break;
    default: AppendPrintText(op.Text, Value); break;
  }
  return op;
}

// Formats one argument by one directive. Integer conversions (d, u, x) take
// an integer or a float (truncated toward zero); float conversions (e, f,
// g, n, m) take either number; s takes anything, as its text.
std::string FormatOne(const TDirective& D, const TOperand& Op) {
  const char c = D.Conversion;
  switch (c) {
    case 'd':
    case 'D':
    case 'u':
    case 'U':
    case 'x':
    case 'X': {
      int64_t v = Op.Integer;
      if (Op.IsFloat) {
        if (!std::isfinite(Op.Float) || std::fabs(Op.Float) >= 9.2e18) DirectiveError(D);
        v = static_cast<int64_t>(Op.Float);
      } else if (!Op.IsInteger) {
        DirectiveError(D);
      }
      if (c == 'd' || c == 'D') return PrintNumber(D, "ll", 'd', static_cast<long long>(v));
      // Unsigned forms show a negative 32-bit integer as its two's complement.
      const auto u = static_cast<unsigned long long>(
          v < 0 && v >= INT32_MIN ? static_cast<uint32_t>(v) : static_cast<uint64_t>(v));
      return PrintNumber(D, "ll", c == 'x' ? 'x' : c == 'X' ? 'X' : 'u', u);
    }
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'n':
    case 'N':
    case 'm':
    case 'M': {
      if (!Op.IsInteger && !Op.IsFloat) DirectiveError(D);
      const double v = Op.IsFloat ? Op.Float : static_cast<double>(Op.Integer);
      // Number (n) and money (m) formats: fixed notation with grouped
      // thousands, two decimals unless a precision is given.
      if (c == 'n' || c == 'N' || c == 'm' || c == 'M') return Pad(GroupedFixed(v, D), D, false);
      return PrintNumber(D, "", c == 'F' ? 'f' : c, v);
    }
    case 's':
    case 'S': {
      std::string text = Op.Text;
      if (D.Precision >= 0 && text.size() > static_cast<size_t>(D.Precision))
        text.resize(static_cast<size_t>(D.Precision));
      return Pad(std::move(text), D, false);
    }
    default: DirectiveError(D);
  }
}

// Copies the literal text of Control from Pos to the next directive, turning
// "%n" into a line end and "%%" into "%". Returns the index of the
// directive's "%", or npos when there is none (everything copied). When
// Final, directives are copied as written instead of stopping at them.
size_t CopyLiteral(std::string_view Control, size_t& Pos, std::string& Out, bool Final) {
  while (Pos < Control.size()) {
    const size_t at = Control.find('%', Pos);
    if (at == std::string_view::npos) break;
    Out.append(Control.substr(Pos, at - Pos));
    const char next = at + 1 < Control.size() ? Control[at + 1] : '\0';
    if (next == 'n') {
      Out += NewLineString;
      Pos = at + 2;
    } else if (next == '%') {
      Out += '%';
      Pos = at + 2;
    } else if (!Final) {
      Pos = at;
      return at;
    } else {
      Out += '%';
      Pos = at + 1;
    }
  }
  Out.append(Control.substr(Pos));
  Pos = Control.size();
  return std::string_view::npos;
}

// The text of a format call: each argument from First on fills the next
// directive of Control; arguments left over are appended, each after a
// blank; directives left over stay as written.
std::string FormatText(std::string_view Control, const TArgs& Args, int First) {
  std::string out;
  std::string extra;
  size_t pos = 0;
  bool directivesLeft = true;
  for (int i = First; i < Args.Count(); ++i) {
    const TOperand op = OperandOf(Args.Eval(i));
    if (directivesLeft && CopyLiteral(Control, pos, out, false) != std::string_view::npos) {
      TDirective d;
      pos = ParseDirective(Control, pos, d);
      out += FormatOne(d, op);
      continue;
    }
    directivesLeft = false;
    extra += ' ';
    extra += op.Text;
  }
  CopyLiteral(Control, pos, out, true);
  out += extra;
  return out;
}

// ---------------------------------------------------------------- files

// Renames without replacing an existing file: a rename must never destroy
// another file.
bool RenameNoReplace(const std::string& From, const std::string& To) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
#endif
  // Without kernel support, check first (a race with another process can
  // still replace the target).
  struct stat st;
  if (::lstat(To.c_str(), &st) == 0) return false;
  return std::rename(From.c_str(), To.c_str()) == 0;
}

TFileMode OpenMode(const std::string& Mode) {
  if (Mode == "r") return fmOpenRead;
  if (Mode == "r+") return fmOpenReadWrite;
  if (Mode == "w") return fmCreate;
  if (Mode == "a") return fmAppend;
  KbError(SInvalidFileAccess, Mode);
}

}  // namespace

// ---------------------------------------------------------------- output

KB_FUNCTION(TPrintOutFunction, "printout", 0, MaxArguments,
            "Creates a string and outputs it to the device specified by logical name.  The "
            "subsequent arguments are evaluated and concatenated into one string",
            "printout <logical-name> <expression>*") {
  const std::optional<std::string> name = OutputName(Args);
  std::string text;
  for (int i = 1; i < Args.Count(); ++i) AppendPrintText(text, Args.Eval(i));
  if (name) Args.Eng().PrintOut(*name, text);
  return FCNil;
}

KB_FUNCTION(TFormatFunction, "format", 2, MaxArguments,
            "Creates a string and outputs it to the device specified by logical name.  The "
            "second argument specifies a control string for formatting the evaluated following "
            "arguments",
            "format <logical-name> <string-expression> <expression>*") {
  const std::optional<std::string> name = OutputName(Args);
  const std::string control = Args.Str(1);
  std::string text = FormatText(control, Args, 2);
  // With nil for the logical name the text is the result, printed nowhere.
  if (!name) return NewString(std::move(text));
  Args.Eng().PrintOut(*name, text);
  return FCNil;
}

// ----------------------------------------------------------------- input

KB_FUNCTION(TReadFunction, "read", 0, 1,
            "Reads and returns a single field or token from the device specified by the logical "
            "name",
            "read [<logical-name>]") {
  const IStreamToken token = Args.Eng().ReadToken(LogicalName(Args, 0));
  // Punctuation reads as its character, in a string (not as the token's
  // character code).
  if (!token->IsValue() && !token->Is(TokEOF))
    return NewString(std::string(1, static_cast<char>(token->GetDataType())));
  return token->Value();
}

KB_FUNCTION(TReadLineFunction, "readline", 0, 1,
            "Reads and returns an entire line from the device specified by the logical name.  If "
            "no input is available, the function returns EOF",
            "readline [<logical-name>]") {
  std::string line;
  // An empty line is an empty string; only the end of the input is EOF.
  if (!Args.Eng().ReadLine(LogicalName(Args, 0), line)) return FCEOF;
  return NewString(line);
}

// ----------------------------------------------------------------- files

KB_FUNCTION(TOpenFunction, "open", 2, 3,
            "Opens the filename and associates the logical name with the file.  The optional "
            "third argument specifies the mode to open the file in:\r\n"
            "         r     read only (default)\r\n"
            "         w     write only\r\n"
            "         a     append\r\n"
            "         r+    read and write",
            "open <filename> <logical-name> [a|r|w|r+]") {
  TDeducer& engine = Args.Eng();
  const std::string fileName = Args.Str(0);
  const IKbValue logical = Args.Value(1);
  const std::string name = logical->GetAsString();
  const TFileMode mode = OpenMode(Args.Count() > 2 ? Args.Str(2) : std::string("r"));
  // The name is checked before the file is touched, so that a refused "w"
  // never truncates anything.
  TIOStreams& streams = engine.IOStreams();
  if (IsStandardStreamName(name)) KbError(SStreamNameReserved, name);
  if (streams.IndexOf(name) >= 0) KbError(SStreamNameInUse, name);
  // Every file is opened through a tokenizer, so "read" works on any of
  // them (a file open only for writing reads as empty).
  streams.AddStream(name, engine.NewTokenizer(fileName, mode));
  return logical->CloneValue();
}

KB_FUNCTION(TCloseFunction, "close", 0, MaxArguments,
            "Closes the files associated with the logical name arguments.  If no logical name is "
            "specified, all files are closed",
            "close [<logical-name>+]") {
  TIOStreams& streams = Args.Eng().IOStreams();
  if (Args.Count() == 0) streams.Clear();
  for (int i = 0; i < Args.Count(); ++i) streams.Remove(Args.Str(i));
  return FCTrue;
}

KB_FUNCTION(TRemoveFunction, "remove", 1, 1,
            "Deletes the specified file.  Returns TRUE if the file was deleted, FALSE if the file "
            "couldn't be deleted or does not exist",
            "remove [<file-name>]") {
  const std::string fileName = Args.Str(0);
  // Files only: a directory is not removed.
  struct stat st;
  if (::lstat(fileName.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return FCFalse;
  return BoolValue(::unlink(fileName.c_str()) == 0);
}

KB_FUNCTION(TRenameFunction, "rename", 2, 2,
            "Renames the file <old-file-name> to <new-file-name>.   If the operation succeeds, it "
            "returns TRUE.  If it cannot rename the file (for example, if a file called "
            "<new-file-name> already exists), it returns FALSE",
            "rename [<old-file-name> <new-file-name>]") {
  const std::string from = Args.Str(0);
  const std::string to = Args.Str(1);
  return BoolValue(RenameNoReplace(from, to));
}

KB_FUNCTION(TDribbleOnFunction, "dribble-on", 1, 1,
            "Starts capturing of all standard output to the capture file specified by "
            "<filename>.  Returns TRUE if the capture file was successfully opened, FALSE "
            "otherwise",
            "dribble-on <filename>") {
  return BoolValue(Args.Eng().StartCapture(Args.Str(0)));
}

KB_FUNCTION(TDribbleOffFunction, "dribble-off", 0, 0,
            "Stops capture of standard output started with the \"dribble-on\" command",
            "dribble-off") {
  return BoolValue(Args.Eng().StopCapture());
}

}  // namespace kb
