#include "platform/node/event_loop.h"

#include <thread>

void run_event_loop(asio::io_context& io, std::chrono::microseconds busy_poll_window) {
  using clock_type = std::chrono::steady_clock;
  if (busy_poll_window.count() <= 0) {
    io.run();
    return;
  }
  while (io.run_one() > 0) {
    clock_type::time_point polling_ends = clock_type::now() + busy_poll_window;
    while (!io.stopped() && clock_type::now() < polling_ends) {
      if (io.poll() > 0) {
        polling_ends = clock_type::now() + busy_poll_window;
      } else {
        std::this_thread::yield();  // a busy machine runs the clients in the meantime
      }
    }
  }
}
