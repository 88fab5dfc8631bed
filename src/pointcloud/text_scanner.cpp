#include "pointcloud/text_scanner.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

// White space as isspace sees it in the C locale.
inline bool isSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}
inline bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
inline bool isHexDigit(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

inline char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Matches word case-insensitively at p, advancing over the characters that match. Like
// scanf, a mismatch also consumes the character that did not match.
bool matchWordNoCase(const char*& p, const char* last, const char* word) {
  for (; *word; ++word, ++p) {
    if (p == last) return false;
    if (lower(*p) != *word) {
      ++p;
      return false;
    }
  }
  return true;
}

// Converts [first, last) with strtod, which gives the C library's answer for values that
// overflow (+-HUGE_VAL) or underflow (a denormal or zero), where from_chars only reports
// the range error. Returns false when strtod takes nothing.
bool convertWithStrtod(const char* first, const char* last, double* out) {
  std::string copy(first, last);
  char* end = nullptr;
  *out = std::strtod(copy.c_str(), &end);
  return end != copy.c_str();
}

// Converts the characters that scanf collected for "%lf" (sign removed) as strtod would:
// the longest prefix that forms a number; false when there is none.
bool convertCollected(const char* first, const char* last, bool hex, double* out) {
  const char* body = hex ? first + 2 : first;
  auto r = std::from_chars(body, last, *out, hex ? std::chars_format::hex : std::chars_format::general);
  if (r.ec == std::errc()) return true;
  if (r.ec == std::errc::result_out_of_range) return convertWithStrtod(first, last, out);
  if (hex) {  // "0x" with no usable hex digits after it: strtod takes the "0"
    *out = 0.0;
    return true;
  }
  return false;
}

// Powers of ten that a double holds exactly.
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The common case of the number files, an unsigned decimal without exponent such as
// "12.345678": when its digits form an integer below 2^53 and it has at most 22 fraction
// digits, integer / 10^fraction is one correctly rounded division of two exact doubles,
// the same value strtod gives. Returns the end of the number, or null when the general
// path must decide (no digits, too many digits, an exponent or a hexadecimal prefix follows).
const char* parsePlainDecimal(const char* p, const char* last, double* out) {
  uint64_t mantissa = 0;
  int digits = 0;
  int fraction = 0;
  while (p < last && isDigit(*p)) {
    mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    ++digits;
    ++p;
  }
  if (p < last && *p == '.') {
    ++p;
    while (p < last && isDigit(*p)) {
      mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
      ++digits;
      ++fraction;
      ++p;
    }
  }
  if (digits == 0 || digits > 19 || mantissa > (uint64_t{1} << 53) || fraction > 22) return nullptr;
  if (p < last && (lower(*p) == 'e' || lower(*p) == 'x')) return nullptr;
  *out = static_cast<double>(mantissa) / kExactPowersOfTen[fraction];
  return p;
}

}  // namespace

bool readWholeFile(const std::string& path, std::string* out) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  // Only a regular file is a cloud: a folder opens on Linux but is no file to read, and a
  // device or a pipe may never end.
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    std::fclose(file);
    return false;
  }
  // Read straight into a string of the file's size; more than that (a file that grew) is appended.
  std::string content;
  if (S_ISREG(info.st_mode) && info.st_size > 0) content.resize(static_cast<size_t>(info.st_size));
  size_t filled = content.empty() ? 0 : std::fread(&content[0], 1, content.size(), file);
  content.resize(filled);
  char chunk[1 << 16];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, n);
  const bool ok = !std::ferror(file);
  std::fclose(file);
  if (!ok) return false;
  out->swap(content);
  return true;
}

void TextScanner::skipSpace() {
  while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
}

