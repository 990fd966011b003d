#include "platform/node/engine.h"

#include <algorithm>
#include <chrono>

#include "platform/acssvc.h"
#include "platform/node/host_tp.h"
#include "platform/node/node_log.h"
#include "platform/winappc.h"

namespace {

bool is_confirm_state(std::uint8_t state) {
  return state == AP_CONFIRM_STATE || state == AP_CONFIRM_SEND_STATE ||
         state == AP_CONFIRM_DEALL_STATE;
}

std::string tp_text(const tp_key& id) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (unsigned char byte : id) {
    text += digits[byte >> 4];
    text += digits[byte & 0x0F];
  }
  return text;
}

}  // namespace

wire_verb_reply verb_reply(std::uint16_t primary_rc, std::uint32_t secondary_rc) {
  wire_verb_reply reply;
  reply.primary_rc = primary_rc;
  reply.secondary_rc = secondary_rc;
  return reply;
}

std::string field_name(const char* field, std::size_t width, bool ebcdic) {
  std::vector<unsigned char> bytes(field, field + width);
  if (ebcdic && width > 0) {
    convert_record record{};
    record.opcode = SV_CONVERT;
    record.direction = SV_EBCDIC_TO_ASCII;
    record.char_set = 0;
    record.length = static_cast<std::uint16_t>(width);
    record.source = bytes.data();
    record.target = bytes.data();
    ACSSVC_C(&record);
  }
  std::size_t length = bytes.size();
  while (length > 0 && (bytes[length - 1] == ' ' || bytes[length - 1] == 0)) --length;
  return std::string(bytes.begin(), bytes.begin() + static_cast<long>(length));
}

node_engine::node_engine(asio::io_context& io, const node_config& config)
    : io_(io), config_(config), hosts_(std::make_unique<host_programs>(io, *this)) {
  // Identifiers of an earlier node run must not name this run's TPs.
  tp_salt_ = static_cast<std::uint32_t>(
      std::chrono::system_clock::now().time_since_epoch().count());
}

node_engine::~node_engine() = default;

void node_engine::complete(pending_verb& verb, const wire_verb_reply& reply) {
  verb_completion done = std::move(verb.done);
  verb.done = nullptr;
  if (done) done(reply);
}

node_engine::tp_record* node_engine::find_tp(engine_owner owner, const tp_key& id) {
  auto found = tps_.find(id);
  if (found == tps_.end() || found->second.owner != owner) return nullptr;
  return &found->second;
}

node_engine::side* node_engine::find_side(std::uint32_t conv_id) {
  auto found = sides_.find(conv_id);
  return found == sides_.end() ? nullptr : &found->second;
}

void node_engine::execute(engine_owner owner, const wire_verb_request& request,
                          verb_completion done) {
  if (request.opcode == AP_TP_STARTED) return tp_started(owner, request, done);
  if (request.opcode == AP_RECEIVE_ALLOCATE) return receive_allocate(owner, request, done);
  switch (request.opcode) {
    case AP_TP_ENDED:
    case AP_M_ALLOCATE:
    case AP_M_SEND_CONVERSATION:
    case AP_M_SEND_DATA:
    case AP_M_RECEIVE_AND_WAIT:
    case AP_M_CONFIRM:
    case AP_M_CONFIRMED:
    case AP_M_DEALLOCATE:
    case AP_GET_STATE:
      break;
    default:
      return done(verb_reply(AP_INVALID_VERB, AP_NO_SECONDARY_RC));
  }
  tp_record* tp = find_tp(owner, request.tp_id);
  if (tp == nullptr) return done(verb_reply(AP_PARAMETER_CHECK, AP_BAD_TP_ID));
  if (request.opcode == AP_TP_ENDED) return tp_ended(*tp, done);
  if (request.opcode == AP_M_ALLOCATE) return allocate(*tp, request, done);
  if (request.opcode == AP_M_SEND_CONVERSATION) return send_conversation(*tp, request, done);
  side* end = find_side(request.conv_id);
  if (end == nullptr || !end->tp || *end->tp != tp->id) {
    return done(verb_reply(AP_PARAMETER_CHECK, AP_BAD_CONV_ID));
  }
  conversation_verb(*end, pending_verb{owner, request, std::move(done)});
}

