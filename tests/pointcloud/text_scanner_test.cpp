// The scanner against the C library's own fscanf on the same text: numbers, the characters
// each conversion consumes, literal matching, words and lines.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "pointcloud/text_scanner.h"
#include "support/test_support.h"

namespace {

struct ScanfResult {
  bool ok = false;
  double value = 0;
  long consumed = 0;
};

// fscanf of one conversion over the text in memory; ftell tells what it consumed.
template <typename T>
ScanfResult scanfOne(const std::string& text, const char* format) {
  ScanfResult r;
  std::string copy = text;
  FILE* f = fmemopen(copy.data(), copy.size(), "r");
  T value{};
  r.ok = std::fscanf(f, format, &value) == 1;
  r.value = static_cast<double>(value);
  r.consumed = std::ftell(f);
  std::fclose(f);
  return r;
}

std::string randomText(std::mt19937& rng, const std::string& alphabet, int maxLength) {
  std::string s;
  const int length = 1 + static_cast<int>(rng() % maxLength);
  for (int i = 0; i < length; ++i) s += alphabet[rng() % alphabet.size()];
  return s;
}

bool sameDouble(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || a == b;
}

TEST(TextScannerTest, ReadDoubleAcceptsAndConsumesExactlyAsScanf) {
  std::mt19937 rng(42);
  const std::string alphabets[] = {"0123456789aAbBcdefFxXpPeE+-. \ninINfFtTyY()",
                                   "000111222333444555666777888999eEpPxX..+- \t\nn"};
  for (const std::string& alphabet : alphabets) {
    for (int i = 0; i < 100000; ++i) {
      const std::string text = randomText(rng, alphabet, 16);
      const ScanfResult expected = scanfOne<double>(text, "%lf");
      TextScanner scanner(text);
      double value = 0;
      const bool ok = scanner.readDouble(&value);
      ASSERT_EQ(ok, expected.ok) << "[" << text << "]";
      if (ok) {
        ASSERT_TRUE(sameDouble(value, expected.value)) << "[" << text << "] " << value;
      }
      ASSERT_EQ(static_cast<long>(scanner.position()), expected.consumed) << "[" << text << "]";
    }
  }
}

TEST(TextScannerTest, ReadDoubleGivesCorrectlyRoundedValuesAndRangeLimits) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> wide(-1e6, 1e6);
  for (int i = 0; i < 20000; ++i) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", 1 + static_cast<int>(rng() % 17), wide(rng));
    TextScanner scanner(text);
    double value = 0;
    ASSERT_TRUE(scanner.readDouble(&value));
    ASSERT_EQ(value, std::strtod(text, nullptr)) << text;
  }
  for (const char* text : {"1e999", "-1e999", "1e-400", "4.9406564584124654e-324", "0x1.fffffffffffffp1023",
                           "0x1p-1080", "123456789012345678901234567890"}) {
    TextScanner scanner(text);
    double value = 0;
    ASSERT_TRUE(scanner.readDouble(&value)) << text;
    EXPECT_EQ(value, std::strtod(text, nullptr)) << text;
  }
}

TEST(TextScannerTest, ReadLongAcceptsConsumesAndSaturatesAsScanf) {
  std::mt19937 rng(3);
  const std::string alphabet = "0123456789+- \nx";
  for (int i = 0; i < 50000; ++i) {
    const std::string text = randomText(rng, alphabet, 30);
    const ScanfResult expected = scanfOne<long>(text, "%ld");
    TextScanner scanner(text);
    long value = 0;
    const bool ok = scanner.readLong(&value);
    ASSERT_EQ(ok, expected.ok) << "[" << text << "]";
    if (ok) {
      ASSERT_EQ(static_cast<double>(value), expected.value) << "[" << text << "]";
    }
    ASSERT_EQ(static_cast<long>(scanner.position()), expected.consumed) << "[" << text << "]";
  }
}

TEST(TextScannerTest, LiteralsConsumeWhatMatchedAndSpacesSkipAnyWhiteSpace) {
  TextScanner scanner("angle3=30\n");
  EXPECT_FALSE(scanner.matchLiteral("angle2="));
  EXPECT_EQ(scanner.position(), 5u);  // "angle" consumed, '3' is next
  EXPECT_FALSE(scanner.matchLiteral("angle3="));
  EXPECT_EQ(scanner.position(), 5u);

  TextScanner spaced("element   \t vertex 12");
  EXPECT_TRUE(spaced.matchLiteral("element vertex "));
  long n = 0;
  EXPECT_TRUE(spaced.readLong(&n));
  EXPECT_EQ(n, 12);
  EXPECT_TRUE(spaced.atEnd());

  TextScanner noSpace("elementvertex 3");
  EXPECT_TRUE(noSpace.matchLiteral("element vertex"));  // a space in a format matches none as well
}

TEST(TextScannerTest, WordsLinesAndLineNumbers) {
  TextScanner scanner("  #header rest\r\nsecond line\n\nlast");
  std::string word;
  EXPECT_TRUE(scanner.readWord(&word));
  EXPECT_EQ(word, "#header");
  std::string line;
  EXPECT_TRUE(scanner.readLine(&line));
  EXPECT_EQ(line, " rest");  // the CR of a CRLF line end is not part of the line
  EXPECT_EQ(scanner.lineNumber(), 2u);
  EXPECT_TRUE(scanner.readLine(&line));
  EXPECT_EQ(line, "second line");
  EXPECT_TRUE(scanner.readLine(&line));
  EXPECT_EQ(line, "");
  EXPECT_TRUE(scanner.readLine(&line));
  EXPECT_EQ(line, "last");
  EXPECT_EQ(scanner.lineNumber(), 4u);
  EXPECT_FALSE(scanner.readLine(&line));
  EXPECT_FALSE(scanner.readWord(&word));
  EXPECT_FALSE(TextScanner(" \n\t").readWord(&word));
}

TEST(TextScannerTest, ReadWholeFileReadsBytesAndFailsOnMissingFilesAndFolders) {
  TempDir dir;
  std::string content = "a\r\nb";
  content += '\0';
  content += "c";
  const std::string path = dir.write("f.txt", content);
  std::string out = "untouched";
  ASSERT_TRUE(readWholeFile(path, &out));
  EXPECT_EQ(out, content);
  out = "untouched";
  EXPECT_FALSE(readWholeFile(dir.file("missing"), &out));
  EXPECT_FALSE(readWholeFile(dir.path(), &out));
  EXPECT_EQ(out, "untouched");
}

}  // namespace
