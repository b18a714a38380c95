#include "mesh/NumberText.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(FormatRounded(0.0625, 3), "0.062");    // tie to even
  EXPECT_EQ(FormatRounded(0.0625, 5), "0.0625");   // the FVRT edit box's precision
  EXPECT_EQ(FormatRounded(0.1875, 3), "0.188");    // tie, up to even
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
    EXPECT_EQ(std::string(e.what()), "'" + std::string(GetParam()) + "' is not a valid floating point value");
  }
}

INSTANTIATE_TEST_SUITE_P(Typed, ParseFloatRejects,
                         ::testing::Values("", "   ", "1,5", "abc", "1.5x", "inf", "nan", "+-1", "-", "1e999"));

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
