#include "platform/node/host_tp.h"

#include <chrono>
#include <string>
#include <vector>

#include "appc/charset.h"
#include "platform/node/exec_command.h"
#include "platform/node/node_log.h"
#include "platform/winappc.h"

class host_program : public std::enable_shared_from_this<host_program> {
 public:
  host_program(asio::io_context& io, node_engine& engine, host_programs& owner, const tp_key& tp,
               std::uint32_t conv_id, const host_tp_config& config)
      : io_(io), engine_(engine), owner_(owner), tp_(tp), conv_id_(conv_id), config_(config),
        delay_(io) {}

  void receive() {
    wire_verb_request request = verb(AP_M_RECEIVE_AND_WAIT);
    request.rtn_status = 1;
    request.max_len = static_cast<std::uint16_t>(wire_max_data);
    issue(request, [this](const wire_verb_reply& reply) { received(reply); });
  }

 private:
  using step = std::function<void(const wire_verb_reply&)>;

  wire_verb_request verb(std::uint16_t opcode) const {
    wire_verb_request request;
    request.opcode = opcode;
    request.opext = opcode == AP_TP_ENDED ? 0 : AP_MAPPED_CONVERSATION;
    request.tp_id = tp_;
    request.conv_id = conv_id_;
    return request;
  }

  // The engine's reply runs the next step from the event loop, never inside the engine.
  void issue(const wire_verb_request& request, step next) {
    auto self = shared_from_this();
    asio::io_context& io = io_;
    engine_.execute(host_owner, request, [self, next, &io](const wire_verb_reply& reply) {
      asio::post(io, [self, next, reply] { next(reply); });
    });
  }

  void received(const wire_verb_reply& reply) {
    if (reply.primary_rc == AP_DEALLOC_NORMAL) {
      node_log("conv %u: host TP %s: the partner ended the conversation before its turn",
               conv_id_, config_.name.c_str());
      return end();
    }
    if (reply.primary_rc != AP_OK) {
      node_log("conv %u: host TP %s: receive ended with primary code %04X", conv_id_,
               config_.name.c_str(), reply.primary_rc);
      return end();
    }
    if (reply.what_rcvd == AP_DATA_COMPLETE || reply.what_rcvd == AP_DATA_INCOMPLETE ||
        reply.what_rcvd == AP_DATA_COMPLETE_SEND || reply.what_rcvd == AP_DATA_COMPLETE_CONFIRM ||
        reply.what_rcvd == AP_DATA_COMPLETE_CONFIRM_SEND ||
        reply.what_rcvd == AP_DATA_COMPLETE_CONFIRM_DEALL) {
      if (record_open_) {
        records_.back().insert(records_.back().end(), reply.data.begin(), reply.data.end());
      } else {
        records_.push_back(reply.data);
      }
      record_open_ = reply.what_rcvd == AP_DATA_INCOMPLETE;
    }
    switch (reply.what_rcvd) {
      case AP_SEND:
      case AP_DATA_COMPLETE_SEND:
        return answer();
      case AP_CONFIRM_WHAT_RECEIVED:
      case AP_DATA_COMPLETE_CONFIRM:
        return issue(verb(AP_M_CONFIRMED), [this](const wire_verb_reply&) { receive(); });
      case AP_CONFIRM_SEND:
      case AP_DATA_COMPLETE_CONFIRM_SEND:
        return issue(verb(AP_M_CONFIRMED), [this](const wire_verb_reply&) { answer(); });
      case AP_CONFIRM_DEALLOCATE:
      case AP_DATA_COMPLETE_CONFIRM_DEALL:
        return issue(verb(AP_M_CONFIRMED), [this](const wire_verb_reply&) { end(); });
      default:
        return receive();
    }
  }

  void answer() {
    if (config_.delay_ms == 0) return produce();
    delay_.expires_after(std::chrono::milliseconds(config_.delay_ms));
    auto self = shared_from_this();
    delay_.async_wait([self](const asio::error_code& error) {
      if (!error) self->produce();
    });
  }

