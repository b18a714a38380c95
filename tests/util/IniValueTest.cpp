// One value of the editor's settings file, read without Qt.
#include "util/IniValue.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "util/Exception.h"

namespace {

TEST(IniValueTest, FindsTheKeyInItsGroupOnly) {
  const std::string text =
      "[General]\nMatPath=wrong\n; MatPath=comment\n[qorvex]\r\nloadok=1\r\n  MatPath = ./tex/ \r\n"
      "[other]\nMatPath=also wrong\n";
  EXPECT_EQ(IniTextValue(text, "qorvex", "MatPath"), "./tex/");
  EXPECT_EQ(IniTextValue(text, "qorvex", "loadok"), "1");
  EXPECT_EQ(IniTextValue(text, "qorvex", "Missing"), std::nullopt);
  EXPECT_EQ(IniTextValue(text, "nogroup", "MatPath"), std::nullopt);
  // The last of repeated keys, as Qt reads it.
  EXPECT_EQ(IniTextValue("[g]\nk=1\nk=2\n", "g", "k"), "2");
}

TEST(IniValueTest, QuotedValuesTakeTheirEscapes) {
  EXPECT_EQ(IniTextValue("[g]\nk=\"/a b/c,d/\"\n", "g", "k"), "/a b/c,d/");
  EXPECT_EQ(IniTextValue("[g]\nk=\"a\\\\b\\\"c\\td\"\n", "g", "k"), "a\\b\"c\td");
  // \x: a code point as UTF-8 ("é" is U+00E9).
  EXPECT_EQ(IniTextValue("[g]\nk=\"caf\\xe9\"\n", "g", "k"), "caf\xC3\xA9");
  EXPECT_EQ(IniTextValue("[g]\nk=\n", "g", "k"), "");
  // A backslash at the end has nothing to escape.
  EXPECT_EQ(IniTextValue("[g]\nk=a\\\n", "g", "k"), "a\\");
}

TEST(IniValueTest, MissingFileIsNoValueAndAFolderIsAnError) {
  testsupport::TempDir dir(false);
  EXPECT_EQ(IniFileValue(dir.File("none.ini"), "g", "k"), std::nullopt);
  testsupport::WriteText(dir.File("m.ini"), "[g]\nk=v\n");
  EXPECT_EQ(IniFileValue(dir.File("m.ini"), "g", "k"), "v");
  EXPECT_THROW(IniFileValue(dir.Path().string(), "g", "k"), EInOutError);
}

}  // namespace
