#include "mesh/NumberText.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "util/Exception.h"

namespace {

TEST(NumberText, FixedPointPattern) {
  EXPECT_EQ(FormatFixed(1.5, 3), "1.500");
  EXPECT_EQ(FormatFixed(-0.25, 3), "-0.250");
  EXPECT_EQ(FormatFixed(-0.0004, 3), "0.000");
  EXPECT_EQ(FormatFixed(-0.0006, 3), "-0.001");
  EXPECT_EQ(FormatFixed(-4.2f, 3), "-4.200");
}

TEST(NumberText, RoundedShortestForm) {
  EXPECT_EQ(FormatRounded(0.5, 3), "0.5");
  EXPECT_EQ(FormatRounded(0.12345f, 3), "0.123");
  EXPECT_EQ(FormatRounded(0.0625, 3), "0.062");   // tie to even
  EXPECT_EQ(FormatRounded(0.0625, 5), "0.0625");  // the FVRT edit box's precision
  EXPECT_EQ(FormatRounded(0.1875, 3), "0.188");   // tie, up to even
  EXPECT_EQ(FormatRounded(0.0, 3), "0");
  EXPECT_EQ(FormatRounded(-0.0002, 3), "0");
  EXPECT_EQ(FormatRounded(1.0, 1), "1");
  EXPECT_EQ(FormatRounded(11.26f, 1), "11.3");
}

struct FloatCase {
  const char* text;
  double value;
};

class ParseFloatAccepts : public ::testing::TestWithParam<FloatCase> {};

TEST_P(ParseFloatAccepts, Value) { EXPECT_EQ(ParseTypedFloat(GetParam().text), GetParam().value); }

INSTANTIATE_TEST_SUITE_P(Typed, ParseFloatAccepts,
                         ::testing::Values(FloatCase{"1.5", 1.5}, FloatCase{" -2 ", -2.0},
                                           FloatCase{"+0.25", 0.25}, FloatCase{".5", 0.5},
                                           FloatCase{"1e3", 1000.0}, FloatCase{"100", 100.0}));

class ParseFloatRejects : public ::testing::TestWithParam<const char*> {};

TEST_P(ParseFloatRejects, NamesTheText) {
  try {
    ParseTypedFloat(GetParam());
    FAIL() << "accepted " << GetParam();
  } catch (const EConvertError& e) {
    EXPECT_EQ(std::string(e.what()),
              "'" + std::string(GetParam()) + "' is not a valid floating point value");
  }
}

INSTANTIATE_TEST_SUITE_P(Typed, ParseFloatRejects,
                         ::testing::Values("", "   ", "1,5", "abc", "1.5x", "inf", "nan", "+-1",
                                           "-", "1e999"));

TEST(NumberText, ParseIntegers) {
  EXPECT_EQ(ParseTypedInt("70000"), 70000);
  EXPECT_EQ(ParseTypedInt(" -5 "), -5);
  EXPECT_EQ(ParseTypedInt("+12"), 12);
  EXPECT_THROW(ParseTypedInt("1.5"), EConvertError);
  EXPECT_THROW(ParseTypedInt("2147483648"), EConvertError);
  EXPECT_THROW(ParseTypedInt(""), EConvertError);
  try {
    ParseTypedInt("x7");
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x7' is not a valid integer value");
  }
  EXPECT_EQ(ParseIntOrZero("abc"), 0);
  EXPECT_EQ(ParseIntOrZero("00000512"), 512);
}

}  // namespace

namespace {

// The list formats take a shortcut for floats (an exact integer scaling); it must give the
// same text as the exact general conversion for every float, ties included.
TEST(NumberText, ShortcutAgreesWithExactConversion) {
  std::mt19937 rng(11);
  for (int i = 0; i < 200000; ++i) {
    float f;
    if (i % 3 == 0) {
      const uint32_t bits = static_cast<uint32_t>(rng());
      std::memcpy(&f, &bits, 4);
    } else if (i % 3 == 1) {
      f = float(int(rng() % 2000001) - 1000000) / 16.0f / 1000.0f;  // many exact ties
    } else {
      f = std::ldexp(float(rng() % 100000), -int(rng() % 30));
    }
    char buf[400];
    const auto res = std::to_chars(buf, buf + sizeof buf, double{f}, std::chars_format::fixed, 3);
    std::string exact(buf, res.ptr);
    if (exact.find_first_not_of("-0.") == std::string::npos && exact[0] == '-') exact.erase(0, 1);
    ASSERT_EQ(FormatFixed(f, 3), exact) << f;
    if (std::isfinite(f) && std::fabs(f) < 1e9f) {
      const double rounded = std::nearbyint(double{f} * 1000.0) / 1000.0 + 0.0;
      const auto r2 = std::to_chars(buf, buf + sizeof buf, rounded, std::chars_format::general, 15);
      ASSERT_EQ(FormatRounded(f, 3), std::string(buf, r2.ptr)) << f;
    }
  }
}

}  // namespace

namespace {

TEST(NumberText, PrintfFixedMatchesTheCLibrary) {
  std::mt19937 rng(5);
  for (int i = 0; i < 100000; ++i) {
    float f;
    if (i % 2) {
      const uint32_t bits = static_cast<uint32_t>(rng());
      std::memcpy(&f, &bits, 4);
    } else {
      f = std::ldexp(float(int(rng() % 200001) - 100000), -int(rng() % 34));  // ties at 7 decimals
    }
    if (std::isnan(f)) continue;  // the sign of a NaN text is the library's own business
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.7f", double{f});
    std::string s;
    AppendPrintfFixed(s, f, 7);
    ASSERT_EQ(s, buf) << f;
  }
  std::string z;
  AppendPrintfFixed(z, -0.0f, 7);
  EXPECT_EQ(z, "-0.0000000");
}

}  // namespace