void node_engine::tp_started(engine_owner owner, const wire_verb_request& request,
                             verb_completion& done) {
  std::string lu = field_name(request.lu_alias.data(), request.lu_alias.size(), false);
  if (!node_config_has(config_.local_lus, lu)) {
    node_log("TP_STARTED refused: local LU \"%s\" is not configured", lu.c_str());
    return done(verb_reply(AP_PARAMETER_CHECK, AP_BAD_LOCAL_LU_ALIAS));
  }
  std::string name = field_name(request.tp_name.data(), request.tp_name.size(), true);
  // A client that lost its node asks for the TPs it held under their identifiers.
  const bool restart = request.tp_id != tp_key{};
  if (restart && tps_.contains(request.tp_id)) {
    node_log("TP_STARTED refused: TP %s is in use", tp_text(request.tp_id).c_str());
    return done(verb_reply(AP_PARAMETER_CHECK, AP_BAD_TP_ID));
  }
  tp_record& tp = new_tp(owner, lu, name, false, restart ? request.tp_id : next_tp_id());
  wire_verb_reply reply = verb_reply(AP_OK, AP_NO_SECONDARY_RC);
  reply.tp_id = tp.id;
  done(reply);
}

tp_key node_engine::next_tp_id() {
  tp_key id{};
  do {
    std::uint32_t number = next_tp_++;
    for (int i = 0; i < 4; ++i) {
      id[i] = static_cast<unsigned char>(tp_salt_ >> (8 * i));
      id[4 + i] = static_cast<unsigned char>(number >> (8 * i));
    }
  } while (tps_.contains(id));  // a TP re-created for a reconnected client may hold it
  return id;
}

node_engine::tp_record& node_engine::new_tp(engine_owner owner, const std::string& lu_alias,
                                            const std::string& name, bool from_receive_allocate,
                                            const tp_key& id) {
  tp_record& tp = tps_[id];
  tp.id = id;
  tp.owner = owner;
  tp.lu_alias = lu_alias;
  tp.name = name;
  tp.from_receive_allocate = from_receive_allocate;
  if (owner != host_owner) {
    node_log("tp %s started: %s at %s (client %llu)", tp_text(id).c_str(), name.c_str(),
             lu_alias.c_str(), static_cast<unsigned long long>(owner));
  }
  return tp;
}

void node_engine::receive_allocate(engine_owner owner, const wire_verb_request& request,
                                   verb_completion& done) {
  std::string name = field_name(request.tp_name.data(), request.tp_name.size(), true);
  if (name.empty()) return done(verb_reply(AP_PARAMETER_CHECK, AP_UNDEFINED_TP_NAME));
  // The TP of the owner's previous RECEIVE_ALLOCATE is done once its conversations are.
  for (auto it = tps_.begin(); it != tps_.end();) {
    if (it->second.owner == owner && it->second.from_receive_allocate &&
        it->second.conversations.empty()) {
      it = tps_.erase(it);
    } else {
      ++it;
    }
  }
  // An attach that arrived before this verb, oldest first.
  for (auto& [conv_id, end] : sides_) {
    if (!end.tp && end.tp_name == name && end.partner != 0) {
      tp_record& tp = new_tp(owner, config_.local_lus.front(), name, true, next_tp_id());
      bind(end, tp);
      wire_verb_reply reply = verb_reply(AP_OK, AP_NO_SECONDARY_RC);
      reply.tp_id = tp.id;
      reply.conv_id = conv_id;
      reply.conv_state = end.state;
      return done(reply);
    }
  }
  allocate_waiters_[name].push_back(pending_verb{owner, request, std::move(done)});
}

void node_engine::tp_ended(tp_record& tp, verb_completion& done) {
  tp_key id = tp.id;
  if (tp.owner != host_owner) node_log("tp %s ended", tp_text(id).c_str());
  end_tp(id, AP_DEALLOC_ABEND_SVC);
  done(verb_reply(AP_OK, AP_NO_SECONDARY_RC));
}

