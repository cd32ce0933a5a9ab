// The version table answers the query paths the about box and brindle-cli --version use, with
// the version the project was built as, and nothing for paths of another string table.

#include "platform/VersionTable.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionTableTest, AnswersTheUsEnglishPathsWithTheBuildsVersion) {
  const VersionTable& table = VersionTable::Program();
  EXPECT_EQ(table.Query(kFileVersionPath), BRINDLE_VERSION);
  const std::optional<std::string> copyright = table.Query(kLegalCopyrightPath);
  ASSERT_TRUE(copyright.has_value());
  EXPECT_NE(copyright->find("Brindle"), std::string::npos);

  EXPECT_EQ(table.Query("\\StringFileInfo\\040704E4\\FileVersion"), std::nullopt);  // German
  EXPECT_EQ(table.Query("\\StringFileInfo\\040904E4\\"), std::nullopt);
  EXPECT_EQ(table.Query(""), std::nullopt);
}

}  // namespace
