// The scanner against the C library's own fscanf on the same text: the strings accepted, the
// values (correctly rounded, out of range, hexadecimal, inf, nan) and the characters consumed.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "pointcloud/text_scanner.h"

namespace {

// On random strings of the alphabet, the scanner's conversion and fscanf with the format
// accept the same strings, give the same value (NaN equal to NaN) and consume the same characters.
template <typename T, typename Read>
void expectAgreesWithScanf(std::mt19937& rng, const std::string& alphabet, int count, int maxLength, const char* format,
                           Read read) {
  for (int i = 0; i < count; ++i) {
    std::string text;
    for (int n = 1 + rng() % maxLength; n > 0; --n) text += alphabet[rng() % alphabet.size()];
    FILE* file = fmemopen(text.data(), text.size(), "r");
    T expected{}, value{};
    const bool expectedOk = std::fscanf(file, format, &expected) == 1;
    const long consumed = std::ftell(file);
    std::fclose(file);
    TextScanner scanner(text);
    const bool ok = read(scanner, &value);
    ASSERT_EQ(ok, expectedOk) << "[" << text << "]";
    ASSERT_TRUE(!ok || value == expected || (value != value && expected != expected)) << "[" << text << "]";
    ASSERT_EQ(static_cast<long>(scanner.position()), consumed) << "[" << text << "]";
  }
}

TEST(TextScannerTest, ReadDoubleAndReadLongAcceptAndConsumeExactlyAsScanf) {
  std::mt19937 rng(42);
  auto readDouble = [](TextScanner& s, double* v) { return s.readDouble(v); };
  expectAgreesWithScanf<double>(rng, "0123456789aAbBcdefFxXpPeE+-. \ninINfFtTyY()", 100000, 16, "%lf", readDouble);
  expectAgreesWithScanf<double>(rng, "000111222333444555666777888999eEpPxX..+- \t\nn", 100000, 16, "%lf", readDouble);
  expectAgreesWithScanf<double>(rng, "0123456789.", 20000, 40, "%lf", readDouble);  // long digit runs
  // Long runs of digits overflow long and saturate as strtol does.
  expectAgreesWithScanf<long>(rng, "0123456789+- \nx", 50000, 30, "%ld",
                              [](TextScanner& s, long* v) { return s.readLong(v); });
}

}  // namespace
