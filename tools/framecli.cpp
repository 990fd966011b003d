// framecli: sends one framed request to a gateway service and shows its framed reply.
//
// Usage: framecli HOST PORT TEXT
//        framecli HOST PORT -x HEX      (the request body given as hexadecimal digits)
// The reply body goes to standard output as it came (on Windows in the console's text mode,
// which writes a line feed as CR LF); the lengths go to standard error.
// Exit codes: 0 a complete reply frame came back, 1 no connection or no complete reply,
// 2 usage.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "netgate/frame.h"
#include "platform/net.h"

namespace {

constexpr std::int32_t prefix_size = 4;

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The bytes of an even number of hexadecimal digits; false on anything else.
bool parse_hex(const char* text, std::vector<unsigned char>& bytes) {
  const std::size_t length = std::strlen(text);
  if (length % 2 != 0) return false;
  for (std::size_t i = 0; i < length; i += 2) {
    const int high = hex_digit(text[i]);
    const int low = hex_digit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    bytes.push_back(static_cast<unsigned char>(high * 16 + low));
  }
  return true;
}

int usage() {
  std::fprintf(stderr, "usage: framecli HOST PORT TEXT\n       framecli HOST PORT -x HEX\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<unsigned char> request;
  if (argc == 4) {
    request.assign(argv[3], argv[3] + std::strlen(argv[3]));
  } else if (argc == 5 && std::strcmp(argv[3], "-x") == 0) {
    if (!parse_hex(argv[4], request)) return usage();
  } else {
    return usage();
  }
  if (request.size() > static_cast<std::size_t>(message_buffer_size)) {
    std::fprintf(stderr, "framecli: a request holds at most %d bytes\n", message_buffer_size);
    return 2;
  }

  if (net_startup() != 0) {
    std::fprintf(stderr, "framecli: the socket layer did not start\n");
    return 1;
  }
  const net_socket socket = net_connect_to(argv[1], argv[2]);
  if (socket == net_invalid_socket) {
    std::fprintf(stderr, "framecli: no connection to %s:%s: %s\n", argv[1], argv[2],
                 net_error_text(net_last_error()));
    net_cleanup();
    return 1;
  }

  const auto request_length = static_cast<std::int32_t>(request.size());
  unsigned char prefix[prefix_size];
  length_to_net(request_length, prefix);
  int exit_code = 1;
  static message_buffer reply;
  if (tcp_send_all(socket, prefix, prefix_size) <= 0 ||
      (request_length > 0 && tcp_send_all(socket, request.data(), request_length) <= 0)) {
    std::fprintf(stderr, "framecli: the request could not be sent\n");
  } else if (tcp_recv_all(socket, prefix, prefix_size) <= 0) {
    std::fprintf(stderr, "framecli: sent %d bytes, no reply\n", request_length);
  } else {
    const std::int32_t reply_length = length_from_net(prefix);
    if (reply_length < 0 || reply_length > message_buffer_size) {
      std::fprintf(stderr, "framecli: sent %d bytes, the reply announces %d bytes\n",
                   request_length, reply_length);
    } else if (reply_length > 0 && tcp_recv_all(socket, reply.data(), reply_length) <= 0) {
      std::fprintf(stderr, "framecli: sent %d bytes, the reply of %d bytes broke off\n",
                   request_length, reply_length);
    } else {
      std::fwrite(reply.data(), 1, static_cast<std::size_t>(reply_length), stdout);
      std::fflush(stdout);
      std::fprintf(stderr, "framecli: sent %d bytes, received %d bytes\n", request_length,
                   reply_length);
      exit_code = 0;
    }
  }
  net_shutdown_send(socket);
  net_close(socket);
  net_cleanup();
  return exit_code;
}
