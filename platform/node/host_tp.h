// The host's transaction programs, played by the node. Each conversation allocated to a host
// TP gets a program instance of its own that works its end through the engine's verbs like
// any client: it receives the message (the records up to the partner's turn, confirming when
// asked), waits its delay, answers by its kind, then deallocates normally or, when configured
// to keep the conversation, turns it around for the next message.
//   echo   the records received, unchanged
//   reply  the configured text, translated to EBCDIC
//   exec   the command's standard output for the message on its standard input (translated
//          EBCDIC to ASCII and back when TRANSLATE is set); a command that cannot start or
//          outlives its time limit deallocates the conversation abnormally
#pragma once

#include <cstdint>
#include <memory>
#include <set>

#include <asio.hpp>

#include "platform/node/config.h"
#include "platform/node/engine.h"

class host_program;

class host_programs {
 public:
  host_programs(asio::io_context& io, node_engine& engine);
  ~host_programs();
  void start(const tp_key& tp, std::uint32_t conv_id, const host_tp_config& config);
  void forget(host_program* program);

 private:
  asio::io_context& io_;
  node_engine& engine_;
  std::set<std::shared_ptr<host_program>> running_;
};
