// The node's listening socket and its client sessions: framing, the version exchange, one
// outstanding verb per session, cancellation. A session that sends a malformed or oversized
// frame, a second verb while one is outstanding, or a wrong hello is disconnected; its TPs end
// as if the process had gone.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include <asio.hpp>

#include "platform/node/engine.h"

class client_session;

class node_server {
 public:
  node_server(asio::io_context& io, node_engine& engine);
  ~node_server();
  // Binds and listens; false with the reason on failure.
  bool listen(const asio::ip::tcp::endpoint& endpoint, std::string& error);
  asio::ip::tcp::endpoint local_endpoint() const;
  // Closes the listener and every session.
  void stop();

  // Called by sessions.
  void deliver(engine_owner session, const wire_verb_reply& reply);
  void session_closed(engine_owner session, const char* reason);
  node_engine& engine() { return engine_; }

 private:
  void accept();

  asio::io_context& io_;
  node_engine& engine_;
  asio::ip::tcp::acceptor acceptor_;
  std::map<engine_owner, std::shared_ptr<client_session>> sessions_;
  engine_owner next_session_ = 1;
};