bool node_engine::allocation_accepted(const wire_verb_request& request,
                                      wire_verb_reply& reply) const {
  std::string partner = field_name(request.plu_alias.data(), request.plu_alias.size(), false);
  std::string mode = field_name(request.mode_name.data(), request.mode_name.size(), true);
  if (!node_config_has(config_.partner_lus, partner) &&
      !node_config_has(config_.local_lus, partner)) {
    node_log("allocation refused: partner LU \"%s\" is not configured", partner.c_str());
    reply = verb_reply(AP_PARAMETER_CHECK, AP_BAD_REMOTE_LU_ALIAS);
    return false;
  }
  if (!node_config_has(config_.modes, mode)) {
    node_log("allocation refused: mode \"%s\" is not configured", mode.c_str());
    reply = verb_reply(AP_PARAMETER_CHECK, AP_UNKNOWN_PARTNER_MODE);
    return false;
  }
  if (request.sync_level != AP_NONE && request.sync_level != AP_CONFIRM_SYNC_LEVEL) {
    reply = verb_reply(AP_PARAMETER_CHECK, AP_BAD_SYNC_LEVEL);
    return false;
  }
  return true;
}

node_engine::side& node_engine::new_side(std::uint32_t partner, std::uint8_t state,
                                         std::uint8_t sync_level) {
  std::uint32_t conv_id = next_conv_id_++;
  if (next_conv_id_ == 0) next_conv_id_ = 1;
  side& end = sides_[conv_id];
  end.conv_id = conv_id;
  end.partner = partner;
  end.state = state;
  end.sync_level = sync_level;
  return end;
}

void node_engine::bind(side& end, tp_record& tp) {
  end.tp = tp.id;
  end.attach_timer.reset();
  tp.conversations.push_back(end.conv_id);
}

node_engine::side& node_engine::open_conversation(tp_record& tp,
                                                  const wire_verb_request& request) {
  side& caller = new_side(0, AP_SEND_STATE, request.sync_level);
  bind(caller, tp);
  std::string name = field_name(request.tp_name.data(), request.tp_name.size(), true);
  if (!route(caller, name)) {
    node_log("conv %u: %s -> %s: no such TP", caller.conv_id, tp.name.c_str(), name.c_str());
    inbound_item refusal;
    refusal.kind = item_kind::failure;
    refusal.primary_rc = AP_ALLOCATION_ERROR;
    refusal.secondary_rc = AP_TP_NAME_NOT_RECOGNIZED;
    refusal.allocation_failure = true;
    caller.inbound.push_back(std::move(refusal));
  }
  return caller;
}

bool node_engine::route(side& caller, const std::string& tp_name) {
  auto waiting = allocate_waiters_.find(tp_name);
  if (waiting != allocate_waiters_.end() && !waiting->second.empty()) {
    pending_verb waiter = std::move(waiting->second.front());
    waiting->second.pop_front();
    if (waiting->second.empty()) allocate_waiters_.erase(waiting);
    side& partner = new_side(caller.conv_id, AP_RECEIVE_STATE, caller.sync_level);
    caller.partner = partner.conv_id;
    partner.tp_name = tp_name;
    tp_record& tp = new_tp(waiter.owner, config_.local_lus.front(), tp_name, true, next_tp_id());
    bind(partner, tp);
    node_log("conv %u: allocated to %s, served by client %llu as conv %u", caller.conv_id,
             tp_name.c_str(), static_cast<unsigned long long>(waiter.owner), partner.conv_id);
    wire_verb_reply reply = verb_reply(AP_OK, AP_NO_SECONDARY_RC);
    reply.tp_id = tp.id;
    reply.conv_id = partner.conv_id;
    reply.conv_state = partner.state;
    complete(waiter, reply);
    return true;
  }
  if (const host_tp_config* host = node_config_host_tp(config_, tp_name)) {
    side& partner = new_side(caller.conv_id, AP_RECEIVE_STATE, caller.sync_level);
    caller.partner = partner.conv_id;
    partner.tp_name = tp_name;
    tp_record& tp = new_tp(host_owner, config_.partner_lus.front(), tp_name, false, next_tp_id());
    bind(partner, tp);
    node_log("conv %u: allocated to host TP %s as conv %u", caller.conv_id, tp_name.c_str(),
             partner.conv_id);
    hosts_->start(tp.id, partner.conv_id, *host);
    return true;
  }
  if (node_config_has(config_.local_tps, tp_name)) {
    side& partner = new_side(caller.conv_id, AP_RECEIVE_STATE, caller.sync_level);
    caller.partner = partner.conv_id;
    partner.tp_name = tp_name;
    std::uint32_t conv_id = partner.conv_id;
    partner.attach_timer = std::make_unique<asio::steady_timer>(
        io_, std::chrono::milliseconds(config_.attach_timeout_ms));
    partner.attach_timer->async_wait([this, conv_id](const asio::error_code& error) {
      if (!error) attach_expired(conv_id);
    });
    node_log("conv %u: allocated to %s, waiting for its RECEIVE_ALLOCATE", caller.conv_id,
             tp_name.c_str());
    return true;
  }
  return false;
}

