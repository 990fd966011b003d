// The node's LU 6.2 engine: TPs, mapped half-duplex conversations and their state machine,
// the routing of allocations (to a local program waiting in RECEIVE_ALLOCATE, to a host TP,
// or to a local TP name whose program has yet to ask) and the pending verbs.
//
// Every verb is executed for an owner: a client session (owner > 0) or the host TPs (owner
// host_owner). Its reply goes to the completion given with it, exactly once, unless the owner
// is gone first. Completions never run inside execute: session completions only queue bytes,
// host completions are posted to the event loop, so the engine is never re-entered.
//
// Data sent with MC_SEND_DATA waits in the sender's buffer until a verb flushes it (receive,
// confirm, deallocate, a send of type flush); the partner then finds the records followed by
// the indicator in one step, so "return status with data" sees both together.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <asio.hpp>

#include "platform/node/config.h"
#include "platform/node/wire.h"

using engine_owner = std::uint64_t;
inline constexpr engine_owner host_owner = 0;
using verb_completion = std::function<void(const wire_verb_reply&)>;
using tp_key = std::array<unsigned char, 8>;

class host_programs;

// Bytes a conversation may hold for its receiver (unflushed plus undelivered); a send beyond it
// is refused with AP_UNSUCCESSFUL.
inline constexpr std::size_t conversation_byte_limit = 1 << 20;

class node_engine {
 public:
  node_engine(asio::io_context& io, const node_config& config);
  ~node_engine();
  node_engine(const node_engine&) = delete;
  node_engine& operator=(const node_engine&) = delete;

  void execute(engine_owner owner, const wire_verb_request& request, verb_completion done);
  // Answers the owner's pending verb, if any, with AP_CANCELLED.
  void cancel(engine_owner owner);
  // Ends everything the owner holds; its partners see AP_CONV_FAILURE_NO_RETRY.
  void owner_gone(engine_owner owner);

  // For the log and the tests of the node's housekeeping.
  std::size_t tp_count() const { return tps_.size(); }
  std::size_t conversation_count() const { return sides_.size(); }

 private:
  enum class item_kind { record, send, confirm, confirm_send, confirm_deallocate,
                         deallocate_normal, failure };
  struct inbound_item {
    item_kind kind = item_kind::record;
    std::vector<unsigned char> data;
    std::uint16_t primary_rc = 0;
    std::uint32_t secondary_rc = 0;
    bool allocation_failure = false;
  };
  struct pending_verb {
    engine_owner owner = 0;
    wire_verb_request request;
    verb_completion done;
  };
  struct tp_record {
    tp_key id{};
    engine_owner owner = 0;
    std::string lu_alias;
    std::string name;
    bool from_receive_allocate = false;
    std::vector<std::uint32_t> conversations;
  };
  // One end of a conversation.
  struct side {
    std::uint32_t conv_id = 0;
    std::optional<tp_key> tp;  // empty while an attach waits for its RECEIVE_ALLOCATE
    std::uint32_t partner = 0;  // 0 once the partner's end is gone
    std::uint8_t state = 0;
    std::uint8_t sync_level = 0;
    std::string tp_name;  // the TP name this end was allocated to (receiving ends)
    std::vector<std::vector<unsigned char>> send_buffer;
    std::size_t send_bytes = 0;
    std::deque<inbound_item> inbound;
    std::size_t inbound_bytes = 0;
    std::size_t record_offset = 0;  // bytes of the front record already delivered
    std::optional<pending_verb> receive;
    std::optional<pending_verb> confirm;  // waits for the partner's MC_CONFIRMED
    bool deallocate_after_confirm = false;
    std::unique_ptr<asio::steady_timer> attach_timer;
  };

  void tp_started(engine_owner owner, const wire_verb_request& request, verb_completion& done);
  void receive_allocate(engine_owner owner, const wire_verb_request& request,
                        verb_completion& done);
  void tp_ended(tp_record& tp, verb_completion& done);
  void allocate(tp_record& tp, const wire_verb_request& request, verb_completion& done);
  void send_conversation(tp_record& tp, const wire_verb_request& request, verb_completion& done);
  void conversation_verb(side& end, pending_verb verb);
  void send_data(side& end, pending_verb& verb);
  void receive_and_wait(side& end, pending_verb& verb);
  void confirm(side& end, pending_verb& verb);
  void confirmed(side& end, pending_verb& verb);
  void deallocate(side& end, pending_verb& verb);

  // Checks LU, mode and sync level; on failure fills reply and returns false.
  bool allocation_accepted(const wire_verb_request& request, wire_verb_reply& reply) const;
  // Creates the allocating end in send state and routes its partner.
  side& open_conversation(tp_record& tp, const wire_verb_request& request);
  // True when the TP name has a server now or later (local program, host TP, local TP name).
  bool route(side& caller, const std::string& tp_name);
  side& new_side(std::uint32_t partner, std::uint8_t state, std::uint8_t sync_level);
  // A fresh identifier: this run's salt and a number no TP holds.
  tp_key next_tp_id();
  tp_record& new_tp(engine_owner owner, const std::string& lu_alias, const std::string& name,
                    bool from_receive_allocate, const tp_key& id);
  void bind(side& end, tp_record& tp);
  void attach_expired(std::uint32_t conv_id);

  // Moves the buffered records, then the indicator if any, to the partner and serves it.
  void flush(side& end, std::optional<item_kind> indicator);
  void fail_partner(side& end, std::uint16_t primary_rc);
  void try_receive(side& end);
  void end_side(std::uint32_t conv_id);
  void end_tp(const tp_key& id, std::uint16_t partner_rc);
  bool front_failure(const side& end, bool for_send_data) const;
  void report_front_failure(side& end, pending_verb& verb);

  tp_record* find_tp(engine_owner owner, const tp_key& id);
  side* find_side(std::uint32_t conv_id);
  void complete(pending_verb& verb, const wire_verb_reply& reply);

  asio::io_context& io_;
  const node_config& config_;
  std::unique_ptr<host_programs> hosts_;
  std::map<tp_key, tp_record> tps_;
  std::map<std::uint32_t, side> sides_;
  std::map<std::string, std::deque<pending_verb>> allocate_waiters_;  // by local TP name
  std::uint32_t next_conv_id_ = 1;
  std::uint32_t tp_salt_ = 0;
  std::uint32_t next_tp_ = 1;
};

// Reply with only return codes.
wire_verb_reply verb_reply(std::uint16_t primary_rc, std::uint32_t secondary_rc);

// A name field as the node compares it: EBCDIC fields are converted with CONVERT; trailing
// blanks and zero bytes are dropped.
std::string field_name(const char* field, std::size_t width, bool ebcdic);
