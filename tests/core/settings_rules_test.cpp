#include <gtest/gtest.h>

#include "common/settings.h"

TEST(SettingsRules, DefaultsAtProcessStart) {
  EXPECT_EQ(g_settings.WindowLeft, 0);
  EXPECT_EQ(g_settings.WindowTop, 0);
  EXPECT_EQ(g_settings.ErrorLength, 8192);
  EXPECT_EQ(g_settings.SkipJunk, 1);
}

TEST(SettingsRules, NonPositiveThresholdBecomesDefaultAndSkipJunkBecomesBoolean) {
  Settings s = {-20, -7, 0, 7};
  ApplyLoadRules(&s);
  EXPECT_EQ(s.WindowLeft, -20);
  EXPECT_EQ(s.WindowTop, -7);
  EXPECT_EQ(s.ErrorLength, 8192);
  EXPECT_EQ(s.SkipJunk, 1);

  s = {0, 0, -5, 0};
  ApplyLoadRules(&s);
  EXPECT_EQ(s.ErrorLength, 8192);
  EXPECT_EQ(s.SkipJunk, 0);

  s = {0, 0, 1, -1};
  ApplyLoadRules(&s);
  EXPECT_EQ(s.ErrorLength, 1);
  EXPECT_EQ(s.SkipJunk, 1);
}
