#include "platform/node/event_loop.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

class EventLoopTest : public ::testing::TestWithParam<int> {
 protected:
  microseconds window() const { return microseconds(GetParam()); }
  asio::io_context io_;
};

// Handlers that arrive while the loop polls, and after it went to sleep, all run; the loop
// returns once the context is stopped.
TEST_P(EventLoopTest, RunsEveryHandlerUntilStopped) {
  auto guard = asio::make_work_guard(io_);
  int ran = 0;
  asio::post(io_, [&] {
    ++ran;
    asio::post(io_, [&] { ++ran; });  // while polling
  });
  std::thread late([&] {
    std::this_thread::sleep_for(milliseconds(50));  // well past any polling window
    asio::post(io_, [&] {
      ++ran;
      io_.stop();
    });
  });
  run_event_loop(io_, window());
  late.join();
  EXPECT_EQ(ran, 3);
  EXPECT_TRUE(io_.stopped());
}

TEST_P(EventLoopTest, ReturnsWhenTheWorkRunsOut) {
  int ran = 0;
  asio::steady_timer timer(io_, milliseconds(5));
  timer.async_wait([&](const asio::error_code&) { ++ran; });
  run_event_loop(io_, window());
  EXPECT_EQ(ran, 1);
}

INSTANTIATE_TEST_SUITE_P(Windows, EventLoopTest, ::testing::Values(0, 200, 10000));

}  // namespace