// Follows the C library's "%lf" conversion: it collects the longest run of characters that
// can begin a number (sign; "nan"; "inf" or "infinity"; digits with one decimal point and an
// exponent mark followed by an optional sign and digits; "0x" for hexadecimal with a "p"
// exponent), then converts that run as strtod does. A run that strtod cannot use, a bare
// "0x", or a broken "nan" / "infinity" fails, with the run consumed as scanf consumes it.
bool TextScanner::readDouble(double* out) {
  skipSpace();
  const char* base = text_.data();
  const char* last = base + text_.size();
  const char* p = base + pos_;
  bool negative = false;
  if (p < last && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  auto finish = [&](bool ok, double value) {
    pos_ = static_cast<size_t>(p - base);
    if (ok) *out = negative ? -value : value;
    return ok;
  };
  if (p < last && lower(*p) == 'n') {
    bool ok = matchWordNoCase(p, last, "nan");
    return finish(ok, std::numeric_limits<double>::quiet_NaN());
  }
  if (p < last && lower(*p) == 'i') {
    bool ok = matchWordNoCase(p, last, "inf");
    if (ok && p < last && lower(*p) == 'i') ok = matchWordNoCase(p, last, "inity");
    return finish(ok, std::numeric_limits<double>::infinity());
  }
  double fast = 0.0;
  if (const char* end = parsePlainDecimal(p, last, &fast)) {
    p = end;
    return finish(true, fast);
  }
  const char* first = p;
  const bool hex = last - p >= 2 && p[0] == '0' && lower(p[1]) == 'x';
  if (hex) p += 2;
  const char exponentMark = hex ? 'p' : 'e';
  bool gotDigit = false, gotPoint = false, gotExponent = false;
  while (p < last) {
    const char c = *p;
    if (gotExponent ? isDigit(c) : (hex ? isHexDigit(c) : isDigit(c))) {
      gotDigit = true;
    } else if (c == '.' && !gotPoint && !gotExponent) {
      gotPoint = true;
    } else if (gotDigit && !gotExponent && lower(c) == exponentMark) {
      gotExponent = true;
      if (p + 1 < last && (p[1] == '+' || p[1] == '-')) ++p;
    } else {
      break;
    }
    ++p;
  }
  double value = 0.0;
  const bool ok = p > first + (hex ? 2 : 0) && convertCollected(first, p, hex, &value);
  return finish(ok, value);
}

bool TextScanner::readLong(long* out) {
  skipSpace();
  const char* begin = text_.data() + pos_;
  const char* end = text_.data() + text_.size();
  const char* p = begin;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p == end || !isDigit(*p)) {
    pos_ = static_cast<size_t>(p - text_.data());  // scanf keeps a lone sign consumed
    return false;
  }
  unsigned long magnitude = 0;
  bool overflow = false;
  while (p < end && isDigit(*p)) {
    unsigned digit = static_cast<unsigned>(*p - '0');
    if (magnitude > (ULONG_MAX - digit) / 10) overflow = true;
    if (!overflow) magnitude = magnitude * 10 + digit;
    ++p;
  }
  // Out of range saturates, as strtol (and so scanf) does.
  const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
  if (overflow || magnitude > limit) magnitude = limit;
  *out = negative ? static_cast<long>(0 - magnitude) : static_cast<long>(magnitude);
  pos_ = static_cast<size_t>(p - text_.data());
  return true;
}

bool TextScanner::readWord(std::string* out) {
  skipSpace();
  size_t start = pos_;
  while (pos_ < text_.size() && !isSpace(text_[pos_])) ++pos_;
  if (pos_ == start) return false;
  out->assign(text_.data() + start, pos_ - start);
  return true;
}

bool TextScanner::matchLiteral(std::string_view literal) {
  for (char c : literal) {
    if (isSpace(c)) {
      skipSpace();
    } else if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
    } else {
      return false;
    }
  }
  return true;
}

bool TextScanner::readLine(std::string* out) {
  if (atEnd()) return false;
  size_t start = pos_;
  size_t newline = text_.find('\n', pos_);
  size_t stop = newline == std::string_view::npos ? text_.size() : newline;
  pos_ = newline == std::string_view::npos ? text_.size() : newline + 1;
  if (stop > start && text_[stop - 1] == '\r') --stop;  // a CRLF line end counts as one line end
  out->assign(text_.data() + start, stop - start);
  return true;
}

size_t TextScanner::lineNumber() const {
  size_t line = 1;
  for (size_t i = 0; i < pos_ && i < text_.size(); ++i) line += text_[i] == '\n';
  return line;
}
