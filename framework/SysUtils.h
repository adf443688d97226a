// Exceptions, message formatting and the text forms of numbers.
//
// Every error the library raises is an Exception (or a subclass) carrying a
// finished message. Message constants are printf-style texts; Format fills
// them type-safely: %s takes any argument (strings as they are, numbers in
// decimal), %d an integer, %c a character, %% a percent sign. An argument
// that a directive cannot take, or a missing argument, is printed as the
// directive itself instead of reading past the arguments.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace kb {

// The framework's base exception: a message and a help context.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message, int32_t helpContext = 0)
      : Message_(std::move(message)), HelpContext_(helpContext) {}
  const char* what() const noexcept override { return Message_.c_str(); }
  const std::string& Message() const noexcept { return Message_; }
  void SetMessage(std::string m) { Message_ = std::move(m); }
  int32_t HelpContext() const noexcept { return HelpContext_; }

 private:
  std::string Message_;
  int32_t HelpContext_;
};

// A silent exception: unwinds without a message being shown.
class EAbort : public Exception {
 public:
  EAbort() : Exception("Operation aborted") {}
  using Exception::Exception;
};
// Bad text for a number, a failed Assign between unrelated classes.
class EConvertError : public Exception {
  using Exception::Exception;
};
// A list index out of bounds.
class EListError : public Exception {
  using Exception::Exception;
};
// An object is not of the class an operation requires.
class EInvalidCast : public Exception {
  using Exception::Exception;
};
// A file could not be opened, created, read or written.
class EFileError : public Exception {
  using Exception::Exception;
};

// One argument of Format: text, integer, float or character.
class TFormatArg {
 public:
  enum class Kind : uint8_t { Text, Int, Float, Char };
  TFormatArg(const std::string& s) : K(Kind::Text), Text(s) {}
  TFormatArg(std::string_view s) : K(Kind::Text), Text(s) {}
  TFormatArg(const char* s) : K(Kind::Text), Text(s ? s : "") {}
  TFormatArg(char c) : K(Kind::Char), Int(static_cast<unsigned char>(c)) {}
  TFormatArg(int v) : K(Kind::Int), Int(v) {}
  TFormatArg(long v) : K(Kind::Int), Int(v) {}
  TFormatArg(long long v) : K(Kind::Int), Int(v) {}
  TFormatArg(unsigned v) : K(Kind::Int), Int(v) {}
  TFormatArg(unsigned long v) : K(Kind::Int), Int(static_cast<int64_t>(v)) {}
  TFormatArg(double v) : K(Kind::Float), Float(v) {}

  Kind K;
  std::string_view Text;
  int64_t Int = 0;
  double Float = 0;
};

std::string FormatArgs(std::string_view fmt, std::initializer_list<TFormatArg> args);

template <class... Args>
std::string Format(std::string_view fmt, const Args&... args) {
  return FormatArgs(fmt, {TFormatArg(args)...});
}

// Integer text: optional sign and decimal digits, nothing else; the value
// must fit in 64 bits.
std::string IntToStr(int64_t v);
std::optional<int64_t> TryStrToInt(std::string_view s);
// Raises EConvertError "'<s>' is not a valid integer value".
int64_t StrToInt(std::string_view s);
// A float truncated toward zero, when the result is a 64-bit integer;
// nothing for NaN, infinities and values outside the range (never clamped).
std::optional<int64_t> TryFloatToInt(double f);

// Float text in general format with up to 15 significant digits: fixed
// notation when the magnitude is at least 0.00001 and the integer part has
// at most 15 digits, otherwise mantissa "E" exponent; trailing zeros and a
// trailing period are dropped. NaN and infinities print as NAN, INF, -INF.
std::string FloatToStr(double v);
// Decimal floats: optional sign, digits, optional fraction, optional exponent.
std::optional<double> TryStrToFloat(std::string_view s);
double StrToFloat(std::string_view s);

std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// Milliseconds from a monotonic clock, for run statistics.
uint32_t GetTickCount();

// Whether the calling thread has used most of its stack: true once less
// than a reserve (a quarter of the stack, at least 256 KB) is left. Deeply
// recursive evaluation asks before it goes deeper, so that a runaway
// recursion becomes an error instead of a crash. False when the thread's
// stack cannot be found. Inline: every function call asks.
namespace detail {
// The lowest stack address the calling thread may reach; 0 until the
// thread first asks, 1 when its stack is unknown.
extern constinit thread_local uintptr_t StackLimit;
// Finds the calling thread's limit and keeps it in StackLimit.
uintptr_t FindStackLimit() noexcept;
}  // namespace detail
inline bool StackNearlyExhausted() noexcept {
  uintptr_t limit = detail::StackLimit;
  if (limit == 0) [[unlikely]]
    limit = detail::FindStackLimit();
  // The frame address is on the thread's real stack even where a
  // sanitizer keeps locals elsewhere.
  return reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) < limit;
}

}  // namespace kb
