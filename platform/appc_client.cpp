// The APPC interface, spoken to the APPC node (appcnode) over one TCP connection per process.
//
// The node is found at APPCNODE_ENDPOINT ("HOST:PORT", IPv4), by default 127.0.0.1:7261.
// WinAPPCStartup connects and exchanges the protocol version; a verb issued while the node
// cannot be reached is retried on a new connection and fails at once with
// AP_COMM_SUBSYSTEM_NOT_LOADED when none can be made.
//
// When the connection is lost (the node stopped or crashed), the verb in progress fails with
// AP_COMM_SUBSYSTEM_ABENDED, and so does every later verb while the node cannot be reached.
// Each later verb (also the first one after a loss that happened between verbs) tries a new
// connection; once one is made, the TPs this process started with TP_STARTED are re-created
// under the identifiers it holds, so a service keeps its TP across a node restart.
// Conversations, and TPs that came from RECEIVE_ALLOCATE, do not survive the node.
//
// GET_STATE of a conversation whose state the node reported with an earlier verb is answered
// here: only this process's own verbs change that state.
//
// A verb's reply is polled for a short while before the process sleeps on the socket: a node
// answers most verbs within microseconds, and waking a sleeping process costs more than that.
//
// A verb that waits (RECEIVE_ALLOCATE, MC_RECEIVE_AND_WAIT, MC_CONFIRM, MC_DEALLOCATE of a
// confirmed conversation) watches the process's run flag while it waits: when a flag that was
// set is cleared, the node is asked to cancel the verb, which then returns AP_CANCELLED (or
// its real outcome, had it completed first). A process that never sets the flag waits until
// the verb completes.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/net.h"
#include "platform/node/wire.h"
#include "platform/run_flag.h"
#include "platform/winappc.h"

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

