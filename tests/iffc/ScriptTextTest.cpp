// Text helpers of the script language: the one-pass token list must agree with GetToken
// everywhere, the integer rule, FLOAT texts and path pieces.

#include "iffc/ScriptText.h"

#include <gtest/gtest.h>

#include <random>

#include "util/StrTools.h"

namespace {

void ExpectSameAsGetToken(const std::string& line) {
  const TScriptTokens tokens(line);
  for (int i = 0; i < static_cast<int>(tokens.Count()) + 3; ++i) {
    ASSERT_EQ(tokens.Str(i), GetToken(line, i)) << "line [" << line << "] token " << i;
  }
  EXPECT_EQ(tokens.Str(-1), "");
}

TEST(ScriptTokens, AgreeWithGetTokenOnTheLanguagesCorners) {
  for (const char* line :
       {"", "   ", "LONG 5 7", "  one two  ", "CSTRING \"a b\" x", "A  B C", "\"open quote",
        "\"\" x", "x \"q\"y z", "\"a\"", "\"", "a \"", "tab\tinside x", "a   ", "\x01 a \x02"}) {
    ExpectSameAsGetToken(line);
  }
}

TEST(ScriptTokens, AgreeWithGetTokenOnRandomLines) {
  std::mt19937 rng(1234);
  const std::string alphabet = "ab \"  \t,1";
  for (int n = 0; n < 3000; ++n) {
    std::string line;
    const int len = static_cast<int>(rng() % 14);
    for (int i = 0; i < len; ++i) line += alphabet[rng() % alphabet.size()];
    ExpectSameAsGetToken(line);
  }
}

struct IntegerCase {
  const char* text;
  bool valid;
  int32_t value;
};

class ScriptIntegers : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(ScriptIntegers, FollowTheRule) {
  int32_t v = 12345;
  EXPECT_EQ(ParseScriptInteger(GetParam().text, v), GetParam().valid) << GetParam().text;
  if (GetParam().valid) {
    EXPECT_EQ(v, GetParam().value) << GetParam().text;
  }
  EXPECT_EQ(ReadIntegerDefault(GetParam().text, -7), GetParam().valid ? GetParam().value : -7);
}

INSTANTIATE_TEST_SUITE_P(
    Rule, ScriptIntegers,
    ::testing::Values(
        IntegerCase{"0", true, 0}, IntegerCase{"42", true, 42}, IntegerCase{"-1", true, -1},
        IntegerCase{"+9", true, 9}, IntegerCase{"  17", true, 17},
        IntegerCase{"2147483647", true, 2147483647}, IntegerCase{"-2147483648", true, INT32_MIN},
        IntegerCase{"2147483648", false, 0}, IntegerCase{"99999999999999999999", false, 0},
        IntegerCase{"$10", true, 16}, IntegerCase{"x1f", true, 31}, IntegerCase{"X1F", true, 31},
        IntegerCase{"0x7f", true, 127}, IntegerCase{"0XFF", true, 255},
        IntegerCase{"$FFFFFFFF", true, -1}, IntegerCase{"$80000000", true, INT32_MIN},
        IntegerCase{"$123456789", false, 0}, IntegerCase{"$", false, 0},
        IntegerCase{"0x", false, 0}, IntegerCase{"-$1", false, 0}, IntegerCase{"12 ", false, 0},
        IntegerCase{"1a", false, 0}, IntegerCase{"", false, 0}, IntegerCase{"-", false, 0},
        IntegerCase{"$G", false, 0}, IntegerCase{"FOO", false, 0}));

TEST(ScriptFloats, DecimalTexts) {
  float f = 0;
  EXPECT_TRUE(ParseScriptFloat("1.5", f));
  EXPECT_EQ(f, 1.5f);
  EXPECT_TRUE(ParseScriptFloat("-2E1", f));
  EXPECT_EQ(f, -20.0f);
  EXPECT_TRUE(ParseScriptFloat(".5", f));
  EXPECT_EQ(f, 0.5f);
  EXPECT_TRUE(ParseScriptFloat("3.", f));
  EXPECT_EQ(f, 3.0f);
  EXPECT_TRUE(ParseScriptFloat(" 7 ", f));
  EXPECT_EQ(f, 7.0f);
  EXPECT_TRUE(ParseScriptFloat("1e-60", f));
  EXPECT_EQ(f, 0.0f);
  for (const char* bad :
       {"", ".", "e5", "1e", "1,5", "abc", "0x10", "inf", "nan", "1e39", "--1", "1.2.3"}) {
    EXPECT_FALSE(ParseScriptFloat(bad, f)) << bad;
  }
}

TEST(ScriptPaths, SeparatorsAndDirectories) {
  EXPECT_EQ(DirectoryPart("C:\\a\\ship.iff.txt"), "C:\\a\\");
  EXPECT_EQ(DirectoryPart("/tmp/x/s.txt"), "/tmp/x/");
  EXPECT_EQ(DirectoryPart("a\\b/c"), "a\\b/");
  EXPECT_EQ(DirectoryPart("plain"), "");
  EXPECT_EQ(WithTrailingSeparator("data"), "data/");
  EXPECT_EQ(WithTrailingSeparator("c:\\data"), "c:\\data\\");
  EXPECT_EQ(WithTrailingSeparator("a/b\\"), "a/b\\");
  EXPECT_TRUE(HasPathSeparator("a\\b"));
  EXPECT_TRUE(HasPathSeparator("a/b"));
  EXPECT_FALSE(HasPathSeparator("ab"));
  EXPECT_EQ(UpperCase("write.c"), "WRITE.C");
  EXPECT_TRUE(SameTextIgnoreCase("Size", "sIZE"));
  EXPECT_FALSE(SameTextIgnoreCase("Size", "Sizes"));
}

}  // namespace
