#include "platform/run_flag.h"

#include <gtest/gtest.h>

TEST(RunFlag, SetByInstallClearedOnRequest) {
  run_flag_install();
  EXPECT_TRUE(run_flag_is_set());
  run_flag_clear();
  EXPECT_FALSE(run_flag_is_set());
  run_flag_install();
  EXPECT_TRUE(run_flag_is_set());
}
