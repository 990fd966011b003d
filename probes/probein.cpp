// probein: the called side of one APPC conversation, for trying a host program that calls us
// without the gateways. Waits for a conversation towards LOCAL_TP, shows the message, answers
// with ACK (at most 10 characters) and ends the TP.
//
// Usage: probein X:\probein.ini [section]
// Output: everything on standard output, the dumps and verb traces included.
// Exit codes: 0 done (whatever the verbs returned), 1 usage, 2 a missing ini key or an ACK
// longer than 10 characters.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "appc/charset.h"
#include "appc/config.h"
#include "appc/log.h"
#include "appc/trace.h"
#include "appc/verbs.h"

namespace {

constexpr std::uint16_t message_size = 5000;
constexpr std::size_t ack_size = 10;

unsigned char message[message_size];
unsigned char translated[message_size];
unsigned char ack[ack_size];

// Held for the whole run (the configuration strings and the TP identifier are never released).
const char* local_lu = nullptr;
const char* local_tp = nullptr;
const char* ack_text = nullptr;
unsigned char* tp_id = nullptr;

}  // namespace

int main(int argc, char** argv) {
  log_attach(stdout);
  if (argc < 2) {
    std::printf("\nPROBEIN  X:\\probein.ini [section]");
    return 1;
  }
  const char* file = argv[1];
  const char* section = argc > 2 ? argv[2] : "APPC";
  local_lu = ini_get_string(file, section, "LOCAL_LU");
  local_tp = ini_get_string(file, section, "LOCAL_TP");
  ack_text = ini_get_string(file, section, "ACK");
  const std::int32_t ebcdic = ini_get_int(file, section, "EBCDIC");
  const std::size_t ack_text_length = std::strlen(ack_text);
  if (ack_text_length > ack_size) {
    std::printf("ACK [%s] in section [%s] in file %s has %u characters: at most %u are sent\n",
                ack_text, section, file, static_cast<unsigned>(ack_text_length),
                static_cast<unsigned>(ack_size));
    std::fflush(stdout);
    return 2;
  }
  const char* label = ebcdic != 0 ? "EBCDIC" : "ASCII";

  std::printf("\n*** GATEWAY SNA-TCP: RECV (test only) ***\n\n");
  std::printf("LOCAL_LU: [%s]\n", local_lu);
  std::printf("LOCAL_TP: [%s]\n", local_tp);
  std::printf("ACK     : [%s]\n", ack_text);
  std::printf("EBCDIC  :  %d\n", ebcdic);
  std::printf("\n");
  std::fflush(stdout);

  appc_startup();
  std::printf("appc_receive_allocate()\n");
  std::fflush(stdout);
  std::uint32_t conv_id = 0;
  appc_receive_allocate(&conv_id, &tp_id, local_tp);
  appc_trace();
  appc_trace_state(conv_id, tp_id);

  std::printf("appc_mc_receive_and_wait()\n");
  std::fflush(stdout);
  std::uint16_t received_length = 0;
  std::uint16_t what_received = 0;
  appc_mc_receive_and_wait(conv_id, tp_id, message_size, message, &received_length,
                           &what_received);
  appc_trace();
  // The receive verb never delivers more than it was asked for; the bound keeps the copy
  // inside the buffers whatever the APPC service reports.
  const std::int32_t length = received_length < message_size ? received_length : message_size;
  if (length > 0) {
    std::printf("\n%s: \n", label);
    log_dump(message, length);
    std::memset(translated, 0, sizeof translated);
    std::memcpy(translated, message, length);
    if (ebcdic != 0) {
      std::printf("\nASCII: \n");
      to_ascii(translated, length);
      log_dump(translated, length);
      std::printf("\n");
    }
  }
  appc_trace_state(conv_id, tp_id);

  std::printf("building ack\n");
  const std::uint16_t ack_length = static_cast<std::uint16_t>(ack_text_length);
  std::memset(ack, 0, sizeof ack);
  std::memcpy(ack, ack_text, ack_length);
  std::printf("\n%s: \n", label);
  log_dump(ack, ack_length);
  if (ebcdic != 0) {
    std::printf("\nEBCDIC: \n");
    to_ebcdic(ack, ack_length);
    log_dump(ack, ack_length);
    std::printf("\n");
  }

  std::printf("appc_mc_send_data()\n");
  appc_mc_send_data(conv_id, tp_id, ack, ack_length);
  appc_trace();
  appc_trace_state(conv_id, tp_id);

  std::printf("appc_tp_ended()\n");
  appc_tp_ended(tp_id);
  appc_trace();

  appc_cleanup();
  std::fflush(stdout);
  return 0;
}