namespace {

std::uint32_t process_id() {
#if defined(_WIN32)
  return static_cast<std::uint32_t>(_getpid());
#else
  return static_cast<std::uint32_t>(getpid());
#endif
}

constexpr const char* default_endpoint = "127.0.0.1:7261";
constexpr int wait_slice_ms = 50;
constexpr auto reply_poll_window = std::chrono::microseconds(100);
constexpr auto hello_limit = std::chrono::seconds(5);
constexpr auto cancel_limit = std::chrono::seconds(3);

enum class link_state { not_started, started, connected, lost };

struct known_conversation {
  std::uint32_t conv_id = 0;
  std::array<unsigned char, 8> tp_id{};
  std::uint8_t state = 0;
};
constexpr std::size_t known_conversation_limit = 64;

struct client_link {
  link_state state = link_state::not_started;
  net_socket socket = net_invalid_socket;
  std::vector<unsigned char> inbox;  // received bytes not yet taken as frames
  bool run_flag_seen = false;
  // The TP_STARTED requests of the TPs this process holds, each with the identifier the node
  // gave it: what a new connection asks the node to re-create.
  std::vector<wire_verb_request> started_tps;
  // The conversations whose state the node last reported, so that GET_STATE needs no round
  // trip; at most known_conversation_limit, the oldest forgotten first (that costs only a trip).
  std::vector<known_conversation> conversations;
};

client_link node_link;

using clock_type = std::chrono::steady_clock;

bool send_all(const std::vector<unsigned char>& frame) {
  std::size_t sent = 0;
  while (sent < frame.size()) {
    int result = net_send(node_link.socket, frame.data() + sent, static_cast<int>(frame.size() - sent));
    if (result <= 0) return false;
    sent += static_cast<std::size_t>(result);
  }
  return true;
}

// Takes one whole frame's body out of the bytes received so far. False while none is complete;
// a frame length out of bounds marks the stream broken.
bool take_frame(std::vector<unsigned char>& body, bool& broken) {
  std::vector<unsigned char>& inbox = node_link.inbox;
  if (inbox.size() < wire_header_size) return false;
  long length = wire_body_length(std::span<const unsigned char, wire_header_size>(
      inbox.data(), wire_header_size));
  if (length < 0) {
    broken = true;
    return false;
  }
  std::size_t frame_size = wire_header_size + static_cast<std::size_t>(length);
  if (inbox.size() < frame_size) return false;
  body.assign(inbox.begin() + wire_header_size, inbox.begin() + static_cast<long>(frame_size));
  inbox.erase(inbox.begin(), inbox.begin() + static_cast<long>(frame_size));
  return true;
}

// Reads what the socket holds (it was reported readable). False when the node closed or failed.
bool fill_inbox() {
  std::array<unsigned char, 8192> chunk;
  int result = net_recv(node_link.socket, chunk.data(), static_cast<int>(chunk.size()));
  if (result <= 0) return false;
  node_link.inbox.insert(node_link.inbox.end(), chunk.begin(), chunk.begin() + result);
  return true;
}

bool receive_frame(std::vector<unsigned char>& body, clock_type::time_point deadline) {
  bool broken = false;
  while (!take_frame(body, broken)) {
    if (broken) return false;
    int ready = net_wait_readable(node_link.socket, wait_slice_ms);
    if (ready < 0 || (ready > 0 && !fill_inbox())) return false;
    if (ready == 0 && clock_type::now() > deadline) return false;
  }
  return true;
}

void drop_connection(link_state next) {
  if (node_link.socket != net_invalid_socket) net_close(node_link.socket);
  node_link.socket = net_invalid_socket;
  node_link.inbox.clear();
  node_link.conversations.clear();
  node_link.state = next;
}

// Connects and greets the node; on failure the link falls back to the given state.
bool connect_to_node(link_state on_failure) {
  const char* setting = std::getenv("APPCNODE_ENDPOINT");
  std::string endpoint = setting != nullptr && *setting != '\0' ? setting : default_endpoint;
  std::size_t colon = endpoint.rfind(':');
  if (colon == std::string::npos) return false;
  std::string host = endpoint.substr(0, colon);
  std::string port = endpoint.substr(colon + 1);
  node_link.socket = net_connect_to(host.c_str(), port.c_str());
  if (node_link.socket == net_invalid_socket) {
    node_link.state = on_failure;
    return false;
  }
  wire_hello hello;
  hello.process_id = process_id();
  std::vector<unsigned char> body;
  wire_hello_reply reply;
  if (!send_all(wire_frame(hello)) || !receive_frame(body, clock_type::now() + hello_limit) ||
      !wire_decode(body, reply) || reply.magic != wire_magic ||
      reply.status != wire_hello_accepted) {
    drop_connection(on_failure);
    return false;
  }
  node_link.state = link_state::connected;
  return true;
}

void set_codes(vcb_block& verb, std::uint16_t primary_rc, std::uint32_t secondary_rc) {
  verb.header.primary_rc = primary_rc;
  verb.header.secondary_rc = secondary_rc;
}

template <std::size_t N>
void copy_field(std::array<char, N>& to, const char (&from)[N]) {
  std::memcpy(to.data(), from, N);
}

// The verb's inputs from its record. False (codes set in the block) for a verb the interface
// does not offer or a data address missing for a non-zero length.
bool read_request(vcb_block& verb, wire_verb_request& request) {
  request.opcode = verb.header.opcode;
  request.opext = verb.header.opext;
  switch (verb.header.opcode) {
    case AP_TP_STARTED:
      copy_field(request.lu_alias, verb.tpstarted.lu_alias);
      copy_field(request.tp_name, verb.tpstarted.tp_name);
      return true;
    case AP_M_ALLOCATE:
      std::memcpy(request.tp_id.data(), verb.allocate.tp_id, tp_id_width);
      request.sync_level = verb.allocate.sync_level;
      request.rtn_ctl = verb.allocate.rtn_ctl;
      copy_field(request.plu_alias, verb.allocate.plu_alias);
      copy_field(request.mode_name, verb.allocate.mode_name);
      copy_field(request.tp_name, verb.allocate.tp_name);
      request.security = verb.allocate.security;
      return true;
    case AP_M_DEALLOCATE:
      std::memcpy(request.tp_id.data(), verb.deallocate.tp_id, tp_id_width);
      request.conv_id = verb.deallocate.conv_id;
      request.dealloc_type = verb.deallocate.dealloc_type;
      return true;
    case AP_M_SEND_DATA:
      std::memcpy(request.tp_id.data(), verb.snddata.tp_id, tp_id_width);
      request.conv_id = verb.snddata.conv_id;
      request.send_type = verb.snddata.type;
      if (verb.snddata.dlen > 0 && verb.snddata.dptr == nullptr) break;
      request.data.assign(verb.snddata.dptr, verb.snddata.dptr + verb.snddata.dlen);
      return true;
    case AP_M_SEND_CONVERSATION:
      std::memcpy(request.tp_id.data(), verb.sendconv.tp_id, tp_id_width);
      request.rtn_ctl = verb.sendconv.rtn_ctl;
      copy_field(request.plu_alias, verb.sendconv.plu_alias);
      copy_field(request.mode_name, verb.sendconv.mode_name);
      copy_field(request.tp_name, verb.sendconv.tp_name);
      request.security = verb.sendconv.security;
      if (verb.sendconv.dlen > 0 && verb.sendconv.dptr == nullptr) break;
      request.data.assign(verb.sendconv.dptr, verb.sendconv.dptr + verb.sendconv.dlen);
      return true;
    case AP_M_CONFIRM:
    case AP_M_CONFIRMED:
      std::memcpy(request.tp_id.data(), verb.confirm.tp_id, tp_id_width);
      request.conv_id = verb.confirm.conv_id;
      return true;
    case AP_GET_STATE:
      std::memcpy(request.tp_id.data(), verb.getstate.tp_id, tp_id_width);
      request.conv_id = verb.getstate.conv_id;
      return true;
    case AP_RECEIVE_ALLOCATE:
      copy_field(request.tp_name, verb.rcvalloc.tp_name);
      return true;
    case AP_M_RECEIVE_AND_WAIT:
      std::memcpy(request.tp_id.data(), verb.rcvwait.tp_id, tp_id_width);
      request.conv_id = verb.rcvwait.conv_id;
      request.rtn_status = verb.rcvwait.rtn_status;
      request.max_len = verb.rcvwait.max_len;
      if (verb.rcvwait.max_len > 0 && verb.rcvwait.dptr == nullptr) break;
      return true;
    case AP_TP_ENDED:
      std::memcpy(request.tp_id.data(), verb.tpended.tp_id, tp_id_width);
      request.end_type = verb.tpended.type;
      return true;
    default:
      set_codes(verb, AP_INVALID_VERB, AP_NO_SECONDARY_RC);
      return false;
  }
  set_codes(verb, AP_PARAMETER_CHECK, AP_INVALID_DATA_SEGMENT);
  return false;
}

// The verb's outputs into its record.
void write_reply(vcb_block& verb, const wire_verb_reply& reply) {
  set_codes(verb, reply.primary_rc, reply.secondary_rc);
  bool ok = reply.primary_rc == AP_OK;
  switch (verb.header.opcode) {
    case AP_TP_STARTED:
      std::memcpy(verb.tpstarted.tp_id, reply.tp_id.data(), tp_id_width);
      break;
    case AP_M_ALLOCATE:
      if (ok) verb.allocate.conv_id = reply.conv_id;
      break;
    case AP_GET_STATE:
      if (ok) verb.getstate.conv_state = reply.conv_state;
      break;
    case AP_RECEIVE_ALLOCATE:
      if (ok) {
        std::memcpy(verb.rcvalloc.tp_id, reply.tp_id.data(), tp_id_width);
        verb.rcvalloc.conv_id = reply.conv_id;
      }
      break;
    case AP_M_RECEIVE_AND_WAIT: {
      std::size_t length = std::min<std::size_t>(reply.data.size(), verb.rcvwait.max_len);
      if (length > 0) std::memcpy(verb.rcvwait.dptr, reply.data.data(), length);
      verb.rcvwait.dlen = static_cast<std::uint16_t>(length);
      verb.rcvwait.what_rcvd = reply.what_rcvd;
      break;
    }
    default:
      break;
  }
}

// Waits for the reply to the verb just sent, cancelling it when the run flag is cleared.
bool await_reply(std::vector<unsigned char>& body, bool& given_up) {
  given_up = false;
  bool cancel_sent = false;
  clock_type::time_point cancel_deadline{};
  bool broken = false;
  const clock_type::time_point polling_ends = clock_type::now() + reply_poll_window;
  while (!take_frame(body, broken)) {
    if (broken) return false;
    const bool polling = clock_type::now() < polling_ends;
    int ready = net_wait_readable(node_link.socket, polling ? 0 : wait_slice_ms);
    if (ready < 0) return false;
    if (ready == 0 && polling) {
      std::this_thread::yield();  // a busy machine runs the node in the meantime
      continue;
    }
    if (ready > 0) {
      if (!fill_inbox()) return false;
      continue;
    }
    if (run_flag_is_set()) {
      node_link.run_flag_seen = true;
      continue;
    }
    if (!node_link.run_flag_seen) continue;
    if (!cancel_sent) {
      if (!send_all(wire_cancel_frame())) return false;
      cancel_sent = true;
      cancel_deadline = clock_type::now() + cancel_limit;
    } else if (clock_type::now() > cancel_deadline) {
      given_up = true;
      return false;
    }
  }
  return true;
}

// One verb request and its reply over the connection. False when the connection failed (it
// is then dropped as lost); given_up when the verb was cancelled and the node never answered.
bool exchange_verb(const wire_verb_request& request, wire_verb_reply& reply, bool& given_up) {
  std::vector<unsigned char> body;
  given_up = false;
  if (send_all(wire_frame(request)) && await_reply(body, given_up) && wire_decode(body, reply)) {
    return true;
  }
  drop_connection(link_state::lost);
  return false;
}

// Connects again after a lost connection and asks the node to re-create the started TPs under
// their identifiers; a TP the node refuses is forgotten (its verbs then fail as the node says).
bool reconnect_to_node() {
  if (!connect_to_node(link_state::lost)) return false;
  std::vector<wire_verb_request>& tps = node_link.started_tps;
  for (auto tp = tps.begin(); tp != tps.end();) {
    wire_verb_reply reply;
    bool given_up = false;
    if (!exchange_verb(*tp, reply, given_up)) return false;
    tp = reply.primary_rc == AP_OK ? tp + 1 : tps.erase(tp);
  }
  return true;
}

// The node sends nothing unasked: a connection readable between verbs has been closed (the
// node stopped since the last verb), and the next verb may go to a node started since.
bool link_closed_while_idle() {
  return node_link.inbox.empty() && net_wait_readable(node_link.socket, 0) != 0;
}

// Keeps the list of started TPs in step with the verb just completed.
void track_started_tps(const wire_verb_request& request, const wire_verb_reply& reply) {
  std::vector<wire_verb_request>& tps = node_link.started_tps;
  if (request.opcode == AP_TP_STARTED && reply.primary_rc == AP_OK) {
    wire_verb_request restart = request;
    restart.tp_id = reply.tp_id;
    tps.push_back(restart);
  } else if (request.opcode == AP_TP_ENDED && reply.primary_rc == AP_OK) {
    std::erase_if(tps, [&](const wire_verb_request& tp) { return tp.tp_id == request.tp_id; });
  }
}

// Keeps the known conversation states in step with the verb just completed.
void track_conversations(const wire_verb_request& request, const wire_verb_reply& reply) {
  std::vector<known_conversation>& known = node_link.conversations;
  std::uint32_t conv_id = request.conv_id;
  std::array<unsigned char, 8> tp_id = request.tp_id;
  switch (request.opcode) {
    case AP_TP_STARTED:
    case AP_M_SEND_CONVERSATION:
      return;
    case AP_TP_ENDED:
      std::erase_if(known, [&](const known_conversation& c) { return c.tp_id == tp_id; });
      return;
    case AP_M_ALLOCATE:
      conv_id = reply.conv_id;
      break;
    case AP_RECEIVE_ALLOCATE:
      conv_id = reply.conv_id;
      tp_id = reply.tp_id;
      break;
    default:
      break;
  }
  std::erase_if(known, [&](const known_conversation& c) { return c.conv_id == conv_id; });
  if (reply.primary_rc != AP_OK || request.opcode == AP_M_DEALLOCATE || reply.conv_state == 0 ||
      reply.conv_state == AP_RESET_STATE) {
    return;
  }
  if (known.size() >= known_conversation_limit) known.erase(known.begin());
  known.push_back(known_conversation{conv_id, tp_id, reply.conv_state});
}

// GET_STATE of a conversation whose state the node reported; false when it must ask the node.
bool known_state(const wire_verb_request& request, wire_verb_reply& reply) {
  if (request.opcode != AP_GET_STATE) return false;
  for (const known_conversation& c : node_link.conversations) {
    if (c.conv_id == request.conv_id && c.tp_id == request.tp_id) {
      reply = wire_verb_reply{};
      reply.conv_state = c.state;
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int WINAPPC_CALL WinAPPCStartup(std::uint16_t version, winappc_info* info) {
  if (info != nullptr) {
    info->version = version;
    std::memset(info->description, 0, sizeof info->description);
    std::strncpy(info->description, "APPC interface of the APPC node",
                 sizeof info->description - 1);
  }
  if (node_link.state == link_state::not_started) {
    if (net_startup() != 0) return 1;
    node_link.state = link_state::started;
  }
  if (node_link.state == link_state::lost) return reconnect_to_node() ? 0 : 1;
  if (node_link.state == link_state::started && !connect_to_node(link_state::started)) return 1;
  return 0;
}

extern "C" void WINAPPC_CALL APPC(vcb_block* verb) {
  if (verb == nullptr) return;
  wire_verb_request request;
  if (!read_request(*verb, request)) return;
  if (run_flag_is_set()) node_link.run_flag_seen = true;
  if (node_link.state == link_state::not_started ||
      (node_link.state == link_state::started && !connect_to_node(link_state::started))) {
    return set_codes(*verb, AP_COMM_SUBSYSTEM_NOT_LOADED, AP_NO_SECONDARY_RC);
  }
  if (node_link.state == link_state::connected && link_closed_while_idle()) {
    drop_connection(link_state::lost);
  }
  if (node_link.state == link_state::lost && !reconnect_to_node()) {
    return set_codes(*verb, AP_COMM_SUBSYSTEM_ABENDED, AP_NO_SECONDARY_RC);
  }
  wire_verb_reply reply;
  if (known_state(request, reply)) return write_reply(*verb, reply);
  bool given_up = false;
  if (!exchange_verb(request, reply, given_up)) {
    return set_codes(*verb, given_up ? AP_CANCELLED : AP_COMM_SUBSYSTEM_ABENDED,
                     AP_NO_SECONDARY_RC);
  }
  track_started_tps(request, reply);
  track_conversations(request, reply);
  write_reply(*verb, reply);
}

extern "C" int WINAPPC_CALL WinAPPCCleanup() {
  if (node_link.state == link_state::not_started) return 0;
  drop_connection(link_state::not_started);
  node_link.started_tps.clear();
  net_cleanup();
  return 1;
}