void node_engine::attach_expired(std::uint32_t conv_id) {
  side* attach = find_side(conv_id);
  if (attach == nullptr || attach->tp) return;
  node_log("conv %u: nobody took the attach for %s", attach->partner, attach->tp_name.c_str());
  if (side* caller = find_side(attach->partner)) {
    inbound_item refusal;
    refusal.kind = item_kind::failure;
    refusal.primary_rc = AP_ALLOCATION_ERROR;
    refusal.secondary_rc = AP_TRANS_PGM_NOT_AVAIL_RETRY;
    refusal.allocation_failure = true;
    caller->partner = 0;
    caller->inbound.push_back(std::move(refusal));
    try_receive(*caller);
  }
  sides_.erase(conv_id);
}

void node_engine::allocate(tp_record& tp, const wire_verb_request& request,
                           verb_completion& done) {
  wire_verb_reply reply;
  if (!allocation_accepted(request, reply)) return done(reply);
  side& caller = open_conversation(tp, request);
  reply = verb_reply(AP_OK, AP_NO_SECONDARY_RC);
  reply.conv_id = caller.conv_id;
  reply.conv_state = caller.state;
  done(reply);
}

void node_engine::send_conversation(tp_record& tp, const wire_verb_request& request,
                                    verb_completion& done) {
  wire_verb_request plain = request;
  plain.sync_level = AP_NONE;
  wire_verb_reply reply;
  if (!allocation_accepted(plain, reply)) return done(reply);
  side& caller = open_conversation(tp, plain);
  std::uint32_t conv_id = caller.conv_id;
  if (front_failure(caller, false)) {
    inbound_item refusal = caller.inbound.front();
    end_side(conv_id);
    return done(verb_reply(refusal.primary_rc, refusal.secondary_rc));
  }
  caller.send_bytes += request.data.size();
  caller.send_buffer.push_back(request.data);
  flush(caller, item_kind::deallocate_normal);
  end_side(conv_id);
  done(verb_reply(AP_OK, AP_NO_SECONDARY_RC));
}

void node_engine::conversation_verb(side& end, pending_verb verb) {
  switch (verb.request.opcode) {
    case AP_GET_STATE: {
      wire_verb_reply reply = verb_reply(AP_OK, AP_NO_SECONDARY_RC);
      reply.conv_state = end.state;
      return complete(verb, reply);
    }
    case AP_M_SEND_DATA:
      return send_data(end, verb);
    case AP_M_RECEIVE_AND_WAIT:
      return receive_and_wait(end, verb);
    case AP_M_CONFIRM:
      return confirm(end, verb);
    case AP_M_CONFIRMED:
      return confirmed(end, verb);
    default:
      return deallocate(end, verb);
  }
}

bool node_engine::front_failure(const side& end, bool for_send_data) const {
  if (end.inbound.empty() || end.inbound.front().kind != item_kind::failure) return false;
  // A refused allocation shows on the first verb that reaches the partner; a send only fills
  // the local buffer.
  return !(for_send_data && end.inbound.front().allocation_failure);
}

void node_engine::report_front_failure(side& end, pending_verb& verb) {
  inbound_item failure = end.inbound.front();
  end_side(end.conv_id);
  complete(verb, verb_reply(failure.primary_rc, failure.secondary_rc));
}

