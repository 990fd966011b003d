#include "platform/net.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "platform/run_flag.h"

namespace {

// The opaque list is the resolver's own.
addrinfo* first_address(const net_address* list) {
  return reinterpret_cast<addrinfo*>(const_cast<net_address*>(list));
}

SOCKET handle(net_socket socket) { return static_cast<SOCKET>(socket); }

}  // namespace

int net_startup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data);
}

void net_cleanup() { WSACleanup(); }

int net_last_error() { return WSAGetLastError(); }

const char* net_error_text(int code) {
  static char text[256];
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(code), 0, text, sizeof text, nullptr);
  if (length == 0) {
    wsprintfA(text, "error %d", code);
    return text;
  }
  // The system's texts end with a line end.
  DWORD end = length;
  while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n' || text[end - 1] == ' '))
    --end;
  text[end] = '\0';
  return text;
}

int net_lookup(const char* host, const char* service, bool passive, net_address** list) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  if (passive) hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host, service, &hints, &found);
  *list = rc == 0 ? reinterpret_cast<net_address*>(found) : nullptr;
  return rc;
}

void net_free_address(net_address* list) {
  if (list != nullptr) freeaddrinfo(first_address(list));
}

net_socket net_open(const net_address* list) {
  const addrinfo* address = first_address(list);
  const SOCKET opened = socket(address->ai_family, address->ai_socktype, address->ai_protocol);
  return opened == INVALID_SOCKET ? net_invalid_socket : static_cast<net_socket>(opened);
}

int net_bind(net_socket socket, const net_address* list) {
  const addrinfo* address = first_address(list);
  return bind(handle(socket), address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0 ? 0
                                                                                           : -1;
}

int net_connect(net_socket socket, const net_address* list) {
  const addrinfo* address = first_address(list);
  return connect(handle(socket), address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0
             ? 0
             : -1;
}

int net_listen(net_socket socket, int backlog) {
  return listen(handle(socket), backlog) == 0 ? 0 : -1;
}

// The console control handler runs on a thread of its own and cannot interrupt accept, so the
// wait looks at the run flag between short waits.
net_socket net_accept(net_socket listener) {
  const bool watch_run_flag = run_flag_is_set();
  for (;;) {
    if (watch_run_flag && !run_flag_is_set()) {
      WSASetLastError(WSAEINTR);
      return net_invalid_socket;
    }
    const int ready = net_wait_readable(listener, net_accept_poll_ms);
    if (ready < 0) return net_invalid_socket;
    if (ready == 0) continue;
    const SOCKET client = accept(handle(listener), nullptr, nullptr);
    if (client != INVALID_SOCKET) return static_cast<net_socket>(client);
    // A connection that was reset before it was taken: wait again.
    if (WSAGetLastError() != WSAECONNRESET) return net_invalid_socket;
  }
}

int net_recv(net_socket socket, void* buffer, int length) {
  return recv(handle(socket), static_cast<char*>(buffer), length, 0);
}

int net_send(net_socket socket, const void* data, int length) {
  return send(handle(socket), static_cast<const char*>(data), length, 0);
}

int net_shutdown_send(net_socket socket) {
  return shutdown(handle(socket), SD_SEND) == 0 ? 0 : -1;
}

int net_close(net_socket socket) { return closesocket(handle(socket)) == 0 ? 0 : -1; }

int net_set_recv_timeout(net_socket socket, int seconds) {
  const DWORD timeout_ms = static_cast<DWORD>(seconds) * 1000;
  return setsockopt(handle(socket), SOL_SOCKET, SO_RCVTIMEO,
                    reinterpret_cast<const char*>(&timeout_ms), sizeof timeout_ms) == 0
             ? 0
             : -1;
}

int net_wait_readable(net_socket socket, int timeout_ms) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(handle(socket), &readable);
  timeval timeout{};
  timeout.tv_sec = timeout_ms / 1000;
  timeout.tv_usec = (timeout_ms % 1000) * 1000;
  const int rc = select(0, &readable, nullptr, nullptr, &timeout);
  if (rc == SOCKET_ERROR) return WSAGetLastError() == WSAEINTR ? 0 : -1;
  return rc > 0 ? 1 : 0;
}

int net_local_port(net_socket socket) {
  sockaddr_in address{};
  int size = sizeof address;
  if (getsockname(handle(socket), reinterpret_cast<sockaddr*>(&address), &size) != 0) return -1;
  return ntohs(address.sin_port);
}

net_socket net_connect_to(const char* host, const char* port) {
  net_address* list = nullptr;
  if (net_lookup(host, port, false, &list) != 0) return net_invalid_socket;
  net_socket socket = net_open(list);
  if (socket != net_invalid_socket && net_connect(socket, list) != 0) {
    const int reason = WSAGetLastError();
    net_close(socket);
    WSASetLastError(reason);
    socket = net_invalid_socket;
  }
  net_free_address(list);
  return socket;
}
