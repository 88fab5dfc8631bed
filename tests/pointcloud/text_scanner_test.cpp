// The scanner against the C library's own fscanf on the same text: numbers, the characters
// each conversion consumes, literal matching, words and lines.

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
    for (int length = 1 + static_cast<int>(rng() % maxLength); length > 0; --length) {
      text += alphabet[rng() % alphabet.size()];
    }
    std::string copy = text;
    FILE* file = fmemopen(copy.data(), copy.size(), "r");
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
  // Long runs of digits overflow long and saturate as strtol does.
  expectAgreesWithScanf<long>(rng, "0123456789+- \nx", 50000, 30, "%ld",
                              [](TextScanner& s, long* v) { return s.readLong(v); });
}

TEST(TextScannerTest, ReadDoubleGivesCorrectlyRoundedValuesAndRangeLimits) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> wide(-1e6, 1e6);
  for (int i = 0; i < 20000; ++i) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", 1 + static_cast<int>(rng() % 17), wide(rng));
    double value = 0;
    ASSERT_TRUE(TextScanner(text).readDouble(&value));
    ASSERT_EQ(value, std::strtod(text, nullptr)) << text;
  }
  for (const char* text : {"1e999", "-1e999", "1e-400", "4.9406564584124654e-324", "0x1.fffffffffffffp1023",
                           "0x1p-1080", "123456789012345678901234567890"}) {
    double value = 0;
    ASSERT_TRUE(TextScanner(text).readDouble(&value)) << text;
    EXPECT_EQ(value, std::strtod(text, nullptr)) << text;
  }
}

TEST(TextScannerTest, LiteralsConsumeWhatMatchedAndSpacesSkipAnyWhiteSpace) {
  TextScanner scanner("angle3=30\n");
  EXPECT_FALSE(scanner.matchLiteral("angle2="));
  EXPECT_EQ(scanner.position(), 5u);  // "angle" consumed, '3' is next
  EXPECT_FALSE(scanner.matchLiteral("angle3="));
  EXPECT_EQ(scanner.position(), 5u);

  TextScanner spaced("element   \t vertex 12");
  long n = 0;
  EXPECT_TRUE(spaced.matchLiteral("element vertex ") && spaced.readLong(&n));
  EXPECT_EQ(n, 12);
  EXPECT_TRUE(spaced.atEnd());
  EXPECT_TRUE(TextScanner("elementvertex 3").matchLiteral("element vertex"));  // a space matches none as well
}

}  // namespace
