#pragma once
// The code page of a name that tests know ICU has; a failure of the test where it has none.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "fs/OemCodePage.h"

inline OemCodePage NamedCodePage(const std::string& name) {
  std::string error;
  std::optional<OemCodePage> codePage = OemCodePage::FromName(name, error);
  EXPECT_TRUE(codePage) << error;
  return codePage.value_or(OemCodePage::Default());
}
