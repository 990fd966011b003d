#include "platform/node/server.h"

#include <array>
#include <deque>
#include <vector>

#include "platform/node/node_log.h"

class client_session : public std::enable_shared_from_this<client_session> {
 public:
  client_session(node_server& server, engine_owner id, asio::ip::tcp::socket socket)
      : server_(server), id_(id), socket_(std::move(socket)) {}

  void start() { read_more(); }

  void send(std::vector<unsigned char> frame) {
    outgoing_.push_back(std::move(frame));
    if (outgoing_.size() == 1) write_next();
  }

  void verb_answered() { verb_outstanding_ = false; }

  // Closes the socket at once; pending handlers see the closed socket and stop.
  void close() {
    asio::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
  }

 private:
  // Reads what arrives and takes every whole frame in it, in order.
  void read_more() {
    auto self = shared_from_this();
    socket_.async_read_some(asio::buffer(chunk_), [self](const asio::error_code& error,
                                                         std::size_t length) {
      if (error) return self->server_.session_closed(self->id_, nullptr);
      self->inbox_.insert(self->inbox_.end(), self->chunk_.begin(),
                          self->chunk_.begin() + static_cast<long>(length));
      if (const char* refusal = self->take_frames()) {
        return self->server_.session_closed(self->id_, refusal);
      }
      if (!self->closing_) self->read_more();
    });
  }

  const char* take_frames() {
    std::size_t used = 0;
    while (!closing_ && inbox_.size() - used >= wire_header_size) {
      long length = wire_body_length(
          std::span<const unsigned char, wire_header_size>(inbox_.data() + used, wire_header_size));
      if (length < 0) return "frame length refused";
      std::size_t frame_size = wire_header_size + static_cast<std::size_t>(length);
      if (inbox_.size() - used < frame_size) break;
      body_.assign(inbox_.begin() + static_cast<long>(used + wire_header_size),
                   inbox_.begin() + static_cast<long>(used + frame_size));
      used += frame_size;
      if (const char* refusal = handle()) return refusal;
    }
    inbox_.erase(inbox_.begin(), inbox_.begin() + static_cast<long>(used));
    return nullptr;
  }

  // Null when the message was taken, else why the session must end.
  const char* handle() {
    std::uint8_t type = wire_body_type(body_);
    if (!greeted_) {
      wire_hello hello;
      if (type != static_cast<std::uint8_t>(wire_type::hello) || !wire_decode(body_, hello) ||
          hello.magic != wire_magic) {
        return "no hello";
      }
      wire_hello_reply reply;
      if (hello.version != wire_version) {
        reply.status = wire_hello_version_refused;
        closing_ = true;
        node_log("client %llu: protocol version %u refused", ull(), hello.version);
      } else {
        greeted_ = true;
        node_log("client %llu: process %u connected", ull(), hello.process_id);
      }
      send(wire_frame(reply));
      return nullptr;
    }
    if (type == static_cast<std::uint8_t>(wire_type::verb)) {
      wire_verb_request request;
      if (!wire_decode(body_, request)) return "malformed verb";
      if (verb_outstanding_) return "verb while another is outstanding";
      verb_outstanding_ = true;
      node_server& server = server_;
      engine_owner id = id_;
      server_.engine().execute(id_, request, [&server, id](const wire_verb_reply& reply) {
        server.deliver(id, reply);
      });
      return nullptr;
    }
    if (type == static_cast<std::uint8_t>(wire_type::cancel)) {
      if (body_.size() != 1) return "malformed cancel";
      // A cancel that crossed the reply on the wire finds nothing to cancel.
      if (verb_outstanding_) server_.engine().cancel(id_);
      return nullptr;
    }
    return "unknown message type";
  }

  void write_next() {
    auto self = shared_from_this();
    asio::async_write(socket_, asio::buffer(outgoing_.front()),
                      [self](const asio::error_code& error, std::size_t) {
                        if (error) return self->server_.session_closed(self->id_, nullptr);
                        self->outgoing_.pop_front();
                        if (!self->outgoing_.empty()) return self->write_next();
                        if (self->closing_) self->server_.session_closed(self->id_, nullptr);
                      });
  }

  unsigned long long ull() const { return static_cast<unsigned long long>(id_); }

  node_server& server_;
  engine_owner id_;
  asio::ip::tcp::socket socket_;
  std::array<unsigned char, 16384> chunk_{};
  std::vector<unsigned char> inbox_;  // received bytes not yet taken as frames
  std::vector<unsigned char> body_;
  std::deque<std::vector<unsigned char>> outgoing_;
  bool greeted_ = false;
  bool closing_ = false;
  bool verb_outstanding_ = false;
};

node_server::node_server(asio::io_context& io, node_engine& engine)
    : io_(io), engine_(engine), acceptor_(io) {}

node_server::~node_server() { stop(); }

bool node_server::listen(const asio::ip::tcp::endpoint& endpoint, std::string& error) {
  asio::error_code failure;
  acceptor_.open(endpoint.protocol(), failure);
  if (!failure) acceptor_.set_option(asio::socket_base::reuse_address(true), failure);
  if (!failure) acceptor_.bind(endpoint, failure);
  if (!failure) acceptor_.listen(asio::socket_base::max_listen_connections, failure);
  if (failure) {
    error = failure.message();
    asio::error_code ignored;
    acceptor_.close(ignored);
    return false;
  }
  accept();
  return true;
}

asio::ip::tcp::endpoint node_server::local_endpoint() const {
  asio::error_code ignored;
  return acceptor_.local_endpoint(ignored);
}

void node_server::accept() {
  acceptor_.async_accept([this](const asio::error_code& error, asio::ip::tcp::socket socket) {
    if (error == asio::error::operation_aborted || !acceptor_.is_open()) return;
    if (!error) {
      asio::error_code ignored;
      socket.set_option(asio::ip::tcp::no_delay(true), ignored);
      engine_owner id = next_session_++;
      auto session = std::make_shared<client_session>(*this, id, std::move(socket));
      sessions_[id] = session;
      session->start();
    } else {
      node_log("accept failed: %s", error.message().c_str());
    }
    accept();
  });
}

void node_server::deliver(engine_owner session, const wire_verb_reply& reply) {
  auto found = sessions_.find(session);
  if (found == sessions_.end()) return;
  found->second->verb_answered();
  found->second->send(wire_frame(reply));
}

void node_server::session_closed(engine_owner session, const char* reason) {
  auto found = sessions_.find(session);
  if (found == sessions_.end()) return;
  std::shared_ptr<client_session> closing = found->second;
  sessions_.erase(found);
  closing->close();
  engine_.owner_gone(session);
  node_log("client %llu disconnected%s%s; %zu TPs and %zu conversations remain",
           static_cast<unsigned long long>(session), reason != nullptr ? ": " : "",
           reason != nullptr ? reason : "", engine_.tp_count(), engine_.conversation_count());
}

void node_server::stop() {
  asio::error_code ignored;
  acceptor_.close(ignored);
  while (!sessions_.empty()) session_closed(sessions_.begin()->first, "node stopping");
}