void node_engine::send_data(side& end, pending_verb& verb) {
  const wire_verb_request& request = verb.request;
  if (request.send_type > 1) {
    return complete(verb, verb_reply(AP_PARAMETER_CHECK, AP_SEND_DATA_INVALID_TYPE));
  }
  if (front_failure(end, true)) return report_front_failure(end, verb);
  if (end.state != AP_SEND_STATE) {
    return complete(verb, verb_reply(AP_STATE_CHECK, AP_SEND_DATA_NOT_SEND_STATE));
  }
  std::size_t held = end.send_bytes;
  if (side* partner = find_side(end.partner)) held += partner->inbound_bytes;
  if (held + request.data.size() > conversation_byte_limit) {
    node_log("conv %u: send refused, the partner holds %zu bytes unreceived", end.conv_id,
             held);
    return complete(verb, verb_reply(AP_UNSUCCESSFUL, AP_NO_SECONDARY_RC));
  }
  end.send_bytes += request.data.size();
  end.send_buffer.push_back(request.data);
  if (request.send_type == 1) flush(end, std::nullopt);
  wire_verb_reply reply = verb_reply(AP_OK, AP_NO_SECONDARY_RC);
  reply.conv_state = end.state;
  complete(verb, reply);
}

void node_engine::receive_and_wait(side& end, pending_verb& verb) {
  if (verb.request.rtn_status > 1) {
    return complete(verb, verb_reply(AP_PARAMETER_CHECK, AP_BAD_RETURN_STATUS_WITH_DATA));
  }
  if (end.state == AP_SEND_STATE) {
    if (front_failure(end, false)) return report_front_failure(end, verb);
    end.state = AP_RECEIVE_STATE;
    end.receive = std::move(verb);
    flush(end, item_kind::send);
  } else if (end.state == AP_RECEIVE_STATE) {
    end.receive = std::move(verb);
  } else {
    return complete(verb, verb_reply(AP_STATE_CHECK, AP_RCV_AND_WAIT_BAD_STATE));
  }
  try_receive(end);
}

void node_engine::confirm(side& end, pending_verb& verb) {
  if (end.sync_level == AP_NONE) {
    return complete(verb, verb_reply(AP_PARAMETER_CHECK, AP_CONFIRM_ON_SYNC_LEVEL_NONE));
  }
  if (front_failure(end, false)) return report_front_failure(end, verb);
  if (end.state != AP_SEND_STATE) {
    return complete(verb, verb_reply(AP_STATE_CHECK, AP_CONFIRM_BAD_STATE));
  }
  end.confirm = std::move(verb);
  end.deallocate_after_confirm = false;
  flush(end, item_kind::confirm);
}

void node_engine::confirmed(side& end, pending_verb& verb) {
  if (!is_confirm_state(end.state)) {
    return complete(verb, verb_reply(AP_STATE_CHECK, AP_CONFIRMED_BAD_STATE));
  }
  if (side* partner = find_side(end.partner); partner != nullptr && partner->confirm) {
    bool partner_ends = partner->deallocate_after_confirm;
    std::uint32_t partner_id = partner->conv_id;
    wire_verb_reply partner_reply = verb_reply(AP_OK, AP_NO_SECONDARY_RC);
    if (!partner_ends) partner_reply.conv_state = partner->state;
    complete(*partner->confirm, partner_reply);
    partner->confirm.reset();
    if (partner_ends) end_side(partner_id);
  }
  wire_verb_reply reply = verb_reply(AP_OK, AP_NO_SECONDARY_RC);
  if (end.state == AP_CONFIRM_DEALL_STATE) {
    end_side(end.conv_id);
    return complete(verb, reply);
  }
  end.state = end.state == AP_CONFIRM_STATE ? AP_RECEIVE_STATE : AP_SEND_STATE;
  reply.conv_state = end.state;
  complete(verb, reply);
}

