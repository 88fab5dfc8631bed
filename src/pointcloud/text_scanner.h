#pragma once
// Fast scanning of numbers and words from a text held in memory, with the acceptance of
// the C library's scanf conversions in the C locale ("%lf", "%ld", "%d", "%s") and of
// literal text in a format, but without scanf's per-call cost.

#include <cstddef>
#include <string>
#include <string_view>

// Reads a whole regular file into out. Returns false (out untouched) when it is not a regular
// file (a folder, a device, a pipe) or cannot be opened or read.
bool readWholeFile(const std::string& path, std::string* out);

class TextScanner {
 public:
  explicit TextScanner(std::string_view text) : text_(text) {}

  // Skips white space, like a space or "\n" in a scanf format.
  void skipSpace();
  // "%lf": skips white space, then reads a floating-point number (sign, decimal or
  // hexadecimal, inf, infinity, nan). False when none is there; the characters consumed,
  // on success and on failure, are those that scanf consumes.
  bool readDouble(double* out);
  // "%ld" / "%d": skips white space, then reads a decimal integer with optional sign; a
  // lone sign fails and stays consumed, as in scanf. A value beyond the range of long
  // saturates to LONG_MAX / LONG_MIN, as strtol does.
  bool readLong(long* out);
  // "%s": skips white space, then reads a run of non-space characters.
  bool readWord(std::string* out);
  // Literal text of a format: consumes the characters that match; true when all matched.
  // A white-space character in the literal skips any amount of white space.
  bool matchLiteral(std::string_view literal);
  // Reads the rest of the current line (without its line end) and moves past the line end.
  // "\r\n" counts as one line end, so files written on Windows read the same. False at the end.
  bool readLine(std::string* out);

  bool atEnd() const { return pos_ >= text_.size(); }
  size_t position() const { return pos_; }
  void seek(size_t pos) { pos_ = pos < text_.size() ? pos : text_.size(); }
  // 1-based line number of the current position, for messages.
  size_t lineNumber() const;
  std::string_view text() const { return text_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};
