#include "platform/net.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/run_flag.h"

namespace {

// The opaque list is the resolver's own.
addrinfo* first_address(const net_address* list) {
  return reinterpret_cast<addrinfo*>(const_cast<net_address*>(list));
}

int fd(net_socket socket) { return static_cast<int>(socket); }

}  // namespace

int net_startup() { return 0; }

void net_cleanup() {}

int net_last_error() { return errno; }

const char* net_error_text(int code) { return std::strerror(code); }

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
  return socket(address->ai_family, address->ai_socktype, address->ai_protocol);
}

int net_bind(net_socket socket, const net_address* list) {
  const int reuse = 1;
  setsockopt(fd(socket), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  const addrinfo* address = first_address(list);
  return bind(fd(socket), address->ai_addr, address->ai_addrlen) == 0 ? 0 : -1;
}

int net_connect(net_socket socket, const net_address* list) {
  const addrinfo* address = first_address(list);
  return connect(fd(socket), address->ai_addr, address->ai_addrlen) == 0 ? 0 : -1;
}

int net_listen(net_socket socket, int backlog) {
  return listen(fd(socket), backlog) == 0 ? 0 : -1;
}

net_socket net_accept(net_socket listener) {
  const bool watch_run_flag = run_flag_is_set();
  for (;;) {
    if (watch_run_flag && !run_flag_is_set()) {
      errno = EINTR;
      return net_invalid_socket;
    }
    const int ready = net_wait_readable(listener, net_accept_poll_ms);
    if (ready < 0) return net_invalid_socket;
    if (ready == 0) continue;
    const int client = accept(fd(listener), nullptr, nullptr);
    if (client >= 0) return client;
    // A signal, or a connection that was reset before it was taken: wait again.
    if (errno != EINTR && errno != ECONNABORTED) return net_invalid_socket;
  }
}

int net_recv(net_socket socket, void* buffer, int length) {
  return static_cast<int>(recv(fd(socket), buffer, static_cast<std::size_t>(length), 0));
}

int net_send(net_socket socket, const void* data, int length) {
  // A vanished peer shows as a failed send, not as SIGPIPE.
  return static_cast<int>(
      send(fd(socket), data, static_cast<std::size_t>(length), MSG_NOSIGNAL));
}

int net_shutdown_send(net_socket socket) { return shutdown(fd(socket), SHUT_WR) == 0 ? 0 : -1; }

int net_close(net_socket socket) { return close(fd(socket)) == 0 ? 0 : -1; }

int net_set_recv_timeout(net_socket socket, int seconds) {
  timeval timeout{};
  timeout.tv_sec = seconds;
  return setsockopt(fd(socket), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) == 0 ? 0 : -1;
}

int net_wait_readable(net_socket socket, int timeout_ms) {
  pollfd entry{};
  entry.fd = fd(socket);
  entry.events = POLLIN;
  const int rc = poll(&entry, 1, timeout_ms);
  if (rc < 0) return errno == EINTR ? 0 : -1;
  if (rc == 0) return 0;
  return (entry.revents & POLLNVAL) != 0 ? -1 : 1;
}

int net_local_port(net_socket socket) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (getsockname(fd(socket), reinterpret_cast<sockaddr*>(&address), &size) != 0) return -1;
  return ntohs(address.sin_port);
}

net_socket net_connect_to(const char* host, const char* port) {
  net_address* list = nullptr;
  if (net_lookup(host, port, false, &list) != 0) return net_invalid_socket;
  net_socket socket = net_open(list);
  if (socket != net_invalid_socket && net_connect(socket, list) != 0) {
    const int reason = errno;
    net_close(socket);
    errno = reason;
    socket = net_invalid_socket;
  }
  net_free_address(list);
  return socket;
}
