// appc_peer: the serving side of one conversation, for the tests of the client library on
// either target (under wine a Windows test starts it, so that a 32-bit and a 64-bit client
// converse through one node).
//
//   appc_peer ENDPOINT TP_NAME
//
// Waits in RECEIVE_ALLOCATE for TP_NAME at the node at ENDPOINT, receives one message, answers
// "GOT:" followed by the message's bytes and deallocates. Exit code 0 when every verb
// succeeded, else 1.
#include <cstdlib>
#include <string>

#include "platform/appc_client_testnode.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  setenv("APPCNODE_ENDPOINT", argv[1], 1);
  if (WinAPPCStartup(winappc_version_requested, nullptr) != 0) return 1;
  vcb_block attached = run_receive_allocate(argv[2]);
  test_tp_id tp = tp_of(attached);
  std::uint32_t conv_id = attached.rcvalloc.conv_id;
  unsigned char message[5000];
  vcb_block request = run_receive(tp, conv_id, sizeof message, message);
  std::string reply = "GOT:" + std::string(reinterpret_cast<char*>(message), request.rcvwait.dlen);
  bool good = attached.header.primary_rc == AP_OK && request.header.primary_rc == AP_OK &&
              run_send_data(tp, conv_id, reply).header.primary_rc == AP_OK &&
              run_deallocate(tp, conv_id, AP_FLUSH).header.primary_rc == AP_OK;
  WinAPPCCleanup();
  return good ? 0 : 1;
}
