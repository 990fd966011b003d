// probeout: the calling side of one APPC conversation, for trying a host TP without the
// gateways. Starts a TP, allocates a conversation to REMOTE_TP, sends MESSAGE, shows the reply
// (at most 40 bytes), deallocates and ends the TP.
//
// Usage: probeout X:\probeout.ini [section]
// Output: everything on standard output, the dumps and verb traces included.
// Exit codes: 0 done (whatever the verbs returned), 1 usage, 2 a missing ini key.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "appc/charset.h"
#include "appc/config.h"
#include "appc/log.h"
#include "appc/trace.h"
#include "appc/verbs.h"

namespace {

// Fixed settings of the tool and what they make of the verbs.
constexpr int confirm_setting = 0;
constexpr int dealloc_setting = 0;
constexpr std::uint8_t unknown_dealloc_type = 0xFF;
constexpr std::uint16_t reply_size = 40;

constexpr std::uint8_t sync_level_of(int confirm) {
  return confirm != 0 ? AP_CONFIRM_SYNC_LEVEL : AP_NONE;
}

constexpr std::uint8_t dealloc_type_of(int dealloc) {
  switch (dealloc) {
    case 0: return AP_FLUSH;
    case 1: return AP_SYNC_LEVEL;
    case 2: return AP_ABEND;
    default: return unknown_dealloc_type;
  }
}

unsigned char reply[reply_size];

// Held for the whole run (the configuration strings and the TP identifier are never released).
const char* local_lu = nullptr;
const char* local_tp = nullptr;
const char* remote_lu = nullptr;
const char* remote_tp = nullptr;
const char* mode_name = nullptr;
char* message = nullptr;
unsigned char* tp_id = nullptr;

void deallocate(std::uint32_t conv_id, const unsigned char* tp_id, std::uint8_t dealloc_type) {
  switch (dealloc_type) {
    case AP_FLUSH:
      std::printf("appc_mc_deallocate_flush()\n");
      appc_mc_deallocate_flush(conv_id, tp_id);
      break;
    case AP_SYNC_LEVEL:
      std::printf("appc_mc_deallocate_sync()\n");
      appc_mc_deallocate_sync(conv_id, tp_id);
      break;
    case AP_ABEND:
      std::printf("appc_mc_deallocate_abend()\n");
      appc_mc_deallocate_abend(conv_id, tp_id);
      break;
    default:
      std::printf("Unknown deallocate type\n");
      break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  log_attach(stdout);
  if (argc < 2) {
    std::printf("\nPROBEOUT  X:\\probeout.ini [section]");
    return 1;
  }
  const char* file = argv[1];
  const char* section = argc > 2 ? argv[2] : "APPC";
  local_lu = ini_get_string(file, section, "LOCAL_LU");
  local_tp = ini_get_string(file, section, "LOCAL_TP");
  remote_lu = ini_get_string(file, section, "REMOTE_LU");
  remote_tp = ini_get_string(file, section, "REMOTE_TP");
  mode_name = ini_get_string(file, section, "MODE_NAME");
  const std::int32_t ebcdic = ini_get_int(file, section, "EBCDIC");
  message = ini_get_data(file, section, "MESSAGE");

  constexpr std::uint8_t sync_level = sync_level_of(confirm_setting);
  constexpr std::uint8_t dealloc_type = dealloc_type_of(dealloc_setting);

  std::printf("\n*** GATEWAY SNA-TCP: SEND (test only) ***\n\n");
  std::printf("LOCAL LU : [%s]\n", local_lu);
  std::printf("LOCAL TP : [%s]\n", local_tp);
  std::printf("REMOTE LU: [%s]\n", remote_lu);
  std::printf("REMOTE TP: [%s]\n", remote_tp);
  std::printf("MODE NAME: [%s]\n", mode_name);
  std::printf("EBCDIC   : %d\n", ebcdic);
  std::printf("CONFIRM  : %d\n", confirm_setting);
  std::printf("  SYNC_LEVEL: [%s]\n", sync_level_name(sync_level));
  std::printf("DEALLOC  : %d\n", dealloc_setting);
  std::printf("  DEALLOC_TYPE: [%s]\n", dealloc_type_name(dealloc_type));
  std::printf("REQUEST  : [%s]\n", message);
  std::printf("\n");
  std::fflush(stdout);

  appc_startup();
  std::printf("appc_tp_started()\n");
  appc_tp_started(&tp_id, local_lu, local_tp);
  appc_trace();

  std::printf("appc_mc_allocate()\n");
  std::uint32_t conv_id = 0;
  appc_mc_allocate(&conv_id, tp_id, remote_lu, remote_tp, mode_name, sync_level);
  appc_trace();
  appc_trace_state(conv_id, tp_id);

  const std::uint16_t message_length = static_cast<std::uint16_t>(std::strlen(message));
  std::printf("ASCII: \n");
  log_dump(message, message_length);
  if (ebcdic != 0) {
    std::printf("\nEBCDIC: \n");
    to_ebcdic(message, message_length);
    log_dump(message, message_length);
    std::printf("\n");
  }

  std::printf("appc_mc_send_data()\n");
  appc_mc_send_data(conv_id, tp_id, reinterpret_cast<unsigned char*>(message), message_length);
  appc_trace();
  appc_trace_state(conv_id, tp_id);

  if (sync_level == AP_CONFIRM_SYNC_LEVEL) {
    std::printf("appc_mc_confirm()\n");
    appc_mc_confirm(conv_id, tp_id);
    appc_trace();
    appc_trace_state(conv_id, tp_id);
  }

  std::printf("appc_mc_receive_and_wait()\n");
  std::uint16_t received_length = 0;
  std::uint16_t what_received = 0;
  appc_mc_receive_and_wait(conv_id, tp_id, reply_size, reply, &received_length, &what_received);
  appc_trace();
  appc_trace_state(conv_id, tp_id);

  // The receive verb never delivers more than it was asked for; the bound keeps the dumps
  // inside the reply buffer whatever the APPC service reports.
  const std::int32_t shown_length = received_length < reply_size ? received_length : reply_size;
  if (ebcdic != 0) {
    std::printf("\nEBCDIC: \n");
    log_dump(reply, shown_length);
    std::printf("\nASCII: \n");
    to_ascii(reply, shown_length);
    log_dump(reply, shown_length);
    std::printf("\n");
  } else {
    std::printf("\nASCII: \n");
    log_dump(reply, shown_length);
  }

  deallocate(conv_id, tp_id, dealloc_type);

  std::printf("appc_tp_ended()\n");
  appc_tp_ended(tp_id);
  appc_trace();

  appc_cleanup();
  std::fflush(stdout);
  return 0;
}
