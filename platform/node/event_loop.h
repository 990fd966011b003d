// The node's event loop. After each event the loop keeps polling for a while before it sleeps:
// a client's next verb usually follows its previous reply within microseconds, and waking a
// sleeping process costs more than that on most machines.
#pragma once

#include <chrono>

#include <asio.hpp>

// Runs handlers until the context is stopped or runs out of work. A window of zero sleeps
// whenever nothing is ready, as io_context::run does.
void run_event_loop(asio::io_context& io, std::chrono::microseconds busy_poll_window);