void node_engine::deallocate(side& end, pending_verb& verb) {
  std::uint8_t type = verb.request.dealloc_type;
  if (type != AP_SYNC_LEVEL && type != AP_FLUSH && type != AP_ABEND) {
    return complete(verb, verb_reply(AP_PARAMETER_CHECK, AP_DEALLOC_BAD_TYPE));
  }
  if (front_failure(end, false)) return report_front_failure(end, verb);
  std::uint32_t conv_id = end.conv_id;
  if (type == AP_ABEND) {
    if (end.state == AP_SEND_STATE) flush(end, std::nullopt);
    fail_partner(end, AP_DEALLOC_ABEND_PROG);
    end_side(conv_id);
    return complete(verb, verb_reply(AP_OK, AP_NO_SECONDARY_RC));
  }
  bool confirmed_end = type == AP_SYNC_LEVEL && end.sync_level == AP_CONFIRM_SYNC_LEVEL;
  if (end.state != AP_SEND_STATE) {
    return complete(verb, verb_reply(AP_STATE_CHECK, confirmed_end ? AP_DEALLOC_CONFIRM_BAD_STATE
                                                                   : AP_DEALLOC_FLUSH_BAD_STATE));
  }
  if (confirmed_end) {
    end.confirm = std::move(verb);
    end.deallocate_after_confirm = true;
    return flush(end, item_kind::confirm_deallocate);
  }
  flush(end, item_kind::deallocate_normal);
  end_side(conv_id);
  complete(verb, verb_reply(AP_OK, AP_NO_SECONDARY_RC));
}

void node_engine::flush(side& end, std::optional<item_kind> indicator) {
  side* partner = find_side(end.partner);
  if (partner != nullptr) {
    for (std::vector<unsigned char>& record : end.send_buffer) {
      partner->inbound_bytes += record.size();
      inbound_item item;
      item.data = std::move(record);
      partner->inbound.push_back(std::move(item));
    }
    if (indicator) {
      inbound_item item;
      item.kind = *indicator;
      partner->inbound.push_back(std::move(item));
    }
  }
  end.send_buffer.clear();
  end.send_bytes = 0;
  if (partner != nullptr) try_receive(*partner);
}

void node_engine::fail_partner(side& end, std::uint16_t primary_rc) {
  side* partner = find_side(end.partner);
  end.partner = 0;
  if (partner == nullptr) return;
  partner->partner = 0;
  if (!partner->tp) {  // an attach nobody took yet: nobody to tell
    sides_.erase(partner->conv_id);
    return;
  }
  if (partner->confirm) {
    std::uint32_t partner_id = partner->conv_id;
    complete(*partner->confirm, verb_reply(primary_rc, AP_NO_SECONDARY_RC));
    partner->confirm.reset();
    end_side(partner_id);
    return;
  }
  inbound_item failure;
  failure.kind = item_kind::failure;
  failure.primary_rc = primary_rc;
  partner->inbound.push_back(std::move(failure));
  try_receive(*partner);
}

void node_engine::try_receive(side& end) {
  if (!end.receive || end.inbound.empty()) return;
  pending_verb verb = std::move(*end.receive);
  end.receive.reset();
  std::uint32_t conv_id = end.conv_id;
  inbound_item& front = end.inbound.front();
  if (front.kind == item_kind::failure) return report_front_failure(end, verb);

  wire_verb_reply reply = verb_reply(AP_OK, AP_NO_SECONDARY_RC);
  bool with_data = false;
  std::optional<item_kind> indicator;
  if (front.kind == item_kind::record) {
    std::size_t remaining = front.data.size() - end.record_offset;
    std::size_t length = std::min<std::size_t>(remaining, verb.request.max_len);
    auto start = front.data.begin() + static_cast<long>(end.record_offset);
    reply.data.assign(start, start + static_cast<long>(length));
    if (length < remaining) {
      end.record_offset += length;
      reply.what_rcvd = AP_DATA_INCOMPLETE;
      reply.conv_state = end.state;
      return complete(verb, reply);
    }
    end.inbound_bytes -= front.data.size();
    end.record_offset = 0;
    end.inbound.pop_front();
    reply.what_rcvd = AP_DATA_COMPLETE;
    with_data = true;
    if (verb.request.rtn_status == 1 && !end.inbound.empty() &&
        end.inbound.front().kind != item_kind::record &&
        end.inbound.front().kind != item_kind::failure) {
      indicator = end.inbound.front().kind;
      end.inbound.pop_front();
    }
  } else {
    indicator = front.kind;
    end.inbound.pop_front();
  }

  bool ended = false;
  if (indicator) {
    switch (*indicator) {
      case item_kind::send:
        reply.what_rcvd = with_data ? AP_DATA_COMPLETE_SEND : AP_SEND;
        end.state = AP_SEND_STATE;
        break;
      case item_kind::confirm:
        reply.what_rcvd = with_data ? AP_DATA_COMPLETE_CONFIRM : AP_CONFIRM_WHAT_RECEIVED;
        end.state = AP_CONFIRM_STATE;
        break;
      case item_kind::confirm_send:
        reply.what_rcvd = with_data ? AP_DATA_COMPLETE_CONFIRM_SEND : AP_CONFIRM_SEND;
        end.state = AP_CONFIRM_SEND_STATE;
        break;
      case item_kind::confirm_deallocate:
        reply.what_rcvd = with_data ? AP_DATA_COMPLETE_CONFIRM_DEALL : AP_CONFIRM_DEALLOCATE;
        end.state = AP_CONFIRM_DEALL_STATE;
        break;
      default:  // deallocate_normal
        reply.primary_rc = AP_DEALLOC_NORMAL;
        reply.what_rcvd = with_data ? AP_DATA_COMPLETE : 0;
        end.state = AP_RESET_STATE;
        ended = true;
        break;
    }
  }
  reply.conv_state = end.state;
  complete(verb, reply);
  if (ended) end_side(conv_id);
}

