#include "util/StrTools.h"

#include <gtest/gtest.h>

namespace {

TEST(PosFrom, SearchesFromPosition) {
  EXPECT_EQ(PosFrom("b", "abcb", 3), 4);
  EXPECT_EQ(PosFrom("b", "abcb", 1), 2);
  EXPECT_EQ(PosFrom("z", "abc", 1), 0);
  EXPECT_EQ(PosFrom("b", "abc", 9), 0);  // start past the end: empty tail
}

TEST(PosFrom, FromZeroCountsCharactersInFront) {
  EXPECT_EQ(PosFrom("b", "abcb", 0), 1);
  EXPECT_EQ(PosFrom("a", "abc", 0), 0);  // at position 1 ...
  EXPECT_EQ(PosFrom("z", "abc", 0), 0);  // ... and nowhere give the same 0
}

struct TokenCase {
  const char* text;
  int index;
  const char* token;
};

class GetTokenCases : public testing::TestWithParam<TokenCase> {};

TEST_P(GetTokenCases, Token) {
  const auto& c = GetParam();
  EXPECT_EQ(GetToken(c.text, c.index), c.token) << "\"" << c.text << "\" #" << c.index;
}

INSTANTIATE_TEST_SUITE_P(
    Language, GetTokenCases,
    testing::Values(TokenCase{"LONG 5 7", 0, "LONG"}, TokenCase{"LONG 5 7", 1, "5"},
                    TokenCase{"LONG 5 7", 2, "7"}, TokenCase{"LONG 5 7", 3, ""},
                    TokenCase{"CSTRING \"a b\" x", 1, "a b"},
                    TokenCase{"CSTRING \"a b\" x", 2, "x"},
                    // two spaces: the rest of the text, leading space included, is one token
                    TokenCase{"A  B C", 1, " B C"}, TokenCase{"A  B C", 2, ""},
                    TokenCase{"  one two  ", 0, "one"}, TokenCase{"  one two  ", 1, "two"},
                    TokenCase{"", 0, ""}, TokenCase{"x", 5, ""}, TokenCase{"\t\r\n", 0, ""},
                    // unclosed quote: rest of the text, first and last character removed
                    TokenCase{"A \"bcd", 1, "bc"},
                    // the character right after a closing quote is lost
                    TokenCase{"\"ab\"cd", 1, "d"}, TokenCase{"\"\"", 0, ""}));

}  // namespace
