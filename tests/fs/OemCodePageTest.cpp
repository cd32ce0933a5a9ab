// The OEM code pages 8.3 names and FAT labels are decoded from: the names a user may give, the
// characters of a few bytes in each, and the code pages that cannot be one.

#include "fs/OemCodePage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(OemCodePageTest, BytesAboveAsciiAreTheCodePagesCharacters) {
  struct Case {
    std::string name;
    std::string bytes;
    std::string text;
    std::string lower;
  } cases[] = {
      {"437", "\x80\x90\x9B\xE1\xE5\xFF", "ÇÉ¢ßσ\u00A0", "çé¢ßσ\u00A0"},
      {"cp437", "\x8E\x99\x9A", "ÄÖÜ", "äöü"},
      {"IBM437", "\xC9\xCD\xBB", "╔═╗", "╔═╗"},
      {"850", "\x80\x90\x9B\xE1\xE5\xFF", "ÇÉøßÕ\u00A0", "çéøßõ\u00A0"},
      {" CP850 ", "\x9D\xD3", "ØË", "øë"},
      {"ibm-850", "\x9D", "Ø", "ø"},
      {"1252", "\x80\x8A\x9F\xC9", "€ŠŸÉ", "€šÿé"},
      {"cp874", "\x80\xA1", "\uFFFDก", "\uFFFDก"},  // 0x80 is unassigned
      {"windows-1252", "\xDF\xE9", "ßé", "ßé"},
      {"866", "\x80\x9F\xAF", "АЯп", "аяп"},
      {"850", "NAME~1\x01\x7F", "NAME~1\x01\x7F", "name~1\x01\x7F"},  // ASCII as it is, controls too
  };
  for (const Case& c : cases) {
    std::string error;
    const std::optional<OemCodePage> codePage = OemCodePage::FromName(c.name, error);
    ASSERT_TRUE(codePage) << c.name << ": " << error;
    EXPECT_EQ(codePage->Decode(c.bytes), c.text) << c.name;
    EXPECT_EQ(codePage->DecodeLower(c.bytes), c.lower) << c.name;
  }
  EXPECT_EQ(OemCodePage::Default().Decode("\x05\xE5\x9D"), "\x05σ¥");
}

TEST(OemCodePageTest, NamesThatCannotBeUsedAreRefusedSayingWhy) {
  struct Case {
    std::string name;
    std::string reason;
  } cases[] = {
      {"", "No code page was named"},
      {"  ", "No code page was named"},
      {"bogus", "The code page \"bogus\" is not known"},
      {"4370", "The code page \"4370\" is not known"},
      {std::string("437\0x", 5), "is not known"},
      {"utf-8", "stores characters in more than one byte"},
      {"932", "stores characters in more than one byte"},  // Japanese, as cp932
      {"shift_jis", "stores characters in more than one byte"},
      {"cp037", "its bytes below 0x80 are not ASCII"},  // EBCDIC
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(OemCodePage::FromName(c.name, error)) << c.name;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
  }
}

}  // namespace
