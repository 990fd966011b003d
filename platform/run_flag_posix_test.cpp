#include <csignal>

#include <gtest/gtest.h>

#include "platform/run_flag.h"

class RunFlagSignal : public ::testing::TestWithParam<int> {};

TEST_P(RunFlagSignal, StopSignalClearsTheFlag) {
  run_flag_install();
  ASSERT_TRUE(run_flag_is_set());
  ASSERT_EQ(std::raise(GetParam()), 0);
  EXPECT_FALSE(run_flag_is_set());
}

INSTANTIATE_TEST_SUITE_P(Signals, RunFlagSignal, ::testing::Values(SIGINT, SIGTERM));
