#include "framework/SysUtils.h"

#include <pthread.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace kb {

std::string FormatArgs(std::string_view fmt, std::initializer_list<TFormatArg> args) {
  std::string out;
  out.reserve(fmt.size() + 16 * args.size());
  auto next = args.begin();
  for (size_t i = 0; i < fmt.size(); ++i) {
    char c = fmt[i];
    if (c != '%' || i + 1 >= fmt.size()) {
      out += c;
      continue;
    }
    size_t start = i++;
    if (fmt[i] == '%') {
      out += '%';
      continue;
    }
    // Flags, width and precision are accepted and applied for numbers.
    bool leftAlign = false;
    while (i < fmt.size() && (fmt[i] == '-' || fmt[i] == '0' || fmt[i] == '+' || fmt[i] == ' ')) {
      if (fmt[i] == '-') leftAlign = true;
      ++i;
    }
    size_t width = 0;
    while (i < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[i])))
      width = width * 10 + static_cast<size_t>(fmt[i++] - '0');
    int precision = -1;
    if (i < fmt.size() && fmt[i] == '.') {
      precision = 0;
      ++i;
      while (i < fmt.size() && std::isdigit(static_cast<unsigned char>(fmt[i])))
        precision = precision * 10 + (fmt[i++] - '0');
    }
    if (i >= fmt.size()) {
      out.append(fmt.substr(start));
      break;
    }
    char conv = fmt[i];
    if (next == args.end() || (conv != 's' && conv != 'd' && conv != 'c')) {
      out.append(fmt.substr(start, i - start + 1));
      continue;
    }
    const TFormatArg& a = *next++;
    std::string piece;
    switch (conv) {
      case 's':
        if (a.K == TFormatArg::Kind::Text)
          piece.assign(a.Text);
        else if (a.K == TFormatArg::Kind::Int)
          piece = IntToStr(a.Int);
        else if (a.K == TFormatArg::Kind::Char)
          piece.assign(1, static_cast<char>(a.Int));
        else
          piece = FloatToStr(a.Float);
        if (precision >= 0 && piece.size() > static_cast<size_t>(precision))
          piece.resize(static_cast<size_t>(precision));
        break;
      case 'd':
        if (a.K == TFormatArg::Kind::Int || a.K == TFormatArg::Kind::Char)
          piece = IntToStr(a.Int);
        else if (a.K == TFormatArg::Kind::Float)
          piece = IntToStr(static_cast<int64_t>(a.Float));
        else
          piece.assign(a.Text);
        break;
      case 'c':
        if (a.K == TFormatArg::Kind::Text)
          piece.assign(a.Text.substr(0, 1));
        else
          piece.assign(1, static_cast<char>(a.Int));
        break;
    }
    if (piece.size() < width) {
      if (leftAlign)
        piece.append(width - piece.size(), ' ');
      else
        piece.insert(0, width - piece.size(), ' ');
    }
    out += piece;
  }
  return out;
}

std::string IntToStr(int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::optional<int64_t> TryStrToInt(std::string_view s) {
  if (s.empty()) return std::nullopt;
  size_t i = 0;
  bool neg = false;
  if (s[0] == '+' || s[0] == '-') {
    neg = s[0] == '-';
    i = 1;
  }
  if (i >= s.size()) return std::nullopt;
  // Accumulated as a magnitude, so that the most negative value, whose
  // magnitude has no positive counterpart, reads too.
  uint64_t v = 0;
  const uint64_t limit = neg ? uint64_t{1} << 63 : uint64_t{INT64_MAX};
  const uint64_t tens = limit / 10, units = limit % 10;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c < '0' || c > '9') return std::nullopt;
    const auto digit = static_cast<uint64_t>(c - '0');
    if (v > tens || (v == tens && digit > units)) return std::nullopt;
    v = v * 10 + digit;
  }
  return neg ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
}

std::optional<int64_t> TryFloatToInt(double f) {
  // -2^63 and 2^63 are exact doubles; written so that NaN fails both
  // comparisons.
  if (!(f >= -9223372036854775808.0 && f < 9223372036854775808.0)) return std::nullopt;
  return static_cast<int64_t>(f);
}

int64_t StrToInt(std::string_view s) {
  auto v = TryStrToInt(s);
  if (!v) throw EConvertError(Format("'%s' is not a valid integer value", s));
  return *v;
}

std::string FloatToStr(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (v == 0) return "0";
  // 15 significant digits, then decide between fixed and scientific notation.
  // The digits as "%.14e" gives them, correctly rounded, without printf.
  char buf[40];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
  // buf: [-]d.dddddddddddddde[+-]xx
  std::string_view s(buf, static_cast<size_t>(res.ptr - buf));
  bool neg = s[0] == '-';
  if (neg) s.remove_prefix(1);
  size_t ePos = s.find('e');
  std::string digits;
  digits += s[0];
  digits.append(s.substr(2, ePos - 2));
  int exp = std::atoi(std::string(s.substr(ePos + 1)).c_str());
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string out;
  if (neg) out += '-';
  if (exp < -5 || exp > 14) {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += 'E';
    out += IntToStr(exp);
  } else if (exp < 0) {
    out += "0.";
    out.append(static_cast<size_t>(-exp - 1), '0');
    out += digits;
  } else {
    size_t intLen = static_cast<size_t>(exp) + 1;
    if (digits.size() <= intLen) {
      out += digits;
      out.append(intLen - digits.size(), '0');
    } else {
      out.append(digits, 0, intLen);
      out += '.';
      out.append(digits, intLen);
    }
  }
  return out;
}

std::optional<double> TryStrToFloat(std::string_view s) {
  size_t i = 0, n = s.size();
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  if (i < n && s[i] == '.') {
    ++i;
    while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i, ++expDigits;
    if (expDigits == 0) return std::nullopt;
  }
  if (i != n) return std::nullopt;
  std::string copy(s);
  return std::strtod(copy.c_str(), nullptr);
}

double StrToFloat(std::string_view s) {
  auto v = TryStrToFloat(s);
  if (!v) throw EConvertError(Format("'%s' is not a valid floating point value", s));
  return *v;
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

static bool IsTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

std::string TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && IsTrimmed(s[i])) ++i;
  return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && IsTrimmed(s[n - 1])) --n;
  return std::string(s.substr(0, n));
}

uint32_t GetTickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

namespace {

// The lowest stack address the calling thread may reach before
// StackNearlyExhausted answers true; 1 when its stack is unknown.
uintptr_t ComputeStackLimit() noexcept {
  pthread_attr_t attr;
  if (pthread_getattr_np(pthread_self(), &attr) != 0) return 1;
  void* base = nullptr;
  size_t size = 0;
  const bool known = pthread_attr_getstack(&attr, &base, &size) == 0 && base && size > 0;
  pthread_attr_destroy(&attr);
  if (!known) return 1;
  constexpr size_t MinReserve = 256 * 1024;
  const size_t reserve = std::min(size / 2, std::max(size / 4, MinReserve));
  return reinterpret_cast<uintptr_t>(base) + reserve;
}

}  // namespace

namespace detail {

constinit thread_local uintptr_t StackLimit = 0;

uintptr_t FindStackLimit() noexcept { return StackLimit = ComputeStackLimit(); }

}  // namespace detail

}  // namespace kb