void node_engine::end_side(std::uint32_t conv_id) {
  side* end = find_side(conv_id);
  if (end == nullptr) return;
  if (side* partner = find_side(end->partner)) partner->partner = 0;
  if (end->tp) {
    auto tp = tps_.find(*end->tp);
    if (tp != tps_.end()) {
      std::erase(tp->second.conversations, conv_id);
      if (tp->second.owner != host_owner) node_log("conv %u ended", conv_id);
    }
  }
  sides_.erase(conv_id);
}

void node_engine::end_tp(const tp_key& id, std::uint16_t partner_rc) {
  auto tp = tps_.find(id);
  if (tp == tps_.end()) return;
  std::vector<std::uint32_t> conversations = tp->second.conversations;
  for (std::uint32_t conv_id : conversations) {
    side* end = find_side(conv_id);
    if (end == nullptr) continue;
    // A program that ends in send state still delivers what it sent; a vanished one does not.
    if (end->state == AP_SEND_STATE && partner_rc == AP_DEALLOC_ABEND_SVC) {
      flush(*end, std::nullopt);
    }
    if (end->partner != 0) {
      node_log("conv %u: ended abnormally by its TP's end", conv_id);
    }
    fail_partner(*end, partner_rc);
    end_side(conv_id);
  }
  tps_.erase(id);
}

void node_engine::cancel(engine_owner owner) {
  for (auto it = allocate_waiters_.begin(); it != allocate_waiters_.end();) {
    auto& queue = it->second;
    for (auto waiter = queue.begin(); waiter != queue.end();) {
      if (waiter->owner == owner) {
        complete(*waiter, verb_reply(AP_CANCELLED, AP_NO_SECONDARY_RC));
        waiter = queue.erase(waiter);
      } else {
        ++waiter;
      }
    }
    it = queue.empty() ? allocate_waiters_.erase(it) : std::next(it);
  }
  for (auto& [conv_id, end] : sides_) {
    if (end.receive && end.receive->owner == owner) {
      complete(*end.receive, verb_reply(AP_CANCELLED, AP_NO_SECONDARY_RC));
      end.receive.reset();
    }
    if (end.confirm && end.confirm->owner == owner) {
      complete(*end.confirm, verb_reply(AP_CANCELLED, AP_NO_SECONDARY_RC));
      end.confirm.reset();
      end.deallocate_after_confirm = false;
    }
  }
}

void node_engine::owner_gone(engine_owner owner) {
  for (auto it = allocate_waiters_.begin(); it != allocate_waiters_.end();) {
    std::erase_if(it->second, [owner](const pending_verb& waiter) { return waiter.owner == owner; });
    it = it->second.empty() ? allocate_waiters_.erase(it) : std::next(it);
  }
  std::vector<tp_key> owned;
  for (const auto& [id, tp] : tps_) {
    if (tp.owner == owner) owned.push_back(id);
  }
  for (const tp_key& id : owned) end_tp(id, AP_CONV_FAILURE_NO_RETRY);
}