  void produce() {
    std::vector<std::vector<unsigned char>> message = std::move(records_);
    records_.clear();
    record_open_ = false;
    std::size_t bytes = 0;
    for (const auto& record : message) bytes += record.size();
    node_log("conv %u: host TP %s received %zu bytes", conv_id_, config_.name.c_str(), bytes);
    switch (config_.kind) {
      case host_tp_kind::echo:
        return send(std::move(message), 0);
      case host_tp_kind::reply: {
        std::vector<unsigned char> text(config_.text.begin(), config_.text.end());
        to_ebcdic(text.data(), static_cast<std::int32_t>(text.size()));
        return send({std::move(text)}, 0);
      }
      case host_tp_kind::exec:
        return run(message);
    }
  }

  void run(const std::vector<std::vector<unsigned char>>& message) {
    std::vector<unsigned char> input;
    for (const auto& record : message) input.insert(input.end(), record.begin(), record.end());
    if (config_.translate) to_ascii(input.data(), static_cast<std::int32_t>(input.size()));
    auto self = shared_from_this();
    exec_command(io_, config_.command, std::move(input), config_.time_limit_ms, wire_max_data,
                 [self](exec_result result) { self->ran(std::move(result)); });
  }

  void ran(exec_result result) {
    if (!result.completed) {
      node_log("conv %u: host TP %s: command \"%s\" %s", conv_id_, config_.name.c_str(),
               config_.command.c_str(), result.failure.c_str());
      wire_verb_request request = verb(AP_M_DEALLOCATE);
      request.dealloc_type = AP_ABEND;
      return issue(request, [this](const wire_verb_reply&) { end(); });
    }
    node_log("conv %u: host TP %s: command exited with %d, %zu bytes of output%s", conv_id_,
             config_.name.c_str(), result.exit_status, result.output.size(),
             result.truncated ? " (the rest dropped)" : "");
    if (config_.translate) {
      to_ebcdic(result.output.data(), static_cast<std::int32_t>(result.output.size()));
    }
    send({std::move(result.output)}, 0);
  }

  void send(std::vector<std::vector<unsigned char>> records, std::size_t next) {
    if (next == records.size()) return finish_reply();
    wire_verb_request request = verb(AP_M_SEND_DATA);
    request.data = std::move(records[next]);
    auto rest = std::make_shared<std::vector<std::vector<unsigned char>>>(std::move(records));
    issue(request, [this, rest, next](const wire_verb_reply& reply) {
      if (reply.primary_rc != AP_OK) return end();
      send(std::move(*rest), next + 1);
    });
  }

  void finish_reply() {
    if (config_.keep_open) return receive();
    wire_verb_request request = verb(AP_M_DEALLOCATE);
    request.dealloc_type = AP_FLUSH;
    issue(request, [this](const wire_verb_reply&) { end(); });
  }

  void end() {
    issue(verb(AP_TP_ENDED), [this](const wire_verb_reply&) { owner_.forget(this); });
  }

  asio::io_context& io_;
  node_engine& engine_;
  host_programs& owner_;
  tp_key tp_;
  std::uint32_t conv_id_;
  host_tp_config config_;
  asio::steady_timer delay_;
  std::vector<std::vector<unsigned char>> records_;
  bool record_open_ = false;
};

host_programs::host_programs(asio::io_context& io, node_engine& engine)
    : io_(io), engine_(engine) {}

host_programs::~host_programs() = default;

void host_programs::start(const tp_key& tp, std::uint32_t conv_id, const host_tp_config& config) {
  auto program = std::make_shared<host_program>(io_, engine_, *this, tp, conv_id, config);
  running_.insert(program);
  // Started from the event loop: the engine is in the middle of the allocation.
  asio::post(io_, [program] { program->receive(); });
}

void host_programs::forget(host_program* program) {
  for (auto it = running_.begin(); it != running_.end(); ++it) {
    if (it->get() == program) {
      running_.erase(it);
      return;
    }
  }
}
