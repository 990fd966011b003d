// hostload: the host side of hostgate's benchmarks. Plays a host transaction program that
// calls hostgate's TP through the APPC node, as probeout does, as fast as hostgate answers.
//
// hostload COUNT [FIRST]
//   TP_STARTED, then COUNT conversations one after the other, carrying the messages numbered
//   FIRST to FIRST+COUNT-1 (tag DPRESOAK): MC_ALLOCATE to HOSTGATE, MC_SEND_DATA of the
//   message in EBCDIC, MC_RECEIVE_AND_WAIT until hostgate deallocates. Each reply is checked
//   byte for byte against soak_server_reply.
// hostload --burst INDEX
//   One conversation carrying message INDEX (tag DPREBURST): allocates and sends, writes the
//   line "INDEX CONV_ID" to standard output, then waits for end of file on standard input
//   before it receives, so that a driver can have many conversations queued at once.
//
// The node is found at APPCNODE_ENDPOINT; the names are LOCALLU, HOSTLOAD, HOSTLU, #INTER.
// Exit code 0 when every reply was right, 1 otherwise, 2 usage.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "appc/charset.h"
#include "appc/log.h"
#include "appc/verbs.h"
#include "bench/soak_support.h"
#include "netgate/frame.h"

namespace {

constexpr const char* local_lu = "LOCALLU";
constexpr const char* local_tp = "HOSTLOAD";
constexpr const char* partner_lu = "HOSTLU";
constexpr const char* partner_tp = "HOSTGATE";
constexpr const char* mode_name = "#INTER";

message_buffer message;
message_buffer reply;

// Allocates a conversation to hostgate and sends message index of tag; 0 when either failed.
std::uint32_t start_conversation(const unsigned char* tp_id, const std::string& tag, long index) {
  const std::string text = soak_message(tag, index);
  std::memcpy(message.data(), text.data(), text.size());
  to_ebcdic(message.data(), static_cast<std::int32_t>(text.size()));
  std::uint32_t conv_id = 0;
  if (appc_mc_allocate(&conv_id, tp_id, partner_lu, partner_tp, mode_name, AP_NONE) != AP_OK)
    return 0;
  if (appc_mc_send_data(conv_id, tp_id, message.data(), static_cast<std::uint16_t>(text.size())) !=
      AP_OK)
    return 0;
  return conv_id;
}

// Receives until hostgate deallocates; true when what came is the server's reply, in EBCDIC,
// followed by a normal deallocation.
bool reply_is_right(std::uint32_t conv_id, const unsigned char* tp_id, const std::string& tag,
                    long index) {
  std::string received;
  std::uint16_t rc = AP_OK;
  while (rc == AP_OK) {
    std::uint16_t length = 0;
    std::uint16_t what = 0;
    rc = appc_mc_receive_and_wait(conv_id, tp_id, message_buffer_size, reply.data(), &length,
                                  &what);
    if (rc != AP_OK && rc != AP_DEALLOC_NORMAL) break;
    to_ascii(reply.data(), length);
    received.append(reinterpret_cast<const char*>(reply.data()), length);
  }
  if (rc != AP_DEALLOC_NORMAL) appc_mc_deallocate(conv_id, tp_id, AP_ABEND);
  return rc == AP_DEALLOC_NORMAL && received == soak_server_reply(soak_message(tag, index));
}

int sequential(const unsigned char* tp_id, long count, long first) {
  long wrong = 0;
  for (long index = first; index < first + count; ++index) {
    const std::uint32_t conv_id = start_conversation(tp_id, "DPRESOAK", index);
    if (conv_id == 0 || !reply_is_right(conv_id, tp_id, "DPRESOAK", index)) {
      if (wrong++ < 10) std::fprintf(stderr, "message %ld: wrong or missing reply\n", index);
    }
  }
  std::printf("%ld conversations, %ld wrong or missing replies\n", count, wrong);
  return wrong == 0 ? 0 : 1;
}

int burst_member(const unsigned char* tp_id, long index) {
  const std::uint32_t conv_id = start_conversation(tp_id, "DPREBURST", index);
  std::printf("%ld %u\n", index, conv_id);
  std::fflush(stdout);
  if (conv_id == 0) return 1;
  char ignored[64];
  while (read(0, ignored, sizeof ignored) > 0) {
  }
  return reply_is_right(conv_id, tp_id, "DPREBURST", index) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool burst = argc == 3 && std::strcmp(argv[1], "--burst") == 0;
  if (argc < 2 || (!burst && std::atol(argv[1]) <= 0)) {
    std::fprintf(stderr, "usage: hostload COUNT [FIRST] | hostload --burst INDEX\n");
    return 2;
  }
  // The verb layer writes its send lines to the log stream; this tool keeps none.
  std::FILE* no_log = std::fopen("/dev/null", "w");
  if (no_log != nullptr) log_attach(no_log);
  appc_startup();
  unsigned char* tp_id = nullptr;
  int exit_code = 1;
  if (appc_tp_started(&tp_id, local_lu, local_tp) == AP_OK) {
    exit_code = burst ? burst_member(tp_id, std::atol(argv[2]))
                      : sequential(tp_id, std::atol(argv[1]), argc > 2 ? std::atol(argv[2]) : 0);
    appc_tp_ended(tp_id);
  }
  std::free(tp_id);
  appc_cleanup();
  return exit_code;
}
