// Filter texts of description and pattern pairs become name filters that match what they say:
// "*.*" takes every file, also one without a dot in its name.

#include "platform/FileDialog.h"

#include <gtest/gtest.h>

namespace {

TEST(NameFiltersTest, PairsBecomeFiltersWhosePatternsMatchEveryNameTheySay) {
  const struct {
    const char* filter;
    std::vector<std::string> expected;
  } cases[] = {
      {"All Files (*.*)|*.*", {"All Files (*)"}},
      {"Disk images (*.img;*.bin)|*.img;*.bin|All Files (*.*)|*.*", {"Disk images (*.img *.bin)", "All Files (*)"}},
      {"Images|*.img", {"Images (*.img)"}},
      {"Anything", {"Anything (*)"}},
      {"|*.raw", {"(*.raw)"}},
      {"", {"(*)"}},
  };
  for (const auto& c : cases) EXPECT_EQ(NameFilters(c.filter), c.expected) << c.filter;
}

}  // namespace
